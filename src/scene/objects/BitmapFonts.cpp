#include "scene/objects/BitmapFonts.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/AsciiCase.h"
#include "platform/Rounding.h"
#include "scene/components/ComponentStreams.h"
#include "scene/materials/Bitmap32.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/gl/StateCache.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

constexpr uint8_t kCR = 13;

// Smallest power of two >= value (1 for values below 1), capped at 2^30.
int32_t CeilPowerOfTwo(int32_t value) {
  int32_t p = 1;
  while (p < value && p < (int32_t{1} << 30)) p <<= 1;
  return p;
}

// Sets every enable state back to what `before` holds, through the cache so
// that it stays true to OpenGL.
void RestoreStates(TGLStateCache& cache, TGLStates before) {
  const TGLStates now = cache.States();
  if (now == before) return;
  for (int i = 0; i < kGLStateCount; ++i) {
    const auto state = static_cast<TGLState>(i);
    if (now.Contains(state) == before.Contains(state)) continue;
    if (before.Contains(state)) {
      cache.EnableState(state);
    } else {
      cache.DisableState(state);
    }
  }
}

}  // namespace

// ----------------------------------------------------------- character ranges

void TBitmapFontRange::SetStartASCII(uint8_t value) {
  if (value == startASCII_) return;
  startASCII_ = value;
  if (startASCII_ > stopASCII_) stopASCII_ = startASCII_;
  Changed(false);
}

void TBitmapFontRange::SetStopASCII(uint8_t value) {
  if (value == stopASCII_) return;
  stopASCII_ = value;
  if (stopASCII_ < startASCII_) startASCII_ = stopASCII_;
  Changed(false);
}

void TBitmapFontRange::SetStartGlyphIdx(int32_t value) {
  value = std::max(value, 0);
  if (value == startGlyphIdx_) return;
  startGlyphIdx_ = value;
  Changed(false);
}

std::string TBitmapFontRange::GetDisplayName() const {
  char text[96];
  const int64_t last = int64_t{startGlyphIdx_} + stopASCII_ - startASCII_;
  std::snprintf(text, sizeof text, "ASCII [#%d, #%d] -> Glyphs [%d, %lld]", startASCII_, stopASCII_,
                startGlyphIdx_, static_cast<long long>(last));
  return text;
}

void TBitmapFontRange::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TBitmapFontRange*>(source)) {
    startASCII_ = src->startASCII_;
    stopASCII_ = src->stopASCII_;
    startGlyphIdx_ = src->startGlyphIdx_;
    Changed(false);
    return;
  }
  TCollectionItem::Assign(source);
}

TBitmapFontRanges::TBitmapFontRanges(TPersistent* owner)
    : TOwnedCollection(owner, TBitmapFontRange::StaticClass()) {}

TBitmapFontRange& TBitmapFontRanges::Add(uint8_t startASCII, uint8_t stopASCII) {
  BeginUpdate();
  auto& range = static_cast<TBitmapFontRange&>(TCollection::Add());
  range.SetStartASCII(startASCII);
  range.SetStopASCII(stopASCII);
  EndUpdate();
  return range;
}

int32_t TBitmapFontRanges::CharacterCount() const {
  int32_t count = 0;
  for (int i = 0; i < Count(); ++i) count += Items(i).StopASCII() - Items(i).StartASCII() + 1;
  return count;
}

bool TBitmapFontRanges::Contains(uint8_t code) const {
  for (int i = 0; i < Count(); ++i) {
    if (code >= Items(i).StartASCII() && code <= Items(i).StopASCII()) return true;
  }
  return false;
}

void TBitmapFontRanges::Update(TCollectionItem* item) {
  (void)item;
  if (auto* node = dynamic_cast<TGLBaseSceneObject*>(GetOwner())) {
    node->StructureChanged();
  } else if (auto* font = dynamic_cast<TGLCustomBitmapFont*>(GetOwner())) {
    font->RangesChanged();
  }
}

// ------------------------------------------------------- TGLCustomBitmapFont

TGLCustomBitmapFont::TGLCustomBitmapFont()
    : ranges_(std::make_unique<TBitmapFontRanges>(this)),
      glyphs_(std::make_unique<TPicture>()),
      textureHandle_(std::make_unique<TGLTextureHandle>()) {
  AttachGlyphsChange();
}

TGLCustomBitmapFont::~TGLCustomBitmapFont() {
  DetachGlyphsChange();
  // Users are told by free notification after this; none is called from here.
  users_.Clear();
}

void TGLCustomBitmapFont::AttachGlyphsChange() {
  glyphs_->OnChange = [this](TPicture&) { GlyphsChanged(); };
}

void TGLCustomBitmapFont::DetachGlyphsChange() { glyphs_->OnChange = nullptr; }

void TGLCustomBitmapFont::GlyphsChanged() {
  // New pixels need a new texture, not only new tables.
  textureModified_ = true;
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetRanges(const TBitmapFontRanges& value) {
  ranges_->Assign(&value);
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetGlyphs(const TPicture& value) { glyphs_->Assign(&value); }

void TGLCustomBitmapFont::SetCharWidth(int32_t value) {
  value = value < 2 ? 1 : value;
  if (value == charWidth_) return;
  charWidth_ = value;
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetCharHeight(int32_t value) {
  value = value < 2 ? 1 : value;
  if (value == charHeight_) return;
  charHeight_ = value;
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetGlyphsIntervalX(int32_t value) {
  glyphsIntervalX_ = std::max(value, 0);
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetGlyphsIntervalY(int32_t value) {
  glyphsIntervalY_ = std::max(value, 0);
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetHSpace(int32_t value) {
  hSpace_ = std::max(value, 0);
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetVSpace(int32_t value) {
  vSpace_ = std::max(value, 0);
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetMinFilter(TGLMinFilter value) {
  if (value == minFilter_) return;
  minFilter_ = value;
  textureModified_ = true;
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetMagFilter(TGLMagFilter value) {
  if (value == magFilter_) return;
  magFilter_ = value;
  textureModified_ = true;
  InvalidateUsers();
}

void TGLCustomBitmapFont::SetGlyphsAlpha(TGLTextureImageAlpha value) {
  if (value == glyphsAlpha_) return;
  glyphsAlpha_ = value;
  textureModified_ = true;
  InvalidateUsers();
}

void TGLCustomBitmapFont::StoreMetrics(int32_t charWidth, int32_t charHeight, int32_t spacingFix) {
  charWidth_ = std::max(charWidth, 1);
  charHeight_ = std::max(charHeight, 1);
  spacingFix_ = spacingFix;
}

void TGLCustomBitmapFont::RegisterUser(TGLBaseSceneObject* object) { users_.Add(object); }

void TGLCustomBitmapFont::UnRegisterUser(TGLBaseSceneObject* object) { users_.Remove(object); }

std::vector<TGLBaseSceneObject*> TGLCustomBitmapFont::Users() const {
  std::vector<TGLBaseSceneObject*> users;
  for (TComponent* user : users_.Items()) users.push_back(static_cast<TGLBaseSceneObject*>(user));
  return users;
}

void TGLCustomBitmapFont::Notification(TComponent& component, TOperation operation) {
  if (operation == TOperation::opRemove) users_.Remove(&component);
  TGLUpdateAbleComponent::Notification(component, operation);
}

void TGLCustomBitmapFont::InvalidateUsers() {
  charWidths_.assign(256, charWidth_);
  charRects_.clear();
  GlyphTablesDropped();
  // From the last to the first of those held now; one that left the list while
  // another was told is not told.
  const std::vector<TComponent*> users = users_.Items();
  for (size_t i = users.size(); i-- > 0;) {
    if (users_.Contains(users[i])) static_cast<TGLBaseSceneObject*>(users[i])->NotifyChange(this);
  }
}

int32_t TGLCustomBitmapFont::CharacterWidth(uint8_t code) {
  if (charWidths_.size() < 256) charWidths_.assign(256, charWidth_);
  return charWidths_[code];
}

void TGLCustomBitmapFont::ResetCharWidths(int32_t width) {
  charWidths_.assign(256, width < 0 ? charWidth_ : width);
}

void TGLCustomBitmapFont::SetCharWidth(uint8_t code, int32_t width) {
  if (charWidths_.size() < 256) charWidths_.assign(256, charWidth_);
  charWidths_[code] = width;
}

void TGLCustomBitmapFont::SetCharRect(uint8_t code, const TCharRect& rect) {
  if (charRects_.size() < 256) charRects_.resize(256);
  charRects_[code] = rect;
}

void TGLCustomBitmapFont::BuildCharRects() {
  charRects_.assign(256, TCharRect{});
  const int32_t pictureWidth = glyphs_->Width();
  const int32_t cellX = charWidth_ + glyphsIntervalX_;
  const int32_t cellY = charHeight_ + glyphsIntervalY_;
  // A picture narrower than one cell holds no glyph: every rectangle stays zero.
  const int32_t perRow = pictureWidth > 0 ? (pictureWidth + glyphsIntervalX_) / cellX : 0;
  if (perRow <= 0 || textureWidth_ <= 0 || textureHeight_ <= 0) return;
  const double tw = textureWidth_;
  const double th = textureHeight_;
  for (int i = 0; i < ranges_->Count(); ++i) {
    const TBitmapFontRange& range = ranges_->Items(i);
    int64_t glyph = range.StartGlyphIdx();
    for (int c = range.StartASCII(); c <= range.StopASCII(); ++c, ++glyph) {
      const double x = static_cast<double>(glyph % perRow) * cellX;
      const double y = static_cast<double>(glyph / perRow) * cellY;
      TCharRect& r = charRects_[static_cast<size_t>(c)];
      r.left = static_cast<float>((x + 0.05) / tw);
      r.top = static_cast<float>((th - (y + 0.05)) / th);
      r.right = static_cast<float>((x + CharacterWidth(static_cast<uint8_t>(c)) - 0.05) / tw);
      r.bottom = static_cast<float>((th - (y + charHeight_ - 0.05)) / th);
    }
  }
}

TCharRect TGLCustomBitmapFont::GetCharTexCoords(uint8_t code) {
  if (charRects_.empty()) BuildCharRects();
  return charRects_[code];
}

int32_t TGLCustomBitmapFont::CalcStringWidth(std::string_view utf8) {
  return CodesWidth(Cp1252Codes(utf8));
}

int32_t TGLCustomBitmapFont::CodesWidth(std::string_view codes) {
  if (codes.empty()) return 0;
  int64_t width = static_cast<int64_t>(codes.size()) * (spacingFix_ + hSpace_) - hSpace_;
  for (char c : codes) width += CharacterWidth(static_cast<uint8_t>(c));
  return SaturateCast<int32_t>(static_cast<double>(width));
}

int32_t TGLCustomBitmapFont::LineStartOffset(std::string_view codes, size_t position, TAlignment alignment) {
  if (position > codes.size()) position = codes.size();
  const size_t end = codes.find(static_cast<char>(kCR), position);
  const int32_t width = CodesWidth(codes.substr(position, end == std::string_view::npos ? codes.npos : end - position));
  switch (alignment) {
    case TAlignment::taRightJustify:
      return -width;
    case TAlignment::taCenter:
      return RoundToInt(-width * 0.5);
    default:
      return 0;
  }
}

int32_t TGLCustomBitmapFont::TextBlockOffset(std::string_view codes, TTextLayout layout) const {
  const int64_t lines = std::count(codes.begin(), codes.end(), static_cast<char>(kCR)) + 1;
  const int64_t height = (int64_t{charHeight_} + vSpace_) * lines - vSpace_;
  switch (layout) {
    case TTextLayout::tlBottom:
      return SaturateCast<int32_t>(static_cast<double>(height));
    case TTextLayout::tlCenter:
      return RoundToInt(static_cast<double>(height) * 0.5);
    default:
      return 0;
  }
}

GLenum TGLCustomBitmapFont::TextureFormat() const { return GL_RGBA; }

void TGLCustomBitmapFont::FreeTextureHandle() {
  textureModified_ = true;
  textureHandle_->DestroyHandle();
}

void TGLCustomBitmapFont::PrepareGlyphTexture() {
  const TGraphic* graphic = glyphs_->Graphic();
  if (graphic == nullptr || graphic->Empty()) return;
  const QImage picture = graphic->ToImage();
  // A fresh platform bitmap is black: the padding beyond the picture is too.
  QImage padded(CeilPowerOfTwo(picture.width()), CeilPowerOfTwo(picture.height()), QImage::Format_RGB888);
  padded.fill(Qt::black);
  {
    QPainter painter(&padded);
    painter.drawImage(0, 0, picture);
  }
  TGLBitmap32 bitmap;
  bitmap.AssignFrom24BitsBitmap(padded);
  const QColor topLeft = padded.pixelColor(0, 0);
  switch (glyphsAlpha_) {
    case TGLTextureImageAlpha::tiaDefault:
    case TGLTextureImageAlpha::tiaTopLeftPointColorTransparent:
      bitmap.SetAlphaForColorKeyPixel(static_cast<uint8_t>(topLeft.red()), static_cast<uint8_t>(topLeft.green()),
                                      static_cast<uint8_t>(topLeft.blue()));
      break;
    case TGLTextureImageAlpha::tiaAlphaFromIntensity:
    case TGLTextureImageAlpha::tiaLuminance:
      bitmap.SetAlphaFromIntensity();
      break;
    case TGLTextureImageAlpha::tiaSuperBlackTransparent:
      bitmap.SetAlphaForColorKeyPixel(0, 0, 0);
      break;
    case TGLTextureImageAlpha::tiaLuminanceSqrt:
      bitmap.SetAlphaFromSqrtIntensity();
      break;
    case TGLTextureImageAlpha::tiaOpaque:
      bitmap.FillAlpha(255);
      break;
    default:
      break;
  }
  bitmap.RegisterAsOpenGLTexture(GL_TEXTURE_2D, minFilter_, static_cast<int32_t>(TextureFormat()), textureWidth_,
                                 textureHeight_);
}

void TGLCustomBitmapFont::SetupTextureParams() {
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(MinFilterToGL(minFilter_)));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(MagFilterToGL(magFilter_)));
}

void TGLCustomBitmapFont::RenderString(TRenderContextInfo& rci, std::string_view utf8, TAlignment alignment,
                                       TTextLayout layout, const TVector& color, const TVector* position,
                                       bool reverseY) {
  if (glyphs_->Empty() || utf8.empty() || rci.GLStates == nullptr) return;
  TGLStateCache& cache = *rci.GLStates;
  if (textureModified_ || textureHandle_->Handle() == 0) {
    if (textureHandle_->Handle() == 0) textureHandle_->AllocateHandle();
    if (textureHandle_->Handle() == 0) return;  // no context current
    cache.SetBoundTexture(0, GL_TEXTURE_2D, textureHandle_->Handle());
    if (!glyphs_->Empty()) {
      PrepareGlyphTexture();
      SetupTextureParams();
    }
    textureModified_ = false;
  }
  // Preparing may have rendered the glyphs again and emptied the picture.
  if (glyphs_->Empty()) return;

  const std::string codes = Cp1252Codes(utf8);
  const float offsetX = position != nullptr ? position->x : 0.0f;
  const float offsetY = position != nullptr ? position->y : 0.0f;
  float x = static_cast<float>(LineStartOffset(codes, 0, alignment)) + offsetX;
  float y = static_cast<float>(TextBlockOffset(codes, layout)) + offsetY;
  const float lineStep = -static_cast<float>(charHeight_ + vSpace_);
  const auto bottomOf = [&](float top) {
    return reverseY ? top + static_cast<float>(charHeight_) : top - static_cast<float>(charHeight_);
  };
  float bottom = bottomOf(y);
  const float spaceAdvance = static_cast<float>(CharacterWidth(32) + spacingFix_ + hSpace_);
  // Margins overlap the neighbours' quads; their texels are transparent and
  // fail the alpha test, so they never cover a neighbour's ink.
  const int32_t margin = GlyphMargin();

  const TGLStates before = cache.States();
  cache.EnableState(TGLState::stTexture2D);
  cache.DisableState(TGLState::stLighting);
  cache.EnableState(TGLState::stBlend);
  // Only the glyphs are drawn: the transparent texels around them write neither
  // colour nor depth, so whatever lies behind the text and is drawn after it still
  // shows around the glyphs.
  cache.EnableState(TGLState::stAlphaTest);
  // Pushed after the enables, so that the pop leaves the flags as the cache knows them.
  glPushAttrib(GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glAlphaFunc(GL_GREATER, 0.0f);
  cache.SetBoundTexture(0, GL_TEXTURE_2D, textureHandle_->Handle());
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4fv(color.data());
  // A quad a character: a long text ends its batch and tells the renderer's queue
  // whenever its stretch is full, so the frame can wait inside it (no wait may come
  // between glBegin and glEnd).
  int64_t sent = 0;
  int64_t room = RenderStretchRoom();
  glBegin(GL_QUADS);
  for (size_t i = 0; i < codes.size(); ++i) {
    const auto code = static_cast<uint8_t>(codes[i]);
    if (code < kCR || (code > kCR && code < 32)) continue;
    if (code == kCR) {
      x = static_cast<float>(LineStartOffset(codes, i + 1, alignment)) + offsetX;
      y += lineStep;
      bottom = bottomOf(y);
      continue;
    }
    if (code == 32) {
      x += spaceAdvance;
      continue;
    }
    const int32_t w = CharacterWidth(code);
    if (w <= 0) continue;
    // A code in no range keeps its advance (so lines measure as they draw)
    // but has no glyph to show.
    if (ranges_->Contains(code)) {
      const TCharRect r = GetCharTexCoords(code);
      const float left = x - static_cast<float>(margin);
      const float right = x + static_cast<float>(w + margin);
      glTexCoord2f(r.left, r.top);
      glVertex2f(left, y);
      glTexCoord2f(r.left, r.bottom);
      glVertex2f(left, bottom);
      glTexCoord2f(r.right, r.bottom);
      glVertex2f(right, bottom);
      glTexCoord2f(r.right, r.top);
      glVertex2f(right, y);
      if ((sent += GlyphQuadVertices) >= room) {
        glEnd();
        RenderQueueSent(std::exchange(sent, 0));
        room = RenderStretchRoom();
        glBegin(GL_QUADS);
      }
    }
    // The advance carries SpacingFix, as CalcStringWidth counts it: italic
    // cells are wider than their advance and overlap.
    x += static_cast<float>(w + hSpace_ + spacingFix_);
  }
  glEnd();
  RenderQueueSent(sent);
  glPopAttrib();
  cache.SetBoundTexture(0, GL_TEXTURE_2D, 0);
  RestoreStates(cache, before);
}

// ---------------------------------------------------------------- TGLFlatText

TGLFlatText::TGLFlatText() : modulateColor_(std::make_unique<TGLColor>(this, VectorMake(1.0f, 1.0f, 1.0f, 1.0f))) {
  IncludeObjectStyle(TGLObjectStyle::DirectDraw);
  IncludeObjectStyle(TGLObjectStyle::NoVisibilityCulling);
}

TGLFlatText::~TGLFlatText() {
  if (bitmapFont_ != nullptr) {
    bitmapFont_->UnRegisterUser(this);
    bitmapFont_->RemoveFreeNotification(*this);
    bitmapFont_ = nullptr;
  }
}

void TGLFlatText::SetBitmapFont(TGLCustomBitmapFont* value) {
  if (value == bitmapFont_) return;
  if (bitmapFont_ != nullptr) {
    bitmapFont_->UnRegisterUser(this);
    bitmapFont_->RemoveFreeNotification(*this);
  }
  bitmapFont_ = value;
  if (bitmapFont_ != nullptr) {
    bitmapFont_->RegisterUser(this);
    bitmapFont_->FreeNotification(*this);
  }
  StructureChanged();
}

void TGLFlatText::SetText(const std::string& value) {
  text_ = value;
  StructureChanged();
}

void TGLFlatText::SetAlignment(TAlignment value) {
  alignment_ = value;
  StructureChanged();
}

void TGLFlatText::SetLayout(TTextLayout value) {
  layout_ = value;
  StructureChanged();
}

void TGLFlatText::SetOptions(TGLFlatTextOptions value) {
  if (value == options_) return;
  options_ = value;
  StructureChanged();
}

void TGLFlatText::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLFlatText*>(source)) {
    SetBitmapFont(src->bitmapFont_);
    SetText(src->text_);
    SetAlignment(src->alignment_);
    SetLayout(src->layout_);
    modulateColor_->Assign(src->modulateColor_.get());
    SetOptions(src->options_);
  }
  TGLImmaterialSceneObject::Assign(source);
}

void TGLFlatText::Notification(TComponent& component, TOperation operation) {
  if (operation == TOperation::opRemove && static_cast<TComponent*>(bitmapFont_) == &component) {
    // The font is being freed: only its address may be compared.
    bitmapFont_ = nullptr;
  }
  TGLImmaterialSceneObject::Notification(component, operation);
}

void TGLFlatText::RenderText(TRenderContextInfo& rci) {
  if (bitmapFont_ == nullptr || text_.empty() || rci.GLStates == nullptr) return;
  TGLStateCache& cache = *rci.GLStates;
  cache.SetPolygonMode(GL_FRONT, GL_FILL);
  cache.SetPolygonMode(GL_BACK, GL_FILL);
  // In place of pushing the enable bits: popping them behind the cache's back
  // would leave it believing states that are no longer set.
  const TGLStates before = cache.States();
  if (modulateColor_->Alpha() != 1.0f) {
    cache.EnableState(TGLState::stBlend);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  if ((options_ & ftoTwoSided) != 0) cache.DisableState(TGLState::stCullFace);
  bitmapFont_->RenderString(rci, text_, alignment_, layout_, modulateColor_->Color(), nullptr, false);
  RestoreStates(cache, before);
}

void TGLFlatText::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (renderSelf) RenderText(rci);
  if (renderChildren) RenderChildren(0, ChildCount() - 1, rci);
}

// ------------------------------------------------------------ component streams

void TBitmapFontRange::DefinePublished(TFiler& filer) {
  TCollectionItem::DefinePublished(filer);
  // The start first: read above the stop, it raises the stop, which then
  // follows when it is not the start's.
  DefineInteger(filer, "StartASCII", startASCII_, startASCII_ != 0,
                [this](int32_t v) { SetStartASCII(static_cast<uint8_t>(v)); }, 0, 255);
  DefineInteger(filer, "StopASCII", stopASCII_, stopASCII_ != 0,
                [this](int32_t v) { SetStopASCII(static_cast<uint8_t>(v)); }, 0, 255);
  DefineInteger(filer, "StartGlyphIdx", startGlyphIdx_, startGlyphIdx_ != 0,
                [this](int32_t v) { SetStartGlyphIdx(v); });
}

void TGLCustomBitmapFont::DefineGlyphs(TFiler& filer) {
  // "Glyphs.Data": the graphic's class name (one length byte, then its
  // characters), then the graphic as it writes itself.
  filer.DefineBinaryProperty(
      "Glyphs.Data",
      [this](TBinaryStream& stream) {
        uint8_t length = 0;
        if (!stream.Read(&length, 1)) throw EReadError("Stream read error");
        std::string className(length, '\0');
        if (!stream.Read(className.data(), length)) throw EReadError("Stream read error");
        const TGraphicClass* graphicClass = nullptr;
        for (const TPictureFileFormat& format : PictureFileFormats()) {
          if (SameTextAscii(format.graphicClass->ClassName(), className)) graphicClass = format.graphicClass;
        }
        CheckPropertyValue(graphicClass != nullptr);
        std::unique_ptr<TGraphic> graphic = graphicClass->Create();
        graphic->LoadFromStream(stream);
        glyphs_->SetGraphic(std::move(graphic));
      },
      [this](TBinaryStream& stream) {
        const std::string className = glyphs_->Graphic()->ClassName();
        const auto length = static_cast<uint8_t>(className.size());
        if (!stream.Write(&length, 1) || !stream.Write(className.data(), length)) {
          throw EWriteError("Stream write error");
        }
        glyphs_->Graphic()->SaveToStream(stream);
      },
      !glyphs_->Empty());
}

void TGLCustomBitmapFont::DefineRanges(TFiler& filer, bool stored) {
  DefineCollection(filer, "Ranges", *ranges_, stored);
}

void TGLCustomBitmapFont::DefineMetrics(TFiler& filer) {
  DefineInteger(filer, "GlyphsIntervalX", glyphsIntervalX_, glyphsIntervalX_ != 0,
                [this](int32_t v) { SetGlyphsIntervalX(v); });
  DefineInteger(filer, "GlyphsIntervalY", glyphsIntervalY_, glyphsIntervalY_ != 0,
                [this](int32_t v) { SetGlyphsIntervalY(v); });
  DefineRanges(filer, ranges_->Count() > 0);
  DefineInteger(filer, "CharWidth", charWidth_, charWidth_ != 16, [this](int32_t v) { SetCharWidth(v); });
  DefineInteger(filer, "CharHeight", charHeight_, charHeight_ != 16, [this](int32_t v) { SetCharHeight(v); });
  DefineInteger(filer, "HSpace", hSpace_, hSpace_ != 1, [this](int32_t v) { SetHSpace(v); });
  DefineInteger(filer, "VSpace", vSpace_, vSpace_ != 1, [this](int32_t v) { SetVSpace(v); });
}

void TGLCustomBitmapFont::DefineFilters(TFiler& filer, TGLMinFilter defaultMinFilter) {
  DefineOrdinal(filer, "MagFilter", magFilter_, TGLMagFilter::maLinear, TGLMagFilter::maLinear,
                [this](TGLMagFilter v) { SetMagFilter(v); });
  DefineOrdinal(filer, "MinFilter", minFilter_, miLinearMipmapLinear, defaultMinFilter,
                [this](TGLMinFilter v) { SetMinFilter(v); });
}

void TGLBitmapFont::DefinePublished(TFiler& filer) {
  TGLCustomBitmapFont::DefinePublished(filer);
  DefineGlyphs(filer);
  DefineMetrics(filer);
  DefineFilters(filer, miLinear);
  DefineOrdinal(filer, "GlyphsAlpha", GlyphsAlpha(), TGLTextureImageAlpha::tiaBottomRightPointColorTransparent,
                TGLTextureImageAlpha::tiaDefault, [this](TGLTextureImageAlpha v) { SetGlyphsAlpha(v); });
}

void TGLFlatText::DefineFontAndText(TFiler& filer) {
  DefineReference(filer, "BitmapFont", bitmapFont_, [this](TComponent& font) {
    // A component of another class under that name is not a font: the text keeps none.
    if (auto* bitmapFont = dynamic_cast<TGLCustomBitmapFont*>(&font)) SetBitmapFont(bitmapFont);
  });
  DefineString(filer, "Text", text_, !text_.empty(), [this](const std::string& v) { SetText(v); });
}

void TGLFlatText::DefineTextLook(TFiler& filer) {
  DefineOrdinal(filer, "Alignment", alignment_, TAlignment::taCenter, TAlignment::taLeftJustify,
                [this](TAlignment v) { SetAlignment(v); });
  DefineOrdinal(filer, "Layout", layout_, TTextLayout::tlBottom, TTextLayout::tlTop,
                [this](TTextLayout v) { SetLayout(v); });
  DefineNested(filer, "ModulateColor", *modulateColor_);
}

void TGLFlatText::DefinePublished(TFiler& filer) {
  TGLImmaterialSceneObject::DefinePublished(filer);
  DefineFontAndText(filer);
  DefineTextLook(filer);
  DefineFlags(filer, "Options", options_, ftoTwoSided, options_ != 0,
              [this](uint32_t v) { SetOptions(static_cast<TGLFlatTextOptions>(v)); });
}

// ----------------------------------------------------------------- registration

void RegisterBitmapFontClasses() {
  RegisterClass(TGLBitmapFont::StaticClass());
  RegisterClass(TGLFlatText::StaticClass());
}

}  // namespace qira
