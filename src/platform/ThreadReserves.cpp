#include "platform/ThreadReserves.h"

#include <malloc.h>

#include <QSemaphore>
#include <QThreadPool>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/AvailableMemory.h"

namespace qira {

bool BoundThreadReservesUnderAddressLimit() {
  if (AddressSpaceLimit() < 0) return false;
  mallopt(M_ARENA_MAX, 1);
  setenv("LP_NUM_THREADS", std::to_string(kLimitedThreads).c_str(), 0);
  QThreadPool& pool = *QThreadPool::globalInstance();
  pool.setExpiryTimeout(-1);
  pool.setMaxThreadCount(kLimitedThreads);
  // Each task waits until all have started, so each gets a thread of its own.
  // Waiting for the pool to be done would end its threads again.
  struct TGate {
    QSemaphore started;
    QSemaphore leave;
  };
  const auto gate = std::make_shared<TGate>();
  for (int i = 0; i < kLimitedThreads; ++i)
    pool.start([gate] {
      gate->started.release();
      gate->leave.acquire();
    });
  // A thread that cannot be had even now is not waited for: its task runs on
  // one that could.
  (void)gate->started.tryAcquire(kLimitedThreads, 5000);
  gate->leave.release(kLimitedThreads);
  return true;
}

}  // namespace qira
