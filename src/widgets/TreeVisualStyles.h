#pragma once
// Themed drawing of the tree's marks: the desktop style's own check box and radio
// button, drawn through QStyle onto a canvas's image. Stands in for the platform's
// visual-styles library, of which the tree uses only "is a theme active" and the
// background of the "button" class's check box and radio button parts.
#include "platform/Canvas.h"

namespace qira {

// Parts and states of the "button" theme class, numbered as the platform numbers them.
enum TThemeButtonPart : int { BP_RADIOBUTTON = 2, BP_CHECKBOX = 3 };
enum TThemeButtonState : int { TS_UNCHECKEDNORMAL = 1, TS_CHECKEDNORMAL = 5 };

// True when a widget application with a style exists to draw themed parts.
bool IsThemeActive();

// Draws the part in the state into rect of the canvas's image with the
// application's style; nothing when no theme is active or the part is unknown.
void DrawThemeBackground(TCanvas& canvas, TThemeButtonPart part, TThemeButtonState state, const TRect& rect);

}  // namespace qira
