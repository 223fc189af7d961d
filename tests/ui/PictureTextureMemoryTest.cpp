// Large picture files on their way to a texture, as the program registers the
// picture kinds: read, decoded and converted into the texture's block, each step
// counted against the memory the program may take before it takes it. A picture
// that does not fit is refused with its size, never half-loaded, never an empty
// texture without a word, never the program killed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/AvailableMemory.h"
#include "scene/materials/Bitmap32.h"
#include "scene/materials/TextureImages.h"
#include "support/AddressSpaceLimit.h"
#include "support/GeneratedFixtures.h"
#include "support/HeapPeak.h"
#include "ui/ProgramStart.h"

namespace qira {
namespace {

constexpr int64_t MB = int64_t{1} << 20;

const TGeneratedFixtures& Large() { return TGeneratedFixtures::Of("make_large_pictures.py"); }

// The texture block a picture-file image builds for an upload: its width, or
// the reason it stayed empty.
struct TTextureLoad {
  int32_t width = 0;
  std::string error;
};

TTextureLoad LoadTexture(const std::string& path) {
  TGLPicFileImage image;
  image.SetPictureFileName(path);
  const TGLBitmap32* bitmap = image.GetBitmap32(GL_TEXTURE_2D);
  return {bitmap->Width(), image.LoadError()};
}

// The start of the refusal of a square picture.
std::string Refusal(const char* format, int size) {
  return "This \"" + std::string(format) + "\" image of " + std::to_string(size) + " x " + std::to_string(size) +
         " pixels is too large: it needs ";
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

struct TResetProbe {
  ~TResetProbe() { SetAvailableMemoryProbe({}); }
};

#ifdef QIRA_HEAP_HOOKS
// A limit as the system keeps one: what may still be taken is the budget less what
// the load holds so far. The reader's row buffers, libjpeg's working rows and the
// like are too small to be counted; they may pass the budget by this much.
constexpr int64_t kUncounted = MB / 2;

TEST(PictureTextureMemory, UnderAnyLimitAPictureLoadsOrIsRefusedWithItsSizeWithoutPassingTheLimit) {
  RegisterProgramClasses();
  const struct {
    const char* file;
    const char* format;
    int64_t fits;  // a budget the load must fit in
  } pictures[] = {
      // The PNG reader counts its rows (4 MB) and one 32-bit picture (4 MB), which
      // is what the block takes: no more is held at once.
      {"rgba_1024.png", "Portable Network Graphics", 9 * MB},
      // The picture, then the block beside it.
      {"baseline_1024.jpg", "JPEG Image File", 9 * MB},
      // Decoding holds the picture and the frame's coefficients (3 MB); then the
      // coefficients make room for the block.
      {"progressive_1024.jpg", "JPEG Image File", 9 * MB},
      // The frame's indices (1 MB), then the block beside them; the texture is the
      // frame, whatever the screen around it.
      {"squares_1024.gif", "CompuServe GIF Image", 6 * MB},
      {"frame_beyond_screen.gif", "CompuServe GIF Image", 6 * MB},
      {"frame_within_screen.gif", "CompuServe GIF Image", 6 * MB},
      // The file (1 MB) and the picture read from it a row at a time (1 MB), then
      // the block beside the picture.
      {"pal8_1024.bmp", "Bitmaps", 6 * MB},
  };
  TResetProbe reset;
  for (const auto& picture : pictures) {
    const std::string path = Large().File(picture.file);
    for (int64_t budget = 2 * MB; budget <= 12 * MB; budget += MB) {
      SetAvailableMemoryProbe([budget] { return budget - std::max<int64_t>(test::THeapPeak::Held(), 0); });
      test::THeapPeak::Start();
      const TTextureLoad load = LoadTexture(path);
      const int64_t peak = test::THeapPeak::Stop();
      const std::string where = std::string(picture.file) + " in " + std::to_string(budget / MB) + " MB";
      EXPECT_LE(peak, budget + kUncounted) << where;
      if (load.error.empty()) {
        EXPECT_EQ(load.width, 1024) << where;
      } else {
        EXPECT_TRUE(StartsWith(load.error, Refusal(picture.format, 1024))) << where << ": " << load.error;
        EXPECT_LT(budget, picture.fits) << where << ": " << load.error;
      }
    }
  }
}
#endif

// The limits below bind a child process only, so that nothing else meets them.
class PictureTextureMemoryDeathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RegisterProgramClasses();
  }
};

// 2048 x 2048 RGBA: 16 MB of rows and a 16 MB block. Converting it through whole
// copies of the picture held 64 MB at once.
TEST_F(PictureTextureMemoryDeathTest, APngWhoseRowsAndBlockFitTheLimitLoads) {
  const std::string png = Large().File("rgba_2048.png");
  EXPECT_EXIT(
      {
        if (!LimitAddressSpace(48 * MB)) _exit(2);
        const TTextureLoad load = LoadTexture(png);
        _exit(load.error.empty() && load.width == 2048 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// 2048 x 2048: what reading the file holds fits, the block beside it does not.
TEST_F(PictureTextureMemoryDeathTest, APictureWhoseBlockDoesNotFitBesideItIsRefusedWithItsSizeAndASmallOneLoads) {
  const std::string small = TGeneratedFixtures::Of("make_jpegs.py").File("baseline.jpg");
  const struct {
    const char* file;
    const char* format;
    int64_t room;
  } pictures[] = {
      // The decoded picture (16 MB).
      {"baseline_2048.jpg", "JPEG Image File", 24 * MB},
      // The frame's indices (4 MB); decoding them through a second copy did not fit.
      {"squares_2048.gif", "CompuServe GIF Image", 6 * MB},
      // The file and the picture (4 MB each); a second copy of the file did not fit.
      {"pal8_2048.bmp", "Bitmaps", 10 * MB},
  };
  for (const auto& picture : pictures) {
    const std::string path = Large().File(picture.file);
    EXPECT_EXIT(
        {
          if (!LimitAddressSpace(picture.room)) _exit(2);
          const TTextureLoad refused = LoadTexture(path);
          const TTextureLoad loaded = LoadTexture(small);
          const bool told = refused.width == 0 &&
                            StartsWith(refused.error, Refusal(picture.format, 2048) + "17 MB of memory, more than the ");
          _exit(told && loaded.error.empty() && loaded.width == 40 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << picture.file;
  }
}

// The memory was there when counted, and gone when taken (another thread took it):
// the picture that cannot be allocated is refused with its size, and never said to
// fit in what can be used. The child's allocator gives null instead of ending the
// program.
TEST_F(PictureTextureMemoryDeathTest, APictureWhoseAllocationFailsAfterTheCountIsRefusedWithItsSize) {
  const struct {
    const char* file;
    const char* format;
    int64_t room;  // what reading the file takes before the picture fits, the picture does not
  } pictures[] = {
      {"baseline_2048.jpg", "JPEG Image File", 8 * MB},
      {"squares_2048.gif", "CompuServe GIF Image", 3 * MB},
      {"pal8_2048.bmp", "Bitmaps", 6 * MB},
  };
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string options = sanitizer ? sanitizer : "";
  setenv("ASAN_OPTIONS", (options + ":allocator_may_return_null=1").c_str(), 1);
  for (const auto& picture : pictures) {
    const std::string path = Large().File(picture.file);
    EXPECT_EXIT(
        {
          if (!LimitAddressSpace(picture.room)) _exit(2);
          TResetProbe reset;
          SetAvailableMemoryProbe([] { return int64_t{1} << 40; });
          const TTextureLoad refused = LoadTexture(path);
          const bool told = StartsWith(refused.error, Refusal(picture.format, 2048)) &&
                            refused.error.ends_with(", which could not be had with the 1048576 MB available now.");
          _exit(refused.width == 0 && told ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << picture.file;
  }
  if (sanitizer) {
    setenv("ASAN_OPTIONS", options.c_str(), 1);
  } else {
    unsetenv("ASAN_OPTIONS");
  }
}

}  // namespace
}  // namespace qira
