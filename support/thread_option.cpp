#include "thread_option.h"

#include <cstdint>

bool ParseThreadCount(const char* pcText, std::int32_t* piThreads) {
  std::int64_t iValue = 0;
  if (*pcText == '\0') return false;
  for (const char* p = pcText; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    iValue = 10 * iValue + (*p - '0');
    if (iValue > INT32_MAX) return false;
  }
  *piThreads = static_cast<std::int32_t>(iValue);
  return true;
}
