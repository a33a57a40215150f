// Random printer streams through the decoder: it must refuse or decode, never
// crash, hang or leak. The first byte picks the pixel depth and packing.
#include <cstdint>
#include <vector>

#include "tools/decode/page_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = data[0] & 1 ? 1 : 4;
    options.levelPacked = options.bitsPerPixel == 4 && (data[0] & 2) != 0;
    options.maxPageLines = 100000;
    options.maxPageBytes = std::size_t{64} << 20;
    std::vector<vexao::decode::Page> pages;
    vexao::decode::DecodeError error;
    vexao::decode::decodeStream(data + 1, size - 1, options, pages, error);
    return 0;
}
