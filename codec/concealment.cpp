// Concealment of lost blocks from their neighbours: edge-adaptive prediction
// with the Wiener filters where a DCT Wiener filter is given, else the mean of
// the nearest usable blocks. A block counts as usable while its loss-mask
// entry is 0; with iReuseEstData 1 a concealed block becomes usable at once.
#include <cassert>

#include "block_codec.h"
#include "filter_config.h"

namespace tarn {

namespace {
float F(double v) { return static_cast<float>(v); }

// Block offsets (column, row) by Manhattan distance 1 to 4; ring d occupies
// kRingStart[d - 1] .. kRingStart[d] - 1.
struct Offset {
  int dc, dr;
};
const Offset kRings[40] = {
    {0, -1}, {0, 1}, {-1, 0}, {1, 0},
    {0, -2}, {-1, -1}, {-2, 0}, {-1, 1}, {0, 2}, {1, 1}, {2, 0}, {1, -1},
    {0, -3}, {-1, -2}, {-2, -1}, {-3, 0}, {-2, 1}, {-1, 2}, {0, 3}, {1, 2}, {2, 1}, {3, 0},
    {2, -1}, {1, -2},
    {0, -4}, {-1, -3}, {-2, -2}, {-3, -1}, {-4, 0}, {-3, 1}, {-2, 2}, {-1, 3}, {0, 4}, {1, 3},
    {2, 2}, {3, 1}, {4, 0}, {3, -1}, {2, -2}, {1, -3}};
const int kRingStart[5] = {0, 4, 12, 24, 40};

bool IsUsable(const CBlockDecoder& dec, int r, int c) {
  return r >= 0 && c >= 0 && r < static_cast<int>(dec.m_iBlocksY) &&
         c < static_cast<int>(dec.m_iBlocksX) && dec.m_pcDataLossMask[r][c] == 0;
}

// Sets block (r, c) to the mean of the usable blocks of one ring; false when
// the ring holds none.
bool AverageRing(CBlockDecoder& dec, int r, int c, int iRing) {
  float afSum[8][8] = {};
  int n = 0;
  for (int k = kRingStart[iRing]; k < kRingStart[iRing + 1]; ++k) {
    const int rr = r + kRings[k].dr, cc = c + kRings[k].dc;
    if (!IsUsable(dec, rr, cc)) continue;
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j) afSum[i][j] = F(double(afSum[i][j]) + dec._d[8 * rr + i][8 * cc + j]);
    ++n;
  }
  if (n == 0) return false;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) dec._d[8 * r + i][8 * c + j] = F(double(afSum[i][j]) / n);
  return true;
}

// Prediction of block (r, c) along one direction into afPred; returns its
// weight: 2 two-sided, 1 one-sided, 0 none.
int PredictAlong(const CBlockDecoder& dec, float afPred[8][8], int r, int c, int iDirection,
                 const FilterBank& filters) {
  const float* pfBoundaryWiener = filters.m_afBoundaryWiener;
  const float* pfBoundaryWienerMirror = filters.m_afBoundaryWienerMirror;
  const int rBefore = iDirection == 0 ? r : r - 1, cBefore = iDirection == 0 ? c - 1 : c;
  const int rAfter = iDirection == 0 ? r : r + 1, cAfter = iDirection == 0 ? c + 1 : c;
  switch (dec.GetNeighbourAvailability(r, c, iDirection)) {
    case 3:
      dec.PredictFromTwoNeighbours(afPred, filters.m_afDctWiener, rBefore, cBefore, rAfter, cAfter, iDirection);
      return 2;
    case 2:
      if (pfBoundaryWiener[0] == kAbsentFilter) return 0;
      dec.PredictFromOneNeighbour(afPred, pfBoundaryWiener, rBefore, cBefore, iDirection);
      return 1;
    case 1:
      if (pfBoundaryWienerMirror[0] == kAbsentFilter) return 0;
      dec.PredictFromOneNeighbour(afPred, pfBoundaryWienerMirror, rAfter, cAfter, iDirection);
      return 1;
    default:
      return 0;
  }
}
}  // namespace

void CBlockDecoder::ConcealLostBlocks(int iConfig, int iReuseEstData, const FilterBank& filters) {
  if (iConfig != 5) {
    ConcealInRasterOrder(iReuseEstData, filters);
    return;
  }
  // Only blocks with even row and even column arrive: first the blocks
  // between two of them along a row, then along a column, then the rest.
  const int bX = static_cast<int>(m_iBlocksX), bY = static_cast<int>(m_iBlocksY);
  auto conceal = [&](int r, int c) {
    if (m_pcDataLossMask[r][c] != 0)
      ConcealBlock(r, c, iReuseEstData, filters);
  };
  for (int r = 0; r < bY; r += 2)
    for (int c = 1; c < bX; c += 2) conceal(r, c);
  for (int c = 0; c < bX; c += 2)
    for (int r = 1; r < bY; r += 2) conceal(r, c);
  for (int r = 1; r < bY; r += 2)
    for (int c = 1; c < bX; c += 2) conceal(r, c);
}

void CBlockDecoder::ConcealInRasterOrder(int iReuseEstData, const FilterBank& filters) {
  for (int r = 0; r < static_cast<int>(m_iBlocksY); ++r)
    for (int c = 0; c < static_cast<int>(m_iBlocksX); ++c)
      if (m_pcDataLossMask[r][c] != 0 && !ConcealBlock(r, c, iReuseEstData, filters)) return;
  ShowPlane(TARN_PLANE_BEFORE_POST);
}

// Edge-adaptive prediction needs a DCT Wiener filter; without one, or when
// it finds no usable neighbour, the block becomes the mean of the nearest
// usable ring.
bool CBlockDecoder::ConcealBlock(int r, int c, int iReuseEstData, const FilterBank& filters) {
  if (filters.m_bHasDctWiener && PredictEdgeAdaptive(r, c, iReuseEstData, filters)) return true;
  for (int iRing = 0; iRing < 4; ++iRing) {
    if (!AverageRing(*this, r, c, iRing)) continue;
    if (iReuseEstData == 1) m_pcDataLossMask[r][c] = 0;
    return true;
  }
  Warn("Warning: No valid neighbor is found for a lost block!!!");
  Warn("Need to define offsets of more neighboring blocks!!!");
  return false;
}

// y, x: block row and column.
bool CBlockDecoder::PredictEdgeAdaptive(int y, int x, int iReuseEstData, const FilterBank& filters) {
  // Only lost blocks are visited, each once, and loss simulation zeroed them.
  assert(m_pcDataLossMask[y][x] == 1);
  assert(_d[y*8][x*8] == 0);
  float afH[8][8] = {}, afV[8][8] = {};
  const int wH = PredictAlong(*this, afH, y, x, 0, filters);
  const int wV = PredictAlong(*this, afV, y, x, 1, filters);
  if (wH == 0 && wV == 0) return false;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      _d[8 * y + i][8 * x + j] = F((double(wH) * afH[i][j] + double(wV) * afV[i][j]) / (wH + wV));
  if (iReuseEstData == 1) m_pcDataLossMask[y][x] = 0;
  return true;
}

int CBlockDecoder::GetNeighbourAvailability(int r, int c, int iDirection) const {
  const bool bBefore = iDirection == 0 ? c > 0 && m_pcDataLossMask[r][c - 1] == 0
                                       : r > 0 && m_pcDataLossMask[r - 1][c] == 0;
  const bool bAfter = iDirection == 0
                          ? c < static_cast<int>(m_iBlocksX) - 1 && m_pcDataLossMask[r][c + 1] == 0
                          : r < static_cast<int>(m_iBlocksY) - 1 && m_pcDataLossMask[r + 1][c] == 0;
  return (bBefore ? 2 : 0) + (bAfter ? 1 : 0);
}

// Line i of a block runs along row i (direction 0) or down column i
// (direction 1); position j along it is afPred[i][j] or afPred[j][i].
void CBlockDecoder::PredictFromTwoNeighbours(float afPred[8][8], const float* pfFilter, int r1,
                                             int c1, int r2, int c2, int iDirection) const {
  const int* piStep = iDirection == 0 ? m_aiHorOffset : m_aiVerOffset;
  for (int i = 0; i < 8; ++i) {
    const float* a = iDirection == 0 ? _d[8 * r1 + i] + 8 * c1 : _d[8 * r1] + 8 * c1 + i;
    const float* b = iDirection == 0 ? _d[8 * r2 + i] + 8 * c2 : _d[8 * r2] + 8 * c2 + i;
    for (int j = 0; j < 8; ++j) {
      float& p = iDirection == 0 ? afPred[i][j] : afPred[j][i];
      for (int k = 0; k < 8; ++k) {
        p = F(double(pfFilter[16 * j + k]) * a[piStep[k]] + p);
        p = F(double(pfFilter[16 * j + 8 + k]) * b[piStep[k]] + p);
      }
    }
  }
}

void CBlockDecoder::PredictFromOneNeighbour(float afPred[8][8], const float* pfFilter, int r, int c,
                                            int iDirection) const {
  const int* piStep = iDirection == 0 ? m_aiHorOffset : m_aiVerOffset;
  for (int i = 0; i < 8; ++i) {
    const float* n = iDirection == 0 ? _d[8 * r + i] + 8 * c : _d[8 * r] + 8 * c + i;
    for (int j = 0; j < 8; ++j) {
      float& p = iDirection == 0 ? afPred[i][j] : afPred[j][i];
      for (int k = 0; k < 8; ++k) p = F(double(pfFilter[8 * j + k]) * n[piStep[k]] + p);
    }
  }
}

}  // namespace tarn
