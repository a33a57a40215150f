#include "driver/decimal.h"

#include <cerrno>
#include <cstdlib>

namespace vexao::driver {

bool parseDecimal(const char* text, long low, long high, long& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace vexao::driver
