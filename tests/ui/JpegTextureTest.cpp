// A JPEG file as a texture: the picture image reads it through the picture
// registry (the program's start-up registration) and its texture pixels are
// the ones libjpeg's own decoder (djpeg) gives.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QImage>

#include <string>

#include "platform/GraphicErrors.h"
#include "scene/materials/Bitmap32.h"
#include "scene/materials/TextureImages.h"
#include "support/DjpegPeer.h"
#include "support/GeneratedFixtures.h"
#include "support/ScratchFolder.h"
#include "ui/ProgramStart.h"

namespace qira {
namespace {

TEST(JpegTexture, AJpegFileLoadsAsATextureWithThePixelsDjpegDecodes) {
  RegisterProgramClasses();
  const TGeneratedFixtures& jpegs = TGeneratedFixtures::Of("make_jpegs.py");
  TScratchFolder folder;
  for (const char* name : {"baseline.jpg", "grey.jpg"}) {
    const QImage theirs = test::DjpegPixels(folder, jpegs.File(name));
    ASSERT_FALSE(theirs.isNull()) << name;
    TGLPersistentImage image;
    image.LoadFromFile(jpegs.File(name));
    ASSERT_EQ(image.GetWidth(), theirs.width()) << name;
    ASSERT_EQ(image.GetHeight(), theirs.height()) << name;
    TGLBitmap32* bitmap = image.GetBitmap32(GL_TEXTURE_2D);
    ASSERT_NE(bitmap, nullptr);
    // The block's width is a multiple of 4, the picture stretched into it by
    // nearest pixel; row 0 of the block is the picture's bottom row.
    ASSERT_EQ(bitmap->Width(), (theirs.width() + 3) / 4 * 4);
    int differing = 0;
    for (int y = 0; y < theirs.height(); ++y) {
      const uint8_t* p = bitmap->ScanLine(theirs.height() - 1 - y);
      for (int bx = 0; bx < bitmap->Width(); ++bx, p += 4) {
        const int x = bx * theirs.width() / bitmap->Width();
        if (qRgb(p[0], p[1], p[2]) != (theirs.pixel(x, y) | 0xFF000000u) || p[3] != 255) ++differing;
      }
    }
    EXPECT_EQ(differing, 0) << name;
  }
}

TEST(JpegTexture, ADamagedJpegFileIsRefusedAndLeavesNoPicture) {
  RegisterProgramClasses();
  TGLPersistentImage image;
  EXPECT_THROW(image.LoadFromFile(TGeneratedFixtures::Of("make_jpegs.py").File("truncated.jpg")), EInvalidGraphic);
  EXPECT_EQ(image.GetWidth(), 0);
}

}  // namespace
}  // namespace qira
