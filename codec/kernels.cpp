#include "kernels.h"

#include "dct.h"
#include "line_filters.h"

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
}  // namespace

const Kernels kPortableKernels = {"portable", FilterLines8, ForwardDct8x8, InverseDct8x8, ToBytes};

const Kernels* Avx2Kernels() { return __builtin_cpu_supports("avx2") ? &kAvx2Kernels : nullptr; }

const Kernels& BestKernels() {
  static const Kernels* const pBest = Avx2Kernels() != nullptr ? Avx2Kernels() : &kPortableKernels;
  return *pBest;
}

}  // namespace tarn
