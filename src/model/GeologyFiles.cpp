#include "model/GeologyFiles.h"

#include <algorithm>
#include <memory>

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

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsSeparator(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// The lines that carry numbers, in order; lines of blanks only are passed over.
class TNumberLines {
 public:
  TNumberLines(std::string_view text, const std::string& displayName)
      : lines_(SplitTextLines(text)), name_(displayName) {}

  // The first `needed` numbers of the next line; the rest of the line is not used.
  std::vector<std::string_view> Next(size_t needed) {
    while (next_ < lines_.size()) {
      std::vector<std::string_view> tokens = Tokens(lines_[next_++]);
      if (tokens.empty()) continue;
      if (tokens.size() < needed) Fail();
      tokens.resize(needed);
      return tokens;
    }
    Fail();
  }

  size_t LineCount() const { return lines_.size(); }

  double Real(std::string_view token) const {
    double v;
    if (!ParseDouble(token, v, /*acceptComma=*/false)) Fail();
    return v;
  }

  [[noreturn]] void Fail() const { throw EInclinationFile("File " + name_ + " has invalid format"); }

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
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

  // The count comes from the file: grow with the lines actually present.
  std::vector<TInkStation> stations;
  stations.reserve(std::min(static_cast<size_t>(count), lines.LineCount()));
  stations.push_back(first);
  for (int32_t i = 1; i < count; ++i) {
    std::vector<std::string_view> numbers = lines.Next(3);
    TInkStation s;
    s.Depth = lines.Real(numbers[0]);
    s.Inclination = lines.Real(numbers[1]);
    s.Azimuth = lines.Real(numbers[2]);
    stations.push_back(s);
  }
  return stations;
}

std::optional<std::vector<TInkStation>> LoadInclinationStations(const std::string& path) {
  const std::string name = FileNameWithoutFolder(path);
  std::vector<uint8_t> bytes;
  std::string message;
  if (!ReadWholeFileOrTellAs(path, name, bytes, message)) {
    ShowMessageDlg(message, 1);
    return std::nullopt;
  }
  try {
    return ParseInclinationText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), name);
  } catch (const EInclinationFile& e) {
    ShowMessageDlg(e.what(), 1);
    return std::nullopt;
  }
}

}  // namespace qira
