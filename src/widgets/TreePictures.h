#pragma once
// Pictures that the object tree's formatted text names by address, and the cache
// that keeps them for the tree's lifetime.
//
// A THTMLPicture keeps the raw bytes of a picture file and decodes them with Qt's
// image readers (BMP, PNG, GIF, JPEG, ICO). GIF data can show any of its frames:
// the data is cut down to the header and the frames from the chosen one on.
// Only local pictures load: "RES://" names a Qt resource, "FILE://" a file; any
// other address leaves the picture empty (nothing is downloaded).
#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Picture.h"

namespace qira {

// Texts of EInvalidGraphic for data that does not decode.
inline constexpr const char* kPictureInvalidFormatText = "Could not load image. Invalid format";
inline constexpr const char* kPictureEmptyStreamText = "Empty image stream created";

class THTMLPicture : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  THTMLPicture() = default;

  // True until data is loaded.
  bool Empty() const override { return empty_; }
  // The decoded size in pixels; 0 without a decoded picture.
  int32_t Width() const override;
  int32_t Height() const override;
  // The size the formatted text lays the picture out with: the GIF logical screen
  // when the data gives one, else Width/Height.
  int32_t GetPictureWidth() const;
  int32_t GetPictureHeight() const;

  // The rest of the stream becomes the data, then OnChange. Data that does not
  // decode raises EInvalidGraphic and leaves the picture as it was. (LoadFromFile
  // of the base reads the whole file through here.)
  void LoadFromStream(TBinaryStream& stream) override;
  void SaveToStream(TBinaryStream& stream) const override;
  void LoadFromBytes(std::vector<uint8_t> bytes);
  const std::vector<uint8_t>& Data() const { return data_; }

  QImage ToImage() const override { return image_; }
  // A null image clears the picture; other images are ignored (the picture is
  // defined by file bytes only).
  void AssignImage(const QImage& image) override;
  // Copies Stretch, Frame, ID and the data of another THTMLPicture, then loads;
  // other kinds of graphic are ignored.
  void Assign(const TGraphic& source) override;

  // Draws the decoded picture at rect's top-left: stretched to rect when Stretch is
  // on, else at its own size. Nothing when empty.
  void Draw(TCanvas& canvas, const TRect& rect) const;

  bool Stretch = false;

  // 1-based frame of GIF data; changing it reloads and calls OnFrameChange.
  int32_t Frame() const { return frame_; }
  void SetFrame(int32_t frame);
  std::function<void(THTMLPicture&)> OnFrameChange;

  // -1 for data that is not GIF, else the number of frame starts found.
  int32_t GetFrameCount() const;
  bool IsGIF() const;
  // Position and size of the chosen frame from its image descriptor (GIF only).
  int32_t FrameLeft() const { return frameLeft_; }
  int32_t FrameTop() const { return frameTop_; }
  int32_t FrameWidth() const { return frameWidth_; }
  int32_t FrameHeight() const { return frameHeight_; }
  // The bytes handed to the image reader for the current frame.
  const std::vector<uint8_t>& LoadedBytes() const { return loaded_; }

  const std::string& ID() const { return id_; }
  const std::string& URL() const { return url_; }
  // "RES://name" loads the Qt resource ":/name", "FILE://path" the file; the
  // prefix is compared without case and the ID keeps the text as written. Any
  // other address only records URL and ID.
  void SetID(const std::string& value);

  // Asynchronous loading; the renderer turns it off. Nothing is ever downloaded.
  bool Asynch = true;

 private:
  void Clear();
  void Load();

  std::vector<uint8_t> data_;
  std::vector<uint8_t> loaded_;
  QImage image_;
  bool empty_ = true;
  int32_t frame_ = 1;
  mutable int32_t frameCount_ = -2;  // -2: not yet counted
  int32_t frameLeft_ = 0, frameTop_ = 0, frameWidth_ = 0, frameHeight_ = 0;
  int32_t screenWidth_ = 0, screenHeight_ = 0;
  std::string url_;
  std::string id_;
};

// Owns its pictures.
class THTMLPictureCache {
 public:
  THTMLPicture* AddPicture();
  // The first picture whose ID equals id exactly, or null.
  THTMLPicture* FindPicture(std::string_view id) const;
  void ClearPictures() { pictures_.clear(); }
  size_t Count() const { return pictures_.size(); }

 private:
  std::vector<std::unique_ptr<THTMLPicture>> pictures_;
};

}  // namespace qira
