#pragma once
// The engine's binding to OpenGL and GLU. Neither library is linked: both are
// loaded with the dynamic loader when the first rendering context is created
// (InitOpenGL), and every function is called through a variable of this
// namespace that holds its address.
//
// Contracts every caller keeps:
// - Call OpenGL from code inside namespace qira without qualification:
//   `glBegin(GL_TRIANGLES)` finds qira::glBegin (the variable), never the
//   prototype of <GL/gl.h>, which has no library behind it. Do not write
//   `::glBegin` or bring namespace qira into the global scope with `using`.
// - OpenGL 1.1 and GLU are there once InitOpenGL succeeded. Every later entry
//   point is fetched by ReadExtensions with eglGetProcAddress, which answers
//   with an address even for names the driver does not know: test the version
//   or extension flag (GL.VERSION_1_3, GL.ARB_multitexture, ...) before every
//   use, never the pointer.
// - The flags are named after the version or extension without its prefix
//   because <GL/glext.h> defines the prefixed names as macros:
//   GL.ARB_multitexture for GL_ARB_multitexture, GLU.VERSION_1_3 for
//   GLU_VERSION_1_3, WGL.EXT_swap_control for WGL_EXT_swap_control.
// - The window-system flags keep their historical names; on this platform they
//   say what the EGL display offers in place of each (see ReadImplementationProperties).
//
// Sections:
//   Function lists
//   Version and flag lists
//   Entry-point variables
//   Flag records
//   Loading and reading
//   Version and extension tests
//   Errors
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "scene/components/Components.h"

namespace qira {

// [SECTION] Function lists

// Every OpenGL 1.1 function, resolved from the OpenGL library itself.
#define QIRA_GL_1_1_FUNCTIONS(X) \
  X(glClearIndex) X(glClearColor) X(glClear) X(glIndexMask) X(glColorMask) X(glAlphaFunc) \
  X(glBlendFunc) X(glLogicOp) X(glCullFace) X(glFrontFace) X(glPointSize) X(glLineWidth) \
  X(glLineStipple) X(glPolygonMode) X(glPolygonOffset) X(glPolygonStipple) X(glGetPolygonStipple) \
  X(glEdgeFlag) X(glEdgeFlagv) X(glScissor) X(glClipPlane) X(glGetClipPlane) X(glDrawBuffer) \
  X(glReadBuffer) X(glEnable) X(glDisable) X(glIsEnabled) X(glEnableClientState) \
  X(glDisableClientState) X(glGetBooleanv) X(glGetDoublev) X(glGetFloatv) X(glGetIntegerv) \
  X(glPushAttrib) X(glPopAttrib) X(glPushClientAttrib) X(glPopClientAttrib) X(glRenderMode) \
  X(glGetError) X(glGetString) X(glFinish) X(glFlush) X(glHint) X(glClearDepth) X(glDepthFunc) \
  X(glDepthMask) X(glDepthRange) X(glClearAccum) X(glAccum) X(glMatrixMode) X(glOrtho) \
  X(glFrustum) X(glViewport) X(glPushMatrix) X(glPopMatrix) X(glLoadIdentity) X(glLoadMatrixd) \
  X(glLoadMatrixf) X(glMultMatrixd) X(glMultMatrixf) X(glRotated) X(glRotatef) X(glScaled) \
  X(glScalef) X(glTranslated) X(glTranslatef) X(glIsList) X(glDeleteLists) X(glGenLists) \
  X(glNewList) X(glEndList) X(glCallList) X(glCallLists) X(glListBase) X(glBegin) X(glEnd) \
  X(glVertex2d) X(glVertex2f) X(glVertex2i) X(glVertex2s) X(glVertex3d) X(glVertex3f) \
  X(glVertex3i) X(glVertex3s) X(glVertex4d) X(glVertex4f) X(glVertex4i) X(glVertex4s) \
  X(glVertex2dv) X(glVertex2fv) X(glVertex2iv) X(glVertex2sv) X(glVertex3dv) X(glVertex3fv) \
  X(glVertex3iv) X(glVertex3sv) X(glVertex4dv) X(glVertex4fv) X(glVertex4iv) X(glVertex4sv) \
  X(glNormal3b) X(glNormal3d) X(glNormal3f) X(glNormal3i) X(glNormal3s) X(glNormal3bv) \
  X(glNormal3dv) X(glNormal3fv) X(glNormal3iv) X(glNormal3sv) X(glIndexd) X(glIndexf) X(glIndexi) \
  X(glIndexs) X(glIndexub) X(glIndexdv) X(glIndexfv) X(glIndexiv) X(glIndexsv) X(glIndexubv) \
  X(glColor3b) X(glColor3d) X(glColor3f) X(glColor3i) X(glColor3s) X(glColor3ub) X(glColor3ui) \
  X(glColor3us) X(glColor4b) X(glColor4d) X(glColor4f) X(glColor4i) X(glColor4s) X(glColor4ub) \
  X(glColor4ui) X(glColor4us) X(glColor3bv) X(glColor3dv) X(glColor3fv) X(glColor3iv) \
  X(glColor3sv) X(glColor3ubv) X(glColor3uiv) X(glColor3usv) X(glColor4bv) X(glColor4dv) \
  X(glColor4fv) X(glColor4iv) X(glColor4sv) X(glColor4ubv) X(glColor4uiv) X(glColor4usv) \
  X(glTexCoord1d) X(glTexCoord1f) X(glTexCoord1i) X(glTexCoord1s) X(glTexCoord2d) X(glTexCoord2f) \
  X(glTexCoord2i) X(glTexCoord2s) X(glTexCoord3d) X(glTexCoord3f) X(glTexCoord3i) X(glTexCoord3s) \
  X(glTexCoord4d) X(glTexCoord4f) X(glTexCoord4i) X(glTexCoord4s) X(glTexCoord1dv) \
  X(glTexCoord1fv) X(glTexCoord1iv) X(glTexCoord1sv) X(glTexCoord2dv) X(glTexCoord2fv) \
  X(glTexCoord2iv) X(glTexCoord2sv) X(glTexCoord3dv) X(glTexCoord3fv) X(glTexCoord3iv) \
  X(glTexCoord3sv) X(glTexCoord4dv) X(glTexCoord4fv) X(glTexCoord4iv) X(glTexCoord4sv) \
  X(glRasterPos2d) X(glRasterPos2f) X(glRasterPos2i) X(glRasterPos2s) X(glRasterPos3d) \
  X(glRasterPos3f) X(glRasterPos3i) X(glRasterPos3s) X(glRasterPos4d) X(glRasterPos4f) \
  X(glRasterPos4i) X(glRasterPos4s) X(glRasterPos2dv) X(glRasterPos2fv) X(glRasterPos2iv) \
  X(glRasterPos2sv) X(glRasterPos3dv) X(glRasterPos3fv) X(glRasterPos3iv) X(glRasterPos3sv) \
  X(glRasterPos4dv) X(glRasterPos4fv) X(glRasterPos4iv) X(glRasterPos4sv) X(glRectd) X(glRectf) \
  X(glRecti) X(glRects) X(glRectdv) X(glRectfv) X(glRectiv) X(glRectsv) X(glVertexPointer) \
  X(glNormalPointer) X(glColorPointer) X(glIndexPointer) X(glTexCoordPointer) \
  X(glEdgeFlagPointer) X(glGetPointerv) X(glArrayElement) X(glDrawArrays) X(glDrawElements) \
  X(glInterleavedArrays) X(glShadeModel) X(glLightf) X(glLighti) X(glLightfv) X(glLightiv) \
  X(glGetLightfv) X(glGetLightiv) X(glLightModelf) X(glLightModeli) X(glLightModelfv) \
  X(glLightModeliv) X(glMaterialf) X(glMateriali) X(glMaterialfv) X(glMaterialiv) \
  X(glGetMaterialfv) X(glGetMaterialiv) X(glColorMaterial) X(glPixelZoom) X(glPixelStoref) \
  X(glPixelStorei) X(glPixelTransferf) X(glPixelTransferi) X(glPixelMapfv) X(glPixelMapuiv) \
  X(glPixelMapusv) X(glGetPixelMapfv) X(glGetPixelMapuiv) X(glGetPixelMapusv) X(glBitmap) \
  X(glReadPixels) X(glDrawPixels) X(glCopyPixels) X(glStencilFunc) X(glStencilMask) \
  X(glStencilOp) X(glClearStencil) X(glTexGend) X(glTexGenf) X(glTexGeni) X(glTexGendv) \
  X(glTexGenfv) X(glTexGeniv) X(glGetTexGendv) X(glGetTexGenfv) X(glGetTexGeniv) X(glTexEnvf) \
  X(glTexEnvi) X(glTexEnvfv) X(glTexEnviv) X(glGetTexEnvfv) X(glGetTexEnviv) X(glTexParameterf) \
  X(glTexParameteri) X(glTexParameterfv) X(glTexParameteriv) X(glGetTexParameterfv) \
  X(glGetTexParameteriv) X(glGetTexLevelParameterfv) X(glGetTexLevelParameteriv) X(glTexImage1D) \
  X(glTexImage2D) X(glGetTexImage) X(glGenTextures) X(glDeleteTextures) X(glBindTexture) \
  X(glPrioritizeTextures) X(glAreTexturesResident) X(glIsTexture) X(glTexSubImage1D) \
  X(glTexSubImage2D) X(glCopyTexImage1D) X(glCopyTexImage2D) X(glCopyTexSubImage1D) \
  X(glCopyTexSubImage2D) X(glMap1d) X(glMap1f) X(glMap2d) X(glMap2f) X(glGetMapdv) X(glGetMapfv) \
  X(glGetMapiv) X(glEvalCoord1d) X(glEvalCoord1f) X(glEvalCoord1dv) X(glEvalCoord1fv) \
  X(glEvalCoord2d) X(glEvalCoord2f) X(glEvalCoord2dv) X(glEvalCoord2fv) X(glMapGrid1d) \
  X(glMapGrid1f) X(glMapGrid2d) X(glMapGrid2f) X(glEvalPoint1) X(glEvalPoint2) X(glEvalMesh1) \
  X(glEvalMesh2) X(glFogf) X(glFogi) X(glFogfv) X(glFogiv) X(glFeedbackBuffer) X(glPassThrough) \
  X(glSelectBuffer) X(glInitNames) X(glLoadName) X(glPushName) X(glPopName)

// Every GLU function the library exports, resolved from the GLU library.
#define QIRA_GLU_FUNCTIONS(X) \
  X(gluBeginCurve) X(gluBeginPolygon) X(gluBeginSurface) X(gluBeginTrim) \
  X(gluBuild1DMipmapLevels) X(gluBuild1DMipmaps) X(gluBuild2DMipmapLevels) X(gluBuild2DMipmaps) \
  X(gluBuild3DMipmapLevels) X(gluBuild3DMipmaps) X(gluCheckExtension) X(gluCylinder) \
  X(gluDeleteNurbsRenderer) X(gluDeleteQuadric) X(gluDeleteTess) X(gluDisk) X(gluEndCurve) \
  X(gluEndPolygon) X(gluEndSurface) X(gluEndTrim) X(gluErrorString) X(gluGetNurbsProperty) \
  X(gluGetString) X(gluGetTessProperty) X(gluLoadSamplingMatrices) X(gluLookAt) \
  X(gluNewNurbsRenderer) X(gluNewQuadric) X(gluNewTess) X(gluNextContour) X(gluNurbsCallback) \
  X(gluNurbsCallbackData) X(gluNurbsCurve) X(gluNurbsProperty) X(gluNurbsSurface) X(gluOrtho2D) \
  X(gluPartialDisk) X(gluPerspective) X(gluPickMatrix) X(gluProject) X(gluPwlCurve) \
  X(gluQuadricCallback) X(gluQuadricDrawStyle) X(gluQuadricNormals) X(gluQuadricOrientation) \
  X(gluQuadricTexture) X(gluScaleImage) X(gluSphere) X(gluTessBeginContour) \
  X(gluTessBeginPolygon) X(gluTessCallback) X(gluTessEndContour) X(gluTessEndPolygon) \
  X(gluTessNormal) X(gluTessProperty) X(gluTessVertex) X(gluUnProject) X(gluUnProject4)

// Entry points newer than OpenGL 1.1 that the engine uses, with their pointer
// types; fetched by ReadExtensions. The gate of each is named beside it.
#define QIRA_GL_LATER_FUNCTIONS(X)                                        \
  /* GL.VERSION_1_2 */                                                    \
  X(glDrawRangeElements, PFNGLDRAWRANGEELEMENTSPROC)                      \
  X(glTexImage3D, PFNGLTEXIMAGE3DPROC)                                    \
  X(glTexSubImage3D, PFNGLTEXSUBIMAGE3DPROC)                              \
  X(glCopyTexSubImage3D, PFNGLCOPYTEXSUBIMAGE3DPROC)                      \
  X(glBlendColor, PFNGLBLENDCOLORPROC)                                    \
  X(glBlendEquation, PFNGLBLENDEQUATIONPROC)                              \
  /* GL.VERSION_1_3 */                                                    \
  X(glActiveTexture, PFNGLACTIVETEXTUREPROC)                              \
  X(glClientActiveTexture, decltype(&::glClientActiveTexture))                  \
  X(glMultiTexCoord2f, decltype(&::glMultiTexCoord2f))                          \
  X(glMultiTexCoord2fv, decltype(&::glMultiTexCoord2fv))                        \
  X(glMultiTexCoord3f, decltype(&::glMultiTexCoord3f))                          \
  X(glMultiTexCoord3fv, decltype(&::glMultiTexCoord3fv))                        \
  X(glMultiTexCoord4f, decltype(&::glMultiTexCoord4f))                          \
  X(glMultiTexCoord4fv, decltype(&::glMultiTexCoord4fv))                        \
  X(glCompressedTexImage2D, PFNGLCOMPRESSEDTEXIMAGE2DPROC)                \
  X(glGetCompressedTexImage, PFNGLGETCOMPRESSEDTEXIMAGEPROC)              \
  X(glLoadTransposeMatrixf, decltype(&::glLoadTransposeMatrixf))                \
  X(glMultTransposeMatrixf, decltype(&::glMultTransposeMatrixf))                \
  X(glSampleCoverage, PFNGLSAMPLECOVERAGEPROC)                            \
  /* GL.VERSION_1_4 */                                                    \
  X(glBlendFuncSeparate, PFNGLBLENDFUNCSEPARATEPROC)                      \
  X(glPointParameterf, PFNGLPOINTPARAMETERFPROC)                          \
  X(glPointParameterfv, PFNGLPOINTPARAMETERFVPROC)                        \
  /* GL.VERSION_1_5 */                                                    \
  X(glGenBuffers, PFNGLGENBUFFERSPROC)                                    \
  X(glDeleteBuffers, PFNGLDELETEBUFFERSPROC)                              \
  X(glBindBuffer, PFNGLBINDBUFFERPROC)                                    \
  X(glBufferData, PFNGLBUFFERDATAPROC)                                    \
  X(glBufferSubData, PFNGLBUFFERSUBDATAPROC)                              \
  X(glIsBuffer, PFNGLISBUFFERPROC)                                        \
  X(glGenQueries, PFNGLGENQUERIESPROC)                                    \
  X(glDeleteQueries, PFNGLDELETEQUERIESPROC)                              \
  X(glBeginQuery, PFNGLBEGINQUERYPROC)                                    \
  X(glEndQuery, PFNGLENDQUERYPROC)                                        \
  X(glGetQueryObjectuiv, PFNGLGETQUERYOBJECTUIVPROC)                      \
  /* GL.VERSION_2_0 */                                                    \
  X(glDrawBuffers, PFNGLDRAWBUFFERSPROC)                                  \
  X(glBlendEquationSeparate, PFNGLBLENDEQUATIONSEPARATEPROC)              \
  X(glStencilOpSeparate, PFNGLSTENCILOPSEPARATEPROC)                      \
  X(glStencilFuncSeparate, PFNGLSTENCILFUNCSEPARATEPROC)                  \
  /* GL.VERSION_3_0 or GL.ARB_framebuffer_object */                       \
  X(glGenFramebuffers, PFNGLGENFRAMEBUFFERSPROC)                          \
  X(glDeleteFramebuffers, PFNGLDELETEFRAMEBUFFERSPROC)                    \
  X(glBindFramebuffer, PFNGLBINDFRAMEBUFFERPROC)                          \
  X(glIsFramebuffer, PFNGLISFRAMEBUFFERPROC)                              \
  X(glCheckFramebufferStatus, PFNGLCHECKFRAMEBUFFERSTATUSPROC)            \
  X(glFramebufferTexture2D, PFNGLFRAMEBUFFERTEXTURE2DPROC)                \
  X(glFramebufferRenderbuffer, PFNGLFRAMEBUFFERRENDERBUFFERPROC)          \
  X(glGenRenderbuffers, PFNGLGENRENDERBUFFERSPROC)                        \
  X(glDeleteRenderbuffers, PFNGLDELETERENDERBUFFERSPROC)                  \
  X(glBindRenderbuffer, PFNGLBINDRENDERBUFFERPROC)                        \
  X(glIsRenderbuffer, PFNGLISRENDERBUFFERPROC)                            \
  X(glRenderbufferStorage, PFNGLRENDERBUFFERSTORAGEPROC)                  \
  X(glGetRenderbufferParameteriv, PFNGLGETRENDERBUFFERPARAMETERIVPROC)    \
  X(glRenderbufferStorageMultisample, PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC) \
  X(glBlitFramebuffer, PFNGLBLITFRAMEBUFFERPROC)                          \
  X(glGenerateMipmap, PFNGLGENERATEMIPMAPPROC)                            \
  /* GL.VERSION_3_2 or GL.ARB_sync */                                      \
  X(glFenceSync, PFNGLFENCESYNCPROC)                                      \
  X(glClientWaitSync, PFNGLCLIENTWAITSYNCPROC)                            \
  X(glDeleteSync, PFNGLDELETESYNCPROC)                                    \
  /* GL.ARB_multitexture */                                               \
  X(glActiveTextureARB, PFNGLACTIVETEXTUREARBPROC)                        \
  X(glClientActiveTextureARB, PFNGLCLIENTACTIVETEXTUREARBPROC)            \
  X(glMultiTexCoord2fARB, PFNGLMULTITEXCOORD2FARBPROC)                    \
  X(glMultiTexCoord2fvARB, PFNGLMULTITEXCOORD2FVARBPROC)                  \
  X(glMultiTexCoord3fARB, PFNGLMULTITEXCOORD3FARBPROC)                    \
  X(glMultiTexCoord3fvARB, PFNGLMULTITEXCOORD3FVARBPROC)                  \
  X(glMultiTexCoord4fARB, PFNGLMULTITEXCOORD4FARBPROC)                    \
  X(glMultiTexCoord4fvARB, PFNGLMULTITEXCOORD4FVARBPROC)                  \
  /* GL.ARB_point_parameters */                                           \
  X(glPointParameterfARB, PFNGLPOINTPARAMETERFARBPROC)                    \
  X(glPointParameterfvARB, PFNGLPOINTPARAMETERFVARBPROC)                  \
  /* GL.EXT_compiled_vertex_array */                                      \
  X(glLockArraysEXT, PFNGLLOCKARRAYSEXTPROC)                              \
  X(glUnlockArraysEXT, PFNGLUNLOCKARRAYSEXTPROC)                          \
  /* GL.ARB_transpose_matrix */                                           \
  X(glLoadTransposeMatrixfARB, PFNGLLOADTRANSPOSEMATRIXFARBPROC)          \
  X(glMultTransposeMatrixfARB, PFNGLMULTTRANSPOSEMATRIXFARBPROC)          \
  /* GL.ARB_texture_compression */                                        \
  X(glCompressedTexImage2DARB, PFNGLCOMPRESSEDTEXIMAGE2DARBPROC)          \
  X(glGetCompressedTexImageARB, PFNGLGETCOMPRESSEDTEXIMAGEARBPROC)        \
  /* GL.NV_vertex_array_range */                                          \
  X(glVertexArrayRangeNV, PFNGLVERTEXARRAYRANGENVPROC)                    \
  X(glFlushVertexArrayRangeNV, PFNGLFLUSHVERTEXARRAYRANGENVPROC)          \
  /* GL.ATI_draw_buffers */                                               \
  X(glDrawBuffersATI, PFNGLDRAWBUFFERSATIPROC)                            \
  /* GL.MESA_resize_buffers */                                            \
  X(glResizeBuffersMESA, PFNGLRESIZEBUFFERSMESAPROC)

// [SECTION] Version and flag lists

// The GL extension flags, in the order they are tested. X(name) is searched as
// "GL_" + name; XN(member, search) where the member cannot be the name.
#define QIRA_GL_EXTENSION_FLAGS(X, XN) \
  X(ARB_color_buffer_float) X(ARB_compatibility) X(ARB_copy_buffer) X(ARB_depth_buffer_float) \
  X(ARB_depth_clamp) X(ARB_depth_texture) X(ARB_draw_buffers) X(ARB_draw_buffers_blend) \
  X(ARB_draw_elements_base_vertex) X(ARB_draw_instanced) X(ARB_fragment_coord_conventions) \
  X(ARB_fragment_program) X(ARB_fragment_program_shadow) X(ARB_fragment_shader) \
  X(ARB_framebuffer_object) X(ARB_framebuffer_sRGB) X(ARB_geometry_shader4) \
  X(ARB_half_float_pixel) X(ARB_half_float_vertex) X(ARB_imaging) X(ARB_instanced_arrays) \
  X(ARB_map_buffer_range) X(ARB_matrix_palette) X(ARB_multisample) X(ARB_multitexture) \
  X(ARB_occlusion_query) X(ARB_pixel_buffer_object) X(ARB_point_parameters) X(ARB_point_sprite) \
  X(ARB_provoking_vertex) X(ARB_sample_shading) X(ARB_seamless_cube_map) X(ARB_shader_objects) \
  X(ARB_shader_texture_lod) X(ARB_shading_language_100) X(ARB_shadow) X(ARB_shadow_ambient) \
  X(ARB_sync) X(ARB_texture_border_clamp) X(ARB_texture_buffer_object) X(ARB_texture_compression) \
  X(ARB_texture_compression_rgtc) X(ARB_texture_cube_map) X(ARB_texture_cube_map_array) \
  X(ARB_texture_env_add) X(ARB_texture_env_combine) X(ARB_texture_env_crossbar) \
  X(ARB_texture_env_dot3) X(ARB_texture_float) X(ARB_texture_gather) \
  X(ARB_texture_mirrored_repeat) X(ARB_texture_multisample) X(ARB_texture_non_power_of_two) \
  X(ARB_texture_query_lod) X(ARB_texture_rectangle) X(ARB_texture_rg) X(ARB_transpose_matrix) \
  X(ARB_uniform_buffer_object) X(ARB_vertex_array_bgra) X(ARB_vertex_array_object) \
  X(ARB_vertex_blend) X(ARB_vertex_buffer_object) X(ARB_vertex_program) X(ARB_vertex_shader) \
  X(ARB_window_pos) XN(_3DFX_multisample, "GL_3DFX_multisample") \
  XN(_3DFX_tbuffer, "GL_3DFX_tbuffer") \
  XN(_3DFX_texture_compression_FXT1, "GL_3DFX_texture_compression_FXT1") \
  X(ATI_texture_compression_3dc) X(ATI_draw_buffers) X(ATI_texture_float) \
  X(ATI_texture_mirror_once) X(EXT_abgr) X(EXT_bgra) X(EXT_bindable_uniform) X(EXT_blend_color) \
  X(EXT_blend_equation_separate) X(EXT_blend_func_separate) X(EXT_blend_logic_op) \
  X(EXT_blend_minmax) X(EXT_blend_subtract) X(EXT_Cg_shader) X(EXT_clip_volume_hint) \
  X(EXT_compiled_vertex_array) X(EXT_copy_texture) X(EXT_depth_bounds_test) X(EXT_draw_buffers2) \
  X(EXT_draw_instanced) X(EXT_draw_range_elements) X(EXT_fog_coord) X(EXT_framebuffer_blit) \
  X(EXT_framebuffer_multisample) X(EXT_framebuffer_object) X(EXT_framebuffer_sRGB) \
  X(EXT_geometry_shader4) X(EXT_gpu_program_parameters) X(EXT_gpu_shader4) \
  X(EXT_multi_draw_arrays) X(EXT_multisample) X(EXT_packed_depth_stencil) X(EXT_packed_float) \
  X(EXT_packed_pixels) X(EXT_paletted_texture) X(EXT_pixel_buffer_object) X(EXT_polygon_offset) \
  X(EXT_rescale_normal) X(EXT_secondary_color) X(EXT_separate_specular_color) X(EXT_shadow_funcs) \
  X(EXT_shared_texture_palette) X(EXT_stencil_clear_tag) X(EXT_stencil_two_side) \
  X(EXT_stencil_wrap) X(EXT_texture3D) X(EXT_texture_array) X(EXT_texture_buffer_object) \
  X(EXT_texture_compression_latc) X(EXT_texture_compression_rgtc) X(EXT_texture_compression_s3tc) \
  X(EXT_texture_cube_map) X(EXT_texture_edge_clamp) X(EXT_texture_env_add) \
  X(EXT_texture_env_combine) X(EXT_texture_env_dot3) X(EXT_texture_filter_anisotropic) \
  X(EXT_texture_integer) X(EXT_texture_lod) X(EXT_texture_lod_bias) X(EXT_texture_mirror_clamp) \
  X(EXT_texture_object) X(EXT_texture_rectangle) X(EXT_texture_sRGB) \
  X(EXT_texture_shared_exponent) X(EXT_timer_query) X(EXT_transform_feedback) X(EXT_vertex_array) \
  X(HP_occlusion_test) X(IBM_rasterpos_clip) X(KTX_buffer_region) X(MESA_resize_buffers) \
  X(NV_blend_square) X(NV_conditional_render) X(NV_fence) X(NV_float_buffer) X(NV_fog_distance) \
  X(NV_light_max_exponent) X(NV_multisample_filter_hint) X(NV_occlusion_query) X(NV_point_sprite) \
  X(NV_register_combiners) X(NV_texgen_reflection) X(NV_texture_compression_vtc) \
  X(NV_texture_env_combine4) X(NV_texture_rectangle) X(NV_texture_shader) X(NV_texture_shader2) \
  X(NV_texture_shader3) X(NV_transform_feedback) X(NV_vertex_array_range) \
  X(NV_vertex_array_range2) X(NV_vertex_program) X(NV_depth_buffer_float) X(NV_copy_image) \
  X(SGI_color_matrix) X(SGIS_generate_mipmap) X(SGIS_multisample) X(SGIS_texture_border_clamp) \
  X(SGIS_texture_color_mask) X(SGIS_texture_edge_clamp) X(SGIS_texture_lod) X(SGIX_depth_texture) \
  X(SGIX_shadow) X(SGIX_shadow_ambient) X(WIN_swap_hint)

#define QIRA_GLU_EXTENSION_FLAGS(X) X(EXT_nurbs_tessellator) X(EXT_object_space_tess) X(EXT_TEXTURE)

#define QIRA_WGL_EXTENSION_FLAGS(X) \
  X(ARB_buffer_region) X(ARB_create_context) X(ARB_create_context_profile) \
  X(ARB_extensions_string) X(ARB_framebuffer_sRGB) X(ARB_make_current_read) X(ARB_multisample) \
  X(ARB_pbuffer) X(ARB_pixel_format) X(ARB_pixel_format_float) X(ARB_render_texture) \
  X(ATI_pixel_format_float) X(EXT_framebuffer_sRGB) X(EXT_pixel_format_packed_float) \
  X(EXT_swap_control)

// [SECTION] Entry-point variables

#define QIRA_DECLARE_DIRECT(name) extern decltype(&::name) name;
#define QIRA_DECLARE_LATER(name, type) extern type name;
QIRA_GL_1_1_FUNCTIONS(QIRA_DECLARE_DIRECT)
QIRA_GLU_FUNCTIONS(QIRA_DECLARE_DIRECT)
QIRA_GL_LATER_FUNCTIONS(QIRA_DECLARE_LATER)
#undef QIRA_DECLARE_DIRECT
#undef QIRA_DECLARE_LATER

// The window-system entry points the engine consults. The context layer
// installs the swap-interval pair when it reads the window-system data; they
// act on the current context's surface. The video-memory allocator of
// GL.NV_vertex_array_range has no counterpart here and stays null (the flag
// is cleared with it).
using TSwapIntervalSet = bool (*)(int interval);
using TSwapIntervalGet = int (*)();
using TAllocateMemoryNV = void* (*)(GLsizei size, GLfloat readFrequency, GLfloat writeFrequency,
                                    GLfloat priority);
using TFreeMemoryNV = void (*)(void* pointer);
extern TSwapIntervalSet wglSwapIntervalEXT;
extern TSwapIntervalGet wglGetSwapIntervalEXT;
extern TAllocateMemoryNV wglAllocateMemoryNV;
extern TFreeMemoryNV wglFreeMemoryNV;

// [SECTION] Flag records

#define QIRA_FLAG_MEMBER(name) bool name = false;
#define QIRA_FLAG_MEMBER_NAMED(member, search) bool member = false;

struct TGLFlags {
  bool VERSION_1_0 = false;
  bool VERSION_1_1 = false;
  bool VERSION_1_2 = false;
  bool VERSION_1_3 = false;
  bool VERSION_1_4 = false;
  bool VERSION_1_5 = false;
  bool VERSION_2_0 = false;
  bool VERSION_2_1 = false;
  bool VERSION_3_0 = false;
  bool VERSION_3_1 = false;
  bool VERSION_3_2 = false;
  QIRA_GL_EXTENSION_FLAGS(QIRA_FLAG_MEMBER, QIRA_FLAG_MEMBER_NAMED)
};

struct TGLUFlags {
  bool VERSION_1_1 = false;
  bool VERSION_1_2 = false;
  bool VERSION_1_3 = false;
  QIRA_GLU_EXTENSION_FLAGS(QIRA_FLAG_MEMBER)
};

struct TWGLFlags {
  QIRA_WGL_EXTENSION_FLAGS(QIRA_FLAG_MEMBER)
};

#undef QIRA_FLAG_MEMBER
#undef QIRA_FLAG_MEMBER_NAMED

// The driver's flags, as read at the last refresh (all false before).
extern TGLFlags GL;
extern TGLUFlags GLU;
extern TWGLFlags WGL;

// [SECTION] Loading and reading

// The two library names InitOpenGL loads.
inline constexpr const char* kOpenGLLibraryName = "libGL.so.1";
inline constexpr const char* kGLULibraryName = "libGLU.so.1";

// True at once when both libraries are loaded; otherwise loads them from the
// default names.
bool InitOpenGL();
// Loads both libraries from the given names (after CloseOpenGL). True when both
// loaded and every OpenGL 1.1 and GLU function was found; otherwise whatever
// did load is freed, both handles cleared, the variables nulled, and false.
bool InitOpenGLFromLibrary(const char* openGLName, const char* gluName);
// Frees both libraries and nulls every variable; the flags are cleared.
void CloseOpenGL();
bool IsOpenGLInitialized();
// The text of the last failure of loading ("" when none).
std::string OpenGLLoadError();

// The address the driver gives for a name (eglGetProcAddress): not null even
// for names it does not know.
void* GLGetProcAddress(const char* name);

// Fetches every later entry point (a context must be current).
void ReadExtensions();
// True once ReadExtensions ran after the libraries were last loaded.
bool ExtensionsRead();
// Installs the window-system entry points (the swap-interval pair). The
// context layer provides them; null leaves the variables null.
void SetWindowSystemEntryPoints(TSwapIntervalSet setInterval, TSwapIntervalGet getInterval);
// The version flags, then the GL, GLU and window-system extension flags (a
// context must be current).
void ReadImplementationProperties();
// Only the window-system flags, from the current EGL display.
void ReadWGLImplementationProperties();
// True when the current context comes from Mesa (its version text names it).
bool IsMesaDriver();

// [SECTION] Version and extension tests

struct TGLVersion {
  int major = 0;
  int minor = 0;
  bool operator==(const TGLVersion&) const = default;
};

// Major and minor of a version text such as "2.1.8543 vendor"; (0, 0) when
// the text has no digit right before and right after its first ".", or the
// numbers do not fit.
TGLVersion ParseVersionString(std::string_view text);
// Met when needed.major < actual.major, or the majors are equal and
// needed.minor <= actual.minor.
bool IsVersionMet(TGLVersion needed, TGLVersion actual);
// True when `name` is one of the blank-separated names of `extensions`.
bool CheckExtension(std::string_view name, std::string_view extensions);
// Sets the GL and GLU flags from the given texts (as ReadImplementationProperties
// does with the strings of the current context); exposed for tests.
void SetFlagsFromStrings(std::string_view glVersion, std::string_view glExtensions,
                         std::string_view gluVersion, std::string_view gluExtensions);
// Sets the window-system flags from an EGL version and extension string.
void SetWGLFlagsFromStrings(std::string_view eglVersion, std::string_view eglExtensions);

// [SECTION] Errors

// A pending OpenGL error; the message is GLU's text for the first one.
class EOpenGLError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EOpenGLError for the first pending error after draining up to seven
// more; nothing when none is pending.
void CheckOpenGLError();
// Drains pending errors (at most seven calls of glGetError).
void ClearGLError();

}  // namespace qira
