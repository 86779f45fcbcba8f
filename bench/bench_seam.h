// The benchmark's seam: register values to answer and the count of reads served.
#pragma once

#include <cstdint>

void BenchSetRegister(uint32_t address, uint32_t value);
uint64_t BenchReads();
