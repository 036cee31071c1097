// Simulated loss of blocks in the decoder's test patterns: a lost block is
// marked in the loss mask and zeroed, the mask is copied for the post-filters,
// and the damaged plane and the mask are dumped for inspection.
#include <algorithm>
#include <cstdint>

#include "block_codec.h"

namespace tarn {

namespace {
// Each attempt of the random patterns takes two draws and the state has full
// period 2^32, so attempt k + 2^31 repeats attempt k exactly: after 2^31
// attempts no further attempt can mark a new block. Stopping there changes
// no pattern; it only keeps a grid whose remaining eligible blocks are never
// drawn from spinning forever.
constexpr std::uint64_t kAttemptPeriod = std::uint64_t{1} << 31;

bool IsBorderBlock(const CBlockDecoder& dec, int r, int c) {
  return r == 0 || c == 0 || r == static_cast<int>(dec.m_iBlocksY) - 1 ||
         c == static_cast<int>(dec.m_iBlocksX) - 1;
}

bool MayLose(const CBlockDecoder& dec, int r, int c) {
  return dec.m_pcDataLossMask[r][c] == 0 && (dec.m_iBoundaryLoss != 0 || !IsBorderBlock(dec, r, c));
}

std::uint64_t CountEligibleBlocks(const CBlockDecoder& dec) {
  std::uint64_t iCount = 0;
  for (int r = 0; r < static_cast<int>(dec.m_iBlocksY); ++r)
    for (int c = 0; c < static_cast<int>(dec.m_iBlocksX); ++c) iCount += MayLose(dec, r, c);
  return iCount;
}
}  // namespace

int CBlockDecoder::DrawRandom() {
  m_iRandomState = m_iRandomState * 214013u + 2531011u;
  return static_cast<int>((m_iRandomState >> 16) & 32767u);
}

void CBlockDecoder::SimulateLoss(int iConfig) {
  switch (iConfig) {
    case 1: case 2: case 5: SimulateLatticeLoss(iConfig); break;
    case 3: case 4: case 9: SimulateLineLoss(iConfig); break;
    case 6: case 7: case 8: SimulateRandomLoss(iConfig); break;
    default: break;
  }
  const std::size_t iBlocks = std::size_t(m_iBlocksX) * m_iBlocksY;
  std::copy(m_pcDataLossMask.Data(), m_pcDataLossMask.Data() + iBlocks, m_pcDataLossMaskCopy.Data());
  ShowPlane(TARN_PLANE_LOST_DATA);
  ShowPlane(TARN_PLANE_LOST_MASK);
}

void CBlockDecoder::SimulateLatticeLoss(int iConfig) {
  MarkLatticeLost(0, 1);
  if (iConfig == 2 || iConfig == 5) MarkLatticeLost(1, 0);
  if (iConfig == 5) MarkLatticeLost(1, 1);
}

void CBlockDecoder::SimulateLineLoss(int iConfig) {
  if (iConfig == 9) {
    // Whole block rows, border columns included, whatever m_iBoundaryLoss says.
    for (int r = 1; r < static_cast<int>(m_iBlocksY) - 1; r += 4)
      for (int c = 0; c < static_cast<int>(m_iBlocksX); ++c) MarkLost(r, c);
  } else if (iConfig == 3) {
    MarkLatticeLost(1, 0);
    MarkLatticeLost(1, 1);
  } else {
    MarkLatticeLost(0, 1);
    MarkLatticeLost(1, 1);
  }
}

void CBlockDecoder::SimulateRandomLoss(int iConfig) {
  const std::uint64_t iTotal = static_cast<std::uint64_t>(m_iBlocksX) * m_iBlocksY;
  const std::uint64_t iShare = iConfig == 6 ? 10 : iConfig == 7 ? 4 : 2;
  // With border blocks spared a small image may hold fewer eligible blocks
  // than the share asks for; it then loses all of them.
  const std::uint64_t iToLose = std::min(iTotal / iShare, CountEligibleBlocks(*this));
  const int bX = static_cast<int>(m_iBlocksX), bY = static_cast<int>(m_iBlocksY);
  std::uint64_t iLost = 0;
  for (std::uint64_t iAttempt = 0; iLost < iToLose && iAttempt < kAttemptPeriod; ++iAttempt) {
    const int r = DrawRandom() % bY;
    const int c = DrawRandom() % bX;
    if (!MayLose(*this, r, c)) continue;
    MarkLost(r, c);
    ++iLost;
  }
}

void CBlockDecoder::MarkLatticeLost(int r0, int c0) {
  const int bX = static_cast<int>(m_iBlocksX), bY = static_cast<int>(m_iBlocksY);
  for (int r = r0; r < bY; r += 2) {
    if (m_iBoundaryLoss == 0 && (r == 0 || r == bY - 1)) continue;
    for (int c = c0; c < bX; c += 2) {
      if (m_iBoundaryLoss == 0 && (c == 0 || c == bX - 1)) continue;
      MarkLost(r, c);
    }
  }
}

void CBlockDecoder::MarkLost(int r, int c) {
  m_pcDataLossMask[r][c] = 1;
  ZeroBlock(r, c);
}

void CBlockDecoder::ZeroBlock(int r, int c) {
  for (int i = 0; i < 8; ++i) std::fill_n(_d[8 * r + i] + 8 * c, 8, 0.0f);
}

}  // namespace tarn
