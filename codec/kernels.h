// The codec's arithmetic kernels over many lines or blocks at once: the
// line filters of a whole boundary, the block DCTs and the conversion to
// bytes. A portable version and one for AVX2, chosen at run time by what
// the processor has. Both do every float operation of the per-line code in
// the same order, in double precision, rounded to float at the same points
// (vector lanes are independent lines, and no multiply is fused with an
// add), so their results are identical bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn {

struct Kernels {
  const char* pcName;
  // Filter8 on iLines lines of 8 samples: line i begins at p + i * iLineStep
  // and its sample k is k * iSampleStep further on. The lines must not
  // overlap (those of one boundary never do).
  void (*pfnFilterLines8)(float* p, std::size_t iLineStep, std::size_t iSampleStep, int iLines, bool bPre,
                          int iType, const float* pfMatrix);
  void (*pfnForwardDct)(float* const* ppfBlock);
  void (*pfnInverseDct)(float* const* ppfBlock);
  // The decoder's conversion of iCount samples to bytes.
  void (*pfnToBytes)(const float* pfIn, unsigned char* pcOut, std::size_t iCount);
  // Quantises the 64 samples of a block (row r at pfBlock + r * iRow), fDc in
  // place of its DC sample, with step fQ into piOut (raster order); false
  // when a value does not fit 32 bits.
  bool (*pfnQuantiseBlock)(const float* pfBlock, std::size_t iRow, float fDc, float fQ, int* piOut);
  // Dequantises 64 coefficients (raster order) into the rows of a block.
  void (*pfnDequantiseBlock)(const int* piCoef, float fQ, float* const* ppfRows);
  // Which of a block's 64 coefficients (raster order) have a magnitude in
  // [T, 2T): bit i for coefficient i.
  std::uint64_t (*pfnInPlane)(const int* piCoef, int T);
};

extern const Kernels kPortableKernels;
// Only for processors with AVX2 (see Avx2Kernels).
extern const Kernels kAvx2Kernels;

// The fastest set this processor runs.
const Kernels& BestKernels();
// The AVX2 set, or null where the processor lacks AVX2.
const Kernels* Avx2Kernels();

// Thresholds 1.0 and 254.0, truncating in between; NaN (from a stream whose
// q is not finite) goes to 0 rather than into an undefined conversion.
inline unsigned char ToByte(float x) {
  if (!(x >= 1.0f)) return 0;
  if (x > 254.0f) return 255;
  return static_cast<unsigned char>(x);
}

}  // namespace tarn
