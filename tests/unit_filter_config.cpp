#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "filter_config.h"
#include "fresh_directory.h"
#include "test_files.h"

namespace {
// Loads a file as the decoder does (fixed notation, two decimals) and keeps
// what it printed.
struct Loaded {
  int result;
  std::string output;
  FilterBank bank;
};

Loaded Load(const FilterFile& file, bool verbose, const char* name = "filters.dat") {
  WriteFilterFile(name, file);
  Loaded loaded{};
  std::memset(&loaded.bank, 0, sizeof loaded.bank);
  std::ostringstream captured;
  std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
  std::ios state(nullptr);
  state.copyfmt(std::cout);
  std::cout << std::fixed << std::setprecision(2);
  loaded.result = LoadFilterBank(name, verbose, loaded.bank);
  std::cout.copyfmt(state);
  std::cout.rdbuf(old);
  loaded.output = captured.str();
  return loaded;
}

std::vector<float> Ramp(std::size_t n, float start) {
  std::vector<float> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = start + static_cast<float>(k);
  return v;
}

const char kNoDct[] = "No DCT Wiener. Mean reconstruction will be used.\n";

// The tests write their filter files into a directory of their own.
class FilterConfig : public InFreshDirectory {};
}  // namespace

TEST_F(FilterConfig, PostFilterOnlyFile) {
  FilterFile file;
  file.post = Ramp(64, 1);
  file.hasLossField = false;
  ASSERT_EQ(FilterFileBytes(file).size(), 516u);
  Loaded l = Load(file, false);
  EXPECT_EQ(l.result, 0);
  EXPECT_EQ(l.output, kNoDct);
  EXPECT_EQ(l.bank.m_iLossPostFilterSize, 0);
  EXPECT_FALSE(l.bank.m_bHasDctWiener);
  EXPECT_EQ(l.bank.m_afBoundaryWiener[0], kAbsentFilter);
  EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[0], kAbsentFilter);
  EXPECT_EQ(l.bank.m_afPostFilter[16 * 7 + 7], 64.0f);
  EXPECT_EQ(l.bank.m_afPostFilter[8], 0.0f);  // column 8 of row 0 stays 0
  EXPECT_EQ(l.bank.m_afPostFilter[16], 9.0f);
}

TEST_F(FilterConfig, NoDctWienerNoticeDependsOnLossFilterSize) {
  FilterFile file;
  file.lossSize = 16;
  file.loss = Ramp(256, 0);
  EXPECT_EQ(Load(file, false).output, "");
  file.lossSize = 8;
  file.loss = Ramp(64, 0);
  EXPECT_EQ(Load(file, false).output, kNoDct);
}

TEST_F(FilterConfig, ErrorsInFileOrder) {
  struct Case {
    std::int32_t size, lossSize, dctSize;
    bool verbose;
    int result;
    std::string output;
  };
  const Case cases[] = {
      {16, 0, 0, false, -1, "Invalid prefilter data file. Filter size should be BLK_SIZE\n"},
      {16, 0, 0, true, -1, "Postfilter size: 16x16\nInvalid prefilter data file. Filter size should be BLK_SIZE\n"},
      {8, 4, 0, false, -10, "Invalid postfilter size.\n"},
      {8, 4, 16, false, -10, "Invalid postfilter size.\n"},
      {8, 0, 16, false, -10, "Invalid DCT wiener size.\n"},
  };
  for (const Case& c : cases) {
    FilterFile file;
    file.size = c.size;
    file.lossSize = c.lossSize;
    file.dctSize = c.dctSize;
    Loaded l = Load(file, c.verbose);
    EXPECT_EQ(l.result, c.result);
    EXPECT_EQ(l.output, c.output);
  }
}

TEST_F(FilterConfig, MissingOrTinyFileIsInvalid) {
  std::remove("absent.dat");
  FilterBank bank{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadFilterBank("absent.dat", false, bank), -1);
  WriteFileBytes("tiny.dat", {8, 0});
  EXPECT_EQ(LoadFilterBank("tiny.dat", false, bank), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Invalid prefilter data file. Filter size should be BLK_SIZE\n"
            "Invalid prefilter data file. Filter size should be BLK_SIZE\n");
}

TEST_F(FilterConfig, BoundaryWienerFlagAndMirror) {
  for (std::int32_t flag : {1, -1, 7}) {
    FilterFile file;
    file.dctSize = 8;
    file.dct = Ramp(128, 0);
    file.boundaryFlag = flag;
    file.boundary = Ramp(64, 0.5f);
    Loaded l = Load(file, false);
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.output, "");
    EXPECT_TRUE(l.bank.m_bHasDctWiener);
    EXPECT_EQ(l.bank.m_afDctWiener[16 * 7 + 15], 127.0f);
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j)
        EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[8 * (7 - i) + 7 - j], l.bank.m_afBoundaryWiener[8 * i + j]);
    EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[63], 0.5f);
    EXPECT_EQ(l.bank.m_afBoundaryWienerMirror[7], l.bank.m_afBoundaryWiener[56]);
  }
}

TEST_F(FilterConfig, EightByEightLossFilterStaysInItsCorner) {
  FilterFile file;
  file.lossSize = 8;
  file.loss = Ramp(64, 1);
  file.dctSize = 8;  // the 65th value after M is this size field
  file.dct = Ramp(128, 0);
  Loaded l = Load(file, false);
  ASSERT_EQ(l.result, 0);
  EXPECT_EQ(l.bank.m_iLossPostFilterSize, 8);
  EXPECT_EQ(l.bank.m_afLossPostFilter[8], 0.0f);
  EXPECT_EQ(l.bank.m_afLossPostFilter[16], 9.0f);
  EXPECT_EQ(l.bank.m_afLossPostFilter[16 * 7 + 7], 64.0f);
  EXPECT_TRUE(l.bank.m_bHasDctWiener);
}

TEST_F(FilterConfig, VerbosePrinting) {
  FilterFile file;
  file.post[0] = 1;
  file.post[1] = 0.5f;
  file.post[2] = -0.25f;
  file.lossSize = 8;
  file.dctSize = 8;
  file.boundaryFlag = 1;
  Loaded l = Load(file, true);
  ASSERT_EQ(l.result, 0);
  std::string zeros8;
  for (int k = 0; k < 8; ++k) zeros8 += "0.00  ";
  zeros8 += "\n";
  std::string zeros16 = zeros8.substr(0, 48) + zeros8;
  std::string expected = "Postfilter size: 8x8\n1.00  0.50  -0.25  0.00  0.00  0.00  0.00  0.00  \n";
  for (int k = 0; k < 7; ++k) expected += zeros8;
  expected += "\nNon-PR postfilter size:8\n";
  for (int k = 0; k < 8; ++k) expected += zeros8;
  expected += "\nWiener filter for DCT: 8x16\n";
  for (int k = 0; k < 8; ++k) expected += zeros16;
  expected += "\nBoundary Wiener filter: \n";
  for (int k = 0; k < 8; ++k) expected += zeros8;
  EXPECT_EQ(l.output, expected);
  file.lossSize = 16;
  EXPECT_NE(Load(file, true).output.find("\nGeneral Wiener filter size:16\n"), std::string::npos);
}

// A file that ends inside a matrix: the values present are kept, the rest
// are 0, and the later size and flag fields count as 0.
TEST_F(FilterConfig, FileEndingInsideAMatrix) {
  FilterFile file;
  file.lossSize = 16;
  file.loss = Ramp(256, 1);
  file.dctSize = 8;
  file.boundaryFlag = 1;
  std::vector<unsigned char> bytes = FilterFileBytes(file);
  bytes.resize(520 + 4 * 20 + 2);  // 20 loss values and half of the 21st
  WriteFileBytes("cut.dat", bytes);
  FilterBank bank{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadFilterBank("cut.dat", false, bank), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(bank.m_iLossPostFilterSize, 16);
  EXPECT_EQ(bank.m_afLossPostFilter[19], 20.0f);
  EXPECT_EQ(bank.m_afLossPostFilter[20], 0.0f);
  EXPECT_FALSE(bank.m_bHasDctWiener);
  EXPECT_EQ(bank.m_afBoundaryWiener[0], kAbsentFilter);
}
