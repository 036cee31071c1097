#include "arith_coder.h"

#include <algorithm>

namespace tarn {

namespace {
constexpr int kHalf = 0x8000;
constexpr int kFirstQuarter = 0x4000;
constexpr int kThirdQuarter = 0xC000;
}  // namespace

CBinModel& CBinModel::Init(int iCount0, int iCount1, int iLimit) {
  m_iCount1 = iCount1;
  m_iTotal = iCount0 + iCount1;
  m_iLimit = iLimit;
  return *this;
}

void CBinModel::Halve() {
  int iZeros = m_iTotal - m_iCount1;
  m_iCount1 = (m_iCount1 + 1) >> 1;
  m_iTotal = ((iZeros + 1) >> 1) + m_iCount1;
}

void CBitWriter::Init(std::vector<unsigned char>* pBuffer) {
  m_pvBuffer = pBuffer;
  m_pcBuffer = pBuffer->data();
  m_iRoom = static_cast<int>(std::min<std::size_t>(pBuffer->size(), m_iLimit));
  m_iByte = 0;
  m_ucMask = 0x80;
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
  for (int i = iCount - 1; i >= 0; --i) WriteBit((iValue >> i) & 1);
  return iCount >= 32 ? iValue : iValue & static_cast<int>((1u << iCount) - 1);
}

void CBitReader::Init(const unsigned char* pcBuffer, std::int64_t iLength) {
  m_pcBuffer = pcBuffer;
  m_iLength = iLength;
  m_iByte = 0;
  m_ucMask = 0x80;
}

int CBitReader::ReadBits(int iCount) {
  int iValue = 0;
  for (int i = iCount - 1; i >= 0; --i)
    if (ReadBit()) iValue |= 1 << i;
  return iValue;
}

void CArithEncoder::Start() {
  m_iHigh = 0xFFFF;
  m_iLow = 0;
  m_iPending = 0;
}

void CArithEncoder::EmitWithPending(bool bBit, CBitWriter* pWriter) {
  pWriter->WriteBit(bBit);
  for (; m_iPending > 0; --m_iPending) pWriter->WriteBit(!bBit);
}

bool CArithEncoder::EncodeBit(bool bBit, CBinModel* pModel, CBitWriter* pWriter) {
  int iRange = m_iHigh - m_iLow + 1;
  int iSplit = iRange * pModel->m_iCount1 / pModel->m_iTotal;
  if (bBit)
    m_iHigh = m_iLow + iSplit - 1;
  else
    m_iLow += iSplit;
  pModel->Update(bBit);
  for (;;) {
    if (m_iHigh < kHalf) {
      EmitWithPending(false, pWriter);
    } else if (m_iLow >= kHalf) {
      EmitWithPending(true, pWriter);
      m_iLow -= kHalf;
      m_iHigh -= kHalf;
    } else if (m_iLow >= kFirstQuarter && m_iHigh < kThirdQuarter) {
      ++m_iPending;
      m_iLow -= kFirstQuarter;
      m_iHigh -= kFirstQuarter;
    } else {
      break;
    }
    m_iLow = 2 * m_iLow;
    m_iHigh = 2 * m_iHigh + 1;
  }
  return bBit;
}

void CArithEncoder::Flush(CBitWriter* pWriter) {
  bool bBit = m_iLow >= kFirstQuarter;
  // Two more complements than pending bits: the decoder's 16-bit window must
  // still resolve the final interval.
  m_iPending += 2;
  EmitWithPending(bBit, pWriter);
}

void CArithDecoder::Start(CBitReader* pReader) {
  m_iHigh = 0xFFFF;
  m_iLow = 0;
  m_iCode = pReader->ReadBits(16);
}

bool CArithDecoder::DecodeBit(CBinModel* pModel, CBitReader* pReader) {
  int iRange = m_iHigh - m_iLow + 1;
  int iSplit = iRange * pModel->m_iCount1 / pModel->m_iTotal;
  bool bBit = iSplit >= m_iCode - m_iLow + 1;
  if (bBit)
    m_iHigh = m_iLow + iSplit - 1;
  else
    m_iLow += iSplit;
  pModel->Update(bBit);
  for (;;) {
    if (m_iHigh < kHalf) {
    } else if (m_iLow >= kHalf) {
      m_iLow -= kHalf;
      m_iHigh -= kHalf;
      m_iCode -= kHalf;
    } else if (m_iLow >= kFirstQuarter && m_iHigh < kThirdQuarter) {
      m_iLow -= kFirstQuarter;
      m_iHigh -= kFirstQuarter;
      m_iCode -= kFirstQuarter;
    } else {
      break;
    }
    m_iLow = 2 * m_iLow;
    m_iHigh = 2 * m_iHigh + 1;
    m_iCode = 2 * m_iCode + pReader->ReadBit();
  }
  return bBit;
}

}  // namespace tarn
