#include "sim/sim.h"

int main(int argc, char** argv) { return SimMain(argc, argv); }
