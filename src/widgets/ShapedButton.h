#pragma once
// TShapedButton: a push button cut to a shape (rectangle, rounded rectangle,
// ellipse, regular polygon, star, arc band, ring, arrows, crosses, cut rectangle,
// stadium or a user region), with a face painted into an off-screen bitmap: plain
// colour or gradient, a 3D rim of lit and shaded bands, glyph frames, and a caption
// that may be turned and embossed. The whole button turns by ButtonAngle (tenths of
// a degree, counter-clockwise); the control is resized to the turned face's box and
// moved so that the rotation centre keeps its place.
//
// The shape becomes the widget's mask and its hit-test area. Painting goes through
// the control canvas (a back buffer the size of the widget): PaintButton draws the
// face there, descendants draw on top of it, and the buffer is shown.
//
// Rotated turns the button continuously: its TRotateTimer (every RotatedTime ms)
// adds RotatedAngle to ButtonAngle.
#include <QPushButton>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Canvas.h"
#include "widgets/ButtonShapes.h"
#include "widgets/RegionRotation.h"
#include "widgets/RotateTimer.h"

class QTimer;

namespace qira {

enum TButtonGradientKind : uint8_t { gkNone, gkLinear, gkCircular };
enum TButtonHAlign : uint8_t { haLeft, haCenter, haRight, haNone };
enum TButtonVAlign : uint8_t { vaTop, vaCenter, vaBottom, vaNone };
enum TButtonCaption3dKind : uint8_t { ckSimple, ckEmbossed, ckPressed };

// The button face colours of the classic desktop scheme (system colours 15, 16).
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnShadow = 0xFF000010;

// Colour helpers of the face, on the RGB value (system colours resolved first).
// Each channel +32, or 255 from 224 up.
TColor LighterColor(TColor c);
// Each channel −32, or 0 below 32.
TColor DarkerColor(TColor c);
// R + G + B; a face below 361 counts as dark.
int32_t ColorBrightness(TColor c);
// c0 + (c1 − c0)·i div n per channel; c0 when n is 0.
TColor BlendColor(TColor c0, TColor c1, int32_t n, int32_t i);
// An angle brought into −1799 .. 1800 by whole turns of 3600.
int32_t NormalizeButtonAngle(int64_t angle);
// The text of StringButtonRegion as region-data bytes: "!" and c stand for the byte
// c + 128, any other c and one more character for the byte c; an odd last character
// is ignored.
std::vector<uint8_t> DecodeRegionString(std::string_view text);

// The mouse entered or left a button.
using TMouseInOutEvent = std::function<void(QObject* sender)>;

class TShapedButton : public QPushButton {
 public:
  explicit TShapedButton(QWidget* parent = nullptr);
  ~TShapedButton() override;

  // ---- shape and geometry
  TShapedButtonKind ButtonKind() const { return buttonKind_; }
  void SetButtonKind(TShapedButtonKind kind);
  TIA3DKind Button3DKind() const { return button3DKind_; }
  void SetButton3DKind(TIA3DKind kind);
  int32_t ButtonDepth() const { return buttonDepth_; }
  virtual void SetButtonDepth(int32_t depth);
  int32_t ButtonWidth() const { return buttonWidth_; }
  virtual void SetButtonWidth(int32_t width);  // below 0 refused
  int32_t ButtonHeight() const { return buttonHeight_; }
  virtual void SetButtonHeight(int32_t height);
  int32_t ButtonAngle() const { return buttonAngle_; }
  virtual void SetButtonAngle(int32_t angle);
  int32_t PeaksNumber() const { return peaksNumber_; }
  virtual void SetPeaksNumber(int32_t peaks);  // 3 .. 20
  double RadiusRatio() const { return radiusRatio_; }
  virtual void SetRadiusRatio(double ratio);  // 0 .. 1
  double ArcAngle() const { return arcAngle_; }
  virtual void SetArcAngle(double radians);  // 0.01 < value ≤ 2π
  const std::string& StringButtonRegion() const { return stringButtonRegion_; }
  virtual void SetStringButtonRegion(const std::string& text);
  bool UserRGNAUTO() const { return userRgnAuto_; }
  virtual void SetUserRGNAUTO(bool on);
  // With ButtonKind bkUser only: the button takes region as its user region.
  virtual void SetUserRegion(TRegion region);
  int32_t RotationPointX() const { return rotationPointX_; }
  virtual void SetRotationPointX(int32_t x);
  int32_t RotationPointY() const { return rotationPointY_; }
  virtual void SetRotationPointY(int32_t y);
  bool RotationCenterFixed() const { return rotationCenterFixed_; }
  virtual void SetRotationCenterFixed(bool on);
  bool ShowFocusRGN() const { return showFocusRgn_; }
  void SetShowFocusRGN(bool on);
  bool CustomDraw() const { return customDraw_; }
  void SetCustomDraw(bool on);

  // ---- colours and gradient
  TColor ButtonColor() const { return buttonColor_; }
  virtual void SetButtonColor(TColor color);
  TColor ButtonColor1() const { return buttonColor1_; }
  virtual void SetButtonColor1(TColor color);
  TButtonGradientKind GradientKind() const { return gradientKind_; }
  virtual void SetGradientKind(TButtonGradientKind kind);
  int32_t GradientAngle() const { return gradientAngle_; }
  virtual void SetGradientAngle(int32_t angle);
  bool GradientFixed() const { return gradientFixed_; }
  virtual void SetGradientFixed(bool on);
  const TBitmap& GradientBitmap() const { return gradientBitmap_; }
  virtual void SetGradientBitmap(const TBitmap* bitmap);
  int32_t GradientBitmapLine() const { return gradientBitmapLine_; }
  virtual void SetGradientBitmapLine(int32_t line);  // below 0 refused

  // ---- caption (the text is the button's text())
  TButtonHAlign CaptionHAlign() const { return captionHAlign_; }
  virtual void SetCaptionHAlign(TButtonHAlign align);
  TButtonVAlign CaptionVAlign() const { return captionVAlign_; }
  virtual void SetCaptionVAlign(TButtonVAlign align);
  int32_t CaptionLeft() const { return captionLeft_; }
  virtual void SetCaptionLeft(int32_t left);  // after Loaded, also haNone
  int32_t CaptionTop() const { return captionTop_; }
  virtual void SetCaptionTop(int32_t top);  // after Loaded, also vaNone
  int32_t CaptionAngle() const { return captionAngle_; }
  virtual void SetCaptionAngle(int32_t angle);
  TButtonCaption3dKind Caption3dKind() const { return caption3dKind_; }
  virtual void SetCaption3dKind(TButtonCaption3dKind kind);
  bool CaptionFixed() const { return captionFixed_; }
  virtual void SetCaptionFixed(bool on);
  // The caption's font (the control's font); "Times New Roman" at first.
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);

  // ---- glyphs and animation
  const TBitmap& MainBitmap() const { return mainBitmap_; }
  virtual void SetMainBitmap(const TBitmap* bitmap);
  int32_t MainBitmapGlyphs() const { return mainBitmapGlyphs_; }
  virtual void SetMainBitmapGlyphs(int32_t glyphs);  // 1 .. 4
  // The enter, exit and click animations: a strip of Glyphs equal-width frames,
  // played one frame every Interval ms. The bitmap is copied (an empty or absent
  // one empties it); a glyph count below 1 is refused; none of them changes the face.
  enum TAnimationKind { akEnter, akExit, akClick };
  const TBitmap& OnEnterBitmap() const { return animations_[akEnter].bitmap; }
  virtual void SetOnEnterBitmap(const TBitmap* bitmap) { SetAnimationBitmap(akEnter, bitmap); }
  int32_t OnEnterGlyphs() const { return animations_[akEnter].glyphs; }
  virtual void SetOnEnterGlyphs(int32_t glyphs) { SetAnimationGlyphs(akEnter, glyphs); }
  int32_t OnEnterInterval() const { return animations_[akEnter].interval; }
  virtual void SetOnEnterInterval(int32_t ms) { animations_[akEnter].interval = ms; }
  const TBitmap& OnExitBitmap() const { return animations_[akExit].bitmap; }
  virtual void SetOnExitBitmap(const TBitmap* bitmap) { SetAnimationBitmap(akExit, bitmap); }
  int32_t OnExitGlyphs() const { return animations_[akExit].glyphs; }
  virtual void SetOnExitGlyphs(int32_t glyphs) { SetAnimationGlyphs(akExit, glyphs); }
  int32_t OnExitInterval() const { return animations_[akExit].interval; }
  virtual void SetOnExitInterval(int32_t ms) { animations_[akExit].interval = ms; }
  const TBitmap& OnClickBitmap() const { return animations_[akClick].bitmap; }
  virtual void SetOnClickBitmap(const TBitmap* bitmap) { SetAnimationBitmap(akClick, bitmap); }
  int32_t OnClickGlyphs() const { return animations_[akClick].glyphs; }
  virtual void SetOnClickGlyphs(int32_t glyphs) { SetAnimationGlyphs(akClick, glyphs); }
  int32_t OnClickInterval() const { return animations_[akClick].interval; }
  virtual void SetOnClickInterval(int32_t ms) { animations_[akClick].interval = ms; }
  bool AnimationRunning(TAnimationKind kind) const { return animations_[kind].running; }
  TButtonHAlign BitmapHAlign() const { return bitmapHAlign_; }
  virtual void SetBitmapHAlign(TButtonHAlign align);
  TButtonVAlign BitmapVAlign() const { return bitmapVAlign_; }
  virtual void SetBitmapVAlign(TButtonVAlign align);
  int32_t BitmapLeft() const { return bitmapLeft_; }
  virtual void SetBitmapLeft(int32_t left);
  int32_t BitmapTop() const { return bitmapTop_; }
  virtual void SetBitmapTop(int32_t top);
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool on);

  // ---- rotation (see the file comment)
  bool Rotated() const { return rotated_; }
  virtual void SetRotated(bool on);  // resumes or suspends the rotation timer
  int32_t RotatedTime() const { return rotatedTime_; }
  virtual void SetRotatedTime(int32_t ms);  // ≥ 0; a running timer takes it at once
  const TRotateTimer& RotateTimer() const { return *rotateTimer_; }
  int32_t RotatedAngle() const { return rotatedAngle_; }
  virtual void SetRotatedAngle(int32_t angle);  // −1799 .. 1799
  // One rotation tick: ButtonAngle += RotatedAngle.
  void RotationTick();

  // ---- events
  TMouseInOutEvent onMouseEnter;
  TMouseInOutEvent onMouseExit;
  std::function<void()> OnPaint;

  // ---- painting and state
  // Marks the end of setting up: from now on CaptionLeft and CaptionTop switch
  // their alignment to haNone and vaNone.
  void Loaded();
  // Stores whether the button is the focused or default one; rebuilds the face.
  virtual void SetButtonStyle(bool isDefault);
  bool FocusedDefault() const { return focusedDefault_; }
  bool Hot() const { return hot_; }
  // Rebuilds the face when the state changed since the last build, hands a new
  // shape to the widget's mask, draws the face on the control canvas and calls
  // OnPaint. Descendants draw their own content after it.
  virtual void PaintButton();
  // The glyph frame of the state; pressed shifts it by one pixel.
  virtual void DrawFaceBitmap(bool pressed);
  // The canvas on the control's back buffer (the widget's size).
  TCanvas& Canvas() { return control_.Canvas(); }
  // Paints (PaintButton) and returns the back buffer.
  const QImage& Render();
  const TBitmap& FaceBitmap() const { return face_; }
  // Whether (x, y) in widget pixels lies on the button's shape.
  bool HitTest(int32_t x, int32_t y) const;
  // The shape's area as handed (or to be handed) to the widget; absent: no shape.
  const std::optional<TRegion>& WindowRegion() const { return windowRegion_; }
  const TButtonRegions& Regions() const { return regions_; }
  const TPolygonSet& Outline() const { return outline_; }
  // The control rectangle the turned face occupies (left, top, right, bottom).
  TRect StoredRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

  // The shape's polygons, regions and position from the current properties.
  void BuildButtonRegion();
  // The face bitmap from the current properties and state.
  void BuildFaceBitmap();

 private:
  struct TAnimation {
    TBitmap bitmap;
    int32_t glyphs = 1;
    int32_t interval = 40;
    bool running = false;
    int32_t frame = 0;
  };

  void ShapeChanged();
  void FaceChanged();
  void TraceUserRegion();
  void MoveToStoredRect();
  void FocusChanged(bool focused);
  void SetAnimationBitmap(TAnimationKind kind, const TBitmap* bitmap);
  void SetAnimationGlyphs(TAnimationKind kind, int32_t glyphs);
  void StartAnimation(TAnimationKind kind);
  void StopAnimation(TAnimationKind kind);
  void AnimationTick();
  void AnimationFinished();
  void DrawAnimationFrame();
  void FillBackground(TCanvas& canvas, bool enabled);
  void GradientFill(TCanvas& canvas, TColor c0, TColor c1, int mode);
  void DrawCaption(TCanvas& canvas, bool pressed, bool enabled);
  void DrawRim(TCanvas& canvas, bool pressed, bool enabled);
  TPoint GlyphPosition(int32_t frameWidth, int32_t frameHeight) const;
  void ApplyMask();

  // Shape and geometry
  TShapedButtonKind buttonKind_ = bkRect;
  TIA3DKind button3DKind_ = dk3D;
  int32_t buttonDepth_ = 2;
  int32_t buttonWidth_ = 0;
  int32_t buttonHeight_ = 0;
  int32_t buttonAngle_ = 0;
  int32_t peaksNumber_ = 6;
  double radiusRatio_ = 0.5;
  double arcAngle_ = 2.0943951023931957;
  std::string stringButtonRegion_;
  bool userRgnAuto_ = true;
  int32_t rotationPointX_ = 0;
  int32_t rotationPointY_ = 0;
  bool rotationCenterFixed_ = false;
  bool showFocusRgn_ = true;
  bool customDraw_ = false;
  // Colours
  TColor buttonColor_ = clBtnFace;
  TColor buttonColor1_ = clBtnShadow;
  TButtonGradientKind gradientKind_ = gkNone;
  int32_t gradientAngle_ = 450;
  bool gradientFixed_ = false;
  TBitmap gradientBitmap_;
  int32_t gradientBitmapLine_ = 0;
  // Caption
  TButtonHAlign captionHAlign_ = haCenter;
  TButtonVAlign captionVAlign_ = vaCenter;
  int32_t captionLeft_ = 5;
  int32_t captionTop_ = 5;
  int32_t captionAngle_ = 0;
  TButtonCaption3dKind caption3dKind_ = ckSimple;
  bool captionFixed_ = false;
  TFont font_;
  // Glyphs
  TBitmap mainBitmap_;
  int32_t mainBitmapGlyphs_ = 1;
  TAnimation animations_[3];
  TButtonHAlign bitmapHAlign_ = haLeft;
  TButtonVAlign bitmapVAlign_ = vaTop;
  int32_t bitmapLeft_ = 5;
  int32_t bitmapTop_ = 5;
  bool transparent_ = false;
  QTimer* animationTimer_ = nullptr;
  // Rotation
  bool rotated_ = false;
  int32_t rotatedTime_ = 40;
  int32_t rotatedAngle_ = 40;
  std::unique_ptr<TRotateTimer> rotateTimer_;  // resumed while Rotated

  // User regions: 1 from StringButtonRegion, 2 from SetUserRegion; the source marker
  // says which was set last (−1 region 1, 1 region 2, 0 neither).
  std::optional<TRegion> userRegion1_;
  std::optional<TRegion> userRegion2_;
  int userSource_ = 0;
  TPolygonSet userPolygons_;
  bool userTraced_ = false;
  int32_t userLeft_ = 0, userTop_ = 0, userWidth_ = 0, userHeight_ = 0;

  TPolygonSet outline_;
  TButtonRegions regions_;
  std::optional<TRegion> windowRegion_;
  bool windowRegionNew_ = false;

  TBitmap face_;
  TBitmap control_;
  std::string builtCaption_;

  // State
  bool hot_ = false;
  bool focusedDefault_ = false;
  bool keyHeld_ = false;
  bool builtPressed_ = false;
  bool builtHot_ = false;
  bool builtEnabled_ = true;
  bool building_ = false;
  bool loaded_ = false;
  bool ignoreFirstFocus_ = true;
  bool constructed_ = false;
  int32_t storedLeft_ = 0, storedTop_ = 0, storedWidth_ = 0, storedHeight_ = 0;
  int32_t lastAngleStep_ = 0;
  // Set while the button moves or resizes itself, so that its own events are not
  // taken for the user's.
  bool ownGeometry_ = false;
};

}  // namespace qira
