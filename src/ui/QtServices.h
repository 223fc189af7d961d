#pragma once
// The Qt implementations of the user services: message dialogs and boxes with the
// system's captions and icons, the input box and the open and save dialogs. The
// program registers one TQtServices for its lifetime; tests register fakes.
#include <QString>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Services.h"

namespace qira {

// "Description|pattern[;pattern]|..." -> Qt's "Description (pattern pattern);;...";
// a description that ends with its own patterns in parentheses is kept as it is.
// Pairs without a pattern are dropped.
QString QtFileFilter(const std::string& filter);
// The 1-based filter index of a Qt filter string among those QtFileFilter made; 1
// when not found.
int FilterIndexOf(const std::string& filter, const QString& chosen);
// name with "." + defaultExt appended when its file name has no extension (and a
// default extension is given).
std::string WithDefaultExtension(const std::string& name, const std::string& defaultExt);

class TQtServices : public IMessageService, public IInputService, public IFileDialogService {
 public:
  // Registers itself; the previous services come back when it goes.
  TQtServices();
  ~TQtServices() override = default;

  void ShowMessage(const std::string& text, TMessageKind kind) override;
  TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                            int defaultButton) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  std::optional<std::string> OpenFile(TFileRequest& request) override;
  std::optional<std::string> SaveFile(TFileRequest& request) override;

 private:
  std::optional<std::string> RunFileDialog(TFileRequest& request, bool save);
  std::string lastFolder_;  // folder of the last file chosen in any dialog
  TScopedServices scope_;
};

}  // namespace qira
