// The tool's entry, shared by avrig (real system) and avrig-sim (simulated target).
#pragma once

int AvrigMain(int argc, char** argv);
