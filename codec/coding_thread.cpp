#include "coding_thread.h"

namespace tarn {

CCodingThread::CCodingThread(CArithEncoder* pCoder, CBitWriter* pWriter)
    : m_pCoder(pCoder),
      m_pWriter(pWriter),
      m_piChunks(new std::uintptr_t[std::size_t(kChunks) * kChunk]),
      m_piFill(m_piChunks.get()),
      m_thread(&CCodingThread::Run, this) {}

CCodingThread::~CCodingThread() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
  }
  m_handed.notify_one();
  m_thread.join();
}

void CCodingThread::Hand() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_aiCount[m_iHanded % kChunks] = m_iFilled;
  ++m_iHanded;
  m_handed.notify_one();
  m_coded.wait(lock, [this] { return m_iHanded - m_iCoded < kChunks; });
  m_piFill = m_piChunks.get() + (m_iHanded % kChunks) * kChunk;
  m_iFilled = 0;
}

void CCodingThread::Finish() {
  if (m_iFilled > 0) Hand();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnd = true;
  }
  m_handed.notify_one();
  m_thread.join();
  if (m_pError) std::rethrow_exception(m_pError);
}

void CCodingThread::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_handed.wait(lock, [this] { return m_bStop || m_bEnd || m_iCoded < m_iHanded; });
    if (m_bStop || m_iCoded == m_iHanded) return;
    const int iChunk = static_cast<int>(m_iCoded % kChunks);
    const int iCount = m_aiCount[iChunk];
    lock.unlock();
    // After a failure the rest is only taken off the producer's hands.
    if (!m_pError) Code(m_piChunks.get() + std::size_t(iChunk) * kChunk, iCount);
    lock.lock();
    ++m_iCoded;
    m_coded.notify_one();
  }
}

void CCodingThread::Code(const std::uintptr_t* piDecisions, int iCount) {
  try {
    for (int i = 0; i < iCount; ++i) {
      const std::uintptr_t v = piDecisions[i];
      m_pCoder->EncodeBit(v & 1, reinterpret_cast<CBinModel*>(v & ~std::uintptr_t(1)), m_pWriter);
    }
  } catch (...) {
    m_pError = std::current_exception();
  }
}

}  // namespace tarn
