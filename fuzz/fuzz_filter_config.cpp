// libFuzzer target: the filter configuration loader on arbitrary files.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iostream>

#include "filter_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream file("fuzz_filters.dat", std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::cout.setstate(std::ios::failbit);  // keep the fuzzer's console quiet
  FilterBank bank{};
  LoadFilterBank("fuzz_filters.dat", true, bank);
  return 0;
}
