// tarnpack end to end: command line, usage text, input readers, errors and
// the compressed stream it writes.
#include <limits>
#include <sstream>

#include "e2e_support.h"
#include "file_io.h"

namespace {
std::string PackUsage(const std::string& name) {
  return "Usage: " + name +
         " infile outfile precfg q [-c n] [-f n] [-v n]\n"
         "  infile:  input pgm file\n"
         "  outfile: compressed file.\n"
         "  precfg: \n"
         "     0: Use built-in pre/post-filter with ideal bit alloc (better than 1 and 5).\n"
         "     1: Use built-in pre/post-filter with positive bit alloc for 0.125bpp.\n"
         "     5: Use built-in pre/post-filter with positive bit alloc for 0.5bpp.\n"
         "  precfg can also be a file name that contains pre/post-filters.\n"
         "  q:      Quantization step (can be floating point value).\n"
         "  -c n: entropy coding only flag\n"
         "     n=1: entropy coding only. Input has been prefiltered, DCT-txed, and quantized.\n"
         "  -f n: ECEB entropy coding flag\n"
         "       n=1 (default): Use the more efficient Embedded CEB (ECEB) entropy coding.\n"
         "       n=0: Use local CEB (LCEB) entropy coding.\n"
         "  -v n: 0(default): do not display filter info. 1: display filter info. \n"
         "  Examples: \n"
         "\t\ttarnpack.exe kovra.pgm z.out 0 20\n"
         "\t\ttarnpack.exe kovra.pgm z.out vexoman8_1_2_new.dat 20\n";
}

// Closing line as the encoder prints it, for the totals of a W x H image.
std::string TotalsLine(std::uint32_t total, std::uint32_t width, std::uint32_t height) {
  std::ostringstream out;
  PrintTotals(out, total, width, height);
  return out.str();
}

// A 32 x 16 PGM with a header given as text.
std::vector<unsigned char> SmallPgm(const std::string& header, std::size_t samples = 32 * 16) {
  std::vector<unsigned char> bytes(header.begin(), header.end());
  for (std::size_t i = 0; i < samples; ++i) bytes.push_back(static_cast<unsigned char>(i * 7));
  return bytes;
}

std::vector<unsigned char> RawPlaneHeader(std::int32_t width, std::int32_t height) {
  std::vector<unsigned char> bytes;
  AppendInt32(bytes, width);
  AppendInt32(bytes, height);
  return bytes;
}

class Tarnpack : public E2e {};
}  // namespace

TEST_F(Tarnpack, RejectedCommandLinesPrintUsage) {
  WritePgm(Path("in.pgm"), PgmImage{16, 16, std::vector<unsigned char>(256, 9)});
  const std::string usage = PackUsage(TARNPACK);
  for (const char* args : {"", "in.pgm z.out 0", "in.pgm z.out 0 20 -c", "in.pgm z.out 0 20 x 1",
                           "in.pgm z.out 0 20 -z 1", "in.pgm z.out 0 20 -f 0 -v",
                           "in.pgm z.out 0 20 - 1", "in.pgm z.out 0 20 -f 0 c 1",
                           // -t takes a whole decimal number
                           "in.pgm z.out 0 20 -t x", "in.pgm z.out 0 20 -t -1", "in.pgm z.out 0 20 -t 1.5",
                           "in.pgm z.out 0 20 -t 2x", "in.pgm z.out 0 20 -t ''",
                           "in.pgm z.out 0 20 -t 2147483648"}) {
    RunResult r = Pack(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.out, usage) << args;
    EXPECT_EQ(r.err, "") << args;
  }
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, UsageNamesTheInvocation) {
  std::filesystem::create_symlink(TARNPACK, Path("tp"));
  RunResult r = Run("./tp in.pgm");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, PackUsage("./tp"));
}

TEST_F(Tarnpack, NormalStreamIsOneRecordAndPrintsTotals) {
  std::string out = PackOk(Camera() + " z.out 0 20");
  std::vector<unsigned char> stream = Bytes("z.out");
  std::vector<Record> records = ParseStream(stream);
  ASSERT_EQ(records.size(), 1u);
  const Record& r = records[0];
  EXPECT_EQ(r.width, 512);
  EXPECT_EQ(r.height, 512);
  EXPECT_EQ(r.q, 20.0f);
  EXPECT_EQ(stream.size(), 12 + r.length);
  EXPECT_EQ(out, std::to_string(r.length) + " bytes\n" + TotalsLine(r.length, 512, 512));
  EXPECT_FALSE(Exists("mdc1.out"));
}

TEST_F(Tarnpack, QuantStepIsADecimalNumberNarrowedToFloat) {
  PackOk(Camera() + " z.out 0 12.3e0xyz");
  EXPECT_EQ(ParseStream(Bytes("z.out"))[0].q, static_cast<float>(12.3));
}

TEST_F(Tarnpack, MdcWritesFourQuarterRecordsAndTheirFiles) {
  std::string out = PackOk(Camera() + " z.out 0 20 -m 1");
  std::vector<unsigned char> stream = Bytes("z.out");
  std::vector<Record> records = ParseStream(stream);
  ASSERT_EQ(records.size(), 4u);
  std::vector<unsigned char> joined;
  std::string expected = "MDC:\n";
  std::uint32_t total = 0;
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(records[k].width, 256);
    EXPECT_EQ(records[k].height, 256);
    EXPECT_EQ(records[k].q, 20.0f);
    std::vector<unsigned char> part = Bytes("mdc" + std::to_string(k + 1) + ".out");
    EXPECT_EQ(part.size(), 12 + records[k].length);
    joined.insert(joined.end(), part.begin(), part.end());
    expected += std::to_string(records[k].length) + " bytes\n";
    total += records[k].length;
  }
  EXPECT_EQ(joined, stream);
  EXPECT_EQ(out, expected + TotalsLine(total, 512, 512));  // rate over the full 512 x 512
}

TEST_F(Tarnpack, MdcOptionValues) {
  PackOk(Camera() + " plain.out 0 20");
  PackOk(Camera() + " four.out 0 20 -m 1");
  struct Case {
    const char* value;
    const char* notice;
    const char* same_as;
  };
  for (Case c : {Case{"0", "MDC:\n", "plain.out"}, Case{"1", "MDC:\n", "four.out"},
                 Case{"2", "Invalid MDC option\n", "four.out"},
                 Case{"x", "Invalid MDC option\n", "four.out"}}) {
    std::string out = PackOk(Camera() + " z.out 0 20 -m " + c.value);
    EXPECT_EQ(out.substr(0, std::string(c.notice).size()), c.notice) << c.value;
    EXPECT_EQ(Bytes("z.out"), Bytes(c.same_as)) << c.value;
  }
  // A later option overrides an earlier one.
  PackOk(Camera() + " z.out 0 20 -m 1 -m 0");
  EXPECT_EQ(Bytes("z.out"), Bytes("plain.out"));
}

TEST_F(Tarnpack, CoderOptionFirstCharacterZeroSelectsLceb) {
  PackOk(Camera() + " eceb.out 0 20");
  PackOk(Camera() + " lceb.out 0 20 -f 0");
  EXPECT_NE(Bytes("eceb.out"), Bytes("lceb.out"));
  for (const char* value : {"1", "7", "x"}) {
    PackOk(Camera() + " z.out 0 20 -f " + value);
    EXPECT_EQ(Bytes("z.out"), Bytes("eceb.out")) << value;
  }
  PackOk(Camera() + " z.out 0 20 -f 0abc");
  EXPECT_EQ(Bytes("z.out"), Bytes("lceb.out"));
  PackOk(Camera() + " z.out 0 20 -fx 0");  // letters after the option letter are ignored
  EXPECT_EQ(Bytes("z.out"), Bytes("lceb.out"));
}

TEST_F(Tarnpack, DigitFilterNeverOpensAFile) {
  PackOk(Camera() + " five.out 5 20");
  EXPECT_EQ(PackOk(Camera() + " z.out 5x.dat 20 -v 1").find("Prefilter"), std::string::npos);
  EXPECT_EQ(Bytes("z.out"), Bytes("five.out"));
  PackOk(Camera() + " zero.out 0 20");
  PackOk(Camera() + " seven.out 7 20");
  EXPECT_NE(Bytes("seven.out"), Bytes("zero.out"));
}

TEST_F(Tarnpack, VerboseFilterFilePrintsThePreFilterInDefaultFormat) {
  FilterFile file;
  file.pre = Identity(8);
  file.pre[0] = 0.5f;
  file.pre[1] = -0.25f;
  file.pre[2] = 1.23456789f;
  file.pre[3] = 1e-7f;
  WriteFilterFile(Path("f.dat"), file);
  std::string out = PackOk(Camera() + " z.out f.dat 20 -v 0");
  std::string expected = "Prefilter size 8\n0.5  -0.25  1.23457  1e-07  0  0  0  0  \n";
  for (int i = 1; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) expected += i == j ? "1  " : "0  ";
    expected += "\n";
  }
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  // Without -v nothing of the filter is printed.
  EXPECT_EQ(PackOk(Camera() + " z.out f.dat 20").find("Prefilter"), std::string::npos);
}

TEST_F(Tarnpack, InvalidFilterFile) {
  FilterFile file;
  file.size = 16;
  WriteFilterFile(Path("f16.dat"), file);
  struct Case {
    const char* args;
    const char* out;
  };
  for (Case c : {Case{"f16.dat 20", "Invalid prefilter data file.\n"},
                 Case{"f16.dat 20 -v 1", "Prefilter size 16\nInvalid prefilter data file.\n"},
                 Case{"none.dat 20", "Invalid prefilter data file.\n"},
                 Case{"none.dat 20 -v 1", "Prefilter size 0\nInvalid prefilter data file.\n"}}) {
    RunResult r = Pack(Camera() + " z.out " + c.args);
    EXPECT_EQ(r.status, Status(-1)) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, InputCannotBeOpened) {
  RunResult r = Pack("missing.pgm z.out 0 20");
  EXPECT_EQ(r.status, Status(-2));
  EXPECT_EQ(r.out, "Can't open org_file missing.pgm\n");
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, PgmHeaderCommentsMaxvalAndLineLimit) {
  const std::string comment99 = "#" + std::string(98, 'c') + "\n";
  const std::string comment100 = "#" + std::string(99, 'c') + "\n";
  Write("plain.pgm", SmallPgm("P5\n32 16\n255\n"));
  PackOk("plain.pgm plain.out 0 4");
  struct Case {
    std::string header;
    bool accepted;
    std::string out;
  };
  const Case cases[] = {
      {"# a\n# b\nP5\n# c\n32 16\n# d\n255\n", true, ""},
      {"P5 trailing text\n32 16\n254\n", true, ""},
      {"P5\n32 16\n 1 and more\n", true, ""},
      // One byte a sample: a maxval that is no number from 1 to 255 is refused.
      {"P5\n32 16\n65535\n", false, "Invalid pgm format\n"},
      {"P5\n32 16\n256\n", false, "Invalid pgm format\n"},
      {"P5\n32 16\n0\n", false, "Invalid pgm format\n"},
      {"P5\n32 16\nx\n", false, "Invalid pgm format\n"},
      {"P5\n32 16\n255" + std::string(100, ' ') + "\n", false, "Truncated org_file in.pgm\n"},
      {comment99 + "P5\n32 16\n255\n", true, ""},
      {"P5" + std::string(97, ' ') + "\n32 16\n255\n", true, ""},
      // A longer line fails the header read, whichever line it is.
      {comment100 + "P5\n32 16\n255\n", false, "Invalid pgm file \n"},
      {"P5\n" + comment100 + "32 16\n255\n", false, "Invalid pgm format\n"},
      {"P5\n32 16\n" + comment100 + "255\n", false, "Invalid pgm format\n"},
      {"P6\n32 16\n255\n", false, "Invalid pgm file \n"},
      {"\nP5\n32 16\n255\n", false, "Invalid pgm file \n"},
      {"P5\n0 16\n255\n", false, "Invalid pgm format\n"},
      {"P5\n32 x\n255\n", false, "Invalid pgm format\n"},
      {"P5\n-16 16\n255\n", false, "Invalid pgm format\n"},
      {"P5\n65536 16\n255\n", false, "Invalid pgm format\n"},
      {"P5\n99999999999999999999 16\n255\n", false, "Invalid pgm format\n"},
      {"P5\n500 512\n255\n", false, "Image size must be multiple of 16.\n"},
      {"P5\n32 24\n255\n", false, "Image size must be multiple of 16.\n"},
  };
  for (const Case& c : cases) {
    Write("in.pgm", SmallPgm(c.header));
    std::filesystem::remove(Path("z.out"));
    RunResult r = Pack("in.pgm z.out 0 4");
    if (c.accepted) {
      EXPECT_EQ(r.status, 0) << c.header << r.out;
      EXPECT_EQ(Bytes("z.out"), Bytes("plain.out")) << c.header;
    } else {
      EXPECT_EQ(r.status, Status(-4)) << c.header;
      EXPECT_EQ(r.out, c.out) << c.header;
      EXPECT_FALSE(Exists("z.out")) << c.header;
    }
  }
}

TEST_F(Tarnpack, TruncatedInputLeavesNoOutput) {
  Write("short.pgm", SmallPgm("P5\n32 16\n255\n", 32 * 16 - 1));
  RunResult r = Pack("short.pgm z.out 0 20");
  EXPECT_EQ(r.status, Status(-4));
  EXPECT_EQ(r.out, "Truncated org_file short.pgm\n");

  std::vector<unsigned char> raw = RawPlaneHeader(16, 16);
  raw.resize(8 + 4 * 256 - 1);
  Write("short.raw", raw);
  r = Pack("short.raw z.out 0 20 -c 1");
  EXPECT_EQ(r.status, Status(-4));
  EXPECT_EQ(r.out, "Truncated org_file short.raw\n");

  Write("tiny.raw", {16, 0, 0, 0, 16, 0});
  r = Pack("tiny.raw z.out 0 20 -c 1");
  EXPECT_EQ(r.status, Status(-4));
  EXPECT_EQ(r.out, "Truncated org_file tiny.raw\n");
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, InvalidRawPlaneSize) {
  struct Case {
    std::int32_t width, height;
    const char* options;
  };
  for (Case c : {Case{0, 16, ""}, Case{16, -16, ""}, Case{12, 16, ""}, Case{16, 20, ""},
                 Case{65536, 8, ""}, Case{8, 16, " -m 1"}, Case{16, 24, " -m 1"}}) {
    std::vector<unsigned char> raw = RawPlaneHeader(c.width, c.height);
    raw.resize(8 + 4 * 64 * 64);
    Write("in.raw", raw);
    RunResult r = Pack(std::string("in.raw z.out 0 20 -c 1") + c.options);
    EXPECT_EQ(r.status, Status(-4)) << c.width << " x " << c.height << c.options;
    EXPECT_EQ(r.out, std::string(c.options).empty() ? "Invalid raw plane size.\n"
                                                     : "MDC:\nInvalid raw plane size.\n");
  }
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, QuantStepMustBePositiveAndLargeEnough) {
  for (const char* q : {"0", "-5", "abc", "nan", "inf", "1e-50", "1e39"}) {
    RunResult r = Pack(Camera() + " z.out 0 " + q);
    EXPECT_EQ(r.status, Status(-5)) << q;
    EXPECT_EQ(r.out, "Quantization step must be a positive number.\n") << q;
  }
  struct Case {
    const char* options;
    const char* notice;
  };
  for (Case c : {Case{"", ""}, Case{" -f 0", ""}, Case{" -m 1", "MDC:\n"}}) {
    RunResult r = Pack(Camera() + " z.out 0 1e-30" + c.options);
    EXPECT_EQ(r.status, Status(-5)) << c.options;
    EXPECT_EQ(r.out, std::string(c.notice) + "Quantization step too small.\n") << c.options;
    EXPECT_FALSE(Exists("z.out"));
    EXPECT_FALSE(Exists("mdc1.out"));
  }
}

TEST_F(Tarnpack, SizeBeyondTheFileIsTruncationBeforeAnyAllocation) {
  SKIP_WITHOUT_ADDRESS_LIMITS();
  // Within 256 MB an input buffer of the announced size cannot be had: only
  // a check against the file's length gives "Truncated".
  Write("huge.raw", RawPlaneHeader(32768, 32768));
  Write("hugemdc.raw", RawPlaneHeader(65520, 65520));  // some 70 GB with MDC
  Write("huge.pgm", SmallPgm("P5\n65520 65520\n255\n"));
  for (const char* args : {"huge.raw z.out 0 20 -c 1", "hugemdc.raw z.out 0 20 -c 1 -m 1",
                           "huge.pgm z.out 0 20"}) {
    RunResult r = Run(WithMemoryLimit(262144, std::string(TARNPACK) + " " + args));
    const std::string name = std::string(args).substr(0, std::string(args).find(' '));
    const std::string notice = std::string(args).find("-m") != std::string::npos ? "MDC:\n" : "";
    EXPECT_EQ(r.status, Status(-4)) << args;
    EXPECT_EQ(r.out, notice + "Truncated org_file " + name + "\n") << args;
  }
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, NotEnoughMemoryWhenAnAllocationFails) {
  SKIP_WITHOUT_ADDRESS_LIMITS();
  // The 4096 x 4096 object needs some 140 MB: past the system's check, it
  // fails within an 80 MB address space.
  if (!FitsInMemory(1e9)) GTEST_SKIP() << "this machine lacks the memory";
  WritePgm(Path("flat.pgm"), PgmImage{4096, 4096, std::vector<unsigned char>(4096 * 4096, 128)});
  RunResult r = Run(WithMemoryLimit(81920, std::string(TARNPACK) + " flat.pgm z.out 0 20"));
  EXPECT_EQ(r.status, Status(-6));
  EXPECT_EQ(r.out, "Not enough memory.\n");
  EXPECT_FALSE(Exists("z.out"));
  std::filesystem::remove(Path("flat.pgm"));  // 16 MB
}

TEST_F(Tarnpack, ReadsItsInputFromAPipe) {
  PackOk(Camera() + " file.out 0 20");
  RunResult r = Run("cat " + Camera() + " | " + TARNPACK + " /dev/stdin pipe.out 0 20");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Bytes("pipe.out"), Bytes("file.out"));
  // A raw plane of 512 x 512 floats: one read step exactly, plus its header.
  UnpackOk("file.out camera.raw 0 -c 1");
  PackOk("camera.raw raw.out 0 20 -c 1 -m 1");
  r = Run("cat camera.raw | " + std::string(TARNPACK) + " /dev/stdin pipe.out 0 20 -c 1 -m 1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Bytes("pipe.out"), Bytes("raw.out"));
}

TEST_F(Tarnpack, ShortPipeIsTruncationWithoutAllocatingTheAnnouncedSize) {
  SKIP_WITHOUT_ADDRESS_LIMITS();
  // 16384 x 16384 floats are 1 GB: more than the 256 MB the run may use,
  // though the system's memory check lets the size pass.
  if (!FitsInMemory(4e9)) GTEST_SKIP() << "this machine lacks the memory";
  std::vector<unsigned char> raw = RawPlaneHeader(16384, 16384);
  raw.resize(8 + 1000);
  Write("short.raw", raw);
  Write("short.pgm", SmallPgm("P5\n16384 16384\n255\n"));
  for (const char* args : {"short.raw -c 1", "short.raw -c 1 -m 1", "short.pgm -f 0"}) {
    const std::string name = std::string(args).substr(0, std::string(args).find(' '));
    const std::string options = std::string(args).substr(name.size());
    RunResult r = Run(WithMemoryLimit(262144, "cat " + name + " | " + TARNPACK +
                                                  " /dev/stdin z.out 0 20" + options));
    const std::string notice = options.find("-m") != std::string::npos ? "MDC:\n" : "";
    EXPECT_EQ(r.status, Status(-4)) << args;
    EXPECT_EQ(r.out, notice + "Truncated org_file /dev/stdin\n") << args;
  }
  EXPECT_FALSE(Exists("z.out"));
}

TEST_F(Tarnpack, NonFiniteRawPlaneData) {
  struct Case {
    std::size_t index;
    float value;
    const char* options;
    const char* notice;
  };
  const float inf = std::numeric_limits<float>::infinity();
  for (Case c : {Case{0, std::nanf(""), "", ""}, Case{255, inf, "", ""},
                 Case{100, -inf, " -f 0", ""}, Case{17, -std::nanf(""), " -m 1", "MDC:\n"}}) {
    std::vector<float> plane(256, 3.0f);
    plane[c.index] = c.value;
    std::vector<unsigned char> raw = RawPlaneHeader(16, 16);
    for (float f : plane) AppendFloat(raw, f);
    Write("in.raw", raw);
    RunResult r = Pack(std::string("in.raw z.out 0 20 -c 1") + c.options);
    EXPECT_EQ(r.status, Status(-4)) << c.index;
    EXPECT_EQ(r.out, std::string(c.notice) + "Invalid raw plane data.\n") << c.index;
    EXPECT_FALSE(Exists("z.out"));
    EXPECT_FALSE(Exists("mdc1.out"));
  }
  // The largest finite values are data like any other.
  std::vector<unsigned char> raw = RawPlaneHeader(16, 16);
  for (int i = 0; i < 256; ++i) AppendFloat(raw, i % 2 ? std::numeric_limits<float>::max() : 0.0f);
  Write("max.raw", raw);
  RunResult r = Pack("max.raw z.out 0 1e30 -c 1");
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(Tarnpack, OutputCannotBeCreatedOrWritten) {
  struct Case {
    const char* name;
    const char* options;
  };
  for (Case c : {Case{"nodir/z.out", ""}, Case{"/dev/full", ""}, Case{"/dev/full", " -m 1"}}) {
    RunResult r = Pack(Camera() + " " + c.name + " 0 20" + c.options);
    EXPECT_EQ(r.status, Status(-3)) << c.name;
    EXPECT_EQ(r.out, std::string(*c.options ? "MDC:\n" : "") + "Can't create cmp_file " + c.name +
                         "\n");
    EXPECT_FALSE(Exists("mdc1.out"));
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));  // a device is never removed
}

TEST_F(Tarnpack, FailedWriteRemovesWhatTheRunWrote) {
  RunResult r = Run(WithFileSizeLimit(1, std::string(TARNPACK) + " " + Camera() + " z.out 0 20"));
  EXPECT_EQ(r.status, Status(-3));
  EXPECT_EQ(r.out, "Can't create cmp_file z.out\n");
  EXPECT_FALSE(Exists("z.out"));

  // With MDC: a limit that lets record 0 through (to outfile and mdc1.out)
  // and stops outfile in record 1.
  PackOk(Camera() + " ref.out 0 20 -m 1");
  std::vector<Record> records = ParseStream(Bytes("ref.out"));
  ASSERT_EQ(records.size(), 4u);
  const std::size_t first = 12 + records[0].length, second = 12 + records[1].length;
  const int blocks = static_cast<int>((first + 511) / 512);
  ASSERT_LT(static_cast<std::size_t>(blocks) * 512, first + second);
  std::filesystem::remove(Path("mdc1.out"));
  r = Run(WithFileSizeLimit(blocks, std::string(TARNPACK) + " " + Camera() + " z.out 0 20 -m 1"));
  EXPECT_EQ(r.status, Status(-3));
  EXPECT_EQ(r.out, "MDC:\n" + std::to_string(records[0].length) +
                       " bytes\nCan't create cmp_file z.out\n");
  EXPECT_FALSE(Exists("z.out"));
  EXPECT_FALSE(Exists("mdc1.out"));
  EXPECT_TRUE(Exists("mdc2.out"));  // left by the earlier run, not by this one
}

TEST_F(Tarnpack, DescriptionFileCannotBeCreated) {
  std::filesystem::create_directory(Path("mdc2.out"));
  RunResult r = Pack(Camera() + " z.out 0 20 -m 1");
  EXPECT_EQ(r.status, Status(-100));
  std::vector<unsigned char> first = Bytes("mdc1.out");
  std::vector<Record> records = ParseStream(Bytes("z.out"));
  ASSERT_EQ(records.size(), 2u);  // the records up to the failing one stay
  EXPECT_EQ(first.size(), 12 + records[0].length);
  EXPECT_EQ(r.out, "MDC:\n" + std::to_string(records[0].length) + " bytes\nFailed to create file \n");
  EXPECT_FALSE(Exists("mdc3.out"));
}
