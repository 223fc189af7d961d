#pragma once
// "Potential section": the vertical band between two boreholes that a measurement
// between them could cover, from a chosen depth down to each borehole's bottom, cut
// into a number of quadrilaterals. The object menu's "&Potential section" command
// turns the band into a sky-blue surface named after the two boreholes.
//
// RegisterPotentialSectionDialog() installs that command ("&Create" > "&Potential
// section" of every object's menu).
#include <QDialog>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/Borehole.h"
#include "model/SurveyPoint.h"

class QComboBox;
class QPushButton;

namespace qira {

class TGraphSurface;
class TSpinEditEx;

// Call once after the QApplication exists.
void RegisterPotentialSectionDialog();

// Four points in survey coordinates: first borehole upper, second borehole upper,
// second borehole lower, first borehole lower.
using TPotentialQuad = std::array<TSurveyPoint, 4>;

// The divisions the dialog offers: 3 .. 1000000 (10 by default).
inline constexpr int MinPotentialDivisions = 3;
inline constexpr int MaxPotentialDivisions = 1000000;
inline constexpr int DefaultPotentialDivisions = 10;

// The starting depth offered for a pair: half the distance between the two holes at
// depth 0, or 150 when that is less than 150 and both holes reach below 150. Both
// holes need at least one point.
double DefaultPotentialDepth(const TGraphBorehole& a, const TGraphBorehole& b);

// The band from depth on both holes down to each hole's bottom, in `divisions` steps
// (the fraction runs from depth to the bottom either way, so a depth below a bottom
// climbs on that side). Each quad's upper edge is the previous quad's lower edge.
// No quads for fewer than one division; both holes need at least one point.
std::vector<TPotentialQuad> PotentialSectionQuads(const TGraphBorehole& a, const TGraphBorehole& b,
                                                  double depth, int divisions);
// Whether the band of `divisions` and its surface fit the memory left, counted as an
// open counts what it adds; when not, the user is told what it needs.
bool PotentialSectionFits(int divisions);

// The surface of the "&Potential section" command: named name1 + " - " + name2, sky
// blue, one face per quad. Neither context nor parent.
std::unique_ptr<TGraphSurface> NewPotentialSurface(const std::vector<TPotentialQuad>& quads,
                                                   const std::string& name1, const std::string& name2);

// "&Potential section" on the object whose menu was used: the dialog, then on OK the
// surface added sorted under target, put into the tree and built. Returns the surface
// or null when nothing was added.
TGraphMain* PotentialSectionClick(TGraphMain& target);

class TPotentialSectionForm : public QDialog {
 public:
  explicit TPotentialSectionForm(QWidget* parent = nullptr);

  // Lists the boreholes of the whole tree of root (those with a path of at least two
  // points, in tree order); with fewer than two returns false without showing
  // anything. Otherwise Start, the dialog modally and on OK Finish. Cancel returns
  // false and leaves the outputs unchanged. The borehole list is cleared at the end.
  bool Execute(TGraphMain& root, std::vector<TPotentialQuad>& quads, std::string& name1, std::string& name2);
  // Fills both lists (first borehole in ComboBox1, second in ComboBox2), the
  // remembered divisions and the default depth. The boreholes are not owned and must
  // outlive the dialog; at least two.
  void Start(const std::vector<TGraphBorehole*>& boreholes);
  // After OK: stores the divisions as DivisionIdent and computes the quads and names.
  void Finish(std::vector<TPotentialQuad>& quads, std::string& name1, std::string& name2) const;

  // Either list changed: the default depth of the chosen pair, unless both lists
  // choose the same borehole.
  void ComboBox1Change();
  // OK: the same borehole twice, or a field that is not a number, is told to the user
  // and the dialog stays open; otherwise it closes with OK.
  void BitBtn1Click();

  // The boreholes chosen in the lists; null when a list chooses none.
  TGraphBorehole* FirstBorehole() const;
  TGraphBorehole* SecondBorehole() const;

  QComboBox* ComboBox1() const { return ComboBox1_; }
  QComboBox* ComboBox2() const { return ComboBox2_; }
  TSpinEditEx* SpinEditEx1() const { return SpinEditEx1_; }
  TSpinEditEx* SpinEditEx2() const { return SpinEditEx2_; }
  QPushButton* BitBtn1() const { return BitBtn1_; }
  QPushButton* CancelButton() const { return Cancel_; }

 private:
  // The divisions of the field, rounded and kept within the offered range.
  int Divisions() const;

  std::vector<TGraphBorehole*> Boreholes_;
  bool Starting_ = false;

  QComboBox* ComboBox1_;
  QComboBox* ComboBox2_;
  TSpinEditEx* SpinEditEx1_;
  TSpinEditEx* SpinEditEx2_;
  QPushButton* BitBtn1_;
  QPushButton* Cancel_;
};

}  // namespace qira
