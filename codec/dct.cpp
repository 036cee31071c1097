#include "dct.h"

namespace tarn {

namespace {
using namespace dct_cosines;

float F(double v) { return static_cast<float>(v); }

void Forward1D(float* x, double D) {
  float s07 = F(double(x[0]) + x[7]), d07 = F(double(x[0]) - x[7]);
  float s16 = F(double(x[1]) + x[6]), d16 = F(double(x[1]) - x[6]);
  float s25 = F(double(x[2]) + x[5]), d25 = F(double(x[2]) - x[5]);
  float s34 = F(double(x[3]) + x[4]), d34 = F(double(x[3]) - x[4]);
  float e0 = F(double(s07) + s34), e3 = F(double(s07) - s34);
  float e1 = F(double(s16) + s25), e2 = F(double(s16) - s25);
  float t1 = F((double(d16) - d25) * c4), t2 = F((double(d16) + d25) * c4);
  float o0 = F(double(d34) + t1), o1 = F(double(d34) - t1);
  float o2 = F(double(d07) - t2), o3 = F(double(d07) + t2);
  x[0] = F((double(e0) + e1) * c4 / D);
  x[4] = F((double(e0) - e1) * c4 / D);
  x[2] = F((c6 * e2 + c2 * e3) / D);
  x[6] = F((c6 * e3 - c2 * e2) / D);
  x[1] = F((c7 * o0 + c1 * o3) / D);
  x[7] = F((c7 * o3 - c1 * o0) / D);
  x[5] = F((c3 * o1 + c5 * o2) / D);
  x[3] = F((c3 * o2 - c5 * o1) / D);
}

void Inverse1D(float* X, double D) {
  float p0 = F((double(X[0]) + X[4]) * c4), p1 = F((double(X[0]) - X[4]) * c4);
  float p2 = F(c6 * X[2] - c2 * X[6]), p3 = F(c2 * X[2] + c6 * X[6]);
  float a0 = F(double(p0) + p3), a3 = F(double(p0) - p3);
  float a1 = F(double(p1) + p2), a2 = F(double(p1) - p2);
  float q0 = F(c7 * X[1] - c1 * X[7]), q3 = F(c1 * X[1] + c7 * X[7]);
  float q1 = F(c3 * X[5] - c5 * X[3]), q2 = F(c5 * X[5] + c3 * X[3]);
  float b3 = F(double(q0) + q1), r = F(double(q0) - q1);
  float w = F(double(q3) - q2), b0 = F(double(q2) + q3);
  float b2 = F((double(w) - r) * c4), b1 = F((double(r) + w) * c4);
  X[0] = F((double(a0) + b0) / D);
  X[7] = F((double(a0) - b0) / D);
  X[1] = F((double(a1) + b1) / D);
  X[6] = F((double(a1) - b1) / D);
  X[2] = F((double(a2) + b2) / D);
  X[5] = F((double(a2) - b2) / D);
  X[3] = F((double(a3) + b3) / D);
  X[4] = F((double(a3) - b3) / D);
}

// The rows may be anywhere in memory, so each column is gathered into a
// local line, transformed and scattered back.
template <typename Transform>
void ColumnPass(float* const* ppfBlock, double D, Transform transform) {
  for (int c = 7; c >= 0; --c) {
    float afColumn[8];
    for (int r = 0; r < 8; ++r) afColumn[r] = ppfBlock[r][c];
    transform(afColumn, D);
    for (int r = 0; r < 8; ++r) ppfBlock[r][c] = afColumn[r];
  }
}
}  // namespace

void ForwardDct8x8(float* const* ppfBlock) {
  for (int r = 7; r >= 0; --r) Forward1D(ppfBlock[r], 1.0);
  ColumnPass(ppfBlock, 4.0, Forward1D);
}

void InverseDct8x8(float* const* ppfBlock) {
  ColumnPass(ppfBlock, 1.0, Inverse1D);
  for (int r = 7; r >= 0; --r) Inverse1D(ppfBlock[r], 4.0);
}

}  // namespace tarn
