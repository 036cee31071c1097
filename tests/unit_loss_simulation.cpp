#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "block_codec.h"
#include "diagnostics_recorder.h"
#include "test_files.h"

using namespace tarn;

namespace {
class LossSimulation : public ::testing::Test {};

// A decoder whose samples are all 1 (so that zeroed blocks stand out).
struct Decoder {
  Decoder(int w, int h, int iBoundaryLoss) : dec(w, h) {
    std::vector<float> ones(static_cast<std::size_t>(w) * h, 1.0f);
    dec.SetPlane(ones.data());
    dec.m_iBoundaryLoss = iBoundaryLoss;
    shown.Attach(dec);
  }
  int LostCount() const {
    const unsigned char* p = dec.m_pcDataLossMask.Data();
    return static_cast<int>(std::count(p, p + std::size_t(dec.m_iBlocksX) * dec.m_iBlocksY, 1));
  }
  std::vector<unsigned char> Mask() const {
    const unsigned char* p = dec.m_pcDataLossMask.Data();
    return std::vector<unsigned char>(p, p + std::size_t(dec.m_iBlocksX) * dec.m_iBlocksY);
  }
  CBlockDecoder dec;
  DiagnosticsRecorder shown;
};

bool IsBorder(const CBlockDecoder& dec, int r, int c) {
  return r == 0 || c == 0 || r == static_cast<int>(dec.m_iBlocksY) - 1 ||
         c == static_cast<int>(dec.m_iBlocksX) - 1;
}

// Every mask entry is 0 or 1, the copy equals the mask, a lost block is all
// zero and a received one untouched, and the diagnostics show the copy and
// the plane.
void ExpectConsistentAftermath(const Decoder& d) {
  const CBlockDecoder& dec = d.dec;
  const int bX = static_cast<int>(dec.m_iBlocksX), bY = static_cast<int>(dec.m_iBlocksY);
  std::vector<unsigned char> mask;
  for (int r = 0; r < bY; ++r)
    for (int c = 0; c < bX; ++c) {
      const unsigned char m = dec.m_pcDataLossMask[r][c];
      ASSERT_LE(m, 1);
      ASSERT_EQ(dec.m_pcDataLossMaskCopy[r][c], m);
      mask.push_back(m);
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) ASSERT_EQ(dec._d[8 * r + i][8 * c + j], m ? 0.0f : 1.0f);
    }
  EXPECT_EQ(d.shown.mask, mask);
  EXPECT_TRUE(d.shown.Shows(TARN_PLANE_LOST_DATA, dec));
}
}  // namespace

TEST(DrawRandom, EveryDecoderFollowsTheFixedSequenceFromOne) {
  CBlockDecoder first(16, 16), second(16, 16);
  for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358})
    EXPECT_EQ(first.DrawRandom(), expected);
  EXPECT_EQ(second.DrawRandom(), 41);
}

TEST_F(LossSimulation, FixedPatterns) {
  using Rule = std::function<bool(int r, int c)>;
  struct Case {
    int config;
    int boundary;
    Rule lost;  // on a 64 x 64-block image; border blocks already excluded for boundary 0
  };
  auto inner = [](int r, int c) { return r > 0 && r < 63 && c > 0 && c < 63; };
  const Case cases[] = {
      {1, 1, [](int r, int c) { return r % 2 == 0 && c % 2 == 1; }},
      {1, 0, [&](int r, int c) { return r % 2 == 0 && c % 2 == 1 && inner(r, c); }},
      {2, 1, [](int r, int c) { return (r + c) % 2 == 1; }},
      {2, 0, [&](int r, int c) { return (r + c) % 2 == 1 && inner(r, c); }},
      {3, 1, [](int r, int) { return r % 2 == 1; }},
      {3, 0, [&](int r, int c) { return r % 2 == 1 && inner(r, c); }},
      {4, 1, [](int, int c) { return c % 2 == 1; }},
      {4, 0, [&](int r, int c) { return c % 2 == 1 && inner(r, c); }},
      {5, 1, [](int r, int c) { return r % 2 == 1 || c % 2 == 1; }},
      {5, 0, [&](int r, int c) { return (r % 2 == 1 || c % 2 == 1) && inner(r, c); }},
      {9, 1, [](int r, int) { return r % 4 == 1 && r < 63; }},
      {9, 0, [](int r, int) { return r % 4 == 1 && r < 63; }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("config " + std::to_string(k.config) + " boundary " + std::to_string(k.boundary));
    Decoder d(512, 512, k.boundary);
    d.dec.SimulateLoss(k.config);
    for (int r = 0; r < 64; ++r)
      for (int c = 0; c < 64; ++c) ASSERT_EQ(d.dec.m_pcDataLossMask[r][c], k.lost(r, c) ? 1 : 0) << r << "," << c;
    ExpectConsistentAftermath(d);
    EXPECT_EQ(d.shown.mask.size(), 4096u);
  }
}

TEST_F(LossSimulation, BorderRuleAtTheEdges) {
  Decoder one(512, 512, 0);
  one.dec.SimulateLoss(1);
  EXPECT_EQ(one.dec.m_pcDataLossMask[0][1], 0);   // row 0 spared
  EXPECT_EQ(one.dec.m_pcDataLossMask[2][1], 1);   // column 1 is no border column
  EXPECT_EQ(one.dec.m_pcDataLossMask[2][63], 0);  // column 63 spared
  Decoder threeExposed(512, 512, 1), threeSpared(512, 512, 0);
  threeExposed.dec.SimulateLoss(3);
  threeSpared.dec.SimulateLoss(3);
  EXPECT_EQ(threeExposed.dec.m_pcDataLossMask[63][10], 1);
  EXPECT_EQ(threeSpared.dec.m_pcDataLossMask[63][10], 0);
  EXPECT_EQ(threeSpared.dec.m_pcDataLossMask[1][0], 0);
  EXPECT_EQ(threeSpared.dec.m_pcDataLossMask[1][63], 0);
  // Configuration 9 ignores the rule: 16 whole rows, first and last block too.
  Decoder nine(512, 512, 0);
  nine.dec.SimulateLoss(9);
  EXPECT_EQ(nine.LostCount(), 16 * 64);
  EXPECT_EQ(nine.dec.m_pcDataLossMask[1][0], 1);
  EXPECT_EQ(nine.dec.m_pcDataLossMask[61][63], 1);
}

TEST_F(LossSimulation, LineLossNeedsARowBeforeTheLast) {
  for (int h : {16, 24}) {  // 2 block rows: none lost; 3: row 1 lost
    Decoder d(64, h, 1);
    d.dec.SimulateLoss(9);
    EXPECT_EQ(d.LostCount(), h == 16 ? 0 : 8) << h;
    ExpectConsistentAftermath(d);
  }
}

TEST_F(LossSimulation, NoPatternStillCopiesAndDumps) {
  for (int config : {0, 10, -1}) {
    Decoder d(512, 512, 1);
    d.dec.m_pcDataLossMaskCopy[5][5] = 1;  // the copy is taken all the same
    d.dec.SimulateLoss(config);
    EXPECT_EQ(d.LostCount(), 0);
    ExpectConsistentAftermath(d);
    EXPECT_EQ(d.shown.mask, std::vector<unsigned char>(4096, 0));
    EXPECT_EQ(d.shown.planes[TARN_PLANE_LOST_DATA].size(), 262144u);
  }
}

TEST_F(LossSimulation, RandomPatternsOn512By512) {
  struct Case {
    int config;
    int count;
  };
  // The first attempts of the draw sequence, none of them a border block.
  const std::pair<int, int> kFirstDrawn[] = {{41, 35}, {62, 4}, {33, 44}, {22, 46}, {18, 16}};
  for (const Case& k : {Case{6, 409}, Case{7, 1024}, Case{8, 2048}})
    for (int boundary : {0, 1}) {
      SCOPED_TRACE("config " + std::to_string(k.config) + " boundary " + std::to_string(boundary));
      Decoder d(512, 512, boundary);
      d.dec.SimulateLoss(k.config);
      EXPECT_EQ(d.LostCount(), k.count);
      for (auto [r, c] : kFirstDrawn) EXPECT_EQ(d.dec.m_pcDataLossMask[r][c], 1) << r << "," << c;
      bool bBorderLost = false;
      for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) bBorderLost |= IsBorder(d.dec, r, c) && d.dec.m_pcDataLossMask[r][c];
      if (boundary == 0) {
        EXPECT_FALSE(bBorderLost);
      } else if (k.config == 8) {
        EXPECT_TRUE(bBorderLost);
      }
      ExpectConsistentAftermath(d);
    }
}

TEST_F(LossSimulation, RandomPatternIsTheSameForEveryDecoder) {
  auto pattern = [] {
    Decoder d(256, 256, 0);
    d.dec.SimulateLoss(7);
    return d.Mask();
  };
  // Each decoder draws from a source of its own, so a later one repeats the
  // first one's pattern.
  const auto first = pattern();
  EXPECT_EQ(pattern(), first);
}

TEST_F(LossSimulation, RandomPatternsOnSmallImages) {
  // Draws 41, 18467, 6334, 26500, 19169, 15724, 11478, 29358 taken modulo
  // the block counts; border blocks spared are redrawn, and the count is
  // capped at the number of eligible blocks.
  struct Case {
    int size, boundary, config;
    std::vector<std::pair<int, int>> lost;
  };
  const Case cases[] = {
      {16, 1, 8, {{1, 1}, {0, 0}}},
      {16, 1, 7, {{1, 1}}},
      {24, 1, 8, {{2, 2}, {1, 1}, {2, 1}, {0, 0}}},
      {24, 1, 6, {}},            // 9 / 10 = 0
      {24, 0, 8, {{1, 1}}},      // only the centre is eligible
      {16, 0, 8, {}},            // no eligible block at all
      {16, 0, 7, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("size " + std::to_string(k.size) + " boundary " + std::to_string(k.boundary) +
                 " config " + std::to_string(k.config));
    Decoder d(k.size, k.size, k.boundary);
    d.dec.SimulateLoss(k.config);
    EXPECT_EQ(d.LostCount(), static_cast<int>(k.lost.size()));
    for (auto [r, c] : k.lost) EXPECT_EQ(d.dec.m_pcDataLossMask[r][c], 1) << r << "," << c;
    ExpectConsistentAftermath(d);
  }
  // 48 x 48: 16 interior blocks against 18 to lose; all of them go.
  for (int config : {6, 7, 8}) {
    Decoder d(48, 48, 0);
    d.dec.SimulateLoss(config);
    EXPECT_EQ(d.LostCount(), config == 6 ? 3 : config == 7 ? 9 : 16);
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 6; ++c)
        if (IsBorder(d.dec, r, c)) {
          EXPECT_EQ(d.dec.m_pcDataLossMask[r][c], 0);
        }
  }
}
