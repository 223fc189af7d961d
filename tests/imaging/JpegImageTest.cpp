// The JPEG reader behind the picture registry, checked against libjpeg's own
// decoder (djpeg) on files libjpeg's own encoder (cjpeg) made.
#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "imaging/JpegImage.h"
#include "imaging/JpegWriter.h"
#include "platform/AvailableMemory.h"
#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "support/DjpegPeer.h"
#include "support/GeneratedFixtures.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

const TGeneratedFixtures& Jpegs() { return TGeneratedFixtures::Of("make_jpegs.py"); }

std::vector<uint8_t> BytesOf(const std::string& name) {
  const std::string b = Jpegs().Bytes(name);
  return {b.begin(), b.end()};
}

// The first pixel where the two pictures differ, as text; "" when equal.
std::string FirstDifference(const QImage& ours, const QImage& theirs) {
  if (ours.size() != theirs.size()) return "sizes differ";
  for (int y = 0; y < ours.height(); ++y)
    for (int x = 0; x < ours.width(); ++x)
      if ((ours.pixel(x, y) & 0xFFFFFF) != (theirs.pixel(x, y) & 0xFFFFFF))
        return std::to_string(x) + "," + std::to_string(y);
  return {};
}

class CjpegFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(CjpegFiles, DecodeToThePixelsLibjpegsOwnDecoderGives) {
  TScratchFolder folder;
  const QImage theirs = test::DjpegPixels(folder, Jpegs().File(GetParam()));
  ASSERT_FALSE(theirs.isNull());
  const QImage ours = DecodeJpeg(BytesOf(GetParam()));
  EXPECT_EQ(ours.format(), QImage::Format_RGB32);
  EXPECT_EQ(FirstDifference(ours, theirs), "") << GetParam();
}

INSTANTIATE_TEST_SUITE_P(LibjpegEncoder, CjpegFiles, ::testing::Values("baseline.jpg", "progressive.jpg", "grey.jpg",
                                                                     "arithmetic_tall.jpg"));

TEST(JpegReader, DamagedAndTruncatedFilesAreRefusedWithTheLibrarysReason) {
  const struct {
    const char* file;
    const char* reason;  // a part of the library's text (or the size check's)
    const char* what = kInvalidJpegText;
  } cases[] = {
      {"truncated.jpg", "Premature end of JPEG file"},
      {"bad_marker.jpg", ""},
      {"text.jpg", "Not a JPEG file"},
      {"vast.jpg", "16000 x 16000 pixels is more than the file's data can hold"},
      // Above what the readers take: told as such, not as damage or memory.
      {"above_limit.jpg", "20000 x 20000 pixels is above the readers' limit",
       "This \"JPEG Image File\" image of 20000 x 20000 pixels is larger than the largest picture that can be read "
       "(268435456 pixels)."},
  };
  for (const auto& c : cases) {
    try {
      (void)DecodeJpeg(BytesOf(c.file));
      ADD_FAILURE() << c.file << " was decoded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), c.what) << c.file;
      EXPECT_NE(e.Reason().find(c.reason), std::string::npos) << c.file << ": " << e.Reason();
      EXPECT_FALSE(e.Reason().empty()) << c.file;
    }
  }
  EXPECT_THROW((void)DecodeJpeg({}), EInvalidGraphic);
}

// The library tells of a file that ends early only once its decoder reads past the
// data, which a file lacking its end marker does too; the pixels tell the two apart.
TEST(JpegReader, AFileLackingOnlyItsEndMarkerGivesThePixelsOfTheWholeFile) {
  const struct {
    const char* cut;
    const char* whole;
  } cases[] = {
      {"no_end.jpg", "baseline.jpg"},
      {"detail_no_end.jpg", "detail_whole.jpg"},
      {"restart_no_end.jpg", "restart_whole.jpg"},
      {"progressive_no_end.jpg", "progressive_whole.jpg"},
  };
  TScratchFolder folder;
  for (const auto& c : cases) {
    const QImage theirs = test::DjpegPixels(folder, Jpegs().File(c.whole));
    ASSERT_FALSE(theirs.isNull()) << c.whole;
    try {
      EXPECT_EQ(FirstDifference(DecodeJpeg(BytesOf(c.cut)), theirs), "") << c.cut;
    } catch (const EInvalidGraphic& e) {
      ADD_FAILURE() << c.cut << " was refused: " << e.Reason();
    }
  }
}

TEST(JpegReader, AFileWhosePixelDataIsCutIsRefused) {
  // An arithmetic-coded scan reads as zeros past its end without a word, so such a
  // file without its end marker cannot be told from a cut one.
  for (const char* file : {"detail_scan_cut.jpg", "detail_last_bytes.jpg", "restart_scan_cut.jpg",
                           "progressive_no_last_scan.jpg", "arithmetic_scan_cut.jpg", "arithmetic_no_end.jpg"}) {
    try {
      (void)DecodeJpeg(BytesOf(file));
      ADD_FAILURE() << file << " was decoded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), kInvalidJpegText) << file;
      EXPECT_EQ(e.Reason(), "Premature end of JPEG file") << file;
    }
  }
}

// Decoding holds the picture, and for a frame of several scans the coefficients of
// the whole frame until its last scan is read: both are counted before either is taken.
TEST(JpegReaderMemory, APictureWhoseDecodingTheMemoryCannotHoldIsRefusedWithItsSize) {
  struct TReset {
    ~TReset() { SetAvailableMemoryProbe({}); }
  } reset;
  constexpr int64_t kPicture = 37 * 23 * 4;
  constexpr int64_t kCoefficients = 3 * 5 * 3 * 128;  // three components of 5 x 3 blocks (4:4:4)
  const struct {
    const char* file;
    int64_t room;
    bool decoded;
    bool streamed = false;  // through LoadFromStream, which copies the file's bytes first
  } cases[] = {
      {"baseline.jpg", kPicture - 1, false},
      {"baseline.jpg", kPicture, true},
      {"progressive.jpg", kPicture + kCoefficients - 1, false},
      {"progressive.jpg", kPicture + kCoefficients, true},
      {"baseline.jpg", 0, false, true},
  };
  for (const auto& c : cases) {
    SetAvailableMemoryProbe([room = c.room] { return room; });
    if (c.decoded) {
      EXPECT_EQ(DecodeJpeg(BytesOf(c.file)).size(), QSize(37, 23)) << c.file;
    } else if (c.streamed) {
      TMemoryStream stream(BytesOf(c.file));
      TJPEGImage image;
      EXPECT_EQ(ThrownMessage<EGraphicTooLarge>([&] { image.LoadFromStream(stream); }),
                "This \"JPEG Image File\" image is too large to be read: it needs 1 MB of memory, more than the 0 MB "
                "available now.");
    } else {
      EXPECT_EQ(ThrownMessage<EGraphicTooLarge>([&] { (void)DecodeJpeg(BytesOf(c.file)); }),
                "This \"JPEG Image File\" image of 37 x 23 pixels is too large: it needs 1 MB of memory, more than the "
                "0 MB available now.")
          << c.file << " in " << c.room;
    }
  }
}

// djpeg writes no CMYK as PPM: the inks are checked by value. Files with an
// APP14 marker store them inverted, so 128 of each ink is 128 x 128 / 255 of
// each colour.
TEST(JpegReader, InvertedCmykInksBecomeRgb) {
  const QImage image = DecodeJpeg(BytesOf("cmyk_app14.jpg"));
  ASSERT_EQ(image.size(), QSize(8, 8));
  EXPECT_EQ(image.pixel(0, 0), qRgb(64, 64, 64));
  EXPECT_EQ(image.pixel(7, 7), qRgb(64, 64, 64));
}

TEST(JpegReader, ARefusedFileLeavesTheGraphicAsItWas) {
  TJPEGImage image;
  TMemoryStream good(BytesOf("grey.jpg"));
  image.LoadFromStream(good);
  int changes = 0;
  image.OnChange = [&](TGraphic&) { ++changes; };
  TMemoryStream cut(BytesOf("truncated.jpg"));
  EXPECT_THROW(image.LoadFromStream(cut), EInvalidGraphic);
  EXPECT_EQ(image.Width(), 19);
  EXPECT_EQ(image.Height(), 11);
  EXPECT_EQ(changes, 0);
}

TEST(JpegReader, BothExtensionsLoadThroughThePictureRegistryAndSaveBack) {
  RegisterJpegFileFormat();
  TScratchFolder folder;
  for (const char* name : {"copy.jpg", "copy.JPEG"}) {
    folder.Put(name, Jpegs().Bytes("baseline.jpg"));
    TPicture picture;
    picture.LoadFromFile(folder.File(name));
    ASSERT_NE(picture.Graphic(), nullptr) << name;
    EXPECT_STREQ(picture.Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(picture.Width(), 37);
    EXPECT_EQ(picture.Height(), 23);
  }
  // Saved through the writer and read by djpeg again.
  TPicture picture;
  picture.LoadFromFile(folder.File("copy.jpg"));
  picture.SaveToFile(folder.File("again.jpg"));
  const QImage theirs = test::DjpegPixels(folder, folder.File("again.jpg"));
  EXPECT_EQ(theirs.size(), QSize(37, 23));
}

}  // namespace
}  // namespace qira
