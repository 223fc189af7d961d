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

TEST(Services, RegistrationIsScopedAndFakesRecordEverything) {
  const IMessageService* before = Services().Messages;
  {
    TFakeServices fake;
    EXPECT_EQ(Services().Messages, &fake);
    fake.BoxAnswers.push_back(R::Yes);
    fake.InputAnswers.push_back(std::string("new"));
    fake.InputAnswers.push_back(std::nullopt);
    fake.FileAnswers.push_back(std::string("/d/x.q3d"));
    fake.FilterIndexAnswers.push_back(3);

    EXPECT_EQ(Services().Messages->MessageBox("Sure?", TMessageKind::Warning, B::YesNo, 2), R::Yes);
    EXPECT_EQ(Services().Messages->MessageBox("Again?", TMessageKind::Warning, B::YesNo, 2), R::No);
    Services().Messages->ShowMessage("Done", TMessageKind::Information);
    EXPECT_EQ(InputBox("Rename", "Enter new name:", "a"), "new");
    EXPECT_EQ(InputBox("Rename", "Enter new name:", "a"), "a");
    TFileRequest request;
    request.Filter = "Projects (*.q3d)|*.q3d|All files|*.*";
    EXPECT_EQ(Services().Files->SaveFile(request), std::optional<std::string>("/d/x.q3d"));
    EXPECT_EQ(request.FilterIndex, 3);
    EXPECT_FALSE(Services().Files->OpenFile(request));

    EXPECT_EQ(fake.Texts(), (std::vector<std::string>{"Sure?", "Again?", "Done"}));
    EXPECT_TRUE(fake.Messages[0].IsBox);
    EXPECT_EQ(fake.Messages[1].DefaultButton, 2);
    EXPECT_FALSE(fake.Messages[2].IsBox);
    ASSERT_EQ(fake.Inputs.size(), 2u);
    EXPECT_EQ(fake.Inputs[0].Caption, "Rename");
    EXPECT_EQ(fake.Inputs[0].Default, "a");
    ASSERT_EQ(fake.FileCalls.size(), 2u);
    EXPECT_TRUE(fake.FileCalls[0].Save);
    EXPECT_EQ(fake.FileCalls[0].Request.Filter, request.Filter);
  }
  EXPECT_EQ(Services().Messages, before);
}

}  // namespace
}  // namespace qira
