// A scene written to a component stream and read back: its objects, their
// transforms and flags, their behaviours and effects, and where each read
// object belongs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/components/ComponentStreams.h"
#include "scene/components/XCollection.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/graph/SceneObject.h"
#include "scene/math/VectorGeometry.h"
#include "platform/BinaryStream.h"

namespace qira {
namespace {

using TBytes = std::vector<uint8_t>;

// A behaviour with data of its own after the inherited archive.
class TStreamedBehaviour : public TGLBehaviour {
  QIRA_CLASS(TStreamedBehaviour, TGLBehaviour)
  TStreamedBehaviour() = default;
  static std::string FriendlyName() { return "Streamed behaviour"; }
  void WriteToFiler(TVirtualWriter& writer) const override {
    TGLBehaviour::WriteToFiler(writer);
    writer.WriteInteger(Speed);
  }
  void ReadFromFiler(TVirtualReader& reader) override {
    TGLBehaviour::ReadFromFiler(reader);
    Speed = reader.ReadInteger();
  }
  int32_t Speed = 0;
};

class TStreamedEffect : public TGLObjectEffect {
  QIRA_CLASS(TStreamedEffect, TGLObjectEffect)
  TStreamedEffect() = default;
  static std::string FriendlyName() { return "Streamed effect"; }
};

class SceneStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterCustomSceneObjectClasses();
    RegisterSceneClasses();
    RegisterXCollectionItemClass(TStreamedBehaviour::StaticClass());
    RegisterXCollectionItemClass(TStreamedEffect::StaticClass());
  }

  // Root
  //   Model (moved, turned, scaled, hidden, axes shown, sorted, culled,
  //          with a behaviour list of two and an effect list of one)
  //     Camera (its light under it)
  //   Marker (a direct-drawing node)
  static void BuildTree(TGL3DScene& scene) {
    auto& model = scene.Objects().AddNewChild<TGLBaseSceneObject>();
    model.SetName("Model");
    model.Position().SetPoint(1.5f, -2.0f, 3.25f);
    model.Direction().SetVector(1.0f, 0.0f, 0.0f);
    model.Scale().SetVector(2.0f, 2.0f, 0.5f);
    model.SetTurnAngle(30.0f);
    model.SetVisible(false);
    model.SetShowAxes(true);
    model.SetObjectsSorting(TGLObjectsSorting::osRenderFarthestFirst);
    model.SetVisibilityCulling(TGLVisibilityCulling::vcObjectBased);
    model.TagFloat = 0.75f;
    model.Behaviours().Add<TStreamedBehaviour>().Speed = 300;
    auto& second = model.Behaviours().Add<TStreamedBehaviour>();
    second.SetName("Spin");
    second.Speed = -7;
    model.Effects().Add<TStreamedEffect>();
    auto& camera = model.AddNewChild<TGLCamera>();
    camera.SetName("Camera");
    camera.Position().SetPoint(0.0f, 0.0f, 20.0f);
    camera.AddNewChild<TGLLightSource>().SetName("Sun");
    scene.Objects().AddNewChild<TGLDirectOpenGL>().SetName("Marker");
    scene.SetVisibilityCulling(TGLVisibilityCulling::vcObjectBased);
  }

  // The tree as text: class, name and parent of every object, depth first.
  static std::string Describe(const TGLBaseSceneObject& node, int depth = 0) {
    std::string out;
    for (int i = 0; i < node.ChildCount(); ++i) {
      const TGLBaseSceneObject& child = *node.Children(i);
      out += std::string(static_cast<size_t>(depth) * 2, ' ') + child.ClassName() + " " + child.Name() + "\n";
      out += Describe(child, depth + 1);
    }
    return out;
  }

  static size_t Occurrences(const TBytes& bytes, const std::string& text) {
    size_t n = 0;
    for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), text.begin(), text.end())) != bytes.end(); ++it) ++n;
    return n;
  }
};

TEST_F(SceneStreams, AnEmptySceneIsTheSignatureItsClassAndNameAndTwoEmptyLists) {
  TGL3DScene scene;
  const TBytes bytes = WriteComponentToBytes(scene);
  TBytes expected = {'Q', 'C', 'S', '1', 6, 10};
  for (char c : std::string("TGL3DScene")) expected.push_back(static_cast<uint8_t>(c));
  for (uint8_t b : {6, 0, 0, 0}) expected.push_back(b);  // empty name; no property; no child
  EXPECT_EQ(bytes, expected);
}

TEST_F(SceneStreams, BehavioursAndEffectsDataRoundTrip) {
  TGL3DScene scene;
  BuildTree(scene);
  const TBytes bytes = WriteComponentToBytes(scene);
  // Only the node that has lists stores them.
  EXPECT_EQ(Occurrences(bytes, "BehavioursData"), 1u);
  EXPECT_EQ(Occurrences(bytes, "EffectsData"), 1u);
  // The block: tag 10, its length, then the list's stored form: count 2, the
  // class name once, then index 0 for the second item of the same class.
  const std::string property = "BehavioursData";
  auto at = std::search(bytes.begin(), bytes.end(), property.begin(), property.end()) + property.size();
  ASSERT_EQ(*at, 10);
  const uint32_t length = at[1] | (at[2] << 8) | (at[3] << 16) | (uint32_t{at[4]} << 24);
  const TBytes block(at + 5, at + 5 + length);
  const std::string className = "TStreamedBehaviour";
  TBytes expected = {2, 2, 6, static_cast<uint8_t>(className.size())};
  expected.insert(expected.end(), className.begin(), className.end());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin()));
  EXPECT_EQ(Occurrences(block, className), 1u);

  TGL3DScene copy;
  ReadComponentFromBytes(copy, bytes);
  TGLBaseSceneObject& model = *copy.Objects().Children(0);
  ASSERT_TRUE(model.HasBehaviours());
  ASSERT_EQ(model.Behaviours().Count(), 2);
  const auto& first = dynamic_cast<const TStreamedBehaviour&>(model.Behaviours().GetItems(0));
  const auto& second = dynamic_cast<const TStreamedBehaviour&>(model.Behaviours().GetItems(1));
  EXPECT_EQ(first.Name(), "Streamed behaviour");
  EXPECT_EQ(first.Speed, 300);
  EXPECT_EQ(second.Name(), "Spin");
  EXPECT_EQ(second.Speed, -7);
  EXPECT_EQ(first.OwnerBaseSceneObject(), &model);
  ASSERT_TRUE(model.HasEffects());
  EXPECT_EQ(model.Effects().Count(), 1);
  EXPECT_NE(dynamic_cast<const TStreamedEffect*>(&model.Effects().GetItems(0)), nullptr);
  EXPECT_FALSE(copy.Objects().Children(1)->HasBehaviours());
  EXPECT_EQ(copy.Objects().Children(1)->BehavioursIfAny(), nullptr);  // not even made
}

TEST_F(SceneStreams, TheScenesComponentsStreamAndReadBackEqual) {
  TGL3DScene scene;
  BuildTree(scene);
  const TBytes bytes = WriteComponentToBytes(scene);
  TGL3DScene copy;
  ReadComponentFromBytes(copy, bytes);

  EXPECT_EQ(Describe(copy.Objects()), Describe(scene.Objects()));
  EXPECT_EQ(Describe(copy.Objects()),
            "TGLBaseSceneObject Model\n  TGLCamera Camera\n    TGLLightSource Sun\n"
            "TGLDirectOpenGL Marker\n");
  // Written again, the copy gives the same bytes.
  EXPECT_EQ(WriteComponentToBytes(copy), bytes);

  const TGLBaseSceneObject& original = *scene.Objects().Children(0);
  const TGLBaseSceneObject& model = *copy.Objects().Children(0);
  EXPECT_TRUE(VectorEquals(model.Position().AsVector(), original.Position().AsVector())) << "Position";
  EXPECT_EQ(model.Position().W(), 1.0f);
  EXPECT_TRUE(VectorEquals(model.Direction().AsVector(), original.Direction().AsVector())) << "Direction";
  EXPECT_TRUE(VectorEquals(model.Up().AsVector(), original.Up().AsVector())) << "Up";
  EXPECT_TRUE(VectorEquals(model.Scale().AsVector(), original.Scale().AsVector())) << "Scale";
  EXPECT_EQ(model.TurnAngle(), 30.0f);
  for (int row = 0; row < 4; ++row) {
    EXPECT_TRUE(VectorEquals(model.LocalMatrix()[row], original.LocalMatrix()[row])) << "row " << row;
  }
  EXPECT_FALSE(model.Visible());
  EXPECT_TRUE(model.ShowAxes());
  EXPECT_EQ(model.ObjectsSorting(), TGLObjectsSorting::osRenderFarthestFirst);
  EXPECT_EQ(model.VisibilityCulling(), TGLVisibilityCulling::vcObjectBased);
  EXPECT_EQ(model.TagFloat, 0.75f);
  EXPECT_EQ(copy.VisibilityCulling(), TGLVisibilityCulling::vcObjectBased);
  EXPECT_EQ(copy.ObjectsSorting(), TGLObjectsSorting::osRenderBlendedLast);
  // The objects read are whole members of their scene: the light shines.
  EXPECT_EQ(model.Scene(), &copy);
  EXPECT_FALSE(model.IsLoading());
  ASSERT_NE(copy.Light(0), nullptr);
  EXPECT_EQ(copy.Light(0)->Name(), "Sun");
}

TEST_F(SceneStreams, ObjectsReadBelongToTheScenesOwnerAndTheReadersRootComesBack) {
  TComponent form;
  auto& scene = form.AddComponent<TGL3DScene>();
  TGL3DScene source;
  BuildTree(source);
  const TBytes bytes = WriteComponentToBytes(source);
  TMemoryStream stream(bytes);
  TReader reader(stream);
  reader.ReadRootComponent(scene);
  EXPECT_EQ(reader.Root(), &scene);
  ASSERT_EQ(scene.Objects().ChildCount(), 2);
  EXPECT_EQ(scene.Objects().Children(0)->Owner(), &form);
  EXPECT_EQ(scene.Objects().Children(0)->Children(0)->Owner(), &form);

  // Without an owner the scene itself keeps what is read.
  TGL3DScene alone;
  ReadComponentFromBytes(alone, bytes);
  EXPECT_EQ(alone.Objects().Children(1)->Owner(), &alone);
}

TEST_F(SceneStreams, TopLevelObjectsNameTheSceneAsTheirParentComponent) {
  TGL3DScene scene;
  auto& top = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  auto& inner = top.AddNewChild<TGLBaseSceneObject>();
  EXPECT_EQ(top.GetParentComponent(), &scene);
  EXPECT_EQ(inner.GetParentComponent(), &top);
  EXPECT_TRUE(inner.HasParent());

  struct TCase {
    const char* parent;
    TComponent* value;
    TGLBaseSceneObject* expected;
  };
  TComponent unrelated;
  const TCase cases[] = {
      {"the scene", &scene, &scene.Objects()},
      {"an object", &top, &top},
      {"another component", &unrelated, nullptr},
      {"none", nullptr, nullptr},
  };
  for (const TCase& c : cases) {
    inner.SetParentComponent(c.value);
    EXPECT_EQ(inner.Parent(), c.expected) << c.parent;
  }
  // Left without a parent, it has no parent component and must be freed by its owner.
  EXPECT_FALSE(inner.HasParent());
  EXPECT_EQ(inner.GetParentComponent(), nullptr);
}

TEST_F(SceneStreams, TheSceneReportsTheRootsChildrenAndOrdersAStreamedChild) {
  TGL3DScene scene;
  auto& a = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  auto& b = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  auto& part = scene.Objects().AddNewChild<TGLBaseSceneObject>();
  part.SetSubComponent(true);
  std::vector<TComponent*> seen;
  scene.GetChildren([&](TComponent& child) { seen.push_back(&child); }, &scene);
  EXPECT_EQ(seen, (std::vector<TComponent*>{&a, &b}));  // a sub-component is part of its parent
  scene.SetChildOrder(b, 0);
  EXPECT_EQ(b.Index(), 0);
  EXPECT_EQ(a.Index(), 1);
}

TEST_F(SceneStreams, DamagedStreamsRaiseAndLeaveNothingBehind) {
  TGL3DScene source;
  BuildTree(source);
  const TBytes good = WriteComponentToBytes(source);
  const auto replaced = [&](const std::string& from, const std::string& to) {
    TBytes bytes = good;
    auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    EXPECT_NE(at, bytes.end()) << from;
    std::copy(to.begin(), to.end(), at);
    return bytes;
  };
  struct TCase {
    const char* damage;
    TBytes bytes;
    std::string message;
  };
  std::vector<TCase> cases = {
      {"signature", replaced("QCS1", "QCS2"), "Invalid stream format"},
      {"root class", replaced("TGL3DScene", "TGL3DScenf"), "Invalid stream format"},
      {"object class", replaced("TGLDirectOpenGL", "TGLDirectOpenGM"), "Class TGLDirectOpenGM not found"},
      {"property", replaced("ShowAxes", "ShowAxis"), "Property ShowAxis does not exist"},
  };
  // An ordinal beyond the enumeration: ObjectsSorting 2 becomes 9.
  TBytes ordinal = good;
  const std::string sorting = "ObjectsSorting";
  auto at = std::search(ordinal.begin(), ordinal.end(), sorting.begin(), sorting.end()) + sorting.size();
  ASSERT_EQ(at[0], 2);  // tag int8
  at[1] = 9;
  cases.push_back({"ordinal", ordinal, "Invalid property value"});
  // An angle whose stored extended float is no single: not a number, an
  // infinity, an exponent beyond every range (0x74FF, its integer bit clear
  // or set), a finite double too large for a single.
  struct TExtended {
    const char* what;
    uint64_t significand;
    uint16_t signAndExponent;
  };
  const TExtended extendeds[] = {
      {"NaN", 0xC000000000000000u, 0x7FFF},
      {"minus infinity", 0x8000000000000000u, 0xFFFF},
      {"exponent 0x74FF unnormal", 0x0000000000000001u, 0x74FF},
      {"exponent 0x74FF", 0x8000000000000000u, 0x74FF},
      {"beyond single", 0x8000000000000000u, 0x3FFF + 200},
  };
  for (const TExtended& e : extendeds) {
    TBytes bytes = good;
    const std::string turn = "TurnAngle";
    auto value = std::search(bytes.begin(), bytes.end(), turn.begin(), turn.end()) + turn.size();
    EXPECT_EQ(value[0], 5);  // tag extended
    for (int i = 0; i < 8; ++i) value[1 + i] = static_cast<uint8_t>(e.significand >> (8 * i));
    value[9] = static_cast<uint8_t>(e.signAndExponent);
    value[10] = static_cast<uint8_t>(e.signAndExponent >> 8);
    cases.push_back({e.what, bytes, "Invalid property value"});
  }
  for (size_t cut = 0; cut < good.size(); ++cut) {
    cases.push_back({"cut", TBytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), ""});
  }
  for (const TCase& c : cases) {
    TGL3DScene scene;
    try {
      ReadComponentFromBytes(scene, c.bytes);
      ADD_FAILURE() << c.damage << " " << c.bytes.size() << ": no exception";
    } catch (const Exception& e) {
      if (!c.message.empty()) {
        EXPECT_EQ(std::string(e.what()), c.message) << c.damage;
      }
    }
    EXPECT_EQ(scene.Objects().ChildCount(), 0) << c.damage << " " << c.bytes.size();
    EXPECT_EQ(scene.ComponentCount(), 1) << c.damage << " " << c.bytes.size();  // the root object alone
    EXPECT_EQ(scene.Light(0), nullptr) << c.damage << " " << c.bytes.size();
  }
}

}  // namespace
}  // namespace qira
