// The compressed stream's container: description records of a 12-byte
// header (width and height as 16-bit fields, q as a float, the payload
// length L as a 32-bit field, all little-endian) and L payload bytes.
#pragma once

#include <cstdint>

namespace tarn {

constexpr int kRecordHeaderBytes = 12;

// Payload lengths are ints in the coders: a longer L is no payload of ours.
constexpr std::uint32_t kMaxPayloadLength = 0x7FFFFFFF;

// Stored width and height are 16-bit fields.
constexpr std::uint32_t kMaxDimension = 65535;

void PutU16(unsigned char* pc, std::uint16_t iValue);
void PutU32(unsigned char* pc, std::uint32_t iValue);
std::uint16_t GetU16(const unsigned char* pc);
std::uint32_t GetU32(const unsigned char* pc);
float BitsToFloat(std::uint32_t iBits);
std::uint32_t FloatToBits(float fValue);

struct RecordHeader {
  std::uint16_t m_iWidth;
  std::uint16_t m_iHeight;
  float m_fQ;
  std::uint32_t m_iLength;
};

void PutRecordHeader(unsigned char* pc, const RecordHeader& header);

}  // namespace tarn
