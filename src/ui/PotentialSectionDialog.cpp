#include "ui/PotentialSectionDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdint>
#include <memory>
#include <utility>

#include "model/GraphRecord.h"
#include "model/GraphSurface.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/HandlerGuard.h"
#include "platform/NumberText.h"
#include "platform/Rounding.h"
#include "widgets/SpinEdit.h"
#include "ui/DialogSupport.h"

// Sections: the band; the command; construction; start and finish; handlers.

namespace qira {

namespace {


// Below this half-distance the band starts at this depth, when both holes reach it.
constexpr double kShallowDepth = 150;

constexpr TColor kPotentialSurfaceColor = MakeColor(166, 202, 240);  // sky blue

// Only a hole with a path (two points or more) has a point at every depth.
bool HasPath(const TGraphBorehole& b) { return b.Points.size() >= 2; }

}  // namespace

// ---- The band -----------------------------------------------------------------------

double DefaultPotentialDepth(const TGraphBorehole& a, const TGraphBorehole& b) {
  const double d = a.DistanceTo(b, 0, 0) / 2;
  if (d < kShallowDepth && a.BottomDepth() > kShallowDepth && b.BottomDepth() > kShallowDepth) return kShallowDepth;
  return d;
}

std::vector<TPotentialQuad> PotentialSectionQuads(const TGraphBorehole& a, const TGraphBorehole& b, double depth,
                                                  int divisions) {
  std::vector<TPotentialQuad> quads;
  if (divisions < 1) return quads;
  const double bottomA = a.BottomDepth();
  const double bottomB = b.BottomDepth();
  quads.reserve(static_cast<size_t>(divisions));
  const TPathAtDepths pathA(a), pathB(b);
  TSurveyPoint upperA = pathA.PointAt(depth);
  TSurveyPoint upperB = pathB.PointAt(depth);
  // Each lower depth is computed from k rather than by adding steps, so the last
  // quad ends exactly at the bottoms; the lower points are handed on unchanged, so
  // neighbouring quads share their edge exactly.
  for (int k = 1; k <= divisions; ++k) {
    const double f = static_cast<double>(k) / divisions;
    const TSurveyPoint lowerA = pathA.PointAt(depth + (bottomA - depth) * f);
    const TSurveyPoint lowerB = pathB.PointAt(depth + (bottomB - depth) * f);
    quads.push_back({upperA, upperB, lowerB, lowerA});
    upperA = lowerA;
    upperB = lowerB;
  }
  return quads;
}

std::unique_ptr<TGraphSurface> NewPotentialSurface(const std::vector<TPotentialQuad>& quads,
                                                   const std::string& name1, const std::string& name2) {
  auto surface = std::make_unique<TGraphSurface>();
  surface->SetName(name1 + " - " + name2);
  surface->BeginAdd();
  for (const TPotentialQuad& q : quads) surface->AddQuad(q[0], q[1], q[2], q[3]);
  surface->EndAdd();
  surface->Color = kPotentialSurfaceColor;
  return surface;
}

bool PotentialSectionFits(int divisions) {
  const TSkippedCost surface = NewSurfaceCost(divisions, 4);
  // The band's quadrilaterals are held beside the surface made from them.
  const int64_t quads = static_cast<int64_t>(divisions) * static_cast<int64_t>(sizeof(TPotentialQuad));
  const TOpenCount count(AvailableMemory(), surface.OpenedBytes + surface.FrameBinnedBytes + quads);
  if (count.Fits()) return true;
  ShowMessageDlg(TooLargeText("The potential section of " + std::to_string(divisions) + " divisions", "made",
                              count.Needed(), count.Available()),
                 1);
  return false;
}

// ---- The command --------------------------------------------------------------------

TGraphMain* PotentialSectionClick(TGraphMain& target) {
  IgnoreNextMouseMove = true;
  std::vector<TPotentialQuad> quads;
  std::string name1;
  std::string name2;
  {
    TPotentialSectionForm form(QApplication::activeWindow());
    if (!form.Execute(target, quads, name1, name2)) return nullptr;
  }
  TGraphMain* added = target.AddNewObject(NewPotentialSurface(quads, name1, name2), false);
  IgnoreNextMouseMove = false;
  return added;
}

void RegisterPotentialSectionDialog() {
  RegisterCreateCommand(TCreateCommand::PotentialSection, [](TGraphMain& target) { PotentialSectionClick(target); });
}

// ---- Construction -------------------------------------------------------------------

TPotentialSectionForm::TPotentialSectionForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Potential section"));
  ComboBox1_ = new QComboBox(this);
  ComboBox2_ = new QComboBox(this);

  SpinEditEx1_ = new TSpinEditEx(this);
  SpinEditEx1_->SetValueType(vtFloat);
  SpinEditEx1_->SetDecimal(1);
  SpinEditEx1_->SetValue(0);

  SpinEditEx2_ = new TSpinEditEx(this);
  SpinEditEx2_->SetValueType(vtInteger);
  SpinEditEx2_->SetMinValue(MinPotentialDivisions);
  SpinEditEx2_->SetMaxValue(MaxPotentialDivisions);
  SpinEditEx2_->SetValue(DefaultPotentialDivisions);

  BitBtn1_ = new QPushButton(QStringLiteral("OK"), this);
  Cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  BitBtn1_->setDefault(true);

  auto* fields = new QGridLayout();
  fields->addWidget(new QLabel(QStringLiteral("Boreholes:"), this), 0, 0);
  fields->addWidget(ComboBox1_, 0, 1);
  fields->addWidget(ComboBox2_, 0, 2);
  fields->addWidget(new QLabel(QStringLiteral("Min. depth:"), this), 1, 0);
  fields->addWidget(SpinEditEx1_, 1, 1);
  fields->addWidget(new QLabel(QStringLiteral("Divisions"), this), 2, 0);
  fields->addWidget(SpinEditEx2_, 2, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1_);
  buttons->addWidget(Cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  resize(335, 149);

  auto change = [this] { Guarded([this] { ComboBox1Change(); }); };
  connect(ComboBox1_, &QComboBox::currentIndexChanged, this, change);
  connect(ComboBox2_, &QComboBox::currentIndexChanged, this, change);
  connect(BitBtn1_, &QPushButton::clicked, this, [this] { Guarded([this] { BitBtn1Click(); }); });
  connect(Cancel_, &QPushButton::clicked, this, [this] { reject(); });
}

// ---- Start and finish ---------------------------------------------------------------

bool TPotentialSectionForm::Execute(TGraphMain& root, std::vector<TPotentialQuad>& quads, std::string& name1,
                                    std::string& name2) {
  std::vector<TGraphBorehole*> boreholes;
  for (TGraphMain* object : root.GetBoreholes())
    if (auto* b = dynamic_cast<TGraphBorehole*>(object); b && HasPath(*b)) boreholes.push_back(b);
  if (boreholes.size() < 2) return false;
  Start(boreholes);
  const bool ok = exec() == QDialog::Accepted;
  if (ok) Finish(quads, name1, name2);
  Boreholes_.clear();
  return ok;
}

void TPotentialSectionForm::Start(const std::vector<TGraphBorehole*>& boreholes) {
  Boreholes_ = boreholes;
  Starting_ = true;
  ComboBox1_->clear();
  ComboBox2_->clear();
  for (TGraphBorehole* b : Boreholes_) {
    ComboBox1_->addItem(ToQt(b->Name()));
    ComboBox2_->addItem(ToQt(b->Name()));
  }
  if (!Boreholes_.empty()) ComboBox1_->setCurrentIndex(0);
  if (Boreholes_.size() > 1) ComboBox2_->setCurrentIndex(1);
  SpinEditEx2_->SetValue(ReadSetting(SettingKeys::DivisionIdent, DefaultPotentialDivisions));
  Starting_ = false;
  ComboBox1Change();
}

int TPotentialSectionForm::Divisions() const {
  return RoundToInt(SpinEditEx2_->CheckValue(SpinEditEx2_->Value()));
}

void TPotentialSectionForm::Finish(std::vector<TPotentialQuad>& quads, std::string& name1,
                                   std::string& name2) const {
  const TGraphBorehole* a = FirstBorehole();
  const TGraphBorehole* b = SecondBorehole();
  if (!a || !b) return;
  const int n = Divisions();
  WriteSetting(SettingKeys::DivisionIdent, n);
  quads = PotentialSectionQuads(*a, *b, SpinEditEx1_->Value(), n);
  name1 = a->Name();
  name2 = b->Name();
}

TGraphBorehole* TPotentialSectionForm::FirstBorehole() const {
  const int i = ComboBox1_->currentIndex();
  return i >= 0 && i < static_cast<int>(Boreholes_.size()) ? Boreholes_[static_cast<size_t>(i)] : nullptr;
}

TGraphBorehole* TPotentialSectionForm::SecondBorehole() const {
  const int i = ComboBox2_->currentIndex();
  return i >= 0 && i < static_cast<int>(Boreholes_.size()) ? Boreholes_[static_cast<size_t>(i)] : nullptr;
}

// ---- Handlers -----------------------------------------------------------------------

void TPotentialSectionForm::ComboBox1Change() {
  if (Starting_) return;
  const TGraphBorehole* a = FirstBorehole();
  const TGraphBorehole* b = SecondBorehole();
  if (!a || !b || a == b) return;
  SpinEditEx1_->SetValue(DefaultPotentialDepth(*a, *b));
}

void TPotentialSectionForm::BitBtn1Click() {
  const TGraphBorehole* a = FirstBorehole();
  if (!a || a == SecondBorehole()) {
    ShowMessageDlg("You should choose different boreholes", 1);
    return;
  }
  if (!ValidateFloatEdit(FromQt(SpinEditEx1_->text()), false, [this] { SpinEditEx1_->setFocus(); })) return;
  // The divisions field holds an integer; a decimal there is as wrong as letters.
  int64_t divisions = 0;
  const std::string text = FromQt(SpinEditEx2_->text());
  if (!ParseInt64(text, divisions)) {
    ShowMessageDlg("Invalid value: " + text, 1);
    SpinEditEx2_->setFocus();
    return;
  }
  // Counted before anything is made, as an open counts what it adds; the dialog stays
  // for fewer divisions.
  if (!PotentialSectionFits(Divisions())) {
    SpinEditEx2_->setFocus();
    return;
  }
  accept();
}

}  // namespace qira
