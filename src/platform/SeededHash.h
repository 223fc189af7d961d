#pragma once
// The hash of every table keyed by what a file holds (names, layers, corners):
// SipHash-1-3 keyed by a seed the process draws once from the system's randomness.
// A fixed function lets whoever writes a file choose keys that all land in one
// bucket or one run of slots, and each lookup then walks them all; under a seed the
// file cannot know, its keys spread as any others do. A table takes the seed when it
// is made and keeps it for its life. Nothing may follow the order such a table
// iterates in, which changes from one process to the next.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace qira {

struct THashSeed {
  uint64_t K0 = 0;
  uint64_t K1 = 0;
};

// The seed of this process, drawn from the system's randomness at the first call;
// on this thread, that of the innermost TScopedHashSeedForTesting while one lives.
THashSeed CurrentHashSeed();

// SipHash-c-d (c rounds a word, d at the end) of `size` bytes at `data` under `seed`.
template <int C, int D>
uint64_t SipHash(const THashSeed& seed, const void* data, size_t size) {
  const auto rotl = [](uint64_t x, int b) { return (x << b) | (x >> (64 - b)); };
  uint64_t v0 = seed.K0 ^ 0x736f6d6570736575ull, v1 = seed.K1 ^ 0x646f72616e646f6dull;
  uint64_t v2 = seed.K0 ^ 0x6c7967656e657261ull, v3 = seed.K1 ^ 0x7465646279746573ull;
  const auto round = [&] {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
  };
  const auto take = [&](uint64_t m) {
    v3 ^= m;
    for (int r = 0; r < C; ++r) round();
    v0 ^= m;
  };
  const auto* bytes = static_cast<const unsigned char*>(data);
  const size_t whole = size & ~size_t{7};
  for (size_t at = 0; at < whole; at += 8) {
    uint64_t m = 0;
    for (int k = 0; k < 8; ++k) m |= uint64_t{bytes[at + static_cast<size_t>(k)]} << (8 * k);
    take(m);
  }
  uint64_t last = uint64_t{size} << 56;
  for (size_t k = 0; whole + k < size; ++k) last |= uint64_t{bytes[whole + k]} << (8 * k);
  take(last);
  v2 ^= 0xff;
  for (int r = 0; r < D; ++r) round();
  return v0 ^ v1 ^ v2 ^ v3;
}

// SipHash-1-3, as hash tables keyed by untrusted text commonly use: no allocation, and
// beside what a surface's build or a drawing's reading does per key, too little to
// measure.
inline uint64_t SeededHash(const THashSeed& seed, const void* data, size_t size) {
  return SipHash<1, 3>(seed, data, size);
}

// The hasher of a standard table keyed by a file's text.
class TSeededHash {
 public:
  using is_transparent = void;
  TSeededHash() : seed_(CurrentHashSeed()) {}
  // Not noexcept on purpose: the table then keeps each key's hash in its node, as it
  // does under std::hash of a string, so a growth hashes no key again and the count of
  // a table's memory (TContainerCount::HashTable) holds.
  size_t operator()(std::string_view key) const { return SeededHash(seed_, key.data(), key.size()); }
  size_t operator()(std::u16string_view key) const { return SeededHash(seed_, key.data(), 2 * key.size()); }

 private:
  THashSeed seed_;
};
static_assert(!std::is_nothrow_invocable_v<const TSeededHash&, const std::string&>);

template <class Value>
using TSeededStringMap = std::unordered_map<std::string, Value, TSeededHash, std::equal_to<>>;
using TSeededStringSet = std::unordered_set<std::string, TSeededHash, std::equal_to<>>;

// Makes `seed` the one tables made on this thread take, for the life of the object
// (nested ones restore the one before): tests that choose keys against a known seed.
class TScopedHashSeedForTesting {
 public:
  explicit TScopedHashSeedForTesting(THashSeed seed);
  ~TScopedHashSeedForTesting();
  TScopedHashSeedForTesting(const TScopedHashSeedForTesting&) = delete;
  TScopedHashSeedForTesting& operator=(const TScopedHashSeedForTesting&) = delete;

 private:
  THashSeed seed_;
  const THashSeed* before_;
};

}  // namespace qira
