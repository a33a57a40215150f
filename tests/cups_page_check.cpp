// Checks a stream that an end-to-end test printed, decoded, page by page
// against what the job asked for.
//
//   vexao_cups_page_check MODE-OPTIONS --colour-model Gray|CMYK|KCMYcm --pages LIST STREAM
//
// LIST names each page in turn, comma-separated:
//   "top", "bottom" or "top+bottom": bars across the page an inch high, a
//     black one near the top and a light cyan one near the bottom;
//   "tones-C", "tones-M", "tones-Y" or "tones-K": the 256 tones of one ink in
//     blocks of 64 x 64 dots (tests/support/tone_blocks.h), each of which must
//     print its tone within 3%, light inks counted at their dilution.
// The mode options are the inspector's; --resolution is needed to place the
// bars.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "driver/mode_options.h"
#include "tests/support/tone_blocks.h"
#include "tools/decode/page_decoder.h"

namespace {

constexpr int kBlack = 0, kCyan = 3, kLightCyan = 5;

struct Check {
    vexao::driver::ModeOptions modeOptions;
    vexao::driver::ResolvedMode mode;
    std::string colourModel;
    std::vector<std::string> pages;
    const char* stream = nullptr;
};

struct LineRange {
    int first = -1, last = -1;
    bool empty() const { return first < 0; }
};

// The first and last line in [from, to) of `plane` that carry ink.
LineRange inkedLines(const vexao::decode::PlaneRaster& plane, int from, int to) {
    LineRange range;
    for (int y = from; plane.hasData() && y < to && y < plane.height(); ++y)
        for (int x = 0; x < plane.width(); ++x)
            if (plane.row(y)[x] != 0) {
                if (range.empty()) range.first = y;
                range.last = y;
                break;
            }
    return range;
}

// The plane that carries the light cyan bar: grey prints it in black, photo
// colour in light cyan where the mode has the six planes.
int cyanBarPlane(const Check& check) {
    if (check.colourModel == "Gray") return kBlack;
    bool sixPlanes = check.mode.planeCount == 0 || check.mode.planeCount >= 6;
    return check.colourModel == "KCMYcm" && sixPlanes ? kLightCyan : kCyan;
}

// Says what is wrong with the page, or nothing. The bars are an inch high,
// less when CUPS fits the page to smaller paper: the black one ends within
// 2.2 inches of the top, the cyan one starts more than 8 inches down.
std::string pageProblem(const vexao::decode::Page& page, const std::string& bars, const Check& check) {
    int inch = check.modeOptions.resolution, cyanPlane = cyanBarPlane(check);
    const int middle = 5 * inch, end = page.height;
    bool wantTop = bars.find("top") != std::string::npos, wantBottom = bars.find("bottom") != std::string::npos;
    LineRange top = inkedLines(page.planes[kBlack], 0, middle);
    LineRange bottom = inkedLines(page.planes[cyanPlane], middle, end);
    if (wantTop != !top.empty()) return wantTop ? "no black bar near the top" : "ink near the top";
    if (wantTop && (top.last > inch * 22 / 10 || top.last - top.first < inch * 3 / 4)) return "the black bar is misplaced";
    if (wantBottom != !bottom.empty()) return wantBottom ? "no cyan bar near the bottom" : "ink near the bottom";
    if (wantBottom && (bottom.first < 8 * inch || bottom.last - bottom.first < inch * 3 / 4))
        return "the cyan bar is misplaced";
    if (cyanPlane != kBlack && (!inkedLines(page.planes[kBlack], middle, end).empty() ||
                                !inkedLines(page.planes[cyanPlane], 0, middle).empty()))
        return "a bar is printed in the wrong ink";
    for (int plane = 0; plane < vexao::decode::kPlaneCount; ++plane)
        if (plane != kBlack && plane != cyanPlane && page.planes[plane].hasData())
            return std::string("ink on plane ") + vexao::decode::kPlaneLetters[plane];
    return "";
}

// Says what is wrong with a page of tones of `ink` (a letter of "CMYK"), or
// nothing: every tone within 3%, none lighter than the one below it, and no
// other ink.
std::string toneProblem(const vexao::decode::Page& page, char ink, const Check& check) {
    static const std::string kInks = "CMYK";
    static const int kDarkPlane[] = {3, 2, 1, 0}, kLightPlane[] = {5, 4, -1, -1};
    std::size_t index = kInks.find(ink);
    if (index == std::string::npos) return std::string("no ink ") + ink;
    int dark = kDarkPlane[index], light = cyanBarPlane(check) == kLightCyan ? kLightPlane[index] : -1;
    for (int plane = 0; plane < vexao::decode::kPlaneCount; ++plane)
        if (plane != dark && plane != light && page.planes[plane].hasData())
            return std::string("ink on plane ") + vexao::decode::kPlaneLetters[plane];
    vexao_test::ToneReport tones =
        vexao_test::measureTones(page.planes[dark], light < 0 ? nullptr : &page.planes[light], check.mode.bitsPerPixel);
    std::printf("cups page check: tones of %c%s: worst %.4f at tone %d\n", ink, light < 0 ? "" : " with light ink",
                tones.worst, tones.worstTone);
    if (tones.falls >= 0) return "tone " + std::to_string(tones.falls) + " prints lighter than the one below it";
    if (tones.worst > 0.03) return "tone " + std::to_string(tones.worstTone) + " is more than 3% off";
    return "";
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');) items.push_back(item);
    return items;
}

bool readArguments(int argc, char** argv, Check& check, std::string& error) {
    std::string pageList;
    for (int i = 1; i < argc; ++i) {
        vexao::driver::OptionResult taken = vexao::driver::takeModeOption(argc, argv, i, check.modeOptions, error);
        if (taken == vexao::driver::OptionResult::Invalid) return false;
        if (taken == vexao::driver::OptionResult::Taken) continue;
        std::string name = argv[i];
        if ((name == "--colour-model" || name == "--pages") && i + 1 < argc)
            (name == "--pages" ? pageList : check.colourModel) = argv[++i];
        else if (check.stream == nullptr && name[0] != '-')
            check.stream = argv[i];
        else
            return error = "unexpected argument " + name, false;
    }
    check.pages = split(pageList);
    if (check.stream == nullptr || check.pages.empty() || check.modeOptions.resolution == 0)
        return error = "usage: vexao_cups_page_check MODE-OPTIONS --colour-model MODEL --pages LIST STREAM", false;
    return vexao::driver::resolveMode(check.modeOptions, check.mode, error);
}

int fail(const std::string& what) {
    std::fprintf(stderr, "cups page check: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Check check;
    std::string error;
    if (!readArguments(argc, argv, check, error)) return fail(error);
    std::ifstream file(check.stream, std::ios::binary);
    std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    vexao::decode::DecodeOptions options;
    options.bitsPerPixel = check.mode.bitsPerPixel;
    options.levelPacked = check.mode.levelPacked;
    std::vector<vexao::decode::Page> pages;
    vexao::decode::DecodeError decodeError;
    if (!vexao::decode::decodeStream(stream.data(), stream.size(), options, pages, decodeError))
        return fail(vexao::decode::describe(decodeError));
    if (pages.size() != check.pages.size())
        return fail(std::to_string(pages.size()) + " pages where " + std::to_string(check.pages.size()) + " were printed");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string& wanted = check.pages[i];
        std::string problem = wanted.rfind("tones-", 0) == 0 && wanted.size() == 7 ? toneProblem(pages[i], wanted[6], check)
                                                                                   : pageProblem(pages[i], wanted, check);
        if (!problem.empty()) return fail("page " + std::to_string(i + 1) + ": " + problem);
    }
    std::printf("cups page check: %zu pages as printed\n", pages.size());
    return 0;
}
