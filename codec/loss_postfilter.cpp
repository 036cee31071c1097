// Post-filter grids that switch filters next to lost blocks. Both read the
// loss pattern from m_pcDataLossMaskCopy, which concealment leaves alone.
#include "block_codec.h"

namespace tarn {

namespace {
bool IsLost(const CBlockDecoder& dec, int by, int bx) { return dec.m_pcDataLossMaskCopy[by][bx] != 0; }

struct Boundary16Filters {
  int iType;
  const float* pfPostFilter;
  const float* pfLossPostFilter;
};

// One boundary of PostFilterWiener16: 8 lines, line k starting at
// p + piLineStarts[k] and running along piAlong. bLost tells whether the block
// after the boundary is lost, bLast whether it is the last of its row or
// column, bCovered whether the 16-sample operation before already reached
// across this boundary. Returns whether this one reaches across the next
// boundary. (After the last block nothing reads the flag, so a lost last
// block may clear it.)
bool FilterBoundary16(const CBlockDecoder& dec, float* p, const int* piLineStarts,
                      const int* piAlong, bool bLost, bool bLast, bool bCovered,
                      const Boundary16Filters& f) {
  if (bLost && !bLast) {
    for (int k = 0; k < 8; ++k) dec.FilterMatrix16(p + piLineStarts[k], piAlong, f.pfLossPostFilter);
    return true;
  }
  if (bLost || !bCovered)
    for (int k = 0; k < 8; ++k)
      dec.Filter8(p + piLineStarts[k], piAlong, false, f.iType, f.pfPostFilter);
  return false;
}
}  // namespace

// The grid of PostFilter, walked one block-wide segment at a time so that
// each segment can take the non-PR filter when a block beside it is lost.
void CBlockDecoder::PostFilterNonPr(int iType, int iSwitch2DPost, const float* pfPostFilter,
                                    const float* pfLossPostFilter) {
  const int bX = static_cast<int>(m_iBlocksX), bY = static_cast<int>(m_iBlocksY);
  for (int by = 0; by + 1 < bY; ++by)
    for (int bx = 0; bx < bX; ++bx) {
      const bool bLoss = IsLost(*this, by, bx) || IsLost(*this, by + 1, bx);
      const float* pfMatrix = bLoss ? pfLossPostFilter : pfPostFilter;
      m_pKernels->pfnFilterLines8(_d[8 * by + 4] + 8 * bx, 1, m_iWidth, 8, false, iType, pfMatrix);
    }
  for (int by = 0; by < bY; ++by)
    for (int bx = 0; bx + 1 < bX; ++bx) {
      const bool bLoss = iSwitch2DPost != 0 && (IsLost(*this, by, bx) || IsLost(*this, by, bx + 1));
      const float* pfMatrix = bLoss ? pfLossPostFilter : pfPostFilter;
      m_pKernels->pfnFilterLines8(_d[8 * by] + 8 * bx + 4, m_iWidth, 1, 8, false, iType, pfMatrix);
    }
}

// A lost block that has a block after it is filtered together with both its
// boundaries in one 16-sample operation starting 4 samples before it; the
// boundary after it is then skipped. A lost block in the last column or row
// has no room for that and gets the regular filter at its boundary.
void CBlockDecoder::PostFilterWiener16(int iType, const float* pfPostFilter,
                                       const float* pfLossPostFilter) {
  const int bX = static_cast<int>(m_iBlocksX), bY = static_cast<int>(m_iBlocksY);
  const Boundary16Filters filters = {iType, pfPostFilter, pfLossPostFilter};
  for (int by = 0; by < bY; ++by) {
    bool bCovered = false;
    for (int bx = 1; bx < bX; ++bx)
      bCovered = FilterBoundary16(*this, _d[8 * by] + 8 * bx - 4, m_aiVerOffset, m_aiHorOffset,
                                  IsLost(*this, by, bx), bx == bX - 1, bCovered, filters);
  }
  for (int bx = 0; bx < bX; ++bx) {
    bool bCovered = false;
    for (int by = 1; by < bY; ++by)
      bCovered = FilterBoundary16(*this, _d[8 * by - 4] + 8 * bx, m_aiHorOffset, m_aiVerOffset,
                                  IsLost(*this, by, bx), by == bY - 1, bCovered, filters);
  }
}

}  // namespace tarn
