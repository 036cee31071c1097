// Pre/post-filter kernels on one line of samples across a block boundary:
// sample k of the line is p[piOffsets[k]]. Built-in types 0, 1 and 5 are a
// butterfly with a lifting stage that the post-filter inverts step by step;
// type -1 is an 8 x 8 matrix (row stride 16); any other type has no lifting
// stage and so leaves the line as it is, up to the butterflies' rounding.
#pragma once

namespace tarn {

void FilterLine8(float* p, const int* piOffsets, bool bPre, int iType, const float* pfMatrix);
// y = M x over N = 8 or 16 samples, accumulated in single precision.
void FilterLineMatrix(float* p, const int* piOffsets, const float* pfMatrix, int iSize);

}  // namespace tarn
