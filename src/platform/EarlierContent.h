#pragma once
// The earlier content of a file saved in place, kept whole in the user's state
// folder until the new content is on disk, and the saves a kill interrupted.
//
// Each save keeps one folder, InterruptedSavesFolder() + "/<pid>-<n>-<ticks>",
// holding "target" (the saved file's path) and the content, "earlier" with the
// target's extension. The content is copied as "earlier<ext>.part" and takes its
// final name once whole and on the disk: a kept content under its final name is
// whole, and the target is touched only after that.
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

  // Writes the kept content over the open file `fd` and syncs it, then removes the
  // kept copy; false, the copy kept, when any step failed.
  bool PutBack(int fd);
  // Removes the kept copy: the new content is on the disk.
  void Drop();
  // Where the content is kept while it is.
  const std::string& Path() const { return content_; }

 private:
  TEarlierContent(std::string folder, std::string content) : folder_(std::move(folder)), content_(std::move(content)) {}

  std::string folder_;
  std::string content_;
};

// A save a kill interrupted: the file it was writing and where its content from
// before that save is kept.
struct TInterruptedSave {
  std::string Target;
  std::string EarlierContent;
};

// "<state folder>/<program name>/interrupted-saves".
std::string InterruptedSavesFolder();
// The interrupted saves of processes that have ended, each listed once (marked as
// told; its content stays where it is). The folders of saves that ended before
// their copy was whole go without a word: their target was never touched.
std::vector<TInterruptedSave> TakeInterruptedSaves();

}  // namespace qira
