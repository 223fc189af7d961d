#pragma once
// TFormattedTreeView: the object tree of a view window. The Qt tree owns the nodes,
// selection, expanding, scrolling and keys; this class paints every row itself
// (formatted caption, check box or radio button mark) through the canvas into a
// back buffer, and gives a click on a mark or the Space key its meaning.
//
// A node is a QTreeWidgetItem. Its text (Qt::DisplayRole, column 0) is the raw
// formatted text; its mark lives in its image index:
//   1 check box unchecked, 2 checked, 3 radio button off, 4 on, any other: no mark.
// Its state index picks an image of StateImages, drawn between the mark and the
// text. Link tests use the geometry the text is painted with, so a link reacts
// where it is seen whatever the node's image and state indexes.
//
// Events are called synchronously after the mark has changed. An exception thrown
// by a handler never leaves a Qt event handler: it is shown through the message
// service.
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Canvas.h"
#include "widgets/FormattedText.h"
#include "widgets/HtmlTreeMarks.h"
#include "widgets/TreePictures.h"
#include "widgets/WidgetSupport.h"

namespace qira {

class THTMLTreeDelegate;

class TFormattedTreeView : public QTreeWidget {
 public:
  using TTreeNode = QTreeWidgetItem;
  using TAnchorClick = std::function<void(TFormattedTreeView& sender, TTreeNode* node, const std::string& anchor)>;
  using TCheckBoxClick = std::function<void(TFormattedTreeView& sender, TTreeNode* node, bool check)>;
  using TRadioClick = std::function<void(TFormattedTreeView& sender, TTreeNode* node)>;
  using TTVExpandedEvent = std::function<void(TFormattedTreeView& sender, TTreeNode* node)>;
  // key holds the typed character; setting it to 0 consumes the key.
  using TKeyPress = std::function<void(TFormattedTreeView& sender, char32_t& key)>;
  // Called before a row is painted on its canvas (row rectangle in canvas pixels);
  // setting defaultDraw to false leaves the row as the handler drew it.
  using TCustomDrawItem = std::function<void(TFormattedTreeView& sender, TTreeNode* node, TCanvas& canvas,
                                             const TRect& row, bool selected, bool focused, bool& defaultDraw)>;

  explicit TFormattedTreeView(QWidget* parent = nullptr);
  ~TFormattedTreeView() override;

  // ---- nodes ----
  static int32_t ImageIndex(const TTreeNode* node);
  static void SetImageIndex(TTreeNode* node, int32_t index);
  // -1 (no state image) until set.
  static int32_t StateIndex(const TTreeNode* node);
  static void SetStateIndex(TTreeNode* node, int32_t index);
  static std::string NodeText(const TTreeNode* node);
  static void SetNodeText(TTreeNode* node, const std::string& text);
  // 0 for a top-level node.
  static int32_t NodeLevel(const TTreeNode* node);
  // A new last child of parent (null: a top-level node), without a mark.
  TTreeNode* AddNode(TTreeNode* parent, const std::string& text);
  // The node under a viewport point, or null.
  TTreeNode* NodeAt(int32_t x, int32_t y) const;
  // The node's text rectangle in viewport pixels (where its row is painted).
  TRect NodeTextRect(TTreeNode* node) const;
  // The 14 x 14 square of the node's mark in viewport pixels.
  TRect MarkRect(TTreeNode* node) const;

  // ---- marks (no events, no other node touched) ----
  // True when the node shows a check box; then checked := ticked. checked is left
  // alone otherwise.
  bool GetCheckBox(const TTreeNode* node, bool& checked) const;
  void SetCheckBox(TTreeNode* node, bool checked);
  bool GetRadioButton(const TTreeNode* node, bool& checked) const;
  void SetRadioButton(TTreeNode* node, bool checked);

  // ---- paint suspension ----
  void BeginUpdate();
  // Lowers a positive counter and repaints when it reaches 0; at 0 does nothing.
  void EndUpdate();
  int32_t UpdateCount() const { return updateCount_; }

  // ---- properties ----
  const TBitmap& GlyphChecked() const { return glyphChecked_; }
  void SetGlyphChecked(const TBitmap& bitmap) { glyphChecked_.Assign(bitmap); }
  const TBitmap& GlyphUnChecked() const { return glyphUnChecked_; }
  void SetGlyphUnChecked(const TBitmap& bitmap) { glyphUnChecked_.Assign(bitmap); }
  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle style);
  TColor ControlColor() const { return controlColor_; }
  void SetControlColor(TColor color);
  // Images for "IDX:" sources; the reference clears itself when the list is destroyed.
  std::shared_ptr<const THTMLImageList> HTMLImages() const { return htmlImages_.lock(); }
  void SetHTMLImages(const std::shared_ptr<const THTMLImageList>& images);
  // The state images of the nodes (StateIndex); the reference clears itself when the
  // list is destroyed.
  std::shared_ptr<const THTMLImageList> StateImages() const { return stateImages_.lock(); }
  void SetStateImages(const std::shared_ptr<const THTMLImageList>& images);
  bool HTMLHint() const { return htmlHint_; }
  void SetHTMLHint(bool value) { htmlHint_ = value; }
  int32_t ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int32_t height);
  TColor SelectionColor() const { return selectionColor_; }
  void SetSelectionColor(TColor c) { SetRepainting(selectionColor_, c); }
  TColor SelectionFontColor() const { return selectionFontColor_; }
  void SetSelectionFontColor(TColor c) { SetRepainting(selectionFontColor_, c); }
  TColor SelectionNFColor() const { return selectionNFColor_; }
  void SetSelectionNFColor(TColor c) { SetRepainting(selectionNFColor_, c); }
  TColor SelectionNFFontColor() const { return selectionNFFontColor_; }
  void SetSelectionNFFontColor(TColor c) { SetRepainting(selectionNFFontColor_, c); }
  TColor URLColor() const { return urlColor_; }
  void SetURLColor(TColor c) { SetRepainting(urlColor_, c); }
  TColor HintColor() const { return hintColor_; }
  void SetHintColor(TColor c) { hintColor_ = c; }
  std::string Version() const { return "1.1.2.0"; }
  void SetVersion(const std::string&) {}

  // Inherited settings of the tree.
  TColor Color() const { return color_; }
  void SetColor(TColor c) { SetRepainting(color_, c); }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  int32_t Indent() const { return indentation(); }
  void SetIndent(int32_t indent) { setIndentation(indent); }
  bool ShowRoot() const { return rootIsDecorated(); }
  void SetShowRoot(bool show) { setRootIsDecorated(show); }
  bool RightClickSelect = false;
  bool HotTrack = false;
  bool AutoExpand = false;
  bool Themed() const { return themed_; }
  // After the form set the properties: csTheme becomes csWinXP without a theme.
  void Loaded();

  // ---- events ----
  TAnchorClick OnAnchorClick;
  TAnchorClick OnAnchorEnter;
  TAnchorClick OnAnchorExit;
  TCheckBoxClick OnCheckBoxClick;
  TRadioClick OnRadioClick;
  // A node was expanded (by the user or the program).
  TTVExpandedEvent OnExpanded;
  TKeyPress OnKeyPress;
  TCustomDrawItem OnCustomDrawItem;

  // The hint for a viewport point: the node's plain text (raw with HTMLHint) when
  // its text is wider than the control, placed at the start of its row (position,
  // viewport pixels); else the control's own tool tip. Records the hint node.
  std::string HintTextAt(int32_t x, int32_t y, QPoint* position);

  // The link under the mouse, as remembered between mouse moves.
  const std::string& CurrentLink() const { return currentLink_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  // After a node expanded: OnExpanded, then a repaint with HotTrack (the hot row
  // may now lie elsewhere).
  virtual void Expanded(TTreeNode* node);

 private:
  friend class THTMLTreeDelegate;
  void PaintNode(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
  QSize NodeSizeHint(const QModelIndex& index) const;
  // Flips a check box, or switches a radio button on (others of its level under
  // the same parent off), then raises the event.
  void ToggleMark(TTreeNode* node);
  // A radio button under a parent reacts when it is off, or on beside another one
  // on; the only one on does not. Costs a walk of the node's siblings.
  static bool RadioReacts(const TTreeNode* node);
  // The node's state image and the list's image width; nothing when none is drawn.
  std::optional<QImage> StateImageOf(const TTreeNode* node, int32_t* width) const;
  // How far right of the row's left edge the node's text starts: the margin, the
  // mark and the state image.
  int32_t TextIndent(const TTreeNode* node) const;
  // The link under a viewport point over node, or empty.
  std::string LinkAt(TTreeNode* node, int32_t x, int32_t y) const;
  TFormattedTextParams RendererParams() const;
  // Runs an event handler; what it throws is shown, not passed on.
  void Raise(const std::function<void()>& handler);
  void SetRepainting(TColor& field, TColor value);

  int32_t updateCount_ = 0;
  std::string currentLink_;
  bool handCursor_ = false;
  QCursor savedCursor_;
  TTreeNode* hintNode_ = nullptr;
  int32_t lastHorizontalScroll_ = -1;
  bool themed_ = false;
  mutable THTMLPictureCache pictureCache_;
  TBitmap glyphChecked_;
  TBitmap glyphUnChecked_;
  TControlStyle controlStyle_ = csClassic;
  TColor controlColor_ = clRed;
  std::weak_ptr<const THTMLImageList> htmlImages_;
  std::weak_ptr<const THTMLImageList> stateImages_;
  bool htmlHint_ = false;
  int32_t itemHeight_ = 16;
  TColor selectionColor_ = 0xFF00000Du;      // clHighlight
  TColor selectionFontColor_ = 0xFF00000Eu;  // clHighlightText
  TColor selectionNFColor_ = clSilver;
  TColor selectionNFFontColor_ = clBlack;
  TColor urlColor_ = clBlue;
  TColor hintColor_ = clNone;
  TColor color_ = 0xFF000005u;  // clWindow
  TFont font_;
  THTMLTreeDelegate* delegate_ = nullptr;
};

// The object tree under the name its callers know it by.
using THTMLTreeview = TFormattedTreeView;

}  // namespace qira
