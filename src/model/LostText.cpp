#include "model/LostText.h"

#include <algorithm>
#include <vector>

#include "model/Dxf.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"

namespace qira {

namespace {

// The characters apart, so that a combining mark among them is seen; past the
// first TCp1252Loss::kListedCharacters, "...".
std::string SpacedCharacters(const std::string& utf8, bool more) {
  std::string spaced;
  size_t count = 0;
  for (size_t i = 0; i < utf8.size(); ++count) {
    if (count == TCp1252Loss::kListedCharacters) {
      more = true;
      break;
    }
    char32_t cp;
    const size_t len = std::max<size_t>(Utf8SequenceAt(utf8, i, cp), 1);
    if (!spaced.empty()) spaced += ' ';
    spaced.append(utf8, i, len);
    i += len;
  }
  return more ? spaced + " ..." : spaced;
}

}  // namespace

std::string LostTextQuestion(const std::string& path, const TCp1252Losses& losses) {
  std::vector<std::string> lines;
  for (const TCp1252Loss& loss : losses.Listed()) {
    std::string line = SpacedCharacters(loss.Characters, loss.More) + " in ";
    if (!loss.Kind.empty()) line += loss.Kind + " ";
    lines.push_back(line + "\"" + loss.Subject + "\"");
  }
  return "The file \"" + path +
         "\" stores texts in Windows-1252, which has no place for these characters: each would be saved as "
         "\"?\".\n\n" +
         ListedNames(lines, losses.Count(), "\n") + "\nSave anyway?";
}

bool WriteKeepsTextOrUserAgrees(const std::string& path, const std::function<bool(TBinaryStream&)>& write) {
  TCp1252Losses losses(MaxListedNames);
  {
    TDiscardStream dry;
    write(dry);
  }
  if (losses.Count() == 0) return true;
  return MessageBoxDlg(LostTextQuestion(path, losses), 0, TMessageButtons::YesNo, 2) == TMessageResult::Yes;
}

std::string LostTextWarning(const std::string& text) {
  const std::string lost = Cp1252LostCharacters(text);
  if (lost.empty()) return {};
  return "A project file has no place for " + SpacedCharacters(lost, false) + ": saved as \"?\".";
}

}  // namespace qira
