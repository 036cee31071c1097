// Pinned payloads of both coefficient coders: a 64 x 48 crop of the
// transformed camera image, coded at two steps. The lengths and FNV-1a hashes
// were checked against a separate, deliberately plain model of the coders, so
// a context, offset or rounding error that encoder and decoder share (and
// that round trips therefore cannot see) changes them.
#include <gtest/gtest.h>

#include "coder_planes.h"

using namespace tarn;

namespace {
std::uint64_t Fnv1a(const std::vector<unsigned char>& bytes) {
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}
}  // namespace

TEST(CoderGolden, CameraCropPayloads) {
  const int w = 64, h = 48;
  const std::vector<float> camera = CameraCoefficients();
  std::vector<float> plane(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) plane[y * w + x] = camera[(200 + y) * 512 + 128 + x];
  struct Case {
    bool lceb;
    float q;
    int length;
    std::uint64_t hash;
  };
  const Case cases[] = {{false, 3.7f, 805, 0x2c3e89bdbc5c99f7ull},
                        {true, 3.7f, 848, 0x8dec0a9f9c982a7bull},
                        {false, 12.5f, 313, 0xa56fd0797fadb5f5ull},
                        {true, 12.5f, 324, 0xb5ddd3d204691138ull}};
  for (const Case& c : cases) {
    CBlockEncoder enc(w, h);
    enc.SetPlane(plane.data());
    std::vector<unsigned char> payload;
    int length = c.lceb ? enc.EncodeLceb(&payload, c.q) : enc.EncodeEceb(&payload, c.q);
    ASSERT_EQ(length, c.length) << (c.lceb ? "LCEB" : "ECEB") << " q=" << c.q;
    payload.resize(length);
    EXPECT_EQ(Fnv1a(payload), c.hash) << (c.lceb ? "LCEB" : "ECEB") << " q=" << c.q;
  }
}
