#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "block_codec.h"
#include "diagnostics_recorder.h"
#include "test_files.h"

using namespace tarn;

namespace {

float F(double v) { return static_cast<float>(v); }

// Each test sees what concealment shows through a recorder.
class Concealment : public ::testing::Test {};

using SampleFn = std::function<float(int i, int j)>;

void FillBlock(CBlockDecoder& dec, int r, int c, const SampleFn& f) {
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) dec._d[8 * r + i][8 * c + j] = f(i, j);
}

void ExpectBlock(const CBlockDecoder& dec, int r, int c, const SampleFn& f) {
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      ASSERT_EQ(dec._d[8 * r + i][8 * c + j], f(i, j)) << "block " << r << "," << c << " sample " << i << "," << j;
}

// Prediction filters that can be followed by hand. DCT Wiener: sample j of a
// lost line is (1 - j/8) x the last sample before it + (j/8) x the mean of
// the first two after it. Boundary Wiener: every sample is the mean of the
// neighbour's two samples next to the lost block (elements [j][6], [j][7]);
// its mirror therefore takes elements [j][0] and [j][1].
FilterBank Filters(bool bBoundary) {
  FilterBank bank;
  bank.m_bHasDctWiener = true;
  for (int j = 0; j < 8; ++j) {
    bank.m_afDctWiener[16 * j + 7] = 1.0f - j / 8.0f;
    bank.m_afDctWiener[16 * j + 8] = bank.m_afDctWiener[16 * j + 9] = j / 16.0f;
    if (!bBoundary) continue;
    bank.m_afBoundaryWiener[8 * j + 6] = bank.m_afBoundaryWiener[8 * j + 7] = 0.5f;
    bank.m_afBoundaryWienerMirror[8 * (7 - j) + 1] = bank.m_afBoundaryWienerMirror[8 * (7 - j) + 0] = 0.5f;
  }
  if (bBoundary) bank.m_afBoundaryWiener[0] = 0.0f;  // element [0][0] is a weight then
  return bank;
}

// No DCT Wiener filter: concealment averages.
const FilterBank kAveraging;

const char kWarning[] =
    "Warning: No valid neighbor is found for a lost block!!!\n"
    "Need to define offsets of more neighboring blocks!!!\n";

// 3 x 3 blocks for configuration 9 (block row 1 lost): block (r, c) holds
// kBase[r][c] + i + 2 j.
const float kBase[3][3] = {{10, 20, 30}, {99, 99, 99}, {50, 70, 90}};

void FillLineLossPlane(CBlockDecoder& dec) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) FillBlock(dec, r, c, [&](int i, int j) { return kBase[r][c] + i + 2 * j; });
  dec.m_iBoundaryLoss = 0;  // configuration 9 loses its rows whole anyway
  dec.SimulateLoss(9);
}
}  // namespace

TEST_F(Concealment, LineLossAveragesTheNearestRing) {
  for (int reuse : {0, 1}) {
    SCOPED_TRACE("reuse " + std::to_string(reuse));
    CBlockDecoder dec(24, 24);
    DiagnosticsRecorder shown;
    shown.Attach(dec);
    FillLineLossPlane(dec);
    dec.ConcealLostBlocks(9, reuse, kAveraging);
    if (reuse == 0) {
      // Above and below only: the row's other blocks stay unusable.
      ExpectBlock(dec, 1, 0, [](int i, int j) { return 30.0f + i + 2 * j; });
      ExpectBlock(dec, 1, 1, [](int i, int j) { return 45.0f + i + 2 * j; });
      ExpectBlock(dec, 1, 2, [](int i, int j) { return 60.0f + i + 2 * j; });
    } else {
      // The left block, concealed just before, joins them (not in column 0).
      ExpectBlock(dec, 1, 0, [](int i, int j) { return 30.0f + i + 2 * j; });
      ExpectBlock(dec, 1, 1, [](int i, int j) { return F((120.0 + 3 * (i + 2 * j)) / 3); });
      ExpectBlock(dec, 1, 2, [](int i, int j) { return F((160.0 + 3 * (i + 2 * j)) / 3); });
    }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(dec.m_pcDataLossMask[1][c], reuse == 1 ? 0 : 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(dec.m_pcDataLossMaskCopy[1][c], 1);
    EXPECT_TRUE(shown.Shows(TARN_PLANE_BEFORE_POST, dec));
  }
}

TEST_F(Concealment, LineLossWithWienerFilters) {
  // Vertical two-sided prediction of block (1, c), column x, position j.
  auto pv = [](int c, int j, int x) {
    const double a7 = kBase[0][c] + 7 + 2 * x, b01 = kBase[2][c] + 0.5 + 2 * x;
    return F((1 - j / 8.0) * a7 + j / 8.0 * b01);
  };
  // Horizontal one-sided prediction from the row of the concealed left block.
  auto ph = [](const float* pfLeftRow) { return F(0.5 * pfLeftRow[6] + 0.5 * pfLeftRow[7]); };
  for (int reuse : {0, 1}) {
    SCOPED_TRACE("reuse " + std::to_string(reuse));
    CBlockDecoder dec(24, 24);
    FillLineLossPlane(dec);
    dec.ConcealLostBlocks(9, reuse, Filters(true));
    // Column 0 has no left block, and the right one is lost: PV alone. With
    // reuse 0 that holds in every column.
    float afLeft[8][8];
    for (int c = 0; c < 3; ++c) {
      float afExpected[8][8];
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
          afExpected[i][j] = (reuse == 0 || c == 0) ? pv(c, i, j) : F((1.0 * ph(afLeft[i]) + 2.0 * pv(c, i, j)) / 3);
      ExpectBlock(dec, 1, c, [&](int i, int j) { return afExpected[i][j]; });
      std::memcpy(afLeft, afExpected, sizeof afLeft);
    }
  }
}

TEST_F(Concealment, PredictionFromRowOrColumnNeighbours) {
  // Three blocks in a line (a row for direction 0, a column for direction 1);
  // block b holds 40 b + q + 3 p, p the position along the line and q across.
  struct Case {
    const char* what;
    int lost;
    bool boundary;
    std::function<float(int b, int q, int p)> expected;
  };
  auto sample = [](int b, int q, int p) { return 40.0f * b + q + 3 * p; };
  const Case cases[] = {
      {"both sides: DCT Wiener", 1, true,
       [](int, int q, int p) { return F((1 - p / 8.0) * (q + 21) + p / 8.0 * (81.5 + q)); }},
      {"before only: boundary Wiener", 2, true, [](int, int q, int) { return 59.5f + q; }},
      {"before only, no boundary Wiener: copy", 2, false, [&](int, int q, int p) { return sample(1, q, p); }},
      {"after only: mirrored boundary Wiener", 0, true, [](int, int q, int) { return 41.5f + q; }},
      {"after only, no boundary Wiener: copy", 0, false, [&](int, int q, int p) { return sample(1, q, p); }},
  };
  for (int dir : {0, 1})
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(k.what) + ", direction " + std::to_string(dir));
      CBlockDecoder dec(dir == 0 ? 24 : 8, dir == 0 ? 8 : 24);
      auto rc = [dir](int b) { return dir == 0 ? std::pair{0, b} : std::pair{b, 0}; };
      auto ij = [dir](int q, int p) { return dir == 0 ? std::pair{q, p} : std::pair{p, q}; };
      for (int b = 0; b < 3; ++b)
        for (int q = 0; q < 8; ++q)
          for (int p = 0; p < 8; ++p) {
            auto [i, j] = ij(q, p);
            dec._d[8 * rc(b).first + i][8 * rc(b).second + j] = sample(b, q, p);
          }
      dec.MarkLost(rc(k.lost).first, rc(k.lost).second);
      dec.ConcealLostBlocks(1, 1, Filters(k.boundary));
      for (int q = 0; q < 8; ++q)
        for (int p = 0; p < 8; ++p) {
          auto [i, j] = ij(q, p);
          ASSERT_EQ(dec._d[8 * rc(k.lost).first + i][8 * rc(k.lost).second + j], k.expected(k.lost, q, p))
              << "q " << q << " p " << p;
        }
      EXPECT_EQ(dec.m_pcDataLossMask[rc(k.lost).first][rc(k.lost).second], 0);
    }
}

TEST_F(Concealment, LatticeLossPassesWithoutReuse) {
  // 4 x 4 blocks, all border blocks exposed: only (0,0), (0,2), (2,0), (2,2)
  // arrive. Block (r, c) holds base + i + 2 j with base 16 r + 4 c + 8.
  CBlockDecoder dec(32, 32);
  DiagnosticsRecorder shown;
  shown.Attach(dec);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) FillBlock(dec, r, c, [&](int i, int j) { return 16.0f * r + 4 * c + 8 + i + 2 * j; });
  dec.m_iBoundaryLoss = 1;
  dec.SimulateLoss(5);
  dec.ConcealLostBlocks(5, 0, kAveraging);
  // Pass 1 uses left and right, pass 2 above and below, pass 3 the diagonal
  // neighbours (ring 2) inside the image.
  const float kExpected[4][4] = {{8, 12, 16, 16}, {24, 28, 32, 32}, {40, 44, 48, 48}, {40, 44, 48, 48}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) ExpectBlock(dec, r, c, [&](int i, int j) { return kExpected[r][c] + i + 2 * j; });
  EXPECT_FALSE(shown.Has(TARN_PLANE_BEFORE_POST));
}

TEST_F(Concealment, RasterOrderStopsAtABlockWithoutNeighbours) {
  // 11 blocks in a row; 0 and 10 received, 1 to 9 lost. Without reuse block
  // k takes ring k from block 0 up to k = 4; block 5 finds nothing within
  // distance 4 (block 10 is 5 away) and stops the run.
  for (int reuse : {0, 1}) {
    SCOPED_TRACE("reuse " + std::to_string(reuse));
    CBlockDecoder dec(88, 8);
    DiagnosticsRecorder shown;
    shown.Attach(dec);
    for (int c = 0; c < 11; ++c) FillBlock(dec, 0, c, [&](int i, int j) { return 3.0f * c + i + 2 * j + 1; });
    for (int c = 1; c < 10; ++c) dec.MarkLost(0, c);
    dec.ConcealLostBlocks(1, reuse, kAveraging);
    const std::string printed = shown.warnings;
    auto first = [](int i, int j) { return 1.0f + i + 2 * j; };
    if (reuse == 0) {
      EXPECT_EQ(printed, kWarning);
      for (int c = 1; c <= 4; ++c) ExpectBlock(dec, 0, c, first);
      for (int c = 5; c <= 9; ++c) ExpectBlock(dec, 0, c, [](int, int) { return 0.0f; });
      for (int c = 1; c <= 9; ++c) EXPECT_EQ(dec.m_pcDataLossMask[0][c], 1);
      EXPECT_FALSE(shown.Has(TARN_PLANE_BEFORE_POST));
    } else {
      // Each block copies its concealed left neighbour; block 9 also has
      // block 10 in ring 1.
      EXPECT_EQ(printed, "");
      for (int c = 1; c <= 8; ++c) ExpectBlock(dec, 0, c, first);
      ExpectBlock(dec, 0, 9, [](int i, int j) { return 16.0f + i + 2 * j; });
      EXPECT_TRUE(shown.Shows(TARN_PLANE_BEFORE_POST, dec));
    }
  }
}

TEST_F(Concealment, LatticeLossGoesOnPastAFailedBlock) {
  // 16 x 16 with every block exposed: configuration 5 keeps only (0,0).
  // Lose that one as well: each block the passes visit fails with its
  // warning, and the passes still visit all of them.
  CBlockDecoder dec(16, 16);
  DiagnosticsRecorder shown;
  shown.Attach(dec);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) FillBlock(dec, r, c, [](int i, int j) { return 5.0f + i + j; });
  dec.m_iBoundaryLoss = 1;
  dec.SimulateLoss(5);
  dec.MarkLost(0, 0);
  dec.ConcealLostBlocks(5, 0, kAveraging);
  EXPECT_EQ(shown.warnings, std::string(kWarning) + kWarning + kWarning);  // (0,1), (1,0), (1,1)
  EXPECT_FALSE(shown.Has(TARN_PLANE_BEFORE_POST));
}

TEST_F(Concealment, NothingLostStillDumpsThePlane) {
  CBlockDecoder dec(16, 16);
  DiagnosticsRecorder shown;
  shown.Attach(dec);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) FillBlock(dec, r, c, [&](int i, int j) { return 10.0f * r + c + i * 0.5f + j; });
  std::vector<float> before(256);
  dec.GetPlane(before.data());
  dec.SimulateLoss(0);
  dec.ConcealLostBlocks(0, 1, kAveraging);
  std::vector<float> after(256);
  dec.GetPlane(after.data());
  EXPECT_EQ(after, before);
  EXPECT_TRUE(shown.Shows(TARN_PLANE_BEFORE_POST, dec));
}

// The ring's blocks are summed in single precision in table order, so the
// order decides the result when the sum is not exact: with 1e8 first and
// -1e8 third, the 1 in between is lost (12.75 / 8, not 13.75 / 8).
TEST_F(Concealment, RingSumFollowsTableOrderInSinglePrecision) {
  CBlockDecoder dec(40, 40);
  const int ring2[8][2] = {{0, 2}, {1, 1}, {2, 0}, {3, 1}, {4, 2}, {3, 3}, {2, 4}, {1, 3}};
  const float values[8] = {1e8f, 1.0f, -1e8f, 3.0f, 0.5f, 7.0f, 0.25f, 2.0f};
  for (int k = 0; k < 8; ++k) FillBlock(dec, ring2[k][0], ring2[k][1], [&](int, int) { return values[k]; });
  for (auto rc : {std::pair<int, int>{2, 2}, {1, 2}, {3, 2}, {2, 1}, {2, 3}}) dec.m_pcDataLossMask[rc.first][rc.second] = 1;
  EXPECT_TRUE(dec.ConcealBlock(2, 2, 0, kAveraging));
  ExpectBlock(dec, 2, 2, [](int, int) { return 12.75f / 8; });
}
