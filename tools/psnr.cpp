// psnr a.pgm b.pgm: mean squared error and peak signal-to-noise ratio (peak
// 255) of two binary PGM images of the same size.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {
struct Image {
  long iWidth = 0;
  long iHeight = 0;
  std::vector<unsigned char> vPixels;
};

// Skips blanks and "#" comments up to the next header token.
void SkipToToken(std::istream& in) {
  for (;;) {
    int c = in.peek();
    if (c == '#') {
      std::string comment;
      std::getline(in, comment);
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      in.get();
    } else {
      return;
    }
  }
}

bool ReadImage(const char* pcName, Image* pImage) {
  std::ifstream in(pcName, std::ios::binary);
  std::string magic;
  long iMaxval = 0;
  in >> magic;
  SkipToToken(in);
  in >> pImage->iWidth;
  SkipToToken(in);
  in >> pImage->iHeight;
  SkipToToken(in);
  in >> iMaxval;
  in.get();  // the single blank that ends the header
  if (!in || magic != "P5" || pImage->iWidth <= 0 || pImage->iHeight <= 0 ||
      pImage->iWidth > 65535 || pImage->iHeight > 65535 || iMaxval < 1 || iMaxval > 255)
    return false;
  pImage->vPixels.resize(static_cast<std::size_t>(pImage->iWidth) * pImage->iHeight);
  in.read(reinterpret_cast<char*>(pImage->vPixels.data()),
          static_cast<std::streamsize>(pImage->vPixels.size()));
  return static_cast<std::size_t>(in.gcount()) == pImage->vPixels.size();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cout << "Usage: " << argv[0] << " a.pgm b.pgm" << std::endl;
    return 1;
  }
  Image a, b;
  for (int k = 1; k <= 2; ++k) {
    if (!ReadImage(argv[k], k == 1 ? &a : &b)) {
      std::cout << "Can't read pgm file " << argv[k] << std::endl;
      return 2;
    }
  }
  if (a.iWidth != b.iWidth || a.iHeight != b.iHeight) {
    std::cout << "Image sizes differ: " << a.iWidth << "x" << a.iHeight << " and " << b.iWidth
              << "x" << b.iHeight << std::endl;
    return 3;
  }
  double fSum = 0;
  for (std::size_t i = 0; i < a.vPixels.size(); ++i) {
    double d = double(a.vPixels[i]) - b.vPixels[i];
    fSum += d * d;
  }
  double fMse = fSum / double(a.vPixels.size());
  std::cout << "MSE: " << fMse << std::endl;
  std::cout << "PSNR: " << 10 * std::log10(255.0 * 255.0 / fMse) << " dB" << std::endl;
  return 0;
}
