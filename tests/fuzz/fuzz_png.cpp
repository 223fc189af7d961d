// PNG pictures: read, turned into an image, written into memory and read back;
// the picture read back must be the one read (header, colour table, see-through
// colour and every pixel), or a save would change what the user sees.
#include <optional>
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"

namespace {

using namespace qira;

// The pixels shown, or nothing when the picture cannot be shown.
std::optional<QImage> Shown(const TPNGObject& png) {
  try {
    return png.ToImage();
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

void ExpectSamePicture(const TPNGObject& read, const TPNGObject& reread) {
  using fuzzing::Expect;
  Expect(read.HasHeader() == reread.HasHeader(), "the header's presence");
  if (read.HasHeader()) {
    const TChunkIHDR& a = read.GetHeader();
    const TChunkIHDR& b = reread.GetHeader();
    Expect(a.Width == b.Width && a.Height == b.Height, "the size");
    // Two-bit pictures are held, and so written, at four bits.
    const uint8_t depthWritten = a.BitDepth == 2 ? 4 : a.BitDepth;
    Expect(depthWritten == b.BitDepth && a.ColorType == b.ColorType, "the pixel format");
    Expect(a.InterlaceMethod == b.InterlaceMethod, "the interlacing");
  }
  Expect(read.GetPalette() == reread.GetPalette(), "the colour table");
  Expect(read.GetTransparencyMode() == reread.GetTransparencyMode(), "the transparency mode");
  if (read.GetTransparencyMode() == ptmBit)
    Expect(read.GetTransparentColor() == reread.GetTransparentColor(), "the see-through colour");
  const std::optional<QImage> a = Shown(read);
  const std::optional<QImage> b = Shown(reread);
  Expect(a.has_value() == b.has_value(), "whether the picture can be shown");
  if (a) Expect(fuzzing::SamePixels(*a, *b), "the pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  TPNGObject png;
  TMemoryStream stream(data, size);
  try {
    png.LoadFromStream(stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  TMemoryStream saved;
  png.SaveToStream(saved);
  // What the program wrote it must read: a throw here ends the run as a finding.
  TMemoryStream written(saved.TakeData());
  TPNGObject reread;
  reread.LoadFromStream(written);
  ExpectSamePicture(png, reread);
  return 0;
}
