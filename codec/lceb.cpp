// Block-by-block coefficient coding (LCEB). Each block's DC is predicted from
// the reconstructed DCs of its neighbours; its quantised coefficients are
// coded in zigzag order as a significance decision per position up to the
// last non-zero one, a unary magnitude and a sign per non-zero coefficient,
// and a continuation decision after the DC and after each non-zero
// coefficient below position 63.
#include <algorithm>
#include <climits>

#include "dct.h"
#include "quantiser.h"

namespace tarn {

namespace {
int MagnitudeClass(int l) { return l == 0 ? 0 : l <= 5 ? 1 : l <= 20 ? 2 : 3; }

float Median(float a, float b, float c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// The line holds, below bx, the blocks already coded in this row and, from
// bx on, the blocks of the row above.
float PredictDc(const std::vector<float>& P, int bx, int by, int iBlocksX) {
  if (by == 0) return bx == 0 ? 1024.0f : P[bx - 1];
  if (bx == 0) return P[0];
  if (bx == iBlocksX - 1) return RoundedMean(P[bx], P[bx - 1]);
  return Median(P[bx - 1], P[bx], P[bx + 1]);
}

void UpdateContextLines(CBlockCodec* pCodec, int bx, int iLast) {
  for (int l = 0; l < 64; ++l) pCodec->m_apcZero[l][bx] = pCodec->m_aiCoef[l] == 0;
  pCodec->m_piLastSig[bx] = iLast;
}

// Decodes the coefficients of block (bx, by) into m_aiCoef; false when the
// payload is damaged.
bool DecodeBlockCoefficients(CBlockDecoder* pDec, int bx, int by, int* piLast) {
  const int y = 8 * by;
  std::fill(std::begin(pDec->m_aiCoef), std::end(pDec->m_aiCoef), 0);
  *piLast = 0;
  if (pDec->Decode(&pDec->m_apSigModel[pDec->GetSigContext(bx, y, 0)])) {
    pDec->m_aiCoef[0] = pDec->DecodeMagnitude(0);
    if (pDec->m_aiCoef[0] == 0) return false;
  }
  if (pDec->Decode(&pDec->m_apEobModel[pDec->GetEobContext(bx, y, 1)])) {
    for (int l = 1; l < 64; ++l) {
      if (!pDec->Decode(&pDec->m_apSigModel[pDec->GetSigContext(bx, y, l)])) continue;
      pDec->m_aiCoef[l] = pDec->DecodeMagnitude(MagnitudeClass(l));
      if (pDec->m_aiCoef[l] == 0) return false;
      // last is set only where the run stops, so a (never encoded) run that
      // goes on past its last non-zero coefficient to 63 leaves it at 0.
      if (l == 63 || !pDec->Decode(&pDec->m_apEobModel[pDec->GetEobContext(bx, y, l + 1)])) {
        *piLast = l;
        break;
      }
    }
  }
  return pDec->m_pBitReader.BytesPastEnd() <= kMaxBytesPastEnd;
}

// Dequantises m_aiCoef into block (bx, by), adds the DC prediction and
// updates the prediction line.
void RestoreBlock(CBlockDecoder* pDec, int bx, int by, float fQ) {
  int aiRaster[64];
  for (int l = 0; l < 64; ++l) aiRaster[kZigzagToRaster[l]] = pDec->m_aiCoef[l];
  DequantiseBlock(pDec, aiRaster, bx, by, fQ);
  float fPrediction = PredictDc(pDec->m_pfDcPred, bx, by, static_cast<int>(pDec->m_iBlocksX));
  float& fDc = pDec->m_apfBlock[0][0];
  fDc = static_cast<float>(double(fDc) + fPrediction);
  pDec->m_pfDcPred[bx] = fDc;
}
}  // namespace

int CBlockCodec::GetSigContext(int bx, int y, int l) const {
  int n = 0;
  if (bx > 0 && m_apcZero[l][bx - 1] == 0) ++n;
  if (y > 0 && m_apcZero[l][bx] == 0) ++n;
  if (l > 2) {
    int r = m_aiZigzagRow[l], c = m_aiZigzagCol[l];
    if (c > 0 && m_aiCoef[kRasterToZigzag[r * 8 + c - 1]] != 0) ++n;
    if (r > 0 && m_aiCoef[kRasterToZigzag[(r - 1) * 8 + c]] != 0) ++n;
  }
  return n + (l == 0 ? 0 : l <= 2 ? 3 : l <= 14 ? 6 : 12);
}

int CBlockCodec::GetEobContext(int bx, int y, int l) const {
  int n = 0;
  if (bx > 0 && m_piLastSig[bx - 1] >= l) ++n;
  if (y > 0 && m_piLastSig[bx] >= l) ++n;
  return n + (l < 3 ? 0 : l <= 14 ? 3 : 6);
}

void CBlockEncoder::EncodeMagnitude(int iValue, int iClass) {
  // |iValue| - 1 decisions 1, then a 0; iValue is never INT_MIN (it fits
  // the quantiser's range), so negating it is safe. A run cut short by a
  // request to stop leaves a payload that is thrown away.
  int m = iValue < 0 ? -iValue : iValue;
  for (int iRun = 1; Encode(m > 1, &m_apMagModel[iClass]); ++iRun) {
    --m;
    if (!KeepRunning(iRun)) return;
  }
  if (iValue != 0) Encode(iValue < 0, &m_pSignModel);
}

// Returns 0, never a valid magnitude, for a damaged payload: a run of 1s
// stops once the reader is past the payload's end (its zero bits keep the
// coder shifting, so this always comes) or the count would overflow.
int CBlockDecoder::DecodeMagnitude(int iClass) {
  int m = 1;
  while (Decode(&m_apMagModel[iClass])) {
    if (m == INT_MAX || m_pBitReader.BytesPastEnd() > kMaxBytesPastEnd || !KeepRunning(m)) return 0;
    ++m;
  }
  return Decode(&m_pSignModel) ? -m : m;
}

void CBlockEncoder::EncodeLcebBlock(int bx, int by) {
  const int y = 8 * by;
  int iLast = 0;
  const int* piCoef = EcebBlock(bx, by);
  for (int l = 0; l < 64; ++l) {
    m_aiCoef[l] = piCoef[kZigzagToRaster[l]];
    if (m_aiCoef[l] != 0) iLast = l;
  }
  if (Encode(m_aiCoef[0] != 0, &m_apSigModel[GetSigContext(bx, y, 0)])) EncodeMagnitude(m_aiCoef[0], 0);
  if (Encode(iLast > 0, &m_apEobModel[GetEobContext(bx, y, 1)])) {
    for (int l = 1; l <= iLast; ++l) {
      if (!Encode(m_aiCoef[l] != 0, &m_apSigModel[GetSigContext(bx, y, l)])) continue;
      EncodeMagnitude(m_aiCoef[l], MagnitudeClass(l));
      if (l < 63) Encode(l < iLast, &m_apEobModel[GetEobContext(bx, y, l + 1)]);
    }
  }
  UpdateContextLines(this, bx, iLast);
}

// The whole plane is quantised first (into the coefficient store, the
// plane's own memory), so that a step too small for the plane is refused
// before anything is coded. The prediction line only depends on
// the quantised DCs, so it is built in their pass.
int CBlockEncoder::EncodeLceb(std::vector<unsigned char>* pvPayload, float fQ) {
  const int iBlocksX = static_cast<int>(m_iBlocksX), iBlocksY = static_cast<int>(m_iBlocksY);
  auto predict = [this, iBlocksX](int bx, int by) { return PredictDc(m_pfDcPred, bx, by, iBlocksX); };
  auto update = [this, fQ](int bx, int K0, float fPrediction) {
    m_pfDcPred[bx] = static_cast<float>(double(Dequantise(K0, fQ)) + fPrediction);
  };
  if (!QuantiseDcs(this, fQ, predict, update) || !QuantiseBands(this, fQ, [](int, int) {}))
    return kQuantOverflow;
  m_pBitWriter.Init(pvPayload);
  CCodingPass pass(this);
  for (int by = 0; by < iBlocksY; ++by) {
    for (int bx = 0; bx < iBlocksX; ++bx) EncodeLcebBlock(bx, by);
    if (!KeepGoing(by + 1, iBlocksY)) return kCancelled;
  }
  return pass.Finish();
}

std::int64_t CBlockDecoder::DecodeLceb(const unsigned char* pcPayload, std::int64_t iLength, float fQ,
                                       bool bEntropyOnly) {
  m_pBitReader.Init(pcPayload, iLength);
  m_pArithDec.Start(&m_pBitReader);
  const int iBlocksY = static_cast<int>(m_iBlocksY);
  for (int by = 0; by < iBlocksY; ++by) {
    for (int bx = 0; bx < static_cast<int>(m_iBlocksX); ++bx) {
      int iLast = 0;
      if (!DecodeBlockCoefficients(this, bx, by, &iLast))
        return m_pProgress && m_pProgress->Stopped() ? kCancelled : kDamagedPayload;
      RestoreBlock(this, bx, by, fQ);
      if (!bEntropyOnly) m_pKernels->pfnInverseDct(m_apfBlock);
      UpdateContextLines(this, bx, iLast);
    }
    if (!KeepGoing(by + 1, iBlocksY)) return kCancelled;
  }
  return m_pBitReader.GetByteCount();
}

}  // namespace tarn
