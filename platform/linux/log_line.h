// A line from the platform in the program's log, logging.txt.
#pragma once

namespace platform_linux {

// Writes `line` (with its newline) at the end of logging.txt through the
// descriptor the program's own log holds, so that neither overwrites the
// other; nothing when the program has no log open.
void WriteLogLine(const char* line);

}  // namespace platform_linux
