#pragma once
// The X server's display modes, through its RandR extension: the screen sizes
// it offers, each at its refresh rates, at the bits per pixel of the screen's
// own depth (an X server never changes the depth). Switching asks the server
// for another screen size; restoring returns to the size, rotation and rate
// that were current before the first switch.
//
// The adapter opens a display connection of its own, so the server's answers
// do not depend on the windowing library's connection and a switched mode can
// still be restored while the program ends. A server without RandR offers its
// current mode only as the desktop's: nothing is listed, tested good or changed.
#include <memory>
#include <string>

#include "platform/DisplayModes.h"

namespace qira {

class TRandRModeSource : public TDisplayModeSource {
 public:
  // Connects to the display named (empty: the one $DISPLAY names). Without a
  // display every answer is empty or false.
  explicit TRandRModeSource(const std::string& displayName = {});
  // Restores the desktop's mode when a switch is still in force.
  ~TRandRModeSource() override;
  TRandRModeSource(const TRandRModeSource&) = delete;
  TRandRModeSource& operator=(const TRandRModeSource&) = delete;

  // Whether a display is connected and its server has RandR.
  bool Connected() const;
  bool HasRandR() const;

  TDisplayMode CurrentMode() override;
  // Every size at every one of its rates (a size without rates once, at 0 Hz).
  bool EnumMode(int32_t index, TDisplayMode& mode) override;
  // A size the server lists, at the screen's bits per pixel, at a listed rate
  // or at 0 Hz.
  bool TestMode(const TDisplayMode& mode) override;
  // Changes the screen size (at the rate asked when the size lists it, else
  // at the server's choice); false when the mode is not listed or the server
  // refused. The mode before the first change is remembered for RestoreMode.
  bool ChangeMode(const TDisplayMode& mode) override;
  // Back to the remembered mode; nothing when no change is in force.
  void RestoreMode() override;

 private:
  struct TConnection;
  std::unique_ptr<TConnection> x_;
};

// The source the program's mode table reads: RandR on an X11 display (the
// windowing library runs on xcb), else the primary screen's current mode
// (TQtScreenModeSource).
std::unique_ptr<TDisplayModeSource> MakeDesktopModeSource();

}  // namespace qira
