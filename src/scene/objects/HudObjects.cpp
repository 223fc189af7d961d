#include "scene/objects/HudObjects.h"

// Sections: screen placement; TGLHUDSprite; TGLHUDText and its variants;
// component streams; registration.

#include "scene/components/ComponentStreams.h"
#include "scene/gl/MultitextureCoords.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/StateCache.h"
#include "scene/graph/SceneBuffer.h"

namespace qira {

// ========================================================== screen placement

namespace {

float ResolutionFactor(const TRenderContextInfo& rci) { return static_cast<float>(rci.renderDPI) / 96.0f; }

// For its lifetime the model-view maps pixels from the viewport's top-left
// corner (x right, y down, scaled by the resolution factor) onto the
// identity projection, turned by `rotation` degrees about the view axis;
// depth testing is off. Everything is put back when it ends.
class THUDPlacement {
 public:
  THUDPlacement(TRenderContextInfo& rci, const TAffineVector& position, float rotation) : cache_(rci.GLStates) {
    const auto w = static_cast<float>(rci.viewPortWidth);
    const auto h = static_cast<float>(rci.viewPortHeight);
    const float f = ResolutionFactor(rci);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (rci.buffer != nullptr) {
      glLoadMatrixf(rci.buffer->BaseProjectionMatrix().data());
    } else {
      glLoadIdentity();
    }
    glScalef(2.0f / w, 2.0f / h, 1.0f);
    glTranslatef(position.x * f - w / 2.0f, h / 2.0f - position.y * f, position.z);
    if (rotation != 0.0f) glRotatef(rotation, 0.0f, 0.0f, 1.0f);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    if (cache_ != nullptr) {
      depthTest_ = cache_->States().Contains(TGLState::stDepthTest);
      cache_->DisableState(TGLState::stDepthTest);
    } else {
      glDisable(GL_DEPTH_TEST);
    }
  }
  ~THUDPlacement() {
    if (cache_ != nullptr && depthTest_) cache_->EnableState(TGLState::stDepthTest);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
  }
  THUDPlacement(const THUDPlacement&) = delete;
  THUDPlacement& operator=(const THUDPlacement&) = delete;

 private:
  TGLStateCache* cache_;
  bool depthTest_ = false;
};

bool HasViewport(const TRenderContextInfo& rci) { return rci.viewPortWidth > 0 && rci.viewPortHeight > 0; }

}  // namespace

// ============================================================= TGLHUDSprite

TGLHUDSprite::TGLHUDSprite() {
  SetWidth(16.0f);
  SetHeight(16.0f);
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::NoVisibilityCulling);
}

void TGLHUDSprite::SetXTiles(int32_t value) {
  if (value == xTiles_) return;
  xTiles_ = value;
  StructureChanged();
}

void TGLHUDSprite::SetYTiles(int32_t value) {
  if (value == yTiles_) return;
  yTiles_ = value;
  StructureChanged();
}

void TGLHUDSprite::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLHUDSprite*>(source)) {
    xTiles_ = src->xTiles_;
    yTiles_ = src->yTiles_;
  }
  TGLSprite::Assign(source);
}

// Drawn inside the material bracket of the custom scene object.
void TGLHUDSprite::BuildList(TRenderContextInfo& rci) {
  if (!HasViewport(rci)) return;
  if (AlphaChannel() != 1.0f && rci.GLStates != nullptr) rci.GLStates->SetMaterialAlphaChannel(GL_FRONT, AlphaChannel());
  const THUDPlacement placement(rci, Position().AsAffineVector(), Rotation());
  const float f = ResolutionFactor(rci);
  const float w = Width() * 0.5f * f;
  const float h = Height() * 0.5f * f;
  const auto xt = static_cast<float>(xTiles_);
  const auto yt = static_cast<float>(yTiles_);
  glDepthMask(GL_FALSE);
  glBegin(GL_QUADS);
  xgl.TexCoord2f(0.0f, 0.0f);
  glVertex2f(-w, -h);
  xgl.TexCoord2f(xt, 0.0f);
  glVertex2f(w, -h);
  xgl.TexCoord2f(xt, yt);
  glVertex2f(w, h);
  xgl.TexCoord2f(0.0f, yt);
  glVertex2f(-w, h);
  glEnd();
  glDepthMask(GL_TRUE);
}

// =============================================== TGLHUDText and its variants

void TGLHUDText::SetRotation(float value) {
  rotation_ = value;
  StructureChanged();
}

void TGLHUDText::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLHUDText*>(source)) rotation_ = src->rotation_;
  TGLFlatText::Assign(source);
}

TAffineVector TGLHUDText::ScreenPosition(const TRenderContextInfo& rci) const {
  (void)rci;
  return Position().AsAffineVector();
}

void TGLHUDText::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (renderSelf && BitmapFont() != nullptr && !Text().empty() && rci.GLStates != nullptr && HasViewport(rci)) {
    rci.GLStates->SetPolygonMode(GL_FRONT, GL_FILL);
    rci.GLStates->SetPolygonMode(GL_BACK, GL_FILL);
    const THUDPlacement placement(rci, ScreenPosition(rci), rotation_);
    const float f = ResolutionFactor(rci);
    glScalef(Scale().X() * f, Scale().Y() * f, 1.0f);
    BitmapFont()->RenderString(rci, Text(), Alignment(), Layout(), ModulateColor().Color(), nullptr, false);
  }
  if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
}

TGLResolutionIndependantHUDText::TGLResolutionIndependantHUDText() { Position().SetPoint(0.5f, 0.5f, 0.0f); }

TAffineVector TGLResolutionIndependantHUDText::ScreenPosition(const TRenderContextInfo& rci) const {
  // The placement scales pixels by the resolution factor; fractions of the
  // viewport are already in its pixels.
  const float f = ResolutionFactor(rci);
  return {static_cast<float>(rci.viewPortWidth) * Position().X() / f,
          static_cast<float>(rci.viewPortHeight) * Position().Y() / f, Position().Z()};
}

TAffineVector TGLAbsoluteHUDText::ScreenPosition(const TRenderContextInfo& rci) const {
  if (rci.buffer == nullptr) return Position().AsAffineVector();
  const TAffineVector screen = rci.buffer->WorldToScreen(GetAbsoluteAffinePosition());
  const float f = ResolutionFactor(rci);
  return {screen.x / f, (static_cast<float>(rci.viewPortHeight) - screen.y) / f, screen.z};
}

// ========================================================= component streams

void TGLHUDSprite::DefinePublished(TFiler& filer) {
  TGLSprite::DefinePublished(filer);
  DefineInteger(filer, "XTiles", xTiles_, xTiles_ != 1, [this](int32_t v) { SetXTiles(v); });
  DefineInteger(filer, "YTiles", yTiles_, yTiles_ != 1, [this](int32_t v) { SetYTiles(v); });
}

void TGLHUDText::DefinePublished(TFiler& filer) {
  // Not the flat text's set: a heads-up text has no Options.
  TGLImmaterialSceneObject::DefinePublished(filer);
  DefineFontAndText(filer);
  DefineFloat(filer, "Rotation", rotation_, true, [this](float v) { SetRotation(v); });
  DefineTextLook(filer);
}

// ============================================================== registration

void RegisterHudObjectsClasses() {
  RegisterClass(TGLHUDSprite::StaticClass());
  RegisterClass(TGLHUDText::StaticClass());
  RegisterClass(TGLResolutionIndependantHUDText::StaticClass());
  RegisterClass(TGLAbsoluteHUDText::StaticClass());
}

}  // namespace qira
