// Progress reports to the caller's callback, and the caller's request to
// stop, which stays in force once made.
#pragma once

#include "tarn/tarn.h"

namespace tarn {

class CProgress {
 public:
  CProgress(tarn_progress_fn pfnProgress, void* pUser) : m_pfnProgress(pfnProgress), m_pUser(pUser) {}

  // The work comes in iParts equal parts (descriptions); part iPart begins.
  void BeginPart(int iPart, int iParts) {
    m_iPart = iPart;
    m_iParts = iParts;
  }
  // iDone of the current part's iTotal steps are done; false once the
  // callback has asked to stop.
  bool Report(long long iDone, long long iTotal) {
    if (m_bStopped || m_pfnProgress == nullptr) return !m_bStopped;
    m_iPercent = static_cast<int>((100 * (m_iPart * iTotal + iDone)) / (m_iParts * iTotal));
    return Poll();
  }
  // Asks the callback again with the last share, from inside a long step.
  bool Poll() {
    if (!m_bStopped && m_pfnProgress != nullptr) m_bStopped = m_pfnProgress(m_pUser, m_iPercent) == 0;
    return !m_bStopped;
  }
  bool Stopped() const { return m_bStopped; }

 private:
  tarn_progress_fn m_pfnProgress;
  void* m_pUser;
  int m_iPart = 0;
  int m_iParts = 1;
  int m_iPercent = 0;
  bool m_bStopped = false;
};

}  // namespace tarn
