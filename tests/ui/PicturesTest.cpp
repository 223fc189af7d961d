// Pictures of the view window, rendered headless (the picture pass makes its
// own memory context) and read back by independent readers: Qt's BMP, PNG and
// JPEG readers and libtiff's tiff2rgba / tiffinfo. The options dialog's own
// tests are in PictureOptionsDialogTest.cpp.
#include "ui/Pictures.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "scene/graph/CameraLight.h"
#include "scene/components/PlatformUtilities.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneBuffer.h"
#include "scene/objects/PointsLines.h"
#include "scene/viewers/SceneViewer.h"
#include "scene/viewers/FullScreenViewer.h"
#include "scene/viewers/MemoryViewer.h"
#include "imaging/PngErrors.h"
#include "model/Borehole.h"
#include "platform/AvailableMemory.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "support/AddressSpaceLimit.h"
#include "support/CountingSection.h"
#include "support/PeerRun.h"
#include "support/HeapPeak.h"
#include "support/ScopedMemoryProbe.h"
#include "ui/ExportDialogs.h"
#include "ui/ViewTestSupport.h"

namespace qira {
namespace {

constexpr TColor kBackground = MakeColor(10, 200, 30);
// A scene that draws nothing, in tiles of the largest edge.
constexpr TPictureScene kNoScene{};

// ---- peers ----------------------------------------------------------------------------

// The TIFF file as libtiff decodes it (tiff2rgba, then tiffinfo's dump of the
// RGBA strip), top row first; a null image when the tools fail.
QImage ReadTiffWithLibtiff(const std::string& tif, const std::string& scratchRgba, int width, int height) {
  const test::TPeerOutput convert = test::RunCommand("tiff2rgba -c none '" + tif + "' '" + scratchRgba + "'");
  const test::TPeerOutput dump = test::RunCommand("tiffinfo -d '" + scratchRgba + "'");
  const size_t strip = dump.text.find("Strip 0:");
  if (convert.status != 0 || dump.status != 0 || strip == std::string::npos) {
    ADD_FAILURE() << convert.text << dump.text;
    return {};
  }
  std::istringstream in(dump.text.substr(strip + 8));
  std::vector<int> samples;
  std::string hex;
  // Later strips are headed "Strip n:"; every sample is two hex digits.
  while (in >> hex) {
    if (hex.size() == 2 && std::isxdigit(static_cast<unsigned char>(hex[0])) &&
        std::isxdigit(static_cast<unsigned char>(hex[1]))) {
      samples.push_back(static_cast<int>(std::stoul(hex, nullptr, 16)));
    }
  }
  if (samples.size() != static_cast<size_t>(width) * height * 4) return {};
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t at = (static_cast<size_t>(y) * width + x) * 4;
      image.setPixel(x, y, qRgb(samples[at], samples[at + 1], samples[at + 2]));
    }
  return image;
}

int MaxChannelDistance(const QImage& a, const QImage& b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                        std::abs(qBlue(p) - qBlue(q))});
    }
  return worst;
}

double MeanChannelDistance(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

// Runs `answer` on the visible picture options dialog once its modal loop runs.
void AnswerOptions(std::function<void(TSaveImageForm&)> answer, bool* seen = nullptr) {
  QTimer::singleShot(0, [answer, seen] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* d = dynamic_cast<TSaveImageForm*>(w); d && d->isVisible()) {
        if (seen) *seen = true;
        answer(*d);
        return;
      }
    }
  });
}

// Runs `act` on the progress dialog once it shows; *seen counts the tiles it
// was set up for.
void WatchProgress(std::function<void(QProgressDialog&)> act, int* steps = nullptr) {
  auto* poll = new QTimer();
  poll->setInterval(0);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act, steps] {
    if (auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      if (steps) *steps = dialog->maximum();
      act(*dialog);
    }
  });
  poll->start();
}

void ChooseOptions(int dpi, bool transparent, bool* seen = nullptr) {
  AnswerOptions(
      [dpi, transparent](TSaveImageForm& d) {
        d.Start(dpi, transparent);
        d.OkButton()->click();
      },
      seen);
}

// ---- fixture ---------------------------------------------------------------------------

class PicturesGL : public view_testing::TViewWindowTest {
 protected:
  void SetUp() override {
    TViewWindowTest::SetUp();
    if (IsSkipped()) return;
    RegisterPictureCommands();
    SetScreenCapsProvider([] { return TScreenCaps{}; });  // 96 pixels per inch
    form_ = NewDocument();
    // Close enough for the axis cross to cover many pixels of a small picture.
    form_->Camera->Position().SetPoint(0, 0, 600);
    Buffer().SetBackgroundColor(kBackground);
    // The viewer keeps a small size whatever the layout does while dialogs run.
    form_->GL3DSceneViewer1->setFixedSize(40, 30);
    RunEventLoopFor(10);
    Buffer().Resize(40, 30);
    try {
      reference96_ = RenderBitmap(*form_, 96, false).Bitmap;
    } catch (const std::exception& e) {
      GTEST_SKIP() << "no headless rendering: " << e.what();
    }
  }
  void TearDown() override {
    form_.reset();
    SetScreenCapsProvider({});
    TViewWindowTest::TearDown();
  }

  TGL3DSceneBuffer& Buffer() { return form_->GL3DSceneViewer1->Buffer(); }
  // One "Save picture" that chooses `path` with `filterIndex` and the options.
  void SaveAs(const std::string& path, int filterIndex, int dpi, bool transparent) {
    services_.FileAnswers.push_back(path);
    services_.FilterIndexAnswers.push_back(filterIndex);
    bool seen = false;
    ChooseOptions(dpi, transparent, &seen);
    SavePicture(*form_);
    ASSERT_TRUE(seen);
  }

  std::unique_ptr<TForm3D> form_;
  QImage reference96_;
};

// ---- picture size ----------------------------------------------------------------------

TEST(PictureSizes, AreTheViewerSizeScaledByDpiOverScreenDpiTimesOnePointThree) {
  struct TCase {
    int32_t width, height, dpi, screen;
    int64_t expectedWidth, expectedHeight;
  };
  const TCase cases[] = {
      {800, 768, 300, 96, 3250, 3120},   // a large viewer at 300 DPI
      {800, 600, 96, 96, 1040, 780},     // a clipboard copy: 1.3 times the viewer
      {40, 30, 96, 120, 42, 31},         // 41.6 and 31.2
      {5, 15, 96, 96, 6, 20},            // 6.5 and 19.5: halves go to the even neighbour
      {40, 30, 96, 0, 52, 39},           // no screen resolution: 96
      {2000000000, 1, 10000, 96, 270833333333, 135},  // 64-bit, refused later rather than wrapped
  };
  for (const TCase& c : cases) {
    const TPictureSize size = PictureSize(c.width, c.height, c.dpi, c.screen);
    EXPECT_EQ(size.Width, c.expectedWidth) << c.width << "x" << c.height << " at " << c.dpi << "/" << c.screen;
    EXPECT_EQ(size.Height, c.expectedHeight) << c.width << "x" << c.height << " at " << c.dpi << "/" << c.screen;
  }
}

TEST_F(PicturesGL, RenderedPictureIsTheViewAtTheChosenResolution) {
  EXPECT_EQ(reference96_.size(), QSize(52, 39));
  EXPECT_EQ(reference96_.pixel(0, 0) & 0xFFFFFFu, qRgb(10, 200, 30) & 0xFFFFFFu);
  // Not a blank picture: the axis cross is there.
  int other = 0;
  for (int y = 0; y < reference96_.height(); ++y)
    for (int x = 0; x < reference96_.width(); ++x) other += (reference96_.pixel(x, y) & 0xFFFFFFu) != 0x0AC81Eu;
  EXPECT_GT(other, 10);
  EXPECT_EQ(RenderBitmap(*form_, 192, false).Bitmap.size(), QSize(104, 78));

  SetScreenCapsProvider([] { return TScreenCaps{120, 120, 32, -1}; });
  EXPECT_EQ(RenderBitmap(*form_, 96, false).Bitmap.size(), QSize(42, 31));
}

TEST_F(PicturesGL, TransparentPictureNamesTheBackgroundColour) {
  const TRenderedPicture picture = RenderBitmap(*form_, 96, true);
  EXPECT_TRUE(picture.Transparent);
  EXPECT_EQ(picture.TransparentColor, kBackground);
  EXPECT_FALSE(RenderBitmap(*form_, 96, false).Transparent);
}

TEST_F(PicturesGL, PictureShowsTheBufferThatRenderedLast) {
  EXPECT_EQ(&PictureBuffer(*form_), &Buffer());
  TGL3DSceneBuffer& fullScreen = form_->GLFullScreenViewer1->Buffer();
  fullScreen.Resize(20, 10);
  form_->GL3DScene1->SetCurrentBuffer(&fullScreen);
  EXPECT_EQ(&PictureBuffer(*form_), &fullScreen);
  EXPECT_EQ(RenderBitmap(*form_, 96, false).Bitmap.size(), QSize(26, 13));
  form_->GL3DScene1->SetCurrentBuffer(nullptr);
}

// ---- save picture: the dialogs ---------------------------------------------------------------

TEST_F(PicturesGL, SaveDialogOffersTheFourFormatsWithPngPreselected) {
  services_.FileAnswers.push_back(std::nullopt);
  bool optionsShown = false;
  AnswerOptions([&](TSaveImageForm& d) { optionsShown = true; d.reject(); });
  SavePicture(*form_);
  ASSERT_EQ(services_.FileCalls.size(), 1u);
  const TFileRequest& request = services_.FileCalls[0].Request;
  EXPECT_TRUE(services_.FileCalls[0].Save);
  EXPECT_EQ(request.Filter,
            "Bitmap pictures (*.bmp)|*.bmp|TIF pictures (*.tif)|*.tif|PNG pictures (*.png)|*.png|"
            "JPG pictures (*.jpg)|*.jpg|All files (*.*)|*.*");
  EXPECT_EQ(request.FilterIndex, 3);
  EXPECT_EQ(request.DefaultExt, "");  // the chosen type completes a bare name instead
  EXPECT_TRUE(request.OverwritePrompt);
  // Cancelled: no options dialog, nothing stored.
  RunEventLoopFor(20);
  EXPECT_FALSE(optionsShown);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), -1);
}

TEST_F(PicturesGL, OptionsStartFromTheStoredResolutionAndTransparency) {
  services_.FileAnswers.push_back(scratch_.File("a.png"));
  int shownDpi = 0;
  bool shownTransparent = false;
  AnswerOptions([&](TSaveImageForm& d) {
    shownDpi = d.ChosenDPI();
    shownTransparent = d.ChosenTransparent();
    d.CancelButton()->click();
  });
  SavePicture(*form_);
  EXPECT_EQ(shownDpi, 300);
  EXPECT_TRUE(shownTransparent);
}

TEST_F(PicturesGL, CancellingTheOptionsLeavesTheStoredTypeAndWritesNothing) {
  WriteSetting(SettingKeys::PictureFileType, 2);
  services_.FileAnswers.push_back(scratch_.File("view.jpg"));
  services_.FilterIndexAnswers.push_back(4);
  bool seen = false;
  AnswerOptions([](TSaveImageForm& d) { d.CancelButton()->click(); }, &seen);
  SavePicture(*form_);
  ASSERT_TRUE(seen);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), 2);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureDpi, -1), -1);
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("view.jpg")));
}

TEST_F(PicturesGL, ChoicesAreStoredAfterASaveAndPreselectedNextTime) {
  SaveAs(scratch_.File("view.jpg"), 4, 150, false);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), 4);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureDpi, -1), 150);
  EXPECT_FALSE(ReadSetting(SettingKeys::PictureTransparency, true));

  services_.FileAnswers.push_back(std::nullopt);
  SavePicture(*form_);
  EXPECT_EQ(services_.FileCalls.at(1).Request.FilterIndex, 4);
  services_.FileAnswers.push_back(scratch_.File("again.jpg"));
  int shownDpi = 0;
  bool shownTransparent = true;
  AnswerOptions([&](TSaveImageForm& d) {
    shownDpi = d.ChosenDPI();
    shownTransparent = d.ChosenTransparent();
    d.CancelButton()->click();
  });
  SavePicture(*form_);
  EXPECT_EQ(shownDpi, 150);
  EXPECT_FALSE(shownTransparent);
}

TEST_F(PicturesGL, SaveDialogsStartInTheFolderUsedLastAlsoAfterTheNextStart) {
  // An earlier run exported to this folder; this run starts somewhere else.
  const std::string earlier = scratch_.File("earlier");
  std::filesystem::create_directory(earlier);
  ExportPath = earlier;
  ASSERT_TRUE(SaveSettings());
  ExportPath.clear();
  LoadSettings(scratch_.File("QIRA3D.ini"), scratch_.File("start"));
  services_.FileAnswers.push_back(std::nullopt);
  SavePicture(*form_);
  ASSERT_EQ(services_.FileCalls.size(), 1u);
  EXPECT_EQ(services_.FileCalls[0].Request.InitialDir, earlier);

  // A picture saved elsewhere moves both dialogs there, in this run and the next.
  const std::string pictures = scratch_.File("pictures");
  std::filesystem::create_directory(pictures);
  SaveAs(pictures + "/view.png", 3, 96, false);
  EXPECT_TRUE(std::filesystem::exists(pictures + "/view.png"));
  EXPECT_EQ(TSaveExportTableDialog().InitialDir, pictures);
  ASSERT_TRUE(SaveSettings());
  LoadSettings(scratch_.File("QIRA3D.ini"), scratch_.File("start"));
  services_.FileAnswers.push_back(std::nullopt);
  SavePicture(*form_);
  ASSERT_EQ(services_.FileCalls.size(), 3u);
  EXPECT_EQ(services_.FileCalls[2].Request.InitialDir, pictures);
  EXPECT_EQ(TSaveExportDXFDialog().InitialDir, pictures);
}

TEST_F(PicturesGL, StoredTypeOutsideTheFilterStartsWithPng) {
  WriteSetting(SettingKeys::PictureFileType, 9);
  SavePicture(*form_);
  EXPECT_EQ(services_.FileCalls.at(0).Request.FilterIndex, 3);
}

// ---- save picture: the files -----------------------------------------------------------------

TEST_F(PicturesGL, EachFormatReadsBackWithTheRenderedPixelsAtTheChosenResolution) {
  const QImage reference = RenderBitmap(*form_, 192, false).Bitmap;
  ASSERT_EQ(reference.size(), QSize(104, 78));
  struct TCase {
    int filterIndex;
    std::string name;
    std::string signature;  // first bytes of the file
    int tolerance;          // largest channel difference
  };
  const std::vector<TCase> cases = {
      {1, "view.bmp", "BM", 0},
      {2, "view.tif", "II*", 0},
      {3, "view.png", "\x89PNG", 0},
      {4, "view.jpg", "\xFF\xD8\xFF", 255},  // thin lines ring at quality 50: mean and corner checked
      {5, "typed.png", "\x89PNG", 0},       // a typed extension chooses the type
      {5, "typed.dat", "BM", 0},            // "All files" writes a BMP for any other name
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = scratch_.File(c.name);
    SaveAs(path, c.filterIndex, 192, false);
    EXPECT_TRUE(services_.Messages.empty()) << services_.Texts().at(0);
    ASSERT_TRUE(std::filesystem::exists(path));  // the name exactly as chosen
    EXPECT_EQ(scratch_.Get(c.name).substr(0, c.signature.size()), c.signature);
    const QImage read = c.filterIndex == 2
                            ? ReadTiffWithLibtiff(path, scratch_.File("rgba.tif"), 104, 78)
                            : QImage(QString::fromStdString(path));
    ASSERT_EQ(read.size(), QSize(104, 78));
    EXPECT_LE(MaxChannelDistance(read, reference), c.tolerance);
    if (c.filterIndex == 4) {
      EXPECT_LT(MeanChannelDistance(read, reference), 4.0);
      const QRgb corner = read.pixel(0, 0);
      EXPECT_NEAR(qRed(corner), 10, 8);
      EXPECT_NEAR(qGreen(corner), 200, 8);
      EXPECT_NEAR(qBlue(corner), 30, 8);
    }
    if (c.filterIndex == 3) {
      EXPECT_FALSE(read.hasAlphaChannel());  // not transparent: no colour marked
    }
  }
}

TEST_F(PicturesGL, TransparentPngSeesThroughTheBackgroundColourOnly) {
  SaveAs(scratch_.File("clear.png"), 3, 96, true);
  const QImage read = QImage(QString::fromStdString(scratch_.File("clear.png"))).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(read.size(), reference96_.size());
  int seeThrough = 0;
  for (int y = 0; y < read.height(); ++y) {
    for (int x = 0; x < read.width(); ++x) {
      const bool background = (reference96_.pixel(x, y) & 0xFFFFFFu) == (qRgb(10, 200, 30) & 0xFFFFFFu);
      ASSERT_EQ(qAlpha(read.pixel(x, y)), background ? 0 : 255) << x << "," << y;
      if (!background) {
        ASSERT_EQ(read.pixel(x, y), reference96_.pixel(x, y) | 0xFF000000u);
      }
      seeThrough += background;
    }
  }
  EXPECT_GT(seeThrough, 0);
  EXPECT_NE(scratch_.Get("clear.png").find("tRNS"), std::string::npos);
}

TEST_F(PicturesGL, AModelPixelOfTheBackgroundColourStaysOpaqueInATransparentPng) {
  Buffer().SetBackgroundColor(clBlack);
  const QImage empty = RenderBitmap(*form_, 96, false).Bitmap;
  // A square marker at the centre, in front of the axis cross: white first to
  // find its pixels, then black.
  TGLPoints& marker = form_->GL3DScene1->Objects().AddNewChild<TGLPoints>();
  marker.Positions()[0] = TAffineVector{0, 0, 300};
  marker.Colors().Add(TVector{1, 1, 1, 1});
  marker.SetSize(8);
  marker.StructureChanged();
  const QImage white = RenderBitmap(*form_, 96, false).Bitmap;
  marker.Colors()[0] = TVector{0, 0, 0, 1};
  marker.StructureChanged();
  const struct {
    const char* what;
    int32_t tileLimit;  // 0: the driver's
  } cases[] = {{"in one piece", 0}, {"in tiles", 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Buffer().SetPictureTileLimit(c.tileLimit);
    SaveAs(scratch_.File("marker.png"), pftPng, 96, true);
    const QImage read =
        QImage(QString::fromStdString(scratch_.File("marker.png"))).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(read.size(), empty.size());
    int markerPixels = 0, seeThrough = 0;
    for (int y = 0; y < read.height(); ++y) {
      for (int x = 0; x < read.width(); ++x) {
        const QRgb pixel = read.pixel(x, y);
        if (white.pixel(x, y) != empty.pixel(x, y)) {
          ++markerPixels;
          ASSERT_EQ(pixel, qRgba(1, 1, 1, 255)) << x << "," << y << ": one level off the see-through black";
        } else if ((empty.pixel(x, y) & 0xFFFFFFu) == 0) {
          ++seeThrough;
          ASSERT_EQ(qAlpha(pixel), 0) << x << "," << y;
        }
      }
    }
    EXPECT_GT(markerPixels, 4);
    EXPECT_GT(seeThrough, read.width() * read.height() / 2);
  }
}

TEST(PictureTargets, ABareNameGetsTheChosenTypesExtensionAndATypedOneChoosesTheType) {
  const struct {
    const char* typed;
    int filterIndex;
    const char* fileName;
    int fileType;
  } cases[] = {
      {"/p/view", pftPng, "/p/view.png", pftPng},
      {"/p/view", pftTiff, "/p/view.tif", pftTiff},
      {"/p/view", pftAllFiles, "/p/view", pftAllFiles},
      {"/p/view.JPG", pftPng, "/p/view.JPG", pftJpeg},
      {"/p/view.tiff", pftBmp, "/p/view.tiff", pftTiff},
      {"/p/view.png", pftAllFiles, "/p/view.png", pftPng},
      {"/p/survey.v2", pftBmp, "/p/survey.v2.bmp", pftBmp},
      {"/p/survey.v2", pftAllFiles, "/p/survey.v2", pftAllFiles},
  };
  for (const auto& c : cases) {
    const TSaveTarget target = PictureTarget(c.typed, c.filterIndex);
    EXPECT_EQ(target.FileName, c.fileName) << c.typed << " " << c.filterIndex;
    EXPECT_EQ(target.FilterIndex, c.fileType) << c.typed << " " << c.filterIndex;
  }
}

TEST_F(PicturesGL, ABareNameIsSavedWithTheChosenTypesExtension) {
  SaveAs(scratch_.File("bare"), pftJpeg, 96, false);
  EXPECT_TRUE(services_.Messages.empty());
  EXPECT_EQ(scratch_.Get("bare.jpg").substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("bare")));
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("bare.bmp")));
}

// The save dialog's own question, asked about the completed name: No returns to
// the dialog with the name as typed and the type chosen, before any options.
TEST_F(PicturesGL, AnExistingFileHitByTheCompletedNameIsReplacedOnlyAfterAYes) {
  scratch_.Put("bare.png", "kept");
  services_.BoxAnswers.push_back(TMessageResult::No);
  services_.FileAnswers = {scratch_.File("bare"), scratch_.File("other")};
  services_.FilterIndexAnswers.push_back(pftPng);
  bool seen = false;
  ChooseOptions(96, false, &seen);
  SavePicture(*form_);
  ASSERT_TRUE(seen);
  ASSERT_EQ(services_.FileCalls.size(), 2u);
  EXPECT_EQ(services_.FileCalls[1].Request.FileName, scratch_.File("bare"));
  EXPECT_EQ(services_.FileCalls[1].Request.FilterIndex, pftPng);
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_EQ(services_.Messages[0].Text, scratch_.File("bare.png") + " already exists.\nDo you want to replace it?");
  EXPECT_EQ(scratch_.Get("bare.png"), "kept");
  EXPECT_EQ(scratch_.Get("other.png").substr(1, 3), "PNG");

  services_.BoxAnswers.push_back(TMessageResult::Yes);
  SaveAs(scratch_.File("bare"), pftPng, 96, false);
  EXPECT_EQ(services_.Messages.size(), 2u);
  EXPECT_EQ(scratch_.Get("bare.png").substr(1, 3), "PNG");
}

// ---- picture size limits ------------------------------------------------------------------

class PictureLimits : public ::testing::Test {
 protected:
  void SetUp() override { SetAvailableMemoryProbe([] { return int64_t{8} << 30; }); }
  void TearDown() override { SetAvailableMemoryProbe({}); }
};

TEST_F(PictureLimits, ASizeTheTypeOrTheMemoryCannotHoldIsRefusedWithTheReason) {
  const struct {
    const char* what;
    TPictureSize size;
    int fileType;
    const char* start;  // of the message; "" when the picture can be saved
  } cases[] = {
      {"a large PNG", {12000, 12000}, pftPng, ""},
      {"PNG over what its writer holds", {20000, 15000}, pftPng,
       "The picture of 20000 x 15000 pixels is too large for a PNG file: it takes 859 MB"},
      {"BMP over 2 GB", {30000, 30000}, pftBmp,
       "The picture of 30000 x 30000 pixels would make a BMP file of 2575 MB"},
      {"All files writes BMP", {30000, 30000}, pftAllFiles, "The picture of 30000 x 30000 pixels would make a BMP"},
      {"TIFF over 2 GB", {30000, 30000}, pftTiff, "The picture of 30000 x 30000 pixels would make a TIFF file"},
      {"TIFF just below", {26000, 27000}, pftTiff, ""},
      {"JPEG side", {65536, 10}, pftJpeg, "The picture of 65536 x 10 pixels is too large for a JPEG file"},
      {"JPEG side fits", {65535, 10}, pftJpeg, ""},
      {"PNG side", {10, 70000}, pftPng, "The picture of 10 x 70000 pixels is too large for a PNG file"},
      {"10000 dpi on a small view", {54167, 40625}, pftJpeg, "The picture of 54167 x 40625 pixels needs about"},
      {"empty", {0, 5}, pftPng, "The picture size 0 x 5 pixels is empty."},
  };
  for (const auto& c : cases) {
    const std::string problem = PictureSizeProblem(c.size, c.fileType, true, kNoScene);
    EXPECT_EQ(problem.rfind(c.start, 0), 0u) << c.what << ": " << problem;
    EXPECT_EQ(problem.empty(), std::string(c.start).empty()) << c.what << ": " << problem;
  }
  SetAvailableMemoryProbe([] { return int64_t{150} << 20; });
  EXPECT_EQ(PictureSizeProblem({4000, 3000}, pftTiff, false, kNoScene),
            "The picture of 4000 x 3000 pixels needs about 244 MB of memory, more than the 150 MB available now. "
            "Choose a lower resolution.");
  EXPECT_EQ(PictureSizeProblem({4000, 3000}, pftTiff, true, kNoScene).rfind(
                "The picture of 4000 x 3000 pixels needs about 290 MB of memory", 0),
            0u);
  EXPECT_EQ(PictureSizeProblem({2000, 2000}, pftTiff, true, kNoScene), "");
  // The render's own memory counts whichever limit binds: against a memory limit
  // the pages its tile touches (12 bytes a pixel, 16 with the depth a transparent
  // picture reads back) and what it keeps (72 MB); under an address-space limit its
  // tile at what the driver reserves (16 bytes a pixel) and the pooled threads'
  // stacks on top.
  const struct {
    TPictureSize size;
    int fileType;
    bool transparent;
    int64_t againstMemory;
    int64_t underAddressLimitAbove;
  } needs[] = {
      // The tile over the writer's copy.
      {{4000, 3000}, pftTiff, false, 36'000'000 + 144'000'000 + 75'497'472, 36'000'000 + 192'000'000 + 75'497'472},
      {{4000, 3000}, pftTiff, true, 36'000'000 + 192'000'000 + 75'497'472, 36'000'000 + 192'000'000 + 75'497'472},
      // A tile of the largest edge, the depth read back.
      {{5200, 3900}, pftJpeg, true, 60'840'000 + 255'590'400 + 75'497'472, 60'840'000 + 255'590'400 + 75'497'472},
      {{5200, 3900}, pftBmp, false, 60'840'000 + 191'692'800 + 75'497'472, 60'840'000 + 255'590'400 + 75'497'472},
      // PNG's copies (32-bit, its own 24-bit rows, the 32-bit room its writer asks for)
      // over the largest tile, the depth read back or not.
      {{8000, 6000}, pftPng, false, 144'000'000 + 528'000'000 + 75'497'472, 144'000'000 + 528'000'000 + 75'497'472},
      {{8000, 6000}, pftPng, true, 144'000'000 + 528'000'000 + 75'497'472, 144'000'000 + 528'000'000 + 75'497'472},
  };
  for (const auto& row : needs) {
    const int64_t addressLimited = PictureMemoryNeeded(row.size, row.fileType, row.transparent, kNoScene, true);
    EXPECT_EQ(PictureMemoryNeeded(row.size, row.fileType, row.transparent, kNoScene, false), row.againstMemory)
        << row.size.Width << " " << row.transparent;
    EXPECT_GT(addressLimited, row.underAddressLimitAbove) << row.size.Width << " " << row.transparent;
    // Left to its default, the count sees the address-space limit that is set.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
          if (!LimitAddressSpace(int64_t{1} << 30)) _exit(2);
          _exit(PictureMemoryNeeded(row.size, row.fileType, row.transparent, kNoScene) == addressLimited ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << row.size.Width << " " << row.transparent;
  }
}

TEST_F(PicturesGL, ATooLargeResolutionIsRefusedInTheOptionsBeforeAnythingIsRendered) {
  SetAvailableMemoryProbe([] { return int64_t{1} << 20; });
  scratch_.Put("big.png", "old picture");
  services_.FileAnswers.push_back(scratch_.File("big.png"));
  services_.FilterIndexAnswers.push_back(pftPng);
  QString sizeText;
  bool stayedOpen = false;
  AnswerOptions([&](TSaveImageForm& d) {
    d.Start(10000, false);
    sizeText = d.SizeLabel()->text();
    d.OkButton()->click();
    stayedOpen = d.isVisible();
    d.CancelButton()->click();
  });
  SavePicture(*form_);
  SetAvailableMemoryProbe({});
  EXPECT_TRUE(stayedOpen);
  const TPictureSize size = PictureSize(40, 30, 10000, 96);
  const std::string pixels = std::to_string(size.Width) + " x " + std::to_string(size.Height) + " pixels";
  EXPECT_EQ(sizeText.toStdString().rfind("Picture: " + pixels + "\nThe picture of " + pixels + " needs about", 0), 0u)
      << sizeText.toStdString();
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error);
  EXPECT_NE(services_.Messages[0].Text.find("more than the 1 MB available now"), std::string::npos);
  EXPECT_EQ(scratch_.Get("big.png"), "old picture");
  EXPECT_EQ(ReadSetting(SettingKeys::PictureDpi, -1), -1);
}

// What a picture's render takes for the scene it draws again, on the heap, against
// the count's share of it: a few hundred boreholes at one place (their draws, all
// held by the driver), and thousands (the render waits for the driver between
// stretches of them, so it holds no more); a large section a view has drawn and still
// holds (the picture draws its buffers, it does not build them again), and one no
// context holds since the picture before (each picture builds its sheet again).
TEST_F(PicturesGL, TheSceneAPictureDrawsAgainIsCountedAsItsRenderTakesIt) {
#if !defined(QIRA_HEAP_HOOKS)
  GTEST_SKIP() << "the heap is measured through the sanitizer's hooks";
#else
  struct TTaken {
    int64_t peak;
    int64_t counted;
  };
  const auto boreholes = [](int count) {
    return [count](TGraphMain& root) {
      for (int i = 0; i < count; ++i) {
        auto hole = std::make_unique<TGraphBorehole>();
        hole->SetName("B" + std::to_string(i));
        hole->Points = {{0, 0, 0, 0, -1}, {0, 0, -100, 100, -1}};
        root.AddChild(std::move(hole), false);
      }
    };
  };
  const auto section = [](int side) {
    return [side](TGraphMain& root) { root.AddChild(test::CountingSection(side, side), false); };
  };
  const auto pictureOf = [&](const std::function<void(TGraphMain&)>& add, bool viewHolds) -> TTaken {
    form_ = NewDocument();
    form_->GL3DSceneViewer1->setFixedSize(40, 30);
    RunEventLoopFor(10);
    Buffer().Resize(40, 30);
    add(form_->Root());
    form_->AutoCenter();  // the scene in the middle of the view
    form_->Root().Build(true);
    // A view that has drawn the scene and keeps its context, as the window does; or
    // a view of another buffer that lives beside (the driver started), with nothing
    // of this scene.
    TGL3DSceneBuffer other(nullptr);
    auto view = std::make_unique<TGLMemoryViewer>();
    view->SetBuffer(viewHolds ? &Buffer() : &other);
    view->SetWidth(40);
    view->SetHeight(30);
    if (viewHolds) view->SetCamera(form_->Camera);
    view->Render();
    // Once first, as the view draws before a picture is taken: what stays from the
    // first draw is not the picture's.
    (void)RenderBitmap(*form_, 2400, false);
    test::THeapPeak::Start();
    const TRenderedPicture picture = RenderBitmap(*form_, 2400, false);
    const int64_t peak = test::THeapPeak::Stop();
    const TPictureSize size{picture.Bitmap.width(), picture.Bitmap.height()};
    return {peak, PictureMemoryNeeded(size, pftBmp, false, PictureScene(*form_), false)};
  };
  const TTaken emptyScene = pictureOf([](TGraphMain&) {}, false);
  for (int count : {300, 3000}) {
    const TTaken taken = pictureOf(boreholes(count), false);
    const int64_t measured = taken.peak - emptyScene.peak;
    const int64_t counted = taken.counted - emptyScene.counted;
    EXPECT_GE(counted, measured) << count << " boreholes";
    EXPECT_LE(counted, 2 * measured) << count << " boreholes";
  }
  // The section's bins are the renderer's (counted at what it holds of a frame on a
  // busy machine); what the count must follow is the sheet built again or not.
  const TTaken emptyView = pictureOf([](TGraphMain&) {}, true);
  const TTaken held = pictureOf(section(1000), true);
  const TTaken rebuilt = pictureOf(section(1000), false);
  EXPECT_GE(held.counted - emptyView.counted, held.peak - emptyView.peak);
  EXPECT_GE(rebuilt.counted - emptyScene.counted, rebuilt.peak - emptyScene.peak);
  const int64_t measuredAgain = (rebuilt.peak - emptyScene.peak) - (held.peak - emptyView.peak);
  const int64_t countedAgain = (rebuilt.counted - emptyScene.counted) - (held.counted - emptyView.counted);
  EXPECT_GE(countedAgain, measuredAgain);
  EXPECT_LE(countedAgain, 2 * measuredAgain);
#endif
}

// ---- tiled pictures -------------------------------------------------------------------------

TEST(PictureProgress, StepsRunOnePerTurnOfTheEventLoopAndCancelStops) {
  if (EnsureTestApplication() == nullptr) GTEST_SKIP() << "the application has no widgets";
  std::vector<int> ran;
  bool turned = false;
  EXPECT_TRUE(RunStepsWithProgress(nullptr, "Working", 4, [&](int k) {
    if (k == 1) QTimer::singleShot(0, [&] { turned = true; });
    if (k == 2) {
      EXPECT_TRUE(turned);  // other events ran between the steps
    }
    ran.push_back(k);
  }));
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3}));

  ran.clear();
  EXPECT_FALSE(RunStepsWithProgress(nullptr, "Working", 10, [&](int k) {
    ran.push_back(k);
    if (k == 2) {
      auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->labelText(), "Working");
      dialog->cancel();
    }
  }));
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));

  EXPECT_THROW(RunStepsWithProgress(nullptr, "Working", 3, [](int k) {
                 if (k == 1) throw std::runtime_error("tile failed");
               }),
               std::runtime_error);
}

TEST_F(PicturesGL, APictureOfManyTilesShowsProgressAndComesOutAsInOnePiece) {
  Buffer().SetPictureTileLimit(16);  // 52 x 39 pixels: 4 x 3 tiles
  int tiles = 0;
  WatchProgress([](QProgressDialog&) {}, &tiles);
  SaveAs(scratch_.File("tiled.bmp"), pftBmp, 96, false);
  EXPECT_EQ(tiles, 12);
  EXPECT_TRUE(services_.Messages.empty());
  const QImage read(QString::fromStdString(scratch_.File("tiled.bmp")));
  ASSERT_EQ(read.size(), reference96_.size());
  EXPECT_EQ(MaxChannelDistance(read, reference96_), 0);
}

TEST_F(PicturesGL, CancellingATiledPictureWritesAndStoresNothing) {
  Buffer().SetPictureTileLimit(16);
  WatchProgress([](QProgressDialog& dialog) { dialog.cancel(); });
  SaveAs(scratch_.File("cancelled.png"), pftPng, 96, false);
  EXPECT_TRUE(services_.Messages.empty());
  EXPECT_FALSE(std::filesystem::exists(scratch_.File("cancelled.png")));
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), -1);
}

// ---- save picture: failures -------------------------------------------------------------

TEST_F(PicturesGL, PictureTooLargeForMemoryIsRefusedBeforeAnythingIsWritten) {
  scratch_.Put("view.bmp", "old picture");
  Buffer().SetPictureMemoryLimit(1000);
  SaveAs(scratch_.File("view.bmp"), 1, 192, false);
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error);
  EXPECT_EQ(services_.Messages[0].Text.rfind("The picture of 104 x 78 pixels is too large", 0), 0u)
      << services_.Messages[0].Text;
  EXPECT_EQ(scratch_.Get("view.bmp"), "old picture");
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), -1);
  EXPECT_EQ(ReadSetting(SettingKeys::PictureDpi, -1), -1);
}

// Memory that cannot be had after the count let the picture through (the
// program's, or the driver's for the off-screen buffer): the count's refusal,
// with the picture's size and need, not the allocator's text.
TEST_F(PicturesGL, MemoryThatCannotBeHadIsRefusedWithThePicturesSizeAndNeed) {
  int64_t available = int64_t{96} << 20;
  const TScopedMemoryProbe probe([&] { return available; });
  const std::string couldNotBeHad =
      "The picture of 52 x 39 pixels needs about 73 MB of memory, which could not be had with the 96 MB "
      "available now. Choose a lower resolution.";
  // Memory taken meanwhile: the writer's conversion of the rendered picture is refused.
  const std::string takenMeanwhile =
      "The picture of 52 x 39 pixels needs about 73 MB of memory, more than the 0 MB available now. Choose a "
      "lower resolution.";
  const auto takeAll = [&] { available = 0; };
  const struct {
    std::function<void()> fail;
    bool clipboard;
    int fileType;
    std::string expected;
  } table[] = {
      {[] { throw std::bad_alloc(); }, false, pftPng, couldNotBeHad},
      {[] { throw EGLOutOfMemory("Not enough memory for an off-screen buffer of 52 x 39 pixels."); }, false, pftPng,
       couldNotBeHad},
      {[] { throw EGLOutOfMemory("Not enough memory for an OpenGL context."); }, false, pftBmp, couldNotBeHad},
      {[] { throw std::bad_alloc(); }, true, pftPng, couldNotBeHad},
      // A writer's conversion that could not be had, in its library's words.
      {[] { throw EGraphicTooLarge("This \"Bitmaps\" image of 52 x 39 pixels is too large"); }, false, pftPng,
       couldNotBeHad},
      {[] { throw EPNGOutMemory("This \"Portable Network Graphics\" image of 52 x 39 pixels is too large"); }, false,
       pftPng, couldNotBeHad},
      // Each writer that converts the picture checks its conversion. TIFF and
      // JPEG take the rendered 24-bit picture as it is.
      {takeAll, false, pftBmp, takenMeanwhile},
      {takeAll, false, pftPng, takenMeanwhile},
  };
  for (const auto& row : table) {
    services_.Messages.clear();
    available = int64_t{96} << 20;
    const std::string name = PictureTarget("view", row.fileType).FileName;
    Buffer().AfterRender = [&](TObject*) { row.fail(); };
    if (row.clipboard) {
      CopyPictureToClipboard(*form_);
    } else {
      scratch_.Put(name, "old picture");
      SaveAs(scratch_.File(name), row.fileType, 96, false);
      EXPECT_EQ(scratch_.Get(name), "old picture") << name;
    }
    Buffer().AfterRender = nullptr;
    ASSERT_EQ(services_.Messages.size(), 1u) << name;
    EXPECT_EQ(services_.Messages[0].Text, row.expected) << name;
  }
}

// The memory was there when counted and gone when a writer converted the rendered
// picture: the writer refuses instead of writing an empty picture, and the old file
// stays. A child under an address-space limit whose allocator's free blocks are
// taken, so the conversion cannot be served from the render's freed buffers, and
// whose allocator gives null instead of ending it.
class PicturesGLDeathTest : public PicturesGL {};

TEST_F(PicturesGLDeathTest, AWritersConversionThatCannotBeHadIsRefusedAndTheOldFileStays) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string options = sanitizer ? sanitizer : "";
  setenv("ASAN_OPTIONS", (options + ":allocator_may_return_null=1").c_str(), 1);
  // TIFF and JPEG take the rendered 24-bit picture as it is.
  for (int fileType : {pftBmp, pftPng}) {
    const std::string name = PictureTarget("view", fileType).FileName;
    EXPECT_EXIT(
        {
          scratch_.Put(name, "old picture");
          SetAvailableMemoryProbe([] { return int64_t{1} << 40; });
          // 520 x 390: the writer's 32-bit copy takes 792 KB.
          Buffer().AfterRender = [](TObject*) {
            if (!LimitAddressSpaceAndTakeFreeBlocks(int64_t{256} << 10)) _exit(2);
          };
          // The rendered picture's size: converted whole, it cannot be had either,
          // and the conversion says so rather than giving an empty picture.
          const QImage rendered(520, 390, QImage::Format_RGB888);
          SaveAs(scratch_.File(name), fileType, 960, false);
          // What the render's threads gave back meanwhile is taken too.
          if (!LimitAddressSpaceAndTakeFreeBlocks(int64_t{256} << 10)) _exit(2);
          bool conversionRaised = false;
          try {
            (void)ConvertedOnCallingThread(rendered, QImage::Format_RGB32);
          } catch (const std::bad_alloc&) {
            conversionRaised = true;
          }
          const bool told = conversionRaised && services_.Messages.size() == 1 &&
                            services_.Messages[0].Text.rfind("The picture of 520 x 390 pixels needs about ", 0) == 0 &&
                            services_.Messages[0].Text.ends_with(
                                ", which could not be had with the 1048576 MB available now. Choose a lower "
                                "resolution.");
          if (!told) std::fprintf(stderr, "raised %d, told: %s\n", conversionRaised ? 1 : 0,
                                  services_.Messages.empty() ? "" : services_.Messages[0].Text.c_str());
          _exit(told && scratch_.Get(name) == "old picture" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << name;
  }
  if (sanitizer) setenv("ASAN_OPTIONS", options.c_str(), 1);
  else unsetenv("ASAN_OPTIONS");
}

TEST_F(PicturesGL, FileThatCannotBeCreatedIsToldAndNothingIsStored) {
  for (int filterIndex : {1, 2, 3, 4}) {
    services_.Messages.clear();
    const std::string path = scratch_.File("missing/view.pic");
    SaveAs(path, filterIndex, 96, true);
    ASSERT_EQ(services_.Messages.size(), 1u) << filterIndex;
    EXPECT_EQ(services_.Messages[0].Kind, TMessageKind::Error);
    const std::string written = PictureTarget(path, filterIndex).FileName;
    EXPECT_NE(services_.Messages[0].Text.find("Cannot create file \"" + written + "\""), std::string::npos)
        << services_.Messages[0].Text;
  }
  EXPECT_EQ(ReadSetting(SettingKeys::PictureFileType, -1), -1);
  EXPECT_TRUE(scratch_.Entries().empty());  // no file, no temporary
}

// ---- clipboard --------------------------------------------------------------------------

TEST_F(PicturesGL, ClipboardHoldsTheViewAtOnePointThreeTimesItsSize) {
  QGuiApplication::clipboard()->clear();
  form_->CopyToClipboardClick();  // through the hook RegisterPictureCommands installed
  const QImage pasted = QGuiApplication::clipboard()->image();
  ASSERT_EQ(pasted.size(), QSize(52, 39));
  EXPECT_EQ(MaxChannelDistance(pasted, reference96_), 0);
  EXPECT_TRUE(services_.Messages.empty());
}

TEST_F(PicturesGL, ClipboardCopyTooLargeForMemoryIsTold) {
  Buffer().SetPictureMemoryLimit(100);
  CopyPictureToClipboard(*form_);
  ASSERT_EQ(services_.Messages.size(), 1u);
  EXPECT_EQ(services_.Messages[0].Text.rfind("The picture of 52 x 39 pixels is too large", 0), 0u);
}

}  // namespace
}  // namespace qira
