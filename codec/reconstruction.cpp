// The decoder's last stage: loss simulation, concealment, the post-filter
// grid and the conversion to bytes.
#include "block_codec.h"

namespace tarn {

namespace {
// Thresholds 1.0 and 254.0, truncating in between; NaN (from a stream whose
// q is not finite) goes to 0 rather than into an undefined conversion.
unsigned char ToByte(float x) {
  if (!(x >= 1.0f)) return 0;
  if (x > 254.0f) return 255;
  return static_cast<unsigned char>(x);
}
}  // namespace

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
  for (std::uint32_t y = 0; y < m_iHeight; ++y) {
    const float* pfRow = _d[y];
    unsigned char* pcRow = pcOut + y * iStride;
    for (std::uint32_t x = 0; x < m_iWidth; ++x) pcRow[x] = ToByte(pfRow[x]);
  }
}

void CBlockDecoder::PostFilter(int iType, const float* pfPostFilter) {
  for (std::uint32_t y = 4; y + 8 < m_iHeight; y += 8)
    for (std::uint32_t x = 0; x < m_iWidth; ++x)
      Filter8(_d[y] + x, m_aiVerOffset, false, iType, pfPostFilter);
  for (std::uint32_t x = 4; x + 8 < m_iWidth; x += 8)
    for (std::uint32_t y = 0; y < m_iHeight; ++y)
      Filter8(_d[y] + x, m_aiHorOffset, false, iType, pfPostFilter);
}

}  // namespace tarn
