// Training images of tarnfilter: read from a file by the first reader that
// knows its format, checked for the smallest usable size and cropped about
// the centre to whole 16 x 16 macroblocks, as the encoder needs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TrainingImage {
  std::string name;
  std::uint32_t width = 0, height = 0;  // multiples of 16
  std::vector<unsigned char> pixels;    // width x height, row-major
};

enum class ImageReadResult {
  kOk,
  kCannotOpen,     // the file cannot be opened or read
  kUnknownFormat,  // no reader knows its first bytes
  kInvalid,        // a known format, but the file is damaged or not 8-bit
  kTooSmall        // smaller than kMinTrainingSize in width or height
};

// The smallest width and height a training image may have: two macroblocks,
// so that every block has a neighbour along both directions.
constexpr std::uint32_t kMinTrainingSize = 32;

// Reads and crops one image; *pcDetail receives a short reason for
// kInvalid (and the names of the known formats for kUnknownFormat).
ImageReadResult ReadTrainingImage(const char* pcName, TrainingImage* pImage, std::string* pDetail);
