#include "stream_format.h"

#include <cstring>

namespace tarn {

void PutU16(unsigned char* pc, std::uint16_t iValue) {
  pc[0] = static_cast<unsigned char>(iValue);
  pc[1] = static_cast<unsigned char>(iValue >> 8);
}

void PutU32(unsigned char* pc, std::uint32_t iValue) {
  for (int k = 0; k < 4; ++k) pc[k] = static_cast<unsigned char>(iValue >> (8 * k));
}

std::uint16_t GetU16(const unsigned char* pc) {
  return static_cast<std::uint16_t>(pc[0] | pc[1] << 8);
}

std::uint32_t GetU32(const unsigned char* pc) {
  return pc[0] | pc[1] << 8 | pc[2] << 16 | static_cast<std::uint32_t>(pc[3]) << 24;
}

float BitsToFloat(std::uint32_t iBits) {
  float f;
  std::memcpy(&f, &iBits, 4);
  return f;
}

std::uint32_t FloatToBits(float fValue) {
  std::uint32_t iBits;
  std::memcpy(&iBits, &fValue, 4);
  return iBits;
}

void PutRecordHeader(unsigned char* pc, const RecordHeader& header) {
  PutU16(pc, header.m_iWidth);
  PutU16(pc + 2, header.m_iHeight);
  PutU32(pc + 4, FloatToBits(header.m_fQ));
  PutU32(pc + 8, header.m_iLength);
}

}  // namespace tarn
