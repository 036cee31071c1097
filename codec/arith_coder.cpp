#include "arith_coder.h"

#include <algorithm>

namespace tarn {

const std::array<std::uint64_t, kMaxModelLimit + 1> kReciprocals = MakeReciprocals();

CBinModel& CBinModel::Init(int iCount0, int iCount1, int iLimit) {
  m_iCount1 = iCount1;
  m_iTotal = iCount0 + iCount1;
  m_iLimit = iLimit;
  m_iReciprocal = kReciprocals[m_iTotal];
  return *this;
}

void CBinModel::Halve() {
  int iZeros = m_iTotal - m_iCount1;
  m_iCount1 = (m_iCount1 + 1) >> 1;
  m_iTotal = ((iZeros + 1) >> 1) + m_iCount1;
  m_iReciprocal = kReciprocals[m_iTotal];
}

void CBitWriter::Init(std::vector<unsigned char>* pBuffer) {
  m_pvBuffer = pBuffer;
  m_pcBuffer = pBuffer->data();
  m_iRoom = static_cast<int>(std::min<std::size_t>(pBuffer->size(), m_iLimit));
  m_iByte = 0;
  m_iAcc = 0;
  m_iAccBits = 0;
  m_bOverflow = false;
}

// Makes room for byte iByte, which below the limit is the vector's end;
// false at the limit.
bool CBitWriter::Grow(int iByte) {
  if (iByte >= m_iLimit) {
    m_bOverflow = true;
    return false;
  }
  const std::size_t iWanted = std::max<std::size_t>({256, 2 * m_pvBuffer->size(), std::size_t(iByte) + 8});
  m_pvBuffer->resize(std::min<std::size_t>(iWanted, m_iLimit));
  m_pcBuffer = m_pvBuffer->data();
  m_iRoom = static_cast<int>(std::min<std::size_t>(m_pvBuffer->size(), m_iLimit));
  return true;
}

bool CBitWriter::Store(int iByte, unsigned char c) {
  if (iByte >= m_iRoom && !Grow(iByte)) return false;
  m_pcBuffer[iByte] = c;
  return true;
}

void CBitWriter::Spill() {
  m_iAccBits -= 32;
  const std::uint32_t iWord = static_cast<std::uint32_t>(m_iAcc >> m_iAccBits);
  if (m_bOverflow) return;
  if (m_iByte + 4 <= m_iRoom) {
    const std::uint32_t iBigEndian = __builtin_bswap32(iWord);
    std::memcpy(m_pcBuffer + m_iByte, &iBigEndian, 4);
    m_iByte += 4;
    return;
  }
  for (int k = 3; k >= 0; --k) {
    if (!Store(m_iByte, static_cast<unsigned char>(iWord >> (8 * k)))) {
      m_iAccBits = 0;  // at the limit: the rest is dropped
      return;
    }
    ++m_iByte;
  }
}

void CBitWriter::Sync() {
  if (m_bOverflow) {
    m_iAccBits = 0;
    return;
  }
  for (int iBits = m_iAccBits, iByte = m_iByte; iBits > 0; iBits -= 8, ++iByte) {
    const int iShift = iBits - 8;
    const unsigned char c = static_cast<unsigned char>(iShift >= 0 ? m_iAcc >> iShift : m_iAcc << -iShift);
    if (!Store(iByte, c)) {
      // The bytes before the limit are in; count no more than those.
      m_iAccBits = 8 * (iByte - m_iByte);
      return;
    }
  }
}

int CBitWriter::WriteBits(int iValue, int iCount) {
  for (int iLeft = iCount; iLeft > 0;) {
    const int iPart = std::min(iLeft, 16);
    iLeft -= iPart;
    Put((static_cast<std::uint32_t>(iValue) >> iLeft) & ((1u << iPart) - 1), iPart);
  }
  Sync();
  return iCount >= 32 ? iValue : iValue & static_cast<int>((1u << iCount) - 1);
}

void CBitReader::Init(const unsigned char* pcBuffer, std::int64_t iLength) {
  m_pcBuffer = pcBuffer;
  m_iLength = iLength;
  SeekByte(0);
}

void CBitReader::SeekByte(std::int64_t iByte) {
  m_iBit = 8 * iByte;
  m_iNextByte = iByte;
  m_iWindow = 0;
  m_iWindowBits = 0;
}

void CBitReader::Refill() {
  if (m_iNextByte + 8 <= m_iLength) {
    std::uint64_t iBytes;
    std::memcpy(&iBytes, m_pcBuffer + m_iNextByte, 8);
    iBytes = __builtin_bswap64(iBytes);
    // Whole bytes that fit beside the bits still in the window.
    const int iTake = (64 - m_iWindowBits) / 8;
    m_iWindow |= (iTake == 8 ? iBytes : iBytes >> (64 - 8 * iTake)) << (64 - m_iWindowBits - 8 * iTake);
    m_iWindowBits += 8 * iTake;
    m_iNextByte += iTake;
    return;
  }
  while (m_iWindowBits <= 56) {
    const std::uint64_t c = m_iNextByte < m_iLength ? m_pcBuffer[m_iNextByte] : 0;
    m_iWindow |= c << (56 - m_iWindowBits);
    m_iWindowBits += 8;
    ++m_iNextByte;
  }
}

void CArithEncoder::Start() {
  m_iHigh = 0xFFFF;
  m_iLow = 0;
  m_iPending = 0;
}

void CArithEncoder::Renormalise(CBitWriter* pWriter) {
  const Shifts s = CountShifts(m_iLow, m_iHigh);
  if (const int n = s.iSettled) {
    // The first settled bit settles the pending ones as its complements;
    // the other settled bits follow it.
    const std::uint32_t iFirst = (m_iLow >> 15) & 1;
    const std::uint32_t iRest = (m_iLow >> (16 - n)) & ((1u << (n - 1)) - 1);
    if (m_iPending <= 16) {
      const std::uint32_t iHead = (iFirst << m_iPending) | (iFirst ? 0 : (1u << m_iPending) - 1);
      pWriter->Put((iHead << (n - 1)) | iRest, m_iPending + n);
    } else {
      pWriter->Put(iFirst, 1);
      pWriter->WriteRun(!iFirst, m_iPending);
      pWriter->Put(iRest, n - 1);
    }
    m_iPending = 0;
    m_iLow = (m_iLow << n) & 0xFFFF;
    m_iHigh = ((m_iHigh << n) & 0xFFFF) | ((1 << n) - 1);
  }
  const int k = s.iUnderflow;
  m_iPending += k;
  m_iLow = (m_iLow << k) & 0x7FFF;
  m_iHigh = kHalf | ((m_iHigh << k) & 0x7FFF) | ((1 << k) - 1);
}

void CArithEncoder::Flush(CBitWriter* pWriter) {
  bool bBit = m_iLow >= kFirstQuarter;
  // Two more complements than pending bits: the decoder's 16-bit window must
  // still resolve the final interval.
  pWriter->Put(bBit, 1);
  pWriter->WriteRun(!bBit, m_iPending + 2);
  m_iPending = 0;
  pWriter->Sync();
}

void CArithDecoder::Start(CBitReader* pReader) {
  m_iHigh = 0xFFFF;
  m_iLow = 0;
  m_iCode = static_cast<int>(pReader->Read(16));
}

// The code follows low and high through the same shifts: it lies between
// them whatever the payload holds, so a settled shift takes its top bit off
// and an underflow shift its second bit.
void CArithDecoder::Renormalise(CBitReader* pReader) {
  const Shifts s = CountShifts(m_iLow, m_iHigh);
  const int n = s.iSettled, k = s.iUnderflow;
  const std::uint32_t iBits = pReader->Read(n + k);
  m_iCode = ((m_iCode << n) & 0xFFFF) | static_cast<int>(iBits >> k);
  m_iLow = (m_iLow << n) & 0xFFFF;
  m_iHigh = ((m_iHigh << n) & 0xFFFF) | ((1 << n) - 1);
  m_iCode = (m_iCode & kHalf) | ((m_iCode << k) & 0x7FFF) | static_cast<int>(iBits & ((1u << k) - 1));
  m_iLow = (m_iLow << k) & 0x7FFF;
  m_iHigh = kHalf | ((m_iHigh << k) & 0x7FFF) | ((1 << k) - 1);
}

}  // namespace tarn
