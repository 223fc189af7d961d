// Tree pictures fetched by their download thread from a local HTTP server that
// the test runs, the loader's texts, JPEG data through the picture registry and
// drawing at the picture's HIMETRIC size.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QEventLoop>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Canvas.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "support/TestApplication.h"
#include "widgets/TreePictures.h"

namespace qira {
namespace {

std::vector<uint8_t> PngBytes(int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(color);
  // Noise in one row keeps the file from compressing to a few bytes, so the
  // transfer has something to report progress on.
  for (int x = 0; x < w; ++x) image.setPixel(x, 0, qRgb((x * 37) % 256, (x * 91) % 256, (x * 53) % 256));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// An HTTP/1.0 server on the loopback: every request gets `response` whole, or,
// when `silent`, no answer at all.
class TPictureServer {
 public:
  TPictureServer() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (silent || !request_.contains("\r\n\r\n")) return;
          socket->write(response);
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  std::string Address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
  }
  static QByteArray Ok(const std::vector<uint8_t>& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: " + QByteArray::number(qsizetype(body.size())) +
           "\r\n\r\n" + QByteArray(reinterpret_cast<const char*>(body.data()), qsizetype(body.size()));
  }

  QByteArray response;
  bool silent = false;

 private:
  QTcpServer server_;
  QByteArray request_;
};

// Every download event of a picture, in order; Wait runs the test's own event
// loop until the last event (complete, error or cancel) arrives.
struct TDownloadLog {
  explicit TDownloadLog(THTMLPicture& picture) {
    picture.OnDownLoadProgress = [this](THTMLPicture&, int64_t received, int64_t) {
      events.push_back("progress");
      lastReceived = received;
    };
    picture.OnDownLoadComplete = [this](THTMLPicture&) { End("complete"); };
    picture.OnDownLoadCancel = [this](THTMLPicture&) { End("cancel"); };
    picture.OnDownLoadError = [this](THTMLPicture&, const std::string& text) {
      error = text;
      End("error");
    };
  }
  void End(const char* what) {
    events.push_back(what);
    loop.quit();
  }
  // False when no last event came within a generous bound (a hung transfer).
  bool Wait() {
    if (Ended()) return true;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return Ended();
  }
  bool Ended() const { return !events.empty() && events.back() != "progress"; }

  std::vector<std::string> events;
  int64_t lastReceived = -1;
  std::string error;
  QEventLoop loop;
};

class TreePictureDownload : public ::testing::Test {
 protected:
  void SetUp() override { EnsureTestApplication(); }
};

TEST_F(TreePictureDownload, APictureIsFetchedOverHttpWithProgressThenCompleteInOrder) {
  TPictureServer server;
  const std::vector<uint8_t> png = PngBytes(300, 40, Qt::red);
  server.response = TPictureServer::Ok(png);
  THTMLPicture picture;
  TDownloadLog log(picture);
  picture.SetID(server.Address("/tree/p.png"));
  EXPECT_TRUE(picture.Downloading());
  EXPECT_NE(picture.DownLoadThread(), nullptr);
  EXPECT_EQ(picture.URL(), server.Address("/tree/p.png"));
  ASSERT_TRUE(log.Wait());
  ASSERT_GE(log.events.size(), 2u);
  EXPECT_EQ(log.events.back(), "complete");
  for (size_t i = 0; i + 1 < log.events.size(); ++i) EXPECT_EQ(log.events[i], "progress") << i;
  EXPECT_EQ(log.lastReceived, static_cast<int64_t>(png.size()));
  EXPECT_FALSE(picture.Downloading());
  EXPECT_EQ(picture.DownLoadThread(), nullptr) << "the thread is freed when it ends";
  EXPECT_EQ(picture.Data(), png);
  EXPECT_EQ(picture.Width(), 300);
  EXPECT_EQ(picture.ToImage().pixel(10, 20), qRgb(255, 0, 0));
}

TEST_F(TreePictureDownload, FailedTransfersAndUnsupportedAddressesEndInTheErrorEvent) {
  TPictureServer server;
  const struct {
    QByteArray response;
    std::string address;  // "" : the server's
    std::string error;    // a part of the text
  } cases[] = {
      {"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", "", "Not Found"},
      {TPictureServer::Ok({'n', 'o', 'p', 'e'}), "", kPictureInvalidFormatText},
      {"", "ftp://127.0.0.1/p.png", kPictureAddressText},
      {"", "relative/p.png", kPictureAddressText},
  };
  for (const auto& c : cases) {
    server.response = c.response;
    THTMLPicture picture;
    TDownloadLog log(picture);
    picture.SetID(c.address.empty() ? server.Address("/p.png") : c.address);
    ASSERT_TRUE(log.Wait()) << c.address;
    EXPECT_EQ(log.events.back(), "error") << c.address;
    EXPECT_NE(log.error.find(c.error), std::string::npos) << log.error;
    EXPECT_TRUE(picture.Empty());
    EXPECT_FALSE(picture.Downloading());
  }
}

TEST_F(TreePictureDownload, AnAbsolutePathIsReadFromTheLocalDisk) {
  QTemporaryDir dir;
  const std::vector<uint8_t> png = PngBytes(5, 3, Qt::blue);
  const std::string path = dir.filePath("local.png").toStdString();
  {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(png.data()), qsizetype(png.size()));
  }
  THTMLPicture picture;
  TDownloadLog log(picture);
  picture.SetID(path);
  ASSERT_TRUE(log.Wait());
  EXPECT_EQ(log.events.back(), "complete");
  EXPECT_EQ(picture.Width(), 5);
}

TEST_F(TreePictureDownload, NewDataCancelsARunningDownloadAndItsResultNeverArrives) {
  TPictureServer server;
  server.silent = true;
  THTMLPicture picture;
  TDownloadLog log(picture);
  picture.SetID(server.Address("/slow.png"));
  ASSERT_TRUE(picture.Downloading());
  picture.SetID(server.Address("/other.png"));  // a download runs: ignored
  EXPECT_EQ(picture.URL(), server.Address("/slow.png"));
  picture.LoadFromBytes(PngBytes(4, 4, Qt::green));
  ASSERT_EQ(log.events, std::vector<std::string>{"cancel"});
  EXPECT_FALSE(picture.Downloading());
  EXPECT_EQ(picture.Width(), 4);
  // A picture destroyed mid-transfer stops its thread first.
  auto another = std::make_unique<THTMLPicture>();
  another->SetID(server.Address("/slow.png"));
  another.reset();
}

TEST_F(TreePictureDownload, WithoutAsynchronousLoadingNoThreadStarts) {
  THTMLPicture picture;
  picture.Asynch = false;
  picture.SetID("http://127.0.0.1:9/p.png");
  EXPECT_FALSE(picture.Downloading());
  EXPECT_EQ(picture.DownLoadThread(), nullptr);
  EXPECT_EQ(picture.ID(), "http://127.0.0.1:9/p.png");
}

// ---- the loader's texts --------------------------------------------------------

TEST_F(TreePictureDownload, TheLoaderNamesWhyDataGaveNoPicture) {
  std::vector<uint8_t> cut = PngBytes(40, 40, Qt::red);
  cut.resize(20);  // the signature and half a header
  // A PNG header declaring 30000 x 30000 pixels, then an empty image data chunk.
  const std::vector<uint8_t> vast = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                     0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30, 8, 2, 0, 0, 0, 0xE9, 0x45, 0x6F, 0xED,
                                     0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
  const struct {
    std::vector<uint8_t> data;
    const char* text;
  } cases[] = {
      {{'t', 'e', 'x', 't'}, kPictureInvalidFormatText},
      {cut, kPictureLoadText},
      {vast, kPictureMemoryText},
      {{}, kPictureEmptyStreamText},
  };
  for (const auto& c : cases) {
    THTMLPicture picture;
    try {
      picture.LoadFromBytes(c.data);
      ADD_FAILURE() << c.text << ": loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
}

// A JPEG graphic standing in for the registered one: every picture it reads is
// 3 x 2 and magenta.
class TFakeJpeg : public TGraphic {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass cls("TFakeJpeg", [] { return std::unique_ptr<TGraphic>(new TFakeJpeg); });
    return cls;
  }
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }
  bool GetEmpty() const override { return image_.isNull(); }
  int32_t Width() const override { return image_.width(); }
  int32_t Height() const override { return image_.height(); }
  void LoadFromStream(TBinaryStream& stream) override {
    if (stream.Remaining() < 4) throw EInvalidGraphic("cut");
    image_ = QImage(3, 2, QImage::Format_RGB32);
    image_.fill(qRgb(255, 0, 255));
  }
  void SaveToStream(TBinaryStream&) const override {}
  QImage ToImage() const override { return image_; }
  void AssignImage(const QImage& image) override { image_ = image; }

 private:
  QImage image_;
};

TEST_F(TreePictureDownload, JpegDataIsDecodedByThePictureRegistrysJpegGraphic) {
  RegisterPictureFileFormat("jpg", "JPEG Image File", TFakeJpeg::StaticClass());
  THTMLPicture picture;
  picture.LoadFromBytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 0});
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.ToImage().pixel(0, 0), qRgb(255, 0, 255));
  EXPECT_THROW(picture.LoadFromBytes({0xFF, 0xD8, 0xFF}), EInvalidGraphic);
  UnregisterPictureGraphicClass(TFakeJpeg::StaticClass());
}

// ---- drawing ---------------------------------------------------------------------

TEST_F(TreePictureDownload, WithoutStretchAPictureIsDrawnAtItsHimetricSizeForTheCanvasResolution) {
  THTMLPicture picture;
  QImage source(4, 3, QImage::Format_RGB32);
  source.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  source.save(&buffer, "PNG");
  picture.LoadFromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_EQ(picture.HimetricWidth(), 106);  // 4 pixels at 96 per inch: 105.8 hundredths of a millimetre
  EXPECT_EQ(picture.HimetricHeight(), 79);
  const struct {
    int dpi;
    int width, height;  // drawn size: HIMETRIC x dpi / 2540, rounded
  } cases[] = {{96, 4, 3}, {192, 8, 6}, {48, 2, 1}};
  for (const auto& c : cases) {
    TBitmap target(20, 20);
    target.Image().setDotsPerMeterX(qRound(c.dpi / 0.0254));
    target.Image().setDotsPerMeterY(qRound(c.dpi / 0.0254));
    picture.Draw(target.Canvas(), TRect{1, 1, 20, 20});
    EXPECT_EQ(target.Pixel(c.width, c.height), clRed) << c.dpi;
    EXPECT_EQ(target.Pixel(c.width + 1, 1), clWhite) << c.dpi;
    EXPECT_EQ(target.Pixel(1, c.height + 1), clWhite) << c.dpi;
  }
}

}  // namespace
}  // namespace qira
