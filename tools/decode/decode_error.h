// The error that the stream decoder reports instead of crashing or throwing.
#ifndef VEXAO_TOOLS_DECODE_ERROR_H
#define VEXAO_TOOLS_DECODE_ERROR_H

#include <cstddef>
#include <string>

namespace vexao::decode {

// A malformed stream: the offset of the byte at fault (or of the command that
// holds it) and what is wrong there.
struct DecodeError {
    std::size_t offset = 0;
    std::string message;
};

// "byte 123 (0x7b): message", for error output.
std::string describe(const DecodeError& error);

}  // namespace vexao::decode

#endif
