// Encoding through the public API: the transform or a given coefficient
// plane, one description or four, and the stream of their records.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "api_internal.h"
#include "block_codec.h"
#include "parallel.h"
#include "stream_format.h"

namespace tarn {
namespace {

bool IsValidQ(float fQ) { return fQ > 0 && std::isfinite(fQ); }

tarn_status Validate(const tarn_encode_options* pOptions) {
  if (pOptions == nullptr || !IsCompatible(pOptions->abi_version)) return TARN_ERR_INVALID_ARGUMENT;
  if (!IsValidQ(pOptions->q)) return TARN_ERR_QUANT_STEP;
  if (pOptions->coder != TARN_CODER_ECEB && pOptions->coder != TARN_CODER_LCEB)
    return TARN_ERR_INVALID_ARGUMENT;
  return pOptions->threads < 0 ? TARN_ERR_INVALID_ARGUMENT : TARN_OK;
}

bool IsValidSize(std::uint32_t iSize, std::uint32_t iMultiple) {
  return iSize > 0 && iSize <= kMaxDimension && iSize % iMultiple == 0;
}

// Codes one plane into pvPayload as part iPart of the work; the coder's
// result (a length or an error).
int EncodePlane(CBlockEncoder& codec, const tarn_encode_options& options, CProgress& progress, int iPart,
                std::vector<unsigned char>* pvPayload) {
  codec.m_pProgress = &progress;
  codec.m_iProgressPart = iPart;
  return options.coder == TARN_CODER_LCEB ? codec.EncodeLceb(pvPayload, options.q)
                                          : codec.EncodeEceb(pvPayload, options.q);
}

tarn_status StatusOf(int iResult) {
  if (iResult == kCancelled) return TARN_ERR_CANCELLED;
  return iResult < 0 ? TARN_ERR_QUANT_TOO_SMALL : TARN_OK;
}

// The records of a stream, gathered as the descriptions are coded.
class CStreamBuilder {
 public:
  void Add(std::uint32_t iWidth, std::uint32_t iHeight, float fQ, const unsigned char* pcPayload,
           int iLength) {
    const std::size_t iStart = m_vBytes.size();
    m_vOffsets.push_back(iStart);
    m_vLengths.push_back(static_cast<std::uint32_t>(iLength));
    m_vBytes.resize(iStart + kRecordHeaderBytes + static_cast<std::size_t>(iLength));
    const RecordHeader header = {static_cast<std::uint16_t>(iWidth), static_cast<std::uint16_t>(iHeight),
                                 fQ, static_cast<std::uint32_t>(iLength)};
    PutRecordHeader(&m_vBytes[iStart], header);
    std::memcpy(&m_vBytes[iStart + kRecordHeaderBytes], pcPayload, static_cast<std::size_t>(iLength));
  }
  void Hand(tarn_encoded* pOut) const {
    pOut->data = static_cast<uint8_t*>(Allocate(m_vBytes.size()));
    std::memcpy(pOut->data, m_vBytes.data(), m_vBytes.size());
    pOut->size = m_vBytes.size();
    pOut->descriptions = static_cast<int32_t>(m_vOffsets.size());
    for (std::size_t k = 0; k < m_vOffsets.size(); ++k) {
      pOut->record_offset[k] = m_vOffsets[k];
      pOut->payload_length[k] = m_vLengths[k];
    }
  }

 private:
  std::vector<unsigned char> m_vBytes;
  std::vector<std::size_t> m_vOffsets;
  std::vector<std::uint32_t> m_vLengths;
};

// A coded description: the coder's result and its payload.
struct Description {
  int iResult = 0;
  std::vector<unsigned char> vPayload;
};

// Codes the four descriptions of full, as many at once as there are threads
// (each with its share of them).
void EncodeMdc(const CBlockEncoder& full, const tarn_encode_options& options, int iThreads,
               CProgress& progress, Description* pDescriptions) {
  const std::uint32_t iWidth = full.m_iWidth / 2, iHeight = full.m_iHeight / 2;
  const int iAtOnce = std::min(iThreads, 4);
  ParallelFor(iAtOnce, 4, [&](int k) {
    CBlockEncoder part(iWidth, iHeight);
    part.m_iThreads = std::max(1, iThreads / iAtOnce);
    full.ExtractDescription(part._d.Data(), k);
    pDescriptions[k].iResult = EncodePlane(part, options, progress, k, &pDescriptions[k].vPayload);
  }, &progress);
}

// Codes the plane of full as one description, or as four with MDC.
tarn_status EncodeDescriptions(CBlockEncoder& full, const tarn_encode_options& options,
                               tarn_encoded* pOut) {
  const int iDescriptions = options.mdc != 0 ? 4 : 1;
  const int iThreads = ResolveThreads(options.threads);
  CProgress progress(options.progress, options.user_data, iDescriptions);
  Description aDescriptions[4];
  if (iDescriptions == 1) {
    full.m_iThreads = iThreads;  // also for a plane given as coefficients
    aDescriptions[0].iResult = EncodePlane(full, options, progress, 0, &aDescriptions[0].vPayload);
  } else {
    EncodeMdc(full, options, iThreads, progress, aDescriptions);
  }
  const std::uint32_t f = iDescriptions == 4 ? 2 : 1;
  CStreamBuilder stream;
  for (int k = 0; k < iDescriptions; ++k) {
    const Description& d = aDescriptions[k];
    if (d.iResult < 0) return StatusOf(d.iResult);
    stream.Add(full.m_iWidth / f, full.m_iHeight / f, options.q, d.vPayload.data(), d.iResult);
  }
  stream.Hand(pOut);
  return TARN_OK;
}

bool IsFinitePlane(const float* pfPlane, std::size_t iCount) {
  for (std::size_t i = 0; i < iCount; ++i)
    if (!std::isfinite(pfPlane[i])) return false;
  return true;
}

}  // namespace
}  // namespace tarn

using namespace tarn;

extern "C" {

tarn_status tarn_encode_options_init_abi(tarn_encode_options* options, uint32_t abi_version) {
  if (options == nullptr || !IsCompatible(abi_version)) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(options, 0, sizeof *options);
  options->abi_version = abi_version;
  options->coder = TARN_CODER_ECEB;
  options->threads = 1;
  return TARN_OK;
}

tarn_status tarn_encode_options_validate(const tarn_encode_options* options) { return Validate(options); }

tarn_status tarn_encode(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                        const tarn_encode_options* options, tarn_encoded* out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  if (pixels == nullptr || !IsValidSize(width, 16) || !IsValidSize(height, 16) || stride < width)
    return TARN_ERR_INVALID_ARGUMENT;
  if (tarn_status status = Validate(options)) return status;
  return Guard([&] {
    const FilterBank& bank = BankOf(options->filters);
    CBlockEncoder full(width, height);
    full.m_iThreads = ResolveThreads(options->threads);
    full.ForwardTransform(pixels, stride, bank.m_iType, bank.m_afPreFilter);
    return EncodeDescriptions(full, *options, out);
  });
}

tarn_status tarn_encode_coefficients(const float* plane, uint32_t width, uint32_t height,
                                     const tarn_encode_options* options, tarn_encoded* out) {
  if (out == nullptr) return TARN_ERR_INVALID_ARGUMENT;
  std::memset(out, 0, sizeof *out);
  if (tarn_status status = Validate(options)) return status;
  const std::uint32_t iMultiple = options->mdc != 0 ? 16 : 8;
  if (plane == nullptr || !IsValidSize(width, iMultiple) || !IsValidSize(height, iMultiple))
    return TARN_ERR_INVALID_ARGUMENT;
  if (!IsFinitePlane(plane, std::size_t(width) * height)) return TARN_ERR_RAW_PLANE_DATA;
  return Guard([&] {
    CBlockEncoder full(width, height);
    full.SetPlane(plane);
    return EncodeDescriptions(full, *options, out);
  });
}

uint64_t tarn_encode_memory(uint32_t width, uint32_t height, const tarn_encode_options* options) {
  // The full-size object and room for the payloads and the stream; with MDC
  // one description object per description coded at once.
  const std::uint64_t iSamples = std::uint64_t(width) * height;
  std::uint64_t iBytes = CBlockCodec::FootprintBytes(width, height) + iSamples;
  const int iThreads = options != nullptr ? ResolveThreads(options->threads) : 1;
  if (options != nullptr && options->mdc != 0)
    iBytes += std::uint64_t(std::min(iThreads, 4)) * CBlockCodec::FootprintBytes(width / 2, height / 2);
  return iBytes;
}

}  // extern "C"
