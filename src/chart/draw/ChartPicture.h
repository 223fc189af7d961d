#pragma once
// Pictures of charts with a list of bitmap filters that are applied to a copy of the
// picture before it is drawn: the filter base with its optional region, the filter
// list, the 3 × 3 convolution and the blur, the smooth bitmap stretch, the filter
// class registry and the checked stream form of a picture's filter list.
//
// Sections: registry; TChartFilter; TFilterItems; convolution; TChartPicture;
// stream form; SmoothStretch.
//
// Filters work on TBitmap (32 bits per pixel, 0xAARRGGBB); the three colour bytes are
// filtered and alpha stays opaque. A filter's rectangle is inclusive on all four sides
// and is clamped to the bitmap before any pixel is touched.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chart/draw/ChartStreaming.h"
#include "platform/Canvas.h"
#include "platform/Picture.h"

namespace qira {

class TBinaryStream;
class TChartFilter;
class TFilterItems;

// ------------------------------------------------------------------ registry

// The class reference of a filter kind: its streamed class name and the constructor
// of a new instance (in a list, or alone when the list is null).
class TFilterClass {
 public:
  using TCreate = std::unique_ptr<TChartFilter> (*)(TFilterItems*);
  TFilterClass(const char* name, TCreate create) : name_(name), create_(create) {}
  TFilterClass(const TFilterClass&) = delete;
  TFilterClass& operator=(const TFilterClass&) = delete;
  const char* ClassName() const { return name_; }
  std::unique_ptr<TChartFilter> Create(TFilterItems* collection = nullptr) const { return create_(collection); }

 private:
  const char* name_;
  TCreate create_;
};

// Adds each class not yet registered; duplicates are skipped.
void RegisterFilters(std::initializer_list<const TFilterClass*> classes);
// The registered classes in registration order.
const std::vector<const TFilterClass*>& FilterClasses();
// The registered class of that name, or null.
const TFilterClass* FindFilterClass(std::string_view name);

// Properties of a part streamed under a prefix ("Shadow.Color"): the part's name
// for one, the part's properties with the prefix taken off, and a part added under
// a prefix.
std::string PropertyKey(std::string_view prefix, std::string_view name);
TStreamedProperties PropertiesUnder(const TStreamedProperties& block, std::string_view prefix);
void AddPropertiesUnder(TStreamedProperties& block, TStreamedProperties part, std::string_view prefix);
// A colour streamed as an identifier ("clRed") or an integer; an unknown identifier
// raises EChartStreamError.
TColor PropertyColor(const TStreamedProperties& block, std::string_view name, TColor fallback);

// --------------------------------------------------------------- TChartFilter

struct TFilterRegion {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const TFilterRegion&, const TFilterRegion&) = default;
};

// What a filter declares to the generic filter editor (the editor itself belongs to
// the chart editors, which this program does not contain).
class TFilterEditor {
 public:
  virtual ~TFilterEditor() = default;
  virtual void AddInteger(std::string_view caption, int32_t minimum, int32_t maximum) = 0;
  virtual void AddBoolean(std::string_view caption) = 0;
  virtual void AddChoice(std::string_view caption, std::vector<std::string> choices) = 0;
};

// The published settings of a filter, visited by name for streaming: each call names
// a setting, gives its storage and its default (written only when it differs).
class TFilterProperties {
 public:
  virtual ~TFilterProperties() = default;
  virtual void Integer(std::string_view name, int32_t& value, int32_t defaultValue) = 0;
  virtual void Boolean(std::string_view name, bool& value, bool defaultValue) = 0;
  virtual void Real(std::string_view name, double& value, double defaultValue) = 0;
  // An enumeration streamed by the identifiers of its values.
  virtual void Choice(std::string_view name, int32_t& value, int32_t defaultValue,
                      std::initializer_list<std::string_view> identifiers) = 0;
  virtual void Color(std::string_view name, TColor& value, TColor defaultValue) = 0;
};

// The rectangle of a filter: inclusive on all four sides.
struct TFilterRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = -1;
  int32_t Bottom = -1;
  bool Empty() const { return Right < Left || Bottom < Top; }
};
// The rectangle limited to the bitmap; empty when nothing of it lies on the bitmap.
TFilterRect ClampFilterRect(const TFilterRect& r, const TBitmap& bitmap);

class TChartFilter {
 public:
  explicit TChartFilter(TFilterItems* collection = nullptr) : collection_(collection) {}
  TChartFilter(const TChartFilter&) = delete;
  TChartFilter& operator=(const TChartFilter&) = delete;
  virtual ~TChartFilter() = default;

  virtual const TFilterClass& FilterClass() const = 0;
  const char* ClassName() const { return FilterClass().ClassName(); }

  bool Enabled = true;
  // Made on first read.
  TFilterRegion& Region();
  bool HasRegion() const { return region_ != nullptr; }

  // Filters bitmap inside r (clamped first). The base filters nothing.
  virtual void Apply(TBitmap& bitmap, const TFilterRect& r);
  // Apply over the region, or over the whole bitmap without one.
  void ApplyTo(TBitmap& bitmap);
  // Declares the settings to the editor; the base stores the two values only.
  virtual void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2);
  // The filter's caption; the base gives the class name.
  virtual std::string Description() const { return ClassName(); }
  // Copies Enabled and the region (made when the source has one), then the settings.
  virtual void Assign(const TChartFilter& source);
  // The published settings other than Enabled and the region.
  virtual void Properties(TFilterProperties&) {}
  // Every published setting: Enabled, the region's four values, then Properties.
  void PublishedProperties(TFilterProperties& properties);

  TFilterItems* Collection() const { return collection_; }

  // Creates a filter of the class without a list, applies it to the whole bitmap
  // (or its region) and frees it.
  static void ApplyClass(const TFilterClass& filterClass, TBitmap& bitmap);

 protected:
  int32_t editorTag1_ = 0;
  int32_t editorTag2_ = 0;

 private:
  TFilterItems* collection_;
  std::unique_ptr<TFilterRegion> region_;
};

// Declares FilterClass() and the class reference of a filter kind.
#define QIRA_CHART_FILTER_CLASS(Class)                                 \
 public:                                                              \
  static const TFilterClass& StaticClass();                           \
  const TFilterClass& FilterClass() const override { return StaticClass(); }

// Defines the class reference of a filter kind named after the class.
#define QIRA_DEFINE_CHART_FILTER_CLASS(Class)                                           \
  const TFilterClass& Class::StaticClass() {                                            \
    static const TFilterClass kClass(#Class, [](TFilterItems* c) -> std::unique_ptr<TChartFilter> { \
      return std::make_unique<Class>(c);                                                \
    });                                                                                 \
    return kClass;                                                                      \
  }

// ---------------------------------------------------------------- TFilterItems

class TFilterItems {
 public:
  TFilterItems() = default;
  TFilterItems(const TFilterItems&) = delete;
  TFilterItems& operator=(const TFilterItems&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TChartFilter& Item(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }
  // A new filter of the class at the end of the list.
  TChartFilter& Add(const TFilterClass& filterClass);
  void Delete(int32_t index);
  void Clear() { items_.clear(); }
  // Clear, then one new item of each source item's class, assigned from it.
  void Assign(const TFilterItems& source);
  // Each enabled filter in list order, through ApplyTo.
  void ApplyTo(TBitmap& bitmap) const;

  // Adds the Collection property "FilterItems" (one block per filter: "ItemClass" with
  // the class name, then the published settings that differ from their defaults);
  // nothing for an empty list.
  void WriteProperties(TStreamedProperties& block) const;
  // Takes "FilterItems" from a block when it is there. Class names are checked against
  // the registry, and property names and types against each filter's settings; a
  // damaged list raises EChartStreamError and leaves this list as it was.
  void ReadProperties(const TStreamedProperties& block);

 private:
  std::vector<std::unique_ptr<TChartFilter>> items_;
};

// -------------------------------------------------------------- convolution

// A 3 × 3 convolution over the interior of the rectangle (its border rows and columns
// keep their values). The factor is recomputed at each Apply as 1 ÷ the sum of the
// weights; a kernel summing to 0 is applied with factor 1 instead of a division by 0.
class TConvolveFilter : public TChartFilter {
  QIRA_CHART_FILTER_CLASS(TConvolveFilter)
 public:
  using TChartFilter::TChartFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;

  float Weights[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  float Factor = 1.0f / 9.0f;

 protected:
  void Convolve(TBitmap& bitmap, const TFilterRect& r);
};

class TBlurFilter : public TConvolveFilter {
  QIRA_CHART_FILTER_CLASS(TBlurFilter)
 public:
  using TConvolveFilter::TConvolveFilter;
  void Apply(TBitmap& bitmap, const TFilterRect& r) override;
  void CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) override;
  std::string Description() const override;
  void Properties(TFilterProperties& p) override;

  int32_t Amount = 1;  // weight of the centre pixel
  int32_t Steps = 1;   // passes; none when 0 or less
};

// -------------------------------------------------------------- TChartPicture

class TChartPicture : public TPicture {
 public:
  TChartPicture() = default;

  // Made on first read.
  TFilterItems& Filters();
  bool HasFilters() const { return filters_ && filters_->Count() > 0; }
  // The graphic passed through the enabled filters, as a new image; the graphic itself
  // when there are no filters, a null image without a graphic. Never changes the
  // graphic, and an image handed out earlier keeps its pixels.
  QImage Filtered() const;
  // Copies the source's filter list (a source without one frees ours), then its graphic.
  void Assign(const TChartPicture* source);

  // The defined property "FilterItems", written only when the list has an item.
  void WriteProperties(TStreamedProperties& block) const;
  // A damaged list raises EChartStreamError and leaves the picture's list as it was.
  void ReadProperties(const TStreamedProperties& block);
  // The same as one property block of its own on a stream (checked as ReadProperties
  // of ChartStreaming checks); false when the stream refused a write.
  bool WriteFilterItems(TBinaryStream& stream) const;
  void ReadFilterItems(TBinaryStream& stream);

 private:
  std::unique_ptr<TFilterItems> filters_;
};

// ------------------------------------------------------------- SmoothStretch

// Resamples source into target's size (triangle filter when fast, else Lanczos 3).
// Nothing happens unless source is at least 2 × 2 and target at least 2 × 2.
void SmoothStretch(const TBitmap& source, TBitmap& target, bool fast = false);
// Smooth when asked and both bitmaps are at least 2 × 2, else nearest pixel.
void StretchBitmap(const TBitmap& source, TBitmap& target, bool smooth);

// Turns a bitmap by whole degrees (counter-clockwise), used by angled gradients.
// Holds the rotation filter's routine from the program's start (the filters' unit
// defines it); null leaves the bitmap unturned.
using TBitmapRotation = void (*)(TBitmap& bitmap, int32_t angle);
extern TBitmapRotation ChartBitmapRotation;

}  // namespace qira
