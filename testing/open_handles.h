#pragma once

// How many files this process has open (descriptors on POSIX, handles on
// Windows), for tests that check that a failing path leaks none: one file
// for each kind of system, as the program's platform calls are.
int openHandles();
