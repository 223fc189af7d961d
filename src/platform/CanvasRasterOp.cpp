#include "platform/CanvasRasterOp.h"

namespace qira {

namespace {
// Indexed by the pen mode.
constexpr int kRop2OfPenMode[16] = {
    R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,        R2_COPYPEN,   R2_NOTCOPYPEN,
    R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,  R2_NOTMERGEPEN,
    R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};
}  // namespace

int PenModeToRop2(int penMode) {
  if (penMode < 0 || penMode > 15) return R2_COPYPEN;
  return kRop2OfPenMode[penMode];
}

TPenMode Rop2ToPenMode(int rop2) {
  for (int mode = 0; mode < 16; ++mode)
    if (kRop2OfPenMode[mode] == rop2) return static_cast<TPenMode>(mode);
  return pmCopy;
}

}  // namespace qira
