#include "platform/RandRModes.h"

#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <vector>

// Xlib's headers define macros (None, Bool, Status, Success) that clash with
// other headers: they come last.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace qira {

namespace {

// A request the server refuses raises an X error; Xlib's default handler
// would end the process. While this guard lives, errors are counted instead.
class TXErrorTrap {
 public:
  explicit TXErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    errors_ = 0;
    previous_ = XSetErrorHandler(&Count);
  }
  ~TXErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  // Whether the server reported an error so far (waits for its answers).
  bool Failed() {
    XSync(display_, False);
    return errors_ != 0;
  }

 private:
  static int Count(Display*, XErrorEvent*) {
    ++errors_;
    return 0;
  }
  static inline int errors_ = 0;
  Display* display_;
  XErrorHandler previous_;
};

// The screen's configuration as the server reports it now; freed on scope exit.
struct TScreenInfo {
  XRRScreenConfiguration* config = nullptr;
  TScreenInfo(Display* display, Window root) : config(XRRGetScreenInfo(display, root)) {}
  ~TScreenInfo() {
    if (config != nullptr) XRRFreeScreenConfigInfo(config);
  }
  TScreenInfo(const TScreenInfo&) = delete;
  TScreenInfo& operator=(const TScreenInfo&) = delete;
};

// One size at one rate; rate 0 for a size that lists none.
struct TSizeRate {
  int size = 0;
  int32_t width = 0, height = 0;
  int32_t rate = 0;
};

}  // namespace

struct TRandRModeSource::TConnection {
  Display* display = nullptr;
  Window root = 0;
  bool randr = false;
  int32_t bitsPerPixel = 0;
  // The mode before the first change, while a change is in force.
  bool changed = false;
  SizeID savedSize = 0;
  Rotation savedRotation = RR_Rotate_0;
  short savedRate = 0;

  ~TConnection() {
    if (display != nullptr) XCloseDisplay(display);
  }

  // The server's list as last read: a table asks for every mode and tests each one,
  // and the list changes only when a screen is plugged in.
  std::vector<TSizeRate> modes;
  bool modesRead = false;

  // Every size at every rate, in the server's order, read from the server.
  std::vector<TSizeRate> ReadModes() const {
    std::vector<TSizeRate> out;
    TScreenInfo info(display, root);
    if (info.config == nullptr) return out;
    int sizeCount = 0;
    const XRRScreenSize* sizes = XRRConfigSizes(info.config, &sizeCount);
    for (int s = 0; sizes != nullptr && s < sizeCount; ++s) {
      int rateCount = 0;
      const short* rates = XRRConfigRates(info.config, s, &rateCount);
      if (rates == nullptr || rateCount <= 0) {
        out.push_back({s, sizes[s].width, sizes[s].height, 0});
        continue;
      }
      for (int r = 0; r < rateCount; ++r) out.push_back({s, sizes[s].width, sizes[s].height, rates[r]});
    }
    return out;
  }

  // The listed size and rate of a mode: rate 0 when the mode asks none or its
  // size lists none. False when the size (or the asked rate) is not listed.
  // The list as last read; read now the first time.
  const std::vector<TSizeRate>& Modes() {
    if (!modesRead) {
      modes = ReadModes();
      modesRead = true;
    }
    return modes;
  }

  bool Find(const TDisplayMode& mode, TSizeRate& found) {
    if (mode.BitsPerPixel != bitsPerPixel) return false;
    bool sizeListed = false;
    for (const TSizeRate& m : Modes()) {
      if (m.width != mode.Width || m.height != mode.Height) continue;
      if (!sizeListed) {
        found = m;
        found.rate = 0;
        sizeListed = true;
      }
      if (mode.Frequency == 0) return true;
      if (m.rate == 0 || m.rate == mode.Frequency) {
        found.rate = m.rate;
        return true;
      }
    }
    return false;
  }

  bool SetConfig(SizeID size, Rotation rotation, short rate) {
    TScreenInfo info(display, root);
    if (info.config == nullptr) return false;
    TXErrorTrap trap(display);
    const Status status =
        rate > 0 ? XRRSetScreenConfigAndRate(display, info.config, root, size, rotation, rate, CurrentTime)
                 : XRRSetScreenConfig(display, info.config, root, size, rotation, CurrentTime);
    return status == RRSetConfigSuccess && !trap.Failed();
  }
};

TRandRModeSource::TRandRModeSource(const std::string& displayName) : x_(std::make_unique<TConnection>()) {
  x_->display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (x_->display == nullptr) return;
  const int screen = DefaultScreen(x_->display);
  x_->root = RootWindow(x_->display, screen);
  // Bits per pixel as stored: a depth of 24 keeps each pixel in 32 bits.
  const int depth = DefaultDepth(x_->display, screen);
  x_->bitsPerPixel = depth;
  int formatCount = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(x_->display, &formatCount)) {
    for (int i = 0; i < formatCount; ++i)
      if (formats[i].depth == depth) x_->bitsPerPixel = formats[i].bits_per_pixel;
    XFree(formats);
  }
  int eventBase = 0, errorBase = 0;
  x_->randr = XRRQueryExtension(x_->display, &eventBase, &errorBase) != False;
}

TRandRModeSource::~TRandRModeSource() { RestoreMode(); }

bool TRandRModeSource::Connected() const { return x_->display != nullptr; }

bool TRandRModeSource::HasRandR() const { return x_->display != nullptr && x_->randr; }

TDisplayMode TRandRModeSource::CurrentMode() {
  TDisplayMode mode;
  if (x_->display == nullptr) return mode;
  const int screen = DefaultScreen(x_->display);
  mode.Width = DisplayWidth(x_->display, screen);
  mode.Height = DisplayHeight(x_->display, screen);
  mode.BitsPerPixel = x_->bitsPerPixel;
  if (!x_->randr) return mode;
  TScreenInfo info(x_->display, x_->root);
  if (info.config == nullptr) return mode;
  // The screen's size as the server reports it after a change it has made.
  Rotation rotation = RR_Rotate_0;
  const SizeID current = XRRConfigCurrentConfiguration(info.config, &rotation);
  int sizeCount = 0;
  const XRRScreenSize* sizes = XRRConfigSizes(info.config, &sizeCount);
  if (sizes != nullptr && current < sizeCount) {
    mode.Width = sizes[current].width;
    mode.Height = sizes[current].height;
  }
  mode.Frequency = XRRConfigCurrentRate(info.config);
  return mode;
}

bool TRandRModeSource::EnumMode(int32_t index, TDisplayMode& mode) {
  if (!HasRandR() || index < 0) return false;
  // A new enumeration reads the server's list again.
  if (index == 0) x_->modesRead = false;
  const std::vector<TSizeRate>& modes = x_->Modes();
  if (static_cast<size_t>(index) >= modes.size()) return false;
  const TSizeRate& m = modes[static_cast<size_t>(index)];
  mode = {m.width, m.height, x_->bitsPerPixel, m.rate};
  return true;
}

bool TRandRModeSource::TestMode(const TDisplayMode& mode) {
  TSizeRate found;
  return HasRandR() && x_->Find(mode, found);
}

bool TRandRModeSource::ChangeMode(const TDisplayMode& mode) {
  TSizeRate found;
  if (!HasRandR() || !x_->Find(mode, found)) return false;
  SizeID size = 0;
  Rotation rotation = RR_Rotate_0;
  short rate = 0;
  {
    TScreenInfo info(x_->display, x_->root);
    if (info.config == nullptr) return false;
    size = XRRConfigCurrentConfiguration(info.config, &rotation);
    rate = XRRConfigCurrentRate(info.config);
  }
  if (!x_->SetConfig(static_cast<SizeID>(found.size), rotation, static_cast<short>(found.rate))) return false;
  if (!x_->changed) {
    x_->changed = true;
    x_->savedSize = size;
    x_->savedRotation = rotation;
    x_->savedRate = rate;
  }
  return true;
}

void TRandRModeSource::RestoreMode() {
  if (!x_->changed || x_->display == nullptr) return;
  x_->changed = false;
  x_->SetConfig(x_->savedSize, x_->savedRotation, x_->savedRate);
}

std::unique_ptr<TDisplayModeSource> MakeDesktopModeSource() {
  if (qGuiApp != nullptr && QGuiApplication::platformName() == QLatin1String("xcb"))
    return std::make_unique<TRandRModeSource>();
  return std::make_unique<TQtScreenModeSource>();
}

}  // namespace qira
