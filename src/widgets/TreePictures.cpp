#include "widgets/TreePictures.h"

#include <QFile>

#include <utility>

#include "platform/AsciiCase.h"
#include "platform/BinaryStream.h"

namespace qira {

namespace {

std::unique_ptr<TGraphic> CreateHtmlPicture() { return std::make_unique<THTMLPicture>(); }

uint16_t Word(const std::vector<uint8_t>& d, size_t i) {
  return static_cast<uint16_t>(d[i] | (d[i + 1] << 8));
}

// A frame starts at a graphic control extension (0x21 0xF9, block size 4) whose
// four-byte block and terminator are followed directly by an image descriptor (0x2C).
bool IsFrameStart(const std::vector<uint8_t>& d, size_t i) {
  return d[i] == 0x21 && d.size() - i - 1 > 8 && d[i + 1] == 0xF9 && d[i + 2] == 4 && d[i + 8] == 0x2C;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

}  // namespace

const TGraphicClass& THTMLPicture::StaticClass() {
  static const TGraphicClass cls("THTMLPicture", &CreateHtmlPicture);
  return cls;
}

int32_t THTMLPicture::Width() const { return image_.isNull() ? 0 : image_.width(); }
int32_t THTMLPicture::Height() const { return image_.isNull() ? 0 : image_.height(); }
int32_t THTMLPicture::GetPictureWidth() const { return screenWidth_ != 0 ? screenWidth_ : Width(); }
int32_t THTMLPicture::GetPictureHeight() const { return screenHeight_ != 0 ? screenHeight_ : Height(); }

bool THTMLPicture::IsGIF() const {
  return data_.size() >= 5 && data_[0] == 'G' && data_[1] == 'I' && data_[2] == 'F' && data_[3] == '8';
}

int32_t THTMLPicture::GetFrameCount() const {
  if (frameCount_ != -2) return frameCount_;
  if (!IsGIF()) {
    frameCount_ = -1;
    return frameCount_;
  }
  int32_t count = 0;
  for (size_t i = 0; i < data_.size(); ++i)
    if (IsFrameStart(data_, i)) ++count;
  frameCount_ = count;
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
}

// Decodes data_ for the current frame. A frame that does not exist (or data that
// does not decode) leaves the picture without an image.
void THTMLPicture::Load() {
  frameLeft_ = frameTop_ = frameWidth_ = frameHeight_ = 0;
  screenWidth_ = screenHeight_ = 0;
  if (IsGIF() && GetFrameCount() >= 1) {
    if (data_.size() >= 10) {
      screenWidth_ = Word(data_, 6);
      screenHeight_ = Word(data_, 8);
    }
    std::vector<uint8_t> out;
    out.reserve(data_.size());
    int32_t counter = 1;
    bool copy = true;
    for (size_t i = 0; i < data_.size(); ++i) {
      if (IsFrameStart(data_, i)) {
        // The descriptor's four words lie 9 to 16 bytes on; a truncated one is not read.
        if (counter == frame_ && i + 16 < data_.size()) {
          frameLeft_ = Word(data_, i + 9);
          frameTop_ = Word(data_, i + 11);
          frameWidth_ = Word(data_, i + 13);
          frameHeight_ = Word(data_, i + 15);
        }
        ++counter;
        copy = frame_ < counter;
      }
      if (copy) out.push_back(data_[i]);
    }
    loaded_ = std::move(out);
  } else {
    loaded_ = data_;
  }
  image_ = QImage::fromData(loaded_.data(), static_cast<int>(loaded_.size()));
}

void THTMLPicture::LoadFromBytes(std::vector<uint8_t> bytes) {
  if (bytes.empty()) throw EInvalidGraphic(kPictureEmptyStreamText);
  // Decode into a scratch picture first, so bad data leaves this one as it was.
  THTMLPicture trial;
  trial.data_ = std::move(bytes);
  trial.frame_ = frame_;
  trial.Load();
  if (trial.image_.isNull()) {
    trial.frame_ = 1;
    trial.Load();
    if (trial.image_.isNull()) throw EInvalidGraphic(kPictureInvalidFormatText);
  }
  data_ = std::move(trial.data_);
  loaded_ = std::move(trial.loaded_);
  image_ = std::move(trial.image_);
  frame_ = trial.frame_;
  frameCount_ = trial.frameCount_;
  frameLeft_ = trial.frameLeft_;
  frameTop_ = trial.frameTop_;
  frameWidth_ = trial.frameWidth_;
  frameHeight_ = trial.frameHeight_;
  screenWidth_ = trial.screenWidth_;
  screenHeight_ = trial.screenHeight_;
  empty_ = false;
  Changed();
}

void THTMLPicture::LoadFromStream(TBinaryStream& stream) {
  const int32_t n = stream.Remaining();
  if (n <= 0) throw EInvalidGraphic(kPictureEmptyStreamText);
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
  Clear();
  Stretch = other->Stretch;
  frame_ = other->frame_;
  id_ = other->id_;
  url_ = other->url_;
  data_ = other->data_;
  empty_ = other->empty_;
  if (!data_.empty()) Load();
  Changed();
}

void THTMLPicture::SetFrame(int32_t frame) {
  if (frame == frame_) return;
  frame_ = frame;
  if (!data_.empty()) {
    Load();
    if (OnFrameChange) OnFrameChange(*this);
  }
}

void THTMLPicture::Draw(TCanvas& canvas, const TRect& rect) const {
  if (empty_ || image_.isNull()) return;
  if (Stretch)
    canvas.StretchDraw(rect, image_);
  else
    canvas.Draw(rect.Left, rect.Top, image_);
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
  } else {
    // Addresses are never fetched: the picture stays empty whether or not it was
    // meant to load asynchronously.
    url_ = value;
    id_ = value;
  }
}

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
