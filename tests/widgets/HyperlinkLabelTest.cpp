// The hyperlink label: which address a click hands to the URL opener (escaped, and
// only http, https and mailto), and the hover look that the mouse leaves behind.
#include "widgets/HyperlinkLabel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>

#include <string>
#include <vector>

#include "support/MouseClicks.h"
#include "support/QtTestEnvironment.h"

namespace qira {
namespace {

// Records what a click opens instead of handing it to the desktop.
class HyperlinkLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetUrlOpener([this](const QUrl& url) {
      opened_.push_back(url.toEncoded().toStdString());
      return true;
    });
  }
  void TearDown() override { SetUrlOpener(previous_); }

  TUrlOpener previous_;
  std::vector<std::string> opened_;
};

struct TTargetRow {
  const char* behaviour;
  TAdressType type;
  const char* adress;
  const char* subject;
  const char* opened;  // "" when nothing is opened
};

TEST_F(HyperlinkLabel, AClickOpensTheEscapedAddressOrNothing) {
  const TTargetRow rows[] = {
      {"mail subject escaped", atMail, "support@qira.example", "A&B c#1", "mailto:support@qira.example?Subject=A%26B%20c%231"},
      {"mail address cannot add fields", atMail, "a@b.example?cc=x@y.example", "",
       "mailto:a@b.example%3Fcc%3Dx@y.example?Subject="},
      {"https opened", atWWW, "https://www.qira.example/a b", "", "https://www.qira.example/a%20b"},
      {"http assumed without scheme", atWWW, "www.qira.example", "", "http://www.qira.example"},
      {"empty web address opens a mail link with the subject", atWWW, "", "a b", "mailto:?Subject=a%20b"},
      {"blank web address", atWWW, "  ", "subject", ""},
      {"javascript refused", atWWW, "javascript:alert(1)", "", ""},
      {"file refused", atWWW, "file:///etc/passwd", "", ""},
      {"ftp refused", atWWW, "ftp://files.qira.example", "", ""},
  };
  for (const TTargetRow& row : rows) {
    opened_.clear();
    TLegacy label;
    label.resize(40, 10);
    label.SetAdressType(row.type);
    label.SetAdress(row.adress);
    label.SetMailSubject(row.subject);
    int clicks = 0;
    label.OnClick = [&](QObject*) { ++clicks; };
    LeftClick(label);
    EXPECT_EQ(clicks, 1) << row.behaviour;
    if (*row.opened == '\0') {
      EXPECT_TRUE(opened_.empty()) << row.behaviour;
    } else {
      EXPECT_EQ(opened_, std::vector<std::string>{row.opened}) << row.behaviour;
    }
  }
}

TEST_F(HyperlinkLabel, HoverUnderlinesInTheActiveColourAndLeavingRestoresTheLook) {
  TLegacy label;
  label.SetActiveColor(Qt::blue);
  const QColor normal = label.palette().color(label.foregroundRole());
  std::vector<std::string> events;
  label.OnMouseEnter = [&](QObject*) { events.push_back("enter"); };
  label.OnMouseExit = [&](QObject*) { events.push_back("exit"); };
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(&label, &enter);
  EXPECT_TRUE(label.font().underline());
  EXPECT_EQ(label.palette().color(label.foregroundRole()), QColor(Qt::blue));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&label, &leave);
  EXPECT_FALSE(label.font().underline());
  EXPECT_EQ(label.palette().color(label.foregroundRole()), normal);
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "exit"}));
}

}  // namespace
}  // namespace qira
