#pragma once
// The section group (type id 1): the folder of all sections measured between one pair
// of boreholes, in descending order of frequency. Editing a group edits all its
// sections at once through the section dialog; its menu exports all its sections.
//
// Own chunk in project files (version 0, behind the common record):
//   string Borehole1 | string Borehole2.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/GraphMain.h"
#include "model/Section.h"

namespace qira {

class TBinaryStream;
class TGraphSectionGroup;

using TSectionGroupExportAction = std::function<void(TGraphSectionGroup& group)>;
// Registers (or, with an empty action, removes) a group export; the menu shows an
// unregistered export disabled.
void RegisterSectionGroupExport(TSectionExport which, TSectionGroupExportAction action);

class TGraphSectionGroup : public TGraphMain {
 public:
  // Type id 1, empty names.
  TGraphSectionGroup();

  // The pair, in the order of the section that founded the group.
  std::string Borehole1;
  std::string Borehole2;

  // -1 not a section; 0 another pair; 1 the pair matches (in either order, names
  // compared exactly) but a direct child section has the same frequency; 2 accepted.
  int32_t Accepts(const TGraphMain& object) const override;
  // From a section: its pair becomes the group's and its pair text the group's name.
  // Anything else: nothing.
  void SetPairFrom(const TGraphMain& object);
  // In tree order, the direct child sections and, recursively, those of child groups.
  void CollectSections(std::vector<TGraphSection*>& list);
  // The boreholes without blanks, '-' and '_', joined by "-".
  std::string GetExportFileName() const;

  bool SaveToStream(TBinaryStream& handle) override;
  // False after a newer chunk (or a skipped base record). Throws EStreamError on damage.
  bool LoadFromStream(TBinaryStream& handle) override;
  // The base's, and the names of its pair as held.
  int64_t OpenedBytes() const override;
  // The base clear, then both names emptied.
  void Clear() override;
  // The base menu, then "E&xport" with the three group exports.
  void FillMenu(TObjectMenu& menu) override;
  // Without a direct child section the transparency dialog; otherwise the section
  // dialog filled from the first section, applied to every direct child section on OK
  // and spread from the first section over the whole tree.
  bool Edit() override;
};

// Puts the sections, in their order, where FindSectionGroup on target and a sorted
// add into the group found (or into a new group of the section's pair, added sorted
// under target) one after the other would put them, with the same visibility. For
// a target that holds no section group yet, with none before it in the tree.
void AddSectionsGrouped(TGraphMain& target, std::vector<std::unique_ptr<TGraphSection>> sections);

// Registers TGraphSectionGroup (1) and TGraphSection (4) with the type-id factory.
// Calling it again is harmless.
void RegisterSectionKinds();

// "&Section" of the "&Create" menu: reads a section file chosen by the user and puts
// it into the section group of its pair below target (a new group, named by the pair,
// added sorted under target when none accepts it); shows and builds it. Null when the
// user cancelled or the file could not be read.
TGraphSection* CreateSectionClick(TGraphMain& target);
// Registers CreateSectionClick as the "&Section" command.
void RegisterSectionCommands();

}  // namespace qira
