// PNG files for the tests, made and read with libpng directly, apart from
// the library's own reader and writer: every kind the programs refuse or
// take, and damaged ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_files.h"

// A PNG of the given colour type (PNG_COLOR_TYPE_*) and bit depth. The
// samples are taken from pixels (width x height, one per pixel) and kept to
// the depth's range; every channel of a colour pixel gets the same value.
struct PngLayout {
  int width = 16;
  int height = 16;
  int colourType = 0;  // PNG_COLOR_TYPE_GRAY
  int depth = 8;
  bool interlaced = false;
  bool transparent = false;  // a tRNS chunk
  bool text = false;         // a tEXt chunk before the image data
  std::vector<unsigned char> pixels;
};
std::vector<unsigned char> PngBytes(const PngLayout& layout);

// An 8-bit grey PNG of a PGM image.
std::vector<unsigned char> PngOf(const PgmImage& image);

// Decodes an 8-bit grey PNG (throws for any other).
PgmImage DecodePng(const std::vector<unsigned char>& bytes);

// Offset of the first chunk of the given type ("IDAT"), or npos.
std::size_t ChunkOffset(const std::vector<unsigned char>& png, const std::string& type);
