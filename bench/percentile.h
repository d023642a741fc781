// The middle and the high end of a set of timings, as the benchmarks print
// them. Header-only: the Linux benchmarks and the Windows monitor window
// benchmark (tools/wintest/) include it alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tkw {

// The sample `percent` per cent of the way up the sorted samples: the one at
// index n * percent / 100, the largest at most; 0 with no samples. Whole per
// cents in integer arithmetic, so that a 32-bit build, whose doubles may go
// through the x87's wider registers, picks the same sample as a 64-bit one.
inline double Percentile(std::vector<double> samples, size_t percent) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, samples.size() * percent / 100)];
}

inline double Median(std::vector<double> samples) { return Percentile(std::move(samples), 50); }

}  // namespace tkw
