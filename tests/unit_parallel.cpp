// Work over threads: every task runs once whatever the count, a task's
// failure reaches the caller, and the coding thread writes the payload that
// coding in place writes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "coding_thread.h"
#include "parallel.h"
#include "progress.h"

using namespace tarn;

TEST(Parallel, EveryTaskRunsOnceForAnyThreadCount) {
  for (int threads : {1, 2, 3, kMaxThreads})
    for (int count : {0, 1, 2, 5, 100}) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
      ParallelFor(threads, count, [&](int i) { ++runs[static_cast<std::size_t>(i)]; });
      for (int i = 0; i < count; ++i) EXPECT_EQ(runs[static_cast<std::size_t>(i)], 1) << threads << " " << i;
      // Ranges cover [0, count) exactly, in pieces of the grain.
      std::vector<int> covered(static_cast<std::size_t>(count), 0);
      ParallelRanges(threads, count, 7, [&](int begin, int end) {
        EXPECT_LE(end - begin, 7);
        for (int i = begin; i < end; ++i) ++covered[static_cast<std::size_t>(i)];
      });
      for (int c : covered) EXPECT_EQ(c, 1);
    }
}

TEST(Parallel, ThreadCounts) {
  EXPECT_EQ(ResolveThreads(1), 1);
  EXPECT_EQ(ResolveThreads(3), 3);
  EXPECT_EQ(ResolveThreads(1 << 30), kMaxThreads);
  const int cores = ResolveThreads(0);
  EXPECT_GE(cores, 1);
  EXPECT_LE(cores, kMaxThreads);
}

// The first failure comes out of ParallelFor after every thread has
// stopped; tasks not begun by then are skipped. The later tasks take a
// millisecond each, so that the other threads cannot finish them all
// before the failing one has raised its failure.
TEST(Parallel, FailureReachesTheCaller) {
  for (int threads : {1, 4}) {
    std::atomic<int> after{0};
    EXPECT_THROW(ParallelFor(threads, 1000, [&](int i) {
      if (i == 3) throw std::bad_alloc();
      if (i < 3) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ++after;
    }), std::bad_alloc);
    EXPECT_LT(after.load(), 996) << threads;
  }
}

// Reports from other threads reach the callback only on the caller's
// thread, with the share of all parts.
TEST(Parallel, ProgressIsCalledOnTheCallersThread) {
  struct Seen {
    std::thread::id caller = std::this_thread::get_id();
    bool elsewhere = false;
    int last = -1;
    static int Call(void* user, int32_t percent) {
      auto* seen = static_cast<Seen*>(user);
      seen->elsewhere |= std::this_thread::get_id() != seen->caller;
      EXPECT_GE(percent, seen->last);
      seen->last = percent;
      return 1;
    }
  } seen;
  CProgress progress(Seen::Call, &seen, 4);
  ParallelFor(4, 4, [&](int k) {
    for (int done = 1; done <= 10; ++done) progress.Report(k, done, 10);
  }, &progress);
  // However late the other threads' last reports come, the callback hears
  // where the work ended.
  EXPECT_FALSE(seen.elsewhere);
  EXPECT_EQ(seen.last, 100);
}

namespace {
struct Decision {
  bool bit;
  int model;
};

std::vector<unsigned char> Code(const std::vector<Decision>& decisions, bool onThread) {
  std::vector<CBinModel> models(5);
  for (CBinModel& m : models) m.Init(1, 1, 1000);
  std::vector<unsigned char> payload;
  CBitWriter writer;
  CArithEncoder coder;
  writer.Init(&payload);
  coder.Start();
  if (onThread) {
    CCodingThread thread(&coder, &writer);
    for (const Decision& d : decisions) thread.Put(d.bit, &models[static_cast<std::size_t>(d.model)]);
    thread.Finish();
  } else {
    for (const Decision& d : decisions) coder.EncodeBit(d.bit, &models[static_cast<std::size_t>(d.model)], &writer);
  }
  coder.Flush(&writer);
  payload.resize(static_cast<std::size_t>(writer.GetByteCount()));
  return payload;
}
}  // namespace

// Counts around the chunk size and many chunks: the same payload either way.
TEST(CodingThread, PayloadIsTheOneCodingInPlaceWrites) {
  std::mt19937 random(7);
  for (int count : {0, 1, 8191, 8192, 8193, 100000}) {
    std::vector<Decision> decisions;
    for (int i = 0; i < count; ++i) {
      const int model = static_cast<int>(random() % 5);
      decisions.push_back({random() % 8 < static_cast<unsigned>(model + 1), model});
    }
    EXPECT_EQ(Code(decisions, true), Code(decisions, false)) << count;
  }
}

// A pass that stops early ends its thread without coding the rest.
TEST(CodingThread, StopsWithoutFinishing) {
  CBinModel model;
  model.Init(1, 1, 1000);
  std::vector<unsigned char> payload;
  CBitWriter writer;
  CArithEncoder coder;
  writer.Init(&payload);
  coder.Start();
  {
    CCodingThread thread(&coder, &writer);
    for (int i = 0; i < 50000; ++i) thread.Put(i % 3 == 0, &model);
  }
  SUCCEED();
}
