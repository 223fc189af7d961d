#pragma once
// The inclination file (*.ink) of the survey system: text, numbers separated by
// blanks, '.' as the decimal point, lines ending in CR LF, LF or CR (the last one
// may have no ending).
//
//   line 1       N X Y Z: the number N of station lines, then the collar's North,
//                East and Elevation
//   line 2       the depth of the first station, which must be 0
//   lines 3..N+1 one station each: depth, inclination (degrees from the vertical),
//                azimuth (degrees clockwise from North)
//
// Values after the ones a line needs are ignored. Lines holding only blanks are
// skipped, as the survey system's own reader skips them while looking for a number.
//
// The geology file (*.bgd) is read by TBHCollectionList (model/BoreholeCollections.h).
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qira {

// Reads only line 1 to offer its collar as defaults. With exactly four words there,
// words 2..4 are parsed with '.' or ',' as the decimal separator and written to x, y, z
// only when all three parse; the result is then true. Otherwise (missing file, a line
// longer than 200 characters, another word count, a word that is no number) false with
// x, y, z unchanged; nothing is shown.
bool ReadInkCollarLine(const std::string& fileName, double& x, double& y, double& z);

// One station. For the first station only Depth is read (Inclination and Azimuth 0).
struct TInkStation {
  double Depth = 0;
  double Inclination = 0;  // degrees from the vertical
  double Azimuth = 0;      // degrees clockwise from North
};

// An inclination file that cannot be read; what() is the message the user sees.
class EInclinationFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The N stations of an inclination file's text. displayName is the file's name
// without folder, used in the messages. Raises EInclinationFile with
//   "File " + name + " has invalid format"   when N or a needed number does not read
//                                            (finite, '.' only), N < 1, or fewer than N
//                                            station lines follow;
//   "File " + name + ". First point must be 0" when the first depth is not exactly 0.
std::vector<TInkStation> ParseInclinationText(std::string_view text, const std::string& displayName);

// Reads the stations of the file at path. On failure shows the message as an error
// ("File " + name + " not found" for a file that cannot be opened) and returns nothing.
std::optional<std::vector<TInkStation>> LoadInclinationStations(const std::string& path);

// The name after the last '/' (or '\\'), extension kept: the name messages show.
std::string FileNameWithoutFolder(const std::string& path);

}  // namespace qira
