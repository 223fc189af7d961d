#pragma once
// The masked stretch copy of the image codecs: an image stretched (nearest
// pixel) into a rectangle of a canvas, leaving the canvas's pixels where the
// image has one chosen colour. The widgets offer the same drawing to the
// program; the codecs keep their own because they may not depend on the widgets.
#include <QImage>

#include "platform/Canvas.h"

namespace qira {

// Destination pixel (x, y) of the rectangle takes source pixel
// ((x − Left) × width / rectangle width, (y − Top) × height / rectangle height);
// pixels of transparentColor (0x00BBGGRR) are left out; CLR_INVALID copies
// every pixel. The image's alpha is ignored. An empty rectangle or a
// null image draws nothing; the canvas's clip region holds.
void StretchDrawMasked(TCanvas& canvas, const TRect& rect, const QImage& source, TColor transparentColor);

// The source column (or row) of the pixel `offset` pixels into a destination span
// of `span` pixels over which `size` source pixels are stretched: offset × size /
// span in 64 bits, kept inside 0 .. size − 1. The span is the rectangle's true one
// (Right − Left in 64 bits), not TRect::Width(), which saturates at 2^31 − 1.
int64_t StretchSourceIndex(int64_t offset, int64_t span, int64_t size);

// An indexed picture (Format_Indexed8) whose table entry `index` has a colour no
// other entry has, and that colour (0x00BBGGRR): a colour mask then leaves out
// exactly the pixels of that index, not others that share its colour. The
// picture is copied only when its entry has to change.
struct TUniqueEntryPicture {
  QImage Image;
  TColor Color = 0;
};
TUniqueEntryPicture WithUniqueEntryColor(const QImage& indexed, int index);

}  // namespace qira
