// The decoder's side of training: an image coded at one q, and what the
// decoder's reconstruction shows of it through the diagnostics of the
// decode API (the plane before the post-filter, the loss mask).
#pragma once

#include <cstdint>
#include <vector>

#include "tarn/tarn.h"
#include "training_images.h"

// A plane of samples, row-major, in double for the fits.
struct Plane {
  std::uint32_t width = 0, height = 0;
  std::vector<double> values;
  double At(std::uint32_t y, std::uint32_t x) const { return values[std::size_t(y) * width + x]; }
};

// What one decode showed: the plane after concealment and before the
// post-filter (empty when the decoder gave none: loss pattern 5, or a
// concealment that found no neighbour), the loss mask (one byte per block)
// and the output pixels.
struct DecodedView {
  Plane beforePost;
  std::uint32_t blocksX = 0, blocksY = 0;
  std::vector<unsigned char> lostMask;
  std::vector<unsigned char> pixels;
};

// Encodes the image at q with the filter set into *pvStream.
tarn_status EncodeTraining(const TrainingImage& image, float q, const tarn_filters* pFilters,
                           std::vector<unsigned char>* pvStream);

// Decodes a stream with the filter set and the loss settings into *pView.
tarn_status DecodeTraining(const std::vector<unsigned char>& vStream, const tarn_filters* pFilters,
                           const tarn_loss& loss, DecodedView* pView);

// Mean squared error of the decoder's plain averaging on a plane: every
// block with four neighbours predicted by their mean, as the concealment
// without Wiener filters fills an isolated lost block.
double AveragingError(const Plane& plane);
