// The hash of tables keyed by a file's content: SipHash as its authors give it, and
// names chosen so that a fixed function puts them in one bucket spread under the seed.
#include "platform/SeededHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/GeneratedFixtures.h"
#include "support/PeerRun.h"

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

// Two processes place a name apart: this one and the same program run again (whole,
// not as a shard of a ctest run), which tells its own hash of the name (a seed fixed
// in the program, at 0 or any other constant, places it alike in both).
TEST(SeededHash, TwoProcessesHashANameApart) {
  const std::string name = "LAYER0";
  const size_t here = TSeededHash{}(name);
  if (std::getenv("QIRA_TELL_NAME_HASH") != nullptr) {
    std::printf("hash %zx\n", here);
    return;
  }
  const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  const test::TPeerOutput other =
      test::RunCommand("env -u GTEST_TOTAL_SHARDS -u GTEST_SHARD_INDEX QIRA_TELL_NAME_HASH=1 '" + program +
                       "' --gtest_filter=SeededHash.TwoProcessesHashANameApart");
  ASSERT_EQ(other.status, 0) << other.text;
  char told[32];
  std::snprintf(told, sizeof told, "hash %zx", here);
  bool answered = false;
  for (const std::string& line : other.lines) answered = answered || line.rfind("hash ", 0) == 0;
  EXPECT_TRUE(answered) << other.text;
  EXPECT_FALSE(other.Has(told)) << other.text;
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
