// Encoding and decoding times of both coefficient coders on the transformed
// camera image at q = 20, reported as binary decisions per second. Each
// iteration uses a fresh codec object (its models start untrained, as in the
// programs); building and releasing it is not timed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "coder_planes.h"

using namespace tarn;

namespace {
constexpr int kSize = 512;
constexpr float kQ = 20;

const std::vector<float>& Camera() {
  static const std::vector<float> plane = CameraCoefficients();
  return plane;
}

long long MagnitudeDecisions(int k) { return k == 0 ? 0 : std::llabs(k) + 1; }  // unary run and sign

// The decisions LCEB codes for the quantised coefficients in the store.
long long LcebDecisions(const CBlockEncoder& enc) {
  long long n = 0;
  for (std::uint32_t by = 0; by < enc.m_iBlocksY; ++by)
    for (std::uint32_t bx = 0; bx < enc.m_iBlocksX; ++bx) {
      auto coef = [&](int l) { return enc.EcebCoef(l, static_cast<int>(bx), static_cast<int>(by)); };
      int last = 0;
      for (int l = 1; l < 64; ++l)
        if (coef(l) != 0) last = l;
      n += 2 + MagnitudeDecisions(coef(0));  // DC significance, continuation at 1
      for (int l = 1; l <= last; ++l)
        n += 1 + (coef(l) != 0 ? MagnitudeDecisions(coef(l)) + (l < 63) : 0);
    }
  return n;
}

// The decisions ECEB codes for the store, plane by plane from 2^n down.
long long EcebDecisions(const CBlockEncoder& enc, int n) {
  const int bw = static_cast<int>(enc.m_iBlocksX), bh = static_cast<int>(enc.m_iBlocksY);
  std::vector<int> scanEnd(bw * bh, 1);
  long long decisions = 0;
  for (long long T = 1LL << n; T > 0; T >>= 1)
    for (int b = 0; b < bw * bh; ++b) {
      auto magnitude = [&](int l) { return std::llabs(enc.EcebCoef(l, b % bw, b / bw)); };
      int& s = scanEnd[b];
      for (int l = 0; l < s; ++l) decisions += 1 + (magnitude(l) >= T && magnitude(l) < 2 * T);
      int end = 0;
      for (int l = 63; l >= s; --l)
        if (magnitude(l) >= T) {
          end = l;
          break;
        }
      decisions += 1;  // extension
      if (end < s) continue;
      for (int l = s; l <= end; ++l) decisions += 1 + (magnitude(l) >= T ? 1 + (l < 63) : 0);
      s = end + 1;
    }
  return decisions;
}

struct Coded {
  std::vector<unsigned char> payload;
  long long decisions = 0;
};

Coded Encode(bool eceb) {
  CBlockEncoder enc(kSize, kSize);
  enc.SetPlane(Camera().data());
  Coded coded;
  int length = eceb ? enc.EncodeEceb(&coded.payload, kQ) : enc.EncodeLceb(&coded.payload, kQ);
  coded.payload.resize(length);
  coded.decisions = eceb ? EcebDecisions(enc, coded.payload[0]) : LcebDecisions(enc);
  return coded;
}

void Report(benchmark::State& state, const Coded& coded) {
  state.counters["decisions"] = benchmark::Counter(static_cast<double>(coded.decisions),
                                                   benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes"] = static_cast<double>(coded.payload.size());
}

void BenchEncode(benchmark::State& state, bool eceb) {
  const Coded coded = Encode(eceb);
  std::unique_ptr<CBlockEncoder> enc;
  std::vector<unsigned char> payload;
  for (auto _ : state) {
    state.PauseTiming();
    enc.reset();
    enc = std::make_unique<CBlockEncoder>(kSize, kSize);
    enc->SetPlane(Camera().data());
    state.ResumeTiming();
    benchmark::DoNotOptimize(eceb ? enc->EncodeEceb(&payload, kQ) : enc->EncodeLceb(&payload, kQ));
  }
  Report(state, coded);
}

void BenchDecode(benchmark::State& state, bool eceb) {
  const Coded coded = Encode(eceb);
  const int length = static_cast<int>(coded.payload.size());
  std::unique_ptr<CBlockDecoder> dec;
  for (auto _ : state) {
    state.PauseTiming();
    dec.reset();
    dec = std::make_unique<CBlockDecoder>(kSize, kSize);
    state.ResumeTiming();
    benchmark::DoNotOptimize(eceb ? dec->DecodeEceb(coded.payload.data(), length, kQ, false)
                                  : dec->DecodeLceb(coded.payload.data(), length, kQ, false));
  }
  Report(state, coded);
}

void BM_EncodeEceb(benchmark::State& state) { BenchEncode(state, true); }
void BM_DecodeEceb(benchmark::State& state) { BenchDecode(state, true); }
void BM_EncodeLceb(benchmark::State& state) { BenchEncode(state, false); }
void BM_DecodeLceb(benchmark::State& state) { BenchDecode(state, false); }
}  // namespace

BENCHMARK(BM_EncodeEceb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEceb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeLceb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLceb)->Unit(benchmark::kMillisecond);
