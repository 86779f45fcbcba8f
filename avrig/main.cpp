#include "avrig/avrig_main.h"

int main(int argc, char** argv) { return AvrigMain(argc, argv); }
