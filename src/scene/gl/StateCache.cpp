#include "scene/gl/StateCache.h"

#include <bit>
#include <cstring>

namespace qira {

namespace {

constexpr GLenum kCapabilities[kGLStateCount] = {
    GL_ALPHA_TEST,    GL_AUTO_NORMAL,      GL_BLEND,          GL_COLOR_MATERIAL,
    GL_CULL_FACE,     GL_DEPTH_TEST,       GL_DITHER,         GL_FOG,
    GL_LIGHTING,      GL_LINE_SMOOTH,      GL_LINE_STIPPLE,   GL_INDEX_LOGIC_OP,
    GL_NORMALIZE,     GL_POINT_SMOOTH,     GL_POLYGON_SMOOTH, GL_POLYGON_STIPPLE,
    GL_SCISSOR_TEST,  GL_STENCIL_TEST,     GL_TEXTURE_1D,     GL_TEXTURE_2D,
    GL_TEXTURE_CUBE_MAP, GL_TEXTURE_RECTANGLE, GL_TEXTURE_3D, GL_TEXTURE_1D_ARRAY,
    GL_TEXTURE_2D_ARRAY, GL_TEXTURE_BUFFER};

// Every byte 0x7F: about 3.39e38, a colour no caller asks for.
const float kUnknownComponent = std::bit_cast<float>(0x7F7F7F7Fu);

bool SameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

bool SameRGB(const TVector& a, const TVector& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

bool SameRGBA(const TVector& a, const TVector& b) { return SameRGB(a, b) && SameBits(a.w, b.w); }

TVector Unknown() { return {kUnknownComponent, kUnknownComponent, kUnknownComponent, kUnknownComponent}; }

// The binding's variables are read at each call: they are filled only once a
// library is loaded, and tests may replace them.
const TGLStateFunctions kOpenGLStateFunctions = {
    [](GLenum capability) { glEnable(capability); },
    [](GLenum capability) { glDisable(capability); },
    [](GLenum face, GLenum mode) { glPolygonMode(face, mode); },
    [](GLenum face, GLenum name, GLint value) { glMateriali(face, name, value); },
    [](GLenum face, GLenum name, const GLfloat* values) { glMaterialfv(face, name, values); },
    [](GLenum target, GLuint texture) { glBindTexture(target, texture); },
    [](GLenum mode) { glMatrixMode(mode); },
    [](const GLfloat* matrix) { glLoadMatrixf(matrix); },
    []() { glLoadIdentity(); },
    [](GLenum mode) { glFrontFace(mode); },
};

}  // namespace

GLenum GLStateCapability(TGLState state) { return kCapabilities[static_cast<int>(state)]; }

const TGLStateFunctions& OpenGLStateFunctions() { return kOpenGLStateFunctions; }

TGLStateCache::TGLStateCache(const TGLStateFunctions& functions) : gl_(&functions) {
  // OpenGL starts with dithering on and every other capability of the table off.
  states_.Include(TGLState::stDither);
  ForgetMaterialColors();
  ResetBoundTextures();
}

void TGLStateCache::EnableState(TGLState state) {
  if (states_.Contains(state)) return;
  states_.Include(state);
  gl_->Enable(GLStateCapability(state));
}

void TGLStateCache::DisableState(TGLState state) {
  if (!states_.Contains(state)) return;
  states_.Exclude(state);
  gl_->Disable(GLStateCapability(state));
}

void TGLStateCache::SetPolygonMode(GLenum face, GLenum mode) {
  switch (face) {
    case GL_FRONT:
      if (mode != frontPolygonMode_) {
        frontPolygonMode_ = mode;
        gl_->PolygonMode(GL_FRONT, mode);
      }
      break;
    case GL_BACK:
      if (mode != backPolygonMode_) {
        backPolygonMode_ = mode;
        gl_->PolygonMode(GL_BACK, mode);
      }
      break;
    case GL_FRONT_AND_BACK:
      if (mode != frontPolygonMode_ || mode != backPolygonMode_) {
        frontPolygonMode_ = mode;
        backPolygonMode_ = mode;
        gl_->PolygonMode(GL_FRONT_AND_BACK, mode);
      }
      break;
    default:
      break;
  }
}

void TGLStateCache::ResetPolygonModes() {
  frontPolygonMode_ = 0;
  backPolygonMode_ = 0;
}

TGLStateCache::TFaceMaterial* TGLStateCache::FaceOf(GLenum face) {
  if (face == GL_FRONT) return &front_;
  if (face == GL_BACK) return &back_;
  return nullptr;
}

void TGLStateCache::SetMaterialColors(GLenum face, const TVector& emission, const TVector& ambient,
                                      const TVector& diffuse, const TVector& specular,
                                      int32_t shininess) {
  TFaceMaterial* cached = FaceOf(face);
  if (cached == nullptr) return;
  if (cached->shininess != shininess) {
    cached->shininess = shininess;
    gl_->Materiali(face, GL_SHININESS, shininess);
  }
  if (!SameRGB(cached->emission, emission)) {
    cached->emission = emission;
    gl_->Materialfv(face, GL_EMISSION, emission.data());
  }
  if (!SameRGB(cached->ambient, ambient)) {
    cached->ambient = ambient;
    gl_->Materialfv(face, GL_AMBIENT, ambient.data());
  }
  if (!SameRGBA(cached->diffuse, diffuse)) {
    cached->diffuse = diffuse;
    gl_->Materialfv(face, GL_DIFFUSE, diffuse.data());
  }
  if (!SameRGB(cached->specular, specular)) {
    cached->specular = specular;
    gl_->Materialfv(face, GL_SPECULAR, specular.data());
  }
}

void TGLStateCache::SetMaterialAlphaChannel(GLenum face, float alpha) {
  TFaceMaterial* cached = FaceOf(face);
  if (cached == nullptr || SameBits(cached->diffuse.w, alpha)) return;
  cached->diffuse.w = alpha;
  gl_->Materialfv(face, GL_DIFFUSE, cached->diffuse.data());
}

void TGLStateCache::ForgetMaterialColors() {
  for (TFaceMaterial* face : {&front_, &back_}) {
    face->emission = Unknown();
    face->ambient = Unknown();
    face->diffuse = Unknown();
    face->specular = Unknown();
    face->shininess = 0;
  }
}

void TGLStateCache::ResetMaterialColors() {
  static constexpr GLfloat kAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  static constexpr GLfloat kDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  static constexpr GLfloat kSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  static constexpr GLfloat kEmission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  gl_->Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kAmbient);
  gl_->Materialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kDiffuse);
  gl_->Materialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kSpecular);
  gl_->Materialfv(GL_FRONT_AND_BACK, GL_EMISSION, kEmission);
  gl_->Materiali(GL_FRONT_AND_BACK, GL_SHININESS, 0);
  ForgetMaterialColors();
}

void TGLStateCache::SetBoundTexture(int unit, GLenum target, GLuint handle) {
  if (unit < 0 || unit >= kGLTextureUnitCount) {
    gl_->BindTexture(target, handle);
    return;
  }
  if (boundTextures_[unit] == static_cast<int64_t>(handle)) return;
  gl_->BindTexture(target, handle);
  boundTextures_[unit] = handle;
}

void TGLStateCache::ResetBoundTextures() {
  for (int64_t& handle : boundTextures_) handle = -1;
}

void TGLStateCache::SetTextureMatrix(const TMatrix& matrix) {
  gl_->MatrixMode(GL_TEXTURE);
  gl_->LoadMatrixf(matrix.data());
  gl_->MatrixMode(GL_MODELVIEW);
  textureMatrixIsIdentity_ = false;
}

void TGLStateCache::ResetTextureMatrix() {
  if (textureMatrixIsIdentity_) return;
  gl_->MatrixMode(GL_TEXTURE);
  gl_->LoadIdentity();
  gl_->MatrixMode(GL_MODELVIEW);
  textureMatrixIsIdentity_ = true;
}

void TGLStateCache::ToggleFrontFace() {
  frontFaceCCW_ = !frontFaceCCW_;
  gl_->FrontFace(frontFaceCCW_ ? GL_CCW : GL_CW);
}

void TGLStateCache::ResetFrontFace() {
  gl_->FrontFace(GL_CCW);
  frontFaceCCW_ = true;
}

void TGLStateCache::ResetAll() {
  ResetPolygonModes();
  ResetMaterialColors();
  ResetBoundTextures();
  ResetFrontFace();
}

}  // namespace qira
