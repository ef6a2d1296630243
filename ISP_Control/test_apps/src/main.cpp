// Bramble, the capture program.
#include "Bramble.h"

int main(int argc, char **argv) { return bramble_main(argc, argv); }
