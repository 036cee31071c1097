#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "coder_planes.h"
#include "quantiser.h"

using namespace tarn;

namespace {
// The quantised residual that the encoder stores for the DC of block
// (bx, by): with q = 1 and integer DCs every reconstructed DC equals the
// original, so this is the DC minus its prediction from the given
// neighbours.
float DcResidual(std::uint32_t w, std::uint32_t h, std::vector<Sample> dcs, int bx, int by) {
  std::vector<float> plane(w * h, 0.0f);
  for (const Sample& s : dcs) plane[8 * s.y * w + 8 * s.x] = s.value;
  CBlockEncoder enc(w, h);
  EncodePlane(Coder::kLceb, &enc, plane, 1.0f);
  return static_cast<float>(enc.EcebCoef(0, bx, by));
}

// What entropy-only decoding must give: every coefficient quantised with the
// block's DC replaced by its residual from the prediction, dequantised, and
// the DC prediction added back.
std::vector<float> ExpectedCoefficients(const std::vector<float>& plane, int w, int h, float q) {
  const int bw = w / 8, bh = h / 8;
  std::vector<float> out(plane.size()), line(bw);
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      float p;
      if (by == 0)
        p = bx == 0 ? 1024.0f : line[bx - 1];
      else if (bx == 0)
        p = line[0];
      else if (bx == bw - 1)
        p = static_cast<float>(std::trunc((double(line[bx]) + line[bx - 1] + 1) / 2));
      else {
        float three[3] = {line[bx - 1], line[bx], line[bx + 1]};
        std::sort(three, three + 3);
        p = three[1];
      }
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
          int i = (8 * by + r) * w + 8 * bx + c;
          float v = r + c == 0 ? static_cast<float>(double(plane[i]) - p) : plane[i];
          int k = 0;
          EXPECT_TRUE(Quantise(v, q, &k));
          out[i] = k == 0 ? 0.0f : static_cast<float>(double(k) * q);
        }
      float& dc = out[8 * by * w + 8 * bx];
      dc = static_cast<float>(double(dc) + p);
      line[bx] = dc;
    }
  return out;
}

// Encodes, decodes both ways and re-encodes; returns the payload length and
// collects how many bytes the decoder read beyond it.
int CheckRoundTrip(const std::vector<float>& plane, int w, int h, float q, std::set<int>* extraBytes) {
  std::vector<unsigned char> payload = EncodePlane(Coder::kLceb, plane, w, h, q);
  return CheckDecoding(Coder::kLceb, payload, ExpectedCoefficients(plane, w, h, q), w, h, q, extraBytes);
}
}  // namespace

TEST(Quantiser, DeadZoneExamples) {
  struct Case {
    float value, q;
    int index;
  };
  const Case cases[] = {
      {6.3f, 10, 1}, {6.2f, 10, 0}, {-6.3f, 10, -1}, {15, 10, 1}, {17, 10, 2}, {-17, 10, -2}, {0, 10, 0},
      // 0.0682 / 0.11 + 0.38 is just below 1 with the offset in single
      // precision, just above with a double-precision offset.
      {0.0682f, 0.11f, 0}, {-0.0682f, 0.11f, 0},
      {2147483520.0f, 1, 2147483520}, {-2147483520.0f, 1, -2147483520}};
  for (const Case& c : cases) {
    int index = 12345;
    EXPECT_TRUE(Quantise(c.value, c.q, &index)) << c.value;
    EXPECT_EQ(index, c.index) << c.value << " / " << c.q;
  }
}

TEST(Quantiser, RefusesValuesThatDoNotFit32Bits) {
  const float inf = std::numeric_limits<float>::infinity();
  const float cases[][2] = {{1, 1e-30f}, {2147483648.0f, 1}, {-2147483648.0f, 1}, {inf, 1},
                            {-inf, 1}, {std::nanf(""), 1}, {1, 0}, {0, 0}};
  for (const auto& c : cases) {
    int index = 12345;
    EXPECT_FALSE(Quantise(c[0], c[1], &index)) << c[0] << " / " << c[1];
    EXPECT_EQ(index, 12345);
  }
}

// A product beyond the float range rounds to an infinity (IEEE rounding,
// which C++ allows where the type has infinities); reconstruction turns
// infinities and NaNs into bytes without an undefined conversion.
TEST(Quantiser, DequantisationBeyondTheFloatRange) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Dequantise(2, 3e38f), inf);
  EXPECT_EQ(Dequantise(-2, 3e38f), -inf);
  EXPECT_EQ(Dequantise(1, 3e38f), 3e38f);
  EXPECT_EQ(Dequantise(0, inf), 0.0f);
  EXPECT_EQ(RoundedMean(inf, 1.0f), inf);
  EXPECT_TRUE(std::isnan(RoundedMean(inf, -inf)));
}

TEST(LcebCoder, CoefficientsQuantiseWithTheDeadZone) {
  std::vector<float> plane = MakePlane(8, 8, {{0, 0, 1024}, {0, 1, 6.3f}, {1, 0, 6.2f}, {2, 0, -6.3f}, {1, 1, 17}});
  std::vector<float> decoded = DecodePlane(Coder::kLceb, EncodePlane(Coder::kLceb, plane, 8, 8, 10), 8, 8, 10, true);
  EXPECT_EQ(decoded, MakePlane(8, 8, {{0, 0, 1024}, {0, 1, 10}, {1, 0, 0}, {2, 0, -10}, {1, 1, 20}}));
}

// A block with only a DC codes significance (context 0), magnitude and sign,
// and continuation 0 at position 1 (context 0); with a DC that quantises to
// 0 only the two zero decisions remain. The first block is predicted from
// 1024, so a DC of exactly 1024 leaves a line value of 1024.
TEST(LcebCoder, DcOnlyAndAllZeroBlocks) {
  struct Case {
    float dc;
    int sigOnes, magTotal, magOnes, signTotal, signOnes;
  };
  const Case cases[] = {{1024, 1, 2, 1, 2, 1},        // nothing coded but two zeros
                        {1024 + 30, 2, 5, 3, 3, 1},   // magnitude 3: 1, 1, 0, sign 0
                        {1024 - 10, 2, 3, 1, 3, 2}};  // magnitude 1: 0, sign 1
  for (const Case& c : cases) {
    CBlockEncoder enc(8, 8);
    std::vector<float> plane = MakePlane(8, 8, {{0, 0, c.dc}});
    std::vector<unsigned char> payload = EncodePlane(Coder::kLceb, &enc, plane, 10);
    ExpectModel(enc.m_apSigModel[0], 3, c.sigOnes, "significance 0");
    ExpectModel(enc.m_apEobModel[0], 3, 1, "continuation 0");
    ExpectModel(enc.m_apMagModel[0], c.magTotal, c.magOnes, "magnitude 0");
    ExpectModel(enc.m_pSignModel, c.signTotal, c.signOnes, "sign");
    EXPECT_EQ(TouchedModels(enc.m_apSigModel, 18), 1);
    EXPECT_EQ(TouchedModels(enc.m_apEobModel, 9), 1);
    EXPECT_EQ(enc.m_piLastSig[0], 0);
    EXPECT_EQ(enc.m_apcZero[0][0], c.dc == 1024 ? 1 : 0);
    for (int l = 1; l < 64; ++l) EXPECT_EQ(enc.m_apcZero[l][0], 1);
    EXPECT_EQ(enc.m_pfDcPred[0], c.dc);
    int residual = 0;
    ASSERT_TRUE(Quantise(c.dc - 1024, 10, &residual));
    EXPECT_EQ(enc.EcebCoef(0, 0, 0), residual);
    EXPECT_EQ(DecodePlane(Coder::kLceb, payload, 8, 8, 10, true), plane);
  }
}

TEST(LcebCoder, MagnitudeDecisions) {
  CBlockEncoder enc(64, 8);
  std::vector<unsigned char> payload;
  enc.m_pBitWriter.Init(&payload);
  enc.m_pArithEnc.Start();
  enc.EncodeMagnitude(1, 2);  // 0, then sign 0
  ExpectModel(enc.m_apMagModel[2], 3, 1, "magnitude 1");
  ExpectModel(enc.m_pSignModel, 3, 1, "sign of 1");
  enc.EncodeMagnitude(-4, 3);  // 1, 1, 1, 0, then sign 1
  ExpectModel(enc.m_apMagModel[3], 6, 4, "magnitude 4");
  ExpectModel(enc.m_pSignModel, 4, 2, "sign of -4");
  enc.m_pArithEnc.Flush(&enc.m_pBitWriter);
  payload.resize(enc.m_pBitWriter.GetByteCount());

  CBlockDecoder dec(64, 8);
  dec.m_pBitReader.Init(payload.data(), static_cast<int>(payload.size()));
  dec.m_pArithDec.Start(&dec.m_pBitReader);
  EXPECT_EQ(dec.DecodeMagnitude(2), 1);
  EXPECT_EQ(dec.DecodeMagnitude(3), -4);
}

// Only zigzag index 63 is non-zero in the first block: after continuation 1
// at position 1 the decisions run to 63 and stop there with no continuation.
// The second block's continuation at position 1 sees the first block's last
// significant index (63 >= 1) and so takes context 1.
TEST(LcebCoder, LastCoefficientAt63EndsTheBlock) {
  std::vector<float> plane = MakePlane(16, 8, {{0, 0, 1024}, {7, 7, -20}, {0, 8, 1074}});
  CBlockEncoder enc(16, 8);
  std::vector<unsigned char> payload = EncodePlane(Coder::kLceb, &enc, plane, 10);
  ExpectModel(enc.m_apEobModel[0], 3, 2, "continuation of block 0");
  ExpectModel(enc.m_apEobModel[1], 3, 1, "continuation of block 1");
  EXPECT_EQ(TouchedModels(enc.m_apEobModel, 9), 2);
  EXPECT_EQ(enc.m_piLastSig[0], 63);
  int read = 0;
  EXPECT_EQ(DecodePlane(Coder::kLceb, payload, 16, 8, 10, true, &read), plane);
  EXPECT_GE(read - static_cast<int>(payload.size()), 1);
}

// The encoder's line holds exactly what the decoder reconstructs,
// float(float(K x q) + p), also when K x q is not a float (q = 0.1, K = 5121).
TEST(LcebPrediction, LineIsTheDecodersReconstruction) {
  const float q = 0.1f;
  const float reconstructed = 1536.10009765625f;
  std::vector<float> plane = MakePlane(16, 8, {{0, 0, 1536.1f}, {0, 8, reconstructed}});
  CBlockEncoder enc(16, 8);
  std::vector<unsigned char> payload = EncodePlane(Coder::kLceb, &enc, plane, q);
  EXPECT_EQ(enc.m_pfDcPred[0], reconstructed);
  EXPECT_EQ(enc.EcebCoef(0, 1, 0), 0);
  EXPECT_EQ(DecodePlane(Coder::kLceb, payload, 16, 8, q, true), MakePlane(16, 8, {{0, 0, reconstructed}, {0, 8, reconstructed}}));
}

TEST(LcebPrediction, NeighbourRules) {
  struct Case {
    std::uint32_t w, h;
    std::vector<Sample> dcs;  // {block row, block column, DC}
    int bx, by;
    float prediction;
  };
  const Case cases[] = {
      // First row: the left neighbour.
      {24, 8, {{0, 0, 700}}, 1, 0, 700},
      // First column: the block above, also in a plane one block wide.
      {24, 16, {{0, 0, 700}, {0, 1, 333}}, 0, 1, 700},
      {8, 16, {{0, 0, 700}}, 0, 1, 700},
      // Last column: (above + left + 1) / 2 truncated toward zero.
      {16, 16, {{0, 1, 101}, {1, 0, 98}}, 1, 1, 100},
      {16, 16, {{0, 1, 101}, {1, 0, 99}}, 1, 1, 100},
      {16, 16, {{0, 1, -101}, {1, 0, -99}}, 1, 1, -99},
      // Interior columns: the median of left, above and above right.
      {24, 16, {{1, 0, 100}, {0, 1, 120}, {0, 2, 90}}, 1, 1, 100},
      {24, 16, {{1, 0, 7}, {0, 1, 7}, {0, 2, 3}}, 1, 1, 7},
      {24, 16, {{1, 0, -5}, {0, 1, 2}, {0, 2, 9}}, 1, 1, 2},
  };
  for (const Case& c : cases) {
    std::vector<Sample> dcs = c.dcs;
    dcs.push_back({c.by, c.bx, 500});
    EXPECT_EQ(DcResidual(c.w, c.h, dcs, c.bx, c.by), 500 - c.prediction)
        << c.w << "x" << c.h << " block " << c.bx << "," << c.by;
  }
}

TEST(LcebContexts, Significance) {
  CBlockEncoder codec(24, 16);
  for (auto& line : codec.m_apcZero) std::fill(line.begin(), line.end(), 1);
  std::fill(std::begin(codec.m_aiCoef), std::end(codec.m_aiCoef), 0);
  EXPECT_EQ(codec.GetSigContext(0, 0, 0), 0);
  EXPECT_EQ(codec.GetSigContext(1, 8, 1), 3);
  EXPECT_EQ(codec.GetSigContext(1, 8, 3), 6);
  EXPECT_EQ(codec.GetSigContext(1, 8, 15), 12);
  for (int l = 0; l < 64; ++l) codec.m_apcZero[l][0] = codec.m_apcZero[l][1] = 0;
  EXPECT_EQ(codec.GetSigContext(1, 8, 0), 2);   // left and above blocks
  EXPECT_EQ(codec.GetSigContext(1, 0, 2), 4);   // no block above in the first row
  EXPECT_EQ(codec.GetSigContext(0, 8, 14), 7);  // no left block in the first column
  codec.m_aiCoef[0] = codec.m_aiCoef[1] = codec.m_aiCoef[2] = 3;
  EXPECT_EQ(codec.GetSigContext(0, 0, 2), 3);  // l <= 2 ignores neighbours in the block
  EXPECT_EQ(codec.GetSigContext(0, 0, 3), 7);  // (2,0): upper neighbour (1,0) only
  EXPECT_EQ(codec.GetSigContext(0, 0, 4), 8);  // (1,1): left (1,0) and upper (0,1)
  codec.m_aiCoef[61] = codec.m_aiCoef[62] = -1;
  EXPECT_EQ(codec.GetSigContext(1, 8, 63), 16);  // (7,7): all four terms
}

TEST(LcebContexts, Continuation) {
  CBlockEncoder codec(24, 16);
  codec.m_piLastSig[0] = 10;
  codec.m_piLastSig[1] = 20;
  struct Case {
    int bx, y, l, context;
  };
  const Case cases[] = {{0, 0, 1, 0},  {1, 8, 1, 2},  {1, 0, 1, 1},  {0, 8, 2, 1}, {1, 8, 3, 5},
                        {1, 8, 11, 4}, {1, 8, 14, 4}, {1, 0, 10, 4}, {1, 8, 15, 7}, {1, 8, 20, 7},
                        {1, 8, 21, 6}, {0, 8, 21, 6}};
  for (const Case& c : cases)
    EXPECT_EQ(codec.GetEobContext(c.bx, c.y, c.l), c.context) << c.bx << "," << c.y << "," << c.l;
}

TEST(LcebRoundTrip, RandomPlanes) { CheckRandomPlanes(CheckRoundTrip, 1); }

TEST(LcebRoundTrip, Camera) { CheckCamera(CheckRoundTrip); }

// A payload the encoder never writes: in the upper block of a 8 x 16 plane
// a continuation 1 follows the coefficient at 1, but no other coefficient
// is significant up to 63, so the run ends without a stop. The decoder sets
// last only where a run stops: it stays 0, and the lower block's first
// continuation decision takes context 0 (an upper last of 1 would give 1).
TEST(LcebDecoder, RunWithoutAStopLeavesLastAtZero) {
  CBlockEncoder script(8, 16);  // its models and lines follow the decoder's
  std::vector<unsigned char> payload;
  script.m_pBitWriter.Init(&payload);
  script.m_pArithEnc.Start();
  std::fill(std::begin(script.m_aiCoef), std::end(script.m_aiCoef), 0);
  script.Encode(false, &script.m_apSigModel[script.GetSigContext(0, 0, 0)]);
  script.Encode(true, &script.m_apEobModel[script.GetEobContext(0, 0, 1)]);
  script.Encode(true, &script.m_apSigModel[script.GetSigContext(0, 0, 1)]);
  script.m_aiCoef[1] = 1;
  script.EncodeMagnitude(1, 1);
  script.Encode(true, &script.m_apEobModel[script.GetEobContext(0, 0, 2)]);
  for (int l = 2; l < 64; ++l) script.Encode(false, &script.m_apSigModel[script.GetSigContext(0, 0, l)]);
  for (int l = 0; l < 64; ++l) script.m_apcZero[l][0] = script.m_aiCoef[l] == 0;
  script.m_piLastSig[0] = 0;
  std::fill(std::begin(script.m_aiCoef), std::end(script.m_aiCoef), 0);
  script.Encode(false, &script.m_apSigModel[script.GetSigContext(0, 8, 0)]);
  ASSERT_EQ(script.GetEobContext(0, 8, 1), 0);
  script.Encode(false, &script.m_apEobModel[0]);
  script.m_pArithEnc.Flush(&script.m_pBitWriter);
  payload.resize(script.m_pBitWriter.GetByteCount());

  CBlockDecoder dec(8, 16);
  EXPECT_GT(dec.DecodeLceb(payload.data(), static_cast<int>(payload.size()), 10, true), 0);
  std::vector<float> expected(8 * 16, 0.0f);
  expected[0] = expected[8 * 8] = 1024;  // both DCs: the prediction alone
  expected[1] = 10;
  std::vector<float> plane(8 * 16);
  dec.GetPlane(plane.data());
  EXPECT_EQ(plane, expected);
  EXPECT_EQ(dec.m_apEobModel[0].m_iTotal, 5);  // all three continuation decisions
}
