#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "block_codec.h"
#include "test_files.h"

using namespace tarn;

namespace {
// 16 x 16 matrices (stride 16). A scaling matrix makes every operation leave
// its factor in the samples it covers, so that on a plane of ones each
// sample ends up as the product of the operations that reached it: with the
// post-filter 2 I and the loss post-filter 3 I the sample tells how many of
// each kind covered it.
std::vector<float> Scale(int n, float f) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < n; ++i) m[16 * i + i] = f;
  return m;
}

std::vector<float> Reverse(int n) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < n; ++i) m[16 * i + (n - 1 - i)] = 1.0f;
  return m;
}

std::vector<float> Corner(const std::vector<float>& m8) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) m[16 * i + j] = m8[8 * i + j];
  return m;
}

void FillOnes(CBlockDecoder& dec) {
  std::vector<float> ones(static_cast<std::size_t>(dec.m_iWidth) * dec.m_iHeight, 1.0f);
  dec.SetPlane(ones.data());
}

void FillRandom(CBlockDecoder& dec, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(0.0f, 255.0f);
  std::vector<float> v(static_cast<std::size_t>(dec.m_iWidth) * dec.m_iHeight);
  for (float& x : v) x = dist(rng);
  dec.SetPlane(v.data());
}

std::vector<float> Plane(const CBlockDecoder& dec) {
  std::vector<float> v(static_cast<std::size_t>(dec.m_iWidth) * dec.m_iHeight);
  dec.GetPlane(v.data());
  return v;
}
}  // namespace

TEST(PostFilterNonPr, NothingLostIsThePlainGrid) {
  const std::vector<float> post = Corner(BuiltInFilterMatrix(0, false));
  const std::vector<float> loss = Scale(8, 3.0f);
  for (int type : {0, -1})
    for (int iSwitch : {0, 1}) {
      CBlockDecoder plain(48, 32), nonPr(48, 32);
      FillRandom(plain, 5);
      FillRandom(nonPr, 5);
      // Only the copy of the mask counts; concealment may have cleared or
      // kept entries of the mask itself.
      nonPr.m_pcDataLossMask[1][1] = 1;
      plain.PostFilter(type, post.data());
      nonPr.PostFilterNonPr(type, iSwitch, post.data(), loss.data());
      EXPECT_EQ(Plane(nonPr), Plane(plain)) << "type " << type << " switch " << iSwitch;
    }
}

TEST(PostFilterNonPr, SwitchDecidesTheVerticalBoundaries) {
  // 4 x 4 blocks, block (1, 1) lost. Its horizontal boundaries (filtering
  // down columns 8..15, rows 4..11 and 12..19) always take the loss filter;
  // its vertical ones (rows 8..15, columns 4..11 and 12..19) only with the
  // switch set.
  struct Case {
    int y, x;
    float off, on;
  };
  const Case cases[] = {
      {10, 10, 6, 9}, {14, 10, 6, 9}, {10, 14, 6, 9},  // inside the lost block
      {10, 6, 4, 6},                                   // left of it: vertical boundary only
      {6, 10, 6, 6},                                   // above it: horizontal boundary only
      {10, 2, 2, 2},  {2, 10, 2, 2},                   // one regular boundary each
      {20, 10, 4, 4}, {10, 20, 4, 4}, {12, 20, 4, 4},  // away from the loss
      {0, 0, 1, 1},   {31, 31, 1, 1},                  // image corners are never filtered
  };
  const std::vector<float> post = Scale(8, 2.0f), loss = Scale(8, 3.0f);
  for (int iSwitch : {0, 1}) {
    CBlockDecoder dec(32, 32);
    FillOnes(dec);
    dec.m_pcDataLossMaskCopy[1][1] = 1;
    dec.PostFilterNonPr(-1, iSwitch, post.data(), loss.data());
    for (const Case& k : cases)
      EXPECT_EQ(dec._d[k.y][k.x], iSwitch ? k.on : k.off) << "switch " << iSwitch << " at " << k.y << "," << k.x;
  }
}

TEST(PostFilterWiener16, OperationsAlongALineOfBlocks) {
  // A line of n blocks, as a row (n x 1 blocks) and as a column (1 x n):
  // the factor left at each position along the line, as runs of
  // (factor, length).
  struct Case {
    const char* what;
    int n;
    std::vector<int> lost;
    std::vector<std::pair<float, int>> runs;
  };
  const Case cases[] = {
      {"nothing lost", 4, {}, {{1, 4}, {2, 24}, {1, 4}}},
      {"interior: one 16-sample operation, no 8-sample one", 4, {1}, {{1, 4}, {3, 16}, {2, 8}, {1, 4}}},
      {"first block: no effect", 4, {0}, {{1, 4}, {2, 24}, {1, 4}}},
      {"last block: regular filter", 4, {3}, {{1, 4}, {2, 24}, {1, 4}}},
      {"last two: both at the last boundary", 4, {2, 3}, {{1, 4}, {2, 8}, {3, 8}, {6, 8}, {1, 4}}},
      {"side by side", 4, {1, 2}, {{1, 4}, {3, 8}, {9, 8}, {3, 8}, {1, 4}}},
      {"side by side, then received", 5, {1, 2}, {{1, 4}, {3, 8}, {9, 8}, {3, 8}, {2, 8}, {1, 4}}},
      {"two blocks wide", 2, {1}, {{1, 4}, {2, 8}, {1, 4}}},
      {"two blocks wide, first lost", 2, {0}, {{1, 4}, {2, 8}, {1, 4}}},
  };
  const std::vector<float> post = Scale(8, 2.0f), loss = Scale(16, 3.0f);
  for (int dir : {0, 1})
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(k.what) + (dir == 0 ? ", along a row" : ", down a column"));
      CBlockDecoder dec(dir == 0 ? 8 * k.n : 8, dir == 0 ? 8 : 8 * k.n);
      FillOnes(dec);
      for (int b : k.lost) (dir == 0 ? dec.m_pcDataLossMaskCopy[0][b] : dec.m_pcDataLossMaskCopy[b][0]) = 1;
      dec.PostFilterWiener16(-1, post.data(), loss.data());
      std::vector<float> expected;
      for (auto [factor, length] : k.runs) expected.insert(expected.end(), length, factor);
      ASSERT_EQ(expected.size(), 8u * k.n);
      for (int p = 0; p < 8 * k.n; ++p)
        for (int q = 0; q < 8; ++q)
          ASSERT_EQ(dir == 0 ? dec._d[q][p] : dec._d[p][q], expected[p]) << "position " << p << " line " << q;
    }
}

TEST(PostFilterWiener16, SecondOperationWorksOnTheFirstOnesOutput) {
  // Reversals show the order: lost blocks 1 and 2 of 4; columns 4..19 are
  // reversed, then columns 12..27; the boundary after block 2 is skipped.
  const float kExpected[32] = {0,  1,  2,  3,  19, 18, 17, 16, 15, 14, 13, 12, 27, 26, 25, 24,
                               23, 22, 21, 20, 4,  5,  6,  7,  8,  9,  10, 11, 28, 29, 30, 31};
  CBlockDecoder dec(32, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) dec._d[y][x] = static_cast<float>(x);
  dec.m_pcDataLossMaskCopy[0][1] = dec.m_pcDataLossMaskCopy[0][2] = 1;
  const std::vector<float> post = Reverse(8), loss = Reverse(16);
  dec.PostFilterWiener16(-1, post.data(), loss.data());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(dec._d[y][x], kExpected[x]) << y << "," << x;
}

TEST(PostFilterWiener16, NothingLostDiffersFromThePlainGridOnlyByRounding) {
  const std::vector<float> loss = Scale(16, 3.0f);
  CBlockDecoder plain(48, 32), wiener(48, 32);
  FillRandom(plain, 9);
  FillRandom(wiener, 9);
  wiener.m_pcDataLossMask[2][2] = 1;  // only the copy counts
  plain.PostFilter(0, nullptr);
  wiener.PostFilterWiener16(0, nullptr, loss.data());
  const std::vector<float> a = Plane(plain), b = Plane(wiener);
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 1e-3) << i;
}
