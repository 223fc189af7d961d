#pragma once
// TMainForm: the program's main window, a multiple-document frame (QMdiArea) that
// holds the view windows, carries the "File", "Window" and "Help" menus (the active
// view window's "Scene" and "Objects" menus merge in between, by group index),
// keeps the five most recent project files, opens the project named on the command
// line and opens the "Parameters" and "About" dialogs.
//
// Every menu handler runs through the handler guard: nothing it raises crosses Qt.
#include <QMainWindow>
#include <QPointer>
#include <QRect>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace qira {

class TForm3D;
class TRecoveryCopies;

// Frame and application title.
inline constexpr const char* kMainFrameCaption = "QIRA 3D Viewer";

// Group indexes of menus as they merge: the frame's "File" first, the child's menus
// (TForm3D::kMenuGroupIndex) next, the frame's "Window" and "Help" last. A menu's
// index is its "GroupIndex" property (0 when unset).
inline constexpr int kFileMenuGroupIndex = 0;
inline constexpr int kWindowMenuGroupIndex = 2;
int MenuGroupIndex(const QMenu& menu);
// The frame's menus with every group the child has replaced by the child's menus of
// that group, in ascending group order (stable within a group).
std::vector<QMenu*> MergeMenuGroups(const std::vector<QMenu*>& frame, const std::vector<QMenu*>& child);

// The places of count windows tiled in area. Horizontal: each window a band across
// (the windows stacked top to bottom); vertical: each a column (side by side). Beyond
// three windows they form a grid of floor(sqrt(count)) columns (horizontal) or rows
// (vertical); later columns or rows take the windows left over.
std::vector<QRect> TileRects(int count, const QRect& area, bool horizontal);
// The places of count cascaded windows in area, each step further right and down
// than the one before, all of one size: what the steps leave of the area, but at
// least two thirds of it (and never more than all of it). When the next step would
// leave the area the cascade starts again at the top left.
std::vector<QRect> CascadeRects(int count, const QRect& area, int step);
// window no larger than area and moved in so that all of it shows.
QRect FitInside(const QRect& window, const QRect& area);

class TMainForm : public QMainWindow {
 public:
  static constexpr int kRecentCount = 5;

  // Reads the recent files from the settings (dropping those that no longer exist)
  // and builds the menus. Becomes the receiver of the project files' recent names
  // and the view windows' "close the main frame"; the application takes the
  // frame's caption as its title.
  explicit TMainForm(QWidget* parent = nullptr);
  // Frees the view windows, each with the windows it owns (each writes its
  // placement), then writes "FName1" to "FName5" to "Main Section".
  ~TMainForm() override;

  QMdiArea* MdiArea = nullptr;
  QMenu* FileMenu = nullptr;    // "File"
  QMenu* WindowMenu = nullptr;  // "Window": also lists the open view windows
  QMenu* HelpMenu = nullptr;    // "Help"
  QAction* New1 = nullptr;
  QAction* Open1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* Saveas1 = nullptr;
  QAction* Parameters1 = nullptr;
  QAction* RecentSeparator = nullptr;  // shown only when the recent list is not empty
  std::array<QAction*, kRecentCount> RecentItems{};
  QAction* Exit1 = nullptr;
  QAction* Cascade1 = nullptr;
  QAction* TileHorizontal1 = nullptr;
  QAction* TileVertical1 = nullptr;
  QAction* About1 = nullptr;
  // The close keys (DocumentCloseKeys: Ctrl+W, Ctrl+F4), wherever the frame's focus
  // stands: close the current sub-window, as its own Close does.
  QAction* CloseWindowKey = nullptr;

  // ---- recent files: Recent(0) is the newest; "" for places not in use
  const std::array<std::string, kRecentCount>& Recent() const { return recent_; }
  // The name is made absolute first. Nothing when the file does not exist or is
  // already first (exact text); else it moves (or enters) first and the others move
  // down, the fifth dropping out.
  void AddRecent(const std::string& name);
  void UpdateRecentMenu();

  // ---- documents
  // "File " + name + " not found" for a missing file; a file open in a view window
  // already brings that window forward; else a new view window from the file. Null
  // when nothing opened. fullScreen: the caller takes the new window full screen at
  // once, so its count takes the screen's size.
  TForm3D* OpenProject(const std::string& name, bool fullScreen = false);
  // The document the frame's commands act on, or null: the one whose view covers
  // the screen while that view is the active window, else the one whose
  // sub-window is current (its view may stand full screen behind the frame).
  TForm3D* ActiveForm() const;
  // The open view windows, in the order they were opened (full-screen ones
  // included; one closing is no longer among them).
  std::vector<TForm3D*> Forms() const;

  // ---- menu commands
  void New1Click();
  void Open1Click();
  void Save1Click();
  void Saveas1Click();
  void Parameters1Click();
  // The recent items "1 ..." to "5 ...": OpenProject of that recent file.
  void Name01Click() { NameClick(0); }
  void Name02Click() { NameClick(1); }
  void Name03Click() { NameClick(2); }
  void Name04Click() { NameClick(3); }
  void Name05Click() { NameClick(4); }
  void Exit1Click();
  void Cascade1Click();
  void TileHorizontal1Click() { Tile(true); }
  void TileVertical1Click() { Tile(false); }
  void About1Click();

  // Every view window leaves full screen, then each modified one asks whether to
  // save it; false (nothing closed, the full screens back) as soon as one is
  // cancelled or fails to save. The frame's close asks it.
  bool QueryCloseAll();

  // The menu bar: the frame's menus merged with those of ActiveForm; "Save" and
  // "Save as" are greyed without one.
  void MergeMenus();
  // The frame's title: the caption, and while the current sub-window is maximised
  // " - [" its name "]", with the document's changed mark ("*") while it has unsaved
  // changes, as the area writes it itself whenever the current sub-window, its state
  // or its title changes. Any write of the title or the mark (the area's, or anyone
  // else's) is followed by this once the event that wrote it has been handled.
  void UpdateTitle();
  // Captions of the menu bar's menus, in order.
  std::vector<std::string> MenuBarCaptions() const;

  // ---- start-up project
  // The process arguments behind the program's path, joined by blanks.
  void SetCommandLine(const std::string& commandLine) { commandLine_ = commandLine; }
  // Once: one leading and one trailing double quote removed, a non-empty rest is
  // opened, and when exactly one view window then exists it goes full screen.
  void FormActivate();
  // Once, at the frame's start: which saves a kill interrupted (in this or an
  // earlier run that has ended) and where each file's earlier content is kept.
  void TellInterruptedSaves();
  // Once, at the frame's start, after TellInterruptedSaves: asks about each
  // recovery copy of a run that ended without closing its changed documents
  // (RecoveryOfferText, Yes / No / Cancel). Yes opens it as a changed document
  // under its own name, No discards it, Cancel keeps it for the next start.
  void OfferRecoveryCopies();
  // This run's recovery copies.
  TRecoveryCopies& Recovery() { return *recovery_; }

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateMenus();
  void NameClick(int index);  // recent item index (0 = "1 ...")
  void ShowForm(TForm3D* form);
  // The document whose view covers the screen and is the active window, or null.
  TForm3D* CoveringForm() const;
  // The document a sub-window of the area stands for, or null (a plan window).
  TForm3D* FormOf(QMdiSubWindow* sub) const;
  void Tile(bool horizontal);
  void FillWindowList();
  // How far each cascaded or stacked window stands from the one before: a title bar.
  int CascadeStep() const;
  void ScheduleFormActivate();
  // UpdateTitle, once, after the event being handled.
  void ScheduleTitleUpdate();

  std::array<std::string, kRecentCount> recent_;
  std::string commandLine_;
  bool interruptedSavesTold_ = false;
  // While the start's message about interrupted saves is shown.
  bool telling_ = false;
  // While UpdateTitle writes the title or the mark.
  bool titling_ = false;
  bool titleScheduled_ = false;
  std::vector<QAction*> windowListActions_;
  // Every view window the frame made, in order; a window in full screen leaves its
  // sub-window, so the sub-windows alone do not find it.
  std::vector<QPointer<TForm3D>> forms_;
  std::unique_ptr<TRecoveryCopies> recovery_;
};

}  // namespace qira
