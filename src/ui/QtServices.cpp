#include "ui/QtServices.h"
#include "ui/DialogSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <QVBoxLayout>

#include <filesystem>

namespace qira {

namespace {


QMessageBox::Icon IconOf(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Warning:
      return QMessageBox::Warning;
    case TMessageKind::Error:
      return QMessageBox::Critical;
    case TMessageKind::Confirmation:
      return QMessageBox::Question;
    case TMessageKind::Information:
      break;
  }
  return QMessageBox::Information;
}

QMessageBox::StandardButton QtButton(TMessageResult result) {
  switch (result) {
    case TMessageResult::Ok: return QMessageBox::Ok;
    case TMessageResult::Cancel: return QMessageBox::Cancel;
    case TMessageResult::Abort: return QMessageBox::Abort;
    case TMessageResult::Retry: return QMessageBox::Retry;
    case TMessageResult::Ignore: return QMessageBox::Ignore;
    case TMessageResult::Yes: return QMessageBox::Yes;
    case TMessageResult::No: return QMessageBox::No;
    case TMessageResult::Save: return QMessageBox::Save;
    case TMessageResult::Discard: return QMessageBox::Discard;
    case TMessageResult::None: break;
  }
  return QMessageBox::NoButton;
}

// The window a dialog belongs to: the active one, if any.
QWidget* DialogParent() { return QApplication::activeWindow(); }

struct TFilterPair {
  QString Description;
  QStringList Patterns;
};

std::vector<TFilterPair> FilterPairs(const std::string& filter) {
  const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
  std::vector<TFilterPair> pairs;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) patterns << p.trimmed();
    if (!patterns.isEmpty()) pairs.push_back({parts[i], patterns});
  }
  return pairs;
}

// A description that already ends with its patterns in parentheses ("QIRA 3D files
// (*.q3d)") is taken as it is; Qt reads the patterns from the last parentheses.
QString QtPair(const TFilterPair& pair) {
  const QString& text = pair.Description;
  const qsizetype open = text.lastIndexOf(QLatin1Char('('));
  if (open >= 0 && text.endsWith(QLatin1Char(')'))) {
    const QString shown = text.mid(open + 1, text.size() - open - 2);
    QStringList listed = shown.split(QRegularExpression(QStringLiteral("[ ;]")), Qt::SkipEmptyParts);
    QStringList patterns = pair.Patterns;
    listed.sort();
    patterns.sort();
    if (listed == patterns) return text;
  }
  return text + QStringLiteral(" (") + pair.Patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
  QStringList out;
  for (const TFilterPair& pair : FilterPairs(filter)) out << QtPair(pair);
  return out.join(QStringLiteral(";;"));
}

int FilterIndexOf(const std::string& filter, const QString& chosen) {
  const std::vector<TFilterPair> pairs = FilterPairs(filter);
  for (size_t i = 0; i < pairs.size(); ++i)
    if (QtPair(pairs[i]) == chosen) return static_cast<int>(i) + 1;
  return 1;
}

std::string WithDefaultExtension(const std::string& name, const std::string& defaultExt) {
  if (defaultExt.empty() || name.empty()) return name;
  if (std::filesystem::path(name).has_extension()) return name;
  return name + "." + defaultExt;
}

TQtServices::TQtServices() : scope_(TServices{this, this, this}) {}

void TQtServices::ShowMessage(const std::string& text, TMessageKind kind) {
  QMessageBox box(IconOf(kind), QString::fromLatin1(MessageKindCaption(kind)), ToQt(text), QMessageBox::Ok,
                  DialogParent());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

TMessageResult TQtServices::MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons,
                                       int defaultButton) {
  QMessageBox box(IconOf(kind), QString::fromLatin1(MessageKindCaption(kind)), ToQt(text), QMessageBox::NoButton,
                  DialogParent());
  // Messages name the user's files and objects: a name that looks like a tag is shown as typed.
  box.setTextFormat(Qt::PlainText);
  const std::vector<TMessageResult> set = MessageButtonsOf(buttons);
  for (TMessageResult result : set) box.addButton(QtButton(result));
  box.setDefaultButton(QtButton(DefaultMessageButton(buttons, defaultButton)));
  box.setEscapeButton(box.button(QtButton(EscapeMessageButton(buttons, defaultButton))));
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (TMessageResult result : set)
    if (clicked != nullptr && clicked == box.button(QtButton(result))) return result;
  return EscapeMessageButton(buttons, defaultButton);
}

bool TQtServices::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  QDialog dialog(DialogParent());
  dialog.setWindowTitle(ToQt(caption));
  auto* label = new QLabel(ToQt(prompt), &dialog);
  label->setTextFormat(Qt::PlainText);
  auto* field = new QLineEdit(ToQt(value), &dialog);
  field->selectAll();
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(label);
  layout->addWidget(field);
  // Every input box of the program asks for a name that a project stores.
  layout->addWidget(NewLostTextWarning(field));
  layout->addLayout(ButtonRow(&dialog, ok, cancel));
  if (dialog.exec() != QDialog::Accepted) return false;
  value = FromQt(field->text());
  return true;
}

std::optional<std::string> TQtServices::OpenFile(TFileRequest& request) { return RunFileDialog(request, false); }

std::optional<std::string> TQtServices::SaveFile(TFileRequest& request) { return RunFileDialog(request, true); }

std::optional<std::string> TQtServices::RunFileDialog(TFileRequest& request, bool save) {
  QFileDialog dialog(DialogParent(), ToQt(request.Title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QString filters = QtFileFilter(request.Filter);
  if (!filters.isEmpty()) {
    const QStringList list = filters.split(QStringLiteral(";;"));
    dialog.setNameFilters(list);
    const int index = request.FilterIndex >= 1 && request.FilterIndex <= list.size() ? request.FilterIndex : 1;
    dialog.selectNameFilter(list[index - 1]);
  }
  if (!request.DefaultExt.empty()) dialog.setDefaultSuffix(ToQt(request.DefaultExt));
  if (save && !request.OverwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  // Without a folder of its own the dialog starts where the user last chose a file,
  // not in the process's working folder; a proposed absolute name moves it there.
  const std::string& start = request.InitialDir.empty() ? lastFolder_ : request.InitialDir;
  if (!start.empty()) dialog.setDirectory(ToQt(start));
  if (!request.FileName.empty()) dialog.selectFile(ToQt(request.FileName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  request.FilterIndex = FilterIndexOf(request.Filter, dialog.selectedNameFilter());
  const std::string chosen = WithDefaultExtension(files.front().toStdString(), request.DefaultExt);
  lastFolder_ = std::filesystem::path(chosen).parent_path().string();
  return chosen;
}

}  // namespace qira
