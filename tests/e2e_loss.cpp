// Simulated block loss through tarnunpack: every loss pattern with the
// concealment and post-filter variants the command line selects, on camera.
#include <iomanip>
#include <iostream>
#include <sstream>

#include "e2e_support.h"

namespace {
// DCT Wiener filter: a straight line from the last sample before the lost
// block (position -1) to the first one after it (position 8).
std::vector<float> InterpolatingDctWiener() {
  std::vector<float> m(128, 0.0f);
  for (int j = 0; j < 8; ++j) {
    m[16 * j + 7] = (8 - j) / 9.0f;
    m[16 * j + 8] = (j + 1) / 9.0f;
  }
  return m;
}

// Boundary Wiener filter: every sample repeats the neighbour's edge sample.
std::vector<float> EdgeRepeatingBoundaryWiener() {
  std::vector<float> m(64, 0.0f);
  for (int j = 0; j < 8; ++j) m[8 * j + 7] = 1.0f;
  return m;
}

// Non-PR post-filter: half-way between the post-filter and no filtering, a
// milder inverse for boundaries whose one side is an estimate.
std::vector<float> HalfPostFilter(const std::vector<float>& post) {
  std::vector<float> m(64);
  for (int k = 0; k < 64; ++k) m[k] = 0.5f * post[k] + (k % 9 == 0 ? 0.5f : 0.0f);
  return m;
}

// General Wiener filter over 16 samples: the post-filter at each of the two
// boundaries of the lost block (samples 0..7 and 8..15).
std::vector<float> PostFilterPair(const std::vector<float>& post) {
  std::vector<float> m(256, 0.0f);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) m[16 * i + j] = m[16 * (i + 8) + 8 + j] = post[8 * i + j];
  return m;
}

FilterFile LossFilterFile(int iLossSize) {
  FilterFile file;
  file.pre = BuiltInFilterMatrix(0, true);
  file.post = BuiltInFilterMatrix(0, false);
  file.lossSize = iLossSize;
  file.loss = iLossSize == 8 ? HalfPostFilter(file.post) : PostFilterPair(file.post);
  file.dctSize = 8;
  file.dct = InterpolatingDctWiener();
  file.boundaryFlag = 1;
  file.boundary = EdgeRepeatingBoundaryWiener();
  return file;
}

// Lost blocks of the 64 x 64-block camera image per configuration, with
// border blocks exposed and spared.
int ExpectedLost(int config, bool bBorderSpared) {
  const int exposed[10] = {0, 1024, 2048, 2048, 2048, 3072, 409, 1024, 2048, 1024};
  const int spared[10] = {0, 961, 1922, 1922, 1922, 2883, 409, 1024, 2048, 1024};
  return bBorderSpared ? spared[config] : exposed[config];
}

class Loss : public E2e {
 protected:
  // Decodes z.out with one loss configuration and returns the PSNR; checks
  // the run and its dump files.
  double Decode(const std::string& filter, int config, const std::string& options) {
    for (const char* dump : {"LostData.raw", "LostMask.raw", "BeforePost.raw"})
      std::filesystem::remove(Path(dump));
    const std::string args = "z.out dec.pgm " + filter + " -l " + std::to_string(config) + " " + options;
    SCOPED_TRACE(args);
    const std::string out = UnpackOk(args);
    EXPECT_NE(out.find("Error concealment test with config " + std::to_string(config) + "\n"),
              std::string::npos);
    EXPECT_EQ(out.find("Warning"), std::string::npos);
    const std::vector<unsigned char> mask = Bytes("LostMask.raw");
    const std::vector<unsigned char> data = Bytes("LostData.raw");
    EXPECT_EQ(mask.size(), 4096u);
    EXPECT_EQ(data.size(), 1048576u);
    int lost = 0, zeroed = 0;
    for (std::size_t b = 0; b < mask.size() && data.size() == 1048576u; ++b) {
      if (mask[b] == 0) continue;
      ++lost;
      // A lost block reaches the dump zeroed.
      const std::size_t first = 4 * (8 * 512 * (b / 64) + 8 * (b % 64));
      bool bZero = true;
      for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 32; ++k) bZero = bZero && data[first + 4 * 512 * i + k] == 0;
      zeroed += bZero;
    }
    EXPECT_EQ(zeroed, lost);
    EXPECT_EQ(lost, ExpectedLost(config, options.find("-b 0") != std::string::npos));
    EXPECT_EQ(Exists("BeforePost.raw"), config != 5);
    if (config != 5) {
      EXPECT_EQ(Bytes("BeforePost.raw").size(), 1048576u);
    }
    return Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm")));
  }
};
}  // namespace

TEST_F(Loss, EveryPatternConcealsAndReconstructs) {
  WriteFilterFile(Path("loss8.dat"), LossFilterFile(8));
  WriteFilterFile(Path("wiener16.dat"), LossFilterFile(16));
  PackOk(Camera() + " z.out loss8.dat 20");
  const double clean = Decode("loss8.dat", 0, "");
  EXPECT_GT(clean, 35.0);

  struct Column {
    const char* title;
    const char* filter;
    const char* options;
  };
  const Column columns[] = {
      {"non-PR", "loss8.dat", ""},         {"-b 0", "loss8.dat", "-b 0"},
      {"-r 0", "loss8.dat", "-r 0"},       {"-x 1", "loss8.dat", "-x 1"},
      {"Wiener16", "wiener16.dat", ""},    {"built-in 0", "0", ""},
  };
  double psnr[6][10] = {};
  std::vector<unsigned char> image[6][10];
  for (int col = 0; col < 6; ++col)
    for (int config = 1; config <= 9; ++config) {
      psnr[col][config] = Decode(columns[col].filter, config, columns[col].options);
      image[col][config] = Bytes("dec.pgm");
      EXPECT_LT(psnr[col][config], clean) << columns[col].title << " config " << config;
      EXPECT_GT(psnr[col][config], 15.0) << columns[col].title << " config " << config;
    }

  // The variants reach the image where they should: reuse changes line loss
  // (the left block joins the prediction), the switch changes the vertical
  // boundaries next to lattice loss, the 16-sample grid differs from the
  // non-PR one.
  EXPECT_NE(image[2][9], image[0][9]);
  EXPECT_NE(image[3][1], image[0][1]);
  EXPECT_NE(image[4][2], image[0][2]);
  // -e only prints its notice.
  Decode("loss8.dat", 9, "-e 1");
  EXPECT_EQ(Bytes("dec.pgm"), image[0][9]);

  std::ostringstream table;
  table << std::fixed << std::setprecision(2) << "PSNR (dB) of camera at q 20, no loss " << clean << "\nconfig";
  for (const Column& c : columns) table << std::setw(12) << c.title;
  table << "\n";
  for (int config = 1; config <= 9; ++config) {
    table << std::setw(6) << config;
    for (int col = 0; col < 6; ++col) table << std::setw(12) << psnr[col][config];
    table << "\n";
  }
  std::cout << table.str();
}
