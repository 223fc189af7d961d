#include "ui/FrameDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <filesystem>

#include "model/Settings.h"
#include "model/StreamHelpers.h"
#include "ui/DialogSupport.h"

namespace qira {

namespace {


// A link label of the program's own: only http, https and mailto open, escaped.
TLegacy* Link(QWidget* parent, const QString& caption, TAdressType type, const char* address,
              const char* mailSubject = "") {
  auto* label = new TLegacy(parent);
  label->setText(caption);
  label->SetAdressType(type);
  label->SetAdress(address);
  label->SetMailSubject(mailSubject);
  return label;
}

// A label and its value side by side.
QLabel* AddPair(QVBoxLayout* layout, QWidget* parent, const QString& caption, const QString& value) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(caption, parent));
  auto* valueLabel = new QLabel(value, parent);
  row->addWidget(valueLabel);
  row->addStretch();
  layout->addLayout(row);
  return valueLabel;
}

QWidget* LinkRow(QWidget* parent, const QString& caption, QLabel* link) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(caption, row));
  link->setParent(row);
  layout->addWidget(link);
  layout->addStretch();
  return row;
}

}  // namespace

// ---- Software updates ---------------------------------------------------------------------

TFileVersionForm::TFileVersionForm(QWidget* parent, const std::string& path, int32_t fileVersion)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("Software updates"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("QIRA3DViewer should be updated to open"), this));
  FileNameLabel = new QLabel(ToQt(std::filesystem::path(path).filename().string()), this);
  FileNameLabel->setTextFormat(Qt::PlainText);  // the user's file name, as it is named
  FileNameLabel->setAlignment(Qt::AlignHCenter);
  layout->addWidget(FileNameLabel);
  ProgramVersionLabel =
      AddPair(layout, this, QStringLiteral("Version which you are using now:"), ToQt(GetProgramVersionText()));
  FileVersionLabel =
      AddPair(layout, this, QStringLiteral("Minimal version to open this file:"), ToQt(VersionToText(fileVersion)));
  layout->addWidget(LinkRow(this, QStringLiteral("Please, update your version by "),
                            Link(this, QStringLiteral("Link"), atWWW, kDownloadAddress)));
  layout->addWidget(LinkRow(this, QStringLiteral("or proceed to our"),
                            Link(this, QStringLiteral("Website"), atWWW, kWebsiteAddress)));
  layout->addWidget(LinkRow(this, QStringLiteral("or contact to delevoroper by"),
                            Link(this, QStringLiteral("E-Mail"), atMail, kSupportMailAddress, "QIRA3DView response")));
  layout->addWidget(new QLabel(QStringLiteral("Sorry for troubles!"), this));
  layout->addWidget(new QLabel(QStringLiteral("The QIRA 3D Viewer team"), this));
  CloseButton = new QPushButton(QStringLiteral("Close"), this);
  QObject::connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(CloseButton, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

// ---- Parameters ---------------------------------------------------------------------------

TParamsForm::TParamsForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("Parameters"));
  auto* layout = new QVBoxLayout(this);
  IndependentViewer = new QCheckBox(QStringLiteral("Use independent full screen viewer"), this);
  layout->addWidget(IndependentViewer);
  auto* buttons = new QDialogButtonBox(this);
  OkButton = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  CancelButton = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  IndependentViewer->setChecked(Win7FullScreenMode);
}

bool TParamsForm::Execute() {
  IndependentViewer->setChecked(Win7FullScreenMode);
  if (exec() != QDialog::Accepted) return false;
  Apply();
  return true;
}

void TParamsForm::Apply() { Win7FullScreenMode = IndependentViewer->isChecked(); }

// ---- About ----------------------------------------------------------------------------------

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("About"));
  auto* layout = new QHBoxLayout(this);
  Picture = new QLabel(this);
  Picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(64, 64));
  layout->addWidget(Picture, 0, Qt::AlignTop);
  auto* text = new QVBoxLayout;
  Title = new QLabel(QStringLiteral("QIRA 3D viewer"), this);
  QFont titleFont = Title->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
  Title->setFont(titleFont);
  text->addWidget(Title);
  VersionLabel = new TVersionLabel(this);
  VersionLabel->SetVersionResource(vrFileVersion);
  VersionLabel->SetInfoPrefix("Version:");
  text->addWidget(VersionLabel);
  text->addWidget(new QLabel(QStringLiteral("Made by the QIRA 3D Viewer team"), this));
  SupportLink = Link(this, QString::fromLatin1(kSupportMailAddress), atMail, kSupportMailAddress, "QIRA3DView response");
  text->addWidget(LinkRow(this, QStringLiteral("Support:"), SupportLink));
  WebLink = Link(this, QString::fromLatin1(kWebsiteAddress), atWWW, kWebsiteAddress);
  text->addWidget(LinkRow(this, QStringLiteral("Web:"), WebLink));
  OkButton = new QPushButton(QStringLiteral("OK"), this);
  QObject::connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  text->addWidget(OkButton, 0, Qt::AlignRight);
  layout->addLayout(text);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qira
