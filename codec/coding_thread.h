// The arithmetic coding of a plane on a thread of its own. An encoder's
// modelling (which decision comes next, with which model) needs nothing the
// coder computes, so it can run ahead and hand its decisions, a model and a
// bit each, to the coder in chunks; the coder takes them in the same order,
// so the payload is the one coding in place gives. A leaf beside the coder:
// it knows nothing of images.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "arith_coder.h"

namespace tarn {

// What threads that share data keep apart, so that one's writes do not
// evict what the other reads.
constexpr std::size_t kCacheLine = 64;

class CCodingThread {
 public:
  // Starts the thread (std::system_error when the system has none to give).
  CCodingThread(CArithEncoder* pCoder, CBitWriter* pWriter);
  CCodingThread(const CCodingThread&) = delete;
  CCodingThread& operator=(const CCodingThread&) = delete;
  // Stops the thread; decisions not yet coded are dropped.
  ~CCodingThread();

  void Put(bool bBit, CBinModel* pModel) {
    m_piFill[m_iFilled++] = reinterpret_cast<std::uintptr_t>(pModel) | std::uintptr_t(bBit);
    if (m_iFilled == kChunk) Hand();
  }
  // Codes every decision put and ends the thread; rethrows what the coding
  // threw (a payload buffer that could not grow).
  void Finish();

 private:
  // Decisions per chunk and chunks in flight: enough to ride out the
  // modelling's uneven pace, small enough to stay in the second-level cache.
  static constexpr int kChunk = 8192;
  static constexpr int kChunks = 4;
  static_assert(alignof(CBinModel) >= 2, "the bit rides in the model pointer's lowest bit");

  // Hands the chunk being filled to the coder and waits for a free one.
  void Hand();
  void Run();
  void Code(const std::uintptr_t* piDecisions, int iCount);

  CArithEncoder* m_pCoder;
  CBitWriter* m_pWriter;
  std::unique_ptr<std::uintptr_t[]> m_piChunks;  // kChunks x kChunk
  int m_aiCount[kChunks] = {};                     // decisions in each handed chunk
  alignas(kCacheLine) std::uintptr_t* m_piFill;    // the chunk being filled
  int m_iFilled = 0;
  alignas(kCacheLine) std::mutex m_mutex;
  std::condition_variable m_handed, m_coded;
  long long m_iHanded = 0;  // chunks handed over so far
  long long m_iCoded = 0;   // chunks the coder is done with
  bool m_bEnd = false;      // no more chunks will come
  bool m_bStop = false;     // stop now
  std::exception_ptr m_pError;
  std::thread m_thread;     // last: it starts once the rest is set up
};

}  // namespace tarn
