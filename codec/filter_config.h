// The decoder's filters from a filter configuration file: post-filter and the
// optional loss post-filter, DCT Wiener filter and boundary Wiener filter.
#pragma once

struct FilterBank {
  float m_afPostFilter[256];       // 8 x 8 in the top-left corner, stride 16
  float m_afLossPostFilter[256];   // 8 x 8 or 16 x 16, stride 16
  int m_iLossPostFilterSize;       // 0, 8 or 16
  float m_afDctWiener[128];        // 8 rows of 16
  bool m_bHasDctWiener;
  float m_afBoundaryWiener[64];    // stride 8; [0][0] = -100.0 when absent
  float m_afBoundaryWienerMirror[64];  // the above turned by 180 degrees
};

// Marks an absent boundary Wiener filter (element [0][0]).
constexpr float kAbsentFilter = -100.0f;

// Returns 0, -1 (filter size not 8, or file unreadable) or -10 (invalid loss
// post-filter or DCT Wiener size). A file that ends early reads as zeros: the
// elements it holds keep their values, and missing size fields count as 0.
int LoadFilterBank(const char* pcFileName, bool bVerbose, FilterBank& bank);
