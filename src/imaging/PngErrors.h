#pragma once
// One exception class per failure of the PNG codec. Each stands on its own (no
// common base but std::runtime_error), so a caller tells failures apart by type;
// what() is the fixed text of PngMessages.h.
#include <stdexcept>

namespace qira {

#define QIRA_PNG_EXCEPTION(Name)                 \
  class Name : public std::runtime_error {       \
   public:                                       \
    using std::runtime_error::runtime_error;     \
  }

// Storage for a picture that cannot be had (also a picture too large to hold).
QIRA_PNG_EXCEPTION(EPNGOutMemory);
// Chunk-list misuse and a missing palette entry.
QIRA_PNG_EXCEPTION(EPngError);
QIRA_PNG_EXCEPTION(EPngUnexpectedEnd);
QIRA_PNG_EXCEPTION(EPngInvalidCRC);
QIRA_PNG_EXCEPTION(EPngInvalidIHDR);
QIRA_PNG_EXCEPTION(EPNGMissingMultipleIDAT);
QIRA_PNG_EXCEPTION(EPNGZLIBError);
QIRA_PNG_EXCEPTION(EPNGInvalidPalette);
QIRA_PNG_EXCEPTION(EPNGInvalidFileHeader);
QIRA_PNG_EXCEPTION(EPNGIHDRNotFirst);
QIRA_PNG_EXCEPTION(EPNGSizeExceeds);
QIRA_PNG_EXCEPTION(EPNGUnknownCriticalChunk);
QIRA_PNG_EXCEPTION(EPNGUnknownCompression);
QIRA_PNG_EXCEPTION(EPNGUnknownInterlace);
QIRA_PNG_EXCEPTION(EPNGNoImageData);
QIRA_PNG_EXCEPTION(EPNGCannotChangeTransparent);
QIRA_PNG_EXCEPTION(EPNGHeaderNotPresent);
QIRA_PNG_EXCEPTION(EPNGInvalidNewSize);

#undef QIRA_PNG_EXCEPTION

}  // namespace qira
