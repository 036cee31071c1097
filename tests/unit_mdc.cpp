#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "block_codec.h"

using namespace tarn;

namespace {
// A plane whose every sample tells its position: 1000 * row + column.
void FillPositions(CBlockCodec& codec) {
  for (std::uint32_t y = 0; y < codec.m_iHeight; ++y)
    for (std::uint32_t x = 0; x < codec.m_iWidth; ++x) codec._d[y][x] = 1000.0f * y + x;
}

// Checks that block (i, j) of a description array of the given width holds
// full-plane block (bi, bj) sample for sample.
void ExpectBlock(const std::vector<float>& description, std::uint32_t width, int i, int j, int bi,
                 int bj) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      ASSERT_EQ(description[(8 * i + r) * width + 8 * j + c], 1000.0f * (8 * bi + r) + 8 * bj + c)
          << "description block (" << i << ", " << j << ") sample (" << r << ", " << c << ")";
}
}  // namespace

TEST(Mdc, SixteenBySixteenHasOneBlockPerDescription) {
  CBlockCodec full(16, 16);
  FillPositions(full);
  const int expected[][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  for (int k = 0; k < 4; ++k) {
    std::vector<float> description(64, -1.0f);
    full.ExtractDescription(description.data(), k);
    ExpectBlock(description, 8, 0, 0, expected[k][0], expected[k][1]);
  }
}

TEST(Mdc, ThirtyTwoByThirtyTwoDescriptionOne) {
  CBlockCodec full(32, 32);
  FillPositions(full);
  std::vector<float> description(256, -1.0f);
  full.ExtractDescription(description.data(), 1);
  ExpectBlock(description, 16, 0, 0, 0, 1);
  ExpectBlock(description, 16, 0, 1, 0, 3);
  ExpectBlock(description, 16, 1, 0, 2, 1);
  ExpectBlock(description, 16, 1, 1, 2, 3);
}

TEST(Mdc, OtherDescriptionNumbersActAsZero) {
  CBlockCodec full(48, 32);
  FillPositions(full);
  std::vector<float> zero(24 * 16), other(24 * 16);
  full.ExtractDescription(zero.data(), 0);
  for (int k : {7, -1, 4}) {
    full.ExtractDescription(other.data(), k);
    EXPECT_EQ(other, zero) << "k = " << k;
  }
  CBlockCodec part(24, 16);
  part.SetPlane(zero.data());
  std::vector<float> inserted0(48 * 32, -1.0f), inserted7(48 * 32, -1.0f);
  part.InsertDescription(inserted0.data(), 0);
  part.InsertDescription(inserted7.data(), 7);
  EXPECT_EQ(inserted7, inserted0);
}

// A non-square plane split into four description objects and merged back.
TEST(Mdc, ExtractThenInsertRebuildsThePlane) {
  const std::uint32_t w = 48, h = 32;
  CBlockCodec full(w, h);
  FillPositions(full);
  full._d[5][7] = -0.0f;  // copied bit for bit
  full._d[20][40] = std::nanf("");
  std::vector<float> merged(w * h, -1.0f);
  for (int k = 0; k < 4; ++k) {
    std::vector<float> description(w * h / 4);
    full.ExtractDescription(description.data(), k);
    CBlockCodec part(w / 2, h / 2);
    part.SetPlane(description.data());
    std::vector<float> before = merged;
    part.InsertDescription(merged.data(), k);
    // Each description fills exactly its own quarter of the blocks.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < merged.size(); ++i) {
      if (std::memcmp(&merged[i], &before[i], 4) == 0) continue;
      ++changed;
      EXPECT_EQ(static_cast<int>(i / w / 8 % 2), k / 2) << "k = " << k;
      EXPECT_EQ(static_cast<int>(i % w / 8 % 2), k % 2) << "k = " << k;
    }
    EXPECT_EQ(changed, w * h / 4) << "k = " << k;
  }
  EXPECT_EQ(std::memcmp(merged.data(), full._d[0], 4 * w * h), 0);
}
