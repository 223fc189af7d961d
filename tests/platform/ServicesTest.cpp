#include "platform/Services.h"

#include <gtest/gtest.h>

#include "support/FakeServices.h"

namespace qira {
namespace {

using R = TMessageResult;
using B = TMessageButtons;

TEST(Services, KindsHaveTheirCaptionsAndUnknownKindsAreInformation) {
  EXPECT_STREQ(MessageKindCaption(MessageKindFromInt(0)), "Warning");
  EXPECT_STREQ(MessageKindCaption(MessageKindFromInt(1)), "Error");
  EXPECT_STREQ(MessageKindCaption(MessageKindFromInt(2)), "Information");
  EXPECT_STREQ(MessageKindCaption(MessageKindFromInt(3)), "Confirmation");
  EXPECT_EQ(MessageKindFromInt(4), TMessageKind::Information);
  EXPECT_EQ(MessageKindFromInt(-1), TMessageKind::Information);
}

TEST(Services, DefaultButtonIsOneToFourElseTheFirst) {
  struct Case {
    B buttons;
    int def;
    R want;
  } cases[] = {
      {B::YesNo, 2, R::No},           {B::YesNo, 1, R::Yes},       {B::YesNo, 0, R::Yes},
      {B::YesNo, 3, R::Yes},          {B::YesNoCancel, 3, R::Cancel}, {B::AbortRetryIgnore, 2, R::Retry},
      {B::Ok, 4, R::Ok},              {B::RetryCancel, 5, R::Retry}, {B::OkCancel, 2, R::Cancel},
  };
  for (const Case& c : cases) EXPECT_EQ(DefaultMessageButton(c.buttons, c.def), c.want);
  EXPECT_EQ(EscapeMessageButton(B::YesNo, 1), R::No);
  EXPECT_EQ(EscapeMessageButton(B::YesNoCancel, 1), R::Cancel);
  EXPECT_EQ(EscapeMessageButton(B::AbortRetryIgnore, 3), R::Ignore);
}

TEST(Services, HeadlessDefaultsNeverBlockAndAnswerCancelOrTheDefault) {
  TScopedServices headless(TServices{});
  testing::internal::CaptureStderr();
  Services().Messages->ShowMessage("Disk full", TMessageKind::Error);
  R r = Services().Messages->MessageBox("Delete?", TMessageKind::Warning, B::YesNo, 2);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, R::No);
  EXPECT_NE(err.find("Error: Disk full"), std::string::npos);
  EXPECT_NE(err.find("Warning: Delete?"), std::string::npos);
  std::string value = "old";
  EXPECT_FALSE(Services().Input->InputQuery("Rename", "Enter new name:", value));
  EXPECT_EQ(value, "old");
  TFileRequest request;
  EXPECT_FALSE(Services().Files->OpenFile(request));
  EXPECT_FALSE(Services().Files->SaveFile(request));
  EXPECT_EQ(InputBox("Rename", "Enter new name:", "keep"), "keep");
}

}  // namespace
}  // namespace qira
