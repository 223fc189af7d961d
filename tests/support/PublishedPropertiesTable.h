#pragma once
// The shared shape of the published-property tests: a table of cases, one
// per class (or per stored-when rule), each run through the component stream
// the same three ways:
//   - with values other than the defaults it reads back equal, and the copy
//     writes the same bytes again;
//   - with its defaults, the properties its rules leave out are not in the
//     bytes (looked for by name);
//   - every cut of the stream, and every damage the case names, raises and
//     leaves the form without the components it was reading.
// The root of every stream is a TStreamForm: it streams the components it
// owns that have no parent of their own, as a window does, so a case can put
// a scene (and its objects), a viewer or a cadencer side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sstream>

#include "scene/components/ComponentStreams.h"
#include "scene/components/Components.h"
#include "scene/math/VectorTypes.h"
#include "support/StreamForm.h"

namespace qira {

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

inline void ExpectRoundTrip(const TPublishedCase& c) {
  TStreamForm original;
  c.add(original);
  c.change(original);
  const std::vector<uint8_t> bytes = WriteComponentToBytes(original);
  TStreamForm copy;
  ReadComponentFromBytes(copy, bytes);
  EXPECT_EQ(c.values(copy), c.values(original)) << c.name;
  EXPECT_EQ(WriteComponentToBytes(copy), bytes) << c.name;
}

inline void ExpectDefaultsLeftOut(const TPublishedCase& c) {
  TStreamForm form;
  c.add(form);
  const std::vector<uint8_t> bytes = WriteComponentToBytes(form);
  for (const std::string& name : c.leftOutByDefault) EXPECT_FALSE(BytesHold(bytes, name)) << c.name << ": " << name;
  // And what is left out reads back as the default.
  TStreamForm copy;
  ReadComponentFromBytes(copy, bytes);
  EXPECT_EQ(c.values(copy), c.values(form)) << c.name;
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
  for (size_t cut = 0; cut < good.size(); ++cut) {
    cases.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
  }
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

}  // namespace qira

// The three runs over a table: `Fixture` is the test fixture, `Cases` a
// function returning the table.
#define QIRA_PUBLISHED_PROPERTY_TESTS(Fixture, Cases)                                                     \
  TEST_F(Fixture, ValuesOtherThanTheDefaultsComeBack) {                                                   \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectRoundTrip(c);                           \
  }                                                                                                       \
  TEST_F(Fixture, DefaultsItsRulesLeaveOutAreNotWritten) {                                                \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectDefaultsLeftOut(c);                     \
  }                                                                                                       \
  TEST_F(Fixture, ADamagedStreamChangesNothing) {                                                         \
    for (const ::qira::TPublishedCase& c : Cases()) ::qira::ExpectDamageChangesNothing(c);                \
  }
