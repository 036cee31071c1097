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

// Makes room for byte m_iByte, which below the limit is the vector's end;
// false at the limit.
bool CBitWriter::Grow() {
  if (m_iByte >= m_iLimit) {
    m_bOverflow = true;
    return false;
  }
  const std::size_t iWanted = std::max<std::size_t>(256, 2 * m_pvBuffer->size());
  m_pvBuffer->resize(std::min<std::size_t>(iWanted, m_iLimit));
  m_pcBuffer = m_pvBuffer->data();
  m_iRoom = static_cast<int>(std::min<std::size_t>(m_pvBuffer->size(), m_iLimit));
  return true;
}

int CBitWriter::WriteBits(int iValue, int iCount) {
  for (int iLeft = iCount; iLeft > 0;) {
    const int iPart = std::min(iLeft, 16);
    iLeft -= iPart;
    Put((static_cast<std::uint32_t>(iValue) >> iLeft) & ((1u << iPart) - 1), iPart);
  }
  return iCount >= 32 ? iValue : iValue & static_cast<int>((1u << iCount) - 1);
}

void CBitReader::Init(const unsigned char* pcBuffer, std::int64_t iLength) {
  m_pcBuffer = pcBuffer;
  m_iLength = iLength;
  m_iBit = 0;
}

std::uint64_t CBitReader::WindowNearTheEnd(std::int64_t iByte) const {
  std::uint64_t iWindow = 0;
  for (std::int64_t k = iByte; k < iByte + 8; ++k)
    iWindow = (iWindow << 8) | (k < m_iLength ? m_pcBuffer[k] : 0);
  return iWindow;
}

void CArithEncoder::Start() {
  m_iHigh = 0xFFFF;
  m_iLow = 0;
  m_iPending = 0;
}

void CArithEncoder::Renormalise(CBitWriter* pWriter) {
  const Shifts s = CountShifts(m_iLow, m_iHigh);
  if (const int n = s.iSettled) {
    // The first settled bit settles the pending ones as its complements.
    const bool bFirst = (m_iLow >> 15) & 1;
    pWriter->Put(bFirst, 1);
    pWriter->WriteRun(!bFirst, m_iPending);
    m_iPending = 0;
    pWriter->Put((m_iLow >> (16 - n)) & ((1 << (n - 1)) - 1), n - 1);
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
