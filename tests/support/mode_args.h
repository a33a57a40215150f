// Print modes named by command-line options, as the tools read them.
#ifndef VEXAO_TESTS_MODE_ARGS_H
#define VEXAO_TESTS_MODE_ARGS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/mode_options.h"

namespace vexao_test {

// The mode that `arguments` (mode options only) select.
inline vexao::driver::ResolvedMode resolve(std::vector<std::string> arguments, bool expectValid = true) {
    std::vector<char*> argv{const_cast<char*>("tool")};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    vexao::driver::ModeOptions options;
    std::string error;
    for (int i = 1; i < static_cast<int>(argv.size()); ++i)
        EXPECT_EQ(vexao::driver::takeModeOption(static_cast<int>(argv.size()), argv.data(), i, options, error),
                  vexao::driver::OptionResult::Taken)
            << arguments[i - 1];
    vexao::driver::ResolvedMode mode;
    EXPECT_EQ(vexao::driver::resolveMode(options, mode, error), expectValid) << error;
    return mode;
}

}  // namespace vexao_test

#endif
