// The objects' published properties in the component stream: each class,
// given values other than its defaults in every property it declares, reads
// back equal; its defaults leave out of the bytes what its "stored only when"
// rules and ordinal defaults say, and nothing else; a value out of a setter's
// range goes through the setter; and a damaged stream raises without leaving
// anything behind.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Picture.h"
#include "scene/components/Persistence.h"
#include "scene/graph/CameraLight.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/graph/Scene.h"
#include "scene/objects/BitmapFonts.h"
#include "scene/objects/DummyPlaneSprite.h"
#include "scene/objects/ExtrusionSolids.h"
#include "scene/objects/HudObjects.h"
#include "scene/objects/Mesh.h"
#include "scene/objects/MultiPolygon.h"
#include "scene/objects/Pipe.h"
#include "scene/objects/PointsLines.h"
#include "scene/objects/Quadrics.h"
#include "scene/objects/SpaceText.h"
#include "scene/objects/WindowsBitmapFont.h"
#include "support/PublishedPropertiesTable.h"
#include "support/TestApplication.h"

namespace qira {
namespace {

using TBytes = std::vector<uint8_t>;

using TNames = std::vector<std::string>;

// Replacement values: a tagged integer, an extended float, a block's head.
TBytes Int8(int8_t v) { return {2, static_cast<uint8_t>(v)}; }
TBytes Int32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {4, static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}
TBytes Extended(double v) {
  TBytes out{5};
  for (uint8_t b : EncodeExtended(v)) out.push_back(b);
  return out;
}
TBytes BlockOf(uint8_t length) { return {10, length, 0, 0, 0}; }

std::pair<std::string, TBytes> Refused(std::string_view name, TBytes value) {
  return {std::string(name), std::move(value)};
}

// Published values as "name=value " text.
class TValues {
 public:
  TValues() { out_ << std::setprecision(9); }
  template <class T>
  TValues& operator()(std::string_view name, const T& value) {
    out_ << name << '=';
    if constexpr (std::is_enum_v<T>) {
      out_ << static_cast<int>(value);
    } else if constexpr (std::is_same_v<T, TVector>) {
      out_ << value.x << ',' << value.y << ',' << value.z << ',' << value.w;
    } else if constexpr (std::is_same_v<T, uint8_t>) {
      out_ << static_cast<int>(value);
    } else {
      out_ << value;
    }
    out_ << ' ';
    return *this;
  }
  std::string Text() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

void Nodes(TValues& v, const TGLNodes& nodes) {
  for (int i = 0; i < nodes.Count(); ++i) v("node", nodes.GetItem(i).AsVector());
}

using TRefused = std::vector<std::pair<std::string, TBytes>>;
using TTaken = std::vector<TTakenValue>;

// A case for the component of class T called `component` that `add` puts in
// the form.
template <class T>
TPublishedCase ComponentCase(std::string name, std::string component, std::function<void(TStreamForm&)> add,
                             std::function<void(T&)> change, std::function<void(TValues&, T&)> values,
                             std::vector<std::string> leftOut, TRefused refused, TTaken taken = {}) {
  TPublishedCase c;
  c.name = std::move(name);
  c.add = std::move(add);
  c.change = [change, component](TStreamForm& form) { change(FindStreamed<T>(form, component)); };
  c.values = [values, component](TStreamForm& form) {
    TValues v;
    values(v, FindStreamed<T>(form, component));
    return v.Text();
  };
  c.leftOutByDefault = std::move(leftOut);
  c.refusedValues = std::move(refused);
  c.takenValues = std::move(taken);
  return c;
}

// A value out of range read into the case's component of class T: `set`
// gives the property what its setter makes of that value.
template <class T>
TTakenValue Taken(std::string_view name, TBytes value, std::function<void(T&)> set,
                  const std::string& component = "Object") {
  return {std::string(name), std::move(value),
          [set, component](TStreamForm& form) { set(FindStreamed<T>(form, component)); }};
}

// A scene object of class T named "Object" in a scene of the form, `start`
// giving it the state its defaults are checked in. Its node properties, its
// material and its hint are the graph's and the materials' tables'.
template <class T>
TPublishedCase ObjectCase(std::string name, std::function<void(T&)> start, std::function<void(T&)> change,
                          std::function<void(TValues&, T&)> values, std::vector<std::string> leftOut,
                          TRefused refused = {}, TTaken taken = {}) {
  const auto add = [start](TStreamForm& form) {
    auto& scene = form.AddComponent<TGL3DScene>();
    scene.SetName("Scene");
    auto& object = scene.Objects().template AddNewChild<T>();
    object.SetName("Object");
    if (start) start(object);
  };
  TPublishedCase c = ComponentCase<T>(std::move(name), "Object", add, change, values, std::move(leftOut),
                                      std::move(refused), std::move(taken));
  c.changedElsewhere = Joined(NodePropertiesOf("Object"), {"Scene", "Object.Material", "Object.Hint"});
  return c;
}

void CylinderBase(TValues& v, const TGLCylinderBase& o) {
  v("BottomRadius", o.BottomRadius())("Slices", o.Slices())("Stacks", o.Stacks())("Loops", o.Loops())(
      "Height", o.Height())("Normals", o.Normals())("NormalDirection", o.NormalDirection());
}

void ChangeCylinderBase(TGLCylinderBase& o) {
  o.SetBottomRadius(0.75f);
  o.SetSlices(9);
  o.SetStacks(2);
  o.SetLoops(3);
  o.SetHeight(2.5f);
  o.SetNormals(TNormalSmoothing::nsFlat);
  o.SetNormalDirection(TNormalDirection::ndInside);
}

const TNames kCylinderBaseNames = TNames({"Slices", "Stacks", "Loops", "Normals", "NormalDirection"});

// Two contours: a square with one node at the origin (its X, Y, Z left out)
// and a triangle; no node leaves the plane.
void AddContours(TMultiPolygonBase& o) {
  TGLNodes& square = o.Path(0);
  for (const TAffineVector& p : {TAffineVector{0, 0, 0}, TAffineVector{2, 0, 0}, TAffineVector{2, 2, 0},
                                 TAffineVector{0, 2, 0}}) {
    square.Add().SetAsVector({p.x, p.y, p.z, 0.0f});
  }
  TGLNodes& triangle = o.Path(1);
  for (const TAffineVector& p : {TAffineVector{0.5f, 0.5f, 0}, TAffineVector{1, 0.5f, 0}, TAffineVector{1, 1, 0}}) {
    triangle.Add().SetAsVector({p.x, p.y, p.z, 0.0f});
  }
}

void Contours(TValues& v, const TMultiPolygonBase& o) {
  for (int i = 0; i < o.Contours().Count(); ++i) {
    const TGLContour& c = o.Contours().Items(i);
    v("Division", c.Division())("SplineMode", c.SplineMode())("Description", c.Description());
    Nodes(v, c.Nodes());
  }
}

void ChangeContours(TMultiPolygonBase& o) {
  o.Path(1).Add().SetAsVector({0.75f, 1.5f, 0.25f, 0.0f});
  o.Contours().Items(0).SetDivision(4);
  o.Contours().Items(1).SetSplineMode(TLineSplineMode::lsmCubicSpline);
  o.Contours().Items(1).SetDescription("Hole");
}

std::unique_ptr<TBitmapGraphic> GlyphPicture() {
  QImage image(32, 16, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 0));
  for (int x = 16; x < 32; ++x) image.setPixel(x, 3, qRgb(255, 255, 255));
  return std::make_unique<TBitmapGraphic>(image);
}

// A font of class T named "Font" in the form.
template <class T>
TPublishedCase FontCase(std::string name, std::function<void(T&)> change, std::function<void(TValues&, T&)> values,
                        std::vector<std::string> leftOut, TRefused refused = {}, TTaken taken = {}) {
  const auto add = [](TStreamForm& form) { form.AddComponent<T>().SetName("Font"); };
  return ComponentCase<T>(std::move(name), "Font", add, change, values, std::move(leftOut), std::move(refused),
                          std::move(taken));
}

void Ranges(TValues& v, const TBitmapFontRanges& ranges) {
  for (int i = 0; i < ranges.Count(); ++i) {
    v("range", ranges.Items(i).StartASCII())("to", ranges.Items(i).StopASCII())("glyph",
                                                                               ranges.Items(i).StartGlyphIdx());
  }
}

// A text of class T in a scene, and a bitmap font named "Font" beside the scene.
template <class T>
TPublishedCase TextCase(std::string name, std::function<void(T&)> change, std::function<void(TValues&, T&)> values,
                        std::vector<std::string> leftOut) {
  TPublishedCase c = ObjectCase<T>(std::move(name), nullptr, change, values, std::move(leftOut));
  c.changedElsewhere.push_back("Font");  // the bitmap font's own case
  const auto addObject = c.add;
  c.add = [addObject](TStreamForm& form) {
    form.AddComponent<TGLBitmapFont>().SetName("Font");
    addObject(form);
  };
  c.change = [change](TStreamForm& form) {
    auto& text = FindStreamed<T>(form, "Object");
    text.SetBitmapFont(&FindStreamed<TGLBitmapFont>(form, "Font"));
    change(text);
  };
  return c;
}

void TextValues(TValues& v, const TGLFlatText& o) {
  v("BitmapFont", o.BitmapFont() != nullptr ? o.BitmapFont()->Name() : "none")("Text", o.Text())(
      "Alignment", o.Alignment())("Layout", o.Layout())("ModulateColor", o.ModulateColor().Color());
}

void ChangeText(TGLFlatText& o) {
  o.SetText("Depth\r12 m");
  o.SetAlignment(TAlignment::taCenter);
  o.SetLayout(TTextLayout::tlBottom);
  o.ModulateColor().SetColor({0.5f, 0.25f, 1.0f, 0.75f});
}

const TNames kTextNames = TNames({"BitmapFont", "Text", "Alignment", "Layout"});

// A heads-up text of class T (a TGLHUDText), turned by `rotation`.
template <class T>
TPublishedCase HUDTextCase(std::string name, float rotation, std::vector<std::string> leftOut) {
  return TextCase<T>(
      std::move(name),
      [rotation](T& o) {
        ChangeText(o);
        o.SetRotation(rotation);
      },
      [](TValues& v, T& o) {
        TextValues(v, o);
        v("Rotation", o.Rotation())("Position", o.Position().AsVector());
      },
      std::move(leftOut));
}

std::vector<TPublishedCase> Cases() {
  std::vector<TPublishedCase> cases;
  cases.push_back(ObjectCase<TGLCube>(
      "cube", nullptr,
      [](TGLCube& o) {
        o.SetCubeWidth(2.0f);
        o.SetCubeHeight(3.0f);
        o.SetCubeDepth(0.5f);
        o.SetParts({TCubePart::cpTop, TCubePart::cpLeft});
        o.SetNormalDirection(TNormalDirection::ndInside);
      },
      [](TValues& v, TGLCube& o) {
        v("CubeWidth", o.CubeWidth())("CubeHeight", o.CubeHeight())("CubeDepth", o.CubeDepth())(
            "Parts", o.Parts().Bits())("NormalDirection", o.NormalDirection());
      },
      TNames({"CubeSize", "Parts", "NormalDirection", "CubeWidth"}),
      {Refused("CubeSize", BlockOf(11)), Refused("Parts", Int8(0x40))}));
  cases.push_back(ObjectCase<TGLSphere>(
      "sphere", nullptr,
      [](TGLSphere& o) {
        o.SetRadius(2.0f);
        o.SetSlices(7);
        o.SetStacks(5);
        o.SetTop(60);
        o.SetBottom(-30);
        o.SetStart(20);
        o.SetStop(200);
        o.SetTopCap(TCapType::ctFlat);
        o.SetBottomCap(TCapType::ctCenter);
        o.SetNormals(TNormalSmoothing::nsNone);
        o.SetNormalDirection(TNormalDirection::ndInside);
      },
      [](TValues& v, TGLSphere& o) {
        v("Radius", o.Radius())("Slices", o.Slices())("Stacks", o.Stacks())("Top", o.Top())("Bottom", o.Bottom())(
            "Start", o.Start())("Stop", o.Stop())("TopCap", o.TopCap())("BottomCap", o.BottomCap())(
            "Normals", o.Normals())("NormalDirection", o.NormalDirection());
      },
      TNames({"Slices", "Stacks", "Top", "Bottom", "Start", "Stop", "TopCap", "BottomCap", "Normals",
                "NormalDirection"}),
      {Refused("Top", Int8(91)), Refused("TopCap", Int8(3)), Refused("Radius", Extended(1e39))},
      {Taken<TGLSphere>("Slices", Int8(0), [](TGLSphere& o) { o.SetSlices(0); })}));
  // Nodes store X, Y and Z only when not 0: no node here has a Y.
  cases.push_back(ObjectCase<TGLPolygon>(
      "polygon and its nodes",
      [](TGLPolygon& o) {
        o.AddNode({1.0f, 0.0f, 2.0f});
        o.AddNode({3.0f, 0.0f, 4.0f});
        o.AddNode({0.0f, 0.0f, 1.0f});
      },
      [](TGLPolygon& o) {
        o.AddNode({5.0f, 6.0f, -7.0f});
        o.SetDivision(3);
        o.SetSplineMode(TLineSplineMode::lsmCubicSpline);
        o.SetParts({TPolygonPart::ppTop});
      },
      [](TValues& v, TGLPolygon& o) {
        Nodes(v, o.Nodes());
        v("Division", o.Division())("SplineMode", o.SplineMode())("Parts", o.Parts().Bits());
      },
      TNames({"Y", "Division", "SplineMode", "Parts"}), {},
      {Taken<TGLPolygon>("Division", Int8(0), [](TGLPolygon& o) { o.SetDivision(0); })}));
  cases.push_back(ObjectCase<TGLDummyCube>(
      "dummy cube", nullptr,
      [](TGLDummyCube& o) {
        o.SetCamInvarianceMode(TGLCameraInvarianceMode::cimPosition);
        o.SetCubeSize(4.0f);
        o.EdgeColor().SetColor({1.0f, 0.0f, 0.0f, 0.5f});
        o.SetVisibleAtRunTime(true);
        o.SetAmalgamate(true);
      },
      [](TValues& v, TGLDummyCube& o) {
        v("CamInvarianceMode", o.CamInvarianceMode())("CubeSize", o.CubeSize())("EdgeColor", o.EdgeColor().Color())(
            "VisibleAtRunTime", o.VisibleAtRunTime())("Amalgamate", o.Amalgamate());
      },
      TNames({"CamInvarianceMode", "VisibleAtRunTime", "Amalgamate"}),
      {Refused("CamInvarianceMode", Int8(3))}));
  cases.push_back(ObjectCase<TGLPlane>(
      "plane", nullptr,
      [](TGLPlane& o) {
        o.SetXOffset(0.25f);
        o.SetYOffset(-0.5f);
        o.SetXScope(0.5f);
        o.SetYScope(0.75f);
        o.SetWidth(3.0f);
        o.SetHeight(2.0f);
        o.SetXTiles(3);
        o.SetYTiles(2);
        o.SetStyle({TPlaneStyle::psTileTexture});
        o.SetNoZWrite(true);
      },
      [](TValues& v, TGLPlane& o) {
        v("XOffset", o.XOffset())("YOffset", o.YOffset())("XScope", o.XScope())("YScope", o.YScope())(
            "Width", o.Width())("Height", o.Height())("XTiles", o.XTiles())("YTiles", o.YTiles())(
            "Style", o.Style().Bits())("NoZWrite", o.NoZWrite());
      },
      TNames({"XScope", "YScope", "XTiles", "YTiles", "Style", "NoZWrite"}), {Refused("Style", Int8(4))},
      {Taken<TGLPlane>("XScope", Extended(2.5), [](TGLPlane& o) { o.SetXScope(2.5f); }),
       Taken<TGLPlane>("XTiles", Int8(0), [](TGLPlane& o) { o.SetXTiles(0); })}));
  cases.push_back(ObjectCase<TGLSprite>(
      "sprite", nullptr,
      [](TGLSprite& o) {
        o.SetWidth(2.0f);
        o.SetHeight(0.5f);
        o.SetRotation(30.0f);
        o.SetAlphaChannel(0.25f);
        o.SetNoZWrite(true);
        o.SetMirrorU(true);
        o.SetMirrorV(true);
      },
      [](TValues& v, TGLSprite& o) {
        v("Width", o.Width())("Height", o.Height())("Rotation", o.Rotation())("AlphaChannel", o.AlphaChannel())(
            "NoZWrite", o.NoZWrite())("MirrorU", o.MirrorU())("MirrorV", o.MirrorV());
      },
      TNames({"AlphaChannel", "NoZWrite", "MirrorU", "MirrorV"}), {},
      {Taken<TGLSprite>("AlphaChannel", Extended(1.5), [](TGLSprite& o) { o.SetAlphaChannel(1.5f); })}));
  // A heads-up sprite's sizes are stored when not 16: 1, the sprite's default, is.
  cases.push_back(ObjectCase<TGLHUDSprite>(
      "heads-up sprite", nullptr,
      [](TGLHUDSprite& o) {
        o.SetWidth(1.0f);
        o.SetHeight(20.0f);
        o.SetRotation(15.0f);
        o.SetAlphaChannel(0.5f);
        o.SetNoZWrite(true);
        o.SetMirrorU(true);
        o.SetMirrorV(true);
        o.SetXTiles(3);
        o.SetYTiles(2);
      },
      [](TValues& v, TGLHUDSprite& o) {
        v("Width", o.Width())("Height", o.Height())("Rotation", o.Rotation())("AlphaChannel", o.AlphaChannel())(
            "NoZWrite", o.NoZWrite())("MirrorU", o.MirrorU())("MirrorV", o.MirrorV())("XTiles", o.XTiles())(
            "YTiles", o.YTiles());
      },
      TNames({"Width", "Height", "AlphaChannel", "NoZWrite", "MirrorU", "MirrorV", "XTiles", "YTiles"})));
  cases.push_back(ObjectCase<TGLPoints>(
      "points", nullptr,
      [](TGLPoints& o) {
        o.Positions().Clear();
        o.Positions().Add(1.0f, 2.0f, 3.0f);
        o.Positions().Add(-1.0f, 0.5f, 0.0f);
        o.Colors().Add(TVector{1.0f, 0.0f, 0.0f, 1.0f});
        o.SetSize(4.0f);
        o.SetStyle(TGLPointStyle::psRound);
        o.PointParameters().SetEnabled(true);
        o.PointParameters().SetMinSize(2.0f);
        o.PointParameters().SetMaxSize(64.0f);
        o.PointParameters().SetFadeTresholdSize(3.0f);
        o.PointParameters().DistanceAttenuation().SetVector(0.0f, 1.0f, 0.0f);
        o.SetNoZWrite(true);
        o.SetStatic(true);
      },
      [](TValues& v, TGLPoints& o) {
        for (int i = 0; i < o.Positions().Count(); ++i) {
          const TAffineVector p = o.Positions()[i];
          v("position", TVector{p.x, p.y, p.z, 0.0f});
        }
        for (int i = 0; i < o.Colors().Count(); ++i) v("color", o.Colors()[i]);
        const TGLPointParameters& p = o.PointParameters();
        v("Size", o.Size())("Style", o.Style())("Enabled", p.Enabled())("MinSize", p.MinSize())(
            "MaxSize", p.MaxSize())("FadeTresholdSize", p.FadeTresholdSize())(
            "DistanceAttenuation", p.DistanceAttenuation().AsVector())("NoZWrite", o.NoZWrite())(
            "Static", o.Static());
      },
      TNames({"Size", "Style", "PointParameters.Enabled", "PointParameters.PointParams", "NoZWrite", "Static"}),
      {Refused("PointParameters.PointParams", BlockOf(11))}));
  // A node's colour is stored when it is not the lines' NodeColor: the last
  // node keeps the blue that is the default NodeColor but not this one's.
  cases.push_back(ObjectCase<TGLLines>(
      "lines and their nodes", [](TGLLines& o) { o.AddNode(1.0f, 2.0f, 3.0f); },
      [](TGLLines& o) {
        o.LineColor().SetColor({0.0f, 1.0f, 0.0f, 0.5f});
        o.SetLinePattern(0x00FF);
        o.SetLineWidth(3.0f);
        o.SetAntiAliased(true);
        o.SetNodesAspect(TLineNodesAspect::lnaCube);
        o.NodeColor().SetColor({1.0f, 0.0f, 0.0f, 1.0f});
        o.SetNodeSize(0.5f);
        o.AddNode(4.0f, 5.0f, 6.0f);
        o.Nodes()[1].Color().SetColor({1.0f, 1.0f, 0.0f, 1.0f});
        o.AddNode(7.0f, 8.0f, 9.0f);
        o.Nodes()[2].Color().SetColor({0.0f, 0.0f, 1.0f, 1.0f});
        o.SetDivision(4);
        o.SetSplineMode(TLineSplineMode::lsmLoop);
        o.SetOptions({TLinesOption::loUseNodeColorForLines});
      },
      [](TValues& v, TGLLines& o) {
        v("LineColor", o.LineColor().Color())("LinePattern", o.LinePattern())("LineWidth", o.LineWidth())(
            "AntiAliased", o.AntiAliased())("NodesAspect", o.NodesAspect())("NodeColor", o.NodeColor().Color())(
            "NodeSize", o.NodeSize())("Division", o.Division())("SplineMode", o.SplineMode())(
            "Options", o.Options().Bits());
        for (int i = 0; i < o.Nodes().Count(); ++i) v("node", o.Nodes()[i].AsVector())("color", o.Nodes()[i].Color().Color());
      },
      TNames({"LinePattern", "LineWidth", "AntiAliased", "NodesAspect", "NodeSize", "Color.Color", "Division",
                "SplineMode", "Options"}),
      {Refused("LinePattern", Int32(0x10000)), Refused("Options", Int8(2))},
      {Taken<TGLLines>("NodeSize", Extended(0.0), [](TGLLines& o) { o.SetNodeSize(0.0f); })}));
  cases.push_back(ObjectCase<TGLDisk>(
      "disk", nullptr,
      [](TGLDisk& o) {
        o.SetStartAngle(10.0f);
        o.SetSweepAngle(90.0f);
        o.SetOuterRadius(2.0f);
        o.SetInnerRadius(1.0f);
        o.SetSlices(8);
        o.SetLoops(3);
        o.SetNormals(TNormalSmoothing::nsFlat);
        o.SetNormalDirection(TNormalDirection::ndInside);
      },
      [](TValues& v, TGLDisk& o) {
        v("StartAngle", o.StartAngle())("SweepAngle", o.SweepAngle())("OuterRadius", o.OuterRadius())(
            "InnerRadius", o.InnerRadius())("Slices", o.Slices())("Loops", o.Loops())("Normals", o.Normals())(
            "NormalDirection", o.NormalDirection());
      },
      TNames({"Slices", "Loops", "Normals", "NormalDirection"})));
  cases.push_back(ObjectCase<TGLCone>(
      "cone", nullptr,
      [](TGLCone& o) {
        ChangeCylinderBase(o);
        o.SetParts({TConePart::coSides});
      },
      [](TValues& v, TGLCone& o) {
        CylinderBase(v, o);
        v("Parts", o.Parts().Bits());
      },
      Joined(kCylinderBaseNames, TNames({"Parts"})), {},
      // Fewer than one loop is ignored: the default stays.
      {Taken<TGLCone>("Loops", Int8(0), [](TGLCone& o) { o.SetLoops(1); })}));
  cases.push_back(ObjectCase<TGLCylinder>(
      "cylinder", nullptr,
      [](TGLCylinder& o) {
        ChangeCylinderBase(o);
        o.SetParts({TCylinderPart::cySides, TCylinderPart::cyTop});
        o.SetTopRadius(0.25f);
        o.SetAlignment(TCylinderAlignment::caTop);
      },
      [](TValues& v, TGLCylinder& o) {
        CylinderBase(v, o);
        v("Parts", o.Parts().Bits())("TopRadius", o.TopRadius())("Alignment", o.Alignment());
      },
      Joined(kCylinderBaseNames, TNames({"Parts", "Alignment"}))));
  cases.push_back(ObjectCase<TGLAnnulus>(
      "annulus", nullptr,
      [](TGLAnnulus& o) {
        ChangeCylinderBase(o);
        o.SetParts({TAnnulusPart::anOuterSides});
        o.SetBottomInnerRadius(0.1f);
        o.SetTopInnerRadius(0.2f);
        o.SetTopRadius(0.4f);
      },
      [](TValues& v, TGLAnnulus& o) {
        CylinderBase(v, o);
        v("Parts", o.Parts().Bits())("BottomInnerRadius", o.BottomInnerRadius())(
            "TopInnerRadius", o.TopInnerRadius())("TopRadius", o.TopRadius());
      },
      Joined(kCylinderBaseNames, TNames({"Parts"}))));
  // An arrow line starts with a BottomRadius of 0.1: 0.5 is the other
  // cylinders' default.
  cases.push_back(ObjectCase<TGLArrowLine>(
      "arrow line", nullptr,
      [](TGLArrowLine& o) {
        ChangeCylinderBase(o);
        o.SetBottomRadius(0.5f);
        o.SetParts({TArrowLinePart::alLine, TArrowLinePart::alBottomArrow});
        o.SetTopRadius(0.3f);
        o.SetTopArrowHeadHeight(0.75f);
        o.SetTopArrowHeadRadius(0.4f);
        o.SetBottomArrowHeadHeight(0.25f);
        o.SetBottomArrowHeadRadius(0.35f);
        o.SetHeadStackingStyle(TArrowHeadStackingStyle::ahssIncluded);
      },
      [](TValues& v, TGLArrowLine& o) {
        CylinderBase(v, o);
        v("Parts", o.Parts().Bits())("TopRadius", o.TopRadius())("TopArrowHeadHeight", o.TopArrowHeadHeight())(
            "TopArrowHeadRadius", o.TopArrowHeadRadius())("BottomArrowHeadHeight", o.BottomArrowHeadHeight())(
            "BottomArrowHeadRadius", o.BottomArrowHeadRadius())("HeadStackingStyle", o.HeadStackingStyle());
      },
      Joined(kCylinderBaseNames, TNames({"Parts", "HeadStackingStyle"}))));
  cases.push_back(ObjectCase<TGLCapsule>(
      "capsule", nullptr,
      [](TGLCapsule& o) {
        o.SetParts({TCylinderPart::cySides});
        o.SetRadius(0.25f);
        o.SetSlices(6);
        o.SetStacks(3);
        o.SetHeight(2.0f);
        o.SetAlignment(TCylinderAlignment::caBottom);
      },
      [](TValues& v, TGLCapsule& o) {
        v("Parts", o.Parts().Bits())("Radius", o.Radius())("Slices", o.Slices())("Stacks", o.Stacks())(
            "Height", o.Height())("Alignment", o.Alignment());
      },
      TNames({"Parts", "Slices", "Stacks", "Alignment"})));
  cases.push_back(ObjectCase<TGLTorus>(
      "torus", nullptr,
      [](TGLTorus& o) {
        o.SetRings(12);
        o.SetSides(6);
        o.SetMinorRadius(0.2f);
        o.SetMajorRadius(1.5f);
      },
      [](TValues& v, TGLTorus& o) {
        v("Rings", o.Rings())("Sides", o.Sides())("MinorRadius", o.MinorRadius())("MajorRadius", o.MajorRadius());
      },
      TNames({"Rings", "Sides"}), {Refused("Rings", Int8(-1))},  // a count no unsigned holds
      {Taken<TGLTorus>("Rings", Int8(1), [](TGLTorus& o) { o.SetRings(1); })}));
  cases.push_back(ObjectCase<TGLFrustrum>(
      "frustum", nullptr,
      [](TGLFrustrum& o) {
        o.SetApexHeight(3.0f);
        o.SetBaseDepth(2.0f);
        o.SetBaseWidth(1.5f);
        o.SetHeight(1.0f);
        o.SetParts({TFrustrumPart::fpTop, TFrustrumPart::fpFront});
        o.SetNormalDirection(TNormalDirection::ndInside);
      },
      [](TValues& v, TGLFrustrum& o) {
        v("ApexHeight", o.ApexHeight())("BaseDepth", o.BaseDepth())("BaseWidth", o.BaseWidth())(
            "Height", o.Height())("Parts", o.Parts().Bits())("NormalDirection", o.NormalDirection());
      },
      TNames({"FrustrumSize", "Parts", "NormalDirection", "ApexHeight"}), {Refused("FrustrumSize", BlockOf(12))}));
  cases.push_back(ObjectCase<TGLMesh>(
      "mesh", nullptr,
      [](TGLMesh& o) {
        o.SetMode(TMeshMode::mmQuads);
        o.SetVertexMode(TVertexMode::vmVN);
      },
      [](TValues& v, TGLMesh& o) { v("Mode", o.Mode())("VertexMode", o.VertexMode()); },
      TNames({"Mode", "VertexMode"}), {Refused("VertexMode", Int8(6))}));
  cases.push_back(ObjectCase<TGLMultiPolygon>(
      "multi-polygon and its contours", AddContours,
      [](TGLMultiPolygon& o) {
        ChangeContours(o);
        o.SetParts({TPolygonPart::ppBottom});
      },
      [](TValues& v, TGLMultiPolygon& o) {
        Contours(v, o);
        v("Parts", o.Parts().Bits());
      },
      TNames({"Parts", "Division", "SplineMode", "Description", "Z"})));
  cases.push_back(ObjectCase<TGLExtrusionSolid>(
      "extrusion solid", AddContours,
      [](TGLExtrusionSolid& o) {
        ChangeContours(o);
        o.SetStacks(3);
        o.SetNormals(TNormalSmoothing::nsSmooth);
        o.SetNormalDirection(TNormalDirection::ndInside);
        o.SetParts({TExtrusionSolidPart::espOutside, TExtrusionSolidPart::espStopPolygon});
        o.SetHeight(-2.0f);
        o.SetMinSmoothAngle(15.0f);
      },
      [](TValues& v, TGLExtrusionSolid& o) {
        Contours(v, o);
        v("Stacks", o.Stacks())("Normals", o.Normals())("NormalDirection", o.NormalDirection())(
            "Parts", o.Parts().Bits())("Height", o.Height())("MinSmoothAngle", o.MinSmoothAngle());
      },
      TNames({"Stacks", "Normals", "NormalDirection", "Parts", "Division", "SplineMode", "Description", "Z"})));
  // StopAngle is stored only when not 360; a start beyond it raises it.
  cases.push_back(ObjectCase<TGLRevolutionSolid>(
      "revolution solid",
      [](TGLRevolutionSolid& o) {
        o.AddNode({1.0f, 0.0f, 0.0f});
        o.AddNode({1.0f, 1.0f, 0.0f});
      },
      [](TGLRevolutionSolid& o) {
        o.AddNode({0.5f, 2.0f, 0.25f});
        o.SetDivision(4);
        o.SetSplineMode(TLineSplineMode::lsmCubicSpline);
        o.SetSlices(8);
        o.SetStartAngle(400.0f);
        o.SetStopAngle(540.0f);
        o.SetNormals(TNormalSmoothing::nsSmooth);
        o.SetYOffsetPerTurn(0.5f);
        o.SetNormalDirection(TNormalDirection::ndInside);
        o.SetParts({TRevolutionSolidPart::rspInside});
      },
      [](TValues& v, TGLRevolutionSolid& o) {
        Nodes(v, o.Nodes());
        v("Division", o.Division())("SplineMode", o.SplineMode());
        v("Slices", o.Slices())("StartAngle", o.StartAngle())("StopAngle", o.StopAngle())("Normals", o.Normals())(
            "YOffsetPerTurn", o.YOffsetPerTurn())("NormalDirection", o.NormalDirection())("Parts", o.Parts().Bits());
      },
      TNames({"Z", "Division", "SplineMode", "Slices", "StopAngle", "Normals", "NormalDirection", "Parts"})));
  // A pipe node's RadiusFactor is stored only when not 1; its colour always.
  cases.push_back(ObjectCase<TGLPipe>(
      "pipe and its nodes",
      [](TGLPipe& o) {
        o.AddNode({0.0f, 0.0f, 0.0f});
        o.AddNode({0.0f, 0.0f, -5.0f});
      },
      [](TGLPipe& o) {
        o.AddNode({1.0f, 2.0f, -8.0f});
        o.SetDivision(4);
        o.SetSplineMode(TLineSplineMode::lsmCubicSpline);
        o.Nodes()[1].SetRadiusFactor(0.5f);
        o.Nodes()[1].Color().SetColor({0.5f, 0.5f, 0.0f, 1.0f});
        o.SetSlices(6);
        o.SetParts({TPipePart::ppOutside, TPipePart::ppStopDisk});
        o.SetRadius(0.25f);
        o.SetNodesColorMode(TPipeNodesColorMode::pncmAmbientAndDiffuse);
      },
      [](TValues& v, TGLPipe& o) {
        for (int i = 0; i < o.Nodes().Count(); ++i) {
          v("node", o.Nodes()[i].AsVector())("RadiusFactor", o.Nodes()[i].RadiusFactor())(
              "Color", o.Nodes()[i].Color().Color());
        }
        v("Division", o.Division())("SplineMode", o.SplineMode())("Slices", o.Slices())("Parts", o.Parts().Bits())(
            "Radius", o.Radius())("NodesColorMode", o.NodesColorMode());
      },
      TNames({"X", "Y", "RadiusFactor", "Division", "SplineMode", "Slices", "Parts", "NodesColorMode"}),
      {Refused("NodesColorMode", Int8(5))}));
  cases.push_back(FontCase<TGLBitmapFont>(
      "bitmap font",
      [](TGLBitmapFont& o) {
        o.Glyphs().SetGraphic(GlyphPicture());
        o.SetGlyphsIntervalX(2);
        o.SetGlyphsIntervalY(3);
        o.Ranges().Add(65, 90).SetStartGlyphIdx(1);
        o.SetCharWidth(12);
        o.SetCharHeight(14);
        o.SetHSpace(0);
        o.SetVSpace(4);
        o.SetMagFilter(TGLMagFilter::maNearest);
        o.SetMinFilter(miNearest);
        o.SetGlyphsAlpha(TGLTextureImageAlpha::tiaOpaque);
      },
      [](TValues& v, TGLBitmapFont& o) {
        const QImage glyphs = o.Glyphs().Empty() ? QImage() : o.Glyphs().Graphic()->ToImage();
        v("GlyphsWidth", glyphs.width())("GlyphsHeight", glyphs.height())(
            "GlyphPixel", glyphs.isNull() ? 0u : glyphs.pixel(20, 3) & 0xFFFFFFu)(
            "GlyphsIntervalX", o.GlyphsIntervalX())("GlyphsIntervalY", o.GlyphsIntervalY())(
            "CharWidth", o.CharWidth())("CharHeight", o.CharHeight())("HSpace", o.HSpace())("VSpace", o.VSpace())(
            "MagFilter", o.MagFilter())("MinFilter", o.MinFilter())("GlyphsAlpha", o.GlyphsAlpha());
        Ranges(v, o.Ranges());
      },
      TNames({"Glyphs.Data", "GlyphsIntervalX", "GlyphsIntervalY", "Ranges", "CharWidth", "CharHeight", "HSpace",
                "VSpace", "MagFilter", "MinFilter", "GlyphsAlpha"}),
      {Refused("StopASCII", Int32(256))},
      {Taken<TGLBitmapFont>("CharWidth", Int8(0), [](TGLBitmapFont& o) { o.SetCharWidth(0); }, "Font")}));
  cases.push_back(TextCase<TGLFlatText>(
      "flat text",
      [](TGLFlatText& o) {
        ChangeText(o);
        o.SetOptions(ftoTwoSided);
      },
      [](TValues& v, TGLFlatText& o) {
        TextValues(v, o);
        v("Options", o.Options());
      },
      Joined(kTextNames, TNames({"Options"}))));
  cases.push_back(HUDTextCase<TGLHUDText>("heads-up text", 45.0f, Joined(kTextNames, TNames({"Options"}))));
  cases.push_back(
      HUDTextCase<TGLResolutionIndependantHUDText>("resolution-independent heads-up text", -30.0f, kTextNames));
  cases.push_back(HUDTextCase<TGLAbsoluteHUDText>("absolute heads-up text", 90.0f, kTextNames));
  cases.push_back(ObjectCase<TGLSpaceText>(
      "space text", nullptr,
      [](TGLSpaceText& o) {
        o.Adjust().SetHorz(TGLTextHorzAdjust::haCenter);
        o.Adjust().SetVert(TGLTextVertAdjust::vaTop);
        o.SetAllowedDeviation(0.01f);
        o.SetAspectRatio(1.5f);
        o.SetCharacterRange(TSpaceTextCharRange::stcrNumbers);
        o.SetExtrusion(0.2f);
        TFont font = o.Font();
        font.Name = "Courier New";
        font.Height = -30;
        font.Color = 0x0000FF;
        font.Style = fsBold | fsItalic;
        o.SetFont(font);
        o.SetLines({"Borehole", "", "B-12"});
        o.SetOblique(10.0f);
        o.SetTextHeight(2.0f);
      },
      [](TValues& v, TGLSpaceText& o) {
        v("Horz", o.Adjust().Horz())("Vert", o.Adjust().Vert())("AllowedDeviation", o.AllowedDeviation())(
            "AspectRatio", o.AspectRatio())("CharacterRange", o.CharacterRange())("Extrusion", o.Extrusion())(
            "FontName", o.Font().Name)("FontHeight", o.Font().Height)("FontColor", o.Font().Color)(
            "FontStyle", static_cast<int>(o.Font().Style))("Text", o.Text())("Oblique", o.Oblique())(
            "TextHeight", o.TextHeight());
      },
      TNames({"Adjust.Horz", "Adjust.Vert", "CharacterRange", "Font.Color", "Font.Height", "Font.Name", "Font.Style",
                "Lines.Strings"}),
      {Refused("Font.Style", Int8(16))},
      {Taken<TGLSpaceText>("AllowedDeviation", Extended(-1.0),
                           [](TGLSpaceText& o) { o.SetAllowedDeviation(-1.0f); })}));
  return cases;
}

// The fonts rendered from a platform font need the Qt application.
template <class T>
TPublishedCase WindowsFontCase(std::string name) {
  return FontCase<T>(
      std::move(name),
      [](T& o) {
        TFont font = o.Font();
        font.Name = PinnedFontFace();
        font.Height = -12;
        font.Color = clBlack;
        font.Style = fsItalic;
        o.SetFont(font);
        o.SetMagFilter(TGLMagFilter::maNearest);
        o.SetMinFilter(miLinear);
        o.Ranges().Items(0).SetStopASCII(90);
        o.Ranges().Add(97, 122).SetStartGlyphIdx(59);
      },
      [](TValues& v, T& o) {
        v("FontName", o.Font().Name)("FontHeight", o.Font().Height)("FontColor", o.Font().Color)(
            "FontStyle", static_cast<int>(o.Font().Style))("MagFilter", o.MagFilter())("MinFilter", o.MinFilter());
        Ranges(v, o.Ranges());
      },
      TNames({"Font.Color", "Font.Height", "Font.Name", "Font.Style", "MagFilter", "MinFilter", "Ranges"}),
      {Refused("MinFilter", Int8(6))});
}

class ObjectsPublishedProperties : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterBitmapFileFormat();
    RegisterCustomSceneObjectClasses();
    RegisterSceneClasses();
    RegisterBasicSolidsClasses();
    RegisterDummyPlaneSpriteClasses();
    RegisterPointsLinesClasses();
    RegisterQuadricsClasses();
    RegisterMeshClasses();
    RegisterPipeClasses();
    RegisterBitmapFontClasses();
    RegisterWindowsBitmapFontClasses();
    RegisterHudObjectsClasses();
    RegisterSpaceTextClasses();
  }
};

std::vector<TPublishedCase> AllCases() {
  EnsureTestApplication();
  std::vector<TPublishedCase> cases = Cases();
  cases.push_back(WindowsFontCase<TGLWindowsBitmapFont>("Windows bitmap font"));
  cases.push_back(WindowsFontCase<TGLStoredBitmapFont>("stored bitmap font"));
  return cases;
}

QIRA_PUBLISHED_PROPERTY_TESTS(ObjectsPublishedProperties, AllCases)

}  // namespace
}  // namespace qira
