// A picture with a side longer than a texture can have is refused with its size
// before any engine bitmap is allocated for it.
#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "platform/Picture.h"
#include "scene/gl/RenderingContext.h"
#include "scene/materials/Bitmap32.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

TEST(TextureSize, APictureWithASideBeyondTheLimitIsRefusedAndTheBitmapStaysEmpty) {
  ASSERT_EQ(CurrentGLContext(), nullptr);  // the fixed limit applies
  const int32_t limit = kFallbackMaxTextureSide;
  const std::string expected = "Picture of " + std::to_string(limit + 1) +
                               " x 4 pixels is too large for a texture: no side may be longer than " +
                               std::to_string(limit) + " pixels";
  for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_Indexed8}) {
    QImage wide(limit + 1, 4, format);
    TGLBitmap32 bitmap;
    const TBitmapGraphic graphic(wide);
    EXPECT_EQ(ThrownMessage<EBitmapTooLarge>([&] { bitmap.Assign(&graphic); }), expected);
    EXPECT_EQ(ThrownMessage<EBitmapTooLarge>([&] { bitmap.Assign(wide.transformed(QTransform().rotate(90))); }),
              "Picture of 4 x " + std::to_string(limit + 1) +
                  " pixels is too large for a texture: no side may be longer than " + std::to_string(limit) +
                  " pixels");
    EXPECT_TRUE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Data(), nullptr);
  }
  TGLBitmap32 fits;
  const TBitmapGraphic graphic(QImage(limit, 4, QImage::Format_RGB32));
  fits.Assign(&graphic);
  EXPECT_EQ(fits.Width(), limit);
}

}  // namespace
}  // namespace qira
