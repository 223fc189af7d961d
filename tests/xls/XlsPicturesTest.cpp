// Sheet pictures of every stored kind — bitmap, Windows and enhanced metafile
// beside JPEG and PNG — from files an independent generator wrote
// (tests/fixtures/make_sheet_pictures.py): their kinds and blobs, and a
// workbook holding one of each read by independent readers: an olefile-based
// walk of the drawing group's records, gnumeric and LibreOffice.
#include <gtest/gtest.h>

#include <string>

#include "support/GeneratedFixtures.h"
#include "support/PeerRun.h"
#include "support/ScratchFolder.h"
#include "xls/CompoundFile.h"
#include "xls/XlsDrawing.h"
#include "xls/XlsSupport.h"
#include "xls/XlsWorkbook.h"

namespace qira {
namespace {

using test::LibreOfficeConvert;
using test::RunCommand;
using test::RunPython;
using test::TPeerOutput;

const TGeneratedFixtures& SheetPictures() { return TGeneratedFixtures::Of("make_sheet_pictures.py"); }
const TGeneratedFixtures& Pictures() { return TGeneratedFixtures::Of("make_pictures.py"); }

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

TEST(SheetPictureKinds, AreDetectedByTheRealHeadersOfTheirFiles) {
  const struct {
    std::string bytes;
    uint8_t kind;
  } cases[] = {
      {SheetPictures().Bytes("blue.bmp"), kBlipDib},
      {SheetPictures().Bytes("square.wmf"), kBlipWmf},
      {SheetPictures().Bytes("square.emf"), kBlipEmf},
      {Pictures().Bytes("red.jpg"), kBlipJpeg},
      {Pictures().Bytes("green.png"), kBlipPng},
      {Pictures().Bytes("text.bin"), kBlipUnknown},
      // A ten-byte marker of FF bytes is no file any program writes.
      {std::string(8, '\xFF') + "\x03\xFF" + "rest", kBlipUnknown},
      {std::string(8, '\xFF') + "\x02\xFF" + "rest", kBlipUnknown},
      {"", kBlipUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectImageFormat(c.bytes), c.kind) << c.bytes.substr(0, 4);
}

TEST(SheetPictureKinds, BitmapsAndMetafilesGiveTheirSizeAndTheBytesTheirBlobStores) {
  const std::string bmp = SheetPictures().Bytes("blue.bmp");
  TImageInfo info = ReadImageInfo(bmp);
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.Blob, bmp.substr(14)) << "the file without its 14-byte header";
  info = ReadImageInfo(SheetPictures().Bytes("topdown.bmp"));
  EXPECT_EQ(info.Height, 4) << "top-down rows have a negative height";

  // 1440 x 720 units at 1440 per inch; 5080 x 2540 hundredths of a millimetre.
  const std::string wmf = SheetPictures().Bytes("square.wmf");
  const std::string emf = SheetPictures().Bytes("square.emf");
  const struct {
    const std::string& file;
    int width, height;
    std::string data;  // the metafile the blob carries
    uint32_t emuWidth;
  } metafiles[] = {{wmf, 96, 48, wmf.substr(22), 914400}, {emf, 192, 96, emf, 1828800}};
  for (const auto& m : metafiles) {
    info = ReadImageInfo(m.file);
    EXPECT_EQ(info.Width, m.width);
    EXPECT_EQ(info.Height, m.height);
    // Id (16 bytes), then size, bounds, size in EMUs, stored size, compression
    // (0: deflated), filter (FE: none), then the stored data.
    ASSERT_GT(info.Blob.size(), 16u + 34);
    EXPECT_EQ(Le32(info.Blob, 16), m.data.size());
    EXPECT_EQ(Le32(info.Blob, 16 + 20), m.emuWidth);
    EXPECT_EQ(Le32(info.Blob, 16 + 28), info.Blob.size() - 50);
    EXPECT_EQ(info.Blob.substr(16 + 32, 2), std::string("\x00\xFE", 2));
  }
  EXPECT_THROW(ReadImageInfo(SheetPictures().Bytes("short.bmp")), EXLSError);
  EXPECT_THROW(ReadImageInfo(wmf.substr(0, 30)), EXLSError);
  EXPECT_THROW(ReadImageInfo(emf.substr(0, 60)), EXLSError);
}

TEST(SheetPictureKinds, APictureFromBytesSharesTheBlobOfAnEqualPictureAddedBefore) {
  const std::string file = SheetPictures().File("blue.bmp");
  const std::string bytes = SheetPictures().Bytes("blue.bmp");
  const struct {
    const char* what;
    bool firstFromFile, secondFromFile;
    size_t blobs;
  } cases[] = {
      {"bytes, then the same bytes", false, false, 1},
      {"a file, then its bytes", true, false, 1},
      // A picture from a file is found by its name only.
      {"bytes, then their file", false, true, 2},
      {"a file, then the same file", true, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TXLSFile book;
    TXLSImages& images = book.Workbook().Sheets().Items(0).Images();
    auto add = [&](bool fromFile, int32_t row) {
      if (fromFile) {
        images.AddFile(file, row, 0);
      } else {
        images.AddBytes(bytes, row, 0);
      }
    };
    add(c.firstFromFile, 0);
    add(c.secondFromFile, 9);
    TMSOData drawings;
    drawings.Build(book.Workbook());
    ASSERT_EQ(drawings.Blips().size(), c.blobs);
    EXPECT_EQ(drawings.Blips()[0].RefCount, c.blobs == 1 ? 2u : 1u);
    EXPECT_EQ(drawings.Blips()[0].FileName, c.firstFromFile ? file : "");
    ASSERT_EQ(drawings.ShapeMap().Sheet(0).size(), 2u);
    EXPECT_EQ(drawings.ShapeMap().MaxShapeId(), 1026u);
  }
}

// The drawing group of the globals, walked record by record from the compound
// file: per blob its BSE kind, size and reference count, the blob record's type
// and length, and whether the stored picture equals the file's.
const char* const kDrawingGroupPeer = R"PY(
import struct, sys, zlib, olefile
wb = olefile.OleFileIO(sys.argv[1]).openstream("Workbook").read()
pos, group, previous = 0, b"", None
while pos + 4 <= len(wb):
    rid, size = struct.unpack_from("<HH", wb, pos)
    data = wb[pos + 4:pos + 4 + size]
    pos += 4 + size
    if rid == 0x00EB or (rid == 0x003C and previous == 0x00EB):
        group += data
        rid = 0x00EB
    previous = rid
    if rid == 0x000A:  # the end of the globals
        break
files = [open(name, "rb").read() for name in sys.argv[2:]]
def walk(b, at, end):
    while at + 8 <= end:
        ver, rtype, length = struct.unpack_from("<HHI", b, at)
        body = at + 8
        if rtype in (0xF000, 0xF001):
            walk(b, body, body + length)
        elif rtype == 0xF007:
            kind, mac = b[body], b[body + 1]
            size, refs = struct.unpack_from("<II", b, body + 20)
            bver, btype, blength = struct.unpack_from("<HHI", b, body + 36)
            blip = b[body + 44:body + 44 + blength]
            if btype in (0xF01A, 0xF01B):
                cb, = struct.unpack_from("<I", blip, 16)
                save, = struct.unpack_from("<I", blip, 44)
                stored = zlib.decompress(blip[50:50 + save]) if blip[48] == 0 else blip[50:50 + save]
                if len(stored) != cb:
                    stored = b""
            else:
                stored = blip[17:]
            same = [i for i, f in enumerate(files) if f == stored or f[14:] == stored or f[22:] == stored]
            print("blob kind %d size %d refs %d type %X instance %X length %d ok %s file %s" % (
                kind, size, refs, btype, bver >> 4, blength, size == blength + 8 and length == 36 + size, same))
        at = body + length
walk(group, 0, len(group))
)PY";

class SheetPictureReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    TSheet& sheet = file_.Workbook().Sheets().Items(0);
    sheet.SetName(u"Pictures");
    sheet.Images().AddFile(SheetPictures().File("blue.bmp"), 1, 1);
    sheet.Images().AddFile(SheetPictures().File("square.wmf"), 10, 1);
    sheet.Images().AddFile(SheetPictures().File("square.emf"), 20, 1);
    path_ = folder_.File("pictures.xls");
    file_.SaveAs(path_);
  }
  TXLSFile file_;
  TScratchFolder folder_;
  std::string path_;
};

TEST_F(SheetPictureReaders, TheDrawingGroupHoldsEachPictureWholeInItsBlobRecord) {
  const TPeerOutput peer =
      RunPython(folder_, "group_peer.py", kDrawingGroupPeer,
                {path_, SheetPictures().File("blue.bmp"), SheetPictures().File("square.wmf"),
                 SheetPictures().File("square.emf")});
  ASSERT_EQ(peer.status, 0) << peer.text;
  const std::string bmp = SheetPictures().Bytes("blue.bmp");
  const auto metafileBlob = [](const char* name) { return ReadImageInfo(SheetPictures().Bytes(name)).Blob.size(); };
  const size_t wmf = metafileBlob("square.wmf");
  const size_t emf = metafileBlob("square.emf");
  for (const std::string& line : {
           "blob kind 7 size " + std::to_string(bmp.size() - 14 + 25) + " refs 1 type F01F instance 7A8 length " +
               std::to_string(bmp.size() - 14 + 17) + " ok True file [0]",
           "blob kind 3 size " + std::to_string(wmf + 8) + " refs 1 type F01B instance 216 length " +
               std::to_string(wmf) + " ok True file [1]",
           "blob kind 2 size " + std::to_string(emf + 8) + " refs 1 type F01A instance 3D4 length " +
               std::to_string(emf) + " ok True file [2]",
       })
    EXPECT_TRUE(peer.Has(line)) << line << "\n" << peer.text;
}

// gnumeric's own file keeps each picture it read in a GOImage element, base64.
const char* const kGnumericPicturesPeer = R"PY(
import base64, gzip, sys, xml.etree.ElementTree as ET
root = ET.fromstring(gzip.open(sys.argv[1]).read())
files = [open(name, "rb").read() for name in sys.argv[2:]]
for image in root.iter("{http://www.gnumeric.org/v10.dtd}SheetObjectImage"):
    for content in image.iter("Content"):
        print("object %s" % content.get("image-type"))
for image in root.iter("GOImage"):
    data = base64.b64decode(image.text or "")
    # A bitmap comes back behind a file header of gnumeric's making.
    same = [i for i, f in enumerate(files) if f == data or f[14:] == data[14:] or f[22:] == data]
    print("image %s %s" % (image.get("name"), same))
)PY";

// LibreOffice's own document keeps metafiles as they were and bitmaps as PNG.
const char* const kLibreOfficePicturesPeer = R"PY(
import struct, sys, zipfile
files = [open(name, "rb").read() for name in sys.argv[2:]]
for name in sorted(zipfile.ZipFile(sys.argv[1]).namelist()):
    if not name.startswith("Pictures/"):
        continue
    data = zipfile.ZipFile(sys.argv[1]).read(name)
    if name.endswith(".png"):
        print("png %d x %d" % struct.unpack_from(">II", data, 16))
    else:
        same = [i for i, f in enumerate(files) if f == data or f[22:] == data]
        print("%s %s" % (name.rsplit(".", 1)[1], same))
)PY";

TEST_F(SheetPictureReaders, GnumericReadsABitmapAWindowsAndAnEnhancedMetafile) {
  ASSERT_EQ(RunCommand("command -v ssconvert").status, 0) << "gnumeric's ssconvert is not installed; run scripts/setup";
  const std::string own = folder_.File("pictures.gnumeric");
  const TPeerOutput run = RunCommand("ssconvert '" + path_ + "' '" + own + "'");
  ASSERT_EQ(run.status, 0) << run.text;
  const TPeerOutput peer = RunPython(folder_, "gnumeric_peer.py", kGnumericPicturesPeer,
                                     {own, SheetPictures().File("blue.bmp"), SheetPictures().File("square.wmf"),
                                      SheetPictures().File("square.emf")});
  ASSERT_EQ(peer.status, 0) << peer.text;
  for (const char* line : {"object dib", "object wmf", "object emf"})
    EXPECT_TRUE(peer.Has(line)) << line << "\n" << peer.text;
  // Each picture is one of the three files, and each file is there once.
  for (const char* file : {"[0]", "[1]", "[2]"}) {
    int found = 0;
    for (const std::string& l : peer.lines) found += l.starts_with("image ") && l.ends_with(file);
    EXPECT_EQ(found, 1) << file << "\n" << peer.text;
  }
}

TEST_F(SheetPictureReaders, LibreOfficeReadsABitmapAWindowsAndAnEnhancedMetafile) {
  ASSERT_EQ(RunCommand("command -v soffice").status, 0) << "LibreOffice is not installed; run scripts/setup";
  const TPeerOutput run = LibreOfficeConvert(folder_, "pictures.xls", "ods");
  ASSERT_EQ(run.status, 0) << run.text;
  const TPeerOutput peer = RunPython(folder_, "libreoffice_peer.py", kLibreOfficePicturesPeer,
                                     {folder_.File("pictures.ods"), SheetPictures().File("square.wmf"),
                                      SheetPictures().File("square.emf")});
  ASSERT_EQ(peer.status, 0) << peer.text;
  for (const char* line : {"png 5 x 3", "wmf [0]", "emf [1]"})
    EXPECT_TRUE(peer.Has(line)) << line << "\n" << peer.text;
}

}  // namespace
}  // namespace qira
