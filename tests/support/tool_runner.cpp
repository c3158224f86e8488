#include "support/tool_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace tundra_test {
namespace {

// The shell reports a command it cannot find or execute with these, and a
// child killed by signal N as 128 + N when it did not exec the command itself.
constexpr int kShellCannotExecute = 126;
constexpr int kShellNotFound = 127;
constexpr int kShellSignalBase = 128;

}  // namespace

std::string ToolPath(const std::string& name) {
    return std::string(TUNDRA_BINARY_DIR) + "/tools/" + name;
}

int RunTool(const std::string& commandLine, std::string& output) {
    output.clear();
    // Braced, so that stderr of every part of a compound command line is caught.
    FILE* pipe = popen(("{ " + commandLine + "\n} 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start: " << commandLine;
        return -1;
    }
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    if (WIFSIGNALED(status)) {
        ADD_FAILURE() << commandLine << " was killed by signal " << WTERMSIG(status) << "\n"
                      << output;
        return -1;
    }
    if (!WIFEXITED(status)) return -1;
    const int exitCode = WEXITSTATUS(status);
    if (exitCode == kShellCannotExecute || exitCode == kShellNotFound) {
        ADD_FAILURE() << "the shell could not run: " << commandLine << "\n" << output;
    } else if (exitCode > kShellSignalBase) {
        ADD_FAILURE() << commandLine << " was killed by signal " << exitCode - kShellSignalBase
                      << "\n"
                      << output;
    }
    return exitCode;
}

}  // namespace tundra_test
