// The lines the concealment predicts from, taken from a plane without loss:
// each line of a block (a row, or a column) with the facing lines of its
// neighbours along that direction, also mirrored (output and inputs
// reversed, neighbours swapped).
#pragma once

#include "normal_equations.h"
#include "training_planes.h"

// DCT Wiener filter W2 (8 x 16): a block's line from the lines of the
// neighbours before and after it (left and right, or upper and lower),
// inputs [before, after].
void AddTwoNeighbourLines(const Plane& plane, NormalEquations* pEquations);

// Boundary Wiener filter W1 (8 x 8): a block's line from the neighbour
// before it; a line predicted from the neighbour after it enters mirrored,
// since the decoder turns W1 by 180 degrees for that side.
void AddOneNeighbourLines(const Plane& plane, NormalEquations* pEquations);

// The plain averaging the decoder falls back on, in the same form: the mean
// of the two neighbours' lines, and the one neighbour's line itself.
Eigen::MatrixXd TwoNeighbourAveraging();
Eigen::MatrixXd OneNeighbourAveraging();
