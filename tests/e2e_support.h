// Helpers of the end-to-end tests: each test runs the built programs in a
// fresh directory of its own (so ctest -j2 is safe) and sees their standard
// output, standard error and exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

struct RunResult {
  int status;  // low 8 bits of the exit code, as a shell sees it
  std::string out;
  std::string err;
  double seconds = 0;  // wall time of the run
  long peakKib = 0;    // largest resident size of the run's processes
};

// The 8-bit exit status of a program whose main returned iResult.
inline int Status(int iResult) { return iResult & 0xFF; }

inline std::string TextOf(const std::vector<unsigned char>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

inline std::string ReadText(const std::string& path) { return TextOf(ReadFileBytes(path)); }

// Directory of the other tools built next to tarnpack.
inline std::string ToolPath(const std::string& name) {
  return std::filesystem::path(TARNPACK).parent_path().append(name).string();
}

// A little-endian compressed stream or raw plane built field by field.
inline void AppendU16(std::vector<unsigned char>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<unsigned char>(value));
  bytes.push_back(static_cast<unsigned char>(value >> 8));
}

inline std::uint32_t U32At(const std::vector<unsigned char>& bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline std::uint16_t U16At(const std::vector<unsigned char>& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// Tests whose commands run under an address-space limit skip themselves in
// the sanitized build: AddressSanitizer reserves far more address space than
// any such limit allows.
#ifdef TARN_SANITIZED
#define SKIP_WITHOUT_ADDRESS_LIMITS() GTEST_SKIP() << "ulimit -v cannot be used under AddressSanitizer"
#else
#define SKIP_WITHOUT_ADDRESS_LIMITS() (void)0
#endif

// A command run with its address space limited to kib KiB: an allocation of
// an announced size fails there, a read bounded by the data does not.
inline std::string WithMemoryLimit(int kib, const std::string& command) {
  return "ulimit -v " + std::to_string(kib) + " && " + command;
}

// A command whose files cannot grow beyond blocks x 512 bytes: a write past
// that fails (the signal that would end the process is ignored).
inline std::string WithFileSizeLimit(int blocks, const std::string& command) {
  return "trap '' XFSZ && ulimit -f " + std::to_string(blocks) + " && " + command;
}

// One description record of a compressed stream.
struct Record {
  std::uint16_t width, height;
  float q;
  std::uint32_t length;
  std::vector<unsigned char> payload;
};

// Splits a whole compressed stream into its records.
inline std::vector<Record> ParseStream(const std::vector<unsigned char>& bytes) {
  std::vector<Record> records;
  std::size_t pos = 0;
  while (pos + 12 <= bytes.size()) {
    Record r;
    r.width = U16At(bytes, pos);
    r.height = U16At(bytes, pos + 2);
    std::uint32_t bits = U32At(bytes, pos + 4);
    std::memcpy(&r.q, &bits, 4);
    r.length = U32At(bytes, pos + 8);
    pos += 12;
    if (pos + r.length > bytes.size()) break;
    r.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                     bytes.begin() + static_cast<std::ptrdiff_t>(pos + r.length));
    pos += r.length;
    records.push_back(r);
  }
  EXPECT_EQ(pos, bytes.size()) << "stream does not end on a record boundary";
  return records;
}

inline double Psnr(const PgmImage& a, const PgmImage& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    double d = double(a.pixels[i]) - b.pixels[i];
    sum += d * d;
  }
  return 10 * std::log10(255.0 * 255.0 * double(a.pixels.size()) / sum);
}

class E2e : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = (std::filesystem::current_path() / "e2e_tmp" /
            (std::string(info->test_suite_name()) + "." + info->name()))
               .string();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }

  // Runs a command line (words separated by blanks, no quoting needed) in
  // the test's directory.
  RunResult Run(const std::string& command) const {
    const std::string out = dir_ + "/../" + Name() + ".stdout";
    const std::string err = dir_ + "/../" + Name() + ".stderr";
    const std::string line = "cd '" + dir_ + "' && " + command + " >'" + out + "' 2>'" + err + "'";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int raw = 0;
    struct rusage usage = {};
    wait4(pid, &raw, 0, &usage);
    RunResult r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKib = usage.ru_maxrss;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }
  RunResult Pack(const std::string& args) const { return Run(std::string(TARNPACK) + " " + args); }
  RunResult Unpack(const std::string& args) const {
    return Run(std::string(TARNUNPACK) + " " + args);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
  std::vector<unsigned char> Bytes(const std::string& name) const { return ReadFileBytes(Path(name)); }
  void Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    WriteFileBytes(Path(name), bytes);
  }
  void WriteText(const std::string& name, const std::string& text) const {
    Write(name, std::vector<unsigned char>(text.begin(), text.end()));
  }

  // Runs a program that must succeed with nothing on standard error.
  std::string PackOk(const std::string& args) const { return Ok(Pack(args), args); }
  std::string UnpackOk(const std::string& args) const { return Ok(Unpack(args), args); }

  static std::string Camera() { return ImagePath("camera.pgm"); }

 private:
  static std::string Name() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
  }
  static std::string Ok(const RunResult& r, const std::string& args) {
    EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
    EXPECT_EQ(r.err, "") << args;
    return r.out;
  }
  std::string dir_;
};
