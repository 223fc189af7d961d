#include "model/SectionGroup.h"

#include <array>
#include <limits>
#include <memory>
#include <utility>

#include "model/GraphRecord.h"
#include "model/StreamHelpers.h"
#include "platform/BinaryStream.h"

namespace qira {

namespace {

std::array<TSectionGroupExportAction, kSectionExportCount>& GroupExports() {
  static std::array<TSectionGroupExportAction, kSectionExportCount> actions;
  return actions;
}

std::string WithoutSeparators(const std::string& name) {
  std::string out;
  for (char c : name)
    if (c != ' ' && c != '-' && c != '_') out += c;
  return out;
}

TGraphSection* FirstChildSection(const TGraphMain& group) {
  for (int i = 0; i < group.ChildCount(); ++i)
    if (auto* section = dynamic_cast<TGraphSection*>(group.GetChild(i))) return section;
  return nullptr;
}

}  // namespace

void RegisterSectionGroupExport(TSectionExport which, TSectionGroupExportAction action) {
  GroupExports().at(static_cast<size_t>(which)) = std::move(action);
}

TGraphSectionGroup::TGraphSectionGroup() { TypeId = GraphTypeId::SectionGroup; }

int32_t TGraphSectionGroup::Accepts(const TGraphMain& object) const {
  const auto* section = dynamic_cast<const TGraphSection*>(&object);
  if (!section) return -1;
  const bool samePair = (section->Borehole1 == Borehole1 && section->Borehole2 == Borehole2) ||
                        (section->Borehole1 == Borehole2 && section->Borehole2 == Borehole1);
  if (!samePair) return 0;
  for (int i = 0; i < ChildCount(); ++i) {
    const auto* child = dynamic_cast<const TGraphSection*>(GetChild(i));
    if (child && child->Frequency == section->Frequency) return 1;
  }
  return 2;
}

void TGraphSectionGroup::SetPairFrom(const TGraphMain& object) {
  const auto* section = dynamic_cast<const TGraphSection*>(&object);
  if (!section) return;
  SetName(section->GetPairName());
  Borehole1 = section->Borehole1;
  Borehole2 = section->Borehole2;
}

void TGraphSectionGroup::CollectSections(std::vector<TGraphSection*>& list) {
  for (int i = 0; i < ChildCount(); ++i) {
    TGraphMain* child = GetChild(i);
    if (auto* section = dynamic_cast<TGraphSection*>(child))
      list.push_back(section);
    else if (auto* group = dynamic_cast<TGraphSectionGroup*>(child))
      group->CollectSections(list);
  }
}

std::string TGraphSectionGroup::GetExportFileName() const {
  return WithoutSeparators(Borehole1) + "-" + WithoutSeparators(Borehole2);
}

bool TGraphSectionGroup::SaveToStream(TBinaryStream& handle) {
  if (!TGraphMain::SaveToStream(handle)) return false;
  return WriteKindChunk(handle, 0, [this](TBinaryStream& s) {
    return WriteLengthString(s, Borehole1) && WriteLengthString(s, Borehole2);
  });
}

bool TGraphSectionGroup::LoadFromStream(TBinaryStream& handle) {
  const bool base = TGraphMain::LoadFromStream(handle);
  return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t) {
    std::string b1, b2;
    if (!ReadLengthString(s, b1) || !ReadLengthString(s, b2)) return false;
    Borehole1 = std::move(b1);
    Borehole2 = std::move(b2);
    return true;
  });
}

void TGraphSectionGroup::Clear() {
  TGraphMain::Clear();
  Borehole1.clear();
  Borehole2.clear();
}

void TGraphSectionGroup::FillMenu(TObjectMenu& menu) {
  TGraphMain::FillMenu(menu);
  TObjectMenuItem exportMenu;
  exportMenu.Caption = "E&xport";
  for (int k = 0; k < kSectionExportCount; ++k) {
    TObjectMenuItem item;
    item.Caption = SectionExportCaption(static_cast<TSectionExport>(k));
    item.Enabled = static_cast<bool>(GroupExports()[static_cast<size_t>(k)]);
    item.OnClick = [this, k] {
      // Looked up at click time: the registry may change while a menu is shown.
      const TSectionGroupExportAction& action = GroupExports()[static_cast<size_t>(k)];
      if (action) action(*this);
    };
    exportMenu.Items.push_back(std::move(item));
  }
  menu.push_back(std::move(exportMenu));
}

bool TGraphSectionGroup::Edit() {
  TGraphSection* first = FirstChildSection(*this);
  if (!first) return TGraphMain::Edit();
  IgnoreNextMouseMove = true;
  TSectionSettings settings;
  TTransparencyParams pair;
  first->GetSettings(settings, pair);
  // A group has no one data range.
  if (!ExecuteSectionDialog(Name(), std::numeric_limits<double>::infinity(), 0, settings, pair))
    return false;
  for (int i = 0; i < ChildCount(); ++i)
    if (auto* section = dynamic_cast<TGraphSection*>(GetChild(i)))
      section->ApplySettings(settings, pair, true);  // whatever the section's own flags
  GetRoot()->CopySettingsFrom(*first);
  return true;
}

// ---- Registration and the create command --------------------------------------------

void RegisterSectionKinds() {
  RegisterGraphKind(GraphTypeId::SectionGroup, [] { return std::make_unique<TGraphSectionGroup>(); });
  RegisterGraphKind(GraphTypeId::Section, [] { return std::make_unique<TGraphSection>(); });
}

TGraphSection* CreateSectionClick(TGraphMain& target) {
  IgnoreNextMouseMove = true;
  std::unique_ptr<TGraphSection> section = OpenSectionFile();
  if (!section) return nullptr;
  TGraphMain* added = target.AddSection(std::move(section), [](const TGraphMain& founder) {
    auto group = std::make_unique<TGraphSectionGroup>();
    group->SetPairFrom(founder);
    return group;
  });
  return static_cast<TGraphSection*>(added);
}

void RegisterSectionCommands() {
  RegisterCreateCommand(TCreateCommand::Section, [](TGraphMain& target) { CreateSectionClick(target); });
}

}  // namespace qira
