#pragma once

#include <span>

// The whole run for the arguments after the program name: check the command
// line, open the log, create the outputs, split the log into them, close them.
// Throws Failure with the message for standard error; returning means success.
void run(std::span<const char* const> arguments);
