#pragma once
// Start-up registration of every layer: classes found by name, picture formats,
// scene object kinds and their commands, and the dialogs behind the model's hooks.

namespace qira {

// Calls every layer's registration once, in the order of the layers (platform,
// engine, primitives, chart, codecs, model, windows); later calls do nothing.
// Needs the QApplication (the dialogs register against it).
void RegisterProgramClasses();

}  // namespace qira
