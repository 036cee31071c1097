// The contexts of the bit-plane coder (ECEB), read from bit masks of
// significance, one per block (CBlockCodec::m_piSignificant): a block's mask
// holds its coefficients significant in the current plane once the block
// has been coded in it, and those significant in the previous plane until
// then. That is what a significance context counts of the six neighbours:
// the four coded before in this plane (left, above left, above, above right)
// against the threshold T, the right and lower ones, not yet coded in it,
// against 2T.
#pragma once

#include <cstdint>

#include "block_codec.h"

namespace tarn {

// Bits of a zigzag index's left and upper neighbours in its block, which
// the significance context counts from index 3 on.
struct IntraNeighbours {
  std::uint64_t aiLeft[64] = {};
  std::uint64_t aiUp[64] = {};
};

constexpr IntraNeighbours MakeIntraNeighbours() {
  IntraNeighbours n;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      const int l = kRasterToZigzag[r * 8 + c];
      if (l <= 2) continue;
      if (c > 0) n.aiLeft[l] = std::uint64_t(1) << kRasterToZigzag[r * 8 + c - 1];
      if (r > 0) n.aiUp[l] = std::uint64_t(1) << kRasterToZigzag[(r - 1) * 8 + c];
    }
  return n;
}
inline constexpr IntraNeighbours kIntra = MakeIntraNeighbours();

constexpr int SigOffset(int l) { return l == 0 ? 0 : l <= 2 ? 7 : l <= 20 ? 14 : 23; }
constexpr int EobOffset(int s) { return s == 3 ? 0 : s < 15 ? 7 : 14; }

// What the contexts of one block read of its six neighbours, gathered once
// per block and plane: how many are significant at each zigzag index (as
// three bit masks: the count's bits 0, 1 and 2) and their scan lengths.
class CNeighbours {
 public:
  CNeighbours(const CBlockCodec& codec, std::size_t iPos) {
    const std::size_t iRow = codec.m_iBlocksX + 2;
    const std::uint64_t* m = codec.m_piSignificant.Data();
    const std::uint8_t* s = codec.m_pcScanEnd.Data();
    const std::size_t aiAt[6] = {iPos - 1, iPos - iRow - 1, iPos - iRow, iPos - iRow + 1, iPos + 1, iPos + iRow};
    std::uint64_t a[6];
    for (int k = 0; k < 6; ++k) {
      a[k] = m[aiAt[k]];
      m_aiScanEnds[k] = s[aiAt[k]];
    }
    // Two full adders of three masks each, then the sum of their bits.
    const std::uint64_t s1 = a[0] ^ a[1] ^ a[2], c1 = (a[0] & a[1]) | (a[2] & (a[0] ^ a[1]));
    const std::uint64_t s2 = a[3] ^ a[4] ^ a[5], c2 = (a[3] & a[4]) | (a[5] & (a[3] ^ a[4]));
    const std::uint64_t c3 = s1 & s2;
    m_iOnes = s1 ^ s2;
    m_iTwos = c1 ^ c2 ^ c3;
    m_iFours = (c1 & c2) | (c3 & (c1 ^ c2));
  }
  // The significance context of index l; iOwn holds the block's own
  // coefficients significant in this plane so far.
  int Sig(int l, std::uint64_t iOwn) const {
    const int n = int((m_iOnes >> l) & 1) + 2 * int((m_iTwos >> l) & 1) + 4 * int((m_iFours >> l) & 1);
    return n + ((iOwn & kIntra.aiLeft[l]) != 0) + ((iOwn & kIntra.aiUp[l]) != 0) + SigOffset(l);
  }
  // The extension context at scan length s.
  int Eob(int s) const {
    int n = 0;
    for (int k = 0; k < 6; ++k) n += m_aiScanEnds[k] > s;
    return n + EobOffset(s);
  }

 private:
  std::uint64_t m_iOnes, m_iTwos, m_iFours;
  int m_aiScanEnds[6];
};

}  // namespace tarn
