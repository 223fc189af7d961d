#pragma once
// Fakes of the user services for tests: every message, question and file dialog is
// recorded, and answers come from queues. A TFakeServices registers itself for its
// lifetime and restores the previous services afterwards.
//
//   TFakeServices fake;
//   fake.BoxAnswers.push_back(TMessageResult::Yes);
//   ... code under test ...
//   EXPECT_EQ(fake.Messages.at(0).Text, "...");
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace qira {

class TFakeServices : public IMessageService, public IInputService, public IFileDialogService {
 public:
  struct TMessage {
    std::string Text;
    TMessageKind Kind = TMessageKind::Information;
    bool IsBox = false;  // MessageBox rather than ShowMessage
    TMessageButtons Buttons = TMessageButtons::Ok;
    int DefaultButton = 0;
    TMessageResult Answer = TMessageResult::Ok;
  };
  struct TInput {
    std::string Caption;
    std::string Prompt;
    std::string Default;
  };
  struct TFileCall {
    bool Save = false;
    TFileRequest Request;  // as passed in
  };

  // Answers, taken from the front. Empty queues answer like the headless default:
  // the default button, cancelled input, no file.
  std::deque<TMessageResult> BoxAnswers;
  std::deque<std::optional<std::string>> InputAnswers;  // nullopt = Cancel
  std::deque<std::optional<std::string>> FileAnswers;   // nullopt = Cancel
  std::deque<int> FilterIndexAnswers;                   // the filter the "user" ends with

  std::vector<TMessage> Messages;
  std::vector<TInput> Inputs;
  std::vector<TFileCall> FileCalls;

  TFakeServices() : scope_(TServices{this, this, this}) {}

  void ShowMessage(const std::string& text, TMessageKind kind) override {
    Messages.push_back({text, kind, false, TMessageButtons::Ok, 0, TMessageResult::Ok});
  }

  TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                            int defaultButton) override {
    TMessageResult answer = DefaultMessageButton(buttons, defaultButton);
    if (!BoxAnswers.empty()) {
      answer = BoxAnswers.front();
      BoxAnswers.pop_front();
    }
    Messages.push_back({text, kind, true, buttons, defaultButton, answer});
    return answer;
  }

  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    Inputs.push_back({caption, prompt, value});
    if (InputAnswers.empty()) return false;
    std::optional<std::string> answer = InputAnswers.front();
    InputAnswers.pop_front();
    if (!answer) return false;
    value = *answer;
    return true;
  }

  std::optional<std::string> OpenFile(TFileRequest& request) override { return File(false, request); }
  std::optional<std::string> SaveFile(TFileRequest& request) override { return File(true, request); }

  // Texts of all messages, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const TMessage& m : Messages) out.push_back(m.Text);
    return out;
  }

 private:
  std::optional<std::string> File(bool save, TFileRequest& request) {
    FileCalls.push_back({save, request});
    if (!FilterIndexAnswers.empty()) {
      request.FilterIndex = FilterIndexAnswers.front();
      FilterIndexAnswers.pop_front();
    }
    if (FileAnswers.empty()) return std::nullopt;
    std::optional<std::string> answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }

  TScopedServices scope_;
};

}  // namespace qira
