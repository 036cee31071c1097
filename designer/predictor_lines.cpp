#include "predictor_lines.h"

namespace {

// Line i of block (r, c): row i (direction 0, left to right) or column i
// (direction 1, top to bottom).
Eigen::VectorXd BlockLine(const Plane& plane, int r, int c, int iDirection, int i) {
  Eigen::VectorXd v(8);
  for (int k = 0; k < 8; ++k)
    v[k] = iDirection == 0 ? plane.At(std::uint32_t(8 * r + i), std::uint32_t(8 * c + k))
                           : plane.At(std::uint32_t(8 * r + k), std::uint32_t(8 * c + i));
  return v;
}

Eigen::VectorXd Joined(const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
  Eigen::VectorXd v(a.size() + b.size());
  v << a, b;
  return v;
}

// Calls f(line, before, after) for every line of every block with a
// neighbour on both sides along a direction (a missing neighbour is an
// empty vector when bOneSided lets such blocks in).
template <typename F>
void ForEachLine(const Plane& plane, bool bOneSided, F f) {
  const int iBlocksX = int(plane.width / 8), iBlocksY = int(plane.height / 8);
  for (int iDirection = 0; iDirection < 2; ++iDirection)
    for (int r = 0; r < iBlocksY; ++r)
      for (int c = 0; c < iBlocksX; ++c) {
        const int rBefore = iDirection == 0 ? r : r - 1, cBefore = iDirection == 0 ? c - 1 : c;
        const int rAfter = iDirection == 0 ? r : r + 1, cAfter = iDirection == 0 ? c + 1 : c;
        const bool bBefore = rBefore >= 0 && cBefore >= 0;
        const bool bAfter = rAfter < iBlocksY && cAfter < iBlocksX;
        if (!(bBefore && bAfter) && !(bOneSided && (bBefore || bAfter))) continue;
        for (int i = 0; i < 8; ++i)
          f(BlockLine(plane, r, c, iDirection, i),
            bBefore ? BlockLine(plane, rBefore, cBefore, iDirection, i) : Eigen::VectorXd(),
            bAfter ? BlockLine(plane, rAfter, cAfter, iDirection, i) : Eigen::VectorXd());
      }
}

}  // namespace

void AddTwoNeighbourLines(const Plane& plane, NormalEquations* pEquations) {
  ForEachLine(plane, false,
              [&](const Eigen::VectorXd& y, const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
                pEquations->Add(Joined(a, b), y);
                pEquations->Add(Joined(b.reverse(), a.reverse()), y.reverse());
              });
}

void AddOneNeighbourLines(const Plane& plane, NormalEquations* pEquations) {
  ForEachLine(plane, true, [&](const Eigen::VectorXd& y, const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
    if (a.size() > 0) pEquations->Add(a, y);
    if (b.size() > 0) pEquations->Add(b.reverse(), y.reverse());
  });
}

Eigen::MatrixXd TwoNeighbourAveraging() {
  Eigen::MatrixXd W(8, 16);
  W << 0.5 * Eigen::MatrixXd::Identity(8, 8), 0.5 * Eigen::MatrixXd::Identity(8, 8);
  return W;
}

Eigen::MatrixXd OneNeighbourAveraging() { return Eigen::MatrixXd::Identity(8, 8); }
