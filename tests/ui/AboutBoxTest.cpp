// The about box's links and version line: a click on a link hands its escaped
// address to the URL opener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/StreamHelpers.h"
#include "support/MouseClicks.h"
#include "ui/FrameDialogs.h"
#include "ui/PropertyDialogTestSupport.h"

namespace qira {
namespace {

TEST(AboutBox, LinksOpenTheSupportMailAndTheWebSite) {
  std::vector<std::string> opened;
  TUrlOpener previous = SetUrlOpener([&](const QUrl& url) {
    opened.push_back(url.toEncoded().toStdString());
    return true;
  });
  TAboutForm about;
  about.adjustSize();
  EXPECT_EQ(about.VersionLabel->text().toStdString(), "Version: " + GetProgramVersionText());
  EXPECT_EQ(about.SupportLink->text().toStdString(), kSupportMailAddress);
  LeftClick(*about.SupportLink);
  LeftClick(*about.WebLink);
  SetUrlOpener(previous);
  EXPECT_EQ(opened, (std::vector<std::string>{
                        std::string("mailto:") + kSupportMailAddress + "?Subject=QIRA3DView%20response",
                        kWebsiteAddress}));
}

}  // namespace
}  // namespace qira
