#pragma once
// The material library as a persistent archive: every library material with
// its colours, blending, options, texture pictures (as BMP) and texture
// parameters, written with the tagged binary writer and read back.
//
// Archive (writer: version 3; reader: versions 0 to 3):
//   version Integer, material count Integer, then per material in collection
//   order: Name String; has image Boolean [picture String, v3: texture
//   parameters]; front Ambient/Diffuse/Emission/Specular (raw 12/16/12/12);
//   v1: front Shininess (raw 1), PolygonMode, back face likewise,
//   BlendingMode, v3: blending parameters and FaceCulling, MaterialOptions
//   (size Integer + raw bytes), TextureOffset, TextureScale (raw 12 each),
//   Texture2Name String; v2: extended texture items.
//
// Picture Strings are byte strings (tag 6 or 12) holding the BMP bytes as
// they are: they bypass the code-page conversion of ordinary Strings, which
// would corrupt binary data.
//
// Reading is all-or-nothing: the whole archive (pictures decoded included)
// is checked before the library is touched, so a failure of any kind leaves
// the library exactly as it was.
#include <cstdint>
#include <string>
#include <string_view>

#include "scene/materials/Materials.h"
#include "scene/components/Persistence.h"

namespace qira {

class TBinaryStream;
class TGraphic;

inline constexpr int32_t kMaterialLibraryArchiveVersion = 3;

// The archive of one library (not owned; it must outlive the archive).
class TGLMaterialLibraryArchive : public TPersistentObject {
  QIRA_CLASS(TGLMaterialLibraryArchive, TPersistentObject)

  // Without a library, writing writes an empty library and reading raises.
  TGLMaterialLibraryArchive() = default;
  explicit TGLMaterialLibraryArchive(TGLMaterialLibrary& library) : library_(&library) {}

  TGLMaterialLibrary* Library() const { return library_; }
  void SetLibrary(TGLMaterialLibrary* library) { library_ = library; }

  // False: a load first deletes every library material. True: a stored
  // material updates the library material of the same name when there is one.
  bool MergeOnLoad() const { return mergeOnLoad_; }
  void SetMergeOnLoad(bool value) { mergeOnLoad_ = value; }

  // Version 3 with every field.
  void WriteToFiler(TVirtualWriter& writer) const override;
  // EFilerException "TGLMaterialLibrary : unknown archive version <n>" for a
  // version outside 0..3; EReadError for a short or mistyped archive, or an
  // enumeration ordinal or length out of range ("Invalid property value",
  // "Stream read error"); EInvalidGraphic for a picture that is not a valid
  // bitmap. On every failure the library is unchanged.
  void ReadFromFiler(TVirtualReader& reader) override;

 private:
  TGLMaterialLibrary* library_ = nullptr;
  bool mergeOnLoad_ = false;
};

// The library's archive into / from the stream's position (tagged binary).
void SaveToStream(const TGLMaterialLibrary& library, TBinaryStream& stream);
void LoadFromStream(TGLMaterialLibrary& library, TBinaryStream& stream, bool mergeOnLoad = false);

// A library material named `name` (made unique) whose texture is enabled,
// filters miLinearMipmapLinear / maLinear, modulates, and holds a copy of
// the graphic (null: an empty image) as a persistent image.
TGLLibMaterial& AddTextureMaterial(TGLMaterialLibrary& library, const std::string& name,
                                   const TGraphic* graphic);

// Null for a null library or a name it does not hold.
TGLLibMaterial* GetLibMaterialByName(const TGLMaterialLibrary* library, std::string_view name);

// Registers TGLMaterialLibraryArchive with the class registry.
void RegisterMaterialLibraryArchiveClasses();

}  // namespace qira
