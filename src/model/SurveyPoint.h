#pragma once
// A point of the survey: North, East, Elevation (X, Y, Z), in that order, as the
// objects keep their geometry and bounds; scene order is applied only when building.
#include <limits>

namespace qira {

struct TSurveyPoint {
  double X = 0;
  double Y = 0;
  double Z = 0;
};

inline bool operator==(const TSurveyPoint& a, const TSurveyPoint& b) {
  return a.X == b.X && a.Y == b.Y && a.Z == b.Z;
}

// Empty bounds: the minimum corner at +infinity, the maximum at -infinity, so the
// first point extended into them becomes both corners.
inline constexpr TSurveyPoint EmptyBoundsMin{std::numeric_limits<double>::infinity(),
                                             std::numeric_limits<double>::infinity(),
                                             std::numeric_limits<double>::infinity()};
inline constexpr TSurveyPoint EmptyBoundsMax{-std::numeric_limits<double>::infinity(),
                                             -std::numeric_limits<double>::infinity(),
                                             -std::numeric_limits<double>::infinity()};

}  // namespace qira
