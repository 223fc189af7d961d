#pragma once
// Makes every file write fail with an error number (ENOSPC: a full disk) for the
// object's lifetime.
#include "platform/BinaryStream.h"

namespace qira {

class TScopedWriteFailure {
 public:
  explicit TScopedWriteFailure(int errorNumber) { SetFileWriteFailureForTesting(errorNumber); }
  ~TScopedWriteFailure() { SetFileWriteFailureForTesting(0); }
  TScopedWriteFailure(const TScopedWriteFailure&) = delete;
  TScopedWriteFailure& operator=(const TScopedWriteFailure&) = delete;
};

}  // namespace qira
