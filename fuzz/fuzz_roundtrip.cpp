// libFuzzer target: a round trip on small arbitrary images. Entropy-only
// decoding must give back exactly the plane the encoder quantised: coding
// that plane again (entropy coding only, same q) gives the same stream, and
// decoding it again the same plane; and more threads (1 to 4, from bits 2
// and 3) give the same stream and image. Input: byte 0 (bit 0 LCEB, bit 1
// MDC, bits 2-3 threads - 1, bits 4-7 the filter digit), byte 1 (width / 16
// - 1, modulo 4), byte 2 (height / 16 - 1, modulo 4), byte 3 (q = 0.25 +
// byte / 8), then pixels.
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

tarn_decode_options DecodeOptions(const tarn_encode_options& encoding) {
  tarn_decode_options options;
  tarn_decode_options_init(&options);
  options.coder = encoding.coder;
  options.mdc = encoding.mdc;
  options.filters = encoding.filters;
  options.threads = encoding.threads;
  return options;
}

std::vector<float> DecodeCoefficients(const std::vector<uint8_t>& stream, const tarn_encode_options& encoding) {
  tarn_decode_options options = DecodeOptions(encoding);
  options.coefficients_only = 1;
  tarn_decoded out;
  if (tarn_decode(stream.data(), stream.size(), &options, &out) != TARN_OK) std::abort();
  std::vector<float> plane(out.plane, out.plane + size_t(out.width) * out.height);
  tarn_free(out.plane);
  return plane;
}

std::vector<uint8_t> DecodePixels(const std::vector<uint8_t>& stream, const tarn_encode_options& encoding) {
  const tarn_decode_options options = DecodeOptions(encoding);
  tarn_decoded out;
  if (tarn_decode(stream.data(), stream.size(), &options, &out) != TARN_OK) std::abort();
  std::vector<uint8_t> pixels(out.pixels, out.pixels + size_t(out.width) * out.height);
  tarn_free(out.pixels);
  return pixels;
}

// The stream and image of more threads are those of one.
void CheckThreads(const uint8_t* pcPixels, uint32_t iWidth, uint32_t iHeight, tarn_encode_options options,
                  int32_t iThreads, const std::vector<uint8_t>& stream) {
  const std::vector<uint8_t> pixels = DecodePixels(stream, options);
  options.threads = iThreads;
  tarn_encoded encoded;
  if (tarn_encode(pcPixels, iWidth, iHeight, iWidth, &options, &encoded) != TARN_OK) std::abort();
  if (Take(&encoded) != stream || DecodePixels(stream, options) != pixels) std::abort();
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
  if (const int32_t iThreads = 1 + ((cMode >> 2) & 3); iThreads > 1)
    CheckThreads(vPixels.data(), iWidth, iHeight, options, iThreads, stream);
  const std::vector<float> plane = DecodeCoefficients(stream, options);
  if (tarn_encode_coefficients(plane.data(), iWidth, iHeight, &options, &encoded) != TARN_OK) std::abort();
  const std::vector<uint8_t> again = Take(&encoded);
  if (again != stream) std::abort();
  if (DecodeCoefficients(again, options) != plane) std::abort();
  tarn_filters_free(pFilters);
  return 0;
}
