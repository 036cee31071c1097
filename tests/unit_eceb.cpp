#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "coder_planes.h"
#include "eceb_contexts.h"
#include "quantiser.h"

using namespace tarn;

namespace {
float MeanPrediction(float above, float left) {
  return static_cast<float>(std::trunc((double(above) + left + 1) / 2));
}

// What entropy-only decoding must give. The encoder predicts each DC from
// its own line, float(K x q + p); the decoder from its line of reconstructed
// DCs, float(float(K x q) + p), so the two lines are followed separately.
std::vector<float> ExpectedCoefficients(const std::vector<float>& plane, int w, int h, float q) {
  const int bw = w / 8, bh = h / 8;
  std::vector<float> out(plane.size()), encLine(bw), decLine(bw);
  auto predict = [](const std::vector<float>& line, int bx, int by) {
    if (by == 0) return bx == 0 ? 1024.0f : line[bx - 1];
    return bx == 0 ? line[0] : MeanPrediction(line[bx], line[bx - 1]);
  };
  for (int by = 0; by < bh; ++by)
    for (int bx = 0; bx < bw; ++bx) {
      float pEnc = predict(encLine, bx, by), pDec = predict(decLine, bx, by);
      int dcIndex = 0;
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
          int i = (8 * by + r) * w + 8 * bx + c;
          float v = r + c == 0 ? static_cast<float>(double(plane[i]) - pEnc) : plane[i];
          int k = 0;
          EXPECT_TRUE(Quantise(v, q, &k));
          out[i] = k == 0 ? 0.0f : static_cast<float>(double(k) * q);
          if (r + c == 0) dcIndex = k;
        }
      float& dc = out[8 * by * w + 8 * bx];
      dc = static_cast<float>(double(dc) + pDec);
      decLine[bx] = dc;
      encLine[bx] = static_cast<float>(double(dcIndex) * q + pEnc);
    }
  return out;
}

// After the last plane every scan reaches exactly the block's last non-zero
// zigzag index.
void ExpectScanEndsAtLastNonZero(const CBlockEncoder& enc) {
  for (std::uint32_t by = 0; by < enc.m_iBlocksY; ++by)
    for (std::uint32_t bx = 0; bx < enc.m_iBlocksX; ++bx) {
      int last = 0;
      for (int l = 1; l < 64; ++l)
        if (enc.EcebCoef(l, bx, by) != 0) last = l;
      EXPECT_EQ(enc.m_pcScanEnd[enc.Bordered(bx, by)], last + 1) << bx << "," << by;
    }
}

int CheckRoundTrip(const std::vector<float>& plane, int w, int h, float q, std::set<int>* extraBytes) {
  CBlockEncoder enc(w, h);
  std::vector<unsigned char> payload = EncodePlane(Coder::kEceb, &enc, plane, q);
  ExpectScanEndsAtLastNonZero(enc);
  return CheckDecoding(Coder::kEceb, payload, ExpectedCoefficients(plane, w, h, q), w, h, q, extraBytes);
}
}  // namespace

// Every block codes DC significance 0 (context 0) and extension 0 at scan
// length 1 (context 7), in the single plane T = 1.
TEST(EcebCoder, AllZeroPlane) {
  std::vector<float> plane = MakePlane(16, 16, {{0, 0, 1024}, {0, 8, 1024}, {8, 0, 1024}, {8, 8, 1024}});
  CBlockEncoder enc(16, 16);
  std::vector<unsigned char> payload = EncodePlane(Coder::kEceb, &enc, plane, 10);
  EXPECT_EQ(payload[0], 0x00);
  ExpectModel(enc.m_apEcebSigModel[0], 6, 1, "significance 0");
  ExpectModel(enc.m_apEcebEobModel[7], 6, 1, "extension 7");
  EXPECT_EQ(TouchedModels(enc.m_apEcebSigModel, 48), 1);
  EXPECT_EQ(TouchedModels(enc.m_apEcebEobModel, 21), 1);
  EXPECT_EQ(TouchedModels(&enc.m_pSignModel, 1) + TouchedModels(&enc.m_pRefineModel, 1), 0);
  EXPECT_EQ(DecodePlane(Coder::kEceb, payload, 16, 16, 10, true), plane);
}

// One coefficient in a 64 x 8 plane (wide enough that no model is halved):
// the header is log2 of the largest power of two not above its magnitude,
// and each plane after the first carries one refinement decision, the
// coefficient's next lower bit.
TEST(EcebCoder, HeaderPlanesAndRefinement) {
  struct Case {
    float value;
    int header, refinements, refinementOnes, signOnes;
  };
  const Case cases[] = {{1, 0, 0, 0, 0},
                        {5, 2, 2, 1, 0},
                        // Significant in plane 4 with sign 1 (-4), then 0 in
                        // plane 2 and 1 in plane 1: -5.
                        {-5, 2, 2, 1, 1},
                        {300, 8, 8, 3, 0},
                        {2147483520.0f, 30, 30, 23, 0},
                        {-2147483520.0f, 30, 30, 23, 1}};
  for (const Case& c : cases) {
    std::vector<float> plane(64 * 8, 0.0f);
    for (int bx = 0; bx < 8; ++bx) plane[8 * bx] = 1024;  // every DC residual 0
    plane[1] = c.value;
    CBlockEncoder enc(64, 8);
    std::vector<unsigned char> payload = EncodePlane(Coder::kEceb, &enc, plane, 1);
    EXPECT_EQ(payload[0], c.header) << c.value;
    ExpectModel(enc.m_pRefineModel, 2 + c.refinements, 1 + c.refinementOnes, "refinement");
    ExpectModel(enc.m_pSignModel, 3, 1 + c.signOnes, "sign");
    EXPECT_EQ(DecodePlane(Coder::kEceb, payload, 64, 8, 1, true), plane) << c.value;
  }
}

// Zigzag index 63 alone: in plane 2 the extension run reaches 63 and ends
// without a continuation decision (S = 64); in plane 1 the block still codes
// one extension decision, 0, at scan length 64 (context 14).
TEST(EcebCoder, ScanReachingIndex63) {
  std::vector<float> plane = MakePlane(8, 8, {{0, 0, 1024}, {7, 7, 2}});
  CBlockEncoder enc(8, 8);
  std::vector<unsigned char> payload = EncodePlane(Coder::kEceb, &enc, plane, 1);
  EXPECT_EQ(payload[0], 1);
  ExpectModel(enc.m_apEcebEobModel[7], 3, 2, "extension at scan length 1");
  ExpectModel(enc.m_apEcebEobModel[14], 3, 1, "extension at scan length 64");
  EXPECT_EQ(TouchedModels(enc.m_apEcebEobModel, 21), 2);
  ExpectModel(enc.m_pRefineModel, 3, 1, "refinement of 2 in plane 1");
  EXPECT_EQ(enc.m_pcScanEnd[enc.Bordered(0, 0)], 64);
  EXPECT_EQ(DecodePlane(Coder::kEceb, payload, 8, 8, 1, true), plane);
}

// The encoder's line rounds K x q + p once; the decoder rounds the product
// first. With q = 0.1 and K = 5121 the two differ in the last bit, and the
// decoder predicts the next block from its own value.
TEST(EcebPrediction, EncoderAndDecoderLinesRoundDifferently) {
  const float q = 0.1f;
  const float encoderLine = 1536.0999755859375f;   // float(5121 x q + 1024)
  const float decoderLine = 1536.10009765625f;     // float(float(5121 x q) + 1024)
  std::vector<float> plane = MakePlane(16, 8, {{0, 0, 1536.1f}, {0, 8, encoderLine}});
  CBlockEncoder enc(16, 8);
  std::vector<unsigned char> payload = EncodePlane(Coder::kEceb, &enc, plane, q);
  EXPECT_EQ(enc.EcebCoef(0, 0, 0), 5121);
  EXPECT_EQ(enc.m_pfDcPred[0], encoderLine);
  EXPECT_EQ(enc.EcebCoef(0, 1, 0), 0);
  std::vector<float> decoded = DecodePlane(Coder::kEceb, payload, 16, 8, q, true);
  EXPECT_EQ(decoded[0], decoderLine);
  EXPECT_EQ(decoded[8], decoderLine);
}

TEST(EcebPrediction, NeighbourRules) {
  struct Case {
    std::vector<Sample> dcs;  // {block row, block column, DC}
    int bx, by;
    float prediction;
  };
  const Case cases[] = {
      {{{0, 0, 700}}, 1, 0, 700},                  // first row: left
      {{{0, 0, 700}, {0, 1, 333}}, 0, 1, 700},     // first column: above
      {{{0, 1, 101}, {1, 0, 98}}, 1, 1, 100},      // (above + left + 1) / 2
      {{{0, 1, 101}, {1, 0, 99}}, 1, 1, 100},      // 100.5 truncated
      {{{0, 1, -101}, {1, 0, -99}}, 1, 1, -99},    // toward zero
      {{{0, 1, 100}, {1, 0, 120}, {0, 2, 90}}, 1, 1, 110},  // no median here
  };
  for (const Case& c : cases) {
    std::vector<float> plane(24 * 16, 0.0f);
    for (const Sample& s : c.dcs) plane[8 * s.y * 24 + 8 * s.x] = s.value;
    plane[8 * c.by * 24 + 8 * c.bx] = 500;
    CBlockEncoder enc(24, 16);
    EncodePlane(Coder::kEceb, &enc, plane, 1);
    EXPECT_EQ(enc.EcebCoef(0, c.bx, c.by), 500 - c.prediction) << c.bx << "," << c.by;
  }
}

// A 3 x 3 block grid; the centre block sees all six neighbours (not the two
// below-diagonal ones), the first block only its right and lower ones.
TEST(EcebContexts, Extension) {
  CBlockEncoder codec(24, 24);
  auto setAll = [&](int s) {
    for (int by = 0; by < 3; ++by)
      for (int bx = 0; bx < 3; ++bx) codec.m_pcScanEnd[codec.Bordered(bx, by)] = static_cast<std::uint8_t>(s);
  };
  auto eob = [&](int bx, int by, int s) { return CNeighbours(codec, codec.Bordered(bx, by)).Eob(s); };
  setAll(1);
  struct Case {
    int s, context;
  };
  for (Case c : {Case{1, 7}, Case{2, 7}, Case{3, 0}, Case{4, 7}, Case{14, 7}, Case{15, 14}, Case{64, 14}})
    EXPECT_EQ(eob(1, 1, c.s), c.context) << c.s;
  setAll(20);
  EXPECT_EQ(eob(1, 1, 3), 6);
  EXPECT_EQ(eob(1, 1, 2), 13);
  EXPECT_EQ(eob(1, 1, 19), 20);
  EXPECT_EQ(eob(1, 1, 20), 14);  // longer means S > s
  EXPECT_EQ(eob(0, 0, 3), 2);
  EXPECT_EQ(eob(2, 2, 3), 3);    // left, above left, above
  setAll(1);
  codec.m_pcScanEnd[codec.Bordered(0, 2)] = codec.m_pcScanEnd[codec.Bordered(2, 2)] = 20;
  EXPECT_EQ(eob(1, 1, 3), 0);
}

namespace {
// The significance masks as the coder holds them while it codes block
// (bx, by) in the plane T: blocks before it in raster order at T, the block
// itself and those after it still at 2T.
void MasksWhileCoding(CBlockCodec& codec, int bx, int by, int T) {
  for (int y = 0; y < static_cast<int>(codec.m_iBlocksY); ++y)
    for (int x = 0; x < static_cast<int>(codec.m_iBlocksX); ++x) {
      const bool bBefore = y < by || (y == by && x < bx);
      std::uint64_t mask = 0;
      for (int l = 0; l < 64; ++l)
        mask |= std::uint64_t(std::abs(codec.EcebCoef(l, x, y)) >= (bBefore ? T : 2 * T)) << l;
      codec.m_piSignificant[codec.Bordered(x, y)] = mask;
    }
}

// The block's own coefficients significant at T.
std::uint64_t Own(const CBlockCodec& codec, int bx, int by, int T) {
  std::uint64_t mask = 0;
  for (int l = 0; l < 64; ++l) mask |= std::uint64_t(std::abs(codec.EcebCoef(l, bx, by)) >= T) << l;
  return mask;
}
}  // namespace

// Earlier blocks (left, above left, above, above right) count when
// significant in this plane (|K| >= T), later ones (right, below) when
// significant in the previous plane (|K| >= 2T).
TEST(EcebContexts, Significance) {
  CBlockEncoder codec(24, 24);
  const int T = 4;
  auto set = [&](int l, int bx, int by, int k) { codec.EcebCoef(l, bx, by) = k; };
  auto sig = [&](int bx, int by, int l) {
    MasksWhileCoding(codec, bx, by, T);
    return CNeighbours(codec, codec.Bordered(bx, by)).Sig(l, Own(codec, bx, by, T));
  };
  for (int l : {0, 1, 3, 63}) {
    set(l, 0, 1, 4), set(l, 0, 0, -4), set(l, 1, 0, 7), set(l, 2, 0, 4);  // earlier: all count
    set(l, 2, 1, 7), set(l, 1, 2, -7);                                    // later: below 2T
    set(l, 0, 2, 100), set(l, 2, 2, 100);                                 // never neighbours
  }
  EXPECT_EQ(sig(1, 1, 0), 4);
  EXPECT_EQ(sig(1, 1, 1), 11);
  EXPECT_EQ(sig(1, 1, 2), 7);
  EXPECT_EQ(sig(0, 0, 0), 0);  // right 7 < 8, below 4 < 8
  set(0, 2, 1, 8), set(0, 1, 2, -8);
  EXPECT_EQ(sig(1, 1, 0), 6);
  set(0, 1, 1, 8);
  EXPECT_EQ(sig(1, 0, 0), 2);  // left -4 >= T, right 4 < 2T, below 8 >= 2T
  // Within the block, from l = 3 on: the left and upper neighbours.
  set(1, 1, 1, 4), set(2, 1, 1, -5);
  EXPECT_EQ(sig(1, 1, 2), 7);    // ignored below l = 3
  EXPECT_EQ(sig(1, 1, 3), 19);   // (2,0): upper (1,0)
  EXPECT_EQ(sig(1, 1, 4), 16);   // (1,1): left (1,0), upper (0,1)
  EXPECT_EQ(sig(1, 1, 20), 14);
  EXPECT_EQ(sig(1, 1, 21), 23);
  set(61, 1, 1, 3), set(62, 1, 1, -4);
  EXPECT_EQ(sig(1, 1, 63), 28);  // 4 earlier + left (7,6)
}

TEST(EcebRoundTrip, RandomPlanes) { CheckRandomPlanes(CheckRoundTrip, 100); }

TEST(EcebRoundTrip, Camera) { CheckCamera(CheckRoundTrip); }
