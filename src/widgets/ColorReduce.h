#pragma once
// The widgets' colour reduction unit: a bitmap as an in-memory BMP file image
// of a chosen pixel format, its colours reduced when the target holds fewer
// (BitmapToBMPStream, GetBitmapPixelFormat, the reduction methods and the
// unit-wide default method). The arithmetic lives in the platform layer so
// that the GIF writer of the imaging library, which may not depend on the
// widgets, reaches the same code.
#include "platform/ColorReduction.h"
