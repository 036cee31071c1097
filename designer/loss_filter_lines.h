// The lines a loss post-filter works on, from planes concealed under loss,
// with the samples it should produce there.
//
// The non-PR filter (8 x 8) replaces the post-filter in the column pass
// across the boundaries next to a lost block; the row pass that follows
// applies the ordinary post-filter, which undoes the pre-filter along rows.
// So its target is the original pre-filtered along rows: after both passes
// that gives back the original.
//
// The general Wiener filter (16 x 16) spans a lost block and both its
// boundaries in the row pass, which comes first there; the column pass that
// follows undoes the pre-filter along columns, so its target is the original
// pre-filtered along columns.
#pragma once

#include "normal_equations.h"
#include "training_planes.h"

// The image with the 8 x 8 pre-filter (row-major, output = M input) applied
// across every interior block boundary along rows (bAlongRows) or columns,
// as the encoder applies it.
Plane Prefiltered(const TrainingImage& image, const float* pfPreFilter, bool bAlongRows);

// Column segments of 8 samples across a horizontal block boundary with a
// lost block on either side (the plane's values to the target's).
void AddNonPrLines(const DecodedView& view, const Plane& target, NormalEquations* pEquations);

// Row segments of 16 samples from 4 before a lost block (one with a block
// before and after it) to 4 after it.
void AddWiener16Lines(const DecodedView& view, const Plane& target, NormalEquations* pEquations);

// What the decoder would apply there without a loss post-filter: the
// post-filter (8 x 8), or the post-filter at each of the two boundaries of
// a 16-sample segment.
Eigen::MatrixXd PostFilterMatrix(const float* pfPostFilter);
Eigen::MatrixXd PostFilterPair(const float* pfPostFilter);
