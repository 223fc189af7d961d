#pragma once
// What the fuzz targets share: the application on the offscreen platform, silent
// user services (messages are recorded and dropped per input, never shown), a
// memory budget under the fuzzer's limit, and a scratch folder for the few readers
// that insist on a file name.
#include <malloc.h>
#include <unistd.h>

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/AvailableMemory.h"
#include "support/FakeServices.h"
#include "support/TestApplication.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QIRA_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QIRA_FUZZ_ASAN)
// The address sanitizer's allocator statistics (its header is not always installed).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace qira::fuzzing {

// libFuzzer stops a process whose resident size passes its limit (2048 MB in
// scripts/fuzz) and calls the input a crash, though the program would refuse it
// on a machine with that little memory. So the program may take this much here: a
// quarter of the limit, so that a picture, a copy of it, the sanitizer's shadow
// and quarantine and the fuzzer's own memory stay under it.
inline constexpr int64_t kMemoryBudget = int64_t{512} << 20;

// What the heap holds now, as the program's allocations asked for it.
inline int64_t HeapHeld() {
#if defined(__SANITIZE_ADDRESS__) || defined(QIRA_FUZZ_ASAN)
  return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 heap = mallinfo2();
  return static_cast<int64_t>(heap.uordblks + heap.hblkhd);
#endif
}

// Call first in every input: makes the application and the services once, and
// forgets the messages of the previous input.
inline TFakeServices& Start() {
  static TFakeServices* services = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EnsureTestApplication();
    // The memory that can be used (AvailableMemory) is the budget less what the
    // heap holds, as under a limit of the system's.
    SetAvailableMemoryProbe([] { return std::max<int64_t>(kMemoryBudget - HeapHeld(), 0); });
    return new TFakeServices();
  }();
  services->Messages.clear();
  return *services;
}

inline std::string_view Text(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process, removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qira-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    static const std::string removed = pattern;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removed, ec);
    });
    return pattern;
  }();
  return folder;
}

// The input as the file `name` of the scratch folder; returns its path.
inline std::string PutScratchFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// A round trip that changed what the user sees: the run ends here, as a finding.
[[noreturn]] inline void Finding(const char* what) {
  std::fprintf(stderr, "round trip changed %s\n", what);
  std::abort();
}

inline void Expect(bool same, const char* what) {
  if (!same) Finding(what);
}

// A picture that became a texture of another size than its own (the width drawn
// to a multiple of 4), or none: the run ends here, as a finding.
inline void ExpectTextureOf(const QSize& picture, int32_t width, int32_t height) {
  if (width == ((picture.width() + 3) & ~3) && height == picture.height()) return;
  std::fprintf(stderr, "a picture of %d x %d became a texture of %d x %d\n", picture.width(), picture.height(), width,
               height);
  std::abort();
}

// Equal bits, so a NaN read back as the NaN it was counts as kept.
template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// The same size and the same colour and opacity at every pixel, whatever the
// storage (indexed, opaque or with alpha).
inline bool SamePixels(const QImage& a, const QImage& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  if (a.size() != b.size()) return false;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  const size_t rowBytes = static_cast<size_t>(x.width()) * 4;
  for (int row = 0; row < x.height(); ++row)
    if (std::memcmp(x.constScanLine(row), y.constScanLine(row), rowBytes) != 0) return false;
  return true;
}

}  // namespace qira::fuzzing
