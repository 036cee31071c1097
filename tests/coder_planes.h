// Coefficient planes for the tests of the two coefficient coders: small
// hand-made ones, random ones and the transformed camera image.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "block_codec.h"
#include "dct.h"
#include "test_files.h"

using namespace tarn;

struct Sample {
  int y, x;
  float value;
};

// A w x h plane that is zero except for the given samples.
inline std::vector<float> MakePlane(std::uint32_t w, std::uint32_t h, std::initializer_list<Sample> samples) {
  std::vector<float> plane(w * h, 0.0f);
  for (const Sample& s : samples) plane[s.y * w + s.x] = s.value;
  return plane;
}

// Random coefficients shaped like a transformed image: DCs up to 2040 in
// magnitude, AC magnitudes falling with the frequency, many exact zeros, and
// now and then a large value on the last anti-diagonal.
inline std::vector<float> RandomCoefficients(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> plane(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int r = y % 8, c = x % 8;
      float scale = 300.0f / (1 + 2 * (r + c));
      float v = unit(rng) < 0.3f ? 0.0f : -std::log(unit(rng) + 1e-6f) * scale;
      if (r + c == 0) v = 2040.0f * unit(rng);
      if (r + c == 14 && unit(rng) < 0.2f) v = 90.0f;
      plane[y * w + x] = unit(rng) < 0.5f ? -v : v;
    }
  return plane;
}

// camera.pgm (512 x 512) after the encoder's transform with filter type 0.
inline std::vector<float> CameraCoefficients() {
  PgmImage image = ReadPgm(ImagePath("camera.pgm"));
  CBlockEncoder enc(image.width, image.height);
  enc.ForwardTransform(image.pixels.data(), image.width, 0, nullptr);
  std::vector<float> plane(image.pixels.size());
  enc.GetPlane(plane.data());
  return plane;
}

inline std::vector<float> InverseDctOfBlocks(std::vector<float> plane, int w, int h) {
  for (int by = 0; by < h / 8; ++by)
    for (int bx = 0; bx < w / 8; ++bx) {
      float* rows[8];
      for (int r = 0; r < 8; ++r) rows[r] = plane.data() + (8 * by + r) * w + 8 * bx;
      InverseDct8x8(rows);
    }
  return plane;
}

// Models that saw no decision still hold their initial counts.
inline int TouchedModels(const CBinModel* models, int count) {
  int touched = 0;
  for (int i = 0; i < count; ++i) touched += models[i].m_iTotal != 2;
  return touched;
}

enum class Coder { kLceb, kEceb };
const Coder kCoders[] = {Coder::kLceb, Coder::kEceb};
inline const char* Name(Coder coder) { return coder == Coder::kLceb ? "LCEB" : "ECEB"; }

// Codes the plane with enc; expects success and returns the payload.
inline std::vector<unsigned char> EncodePlane(Coder coder, CBlockEncoder* enc, const std::vector<float>& plane,
                                              float q) {
  enc->SetPlane(plane.data());
  std::vector<unsigned char> payload;
  int length = coder == Coder::kLceb ? enc->EncodeLceb(&payload, q) : enc->EncodeEceb(&payload, q);
  EXPECT_GT(length, 0) << Name(coder);
  payload.resize(std::max(length, 0));
  return payload;
}

inline std::vector<unsigned char> EncodePlane(Coder coder, const std::vector<float>& plane, std::uint32_t w,
                                              std::uint32_t h, float q) {
  CBlockEncoder enc(w, h);
  return EncodePlane(coder, &enc, plane, q);
}

// Decodes and returns the plane; *read gets the decoder's result.
inline std::vector<float> DecodePlane(Coder coder, const std::vector<unsigned char>& payload, std::uint32_t w,
                                      std::uint32_t h, float q, bool entropyOnly, int* read = nullptr) {
  CBlockDecoder dec(w, h);
  const int length = static_cast<int>(payload.size());
  int result = coder == Coder::kLceb ? dec.DecodeLceb(payload.data(), length, q, entropyOnly)
                                     : dec.DecodeEceb(payload.data(), length, q, entropyOnly);
  if (read) *read = result;
  std::vector<float> plane(w * h);
  dec.GetPlane(plane.data());
  return plane;
}

// Decodes a payload both ways and re-encodes what it decoded: the
// coefficients must be the expected ones, the samples their inverse DCT, the
// new payload the same. Returns the payload's length and collects how many
// bytes the decoder read beyond it (1 or 2 for a well-formed payload).
inline int CheckDecoding(Coder coder, const std::vector<unsigned char>& payload, const std::vector<float>& expected,
                         int w, int h, float q, std::set<int>* extraBytes) {
  int read = 0;
  std::vector<float> coefficients = DecodePlane(coder, payload, w, h, q, true, &read);
  EXPECT_EQ(coefficients, expected);
  EXPECT_TRUE(read == int(payload.size()) + 1 || read == int(payload.size()) + 2) << read;
  extraBytes->insert(read - static_cast<int>(payload.size()));
  EXPECT_EQ(DecodePlane(coder, payload, w, h, q, false), InverseDctOfBlocks(coefficients, w, h));
  EXPECT_EQ(EncodePlane(coder, coefficients, w, h, q), payload);
  return static_cast<int>(payload.size());
}

using RoundTripCheck = int (*)(const std::vector<float>& plane, int w, int h, float q, std::set<int>* extraBytes);

// Random planes of several sizes at several steps: the decoder must read one
// byte beyond the payload for some and two for others.
inline void CheckRandomPlanes(RoundTripCheck check, unsigned seed) {
  const int sizes[][2] = {{8, 8}, {16, 8}, {8, 24}, {24, 16}, {40, 32}};
  std::set<int> extraBytes;
  for (const auto& size : sizes)
    for (float q : {0.3f, 0.75f, 4.0f, 10.0f, 37.5f}) {
      SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " q=" << q);
      check(RandomCoefficients(size[0], size[1], seed++), size[0], size[1], q, &extraBytes);
    }
  EXPECT_EQ(extraBytes, (std::set<int>{1, 2}));
}

// The transformed camera image at the steps of the demo; records the sizes.
inline void CheckCamera(RoundTripCheck check) {
  std::vector<float> plane = CameraCoefficients();
  std::set<int> extraBytes;
  for (float q : {10.0f, 20.0f, 40.0f}) {
    SCOPED_TRACE(testing::Message() << "q=" << q);
    int bytes = check(plane, 512, 512, q, &extraBytes);
    ::testing::Test::RecordProperty("bytes_q" + std::to_string(static_cast<int>(q)), bytes);
  }
}

inline void ExpectModel(const CBinModel& model, int total, int ones, const char* name) {
  EXPECT_EQ(model.m_iTotal, total) << name;
  EXPECT_EQ(model.m_iCount1, ones) << name;
}
