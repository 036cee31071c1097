#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "stream_io.h"

TEST(StreamIo, ClosingLineOfTwelveThousandBytes) {
  std::ostringstream out;
  PrintTotals(out, 12288, 512, 512);
  EXPECT_EQ(out.str(), "12288 bytes in total, 0.375 bpp, 21.3333:1.\n");
  out.str("");
  PrintTotals(out, 25845, 512, 512);  // the bit rate is narrowed to float first
  EXPECT_EQ(out.str(), "25845 bytes in total, 0.788727 bpp, 10.1429:1.\n");
}

TEST(StreamIo, RecordIsLittleEndian) {
  const unsigned char payload[3] = {0xAA, 0xBB, 0xCC};
  std::ostringstream out;
  WriteRecord(out, RecordHeader{0x0102, 512, 20.0f, 3}, payload);
  const std::string expected("\x02\x01\x00\x02\x00\x00\xA0\x41\x03\x00\x00\x00\xAA\xBB\xCC", 15);
  EXPECT_EQ(out.str(), expected);
}

TEST(StreamIo, ReaderKnowsWhatIsLeft) {
  {
    std::ofstream file("stream_io_reader.bin", std::ios::binary | std::ios::trunc);
    file.write("\x10\x00\x20\x00\x00\x00\xA0\x41\xFF\xFF\xFF\xFF\x01", 13);
  }
  CFileReader reader("stream_io_reader.bin");
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.Remaining(), 13u);
  std::uint16_t w = 0, h = 0;
  float q = 0;
  std::uint32_t length = 0;
  EXPECT_TRUE(reader.ReadU16(&w) && reader.ReadU16(&h) && reader.ReadFloat(&q) &&
              reader.ReadU32(&length));
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(q, 20.0f);
  EXPECT_EQ(length, 0xFFFFFFFFu);
  EXPECT_EQ(reader.Remaining(), 1u);
  unsigned char bytes[2];
  EXPECT_FALSE(reader.Read(bytes, 2));
  EXPECT_EQ(reader.Remaining(), 0u);
  EXPECT_FALSE(CFileReader("stream_io_missing.bin").IsOpen());
}

TEST(StreamIo, MemoryCheckReadsMemAvailable) {
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
