#include "imaging/PngMessages.h"

namespace qira {

const char* ZLibCodeText(int code) {
  switch (code) {
    case -6: return "incompatible version (-6)";
    case -5: return "buffer error (-5)";
    case -4: return "insufficient memory (-4)";
    case -3: return "data error (-3)";
    case -2: return "stream error (-2)";
    case -1: return "file error (-1)";
    case 0: return "(0)";
    case 1: return "stream end (1)";
    case 2: return "need dictionary (2)";
    default: return "";
  }
}

std::string ZLibErrorMessage(int code) {
  return std::string(EPNGZLIBErrorText) + "\n Description: " + ZLibCodeText(code);
}

namespace {
// What is needed rounds up and what can be used down, so the two never read the same.
std::string MegabytesUp(uint64_t bytes) { return std::to_string((bytes + (uint64_t{1} << 20) - 1) >> 20) + " MB"; }
std::string MegabytesDown(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }
}  // namespace

std::string PngTooLargeMessage(uint32_t width, uint32_t height, uint64_t neededBytes, uint64_t usableBytes) {
  return "This \"Portable Network Graphics\" image of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels is too large: it needs " + MegabytesUp(neededBytes) + " of memory, and " + MegabytesDown(usableBytes) +
         " can be used.";
}

std::string IHDRNotFirstMessage() { return std::string(EPNGIHDRNotFirstText) + "\n" + EPNGIHDRNotFirstDetail; }

}  // namespace qira
