// The decoder's last stage: loss simulation, concealment, the post-filter
// grid and the conversion to bytes.
#include "block_codec.h"

namespace {
// Thresholds 1.0 and 254.0, truncating in between; NaN (from a stream whose
// q is not finite) goes to 0 rather than into an undefined conversion.
unsigned char ToByte(float x) {
  if (!(x >= 1.0f)) return 0;
  if (x > 254.0f) return 255;
  return static_cast<unsigned char>(x);
}
}  // namespace

void CBlockDecoder::Reconstruct(unsigned char* pcOut, int iType, const float* pfPostFilter,
                                const float* pfLossPostFilter, const float* pfDctWiener,
                                int iLossConfig, int iReuseEstData, int iLossPostFilterSize,
                                int iSwitch2DPost, int iBoundaryLoss,
                                const float* pfBoundaryWiener,
                                const float* pfBoundaryWienerMirror) {
  m_iBoundaryLoss = iBoundaryLoss;
  SimulateLoss(iLossConfig);
  ConcealLostBlocks(iLossConfig, iReuseEstData, pfDctWiener, pfBoundaryWiener,
                    pfBoundaryWienerMirror);
  if (iLossConfig == 0 || iLossPostFilterSize == 0)
    PostFilter(iType, pfPostFilter);
  else if (iLossPostFilterSize == 8)
    PostFilterNonPr(iType, iSwitch2DPost, pfPostFilter, pfLossPostFilter);
  else
    PostFilterWiener16(iType, pfPostFilter, pfLossPostFilter);
  const std::size_t iCount = static_cast<std::size_t>(m_iWidth) * m_iHeight;
  const float* pfPlane = _d[0];
  for (std::size_t i = 0; i < iCount; ++i) pcOut[i] = ToByte(pfPlane[i]);
}

void CBlockDecoder::PostFilter(int iType, const float* pfPostFilter) {
  for (std::uint32_t y = 4; y + 8 < m_iHeight; y += 8)
    for (std::uint32_t x = 0; x < m_iWidth; ++x)
      Filter8(_d[y] + x, m_aiVerOffset, false, iType, pfPostFilter);
  for (std::uint32_t x = 4; x + 8 < m_iWidth; x += 8)
    for (std::uint32_t y = 0; y < m_iHeight; ++y)
      Filter8(_d[y] + x, m_aiHorOffset, false, iType, pfPostFilter);
}
