// Sections:
//   Face properties
//   Blending
//   TGLMaterial
//   Shaders
//   Library materials
//   The collection
//   TGLMaterialLibrary
//   Registration
//   Component streams

#include "scene/materials/Materials.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/components/Persistence.h"
#include "scene/gl/RenderingContext.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

bool gSecondTextureUnitForbidden = false;

}  // namespace

// [SECTION] Face properties

GLenum PolygonModeToGL(TPolygonMode mode) {
  switch (mode) {
    case TPolygonMode::pmLines:
      return GL_LINE;
    case TPolygonMode::pmPoints:
      return GL_POINT;
    case TPolygonMode::pmFill:
    default:
      return GL_FILL;
  }
}

TGLFaceProperties::TGLFaceProperties(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      ambient_(TGLColor::CreateInitialized(this, TVector{0.2f, 0.2f, 0.2f, 1.0f})),
      diffuse_(TGLColor::CreateInitialized(this, TVector{0.8f, 0.8f, 0.8f, 1.0f})),
      specular_(std::make_unique<TGLColor>(this)),
      emission_(std::make_unique<TGLColor>(this)) {}

TGLFaceProperties::~TGLFaceProperties() = default;

void TGLFaceProperties::SetPolygonMode(TPolygonMode value) {
  if (value == polygonMode_) return;
  polygonMode_ = value;
  NotifyChange(this);
}

void TGLFaceProperties::SetShininess(TShininess value) {
  if (value == shininess_) return;
  shininess_ = value;
  NotifyChange(this);
}

void TGLFaceProperties::Apply(TRenderContextInfo& rci, GLenum face) const {
  TGLStateCache& states = *rci.GLStates;
  states.SetMaterialColors(face, emission_->Color(), ambient_->Color(), diffuse_->Color(), specular_->Color(),
                           shininess_);
  states.SetPolygonMode(face, PolygonModeToGL(polygonMode_));
}

void TGLFaceProperties::ApplyNoLighting(TRenderContextInfo& rci, GLenum face) const {
  glColor4fv(diffuse_->GetColorAddress());
  rci.GLStates->SetPolygonMode(face, PolygonModeToGL(polygonMode_));
}

void TGLFaceProperties::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TGLFaceProperties*>(source);
  if (other == nullptr) return;
  ambient_->SetDirectColor(other->ambient_->Color());
  diffuse_->SetDirectColor(other->diffuse_->Color());
  specular_->SetDirectColor(other->specular_->Color());
  emission_->SetDirectColor(other->emission_->Color());
  shininess_ = other->shininess_;
  polygonMode_ = other->polygonMode_;
  NotifyChange(this);
}

// [SECTION] Blending

GLenum AlphaFuncToGL(TGlAlphaFunc func) { return GL_NEVER + static_cast<GLenum>(func); }

GLenum BlendFuncFactorToGL(TGLBlendFuncFactor factor) {
  static constexpr GLenum kFactors[] = {GL_ZERO,
                                        GL_ONE,
                                        GL_DST_COLOR,
                                        GL_ONE_MINUS_DST_COLOR,
                                        GL_SRC_ALPHA,
                                        GL_ONE_MINUS_SRC_ALPHA,
                                        GL_DST_ALPHA,
                                        GL_ONE_MINUS_DST_ALPHA,
                                        GL_SRC_ALPHA_SATURATE,
                                        GL_CONSTANT_COLOR,
                                        GL_ONE_MINUS_CONSTANT_COLOR,
                                        GL_CONSTANT_ALPHA,
                                        GL_ONE_MINUS_CONSTANT_ALPHA};
  const auto index = static_cast<size_t>(factor);
  return index < std::size(kFactors) ? kFactors[index] : GL_ONE;
}

void TGLBlendingParameters::SetUseAlphaFunc(bool value) {
  if (value == useAlphaFunc_) return;
  useAlphaFunc_ = value;
  Changed();
}

void TGLBlendingParameters::SetUseBlendFunc(bool value) {
  if (value == useBlendFunc_) return;
  useBlendFunc_ = value;
  Changed();
}

void TGLBlendingParameters::SetAlphaFunctType(TGlAlphaFunc value) {
  if (value == alphaFuncType_) return;
  alphaFuncType_ = value;
  Changed();
}

void TGLBlendingParameters::SetAlphaFuncRef(float value) {
  if (value == alphaFuncRef_) return;
  alphaFuncRef_ = value;
  Changed();
}

bool TGLBlendingParameters::StoreAlphaFuncRef() const { return std::fabs(alphaFuncRef_) > 0.001f; }

void TGLBlendingParameters::SetBlendFuncSFactor(TGLBlendFuncFactor value) {
  if (value == blendFuncSFactor_) return;
  blendFuncSFactor_ = value;
  Changed();
}

void TGLBlendingParameters::SetBlendFuncDFactor(TGLBlendFuncFactor value) {
  if (value == blendFuncDFactor_) return;
  blendFuncDFactor_ = value;
  Changed();
}

void TGLBlendingParameters::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGLBlendingParameters*>(source)) {
    useAlphaFunc_ = other->useAlphaFunc_;
    useBlendFunc_ = other->useBlendFunc_;
    alphaFuncType_ = other->alphaFuncType_;
    alphaFuncRef_ = other->alphaFuncRef_;
    blendFuncSFactor_ = other->blendFuncSFactor_;
    blendFuncDFactor_ = other->blendFuncDFactor_;
    Changed();
    return;
  }
  TGLOwnedPersistent::Assign(source);
}

// [SECTION] TGLMaterial

TGLMaterial::TGLMaterial(TPersistent* owner)
    : TGLAbstractMaterial(owner),
      frontProperties_(std::make_unique<TGLFaceProperties>(this)),
      blendingParams_(std::make_unique<TGLBlendingParameters>(this)) {}

TGLMaterial::~TGLMaterial() {
  if (currentLibMaterial_ != nullptr) currentLibMaterial_->UnRegisterUser(*this);
  currentLibMaterial_ = nullptr;
  if (materialLibrary_ != nullptr) materialLibrary_->UnRegisterMaterialRef(*this);
  materialLibrary_ = nullptr;
}

void TGLMaterial::SetFrontProperties(const TGLFaceProperties& value) {
  frontProperties_->Assign(&value);
  NotifyChange(this);
}

TGLFaceProperties& TGLMaterial::BackProperties() {
  if (!backProperties_) backProperties_ = std::make_unique<TGLFaceProperties>(this);
  return *backProperties_;
}

void TGLMaterial::SetBackProperties(const TGLFaceProperties& value) {
  BackProperties().Assign(&value);
  NotifyChange(this);
}

void TGLMaterial::SetBlendingMode(TBlendingMode value) {
  if (value == blendingMode_) return;
  blendingMode_ = value;
  NotifyChange(this);
}

TGLTexture& TGLMaterial::Texture() {
  if (!texture_) {
    texture_ = std::make_unique<TGLTexture>(this);
    // A library material's texture looks for its files through the library.
    if (auto* libMaterial = dynamic_cast<TGLLibMaterial*>(Owner())) {
      texture_->OnTextureNeeded = [libMaterial](TObject* sender, std::string& name) {
        libMaterial->DoOnTextureNeeded(sender, name);
      };
    }
  }
  return *texture_;
}

void TGLMaterial::SetTexture(const TGLTexture* value) {
  if (value == nullptr) {
    if (!texture_) return;
    texture_.reset();
    NotifyChange(this);
    return;
  }
  Texture().Assign(value);
}

TGLTextureEx& TGLMaterial::TextureEx() {
  if (!textureEx_) textureEx_ = std::make_unique<TGLTextureEx>(this);
  return *textureEx_;
}

void TGLMaterial::SetTextureEx(const TGLTextureEx& value) { TextureEx().Assign(&value); }

void TGLMaterial::SetMaterialOptions(TMaterialOptions value) {
  if (value == materialOptions_) return;
  materialOptions_ = value;
  NotifyChange(this);
}

void TGLMaterial::SetFaceCulling(TFaceCulling value) {
  if (value == faceCulling_) return;
  faceCulling_ = value;
  NotifyChange(this);
}

void TGLMaterial::SetMaterialLibrary(TGLMaterialLibrary* value) {
  if (value != materialLibrary_) {
    if (materialLibrary_ != nullptr) materialLibrary_->UnRegisterMaterialRef(*this);
    materialLibrary_ = value;
    if (materialLibrary_ != nullptr) materialLibrary_->RegisterMaterialRef(*this);
  }
  SetLibMaterialName(libMaterialName_);
}

void TGLMaterial::SetLibMaterialName(const std::string& value) {
  TGLLibMaterial* found = materialLibrary_ != nullptr ? materialLibrary_->GetLibMaterialByName(value) : nullptr;
  // A link that leads back to this material would make Apply recurse without
  // end: such a name leaves the material unlinked.
  for (TGLLibMaterial* step = found; step != nullptr; step = step->Material().currentLibMaterial_) {
    if (&step->Material() == this) {
      found = nullptr;
      break;
    }
  }
  libMaterialName_ = value;
  if (found == currentLibMaterial_) return;
  if (currentLibMaterial_ != nullptr) currentLibMaterial_->UnRegisterUser(*this);
  currentLibMaterial_ = found;
  if (currentLibMaterial_ != nullptr) currentLibMaterial_->RegisterUser(*this);
  NotifyTexMapChange(this);
}

TGLMaterial& TGLMaterial::EffectiveMaterial() {
  return currentLibMaterial_ != nullptr ? currentLibMaterial_->Material() : *this;
}

void TGLMaterial::DropLibMaterial() {
  currentLibMaterial_ = nullptr;
  libMaterialName_.clear();
  if (materialLibrary_ != nullptr) materialLibrary_->UnRegisterMaterialRef(*this);
  materialLibrary_ = nullptr;
  NotifyTexMapChange(this);
}

void TGLMaterial::DropLibrary() {
  materialLibrary_ = nullptr;
  if (currentLibMaterial_ != nullptr) {
    currentLibMaterial_->UnRegisterUser(*this);
    currentLibMaterial_ = nullptr;
    NotifyTexMapChange(this);
  }
}

void TGLMaterial::Apply(TRenderContextInfo& rci) {
  if (currentLibMaterial_ != nullptr) {
    currentLibMaterial_->Apply(rci);
    return;
  }
  TGLStateCache& states = *rci.GLStates;

  if (materialOptions_.Contains(TMaterialOption::moNoLighting)) BeginLightingOff(rci);
  if (states.States().Contains(TGLState::stLighting)) {
    frontProperties_->Apply(rci, GL_FRONT);
  } else {
    frontProperties_->ApplyNoLighting(rci, GL_FRONT);
  }

  bool lightBackFaces = false;
  const bool cullOn = states.States().Contains(TGLState::stCullFace);
  switch (faceCulling_) {
    case TFaceCulling::fcBufferDefault:
      if (cullOn) {
        if (!rci.bufferFaceCull) {
          states.DisableState(TGLState::stCullFace);
          lightBackFaces = true;
        }
      } else if (rci.bufferFaceCull) {
        states.EnableState(TGLState::stCullFace);
      } else {
        lightBackFaces = true;
      }
      break;
    case TFaceCulling::fcCull:
      if (!cullOn) states.EnableState(TGLState::stCullFace);
      break;
    case TFaceCulling::fcNoCull:
      if (cullOn) states.DisableState(TGLState::stCullFace);
      lightBackFaces = true;
      break;
  }
  // Back faces always take the lit variant: their material colours matter
  // only where lighting is on.
  if (lightBackFaces) BackProperties().Apply(rci, GL_BACK);

  if (!rci.ignoreBlendingRequests) {
    switch (blendingMode_) {
      case TBlendingMode::bmOpaque:
        states.DisableState(TGLState::stBlend);
        states.DisableState(TGLState::stAlphaTest);
        break;
      case TBlendingMode::bmTransparency:
        states.EnableState(TGLState::stBlend);
        states.EnableState(TGLState::stAlphaTest);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
      case TBlendingMode::bmAdditive:
        states.EnableState(TGLState::stBlend);
        states.EnableState(TGLState::stAlphaTest);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        break;
      case TBlendingMode::bmAlphaTest50:
        states.DisableState(TGLState::stBlend);
        states.EnableState(TGLState::stAlphaTest);
        glAlphaFunc(GL_GEQUAL, 0.5f);
        break;
      case TBlendingMode::bmAlphaTest100:
        states.DisableState(TGLState::stBlend);
        states.EnableState(TGLState::stAlphaTest);
        glAlphaFunc(GL_GEQUAL, 1.0f);
        break;
      case TBlendingMode::bmModulate:
        states.EnableState(TGLState::stBlend);
        states.EnableState(TGLState::stAlphaTest);
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        break;
      case TBlendingMode::bmCustom: {
        const TGLBlendingParameters& params = *blendingParams_;
        if (params.UseBlendFunc()) {
          states.EnableState(TGLState::stBlend);
        } else {
          states.DisableState(TGLState::stBlend);
        }
        states.EnableState(TGLState::stAlphaTest);
        if (params.UseAlphaFunc()) glAlphaFunc(AlphaFuncToGL(params.AlphaFunctType()), params.AlphaFuncRef());
        if (params.UseBlendFunc()) {
          glBlendFunc(BlendFuncFactorToGL(params.BlendFuncSFactor()), BlendFuncFactorToGL(params.BlendFuncDFactor()));
        }
        break;
      }
    }
  }

  if (materialOptions_.Contains(TMaterialOption::moIgnoreFog)) BeginFogOff(rci);

  if (!textureEx_) {
    if (texture_) texture_->Apply(rci);
  } else if (texture_ && !textureEx_->IsTextureEnabled(0)) {
    texture_->Apply(rci);
  } else if (textureEx_->Count() > 0) {
    textureEx_->Apply(rci);
  }
}

bool TGLMaterial::UnApply(TRenderContextInfo& rci) {
  if (currentLibMaterial_ != nullptr) return currentLibMaterial_->UnApply(rci);

  if (blendingMode_ == TBlendingMode::bmAlphaTest50 || blendingMode_ == TBlendingMode::bmAlphaTest100 ||
      blendingMode_ == TBlendingMode::bmCustom) {
    glAlphaFunc(GL_GREATER, 0.0f);
  }
  if (materialOptions_.Contains(TMaterialOption::moNoLighting)) EndLightingOff(rci);
  if (materialOptions_.Contains(TMaterialOption::moIgnoreFog)) EndFogOff(rci);

  if (texture_ && !texture_->Disabled() && !IsTextureExEnabled(textureEx_.get(), 0)) {
    texture_->UnApply(rci);
    return false;
  }
  if (textureEx_) textureEx_->UnApply(rci);
  return false;
}

bool TGLMaterial::Blended() const {
  if (currentLibMaterial_ != nullptr) return currentLibMaterial_->Material().Blended();
  switch (blendingMode_) {
    case TBlendingMode::bmTransparency:
    case TBlendingMode::bmAdditive:
    case TBlendingMode::bmModulate:
    case TBlendingMode::bmCustom:
      return true;
    default:
      return false;
  }
}

void TGLMaterial::DestroyHandles() {
  if (texture_) texture_->DestroyHandles();
}

void TGLMaterial::Loaded() {
  if (textureEx_) textureEx_->Loaded();
}

void TGLMaterial::NotifyChange(TObject* sender) {
  (void)sender;
  if (notifyHold_ > 0) return;
  if (auto* owner = dynamic_cast<IGLNotifyAble*>(Owner())) owner->NotifyChange(this);
}

void TGLMaterial::NotifyTexMapChange(TObject* sender) {
  (void)sender;
  if (notifyHold_ > 0) return;
  if (auto* owner = dynamic_cast<IGLTextureNotifyAble*>(Owner())) {
    owner->NotifyTexMapChange(this);
  } else {
    NotifyChange(this);
  }
}

void TGLMaterial::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TGLMaterial*>(source);
  if (other == nullptr) {
    TGLAbstractMaterial::Assign(source);
    return;
  }
  if (other == this) return;
  {
    // Each part below notifies on its own; the caller hears of it once.
    TNotifyHold hold(notifyHold_);
    if (other->backProperties_) {
      BackProperties().Assign(other->backProperties_.get());
    } else {
      backProperties_.reset();
    }
    frontProperties_->Assign(other->frontProperties_.get());
    blendingMode_ = other->blendingMode_;
    blendingParams_->Assign(other->blendingParams_.get());
    materialOptions_ = other->materialOptions_;
    if (other->texture_) {
      Texture().Assign(other->texture_.get());
    } else {
      texture_.reset();
    }
    faceCulling_ = other->faceCulling_;
    if (other->materialLibrary_ != materialLibrary_) {
      if (materialLibrary_ != nullptr) materialLibrary_->UnRegisterMaterialRef(*this);
      materialLibrary_ = other->materialLibrary_;
      if (materialLibrary_ != nullptr) materialLibrary_->RegisterMaterialRef(*this);
    }
    SetLibMaterialName(other->libMaterialName_);
    if (other->textureEx_) {
      TextureEx().Assign(other->textureEx_.get());
    } else if (textureEx_) {
      textureEx_->Clear();
    }
  }
  NotifyChange(this);
}

// [SECTION] Shaders

TGLShader::TGLShader() : virtualHandle_(std::make_unique<TGLVirtualHandle>()) {
  // The handle only marks "initialised in this context group".
  virtualHandle_->OnAllocate = [](TGLVirtualHandle&, uint32_t& handle) { handle = 1; };
}

TGLShader::~TGLShader() {
  const auto users = libMatUsers_.Items();
  libMatUsers_.Clear();
  for (TGLLibMaterial* user : users) user->DropShader();
}

void TGLShader::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  NotifyChange(this);
}

bool TGLShader::ShaderInitialized() const { return virtualHandle_->Handle() != 0; }

std::string TGLShader::FailureMessage() const {
  const std::string name = Name().empty() ? std::string(ClassName()) : Name();
  return "Your hardware/driver doesn't support shader \"" + name + "\"!";
}

void TGLShader::InitializeShader(TRenderContextInfo& rci, TObject* sender) {
  virtualHandle_->AllocateHandle();
  try {
    DoInitialize(rci, sender);
  } catch (...) {
    FinalizeShader();
    switch (failedInitAction_) {
      case TGLShaderFailedInitAction::fiaSilentDisable:
        enabled_ = false;
        return;
      case TGLShaderFailedInitAction::fiaRaiseStandardException:
        enabled_ = false;
        throw EGLShaderException(FailureMessage());
      case TGLShaderFailedInitAction::fiaRaiseHandledException:
      case TGLShaderFailedInitAction::fiaReRaiseException:
        enabled_ = false;
        throw;
    }
  }
}

void TGLShader::Apply(TRenderContextInfo& rci, TObject* sender) {
  if (enabled_ && !ShaderInitialized()) InitializeShader(rci, sender);
  if (enabled_) DoApply(rci, sender);
  shaderActive_ = true;
}

bool TGLShader::UnApply(TRenderContextInfo& rci) {
  if (!enabled_) {
    shaderActive_ = false;
    return false;
  }
  const bool again = DoUnApply(rci);
  if (!again) shaderActive_ = false;
  return again;
}

void TGLShader::FinalizeShader() {
  if (!ShaderInitialized()) return;
  DoFinalize();
  virtualHandle_->DestroyHandle();
}

void TGLShader::NotifyChange(TObject* sender) {
  (void)sender;
  if (UpdateCount() > 0) return;
  const auto users = libMatUsers_.Items();  // a user may leave while it is told
  for (auto it = users.rbegin(); it != users.rend(); ++it)
    if (libMatUsers_.Contains(*it)) (*it)->NotifyUsers();
  FinalizeShader();
}

void TGLShader::RegisterUser(TGLLibMaterial& libMaterial) { libMatUsers_.Add(&libMaterial); }

void TGLShader::UnRegisterUser(TGLLibMaterial& libMaterial) { libMatUsers_.Remove(&libMaterial); }

// [SECTION] Library materials

uint32_t ComputeNameHashKey(std::string_view name) {
  uint32_t hash = static_cast<uint32_t>(name.size());
  for (const char c : name) hash = static_cast<uint32_t>(static_cast<unsigned char>(c)) + (hash << 1);
  return hash;
}

TGLLibMaterial::TGLLibMaterial()
    : TGLTextureTransform(this), nameHash_(ComputeNameHashKey("")), material_(std::make_unique<TGLMaterial>(this)) {}

TGLLibMaterial::~TGLLibMaterial() {
  if (shader_ != nullptr) shader_->UnRegisterUser(*this);
  shader_ = nullptr;
  DropTexture2();
  const auto users = userList_.Items();
  userList_.Clear();
  for (TObject* user : users) {
    if (auto* material = dynamic_cast<TGLMaterial*>(user)) {
      material->DropLibMaterial();
    } else if (auto* libMaterial = dynamic_cast<TGLLibMaterial*>(user)) {
      libMaterial->libMatTexture2_ = nullptr;
    }
  }
}

TGLMaterialLibrary* TGLLibMaterial::MaterialLibrary() const {
  return Collection() != nullptr ? dynamic_cast<TGLMaterialLibrary*>(Collection()->GetOwner()) : nullptr;
}

void TGLLibMaterial::SetNameDirect(const std::string& value) {
  name_ = value;
  nameHash_ = ComputeNameHashKey(name_);
}

void TGLLibMaterial::SetName(const std::string& value) {
  if (value == name_) return;
  std::string newName = value;
  auto* materials = dynamic_cast<TGLLibMaterials*>(Collection());
  TGLMaterialLibrary* library = MaterialLibrary();
  if (materials != nullptr && !(library != nullptr && library->IsLoading())) {
    TGLLibMaterial* holder = materials->GetLibMaterialByName(value);
    if (holder != nullptr && holder != this) newName = materials->MakeUniqueName(value, this);
  }
  SetNameDirect(newName);
}

void TGLLibMaterial::CoordinateChanged(TGLCustomCoordinates* sender) {
  (void)sender;
  CalculateTextureMatrix();
  NotifyUsers();
}

void TGLLibMaterial::SetTexture2Name(const std::string& value) {
  if (value == texture2Name_) return;
  DropTexture2();
  texture2Name_ = value;
  NotifyUsers();
}

void TGLLibMaterial::DropTexture2() {
  if (libMatTexture2_ != nullptr) libMatTexture2_->UnRegisterUser(*this);
  libMatTexture2_ = nullptr;
}

void TGLLibMaterial::SetShader(TGLShader* value) {
  if (value == shader_) return;
  if (shader_ != nullptr) shader_->UnRegisterUser(*this);
  shader_ = value;
  if (shader_ != nullptr) shader_->RegisterUser(*this);
  NotifyUsers();
}

void TGLLibMaterial::RegisterUser(TObject& user) { userList_.Add(&user); }

void TGLLibMaterial::UnRegisterUser(TObject& user) { userList_.Remove(&user); }

void TGLLibMaterial::NotifyUsers() {
  if (notifying_) return;
  notifying_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{notifying_};
  const auto users = userList_.Items();  // a user may leave while it is told
  for (TObject* user : users) {
    if (!userList_.Contains(user)) continue;
    if (auto* material = dynamic_cast<TGLMaterial*>(user)) {
      material->NotifyTexMapChange(this);
    } else if (auto* libMaterial = dynamic_cast<TGLLibMaterial*>(user)) {
      libMaterial->NotifyUsers();
    } else if (auto* object = dynamic_cast<TGLUpdateAbleObject*>(user)) {
      object->NotifyChange(this);
    } else if (auto* component = dynamic_cast<TGLUpdateAbleComponent*>(user)) {
      component->NotifyChange(this);
    }
  }
}

void TGLLibMaterial::NotifyChange(TObject* sender) {
  (void)sender;
  NotifyUsers();
}

void TGLLibMaterial::NotifyTexMapChange(TObject* sender) {
  (void)sender;
  NotifyUsers();
}

void TGLLibMaterial::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TGLLibMaterial*>(source);
  if (other == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  if (other == this) return;
  SetName(other->name_);
  material_->Assign(other->material_.get());
  AssignTransform(*other);
  if (other->texture2Name_ != texture2Name_) {
    DropTexture2();
    texture2Name_ = other->texture2Name_;
  }
  if (other->shader_ != shader_) {
    if (shader_ != nullptr) shader_->UnRegisterUser(*this);
    shader_ = other->shader_;
    if (shader_ != nullptr) shader_->RegisterUser(*this);
  }
  Tag = other->Tag;
  NotifyUsers();
}

void TGLLibMaterial::DoOnTextureNeeded(TObject* sender, std::string& textureFileName) {
  if (TGLMaterialLibrary* library = MaterialLibrary()) library->DoOnTextureNeeded(sender, textureFileName);
}

bool TGLLibMaterial::PrepareTexture2() {
  if (libMatTexture2_ == nullptr) {
    TGLMaterialLibrary* library = MaterialLibrary();
    TGLLibMaterial* found = library != nullptr ? library->GetLibMaterialByName(texture2Name_) : nullptr;
    if (found == this) found = nullptr;  // its own texture is already on unit 0
    if (found == nullptr) {
      texture2Name_.clear();
      return false;
    }
    libMatTexture2_ = found;
    found->RegisterUser(*this);
  }
  TGLMaterial& second = libMatTexture2_->Material();
  return second.HasTexture() && !second.Texture().Disabled();
}

void TGLLibMaterial::Apply(TRenderContextInfo& rci) {
  BeginMapUpdate();
  struct TEndMapUpdate {
    ~TEndMapUpdate() { EndMapUpdate(); }
  } endMapUpdate;

  const TGLShaderStyle style = shader_ != nullptr ? shader_->ShaderStyle() : TGLShaderStyle::ssApplyLast;
  if (shader_ != nullptr) {
    if (style == TGLShaderStyle::ssApplyFirst) shader_->Apply(rci, this);
    if (style == TGLShaderStyle::ssReplaceMaterial) {
      shader_->Apply(rci, this);
      return;
    }
  }

  bool secondUsable = false;
  if (!texture2Name_.empty() && MultitextureAvailable() && !gSecondTextureUnitForbidden) {
    secondUsable = PrepareTexture2();
  }
  const bool ownTextureEnabled = material_->HasTexture() && material_->Texture().Enabled();
  if (secondUsable) {
    if (!TextureMatrixIsIdentity()) rci.GLStates->SetTextureMatrix(TextureMatrix());
    material_->Apply(rci);
    TGLTexture& second = libMatTexture2_->Material().Texture();
    second.ApplyAsTexture2(rci,
                           libMatTexture2_->TextureMatrixIsIdentity() ? nullptr : &libMatTexture2_->TextureMatrix());
    const bool ownUser = ownTextureEnabled && material_->Texture().MappingMode() == TGLTextureMappingMode::tmmUser;
    const bool secondUser = second.MappingMode() == TGLTextureMappingMode::tmmUser;
    if (ownUser && secondUser) {
      MapToUnits01();
    } else if (!secondUser) {
      MapToUnit0();
    } else {
      MapToUnit1();
    }
  } else {
    if (ownTextureEnabled && !TextureMatrixIsIdentity()) rci.GLStates->SetTextureMatrix(TextureMatrix());
    material_->Apply(rci);
  }

  if (shader_ != nullptr && style == TGLShaderStyle::ssApplyLast) shader_->Apply(rci, this);
}

bool TGLLibMaterial::UnApply(TRenderContextInfo& rci) {
  bool result = false;
  const TGLShaderStyle style = shader_ != nullptr ? shader_->ShaderStyle() : TGLShaderStyle::ssApplyLast;
  if (shader_ != nullptr) {
    if (style == TGLShaderStyle::ssApplyLast) {
      result = shader_->UnApply(rci);
      if (result) return true;
    } else if (style == TGLShaderStyle::ssReplaceMaterial) {
      return shader_->UnApply(rci);
    }
  }

  if (libMatTexture2_ != nullptr && MultitextureAvailable() && !gSecondTextureUnitForbidden) {
    TGLMaterial& second = libMatTexture2_->Material();
    if (second.HasTexture()) {
      second.Texture().UnApplyAsTexture2(rci, !libMatTexture2_->TextureMatrixIsIdentity());
    }
    MapToUnit0();
  }
  material_->UnApply(rci);
  // Whatever path Apply took, a texture matrix it loaded must not outlive
  // this object (the cache skips the call when it is already the identity).
  if (!TextureMatrixIsIdentity()) rci.GLStates->ResetTextureMatrix();

  if (shader_ != nullptr && style == TGLShaderStyle::ssApplyFirst) return shader_->UnApply(rci);
  return result;
}

// [SECTION] The collection

TGLLibMaterials::TGLLibMaterials(TGLMaterialLibrary* owner) : TOwnedCollection(owner, TGLLibMaterial::StaticClass()) {}

TGLMaterialLibrary* TGLLibMaterials::Library() const { return dynamic_cast<TGLMaterialLibrary*>(GetOwner()); }

TGLLibMaterial* TGLLibMaterials::GetLibMaterialByName(std::string_view name) const {
  const uint32_t hash = ComputeNameHashKey(name);
  for (int i = 0; i < Count(); ++i) {
    TGLLibMaterial& item = Items(i);
    if (item.NameHash() == hash && item.Name() == name) return &item;
  }
  return nullptr;
}

int TGLLibMaterials::IndexOfName(std::string_view name) const {
  const TGLLibMaterial* item = GetLibMaterialByName(name);
  return item != nullptr ? item->Index() : -1;
}

std::string TGLLibMaterials::MakeUniqueName(const std::string& nameRoot, const TGLLibMaterial* renamed) const {
  const auto taken = [&](const std::string& name) {
    const TGLLibMaterial* holder = GetLibMaterialByName(name);
    return holder != nullptr && holder != renamed;
  };
  std::string result = nameRoot;
  for (int i = 1; taken(result); ++i) result = nameRoot + std::to_string(i);
  return result;
}

void TGLLibMaterials::Loaded() {
  for (int i = 0; i < Count(); ++i) {
    TGLLibMaterial& item = Items(i);
    item.CalculateTextureMatrix();
    item.Material().Loaded();
  }
}

void TGLLibMaterials::Notify(TCollectionItem& item, TCollectionNotification action) {
  TOwnedCollection::Notify(item, action);
  if (action != TCollectionNotification::cnAdded) return;
  auto& libMaterial = static_cast<TGLLibMaterial&>(item);
  if (libMaterial.Name().empty()) libMaterial.SetNameDirect(MakeUniqueName("LibMaterial"));
}

// [SECTION] TGLMaterialLibrary

TGLMaterialLibrary::TGLMaterialLibrary() : materials_(std::make_unique<TGLLibMaterials>(this)) {}

TGLMaterialLibrary::~TGLMaterialLibrary() {
  // The library materials go first (their users lose their links), then
  // every material still naming this library forgets it.
  materials_.reset();
  const auto refs = materialRefs_.Items();
  materialRefs_.Clear();
  for (TGLMaterial* material : refs) material->DropLibrary();
}

void TGLMaterialLibrary::SetTexturePaths(const std::string& value) {
  texturePaths_ = value;
  texturePathList_.clear();
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    std::string element = value.substr(start, end - start);
    const auto notBlank = [](unsigned char c) { return c > ' '; };
    element.erase(element.begin(), std::find_if(element.begin(), element.end(), notBlank));
    element.erase(std::find_if(element.rbegin(), element.rend(), notBlank).base(), element.end());
    if (!element.empty()) {
      if (element.back() != '/') element += '/';
      texturePathList_.push_back(std::move(element));
    }
    start = end + 1;
  }
}

void TGLMaterialLibrary::DoOnTextureNeeded(TObject* sender, std::string& textureFileName) {
  if (OnTextureNeeded) OnTextureNeeded(sender, textureFileName);
  // Names with a drive or starting at a root are absolute: no folder search.
  const bool absolute = textureFileName.find(':') != std::string::npos ||
                        (!textureFileName.empty() && (textureFileName[0] == '\\' || textureFileName[0] == '/'));
  if (absolute) return;
  for (const std::string& folder : texturePathList_) {
    const std::string candidate = folder + textureFileName;
    if (FileStreamExists(candidate)) {
      textureFileName = candidate;
      return;
    }
  }
}

void TGLMaterialLibrary::Loaded() {
  TGLCadenceAbleComponent::Loaded();
  materials_->Loaded();
}

void TGLMaterialLibrary::RegisterMaterialRef(TGLMaterial& material) { materialRefs_.Add(&material); }

void TGLMaterialLibrary::UnRegisterMaterialRef(TGLMaterial& material) { materialRefs_.Remove(&material); }

// [SECTION] Registration

bool SecondTextureUnitForbidden() { return gSecondTextureUnitForbidden; }
void SetSecondTextureUnitForbidden(bool value) { gSecondTextureUnitForbidden = value; }

void RegisterMaterialClasses() {
  SetSceneObjectMaterialFactory([](TGLCustomSceneObject& owner) -> std::unique_ptr<TGLAbstractMaterial> {
    return std::make_unique<TGLMaterial>(&owner);
  });
  RegisterClass(TGLMaterialLibrary::StaticClass());
  RegisterClass(TGLLibMaterial::StaticClass());
}

// [SECTION] Component streams

void TGLFaceProperties::DefinePublished(TFiler& filer) {
  DefineNested(filer, "Ambient", *ambient_);
  DefineNested(filer, "Diffuse", *diffuse_);
  DefineNested(filer, "Emission", *emission_);
  DefineInteger(filer, "Shininess", shininess_, shininess_ != 0,
                [this](int32_t v) { SetShininess(static_cast<TShininess>(v)); }, 0, 255);
  DefineOrdinal(filer, "PolygonMode", polygonMode_, TPolygonMode::pmPoints, TPolygonMode::pmFill,
                [this](TPolygonMode v) { SetPolygonMode(v); });
  DefineNested(filer, "Specular", *specular_);
}

void TGLBlendingParameters::DefinePublished(TFiler& filer) {
  DefineBoolean(filer, "UseAlphaFunc", useAlphaFunc_, useAlphaFunc_, [this](bool v) { SetUseAlphaFunc(v); });
  DefineBoolean(filer, "UseBlendFunc", useBlendFunc_, !useBlendFunc_, [this](bool v) { SetUseBlendFunc(v); });
  DefineOrdinal(filer, "AlphaFunctType", alphaFuncType_, TGlAlphaFunc::af_GL_ALWAYS, TGlAlphaFunc::af_GL_GREATER,
                [this](TGlAlphaFunc v) { SetAlphaFunctType(v); });
  DefineFloat(filer, "AlphaFuncRef", alphaFuncRef_, StoreAlphaFuncRef(), [this](float v) { SetAlphaFuncRef(v); });
  DefineOrdinal(filer, "BlendFuncSFactor", blendFuncSFactor_, TGLBlendFuncFactor::bff_GL_ONE_MINUS_CONSTANT_ALPHA,
                TGLBlendFuncFactor::bff_GL_SRC_ALPHA, [this](TGLBlendFuncFactor v) { SetBlendFuncSFactor(v); });
  DefineOrdinal(filer, "BlendFuncDFactor", blendFuncDFactor_, TGLBlendFuncFactor::bff_GL_ONE_MINUS_CONSTANT_ALPHA,
                TGLBlendFuncFactor::bff_GL_ONE_MINUS_SRC_ALPHA,
                [this](TGLBlendFuncFactor v) { SetBlendFuncDFactor(v); });
}

void TGLMaterial::DefinePublished(TFiler& filer) {
  const bool own = StoreMaterialProps();
  DefineNestedOnDemand(filer, "BackProperties", HasBackProperties(),
                       [this]() -> TPersistent& { return BackProperties(); }, own);
  DefineNested(filer, "FrontProperties", *frontProperties_, own);
  DefineEnumeration(filer, "BlendingMode", blendingMode_, TBlendingMode::bmCustom,
                    own && blendingMode_ != TBlendingMode::bmOpaque, [this](TBlendingMode v) { SetBlendingMode(v); });
  DefineNested(filer, "BlendingParams", *blendingParams_);
  constexpr uint32_t kAllOptions =
      static_cast<uint32_t>(TMaterialOption::moIgnoreFog) | static_cast<uint32_t>(TMaterialOption::moNoLighting);
  DefineFlags(filer, "MaterialOptions", materialOptions_.Bits(), kAllOptions, !materialOptions_.Empty(),
              [this](uint32_t v) { SetMaterialOptions(TMaterialOptions::FromBits(static_cast<uint8_t>(v))); });
  DefineNestedOnDemand(filer, "Texture", HasTexture(), [this]() -> TPersistent& { return Texture(); }, own);
  DefineOrdinal(filer, "FaceCulling", faceCulling_, TFaceCulling::fcNoCull, TFaceCulling::fcBufferDefault,
                [this](TFaceCulling v) { SetFaceCulling(v); });
  DefineReference(filer, "MaterialLibrary", materialLibrary_, [this](TComponent& c) {
    if (auto* library = dynamic_cast<TGLMaterialLibrary*>(&c)) SetMaterialLibrary(library);
  });
  DefineString(filer, "LibMaterialName", libMaterialName_, !libMaterialName_.empty(),
               [this](const std::string& v) { SetLibMaterialName(v); });
  if (HasTextureEx() || filer.Seeks("TextureEx")) DefineCollection(filer, "TextureEx", TextureEx(), StoreTextureEx());
}

void TGLShader::DefinePublished(TFiler& filer) {
  TGLUpdateAbleComponent::DefinePublished(filer);
  DefineBoolean(filer, "Enabled", enabled_, !enabled_, [this](bool v) { SetEnabled(v); });
  DefineOrdinal(filer, "ShaderStyle", shaderStyle_, TGLShaderStyle::ssReplaceMaterial, TGLShaderStyle::ssApplyLast,
                [this](TGLShaderStyle v) { SetShaderStyle(v); });
}

void TGLLibMaterial::DefinePublished(TFiler& filer) {
  DefineString(filer, "Name", name_, true, [this](const std::string& v) { SetName(v); });
  DefineInteger(filer, "Tag", Tag, Tag != 0, [this](int32_t v) { Tag = v; });
  DefineNested(filer, "Material", *material_);
  DefineNested(filer, "TextureOffset", TextureOffset());
  DefineNested(filer, "TextureScale", TextureScale());
  DefineString(filer, "Texture2Name", texture2Name_, !texture2Name_.empty(),
               [this](const std::string& v) { SetTexture2Name(v); });
  DefineReference(filer, "Shader", shader_, [this](TComponent& c) {
    if (auto* shader = dynamic_cast<TGLShader*>(&c)) SetShader(shader);
  });
}

void TGLMaterialLibrary::DefinePublished(TFiler& filer) {
  TGLCadenceAbleComponent::DefinePublished(filer);
  DefineCollection(filer, "Materials", *materials_, StoreMaterials());
  DefineString(filer, "TexturePaths", texturePaths_, !texturePaths_.empty(),
               [this](const std::string& v) { SetTexturePaths(v); });
}

}  // namespace qira
