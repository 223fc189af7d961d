#include "ui/CoordinateDialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/HandlerGuard.h"
#include "platform/NumberText.h"
#include "platform/Services.h"
#include "platform/TextLines.h"
#include "ui/DialogSupport.h"

// Sections: point list file; one point; a list of points.

namespace qira {

namespace {


constexpr int kFieldWidth = 16;

std::string RightAligned(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// ParseFloat without raising: a number with '.' or ',' as the decimal separator.
bool ParseWord(const std::string& word, double& value) {
  return ParseDouble(NormalizeDecimalSeparator(word), value, false);
}

TFileRequest PointListRequest(bool save) {
  TFileRequest request;
  request.Filter = kPointListFilter;
  request.DefaultExt = kPointListExt;
  request.OverwritePrompt = save;
  return request;
}

}  // namespace

// ---- Point list file ----------------------------------------------------------------

std::string FormatPointLine(const TSurveyPoint& point) {
  return RightAligned(FloatToStrFixed(2, point.X), kFieldWidth) + "  " +
         RightAligned(FloatToStrFixed(2, point.Y), kFieldWidth) + "  " +
         RightAligned(FloatToStrFixed(2, point.Z), kFieldWidth);
}

bool ParsePointLine(const std::string& line, TSurveyPoint& point) {
  std::vector<std::string> words;
  SplitWords(line, words);
  if (words.size() < 3) return false;
  TSurveyPoint read;
  if (!ParseWord(words[0], read.X) || !ParseWord(words[1], read.Y) || !ParseWord(words[2], read.Z)) return false;
  point = read;
  return true;
}

std::vector<TSurveyPoint> ParsePointList(const std::string& text) {
  std::vector<TSurveyPoint> points;
  for (const std::string& line : SplitTextLines(text)) {
    TSurveyPoint point;
    if (ParsePointLine(line, point)) points.push_back(point);
  }
  return points;
}

TPointListRead ReadPointListFile(const std::string& utf8Path, std::vector<TSurveyPoint>& points,
                                 std::string* error) {
  points.clear();
  std::vector<uint8_t> bytes;
  std::string message;
  if (!ReadWholeFileOrTell(utf8Path, bytes, message)) {
    if (error) *error = message;
    return TPointListRead::CannotOpen;
  }
  points = ParsePointList(std::string(bytes.begin(), bytes.end()));
  return TPointListRead::Ok;
}

bool WritePointListFile(const std::string& utf8Path, const std::vector<TSurveyPoint>& points,
                        std::string* error) {
  return WriteFileAtomicAsItGoes(
      utf8Path,
      [&points](const TTextSink& out) {
        for (const TSurveyPoint& point : points)
          if (!out(FormatPointLine(point) + "\r\n")) return false;
        return true;
      },
      error);
}

// ---- One point ----------------------------------------------------------------------

TCoordDlgForm::TCoordDlgForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Coordinates"));
  Edit1 = new QLineEdit(this);
  Edit2 = new QLineEdit(this);
  Edit3 = new QLineEdit(this);
  auto* fields = new QFormLayout();
  fields->addRow(QStringLiteral("North:"), Edit1);
  fields->addRow(QStringLiteral("East:"), Edit2);
  fields->addRow(QStringLiteral("Elevation:"), Edit3);
  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { accept(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
}

void TCoordDlgForm::Start(double north, double east, double elevation) {
  Edit1->setText(ToQt(FloatToStrFixed(2, north)));
  Edit2->setText(ToQt(FloatToStrFixed(2, east)));
  Edit3->setText(ToQt(FloatToStrFixed(2, elevation)));
}

void TCoordDlgForm::Finish(double& north, double& east, double& elevation) const {
  north = ParseFloat(FromQt(Edit1->text()));
  east = ParseFloat(FromQt(Edit2->text()));
  elevation = ParseFloat(FromQt(Edit3->text()));
}

void TCoordDlgForm::accept() {
  bool valid = false;
  Guarded([&] {
    for (QLineEdit* edit : {Edit1, Edit2, Edit3})
      if (!ValidateFloatEdit(FromQt(edit->text()), false, [edit] { edit->setFocus(); })) return;
    valid = true;
  });
  if (valid) QDialog::accept();
}

bool TCoordDlgForm::Execute(double& north, double& east, double& elevation) {
  Start(north, east, elevation);
  if (exec() != QDialog::Accepted) return false;
  double n = 0, e = 0, z = 0;
  Finish(n, e, z);
  north = n;
  east = e;
  elevation = z;
  return true;
}

bool EditPointWithDialog(QWidget* parent, TSurveyPoint& point) {
  TCoordDlgForm dialog(parent);
  return dialog.Execute(point.X, point.Y, point.Z);
}

// ---- A list of points ---------------------------------------------------------------

TCoordsEditForm::TCoordsEditForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Edit coordinates"));
  ListView1 = new QTreeWidget(this);
  ListView1->setColumnCount(3);
  ListView1->setHeaderLabels({QStringLiteral("Northing"), QStringLiteral("Easting"), QStringLiteral("Elevation")});
  for (int column = 0; column < 3; ++column) ListView1->setColumnWidth(column, 100);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

  auto button = [this](const char* caption, void (TCoordsEditForm::*command)()) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    connect(b, &QPushButton::clicked, this, [this, command] { Guarded([&] { (this->*command)(); }); });
    return b;
  };
  BitBtn1 = button("Up", &TCoordsEditForm::UpClick);
  BitBtn2 = button("Down", &TCoordsEditForm::DownClick);
  BitBtn3 = button("Create", &TCoordsEditForm::CreateClick);
  BitBtn4 = button("Delete", &TCoordsEditForm::DeleteClick);
  BitBtn5 = button("Edit", &TCoordsEditForm::EditClick);
  BitBtn6 = button("Open", &TCoordsEditForm::OpenClick);
  BitBtn7 = button("Save", &TCoordsEditForm::SaveClick);
  BitBtn10 = button("Copy", &TCoordsEditForm::CopyClick);
  BitBtn8 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn9 = new QPushButton(QStringLiteral("Cancel"), this);
  BitBtn8->setDefault(true);
  connect(BitBtn8, &QPushButton::clicked, this, [this] { accept(); });
  connect(BitBtn9, &QPushButton::clicked, this, [this] { reject(); });

  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { Guarded([&] { UpdateButtons(); }); });
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { Guarded([&] { EditClick(); }); });

  auto* commands = new QVBoxLayout();
  for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn3, BitBtn10, BitBtn4, BitBtn5, BitBtn6, BitBtn7})
    commands->addWidget(b);
  commands->addStretch(1);
  auto* body = new QHBoxLayout();
  body->addWidget(ListView1, 1);
  body->addLayout(commands);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(BitBtn8);
  buttons->addWidget(BitBtn9);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);
  resize(480, 320);
  UpdateButtons();
}

void TCoordsEditForm::Start(const std::vector<TSurveyPoint>& points) {
  ReplaceRows(points);
}

bool TCoordsEditForm::Execute(std::vector<TSurveyPoint>& points) {
  Start(points);
  if (exec() != QDialog::Accepted) return false;
  points = points_;
  return true;
}

int TCoordsEditForm::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.front());
}

void TCoordsEditForm::SelectRow(int row) {
  QTreeWidgetItem* item = ListView1->topLevelItem(row);
  if (!item) {
    ListView1->clearSelection();
  } else {
    ListView1->setCurrentItem(item);
    item->setSelected(true);
  }
  UpdateButtons();
}

void TCoordsEditForm::UpdateButtons() {
  const int row = SelectedRow();
  const int count = static_cast<int>(points_.size());
  BitBtn1->setEnabled(row > 0 && count >= 2);
  BitBtn2->setEnabled(row >= 0 && row < count - 1 && count >= 2);
  BitBtn4->setEnabled(row >= 0);
  BitBtn5->setEnabled(row >= 0);
}

void TCoordsEditForm::ShowRow(int row) {
  QTreeWidgetItem* item = ListView1->topLevelItem(row);
  const TSurveyPoint& p = points_[static_cast<size_t>(row)];
  item->setText(0, ToQt(FloatToStrFixed(2, p.X)));
  item->setText(1, ToQt(FloatToStrFixed(2, p.Y)));
  item->setText(2, ToQt(FloatToStrFixed(2, p.Z)));
}

void TCoordsEditForm::InsertRow(int row, const TSurveyPoint& point) {
  points_.insert(points_.begin() + row, point);
  ListView1->insertTopLevelItem(row, new QTreeWidgetItem());
  ShowRow(row);
}

void TCoordsEditForm::ReplaceRows(const std::vector<TSurveyPoint>& points) {
  ListView1->clearSelection();
  ListView1->clear();
  points_ = points;
  QList<QTreeWidgetItem*> items;
  for (size_t i = 0; i < points_.size(); ++i) items.append(new QTreeWidgetItem());
  ListView1->addTopLevelItems(items);
  for (int row = 0; row < static_cast<int>(points_.size()); ++row) ShowRow(row);
  UpdateButtons();
}

void TCoordsEditForm::UpClick() {
  const int row = SelectedRow();
  if (row < 1) return;
  std::swap(points_[static_cast<size_t>(row)], points_[static_cast<size_t>(row - 1)]);
  ShowRow(row);
  ShowRow(row - 1);
  SelectRow(row - 1);
}

void TCoordsEditForm::DownClick() {
  const int row = SelectedRow();
  if (row < 0 || row + 1 >= static_cast<int>(points_.size())) return;
  std::swap(points_[static_cast<size_t>(row)], points_[static_cast<size_t>(row + 1)]);
  ShowRow(row);
  ShowRow(row + 1);
  SelectRow(row + 1);
}

void TCoordsEditForm::CreateClick() {
  const int row = SelectedRow();
  TSurveyPoint point;
  if (row >= 0)
    point = points_[static_cast<size_t>(row)];
  else if (!points_.empty())
    point = points_.front();
  if (!EditPoint || !EditPoint(this, point)) return;
  const int at = row >= 0 ? row + 1 : static_cast<int>(points_.size());
  InsertRow(at, point);
  SelectRow(at);
}

void TCoordsEditForm::CopyClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  InsertRow(row + 1, points_[static_cast<size_t>(row)]);
  SelectRow(row + 1);
}

void TCoordsEditForm::DeleteClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  ListView1->clearSelection();
  delete ListView1->takeTopLevelItem(row);
  points_.erase(points_.begin() + row);
  ListView1->clearSelection();
  UpdateButtons();
}

void TCoordsEditForm::EditClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  TSurveyPoint point = points_[static_cast<size_t>(row)];
  if (!EditPoint || !EditPoint(this, point)) return;
  points_[static_cast<size_t>(row)] = point;
  ShowRow(row);
}

void TCoordsEditForm::OpenClick() {
  TFileRequest request = PointListRequest(false);
  const std::optional<std::string> file = Services().Files->OpenFile(request);
  if (!file) return;
  std::vector<TSurveyPoint> points;
  std::string error;
  if (ReadPointListFile(*file, points, &error) == TPointListRead::CannotOpen) {
    ShowMessageDlg(error, 1);
    return;
  }
  if (points.empty()) {
    ShowMessageDlg(kNoDataLoaded, 2);
    return;
  }
  ReplaceRows(points);
}

void TCoordsEditForm::SaveClick() {
  TFileRequest request = PointListRequest(true);
  const std::optional<std::string> file = Services().Files->SaveFile(request);
  if (!file) return;
  std::string error;
  if (!WritePointListFile(*file, points_, &error)) ShowMessageDlg(CannotFileText("create", *file, error), 1);
}

bool EditPointListWithDialog(QWidget* parent, std::vector<TSurveyPoint>& points) {
  TCoordsEditForm dialog(parent);
  return dialog.Execute(points);
}

}  // namespace qira
