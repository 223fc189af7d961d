#include "scene/graph/CameraLight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "support/SceneRenderSupport.h"
#include "scene/math/VectorGeometry.h"
#include "support/HeadlessGL.h"

namespace qira {
namespace {

using testing::Near;
using testing::TRenderedScene;

TMatrix ReadProjection() {
  TMatrix m;
  glGetFloatv(GL_PROJECTION_MATRIX, m.data());
  return m;
}

void ExpectMatrixNear(const TMatrix& actual, const TMatrix& expected, float tolerance) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(actual[i][j], expected[i][j], tolerance) << i << "," << j;
  }
}

// ---------------------------------------------------------- projections

// The projection of each style for a viewport of W x H at `dpi`, written
// from the formulas: extents from the near-plane bias, the scene scale and
// (orthogonal) the focal length, the near plane from the focal length and dpi.
TMatrix ExpectedProjection(TGLCameraStyle style, double W, double H, double dpi, double focal, double bias,
                           double scale, double depth) {
  TMatrix m = IdentityHmgMatrix;
  if (style == TGLCameraStyle::csOrtho2D) {
    m[0][0] = static_cast<float>(2 / W);
    m[1][1] = static_cast<float>(2 / H);
    m[2][2] = -1.0f;
    m[3][0] = -1.0f;
    m[3][1] = -1.0f;
    return m;
  }
  const double maxDim = std::max(W, H);
  const double fW = style == TGLCameraStyle::csOrthogonal ? 100 * bias / (W * focal * scale) : bias / (W * scale);
  const double fH = style == TGLCameraStyle::csOrthogonal ? 100 * bias / (H * focal * scale) : bias / (H * scale);
  const double r = W * fW * W / (2 * maxDim);
  const double l = -r;
  const double t = H * fH * H / (2 * maxDim);
  const double b = -t;
  const double n = focal * 2 * dpi / (25.4 * maxDim) * bias;
  const double f = n + depth;
  m = EmptyHmgMatrix;
  switch (style) {
    case TGLCameraStyle::csPerspective:
      m[0][0] = static_cast<float>(2 * n / (r - l));
      m[1][1] = static_cast<float>(2 * n / (t - b));
      m[2][2] = static_cast<float>(-(f + n) / (f - n));
      m[2][3] = -1.0f;
      m[3][2] = static_cast<float>(-2 * f * n / (f - n));
      break;
    case TGLCameraStyle::csOrthogonal:
      m[0][0] = static_cast<float>(2 / (r - l));
      m[1][1] = static_cast<float>(2 / (t - b));
      m[2][2] = static_cast<float>(-2 / (f - n));
      m[3][2] = static_cast<float>(-(f + n) / (f - n));
      m[3][3] = 1.0f;
      break;
    default:  // infinite perspective
      m[0][0] = static_cast<float>(2 * n / (r - l));
      m[1][1] = static_cast<float>(2 * n / (t - b));
      m[2][2] = 1e-4f - 1.0f;
      m[2][3] = -1.0f;
      m[3][2] = static_cast<float>(n * (1e-4 - 2.0));
      break;
  }
  return m;
}

struct TProjectionCase {
  TGLCameraStyle style;
  int width;
  int height;
  int dpi;
};

class CameraProjectionGL : public ::testing::TestWithParam<TProjectionCase> {};

TEST_P(CameraProjectionGL, ReadBackMatchesTheFormulas) {
  const TProjectionCase c = GetParam();
  const HeadlessGL gl(8, 8, 0);
  TGLCamera camera;
  camera.SetCameraStyle(c.style);
  camera.SetFocalLength(35.0f);
  camera.SetNearPlaneBias(2.0f);
  camera.SetSceneScale(1.5f);
  camera.SetDepthOfView(80.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  camera.ApplyPerspective(TRectangle{0, 0, c.width, c.height}, c.width, c.height, c.dpi);
  const TMatrix expected = ExpectedProjection(c.style, c.width, c.height, c.dpi, 35.0, 2.0, 1.5, 80.0);
  const TMatrix actual = ReadProjection();
  ExpectMatrixNear(actual, expected, 2e-4f * std::max(1.0f, std::fabs(expected[3][2])));
  ExpectMatrixNear(camera.PerspectiveMatrix(TRectangle{0, 0, c.width, c.height}, c.width, c.height, c.dpi),
                   expected, 2e-4f * std::max(1.0f, std::fabs(expected[3][2])));
  if (c.style == TGLCameraStyle::csOrtho2D) {
    EXPECT_EQ(camera.NearPlane(), -1.0f);
    EXPECT_FLOAT_EQ(camera.ViewPortRadius(), std::sqrt(float(c.width * c.width + c.height * c.height)) / 2.0f);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Styles, CameraProjectionGL,
    ::testing::Values(TProjectionCase{TGLCameraStyle::csPerspective, 64, 48, 96},
                      TProjectionCase{TGLCameraStyle::csPerspective, 40, 90, 300},  // taller than wide
                      TProjectionCase{TGLCameraStyle::csOrthogonal, 64, 48, 96},
                      TProjectionCase{TGLCameraStyle::csInfinitePerspective, 50, 50, 72},
                      TProjectionCase{TGLCameraStyle::csOrtho2D, 64, 48, 96}));

TEST(CameraProjectionEdges, ATallViewportKeepsTheVerticalExtentOfASquareOne) {
  TGLCamera camera;
  // For a symmetric frustum [0][0] = near / right and [1][1] = near / top.
  const TMatrix square = camera.PerspectiveMatrix(TRectangle{0, 0, 50, 50}, 50, 50, 96);
  const float squareNear = camera.NearPlane();
  const TMatrix tall = camera.PerspectiveMatrix(TRectangle{0, 0, 50, 100}, 50, 100, 96);
  const float tallNear = camera.NearPlane();
  EXPECT_NEAR(tallNear, squareNear / 2.0f, 1e-5);  // maxDim is the height
  EXPECT_NEAR(tallNear / tall[1][1], squareNear / square[1][1], 1e-6);         // top stays 0.5
  EXPECT_NEAR(tallNear / tall[0][0], squareNear / square[0][0] / 2.0f, 1e-6);  // right halves
  EXPECT_NEAR(squareNear / square[1][1], 0.5f, 1e-6);
}

TEST(CameraProjectionEdgesGL, CustomStyleCallsTheHandlerAndZeroSizesAreSkipped) {
  const HeadlessGL gl(8, 8, 0);
  TGLCamera camera;
  camera.SetCameraStyle(TGLCameraStyle::csCustom);
  int calls = 0;
  camera.OnCustomPerspective = [&](const TRectangle&, int32_t w, int32_t h, int32_t, float& radius) {
    ++calls;
    EXPECT_FLOAT_EQ(radius, std::sqrt(float(w * w + h * h)) / 2.0f);
    radius = 7.0f;
  };
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  camera.ApplyPerspective(TRectangle{0, 0, 30, 40}, 30, 40, 96);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(camera.ViewPortRadius(), 7.0f);
  camera.ApplyPerspective(TRectangle{0, 0, 0, 40}, 0, 40, 96);
  EXPECT_EQ(calls, 1);
  ExpectMatrixNear(ReadProjection(), IdentityHmgMatrix, 0.0f);
}

// --------------------------------------------------------------- Apply

TEST(CameraApplyGL, ACameraWithATargetLooksAtIt) {
  const HeadlessGL gl(8, 8, 0);
  TGL3DScene scene;
  TGLCamera& camera = scene.Objects().AddNewChild<TGLCamera>();
  camera.Position().SetPoint(5.0f, 3.0f, 10.0f);
  TGLBaseSceneObject& target = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  target.Position().SetPoint(-2.0f, 1.0f, 0.0f);
  camera.SetTargetObject(&target);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  camera.Apply();
  TMatrix mv;
  glGetFloatv(GL_MODELVIEW_MATRIX, mv.data());
  const TVector eye = VectorTransform(target.GetAbsolutePosition(), mv);
  EXPECT_NEAR(eye.x, 0.0f, 1e-4);
  EXPECT_NEAR(eye.y, 0.0f, 1e-4);
  EXPECT_LT(eye.z, 0.0f);
  const TVector d = camera.LastDirection();
  EXPECT_NEAR(VectorNorm(d), 1.0f, 1e-5);
  // Freeing the target clears the reference.
  scene.DestroyComponent(target);
  EXPECT_EQ(camera.TargetObject(), nullptr);
}

// ---------------------------------------------------------- RotateObject

struct TRotateCase {
  float pitch, turn, roll;
  TAffineVector direction;
  TAffineVector up;
};

class CameraRotateObject : public ::testing::TestWithParam<TRotateCase> {};

TEST_P(CameraRotateObject, TurnsAboutTheCameraAxesAndKeepsScaleAndPosition) {
  const TRotateCase c = GetParam();
  TGL3DScene scene;
  TGLCamera& camera = scene.Objects().AddNewChild<TGLCamera>();  // looks down -z, up +y
  TGLBaseSceneObject& obj = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  obj.Position().SetPoint(1.0f, 2.0f, 3.0f);
  obj.Scale().SetVector(2.0f, 2.0f, 2.0f);
  camera.RotateObject(obj, c.pitch, c.turn, c.roll);
  EXPECT_NEAR(obj.Direction().X(), c.direction.x, 1e-5);
  EXPECT_NEAR(obj.Direction().Y(), c.direction.y, 1e-5);
  EXPECT_NEAR(obj.Direction().Z(), c.direction.z, 1e-5);
  EXPECT_NEAR(obj.Up().X(), c.up.x, 1e-5);
  EXPECT_NEAR(obj.Up().Y(), c.up.y, 1e-5);
  EXPECT_NEAR(obj.Up().Z(), c.up.z, 1e-5);
  EXPECT_FLOAT_EQ(obj.Scale().X(), 2.0f);
  EXPECT_FLOAT_EQ(obj.Scale().Z(), 2.0f);
  EXPECT_FLOAT_EQ(obj.Position().Y(), 2.0f);
  EXPECT_FLOAT_EQ(obj.Position().W(), 1.0f);
}

// The rotation matrices turn the other way for row vectors: a turn of +90
// about up takes the direction +z to -x.
INSTANTIATE_TEST_SUITE_P(
    Deltas, CameraRotateObject,
    ::testing::Values(TRotateCase{0, 0, 0, {0, 0, 1}, {0, 1, 0}},
                      TRotateCase{0, 90, 0, {-1, 0, 0}, {0, 1, 0}},
                      TRotateCase{90, 0, 0, {0, 1, 0}, {0, 0, -1}},
                      TRotateCase{0, 0, 90, {0, 0, 1}, {-1, 0, 0}},
                      TRotateCase{0, 180, 0, {0, 0, -1}, {0, 1, 0}}));

TEST(CameraRotateObjectOrder, RollComesBeforeTurnAndPitch) {
  TGL3DScene scene;
  TGLCamera& camera = scene.Objects().AddNewChild<TGLCamera>();
  TGLBaseSceneObject& both = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  TGLBaseSceneObject& stepwise = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  camera.RotateObject(both, 30.0f, 40.0f, 50.0f);
  camera.RotateObject(stepwise, 30.0f, 0.0f, 0.0f);
  camera.RotateObject(stepwise, 0.0f, 40.0f, 0.0f);
  camera.RotateObject(stepwise, 0.0f, 0.0f, 50.0f);
  // Each rotation acts in the object's frame before the previous ones, so
  // three separate calls in the opposite order compose to the same matrix.
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(both.Direction().AsVector()[i], stepwise.Direction().AsVector()[i], 1e-5);
    EXPECT_NEAR(both.Up().AsVector()[i], stepwise.Up().AsVector()[i], 1e-5);
  }
}

TEST(CameraProperties, OutOfRangeValuesAreCorrected) {
  TGLCamera camera;
  camera.SetFocalLength(0.0f);
  EXPECT_EQ(camera.FocalLength(), 1.0f);
  camera.SetNearPlaneBias(-2.0f);
  EXPECT_EQ(camera.NearPlaneBias(), 1.0f);
  camera.SetSceneScale(0.0f);
  EXPECT_EQ(camera.SceneScale(), 1.0f);
  EXPECT_EQ(camera.Direction().Z(), -1.0f);
  EXPECT_FALSE(camera.RayCastIntersect(PointMake(0, 0, 5), VectorMake(0, 0, -1)));
}

// ---------------------------------------------------------------- lights

TEST(LightSource, SpotCutOffAcceptsZeroToNinetyAndExactlyOneEighty) {
  TGLLightSource light;
  light.SetSpotCutOff(45.0f);
  EXPECT_EQ(light.SpotCutOff(), 45.0f);
  light.SetSpotCutOff(120.0f);
  EXPECT_EQ(light.SpotCutOff(), 45.0f);
  light.SetSpotCutOff(-1.0f);
  EXPECT_EQ(light.SpotCutOff(), 45.0f);
  light.SetSpotCutOff(180.0f);
  EXPECT_EQ(light.SpotCutOff(), 180.0f);
}

TEST(LightSourceGL, AParallelLightSendsItsDirectionThroughItsAbsoluteMatrix) {
  TRenderedScene s;
  s.light->SetLightStyle(TLightStyle::lsParallel);
  s.light->SpotDirection().SetVector(1.0f, 0.0f, 0.0f);

  s.buffer->Render();
  TGLContext& context = *s.buffer->RenderingContext();
  context.Activate();
  GLfloat position[4] = {};
  glGetLightfv(GL_LIGHT0, GL_POSITION, position);
  context.Deactivate();
  // The light's +x is the camera's own x axis, which its look-at turned to
  // eye -x (the camera's right is Up x Direction = -x); w 0 marks a direction.
  const TVector world = VectorTransform(VectorMake(1.0f, 0.0f, 0.0f, 0.0f), s.light->AbsoluteMatrix());
  const TVector eye = VectorTransform(world, s.buffer->ModelViewMatrix());
  EXPECT_EQ(position[3], 0.0f);
  EXPECT_NEAR(position[0], eye.x, 1e-5);
  EXPECT_NEAR(position[1], eye.y, 1e-5);
  EXPECT_NEAR(position[2], eye.z, 1e-5);
  EXPECT_NEAR(std::fabs(position[0]), 1.0f, 1e-5);
}

// ----------------------------------------------------------------- proxy

TEST(ProxyObjectGL, DrawsItsMasterInItsOwnPlace) {
  TRenderedScene s;
  s.quad->Position().SetPoint(-0.8f, 0.0f, 0.0f);
  TGLProxyObject& proxy = s.scene->Objects().AddNewChild<TGLProxyObject>();
  proxy.Position().SetPoint(0.8f, 0.0f, 0.0f);
  proxy.SetMasterObject(s.quad);
  // Only the master's geometry, not its transformation, at the proxy's place.
  proxy.SetProxyOptions(TGLProxyObjectOptions{TGLProxyObjectOption::pooObjects});
  s.buffer->Render();
  const TAffineVector at = s.buffer->WorldToScreen({0.8f, 0.0f, 0.0f});
  EXPECT_TRUE(Near(s.Pixel(FloorToInt(at.x), FloorToInt(at.y)), {255, 0, 0}));
  EXPECT_EQ(s.quad->DrawCount, 2);
  // Freeing the master leaves the proxy empty.
  s.scene->Objects().Remove(*s.quad, false);
  s.scene->DestroyComponent(*s.quad);
  s.quad = nullptr;
  EXPECT_EQ(proxy.MasterObject(), nullptr);
  s.buffer->Render();
  EXPECT_TRUE(Near(s.Pixel(FloorToInt(at.x), FloorToInt(at.y)), {0, 0, 255}));
}

TEST(ProxyObjectGL, AProxyReachedThroughItsOwnMasterStopsAtTheGuard) {
  TRenderedScene s;
  TGLProxyObject& proxy = s.quad->AddNewChild<TGLProxyObject>();
  proxy.SetMasterObject(s.quad);
  s.buffer->Render();
  // The quad once as itself and once through the proxy; the proxy met again
  // inside its master's children draws nothing.
  EXPECT_EQ(s.quad->DrawCount, 2);
}

}  // namespace
}  // namespace qira
