// The fits of tarnfilter's filters from normal equations, with Eigen.
#pragma once

#include <Eigen/Dense>

#include "normal_equations.h"

// Least squares with every row of W constrained to sum to 1, so that the
// predictor keeps a flat area flat. False when the equations do not
// determine W (the system is rank-deficient).
bool FitRowsSummingToOne(const NormalEquations& equations, Eigen::MatrixXd* pW);

// Plain least squares; false when the equations do not determine W.
bool FitUnconstrained(const NormalEquations& equations, Eigen::MatrixXd* pW);

// The mean of W and W turned by 180 degrees (W[m-1-j][n-1-k] = W[j][k]), for
// filters whose training lines came also mirrored: it keeps row sums.
Eigen::MatrixXd Symmetrise(const Eigen::MatrixXd& W);
