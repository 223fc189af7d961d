#include "ui/RecoveryCopies.h"

#include <QApplication>

#include <ctime>
#include <filesystem>
#include <memory>

#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"
#include "platform/CodePage.h"
#include "platform/HandlerGuard.h"
#include "ui/ProjectFile.h"
#include "ui/ViewWindow.h"

namespace qira {

namespace {

// While a modal dialog is open, the copy is looked at again this much later.
constexpr std::chrono::seconds kAfterDialog{5};

}  // namespace

std::string LocalTimeText(std::chrono::system_clock::time_point time) {
  const std::time_t when = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&when, &local)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string RecoveryCopyFailedText(const std::string& caption, const std::string& reason) {
  return "The recovery copy of " + caption + " cannot be written in " + reason +
         ". Your work goes on, but until a copy can be written, changes are lost if the program ends abnormally: "
         "save your documents.";
}

std::string RecoveryOfferText(const TRecoveryRecord& record) {
  const std::string folder = record.DocumentPath.empty()
                                 ? std::string("never saved")
                                 : "in \"" + std::filesystem::path(record.DocumentPath).parent_path().string() + "\"";
  return "The program ended without closing a changed document. Its recovery copy can bring it back:\n\"" +
         record.Caption + "\" (" + folder + "), copied " + LocalTimeText(record.Time) +
         "\nYes opens it as a changed document under its own name; No discards the copy; Cancel keeps it for the "
         "next start.";
}

TRecoveryCopies::TRecoveryCopies(std::function<std::vector<TForm3D*>()> documents)
    : documents_(std::move(documents)) {
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Guarded([&] { CopyDue(); }); });
}

TRecoveryCopies::~TRecoveryCopies() { store_.RemoveAll(); }

void TRecoveryCopies::ModifiedChanged(TForm3D& form) {
  if (!form.Modified()) {
    Forget(form);
    return;
  }
  if (!timer_.isActive()) timer_.start(kLatest);
}

void TRecoveryCopies::Closed(TForm3D& form) { Forget(form); }

void TRecoveryCopies::Forget(const TForm3D& form) {
  const auto slot = slots_.find(&form);
  if (slot == slots_.end()) return;
  store_.RemoveSlot(slot->second.Number);
  slots_.erase(slot);
}

bool TRecoveryCopies::CopyChanged() {
  bool all = true;
  for (TForm3D* form : documents_()) {
    if (!form->Modified()) continue;
    const auto slot = slots_.find(form);
    if (slot != slots_.end() && slot->second.Written && slot->second.Copied == form->ChangeCount()) continue;
    all = Copy(*form) && all;
  }
  return all;
}

void TRecoveryCopies::CopyDue() {
  if (QApplication::activeModalWidget() != nullptr) {
    timer_.start(kAfterDialog);
    return;
  }
  // What could not be copied is tried again at the next wait's end.
  if (!CopyChanged()) timer_.start(kLatest);
}

bool TRecoveryCopies::Copy(TForm3D& form) {
  auto [slot, added] = slots_.try_emplace(&form);
  if (added) slot->second.Number = nextSlot_++;
  const uint64_t change = form.ChangeCount();
  const TRecoveryRecord record{form.FileName(), form.CaptionText(), std::chrono::system_clock::now()};
  std::string error;
  bool written = store_.WriteRecord(slot->second.Number, record, &error);
  if (written) {
    std::unique_ptr<TSaveFile> save = TSaveFile::Create(store_.CopyPath(slot->second.Number), &error);
    // Every character as the document holds it: a save may agree to lose some, the copy
    // never does (read back the same way, CreateFromRecoveryCopy).
    const TUtf8Verbatim verbatim;
    written = save && WriteWindowProject(form, *save, &error);
    if (!written) error = "\"" + store_.Folder() + "\": " + error;
  }
  if (written) {
    slot->second.Copied = change;
    slot->second.Written = true;
    return true;
  }
  if (!failureTold_) {
    failureTold_ = true;
    ShowMessageDlg(RecoveryCopyFailedText(form.CaptionText(), error), 0);
  }
  return false;
}

std::string TRecoveryCopies::CopyPathOf(const TForm3D& form) const {
  const auto slot = slots_.find(&form);
  return slot != slots_.end() && slot->second.Written ? store_.CopyPath(slot->second.Number) : std::string();
}

}  // namespace qira
