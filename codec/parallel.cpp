#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "progress.h"

namespace tarn {

int ResolveThreads(std::int32_t iRequested) {
  if (iRequested == 0) iRequested = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return std::min<std::int32_t>(std::max<std::int32_t>(iRequested, 1), kMaxThreads);
}

namespace {
// What the threads of one ParallelFor share.
struct Batch {
  const std::function<void(int)>* pfnTask;
  int iCount;
  std::atomic<int> iNext{0};
  std::atomic<int> iRunning{0};  // threads other than the caller's still working
  std::mutex mutex;
  std::exception_ptr pError;

  void Work() {
    for (int i; (i = iNext.fetch_add(1)) < iCount;) {
      try {
        (*pfnTask)(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!pError) pError = std::current_exception();
        iNext.store(iCount);
      }
    }
  }
};

// Starts up to iExtra threads running the batch; as many as the system gives.
std::vector<std::thread> Start(Batch& batch, int iExtra, CProgress* pProgress) {
  std::vector<std::thread> vThreads;
  try {
    vThreads.reserve(static_cast<std::size_t>(iExtra));
    for (int k = 0; k < iExtra; ++k) {
      batch.iRunning.fetch_add(1);
      try {
        vThreads.emplace_back([&batch, pProgress] {
          batch.Work();
          batch.iRunning.fetch_sub(1);
          if (pProgress != nullptr) pProgress->Wake();
        });
      } catch (...) {
        batch.iRunning.fetch_sub(1);
        throw;
      }
    }
  } catch (const std::exception&) {
    // No thread (or no memory for one): the ones started do the work.
  }
  return vThreads;
}
}  // namespace

void ParallelFor(int iThreads, int iCount, const std::function<void(int)>& fnTask, CProgress* pProgress) {
  if (std::min(iThreads, iCount) <= 1) {
    for (int i = 0; i < iCount; ++i) fnTask(i);
    return;
  }
  Batch batch;
  batch.pfnTask = &fnTask;
  batch.iCount = iCount;
  std::vector<std::thread> vThreads = Start(batch, std::min(iThreads, iCount) - 1, pProgress);
  batch.Work();
  if (pProgress != nullptr) pProgress->ServeUntil([&batch] { return batch.iRunning.load() == 0; });
  for (std::thread& thread : vThreads) thread.join();
  if (batch.pError) std::rethrow_exception(batch.pError);
}

void ParallelRanges(int iThreads, int iCount, int iGrain, const std::function<void(int, int)>& fnRange) {
  const int iStep = std::max(iGrain, 1);
  const int iRanges = (iCount + iStep - 1) / iStep;
  ParallelFor(iThreads, iRanges, [&](int r) { fnRange(r * iStep, std::min(iCount, (r + 1) * iStep)); });
}

}  // namespace tarn
