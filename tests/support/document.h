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
    // When false, lines without ink are not handed in, as a host that jumps
    // over blank stretches does: one call may then send two bands.
    bool handInBlankLines = true;
};

// An ink byte: any byte at one bit a pixel, two pixels of the family's levels at four.
inline std::uint8_t randomInkByte(const Family& family, std::mt19937& random) {
    if (family.pixelsPerByte == 8) return static_cast<std::uint8_t>(random());
    auto pixelValue = [&] { return family.fiveLevels ? random() % 5 : random() % 16; };
    return static_cast<std::uint8_t>(pixelValue() << 4 | pixelValue());
}

// Pages with blank stretches, sparse dots, dense areas, runs and absent planes.
inline Page randomPage(const Family& family, std::uint32_t seed, int lineCount, int widthBytes) {
    std::mt19937 random(seed);
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
                bytes[i] = !ink ? 0 : runGoesOn ? bytes[i - 1] : randomInkByte(family, random);
            }
        }
    }
    return page;
}

// Noise in every plane, which no mode compresses much, so that bands span
// several chain nodes; blank lines between, one stretch of them longer than
// a band.
inline Page densePage(const Family& family, std::uint32_t seed, int lineCount, int widthBytes) {
    std::mt19937 random(seed);
    Page page;
    page.widthBytes = widthBytes;
    page.lines.resize(lineCount);
    int gapStart = lineCount / 3, gapEnd = gapStart + 17 + static_cast<int>(random() % 16);
    for (int y = 0; y < lineCount; ++y) {
        std::vector<Bytes>& planes = page.lines[y];
        planes.assign(family.planes, Bytes(widthBytes, 0));
        if ((y >= gapStart && y < gapEnd) || random() % 8 == 0) continue;
        for (Bytes& bytes : planes)
            for (std::uint8_t& byte : bytes) byte = randomInkByte(family, random);
    }
    return page;
}

// The outcome of driving a document: the stream as the printer receives it
// and the result of every call, in order.
struct Run {
    Bytes stream;
    std::vector<std::int32_t> results;
    bool setUpFailed = false;
    int refusals = 0;
};

// What the host does when a call is refused with -128: complete and retry
// the same call once, or complete, close and stop.
enum class OnRefusal { Retry, GiveUp };

inline bool carriesInk(const std::vector<Bytes>& planes) {
    for (const Bytes& plane : planes)
        for (std::uint8_t byte : plane)
            if (byte != 0) return true;
    return false;
}

// Drives one document from open to close as a host does.
class DocumentHost {
public:
    DocumentHost(const Family& family, OnRefusal onRefusal) : family_(family), onRefusal_(onRefusal) {}
    ~DocumentHost() { OutputClose(&work_); }
    DocumentHost(const DocumentHost&) = delete;
    DocumentHost& operator=(const DocumentHost&) = delete;

    Run drive(const std::vector<Page>& pages) {
        if (!setUp()) {
            ++run_.refusals;
            if (onRefusal_ == OnRefusal::GiveUp || !setUp()) {
                run_.setUpFailed = true;
                return run_;
            }
        }
        for (std::size_t p = 0; p < pages.size() && !stopped_; ++p) {
            if (p > 0) OutputInitPart(&work_, &params_);
            for (std::size_t number = 0; number < pages[p].lines.size() && !stopped_; ++number)
                if (pages[p].handInBlankLines || carriesInk(pages[p].lines[number]))
                    produce(static_cast<std::int32_t>(number), pages[p].lines[number]);
            if (!stopped_) call([&](OutputDesc** descriptor) { return OutputFormFeed(&work_, descriptor); });
        }
        return run_;
    }

private:
    bool setUp() {
        OutputClose(&work_);
        work_ = nullptr;
        params_ = familyParams(family_);
        return OutputOpen(&work_) == VEXAO_INTERFACE_VERSION && OutputInitTwo(&work_, &params_, family_.model) == 0;
    }

    void produce(std::int32_t number, std::vector<Bytes> planes) {  // a copy: the library may clear bytes in front of ink
        RasterInput line{};
        line.lineNumber = number;
        for (std::size_t k = 0; k < planes.size(); ++k) {
            if (planes[k].empty()) continue;
            line.plane[k].data = planes[k].data();
            line.plane[k].pixelWidth = static_cast<std::int16_t>(planes[k].size() * family_.pixelsPerByte);
        }
        call([&](OutputDesc** descriptor) { return OutputProduce(&work_, &line, descriptor); });
    }

    template <typename OutputCall>
    void call(OutputCall outputCall) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            OutputDesc* descriptor = nullptr;
            std::int32_t result = outputCall(&descriptor);
            run_.results.push_back(result);
            if (result == 0) {
                Bytes bytes = sentBytes(descriptor);
                run_.stream.insert(run_.stream.end(), bytes.begin(), bytes.end());
            }
            OutputComplete(&work_);
            if (result == 0) return;
            ++run_.refusals;
            if (onRefusal_ == OnRefusal::GiveUp) {
                stopped_ = true;
                return;
            }
        }
    }

    Family family_;
    OnRefusal onRefusal_;
    OutputParams params_{};
    MasterWork* work_ = nullptr;
    Run run_;
    bool stopped_ = false;
};

inline Run driveDocument(const Family& family, const std::vector<Page>& pages,
                         OnRefusal onRefusal = OnRefusal::Retry) {
    return DocumentHost(family, onRefusal).drive(pages);
}

}  // namespace vexao_test

#endif
