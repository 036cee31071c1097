// The public API's PNG reader and writer: which PNGs are read and how,
// which are refused, and the files the writer makes.
#include <png.h>

#include "api_support.h"
#include "test_png.h"

namespace {
std::vector<unsigned char> Ramp(int width, int height) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 37 + i / 5);
  return pixels;
}

PngLayout Layout(int colourType, int depth, int width = 16, int height = 16) {
  PngLayout layout;
  layout.width = width;
  layout.height = height;
  layout.colourType = colourType;
  layout.depth = depth;
  layout.pixels = Ramp(width, height);
  return layout;
}

tarn_status Read(const std::vector<unsigned char>& bytes, int32_t rules, tarn_image* image) {
  return tarn_png_read(bytes.data(), bytes.size(), rules, image);
}
}  // namespace

// 1, 2 and 4-bit samples are scaled to 0..255 (v * 255 / (2^bits - 1));
// 8-bit ones and interlaced images read as they are.
TEST(ApiPng, GreyImagesOfEightBitsOrFewer) {
  struct Case {
    int depth;
    bool interlaced;
    int width, height;
  };
  for (Case c : {Case{1, false, 16, 16}, Case{2, false, 16, 16}, Case{4, false, 48, 32}, Case{8, false, 32, 48},
                 Case{8, true, 17, 5}}) {
    PngLayout layout = Layout(PNG_COLOR_TYPE_GRAY, c.depth, c.width, c.height);
    layout.interlaced = c.interlaced;
    const std::vector<unsigned char> bytes = PngBytes(layout);
    EXPECT_TRUE(tarn_png_has_signature(bytes.data(), bytes.size()));
    uint32_t w = 0, h = 0;
    const int32_t rules = c.width % 16 == 0 && c.height % 16 == 0 ? TARN_PGM_ENCODER : TARN_PGM_ANY;
    ASSERT_EQ(tarn_png_parse_header(bytes.data(), bytes.size(), rules, &w, &h), TARN_OK) << c.depth;
    EXPECT_EQ(w, uint32_t(c.width));
    EXPECT_EQ(h, uint32_t(c.height));
    tarn_image image;
    ASSERT_EQ(Read(bytes, rules, &image), TARN_OK) << c.depth;
    const int maxValue = (1 << c.depth) - 1;
    for (std::size_t i = 0; i < layout.pixels.size(); ++i)
      ASSERT_EQ(image.pixels[i], (layout.pixels[i] & maxValue) * 255 / maxValue) << c.depth << " at " << i;
    tarn_free(image.pixels);
  }
}

TEST(ApiPng, RefusedAndDamagedImages) {
  const std::vector<unsigned char> good = PngBytes(Layout(PNG_COLOR_TYPE_GRAY, 8));
  PngLayout transparent = Layout(PNG_COLOR_TYPE_GRAY, 8);
  transparent.transparent = true;
  std::vector<unsigned char> badCrc = good;
  badCrc[ChunkOffset(good, "IDAT") + 9] ^= 1;
  const std::vector<unsigned char> pgm = {'P', '5', ' ', '1', '6', ' ', '1', '6', ' ', '2', '5', '5', '\n'};
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    int32_t rules;
    tarn_status header;  // of tarn_png_parse_header
    tarn_status read;    // of tarn_png_read
  };
  const std::size_t idat = ChunkOffset(good, "IDAT"), iend = ChunkOffset(good, "IEND");
  auto cut = [&](std::size_t n) { return std::vector<unsigned char>(good.begin(), good.begin() + n); };
  const Case cases[] = {
      {"rgb", PngBytes(Layout(PNG_COLOR_TYPE_RGB, 8)), TARN_PGM_ANY, TARN_ERR_PNG_FORMAT, TARN_ERR_PNG_FORMAT},
      {"palette", PngBytes(Layout(PNG_COLOR_TYPE_PALETTE, 8)), TARN_PGM_ANY, TARN_ERR_PNG_FORMAT, TARN_ERR_PNG_FORMAT},
      {"grey+alpha", PngBytes(Layout(PNG_COLOR_TYPE_GRAY_ALPHA, 8)), TARN_PGM_ANY, TARN_ERR_PNG_FORMAT,
       TARN_ERR_PNG_FORMAT},
      {"tRNS", PngBytes(transparent), TARN_PGM_ANY, TARN_ERR_PNG_FORMAT, TARN_ERR_PNG_FORMAT},
      {"16-bit", PngBytes(Layout(PNG_COLOR_TYPE_GRAY, 16)), TARN_PGM_ANY, TARN_ERR_PNG_FORMAT, TARN_ERR_PNG_FORMAT},
      {"a PGM", pgm, TARN_PGM_ANY, TARN_ERR_PNG_FORMAT, TARN_ERR_PNG_FORMAT},
      {"24 x 16", PngBytes(Layout(PNG_COLOR_TYPE_GRAY, 8, 24, 16)), TARN_PGM_ENCODER, TARN_ERR_PGM_SIZE,
       TARN_ERR_PGM_SIZE},
      {"signature only", cut(8), TARN_PGM_ANY, TARN_ERR_TRUNCATED_INPUT, TARN_ERR_TRUNCATED_INPUT},
      {"in the image data", cut(idat + 20), TARN_PGM_ANY, TARN_OK, TARN_ERR_TRUNCATED_INPUT},
      {"no end chunk", cut(iend), TARN_PGM_ANY, TARN_OK, TARN_ERR_TRUNCATED_INPUT},
      {"image data checksum", badCrc, TARN_PGM_ANY, TARN_OK, TARN_ERR_PNG_FORMAT},
  };
  for (const Case& c : cases) {
    uint32_t w = 0, h = 0;
    EXPECT_EQ(tarn_png_parse_header(c.bytes.data(), c.bytes.size(), c.rules, &w, &h), c.header) << c.name;
    tarn_image image;
    EXPECT_EQ(Read(c.bytes, c.rules, &image), c.read) << c.name;
    EXPECT_EQ(image.pixels, nullptr) << c.name;
  }
  // Bytes after the end chunk are not read.
  std::vector<unsigned char> trailing = good;
  trailing.push_back('x');
  tarn_image image;
  ASSERT_EQ(Read(trailing, TARN_PGM_ENCODER, &image), TARN_OK);
  tarn_free(image.pixels);
  EXPECT_FALSE(tarn_png_has_signature(good.data(), 7));
}

// The writer's file is an 8-bit grey PNG of the rows it was given.
TEST(ApiPng, WriterMakesAGreyPng) {
  const std::vector<unsigned char> pixels = Ramp(40, 16);
  uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(tarn_png_write(pixels.data(), 24, 16, 40, &data, &size), TARN_OK);  // a stride of 40
  const std::vector<unsigned char> file = Take(data, size);
  const PgmImage decoded = DecodePng(file);
  ASSERT_EQ(decoded.width, 24);
  ASSERT_EQ(decoded.height, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(decoded.pixels[24 * y + x], pixels[40 * y + x]);
  tarn_image image;
  ASSERT_EQ(tarn_png_read(file.data(), file.size(), TARN_PGM_ANY, &image), TARN_OK);
  EXPECT_EQ(std::vector<unsigned char>(image.pixels, image.pixels + 24 * 16), decoded.pixels);
  tarn_free(image.pixels);
  for (uint32_t w : {0u, 0x80000000u})
    EXPECT_EQ(tarn_png_write(pixels.data(), w, 16, 0x80000000u, &data, &size), TARN_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(tarn_png_write(pixels.data(), 24, 16, 23, &data, &size), TARN_ERR_INVALID_ARGUMENT);
}
