#pragma once
// Tables whose rows run as a case each, so that they spread over the test shards: the
// cases are made from a list of the rows' names, and one case checks that the list
// names every row of the table, in its order.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace qira::test {

// Every row's name, in order, against the list the cases are made from.
template <class Row, class NameOf>
void ExpectEveryRowListed(const std::vector<Row>& rows, NameOf nameOf, std::span<const char* const> listed) {
  std::vector<std::string> names;
  for (const Row& row : rows) names.push_back(nameOf(row));
  EXPECT_EQ(names, std::vector<std::string>(listed.begin(), listed.end()));
}

// The row of that name, or null.
template <class Row, class NameOf>
const Row* RowNamed(const std::vector<Row>& rows, NameOf nameOf, const std::string& name) {
  const auto found = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return nameOf(row) == name; });
  return found == rows.end() ? nullptr : &*found;
}

}  // namespace qira::test
