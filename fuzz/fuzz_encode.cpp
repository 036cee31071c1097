// libFuzzer target: the encoder on arbitrary input, read by the readers the
// program uses (a PGM by the encoder's header rules, a PNG told by its
// signature, or a raw plane), then a full encode; a PGM's bytes also go
// through the tolerant PGM reader. Input: byte 0 (bit 0 LCEB, bit 1 MDC,
// bit 2 raw plane, bits
// 4-7 the filter digit), byte 1 (q = 0.5 + byte / 4), then the file.
// Raw values are bounded so that LCEB's unary magnitudes stay short.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_common.h"

namespace {
constexpr float kMaxRawMagnitude = 4096;

tarn_status EncodeRawPlane(const uint8_t* pcFile, size_t iSize, const tarn_encode_options& options) {
  tarn_plane plane;
  tarn_status status = tarn_raw_plane_read(pcFile, iSize, options.mdc, &plane);
  if (status != TARN_OK) return status;
  const size_t iCount = size_t(plane.width) * plane.height;
  if (iCount <= kMaxFuzzPixels) {
    for (size_t i = 0; i < iCount; ++i)
      if (std::fabs(plane.values[i]) > kMaxRawMagnitude) plane.values[i] = std::fmod(plane.values[i], kMaxRawMagnitude);
    tarn_encoded out;
    status = tarn_encode_coefficients(plane.values, plane.width, plane.height, &options, &out);
    tarn_free(out.data);
  }
  tarn_free(plane.values);
  return status;
}

tarn_status EncodePgm(const uint8_t* pcFile, size_t iSize, const tarn_encode_options& options) {
  uint32_t iWidth, iHeight;
  size_t iHeader;
  tarn_status status = tarn_pgm_parse_header(pcFile, iSize, 1, TARN_PGM_ENCODER, &iWidth, &iHeight, &iHeader);
  if (status != TARN_OK || uint64_t(iWidth) * iHeight > kMaxFuzzPixels) return status;
  // The samples the file holds, zeros for those it lacks.
  std::vector<uint8_t> vPixels(size_t(iWidth) * iHeight, 0);
  std::memcpy(vPixels.data(), pcFile + iHeader, std::min(vPixels.size(), iSize - iHeader));
  tarn_encoded out;
  status = tarn_encode(vPixels.data(), iWidth, iHeight, iWidth, &options, &out);
  tarn_free(out.data);
  return status;
}
tarn_status EncodePng(const uint8_t* pcFile, size_t iSize, const tarn_encode_options& options) {
  uint32_t iWidth, iHeight;
  tarn_status status = tarn_png_parse_header(pcFile, iSize, TARN_PGM_ENCODER, &iWidth, &iHeight);
  if (status != TARN_OK || uint64_t(iWidth) * iHeight > kMaxFuzzPixels) return status;
  tarn_image image;
  status = tarn_png_read(pcFile, iSize, TARN_PGM_ENCODER, &image);
  if (status != TARN_OK) return status;
  tarn_encoded out;
  status = tarn_encode(image.pixels, iWidth, iHeight, iWidth, &options, &out);
  tarn_free(out.data);
  tarn_free(image.pixels);
  return status;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzBytes in(data, size);
  const uint8_t cMode = in.Byte(), cQ = in.Byte();
  tarn_filters* pFilters = nullptr;
  if (tarn_filters_builtin((cMode >> 4) % 10, &pFilters) != TARN_OK) return 0;
  tarn_encode_options options;
  tarn_encode_options_init(&options);
  options.coder = (cMode & 1) ? TARN_CODER_LCEB : TARN_CODER_ECEB;
  options.mdc = (cMode & 2) != 0;
  options.q = 0.5f + cQ / 4.0f;
  options.filters = pFilters;
  size_t iFileSize;
  const uint8_t* pcFile = in.Rest(&iFileSize);
  if (cMode & 4) {
    EncodeRawPlane(pcFile, iFileSize, options);
  } else if (tarn_png_has_signature(pcFile, iFileSize)) {
    EncodePng(pcFile, iFileSize, options);
  } else {
    EncodePgm(pcFile, iFileSize, options);
    tarn_image image;
    if (tarn_pgm_read(pcFile, iFileSize, TARN_PGM_ANY, &image) == TARN_OK) tarn_free(image.pixels);
  }
  tarn_filters_free(pFilters);
  return 0;
}
