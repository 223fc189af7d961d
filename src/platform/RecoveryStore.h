#pragma once
// Where recovery copies of changed documents are kept: a folder per running
// process in the user's state folder, RecoveryCopiesFolder() + "/<process stamp>"
// (see ProcessFolders.h), made at the process's first copy and removed at its
// normal end. A document's copy is "<n>.q3d", an ordinary project file; beside it
// "<n>.record" says what it is: the document's own file (none for a new one), its
// caption and the time of the copy. Both are written as a save writes (whole or
// not at all), the record first: a record without its copy is of a copy never
// written and is passed over.
//
// A start takes the folders of processes that have ended by renaming each into its
// own folder, so of two starts only one offers a copy, and a start killed while it
// asks leaves them where the next start finds them again.
#include <chrono>
#include <string>
#include <vector>

namespace qira {

// "<state folder>/<program name>/recovery-copies".
std::string RecoveryCopiesFolder();

// What a recovery copy is.
struct TRecoveryRecord {
  std::string DocumentPath;  // empty for a document never saved
  std::string Caption;
  std::chrono::system_clock::time_point Time;
};

// The record's text, and the record read back; false for a text that is not one.
std::string RecoveryRecordText(const TRecoveryRecord& record);
bool ParseRecoveryRecord(const std::string& text, TRecoveryRecord& record);

// A copy of a process that has ended, taken by this one.
struct TRecoveryOffer {
  TRecoveryRecord Record;
  std::string CopyPath;
  std::string RecordPath;
};

class TRecoveryStore {
 public:
  TRecoveryStore() = default;
  // Leaves the files where they are (RemoveAll removes them).
  ~TRecoveryStore() = default;
  TRecoveryStore(const TRecoveryStore&) = delete;
  TRecoveryStore& operator=(const TRecoveryStore&) = delete;

  // Writes the record of the copy `slot` (making this process's folder first);
  // false with a sentence naming the folder and the system's reason in *error.
  bool WriteRecord(int slot, const TRecoveryRecord& record, std::string* error);
  // Where the copy `slot` is written (its folder made by WriteRecord).
  std::string CopyPath(int slot) const;
  // The copy `slot` and its record gone.
  void RemoveSlot(int slot);
  // This process's folder, empty until made.
  const std::string& Folder() const { return folder_; }

  // Takes the folders of every process that has ended and lists their copies,
  // newest first. Folders with nothing to offer are removed.
  std::vector<TRecoveryOffer> TakeEnded();
  // A taken copy gone (opened, or discarded at the user's word).
  void Drop(const TRecoveryOffer& offer);
  // The taken folders still holding copies go back where the next start takes them.
  void GiveBack();
  // The normal end: this process's copies and its folder gone; whatever was taken
  // and not dropped goes back first.
  void RemoveAll();

 private:
  bool EnsureFolder(std::string* error);
  // Removes what this store makes in the folder `folder`, then the folder when it
  // is empty.
  static void RemoveFolder(const std::string& folder);

  std::string folder_;
  std::vector<std::string> taken_;  // names of the folders taken, inside folder_
};

}  // namespace qira
