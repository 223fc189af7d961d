#include "platform/SeededHash.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <random>

namespace qira {

namespace {

thread_local const THashSeed* tSeedForTesting = nullptr;

// From getrandom, which blocks only until the system's pool was first filled (at
// boot); from std::random_device where the call is missing. Should both fail, the
// clock and where the system placed the stack and the program still differ from one
// process to the next.
THashSeed DrawSeed() {
  THashSeed seed;
  size_t got = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&seed);
  while (got < sizeof seed) {
    const ssize_t n = getrandom(bytes + got, sizeof seed - got, 0);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
  if (got == sizeof seed) return seed;
  try {
    std::random_device device;
    seed.K0 = uint64_t{device()} << 32 | device();
    seed.K1 = uint64_t{device()} << 32 | device();
    return seed;
  } catch (...) {
    const int onStack = 0;
    seed.K0 = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    seed.K1 = reinterpret_cast<uintptr_t>(&onStack) ^ reinterpret_cast<uintptr_t>(&DrawSeed);
    return seed;
  }
}

}  // namespace

THashSeed CurrentHashSeed() {
  if (tSeedForTesting) return *tSeedForTesting;
  static const THashSeed seed = DrawSeed();
  return seed;
}

TScopedHashSeedForTesting::TScopedHashSeedForTesting(THashSeed seed) : seed_(seed), before_(tSeedForTesting) {
  tSeedForTesting = &seed_;
}

TScopedHashSeedForTesting::~TScopedHashSeedForTesting() { tSeedForTesting = before_; }

}  // namespace qira
