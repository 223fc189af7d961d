#pragma once
// Texts a file stores in Windows-1252 and cannot hold whole: found by running the
// file's writer dry, so that no text it converts is missed, and told before anything
// is written; the user goes on (each such character stored as "?", as the format
// has it) or cancels.
#include <functional>
#include <string>

namespace qira {

class TBinaryStream;
class TCp1252Losses;

// The question before a write to path that would lose characters of the texts losses
// holds: each object with its characters, as ListedNames lists names (the first
// MaxListedNames, then how many more).
std::string LostTextQuestion(const std::string& path, const TCp1252Losses& losses);

// Runs write into a stream that keeps nothing, collecting what its conversions lose;
// when any text lost a character, asks LostTextQuestion (a warning, Yes / No, No the
// default). True to write: nothing lost, or Yes. A write that fails dry is left to
// fail again, and be told, when it is done for real.
bool WriteKeepsTextOrUserAgrees(const std::string& path, const std::function<bool(TBinaryStream&)>& write);

// What a dialog shows under a field whose text a project stores: the characters it
// cannot hold (the first TCp1252Loss::kListedCharacters), and that they are saved as
// "?"; "" when it holds them all.
std::string LostTextWarning(const std::string& text);

}  // namespace qira
