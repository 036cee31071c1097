// What the fuzz targets share: a cursor over the fuzzer's bytes, and limits
// that keep one input's work within the fuzzer's time. The limits bound what
// the targets feed in (the library takes any size and any step): LCEB's time
// grows with the quantised magnitudes, which is the format's own cost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarn/tarn.h"

// Largest image a target decodes or encodes.
constexpr uint64_t kMaxFuzzPixels = 1 << 16;

class CFuzzBytes {
 public:
  CFuzzBytes(const uint8_t* pcData, size_t iSize) : m_pcData(pcData), m_iSize(iSize) {}
  // The next byte, 0 once the input is used up.
  uint8_t Byte() { return m_iPos < m_iSize ? m_pcData[m_iPos++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  // Up to iCount bytes from here on; *piTaken says how many.
  const uint8_t* Take(size_t iCount, size_t* piTaken) {
    const uint8_t* pcStart = m_pcData + m_iPos;
    *piTaken = iCount < m_iSize - m_iPos ? iCount : m_iSize - m_iPos;
    m_iPos += *piTaken;
    return pcStart;
  }
  const uint8_t* Rest(size_t* piSize) { return Take(m_iSize - m_iPos, piSize); }

 private:
  const uint8_t* m_pcData;
  size_t m_iSize;
  size_t m_iPos = 0;
};

// Reads every value of a diagnostic plane, so that a plane that is not all
// there shows under the address sanitizer.
inline void TouchPlane(void* pSum, const tarn_diagnostic_plane* pPlane) {
  const size_t iCount = size_t(pPlane->width) * pPlane->height;
  double& fSum = *static_cast<double*>(pSum);
  for (size_t i = 0; i < iCount; ++i) fSum += pPlane->values ? pPlane->values[i] : pPlane->mask[i];
}

inline void IgnoreWarning(void*, const char*) {}
