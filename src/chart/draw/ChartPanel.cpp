#include "chart/draw/ChartPanel.h"

#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cstring>

#include "chart/draw/ChartFilters.h"
#include "chart/draw/ChartInterfaces.h"
#include "platform/CanvasColors.h"
#include "platform/HandlerGuard.h"

// Sections: [SECTION] TBackImage; [SECTION] TCustomChartPanel;
// [SECTION] chart rectangle; [SECTION] frame; [SECTION] Qt events;
// [SECTION] streaming; [SECTION] TCustomChartPanelExtended

namespace qira {

bool TCustomChartPanel::EraseBackgroundFlag = false;

namespace {
constexpr int32_t kPanelWidth = 400;
constexpr int32_t kPanelHeight = 250;
// A tiled back image is drawn in blocks of whole copies at least this many pixels on
// a side, so a tiny picture over a large panel costs a few dozen draws.
constexpr int64_t kTileBlock = 256;
// Without a flat view to limit the tiles to what is seen, more blocks than this
// are not drawn.
constexpr int64_t kMaxTileBlocks = 1 << 20;

// cols × rows copies of the image side by side, pixel for pixel.
QImage TiledBlock(const QImage& image, int64_t cols, int64_t rows) {
  QImage block(static_cast<int>(cols * image.width()), static_cast<int>(rows * image.height()),
               image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  QPainter painter(&block);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(block.rect(), QBrush(image));
  return block;
}

// Copies of the image at its own size from r's top-left, in rows and columns, until
// r is covered; with visible given, only those that reach into it.
void DrawTiles(const TRect& r, const QImage& image, bool transparent, const TRect* visible,
               const std::function<void(const TBitmapGraphic&, int32_t, int32_t)>& place) {
  const int64_t w = image.width(), h = image.height();
  int64_t firstCol = 0, firstRow = 0;
  int64_t endCol = (int64_t{r.Width()} + w - 1) / w, endRow = (int64_t{r.Height()} + h - 1) / h;
  if (visible != nullptr) {
    firstCol = std::max<int64_t>(firstCol, (int64_t{visible->Left} - r.Left) / w);
    firstRow = std::max<int64_t>(firstRow, (int64_t{visible->Top} - r.Top) / h);
    endCol = std::min<int64_t>(endCol, (int64_t{visible->Right} - r.Left + w - 1) / w);
    endRow = std::min<int64_t>(endRow, (int64_t{visible->Bottom} - r.Top + h - 1) / h);
  }
  if (endCol <= firstCol || endRow <= firstRow) return;
  const int64_t blockCols = std::max<int64_t>(1, kTileBlock / w), blockRows = std::max<int64_t>(1, kTileBlock / h);
  const int64_t blocks = ((endCol - firstCol + blockCols - 1) / blockCols) * ((endRow - firstRow + blockRows - 1) / blockRows);
  if (blocks > kMaxTileBlocks) return;
  const QImage block = TiledBlock(image, std::min(blockCols, endCol - firstCol), std::min(blockRows, endRow - firstRow));
  for (int64_t row = firstRow; row < endRow; row += blockRows) {
    for (int64_t col = firstCol; col < endCol; col += blockCols) {
      // The last block of a row or column holds only the copies still needed.
      const int64_t cols = std::min(blockCols, endCol - col), rows = std::min(blockRows, endRow - row);
      TBitmapGraphic part(cols * w == block.width() && rows * h == block.height()
                              ? block
                              : block.copy(0, 0, static_cast<int>(cols * w), static_cast<int>(rows * h)));
      part.SetTransparent(transparent);
      place(part, ClampChartCoord(r.Left + col * w), ClampChartCoord(r.Top + row * h));
    }
  }
}

TRect Inflate(const TRect& r, int32_t d) {
  return TRect{ClampChartCoord(int64_t{r.Left} - d), ClampChartCoord(int64_t{r.Top} - d),
               ClampChartCoord(int64_t{r.Right} + d), ClampChartCoord(int64_t{r.Bottom} + d)};
}
}  // namespace

// ------------------------------------------------------ [SECTION] TBackImage

void TBackImage::SetInside(bool v) {
  if (inside_ == v) return;
  inside_ = v;
  Notify();
}
void TBackImage::SetLeft(int32_t v) {
  if (left_ == v) return;
  left_ = v;
  Notify();
}
void TBackImage::SetTop(int32_t v) {
  if (top_ == v) return;
  top_ = v;
  Notify();
}
void TBackImage::SetMode(TChartBackImageMode v) {
  if (mode_ == v) return;
  mode_ = v;
  Notify();
}

void TBackImage::Assign(const TBackImage* source) {
  if (source == this) return;
  if (source != nullptr) {
    inside_ = source->inside_;
    left_ = source->left_;
    top_ = source->top_;
    mode_ = source->mode_;
  }
  TChartPicture::Assign(source);
}

void TBackImage::Draw(TCustomChartPanelExtended& panel, const TRect& rect, int32_t z) {
  const QImage image = Filtered();
  if (image.isNull() || image.width() < 1 || image.height() < 1) return;
  TBitmapGraphic graphic(image);
  graphic.SetTransparent(Graphic() != nullptr && Graphic()->Transparent());
  TChartCanvas3D& canvas = panel.ChartCanvas();
  const bool orthogonal = canvas.IsOrthogonal();
  if (mode_ == pbmStretch) {
    if (z < 1) {
      canvas.StretchDraw(rect, &graphic);
    } else if (orthogonal) {
      TRect r = canvas.ProjectRect(rect, z);
      if (!panel.View3D()) ++r.Top;
      canvas.StretchDraw(r, &graphic);
    } else {
      canvas.DrawGraphicInRect3D(rect, graphic, z, 2);
    }
    return;
  }
  const bool clip = panel.ClipAllowed();
  if (clip) canvas.ClipRectangle(z != 0 ? canvas.ProjectRect(rect, z) : rect);
  TRect r = rect;
  if (z > 0 && orthogonal) r = canvas.ProjectRect(rect, z);
  const bool as3D = z > 0 && !orthogonal;
  auto place = [&](const TBitmapGraphic& copy, int32_t x, int32_t y) {
    if (as3D) {
      canvas.DrawGraphicInRect3D(TRect{x, y, x + copy.Width(), y + copy.Height()}, copy, z, 2);
    } else {
      canvas.Draw(x, y, &copy);
    }
  };
  if (mode_ == pbmTile) {
    DrawTiles(r, image, graphic.Transparent(), as3D ? nullptr : &canvas.Bounds(), place);
  } else {
    panel.FillBackground(r);
    if (mode_ == pbmCustom) {
      place(graphic, ClampChartCoord(int64_t{r.Left} + left_), ClampChartCoord(int64_t{r.Top} + top_));
    } else {
      place(graphic, ClampChartCoord(r.Left + (int64_t{r.Width()} - graphic.Width()) / 2),
            ClampChartCoord(r.Top + (int64_t{r.Height()} - graphic.Height()) / 2));
    }
  }
  if (clip) canvas.UnClipRectangle();
}

// ----------------------------------------------- [SECTION] TCustomChartPanel

TCustomChartPanel::TCustomChartPanel(QWidget* parent) : QWidget(parent) {
  InstallChartFills();
  // A chart outside the program's start still finds its pictures' filters by name.
  RegisterChartFilters();
  resize(kPanelWidth, kPanelHeight);
  control_.SetSize(kPanelWidth, kPanelHeight);
  view3DOptions_ = std::make_unique<TView3DOptions>(this);
  canvas_ = std::make_unique<TChartCanvas3D>(&control_.Canvas());
  canvas_->SetView3DOptions(view3DOptions_.get());
  savedCursor_ = cursor().shape();
  shadow_ = std::make_unique<TChartShadow>([this] { Invalidate(); });
  border_ = std::make_unique<TChartHiddenPen>([this] { Invalidate(); });
  border_->SetInstanceEndStyle(esFlat);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  repaintEnabled_ = true;
}

TCustomChartPanel::~TCustomChartPanel() { destroying_ = true; }

void TCustomChartPanel::AssignTo(TGraphic& target) {
  const std::unique_ptr<TBitmap> bitmap = CreateChartBitmap(color_, DrawingArea());
  target.Assign(TBitmapGraphic(bitmap->Image()));
}

void TCustomChartPanel::AssignTo(TPicture& target) {
  const std::unique_ptr<TBitmap> bitmap = CreateChartBitmap(color_, DrawingArea());
  target.SetGraphic(std::make_unique<TBitmapGraphic>(bitmap->Image()));
}

TRect TCustomChartPanel::DrawingArea() const {
  if (parentWidget() == nullptr) return TRect{0, 0, width(), height()};
  const QRect r = contentsRect();
  return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void TCustomChartPanel::Invalidate() {
  if (!repaintEnabled_) return;
  if (canvas_) canvas_->Invalidate();
  update();
}

void TCustomChartPanel::SetColor(TColor value) {
  if (color_ == value) return;
  color_ = value;
  setAttribute(Qt::WA_OpaquePaintEvent, value != clNone);
  Invalidate();
}

void TCustomChartPanel::SetBorderRound(int32_t value) {
  if (borderRound_ == value) return;
  borderRound_ = value;
  if (!loading_) ApplyWindowRegion();
  Invalidate();
}

void TCustomChartPanel::SetBevelInner(TPanelBevel value) {
  if (bevelInner_ == value) return;
  bevelInner_ = value;
  Invalidate();
}

void TCustomChartPanel::SetBevelOuter(TPanelBevel value) {
  if (bevelOuter_ == value) return;
  bevelOuter_ = value;
  Invalidate();
}

void TCustomChartPanel::SetMarginUnits(TChartUnits value) {
  if (marginUnits_ == value) return;
  marginUnits_ = value;
  Invalidate();
}

void TCustomChartPanel::SetView3D(bool value) {
  if (view3D_ == value) return;
  view3D_ = value;
  Invalidate();
  TChartView3DEvent event;
  BroadcastChartEvent(event);
}

void TCustomChartPanel::ChangeBoolean(bool& field, bool value) {
  if (field == value) return;
  field = value;
  Invalidate();
}
void TCustomChartPanel::ChangeInteger(int32_t& field, int32_t value) {
  if (field == value) return;
  field = value;
  Invalidate();
}
void TCustomChartPanel::ChangeDouble(double& field, double value) {
  if (field == value) return;
  field = value;
  Invalidate();
}
void TCustomChartPanel::ChangeString(std::string& field, const std::string& value) {
  if (field == value) return;
  field = value;
  Invalidate();
}

void TCustomChartPanel::ApplyBrush(const TChartBrush& brush, TColor color, TColor backColor) {
  TColor c = color;
  if (brush.Style() != bsSolid && brush.Style() != bsClear && SystemColorToRGB(color) == SystemColorToRGB(backColor)) {
    c = SystemColorToRGB(color) == clBlack ? clWhite : clBlack;
  }
  canvas_->AssignBrushColor(brush, c, backColor);
}

TPoint TCustomChartPanel::CursorClientPos() const {
  const QPoint p = mapFromGlobal(QCursor::pos());
  return TPoint{p.x(), p.y()};
}

bool TCustomChartPanel::ClipAllowed() const { return !canvas_->SupportsFullRotation(); }

void TCustomChartPanel::AddListener(IChartEventListener* listener) {
  if (listener != nullptr && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void TCustomChartPanel::RemoveListener(IChartEventListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TCustomChartPanel::BroadcastChartEvent(TChartEvent& event) {
  if (destroying_) return;
  event.Sender = this;
  const bool mouse = dynamic_cast<TChartMouseEvent*>(&event) != nullptr;
  // A listener may remove itself: walk a copy.
  const TChartEventListeners listeners = listeners_;
  for (IChartEventListener* listener : listeners) {
    listener->Notify(event);
    if (mouse && MouseHandled) break;
  }
}

void TCustomChartPanel::Draw(TCanvas& canvas, const TRect& rect) {
  drawBounds_ = canvas_->InitWindow(canvas, view3DOptions_.get(), rect, view3D_);
  canvas_->ResetState();
  CalcChartRect();
  InternalDraw(drawBounds_);
  canvas_->ShowImage(canvas, rect);
}

void TCustomChartPanel::PaintControl() {
  const TRect client{0, 0, width(), height()};
  QImage& shown = control_.Image();
  if (color_ == clNone) {
    // Transparent: only what the chart draws gets alpha; the rest shows the parent.
    shown = QImage(std::max(client.Right, 0), std::max(client.Bottom, 0), QImage::Format_ARGB32);
    shown.fill(Qt::transparent);
    DrawUnbuffered(control_.Canvas(), client, false);
    return;
  }
  if (shown.hasAlphaChannel()) {
    shown = QImage();
    canvas_->Invalidate();
  }
  if (control_.Width() != client.Right || control_.Height() != client.Bottom) {
    control_.SetSize(client.Right, client.Bottom);
    canvas_->Invalidate();
  }
  if (!canvas_->ReDrawBitmap()) Draw(control_.Canvas(), client);
}

std::unique_ptr<TBitmap> TCustomChartPanel::CreateChartBitmap(TColor backColor, const TRect& rect) {
  auto bitmap = std::make_unique<TBitmap>(std::max(rect.Width(), 0), std::max(rect.Height(), 0));
  const TColor back = SystemColorToRGB(backColor);
  if (back != clWhite && backColor != clNone) {
    bitmap->Canvas().SetBrush(TBrush{back, bsSolid});
    bitmap->Canvas().FillRect(TRect{0, 0, bitmap->Width(), bitmap->Height()});
  }
  DrawToCanvas(bitmap->Canvas(), TRect{0, 0, bitmap->Width(), bitmap->Height()});
  return bitmap;
}

void TCustomChartPanel::DrawToCanvas(TCanvas& canvas, const TRect& rect) {
  DrawUnbuffered(canvas, rect, true);
  Invalidate();
}

void TCustomChartPanel::DrawUnbuffered(TCanvas& canvas, const TRect& rect, bool noReadBack) {
  const bool useBuffer = canvas_->GetUseBuffer();
  TCanvas* const previous = canvas_->GetHandle();
  canvas_->SetNoReadBack(noReadBack);
  canvas_->SetHoldBuffer(true);
  canvas_->SetUseBuffer(false);
  // Restored on every exit: the target may be a bitmap freed right after.
  const TScopeExit restore([&] {
    canvas_->SetUseBuffer(useBuffer);
    canvas_->SetHoldBuffer(false);
    canvas_->SetNoReadBack(false);
    canvas_->RestoreHandle(previous == &canvas ? nullptr : previous);
  });
  Draw(canvas, rect);
}

// ----------------------------------------------- [SECTION] chart rectangle

void TCustomChartPanel::CalcChartRect() {
  int64_t frame = borderWidth_;
  if (bevelInner_ != bvNone) frame += bevelWidth_;
  if (bevelOuter_ != bvNone) frame += bevelWidth_;
  if (border_->Visible()) frame += border_->Width();
  const TRect& b = drawBounds_;
  auto margin = [&](int32_t value, int64_t extent) {
    return marginUnits_ == muPixels ? int64_t{value} : int64_t{value} * extent / 100;
  };
  const int64_t w = b.Width(), h = b.Height();
  int64_t left = b.Left + frame + margin(margins_.Left, w);
  int64_t top = b.Top + frame + margin(margins_.Top, h);
  int64_t right = b.Right - frame - margin(margins_.Right, w);
  int64_t bottom = b.Bottom - frame - margin(margins_.Bottom, h);
  if (shadow_->Visible()) {
    const int64_t hs = shadow_->HorizSize(), vs = shadow_->VertSize();
    if (hs <= 0) {
      left += 2 * -hs;
    } else {
      right -= 2 * hs;
    }
    if (vs <= 0) {
      top += 2 * -vs;
    } else {
      bottom -= 2 * vs;
    }
  }
  chartRect_ = TRect{ClampChartCoord(left), ClampChartCoord(top), ClampChartCoord(right), ClampChartCoord(bottom)};
  RecalcChartRect();
}

void TCustomChartPanel::RecalcChartRect() {
  TRect& r = chartRect_;
  r.Left = std::max(r.Left, drawBounds_.Left);
  r.Top = std::max(r.Top, drawBounds_.Top);
  if (r.Left > r.Right) {
    r.Right = ClampChartCoord(int64_t{r.Left} + 1);
  } else if (r.Left == r.Right) {
    r.Right = ClampChartCoord(int64_t{r.Left} + width());
  }
  if (r.Top > r.Bottom) {
    r.Bottom = ClampChartCoord(int64_t{r.Top} + 1);
  } else if (r.Top == r.Bottom) {
    r.Bottom = ClampChartCoord(int64_t{r.Top} + height());
  }
  // A control of no size still leaves a chart rectangle of one pixel.
  if (r.Right <= r.Left) r.Right = ClampChartCoord(int64_t{r.Left} + 1);
  if (r.Bottom <= r.Top) r.Bottom = ClampChartCoord(int64_t{r.Top} + 1);
  chartRectWidth_ = r.Width();
  chartRectHeight_ = r.Height();
  chartRectCenterX_ = static_cast<int32_t>((int64_t{r.Left} + r.Right) / 2);
  chartRectCenterY_ = static_cast<int32_t>((int64_t{r.Top} + r.Bottom) / 2);
}

// --------------------------------------------------------- [SECTION] frame

void TCustomChartPanel::DrawBevel(TRect& rect, TPanelBevel bevel) {
  if (bevel == bvNone) return;
  const TColor topLeft = SystemColorToRGB(bevel == bvLowered ? clBtnShadowColor : clBtnHighlightColor);
  const TColor bottomRight = SystemColorToRGB(bevel == bvRaised ? clBtnShadowColor : clBtnHighlightColor);
  if (borderRound_ > 0) {
    TCanvas* dc = canvas_->GetHandle();
    if (dc != nullptr) dc->SetPenColor(topLeft);
    canvas_->RoundRect(rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1, borderRound_, borderRound_);
    rect = Inflate(rect, -bevelWidth_);
  } else {
    canvas_->Frame3D(rect, topLeft, bottomRight, bevelWidth_);
  }
}

void TCustomChartPanel::DrawFrame(TRect rect) {
  TCanvas* dc = canvas_->GetHandle();
  if (dc == nullptr) return;
  canvas_->Begin3DSuspension();
  dc->SetBrushStyle(bsClear);
  if (border_->Visible()) {
    int32_t k = 1;
    if (!border_->SmallDots()) {
      const int32_t n = std::max(border_->Width(), 1);
      k = (n - 1) / 2;
      if (n > 1) {
        rect.Right -= k;
        rect.Bottom -= k;
        rect.Left += k + ((n - 1) % 2 != 0 ? 1 : 0);
        rect.Top += k + ((n - 1) % 2 != 0 ? 1 : 0);
      }
    }
    canvas_->AssignPen(*border_);
    dc->SetBrushStyle(bsClear);
    if (borderRound_ < 1) {
      canvas_->Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom);
      if (!border_->SmallDots()) ++k;
    } else {
      --rect.Right;
      --rect.Bottom;
      canvas_->RoundRect(rect.Left, rect.Top, rect.Right, rect.Bottom, borderRound_, borderRound_);
    }
    rect = Inflate(rect, -k);
  }
  dc->SetPen(TPen{dc->Pen().Color, 1, psSolid, pmCopy});
  DrawBevel(rect, bevelOuter_);
  if (borderWidth_ > 0) canvas_->Frame3D(rect, color_, color_, borderWidth_);
  DrawBevel(rect, bevelInner_);
  canvas_->End3DSuspension();
}

void TCustomChartPanel::ApplyWindowRegion() {
  if (parentWidget() == nullptr || regionBusy_) return;
  regionBusy_ = true;
  if (borderRound_ >= 1) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width(), height()), borderRound_ / 2.0, borderRound_ / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
  } else {
    clearMask();
  }
  regionBusy_ = false;
}

void TCustomChartPanel::Loaded() {
  loading_ = false;
  savedCursor_ = cursor().shape();
  if (borderRound_ > 0) ApplyWindowRegion();
}

void TCustomChartPanel::Assign(const TCustomChartPanel& source) {
  if (&source == this) return;
  border_->Assign(*source.border_);
  borderRound_ = source.borderRound_;
  canvas_->SetUseBuffer(source.canvas_->GetUseBuffer());
  printMargins_ = source.printMargins_;
  PrintProportional = source.PrintProportional;
  margins_ = source.margins_;
  marginUnits_ = source.marginUnits_;
  canvas_->SetMonochrome(source.canvas_->GetMonochrome());
  shadow_->Assign(*source.shadow_);
  view3D_ = source.view3D_;
  view3DOptions_->Assign(*source.view3DOptions_);
  color_ = source.color_;
  setAttribute(Qt::WA_OpaquePaintEvent, color_ != clNone);
  Invalidate();
}

// ------------------------------------------------------ [SECTION] Qt events

bool TCustomChartPanel::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
      e->accept();
      return true;
    }
  }
  return QWidget::event(e);
}

void TCustomChartPanel::paintEvent(QPaintEvent* e) {
  Guarded([this] { PaintControl(); }, TReportTime::rtAfterHandler);
  QPainter painter(this);
  if (EraseBackgroundFlag) painter.fillRect(e->rect(), palette().window());
  painter.drawImage(0, 0, control_.Image());
}

void TCustomChartPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guarded(
      [this] {
        if (!loading_ && borderRound_ > 0) ApplyWindowRegion();
        Invalidate();
      },
      TReportTime::rtAfterHandler);
}

TMouseButton ChartMouseButton(Qt::MouseButton b) {
  return b == Qt::RightButton ? mbRight : (b == Qt::MiddleButton ? mbMiddle : mbLeft);
}
TShiftState ChartShiftState(const QMouseEvent* e) {
  TShiftState s = 0;
  if (e->modifiers() & Qt::ShiftModifier) s |= ssShift;
  if (e->modifiers() & Qt::AltModifier) s |= ssAlt;
  if (e->modifiers() & Qt::ControlModifier) s |= ssCtrl;
  if (e->buttons() & Qt::LeftButton) s |= ssLeft;
  if (e->buttons() & Qt::RightButton) s |= ssRight;
  if (e->buttons() & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

void TCustomChartPanel::BroadcastMouse(TChartMouseEventKind kind, QMouseEvent* e) {
  if (listeners_.empty()) return;
  TChartMouseEvent event;
  event.Event = kind;
  event.Button = kind == cmeMove ? mbLeft : ChartMouseButton(e->button());
  event.Shift = ChartShiftState(e);
  event.X = static_cast<int32_t>(e->position().x());
  event.Y = static_cast<int32_t>(e->position().y());
  BroadcastChartEvent(event);
}

void TCustomChartPanel::mousePressEvent(QMouseEvent* e) {
  MouseHandled = false;
  QWidget::mousePressEvent(e);
  Guarded([&] { BroadcastMouse(cmeDown, e); });
}

void TCustomChartPanel::mouseReleaseEvent(QMouseEvent* e) {
  QWidget::mouseReleaseEvent(e);
  Guarded([&] { BroadcastMouse(cmeUp, e); });
}

void TCustomChartPanel::mouseMoveEvent(QMouseEvent* e) {
  MouseHandled = false;
  QWidget::mouseMoveEvent(e);
  Guarded([&] { BroadcastMouse(cmeMove, e); });
}

void TCustomChartPanel::mouseDoubleClickEvent(QMouseEvent* e) {
  MouseHandled = false;
  QWidget::mouseDoubleClickEvent(e);
}

void TCustomChartPanel::leaveEvent(QEvent* e) {
  setCursor(savedCursor_);
  panning_.Active = false;
  QWidget::leaveEvent(e);
}

void TCustomChartPanel::changeEvent(QEvent* e) {
  if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange) Invalidate();
  QWidget::changeEvent(e);
}

// ---------------------------------------------------------- [SECTION] streaming

void TCustomChartPanel::WriteProperties(TStreamedProperties& block) const {
  TStreamedProperties border;
  border_->WriteProperties(border);
  AddPropertiesUnder(block, std::move(border), "Border.");
  if (borderRound_ != 0) AddInteger(block, "BorderRound", borderRound_);
  if (color_ != 0xFF00000F) AddInteger(block, "Color", color_);
  if (margins_.Left != 3) AddInteger(block, "MarginLeft", margins_.Left);
  if (margins_.Top != 4) AddInteger(block, "MarginTop", margins_.Top);
  if (margins_.Right != 3) AddInteger(block, "MarginRight", margins_.Right);
  if (margins_.Bottom != 4) AddInteger(block, "MarginBottom", margins_.Bottom);
  if (marginUnits_ != muPercent) AddIdent(block, "MarginUnits", "muPixels");
  if (!PrintProportional) AddBoolean(block, "PrintProportional", false);
  shadow_->WriteProperties(block, "Shadow.");
  if (!view3D_) AddBoolean(block, "View3D", false);
  TStreamedProperties options;
  view3DOptions_->WriteProperties(options);
  AddPropertiesUnder(block, std::move(options), "View3DOptions.");
}

namespace {
constexpr const char* kUnitIdents[] = {"muPercent", "muPixels"};
}  // namespace

void TCustomChartPanel::ReadProperties(const TStreamedProperties& block) {
  // Values are checked before any is taken.
  const int32_t borderRound = PropertyInt32(block, "BorderRound", borderRound_);
  const TColor color = PropertyColor(block, "Color", color_);
  const TRect margins{PropertyInt32(block, "MarginLeft", margins_.Left), PropertyInt32(block, "MarginTop", margins_.Top),
                      PropertyInt32(block, "MarginRight", margins_.Right),
                      PropertyInt32(block, "MarginBottom", margins_.Bottom)};
  const int units = PropertyIdent(block, "MarginUnits", kUnitIdents, marginUnits_);
  const bool proportional = PropertyBoolean(block, "PrintProportional", PrintProportional);
  const bool view3D = PropertyBoolean(block, "View3D", view3D_);
  const TStreamedProperty* borderStyle = FindProperty(block, "BorderStyle");
  if (borderStyle != nullptr && borderStyle->Type != TPropertyType::Ident)
    throw EChartStreamError("Invalid property value BorderStyle");
  TChartHiddenPen border;
  border.SetInstanceEndStyle(esFlat);
  border.Assign(*border_);
  // A stream without the border leaves it as it is (its end style is not the pen's).
  if (const TStreamedProperties part = PropertiesUnder(block, "Border."); !part.empty()) border.ReadProperties(part);
  TChartShadow shadow;
  shadow.Assign(*shadow_);
  shadow.ReadProperties(block, "Shadow.");
  TView3DOptions options;
  options.Assign(*view3DOptions_);
  options.ReadProperties(PropertiesUnder(block, "View3DOptions."));

  loading_ = true;
  borderRound_ = borderRound;
  color_ = color;
  setAttribute(Qt::WA_OpaquePaintEvent, color_ != clNone);
  margins_ = margins;
  marginUnits_ = static_cast<TChartUnits>(units);
  PrintProportional = proportional;
  view3D_ = view3D;
  border_->Assign(border);
  if (borderStyle != nullptr) border_->SetVisible(borderStyle->Text == "bsSingle");
  shadow_->Assign(shadow);
  view3DOptions_->Assign(options);
  Loaded();
  Invalidate();
}

// ----------------------------------------- [SECTION] TCustomChartPanelExtended

TCustomChartPanelExtended::TCustomChartPanelExtended(QWidget* parent) : TCustomChartPanel(parent) {}

TCustomChartPanelExtended::~TCustomChartPanelExtended() {
  backImage_.reset();
  gradient_.reset();
}

TChartGradient& TCustomChartPanelExtended::Gradient() {
  if (!gradient_) gradient_ = std::make_unique<TChartGradient>([this] { Invalidate(); });
  return *gradient_;
}

void TCustomChartPanelExtended::SetGradient(const TChartGradient* value) {
  if (value == nullptr) {
    gradient_.reset();
  } else if (value != gradient_.get()) {
    Gradient().Assign(*value);
  }
  Invalidate();
}

TBackImage& TCustomChartPanelExtended::BackImage() {
  if (!backImage_) {
    backImage_ = std::make_unique<TBackImage>();
    backImage_->OnChange = [this](TPicture&) { Invalidate(); };
  }
  return *backImage_;
}

void TCustomChartPanelExtended::SetBackImage(const TBackImage* value) {
  if (value == nullptr) {
    backImage_.reset();
  } else if (value != backImage_.get()) {
    BackImage().Assign(value);
  }
  Invalidate();
}

bool TCustomChartPanelExtended::BackImageTransp() {
  const TGraphic* graphic = BackImage().Graphic();
  return graphic != nullptr && graphic->Transparent();
}

void TCustomChartPanelExtended::SetBackImageTransp(bool value) {
  if (TGraphic* graphic = BackImage().Graphic()) graphic->SetTransparent(value);
}

void TCustomChartPanelExtended::FillColor(const TRect& rect, TColor color, int32_t radius) {
  if (color == clNone) return;
  TCanvas* dc = canvas_->GetHandle();
  if (dc == nullptr) return;
  dc->SetBrush(TBrush{SystemColorToRGB(color), bsSolid});
  dc->SetPenStyle(psClear);
  if (radius == 0) {
    canvas_->FillRect(rect);
  } else {
    canvas_->RoundRect(rect.Left, rect.Top, rect.Right + 1, rect.Bottom + 1, radius, radius);
  }
}

void TCustomChartPanelExtended::FillBackground(const TRect& rect) {
  if (gradient_ && gradient_->Visible()) {
    gradient_->Draw(*canvas_, rect, BorderRound());
  } else {
    FillColor(rect, Color(), BorderRound());
  }
}

void TCustomChartPanelExtended::PaintBackground(TRect rect) {
  canvas_->Begin3DSuspension();
  TChartShadow& shadow = Shadow();
  if (shadow.Visible() && shadow.Size() > 0) {
    const QWidget* parent = parentWidget();
    const TColor parentColor =
        parent != nullptr ? PixelToColor(parent->palette().color(parent->backgroundRole()).rgb()) : Color();
    FillColor(rect, parentColor, 0);
    const int32_t h = shadow.HorizSize(), v = shadow.VertSize();
    const bool shrinkLeft = h < 1, shrinkTop = v < 1;
    if (shrinkLeft) {
      rect.Left = ClampChartCoord(int64_t{rect.Left} + 1 - 2 * int64_t{h});
    } else {
      rect.Right = ClampChartCoord(int64_t{rect.Right} - 2 * int64_t{h} - 1);
    }
    if (shrinkTop) {
      rect.Top = ClampChartCoord(int64_t{rect.Top} + 1 - 2 * int64_t{v});
    } else {
      rect.Bottom = ClampChartCoord(int64_t{rect.Bottom} - 2 * int64_t{v} - 1);
    }
    shadow.DrawRect(*canvas_, rect, BorderRound());
    if (shrinkLeft) {
      --rect.Left;
    } else {
      ++rect.Right;
    }
    if (shrinkTop) {
      --rect.Top;
    } else {
      ++rect.Bottom;
    }
  }
  FillBackground(rect);
  if (HasBackImage() && !backImage_->Inside()) backImage_->Draw(*this, rect, 0);
  DrawFrame(rect);
  canvas_->End3DSuspension();
}

void TCustomChartPanelExtended::DrawBackImageInRect(const TRect& rect, int32_t z) {
  if (HasBackImage()) backImage_->Draw(*this, rect, z);
}

void TCustomChartPanelExtended::DrawZoomRectangle() {
  TCanvas* dc = canvas_->GetHandle();
  if (dc == nullptr) return;
  const TColor c = SystemColorToRGB(BackgroundColor()) & 0xFFFFFF;
  if (const TChartZoomBrush* brush = zoom_.BrushIfAny()) {
    ApplyBrush(*brush, (SystemColorToRGB(brush->Color()) ^ (0xFFFFFF - c)) & 0xFFFFFF, c);
  } else {
    dc->SetBrushStyle(bsClear);
  }
  TChartZoomPen& pen = zoom_.Pen();
  pen.SetMode(pmNotXor);
  canvas_->AssignPenColor(pen, (SystemColorToRGB(pen.Color()) ^ (0xFFFFFF - c)) & 0xFFFFFF);
  if (zoom_.BrushIfAny() == nullptr || zoom_.BrushIfAny()->Style() == bsClear) canvas_->SetBackMode(bkTransparent);
  canvas_->Rectangle(zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1);
}

void TCustomChartPanelExtended::UndoZoom() {
  if (OnUndoZoom) OnUndoZoom();
  Invalidate();
  ZoomedState = false;
}

void TCustomChartPanelExtended::WriteProperties(TStreamedProperties& block) const {
  TCustomChartPanel::WriteProperties(block);
  if (AllowPanning != pmBoth) {
    static constexpr const char* kModes[] = {"pmNone", "pmHorizontal", "pmVertical", "pmBoth"};
    AddIdent(block, "AllowPanning", kModes[AllowPanning]);
  }
  if (gradient_) gradient_->WriteProperties(block, "Gradient.");
  zoom_.WriteProperties(block, "Zoom.");
  if (backImage_) {
    if (backImage_->Inside()) AddBoolean(block, "BackImageInside", true);
    if (backImage_->Mode() != pbmStretch) {
      static constexpr const char* kModes[] = {"pbmStretch", "pbmTile", "pbmCenter", "pbmCustom"};
      AddIdent(block, "BackImageMode", kModes[backImage_->Mode()]);
    }
    if (backImage_->Graphic() != nullptr && backImage_->Graphic()->Transparent())
      AddBoolean(block, "BackImageTransp", true);
    backImage_->WriteProperties(block);
  }
  const TRect& m = PrintMargins();
  if (m.Left != 15 || m.Top != 15 || m.Right != 15 || m.Bottom != 15) {
    const int32_t values[4] = {m.Left, m.Top, m.Right, m.Bottom};
    std::string bytes(sizeof values, '\0');
    std::memcpy(bytes.data(), values, sizeof values);
    AddBinary(block, "PrintMargins", bytes);
  }
}

void TCustomChartPanelExtended::ReadProperties(const TStreamedProperties& block) {
  static constexpr const char* kPanning[] = {"pmNone", "pmHorizontal", "pmVertical", "pmBoth"};
  static constexpr const char* kModes[] = {"pbmStretch", "pbmTile", "pbmCenter", "pbmCustom"};
  const int panning = PropertyIdent(block, "AllowPanning", kPanning, AllowPanning);
  const int mode = PropertyIdent(block, "BackImageMode", kModes, backImage_ ? backImage_->Mode() : pbmStretch);
  const bool inside = PropertyBoolean(block, "BackImageInside", backImage_ && backImage_->Inside());
  const bool transparent = PropertyBoolean(block, "BackImageTransp", false);
  TRect printMargins = PrintMargins();
  if (const TStreamedProperty* p = FindProperty(block, "PrintMargins")) {
    if (p->Type != TPropertyType::Binary || p->Text.size() != 4 * sizeof(int32_t))
      throw EChartStreamError("Invalid property value PrintMargins");
    int32_t values[4];
    std::memcpy(values, p->Text.data(), sizeof values);
    printMargins = TRect{values[0], values[1], values[2], values[3]};
  }
  TChartZoom zoom;
  zoom.Assign(zoom_);
  zoom.MinimumPixels = zoom_.MinimumPixels;
  zoom.UpLeftZooms = zoom_.UpLeftZooms;
  zoom.ReadProperties(block, "Zoom.");
  zoom.Allow = PropertyBoolean(block, "AllowZoom", zoom.Allow);
  zoom.Animated = PropertyBoolean(block, "AnimatedZoom", zoom.Animated);
  zoom.AnimatedSteps = PropertyInt32(block, "AnimatedZoomSteps", zoom.AnimatedSteps);
  std::unique_ptr<TChartGradient> gradient;
  if (!PropertiesUnder(block, "Gradient.").empty()) {
    gradient = std::make_unique<TChartGradient>();
    if (gradient_) gradient->Assign(*gradient_);
    gradient->ReadProperties(block, "Gradient.");
  }
  TCustomChartPanel::ReadProperties(block);
  AllowPanning = static_cast<TPanningMode>(panning);
  SetPrintMargins(printMargins);
  zoom_.Assign(zoom);
  zoom_.MinimumPixels = zoom.MinimumPixels;
  zoom_.UpLeftZooms = zoom.UpLeftZooms;
  if (gradient) Gradient().Assign(*gradient);
  if (FindProperty(block, "BackImageMode") || FindProperty(block, "BackImageInside") ||
      FindProperty(block, "FilterItems")) {
    BackImage().SetMode(static_cast<TChartBackImageMode>(mode));
    BackImage().SetInside(inside);
    BackImage().ReadProperties(block);
  }
  if (FindProperty(block, "BackImageTransp") != nullptr) SetBackImageTransp(transparent);
}

void TCustomChartPanelExtended::Assign(const TCustomChartPanel& source) {
  if (&source == this) return;
  if (const auto* s = dynamic_cast<const TCustomChartPanelExtended*>(&source)) {
    SetBackImage(s->backImage_.get());
    SetGradient(s->gradient_.get());
    AllowPanning = s->AllowPanning;
    zoom_.Assign(s->zoom_);
  }
  TCustomChartPanel::Assign(source);
}

}  // namespace qira
