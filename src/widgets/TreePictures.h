#pragma once
// Pictures that the object tree's formatted text names by address, and the cache
// that keeps them for the tree's lifetime.
//
// A THTMLPicture keeps the raw bytes of a picture file and decodes them: JPEG
// data through the picture registry's JPEG graphic, other data with Qt's image
// readers (BMP, PNG, GIF, ICO). GIF data can show any of its frames: the data is
// cut down to the header and the frames from the chosen one on.
// "RES://" names a Qt resource and "FILE://" a file, both loaded at once; any
// other address is fetched by a TDownLoadThread when the picture loads
// asynchronously (http and https through Qt's network access, an absolute path
// from the local disk), else it only records the address.
#include <QImage>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Picture.h"

namespace qira {

// Texts of EInvalidGraphic for data that does not decode: no reader knows it;
// a reader knows it but the data is damaged; the picture or its data is larger
// than may be allocated; the data cannot be opened as a stream; no data at all.
inline constexpr const char* kPictureInvalidFormatText = "Could not load image. Invalid format";
inline constexpr const char* kPictureLoadText = "Could not load image";
inline constexpr const char* kPictureMemoryText = "Could not allocate memory for image";
inline constexpr const char* kPictureStreamText = "Could not create image stream";
inline constexpr const char* kPictureEmptyStreamText = "Empty image stream created";
// The text of OnDownLoadError for an address that is neither http, https nor an
// absolute local path.
inline constexpr const char* kPictureAddressText = "Unsupported picture address";

// Largest picture file a tree picture takes, and largest decoded picture (pixels).
inline constexpr int64_t kMaxTreePictureBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxTreePicturePixels = int64_t{1} << 26;

class THTMLPicture;

// Fetches the picture file of one THTMLPicture. It holds the picture but never
// touches it: progress and the result reach the picture through queued calls on
// the thread the picture lives on, which is where its events fire. The picture
// stops and joins the thread before it is destroyed.
class TDownLoadThread : public QThread {
 public:
  // `receiver` lives on the picture's thread; results are queued to it.
  TDownLoadThread(THTMLPicture& picture, QUrl url, QObject& receiver);
  ~TDownLoadThread() override;

  THTMLPicture& Picture() const { return picture_; }
  const QUrl& Url() const { return url_; }
  // Asks the transfer to stop; the thread ends soon after without a result.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

 protected:
  void run() override;

 private:
  THTMLPicture& picture_;
  const QUrl url_;
  QObject& receiver_;
  std::atomic<bool> cancelled_{false};
};

class THTMLPicture : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  THTMLPicture();
  // Stops a running download first.
  ~THTMLPicture() override;

  // True until data is loaded.
  bool GetEmpty() const override { return empty_; }
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
  // on, else at its HIMETRIC size converted with the canvas image's dots per inch.
  // Nothing when empty.
  void Draw(TCanvas& canvas, const TRect& rect) const;
  // The picture's size in 0.01 mm (its pixels at 96 per inch); 0 when empty.
  int32_t HimetricWidth() const { return himetricWidth_; }
  int32_t HimetricHeight() const { return himetricHeight_; }

  bool Stretch = false;

  // 1-based frame of GIF data; changing it reloads and calls OnFrameChange.
  // Without data the frame is only stored. A frame the data does not have
  // raises EInvalidGraphic with the loader's text and changes nothing; data
  // loaded later must have the stored frame in the same way.
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
  // other address records URL and ID and, when Asynch is on and no download
  // runs, starts a TDownLoadThread for it.
  void SetID(const std::string& value);

  // Asynchronous loading; the renderer turns it off.
  bool Asynch = true;
  // True from the start of a download until its last event.
  bool Downloading() const { return downloading_; }
  // The running download, or null.
  const TDownLoadThread* DownLoadThread() const { return thread_.get(); }

  // Download events, fired on the picture's thread, in this order: progress
  // (bytes so far, total or -1) any number of times, then exactly one of
  // complete (the data is loaded), error (the reason; the picture is as it
  // was) or cancel (new data replaced the download).
  std::function<void(THTMLPicture&, int64_t, int64_t)> OnDownLoadProgress;
  std::function<void(THTMLPicture&)> OnDownLoadCancel;
  std::function<void(THTMLPicture&)> OnDownLoadComplete;
  std::function<void(THTMLPicture&, const std::string&)> OnDownLoadError;

 private:
  friend class TDownLoadThread;
  void Clear();
  void LoadFrom(const std::vector<uint8_t>& data);
  // Decodes data at frame and takes the result, or raises EInvalidGraphic with
  // the loader's text and leaves the picture as it was.
  void LoadFrameChecked(const std::vector<uint8_t>& data, int32_t frame);
  void StartDownload();
  // Stops and joins a running download without an event.
  void StopDownload();
  // New data replaces a running download: stop it and fire OnDownLoadCancel.
  void CancelDownload();
  void DownloadProgress(int64_t received, int64_t total);
  void DownloadEnded(const QByteArray& bytes, const std::string& error);

  std::vector<uint8_t> data_;
  std::vector<uint8_t> loaded_;
  QImage image_;
  bool empty_ = true;
  int32_t frame_ = 1;
  mutable int32_t frameCount_ = -2;  // -2: not yet counted
  int32_t frameLeft_ = 0, frameTop_ = 0, frameWidth_ = 0, frameHeight_ = 0;
  int32_t screenWidth_ = 0, screenHeight_ = 0;
  int32_t himetricWidth_ = 0, himetricHeight_ = 0;
  std::string loadError_;  // the loader's text when the last Load gave no image
  std::string url_;
  std::string id_;
  bool downloading_ = false;
  // Receives the download thread's queued calls on the picture's thread; its
  // destruction drops calls still queued.
  std::unique_ptr<QObject> receiver_;
  std::unique_ptr<TDownLoadThread> thread_;
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
