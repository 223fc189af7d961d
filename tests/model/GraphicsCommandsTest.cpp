#include "model/GraphicsKinds.h"

#include <gtest/gtest.h>

#include <string>

#include "model/GraphAxis.h"
#include "model/GraphMain.h"
#include "model/GraphSpheres.h"
#include "model/ObjectMenu.h"

namespace qira {
namespace {

void Click(TGraphMain& target, const std::string& caption) {
  TObjectMenu menu;
  target.FillMenu(menu);
  TObjectMenu& create = FindMenuItem(menu, "&Create")->Items;
  TObjectMenuItem* item = FindMenuItem(create, caption);
  if (item == nullptr) item = FindMenuItem(FindMenuItem(create, "&Graphics")->Items, caption);
  ASSERT_NE(item, nullptr) << caption;
  ASSERT_TRUE(item->Enabled) << caption;
  item->OnClick();
}

TEST(GraphicsCommands, AxisIsAddedAtOnceAndGraphicsOnlyWhenTheirDialogIsAccepted) {
  RegisterGraphicsCommands();
  TGraphMain objects;
  Click(objects, "&Axis");
  ASSERT_EQ(objects.ChildCount(), 1);
  EXPECT_NE(dynamic_cast<TGraphAxis*>(objects.GetChild(0)), nullptr);

  bool accept = false;
  SetSpheresEditor([&](const std::string&, TSpheresParams&, uint8_t&) { return accept; });
  Click(objects, "&Spheres");
  EXPECT_EQ(objects.ChildCount(), 1) << "a cancelled dialog adds nothing";
  accept = true;
  Click(objects, "&Spheres");
  ASSERT_EQ(objects.ChildCount(), 2);
  SetSpheresEditor(nullptr);
  for (TCreateCommand c : {TCreateCommand::Axis, TCreateCommand::Spheres, TCreateCommand::Line,
                           TCreateCommand::Label, TCreateCommand::Planes}) {
    RegisterCreateCommand(c, nullptr);
  }
}

}  // namespace
}  // namespace qira
