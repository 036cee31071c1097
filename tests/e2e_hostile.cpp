// Hostile input through the real programs: cut and damaged streams, sizes
// the format cannot hold, streams claiming huge images, non-finite numbers
// in filter files, raw planes and stream fields, and the outputs that would
// overwrite a file of the same run. Each ends with its message and exit
// value, or a valid image, within a second.
#include <cmath>
#include <cstring>
#include <limits>

#include "e2e_support.h"

namespace {
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::vector<unsigned char> Prefix(const std::vector<unsigned char>& bytes, std::size_t n) {
  return std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// A stream of one record: width, height, q, L and the payload bytes.
std::vector<unsigned char> OneRecord(std::uint16_t width, std::uint16_t height, float q, std::uint32_t length,
                                  const std::vector<unsigned char>& payload = {}) {
  std::vector<unsigned char> bytes;
  AppendU16(bytes, width);
  AppendU16(bytes, height);
  AppendFloat(bytes, q);
  AppendInt32(bytes, static_cast<std::int32_t>(length));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<unsigned char> WithQ(std::vector<unsigned char> stream, float q) {
  std::memcpy(&stream[4], &q, 4);
  return stream;
}

// A 64 x 64 PGM of two-byte samples (maxval 65535).
std::vector<unsigned char> SixteenBitPgm() {
  const std::string header = "P5\n64 64\n65535\n";
  std::vector<unsigned char> bytes(header.begin(), header.end());
  for (int i = 0; i < 64 * 64; ++i) bytes.insert(bytes.end(), {200, 0});
  return bytes;
}

std::vector<unsigned char> RawPlane(int width, int height, float value) {
  std::vector<unsigned char> bytes;
  AppendInt32(bytes, width);
  AppendInt32(bytes, height);
  for (int i = 0; i < width * height; ++i) AppendFloat(bytes, i == 5 ? value : 1.0f);
  return bytes;
}

struct Hostile {
  std::string what;
  std::string file;  // written before the run
  std::vector<unsigned char> bytes;
  std::string command;   // arguments of the program, the file among them
  bool unpack;           // tarnunpack, else tarnpack
  int result;            // main's return value
  std::string tail;      // how the console text ends
  std::string shown{};   // a text -v must have printed before
};

class Hostile_ : public E2e {
 protected:
  void Check(const Hostile& h) {
    SCOPED_TRACE(h.what + ": " + h.command);
    Write(h.file, h.bytes);
    std::filesystem::remove(Path("dec.pgm"));
    const RunResult r = h.unpack ? Unpack(h.command) : Pack(h.command);
    EXPECT_EQ(r.status, Status(h.result)) << r.out;
    ASSERT_GE(r.out.size(), h.tail.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - h.tail.size()), h.tail);
    EXPECT_NE(r.out.find(h.shown), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_LT(r.seconds, 1.0);
    if (h.result != 0) {
      EXPECT_FALSE(Exists("dec.pgm"));
    }
  }
};
}  // namespace

TEST_F(Hostile_, Streams) {
  PackOk(Camera() + " z.out 0 20");
  PackOk(Camera() + " m.out 0 20 -m 1 -f 0");
  const std::vector<unsigned char> z = Bytes("z.out"), m = Bytes("m.out");
  const std::uint32_t zLength = U32At(z, 8), mLength0 = U32At(m, 8);
  const std::string truncated = "Truncated cmp_file in.dat\n", corrupt = "Corrupt cmp_file in.dat\n";
  std::vector<Hostile> cases;
  // Cut at every field boundary of a record and inside the payload.
  for (std::size_t n : {std::size_t(0), std::size_t(2), std::size_t(4), std::size_t(8), std::size_t(12),
                        std::size_t(12) + zLength / 2, std::size_t(11) + zLength})
    cases.push_back({"cut at " + std::to_string(n), "in.dat", Prefix(z, n), "in.dat dec.pgm 0", true, -20, truncated});
  for (std::size_t n : {std::size_t(12) + mLength0, std::size_t(16) + mLength0, std::size_t(20) + mLength0,
                        m.size() - 1})
    cases.push_back({"MDC cut at " + std::to_string(n), "in.dat", Prefix(m, n), "in.dat dec.pgm 0 -m 1 -f 0", true,
                     -20, truncated});
  cases.push_back({"whole stream", "in.dat", z, "in.dat dec.pgm 0", true, 0, " bytes in total.\n"});
  cases.push_back({"L 0", "in.dat", OneRecord(64, 64, 20, 0), "in.dat dec.pgm 0", true, -20, corrupt});
  cases.push_back({"L 0, LCEB", "in.dat", OneRecord(64, 64, 20, 0), "in.dat dec.pgm 0 -f 0", true, -20, corrupt});
  cases.push_back({"L 2^31 - 1", "in.dat", OneRecord(64, 64, 20, 0x7FFFFFFF, {1, 2, 3}), "in.dat dec.pgm 0", true, -20, truncated});
  cases.push_back({"L 2^32 - 1", "in.dat", OneRecord(64, 64, 20, 0xFFFFFFFF, {1, 2, 3}), "in.dat dec.pgm 0", true, -20, truncated});
  for (auto size : {std::pair<int, int>{0, 512}, {512, 0}, {7, 7}, {65535, 65535}})
    cases.push_back({"size " + std::to_string(size.first) + " x " + std::to_string(size.second), "in.dat",
                     OneRecord(static_cast<std::uint16_t>(size.first), static_cast<std::uint16_t>(size.second), 20, 1, {0}),
                     "in.dat dec.pgm 0", true, -20, corrupt});
  for (unsigned char n : {31, 255})
    cases.push_back({"ECEB header n " + std::to_string(n), "in.dat", OneRecord(64, 64, 20, 4, {n, 0, 0, 0}),
                     "in.dat dec.pgm 0", true, -20, corrupt});
  cases.push_back({"-m 1 on one description", "in.dat", z, "in.dat dec.pgm 0 -m 1", true, -20, truncated});
  for (float q : {kNan, kInf, 0.0f, -30.0f})
    cases.push_back({"stream q " + std::to_string(q), "in.dat", WithQ(z, q), "in.dat dec.pgm 0", true, -20, corrupt});
  // A step that dequantises beyond the float range: infinities and NaNs,
  // written as 255 and 0.
  cases.push_back({"stream q 3e38", "in.dat", WithQ(z, 3e38f), "in.dat dec.pgm 0", true, 0, " bytes in total.\n"});
  for (const Hostile& h : cases) Check(h);
  const std::vector<unsigned char> image = Bytes("dec.pgm");
  for (std::size_t i = 15; i < image.size(); ++i) ASSERT_TRUE(image[i] == 0 || image[i] == 255) << i;
}

// Tiny streams claiming huge images stop at the damaged payload, having
// touched little of what they claim (before, each filled all of it: 3 s and
// 2.1 GB, 39 s and 12.6 GB, 15 s and 6.3 GB).
TEST_F(Hostile_, ClaimsOfHugeImagesCostLittle) {
  struct Claim {
    std::uint16_t size;
    std::vector<unsigned char> payload;
    bool mdc;
  };
  for (const Claim& c : {Claim{16384, {}, false}, Claim{40000, {}, false}, Claim{16384, {0, 0}, true}}) {
    SCOPED_TRACE(std::to_string(c.size) + (c.mdc ? " MDC" : ""));
    Write("in.dat", OneRecord(c.size, c.size, 30, static_cast<std::uint32_t>(c.payload.size()), c.payload));
    const bool mdc = c.mdc;
    const RunResult r = Unpack(std::string("in.dat dec.pgm 0") + (mdc ? " -m 1" : ""));
    EXPECT_EQ(r.status, Status(-20));
    EXPECT_EQ(r.out, std::string(mdc ? "Decoding MDC bitstream\n" : "") + "Corrupt cmp_file in.dat\n");
#ifndef TARN_SANITIZED  // the sanitizers' shadow memory costs time and pages of its own
    EXPECT_LT(r.seconds, 0.5);
    EXPECT_LT(r.peakKib, 300 * 1024);
#endif
  }
}

TEST_F(Hostile_, FilterFilesRawPlanesAndImages) {
  PackOk(Camera() + " z.out 0 20");
  auto filters = [](int nanSection) {
    FilterFile f;
    f.pre = BuiltInFilterMatrix(0, true);
    f.post = BuiltInFilterMatrix(0, false);
    f.lossSize = 8;
    f.loss = Identity(8);
    f.dctSize = 8;
    f.dct = std::vector<float>(128, 0.0625f);
    f.boundaryFlag = 1;
    f.boundary = std::vector<float>(64, 0.125f);
    std::vector<float>* sections[] = {&f.pre, &f.post, &f.loss, &f.dct, &f.boundary};
    (*sections[nanSection])[3] = nanSection == 1 ? kInf : kNan;
    return FilterFileBytes(f);
  };
  FilterFile allNan;
  allNan.pre = allNan.post = std::vector<float>(64, kNan);
  const std::vector<unsigned char> nanFile = FilterFileBytes(allNan);
  const std::string pre = "Invalid prefilter data file. Filter size should be BLK_SIZE\n";
  const std::vector<Hostile> cases = {
      {"NaN pre-filter", "in.dat", filters(0), Camera() + " o.out in.dat 20", false, -1, "Invalid prefilter data file.\n"},
      {"NaN pre-filter, -v", "in.dat", filters(0), Camera() + " o.out in.dat 20 -v 1", false, -1,
       "Invalid prefilter data file.\n", "nan  "},
      {"all NaN", "in.dat", nanFile, Camera() + " o.out in.dat 20", false, -1, "Invalid prefilter data file.\n"},
      {"NaN pre-filter", "in.dat", filters(0), "z.out dec.pgm in.dat", true, -1, pre},
      {"infinite post-filter", "in.dat", filters(1), "z.out dec.pgm in.dat -v 1", true, -1, pre, "inf  "},
      {"all NaN", "in.dat", nanFile, "z.out dec.pgm in.dat", true, -1, pre},
      {"NaN loss post-filter", "in.dat", filters(2), "z.out dec.pgm in.dat", true, -10, "Invalid postfilter size.\n"},
      {"NaN DCT Wiener", "in.dat", filters(3), "z.out dec.pgm in.dat", true, -10, "Invalid DCT wiener size.\n"},
      {"NaN boundary Wiener", "in.dat", filters(4), "z.out dec.pgm in.dat -v 1", true, -10,
       "Invalid DCT wiener size.\n", "\nBoundary Wiener filter: \n0.12  0.12  0.12  nan  "},
      {"raw NaN", "in.dat", RawPlane(16, 16, kNan), "in.dat o.out 0 20 -c 1", false, -4, "Invalid raw plane data.\n"},
      {"raw 1e30", "in.dat", RawPlane(16, 16, 1e30f), "in.dat o.out 0 20 -c 1", false, -5,
       "Quantization step too small.\n"},
      {"q 1e39", "in.dat", {}, Camera() + " o.out 0 1e39", false, -5, "Quantization step must be a positive number.\n"},
      {"q rounding to infinity", "in.dat", {}, Camera() + " o.out 0 0x1.ffffffp127", false, -5,
       "Quantization step must be a positive number.\n"},
      {"maxval 65535", "in.dat", SixteenBitPgm(), "in.dat o.out 0 20", false, -4, "Invalid pgm format\n"},
  };
  for (const Hostile& h : cases) Check(h);
  EXPECT_FALSE(Exists("o.out"));
}

TEST_F(Hostile_, ImageHeaders) {
  const std::string pgm = "P5\n16 16\n255\n";
  const std::string truncated = "Truncated org_file in.dat\n";
  std::vector<Hostile> cases;
  // Cut at every field boundary of the header and inside the samples.
  const std::pair<std::size_t, std::string> cuts[] = {
      {0, "Invalid pgm file \n"}, {2, "Invalid pgm format\n"}, {3, "Invalid pgm format\n"},
      {6, "Invalid pgm format\n"}, {9, "Invalid pgm format\n"}, {12, truncated}, {13 + 255, truncated}};
  std::vector<unsigned char> image(pgm.begin(), pgm.end());
  image.resize(image.size() + 256, 77);
  for (const auto& [n, tail] : cuts)
    cases.push_back({"cut at " + std::to_string(n), "in.dat", Prefix(image, n), "in.dat o.out 0 20", false, -4, tail});
  for (const char* header : {"P5\n0 512\n255\n", "P5\n7 7\n255\n", "P5\n65535 65535\n255\n"}) {
    const std::string h = header;
    cases.push_back({h, "in.dat", std::vector<unsigned char>(h.begin(), h.end()), "in.dat o.out 0 20", false, -4,
                     h[3] == '0' ? "Invalid pgm format\n" : "Image size must be multiple of 16.\n"});
  }
  cases.push_back({"raw plane cut", "in.dat", Prefix(RawPlane(16, 16, 1), 100), "in.dat o.out 0 20 -c 1", false, -4,
                   truncated});
  cases.push_back({"raw 7 x 7", "in.dat", RawPlane(7, 7, 1), "in.dat o.out 0 20 -c 1", false, -4,
                   "Invalid raw plane size.\n"});
  for (const Hostile& h : cases) Check(h);
  EXPECT_FALSE(Exists("o.out"));
}

// An output that one of the run's other files would overwrite is refused
// before anything is coded or written, also under another path to it.
TEST_F(Hostile_, OutputsTheRunWouldOverwrite) {
  std::filesystem::create_directory(Path("sub"));
  for (const char* out : {"mdc2.out", "sub/../mdc4.out", "./mdc1.out"}) {
    SCOPED_TRACE(out);
    const RunResult r = Pack(Camera() + " " + out + " 0 20 -m 1");
    EXPECT_EQ(r.status, Status(-3));
    EXPECT_EQ(r.out, std::string("MDC:\nCan't create cmp_file ") + out + "\n");
    EXPECT_FALSE(Exists("mdc1.out") || Exists("mdc2.out") || Exists("mdc4.out"));
  }
  PackOk(Camera() + " z.out 0 20 -m 1");
  // An existing description file reached through a link counts too.
  std::filesystem::create_symlink("mdc3.out", Path("link.out"));
  EXPECT_EQ(Pack(Camera() + " link.out 0 20 -m 1").status, Status(-3));
  PackOk(Camera() + " mdc2.out 0 20");  // without MDC nothing else is written

  for (const char* out : {"LostData.raw", "LostMask.raw", "BeforePost.raw", "sub/../LostMask.raw"}) {
    SCOPED_TRACE(out);
    const RunResult r = Unpack(std::string("z.out ") + out + " 0 -m 1");
    EXPECT_EQ(r.status, Status(-2));
    EXPECT_EQ(r.out, std::string("Decoding MDC bitstream\nCan't create pgm_file ") + out + "\n");
  }
  // Loss pattern 5 writes no plane before the post-filter; -c writes no dump.
  UnpackOk("z.out BeforePost.raw 0 -m 1 -l 5");
  UnpackOk("z.out LostData.raw 0 -m 1 -c 1");
}
