#include "avrig/avrig_main.h"
#include "sim/sim.h"

int main(int argc, char** argv) { return CloseStandardOutput(SimMain(argc, argv)); }
