// Filter sets: the filter type, the pre- and post-filter matrices and the
// decoder's optional filters for lost blocks, and the reader of filter
// configuration files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarn/tarn.h"

namespace tarn {

// Marks an absent boundary Wiener filter (element [0][0]); the concealment
// tests for this value, so a filter whose [0][0] is -100 counts as absent.
constexpr float kAbsentFilter = -100.0f;

struct FilterBank {
  int m_iType = 0;                       // -1 matrices; else the built-in digit
  float m_afPreFilter[256] = {};         // 8 x 8 in the top-left corner, stride 16
  float m_afPostFilter[256] = {};        // 8 x 8 in the top-left corner, stride 16
  float m_afLossPostFilter[256] = {};    // 8 x 8 or 16 x 16, stride 16
  int m_iLossPostFilterSize = 0;         // 0, 8 or 16
  float m_afDctWiener[128] = {};         // 8 rows of 16
  bool m_bHasDctWiener = false;
  float m_afBoundaryWiener[64] = {kAbsentFilter};        // stride 8
  float m_afBoundaryWienerMirror[64] = {kAbsentFilter};  // the above turned by 180 degrees
};

// The fields of a filter configuration file as read, for the callers that
// show them: TARN_SECTION_* flags of what was read, and the size and flag
// fields.
struct FilterFields {
  std::uint32_t iSections = 0;
  std::int32_t iSize = 0;
  std::int32_t iLossSize = 0;
  std::int32_t iDctSize = 0;
  std::int32_t iBoundaryFlag = 0;
};

// Fills bank (type -1) from the bytes of a filter configuration file: with
// bFull the whole file, else the size field and the pre-filter only. Bytes
// past the end read as zeros, so missing size fields count as 0. Returns
// TARN_OK, TARN_ERR_FILTER_SIZE (size not 8, or a NaN or an infinity in the
// pre- or post-filter), TARN_ERR_LOSS_POSTFILTER_SIZE (its size or values)
// or TARN_ERR_DCT_WIENER_SIZE (the DCT Wiener filter's size or values, or
// the boundary Wiener filter's values), checked in file order; fields tells
// what was read, also on failure.
tarn_status LoadFilterBank(const unsigned char* pcData, std::size_t iSize, bool bFull,
                           FilterBank& bank, FilterFields& fields);

// How many bytes of a file that begins with iSize bytes at pcData the
// loader reads: more than iSize while fields are still to come (the next
// field's end), else the count at which it stops.
std::size_t FilterFileBytesNeeded(const unsigned char* pcData, std::size_t iSize, bool bFull);

// A built-in filter set for a digit (the filter type itself).
FilterBank BuiltInFilterBank(int iDigit);

// The 8 x 8 matrix (row stride 8) of a built-in line filter: column j is the
// filter's response to unit vector j.
void BuiltInFilterMatrix(int iType, bool bPre, float* pfOut);

}  // namespace tarn
