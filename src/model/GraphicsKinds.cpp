#include "model/GraphicsKinds.h"

#include <memory>

#include "model/GraphAxis.h"
#include "model/GraphLabel.h"
#include "model/GraphRecord.h"
#include "model/GraphSpheres.h"

namespace qira {

void RegisterGraphicsKinds() {
  RegisterGraphKind(GraphTypeId::Axis, [] { return std::make_unique<TGraphAxis>(); });
  RegisterGraphKind(GraphTypeId::Spheres, [] { return std::make_unique<TGraphSpheres>(); });
  RegisterGraphKind(GraphTypeId::Label, [] { return std::make_unique<TGraphLabel>(); });
}

}  // namespace qira
