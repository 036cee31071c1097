// The -t option both programs take: the number of threads, as a whole
// decimal number (0 for one per core).
#pragma once

#include <cstdint>

// Reads pcText as a decimal count of at most 2^31 - 1, digits only; false
// for anything else.
bool ParseThreadCount(const char* pcText, std::int32_t* piThreads);
