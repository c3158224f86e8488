// Runs one of the data tools as a child process.
#pragma once

#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace tundra_test {
// Runs the built tool `commandLine` starts with, stderr joined to stdout into `output`: its exit
// status. A tool that cannot run (126, 127) or is killed also fails the test: a tool refusing
// bad input must not pass because it is missing or crashed.
inline int RunTool(const std::string& commandLine, std::string& output) {
    const std::string command = std::string(TUNDRA_BINARY_DIR) + "/tools/" + commandLine;
    output.clear();
    FILE* pipe = popen(("{ " + command + "\n} 2>&1").c_str(), "r");
    if (pipe == nullptr) return ADD_FAILURE() << "cannot start: " << command, -1;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFSIGNALED(status) || code == 126 || code == 127 || code > 128)
        ADD_FAILURE() << command << " could not run or was killed (" << status << ")\n" << output;
    return code;
}
}  // namespace tundra_test
