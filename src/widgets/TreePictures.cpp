#include "widgets/TreePictures.h"

#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <array>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/BinaryStream.h"
#include "platform/HandlerGuard.h"
#include "platform/Rounding.h"

// Sections (each begins at a line "// [SECTION] <name>"):
//   decoding
//   THTMLPicture
//   download
//   THTMLPictureCache

namespace qira {

// [SECTION] decoding

namespace {

std::unique_ptr<TGraphic> CreateHtmlPicture() { return std::make_unique<THTMLPicture>(); }

uint16_t Word(const std::vector<uint8_t>& d, size_t i) {
  return static_cast<uint16_t>(d[i] | (d[i + 1] << 8));
}

// Calls frameStart(start, descriptor) for every frame start in the data, from the
// last to the first, with the position of its image descriptor (0x2C). A frame
// starts at a graphic control extension (0x21 0xF9, block size 4); its four-byte
// block and terminator may be followed by other extension blocks before the
// descriptor (image tools put a looping block there in the first frame), each
// skipped by its sub-block lengths. Two graphic control blocks before one
// descriptor start one frame, at the first.
//
// One pass from the end: the walk from a block goes only forward, at most 256
// bytes a step, so what each of the next positions leads to is kept in a window
// and every position is worked out once. A chain of control blocks thus costs its
// length, not its length squared.
template <class F>
void ForEachFrameStartFromLast(const std::vector<uint8_t>& d, F&& frameStart) {
  constexpr size_t kWindow = 512;  // more than the longest step: a sub-block's length byte and 255 bytes
  // The descriptor reached from a position read as the start of a block, or as the
  // length byte of a sub-block; 0 for none (also past the data).
  std::array<size_t, kWindow> fromBlock{};
  std::array<size_t, kWindow> fromSubBlock{};
  const size_t n = d.size();
  const auto block = [&](size_t at) { return at < n ? fromBlock[at % kWindow] : 0; };
  const auto subBlock = [&](size_t at) { return at < n ? fromSubBlock[at % kWindow] : 0; };
  size_t pendingStart = 0;  // the leftmost start so far of the run that reaches pendingDescriptor
  size_t pendingDescriptor = 0;
  for (size_t at = n; at-- > 0;) {
    fromSubBlock[at % kWindow] = d[at] == 0 ? block(at + 1) : subBlock(at + d[at] + size_t{1});
    // An extension's introducer and label, then its sub-blocks.
    fromBlock[at % kWindow] = d[at] == 0x21 ? subBlock(at + 2) : d[at] == 0x2C ? at : 0;
    if (d[at] != 0x21 || n - at - 1 <= 8 || d[at + 1] != 0xF9 || d[at + 2] != 4) continue;
    const size_t descriptor = block(at + 8);
    if (descriptor == 0) continue;
    if (descriptor != pendingDescriptor && pendingDescriptor != 0) frameStart(pendingStart, pendingDescriptor);
    pendingStart = at;
    pendingDescriptor = descriptor;
  }
  if (pendingDescriptor != 0) frameStart(pendingStart, pendingDescriptor);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

bool IsGifData(const std::vector<uint8_t>& d) {
  return d.size() >= 5 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8';
}

// -1 for data that is not GIF, else the number of frame starts.
int32_t FrameCountOf(const std::vector<uint8_t>& d) {
  if (!IsGifData(d)) return -1;
  int32_t count = 0;
  ForEachFrameStartFromLast(d, [&](size_t, size_t) { ++count; });
  return count;
}

bool IsJpeg(const std::vector<uint8_t>& d) { return d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }

// The picture of the bytes, or a null image with the loader's text in `error`.
// JPEG data goes to the registry's JPEG graphic when one is registered.
QImage Decode(const std::vector<uint8_t>& bytes, std::string& error) {
  if (IsJpeg(bytes)) {
    if (const TGraphicClass* jpeg = FindPictureFileFormat("jpg")) {
      std::unique_ptr<TGraphic> graphic = jpeg->Create();
      TMemoryStream stream(bytes.data(), bytes.size());
      try {
        graphic->LoadFromStream(stream);
      } catch (const EInvalidGraphic&) {
        error = kPictureLoadText;
        return {};
      }
      return graphic->ToImage();
    }
  }
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) {
    error = kPictureStreamText;
    return {};
  }
  QImageReader reader(&buffer);
  if (!reader.canRead()) {
    error = kPictureInvalidFormatText;
    return {};
  }
  const QSize size = reader.size();
  if (size.isValid() && int64_t{size.width()} * size.height() > kMaxTreePicturePixels) {
    error = kPictureMemoryText;
    return {};
  }
  QImage image;
  if (!reader.read(&image)) error = kPictureLoadText;
  return image;
}

}  // namespace

// [SECTION] THTMLPicture

THTMLPicture::THTMLPicture() = default;

THTMLPicture::~THTMLPicture() { StopDownload(); }

const TGraphicClass& THTMLPicture::StaticClass() {
  static const TGraphicClass cls("THTMLPicture", &CreateHtmlPicture);
  return cls;
}

// The OLE picture's size: HIMETRIC at the stored 96 pixels per inch.
int32_t THTMLPicture::Width() const { return image_.isNull() ? 0 : RoundToInt(himetricWidth_ * 96.0 / 2540); }
int32_t THTMLPicture::Height() const { return image_.isNull() ? 0 : RoundToInt(himetricHeight_ * 96.0 / 2540); }
int32_t THTMLPicture::GetPictureWidth() const { return screenWidth_ != 0 ? screenWidth_ : Width(); }
int32_t THTMLPicture::GetPictureHeight() const { return screenHeight_ != 0 ? screenHeight_ : Height(); }

bool THTMLPicture::IsGIF() const { return IsGifData(data_); }

int32_t THTMLPicture::GetFrameCount() const {
  if (frameCount_ == -2) frameCount_ = FrameCountOf(data_);
  return frameCount_;
}

void THTMLPicture::Clear() {
  data_.clear();
  loaded_.clear();
  image_ = QImage();
  empty_ = true;
  frameCount_ = -2;
  frame_ = 1;
  frameLeft_ = frameTop_ = frameWidth_ = frameHeight_ = 0;
  screenWidth_ = screenHeight_ = 0;
  himetricWidth_ = himetricHeight_ = 0;
}

// Decodes `data` for the current frame into this picture's loaded state (not its
// data). A frame that does not exist (or data that does not decode) leaves it
// without an image and with the loader's text in loadError_.
void THTMLPicture::LoadFrom(const std::vector<uint8_t>& data) {
  frameLeft_ = frameTop_ = frameWidth_ = frameHeight_ = 0;
  screenWidth_ = screenHeight_ = 0;
  frameCount_ = FrameCountOf(data);
  if (frameCount_ >= 1) {
    if (data.size() >= 10) {
      screenWidth_ = Word(data, 6);
      screenHeight_ = Word(data, 8);
    }
    // The header and the frames from frame_ on: the bytes before the first frame
    // start, then those from frame_'s start (none past the last frame).
    size_t first = 0;
    size_t chosen = 0;
    int32_t number = frameCount_;
    ForEachFrameStartFromLast(data, [&](size_t start, size_t descriptor) {
      if (number == frame_) {
        chosen = start;
        // The descriptor's four words lie 1 to 8 bytes on; a truncated one is not read.
        if (descriptor + 8 < data.size()) {
          frameLeft_ = Word(data, descriptor + 1);
          frameTop_ = Word(data, descriptor + 3);
          frameWidth_ = Word(data, descriptor + 5);
          frameHeight_ = Word(data, descriptor + 7);
        }
      }
      first = start;
      --number;
    });
    if (frame_ < 1) chosen = first;
    const auto from = [&](size_t at) { return data.begin() + static_cast<std::ptrdiff_t>(at); };
    std::vector<uint8_t> out(data.begin(), from(first));
    if (frame_ <= frameCount_) out.insert(out.end(), from(chosen), data.end());
    loaded_ = std::move(out);
  } else {
    loaded_ = data;
  }
  loadError_.clear();
  image_ = Decode(loaded_, loadError_);
  himetricWidth_ = RoundToInt(image_.width() * 2540.0 / 96);
  himetricHeight_ = RoundToInt(image_.height() * 2540.0 / 96);
}

void THTMLPicture::LoadFrameChecked(const std::vector<uint8_t>& data, int32_t frame) {
  // Decoded into a scratch picture first: bad data, or a frame past the last,
  // which leaves the loader only the header, must leave this one as it was.
  THTMLPicture trial;
  trial.frame_ = frame;
  trial.LoadFrom(data);
  if (trial.image_.isNull()) throw EInvalidGraphic(trial.loadError_);
  loaded_ = std::move(trial.loaded_);
  image_ = std::move(trial.image_);
  frame_ = frame;
  frameCount_ = trial.frameCount_;
  frameLeft_ = trial.frameLeft_;
  frameTop_ = trial.frameTop_;
  frameWidth_ = trial.frameWidth_;
  frameHeight_ = trial.frameHeight_;
  screenWidth_ = trial.screenWidth_;
  screenHeight_ = trial.screenHeight_;
  himetricWidth_ = trial.himetricWidth_;
  himetricHeight_ = trial.himetricHeight_;
}

void THTMLPicture::LoadFromBytes(std::vector<uint8_t> bytes) {
  if (bytes.empty()) throw EInvalidGraphic(kPictureEmptyStreamText);
  if (static_cast<int64_t>(bytes.size()) > kMaxTreePictureBytes) throw EInvalidGraphic(kPictureMemoryText);
  // The frame chosen stays chosen: data without it fails rather than showing another.
  LoadFrameChecked(bytes, frame_);
  CancelDownload();
  data_ = std::move(bytes);
  empty_ = false;
  Changed();
}

void THTMLPicture::LoadFromStream(TBinaryStream& stream) {
  const int32_t n = stream.Remaining();
  if (n <= 0) throw EInvalidGraphic(kPictureEmptyStreamText);
  if (n > kMaxTreePictureBytes) throw EInvalidGraphic(kPictureMemoryText);
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  if (!stream.Read(bytes.data(), n)) throw EInvalidGraphic(kPictureInvalidFormatText);
  LoadFromBytes(std::move(bytes));
}

void THTMLPicture::SaveToStream(TBinaryStream& stream) const {
  if (!data_.empty()) stream.Write(data_.data(), static_cast<int32_t>(data_.size()));
}

void THTMLPicture::AssignImage(const QImage& image) {
  if (!image.isNull()) return;
  Clear();
  Changed();
}

void THTMLPicture::Assign(const TGraphic& source) {
  const auto* other = dynamic_cast<const THTMLPicture*>(&source);
  if (other == nullptr || other == this) return;
  CancelDownload();
  Clear();
  Stretch = other->Stretch;
  frame_ = other->frame_;
  id_ = other->id_;
  url_ = other->url_;
  data_ = other->data_;
  empty_ = other->empty_;
  if (!data_.empty()) LoadFrom(data_);
  Changed();
}

void THTMLPicture::SetFrame(int32_t frame) {
  if (frame == frame_) return;
  if (data_.empty()) {
    frame_ = frame;
    return;
  }
  LoadFrameChecked(data_, frame);
  if (OnFrameChange) OnFrameChange(*this);
}

void THTMLPicture::Draw(TCanvas& canvas, const TRect& rect) const {
  if (empty_ || image_.isNull()) return;
  if (Stretch) {
    canvas.StretchDraw(rect, image_);
    return;
  }
  const QImage* device = canvas.Image();
  const int dpiX = device != nullptr ? device->logicalDpiX() : 96;
  const int dpiY = device != nullptr ? device->logicalDpiY() : 96;
  const int32_t w = RoundToInt(static_cast<double>(himetricWidth_) * dpiX / 2540);
  const int32_t h = RoundToInt(static_cast<double>(himetricHeight_) * dpiY / 2540);
  if (w == image_.width() && h == image_.height())
    canvas.Draw(rect.Left, rect.Top, image_);
  else
    canvas.StretchDraw(TRect{rect.Left, rect.Top, rect.Left + w, rect.Top + h}, image_);
}

void THTMLPicture::SetID(const std::string& value) {
  if (StartsWithNoCase(value, "RES://")) {
    id_ = value;
    const std::string name = value.substr(6);
    if (name.empty()) return;
    QFile file(QStringLiteral(":/") + QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    LoadFromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  } else if (StartsWithNoCase(value, "FILE://")) {
    id_ = value;
    const std::string name = value.substr(7);
    if (!name.empty()) LoadFromFile(name);
  } else if (!Asynch) {
    url_ = value;
    id_ = value;
  } else if (!downloading_) {
    url_ = value;
    StartDownload();
  }
}

// [SECTION] download

namespace {

// http and https addresses as they are; an absolute path as a local file; any
// other address gives an empty URL, which the thread reports as unsupported.
QUrl DownloadUrl(const std::string& address) {
  const QString text = QString::fromStdString(address);
  const QUrl url(text, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))) return url;
  if (scheme.isEmpty() && QDir::isAbsolutePath(text)) return QUrl::fromLocalFile(text);
  return {};
}

// How often a running transfer looks for a cancellation.
constexpr int kCancelPollMilliseconds = 20;

}  // namespace

TDownLoadThread::TDownLoadThread(THTMLPicture& picture, QUrl url, QObject& receiver)
    : picture_(picture), url_(std::move(url)), receiver_(receiver) {}

TDownLoadThread::~TDownLoadThread() {
  Cancel();
  wait();
}

void TDownLoadThread::run() {
  THTMLPicture* picture = &picture_;
  // Calls queued to the picture's thread; dropped when the receiver goes first.
  const auto post = [this](auto call) { QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection); };
  if (url_.isEmpty()) {
    post([picture] { picture->DownloadEnded({}, kPictureAddressText); });
    return;
  }
  QNetworkAccessManager manager;
  QNetworkRequest request(url_);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = manager.get(request);
  bool tooLarge = false;
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64 total) {
    // Refused before the bytes are held: the picture could not be taken anyway.
    if (received > kMaxTreePictureBytes || total > kMaxTreePictureBytes) {
      tooLarge = true;
      reply->abort();
      return;
    }
    post([picture, received, total] { picture->DownloadProgress(received, total); });
  });
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, reply, [&] {
    if (cancelled_) reply->abort();
  });
  poll.start(kCancelPollMilliseconds);
  if (!reply->isFinished()) loop.exec();
  poll.stop();
  if (cancelled_) return;  // the picture already told its cancel event
  if (tooLarge) {
    post([picture] { picture->DownloadEnded({}, kPictureMemoryText); });
  } else if (reply->error() != QNetworkReply::NoError) {
    post([picture, text = reply->errorString().toStdString()] { picture->DownloadEnded({}, text); });
  } else {
    post([picture, bytes = reply->readAll()] { picture->DownloadEnded(bytes, {}); });
  }
}

void THTMLPicture::StartDownload() {
  downloading_ = true;
  if (!receiver_) receiver_ = std::make_unique<QObject>();
  thread_ = std::make_unique<TDownLoadThread>(*this, DownloadUrl(url_), *receiver_);
  thread_->start();
}

void THTMLPicture::StopDownload() {
  if (!thread_) return;
  thread_->Cancel();
  thread_->wait();
  thread_.reset();
  receiver_.reset();  // drops the calls that download still had queued
  downloading_ = false;
}

void THTMLPicture::CancelDownload() {
  if (!downloading_) return;
  StopDownload();
  if (OnDownLoadCancel) Guarded([&] { OnDownLoadCancel(*this); }, TReportTime::rtAfterHandler);
}

void THTMLPicture::DownloadProgress(int64_t received, int64_t total) {
  if (!downloading_ || !OnDownLoadProgress) return;
  Guarded([&] { OnDownLoadProgress(*this, received, total); }, TReportTime::rtAfterHandler);
}

// Runs as a queued call on the picture's thread: nothing may escape it.
void THTMLPicture::DownloadEnded(const QByteArray& bytes, const std::string& error) {
  if (thread_) thread_->wait();  // its last act was to queue this call
  thread_.reset();
  downloading_ = false;
  std::string failure = error;
  if (failure.empty()) {
    try {
      LoadFromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
  Guarded(
      [&] {
        if (failure.empty()) {
          if (OnDownLoadComplete) OnDownLoadComplete(*this);
        } else if (OnDownLoadError) {
          OnDownLoadError(*this, failure);
        }
      },
      TReportTime::rtAfterHandler);
}

// [SECTION] THTMLPictureCache

THTMLPicture* THTMLPictureCache::AddPicture() {
  pictures_.push_back(std::make_unique<THTMLPicture>());
  return pictures_.back().get();
}

THTMLPicture* THTMLPictureCache::FindPicture(std::string_view id) const {
  for (const auto& p : pictures_)
    if (p->ID() == id) return p.get();
  return nullptr;
}

}  // namespace qira
