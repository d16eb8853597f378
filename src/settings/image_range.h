// A run of FlashImage offsets: what a firmware file fills, what a job covers.
#pragma once

#include <cstdint>

struct TImageRange {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;  // one past the last offset
};
