#include "scene/gl/StateCache.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace qira {
namespace {

// Every call the cache makes, as "Name arg arg ...".
std::vector<std::string> gCalls;

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string Floats(const GLfloat* values, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += " " + std::to_string(values[i]);
  return text;
}

const TGLStateFunctions kRecording = {
    [](GLenum c) { gCalls.push_back("Enable " + Hex(c)); },
    [](GLenum c) { gCalls.push_back("Disable " + Hex(c)); },
    [](GLenum f, GLenum m) { gCalls.push_back("PolygonMode " + Hex(f) + " " + Hex(m)); },
    [](GLenum f, GLenum n, GLint v) {
      gCalls.push_back("Materiali " + Hex(f) + " " + Hex(n) + " " + std::to_string(v));
    },
    [](GLenum f, GLenum n, const GLfloat* v) {
      gCalls.push_back("Materialfv " + Hex(f) + " " + Hex(n) + Floats(v, 4));
    },
    [](GLenum t, GLuint h) { gCalls.push_back("BindTexture " + Hex(t) + " " + std::to_string(h)); },
    [](GLenum m) { gCalls.push_back("MatrixMode " + Hex(m)); },
    [](const GLfloat* m) { gCalls.push_back("LoadMatrixf" + Floats(m, 16)); },
    []() { gCalls.push_back("LoadIdentity"); },
    [](GLenum m) { gCalls.push_back("FrontFace " + Hex(m)); },
};

// The calls whose text starts with `prefix`.
int Count(const std::string& prefix) {
  int count = 0;
  for (const std::string& call : gCalls) count += call.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

class StateCache : public ::testing::Test {
 protected:
  void SetUp() override { gCalls.clear(); }
  TGLStateCache cache_{kRecording};
};

const TVector kEmission{0, 0, 0, 1};
const TVector kAmbient{0.2f, 0.2f, 0.2f, 1};
const TVector kDiffuse{0.8f, 0.8f, 0.8f, 1};
const TVector kSpecular{0, 0, 0, 1};

TEST_F(StateCache, EnablingTwiceSendsOneEnable) {
  cache_.EnableState(TGLState::stBlend);
  cache_.EnableState(TGLState::stBlend);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"Enable " + Hex(GL_BLEND)}));
  EXPECT_TRUE(cache_.States().Contains(TGLState::stBlend));
}

TEST_F(StateCache, StartsWithDitheringOnAsOpenGLDoes) {
  // A first disable of dithering must reach OpenGL, which starts with it on.
  cache_.DisableState(TGLState::stDither);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"Disable " + Hex(GL_DITHER)}));
  cache_.EnableState(TGLState::stDither);
  EXPECT_EQ(Count("Enable " + Hex(GL_DITHER)), 1);
}

TEST_F(StateCache, AfterAResetTheDefaultColoursAreSentOnceButNotShininessZero) {
  cache_.ResetMaterialColors();
  gCalls.clear();
  cache_.SetMaterialColors(GL_FRONT, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  EXPECT_EQ(Count("Materialfv"), 4);
  EXPECT_EQ(Count("Materiali"), 0);
  EXPECT_EQ(gCalls[0], "Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_EMISSION) + Floats(kEmission.data(), 4));
  EXPECT_EQ(gCalls[1].substr(0, 24), "Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_AMBIENT));
  EXPECT_EQ(gCalls[2].substr(0, 24), "Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_DIFFUSE));
  EXPECT_EQ(gCalls[3].substr(0, 24), "Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_SPECULAR));
  gCalls.clear();
  cache_.SetMaterialColors(GL_FRONT, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  EXPECT_TRUE(gCalls.empty());
  // The back face has its own cache.
  cache_.SetMaterialColors(GL_BACK, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  EXPECT_EQ(Count("Materialfv " + Hex(GL_BACK)), 4);
}

TEST_F(StateCache, ShininessGoesFirst) {
  cache_.SetMaterialColors(GL_FRONT, kEmission, kAmbient, kDiffuse, kSpecular, 64);
  ASSERT_FALSE(gCalls.empty());
  EXPECT_EQ(gCalls[0], "Materiali " + Hex(GL_FRONT) + " " + Hex(GL_SHININESS) + " 64");
}

TEST_F(StateCache, OnlyTheDiffuseAlphaCounts) {
  cache_.SetMaterialColors(GL_FRONT, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  gCalls.clear();
  TVector ambient = kAmbient;
  ambient.w = 0.5f;
  TVector emission = kEmission;
  emission.w = 0.25f;
  cache_.SetMaterialColors(GL_FRONT, emission, ambient, kDiffuse, kSpecular, 0);
  EXPECT_TRUE(gCalls.empty());
  TVector diffuse = kDiffuse;
  diffuse.w = 0.5f;
  cache_.SetMaterialColors(GL_FRONT, emission, ambient, diffuse, kSpecular, 0);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_DIFFUSE) +
                                                Floats(diffuse.data(), 4)}));
}

TEST_F(StateCache, ColoursCompareByExactBits) {
  cache_.SetMaterialColors(GL_FRONT, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  gCalls.clear();
  TVector ambient = kAmbient;
  ambient.x = std::nextafter(ambient.x, 1.0f);
  cache_.SetMaterialColors(GL_FRONT, kEmission, ambient, kDiffuse, kSpecular, 0);
  EXPECT_EQ(Count("Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_AMBIENT)), 1);
  gCalls.clear();
  TVector emission = kEmission;
  emission.x = -0.0f;  // equal as a number, another bit pattern
  cache_.SetMaterialColors(GL_FRONT, emission, ambient, kDiffuse, kSpecular, 0);
  EXPECT_EQ(Count("Materialfv " + Hex(GL_FRONT) + " " + Hex(GL_EMISSION)), 1);
}

TEST_F(StateCache, AlphaChannelSendsTheWholeDiffuseColour) {
  cache_.SetMaterialColors(GL_BACK, kEmission, kAmbient, kDiffuse, kSpecular, 0);
  gCalls.clear();
  cache_.SetMaterialAlphaChannel(GL_BACK, 1.0f);
  EXPECT_TRUE(gCalls.empty());
  cache_.SetMaterialAlphaChannel(GL_BACK, 0.5f);
  TVector expected = kDiffuse;
  expected.w = 0.5f;
  EXPECT_EQ(gCalls, (std::vector<std::string>{"Materialfv " + Hex(GL_BACK) + " " + Hex(GL_DIFFUSE) +
                                                Floats(expected.data(), 4)}));
}

TEST_F(StateCache, ResetSendsTheDefaultMaterialForBothFaces) {
  cache_.ResetMaterialColors();
  EXPECT_EQ(gCalls, (std::vector<std::string>{
                        "Materialfv " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_AMBIENT) + Floats(kAmbient.data(), 4),
                        "Materialfv " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_DIFFUSE) + Floats(kDiffuse.data(), 4),
                        "Materialfv " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_SPECULAR) + Floats(kSpecular.data(), 4),
                        "Materialfv " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_EMISSION) + Floats(kEmission.data(), 4),
                        "Materiali " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_SHININESS) + " 0",
                    }));
}

TEST_F(StateCache, MaterialOfAnotherFaceValueDoesNothing) {
  cache_.SetMaterialColors(GL_FRONT_AND_BACK, kEmission, kAmbient, kDiffuse, kSpecular, 3);
  cache_.SetMaterialAlphaChannel(GL_FRONT_AND_BACK, 0.5f);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(StateCache, PolygonModeBothFacesIsSkippedWhenEachAlreadyHasIt) {
  cache_.SetPolygonMode(GL_FRONT, GL_LINE);
  cache_.SetPolygonMode(GL_BACK, GL_LINE);
  gCalls.clear();
  cache_.SetPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  EXPECT_TRUE(gCalls.empty());
  cache_.SetPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  cache_.SetPolygonMode(GL_FRONT, GL_FILL);
  cache_.SetPolygonMode(GL_TEXTURE, GL_FILL);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"PolygonMode " + Hex(GL_FRONT_AND_BACK) + " " + Hex(GL_FILL)}));
  cache_.ResetPolygonModes();
  cache_.SetPolygonMode(GL_BACK, GL_FILL);
  EXPECT_EQ(Count("PolygonMode " + Hex(GL_BACK)), 1);
}

TEST_F(StateCache, BoundTexturesAreCachedPerUnitUntilReset) {
  cache_.SetBoundTexture(0, GL_TEXTURE_2D, 0);  // unknown at first: sent even for 0
  cache_.SetBoundTexture(0, GL_TEXTURE_2D, 7);
  cache_.SetBoundTexture(0, GL_TEXTURE_2D, 7);
  cache_.SetBoundTexture(1, GL_TEXTURE_2D, 7);
  EXPECT_EQ(Count("BindTexture"), 3);
  cache_.ResetBoundTextures();
  cache_.SetBoundTexture(0, GL_TEXTURE_2D, 7);
  EXPECT_EQ(Count("BindTexture"), 4);
  cache_.SetBoundTexture(8, GL_TEXTURE_2D, 7);  // no such unit: never cached
  cache_.SetBoundTexture(8, GL_TEXTURE_2D, 7);
  EXPECT_EQ(Count("BindTexture"), 6);
}

TEST_F(StateCache, TextureMatrixIsResetOnlyWhenChanged) {
  cache_.ResetTextureMatrix();
  EXPECT_TRUE(gCalls.empty());
  TMatrix matrix{};
  matrix[0].x = 2;
  cache_.SetTextureMatrix(matrix);
  cache_.ResetTextureMatrix();
  cache_.ResetTextureMatrix();
  EXPECT_EQ(gCalls, (std::vector<std::string>{"MatrixMode " + Hex(GL_TEXTURE), "LoadMatrixf" + Floats(matrix.data(), 16),
                                                "MatrixMode " + Hex(GL_MODELVIEW), "MatrixMode " + Hex(GL_TEXTURE),
                                                "LoadIdentity", "MatrixMode " + Hex(GL_MODELVIEW)}));
}

TEST_F(StateCache, ResetAllKeepsTheEnableFlags) {
  cache_.EnableState(TGLState::stLighting);
  cache_.SetPolygonMode(GL_FRONT, GL_LINE);
  cache_.SetBoundTexture(2, GL_TEXTURE_2D, 5);
  cache_.ToggleFrontFace();
  gCalls.clear();
  cache_.ResetAll();
  EXPECT_EQ(Count("Materialfv"), 4);
  EXPECT_EQ(Count("FrontFace " + Hex(GL_CCW)), 1);
  EXPECT_TRUE(cache_.FrontFaceCCW());
  gCalls.clear();
  cache_.EnableState(TGLState::stLighting);
  cache_.SetPolygonMode(GL_FRONT, GL_LINE);
  cache_.SetBoundTexture(2, GL_TEXTURE_2D, 5);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"PolygonMode " + Hex(GL_FRONT) + " " + Hex(GL_LINE),
                                                "BindTexture " + Hex(GL_TEXTURE_2D) + " 5"}));
}

}  // namespace
}  // namespace qira
