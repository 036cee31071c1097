// Orthonormal 8 x 8 type-II DCT and its inverse, in place on eight row
// pointers (rows may lie anywhere, typically eight lines of the plane).
// Every named intermediate is a float rounded once from a double-precision
// evaluation, so results are bit-exact across builds (-ffp-contract=off).
#pragma once

namespace tarn {

void ForwardDct8x8(float* const* ppfBlock);
void InverseDct8x8(float* const* ppfBlock);

}  // namespace tarn
