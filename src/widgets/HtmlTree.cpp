// Sections: delegate; construction and properties; nodes and marks; painting;
// mouse, keys and hints.
#include "widgets/HtmlTree.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <exception>

#include "platform/HandlerGuard.h"
#include "platform/Services.h"
#include "widgets/TreeVisualStyles.h"

namespace qira {

namespace {

constexpr int kImageIndexRole = Qt::UserRole + 1;
constexpr int kStateIndexRole = Qt::UserRole + 2;

TRect ToRect(const QRect& r) { return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

bool HasMark(int32_t imageIndex) { return imageIndex >= 1 && imageIndex <= 4; }

}  // namespace

// ------------------------------------------------------------------ delegate

class THTMLTreeDelegate : public QStyledItemDelegate {
 public:
  explicit THTMLTreeDelegate(TFormattedTreeView* tree) : QStyledItemDelegate(tree), tree_(tree) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    tree_->PaintNode(painter, option, index);
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    return tree_->NodeSizeHint(index);
  }

 private:
  TFormattedTreeView* tree_;
};

// ------------------------------------------------ construction and properties

TFormattedTreeView::TFormattedTreeView(QWidget* parent) : QTreeWidget(parent) {
  delegate_ = new THTMLTreeDelegate(this);
  setItemDelegate(delegate_);
  setColumnCount(1);
  setHeaderHidden(true);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setUniformRowHeights(true);
  setMouseTracking(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIndentation(19);
  // The rows paint their own selection; the view's highlight stays invisible.
  QPalette pal = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    pal.setColor(group, QPalette::Highlight, pal.color(group, QPalette::Base));
  setPalette(pal);
  themed_ = IsThemeActive();
  savedCursor_ = viewport()->cursor();
  QObject::connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { Expanded(node); });
}

TFormattedTreeView::~TFormattedTreeView() = default;

void TFormattedTreeView::Expanded(TTreeNode* node) {
  if (OnExpanded) Raise([&] { OnExpanded(*this, node); });
  if (HotTrack) viewport()->update();
}

void TFormattedTreeView::SetRepainting(TColor& field, TColor value) {
  if (field == value) return;
  field = value;
  viewport()->update();
}

void TFormattedTreeView::SetControlStyle(TControlStyle style) {
  if (controlStyle_ == style) return;
  controlStyle_ = style;
  viewport()->update();
}

void TFormattedTreeView::SetControlColor(TColor color) { SetRepainting(controlColor_, color); }

void TFormattedTreeView::SetHTMLImages(const std::shared_ptr<const THTMLImageList>& images) {
  htmlImages_ = images;
  viewport()->update();
}

void TFormattedTreeView::SetStateImages(const std::shared_ptr<const THTMLImageList>& images) {
  stateImages_ = images;
  doItemsLayout();
  viewport()->update();
}

void TFormattedTreeView::SetItemHeight(int32_t height) {
  if (height == itemHeight_ || height < 1) return;
  itemHeight_ = height;
  doItemsLayout();
  viewport()->update();
}

void TFormattedTreeView::SetFont(const TFont& font) {
  if (font_ == font) return;
  font_ = font;
  doItemsLayout();
  viewport()->update();
}

void TFormattedTreeView::Loaded() {
  savedCursor_ = viewport()->cursor();
  if (controlStyle_ == csTheme && !themed_) controlStyle_ = csWinXP;
}

// ------------------------------------------------------------ nodes and marks

int32_t TFormattedTreeView::ImageIndex(const TTreeNode* node) {
  if (node == nullptr) return -1;
  const QVariant v = node->data(0, kImageIndexRole);
  return v.isValid() ? v.toInt() : -1;
}

void TFormattedTreeView::SetImageIndex(TTreeNode* node, int32_t index) {
  if (node != nullptr && ImageIndex(node) != index) node->setData(0, kImageIndexRole, index);
}

int32_t TFormattedTreeView::StateIndex(const TTreeNode* node) {
  if (node == nullptr) return -1;
  const QVariant v = node->data(0, kStateIndexRole);
  return v.isValid() ? v.toInt() : -1;
}

void TFormattedTreeView::SetStateIndex(TTreeNode* node, int32_t index) {
  if (node != nullptr && StateIndex(node) != index) node->setData(0, kStateIndexRole, index);
}

std::string TFormattedTreeView::NodeText(const TTreeNode* node) {
  return node ? node->text(0).toStdString() : std::string();
}

void TFormattedTreeView::SetNodeText(TTreeNode* node, const std::string& text) {
  if (node) node->setText(0, QString::fromStdString(text));
}

int32_t TFormattedTreeView::NodeLevel(const TTreeNode* node) {
  int32_t level = 0;
  for (const TTreeNode* p = node ? node->parent() : nullptr; p != nullptr; p = p->parent()) ++level;
  return level;
}

TFormattedTreeView::TTreeNode* TFormattedTreeView::AddNode(TTreeNode* parent, const std::string& text) {
  auto* node = new QTreeWidgetItem();
  node->setText(0, QString::fromStdString(text));
  if (parent)
    parent->addChild(node);
  else
    addTopLevelItem(node);
  return node;
}

TFormattedTreeView::TTreeNode* TFormattedTreeView::NodeAt(int32_t x, int32_t y) const { return itemAt(x, y); }

TRect TFormattedTreeView::NodeTextRect(TTreeNode* node) const {
  return node ? ToRect(visualItemRect(node)) : TRect{};
}

TRect TFormattedTreeView::MarkRect(TTreeNode* node) const {
  const TRect row = NodeTextRect(node);
  QImage scratch(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&scratch);
  canvas.SetFont(font_);
  TFormattedTextParams p = RendererParams();
  p.CheckHeight = true;
  TFormattedTextResult m;
  RenderFormattedText(canvas, NodeText(node), TRect{0, 0, row.Width(), row.Height()}, p, m);
  int32_t top = row.Top;
  if (row.Height() > m.YSize) top += (row.Height() - m.YSize) / 2;
  return TRect{row.Left + 2, top, row.Left + 16, top + 14};
}

bool TFormattedTreeView::GetCheckBox(const TTreeNode* node, bool& checked) const {
  const int32_t ii = ImageIndex(node);
  if (ii != 1 && ii != 2) return false;
  checked = ii == 2;
  return true;
}

void TFormattedTreeView::SetCheckBox(TTreeNode* node, bool checked) { SetImageIndex(node, checked ? 2 : 1); }

bool TFormattedTreeView::GetRadioButton(const TTreeNode* node, bool& checked) const {
  const int32_t ii = ImageIndex(node);
  if (ii != 3 && ii != 4) return false;
  checked = ii == 4;
  return true;
}

void TFormattedTreeView::SetRadioButton(TTreeNode* node, bool checked) { SetImageIndex(node, checked ? 4 : 3); }

void TFormattedTreeView::BeginUpdate() { ++updateCount_; }

void TFormattedTreeView::EndUpdate() {
  if (updateCount_ <= 0) return;
  if (--updateCount_ == 0) viewport()->update();
}

void TFormattedTreeView::Raise(const std::function<void()>& handler) { Guarded(handler); }

bool TFormattedTreeView::RadioReacts(const TTreeNode* node) {
  const int32_t ii = ImageIndex(node);
  const TTreeNode* parent = node->parent();
  if (parent == nullptr || (ii != 3 && ii != 4)) return false;
  if (ii == 3) return true;
  // An older file may leave several on: then a click on one of them leaves it the
  // only one, as a click on an off one does.
  const int32_t level = NodeLevel(node);
  for (int i = 0; i < parent->childCount(); ++i) {
    const TTreeNode* sibling = parent->child(i);
    if (sibling != node && NodeLevel(sibling) == level && ImageIndex(sibling) == 4) return true;
  }
  return false;
}

void TFormattedTreeView::ToggleMark(TTreeNode* node) {
  const int32_t ii = ImageIndex(node);
  if (ii == 1 || ii == 2) {
    SetImageIndex(node, ii == 1 ? 2 : 1);
    const bool check = ii == 1;
    if (OnCheckBoxClick) Raise([&] { OnCheckBoxClick(*this, node, check); });
    return;
  }
  if (RadioReacts(node)) {
    TTreeNode* parent = node->parent();
    const int32_t level = NodeLevel(node);
    for (int i = 0; i < parent->childCount(); ++i) {
      TTreeNode* sibling = parent->child(i);
      if (sibling != node && NodeLevel(sibling) == level && ImageIndex(sibling) == 4) SetImageIndex(sibling, 3);
    }
    SetImageIndex(node, 4);
    if (OnRadioClick) Raise([&] { OnRadioClick(*this, node); });
  }
}

// ------------------------------------------------------------------ painting

TFormattedTextParams TFormattedTreeView::RendererParams() const {
  TFormattedTextParams p;
  p.ShadowOffset = 1;
  p.ShadowColor = clGray;
  p.HoverColor = clNone;
  p.HoverFontColor = clNone;
  p.URLColor = urlColor_;
  p.PictureCache = &pictureCache_;
  return p;
}

QSize TFormattedTreeView::NodeSizeHint(const QModelIndex& index) const {
  const TTreeNode* node = itemFromIndex(index);
  QImage scratch(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&scratch);
  canvas.SetFont(font_);
  const auto images = htmlImages_.lock();
  TFormattedTextParams p = RendererParams();
  p.Images = images.get();
  p.CheckHeight = true;
  TFormattedTextResult m;
  RenderFormattedText(canvas, NodeText(node), TRect{0, 0, 1 << 20, itemHeight_}, p, m);
  const int32_t markW = ImageIndex(node) > 0 ? 16 : 0;
  int32_t stateW = 0;
  if (StateImageOf(node, &stateW)) stateW += 4;
  return QSize(2 + markW + stateW + m.XSize + 4, itemHeight_);
}

void TFormattedTreeView::PaintNode(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QRect area = option.rect;
  if (area.width() <= 0 || area.height() <= 0) return;
  TTreeNode* node = itemFromIndex(index);
  QImage buffer(area.size(), QImage::Format_RGB32);
  TCanvas canvas(&buffer);
  const TColor color = ColorToRGB(color_);
  const TRect row{0, 0, area.width(), area.height()};
  canvas.SetBrush(TBrush{color, bsSolid});
  canvas.FillRect(row);
  canvas.SetFont(font_);
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  const bool focused = option.state.testFlag(QStyle::State_HasFocus);
  bool defaultDraw = true;
  if (OnCustomDrawItem) {
    auto* self = const_cast<TFormattedTreeView*>(this);
    self->Raise([&] { OnCustomDrawItem(*self, node, canvas, row, selected, focused, defaultDraw); });
  }
  if (defaultDraw && updateCount_ == 0) {
    const std::string text = NodeText(node);
    const auto images = htmlImages_.lock();
    TFormattedTextParams p = RendererParams();
    p.Images = images.get();
    p.CheckHeight = true;
    TFormattedTextResult m;
    RenderFormattedText(canvas, text, row, p, m);
    TRect t = row;
    if (row.Height() > m.YSize) t.Top += (row.Height() - m.YSize) / 2;
    const int32_t ii = ImageIndex(node);
    const int32_t markW = ii > 0 ? 16 : 0;
    TColor linkColor = urlColor_;
    int32_t stateW = 0;
    const std::optional<QImage> stateImage = StateImageOf(node, &stateW);
    if (selected) {
      TRect s{row.Left, row.Top, row.Left + markW + m.XSize + 4, row.Bottom};
      if (stateImage) {
        // The state image stands outside the selection, which moves right of it.
        s.Left += stateW + 4;
        s.Right += stateW + 4;
      }
      const bool hasKeyboard = hasFocus();
      canvas.SetBrush(TBrush{ColorToRGB(hasKeyboard ? selectionColor_ : selectionNFColor_), bsSolid});
      canvas.FillRect(s);
      linkColor = ColorToRGB(hasKeyboard ? selectionFontColor_ : selectionNFFontColor_);
      canvas.SetTextColor(linkColor);
      if (focused) DrawFocusRect(canvas, s);
      canvas.SetBrush(TBrush{color, bsSolid});
      canvas.FillRect(TRect{s.Right, s.Top, row.Right, s.Bottom});
    }
    t.Left += 2;
    const TTreeMarkStyle style{controlStyle_, controlColor_, isEnabled(), themed_, &glyphChecked_, &glyphUnChecked_};
    const TRect q{t.Left, t.Top, t.Left + 14, t.Top + 14};
    if (ii == 1 || ii == 2) {
      DrawTreeCheckBox(canvas, q, ii == 2, style);
      t.Left += 16;
    } else if (ii == 3 || ii == 4) {
      DrawTreeRadioButton(canvas, q, ii == 4, style);
      t.Left += 16;
    }
    if (stateImage) {
      canvas.Draw(t.Left, t.Top, *stateImage);
      t.Left += stateW + 4;
    }
    p.CheckHeight = false;
    p.URLColor = linkColor;
    p.Selected = selected;
    TFormattedTextResult r;
    RenderFormattedText(canvas, text, t, p, r);
  }
  painter->drawImage(area.topLeft(), buffer);
}

// ---------------------------------------------------------- mouse, keys, hints

std::optional<QImage> TFormattedTreeView::StateImageOf(const TTreeNode* node, int32_t* width) const {
  const auto images = stateImages_.lock();
  const int32_t index = StateIndex(node);
  if (!images || index < 0 || index >= images->Count()) return std::nullopt;
  if (width) *width = images->Width;
  return images->Images[static_cast<size_t>(index)];
}

int32_t TFormattedTreeView::TextIndent(const TTreeNode* node) const {
  int32_t indent = 2;
  if (HasMark(ImageIndex(node))) indent += 16;
  int32_t stateW = 0;
  if (StateImageOf(node, &stateW)) indent += stateW + 4;
  return indent;
}

std::string TFormattedTreeView::LinkAt(TTreeNode* node, int32_t x, int32_t y) const {
  TRect r = NodeTextRect(node);
  // The same geometry the row's text is painted with.
  r.Left += TextIndent(node);
  QImage scratch(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&scratch);
  canvas.SetFont(font_);
  const std::string text = NodeText(node) + " ";
  const auto images = htmlImages_.lock();
  TFormattedTextParams p = RendererParams();
  p.Images = images.get();
  p.CheckHeight = true;
  TFormattedTextResult m;
  RenderFormattedText(canvas, text, r, p, m);
  if (r.Height() > m.YSize) r.Top += (r.Height() - m.YSize) / 2;
  p.CheckHeight = false;
  p.CheckHotSpot = true;
  p.XPos = x;
  p.YPos = y;
  TFormattedTextResult hit;
  RenderFormattedText(canvas, text, r, p, hit);
  return hit.AnchorVal;
}

void TFormattedTreeView::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    // Qt's own handling would select the node whatever RightClickSelect says.
    if (TTreeNode* node = NodeAt(pos.x(), pos.y()); RightClickSelect && node) setCurrentItem(node);
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  TTreeNode* node = NodeAt(pos.x(), pos.y());
  if (node != nullptr) {
    const TRect r = NodeTextRect(node);
    const bool inMarkZone = r.Left < pos.x() && pos.x() < r.Left + 16;
    const int32_t ii = ImageIndex(node);
    if ((ii == 1 || ii == 2) && inMarkZone) {
      ToggleMark(node);
      return;
    }
    if (inMarkZone && RadioReacts(node)) {
      ToggleMark(node);
      node = NodeAt(pos.x(), pos.y());  // the handler may have rebuilt the tree
    }
    if (node != nullptr) {
      const std::string link = LinkAt(node, pos.x(), pos.y());
      if (!link.empty() && OnAnchorClick) Raise([&] { OnAnchorClick(*this, node, link); });
    }
  }
  if (AutoExpand) viewport()->update();
}

void TFormattedTreeView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  TTreeNode* node = NodeAt(pos.x(), pos.y());
  if (hintNode_ != nullptr && hintNode_ != node) {
    QToolTip::hideText();
    hintNode_ = nullptr;
  }
  std::string link;
  if (node != nullptr) {
    if (HotTrack) setCurrentItem(node);
    link = LinkAt(node, pos.x(), pos.y());
  }
  if (!link.empty()) {
    if (!handCursor_) {
      savedCursor_ = viewport()->cursor();
      viewport()->setCursor(Qt::PointingHandCursor);
      handCursor_ = true;
    }
    if (link != currentLink_) {
      const std::string old = currentLink_;
      if (OnAnchorExit && !old.empty()) Raise([&] { OnAnchorExit(*this, node, old); });
      currentLink_ = link;
      if (OnAnchorEnter) Raise([&] { OnAnchorEnter(*this, node, link); });
    }
  } else {
    if (handCursor_) {
      viewport()->setCursor(savedCursor_);
      handCursor_ = false;
      const std::string old = currentLink_;
      if (OnAnchorExit && !old.empty()) Raise([&] { OnAnchorExit(*this, node, old); });
    }
    currentLink_.clear();
  }
  QTreeWidget::mouseMoveEvent(event);
}

void TFormattedTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) viewport()->update();
}

void TFormattedTreeView::keyPressEvent(QKeyEvent* event) {
  if (currentItem() != nullptr && event->key() == Qt::Key_Space) {
    // The key is consumed even when the node has no mark.
    event->accept();
    ToggleMark(currentItem());
    return;
  }
  if (OnKeyPress && !event->text().isEmpty()) {
    const QList<uint> chars = event->text().toUcs4();
    char32_t key = chars.isEmpty() ? 0 : static_cast<char32_t>(chars.front());
    Raise([&] { OnKeyPress(*this, key); });
    if (key == 0) {
      event->accept();
      return;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

void TFormattedTreeView::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  viewport()->update();
}

void TFormattedTreeView::scrollContentsBy(int dx, int dy) {
  QTreeWidget::scrollContentsBy(dx, dy);
  const int32_t position = horizontalScrollBar()->value();
  if (position != lastHorizontalScroll_) {
    lastHorizontalScroll_ = position;
    viewport()->update();
  }
}

std::string TFormattedTreeView::HintTextAt(int32_t x, int32_t y, QPoint* position) {
  hintNode_ = nullptr;
  if (topLevelItemCount() == 0) return toolTip().toStdString();
  TTreeNode* node = NodeAt(x, y);
  hintNode_ = node;
  if (node == nullptr) return toolTip().toStdString();
  const std::string raw = NodeText(node);
  QImage scratch(1, 1, QImage::Format_RGB32);
  TCanvas canvas(&scratch);
  canvas.SetFont(font_);
  const int32_t level = NodeLevel(node);
  int32_t w = canvas.TextWidth(raw) + canvas.TextWidth("x");
  w += (level + (ShowRoot() ? 1 : 0)) * Indent();
  if (w <= width()) return toolTip().toStdString();
  if (position) *position = QPoint(level * Indent() - horizontalScrollBar()->value(), (y / itemHeight_) * itemHeight_);
  return htmlHint_ ? raw : StripFormatting(raw);
}

bool TFormattedTreeView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  if (hintColor_ != clNone) {
    QPalette pal = QToolTip::palette();
    pal.setColor(QPalette::ToolTipBase, QColor::fromRgb(ColorToPixel(ColorToRGB(hintColor_))));
    QToolTip::setPalette(pal);
  }
  QPoint position = help->pos();
  const std::string text = HintTextAt(help->pos().x(), help->pos().y(), &position);
  if (text.empty())
    QToolTip::hideText();
  else
    QToolTip::showText(viewport()->mapToGlobal(position), QString::fromStdString(text), viewport());
  return true;
}

}  // namespace qira
