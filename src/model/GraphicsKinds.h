#pragma once
// Registration of the axis cross, spheres and label kinds with the type-id factory.

namespace qira {

// Registers TGraphAxis (3), TGraphSpheres (8) and TGraphLabel (10), so records of
// those kinds can be read back. Called once at start; calling it again is harmless.
void RegisterGraphicsKinds();

// The "&Axis" command and the "&Graphics" commands of the object menu: a new axis
// cross is added at once; spheres, a line, a label or planes are edited first and
// added only when the dialog is accepted.
void RegisterGraphicsCommands();

}  // namespace qira
