// tarnunpack end to end: command line, notices, filter loading, stream
// reading and its errors, the four output modes.
#include <sstream>

#include "e2e_support.h"
#include "file_io.h"

namespace {
std::string UnpackUsage(const std::string& name) {
  return "Usage: " + name +
         " cmp_file pgm_flie fltcfg [-c n] [-f n] [-v n]\n"
         "  precfg: \n"
         "     0: Use built-in pre/post-filter with ideal bit alloc (better than 1 and 5).\n"
         "     1: Use built-in pre/post-filter with positive bit alloc for 0.125bpp.\n"
         "     5: Use built-in pre/post-filter with positive bit alloc for 0.5bpp.\n"
         "     precfg can also be a file name that contains other pre/post-filters.\n"
         " -c n: entropy coding only flag\n"
         "       n=1: entropy decoding only. Output raw file for Matlab to process.\n"
         " -f n: ECEB entropy coding flag\n"
         "       n=1 (default): Use the more efficient Embedded CEB (ECEB) entropy coding.\n"
         "       n=0: Use local CEB (LCEB) entropy coding.\n"
         "  -v n: 0(default): do not display filter info. 1: display filter info. \n"
         "  Examples: \n"
         "\t\ttarnunpack.exe  z.out dec.pgm 0\n"
         "\t\ttarnunpack.exe  z.out dec.pgm vexoman8_1_2_new.dat\n";
}

std::vector<unsigned char> StreamHeader(std::uint16_t width, std::uint16_t height) {
  std::vector<unsigned char> bytes;
  AppendU16(bytes, width);
  AppendU16(bytes, height);
  return bytes;
}

// The decoder reading the file name through a pipe, as /dev/stdin.
std::string UnpackFromPipe(const std::string& name, const std::string& args) {
  return "cat " + name + " | " + TARNUNPACK + " /dev/stdin " + args;
}

class Tarnunpack : public E2e {
 protected:
  // camera at q = 20: z.out in normal mode, m.out with MDC (and mdc1..4.out).
  void EncodeCamera() {
    PackOk(Camera() + " z.out 0 20");
    PackOk(Camera() + " m.out 0 20 -m 1");
  }
  // Byte-count lines as the decoder prints them for these read counts.
  static std::string CountLines(const std::vector<int>& counts) {
    std::string text;
    long total = 0;
    for (int c : counts) {
      text += std::to_string(c) + " bytes\n";
      total += c;
    }
    return text + std::to_string(total) + " bytes in total.\n";
  }
  // The decoder's counts of a run (the numbers of its " bytes" lines).
  static std::vector<int> Counts(const std::string& out) {
    std::vector<int> counts;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
      if (line.size() > 6 && line.compare(line.size() - 6, 6, " bytes") == 0)
        counts.push_back(std::stoi(line));
    return counts;
  }
  // Decodes "<stream> [options]" into dec.pgm, which must fail with -20
  // after that many descriptions, ending on "<message><stream>", and leave
  // no dec.pgm.
  void ExpectRejected(const std::string& args, std::size_t descriptionsRead, const std::string& message) const {
    const std::string name = args.substr(0, args.find(' '));
    std::filesystem::remove(Path("dec.pgm"));
    RunResult r = Unpack(name + " dec.pgm 0" + args.substr(name.size()));
    EXPECT_EQ(r.status, Status(-20)) << args;
    EXPECT_EQ(Counts(r.out).size(), descriptionsRead) << args;
    const std::string tail = message + name + "\n";
    ASSERT_GE(r.out.size(), tail.size()) << args;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << args;
    EXPECT_FALSE(Exists("dec.pgm")) << args;
  }
};
}  // namespace

TEST_F(Tarnunpack, RejectedCommandLinesPrintUsage) {
  EncodeCamera();
  const std::string usage = UnpackUsage(TARNUNPACK);
  for (const char* args : {"", "z.out dec.pgm", "missing.out dec.pgm", "z.out dec.pgm 0 -l",
                           "z.out dec.pgm 0 -l a", "z.out dec.pgm 0 -q 1", "z.out dec.pgm 0 x 1",
                           "z.out dec.pgm 0 -l", "z.out dec.pgm 0 -c 1 -f", "z.out dec.pgm 0 -t +2",
                           "z.out dec.pgm 0 -t 99999999999", "z.out dec.pgm 0 -t ' 2'"}) {
    RunResult r = Unpack(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.out, usage) << args;
    EXPECT_EQ(r.err, "") << args;
  }
  // Notices of earlier options come before the usage text.
  RunResult r = Unpack("z.out dec.pgm 0 -b 0 -l a");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Disable loss of boundary blocks.\n" + usage);
  EXPECT_FALSE(Exists("dec.pgm"));

  std::filesystem::create_symlink(TARNUNPACK, Path("tu"));
  r = Run("./tu z.out");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, UnpackUsage("./tu"));
}

TEST_F(Tarnunpack, StreamIsOpenedBeforeOptionsAreExamined) {
  for (const char* args : {"missing.out dec.pgm 0", "missing.out dec.pgm 0 -l",
                           "missing.out dec.pgm 0 -l a", "missing.out dec.pgm 0 -q 1"}) {
    RunResult r = Unpack(args);
    EXPECT_EQ(r.status, Status(-1)) << args;
    EXPECT_EQ(r.out, "Can't open cmp_file missing.out\n") << args;
  }
  EXPECT_FALSE(Exists("dec.pgm"));
}

TEST_F(Tarnunpack, NormalModeWritesAPgmAndPrintsReadCounts) {
  EncodeCamera();
  std::vector<Record> records = ParseStream(Bytes("z.out"));
  std::string out = UnpackOk("z.out dec.pgm 0");
  std::vector<int> counts = Counts(out);
  ASSERT_EQ(counts.size(), 1u);
  // The decoder reads one or two bytes past the payload's end.
  EXPECT_GE(counts[0], static_cast<int>(records[0].length) + 1);
  EXPECT_LE(counts[0], static_cast<int>(records[0].length) + 2);
  EXPECT_EQ(out, CountLines(counts));
  std::vector<unsigned char> pgm = Bytes("dec.pgm");
  ASSERT_EQ(pgm.size(), 15u + 262144u);
  EXPECT_EQ(TextOf(std::vector<unsigned char>(pgm.begin(), pgm.begin() + 15)), "P5\n512 512\n255\n");
  EXPECT_GT(Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm"))), 30.0);
  EXPECT_TRUE(Exists("LostData.raw"));  // reconstruction writes its dumps
}

TEST_F(Tarnunpack, MdcModeMergesFourDescriptions) {
  EncodeCamera();
  std::vector<Record> records = ParseStream(Bytes("m.out"));
  std::string out = UnpackOk("m.out dec.pgm 0 -m 1");
  std::vector<int> counts = Counts(out);
  ASSERT_EQ(counts.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_GE(counts[k], static_cast<int>(records[k].length) + 1) << k;
    EXPECT_LE(counts[k], static_cast<int>(records[k].length) + 2) << k;
  }
  EXPECT_EQ(out, "Decoding MDC bitstream\n" + CountLines(counts));
  PgmImage image = ReadPgm(Path("dec.pgm"));
  EXPECT_EQ(image.width, 512);
  EXPECT_EQ(image.height, 512);
  EXPECT_EQ(Bytes("dec.pgm").size(), 15u + 262144u);
  EXPECT_GT(Psnr(ReadPgm(Camera()), image), 30.0);
}

TEST_F(Tarnunpack, EachDescriptionDecodesAlone) {
  EncodeCamera();
  for (int k = 1; k <= 4; ++k) {
    std::string name = "mdc" + std::to_string(k) + ".out";
    UnpackOk(name + " d" + std::to_string(k) + ".pgm 0");
    PgmImage image = ReadPgm(Path("d" + std::to_string(k) + ".pgm"));
    EXPECT_EQ(image.width, 256) << name;
    EXPECT_EQ(image.height, 256) << name;
  }
  // Without -m an MDC stream gives description 0 alone.
  std::string out = UnpackOk("m.out d0.pgm 0");
  EXPECT_EQ(Counts(out).size(), 1u);
  EXPECT_EQ(Bytes("d0.pgm"), Bytes("d1.pgm"));
  EXPECT_EQ(Bytes("d0.pgm").size(), 15u + 65536u);
}

TEST_F(Tarnunpack, EntropyDecodingOnlyWritesRawPlanes) {
  EncodeCamera();
  struct Case {
    const char* args;
    std::uint32_t width, height;
  };
  for (Case c : {Case{"z.out raw 0 -c 0", 512, 512}, Case{"m.out raw 0 -c 1 -m 1", 512, 512},
                 Case{"m.out raw 0 -c 1", 256, 256}}) {
    UnpackOk(c.args);
    std::vector<unsigned char> raw = Bytes("raw");
    ASSERT_EQ(raw.size(), 8 + 4u * c.width * c.height) << c.args;
    EXPECT_EQ(U32At(raw, 0), c.width) << c.args;
    EXPECT_EQ(U32At(raw, 4), c.height) << c.args;
  }
  EXPECT_FALSE(Exists("LostData.raw"));  // no reconstruction, no dumps
}

TEST_F(Tarnunpack, OptionNotices) {
  EncodeCamera();
  UnpackOk("z.out plain.pgm 0");
  const std::string counts = CountLines(Counts(UnpackOk("z.out plain.pgm 0")));
  struct Case {
    const char* options;
    std::string notices;
  };
  const Case cases[] = {
      {"-b 0 -e 1 -l 0 -m 0 -r 0 -x 1",
       "Disable loss of boundary blocks.\n"
       "Use edge adaptive prediction for lost block.\n"
       "Error concealment test with config 0\n"
       "Override default iReuseEstData setting. Only use received data.\n"
       "Override default iSwitch2DPost setting. Use special filter in 2D.\n"},
      {"-b 7 -e 0 -r 1 -r 2 -x 0 -b 1", ""},
      {"-e 1", "Use edge adaptive prediction for lost block.\n"},
      {"-l 0x", "Error concealment test with config 0\n"},
      {"-ex 9 -f 1 -v 1 -c 1 -x 0", "Use edge adaptive prediction for lost block.\n"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(Path("dec.pgm"));
    std::string out = UnpackOk(std::string("z.out dec.pgm 0 ") + c.options);
    if (std::string(c.options).find("-c") != std::string::npos) {
      EXPECT_EQ(Bytes("dec.pgm").size(), 8u + 4 * 262144u) << c.options;
    } else {
      // Without loss these options decode exactly as no option.
      EXPECT_EQ(Bytes("dec.pgm"), Bytes("plain.pgm")) << c.options;
    }
    EXPECT_EQ(out, c.notices + counts) << c.options;
  }
}

TEST_F(Tarnunpack, CoderMustMatchTheEncoders) {
  PackOk(Camera() + " l.out 0 20 -f 0");
  std::string out = UnpackOk("l.out dec.pgm 0 -f 0");
  EXPECT_EQ(Counts(out).size(), 1u);
  EXPECT_GT(Psnr(ReadPgm(Camera()), ReadPgm(Path("dec.pgm"))), 30.0);
}

TEST_F(Tarnunpack, FilterFileIsLoadedAndPrintedWithTwoDecimals) {
  FilterFile file;
  file.pre = Identity(8);
  file.post = Identity(8);
  file.post[0] = 1.0f;
  file.post[1] = 0.5f;
  file.post[2] = -0.25f;
  file.hasLossField = false;
  WriteFilterFile(Path("f.dat"), file);
  PackOk(Camera() + " z.out f.dat 20");
  std::string out = UnpackOk("z.out dec.pgm f.dat -v 0");
  std::string expected = "Postfilter size: 8x8\n1.00  0.50  -0.25  0.00  0.00  0.00  0.00  0.00  \n";
  for (int i = 1; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) expected += i == j ? "1.00  " : "0.00  ";
    expected += "\n";
  }
  expected += "No DCT Wiener. Mean reconstruction will be used.\n";
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_EQ(UnpackOk("z.out dec.pgm f.dat").substr(0, 49),
            "No DCT Wiener. Mean reconstruction will be used.\n");
}

// Every section of a full file in file order, with two decimals; the notice
// for a file without a DCT Wiener filter depends on the loss filter's size.
TEST_F(Tarnunpack, VerboseShowsEverySectionInFileOrder) {
  EncodeCamera();
  FilterFile file;
  file.post[0] = 1;
  file.post[1] = 0.5f;
  file.post[2] = -0.25f;
  file.lossSize = 8;
  file.dctSize = 8;
  file.boundaryFlag = 1;
  WriteFilterFile(Path("full.dat"), file);
  std::string zeros8;
  for (int k = 0; k < 8; ++k) zeros8 += "0.00  ";
  zeros8 += "\n";
  const std::string zeros16 = zeros8.substr(0, 48) + zeros8;
  std::string expected = "Postfilter size: 8x8\n1.00  0.50  -0.25  0.00  0.00  0.00  0.00  0.00  \n";
  for (int k = 0; k < 7; ++k) expected += zeros8;
  expected += "\nNon-PR postfilter size:8\n";
  for (int k = 0; k < 8; ++k) expected += zeros8;
  expected += "\nWiener filter for DCT: 8x16\n";
  for (int k = 0; k < 8; ++k) expected += zeros16;
  expected += "\nBoundary Wiener filter: \n";
  for (int k = 0; k < 8; ++k) expected += zeros8;
  const std::string out = UnpackOk("z.out dec.pgm full.dat -v 1");
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_EQ(Counts(out).size(), 1u);

  const char kNoDct[] = "No DCT Wiener. Mean reconstruction will be used.\n";
  file.dctSize = 0;
  file.boundaryFlag = 0;
  file.lossSize = 16;
  WriteFilterFile(Path("w16.dat"), file);
  EXPECT_NE(UnpackOk("z.out dec.pgm w16.dat -v 1").find("\nGeneral Wiener filter size:16\n"), std::string::npos);
  EXPECT_EQ(UnpackOk("z.out dec.pgm w16.dat").find(kNoDct), std::string::npos);
  file.lossSize = 8;
  WriteFilterFile(Path("w8.dat"), file);
  EXPECT_EQ(UnpackOk("z.out dec.pgm w8.dat").substr(0, sizeof kNoDct - 1), kNoDct);
}

TEST_F(Tarnunpack, InvalidFilterFiles) {
  EncodeCamera();
  FilterFile bad_size;
  bad_size.size = 16;
  WriteFilterFile(Path("size.dat"), bad_size);
  FilterFile bad_loss;
  bad_loss.lossSize = 4;
  WriteFilterFile(Path("loss.dat"), bad_loss);
  FilterFile bad_dct;
  bad_dct.dctSize = 16;
  WriteFilterFile(Path("dct.dat"), bad_dct);
  struct Case {
    const char* args;
    int result;
    const char* out;
  };
  for (Case c : {Case{"size.dat", -1, "Invalid prefilter data file. Filter size should be BLK_SIZE\n"},
                 Case{"size.dat -v 1", -1,
                      "Postfilter size: 16x16\n"
                      "Invalid prefilter data file. Filter size should be BLK_SIZE\n"},
                 Case{"none.dat", -1, "Invalid prefilter data file. Filter size should be BLK_SIZE\n"},
                 Case{"loss.dat", -10, "Invalid postfilter size.\n"},
                 Case{"dct.dat", -10, "Invalid DCT wiener size.\n"}}) {
    RunResult r = Unpack(std::string("z.out dec.pgm ") + c.args);
    EXPECT_EQ(r.status, Status(c.result)) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_FALSE(Exists("dec.pgm"));
}

TEST_F(Tarnunpack, TruncatedStreams) {
  EncodeCamera();
  std::vector<unsigned char> header_only = StreamHeader(16, 16);
  std::vector<unsigned char> short_payload = StreamHeader(16, 16);
  AppendFloat(short_payload, 20.0f);
  AppendInt32(short_payload, 100);
  short_payload.resize(short_payload.size() + 99);
  std::vector<unsigned char> huge_length = StreamHeader(16, 16);
  AppendFloat(huge_length, 20.0f);
  AppendInt32(huge_length, -1);  // L = 4294967295 in a tiny file
  std::vector<unsigned char> cut = Bytes("m.out");
  cut.resize(cut.size() - 1);
  Write("empty.out", {});
  Write("three.out", {16, 0, 16});
  Write("header.out", header_only);
  Write("short.out", short_payload);
  Write("huge.out", huge_length);
  Write("cut.out", cut);
  struct Case {
    const char* args;
    int descriptions_read;
  };
  for (Case c : {Case{"empty.out", 0}, Case{"three.out", 0}, Case{"header.out", 0},
                 Case{"short.out", 0}, Case{"huge.out", 0}, Case{"z.out -m 1", 1},
                 Case{"cut.out -m 1", 3}}) {
    ExpectRejected(c.args, c.descriptions_read, "Truncated cmp_file ");
  }
}

TEST_F(Tarnunpack, ReadsTheStreamFromAPipe) {
  EncodeCamera();
  struct Case {
    const char* stream;
    const char* options;
  };
  for (Case c : {Case{"z.out", ""}, Case{"m.out", " -m 1"}, Case{"z.out", " -c 1"},
                 Case{"m.out", " -m 1 -c 1"}}) {
    const std::string expected = UnpackOk(std::string(c.stream) + " file 0" + c.options);
    RunResult r = Run(UnpackFromPipe(c.stream, std::string("pipe 0") + c.options));
    EXPECT_EQ(r.status, 0) << c.stream << c.options;
    EXPECT_EQ(r.out, expected) << c.stream << c.options;
    EXPECT_EQ(Bytes("pipe"), Bytes("file")) << c.stream << c.options;
  }
}

TEST_F(Tarnunpack, ShortPipes) {
  SKIP_WITHOUT_ADDRESS_LIMITS();
  EncodeCamera();
  std::vector<unsigned char> cut = Bytes("m.out");
  cut.resize(cut.size() - 1);
  Write("cut.out", cut);
  // L = 10^9 in a tiny stream: more than the 256 MB the run may use, so only
  // a payload read bounded by the data gives "Truncated".
  std::vector<unsigned char> long_length = StreamHeader(16, 16);
  AppendFloat(long_length, 20.0f);
  AppendInt32(long_length, 1000000000);
  long_length.resize(long_length.size() + 100);
  Write("long.out", long_length);
  // L = 4294967295: a pipe's length is unknown, and a length beyond what a
  // payload may have is corrupt.
  std::vector<unsigned char> huge_length = StreamHeader(16, 16);
  AppendFloat(huge_length, 20.0f);
  AppendInt32(huge_length, -1);
  Write("huge.out", huge_length);
  struct Case {
    const char* stream;
    const char* options;
    int descriptions_read;
    const char* tail;
  };
  for (Case c : {Case{"cut.out", " -m 1", 3, "Truncated cmp_file /dev/stdin\n"},
                 Case{"z.out", " -m 1", 1, "Truncated cmp_file /dev/stdin\n"},
                 Case{"long.out", "", 0, "Truncated cmp_file /dev/stdin\n"},
                 Case{"huge.out", "", 0, "Corrupt cmp_file /dev/stdin\n"}}) {
    RunResult r = Run(WithMemoryLimit(262144, UnpackFromPipe(c.stream, "dec.pgm 0") + c.options));
    EXPECT_EQ(r.status, Status(-20)) << c.stream;
    EXPECT_EQ(Counts(r.out).size(), static_cast<std::size_t>(c.descriptions_read)) << c.stream;
    const std::string tail = c.tail;
    ASSERT_GE(r.out.size(), tail.size()) << c.stream;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << c.stream;
    EXPECT_FALSE(Exists("dec.pgm")) << c.stream;
  }
}

TEST_F(Tarnunpack, CorruptStreams) {
  EncodeCamera();
  PackOk(Camera() + " l.out 0 20 -f 0");
  // The first half of a payload, announced as the whole.
  for (const char* name : {"z.out", "l.out"}) {
    std::vector<unsigned char> stream = Bytes(name);
    std::uint32_t half = U32At(stream, 8) / 2;
    std::vector<unsigned char> damaged(stream.begin(), stream.begin() + 12 + half);
    damaged[8] = static_cast<unsigned char>(half);
    damaged[9] = static_cast<unsigned char>(half >> 8);
    damaged[10] = damaged[11] = 0;
    Write(std::string("damaged.") + name, damaged);
  }
  std::vector<unsigned char> mdc_damaged = Bytes("m.out");
  std::vector<unsigned char> cut_part = Bytes("mdc4.out");
  mdc_damaged.resize(mdc_damaged.size() - cut_part.size());
  cut_part.resize(12 + 10);
  cut_part[8] = 10;
  cut_part[9] = cut_part[10] = cut_part[11] = 0;
  mdc_damaged.insert(mdc_damaged.end(), cut_part.begin(), cut_part.end());
  Write("mdcdamaged.out", mdc_damaged);
  for (auto size : {std::pair<int, int>{12, 16}, {16, 0}, {0, 16}, {16, 20}}) {
    std::vector<unsigned char> bytes = StreamHeader(size.first, size.second);
    std::vector<unsigned char> stream = Bytes("z.out");
    bytes.insert(bytes.end(), stream.begin() + 4, stream.end());
    Write("size" + std::to_string(size.first) + "x" + std::to_string(size.second) + ".out", bytes);
  }
  struct Case {
    const char* args;
    int descriptions_read;
  };
  for (Case c : {Case{"damaged.z.out", 0}, Case{"damaged.l.out -f 0", 0},
                 Case{"mdcdamaged.out -m 1", 3}, Case{"size12x16.out", 0},
                 Case{"size16x0.out", 0}, Case{"size0x16.out", 0}, Case{"size16x20.out", 0}}) {
    ExpectRejected(c.args, c.descriptions_read, "Corrupt cmp_file ");
  }
}

TEST_F(Tarnunpack, NotEnoughMemory) {
  // 65528 x 65528 with -c needs some 35 GB (the plane and the raw output),
  // with MDC far more.
  if (FitsInMemory(3.6e10)) GTEST_SKIP() << "this machine has the memory";
  Write("huge.out", StreamHeader(65528, 65528));
  struct Case {
    const char* options;
    const char* notice;
  };
  for (Case c : {Case{" -m 1", "Decoding MDC bitstream\n"}, Case{" -c 1", ""}}) {
    RunResult r = Unpack(std::string("huge.out dec.pgm 0") + c.options);
    EXPECT_EQ(r.status, Status(-30)) << c.options;
    EXPECT_EQ(r.out, std::string(c.notice) + "Not enough memory.\n") << c.options;
  }
  EXPECT_FALSE(Exists("dec.pgm"));
}

TEST_F(Tarnunpack, OutputCannotBeCreatedOrWritten) {
  EncodeCamera();
  struct Case {
    const char* stream;
    const char* name;
    const char* options;
  };
  for (Case c : {Case{"z.out", "nodir/dec.pgm", ""}, Case{"z.out", "/dev/full", ""},
                 Case{"z.out", "/dev/full", " -c 1"}, Case{"m.out", "/dev/full", " -m 1"},
                 Case{"m.out", "nodir/dec.raw", " -m 1 -c 1"}}) {
    RunResult r = Unpack(std::string(c.stream) + " " + c.name + " 0" + c.options);
    EXPECT_EQ(r.status, Status(-2)) << c.name << c.options;
    std::vector<int> counts = Counts(r.out);
    const std::string tail = CountLines(counts) + "Can't create pgm_file " + c.name + "\n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << c.name << c.options;
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));  // a device is never removed
}

TEST_F(Tarnunpack, FailedWriteRemovesThePartialOutput) {
  EncodeCamera();
  for (const char* args : {"z.out dec 0", "z.out dec 0 -c 1", "m.out dec 0 -m 1",
                           "m.out dec 0 -m 1 -c 1"}) {
    RunResult r = Run(WithFileSizeLimit(1, std::string(TARNUNPACK) + " " + args));
    EXPECT_EQ(r.status, Status(-2)) << args;
    const std::string tail = CountLines(Counts(r.out)) + "Can't create pgm_file dec\n";
    ASSERT_GE(r.out.size(), tail.size()) << args;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << args;
    EXPECT_FALSE(Exists("dec")) << args;
  }
}

TEST_F(Tarnunpack, FailedOutputAllocationLeavesNoFile) {
  SKIP_WITHOUT_ADDRESS_LIMITS();
  // A flat 8192 x 8192 image: decoding it needs some 270 MB, the output's
  // pixels 64 MB more.
  if (!FitsInMemory(1e9)) GTEST_SKIP() << "this machine lacks the memory";
  WritePgm(Path("flat.pgm"), PgmImage{8192, 8192, std::vector<unsigned char>(8192 * 8192, 128)});
  PackOk("flat.pgm flat.out 0 20");
  std::filesystem::remove(Path("flat.pgm"));  // 64 MB
  Write("dec.pgm", {'o', 'l', 'd'});  // an earlier output stays as it was
  RunResult r = Run(WithMemoryLimit(310000, std::string(TARNUNPACK) + " flat.out dec.pgm 0"));
  EXPECT_EQ(r.status, Status(-30));
  EXPECT_EQ(Counts(r.out).size(), 1u);  // the record was read
  const std::string tail = " bytes in total.\nNot enough memory.\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_EQ(ReadText(Path("dec.pgm")), "old");
}

TEST_F(Tarnunpack, LossSettingsReachReconstruction) {
  EncodeCamera();
  // Lost blocks per the mask dump, and those among them on the image border.
  auto lost = [this](bool border_only) {
    std::vector<unsigned char> mask = Bytes("LostMask.raw");
    EXPECT_EQ(mask.size(), 64u * 64u);
    int count = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
      bool border = i / 64 == 0 || i / 64 == 63 || i % 64 == 0 || i % 64 == 63;
      if (mask[i] != 0 && (border || !border_only)) ++count;
    }
    return count;
  };
  UnpackOk("z.out plain.pgm 0 -l 0");
  EXPECT_EQ(lost(false), 0);
  UnpackOk("z.out l1.pgm 0 -l 1");
  EXPECT_GT(lost(true), 0);
  EXPECT_NE(Bytes("l1.pgm"), Bytes("plain.pgm"));
  UnpackOk("z.out l1b.pgm 0 -l 1 -b 0");
  EXPECT_GT(lost(false), 0);
  EXPECT_EQ(lost(true), 0);
  UnpackOk("z.out l1b7.pgm 0 -l 1 -b 7");  // any value but 0 leaves the border exposed
  EXPECT_GT(lost(true), 0);
  // Only -r 1 lets concealed blocks serve as neighbours; 2 acts as 0.
  UnpackOk("z.out r1.pgm 0 -l 5");
  UnpackOk("z.out r0.pgm 0 -l 5 -r 0");
  UnpackOk("z.out r2.pgm 0 -l 5 -r 2");
  EXPECT_NE(Bytes("r0.pgm"), Bytes("r1.pgm"));
  EXPECT_EQ(Bytes("r2.pgm"), Bytes("r0.pgm"));
}

TEST_F(Tarnunpack, DctWienerFilterReachesConcealment) {
  FilterFile plain;
  plain.pre = BuiltInFilterMatrix(0, true);
  plain.post = BuiltInFilterMatrix(0, false);
  WriteFilterFile(Path("plain.dat"), plain);
  FilterFile wiener = plain;
  wiener.dctSize = 8;
  wiener.dct.assign(128, 0.0f);
  for (int j = 0; j < 8; ++j) {  // linear interpolation between the two neighbours
    wiener.dct[j * 16 + 7] = static_cast<float>(8 - j) / 9;
    wiener.dct[j * 16 + 8] = static_cast<float>(j + 1) / 9;
  }
  WriteFilterFile(Path("wiener.dat"), wiener);
  PackOk(Camera() + " z.out plain.dat 20");
  const std::string notice = "No DCT Wiener. Mean reconstruction will be used.\n";
  EXPECT_NE(UnpackOk("z.out plain.pgm plain.dat -l 1").find(notice), std::string::npos);
  EXPECT_EQ(UnpackOk("z.out wiener.pgm wiener.dat -l 1").find(notice), std::string::npos);
  EXPECT_NE(Bytes("wiener.pgm"), Bytes("plain.pgm"));
  // Without loss the prediction filter plays no part.
  UnpackOk("z.out plain0.pgm plain.dat");
  UnpackOk("z.out wiener0.pgm wiener.dat");
  EXPECT_EQ(Bytes("wiener0.pgm"), Bytes("plain0.pgm"));
}
