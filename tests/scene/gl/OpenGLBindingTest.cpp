#include "scene/gl/OpenGLBinding.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/ScopedEntryPoint.h"

namespace qira {
namespace {

TEST(VersionText, ParsesMajorAndMinorAroundTheFirstPoint) {
  const struct {
    const char* text;
    TGLVersion expected;
  } cases[] = {
      {"1.1", {1, 1}},
      {"OpenGL 2.1.2 NVIDIA", {2, 1}},
      {"2.1.8543 Release", {2, 1}},
      {"4.5 (Compatibility Profile) Mesa 22.3.6", {4, 5}},
      {"12.34", {12, 34}},
      {"2.", {0, 0}},
      {".5", {0, 0}},
      {"abc", {0, 0}},
      {"", {0, 0}},
      {"v.1", {0, 0}},
      {"99999999999.1", {0, 0}},  // does not fit
  };
  for (const auto& c : cases) EXPECT_EQ(ParseVersionString(c.text), c.expected) << c.text;
}

TEST(VersionText, IsMetByAnyLaterVersion) {
  EXPECT_TRUE(IsVersionMet({1, 5}, {2, 0}));
  EXPECT_FALSE(IsVersionMet({2, 1}, {2, 0}));
  EXPECT_TRUE(IsVersionMet({2, 0}, {2, 0}));
  EXPECT_FALSE(IsVersionMet({1, 1}, {0, 0}));
}

TEST(ExtensionString, MatchesWholeNamesOnly) {
  EXPECT_TRUE(CheckExtension("GL_ARB_multisample", "GL_ARB_multisample GL_EXT_abgr"));
  EXPECT_TRUE(CheckExtension("GL_EXT_abgr", "GL_ARB_multisample GL_EXT_abgr"));
  EXPECT_FALSE(CheckExtension("GL_ARB_multisample", "WGL_ARB_multisample GL_EXT_abgr"));
  EXPECT_FALSE(CheckExtension("GL_EXT_texture", "GL_EXT_texture3D"));
  // A longer name first, the whole name later: found.
  EXPECT_TRUE(CheckExtension("GL_EXT_texture_edge_clamp",
                             "GL_EXT_texture_edge_clamp_x GL_EXT_texture_edge_clamp "));
  EXPECT_FALSE(CheckExtension("", "GL_EXT_abgr"));
  EXPECT_FALSE(CheckExtension("GL_EXT_abgr", ""));
}

class ImplementationFlags : public ::testing::Test {
 protected:
  void SetUp() override {
    savedGL_ = GL;
    savedGLU_ = GLU;
  }
  void TearDown() override {
    GL = savedGL_;
    GLU = savedGLU_;
  }
  TGLFlags savedGL_;
  TGLUFlags savedGLU_;
};

TEST_F(ImplementationFlags, ComeFromTheVersionAndExtensionStrings) {
  SetFlagsFromStrings("2.1 Mesa", "GL_ARB_multisample GL_EXT_stencil_two_side GL_3DFX_tbuffer",
                      "1.3", "GLU_EXT_nurbs_tessellator");
  EXPECT_TRUE(GL.VERSION_1_0);
  EXPECT_TRUE(GL.VERSION_2_1);
  EXPECT_FALSE(GL.VERSION_3_0);
  // First in the string, without a blank before it.
  EXPECT_TRUE(GL.ARB_multisample);
  EXPECT_TRUE(GL.EXT_stencil_two_side);
  EXPECT_TRUE(GL._3DFX_tbuffer);
  EXPECT_FALSE(GL.ARB_multitexture);
  EXPECT_TRUE(GLU.VERSION_1_3);
  EXPECT_TRUE(GLU.EXT_nurbs_tessellator);
  EXPECT_FALSE(GLU.EXT_object_space_tess);
}

TEST_F(ImplementationFlags, VertexArrayRangeNeedsItsAllocator) {
  SetFlagsFromStrings("1.5", "GL_NV_vertex_array_range GL_NV_vertex_array_range2", "1.3", "");
  EXPECT_FALSE(GL.NV_vertex_array_range);
  EXPECT_FALSE(GL.NV_vertex_array_range2);
}

TEST_F(ImplementationFlags, AnUnreadableVersionLeavesOnlyVersionOne) {
  SetFlagsFromStrings("", "", "", "");
  EXPECT_TRUE(GL.VERSION_1_0);
  EXPECT_FALSE(GL.VERSION_1_1);
  EXPECT_TRUE(GLU.VERSION_1_1);
  EXPECT_FALSE(GLU.VERSION_1_2);
}

// ---- errors, with a fake error queue

std::vector<GLenum> gPendingErrors;
int gGetErrorCalls = 0;

GLenum FakeGetError() {
  ++gGetErrorCalls;
  if (gPendingErrors.empty()) return GL_NO_ERROR;
  const GLenum error = gPendingErrors.front();
  gPendingErrors.erase(gPendingErrors.begin());
  return error;
}

const GLubyte* FakeErrorString(GLenum error) {
  static const char kInvalidEnum[] = "invalid enumerant";
  static const char kInvalidValue[] = "invalid value";
  return reinterpret_cast<const GLubyte*>(error == GL_INVALID_ENUM ? kInvalidEnum : kInvalidValue);
}

class OpenGLErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    gPendingErrors.clear();
    gGetErrorCalls = 0;
  }
  TScopedEntryPoint<decltype(glGetError)> getError_{glGetError, &FakeGetError};
  TScopedEntryPoint<decltype(gluErrorString)> errorString_{gluErrorString, &FakeErrorString};
};

TEST_F(OpenGLErrors, TwoPendingErrorsRaiseOneExceptionForTheFirstAndLeaveNone) {
  gPendingErrors = {GL_INVALID_ENUM, GL_INVALID_VALUE};
  try {
    CheckOpenGLError();
    FAIL() << "no exception";
  } catch (const EOpenGLError& error) {
    EXPECT_STREQ(error.what(), "invalid enumerant");
  }
  EXPECT_TRUE(gPendingErrors.empty());
  EXPECT_NO_THROW(CheckOpenGLError());
}

TEST_F(OpenGLErrors, ClearingStopsAfterSevenQueries) {
  gPendingErrors.assign(10, GL_INVALID_VALUE);
  ClearGLError();
  EXPECT_EQ(gGetErrorCalls, 7);
  EXPECT_EQ(gPendingErrors.size(), 3u);
}

TEST_F(OpenGLErrors, CheckingDrainsAtMostEightErrors) {
  gPendingErrors.assign(10, GL_INVALID_VALUE);
  EXPECT_THROW(CheckOpenGLError(), EOpenGLError);
  EXPECT_EQ(gGetErrorCalls, 8);
}

// ---- loading

TEST(OpenGLLibraries, AMissingLibraryLeavesNothingLoaded) {
  EXPECT_FALSE(InitOpenGLFromLibrary("libQiraNoSuchGL.so.1", kGLULibraryName));
  EXPECT_FALSE(IsOpenGLInitialized());
  EXPECT_EQ(glBegin, nullptr);
  EXPECT_EQ(gluPerspective, nullptr);
  EXPECT_FALSE(OpenGLLoadError().empty());
  // The default libraries load again, with every OpenGL 1.1 and GLU function.
  ASSERT_TRUE(InitOpenGL()) << OpenGLLoadError();
  EXPECT_TRUE(IsOpenGLInitialized());
  EXPECT_NE(glBegin, nullptr);
  EXPECT_NE(glGetError, nullptr);
  EXPECT_NE(gluErrorString, nullptr);
  EXPECT_TRUE(InitOpenGL());  // at once when loaded
}

}  // namespace
}  // namespace qira
