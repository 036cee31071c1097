// Training images of tarnfilter: a PGM or a PNG read from a file, checked
// for the smallest usable size and cropped about the centre to whole
// 16 x 16 macroblocks, as the encoder needs them.
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
  kUnknownFormat,  // neither a PGM nor a PNG by its first bytes
  kInvalid,        // a known format, but the file is damaged or not 8-bit
  kTooSmall        // smaller than kMinTrainingSize in width or height
};

// The smallest width and height a training image may have: two macroblocks,
// so that every block has a neighbour along both directions.
constexpr std::uint32_t kMinTrainingSize = 32;

// Reads and crops one image; *pDetail receives the reader's message for
// kInvalid.
ImageReadResult ReadTrainingImage(const char* pcName, TrainingImage* pImage, std::string* pDetail);
