#pragma once
// How a scene object's surfaces are lit and blended: face properties,
// blending modes and parameters, the material that applies them around an
// object's drawing, and the material library whose named materials a
// material can stand in for.
//
// A material changes OpenGL only through the render context's state cache.
// Lighting-off and fog-off requests nest through the render context's
// counters, so only the outermost object switches the state back on.
//
// Links between materials, library materials, libraries and shaders are
// references, never ownership; each side clears the other's reference when it
// is freed, so no pointer outlives its target.
//
// Sections:
//   Face properties
//   Blending
//   TGLMaterial
//   Shaders
//   Library materials
//   TGLMaterialLibrary
//   Registration
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/components/Colors.h"
#include "scene/components/OrderedPointerSet.h"
#include "scene/components/Coordinates.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/RenderContextInfo.h"
#include "scene/graph/SceneObject.h"
#include "scene/materials/Textures.h"
#include "scene/components/UpdateAbleObjects.h"

namespace qira {

class TGLLibMaterial;
class TGLLibMaterials;
class TGLMaterialLibrary;
class TGLShader;
class TGLVirtualHandle;

// [SECTION] Face properties

enum class TPolygonMode : uint8_t { pmFill, pmLines, pmPoints };
using TShininess = uint8_t;

GLenum PolygonModeToGL(TPolygonMode mode);

class TGLFaceProperties : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLFaceProperties, TGLUpdateAbleObject)

  // Ambient (0.2, 0.2, 0.2, 1), diffuse (0.8, 0.8, 0.8, 1), specular and
  // emission opaque black, pmFill, shininess 0.
  explicit TGLFaceProperties(TPersistent* owner = nullptr);
  ~TGLFaceProperties() override;

  TGLColor& Ambient() const { return *ambient_; }
  TGLColor& Diffuse() const { return *diffuse_; }
  TGLColor& Specular() const { return *specular_; }
  TGLColor& Emission() const { return *emission_; }
  // Each assigns the value to the colour (which notifies).
  void SetAmbient(const TGLColor& value) { ambient_->Assign(&value); }
  void SetDiffuse(const TGLColor& value) { diffuse_->Assign(&value); }
  void SetSpecular(const TGLColor& value) { specular_->Assign(&value); }
  void SetEmission(const TGLColor& value) { emission_->Assign(&value); }
  TPolygonMode PolygonMode() const { return polygonMode_; }
  void SetPolygonMode(TPolygonMode value);
  TShininess Shininess() const { return shininess_; }
  void SetShininess(TShininess value);
  // The four colours always; PolygonMode and Shininess when not their defaults.
  void DefinePublished(TFiler& filer) override;

  // With lighting: the material colours of `face` (GL_FRONT or GL_BACK)
  // through the cache, then the polygon mode.
  void Apply(TRenderContextInfo& rci, GLenum face) const;
  // Without lighting: glColor4fv (diffuse), then the polygon mode.
  void ApplyNoLighting(TRenderContextInfo& rci, GLenum face) const;

  // From other face properties only: the four colours (silently), shininess
  // and polygon mode, then one notification. Any other source, null
  // included, is ignored.
  void Assign(const TPersistent* source) override;

 private:
  std::unique_ptr<TGLColor> ambient_;
  std::unique_ptr<TGLColor> diffuse_;
  std::unique_ptr<TGLColor> specular_;
  std::unique_ptr<TGLColor> emission_;
  TPolygonMode polygonMode_ = TPolygonMode::pmFill;
  TShininess shininess_ = 0;
};

// [SECTION] Blending

enum class TBlendingMode : uint8_t {
  bmOpaque,
  bmTransparency,
  bmAdditive,
  bmAlphaTest50,
  bmAlphaTest100,
  bmModulate,
  bmCustom
};

// In order GL_NEVER .. GL_ALWAYS.
enum class TGlAlphaFunc : uint8_t {
  af_GL_NEVER,
  af_GL_LESS,
  af_GL_EQUAL,
  af_GL_LEQUAL,
  af_GL_GREATER,
  af_GL_NOTEQUAL,
  af_GL_GEQUAL,
  af_GL_ALWAYS
};

enum class TGLBlendFuncFactor : uint8_t {
  bff_GL_ZERO,
  bff_GL_ONE,
  bff_GL_DST_COLOR,
  bff_GL_ONE_MINUS_DST_COLOR,
  bff_GL_SRC_ALPHA,
  bff_GL_ONE_MINUS_SRC_ALPHA,
  bff_GL_DST_ALPHA,
  bff_GL_ONE_MINUS_DST_ALPHA,
  bff_GL_SRC_ALPHA_SATURATE,
  bff_GL_CONSTANT_COLOR,
  bff_GL_ONE_MINUS_CONSTANT_COLOR,
  bff_GL_CONSTANT_ALPHA,
  bff_GL_ONE_MINUS_CONSTANT_ALPHA
};

GLenum AlphaFuncToGL(TGlAlphaFunc func);
GLenum BlendFuncFactorToGL(TGLBlendFuncFactor factor);

// The parameters of bmCustom. A change does not notify the material: the
// class's change hook is empty on purpose.
class TGLBlendingParameters : public TGLOwnedPersistent {
  QIRA_CLASS(TGLBlendingParameters, TGLOwnedPersistent)

  explicit TGLBlendingParameters(TPersistent* owner = nullptr) : TGLOwnedPersistent(owner) {}

  bool UseAlphaFunc() const { return useAlphaFunc_; }
  void SetUseAlphaFunc(bool value);
  bool UseBlendFunc() const { return useBlendFunc_; }
  void SetUseBlendFunc(bool value);
  TGlAlphaFunc AlphaFunctType() const { return alphaFuncType_; }
  void SetAlphaFunctType(TGlAlphaFunc value);
  float AlphaFuncRef() const { return alphaFuncRef_; }
  void SetAlphaFuncRef(float value);
  // Stored only when its magnitude exceeds 0.001.
  bool StoreAlphaFuncRef() const;
  TGLBlendFuncFactor BlendFuncSFactor() const { return blendFuncSFactor_; }
  void SetBlendFuncSFactor(TGLBlendFuncFactor value);
  TGLBlendFuncFactor BlendFuncDFactor() const { return blendFuncDFactor_; }
  void SetBlendFuncDFactor(TGLBlendFuncFactor value);
  // Each when not its default; AlphaFuncRef by StoreAlphaFuncRef.
  void DefinePublished(TFiler& filer) override;

  // From other blending parameters: every field. Otherwise TPersistent's rules.
  void Assign(const TPersistent* source) override;

 protected:
  virtual void Changed() {}

 private:
  bool useAlphaFunc_ = false;
  bool useBlendFunc_ = true;
  TGlAlphaFunc alphaFuncType_ = TGlAlphaFunc::af_GL_GREATER;
  float alphaFuncRef_ = 0.0f;
  TGLBlendFuncFactor blendFuncSFactor_ = TGLBlendFuncFactor::bff_GL_SRC_ALPHA;
  TGLBlendFuncFactor blendFuncDFactor_ = TGLBlendFuncFactor::bff_GL_ONE_MINUS_SRC_ALPHA;
};

// [SECTION] TGLMaterial

// Bits as stored: moIgnoreFog bit 0, moNoLighting bit 1.
enum class TMaterialOption : uint8_t { moIgnoreFog = 1, moNoLighting = 2 };
using TMaterialOptions = TGLFlagSet<TMaterialOption>;

enum class TFaceCulling : uint8_t { fcBufferDefault, fcCull, fcNoCull };

class TGLMaterial : public TGLAbstractMaterial, public IGLTextureNotifyAble {
  QIRA_CLASS(TGLMaterial, TGLAbstractMaterial)

  explicit TGLMaterial(TPersistent* owner = nullptr);
  // Leaves its library material and library first.
  ~TGLMaterial() override;

  // ---- own properties (used while no library material is linked)
  TGLFaceProperties& FrontProperties() const { return *frontProperties_; }
  void SetFrontProperties(const TGLFaceProperties& value);
  // Created with the defaults on first read.
  TGLFaceProperties& BackProperties();
  bool HasBackProperties() const { return backProperties_ != nullptr; }
  void SetBackProperties(const TGLFaceProperties& value);
  TBlendingMode BlendingMode() const { return blendingMode_; }
  void SetBlendingMode(TBlendingMode value);
  TGLBlendingParameters& BlendingParams() const { return *blendingParams_; }
  void SetBlendingParams(const TGLBlendingParameters& value) { blendingParams_->Assign(&value); }
  // Created on first read.
  TGLTexture& Texture();
  bool HasTexture() const { return texture_ != nullptr; }
  // Null frees the texture; otherwise the texture (created when missing)
  // is assigned from the value.
  void SetTexture(const TGLTexture* value);
  // Created on first read.
  TGLTextureEx& TextureEx();
  bool HasTextureEx() const { return textureEx_ != nullptr; }
  void SetTextureEx(const TGLTextureEx& value);
  TMaterialOptions MaterialOptions() const { return materialOptions_; }
  void SetMaterialOptions(TMaterialOptions value);
  TFaceCulling FaceCulling() const { return faceCulling_; }
  void SetFaceCulling(TFaceCulling value);

  // ---- library link
  TGLMaterialLibrary* MaterialLibrary() const { return materialLibrary_; }
  // Stores the library, then re-resolves the current name in it.
  void SetMaterialLibrary(TGLMaterialLibrary* value);
  const std::string& LibMaterialName() const { return libMaterialName_; }
  // Looks the name up (nothing without a library), stores it, and when the
  // library material found differs from the linked one: leaves the old one,
  // joins the new one and signals a texture-map change.
  void SetLibMaterialName(const std::string& value);
  TGLLibMaterial* LibMaterial() const { return currentLibMaterial_; }
  // The linked library material's material, else this one.
  TGLMaterial& EffectiveMaterial();
  // Written to the stored form only while no library material is linked.
  bool StoreMaterialProps() const { return currentLibMaterial_ == nullptr; }
  bool StoreTextureEx() const { return textureEx_ && textureEx_->Count() > 0; }
  // The face properties, BlendingMode and Texture only while StoreMaterialProps
  // (BackProperties and Texture only once made); TextureEx by StoreTextureEx;
  // the others when not their defaults.
  void DefinePublished(TFiler& filer) override;

  // ---- drawing
  void Apply(TRenderContextInfo& rci) override;
  // True asks for another pass (only a library material's shader does).
  bool UnApply(TRenderContextInfo& rci) override;
  bool Blended() const override;
  // Frees the texture's OpenGL name.
  void DestroyHandles() override;
  // The extended texture finishes loading.
  void Loaded() override;

  // ---- notification
  // The owner's NotifyChange (when it takes notifications), with this
  // material as sender; nothing else (no change event).
  void NotifyChange(TObject* sender) override;
  // The owner's NotifyTexMapChange when it offers it, else NotifyChange.
  void NotifyTexMapChange(TObject* sender) override;

  // From another material (see the .cpp for the order), then one
  // notification. Other sources: TPersistent's rules.
  void Assign(const TPersistent* source) override;

 private:
  friend class TGLLibMaterial;
  friend class TGLMaterialLibrary;
  // Called by a library material being freed / a library being freed.
  void DropLibMaterial();
  void DropLibrary();

  std::unique_ptr<TGLFaceProperties> frontProperties_;
  std::unique_ptr<TGLFaceProperties> backProperties_;
  TBlendingMode blendingMode_ = TBlendingMode::bmOpaque;
  std::unique_ptr<TGLBlendingParameters> blendingParams_;
  std::unique_ptr<TGLTexture> texture_;
  std::unique_ptr<TGLTextureEx> textureEx_;
  TGLMaterialLibrary* materialLibrary_ = nullptr;
  std::string libMaterialName_;
  TMaterialOptions materialOptions_;
  TFaceCulling faceCulling_ = TFaceCulling::fcBufferDefault;
  TGLLibMaterial* currentLibMaterial_ = nullptr;
  int notifyHold_ = 0;  // above 0 while Assign runs: notifications held back
};

// [SECTION] Shaders

enum class TGLShaderStyle : uint8_t { ssApplyFirst, ssApplyLast, ssReplaceMaterial };
// What a shader that cannot initialise does: switch itself off silently,
// raise EGLShaderException with the failure message, or (the last two) raise
// the exception the initialisation hook raised.
enum class TGLShaderFailedInitAction : uint8_t {
  fiaSilentDisable,
  fiaRaiseStandardException,
  fiaRaiseHandledException,
  fiaReRaiseException
};

// "Your hardware/driver doesn't support shader "<name>"!"
class EGLShaderException : public Exception {
 public:
  using Exception::Exception;
};

// The base of pluggable shaders a library material may carry. Concrete
// shaders override the hooks.
class TGLShader : public TGLUpdateAbleComponent {
  QIRA_CLASS(TGLShader, TGLUpdateAbleComponent)

  TGLShader();
  // Every user library material drops the shader; the shader finalises.
  ~TGLShader() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TGLShaderStyle ShaderStyle() const { return shaderStyle_; }
  void SetShaderStyle(TGLShaderStyle value) { shaderStyle_ = value; }
  // Enabled and ShaderStyle when not their defaults.
  void DefinePublished(TFiler& filer) override;
  TGLShaderFailedInitAction FailedInitAction() const { return failedInitAction_; }
  void SetFailedInitAction(TGLShaderFailedInitAction value) { failedInitAction_ = value; }

  // Initialises once when enabled (a context must be current), then the
  // apply hook; the shader is active afterwards.
  void Apply(TRenderContextInfo& rci, TObject* sender);
  // The un-apply hook's answer while enabled (False ends the activity);
  // False when disabled.
  bool UnApply(TRenderContextInfo& rci);
  bool ShaderActive() const { return shaderActive_; }
  bool ShaderInitialized() const;
  // Runs the finalisation hook and frees the handle.
  void FinalizeShader();
  // "Your hardware/driver doesn't support shader "<Name or class name>"!"
  std::string FailureMessage() const;

  // When not updating: every user library material, last first, notifies
  // its users; then the shader finalises.
  void NotifyChange(TObject* sender) override;

 protected:
  // Hooks. DoInitialize may raise to say the driver cannot run the shader.
  virtual void DoInitialize(TRenderContextInfo& rci, TObject* sender) {
    (void)rci;
    (void)sender;
  }
  virtual void DoApply(TRenderContextInfo& rci, TObject* sender) = 0;
  virtual bool DoUnApply(TRenderContextInfo& rci) = 0;
  virtual void DoFinalize() {}

 private:
  friend class TGLLibMaterial;
  void RegisterUser(TGLLibMaterial& libMaterial);
  void UnRegisterUser(TGLLibMaterial& libMaterial);
  void InitializeShader(TRenderContextInfo& rci, TObject* sender);

  std::unique_ptr<TGLVirtualHandle> virtualHandle_;
  TOrderedPointerSet<TGLLibMaterial> libMatUsers_;
  TGLShaderStyle shaderStyle_ = TGLShaderStyle::ssApplyLast;
  TGLShaderFailedInitAction failedInitAction_ = TGLShaderFailedInitAction::fiaRaiseStandardException;
  bool enabled_ = true;
  bool shaderActive_ = false;
};

// [SECTION] Library materials

// A named material of a library.
class TGLLibMaterial : public TCollectionItem,
                       public IGLNotifyAble,
                       public IGLTextureNotifyAble,
                       public TGLTextureTransform {
  QIRA_CLASS(TGLLibMaterial, TCollectionItem)

  // Named "LibMaterial" made unique when it joins a library's collection.
  TGLLibMaterial();
  // Drops the shader and the second texture; every material user loses its
  // library link and every library-material user its second-texture link.
  ~TGLLibMaterial() override;

  const std::string& Name() const { return name_; }
  // Kept as given while the library loads, else made unique when another
  // material of the library has it; the hash follows.
  void SetName(const std::string& value);
  uint32_t NameHash() const { return nameHash_; }
  std::string GetDisplayName() const override { return name_; }

  TGLMaterial& Material() const { return *material_; }
  void SetMaterial(const TGLMaterial& value) { material_->Assign(&value); }
  // TextureOffset, TextureScale and TextureMatrix: see TGLTextureTransform.
  const std::string& Texture2Name() const { return texture2Name_; }
  void SetTexture2Name(const std::string& value);
  // The second library material, once resolved (null before, or when not found).
  TGLLibMaterial* LibMatTexture2() const { return libMatTexture2_; }
  TGLShader* Shader() const { return shader_; }
  void SetShader(TGLShader* value);
  int32_t Tag = 0;
  // Name, Material, TextureOffset and TextureScale always; Texture2Name,
  // Shader and Tag when set.
  void DefinePublished(TFiler& filer) override;

  // The library owning the collection this material is in, or null.
  TGLMaterialLibrary* MaterialLibrary() const;

  // ---- users
  // Users are told of every change (see NotifyUsers). A material, library
  // material, update-able object or update-able component; registering
  // twice registers once.
  void RegisterUser(TObject& user);
  void UnRegisterUser(TObject& user);
  bool IsUsed() const { return !userList_.Empty(); }
  int UserCount() const { return static_cast<int>(userList_.Size()); }
  // Each user (guarded against re-entry): a material its texture-map change,
  // a library material its own users, an update-able object or component its
  // NotifyChange.
  void NotifyUsers();

  // ---- drawing (see the .cpp for the passes)
  void Apply(TRenderContextInfo& rci);
  bool UnApply(TRenderContextInfo& rci);

  // Changes of the material (and its texture) reach the users.
  void NotifyChange(TObject* sender) override;
  void NotifyTexMapChange(TObject* sender) override;
  // Offset or scale changed.
  void CoordinateChanged(TGLCustomCoordinates* sender) override;

  // From another library material: name, material, offset, scale,
  // Texture2Name and shader. Otherwise TPersistent's rules.
  void Assign(const TPersistent* source) override;

  // The library's texture-file resolution, for the material's texture.
  void DoOnTextureNeeded(TObject* sender, std::string& textureFileName);

 private:
  friend class TGLShader;
  friend class TGLLibMaterials;
  // Resolves the second library material on first use; true when it is
  // usable (its texture enabled).
  bool PrepareTexture2();
  void DropShader() { shader_ = nullptr; }
  void DropTexture2();
  void SetNameDirect(const std::string& value);

  TOrderedPointerSet<TObject> userList_;
  std::string name_;
  uint32_t nameHash_ = 0;
  std::unique_ptr<TGLMaterial> material_;
  std::string texture2Name_;
  TGLShader* shader_ = nullptr;
  bool notifying_ = false;
  TGLLibMaterial* libMatTexture2_ = nullptr;
};

// h := length; for each byte c: h := c + 2h (32 bits, wrapping).
uint32_t ComputeNameHashKey(std::string_view name);

class TGLLibMaterials : public TOwnedCollection {
  QIRA_CLASS(TGLLibMaterials, TOwnedCollection)

  explicit TGLLibMaterials(TGLMaterialLibrary* owner);

  TGLLibMaterial& Add() { return static_cast<TGLLibMaterial&>(TOwnedCollection::Add()); }
  TGLLibMaterial& Items(int index) const { return static_cast<TGLLibMaterial&>(GetItem(index)); }
  TGLMaterialLibrary* Library() const;
  // Hash first, then the exact (case-sensitive) name; null when absent.
  TGLLibMaterial* GetLibMaterialByName(std::string_view name) const;
  int IndexOfName(std::string_view name) const;
  // The base when no material has it, else base + 1, 2, 3 ... the first
  // free; `renamed` (the material being renamed) does not count as a holder.
  std::string MakeUniqueName(const std::string& nameRoot, const TGLLibMaterial* renamed = nullptr) const;
  // Every material recomputes its texture matrix and its extended texture
  // finishes loading.
  void Loaded();

 protected:
  // A new item without a name is named "LibMaterial" made unique.
  void Notify(TCollectionItem& item, TCollectionNotification action) override;
};

// [SECTION] TGLMaterialLibrary

class TGLMaterialLibrary : public TGLCadenceAbleComponent {
  QIRA_CLASS(TGLMaterialLibrary, TGLCadenceAbleComponent)

  TGLMaterialLibrary();
  // Every material that names this library loses its link first.
  ~TGLMaterialLibrary() override;

  TGLLibMaterials& Materials() const { return *materials_; }
  void SetMaterials(const TGLLibMaterials& value) { materials_->Assign(&value); }
  bool StoreMaterials() const { return materials_->Count() > 0; }
  // Null when absent.
  TGLLibMaterial* GetLibMaterialByName(std::string_view name) const { return materials_->GetLibMaterialByName(name); }

  // A ";"-separated list of folders searched for texture files.
  const std::string& TexturePaths() const { return texturePaths_; }
  void SetTexturePaths(const std::string& value);
  // Materials by StoreMaterials; TexturePaths when not empty.
  void DefinePublished(TFiler& filer) override;
  // The parsed folders: trimmed, empty ones dropped, each ending in "/".
  const std::vector<std::string>& TexturePathList() const { return texturePathList_; }

  // Runs first when a library material's texture asks for a file.
  TTextureNeededEvent OnTextureNeeded;
  // OnTextureNeeded, then, for a relative name, the first folder of the
  // list in which the file exists; the name stays when none has it.
  void DoOnTextureNeeded(TObject* sender, std::string& textureFileName);

  // Inherited, then every library material finishes loading.
  void Loaded() override;

 private:
  friend class TGLMaterial;
  void RegisterMaterialRef(TGLMaterial& material);
  void UnRegisterMaterialRef(TGLMaterial& material);

  std::unique_ptr<TGLLibMaterials> materials_;
  std::string texturePaths_;
  std::vector<std::string> texturePathList_;
  TOrderedPointerSet<TGLMaterial> materialRefs_;  // materials whose MaterialLibrary is this one
};

// [SECTION] Registration

// The process-wide switch that keeps library materials off the second
// texture unit (False at start).
bool SecondTextureUnitForbidden();
void SetSecondTextureUnitForbidden(bool value);

// Makes every custom scene object created from now on take a TGLMaterial,
// and registers the library classes with the class registry.
void RegisterMaterialClasses();

}  // namespace qira
