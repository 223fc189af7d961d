#pragma once
// The recovery copies of the program's changed documents (a new one too), kept in
// the user's state folder (TRecoveryStore) so that a program killed, crashed or
// stopped with the machine loses at most a minute of changes. A copy is written
// as a save writes, through the same writer, and changes nothing of its document:
// neither its name, its mark, its file nor the recent files. It is written when
// the document changed since its last copy: at the latest kLatest after a change,
// and before every step that may take much memory (BeforeLargeStep). A saved,
// reloaded or closed document's copy goes; the normal end removes them all.
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/RecoveryStore.h"

namespace qira {

class TForm3D;

// A time as the start's messages name it: "YYYY-MM-DD HH:MM", local.
std::string LocalTimeText(std::chrono::system_clock::time_point time);
// Told once per run when a copy could not be written: the work goes on.
std::string RecoveryCopyFailedText(const std::string& caption, const std::string& reason);
// The question asked at the start for a copy an ended run left: which document,
// its folder ("never saved" for a new one) and the time of the copy.
std::string RecoveryOfferText(const TRecoveryRecord& record);

class TRecoveryCopies {
 public:
  static constexpr std::chrono::seconds kLatest{60};

  // `documents` lists the documents kept.
  explicit TRecoveryCopies(std::function<std::vector<TForm3D*>()> documents);
  // The normal end: every copy of this run goes.
  ~TRecoveryCopies();
  TRecoveryCopies(const TRecoveryCopies&) = delete;
  TRecoveryCopies& operator=(const TRecoveryCopies&) = delete;

  // The document's mark changed: a change starts the wait for the next copy (a
  // wait under way is not pushed back); a clean one (saved, read again) loses its
  // copy.
  void ModifiedChanged(TForm3D& form);
  // The document closes (after its question) or is gone: so is its copy.
  void Closed(TForm3D& form);
  // Writes a copy of every kept document changed since its last copy; writes
  // nothing when none did. A failure is told once a run; false when one failed.
  bool CopyChanged();
  // The wait's end: CopyChanged, unless a modal dialog is open (a command may be
  // half-way), when it waits a little longer.
  void CopyDue();
  // Whether a copy is due at the wait's end.
  bool Waiting() const { return timer_.isActive(); }
  // Where the document's copy is; empty when it has none.
  std::string CopyPathOf(const TForm3D& form) const;
  TRecoveryStore& Store() { return store_; }

 private:
  struct TSlot {
    int Number = 0;
    uint64_t Copied = 0;  // the document's ChangeCount at its copy
    bool Written = false;
  };
  bool Copy(TForm3D& form);
  void Forget(const TForm3D& form);

  std::function<std::vector<TForm3D*>()> documents_;
  TRecoveryStore store_;
  std::map<const TForm3D*, TSlot> slots_;
  int nextSlot_ = 0;
  bool failureTold_ = false;
  QTimer timer_;
};

}  // namespace qira
