// Threads through the public API: every count gives the same bytes in every
// mode, the callbacks stay on the caller's thread, and a batch of records
// decodes as the records would one after another.
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "api_support.h"
#include "e2e_support.h"

namespace {

PgmImage Noise(int width, int height, unsigned seed) {
  PgmImage image{width, height, std::vector<unsigned char>(std::size_t(width) * height)};
  for (unsigned char& p : image.pixels) {
    seed = seed * 1103515245u + 12345u;
    p = static_cast<unsigned char>(seed >> 24);
  }
  return image;
}

tarn_encode_options EncodeOptions(float q, tarn_coder coder, int mdc, int threads) {
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = q;
  eo.coder = coder;
  eo.mdc = mdc;
  eo.threads = threads;
  return eo;
}

// Everything a decode gives: the image or plane, and the dumps' bytes.
struct Decoded {
  std::vector<unsigned char> output;
  SeenDiagnostics seen;
  bool operator==(const Decoded& o) const { return output == o.output && seen == o.seen; }
};

Decoded Decode(const Encoded& stream, tarn_decode_options d) {
  Decoded result;
  result.seen.Attach(&d);
  tarn_decoded out;
  EXPECT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &out), TARN_OK);
  const std::size_t samples = std::size_t(out.width) * out.height;
  if (out.pixels != nullptr) result.output.assign(out.pixels, out.pixels + samples);
  if (out.plane != nullptr) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(out.plane);
    result.output.assign(bytes, bytes + 4 * samples);
  }
  tarn_free(out.pixels);
  tarn_free(out.plane);
  return result;
}

class Threads : public E2e {};
}  // namespace

// Natural and noise images (noise at q below 1 shows any changed rounding),
// one smaller than a band of work, both coders, MDC, a loss pattern and
// coefficients only: one thread and several give the same bytes.
TEST_F(Threads, EveryCountGivesTheSameBytes) {
  struct Image {
    PgmImage pixels;
    float q;
  };
  const Image images[] = {{ReadPgm(Camera()), 20}, {Noise(256, 256, 1), 0.5f}, {Noise(48, 32, 2), 3}};
  for (const Image& image : images)
    for (tarn_coder coder : {TARN_CODER_ECEB, TARN_CODER_LCEB})
      for (int mdc : {0, 1}) {
        const std::string what = std::to_string(image.pixels.width) + " coder " + std::to_string(coder) +
                                 " mdc " + std::to_string(mdc);
        const Encoded stream = Encode(image.pixels, EncodeOptions(image.q, coder, mdc, 1));
        for (int threads : {2, 3, 0})
          EXPECT_EQ(Encode(image.pixels, EncodeOptions(image.q, coder, mdc, threads)).bytes, stream.bytes) << what;
        for (int pattern : {0, 3})
          for (int coefficients : {0, 1}) {
            tarn_decode_options d;
            tarn_decode_options_init(&d);
            d.coder = coder;
            d.mdc = mdc;
            d.loss.pattern = pattern;
            d.coefficients_only = coefficients;
            const Decoded one = Decode(stream, d);
            EXPECT_FALSE(one.output.empty());
            for (int threads : {2, 3}) {
              d.threads = threads;
              EXPECT_TRUE(Decode(stream, d) == one) << what << " pattern " << pattern << " threads " << threads;
            }
          }
      }
}

// A batch stops at its first bad record: the ones before it are in, the
// decoder takes the rest afterwards, and the image is the whole stream's.
TEST_F(Threads, BatchOfRecordsDecodesAsOneAfterAnother) {
  const Encoded stream = Encode(ReadPgm(Camera()), EncodeOptions(25, TARN_CODER_ECEB, 1, 1));
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  d.mdc = 1;
  d.threads = 3;
  tarn_decoded whole;
  ASSERT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &whole), TARN_OK);
  tarn_record records[4];
  for (int k = 0; k < 4; ++k) {
    const unsigned char* record = stream.bytes.data() + stream.encoded.record_offset[k];
    uint32_t length;
    ASSERT_EQ(tarn_record_fields(record + 4, &records[k].q, &length), TARN_OK);
    records[k].payload = record + 12;
    records[k].length = length;
  }
  tarn_decoder* dec = nullptr;
  ASSERT_EQ(tarn_decoder_create(&d, 256, 256, &dec), TARN_OK);
  uint32_t read[4] = {};
  int32_t decoded = -1;
  EXPECT_EQ(tarn_decoder_decode_records(dec, records, 0, read, &decoded), TARN_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(tarn_decoder_decode_records(dec, records, 5, read, &decoded), TARN_ERR_INVALID_ARGUMENT);
  tarn_record bad[3] = {records[0], records[1], records[2]};
  bad[2].q = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(tarn_decoder_decode_records(dec, bad, 3, read, &decoded), TARN_ERR_CORRUPT_STREAM);
  EXPECT_EQ(decoded, 2);
  EXPECT_EQ(read[0], whole.bytes_read[0]);
  EXPECT_EQ(read[1], whole.bytes_read[1]);
  EXPECT_EQ(tarn_decoder_decode_records(dec, records + 2, 3, read, &decoded), TARN_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(tarn_decoder_decode_records(dec, records + 2, 2, read, nullptr), TARN_OK);
  EXPECT_EQ(read[1], whole.bytes_read[3]);
  std::vector<unsigned char> pixels(512 * 512);
  ASSERT_EQ(tarn_decoder_finish(dec, pixels.data(), 512), TARN_OK);
  tarn_decoder_free(dec);
  EXPECT_EQ(std::memcmp(pixels.data(), whole.pixels, pixels.size()), 0);
  tarn_free(whole.pixels);
}

// A negative count is refused; MDC's descriptions side by side need room
// for each.
TEST_F(Threads, OptionsAndMemory) {
  tarn_encode_options eo = EncodeOptions(20, TARN_CODER_ECEB, 1, -1);
  EXPECT_EQ(tarn_encode_options_validate(&eo), TARN_ERR_INVALID_ARGUMENT);
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  EXPECT_EQ(d.threads, 1);
  d.threads = -1;
  tarn_decoded out;
  EXPECT_EQ(tarn_decode("", 0, &d, &out), TARN_ERR_INVALID_ARGUMENT);
  d.mdc = 1;
  d.threads = 1;
  const uint64_t one = tarn_decode_memory(1024, 1024, &d);
  d.threads = 2;
  EXPECT_GT(tarn_decode_memory(1024, 1024, &d), one);
  eo.threads = 1;
  const uint64_t encodeOne = tarn_encode_memory(2048, 2048, &eo);
  eo.threads = 4;
  EXPECT_GT(tarn_encode_memory(2048, 2048, &eo), encodeOne);
}
