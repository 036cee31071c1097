#include "loss_filter_lines.h"

namespace {

bool IsLost(const DecodedView& view, std::uint32_t by, std::uint32_t bx) {
  return view.lostMask[std::size_t(by) * view.blocksX + bx] != 0;
}

// The samples of plane from (y, x) on, iCount of them, down a column or
// along a row.
Eigen::VectorXd Segment(const Plane& plane, std::uint32_t y, std::uint32_t x, int iCount, bool bDown) {
  Eigen::VectorXd v(iCount);
  for (int k = 0; k < iCount; ++k)
    v[k] = bDown ? plane.At(y + std::uint32_t(k), x) : plane.At(y, x + std::uint32_t(k));
  return v;
}

// A segment and its mirror image: the fit sees the scene both ways round.
void AddMirrored(NormalEquations* pEquations, const Eigen::VectorXd& x, const Eigen::VectorXd& y) {
  pEquations->Add(x, y);
  pEquations->Add(x.reverse(), y.reverse());
}

}  // namespace

Plane Prefiltered(const TrainingImage& image, const float* pfPreFilter, bool bAlongRows) {
  Plane plane;
  plane.width = image.width;
  plane.height = image.height;
  plane.values.assign(image.pixels.begin(), image.pixels.end());
  const std::uint32_t iLength = bAlongRows ? image.width : image.height;
  const std::uint32_t iLines = bAlongRows ? image.height : image.width;
  for (std::uint32_t s = 4; s + 8 < iLength; s += 8)
    for (std::uint32_t line = 0; line < iLines; ++line) {
      double afIn[8];
      auto sample = [&](int k) -> double& {
        return bAlongRows ? plane.values[std::size_t(line) * image.width + s + std::uint32_t(k)]
                          : plane.values[std::size_t(s + std::uint32_t(k)) * image.width + line];
      };
      for (int k = 0; k < 8; ++k) afIn[k] = sample(k);
      for (int i = 0; i < 8; ++i) {
        double fOut = 0;
        for (int j = 0; j < 8; ++j) fOut += double(pfPreFilter[8 * i + j]) * afIn[j];
        sample(i) = fOut;
      }
    }
  return plane;
}

void AddNonPrLines(const DecodedView& view, const Plane& target, NormalEquations* pEquations) {
  for (std::uint32_t by = 0; by + 1 < view.blocksY; ++by)
    for (std::uint32_t bx = 0; bx < view.blocksX; ++bx) {
      if (!IsLost(view, by, bx) && !IsLost(view, by + 1, bx)) continue;
      for (std::uint32_t x = 8 * bx; x < 8 * bx + 8; ++x)
        AddMirrored(pEquations, Segment(view.beforePost, 8 * by + 4, x, 8, true),
                    Segment(target, 8 * by + 4, x, 8, true));
    }
}

void AddWiener16Lines(const DecodedView& view, const Plane& target, NormalEquations* pEquations) {
  for (std::uint32_t by = 0; by < view.blocksY; ++by)
    for (std::uint32_t bx = 1; bx + 1 < view.blocksX; ++bx) {
      if (!IsLost(view, by, bx)) continue;
      for (std::uint32_t y = 8 * by; y < 8 * by + 8; ++y)
        AddMirrored(pEquations, Segment(view.beforePost, y, 8 * bx - 4, 16, false),
                    Segment(target, y, 8 * bx - 4, 16, false));
    }
}

Eigen::MatrixXd PostFilterMatrix(const float* pfPostFilter) {
  Eigen::MatrixXd M(8, 8);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) M(i, j) = pfPostFilter[8 * i + j];
  return M;
}

Eigen::MatrixXd PostFilterPair(const float* pfPostFilter) {
  Eigen::MatrixXd M = Eigen::MatrixXd::Zero(16, 16);
  M.topLeftCorner(8, 8) = PostFilterMatrix(pfPostFilter);
  M.bottomRightCorner(8, 8) = PostFilterMatrix(pfPostFilter);
  return M;
}
