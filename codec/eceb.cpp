// Bit-plane coefficient coding (ECEB).
#include "block_codec.h"

int CBlockEncoder::EncodeEceb(std::vector<unsigned char>*, float) { return kQuantOverflow; }
int CBlockDecoder::DecodeEceb(const unsigned char*, int, float, bool) { return kDamagedPayload; }
