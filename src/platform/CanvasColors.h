#pragma once
// The windowing library's colour identifiers and system colours: "clRed" and its
// kin as values, and system colours (0xFF000000 + index) resolved to the classic
// desktop scheme, so colour arithmetic always works on RGB.
#include <optional>
#include <string_view>

#include "platform/CanvasTypes.h"

namespace qira {

// A system colour as RGB; every other value passes unchanged.
TColor SystemColorToRGB(TColor color);
// The value of a colour identifier ("clRed", "clBtnFace", ... any letter case), or
// nullopt for an unknown one.
std::optional<TColor> ColorFromIdent(std::string_view ident);

}  // namespace qira
