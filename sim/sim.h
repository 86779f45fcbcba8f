// The simulated target's entry: reads AVRIG_SIM_TARGET / AVRIG_SIM_LOG /
// AVRIG_SIM_TRACE_MMIO, loads the target (exit status 2 on a bad target file) and runs
// the tool against it.
#pragma once

int SimMain(int argc, char** argv);
