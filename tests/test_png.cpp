#include "test_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <stdexcept>

namespace {
void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
void Flush(png_structp) {}

struct Input {
  const std::vector<unsigned char>* bytes;
  std::size_t pos;
};
void Take(png_structp png, png_bytep data, png_size_t size) {
  auto* in = static_cast<Input*>(png_get_io_ptr(png));
  if (size > in->bytes->size() - in->pos) png_error(png, "short");
  std::memcpy(data, in->bytes->data() + in->pos, size);
  in->pos += size;
}

int Channels(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// One row of samples, packed as the depth has it (big-endian 16-bit values,
// several sub-byte values to a byte, high bits first).
std::vector<unsigned char> PackRow(const PngLayout& layout, int y) {
  const int channels = Channels(layout.colourType);
  const int maxValue = (1 << layout.depth) - 1;
  std::vector<unsigned char> row((static_cast<std::size_t>(layout.width) * channels * layout.depth + 7) / 8, 0);
  std::size_t bit = 0;
  for (int x = 0; x < layout.width; ++x)
    for (int c = 0; c < channels; ++c, bit += layout.depth) {
      const int value = layout.pixels[static_cast<std::size_t>(y) * layout.width + x] & maxValue;
      if (layout.depth == 16) {
        row[bit / 8] = static_cast<unsigned char>(value >> 8);
        row[bit / 8 + 1] = static_cast<unsigned char>(value);
      } else {
        row[bit / 8] |= static_cast<unsigned char>(value << (8 - layout.depth - bit % 8));
      }
    }
  return row;
}
}  // namespace

namespace {
// The libpng calls, in functions that hold no objects with destructors for
// the error jump to skip.
bool WritePng(png_structp png, png_infop info, const PngLayout& layout, png_bytepp rows, png_colorp palette,
              png_textp text, std::vector<unsigned char>* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, Append, Flush);
  png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colourType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (layout.colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 256);
  png_color_16 transparent = {};
  if (layout.transparent) png_set_tRNS(png, info, nullptr, 0, &transparent);
  if (layout.text) png_set_text(png, info, text, 1);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

bool ReadInfo(png_structp png, png_infop info, Input* in) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, in, Take);
  png_read_info(png, info);
  return true;
}

bool ReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}
}  // namespace

std::vector<unsigned char> PngBytes(const PngLayout& layout) {
  std::vector<std::vector<unsigned char>> rows;
  for (int y = 0; y < layout.height; ++y) rows.push_back(PackRow(layout, y));
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  std::vector<png_color> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {png_byte(i), png_byte(i), png_byte(i)};
  png_text text = {};
  text.compression = PNG_TEXT_COMPRESSION_NONE;
  text.key = const_cast<char*>("Comment");
  text.text = const_cast<char*>("made by the tests");
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const bool written = WritePng(png, info, layout, pointers.data(), palette.data(), &text, &out);
  png_destroy_write_struct(&png, &info);
  if (!written) throw std::runtime_error("libpng failed to write");
  return out;
}

std::vector<unsigned char> PngOf(const PgmImage& image) {
  PngLayout layout;
  layout.width = image.width;
  layout.height = image.height;
  layout.pixels = image.pixels;
  return PngBytes(layout);
}

PgmImage DecodePng(const std::vector<unsigned char>& bytes) {
  Input in{&bytes, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PgmImage image;
  std::vector<png_bytep> rows;
  bool read = ReadInfo(png, info, &in) && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY &&
              png_get_bit_depth(png, info) == 8;
  if (read) {
    image.width = static_cast<int>(png_get_image_width(png, info));
    image.height = static_cast<int>(png_get_image_height(png, info));
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) rows.push_back(&image.pixels[static_cast<std::size_t>(y) * image.width]);
    read = ReadRows(png, rows.data());
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (!read) throw std::runtime_error("not an 8-bit grey PNG");
  return image;
}

std::size_t ChunkOffset(const std::vector<unsigned char>& png, const std::string& type) {
  for (std::size_t pos = 8; pos + 8 <= png.size();) {
    const std::size_t length = std::size_t(png[pos]) << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 | png[pos + 3];
    if (std::memcmp(&png[pos + 4], type.data(), 4) == 0) return pos;
    pos += 12 + length;
  }
  return std::string::npos;
}
