#include "platform/RecoveryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>

#include "platform/BinaryStream.h"
#include "platform/ConfigPaths.h"
#include "platform/ProcessFolders.h"
#include "platform/ProgramVersion.h"

namespace qira {

namespace {

constexpr char kRecordHead[] = "QIRA recovery copy\n";
constexpr char kCopyEnding[] = ".q3d";
constexpr char kRecordEnding[] = ".record";
// A record holds a path and a caption: far below this.
constexpr size_t kLargestRecord = 1 << 20;

// The slot of a name "<digits><ending>"; none for any other name, which this
// store did not make.
std::optional<int> SlotOf(const std::string& name, const std::string& ending) {
  if (name.size() <= ending.size() || !name.ends_with(ending)) return std::nullopt;
  const std::string_view digits(name.data(), name.size() - ending.size());
  int slot = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
  if (error != std::errc() || end != digits.data() + digits.size() || slot < 0 || digits.front() == '+')
    return std::nullopt;
  return slot;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "<key> <length>\n<bytes>\n".
std::string Field(const std::string& key, const std::string& value) {
  return key + " " + std::to_string(value.size()) + "\n" + value + "\n";
}

// Reads Field's form at `at` of `text`; false when it is not there.
bool TakeField(const std::string& text, size_t& at, const std::string& key, std::string& value) {
  const std::string head = key + " ";
  if (text.compare(at, head.size(), head) != 0) return false;
  const size_t lineEnd = text.find('\n', at);
  if (lineEnd == std::string::npos) return false;
  size_t length = 0;
  const char* first = text.data() + at + head.size();
  const auto [end, error] = std::from_chars(first, text.data() + lineEnd, length);
  if (error != std::errc() || end != text.data() + lineEnd || length > text.size() - lineEnd - 1 ||
      text.size() - lineEnd - 1 - length < 1 || text[lineEnd + 1 + length] != '\n')
    return false;
  value = text.substr(lineEnd + 1, length);
  at = lineEnd + 2 + length;
  return true;
}

}  // namespace

std::string RecoveryCopiesFolder() { return StateFolder() + "/" + ProgramName() + "/recovery-copies"; }

std::string RecoveryRecordText(const TRecoveryRecord& record) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(record.Time.time_since_epoch()).count();
  return kRecordHead + Field("time", std::to_string(seconds)) + Field("caption", record.Caption) +
         Field("file", record.DocumentPath);
}

bool ParseRecoveryRecord(const std::string& text, TRecoveryRecord& record) {
  if (!text.starts_with(kRecordHead)) return false;
  size_t at = sizeof kRecordHead - 1;
  std::string time;
  TRecoveryRecord read;
  long long seconds = 0;
  if (!TakeField(text, at, "time", time) || !TakeField(text, at, "caption", read.Caption) ||
      !TakeField(text, at, "file", read.DocumentPath) || at != text.size())
    return false;
  const auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), seconds);
  if (error != std::errc() || end != time.data() + time.size()) return false;
  read.Time = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
  record = std::move(read);
  return true;
}

bool TRecoveryStore::EnsureFolder(std::string* error) {
  if (!folder_.empty()) return true;
  const std::string root = RecoveryCopiesFolder();
  std::string reason;
  int err = 0;
  if (EnsureFolderExists(root, &reason)) {
    folder_ = MakeStampFolder(root, err);
    if (!folder_.empty()) return true;
    reason = ErrnoText(err);
  }
  if (error) *error = "\"" + root + "\": " + reason;
  return false;
}

bool TRecoveryStore::WriteRecord(int slot, const TRecoveryRecord& record, std::string* error) {
  if (!EnsureFolder(error)) return false;
  const std::string path = folder_ + "/" + std::to_string(slot) + kRecordEnding;
  std::string reason;
  std::unique_ptr<TSaveFile> save = TSaveFile::Create(path, &reason);
  if (save) {
    const std::string text = RecoveryRecordText(record);
    if (save->Stream().Write(text.data(), static_cast<int32_t>(text.size()))) {
      if (save->Commit(&reason)) return true;
    } else {
      reason = save->FailureReason("Stream write error");
    }
  }
  if (error) *error = "\"" + folder_ + "\": " + reason;
  return false;
}

std::string TRecoveryStore::CopyPath(int slot) const { return folder_ + "/" + std::to_string(slot) + kCopyEnding; }

void TRecoveryStore::RemoveSlot(int slot) {
  if (folder_.empty()) return;
  // The record last: a record without its copy is passed over.
  ::unlink(CopyPath(slot).c_str());
  ::unlink((folder_ + "/" + std::to_string(slot) + kRecordEnding).c_str());
}

void TRecoveryStore::RemoveFolder(const std::string& folder) {
  for (const std::string& name : NamesIn(folder))
    if (SlotOf(name, kCopyEnding) || SlotOf(name, kRecordEnding)) ::unlink((folder + "/" + name).c_str());
  ::unlink((folder + "/" + kProcessIdentityFile).c_str());
  ::rmdir(folder.c_str());
}

std::vector<TRecoveryOffer> TRecoveryStore::TakeEnded() {
  const std::string root = RecoveryCopiesFolder();
  const std::string own = folder_.empty() ? std::string() : folder_.substr(folder_.rfind('/') + 1);
  std::vector<std::string> ended;
  ForEachStampFolder(root, [&](int, const std::string&, const std::string& name, int folder, const struct stat&) {
    if (name != own && FolderProcessEnded(name, folder)) ended.push_back(name);
  });
  if (ended.empty() || !EnsureFolder(nullptr)) return {};
  // A rename is taken by one start only: another that lists the same folder finds
  // it gone.
  for (const std::string& name : ended)
    if (::rename((root + "/" + name).c_str(), (folder_ + "/" + name).c_str()) == 0) taken_.push_back(name);
  // What an ended start had taken comes up beside it.
  for (size_t i = 0; i < taken_.size(); ++i) {
    std::vector<std::string> inner;
    ForEachStampFolder(folder_ + "/" + taken_[i],
                       [&](int, const std::string&, const std::string& name, int, const struct stat&) {
                         inner.push_back(name);
                       });
    for (const std::string& name : inner)
      if (::rename((folder_ + "/" + taken_[i] + "/" + name).c_str(), (folder_ + "/" + name).c_str()) == 0)
        taken_.push_back(name);
  }
  std::vector<TRecoveryOffer> offers;
  std::vector<std::string> holding;
  for (const std::string& name : taken_) {
    const std::string folder = folder_ + "/" + name;
    bool holds = false;
    for (const std::string& file : NamesIn(folder)) {
      const std::optional<int> slot = SlotOf(file, kRecordEnding);
      if (!slot) continue;
      TRecoveryOffer offer;
      offer.RecordPath = folder + "/" + file;
      offer.CopyPath = folder + "/" + std::to_string(*slot) + kCopyEnding;
      const std::optional<std::string> text = ReadSmallFile(AT_FDCWD, offer.RecordPath, kLargestRecord);
      if (!text || !ParseRecoveryRecord(*text, offer.Record) || !IsRegularFile(offer.CopyPath)) continue;
      offers.push_back(std::move(offer));
      holds = true;
    }
    if (holds) {
      holding.push_back(name);
    } else {
      RemoveFolder(folder);
    }
  }
  taken_ = std::move(holding);
  std::stable_sort(offers.begin(), offers.end(),
                   [](const TRecoveryOffer& a, const TRecoveryOffer& b) { return a.Record.Time > b.Record.Time; });
  return offers;
}

void TRecoveryStore::Drop(const TRecoveryOffer& offer) {
  ::unlink(offer.CopyPath.c_str());
  ::unlink(offer.RecordPath.c_str());
  const std::string folder = offer.CopyPath.substr(0, offer.CopyPath.rfind('/'));
  for (const std::string& name : NamesIn(folder))
    if (SlotOf(name, kCopyEnding)) return;
  RemoveFolder(folder);
  std::erase_if(taken_, [&](const std::string& name) { return folder_ + "/" + name == folder; });
}

void TRecoveryStore::GiveBack() {
  const std::string root = RecoveryCopiesFolder();
  for (const std::string& name : taken_) ::rename((folder_ + "/" + name).c_str(), (root + "/" + name).c_str());
  taken_.clear();
}

void TRecoveryStore::RemoveAll() {
  if (folder_.empty()) return;
  GiveBack();
  RemoveFolder(folder_);
  folder_.clear();
}

}  // namespace qira
