#pragma once
// Point clouds and polylines: TGLPoints draws a list of positions as points
// (square, round or smooth, optionally additive, with optional distance
// attenuation of their size); the line family TGLLineBase > TGLNodedLines >
// TGLLines draws a line through editable nodes, straight or along a cubic
// spline, Bezier or NURBS curve, as segments or a closed loop, with a marker
// at every node.
//
// Sections: TGLPointParameters; TGLPoints; TGLLineBase; nodes of lines;
// TGLNodedLines; TGLLines; registration.
#include <array>
#include <cstdint>
#include <memory>

#include "scene/objects/BasicSolids.h"
#include "scene/components/Colors.h"
#include "scene/components/Coordinates.h"
#include "scene/graph/CustomSceneObjects.h"
#include "scene/objects/Nodes.h"
#include "scene/components/VectorLists.h"

namespace qira {

class TBinaryStream;

// ------------------------------------------------------ TGLPointParameters

// Size limits and distance attenuation of points (GL_ARB_point_parameters).
// Stored form: the binary property "PointParams", MinSize, MaxSize and
// FadeTresholdSize as little-endian singles (12 bytes), written only when one
// of them differs from its default (0, 128, 1).
class TGLPointParameters : public TGLUpdateAbleObject {
  QIRA_CLASS(TGLPointParameters, TGLUpdateAbleObject)

  explicit TGLPointParameters(TPersistent* owner = nullptr);
  ~TGLPointParameters() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // The three sizes store 0 for a negative value.
  float MinSize() const { return minSize_; }
  void SetMinSize(float value);
  float MaxSize() const { return maxSize_; }
  void SetMaxSize(float value);
  float FadeTresholdSize() const { return fadeTresholdSize_; }
  void SetFadeTresholdSize(float value);
  TGLCoordinates3& DistanceAttenuation() const { return *distanceAttenuation_; }
  void SetDistanceAttenuation(const TGLCoordinates3& value);

  // The three sizes and DistanceAttenuation from another TGLPointParameters.
  void Assign(const TPersistent* source) override;
  // Enabled when set, DistanceAttenuation always ...
  void DefinePublished(TFiler& filer) override;
  // ... and "PointParams" by StorePointParams; a block that is not 12 bytes
  // of finite sizes is refused, a negative size read as 0 (its setter's rule).
  void DefineProperties(TFiler& filer) override;

  // Sends the parameters when Enabled and the driver has GL_ARB_point_parameters.
  void Apply() const;
  // Under the same condition sends OpenGL's defaults back.
  void UnApply() const;

  // ---- stored form
  bool StorePointParams() const;
  std::array<uint8_t, 12> PointParamsData() const;
  // Stores the three sizes (negative ones as 0) and notifies.
  void SetPointParamsData(const std::array<uint8_t, 12>& data);
  // EWriteError "Stream write error" / EReadError "Stream read error"
  // (nothing changed) on failure; a size that is not finite, or negative,
  // raises EReadError "Invalid property value".
  void WritePointParams(TBinaryStream& stream) const;
  void ReadPointParams(TBinaryStream& stream);

 private:
  bool enabled_ = false;
  float minSize_ = 0.0f;
  float maxSize_ = 128.0f;
  float fadeTresholdSize_ = 1.0f;
  std::unique_ptr<TGLCoordinates3> distanceAttenuation_;
};

// ---------------------------------------------------------------- TGLPoints

enum class TGLPointStyle : uint8_t { psSquare, psRound, psSmooth, psSmoothAdditive, psSquareAdditive };

// A point cloud drawn unlit from vertex arrays. With no colour the points are
// white, with one colour all take it, with more each point takes its own
// (and only as many points are drawn as there are colours).
class TGLPoints : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLPoints, TGLImmaterialSceneObject)

  // One point at the origin; drawn every frame, never culled.
  TGLPoints();
  ~TGLPoints() override;

  // Edit the lists, then call StructureChanged so a compiled list is rebuilt.
  TAffineVectorList& Positions() const { return *positions_; }
  void SetPositions(const TAffineVectorList& value);
  TVectorList& Colors() const { return *colors_; }
  void SetColors(const TVectorList& value);
  // Stored only when not 1.0.
  float Size() const { return size_; }
  void SetSize(float value);
  bool IsSizeStored() const { return size_ != 1.0f; }
  TGLPointStyle Style() const { return style_; }
  void SetStyle(TGLPointStyle value);
  TGLPointParameters& PointParameters() const { return *pointParameters_; }
  void SetPointParameters(const TGLPointParameters& value);
  bool NoZWrite() const { return noZWrite_; }
  void SetNoZWrite(bool value);
  // True compiles the points into a display list (clears DirectDraw).
  bool Static() const { return static_; }
  void SetStatic(bool value);

  // Size, Style, Positions and Colors, then a structure change, then inherited.
  void Assign(const TPersistent* source) override;
  // Positions and Colors (always), Size (when not 1), Style,
  // PointParameters, NoZWrite and Static.
  void DefinePublished(TFiler& filer) override;
  // A change of the point parameters is a structure change.
  void NotifyChange(TObject* sender) override;
  void BuildList(TRenderContextInfo& rci) override;

  // Number of points BuildList draws: the positions, capped by the colours
  // when there are more than one.
  int DrawnPointCount() const;
  // What each point it draws counts in the renderer's queue: the tiles its square
  // covers at the largest size it is drawn at (PointRenderWeight of Size, or of the
  // point parameters' MaxSize where they are enabled and allow more).
  int64_t RenderWeight() const;
  // True when BuildList locks the arrays (GL_EXT_compiled_vertex_array
  // present and more than 64 points drawn).
  bool LocksArrays() const;

 private:
  std::unique_ptr<TAffineVectorList> positions_;
  std::unique_ptr<TVectorList> colors_;
  float size_ = 1.0f;
  TGLPointStyle style_ = TGLPointStyle::psSquare;
  std::unique_ptr<TGLPointParameters> pointParameters_;
  bool noZWrite_ = false;
  bool static_ = false;
};

// -------------------------------------------------------------- TGLLineBase

// Colour, stipple, width and smoothing of a line; BuildList of descendants
// brackets its lines with SetupLineStyle / RestoreLineStyle.
class TGLLineBase : public TGLImmaterialSceneObject {
  QIRA_CLASS(TGLLineBase, TGLImmaterialSceneObject)

  TGLLineBase();
  ~TGLLineBase() override;

  TGLColor& LineColor() const { return *lineColor_; }
  void SetLineColor(const TGLColor& value);
  // 0xFFFF is solid.
  uint16_t LinePattern() const { return linePattern_; }
  void SetLinePattern(uint16_t value);
  float LineWidth() const { return lineWidth_; }
  void SetLineWidth(float value);
  bool IsLineWidthStored() const { return lineWidth_ != 1.0f; }
  bool AntiAliased() const { return antiAliased_; }
  void SetAntiAliased(bool value);

  // Colour, pattern, width and anti-aliasing, then inherited.
  void Assign(const TPersistent* source) override;
  // LineColor always, LinePattern, LineWidth (when not 1) and AntiAliased
  // when not their defaults.
  void DefinePublished(TFiler& filer) override;
  // A change of an owned colour is a structure change.
  void NotifyChange(TObject* sender) override;

  // Pushes the enable, current, line and colour-buffer attributes and sets
  // the line state; RestoreLineStyle pops them.
  void SetupLineStyle() const;
  static void RestoreLineStyle();

 protected:
  // Whether `sender` is a colour owned by this node (its changes rebuild the list).
  virtual bool IsOwnedColor(const TObject* sender) const { return sender == lineColor_.get(); }

 private:
  std::unique_ptr<TGLColor> lineColor_;
  uint16_t linePattern_ = 0xFFFF;
  float lineWidth_ = 1.0f;
  bool antiAliased_ = false;
};

// ------------------------------------------------------------ nodes of lines

class TGLNodedLines;

// A node with its own colour, which starts as the owning lines' NodeColor.
class TGLLinesNode : public TGLNode {
  QIRA_CLASS(TGLLinesNode, TGLNode)

  TGLLinesNode();
  ~TGLLinesNode() override;

  TGLColor& Color() const { return *color_; }
  void SetColor(const TGLColor& value);
  // Stored only when it differs from the owning lines' NodeColor (always
  // without owning lines).
  bool IsColorStored() const;

  // From a TGLLinesNode also the colour; then inherited.
  void Assign(const TPersistent* source) override;
  // X, Y, Z, and Color by IsColorStored.
  void DefinePublished(TFiler& filer) override;

  // The lines owning the collection of this node, or null.
  TGLNodedLines* OwnerLines() const;

 private:
  friend class TGLLinesNodes;
  std::unique_ptr<TGLColor> color_;
  // Set when a colour of its own was read from a stream: joining lines, the
  // node then keeps it rather than taking their NodeColor.
  bool colorRead_ = false;
};

// The node collection of lines: a change rebuilds its owner.
class TGLLinesNodes : public TGLNodes {
  QIRA_CLASS(TGLLinesNodes, TGLNodes)

  explicit TGLLinesNodes(TPersistent* owner);

  TGLLinesNode& GetItem(int index) const { return static_cast<TGLLinesNode&>(TCollection::GetItem(index)); }
  TGLLinesNode& operator[](int index) const { return GetItem(index); }
  TGLLinesNode& Add() { return static_cast<TGLLinesNode&>(TCollection::Add()); }
  // Adds a node at (x, y, z).
  TGLLinesNode& AddNode(float x, float y, float z);

  // With no update open: StructureChanged of the owning scene object.
  void NotifyChange() override;

 protected:
  // A new node takes the owner's NodeColor.
  void Notify(TCollectionItem& item, TCollectionNotification action) override;
};

// ------------------------------------------------------------ TGLNodedLines

enum class TLineNodesAspect : uint8_t { lnaInvisible, lnaAxes, lnaCube, lnaDodecahedron };

class TGLNodedLines : public TGLLineBase {
  QIRA_CLASS(TGLNodedLines, TGLLineBase)

  TGLNodedLines();
  ~TGLNodedLines() override;

  TGLLinesNodes& Nodes() const { return *nodes_; }
  void SetNodes(const TGLLinesNodes& value);
  TLineNodesAspect NodesAspect() const { return nodesAspect_; }
  void SetNodesAspect(TLineNodesAspect value);
  // A change recolours the nodes that still carried the previous colour.
  TGLColor& NodeColor() const { return *nodeColor_; }
  void SetNodeColor(const TGLColor& value);
  // A value not above 0 (or NaN) is stored as 1.
  float NodeSize() const { return nodeSize_; }
  void SetNodeSize(float value);
  bool IsNodeSizeStored() const { return nodeSize_ != 1.0f; }

  // Adds a node at (x, y, z) (or at v) with the current NodeColor.
  void AddNode(float x, float y, float z);
  void AddNode(const TAffineVector& v) { AddNode(v.x, v.y, v.z); }

  // Nodes, aspect, node colour and size, then inherited.
  void Assign(const TPersistent* source) override;
  // NodesAspect when not its default, NodeColor always, NodeSize when not 1,
  // then Nodes when there are any. A NodeSize read goes through its setter.
  void DefinePublished(TFiler& filer) override;
  // Per axis the largest absolute node coordinate; zero without nodes.
  TVector AxisAlignedDimensionsUnscaled() const override;
  void NotifyChange(TObject* sender) override;

  // The markers of every node (nothing for lnaInvisible).
  void DrawNodes(TRenderContextInfo& rci) const;

 protected:
  bool IsOwnedColor(const TObject* sender) const override;

 private:
  // Recolours the nodes that carried oldNodeColor_, then remembers the new colour.
  void OnNodeColorChanged();

  std::unique_ptr<TGLLinesNodes> nodes_;
  TLineNodesAspect nodesAspect_ = TLineNodesAspect::lnaAxes;
  std::unique_ptr<TGLColor> nodeColor_;
  float nodeSize_ = 1.0f;
  TVector oldNodeColor_{0.0f, 0.0f, 1.0f, 1.0f};
};

// ----------------------------------------------------------------- TGLLines

enum class TLinesOption : uint8_t { loUseNodeColorForLines = 1 };
using TLinesOptions = TGLFlagSet<TLinesOption>;

class TGLLines : public TGLNodedLines {
  QIRA_CLASS(TGLLines, TGLNodedLines)

  TGLLines();
  ~TGLLines() override;

  // At least 1: a smaller value is stored as 1.
  int32_t Division() const { return division_; }
  void SetDivision(int32_t value);
  TLineSplineMode SplineMode() const { return splineMode_; }
  void SetSplineMode(TLineSplineMode value);
  TLinesOptions Options() const { return options_; }
  void SetOptions(TLinesOptions value);

  // The NURBS curve of lsmNURBSCurve; not published. The curve is drawn only
  // when the order is above 0 and the knots number exactly node count + order
  // (then every control point read is a node).
  int32_t NurbsOrder() const { return nurbsOrder_; }
  void SetNurbsOrder(int32_t value);
  float NurbsSamplingTolerance() const { return nurbsSamplingTolerance_; }
  void SetNurbsSamplingTolerance(float value);
  // Edit, then call StructureChanged.
  TSingleList& NurbsKnots() const { return *nurbsKnots_; }
  bool NurbsCurveDrawable() const;

  // Division, spline mode and options, then inherited.
  void Assign(const TPersistent* source) override;
  // Division, SplineMode and Options when not their defaults (the NURBS
  // fields are not published).
  void DefinePublished(TFiler& filer) override;
  void BuildList(TRenderContextInfo& rci) override;

  // The vertices (and with loUseNodeColorForLines their colours) of the
  // cubic-spline curve as BuildList draws it: (count - 1) x Division + 1
  // points. Empty with fewer than 2 nodes.
  void CubicSplineVertices(TAffineVectorList& points, TVectorList* colors) const;

 private:
  int32_t division_ = 10;
  TLineSplineMode splineMode_ = TLineSplineMode::lsmLines;
  TLinesOptions options_;
  int32_t nurbsOrder_ = 0;
  float nurbsSamplingTolerance_ = 50.0f;
  std::unique_ptr<TSingleList> nurbsKnots_;
};

// ------------------------------------------------------------ registration

// Registers TGLPoints, TGLLines and TGLLinesNode with the class registry.
void RegisterPointsLinesClasses();

}  // namespace qira
