#pragma once
// The table of display modes the display accepts, and switching between
// them for the full-screen view. The table's rules (which modes are listed,
// which one fits a requested size and depth, what is remembered after a
// switch) are plain logic over a mode source; the source is the only part
// that talks to the display.
//
// On an X11 display the program's source is the server's RandR extension
// (platform/RandRModes.h); elsewhere TQtScreenModeSource offers the primary
// screen's current mode only and never changes the display.
//
// Sections: mode values; the mode source; the table; the process-wide table.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qira {

// ----------------------------------------------------------------- mode values

// One row of the table.
struct TVideoMode {
  uint16_t Width = 0;       // pixels
  uint16_t Height = 0;      // pixels
  uint8_t ColorDepth = 0;   // bits per pixel
  uint8_t MaxFrequency = 0; // highest refresh rate seen for this mode, Hz
  std::string Description;
};

// A display mode as the display reports or is asked for it.
struct TDisplayMode {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 0;
  int32_t Frequency = 0;  // Hz; 0 = whatever the display chooses
};

// -------------------------------------------------------------- the mode source

class TDisplayModeSource {
 public:
  virtual ~TDisplayModeSource() = default;
  // The desktop's mode now (width, height, bits per pixel x planes).
  virtual TDisplayMode CurrentMode() = 0;
  // Display setting number `index` (0, 1, 2, ...); false when there are no more.
  virtual bool EnumMode(int32_t index, TDisplayMode& mode) = 0;
  // Whether the display would accept a full-screen change to the mode
  // (nothing is changed).
  virtual bool TestMode(const TDisplayMode& mode) = 0;
  // A full-screen change to the mode; false when the display refused.
  virtual bool ChangeMode(const TDisplayMode& mode) = 0;
  // Back to the desktop's own mode.
  virtual void RestoreMode() = 0;
};

// The primary screen of the Qt application: its current mode is the only
// one listed, tested good or "changed" to. Without an application or a
// screen every answer is empty or false.
class TQtScreenModeSource : public TDisplayModeSource {
 public:
  TDisplayMode CurrentMode() override;
  bool EnumMode(int32_t index, TDisplayMode& mode) override;
  bool TestMode(const TDisplayMode& mode) override;
  bool ChangeMode(const TDisplayMode& mode) override;
  void RestoreMode() override {}
};

// ------------------------------------------------------------------- the table

inline constexpr int32_t kMaxVideoModes = 200;

class TVideoModeTable {
 public:
  // Null: MakeDesktopModeSource().
  explicit TVideoModeTable(std::unique_ptr<TDisplayModeSource> source);
  // Restores the desktop's mode when a switched mode is still current.
  ~TVideoModeTable();
  TVideoModeTable(const TVideoModeTable&) = delete;
  TVideoModeTable& operator=(const TVideoModeTable&) = delete;

  TDisplayModeSource& Source() const { return *source_; }

  // Fills the table once (nothing when it holds an entry already): entry 0
  // "default" is the desktop's mode; then every mode the source enumerates,
  // offered to TryToAddToList, until the source has no more or the table is
  // full; then, when the source refuses the bogus mode 42 x 37 x 8, the 15
  // low-resolution modes (320 x 200, 400 x 300, 512 x 384 at 8, 15, 16, 24
  // and 32 bits) are offered the same way.
  void ReadVideoModes();
  // A mode whose depth, width and height are listed (entries 1 and up) only
  // raises that entry's MaxFrequency to its refresh rate. Otherwise, when the
  // table has room, the mode fits the table's fields and the source accepts
  // it in a test, it is appended as "<w> x <h>, <d> bpp". Returns whether the
  // table changed.
  bool TryToAddToList(const TDisplayMode& mode);
  // The entry (1 and up) that holds at least the asked width, height and
  // depth with the smallest excess in each (a later entry with equal excess
  // wins); 0 when none does. Reads the table first.
  int32_t GetIndexFromResolution(int32_t width, int32_t height, int32_t depth);
  // Asks the source to change to entry `index` (with refreshRate > 0 also at
  // that rate, at most the entry's MaxFrequency). On success the index is
  // remembered as the current mode and true returned; an index outside the
  // table or a refused change returns false and remembers nothing.
  bool SetFullscreenMode(int32_t index, int32_t refreshRate);
  // Asks the source for the desktop's own mode; the current mode is 0 again.
  void RestoreDefaultMode();

  int32_t Count() const { return static_cast<int32_t>(modes_.size()); }
  // Entry `index` (0 .. Count()-1).
  const TVideoMode& Mode(int32_t index) const { return modes_.at(static_cast<size_t>(index)); }
  // The index switched to last (0 = default).
  int32_t CurrentVideoMode() const { return currentVideoMode_; }

 private:
  std::unique_ptr<TDisplayModeSource> source_;
  std::vector<TVideoMode> modes_;
  int32_t currentVideoMode_ = 0;
};

// ------------------------------------------------------- the process-wide table

// The table of the program, over MakeDesktopModeSource() until replaced. It
// lives until the program ends and then restores a switched mode.
TVideoModeTable& VideoModes();
// Replaces the process-wide table by one over `source` (the old one restores
// the desktop's mode when it had switched). Null gives MakeDesktopModeSource().
void SetDisplayModeSource(std::unique_ptr<TDisplayModeSource> source);

// The table operations on the process-wide table.
void ReadVideoModes();
int32_t GetIndexFromResolution(int32_t width, int32_t height, int32_t depth);
bool SetFullscreenMode(int32_t index, int32_t refreshRate);
void RestoreDefaultMode();

}  // namespace qira
