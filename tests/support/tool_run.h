// Runs the project's programs through the shell, as a user would, and tells
// how they ended.
#ifndef VEXAO_TESTS_TOOL_RUN_H
#define VEXAO_TESTS_TOOL_RUN_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace vexao_test {

struct ToolRun {
    int exitCode = -1;  // -1 when a signal ended the program
    std::string errors; // what it wrote to standard error
};

// Runs `commandLine` with /bin/sh; standard output goes where the command
// line sends it, standard error is captured.
inline ToolRun runTool(const std::string& commandLine) {
    std::string errorFile = "/tmp/vexao-tool-errors-" + std::to_string(getpid());
    int status = std::system(("{ " + commandLine + "; } 2> " + errorFile).c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) && WEXITSTATUS(status) < 128 ? WEXITSTATUS(status) : -1;
    std::ifstream errors(errorFile);
    run.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
    std::remove(errorFile.c_str());
    return run;
}

}  // namespace vexao_test

#endif
