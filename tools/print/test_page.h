// The built-in test page of the host program and the demo.
#ifndef VEXAO_TOOLS_PRINT_TEST_PAGE_H
#define VEXAO_TOOLS_PRINT_TEST_PAGE_H

#include "tools/print/image.h"

namespace vexao::imaging {

// A ramp for each ink, hairlines at several angles, blocks of text-like marks,
// and blank bands between them. A size outside the cap (checkImageSize)
// throws std::length_error.
RgbImage testPage(int width, int height);

}  // namespace vexao::imaging

#endif
