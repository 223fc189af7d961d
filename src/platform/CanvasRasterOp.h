#pragma once
// The sixteen binary raster operations that combine a pen with the pixels under it,
// in the platform's numbering (R2_BLACK = 1 .. R2_WHITE = 16), and the windowing
// library's pen modes (0..15) that select them.
#include <cstdint>

namespace qira {

inline constexpr int R2_BLACK = 1;         // 0
inline constexpr int R2_NOTMERGEPEN = 2;   // ~(D | P)
inline constexpr int R2_MASKNOTPEN = 3;    // D & ~P
inline constexpr int R2_NOTCOPYPEN = 4;    // ~P
inline constexpr int R2_MASKPENNOT = 5;    // P & ~D
inline constexpr int R2_NOT = 6;           // ~D
inline constexpr int R2_XORPEN = 7;        // P ^ D
inline constexpr int R2_NOTMASKPEN = 8;    // ~(P & D)
inline constexpr int R2_MASKPEN = 9;       // P & D
inline constexpr int R2_NOTXORPEN = 10;    // ~(P ^ D)
inline constexpr int R2_NOP = 11;          // D
inline constexpr int R2_MERGENOTPEN = 12;  // D | ~P
inline constexpr int R2_COPYPEN = 13;      // P
inline constexpr int R2_MERGEPENNOT = 14;  // P | ~D
inline constexpr int R2_MERGEPEN = 15;     // P | D
inline constexpr int R2_WHITE = 16;        // 1

// The windowing library's pen modes; stored files keep these numbers (pmCopy = 4).
enum TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

// The raster operation of a pen mode; a mode outside 0..15 gives R2_COPYPEN.
int PenModeToRop2(int penMode);
// The pen mode of a raster operation; a code outside 1..16 gives pmCopy.
TPenMode Rop2ToPenMode(int rop2);

// Combines pen colour P with destination D by raster operation rop2 (1..16), bit by bit
// on the low 24 bits; the high byte of the result is 0xFF (an opaque Qt pixel).
// The code less one is the operation's truth table: bit (2·p + d) is the result for the
// pen bit p and the destination bit d. A code outside 1..16 acts as R2_COPYPEN.
inline uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dst) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) rop2 = R2_COPYPEN;
  const unsigned table = static_cast<unsigned>(rop2 - 1);
  const uint32_t all = 0x00FFFFFFu;
  const uint32_t p = pen & all;
  const uint32_t d = dst & all;
  uint32_t r = 0;
  if (table & 1u) r |= ~p & ~d;
  if (table & 2u) r |= ~p & d;
  if (table & 4u) r |= p & ~d;
  if (table & 8u) r |= p & d;
  return 0xFF000000u | (r & all);
}

}  // namespace qira
