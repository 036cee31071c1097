// The encoder's transform stage: load, pre-filter across every interior
// block boundary (vertical boundaries over the whole image first, then
// horizontal ones), then a DCT of every block. The image border is not
// filtered and filtered values are not clipped. The lines of one stage
// never overlap, so each stage runs over bands of the plane in any order,
// on as many threads as the object may use.
#include <algorithm>

#include "block_codec.h"
#include "parallel.h"

namespace tarn {

void CBlockEncoder::ForwardTransform(const unsigned char* pcPixels, std::size_t iStride, int iType,
                                     const float* pfMatrix) {
  const int iWidth = static_cast<int>(m_iWidth), iHeight = static_cast<int>(m_iHeight);
  // A vertical boundary's lines are the rows, 8 samples starting 4 before
  // the boundary.
  ParallelRanges(m_iThreads, iHeight, kBandRows, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const unsigned char* pcRow = pcPixels + y * iStride;
      std::copy(pcRow, pcRow + m_iWidth, _d[y]);
    }
    for (int x = 4; x + 8 < iWidth; x += 8)
      m_pKernels->pfnFilterLines8(_d[y0] + x, m_iWidth, 1, y1 - y0, true, iType, pfMatrix);
  });
  // A horizontal boundary's lines are the columns, over rows 8 k + 4 to
  // 8 k + 11 for boundary k.
  ParallelRanges(m_iThreads, static_cast<int>(m_iBlocksY) - 1, kBandRows / 8, [&](int k0, int k1) {
    for (int k = k0; k < k1; ++k)
      m_pKernels->pfnFilterLines8(_d[8 * k + 4], 1, m_iWidth, iWidth, true, iType, pfMatrix);
  });
  ParallelRanges(m_iThreads, static_cast<int>(m_iBlocksY), kBandRows / 8, [&](int by0, int by1) {
    float* apfRows[8];
    for (int by = by0; by < by1; ++by)
      for (int bx = 0; bx < static_cast<int>(m_iBlocksX); ++bx) {
        GetBlockRows(bx, by, apfRows);
        m_pKernels->pfnForwardDct(apfRows);
      }
  });
}

}  // namespace tarn
