// Whole documents driven through the host protocol, for tests: the mode
// families, pages of deterministic pseudo-random raster, and a driver that
// sends every call's chunks into one stream.
#ifndef VEXAO_TESTS_DOCUMENT_H
#define VEXAO_TESTS_DOCUMENT_H

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "output/output_api.h"
#include "tests/support/host.h"

namespace vexao_test {

struct Family {
    const char* name;
    char model;
    std::int16_t variant, rasterMode, singlePlane, halfBand;
    int planes;          // planes that carry data: 7 in normal mode
    int pixelsPerByte;   // 8 at one bit a pixel, 2 at four
    bool fiveLevels;     // pixel values 0..4 (level packing) rather than any nibble
};

// Every mode family: normal mode at one and four bits; bands of 16 and 8
// lines with 1, 4 and 6 planes, with and without level packing.
inline void PrintTo(const Family& family, std::ostream* out) { *out << family.name; }

inline const std::vector<Family>& allFamilies() {
    static const std::vector<Family> families = {
        {"normal_one_bit", 'I', 20, 20, 0, 0, 7, 8, false},
        {"normal_levels", 'J', 0, 0, 0, 0, 7, 2, true},
        {"bands16_one_plane", 'e', 0, 20, 1, 0, 1, 8, false},
        {"bands16_one_plane_levels", 'j', 0, 0, 1, 0, 1, 2, true},
        {"bands16_four_planes", 'f', 0, 20, 0, 0, 4, 8, false},
        {"bands16_four_planes_levels", 'k', 18, 10, 0, 0, 4, 2, true},
        {"bands16_six_planes", 'e', 0, 0, 0, 0, 6, 2, false},
        {"bands16_six_planes_levels", 'j', 0, 0, 0, 0, 6, 2, true},
        {"bands8_one_plane", 'l', 0, 20, 1, 1, 1, 8, false},
        {"bands8_four_planes_levels", 'i', 1, 0, 0, 1, 4, 2, true},
        {"bands8_six_planes", 'f', 26, 0, 0, 1, 6, 2, false},
        {"bands8_six_planes_levels", 'l', 0, 5, 0, 1, 6, 2, true},
    };
    return families;
}

inline OutputParams familyParams(const Family& family) {
    OutputParams params{};
    params.modelCode = family.model;
    params.variantCode = family.variant;
    params.rasterMode = family.rasterMode;
    params.singlePlane = family.singlePlane;
    params.halfBandFlag = family.halfBand;
    return params;
}

// One page: for each line and plane, the raster bytes (empty when absent).
struct Page {
    int widthBytes = 0;
    std::vector<std::vector<Bytes>> lines;  // [line][plane]
};

// Pages with blank stretches, sparse dots, dense areas, runs and absent planes.
inline Page randomPage(const Family& family, std::uint32_t seed, int lineCount, int widthBytes) {
    std::mt19937 random(seed);
    auto pixelValue = [&] { return family.fiveLevels ? random() % 5 : random() % 16; };
    auto randomByte = [&]() -> std::uint8_t {
        if (family.pixelsPerByte == 8) return static_cast<std::uint8_t>(random());
        return static_cast<std::uint8_t>(pixelValue() << 4 | pixelValue());
    };
    Page page;
    page.widthBytes = widthBytes;
    page.lines.resize(lineCount);
    for (auto& planes : page.lines) {
        planes.resize(family.planes);
        bool blankLine = random() % 4 == 0;
        for (Bytes& bytes : planes) {
            if (random() % 8 == 0) continue;  // plane absent from this line
            bytes.assign(widthBytes, 0);
            if (blankLine) continue;
            // Sparse dots, dense noise, runs of one value between gaps, or nothing.
            int style = random() % 4;
            for (int i = 0; i < widthBytes; ++i) {
                bool ink = style == 0 ? random() % 37 == 0 : style == 1 ? true : style == 2 ? (i / 9) % 3 == 0 : false;
                bool runGoesOn = style == 2 && i % 9 != 0;
                bytes[i] = !ink ? 0 : runGoesOn ? bytes[i - 1] : randomByte();
            }
        }
    }
    return page;
}

// The outcome of driving a document: the stream as the printer receives it
// and the result of every call, in order.
struct Run {
    Bytes stream;
    std::vector<std::int32_t> results;
    bool setUpFailed = false;
};

inline void send(Run& run, std::int32_t result, const OutputDesc* descriptor) {
    run.results.push_back(result);
    if (descriptor != nullptr) {
        Bytes bytes = sentBytes(descriptor);
        run.stream.insert(run.stream.end(), bytes.begin(), bytes.end());
    }
}

// Drives one document from open to close as a host does; after a failed call
// it completes and goes on, so that every later call runs too.
inline Run driveDocument(const Family& family, const std::vector<Page>& pages) {
    Run run;
    MasterWork* work = nullptr;
    OutputParams params = familyParams(family);
    if (OutputOpen(&work) != VEXAO_INTERFACE_VERSION || OutputInitTwo(&work, &params, family.model) != 0) {
        run.setUpFailed = true;
        OutputClose(&work);
        return run;
    }
    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) OutputInitPart(&work, &params);
        const Page& page = pages[p];
        for (std::size_t number = 0; number < page.lines.size(); ++number) {
            RasterInput line{};
            line.lineNumber = static_cast<std::int32_t>(number);
            std::vector<Bytes> planes = page.lines[number];  // the library may clear bytes in front of ink
            for (std::size_t k = 0; k < planes.size(); ++k) {
                if (planes[k].empty()) continue;
                line.plane[k].data = planes[k].data();
                line.plane[k].pixelWidth = static_cast<std::int16_t>(planes[k].size() * family.pixelsPerByte);
            }
            OutputDesc* descriptor = nullptr;
            std::int32_t result = OutputProduce(&work, &line, &descriptor);
            send(run, result, descriptor);
            OutputComplete(&work);
        }
        OutputDesc* descriptor = nullptr;
        std::int32_t result = OutputFormFeed(&work, &descriptor);
        send(run, result, descriptor);
        OutputComplete(&work);
    }
    OutputClose(&work);
    return run;
}

}  // namespace vexao_test

#endif
