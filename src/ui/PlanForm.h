#pragma once
// TPlanForm: the "Horizontal plan" window. A child window of the main frame that
// belongs to one view window and shows its boreholes from above: each borehole's
// path projected on the horizontal plane (metres east along the bottom axis, north
// along the left axis), named after the borehole with a mark at its collar, and each
// section as a line between its two boreholes' collars. Both axes always have the
// same scale; two buttons zoom in and out; the left axis is labelled at the bottom
// axis' step.
//
// The view window keeps its plan windows in a list that only grows; a closed plan
// window empties its entry, and the view window frees the open ones before anything
// else when it goes.
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/SurveyPoint.h"
#include "platform/CanvasTypes.h"
#include "ui/DialogSupport.h"

class QToolButton;

namespace qira {

class TChart;
class TChartAxis;
class TForm3D;
class TGraphMain;

// ---- the arithmetic of the window, free of widgets ------------------------------------

// The window's header stays free of the chart's headers (their names meet the
// engine's in the view window's unit).
struct TPlanRange {
  double Min = 0;
  double Max = 0;
};
struct TPlanRanges {
  TPlanRange Bottom;
  TPlanRange Left;
};

// The ranges that give a width × height chart rectangle the same pixels per unit on
// both axes: the axis with more pixels per unit widens about its centre, the other
// keeps its range (equal scales keep both). A rectangle without area changes nothing.
TPlanRanges EqualScaleRanges(int32_t width, int32_t height, TPlanRanges ranges);

// The left axis' labels at the bottom axis' label step: the first is the smallest
// multiple of step not below leftMinimum, each next one step further. False (the
// axis keeps its default labels) for a step that is not a positive number.
bool NextPlanLabel(double step, double leftMinimum, int32_t labelIndex, double& labelValue);

// What the plan shows of a view window: each borehole's path in survey order (X
// north, Y east) with its collar, and each section's pair of collars.
struct TPlanBorehole {
  std::string Name;
  TColor Color = clBlack;
  std::vector<TSurveyPoint> Path;
  TSurveyPoint Collar;
};
struct TPlanData {
  std::vector<TPlanBorehole> Boreholes;
  std::vector<std::pair<TSurveyPoint, TSurveyPoint>> Sections;
};
// Collected from the tree under root (hidden objects too); a section whose
// boreholes are not both found is left out.
TPlanData CollectPlanData(TGraphMain& root);

// Bytes the plan of `data` takes in a window of width x height pixels: each line of
// the chart (a borehole's path, its collar's mark, a section) with its values, the
// chart's pictures of the window, and the collected data itself. Taken before
// anything is built; the window checks the memory again as it builds its lines.
int64_t PlanMemoryNeeded(const TPlanData& data, int32_t width, int32_t height);
// The refusal of a plan of that many boreholes that needs neededBytes, in the words
// of every refusal of memory (TooLargeText): "The horizontal plan of <n> boreholes is
// too large to be shown: it needs <m> MB of memory, ...", weighed against
// availableBytes when given, else the memory available now.
std::string PlanMemoryText(size_t boreholes, int64_t neededBytes,
                           std::optional<int64_t> availableBytes = std::nullopt);

// Test hook: how many collars, on this thread, the plans' paints have looked at to
// find whether a series marks one.
int64_t PlanCollarStepsForTesting();

// ---- the window --------------------------------------------------------------------

class TPlanChart;

class TPlanForm : public QWidget {
 public:
  // Created by the view window (Createplan1Click): shows itself at once, in a new
  // sub-window of the main frame's window area when the view window has one.
  explicit TPlanForm(TForm3D& owner);
  // Empties every entry of the owner's plan list that refers to this window.
  ~TPlanForm() override;

  TChart& Chart() const;
  QToolButton* SpeedButton1 = nullptr;  // zoom in
  QToolButton* SpeedButton2 = nullptr;  // zoom out
  QWidget* Panel1 = nullptr;

  // Takes the owner's boreholes and sections again. The axes are fitted to the data
  // when they were never fitted or the data's extent changed; otherwise the user's
  // zoom stays. A plan the memory cannot hold (PlanMemoryNeeded, then the memory
  // left as its lines are built) is refused with PlanMemoryText: the chart is left
  // empty and false returned.
  bool LoadFromView();
  // False when the last load was refused; a new plan window refused so is not shown,
  // and the view window frees it at once.
  bool Loaded() const { return loaded_; }
  // The owner's objects changed: LoadFromView once the current event is done
  // (several changes in a row load once).
  void ScheduleLoad();

  // Event handlers of the form.
  void FormCreate();
  // Closing destroys the window: the action becomes caFree.
  void FormClose(TCloseAction& action);
  void ChartResize();
  void ChartZoom() { ChartResize(); }
  void ChartGetNextAxisLabel(TChartAxis& sender, int32_t labelIndex, double& labelValue, bool& stop);
  void SpeedButton1Click();
  void SpeedButton2Click();

  // The frame that carries the window: its sub-window, or the window itself.
  QWidget* FrameWidget() const;

  // What the window shows, in the view window's terms (callers need no chart
  // headers): the set ranges of the bottom (east) and left (north) axes; the chart
  // rectangle and a pixel of the chart as the next paint draws them (CalcLayout
  // brings both up to date); the colour of a borehole's path (clNone when absent).
  TPlanRanges Ranges() const;
  void SetRanges(const TPlanRanges& ranges);
  void CalcLayout();
  TRect ChartRect() const;
  TColor ChartPixel(int32_t x, int32_t y) const;
  TColor BoreholeColor(const std::string& name) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitAxes(const TPlanData& data);

  QPointer<TForm3D> owner_;
  TPlanChart* chart_ = nullptr;
  QPointer<QWidget> subWindow_;
  bool loadPending_ = false;
  bool loaded_ = false;
  bool fitted_ = false;
  TSurveyPoint fittedMin_, fittedMax_;
};

}  // namespace qira
