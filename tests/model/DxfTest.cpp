// DXF drawings: runs of entities into surfaces, points and lines; face vertex counts;
// colours from colour numbers and layers; number text; unknown entities and their
// message; cut and damaged files; the colour index; the writer; the import command;
// and ezdxf as the independent peer in both directions.
#include "model/Dxf.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/DrawCosts.h"
#include "model/GraphAxis.h"
#include "model/GraphLines.h"
#include "model/GraphPoints.h"
#include "model/GraphSurface.h"
#include "model/GraphicsSceneSupport.h"
#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/TextLines.h"
#include "support/FakeServices.h"
#include "support/HeapPeak.h"
#include "support/NamedRows.h"
#include "support/PeerRun.h"
#include "support/SceneRenderSupport.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScratchFolder.h"

namespace qira {
namespace {

using test::RunCommand;
using test::TPeerOutput;

constexpr TColor kRed = MakeColor(255, 0, 0);
constexpr TColor kGreen = MakeColor(0, 255, 0);
constexpr TColor kBlue = MakeColor(0, 0, 255);

// ---- Drawing text -------------------------------------------------------------------

// Groups of a drawing as text, one code line and one value line each.
class TDrawing {
 public:
  TDrawing& Group(int code, const std::string& value) {
    body_ += "  " + std::to_string(code) + "\n" + value + "\n";
    return *this;
  }
  TDrawing& Layers(const std::vector<std::pair<std::string, std::string>>& layers) {
    Group(0, "SECTION").Group(2, "TABLES").Group(0, "TABLE").Group(2, "LAYER").Group(70, "1");
    for (const auto& [name, color] : layers) Group(0, "LAYER").Group(2, name).Group(70, "0").Group(62, color);
    return Group(0, "ENDTAB").Group(0, "ENDSEC");
  }
  TDrawing& BeginEntities() { return Group(0, "SECTION").Group(2, "ENTITIES"); }
  TDrawing& End() { return Group(0, "ENDSEC").Group(0, "EOF"); }
  // DXF (x, y, z) = (East, North, Elevation).
  TDrawing& Line(const std::string& layer, const std::string& a, const std::string& b,
                 std::optional<int> color = std::nullopt) {
    Group(0, "LINE").Group(8, layer);
    if (color) Group(62, std::to_string(*color));
    return Xyz(0, a).Xyz(1, b);
  }
  TDrawing& Point(const std::string& layer, const std::string& p, std::optional<int> color = std::nullopt) {
    Group(0, "POINT").Group(8, layer);
    if (color) Group(62, std::to_string(*color));
    return Xyz(0, p);
  }
  TDrawing& Face(const std::string& layer, const std::vector<std::string>& vertices,
                 std::optional<int> flags = std::nullopt, std::optional<int> color = std::nullopt) {
    Group(0, "3DFACE").Group(8, layer);
    if (color) Group(62, std::to_string(*color));
    if (flags) Group(70, std::to_string(*flags));
    for (size_t i = 0; i < vertices.size(); ++i) Xyz(static_cast<int>(i), vertices[i]);
    return *this;
  }
  const std::string& Text() const { return body_; }

 private:
  // "x y z" as groups 10+i, 20+i, 30+i.
  TDrawing& Xyz(int i, const std::string& xyz) {
    std::istringstream in(xyz);
    std::string x, y, z;
    in >> x >> y >> z;
    return Group(10 + i, x).Group(20 + i, y).Group(30 + i, z);
  }
  std::string body_;
};

const TDXFLayer* FindLayer(const TDXF& dxf, const std::string& name) {
  for (const TDXFLayer& l : dxf.Layers())
    if (l.Name == name) return &l;
  return nullptr;
}

// Reads text as the file "drawing.dxf"; messages go to the fake services.
struct TReadDrawing {
  explicit TReadDrawing(const std::string& text, const std::string& name = "drawing.dxf") {
    folder.Put(name, text);
    result = dxf.ReadDXF(folder.File(name));
  }
  TGraphMain* Object(int i) const { return dxf.Objects(i); }
  template <class T>
  T& As(int i) const {
    T* object = dynamic_cast<T*>(dxf.Objects(i));
    EXPECT_NE(object, nullptr) << "object " << i;
    return *object;
  }
  TFakeServices services;
  TScratchFolder folder;
  TDXF dxf;
  bool result = false;
};

// ---- Runs of entities ---------------------------------------------------------------

TEST(DxfReader, LinesOnLayersAABAGiveThreeObjectsNamedAfterTheLayers) {
  TDrawing d;
  d.BeginEntities()
      .Line("A", "0 0 0", "1 0 0")
      .Line("A", "0 0 0", "0 1 0")
      .Line("B", "0 0 0", "0 0 1")
      .Line("A", "1 1 1", "2 2 2")
      .End();
  TReadDrawing read(d.Text());
  ASSERT_TRUE(read.result);
  ASSERT_EQ(read.dxf.ObjectCount(), 3);
  EXPECT_EQ(read.Object(0)->Name(), "A");
  EXPECT_EQ(read.Object(1)->Name(), "B");
  EXPECT_EQ(read.Object(2)->Name(), "A");
  EXPECT_EQ(read.As<TGraphLines>(0).SegmentCount, 2);
  EXPECT_EQ(read.As<TGraphLines>(2).SegmentCount, 1);
  EXPECT_TRUE(read.services.Messages.empty());
}

TEST(DxfReader, AChangeOfKindOnOneLayerStartsANewObjectAndEachRunIsCutToItsCount) {
  TDrawing d;
  d.BeginEntities().Point("L", "1 2 3");
  for (int i = 0; i < 7; ++i) d.Line("L", "0 0 " + std::to_string(i), "1 1 " + std::to_string(i));
  d.Point("L", "4 5 6").Face("L", {"0 0 0", "1 0 0", "1 1 0", "0 1 0"}).End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 4);
  EXPECT_NE(dynamic_cast<TGraphPoints*>(read.Object(0)), nullptr);
  EXPECT_NE(dynamic_cast<TGraphPoints*>(read.Object(2)), nullptr);
  EXPECT_NE(dynamic_cast<TGraphSurface*>(read.Object(3)), nullptr);
  TGraphLines& lines = read.As<TGraphLines>(1);
  EXPECT_EQ(lines.SegmentCount, 7);
  EXPECT_EQ(lines.Segments.size(), 7u);
  EXPECT_EQ(lines.SegmentColors.size(), 7u);
  EXPECT_EQ(lines.SegmentHasColor.size(), 7u);
}

TEST(DxfReader, CoordinatesAreReadAsEastNorthElevationWithEitherDecimalSeparator) {
  TDrawing d;
  d.BeginEntities().Point("P", "1,5 -2.25 3e2").Line("L", "10 20 30", "-1,5 0.5 7").End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 2);
  EXPECT_EQ(read.As<TGraphPoints>(0).Points[0], (TSurveyPoint{-2.25, 1.5, 300}));
  const TLineSegment& s = read.As<TGraphLines>(1).Segments[0];
  EXPECT_EQ(s.Start, (TSurveyPoint{20, 10, 30}));
  EXPECT_EQ(s.End, (TSurveyPoint{0.5, -1.5, 7}));
  EXPECT_EQ(read.Object(1)->BoundsMin, (TSurveyPoint{0.5, -1.5, 7}));
}

TEST(DxfReader, AMissingZIsZeroAndAMissingXOrYOrAMalformedCoordinateDropsTheEntity) {
  TDrawing d;
  d.BeginEntities()
      .Face("F", {"0 0 1", "1 0 1", "1 1 1"})           // no group 13/23/33: the fourth is the third
      .Group(0, "3DFACE").Group(8, "F").Group(10, "1").Group(20, "2").Group(30, "3")  // cut after a corner
      .Face("F", {"0 0 1", "1 0 1", "1 1 1"}).Group(13, "5")  // a fourth corner without its Y
      .Point("P", "1 2 x")                              // malformed
      .Line("L", "1 2 3", "4 5 6.5.1")                  // malformed
      .Group(0, "POINT").Group(8, "P").Group(10, "1").Group(30, "2")  // no 20
      .Point("P", "7 8 9")
      .Group(0, "LINE").Group(8, "L").Group(10, "1").Group(20, "2").Group(21, "4")  // no 11
      .Group(0, "LINE").Group(8, "L").Group(10, "1").Group(20, "2").Group(11, "3").Group(21, "4")  // 2-D
      .End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 3);
  EXPECT_EQ(read.As<TGraphSurface>(0).Faces, (std::vector<TSurfaceFace>{{{0, 0, 1}, {0, 1, 1}, {1, 1, 1}}}));
  EXPECT_EQ(read.As<TGraphPoints>(1).Points, (std::vector<TSurveyPoint>{{8, 7, 9}}));
  EXPECT_EQ(read.As<TGraphLines>(2).SegmentCount, 1);
  EXPECT_EQ(read.As<TGraphLines>(2).Segments[0].Start, (TSurveyPoint{2, 1, 0}));
  EXPECT_EQ(read.As<TGraphLines>(2).Segments[0].End, (TSurveyPoint{4, 3, 0}));
  EXPECT_TRUE(read.services.Messages.empty());
}

// ---- Face vertex counts -------------------------------------------------------------

TEST(DxfReader, FaceVertexCountFollowsEdgeFlagsAndARepeatedFourthVertex) {
  struct Case {
    const char* what;
    std::vector<std::string> vertices;
    std::optional<int> flags;
    std::vector<TSurveyPoint> face;  // survey order
  };
  const std::vector<std::string> distinct{"0 0 0", "1 0 0", "1 1 0", "0 1 0"};
  const TSurveyPoint a{0, 0, 0}, b{0, 1, 0}, c{1, 1, 0}, dd{1, 0, 0};
  const std::vector<Case> cases{
      {"fourth repeats third", {"0 0 0", "1 0 0", "1 1 0", "1 1 0"}, std::nullopt, {a, b, c}},
      {"fourth repeats first", {"0 0 0", "1 0 0", "1 1 0", "0 0 0"}, std::nullopt, {a, b, c}},
      {"flags 4 drop the third", distinct, 4, {a, b, dd}},
      {"flags 1 drop the first", distinct, 1, {b, c, dd}},
      {"flags 8 drop the fourth", distinct, 8, {a, b, c}},
      {"flags 3 keep four", distinct, 3, {a, b, c, dd}},
      {"no flags keep four", distinct, std::nullopt, {a, b, c, dd}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TDrawing d;
    d.BeginEntities().Face("F", k.vertices, k.flags).End();
    TReadDrawing read(d.Text());
    ASSERT_EQ(read.dxf.ObjectCount(), 1);
    const TGraphSurface& s = read.As<TGraphSurface>(0);
    ASSERT_EQ(s.FaceCount, 1);
    EXPECT_EQ(s.Faces[0], k.face);
    EXPECT_EQ(s.FaceKind, k.face.size() == 3 ? 0 : 1);
  }
}

// ---- Colours ------------------------------------------------------------------------

TEST(DxfReader, ColourNumbersAndLayerColoursGiveElementsTheirOwnColours) {
  TDrawing d;
  d.Layers({{"Blue", "5"}, {"Green", "3"}, {"Off", "-2"}, {"Blue", "1"}})
      .BeginEntities()
      .Line("Blue", "0 0 0", "1 0 0", 1)    // own number: red
      .Line("Blue", "0 0 0", "1 0 0", 256)  // by layer: blue (the first definition)
      .Line("Blue", "0 0 0", "1 0 0", 0)    // by block: the layer's too
      .Line("Blue", "0 0 0", "1 0 0")       // no group 62: by layer
      .Point("Green", "1 1 1")
      .Point("Unknown", "1 1 1", 256)
      .Point("Off", "1 1 1")
      .End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 4);
  const TGraphLines& lines = read.As<TGraphLines>(0);
  EXPECT_EQ(lines.SegmentHasColor, (std::vector<uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(lines.SegmentColors, (std::vector<TColor>{kRed, kBlue, kBlue, kBlue}));
  EXPECT_EQ(read.As<TGraphPoints>(1).PointColors[0], kGreen);
  // An unknown layer and a switched-off one leave the object's colour.
  EXPECT_EQ(read.As<TGraphPoints>(2).PointHasColor[0], 0);
  EXPECT_EQ(read.As<TGraphPoints>(3).PointHasColor[0], 0);
  EXPECT_EQ(read.dxf.Layers().size(), 2u);
  EXPECT_EQ(FindLayer(read.dxf, "Off"), nullptr);
}

TEST(DxfReader, ManyLayersAreEachDefinedOnceAndFoundByName) {
  // Each layer and each entity's layer looked up from the start of the list would
  // take minutes here.
  constexpr int kLayers = 250000;
  std::vector<std::pair<std::string, std::string>> layers;
  for (int i = 0; i < kLayers; ++i) layers.emplace_back("L" + std::to_string(i), std::to_string(1 + i % 2));
  layers.emplace_back("L0", "3");  // the first definition wins
  TDrawing d;
  d.Layers(layers).BeginEntities();
  const std::string last = "L" + std::to_string(kLayers - 1);
  for (int i = 0; i < kLayers; ++i) d.Point(last, "1 1 1");
  TReadDrawing read(d.Point("L0", "1 1 1").End().Text());
  ASSERT_EQ(read.dxf.Layers().size(), static_cast<size_t>(kLayers));
  EXPECT_EQ(read.dxf.Layers()[kLayers - 1].Name, last);
  ASSERT_EQ(read.dxf.ObjectCount(), 2);
  const TGraphPoints& points = read.As<TGraphPoints>(0);
  ASSERT_EQ(points.PointCount, kLayers);
  EXPECT_EQ(points.PointColors[kLayers - 1], AciToColor(static_cast<uint8_t>(1 + (kLayers - 1) % 2)));
  EXPECT_EQ(read.As<TGraphPoints>(1).PointColors[0], kRed);
}

TEST(DxfReader, ANegativeColourNumberHidesItsWholeObject) {
  TDrawing d;
  d.BeginEntities()
      .Face("F", {"0 0 0", "1 0 0", "1 1 0", "0 1 0"}, std::nullopt, 2)
      .Face("F", {"0 0 1", "1 0 1", "1 1 1", "0 1 1"}, std::nullopt, -3)
      .Face("G", {"0 0 0", "1 0 0", "1 1 0", "0 1 0"})
      .End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 2);
  const TGraphSurface& f = read.As<TGraphSurface>(0);
  EXPECT_FALSE(f.Visible());
  EXPECT_EQ(f.FaceHasColor, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(f.FaceColors[0], MakeColor(255, 255, 0));
  EXPECT_TRUE(read.Object(1)->Visible());
}

// ---- Sections, unknown entities, line ends ------------------------------------------

TEST(DxfReader, UnknownEntitiesAreListedOnceInTheOrderMet) {
  TDrawing d;
  d.BeginEntities()
      .Group(0, "CIRCLE").Group(8, "0").Group(10, "0").Group(20, "0").Group(30, "0").Group(40, "1")
      .Group(0, "text").Group(1, "hello")
      .Line("L", "0 0 0", "1 1 1")
      .Group(0, "TEXT").Group(1, "again")
      .End();
  TReadDrawing read(d.Text());
  EXPECT_EQ(read.dxf.UnknownEntities(), (std::vector<std::string>{"CIRCLE", "TEXT"}));
  EXPECT_EQ(read.dxf.UnknownCount(), 2);
  EXPECT_EQ(read.dxf.UnknownEntity(1), "TEXT");
  ASSERT_EQ(read.dxf.ObjectCount(), 1);

  // Many names, each met twice: every entity searched the list from its start. The
  // message lists the first ones and tells how many more there are, each name cut to
  // a line that fits the screen.
  constexpr int kNames = 300000;
  const std::string longName = std::string(MaxListedNameLength - 1, 'L') + "\xC3\xA4" + std::string(60000, 'L');
  TDrawing many;
  many.BeginEntities().Group(0, longName);
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < kNames; ++i) many.Group(0, "U" + std::to_string(i));
  TReadDrawing manyRead(many.Line("L", "0 0 0", "1 1 1").End().Text());
  ASSERT_EQ(manyRead.dxf.UnknownCount(), kNames + 1);
  ASSERT_EQ(manyRead.dxf.UnknownEntities().size(), static_cast<size_t>(MaxListedNames));
  EXPECT_EQ(manyRead.dxf.UnknownEntity(1), "U0");
  EXPECT_EQ(manyRead.dxf.UnknownEntity(MaxListedNames - 1), "U" + std::to_string(MaxListedNames - 2));
  std::string listed = std::string(MaxListedNameLength - 1, 'L') + "\xC3\xA4...\r\n";
  for (int i = 0; i < MaxListedNames - 1; ++i) listed += "U" + std::to_string(i) + "\r\n";
  listed += "and " + std::to_string(kNames + 1 - MaxListedNames) + " more\r\n";
  EXPECT_EQ(ListedNames(manyRead.dxf.UnknownEntities(), manyRead.dxf.UnknownCount(), "\r\n"), listed);
  const std::string message = UnknownEntitiesMessage("many.dxf", manyRead.dxf.UnknownEntities(), kNames + 1);
  EXPECT_NE(message.find("unknown objects:\r\n\r\n" + listed + "\r\nIt would be"), std::string::npos);
}

TEST(DxfReader, HeaderBlocksAndOtherTablesArePassedOver) {
  TDrawing d;
  d.Group(0, "SECTION").Group(2, "HEADER").Group(9, "$PROJECTNAME").Group(1, "ENTITIES")
      .Group(9, "$X").Group(1, "TABLES").Group(0, "ENDSEC");
  d.Group(0, "SECTION").Group(2, "TABLES")
      .Group(0, "TABLE").Group(2, "LTYPE").Group(0, "LTYPE").Group(2, "Blue").Group(62, "1").Group(0, "ENDTAB")
      .Group(0, "TABLE").Group(2, "LAYER").Group(0, "LAYER").Group(2, "Blue").Group(62, "5").Group(0, "ENDTAB")
      .Group(0, "ENDSEC");
  d.Group(0, "SECTION").Group(2, "BLOCKS").Group(0, "BLOCK").Group(2, "b");
  d.Point("InBlock", "1 1 1").Group(0, "ENDBLK").Group(0, "ENDSEC");
  d.BeginEntities().Point("Blue", "2 2 2").End();
  TReadDrawing read(d.Text());
  ASSERT_EQ(read.dxf.ObjectCount(), 1);
  const TGraphPoints& p = read.As<TGraphPoints>(0);
  EXPECT_EQ(p.Name(), "Blue");
  EXPECT_EQ(p.PointColors[0], kBlue);
  EXPECT_EQ(read.dxf.Layers().size(), 1u);
}

TEST(DxfReader, CrLfLfAndCrLineEndsAndPaddedCodesAllRead) {
  TDrawing d;
  d.BeginEntities().Line("L", "1 2 3", "4 5 6", 3).End();
  std::string crlf, cr;
  for (char c : d.Text()) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  // A file may also end without its EOF group, in blank lines and a DOS end mark.
  TDrawing open;
  open.BeginEntities().Line("L", "1 2 3", "4 5 6", 3);
  const std::string unterminated = open.Text() + "\r\n\r\n\x1a";
  for (const std::string& text : {d.Text(), crlf, cr, unterminated}) {
    TReadDrawing read(text);
    ASSERT_TRUE(read.result);
    EXPECT_EQ(read.As<TGraphLines>(0).Segments[0].End, (TSurveyPoint{5, 4, 6}));
    EXPECT_TRUE(read.services.Messages.empty());
  }

  // A drawing larger than what the reader reads ahead at a time, a CR LF split across
  // the edge: read exactly as its LF form.
  TDrawing large;
  large.BeginEntities();
  for (int i = 0; i < 4000; ++i)
    large.Line(i % 2 ? "A" : "B", std::to_string(i) + " 1.5 2", "3 4 " + std::to_string(i));
  const std::string lf = large.End().Text();
  std::string largeCrlf;
  for (char c : lf) largeCrlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // Spaces before the first code (trimmed when read) move the last CR before the edge onto it.
  const size_t edge = TTextLineReader::BufferBytes - 1;
  const size_t shift = edge - largeCrlf.rfind('\r', edge);
  largeCrlf.insert(0, shift, ' ');
  ASSERT_EQ(largeCrlf.substr(edge, 2), "\r\n");
  TReadDrawing readLf(std::string(shift, ' ') + lf);
  TReadDrawing readCrlf(largeCrlf);
  ASSERT_EQ(readCrlf.dxf.ObjectCount(), 4000);
  ASSERT_EQ(readLf.dxf.ObjectCount(), 4000);
  for (int i = 0; i < 4000; ++i) {
    EXPECT_EQ(readCrlf.Object(i)->Name(), readLf.Object(i)->Name());
    const TLineSegment& a = readCrlf.As<TGraphLines>(i).Segments.at(0);
    const TLineSegment& b = readLf.As<TGraphLines>(i).Segments.at(0);
    EXPECT_TRUE(a.Start == b.Start && a.End == b.End) << i;
  }
}

TEST(DxfReader, LayerNamesAreDecodedFromUtf8OrWindows1252) {
  for (const char* layer : {"Fl\xC3\xA4" "che", "Fl\xE4" "che"}) {
    TDrawing d;
    d.BeginEntities().Point(layer, "0 0 0").End();
    TReadDrawing read(d.Text());
    EXPECT_EQ(read.Object(0)->Name(), "Fl\xC3\xA4" "che");
  }
}

// ---- Cut and damaged files ----------------------------------------------------------

TEST(DxfReader, TheEntityThatTheEndOfTheFileCutsIsDroppedAndThoseBeforeAreKept) {
  TDrawing before;
  before.BeginEntities().Line("A", "0 0 0", "1 1 1");
  const std::string line = TDrawing(before).Line("B", "0 0 0", "2 2 2").Text();
  // Without the group 0 after it, no entity is known to be whole: a missing Z or
  // fourth corner may be one the file lost.
  const struct {
    const char* what;
    std::string text;
  } cuts[] = {
      {"a line cut after its last value", line},
      {"a line cut before its last line end", line.substr(0, line.size() - 1)},
      {"a line cut between its last code and value", line.substr(0, line.size() - 2)},
      {"a line cut inside its last code", line.substr(0, line.size() - 4)},
      {"a line cut before its last Z",
       TDrawing(before).Group(0, "LINE").Group(8, "B").Group(10, "1").Group(20, "2").Group(30, "3")
           .Group(11, "3").Group(21, "2").Text()},
      {"a face cut after its third corner", TDrawing(before).Face("F", {"0 0 1", "1 0 1", "1 1 1"}).Text()},
      {"a point cut before its Z", TDrawing(before).Group(0, "POINT").Group(8, "P").Group(10, "7").Group(20, "8")
                                        .Text()},
  };
  for (const auto& [what, text] : cuts) {
    SCOPED_TRACE(what);
    TReadDrawing read(text);
    ASSERT_TRUE(read.result);
    ASSERT_EQ(read.dxf.ObjectCount(), 1);
    EXPECT_EQ(read.Object(0)->Name(), "A");
    EXPECT_EQ(read.As<TGraphLines>(0).SegmentCount, 1);
    EXPECT_TRUE(read.services.Messages.empty());
  }
  // Every cut finishes without a message or a hang, and never keeps the cut line.
  for (size_t cut = 0; cut < line.size(); ++cut) {
    TReadDrawing read(line.substr(0, cut));
    EXPECT_TRUE(read.services.Messages.empty()) << cut;
    EXPECT_LE(read.dxf.ObjectCount(), 1) << cut;
  }
}

TEST(DxfReader, ADamagedDrawingIsReportedAndMakesNothing) {
  TDrawing good;
  good.BeginEntities().Line("A", "0 0 0", "1 1 1").Group(0, "CIRCLE");
  const std::vector<std::pair<const char*, std::string>> damaged{
      {"a code that is no number", good.Text() + "abc\nLINE\n"},
      {"a code out of range", good.Text() + "  5000\nx\n"},
      {"a blank line inside", good.Text() + "\n  0\nEOF\n"},
      {"lines out of step", good.Text() + "  0\nLINE\n  8\n  10\n1.5\n  20\n"},
      {"a control character", good.Text() + "  0\nLINE\n  8\nA\x01\n"},
      {"a binary drawing", std::string("AutoCAD Binary DXF\r\n\x1a\0\0\x01", 24)},
      {"an endless line", good.Text() + "  1\n" + std::string(70000, 'x') + "\n"},
  };
  for (const auto& [what, text] : damaged) {
    SCOPED_TRACE(what);
    TReadDrawing read(text, "bad.dxf");
    EXPECT_FALSE(read.result);
    EXPECT_TRUE(read.dxf.Damaged());
    EXPECT_EQ(read.dxf.ObjectCount(), 0);
    EXPECT_EQ(read.dxf.UnknownCount(), 0);
    ASSERT_EQ(read.services.Messages.size(), 1u);
    EXPECT_EQ(read.services.Messages[0].Text, "File bad.dxf has invalid format");
    EXPECT_EQ(read.services.Messages[0].Kind, TMessageKind::Error);
  }
}

// ---- Colour index -------------------------------------------------------------------

TEST(DxfColorIndex, ColoursAreBuiltFromTheIndexStructure) {
  const std::vector<std::pair<int, TColor>> table{
      {0, MakeColor(0, 0, 0)},        {1, MakeColor(255, 0, 0)},      {5, MakeColor(0, 0, 255)},
      {7, MakeColor(255, 255, 255)},  {8, MakeColor(128, 128, 128)},  {9, MakeColor(192, 192, 192)},
      {10, MakeColor(255, 0, 0)},     {11, MakeColor(255, 127, 127)}, {12, MakeColor(204, 0, 0)},
      {16, MakeColor(128, 0, 0)},     {18, MakeColor(76, 0, 0)},      {19, MakeColor(76, 38, 38)},
      {21, MakeColor(255, 159, 127)}, {30, MakeColor(255, 127, 0)},   {170, MakeColor(0, 0, 255)},
      {249, MakeColor(76, 38, 48)},   {250, MakeColor(51, 51, 51)},   {254, MakeColor(214, 213, 214)},
      {255, MakeColor(255, 255, 255)},
  };
  for (const auto& [index, color] : table) EXPECT_EQ(AciToColor(static_cast<uint8_t>(index)), color) << index;
}

TEST(DxfColorIndex, TheNearestIndexWinsAndTiesGoToTheLowest) {
  EXPECT_EQ(ColorToAci(MakeColor(0, 0, 0)), 0);
  EXPECT_EQ(ColorToAci(MakeColor(255, 255, 255)), 7);
  EXPECT_EQ(ColorToAci(MakeColor(255, 0, 0)), 1);
  EXPECT_EQ(ColorToAci(MakeColor(250, 5, 3)), 1);
  EXPECT_EQ(ColorToAci(MakeColor(214, 213, 214)), 254);
  for (int i = 0; i < 256; ++i) {
    const TColor c = AciToColor(static_cast<uint8_t>(i));
    const uint8_t back = ColorToAci(c);
    EXPECT_LE(back, i);
    EXPECT_EQ(AciToColor(back), c) << i;
  }
}

// ---- Writer -------------------------------------------------------------------------

std::string Written(const std::function<bool(TBinaryStream&)>& write) {
  TMemoryStream s;
  EXPECT_TRUE(write(s));
  return std::string(s.Data().begin(), s.Data().end());
}

TEST(DxfWriter, AGroupIsTwoSpacesAndTheCodeThenTheValue) {
  EXPECT_EQ(Written([](TBinaryStream& s) { return WriteDXFGroup(s, 62, "7"); }), "  62\r\n7\r\n");
  EXPECT_EQ(Written([](TBinaryStream& s) { return WriteDXFGroup(s, 0, "3DFACE"); }), "  0\r\n3DFACE\r\n");
  EXPECT_EQ(Written([](TBinaryStream& s) { return WriteDXFGroup(s, 8, "L\xC3\xA4"); }), "  8\r\nL\xE4\r\n");
  EXPECT_EQ(Written([](TBinaryStream& s) { return WriteDXFReal(s, 10, -1234.5); }), "  10\r\n-1234.5\r\n");
  TMemoryStream s;
  EXPECT_FALSE(WriteDXFGroup(s, 1, "two\nlines"));
  EXPECT_FALSE(WriteDXFReal(s, 10, std::numeric_limits<double>::infinity()));
  EXPECT_EQ(s.Size(), 0);
}

TEST(DxfWriter, HeaderAndFooterFrameAnEmptyEntitiesSection) {
  const std::string expected =
      "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  0\r\nENDSEC\r\n"
      "  0\r\nSECTION\r\n  2\r\nTABLES\r\n  0\r\nENDSEC\r\n"
      "  0\r\nSECTION\r\n  2\r\nBLOCKS\r\n  0\r\nENDSEC\r\n"
      "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"
      "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
  EXPECT_EQ(Written([](TBinaryStream& s) { return WriteDXFHeader(s) && WriteDXFFooter(s); }), expected);
}

TEST(DxfWriter, AFailedWriteKeepsTheOldFile) {
  TScratchFolder folder;
  const std::string path = folder.File("out.dxf");
  folder.Put("out.dxf", "old");
  std::string error;
  EXPECT_FALSE(WriteDXFFile(path, [](TBinaryStream&) { return false; }, &error));
  EXPECT_EQ(folder.Get("out.dxf"), "old");
  EXPECT_EQ(folder.Entries().size(), 1u);
  ASSERT_TRUE(WriteDXFFile(path, [](TBinaryStream& s) { return WriteDXFGroup(s, 0, "POINT"); }, &error)) << error;
  EXPECT_NE(folder.Get("out.dxf").find("POINT"), std::string::npos);
  EXPECT_FALSE(WriteDXFFile(folder.File("no/such/folder.dxf"), nullptr, &error));
}

// A drawing with texts Windows-1252 cannot hold is asked about before anything is
// made, each layer named with its characters: No writes nothing and keeps the old
// file; Yes writes them as the format has them, with "?".
TEST(DxfWriter, ALayerTheFileCannotHoldIsNamedBeforeAnythingIsWritten) {
  TScratchFolder folder;
  const std::string path = folder.File("out.dxf");
  folder.Put("out.dxf", "old");
  TFakeServices services;
  const auto entities = [](TBinaryStream& s) {
    return WriteDXFGroup(s, 0, "POINT") && WriteDXFGroup(s, 8, "\u0413\u043B\u0438\u043D\u0430") &&
           WriteDXFGroup(s, 0, "POINT") && WriteDXFGroup(s, 8, "\u03A9-zone") && WriteDXFGroup(s, 0, "POINT") &&
           WriteDXFGroup(s, 8, "Plain");
  };
  services.BoxAnswers = {TMessageResult::No};
  std::string error = "untouched";
  EXPECT_FALSE(WriteDXFFile(path, entities, &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(folder.Get("out.dxf"), "old");
  EXPECT_EQ(folder.Entries().size(), 1u);
  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Text,
            "The file \"" + path +
                "\" stores texts in Windows-1252, which has no place for these characters: each would be saved as "
                "\"?\".\n\n\u0413 \u043B \u0438 \u043D \u0430 in layer \"\u0413\u043B\u0438\u043D\u0430\"\n"
                "\u03A9 in layer \"\u03A9-zone\"\n\nSave anyway?");
  EXPECT_EQ(services.Messages[0].Buttons, TMessageButtons::YesNo);
  EXPECT_EQ(services.Messages[0].DefaultButton, 2);
  services.BoxAnswers = {TMessageResult::Yes};
  ASSERT_TRUE(WriteDXFFile(path, entities, &error)) << error;
  EXPECT_NE(folder.Get("out.dxf").find("  8\r\n?????\r\n  0\r\nPOINT\r\n  8\r\n?-zone\r\n"), std::string::npos);
}

// ---- Import command -----------------------------------------------------------------

TEST(DxfImportCommand, ObjectsGoSortedIntoAGroupNamedAfterTheFileAndUnknownsAreListed) {
  graphics_testing::TViewScene view;
  TFakeServices services;
  TScratchFolder folder;
  TDrawing d;
  d.BeginEntities()
      .Line("b", "0 0 0", "1 1 1")
      .Group(0, "CIRCLE").Group(0, "TEXT").Group(0, "TEXT")
      .Point("a", "0 0 0")
      .Face("B", {"0 0 0", "1 0 0", "1 1 0", "0 1 0"})
      .End();
  folder.Put("site.plan.dxf", d.Text());
  services.FileAnswers.push_back(folder.File("site.plan.dxf"));
  ImportPath = "/elsewhere/";
  TGraphMain root;
  root.SetContext(&view.context);
  RegisterDxfCommand();
  TObjectMenu menu;
  root.FillMenu(menu);
  const TObjectMenuItem* item = FindMenuItem(FindMenuItem(menu, "&Create")->Items, "Objects from D&XF");
  ASSERT_TRUE(item && item->Enabled);
  item->OnClick();

  ASSERT_EQ(services.FileCalls.size(), 1u);
  EXPECT_EQ(services.FileCalls[0].Request.Filter, "Drawing eXchange Format files (*.dxf)|*.DXF|All files (*.*)|*.*");
  EXPECT_EQ(services.FileCalls[0].Request.InitialDir, "/elsewhere/");
  EXPECT_EQ(ImportPath, folder.Path() + "/");
  ASSERT_EQ(root.ChildCount(), 1);
  TGraphMain& group = *root.GetChild(0);
  EXPECT_EQ(group.Name(), "site.plan");
  ASSERT_EQ(group.ChildCount(), 3);
  EXPECT_EQ(group.GetChild(0)->Name(), "B");
  EXPECT_EQ(group.GetChild(2)->Name(), "b");
  // Built in the view.
  EXPECT_TRUE(dynamic_cast<TGraphSurface&>(*group.GetChild(0)).FrontMesh);
  EXPECT_TRUE(dynamic_cast<TGraphLines&>(*group.GetChild(2)).Pipe);

  ASSERT_EQ(services.Messages.size(), 1u);
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Information);
  EXPECT_EQ(services.Messages[0].Text,
            "File site.plan.dxf contains following unknown objects:\r\n\r\n"
            "CIRCLE\r\nTEXT\r\n\r\n"
            "It would be appreciated if you send this file as example to us\r\n"
            "to support unknown objects in future versions.\r\n"
            "You can find our coordinates on 'About' window.\r\n\r\n"
            "Thank you in advance for your cooperation!\r\n\r\n"
            "Zorblat production.");
  RegisterCreateCommand(TCreateCommand::ObjectsFromDxf, nullptr);
}

TEST(DxfImportCommand, ADrawingThatMakesNothingIsReportedWithItsUnknownsAndCancelOrTooLittleMemoryChangesNothing) {
  TFakeServices services;
  TScratchFolder folder;
  TDrawing d;
  d.BeginEntities().Group(0, "SPLINE").Point("P", "x 0 0").End();
  folder.Put("only.dxf", d.Text());
  services.FileAnswers.push_back(folder.File("only.dxf"));
  services.FileAnswers.push_back(std::nullopt);
  TGraphMain root;
  EXPECT_EQ(ObjectsFromDxfClick(root), nullptr);
  EXPECT_EQ(root.ChildCount(), 0);
  ASSERT_EQ(services.Messages.size(), 2u);
  EXPECT_EQ(services.Messages[0].Text,
            "File only.dxf holds no 3DFACE, POINT or LINE entity that could be read: nothing was imported.");
  EXPECT_EQ(services.Messages[0].Kind, TMessageKind::Information);
  EXPECT_NE(services.Messages[1].Text.find("only.dxf contains following unknown objects:\r\n\r\nSPLINE\r\n"),
            std::string::npos);
  EXPECT_EQ(ObjectsFromDxfClick(root), nullptr);
  EXPECT_EQ(services.Messages.size(), 2u);
  // A drawing the memory cannot hold is refused before anything is built.
  TDrawing line;
  line.BeginEntities().Line("A", "0 0 0", "1 1 1").End();
  folder.Put("large.dxf", line.Text());
  services.FileAnswers.push_back(folder.File("large.dxf"));
  {
    const TScopedMemoryProbe probe([] { return int64_t{0}; });
    EXPECT_EQ(ObjectsFromDxfClick(root), nullptr);
  }
  EXPECT_EQ(root.ChildCount(), 0);
  ASSERT_EQ(services.Messages.size(), 3u);
  const std::string large = folder.File("large.dxf");
  EXPECT_EQ(services.Messages[2].Text, ImportMemoryProblem(large, DxfImportBytes(large), 0));
  EXPECT_NE(services.Messages[2].Text.find("is too large to be imported: it needs "), std::string::npos);
  EXPECT_EQ(services.Messages[2].Kind, TMessageKind::Error);
}

// ---- The count of an import --------------------------------------------------------

// The drawing with each code line in `codes` written in its other form.
std::string WithCodes(const std::string& text, const std::vector<std::pair<std::string, std::string>>& codes) {
  std::istringstream in(text);
  std::string out, code, value;
  while (std::getline(in, code) && std::getline(in, value)) {
    for (const auto& [plain, other] : codes)
      if (code == plain) code = other;
    out += code + "\n" + value + "\n";
  }
  return out;
}

// A drawing of `count` entities of one kind ("LINE", "3DFACE" or "POINT") over a grid
// that fills the measuring view (DXF North across it, the elevation up it, centred),
// on one layer or on two taking turns.
std::string GridDrawing(const std::string& kind, int count, bool layersTakingTurns) {
  const int columns = std::max(1, static_cast<int>(std::sqrt(count * 4.0 / 3.0)));
  const int rows = (count + columns - 1) / columns;
  const double du = 60.0 / columns, dv = 44.0 / rows;
  TDrawing d;
  d.BeginEntities();
  // Corner i of an entity at (u, v): DXF X (East) 0, Y (North) u, Z (elevation) v.
  auto corner = [&](int i, double u, double v) {
    d.Group(10 + i, "0").Group(20 + i, std::to_string(u - 30)).Group(30 + i, std::to_string(v - 22));
  };
  for (int i = 0; i < count; ++i) {
    const double u = (i % columns) * du, v = (i / columns) * dv;
    d.Group(0, kind).Group(8, layersTakingTurns && i % 2 ? "B" : "A");
    corner(0, u, v);
    if (kind == "LINE") corner(1, u + du, v + dv);
    if (kind == "3DFACE") {
      corner(1, u + du, v);
      corner(2, u + du, v + dv);
      corner(3, u, v + dv);
    }
  }
  return d.End().Text();
}

// The rows of the count: a drawing, the same drawing without what the row counts, and
// what that part counts at least, from the drawing. The rows large enough to weigh are
// also checked against what the import and its first draw are measured to take.
// A row's drawing, made when the row runs: the large ones take seconds to make, and
// each row runs in a case of its own.
class TRowDrawing {
 public:
  TRowDrawing(std::string text) : make_([text = std::move(text)] { return text; }) {}
  template <class F>
    requires std::is_invocable_r_v<std::string, F&>
  TRowDrawing(F make) : make_(std::move(make)) {}
  std::string Text() const { return make_(); }

 private:
  std::function<std::string()> make_;
};

struct TCountRow {
  const char* what;
  TRowDrawing text;
  TRowDrawing less;        // the same drawing without what the row counts
  int64_t difference;      // what the row counts at least, from the drawing
  bool measured = false;   // weighed against what the import and its first draw take
};

// Entities of each small row.
constexpr int kN = 60;

std::vector<TCountRow> CountRows() {
  auto drawing = [](const std::function<void(TDrawing&, int)>& entity, int count = kN) {
    TDrawing d;
    d.BeginEntities();
    for (int i = 0; i < count; ++i) entity(d, i);
    return d.End().Text();
  };
  const std::vector<std::string> square{"0 0 0", "1 0 0", "1 1 0", "0 1 0"};
  const std::string none = drawing([](TDrawing&, int) {});
  const std::string faces = drawing([&](TDrawing& d, int) { d.Face("A", square); });
  const std::string alternating = drawing([&](TDrawing& d, int i) { d.Face(i % 2 ? "A" : "B", square); });
  const std::string longName(60000, 'n');
  const std::string longNames =
      drawing([&](TDrawing& d, int i) { d.Face((i % 2 ? "A" : "B") + longName, square); });
  const std::string unknownName(200, 'U');
  // Sizes at which what each part takes stands out of what the first draw of any
  // drawing takes; the frame's count reaches its bound from about 8,000 segments or
  // 2,000 objects, and is of their size below (one object of points, a few lines).
  constexpr int kLines = 100000, kFewerLines = 20000, kObjects = 10000, kNames = 200000, kPoints = 20000;
  const auto lines = [] { return GridDrawing("LINE", kLines, false); };
  const auto tenLines = [](TDrawing& d) {
    for (int i = 0; i < 10; ++i) d.Line("LAYER1", "0 0 " + std::to_string(i), "0 1 " + std::to_string(i));
    return d.End().Text();
  };
  constexpr int kGrowingLayers = (1 << 16) + 1;
  // A LAYER table of `count` layers and nothing else.
  const auto layerTableOf = [](int count) {
    std::vector<std::pair<std::string, std::string>> manyLayers;
    for (int i = 0; i < count; ++i) manyLayers.emplace_back("G" + std::to_string(i), "1");
    TDrawing table;
    return table.Layers(manyLayers).BeginEntities().End().Text();
  };
  const auto growingLayers = [=] { return layerTableOf(kGrowingLayers); };
  const auto unGrownLayers = [=] { return layerTableOf(kGrowingLayers - 1); };
  return {
      {"3DFACE", faces, none, SurfaceDrawCost.Of(1, kN)},
      {"POINT", drawing([](TDrawing& d, int) { d.Point("A", "1 2 3"); }), none, PointsDrawCost.Of(1, kN)},
      {"LINE", drawing([](TDrawing& d, int) { d.Line("A", "0 0 0", "1 1 1"); }), none, LinesDrawCost.Of(1, kN)},
      {"an object at each change of layer", alternating, faces, (kN - 1) * SurfaceDrawCost.ObjectBytes},
      // The object keeps its name and its sort key.
      {"long layer names", longNames, alternating, kN * 2 * static_cast<int64_t>(longName.size())},
      // The reader keeps each name in its list and its index, and the message lists it.
      {"unknown names", drawing([&](TDrawing& d, int i) { d.Group(0, unknownName + std::to_string(i)); }), none,
       kN * 3 * static_cast<int64_t>(unknownName.size())},
      // One layer past a doubling of the list: at its growth every layer stands in the
      // old list and in the new one of twice as many, counted before it happens.
      {"a LAYER table at its list's growth", growingLayers, none, kGrowingLayers * 3 * int64_t{sizeof(TDXFLayer)}},
      // The one layer that makes the list grow needs its new array beside the old one.
      {"the layer that makes the list grow", growingLayers, unGrownLayers,
       (kGrowingLayers - 1) * 2 * int64_t{sizeof(TDXFLayer)}},
      // Past the names the message lists, each is kept in the index alone.
      {"unknown names past those listed",
       drawing([&](TDrawing& d, int i) { d.Group(0, unknownName + std::to_string(i)); }, MaxListedNames + kN),
       drawing([&](TDrawing& d, int i) { d.Group(0, unknownName + std::to_string(i)); }, MaxListedNames),
       kN * static_cast<int64_t>(unknownName.size())},
      {"codes written 08 and 00", WithCodes(alternating, {{"  0", "00"}, {"  8", "08"}}), none,
       SurfaceDrawCost.Of(kN, kN)},
      {"codes written +8 and with a tab", WithCodes(alternating, {{"  8", "+8\t"}}), none,
       SurfaceDrawCost.Of(kN, kN)},
      // Weighed against what the import and its first draw take: the frame the first
      // draw of a drawing takes; each segment beyond; objects of each kind; one object
      // of many points and a drawing of a few lines, whose frames are small; a LAYER
      // table; unknown entity names.
      {"LINEs and the frame", lines, none, LinesDrawCost.Of(1, kLines), true},
      {"each segment", lines, [] { return GridDrawing("LINE", kFewerLines, false); },
       LinesDrawCost.ElementBytes * (kLines - kFewerLines), true},
      {"3DFACE objects", [] { return GridDrawing("3DFACE", kObjects, true); }, none,
       SurfaceDrawCost.Of(kObjects, kObjects), true},
      {"POINT objects", [] { return GridDrawing("POINT", 2 * kObjects, true); }, none,
       PointsDrawCost.Of(2 * kObjects, 2 * kObjects), true},
      {"one object of POINTs", [] { return GridDrawing("POINT", kPoints, false); }, none,
       PointsDrawCost.Of(1, kPoints), true},
      {"10 LINEs",
       [=] {
         TDrawing justTenLines;
         return tenLines(justTenLines.BeginEntities());
       },
       none, LinesDrawCost.Of(1, 10), true},
      // The layer's entry in the list and the index, each with its name.
      {"a LAYER table",
       [=] {
         std::vector<std::pair<std::string, std::string>> layers;
         for (int i = 0; i < kNames; ++i) layers.emplace_back("LAYER" + std::to_string(i), std::to_string(1 + i % 255));
         TDrawing layerTable;
         return tenLines(layerTable.Layers(layers).BeginEntities());
       },
       [=] {
         TDrawing noLayerTable;
         return tenLines(noLayerTable.BeginEntities());
       },
       kNames * 2 * int64_t{6}, true},
      {"many unknown names",
       [=] { return drawing([](TDrawing& d, int i) { d.Group(0, "SHAPE" + std::to_string(i)); }, kNames); }, none,
       kNames * 3 * int64_t{6}, true},
  };
}

const TCountRow& FindRow(const std::vector<TCountRow>& rows, const std::string& what) {
  const auto found = std::find_if(rows.begin(), rows.end(), [&](const TCountRow& row) { return row.what == what; });
  EXPECT_NE(found, rows.end()) << what;
  return *found;
}

// The rows of CountRows by name, in order: one case a row, so that the rows spread
// over the test shards.
constexpr const char* kCountRowNames[] = {"3DFACE",
                                          "POINT",
                                          "LINE",
                                          "an object at each change of layer",
                                          "long layer names",
                                          "unknown names",
                                          "a LAYER table at its list's growth",
                                          "the layer that makes the list grow",
                                          "unknown names past those listed",
                                          "codes written 08 and 00",
                                          "codes written +8 and with a tab",
                                          "LINEs and the frame",
                                          "each segment",
                                          "3DFACE objects",
                                          "POINT objects",
                                          "one object of POINTs",
                                          "10 LINEs",
                                          "a LAYER table",
                                          "many unknown names"};

class DxfImportCountRows : public ::testing::TestWithParam<const char*> {};

TEST_P(DxfImportCountRows, CountsEachKindRunNameAndUnknownNameAsTheReaderReadsThemAndTheReaderRefusesByIt) {
  const std::vector<TCountRow> rows = CountRows();
  TScratchFolder folder;
  const TCountRow& row = FindRow(rows, GetParam());
  folder.Put("more.dxf", row.text.Text());
  folder.Put("less.dxf", row.less.Text());
  const int64_t count = DxfImportBytes(folder.File("more.dxf"));
  EXPECT_GT(row.difference, 0);
  EXPECT_GE(count - DxfImportBytes(folder.File("less.dxf")), row.difference);
  // The reader takes what the count says, and no less is enough; refused at any
  // memory, it tells the whole count (the large rows once, half-way through).
  TFakeServices services;
  const std::vector<int64_t> rooms =
      row.measured ? std::vector<int64_t>{count / 2} : std::vector<int64_t>{0, count / 2, count - 1};
  for (const int64_t room : rooms) {
    const TScopedMemoryProbe probe([room] { return room; });
    TDXF refused;
    EXPECT_FALSE(refused.ReadDXF(folder.File("more.dxf")));
    EXPECT_EQ(refused.UnknownCount(), 0);
    ASSERT_EQ(services.Messages.size(), 1u);
    EXPECT_EQ(services.Messages[0].Text, ImportMemoryProblem(folder.File("more.dxf"), count, room)) << room;
    services.Messages.clear();
  }
  const TScopedMemoryProbe probe([count] { return count; });
  TDXF read;
#if defined(QIRA_HEAP_HOOKS)
  test::THeapPeak::Start();
#endif
  EXPECT_TRUE(read.ReadDXF(folder.File("more.dxf")) || read.UnknownCount() > 0 || read.Completed());
#if defined(QIRA_HEAP_HOOKS)
  // Whatever its containers' growth takes on the way is counted before it happens:
  // the heap never passes the count, but for the reader's own buffers of the file.
  EXPECT_LE(test::THeapPeak::Stop(), count + 2 * static_cast<int64_t>(TTextLineReader::BufferBytes));
#endif
  EXPECT_TRUE(services.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, DxfImportCountRows, ::testing::ValuesIn(kCountRowNames));

TEST(DxfImportCount, EveryRowRunsAndCodesWrittenEitherWayCountTheSame) {
  const std::vector<TCountRow> rows = CountRows();
  test::ExpectEveryRowListed(rows, [](const TCountRow& row) { return row.what; }, kCountRowNames);
  // Written either way, the codes give the same drawing and the same count.
  TScratchFolder folder;
  const std::string alternating = FindRow(rows, "an object at each change of layer").text.Text();
  folder.Put("plain.dxf", alternating);
  folder.Put("padded.dxf", WithCodes(alternating, {{"  0", "00"}, {"  8", "08"}}));
  EXPECT_EQ(DxfImportBytes(folder.File("padded.dxf")), DxfImportBytes(folder.File("plain.dxf")));
}

TEST(DxfImportCount, PastItsRoomAReadingKeepsTheNamesFingerprintsWithinAShareOfIt) {
  TScratchFolder folder;
  // Past its room a reading keeps the names' fingerprints within a share of that room,
  // however many names the drawing holds. Past what the share holds it tells names apart
  // no more: a name met again is counted again, so the need told may be more than the
  // drawing's, never less.
  constexpr int kNames = 300000;
  TDrawing twice;
  twice.BeginEntities();
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < kNames; ++i) twice.Group(0, "U" + std::to_string(i));
  folder.Put("twice.dxf", twice.End().Text());
  const std::string path = folder.File("twice.dxf");
  const int64_t toldApart = DxfImportBytes(path);
  for (const int64_t room : {int64_t{0}, int64_t{4} << 20}) {
    SCOPED_TRACE(room);
    const TScopedMemoryProbe probe([room] { return room; });
    const int64_t counted = DxfImportBytes(path);
    EXPECT_GT(counted, toldApart);
    TFakeServices services;
    TDXF refused;
#if defined(QIRA_HEAP_HOOKS)
    test::THeapPeak::Start();
#endif
    EXPECT_FALSE(refused.ReadDXF(path));
#if defined(QIRA_HEAP_HOOKS)
    // The room, and the reader's own buffers of the file.
    EXPECT_LE(test::THeapPeak::Stop(), room + 2 * static_cast<int64_t>(TTextLineReader::BufferBytes));
#endif
    ASSERT_EQ(services.Messages.size(), 1u);
    EXPECT_EQ(services.Messages[0].Text, ImportMemoryProblem(path, counted, room));
  }
}

#if defined(QIRA_HEAP_HOOKS)
TEST(DxfImportCount, ACountShortOfWhatTheProcessTakesIsRefusedTellingWhatWasMeasured) {
  TScratchFolder folder;
  // A count short of what the process is seen to take (the limits' figures telling twice
  // what the heap gave since the reading began): names of 40 characters, counted to fit
  // the memory there is, are refused before the figures say it is used up, telling what
  // they measured; at that need and 5 % more the drawing reads through.
  constexpr int kLongNames = 100000;
  TDrawing longNames;
  longNames.BeginEntities();
  for (int i = 0; i < kLongNames; ++i) {
    const std::string digits = std::to_string(i);
    longNames.Group(0, "U" + std::string(39 - digits.size(), '0') + digits);
  }
  folder.Put("long.dxf", longNames.End().Text());
  const std::string longPath = folder.File("long.dxf");
  const int64_t longCount = DxfImportBytes(longPath);
  int64_t told = 0;
  for (const bool first : {true, false}) {
    SCOPED_TRACE(first ? "at the count" : "at the need told");
    const int64_t room = first ? longCount : told + told / 20;
    const TScopedMemoryProbe twice([room] { return room - 2 * test::THeapPeak::Held(); });
    TFakeServices services;
    TDXF read;
    test::THeapPeak::Start();
    read.ReadDXF(longPath);
    EXPECT_LE(2 * test::THeapPeak::Stop(), room);
    if (first) {
      EXPECT_EQ(read.UnknownCount(), 0);
      ASSERT_EQ(services.Messages.size(), 1u);
      const std::string& text = services.Messages[0].Text;
      const size_t at = text.find("it needs ");
      ASSERT_NE(at, std::string::npos) << text;
      told = std::stoll(text.substr(at + 9)) << 20;
      EXPECT_GT(told, longCount);
    } else {
      EXPECT_TRUE(read.Completed());
      EXPECT_EQ(read.UnknownCount(), kLongNames);
      EXPECT_TRUE(services.Messages.empty());
    }
  }
}
#endif

#if defined(QIRA_HEAP_HOOKS)
// What the import of the drawing into a new document, with its message, and the first
// draw of what it added take on the heap, over what they free: the document's view
// (800 x 600; 1920 x 1080 takes the same) drawn once with its axis before, as a new
// window shows it.
int64_t MeasuredImportBytes(const std::string& path) {
  const auto view = std::make_unique<testing::TRenderedScene>(800, 600);
  view->quad->SetVisible(false);
  TSceneContext context;
  graphics_testing::AddViewCubes(*view->scene, context);
  TGraphMain root;
  root.SetContext(&context);
  root.AddChild(std::make_unique<TGraphAxis>(), true);
  root.Build(true);
  const auto draw = [&] {
    view->buffer->Render();
    (void)view->Pixel(0, 0);  // the frame finished
  };
  draw();
  TFakeServices services;
  services.FileAnswers.push_back(path);
  test::THeapPeak::Start();
  ObjectsFromDxfClick(root);
  draw();
  return test::THeapPeak::Stop();
}

// Exit status of a measuring process that could make no headless context.
constexpr int kNoHeadlessGL = 3;

bool MeasuredOrNoHeadlessGL(int status) {
  return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kNoHeadlessGL);
}

// Weighs the measured row of that name (see below) and ends the process: status 0
// when it is in its band, 1 (after telling the row on standard error) when it is not.
[[noreturn]] void WeighMeasuredRowAndExit(const std::string& what) {
  setenv("LP_NUM_THREADS", "0", 1);
  RegisterMaterialClasses();
  try {
    const testing::TRenderedScene view(8, 8);
  } catch (const std::exception&) {
    _exit(kNoHeadlessGL);
  }
  TScratchFolder folder;
  const std::vector<TCountRow> rows = CountRows();
  const TCountRow& row = FindRow(rows, what);
  const auto need = [&](const std::string& text) {
    folder.Put("measured.dxf", text);
    return MeasuredImportBytes(folder.File("measured.dxf"));
  };
  folder.Put("more.dxf", row.text.Text());
  folder.Put("less.dxf", row.less.Text());
  const int64_t counted = DxfImportBytes(folder.File("more.dxf")) - DxfImportBytes(folder.File("less.dxf"));
  const int64_t measured = need(row.text.Text()) - need(row.less.Text());
  const double ratio = measured > 0 ? static_cast<double>(counted) / static_cast<double>(measured) : 0;
  std::fprintf(stderr, "%s: %.1f MB counted, %.1f MB measured (%.2f)\n", row.what, counted / 1048576.0,
               measured / 1048576.0, ratio);
  std::fflush(stderr);
  _exit(row.measured && ratio >= 1.0 && ratio <= 2.0 ? 0 : 1);
}

// A count stands for what its step takes: not below it, and not so far above that a
// drawing the memory can hold is refused. Each measured row's part of the count (its
// drawing's less the drawing without it) is weighed against that part of what the
// import and its first draw are measured to take, so that a cost that drifts from the
// engine's (a draw cost halved, the frame left out, the layer table uncounted) fails.
// The driver's rasterizer threads keep one to three scenes of bins (36 MB each) as
// their pace allows, so what a first draw takes with them follows the machine's load:
// the need is measured in a process of its own whose driver rasterizes as it draws,
// one scene at a time (the frame's count covers the two the threads mostly keep).
// One case a row, so that the rows spread over the test shards.
class DxfImportCountGLDeathTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DxfImportCountGLDeathTest, EachMeasuredPartIsCountedAtOnceToTwiceWhatItsImportAndFirstDrawTake) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WeighMeasuredRowAndExit(GetParam()), MeasuredOrNoHeadlessGL, "");
  try {
    const testing::TRenderedScene view(8, 8);
  } catch (const std::exception& error) {
    QIRA_SKIP_OR_FAIL_IN_CI("no headless OpenGL: " << error.what());
  }
}

INSTANTIATE_TEST_SUITE_P(MeasuredRows, DxfImportCountGLDeathTest,
                         ::testing::Values("LINEs and the frame", "each segment", "3DFACE objects", "POINT objects",
                                           "one object of POINTs", "10 LINEs", "a LAYER table",
                                           "many unknown names"));
#endif

// ---- Peer: ezdxf --------------------------------------------------------------------

TPeerOutput RunPeer(const std::string& arguments) {
  return RunCommand(std::string(QIRA_PYTHON) + " '" + QIRA_FIXTURES_DIR + "/dxf_peer.py' " + arguments);
}

// A drawing as the section export writes it: faces with a subclass marker and
// coordinates with two decimals, plus a line and a point.
bool WriteSample(TBinaryStream& s) {
  const double corners[4][3] = {{1, 2, 3}, {4.25, 5, 6}, {7, 8.5, 9}, {1, 2, 3}};
  if (!WriteDXFGroup(s, 0, "3DFACE") || !WriteDXFGroup(s, 8, "12_5kHz") || !WriteDXFGroup(s, 62, "5") ||
      !WriteDXFGroup(s, 100, "AcDbFace"))
    return false;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 3; ++k)
      if (!WriteDXFGroup(s, 10 * (k + 1) + i, FloatToStrFixed(2, corners[i][k]))) return false;
  return WriteDXFGroup(s, 0, "LINE") && WriteDXFGroup(s, 8, "Linie \xC3\xA4") && WriteDXFReal(s, 10, 0.1) &&
         WriteDXFReal(s, 20, -2.5) && WriteDXFReal(s, 30, 1e6) && WriteDXFReal(s, 11, 3) &&
         WriteDXFReal(s, 21, 4) && WriteDXFReal(s, 31, 5) && WriteDXFGroup(s, 0, "POINT") &&
         WriteDXFGroup(s, 8, "P") && WriteDXFGroup(s, 62, "1") && WriteDXFReal(s, 10, 7) &&
         WriteDXFReal(s, 20, 8) && WriteDXFReal(s, 30, -9.75);
}

TEST(DxfPeers, EzdxfReadsTheEntitiesLayersAndCoordinatesWeWrote) {
  TScratchFolder folder;
  const std::string path = folder.File("ours.dxf");
  std::string error;
  ASSERT_TRUE(WriteDXFFile(path, WriteSample, &error)) << error;
  const TPeerOutput peer = RunPeer("read '" + path + "'");
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_EQ(peer.lines, (std::vector<std::string>{
                            "errors 0",
                            "3DFACE|12_5kHz|5|1.0,2.0,3.0 4.25,5.0,6.0 7.0,8.5,9.0 1.0,2.0,3.0",
                            "LINE|Linie \xC3\xA4|256|0.1,-2.5,1000000.0 3.0,4.0,5.0",
                            "POINT|P|1|7.0,8.0,-9.75",
                        }))
      << peer.text;

  // And our own reader agrees.
  TFakeServices services;
  TDXF dxf;
  ASSERT_TRUE(dxf.ReadDXF(path));
  ASSERT_EQ(dxf.ObjectCount(), 3);
  EXPECT_EQ(dynamic_cast<TGraphSurface&>(*dxf.Objects(0)).Faces[0][1], (TSurveyPoint{5, 4.25, 6}));
  EXPECT_EQ(dxf.Objects(1)->Name(), "Linie \xC3\xA4");
}

class DxfFromEzdxf : public ::testing::TestWithParam<const char*> {};

TEST_P(DxfFromEzdxf, ReadsIntoTheRightSurfacesPointsAndLines) {
  TScratchFolder folder;
  const std::string path = folder.File("peer.dxf");
  const TPeerOutput peer = RunPeer(std::string("write ") + GetParam() + " '" + path + "'");
  ASSERT_EQ(peer.status, 0) << peer.text;

  TFakeServices services;
  TDXF dxf;
  ASSERT_TRUE(dxf.ReadDXF(path));
  EXPECT_TRUE(services.Messages.empty());
  EXPECT_EQ(dxf.UnknownEntities(), (std::vector<std::string>{"CIRCLE", "TEXT"}));
  ASSERT_EQ(dxf.ObjectCount(), 5);

  const auto& faces = dynamic_cast<TGraphSurface&>(*dxf.Objects(0));
  EXPECT_EQ(faces.Name(), "Fl\xC3\xA4" "chen");
  ASSERT_EQ(faces.FaceCount, 2);
  EXPECT_EQ(faces.Faces[0], (TSurfaceFace{{2, 1, 3}, {5, 4, 6}, {8, 7, 9}, {11, 10, 12.5}}));
  EXPECT_EQ(faces.Faces[1].size(), 3u);  // the fourth vertex repeats the third
  EXPECT_EQ(faces.FaceKind, 2);
  EXPECT_EQ(faces.FaceColors, (std::vector<TColor>{kBlue, kRed}));
  EXPECT_EQ(faces.FaceHasColor, (std::vector<uint8_t>{1, 1}));

  const auto& points = dynamic_cast<TGraphPoints&>(*dxf.Objects(1));
  EXPECT_EQ(points.Name(), "Pkt");
  EXPECT_EQ(points.Points, (std::vector<TSurveyPoint>{{2.5, 1.5, 3.5}, {-2, -1, -3}}));
  EXPECT_EQ(points.PointColors, (std::vector<TColor>{kGreen, MakeColor(255, 0, 255)}));

  const auto& a = dynamic_cast<TGraphLines&>(*dxf.Objects(2));
  EXPECT_EQ(a.Name(), "A");
  ASSERT_EQ(a.SegmentCount, 2);  // the circle between them is no other kind of ours
  EXPECT_EQ(a.Segments[1].End, (TSurveyPoint{5, 4, 6}));
  EXPECT_EQ(a.SegmentHasColor, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(dxf.Objects(3)->Name(), "B");
  const auto& off = dynamic_cast<TGraphLines&>(*dxf.Objects(4));
  EXPECT_EQ(off.Name(), "Aus");
  EXPECT_EQ(off.Segments[0].End, (TSurveyPoint{8, 8, 8.25}));
  EXPECT_EQ(off.SegmentHasColor[0], 0);  // its layer is switched off
  EXPECT_TRUE(off.Visible());

  // The same drawing cut inside an entity: ezdxf refuses it, and we drop the cut
  // entity (not closing it at elevation 0 or as a triangle) and keep those before.
  const std::string whole = folder.Get("peer.dxf");
  // Up to and with the value of the group `code` in the nth entity `name`.
  auto through = [&](const char* name, int nth, const char* code) {
    size_t at = 0;
    for (int i = 0; i < nth; ++i) at = whole.find(std::string("\n") + name + "\n", at + 1);
    at = whole.find(std::string("\n") + code + "\n", at);
    return at == std::string::npos ? std::string() : whole.substr(0, whole.find('\n', at + 6) + 1);
  };
  const struct {
    std::string text;
    std::vector<int> counts;  // faces, points or segments of each object kept
  } cuts[] = {
      {through("3DFACE", 1, " 30"), {}},           // the first face after its first corner
      {through("3DFACE", 2, " 32"), {1}},          // the second face after its third corner
      {through("POINT", 2, " 20"), {2, 1}},        // the second point before its Z
      {through("LINE", 4, " 21"), {2, 2, 2, 1}},  // the last line before its last Z
  };
  for (const auto& c : cuts) {
    ASSERT_FALSE(c.text.empty());
    SCOPED_TRACE(c.text.substr(c.text.size() - std::min<size_t>(c.text.size(), 40)));
    folder.Put("cut.dxf", c.text);
    EXPECT_NE(RunPeer("read '" + folder.File("cut.dxf") + "'").status, 0);
    TDXF cut;
    EXPECT_EQ(cut.ReadDXF(folder.File("cut.dxf")), !c.counts.empty());
    std::vector<int> counts;
    for (int i = 0; i < cut.ObjectCount(); ++i) {
      const TGraphMain* object = cut.Objects(i);
      if (auto* f = dynamic_cast<const TGraphSurface*>(object)) counts.push_back(f->FaceCount);
      if (auto* p = dynamic_cast<const TGraphPoints*>(object)) counts.push_back(p->PointCount);
      if (auto* l = dynamic_cast<const TGraphLines*>(object)) counts.push_back(l->SegmentCount);
    }
    EXPECT_EQ(counts, c.counts);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DxfFromEzdxf, ::testing::Values("R12", "R2010"));

// A plan drawing without Z groups, as 2-D drafting programs write it: ezdxf reads
// it with Z 0, and so do we.
TEST(DxfPeers, ATwoDimensionalDrawingKeepsItsLinesAndPointsAtElevationZero) {
  TScratchFolder folder;
  const std::string path = folder.File("plan.dxf");
  const TPeerOutput made = RunPeer("write2d '" + path + "'");
  ASSERT_EQ(made.status, 0) << made.text;
  const TPeerOutput peer = RunPeer("read '" + path + "'");
  ASSERT_EQ(peer.status, 0) << peer.text;
  EXPECT_EQ(peer.lines, (std::vector<std::string>{"errors 0", "LINE|Plan|256|1.5,2.5,0.0 3.0,4.0,0.0",
                                                  "LINE|Plan|256|3.0,4.0,0.0 5.0,-6.0,0.0",
                                                  "POINT|Pkt|256|7.0,8.0,0.0"}));

  TFakeServices services;
  TDXF dxf;
  ASSERT_TRUE(dxf.ReadDXF(path));
  EXPECT_TRUE(services.Messages.empty());
  ASSERT_EQ(dxf.ObjectCount(), 2);
  const auto& lines = dynamic_cast<TGraphLines&>(*dxf.Objects(0));
  ASSERT_EQ(lines.SegmentCount, 2);
  EXPECT_EQ(lines.Segments[0].Start, (TSurveyPoint{2.5, 1.5, 0}));
  EXPECT_EQ(lines.Segments[1].End, (TSurveyPoint{-6, 5, 0}));
  EXPECT_EQ(dynamic_cast<TGraphPoints&>(*dxf.Objects(1)).Points, (std::vector<TSurveyPoint>{{8, 7, 0}}));
}

}  // namespace
}  // namespace qira
