// Encoding through the public API: the transform or a given coefficient
// plane, one description or four, and the stream of their records.
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "api_internal.h"
#include "block_codec.h"
#include "stream_format.h"

namespace tarn {
namespace {

bool IsValidQ(float fQ) { return fQ > 0 && std::isfinite(fQ); }

tarn_status Validate(const tarn_encode_options* pOptions) {
  if (pOptions == nullptr || !IsCompatible(pOptions->abi_version)) return TARN_ERR_INVALID_ARGUMENT;
  if (!IsValidQ(pOptions->q)) return TARN_ERR_QUANT_STEP;
  if (pOptions->coder != TARN_CODER_ECEB && pOptions->coder != TARN_CODER_LCEB)
    return TARN_ERR_INVALID_ARGUMENT;
  return TARN_OK;
}

bool IsValidSize(std::uint32_t iSize, std::uint32_t iMultiple) {
  return iSize > 0 && iSize <= kMaxDimension && iSize % iMultiple == 0;
}

// Codes one plane into pvPayload; the coder's result (a length or an error).
int EncodePlane(CBlockEncoder& codec, const tarn_encode_options& options, CProgress& progress,
                std::vector<unsigned char>* pvPayload) {
  codec.m_pProgress = &progress;
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

// Codes the plane of full as one description, or as four with MDC.
tarn_status EncodeDescriptions(CBlockEncoder& full, const tarn_encode_options& options,
                               tarn_encoded* pOut) {
  CProgress progress(options.progress, options.user_data);
  CStreamBuilder stream;
  std::vector<unsigned char> vPayload;
  if (options.mdc == 0) {
    const int iResult = EncodePlane(full, options, progress, &vPayload);
    if (iResult < 0) return StatusOf(iResult);
    stream.Add(full.m_iWidth, full.m_iHeight, options.q, vPayload.data(), iResult);
  } else {
    const std::uint32_t iWidth = full.m_iWidth / 2, iHeight = full.m_iHeight / 2;
    std::vector<float> vDescription(std::size_t(iWidth) * iHeight);
    for (int k = 0; k < 4; ++k) {
      CBlockEncoder part(iWidth, iHeight);
      full.ExtractDescription(vDescription.data(), k);
      part.SetPlane(vDescription.data());
      progress.BeginPart(k, 4);
      const int iResult = EncodePlane(part, options, progress, &vPayload);
      if (iResult < 0) return StatusOf(iResult);
      stream.Add(iWidth, iHeight, options.q, vPayload.data(), iResult);
    }
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
  // one description buffer and one description object at a time.
  const std::uint64_t iSamples = std::uint64_t(width) * height;
  std::uint64_t iBytes = CBlockCodec::FootprintBytes(width, height) + iSamples;
  if (options != nullptr && options->mdc != 0)
    iBytes += iSamples + CBlockCodec::FootprintBytes(width / 2, height / 2);
  return iBytes;
}

}  // extern "C"
