// Orthonormal 8 x 8 type-II DCT and its inverse, in place on eight row
// pointers (rows may lie anywhere, typically eight lines of the plane).
// Every named intermediate is a float rounded once from a double-precision
// evaluation, so results are bit-exact across builds (-ffp-contract=off).
#pragma once

namespace tarn {

// The cosines cos(k pi / 16), k = 1..7, as the float constants the
// transform is defined with, held in doubles for the evaluation.
namespace dct_cosines {
inline constexpr double c1 = 0.98078525f;
inline constexpr double c2 = 0.9238795f;
inline constexpr double c3 = 0.8314696f;
inline constexpr double c4 = 0.70710677f;
inline constexpr double c5 = 0.55557024f;
inline constexpr double c6 = 0.38268343f;
inline constexpr double c7 = 0.19509032f;
}  // namespace dct_cosines

void ForwardDct8x8(float* const* ppfBlock);
void InverseDct8x8(float* const* ppfBlock);

}  // namespace tarn
