// psnr a.pgm b.pgm: mean squared error and peak signal-to-noise ratio (peak
// 255) of two images of the same size, each a binary PGM or a grey PNG.
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "tarn/tarn.h"

namespace {
// Any 8-bit binary PGM, whatever its size and the blanks of its header, or
// a grey PNG (told by its signature).
bool ReadImage(const char* pcName, tarn_image* pImage) {
  std::ifstream in(pcName, std::ios::binary);
  const std::vector<char> vBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open()) return false;
  if (tarn_png_has_signature(vBytes.data(), vBytes.size()))
    return tarn_png_read(vBytes.data(), vBytes.size(), TARN_PGM_ANY, pImage) == TARN_OK;
  return tarn_pgm_read(vBytes.data(), vBytes.size(), TARN_PGM_ANY, pImage) == TARN_OK;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cout << "Usage: " << argv[0] << " a.pgm b.pgm" << std::endl;
    return 1;
  }
  tarn_image a = {}, b = {};
  for (int k = 1; k <= 2; ++k) {
    if (!ReadImage(argv[k], k == 1 ? &a : &b)) {
      std::cout << "Can't read pgm file " << argv[k] << std::endl;
      tarn_free(a.pixels);
      return 2;
    }
  }
  int iResult = 0;
  if (a.width != b.width || a.height != b.height) {
    std::cout << "Image sizes differ: " << a.width << "x" << a.height << " and " << b.width << "x"
              << b.height << std::endl;
    iResult = 3;
  } else {
    const std::size_t iCount = std::size_t(a.width) * a.height;
    double fSum = 0;
    for (std::size_t i = 0; i < iCount; ++i) {
      const double d = double(a.pixels[i]) - b.pixels[i];
      fSum += d * d;
    }
    const double fMse = fSum / double(iCount);
    std::cout << "MSE: " << fMse << std::endl;
    std::cout << "PSNR: " << 10 * std::log10(255.0 * 255.0 / fMse) << " dB" << std::endl;
  }
  tarn_free(a.pixels);
  tarn_free(b.pixels);
  return iResult;
}
