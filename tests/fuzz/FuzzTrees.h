#pragma once
// The outline of an object tree the user sees: each object's kind and name, and
// its children in order. Two trees of the same outline show the same objects.
#include <string>

#include "model/GraphMain.h"

namespace qira::fuzzing {

inline void AppendOutline(const TGraphMain& object, std::string& outline) {
  outline += std::to_string(object.TypeId) + ' ' + object.Name() + " {";
  for (int i = 0; i < object.ChildCount(); ++i) AppendOutline(*object.GetChild(i), outline);
  outline += '}';
}

inline std::string Outline(const TGraphMain& root) {
  std::string outline;
  AppendOutline(root, outline);
  return outline;
}

}  // namespace qira::fuzzing
