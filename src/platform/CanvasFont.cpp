#include "platform/CanvasFont.h"

#include <fontconfig/fontconfig.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>

#include "platform/Rounding.h"

namespace qira {

// Sections: pixels per inch | TFont | face mapping (fontconfig) | registered faces |
// loaded fonts and their cache.

// ---- pixels per inch ----

namespace {
int gDefaultPixelsPerInch = 96;
}

int DefaultPixelsPerInch() { return gDefaultPixelsPerInch; }
void SetDefaultPixelsPerInch(int pixelsPerInch) {
  if (pixelsPerInch > 0) gDefaultPixelsPerInch = pixelsPerInch;
}

// ---- TFont ----

int32_t TFont::PointsToPixels(int points, int pixelsPerInch) {
  return RoundToInt(static_cast<double>(points) * pixelsPerInch / 72.0);
}

int TFont::Size() const {
  if (PixelsPerInch <= 0) return 0;
  return RoundToInt(-static_cast<double>(Height) * 72.0 / PixelsPerInch);
}

// Negated in double: the pixel count may saturate at INT32_MIN, whose negation overflows.
void TFont::SetSize(int points) {
  Height = RoundToInt(-static_cast<double>(PointsToPixels(points, PixelsPerInch)));
}

// ---- face mapping ----

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Owns a fontconfig pattern.
struct TPatternHolder {
  FcPattern* p = nullptr;
  explicit TPatternHolder(FcPattern* pattern) : p(pattern) {}
  ~TPatternHolder() {
    if (p) FcPatternDestroy(p);
  }
  TPatternHolder(const TPatternHolder&) = delete;
  TPatternHolder& operator=(const TPatternHolder&) = delete;
};

// The installed family spelt as the font configuration spells it, when a font of that
// family (compared without letter case) is installed.
std::optional<std::string> InstalledFamily(const std::string& family) {
  TPatternHolder pattern(FcPatternCreate());
  if (!pattern.p) return std::nullopt;
  FcPatternAddString(pattern.p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern.p, objects);
  FcObjectSetDestroy(objects);
  std::optional<std::string> found;
  if (fonts) {
    const std::string wanted = Lower(family);
    for (int i = 0; i < fonts->nfont && !found; ++i) {
      FcChar8* name = nullptr;
      for (int k = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, k, &name) == FcResultMatch; ++k) {
        const std::string candidate(reinterpret_cast<const char*>(name));
        if (Lower(candidate) == wanted) {
          found = candidate;
          break;
        }
      }
    }
    FcFontSetDestroy(fonts);
  }
  return found;
}

// The family of the configuration's best match for a pattern naming one family.
std::string MatchedFamily(const std::string& family) {
  TPatternHolder pattern(FcPatternCreate());
  if (!pattern.p) return family;
  FcPatternAddString(pattern.p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(nullptr, pattern.p, FcMatchPattern);
  FcDefaultSubstitute(pattern.p);
  FcResult result = FcResultNoMatch;
  TPatternHolder match(FcFontMatch(nullptr, pattern.p, &result));
  FcChar8* name = nullptr;
  if (match.p && FcPatternGetString(match.p, FC_FAMILY, 0, &name) == FcResultMatch)
    return reinterpret_cast<const char*>(name);
  return family;
}

std::string ResolveUncached(const std::string& face) {
  if (auto installed = InstalledFamily(face)) return *installed;

  TPatternHolder pattern(FcPatternCreate());
  if (!pattern.p) return "DejaVu Sans";
  FcPatternAddString(pattern.p, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  FcConfigSubstitute(nullptr, pattern.p, FcMatchPattern);

  // The configuration puts metric-compatible families right behind the face with a
  // strong binding; the weak entries after them are mere look-alikes and fallbacks,
  // among them one generic name that tells the face's kind.
  std::string generic;
  bool inStrongRun = true;
  FcPatternIter it;
  FcPatternIterStart(pattern.p, &it);
  if (FcPatternFindIter(pattern.p, &it, FC_FAMILY)) {
    const int count = FcPatternIterValueCount(pattern.p, &it);
    for (int i = 1; i < count; ++i) {
      FcValue value;
      FcValueBinding binding = FcValueBindingWeak;
      if (FcPatternIterGetValue(pattern.p, &it, i, &value, &binding) != FcResultMatch) continue;
      if (value.type != FcTypeString) continue;
      const std::string name(reinterpret_cast<const char*>(value.u.s));
      if (binding == FcValueBindingWeak) inStrongRun = false;
      if (inStrongRun) {
        if (auto installed = InstalledFamily(name)) return *installed;
      } else if (generic.empty() && (name == "sans-serif" || name == "serif" || name == "monospace")) {
        generic = name;
      }
    }
  }
  const char* fallback = generic == "serif"       ? "DejaVu Serif"
                         : generic == "monospace" ? "DejaVu Sans Mono"
                                                  : "DejaVu Sans";
  if (auto installed = InstalledFamily(fallback)) return *installed;
  return MatchedFamily(generic.empty() ? std::string("sans-serif") : generic);
}

std::mutex gFontMutex;  // the face caches below; text is drawn on one thread, tests may not be
std::map<std::string, std::string> gResolvedFamilies;
std::map<std::string, std::array<std::string, 4>> gRegisteredFaces;
std::map<std::string, TFontFile> gResolvedFiles;  // by face, bold and italic

}  // namespace

std::string ResolveFontFamily(const std::string& face) {
  const std::string key = Lower(face);
  {
    std::lock_guard lock(gFontMutex);
    if (auto hit = gResolvedFamilies.find(key); hit != gResolvedFamilies.end()) return hit->second;
  }
  std::string family = ResolveUncached(face);
  std::lock_guard lock(gFontMutex);
  gResolvedFamilies.emplace(key, family);
  return family;
}

// ---- registered faces ----

void RegisterFontFace(const std::string& face, const std::array<std::string, 4>& files) {
  std::lock_guard lock(gFontMutex);
  gRegisteredFaces[Lower(face)] = files;
  gResolvedFiles.clear();
}

const std::string& PinnedFontFace() {
  static const std::string face = [] {
    const std::string dir = "/usr/share/fonts/truetype/dejavu/";
    const std::string name = "Pinned DejaVu Sans";
    RegisterFontFace(name, {dir + "DejaVuSans.ttf", dir + "DejaVuSans-Bold.ttf", dir + "DejaVuSans-Oblique.ttf",
                            dir + "DejaVuSans-BoldOblique.ttf"});
    return name;
  }();
  return face;
}

namespace {

TFontFile ResolveFontFileUncached(const std::string& face, bool bold, bool italic) {
  {
    std::lock_guard lock(gFontMutex);
    if (auto hit = gRegisteredFaces.find(Lower(face)); hit != gRegisteredFaces.end()) {
      const auto& files = hit->second;
      const std::string& styled = files[(bold ? 1 : 0) + (italic ? 2 : 0)];
      if (!styled.empty()) return {styled, false};
      if (bold && italic && !files[2].empty()) return {files[2], true};
      if (bold && !files[0].empty()) return {files[0], true};
      return {files[0], false};
    }
  }
  const std::string family = ResolveFontFamily(face);
  TPatternHolder pattern(FcPatternCreate());
  if (!pattern.p) return {};
  FcPatternAddString(pattern.p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddInteger(pattern.p, FC_WIDTH, FC_WIDTH_NORMAL);
  FcConfigSubstitute(nullptr, pattern.p, FcMatchPattern);
  FcDefaultSubstitute(pattern.p);
  FcResult result = FcResultNoMatch;
  TPatternHolder match(FcFontMatch(nullptr, pattern.p, &result));
  if (!match.p) return {};
  TFontFile file;
  FcChar8* path = nullptr;
  if (FcPatternGetString(match.p, FC_FILE, 0, &path) == FcResultMatch) file.Path = reinterpret_cast<const char*>(path);
  int weight = FC_WEIGHT_REGULAR;
  FcPatternGetInteger(match.p, FC_WEIGHT, 0, &weight);
  file.SyntheticBold = bold && weight < FC_WEIGHT_DEMIBOLD;
  return file;
}
}  // namespace

TFontFile ResolveFontFile(const std::string& face, bool bold, bool italic) {
  const std::string key = Lower(face) + (bold ? "|b" : "|") + (italic ? "i" : "");
  {
    std::lock_guard lock(gFontMutex);
    if (auto hit = gResolvedFiles.find(key); hit != gResolvedFiles.end()) return hit->second;
  }
  TFontFile file = ResolveFontFileUncached(face, bold, italic);
  std::lock_guard lock(gFontMutex);
  gResolvedFiles.emplace(key, file);
  return file;
}

// ---- loaded fonts ----

TLoadedFont::TLoadedFont(QRawFont raw, bool syntheticBold) : raw_(std::move(raw)), syntheticBold_(syntheticBold) {
  if (raw_.isValid()) {
    ascent_ = RoundToInt(raw_.ascent());
    descent_ = RoundToInt(raw_.descent());
  }
}

double TLoadedFont::UnderlinePosition() const { return raw_.isValid() ? std::max(1.0, raw_.underlinePosition()) : 0; }
double TLoadedFont::StrikeOutPosition() const { return raw_.isValid() ? raw_.xHeight() / 2.0 : 0; }
double TLoadedFont::LineThickness() const {
  return raw_.isValid() ? std::max(1.0, std::round(raw_.lineThickness())) : 1;
}

const TLoadedFont::TGlyph& TLoadedFont::Glyph(quint32 glyph) const {
  std::lock_guard lock(glyphsMutex_);
  auto hit = glyphs_.find(glyph);
  if (hit != glyphs_.end()) return hit->second;
  if (glyphs_.size() >= 4096) glyphs_.clear();
  TGlyph entry;
  entry.outline = raw_.pathForGlyph(glyph);
  // The design advance without kerning, rounded to whole pixels.
  const QList<QPointF> advances = raw_.advancesForGlyphIndexes(QList<quint32>{glyph}, QRawFont::UseDesignMetrics);
  entry.advance = advances.isEmpty() ? 0 : RoundToInt(advances.front().x());
  return glyphs_.emplace(glyph, std::move(entry)).first->second;
}

QPainterPath TLoadedFont::GlyphPath(quint32 glyph) const {
  if (!raw_.isValid()) return {};
  return Glyph(glyph).outline;
}

TLoadedFont::TLayout TLoadedFont::Layout(const QString& text) const {
  TLayout layout;
  if (!raw_.isValid() || text.isEmpty()) return layout;
  layout.Glyphs = raw_.glyphIndexesForString(text);
  // A synthetic bold glyph is one pixel wider, as it is struck twice.
  layout.Positions.reserve(layout.Glyphs.size());
  int64_t x = 0;
  for (qsizetype i = 0; i < layout.Glyphs.size(); ++i) {
    layout.Positions.append(QPointF(static_cast<double>(x), 0));
    x += Glyph(layout.Glyphs[i]).advance + (syntheticBold_ ? 1 : 0);
  }
  layout.Width = static_cast<int32_t>(std::clamp<int64_t>(x, 0, INT32_MAX));
  return layout;
}

namespace {

struct TFontCache {
  std::map<std::string, std::shared_ptr<const TLoadedFont>> fonts;
  std::map<std::string, QByteArray> files;  // file contents, read once
  bool cleanupRegistered = false;
};

// Qt's font engines must not outlive the application object, nor be destroyed after
// Qt's per-thread data at exit: the cache is emptied when the application object goes
// and is itself never destroyed.
TFontCache& FontCache() {
  static TFontCache* cache = new TFontCache;
  return *cache;
}

void DropFontCache() {
  std::lock_guard lock(gFontMutex);
  FontCache().fonts.clear();
  FontCache().files.clear();
  FontCache().cleanupRegistered = false;
}

std::string CacheKey(const std::string& path, double pixelSize) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, pixelSize);
  return path + '|' + std::string(buffer, ec == std::errc() ? end : buffer);
}

// Largest pixel size the canvas loads; larger text would only fill memory with glyphs.
constexpr double kMaxPixelSize = 4096;

}  // namespace

std::shared_ptr<const TLoadedFont> TLoadedFont::Load(const TFont& font) {
  const TFontFile file = ResolveFontFile(font.Name, (font.Style & fsBold) != 0, (font.Style & fsItalic) != 0);

  std::lock_guard lock(gFontMutex);
  TFontCache& cache = FontCache();
  if (!cache.cleanupRegistered && QCoreApplication::instance()) {
    qAddPostRoutine(DropFontCache);
    cache.cleanupRegistered = true;
  }
  auto data = cache.files.find(file.Path);
  if (data == cache.files.end()) {
    QFile f(QString::fromStdString(file.Path));
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly)) bytes = f.readAll();
    data = cache.files.emplace(file.Path, bytes).first;
  }

  // The cell height of a positive Height is ascent + descent; find the em size giving it.
  double pixelSize = 0;
  const int32_t height = font.Height == 0 ? -TFont::PointsToPixels(8, font.PixelsPerInch) : font.Height;
  if (height < 0) {
    pixelSize = -static_cast<double>(height);
  } else {
    QRawFont probe(data->second, 100.0, QFont::PreferNoHinting);
    const double cell = probe.isValid() ? (probe.ascent() + probe.descent()) / 100.0 : 1.0;
    pixelSize = cell > 0 ? height / cell : height;
  }
  pixelSize = std::clamp(pixelSize, 1.0, kMaxPixelSize);

  const std::string key = CacheKey(file.Path, pixelSize) + (file.SyntheticBold ? "|b" : "");
  if (auto hit = cache.fonts.find(key); hit != cache.fonts.end()) return hit->second;
  if (cache.fonts.size() >= 64) cache.fonts.clear();
  auto loaded = std::make_shared<const TLoadedFont>(QRawFont(data->second, pixelSize, QFont::PreferNoHinting),
                                                    file.SyntheticBold);
  cache.fonts.emplace(key, loaded);
  return loaded;
}

}  // namespace qira
