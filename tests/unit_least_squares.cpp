// tarnfilter's least-squares fits: a predictor is recovered from lines it
// made, the rows-sum-to-1 fit is the constrained optimum, and equations
// that leave the filter free are refused.
#include <gtest/gtest.h>

#include <cstdint>

#include "least_squares.h"

namespace {
// A fixed pseudo-random sequence in [-1, 1), the same on every run.
class Sequence {
 public:
  double Next() {
    m_iState = m_iState * 6364136223846793005ull + 1442695040888963407ull;
    return double(m_iState >> 11) / double(1ull << 52) - 1.0;
  }

 private:
  std::uint64_t m_iState = 1;
};

// Equations y = W x over iCount random inputs (around a mean of 100, as
// sample values are).
NormalEquations EquationsOf(const Eigen::MatrixXd& W, int iCount, Sequence& random) {
  NormalEquations equations(int(W.cols()), int(W.rows()));
  for (int n = 0; n < iCount; ++n) {
    Eigen::VectorXd x(W.cols());
    for (Eigen::Index k = 0; k < x.size(); ++k) x[k] = 100 + 50 * random.Next();
    equations.Add(x, W * x);
  }
  return equations;
}

Eigen::MatrixXd RandomMatrix(int iRows, int iCols, Sequence& random) {
  Eigen::MatrixXd W(iRows, iCols);
  for (int i = 0; i < iRows; ++i)
    for (int j = 0; j < iCols; ++j) W(i, j) = random.Next();
  return W;
}
}  // namespace

TEST(LeastSquares, RecoversAPredictorWhoseRowsSumToOne) {
  Sequence random;
  Eigen::MatrixXd W = RandomMatrix(8, 16, random);
  for (int i = 0; i < 8; ++i) W.row(i).array() += (1 - W.row(i).sum()) / 16;
  const NormalEquations equations = EquationsOf(W, 400, random);
  Eigen::MatrixXd fitted;
  ASSERT_TRUE(FitRowsSummingToOne(equations, &fitted));
  EXPECT_LT((fitted - W).cwiseAbs().maxCoeff(), 1e-8);
  EXPECT_LT(equations.Error(fitted), 1e-10);
  ASSERT_TRUE(FitUnconstrained(equations, &fitted));
  EXPECT_LT((fitted - W).cwiseAbs().maxCoeff(), 1e-8);
}

// Lines that no predictor with rows summing to 1 makes: the fit keeps the
// constraint, and no step that keeps it lowers the error.
TEST(LeastSquares, ConstrainedFitIsTheOptimumThatKeepsRowSums) {
  Sequence random;
  const NormalEquations equations = EquationsOf(RandomMatrix(8, 8, random), 200, random);
  Eigen::MatrixXd fitted;
  ASSERT_TRUE(FitRowsSummingToOne(equations, &fitted));
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(fitted.row(i).sum(), 1.0, 1e-12);
  for (int n = 0; n < 10; ++n) {
    Eigen::MatrixXd step = RandomMatrix(8, 8, random);
    step.colwise() -= step.rowwise().mean();  // every row sums to 0
    EXPECT_GT(equations.Error(fitted + 1e-3 * step), equations.Error(fitted));
  }
}

// A flat image's lines are all the same constant: any predictor whose rows
// sum to 1 fits them, so none is chosen.
TEST(LeastSquares, RefusesUndeterminedFilters) {
  NormalEquations flat(16, 8);
  for (int n = 0; n < 100; ++n)
    flat.Add(Eigen::VectorXd::Constant(16, 128), Eigen::VectorXd::Constant(8, 128));
  Eigen::MatrixXd fitted;
  EXPECT_FALSE(FitRowsSummingToOne(flat, &fitted));
  EXPECT_FALSE(FitUnconstrained(flat, &fitted));
}
