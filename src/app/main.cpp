// The program: the application, every layer's registration, the user services, the
// settings (read before any window exists, written after every window has stored
// its keys) and the main frame with the project named on the command line.
#include <QApplication>
#include <QScreen>

#include <memory>
#include <string>

#include "model/Settings.h"
#include "ui/ExportDialogs.h"
#include "ui/MainFrame.h"
#include "ui/ProgramStart.h"
#include "ui/QtServices.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  qira::RegisterProgramClasses();
  qira::TQtServices services;
  // Export dialogs show the units choice inside the save dialog.
  qira::InstallSaveChoiceDialog();
  qira::LoadSettings();

  // The command line behind the program's path, as one text.
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }

  int result = 0;
  {
    auto frame = std::make_unique<qira::TMainForm>();
    frame->SetCommandLine(commandLine);
    // Maximised; without a window manager the screen's size is given outright.
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame->setGeometry(screen->availableGeometry());
    frame->showMaximized();
    result = app.exec();
  }
  qira::SaveSettings();
  return result;
}
