#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>

#include "support/MaterialRenderSupport.h"
#include "platform/Picture.h"
#include "scene/materials/Materials.h"
#include "scene/gl/StateCache.h"

namespace qira {
namespace {

using testing::GLFixture;
using testing::TCountingOwner;
using testing::TPlainOwner;

// ---------------------------------------------------------------- the material

TEST(Material, TextureSwitchingIsATextureMapChange) {
  TCountingOwner owner;
  TGLMaterial material(&owner);
  material.Texture().SetDisabled(false);
  EXPECT_EQ(owner.texMapChanges, 1);
  EXPECT_EQ(owner.changes, 0);

  TPlainOwner plain;  // without the texture-map interface: a plain change
  TGLMaterial other(&plain);
  other.Texture().SetDisabled(false);
  EXPECT_EQ(plain.changes, 1);
}

TEST(Material, AssignNotifiesOnceAndASourceWithoutBackPropertiesOrTextureFreesTheTargets) {
  TGLMaterial source;
  source.BackProperties().SetShininess(7);
  source.Texture().SetMagFilter(TGLMagFilter::maNearest);
  TCountingOwner owner;
  TGLMaterial target(&owner);
  target.Assign(&source);
  EXPECT_EQ(owner.changes, 1);
  ASSERT_TRUE(target.HasBackProperties());
  EXPECT_EQ(target.BackProperties().Shininess(), 7);
  ASSERT_TRUE(target.HasTexture());
  EXPECT_EQ(target.Texture().MagFilter(), TGLMagFilter::maNearest);
  TGLMaterial plain;
  target.Assign(&plain);
  EXPECT_FALSE(target.HasBackProperties());
  EXPECT_FALSE(target.HasTexture());
}

// ------------------------------------------------------------ drawing with GL

class MaterialDrawingGL : public GLFixture {};

struct TBlendRow {
  const char* name;
  TBlendingMode mode;
  std::array<float, 4> color;       // drawn, lighting off
  std::array<float, 3> background;  // cleared
  std::array<int, 3> expected;
};

class BlendingModesGL : public GLFixture, public ::testing::WithParamInterface<TBlendRow> {};

TEST_P(BlendingModesGL, GiveTheBlendedPixelOverAKnownBackground) {
  const TBlendRow& row = GetParam();
  TGLMaterial material;
  material.SetBlendingMode(row.mode);
  if (row.mode == TBlendingMode::bmCustom) {
    material.BlendingParams().SetBlendFuncSFactor(TGLBlendFuncFactor::bff_GL_ONE);
    material.BlendingParams().SetBlendFuncDFactor(TGLBlendFuncFactor::bff_GL_ONE);
  }
  material.FrontProperties().Diffuse().SetColor({row.color[0], row.color[1], row.color[2], row.color[3]});
  Clear(row.background[0], row.background[1], row.background[2]);
  material.Apply(rci_);
  DrawQuad();
  material.UnApply(rci_);
  const auto pixel = Pixel(8, 8);
  EXPECT_TRUE(NearRgb(pixel, row.expected[0], row.expected[1], row.expected[2]))
      << pixel[0] << ", " << pixel[1] << ", " << pixel[2];
}

INSTANTIATE_TEST_SUITE_P(
    Material, BlendingModesGL,
    ::testing::Values(
        TBlendRow{"Opaque", TBlendingMode::bmOpaque, {1, 0, 0, 0.5f}, {0, 0, 1}, {255, 0, 0}},
        TBlendRow{"Transparency", TBlendingMode::bmTransparency, {1, 0, 0, 0.5f}, {0, 0, 1}, {128, 0, 128}},
        TBlendRow{"Additive", TBlendingMode::bmAdditive, {1, 0, 0, 0.5f}, {0, 0, 1}, {128, 0, 255}},
        TBlendRow{"Modulate", TBlendingMode::bmModulate, {1, 0.5f, 0.5f, 1}, {0.5f, 0.5f, 1}, {128, 64, 128}},
        TBlendRow{"AlphaTest50Passes", TBlendingMode::bmAlphaTest50, {1, 0, 0, 0.5f}, {0, 0, 1}, {255, 0, 0}},
        TBlendRow{"AlphaTest50Rejects", TBlendingMode::bmAlphaTest50, {1, 0, 0, 0.4f}, {0, 0, 1}, {0, 0, 255}},
        TBlendRow{"AlphaTest100Rejects", TBlendingMode::bmAlphaTest100, {1, 0, 0, 0.9f}, {0, 0, 1}, {0, 0, 255}},
        TBlendRow{"CustomOneOne", TBlendingMode::bmCustom, {1, 0, 0, 0.2f}, {0, 0, 1}, {255, 0, 255}}),
    [](const ::testing::TestParamInfo<TBlendRow>& info) { return std::string(info.param.name); });

TEST_F(MaterialDrawingGL, IgnoredBlendingRequestsLeaveBlendingAlone) {
  TGLMaterial material;
  material.SetBlendingMode(TBlendingMode::bmTransparency);
  rci_.ignoreBlendingRequests = true;
  material.Apply(rci_);
  material.UnApply(rci_);
  EXPECT_FALSE(cache_->States().Contains(TGLState::stBlend));
  EXPECT_FALSE(cache_->States().Contains(TGLState::stAlphaTest));
}

TEST_F(MaterialDrawingGL, TheCacheSeesTheEnablesAfterApplyAndAfterUnApply) {
  cache_->EnableState(TGLState::stLighting);
  cache_->EnableState(TGLState::stFog);
  cache_->EnableState(TGLState::stCullFace);
  TGLMaterial material;
  material.SetMaterialOptions(TMaterialOptions{TMaterialOption::moNoLighting, TMaterialOption::moIgnoreFog});
  material.SetFaceCulling(TFaceCulling::fcNoCull);
  material.SetBlendingMode(TBlendingMode::bmTransparency);
  material.Texture().SetDisabled(false);

  material.Apply(rci_);
  TGLStates states = cache_->States();
  EXPECT_FALSE(states.Contains(TGLState::stLighting));
  EXPECT_FALSE(states.Contains(TGLState::stFog));
  EXPECT_FALSE(states.Contains(TGLState::stCullFace));
  EXPECT_TRUE(states.Contains(TGLState::stBlend));
  EXPECT_TRUE(states.Contains(TGLState::stAlphaTest));
  EXPECT_TRUE(states.Contains(TGLState::stTexture2D));
  EXPECT_EQ(rci_.lightingDisabledCounter, 1);
  EXPECT_EQ(rci_.fogDisabledCounter, 1);
  // The cache and OpenGL agree.
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

  EXPECT_FALSE(material.UnApply(rci_));
  states = cache_->States();
  EXPECT_TRUE(states.Contains(TGLState::stLighting));
  EXPECT_TRUE(states.Contains(TGLState::stFog));
  EXPECT_FALSE(states.Contains(TGLState::stTexture2D));
  // Blending and culling are left for the next material to set.
  EXPECT_TRUE(states.Contains(TGLState::stBlend));
  EXPECT_FALSE(states.Contains(TGLState::stCullFace));
  EXPECT_EQ(rci_.lightingDisabledCounter, 0);
  EXPECT_EQ(rci_.fogDisabledCounter, 0);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(MaterialDrawingGL, AlphaTest50StaysUntilUnApplyResetsIt) {
  TGLMaterial material;
  material.SetBlendingMode(TBlendingMode::bmAlphaTest50);
  material.Apply(rci_);
  GLint func = 0;
  GLfloat ref = 0.0f;
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
  glGetFloatv(GL_ALPHA_TEST_REF, &ref);
  EXPECT_EQ(func, GL_GEQUAL);
  EXPECT_FLOAT_EQ(ref, 0.5f);
  EXPECT_FALSE(cache_->States().Contains(TGLState::stBlend));
  material.UnApply(rci_);
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
  glGetFloatv(GL_ALPHA_TEST_REF, &ref);
  EXPECT_EQ(func, GL_GREATER);
  EXPECT_FLOAT_EQ(ref, 0.0f);
}

TEST_F(MaterialDrawingGL, FaceCullingFollowsTheBufferByDefault) {
  struct TRow {
    bool cullOn;
    TFaceCulling culling;
    bool bufferCull;
    bool cullAfter;
  };
  const TRow rows[] = {
      {true, TFaceCulling::fcBufferDefault, true, true},  {true, TFaceCulling::fcBufferDefault, false, false},
      {true, TFaceCulling::fcCull, false, true},          {true, TFaceCulling::fcNoCull, true, false},
      {false, TFaceCulling::fcBufferDefault, true, true}, {false, TFaceCulling::fcBufferDefault, false, false},
      {false, TFaceCulling::fcCull, false, true},         {false, TFaceCulling::fcNoCull, true, false},
  };
  for (const TRow& row : rows) {
    if (row.cullOn) {
      cache_->EnableState(TGLState::stCullFace);
    } else {
      cache_->DisableState(TGLState::stCullFace);
    }
    rci_.bufferFaceCull = row.bufferCull;
    TGLMaterial material;
    material.SetFaceCulling(row.culling);
    material.Apply(rci_);
    EXPECT_EQ(cache_->States().Contains(TGLState::stCullFace), row.cullAfter)
        << row.cullOn << " " << static_cast<int>(row.culling) << " " << row.bufferCull;
    material.UnApply(rci_);
  }
}

// ------------------------------------------------------------------ library

TEST(MaterialLibrary, NewMaterialsGetUniqueDefaultNames) {
  TGLMaterialLibrary library;
  TGLLibMaterial& first = library.Materials().Add();
  TGLLibMaterial& second = library.Materials().Add();
  EXPECT_EQ(first.Name(), "LibMaterial");
  EXPECT_EQ(second.Name(), "LibMaterial1");
  second.SetName("LibMaterial");  // taken by another: made unique
  EXPECT_EQ(second.Name(), "LibMaterial1");
  second.SetName("Red");
  EXPECT_EQ(second.Name(), "Red");
}

TEST(MaterialLibrary, NameHashIsLengthThenCharacterPlusTwiceTheHash) {
  EXPECT_EQ(ComputeNameHashKey(""), 0u);
  EXPECT_EQ(ComputeNameHashKey("ab"), 300u);  // 2 -> 97 + 4 = 101 -> 98 + 202
  // Long names wrap in 32 bits instead of overflowing.
  EXPECT_NO_THROW(ComputeNameHashKey(std::string(100, 'z')));
}

TEST(MaterialLibrary, LinkingResolvesByNameAndSignalsATextureMapChange) {
  TGLMaterialLibrary library;
  TGLLibMaterial& red = library.Materials().Add();
  red.SetName("Red");
  red.Material().SetBlendingMode(TBlendingMode::bmTransparency);
  TCountingOwner owner;
  TGLMaterial material(&owner);
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName("Red");
  EXPECT_EQ(material.LibMaterial(), &red);
  EXPECT_EQ(owner.texMapChanges, 1);
  EXPECT_EQ(&material.EffectiveMaterial(), &red.Material());
  EXPECT_TRUE(material.Blended());
  EXPECT_FALSE(material.StoreMaterialProps());
  EXPECT_EQ(red.UserCount(), 1);

  material.SetLibMaterialName("Missing");
  EXPECT_EQ(material.LibMaterial(), nullptr);
  EXPECT_EQ(red.UserCount(), 0);
  EXPECT_EQ(&material.EffectiveMaterial(), &material);
}

TEST(MaterialLibrary, DeletingALibraryMaterialUnlinksItsUsers) {
  TGLMaterialLibrary library;
  library.Materials().Add();
  TCountingOwner owner;
  TGLMaterial material(&owner);
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName("LibMaterial");
  ASSERT_NE(material.LibMaterial(), nullptr);
  library.Materials().Delete(0);
  EXPECT_EQ(material.LibMaterial(), nullptr);
  EXPECT_EQ(material.LibMaterialName(), "");
  EXPECT_EQ(material.MaterialLibrary(), nullptr);
  EXPECT_EQ(owner.texMapChanges, 2);
}

TEST(MaterialLibrary, FreeingTheLibraryLeavesNoDanglingLink) {
  TGLMaterial material;
  {
    TGLMaterialLibrary library;
    material.SetMaterialLibrary(&library);
    material.SetLibMaterialName("Absent");  // linked to the library, not to a material
  }
  EXPECT_EQ(material.MaterialLibrary(), nullptr);
  EXPECT_NO_THROW(material.SetLibMaterialName("Absent"));
}

TEST(MaterialLibrary, FreeingTheLibraryUnlinksMaterialsThatUseItsMaterials) {
  TCountingOwner owner;
  TGLMaterial material(&owner);
  {
    TGLMaterialLibrary library;
    TGLLibMaterial& first = library.Materials().Add();
    TGLLibMaterial& second = library.Materials().Add();
    first.Material().SetMaterialLibrary(&library);
    first.Material().SetLibMaterialName(second.Name());
    material.SetMaterialLibrary(&library);
    material.SetLibMaterialName(first.Name());
  }
  EXPECT_EQ(material.LibMaterial(), nullptr);
  EXPECT_EQ(material.MaterialLibrary(), nullptr);
  EXPECT_FALSE(material.Blended());
}

TEST(MaterialLibrary, FreeingAUserMaterialUnregistersIt) {
  TGLMaterialLibrary library;
  TGLLibMaterial& red = library.Materials().Add();
  {
    TGLMaterial material;
    material.SetMaterialLibrary(&library);
    material.SetLibMaterialName(red.Name());
    EXPECT_EQ(red.UserCount(), 1);
  }
  EXPECT_EQ(red.UserCount(), 0);
  EXPECT_NO_THROW(red.NotifyUsers());
}

TEST(MaterialLibrary, ALinkBackToTheSameMaterialIsRefused) {
  TGLMaterialLibrary library;
  TGLLibMaterial& first = library.Materials().Add();
  TGLLibMaterial& second = library.Materials().Add();
  first.Material().SetMaterialLibrary(&library);
  first.Material().SetLibMaterialName(second.Name());
  EXPECT_EQ(first.Material().LibMaterial(), &second);
  second.Material().SetMaterialLibrary(&library);
  second.Material().SetLibMaterialName(first.Name());  // would loop first -> second -> first
  EXPECT_EQ(second.Material().LibMaterial(), nullptr);
  first.Material().SetLibMaterialName(first.Name());
  EXPECT_EQ(first.Material().LibMaterial(), nullptr);
}

// ------------------------------------------------------- library with GL

class LibraryDrawingGL : public GLFixture {};

TEST_F(LibraryDrawingGL, ALinkedLibraryMaterialIsAppliedAndUnAppliedInItsPlace) {
  TGLMaterialLibrary library;
  TGLLibMaterial& green = library.Materials().Add();
  green.SetName("Green");
  green.Material().FrontProperties().Diffuse().SetColor({0.0f, 1.0f, 0.0f, 1.0f});
  green.Material().SetMaterialOptions(TMaterialOptions{TMaterialOption::moNoLighting});
  cache_->EnableState(TGLState::stLighting);

  TGLMaterial material;
  material.FrontProperties().Diffuse().SetColor({1.0f, 0.0f, 0.0f, 1.0f});
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName("Green");
  Clear(0.0f, 0.0f, 0.0f);
  material.Apply(rci_);
  EXPECT_EQ(rci_.lightingDisabledCounter, 1);
  DrawQuad();
  EXPECT_FALSE(material.UnApply(rci_));
  EXPECT_EQ(rci_.lightingDisabledCounter, 0);
  EXPECT_TRUE(cache_->States().Contains(TGLState::stLighting));
  EXPECT_TRUE(NearRgb(Pixel(4, 4), 0, 255, 0));
}

TEST_F(LibraryDrawingGL, ATextureOffsetIsLoadedForTheObjectAndResetAfterIt) {
  TGLMaterialLibrary library;
  TGLLibMaterial& shifted = library.Materials().Add();
  shifted.Material().Texture().SetDisabled(false);
  shifted.TextureOffset().SetPoint(0.25f, 0.0f, 0.0f);
  TGLMaterial material;
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName(shifted.Name());
  material.Apply(rci_);
  EXPECT_FALSE(cache_->TextureMatrixIsIdentity());
  GLfloat m[16] = {};
  glGetFloatv(GL_TEXTURE_MATRIX, m);
  EXPECT_FLOAT_EQ(m[12], 0.25f);
  material.UnApply(rci_);
  EXPECT_TRUE(cache_->TextureMatrixIsIdentity());
  glGetFloatv(GL_TEXTURE_MATRIX, m);
  EXPECT_FLOAT_EQ(m[12], 0.0f);
}

TEST_F(LibraryDrawingGL, ASecondLibraryTextureGoesOnTheSecondUnitForTheObject) {
  if (!GL.ARB_multitexture) GTEST_SKIP() << "no multitexturing";
  TGLMaterialLibrary library;
  TGLLibMaterial& base = library.Materials().Add();
  TGLLibMaterial& detail = library.Materials().Add();
  detail.SetName("Detail");
  QImage white(4, 4, QImage::Format_RGB32);
  white.fill(Qt::white);
  TBitmapGraphic graphic(white);
  for (TGLLibMaterial* m : {&base, &detail}) {
    m->Material().Texture().Assign(&graphic);
    m->Material().Texture().SetMinFilter(miNearest);
    m->Material().Texture().SetDisabled(false);
  }
  base.SetTexture2Name("Detail");
  TGLMaterial material;
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName(base.Name());

  material.Apply(rci_);
  EXPECT_EQ(base.LibMatTexture2(), &detail);
  EXPECT_EQ(detail.UserCount(), 1);
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnits01);
  glActiveTexture(GL_TEXTURE1);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  glActiveTexture(GL_TEXTURE0);
  EXPECT_TRUE(cache_->States().Contains(TGLState::stTexture2D));
  EXPECT_FALSE(material.UnApply(rci_));
  glActiveTexture(GL_TEXTURE1);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  glActiveTexture(GL_TEXTURE0);
  EXPECT_FALSE(cache_->States().Contains(TGLState::stTexture2D));
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnit0);

  // Freeing the second material drops the link.
  library.Materials().Delete(detail.Index());
  EXPECT_EQ(base.LibMatTexture2(), nullptr);
}

// A shader that draws in its own colour and asks for `passes` passes.
class TPassShader : public TGLShader {
  QIRA_CLASS(TPassShader, TGLShader)

  int passes = 1;
  int applied = 0;
  int unApplied = 0;
  bool failInit = false;

 protected:
  void DoInitialize(TRenderContextInfo&, TObject*) override {
    if (failInit) throw Exception("no");
  }
  void DoApply(TRenderContextInfo&, TObject*) override {
    ++applied;
    glColor3f(0.0f, 0.0f, 1.0f);
  }
  bool DoUnApply(TRenderContextInfo&) override { return ++unApplied < passes; }
};

TEST_F(LibraryDrawingGL, AReplacingShaderDrawsInsteadOfTheMaterialAndAsksForPasses) {
  TGLMaterialLibrary library;
  TGLLibMaterial& libMaterial = library.Materials().Add();
  libMaterial.Material().FrontProperties().Diffuse().SetColor({1.0f, 0.0f, 0.0f, 1.0f});
  TPassShader shader;
  shader.SetShaderStyle(TGLShaderStyle::ssReplaceMaterial);
  shader.passes = 2;
  libMaterial.SetShader(&shader);
  TGLMaterial material;
  material.SetMaterialLibrary(&library);
  material.SetLibMaterialName(libMaterial.Name());

  Clear(0.0f, 0.0f, 0.0f);
  material.Apply(rci_);
  int draws = 0;
  do {
    DrawQuad();
    ++draws;
  } while (material.UnApply(rci_));
  EXPECT_EQ(draws, 2);
  EXPECT_EQ(shader.applied, 1);
  EXPECT_TRUE(NearRgb(Pixel(8, 8), 0, 0, 255));
  EXPECT_TRUE(shader.ShaderInitialized());
  shader.FinalizeShader();
  EXPECT_FALSE(shader.ShaderInitialized());
}

TEST_F(LibraryDrawingGL, AShaderThatCannotInitialiseRaisesItsMessage) {
  TGLMaterialLibrary library;
  TGLLibMaterial& libMaterial = library.Materials().Add();
  TPassShader shader;
  shader.SetName("Toon");
  shader.failInit = true;
  libMaterial.SetShader(&shader);
  try {
    libMaterial.Apply(rci_);
    FAIL() << "no exception";
  } catch (const EGLShaderException& error) {
    EXPECT_STREQ(error.what(), "Your hardware/driver doesn't support shader \"Toon\"!");
  }
  EXPECT_FALSE(shader.Enabled());
  // The multitexture bracket was closed on the way out.
  MapToUnit1();
  EXPECT_EQ(CurrentMultitextureMapping(), TMultitextureMapping::mmUnit1);
  MapToUnit0();
}

TEST(Shader, FreeingTheShaderClearsTheLibraryMaterialsLink) {
  TGLMaterialLibrary library;
  TGLLibMaterial& libMaterial = library.Materials().Add();
  {
    TPassShader shader;
    libMaterial.SetShader(&shader);
    EXPECT_EQ(libMaterial.Shader(), &shader);
  }
  EXPECT_EQ(libMaterial.Shader(), nullptr);
}

// ------------------------------------------------------ scene objects' material

TEST(MaterialFactory, CustomSceneObjectsTakeAMaterialOnceRegistered) {
  RegisterMaterialClasses();
  TGL3DSceneObject object;
  EXPECT_NE(dynamic_cast<TGLMaterial*>(&object.Material()), nullptr);
  EXPECT_NE(GetClass("TGLMaterialLibrary"), nullptr);
  SetSceneObjectMaterialFactory({});  // other tests expect the base material
}

}  // namespace
}  // namespace qira
