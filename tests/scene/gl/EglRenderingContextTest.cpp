#include "scene/gl/EglRenderingContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "platform/AvailableMemory.h"
#include "scene/gl/OpenGLBinding.h"
#include "support/AddressSpaceLimit.h"

namespace qira {
namespace {

// =============================================================== config ladder

// A display that offers a fixed list of configs, in the order given, and
// treats every size as a minimum as EGL does. Attributes it does not know
// fail the call, as EGL_BAD_ATTRIBUTE does.
struct TOfferedConfig {
  int red = 8, green = 8, blue = 8, alpha = 0, depth = 24, stencil = 0;
  int sampleBuffers = 0, samples = 0;
  bool slow = false;
  bool floatComponents = false;
  int surfaces = EGL_WINDOW_BIT | EGL_PBUFFER_BIT;
};

class TFakeConfigSource final : public TEglConfigSource {
 public:
  explicit TFakeConfigSource(std::vector<TOfferedConfig> offered) : offered_(std::move(offered)) {}

  std::vector<TEglConfig> ChooseConfigs(const std::vector<int32_t>& attributes, int32_t maxCount) override {
    calls.push_back(attributes);
    EXPECT_EQ(maxCount, 32);
    std::vector<TEglConfig> found;
    for (TOfferedConfig& config : offered_) {
      bool matches = true;
      for (size_t i = 0; i + 1 < attributes.size(); i += 2) {
        const int32_t name = attributes[i];
        const int32_t value = attributes[i + 1];
        switch (name) {
          case EGL_SURFACE_TYPE: matches &= (config.surfaces & value) == value; break;
          case EGL_RENDERABLE_TYPE: break;
          case EGL_CONFIG_CAVEAT: matches &= value == EGL_NONE ? !config.slow : true; break;
          case EGL_COLOR_COMPONENT_TYPE_EXT: matches &= config.floatComponents; break;
          case EGL_RED_SIZE: matches &= config.red >= value; break;
          case EGL_GREEN_SIZE: matches &= config.green >= value; break;
          case EGL_BLUE_SIZE: matches &= config.blue >= value; break;
          case EGL_ALPHA_SIZE: matches &= config.alpha >= value; break;
          case EGL_DEPTH_SIZE: matches &= config.depth >= value; break;
          case EGL_STENCIL_SIZE: matches &= config.stencil >= value; break;
          case EGL_SAMPLE_BUFFERS: matches &= config.sampleBuffers >= value; break;
          case EGL_SAMPLES: matches &= config.samples >= value; break;
          default: return {};  // EGL_BAD_ATTRIBUTE
        }
      }
      if (matches) found.push_back(&config);
    }
    return found;
  }

  int32_t ConfigAttribute(TEglConfig config, int32_t attribute) override {
    const auto& offered = *static_cast<TOfferedConfig*>(config);
    return attribute == EGL_SAMPLE_BUFFERS ? offered.sampleBuffers : 0;
  }

  TOfferedConfig* Offered(size_t index) { return &offered_[index]; }

  // The value of an attribute in one call; -1 when absent.
  int32_t ValueIn(size_t call, int32_t name) const {
    const auto& attributes = calls.at(call);
    for (size_t i = 0; i + 1 < attributes.size(); i += 2) {
      if (attributes[i] == name) return attributes[i + 1];
    }
    return -1;
  }

  std::vector<std::vector<int32_t>> calls;

 private:
  std::vector<TOfferedConfig> offered_;
};

TEglConfigRequest Request(int colorBits, int depthBits, TGLAntiAliasing aa = TGLAntiAliasing::aaDefault) {
  TEglConfigRequest request;
  request.colorBits = colorBits;
  request.depthBits = depthBits;
  request.antiAliasing = aa;
  return request;
}

TEST(EglConfigChoice, ThirtyTwoBitDepthFallsBackTo24ThenTo16) {
  TOfferedConfig depth24;
  TFakeConfigSource only24({depth24});
  EXPECT_EQ(ChooseEglConfig(Request(24, 32), only24), only24.Offered(0));
  ASSERT_EQ(only24.calls.size(), 2u);
  EXPECT_EQ(only24.ValueIn(1, EGL_DEPTH_SIZE), 24);

  TOfferedConfig depth16;
  depth16.depth = 16;
  TFakeConfigSource only16({depth16});
  EXPECT_EQ(ChooseEglConfig(Request(24, 32), only16), only16.Offered(0));
  ASSERT_EQ(only16.calls.size(), 3u);
  EXPECT_EQ(only16.ValueIn(2, EGL_DEPTH_SIZE), 16);
}

TEST(EglConfigChoice, NoAntiAliasingSkipsTheMultisampleConfigsListedFirst) {
  TOfferedConfig multi;
  multi.sampleBuffers = 1;
  multi.samples = 4;
  TOfferedConfig plain;
  TFakeConfigSource source({multi, multi, plain});
  EXPECT_EQ(ChooseEglConfig(Request(24, 24, TGLAntiAliasing::aaNone), source), source.Offered(2));
  EXPECT_EQ(source.ValueIn(0, EGL_SAMPLE_BUFFERS), 0);
  // With nothing but multisample configs, the last one found.
  TFakeConfigSource onlyMulti({multi, multi});
  EXPECT_EQ(ChooseEglConfig(Request(24, 24, TGLAntiAliasing::aaDefault), onlyMulti), onlyMulti.Offered(1));
  EXPECT_EQ(onlyMulti.ValueIn(0, EGL_SAMPLE_BUFFERS), -1);
}

TEST(EglConfigChoice, TooManyColourBitsFallBackTo16) {
  TOfferedConfig rgb565;
  rgb565.red = 5;
  rgb565.green = 6;
  rgb565.blue = 5;
  rgb565.depth = 16;
  TFakeConfigSource source({rgb565});
  EXPECT_EQ(ChooseEglConfig(Request(24, 16), source), source.Offered(0));
  ASSERT_EQ(source.calls.size(), 2u);
  EXPECT_EQ(source.ValueIn(0, EGL_RED_SIZE), 8);
  EXPECT_EQ(source.ValueIn(1, EGL_RED_SIZE), 5);
  EXPECT_EQ(source.ValueIn(1, EGL_GREEN_SIZE), 6);
}

TEST(EglConfigChoice, SlowConfigsAreTheLastResortAtTheAskedSizes) {
  TOfferedConfig slow;
  slow.slow = true;
  slow.depth = 32;
  TFakeConfigSource source({slow});
  EXPECT_EQ(ChooseEglConfig(Request(24, 32), source), source.Offered(0));
  ASSERT_EQ(source.calls.size(), 5u);
  EXPECT_EQ(source.ValueIn(4, EGL_CONFIG_CAVEAT), -1);
  EXPECT_EQ(source.ValueIn(4, EGL_DEPTH_SIZE), 32);
  EXPECT_EQ(source.ValueIn(4, EGL_RED_SIZE), 8);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(source.ValueIn(i, EGL_CONFIG_CAVEAT), EGL_NONE);
}

TEST(EglConfigChoice, NothingOfferedGivesNoConfig) {
  TFakeConfigSource source({});
  EXPECT_EQ(ChooseEglConfig(Request(24, 24), source), nullptr);
}

// ============================================================ headless contexts

using TPixels = std::vector<std::array<uint8_t, 4>>;

TPixels ReadPixels(int width, int height) {
  TPixels pixels(static_cast<size_t>(width * height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

std::array<uint8_t, 4> Rgba(int r, int g, int b, int a = 255) {
  return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), static_cast<uint8_t>(a)};
}

// A quad over the window columns [x0, x1) and every row, in one flat colour.
void DrawColumns(int width, int height, int x0, int x1, uint8_t r, uint8_t g, uint8_t b) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glShadeModel(GL_FLAT);
  glColor3ub(r, g, b);
  glBegin(GL_QUADS);
  glVertex2i(x0, 0);
  glVertex2i(x1, 0);
  glVertex2i(x1, height);
  glVertex2i(x0, height);
  glEnd();
}

class HeadlessContextGL : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterEglRenderingContext();
    if (EglPlatform() == TEglPlatform::epNone) {
      // The first context opens the display; a machine without EGL cannot run these.
      auto probe = GLContextManager().CreateContext();
      ASSERT_NE(probe, nullptr);
      try {
        probe->CreateMemoryContext(0, 1, 1, 1);
      } catch (const std::exception& error) {
        GTEST_SKIP() << "no EGL display: " << error.what();
      }
    }
  }
  void TearDown() override { EXPECT_EQ(CurrentGLContext(), nullptr); }

  std::unique_ptr<TGLEglContext> Memory(int width, int height, int buffers = 1, int depth = 24) {
    std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
    auto* egl = dynamic_cast<TGLEglContext*>(context.get());
    EXPECT_NE(egl, nullptr);
    context.release();
    std::unique_ptr<TGLEglContext> result(egl);
    result->SetDepthBits(depth);
    result->CreateMemoryContext(0, width, height, buffers);
    return result;
  }
};

TEST_F(HeadlessContextGL, ReadsBackTheExactClearColour) {
  auto context = Memory(8, 6);
  EXPECT_TRUE(context->IsMemoryContext());
  EXPECT_EQ(context->Acceleration(), 1);
  context->Activate();
  EXPECT_TRUE(GL.VERSION_1_1);
  EXPECT_TRUE(GL.VERSION_3_0);
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const TPixels pixels = ReadPixels(8, 6);
  for (const auto& pixel : pixels) EXPECT_EQ(pixel, Rgba(51, 102, 153));
  EXPECT_NO_THROW(CheckOpenGLError());
  context->Deactivate();
}

TEST_F(HeadlessContextGL, ADisplayListCompiledInOneContextDrawsInAnotherOfTheGroup) {
  auto first = Memory(4, 4);
  auto second = Memory(4, 4);
  second->ShareLists(*first);
  TGLListHandle list;
  first->Activate();
  list.AllocateHandle();
  ASSERT_NE(list.Handle(), 0u);
  glNewList(list.Handle(), GL_COMPILE);
  DrawColumns(4, 4, 0, 4, 250, 20, 5);
  glEndList();
  first->Deactivate();

  second->Activate();
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glCallList(list.Handle());
  EXPECT_EQ(ReadPixels(4, 4)[5], Rgba(250, 20, 5));
  second->Deactivate();

  // The list passes to the partner when its context goes, and still draws.
  first->DestroyContext();
  EXPECT_EQ(list.RenderingContext(), second.get());
  second->Activate();
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(ReadPixels(4, 4)[5], Rgba(0, 0, 255));
  glCallList(list.Handle());
  EXPECT_EQ(ReadPixels(4, 4)[5], Rgba(250, 20, 5));
  list.DestroyHandle();
  EXPECT_FALSE(glIsList(list.Handle()));
  second->Deactivate();
}

TEST_F(HeadlessContextGL, FreeingAHandleOfAnotherContextKeepsTheCurrentContextCurrent) {
  auto owner = Memory(2, 2);
  auto other = Memory(2, 2);
  TGLTextureHandle texture;
  owner->Activate();
  texture.AllocateHandle();
  const GLuint name = texture.Handle();
  glBindTexture(GL_TEXTURE_2D, name);  // a name is a texture once bound
  owner->Deactivate();

  other->Activate();
  other->Activate();
  texture.DestroyHandle();
  EXPECT_EQ(texture.Handle(), 0u);
  EXPECT_EQ(CurrentGLContext(), other.get());
  // Really current on the platform: its own framebuffer is bound, and the
  // texture is gone from the share group.
  GLint bound = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), other->Framebuffer());
  EXPECT_FALSE(glIsTexture(name));
  other->SetActive(false);
}

TEST_F(HeadlessContextGL, MemoryContextsHaveUpToFourColourBuffers) {
  auto context = Memory(2, 2, 7);
  EXPECT_EQ(context->BufferCount(), 4);
  EXPECT_EQ(context->ColorBuffer(0), static_cast<uint32_t>(GL_COLOR_ATTACHMENT0));
  EXPECT_EQ(context->ColorBuffer(2), static_cast<uint32_t>(GL_COLOR_ATTACHMENT2));
  context->Activate();
  glClearColor(1, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);  // every draw buffer
  glReadBuffer(context->ColorBuffer(3));
  EXPECT_EQ(ReadPixels(2, 2)[0], Rgba(255, 0, 255));
  context->Deactivate();
}

// An address-space limit in a child process: the buffers' memory cannot be had,
// and the context says so instead of refusing the format.
TEST_F(HeadlessContextGL, BuffersWhoseMemoryCannotBeHadAreRefusedAsSuch) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string options = sanitizer ? sanitizer : "";
  // The child's allocator gives null, as the system's does, instead of ending the program.
  setenv("ASAN_OPTIONS", (options + ":allocator_may_return_null=1").c_str(), 1);
  EXPECT_EXIT(
      {
        Memory(1, 1);  // the display and the driver, before the limit
        if (!LimitAddressSpace(int64_t{200} << 20)) _exit(2);
        try {
          Memory(8192, 8192);  // 256 MB of colour
        } catch (const EGLOutOfMemory& e) {
          std::fputs(e.what(), stderr);
          _exit(0);
        }
        _exit(1);
      },
      ::testing::ExitedWithCode(0), "Not enough memory for an off-screen buffer of 8192 x 8192 pixels.");
  if (sanitizer) setenv("ASAN_OPTIONS", options.c_str(), 1);
  else unsetenv("ASAN_OPTIONS");
}

// The driver's start-up does not fit under an address-space limit, or one of the
// calls that open the display could not have its memory (EGL_BAD_ALLOC): the first
// context is refused as out of memory before the driver can fail where nothing
// catches it. A child process each, before any display exists.
TEST(EglFailuresDeathTest, ADriverStartThatDoesNotFitTheAddressLimitIsOutOfMemory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // "": the address-space limit; otherwise the call that fails.
  for (const char* call : {"", "eglInitialize", "eglBindAPI", "eglCreateContext", "eglCreatePbufferSurface",
                           "eglMakeCurrent"}) {
    EXPECT_EXIT(
        {
          RegisterEglRenderingContext();
          if (EglPlatform() != TEglPlatform::epNone) _exit(2);
          if (*call == 0 && !LimitAddressSpace(int64_t{64} << 20)) _exit(3);
          if (*call != 0) SetEglCallFailureForTesting(call, EGL_BAD_ALLOC);
          std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
          try {
            context->CreateMemoryContext(0, 1, 1, 1);
          } catch (const EGLOutOfMemory& e) {
            std::fputs(e.what(), stderr);
            _exit(0);
          } catch (...) {
          }
          _exit(1);
        },
        ::testing::ExitedWithCode(0), "Not enough memory for an OpenGL context.")
        << call;
  }
}

// EGL's own refusal of memory (EGL_BAD_ALLOC, 0x3003) is EGLOutOfMemory whatever
// the call; other errors are left to the call's own text.
TEST(EglFailures, AnAllocationEglCouldNotMakeIsOutOfMemoryAndOtherErrorsAreNot) {
  const struct {
    int32_t error;
    bool outOfMemory;
  } table[] = {{0x3003, true}, {0x3001, false}, {0x3009, false}, {0x300E, false}};
  for (const auto& row : table) {
    bool raised = false;
    try {
      RaiseIfEglOutOfMemory(row.error, "Not enough memory for an OpenGL context.");
    } catch (const EGLOutOfMemory& e) {
      raised = true;
      EXPECT_STREQ(e.what(), "Not enough memory for an OpenGL context.");
    }
    EXPECT_EQ(raised, row.outOfMemory) << row.error;
  }
}

// With the display open, each call that makes a context and could not have its
// memory (EGL_BAD_ALLOC) is told as out of memory: an off-screen buffer with its
// size, any other context as a context.
TEST_F(HeadlessContextGL, EachContextCallThatCouldNotHaveItsMemoryIsOutOfMemory) {
  const std::string buffer = "Not enough memory for an off-screen buffer of 3 x 2 pixels.";
  const std::string context = "Not enough memory for an OpenGL context.";
  const struct {
    const char* call;
    bool offScreen;  // an off-screen buffer, or a context without a window
    const std::string& text;
  } table[] = {
      {"eglCreateContext", true, buffer},
      {"eglMakeCurrent", true, buffer},
      {"eglCreateContext", false, context},
      {"eglCreatePbufferSurface", false, context},
  };
  for (const auto& row : table) {
    auto made = std::unique_ptr<TGLContext>(GLContextManager().CreateContext());
    SetEglCallFailureForTesting(row.call, EGL_BAD_ALLOC);
    std::string told;
    try {
      if (row.offScreen) made->CreateMemoryContext(0, 3, 2, 1);
      else made->CreateContext(0);
    } catch (const EGLOutOfMemory& e) {
      told = e.what();
    } catch (const std::exception& e) {
      told = std::string("another error: ") + e.what();
    }
    SetEglCallFailureForTesting("", EGL_SUCCESS);
    EXPECT_EQ(told, row.text) << row.call << (row.offScreen ? " off-screen" : " without a window");
    if (made->IsValid()) made->DestroyContext();
  }
}

TEST_F(HeadlessContextGL, AContextWithoutAWindowDrawsOnItsOwnPbuffer) {
  auto context = std::unique_ptr<TGLContext>(GLContextManager().CreateContext());
  context->CreateContext(0);
  context->Activate();
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(ReadPixels(1, 1)[0], Rgba(0, 255, 0));
  context->Deactivate();
  context->DestroyContext();
  EXPECT_FALSE(context->IsValid());
}

TEST_F(HeadlessContextGL, ContextsOfAnotherClassCannotShare) {
  class TOther final : public TGLContext {
   public:
    bool IsValid() const override { return true; }
    void SwapBuffers() override {}
    TGLOutputDevice RenderOutputDevice() const override { return 0; }

   protected:
    void DoActivate() override {}
    void DoDeactivate() override {}
    void DoCreateContext(TGLOutputDevice) override {}
    void DoCreateMemoryContext(TGLOutputDevice, int32_t, int32_t, int32_t) override {}
    void DoShareLists(TGLContext&) override {}
    void DoDestroyContext() override {}
  } other;
  auto context = Memory(1, 1);
  try {
    context->ShareLists(other);
    FAIL();
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Incompatible contexts");
  }
}

// ================================================================ real window

// Double-buffered windows present on swap; single-buffered ones show what was
// drawn too (EGL may give them a back buffer, which the swap then presents).
class EglWindowContextX11GL : public ::testing::TestWithParam<bool> {};

TEST_P(EglWindowContextX11GL, DrawsIntoANativeQtWindowThatShowsIt) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display";
  if (QCoreApplication::instance() != nullptr || EglPlatform() != TEglPlatform::epNone) {
    GTEST_SKIP() << "needs a process of its own";
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  int argc = 1;
  char name[] = "scene_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  RegisterEglRenderingContext();

  auto widget = std::make_unique<QWidget>();
  widget->setAttribute(Qt::WA_NativeWindow);
  widget->setAttribute(Qt::WA_PaintOnScreen);
  widget->setAttribute(Qt::WA_NoSystemBackground);
  widget->setGeometry(40, 40, 64, 48);
  widget->show();

  std::unique_ptr<TGLContext> context = GLContextManager().CreateContext();
  context->SetOptions({GetParam(), false});
  context->SetDepthBits(24);
  context->SetAlphaBits(8);
  context->CreateContext(static_cast<TGLOutputDevice>(widget->winId()));
  EXPECT_EQ(EglPlatform(), TEglPlatform::epX11);
  EXPECT_EQ(context->RenderOutputDevice(), static_cast<TGLOutputDevice>(widget->winId()));

  context->Activate();
  EXPECT_TRUE(WGL.EXT_swap_control);
  // The interval kept is the one the config allows (swrast: 1 only).
  EXPECT_TRUE(wglSwapIntervalEXT(0));
  EXPECT_GE(wglGetSwapIntervalEXT(), 0);
  EXPECT_LE(wglGetSwapIntervalEXT(), 1);
  context->Deactivate();

  // The X server may map and clear the window after a first frame on a busy machine,
  // so the frame is drawn again until the window shows it (at most about two seconds).
  QImage shown;
  for (int attempt = 0; attempt < 40; ++attempt) {
    app.processEvents();
    context->Activate();
    glViewport(0, 0, 64, 48);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawColumns(64, 48, 0, 32, 20, 220, 40);
    if (attempt == 0) {
      EXPECT_EQ(ReadPixels(64, 48)[10 * 64 + 5], Rgba(20, 220, 40));
    }
    context->SwapBuffers();
    glFinish();
    context->Deactivate();
    // What the X server shows in the window.
    shown = app.primaryScreen()->grabWindow(widget->winId()).toImage();
    if (!shown.isNull() && shown.pixelColor(10, 24) == QColor(20, 220, 40)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.pixelColor(10, 24), QColor(20, 220, 40));
  EXPECT_EQ(shown.pixelColor(50, 24), QColor(0, 0, 0));

  // The window's end takes the context with it, before the window is gone.
  widget.reset();
  EXPECT_FALSE(context->IsValid());
  context.reset();
}

INSTANTIATE_TEST_SUITE_P(Buffering, EglWindowContextX11GL, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "DoubleBuffered" : "SingleBuffered"; });

}  // namespace
}  // namespace qira

