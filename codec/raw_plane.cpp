// Raw coefficient planes in memory: width and height as 32-bit integers,
// then width x height floats in the host's layout, row by row.
#include <cstring>

#include "api_internal.h"
#include "stream_format.h"

namespace tarn {
namespace {
// Whole blocks (whole description blocks with MDC) that fit the stream's
// 16-bit fields.
bool IsValidSize(std::int32_t iSize, bool bMdc) {
  return iSize > 0 && iSize <= std::int32_t(kMaxDimension) && iSize % (bMdc ? 16 : 8) == 0;
}
}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_raw_plane_parse_header(const uint8_t bytes[8], int32_t mdc, uint32_t* width,
                                        uint32_t* height) {
  if (bytes == nullptr || width == nullptr || height == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *width = GetU32(bytes);
  *height = GetU32(bytes + 4);
  const bool bValid = IsValidSize(static_cast<std::int32_t>(*width), mdc != 0) &&
                      IsValidSize(static_cast<std::int32_t>(*height), mdc != 0);
  return bValid ? TARN_OK : TARN_ERR_RAW_PLANE_SIZE;
}

tarn_status tarn_raw_plane_read(const void* data, size_t size, int32_t mdc, tarn_plane* out) {
  if (out == nullptr || (data == nullptr && size > 0)) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  if (size < TARN_RAW_PLANE_HEADER_SIZE) return TARN_ERR_TRUNCATED_INPUT;
  const unsigned char* pcData = static_cast<const unsigned char*>(data);
  uint32_t iWidth, iHeight;
  if (tarn_status status = tarn_raw_plane_parse_header(pcData, mdc, &iWidth, &iHeight)) return status;
  const std::size_t iBytes = 4 * std::size_t(iWidth) * iHeight;
  if (size - TARN_RAW_PLANE_HEADER_SIZE < iBytes) return TARN_ERR_TRUNCATED_INPUT;
  return Guard([&] {
    out->values = static_cast<float*>(Allocate(iBytes));
    std::memcpy(out->values, pcData + TARN_RAW_PLANE_HEADER_SIZE, iBytes);
    out->width = iWidth;
    out->height = iHeight;
    return TARN_OK;
  });
}

void tarn_raw_plane_header(uint32_t width, uint32_t height, uint8_t bytes[8]) {
  PutU32(bytes, width);
  PutU32(bytes + 4, height);
}

tarn_status tarn_raw_plane_write(const float* values, uint32_t width, uint32_t height, uint8_t** data,
                                 size_t* size) {
  if (values == nullptr || data == nullptr || size == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  *data = nullptr;
  *size = 0;
  return Guard([&] {
    const std::size_t iBytes = 4 * std::size_t(width) * height;
    uint8_t* pcOut = static_cast<uint8_t*>(Allocate(TARN_RAW_PLANE_HEADER_SIZE + iBytes));
    tarn_raw_plane_header(width, height, pcOut);
    std::memcpy(pcOut + TARN_RAW_PLANE_HEADER_SIZE, values, iBytes);
    *data = pcOut;
    *size = TARN_RAW_PLANE_HEADER_SIZE + iBytes;
    return TARN_OK;
  });
}

}  // extern "C"
