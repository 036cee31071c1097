#include "training_images.h"

#include "file_io.h"
#include "tarn/tarn.h"

namespace {

// A reader of one format: whether the bytes are of its format, and the
// decoding of them into 8-bit grey samples (a status string on failure).
struct ImageReader {
  const char* pcFormat;
  bool (*pfnMatches)(const std::vector<unsigned char>& vBytes);
  bool (*pfnRead)(const std::vector<unsigned char>& vBytes, TrainingImage* pImage, std::string* pDetail);
};

bool IsPgm(const std::vector<unsigned char>& vBytes) {
  return vBytes.size() >= 2 && vBytes[0] == 'P' && vBytes[1] == '5';
}

bool IsPng(const std::vector<unsigned char>& vBytes) {
  return tarn_png_has_signature(vBytes.data(), vBytes.size()) != 0;
}

// An image of either format read with the library's reader: any size, and
// for a PGM any blanks in its header, for a PNG any grey depth.
template <tarn_status (*pfnReader)(const void*, size_t, int32_t, tarn_image*)>
bool ReadWith(const std::vector<unsigned char>& vBytes, TrainingImage* pImage, std::string* pDetail) {
  tarn_image image;
  const tarn_status status = pfnReader(vBytes.data(), vBytes.size(), TARN_PGM_ANY, &image);
  if (status != TARN_OK) {
    *pDetail = tarn_status_string(status);
    return false;
  }
  pImage->width = image.width;
  pImage->height = image.height;
  pImage->pixels.assign(image.pixels, image.pixels + std::size_t(image.width) * image.height);
  tarn_free(image.pixels);
  return true;
}

// One line per format; a new format adds its reader here.
const ImageReader kReaders[] = {{"PGM", IsPgm, ReadWith<tarn_pgm_read>}, {"PNG", IsPng, ReadWith<tarn_png_read>}};

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

std::string KnownFormats() {
  std::string formats;
  for (const ImageReader& reader : kReaders)
    formats += (formats.empty() ? "" : ", ") + std::string(reader.pcFormat);
  return formats;
}

}  // namespace

ImageReadResult ReadTrainingImage(const char* pcName, TrainingImage* pImage, std::string* pDetail) {
  std::vector<unsigned char> vBytes;
  if (!ReadWholeFile(pcName, &vBytes)) return ImageReadResult::kCannotOpen;
  pImage->name = pcName;
  for (const ImageReader& reader : kReaders) {
    if (!reader.pfnMatches(vBytes)) continue;
    if (!reader.pfnRead(vBytes, pImage, pDetail)) return ImageReadResult::kInvalid;
    if (pImage->width < kMinTrainingSize || pImage->height < kMinTrainingSize)
      return ImageReadResult::kTooSmall;
    CropToMacroblocks(pImage);
    return ImageReadResult::kOk;
  }
  *pDetail = KnownFormats();
  return ImageReadResult::kUnknownFormat;
}
