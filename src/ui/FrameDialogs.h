#pragma once
// The small dialogs of the main frame: "Software updates" (a project of a newer
// program), "Parameters" (the full-screen mode) and "About".
#include <QDialog>

#include <cstdint>
#include <string>

#include "widgets/HyperlinkLabel.h"
#include "widgets/VersionLabel.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace qira {

// Where the "Software updates" dialog sends the user.
inline constexpr const char* kDownloadAddress = "https://www.qira3d.example/download";
inline constexpr const char* kWebsiteAddress = "https://www.qira3d.example";
inline constexpr const char* kSupportMailAddress = "support@qira3d.example";

class TFileVersionForm : public QDialog {
 public:
  // path: the project (its name is shown without folder); fileVersion: its version.
  TFileVersionForm(QWidget* parent, const std::string& path, int32_t fileVersion);

  QLabel* FileNameLabel = nullptr;
  QLabel* ProgramVersionLabel = nullptr;
  QLabel* FileVersionLabel = nullptr;
  QPushButton* CloseButton = nullptr;
};

class TParamsForm : public QDialog {
 public:
  explicit TParamsForm(QWidget* parent = nullptr);

  QCheckBox* IndependentViewer = nullptr;  // "Use independent full screen viewer"
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

  // Shows the current full-screen mode; on OK the check box becomes the mode.
  // True on OK.
  bool Execute();
  // Takes the check box's state as the mode (what OK does).
  void Apply();
};

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* parent = nullptr);

  QLabel* Picture = nullptr;
  QLabel* Title = nullptr;
  TVersionLabel* VersionLabel = nullptr;  // "Version:" and the program's file version
  TLegacy* SupportLink = nullptr;         // the support mail address
  TLegacy* WebLink = nullptr;             // the web site
  QPushButton* OkButton = nullptr;
};

}  // namespace qira
