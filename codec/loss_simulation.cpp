// Simulated loss of blocks in the decoder's test patterns.
#include "block_codec.h"

void CBlockDecoder::SimulateLoss(int) {}
