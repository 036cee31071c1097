// MDC polyphase split and merge in units of whole 8 x 8 blocks: description
// k takes the blocks whose block-row parity is k / 2 and block-column parity
// k % 2 (any k other than 1, 2, 3 acts as 0).
#include <algorithm>

#include "block_codec.h"

namespace tarn {

namespace {
void Parities(int k, int* piRow, int* piCol) {
  if (k < 1 || k > 3) k = 0;
  *piRow = k / 2;
  *piCol = k % 2;
}
}  // namespace

void CBlockCodec::ExtractDescription(float* pfOut, int k) const {
  int rp, cp;
  Parities(k, &rp, &cp);
  const std::size_t iHalfWidth = m_iWidth / 2;
  for (std::size_t y = 0; y < m_iHeight / 2; ++y) {
    const std::size_t iSourceRow = 8 * (2 * (y / 8) + rp) + y % 8;
    for (std::size_t j = 0; j < m_iWidth / 16; ++j) {
      const float* pfSource = _d[iSourceRow] + 8 * (2 * j + cp);
      std::copy(pfSource, pfSource + 8, pfOut + y * iHalfWidth + 8 * j);
    }
  }
}

void CBlockCodec::InsertDescription(float* pfFull, int k) const {
  int rp, cp;
  Parities(k, &rp, &cp);
  const std::size_t iFullWidth = 2 * static_cast<std::size_t>(m_iWidth);
  for (std::size_t y = 0; y < m_iHeight; ++y) {
    float* pfRow = pfFull + (8 * (2 * (y / 8) + rp) + y % 8) * iFullWidth;
    for (std::size_t j = 0; j < m_iBlocksX; ++j)
      std::copy(_d[y] + 8 * j, _d[y] + 8 * j + 8, pfRow + 8 * (2 * j + cp));
  }
}

}  // namespace tarn
