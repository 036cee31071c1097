#include "kernels.h"

#include <cstdlib>

#include "dct.h"
#include "line_filters.h"
#include "quantiser.h"

namespace tarn {

namespace {
void FilterLines8(float* p, std::size_t iLineStep, std::size_t iSampleStep, int iLines, bool bPre, int iType,
                  const float* pfMatrix) {
  int aiOffsets[16];
  for (int k = 0; k < 16; ++k) aiOffsets[k] = static_cast<int>(k * iSampleStep);
  for (int i = 0; i < iLines; ++i) FilterLine8(p + i * iLineStep, aiOffsets, bPre, iType, pfMatrix);
}

void ToBytes(const float* pfIn, unsigned char* pcOut, std::size_t iCount) {
  for (std::size_t i = 0; i < iCount; ++i) pcOut[i] = ToByte(pfIn[i]);
}

bool QuantiseBlock(const float* pfBlock, std::size_t iRow, float fDc, float fQ, int* piOut) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      if (!Quantise(r + c == 0 ? fDc : pfBlock[r * iRow + c], fQ, &piOut[8 * r + c])) return false;
  return true;
}

void DequantiseBlock(const int* piCoef, float fQ, float* const* ppfRows) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) ppfRows[r][c] = Dequantise(piCoef[8 * r + c], fQ);
}
// a / 2 < T stands for a < 2T, which does not fit 32 bits at T = 2^30.
std::uint64_t InPlane(const int* piCoef, int T) {
  std::uint64_t iMask = 0;
  for (int i = 0; i < 64; ++i) {
    const int a = std::abs(piCoef[i]);
    iMask |= std::uint64_t(a >= T && a / 2 < T) << i;
  }
  return iMask;
}
}  // namespace

const Kernels kPortableKernels = {"portable", FilterLines8,    ForwardDct8x8, InverseDct8x8,
                                  ToBytes,    QuantiseBlock,   DequantiseBlock, InPlane};

const Kernels* Avx2Kernels() { return __builtin_cpu_supports("avx2") ? &kAvx2Kernels : nullptr; }

const Kernels& BestKernels() {
  static const Kernels* const pBest = Avx2Kernels() != nullptr ? Avx2Kernels() : &kPortableKernels;
  return *pBest;
}

}  // namespace tarn
