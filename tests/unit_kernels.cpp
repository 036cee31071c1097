// Every set of kernels gives the portable set's bits: on random samples of
// every scale (sign, tiny and huge values, noise at which a changed rounding
// would show), for every filter type, direction and line layout, the DCTs
// and the conversion to bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels.h"

using namespace tarn;

namespace {
std::vector<const Kernels*> OtherKernels() {
  std::vector<const Kernels*> sets;
  if (Avx2Kernels() != nullptr) sets.push_back(Avx2Kernels());
  return sets;
}

std::vector<float> RandomSamples(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const float scales[] = {1.0f, 255.0f, 1e-30f, 1e30f, 3e38f};
  std::vector<float> v(count);
  for (std::size_t i = 0; i < count; ++i) v[i] = unit(rng) * scales[rng() % 5];
  return v;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}
}  // namespace

TEST(Kernels, LineFiltersMatchThePortableOnes) {
  const std::vector<const Kernels*> sets = OtherKernels();
  if (sets.empty()) GTEST_SKIP() << "this processor has no other kernels";
  const std::size_t w = 40, h = 27;  // 5 lines of 8, and some left over
  std::vector<float> matrix = RandomSamples(256, 3);
  for (float& m : matrix) m = std::fmod(m, 2.0f);
  for (const Kernels* k : sets)
    for (int type : {-1, 0, 1, 5, 3})
      for (bool pre : {true, false})
        for (bool rows : {true, false}) {
          SCOPED_TRACE(std::string(k->pcName) + " type " + std::to_string(type) + (pre ? " pre" : " post") +
                       (rows ? " rows" : " columns"));
          std::vector<float> expected = RandomSamples(w * h, 11 + type), got = expected;
          // Along rows: h lines of 8 from column 3; down columns: w - 4 lines
          // of 8 from row 2.
          const std::size_t line = rows ? w : 1, sample = rows ? 1 : w;
          const std::size_t first = rows ? 3 : 2 * w;
          const int lines = rows ? static_cast<int>(h) : static_cast<int>(w - 4);
          kPortableKernels.pfnFilterLines8(expected.data() + first, line, sample, lines, pre, type, matrix.data());
          k->pfnFilterLines8(got.data() + first, line, sample, lines, pre, type, matrix.data());
          EXPECT_TRUE(SameBits(expected, got));
        }
}

TEST(Kernels, DctsMatchThePortableOnes) {
  const std::vector<const Kernels*> sets = OtherKernels();
  if (sets.empty()) GTEST_SKIP() << "this processor has no other kernels";
  for (const Kernels* k : sets)
    for (unsigned seed = 0; seed < 200; ++seed) {
      std::vector<float> expected = RandomSamples(12 * 8, seed), got = expected;  // rows of 12, block at column 2
      float* pe[8];
      float* pg[8];
      for (int r = 0; r < 8; ++r) pe[r] = expected.data() + 12 * r + 2, pg[r] = got.data() + 12 * r + 2;
      kPortableKernels.pfnForwardDct(pe);
      k->pfnForwardDct(pg);
      ASSERT_TRUE(SameBits(expected, got)) << k->pcName << " forward, seed " << seed;
      kPortableKernels.pfnInverseDct(pe);
      k->pfnInverseDct(pg);
      ASSERT_TRUE(SameBits(expected, got)) << k->pcName << " inverse, seed " << seed;
    }
}

TEST(Kernels, BytesMatchThePortableOnes) {
  const std::vector<const Kernels*> sets = OtherKernels();
  if (sets.empty()) GTEST_SKIP() << "this processor has no other kernels";
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> samples = {0.99f, 1.0f, 1.5f, 99.99998f, 254.0f, 254.01f, 255.0f, -0.5f, -300.0f,
                                300.0f, inf, -inf, nan, 3e9f, -3e9f, 128.7f, 0.0f, -0.0f};
  for (float v : RandomSamples(1000, 5)) samples.push_back(v);
  for (int i = 0; i < 300; ++i) samples.push_back(-20.0f + i);
  for (const Kernels* k : sets) {
    std::vector<unsigned char> expected(samples.size()), got(samples.size());
    kPortableKernels.pfnToBytes(samples.data(), expected.data(), samples.size());
    k->pfnToBytes(samples.data(), got.data(), samples.size());
    EXPECT_EQ(got, expected) << k->pcName;
  }
}

TEST(Kernels, QuantisationMatchesThePortableOne) {
  const std::vector<const Kernels*> sets = OtherKernels();
  if (sets.empty()) GTEST_SKIP() << "this processor has no other kernels";
  std::mt19937 rng(9);
  for (const Kernels* k : sets)
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<float> block = RandomSamples(10 * 8, trial);
      const float q = trial % 3 == 0 ? 1e-30f : trial % 3 == 1 ? 0.37f : 20.0f;  // some refused
      const float dc = block[0] * 0.5f;
      int expected[64], got[64];
      const bool bExpected = kPortableKernels.pfnQuantiseBlock(block.data(), 10, dc, q, expected);
      ASSERT_EQ(k->pfnQuantiseBlock(block.data(), 10, dc, q, got), bExpected) << k->pcName << " trial " << trial;
      if (bExpected) {
        ASSERT_EQ(std::memcmp(expected, got, sizeof got), 0) << k->pcName << " trial " << trial;
      }
      // Dequantised back, and the coefficients of each plane.
      int coef[64];
      for (int& c : coef) c = static_cast<int>(rng() >> (rng() % 32)) * (rng() % 2 ? 1 : -1);
      coef[trial % 64] = 0;
      std::vector<float> pe(64), pg(64);
      float* re[8];
      float* rg[8];
      for (int r = 0; r < 8; ++r) re[r] = &pe[8 * r], rg[r] = &pg[8 * r];
      kPortableKernels.pfnDequantiseBlock(coef, q, re);
      k->pfnDequantiseBlock(coef, q, rg);
      ASSERT_TRUE(SameBits(pe, pg)) << k->pcName << " trial " << trial;
      for (int p = 0; p <= 30; ++p)
        ASSERT_EQ(k->pfnInPlane(coef, 1 << p), kPortableKernels.pfnInPlane(coef, 1 << p)) << "plane " << p;
    }
}
