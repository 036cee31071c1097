// Full encode-and-decode cycles of camera through both programs, and the
// psnr tool.
#include <cstdint>
#include <sstream>

#include "e2e_support.h"

namespace {
class Cycle : public E2e {
 protected:
  // Encodes camera, decodes it with the same choices and returns the PSNR.
  double RoundTrip(const std::string& filter, const std::string& q, const std::string& options) {
    PackOk(Camera() + " z.out " + filter + " " + q + " " + options);
    UnpackOk("z.out dec.pgm " + filter + " " + options);
    return Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm")));
  }
  std::size_t StreamBytes() const { return Bytes("z.out").size(); }
};
}  // namespace

TEST_F(Cycle, BuiltInFiltersAndNoFilter) {
  struct Case {
    const char* filter;
    double min_psnr;
  };
  for (const char* options : {"", "-f 0", "-m 1"}) {
    for (Case c : {Case{"0", 36.5}, Case{"1", 35.0}, Case{"5", 36.5}, Case{"7", 35.0}}) {
      double psnr = RoundTrip(c.filter, "20", options);
      EXPECT_GT(psnr, c.min_psnr) << "filter " << c.filter << " " << options;
      EXPECT_LT(psnr, 38.0) << "filter " << c.filter << " " << options;
    }
  }
}

TEST_F(Cycle, FilterMismatchIsNotDetectedButShows) {
  PackOk(Camera() + " z.out 0 20");
  UnpackOk("z.out dec.pgm 1");
  EXPECT_LT(Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm"))), 34.0);
}

TEST_F(Cycle, MatrixFormOfBuiltInFilterDecodesAlike) {
  FilterFile file;
  file.pre = BuiltInFilterMatrix(0, true);
  file.post = BuiltInFilterMatrix(0, false);
  file.hasLossField = false;
  WriteFilterFile(Path("type0.dat"), file);
  for (const char* options : {"", "-f 0", "-m 1"}) {
    const double built_in = RoundTrip("0", "20", options);
    const std::size_t built_in_bytes = StreamBytes();
    const double matrix = RoundTrip("type0.dat", "20", options);
    EXPECT_NEAR(matrix, built_in, 0.1) << options;
    EXPECT_NEAR(double(StreamBytes()), double(built_in_bytes), 0.01 * built_in_bytes) << options;
  }
}

TEST_F(Cycle, RateAndQualityFallWithTheStep) {
  for (const char* options : {"", "-f 0"}) {
    double last_psnr = 100;
    std::size_t last_bytes = SIZE_MAX;
    for (const char* q : {"10", "20", "40"}) {
      double psnr = RoundTrip("0", q, options);
      EXPECT_LT(psnr, last_psnr) << "q " << q << " " << options;
      EXPECT_LT(StreamBytes(), last_bytes) << "q " << q << " " << options;
      last_psnr = psnr;
      last_bytes = StreamBytes();
    }
  }
}

TEST_F(Cycle, EntropyDecodedPlaneCodesToTheSamePayload) {
  for (const char* options : {"", "-f 0", "-m 1", "-f 0 -m 1"}) {
    for (const char* q : {"20", "7.3"}) {
      PackOk(Camera() + " z.out 0 " + q + " " + options);
      UnpackOk(std::string("z.out plane.raw 0 -c 1 ") + options);
      PackOk(std::string("plane.raw again.out 0 ") + q + " -c 1 " + options);
      EXPECT_EQ(Bytes("again.out"), Bytes("z.out")) << "q " << q << " " << options;
    }
  }
}

TEST_F(Cycle, PsnrTool) {
  const std::string psnr = ToolPath("psnr");
  PgmImage zeros{32, 16, std::vector<unsigned char>(512, 0)};
  PgmImage tens{32, 16, std::vector<unsigned char>(512, 10)};
  PgmImage other{16, 32, std::vector<unsigned char>(512, 0)};
  WritePgm(Path("zeros.pgm"), zeros);
  WritePgm(Path("tens.pgm"), tens);
  WritePgm(Path("other.pgm"), other);
  RunResult r = Run(psnr + " zeros.pgm tens.pgm");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "MSE: 100\nPSNR: 28.1308 dB\n");
  r = Run(psnr + " tens.pgm tens.pgm");
  EXPECT_EQ(r.out, "MSE: 0\nPSNR: inf dB\n");
  r = Run(psnr + " zeros.pgm other.pgm");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "Image sizes differ: 32x16 and 16x32\n");
  r = Run(psnr + " zeros.pgm missing.pgm");
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.out, "Can't read pgm file missing.pgm\n");

  PackOk(Camera() + " z.out 0 20");
  UnpackOk("z.out dec.pgm 0");
  r = Run(psnr + " " + Camera() + " dec.pgm");
  std::ostringstream expected;
  expected << Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm")));
  EXPECT_NE(r.out.find("PSNR: " + expected.str() + " dB\n"), std::string::npos) << r.out;
}

// -t changes nothing but the time: the same files and console text for
// both coders, MDC and a loss pattern.
TEST_F(Cycle, ThreadsChangeNothingButTheTime) {
  for (const char* options : {"", "-f 0", "-m 1", "-m 1 -f 0"}) {
    const std::string pack = Camera() + " z.out 0 18 " + options;
    const std::string text = PackOk(pack);
    const std::vector<unsigned char> stream = Bytes("z.out");
    for (const char* threads : {" -t 2", " -t 0", " -t 007"}) {
      EXPECT_EQ(PackOk(pack + threads), text) << options << threads;
      EXPECT_EQ(Bytes("z.out"), stream) << options << threads;
    }
    const std::string unpack = std::string("z.out dec.pgm 0 -l 3 ") + options;
    const std::string decoded = UnpackOk(unpack);
    const std::vector<unsigned char> files[] = {Bytes("dec.pgm"), Bytes("LostData.raw"), Bytes("BeforePost.raw")};
    EXPECT_EQ(UnpackOk(unpack + " -t 3"), decoded) << options;
    EXPECT_EQ(Bytes("dec.pgm"), files[0]) << options;
    EXPECT_EQ(Bytes("LostData.raw"), files[1]) << options;
    EXPECT_EQ(Bytes("BeforePost.raw"), files[2]) << options;
  }
}
