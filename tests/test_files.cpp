#include "test_files.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "line_filters.h"

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

PgmImage ReadPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  PgmImage image;
  int maxval = 0;
  in >> magic >> image.width >> image.height >> maxval;
  in.get();
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  in.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  if (magic != "P5" || !in) throw std::runtime_error("bad pgm " + path);
  return image;
}

void WritePgm(const std::string& path, const PgmImage& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P5\n" << image.width << " " << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
}

std::string ImagePath(const std::string& name) { return std::string(TARN_IMAGES_DIR) + "/" + name; }

void AppendInt32(std::vector<unsigned char>& bytes, std::int32_t value) {
  std::uint32_t u = static_cast<std::uint32_t>(value);
  for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<unsigned char>(u >> (8 * k)));
}

void AppendFloat(std::vector<unsigned char>& bytes, float value) {
  std::int32_t bits;
  std::memcpy(&bits, &value, 4);
  AppendInt32(bytes, bits);
}

namespace {
void AppendFloats(std::vector<unsigned char>& bytes, const std::vector<float>& values, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) AppendFloat(bytes, k < values.size() ? values[k] : 0.0f);
}
}  // namespace

std::vector<unsigned char> FilterFileBytes(const FilterFile& file) {
  std::vector<unsigned char> bytes;
  AppendInt32(bytes, file.size);
  AppendFloats(bytes, file.pre, 64);
  AppendFloats(bytes, file.post, 64);
  if (!file.hasLossField) return bytes;
  AppendInt32(bytes, file.lossSize);
  if (file.lossSize == 8 || file.lossSize == 16)
    AppendFloats(bytes, file.loss, static_cast<std::size_t>(file.lossSize) * file.lossSize);
  if (!file.hasDctField) return bytes;
  AppendInt32(bytes, file.dctSize);
  if (file.dctSize == 8) AppendFloats(bytes, file.dct, 128);
  if (!file.hasBoundaryField) return bytes;
  AppendInt32(bytes, file.boundaryFlag);
  if (file.boundaryFlag != 0) AppendFloats(bytes, file.boundary, 64);
  return bytes;
}

void WriteFilterFile(const std::string& path, const FilterFile& file) {
  WriteFileBytes(path, FilterFileBytes(file));
}

std::vector<float> Identity(int n) {
  std::vector<float> m(static_cast<std::size_t>(n) * n, 0.0f);
  for (int i = 0; i < n; ++i) m[static_cast<std::size_t>(i) * n + i] = 1.0f;
  return m;
}

std::vector<float> BuiltInFilterMatrix(int type, bool pre) {
  static const int kOffsets[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  std::vector<float> m(64);
  for (int j = 0; j < 8; ++j) {
    float line[8] = {};
    line[j] = 1.0f;
    FilterLine8(line, kOffsets, pre, type, nullptr);
    for (int i = 0; i < 8; ++i) m[static_cast<std::size_t>(i) * 8 + j] = line[i];
  }
  return m;
}
