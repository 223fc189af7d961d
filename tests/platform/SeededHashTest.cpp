// The hash of tables keyed by a file's content: SipHash as its authors give it, and
// names chosen so that a fixed function puts them in one bucket spread under the seed.
#include "platform/SeededHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/GeneratedFixtures.h"

namespace qira {
namespace {

TEST(SeededHash, SipHashGivesTheValueOfItsAuthorsExample) {
  // Key 00 01 .. 0f, message 00 01 .. 0e: the example of the paper that defines it.
  const THashSeed key{0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
  unsigned char message[15];
  for (int i = 0; i < 15; ++i) message[i] = static_cast<unsigned char>(i);
  EXPECT_EQ((SipHash<2, 4>(key, message, sizeof message)), 0xa129ca6149be45e5ull);
}

// What the tables take is SipHash-1-3 whole, its last rounds too: the answers for
// messages of 0 to 63 bytes under the same key, as an independent generator computes
// them (tests/fixtures/make_siphash.py).
TEST(SeededHash, TheTablesHashGivesSipHash13sAnswers) {
  const THashSeed key{0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
  std::istringstream answers(TGeneratedFixtures::Of("make_siphash.py").Bytes("siphash13.txt"));
  std::string message;
  size_t n = 0;
  std::string hex;
  int rows = 0;
  while (answers >> n >> hex) {
    message.resize(n);
    for (size_t i = 0; i < n; ++i) message[i] = static_cast<char>(i);
    const uint64_t expected = std::stoull(hex, nullptr, 16);
    EXPECT_EQ(SeededHash(key, message.data(), message.size()), expected) << n << " bytes";
    const TScopedHashSeedForTesting fixed(key);
    EXPECT_EQ(TSeededHash{}(message), expected) << n << " bytes";
    ++rows;
  }
  EXPECT_EQ(rows, 64);
}

// The seed is drawn anew: two draws, and the process's seed, all differ, and a name
// lands apart under each (a constant seed, 0 or any other, gives one placing to every
// process and lets a file choose its keys against it).
TEST(SeededHash, EachDrawAndTheProcesssSeedDiffer) {
  const THashSeed seeds[] = {CurrentHashSeed(), DrawHashSeed(), DrawHashSeed()};
  const std::string name = "LAYER0";
  for (size_t a = 0; a < std::size(seeds); ++a)
    for (size_t b = a + 1; b < std::size(seeds); ++b) {
      EXPECT_FALSE(seeds[a].K0 == seeds[b].K0 && seeds[a].K1 == seeds[b].K1) << a << " and " << b;
      EXPECT_NE(SeededHash(seeds[a], name.data(), name.size()), SeededHash(seeds[b], name.data(), name.size()))
          << a << " and " << b;
    }
}

// Names that a function the writer knows puts in one bucket of a table of about 1,000
// buckets, 400 of them: a table keyed by names under the process's seed spreads them.
TEST(SeededHash, NamesChosenToShareABucketSpreadInATableOfNames) {
  const THashSeed known{0x0123456789abcdefull, 0x0fedcba987654321ull};
  const struct {
    const char* name;
    std::function<size_t(const std::string&)> hashKnown;
  } cases[] = {
      {"against the standard library's hash", [](const std::string& s) { return std::hash<std::string>{}(s); }},
      {"against another seed",
       [&known](const std::string& s) {
         const TScopedHashSeedForTesting fixed(known);
         return TSeededHash{}(s);
       }},
  };
  for (const auto& c : cases) {
    TSeededStringSet names;
    names.rehash(1000);
    const size_t buckets = names.bucket_count();
    std::vector<std::string> chosen;
    for (int t = 0; chosen.size() < 400; ++t) {
      std::string name = "LAYER" + std::to_string(t);
      if (c.hashKnown(name) % buckets == 0) chosen.push_back(std::move(name));
    }
    for (const std::string& name : chosen) names.insert(name);
    ASSERT_EQ(names.bucket_count(), buckets) << c.name;
    size_t most = 0;
    for (size_t b = 0; b < buckets; ++b) most = std::max(most, names.bucket_size(b));
    EXPECT_LE(most, 8u) << c.name;
  }
}

}  // namespace
}  // namespace qira
