// Runs one of the data tools (or any command line) as a child process.
#pragma once

#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace tundra_test {
inline std::string ToolPath(const std::string& name) {
    return std::string(TUNDRA_BINARY_DIR) + "/tools/" + name;
}
// Runs `commandLine` through the shell, stderr joined to stdout into
// `output`: its exit status, or -1 when it did not exit by itself. A command
// the shell cannot run (126, 127) or one killed by a signal also fails the
// test: a tool refusing bad input must not pass because it is missing or crashed.
inline int RunTool(const std::string& commandLine, std::string& output) {
    output.clear();
    FILE* pipe = popen(("{ " + commandLine + "\n} 2>&1").c_str(), "r");
    if (pipe == nullptr) return ADD_FAILURE() << "cannot start: " << commandLine, -1;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFSIGNALED(status) || code == 126 || code == 127 || code > 128)
        ADD_FAILURE() << commandLine << " could not run or was killed (" << status << ")\n"
                      << output;
    return code;
}
}  // namespace tundra_test