#include "scene/objects/FontProperties.h"

#include <string>

#include "scene/components/ComponentStreams.h"

namespace qira {

void DefineFont(TFiler& filer, std::string_view name, const TFont& font, const TFont& defaultFont,
                const std::function<void(const TFont&)>& set) {
  const std::string prefix = std::string(name) + ".";
  // A field read is applied to the font as it is at that moment.
  const auto with = [&font, set](auto change) {
    return [&font, set, change](auto value) {
      TFont changed = font;
      change(changed, value);
      set(changed);
    };
  };
  DefineInteger(filer, prefix + "Color", static_cast<int32_t>(font.Color), font.Color != defaultFont.Color,
                with([](TFont& f, int32_t v) { f.Color = static_cast<TColor>(v); }));
  DefineInteger(filer, prefix + "Height", font.Height, font.Height != defaultFont.Height,
                with([](TFont& f, int32_t v) { f.Height = v; }));
  DefineString(filer, prefix + "Name", font.Name, font.Name != defaultFont.Name,
               with([](TFont& f, const std::string& v) { f.Name = v; }));
  DefineFlags(filer, prefix + "Style", font.Style, fsBold | fsItalic | fsUnderline | fsStrikeOut,
              font.Style != defaultFont.Style,
              with([](TFont& f, uint32_t v) { f.Style = static_cast<TFontStyles>(v); }));
}

}  // namespace qira
