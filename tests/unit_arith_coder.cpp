#include <gtest/gtest.h>

#include <random>

#include <sys/mman.h>

#include "arith_coder.h"

using namespace tarn;

namespace {
std::vector<unsigned char> Encode(const std::vector<int>& bits, CBinModel* model) {
  std::vector<unsigned char> payload;
  CBitWriter writer;
  CArithEncoder encoder;
  writer.Init(&payload);
  encoder.Start();
  for (int b : bits) encoder.EncodeBit(b, model, &writer);
  encoder.Flush(&writer);
  payload.resize(writer.GetByteCount());
  return payload;
}
}  // namespace

TEST(ArithCoder, WorkedExamplePayloads) {
  struct Case {
    std::vector<int> bits;
    std::vector<unsigned char> payload;
  };
  const Case cases[] = {{{}, {0x60}}, {{1}, {0x30}}, {{0}, {0xB0}}, {{0, 1, 1, 0, 1}, {0x8F}}};
  for (const Case& c : cases) {
    CBinModel model;
    model.Init(1, 1, 50);
    EXPECT_EQ(Encode(c.bits, &model), c.payload) << c.bits.size() << " decisions";
  }
}

TEST(ArithCoder, WorkedExampleStateBeforeFlush) {
  std::vector<unsigned char> payload;
  CBitWriter writer;
  CArithEncoder encoder;
  CBinModel model;
  model.Init(1, 1, 50);
  writer.Init(&payload);
  encoder.Start();
  for (int b : {0, 1, 1, 0, 1}) encoder.EncodeBit(b, &model, &writer);
  EXPECT_EQ(encoder.m_iLow, 6552);
  EXPECT_EQ(encoder.m_iPending, 2);
  EXPECT_EQ(model.m_iCount1, 4);
  EXPECT_EQ(model.m_iTotal, 7);
}

TEST(ArithCoder, ModelHalving) {
  CBinModel model;
  model.Init(29, 20, 50);
  model.Update(false);  // 30 zeros, 20 ones: total reaches the limit
  EXPECT_EQ(model.m_iCount1, 10);
  EXPECT_EQ(model.m_iTotal, 25);
  model.Init(29, 20, 50);
  model.Update(true);  // 29 zeros, 21 ones
  EXPECT_EQ(model.m_iCount1, 11);
  EXPECT_EQ(model.m_iTotal, 26);
  model.Init(1, 1, 50);
  model.Halve();
  EXPECT_EQ(model.m_iCount1, 1);
  EXPECT_EQ(model.m_iTotal, 2);
}

TEST(BitIo, ByteCountsAndBitOrder) {
  std::vector<unsigned char> buffer;
  CBitWriter writer;
  writer.Init(&buffer);
  EXPECT_EQ(writer.GetByteCount(), 0);
  EXPECT_EQ(writer.WriteBits(0xA5, 8), 0xA5);
  EXPECT_EQ(writer.GetByteCount(), 1);
  writer.WriteBit(true);
  EXPECT_EQ(writer.GetByteCount(), 2);
  EXPECT_EQ(buffer[0], 0xA5);
  EXPECT_EQ(buffer[1], 0x80);
  EXPECT_EQ(writer.WriteBits(0x1FF, 4), 0xF);

  CBitReader reader;
  reader.Init(buffer.data(), 2);
  EXPECT_EQ(reader.ReadBits(8), 0xA5);
  EXPECT_EQ(reader.GetByteCount(), 1);
  EXPECT_EQ(reader.ReadBits(5), 0x1F);
  EXPECT_EQ(reader.ReadBits(0), 0);
}

TEST(BitIo, ReaderDeliversZerosPastTheEnd) {
  const unsigned char buffer[3] = {0xFF, 0xFF, 0xFF};
  CBitReader reader;
  reader.Init(buffer, 1);
  EXPECT_EQ(reader.ReadBits(8), 0xFF);
  EXPECT_EQ(reader.BytesPastEnd(), 0);
  EXPECT_EQ(reader.ReadBits(16), 0);
  EXPECT_EQ(reader.BytesPastEnd(), 2);
  reader.ReadBit();
  EXPECT_EQ(reader.BytesPastEnd(), 3);
}

// Random decisions under random models of various limits decode exactly,
// whatever bytes follow the payload, and the decoder reads one or two bytes
// more than the encoder wrote.
TEST(ArithCoder, RandomRoundTrip) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 40; ++trial) {
    const int limits[] = {3, 50, 512, 4096, kMaxModelLimit};
    std::vector<CBinModel> encModels(6);
    for (auto& m : encModels) m.Init(1, 1, limits[rng() % 5]);
    std::vector<CBinModel> decModels = encModels;
    std::vector<int> bits, which;
    int count = static_cast<int>(rng() % 3000);
    for (int i = 0; i < count; ++i) {
      which.push_back(static_cast<int>(rng() % 6));
      bits.push_back(static_cast<int>(rng() % 100) < 10 + 13 * which.back());
    }
    std::vector<unsigned char> payload;
    CBitWriter writer;
    CArithEncoder encoder;
    writer.Init(&payload);
    encoder.Start();
    for (int i = 0; i < count; ++i) encoder.EncodeBit(bits[i], &encModels[which[i]], &writer);
    encoder.Flush(&writer);
    int length = writer.GetByteCount();
    payload.resize(length);
    for (int k = 0; k < 2; ++k) payload.push_back(static_cast<unsigned char>(rng()));

    CBitReader reader;
    CArithDecoder decoder;
    reader.Init(payload.data(), static_cast<int>(payload.size()));
    decoder.Start(&reader);
    for (int i = 0; i < count; ++i)
      ASSERT_EQ(decoder.DecodeBit(&decModels[which[i]], &reader), bits[i]) << "trial " << trial << " bit " << i;
    EXPECT_GE(reader.GetByteCount() - length, 1);
    EXPECT_LE(reader.GetByteCount() - length, 2);
  }
}

// At its limit the writer drops further bits and flags it, whatever room
// the caller's vector has; Init clears the flag.
TEST(BitIo, WriterStopsAtItsLimit) {
  for (std::size_t presized : {std::size_t{0}, std::size_t{10}}) {
    std::vector<unsigned char> buffer(presized, 0xEE);
    CBitWriter writer;
    writer.SetLimit(2);
    writer.Init(&buffer);
    writer.WriteBits(0xABCD, 16);
    EXPECT_FALSE(writer.Overflowed());
    writer.WriteBits(0xFF, 8);
    EXPECT_TRUE(writer.Overflowed());
    EXPECT_EQ(writer.GetByteCount(), 2);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[1], 0xCD);
    if (presized) {
      EXPECT_EQ(buffer[2], 0xEE);
    }
    writer.Init(&buffer);
    EXPECT_FALSE(writer.Overflowed());
  }
}

// The longest payload a record can hold, read to two bytes past its end:
// the counters hold 2^31 + 1 without overflow. (The pages stay unmapped
// zeros; only the last is read.)
TEST(BitReader, CountersHoldPastTheEndOfTheLongestPayload) {
  const std::int64_t kLength = 0x7FFFFFFF;
  void* p = mmap(nullptr, kLength, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  CBitReader reader;
  reader.Init(static_cast<const unsigned char*>(p), kLength);
  reader.SeekByte(kLength - 1);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(reader.ReadBit());
  EXPECT_EQ(reader.BytesPastEnd(), 0);
  for (int i = 0; i < 13; ++i) EXPECT_FALSE(reader.ReadBit());
  EXPECT_EQ(reader.GetByteCount(), kLength + 2);
  EXPECT_EQ(reader.BytesPastEnd(), 2);
  munmap(p, kLength);
}
