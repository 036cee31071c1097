// libFuzzer target: the filter configuration loader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "tarn/tarn.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarn_filter_info info;
  tarn_filters* filters = nullptr;
  if (tarn_filters_load(data, size, TARN_FILTERS_FULL, &info, &filters) == TARN_OK) tarn_filters_free(filters);
  return 0;
}
