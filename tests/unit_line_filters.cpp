#include <gtest/gtest.h>

#include <random>

#include "block_codec.h"
#include "test_files.h"

using namespace tarn;

namespace {
const int kRow[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const float kStep[8] = {0, 0, 0, 0, 8, 8, 8, 8};

std::vector<float> Matrix16(const std::vector<float>& m8) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) m[16 * i + j] = m8[8 * i + j];
  return m;
}
}  // namespace

TEST(LineFilters, StepResponsesAndExactInverse) {
  struct Case {
    int type;
    float out[8];
  };
  const Case cases[] = {
      {0, {-0.1900005f, -0.4512501f, -0.6056252f, -5.054218f, 13.05422f, 8.605625f, 8.45125f, 8.190001f}},
      {1, {1.627248f, 3.315847f, -1.841726f, -5.280687f, 13.28069f, 9.841726f, 4.684153f, 6.372752f}},
      {5, {-0.2969875f, -0.5195608f, -0.8599663f, -5.389647f, 13.38965f, 8.859966f, 8.519561f, 8.296988f}}};
  CBlockCodec codec(16, 16);
  for (const Case& c : cases) {
    float line[8];
    std::copy(kStep, kStep + 8, line);
    codec.Filter8(line, kRow, true, c.type, nullptr);
    for (int k = 0; k < 8; ++k) EXPECT_FLOAT_EQ(line[k], c.out[k]) << "type " << c.type << " sample " << k;
    codec.Filter8(line, kRow, false, c.type, nullptr);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(line[k], kStep[k]) << "type " << c.type << " sample " << k;
  }
}

TEST(LineFilters, FlatLinesAndOtherTypesPassUnchanged) {
  CBlockCodec codec(16, 16);
  for (int type : {0, 1, 5, 2, 3, 9}) {
    for (bool pre : {true, false}) {
      float flat[8];
      std::fill(flat, flat + 8, 37.0f);
      codec.Filter8(flat, kRow, pre, type, nullptr);
      for (float v : flat) EXPECT_EQ(v, 37.0f) << "type " << type;
    }
  }
  float line[8] = {3, 250, 0, 17, 99, 100, 1, 255};
  float copy[8];
  std::copy(line, line + 8, copy);
  codec.Filter8(line, kRow, true, 3, nullptr);
  codec.Filter8(line, kRow, false, 3, nullptr);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(line[k], copy[k]);
}

TEST(LineFilters, BuiltInPreThenPostRestoresEightBitValues) {
  std::mt19937 rng(11);
  CBlockCodec codec(16, 16);
  for (int type : {0, 1, 5})
    for (int trial = 0; trial < 500; ++trial) {
      float line[8], original[8];
      for (int k = 0; k < 8; ++k) line[k] = original[k] = static_cast<float>(rng() % 256);
      codec.Filter8(line, kRow, true, type, nullptr);
      codec.Filter8(line, kRow, false, type, nullptr);
      for (int k = 0; k < 8; ++k) ASSERT_NEAR(line[k], original[k], 1e-4);
    }
}

TEST(LineFilters, MatrixOperators) {
  CBlockCodec codec(16, 16);
  // Identity in the corner, garbage elsewhere: type -1 ignores the rest and
  // the direction flag.
  std::vector<float> m = Matrix16(Identity(8));
  for (int i = 0; i < 16; ++i)
    for (int j = 8; j < 16; ++j) m[16 * i + j] = 5.0f;
  for (bool pre : {true, false}) {
    float line[16] = {1.5f, -2, 3, 4, 5, 6, 7, 8.25f, 100, 100, 100, 100, 100, 100, 100, 100};
    codec.Filter8(line, kRow, pre, -1, m.data());
    const float expected[16] = {1.5f, -2, 3, 4, 5, 6, 7, 8.25f, 100, 100, 100, 100, 100, 100, 100, 100};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(line[k], expected[k]);
  }
  // The matrix form of built-in type 0 matches the lifting form closely.
  std::vector<float> pre0 = Matrix16(BuiltInFilterMatrix(0, true));
  float a[8], b[8];
  std::copy(kStep, kStep + 8, a);
  std::copy(kStep, kStep + 8, b);
  codec.FilterMatrix8(a, kRow, pre0.data());
  codec.Filter8(b, kRow, true, 0, nullptr);
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(a[k], b[k], 1e-5);
  // FilterMatrix16 uses all 16 offsets: a reversal matrix down a column.
  std::vector<float> reverse(256, 0.0f);
  for (int i = 0; i < 16; ++i) reverse[16 * i + 15 - i] = 1.0f;
  CBlockCodec column(4, 16);
  float samples[64];
  for (int k = 0; k < 64; ++k) samples[k] = static_cast<float>(k);
  column.FilterMatrix16(samples + 1, column.m_aiVerOffset, reverse.data());
  for (int k = 0; k < 16; ++k) EXPECT_EQ(samples[1 + 4 * k], static_cast<float>(1 + 4 * (15 - k)));
  EXPECT_EQ(samples[0], 0.0f);
}
