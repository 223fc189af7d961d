#pragma once
// A mirror of the OpenGL state the engine changes most often, so that
// redundant calls are skipped: the enable flags, the polygon modes, the
// material colours and shininess of both faces, the texture bound on each of
// 8 units, the texture matrix and the front-face winding.
//
// A cache assumes that every change of the kinds it covers goes through it
// while its context is current. It calls OpenGL through a table of function
// pointers (TGLStateFunctions); the default table forwards to the binding, a
// test can hand in its own.
#include <cstdint>

#include "scene/gl/OpenGLBinding.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// The states the cache switches, each standing for one OpenGL capability.
enum class TGLState : uint8_t {
  stAlphaTest, stAutoNormal, stBlend, stColorMaterial, stCullFace, stDepthTest, stDither, stFog,
  stLighting, stLineSmooth, stLineStipple, stIndexLogicOp, stNormalize, stPointSmooth,
  stPolygonSmooth, stPolygonStipple, stScissorTest, stStencilTest, stTexture1D, stTexture2D,
  stTextureCubeMap, stTextureRect, stTexture3D, stTexture1DArray, stTexture2DArray,
  stTextureBuffer
};
inline constexpr int kGLStateCount = 26;

// The OpenGL capability of a state.
GLenum GLStateCapability(TGLState state);

// A set of states, one bit per state.
class TGLStates {
 public:
  constexpr TGLStates() = default;
  constexpr bool Contains(TGLState state) const { return (bits_ & Bit(state)) != 0; }
  constexpr void Include(TGLState state) { bits_ |= Bit(state); }
  constexpr void Exclude(TGLState state) { bits_ &= ~Bit(state); }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TGLStates&) const = default;

 private:
  static constexpr uint32_t Bit(TGLState state) { return uint32_t{1} << static_cast<unsigned>(state); }
  uint32_t bits_ = 0;
};

// The OpenGL calls the cache makes.
struct TGLStateFunctions {
  void (*Enable)(GLenum capability);
  void (*Disable)(GLenum capability);
  void (*PolygonMode)(GLenum face, GLenum mode);
  void (*Materiali)(GLenum face, GLenum name, GLint value);
  void (*Materialfv)(GLenum face, GLenum name, const GLfloat* values);
  void (*BindTexture)(GLenum target, GLuint texture);
  void (*MatrixMode)(GLenum mode);
  void (*LoadMatrixf)(const GLfloat* matrix);
  void (*LoadIdentity)();
  void (*FrontFace)(GLenum mode);
};

// The table that calls the binding's current entry points.
const TGLStateFunctions& OpenGLStateFunctions();

inline constexpr int kGLTextureUnitCount = 8;

class TGLStateCache : public TObject {
  QIRA_CLASS(TGLStateCache, TObject)

  // Starts from OpenGL's initial state: every capability off but dithering,
  // front faces counter-clockwise, identity texture matrix, polygon modes,
  // colours and bindings unknown (the first request of each is sent).
  explicit TGLStateCache(const TGLStateFunctions& functions = OpenGLStateFunctions());

  // ---- enable flags
  // Sends glEnable only when the state is not already on.
  void EnableState(TGLState state);
  // Sends glDisable only when the state is on.
  void DisableState(TGLState state);
  TGLStates States() const { return states_; }

  // ---- polygon modes
  // GL_FRONT, GL_BACK or GL_FRONT_AND_BACK; other faces do nothing.
  void SetPolygonMode(GLenum face, GLenum mode);
  // Both modes unknown.
  void ResetPolygonModes();

  // ---- material
  // Face GL_FRONT or GL_BACK (others do nothing): shininess, then emission,
  // ambient, diffuse and specular, each sent only when it differs from the
  // cache. Emission, ambient and specular compare red, green and blue only;
  // diffuse compares all four. Comparisons are of the exact bit patterns.
  void SetMaterialColors(GLenum face, const TVector& emission, const TVector& ambient,
                         const TVector& diffuse, const TVector& specular, int32_t shininess);
  // Sends the face's whole diffuse colour when its alpha changes.
  void SetMaterialAlphaChannel(GLenum face, float alpha);
  // Sends OpenGL's default material for both faces and forgets the colours
  // (the next request of any colour is sent) and the shininess (0).
  void ResetMaterialColors();

  // ---- textures
  // Binds when the handle differs from the one cached for the unit; the
  // caller has selected the unit. A unit outside 0..7 always binds.
  void SetBoundTexture(int unit, GLenum target, GLuint handle);
  // Every unit's binding unknown.
  void ResetBoundTextures();

  // ---- texture matrix
  // Loads the matrix into the texture matrix and goes back to the model-view.
  void SetTextureMatrix(const TMatrix& matrix);
  // Loads identity into the texture matrix, only when it is not known to be so.
  void ResetTextureMatrix();
  bool TextureMatrixIsIdentity() const { return textureMatrixIsIdentity_; }

  // ---- front face
  void ToggleFrontFace();
  void ResetFrontFace();
  bool FrontFaceCCW() const { return frontFaceCCW_; }

  // Polygon modes, material colours, texture bindings and front face back to
  // unknown or OpenGL's defaults; the enable flags stay.
  void ResetAll();

 private:
  struct TFaceMaterial {
    TVector emission, ambient, diffuse, specular;
    int32_t shininess = 0;
  };
  TFaceMaterial* FaceOf(GLenum face);
  void ForgetMaterialColors();

  const TGLStateFunctions* gl_;
  TFaceMaterial front_;
  TFaceMaterial back_;
  TGLStates states_;
  int64_t boundTextures_[kGLTextureUnitCount];  // -1: nothing known
  GLenum frontPolygonMode_ = 0;                 // 0: nothing known
  GLenum backPolygonMode_ = 0;
  bool frontFaceCCW_ = true;
  bool textureMatrixIsIdentity_ = true;
};

}  // namespace qira
