#pragma once
// Texture coordinates without knowing the texture units in use. Geometry code
// calls the fifteen entry points of `xgl` in place of the OpenGL 1.1
// texture-coordinate functions; a material or texture that needs coordinates
// on other units switches the mapping, and each entry point then sends the
// call to the chosen units.
//
// Mappings that need more than unit 0 use the multitexture extension; while
// the driver lacks it (GL.ARB_multitexture false when the mapping is applied)
// they send to unit 0 alone, as the plain functions do.
//
// Program-wide state of the user-interface thread. Every frame starts with
// MapToNoUnit, then MapToUnit0.
#include <cstdint>
#include <span>
#include <vector>

#include "scene/gl/OpenGLBinding.h"

namespace qira {

// The entry points, each with the arguments of the OpenGL function it stands for.
struct TMultitextureEntryPoints {
  void (*TexCoord2f)(GLfloat s, GLfloat t);
  void (*TexCoord2fv)(const GLfloat* v);
  void (*TexCoord3f)(GLfloat s, GLfloat t, GLfloat r);
  void (*TexCoord3fv)(const GLfloat* v);
  void (*TexCoord4f)(GLfloat s, GLfloat t, GLfloat r, GLfloat q);
  void (*TexCoord4fv)(const GLfloat* v);
  void (*TexGenf)(GLenum coord, GLenum name, GLfloat param);
  void (*TexGenfv)(GLenum coord, GLenum name, const GLfloat* params);
  void (*TexGeni)(GLenum coord, GLenum name, GLint param);
  void (*TexGeniv)(GLenum coord, GLenum name, const GLint* params);
  void (*TexCoordPointer)(GLint size, GLenum type, GLsizei stride, const GLvoid* pointer);
  void (*EnableClientState)(GLenum array);
  void (*DisableClientState)(GLenum array);
  void (*Enable)(GLenum capability);
  void (*Disable)(GLenum capability);
};

// The entry points of the current mapping.
extern TMultitextureEntryPoints xgl;

enum class TMultitextureMapping : uint8_t {
  mmNotSet,    // before the first mapping
  mmNoUnit,    // every call does nothing
  mmUnit0,     // the plain OpenGL functions
  mmUnits01,   // unit 0, then unit 1
  mmUnit1,     // unit 1 only
  mmUnitList,  // each unit of the list, in order
};

void MapToNoUnit();
void MapToUnit0();
void MapToUnit1();
void MapToUnits01();
// Copies the units (GL_TEXTURE0_ARB + n) and switches to the list.
void MapToUnitList(std::span<const GLenum> units);
// Bits 0..7 select GL_TEXTURE0_ARB + bit, in ascending order.
void MapToUnitMask(uint32_t mask);
// The current mapping as a mask (the pending one while an update is open),
// or-ed with `mask`, then MapToUnitMask.
void AddUnitMask(uint32_t mask);

// Bracket a sequence of mapping changes: inside, changes are only recorded;
// the last one is applied when the outermost bracket closes. Brackets nest.
void BeginMapUpdate();
void EndMapUpdate();

// The mapping whose entry points are installed (or were asked for, when the
// extension is missing and unit 0 stands in).
TMultitextureMapping CurrentMultitextureMapping();
// The units of the list mapping.
const std::vector<GLenum>& MultitextureUnitList();

// ---- texture units

// True when the driver has texture units above 0 (OpenGL 1.3 or
// GL_ARB_multitexture).
bool MultitextureAvailable();
// Makes `unit` (GL_TEXTURE0 + n) the active texture unit, through OpenGL 1.3
// or the extension; nothing when the driver has neither.
void SelectTextureUnit(GLenum unit);

}  // namespace qira
