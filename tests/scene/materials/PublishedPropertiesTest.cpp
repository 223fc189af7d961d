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
#include "scene/graph/RenderContextInfo.h"
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
      << static_cast<int>(t.ImageAlpha()) << static_cast<int>(t.TextureWrapS()) << static_cast<int>(t.TextureWrapT())
      << static_cast<int>(t.TextureWrapR()) << static_cast<int>(t.TextureCompareMode())
      << static_cast<int>(t.TextureCompareFunc())
      << static_cast<int>(t.DepthTextureMode()) << " " << t.Border() << " " << VectorText(t.EnvColor().Color()) << " "
      << VectorText(t.BorderColor().Color()) << " "
      << (t.HasMappingSCoordinates() ? VectorText(t.MappingSCoordinates().AsVector()) : "-") << " "
      << (t.HasMappingTCoordinates() ? VectorText(t.MappingTCoordinates().AsVector()) : "-") << " "
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

// Every property of a face, away from its default.
void ChangeFace(TGLFaceProperties& f, float shade) {
  f.Ambient().SetColor({shade, 0.1f, 0.1f, 1.0f});
  f.Diffuse().SetColor({0.9f, shade, 0.1f, 1.0f});
  f.Specular().SetColor({0.5f, 0.5f, shade, 1.0f});
  f.Emission().SetColor({0.0f, 0.0f, shade, 1.0f});
  f.SetShininess(64);
  f.SetPolygonMode(TPolygonMode::pmLines);
}

// Every property of a texture but its image, away from its default (the
// three wraps apart, so that one read into another's setter shows).
void ChangeTexture(TGLTexture& t) {
  t.SetImageAlpha(TGLTextureImageAlpha::tiaOpaque);
  t.SetImageBrightness(2.0f);
  t.SetImageGamma(0.5f);
  t.SetMagFilter(TGLMagFilter::maNearest);
  t.SetMinFilter(miNearest);
  t.SetTextureMode(TGLTextureMode::tmModulate);
  t.SetTextureWrap(TGLTextureWrap::twSeparate);
  t.SetTextureFormat(TGLTextureFormat::tfLuminance);
  t.SetCompression(TGLTextureCompression::tcStandard);
  t.SetFilteringQuality(TGLTextureFilteringQuality::tfAnisotropic);
  t.SetMappingMode(TGLTextureMappingMode::tmmObjectLinear);
  t.MappingSCoordinates().SetVector(0.0f, 2.0f, 0.0f, 1.0f);
  t.MappingTCoordinates().SetVector(0.0f, 0.0f, 3.0f, 1.0f);
  t.SetDisabled(false);
  t.EnvColor().SetColor({1.0f, 1.0f, 0.0f, 1.0f});
  t.BorderColor().SetColor({0.0f, 1.0f, 1.0f, 0.5f});
  t.SetNormalMapScale(0.25f);
  t.SetTextureWrapS(TGLSeparateTextureWrap::twClamp);
  t.SetTextureWrapT(TGLSeparateTextureWrap::twMirrorRepeat);
  t.SetTextureWrapR(TGLSeparateTextureWrap::twClampToBorder);
  t.SetTextureCompareMode(TGLTextureCompareMode::tcmCompareRtoTexture);
  t.SetTextureCompareFunc(TGLDepthCompareFunc::dcfGreater);
  t.SetDepthTextureMode(TGLDepthTextureMode::dtmAlpha);
  t.SetBorder(1);
}

// Every property of a material of its own but its texture's image, away
// from its default; one texture unit more, whose texture is a blank image.
void ChangeMaterial(TGLMaterial& m) {
  ChangeFace(m.FrontProperties(), 0.3f);
  ChangeFace(m.BackProperties(), 0.6f);
  m.SetBlendingMode(TBlendingMode::bmCustom);
  TGLBlendingParameters& b = m.BlendingParams();
  b.SetUseAlphaFunc(true);
  b.SetUseBlendFunc(false);
  b.SetAlphaFunctType(TGlAlphaFunc::af_GL_LESS);
  b.SetAlphaFuncRef(0.5f);
  b.SetBlendFuncSFactor(TGLBlendFuncFactor::bff_GL_DST_ALPHA);
  b.SetBlendFuncDFactor(TGLBlendFuncFactor::bff_GL_ONE);
  m.SetMaterialOptions({TMaterialOption::moNoLighting, TMaterialOption::moIgnoreFog});
  m.SetFaceCulling(TFaceCulling::fcNoCull);
  ChangeTexture(m.Texture());
  TGLTextureExItem& item = m.TextureEx().Add();
  item.SetTextureIndex(1);
  item.TextureOffset().SetVector(0.5f, 0.0f, 0.0f);
  item.TextureScale().SetVector(2.0f, 1.0f, 1.0f);
  ChangeTexture(item.Texture());
  item.Texture().SetImageClassName("TGLBlankImage");
  dynamic_cast<TGLBlankImage&>(item.Texture().Image()).SetWidth(64);
  dynamic_cast<TGLBlankImage&>(item.Texture().Image()).SetHeight(32);
}

// What a material of its own leaves out with its defaults.
const std::vector<std::string> kMaterialDefaultsLeftOut = {
    "Material.FrontProperties.Shininess", "Material.FrontProperties.PolygonMode", "Material.BlendingMode",
    "Material.BlendingParams.UseAlphaFunc", "Material.BlendingParams.UseBlendFunc",
    "Material.BlendingParams.AlphaFunctType", "Material.BlendingParams.AlphaFuncRef",
    "Material.BlendingParams.BlendFuncSFactor", "Material.BlendingParams.BlendFuncDFactor", "Material.MaterialOptions",
    "Material.FaceCulling", "Material.TextureEx", "Material.LibMaterialName", "Material.MaterialLibrary"};
// And a texture made but left at its defaults.
const std::vector<std::string> kTextureDefaultsLeftOut = {
    "Material.Texture.ImageAlpha", "Material.Texture.ImageBrightness", "Material.Texture.ImageGamma",
    "Material.Texture.MagFilter", "Material.Texture.MinFilter", "Material.Texture.TextureMode",
    "Material.Texture.TextureWrap", "Material.Texture.TextureFormat", "Material.Texture.Compression",
    "Material.Texture.FilteringQuality", "Material.Texture.MappingMode", "Material.Texture.Disabled",
    "Material.Texture.NormalMapScale", "Material.Texture.TextureWrapS", "Material.Texture.TextureWrapT",
    "Material.Texture.TextureWrapR", "Material.Texture.TextureCompareMode", "Material.Texture.TextureCompareFunc",
    "Material.Texture.DepthTextureMode", "Material.Texture.Border"};

// A solid's node properties and hint (the graph's table changes them) and
// the link to a library (the last case).
std::vector<std::string> SolidPropertiesElsewhere(const std::string& solid) {
  return Joined(NodePropertiesOf(solid), {"Scene", solid + ".Hint", solid + ".Material.MaterialLibrary",
                                          solid + ".Material.LibMaterialName"});
}

// A shader of the engine's base class, for its own properties and a library
// material's reference to it.
class TStreamedShader : public TGLShader {
  QIRA_CLASS(TStreamedShader, TGLShader)

 protected:
  void DoApply(TRenderContextInfo&, TObject*) override {}
  bool DoUnApply(TRenderContextInfo&) override { return false; }
};

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
         ChangeMaterial(m);
         m.Texture().Assign(std::make_unique<TBitmapGraphic>(Pixels()).get());
       },
       [](TStreamForm& f) { return MaterialText(SolidMaterial(f)); },
       Joined(kMaterialDefaultsLeftOut, {"Material.BackProperties.Ambient.Color", "Material.Texture.Disabled"}),
       {{"Material.Texture.ImageGamma", {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
        {"Material.BlendingMode", {2, 7}},
        {"Material.Texture.Image.Picture.Data", {10, 5, 0, 0, 0, 4, 'T', 'B', 'm', 'p'}}},
       {},
       // A texture holding a picture stores no image class name: the next two cases change it.
       Joined(SolidPropertiesElsewhere("Solid"), {"Solid.Material.Texture.ImageClassName"})},
      {"texture with its defaults",
       [](TStreamForm& f) {
         TGLMaterial& m = AddSolid(f);
         m.Texture();
         m.TextureEx();  // made, but without items
       },
       [](TStreamForm& f) {
         ChangeMaterial(SolidMaterial(f));
         TGLTexture& t = SolidMaterial(f).Texture();
         t.SetImageClassName("TGLPicFileImage");
         dynamic_cast<TGLPicFileImage&>(t.Image()).SetPictureFileName("wood.bmp");
       },
       [](TStreamForm& f) { return MaterialText(SolidMaterial(f)); },
       Joined(Joined(kMaterialDefaultsLeftOut, kTextureDefaultsLeftOut),
              {"Material.Texture.ImageClassName", "Material.Texture.Image.Picture.Data"}),
       {{"Material.Texture.ImageClassName", {6, 15, 'T', 'G', 'L', 'P', 'i', 'c', 'F', 'i', 'l', 'e', 'I', 'm', 'a',
                                             'g', 'f'}}},
       {},
       SolidPropertiesElsewhere("Solid")},
      {"cube-map and float-data images",
       [](TStreamForm& f) {
         AddSolid(f).Texture().SetImageClassName("TGLCubeMapImage");
         auto& floor = FindStreamed<TGL3DScene>(f, "Scene").Objects().AddNewChild<TGL3DSceneObject>();
         floor.SetName("Floor");
         dynamic_cast<TGLMaterial&>(floor.Material()).Texture().SetImageClassName("TGLFloatDataImage");
       },
       [](TStreamForm& f) {
         ChangeMaterial(SolidMaterial(f));
         auto& cube = dynamic_cast<TGLCubeMapImage&>(SolidMaterial(f).Texture().Image());
         for (int face = cmtPX; face <= cmtNZ; ++face) {
           QImage pixels = Pixels();
           pixels.setPixel(1, 0, qRgb(face * 40, 100, 50));
           cube.Picture(static_cast<TGLCubeMapFace>(face)).SetGraphic(std::make_unique<TBitmapGraphic>(pixels));
         }
         auto& floor = dynamic_cast<TGLMaterial&>(FindStreamed<TGL3DSceneObject>(f, "Floor").Material());
         ChangeMaterial(floor);
         auto& data = dynamic_cast<TGLFloatDataImage&>(floor.Texture().Image());
         data.SetWidth(32);
         data.SetHeight(16);
       },
       [](TStreamForm& f) {
         auto& floor = dynamic_cast<TGLMaterial&>(FindStreamed<TGL3DSceneObject>(f, "Floor").Material());
         return ImageText(SolidMaterial(f).Texture()) + " | " + ImageText(floor.Texture());
       },
       Joined(Joined(kMaterialDefaultsLeftOut, kTextureDefaultsLeftOut),
              {"Material.Texture.Image.PicturePX.Data", "Material.Texture.Image.PictureNX.Data",
               "Material.Texture.Image.PicturePY.Data", "Material.Texture.Image.PictureNY.Data",
               "Material.Texture.Image.PicturePZ.Data", "Material.Texture.Image.PictureNZ.Data",
               "Material.Texture.Image.Width", "Material.Texture.Image.Height"}),
       {},
       {},
       // The image classes are the defaults' here; the case before changes them.
       Joined(Joined(SolidPropertiesElsewhere("Solid"), SolidPropertiesElsewhere("Floor")),
              {"Solid.Material.Texture.ImageClassName", "Floor.Material.Texture.ImageClassName"})},
      {"material library without materials",
       [](TStreamForm& f) { f.AddComponent<TGLMaterialLibrary>().SetName("Library"); },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         library.Materials().Add().SetName("Stone");
         library.SetTexturePaths("stones");
       },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         return std::to_string(library.Materials().Count()) + library.TexturePaths();
       },
       {"Materials", "TexturePaths"},
       {},
       {},
       {"Library.Materials[]"}},  // the next case changes a library material
      {"material linked to a library",
       [](TStreamForm& f) {
         auto& library = f.AddComponent<TGLMaterialLibrary>();
         library.SetName("Library");
         TGLLibMaterial& brick = library.Materials().Add();
         brick.SetName("Brick");
         brick.Material().FrontProperties().Diffuse().SetColor({0.6f, 0.3f, 0.1f, 1.0f});
         auto& spare = f.AddComponent<TGLMaterialLibrary>();
         spare.SetName("Spare");
         spare.Materials().Add().SetName("Brick");
         TGLMaterial& m = AddSolid(f);
         m.FrontProperties().Diffuse().SetColor({0.0f, 1.0f, 0.0f, 1.0f});  // not stored while linked
         m.SetBlendingMode(TBlendingMode::bmAdditive);
         m.SetMaterialLibrary(&spare);
         m.SetLibMaterialName("Brick");
         f.AddComponent<TStreamedShader>().SetName("Toon");
       },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         library.SetTexturePaths("textures;more");
         TGLLibMaterial& brick = library.Materials().Items(0);
         brick.Tag = 3;
         brick.TextureOffset().SetVector(0.0f, 0.5f, 0.0f);
         brick.TextureScale().SetVector(2.0f, 2.0f, 1.0f);
         brick.SetTexture2Name("Detail");
         auto& shader = FindStreamed<TStreamedShader>(f, "Toon");
         shader.SetEnabled(false);
         shader.SetShaderStyle(TGLShaderStyle::ssApplyFirst);
         brick.SetShader(&shader);
         library.Materials().Add().SetName("Detail");
         TGLMaterial& m = SolidMaterial(f);
         m.SetMaterialLibrary(&library);
         m.SetLibMaterialName("Detail");
       },
       [](TStreamForm& f) {
         auto& library = FindStreamed<TGLMaterialLibrary>(f, "Library");
         TGLMaterial& m = SolidMaterial(f);
         std::ostringstream out;
         out << library.TexturePaths() << " " << library.Materials().Count() << " ";
         for (int i = 0; i < library.Materials().Count(); ++i) {
           TGLLibMaterial& lm = library.Materials().Items(i);
           out << lm.Name() << " " << lm.Tag << " " << VectorText(lm.TextureOffset().AsVector()) << " "
               << VectorText(lm.TextureScale().AsVector()) << " " << lm.Texture2Name() << " " << NameOf(lm.Shader())
               << " " << MaterialText(lm.Material()) << ";";
         }
         auto& shader = FindStreamed<TStreamedShader>(f, "Toon");
         out << shader.Enabled() << static_cast<int>(shader.ShaderStyle()) << " ";
         out << (m.MaterialLibrary() ? m.MaterialLibrary()->Name() : "-") << " " << m.LibMaterialName() << " "
             << (m.LibMaterial() ? m.LibMaterial()->Name() : "-") << " "
             << FaceText(m.EffectiveMaterial().FrontProperties());
         return out.str();
       },
       // The object's own face properties are left out too (see below); the
       // library material's have the same names.
       {"Material.BlendingMode", "TexturePaths", "Tag", "Texture2Name", "Shader", "Enabled", "ShaderStyle"},
       {},
       {},
       // A linked material's own properties, and a library material's
       // material, are the first case's.
       Joined(Joined(NodePropertiesOf("Solid"), {"Scene", "Solid.Hint", "Library.Materials[].Material", "Spare"}),
              {"Solid.Material.FrontProperties", "Solid.Material.BackProperties", "Solid.Material.BlendingMode",
               "Solid.Material.BlendingParams", "Solid.Material.MaterialOptions", "Solid.Material.Texture",
               "Solid.Material.FaceCulling", "Solid.Material.TextureEx"})},
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
    RegisterClass(TStreamedShader::StaticClass());
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
  const int linkedCount = count(WriteComponentToBytes(form));  // the library materials' alone
  SolidMaterial(form).SetLibMaterialName("");                  // unlinked, the object's own are written
  EXPECT_EQ(count(WriteComponentToBytes(form)), linkedCount + 1);
}

}  // namespace
}  // namespace qira
