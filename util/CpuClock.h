// The processor's clock, measured against the system's high-resolution
// clock.
#pragma once

#include <cstdint>

// Counts the processor's time-stamp counter over one second of the
// high-resolution clock, busy waiting: the clock in MHz. 0 where the
// processor has no time-stamp counter this program can read.
int32_t MeasureCpuMhz();
