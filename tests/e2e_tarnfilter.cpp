// tarnfilter: the design from the shipped images (the default file rebuilt,
// its constraints, both programs taking it), the loss post-filters, and
// what it refuses, each without leaving a file behind.
#include <algorithm>
#include <cmath>

#include "e2e_support.h"
#include "tarn/tarn.h"
#include "test_png.h"

namespace {
class Tarnfilter : public E2e {
 protected:
  RunResult Design(const std::string& args) const { return Run(std::string(TARNFILTER) + " " + args); }

  // The info of a filter file as a decoder loads it.
  tarn_filter_info Info(const std::string& name) const {
    const std::vector<unsigned char> bytes = Bytes(name);
    tarn_filter_info info;
    tarn_filters* filters = nullptr;
    EXPECT_EQ(tarn_filters_load(bytes.data(), bytes.size(), TARN_FILTERS_FULL, &info, &filters), TARN_OK)
        << name;
    tarn_filters_free(filters);
    return info;
  }

  // The files of the test's directory: a failed run leaves only its inputs.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // A PGM with varied samples (a fixed pseudo-random pattern), or a flat one.
  void WriteImage(const std::string& name, int width, int height, bool bFlat = false) const {
    PgmImage image;
    image.width = width;
    image.height = height;
    std::uint32_t state = 7;
    for (int i = 0; i < width * height; ++i) {
      state = state * 1103515245u + 12345u;
      image.pixels.push_back(bFlat ? 128 : static_cast<unsigned char>(state >> 24));
    }
    WritePgm(Path(name), image);
  }
};

std::string Training() { return ImagePath("camera.pgm") + " " + ImagePath("brick.pgm"); }

double RowSumError(const float* pfMatrix, int iRows, int iCols) {
  double fWorst = 0;
  for (int i = 0; i < iRows; ++i) {
    double fSum = 0;
    for (int j = 0; j < iCols; ++j) fSum += pfMatrix[i * iCols + j];
    fWorst = std::max(fWorst, std::fabs(fSum - 1));
  }
  return fWorst;
}
}  // namespace

// The command of README.md rebuilds filters/designed.dat: the same bytes
// in the normal build; built otherwise (another compiler, the sanitizers),
// each value within 1e-6.
TEST_F(Tarnfilter, RebuildsTheDesignedDefault) {
  const RunResult r = Design("out.dat " + Training());
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.err, "");
  const std::vector<unsigned char> designed = ReadFileBytes(TARN_DESIGNED_FILTERS);
#ifndef TARN_SANITIZED
  EXPECT_EQ(r.out,
            "Training on 2 images at q 10,20,40 with built-in filter 0: 6 planes.\n"
            "DCT Wiener filter (8 x 16): training error 1115.75 before, 975.287 after.\n"
            "Boundary Wiener filter (8 x 8): training error 1582.92 before, 1325.98 after.\n"
            "Without loss: 2163 of 1572864 pixels differ from built-in filter 0, by at most 1.\n"
            "Wrote out.dat\n");
  EXPECT_TRUE(Bytes("out.dat") == designed) << "filters/designed.dat differs from a rebuild";
#else
  const std::vector<unsigned char> rebuilt = Bytes("out.dat");
  ASSERT_EQ(rebuilt.size(), designed.size());
  for (std::size_t k = 4; k + 4 <= designed.size(); k += 4) {
    float a, b;
    std::memcpy(&a, &rebuilt[k], 4);
    std::memcpy(&b, &designed[k], 4);
    EXPECT_NEAR(a, b, 1e-6) << "byte " << k;
  }
#endif
}

// A training image as PNG trains as the same image as PGM.
TEST_F(Tarnfilter, TrainsOnPngsAsOnPgms) {
  Write("camera.png", PngOf(ReadPgm(Camera())));
  const RunResult pgm = Design("a.dat " + Camera() + " -q 20");
  const RunResult png = Design("b.dat camera.png -q 20");
  ASSERT_EQ(pgm.status, 0) << pgm.out;
  ASSERT_EQ(png.status, 0) << png.out;
  EXPECT_EQ(Bytes("a.dat"), Bytes("b.dat"));
}

// The predictors keep a flat area flat and W2 is mirror-symmetric; the
// pre/post-filter stays filter 0's.
TEST_F(Tarnfilter, DesignedDefaultKeepsItsConstraints) {
  Write("designed.dat", ReadFileBytes(TARN_DESIGNED_FILTERS));
  const tarn_filter_info info = Info("designed.dat");
  EXPECT_EQ(info.dct_size, 8);
  EXPECT_NE(info.boundary_flag, 0);
  EXPECT_EQ(info.loss_size, 0);
  EXPECT_LE(RowSumError(info.dct_wiener, 8, 16), 1e-6);
  EXPECT_LE(RowSumError(info.boundary_wiener, 8, 8), 1e-6);
  for (int j = 0; j < 8; ++j)
    for (int k = 0; k < 16; ++k)
      EXPECT_NEAR(info.dct_wiener[16 * j + k], info.dct_wiener[16 * (7 - j) + 15 - k], 1e-6) << j << " " << k;
  EXPECT_EQ(std::vector<float>(info.prefilter, info.prefilter + 64), BuiltInFilterMatrix(0, true));
  EXPECT_EQ(std::vector<float>(info.postfilter, info.postfilter + 64), BuiltInFilterMatrix(0, false));
}

// Both programs take the file: tarnpack codes the stream of filter 0, and
// tarnunpack conceals loss better than averaging and, without loss, gives
// filter 0's image up to the rounding of the matrices.
TEST_F(Tarnfilter, BothProgramsTakeTheDesignedFile) {
  Write("designed.dat", ReadFileBytes(TARN_DESIGNED_FILTERS));
  PackOk(Camera() + " digit.out 0 20");
  PackOk(Camera() + " file.out designed.dat 20");
  EXPECT_TRUE(Bytes("digit.out") == Bytes("file.out"));
  const PgmImage original = ReadPgm(Camera());
  UnpackOk("digit.out averaged.pgm 0 -l 1");
  UnpackOk("digit.out concealed.pgm designed.dat -l 1");
  EXPECT_GT(Psnr(original, ReadPgm(Path("concealed.pgm"))),
            Psnr(original, ReadPgm(Path("averaged.pgm"))) + 0.2);
  UnpackOk("digit.out digit.pgm 0");
  UnpackOk("digit.out file.pgm designed.dat");
  const PgmImage a = ReadPgm(Path("digit.pgm")), b = ReadPgm(Path("file.pgm"));
  int iDiffering = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    EXPECT_LE(std::abs(a.pixels[i] - b.pixels[i]), 1) << i;
    iDiffering += a.pixels[i] != b.pixels[i];
  }
  EXPECT_LT(iDiffering, 1000);
}

// Each loss post-filter lands in the file with its training errors, and
// tarnunpack uses it; training images of any size from 32 x 32 up are
// cropped to multiples of 16.
TEST_F(Tarnfilter, FitsTheLossPostFilters) {
  WriteImage("a.pgm", 37, 45);
  WriteImage("b.pgm", 96, 80);
  PackOk(Camera() + " z.out 0 20");
  struct Case {
    const char* size;
    int lossSize;
    const char* line;
  };
  for (const Case& c : {Case{"8", 8, "Non-PR loss post-filter (8 x 8): training error "},
                        Case{"16", 16, "General Wiener loss post-filter (16 x 16): training error "}}) {
    const RunResult r = Design("out.dat a.pgm b.pgm -q 20 -s " + std::string(c.size));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(std::string("\n") + c.line), std::string::npos) << r.out;
    EXPECT_EQ(Info("out.dat").loss_size, c.lossSize);
    EXPECT_EQ(Unpack("z.out z.pgm out.dat -l 3").status, 0);
  }
}

// Bad input: a clear message, a non-zero exit, and nothing written (an
// existing output stays as it was).
TEST_F(Tarnfilter, RefusesBadInput) {
  WriteImage("good.pgm", 64, 64);
  WriteImage("flat.pgm", 64, 64, true);
  WriteImage("small.pgm", 64, 31);
  WriteText("text.pgm", "not an image\n");
  WriteText("short.pgm", "P5\n32 32\n255\n0123456789");
  WriteText("out.dat", "old");
  struct Case {
    std::string args, message;
    int status;
  };
  const std::string truncated = tarn_status_string(TARN_ERR_TRUNCATED_INPUT);
  for (const Case& c : {
           Case{"good.pgm text.pgm", "Invalid training image text.pgm: not a PGM or PNG file", -4},
           Case{"short.pgm", "Invalid training image short.pgm: " + truncated, -4},
           Case{"good.pgm small.pgm", "Training image small.pgm is smaller than 32 x 32", -4},
           Case{"none.pgm", "Can't open training image none.pgm", -2},
           Case{"good.pgm -q 10,0", "Quantization steps must be positive numbers: 10,0", -5},
           Case{"good.pgm -q -3", "Quantization steps must be positive numbers: -3", -5},
           Case{"good.pgm -q 10,,20", "Quantization steps must be positive numbers: 10,,20", -5},
           Case{"good.pgm -q 20x", "Quantization steps must be positive numbers: 20x", -5},
           Case{"flat.pgm",
                "The training images do not determine the DCT Wiener filter (rank-deficient system): "
                "train on images with more detail.",
                -7},
       }) {
    const RunResult r = Design("out.dat " + c.args);
    EXPECT_EQ(r.out, c.message + "\n") << c.args;
    EXPECT_EQ(r.status, Status(c.status)) << c.args;
    EXPECT_EQ(ReadText(Path("out.dat")), "old") << c.args;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"flat.pgm", "good.pgm", "out.dat", "short.pgm", "small.pgm",
                                               "text.pgm"}));
}

TEST_F(Tarnfilter, RejectedCommandLinesPrintTheUsage) {
  WriteImage("good.pgm", 64, 64);
  const std::string usage = "Usage: " + std::string(TARNFILTER) + " out.dat train.pgm [train.pgm ...]";
  for (const char* args : {"", "out.dat", "out.dat -q 10", "out.dat good.pgm -p 3", "out.dat good.pgm -s 4",
                           "out.dat good.pgm -p", "out.dat good.pgm -x 1", "out.dat good.pgm -p 00"}) {
    const RunResult r = Design(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.out.rfind(usage, 0), 0u) << args << "\n" << r.out;
  }
  const RunResult r = Design("missing/out.dat good.pgm");
  EXPECT_EQ(r.out.substr(r.out.rfind("Can't")), "Can't create filter file missing/out.dat\n");
  EXPECT_EQ(r.status, Status(-3));
  EXPECT_EQ(Files(), std::vector<std::string>{"good.pgm"});
}
