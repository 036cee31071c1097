#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "file_io.h"
#include "stream_format.h"
#include "tarn/tarn.h"
#include "test_files.h"

using namespace tarn;

TEST(FileIo, ClosingLineOfTwelveThousandBytes) {
  std::ostringstream out;
  PrintTotals(out, 12288, 512, 512);
  EXPECT_EQ(out.str(), "12288 bytes in total, 0.375 bpp, 21.3333:1.\n");
  out.str("");
  PrintTotals(out, 25845, 512, 512);  // the bit rate is narrowed to float first
  EXPECT_EQ(out.str(), "25845 bytes in total, 0.788727 bpp, 10.1429:1.\n");
}

TEST(StreamFormat, RecordHeaderIsLittleEndian) {
  unsigned char header[kRecordHeaderBytes];
  PutRecordHeader(header, RecordHeader{0x0102, 512, 20.0f, 3});
  const std::string expected("\x02\x01\x00\x02\x00\x00\xA0\x41\x03\x00\x00\x00", 12);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(header), 12), expected);
}

TEST(FileIo, ReaderKnowsWhatIsLeft) {
  {
    std::ofstream file("stream_io_reader.bin", std::ios::binary | std::ios::trunc);
    file.write("\x10\x00\x20\x00\x00\x00\xA0\x41\xFF\xFF\xFF\xFF\x01", 13);
  }
  CFileReader reader("stream_io_reader.bin");
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.Remaining(), 13u);
  unsigned char fields[12];
  EXPECT_TRUE(reader.Read(fields, 12));
  EXPECT_EQ(GetU16(fields + 2), 32);
  EXPECT_EQ(reader.Remaining(), 1u);
  unsigned char bytes[2];
  EXPECT_FALSE(reader.Read(bytes, 2));
  EXPECT_EQ(reader.Remaining(), 0u);
  EXPECT_FALSE(CFileReader("stream_io_missing.bin").IsOpen());
}

TEST(FileIo, MemoryCheckReadsMemAvailable) {
  {
    std::ofstream file("stream_io_meminfo");
    file << "MemTotal:        4000 kB\nMemFree:          100 kB\nMemAvailable:    1000 kB\n";
  }
  EXPECT_TRUE(FitsInMemory(1024000, "stream_io_meminfo"));
  EXPECT_FALSE(FitsInMemory(1024001, "stream_io_meminfo"));
  { std::ofstream file("stream_io_meminfo_old"); file << "MemTotal: 4000 kB\n"; }
  EXPECT_TRUE(FitsInMemory(1e18, "stream_io_meminfo_old"));  // no figure: no limit
  EXPECT_TRUE(FitsInMemory(1e18, "stream_io_no_such_file"));
}

namespace {
// A pipe read through its /proc name, as a program reads a pipe it is given
// by name. The read end is opened while the write end is still open (else
// the open would wait for a writer); the writer then sends bytes and closes.
class PipeOfBytes {
 public:
  explicit PipeOfBytes(std::vector<unsigned char> bytes) {
    EXPECT_EQ(pipe(m_aiFd), 0);
    m_pReader.reset(new CFileReader("/proc/self/fd/" + std::to_string(m_aiFd[0])));
    m_writer = std::thread([this, bytes] {
      for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(m_aiFd[1], bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      close(m_aiFd[1]);
    });
  }
  ~PipeOfBytes() {
    // Drain what a test left unread, so that the writer can finish.
    m_pReader->Stream().clear();
    m_pReader->Stream().ignore(std::numeric_limits<std::streamsize>::max());
    m_writer.join();
    close(m_aiFd[0]);
  }
  CFileReader& Reader() { return *m_pReader; }

 private:
  int m_aiFd[2];
  std::unique_ptr<CFileReader> m_pReader;
  std::thread m_writer;
};

std::vector<unsigned char> Pattern(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
  return bytes;
}
}  // namespace

TEST(FileIo, PipeIsReadAsItsDataComes) {
  const std::vector<unsigned char> bytes = Pattern(2621443);  // two and a half read steps
  PipeOfBytes pipe(bytes);
  CFileReader& reader = pipe.Reader();
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.Remaining(), CFileReader::kUnknownSize);
  unsigned char first[2];
  ASSERT_TRUE(reader.Read(first, 2));
  EXPECT_EQ(GetU16(first), GetU16(bytes.data()));
  std::vector<unsigned char> rest;
  ASSERT_TRUE(reader.ReadBytes(&rest, bytes.size() - 3));
  EXPECT_EQ(rest, std::vector<unsigned char>(bytes.begin() + 2, bytes.end() - 1));
  EXPECT_EQ(rest.capacity(), rest.size());  // a complete read holds no spare room
  EXPECT_FALSE(reader.ReadBytes(&rest, rest.size() + 2));
  EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(FileIo, CountBeyondTheDataAllocatesLittle) {
  {
    std::ofstream file("stream_io_short.bin", std::ios::binary | std::ios::trunc);
    file.write("0123456789", 10);
  }
  CFileReader file("stream_io_short.bin");
  std::vector<unsigned char> bytes;
  EXPECT_FALSE(file.ReadBytes(&bytes, 1000000000));
  EXPECT_EQ(bytes.capacity(), 0u);  // the file's length says no before anything is held
  EXPECT_TRUE(file.ReadBytes(&bytes, 10));  // and the refusal read nothing
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");

  PipeOfBytes pipe(Pattern(100));
  bytes.clear();
  EXPECT_FALSE(pipe.Reader().ReadBytes(&bytes, 1000000000));
  EXPECT_LE(bytes.capacity(), std::size_t(1) << 20);  // one read step
}

// What a caller has read already counts: a header read in one piece and
// the samples after it in another.
TEST(FileIo, ReadBytesCompletesWhatIsHeld) {
  {
    std::ofstream file("stream_io_parts.bin", std::ios::binary | std::ios::trunc);
    file.write("abcdefghij", 10);
  }
  CFileReader file("stream_io_parts.bin");
  std::vector<unsigned char> bytes;
  EXPECT_EQ(file.ReadSome(&bytes, 4), 4u);
  EXPECT_TRUE(file.ReadBytes(&bytes, 7));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdefg");
  EXPECT_TRUE(file.ReadBytes(&bytes, 5));  // more than asked for is cut back
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcde");
  EXPECT_EQ(file.ReadUpTo(&bytes, 100), 3u);  // what is left after g
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdehij");
  EXPECT_EQ(file.ReadSome(&bytes, 100), 0u);
}

// From a pipe, a header reader takes what has come and a filter file is
// read no further than the loader goes: neither waits for the writer to
// close (the writer here closes only once the reader is done, or after 10 s).
TEST(FileIo, PipesAreReadAsFarAsNeeded) {
  FilterFile filters;  // 528 bytes: size, matrices, and three size fields of 0
  const std::vector<unsigned char> bytes = FilterFileBytes(filters);
  for (bool bFilterFile : {false, true}) {
    int fd[2];
    ASSERT_EQ(pipe(fd), 0);
    std::promise<void> done;
    std::thread writer([&] {
      EXPECT_EQ(write(fd[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
      done.get_future().wait_for(std::chrono::seconds(10));
      close(fd[1]);
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string name = "/proc/self/fd/" + std::to_string(fd[0]);
    if (bFilterFile) {
      EXPECT_EQ(ReadFilterFile(name.c_str(), TARN_FILTERS_FULL), bytes);
    } else {
      CFileReader reader(name);
      std::vector<unsigned char> got;
      while (got.size() < bytes.size() && reader.ReadSome(&got, 1 << 16) > 0) {}
      EXPECT_EQ(got, bytes);
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    done.set_value();
    writer.join();
    close(fd[0]);
  }
  // Without a file, nothing; a file that cannot hold a size of 8 stops there.
  EXPECT_TRUE(ReadFilterFile("stream_io_no_such_file", TARN_FILTERS_FULL).empty());
  WriteFileBytes("stream_io_size16.dat", {16, 0, 0, 0, 1, 2, 3});
  EXPECT_EQ(ReadFilterFile("stream_io_size16.dat", TARN_FILTERS_FULL).size(), 4u);
}

TEST(FileIo, OnlyARegularFileIsRemoved) {
  namespace fs = std::filesystem;
  { std::ofstream file("stream_io_partial.out"); file << "partial"; }
  RemovePartialFile("stream_io_partial.out");
  EXPECT_FALSE(fs::exists("stream_io_partial.out"));
  fs::remove("stream_io_fifo");
  ASSERT_EQ(mkfifo("stream_io_fifo", 0600), 0);
  fs::create_directory("stream_io_dir");
  RemovePartialFile("stream_io_fifo");
  RemovePartialFile("stream_io_dir");
  RemovePartialFile("stream_io_no_such_file");
  EXPECT_TRUE(fs::is_fifo("stream_io_fifo"));
  EXPECT_TRUE(fs::is_directory("stream_io_dir"));
  fs::remove("stream_io_fifo");
  fs::remove("stream_io_dir");
}
