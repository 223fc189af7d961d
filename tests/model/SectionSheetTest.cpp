// A section's sheet: every grid point stored once, both meshes drawing it through
// one index list; drawn, it looks as the same triangles drawn one by one; a large
// section costs under 150 bytes a cell once its first frame is drawn.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "model/GraphicsSceneSupport.h"
#include "model/Section.h"
#include "model/SectionFixtures.h"
#include "scene/materials/Materials.h"
#include "scene/objects/Mesh.h"
#include "support/FakeServices.h"
#include "support/HeapPeak.h"

namespace {
std::atomic<int64_t> gLogarithms{0};
}  // namespace

// Every logarithm the program takes is counted here and passed on to the library's.
extern "C" double log(double x) noexcept {
  gLogarithms.fetch_add(1, std::memory_order_relaxed);
  static const auto library = reinterpret_cast<double (*)(double)>(dlsym(RTLD_NEXT, "log"));
  return library(x);
}

namespace qira {
namespace {

using section_testing::FlatSection;

// A rows x cols section with values running over the palette and a few cells
// without data, bent out of its plane a little (row boundaries move east with depth)
// so that its normals differ from point to point.
std::unique_ptr<TGraphSection> BentSection(int rows, int cols) {
  std::vector<std::vector<double>> values(static_cast<size_t>(rows), std::vector<double>(static_cast<size_t>(cols)));
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) values[i][j] = (i * 7 + j * 3) % 5 == 0 ? 0.0 : 10.0 + (i * cols + j) % 21;
  auto s = FlatSection(values);
  for (int k = 0; k <= rows; ++k) {
    s->Y1[static_cast<size_t>(k)] = 0.15 * k * k / rows;
    s->Y2[static_cast<size_t>(k)] = -0.1 * k;
  }
  s->CalcBounds();
  return s;
}

class SectionSheet : public ::testing::Test {
 protected:
  graphics_testing::TViewScene view_;
  TFakeServices fake_;
  std::unique_ptr<TGraphSection> section_;

  TGraphSection& Built(std::unique_ptr<TGraphSection> s) {
    section_ = std::move(s);
    section_->SetContext(&view_.context);
    section_->Build(false);
    return *section_;
  }
};

TEST_F(SectionSheet, GradientStoresEachShownCellCentreOnceForBothMeshes) {
  // Cell (0, 1) holds no data; the other five centres are drawn.
  TGraphSection& s = Built(FlatSection({{10, 0, 30}, {20, 30, 10}}));
  ASSERT_TRUE(s.FrontMesh && s.BackMesh);
  const TSharedVertices* sheet = s.FrontMesh->SharedVertices();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(s.BackMesh->SharedVertices(), sheet);
  EXPECT_EQ(sheet->Vertices.size(), 5u);
  // Both node quads lack node (0, 1): one triangle each.
  EXPECT_EQ(sheet->Indices.size(), 6u);
  EXPECT_EQ(s.FrontMesh->VertexList().Count(), 0);  // no second copy in the vertex lists
  EXPECT_FALSE(s.FrontMesh->DrawsBackSide());
  EXPECT_TRUE(s.BackMesh->DrawsBackSide());
}

TEST_F(SectionSheet, CellsGiveEachShownCellFourCornersOfItsColour) {
  std::unique_ptr<TGraphSection> made = FlatSection({{10, 0, 30}, {20, 30, 10}});
  made->ImageStyle = 1;
  TGraphSection& s = Built(std::move(made));
  const TSharedVertices& sheet = *s.FrontMesh->SharedVertices();
  ASSERT_EQ(sheet.Vertices.size(), 5u * 4u);
  ASSERT_EQ(sheet.Indices.size(), 5u * 6u);
  for (size_t cell = 0; cell < 5; ++cell)
    for (size_t k = 1; k < 4; ++k) EXPECT_EQ(sheet.Vertices[cell * 4 + k].color, sheet.Vertices[cell * 4].color);
}

TEST_F(SectionSheet, ALogarithmicPaletteColoursTheGridWithoutALogarithmPerPoint) {
  // A survey-sized grid over the bundled example's scale: red, green at 50, blue,
  // 2 .. 50 logarithmic; its values spread over the range and a little beyond.
  constexpr int kRows = 100, kCols = 200;
  std::vector<std::vector<double>> values(kRows, std::vector<double>(kCols));
  for (int i = 0; i < kRows; ++i)
    for (int j = 0; j < kCols; ++j) values[i][j] = 1.5 + 50.0 * ((i * kCols + j) % 997) / 996;
  std::unique_ptr<TGraphSection> made = FlatSection(values);
  made->Palette.SetColor(1, MakeColor(0, 0, 255));
  made->Palette.AddStop(50, MakeColor(0, 255, 0));
  made->Palette.SetRange(2, 50);
  made->Palette.SetLogarithmic(true);
  ASSERT_TRUE(made->Palette.Logarithmic());
  for (int style : {0, 1}) {
    made->ImageStyle = style;
    const int64_t before = gLogarithms.load();
    TGraphSection& s = Built(std::move(made));
    EXPECT_LT(gLogarithms.load() - before, kRows * kCols / 100) << style;
    // Every point in the colour the palette gives its value.
    const std::vector<TSharedVertex>& points = s.FrontMesh->SharedVertices()->Vertices;
    ASSERT_EQ(points.size(), static_cast<size_t>(kRows * kCols) * (style == 0 ? 1 : 4));
    int wrong = 0;
    for (size_t k = 0; k < points.size(); ++k) {
      const size_t cell = style == 0 ? k : k / 4;
      const TColor c = s.Palette.DisplayColorOfValue(values[cell / kCols][cell % kCols]);
      wrong += points[k].color != std::array<uint8_t, 4>{ColorRed(c), ColorGreen(c), ColorBlue(c), 255};
    }
    EXPECT_EQ(wrong, 0) << style;
    made = std::move(section_);
  }
}

TEST_F(SectionSheet, NormalsArePerPointUnitAndOppositeOnTheBack) {
  TGraphSection& s = Built(FlatSection({{10, 20, 30}, {20, 30, 10}, {30, 10, 20}}));
  const TGLMesh& front = *s.FrontMesh;
  const TGLMesh& back = *s.BackMesh;
  ASSERT_EQ(front.DrawnCount(), back.DrawnCount());
  ASSERT_GT(front.DrawnCount(), 0);
  for (int32_t k = 0; k < front.DrawnCount(); ++k) {
    // The sheet lies in z = 0, its triangles counter-clockwise seen from +z.
    const TVertexData f = front.DrawnVertex(k);
    EXPECT_FLOAT_EQ(f.normal.z, 1.0f) << k;
    EXPECT_EQ(f.normal.x, 0.0f) << k;
    // The back takes each triangle the other way round.
    const int32_t mirrored = k - k % 3 + (2 - k % 3);
    const TVertexData b = back.DrawnVertex(mirrored);
    EXPECT_EQ(b.coord.x, f.coord.x) << k;
    EXPECT_EQ(b.coord.y, f.coord.y) << k;
    EXPECT_FLOAT_EQ(b.normal.z, -1.0f) << k;
  }
}

TEST_F(SectionSheet, ARebuildReplacesTheSheetAndADegenerateSheetHasNoNonFiniteNormal) {
  std::unique_ptr<TGraphSection> made = FlatSection({{10, 20}, {20, 30}});
  // Every row boundary at one place: all points coincide.
  made->X1.assign(3, 0.0);
  made->X2.assign(3, 0.0);
  made->StartZ = made->EndZ = 0;
  TGraphSection& s = Built(std::move(made));
  const TSharedVertices* first = s.FrontMesh->SharedVertices();
  ASSERT_NE(first, nullptr);
  for (const TSharedVertex& v : first->Vertices) EXPECT_EQ(v.frontNormal, (std::array<int16_t, 4>{0, 0, 0, 0}));
  s.ImageStyle = 1;
  s.Build(false);
  EXPECT_NE(s.FrontMesh->SharedVertices(), nullptr);
  EXPECT_EQ(s.FrontMesh->SharedVertices()->Vertices.size(), 16u);
  EXPECT_TRUE(fake_.Messages.empty());
}

TEST_F(SectionSheet, RunningOutOfMemoryWhileBuildingIsToldAndLeavesTheDataAsTheyWere) {
  TGraphSection& s = Built(FlatSection({{10, 20, 30}, {20, 30, 10}}));
  ASSERT_TRUE(s.FrontMesh);
  const std::vector<std::vector<double>> values = s.Values;
  // The memory runs out half-way through the points.
  int calls = 0;
  view_.context.ToSceneMethod = [&calls](double x, double y, double z) -> TAffineVector {
    if (++calls > 3) throw std::bad_alloc();
    return {static_cast<float>(x), static_cast<float>(z), static_cast<float>(y)};
  };
  s.Build(false);
  ASSERT_EQ(fake_.Messages.size(), 1u);
  EXPECT_EQ(fake_.Messages[0].Kind, TMessageKind::Error);
  // The count let it through: the text never claims that more could be used than was asked for.
  EXPECT_EQ(fake_.Messages[0].Text.rfind("The section of 2 x 3 cells is too large to be shown: it needs ", 0), 0u)
      << fake_.Messages[0].Text;
  EXPECT_NE(fake_.Messages[0].Text.find("which could not be had with the "), std::string::npos);
  EXPECT_FALSE(s.FrontMesh || s.BackMesh);
  EXPECT_EQ(s.Values, values);
  view_.context.ToSceneMethod = nullptr;
  s.Build(false);
  EXPECT_TRUE(s.FrontMesh && s.BackMesh);
}

// ---- Drawn ------------------------------------------------------------------------------

// The section drawn lit, against the same triangles drawn one by one from vertex
// lists with face normals (how sheets were drawn before they shared their points).
class SectionSheetGL : public graphics_testing::TRenderedViewTest {
 protected:
  std::unique_ptr<TGraphSection> section_;
  TBuiltNode<TGLMesh> loose_[2];

  void BuildBoth(std::unique_ptr<TGraphSection> s) {
    view_->buffer->SetLighting(true);
    section_ = std::move(s);
    section_->SetContext(&context_);
    section_->Build(false);
    ASSERT_TRUE(section_->FrontMesh && section_->BackMesh);
    for (int side = 0; side < 2; ++side) {
      const TGLMesh& shared = side == 0 ? *section_->FrontMesh : *section_->BackMesh;
      TGLMesh& mesh = loose_[side].Create(*context_.ModelCube);
      mesh.VertexList().Clear();
      mesh.SetMode(TMeshMode::mmTriangles);
      for (int32_t k = 0; k < shared.DrawnCount(); ++k) {
        const TVertexData v = shared.DrawnVertex(k);
        mesh.VertexList().AddVertex(v.coord, {0, 0, 0}, v.color);
      }
      mesh.CalcNormals(false);
      mesh.SetVisible(false);
    }
  }
  void ShowShared(bool shared) {
    section_->FrontMesh->SetVisible(shared);
    section_->BackMesh->SetVisible(shared);
    loose_[0]->SetVisible(!shared);
    loose_[1]->SetVisible(!shared);
  }
  // Pixels on a grid over the section, row by row.
  std::vector<std::array<int, 3>> Samples() {
    Render();
    std::vector<std::array<int, 3>> out;
    for (float y = -1.7f; y <= 1.7f; y += 0.2f)
      for (float x = -2.7f; x <= 2.7f; x += 0.2f) out.push_back(At(x, y));
    return out;
  }
  void ExpectSameLook(const char* side) {
    ShowShared(false);
    const std::vector<std::array<int, 3>> loose = Samples();
    ShowShared(true);
    const std::vector<std::array<int, 3>> shared = Samples();
    ASSERT_EQ(loose.size(), shared.size());
    int differing = 0;
    for (size_t k = 0; k < loose.size(); ++k) {
      differing += NearRgb(loose[k], shared[k], 8) ? 0 : 1;
    }
    EXPECT_EQ(differing, 0) << side;
  }
};

TEST_F(SectionSheetGL, BothSidesLookAsTheTrianglesDrawnOneByOne) {
  for (uint8_t style : {0, 1}) {
    std::unique_ptr<TGraphSection> s = BentSection(12, 18);
    s->ImageStyle = style;
    BuildBoth(std::move(s));
    if (HasFatalFailure()) return;
    ExpectSameLook("front");
    // Seen from behind: the model turned half round.
    context_.ModelCube->Direction().SetVector(0, 0, -1);
    ExpectSameLook("back");
    context_.ModelCube->Direction().SetVector(0, 0, 1);
    // Something of the section shows at all: not the background everywhere.
    ShowShared(true);
    EXPECT_FALSE(Background(0.1f, 0.1f));
    for (TBuiltNode<TGLMesh>& mesh : loose_) mesh.Free();
    section_.reset();
  }
}

TEST_F(SectionSheetGL, ASheetWhoseBuffersWentWithTheirContextIsMadeAgainFromTheGrid) {
  section_ = FlatSection({{10, 20, 30}, {20, 30, 10}, {30, 10, 20}});
  section_->SetContext(&context_);
  section_->Build(false);
  Render();
  const std::array<int, 3> before = At(0.0f, 0.0f);
  ASSERT_FALSE(Background(0.0f, 0.0f));
  const TSharedVertices& sheet = *section_->FrontMesh->SharedVertices();
  ASSERT_TRUE(sheet.InBuffers());
  ASSERT_FALSE(sheet.ArraysHeld());
  // The only context goes, and a new one comes.
  view_->buffer->DestroyRC();
  EXPECT_FALSE(sheet.InBuffers());
  view_->buffer->CreateRC(0, true, 1);
  Render();
  EXPECT_TRUE(sheet.InBuffers());
  EXPECT_TRUE(NearRgb(At(0.0f, 0.0f), before, 3));
}

// ---- Memory -----------------------------------------------------------------------------

TEST_F(SectionSheetGL, AMillionCellSectionCostsUnder150BytesACellAfterItsFirstFrame) {
  constexpr int kRows = 1000, kCols = 1000;
  constexpr double kCells = double{kRows} * kCols;
  view_->buffer->SetLighting(true);
  // The context, and the drawing code its driver makes for sheets, are not the
  // section's: a small section drawn first brings them about.
  {
    std::unique_ptr<TGraphSection> small = BentSection(10, 10);
    small->SetContext(&context_);
    small->Build(false);
    Render();
  }
  Render();
  {
    auto s = std::make_unique<TGraphSection>();
    s->RowCount = kRows;
    s->ColCount = kCols;
    s->X1.assign(kRows + 1, -3.0);
    s->X2.assign(kRows + 1, 3.0);
    s->Y1.assign(kRows + 1, 0.0);
    s->Y2.assign(kRows + 1, 0.0);
    s->StartZ = 2;
    s->EndZ = -2;
    s->Values.assign(kRows, std::vector<double>(kCols));
    for (int i = 0; i < kRows; ++i)
      for (int j = 0; j < kCols; ++j) s->Values[i][j] = 10.0 + (i + j) % 20;
    s->Palette.SetRange(10, 30);
    section_ = std::move(s);
  }
  section_->SetContext(&context_);
  // What the section's own code takes, not the process's peak: the driver bins the
  // frame's triangles on threads of its own, and how much of that is alive at once
  // depends on the machine's load. Building runs on this thread alone, and its heap
  // is counted where the allocator hooks exist.
#if defined(QIRA_HEAP_HOOKS)
  test::THeapPeak::Start();
#endif
  section_->Build(false);
#if defined(QIRA_HEAP_HOOKS)
  const double built = static_cast<double>(test::THeapPeak::Stop());
  EXPECT_LT(built / kCells, 150.0);
  EXPECT_LE(built, SectionMemoryNeeded(kRows, kCols, true, 0));
#endif
  ASSERT_TRUE(section_->FrontMesh && section_->FrontMesh->SharedVertices());
  Render();
  const TSharedVertices& sheet = *section_->FrontMesh->SharedVertices();
  EXPECT_TRUE(sheet.InBuffers());
  EXPECT_FALSE(sheet.ArraysHeld());  // the buffers are the one copy
  EXPECT_FALSE(Background(0.0f, 0.0f));
  // Held after the first frame: the grid, and the sheet in the drawing's buffers.
  double held = static_cast<double>(sheet.ByteSize());
  for (const std::vector<double>* boundary : {&section_->X1, &section_->X2, &section_->Y1, &section_->Y2})
    held += static_cast<double>(boundary->capacity() * sizeof(double));
  for (const std::vector<double>& row : section_->Values)
    held += static_cast<double>(sizeof row + row.capacity() * sizeof(double));
  const double perCell = held / kCells;
  RecordProperty("BytesPerCell", std::to_string(perCell));
  EXPECT_LT(perCell, 150.0);
  // The check before building counts at least what it really holds.
  EXPECT_LE(held, SectionMemoryNeeded(kRows, kCols, false, 0)) << perCell;
}

}  // namespace
}  // namespace qira
