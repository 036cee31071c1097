#include <gtest/gtest.h>

#include <vector>

#include "filter_config.h"
#include "test_files.h"

using namespace tarn;

namespace {
struct Loaded {
  tarn_status status;
  FilterBank bank;
  FilterFields fields;
};

Loaded Load(const std::vector<unsigned char>& bytes, bool full = true) {
  Loaded l;
  l.status = LoadFilterBank(bytes.data(), bytes.size(), full, l.bank, l.fields);
  return l;
}

Loaded Load(const FilterFile& file, bool full = true) { return Load(FilterFileBytes(file), full); }

std::vector<float> Ramp(std::size_t n, float start) {
  std::vector<float> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = start + static_cast<float>(k);
  return v;
}
}  // namespace

TEST(FilterConfig, PostFilterOnlyFile) {
  FilterFile file;
  file.pre = Ramp(64, 100);
  file.post = Ramp(64, 1);
  file.hasLossField = false;
  ASSERT_EQ(FilterFileBytes(file).size(), 516u);
  Loaded l = Load(file);
  EXPECT_EQ(l.status, TARN_OK);
  EXPECT_EQ(l.bank.m_iType, -1);
  EXPECT_EQ(l.bank.m_iLossPostFilterSize, 0);
  EXPECT_FALSE(l.bank.m_bHasDctWiener);
  EXPECT_EQ(l.bank.m_afBoundaryWiener[0], kAbsentFilter);
  EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[0], kAbsentFilter);
  EXPECT_EQ(l.bank.m_afPostFilter[16 * 7 + 7], 64.0f);
  EXPECT_EQ(l.bank.m_afPostFilter[8], 0.0f);  // column 8 of row 0 stays 0
  EXPECT_EQ(l.bank.m_afPostFilter[16], 9.0f);
  EXPECT_EQ(l.bank.m_afPreFilter[16 * 7 + 7], 163.0f);
  // The missing size fields read as 0: every field counts as read.
  EXPECT_EQ(l.fields.iSections, unsigned(TARN_SECTION_SIZE | TARN_SECTION_PREFILTER | TARN_SECTION_POSTFILTER |
                                         TARN_SECTION_LOSS_SIZE | TARN_SECTION_DCT_SIZE |
                                         TARN_SECTION_BOUNDARY_FLAG));
}

TEST(FilterConfig, ErrorsInFileOrder) {
  struct Case {
    std::int32_t size, lossSize, dctSize;
    tarn_status status;
    std::uint32_t lastSection;  // the last field read
  };
  const Case cases[] = {
      {16, 0, 0, TARN_ERR_FILTER_SIZE, TARN_SECTION_SIZE},
      {8, 4, 0, TARN_ERR_LOSS_POSTFILTER_SIZE, TARN_SECTION_LOSS_SIZE},
      {8, 4, 16, TARN_ERR_LOSS_POSTFILTER_SIZE, TARN_SECTION_LOSS_SIZE},
      {8, 0, 16, TARN_ERR_DCT_WIENER_SIZE, TARN_SECTION_DCT_SIZE},
  };
  for (const Case& c : cases) {
    FilterFile file;
    file.size = c.size;
    file.lossSize = c.lossSize;
    file.dctSize = c.dctSize;
    Loaded l = Load(file);
    EXPECT_EQ(l.status, c.status) << c.size << " " << c.lossSize << " " << c.dctSize;
    EXPECT_LT(l.fields.iSections, 2 * c.lastSection);
    EXPECT_NE(l.fields.iSections & c.lastSection, 0u);
    EXPECT_EQ(l.fields.iSize, c.size);
  }
}

TEST(FilterConfig, EmptyOrTinyFileIsInvalid) {
  for (const std::vector<unsigned char>& bytes : {std::vector<unsigned char>{}, std::vector<unsigned char>{8, 0}}) {
    Loaded l = Load(bytes);
    EXPECT_EQ(l.status, TARN_ERR_FILTER_SIZE);
    EXPECT_EQ(l.fields.iSize, 0);
  }
}

TEST(FilterConfig, PreFilterReaderStopsAfterThePreFilter) {
  FilterFile file;
  file.pre = Ramp(64, 1);
  file.lossSize = 4;  // invalid, but never read
  Loaded l = Load(file, false);
  EXPECT_EQ(l.status, TARN_OK);
  EXPECT_EQ(l.bank.m_afPreFilter[16 * 7 + 7], 64.0f);
  EXPECT_EQ(l.fields.iSections, unsigned(TARN_SECTION_SIZE | TARN_SECTION_PREFILTER));
}

TEST(FilterConfig, BoundaryWienerFlagAndMirror) {
  for (std::int32_t flag : {1, -1, 7}) {
    FilterFile file;
    file.dctSize = 8;
    file.dct = Ramp(128, 0);
    file.boundaryFlag = flag;
    file.boundary = Ramp(64, 0.5f);
    Loaded l = Load(file);
    ASSERT_EQ(l.status, TARN_OK);
    EXPECT_TRUE(l.bank.m_bHasDctWiener);
    EXPECT_EQ(l.fields.iBoundaryFlag, flag);
    EXPECT_EQ(l.bank.m_afDctWiener[16 * 7 + 15], 127.0f);
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j)
        EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[8 * (7 - i) + 7 - j], l.bank.m_afBoundaryWiener[8 * i + j]);
    EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[63], 0.5f);
    EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[7], l.bank.m_afBoundaryWiener[56]);
  }
}

TEST(FilterConfig, EightByEightLossFilterStaysInItsCorner) {
  FilterFile file;
  file.lossSize = 8;
  file.loss = Ramp(64, 1);
  file.dctSize = 8;  // the 65th value after M is this size field
  file.dct = Ramp(128, 0);
  Loaded l = Load(file);
  ASSERT_EQ(l.status, TARN_OK);
  EXPECT_EQ(l.bank.m_iLossPostFilterSize, 8);
  EXPECT_EQ(l.bank.m_afLossPostFilter[8], 0.0f);
  EXPECT_EQ(l.bank.m_afLossPostFilter[16], 9.0f);
  EXPECT_EQ(l.bank.m_afLossPostFilter[16 * 7 + 7], 64.0f);
  EXPECT_TRUE(l.bank.m_bHasDctWiener);
}

// A file that ends inside a matrix: the values present are kept, the rest
// are 0, and the later size and flag fields count as 0.
TEST(FilterConfig, FileEndingInsideAMatrix) {
  FilterFile file;
  file.lossSize = 16;
  file.loss = Ramp(256, 1);
  file.dctSize = 8;
  file.boundaryFlag = 1;
  std::vector<unsigned char> bytes = FilterFileBytes(file);
  bytes.resize(520 + 4 * 20 + 2);  // 20 loss values and half of the 21st
  Loaded l = Load(bytes);
  EXPECT_EQ(l.status, TARN_OK);
  EXPECT_EQ(l.bank.m_iLossPostFilterSize, 16);
  EXPECT_EQ(l.bank.m_afLossPostFilter[19], 20.0f);
  EXPECT_EQ(l.bank.m_afLossPostFilter[20], 0.0f);
  EXPECT_FALSE(l.bank.m_bHasDctWiener);
  EXPECT_EQ(l.bank.m_afBoundaryWiener[0], kAbsentFilter);
}

TEST(FilterConfig, BuiltInMatricesAreTheLineFilters) {
  float pre[64], post[64];
  BuiltInFilterMatrix(3, true, pre);  // no lifting stage: the identity
  for (int k = 0; k < 64; ++k) EXPECT_EQ(pre[k], k % 9 == 0 ? 1.0f : 0.0f);
  // Type 0's post-filter undoes its pre-filter: their product is about I.
  BuiltInFilterMatrix(0, true, pre);
  BuiltInFilterMatrix(0, false, post);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      double sum = 0;
      for (int k = 0; k < 8; ++k) sum += double(post[8 * i + k]) * pre[8 * k + j];
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-6);
    }
}
