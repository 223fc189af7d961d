#pragma once
// TForm3D: the document window. It shows one scene: a fixed set of engine nodes
// (CenterCube > Camera > LightSource, CenterCube > AxisCube > ModelCube), the scene
// viewer left of the object tree, the root scene object, the geology legend and the
// scene context through which every scene object reaches the scene.
//
// The window is a QWidget meant to live in a QMdiSubWindow of the main frame: given
// a QMdiArea as owner it adds itself to one (closing that sub-window frees it). It
// offers its "Scene" and "Objects" menus (group index 1) for the frame to merge.
//
// Units of this class: ViewWindow.cpp (construction, scene nodes and context,
// commands of the Scene and popup menus, placement), ViewObjectTree.cpp (the object
// tree and the object menus), ViewNavigation.cpp (mouse, wheel, keys and spin),
// ViewFullScreen.cpp (full-screen mode).
//
// Nothing raised by a command or an engine call crosses a Qt event handler: every
// handler runs through the handler guard.
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/SceneContext.h"
#include "model/SurveyPoint.h"
#include "model/TreeNode.h"
#include "platform/CanvasTypes.h"
#include "platform/FileIdentity.h"
#include "scene/math/VectorTypes.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSplitter;

namespace qira {

class TGL3DScene;
class TGL3DSceneViewer;
class TGLCadencer;
class TGLCamera;
class TGLDummyCube;
class TGLFullScreenViewer;
class TGLLightSource;
class TGLWindowsBitmapFont;
class TGeologyList;
class TGraphMain;
class TObject;
class TObjectTreeAdapter;
class TPlanForm;
class TViewTreeView;
struct TViewerMouse;
struct TViewerWheel;

// ---- Hooks installed by dialogs and the main frame ------------------------------------

// "Set center": the coordinate dialog, started at the current model offset in survey
// order; true on OK with the point entered.
using TCenterDialog = std::function<bool(QWidget* parent, TSurveyPoint& center)>;
// "Distance calculation": the distance dialog over at least two boreholes.
using TDistanceDialog = std::function<void(QWidget* parent, const std::vector<TGraphMain*>& boreholes)>;
// "Save picture" and "Copy to clipboard" of a window.
class TForm3D;
using TFormCommand = std::function<void(TForm3D& form)>;
// Picks a colour starting from initial; false when cancelled.
using TBackgroundColorChooser = std::function<bool(QWidget* parent, TColor& color)>;

struct TViewWindowHooks {
  TCenterDialog CenterDialog;
  TDistanceDialog DistanceDialog;
  TFormCommand SavePicture;
  TFormCommand CopyPictureToClipboard;
  // Ends the program ("Exit" of the viewer popup, Alt+X). Without one the window's
  // top-level window is closed.
  std::function<void()> CloseMainFrame;
  // The recovery copies: called before a step that may take much memory (an open,
  // every Objects command, an object's edit, every Scene command), whenever a
  // document's mark is set or cleared, and as a document closes (answered for, or
  // destroyed).
  std::function<void()> BeforeLargeStep;
  std::function<void(TForm3D& form)> ModifiedChanged;
  std::function<void(TForm3D& form)> Closed;
};
// The hooks every view window uses; a missing hook makes its command do nothing.
TViewWindowHooks& ViewWindowHooks();

// Calls the hook of the same name, when one is set.
void BeforeLargeStep();

// The open document whose project file this is (SameProjectFile), or null. A
// document on its way out holds none.
TForm3D* DocumentOfFile(const std::string& path);
// The keys that close a document's window: the platform's Close key (Ctrl+W) and
// Ctrl+F4, the multiple-document frame's own.
QList<QKeySequence> DocumentCloseKeys();
// A sub-window's own menu gives its Close keys up to the frame's close action,
// which holds them wherever the frame's focus stands: a key in both places would be
// ambiguous while the focus is inside the sub-window, and neither would fire. The
// menu still names the key.
void LeaveCloseKeysToTheFrame(QMdiSubWindow& sub);

// The font size the view's texts start from, and the smallest it falls back to
// when the glyphs do not fit the largest glyph texture.
inline constexpr int32_t kViewFontHeight = -60;
inline constexpr int32_t kSmallestViewFontHeight = -8;

// A bitmap font of the face, white, at the given (negative) height or, when its
// glyphs do not fit the largest glyph texture, at the largest smaller height that
// fits; raises EFontTextureTooSmall when not even kSmallestViewFontHeight fits.
std::unique_ptr<TGLWindowsBitmapFont> CreateFittingBitmapFont(const std::string& face, int32_t height);

// The window's placement as stored under "Form3D".
struct TViewPlacement {
  int PanelWidth = 155;
  bool Maximized = false;
  QRect Normal;  // left, top, width, height when not maximised
};

class TForm3D : public QWidget {
 public:
  // Group index of the window's menus when the frame merges them.
  static constexpr int kMenuGroupIndex = 1;

  // The window with its scene and an empty root; no scene object is added. With a
  // QMdiArea as owner the window puts itself into a new sub-window of it.
  explicit TForm3D(QWidget* owner = nullptr);
  // File New: the window, then the groups "Boreholes", "Sections", "Potential
  // sections", "Objects" and an axis cross in "Objects", shown in the tree and built.
  static TForm3D* CreateNewDocument(QWidget* owner = nullptr);
  // Writes the placement to the settings, then frees the scene objects and the scene.
  ~TForm3D() override;

  // ---- scene nodes (owned by GL3DScene1)
  std::unique_ptr<TGL3DScene> GL3DScene1;
  TGLDummyCube* CenterCube = nullptr;
  TGLCamera* Camera = nullptr;
  TGLLightSource* LightSource = nullptr;
  TGLDummyCube* AxisCube = nullptr;
  TGLDummyCube* ModelCube = nullptr;
  std::unique_ptr<TGLWindowsBitmapFont> BitmapFont;
  std::unique_ptr<TGLCadencer> GLCadencer1;
  std::unique_ptr<TGLFullScreenViewer> GLFullScreenViewer1;

  // ---- controls (Qt children of the window)
  TGL3DSceneViewer* GL3DSceneViewer1 = nullptr;
  QSplitter* Splitter1 = nullptr;
  TViewTreeView* TreeView = nullptr;
  QMenu* SceneMenu = nullptr;    // "Scene"
  QMenu* ObjectsMenu = nullptr;  // "Objects", filled from the selected object
  QMenu* PopupMenu = nullptr;    // the viewers' menu: "Full screen", "Background color", "Exit"
  QMenu* PopupMenu1 = nullptr;   // the tree's menu, filled like "Objects"
  QAction* FullScreenItem = nullptr;
  // The sub-window's Close keys (DocumentCloseKeys) in the window that covers the
  // screen, where the sub-window does not reach: closes the document, asking first.
  QAction* CloseDocumentKey = nullptr;

  // ---- document
  TGraphMain& Root() const { return *root_; }
  TGeologyList& GeologyList() const { return *geologyList_; }
  TSceneContext& Context() { return context_; }
  const std::string& FileName() const { return fileName_; }
  // Stores the project file name and updates the caption; another name forgets the
  // identity of the file before.
  void SetFileName(const std::string& name);
  // The file as this document last read or wrote it (nothing for a new document, or
  // when the file could not be looked at): a save over a file another program has
  // changed since asks first.
  const std::optional<TFileIdentity>& FileIdentity() const { return fileIdentity_; }
  void SetFileIdentity(const std::optional<TFileIdentity>& identity) { fileIdentity_ = identity; }
  // The file name without folder, or "Document".
  std::string CaptionText() const;
  // The caption with "*" behind it while the document is modified: how the area and
  // the Window menu name it.
  std::string MarkedCaption() const;
  // The title of its sub-window in the area: MarkedCaption as a title holds it. An
  // area's sub-window, marked, shows every "[*]" of its title as the mark (a window of
  // its own shows only the placeholder so): it holds the mark as text and stays
  // unmarked, and the frame names it so too.
  QString AreaTitle() const;
  // Set by every command that changes the tree, an object or the model offset;
  // cleared when the document is made, loaded or saved. The caption marks it ("[*]").
  bool Modified() const { return modified_; }
  void SetModified(bool value);
  // How many times the document was marked changed: a recovery copy is written
  // only when this moved since the last one.
  uint64_t ChangeCount() const { return changeCount_; }
  // Before the window closes: a modified document asks "Save changes to <name>?"
  // (Save / Discard / Cancel), with the document in front. True when it may close:
  // unmodified, saved, discarded, or already closing (never asked twice); false on
  // Cancel or when the save failed.
  bool QueryClose();
  // Set once the document has been answered for and is on its way out: its
  // sub-window is closing and frees it. The frame no longer lists it.
  bool Closing() const { return closing_; }
  // The tree object of the model, over TreeView.
  TObjectTreeAdapter& TreeAdapter() const { return *treeAdapter_; }
  // Clears the tree, adds every object's node from Root and applies the expanded
  // states, with painting held back.
  void RebuildTree();
  // Puts a tree read from a project file in place of Root: the old tree, its nodes
  // and its tree nodes go; the new root takes the window's tree view and context.
  // The tree control is left empty (RebuildTree shows the new tree).
  void ReplaceRoot(std::unique_ptr<TGraphMain> root);

  // ---- scene context
  void ResetView();
  // Survey point -> ModelCube-local scene coordinates.
  TAffineVector ToScene(double x, double y, double z) const;
  // Scene order: adds the deltas to the model offset and moves ModelCube back by them.
  // A shift the scene cannot place is not made.
  void ShiftModel(double dx, double dy, double dz);
  // Survey order: the offset becomes the point (in scene order). A point that is not
  // finite, or that would put ModelCube past what a float holds, is refused with a
  // message: false, nothing changed.
  bool SetModelCenter(double x, double y, double z);
  void AutoCenter();

  // ---- Scene and popup menu commands
  void Center1Click();
  void AutoCenter1Click() { AutoCenter(); }
  void DistanceCalculationClick();
  void ReDrawClick();
  void SavePictureClick();
  void CopyToClipboardClick();
  void BackgroundColorClick();
  void ExitClick();
  // "Horizontal plan" (PlanForm.cpp): appends a new plan window to PlanForms.
  void Createplan1Click();
  // The plan windows made here, in creation order. The list only grows; a closed
  // plan window leaves a null entry. The destructor frees the open ones first.
  std::vector<TPlanForm*> PlanForms;
  // Replaceable colour dialog of "Background color" (tests need no user).
  TBackgroundColorChooser ChooseBackgroundColor;

  // ---- object tree and object menus (ViewObjectTree.cpp)
  // Selects the node (or, without one, clears the selection and targets Root), makes
  // this window's legend the current one and fills both object menus.
  void RebuildObjectMenus(TTreeItemId node);
  // The object whose commands the menus show.
  TGraphMain* MenuTarget() const { return menuTarget_; }
  void TreeViewChange(TTreeItemId node);
  void TreeViewMouseDown(Qt::MouseButton button, int x, int y);
  void TreeViewCheckBoxClick(TTreeItemId node, bool checked);
  void TreeViewRadioClick(TTreeItemId node);
  void TreeViewDblClick();
  // Every node's object takes its node again (after the window was re-created).
  void RelinkTreeNodes();

  // ---- navigation (ViewNavigation.cpp)
  void GL3DSceneViewer1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
  // Takes the keyboard and places the mouse at (x, y), where a drag starts.
  void GL3DSceneViewer1MouseDown(int x, int y);
  void FormMouseWheel(int wheelDelta);
  void ZoomView(double d);
  // key is set to 0 when consumed.
  void FormKeyDown(int& key, Qt::KeyboardModifiers shift);
  void GLCadencer1Progress(double deltaTime);
  void GL3DSceneViewer1BeforeRender();
  int TurnSpeed() const { return turnSpeed_; }
  int PitchSpeed() const { return pitchSpeed_; }
  double IdleTime() const { return idleTime_; }
  bool CursorHidden() const { return cursorHidden_; }

  // ---- full screen (ViewFullScreen.cpp)
  bool FullScreen() const { return fullScreen_; }
  void ToggleFullScreen();
  // Back to full screen the way it was last entered, whatever the setting says by
  // now: a question that left full screen to be seen was cancelled.
  void ReturnToFullScreen();
  // The window that covers the screen (the independent viewer's, or the one this
  // window stands in); null while not full screen.
  QWidget* FullScreenWindow() const;
  // Makes this the frame's current document and shows its view: the window that
  // covers the screen while full screen, else its sub-window; the keyboard goes to
  // the viewer.
  void BringForward();

  // ---- placement
  // As read at construction, then as the window was last seen.
  const TViewPlacement& Placement() const { return placement_; }
  // The widget that carries the window's frame: its sub-window, the top-level window
  // it stands in while it covers the screen, or the window itself.
  QWidget* FrameWidget();
  // The main frame's window area that holds the window's sub-window, also while the
  // window covers the screen; null without one. The plan windows open there.
  QMdiArea* FrameArea() const;
  // The frame's sub-window of the document, or null. It stays in the frame and
  // keeps naming the document while the view covers the screen, also when the
  // view has left it.
  QMdiSubWindow* SubWindow() const;
  // Width of the tree panel.
  int PanelWidth() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Makes `offset` (scene order) the model offset and puts ModelCube at
  // PlacedOffset - offset; false, nothing changed, when a float cannot hold that place.
  bool PlaceModel(const std::array<double, 3>& offset);

  void CreateScene();
  void CreateBitmapFont();
  void CreateControls();
  void CreateMenus();
  void ConnectViewerEvents();
  // The caption and the modified mark on every window that names the document.
  void UpdateCaption();
  void TreeViewDblClickTracked();
  void ReadPlacement();
  void WritePlacement();
  void TrackPlacement();
  void CloseMainFrame();
  // Fills a Qt menu from the target's command menu.
  void FillObjectMenu(QMenu& menu, TGraphMain& target);
  void RunObjectCommand(const std::function<void()>& command, unsigned generation);
  void ScheduleMenuRebuild();
  void SwitchFullScreen(bool independentViewer);
  void EnterFullScreen(bool independentViewer);
  void LeaveFullScreen();
  // After entering or leaving, done or failed: the menu's tick, the tree, and the
  // frame's hold on this document while it is full screen.
  void FullScreenSettled();
  // The document's one way to close, whichever of its windows the user closes
  // (its sub-window, also emptied while the view covers the screen; the window that
  // covers the screen; Ctrl+W in the independent viewer): all of them close the
  // sub-window, whose close event is where the question is asked (ApproveClose).
  // Qt then frees the sub-window with the document, which takes it from the
  // frame's lists. A window made without a sub-window belongs to its maker: it
  // asks the same, then only hides.
  void CloseDocument();
  // Out of full screen, then QueryClose; on Cancel or a failed save the view covers
  // the screen again. True when the document may go.
  bool ApproveClose();
  // Frees the top-level window that held this one in full screen.
  void ReleaseFullScreenHolder();

  // Navigation state.
  int lastMouseX_ = 0;
  int lastMouseY_ = 0;
  int turnSpeed_ = 0;
  int pitchSpeed_ = 0;
  bool fullScreen_ = false;
  double idleTime_ = 0;
  bool cursorHidden_ = false;

  TSceneContext context_;
  std::string fileName_;
  std::optional<TFileIdentity> fileIdentity_;
  uint64_t changeCount_ = 0;
  bool modified_ = false;
  std::unique_ptr<TGraphMain> root_;
  std::unique_ptr<TGeologyList> geologyList_;
  std::unique_ptr<TObjectTreeAdapter> treeAdapter_;

  // Object menus: the target, a generation that outdates the actions of earlier
  // fillings, and the guard against rebuilding from inside a command.
  TGraphMain* menuTarget_ = nullptr;
  unsigned menuGeneration_ = 0;
  int commandDepth_ = 0;
  bool menuRebuildPending_ = false;
  bool rebuildingMenus_ = false;

  // Placement and the state saved before full screen (per window).
  // The sub-window, kept as a plain widget: it may be half destroyed when its last
  // events reach the window. SubWindow() is the live sub-window or null.
  QPointer<QWidget> subWindow_;
  TViewPlacement placement_;
  bool usedFullScreenViewer_ = false;
  Qt::WindowStates savedWindowState_;
  QRect savedGeometry_;
  bool destroying_ = false;
  bool closing_ = false;  // answered for: no close asks again
  // The top-level window this one stands in while it covers the screen itself.
  QPointer<QWidget> fullScreenHolder_;
};

}  // namespace qira
