#include "model/GeologyFiles.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>

#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/NumberText.h"
#include "platform/TextLines.h"

namespace qira {

namespace {

// The collar line is read with the survey system's line limit.
constexpr int32_t kCollarLineLimit = 200;

// Any control character or space separates numbers, as in the runtime's text reading.
bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The lines that carry numbers, in order, as views into the text; lines of blanks
// only are passed over. Nothing is copied, however many or long the lines.
class TNumberLines {
 public:
  TNumberLines(std::string_view text, const std::string& displayName) : lines_(text), name_(displayName) {}

  // The first `needed` numbers of the next line; the rest of the line is not used.
  std::array<std::string_view, 3> Next(size_t needed) {
    std::array<std::string_view, 3> numbers;
    const std::span<std::string_view> wanted(numbers.data(), needed);
    std::string_view line;
    while (lines_.Next(line)) {
      const size_t found = LeadingWords(line, wanted, IsSeparator);
      if (found == 0) continue;
      if (found < needed) Fail();
      return numbers;
    }
    Fail();
  }

  // The lines left, blank ones too.
  size_t LinesLeft() const {
    size_t n = 0;
    std::string_view line;
    for (TTextLineViews rest = lines_; rest.Next(line);) ++n;
    return n;
  }

  double Real(std::string_view token) const {
    double v;
    if (!ParseDouble(token, v, /*acceptComma=*/false)) Fail();
    return v;
  }

  [[noreturn]] void Fail() const { throw EInclinationFile("File " + name_ + " has invalid format"); }

 private:
  TTextLineViews lines_;
  std::string name_;
};

}  // namespace

std::string FileNameWithoutFolder(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadInkCollarLine(const std::string& fileName, double& x, double& y, double& z) {
  std::unique_ptr<TBinaryFile> file = TBinaryFile::Open(fileName, TBinaryFile::Mode::Read);
  if (!file) return false;
  std::string line;
  if (ReadTextLine(*file, kCollarLineLimit, line) != TLineRead::Line) return false;
  std::vector<std::string> words;
  SplitWords(line, words);
  if (words.size() != 4) return false;
  double values[3];
  try {
    for (int i = 0; i < 3; ++i) values[i] = ParseFloat(words[static_cast<size_t>(i) + 1]);
  } catch (const EConvertError&) {
    return false;
  }
  x = values[0];
  y = values[1];
  z = values[2];
  return true;
}

std::vector<TInkStation> ParseInclinationText(std::string_view text, const std::string& displayName) {
  TNumberLines lines(text, displayName);

  int32_t count;
  if (!ParseInt32(lines.Next(1)[0], count) || count < 1) lines.Fail();

  TInkStation first;
  first.Depth = lines.Real(lines.Next(1)[0]);
  if (first.Depth != 0) throw EInclinationFile("File " + displayName + ". First point must be 0");

  // The count comes from the file: no more stations than the lines present, weighed
  // before they are made. Passed over by an open's count, the stations are still read
  // (a damaged file is told as damaged) but none is kept.
  const size_t most = std::min(static_cast<size_t>(count), lines.LinesLeft() + 1);
  const bool held = WeighArray(static_cast<int64_t>(most), sizeof(TInkStation));
  std::vector<TInkStation> stations;
  if (held) stations.reserve(most);
  stations.push_back(first);
  for (int32_t i = 1; i < count; ++i) {
    const std::array<std::string_view, 3> numbers = lines.Next(3);
    TInkStation s;
    s.Depth = lines.Real(numbers[0]);
    s.Inclination = lines.Real(numbers[1]);
    s.Azimuth = lines.Real(numbers[2]);
    if (held) stations.push_back(s);
  }
  return stations;
}

std::optional<std::vector<TInkStation>> LoadInclinationStations(const std::string& path) {
  const std::string name = FileNameWithoutFolder(path);
  std::optional<std::vector<TInkStation>> stations;
  std::string message;
  try {
    const std::string refusal = ReadCounted(path, [&] {
      WeighWholeFile(path);
      std::vector<uint8_t> bytes;
      if (!ReadWholeFileOrTellAs(path, name, bytes, message)) return;
      stations = ParseInclinationText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), name);
    });
    if (message.empty()) message = refusal;
  } catch (const EInclinationFile& e) {
    message = e.what();
  }
  if (!message.empty()) {
    ShowMessageDlg(message, 1);
    return std::nullopt;
  }
  return stations;
}

}  // namespace qira
