// Property objects held by a component in a component stream: a vector
// list's "Items", a colour's "Color", coordinates' "Coordinates", a
// collection and a reference, each under its holder's property name.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "scene/components/Colors.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/Coordinates.h"
#include "scene/components/VectorLists.h"
#include "support/PublishedPropertiesTable.h"

namespace qira {
namespace {

using TBytes = std::vector<uint8_t>;

class TMark : public TCollectionItem {
  QIRA_CLASS(TMark, TCollectionItem)
  TMark() = default;
  void DefinePublished(TFiler& filer) override {
    DefineFloat(filer, "Depth", Depth, Depth != 0.0f, [this](float v) { Depth = v; });
    DefineString(filer, "Label", Label, !Label.empty(), [this](std::string v) { Label = std::move(v); });
  }
  float Depth = 0.0f;
  std::string Label;
};

// A component with one property of each kind the engine's classes hold.
class THolder : public TComponent {
  QIRA_CLASS(THolder, TComponent)
  THolder() = default;
  void DefinePublished(TFiler& filer) override {
    DefineNested(filer, "Points", Points);
    DefineNested(filer, "Weights", Weights);
    DefineNested(filer, "Tint", Tint);
    DefineNested(filer, "Offset", Offset);
    DefineCollection(filer, "Marks", Marks, Marks.Count() > 0);
    DefineReference(filer, "Partner", Partner, [this](TComponent& c) { Partner = &c; });
    DefineDouble(filer, "Rate", Rate, Rate != 1.0, [this](double v) { Rate = v; });
    DefineFlags(filer, "Options", Options, 0x5, Options != 0, [this](uint32_t v) { Options = v; });
  }
  TAffineVectorList Points;
  TSingleList Weights;
  TGLColor Tint;
  TGLCoordinates3 Offset;
  TCollection Marks{TMark::StaticClass()};
  TComponent* Partner = nullptr;
  double Rate = 1.0;
  uint32_t Options = 0;
};

std::string HolderText(TStreamForm& form) {
  auto& h = FindStreamed<THolder>(form, "Holder");
  std::ostringstream out;
  for (int i = 0; i < h.Points.Count(); ++i) {
    const TAffineVector p = h.Points.GetItem(i);
    out << p.x << "," << p.y << "," << p.z << ";";
  }
  for (int i = 0; i < h.Weights.Count(); ++i) out << h.Weights.GetItem(i) << ";";
  out << VectorText(h.Tint.Color()) << " " << VectorText(h.Offset.AsVector()) << " ";
  for (int i = 0; i < h.Marks.Count(); ++i) {
    const auto& mark = dynamic_cast<const TMark&>(h.Marks.GetItem(i));
    out << mark.Depth << ":" << mark.Label << ";";
  }
  out << NameOf(h.Partner) << " " << h.Rate << " " << h.Options;
  return out.str();
}

const std::vector<TPublishedCase>& Cases() {
  static const std::vector<TPublishedCase> cases = {
      {"holder of lists, colour, coordinates, a collection and a reference",
       [](TStreamForm& f) {
         f.AddComponent<THolder>().SetName("Holder");
         f.AddComponent<THolder>().SetName("Other");
       },
       [](TStreamForm& f) {
         auto& h = FindStreamed<THolder>(f, "Holder");
         h.Points.Add(1.0f, 2.0f, 3.0f);
         h.Points.Add(-0.5f, 0.0f, 8.0f);
         h.Weights.Add(0.25f);
         h.Tint.SetColor({0.1f, 0.2f, 0.3f, 0.4f});
         h.Offset.SetPoint(7.0f, 8.0f, 9.0f);
         auto& mark = dynamic_cast<TMark&>(h.Marks.Add());
         mark.Depth = 12.5f;
         mark.Label = "top";
         h.Marks.Add();
         h.Partner = &FindStreamed<THolder>(f, "Other");
         h.Rate = 1e-300;  // a double that no single holds
         h.Options = 0x5;
       },
       HolderText,
       {"Marks", "Partner", "Rate", "Options"},
       {{"Tint.Color", {10, 16, 0, 0, 0, 0, 0, 0x80, 0x7F}},  // an infinite red
        {"Offset.Coordinates", {10, 17, 0, 0, 0}},           // a block longer than coordinates
        {"Options", {2, 2}},
        {"Marks", {1, 1, 6, 5, 'D', 'e', 'p', 't', 'h', 5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}}},
       {},
       {"Other"}},  // only the partner the reference names
  };
  return cases;
}

class PropertyObjects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterClass(THolder::StaticClass());
    RegisterVectorListClasses();
  }
};

QIRA_PUBLISHED_PROPERTY_TESTS(PropertyObjects, Cases)

TEST_F(PropertyObjects, ItemsAreTheListArchiveInUpperCaseHexAndColoursAndCoordinatesSixteenBytes) {
  TStreamForm form;
  auto& h = form.AddComponent<THolder>();
  h.SetName("Holder");
  h.Points.Add(1.0f, 2.0f, 3.0f);
  h.Tint.SetColor({1.0f, 0.0f, 0.0f, 1.0f});
  const TBytes bytes = WriteComponentToBytes(form);
  // Version 0, count 1, item size 12 (tagged bytes), x = 1.0f, y = 2.0f, z = 3.0f,
  // then the vector list's version 0.
  const std::string items = "02000201020C0000803F0000004000004040" "0200";
  TBytes expected = StoredName("Points.Items");
  expected.push_back(6);
  expected.push_back(static_cast<uint8_t>(items.size()));
  expected.insert(expected.end(), items.begin(), items.end());
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), expected.begin(), expected.end()), bytes.end());
  TBytes color = StoredName("Tint.Color");
  for (uint8_t b : {10, 16, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F}) color.push_back(b);
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), color.begin(), color.end()), bytes.end());
  // An empty list still stores its archive; coordinates are always written.
  EXPECT_TRUE(BytesHold(bytes, "Weights.Items"));
  EXPECT_TRUE(BytesHold(bytes, "Offset.Coordinates"));
}

}  // namespace
}  // namespace qira
