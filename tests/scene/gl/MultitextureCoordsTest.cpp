#include "scene/gl/MultitextureCoords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

std::vector<std::string> gCalls;

std::string Unit(GLenum unit) { return "unit" + std::to_string(unit - GL_TEXTURE0_ARB); }

class Multitexture : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    savedFlag_ = GL.ARB_multitexture;
    GL.ARB_multitexture = true;
    MapToNoUnit();
  }
  void TearDown() override {
    MapToNoUnit();
    GL.ARB_multitexture = savedFlag_;
  }

  bool savedFlag_ = false;
  TScopedEntryPoint<decltype(glTexCoord2f)> texCoord2f_{
      glTexCoord2f, [](GLfloat s, GLfloat t) { gCalls.push_back("TexCoord2f " + std::to_string(int(s)) + std::to_string(int(t))); }};
  TScopedEntryPoint<decltype(glMultiTexCoord2fARB)> multiTexCoord2f_{
      glMultiTexCoord2fARB,
      [](GLenum u, GLfloat s, GLfloat t) {
        gCalls.push_back("MultiTexCoord2f " + Unit(u) + " " + std::to_string(int(s)) + std::to_string(int(t)));
      }};
  TScopedEntryPoint<decltype(glActiveTextureARB)> activeTexture_{
      glActiveTextureARB, [](GLenum u) { gCalls.push_back("ActiveTexture " + Unit(u)); }};
  TScopedEntryPoint<decltype(glClientActiveTextureARB)> clientActiveTexture_{
      glClientActiveTextureARB, [](GLenum u) { gCalls.push_back("ClientActiveTexture " + Unit(u)); }};
  TScopedEntryPoint<decltype(glTexGeni)> texGeni_{
      glTexGeni, [](GLenum, GLenum, GLint) { gCalls.push_back("TexGeni"); }};
  TScopedEntryPoint<decltype(glEnable)> enable_{glEnable, [](GLenum) { gCalls.push_back("Enable"); }};
  TScopedEntryPoint<decltype(glEnableClientState)> enableClientState_{
      glEnableClientState, [](GLenum) { gCalls.push_back("EnableClientState"); }};
};

using Calls = std::vector<std::string>;

TEST_F(Multitexture, EachMappingSendsCoordinatesToItsUnits) {
  MapToUnit0();
  xgl.TexCoord2f(1, 2);
  MapToUnit1();
  xgl.TexCoord2f(3, 4);
  MapToUnits01();
  xgl.TexCoord2f(5, 6);
  EXPECT_EQ(gCalls, (Calls{"TexCoord2f 12", "MultiTexCoord2f unit1 34", "TexCoord2f 56",
                           "MultiTexCoord2f unit1 56"}));
}

TEST_F(Multitexture, AnUpdateThatEndsWhereItStartedChangesNothing) {
  MapToUnit0();
  const TMultitextureEntryPoints before = xgl;
  BeginMapUpdate();
  MapToUnit1();
  EXPECT_EQ(xgl.TexCoord2f, before.TexCoord2f);
  MapToUnit0();
  EndMapUpdate();
  EXPECT_EQ(xgl.TexCoord2f, before.TexCoord2f);
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnit0);
}

TEST_F(Multitexture, NestedUpdatesApplyAtTheOutermostEnd) {
  MapToUnit0();
  BeginMapUpdate();
  BeginMapUpdate();
  MapToUnit1();
  EndMapUpdate();
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnit0);
  EndMapUpdate();
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnit1);
}

TEST_F(Multitexture, ServerStateIsSetOnEachUnitAndUnitZeroIsActiveAfter) {
  MapToUnits01();
  xgl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
  EXPECT_EQ(gCalls, (Calls{"TexGeni", "ActiveTexture unit1", "TexGeni", "ActiveTexture unit0"}));
  gCalls.clear();
  const GLenum units[] = {GL_TEXTURE1_ARB, GL_TEXTURE3_ARB};
  MapToUnitList(units);
  xgl.Enable(GL_TEXTURE_GEN_S);
  EXPECT_EQ(gCalls, (Calls{"ActiveTexture unit1", "Enable", "ActiveTexture unit3", "Enable",
                           "ActiveTexture unit0"}));
}

TEST_F(Multitexture, ClientStateOfAUnitListEndsOnClientUnitZero) {
  const GLenum units[] = {GL_TEXTURE2_ARB};
  MapToUnitList(units);
  xgl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
  EXPECT_EQ(gCalls, (Calls{"ClientActiveTexture unit2", "EnableClientState", "ClientActiveTexture unit0"}));
  gCalls.clear();
  MapToUnit1();
  xgl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
  EXPECT_EQ(gCalls, (Calls{"ClientActiveTexture unit1", "EnableClientState", "ClientActiveTexture unit0"}));
}

TEST_F(Multitexture, WithoutTheExtensionEveryMappingFallsBackToUnitZero) {
  GL.ARB_multitexture = false;
  MapToUnit1();
  xgl.TexCoord2f(1, 2);
  xgl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
  MapToUnitMask(6);
  xgl.TexCoord2f(3, 4);
  xgl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
  EXPECT_EQ(gCalls, (Calls{"TexCoord2f 12", "TexGeni", "TexCoord2f 34", "EnableClientState"}));
  // Once the driver offers it, asking for the same mapping installs the real one.
  GL.ARB_multitexture = true;
  gCalls.clear();
  MapToUnitMask(6);
  xgl.TexCoord2f(5, 6);
  EXPECT_EQ(gCalls, (Calls{"MultiTexCoord2f unit1 56", "MultiTexCoord2f unit2 56"}));
}

}  // namespace
}  // namespace qira
