// Pre/post-filter kernels on one line of samples across a block boundary:
// sample k of the line is p[piOffsets[k]]. Built-in types 0, 1 and 5 are a
// butterfly with a lifting stage that the post-filter inverts step by step;
// type -1 is an 8 x 8 matrix (row stride 16); any other type has no lifting
// stage and so leaves the line as it is, up to the butterflies' rounding.
#pragma once

namespace tarn {

// The constants of the built-in lifting stages.
struct LiftingConstants {
  float s[4];  // scale factors of z4..z7
  float l[6];  // lifting factors l1..l6
};
inline constexpr LiftingConstants kType1 = {{1.461f, 1.2988f, 1.0572f, 1.5046f},
                                            {0.8621f, 0.6179f, 0.9645f, 1.1483f, 0.0238f, 0.5883f}};
inline constexpr LiftingConstants kType5 = {{1.4047f, 1.1118f, 1.1222f, 1.2483f},
                                            {0.1551f, 0.3903f, 0.3702f, 0.5824f, 0.395f, 0.7759f}};
inline constexpr float kType0Scale[4] = {1.4f, 1.12f, 1.14f, 1.19f};

void FilterLine8(float* p, const int* piOffsets, bool bPre, int iType, const float* pfMatrix);
// y = M x over N = 8 or 16 samples, accumulated in single precision.
void FilterLineMatrix(float* p, const int* piOffsets, const float* pfMatrix, int iSize);

}  // namespace tarn
