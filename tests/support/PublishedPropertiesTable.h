#pragma once
// The shared shape of the published-property tests: a table of cases, one
// per class (or per stored-when rule), each run through the component stream
// the same four ways:
//   - with values other than the defaults it reads back equal, and the copy
//     writes the same bytes again; a value beyond what a property keeps goes
//     through its setter, as one set by hand does;
//   - with its defaults, the properties its rules leave out are not in the
//     bytes (looked for by name), and every other declared property is
//     written;
//   - the changed case gives every declared property a value other than its
//     default, so a declaration that reads into the wrong setter cannot pass;
//   - every cut of the stream, and every damage the case names, raises and
//     leaves the form without the components it was reading (of the cuts inside
//     one read, which all fail it alike, the last is tried).
// The root of every stream is a TStreamForm: it streams the components it
// owns that have no parent of their own, as a window does, so a case can put
// a scene (and its objects), a viewer or a cadencer side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sstream>

#include "platform/BinaryStream.h"
#include "scene/components/ComponentStreams.h"
#include "scene/components/Components.h"
#include "scene/math/VectorTypes.h"
#include "support/StreamForm.h"

namespace qira {

// A value beyond what its property keeps, which the property's setter clamps
// or ignores: read from the stream, it must leave what the changed case
// leaves once `set` has given the property what its setter makes of it (the
// clamped value, or for one ignored the default a fresh component keeps).
struct TTakenValue {
  std::string name;
  std::vector<uint8_t> value;  // the same length as the value it replaces
  std::function<void(TStreamForm& form)> set;
};

struct TPublishedCase {
  std::string name;
  // Adds the component under test to the form, with its defaults.
  std::function<void(TStreamForm& form)> add;
  // Gives it values other than its defaults.
  std::function<void(TStreamForm& form)> change;
  // Its published values as text: the original's and the copy's must match.
  std::function<std::string(TStreamForm& form)> values;
  // Names the defaults leave out of the bytes ("stored only when" rules).
  std::vector<std::string> leftOutByDefault;
  // Values the reader must refuse: the bytes after the first occurrence of a
  // property name in the changed case's stream (its tag and value) replaced.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> refusedValues = {};
  // Values the reader hands to their setters although out of range.
  std::vector<TTakenValue> takenValues = {};
  // Declared properties this case leaves to other rows ("Component" or
  // "Component.Property", with everything under it).
  std::vector<std::string> changedElsewhere = {};
};

// The component of that name owned by the form or by one of its components
// (objects written belong to their scene, objects read to the form).
template <class T>
T& FindStreamed(TComponent& form, const std::string& name) {
  TComponent* found = form.FindComponent(name);
  for (int i = 0; found == nullptr && i < form.ComponentCount(); ++i) found = form.Components(i)->FindComponent(name);
  T* typed = dynamic_cast<T*>(found);
  if (typed == nullptr) throw std::runtime_error("no " + name + " of the class asked for");
  return *typed;
}

// A property name as the stream holds it: tag 6, its length, its bytes (so
// "Direction" is not found inside "SpotDirection").
inline std::vector<uint8_t> StoredName(const std::string& name) {
  std::vector<uint8_t> bytes = {6, static_cast<uint8_t>(name.size())};
  bytes.insert(bytes.end(), name.begin(), name.end());
  return bytes;
}

inline bool BytesHold(const std::vector<uint8_t>& bytes, const std::string& name) {
  const std::vector<uint8_t> stored = StoredName(name);
  return std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end()) != bytes.end();
}

inline std::vector<uint8_t> WithValueReplaced(std::vector<uint8_t> bytes, const std::string& name,
                                              const std::vector<uint8_t>& value) {
  const std::vector<uint8_t> stored = StoredName(name);
  auto at = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
  EXPECT_NE(at, bytes.end()) << name;
  if (at == bytes.end()) return bytes;
  std::copy(value.begin(), value.end(), at + static_cast<std::ptrdiff_t>(stored.size()));
  return bytes;
}

// Every property the form's components declare, by "Component.Property" (a
// collection item's under "Component.Collection[]."), once per declaration:
// whether it is written and, when it is, the bytes of its value.
struct TDeclarationScratch {
  TMemoryStream scratch;
};
class TDeclaredProperties final : private TDeclarationScratch, public TWriter {
 public:
  explicit TDeclaredProperties(TComponent& form) : TWriter(scratch) {
    SetRoot(&form);
    form.GetChildren([this](TComponent& child) { Walk(child); }, &form);
  }

  void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                      bool hasData) override {
    (void)read;
    Record(name, hasData && write, [this, &write] { write(*this); });
  }
  void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read, const TFilerStreamProc& write,
                            bool hasData) override {
    (void)read;
    Record(name, hasData && write, [this, &write] {
      TMemoryStream bytes;
      write(bytes);
      WriteBinary(bytes.Data());
    });
  }

  // Each declared key, with the values written under it (none: never written).
  std::map<std::string, std::vector<std::vector<uint8_t>>> found;

 private:
  void Walk(TComponent& component) {
    prefix_ = component.Name() + ".";
    component.DefinePublished(*this);
    component.DefineProperties(*this);
    component.GetChildren([this](TComponent& child) { Walk(child); }, Root());
  }
  template <class TWrite>
  void Record(std::string_view name, bool written, const TWrite& writeValue) {
    const std::string key = prefix_ + std::string(name);
    auto& values = found[key];
    if (!written) return;
    const std::string outer = prefix_;
    prefix_ = key + "[].";  // a collection's items declare theirs while it is written
    const auto start = static_cast<std::ptrdiff_t>(scratch.Data().size());
    writeValue();
    prefix_ = outer;
    values.emplace_back(scratch.Data().begin() + start, scratch.Data().end());
  }

  std::string prefix_;
};

// Whether `key` is one of the properties `names` give (each a key or a key's head).
inline bool NamedIn(const std::string& key, const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [&key](const std::string& n) {
    return key == n || (key.size() > n.size() && key.compare(0, n.size(), n) == 0 &&
                        (key[n.size()] == '.' || key[n.size()] == '['));
  });
}

// A key's name as the stream holds it: without its component, or without
// the collection it is an item's property of.
inline std::string StoredNameOf(const std::string& key) {
  const size_t item = key.rfind("[].");
  return item != std::string::npos ? key.substr(item + 3) : key.substr(key.find('.') + 1);
}

inline void ExpectRoundTrip(const TPublishedCase& c) {
  TStreamForm original;
  c.add(original);
  c.change(original);
  const std::vector<uint8_t> bytes = WriteComponentToBytes(original);
  TStreamForm copy;
  ReadComponentFromBytes(copy, bytes);
  EXPECT_EQ(c.values(copy), c.values(original)) << c.name;
  EXPECT_EQ(WriteComponentToBytes(copy), bytes) << c.name;
  for (const TTakenValue& taken : c.takenValues) {
    TStreamForm expected;
    c.add(expected);
    c.change(expected);
    taken.set(expected);
    TStreamForm read;
    try {
      ReadComponentFromBytes(read, WithValueReplaced(bytes, taken.name, taken.value));
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.name << ": " << taken.name << " refused: " << e.what();
      continue;
    }
    EXPECT_EQ(c.values(read), c.values(expected)) << c.name << ": " << taken.name;
  }
}

inline void ExpectDefaultsLeftOut(const TPublishedCase& c) {
  TStreamForm form;
  c.add(form);
  const std::vector<uint8_t> bytes = WriteComponentToBytes(form);
  for (const std::string& name : c.leftOutByDefault) EXPECT_FALSE(BytesHold(bytes, name)) << c.name << ": " << name;
  // What no rule leaves out is written.
  const TDeclaredProperties declared(form);
  for (const auto& [key, written] : declared.found) {
    const bool leftOut = std::find(c.leftOutByDefault.begin(), c.leftOutByDefault.end(), StoredNameOf(key)) !=
                         c.leftOutByDefault.end();
    if (written.empty() && !leftOut && !NamedIn(key, c.changedElsewhere)) {
      ADD_FAILURE() << c.name << ": " << key << " is not written with its default";
    }
  }
  // And what is left out reads back as the default.
  TStreamForm copy;
  ReadComponentFromBytes(copy, bytes);
  EXPECT_EQ(c.values(copy), c.values(form)) << c.name;
}

// Every property the changed case declares is written with a value its
// defaults do not have.
inline void ExpectEveryPropertyChanged(const TPublishedCase& c) {
  TStreamForm defaults;
  c.add(defaults);
  TStreamForm changed;
  c.add(changed);
  c.change(changed);
  const TDeclaredProperties before(defaults);
  const TDeclaredProperties after(changed);
  for (const auto& [key, values] : after.found) {
    if (NamedIn(key, c.changedElsewhere)) continue;
    const auto old = before.found.find(key);
    const bool differs = std::any_of(values.begin(), values.end(), [&](const std::vector<uint8_t>& value) {
      return old == before.found.end() || std::find(old->second.begin(), old->second.end(), value) == old->second.end();
    });
    EXPECT_TRUE(differs) << c.name << ": " << key << " keeps its default";
  }
}

// A stream that notes each read the reader makes of it: where it began, how long.
class TNotedReads final : public TMemoryStream {
 public:
  explicit TNotedReads(const std::vector<uint8_t>& bytes) : TMemoryStream(bytes) {}
  bool Read(void* buf, int32_t n) override {
    reads.emplace_back(Position(), n);
    return TMemoryStream::Read(buf, n);
  }
  std::vector<std::pair<int32_t, int32_t>> reads;
};

// The cuts of a whole stream that each take the reader its own way: reading the
// same bytes before, a cut fails at the first read it falls in, and a cut after a
// read's first byte fails that read's check as the cut before its last byte does.
// So each read is cut where it begins and before its last byte; a byte no read of
// the whole stream covers is cut as well.
inline std::vector<size_t> CutsOfItsOwn(const std::vector<uint8_t>& good) {
  TNotedReads stream(good);
  TStreamForm form;
  TReader reader(stream);
  reader.ReadRootComponent(form);
  std::vector<bool> alike(good.size(), false);  // fails as the cut before its read's last byte
  for (const auto& [at, n] : stream.reads)
    for (int32_t inside = 1; inside < n - 1; ++inside) alike[static_cast<size_t>(at + inside)] = true;
  std::vector<size_t> cuts;
  for (size_t cut = 0; cut < good.size(); ++cut)
    if (!alike[cut]) cuts.push_back(cut);
  return cuts;
}

// Every cut of the changed case's stream, and each refused value, raises and
// leaves a fresh form with nothing in it.
inline void ExpectDamageChangesNothing(const TPublishedCase& c) {
  TStreamForm original;
  c.add(original);
  c.change(original);
  const std::vector<uint8_t> good = WriteComponentToBytes(original);
  std::vector<std::vector<uint8_t>> cases;
  for (const auto& [name, value] : c.refusedValues) cases.push_back(WithValueReplaced(good, name, value));
  for (size_t cut : CutsOfItsOwn(good)) cases.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
  for (const auto& bytes : cases) {
    TStreamForm form;
    EXPECT_ANY_THROW(ReadComponentFromBytes(form, bytes)) << c.name << " " << bytes.size();
    EXPECT_EQ(form.ComponentCount(), 0) << c.name << " " << bytes.size();
  }
}

// Text for the `values` of a case.
inline std::string VectorText(const TVector& v) {
  std::ostringstream out;
  out << v.x << " " << v.y << " " << v.z << " " << v.w;
  return out.str();
}

inline std::string NameOf(const TComponent* component) { return component != nullptr ? component->Name() : "none"; }

// The properties a scene object declares through the node base, for the
// cases whose node properties other rows change: the node's transform and
// flags (the base object's row) and its behaviour and effect lists (the
// scene-streaming tests, whose item classes these tables do not register).
inline std::vector<std::string> NodePropertiesOf(const std::string& object) {
  std::vector<std::string> names;
  for (const char* name : {"ObjectsSorting", "VisibilityCulling", "Direction", "PitchAngle", "Position", "RollAngle",
                           "Scale", "ShowAxes", "TurnAngle", "Up", "Visible", "TagFloat", "BehavioursData",
                           "EffectsData"}) {
    names.push_back(object + "." + name);
  }
  return names;
}

inline std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace qira

// The four runs over a table: `Fixture` is the test fixture, `Cases` a
// function returning the table.
#define QIRA_PUBLISHED_PROPERTY_TESTS(Fixture, Cases)                                                     \
  TEST_F(Fixture, ValuesOtherThanTheDefaultsComeBack) {                                                   \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectRoundTrip(c);                           \
  }                                                                                                       \
  TEST_F(Fixture, DefaultsItsRulesLeaveOutAreNotWritten) {                                                \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectDefaultsLeftOut(c);                     \
  }                                                                                                       \
  TEST_F(Fixture, EveryDeclaredPropertyIsChangedByItsCase) {                                              \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectEveryPropertyChanged(c);                \
  }                                                                                                       \
  TEST_F(Fixture, ADamagedStreamChangesNothing) {                                                         \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectDamageChangesNothing(c);                \
  }
