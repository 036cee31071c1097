// The writer of filter configuration files: the fields in the order the
// loader reads them, each section only when its size or flag field asks for
// it.
#include <cstring>
#include <vector>

#include "api_internal.h"
#include "stream_format.h"

namespace tarn {
namespace {

class CFieldWriter {
 public:
  void Int(std::int32_t iValue) {
    unsigned char ac[4];
    PutU32(ac, static_cast<std::uint32_t>(iValue));
    m_vBytes.insert(m_vBytes.end(), ac, ac + 4);
  }
  void Floats(const float* pfValues, std::size_t iCount) {
    for (std::size_t k = 0; k < iCount; ++k) {
      std::uint32_t iBits;
      std::memcpy(&iBits, &pfValues[k], 4);
      Int(static_cast<std::int32_t>(iBits));
    }
  }
  const std::vector<unsigned char>& Bytes() const { return m_vBytes; }

 private:
  std::vector<unsigned char> m_vBytes;
};

bool IsWritable(const tarn_filter_info& info) {
  return info.size == 8 && (info.loss_size == 0 || info.loss_size == 8 || info.loss_size == 16) &&
         (info.dct_size == 0 || info.dct_size == 8);
}

std::vector<unsigned char> FileBytes(const tarn_filter_info& info) {
  CFieldWriter writer;
  writer.Int(info.size);
  writer.Floats(info.prefilter, 64);
  writer.Floats(info.postfilter, 64);
  writer.Int(info.loss_size);
  writer.Floats(info.loss_filter, std::size_t(info.loss_size) * info.loss_size);
  writer.Int(info.dct_size);
  if (info.dct_size == 8) writer.Floats(info.dct_wiener, 128);
  writer.Int(info.boundary_flag);
  if (info.boundary_flag != 0) writer.Floats(info.boundary_wiener, 64);
  return writer.Bytes();
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_filters_write(const tarn_filter_info* info, uint8_t** data, size_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (info == nullptr || data == nullptr || size == nullptr || !IsWritable(*info))
    return TARN_ERR_INVALID_ARGUMENT;
  return Guard([&] {
    const std::vector<unsigned char> vBytes = FileBytes(*info);
    uint8_t* pcOut = static_cast<uint8_t*>(Allocate(vBytes.size()));
    std::memcpy(pcOut, vBytes.data(), vBytes.size());
    *data = pcOut;
    *size = vBytes.size();
    return TARN_OK;
  });
}

}  // extern "C"
