// Adaptive binary arithmetic coder (16-bit interval, pending-bit underflow
// handling) and the bit writer / reader it emits into and reads from.
// A leaf: it knows nothing of images or coefficients.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tarn {

// Largest model limit for which the coder stays exact: after renormalisation
// the interval is at least 16386 wide, so both halves of a split stay
// non-empty as long as a model's total never exceeds 16386.
constexpr int kMaxModelLimit = 16387;

// The split of an interval needs floor(N / t) for N = range x count of ones
// (N < 2^31, since range <= 65536 and count < total <= 16386) and a total
// 1 <= t <= 16387. With m = ceil(2^47 / t) = (2^47 + e) / t, 0 <= e < t, and
// N = q t + r, 0 <= r <= t - 1:
//   N m / 2^47 = q + r / t + N e / (t 2^47) < q + (t - 1) / t + 2^31 / 2^47
//              = q + 1 - 1 / t + 2^-16 < q + 1       (as 1 / t >= 1 / 16387 > 2^-16),
// and N m / 2^47 >= q, so floor(N m / 2^47) = q: one 64 x 64-bit multiply
// (a 128-bit product) takes the place of the division, exactly.
constexpr int kReciprocalShift = 47;
constexpr std::array<std::uint64_t, kMaxModelLimit + 1> MakeReciprocals() {
  std::array<std::uint64_t, kMaxModelLimit + 1> a{};
  for (std::uint64_t t = 1; t <= kMaxModelLimit; ++t) a[t] = ((std::uint64_t(1) << kReciprocalShift) + t - 1) / t;
  return a;
}
extern const std::array<std::uint64_t, kMaxModelLimit + 1> kReciprocals;

class CBinModel {
 public:
  int m_iTotal = 0;   // all decisions seen, initial counts included
  int m_iCount1 = 0;  // decisions of value 1, initial count included
  int m_iLimit = 0;   // counts are halved when the total reaches this
  std::uint64_t m_iReciprocal = 0;  // kReciprocals[m_iTotal], kept at hand

  CBinModel& Init(int iCount0, int iCount1, int iLimit);
  void Halve();
  void Update(bool bBit) {
    m_iCount1 += bBit;
    if (++m_iTotal >= m_iLimit) Halve();
    m_iReciprocal = kReciprocals[m_iTotal];
  }
  // floor(iRange x m_iCount1 / m_iTotal), without a division (see above).
  int Split(int iRange) const {
    const std::uint64_t iProduct = std::uint64_t(iRange) * std::uint64_t(m_iCount1);
    return static_cast<int>((static_cast<unsigned __int128>(iProduct) * m_iReciprocal) >> kReciprocalShift);
  }
};

// Writes bits most significant first into a caller-owned byte vector, which it
// grows as needed, so a payload can never overrun its buffer. Bits gather in
// a word and go out four bytes at a time; Sync (which WriteBit, WriteBits and
// the coder's Flush call) puts the rest into the vector too, the last byte's
// unwritten bits 0. Payload lengths are 32-bit ints in the stream's readers,
// so a payload that would outgrow the limit (INT_MAX bytes unless set lower)
// is cut off there and flagged.
class CBitWriter {
 public:
  void Init(std::vector<unsigned char>* pBuffer);
  bool WriteBit(bool bBit) {
    Put(bBit, 1);
    Sync();
    return bBit;
  }
  int WriteBits(int iValue, int iCount);
  // iCount copies of bBit.
  void WriteRun(bool bBit, int iCount) {
    for (; iCount > 32; iCount -= 32) Put(bBit ? 0xFFFFFFFFu : 0, 32);
    Put(bBit ? static_cast<std::uint32_t>((std::uint64_t(1) << iCount) - 1) : 0, iCount);
  }
  // The low iCount (<= 32) bits of iValue, most significant first.
  void Put(std::uint32_t iValue, int iCount) {
    m_iAcc = (m_iAcc << iCount) | iValue;
    m_iAccBits += iCount;
    if (m_iAccBits >= 32) Spill();
  }
  // Puts the bits gathered so far into the vector (the last byte padded
  // with 0), without taking them from the word.
  void Sync();
  int GetByteCount() const { return m_iByte + (m_iAccBits + 7) / 8; }
  void SetLimit(int iMaxBytes) { m_iLimit = iMaxBytes; }
  // True when bits were dropped at the limit since Init.
  bool Overflowed() const { return m_bOverflow; }

 private:
  // Sends the oldest 32 gathered bits to the vector.
  void Spill();
  // Puts a byte at iByte; false (and flagged) at the limit.
  bool Store(int iByte, unsigned char c);
  bool Grow(int iByte);
  unsigned char* m_pcBuffer = nullptr;
  std::vector<unsigned char>* m_pvBuffer = nullptr;
  int m_iByte = 0;        // bytes sent to the vector for good
  std::uint64_t m_iAcc = 0;
  int m_iAccBits = 0;     // bits gathered after them (fewer than 32 between calls)
  int m_iRoom = 0;        // bytes usable without growing: min(size, limit)
  int m_iLimit = INT_MAX;
  bool m_bOverflow = false;
};

// Reads bits most significant first from a payload of known length. Past the
// end it delivers zero bits and never touches memory; how far it went past
// the end tells a truncated or damaged payload (a well-formed one is read at
// most two bytes past its end). The position is a 64-bit count of bits, so a
// payload of 2^31 - 1 bytes can be read past its end without overflow.
class CBitReader {
 public:
  void Init(const unsigned char* pcBuffer, std::int64_t iLength);
  bool ReadBit() { return Read(1) != 0; }
  int ReadBits(int iCount) { return static_cast<int>(iCount == 0 ? 0 : Read(iCount)); }
  // The next iCount (1 to 32) bits, the first read as the most significant.
  std::uint32_t Read(int iCount) {
    if (m_iWindowBits < iCount) Refill();
    const std::uint32_t iBits = static_cast<std::uint32_t>(m_iWindow >> (64 - iCount));
    m_iWindow <<= iCount;
    m_iWindowBits -= iCount;
    m_iBit += iCount;
    return iBits;
  }
  std::int64_t GetByteCount() const { return (m_iBit + 7) >> 3; }
  // Bytes read beyond the payload's end (0 while inside it).
  std::int64_t BytesPastEnd() const {
    const std::int64_t iOver = GetByteCount() - m_iLength;
    return iOver > 0 ? iOver : 0;
  }
  // Moves to the start of byte iByte (for tests of long payloads).
  void SeekByte(std::int64_t iByte);

 private:
  // Tops the window up to at least 32 bits: whole bytes from the payload,
  // zeros past its end.
  void Refill();
  const unsigned char* m_pcBuffer = nullptr;
  std::int64_t m_iLength = 0;
  std::int64_t m_iBit = 0;       // bits read so far
  std::int64_t m_iNextByte = 0;  // the first byte not yet in the window
  std::uint64_t m_iWindow = 0;   // the next bits, left-aligned
  int m_iWindowBits = 0;
};

constexpr int kHalf = 0x8000;
constexpr int kFirstQuarter = 0x4000;
constexpr int kThirdQuarter = 0xC000;

// True when the interval [low, high] straddles the half and is wider than
// the middle half: the state after most decisions, which needs no shift.
inline bool NeedsNoShift(int iLow, int iHigh) {
  return iHigh >= kHalf && iLow < kHalf && (iLow < kFirstQuarter || iHigh >= kThirdQuarter);
}

// Shifts of one renormalisation, all at once. The loop of single shifts
// first takes the leading bits that low and high share (each an emitted bit)
// and then, while low begins 01 and high 10, the underflow shifts (each a
// pending bit); after the first kind low < 0x8000 <= high, so no shared bit
// can follow an underflow shift before the next decision.
struct Shifts {
  int iSettled;    // leading bits low and high share
  int iUnderflow;  // underflow shifts after them
};

inline Shifts CountShifts(int iLow, int iHigh) {
  Shifts s;
  // clz of a 32-bit word; the bit at 15 stops it at 16 shared bits.
  s.iSettled = __builtin_clz(static_cast<std::uint32_t>((iLow ^ iHigh) << 16) | 0x8000u);
  // The shifts bring zeros into low and ones into high.
  const int iLowAfter = (iLow << s.iSettled) & 0xFFFF;
  const int iHighAfter = ((iHigh << s.iSettled) & 0xFFFF) | ((1 << s.iSettled) - 1);
  const std::uint32_t iNotUnderflow = ~static_cast<std::uint32_t>(iLowAfter & ~iHighAfter) & 0x7FFF;
  s.iUnderflow = __builtin_clz((iNotUnderflow << 17) | 0x10000u);
  return s;
}

class CArithEncoder {
 public:
  int m_iHigh = 0;
  int m_iLow = 0;
  int m_iPending = 0;

  void Start();
  bool EncodeBit(bool bBit, CBinModel* pModel, CBitWriter* pWriter) {
    const int iSplit = pModel->Split(m_iHigh - m_iLow + 1);
    if (bBit)
      m_iHigh = m_iLow + iSplit - 1;
    else
      m_iLow += iSplit;
    pModel->Update(bBit);
    if (NeedsNoShift(m_iLow, m_iHigh))
      return bBit;  // nothing to shift: the common case
    Renormalise(pWriter);
    return bBit;
  }
  void Flush(CBitWriter* pWriter);

 private:
  void Renormalise(CBitWriter* pWriter);
};

class CArithDecoder {
 public:
  int m_iHigh = 0;
  int m_iLow = 0;
  int m_iCode = 0;

  void Start(CBitReader* pReader);
  bool DecodeBit(CBinModel* pModel, CBitReader* pReader) {
    const int iSplit = pModel->Split(m_iHigh - m_iLow + 1);
    const bool bBit = iSplit >= m_iCode - m_iLow + 1;
    if (bBit)
      m_iHigh = m_iLow + iSplit - 1;
    else
      m_iLow += iSplit;
    pModel->Update(bBit);
    if (NeedsNoShift(m_iLow, m_iHigh))
      return bBit;
    Renormalise(pReader);
    return bBit;
  }

 private:
  void Renormalise(CBitReader* pReader);
};

}  // namespace tarn
