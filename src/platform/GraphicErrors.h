#pragma once
// The failures of pictures and picture files, one shape for every graphic kind:
// the class library's fixed text in what(), and for a file that could not be
// decoded the check that failed in Reason(), so that a log or a test can tell
// a truncated file from a bad header without parsing the message.
#include <stdexcept>
#include <string>
#include <utility>

namespace qira {

// Picture data that cannot be decoded ("Bitmap image is not valid"), or a file
// whose extension no registered picture format claims
// ("Unknown picture file extension (.xyz)").
class EInvalidGraphic : public std::runtime_error {
 public:
  explicit EInvalidGraphic(const std::string& message, std::string reason = {})
      : std::runtime_error(message), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// Picture data whose pixels the memory the program may take cannot hold, what()
// being PictureTooLargeNow's text (its size, what it needs, what is available),
// or that is larger than a reader takes (PictureAboveReadLimit's text).
class EGraphicTooLarge : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// An operation the graphic cannot carry out (a pixel format it cannot write,
// a picture too large for its file format).
class EInvalidGraphicOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture file that could not be opened, created or written; the message
// names the file and the system's reason.
class EGraphicFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The class library's text for undecodable bitmap data.
inline constexpr const char* kInvalidBitmapText = "Bitmap image is not valid";

}  // namespace qira
