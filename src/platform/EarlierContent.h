#pragma once
// The earlier content of a file saved in place, kept whole in the user's state
// folder until the new content is on disk, and the saves a kill interrupted.
//
// Each save keeps one folder, InterruptedSavesFolder() + "/<pid>-<n>-<ticks>",
// holding "target" (the saved file's path), "process" (the saving process's start
// time and the boot it ran in: "<ticks since boot> <boot id>\n") and the content,
// "earlier" with the target's extension. The content is copied as
// "earlier<ext>.part" and takes its final name once whole and on the disk: a kept
// content under its final name is whole, and the target is touched only after
// that. "written" is made once every byte of the new content was handed to the
// system, "told" once a start listed the save. Folders of older builds lack
// "process" and "written".
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace qira {

class TEarlierContent {
 public:
  // Keeps the content of the open file `fd` (the file at `target`); null, with a
  // sentence naming the folder and the system's reason in *error, when it could not
  // be kept whole (nothing is left behind then).
  static std::unique_ptr<TEarlierContent> Keep(int fd, const std::string& target, std::string* error = nullptr);
  // Leaves the kept content where it is: Drop or PutBack remove it.
  ~TEarlierContent() = default;

  TEarlierContent(const TEarlierContent&) = delete;
  TEarlierContent& operator=(const TEarlierContent&) = delete;

  // Call once the last byte of the new content was handed to the system: a kill of
  // the program from then on leaves the target whole, so a start in the same boot
  // removes the copy without a word. Costs one empty file, not synced (lost with
  // the machine, the save is told as one that may be incomplete, as it may be).
  void MarkWritten();
  // Writes the kept content over the open file `fd` and syncs it, then removes the
  // kept copy; false, the copy kept, when any step failed. Withdraws MarkWritten
  // first: the target is torn again while it is written.
  bool PutBack(int fd);
  // Removes the kept copy: the new content is on the disk.
  void Drop();
  // Where the content is kept while it is.
  const std::string& Path() const { return content_; }

 private:
  TEarlierContent(std::string folder, std::string contentName)
      : folder_(std::move(folder)), contentName_(std::move(contentName)), content_(folder_ + "/" + contentName_) {}

  std::string folder_;
  std::string contentName_;
  std::string content_;
};

// A save a kill interrupted: the file it was writing and where its content from
// before that save is kept.
struct TInterruptedSave {
  std::string Target;
  std::string EarlierContent;
  // When the save began.
  std::chrono::system_clock::time_point Time;
  // Every byte of the new content was handed to the system, but the machine stopped
  // before they were surely on the disk: the target may be whole (opening it tells).
  bool MayBeWhole = false;
};

// "<state folder>/<program name>/interrupted-saves".
std::string InterruptedSavesFolder();
// The saves that may be incomplete, of processes that have ended (a process id now
// held by a process started later, or in another boot, counts as ended), newest
// first, each listed by the one start that marks it as told; its content stays
// where it is. Folders of saves whose copy was unfinished (the target was never
// touched) or whose new content was all handed to the system in this boot go
// without a word. Only real folders of the user's are looked at, and inside them
// only the names a save makes: a link is neither followed nor removed.
std::vector<TInterruptedSave> TakeInterruptedSaves();
// Where the newest earlier content kept for the file at `utf8Path` is (the same
// file: device and inode, whatever name its save used) by a save in place that
// did not remove it (one interrupted, or one under way); empty when none is kept. Looks only, as TakeInterruptedSaves looks.
std::string KeptEarlierContentOf(const std::string& utf8Path);

}  // namespace qira
