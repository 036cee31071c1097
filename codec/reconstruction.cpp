// The decoder's last stage: loss simulation, concealment, the post-filter
// grid and the conversion to bytes.
#include "block_codec.h"

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
  for (std::uint32_t y = 0; y < m_iHeight; ++y) m_pKernels->pfnToBytes(_d[y], pcOut + y * iStride, m_iWidth);
}

void CBlockDecoder::PostFilter(int iType, const float* pfPostFilter) {
  const int iWidth = static_cast<int>(m_iWidth), iHeight = static_cast<int>(m_iHeight);
  for (std::uint32_t y = 4; y + 8 < m_iHeight; y += 8)
    m_pKernels->pfnFilterLines8(_d[y], 1, m_iWidth, iWidth, false, iType, pfPostFilter);
  for (std::uint32_t x = 4; x + 8 < m_iWidth; x += 8)
    m_pKernels->pfnFilterLines8(_d[0] + x, m_iWidth, 1, iHeight, false, iType, pfPostFilter);
}

}  // namespace tarn
