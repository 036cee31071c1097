// Work spread over threads. The caller's thread always takes a share, so one
// thread starts no other; a thread the system will not start leaves its
// share to the rest. Tasks must write disjoint data: then the result cannot
// depend on the number of threads or on their timing.
#pragma once

#include <cstdint>
#include <functional>

namespace tarn {

class CProgress;

// More threads than this gain nothing on planes of at most 65535 rows cut
// into bands, and would only cost their stacks.
constexpr int kMaxThreads = 64;

// Rows of a band of work over a plane: enough to keep the threads'
// hand-offs rare, few enough for a band of a wide plane to stay in the
// second-level cache.
constexpr int kBandRows = 32;

// The threads an options field asks for: n as given, 0 one per core (or one
// where the count is unknown), at most kMaxThreads.
int ResolveThreads(std::int32_t iRequested);

// Runs fnTask(i) once for every i in [0, iCount) on up to iThreads threads,
// each taking the next index when done with one. Returns when every task
// has run or been skipped: after a task throws, the tasks not yet begun are
// skipped and the first exception is rethrown here. While the caller's
// thread waits for the others it serves pProgress (may be null), so that the
// progress callback is only ever called on that thread.
void ParallelFor(int iThreads, int iCount, const std::function<void(int)>& fnTask,
                 CProgress* pProgress = nullptr);

// Runs fnRange(iBegin, iEnd) over [0, iCount) cut into ranges of about
// iGrain (at least 1) items, in parallel as ParallelFor.
void ParallelRanges(int iThreads, int iCount, int iGrain, const std::function<void(int, int)>& fnRange);

}  // namespace tarn
