#pragma once
// A platform font as a published property of the text objects: its name,
// height, colour and style, each stored under the property's name and a dot
// ("Font.Height") when it differs from the font the class starts with.
#include <functional>
#include <string_view>

#include "platform/CanvasFont.h"

namespace qira {

class TFiler;

// Each field read replaces that field of `font` (which must outlive the
// declaration) and hands the whole font to `set`; a style with bits beyond
// the four styles is refused.
void DefineFont(TFiler& filer, std::string_view name, const TFont& font, const TFont& defaultFont,
                const std::function<void(const TFont&)>& set);

}  // namespace qira
