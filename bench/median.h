#pragma once
// The middle of a set of timings: on a shared machine one slow round does not move it.

#include <algorithm>
#include <cstddef>
#include <vector>

inline double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
    return v[v.size() / 2];
}
