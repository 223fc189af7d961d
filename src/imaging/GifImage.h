#pragma once
// GIF pictures as a graphic of the picture registry: several frames with
// their extensions, comments, the GIF reader with its LZW decoder
// (GifReader.cpp), the writer with its LZW encoder (GifWriter.cpp), drawing
// and clipboard exchange.
//
// Sections: colour tables and errors; shared data; extensions; TGIFFrame;
// TGIFImage; start-up.
//
// Reading checks every block length, colour table, image rectangle, code size
// and LZW code against the bytes that are there; a damaged stream raises
// EInvalidGraphicOperation with the codec's fixed text and leaves the image as
// it was. Writing builds the whole GIF in memory before the destination sees
// a byte.
#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Picture.h"

class QMimeData;

namespace qira {

class TBinaryStream;
class TGIFImage;

// ------------------------------------------------- colour tables and errors

// The class library's "no colour".
inline constexpr TColor kGifNoColor = 0x1FFFFFFF;

struct TGIFColor {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

struct TGIFColorMap {
  int32_t Count = 0;  // 0 .. 256
  std::array<TGIFColor, 256> Colors{};
  // The colour of entry i (i < Count) as 0x00BBGGRR.
  TColor Color(int32_t i) const;
  // The first entry of that colour, or -1.
  int32_t IndexOf(TColor color) const;
  friend bool operator==(const TGIFColorMap&, const TGIFColorMap&) = default;
};

// The format's name, in its registration and in the refusal of a picture the
// memory cannot hold (PictureTooLargeNow).
inline constexpr const char* kGifFormatName = "CompuServe GIF Image";

// Fixed texts of the codec.
inline constexpr const char* sGIFUnknownVersion = "Unknown GIF version";
inline constexpr const char* sGIFCodeSize = "GIF code size not in range 2 to 9";
inline constexpr const char* sGIFCorrupt = "GIF encoded data is corrupt";
inline constexpr const char* sGIFNoData = "No GIF Data to write";
inline constexpr const char* sGIFEncodeError = "GIF image encoding error";
inline constexpr const char* sGIFWrongColors = "Wrong number of colors; must be a power of 2";
inline constexpr const char* sGIFSizeChange = "Cannot change the Size of a GIF image";
inline constexpr const char* sGIFStreamRead = "Stream read error";
// "Unrecognized extension block: %.2x" with the label.
std::string UnrecognizedExtensionText(uint8_t label);

// Raises EInvalidGraphicOperation with the text: every failure of the codec.
[[noreturn]] void GIFError(const std::string& text);

// The bits for a colour count that is a power of two from 2 to 256; else
// GIFError "Wrong number of colors; must be a power of 2".
int32_t ColorsToBits(int32_t count);

// Called with the percentage of the work done; the codec ignores its result.
using TGIFProgress = std::function<void(int32_t percent)>;

// --------------------------------------------------------------- shared data

// The data copies of an image share (copy on write).
struct TGIFData : TSharedImage<TGIFData> {
  std::vector<std::string> Comment;  // comment lines
  int32_t ColorResBits = 8;
  int32_t BitsPerPixel = 8;  // of the global colour table
  TGIFColorMap ColorMap;     // the global colour table
};

// A frame's encoded picture (shared between frames assigned from each other).
struct TGIFItem : TSharedImage<TGIFItem> {
  // The minimum code size byte, then the data sub-blocks as stored.
  std::vector<uint8_t> ZipData;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitsPerPixel = 8;
  TGIFColorMap ColorMap;
};

// ---------------------------------------------------------------- extensions

enum class TGIFExtensionKind : uint8_t { etGraphic = 0, etPlainText = 1, etApplication = 2, etComment = 3 };

// Labels and block introducers of the GIF stream.
inline constexpr uint8_t kGraphicControlLabel = 0xF9;
inline constexpr uint8_t kPlainTextLabel = 0x01;
inline constexpr uint8_t kApplicationLabel = 0xFF;
inline constexpr uint8_t kCommentLabel = 0xFE;
inline constexpr uint8_t kExtensionIntroducer = 0x21;
inline constexpr uint8_t kImageIntroducer = 0x2C;
inline constexpr uint8_t kTrailer = 0x3B;

class TExtension {
 public:
  explicit TExtension(TGIFExtensionKind kind);
  TGIFExtensionKind Kind() const { return kind_; }
  uint8_t Label() const;
  // The fixed part: 6 bytes for a graphic control block (size 4, flags, delay
  // u16, transparent index, terminator), 13 for plain text, 12 for an
  // application block (size 11, identifier, code), none for a comment.
  std::vector<uint8_t> Header;
  // The data sub-blocks, one string each (up to 255 bytes).
  std::vector<std::string> Data;

  // Graphic control fields.
  uint8_t Flags() const { return Header.size() > 1 ? Header[1] : 0; }
  void SetFlags(uint8_t flags);
  uint16_t Delay() const;
  void SetDelay(uint16_t delay);
  uint8_t TransparentIndex() const { return Header.size() > 4 ? Header[4] : 0; }
  void SetTransparentIndex(uint8_t index);

 private:
  TGIFExtensionKind kind_;
};

// ------------------------------------------------------------------ TGIFFrame

class TGIFFrame {
 public:
  explicit TGIFFrame(TGIFImage& owner);
  TGIFFrame(const TGIFFrame&) = delete;
  TGIFFrame& operator=(const TGIFFrame&) = delete;

  TGIFImage& Owner() const { return *owner_; }

  // Null drops the frame's data and bitmap. Another frame: shares its data and
  // copies its settings and extensions. A TGIFImage: its current frame (frame
  // 0 when none is current, nothing without frames). Any other non-empty
  // graphic: a new bitmap of its pixels; a graphic with see-through pixels
  // gives them the canvas's brush colour (white), which becomes the frame's
  // transparent colour. Afterwards the image's screen grows to hold the frame.
  void Assign(const TGIFFrame* source);
  void Assign(const TGraphic* source);

  // The decoded bitmap (decoded on first use); null without data.
  const TBitmapGraphic* Bitmap() const;
  int32_t Width() const;
  int32_t Height() const;
  // The frame's colour table (its own or the global copy).
  const TGIFColorMap& ColorMap() const;
  const TGIFItem* Item() const { return item_.get(); }

  int32_t Left = 0;
  int32_t Top = 0;
  TColor TransparentColor = kGifNoColor;
  // The colour-table index that is see-through (a read frame's graphic control
  // block), or -1: then pixels of TransparentColor are (frames made from pictures).
  // Other entries of the same colour stay opaque.
  int32_t TransparentIndex = -1;
  int32_t AnimateInterval = 0;  // ms
  int32_t DisposalMethod = 0;
  bool Interlaced = false;
  bool LocalColors = false;
  // The frame's image data was damaged or cut short (tolerant reading): its
  // pixels are those read up to the damage, the rest index 0.
  bool Corrupted = false;
  bool GrayScale = false;

  std::vector<std::unique_ptr<TExtension>>& Extensions() { return extensions_; }
  const std::vector<std::unique_ptr<TExtension>>& Extensions() const { return extensions_; }

 private:
  friend class TGIFImage;
  // True when the data was damaged (tolerant reading; strict reading raises).
  bool DecodeFrameToBitmap() const;
  void EncodeBitmapToFrame(const std::vector<uint8_t>& bmp);
  void EncodeFromBitmap();
  void UpdateExtensions();
  void GrowScreen();

  TGIFImage* owner_;
  std::shared_ptr<TGIFItem> item_;
  std::vector<std::unique_ptr<TExtension>> extensions_;
  mutable std::unique_ptr<TBitmapGraphic> bitmap_;
};

// ------------------------------------------------------------------ TGIFImage

enum class TGIFVersion : int32_t { gvUnknown = 0, gv87a = 1, gv89a = 2 };

class TGIFImage : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& GraphicClass() const override { return StaticClass(); }

  TGIFImage();
  ~TGIFImage() override;

  // ---- graphic ----
  bool GetEmpty() const override { return frames_.empty(); }
  // The screen size.
  int32_t Width() const override { return screenWidth_; }
  int32_t Height() const override { return screenHeight_; }
  // EInvalidGraphicOperation "Cannot change the Size of a GIF image".
  void SetWidth(int32_t width);
  void SetHeight(int32_t height);
  // Reads from the stream's position to its end; the stream then stands at its end.
  void LoadFromStream(TBinaryStream& stream) override;
  void SaveToStream(TBinaryStream& stream) const override;
  // The current frame's pixels (RGB32; ARGB32 with its transparent index, or
  // colour, see-through when the image is transparent) at the frame's own size, as
  // Draw shows them; null without frames. Counted first: EGraphicTooLarge when the
  // memory cannot hold them.
  QImage ToImage() const override;
  // The current frame's size, which may be larger or smaller than the screen.
  QSize ImageSize() const override;
  // ToImage's rows a strip at a time (std::bad_alloc when a strip cannot be had).
  void ForEachImageStrip(int32_t rowsPerStrip, const TImageStripVisit& visit) const override;
  // A one-frame image of the pixels; a null image empties.
  void AssignImage(const QImage& image) override;
  // Another GIF image: shares its data and copies its frames; a bitmap: a new
  // one-frame image; anything else through its pixels.
  void Assign(const TGraphic& source) override;
  // A one-frame image of that frame (with its image's global colour table).
  void Assign(const TGIFFrame& frame);
  // The current frame rendered into the bitmap (size of the frame).
  void AssignTo(TBitmap& bitmap) const;
  // The current frame stretched into the rectangle; see-through where the frame
  // has its transparent index (or colour) and the image is transparent.
  void Draw(TCanvas& canvas, const TRect& rect) const;
  // The colours of the current frame's bitmap.
  QList<QRgb> Palette() const;

  // ---- streaming ----
  // Replaces the image by the GIF of `size` bytes at the stream's position.
  void ReadGIFStream(int32_t size, TBinaryStream& stream);
  // The whole GIF in memory; GIFError "No GIF Data to write" without frames.
  std::vector<uint8_t> WriteGIFStream() const;
  // The class library's streaming form: int32 byte count, then the GIF.
  void ReadData(TBinaryStream& stream);
  void WriteData(TBinaryStream& stream) const;

  // ---- clipboard ----
  // The first frame's pixels as the standard image and the whole GIF stream
  // under kGifClipboardFormat.
  void SaveToClipboardFormat(QMimeData& data) const;
  // The GIF stream when the data holds one, else a one-frame image of the
  // data's image; EInvalidGraphic "Bitmap image is not valid" when it has neither.
  void LoadFromClipboardFormat(const QMimeData& data);

  // ---- frames ----
  int32_t FrameCount() const { return static_cast<int32_t>(frames_.size()); }
  TGIFFrame& Frame(int32_t index) const;
  int32_t FrameIndex() const { return frameIndex_; }
  void SetFrameIndex(int32_t index);
  // Appends a frame assigned from the graphic, makes it current and returns its index.
  int32_t AddFrame(const TGraphic& graphic);
  void Clear();

  // ---- image settings ----
  TGIFVersion Version() const { return version_; }
  const TGIFData& Data() const { return *data_; }
  // The data to change (unshared first).
  TGIFData& MutableData();
  std::vector<std::string>& Comment() { return MutableData().Comment; }
  TColor BackgroundColor = kGifNoColor;
  bool Looping = false;
  int32_t RepeatCount = 1;
  bool Loaded() const { return loaded_; }
  bool Transparent = true;
  // Tolerant reading (on by default): a frame whose image data holds a bad
  // code or ends early is kept with the pixels read up to the damage and its
  // Corrupted flag, and the frames behind it are still read. Off, such a frame
  // fails the whole read.
  bool TolerantRead = true;
  TGIFProgress OnProgress;

 private:
  friend class TGIFFrame;
  struct TReadState;
  void ReadInto(const uint8_t* bytes, size_t size);
  // The current frame's decoded bitmap when it has pixels, else null.
  const TBitmapGraphic* ShownBitmap() const;
  // Rows top .. top + rows - 1 of ToImage (std::bad_alloc when they cannot be had).
  QImage ShownRows(int32_t top, int32_t rows) const;
  void UpdateVersion();
  void GrowScreenTo(int32_t right, int32_t bottom);
  void ResetImage();

  std::shared_ptr<TGIFData> data_;
  std::vector<std::unique_ptr<TGIFFrame>> frames_;
  int32_t frameIndex_ = -1;
  TGIFVersion version_ = TGIFVersion::gvUnknown;
  int32_t screenWidth_ = 0;
  int32_t screenHeight_ = 0;
  bool loaded_ = false;
};

// ------------------------------------------------------------------ LZW

// Decodes a frame's data stream (minimum code size byte, then sub-blocks)
// into width × height indices (rows from the top), masked to `depthBits`.
// Interlaced data fills the rows in the GIF order. Raises GIFError with
// sGIFCodeSize, sGIFCorrupt (a bad code, or data that ends before every pixel
// is filled) or sGIFStreamRead (sub-blocks cut short). With `corrupt` given,
// damage raises nothing: decoding stops there, the pixels read so far are kept
// (the rest 0) and *corrupt becomes true; a code size outside 2 .. 9 is clamped.
// A picture larger than its data could ever fill is refused either way
// (sGIFCorrupt), and one larger than the reader takes or the memory can hold
// with EGraphicTooLarge.
std::vector<uint8_t> ReadGIFData(const std::vector<uint8_t>& data, int32_t width, int32_t height, int32_t depthBits,
                                 bool interlaced, const TGIFProgress& progress = {}, bool* corrupt = nullptr);

// Encodes width × height indices (rows from the top, each below 2^bitsPerPixel)
// as a frame's data stream: minimum code size byte, sub-blocks, zero block.
std::vector<uint8_t> WriteGIFData(const std::vector<uint8_t>& indices, int32_t width, int32_t height,
                                  int32_t bitsPerPixel, bool interlaced, const TGIFProgress& progress = {});

// The rows of an interlaced frame in stored order.
std::vector<int32_t> InterlacedRowOrder(int32_t height);

// ------------------------------------------------------------------ start-up

// The clipboard format of GIF streams: registered by the name "GIF Image".
inline constexpr const char* kGifClipboardFormat = "application/x-qt-windows-mime;value=\"GIF Image\"";

// Registers ".gif" ("CompuServe GIF Image") in the picture registry. Calling
// it again changes nothing.
void RegisterGifFileFormat();

}  // namespace qira
