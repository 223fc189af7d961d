// Pictures, the bitmap graphic and the picture registry.
#include "platform/Picture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "platform/BinaryStream.h"
#include "support/GeneratedFixtures.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

// A second graphic kind: a picture of one colour, stored as the four bytes of
// its size and colour. It stands for the kinds other units register.
class TSolidGraphic : public TGraphic {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass cls("TSolidGraphic", []() -> std::unique_ptr<TGraphic> {
      return std::make_unique<TSolidGraphic>();
    });
    return cls;
  }
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }
  bool GetEmpty() const override { return size_ == 0; }
  int32_t Width() const override { return size_; }
  int32_t Height() const override { return size_; }
  void LoadFromStream(TBinaryStream& stream) override {
    uint8_t bytes[4];
    if (!stream.Read(bytes, 4)) throw EInvalidGraphic("Solid picture is not valid");
    size_ = bytes[0];
    color_ = qRgb(bytes[1], bytes[2], bytes[3]);
    Changed();
  }
  void SaveToStream(TBinaryStream& stream) const override {
    const uint8_t bytes[4] = {static_cast<uint8_t>(size_), static_cast<uint8_t>(qRed(color_)),
                              static_cast<uint8_t>(qGreen(color_)), static_cast<uint8_t>(qBlue(color_))};
    stream.Write(bytes, 4);
  }
  QImage ToImage() const override {
    if (size_ == 0) return {};
    QImage image(size_, size_, QImage::Format_RGB32);
    image.fill(color_);
    return image;
  }
  void AssignImage(const QImage& image) override {
    size_ = image.isNull() ? 0 : image.width();
    color_ = image.isNull() ? 0 : image.pixel(0, 0);
    Changed();
  }

 private:
  int32_t size_ = 0;
  QRgb color_ = 0;
};

class PictureRegistry : public ::testing::Test {
 protected:
  void SetUp() override { RegisterBitmapFileFormat(); }
  void TearDown() override { UnregisterPictureGraphicClass(TSolidGraphic::StaticClass()); }
};

TEST_F(PictureRegistry, FindsAKindByExtensionWithOrWithoutDotInAnyCase) {
  for (const char* ext : {"bmp", ".bmp", "BMP", ".BmP"}) {
    EXPECT_EQ(FindPictureFileFormat(ext), &TBitmapGraphic::StaticClass()) << ext;
  }
  EXPECT_EQ(FindPictureFileFormat("solid"), nullptr);
  EXPECT_EQ(FindPictureFileFormat(""), nullptr);
}

TEST_F(PictureRegistry, ListsFormatsInRegistrationOrderAndReplacesARegisteredExtensionInPlace) {
  RegisterPictureFileFormat(".SOLID", "Solid pictures", TSolidGraphic::StaticClass());
  RegisterBitmapFileFormat();
  std::vector<TPictureFileFormat> formats = PictureFileFormats();
  ASSERT_GE(formats.size(), 2u);
  EXPECT_EQ(formats[0].extension, "bmp");
  EXPECT_EQ(formats[0].description, "Bitmaps");
  EXPECT_EQ(formats.back().extension, "solid");
  EXPECT_EQ(formats.back().graphicClass, &TSolidGraphic::StaticClass());
  const size_t count = formats.size();

  RegisterPictureFileFormat("solid", "Plain colour", TSolidGraphic::StaticClass());
  formats = PictureFileFormats();
  EXPECT_EQ(formats.size(), count);
  EXPECT_EQ(formats.back().description, "Plain colour");

  UnregisterPictureGraphicClass(TSolidGraphic::StaticClass());
  EXPECT_EQ(FindPictureFileFormat("solid"), nullptr);
  EXPECT_EQ(FindPictureFileFormat("bmp"), &TBitmapGraphic::StaticClass());
}

// ---- pictures and files ----------------------------------------------------------

// Pictures of the BMP generator (tests/fixtures/make_bmp.py) are read from its
// folder; what a test writes goes to a folder of its own.
class PictureFiles : public PictureRegistry {
 protected:
  static std::string Fixture(const std::string& name) { return TGeneratedFixtures::Of("make_bmp.py").File(name); }
  TScratchFolder folder_;
};

TEST_F(PictureFiles, LoadsABmpFileThroughTheRegistryAndTellsOfTheChange) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TPicture&) { ++changes; };
  picture.LoadFromFile(Fixture("pal8.bmp"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(picture.Height(), 3);
  EXPECT_EQ(picture.Bitmap().BitsPerPixel(), 8);
  EXPECT_EQ(changes, 1);
  // A change of the graphic itself reaches the picture's handler too.
  picture.Graphic()->AssignImage(QImage(2, 2, QImage::Format_RGB32));
  EXPECT_EQ(changes, 2);
}

TEST_F(PictureFiles, AnUnknownExtensionOrABrokenFileKeepsThePictureAsItWas) {
  TPicture picture;
  picture.LoadFromFile(Fixture("rgb24_bottom_up.bmp"));
  folder_.Put("picture.xyz", "whatever");
  try {
    picture.LoadFromFile(folder_.File("picture.xyz"));
    ADD_FAILURE() << "accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_THROW(picture.LoadFromFile(Fixture("pixels_cut.bmp")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(folder_.File("missing.bmp")), EGraphicFileError);
  {
    const TScopedMemoryProbe probe([] { return int64_t{10}; });
    EXPECT_EQ(ThrownMessage<EGraphicFileError>([&] { picture.LoadFromFile(Fixture("pal8.bmp")); }),
              "The file \"" + Fixture("pal8.bmp") +
                  "\" is too large to be read: it needs 1 MB of memory, more than the 0 MB available now.");
  }
  EXPECT_EQ(picture.Width(), 5);
  EXPECT_EQ(picture.Height(), 3);
}

TEST_F(PictureFiles, SavesAtTheDepthItWasReadWith) {
  for (const char* name : {"pal4.bmp", "pal8.bmp", "rgb24_top_down.bmp", "rgba32.bmp"}) {
    TPicture picture;
    picture.LoadFromFile(Fixture(name));
    const std::string copy = folder_.File(std::string("copy_") + name);
    picture.SaveToFile(copy);
    TPicture again;
    again.LoadFromFile(copy);
    EXPECT_EQ(again.Bitmap().BitsPerPixel(), picture.Bitmap().BitsPerPixel()) << name;
    EXPECT_EQ(again.Bitmap().Image().convertToFormat(QImage::Format_ARGB32),
              picture.Bitmap().Image().convertToFormat(QImage::Format_ARGB32))
        << name;
    EXPECT_FALSE(QImage(QString::fromStdString(copy), "BMP").isNull()) << name;
  }
}

TEST_F(PictureFiles, AFileThatCannotBeCreatedRaisesTheFileError) {
  TBitmapGraphic bitmap(QImage(2, 2, QImage::Format_RGB32));
  EXPECT_THROW(bitmap.SaveToFile(folder_.File("no/such/folder/x.bmp")), EGraphicFileError);
}

TEST_F(PictureRegistry, AnotherKindTurnsIntoABitmapOfItsPixelsWhenAskedForOne) {
  RegisterPictureFileFormat("solid", "Solid pictures", TSolidGraphic::StaticClass());
  TSolidGraphic solid;
  solid.AssignImage([] {
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    return image;
  }());
  TPicture picture;
  picture.Assign(&solid);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TSolidGraphic");
  EXPECT_NE(picture.Graphic(), &solid);
  TBitmapGraphic& bitmap = picture.Bitmap();
  EXPECT_EQ(picture.Graphic(), &bitmap);
  EXPECT_EQ(bitmap.BitsPerPixel(), 24);
  EXPECT_EQ(bitmap.Image().pixel(2, 2), qRgb(10, 20, 30));

  TPicture empty;
  EXPECT_TRUE(empty.Bitmap().Empty());
  picture.Assign(static_cast<const TPicture*>(nullptr));
  EXPECT_EQ(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Width(), 0);
}

// ---- shared image data -----------------------------------------------------------

struct TSharedText : TSharedImage<TSharedText> {
  std::string Text;
};

TEST(SharedImage, AHolderAboutToWriteCopiesOnlyWhileOthersShareTheData) {
  auto first = std::make_shared<TSharedText>();
  first->Text = "kept";
  std::shared_ptr<TSharedText> second = first;
  TSharedText::Unshared(second).Text = "changed";
  EXPECT_EQ(first->Text, "kept");
  EXPECT_EQ(second->Text, "changed");
  const TSharedText* alone = second.get();
  TSharedText::Unshared(second).Text = "again";
  EXPECT_EQ(second.get(), alone);  // no other holder: written in place
}

// ---- the bitmap graphic ----------------------------------------------------------

TEST(BitmapGraphic, TakesItsDepthFromTheImageItIsGiven) {
  struct {
    QImage::Format format;
    int32_t bits;
  } const cases[] = {
      {QImage::Format_Mono, 1},       {QImage::Format_Indexed8, 8}, {QImage::Format_RGB32, 24},
      {QImage::Format_RGB888, 24},    {QImage::Format_ARGB32, 32},  {QImage::Format_ARGB32_Premultiplied, 32},
  };
  for (const auto& c : cases) {
    QImage image(4, 4, c.format);
    if (c.format == QImage::Format_Indexed8 || c.format == QImage::Format_Mono) {
      image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    image.fill(0);
    TBitmapGraphic bitmap;
    bitmap.AssignImage(image);
    EXPECT_EQ(bitmap.BitsPerPixel(), c.bits) << c.format;
  }
}

TEST(BitmapGraphic, ReducingToFourBitsKeepsTheClassicColours) {
  QImage image(2, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 0, 128));
  TBitmapGraphic bitmap(image);
  bitmap.SetBitsPerPixel(4);
  EXPECT_EQ(bitmap.BitsPerPixel(), 4);
  EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(bitmap.Image().pixel(1, 0), qRgb(0, 0, 128));
  EXPECT_THROW(bitmap.SetBitsPerPixel(12), EInvalidGraphicOperation);
}

TEST(BitmapGraphic, ATransparentGraphicLeavesOutItsBottomLeftColourAndCopiesKeepIt) {
  QImage image(2, 2, QImage::Format_RGB32);
  image.fill(qRgb(255, 0, 0));
  image.setPixel(0, 1, qRgb(0, 0, 255));
  image.setPixel(1, 0, qRgb(0, 0, 255));
  TBitmapGraphic bitmap(image);
  int changes = 0;
  bitmap.OnChange = [&](TGraphic&) { ++changes; };
  EXPECT_EQ(qAlpha(bitmap.DrawnImage().pixel(1, 0)), 255);  // opaque until asked
  bitmap.SetTransparent(true);
  bitmap.SetTransparent(true);
  EXPECT_EQ(changes, 1);
  const QImage drawn = bitmap.DrawnImage();
  EXPECT_EQ(qAlpha(drawn.pixel(0, 1)), 0);
  EXPECT_EQ(qAlpha(drawn.pixel(1, 0)), 0);
  EXPECT_EQ(drawn.pixel(0, 0), qRgb(255, 0, 0));
  TPicture picture;
  picture.SetGraphic(&bitmap);
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_TRUE(picture.Graphic()->Transparent());
}

}  // namespace
}  // namespace qira
