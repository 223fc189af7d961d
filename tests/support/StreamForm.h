#pragma once
// A root for component streams that holds several components side by side, as
// a window does: it streams the components it owns that have no parent of
// their own (a scene, a viewer, a cadencer); a scene's objects come with it.
#include "scene/components/Components.h"

namespace qira {

class TStreamForm : public TComponent {
  QIRA_CLASS(TStreamForm, TComponent)

  void GetChildren(const TGetChildProc& proc, TComponent* root) override {
    (void)root;
    for (int i = 0; i < ComponentCount(); ++i) {
      if (!Components(i)->HasParent()) proc(*Components(i));
    }
  }
};

}  // namespace qira
