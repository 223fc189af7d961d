#pragma once
// The user services of the bench programs: every message goes to standard output
// (the first error or warning is kept as the step's refusal), a question takes its
// default button, and the open and save dialogs answer with the file the program
// was given.
#include <cstdio>
#include <optional>
#include <string>

#include "platform/Services.h"

namespace qira::bench {

class TStepServices : public IMessageService, public IInputService, public IFileDialogService {
 public:
  // The answers of the next open and save dialogs; each is used once.
  std::optional<std::string> OpenAnswer;
  std::optional<std::string> SaveAnswer;
  int SaveFilterIndex = 1;
  // The first error or warning shown, and the first message of any kind.
  std::optional<std::string> FirstProblem;
  std::optional<std::string> FirstMessage;

  TStepServices() : scope_(TServices{this, this, this}) {}

  void ShowMessage(const std::string& text, TMessageKind kind) override { Note(text, kind); }
  TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                            int defaultButton) override {
    Note(text, kind);
    return DefaultMessageButton(buttons, defaultButton);
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  std::optional<std::string> OpenFile(TFileRequest&) override { return Take(OpenAnswer); }
  std::optional<std::string> SaveFile(TFileRequest& request) override {
    request.FilterIndex = SaveFilterIndex;
    return Take(SaveAnswer);
  }

 private:
  // One line a message: a list of a million names stays readable.
  static std::string Shortened(const std::string& text) {
    constexpr size_t kShown = 300;
    std::string line;
    for (char c : text.substr(0, kShown)) line += (c == '\r' || c == '\n') ? ' ' : c;
    if (text.size() > kShown) line += "... (" + std::to_string(text.size()) + " characters)";
    return line;
  }
  void Note(const std::string& text, TMessageKind kind) {
    const std::string line = Shortened(text);
    std::printf("message (%s): %s\n", MessageKindCaption(kind), line.c_str());
    std::fflush(stdout);
    if (!FirstMessage) FirstMessage = line;
    if (!FirstProblem && (kind == TMessageKind::Error || kind == TMessageKind::Warning)) FirstProblem = line;
  }
  static std::optional<std::string> Take(std::optional<std::string>& answer) {
    std::optional<std::string> taken = std::move(answer);
    answer.reset();
    return taken;
  }

  TScopedServices scope_;
};

}  // namespace qira::bench
