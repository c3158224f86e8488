// Runs one of the data tools (or any command line) as a child process and
// hands back its exit status and everything it printed.
#pragma once

#include <string>

namespace tundra_test {

// The path of a tool built into <build>/tools.
std::string ToolPath(const std::string& name);

// Runs `commandLine` through the shell with stderr joined to stdout, puts
// what it printed into `output` and returns its exit status, or -1 when it
// could not be started or did not exit by itself. A command the shell cannot
// find or run, or one killed by a signal, also fails the current test: a
// check that a tool refuses bad input must not pass because the tool is
// missing or crashed.
int RunTool(const std::string& commandLine, std::string& output);

}  // namespace tundra_test
