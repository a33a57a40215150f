// Whole numbers from command-line and option text.
#ifndef VEXAO_DRIVER_DECIMAL_H
#define VEXAO_DRIVER_DECIMAL_H

namespace vexao::driver {

// Reads `text` as a whole decimal number from low to high; false for empty
// text, trailing characters, or a number out of range.
bool parseDecimal(const char* text, long low, long high, long& value);

// The same for a narrower whole type that holds low to high; `value` is
// left as it was when the text is refused.
template <typename Whole>
bool parseDecimal(const char* text, long low, long high, Whole& value) {
    long wide = 0;
    if (!parseDecimal(text, low, high, wide)) return false;
    value = static_cast<Whole>(wide);
    return true;
}

}  // namespace vexao::driver

#endif
