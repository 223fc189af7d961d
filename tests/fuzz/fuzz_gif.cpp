// GIF pictures: read, turned into an image and into a texture's block (of the
// frame's size, whatever the screen), written into memory and read back; the
// picture read back must be the one read (screen, frames with their places,
// timing and pixels, looping, comments), or a save would change what the user sees.
#include <stdexcept>

#include "fuzz/FuzzSupport.h"
#include "imaging/GifImage.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "scene/materials/Bitmap32.h"

namespace {

using namespace qira;

void ExpectSamePicture(TGIFImage& read, TGIFImage& reread) {
  using fuzzing::Expect;
  Expect(read.Width() == reread.Width() && read.Height() == reread.Height(), "the screen size");
  Expect(read.FrameCount() == reread.FrameCount(), "the number of frames");
  // A single picture does not animate, so the writer keeps no looping for it.
  if (read.FrameCount() > 1) {
    Expect(read.Looping == reread.Looping, "the looping");
    if (read.Looping) Expect(read.RepeatCount == reread.RepeatCount, "the repeat count");
  }
  Expect(read.Comment() == reread.Comment(), "the comment");
  for (int32_t i = 0; i < read.FrameCount(); ++i) {
    const TGIFFrame& a = read.Frame(i);
    const TGIFFrame& b = reread.Frame(i);
    Expect(a.Left == b.Left && a.Top == b.Top, "a frame's place");
    Expect(a.Width() == b.Width() && a.Height() == b.Height(), "a frame's size");
    Expect(a.AnimateInterval == b.AnimateInterval, "a frame's delay");
    Expect(a.DisposalMethod == b.DisposalMethod, "a frame's disposal");
    Expect(a.Interlaced == b.Interlaced, "a frame's interlacing");
    read.SetFrameIndex(i);
    reread.SetFrameIndex(i);
    Expect(fuzzing::SamePixels(read.ToImage(), reread.ToImage()), "a frame's pixels");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Start();
  TGIFImage gif;
  TMemoryStream stream(data, size);
  try {
    gif.LoadFromStream(stream);
  } catch (const std::runtime_error&) {
    return 0;
  }
  try {
    (void)gif.ToImage();
    TGLBitmap32 texture;
    texture.Assign(&gif);
    fuzzing::ExpectTextureOf(gif.ImageSize(), texture.Width(), texture.Height());
  } catch (const EGraphicTooLarge&) {
  } catch (const EBitmapTooLarge&) {
  }
  TMemoryStream saved;
  try {
    gif.SaveToStream(saved);
  } catch (const EInvalidGraphicOperation&) {
    // The writer's refusal of a picture without frames.
    if (gif.FrameCount() != 0) fuzzing::Finding("a picture with frames into an error");
    return 0;
  }
  // What the program wrote it must read: a throw here ends the run as a finding.
  TMemoryStream written(saved.TakeData());
  TGIFImage reread;
  reread.LoadFromStream(written);
  ExpectSamePicture(gif, reread);
  return 0;
}
