#include "progress.h"

namespace tarn {

CProgress::CProgress(tarn_progress_fn pfnProgress, void* pUser, int iParts)
    : m_pfnProgress(pfnProgress), m_pUser(pUser), m_iParts(iParts), m_caller(std::this_thread::get_id()) {
  for (auto& state : m_aiState) state.store(0, std::memory_order_relaxed);
}

bool CProgress::Report(int iPart, long long iDone, long long iTotal) {
  if (Stopped() || m_pfnProgress == nullptr) return !Stopped();
  m_aiState[iPart].store((std::uint64_t(iDone) << 32) | std::uint64_t(iTotal), std::memory_order_relaxed);
  if (OnCallerThread()) {
    m_iPercent = Percent();
    return Call();
  }
  Wake();
  return !Stopped();
}

bool CProgress::Poll() {
  if (!Stopped() && m_pfnProgress != nullptr && OnCallerThread()) return Call();
  return !Stopped();
}

bool CProgress::Call() {
  if (!Stopped() && m_pfnProgress(m_pUser, m_iPercent) == 0) m_bStopped.store(true, std::memory_order_relaxed);
  return !Stopped();
}

// Exact in 128 bits: a part's total is at most 31 planes of 8192 block
// rows (below 2^18), so four parts keep the common denominator below 2^72.
int CProgress::Percent() const {
  unsigned __int128 iNumerator = 0, iDenominator = 1;
  for (int k = 0; k < m_iParts; ++k) {
    const std::uint64_t iState = m_aiState[k].load(std::memory_order_relaxed);
    const std::uint64_t iTotal = iState & 0xFFFFFFFFu, iDone = iState >> 32;
    if (iTotal == 0) continue;
    iNumerator = iNumerator * iTotal + iDone * iDenominator;
    iDenominator *= iTotal;
  }
  return static_cast<int>(100 * iNumerator / (iDenominator * unsigned(m_iParts)));
}

void CProgress::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bNews = true;
  }
  m_wake.notify_one();
}

void CProgress::ServeUntil(const std::function<bool()>& fnDone) {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!fnDone()) {
    m_wake.wait(lock, [this] { return m_bNews; });
    m_bNews = false;
    if (m_pfnProgress == nullptr || Stopped()) continue;
    lock.unlock();
    m_iPercent = Percent();
    Call();
    lock.lock();
  }
  // The last reports may have come after the last look: the callback is
  // told where the work ended.
  if (m_pfnProgress == nullptr || Stopped() || Percent() == m_iPercent) return;
  lock.unlock();
  m_iPercent = Percent();
  Call();
}

}  // namespace tarn
