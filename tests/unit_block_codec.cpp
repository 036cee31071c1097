#include <gtest/gtest.h>

#include <cstring>

#include "block_codec.h"

using namespace tarn;

TEST(BlockCodec, ModelLimitsFollowTheWidth) {
  struct Case {
    std::uint32_t width;
    int limit, ecebSigLimit;
  };
  for (Case c : {Case{512, 512, 4096}, Case{256, 256, 2048}, Case{4096, 4096, kMaxModelLimit}}) {
    CBlockCodec codec(c.width, 16);
    EXPECT_EQ(codec.m_pSignModel.m_iLimit, c.limit);
    EXPECT_EQ(codec.m_apSigModel[17].m_iLimit, c.limit);
    EXPECT_EQ(codec.m_apEobModel[8].m_iLimit, c.limit);
    EXPECT_EQ(codec.m_apEcebEobModel[20].m_iLimit, c.limit);
    EXPECT_EQ(codec.m_pRefineModel.m_iLimit, c.limit);
    EXPECT_EQ(codec.m_apEcebSigModel[47].m_iLimit, c.ecebSigLimit);
    EXPECT_EQ(codec.m_apMagModel[3].m_iLimit, 50);
    EXPECT_EQ(codec.m_apMagModel[0].m_iTotal, 2);
    EXPECT_EQ(codec.m_apMagModel[0].m_iCount1, 1);
  }
}

TEST(BlockCodec, GeometryOffsetsAndZigzag) {
  CBlockCodec codec(512, 512);
  EXPECT_EQ(codec.m_iBlocksX, 64u);
  EXPECT_EQ(codec.m_iBlocksY, 64u);
  EXPECT_EQ(codec.m_aiVerOffset[15], 7680);
  EXPECT_EQ(codec.m_aiHorOffset[15], 15);
  for (int z = 0; z < 64; ++z)
    EXPECT_EQ(kRasterToZigzag[codec.m_aiZigzagRow[z] * 8 + codec.m_aiZigzagCol[z]], z);
  const int expected[][3] = {{0, 0, 0}, {1, 0, 1}, {2, 1, 0}, {3, 2, 0}, {4, 1, 1}, {5, 0, 2},
                             {6, 0, 3}, {7, 1, 2}, {8, 2, 1}, {9, 3, 0}, {10, 4, 0}, {11, 3, 1},
                             {12, 2, 2}, {13, 1, 3}, {14, 0, 4}, {15, 0, 5}, {35, 7, 0}, {36, 7, 1},
                             {42, 1, 7}, {60, 5, 7}, {61, 6, 7}, {62, 7, 6}, {63, 7, 7}};
  for (const auto& e : expected) {
    EXPECT_EQ(codec.m_aiZigzagRow[e[0]], e[1]) << "index " << e[0];
    EXPECT_EQ(codec.m_aiZigzagCol[e[0]], e[2]) << "index " << e[0];
  }
}

TEST(BlockCodec, PlaneCopiesAndIndexing) {
  const std::uint32_t w = 24, h = 16;
  CBlockCodec codec(w, h);
  std::vector<float> values(w * h);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 0.5f * static_cast<float>(i) - 7.0f;
  codec.SetPlane(values.data());
  std::vector<float> out(w * h);
  codec.GetPlane(out.data());
  EXPECT_EQ(out, values);
  for (std::uint32_t y = 0; y < h; ++y)
    for (std::uint32_t x = 0; x < w; ++x) ASSERT_EQ(&codec._d[y][x], codec._d[0] + y * w + x);

  CBlockCodec raw(w, h);
  std::vector<unsigned char> bytes(4 * w * h);
  std::memcpy(bytes.data(), values.data(), bytes.size());
  raw.SetPlaneRaw(bytes.data());
  raw.GetPlane(out.data());
  EXPECT_EQ(out, values);
}

TEST(BlockCodec, FreshDecoderHasNoLoss) {
  CBlockDecoder decoder(32, 16);
  for (std::size_t r = 0; r < 2; ++r)
    for (std::size_t c = 0; c < 4; ++c) {
      EXPECT_EQ(decoder.m_pcDataLossMask[r][c], 0);
      EXPECT_EQ(decoder.m_pcDataLossMaskCopy[r][c], 0);
    }
  EXPECT_EQ(decoder.m_pcDataLossMask[1], decoder.m_pcDataLossMask.Data() + 4);
}
