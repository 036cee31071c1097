// Weighted least-squares problems in normal-equation form: for equations
// y = W x (x of n inputs, y of m outputs), the sums of x x', x y' and y y',
// which hold all that a fit and its error need. Sums are taken in double in
// the order the equations come, so a run gives the same sums every time.
#pragma once

#include <Eigen/Dense>

struct NormalEquations {
  Eigen::MatrixXd xx;  // n x n
  Eigen::MatrixXd xy;  // n x m
  Eigen::MatrixXd yy;  // m x m
  double weight = 0;   // sum of the equations' weights

  NormalEquations(int iInputs, int iOutputs)
      : xx(Eigen::MatrixXd::Zero(iInputs, iInputs)),
        xy(Eigen::MatrixXd::Zero(iInputs, iOutputs)),
        yy(Eigen::MatrixXd::Zero(iOutputs, iOutputs)) {}

  void Add(const Eigen::VectorXd& x, const Eigen::VectorXd& y) {
    xx.noalias() += x * x.transpose();
    xy.noalias() += x * y.transpose();
    yy.noalias() += y * y.transpose();
    weight += 1;
  }
  // Adds another set of equations, each weighted by fWeight.
  void Add(const NormalEquations& other, double fWeight) {
    xx += fWeight * other.xx;
    xy += fWeight * other.xy;
    yy += fWeight * other.yy;
    weight += fWeight * other.weight;
  }
  // Mean squared error per output sample of the predictor W (m x n).
  double Error(const Eigen::MatrixXd& W) const {
    if (weight <= 0) return 0;
    const double fSum = (W * xx * W.transpose()).trace() - 2 * (W * xy).trace() + yy.trace();
    return fSum / (weight * double(yy.rows()));
  }
};
