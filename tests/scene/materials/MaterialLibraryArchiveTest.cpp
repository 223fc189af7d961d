#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/GraphicErrors.h"
#include "platform/Picture.h"
#include "scene/materials/MaterialLibraryArchive.h"
#include "scene/materials/TextureImages.h"

namespace qira {
namespace {

// ------------------------------------------------- archives written by hand

// Bytes of the tagged encoding, written from the format description.
class TArchiveBytes {
 public:
  TArchiveBytes& Raw(std::initializer_list<uint8_t> bytes) {
    data.insert(data.end(), bytes);
    return *this;
  }
  TArchiveBytes& Int8(int8_t v) { return Raw({0x02, static_cast<uint8_t>(v)}); }
  TArchiveBytes& Int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return Raw({0x04, static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                static_cast<uint8_t>(u >> 24)});
  }
  TArchiveBytes& False() { return Raw({0x08}); }
  TArchiveBytes& True() { return Raw({0x09}); }
  TArchiveBytes& Str(const std::string& s) {
    Raw({0x06, static_cast<uint8_t>(s.size())});
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
  TArchiveBytes& ByteStr(const std::vector<uint8_t>& bytes) {
    const auto n = static_cast<uint32_t>(bytes.size());
    Raw({0x0C, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
         static_cast<uint8_t>(n >> 24)});
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // Float 0.0: tag 5 and ten zero bytes of the extended layout.
  TArchiveBytes& FloatZero() { return Raw({0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }
  // IEEE single from its bit pattern, little-endian.
  TArchiveBytes& F32(uint32_t bits) {
    return Raw({static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                static_cast<uint8_t>(bits >> 24)});
  }
  TArchiveBytes& F32s(std::initializer_list<uint32_t> bits) {
    for (uint32_t b : bits) F32(b);
    return *this;
  }

  std::vector<uint8_t> data;
};

constexpr uint32_t k0 = 0x00000000;
constexpr uint32_t k02 = 0x3E4CCCCD;  // 0.2f
constexpr uint32_t k05 = 0x3F000000;  // 0.5f
constexpr uint32_t k08 = 0x3F4CCCCD;  // 0.8f
constexpr uint32_t k1 = 0x3F800000;   // 1.0f

// The default face colours: ambient rgb, diffuse rgba, emission rgb, specular rgb.
void DefaultFaceColors(TArchiveBytes& a) { a.F32s({k02, k02, k02, k08, k08, k08, k1, k0, k0, k0, k0, k0, k0}); }

// A 2 x 1 BMP, 24 bits, bottom-up; pixel bytes chosen among those Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D), which a code-page
// conversion would destroy.
std::vector<uint8_t> HandMadeBmp() {
  return {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,          // file header
          40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,        // info: 2 x 1, 1 plane, 24 bits
          0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
          0x8F, 0x9D, 0x81, 0x90, 0x8D, 0x81, 0, 0};  // BGR, BGR, padding
}

std::vector<uint8_t> Save(const TGLMaterialLibrary& library) {
  TMemoryStream stream;
  SaveToStream(library, stream);
  return stream.Data();
}

void Load(TGLMaterialLibrary& library, const std::vector<uint8_t>& bytes, bool merge = false) {
  TMemoryStream stream(bytes);
  LoadFromStream(library, stream, merge);
}

std::array<float, 4> Rgba(const TVector& v) { return {v.x, v.y, v.z, v.w}; }

QRgb PixelOf(TGLTexture& texture, int x, int y) {
  auto& image = dynamic_cast<TGLPersistentImage&>(texture.Image());
  return image.Picture().Graphic()->ToImage().pixel(x, y);
}

class MaterialLibraryArchive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterMaterialClasses();
    RegisterMaterialLibraryArchiveClasses();
  }
};

// ------------------------------------------------------------------- writing

TEST_F(MaterialLibraryArchive, ADefaultMaterialIsWrittenFieldByFieldAsVersion3) {
  TGLMaterialLibrary library;
  library.Materials().Add().SetName("M");

  TArchiveBytes a;
  a.Int8(3).Int8(1).Str("M").False();
  DefaultFaceColors(a);
  a.Raw({0x00}).Int8(0);  // front shininess, polygon mode
  DefaultFaceColors(a);
  a.Raw({0x00}).Int8(0);                                     // back
  a.Int8(0);                                                 // bmOpaque
  a.True().FloatZero().Int8(4).Int8(5).Int8(4).False().True();  // blending parameters
  a.Int8(0);                                                 // fcBufferDefault
  a.Int8(1).Raw({0x00});                                     // options: 1 byte, empty
  a.F32s({k0, k0, k0, k1, k1, k1});                          // offset, scale
  a.Str("");                                                 // Texture2Name
  a.Int8(0);                                                 // extended items
  EXPECT_EQ(Save(library), a.data);
}

TEST_F(MaterialLibraryArchive, PictureBytesAreStoredUnconvertedAsAByteString) {
  TBitmapGraphic bitmap;
  TMemoryStream bmp(HandMadeBmp());
  bitmap.LoadFromStream(bmp);
  TGLMaterialLibrary library;
  AddTextureMaterial(library, "T", &bitmap);

  const std::vector<uint8_t> bytes = Save(library);
  // version, count, name, has image, then the long-string tag and the BMP.
  const std::vector<uint8_t> head = {0x02, 0x03, 0x02, 0x01, 0x06, 0x01, 'T', 0x09};
  ASSERT_GT(bytes.size(), head.size() + 5);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
  const uint8_t tag = bytes[head.size()];
  ASSERT_TRUE(tag == 0x06 || tag == 0x0C);
  const size_t start = head.size() + (tag == 0x06 ? 2 : 5);
  EXPECT_EQ(bytes[start], 'B');
  EXPECT_EQ(bytes[start + 1], 'M');
  const std::vector<uint8_t> stored(bytes.begin() + static_cast<long>(start), bytes.end());
  // Qt's own BMP reader as the independent peer.
  const QImage decoded = QImage::fromData(stored.data(), static_cast<int>(stored.size()), "BMP");
  ASSERT_FALSE(decoded.isNull());
  EXPECT_EQ(decoded.pixel(0, 0), qRgb(0x81, 0x9D, 0x8F));
  EXPECT_EQ(decoded.pixel(1, 0), qRgb(0x81, 0x8D, 0x90));
}

// ------------------------------------------------------------------- reading

TArchiveBytes Version0(const std::string& name) {
  TArchiveBytes a;
  a.Int8(0).Int8(1).Str(name).False();
  a.F32s({k1, k0, k0});      // ambient
  a.F32s({k1, k0, k0, k05}); // diffuse
  a.F32s({k0, k0, k0});      // emission
  a.F32s({k0, k1, k0});      // specular
  return a;
}

TEST_F(MaterialLibraryArchive, AVersion0ArchiveSetsOnlyNameAndFrontColours) {
  TGLMaterialLibrary library;
  library.Materials().Add().SetName("Old");
  Load(library, Version0("Red").data);

  ASSERT_EQ(library.Materials().Count(), 1);
  TGLLibMaterial* red = GetLibMaterialByName(&library, "Red");
  ASSERT_NE(red, nullptr);
  TGLFaceProperties& front = red->Material().FrontProperties();
  EXPECT_EQ(Rgba(front.Ambient().Color()), (std::array<float, 4>{1, 0, 0, 1}));  // alpha kept
  EXPECT_EQ(Rgba(front.Diffuse().Color()), (std::array<float, 4>{1, 0, 0, 0.5f}));
  EXPECT_EQ(Rgba(front.Specular().Color()), (std::array<float, 4>{0, 1, 0, 1}));
  EXPECT_EQ(front.Shininess(), 0);
  EXPECT_EQ(red->Material().BlendingMode(), TBlendingMode::bmOpaque);
  EXPECT_FALSE(red->Material().HasTexture());
  EXPECT_EQ(red->Texture2Name(), "");
  EXPECT_TRUE(red->TextureMatrixIsIdentity());
}

TEST_F(MaterialLibraryArchive, MergeOnLoadUpdatesTheMaterialOfTheSameName) {
  TGLMaterialLibrary library;
  TGLLibMaterial& red = library.Materials().Add();
  red.SetName("Red");
  red.Material().FrontProperties().SetShininess(5);
  library.Materials().Add().SetName("Keep");

  Load(library, Version0("Red").data, /*merge=*/true);
  ASSERT_EQ(library.Materials().Count(), 2);
  EXPECT_EQ(GetLibMaterialByName(&library, "Red"), &red);
  EXPECT_EQ(red.Material().FrontProperties().Diffuse().Alpha(), 0.5f);
  EXPECT_EQ(red.Material().FrontProperties().Shininess(), 5);
  EXPECT_NE(GetLibMaterialByName(&library, "Keep"), nullptr);

  Load(library, Version0("Red").data, /*merge=*/false);
  EXPECT_EQ(library.Materials().Count(), 1);
  EXPECT_EQ(GetLibMaterialByName(&library, "Keep"), nullptr);
}

// One material "Pic" with the hand-made picture, in the version-1 layout.
std::vector<uint8_t> Version1WithPicture() {
  TArchiveBytes a;
  a.Int8(1).Int8(1).Str("Pic").True().ByteStr(HandMadeBmp());
  DefaultFaceColors(a);
  a.Raw({40}).Int8(1);  // front shininess 40, pmLines
  DefaultFaceColors(a);
  a.Raw({7}).Int8(2);   // back shininess 7, pmPoints
  a.Int8(1);            // bmTransparency
  a.Int8(1).Raw({0x02});  // moNoLighting
  a.F32s({k05, k0, k0, k1, k1, k1});
  a.Str("Other");
  return a.data;
}

TEST_F(MaterialLibraryArchive, AHandWrittenVersion1ArchiveWithPictureMakesATextureMaterial) {
  TGLMaterialLibrary library;
  Load(library, Version1WithPicture());
  TGLLibMaterial* pic = GetLibMaterialByName(&library, "Pic");
  ASSERT_NE(pic, nullptr);
  TGLMaterial& m = pic->Material();
  ASSERT_TRUE(m.HasTexture());
  EXPECT_TRUE(m.Texture().Enabled());
  EXPECT_EQ(m.Texture().MinFilter(), miLinearMipmapLinear);
  EXPECT_EQ(m.Texture().MagFilter(), TGLMagFilter::maLinear);
  EXPECT_EQ(m.Texture().TextureMode(), TGLTextureMode::tmModulate);
  EXPECT_EQ(PixelOf(m.Texture(), 0, 0), qRgb(0x81, 0x9D, 0x8F));
  EXPECT_EQ(m.FrontProperties().Shininess(), 40);
  EXPECT_EQ(m.FrontProperties().PolygonMode(), TPolygonMode::pmLines);
  EXPECT_EQ(m.BackProperties().Shininess(), 7);
  EXPECT_EQ(m.BackProperties().PolygonMode(), TPolygonMode::pmPoints);
  EXPECT_EQ(m.BlendingMode(), TBlendingMode::bmTransparency);
  EXPECT_TRUE(m.MaterialOptions().Contains(TMaterialOption::moNoLighting));
  EXPECT_FALSE(m.MaterialOptions().Contains(TMaterialOption::moIgnoreFog));
  EXPECT_EQ(pic->TextureOffset().X(), 0.5f);
  EXPECT_FALSE(pic->TextureMatrixIsIdentity());
  EXPECT_EQ(pic->Texture2Name(), "Other");
}

// ---------------------------------------------------------------- round trip

TEST_F(MaterialLibraryArchive, EveryFieldSurvivesARoundTrip) {
  TBitmapGraphic bitmap;
  TMemoryStream bmp(HandMadeBmp());
  bitmap.LoadFromStream(bmp);

  TGLMaterialLibrary source;
  TGLLibMaterial& tex = AddTextureMaterial(source, "Tex", &bitmap);
  TGLMaterial& m = tex.Material();
  m.Texture().SetTextureMode(TGLTextureMode::tmBlend);
  m.Texture().SetImageGamma(2.0f);
  m.Texture().SetTextureWrap(TGLTextureWrap::twNone);
  m.Texture().SetMappingMode(TGLTextureMappingMode::tmmObjectLinear);
  m.Texture().MappingSCoordinates().SetVector(0, 1, 0, 0.5f);
  m.Texture().SetBorderColor(TGLColor(nullptr, TVector{0.25f, 0.5f, 0.75f, 1.0f}));
  m.SetBlendingMode(TBlendingMode::bmCustom);
  m.BlendingParams().SetUseAlphaFunc(true);
  m.BlendingParams().SetAlphaFuncRef(0.25f);
  m.BlendingParams().SetBlendFuncSFactor(TGLBlendFuncFactor::bff_GL_ONE);
  m.SetFaceCulling(TFaceCulling::fcCull);
  m.SetMaterialOptions({TMaterialOption::moIgnoreFog});
  m.BackProperties().Diffuse().SetColor({0.1f, 0.2f, 0.3f, 0.4f});
  TGLTextureExItem& item = m.TextureEx().Add();
  item.Texture().Assign(static_cast<const TGraphic*>(&bitmap));
  item.SetTextureIndex(2);
  item.TextureScale().SetVector(2, 2, 2);
  source.Materials().Add().SetName("Plain");

  TGLMaterialLibrary copy;
  Load(copy, Save(source));
  ASSERT_EQ(copy.Materials().Count(), 2);
  TGLLibMaterial& t = copy.Materials().Items(0);
  EXPECT_EQ(t.Name(), "Tex");
  TGLMaterial& c = t.Material();
  EXPECT_EQ(c.Texture().TextureMode(), TGLTextureMode::tmBlend);
  EXPECT_EQ(c.Texture().ImageGamma(), 2.0f);
  EXPECT_EQ(c.Texture().TextureWrap(), TGLTextureWrap::twNone);
  EXPECT_EQ(c.Texture().MappingMode(), TGLTextureMappingMode::tmmObjectLinear);
  EXPECT_EQ(Rgba(c.Texture().MappingSCoordinates().AsVector()), (std::array<float, 4>{0, 1, 0, 0.5f}));
  EXPECT_EQ(Rgba(c.Texture().BorderColor().Color()), (std::array<float, 4>{0.25f, 0.5f, 0.75f, 1.0f}));
  EXPECT_EQ(PixelOf(c.Texture(), 1, 0), qRgb(0x81, 0x8D, 0x90));
  EXPECT_EQ(c.BlendingMode(), TBlendingMode::bmCustom);
  EXPECT_TRUE(c.BlendingParams().UseAlphaFunc());
  EXPECT_EQ(c.BlendingParams().AlphaFuncRef(), 0.25f);
  EXPECT_EQ(c.BlendingParams().BlendFuncSFactor(), TGLBlendFuncFactor::bff_GL_ONE);
  EXPECT_EQ(c.FaceCulling(), TFaceCulling::fcCull);
  EXPECT_TRUE(c.MaterialOptions().Contains(TMaterialOption::moIgnoreFog));
  EXPECT_EQ(Rgba(c.BackProperties().Diffuse().Color()), (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0.4f}));
  ASSERT_EQ(c.TextureEx().Count(), 1);
  TGLTextureExItem& ci = c.TextureEx().Items(0);
  EXPECT_EQ(ci.TextureIndex(), 2);
  EXPECT_TRUE(ci.Texture().Enabled());
  EXPECT_EQ(PixelOf(ci.Texture(), 0, 0), qRgb(0x81, 0x9D, 0x8F));
  EXPECT_EQ(ci.TextureScale().X(), 2.0f);
  EXPECT_FALSE(copy.Materials().Items(1).Material().HasTexture());
}

// ------------------------------------------------------------------ failures

// A library holding one material "Keep", to show failures change nothing.
void ExpectUnchanged(const TGLMaterialLibrary& library, TGLLibMaterial* keep) {
  ASSERT_EQ(library.Materials().Count(), 1);
  EXPECT_EQ(&library.Materials().Items(0), keep);
  EXPECT_EQ(keep->Name(), "Keep");
}

TEST_F(MaterialLibraryArchive, AnUnknownVersionRaisesBeforeAnyChange) {
  TGLMaterialLibrary library;
  TGLLibMaterial& keep = library.Materials().Add();
  keep.SetName("Keep");
  TArchiveBytes a = Version0("Red");
  a.data[1] = 4;
  try {
    Load(library, a.data);
    FAIL() << "no exception";
  } catch (const EFilerException& e) {
    EXPECT_STREQ(e.what(), "TGLMaterialLibrary : unknown archive version 4");
  }
  ExpectUnchanged(library, &keep);
}

TEST_F(MaterialLibraryArchive, EveryTruncationFailsWithAReadErrorAndChangesNothing) {
  TBitmapGraphic bitmap;
  TMemoryStream bmp(HandMadeBmp());
  bitmap.LoadFromStream(bmp);
  TGLMaterialLibrary source;
  AddTextureMaterial(source, "Tex", &bitmap).Material().TextureEx().Add();
  const std::vector<uint8_t> whole = Save(source);

  TGLMaterialLibrary library;
  TGLLibMaterial& keep = library.Materials().Add();
  keep.SetName("Keep");
  for (size_t n = 0; n < whole.size(); ++n) {
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
    EXPECT_THROW(Load(library, cut), EReadError) << "cut at " << n;
  }
  ExpectUnchanged(library, &keep);
}

struct TMaliciousCase {
  const char* what;
  std::function<void(TArchiveBytes&)> build;
  const char* message;
};

TEST_F(MaterialLibraryArchive, MaliciousCountsLengthsAndOrdinalsAreRefused) {
  const TMaliciousCase cases[] = {
      {"huge material count", [](TArchiveBytes& a) { a.Int8(3).Int32(0x7FFFFFFF); }, "Stream read error"},
      {"negative material count", [](TArchiveBytes& a) { a.Int8(3).Int8(-1); }, "Stream read error"},
      {"picture longer than the stream",
       [](TArchiveBytes& a) {
         a.Int8(0).Int8(1).Str("A").True().Raw({0x0C, 0xFF, 0xFF, 0xFF, 0x7F});
         DefaultFaceColors(a);
       },
       "Stream read error"},
      {"negative picture length",
       [](TArchiveBytes& a) {
         a.Int8(0).Int8(1).Str("A").True().Raw({0x0C, 0xFF, 0xFF, 0xFF, 0xFF});
         DefaultFaceColors(a);
       },
       "Stream read error"},
      {"picture as an integer",
       [](TArchiveBytes& a) {
         a.Int8(0).Int8(1).Str("A").True().Int8(5);
         DefaultFaceColors(a);
       },
       "TBinaryReader, read type error"},
      {"polygon mode out of range",
       [](TArchiveBytes& a) {
         a.Int8(1).Int8(1).Str("A").False();
         DefaultFaceColors(a);
         a.Raw({0}).Int8(9);
         DefaultFaceColors(a);
         a.Raw({0}).Int8(0).Int8(0).Int8(1).Raw({0}).F32s({k0, k0, k0, k1, k1, k1}).Str("");
       },
       "Invalid property value"},
      {"options longer than the stream",
       [](TArchiveBytes& a) {
         a.Int8(1).Int8(1).Str("A").False();
         DefaultFaceColors(a);
         a.Raw({0}).Int8(0);
         DefaultFaceColors(a);
         a.Raw({0}).Int8(0).Int8(0).Int32(1 << 30);
       },
       "Stream read error"},
      {"huge extended item count",
       [](TArchiveBytes& a) {
         a.Int8(2).Int8(1).Str("A").False();
         DefaultFaceColors(a);
         a.Raw({0}).Int8(0);
         DefaultFaceColors(a);
         a.Raw({0}).Int8(0).Int8(0).Int8(1).Raw({0}).F32s({k0, k0, k0, k1, k1, k1}).Str("");
         a.Int32(100000000);
       },
       "Stream read error"},
  };
  for (const TMaliciousCase& c : cases) {
    SCOPED_TRACE(c.what);
    TArchiveBytes a;
    c.build(a);
    TGLMaterialLibrary library;
    TGLLibMaterial& keep = library.Materials().Add();
    keep.SetName("Keep");
    try {
      Load(library, a.data);
      ADD_FAILURE() << "no exception";
    } catch (const EReadError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    ExpectUnchanged(library, &keep);
  }
}

TEST_F(MaterialLibraryArchive, APictureThatIsNotABitmapRaisesTheBitmapReadersErrorAndChangesNothing) {
  TArchiveBytes a;
  a.Int8(0).Int8(2).Str("Good").False();
  DefaultFaceColors(a);
  a.Str("Bad").True().Str("JUNK");
  DefaultFaceColors(a);
  TGLMaterialLibrary library;
  TGLLibMaterial& keep = library.Materials().Add();
  keep.SetName("Keep");
  EXPECT_THROW(Load(library, a.data), EInvalidGraphic);
  ExpectUnchanged(library, &keep);
}

}  // namespace
}  // namespace qira
