// libFuzzer target: the filter file loader on arbitrary bytes, then a
// decode of a small fixed stream with the loaded set under every loss
// pattern, so that hostile filter values meet the concealment and the loss
// post-filters. The loader must make of the bytes tarn_filters_needed names
// what it makes of the whole file, as a reader of pipes relies on; and the
// writer's file of the loaded info must load back into the same info (a
// difference aborts). Input: byte 0 (bits 0-2: -b, -r, -x; bit 3 LCEB),
// then the filter file.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_common.h"

namespace {
// A 48 x 32 gradient with an edge, coded at q 8 by the given coder.
const std::vector<uint8_t>& Stream(int32_t coder) {
  static std::vector<uint8_t> streams[2];
  std::vector<uint8_t>& stream = streams[coder];
  if (!stream.empty()) return stream;
  uint8_t pixels[48 * 32];
  for (int i = 0; i < 48 * 32; ++i) pixels[i] = static_cast<uint8_t>((i % 48) * 5 + (i / 48 > 20 ? 60 : 0));
  tarn_encode_options options;
  tarn_encode_options_init(&options);
  options.q = 8;
  options.coder = coder;
  tarn_encoded encoded;
  if (tarn_encode(pixels, 48, 32, 48, &options, &encoded) == TARN_OK) {
    stream.assign(encoded.data, encoded.data + encoded.size);
    tarn_free(encoded.data);
  }
  return stream;
}

// Writes info as a file and loads it again: the same info must come back
// (the sections aside: a file that ended early read as zeros, which the
// written file holds in full).
void CheckWriterReadsBack(const tarn_filter_info& info) {
  uint8_t* pcData = nullptr;
  size_t iSize = 0;
  if (tarn_filters_write(&info, &pcData, &iSize) != TARN_OK) std::abort();
  tarn_filter_info again;
  tarn_filters* pAgain = nullptr;
  const tarn_status status = tarn_filters_load(pcData, iSize, TARN_FILTERS_FULL, &again, &pAgain);
  tarn_free(pcData);
  tarn_filters_free(pAgain);
  again.sections = info.sections;
  if (status != TARN_OK || std::memcmp(&info, &again, sizeof info) != 0) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzBytes in(data, size);
  const uint8_t cSettings = in.Byte();
  size_t iFilterSize;
  const uint8_t* pcFilter = in.Rest(&iFilterSize);
  tarn_filter_info info, infoOfNeeded;
  tarn_filters* pFilters = nullptr;
  const size_t iNeeded = tarn_filters_needed(pcFilter, iFilterSize, TARN_FILTERS_FULL);
  const tarn_status statusOfNeeded =
      tarn_filters_load(pcFilter, iNeeded < iFilterSize ? iNeeded : iFilterSize, TARN_FILTERS_FULL, &infoOfNeeded,
                        &pFilters);
  tarn_filters_free(pFilters);
  const tarn_status status = tarn_filters_load(pcFilter, iFilterSize, TARN_FILTERS_FULL, &info, &pFilters);
  if (status != statusOfNeeded || std::memcmp(&info, &infoOfNeeded, sizeof info) != 0) std::abort();
  if (status != TARN_OK) return 0;
  CheckWriterReadsBack(info);
  tarn_decode_options options;
  tarn_decode_options_init(&options);
  options.coder = (cSettings & 8) ? TARN_CODER_LCEB : TARN_CODER_ECEB;
  options.filters = pFilters;
  double fSum = 0;
  options.on_plane = TouchPlane;
  options.on_warning = IgnoreWarning;
  options.user_data = &fSum;
  const std::vector<uint8_t>& stream = Stream(options.coder);
  for (int32_t pattern = 0; pattern <= 9; ++pattern) {
    options.loss = {pattern, cSettings & 1, (cSettings >> 1) & 1, (cSettings >> 2) & 1};
    tarn_decoded out;
    if (tarn_decode(stream.data(), stream.size(), &options, &out) == TARN_OK) tarn_free(out.pixels);
  }
  tarn_filters_free(pFilters);
  return 0;
}
