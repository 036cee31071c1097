// libFuzzer target: a round trip on small arbitrary images. Entropy-only
// decoding must give back exactly the plane the encoder quantised: coding
// that plane again (entropy coding only, same q) gives the same stream, and
// decoding it again the same plane. Input: byte 0 (bit 0 LCEB, bit 1 MDC,
// bits 4-7 the filter digit), byte 1 (width / 16 - 1, modulo 4), byte 2
// (height / 16 - 1, modulo 4), byte 3 (q = 0.25 + byte / 8), then pixels.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_common.h"

namespace {
std::vector<uint8_t> Take(tarn_encoded* pEncoded) {
  std::vector<uint8_t> bytes(pEncoded->data, pEncoded->data + pEncoded->size);
  tarn_free(pEncoded->data);
  return bytes;
}

std::vector<float> DecodeCoefficients(const std::vector<uint8_t>& stream, const tarn_encode_options& encoding) {
  tarn_decode_options options;
  tarn_decode_options_init(&options);
  options.coder = encoding.coder;
  options.mdc = encoding.mdc;
  options.coefficients_only = 1;
  tarn_decoded out;
  if (tarn_decode(stream.data(), stream.size(), &options, &out) != TARN_OK) std::abort();
  std::vector<float> plane(out.plane, out.plane + size_t(out.width) * out.height);
  tarn_free(out.plane);
  return plane;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzBytes in(data, size);
  const uint8_t cMode = in.Byte();
  const uint32_t iWidth = 16u * (1 + in.Byte() % 4), iHeight = 16u * (1 + in.Byte() % 4);
  tarn_encode_options options;
  tarn_encode_options_init(&options);
  options.coder = (cMode & 1) ? TARN_CODER_LCEB : TARN_CODER_ECEB;
  options.mdc = (cMode & 2) != 0;
  options.q = 0.25f + in.Byte() / 8.0f;
  tarn_filters* pFilters = nullptr;
  if (tarn_filters_builtin((cMode >> 4) % 10, &pFilters) != TARN_OK) return 0;
  options.filters = pFilters;
  std::vector<uint8_t> vPixels(size_t(iWidth) * iHeight);
  for (uint8_t& p : vPixels) p = in.Byte();
  tarn_encoded encoded;
  if (tarn_encode(vPixels.data(), iWidth, iHeight, iWidth, &options, &encoded) != TARN_OK) std::abort();
  const std::vector<uint8_t> stream = Take(&encoded);
  const std::vector<float> plane = DecodeCoefficients(stream, options);
  if (tarn_encode_coefficients(plane.data(), iWidth, iHeight, &options, &encoded) != TARN_OK) std::abort();
  const std::vector<uint8_t> again = Take(&encoded);
  if (again != stream) std::abort();
  if (DecodeCoefficients(again, options) != plane) std::abort();
  tarn_filters_free(pFilters);
  return 0;
}
