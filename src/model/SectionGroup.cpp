#include "model/SectionGroup.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <optional>
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
  const auto [first, last] = ChildrenOfFrequency(section->Frequency);
  for (int i = first; i < last; ++i) {
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
  }, [this](TBinaryStream& s, int32_t) -> std::optional<TSkippedCost> {
    // Skipped: the group as it stands, its names read beside their conversion.
    int64_t stored1 = 0, size1 = 0, stored2 = 0, size2 = 0;
    if (!MeasureLengthString(s, stored1, size1) || !MeasureLengthString(s, stored2, size2)) return std::nullopt;
    const int64_t opened = TGraphMain::OpenedBytes() + StringBlockBytes(size1) + StringBlockBytes(size2);
    return TSkippedCost{opened, FrameBinnedBytes(),
                        opened + StringBlockBytes(stored1) + StringBlockBytes(stored2)};
  });
}

int64_t TGraphSectionGroup::OpenedBytes() const {
  return TGraphMain::OpenedBytes() + StringBlockBytes(static_cast<int64_t>(Borehole1.capacity())) +
         StringBlockBytes(static_cast<int64_t>(Borehole2.capacity()));
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
  return first->ApplySettingsIfTheyFit([&] {
    for (int i = 0; i < ChildCount(); ++i)
      if (auto* section = dynamic_cast<TGraphSection*>(GetChild(i)))
        section->ApplySettings(settings, pair, true);  // whatever the section's own flags
    GetRoot()->CopySettingsFrom(*first);
  });
}

// ---- Sections put into groups at once --------------------------------------------------

namespace {

// Occupied positions as runs of consecutive ones: the first free position from any
// position on, and a new one, each in log time.
class TOccupiedRuns {
 public:
  int64_t FirstFreeFrom(int64_t x) const {
    auto it = runs_.upper_bound(x);
    if (it == runs_.begin()) return x;
    --it;
    return it->second >= x ? it->second + 1 : x;
  }
  void Add(int64_t x) {
    auto next = runs_.upper_bound(x);
    auto prev = next == runs_.begin() ? runs_.end() : std::prev(next);
    const bool joinPrev = prev != runs_.end() && prev->second + 1 == x;
    const bool joinNext = next != runs_.end() && next->first == x + 1;
    if (joinPrev && joinNext) {
      prev->second = next->second;
      runs_.erase(next);
    } else if (joinPrev) {
      prev->second = x;
    } else if (joinNext) {
      const int64_t end = next->second;
      runs_.erase(next);
      runs_.emplace(x, end);
    } else {
      runs_.emplace(x, x);
    }
  }

 private:
  std::map<int64_t, int64_t> runs_;  // first -> last
};

// The groups of one pair (either order of its boreholes). Under target they stand by
// name (at most two: one per order), and the groups of one name in a row that grows
// at its front or back only; a position is the name's slot and the place in its row.
struct TPairGroups {
  struct TRow {
    std::string Key;
    int64_t Slot = 0;
    int64_t First = 0;            // position of Groups.front()
    std::deque<size_t> Groups;    // indexes into the groups made
  };
  std::vector<TRow> Rows;         // by ascending name
  std::map<uint32_t, TOccupiedRuns> Taken;  // by frequency, the groups that hold it

  static int64_t Position(const TRow& row, int64_t place) { return (row.Slot << 40) + place; }
};

// The frequency as its groups compare it: -0 is 0.
uint32_t FrequencyKey(float f) { return std::bit_cast<uint32_t>(f == 0 ? 0.0f : f); }

}  // namespace

void AddSectionsGrouped(TGraphMain& target, std::vector<std::unique_ptr<TGraphSection>> sections) {
  std::vector<std::unique_ptr<TGraphMain>> groups;
  std::vector<std::vector<std::unique_ptr<TGraphMain>>> members;
  std::map<std::pair<std::string, std::string>, TPairGroups> pairs;
  std::string lastKey;  // the highest name under target
  for (auto& section : sections) {
    if (!section) continue;
    TPairGroups& pair = pairs[std::minmax(section->Borehole1, section->Borehole2)];
    const float f = section->Frequency;
    // The first group of the pair in target's order: one that does not hold the
    // frequency (a NaN equals none).
    TPairGroups::TRow* row = nullptr;
    int64_t place = 0;
    for (TPairGroups::TRow& r : pair.Rows) {
      const int64_t end = r.First + static_cast<int64_t>(r.Groups.size());
      place = std::isnan(f) ? r.First : pair.Taken[FrequencyKey(f)].FirstFreeFrom(TPairGroups::Position(r, r.First)) -
                                            TPairGroups::Position(r, 0);
      if (place < end) {
        row = &r;
        break;
      }
    }
    size_t index = 0;
    if (row) {
      index = row->Groups[static_cast<size_t>(place - row->First)];
    } else {
      // A new group goes after its equals when its name is not below the highest,
      // before them otherwise (AddChildrenSorted by name).
      auto group = std::make_unique<TGraphSectionGroup>();
      group->SetPairFrom(*section);
      std::string key = NameKey(*group);
      const bool back = groups.empty() || key >= lastKey;
      if (back) lastKey = key;
      auto at = std::find_if(pair.Rows.begin(), pair.Rows.end(), [&](const auto& r) { return r.Key >= key; });
      if (at == pair.Rows.end() || at->Key != key) {
        TPairGroups::TRow made;
        made.Key = std::move(key);
        made.Slot = static_cast<int64_t>(pair.Rows.size());
        at = pair.Rows.insert(at, std::move(made));
      }
      row = &*at;
      index = groups.size();
      if (back) {
        place = row->First + static_cast<int64_t>(row->Groups.size());
        row->Groups.push_back(index);
      } else {
        place = --row->First;
        row->Groups.push_front(index);
      }
      groups.push_back(std::move(group));
      members.emplace_back();
    }
    if (!std::isnan(f)) pair.Taken[FrequencyKey(f)].Add(TPairGroups::Position(*row, place));
    members[index].push_back(std::move(section));
  }
  std::vector<TGraphMain*> made;
  for (auto& group : groups) made.push_back(group.get());
  target.AddChildrenSorted(std::move(groups));
  for (size_t i = 0; i < made.size(); ++i) made[i]->AddChildrenSorted(std::move(members[i]));
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
