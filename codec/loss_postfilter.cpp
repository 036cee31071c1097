// Post-filter grids that switch filters next to lost blocks.
#include "block_codec.h"

void CBlockDecoder::PostFilterNonPr(int, int, const float*, const float*) {}
void CBlockDecoder::PostFilterWiener16(int, const float*, const float*) {}
