// Whole numbers from command-line and option text.
#ifndef VEXAO_TOOLS_COMMON_DECIMAL_H
#define VEXAO_TOOLS_COMMON_DECIMAL_H

namespace vexao::tools {

// Reads `text` as a whole decimal number from low to high; false for empty
// text, trailing characters, or a number out of range.
bool parseDecimal(const char* text, long low, long high, long& value);

}  // namespace vexao::tools

#endif
