// What the public C functions share: the opaque objects behind the handles,
// the check of an options struct's ABI stamp and the guard that turns a
// failed allocation into a status.
#pragma once

#include <new>

#include "filter_config.h"
#include "tarn/tarn.h"

struct tarn_filters {
  tarn::FilterBank bank;
  tarn::FilterFields fields;  // of a loaded file
  int iDigit = -1;            // the built-in digit, or -1 for a file
  bool bFull = true;          // false: loaded for an encoder (no post-filter)
};

namespace tarn {

// Major ABI of this build: options stamped with another major are refused.
constexpr std::uint32_t kAbiMajor = TARN_ABI_VERSION >> 8;

inline bool IsCompatible(std::uint32_t iAbiVersion) { return (iAbiVersion >> 8) == kAbiMajor; }

// Runs f (which returns a status), turning a failed allocation into
// TARN_ERR_OUT_OF_MEMORY: no exception leaves the library.
template <typename F>
tarn_status Guard(F f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return TARN_ERR_OUT_OF_MEMORY;
  }
}

// The filter bank to use: the set's, or built-in filter 0 for none.
const FilterBank& BankOf(const tarn_filters* pFilters);

// Takes a buffer from malloc (so that tarn_free releases it); throws
// std::bad_alloc when none can be had.
void* Allocate(std::size_t iBytes);

}  // namespace tarn
