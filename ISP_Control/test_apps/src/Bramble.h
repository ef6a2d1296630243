// Bramble's entry points, apart from main so that tests can run it in-process.
#ifndef BRAMBLE_BRAMBLE_H
#define BRAMBLE_BRAMBLE_H

#include <termios.h>

// Start-up, capture loop and tear-down: 0 after the exit key, 1 on a failure.
int run(int argc, char **argv);
// The whole program with the terminal in raw mode: 0 after the exit key,
// 1 when the run failed.
int bramble_main(int argc, char **argv);

// Standard input without line buffering and echo, keys read without waiting.
bool enableRawMode(termios &saved);
void disableRawMode(termios &saved);
// One key when one is there, else 0xFF; never waits.
int getch();
// Wall-clock seconds.
double currTime();

#endif
