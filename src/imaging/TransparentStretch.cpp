#include "imaging/TransparentStretch.h"

#include <algorithm>

namespace qira {

void StretchDrawMasked(TCanvas& canvas, const TRect& rect, const QImage& source, TColor transparentColor) {
  QImage* target = canvas.Image();
  if (source.isNull() || rect.IsEmpty() || !target || target->isNull()) return;
  // ARGB32 keeps the colour of see-through pixels, which RGB32 would not.
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const bool masked = transparentColor != CLR_INVALID;
  const int64_t x0 = std::max<int64_t>(rect.Left, 0);
  const int64_t y0 = std::max<int64_t>(rect.Top, 0);
  const int64_t x1 = std::min<int64_t>(rect.Right, target->width());
  const int64_t y1 = std::min<int64_t>(rect.Bottom, target->height());
  if (x0 >= x1 || y0 >= y1) return;
  // The visible part goes through one image so that the canvas applies its clip region.
  QImage work = target->copy(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                             static_cast<int>(y1 - y0))
                    .convertToFormat(QImage::Format_RGB32);
  const int64_t rw = int64_t{rect.Right} - rect.Left;
  const int64_t rh = int64_t{rect.Bottom} - rect.Top;
  const QRgb see = 0xFF000000u | (transparentColor & 0xFF) << 16 | (transparentColor & 0xFF00) |
                   ((transparentColor >> 16) & 0xFF);
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t sy = StretchSourceIndex(y - rect.Top, rh, image.height());
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(sy)));
    auto* out = reinterpret_cast<QRgb*>(work.scanLine(static_cast<int>(y - y0)));
    for (int64_t x = x0; x < x1; ++x) {
      const QRgb pixel = in[StretchSourceIndex(x - rect.Left, rw, image.width())] | 0xFF000000u;
      if (!masked || pixel != see) out[x - x0] = pixel;
    }
  }
  canvas.Draw(static_cast<int32_t>(x0), static_cast<int32_t>(y0), work);
}

int64_t StretchSourceIndex(int64_t offset, int64_t span, int64_t size) {
  if (span <= 0 || size <= 0) return 0;
  // offset < 2^32 and size < 2^31: the product fits.
  return std::clamp<int64_t>(offset * size / span, 0, size - 1);
}

TUniqueEntryPicture WithUniqueEntryColor(const QImage& indexed, int index) {
  TUniqueEntryPicture result{indexed, 0};
  QList<QRgb> table = indexed.colorTable();
  if (index < 0 || index >= table.size()) return result;
  auto usedElsewhere = [&](QRgb colour) {
    for (qsizetype i = 0; i < table.size(); ++i)
      if (i != index && (table[i] & 0xFFFFFFu) == colour) return true;
    return false;
  };
  QRgb colour = table[index] & 0xFFFFFFu;
  // At most 255 other entries: a free colour is found within 256 steps.
  const bool changed = usedElsewhere(colour);
  while (usedElsewhere(colour)) colour = (colour + 1) & 0xFFFFFFu;
  if (changed) {
    table[index] = 0xFF000000u | colour;
    result.Image.setColorTable(table);
  }
  result.Color = MakeColor(static_cast<uint8_t>(qRed(colour)), static_cast<uint8_t>(qGreen(colour)),
                           static_cast<uint8_t>(qBlue(colour)));
  return result;
}

}  // namespace qira
