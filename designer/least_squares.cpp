#include "least_squares.h"

namespace {

// The smallest eigenvalue a determined system may have, relative to the
// largest of its input sums: below it the data leave a direction of W free
// (a flat image, or blocks coded as their mean alone), up to rounding.
constexpr double kRankTolerance = 1e-10;

// Solves the symmetric system H z = R when H is positive definite well
// above rounding, relative to fScale.
bool SolveDetermined(const Eigen::MatrixXd& H, const Eigen::MatrixXd& R, double fScale, Eigen::MatrixXd* pZ) {
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(H, Eigen::EigenvaluesOnly);
  if (eigen.info() != Eigen::Success || !(eigen.eigenvalues().minCoeff() > kRankTolerance * fScale))
    return false;
  *pZ = H.ldlt().solve(R);
  return true;
}

double LargestEigenvalue(const Eigen::MatrixXd& A) {
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(A, Eigen::EigenvaluesOnly);
  return eigen.eigenvalues().maxCoeff();
}

}  // namespace

// Each row w of W minimises w' A w - 2 w' b subject to 1' w = 1. With w =
// 1/n + N z, where the columns of N span the vectors that sum to 0, that is
// the free problem (N' A N) z = N' (b - A 1/n); all rows share N' A N.
bool FitRowsSummingToOne(const NormalEquations& equations, Eigen::MatrixXd* pW) {
  const Eigen::Index n = equations.xx.rows();
  const Eigen::MatrixXd ones = Eigen::MatrixXd::Ones(n, 1);
  const Eigen::MatrixXd Q = Eigen::HouseholderQR<Eigen::MatrixXd>(ones).householderQ();
  const Eigen::MatrixXd N = Q.rightCols(n - 1);
  const Eigen::VectorXd mean = Eigen::VectorXd::Constant(n, 1.0 / double(n));
  const Eigen::MatrixXd H = N.transpose() * equations.xx * N;
  const Eigen::MatrixXd R =
      N.transpose() * (equations.xy - (equations.xx * mean).replicate(1, equations.xy.cols()));
  Eigen::MatrixXd Z;
  if (!SolveDetermined(H, R, LargestEigenvalue(equations.xx), &Z)) return false;
  *pW = (mean.replicate(1, Z.cols()) + N * Z).transpose();
  return true;
}

bool FitUnconstrained(const NormalEquations& equations, Eigen::MatrixXd* pW) {
  Eigen::MatrixXd Z;
  if (!SolveDetermined(equations.xx, equations.xy, LargestEigenvalue(equations.xx), &Z)) return false;
  *pW = Z.transpose();
  return true;
}

Eigen::MatrixXd Symmetrise(const Eigen::MatrixXd& W) { return 0.5 * (W + W.reverse()); }
