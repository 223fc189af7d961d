// Sections:
//   Raw values
//   Writing
//   Reading into records
//   Applying records to the library
//   TGLMaterialLibraryArchive
//   Free operations, registration

#include "scene/materials/MaterialLibraryArchive.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/BinaryStream.h"
#include "platform/Picture.h"
#include "scene/materials/TextureImages.h"
#include "scene/materials/Textures.h"

namespace qira {

namespace {

// [SECTION] Raw values

constexpr const char* kStreamReadError = "Stream read error";
constexpr const char* kInvalidPropertyValue = "Invalid property value";

template <size_t N>
using TFloats = std::array<float, N>;

template <size_t N>
void WriteRawFloats(TVirtualWriter& writer, const float* values) {
  std::array<uint8_t, 4 * N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    const uint32_t bits = std::bit_cast<uint32_t>(values[i]);
    for (size_t b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  writer.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

template <size_t N>
TFloats<N> ReadRawFloats(TVirtualReader& reader) {
  std::array<uint8_t, 4 * N> bytes{};
  reader.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
  TFloats<N> values{};
  for (size_t i = 0; i < N; ++i) {
    uint32_t bits = 0;
    for (size_t b = 0; b < 4; ++b) bits |= static_cast<uint32_t>(bytes[4 * i + b]) << (8 * b);
    values[i] = std::bit_cast<float>(bits);
  }
  return values;
}

void WriteColor3(TVirtualWriter& writer, const TGLColor& color) { WriteRawFloats<3>(writer, color.Color().data()); }
void WriteColor4(TVirtualWriter& writer, const TGLColor& color) { WriteRawFloats<4>(writer, color.Color().data()); }

// A picture String: the tagged byte string with the bytes as they are.
void WriteByteString(TVirtualWriter& writer, const std::vector<uint8_t>& bytes) {
  const auto length = static_cast<int32_t>(bytes.size());
  if (length <= 255) {
    const uint8_t head[2] = {static_cast<uint8_t>(TArchiveValueType::vaString), static_cast<uint8_t>(length)};
    writer.Write(head, 2);
  } else {
    uint8_t head[5] = {static_cast<uint8_t>(TArchiveValueType::vaLString)};
    for (int b = 0; b < 4; ++b) head[1 + b] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * b));
    writer.Write(head, 5);
  }
  writer.Write(bytes.data(), length);
}

// Tags 6 and 12 (and 20, whose bytes are equally taken as they are).
std::vector<uint8_t> ReadByteString(TVirtualReader& reader) {
  const TArchiveValueType tag = reader.NextValue();
  uint8_t tagByte = 0;
  int64_t length = 0;
  if (tag == TArchiveValueType::vaString) {
    uint8_t head[2] = {};
    reader.Read(head, 2);
    length = head[1];
  } else if (tag == TArchiveValueType::vaLString || tag == TArchiveValueType::vaUTF8String) {
    reader.Read(&tagByte, 1);
    uint8_t bytes[4] = {};
    reader.Read(bytes, 4);
    length = static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
  } else {
    throw EReadError(std::string(reader.ClassName()) + ", read type error");
  }
  if (length < 0 || length > reader.Remaining()) throw EReadError(kStreamReadError);
  std::vector<uint8_t> data(static_cast<size_t>(length));
  if (length > 0) reader.Read(data.data(), static_cast<int32_t>(length));
  return data;
}

// An enumeration stored as its ordinal; an ordinal the enumeration does not
// have is refused rather than cast into an invalid value.
template <class E>
E ReadOrdinal(TVirtualReader& reader, E last) {
  const int32_t value = reader.ReadInteger();
  if (value < 0 || value > static_cast<int32_t>(last)) throw EReadError(kInvalidPropertyValue);
  return static_cast<E>(value);
}

template <class E>
void WriteOrdinal(TVirtualWriter& writer, E value) {
  writer.WriteInteger(static_cast<int32_t>(value));
}

// A count of records that take at least `minBytes` each: refused when the
// bytes left cannot hold them.
int32_t ReadCount(TVirtualReader& reader, int64_t minBytes) {
  const int32_t count = reader.ReadInteger();
  if (count < 0 || static_cast<int64_t>(count) * minBytes > reader.Remaining()) throw EReadError(kStreamReadError);
  return count;
}

// Smallest stored sizes: a version-0 material (empty name, no image, front
// colours) and an extended item without image.
constexpr int64_t kMinMaterialBytes = 2 + 1 + 12 + 16 + 12 + 12;
constexpr int64_t kMinTextureExItemBytes = 1 + 2 + 12 + 12;

// [SECTION] Writing

// The texture's picture as a graphic, when its image is a persistent image
// holding one.
const TGraphic* PersistentGraphic(const TGLTexture& texture) {
  auto* image = dynamic_cast<TGLPersistentImage*>(&texture.Image());
  if (image == nullptr || !image->HasPicture()) return nullptr;
  const TGraphic* graphic = image->Picture().Graphic();
  return graphic != nullptr && !graphic->Empty() ? graphic : nullptr;
}

void WritePicture(TVirtualWriter& writer, const TGraphic& graphic) {
  TBitmapGraphic bitmap;
  bitmap.Assign(graphic);
  TMemoryStream stream;
  bitmap.SaveToStream(stream);
  WriteByteString(writer, stream.Data());
}

void WriteTextureParameters(TVirtualWriter& writer, TGLTexture& texture) {
  writer.WriteInteger(texture.Border());
  WriteColor4(writer, texture.BorderColor());
  WriteOrdinal(writer, texture.Compression());
  WriteOrdinal(writer, texture.DepthTextureMode());
  WriteColor4(writer, texture.EnvColor());
  WriteOrdinal(writer, texture.FilteringQuality());
  WriteOrdinal(writer, texture.ImageAlpha());
  writer.WriteFloat(texture.ImageBrightness());
  writer.WriteFloat(texture.ImageGamma());
  WriteOrdinal(writer, texture.MagFilter());
  WriteOrdinal(writer, texture.MappingMode());
  WriteRawFloats<4>(writer, texture.MappingSCoordinates().AsAddress());
  WriteRawFloats<4>(writer, texture.MappingTCoordinates().AsAddress());
  WriteOrdinal(writer, texture.MinFilter());
  writer.WriteFloat(texture.NormalMapScale());
  WriteOrdinal(writer, texture.TextureCompareFunc());
  WriteOrdinal(writer, texture.TextureCompareMode());
  WriteOrdinal(writer, texture.TextureFormat());
  WriteOrdinal(writer, texture.TextureMode());
  WriteOrdinal(writer, texture.TextureWrap());
  WriteOrdinal(writer, texture.TextureWrapR());
  WriteOrdinal(writer, texture.TextureWrapS());
  WriteOrdinal(writer, texture.TextureWrapT());
}

void WriteFaceColors(TVirtualWriter& writer, const TGLFaceProperties& face) {
  WriteColor3(writer, face.Ambient());
  WriteColor4(writer, face.Diffuse());
  WriteColor3(writer, face.Emission());
  WriteColor3(writer, face.Specular());
}

void WriteShininessAndPolygonMode(TVirtualWriter& writer, const TGLFaceProperties& face) {
  const uint8_t shininess = face.Shininess();
  writer.Write(&shininess, 1);
  WriteOrdinal(writer, face.PolygonMode());
}

void WriteBlendingParameters(TVirtualWriter& writer, const TGLBlendingParameters& params) {
  writer.WriteBoolean(true);
  writer.WriteFloat(params.AlphaFuncRef());
  WriteOrdinal(writer, params.AlphaFunctType());
  WriteOrdinal(writer, params.BlendFuncDFactor());
  WriteOrdinal(writer, params.BlendFuncSFactor());
  writer.WriteBoolean(params.UseAlphaFunc());
  writer.WriteBoolean(params.UseBlendFunc());
}

void WriteTextureExItems(TVirtualWriter& writer, TGLMaterial& material) {
  const int count = material.HasTextureEx() ? material.TextureEx().Count() : 0;
  writer.WriteInteger(count);
  for (int i = 0; i < count; ++i) {
    TGLTextureExItem& item = material.TextureEx().Items(i);
    const TGraphic* graphic = PersistentGraphic(item.Texture());
    writer.WriteBoolean(graphic != nullptr);
    if (graphic != nullptr) WritePicture(writer, *graphic);
    writer.WriteInteger(item.TextureIndex());
    WriteRawFloats<3>(writer, item.TextureOffset().AsAddress());
    WriteRawFloats<3>(writer, item.TextureScale().AsAddress());
  }
}

void WriteLibMaterial(TVirtualWriter& writer, TGLLibMaterial& libMaterial) {
  TGLMaterial& material = libMaterial.Material();
  writer.WriteString(libMaterial.Name());

  const TGraphic* graphic = material.HasTexture() ? PersistentGraphic(material.Texture()) : nullptr;
  writer.WriteBoolean(graphic != nullptr);
  if (graphic != nullptr) {
    WritePicture(writer, *graphic);
    WriteTextureParameters(writer, material.Texture());
  }

  WriteFaceColors(writer, material.FrontProperties());

  WriteShininessAndPolygonMode(writer, material.FrontProperties());
  // Back properties are made on first read; an unread one has the defaults.
  const TGLFaceProperties defaultBack;
  const TGLFaceProperties& back = material.HasBackProperties() ? material.BackProperties() : defaultBack;
  WriteFaceColors(writer, back);
  WriteShininessAndPolygonMode(writer, back);
  WriteOrdinal(writer, material.BlendingMode());
  WriteBlendingParameters(writer, material.BlendingParams());
  WriteOrdinal(writer, material.FaceCulling());
  const uint8_t options = material.MaterialOptions().Bits();
  writer.WriteInteger(1);
  writer.Write(&options, 1);
  WriteRawFloats<3>(writer, libMaterial.TextureOffset().AsAddress());
  WriteRawFloats<3>(writer, libMaterial.TextureScale().AsAddress());
  writer.WriteString(libMaterial.Texture2Name());

  WriteTextureExItems(writer, material);
}

// [SECTION] Reading into records

struct TTextureParametersRecord {
  int32_t border = 0;
  TFloats<4> borderColor{};
  TGLTextureCompression compression{};
  TGLDepthTextureMode depthTextureMode{};
  TFloats<4> envColor{};
  TGLTextureFilteringQuality filteringQuality{};
  TGLTextureImageAlpha imageAlpha{};
  float imageBrightness = 1.0f;
  float imageGamma = 1.0f;
  TGLMagFilter magFilter{};
  TGLTextureMappingMode mappingMode{};
  TFloats<4> mappingS{};
  TFloats<4> mappingT{};
  TGLMinFilter minFilter{};
  float normalMapScale = 0.125f;
  TGLDepthCompareFunc compareFunc{};
  TGLTextureCompareMode compareMode{};
  TGLTextureFormat textureFormat{};
  TGLTextureMode textureMode{};
  TGLTextureWrap textureWrap{};
  TGLSeparateTextureWrap wrapR{};
  TGLSeparateTextureWrap wrapS{};
  TGLSeparateTextureWrap wrapT{};
};

struct TFaceColorsRecord {
  TFloats<3> ambient{};
  TFloats<4> diffuse{};
  TFloats<3> emission{};
  TFloats<3> specular{};
};

struct TFaceRecord {
  TFaceColorsRecord colors;
  uint8_t shininess = 0;
  TPolygonMode polygonMode{};
};

struct TBlendingParametersRecord {
  float alphaFuncRef = 0.0f;
  TGlAlphaFunc alphaFunctType{};
  TGLBlendFuncFactor blendFuncDFactor{};
  TGLBlendFuncFactor blendFuncSFactor{};
  bool useAlphaFunc = false;
  bool useBlendFunc = true;
};

// The fields of version 1 and later.
struct TMaterialPropertiesRecord {
  uint8_t frontShininess = 0;
  TPolygonMode frontPolygonMode{};
  TFaceRecord back;
  TBlendingMode blendingMode{};
  std::optional<TBlendingParametersRecord> blendingParams;  // version 3
  std::optional<TFaceCulling> faceCulling;                  // version 3
  uint8_t materialOptions = 0;
  TFloats<3> textureOffset{};
  TFloats<3> textureScale{};
  std::string texture2Name;
};

struct TTextureExItemRecord {
  std::unique_ptr<TBitmapGraphic> picture;
  int32_t textureIndex = 0;
  TFloats<3> textureOffset{};
  TFloats<3> textureScale{};
};

struct TLibMaterialRecord {
  std::string name;
  std::unique_ptr<TBitmapGraphic> picture;
  std::optional<TTextureParametersRecord> textureParameters;  // version 3 with a picture
  TFaceColorsRecord front;
  std::optional<TMaterialPropertiesRecord> properties;  // version 1
  std::vector<TTextureExItemRecord> textureExItems;     // version 2
};

// Raises EInvalidGraphic for bytes that are not a valid bitmap.
std::unique_ptr<TBitmapGraphic> ReadPicture(TVirtualReader& reader) {
  const std::vector<uint8_t> bytes = ReadByteString(reader);
  TMemoryStream stream(bytes);
  auto bitmap = std::make_unique<TBitmapGraphic>();
  bitmap->LoadFromStream(stream);
  return bitmap;
}

TTextureParametersRecord ReadTextureParameters(TVirtualReader& reader) {
  TTextureParametersRecord r;
  r.border = reader.ReadInteger();
  r.borderColor = ReadRawFloats<4>(reader);
  r.compression = ReadOrdinal(reader, TGLTextureCompression::tcHighSpeed);
  r.depthTextureMode = ReadOrdinal(reader, TGLDepthTextureMode::dtmAlpha);
  r.envColor = ReadRawFloats<4>(reader);
  r.filteringQuality = ReadOrdinal(reader, TGLTextureFilteringQuality::tfAnisotropic);
  r.imageAlpha = ReadOrdinal(reader, TGLTextureImageAlpha::tiaBottomRightPointColorTransparent);
  r.imageBrightness = ToSingle(reader.ReadFloat());
  r.imageGamma = ToSingle(reader.ReadFloat());
  r.magFilter = ReadOrdinal(reader, TGLMagFilter::maLinear);
  r.mappingMode = ReadOrdinal(reader, TGLTextureMappingMode::tmmCubeMapCamera);
  r.mappingS = ReadRawFloats<4>(reader);
  r.mappingT = ReadRawFloats<4>(reader);
  r.minFilter = ReadOrdinal(reader, miLinearMipmapLinear);
  r.normalMapScale = ToSingle(reader.ReadFloat());
  r.compareFunc = ReadOrdinal(reader, TGLDepthCompareFunc::dcfNever);
  r.compareMode = ReadOrdinal(reader, TGLTextureCompareMode::tcmCompareRtoTexture);
  r.textureFormat = ReadOrdinal(reader, TGLTextureFormat::tfDEPTH_COMPONENT32);
  r.textureMode = ReadOrdinal(reader, TGLTextureMode::tmAdd);
  r.textureWrap = ReadOrdinal(reader, TGLTextureWrap::twSeparate);
  r.wrapR = ReadOrdinal(reader, TGLSeparateTextureWrap::twMirrorClampToBorder);
  r.wrapS = ReadOrdinal(reader, TGLSeparateTextureWrap::twMirrorClampToBorder);
  r.wrapT = ReadOrdinal(reader, TGLSeparateTextureWrap::twMirrorClampToBorder);
  return r;
}

TFaceColorsRecord ReadFaceColors(TVirtualReader& reader) {
  TFaceColorsRecord r;
  r.ambient = ReadRawFloats<3>(reader);
  r.diffuse = ReadRawFloats<4>(reader);
  r.emission = ReadRawFloats<3>(reader);
  r.specular = ReadRawFloats<3>(reader);
  return r;
}

uint8_t ReadRawByte(TVirtualReader& reader) {
  uint8_t value = 0;
  reader.Read(&value, 1);
  return value;
}

TBlendingParametersRecord ReadBlendingParameters(TVirtualReader& reader) {
  TBlendingParametersRecord r;
  r.alphaFuncRef = ToSingle(reader.ReadFloat());
  r.alphaFunctType = ReadOrdinal(reader, TGlAlphaFunc::af_GL_ALWAYS);
  r.blendFuncDFactor = ReadOrdinal(reader, TGLBlendFuncFactor::bff_GL_ONE_MINUS_CONSTANT_ALPHA);
  r.blendFuncSFactor = ReadOrdinal(reader, TGLBlendFuncFactor::bff_GL_ONE_MINUS_CONSTANT_ALPHA);
  r.useAlphaFunc = reader.ReadBoolean();
  r.useBlendFunc = reader.ReadBoolean();
  return r;
}

// The set's stored bytes, little-endian; only the bits of known options count.
uint8_t ReadMaterialOptions(TVirtualReader& reader) {
  const int32_t size = reader.ReadInteger();
  if (size < 0 || size > reader.Remaining()) throw EReadError(kStreamReadError);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0) reader.Read(bytes.data(), size);
  const uint8_t known = static_cast<uint8_t>(TMaterialOption::moIgnoreFog) | static_cast<uint8_t>(TMaterialOption::moNoLighting);
  return size > 0 ? static_cast<uint8_t>(bytes[0] & known) : 0;
}

TMaterialPropertiesRecord ReadMaterialProperties(TVirtualReader& reader, int32_t version) {
  TMaterialPropertiesRecord r;
  r.frontShininess = ReadRawByte(reader);
  r.frontPolygonMode = ReadOrdinal(reader, TPolygonMode::pmPoints);
  r.back.colors = ReadFaceColors(reader);
  r.back.shininess = ReadRawByte(reader);
  r.back.polygonMode = ReadOrdinal(reader, TPolygonMode::pmPoints);
  r.blendingMode = ReadOrdinal(reader, TBlendingMode::bmCustom);
  if (version >= 3) {
    if (reader.ReadBoolean()) r.blendingParams = ReadBlendingParameters(reader);
    r.faceCulling = ReadOrdinal(reader, TFaceCulling::fcNoCull);
  }
  r.materialOptions = ReadMaterialOptions(reader);
  r.textureOffset = ReadRawFloats<3>(reader);
  r.textureScale = ReadRawFloats<3>(reader);
  r.texture2Name = reader.ReadString();
  return r;
}

std::vector<TTextureExItemRecord> ReadTextureExItems(TVirtualReader& reader) {
  const int32_t count = ReadCount(reader, kMinTextureExItemBytes);
  std::vector<TTextureExItemRecord> items(static_cast<size_t>(count));
  for (TTextureExItemRecord& item : items) {
    if (reader.ReadBoolean()) item.picture = ReadPicture(reader);
    item.textureIndex = reader.ReadInteger();
    item.textureOffset = ReadRawFloats<3>(reader);
    item.textureScale = ReadRawFloats<3>(reader);
  }
  return items;
}

TLibMaterialRecord ReadLibMaterial(TVirtualReader& reader, int32_t version) {
  TLibMaterialRecord r;
  r.name = reader.ReadString();
  if (reader.ReadBoolean()) {
    r.picture = ReadPicture(reader);
    if (version >= 3) r.textureParameters = ReadTextureParameters(reader);
  }
  r.front = ReadFaceColors(reader);
  if (version >= 1) r.properties = ReadMaterialProperties(reader, version);
  if (version >= 2) r.textureExItems = ReadTextureExItems(reader);
  return r;
}

// [SECTION] Applying records to the library

TVector WithRgb(TVector color, const TFloats<3>& rgb) {
  color.x = rgb[0];
  color.y = rgb[1];
  color.z = rgb[2];
  return color;
}

TVector AsVector(const TFloats<4>& v) { return TVector{v[0], v[1], v[2], v[3]}; }

// Colours go straight into their storage, as stored archives expect: no
// per-colour notification (the material is told once at the end).
void ApplyFaceColors(TGLFaceProperties& face, const TFaceColorsRecord& r) {
  face.Ambient().SetDirectColor(WithRgb(face.Ambient().Color(), r.ambient));
  face.Diffuse().SetDirectColor(AsVector(r.diffuse));
  face.Emission().SetDirectColor(WithRgb(face.Emission().Color(), r.emission));
  face.Specular().SetDirectColor(WithRgb(face.Specular().Color(), r.specular));
}

void ApplyTextureParameters(TGLTexture& texture, const TTextureParametersRecord& r) {
  texture.SetBorder(r.border);
  texture.SetBorderColor(TGLColor(nullptr, AsVector(r.borderColor)));
  texture.SetCompression(r.compression);
  texture.SetDepthTextureMode(r.depthTextureMode);
  texture.SetEnvColor(TGLColor(nullptr, AsVector(r.envColor)));
  texture.SetFilteringQuality(r.filteringQuality);
  texture.SetImageAlpha(r.imageAlpha);
  texture.SetImageBrightness(r.imageBrightness);
  texture.SetImageGamma(r.imageGamma);
  texture.SetMagFilter(r.magFilter);
  texture.SetMappingMode(r.mappingMode);
  texture.SetMappingSCoordinates(TGLCoordinates4(nullptr, AsVector(r.mappingS), TGLCoordinatesStyle::cstVector));
  texture.SetMappingTCoordinates(TGLCoordinates4(nullptr, AsVector(r.mappingT), TGLCoordinatesStyle::cstVector));
  texture.SetMinFilter(r.minFilter);
  texture.SetNormalMapScale(r.normalMapScale);
  texture.SetTextureCompareFunc(r.compareFunc);
  texture.SetTextureCompareMode(r.compareMode);
  texture.SetTextureFormat(r.textureFormat);
  texture.SetTextureMode(r.textureMode);
  texture.SetTextureWrap(r.textureWrap);
  texture.SetTextureWrapR(r.wrapR);
  texture.SetTextureWrapS(r.wrapS);
  texture.SetTextureWrapT(r.wrapT);
}

void ApplyTransform(TGLCoordinates3& coordinates, const TFloats<3>& xyz) {
  coordinates.SetDirectVector(WithRgb(coordinates.AsVector(), xyz));
}

void ApplyMaterialProperties(TGLLibMaterial& target, const TMaterialPropertiesRecord& r) {
  TGLMaterial& material = target.Material();
  material.FrontProperties().SetShininess(r.frontShininess);
  material.FrontProperties().SetPolygonMode(r.frontPolygonMode);
  TGLFaceProperties& back = material.BackProperties();
  ApplyFaceColors(back, r.back.colors);
  back.SetShininess(r.back.shininess);
  back.SetPolygonMode(r.back.polygonMode);
  material.SetBlendingMode(r.blendingMode);
  if (r.blendingParams) {
    TGLBlendingParameters& params = material.BlendingParams();
    params.SetAlphaFuncRef(r.blendingParams->alphaFuncRef);
    params.SetAlphaFunctType(r.blendingParams->alphaFunctType);
    params.SetBlendFuncDFactor(r.blendingParams->blendFuncDFactor);
    params.SetBlendFuncSFactor(r.blendingParams->blendFuncSFactor);
    params.SetUseAlphaFunc(r.blendingParams->useAlphaFunc);
    params.SetUseBlendFunc(r.blendingParams->useBlendFunc);
  }
  if (r.faceCulling) material.SetFaceCulling(*r.faceCulling);
  TMaterialOptions options;
  for (TMaterialOption option : {TMaterialOption::moIgnoreFog, TMaterialOption::moNoLighting})
    if (r.materialOptions & static_cast<uint8_t>(option)) options.Include(option);
  material.SetMaterialOptions(options);
  ApplyTransform(target.TextureOffset(), r.textureOffset);
  ApplyTransform(target.TextureScale(), r.textureScale);
  target.CalculateTextureMatrix();
  target.SetTexture2Name(r.texture2Name);
}

void ApplyTextureExItem(TGLMaterial& material, const TTextureExItemRecord& r) {
  TGLTextureExItem& item = material.TextureEx().Add();
  if (r.picture) {
    item.Texture().Assign(static_cast<const TGraphic*>(r.picture.get()));
    item.Texture().SetEnabled(true);
  }
  item.SetTextureIndex(r.textureIndex);
  ApplyTransform(item.TextureOffset(), r.textureOffset);
  ApplyTransform(item.TextureScale(), r.textureScale);
  item.CalculateTextureMatrix();
}

void ApplyLibMaterial(TGLMaterialLibrary& library, bool mergeOnLoad, const TLibMaterialRecord& r) {
  TGLLibMaterial* target = mergeOnLoad ? library.GetLibMaterialByName(r.name) : nullptr;
  if (r.picture) {
    if (target != nullptr)
      target->Material().Texture().Assign(static_cast<const TGraphic*>(r.picture.get()));
    else
      target = &AddTextureMaterial(library, r.name, r.picture.get());
    if (r.textureParameters) ApplyTextureParameters(target->Material().Texture(), *r.textureParameters);
  } else if (target == nullptr) {
    target = &library.Materials().Add();
    target->SetName(r.name);
  }
  TGLMaterial& material = target->Material();
  ApplyFaceColors(material.FrontProperties(), r.front);
  if (r.properties) ApplyMaterialProperties(*target, *r.properties);
  for (const TTextureExItemRecord& item : r.textureExItems) ApplyTextureExItem(material, item);
  material.NotifyChange(&material);
}

}  // namespace

// [SECTION] TGLMaterialLibraryArchive

void TGLMaterialLibraryArchive::WriteToFiler(TVirtualWriter& writer) const {
  TPersistentObject::WriteToFiler(writer);
  writer.WriteInteger(kMaterialLibraryArchiveVersion);
  const int count = library_ != nullptr ? library_->Materials().Count() : 0;
  writer.WriteInteger(count);
  for (int i = 0; i < count; ++i) WriteLibMaterial(writer, library_->Materials().Items(i));
}

void TGLMaterialLibraryArchive::ReadFromFiler(TVirtualReader& reader) {
  TPersistentObject::ReadFromFiler(reader);
  if (library_ == nullptr) throw Exception("TGLMaterialLibraryArchive: no library");
  const int32_t version = reader.ReadInteger();
  if (version < 0 || version > kMaterialLibraryArchiveVersion)
    qira::RaiseFilerException(TGLMaterialLibrary::StaticClass(), version);

  const int32_t count = ReadCount(reader, kMinMaterialBytes);
  std::vector<TLibMaterialRecord> records;
  for (int32_t i = 0; i < count; ++i) records.push_back(ReadLibMaterial(reader, version));

  TGLLibMaterials& materials = library_->Materials();
  materials.BeginUpdate();
  try {
    if (!mergeOnLoad_) materials.Clear();
    for (const TLibMaterialRecord& record : records) ApplyLibMaterial(*library_, mergeOnLoad_, record);
  } catch (...) {
    materials.EndUpdate();
    throw;
  }
  materials.EndUpdate();
}

// [SECTION] Free operations, registration

void SaveToStream(const TGLMaterialLibrary& library, TBinaryStream& stream) {
  TGLMaterialLibraryArchive archive(const_cast<TGLMaterialLibrary&>(library));
  archive.SaveToStream(stream);
}

void LoadFromStream(TGLMaterialLibrary& library, TBinaryStream& stream, bool mergeOnLoad) {
  TGLMaterialLibraryArchive archive(library);
  archive.SetMergeOnLoad(mergeOnLoad);
  archive.LoadFromStream(stream);
}

TGLLibMaterial& AddTextureMaterial(TGLMaterialLibrary& library, const std::string& name, const TGraphic* graphic) {
  TGLLibMaterial& libMaterial = library.Materials().Add();
  libMaterial.SetName(name);
  TGLTexture& texture = libMaterial.Material().Texture();
  texture.SetMinFilter(miLinearMipmapLinear);
  texture.SetMagFilter(TGLMagFilter::maLinear);
  texture.SetTextureMode(TGLTextureMode::tmModulate);
  texture.SetDisabled(false);
  texture.Assign(graphic);
  return libMaterial;
}

TGLLibMaterial* GetLibMaterialByName(const TGLMaterialLibrary* library, std::string_view name) {
  return library != nullptr ? library->GetLibMaterialByName(name) : nullptr;
}

void RegisterMaterialLibraryArchiveClasses() { RegisterClass(TGLMaterialLibraryArchive::StaticClass()); }

}  // namespace qira
