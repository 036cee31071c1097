// Status texts, the version and the release of handed-out buffers.
#include <cstdlib>

#include "api_internal.h"

namespace tarn {

const FilterBank& BankOf(const tarn_filters* pFilters) {
  static const FilterBank kBuiltInZero = BuiltInFilterBank(0);
  return pFilters != nullptr ? pFilters->bank : kBuiltInZero;
}

void* Allocate(std::size_t iBytes) {
  void* p = std::malloc(iBytes > 0 ? iBytes : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace tarn

extern "C" {

const char* tarn_version_string(void) { return TARN_VERSION_TEXT; }

const char* tarn_status_string(int32_t status) {
  switch (status) {
    case TARN_OK: return "success";
    case TARN_ERR_INVALID_ARGUMENT: return "invalid argument";
    case TARN_ERR_OUT_OF_MEMORY: return "out of memory";
    case TARN_ERR_CANCELLED: return "cancelled";
    case TARN_ERR_NEED_MORE_DATA: return "header incomplete: more data needed";
    case TARN_ERR_FILTER_SIZE: return "invalid filter file: filter size must be 8";
    case TARN_ERR_LOSS_POSTFILTER_SIZE: return "invalid filter file: loss post-filter size must be 0, 8 or 16";
    case TARN_ERR_DCT_WIENER_SIZE: return "invalid filter file: DCT Wiener size must be 0 or 8";
    case TARN_ERR_PGM_MAGIC: return "not a binary PGM image";
    case TARN_ERR_PGM_FORMAT: return "invalid PGM header";
    case TARN_ERR_PGM_SIZE: return "image width and height must be multiples of 16";
    case TARN_ERR_RAW_PLANE_SIZE: return "invalid raw plane size";
    case TARN_ERR_RAW_PLANE_DATA: return "raw plane holds a NaN or an infinity";
    case TARN_ERR_TRUNCATED_INPUT: return "image data shorter than its header announces";
    case TARN_ERR_PNG_FORMAT: return "PNG image not grey of at most 8 bits, transparent, or damaged";
    case TARN_ERR_QUANT_STEP: return "quantisation step must be a positive number";
    case TARN_ERR_QUANT_TOO_SMALL: return "quantisation step too small";
    case TARN_ERR_TRUNCATED_STREAM: return "truncated compressed stream";
    case TARN_ERR_CORRUPT_STREAM: return "corrupt compressed stream";
    case TARN_ERR_PIXEL_LIMIT: return "image larger than the decoder's pixel limit";
    default: return "unknown status";
  }
}

void tarn_free(void* buffer) { std::free(buffer); }

}  // extern "C"
