// libFuzzer target: both coefficient decoders on arbitrary payloads. The
// first three bytes pick the coder, the mode and a small plane size; the
// rest is the payload. Decoding must end without undefined behaviour.
#include <cstddef>
#include <cstdint>

#include "block_codec.h"

using namespace tarn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t width = 8u * (1 + data[1] % 8), height = 8u * (1 + data[2] % 8);
  const bool lceb = data[0] & 1, entropyOnly = data[0] & 2;
  const float q = (data[0] & 4) ? 0.5f : 20.0f;
  CBlockDecoder decoder(width, height);
  const int length = static_cast<int>(size - 3);
  if (lceb)
    decoder.DecodeLceb(data + 3, length, q, entropyOnly);
  else
    decoder.DecodeEceb(data + 3, length, q, entropyOnly);
  return 0;
}
