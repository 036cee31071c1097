// The public API's image files and filter sets: what the programs do not
// show on their own (headers that arrive in pieces, the tolerant PGM
// reader, the writers, what a failed filter load still tells).
#include <cstring>
#include <limits>

#include "api_support.h"

namespace {
std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

tarn_status Parse(const std::string& text, int32_t complete, int32_t rules, uint32_t* w, uint32_t* h,
                  size_t* header) {
  return tarn_pgm_parse_header(text.data(), text.size(), complete, rules, w, h, header);
}
}  // namespace

// A header that may go on asks for more until it is complete; the answer
// is then the one the whole data gives.
TEST(ApiFiles, PgmHeaderInPieces) {
  const std::string header = "#a\nP5\n#b\n32 16\n#c\n255\n";
  uint32_t w = 0, h = 0;
  size_t size = 0;
  for (std::size_t n = 0; n < header.size(); ++n)
    EXPECT_EQ(Parse(header.substr(0, n), 0, TARN_PGM_ENCODER, &w, &h, &size), TARN_ERR_NEED_MORE_DATA) << n;
  EXPECT_EQ(Parse(header, 0, TARN_PGM_ENCODER, &w, &h, &size), TARN_OK);
  EXPECT_EQ(size, header.size());
  EXPECT_EQ(w, 32u);
  EXPECT_EQ(h, 16u);
  // A wrong magic is known at once, whatever follows.
  EXPECT_EQ(Parse("P6\n", 0, TARN_PGM_ENCODER, &w, &h, &size), TARN_ERR_PGM_MAGIC);
  // The encoder's rules: 99 characters a line, then the stream fails.
  const std::string longLine = "P5" + std::string(97, ' ') + "\n16 16\n255\n";
  EXPECT_EQ(Parse(longLine, 1, TARN_PGM_ENCODER, &w, &h, &size), TARN_OK);
  EXPECT_EQ(Parse("P5 " + longLine, 1, TARN_PGM_ENCODER, &w, &h, &size), TARN_ERR_PGM_FORMAT);
}

// The tolerant reader takes any size and blanks and comments anywhere.
TEST(ApiFiles, AnyPgm) {
  const std::string text = "P5 # comment\n 3\t5 # and another\n 200\n";
  std::vector<unsigned char> bytes = Bytes(text);
  for (int i = 0; i < 15; ++i) bytes.push_back(static_cast<unsigned char>(i));
  tarn_image image;
  ASSERT_EQ(tarn_pgm_read(bytes.data(), bytes.size(), TARN_PGM_ANY, &image), TARN_OK);
  EXPECT_EQ(image.width, 3u);
  EXPECT_EQ(image.height, 5u);
  EXPECT_EQ(image.pixels[14], 14);
  tarn_free(image.pixels);
  bytes.pop_back();
  EXPECT_EQ(tarn_pgm_read(bytes.data(), bytes.size(), TARN_PGM_ANY, &image), TARN_ERR_TRUNCATED_INPUT);
  EXPECT_EQ(image.pixels, nullptr);
  // The encoder's rules refuse what is no multiple of 16.
  EXPECT_EQ(tarn_pgm_read(bytes.data(), bytes.size(), TARN_PGM_ENCODER, &image), TARN_ERR_PGM_FORMAT);
  for (const char* bad : {"P5 3 5 0\n", "P5 3 5 256\n", "P5 0 5 255\n", "P2 3 5 255\n", "P5 3 5 255"}) {
    const std::vector<unsigned char> b = Bytes(bad);
    EXPECT_NE(tarn_pgm_read(b.data(), b.size(), TARN_PGM_ANY, &image), TARN_OK) << bad;
  }
}

TEST(ApiFiles, PgmAndRawPlaneWritersReadBack) {
  std::vector<unsigned char> pixels(40 * 16);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 3);
  char text[32];
  EXPECT_EQ(tarn_pgm_header(512, 512, text), 15u);
  EXPECT_EQ(std::string(text), "P5\n512 512\n255\n");
  uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(tarn_pgm_write(pixels.data(), 32, 16, 40, &data, &size), TARN_OK);  // a stride of 40
  tarn_image image;
  ASSERT_EQ(tarn_pgm_read(data, size, TARN_PGM_ENCODER, &image), TARN_OK);
  tarn_free(data);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(std::memcmp(image.pixels + 32 * y, &pixels[40 * y], 32), 0);
  tarn_free(image.pixels);

  std::vector<float> values(16 * 8);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = -0.5f * static_cast<float>(i);
  ASSERT_EQ(tarn_raw_plane_write(values.data(), 16, 8, &data, &size), TARN_OK);
  EXPECT_EQ(size, 8 + 4 * values.size());
  tarn_plane plane;
  ASSERT_EQ(tarn_raw_plane_read(data, size, 0, &plane), TARN_OK);
  EXPECT_EQ(std::vector<float>(plane.values, plane.values + values.size()), values);
  tarn_free(plane.values);
  // With MDC the height of 8 is no whole description block.
  EXPECT_EQ(tarn_raw_plane_read(data, size, 1, &plane), TARN_ERR_RAW_PLANE_SIZE);
  EXPECT_EQ(tarn_raw_plane_read(data, size - 1, 0, &plane), TARN_ERR_TRUNCATED_INPUT);
  EXPECT_EQ(tarn_raw_plane_read(data, 7, 0, &plane), TARN_ERR_TRUNCATED_INPUT);
  tarn_free(data);
}

// A failed load still tells what it read; a set read for an encoder has no
// post-filter and is refused for decoding.
TEST(ApiFiles, FilterSets) {
  FilterFile file;
  file.post[9] = 0.25f;
  file.lossSize = 8;
  file.loss = std::vector<float>(64, 2.0f);
  file.dctSize = 3;
  const std::vector<unsigned char> bytes = FilterFileBytes(file);
  tarn_filter_info info;
  tarn_filters* filters = nullptr;
  EXPECT_EQ(tarn_filters_load(bytes.data(), bytes.size(), TARN_FILTERS_FULL, &info, &filters),
            TARN_ERR_DCT_WIENER_SIZE);
  EXPECT_EQ(info.digit, -1);
  EXPECT_EQ(info.postfilter[9], 0.25f);
  EXPECT_EQ(info.loss_size, 8);
  EXPECT_EQ(info.loss_filter[63], 2.0f);
  EXPECT_EQ(info.dct_size, 3);
  EXPECT_FALSE(info.sections & TARN_SECTION_BOUNDARY_FLAG);

  ASSERT_EQ(tarn_filters_load(bytes.data(), bytes.size(), TARN_FILTERS_PREFILTER, &info, &filters), TARN_OK);
  tarn_decode_options d;
  tarn_decode_options_init(&d);
  d.filters = filters;
  tarn_decoder* dec = nullptr;
  EXPECT_EQ(tarn_decoder_create(&d, 16, 16, &dec), TARN_ERR_INVALID_ARGUMENT);
  tarn_filters_free(filters);

  // A pipe's reader asks how far the loader goes: field by field.
  FilterFile full;
  full.lossSize = 8;
  full.dctSize = 8;
  full.boundaryFlag = 1;
  const std::vector<unsigned char> fullBytes = FilterFileBytes(full);
  FilterFile nanPre;
  nanPre.pre[5] = std::numeric_limits<float>::quiet_NaN();
  const std::vector<unsigned char> nanBytes = FilterFileBytes(nanPre);
  struct Need {
    const std::vector<unsigned char>& bytes;
    size_t known;
    int32_t reader;
    size_t needed;
  };
  for (const Need& n : {Need{fullBytes, 0, TARN_FILTERS_FULL, 4}, Need{fullBytes, 4, TARN_FILTERS_FULL, 260},
                        Need{fullBytes, 4, TARN_FILTERS_PREFILTER, 260},
                        Need{fullBytes, 260, TARN_FILTERS_PREFILTER, 260},
                        Need{fullBytes, 516, TARN_FILTERS_FULL, 520}, Need{fullBytes, 520, TARN_FILTERS_FULL, 776},
                        Need{fullBytes, 780, TARN_FILTERS_FULL, 1292},
                        Need{fullBytes, fullBytes.size(), TARN_FILTERS_FULL, 1552},
                        Need{nanBytes, nanBytes.size(), TARN_FILTERS_FULL, 260},  // the loader stops at the NaN
                        Need{bytes, bytes.size(), TARN_FILTERS_FULL, 780}})       // at the invalid DCT size
    EXPECT_EQ(tarn_filters_needed(n.bytes.data(), n.known, n.reader), n.needed) << n.known;
  EXPECT_EQ(fullBytes.size(), 1552u);

  ASSERT_EQ(tarn_filters_builtin(3, &filters), TARN_OK);
  ASSERT_EQ(tarn_filters_get_info(filters, &info), TARN_OK);
  EXPECT_EQ(info.digit, 3);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(info.postfilter[k], k % 9 == 0 ? 1.0f : 0.0f);
  EXPECT_EQ(info.loss_size, 0);
  tarn_filters_free(filters);
  EXPECT_STREQ(tarn_version_string(), "0.1.0");
}

namespace {
// The info of a set loaded from a filter file built by the tests' own writer.
tarn_filter_info InfoOf(const FilterFile& file) {
  const std::vector<unsigned char> bytes = FilterFileBytes(file);
  tarn_filter_info info;
  tarn_filters* filters = nullptr;
  EXPECT_EQ(tarn_filters_load(bytes.data(), bytes.size(), TARN_FILTERS_FULL, &info, &filters), TARN_OK);
  tarn_filters_free(filters);
  return info;
}

std::vector<float> Ramp(std::size_t n, float step) {
  std::vector<float> v(n);
  for (std::size_t k = 0; k < n; ++k) v[k] = step * static_cast<float>(k) - 1.0f;
  return v;
}
}  // namespace

// The writer gives the file the loader reads back into the same info, and
// the same bytes as a file made field by field; sizes a file cannot hold
// are refused.
TEST(ApiFiles, FilterWriterReadsBack) {
  FilterFile plain;
  plain.pre = BuiltInFilterMatrix(0, true);
  plain.post = BuiltInFilterMatrix(0, false);
  FilterFile all = plain;
  all.lossSize = 8;
  all.loss = Ramp(64, 0.03f);
  all.dctSize = 8;
  all.dct = Ramp(128, 0.01f);
  all.boundaryFlag = 1;
  all.boundary = Ramp(64, 0.02f);
  FilterFile wide = plain;
  wide.lossSize = 16;
  wide.loss = Ramp(256, 0.005f);
  for (const FilterFile& file : {plain, all, wide}) {
    const tarn_filter_info info = InfoOf(file);
    uint8_t* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(tarn_filters_write(&info, &data, &size), TARN_OK);
    EXPECT_EQ(Take(data, size), FilterFileBytes(file)) << file.lossSize;
  }
  // A built-in set's info makes a file of its matrices.
  tarn_filters* builtin = nullptr;
  tarn_filter_info info;
  ASSERT_EQ(tarn_filters_builtin(0, &builtin), TARN_OK);
  ASSERT_EQ(tarn_filters_get_info(builtin, &info), TARN_OK);
  tarn_filters_free(builtin);
  uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(tarn_filters_write(&info, &data, &size), TARN_OK);
  EXPECT_EQ(Take(data, size), FilterFileBytes(plain));

  for (auto bad : {&tarn_filter_info::size, &tarn_filter_info::loss_size, &tarn_filter_info::dct_size}) {
    tarn_filter_info wrong = info;
    wrong.*bad = 4;
    data = reinterpret_cast<uint8_t*>(&wrong);
    EXPECT_EQ(tarn_filters_write(&wrong, &data, &size), TARN_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
  }
}
