#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <limits>
#include <vector>

#include "block_codec.h"
#include "dct.h"

using namespace tarn;

namespace {
// Matrix filters of row stride 16, a multiple of the identity in the top-left
// n x n corner.
std::vector<float> Scaled(float factor, int n = 8) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < n; ++i) m[i * 16 + i] = factor;
  return m;
}

void ReconstructPlain(CBlockDecoder& codec, unsigned char* out, int type, const float* post,
                      const float* loss, int loss_config, int loss_size) {
  FilterBank bank;
  bank.m_iType = type;
  std::copy(post, post + 256, bank.m_afPostFilter);
  std::copy(loss, loss + 256, bank.m_afLossPostFilter);
  bank.m_iLossPostFilterSize = loss_size;
  LossSettings settings;
  settings.iConfig = loss_config;
  codec.Reconstruct(out, codec.m_iWidth, bank, settings);
}

class Reconstruction : public ::testing::Test {};

std::vector<float> Ramp(std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(40 + (i * 37) % 170);
  return v;
}
}  // namespace

// An 8 x 8 plane has no interior boundary, so Reconstruct only converts.
TEST_F(Reconstruction, ByteConversionThresholdsAndTruncation) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float sample;
    unsigned char byte;
  } cases[] = {{99.99998f, 99}, {254.5f, 255}, {254.0f, 254}, {254.01f, 255}, {0.99f, 0},
               {1.0f, 1},       {1.99f, 1},    {-0.5f, 0},    {-300.0f, 0},  {300.0f, 255},
               {128.7f, 128},   {nan, 0},      {inf, 255},    {-inf, 0}};
  std::vector<float> plane(64, 50.0f);
  for (std::size_t i = 0; i < std::size(cases); ++i) plane[i] = cases[i].sample;
  CBlockDecoder codec(8, 8);
  codec.SetPlane(plane.data());
  std::vector<float> zero(256, 0.0f);
  std::vector<unsigned char> out(64, 77);
  ReconstructPlain(codec, out.data(), 0, zero.data(), zero.data(), 0, 0);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(out[i], cases[i].byte) << "sample " << cases[i].sample;
  EXPECT_EQ(out[63], 50);
}

// With the matrix 2 I every filtered pass doubles a sample, so the factor
// of each sample shows which passes reached it.
TEST_F(Reconstruction, PostFilterGridCoversInteriorBoundariesOnly) {
  struct Case {
    std::uint32_t width, height;
    std::uint32_t last_col, last_row;  // last column / row that is filtered
  };
  for (Case c : {Case{16, 16, 11, 11}, Case{24, 16, 19, 11}, Case{16, 32, 11, 27}}) {
    CBlockDecoder codec(c.width, c.height);
    std::vector<float> plane(c.width * c.height);
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<float>(i % 97 + 1);
    codec.SetPlane(plane.data());
    std::vector<float> doubling = Scaled(2.0f);
    codec.PostFilter(-1, doubling.data());
    for (std::uint32_t y = 0; y < c.height; ++y)
      for (std::uint32_t x = 0; x < c.width; ++x) {
        float factor = (y >= 4 && y <= c.last_row ? 2.0f : 1.0f) * (x >= 4 && x <= c.last_col ? 2.0f : 1.0f);
        ASSERT_EQ(codec._d[y][x], factor * plane[y * c.width + x])
            << c.width << " x " << c.height << " at row " << y << ", column " << x;
      }
  }
}

// Pre-filter grid and DCT, then inverse DCT and the post-filter grid: the
// built-in filters give the pixels back up to rounding.
TEST_F(Reconstruction, PostFilterGridUndoesThePreFilterGrid) {
  const std::uint32_t w = 40, h = 24;
  std::vector<unsigned char> pixels(w * h);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = static_cast<unsigned char>((i * 131 + (i / w) * 17) % 256);
  for (int type : {0, 1, 5}) {
    CBlockEncoder encoder(w, h);
    encoder.ForwardTransform(pixels.data(), w, type, nullptr);
    for (std::uint32_t by = 0; by < h / 8; ++by)
      for (std::uint32_t bx = 0; bx < w / 8; ++bx) {
        encoder.SetBlock(static_cast<int>(bx), static_cast<int>(by));
        InverseDct8x8(encoder.m_apfBlock);
      }
    std::vector<float> plane(w * h);
    encoder.GetPlane(plane.data());
    CBlockDecoder decoder(w, h);
    decoder.SetPlane(plane.data());
    decoder.PostFilter(type, nullptr);
    double worst = 0;
    for (std::uint32_t y = 0; y < h; ++y)
      for (std::uint32_t x = 0; x < w; ++x)
        worst = std::max(worst, std::fabs(double(decoder._d[y][x]) - pixels[y * w + x]));
    EXPECT_LT(worst, 1e-3) << "type " << type;
  }
}

// Reconstruct picks the plain grid without loss whatever the loss post-filter,
// and also when there is no loss post-filter to pick.
TEST_F(Reconstruction, PlainPostFilterWithoutLossOrWithoutLossFilter) {
  const std::uint32_t w = 32, h = 32;
  const std::vector<float> plane = Ramp(w * h);
  const std::vector<float> post = Scaled(0.5f);
  struct Case {
    int loss_config, loss_size;
  };
  for (Case c : {Case{0, 8}, Case{0, 16}, Case{0, 0}, Case{3, 0}}) {
    const std::vector<float> loss = Scaled(3.0f, c.loss_size == 16 ? 16 : 8);
    CBlockDecoder reference(w, h);
    reference.SetPlane(plane.data());
    reference.m_iBoundaryLoss = 1;
    reference.SimulateLoss(c.loss_config);
    reference.ConcealLostBlocks(c.loss_config, 1, FilterBank());
    reference.PostFilter(-1, post.data());
    std::vector<unsigned char> expected(w * h);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      float x = reference._d[0][i];
      expected[i] = x < 1.0f ? 0 : x > 254.0f ? 255 : static_cast<unsigned char>(x);
    }
    CBlockDecoder codec(w, h);
    codec.SetPlane(plane.data());
    std::vector<unsigned char> out(w * h);
    ReconstructPlain(codec, out.data(), -1, post.data(), loss.data(), c.loss_config, c.loss_size);
    EXPECT_EQ(out, expected) << "loss config " << c.loss_config << ", size " << c.loss_size;
  }
}
