#include "chart/draw/ChartPicture.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "chart/draw/ChartMessages.h"
#include "platform/BinaryStream.h"
#include "platform/CanvasColors.h"
#include "platform/Rounding.h"

// Sections: [SECTION] registry; [SECTION] TChartFilter; [SECTION] TFilterItems;
// [SECTION] stream form; [SECTION] convolution; [SECTION] TChartPicture;
// [SECTION] SmoothStretch

namespace qira {

// ---------------------------------------------------------- [SECTION] registry

namespace {
std::vector<const TFilterClass*>& Registry() {
  static std::vector<const TFilterClass*> classes;
  return classes;
}
}  // namespace

void RegisterFilters(std::initializer_list<const TFilterClass*> classes) {
  for (const TFilterClass* c : classes) {
    if (c != nullptr && FindFilterClass(c->ClassName()) == nullptr) Registry().push_back(c);
  }
}

const std::vector<const TFilterClass*>& FilterClasses() { return Registry(); }

const TFilterClass* FindFilterClass(std::string_view name) {
  for (const TFilterClass* c : Registry()) {
    if (name == c->ClassName()) return c;
  }
  return nullptr;
}

std::string PropertyKey(std::string_view prefix, std::string_view name) {
  std::string key(prefix);
  key += name;
  return key;
}

TStreamedProperties PropertiesUnder(const TStreamedProperties& block, std::string_view prefix) {
  TStreamedProperties part;
  for (const TStreamedProperty& p : block) {
    if (p.Name.size() > prefix.size() && p.Name.compare(0, prefix.size(), prefix) == 0) {
      part.push_back(p);
      part.back().Name = p.Name.substr(prefix.size());
    }
  }
  return part;
}

void AddPropertiesUnder(TStreamedProperties& block, TStreamedProperties part, std::string_view prefix) {
  for (TStreamedProperty& p : part) {
    p.Name = PropertyKey(prefix, p.Name);
    block.push_back(std::move(p));
  }
}

TColor PropertyColor(const TStreamedProperties& block, std::string_view name, TColor fallback) {
  const TStreamedProperty* p = FindProperty(block, name);
  if (p == nullptr) return fallback;
  if (p->Type == TPropertyType::Ident) {
    if (const auto c = ColorFromIdent(p->Text)) return *c;
    throw EChartStreamError("Invalid property value " + std::string(name));
  }
  return static_cast<TColor>(PropertyInteger(block, name, fallback) & 0xFFFFFFFF);
}

// ------------------------------------------------------ [SECTION] TChartFilter

TFilterRect ClampFilterRect(const TFilterRect& r, const TBitmap& bitmap) {
  TFilterRect c{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, bitmap.Width() - 1),
                std::min(r.Bottom, bitmap.Height() - 1)};
  if (c.Empty()) return TFilterRect{};
  return c;
}

TFilterRegion& TChartFilter::Region() {
  if (!region_) region_ = std::make_unique<TFilterRegion>();
  return *region_;
}

void TChartFilter::Apply(TBitmap&, const TFilterRect&) {}

void TChartFilter::ApplyTo(TBitmap& bitmap) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if (w < 1 || h < 1) return;
  TFilterRect r{0, 0, w - 1, h - 1};
  if (region_) {
    const TFilterRegion& g = *region_;
    const int64_t right = g.Width != 0 ? std::min<int64_t>(w - 1, int64_t{g.Left} + g.Width)
                                       : std::max<int64_t>(g.Left, w - 1);
    const int64_t bottom = g.Height != 0 ? std::min<int64_t>(h - 1, int64_t{g.Top} + g.Height)
                                         : std::max<int64_t>(g.Top, h - 1);
    r = TFilterRect{g.Left, g.Top, static_cast<int32_t>(std::clamp<int64_t>(right, INT32_MIN, INT32_MAX)),
                    static_cast<int32_t>(std::clamp<int64_t>(bottom, INT32_MIN, INT32_MAX))};
  }
  // A region partly or wholly outside the bitmap is clamped to it.
  r = ClampFilterRect(r, bitmap);
  if (!r.Empty()) Apply(bitmap, r);
}

void TChartFilter::CreateEditor(TFilterEditor&, int32_t tag1, int32_t tag2) {
  editorTag1_ = tag1;
  editorTag2_ = tag2;
}

namespace {

using TPropertyValue = std::variant<int64_t, bool, double, std::string>;

// Collects a filter's settings in visiting order.
class TGatherProperties : public TFilterProperties {
 public:
  std::vector<TPropertyValue> values;
  void Integer(std::string_view, int32_t& v, int32_t) override { values.emplace_back(int64_t{v}); }
  void Boolean(std::string_view, bool& v, bool) override { values.emplace_back(v); }
  void Real(std::string_view, double& v, double) override { values.emplace_back(v); }
  void Choice(std::string_view, int32_t& v, int32_t, std::initializer_list<std::string_view>) override {
    values.emplace_back(int64_t{v});
  }
  void Color(std::string_view, TColor& v, TColor) override { values.emplace_back(int64_t{v}); }
};

// Hands collected settings back in the same order (to a filter of the same class).
class TScatterProperties : public TFilterProperties {
 public:
  explicit TScatterProperties(const std::vector<TPropertyValue>& v) : values_(v) {}
  void Integer(std::string_view, int32_t& v, int32_t) override { v = static_cast<int32_t>(std::get<int64_t>(Next())); }
  void Boolean(std::string_view, bool& v, bool) override { v = std::get<bool>(Next()); }
  void Real(std::string_view, double& v, double) override { v = std::get<double>(Next()); }
  void Choice(std::string_view, int32_t& v, int32_t, std::initializer_list<std::string_view>) override {
    v = static_cast<int32_t>(std::get<int64_t>(Next()));
  }
  void Color(std::string_view, TColor& v, TColor) override { v = static_cast<TColor>(std::get<int64_t>(Next())); }

 private:
  const TPropertyValue& Next() { return values_.at(next_++); }
  const std::vector<TPropertyValue>& values_;
  size_t next_ = 0;
};

}  // namespace

void TChartFilter::Assign(const TChartFilter& source) {
  if (&source == this) return;
  Enabled = source.Enabled;
  if (source.region_) Region() = *source.region_;
  if (&source.FilterClass() == &FilterClass()) {
    TGatherProperties gather;
    const_cast<TChartFilter&>(source).Properties(gather);
    TScatterProperties scatter(gather.values);
    Properties(scatter);
  }
}

void TChartFilter::PublishedProperties(TFilterProperties& p) {
  p.Boolean("Enabled", Enabled, true);
  TFilterRegion region = region_ ? *region_ : TFilterRegion{};
  p.Integer("Region.Left", region.Left, 0);
  p.Integer("Region.Top", region.Top, 0);
  p.Integer("Region.Width", region.Width, 0);
  p.Integer("Region.Height", region.Height, 0);
  if (region_ || region != TFilterRegion{}) Region() = region;
  Properties(p);
}

void TChartFilter::ApplyClass(const TFilterClass& filterClass, TBitmap& bitmap) {
  filterClass.Create(nullptr)->ApplyTo(bitmap);
}

// ------------------------------------------------------ [SECTION] TFilterItems

TChartFilter& TFilterItems::Add(const TFilterClass& filterClass) {
  items_.push_back(filterClass.Create(this));
  return *items_.back();
}

void TFilterItems::Delete(int32_t index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

void TFilterItems::Assign(const TFilterItems& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TChartFilter>> copies;
  for (const auto& item : source.items_) {
    copies.push_back(item->FilterClass().Create(this));
    copies.back()->Assign(*item);
  }
  items_ = std::move(copies);
}

void TFilterItems::ApplyTo(TBitmap& bitmap) const {
  for (const auto& item : items_) {
    if (item->Enabled) item->ApplyTo(bitmap);
  }
}

// ------------------------------------------------------- [SECTION] stream form
//
// The list is one Collection property "FilterItems": one block per filter whose first
// property "ItemClass" names the filter's class, followed by its published settings.

namespace {

constexpr std::string_view kFilterItems = "FilterItems";
constexpr std::string_view kItemClass = "ItemClass";

struct TColorIdent {
  const char* name;
  TColor value;
};
constexpr TColorIdent kColorIdents[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000},  {"clPurple", 0x800080}, {"clTeal", 0x808000},  {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},   {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},  {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clNone", 0x1FFFFFFF}, {"clDefault", 0x20000000}};

class TWriteProperties : public TFilterProperties {
 public:
  explicit TWriteProperties(TStreamedProperties& block) : block_(block) {}
  void Integer(std::string_view name, int32_t& v, int32_t def) override {
    if (v != def) AddInteger(block_, name, v);
  }
  void Boolean(std::string_view name, bool& v, bool def) override {
    if (v != def) AddBoolean(block_, name, v);
  }
  void Real(std::string_view name, double& v, double def) override {
    if (v != def) AddDouble(block_, name, v);
  }
  void Choice(std::string_view name, int32_t& v, int32_t def, std::initializer_list<std::string_view> ids) override {
    if (v != def && v >= 0 && static_cast<size_t>(v) < ids.size()) AddIdent(block_, name, ids.begin()[v]);
  }
  // A colour with a name is written as its identifier, as the class library does.
  void Color(std::string_view name, TColor& v, TColor def) override {
    if (v == def) return;
    for (const TColorIdent& c : kColorIdents) {
      if (c.value == v) {
        AddIdent(block_, name, c.name);
        return;
      }
    }
    AddInteger(block_, name, static_cast<int64_t>(v));
  }

 private:
  TStreamedProperties& block_;
};

// Takes a filter's settings from its block; every property of the block must be one
// of the filter's settings, of the setting's type.
class TReadProperties : public TFilterProperties {
 public:
  explicit TReadProperties(const TStreamedProperties& block) : block_(block) {}
  void Integer(std::string_view name, int32_t& v, int32_t) override {
    v = PropertyInt32(block_, Use(name), v);
  }
  void Boolean(std::string_view name, bool& v, bool) override { v = PropertyBoolean(block_, Use(name), v); }
  void Real(std::string_view name, double& v, double) override {
    const double x = PropertyDouble(block_, Use(name), v);
    if (!std::isfinite(x)) throw EChartStreamError("Invalid property value " + std::string(name));
    v = x;
  }
  void Choice(std::string_view name, int32_t& v, int32_t, std::initializer_list<std::string_view> ids) override {
    const TStreamedProperty* p = FindProperty(block_, Use(name));
    if (p == nullptr) return;
    const auto it = p->Type == TPropertyType::Ident ? std::find(ids.begin(), ids.end(), p->Text) : ids.end();
    if (it == ids.end()) throw EChartStreamError("Invalid property value " + std::string(name));
    v = static_cast<int32_t>(it - ids.begin());
  }
  void Color(std::string_view name, TColor& v, TColor) override { v = PropertyColor(block_, Use(name), v); }
  void CheckAllUsed() const {
    for (const TStreamedProperty& p : block_) {
      if (p.Name == kItemClass) continue;
      if (std::find(used_.begin(), used_.end(), p.Name) == used_.end())
        throw EChartStreamError("Property " + p.Name + " does not exist");
    }
  }

 private:
  std::string_view Use(std::string_view name) {
    used_.emplace_back(name);
    return name;
  }
  const TStreamedProperties& block_;
  std::vector<std::string> used_;
};

}  // namespace

void TFilterItems::WriteProperties(TStreamedProperties& block) const {
  if (items_.empty()) return;
  TStreamedProperty list;
  list.Name = kFilterItems;
  list.Type = TPropertyType::Collection;
  for (const auto& item : items_) {
    TStreamedProperties itemBlock;
    AddString(itemBlock, kItemClass, item->ClassName());
    TWriteProperties writer(itemBlock);
    item->PublishedProperties(writer);
    list.Items.push_back(std::move(itemBlock));
  }
  block.push_back(std::move(list));
}

void TFilterItems::ReadProperties(const TStreamedProperties& block) {
  const TStreamedProperty* list = FindProperty(block, kFilterItems);
  if (list == nullptr) return;
  if (list->Type != TPropertyType::Collection) throw EChartStreamError("Invalid property value FilterItems");
  std::vector<std::unique_ptr<TChartFilter>> items;
  for (const TStreamedProperties& itemBlock : list->Items) {
    const std::string className = PropertyString(itemBlock, kItemClass, "");
    const TFilterClass* filterClass = FindFilterClass(className);
    if (filterClass == nullptr) throw EChartStreamError("Class " + className + " not found");
    items.push_back(filterClass->Create(this));
    TReadProperties reader(itemBlock);
    items.back()->PublishedProperties(reader);
    reader.CheckAllUsed();
  }
  items_ = std::move(items);
}

// ------------------------------------------------------- [SECTION] convolution

QIRA_DEFINE_CHART_FILTER_CLASS(TConvolveFilter)
QIRA_DEFINE_CHART_FILTER_CLASS(TBlurFilter)

void TConvolveFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  TChartFilter::Apply(bitmap, r);
  Convolve(bitmap, r);
}

void TConvolveFilter::Convolve(TBitmap& bitmap, const TFilterRect& rect) {
  float sum = 0;
  for (float w : Weights) sum += w;
  // A kernel that sums to 0 (an edge detector) is applied unnormalised.
  Factor = sum != 0 ? 1.0f / sum : 1.0f;
  const TFilterRect r = ClampFilterRect(rect, bitmap);
  if (r.Bottom - r.Top < 2 || r.Right - r.Left < 2) return;
  const int32_t w = r.Right - r.Left + 1;
  std::vector<uint32_t> source;
  source.reserve(static_cast<size_t>(w) * static_cast<size_t>(r.Bottom - r.Top + 1));
  for (int32_t y = r.Top; y <= r.Bottom; ++y) {
    const uint32_t* row = bitmap.ScanLine(y) + r.Left;
    source.insert(source.end(), row, row + w);
  }
  auto at = [&](int32_t x, int32_t y) { return source[static_cast<size_t>(y) * w + x]; };
  for (int32_t y = 1; y < r.Bottom - r.Top; ++y) {
    uint32_t* out = bitmap.ScanLine(r.Top + y) + r.Left;
    for (int32_t x = 1; x < w - 1; ++x) {
      double channel[3] = {0, 0, 0};
      for (int32_t k = 0; k < 9; ++k) {
        const uint32_t p = at(x + k % 3 - 1, y + k / 3 - 1);
        for (int32_t c = 0; c < 3; ++c) channel[c] += Weights[k] * static_cast<double>((p >> (8 * c)) & 0xFF);
      }
      uint32_t result = 0xFF000000u;
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t v = std::clamp(RoundToInt(channel[c] * Factor), 0, 255);
        result |= static_cast<uint32_t>(v) << (8 * c);
      }
      out[x] = result;
    }
  }
}

void TBlurFilter::Apply(TBitmap& bitmap, const TFilterRect& r) {
  TChartFilter::Apply(bitmap, r);
  std::fill(std::begin(Weights), std::end(Weights), 1.0f);
  Weights[4] = static_cast<float>(Amount);
  for (int32_t i = 0; i < Steps; ++i) Convolve(bitmap, r);
}

void TBlurFilter::CreateEditor(TFilterEditor& editor, int32_t tag1, int32_t tag2) {
  TChartFilter::CreateEditor(editor, tag1, tag2);
  editor.AddInteger("Steps", 1, 20);
  editor.AddInteger("Amount", 0, 50);
}

std::string TBlurFilter::Description() const { return std::string(ChartMsg::FilterBlur); }

void TBlurFilter::Properties(TFilterProperties& p) {
  p.Integer("Amount", Amount, 1);
  p.Integer("Steps", Steps, 1);
}

// ----------------------------------------------------- [SECTION] TChartPicture

TFilterItems& TChartPicture::Filters() {
  if (!filters_) filters_ = std::make_unique<TFilterItems>();
  return *filters_;
}

QImage TChartPicture::Filtered() const {
  const TGraphic* graphic = Graphic();
  if (graphic == nullptr || graphic->Empty()) return QImage();
  if (!HasFilters()) return graphic->ToImage();
  // The filters work on a copy: the graphic and any image handed out before stay as they are.
  TBitmap copy;
  copy.Image() = graphic->ToImage().convertToFormat(QImage::Format_RGB32);
  filters_->ApplyTo(copy);
  return copy.Image();
}

void TChartPicture::Assign(const TChartPicture* source) {
  if (source == this) return;
  if (source != nullptr && source->filters_) {
    Filters().Assign(*source->filters_);
  } else {
    filters_.reset();
  }
  TPicture::Assign(source);
}

void TChartPicture::WriteProperties(TStreamedProperties& block) const {
  if (filters_) filters_->WriteProperties(block);
}

void TChartPicture::ReadProperties(const TStreamedProperties& block) {
  if (FindProperty(block, kFilterItems) == nullptr) return;
  // A damaged list raises before the picture's own list changes.
  auto filters = std::make_unique<TFilterItems>();
  filters->ReadProperties(block);
  if (filters_) {
    filters_->Assign(*filters);
  } else {
    filters_ = std::move(filters);
  }
}

bool TChartPicture::WriteFilterItems(TBinaryStream& stream) const {
  TStreamedProperties block;
  WriteProperties(block);
  return ::qira::WriteProperties(stream, block);
}

void TChartPicture::ReadFilterItems(TBinaryStream& stream) { ReadProperties(::qira::ReadProperties(stream)); }

// ----------------------------------------------------- [SECTION] SmoothStretch

namespace {

double Lanczos3(double x) {
  x = std::fabs(x);
  if (x >= 3.0) return 0.0;
  if (x == 0.0) return 1.0;
  const double px = M_PI * x;
  return (std::sin(px) / px) * (std::sin(px / 3.0) / (px / 3.0));
}

double Triangle(double x) {
  x = std::fabs(x);
  return x < 1.0 ? 1.0 - x : 0.0;
}

struct TContribution {
  int32_t index;
  int32_t weight;  // fixed point, 10 fraction bits
};

// For each target index, the source indices and weights that make it up. Every index
// lies in 0 .. sourceCount − 1: edges are mirrored, then clamped.
std::vector<std::vector<TContribution>> Contributions(int32_t sourceCount, int32_t targetCount, bool fast) {
  const double support = fast ? 1.0 : 3.0;
  double (*filter)(double) = fast ? Triangle : Lanczos3;
  const double scale = static_cast<double>(targetCount - 1) / static_cast<double>(sourceCount - 1);
  const double width = scale < 1.0 ? support / scale : support;
  const double fscale = scale < 1.0 ? scale : 1.0;
  std::vector<std::vector<TContribution>> result(static_cast<size_t>(targetCount));
  for (int32_t i = 0; i < targetCount; ++i) {
    const double center = i / scale;
    const int32_t left = FloorToInt(center - width);
    const int32_t right = static_cast<int32_t>(std::ceil(center + width));
    for (int32_t j = left; j <= right; ++j) {
      const int32_t weight = RoundToInt(filter((center - j) * fscale) * fscale * 1024.0);
      if (weight == 0) continue;
      int32_t k = j < 0 ? -j : j;
      if (k >= sourceCount) k = 2 * sourceCount - 1 - k;
      k = std::clamp(k, 0, sourceCount - 1);
      result[static_cast<size_t>(i)].push_back(TContribution{k, weight});
    }
  }
  return result;
}

uint32_t Combine(const std::vector<TContribution>& contributions, const std::function<uint32_t(int32_t)>& pixel) {
  int64_t sum[3] = {0, 0, 0};
  for (const TContribution& c : contributions) {
    const uint32_t p = pixel(c.index);
    for (int32_t ch = 0; ch < 3; ++ch) sum[ch] += int64_t{c.weight} * ((p >> (8 * ch)) & 0xFF);
  }
  uint32_t result = 0xFF000000u;
  for (int32_t ch = 0; ch < 3; ++ch) {
    const int64_t v = sum[ch] < 0 ? 0 : (sum[ch] >= 256 * 1024 ? 255 : sum[ch] >> 10);
    result |= static_cast<uint32_t>(v) << (8 * ch);
  }
  return result;
}

}  // namespace

void SmoothStretch(const TBitmap& source, TBitmap& target, bool fast) {
  const int32_t sw = source.Width(), sh = source.Height();
  const int32_t tw = target.Width(), th = target.Height();
  if (sw < 2 || sh < 2 || tw < 2 || th < 2) return;
  // Source and target may be the same bitmap: read from a snapshot.
  const QImage snapshot = source.Image().convertToFormat(QImage::Format_RGB32);
  std::vector<uint32_t> middle(static_cast<size_t>(tw) * static_cast<size_t>(sh));
  const auto across = Contributions(sw, tw, fast);
  for (int32_t y = 0; y < sh; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(snapshot.constScanLine(y));
    for (int32_t x = 0; x < tw; ++x) {
      middle[static_cast<size_t>(y) * tw + x] = Combine(across[static_cast<size_t>(x)], [&](int32_t i) { return row[i]; });
    }
  }
  const auto down = Contributions(sh, th, fast);
  for (int32_t y = 0; y < th; ++y) {
    uint32_t* out = target.ScanLine(y);
    for (int32_t x = 0; x < tw; ++x) {
      out[x] = Combine(down[static_cast<size_t>(y)], [&](int32_t i) { return middle[static_cast<size_t>(i) * tw + x]; });
    }
  }
}

void StretchBitmap(const TBitmap& source, TBitmap& target, bool smooth) {
  if (source.Width() < 1 || source.Height() < 1 || target.Width() < 1 || target.Height() < 1) return;
  if (smooth && source.Width() >= 2 && source.Height() >= 2 && target.Width() >= 2 && target.Height() >= 2) {
    SmoothStretch(source, target, false);
  } else {
    const QImage snapshot = source.Image().copy();
    target.Canvas().StretchDraw(TRect{0, 0, target.Width(), target.Height()}, snapshot);
  }
}

}  // namespace qira
