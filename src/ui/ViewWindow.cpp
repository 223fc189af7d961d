#include "ui/ViewWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "model/GeologyList.h"
#include "model/GraphAxis.h"
#include "model/GraphMain.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/HandlerGuard.h"
#include "platform/NumberText.h"
#include "scene/viewers/Cadencer.h"
#include "scene/graph/CameraLight.h"
#include "scene/components/Colors.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/graph/Scene.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/math/VectorGeometry.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "ui/PlanForm.h"
#include "ui/ProjectFile.h"
#include "ui/ViewObjectTree.h"
#include "ui/DialogSupport.h"

// Sections: hooks; construction and destruction; scene nodes and font; controls
// and menus; document; scene context; Scene and popup menu commands; placement.

namespace qira {

namespace {


std::unique_ptr<TGLColor> Rgba(float r, float g, float b, float a) {
  return std::make_unique<TGLColor>(nullptr, VectorMake(r, g, b, a));
}

// The platform's colour dialog.
bool ChooseColorWithQtDialog(QWidget* parent, TColor& color) {
  const QColor chosen =
      QColorDialog::getColor(QColor(ColorRed(color), ColorGreen(color), ColorBlue(color)), parent);
  if (!chosen.isValid()) return false;
  color = MakeColor(static_cast<uint8_t>(chosen.red()), static_cast<uint8_t>(chosen.green()),
                    static_cast<uint8_t>(chosen.blue()));
  return true;
}

// The windows alive, for the change sink: an object belongs to the window whose
// context it points to.
std::vector<TForm3D*>& LiveForms() {
  static std::vector<TForm3D*> forms;
  return forms;
}

void MarkOwnerModified(TGraphMain& changed) {
  if (changed.Context == nullptr) return;  // not (yet) in a window's tree
  for (TForm3D* form : LiveForms())
    if (&form->Context() == changed.Context) form->SetModified(true);
}

// The object's stored record: equal before and after an edit that changed nothing.
// Its texts as typed, so that one changed only in characters the file cannot hold
// still differs.
std::vector<uint8_t> RecordOf(TGraphMain& object) {
  const TUtf8Verbatim verbatim;
  TMemoryStream stream;
  if (!object.SaveToStream(stream)) return {};
  return stream.TakeData();
}

}  // namespace

// ---- Hooks ------------------------------------------------------------------------------

TViewWindowHooks& ViewWindowHooks() {
  static TViewWindowHooks hooks;
  return hooks;
}

void BeforeLargeStep() {
  if (const auto& hook = ViewWindowHooks().BeforeLargeStep) hook();
}

TForm3D* DocumentOfFile(const std::string& path) {
  for (TForm3D* form : LiveForms())
    if (!form->Closing() && SameProjectFile(form->FileName(), path)) return form;
  return nullptr;
}

QList<QKeySequence> DocumentCloseKeys() {
  QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
  const QKeySequence frameKey(Qt::CTRL | Qt::Key_F4);
  if (!keys.contains(frameKey)) keys.append(frameKey);
  return keys;
}

void LeaveCloseKeysToTheFrame(QMdiSubWindow& sub) {
  QMenu* menu = sub.systemMenu();
  if (menu == nullptr) return;
  const QList<QKeySequence> keys = DocumentCloseKeys();
  for (QAction* action : menu->actions()) {
    const QList<QKeySequence> own = action->shortcuts();
    if (own.isEmpty() || !keys.contains(own.front())) continue;
    action->setShortcuts({});
    action->setText(action->text() + QLatin1Char('\t') + own.front().toString(QKeySequence::NativeText));
  }
}

std::unique_ptr<TGLWindowsBitmapFont> CreateFittingBitmapFont(const std::string& face, int32_t height) {
  auto font = std::make_unique<TGLWindowsBitmapFont>();
  // Heights are negative (character height in pixels); each retry is 2 pixels smaller.
  for (int32_t h = height;; h += 2) {
    TFont f;
    f.Name = face;
    f.Height = h;
    f.Color = clWhite;
    font->SetFont(f);
    try {
      font->LoadWindowsFont();
      return font;
    } catch (const EFontTextureTooSmall&) {
      if (h + 2 > kSmallestViewFontHeight) throw;
    }
  }
}

// ---- Construction and destruction ----------------------------------------------------------

TForm3D::TForm3D(QWidget* owner) : QWidget(nullptr) {
  ChooseBackgroundColor = ChooseColorWithQtDialog;
  if (auto* area = qobject_cast<QMdiArea*>(owner)) {
    QMdiSubWindow* sub = area->addSubWindow(this);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    LeaveCloseKeysToTheFrame(*sub);
    subWindow_ = sub;
    // The document lives exactly as long as its sub-window, also while its view
    // stands outside it (full screen): no window of it outlives the sub-window.
    QObject::connect(sub, &QObject::destroyed, this, [this] {
      if (!destroying_) deleteLater();
    });
  } else if (owner != nullptr) {
    setParent(owner, Qt::Window);
  }
  geologyList_ = std::make_unique<TGeologyList>();
  CreateScene();
  CreateBitmapFont();
  CreateControls();
  CreateMenus();
  ConnectViewerEvents();
  ResetView();

  context_.CenterCube = CenterCube;
  context_.AxisCube = AxisCube;
  context_.ModelCube = ModelCube;
  context_.BitmapFont = BitmapFont.get();
  context_.ToSceneMethod = [this](double x, double y, double z) { return ToScene(x, y, z); };
  context_.ModelOffset = {0, 0, 0};
  context_.PlacedOffset = {0, 0, 0};

  root_ = std::make_unique<TGraphMain>();
  root_->SetTreeView(treeAdapter_.get());
  root_->SetContext(&context_);
  fullScreen_ = false;
  fileName_.clear();
  UpdateCaption();
  LiveForms().push_back(this);
  SetGraphChangeSink(MarkOwnerModified);
  RebuildObjectMenus(0);
  ReadPlacement();
  TrackPlacement();
  idleTime_ = 0;
  IgnoreNextMouseMove = false;
}

TForm3D* TForm3D::CreateNewDocument(QWidget* owner) {
  auto* form = new TForm3D(owner);
  TGraphMain& root = form->Root();
  TGraphMain* objects = nullptr;
  for (const char* name : {"Boreholes", "Sections", "Potential sections", "Objects"}) {
    auto group = std::make_unique<TGraphMain>();
    group->SetName(name);
    objects = root.AddChild(std::move(group), false);
  }
  objects->AddChild(std::make_unique<TGraphAxis>(), true);
  form->RebuildTree();
  root.Build(true);
  form->SetModified(false);
  return form;
}

TForm3D::~TForm3D() {
  destroying_ = true;
  // Plan windows go before anything else; each one empties its own entry.
  for (size_t i = 0; i < PlanForms.size(); ++i)
    if (TPlanForm* plan = PlanForms[i]) delete plan->FrameWidget();
  std::erase(LiveForms(), this);
  // The hook must not throw out of a destructor.
  if (const auto& hook = ViewWindowHooks().Closed) Guarded([&] { hook(*this); });
  try {
    WritePlacement();
  } catch (...) {
    // The settings live in memory; nothing here may stop the window from closing.
  }
  if (CurrentGeologyList == geologyList_.get()) CurrentGeologyList = nullptr;
  // Engine users first, then the scene objects (they free their nodes), then the scene.
  GLCadencer1.reset();
  Guarded([&] {
    if (GLFullScreenViewer1 && GLFullScreenViewer1->Active()) GLFullScreenViewer1->SetActive(false);
  });
  GLFullScreenViewer1.reset();
  ReleaseFullScreenHolder();
  QObject::disconnect(TreeView, nullptr, this, nullptr);
  QObject::disconnect(Splitter1, nullptr, this, nullptr);
  TreeView->OnCheckBoxClick = nullptr;
  TreeView->OnRadioClick = nullptr;
  TreeView->OnMouseDown = nullptr;
  TreeView->OnDblClick = nullptr;
  TreeView->OnKeyDown = nullptr;
  delete GL3DSceneViewer1;
  GL3DSceneViewer1 = nullptr;
  menuTarget_ = nullptr;
  root_.reset();
  delete Splitter1;
  Splitter1 = nullptr;
  TreeView = nullptr;
  treeAdapter_.reset();
  GL3DScene1.reset();
  BitmapFont.reset();
  geologyList_.reset();
}

// ---- Scene nodes and font -----------------------------------------------------------------

void TForm3D::CreateScene() {
  GL3DScene1 = std::make_unique<TGL3DScene>();
  CenterCube = &GL3DScene1->Objects().AddNewChild<TGLDummyCube>();
  CenterCube->SetCubeSize(150);
  CenterCube->SetEdgeColor(*Rgba(0.576471f, 0.858824f, 0.439216f, 1));
  Camera = &CenterCube->AddNewChild<TGLCamera>();
  Camera->SetDepthOfView(1000000);
  Camera->SetFocalLength(500);
  Camera->Position().SetPoint(0, 0, 1000);
  LightSource = &Camera->AddNewChild<TGLLightSource>();
  LightSource->SetLightStyle(TLightStyle::lsParallel);
  LightSource->SetConstAttenuation(1);
  LightSource->SetSpotCutOff(180);
  AxisCube = &CenterCube->AddNewChild<TGLDummyCube>();
  AxisCube->SetCubeSize(100);
  ModelCube = &AxisCube->AddNewChild<TGLDummyCube>();
  ModelCube->SetCubeSize(200);
  ModelCube->SetEdgeColor(*Rgba(0.35f, 0.35f, 0.67f, 1));

  GLCadencer1 = std::make_unique<TGLCadencer>();
  GLCadencer1->SetScene(GL3DScene1.get());
  GLCadencer1->SetTimeMultiplier(0.2);
  GLCadencer1->SetFixedDeltaTime(0.0033333333);
  GLCadencer1->OnProgress = [this](TObject*, double deltaTime, double) { GLCadencer1Progress(deltaTime); };
  // Paused until an arrow key sets the view spinning (ViewNavigation.cpp).
  GLCadencer1->SetEnabled(false);
}

void TForm3D::CreateBitmapFont() { BitmapFont = CreateFittingBitmapFont("Arial", kViewFontHeight); }

// ---- Controls and menus -------------------------------------------------------------------

void TForm3D::CreateControls() {
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setHandleWidth(2);
  Splitter1->setChildrenCollapsible(false);
  GL3DSceneViewer1 = new TGL3DSceneViewer(Splitter1);
  GL3DSceneViewer1->SetCamera(Camera);
  GL3DSceneViewer1->Buffer().SetBackgroundColor(clBlack);
  TreeView = new TViewTreeView(Splitter1);
  TreeView->SetItemHeight(18);
  TreeView->SetIndent(22);
  TreeView->RightClickSelect = true;
  TreeView->setMinimumWidth(2);
  Splitter1->addWidget(GL3DSceneViewer1);
  Splitter1->addWidget(TreeView);
  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Splitter1);
  QObject::connect(Splitter1, &QSplitter::splitterMoved, this, [this](int, int) {
    if (!fullScreen_) placement_.PanelWidth = TreeView->width();
  });
  treeAdapter_ = std::make_unique<TObjectTreeAdapter>(*TreeView);

  TreeView->OnCheckBoxClick = [this](TFormattedTreeView&, QTreeWidgetItem* node, bool checked) {
    TreeViewCheckBoxClick(treeAdapter_->IdOf(node), checked);
  };
  TreeView->OnRadioClick = [this](TFormattedTreeView&, QTreeWidgetItem* node) {
    TreeViewRadioClick(treeAdapter_->IdOf(node));
  };
  TreeView->OnMouseDown = [this](Qt::MouseButton button, int x, int y) { TreeViewMouseDown(button, x, y); };
  TreeView->OnDblClick = [this] { TreeViewDblClickTracked(); };
  TreeView->OnKeyDown = [this](int& key, Qt::KeyboardModifiers shift) { FormKeyDown(key, shift); };
  QObject::connect(TreeView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    Guarded([&] { TreeViewChange(treeAdapter_->IdOf(current)); });
  });

  GLFullScreenViewer1 = std::make_unique<TGLFullScreenViewer>();
  GLFullScreenViewer1->SetCamera(Camera);
  GLFullScreenViewer1->SetWidth(800);
  GLFullScreenViewer1->SetHeight(600);
  GLFullScreenViewer1->Buffer().SetBackgroundColor(clBlack);
  GLFullScreenViewer1->SetStayOnTop(true);
  GLFullScreenViewer1->SetRefreshRate(0);
}

void TForm3D::CreateMenus() {
  auto command = [this](QMenu* menu, const char* caption, void (TForm3D::*handler)()) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    // A picture, a plan or full screen may take much memory: the changed documents
    // are copied first (nothing is written for those copied since their last change).
    QObject::connect(action, &QAction::triggered, this, [this, handler] {
      Guarded([&] {
        BeforeLargeStep();
        (this->*handler)();
      });
    });
    return action;
  };
  SceneMenu = new QMenu(QStringLiteral("Scene"), this);
  SceneMenu->setProperty("GroupIndex", kMenuGroupIndex);
  command(SceneMenu, "Set center", &TForm3D::Center1Click);
  command(SceneMenu, "Auto center", &TForm3D::AutoCenter1Click);
  command(SceneMenu, "Distance calculation", &TForm3D::DistanceCalculationClick);
  command(SceneMenu, "ReDraw", &TForm3D::ReDrawClick);
  command(SceneMenu, "Save picture", &TForm3D::SavePictureClick);
  command(SceneMenu, "Copy to clipboard", &TForm3D::CopyToClipboardClick);
  command(SceneMenu, "Horizontal plan", &TForm3D::Createplan1Click);
  ObjectsMenu = new QMenu(QStringLiteral("Objects"), this);
  ObjectsMenu->setProperty("GroupIndex", kMenuGroupIndex);

  PopupMenu = new QMenu(this);
  FullScreenItem = command(PopupMenu, "Full screen", &TForm3D::ToggleFullScreen);
  FullScreenItem->setCheckable(true);
  command(PopupMenu, "Background color", &TForm3D::BackgroundColorClick);
  command(PopupMenu, "Exit", &TForm3D::ExitClick);
  PopupMenu1 = new QMenu(this);
  CloseDocumentKey = new QAction(this);
  CloseDocumentKey->setShortcuts(DocumentCloseKeys());
  QObject::connect(CloseDocumentKey, &QAction::triggered, this, [this] { Guarded([&] { CloseDocument(); }); });
}

void TForm3D::ConnectViewerEvents() {
  GL3DSceneViewer1->BeforeRender() = [this](TObject*) { GL3DSceneViewer1BeforeRender(); };
  GL3DSceneViewer1->OnMouseMove = [this](TObject*, const TViewerMouse& m) {
    GL3DSceneViewer1MouseMove(m.buttons, m.modifiers, m.x, m.y);
  };
  GL3DSceneViewer1->OnMouseDown = [this](TObject*, const TViewerMouse& m) {
    GL3DSceneViewer1MouseDown(m.x, m.y);
  };
  GL3DSceneViewer1->OnDblClick = [this](TObject*) { ToggleFullScreen(); };
  GL3DSceneViewer1->OnMouseWheel = [this](TObject*, const TViewerWheel& w) {
    FormMouseWheel(w.wheelDelta);
    return true;
  };
  GL3DSceneViewer1->OnContextPopup = [this](TObject*, int32_t x, int32_t y) {
    PopupMenu->popup(GL3DSceneViewer1->mapToGlobal(QPoint(x, y)));
    return true;
  };

  TGLFullScreenViewer& fs = *GLFullScreenViewer1;
  fs.BeforeRender() = [this](TObject*) { GL3DSceneViewer1BeforeRender(); };
  fs.SetPopupMenu(PopupMenu);
  fs.OnMouseMove = [this](TObject*, const TViewerMouse& m) {
    GL3DSceneViewer1MouseMove(m.buttons, m.modifiers, m.x, m.y);
  };
  fs.OnMouseDown = [this](TObject*, const TViewerMouse& m) { GL3DSceneViewer1MouseDown(m.x, m.y); };
  fs.OnDblClick = [this](TObject*) { ToggleFullScreen(); };
  fs.OnMouseWheel = [this](TObject*, const TViewerWheel& w) {
    FormMouseWheel(w.wheelDelta);
    return true;
  };
  fs.OnKeyDown = [this](TObject*, int key, Qt::KeyboardModifiers shift) { FormKeyDown(key, shift); };
  // Its window closed by the desktop: once the viewer has shut down, the window is
  // usable again as after leaving full screen.
  fs.OnClose = [this](TObject*) {
    QTimer::singleShot(0, this, [this] {
      Guarded([&] {
        if (fullScreen_ && usedFullScreenViewer_ && !GLFullScreenViewer1->Active()) ToggleFullScreen();
      });
    });
  };
}

// ---- Document ------------------------------------------------------------------------------

void TForm3D::SetFileName(const std::string& name) {
  if (name != fileName_) fileIdentity_.reset();
  fileName_ = name;
  UpdateCaption();
}

std::string TForm3D::CaptionText() const {
  if (fileName_.empty()) return "Document";
  return std::filesystem::path(fileName_).filename().string();
}

std::string TForm3D::MarkedCaption() const { return CaptionText() + (modified_ ? "*" : ""); }

QString TForm3D::AreaTitle() const { return ToQtTitle(MarkedCaption()); }

void TForm3D::UpdateCaption() {
  // "[*]" is where Qt shows the modified mark. The view that covers the screen stands
  // in a window of its own.
  const QString name = ToQtTitle(CaptionText());
  std::vector<QWidget*> windows{this};
  if (QWidget* covering = FullScreenWindow()) windows.push_back(covering);
  for (QWidget* window : windows) {
    window->setWindowTitle(name + QStringLiteral("[*]"));
    window->setWindowModified(modified_);
  }
  // Written last: the sub-window follows this window's title and mark while it holds it.
  if (QMdiSubWindow* sub = SubWindow()) {
    sub->setWindowTitle(AreaTitle());
    sub->setWindowModified(false);
  }
}

void TForm3D::SetModified(bool value) {
  modified_ = value;
  if (value) ++changeCount_;
  UpdateCaption();
  if (const auto& hook = ViewWindowHooks().ModifiedChanged) hook(*this);
  // The objects changed (or were made, loaded or saved): the plans take them again.
  for (TPlanForm* plan : PlanForms)
    if (plan != nullptr) plan->ScheduleLoad();
}

bool TForm3D::QueryClose() {
  if (closing_ || !modified_) return true;
  // The question is asked with its document in front.
  BringForward();
  const TMessageResult answer =
      MessageBoxDlg("Save changes to " + CaptionText() + "?", 3, TMessageButtons::SaveDiscardCancel, 1);
  if (answer == TMessageResult::Save) return fileName_.empty() ? SaveProjectAs(*this) : SaveProject(*this, fileName_);
  return answer == TMessageResult::Discard;
}

bool TForm3D::ApproveClose() {
  // Out of full screen first: the question must not open behind the window kept on
  // top, and the view goes back into the sub-window that closes with it.
  const bool covering = fullScreen_;
  if (covering) ToggleFullScreen();
  const bool approved = QueryClose();
  if (!approved && covering) ReturnToFullScreen();
  return approved;
}

void TForm3D::CloseDocument() {
  if (QMdiSubWindow* sub = SubWindow()) {
    sub->close();
  } else {
    close();
  }
}

void TForm3D::closeEvent(QCloseEvent* event) {
  // Its sub-window closing with it inside, after the question: it goes.
  if (destroying_ || closing_) {
    event->accept();
    return;
  }
  event->ignore();
  if (SubWindow() != nullptr) {
    Guarded([&] { CloseDocument(); });
    return;
  }
  bool approved = false;
  Guarded([&] { approved = ApproveClose(); });
  event->setAccepted(approved);
}

void TForm3D::TreeViewDblClickTracked() {
  // The double click's edit dialog does not say whether it changed anything: the
  // object's record before and after does.
  TGraphMain* object = treeAdapter_->NodeData(treeAdapter_->IdOf(TreeView->currentItem()));
  if (object != nullptr && object->TypeId == GraphTypeId::Group) object = nullptr;  // groups have no dialog
  std::vector<uint8_t> before;
  if (object != nullptr) Guarded([&] { before = RecordOf(*object); });
  TreeViewDblClick();
  if (object == nullptr) return;
  Guarded([&] {
    if (RecordOf(*object) != before) SetModified(true);
  });
}

void TForm3D::RebuildTree() {
  treeAdapter_->BeginUpdate();
  try {
    treeAdapter_->ClearNodes();
    root_->AddToTree(treeAdapter_.get());
    root_->ApplyExpanded(true);
  } catch (...) {
    treeAdapter_->EndUpdate();
    throw;
  }
  treeAdapter_->EndUpdate();
  RebuildObjectMenus(0);
}

void TForm3D::ReplaceRoot(std::unique_ptr<TGraphMain> root) {
  if (!root) return;
  menuTarget_ = nullptr;
  treeAdapter_->ClearNodes();
  root_ = std::move(root);
  root_->SetTreeView(treeAdapter_.get());
  root_->SetContext(&context_);
  RebuildObjectMenus(0);
}

// ---- Scene context ----------------------------------------------------------------------------

void TForm3D::ResetView() {
  AxisCube->Up().SetVector(0, 1, 0);
  AxisCube->Direction().SetVector(0, 0, 1);
  Camera->Position().SetPoint(0, 0, 20000);
  LightSource->Position().SetPoint(2000, 2000, 2000);
}

TAffineVector TForm3D::ToScene(double x, double y, double z) const {
  // ModelCube stands at PlacedOffset - ModelOffset: the two cancel to what the
  // objects were measured from.
  return SurveyToScene(context_.PlacedOffset, {0, 0, 0}, x, y, z);
}

bool TForm3D::PlaceModel(const std::array<double, 3>& offset) {
  std::array<float, 3> cube{};
  for (size_t i = 0; i < 3; ++i) {
    const double place = context_.PlacedOffset[i] - offset[i];
    // Not a number, or past a float: the model would stand at infinity, then nowhere.
    if (!SceneCanPlace(place)) return false;
    cube[i] = static_cast<float>(place);
  }
  if (offset != context_.ModelOffset) SetModified(true);
  context_.ModelOffset = offset;
  ModelCube->Position().SetPoint(cube[0], cube[1], cube[2]);
  return true;
}

void TForm3D::ShiftModel(double dx, double dy, double dz) {
  const std::array<double, 3>& offset = context_.ModelOffset;
  PlaceModel({offset[0] + dx, offset[1] + dy, offset[2] + dz});
}

bool TForm3D::SetModelCenter(double x, double y, double z) {
  if (PlaceModel({x, z, y})) return true;
  ShowMessageDlg("The center cannot be set to North " + FormatShortest(x) + ", East " + FormatShortest(y) +
                     ", Elevation " + FormatShortest(z) + ": the scene cannot place the model that far.",
                 1);
  return false;
}

void TForm3D::AutoCenter() {
  Camera->Position().SetX(0);
  Camera->Position().SetY(0);
  TSurveyPoint center;
  if (root_->GetCenter(center)) SetModelCenter(center.X, center.Y, center.Z);
}

// ---- Scene and popup menu commands -------------------------------------------------------------

void TForm3D::Center1Click() {
  const TCenterDialog& dialog = ViewWindowHooks().CenterDialog;
  if (!dialog) return;
  const std::array<double, 3>& offset = context_.ModelOffset;
  TSurveyPoint center{offset[0], offset[2], offset[1]};
  if (dialog(this, center)) SetModelCenter(center.X, center.Y, center.Z);
}

void TForm3D::DistanceCalculationClick() {
  const TDistanceDialog& dialog = ViewWindowHooks().DistanceDialog;
  std::vector<TGraphMain*> boreholes = root_->GetBoreholes();
  if (boreholes.size() < 2) {
    // Nothing to measure: the user is told why rather than seeing nothing happen.
    ShowMessageDlg("Distances are measured between two boreholes; the scene has " +
                       std::to_string(boreholes.size()) + ".",
                   2);
    return;
  }
  if (dialog) dialog(this, boreholes);
}

void TForm3D::ReDrawClick() { root_->Build(true); }

void TForm3D::SavePictureClick() {
  if (const TFormCommand& command = ViewWindowHooks().SavePicture) command(*this);
}

void TForm3D::CopyToClipboardClick() {
  if (const TFormCommand& command = ViewWindowHooks().CopyPictureToClipboard) command(*this);
}

void TForm3D::BackgroundColorClick() {
  TColor color = GL3DSceneViewer1->Buffer().BackgroundColor();
  // In full screen this window is disabled and covered: the dialog belongs to the
  // full-screen window.
  QWidget* parent = this;
  if (GLFullScreenViewer1->Active() && GLFullScreenViewer1->FullScreenWindow() != nullptr)
    parent = GLFullScreenViewer1->FullScreenWindow();
  if (!ChooseBackgroundColor || !ChooseBackgroundColor(parent, color)) return;
  GL3DSceneViewer1->Buffer().SetBackgroundColor(color);
  GLFullScreenViewer1->Buffer().SetBackgroundColor(color);
}

void TForm3D::ExitClick() {
  if (GLFullScreenViewer1->Active()) GLFullScreenViewer1->SetActive(false);
  CloseMainFrame();
}

void TForm3D::CloseMainFrame() {
  // The frame (or, without one, this window's close) takes the view out of full
  // screen before it asks anything, and puts it back when the closing is cancelled.
  if (const auto& close = ViewWindowHooks().CloseMainFrame) {
    close();
  } else {
    window()->close();
  }
}

// ---- Placement ---------------------------------------------------------------------------------

QMdiSubWindow* TForm3D::SubWindow() const { return qobject_cast<QMdiSubWindow*>(subWindow_.data()); }

QWidget* TForm3D::FrameWidget() {
  if (fullScreen_ && fullScreenHolder_ != nullptr) return fullScreenHolder_;
  // The independent viewer leaves the window in its sub-window.
  if (subWindow_ != nullptr && (!fullScreen_ || usedFullScreenViewer_)) return subWindow_;
  return this;
}

QMdiArea* TForm3D::FrameArea() const {
  QMdiSubWindow* sub = SubWindow();
  return sub != nullptr ? sub->mdiArea() : nullptr;
}

int TForm3D::PanelWidth() const { return placement_.PanelWidth; }

void TForm3D::ReadPlacement() {
  QWidget* frame = FrameWidget();
  const QRect current = frame->geometry();
  const int left = ReadSetting(SettingKeys::FormLeft, current.left());
  const int top = ReadSetting(SettingKeys::FormTop, current.top());
  // The stored place bounded to the screen it is on; a sub-window's place is in its
  // area, which that screen bounds. Every later step (the count of an open, the
  // view's buffers) takes the size from here.
  const QRect screen = frame->isWindow()
                           ? AvailableScreenAreaAt(QPoint(left, top))
                           : QRect(QPoint(0, 0), AvailableScreenAreaAt(frame->mapToGlobal(QPoint(0, 0))).size());
  // A stored width no user could have dragged (below a usable tree, wider than the
  // screen) is damage: the tree gets its usual width.
  constexpr int kPanelWidth = 155;
  placement_.PanelWidth = ReadSetting(SettingKeys::PanelWidth, kPanelWidth);
  if (placement_.PanelWidth < std::max(TreeView->minimumWidth(), 20) || placement_.PanelWidth > screen.width())
    placement_.PanelWidth = kPanelWidth;
  Splitter1->setSizes({std::max(1, frame->width() - placement_.PanelWidth), placement_.PanelWidth});
  placement_.Maximized = ReadSetting(SettingKeys::Maximized, false);
  placement_.Normal = current;
  if (placement_.Maximized) {
    frame->setWindowState(frame->windowState() | Qt::WindowMaximized);
  } else {
    // Small enough still for the frame to give a window that had no size of its own
    // a usable one.
    constexpr QSize kSmallestStoredSize(100, 75);
    const QRect place = StoredPlaceOnScreen(left, top, ReadSetting(SettingKeys::FormWidth, current.width()),
                                            ReadSetting(SettingKeys::FormHeight, current.height()), screen,
                                            kSmallestStoredSize);
    frame->setGeometry(place);
    placement_.Normal = place;
  }
}

void TForm3D::TrackPlacement() { FrameWidget()->installEventFilter(this); }

bool TForm3D::eventFilter(QObject* watched, QEvent* event) {
  // Every close of the sub-window (its X, Ctrl+W, Ctrl+F4, its system menu, the
  // document's other windows) comes here, also while it stands empty for the view
  // that covers the screen, where Qt alone would close it without a word.
  if (watched == subWindow_.data() && event->type() == QEvent::Close && !destroying_ && !closing_) {
    bool approved = false;
    Guarded([&] { approved = ApproveClose(); });
    if (!approved) {
      event->ignore();
      return true;
    }
    // Qt goes on closing the sub-window, which holds the view again, and frees both.
    closing_ = true;
    if (const auto& hook = ViewWindowHooks().Closed) Guarded([&] { hook(*this); });
    return false;
  }
  if (!destroying_ && !fullScreen_ && watched == FrameWidget()) {
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize || type == QEvent::Move || type == QEvent::WindowStateChange) {
      QWidget* frame = FrameWidget();
      const Qt::WindowStates state = frame->windowState();
      placement_.Maximized = (state & Qt::WindowMaximized) != 0;
      if ((state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) == 0)
        placement_.Normal = frame->geometry();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm3D::WritePlacement() {
  if (!fullScreen_ && TreeView->isVisible()) placement_.PanelWidth = TreeView->width();
  WriteSetting(SettingKeys::PanelWidth, placement_.PanelWidth);
  WriteSetting(SettingKeys::Maximized, placement_.Maximized);
  if (placement_.Maximized) return;
  WriteSetting(SettingKeys::FormWidth, placement_.Normal.width());
  WriteSetting(SettingKeys::FormHeight, placement_.Normal.height());
  WriteSetting(SettingKeys::FormLeft, placement_.Normal.left());
  WriteSetting(SettingKeys::FormTop, placement_.Normal.top());
}

}  // namespace qira
