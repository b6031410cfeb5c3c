// clock.h: the monotonic millisecond clock used by time control and the benchmarks.
#pragma once

#include <cstdint>

std::uint64_t now_ms();
