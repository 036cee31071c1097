// Progress reports to the caller's callback, and the caller's request to
// stop, which stays in force once made. The work comes in parts (MDC
// descriptions), which may run at once on several threads; the callback is
// only ever called on the thread of the call that took it, with the share
// of all parts together.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "tarn/tarn.h"

namespace tarn {

class CProgress {
 public:
  static constexpr int kMaxParts = 4;

  CProgress(tarn_progress_fn pfnProgress, void* pUser, int iParts = 1);
  CProgress(const CProgress&) = delete;
  CProgress& operator=(const CProgress&) = delete;

  // The thread that calls the callback from now on: the one running the
  // library call in progress.
  void TakeCallerThread() { m_caller = std::this_thread::get_id(); }
  // Part iPart has done iDone of its iTotal steps (iTotal < 2^18); false
  // once the callback has asked to stop.
  bool Report(int iPart, long long iDone, long long iTotal);
  // Asks the callback again with the last share, from inside a long step.
  bool Poll();
  bool Stopped() const { return m_bStopped.load(std::memory_order_relaxed); }
  // Calls the callback (on the caller's thread) whenever another thread
  // reports, until fnDone holds; it is checked first and after every
  // report or Wake, so whoever makes it true must call Wake after.
  void ServeUntil(const std::function<bool()>& fnDone);
  // Wakes ServeUntil to check its condition.
  void Wake();

 private:
  bool OnCallerThread() const { return std::this_thread::get_id() == m_caller; }
  // The share of all parts, rounded down: 100 x (sum of done / total) / parts.
  int Percent() const;
  bool Call();

  tarn_progress_fn m_pfnProgress;
  void* m_pUser;
  int m_iParts;
  std::thread::id m_caller;
  // Per part: done in the high 32 bits, total in the low ones (0: not begun).
  std::atomic<std::uint64_t> m_aiState[kMaxParts];
  std::atomic<bool> m_bStopped{false};
  int m_iPercent = 0;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_bNews = false;  // a report or wake since ServeUntil last looked
};

}  // namespace tarn
