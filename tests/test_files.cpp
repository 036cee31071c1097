#include "test_files.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tarn/tarn.h"

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
  const std::vector<unsigned char> bytes = ReadFileBytes(path);
  tarn_image read;
  if (tarn_pgm_read(bytes.data(), bytes.size(), TARN_PGM_ANY, &read) != TARN_OK)
    throw std::runtime_error("bad pgm " + path);
  PgmImage image;
  image.width = static_cast<int>(read.width);
  image.height = static_cast<int>(read.height);
  image.pixels.assign(read.pixels, read.pixels + std::size_t(read.width) * read.height);
  tarn_free(read.pixels);
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
  tarn_filters* filters = nullptr;
  tarn_filter_info info;
  if (tarn_filters_builtin(type, &filters) != TARN_OK || tarn_filters_get_info(filters, &info) != TARN_OK)
    throw std::runtime_error("no built-in filter " + std::to_string(type));
  tarn_filters_free(filters);
  const float* m = pre ? info.prefilter : info.postfilter;
  return std::vector<float>(m, m + 64);
}
