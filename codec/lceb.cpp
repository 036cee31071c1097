// Block-by-block coefficient coding (LCEB).
#include "block_codec.h"

int CBlockEncoder::EncodeLceb(std::vector<unsigned char>*, float) { return kQuantOverflow; }
int CBlockDecoder::DecodeLceb(const unsigned char*, int, float, bool) { return kDamagedPayload; }
