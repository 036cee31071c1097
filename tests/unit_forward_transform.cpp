#include <gtest/gtest.h>

#include <random>

#include "block_codec.h"
#include "dct.h"
#include "test_files.h"

using namespace tarn;

namespace {
std::vector<unsigned char> RandomPixels(std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> pixels(count);
  for (auto& p : pixels) p = static_cast<unsigned char>(rng());
  return pixels;
}

// The plane after a plain block DCT of the pixels.
std::vector<float> PlainDct(const std::vector<unsigned char>& pixels, std::uint32_t w, std::uint32_t h) {
  CBlockEncoder codec(w, h);
  codec.ForwardTransform(pixels.data(), w, 2, nullptr);
  std::vector<float> plane(w * h);
  codec.GetPlane(plane.data());
  return plane;
}
}  // namespace

// In a 16 x 16 image only the four 4 x 4 corner squares escape both filter
// passes; the DCT is checked separately, so compare before it by undoing it.
TEST(ForwardTransform, SixteenBySixteenTouchesAllButTheCorners) {
  std::vector<unsigned char> pixels = RandomPixels(256, 5);
  CBlockEncoder codec(16, 16);
  codec.ForwardTransform(pixels.data(), 16, 0, nullptr);
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      codec.SetBlock(bx, by);
      InverseDct8x8(codec.m_apfBlock);
    }
  int changed = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool corner = (y < 4 || y >= 12) && (x < 4 || x >= 12);
      float diff = codec._d[y][x] - pixels[16 * y + x];
      if (corner)
        EXPECT_NEAR(diff, 0.0f, 1e-4) << y << "," << x;
      else
        changed += std::fabs(diff) > 1e-3f;
    }
  EXPECT_GT(changed, 150);
}

TEST(ForwardTransform, ConstantImageGivesDcOnly) {
  std::vector<unsigned char> pixels(32 * 32, 77);
  for (int type : {0, 1, 5}) {
    CBlockEncoder codec(32, 32);
    codec.ForwardTransform(pixels.data(), 32, type, nullptr);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        if (y % 8 == 0 && x % 8 == 0)
          EXPECT_NEAR(codec._d[y][x], 8 * 77.0f, 1e-3);
        else
          EXPECT_NEAR(codec._d[y][x], 0.0f, 1e-3);
      }
  }
}

TEST(ForwardTransform, NoFilterAndIdentityMatrixGiveThePlainDct) {
  const std::uint32_t w = 48, h = 32;
  std::vector<unsigned char> pixels = RandomPixels(w * h, 9);
  std::vector<float> plain(w * h);
  for (std::uint32_t by = 0; by < h / 8; ++by)
    for (std::uint32_t bx = 0; bx < w / 8; ++bx) {
      float* rows[8];
      for (int r = 0; r < 8; ++r) {
        rows[r] = plain.data() + (8 * by + r) * w + 8 * bx;
        for (int c = 0; c < 8; ++c) rows[r][c] = pixels[(8 * by + r) * w + 8 * bx + c];
      }
      ForwardDct8x8(rows);
    }
  EXPECT_EQ(PlainDct(pixels, w, h), plain);
  std::vector<float> identity(256, 0.0f);
  for (int i = 0; i < 8; ++i) identity[17 * i] = 1.0f;
  CBlockEncoder codec(w, h);
  codec.ForwardTransform(pixels.data(), w, -1, identity.data());
  std::vector<float> plane(w * h);
  codec.GetPlane(plane.data());
  EXPECT_EQ(plane, plain);
}

TEST(ForwardTransform, FilteredValuesLeaveTheByteRange) {
  // A vertical edge 0 | 8 at column 8: the pre-filter gives about -5 and 13,
  // unclipped, which the DCT of the first block row then sees.
  std::vector<unsigned char> pixels(16 * 16, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 8; x < 16; ++x) pixels[16 * y + x] = 8;
  CBlockEncoder codec(16, 16);
  codec.ForwardTransform(pixels.data(), 16, 0, nullptr);
  InverseDct8x8((codec.SetBlock(0, 0), codec.m_apfBlock));
  EXPECT_NEAR(codec._d[0][7], -5.054218f, 1e-4);
  InverseDct8x8((codec.SetBlock(1, 0), codec.m_apfBlock));
  EXPECT_NEAR(codec._d[0][8], 13.05422f, 1e-4);
}
