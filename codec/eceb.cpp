// Bit-plane coefficient coding (ECEB). The quantised plane is coded plane by
// plane from its largest magnitude's top bit down to bit 0. In each plane
// every block walks its scan (a prefix of the zigzag order), refining the
// coefficients that are already significant and coding significance and
// sign for the others, then decides whether the scan must be extended along
// the zigzag order to reach coefficients that became significant.
#include <algorithm>
#include <cstdlib>

#include "dct.h"
#include "quantiser.h"

namespace tarn {

namespace {
// The largest header exponent: quantised magnitudes are below 2^31.
constexpr int kMaxPlaneExponent = 30;

// a >= 2T for a >= 0, without forming 2T, which does not fit 32 bits when
// T = 2^30.
bool AtLeastTwice(int a, int iThreshold) { return a / 2 >= iThreshold; }

// Block rows coded so far, over all planes from 2^n down, once row by of
// the plane with threshold T is done.
int PlaneRowsDone(int n, int T, int by, int iBlocksY) {
  int iLog = 0;
  while ((T >> iLog) > 1) ++iLog;
  return (n - iLog) * iBlocksY + by + 1;
}

float PredictDc(const std::vector<float>& P, int bx, int by) {
  if (by == 0) return bx == 0 ? 1024.0f : P[bx - 1];
  if (bx == 0) return P[0];
  return RoundedMean(P[bx], P[bx - 1]);
}

// One plane of block (bx, by) on the decoder side. K never overflows: a
// coefficient first becomes +-T0 <= 2^30 and then gains at most one lower
// bit per plane, so its magnitude stays below 2 T0.
void DecodeBlockPlane(CBlockDecoder* pDec, int bx, int by) {
  const int T = pDec->m_iThreshold;
  int& iScanEnd = pDec->m_ppiScanEnd[by][bx];
  for (int l = 0; l < iScanEnd; ++l) {
    int& k = pDec->m_apiEcebCoef[l][by][bx];
    if (AtLeastTwice(std::abs(k), T)) {
      if (pDec->Decode(&pDec->m_pRefineModel)) k += k > 0 ? T : -T;
    } else if (pDec->Decode(&pDec->m_apEcebSigModel[pDec->GetEcebSigContext(bx, by, l)])) {
      k = pDec->Decode(&pDec->m_pSignModel) ? -T : T;
    }
  }
  if (!pDec->Decode(&pDec->m_apEcebEobModel[pDec->GetEcebEobContext(bx, by, iScanEnd)])) return;
  for (int l = iScanEnd; l < 64; ++l) {
    iScanEnd = l + 1;
    if (!pDec->Decode(&pDec->m_apEcebSigModel[pDec->GetEcebSigContext(bx, by, l)])) continue;
    pDec->m_apiEcebCoef[l][by][bx] = pDec->Decode(&pDec->m_pSignModel) ? -T : T;
    if (l == 63 || !pDec->Decode(&pDec->m_apEcebEobModel[pDec->GetEcebEobContext(bx, by, l + 1)])) break;
  }
}

// Dequantises the store into block (bx, by) and adds the DC prediction. The
// decoder's line rounds the product before the sum (the encoder's rounds
// once), so the two may differ in the last bit when K x q is not a float.
void RestoreBlock(CBlockDecoder* pDec, int bx, int by, float fQ) {
  pDec->SetBlock(bx, by);
  for (int l = 0; l < 64; ++l) {
    float fValue = Dequantise(pDec->m_apiEcebCoef[l][by][bx], fQ);
    pDec->m_apfBlock[pDec->m_aiZigzagRow[l]][pDec->m_aiZigzagCol[l]] = fValue;
  }
  float fPrediction = PredictDc(pDec->m_pfDcPred, bx, by);
  float& fDc = pDec->m_apfBlock[0][0];
  fDc = static_cast<float>(double(fDc) + fPrediction);
  pDec->m_pfDcPred[bx] = fDc;
}
}  // namespace

int CBlockCodec::GetEcebSigContext(int bx, int by, int l) const {
  const int T = m_iThreshold;
  const CArray2D<int>& K = m_apiEcebCoef[l];
  const bool bLeft = bx > 0, bUp = by > 0;
  const bool bRight = bx + 1 < static_cast<int>(m_iBlocksX), bDown = by + 1 < static_cast<int>(m_iBlocksY);
  auto now = [&](int x, int y) { return std::abs(K[y][x]) >= T; };
  auto before = [&](int x, int y) { return AtLeastTwice(std::abs(K[y][x]), T); };
  int n = 0;
  if (bLeft) n += now(bx - 1, by);
  if (bLeft && bUp) n += now(bx - 1, by - 1);
  if (bUp) n += now(bx, by - 1);
  if (bRight && bUp) n += now(bx + 1, by - 1);
  if (bRight) n += before(bx + 1, by);
  if (bDown) n += before(bx, by + 1);
  if (l > 2) {
    int r = m_aiZigzagRow[l], c = m_aiZigzagCol[l];
    if (c > 0 && std::abs(m_apiEcebCoef[kRasterToZigzag[r * 8 + c - 1]][by][bx]) >= T) ++n;
    if (r > 0 && std::abs(m_apiEcebCoef[kRasterToZigzag[(r - 1) * 8 + c]][by][bx]) >= T) ++n;
  }
  return n + (l == 0 ? 0 : l <= 2 ? 7 : l <= 20 ? 14 : 23);
}

int CBlockCodec::GetEcebEobContext(int bx, int by, int s) const {
  const bool bLeft = bx > 0, bUp = by > 0;
  const bool bRight = bx + 1 < static_cast<int>(m_iBlocksX), bDown = by + 1 < static_cast<int>(m_iBlocksY);
  auto longer = [&](int x, int y) { return m_ppiScanEnd[y][x] > s; };
  int n = 0;
  if (bLeft) n += longer(bx - 1, by);
  if (bLeft && bUp) n += longer(bx - 1, by - 1);
  if (bUp) n += longer(bx, by - 1);
  if (bRight && bUp) n += longer(bx + 1, by - 1);
  if (bRight) n += longer(bx + 1, by);
  if (bDown) n += longer(bx, by + 1);
  return n + (s == 3 ? 0 : s < 15 ? 7 : 14);
}

void CBlockEncoder::EncodeEcebBlock(int bx, int by) {
  const int T = m_iThreshold;
  int& iScanEnd = m_ppiScanEnd[by][bx];
  auto coef = [&](int l) { return m_apiEcebCoef[l][by][bx]; };
  for (int l = 0; l < iScanEnd; ++l) {
    int a = std::abs(coef(l));
    if (AtLeastTwice(a, T))
      Encode((a & T) != 0, &m_pRefineModel);
    else if (Encode(a >= T, &m_apEcebSigModel[GetEcebSigContext(bx, by, l)]))
      Encode(coef(l) < 0, &m_pSignModel);
  }
  int iEnd = 0;
  for (int l = 63; l >= iScanEnd; --l)
    if (std::abs(coef(l)) >= T) {
      iEnd = l;
      break;
    }
  if (!Encode(iEnd >= iScanEnd, &m_apEcebEobModel[GetEcebEobContext(bx, by, iScanEnd)])) return;
  for (int l = iScanEnd; l <= iEnd; ++l) {
    if (!Encode(std::abs(coef(l)) >= T, &m_apEcebSigModel[GetEcebSigContext(bx, by, l)])) continue;
    Encode(coef(l) < 0, &m_pSignModel);
    if (l < 63) Encode(l < iEnd, &m_apEcebEobModel[GetEcebEobContext(bx, by, l + 1)]);
  }
  iScanEnd = iEnd + 1;
}

// The previous plane's threshold (2T) is not kept: at T = 2^30 it would not
// fit 32 bits; the tests against it are written as a / 2 >= T instead.
int CBlockEncoder::EncodeEceb(std::vector<unsigned char>* pvPayload, float fQ) {
  const int iBlocksX = static_cast<int>(m_iBlocksX), iBlocksY = static_cast<int>(m_iBlocksY);
  int iMax = 0;
  for (int by = 0; by < iBlocksY; ++by)
    for (int bx = 0; bx < iBlocksX; ++bx) {
      m_ppiScanEnd[by][bx] = 1;
      float fPrediction = PredictDc(m_pfDcPred, bx, by);
      if (!QuantiseBlock(this, bx, by, fPrediction, fQ)) return kQuantOverflow;
      for (int l = 0; l < 64; ++l) iMax = std::max(iMax, std::abs(m_apiEcebCoef[l][by][bx]));
      m_pfDcPred[bx] = static_cast<float>(double(m_apiEcebCoef[0][by][bx]) * fQ + fPrediction);
    }
  int n = 0;
  while ((iMax >> n) > 1) ++n;
  m_pBitWriter.Init(pvPayload);
  m_pBitWriter.WriteBits(n, 8);
  m_pArithEnc.Start();
  for (m_iThreshold = 1 << n; m_iThreshold > 0; m_iThreshold >>= 1)
    for (int by = 0; by < iBlocksY; ++by) {
      for (int bx = 0; bx < iBlocksX; ++bx) EncodeEcebBlock(bx, by);
      if (!KeepGoing(PlaneRowsDone(n, m_iThreshold, by, iBlocksY), (n + 1) * iBlocksY)) return kCancelled;
    }
  m_pArithEnc.Flush(&m_pBitWriter);
  return m_pBitWriter.Overflowed() ? kQuantOverflow : m_pBitWriter.GetByteCount();
}

std::int64_t CBlockDecoder::DecodeEceb(const unsigned char* pcPayload, std::int64_t iLength, float fQ,
                                       bool bEntropyOnly) {
  const int iBlocksX = static_cast<int>(m_iBlocksX), iBlocksY = static_cast<int>(m_iBlocksY);
  // The stores of a fresh object hold zeros, the values every coefficient
  // starts from; they stay untouched where a damaged payload stops early.
  for (int by = 0; by < iBlocksY; ++by) std::fill_n(m_ppiScanEnd[by], iBlocksX, 1);
  m_pBitReader.Init(pcPayload, iLength);
  int n = m_pBitReader.ReadBits(8);
  if (n > kMaxPlaneExponent) return kDamagedPayload;
  m_pArithDec.Start(&m_pBitReader);
  for (m_iThreshold = 1 << n; m_iThreshold > 0; m_iThreshold >>= 1)
    for (int by = 0; by < iBlocksY; ++by) {
      for (int bx = 0; bx < iBlocksX; ++bx) {
        DecodeBlockPlane(this, bx, by);
        if (m_pBitReader.BytesPastEnd() > kMaxBytesPastEnd) return kDamagedPayload;
      }
      if (!KeepGoing(PlaneRowsDone(n, m_iThreshold, by, iBlocksY), (n + 1) * iBlocksY)) return kCancelled;
    }
  for (int by = 0; by < iBlocksY; ++by)
    for (int bx = 0; bx < iBlocksX; ++bx) {
      RestoreBlock(this, bx, by, fQ);
      if (!bEntropyOnly) InverseDct8x8(m_apfBlock);
    }
  return m_pBitReader.GetByteCount();
}

}  // namespace tarn
