#include "platform/Services.h"

#include <cstdio>

namespace qira {

namespace {

// Headless answers: messages go to stderr, questions are cancelled.
class THeadlessServices : public IMessageService, public IInputService, public IFileDialogService {
 public:
  void ShowMessage(const std::string& text, TMessageKind kind) override {
    std::fprintf(stderr, "%s: %s\n", MessageKindCaption(kind), text.c_str());
  }
  TMessageResult MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                            int defaultButton) override {
    ShowMessage(text, kind);
    return DefaultMessageButton(buttons, defaultButton);
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  std::optional<std::string> OpenFile(TFileRequest&) override { return std::nullopt; }
  std::optional<std::string> SaveFile(TFileRequest&) override { return std::nullopt; }
};

THeadlessServices& Headless() {
  static THeadlessServices headless;
  return headless;
}

TServices& Registered() {
  static TServices services{&Headless(), &Headless(), &Headless()};
  return services;
}

}  // namespace

TMessageKind MessageKindFromInt(int kind) {
  switch (kind) {
    case 0: return TMessageKind::Warning;
    case 1: return TMessageKind::Error;
    case 3: return TMessageKind::Confirmation;
    default: return TMessageKind::Information;
  }
}

const char* MessageKindCaption(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Warning: return "Warning";
    case TMessageKind::Error: return "Error";
    case TMessageKind::Confirmation: return "Confirmation";
    case TMessageKind::Information: break;
  }
  return "Information";
}

std::vector<TMessageResult> MessageButtonsOf(TMessageButtons buttons) {
  using R = TMessageResult;
  switch (buttons) {
    case TMessageButtons::Ok: return {R::Ok};
    case TMessageButtons::OkCancel: return {R::Ok, R::Cancel};
    case TMessageButtons::AbortRetryIgnore: return {R::Abort, R::Retry, R::Ignore};
    case TMessageButtons::YesNoCancel: return {R::Yes, R::No, R::Cancel};
    case TMessageButtons::YesNo: return {R::Yes, R::No};
    case TMessageButtons::RetryCancel: return {R::Retry, R::Cancel};
    case TMessageButtons::SaveDiscardCancel: return {R::Save, R::Discard, R::Cancel};
  }
  return {R::Ok};
}

TMessageResult DefaultMessageButton(TMessageButtons buttons, int defaultButton) {
  std::vector<TMessageResult> set = MessageButtonsOf(buttons);
  if (defaultButton >= 1 && defaultButton <= static_cast<int>(set.size())) return set[defaultButton - 1];
  return set.front();
}

TMessageResult EscapeMessageButton(TMessageButtons buttons, int defaultButton) {
  std::vector<TMessageResult> set = MessageButtonsOf(buttons);
  for (TMessageResult r : set)
    if (r == TMessageResult::Cancel) return r;
  for (TMessageResult r : set)
    if (r == TMessageResult::No) return r;
  return DefaultMessageButton(buttons, defaultButton);
}

void SetServices(const TServices& services) {
  TServices& s = Registered();
  s.Messages = services.Messages ? services.Messages : &Headless();
  s.Input = services.Input ? services.Input : &Headless();
  s.Files = services.Files ? services.Files : &Headless();
}

const TServices& Services() { return Registered(); }

TScopedServices::TScopedServices(const TServices& services) : previous_(Services()) {
  SetServices(services);
}

TScopedServices::~TScopedServices() { SetServices(previous_); }

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) {
  std::string value = def;
  if (!Services().Input->InputQuery(caption, prompt, value)) return def;
  return value;
}

}  // namespace qira
