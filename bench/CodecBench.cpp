// Picture codec speed against independent peers, as a ratio in one run: each
// row times our codec and the peer on the same picture with the same settings,
// alternating, and reports the medians and their ratio. Each row times what a
// user's action does: from the picture an export holds (the rendered view, rows
// of red, green and blue bytes) to the file's bytes, and from the file's bytes
// to the picture shown; the peer does the same work. Absolute times on a
// shared machine mean little; the ratio is what is compared with the target.
//
// Peers (linked here only): libpng, giflib, libtiff, Qt's BMP writer.
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/GifImage.h"
#include "imaging/PngObject.h"
#include "imaging/TiffWriter.h"
#include "platform/BinaryStream.h"
#include "platform/BmpCodec.h"
#include "platform/ColorReduction.h"
#include "platform/Picture.h"

using namespace qira;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kRuns = 7;

// A photo-like picture: smooth gradients, a few shapes and a little noise, so
// neither filter choice nor compression is trivial.
QImage MakePicture() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) & 7);
      const bool disc = (x - 400) * (x - 400) + (y - 300) * (y - 300) < 150 * 150;
      const int r = (x * 255 / kWidth + noise) & 0xFF;
      const int g = disc ? 200 : (y * 255 / kHeight + noise) & 0xFF;
      const int b = ((x + y) / 8 * 16 + noise) & 0xFF;
      row[x] = qRgb(r, g, b);
    }
  }
  return image;
}

double Seconds(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Rows whose text holds this (all when empty): a profiler can run one row.
std::string gOnly;

// Whether a section's rows (texts starting with `prefix`) can be selected.
bool Section(const char* prefix) { return gOnly.empty() || gOnly.rfind(prefix, 0) == 0; }

// `runs` above the default for rows whose times the disk makes noisy.
void Row(const char* what, const std::function<void()>& ours, const std::function<void()>& peer, const char* target,
         int runs = kRuns) {
  if (!gOnly.empty() && std::string(what).find(gOnly) == std::string::npos) return;
  ours();  // warm caches and lazy tables
  peer();
  std::vector<double> a;
  std::vector<double> b;
  for (int i = 0; i < runs; ++i) {
    a.push_back(Seconds(ours));
    b.push_back(Seconds(peer));
  }
  const double ma = Median(a);
  const double mb = Median(b);
  std::printf("%-44s %9.2f ms %9.2f ms %7.2fx  <= %s\n", what, ma * 1e3, mb * 1e3, ma / mb, target);
  std::fflush(stdout);
}

// ------------------------------------------------------------------ libpng

void PngWriteToVector(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void PngFlush(png_structp) {}

struct TPngSource {
  const std::vector<uint8_t>* bytes;
  size_t pos;
};
void PngReadFromVector(png_structp png, png_bytep data, png_size_t n) {
  auto* src = static_cast<TPngSource*>(png_get_io_ptr(png));
  if (src->pos + n > src->bytes->size()) png_error(png, "short");
  std::memcpy(data, src->bytes->data() + src->pos, n);
  src->pos += n;
}

int LibpngFilters(uint8_t set) {
  int f = 0;
  if (set & pfNone) f |= PNG_FILTER_NONE;
  if (set & pfSub) f |= PNG_FILTER_SUB;
  if (set & pfUp) f |= PNG_FILTER_UP;
  if (set & pfAverage) f |= PNG_FILTER_AVG;
  if (set & pfPaeth) f |= PNG_FILTER_PAETH;
  return f;
}

// RGB rows, 8 bits, no interlace, straight from the export's picture.
std::vector<uint8_t> LibpngWrite(const QImage& rgb, uint8_t filterSet, int level) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, PngWriteToVector, PngFlush);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, 0, LibpngFilters(filterSet));
  png_set_compression_level(png, level);
  png_set_compression_buffer_size(png, 65535);
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) png_write_row(png, rgb.constScanLine(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The file to the picture shown: 32-bit pixels (blue first in memory, opaque)
// decoded straight into the shown picture's rows.
QImage LibpngRead(const std::vector<uint8_t>& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  TPngSource src{&file, 0};
  png_set_read_fn(png, &src, PngReadFromVector);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  png_set_bgr(png);  // the shown picture's rows are blue first too
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  QImage shown(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, shown.scanLine(static_cast<int>(y)), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return shown;
}

// ------------------------------------------------------------------ giflib

int GifWriteToVector(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

std::vector<uint8_t> GiflibWrite(const std::vector<uint8_t>& indices, const std::vector<GifColorType>& palette) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWriteToVector, &error);
  ColorMapObject* map = GifMakeMapObject(256, palette.data());
  EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
  for (int y = 0; y < kHeight; ++y)
    EGifPutLine(gif, const_cast<GifPixelType*>(indices.data() + static_cast<size_t>(y) * kWidth), kWidth);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// ------------------------------------------------------------------ libtiff

struct TTiffMemory {
  std::vector<uint8_t> bytes;
  toff_t pos = 0;
};
tsize_t TiffRead(thandle_t, tdata_t, tsize_t) { return 0; }
tsize_t TiffWrite(thandle_t h, tdata_t data, tsize_t n) {
  auto* m = static_cast<TTiffMemory*>(h);
  const size_t end = static_cast<size_t>(m->pos) + static_cast<size_t>(n);
  if (end > m->bytes.size()) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->pos, data, static_cast<size_t>(n));
  m->pos = end;
  return n;
}
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<TTiffMemory*>(h);
  if (whence == SEEK_SET) m->pos = off;
  else if (whence == SEEK_CUR) m->pos += off;
  else m->pos = m->bytes.size() + off;
  return m->pos;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<TTiffMemory*>(h)->bytes.size(); }
int TiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// The export's rows go to the peer as they are: no conversion.
void LibtiffFill(TIFF* tif, const QImage& rgb) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 87.7);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 87.7);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_SOFTWARE, "Dolvu soft");
  for (int y = 0; y < kHeight; ++y)
    TIFFWriteScanline(tif, const_cast<uchar*>(rgb.constScanLine(y)), static_cast<uint32_t>(y), 0);
}

// Same durability as our atomic save: a temporary file, fsync, rename, fsync
// of the folder.
void LibtiffToFile(const QImage& image, const std::string& path) {
  const std::string temp = path + ".peer.tmp";
  TIFF* tif = TIFFOpen(temp.c_str(), "w");
  LibtiffFill(tif, image);
  TIFFFlush(tif);
  fsync(TIFFFileno(tif));
  TIFFClose(tif);
  std::rename(temp.c_str(), path.c_str());
  const int dir = open(std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc > 1) gOnly = argv[1];
  const QImage picture = MakePicture();
  // What the picture export holds: the rendered view as rows of red, green, blue.
  const QImage exported = picture.convertToFormat(QImage::Format_RGB888);
  std::printf("%-44s %12s %12s %8s  %s\n", "what", "ours", "peer", "ratio", "target");

  // ---- PNG
  if (Section("PNG")) {
  TPNGObject png;
  png.AssignImage(exported);
  png.SetFilterSet(pfSub);
  png.SetDeflateLevel(6);
  TMemoryStream pngFile;
  png.SaveToStream(pngFile);
  const std::vector<uint8_t> pngBytes = pngFile.Data();
  Row("PNG read, file to the picture shown (libpng)",
      [&] {
        TMemoryStream in(pngBytes);
        TPNGObject p;
        p.LoadFromStream(in);
        const QImage shown = p.ToImage();
      },
      [&] { const QImage shown = LibpngRead(pngBytes); }, "1.1x", 15);
  Row("PNG write, Sub filter, level 6 (libpng)",
      [&] {
        TPNGObject p;
        p.AssignImage(exported);
        p.SetFilterSet(pfSub);
        p.SetDeflateLevel(6);
        TMemoryStream out;
        p.SaveToStream(out);
      },
      [&] { LibpngWrite(exported, pfSub, 6); }, "1.1x");
  Row("PNG write, all filters, level 6 (libpng)",
      [&] {
        TPNGObject p;
        p.AssignImage(exported);
        p.SetFilterSet(0x1F);
        p.SetDeflateLevel(6);
        TMemoryStream out;
        p.SaveToStream(out);
      },
      [&] { LibpngWrite(exported, 0x1F, 6); }, "1.1x");
  }

  // ---- GIF
  // The fixed 6 x 6 x 6 palette that our writer uses; the peer maps each pixel
  // through the same per-channel level tables, into the same palette.
  const TLevelTable& six = LevelTable(6);
  std::vector<GifColorType> cube(256, GifColorType{128, 128, 128});
  for (int i = 0; i < 216; ++i)
    cube[static_cast<size_t>(i)] = {six.Levels[static_cast<size_t>(i / 36)], six.Levels[static_cast<size_t>(i / 6 % 6)],
                                    six.Levels[static_cast<size_t>(i % 6)]};
  const auto peerMapping = [&](const QImage& image) {
    std::vector<uint8_t> idx(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      uint8_t* dst = idx.data() + static_cast<size_t>(y) * kWidth;
      for (int x = 0; x < kWidth; ++x)
        dst[x] = static_cast<uint8_t>(six.IndexOf[qRed(src[x])] * 36 + six.IndexOf[qGreen(src[x])] * 6 +
                                      six.IndexOf[qBlue(src[x])]);
    }
    return idx;
  };
  const int32_t oldReduction = DefaultColorReduction();
  SetDefaultColorReduction(rmFixed666);
  Row("GIF write, fixed palette + mapping (giflib)",
      [&] {
        TGIFImage gif;
        gif.AssignImage(picture);
        TMemoryStream out;
        gif.SaveToStream(out);
      },
      [&] { GiflibWrite(peerMapping(picture), cube); }, "1.1x");
  SetDefaultColorReduction(oldReduction);
  Row("GIF write, adaptive (giflib, fixed palette)",
      [&] {
        TGIFImage gif;
        gif.AssignImage(picture);
        TMemoryStream out;
        gif.SaveToStream(out);
      },
      [&] { GiflibWrite(peerMapping(picture), cube); }, "2x");

  // ---- TIFF
  TIFFSetWarningHandler(nullptr);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("qira_codec_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string ourFile = (dir / "ours.tif").string();
  const std::string peerFile = (dir / "peer.tif").string();
  Row("TIFF write to a file, RGB (libtiff)", [&] { WriteTiffPictureToFile(ourFile, exported); },
      [&] { LibtiffToFile(exported, peerFile); }, "1.1x", 25);
  Row("TIFF write to memory, RGB (libtiff)",
      [&] {
        TMemoryStream out;
        WriteTiffPictureToStream(out, exported);
      },
      [&] {
        TTiffMemory m;
        TIFF* tif = TIFFClientOpen("mem", "w", &m, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap);
        LibtiffFill(tif, exported);
        TIFFClose(tif);
      },
      "1.1x");
  std::filesystem::remove_all(dir);

  // ---- BMP
  Row("BMP write to memory, 24 bits (QImageWriter)", [&] { EncodeBmp(picture, 24); },
      [&] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "bmp");
        writer.write(picture);
      },
      "1.1x");
  return 0;
}
