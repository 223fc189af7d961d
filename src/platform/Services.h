#pragma once
// The small interfaces through which code without a window reaches the user:
// message dialogs, an input box and file choice. The UI registers Qt
// implementations; tests register fakes; until then a headless default writes
// messages to stderr and answers every question with cancel or the default button,
// so nothing ever blocks.
#include <optional>
#include <string>
#include <vector>

namespace qira {

// Kinds of message, with their captions "Warning", "Error", "Information", "Confirmation".
enum class TMessageKind : int { Warning = 0, Error = 1, Information = 2, Confirmation = 3 };
// Any value outside 0..3 is Information.
TMessageKind MessageKindFromInt(int kind);
const char* MessageKindCaption(TMessageKind kind);

// Button sets and pressed-button identifiers, numbered as the system message box numbers them;
// the desktop's Save / Discard / Cancel question of a closing document follows them.
enum class TMessageButtons : int {
  Ok = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5,
  SaveDiscardCancel = 6
};
enum class TMessageResult : int {
  None = 0, Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7, Save = 8, Discard = 9
};
// The buttons of a set, left to right.
std::vector<TMessageResult> MessageButtonsOf(TMessageButtons buttons);
// defaultButton 1..4 picks that button of the set; any other value (or one past the
// set's end) picks the first.
TMessageResult DefaultMessageButton(TMessageButtons buttons, int defaultButton);
// The answer when the box is closed without a button: Cancel where the set has
// one, else No, else the default button.
TMessageResult EscapeMessageButton(TMessageButtons buttons, int defaultButton);

class IMessageService {
 public:
  virtual ~IMessageService() = default;
  // A modal message with a single OK button.
  virtual void ShowMessage(const std::string& text, TMessageKind kind) = 0;
  // A modal message box; returns the pressed button.
  virtual TMessageResult MessageBox(const std::string& text, TMessageKind kind,
                                    TMessageButtons buttons, int defaultButton) = 0;
};

class IInputService {
 public:
  virtual ~IInputService() = default;
  // value holds the default text on entry and the typed text on exit; false (value
  // unchanged) when cancelled.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
};

// A file dialog request. Filter is "Description|pattern[;pattern]|..." pairs;
// FilterIndex is 1-based and receives the filter the user ended with.
struct TFileRequest {
  std::string Title;
  std::string Filter;
  int FilterIndex = 1;
  std::string InitialDir;
  std::string FileName;    // proposed name
  std::string DefaultExt;  // without the dot, added when the user typed none
  bool OverwritePrompt = true;  // save only
};

class IFileDialogService {
 public:
  virtual ~IFileDialogService() = default;
  // The chosen path (UTF-8), or nothing when cancelled.
  virtual std::optional<std::string> OpenFile(TFileRequest& request) = 0;
  virtual std::optional<std::string> SaveFile(TFileRequest& request) = 0;
};

// Registered implementations; not owned. Services() never returns a null member.
struct TServices {
  IMessageService* Messages = nullptr;
  IInputService* Input = nullptr;
  IFileDialogService* Files = nullptr;
};
// Null members fall back to the headless defaults.
void SetServices(const TServices& services);
const TServices& Services();

// Registers services for its lifetime and restores the previous ones afterwards.
class TScopedServices {
 public:
  explicit TScopedServices(const TServices& services);
  ~TScopedServices();
  TScopedServices(const TScopedServices&) = delete;
  TScopedServices& operator=(const TScopedServices&) = delete;

 private:
  TServices previous_;
};

// The input box of the class library: the typed text, or def when cancelled.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def);

}  // namespace qira
