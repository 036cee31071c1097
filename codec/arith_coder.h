// Adaptive binary arithmetic coder (16-bit interval, pending-bit underflow
// handling) and the bit writer / reader it emits into and reads from.
// A leaf: it knows nothing of images or coefficients.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

namespace tarn {

// Largest model limit for which the coder stays exact: after renormalisation
// the interval is at least 16386 wide, so both halves of a split stay
// non-empty as long as a model's total never exceeds 16386.
constexpr int kMaxModelLimit = 16387;

class CBinModel {
 public:
  int m_iTotal = 0;   // all decisions seen, initial counts included
  int m_iCount1 = 0;  // decisions of value 1, initial count included
  int m_iLimit = 0;   // counts are halved when the total reaches this

  CBinModel& Init(int iCount0, int iCount1, int iLimit);
  void Halve();
  void Update(bool bBit) {
    m_iCount1 += bBit;
    if (++m_iTotal >= m_iLimit) Halve();
  }
};

// Writes bits most significant first into a caller-owned byte vector, which it
// grows as needed, so a payload can never overrun its buffer. Payload lengths
// are 32-bit ints in the stream's readers, so a payload that would outgrow
// the limit (INT_MAX bytes unless set lower) is cut off there and flagged.
class CBitWriter {
 public:
  unsigned char* m_pcBuffer = nullptr;
  int m_iByte = 0;
  std::uint8_t m_ucMask = 0;

  void Init(std::vector<unsigned char>* pBuffer);
  bool WriteBit(bool bBit) {
    if (m_ucMask == 0x80) {
      if (m_iByte >= m_iRoom && !Grow()) return bBit;
      m_pcBuffer[m_iByte] = bBit ? 0x80 : 0;
    } else if (bBit) {
      m_pcBuffer[m_iByte] |= m_ucMask;
    }
    Advance();
    return bBit;
  }
  int WriteBits(int iValue, int iCount);
  int GetByteCount() const { return m_ucMask == 0x80 ? m_iByte : m_iByte + 1; }
  void SetLimit(int iMaxBytes) { m_iLimit = iMaxBytes; }
  // True when bits were dropped at the limit since Init.
  bool Overflowed() const { return m_bOverflow; }

 private:
  void Advance() {
    if (m_ucMask == 0x01) {
      m_ucMask = 0x80;
      ++m_iByte;
    } else {
      m_ucMask >>= 1;
    }
  }
  bool Grow();
  std::vector<unsigned char>* m_pvBuffer = nullptr;
  int m_iRoom = 0;  // bytes usable without growing: min(size, limit)
  int m_iLimit = INT_MAX;
  bool m_bOverflow = false;
};

// Reads bits most significant first from a payload of known length. Past the
// end it delivers zero bits and never touches memory; how far it went past
// the end tells a truncated or damaged payload (a well-formed one is read at
// most two bytes past its end). The counters are 64-bit, so a payload of
// 2^31 - 1 bytes can be read past its end without overflow.
class CBitReader {
 public:
  const unsigned char* m_pcBuffer = nullptr;
  std::int64_t m_iByte = 0;
  std::uint8_t m_ucMask = 0;

  void Init(const unsigned char* pcBuffer, std::int64_t iLength);
  bool ReadBit() {
    bool bBit = m_iByte < m_iLength && (m_pcBuffer[m_iByte] & m_ucMask) == m_ucMask;
    if (m_ucMask == 0x01) {
      m_ucMask = 0x80;
      ++m_iByte;
    } else {
      m_ucMask >>= 1;
    }
    return bBit;
  }
  int ReadBits(int iCount);
  std::int64_t GetByteCount() const { return m_ucMask == 0x80 ? m_iByte : m_iByte + 1; }
  // Bytes read beyond the payload's end (0 while inside it).
  std::int64_t BytesPastEnd() const {
    const std::int64_t iOver = GetByteCount() - m_iLength;
    return iOver > 0 ? iOver : 0;
  }

 private:
  std::int64_t m_iLength = 0;
};

class CArithEncoder {
 public:
  int m_iHigh = 0;
  int m_iLow = 0;
  int m_iPending = 0;

  void Start();
  bool EncodeBit(bool bBit, CBinModel* pModel, CBitWriter* pWriter);
  void Flush(CBitWriter* pWriter);

 private:
  void EmitWithPending(bool bBit, CBitWriter* pWriter);
};

class CArithDecoder {
 public:
  int m_iHigh = 0;
  int m_iLow = 0;
  int m_iCode = 0;

  void Start(CBitReader* pReader);
  bool DecodeBit(CBinModel* pModel, CBitReader* pReader);
};

}  // namespace tarn
