// libFuzzer target: the decoder on arbitrary streams, down to the image and
// the diagnostic planes, so that reconstruction, concealment and the loss
// post-filters are reached. Input: byte 0 (bit 0 LCEB, bit 1 MDC, bit 2
// coefficients only, bit 3 a filter file follows, bits 4-7 the built-in
// digit otherwise), byte 1 (loss pattern modulo 10), byte 2 (-b, -r, -x as
// its bits 0, 1, 2), then with bit 3 a 16-bit length and that many bytes of
// filter file, then the stream.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzBytes in(data, size);
  const uint8_t cMode = in.Byte(), cLoss = in.Byte(), cSettings = in.Byte();
  tarn_filters* pFilters = nullptr;
  if (cMode & 8) {
    size_t iFilterSize;
    const uint8_t* pcFilter = in.Take(in.Word(), &iFilterSize);
    if (tarn_filters_load(pcFilter, iFilterSize, TARN_FILTERS_FULL, nullptr, &pFilters) != TARN_OK) return 0;
  } else if (tarn_filters_builtin((cMode >> 4) % 10, &pFilters) != TARN_OK) {
    return 0;
  }
  tarn_decode_options options;
  tarn_decode_options_init(&options);
  options.coder = (cMode & 1) ? TARN_CODER_LCEB : TARN_CODER_ECEB;
  options.mdc = (cMode & 2) != 0;
  options.coefficients_only = (cMode & 4) != 0;
  options.filters = pFilters;
  options.max_pixels = kMaxFuzzPixels;
  options.loss = {cLoss % 10, cSettings & 1, (cSettings >> 1) & 1, (cSettings >> 2) & 1};
  double fSum = 0;
  options.on_plane = TouchPlane;
  options.on_warning = IgnoreWarning;
  options.user_data = &fSum;
  size_t iStreamSize;
  const uint8_t* pcStream = in.Rest(&iStreamSize);
  tarn_decoded out;
  if (tarn_decode(pcStream, iStreamSize, &options, &out) == TARN_OK) {
    tarn_free(out.pixels);
    tarn_free(out.plane);
  }
  tarn_filters_free(pFilters);
  return 0;
}
