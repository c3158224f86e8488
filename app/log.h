// The program-wide log, "logging.txt" in the working directory, truncated at
// each start. Every subsystem writes to it directly.
#pragma once

#include <fstream>

extern std::ofstream Log;

// Writes the opening banner and hides the mouse cursor.
void BeginLogging();
