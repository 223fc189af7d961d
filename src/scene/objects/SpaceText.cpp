#include "scene/objects/SpaceText.h"

// Sections: text adjustment; glyph outlines; font manager; TGLSpaceText;
// component streams; registration.

#include <QPainterPath>
#include <QRawFont>
#include <QString>

#include <algorithm>
#include <cmath>

#include "platform/CodePage.h"
#include "scene/components/ComponentStreams.h"
#include "scene/gl/OpenGLBinding.h"
#include "scene/math/VectorGeometry.h"
#include "scene/objects/FontProperties.h"
#include "scene/objects/Nodes.h"

namespace qira {

// ============================================================ text adjustment

void TGLTextAdjust::SetHorz(TGLTextHorzAdjust value) {
  if (value == horz_) return;
  horz_ = value;
  if (OnChange) OnChange(this);
}

void TGLTextAdjust::SetVert(TGLTextVertAdjust value) {
  if (value == vert_) return;
  vert_ = value;
  if (OnChange) OnChange(this);
}

void TGLTextAdjust::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLTextAdjust*>(source)) {
    const bool changed = horz_ != src->horz_ || vert_ != src->vert_;
    horz_ = src->horz_;
    vert_ = src->vert_;
    if (changed && OnChange) OnChange(this);
    return;
  }
  TPersistent::Assign(source);
}

// ============================================================ glyph outlines

namespace {

// Glyphs are loaded at this em size in pixels and scaled down to one unit.
constexpr int kEmPixels = 1024;
// Flattening tolerance, in ems, when no deviation is allowed.
constexpr float kFinestDeviation = 0.002f;

using TContours = std::vector<std::vector<TAffineVector>>;

TAffineVector EmPoint(const QPointF& p) {
  constexpr float s = 1.0f / kEmPixels;
  return {static_cast<float>(p.x()) * s, static_cast<float>(-p.y()) * s, 0.0f};
}

// Closed polygons of a glyph outline (pixels, y down) in ems, y up; curves
// are cut into chords that stray at most `deviation` ems from them.
TContours FlattenOutline(const QPainterPath& path, float deviation) {
  TContours contours;
  QPointF last;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo() || contours.empty()) contours.emplace_back();
    if (e.isCurveTo() && i + 2 < path.elementCount()) {
      const QPointF p0 = last;
      const QPointF p1 = e;
      const QPointF p2 = path.elementAt(i + 1);
      const QPointF p3 = path.elementAt(i + 2);
      i += 2;
      // A cubic's chord error over n equal steps is at most 3/4 of its
      // largest second difference over n squared.
      const double bend = std::max(std::hypot((p0 - 2 * p1 + p2).x(), (p0 - 2 * p1 + p2).y()),
                                   std::hypot((p1 - 2 * p2 + p3).x(), (p1 - 2 * p2 + p3).y())) / kEmPixels;
      const int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(0.75 * bend / deviation))), 1, 64);
      for (int k = 1; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        const double u = 1.0 - t;
        contours.back().push_back(EmPoint(u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3));
      }
      last = p3;
      continue;
    }
    last = e;
    contours.back().push_back(EmPoint(e));
  }
  for (auto& contour : contours) {
    if (contour.size() > 1 && AffineVectorEquals(contour.front(), contour.back())) contour.pop_back();
  }
  std::erase_if(contours, [](const std::vector<TAffineVector>& c) { return c.size() < 3; });
  return contours;
}

// Twice the signed area of all contours: positive when the filled side lies
// left of the outlines' direction.
float SignedArea(const TContours& contours) {
  float area = 0.0f;
  for (const auto& c : contours) {
    for (size_t i = 0; i < c.size(); ++i) {
      const TAffineVector& a = c[i];
      const TAffineVector& b = c[(i + 1) % c.size()];
      area += a.x * b.y - b.x * a.y;
    }
  }
  return area;
}

// One face of the glyph at depth z, facing +Z (or -Z with `back`).
void DrawFace(const TContours& contours, float z, bool back) {
  size_t points = 0;
  for (const auto& c : contours) points += c.size();
  TGLTessellation run(TGLTessellation::TOutput::toDraw, static_cast<int>(points) + 1);
  if (!run.Valid()) return;
  const TAffineVector normal{0.0f, 0.0f, back ? -1.0f : 1.0f};
  glNormal3fv(normal.data());
  run.SetNormal(normal);
  run.SetWindingRule(GLU_TESS_WINDING_NONZERO);
  run.BeginPolygon();
  for (const auto& c : contours) {
    run.BeginContour();
    for (const TAffineVector& p : c) run.AddVertex({p.x, p.y, z});
    run.EndContour();
  }
  run.EndPolygon();
}

// The walls between the front face at z = 0 and the back face at -depth,
// facing away from the filled side.
void DrawSides(const TContours& contours, float depth) {
  const bool filledLeft = SignedArea(contours) > 0.0f;
  glBegin(GL_QUADS);
  for (const auto& c : contours) {
    for (size_t i = 0; i < c.size(); ++i) {
      TAffineVector a = c[i];
      TAffineVector b = c[(i + 1) % c.size()];
      if (AffineVectorEquals(a, b)) continue;
      if (filledLeft) std::swap(a, b);
      // With the filled side on the right of a -> b, outward is to its left.
      const TAffineVector normal = AffineVectorNormalize({a.y - b.y, b.x - a.x, 0.0f});
      glNormal3fv(normal.data());
      glVertex3f(a.x, a.y, 0.0f);
      glVertex3f(b.x, b.y, 0.0f);
      glVertex3f(b.x, b.y, -depth);
      glVertex3f(a.x, a.y, -depth);
    }
  }
  glEnd();
}

}  // namespace

// ============================================================== font manager

TFontManager& TFontManager::Instance() {
  static TFontManager manager;
  return manager;
}

TFontEntry* TFontManager::AcquireFontEntry(const std::string& name, TFontStyles styles, TGLSpaceText* client,
                                           int32_t lastChar, int32_t firstChar, float allowedDeviation,
                                           float extrusion) {
  const QString wanted = QString::fromStdString(name);
  TFontEntry* entry = nullptr;
  for (const auto& e : entries_) {
    if (QString::fromStdString(e->Name).compare(wanted, Qt::CaseInsensitive) == 0 && e->Styles == styles &&
        e->Extrusion == extrusion && e->AllowedDeviation == allowedDeviation && e->FirstChar == firstChar &&
        e->LastChar == lastChar) {
      entry = e.get();
      break;
    }
  }
  if (entry != nullptr) {
    ++entry->RefCount;
    entry->Clients.Add(client);
    if (entry->VirtualHandle->Handle() != 0) return entry;
  } else {
    auto made = std::make_unique<TFontEntry>();
    made->Name = name;
    made->VirtualHandle = std::make_unique<TGLVirtualHandle>();
    made->Styles = styles;
    made->Extrusion = extrusion;
    made->RefCount = 1;
    made->AllowedDeviation = allowedDeviation;
    made->FirstChar = firstChar;
    made->LastChar = lastChar;
    made->Clients.Add(client);
    entry = made.get();
    entries_.push_back(std::move(made));
  }
  try {
    BuildLists(*entry);
  } catch (...) {
    // The client never got the entry: its acquisition is undone.
    --entry->RefCount;
    entry->Clients.Remove(client);
    if (entry->RefCount <= 0) std::erase_if(entries_, [entry](const auto& e) { return e.get() == entry; });
    throw;
  }
  return entry;
}

void TFontManager::BuildLists(TFontEntry& entry) {
  TFont font;
  font.Name = entry.Name;
  font.Height = -kEmPixels;
  font.Style = entry.Styles;
  const std::shared_ptr<const TLoadedFont> loaded = TLoadedFont::Load(font);
  if (!loaded->Raw().isValid() || CurrentGLContext() == nullptr) {
    throw EFontManagerError("FontManager: font creation failed");
  }
  const int32_t count = entry.LastChar - entry.FirstChar + 1;
  const GLuint base = glGenLists(count);
  if (base == 0) throw EFontManagerError("FontManager: no more display lists available");
  entry.VirtualHandle->OnAllocate = [base](TGLVirtualHandle&, uint32_t& handle) { handle = base; };
  entry.VirtualHandle->OnDestroy = [count](TGLVirtualHandle&, uint32_t& handle) { glDeleteLists(handle, count); };
  entry.VirtualHandle->AllocateHandle();
  const float deviation = entry.AllowedDeviation > 0.0f ? entry.AllowedDeviation : kFinestDeviation;
  constexpr float s = 1.0f / kEmPixels;
  for (int32_t code = entry.FirstChar; code <= entry.LastChar; ++code) {
    const std::string utf8 = Cp1252ToUtf8(std::string(1, static_cast<char>(code)));
    const QList<quint32> glyphs = loaded->Raw().glyphIndexesForString(QString::fromStdString(utf8));
    const quint32 glyph = glyphs.isEmpty() ? 0 : glyphs.front();
    TGlyphMetrics& m = entry.GlyphsMetrics[static_cast<size_t>(code - entry.FirstChar)];
    m = {};
    TContours contours;
    // Glyph 0 is the font's "missing" box: such a code draws nothing.
    if (glyph != 0) {
      const QPainterPath path = loaded->GlyphPath(glyph);
      const QRectF box = path.boundingRect();
      const QList<QPointF> advance =
          loaded->Raw().advancesForGlyphIndexes(QList<quint32>{glyph}, QRawFont::UseDesignMetrics);
      m.blackBoxX = static_cast<float>(box.width()) * s;
      m.blackBoxY = static_cast<float>(box.height()) * s;
      m.originX = static_cast<float>(box.left()) * s;
      m.originY = static_cast<float>(-box.top()) * s;
      m.cellIncX = advance.isEmpty() ? 0.0f : static_cast<float>(advance.front().x()) * s;
      contours = FlattenOutline(path, deviation);
    }
    glNewList(base + static_cast<GLuint>(code - entry.FirstChar), GL_COMPILE);
    if (!contours.empty()) {
      DrawFace(contours, 0.0f, false);
      if (entry.Extrusion != 0.0f) {
        DrawFace(contours, -entry.Extrusion, true);
        DrawSides(contours, entry.Extrusion);
      }
    }
    glTranslatef(m.cellIncX, m.cellIncY, 0.0f);
    glEndList();
  }
}

void TFontManager::ReleaseFontEntry(TFontEntry* entry, TGLSpaceText* client) {
  if (entry == nullptr) return;
  --entry->RefCount;
  if (client != nullptr) {
    client->DefaultHandler(kFontManagerMessage);
    entry->Clients.Remove(client);
  }
  if (entry->RefCount > 0) return;
  entry->VirtualHandle.reset();  // deletes the lists
  for (TGLSpaceText* other : entry->Clients.Items()) other->DefaultHandler(kFontManagerMessage);
  std::erase_if(entries_, [entry](const auto& e) { return e.get() == entry; });
}

// ============================================================== TGLSpaceText

namespace {

// The font a new space text starts with.
TFont ArialFont() {
  TFont font;
  font.Name = "Arial";
  return font;
}

}  // namespace

TGLSpaceText::TGLSpaceText() : font_(ArialFont()), adjust_(std::make_unique<TGLTextAdjust>()) {
  adjust_->OnChange = [this](TObject*) { StructureChanged(); };
}

TGLSpaceText::~TGLSpaceText() {
  if (entry_ == nullptr) return;
  try {
    TFontManager::Instance().ReleaseFontEntry(entry_, this);
  } catch (...) {
    // An OpenGL error while deleting lists must not escape a destructor.
  }
}

void TGLSpaceText::FontChanged() {
  fontChanged_ = true;
  StructureChanged();
}

void TGLSpaceText::SetFont(const TFont& value) {
  if (value == font_) return;
  font_ = value;
  FontChanged();
}

void TGLSpaceText::SetExtrusion(float value) {
  if (value == extrusion_) return;
  extrusion_ = value;
  FontChanged();
}

void TGLSpaceText::SetAllowedDeviation(float value) {
  if (value < 0.0f) value = 0.0f;
  if (value == allowedDeviation_) return;
  allowedDeviation_ = value;
  FontChanged();
}

void TGLSpaceText::SetCharacterRange(TSpaceTextCharRange value) {
  if (value == characterRange_) return;
  characterRange_ = value;
  FontChanged();
}

void TGLSpaceText::SetAspectRatio(float value) {
  if (value == aspectRatio_) return;
  aspectRatio_ = value;
  StructureChanged();
}

void TGLSpaceText::SetOblique(float value) {
  if (value == oblique_) return;
  oblique_ = value;
  StructureChanged();
}

void TGLSpaceText::SetTextHeight(float value) {
  if (value == textHeight_) return;
  textHeight_ = value;
  StructureChanged();
}

void TGLSpaceText::SetLines(const std::vector<std::string>& value) {
  lines_ = value;
  StructureChanged();
}

std::string TGLSpaceText::Text() const {
  if (lines_.size() == 1) return lines_.front();
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

void TGLSpaceText::SetText(const std::string& value) {
  if (value == Text()) return;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < value.size()) {
    const size_t end = value.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(value.substr(start));
      break;
    }
    lines.push_back(value.substr(start, end - start));
    start = end + (value.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  SetLines(lines);
}

int32_t TGLSpaceText::FirstChar() const {
  if (characterRange_ == TSpaceTextCharRange::stcrAll) return 0;
  return characterRange_ == TSpaceTextCharRange::stcrNumbers ? 48 : 32;
}

int32_t TGLSpaceText::LastChar() const {
  if (characterRange_ == TSpaceTextCharRange::stcrAll) return 255;
  return characterRange_ == TSpaceTextCharRange::stcrNumbers ? 57 : 127;
}

std::string TGLSpaceText::Codes(const std::string& line) const {
  std::string codes = Cp1252Codes(line);
  const int32_t first = FirstChar();
  const int32_t last = LastChar();
  std::erase_if(codes, [first, last](char c) {
    const auto code = static_cast<uint8_t>(c);
    return code < first || code > last;
  });
  return codes;
}

TGLSpaceText::TTextMetrics TGLSpaceText::Metrics(const std::string& codes) const {
  TTextMetrics m;
  if (entry_ == nullptr) return m;
  for (const char c : codes) {
    const TGlyphMetrics& g = entry_->GlyphsMetrics[static_cast<size_t>(static_cast<uint8_t>(c) - entry_->FirstChar)];
    m.width += g.cellIncX;
    m.top = std::max(m.top, g.originY);
    m.bottom = std::min(m.bottom, g.originY - g.blackBoxY);
  }
  return m;
}

TGLSpaceText::TTextMetrics TGLSpaceText::WholeTextMetrics() const {
  TTextMetrics whole;
  for (const std::string& line : lines_) {
    const TTextMetrics m = Metrics(Codes(line));
    whole.width = std::max(whole.width, m.width);
    whole.top = std::max(whole.top, m.top);
    whole.bottom = std::min(whole.bottom, m.bottom);
  }
  return whole;
}

void TGLSpaceText::Assign(const TPersistent* source) {
  if (const auto* src = dynamic_cast<const TGLSpaceText*>(source)) {
    adjust_->Assign(src->adjust_.get());
    SetFont(src->font_);
    SetAllowedDeviation(src->allowedDeviation_);
    SetCharacterRange(src->characterRange_);
    SetExtrusion(src->extrusion_);
    aspectRatio_ = src->aspectRatio_;
    oblique_ = src->oblique_;
    textHeight_ = src->textHeight_;
    lines_ = src->lines_;
    StructureChanged();
  }
  TGL3DSceneObject::Assign(source);
}

void TGLSpaceText::DefaultHandler(std::string_view message) {
  if (message != kFontManagerMessage) return;
  entry_ = nullptr;
  fontChanged_ = true;
}

void TGLSpaceText::DoRender(TRenderContextInfo& rci, bool renderSelf, bool renderChildren) {
  if (!Text().empty() && (fontChanged_ || entry_ == nullptr || entry_->VirtualHandle->Handle() == 0)) {
    if (entry_ != nullptr) TFontManager::Instance().ReleaseFontEntry(entry_, this);
    entry_ = TFontManager::Instance().AcquireFontEntry(font_.Name, font_.Style, this, LastChar(), FirstChar(),
                                                       allowedDeviation_, extrusion_);
    fontChanged_ = false;
    // The compiled text calls the lists of the entry it was built with.
    StructureChanged();
  }
  TGL3DSceneObject::DoRender(rci, renderSelf, renderChildren);
}

void TGLSpaceText::BuildList(TRenderContextInfo& rci) {
  (void)rci;
  if (entry_ == nullptr || entry_->VirtualHandle->Handle() == 0 || Text().empty()) return;
  const GLuint lists = entry_->VirtualHandle->Handle();
  glPushMatrix();
  if (aspectRatio_ != 0.0f) glScalef(aspectRatio_, 1.0f, 1.0f);
  if (oblique_ != 0.0f) glRotatef(oblique_, 0.0f, 0.0f, 1.0f);
  glPushAttrib(GL_POLYGON_BIT);
  const TGLTextHorzAdjust horz = adjust_->Horz();
  const TGLTextVertAdjust vert = adjust_->Vert();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string codes = Codes(lines_[i]);
    const TTextMetrics m = Metrics(codes);
    // Scaled to a height, a line with nothing above its base line would be
    // scaled infinitely: it is not drawn.
    if (textHeight_ != 0.0f && m.top <= 0.0f) continue;
    glPushMatrix();
    if (horz != TGLTextHorzAdjust::haLeft || vert != TGLTextVertAdjust::vaBaseLine || textHeight_ != 0.0f) {
      if (textHeight_ != 0.0f) {
        const float s = textHeight_ / m.top;
        glScalef(s, s, 1.0f);
      }
      float x = 0.0f;
      if (horz == TGLTextHorzAdjust::haCenter) x = -m.width / 2.0f;
      if (horz == TGLTextHorzAdjust::haRight) x = -m.width;
      float y = 0.0f;
      if (vert == TGLTextVertAdjust::vaTop) y = -m.top;
      if (vert == TGLTextVertAdjust::vaCenter) y = std::fabs(m.bottom) / 2.0f - m.top / 2.0f;
      if (vert == TGLTextVertAdjust::vaBottom) y = std::fabs(m.bottom);
      glTranslatef(x, y, 0.0f);
    }
    glTranslatef(0.0f, -static_cast<float>(i) * (m.top + aspectRatio_), 0.0f);
    for (const char c : codes) glCallList(lists + static_cast<uint8_t>(c) - static_cast<GLuint>(entry_->FirstChar));
    glPopMatrix();
  }
  glPopAttrib();
  glPopMatrix();
}

TVector TGLSpaceText::BarycenterAbsolutePosition() const {
  const TTextMetrics m = WholeTextMetrics();
  const float b = std::fabs(m.bottom);
  TVector local{0.0f, 0.0f, -extrusion_ / 2.0f, 1.0f};
  if (adjust_->Horz() == TGLTextHorzAdjust::haLeft) local.x = m.width / 2.0f;
  if (adjust_->Horz() == TGLTextHorzAdjust::haRight) local.x = -m.width / 2.0f;
  switch (adjust_->Vert()) {
    case TGLTextVertAdjust::vaTop:
      local.y = -(b / 2.0f + m.top / 2.0f);
      break;
    case TGLTextVertAdjust::vaCenter:
      break;
    case TGLTextVertAdjust::vaBottom:
      local.y = b / 2.0f + m.top / 2.0f;
      break;
    case TGLTextVertAdjust::vaBaseLine:
      local.y = -(b / 2.0f - m.top / 2.0f);
      break;
  }
  return LocalToAbsolute(local);
}

TVector TGLSpaceText::AxisAlignedDimensionsUnscaled() const {
  const TTextMetrics m = WholeTextMetrics();
  float s = 1.0f;
  // No size for a text scaled to a height that has nothing above its base line.
  if (textHeight_ > 0.0f) s = m.top > 0.0f ? textHeight_ / m.top : 0.0f;
  return {m.width / 2.0f * s, (std::fabs(m.bottom) + m.top) / 2.0f * s, extrusion_ / 2.0f, 0.0f};
}

// ========================================================= component streams

void TGLTextAdjust::DefinePublished(TFiler& filer) {
  TPersistent::DefinePublished(filer);
  DefineOrdinal(filer, "Horz", horz_, TGLTextHorzAdjust::haFitIn, TGLTextHorzAdjust::haLeft,
                [this](TGLTextHorzAdjust v) { SetHorz(v); });
  DefineOrdinal(filer, "Vert", vert_, TGLTextVertAdjust::vaBaseLine, TGLTextVertAdjust::vaBaseLine,
                [this](TGLTextVertAdjust v) { SetVert(v); });
}

void TGLSpaceText::DefinePublished(TFiler& filer) {
  TGL3DSceneObject::DefinePublished(filer);
  DefineNested(filer, "Adjust", *adjust_);
  DefineFloat(filer, "AllowedDeviation", allowedDeviation_, true,
              [this](float v) { SetAllowedDeviation(v); });
  DefineFloat(filer, "AspectRatio", aspectRatio_, true, [this](float v) { SetAspectRatio(v); });
  DefineOrdinal(filer, "CharacterRange", characterRange_, TSpaceTextCharRange::stcrAll, TSpaceTextCharRange::stcrAll,
                [this](TSpaceTextCharRange v) { SetCharacterRange(v); });
  DefineFloat(filer, "Extrusion", extrusion_, true, [this](float v) { SetExtrusion(v); });
  DefineFont(filer, "Font", font_, ArialFont(), [this](const TFont& v) { SetFont(v); });
  // The lines as a list of strings; Text is the same content and is not stored.
  filer.DefineProperty(
      "Lines.Strings",
      [this](TReader& r) {
        std::vector<std::string> lines;
        r.ReadListBegin();
        while (!r.EndOfList()) lines.push_back(r.ReadString());
        r.ReadListEnd();
        SetLines(lines);
      },
      [this](TWriter& w) {
        w.WriteListBegin();
        for (const std::string& line : lines_) w.WriteString(line);
        w.WriteListEnd();
      },
      !lines_.empty());
  DefineFloat(filer, "Oblique", oblique_, true, [this](float v) { SetOblique(v); });
  DefineFloat(filer, "TextHeight", textHeight_, true, [this](float v) { SetTextHeight(v); });
}

// ============================================================== registration

void RegisterSpaceTextClasses() { RegisterClass(TGLSpaceText::StaticClass()); }

}  // namespace qira
