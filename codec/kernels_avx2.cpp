// The kernels for processors with AVX2 (this file alone is compiled for it,
// and only the dispatch in kernels.cpp calls into it). Eight lines at a time,
// one per lane of a pair of four-double registers: every operation of the
// per-line code is done in double precision and every stored value rounded
// to float where that code rounds it, so the results are the same bits.
// Lines along rows are turned into lanes by transposing 8 x 8 tiles.
#include <immintrin.h>

#include <cstdint>

#include "dct.h"
#include "kernels.h"
#include "line_filters.h"

// Nothing inline from outside this file is used here: an inline function
// compiled for AVX2 could be the copy the linker keeps for everyone.

namespace tarn {

namespace {
// Eight lanes of doubles, each holding a float value exactly.
struct V {
  __m256d lo, hi;
};

inline V Widen(__m256 f) { return {_mm256_cvtps_pd(_mm256_castps256_ps128(f)), _mm256_cvtps_pd(_mm256_extractf128_ps(f, 1))}; }
inline __m256 Narrow(V v) { return _mm256_set_m128(_mm256_cvtpd_ps(v.hi), _mm256_cvtpd_ps(v.lo)); }
// The rounding to float of a stored value.
inline V R(V v) { return Widen(Narrow(v)); }
inline V operator+(V a, V b) { return {_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)}; }
inline V operator-(V a, V b) { return {_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)}; }
inline V operator*(V a, double c) {
  const __m256d k = _mm256_set1_pd(c);
  return {_mm256_mul_pd(a.lo, k), _mm256_mul_pd(a.hi, k)};
}
inline V operator*(double c, V a) { return a * c; }
inline V operator/(V a, double c) {
  const __m256d k = _mm256_set1_pd(c);
  return {_mm256_div_pd(a.lo, k), _mm256_div_pd(a.hi, k)};
}
inline V Zero() { return {_mm256_setzero_pd(), _mm256_setzero_pd()}; }

// Rows r0..r7 of an 8 x 8 tile become its columns.
inline void Transpose(__m256 (&r)[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
  r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// ---- Line filters (the per-line code is FilterLine8 in line_filters.cpp).

void Type0Pre(V* z) {
  for (int k = 0; k < 4; ++k) z[4 + k] = R(z[4 + k] * double(kType0Scale[k]));
  z[7] = R(z[7] - z[6] * 0.125);
  z[6] = R((z[7] - z[5]) * 0.375 + z[6]);
  z[5] = R((z[6] * 0.5 - z[4] * 0.375) + z[5]);
  z[4] = R(z[5] * 0.75 + z[4]);
}

void Type0Post(V* z) {
  z[4] = R(z[4] - z[5] * 0.75);
  z[5] = R(z[5] - (z[6] * 0.5 - z[4] * 0.375));
  z[6] = R(z[6] - (z[7] - z[5]) * 0.375);
  z[7] = R(z[6] * 0.125 + z[7]);
  for (int k = 0; k < 4; ++k) z[4 + k] = R(z[4 + k] / double(kType0Scale[k]));
}

void LiftPre(V* z, const LiftingConstants& c) {
  for (int k = 0; k < 4; ++k) z[4 + k] = R(z[4 + k] * double(c.s[k]));
  z[7] = R(z[7] - z[6] * double(c.l[0]));
  z[6] = R(z[7] * double(c.l[1]) + z[6]);
  z[6] = R(z[6] - z[5] * double(c.l[2]));
  z[5] = R(z[6] * double(c.l[3]) + z[5]);
  z[5] = R(z[5] - z[4] * double(c.l[4]));
  z[4] = R(z[5] * double(c.l[5]) + z[4]);
}

void LiftPost(V* z, const LiftingConstants& c) {
  z[4] = R(z[4] - z[5] * double(c.l[5]));
  z[5] = R(z[4] * double(c.l[4]) + z[5]);
  z[5] = R(z[5] - z[6] * double(c.l[3]));
  z[6] = R(z[5] * double(c.l[2]) + z[6]);
  z[6] = R(z[6] - z[7] * double(c.l[1]));
  z[7] = R(z[6] * double(c.l[0]) + z[7]);
  for (int k = 0; k < 4; ++k) z[4 + k] = R(z[4 + k] / double(c.s[k]));
}

// y = M x, accumulated in single precision column by column.
void Matrix8(V* z, const float* pfMatrix) {
  V y[8];
  for (int i = 0; i < 8; ++i) {
    y[i] = Zero();
    for (int j = 0; j < 8; ++j) y[i] = R(z[j] * double(pfMatrix[16 * i + j]) + y[i]);
  }
  for (int i = 0; i < 8; ++i) z[i] = y[i];
}

void Filter(V* z, bool bPre, int iType, const float* pfMatrix) {
  if (iType == -1) {
    Matrix8(z, pfMatrix);
    return;
  }
  for (int j = 0; j < 4; ++j) {
    z[j] = R(z[j] + z[7 - j]);
    z[7 - j] = R(z[j] * 0.5 - z[7 - j]);
  }
  if (iType == 0) {
    bPre ? Type0Pre(z) : Type0Post(z);
  } else if (iType == 1 || iType == 5) {
    const LiftingConstants& c = iType == 1 ? kType1 : kType5;
    bPre ? LiftPre(z, c) : LiftPost(z, c);
  }
  for (int j = 0; j < 4; ++j) {
    z[7 - j] = R(z[j] * 0.5 - z[7 - j]);
    z[j] = R(z[j] - z[7 - j]);
  }
}

// Eight lines down eight neighbouring columns: sample k of all of them is
// one row's eight floats.
void FilterColumns(float* p, std::size_t iSampleStep, bool bPre, int iType, const float* pfMatrix) {
  V z[8];
  for (int k = 0; k < 8; ++k) z[k] = Widen(_mm256_loadu_ps(p + k * iSampleStep));
  Filter(z, bPre, iType, pfMatrix);
  for (int k = 0; k < 8; ++k) _mm256_storeu_ps(p + k * iSampleStep, Narrow(z[k]));
}

// Eight lines along eight neighbouring rows.
void FilterRows(float* p, std::size_t iLineStep, bool bPre, int iType, const float* pfMatrix) {
  __m256 t[8];
  for (int r = 0; r < 8; ++r) t[r] = _mm256_loadu_ps(p + r * iLineStep);
  Transpose(t);
  V z[8];
  for (int k = 0; k < 8; ++k) z[k] = Widen(t[k]);
  Filter(z, bPre, iType, pfMatrix);
  for (int k = 0; k < 8; ++k) t[k] = Narrow(z[k]);
  Transpose(t);
  for (int r = 0; r < 8; ++r) _mm256_storeu_ps(p + r * iLineStep, t[r]);
}

void FilterLines8(float* p, std::size_t iLineStep, std::size_t iSampleStep, int iLines, bool bPre, int iType,
                  const float* pfMatrix) {
  int i = 0;
  if (iLineStep == 1)
    for (; i + 8 <= iLines; i += 8) FilterColumns(p + i, iSampleStep, bPre, iType, pfMatrix);
  else if (iSampleStep == 1)
    for (; i + 8 <= iLines; i += 8) FilterRows(p + i * iLineStep, iLineStep, bPre, iType, pfMatrix);
  if (i == iLines) return;
  int aiOffsets[16];
  for (int k = 0; k < 16; ++k) aiOffsets[k] = static_cast<int>(k * iSampleStep);
  for (; i < iLines; ++i) FilterLine8(p + i * iLineStep, aiOffsets, bPre, iType, pfMatrix);
}

// ---- Block DCT (the per-line code is in dct.cpp).

using namespace dct_cosines;

// The one-dimensional transforms on eight lines at once; x[k] holds sample
// k of every line. A division by 4 is a multiplication by 0.25: both are the
// same exactly rounded real quotient.
void Forward1D(V* x, bool bQuarter) {
  const V s07 = R(x[0] + x[7]), d07 = R(x[0] - x[7]);
  const V s16 = R(x[1] + x[6]), d16 = R(x[1] - x[6]);
  const V s25 = R(x[2] + x[5]), d25 = R(x[2] - x[5]);
  const V s34 = R(x[3] + x[4]), d34 = R(x[3] - x[4]);
  const V e0 = R(s07 + s34), e3 = R(s07 - s34);
  const V e1 = R(s16 + s25), e2 = R(s16 - s25);
  const V t1 = R((d16 - d25) * c4), t2 = R((d16 + d25) * c4);
  const V o0 = R(d34 + t1), o1 = R(d34 - t1);
  const V o2 = R(d07 - t2), o3 = R(d07 + t2);
  const double q = bQuarter ? 0.25 : 1.0;
  x[0] = R((e0 + e1) * c4 * q);
  x[4] = R((e0 - e1) * c4 * q);
  x[2] = R((c6 * e2 + c2 * e3) * q);
  x[6] = R((c6 * e3 - c2 * e2) * q);
  x[1] = R((c7 * o0 + c1 * o3) * q);
  x[7] = R((c7 * o3 - c1 * o0) * q);
  x[5] = R((c3 * o1 + c5 * o2) * q);
  x[3] = R((c3 * o2 - c5 * o1) * q);
}

void Inverse1D(V* X, bool bQuarter) {
  const V p0 = R((X[0] + X[4]) * c4), p1 = R((X[0] - X[4]) * c4);
  const V p2 = R(c6 * X[2] - c2 * X[6]), p3 = R(c2 * X[2] + c6 * X[6]);
  const V a0 = R(p0 + p3), a3 = R(p0 - p3);
  const V a1 = R(p1 + p2), a2 = R(p1 - p2);
  const V q0 = R(c7 * X[1] - c1 * X[7]), q3 = R(c1 * X[1] + c7 * X[7]);
  const V q1 = R(c3 * X[5] - c5 * X[3]), q2 = R(c5 * X[5] + c3 * X[3]);
  const V b3 = R(q0 + q1), r = R(q0 - q1);
  const V w = R(q3 - q2), b0 = R(q2 + q3);
  const V b2 = R((w - r) * c4), b1 = R((r + w) * c4);
  const double q = bQuarter ? 0.25 : 1.0;
  X[0] = R((a0 + b0) * q);
  X[7] = R((a0 - b0) * q);
  X[1] = R((a1 + b1) * q);
  X[6] = R((a1 - b1) * q);
  X[2] = R((a2 + b2) * q);
  X[5] = R((a2 - b2) * q);
  X[3] = R((a3 + b3) * q);
  X[4] = R((a3 - b3) * q);
}

// A pass over the eight lines of a tile whose lanes t[k] hold sample k.
template <typename Transform>
void Pass(__m256 (&t)[8], Transform transform, bool bQuarter) {
  V x[8];
  for (int k = 0; k < 8; ++k) x[k] = Widen(t[k]);
  transform(x, bQuarter);
  for (int k = 0; k < 8; ++k) t[k] = Narrow(x[k]);
}

// Rows first, then columns, as ForwardDct8x8: the row pass has the rows as
// lanes (the transposed tile), the column pass the columns (the tile).
void ForwardDct(float* const* ppfBlock) {
  __m256 t[8];
  for (int r = 0; r < 8; ++r) t[r] = _mm256_loadu_ps(ppfBlock[r]);
  Transpose(t);
  Pass(t, Forward1D, false);
  Transpose(t);
  Pass(t, Forward1D, true);
  for (int r = 0; r < 8; ++r) _mm256_storeu_ps(ppfBlock[r], t[r]);
}

void InverseDct(float* const* ppfBlock) {
  __m256 t[8];
  for (int r = 0; r < 8; ++r) t[r] = _mm256_loadu_ps(ppfBlock[r]);
  Pass(t, Inverse1D, false);
  Transpose(t);
  Pass(t, Inverse1D, true);
  Transpose(t);
  for (int r = 0; r < 8; ++r) _mm256_storeu_ps(ppfBlock[r], t[r]);
}

// ---- Conversion to bytes: below 1 (and NaN) 0, above 254 255, else the
// integer part.
void ToBytes(const float* pfIn, unsigned char* pcOut, std::size_t iCount) {
  std::size_t i = 0;
  const __m256 kOne = _mm256_set1_ps(1.0f), kTop = _mm256_set1_ps(254.0f);
  for (; i + 8 <= iCount; i += 8) {
    const __m256 x = _mm256_loadu_ps(pfIn + i);
    const __m256i iAtLeastOne = _mm256_castps_si256(_mm256_cmp_ps(x, kOne, _CMP_GE_OQ));
    const __m256i iAboveTop = _mm256_castps_si256(_mm256_cmp_ps(x, kTop, _CMP_GT_OQ));
    const __m256i iTruncated = _mm256_cvttps_epi32(_mm256_min_ps(x, kTop));
    __m256i v = _mm256_and_si256(iTruncated, iAtLeastOne);
    v = _mm256_or_si256(_mm256_andnot_si256(iAboveTop, v), _mm256_and_si256(iAboveTop, _mm256_set1_epi32(255)));
    const __m128i iWords = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pcOut + i), _mm_packus_epi16(iWords, iWords));
  }
  for (; i < iCount; ++i) {
    const float x = pfIn[i];
    pcOut[i] = !(x >= 1.0f) ? 0 : x > 254.0f ? 255 : static_cast<unsigned char>(x);
  }
}

// ---- Quantisation: t = v / q + 0.38 (the offset with the sign of v, taken
// as a float), truncated toward zero, refused unless |t| < 2^31.
bool QuantiseFour(__m256d v, __m256d q, int* piOut) {
  const __m256d kOffset = _mm256_set1_pd(double(0.38f)), kNegOffset = _mm256_set1_pd(-double(0.38f));
  const __m256d kLimit = _mm256_set1_pd(2147483648.0);
  const __m256d iNonNegative = _mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_GE_OQ);
  const __m256d t = _mm256_add_pd(_mm256_div_pd(v, q), _mm256_blendv_pd(kNegOffset, kOffset, iNonNegative));
  const __m256d iMagnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), t);
  if (_mm256_movemask_pd(_mm256_cmp_pd(iMagnitude, kLimit, _CMP_LT_OQ)) != 0xF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(piOut), _mm256_cvttpd_epi32(t));
  return true;
}

bool QuantiseBlock(const float* pfBlock, std::size_t iRow, float fDc, float fQ, int* piOut) {
  const __m256d q = _mm256_set1_pd(double(fQ));
  for (int r = 0; r < 8; ++r) {
    __m256 f = _mm256_loadu_ps(pfBlock + r * iRow);
    if (r == 0) f = _mm256_blend_ps(f, _mm256_set1_ps(fDc), 1);
    if (!QuantiseFour(_mm256_cvtps_pd(_mm256_castps256_ps128(f)), q, piOut + 8 * r) ||
        !QuantiseFour(_mm256_cvtps_pd(_mm256_extractf128_ps(f, 1)), q, piOut + 8 * r + 4))
      return false;
  }
  return true;
}

// index x q rounded once; a zero index gives 0 whatever q is.
__m128 DequantiseFour(__m128i iIndex, __m256d q) {
  const __m128 f = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(iIndex), q));
  return _mm_andnot_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(iIndex, _mm_setzero_si128())), f);
}

void DequantiseBlock(const int* piCoef, float fQ, float* const* ppfRows) {
  const __m256d q = _mm256_set1_pd(double(fQ));
  for (int r = 0; r < 8; ++r) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(piCoef + 8 * r));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(piCoef + 8 * r + 4));
    _mm_storeu_ps(ppfRows[r], DequantiseFour(lo, q));
    _mm_storeu_ps(ppfRows[r] + 4, DequantiseFour(hi, q));
  }
}

// ---- Coefficients of one plane: T <= |K| < 2T, the upper bound as
// |K| / 2 < T (2T does not fit 32 bits at T = 2^30).
std::uint64_t InPlane(const int* piCoef, int T) {
  const __m256i iBelow = _mm256_set1_epi32(T - 1), iTop = _mm256_set1_epi32(T);
  std::uint64_t iMask = 0;
  for (int k = 0; k < 8; ++k) {
    const __m256i a = _mm256_abs_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(piCoef + 8 * k)));
    // |INT_MIN| stays negative: never a quantised value (they are below 2^31).
    const __m256i iAtLeast = _mm256_cmpgt_epi32(a, iBelow);
    const __m256i iHalfBelow = _mm256_cmpgt_epi32(iTop, _mm256_srli_epi32(a, 1));
    const int iBits = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_and_si256(iAtLeast, iHalfBelow)));
    iMask |= std::uint64_t(static_cast<unsigned>(iBits)) << (8 * k);
  }
  return iMask;
}
}  // namespace

const Kernels kAvx2Kernels = {"avx2",        FilterLines8,    ForwardDct, InverseDct, ToBytes,
                              QuantiseBlock, DequantiseBlock, InPlane};

}  // namespace tarn
