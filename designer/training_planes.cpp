#include "training_planes.h"

#include <memory>

namespace {

void TakePlane(void* pUser, const tarn_diagnostic_plane* pPlane) {
  DecodedView& view = *static_cast<DecodedView*>(pUser);
  if (pPlane->kind == TARN_PLANE_LOST_MASK) {
    view.blocksX = pPlane->width;
    view.blocksY = pPlane->height;
    view.lostMask.assign(pPlane->mask, pPlane->mask + std::size_t(pPlane->width) * pPlane->height);
  } else if (pPlane->kind == TARN_PLANE_BEFORE_POST) {
    view.beforePost.width = pPlane->width;
    view.beforePost.height = pPlane->height;
    view.beforePost.values.assign(pPlane->values,
                                  pPlane->values + std::size_t(pPlane->width) * pPlane->height);
  }
}

}  // namespace

tarn_status EncodeTraining(const TrainingImage& image, float q, const tarn_filters* pFilters,
                           std::vector<unsigned char>* pvStream) {
  tarn_encode_options options;
  if (tarn_status status = tarn_encode_options_init(&options)) return status;
  options.q = q;
  options.filters = pFilters;
  tarn_encoded encoded;
  if (tarn_status status =
          tarn_encode(image.pixels.data(), image.width, image.height, image.width, &options, &encoded))
    return status;
  pvStream->assign(encoded.data, encoded.data + encoded.size);
  tarn_free(encoded.data);
  return TARN_OK;
}

tarn_status DecodeTraining(const std::vector<unsigned char>& vStream, const tarn_filters* pFilters,
                           const tarn_loss& loss, DecodedView* pView) {
  *pView = DecodedView();
  tarn_decode_options options;
  if (tarn_status status = tarn_decode_options_init(&options)) return status;
  options.filters = pFilters;
  options.loss = loss;
  options.on_plane = TakePlane;
  options.user_data = pView;
  tarn_decoded decoded;
  if (tarn_status status = tarn_decode(vStream.data(), vStream.size(), &options, &decoded)) return status;
  pView->pixels.assign(decoded.pixels, decoded.pixels + std::size_t(decoded.width) * decoded.height);
  tarn_free(decoded.pixels);
  return TARN_OK;
}

double AveragingError(const Plane& plane) {
  const std::uint32_t iBlocksX = plane.width / 8, iBlocksY = plane.height / 8;
  double fSum = 0;
  std::uint64_t iCount = 0;
  for (std::uint32_t r = 1; r + 1 < iBlocksY; ++r)
    for (std::uint32_t c = 1; c + 1 < iBlocksX; ++c)
      for (std::uint32_t i = 0; i < 8; ++i)
        for (std::uint32_t j = 0; j < 8; ++j) {
          const std::uint32_t y = 8 * r + i, x = 8 * c + j;
          const double fMean =
              (plane.At(y - 8, x) + plane.At(y + 8, x) + plane.At(y, x - 8) + plane.At(y, x + 8)) / 4;
          const double d = plane.At(y, x) - fMean;
          fSum += d * d;
          ++iCount;
        }
  return iCount > 0 ? fSum / double(iCount) : 0;
}
