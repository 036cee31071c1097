// The limits of both coefficient coders: steps too small for a plane are
// refused before anything is coded, and damaged payloads fed to the decoders
// end, in time bounded by the payload and the plane, with a plane or with
// kDamagedPayload.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "coder_planes.h"

using namespace tarn;

namespace {
constexpr int kSize = 64;
constexpr float kQ = 20;

// A 64 x 64 corner of the transformed camera image, whole blocks.
std::vector<float> Crop() {
  static const std::vector<float> camera = CameraCoefficients();
  std::vector<float> plane(kSize * kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) plane[y * kSize + x] = camera[(192 + y) * 512 + 192 + x];
  return plane;
}

std::vector<unsigned char> Encode(Coder coder) {
  std::vector<float> plane = Crop();
  CBlockEncoder enc(kSize, kSize);
  enc.SetPlane(plane.data());
  std::vector<unsigned char> payload;
  int length = coder == Coder::kLceb ? enc.EncodeLceb(&payload, kQ) : enc.EncodeEceb(&payload, kQ);
  payload.resize(length);
  return payload;
}

// The decoder's result, which must be kDamagedPayload or the bytes read,
// at most two past the payload's end.
int Decode(Coder coder, const std::vector<unsigned char>& payload, int w = kSize, int h = kSize) {
  CBlockDecoder dec(w, h);
  const int length = static_cast<int>(payload.size());
  int result = coder == Coder::kLceb ? dec.DecodeLceb(payload.data(), length, kQ, false)
                                     : dec.DecodeEceb(payload.data(), length, kQ, false);
  EXPECT_TRUE(result == kDamagedPayload || (result > 0 && result <= length + 2))
      << Name(coder) << " read " << result << " of " << length;
  return result;
}
}  // namespace

TEST(CoderLimits, RandomBytes) {
  std::mt19937 rng(7);
  for (Coder coder : kCoders)
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<unsigned char> payload(rng() % 400);
      for (auto& byte : payload) byte = static_cast<unsigned char>(rng());
      Decode(coder, payload);
    }
}

TEST(CoderLimits, TruncatedPayloads) {
  for (Coder coder : kCoders) {
    std::vector<unsigned char> payload = Encode(coder);
    EXPECT_GE(Decode(coder, payload), static_cast<int>(payload.size()) + 1);
    for (std::size_t length = 0; length < payload.size(); ++length) {
      int result = Decode(coder, std::vector<unsigned char>(payload.begin(), payload.begin() + length));
      if (length < payload.size() / 2) {
        EXPECT_EQ(result, kDamagedPayload) << Name(coder) << " cut to " << length;
      }
    }
  }
}

TEST(CoderLimits, BitFlips) {
  for (Coder coder : kCoders) {
    const std::vector<unsigned char> payload = Encode(coder);
    for (std::size_t bit = 0; bit < 8 * payload.size(); bit += 5) {
      std::vector<unsigned char> flipped = payload;
      flipped[bit / 8] ^= static_cast<unsigned char>(0x80 >> (bit % 8));
      Decode(coder, flipped);
    }
  }
}

// Zero bytes keep the decoder's code at the bottom of its interval, where
// every decision is 1: LCEB's first magnitude would never end, and only the
// reader's overrun stops it, in a one-block plane as in a long payload.
// ECEB's runs are bounded by the plane, so it decodes a long enough run of
// zeros into some plane.
TEST(CoderLimits, EndlessRunsOfOnes) {
  for (std::size_t length : {0, 1, 4, 20000}) {
    std::vector<unsigned char> zeros(length, 0);
    EXPECT_EQ(Decode(Coder::kLceb, zeros, 8, 8), kDamagedPayload) << length;
    EXPECT_EQ(Decode(Coder::kLceb, zeros), kDamagedPayload) << length;
    Decode(Coder::kEceb, zeros, 8, 8);
    Decode(Coder::kEceb, zeros);
  }
}

// Quantised magnitudes are below 2^31, so no header exponent above 30 is
// ever written.
TEST(CoderLimits, EcebHeaderAbove30) {
  std::vector<unsigned char> payload = Encode(Coder::kEceb);
  for (int n : {31, 32, 200, 255}) {
    payload[0] = static_cast<unsigned char>(n);
    EXPECT_EQ(Decode(Coder::kEceb, payload), kDamagedPayload) << n;
  }
  payload[0] = 30;
  Decode(Coder::kEceb, payload);
}

TEST(CoderLimits, RefusesStepsTooSmallForThePlane) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> plane;
    std::uint32_t w, h;
    float q;
  };
  const Case cases[] = {{CameraCoefficients(), 512, 512, 1e-30f},
                        {MakePlane(16, 16, {{8, 8, 1024}, {9, 9, 2147483648.0f}}), 16, 16, 1},
                        {MakePlane(16, 8, {{0, 8, std::nanf("")}}), 16, 8, 10},
                        {MakePlane(16, 8, {{3, 4, inf}}), 16, 8, 10},
                        {MakePlane(16, 8, {{3, 4, -inf}}), 16, 8, 10}};
  for (Coder coder : kCoders)
    for (const Case& c : cases) {
      CBlockEncoder enc(c.w, c.h);
      enc.SetPlane(c.plane.data());
      std::vector<unsigned char> payload;
      int result = coder == Coder::kLceb ? enc.EncodeLceb(&payload, c.q) : enc.EncodeEceb(&payload, c.q);
      EXPECT_EQ(result, kQuantOverflow) << Name(coder) << " " << c.w << "x" << c.h;
      EXPECT_TRUE(payload.empty());
    }
}

// A payload that would outgrow what a stream can carry is refused like a
// step too small for the plane, never cut short.
TEST(CoderLimits, RefusesPayloadsPastTheWriterLimit) {
  const std::vector<float> plane = Crop();
  for (Coder coder : kCoders) {
    CBlockEncoder enc(kSize, kSize);
    enc.SetPlane(plane.data());
    enc.m_pBitWriter.SetLimit(64);
    std::vector<unsigned char> payload;
    int result = coder == Coder::kLceb ? enc.EncodeLceb(&payload, kQ) : enc.EncodeEceb(&payload, kQ);
    EXPECT_EQ(result, kQuantOverflow) << Name(coder);
    EXPECT_EQ(payload.size(), 64u);
  }
}
