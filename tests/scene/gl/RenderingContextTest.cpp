#include "scene/gl/RenderingContext.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qira {
namespace {

// A platform class without a platform: it records which context the
// "platform" has current, so tests see what really is current whatever the
// activation counts say.
class TFakeContext final : public TGLContext {
 public:
  static inline TFakeContext* platformCurrent = nullptr;
  static inline std::vector<std::string> log;

  explicit TFakeContext(std::string name) : name_(std::move(name)) {}
  ~TFakeContext() override {
    if (IsValid()) DestroyContext();
  }

  bool IsValid() const override { return created_; }
  void SwapBuffers() override {}
  TGLOutputDevice RenderOutputDevice() const override { return 0; }
  const std::string& Name() const { return name_; }
  bool failActivation = false;

 protected:
  void DoActivate() override {
    if (failActivation) throw std::runtime_error("gone");
    platformCurrent = this;
    log.push_back("activate " + name_);
  }
  void DoDeactivate() override {
    platformCurrent = nullptr;
    log.push_back("deactivate " + name_);
  }
  void DoCreateContext(TGLOutputDevice) override { created_ = true; }
  void DoCreateMemoryContext(TGLOutputDevice, int32_t, int32_t, int32_t) override { created_ = true; }
  void DoShareLists(TGLContext&) override {}
  void DoDestroyContext() override {
    created_ = false;
    log.push_back("destroy " + name_);
  }

 private:
  std::string name_;
  bool created_ = false;
};

std::string NameOf(const TGLContext* context) {
  return context ? static_cast<const TFakeContext*>(context)->Name() : "none";
}

// A handle whose names count up; each destruction records the name and the
// context the platform had current at that moment.
class THandles {
 public:
  static inline uint32_t nextName = 1;
  static inline std::vector<std::string> destroyed;

  static std::unique_ptr<TGLVirtualHandle> Make() {
    auto handle = std::make_unique<TGLVirtualHandle>();
    handle->OnAllocate = [](TGLVirtualHandle&, uint32_t& name) { name = nextName++; };
    handle->OnDestroy = [](TGLVirtualHandle&, uint32_t& name) {
      destroyed.push_back(std::to_string(name) + " in " + NameOf(TFakeContext::platformCurrent));
    };
    return handle;
  }
};

class Contexts : public ::testing::Test {
 protected:
  void SetUp() override {
    TFakeContext::platformCurrent = nullptr;
    TFakeContext::log.clear();
    THandles::destroyed.clear();
    a_.CreateContext(0);
    b_.CreateContext(0);
  }
  void TearDown() override { EXPECT_EQ(CurrentGLContext(), nullptr); }

  // A handle allocated while `a` was current; nothing is current afterwards.
  std::unique_ptr<TGLVirtualHandle> HandleAllocatedInA() {
    auto handle = THandles::Make();
    a_.Activate();
    handle->AllocateHandle();
    a_.Deactivate();
    return handle;
  }

  TFakeContext a_{"a"};
  TFakeContext b_{"b"};
};

TEST_F(Contexts, ActivationsNestAndMustBalance) {
  a_.Activate();
  a_.Activate();
  a_.Deactivate();
  EXPECT_TRUE(a_.Active());
  EXPECT_EQ(CurrentGLContext(), &a_);
  a_.Deactivate();
  EXPECT_FALSE(a_.Active());
  EXPECT_EQ(CurrentGLContext(), nullptr);
  EXPECT_EQ(TFakeContext::log, (std::vector<std::string>{"activate a", "deactivate a"}));
  try {
    a_.Deactivate();
    FAIL();
  } catch (const EGLContext& error) {
    EXPECT_STREQ(error.what(), "Unbalanced context activations");
  }
  // The failed call leaves the count usable.
  a_.Activate();
  EXPECT_TRUE(a_.Active());
  a_.SetActive(false);
}

TEST_F(Contexts, OptionsOfAnActiveContextCannotChange) {
  a_.Activate();
  try {
    a_.SetColorBits(16);
    FAIL();
  } catch (const EGLContext& error) {
    EXPECT_STREQ(error.what(), "Cannot alter an active context");
  }
  EXPECT_EQ(a_.ColorBits(), 32);
  EXPECT_THROW(a_.SetAntiAliasing(TGLAntiAliasing::aa4x), EGLContext);
  EXPECT_THROW(a_.SetOptions({true, false}), EGLContext);
  a_.Deactivate();
  a_.SetDepthBits(24);
  EXPECT_EQ(a_.DepthBits(), 24);
}

TEST_F(Contexts, CreationAndActivationStatesHaveTheirMessages) {
  try {
    a_.CreateContext(0);
    FAIL();
  } catch (const EGLContext& error) {
    EXPECT_STREQ(error.what(), "Context already created");
  }
  TFakeContext fresh("fresh");
  try {
    fresh.Activate();
    FAIL();
  } catch (const EGLContext& error) {
    EXPECT_STREQ(error.what(), "Context not created");
  }
  EXPECT_THROW(fresh.ShareLists(a_), EGLContext);
  EXPECT_THROW(GLContextManager().RegisterContext(a_), EGLContext);
}

TEST_F(Contexts, AFailedPlatformActivationIsSwallowedAndSkipsTheTeardownCalls) {
  a_.failActivation = true;
  a_.Activate();
  EXPECT_TRUE(a_.Active());
  EXPECT_TRUE(GLActivationFailed());
  a_.Deactivate();
  EXPECT_TRUE(TFakeContext::log.empty());  // neither activation nor deactivation reached the platform
  EXPECT_FALSE(GLActivationFailed());
}

TEST_F(Contexts, SharingMergesWholeGroups) {
  TFakeContext c("c");
  c.CreateContext(0);
  b_.ShareLists(c);
  a_.ShareLists(b_);
  for (TGLContext* member : {static_cast<TGLContext*>(&a_), static_cast<TGLContext*>(&b_),
                             static_cast<TGLContext*>(&c)}) {
    EXPECT_EQ(member->SharedContexts().size(), 3u) << NameOf(member);
  }
  c.DestroyContext();
  EXPECT_EQ(a_.SharedContexts(), (std::vector<TGLContext*>{&a_, &b_}));
  EXPECT_EQ(b_.SharedContexts(), (std::vector<TGLContext*>{&a_, &b_}));
}

TEST_F(Contexts, DestroyingASharingContextHandsItsNamesToThePartner) {
  a_.ShareLists(b_);
  auto list = THandles::Make();
  auto texture = THandles::Make();
  a_.Activate();
  list->AllocateHandle();
  texture->AllocateHandle();
  a_.Deactivate();
  ASSERT_EQ(a_.OwnedHandles().size(), 2u);
  a_.DestroyContext();
  EXPECT_TRUE(THandles::destroyed.empty());
  EXPECT_EQ(list->RenderingContext(), &b_);
  EXPECT_EQ(texture->RenderingContext(), &b_);
  EXPECT_EQ(b_.OwnedHandles().size(), 2u);
  EXPECT_FALSE(a_.IsValid());
}

TEST_F(Contexts, DestroyingALoneContextFreesItsNamesInIt) {
  auto handle = HandleAllocatedInA();
  const uint32_t name = handle->Handle();
  a_.DestroyContext();
  EXPECT_EQ(THandles::destroyed, (std::vector<std::string>{std::to_string(name) + " in a"}));
  EXPECT_EQ(handle->Handle(), 0u);
  EXPECT_EQ(handle->RenderingContext(), nullptr);
}

TEST_F(Contexts, DestroyingAHandleOfAnotherContextSwitchesThereAndBack) {
  auto handle = HandleAllocatedInA();
  // b is current, twice over: the switch must not lean on its count.
  b_.Activate();
  b_.Activate();
  handle->DestroyHandle();
  EXPECT_EQ(THandles::destroyed.size(), 1u);
  EXPECT_EQ(THandles::destroyed[0].substr(THandles::destroyed[0].find(" in ")), " in a");
  EXPECT_EQ(TFakeContext::platformCurrent, &b_);
  EXPECT_EQ(CurrentGLContext(), &b_);
  EXPECT_EQ(b_.ActivationCount(), 2);
  EXPECT_EQ(a_.ActivationCount(), 0);
  EXPECT_TRUE(a_.OwnedHandles().empty());
  b_.Deactivate();
  b_.Deactivate();
  EXPECT_EQ(TFakeContext::platformCurrent, nullptr);
}

TEST_F(Contexts, DestroyingAHandleInAContextOfItsGroupNeedsNoSwitch) {
  a_.ShareLists(b_);
  auto handle = HandleAllocatedInA();
  b_.Activate();
  TFakeContext::log.clear();
  handle->DestroyHandle();
  EXPECT_TRUE(TFakeContext::log.empty());
  EXPECT_EQ(THandles::destroyed.back().substr(THandles::destroyed.back().find(" in ")), " in b");
  b_.Deactivate();
}

TEST_F(Contexts, DestroyingAContextWhileAnotherIsCurrentKeepsThatOneCurrent) {
  auto handle = HandleAllocatedInA();
  b_.Activate();
  b_.Activate();
  a_.DestroyContext();
  EXPECT_EQ(THandles::destroyed.back().substr(THandles::destroyed.back().find(" in ")), " in a");
  EXPECT_EQ(TFakeContext::platformCurrent, &b_);
  EXPECT_EQ(CurrentGLContext(), &b_);
  b_.SetActive(false);
}

TEST_F(Contexts, DestroyingTheCurrentContextHandsThePlatformBackToTheActiveOneBefore) {
  a_.Activate();
  b_.Activate();
  b_.DestroyContext();
  EXPECT_EQ(TFakeContext::platformCurrent, &a_);
  EXPECT_EQ(CurrentGLContext(), &a_);
  EXPECT_TRUE(a_.Active());
  a_.Deactivate();
  EXPECT_EQ(TFakeContext::platformCurrent, nullptr);
}

TEST_F(Contexts, ASecondContextActivatedInsideTheFirstHandsTheFirstBack) {
  a_.Activate();
  b_.Activate();
  EXPECT_EQ(TFakeContext::platformCurrent, &b_);
  b_.Deactivate();
  EXPECT_EQ(TFakeContext::platformCurrent, &a_);
  EXPECT_EQ(CurrentGLContext(), &a_);
  a_.Deactivate();
  EXPECT_EQ(TFakeContext::platformCurrent, nullptr);
}

TEST_F(Contexts, FreeingAllHandlesSkipsContextsNeverCreatedAndKeepsTheCurrentOne) {
  TFakeContext neverCreated("never");
  auto first = THandles::Make();
  auto second = THandles::Make();
  a_.Activate();
  first->AllocateHandle();
  a_.Deactivate();
  b_.Activate();
  second->AllocateHandle();
  GLContextManager().FreeAllHandles();
  EXPECT_EQ(THandles::destroyed.size(), 2u);
  EXPECT_EQ(first->Handle(), 0u);
  EXPECT_EQ(second->Handle(), 0u);
  EXPECT_EQ(TFakeContext::platformCurrent, &b_);
  b_.Deactivate();
}

TEST_F(Contexts, AHandleIsAllocatedOnlyWithACurrentContextAndCanBeAllocatedAgain) {
  auto handle = THandles::Make();
  handle->AllocateHandle();
  EXPECT_EQ(handle->Handle(), 0u);
  a_.Activate();
  handle->AllocateHandle();
  const uint32_t first = handle->Handle();
  handle->AllocateHandle();  // already holds a name: kept
  EXPECT_EQ(handle->Handle(), first);
  handle->DestroyHandle();
  handle->AllocateHandle();
  EXPECT_NE(handle->Handle(), 0u);
  EXPECT_EQ(handle->RenderingContext(), &a_);
  a_.Deactivate();
}

TEST_F(Contexts, HandlesFreedWithTheirObjectLeaveTheOwnerList) {
  a_.Activate();
  {
    auto handle = THandles::Make();
    handle->AllocateHandle();
    EXPECT_EQ(a_.OwnedHandles().size(), 1u);
  }
  EXPECT_TRUE(a_.OwnedHandles().empty());
  EXPECT_EQ(THandles::destroyed.size(), 1u);
  a_.Deactivate();
}

TEST(ContextManager, DeferredNotificationsRunNewestFirstWhenTheLastContextGoes) {
  std::vector<int> order;
  TFakeContext context("d");
  const int before = GLContextManager().CreatedContextCount();
  context.CreateContext(0);
  EXPECT_EQ(GLContextManager().CreatedContextCount(), before + 1);
  if (before != 0) GTEST_SKIP() << "other contexts are alive in this process";
  GLContextManager().QueueDeferredNotification([&] { order.push_back(1); });
  GLContextManager().QueueDeferredNotification([&] { order.push_back(2); });
  context.DestroyContext();
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

}  // namespace
}  // namespace qira
