// Materials, textures, their images and the material library in a component
// stream: what each publishes comes back, what its rules leave out is not
// written, damage changes nothing.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Picture.h"
#include "scene/components/ComponentStreams.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/materials/Materials.h"
#include "scene/materials/TextureImages.h"
#include "scene/materials/Textures.h"
#include "support/PublishedPropertiesTable.h"

namespace qira {
namespace {

TGLMaterial& AddSolid(TStreamForm& form) {
  auto& scene = form.AddComponent<TGL3DScene>();
  scene.SetName("Scene");
  auto& solid = scene.Objects().AddNewChild<TGL3DSceneObject>();
  solid.SetName("Solid");
  return dynamic_cast<TGLMaterial&>(solid.Material());
}

TGLMaterial& SolidMaterial(TStreamForm& form) {
  return dynamic_cast<TGLMaterial&>(FindStreamed<TGL3DSceneObject>(form, "Solid").Material());
}

std::string FaceText(const TGLFaceProperties& f) {
  std::ostringstream out;
  out << VectorText(f.Ambient().Color()) << "|" << VectorText(f.Diffuse().Color()) << "|" << VectorText(f.Specular().Color()) << "|"
      << VectorText(f.Emission().Color()) << "|" << static_cast<int>(f.PolygonMode()) << " " << int{f.Shininess()};
  return out.str();
}

std::string TextureText(TGLTexture& t) {
  std::ostringstream out;
  out << t.ImageClassName() << " " << t.Disabled() << " " << t.ImageBrightness() << " " << t.ImageGamma() << " "
      << t.NormalMapScale() << " " << static_cast<int>(t.MinFilter()) << static_cast<int>(t.MagFilter())
      << static_cast<int>(t.TextureMode()) << static_cast<int>(t.TextureWrap())
      << static_cast<int>(t.TextureFormat()) << static_cast<int>(t.Compression())
      << static_cast<int>(t.FilteringQuality()) << static_cast<int>(t.MappingMode())
      << static_cast<int>(t.ImageAlpha()) << static_cast<int>(t.TextureWrapS())
      << static_cast<int>(t.TextureCompareMode()) << static_cast<int>(t.TextureCompareFunc())
      << static_cast<int>(t.DepthTextureMode()) << " " << t.Border() << " " << VectorText(t.EnvColor().Color()) << " "
      << VectorText(t.BorderColor().Color()) << " "
      << (t.HasMappingSCoordinates() ? VectorText(t.MappingSCoordinates().AsVector()) : "-") << " "
      << t.Image().GetWidth() << "x" << t.Image().GetHeight();
  if (auto* picture = dynamic_cast<TGLPersistentImage*>(&t.Image()); picture && picture->HasPicture()) {
    if (!picture->Picture().Empty()) out << " " << picture->Picture().Graphic()->ToImage().pixel(1, 0);
  }
  if (auto* file = dynamic_cast<TGLPicFileImage*>(&t.Image())) out << " " << file->PictureFileName();
  return out.str();
}

std::string MaterialText(TGLMaterial& m) {
  std::ostringstream out;
  out << FaceText(m.FrontProperties()) << " back " << (m.HasBackProperties() ? FaceText(m.BackProperties()) : "-")
      << " " << static_cast<int>(m.BlendingMode()) << " " << m.BlendingParams().UseAlphaFunc()
      << m.BlendingParams().UseBlendFunc() << static_cast<int>(m.BlendingParams().AlphaFunctType()) << " "
      << m.BlendingParams().AlphaFuncRef() << " " << static_cast<int>(m.BlendingParams().BlendFuncSFactor())
      << static_cast<int>(m.BlendingParams().BlendFuncDFactor()) << " " << int{m.MaterialOptions().Bits()} << " "
      << static_cast<int>(m.FaceCulling()) << " texture " << (m.HasTexture() ? TextureText(m.Texture()) : "-");
  if (m.HasTextureEx()) {
    for (int i = 0; i < m.TextureEx().Count(); ++i) {
      TGLTextureExItem& item = m.TextureEx().Items(i);
      out << " ex " << item.TextureIndex() << " " << VectorText(item.TextureOffset().AsVector()) << " "
          << VectorText(item.TextureScale().AsVector()) << " " << TextureText(item.Texture());
    }
  }
  return out.str();
}

// A cube map's faces and a float-data image's size, for the case below.
std::string ImageText(TGLTexture& t) {
  std::ostringstream out;
  out << t.ImageClassName();
  if (auto* cube = dynamic_cast<TGLCubeMapImage*>(&t.Image())) {
    for (int face = cmtPX; face <= cmtNZ; ++face) {
      const TPicture& picture = cube->Picture(static_cast<TGLCubeMapFace>(face));
      out << " " << picture.Width() << "x" << picture.Height();
      if (!picture.Empty()) out << ":" << picture.Graphic()->ToImage().pixel(1, 0);
    }
  }
  if (auto* sized = dynamic_cast<TGLFloatDataImage*>(&t.Image())) out << " " << sized->Width() << "x" << sized->Height();
  return out.str();
}

QImage Pixels() {
  QImage image(2, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(10, 20, 30));
  image.setPixel(1, 0, qRgb(200, 100, 50));
  return image;
}

const std::vector<TPublishedCase>& Cases() {
  static const std::vector<TPublishedCase> cases = {
      {"material of its own",
       [](TStreamForm& f) { AddSolid(f); },
       [](TStreamForm& f) {
         TGLMaterial& m = SolidMaterial(f);
         m.FrontProperties().Diffuse().SetColor({0.9f, 0.1f, 0.1f, 1.0f});
         m.FrontProperties().SetShininess(64);
         m.FrontProperties().SetPolygonMode(TPolygonMode::pmLines);
         m.BackProperties().Emission().SetColor({0.0f, 0.0f, 0.5f, 1.0f});
         m.SetBlendingMode(TBlendingMode::bmCustom);
         m.BlendingParams().SetUseAlphaFunc(true);
         m.BlendingParams().SetUseBlendFunc(false);
         m.BlendingParams().SetAlphaFuncRef(0.5f);
         m.BlendingParams().SetBlendFuncDFactor(TGLBlendFuncFactor::bff_GL_ONE);
         m.SetMaterialOptions({TMaterialOption::moNoLighting});
         m.SetFaceCulling(TFaceCulling::fcNoCull);
         TGLTexture& t = m.Texture();
         t.SetDisabled(false);
         t.SetImageBrightness(2.0f);
         t.SetImageGamma(0.5f);
         t.SetNormalMapScale(0.25f);
         t.SetMinFilter(miNearest);
         t.SetTextureMode(TGLTextureMode::tmModulate);
         t.SetMappingMode(TGLTextureMappingMode::tmmObjectLinear);
         t.MappingSCoordinates().SetVector(0.0f, 2.0f, 0.0f, 1.0f);
         t.EnvColor().SetColor({1.0f, 1.0f, 0.0f, 1.0f});
         t.SetBorder(1);
         t.Assign(std::make_unique<TBitmapGraphic>(Pixels()).get());
         TGLTextureExItem& item = m.TextureEx().Add();
         item.SetTextureIndex(1);
         item.TextureOffset().SetVector(0.5f, 0.0f, 0.0f);
         item.Texture().SetImageClassName("TGLBlankImage");
         dynamic_cast<TGLBlankImage&>(item.Texture().Image()).SetWidth(64);
       },
       [](TStreamForm& f) { return MaterialText(SolidMaterial(f)); },
       {"Material.BackProperties.Ambient.Color", "Material.FrontProperties.Shininess",
        "Material.FrontProperties.PolygonMode", "Material.BlendingMode", "Material.BlendingParams.UseAlphaFunc",
        "Material.BlendingParams.AlphaFuncRef", "Material.MaterialOptions", "Material.FaceCulling",
        "Material.Texture.Disabled", "Material.TextureEx", "Material.LibMaterialName", "Material.MaterialLibrary"},
       {{"Material.Texture.ImageGamma", {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
        {"Material.BlendingMode", {2, 7}},
        {"Material.Texture.Image.Picture.Data", {10, 5, 0, 0, 0, 4, 'T', 'B', 'm', 'p'}}}},
      {"texture with its defaults",
       [](TStreamForm& f) {
         TGLMaterial& m = AddSolid(f);
         m.Texture();
         m.TextureEx();  // made, but without items
       },
       [](TStreamForm& f) {
         TGLTexture& t = SolidMaterial(f).Texture();
         t.SetImageClassName("TGLPicFileImage");
         dynamic_cast<TGLPicFileImage&>(t.Image()).SetPictureFileName("wood.bmp");
       },
       [](TStreamForm& f) { return MaterialText(SolidMaterial(f)); },
       {"Material.Texture.ImageBrightness", "Material.Texture.ImageGamma", "Material.Texture.NormalMapScale",
        "Material.Texture.ImageClassName", "Material.Texture.Image.Picture.Data", "Material.TextureEx"},
       {{"Material.Texture.ImageClassName", {6, 15, 'T', 'G', 'L', 'P', 'i', 'c', 'F', 'i', 'l', 'e', 'I', 'm', 'a',
                                             'g', 'f'}}}},
      {"cube-map and float-data images",
       [](TStreamForm& f) {
         AddSolid(f).Texture().SetImageClassName("TGLCubeMapImage");
         auto& floor = FindStreamed<TGL3DScene>(f, "Scene").Objects().AddNewChild<TGL3DSceneObject>();
         floor.SetName("Floor");
         dynamic_cast<TGLMaterial&>(floor.Material()).Texture().SetImageClassName("TGLFloatDataImage");
       },
       [](TStreamForm& f) {
         auto& cube = dynamic_cast<TGLCubeMapImage&>(SolidMaterial(f).Texture().Image());
         cube.PicturePX().SetGraphic(std::make_unique<TBitmapGraphic>(Pixels()));
         cube.PictureNZ().SetGraphic(std::make_unique<TBitmapGraphic>(Pixels().mirrored(true, false)));
         auto& floor = dynamic_cast<TGLMaterial&>(FindStreamed<TGL3DSceneObject>(f, "Floor").Material());
         auto& data = dynamic_cast<TGLFloatDataImage&>(floor.Texture().Image());
         data.SetWidth(32);
         data.SetHeight(16);
       },
       [](TStreamForm& f) {
         auto& floor = dynamic_cast<TGLMaterial&>(FindStreamed<TGL3DSceneObject>(f, "Floor").Material());
         return ImageText(SolidMaterial(f).Texture()) + " | " + ImageText(floor.Texture());
       },
       {"Material.Texture.Image.PicturePX.Data", "Material.Texture.Image.PictureNX.Data",
        "Material.Texture.Image.PicturePY.Data", "Material.Texture.Image.PictureNY.Data",
        "Material.Texture.Image.PicturePZ.Data", "Material.Texture.Image.PictureNZ.Data",
        "Material.Texture.Image.Width", "Material.Texture.Image.Height"}},
      {"material library without materials",
       [](TStreamForm& f) { f.AddComponent<TGLMaterialLibrary>().SetName("Library"); },
       [](TStreamForm& f) { FindStreamed<TGLMaterialLibrary>(f, "Library").Materials().Add().SetName("Stone"); },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         return std::to_string(library.Materials().Count()) + library.TexturePaths();
       },
       {"Materials", "TexturePaths"}},
      {"material linked to a library",
       [](TStreamForm& f) {
         auto& library = f.AddComponent<TGLMaterialLibrary>();
         library.SetName("Library");
         TGLLibMaterial& brick = library.Materials().Add();
         brick.SetName("Brick");
         brick.Material().FrontProperties().Diffuse().SetColor({0.6f, 0.3f, 0.1f, 1.0f});
         TGLMaterial& m = AddSolid(f);
         m.FrontProperties().Diffuse().SetColor({0.0f, 1.0f, 0.0f, 1.0f});  // not stored while linked
         m.SetBlendingMode(TBlendingMode::bmAdditive);
         m.SetMaterialLibrary(&library);
         m.SetLibMaterialName("Brick");
       },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         library.SetTexturePaths("textures;more");
         TGLLibMaterial& brick = library.Materials().Items(0);
         brick.Tag = 3;
         brick.TextureScale().SetVector(2.0f, 2.0f, 1.0f);
         brick.SetTexture2Name("Detail");
         library.Materials().Add().SetName("Detail");
       },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         TGLMaterial& m = SolidMaterial(f);
         std::ostringstream out;
         out << library.TexturePaths() << " " << library.Materials().Count() << " ";
         for (int i = 0; i < library.Materials().Count(); ++i) {
           TGLLibMaterial& lm = library.Materials().Items(i);
           out << lm.Name() << " " << lm.Tag << " " << VectorText(lm.TextureScale().AsVector()) << " " << lm.Texture2Name()
               << " " << MaterialText(lm.Material()) << ";";
         }
         out << (m.MaterialLibrary() ? m.MaterialLibrary()->Name() : "-") << " " << m.LibMaterialName() << " "
             << (m.LibMaterial() ? m.LibMaterial()->Name() : "-") << " "
             << FaceText(m.EffectiveMaterial().FrontProperties());
         return out.str();
       },
       // The object's own face properties are left out too (see below); the
       // library material's have the same names.
       {"Material.BlendingMode", "TexturePaths", "Tag", "Texture2Name"}},
  };
  return cases;
}

class MaterialStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterCustomSceneObjectClasses();
    RegisterSceneClasses();
    RegisterMaterialClasses();
    RegisterTextureImageClasses();
  }
  static void TearDownTestSuite() { SetSceneObjectMaterialFactory({}); }  // other tests expect the base material
};

QIRA_PUBLISHED_PROPERTY_TESTS(MaterialStreams, Cases)

TEST_F(MaterialStreams, ALinkedMaterialLeavesItsFacePropertiesToTheLibrary) {
  const TPublishedCase& linked = Cases().back();
  TStreamForm form;
  linked.add(form);
  const std::vector<uint8_t> name = StoredName("Material.FrontProperties.Diffuse.Color");
  const auto count = [&name](const std::vector<uint8_t>& bytes) {
    int n = 0;
    for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), name.begin(), name.end())) != bytes.end(); ++it) ++n;
    return n;
  };
  EXPECT_EQ(count(WriteComponentToBytes(form)), 1);  // the library material's alone
  SolidMaterial(form).SetLibMaterialName("");        // unlinked, the object's own are written
  EXPECT_EQ(count(WriteComponentToBytes(form)), 2);
}

}  // namespace
}  // namespace qira
