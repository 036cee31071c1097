// Helpers shared by the tests: whole-file I/O, PGM images and filter
// configuration files with any combination of sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::vector<unsigned char> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::string& path);

struct PgmImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
};
PgmImage ReadPgm(const std::string& path);  // P5 with a plain 3-line header
void WritePgm(const std::string& path, const PgmImage& image);
std::string ImagePath(const std::string& name);  // a fixture of images/

// A filter configuration file. Sizes are written as given, so invalid ones
// can be tested; a matrix is written only when its size field says so
// (loss post-filter for 8 or 16, DCT Wiener for 8, boundary for non-zero).
struct FilterFile {
  std::int32_t size = 8;
  std::vector<float> pre = std::vector<float>(64, 0.0f);
  std::vector<float> post = std::vector<float>(64, 0.0f);
  bool hasLossField = true;  // false: the file ends after the post-filter
  std::int32_t lossSize = 0;
  std::vector<float> loss;  // lossSize x lossSize values
  bool hasDctField = true;
  std::int32_t dctSize = 0;
  std::vector<float> dct;  // 8 x 16 values
  bool hasBoundaryField = true;
  std::int32_t boundaryFlag = 0;
  std::vector<float> boundary;  // 8 x 8 values
};
std::vector<unsigned char> FilterFileBytes(const FilterFile& file);
void WriteFilterFile(const std::string& path, const FilterFile& file);

// n x n identity, row-major.
std::vector<float> Identity(int n);
// The 8 x 8 matrix of a built-in line filter, obtained by filtering unit
// vectors (column j is the filter's response to unit vector j).
std::vector<float> BuiltInFilterMatrix(int type, bool pre);

void AppendInt32(std::vector<unsigned char>& bytes, std::int32_t value);
void AppendFloat(std::vector<unsigned char>& bytes, float value);
