#include "model/GraphicsKinds.h"

#include <memory>

#include "model/GraphAxis.h"
#include "model/GraphLabel.h"
#include "model/GraphPlanes.h"
#include "model/GraphPolyline.h"
#include "model/GraphRecord.h"
#include "model/GraphSpheres.h"

namespace qira {

void RegisterGraphicsKinds() {
  RegisterGraphKind(GraphTypeId::Axis, [] { return std::make_unique<TGraphAxis>(); });
  RegisterGraphKind(GraphTypeId::Spheres, [] { return std::make_unique<TGraphSpheres>(); });
  RegisterGraphKind(GraphTypeId::Label, [] { return std::make_unique<TGraphLabel>(); });
}

namespace {

// Edits the new object first; Cancel discards it and changes nothing.
template <class TKind>
void AddEditedObject(TGraphMain& target) {
  auto object = std::make_unique<TKind>();
  if (!object->Edit()) return;
  target.AddNewObject(std::move(object), false);
}

}  // namespace

void RegisterGraphicsCommands() {
  RegisterCreateCommand(TCreateCommand::Axis,
                        [](TGraphMain& target) { target.AddNewObject(std::make_unique<TGraphAxis>(), false); });
  RegisterCreateCommand(TCreateCommand::Spheres, AddEditedObject<TGraphSpheres>);
  RegisterCreateCommand(TCreateCommand::Line, AddEditedObject<TGraphLine>);
  RegisterCreateCommand(TCreateCommand::Label, AddEditedObject<TGraphLabel>);
  RegisterCreateCommand(TCreateCommand::Planes, AddEditedObject<TGraphPlanes>);
}

}  // namespace qira
