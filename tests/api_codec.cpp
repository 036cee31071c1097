// The public API alone: encoding and decoding in memory against the files
// the programs write, record-by-record decoding, threads, progress and the
// status of every kind of bad input.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include "api_support.h"
#include "e2e_support.h"

namespace {

// What a decode handed to its diagnostics callbacks.
const char* const kDumps[] = {"LostData.raw", "LostMask.raw", "BeforePost.raw"};

class Api : public E2e {};
}  // namespace

// The stream tarn_encode returns is the file tarnpack writes, and what
// tarn_decode returns is the image (or raw plane) and the dumps tarnunpack
// writes, for both coders, MDC, a loss pattern and entropy decoding.
TEST_F(Api, InMemoryEqualsTheProgramsFiles) {
  const PgmImage camera = ReadPgm(Camera());
  struct Case {
    const char* pack;    // options of both programs
    const char* unpack;  // options of tarnunpack only
    tarn_coder coder;
    bool mdc;
    tarn_loss loss;
    bool coefficients;
  };
  const Case cases[] = {
      {"", "", TARN_CODER_ECEB, false, {0, 1, 1, 0}, false},
      {"-f 0", "", TARN_CODER_LCEB, false, {0, 1, 1, 0}, false},
      {"-m 1", "", TARN_CODER_ECEB, true, {0, 1, 1, 0}, false},
      {"-f 0 -m 1", " -c 1", TARN_CODER_LCEB, true, {0, 1, 1, 0}, true},
      {"", " -l 7 -b 0 -r 0", TARN_CODER_ECEB, false, {7, 0, 0, 0}, false},
      {"-m 1", " -l 9", TARN_CODER_ECEB, true, {9, 1, 1, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pack) + c.unpack);
    for (const char* dump : kDumps) std::filesystem::remove(Path(dump));
    PackOk(Camera() + " z.out 0 20 " + c.pack);
    UnpackOk(std::string("z.out dec.out 0 ") + c.pack + c.unpack);

    tarn_encode_options eo;
    tarn_encode_options_init(&eo);
    eo.q = 20;
    eo.coder = c.coder;
    eo.mdc = c.mdc;
    const Encoded stream = Encode(camera, eo);
    ASSERT_EQ(stream.bytes, Bytes("z.out"));
    for (int k = 0; c.mdc && k < 4; ++k) {
      const std::string part = "mdc" + std::to_string(k + 1) + ".out";
      EXPECT_EQ(stream.Record(k), Bytes(part)) << part;
    }

    tarn_decode_options d;
    tarn_decode_options_init(&d);
    d.coder = c.coder;
    d.mdc = c.mdc;
    d.loss = c.loss;
    d.coefficients_only = c.coefficients;
    SeenDiagnostics seen;
    seen.Attach(&d);
    tarn_decoded out;
    ASSERT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &out), TARN_OK);
    const std::vector<unsigned char> written = c.coefficients ? RawPlaneFile(out) : PgmFile(out);
    EXPECT_EQ(written, Bytes("dec.out"));
    for (int kind = 0; kind < 3; ++kind) {
      if (Exists(kDumps[kind]))
        EXPECT_EQ(seen.planes[kind], Bytes(kDumps[kind])) << kDumps[kind];
      else
        EXPECT_TRUE(seen.planes[kind].empty()) << kDumps[kind];
    }
    EXPECT_EQ(out.descriptions, c.mdc ? 4 : 1);
    tarn_free(out.pixels);
    tarn_free(out.plane);
  }
}

// The decoder object, fed one record at a time, gives what tarn_decode
// gives, and tells the output's size before it is made.
TEST_F(Api, RecordByRecordEqualsWholeStream) {
  const PgmImage camera = ReadPgm(Camera());
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = 30;
  eo.mdc = 1;
  const Encoded stream = Encode(camera, eo);
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  d.mdc = 1;
  tarn_decoded whole;
  ASSERT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &whole), TARN_OK);

  uint32_t width, height;
  ASSERT_EQ(tarn_stream_dimensions(stream.bytes.data(), &width, &height), TARN_OK);
  EXPECT_EQ(width, 256u);
  tarn_decoder* dec = nullptr;
  ASSERT_EQ(tarn_decoder_create(&d, width, height, &dec), TARN_OK);
  for (int k = 0; k < 4; ++k) {
    const unsigned char* record = stream.bytes.data() + stream.encoded.record_offset[k];
    float q;
    uint32_t length, read;
    ASSERT_EQ(tarn_record_fields(record + 4, &q, &length), TARN_OK);
    EXPECT_EQ(length, stream.encoded.payload_length[k]);
    ASSERT_EQ(tarn_decoder_decode(dec, q, record + 12, length, &read), TARN_OK);
    EXPECT_EQ(read, whole.bytes_read[k]);
    EXPECT_GE(read, length + 1);
    EXPECT_LE(read, length + 2);
  }
  EXPECT_EQ(tarn_decoder_decode(dec, 30, stream.bytes.data(), 1, nullptr), TARN_ERR_INVALID_ARGUMENT);
  tarn_decoder_output_size(dec, &width, &height);
  EXPECT_EQ(width, 512u);
  EXPECT_EQ(height, 512u);
  // Into a buffer with a row stride of its own, the full-size image made
  // before.
  std::vector<unsigned char> padded(600 * 512, 7);
  ASSERT_EQ(tarn_decoder_prepare(dec), TARN_OK);
  ASSERT_EQ(tarn_decoder_finish(dec, padded.data(), 600), TARN_OK);
  EXPECT_EQ(tarn_decoder_finish(dec, padded.data(), 600), TARN_ERR_INVALID_ARGUMENT);  // once only
  tarn_decoder_free(dec);
  for (int y = 0; y < 512; ++y) {
    ASSERT_EQ(std::memcmp(&padded[600 * y], whole.pixels + 512 * y, 512), 0) << "row " << y;
    ASSERT_EQ(padded[600 * y + 512], 7);
  }
  tarn_free(whole.pixels);
}

// With coefficients only, the decoder hands its plane over without a copy;
// it is the plane a whole-stream decode gives.
TEST_F(Api, CoefficientPlaneIsHandedOver) {
  const PgmImage camera = ReadPgm(Camera());
  for (int mdc : {0, 1}) {
    tarn_encode_options eo;
    tarn_encode_options_init(&eo);
    eo.q = 25;
    eo.mdc = mdc;
    const Encoded stream = Encode(camera, eo);
    tarn_decode_options d;
    tarn_decode_options_init(&d);
    d.mdc = mdc;
    d.coefficients_only = 1;
    tarn_decoded whole;
    ASSERT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &whole), TARN_OK);
    uint32_t width, height;
    ASSERT_EQ(tarn_stream_dimensions(stream.bytes.data(), &width, &height), TARN_OK);
    tarn_decoder* dec = nullptr;
    ASSERT_EQ(tarn_decoder_create(&d, width, height, &dec), TARN_OK);
    float* plane = nullptr;
    EXPECT_EQ(tarn_decoder_take_plane(dec, &plane), TARN_ERR_INVALID_ARGUMENT);  // nothing decoded yet
    for (int k = 0; k < stream.encoded.descriptions; ++k) {
      const unsigned char* record = stream.bytes.data() + stream.encoded.record_offset[k];
      ASSERT_EQ(tarn_decoder_decode(dec, 25, record + 12, stream.encoded.payload_length[k], nullptr), TARN_OK);
    }
    ASSERT_EQ(tarn_decoder_take_plane(dec, &plane), TARN_OK);
    EXPECT_EQ(std::memcmp(plane, whole.plane, 512 * 512 * sizeof(float)), 0);
    EXPECT_EQ(tarn_decoder_finish(dec, whole.plane, 512), TARN_ERR_INVALID_ARGUMENT);  // handed over
    tarn_free(plane);
    tarn_decoder_free(dec);
    tarn_free(whole.plane);
  }
}

// A strided image encodes as its packed copy.
TEST_F(Api, PixelRowStride) {
  const PgmImage camera = ReadPgm(Camera());
  std::vector<unsigned char> padded(530 * 512, 255);
  for (int y = 0; y < 512; ++y) std::memcpy(&padded[530 * y], &camera.pixels[512 * y], 512);
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = 20;
  tarn_encoded out;
  ASSERT_EQ(tarn_encode(padded.data(), 512, 512, 530, &eo, &out), TARN_OK);
  EXPECT_EQ(std::vector<unsigned char>(out.data, out.data + out.size), Encode(camera, eo).bytes);
  tarn_free(out.data);
}

// No process-wide state: two threads decoding different streams at once
// (random loss patterns included) give the results of one after the other.
TEST_F(Api, TwoThreadsMatchTheSequentialResults) {
  const PgmImage camera = ReadPgm(Camera());
  const PgmImage brick = ReadPgm(ImagePath("brick.pgm"));
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = 15;
  const Encoded streams[2] = {Encode(camera, eo), Encode(brick, eo)};
  auto decode = [&](int which, std::vector<unsigned char>* pixels) {
    tarn_decode_options d;
    tarn_decode_options_init(&d);
    d.loss.pattern = which == 0 ? 7 : 8;
    tarn_decoded out;
    if (tarn_decode(streams[which].bytes.data(), streams[which].bytes.size(), &d, &out) != TARN_OK) return;
    pixels->assign(out.pixels, out.pixels + std::size_t(out.width) * out.height);
    tarn_free(out.pixels);
  };
  std::vector<unsigned char> sequential[2], parallel[2];
  decode(0, &sequential[0]);
  decode(1, &sequential[1]);
  for (int round = 0; round < 3; ++round) {
    std::thread a(decode, 0, &parallel[0]), b(decode, 1, &parallel[1]);
    a.join();
    b.join();
    ASSERT_FALSE(sequential[0].empty());
    EXPECT_EQ(parallel[0], sequential[0]);
    EXPECT_EQ(parallel[1], sequential[1]);
  }
}

// Progress rises to 100, on the caller's thread also with four threads; a
// callback that returns 0 stops encoding and decoding, also inside one long
// LCEB magnitude.
TEST_F(Api, ProgressAndCancellation) {
  const PgmImage camera = ReadPgm(Camera());
  for (int threads : {1, 4})
    for (int mdc : {0, 1})
      for (tarn_coder coder : {TARN_CODER_ECEB, TARN_CODER_LCEB}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, mdc " + std::to_string(mdc) + ", coder " +
                     std::to_string(coder));
        tarn_encode_options eo;
        tarn_encode_options_init(&eo);
        eo.q = 20;
        eo.coder = coder;
        eo.mdc = mdc;
        eo.threads = threads;
        ProgressCalls calls;
        eo.progress = ProgressCalls::Progress;
        eo.user_data = &calls;
        const Encoded stream = Encode(camera, eo);
        EXPECT_FALSE(calls.elsewhere);
        EXPECT_TRUE(calls.rising);
        EXPECT_EQ(calls.last, 100);
        calls = ProgressCalls();
        calls.stop_after = 3;
        tarn_encoded out;
        EXPECT_EQ(tarn_encode(camera.pixels.data(), 512, 512, 512, &eo, &out), TARN_ERR_CANCELLED);
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(calls.count, 3);

        tarn_decode_options d;
        tarn_decode_options_init(&d);
        d.coder = coder;
        d.mdc = mdc;
        d.threads = threads;
        d.progress = ProgressCalls::Progress;
        calls = ProgressCalls();
        d.user_data = &calls;
        tarn_decoded decoded;
        ASSERT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &decoded), TARN_OK);
        tarn_free(decoded.pixels);
        EXPECT_FALSE(calls.elsewhere);
        EXPECT_TRUE(calls.rising);
        EXPECT_EQ(calls.last, 100);
        calls = ProgressCalls();
        calls.stop_after = 2;
        EXPECT_EQ(tarn_decode(stream.bytes.data(), stream.bytes.size(), &d, &decoded), TARN_ERR_CANCELLED);
        EXPECT_EQ(decoded.pixels, nullptr);
        EXPECT_EQ(calls.count, 2);
      }
  // One coefficient of 2^26 at q 1: a unary run of 67 million decisions,
  // stopped from within after 2^20 of them.
  std::vector<float> plane(64, 0.0f);
  plane[0] = 67108864.0f;
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = 1;
  eo.coder = TARN_CODER_LCEB;
  ProgressCalls calls;
  calls.stop_after = 1;
  eo.progress = ProgressCalls::Progress;
  eo.user_data = &calls;
  tarn_encoded out;
  EXPECT_EQ(tarn_encode_coefficients(plane.data(), 8, 8, &eo, &out), TARN_ERR_CANCELLED);
  EXPECT_EQ(calls.count, 1);
}

// Each failure status comes from one bad input.
TEST_F(Api, EveryStatusHasItsInput) {
  const PgmImage camera = ReadPgm(Camera());
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  eo.q = 20;
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  const Encoded stream = Encode(camera, eo);
  tarn_encoded encoded;
  tarn_decoded decoded;
  tarn_filters* filters = nullptr;
  uint32_t w, h;
  std::size_t header;
  auto filterFile = [](std::int32_t size, std::int32_t loss, std::int32_t dct) {
    FilterFile f;
    f.size = size;
    f.lossSize = loss;
    f.dctSize = dct;
    return FilterFileBytes(f);
  };
  auto load = [&](const std::vector<unsigned char>& bytes) {
    const tarn_status s = tarn_filters_load(bytes.data(), bytes.size(), TARN_FILTERS_FULL, nullptr, &filters);
    EXPECT_EQ(filters, nullptr);
    return s;
  };
  auto pgm = [&](const std::string& text, int32_t complete = 1) {
    return tarn_pgm_parse_header(text.data(), text.size(), complete, TARN_PGM_ENCODER, &w, &h, &header);
  };
  auto encodeWith = [&](float q, float value) {
    std::vector<float> plane(64, value);
    tarn_encode_options o = eo;
    o.q = q;
    return tarn_encode_coefficients(plane.data(), 8, 8, &o, &encoded);
  };
  auto decodeBytes = [&](std::vector<unsigned char> bytes, uint64_t maxPixels = 0) {
    tarn_decode_options limited = d;
    limited.max_pixels = maxPixels;
    return tarn_decode(bytes.data(), bytes.size(), &limited, &decoded);
  };
  std::vector<unsigned char> cut(stream.bytes.begin(), stream.bytes.end() - 1);
  std::vector<unsigned char> damaged = stream.bytes;
  for (std::size_t i = 12; i < damaged.size(); ++i) damaged[i] = 0xFF;
  const std::uint8_t rawHeader[8] = {12, 0, 0, 0, 8, 0, 0, 0};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    tarn_status expected;
    tarn_status got;
  };
  const Case cases[] = {
      {TARN_ERR_INVALID_ARGUMENT, tarn_encode(nullptr, 16, 16, 16, &eo, &encoded)},
      {TARN_ERR_INVALID_ARGUMENT, tarn_encode(camera.pixels.data(), 24, 16, 24, &eo, &encoded)},
      {TARN_ERR_INVALID_ARGUMENT, tarn_filters_builtin(10, &filters)},
      {TARN_ERR_NEED_MORE_DATA, pgm("P5\n16", 0)},
      {TARN_ERR_FILTER_SIZE, load(filterFile(16, 0, 0))},
      {TARN_ERR_LOSS_POSTFILTER_SIZE, load(filterFile(8, 4, 0))},
      {TARN_ERR_DCT_WIENER_SIZE, load(filterFile(8, 0, 16))},
      {TARN_ERR_PGM_MAGIC, pgm("P6\n16 16\n255\n")},
      {TARN_ERR_PGM_FORMAT, pgm("P5\n0 16\n255\n")},
      {TARN_ERR_PGM_SIZE, pgm("P5\n24 16\n255\n")},
      {TARN_ERR_RAW_PLANE_SIZE, tarn_raw_plane_parse_header(rawHeader, 0, &w, &h)},
      {TARN_ERR_RAW_PLANE_DATA, encodeWith(20, nan)},
      {TARN_ERR_TRUNCATED_INPUT, pgm("P5\n16 16\n255" + std::string(100, ' ') + "\n")},
      {TARN_ERR_PNG_FORMAT, tarn_png_parse_header("P5\n16 16\n255\n", 14, TARN_PGM_ANY, &w, &h)},
      {TARN_ERR_QUANT_STEP, encodeWith(0, 1)},
      {TARN_ERR_QUANT_TOO_SMALL, encodeWith(1e-30f, 1e10f)},
      {TARN_ERR_TRUNCATED_STREAM, decodeBytes(cut)},
      {TARN_ERR_CORRUPT_STREAM, decodeBytes({0, 0, 16, 0})},
      {TARN_ERR_CORRUPT_STREAM, decodeBytes({16, 0, 16, 0, 0, 0, 0xC0, 0x7F, 0, 0, 0, 0})},  // q NaN
      {TARN_ERR_CORRUPT_STREAM, decodeBytes(damaged)},
      {TARN_ERR_PIXEL_LIMIT, decodeBytes(stream.bytes, 512 * 512 - 1)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << tarn_status_string(c.expected);
  EXPECT_EQ(decoded.pixels, nullptr);
  EXPECT_EQ(encoded.data, nullptr);
  ASSERT_EQ(decodeBytes(stream.bytes, 512 * 512), TARN_OK);  // the limit itself is allowed
  tarn_free(decoded.pixels);
  // Every status reads differently.
  std::set<int> statuses = {TARN_OK, TARN_ERR_OUT_OF_MEMORY, TARN_ERR_CANCELLED};
  std::set<std::string> texts = {tarn_status_string(TARN_OK), tarn_status_string(TARN_ERR_OUT_OF_MEMORY),
                                 tarn_status_string(TARN_ERR_CANCELLED)};
  for (const Case& c : cases) {
    statuses.insert(c.expected);
    texts.insert(tarn_status_string(c.expected));
  }
  EXPECT_EQ(statuses.size(), 20u);  // all of them
  EXPECT_EQ(texts.size(), statuses.size());
  EXPECT_STREQ(tarn_status_string(static_cast<tarn_status>(999)), "unknown status");
}

// With no memory hook, running out of memory shows only where the system
// refuses a block outright: a decoder for four descriptions of the largest
// size wants 64 GiB for its merged plane alone.
TEST_F(Api, OutOfMemory) {
#ifdef TARN_SANITIZED
  GTEST_SKIP() << "AddressSanitizer aborts on such a request";
#else
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  d.mdc = 1;
  tarn_decoder* dec = nullptr;
  const tarn_status status = tarn_decoder_create(&d, 65528, 65528, &dec);
  if (status == TARN_OK) {
    tarn_decoder_free(dec);
    GTEST_SKIP() << "this system grants 64 GiB";
  }
  EXPECT_EQ(status, TARN_ERR_OUT_OF_MEMORY);
#endif
}

TEST_F(Api, MemoryQueriesCoverTheObjects) {
  tarn_encode_options eo;
  tarn_encode_options_init(&eo);
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  const uint64_t encode = tarn_encode_memory(512, 512, &eo);
  EXPECT_GT(encode, 5u * 512 * 512);  // the plane (which holds the coefficients too) and the payload
  eo.mdc = 1;
  EXPECT_GT(tarn_encode_memory(512, 512, &eo), encode);
  const uint64_t decode = tarn_decode_memory(256, 256, &d);
  EXPECT_GT(decode, 4u * 256 * 256);
  d.mdc = 1;
  EXPECT_GT(tarn_decode_memory(256, 256, &d), decode + 16u * 256 * 256);
}
