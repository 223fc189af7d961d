#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "support/TestApplication.h"
#include "widgets/TreePictures.h"

namespace qira {
namespace {

// A GIF89a written byte by byte from the format: a 4 x 2 logical screen with a
// four-colour table, and one 1 x 1 frame per colour index given, frame i at (i, 1).
// Each frame: graphic control extension, image descriptor, LZW data (minimum code
// size 2: clear code 4, the index, end code 5, three bits each). `firstFrameBlocks`
// go between the first frame's graphic control extension and its descriptor.
std::vector<uint8_t> GifWithFrames(const std::vector<uint8_t>& indices, std::vector<size_t>* frameOffsets = nullptr,
                                   const std::vector<uint8_t>& firstFrameBlocks = {}) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x81, 0, 0};
  const uint8_t table[] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  g.insert(g.end(), std::begin(table), std::end(table));
  for (size_t i = 0; i < indices.size(); ++i) {
    if (frameOffsets) frameOffsets->push_back(g.size());
    const uint8_t gce[] = {0x21, 0xF9, 4, 0, 10, 0, 0, 0};
    g.insert(g.end(), std::begin(gce), std::end(gce));
    if (i == 0) g.insert(g.end(), firstFrameBlocks.begin(), firstFrameBlocks.end());
    const uint8_t desc[] = {0x2C, static_cast<uint8_t>(i), 0, 1, 0, 1, 0, 1, 0, 0};
    g.insert(g.end(), std::begin(desc), std::end(desc));
    const uint8_t byte0 = static_cast<uint8_t>(4 | (indices[i] << 3) | ((5 & 3) << 6));
    const uint8_t lzw[] = {2, 2, byte0, 5 >> 2, 0};
    g.insert(g.end(), std::begin(lzw), std::end(lzw));
  }
  g.push_back(0x3B);
  return g;
}

std::vector<uint8_t> PngBytes(int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class TreePictures : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
};

// A looping block (as image tools write it, inside the first frame's header blocks)
// and a comment of two sub-blocks.
const std::vector<uint8_t> kLoopAndComment = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                              3,    1,    0,  0,   0,   0x21, 0xFE, 2, 'a', 'b', 1, 0x2C, 0};

// Graphic control blocks, as many as asked, each of the eight bytes image tools write.
std::vector<uint8_t> ControlBlocks(size_t count) {
  std::vector<uint8_t> blocks;
  for (size_t i = 0; i < count; ++i) blocks.insert(blocks.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
  return blocks;
}

// A comment of one sub-block of the longest length a byte gives (255).
std::vector<uint8_t> LongestComment() {
  std::vector<uint8_t> comment = {0x21, 0xFE, 255};
  comment.insert(comment.end(), 255, 'c');
  comment.push_back(0);
  return comment;
}

TEST_F(TreePictures, GifFramesAreCountedAndTheChosenFrameLoadsWithTheFramesAfterIt) {
  // A second control block before the first frame's descriptor makes no frame of
  // its own; nor does a chain of 256,000 (2 MB), which a walk from every block to
  // the chain's end would take many minutes over. A sub-block of 255 bytes is
  // stepped over whole.
  for (const std::vector<uint8_t>& firstFrameBlocks :
       {std::vector<uint8_t>{}, kLoopAndComment, ControlBlocks(1), ControlBlocks(256000), LongestComment()}) {
    SCOPED_TRACE(firstFrameBlocks.size());
    std::vector<size_t> offsets;
    const std::vector<uint8_t> gif = GifWithFrames({1, 2, 3}, &offsets, firstFrameBlocks);
    THTMLPicture picture;
    picture.LoadFromBytes(gif);
    EXPECT_TRUE(picture.IsGIF());
    EXPECT_EQ(picture.GetFrameCount(), 3);
    EXPECT_EQ(picture.GetPictureWidth(), 4) << "the logical screen";
    EXPECT_EQ(picture.GetPictureHeight(), 2);
    int changes = 0;
    picture.OnFrameChange = [&](THTMLPicture&) { ++changes; };
    picture.SetFrame(2);
    EXPECT_EQ(changes, 1);
    std::vector<uint8_t> expected(gif.begin(), gif.begin() + static_cast<long>(offsets[0]));
    expected.insert(expected.end(), gif.begin() + static_cast<long>(offsets[1]), gif.end());
    EXPECT_EQ(picture.LoadedBytes(), expected) << "header, then frames 2 and 3";
    EXPECT_EQ(picture.FrameLeft(), 1) << "from frame 2's descriptor";
    EXPECT_EQ(picture.FrameTop(), 1);
    EXPECT_EQ(picture.FrameWidth(), 1);
    EXPECT_EQ(picture.FrameHeight(), 1);
    EXPECT_FALSE(picture.ToImage().isNull());
    EXPECT_THROW(picture.SetFrame(4), EInvalidGraphic) << "no fourth frame";
  }
}

// A frame past the last one leaves the loader nothing to show: the change fails
// with the loader's text, whether the frame is chosen before or after the data
// came, and the picture stays as it was (no half-loaded state, no event).
TEST_F(TreePictures, AFrameBeyondTheCountFailsAndLeavesThePictureAsItWas) {
  const std::vector<uint8_t> gif = GifWithFrames({1, 2, 3});
  const struct {
    const char* what;
    bool dataFirst;  // the data is loaded before the frame is chosen
    int32_t frame;
    bool loads;
  } cases[] = {
      {"the last frame, chosen on loaded data", true, 3, true},
      {"one past the last, chosen on loaded data", true, 4, false},
      {"far past the last, chosen on loaded data", true, 7, false},
      {"the last frame, chosen before the data", false, 3, true},
      {"one past the last, chosen before the data", false, 4, false},
      {"far past the last, chosen before the data", false, 7, false},
  };
  for (const auto& c : cases) {
    THTMLPicture picture;
    if (c.dataFirst) picture.LoadFromBytes(gif);
    int changes = 0, frameChanges = 0;
    picture.OnChange = [&](TGraphic&) { ++changes; };
    picture.OnFrameChange = [&](THTMLPicture&) { ++frameChanges; };
    std::string failure;
    try {
      if (c.dataFirst) {
        picture.SetFrame(c.frame);
      } else {
        picture.SetFrame(c.frame);
        picture.LoadFromBytes(gif);
      }
    } catch (const EInvalidGraphic& e) {
      failure = e.what();
    }
    if (c.loads) {
      EXPECT_EQ(failure, "") << c.what;
      EXPECT_EQ(picture.Frame(), c.frame) << c.what;
      EXPECT_FALSE(picture.ToImage().isNull()) << c.what;
      EXPECT_EQ(picture.FrameLeft(), 2) << c.what << ": frame 3's descriptor";
      continue;
    }
    EXPECT_EQ(failure, "Could not load image") << c.what;
    EXPECT_EQ(changes + frameChanges, 0) << c.what;
    if (c.dataFirst) {
      EXPECT_EQ(picture.Frame(), 1) << c.what;
      EXPECT_FALSE(picture.Empty()) << c.what;
      EXPECT_FALSE(picture.ToImage().isNull()) << c.what;
      EXPECT_EQ(picture.LoadedBytes(), gif) << c.what << ": frame 1 still shown";
    } else {
      EXPECT_EQ(picture.Frame(), c.frame) << c.what << ": the choice is kept, not reset";
      EXPECT_TRUE(picture.Empty()) << c.what;
      EXPECT_TRUE(picture.ToImage().isNull()) << c.what;
      EXPECT_TRUE(picture.Data().empty()) << c.what;
    }
  }
}

TEST_F(TreePictures, ATruncatedFrameDescriptorIsNotReadPastTheData) {
  std::vector<uint8_t> gif = GifWithFrames({1});
  // Cut inside the descriptor: the frame start is still recognised.
  gif.resize(13 + 12 + 8 + 3);
  THTMLPicture picture;
  EXPECT_THROW(picture.LoadFromBytes(gif), EInvalidGraphic);
  EXPECT_TRUE(picture.Empty());
}

TEST_F(TreePictures, OtherDataShowsItsOneImage) {
  THTMLPicture picture;
  picture.LoadFromBytes(PngBytes(7, 5, Qt::red));
  EXPECT_FALSE(picture.IsGIF());
  EXPECT_EQ(picture.GetFrameCount(), -1);
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(picture.Height(), 5);
  EXPECT_EQ(picture.GetPictureWidth(), 7);
  TBitmap target(20, 20);
  picture.Draw(target.Canvas(), TRect{2, 3, 20, 20});
  EXPECT_EQ(target.Pixel(2, 3), clRed);
  EXPECT_EQ(target.Pixel(9, 3), clWhite) << "drawn at its own size";
  picture.Stretch = true;
  picture.Draw(target.Canvas(), TRect{0, 0, 20, 20});
  EXPECT_EQ(target.Pixel(19, 19), clRed);
}

TEST_F(TreePictures, UndecodableDataRaisesAndKeepsThePicture) {
  THTMLPicture picture;
  picture.LoadFromBytes(PngBytes(3, 3, Qt::blue));
  const std::vector<uint8_t> junk = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'};
  try {
    picture.LoadFromBytes(junk);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Could not load image. Invalid format");
  }
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_THROW(picture.LoadFromBytes({}), EInvalidGraphic);
}

TEST_F(TreePictures, StreamsCarryTheDataUnchangedAndAssignCopiesIt) {
  const std::vector<uint8_t> png = PngBytes(4, 4, Qt::green);
  TMemoryStream in(png.data(), png.size());
  THTMLPicture picture;
  int changes = 0;
  picture.OnChange = [&](TGraphic&) { ++changes; };
  picture.LoadFromStream(in);
  EXPECT_EQ(changes, 1);
  TMemoryStream out;
  picture.SaveToStream(out);
  EXPECT_EQ(out.Data(), png);
  THTMLPicture copy;
  picture.Stretch = true;
  copy.Assign(picture);
  EXPECT_EQ(copy.Data(), png);
  EXPECT_TRUE(copy.Stretch);
  EXPECT_EQ(copy.Width(), 4);
  copy.AssignImage(QImage());
  EXPECT_TRUE(copy.Empty());
}

TEST_F(TreePictures, AddressesLoadOnlyLocalFilesWhateverTheCaseOfTheirPrefix) {
  QTemporaryDir dir;
  const std::string path = QDir(dir.path()).filePath("p.png").toStdString();
  const std::vector<uint8_t> png = PngBytes(6, 2, Qt::red);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(reinterpret_cast<const char*>(png.data()), static_cast<qint64>(png.size()));
  file.close();

  THTMLPicture local;
  local.SetID("file://" + path);
  EXPECT_EQ(local.ID(), "file://" + path) << "the ID keeps the text as written";
  EXPECT_EQ(local.Width(), 6);

  THTMLPicture remote;
  remote.Asynch = false;  // as the renderer makes them: nothing is fetched
  remote.SetID("https://example.org/p.png");
  EXPECT_TRUE(remote.Empty());
  EXPECT_EQ(remote.URL(), "https://example.org/p.png");

  THTMLPicture resource;
  resource.SetID("res://NoSuchResource");
  EXPECT_TRUE(resource.Empty());
  EXPECT_EQ(resource.ID(), "res://NoSuchResource");
  THTMLPicture unnamed;
  unnamed.SetID("FILE://");
  EXPECT_TRUE(unnamed.Empty());
}

TEST_F(TreePictures, CacheFindsPicturesByExactIdAndOwnsThem) {
  THTMLPictureCache cache;
  THTMLPicture* a = cache.AddPicture();
  a->Asynch = false;
  a->SetID("http://a");
  THTMLPicture* b = cache.AddPicture();
  b->Asynch = false;
  b->SetID("http://b");
  EXPECT_EQ(cache.FindPicture("http://a"), a);
  EXPECT_EQ(cache.FindPicture("HTTP://A"), nullptr);
  EXPECT_EQ(cache.Count(), 2u);
  cache.ClearPictures();
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.FindPicture("http://a"), nullptr);
}

}  // namespace
}  // namespace qira
