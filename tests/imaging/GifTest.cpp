// GIF pictures: files of make_gif.py read into the right pixels; damaged files
// refused with the codec's text and nothing half-read kept; our GIFs read back
// by Qt's reader and by giflib's tools with the same pixels.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QMimeData>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/GifImage.h"
#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/ColorReduction.h"
#include "platform/GraphicErrors.h"
#include "support/GeneratedFixtures.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScratchFolder.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

const TGeneratedFixtures& GifFiles() { return TGeneratedFixtures::Of("make_gif.py"); }

void LoadGif(TGIFImage& gif, const std::string& name) {
  TMemoryStream stream = GifFiles().Stream(name);
  gif.LoadFromStream(stream);
}

// The generator's colours and pictures.
TColor FixtureColor(int i) {
  return MakeColor(static_cast<uint8_t>(i * 7 % 256), static_cast<uint8_t>(i * 13 % 256),
                   static_cast<uint8_t>(i * 29 % 256));
}
int Pattern(int x, int y, int n) { return (x + 3 * y) % n; }
std::vector<int> Noise(int w, int h) {
  std::vector<int> out;
  uint32_t s = 12345;
  for (int i = 0; i < w * h; ++i) {
    s = s * 1103515245u + 12345u;
    out.push_back(static_cast<int>((s >> 16) & 0xFF));
  }
  return out;
}

TColor FramePixel(const TGIFImage& gif, int frame, int x, int y) {
  return PixelToColor(gif.Frame(frame).Bitmap()->Image().pixel(x, y));
}

std::vector<uint8_t> Saved(const TGIFImage& gif) {
  TMemoryStream stream;
  gif.SaveToStream(stream);
  return stream.TakeData();
}

QImage ReadWithQt(const std::vector<uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "gif");
  return reader.read();
}

// A 24-bit picture of a few colours.
QImage Stripes(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  const QRgb colors[] = {qRgb(255, 0, 0), qRgb(0, 128, 0), qRgb(0, 0, 255), qRgb(250, 250, 10), qRgb(0, 0, 0)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, colors[(x / 3 + y) % 5]);
  return image;
}

// ------------------------------------------------------------------ reading

TEST(GifReading, PatternFileGivesItsPixelsVersionAndScreen) {
  TGIFImage gif;
  LoadGif(gif, "pattern_87a.gif");
  EXPECT_EQ(gif.Version(), TGIFVersion::gv87a);
  EXPECT_EQ(gif.Width(), 5);
  EXPECT_EQ(gif.Height(), 4);
  ASSERT_EQ(gif.FrameCount(), 1);
  EXPECT_EQ(gif.FrameIndex(), 0);
  EXPECT_EQ(gif.Frame(0).Bitmap()->BitsPerPixel(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(FramePixel(gif, 0, x, y), FixtureColor(Pattern(x, y, 4)));
  EXPECT_EQ(gif.BackgroundColor, FixtureColor(0));
}

TEST(GifReading, SignatureAndVersionInAnyCaseAreAccepted) {
  TGIFImage gif;
  LoadGif(gif, "mixed_case.gif");
  EXPECT_EQ(gif.Version(), TGIFVersion::gv89a);
  EXPECT_EQ(FramePixel(gif, 0, 4, 3), FixtureColor(Pattern(4, 3, 4)));
}

TEST(GifReading, InterlacedRowsLandInTheirPlaces) {
  TGIFImage gif;
  LoadGif(gif, "interlaced_rows.gif");
  EXPECT_TRUE(gif.Frame(0).Interlaced);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(FramePixel(gif, 0, 2, y), FixtureColor(y)) << y;
  EXPECT_EQ(InterlacedRowOrder(16), (std::vector<int32_t>{0, 8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}));
}

TEST(GifReading, GraphicControlGivesTransparencyIntervalAndDisposal) {
  TGIFImage gif;
  LoadGif(gif, "transparent.gif");
  const TGIFFrame& frame = gif.Frame(0);
  EXPECT_EQ(frame.TransparentColor, FixtureColor(1));
  EXPECT_EQ(frame.AnimateInterval, 50);
  EXPECT_EQ(frame.DisposalMethod, 2);
  const QImage image = gif.ToImage();
  EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);    // index 1
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 255);  // index 0
}

// Entries 1 and 3 share a colour; the graphic control block names index 1.
TEST(GifReading, OnlyTheTransparentIndexIsSeeThroughNotOtherEntriesOfItsColour) {
  TGIFImage gif;
  LoadGif(gif, "transparent_shared_colour.gif");
  EXPECT_EQ(gif.Frame(0).TransparentIndex, 1);
  const QImage image = gif.ToImage();
  // Indices 0 1 2 3 / 3 2 1 0.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const int index = y == 0 ? x : 3 - x;
      EXPECT_EQ(qAlpha(image.pixel(x, y)), index == 1 ? 0 : 255) << x << "," << y;
    }

  QImage target(4, 2, QImage::Format_RGB32);
  target.fill(qRgb(1, 2, 3));
  TCanvas canvas(&target);
  gif.Draw(canvas, {0, 0, 4, 2});
  EXPECT_EQ(target.pixel(1, 0), qRgb(1, 2, 3));
  EXPECT_EQ(target.pixel(3, 0), ColorToPixel(FixtureColor(1)));  // index 3, opaque
  EXPECT_EQ(target.pixel(0, 1), ColorToPixel(FixtureColor(1)));
}

TEST(GifWriting, TheTransparentIndexSurvivesASaveWhenAnOpaqueEntryHasItsColour) {
  // Entries 1 and 3 share a colour; one of them is see-through.
  for (const auto& [file, seeThrough] : {std::pair{"transparent_shared_colour.gif", 1},
                                         std::pair{"transparent_shared_colour_late.gif", 3}}) {
    SCOPED_TRACE(file);
    TGIFImage gif;
    LoadGif(gif, file);
    const std::vector<uint8_t> bytes = Saved(gif);
    TGIFImage back;
    TMemoryStream stream(bytes);
    back.LoadFromStream(stream);
    EXPECT_EQ(back.Frame(0).TransparentIndex, seeThrough);
    const QImage image = back.ToImage();
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) {
        const int index = y == 0 ? x : 3 - x;
        EXPECT_EQ(qAlpha(image.pixel(x, y)), index == seeThrough ? 0 : 255) << x << "," << y;
      }
  }
}

TEST(GifReading, NetscapeLoopBlockSetsLoopingAndCapsTheCount) {
  TGIFImage zero;
  LoadGif(zero, "loop_0.gif");
  EXPECT_TRUE(zero.Looping);
  EXPECT_EQ(zero.RepeatCount, 0);
  EXPECT_EQ(zero.FrameCount(), 2);
  TGIFImage many;
  LoadGif(many, "loop_65535.gif");
  EXPECT_EQ(many.RepeatCount, 30000);
}

TEST(GifReading, LocalColourTableAndOffsetOfASecondFrame) {
  TGIFImage gif;
  LoadGif(gif, "local_table.gif");
  ASSERT_EQ(gif.FrameCount(), 2);
  const TGIFFrame& second = gif.Frame(1);
  EXPECT_TRUE(second.LocalColors);
  EXPECT_EQ(second.Left, 1);
  EXPECT_EQ(second.Top, 1);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(FramePixel(gif, 1, i % 2, i / 2), MakeColor(static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i), 128));
}

TEST(GifReading, CommentBehindTheFramesBecomesTheImageComment) {
  TGIFImage gif;
  LoadGif(gif, "comment.gif");
  EXPECT_EQ(gif.Data().Comment, (std::vector<std::string>{"first line", "second"}));
}

TEST(GifReading, FullCodeTablesWithClearCodesDecode) {
  TGIFImage gif;
  LoadGif(gif, "noise_8bit.gif");
  const std::vector<int> noise = Noise(97, 61);
  for (int y = 0; y < 61; ++y)
    for (int x = 0; x < 97; ++x) ASSERT_EQ(FramePixel(gif, 0, x, y), FixtureColor(noise[y * 97 + x])) << x << "," << y;
}

// The picture handed over is the current frame at its own size, as Draw shows it,
// whether the frame is larger or smaller than the screen.
TEST(GifReading, ThePictureIsTheFrameWhateverTheScreen) {
  for (const auto& [file, screen, frame] : {std::tuple{"frame_beyond_screen.gif", QSize(1, 1), QSize(64, 64)},
                                            std::tuple{"frame_within_screen.gif", QSize(8, 6), QSize(3, 2)}}) {
    TGIFImage gif;
    LoadGif(gif, file);
    EXPECT_EQ(QSize(gif.Width(), gif.Height()), screen) << file;
    EXPECT_EQ(gif.ImageSize(), frame) << file;
    EXPECT_EQ(gif.ToImage().size(), frame) << file;
    int rows = 0;
    gif.ForEachImageStrip(5, [&](int32_t top, const QImage& strip) {
      EXPECT_EQ(top, rows);
      EXPECT_EQ(strip.width(), frame.width()) << file;
      rows += strip.height();
    });
    EXPECT_EQ(rows, frame.height()) << file;
  }
}

TEST(GifReading, ZeroSizedFrameTakesTheScreenSize) {
  TGIFImage gif;
  LoadGif(gif, "zero_size_frame.gif");
  EXPECT_EQ(gif.Frame(0).Width(), 3);
  EXPECT_EQ(gif.Frame(0).Height(), 2);
  EXPECT_EQ(FramePixel(gif, 0, 2, 1), FixtureColor(Pattern(2, 1, 2)));
}

struct TRefusal {
  const char* file;
  std::string text;
  bool inFrameData = false;  // tolerant reading keeps the frame, flagged
  bool aboveLimit = false;   // EGraphicTooLarge, not the codec's EInvalidGraphicOperation
  int64_t room = -1;         // the memory the program may take, when not the machine's
};

class GifRefuses : public testing::TestWithParam<TRefusal> {};

TEST_P(GifRefuses, WithTheCodecTextAndKeepsThePreviousImage) {
  for (const bool tolerant : {false, true}) {
    if (tolerant && GetParam().inFrameData) continue;
    TGIFImage gif;
    gif.TolerantRead = tolerant;
    LoadGif(gif, "pattern_87a.gif");
    TMemoryStream stream = GifFiles().Stream(GetParam().file);
    std::optional<TScopedMemoryProbe> probe;
    if (GetParam().room >= 0) probe.emplace([room = GetParam().room] { return room; });
    try {
      gif.LoadFromStream(stream);
      ADD_FAILURE() << "loaded " << GetParam().file << " tolerant " << tolerant;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), GetParam().text);
      if (GetParam().aboveLimit) EXPECT_NE(dynamic_cast<const EGraphicTooLarge*>(&e), nullptr) << GetParam().file;
      else EXPECT_NE(dynamic_cast<const EInvalidGraphicOperation*>(&e), nullptr) << GetParam().file;
    }
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(gif.Width(), 5);
    EXPECT_EQ(FramePixel(gif, 0, 1, 0), FixtureColor(1));
  }
}

INSTANTIATE_TEST_SUITE_P(
    DamagedFiles, GifRefuses,
    testing::Values(TRefusal{"version_88a.gif", "Unknown GIF version"}, TRefusal{"not_gif.gif", "Unknown GIF version"},
                    TRefusal{"extension_99.gif", "Unrecognized extension block: 99"},
                    TRefusal{"code_size_12.gif", "GIF code size not in range 2 to 9", true},
                    TRefusal{"bad_first_code.gif", "GIF encoded data is corrupt", true},
                    TRefusal{"code_beyond_table.gif", "GIF encoded data is corrupt", true},
                    TRefusal{"early_end.gif", "GIF encoded data is corrupt", true},
                    TRefusal{"huge_frame.gif", "GIF encoded data is corrupt"},
                    // Larger than the reader takes: told as such, not as memory.
                    TRefusal{"vast_frame.gif", "This \"CompuServe GIF Image\" image of 20000 x 20000 pixels is "
                                               "larger than the largest picture that can be read (268435456 "
                                               "pixels).",
                             false, true},
                    // Its data the memory cannot hold: counted before it is copied.
                    TRefusal{"pattern_87a.gif", "This \"CompuServe GIF Image\" image is too large to be read: it "
                                                "needs 1 MB of memory, more than the 0 MB available now.",
                             false, true, 0},
                    TRefusal{"cut_colour_table.gif", "Stream read error"},
                    TRefusal{"cut_sub_block.gif", "Stream read error", true},
                    TRefusal{"cut_in_descriptor.gif", "Stream read error"},
                    TRefusal{"cut_in_extension.gif", "Stream read error"},
                    TRefusal{"cut_before_zero_block.gif", "Stream read error", true},
                    TRefusal{"codes_run_out.gif", "Stream read error", true},
                    TRefusal{"garbage_after_header.gif", "Stream read error"}),
    [](const testing::TestParamInfo<TRefusal>& info) {
      std::string name = info.param.file;
      return name.substr(0, name.find('.'));
    });

TEST(GifTruncation, EveryCutOfAGoodFileFailsOrHoldsNoWholeFrame) {
  const std::string bytes = GifFiles().Bytes("transparent.gif");
  for (const bool tolerant : {false, true}) {
    for (size_t cut = 0; cut + 1 < bytes.size(); ++cut) {
      TMemoryStream stream(bytes.data(), cut);
      TGIFImage gif;
      gif.TolerantRead = tolerant;
      try {
        gif.LoadFromStream(stream);
        if (!tolerant) {
          EXPECT_EQ(gif.FrameCount(), 0) << "cut at " << cut;
        }
        for (int f = 0; f < gif.FrameCount(); ++f) {
          // A frame cut inside its data is kept at its own size, flagged.
          EXPECT_TRUE(gif.Frame(f).Corrupted) << "cut at " << cut;
          ASSERT_NE(gif.Frame(f).Bitmap(), nullptr);
          EXPECT_EQ(gif.Frame(f).Bitmap()->Image().size(), QSize(6, 3));
        }
      } catch (const EInvalidGraphicOperation&) {
      }
    }
  }
}

// Indices of a frame's bitmap, rows from the top.
std::vector<int> FrameIndices(const TGIFImage& gif, int frame) {
  const QImage& image = gif.Frame(frame).Bitmap()->Image();
  std::vector<int> out;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) out.push_back(image.pixelIndex(x, y));
  return out;
}

// pattern(8, 4, 4) up to `kept` pixels, index 0 after.
std::vector<int> PatternUpTo(int kept) {
  std::vector<int> out;
  for (int i = 0; i < 32; ++i) out.push_back(i < kept ? Pattern(i % 8, i / 8, 4) : 0);
  return out;
}

struct TDamagedFrame {
  const char* file;
  int kept;    // pixels read before the damage
  int frames;  // frames read in all
};

class GifTolerantReading : public testing::TestWithParam<TDamagedFrame> {};

TEST_P(GifTolerantReading, KeepsTheFrameUpToTheDamageFlaggedAndReadsOn) {
  TGIFImage gif;
  LoadGif(gif, GetParam().file);
  ASSERT_EQ(gif.FrameCount(), GetParam().frames);
  EXPECT_TRUE(gif.Frame(0).Corrupted);
  EXPECT_EQ(FrameIndices(gif, 0), PatternUpTo(GetParam().kept));
  for (int f = 1; f < gif.FrameCount(); ++f) {
    EXPECT_FALSE(gif.Frame(f).Corrupted);
    std::vector<int> inverse = PatternUpTo(32);
    for (int& k : inverse) k = 3 - k;
    EXPECT_EQ(FrameIndices(gif, f), inverse);
  }
  // Written back as a whole stream, the damage reads the same again.
  const std::vector<uint8_t> saved = Saved(gif);
  TMemoryStream stream(saved);
  TGIFImage again;
  again.LoadFromStream(stream);
  ASSERT_EQ(again.FrameCount(), GetParam().frames);
  EXPECT_EQ(FrameIndices(again, 0), PatternUpTo(GetParam().kept));
}

INSTANTIATE_TEST_SUITE_P(DamagedFrames, GifTolerantReading,
                         testing::Values(TDamagedFrame{"damaged_bad_code.gif", 13, 2},
                                         TDamagedFrame{"damaged_cut_short.gif", 10, 1}),
                         [](const testing::TestParamInfo<TDamagedFrame>& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

TEST(GifTolerantReading, StrictReadingRefusesTheDamagedFrames) {
  for (const char* file : {"damaged_bad_code.gif", "damaged_cut_short.gif"}) {
    TGIFImage gif;
    gif.TolerantRead = false;
    TMemoryStream stream = GifFiles().Stream(file);
    EXPECT_THROW(gif.LoadFromStream(stream), EInvalidGraphicOperation) << file;
    EXPECT_EQ(gif.FrameCount(), 0);
  }
}

TEST(GifTruncation, AnyChangedByteLoadsWholeFramesOrIsRefused) {
  const std::string good = GifFiles().Bytes("local_table.gif");
  for (size_t at = 6; at < good.size(); ++at) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::string bytes = good;
      bytes[at] = static_cast<char>(bytes[at] ^ flip);
      TMemoryStream stream(bytes.data(), bytes.size());
      TGIFImage gif;
      try {
        gif.LoadFromStream(stream);
        for (int f = 0; f < gif.FrameCount(); ++f) {
          const TBitmapGraphic* bitmap = gif.Frame(f).Bitmap();
          ASSERT_NE(bitmap, nullptr);
          EXPECT_EQ(bitmap->Width(), gif.Frame(f).Width());
        }
      } catch (const EInvalidGraphicOperation&) {
      }
    }
  }
}

// ------------------------------------------------------------------ writing

TEST(GifWriting, QtReadsOurGifWithTheSamePixels) {
  TBitmapGraphic bitmap(Stripes(23, 9));
  TGIFImage gif;
  gif.AddFrame(bitmap);
  const std::vector<uint8_t> bytes = Saved(gif);
  const QImage qt = ReadWithQt(bytes);
  ASSERT_FALSE(qt.isNull());
  const QImage expected = Stripes(23, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 23; ++x) EXPECT_EQ(qt.pixel(x, y) | 0xFF000000u, expected.pixel(x, y)) << x << "," << y;
}

TEST(GifWriting, OurReaderReadsOurGifBack) {
  TBitmapGraphic bitmap(Stripes(17, 5));
  TGIFImage gif;
  gif.AddFrame(bitmap);
  const std::vector<uint8_t> bytes = Saved(gif);
  TGIFImage back;
  TMemoryStream stream(bytes);
  back.LoadFromStream(stream);
  const QImage expected = Stripes(17, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 17; ++x) EXPECT_EQ(FramePixel(back, 0, x, y), PixelToColor(expected.pixel(x, y)));
}

TEST(GifWriting, GiflibToolsReadOurGifWithTheSamePixels) {
  ASSERT_EQ(std::system("command -v gif2rgb gifbuild >/dev/null 2>&1"), 0) << "giflib-tools not installed; run scripts/setup";
  TBitmapGraphic bitmap(Stripes(31, 7));
  TGIFImage gif;
  gif.AddFrame(bitmap);
  gif.Comment().push_back("made by the viewer");
  TScratchFolder folder;
  const std::string path = folder.File("ours.gif");
  gif.SaveToFile(path);
  const std::string rgb = folder.File("ours.rgb");
  ASSERT_EQ(std::system(("gif2rgb -1 -o '" + rgb + "' '" + path + "' 2>/dev/null").c_str()), 0);
  std::ifstream in(rgb, std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(raw.size(), size_t{31 * 7 * 3});
  const QImage expected = Stripes(31, 7);
  for (int i = 0; i < 31 * 7; ++i) {
    const QRgb c = expected.pixel(i % 31, i / 31);
    EXPECT_EQ(static_cast<uint8_t>(raw[3 * i]), qRed(c));
    EXPECT_EQ(static_cast<uint8_t>(raw[3 * i + 1]), qGreen(c));
    EXPECT_EQ(static_cast<uint8_t>(raw[3 * i + 2]), qBlue(c));
  }
  const std::string text = folder.File("ours.txt");
  ASSERT_EQ(std::system(("gifbuild -d '" + path + "' > '" + text + "' 2>&1").c_str()), 0);
  std::ifstream listing(text);
  const std::string all((std::istreambuf_iterator<char>(listing)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("comment\nmade by the viewer\nend"), std::string::npos) << all;
  EXPECT_NE(all.find("image bits 31 by 7"), std::string::npos) << all;
}

TEST(GifWriting, VersionFollowsFramesExtensionsAndComments) {
  TBitmapGraphic bitmap(Stripes(4, 4));
  TGIFImage gif;
  EXPECT_EQ(gif.Version(), TGIFVersion::gvUnknown);
  gif.AddFrame(bitmap);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Saved(gif).data()), 6), "GIF87a");
  gif.Frame(0).TransparentColor = clRed;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Saved(gif).data()), 6), "GIF89a");

  TGIFImage two;
  two.AddFrame(bitmap);
  two.AddFrame(bitmap);
  EXPECT_EQ(two.Version(), TGIFVersion::gv89a);
}

TEST(GifWriting, OneBitBitmapWritesCodeSizeTwoAndATwoEntryTable) {
  QImage mono(8, 3, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) mono.setPixel(x, y, (x + y) % 2);
  TBitmapGraphic bitmap(mono);
  ASSERT_EQ(bitmap.BitsPerPixel(), 1);
  TGIFImage gif;
  gif.AddFrame(bitmap);
  const std::vector<uint8_t> bytes = Saved(gif);
  EXPECT_EQ(bytes[10], 0x80);             // global table of 2 entries, resolution 1
  EXPECT_EQ(bytes[13 + 6 + 10], 2);       // behind the table and the 10-byte descriptor
  const QImage qt = ReadWithQt(bytes);
  EXPECT_EQ(qt.pixel(1, 0) | 0xFF000000u, qRgb(255, 255, 255));
  EXPECT_EQ(qt.pixel(1, 1) | 0xFF000000u, qRgb(0, 0, 0));
}

TEST(GifWriting, TwentyFourBitBitmapIsReducedToA256EntryTable) {
  TBitmapGraphic bitmap(Stripes(10, 10));
  ASSERT_EQ(bitmap.BitsPerPixel(), 24);
  TGIFImage gif;
  gif.AddFrame(bitmap);
  const std::vector<uint8_t> bytes = Saved(gif);
  EXPECT_EQ(bytes[10] & 0x87, 0x87);
  EXPECT_EQ(gif.Frame(0).ColorMap().Count, 256);
}

// A fixed palette maps every pixel to its nearest level per channel, row by row of
// a picture in any format (here red, green, blue bytes with padded rows); Qt's
// reader sees the level colours.
struct TFixedCase {
  int32_t method;
  int redLevels, greenLevels, blueLevels;
};

class GifFixedPalette : public testing::TestWithParam<TFixedCase> {};

TEST_P(GifFixedPalette, EveryPixelReadsBackAsItsNearestLevels) {
  const TFixedCase c = GetParam();
  QImage picture(37, 11, QImage::Format_RGB888);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, (y * 23 + x) % 256, (x * y * 5) % 256));
  const int32_t old = DefaultColorReduction();
  ASSERT_TRUE(SetDefaultColorReduction(c.method));
  TGIFImage gif;
  gif.AssignImage(picture);
  const std::vector<uint8_t> bytes = Saved(gif);
  SetDefaultColorReduction(old);
  const QImage qt = ReadWithQt(bytes);
  ASSERT_FALSE(qt.isNull());
  // The nearest of n levels round(255 i / (n - 1)); the lower one on a tie.
  const auto nearest = [](int v, int n) {
    int best = 0;
    for (int i = 1; i < n; ++i) {
      const int level = (2 * 255 * i + (n - 1)) / (2 * (n - 1));
      const int bestLevel = (2 * 255 * best + (n - 1)) / (2 * (n - 1));
      if (std::abs(v - level) < std::abs(v - bestLevel)) best = i;
    }
    return (2 * 255 * best + (n - 1)) / (2 * (n - 1));
  };
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 37; ++x) {
      const QRgb p = picture.pixel(x, y);
      EXPECT_EQ(qt.pixel(x, y) | 0xFF000000u,
                qRgb(nearest(qRed(p), c.redLevels), nearest(qGreen(p), c.greenLevels), nearest(qBlue(p), c.blueLevels)))
          << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, GifFixedPalette,
                         testing::Values(TFixedCase{rmFixed666, 6, 6, 6}, TFixedCase{rmFixed784, 7, 8, 4}));

// Counts the clear codes of a data stream written with the given code size.
int CountClearCodes(const std::vector<uint8_t>& data) {
  const int m = data[0];
  std::vector<uint8_t> codes;
  for (size_t at = 1; at < data.size() && data[at] != 0; at += data[at] + 1u)
    codes.insert(codes.end(), data.begin() + static_cast<long>(at) + 1, data.begin() + static_cast<long>(at) + 1 + data[at]);
  const int clear = 1 << m;
  int width = m + 1, next = clear + 2, clears = 0;
  bool first = true;
  for (size_t bit = 0; bit + static_cast<size_t>(width) <= codes.size() * 8;) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((codes[bit / 8] >> (bit % 8)) & 1) << i;
    if (code == clear) {
      ++clears;
      width = m + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (code == clear + 1) break;
    if (!first && next < 4096 && ++next == (1 << width) && width < 12) ++width;
    first = false;
  }
  return clears;
}

TEST(GifWriting, LargeNoiseNeedsClearCodesAndReadsBackEverywhere) {
  const int w = 5000, h = 1000;
  std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
  std::mt19937 random(7);
  for (auto& i : indices) i = static_cast<uint8_t>(random());
  const std::vector<uint8_t> data = WriteGIFData(indices, w, h, 8, false);
  EXPECT_GT(CountClearCodes(data), 100);
  EXPECT_EQ(ReadGIFData(data, w, h, 8, false), indices);
}

TEST(GifWriting, InterlacedDataRoundTrips) {
  std::vector<uint8_t> indices(7 * 13);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i % 16);
  EXPECT_EQ(ReadGIFData(WriteGIFData(indices, 7, 13, 4, true), 7, 13, 4, true), indices);
}

TEST(GifWriting, LoopBlockOnlyWithMoreThanOneFrame) {
  TBitmapGraphic bitmap(Stripes(4, 4));
  TGIFImage gif;
  gif.AddFrame(bitmap);
  gif.Looping = true;
  gif.RepeatCount = 3;
  auto has = [](const std::vector<uint8_t>& b) {
    return std::string(b.begin(), b.end()).find("NETSCAPE2.0") != std::string::npos;
  };
  EXPECT_FALSE(has(Saved(gif)));
  gif.AddFrame(bitmap);
  const std::vector<uint8_t> bytes = Saved(gif);
  EXPECT_TRUE(has(bytes));
  TGIFImage back;
  TMemoryStream stream(bytes);
  back.LoadFromStream(stream);
  EXPECT_TRUE(back.Looping);
  EXPECT_EQ(back.RepeatCount, 3);
  EXPECT_EQ(back.FrameCount(), 2);
}

TEST(GifWriting, TransparentIntervalAndCommentSurviveARoundTrip) {
  TGIFImage gif;
  LoadGif(gif, "transparent.gif");
  gif.Comment().push_back("hello");
  const std::vector<uint8_t> bytes = Saved(gif);
  TGIFImage back;
  TMemoryStream stream(bytes);
  back.LoadFromStream(stream);
  EXPECT_EQ(back.Frame(0).TransparentColor, FixtureColor(1));
  EXPECT_EQ(back.Frame(0).AnimateInterval, 50);
  EXPECT_EQ(back.Frame(0).DisposalMethod, 2);
  EXPECT_EQ(back.Data().Comment, std::vector<std::string>{"hello"});
}

TEST(GifWriting, NoFramesOrAnEmptyFrameIsRefusedAndNothingWritten) {
  TGIFImage gif;
  TMemoryStream stream;
  EXPECT_THROW(gif.SaveToStream(stream), EInvalidGraphicOperation);
  TBitmapGraphic empty;
  gif.AddFrame(empty);
  EXPECT_THROW(gif.SaveToStream(stream), EInvalidGraphicOperation);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(GifWriting, ColorCountsMustBePowersOfTwo) {
  EXPECT_EQ(ColorsToBits(2), 1);
  EXPECT_EQ(ColorsToBits(16), 4);
  EXPECT_EQ(ColorsToBits(256), 8);
  EXPECT_THROW(ColorsToBits(3), EInvalidGraphicOperation);
  EXPECT_THROW(ColorsToBits(512), EInvalidGraphicOperation);
}

// -------------------------------------------------------------- the graphic

TEST(GifGraphic, DrawLeavesTheTransparentColourOut) {
  TGIFImage gif;
  LoadGif(gif, "transparent.gif");
  QImage image(12, 6, QImage::Format_RGB32);
  image.fill(qRgb(1, 2, 3));
  TCanvas canvas(&image);
  gif.Draw(canvas, {0, 0, 12, 6});  // twice the size
  EXPECT_EQ(image.pixel(2, 0), qRgb(1, 2, 3));  // source (1, 0): index 1
  EXPECT_EQ(image.pixel(0, 1), FixtureColor(0) == 0 ? qRgb(0, 0, 0) : ColorToPixel(FixtureColor(0)));
  gif.Transparent = false;
  gif.Draw(canvas, {0, 0, 12, 6});
  EXPECT_EQ(image.pixel(2, 0), ColorToPixel(FixtureColor(1)));
}

TEST(GifGraphic, SizeCannotChange) {
  TGIFImage gif;
  EXPECT_THROW(gif.SetWidth(3), EInvalidGraphicOperation);
  EXPECT_THROW(gif.SetHeight(3), EInvalidGraphicOperation);
}

TEST(GifGraphic, PictureRegistryLoadsGifFiles) {
  RegisterGifFileFormat();
  EXPECT_EQ(FindPictureFileFormat(".GIF"), &TGIFImage::StaticClass());
  TPicture picture;
  picture.LoadFromFile(GifFiles().File("pattern_87a.gif"));
  EXPECT_EQ(picture.Width(), 5);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TGIFImage");
}

TEST(GifGraphic, StreamingFormAndAssignmentShareThePicture) {
  TGIFImage gif;
  LoadGif(gif, "local_table.gif");
  TMemoryStream stream;
  gif.WriteData(stream);
  stream.Seek(0);
  TGIFImage copy;
  copy.ReadData(stream);
  EXPECT_EQ(copy.FrameCount(), 2);
  TGIFImage assigned;
  assigned.Assign(copy);
  assigned.Comment().push_back("only here");
  EXPECT_TRUE(copy.Data().Comment.empty());
  EXPECT_EQ(FramePixel(assigned, 1, 1, 1), FramePixel(gif, 1, 1, 1));

  TMemoryStream shortStream;
  shortStream.WriteInt32(1000);
  shortStream.Seek(0);
  EXPECT_THROW(copy.ReadData(shortStream), EInvalidGraphicOperation);
  EXPECT_EQ(copy.FrameCount(), 2);
}

TEST(GifGraphic, ClipboardCarriesTheGifStreamAndTheFirstFrame) {
  ASSERT_NE(EnsureTestApplication(), nullptr);
  TGIFImage gif;
  LoadGif(gif, "loop_0.gif");
  QMimeData data;
  gif.SaveToClipboardFormat(data);
  EXPECT_TRUE(data.hasImage());
  TGIFImage pasted;
  pasted.LoadFromClipboardFormat(data);
  EXPECT_EQ(pasted.FrameCount(), 2);

  QMimeData imageOnly;
  imageOnly.setImageData(Stripes(6, 2));
  pasted.LoadFromClipboardFormat(imageOnly);
  EXPECT_EQ(pasted.FrameCount(), 1);
  EXPECT_EQ(pasted.Width(), 6);
}

TEST(GifGraphic, TransparentPictureBecomesAWhiteTransparentFrame) {
  QImage argb(3, 1, QImage::Format_ARGB32);
  argb.setPixel(0, 0, qRgba(0, 0, 0, 0));
  argb.setPixel(1, 0, qRgba(255, 0, 0, 255));
  argb.setPixel(2, 0, qRgba(0, 0, 255, 255));
  TBitmapGraphic bitmap(argb);
  TGIFImage gif;
  gif.AddFrame(bitmap);
  EXPECT_EQ(gif.Frame(0).TransparentColor, clWhite);
  const std::vector<uint8_t> bytes = Saved(gif);
  const QImage qt = ReadWithQt(bytes);
  EXPECT_EQ(qAlpha(qt.pixel(0, 0)), 0);
  EXPECT_EQ(qt.pixel(1, 0) | 0xFF000000u, qRgb(255, 0, 0));
}

}  // namespace
}  // namespace qira
