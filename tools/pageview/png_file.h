// Writing 8-bit greyscale and RGB PNG files with libpng, one row at a time.
#ifndef VEXAO_TOOLS_INSPECT_PNG_FILE_H
#define VEXAO_TOOLS_INSPECT_PNG_FILE_H

#include <cstdint>
#include <functional>
#include <string>

namespace vexao::inspect {

enum class PngColour { Grey, Rgb };

struct PngImage {
    int width = 0;
    int height = 0;
    PngColour colour = PngColour::Grey;
    int resolution = 0;  // dots per inch, stored when not 0
    // Fills row `y` with width samples (Grey) or width RGB triples (Rgb).
    std::function<void(int y, std::uint8_t* row)> fillRow;
};

// Writes the image to `path`; on failure returns false with a message.
bool writePng(const std::string& path, const PngImage& image, std::string& error);

}  // namespace vexao::inspect

#endif
