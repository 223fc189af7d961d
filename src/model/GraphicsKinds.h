#pragma once
// Registration of the axis cross, spheres and label kinds with the type-id factory.

namespace qira {

// Registers TGraphAxis (3), TGraphSpheres (8) and TGraphLabel (10), so records of
// those kinds can be read back. Called once at start; calling it again is harmless.
void RegisterGraphicsKinds();

}  // namespace qira
