#include "ui/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/EarlierContent.h"
#include "platform/HandlerGuard.h"
#include "platform/Services.h"
#include "ui/CurrentSubWindowHold.h"
#include "ui/FrameDialogs.h"
#include "ui/ProjectFile.h"
#include "ui/RecoveryCopies.h"
#include "ui/ViewWindow.h"
#include "ui/DialogSupport.h"

// Sections: menu merging and tiling; construction and destruction; recent files;
// documents; menu commands; start-up project.

namespace qira {

namespace {


// Below this a view window is too small to use.
constexpr int kSmallestChildWidth = 200;
constexpr int kSmallestChildHeight = 150;

const TSettingKey& RecentKey(int index) {
  static const TSettingKey* const keys[TMainForm::kRecentCount] = {
      &SettingKeys::RecentFile1, &SettingKeys::RecentFile2, &SettingKeys::RecentFile3, &SettingKeys::RecentFile4,
      &SettingKeys::RecentFile5};
  return *keys[index];
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::exists(std::filesystem::path(name), ec);
}

// A sub-window's title as shown: Qt's "[*]" placeholder becomes the modified mark.
QString ShownTitle(const QWidget& window) {
  QString title = window.windowTitle();
  title.replace(QStringLiteral("[*]"), window.isWindowModified() ? QStringLiteral("*") : QString());
  return title;
}

// Text as a menu's entry shows it: "&" marks the next character as the entry's key.
QString MenuText(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace

// ---- Menu merging and tiling ----------------------------------------------------------------

int MenuGroupIndex(const QMenu& menu) { return menu.property("GroupIndex").toInt(); }

std::vector<QMenu*> MergeMenuGroups(const std::vector<QMenu*>& frame, const std::vector<QMenu*>& child) {
  std::vector<QMenu*> merged;
  for (QMenu* menu : frame) {
    const int group = MenuGroupIndex(*menu);
    const bool replaced = std::any_of(child.begin(), child.end(), [&](QMenu* c) { return MenuGroupIndex(*c) == group; });
    if (!replaced) merged.push_back(menu);
  }
  merged.insert(merged.end(), child.begin(), child.end());
  std::stable_sort(merged.begin(), merged.end(),
                   [](QMenu* a, QMenu* b) { return MenuGroupIndex(*a) < MenuGroupIndex(*b); });
  return merged;
}

std::vector<QRect> TileRects(int count, const QRect& area, bool horizontal) {
  std::vector<QRect> rects;
  if (count <= 0) return rects;
  // Groups are columns (horizontal: windows stacked inside a column) or rows.
  const int groups = count <= 3 ? 1 : static_cast<int>(std::floor(std::sqrt(static_cast<double>(count))));
  const int perGroup = count / groups;
  const int extra = count % groups;  // the last `extra` groups hold one more
  const int across = horizontal ? area.width() : area.height();
  const int along = horizontal ? area.height() : area.width();
  for (int g = 0; g < groups; ++g) {
    const int n = perGroup + (g >= groups - extra ? 1 : 0);
    const int a0 = across * g / groups;
    const int a1 = across * (g + 1) / groups;
    for (int i = 0; i < n; ++i) {
      const int b0 = along * i / n;
      const int b1 = along * (i + 1) / n;
      if (horizontal) {
        rects.emplace_back(area.left() + a0, area.top() + b0, a1 - a0, b1 - b0);
      } else {
        rects.emplace_back(area.left() + b0, area.top() + a0, b1 - b0, a1 - a0);
      }
    }
  }
  return rects;
}

std::vector<QRect> CascadeRects(int count, const QRect& area, int step) {
  std::vector<QRect> rects;
  if (count <= 0) return rects;
  step = std::max(step, 1);
  const int minWidth = std::min(area.width(), std::max(kSmallestChildWidth, area.width() * 2 / 3));
  const int minHeight = std::min(area.height(), std::max(kSmallestChildHeight, area.height() * 2 / 3));
  const int w = std::clamp(area.width() - (count - 1) * step, minWidth, area.width());
  const int h = std::clamp(area.height() - (count - 1) * step, minHeight, area.height());
  const int places = std::min((area.width() - w) / step, (area.height() - h) / step) + 1;
  for (int i = 0; i < count; ++i) {
    const int offset = (i % places) * step;
    rects.emplace_back(area.left() + offset, area.top() + offset, w, h);
  }
  return rects;
}

QRect FitInside(const QRect& window, const QRect& area) {
  const int w = std::min(window.width(), area.width());
  const int h = std::min(window.height(), area.height());
  const int left = std::clamp(window.left(), area.left(), area.left() + area.width() - w);
  const int top = std::clamp(window.top(), area.top(), area.top() + area.height() - h);
  return QRect(left, top, w, h);
}

// ---- Construction and destruction -------------------------------------------------------------

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  UpdateTitle();
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kMainFrameCaption));
  MdiArea = new QMdiArea(this);
  setCentralWidget(MdiArea);
  CreateMenus();
  for (int k = kRecentCount - 1; k >= 0; --k) AddRecent(ReadSetting(RecentKey(k), std::string()));
  UpdateRecentMenu();
  // The project dialogs start where the newest project lives.
  if (!recent_[0].empty()) SetProjectFolderFrom(recent_[0]);
  // The area itself names the current sub-window in the title (changeEvent).
  QObject::connect(MdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) {
    Guarded([&] { MergeMenus(); });
  });
  // The document the commands act on also changes when the user turns between the
  // frame and a view that covers the screen (Alt+Tab).
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow*) {
    Guarded([&] { MergeMenus(); });
  });
  MergeMenus();
  setWindowState(Qt::WindowMaximized);
  SetRecentFileSink([this](const std::string& path) { AddRecent(path); });
  ViewWindowHooks().CloseMainFrame = [this] { close(); };
  recovery_ = std::make_unique<TRecoveryCopies>([this] { return Forms(); });
  ViewWindowHooks().BeforeLargeStep = [this] { recovery_->CopyChanged(); };
  ViewWindowHooks().ModifiedChanged = [this](TForm3D& form) { recovery_->ModifiedChanged(form); };
  ViewWindowHooks().Closed = [this](TForm3D& form) { recovery_->Closed(form); };
}

TMainForm::~TMainForm() {
  SetRecentFileSink(nullptr);
  ViewWindowHooks().CloseMainFrame = nullptr;
  ViewWindowHooks().BeforeLargeStep = nullptr;
  ViewWindowHooks().ModifiedChanged = nullptr;
  ViewWindowHooks().Closed = nullptr;
  QObject::disconnect(MdiArea, nullptr, this, nullptr);
  QObject::disconnect(qApp, nullptr, this, nullptr);
  // The view windows go first: each frees the windows it owns (its plans among the
  // area's sub-windows, its full-screen windows) and writes its placement. Whatever
  // else the area holds goes with it.
  for (const QPointer<TForm3D>& form : forms_) {
    if (form.isNull()) continue;
    // In full screen the frame widget is the window the form stands in, which the
    // form frees itself; its emptied sub-window goes with the area.
    QWidget* frame = form->FrameWidget();
    if (qobject_cast<QMdiSubWindow*>(frame) != nullptr) {
      delete frame;
    } else {
      delete form.data();
    }
  }
  for (int k = 0; k < kRecentCount; ++k) WriteSetting(RecentKey(k), recent_[k]);
  // A normal end: every recovery copy of this run goes.
  recovery_.reset();
}

void TMainForm::CreateMenus() {
  auto command = [this](QMenu* menu, const char* caption, auto handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    QObject::connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    return action;
  };
  FileMenu = new QMenu(QStringLiteral("File"), this);
  FileMenu->setProperty("GroupIndex", kFileMenuGroupIndex);
  New1 = command(FileMenu, "New", &TMainForm::New1Click);
  Open1 = command(FileMenu, "Open", &TMainForm::Open1Click);
  Save1 = command(FileMenu, "Save", &TMainForm::Save1Click);
  Saveas1 = command(FileMenu, "Save as", &TMainForm::Saveas1Click);
  New1->setShortcuts(QKeySequence::New);
  Open1->setShortcuts(QKeySequence::Open);
  Save1->setShortcuts(QKeySequence::Save);
  Saveas1->setShortcuts(QKeySequence::SaveAs);
  FileMenu->addSeparator();
  Parameters1 = command(FileMenu, "Parameters", &TMainForm::Parameters1Click);
  RecentSeparator = FileMenu->addSeparator();
  constexpr std::array<void (TMainForm::*)(), kRecentCount> nameClicks{
      &TMainForm::Name01Click, &TMainForm::Name02Click, &TMainForm::Name03Click, &TMainForm::Name04Click,
      &TMainForm::Name05Click};
  for (int k = 0; k < kRecentCount; ++k) {
    QAction* item = FileMenu->addAction(QString());
    const auto click = nameClicks[static_cast<size_t>(k)];
    QObject::connect(item, &QAction::triggered, this, [this, click] { Guarded([&] { (this->*click)(); }); });
    RecentItems[k] = item;
  }
  FileMenu->addSeparator();
  Exit1 = command(FileMenu, "Exit", &TMainForm::Exit1Click);
  Exit1->setShortcuts(QKeySequence::Quit);
  // A view full screen stands in a window of its own (either way): the File keys
  // work there as in the frame. A modal dialog still holds them back.
  for (QAction* item : {New1, Open1, Save1, Saveas1, Exit1}) item->setShortcutContext(Qt::ApplicationShortcut);

  WindowMenu = new QMenu(QStringLiteral("Window"), this);
  WindowMenu->setProperty("GroupIndex", kWindowMenuGroupIndex);
  Cascade1 = command(WindowMenu, "Cascade", &TMainForm::Cascade1Click);
  TileHorizontal1 = command(WindowMenu, "Tile Horizontal", &TMainForm::TileHorizontal1Click);
  TileVertical1 = command(WindowMenu, "Tile Vertical", &TMainForm::TileVertical1Click);
  QObject::connect(WindowMenu, &QMenu::aboutToShow, this, [this] { Guarded([&] { FillWindowList(); }); });

  // Every close key, wherever the frame's focus stands (the sub-windows' own menus
  // leave theirs to this one: LeaveCloseKeysToTheFrame).
  CloseWindowKey = new QAction(this);
  CloseWindowKey->setShortcuts(DocumentCloseKeys());
  addAction(CloseWindowKey);
  QObject::connect(CloseWindowKey, &QAction::triggered, this, [this] {
    Guarded([&] {
      if (QMdiSubWindow* sub = MdiArea->currentSubWindow()) sub->close();
    });
  });

  HelpMenu = new QMenu(QStringLiteral("Help"), this);
  HelpMenu->setProperty("GroupIndex", kWindowMenuGroupIndex);
  About1 = command(HelpMenu, "About", &TMainForm::About1Click);
}

// ---- Recent files -------------------------------------------------------------------------------

void TMainForm::AddRecent(const std::string& given) {
  const std::string name = AbsoluteProjectPath(given);
  if (!FileExists(name) || name == recent_[0]) return;
  auto found = std::find(recent_.begin(), recent_.end(), name);
  if (found != recent_.end()) {
    std::move(found + 1, recent_.end(), found);
    recent_.back().clear();
  }
  std::move_backward(recent_.begin(), recent_.end() - 1, recent_.end());
  recent_[0] = name;
  UpdateRecentMenu();
}

void TMainForm::UpdateRecentMenu() {
  RecentSeparator->setVisible(!recent_[0].empty());
  for (int k = 0; k < kRecentCount; ++k) {
    QAction* item = RecentItems[k];
    item->setVisible(!recent_[k].empty());
    // A '&' of the name is shown as itself, not as a mnemonic.
    QString name = ToQt(std::filesystem::path(recent_[k]).filename().string());
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    item->setText(QString::number(k + 1) + QLatin1Char(' ') + name);
  }
}

// ---- Documents ----------------------------------------------------------------------------------

TForm3D* TMainForm::OpenProject(const std::string& given, bool fullScreen) {
  const std::string name = AbsoluteProjectPath(given);
  if (!FileExists(name)) {
    ShowMessageDlg(ProjectNotFoundText(name), 1);
    return nullptr;
  }
  if (TForm3D* open = DocumentOfFile(name)) {
    open->BringForward();
    return open;
  }
  TForm3D* form = CreateFromFile(MdiArea, name, fullScreen);
  if (form != nullptr) ShowForm(form);
  return form;
}

void TMainForm::ShowForm(TForm3D* form) {
  std::erase_if(forms_, [](const QPointer<TForm3D>& f) { return f.isNull(); });
  forms_.emplace_back(form);
  QWidget* frame = form->FrameWidget();
  // A first window has no stored size: it gets two thirds of the frame's area
  // instead of the few pixels an unshown sub-window starts with.
  if (frame != form && !(frame->windowState() & Qt::WindowMaximized) &&
      (frame->width() < kSmallestChildWidth || frame->height() < kSmallestChildHeight)) {
    const QSize area = MdiArea->viewport()->size();
    frame->resize(std::max(kSmallestChildWidth, area.width() * 2 / 3),
                  std::max(kSmallestChildHeight, area.height() * 2 / 3));
  }
  // The stored place is the last closed window's: a window there may hide another
  // or stand partly outside a smaller frame. Until the frame has its size there is
  // nothing to fit into.
  const QRect area = MdiArea->viewport()->rect();
  if (frame != form && !(frame->windowState() & Qt::WindowMaximized) && area.width() >= kSmallestChildWidth &&
      area.height() >= kSmallestChildHeight) {
    QRect place = FitInside(frame->geometry(), area);
    const int step = CascadeStep();
    const QList<QMdiSubWindow*> others = MdiArea->subWindowList();
    // One title bar further down for every window already there, starting over at
    // the top left where the area ends.
    for (int tries = 0; tries <= others.size(); ++tries) {
      const bool taken = std::any_of(others.begin(), others.end(), [&](QMdiSubWindow* other) {
        return other != frame && other->isVisible() && other->geometry().topLeft() == place.topLeft();
      });
      if (!taken) break;
      const QRect moved = place.translated(step, step);
      place = area.contains(moved) ? moved : QRect(area.topLeft(), place.size());
    }
    frame->setGeometry(place);
  }
  frame->show();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(frame)) MakeCurrentSubWindow(*sub);
  MergeMenus();
}

TForm3D* TMainForm::ActiveForm() const {
  // A view full screen stands in a window outside the area: while that window is
  // active, its document is the one the File keys act on.
  if (TForm3D* covering = CoveringForm()) return covering;
  return FormOf(MdiArea->currentSubWindow());
}

TForm3D* TMainForm::CoveringForm() const {
  QWidget* active = QApplication::activeWindow();
  if (active == nullptr || active == this) return nullptr;
  for (TForm3D* form : Forms())
    if (form->FullScreenWindow() == active) return form;
  return nullptr;
}

TForm3D* TMainForm::FormOf(QMdiSubWindow* sub) const {
  if (sub == nullptr) return nullptr;
  // The sub-window of a view that covers the screen holds nothing, but still
  // stands for its document.
  for (TForm3D* form : Forms())
    if (form->SubWindow() == sub) return form;
  return dynamic_cast<TForm3D*>(sub->widget());
}

std::vector<TForm3D*> TMainForm::Forms() const {
  std::vector<TForm3D*> forms;
  for (const QPointer<TForm3D>& form : forms_)
    if (form && !form->Closing()) forms.push_back(form.data());
  return forms;
}

bool TMainForm::QueryCloseAll() {
  // The views come back into the frame first: no question may open behind a
  // window kept on top, and nothing of theirs may keep the program running once
  // the frame is gone. A Cancel leaves everything as it was.
  std::vector<QPointer<TForm3D>> covering;
  for (TForm3D* form : Forms()) {
    if (!form->FullScreen()) continue;
    form->ToggleFullScreen();
    covering.emplace_back(form);
  }
  for (TForm3D* form : Forms()) {
    if (form->QueryClose()) continue;
    for (const QPointer<TForm3D>& back : covering)
      if (back) back->ReturnToFullScreen();
    return false;
  }
  return true;
}

int TMainForm::CascadeStep() const {
  return std::max(20, MdiArea->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, MdiArea));
}

void TMainForm::MergeMenus() {
  std::vector<QMenu*> child;
  TForm3D* form = ActiveForm();
  if (form != nullptr) child = {form->SceneMenu, form->ObjectsMenu};
  // Without a document there is nothing to save: the items say so by being greyed.
  Save1->setEnabled(form != nullptr);
  Saveas1->setEnabled(form != nullptr);
  const std::vector<QMenu*> merged = MergeMenuGroups({FileMenu, WindowMenu, HelpMenu}, child);
  QMenuBar* bar = menuBar();
  const QList<QAction*> shown = bar->actions();
  const bool same = std::equal(merged.begin(), merged.end(), shown.begin(), shown.end(),
                               [](QMenu* menu, QAction* action) { return menu->menuAction() == action; });
  if (same) return;
  bar->clear();
  for (QMenu* menu : merged) bar->addMenu(menu);
}

void TMainForm::ScheduleTitleUpdate() {
  // The area writes the title whenever a maximised sub-window comes, goes or changes
  // its title (which holds the document's mark), in several steps, from the frame's
  // title as it found it. Once the area is done (the event that changed it has been
  // handled) the title is taken again from the document itself, once however many
  // writes there were: a write of anyone else's is put right too.
  if (titleScheduled_) return;
  titleScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    titleScheduled_ = false;
    Guarded([&] { UpdateTitle(); });
  });
}

void TMainForm::UpdateTitle() {
  QString title = QString::fromLatin1(kMainFrameCaption);
  QMdiSubWindow* sub = MdiArea != nullptr ? MdiArea->currentSubWindow() : nullptr;
  if (sub != nullptr && sub->isMaximized()) {
    // The sub-window's title, taken from the document, the mark in its text: as Qt
    // composes the frame's, so that the area's own write finds it there and keeps it.
    const TForm3D* form = FormOf(sub);
    const QString name = form != nullptr ? form->AreaTitle() : sub->windowTitle();
    if (!name.isEmpty()) title += QStringLiteral(" - [") + name + QLatin1Char(']');
  }
  // A write answered by another (the sub-window's own) is put right again, a few
  // times at most. The frame itself is never marked: the mark stands in the name.
  for (int round = 0; round < 3 && (windowTitle() != title || isWindowModified()); ++round) {
    const bool wasTitling = titling_;
    titling_ = true;
    if (windowTitle() != title) setWindowTitle(title);
    if (isWindowModified()) setWindowModified(false);
    titling_ = wasTitling;
  }
}

std::vector<std::string> TMainForm::MenuBarCaptions() const {
  std::vector<std::string> captions;
  for (const QAction* action : menuBar()->actions()) captions.push_back(action->text().toStdString());
  return captions;
}

// ---- Menu commands ------------------------------------------------------------------------------

void TMainForm::New1Click() {
  // Typed in a view that covers the screen: the view goes back into the frame
  // first, or the new document would open unseen behind it.
  if (TForm3D* covering = CoveringForm()) covering->ToggleFullScreen();
  ShowForm(TForm3D::CreateNewDocument(MdiArea));
}

void TMainForm::Open1Click() {
  // As New; when nothing new opens, the view covers the screen again.
  QPointer<TForm3D> covering = CoveringForm();
  if (covering) covering->ToggleFullScreen();
  TFileRequest request;
  request.DefaultExt = kProjectExtension;
  request.Filter = kProjectFilter;
  request.InitialDir = ProjectFolder();
  TForm3D* opened = nullptr;
  if (std::optional<std::string> name = Services().Files->OpenFile(request)) opened = OpenProject(*name);
  if (covering && (opened == nullptr || opened == covering)) covering->ReturnToFullScreen();
}

void TMainForm::Save1Click() {
  TForm3D* form = ActiveForm();
  if (form == nullptr) return;
  if (form->FileName().empty()) {
    SaveProjectAs(*form);
  } else {
    SaveProject(*form, form->FileName());
  }
}

void TMainForm::Saveas1Click() {
  if (TForm3D* form = ActiveForm()) SaveProjectAs(*form);
}

void TMainForm::Parameters1Click() {
  TParamsForm dialog(this);
  dialog.Execute();
}

void TMainForm::NameClick(int index) {
  if (index < 0 || index >= kRecentCount || recent_[index].empty()) return;
  // The list may change while the project opens.
  const std::string name = recent_[index];
  OpenProject(name);
}

void TMainForm::Exit1Click() { close(); }

void TMainForm::Cascade1Click() {
  // Qt's own cascade shrinks every window to its size hint; these keep a usable size.
  std::vector<QMdiSubWindow*> windows;
  for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::StackingOrder))
    if (sub->isVisible() && !sub->isMinimized()) windows.push_back(sub);
  const std::vector<QRect> rects =
      CascadeRects(static_cast<int>(windows.size()), MdiArea->viewport()->rect(), CascadeStep());
  for (size_t i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(rects[i]);
    windows[i]->raise();
  }
}

void TMainForm::Tile(bool horizontal) {
  std::vector<QMdiSubWindow*> windows;
  for (QMdiSubWindow* sub : MdiArea->subWindowList())
    if (sub->isVisible() && !sub->isMinimized()) windows.push_back(sub);
  const std::vector<QRect> rects =
      TileRects(static_cast<int>(windows.size()), MdiArea->viewport()->rect(), horizontal);
  for (size_t i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(rects[i]);
  }
}

void TMainForm::FillWindowList() {
  for (QAction* action : windowListActions_) {
    WindowMenu->removeAction(action);
    delete action;
  }
  windowListActions_.clear();
  const QList<QMdiSubWindow*> windows = MdiArea->subWindowList();
  if (windows.isEmpty()) return;
  windowListActions_.push_back(WindowMenu->addSeparator());
  QMdiSubWindow* current = MdiArea->currentSubWindow();
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* sub = windows[i];
    // A document's entry names it as it is, from the document, not from a title.
    const TForm3D* document = FormOf(sub);
    const QString shown = MenuText(document != nullptr ? ToQt(document->MarkedCaption()) : ShownTitle(*sub));
    QAction* item = WindowMenu->addAction(QString::number(i + 1) + QLatin1Char(' ') + shown);
    item->setCheckable(true);
    item->setChecked(sub == current);
    QPointer<QMdiSubWindow> target(sub);
    QObject::connect(item, &QAction::triggered, this, [this, target] {
      Guarded([&] {
        if (!target) return;
        // A document's entry brings its view forward, wherever it stands.
        if (TForm3D* form = FormOf(target)) {
          form->BringForward();
        } else {
          MakeCurrentSubWindow(*target);
        }
      });
    });
    windowListActions_.push_back(item);
  }
}

void TMainForm::About1Click() {
  TAboutForm about(this);
  about.exec();
}

// ---- Start-up project ---------------------------------------------------------------------------

void TMainForm::FormActivate() {
  // Activations during the start's message wait for it to be answered.
  if (telling_) return;
  std::string name = std::move(commandLine_);
  commandLine_.clear();
  if (!name.empty() && name.front() == '"') name.erase(0, 1);
  if (!name.empty() && name.back() == '"') name.pop_back();
  if (name.empty()) return;
  // The only document goes full screen at once.
  OpenProject(name, Forms().empty());
  const std::vector<TForm3D*> forms = Forms();
  if (forms.size() != 1) return;
  forms[0]->ToggleFullScreen();
}

void TMainForm::TellInterruptedSaves() {
  const std::vector<TInterruptedSave> saves = TakeInterruptedSaves();
  if (saves.empty()) return;
  // A long list is cut: the folder holds the rest.
  constexpr size_t kShown = 5;
  std::string text = saves.size() == 1 ? "A save was interrupted before it ended. The file's earlier content is kept:"
                                       : "Saves were interrupted before they ended. The files' earlier content is kept:";
  bool mayBeWhole = false;
  bool incomplete = false;
  for (size_t i = 0; i < saves.size() && i < kShown; ++i) {
    text += "\n\"" + saves[i].Target + "\": in \"" + saves[i].EarlierContent + "\" (saved " +
            LocalTimeText(saves[i].Time) +
            (saves[i].MayBeWhole ? ", may be whole)" : ", probably incomplete)");
    mayBeWhole = mayBeWhole || saves[i].MayBeWhole;
    incomplete = incomplete || !saves[i].MayBeWhole;
  }
  if (saves.size() > kShown)
    text += "\n" + std::to_string(saves.size() - kShown) + " more in \"" + InterruptedSavesFolder() + "\"";
  if (incomplete)
    text += "\nA file that is probably incomplete was cut off while it was written, and may not open: to restore it, "
            "close it in this program if it is open, then copy its earlier content over it.";
  if (mayBeWhole)
    text += "\nA file that may be whole was written completely, but the computer stopped before it was surely on "
            "the disk: open it, and if it opens as you saved it, keep it and delete its earlier content.";
  ShowMessageDlg(text, 0);
}

void TMainForm::OfferRecoveryCopies() {
  TRecoveryStore& store = recovery_->Store();
  for (const TRecoveryOffer& offer : store.TakeEnded()) {
    const TMessageResult answer =
        MessageBoxDlg(RecoveryOfferText(offer.Record), 3, TMessageButtons::YesNoCancel, 1);
    if (answer == TMessageResult::No) store.Drop(offer);
    if (answer != TMessageResult::Yes) continue;
    TForm3D* form = CreateFromRecoveryCopy(MdiArea, offer.CopyPath, offer.Record.DocumentPath);
    if (form == nullptr) continue;  // told why; offered again at the next start
    ShowForm(form);
    // The taken copy goes once this run holds its own.
    if (recovery_->CopyChanged()) store.Drop(offer);
  }
  store.GiveBack();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  bool approved = false;
  Guarded([&] { approved = QueryCloseAll(); });
  if (approved) {
    QMainWindow::closeEvent(event);
  } else {
    event->ignore();
  }
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if ((event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ModifiedChange) && !titling_)
    ScheduleTitleUpdate();
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !commandLine_.empty()) ScheduleFormActivate();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Told once, and before the project named on the command line opens: its view
  // goes full screen on top, where it would hide the message.
  if (!interruptedSavesTold_) {
    interruptedSavesTold_ = true;
    QTimer::singleShot(0, this, [this] {
      telling_ = true;
      Guarded([&] { TellInterruptedSaves(); });
      Guarded([&] { OfferRecoveryCopies(); });
      telling_ = false;
      if (!commandLine_.empty()) ScheduleFormActivate();
    });
  }
  // Platforms without window activation (offscreen) still open the project, once the
  // frame is on screen; whichever comes first clears the command line.
  if (!commandLine_.empty()) ScheduleFormActivate();
}

void TMainForm::ScheduleFormActivate() {
  // Opening may show messages and dialogs: not inside the event handler.
  QTimer::singleShot(0, this, [this] { Guarded([&] { FormActivate(); }); });
}

}  // namespace qira
