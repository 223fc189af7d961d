// The program: the application, every layer's registration, the user services, the
// settings (read before any window exists, written after every window has stored
// its keys) and the main frame with the project named on the command line.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <memory>
#include <string>

#include "model/Settings.h"
#include "platform/ThreadReserves.h"
#include "ui/ExportDialogs.h"
#include "ui/MainFrame.h"
#include "ui/ProgramStart.h"
#include "ui/QtServices.h"

namespace {

const char kNoX11Display[] =
    "The 3D view draws only on an X11 display, and none is available (DISPLAY is not set). Start "
    "the viewer in an X11 session, or in a Wayland session that offers XWayland.";
const char kNotOnX11[] =
    "The 3D view draws only on an X11 display (Qt's xcb platform), but the viewer runs on the "
    "platform \"%1\". Start it without QT_QPA_PLATFORM, or with QT_QPA_PLATFORM=xcb.";

// The 3D view draws only on Qt's xcb platform. In a Wayland session with XWayland
// the program starts on xcb unless the user chose a platform. Must run before the
// application exists.
void PreferX11Platform() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  const bool wayland =
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
  if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "xcb");
}

// False, after telling the user, when the view would stay black.
bool X11DisplayAvailable() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb")) return true;
  const QString text = qEnvironmentVariableIsEmpty("DISPLAY") ? QString::fromUtf8(kNoX11Display)
                                                               : QString::fromUtf8(kNotOnX11).arg(platform);
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  // Platforms without a screen cannot show the message: the line above tells.
  if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("QIRA 3D viewer"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);  // the platform's name comes from the environment
    box.exec();
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt or the GL driver start any thread.
  qira::BoundThreadReservesUnderAddressLimit();
  PreferX11Platform();
  // Without any display and no platform chosen, Qt would stop with its own
  // message about plugins: say what is missing instead.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "%s\n", kNoX11Display);
    return 1;
  }
  QApplication app(argc, argv);
  if (!X11DisplayAvailable()) return 1;
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
