// The encoder's transform stage: load, pre-filter across every interior
// block boundary (vertical boundaries over the whole image first, then
// horizontal ones), then a DCT of every block. The image border is not
// filtered and filtered values are not clipped.
#include <algorithm>

#include "block_codec.h"
#include "dct.h"

namespace tarn {

void CBlockEncoder::ForwardTransform(const unsigned char* pcPixels, std::size_t iStride, int iType,
                                     const float* pfMatrix) {
  for (std::uint32_t y = 0; y < m_iHeight; ++y) {
    const unsigned char* pcRow = pcPixels + y * iStride;
    std::copy(pcRow, pcRow + m_iWidth, _d[y]);
  }
  // A boundary's lines: every row (or column) of the image, 8 samples
  // starting 4 before the boundary.
  const int iWidth = static_cast<int>(m_iWidth), iHeight = static_cast<int>(m_iHeight);
  for (std::uint32_t x = 4; x + 8 < m_iWidth; x += 8)
    m_pKernels->pfnFilterLines8(_d[0] + x, m_iWidth, 1, iHeight, true, iType, pfMatrix);
  for (std::uint32_t y = 4; y + 8 < m_iHeight; y += 8)
    m_pKernels->pfnFilterLines8(_d[y], 1, m_iWidth, iWidth, true, iType, pfMatrix);
  for (std::uint32_t by = 0; by < m_iBlocksY; ++by)
    for (std::uint32_t bx = 0; bx < m_iBlocksX; ++bx) {
      SetBlock(static_cast<int>(bx), static_cast<int>(by));
      m_pKernels->pfnForwardDct(m_apfBlock);
    }
}

}  // namespace tarn
