// What the two coefficient coders share: the dead-zone quantiser, the
// dequantisation, the rounded mean of their DC predictors and the limit that
// tells a damaged payload.
#pragma once

#include <cmath>

#include "block_codec.h"

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

// Quantises block bx of a saved band (rows of the plane's width) into the
// coefficient store, its DC as the residual from the prediction. False when
// a value does not fit 32 bits.
inline bool QuantiseBlock(CBlockCodec* pCodec, const float* pfBand, int bx, int by, float fPrediction,
                          float fQ) {
  const float* pfBlock = pfBand + 8 * bx;
  const float fResidual = static_cast<float>(double(pfBlock[0]) - fPrediction);
  return pCodec->m_pKernels->pfnQuantiseBlock(pfBlock, pCodec->m_iWidth, fResidual, fQ, pCodec->EcebBlock(bx, by));
}

// Dequantises a block's 64 coefficients (raster order) into block (bx, by)
// of the plane; the DC without its prediction.
inline void DequantiseBlock(CBlockCodec* pCodec, const int* piCoef, int bx, int by, float fQ) {
  pCodec->SetBlock(bx, by);
  pCodec->m_pKernels->pfnDequantiseBlock(piCoef, fQ, pCodec->m_apfBlock);
}

}  // namespace tarn
