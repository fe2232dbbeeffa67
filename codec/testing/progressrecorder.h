// ProgressRecorder: the progress receiver of the coder tests, which keeps every report and can
// stop the coder at one of them.
#pragma once

#include <cstdint>
#include <vector>

#include "base/refcounted.h"
#include "codec/coder.h"

class ProgressRecorder : public CRefCounted<FaceQuery::kNone, ICompressProgressInfo> {
 public:
  struct Report {
    uint64_t in;
    uint64_t out;
  };
  // Keeps the counts; the report numbered failAtCall (from 1) returns failResult.
  HRESULT SetRatioInfo(const uint64_t* inSize, const uint64_t* outSize) override {
    reports.push_back({*inSize, *outSize});
    return static_cast<int>(reports.size()) == failAtCall ? failResult : S_OK;
  }

  std::vector<Report> reports;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
};
