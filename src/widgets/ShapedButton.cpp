#include "widgets/ShapedButton.h"

// Sections:
//   1. colour helpers and small routines
//   2. construction
//   3. property setters
//   4. the shape (BuildButtonRegion) and geometry
//   5. the face (BuildFaceBitmap): background, gradient, glyphs, caption, rim
//   6. painting and events
//   7. glyph animations

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"
#include "widgets/FormattedText.h"

namespace qira {

// ---- 1. colour helpers and small routines ------------------------------------------------------

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int32_t kDefaultWidth = 75;
constexpr int32_t kDefaultHeight = 25;

TColor MapChannels(TColor c, int (*f)(int)) {
  const TColor rgb = ColorToRGB(c);
  return MakeColor(static_cast<uint8_t>(f(ColorRed(rgb))), static_cast<uint8_t>(f(ColorGreen(rgb))),
                   static_cast<uint8_t>(f(ColorBlue(rgb))));
}

double Radians(int32_t tenths) { return tenths * kPi / 1800.0; }

// Pixels of a 1-pixel frame just inside an area: the area less its pixels whose four
// neighbours are all inside.
QRegion FrameArea(const QRegion& area) {
  const QRegion inner =
      area & area.translated(1, 0) & area.translated(-1, 0) & area.translated(0, 1) & area.translated(0, -1);
  return area - inner;
}

void FillArea(TCanvas& canvas, const QRegion& area, TColor color) {
  if (area.isEmpty()) return;
  canvas.SaveDC();
  canvas.SelectClipRegion(area);
  canvas.SetBrush({ColorToRGB(color), bsSolid});
  canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
  canvas.RestoreDC(-1);
}

enum class TCopyMode { cmCopy, cmMerge, cmTransparent };

// Copies the w × h part of source at (sx, sy) to (dx, dy); source pixels outside the
// bitmap are left out. cmMerge ands each pixel with mergeColor; cmTransparent leaves
// out the pixels of the source's top-left colour.
void CopyBitmapPart(TCanvas& dest, int32_t dx, int32_t dy, const TBitmap& source, int32_t sx, int32_t sy, int32_t w,
                    int32_t h, TCopyMode mode, TColor mergeColor) {
  if (source.Empty()) return;
  const TColor key = source.Pixel(0, 0);
  const TColor merge = ColorToRGB(mergeColor);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const TColor c = source.Pixel(sx + x, sy + y);
      if (c == CLR_INVALID) continue;
      if (mode == TCopyMode::cmTransparent && c == key) continue;
      const QRegion* clip = dest.ClipRegion() ? &*dest.ClipRegion() : nullptr;
      if (clip != nullptr && !clip->contains(QPoint(dx + x, dy + y))) continue;
      dest.SetPixel(dx + x, dy + y, mode == TCopyMode::cmMerge ? (c & merge) : c);
    }
  }
}

size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

// A caption piece: the text between two single "&"; the first character of every
// piece but the first is underlined.
struct TCaptionPiece {
  std::string text;
  bool underlineFirst = false;
};

std::vector<TCaptionPiece> SplitCaption(std::string_view caption) {
  std::vector<TCaptionPiece> pieces(1);
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      pieces.back().text.push_back(caption[i]);
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      pieces.back().text.push_back('&');
      ++i;
    } else {
      pieces.push_back({std::string(), true});
      if (i + 1 == caption.size()) pieces.back().text = " ";  // a trailing "&" underlines a blank
    }
  }
  return pieces;
}

}  // namespace

TColor LighterColor(TColor c) {
  return MapChannels(c, [](int v) { return v >= 224 ? 255 : v + 32; });
}

TColor DarkerColor(TColor c) {
  return MapChannels(c, [](int v) { return v < 32 ? 0 : v - 32; });
}

int32_t ColorBrightness(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return ColorRed(rgb) + ColorGreen(rgb) + ColorBlue(rgb);
}

TColor BlendColor(TColor c0, TColor c1, int32_t n, int32_t i) {
  const TColor a = ColorToRGB(c0), b = ColorToRGB(c1);
  if (n == 0) return a;
  auto mix = [&](uint8_t x, uint8_t y) { return static_cast<uint8_t>(x + (y - x) * i / n); };
  return MakeColor(mix(ColorRed(a), ColorRed(b)), mix(ColorGreen(a), ColorGreen(b)), mix(ColorBlue(a), ColorBlue(b)));
}

int32_t NormalizeButtonAngle(int64_t angle) {
  int64_t a = angle % 3600;
  if (a > 1800) a -= 3600;
  if (a <= -1800) a += 3600;
  return static_cast<int32_t>(a);
}

std::vector<uint8_t> DecodeRegionString(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const auto c = static_cast<uint8_t>(text[i]);
    const auto next = static_cast<uint8_t>(text[i + 1]);
    bytes.push_back(c == '!' ? static_cast<uint8_t>(next + 128) : c);
  }
  return bytes;
}

// ---- 2. construction ------------------------------------------------------------------------------

TShapedButton::TShapedButton(QWidget* parent)
    : QPushButton(parent), rotateTimer_(std::make_unique<TRotateTimer>(*this, rotatedTime_)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  font_.Name = "Times New Roman";
  control_.Canvas().SetFont(font_);
  QWidget::resize(kDefaultWidth, kDefaultHeight);
  storedLeft_ = x();
  storedTop_ = y();
  storedWidth_ = buttonWidth_ = width();
  storedHeight_ = buttonHeight_ = height();
  builtEnabled_ = isEnabled();
  constructed_ = true;
  BuildButtonRegion();
}

TShapedButton::~TShapedButton() {
  building_ = true;  // no face is built while the widget goes
  if (animationTimer_ != nullptr) animationTimer_->stop();
  rotateTimer_->Suspend();
}

TRect TShapedButton::StoredRect() const {
  return {storedLeft_, storedTop_, storedLeft_ + storedWidth_, storedTop_ + storedHeight_};
}

void TShapedButton::Loaded() {
  lastAngleStep_ = 0;
  BuildButtonRegion();
  update();
  loaded_ = true;
}

// ---- 3. property setters ------------------------------------------------------------------------

void TShapedButton::ShapeChanged() {
  BuildButtonRegion();
  update();
}

void TShapedButton::FaceChanged() {
  BuildFaceBitmap();
  update();
}

void TShapedButton::SetButtonKind(TShapedButtonKind kind) {
  if (kind == buttonKind_) return;
  buttonKind_ = kind;
  if (kind == bkUser && userRgnAuto_) TraceUserRegion();
  ShapeChanged();
}

void TShapedButton::SetButton3DKind(TIA3DKind kind) {
  if (kind == button3DKind_) return;
  button3DKind_ = kind;
  ShapeChanged();
}

void TShapedButton::SetButtonDepth(int32_t depth) {
  if (depth == buttonDepth_) return;
  buttonDepth_ = depth;
  ShapeChanged();
}

void TShapedButton::SetButtonWidth(int32_t width) {
  if (width < 0 || width == buttonWidth_) return;
  buttonWidth_ = width;
  const TSize box = RotatedExtent(buttonWidth_, buttonHeight_, buttonAngle_);
  storedWidth_ = box.cx;
  storedHeight_ = box.cy;
  BuildButtonRegion();
  MoveToStoredRect();
  update();
}

void TShapedButton::SetButtonHeight(int32_t height) {
  if (height < 0 || height == buttonHeight_) return;
  buttonHeight_ = height;
  const TSize box = RotatedExtent(buttonWidth_, buttonHeight_, buttonAngle_);
  storedWidth_ = box.cx;
  storedHeight_ = box.cy;
  BuildButtonRegion();
  MoveToStoredRect();
  update();
}

void TShapedButton::SetButtonAngle(int32_t angle) {
  const int32_t normal = NormalizeButtonAngle(angle);
  if (normal == buttonAngle_) return;
  const int64_t step = static_cast<int64_t>(angle) - buttonAngle_;
  if (captionFixed_) captionAngle_ = NormalizeButtonAngle(captionAngle_ + step);
  if (gradientFixed_) gradientAngle_ = NormalizeButtonAngle(gradientAngle_ + step);
  // Only the turn's direction matters to the geometry; whole turns drop out.
  lastAngleStep_ = NormalizeButtonAngle(step);
  buttonAngle_ = normal;
  const TSize box = RotatedExtent(buttonWidth_, buttonHeight_, buttonAngle_);
  storedWidth_ = box.cx;
  storedHeight_ = box.cy;
  const QRegion oldArea = windowRegion_ ? windowRegion_->Area().translated(pos()) : QRegion(geometry());
  BuildButtonRegion();
  if (QWidget* parent = parentWidget()) {
    const QRegion newArea = windowRegion_ ? windowRegion_->Area().translated(storedLeft_, storedTop_)
                                          : QRegion(storedLeft_, storedTop_, storedWidth_, storedHeight_);
    parent->update(oldArea - newArea);
  }
  MoveToStoredRect();
  BuildFaceBitmap();
  update();
}

void TShapedButton::SetPeaksNumber(int32_t peaks) {
  if (peaks < 3 || peaks > 20 || peaks == peaksNumber_) return;
  peaksNumber_ = peaks;
  if (buttonKind_ == bkPoly || buttonKind_ == bkPolyStar) ShapeChanged();
}

void TShapedButton::SetRadiusRatio(double ratio) {
  if (!(ratio >= 0 && ratio <= 1) || ratio == radiusRatio_) return;
  radiusRatio_ = ratio;
  if (buttonKind_ == bkDonut || buttonKind_ == bkArc) ShapeChanged();
}

void TShapedButton::SetArcAngle(double radians) {
  if (!(radians > 0.01 && radians <= 2 * kPi) || radians == arcAngle_) return;
  arcAngle_ = radians;
  if (buttonKind_ == bkArc) ShapeChanged();
}

void TShapedButton::SetStringButtonRegion(const std::string& text) {
  if (text == stringButtonRegion_) return;
  stringButtonRegion_ = text;
  if (text.empty()) {
    userRegion1_ = TRegion::FromRect({0, 0, buttonWidth_, buttonHeight_});
  } else {
    const std::vector<uint8_t> data = DecodeRegionString(text);
    userRegion1_ = TRegion::FromRegionData(data);
  }
  userSource_ = -1;
  if (buttonKind_ == bkUser && userRgnAuto_) TraceUserRegion();
  ShapeChanged();
}

void TShapedButton::SetUserRGNAUTO(bool on) {
  if (on == userRgnAuto_) return;
  userRgnAuto_ = on;
  if (on && buttonKind_ == bkUser) TraceUserRegion();
  ShapeChanged();
}

void TShapedButton::SetUserRegion(TRegion region) {
  if (buttonKind_ != bkUser) return;
  if (userRegion2_ && *userRegion2_ == region) return;
  userRegion2_ = std::move(region);
  userSource_ = 1;
  if (userRgnAuto_) TraceUserRegion();
  ShapeChanged();
}

void TShapedButton::TraceUserRegion() {
  const std::optional<TRegion>& current = userSource_ == 1 ? userRegion2_ : userRegion1_;
  userPolygons_ = {};
  userTraced_ = false;
  if (!current) return;
  RegionToPolygons(*current, userPolygons_.Points, userPolygons_.Counts, userPolygons_.Levels);
  const TRect box = current->BoundingBox();
  userLeft_ = box.Left;
  userTop_ = box.Top;
  userWidth_ = box.Width();
  userHeight_ = box.Height();
  userTraced_ = !userPolygons_.Counts.empty();
}

void TShapedButton::SetRotationPointX(int32_t x) {
  if (x == rotationPointX_) return;
  rotationPointX_ = x;
  rotationCenterFixed_ = false;
  ShapeChanged();
}

void TShapedButton::SetRotationPointY(int32_t y) {
  if (y == rotationPointY_) return;
  rotationPointY_ = y;
  rotationCenterFixed_ = false;
  ShapeChanged();
}

void TShapedButton::SetRotationCenterFixed(bool on) {
  if (on == rotationCenterFixed_) return;
  rotationCenterFixed_ = on;
  ShapeChanged();
}

void TShapedButton::SetShowFocusRGN(bool on) {
  if (on == showFocusRgn_) return;
  showFocusRgn_ = on;
  FaceChanged();
}

void TShapedButton::SetCustomDraw(bool on) {
  if (on == customDraw_) return;
  customDraw_ = on;
  FaceChanged();
}

void TShapedButton::SetButtonColor(TColor color) {
  if (color == buttonColor_) return;
  buttonColor_ = color;
  FaceChanged();
}

void TShapedButton::SetButtonColor1(TColor color) {
  if (color == buttonColor1_) return;
  buttonColor1_ = color;
  FaceChanged();
}

void TShapedButton::SetGradientKind(TButtonGradientKind kind) {
  if (kind == gradientKind_) return;
  gradientKind_ = kind;
  FaceChanged();
}

void TShapedButton::SetGradientAngle(int32_t angle) {
  if (angle == gradientAngle_) return;
  gradientAngle_ = angle;
  FaceChanged();
}

void TShapedButton::SetGradientFixed(bool on) { gradientFixed_ = on; }

void TShapedButton::SetGradientBitmap(const TBitmap* bitmap) {
  if (bitmap == nullptr || bitmap->Empty()) {
    gradientBitmap_.SetSize(0, 0);
  } else {
    gradientBitmap_.Assign(*bitmap);
  }
  ShapeChanged();
}

void TShapedButton::SetGradientBitmapLine(int32_t line) {
  if (line < 0 || line == gradientBitmapLine_) return;
  gradientBitmapLine_ = line;
  FaceChanged();
}

void TShapedButton::SetCaptionHAlign(TButtonHAlign align) {
  if (align == captionHAlign_) return;
  captionHAlign_ = align;
  FaceChanged();
}

void TShapedButton::SetCaptionVAlign(TButtonVAlign align) {
  if (align == captionVAlign_) return;
  captionVAlign_ = align;
  FaceChanged();
}

void TShapedButton::SetCaptionLeft(int32_t left) {
  if (left == captionLeft_) return;
  captionLeft_ = left;
  if (loaded_) captionHAlign_ = haNone;
  FaceChanged();
}

void TShapedButton::SetCaptionTop(int32_t top) {
  if (top == captionTop_) return;
  captionTop_ = top;
  if (loaded_) captionVAlign_ = vaNone;
  FaceChanged();
}

void TShapedButton::SetCaptionAngle(int32_t angle) {
  if (angle == captionAngle_) return;
  captionAngle_ = angle;
  FaceChanged();
}

void TShapedButton::SetCaption3dKind(TButtonCaption3dKind kind) {
  if (kind == caption3dKind_) return;
  caption3dKind_ = kind;
  FaceChanged();
}

void TShapedButton::SetCaptionFixed(bool on) {
  if (on == captionFixed_) return;
  captionFixed_ = on;
  FaceChanged();
}

void TShapedButton::SetFont(const TFont& font) {
  if (font == font_) return;
  font_ = font;
  FaceChanged();
}

void TShapedButton::SetMainBitmap(const TBitmap* bitmap) {
  if (bitmap == nullptr || bitmap->Empty()) {
    mainBitmap_.SetSize(0, 0);
  } else {
    mainBitmap_.Assign(*bitmap);
  }
  FaceChanged();
}

void TShapedButton::SetMainBitmapGlyphs(int32_t glyphs) {
  if (glyphs < 1 || glyphs > 4 || glyphs == mainBitmapGlyphs_) return;
  mainBitmapGlyphs_ = glyphs;
  FaceChanged();
}

void TShapedButton::SetAnimationBitmap(TAnimationKind kind, const TBitmap* bitmap) {
  if (bitmap == nullptr || bitmap->Empty()) {
    animations_[kind].bitmap.SetSize(0, 0);
  } else {
    animations_[kind].bitmap.Assign(*bitmap);
  }
}

void TShapedButton::SetAnimationGlyphs(TAnimationKind kind, int32_t glyphs) {
  if (glyphs >= 1) animations_[kind].glyphs = glyphs;
}

void TShapedButton::SetBitmapHAlign(TButtonHAlign align) {
  if (align == bitmapHAlign_) return;
  bitmapHAlign_ = align;
  FaceChanged();
}

void TShapedButton::SetBitmapVAlign(TButtonVAlign align) {
  if (align == bitmapVAlign_) return;
  bitmapVAlign_ = align;
  FaceChanged();
}

void TShapedButton::SetBitmapLeft(int32_t left) {
  if (left == bitmapLeft_) return;
  bitmapLeft_ = left;
  FaceChanged();
}

void TShapedButton::SetBitmapTop(int32_t top) {
  if (top == bitmapTop_) return;
  bitmapTop_ = top;
  FaceChanged();
}

void TShapedButton::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  FaceChanged();
}

void TShapedButton::SetRotated(bool on) {
  if (on == rotated_) return;
  rotated_ = on;
  if (on) {
    rotateTimer_->Resume();
  } else {
    rotateTimer_->Suspend();
  }
}

void TShapedButton::SetRotatedTime(int32_t ms) {
  if (ms < 0 || ms == rotatedTime_) return;
  rotatedTime_ = ms;
  rotateTimer_->SetInterval(ms);
}

void TShapedButton::SetRotatedAngle(int32_t angle) {
  if (angle >= -1799 && angle <= 1799) rotatedAngle_ = angle;
}

void TShapedButton::RotationTick() { SetButtonAngle(NormalizeButtonAngle(static_cast<int64_t>(buttonAngle_) + rotatedAngle_)); }

void TShapedButton::SetButtonStyle(bool isDefault) {
  focusedDefault_ = isDefault;
  BuildButtonRegion();
  update();
}

// ---- 4. the shape (BuildButtonRegion) and geometry ------------------------------------------------

void TShapedButton::MoveToStoredRect() {
  ownGeometry_ = true;
  setGeometry(storedLeft_, storedTop_, storedWidth_, storedHeight_);
  ownGeometry_ = false;
}

void TShapedButton::BuildButtonRegion() {
  if (!constructed_) return;
  // A region not yet handed to the widget is replaced.
  windowRegionNew_ = false;
  // Where the widget is now is where it was put: a hidden widget gets its move
  // events only when shown.
  if (!ownGeometry_) {
    storedLeft_ = x();
    storedTop_ = y();
  }

  const bool userAsIs = buttonKind_ == bkUser && !userRgnAuto_;
  if (!userAsIs) {
    TShapeParams params;
    params.Kind = buttonKind_;
    params.Width = buttonWidth_;
    params.Height = buttonHeight_;
    params.Depth = buttonDepth_;
    params.PeaksNumber = peaksNumber_;
    params.RadiusRatio = radiusRatio_;
    params.ArcAngle = arcAngle_;
    if (userTraced_) {
      params.User = &userPolygons_;
      params.UserLeft = userLeft_;
      params.UserTop = userTop_;
      params.UserWidth = userWidth_;
      params.UserHeight = userHeight_;
    }
    TShapeOutline shape = ButtonOutline(params);
    if (shape.ArcHeight && *shape.ArcHeight != buttonHeight_) {
      buttonHeight_ = *shape.ArcHeight;
      const TSize box = RotatedExtent(buttonWidth_, buttonHeight_, buttonAngle_);
      storedWidth_ = box.cx;
      storedHeight_ = box.cy;
      MoveToStoredRect();
    }
    outline_ = std::move(shape.Set);

    const int32_t cx = rotationCenterFixed_ ? buttonWidth_ / 2 : rotationPointX_;
    const int32_t cy = rotationCenterFixed_ ? buttonHeight_ / 2 : rotationPointY_;
    const TPoint shift = RotationShift(buttonWidth_, buttonHeight_, cx, cy, buttonAngle_, lastAngleStep_);
    storedLeft_ += shift.X;
    storedTop_ += shift.Y;
    lastAngleStep_ = 0;

    regions_ = BuildShapeRegions(outline_, button3DKind_, buttonDepth_, buttonWidth_, buttonHeight_, buttonAngle_,
                                 storedWidth_, storedHeight_);
    windowRegion_ = regions_.Window;
  } else {
    outline_ = {};
    regions_ = {};
    const std::optional<TRegion>& current = userSource_ == 1 ? userRegion2_ : userRegion1_;
    windowRegion_ = current ? *current : TRegion();
  }
  windowRegionNew_ = true;
  BuildFaceBitmap();
}

bool TShapedButton::HitTest(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width() || y >= height()) return false;
  return windowRegion_ ? windowRegion_->Contains(x, y) : true;
}

bool TShapedButton::hitButton(const QPoint& pos) const { return HitTest(pos.x(), pos.y()); }

void TShapedButton::ApplyMask() {
  if (!windowRegion_) {
    clearMask();
  } else if (windowRegion_->IsEmpty()) {
    // An empty mask would mean "no mask": a pixel outside the widget hides it all.
    setMask(QRegion(-1, -1, 1, 1));
  } else {
    setMask(windowRegion_->Area());
  }
}

// ---- 5. the face (BuildFaceBitmap) --------------------------------------------------------------

void TShapedButton::BuildFaceBitmap() {
  if (building_ || !constructed_) return;
  building_ = true;
  const bool enabled = isEnabled();
  const bool pressed = isDown();
  face_.SetSize(storedWidth_, storedHeight_);
  TCanvas& canvas = face_.Canvas();
  canvas.RemoveClip();
  if (customDraw_) {
    canvas.FillRect({0, 0, storedWidth_, storedHeight_});
  } else {
    FillBackground(canvas, enabled);
    DrawFaceBitmap(pressed);
    DrawCaption(canvas, pressed, enabled);
    if (!(buttonKind_ == bkUser && !userRgnAuto_)) DrawRim(canvas, pressed, enabled);
  }
  canvas.SetBrush({ColorToRGB(enabled ? buttonColor_ : LighterColor(buttonColor_)), bsSolid});
  builtPressed_ = pressed;
  builtHot_ = hot_;
  builtEnabled_ = enabled;
  builtCaption_ = text().toStdString();
  building_ = false;
}

void TShapedButton::FillBackground(TCanvas& canvas, bool enabled) {
  if (gradientKind_ == gkNone) {
    if (buttonColor_ == clNone) return;
    canvas.SetBrush({ColorToRGB(enabled ? buttonColor_ : LighterColor(buttonColor_)), bsSolid});
    canvas.FillRect({0, 0, storedWidth_, storedHeight_});
  } else if (enabled) {
    GradientFill(canvas, buttonColor_, buttonColor1_, 0);
  } else {
    GradientFill(canvas, LighterColor(buttonColor_), LighterColor(buttonColor1_), 2);
  }
}

void TShapedButton::GradientFill(TCanvas& canvas, TColor c0, TColor c1, int mode) {
  const int32_t w = storedWidth_, h = storedHeight_;
  auto colorAt = [&](int32_t n, int32_t i) {
    if (gradientBitmap_.Width() > 0) {
      const int32_t row = gradientBitmapLine_ < gradientBitmap_.Height() ? gradientBitmapLine_ : 0;
      const int32_t x = n == 0 ? 0 : static_cast<int32_t>(static_cast<int64_t>(gradientBitmap_.Width()) * i / n);
      TColor c = gradientBitmap_.Pixel(std::min(x, gradientBitmap_.Width() - 1), row);
      switch (mode) {
        case -1: c = DarkerColor(c); break;
        case 1: c = LighterColor(c); break;
        case 2: c = LighterColor(LighterColor(c)); break;
        default: break;
      }
      return c;
    }
    return BlendColor(c0, c1, n, i);
  };
  canvas.SaveDC();
  if (gradientKind_ == gkCircular) {
    const int32_t n = RoundToInt(std::sqrt(static_cast<double>(w) * w + static_cast<double>(h) * h) / 2 / 3);
    for (int32_t i = n; i >= 0; --i) {
      const TColor c = colorAt(n, i);
      canvas.SetPen({c, 3, psSolid, pmCopy});
      canvas.SetBrush({c, bsSolid});
      canvas.Ellipse(w / 2 - 3 * i, h / 2 - 3 * i, w / 2 + 3 * i, h / 2 + 3 * i);
    }
  } else {
    const double t = Radians(gradientAngle_);
    const double s = std::sin(t), c = std::cos(t);
    const int32_t n = RoundToInt((std::fabs(h * c) + std::fabs(w * s)) / 3);
    const double length = std::sqrt(static_cast<double>(w) * w + static_cast<double>(h) * h);
    double sx, sy;
    if (c >= 0 && s >= 0) {
      sx = (1 - s * s) * w;
      sy = -w * s * c;
    } else if (c < 0 && s >= 0) {
      sx = h * s * c;
      sy = (1 - s * s) * h;
    } else if (c < 0) {
      sx = s * s * w;
      sy = w * s * c + h;
    } else {
      sx = w - h * s * c;
      sy = (1 - c * c) * h;
    }
    for (int32_t i = 0; i <= n; ++i) {
      const double x0 = sx + i * 3 * s, y0 = sy + i * 3 * c;
      canvas.SetPen({colorAt(n, i), 3, psSolid, pmCopy});
      canvas.MoveTo(RoundToInt(x0), RoundToInt(y0));
      canvas.LineTo(RoundToInt(x0 - length * c), RoundToInt(y0 + length * s));
    }
  }
  canvas.RestoreDC(-1);
}

TPoint TShapedButton::GlyphPosition(int32_t frameWidth, int32_t frameHeight) const {
  const int32_t w = width(), h = height();
  TPoint p;
  switch (bitmapHAlign_) {
    case haLeft: p.X = buttonDepth_; break;
    case haCenter: p.X = (w - frameWidth) / 2; break;
    case haRight: p.X = w - buttonDepth_ - frameWidth; break;
    case haNone: p.X = bitmapLeft_; break;
  }
  switch (bitmapVAlign_) {
    case vaTop: p.Y = buttonDepth_; break;
    case vaCenter: p.Y = (h - frameHeight) / 2; break;
    case vaBottom: p.Y = h - buttonDepth_ - frameHeight; break;
    case vaNone: p.Y = bitmapTop_; break;
  }
  return p;
}

void TShapedButton::DrawFaceBitmap(bool pressed) {
  if (mainBitmap_.Empty()) return;
  const int32_t frames = mainBitmapGlyphs_;
  const int32_t fw = mainBitmap_.Width() / frames, fh = mainBitmap_.Height();
  if (fw <= 0) return;
  const TPoint at = GlyphPosition(fw, fh);
  int32_t frame = 0;
  int32_t shift = 0;
  TCopyMode mode = transparent_ ? TCopyMode::cmTransparent : TCopyMode::cmCopy;
  if (!isEnabled()) {
    if (frames >= 2) {
      frame = 1;
    } else {
      mode = TCopyMode::cmMerge;
    }
  } else if (pressed) {
    frame = frames == 4 ? 3 : 0;
    shift = 1;
  } else if (hot_) {
    frame = frames >= 3 ? 2 : 0;
  }
  TCanvas& canvas = face_.Canvas();
  CopyBitmapPart(canvas, at.X, at.Y, mainBitmap_, frame * fw - shift, -shift, fw, fh, mode, canvas.Brush().Color);
}

void TShapedButton::DrawCaption(TCanvas& canvas, bool pressed, bool enabled) {
  const std::string caption = text().toStdString();
  if (caption.empty() || font_.Color == clNone) return;
  const std::vector<TCaptionPiece> pieces = SplitCaption(caption);
  TFont font = font_;
  font.Escapement = captionAngle_;
  canvas.SetFont(font);
  int32_t tw = 0;
  for (const TCaptionPiece& p : pieces) tw += canvas.TextWidth(p.text);
  const int32_t th = canvas.TextHeight(pieces.front().text);

  const double alpha = Radians(captionFixed_ ? captionAngle_ - buttonAngle_ : captionAngle_);
  const double sa = std::sin(alpha), ca = std::cos(alpha);
  const int32_t bw = RoundToInt(std::fabs(ca) * tw + std::fabs(sa) * th);
  const int32_t bh = RoundToInt(std::fabs(sa) * tw + std::fabs(ca) * th);
  TPoint origin;
  if (sa > 0 && ca > 0) {
    origin = {0, RoundToInt(std::fabs(sa) * tw)};
  } else if (sa > 0) {
    origin = {RoundToInt(std::fabs(ca) * tw), bh};
  } else if (ca > 0) {
    origin = {RoundToInt(std::fabs(sa) * th), 0};
  } else {
    origin = {bw, RoundToInt(std::fabs(ca) * th)};
  }
  const int32_t boxW = captionFixed_ ? buttonWidth_ : width();
  const int32_t boxH = captionFixed_ ? buttonHeight_ : height();
  TPoint anchor;
  switch (captionHAlign_) {
    case haLeft: anchor.X = buttonDepth_ + 4; break;
    case haCenter: anchor.X = (boxW - bw) / 2; break;
    case haRight: anchor.X = boxW - buttonDepth_ - 4 - bw; break;
    case haNone: anchor.X = captionLeft_; break;
  }
  switch (captionVAlign_) {
    case vaTop: anchor.Y = buttonDepth_ + 4; break;
    case vaCenter: anchor.Y = (boxH - bh) / 2; break;
    case vaBottom: anchor.Y = boxH - buttonDepth_ - 4 - bh; break;
    case vaNone: anchor.Y = captionTop_; break;
  }
  TPoint start{anchor.X + origin.X, anchor.Y + origin.Y};
  if (captionFixed_) {
    const double a = Radians(buttonAngle_);
    const double px = start.X, py = start.Y;
    const double hw = buttonWidth_ / 2.0, hh = buttonHeight_ / 2.0;
    start.X = RoundToInt(std::cos(a) * px + std::sin(a) * py) + width() / 2 -
              RoundToInt(std::cos(a) * hw + std::sin(a) * hh);
    start.Y = RoundToInt(-std::sin(a) * px + std::cos(a) * py) + height() / 2 -
              RoundToInt(-std::sin(a) * hw + std::cos(a) * hh);
  }
  if (pressed) {
    start.X += 1;
    start.Y += 1;
  }

  struct TPass {
    int32_t dx, dy;
    TColor color;
  };
  const TColor normal = enabled ? font_.Color : buttonColor_;
  std::vector<TPass> passes;
  switch (caption3dKind_) {
    case ckSimple: passes = {{0, 0, normal}}; break;
    case ckEmbossed:
      passes = {{-1, -1, LighterColor(buttonColor_)}, {1, 1, DarkerColor(buttonColor_)}, {0, 0, normal}};
      break;
    case ckPressed:
      passes = {{-1, -1, DarkerColor(buttonColor_)}, {1, 1, LighterColor(buttonColor_)}, {0, 0, normal}};
      break;
  }
  const double ea = Radians(captionAngle_);
  canvas.SaveDC();
  canvas.SetBkMode(bkTransparent);
  canvas.SetTextAlign(TA_LEFT | TA_TOP);
  TFont underlined = font;
  underlined.Style |= fsUnderline;
  for (const TPass& pass : passes) {
    font.Color = ColorToRGB(pass.color);
    underlined.Color = font.Color;
    double penX = start.X + pass.dx, penY = start.Y + pass.dy;
    auto out = [&](std::string_view piece, const TFont& f) {
      if (piece.empty()) return;
      canvas.SetFont(f);
      canvas.TextOut(RoundToInt(penX), RoundToInt(penY), piece);
      const int32_t w = canvas.TextWidth(piece);
      penX += w * std::cos(ea);
      penY -= w * std::sin(ea);
    };
    for (const TCaptionPiece& p : pieces) {
      std::string_view rest = p.text;
      if (p.underlineFirst && !rest.empty()) {
        const size_t n = std::min(Utf8Length(static_cast<unsigned char>(rest[0])), rest.size());
        out(rest.substr(0, n), underlined);
        rest.remove_prefix(n);
      }
      out(rest, font);
    }
  }
  canvas.RestoreDC(-1);
}

void TShapedButton::DrawRim(TCanvas& canvas, bool pressed, bool enabled) {
  const TIA3DKind k = button3DKind_;
  const bool bands = k == dk3D || k == dk3dsimple || k == dk3dBorder || hot_;
  const bool innerBands = k == dk3dBorder || (hot_ && k == dk3dBorderFlatten);
  const bool outlineFrame = k == dk3D || k == dk3dBorder || (hot_ && (k == dkFlatten || k == dk3dBorderFlatten));
  const bool focusFrame = focusedDefault_ && showFocusRgn_ && (gradientKind_ == gkNone || enabled);
  const TColor b = buttonColor_;
  auto area = [](const std::optional<TRegion>& r) { return r ? r->Area() : QRegion(); };

  if (gradientKind_ == gkNone) {
    const bool dark = ColorBrightness(b) < 361;
    TColor light, shade, innerLight, innerShade, frame;
    if (enabled) {
      light = LighterColor(b);
      shade = DarkerColor(b);
      if (pressed) std::swap(light, shade);
      innerLight = LighterColor(b);
      innerShade = DarkerColor(b);
      frame = dark ? LighterColor(LighterColor(b)) : DarkerColor(DarkerColor(b));
    } else {
      light = LighterColor(LighterColor(b));
      shade = DarkerColor(LighterColor(b));
      innerLight = LighterColor(LighterColor(b));
      innerShade = DarkerColor(LighterColor(b));
      frame = dark ? LighterColor(LighterColor(LighterColor(b))) : DarkerColor(b);
    }
    if (bands) {
      FillArea(canvas, area(regions_.LightRim), light);
      FillArea(canvas, area(regions_.DarkRim), shade);
    }
    if (innerBands) {
      FillArea(canvas, area(regions_.InnerLight), innerLight);
      FillArea(canvas, area(regions_.InnerDark), innerShade);
      FillArea(canvas, FrameArea(area(regions_.InnerFrame)), frame);
    }
    if (outlineFrame) FillArea(canvas, FrameArea(area(regions_.OutlineFrame)), frame);
    if (focusFrame) FillArea(canvas, FrameArea(area(regions_.FocusFrame)), frame);
    return;
  }

  auto gradientIn = [&](const QRegion& region, TColor c0, TColor c1, int mode) {
    if (region.isEmpty()) return;
    canvas.SaveDC();
    canvas.SelectClipRegion(region);
    GradientFill(canvas, c0, c1, mode);
    canvas.RestoreDC(-1);
  };
  const TColor b1 = buttonColor1_;
  if (bands) {
    if (!pressed) {
      gradientIn(area(regions_.LightRim), LighterColor(b), LighterColor(b1), 1);
      gradientIn(area(regions_.DarkRim), DarkerColor(b), DarkerColor(b1), -1);
    } else {
      gradientIn(area(regions_.LightRim), DarkerColor(b), DarkerColor(b1), -1);
      gradientIn(area(regions_.DarkRim), LighterColor(b), LighterColor(b1), 1);
    }
  }
  const TColor frame = DarkerColor(DarkerColor(b));
  if (innerBands) {
    gradientIn(area(regions_.InnerLight), LighterColor(b), LighterColor(b1), 1);
    gradientIn(area(regions_.InnerDark), DarkerColor(b), DarkerColor(b1), -1);
    FillArea(canvas, FrameArea(area(regions_.InnerFrame)), frame);
  }
  if (outlineFrame) FillArea(canvas, FrameArea(area(regions_.OutlineFrame)), frame);
  if (focusFrame) FillArea(canvas, FrameArea(area(regions_.FocusFrame)), DarkerColor(b));
}

// ---- 6. painting and events ----------------------------------------------------------------------

void TShapedButton::PaintButton() {
  const bool pressed = isDown();
  const bool changed = pressed != builtPressed_ || hot_ != builtHot_ || isEnabled() != builtEnabled_ ||
                       text().toStdString() != builtCaption_;
  if (changed && !building_) BuildFaceBitmap();
  if (windowRegionNew_) {
    ApplyMask();
    windowRegionNew_ = false;
  }
  if (control_.Width() != width() || control_.Height() != height()) control_.SetSize(width(), height());
  TCanvas& canvas = control_.Canvas();
  canvas.Draw(0, 0, face_.Image());
  DrawAnimationFrame();
  if (OnPaint) OnPaint();
}

const QImage& TShapedButton::Render() {
  PaintButton();
  return control_.Image();
}

void TShapedButton::paintEvent(QPaintEvent*) {
  Guarded([this] { PaintButton(); }, TReportTime::rtAfterHandler);
  QPainter painter(this);
  painter.drawImage(0, 0, control_.Image());
}

void TShapedButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  if (ownGeometry_ || (width() == storedWidth_ && height() == storedHeight_)) return;
  Guarded(
      [this] {
        storedWidth_ = width();
        storedHeight_ = height();
        const double a = Radians(buttonAngle_);
        const double s = std::sin(a), c = std::cos(a);
        if (std::fabs(s) <= 0.00001) {
          buttonWidth_ = width();
          buttonHeight_ = height();
        } else if (std::fabs(c) <= 0.00001) {
          buttonWidth_ = height();
          buttonHeight_ = width();
        } else {
          const double dh = s * buttonWidth_ + c * buttonHeight_;
          const double dw = c * buttonWidth_ + s * buttonHeight_;
          const double k = (dh < 1 || dw < 1) ? 1.0 : std::min(height() / dh, width() / dw);
          storedWidth_ = RoundToInt(k * dw);
          storedHeight_ = RoundToInt(k * dh);
          buttonWidth_ = RoundToInt(buttonWidth_ * k);
          buttonHeight_ = RoundToInt(buttonHeight_ * k);
          BuildButtonRegion();
          MoveToStoredRect();
          update();
          return;
        }
        BuildButtonRegion();
        update();
      },
      TReportTime::rtAfterHandler);
}

void TShapedButton::moveEvent(QMoveEvent* event) {
  QPushButton::moveEvent(event);
  if (ownGeometry_) return;
  // A move by the owner (or a layout) becomes the stored position, so the button's
  // own later moves start from where it is.
  storedLeft_ = x();
  storedTop_ = y();
}

void TShapedButton::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    Guarded([this] { FaceChanged(); }, TReportTime::rtAfterHandler);
  }
}

void TShapedButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  if (keyHeld_) return;
  Guarded([this] {
    hot_ = true;
    FaceChanged();
    StopAnimation(akExit);
    StartAnimation(akEnter);
    if (onMouseEnter) onMouseEnter(this);
  });
}

void TShapedButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  if (keyHeld_) return;
  Guarded([this] {
    hot_ = false;
    FaceChanged();
    StopAnimation(akEnter);
    StopAnimation(akClick);
    StartAnimation(akExit);
    if (onMouseExit) onMouseExit(this);
  });
}

void TShapedButton::FocusChanged(bool focused) {
  if (ignoreFirstFocus_) {
    ignoreFirstFocus_ = false;
  } else if (focused) {
    StopAnimation(akExit);
    StartAnimation(akEnter);
  } else {
    StopAnimation(akEnter);
    StopAnimation(akClick);
    StartAnimation(akExit);
  }
}

void TShapedButton::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  Guarded([this] {
    FocusChanged(true);
    SetButtonStyle(true);
  });
}

void TShapedButton::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  Guarded([this] {
    FocusChanged(false);
    SetButtonStyle(isDefault());
  });
}

void TShapedButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Guarded([this] {
      StopAnimation(akEnter);
      StartAnimation(akClick);
    });
  }
  QPushButton::mousePressEvent(event);
}

void TShapedButton::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void TShapedButton::keyPressEvent(QKeyEvent* event) {
  QPushButton::keyPressEvent(event);
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    keyHeld_ = true;
    Guarded([this] {
      StopAnimation(akEnter);
      StartAnimation(akClick);
    });
  }
}

void TShapedButton::keyReleaseEvent(QKeyEvent* event) {
  QPushButton::keyReleaseEvent(event);
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) keyHeld_ = false;
}

// ---- 7. glyph animations -------------------------------------------------------------------------

void TShapedButton::StartAnimation(TAnimationKind kind) {
  TAnimation& a = animations_[kind];
  if (a.bitmap.Empty() || a.running) return;
  delete animationTimer_;
  animationTimer_ = new QTimer(this);
  animationTimer_->setInterval(std::max(0, a.interval));
  connect(animationTimer_, &QTimer::timeout, this, [this] { Guarded([this] { AnimationTick(); }); });
  a.frame = 0;
  a.running = true;
  animationTimer_->start();
}

void TShapedButton::StopAnimation(TAnimationKind kind) {
  TAnimation& a = animations_[kind];
  if (!a.running) return;
  if (animationTimer_ != nullptr) animationTimer_->stop();
  a.running = false;
  QMetaObject::invokeMethod(this, [this] { AnimationFinished(); }, Qt::QueuedConnection);
}

void TShapedButton::AnimationFinished() {
  if (animationTimer_ == nullptr || animationTimer_->isActive()) return;
  delete animationTimer_;
  animationTimer_ = nullptr;
}

void TShapedButton::AnimationTick() {
  for (TAnimation& a : animations_) {
    if (!a.running) continue;
    if (a.frame >= a.glyphs) {
      update();
      if (animationTimer_ != nullptr) animationTimer_->stop();
      a.running = false;
      QMetaObject::invokeMethod(this, [this] { AnimationFinished(); }, Qt::QueuedConnection);
    } else {
      ++a.frame;
      update();
    }
  }
}

void TShapedButton::DrawAnimationFrame() {
  for (const TAnimation& a : animations_) {
    if (!a.running || a.frame == 0 || a.bitmap.Empty()) continue;
    const int32_t fw = a.bitmap.Width() / std::max(1, a.glyphs);
    const TPoint at = GlyphPosition(fw, a.bitmap.Height());
    CopyBitmapPart(control_.Canvas(), at.X, at.Y, a.bitmap, (a.frame - 1) * fw, 0, fw, a.bitmap.Height(),
                   TCopyMode::cmCopy, clBlack);
  }
}

}  // namespace qira
