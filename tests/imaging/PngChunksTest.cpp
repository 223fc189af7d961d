#include <gtest/gtest.h>

#include <QImage>

#include "imaging/PngChunks.h"
#include "imaging/PngCrc.h"
#include "imaging/PngFilters.h"
#include "imaging/PngMessages.h"
#include "imaging/PngObject.h"
#include "platform/BinaryStream.h"
#include "support/ThrownMessage.h"
#include "PngFixtures.h"

namespace qira {
namespace {

std::vector<uint8_t> ChunkBytes(const TChunk& chunk) {
  TMemoryStream stream;
  chunk.SaveToStream(stream);
  return stream.TakeData();
}

// A small RGB picture as our writer lays out its chunks.
void MakeRgbImage(TPNGObject& png) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(qRgb(10, 20, 30));
  png.AssignImage(image);
}

std::vector<std::string> ListNames(const TPNGObject& png) {
  std::vector<std::string> names;
  for (const auto& c : png.Chunks().Items()) names.emplace_back(ChunkNameText(c->Name()));
  return names;
}

TEST(PngChunkFraming, IendChunkIsTheTwelveStandardBytes) {
  TPNGObject png;
  TChunkIEND end(png);
  EXPECT_EQ(~UpdateCRC(0xFFFFFFFFu, "IEND", 4), 0xAE426082u);
  EXPECT_EQ(ChunkBytes(end),
            (std::vector<uint8_t>{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
}

TEST(PngChunkFraming, ByteSwapsReverseTheBytes) {
  EXPECT_EQ(ByteSwap(0x11223344u), 0x44332211u);
  EXPECT_EQ(ByteSwap16(0x1122), 0x2211);
}

TEST(PngChunkFraming, UnknownChunkKeepsItsNameAndDataAndWritesThemBack) {
  TPNGObject png;
  LoadPngFixture(png, "private_chunk.png");
  const TChunk* kept = nullptr;
  for (const auto& c : png.Chunks().Items())
    if (ChunkNameText(c->Name()) == "prVt") kept = c.get();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Data(), (std::vector<uint8_t>{1, 2, 3}));
  const std::vector<uint8_t> bytes = ChunkBytes(*kept);
  const std::string source = PngFiles().Bytes("private_chunk.png");
  EXPECT_NE(source.find(std::string(bytes.begin(), bytes.end())), std::string::npos);
}

TEST(PngChunkRegistry, CreatesTheRegisteredKindOrAPlainChunkWithTheNameRead) {
  TPNGObject png;
  bool known = false;
  auto header = CreateClassChunk(png, MakeChunkName("IHDR"), &known);
  EXPECT_TRUE(known);
  EXPECT_NE(dynamic_cast<TChunkIHDR*>(header.get()), nullptr);
  auto other = CreateClassChunk(png, MakeChunkName("abCd"), &known);
  EXPECT_FALSE(known);
  EXPECT_EQ(ChunkNameText(other->Name()), "abCd");
  EXPECT_EQ(typeid(*other), typeid(TChunk));
}

TEST(PngChunkList, AddedChunksGoWhereTheStandardWantsThem) {
  TPNGObject png;
  MakeRgbImage(png);
  png.Chunks().Add<TChunktEXt>();
  EXPECT_EQ(ListNames(png), (std::vector<std::string>{"IHDR", "IDAT", "tEXt", "IEND"}));
  png.Chunks().Add<TChunkgAMA>();
  png.Chunks().Add<TChunktRNS>();
  EXPECT_EQ(ListNames(png), (std::vector<std::string>{"IHDR", "gAMA", "tRNS", "IDAT", "tEXt", "IEND"}));
}

TEST(PngChunkList, RefusesCriticalKindsSecondSingletonsAndAnInvalidImage) {
  TPNGObject png;
  EXPECT_EQ(ThrownMessage<EPngError>([&] { png.Chunks().Add<TChunktEXt>(); }), EPNGCannotAddInvalidImageText);
  MakeRgbImage(png);
  EXPECT_EQ(ThrownMessage<EPngError>([&] { png.Chunks().Add<TChunkIDAT>(); }), EPNGCannotAddChunkText);
  EXPECT_EQ(ThrownMessage<EPngError>([&] { png.Chunks().Add<TChunkPLTE>(); }), EPNGCannotAddChunkText);
  png.Chunks().Add<TChunkgAMA>();
  EXPECT_EQ(ThrownMessage<EPngError>([&] { png.Chunks().Add<TChunkgAMA>(); }), EPNGCannotAddChunkText);
}

// The names of a pointer list's slots, "-" for an empty one.
std::vector<std::string> SlotNames(const TPNGPointerList& list) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i)
    names.emplace_back(list.GetItem(i) ? std::string(ChunkNameText(list.GetItem(i)->Name())) : "-");
  return names;
}

std::unique_ptr<TChunk> NamedChunk(TPNGObject& owner, std::string_view name) {
  auto chunk = std::make_unique<TChunk>(owner);
  chunk->SetName(MakeChunkName(name));
  return chunk;
}

TEST(PngPointerList, InsertsOnlyBeforeAnItemOfANonEmptyList) {
  struct Case {
    int32_t index;
    bool inserted;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {0, true, {"newC", "aaaa", "bbbb"}},
      {1, true, {"aaaa", "newC", "bbbb"}},
      {2, false, {"aaaa", "bbbb"}},  // at the end: nothing
      {5, false, {"aaaa", "bbbb"}},
      {-1, false, {"aaaa", "bbbb"}},
  };
  for (const Case& c : cases) {
    TPNGObject png;
    TPNGPointerList list;
    list.Add(NamedChunk(png, "aaaa"));
    list.Add(NamedChunk(png, "bbbb"));
    EXPECT_EQ(list.Insert(c.index, NamedChunk(png, "newC")), c.inserted) << c.index;
    EXPECT_EQ(SlotNames(list), c.after) << c.index;
  }
  TPNGObject png;
  TPNGPointerList empty;
  EXPECT_TRUE(empty.Insert(3, NamedChunk(png, "only")));
  EXPECT_EQ(SlotNames(empty), (std::vector<std::string>{"only"}));
}

TEST(PngPointerList, SetCountGrowsWithEmptySlotsAndShrinksFreeingTheRest) {
  TPNGObject png;
  TPNGPointerList list;
  list.Add(NamedChunk(png, "aaaa"));
  list.Add(NamedChunk(png, "bbbb"));
  list.SetCount(4);
  EXPECT_EQ(SlotNames(list), (std::vector<std::string>{"aaaa", "bbbb", "-", "-"}));
  EXPECT_EQ(list.GetItem(4), nullptr);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  list.SetCount(1);
  EXPECT_EQ(SlotNames(list), (std::vector<std::string>{"aaaa"}));
  TChunk* first = list.GetItem(0);
  list.Remove(nullptr);  // not in the list: nothing
  list.Remove(first);
  EXPECT_EQ(list.Count(), 0);
}

TEST(PngChunkList, AssigningAChunkOfAnotherKindIsRefused) {
  TPNGObject png;
  TChunkIHDR header(png);
  TChunkIEND end(png);
  EXPECT_EQ(ThrownMessage<EPngError>([&] { header.Assign(end); }), EPNGCannotAssignChunkText);
}

TEST(PngChunkList, HeaderIsTheFirstChunkOrTheOperationIsRefused) {
  TPNGObject png;
  EXPECT_FALSE(png.HasHeader());
  EXPECT_EQ(ThrownMessage<EPNGHeaderNotPresent>([&] { png.GetHeader(); }), EPNGHeaderNotPresentText);
  EXPECT_EQ(png.Width(), 0);
  MakeRgbImage(png);
  EXPECT_EQ(png.GetHeader().Width, 3u);
}

TEST(PngTextChunks, EmptyCompressedTextIsStoredAsADeflatedSpace) {
  TPNGObject png;
  TChunkzTXt text(png);
  text.Keyword = "Title";
  const std::vector<uint8_t> bytes = ChunkBytes(text);
  ASSERT_GT(bytes.size(), 8u + 7u);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 15), std::string("Title\0\0", 7));
  // Read back through the framing: the text inflates to " ".
  TMemoryStream stream(std::vector<uint8_t>(bytes.begin() + 8, bytes.end()));
  TChunkzTXt loaded(png);
  ASSERT_TRUE(loaded.LoadFromStream(stream, MakeChunkName("zTXt"), Be32(bytes, 0)));
  EXPECT_EQ(loaded.Keyword, "Title");
  EXPECT_EQ(loaded.Text, " ");
}

TEST(PngTextChunks, CompressedTextOfAFileIsInflated) {
  TPNGObject png;
  LoadPngFixture(png, "ztxt.png");
  const auto* text = png.Chunks().ItemFromClass<TChunkzTXt>();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Keyword, "Comment");
  EXPECT_EQ(text->Text, "made by hand");
}

TEST(PngGamma, GammaChunkBuildsTheLookupTables) {
  TPNGObject png;
  TChunkgAMA gamma(png);
  EXPECT_EQ(gamma.Gamma(), 1u);
  // A stored gamma of 1.0: levels follow 255 * (i / 255)^(1 / 2.2).
  std::vector<uint8_t> body = {0x00, 0x01, 0x86, 0xA0};
  const uint32_t crc = ~UpdateCRC(UpdateCRC(0xFFFFFFFFu, "gAMA", 4), body.data(), 4);
  for (int s = 24; s >= 0; s -= 8) body.push_back(static_cast<uint8_t>(crc >> s));
  TMemoryStream stream(body);
  ASSERT_TRUE(gamma.LoadFromStream(stream, MakeChunkName("gAMA"), 4));
  EXPECT_EQ(png.GammaLut[0], 0);
  EXPECT_EQ(png.GammaLut[128], 186);
  EXPECT_EQ(png.GammaLut[255], 255);
  EXPECT_EQ(png.InverseGammaLut[png.GammaLut[10]], 10);
}

// ------------------------------------------------------------------ filters

TEST(PngFilters, PaethPredictorPrefersLeftThenAboveOnTies) {
  EXPECT_EQ(PaethPredictor(10, 10, 10), 10);
  EXPECT_EQ(PaethPredictor(1, 2, 3), 1);     // p = 0: left is nearest
  EXPECT_EQ(PaethPredictor(5, 9, 5), 9);     // p = 9: above exactly
  EXPECT_EQ(PaethPredictor(20, 10, 15), 15); // p = 15: upper-left exactly
}

struct TFilterCase {
  uint8_t filterSet;
  std::vector<uint8_t> row;
  uint8_t expected;
};

class PngFilterChoice : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(PngFilterChoice, PicksTheCandidateWithTheMostRepeats) {
  const TFilterCase& c = GetParam();
  std::vector<uint8_t> prev(c.row.size(), 0);
  std::array<std::vector<uint8_t>, 4> buffers;
  std::array<std::span<uint8_t>, 4> out;
  for (size_t i = 0; i < 4; ++i) {
    buffers[i].resize(c.row.size());
    out[i] = buffers[i];
  }
  EXPECT_EQ(ChoosePngFilter(c.filterSet, c.row, prev, out, 1), c.expected);
  EXPECT_EQ(prev, c.row);  // the row becomes the previous row of the next
}

constexpr uint8_t kAllFilters = pfNone | pfSub | pfUp | pfAverage | pfPaeth;
INSTANTIATE_TEST_SUITE_P(
    Rows, PngFilterChoice,
    ::testing::Values(TFilterCase{pfSub, {1, 2, 3, 4, 5}, FILTER_SUB},              // default: sub only
                      TFilterCase{pfNone, {1, 9, 3, 4, 5}, FILTER_NONE},            // none only
                      TFilterCase{0, {1, 9, 3, 4, 5}, FILTER_NONE},                 // empty set
                      TFilterCase{kAllFilters, {7, 7, 7, 7, 7}, FILTER_NONE},       // none wins the tie
                      TFilterCase{kAllFilters, {10, 20, 30, 40, 50}, FILTER_SUB},   // a ramp: sub repeats
                      TFilterCase{pfUp | pfAverage, {3, 200, 17, 90, 61}, FILTER_NONE}));  // nothing repeats

TEST(PngFilters, UnfilteringUndoesEachFilter) {
  const std::vector<uint8_t> prev = {9, 250, 3, 77, 128, 0};
  const std::vector<uint8_t> row = {200, 1, 45, 45, 3, 255};
  std::array<std::vector<uint8_t>, 4> buffers;
  std::array<std::span<uint8_t>, 4> out;
  for (size_t i = 0; i < 4; ++i) {
    buffers[i].resize(row.size());
    out[i] = buffers[i];
  }
  std::vector<uint8_t> scratch = prev;
  ChoosePngFilter(pfSub | pfUp | pfAverage | pfPaeth, row, scratch, out, 2);
  for (uint8_t type = FILTER_SUB; type <= FILTER_PAETH; ++type) {
    std::vector<uint8_t> decoded = buffers[type - 1];
    EXPECT_TRUE(UnfilterPngRow(type, decoded, prev, 2));
    EXPECT_EQ(decoded, row) << "filter " << int{type};
  }
  std::vector<uint8_t> unknown = row;
  EXPECT_FALSE(UnfilterPngRow(5, unknown, prev, 2));
}

TEST(PngFilters, RowGeometryFollowsColourTypeAndDepth) {
  EXPECT_EQ(PngBytesPerRow(COLOR_PALETTE, 1, 9), 2u);
  EXPECT_EQ(PngBytesPerRow(COLOR_GRAYSCALE, 2, 5), 2u);
  EXPECT_EQ(PngBytesPerRow(COLOR_RGB, 16, 3), 18u);
  EXPECT_EQ(PngBytesPerRow(COLOR_RGBALPHA, 8, 3), 12u);
  EXPECT_EQ(PngBytesPerRow(5, 8, 3), 0u);
  EXPECT_EQ(PngFilterDistance(COLOR_GRAYSCALE, 16), 2);
  EXPECT_EQ(PngFilterDistance(COLOR_RGB, 8), 3);
  EXPECT_EQ(PngFilterDistance(COLOR_GRAYSCALEALPHA, 16), 4);
  EXPECT_EQ(PngFilterDistance(COLOR_RGBALPHA, 16), 8);
}

}  // namespace
}  // namespace qira
