#pragma once
// libjpeg's own decoder (djpeg, package libjpeg-turbo-progs) as the independent
// reader of JPEG files: the pixels it writes as PPM/PGM, as an RGB32 image.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <string>

#include "support/PeerRun.h"
#include "support/ScratchFolder.h"

namespace qira::test {

// The picture djpeg decodes from `jpegPath`; a null image (and a test failure)
// when djpeg refuses it or writes something else than binary PPM or PGM.
inline QImage DjpegPixels(const TScratchFolder& folder, const std::string& jpegPath) {
  const std::string out = folder.File("djpeg-out.pnm");
  const TPeerOutput run = RunCommand("djpeg -pnm -outfile '" + out + "' '" + jpegPath + "'");
  EXPECT_EQ(run.status, 0) << "djpeg " << jpegPath << ": " << run.text;
  if (run.status != 0) return {};
  const std::string pnm = folder.Get("djpeg-out.pnm");
  // "P6\n<w> <h>\n255\n" or "P5 ..." as djpeg writes them.
  int width = 0, height = 0, maxval = 0, used = 0;
  char kind = 0;
  if (std::sscanf(pnm.c_str(), "P%c %d %d %d%n", &kind, &width, &height, &maxval, &used) != 4 || maxval != 255 ||
      (kind != '6' && kind != '5')) {
    ADD_FAILURE() << "djpeg wrote no 8-bit PPM/PGM";
    return {};
  }
  const int channels = kind == '6' ? 3 : 1;
  const size_t start = static_cast<size_t>(used) + 1;
  if (pnm.size() < start + static_cast<size_t>(width) * height * channels) {
    ADD_FAILURE() << "djpeg's output is cut short";
    return {};
  }
  QImage image(width, height, QImage::Format_RGB32);
  const auto* p = reinterpret_cast<const unsigned char*>(pnm.data()) + start;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, p += channels) {
      image.setPixel(x, y, channels == 3 ? qRgb(p[0], p[1], p[2]) : qRgb(p[0], p[0], p[0]));
    }
  }
  return image;
}

}  // namespace qira::test
