#pragma once
// The error manager the JPEG writer and reader give libjpeg. The library reports
// a fatal error by calling error_exit, which must not return (the default one
// ends the program): this one keeps the library's text and jumps back to the
// function that called setjmp on `jump`. Such a function keeps only trivially
// destructible objects in its frame, so the jump skips no destructor.
#include <csetjmp>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace qira {

struct TJpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] inline void JpegErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// True when the library stopped because it could not have its memory
// (JERR_OUT_OF_MEMORY, "Insufficient memory"): told as the memory refusal of
// every picture, not in the library's words.
inline bool JpegOutOfMemory(j_common_ptr cinfo) { return cinfo->err->msg_code == JERR_OUT_OF_MEMORY; }

// Raises EGraphicTooLarge with PictureTooLargeNow's text for a JPEG picture of
// width x height pixels that needs `neededBytes`.
[[noreturn]] void RaiseJpegTooLarge(int64_t width, int64_t height, int64_t neededBytes);

// Sets up `errors` for `cinfo` (before jpeg_create_*); output_message stays
// for the caller to choose.
inline jpeg_error_mgr* JpegErrors(TJpegErrorManager& errors) {
  jpeg_error_mgr* pub = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JpegErrorExit;
  errors.message[0] = '\0';
  return pub;
}

}  // namespace qira
