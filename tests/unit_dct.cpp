#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dct.h"

using namespace tarn;

namespace {
// A block held in a larger plane with a row distance of 13 floats, to show
// that the transforms work through arbitrary row pointers.
struct Block {
  std::vector<float> plane = std::vector<float>(8 * 13, -1.0f);
  float* rows[8];
  Block() {
    for (int r = 0; r < 8; ++r) rows[r] = plane.data() + 13 * r + 2;
  }
};
}  // namespace

TEST(Dct, FlatBlock) {
  Block b;
  for (auto* row : b.rows) std::fill(row, row + 8, 128.0f);
  ForwardDct8x8(b.rows);
  EXPECT_EQ(b.rows[0][0], 1023.99994f);
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      if (u || v) {
        EXPECT_EQ(b.rows[v][u], 0.0f);
      }
    }
  InverseDct8x8(b.rows);
  // 127.99998 to eight digits: two float steps below 128.
  const float below128 = std::nextafter(std::nextafter(128.0f, 0.0f), 0.0f);
  for (auto* row : b.rows)
    for (int u = 0; u < 8; ++u) EXPECT_EQ(row[u], below128);
  EXPECT_EQ(b.plane[0], -1.0f);  // nothing outside the block is touched
  EXPECT_EQ(b.plane[12], -1.0f);
}

TEST(Dct, DcOnlyBlockGivesEighthEverywhere) {
  Block b;
  for (auto* row : b.rows) std::fill(row, row + 8, 0.0f);
  b.rows[0][0] = 800.0f;
  InverseDct8x8(b.rows);
  for (auto* row : b.rows)
    for (int u = 0; u < 8; ++u) EXPECT_NEAR(row[u], 100.0f, 1e-4);
}

TEST(Dct, LowestCosineBasis) {
  for (bool transposed : {false, true}) {
    Block b;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        b.rows[y][x] = static_cast<float>(std::cos((2 * (transposed ? y : x) + 1) * M_PI / 16));
    ForwardDct8x8(b.rows);
    for (int v = 0; v < 8; ++v)
      for (int u = 0; u < 8; ++u) {
        bool peak = transposed ? (v == 1 && u == 0) : (v == 0 && u == 1);
        if (peak) {
          EXPECT_FLOAT_EQ(b.rows[v][u], 5.6568537f);
        } else {
          EXPECT_NEAR(b.rows[v][u], 0.0f, 1e-6);
        }
      }
  }
}

TEST(Dct, RoundTripOfEightBitSamples) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    Block b;
    float original[8][8];
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) b.rows[y][x] = original[y][x] = static_cast<float>(rng() % 256);
    ForwardDct8x8(b.rows);
    InverseDct8x8(b.rows);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) ASSERT_NEAR(b.rows[y][x], original[y][x], 1e-4);
  }
}
