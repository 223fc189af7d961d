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

std::string IHDRNotFirstMessage() { return std::string(EPNGIHDRNotFirstText) + "\n" + EPNGIHDRNotFirstDetail; }

}  // namespace qira
