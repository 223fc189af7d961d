#pragma once
// An object's command menu as plain data: captions (with their '&' accelerators),
// a click action or sub-items. A scene object fills it (TGraphMain::FillMenu); the
// window turns it into its "Objects" menu and the tree's context menu.
//
// Actions capture the object whose menu it is: the window rebuilds the menu on every
// selection change and after every command, so an action never outlives its object.
#include <functional>
#include <string>
#include <vector>

namespace qira {

struct TObjectMenuItem {
  std::string Caption;
  std::function<void()> OnClick;        // empty for a sub-menu
  std::vector<TObjectMenuItem> Items;   // sub-items; empty for a command
  bool Enabled = true;                  // false for a command not available in this build
};

using TObjectMenu = std::vector<TObjectMenuItem>;

// The item with this caption among items, or null.
inline TObjectMenuItem* FindMenuItem(TObjectMenu& items, const std::string& caption) {
  for (TObjectMenuItem& item : items)
    if (item.Caption == caption) return &item;
  return nullptr;
}

}  // namespace qira
