// What the two coefficient coders share: the dead-zone quantiser, the
// dequantisation, the rounded mean of their DC predictors and the limit that
// tells a damaged payload.
#pragma once

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "block_codec.h"
#include "parallel.h"

namespace tarn {

// The dead-zone offset is a single-precision constant (0.3799999952...):
// taking it in double precision would move some decision boundaries.
constexpr float kDeadZoneOffset = 0.38f;

// A well-formed payload is never read more than two bytes past its end (the
// decoder reads 13 bits more than the encoder wrote); a reader that went
// further was fed a damaged or truncated payload.
constexpr int kMaxBytesPastEnd = 2;

// v / q + 0.38 (the offset takes the sign of v), truncated toward zero.
// False when the result does not fit 32 bits; NaN and infinite quotients do
// not fit either, so no conversion here is ever undefined.
inline bool Quantise(float fValue, float fQ, int* piIndex) {
  double fOffset = fValue >= 0 ? double(kDeadZoneOffset) : -double(kDeadZoneOffset);
  double t = double(fValue) / fQ + fOffset;
  if (!(std::fabs(t) < 2147483648.0)) return false;
  *piIndex = static_cast<int>(t);
  return true;
}

// index x q rounded once; a zero index gives 0 whatever q is.
inline float Dequantise(int iIndex, float fQ) {
  return iIndex == 0 ? 0.0f : static_cast<float>(double(iIndex) * fQ);
}

// (a + b + 1) / 2 truncated toward zero. The truncation stays in floating
// point, so huge or non-finite line values never meet an int conversion.
inline float RoundedMean(float a, float b) {
  return static_cast<float>(std::trunc((double(a) + b + 1) / 2));
}

// Quantising a plane into the coefficient store (the plane's own memory)
// takes two passes. First the DCs in block order, since each is coded as
// the residual from a prediction made of the DCs before it:
// fnPredict(bx, by) gives the prediction and fnUpdate(bx, index,
// prediction) takes the quantised residual into the predictor's line. The
// pass leaves each residual in place of its block's DC sample. False when a
// residual does not fit 32 bits.
template <typename Predict, typename Update>
bool QuantiseDcs(CBlockCodec* pCodec, float fQ, Predict fnPredict, Update fnUpdate) {
  for (int by = 0; by < static_cast<int>(pCodec->m_iBlocksY); ++by)
    for (int bx = 0; bx < static_cast<int>(pCodec->m_iBlocksX); ++bx) {
      float& fDc = pCodec->_d[8 * std::size_t(by)][8 * bx];
      const float fPrediction = fnPredict(bx, by);
      const float fResidual = static_cast<float>(double(fDc) - fPrediction);
      int iIndex;
      if (!Quantise(fResidual, fQ, &iIndex)) return false;
      fnUpdate(bx, iIndex, fPrediction);
      fDc = fResidual;
    }
  return true;
}

// Then the bands of block rows, each on its own, on as many threads as the
// object may use: a band is copied aside and quantised into the same
// memory; fnBlock(bx, by) is told of each block once it is in the store.
// False when a value does not fit 32 bits.
template <typename Visit>
bool QuantiseBands(CBlockCodec* pCodec, float fQ, Visit fnBlock) {
  const std::size_t iWidth = pCodec->m_iWidth;
  std::atomic<bool> bFits{true};
  ParallelRanges(pCodec->m_iThreads, static_cast<int>(pCodec->m_iBlocksY), 4, [&](int by0, int by1) {
    std::vector<float> vBand(8 * iWidth);
    for (int by = by0; by < by1; ++by) {
      std::memcpy(vBand.data(), pCodec->_d[8 * std::size_t(by)], vBand.size() * sizeof(float));
      for (int bx = 0; bx < static_cast<int>(pCodec->m_iBlocksX); ++bx) {
        const float* pfBlock = vBand.data() + 8 * bx;
        if (!pCodec->m_pKernels->pfnQuantiseBlock(pfBlock, iWidth, pfBlock[0], fQ, pCodec->EcebBlock(bx, by)))
          bFits = false;
        else
          fnBlock(bx, by);
      }
    }
  });
  return bFits;
}

// Dequantises a block's 64 coefficients (raster order) into block (bx, by)
// of the plane; the DC without its prediction.
inline void DequantiseBlock(CBlockCodec* pCodec, const int* piCoef, int bx, int by, float fQ) {
  pCodec->SetBlock(bx, by);
  pCodec->m_pKernels->pfnDequantiseBlock(piCoef, fQ, pCodec->m_apfBlock);
}

}  // namespace tarn
