#include "training_images.h"

#include "file_io.h"
#include "tarn/tarn.h"

namespace {

// The library's reader of the file's format, told by its first bytes, or
// none: any size, and for a PGM any blanks in its header, for a PNG any
// grey depth.
using Reader = tarn_status (*)(const void*, size_t, int32_t, tarn_image*);
Reader ReaderOf(const std::vector<unsigned char>& vBytes) {
  if (tarn_png_has_signature(vBytes.data(), vBytes.size())) return tarn_png_read;
  if (vBytes.size() >= 2 && vBytes[0] == 'P' && vBytes[1] == '5') return tarn_pgm_read;
  return nullptr;
}

// Keeps the largest centred part whose sides are multiples of 16.
void CropToMacroblocks(TrainingImage* pImage) {
  const std::uint32_t iWidth = pImage->width / 16 * 16, iHeight = pImage->height / 16 * 16;
  const std::uint32_t x0 = (pImage->width - iWidth) / 2, y0 = (pImage->height - iHeight) / 2;
  std::vector<unsigned char> vCropped(std::size_t(iWidth) * iHeight);
  for (std::uint32_t y = 0; y < iHeight; ++y) {
    const unsigned char* pcRow = pImage->pixels.data() + std::size_t(y0 + y) * pImage->width + x0;
    std::copy(pcRow, pcRow + iWidth, vCropped.begin() + std::ptrdiff_t(y) * iWidth);
  }
  pImage->width = iWidth;
  pImage->height = iHeight;
  pImage->pixels.swap(vCropped);
}

}  // namespace

ImageReadResult ReadTrainingImage(const char* pcName, TrainingImage* pImage, std::string* pDetail) {
  std::vector<unsigned char> vBytes;
  if (!ReadWholeFile(pcName, &vBytes)) return ImageReadResult::kCannotOpen;
  pImage->name = pcName;
  const Reader pfnRead = ReaderOf(vBytes);
  if (pfnRead == nullptr) return ImageReadResult::kUnknownFormat;
  tarn_image image;
  if (const tarn_status status = pfnRead(vBytes.data(), vBytes.size(), TARN_PGM_ANY, &image)) {
    *pDetail = tarn_status_string(status);
    return ImageReadResult::kInvalid;
  }
  pImage->width = image.width;
  pImage->height = image.height;
  pImage->pixels.assign(image.pixels, image.pixels + std::size_t(image.width) * image.height);
  tarn_free(image.pixels);
  if (pImage->width < kMinTrainingSize || pImage->height < kMinTrainingSize) return ImageReadResult::kTooSmall;
  CropToMacroblocks(pImage);
  return ImageReadResult::kOk;
}
