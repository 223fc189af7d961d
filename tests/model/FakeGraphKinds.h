#pragma once
// Small stand-ins for the kinds that derive from the scene object, with just what
// the base's ordering, section placement, settings spreading, visibility, build and
// record rules need.
#include <cstdint>
#include <memory>
#include <string>

#include "model/GraphMain.h"
#include "model/GraphRecord.h"
#include "platform/BinaryStream.h"

namespace qira {

// Counts the calls the base makes on it.
class TCountingGroup : public TGraphMain {
 public:
  int Builds = 0;
  int RecursiveBuilds = 0;
  int VisibilityUpdates = 0;
  void Build(bool recursive) override {
    ++Builds;
    if (recursive) ++RecursiveBuilds;
    TGraphMain::Build(recursive);
  }
  void UpdateVisibility() override {
    ++VisibilityUpdates;
    TGraphMain::UpdateVisibility();
  }
};

// A section: exclusive, ordered by frequency in a section group.
class TFakeSection : public TCountingGroup {
 public:
  explicit TFakeSection(float frequency, std::string pair = "A - B") : Frequency(frequency), Pair(std::move(pair)) {
    TypeId = GraphTypeId::Section;
    Exclusive = true;
  }
  float Frequency;
  std::string Pair;
  float SortFrequency() const override { return Frequency; }
};

// A section group: accepts sections of its pair, refusing (1) a frequency it holds.
class TFakeSectionGroup : public TCountingGroup {
 public:
  explicit TFakeSectionGroup(std::string pair = "A - B") : Pair(std::move(pair)) {
    TypeId = GraphTypeId::SectionGroup;
  }
  std::string Pair;
  int32_t Accepts(const TGraphMain& object) const override {
    auto* s = dynamic_cast<const TFakeSection*>(&object);
    if (!s) return -1;
    if (s->Pair != Pair) return 0;
    for (int i = 0; i < ChildCount(); ++i)
      if (auto* c = dynamic_cast<const TFakeSection*>(GetChild(i)); c && c->Frequency == s->Frequency)
        return 1;
    return 2;
  }
};

// A graphics kind with one apply-to-all group of settings (a colour).
class TFakeSpheres : public TCountingGroup {
 public:
  TFakeSpheres() { TypeId = GraphTypeId::Spheres; }
  int32_t Color = 0;
  bool ColorForAll = false;
  void CopySettingsFrom(const TGraphMain& source) override {
    auto* s = dynamic_cast<const TFakeSpheres*>(&source);
    if (s && s != this && s->ColorForAll) Color = s->Color;
    TGraphMain::CopySettingsFrom(source);
  }
};

// A kind with an own chunk behind the common one: one int32 field.
class TFakeLine : public TGraphMain {
 public:
  TFakeLine() { TypeId = GraphTypeId::Line; }
  int32_t Value = 0;
  int32_t OwnVersion = 0;  // written
  bool SaveToStream(TBinaryStream& handle) override {
    return TGraphMain::SaveToStream(handle) &&
           WriteKindChunk(handle, OwnVersion, [this](TBinaryStream& s) { return s.WriteInt32(Value); });
  }
  bool LoadFromStream(TBinaryStream& handle) override {
    const bool base = TGraphMain::LoadFromStream(handle);
    return ReadKindChunk(handle, 0, base, [this](TBinaryStream& s, int32_t, int32_t) {
      return s.ReadInt32(Value);
    });
  }
};

}  // namespace qira
