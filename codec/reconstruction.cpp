// The decoder's last stage: loss simulation, concealment, the post-filter
// grid and the conversion to bytes.
#include "block_codec.h"
#include "parallel.h"

namespace tarn {

void CBlockDecoder::Reconstruct(unsigned char* pcOut, std::size_t iStride, const FilterBank& filters,
                                const LossSettings& loss) {
  m_iBoundaryLoss = loss.iBoundaryLoss;
  SimulateLoss(loss.iConfig);
  ConcealLostBlocks(loss.iConfig, loss.iReuseEstData, filters);
  const int iType = filters.m_iType;
  if (loss.iConfig == 0 || filters.m_iLossPostFilterSize == 0)
    PostFilter(iType, filters.m_afPostFilter);
  else if (filters.m_iLossPostFilterSize == 8)
    PostFilterNonPr(iType, loss.iSwitch2DPost, filters.m_afPostFilter, filters.m_afLossPostFilter);
  else
    PostFilterWiener16(iType, filters.m_afPostFilter, filters.m_afLossPostFilter);
  ParallelRanges(m_iThreads, static_cast<int>(m_iHeight), kBandRows, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) m_pKernels->pfnToBytes(_d[y], pcOut + y * iStride, m_iWidth);
  });
}

// The inverse of the encoder's pre-filter: horizontal boundaries first
// (boundary k's lines are the columns over rows 8 k + 4 to 8 k + 11), then
// vertical ones (their lines are the rows). The lines of one stage never
// overlap, so each stage runs over bands in any order.
void CBlockDecoder::PostFilter(int iType, const float* pfPostFilter) {
  const int iWidth = static_cast<int>(m_iWidth);
  ParallelRanges(m_iThreads, static_cast<int>(m_iBlocksY) - 1, kBandRows / 8, [&](int k0, int k1) {
    for (int k = k0; k < k1; ++k)
      m_pKernels->pfnFilterLines8(_d[8 * k + 4], 1, m_iWidth, iWidth, false, iType, pfPostFilter);
  });
  ParallelRanges(m_iThreads, static_cast<int>(m_iHeight), kBandRows, [&](int y0, int y1) {
    for (int x = 4; x + 8 < iWidth; x += 8)
      m_pKernels->pfnFilterLines8(_d[y0] + x, m_iWidth, 1, y1 - y0, false, iType, pfPostFilter);
  });
}

}  // namespace tarn
