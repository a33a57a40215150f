// vexao-inspect: lists the commands of a printer stream and draws its pages
// as PNG files, one greyscale image per plane and a colour preview per page.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "driver/decimal.h"
#include "driver/mode_options.h"
#include "tools/decode/page_decoder.h"
#include "tools/decode/stream_parser.h"
#include "tools/pageview/page_images.h"

namespace {

using namespace vexao;

enum ExitCode {
    kSuccess = 0,
    kOutOfMemory = 1,
    kUsage = 2,
    kUnreadableInput = 3,
    kMalformedStream = 4,
    kCannotWrite = 5,
};

const char kUsageText[] =
    "usage: vexao-inspect [options] FILE|-\n"
    "Reads a printer stream from FILE, or from stdin for '-', and decodes its pages\n"
    "into PNG files: page-001-K.png and so on, one greyscale image per plane that\n"
    "carries data (ink dark on white), and page-001-preview.png, a colour preview.\n"
    "The stream does not say how many bits a pixel has or whether lines were\n"
    "level-packed: the mode options tell, as a host would configure the library.\n"
    "\n"
    "  --list               print every command with its byte offset (hexadecimal)\n"
    "                       and parameters; no images unless --out is given too\n"
    "  --out DIR            folder for the images (default: the current folder;\n"
    "                       created when missing)\n"
    "  --width PIXELS       width of the images (default: the widest decoded line)\n"
    "  --help               show this text\n"
    "Mode options:\n";

const char kExitText[] =
    "\n"
    "Exit status: 0 success, 1 out of memory, 2 usage error, 3 input unreadable,\n"
    "4 malformed stream (the message names the byte offset), 5 output not writable.\n";

struct Settings {
    bool list = false;
    bool decode = true;
    std::string input;
    inspect::ImageOptions images;
    driver::ModeOptions mode;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "vexao-inspect: %s\nTry 'vexao-inspect --help'.\n", message.c_str());
    return kUsage;
}

// Returns kSuccess, or the exit code for the caller to return.
int parseArguments(int argc, char** argv, Settings& settings) {
    bool outGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string error;
        switch (driver::takeModeOption(argc, argv, i, settings.mode, error)) {
            case driver::OptionResult::Taken: continue;
            case driver::OptionResult::Invalid: return usageError(error);
            case driver::OptionResult::NotMine: break;
        }
        if (argument == "--list") {
            settings.list = true;
        } else if (argument == "--out" || argument == "--width") {
            if (i + 1 >= argc) return usageError(argument + " needs a value");
            const char* value = argv[++i];
            if (argument == "--out") {
                settings.images.folder = value;
                outGiven = true;
            } else if (!vexao::driver::parseDecimal(value, 1, 1000000, settings.images.width)) {
                return usageError(std::string("invalid value for --width: '") + value + "'");
            }
        } else if (argument != "-" && argument.rfind("-", 0) == 0) {
            return usageError("unknown option " + argument);
        } else if (!settings.input.empty()) {
            return usageError("more than one input given");
        } else {
            settings.input = argument;
        }
    }
    if (settings.input.empty()) return usageError("no input given");
    settings.decode = !settings.list || outGiven;
    settings.images.resolution = settings.mode.resolution;
    return kSuccess;
}

bool readInput(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    std::uint8_t block[65536];
    std::size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + count);
    bool failed = std::ferror(file) != 0;
    if (failed) error = std::strerror(errno);
    if (file != stdin) std::fclose(file);
    return !failed;
}

int malformed(const decode::DecodeError& error) {
    std::fprintf(stderr, "vexao-inspect: malformed stream at %s\n", decode::describe(error).c_str());
    return kMalformedStream;
}

// The summary is left to the page decoding when it follows.
int listCommands(const std::vector<std::uint8_t>& bytes, bool withSummary) {
    decode::StreamParser parser(bytes.data(), bytes.size());
    decode::Command command;
    std::size_t commands = 0;
    std::size_t pages = 0;
    while (parser.next(command)) {
        ++commands;
        if (command.kind == decode::CommandKind::FormFeed) ++pages;
        std::string line = decode::describeParameters(command);
        std::printf("%08zx  %-8s %-19s%s%s\n", command.offset, decode::commandCode(command.kind).c_str(),
                    decode::commandName(command.kind), line.empty() ? "" : " ", line.c_str());
    }
    if (parser.failed()) return malformed(parser.error());
    if (withSummary)
        std::printf("%zu page%s, %zu bytes, %zu commands\n", pages, pages == 1 ? "" : "s", bytes.size(), commands);
    return kSuccess;
}

std::string pageSummary(const decode::Page& page, const std::vector<std::string>& written) {
    std::string text = "page " + std::to_string(page.number) + ": " +
                       (page.multiRaster ? std::to_string(page.bandLines) + "-line bands" : std::string("line by line")) +
                       ", " + std::to_string(page.height) + " lines of " + std::to_string(page.width) + " bytes, planes";
    bool any = false;
    for (int plane = 0; plane < decode::kPlaneCount; ++plane)
        if (page.planes[plane].hasData()) {
            text += std::string(" ") + decode::kPlaneLetters[plane];
            any = true;
        }
    if (!any) text += " none";
    for (const std::string& path : written) text += "\n  " + path;
    return text;
}

int decodePages(const std::vector<std::uint8_t>& bytes, const Settings& settings, const driver::ResolvedMode& mode) {
    std::error_code folderError;
    std::filesystem::create_directories(settings.images.folder, folderError);
    if (folderError) {
        std::fprintf(stderr, "vexao-inspect: cannot create %s: %s\n", settings.images.folder.c_str(),
                     folderError.message().c_str());
        return kCannotWrite;
    }
    decode::DecodeOptions options;
    options.bitsPerPixel = mode.bitsPerPixel;
    options.levelPacked = mode.levelPacked;
    decode::PageDecoder decoder(bytes.data(), bytes.size(), options);
    bool progress = isatty(STDERR_FILENO) != 0;
    decode::Page page;
    int pages = 0;
    while (decoder.nextPage(page)) {
        ++pages;
        if (progress) std::fprintf(stderr, "\rvexao-inspect: writing page %d ", page.number);
        std::vector<std::string> written;
        std::string error;
        if (!inspect::writePageImages(page, settings.images, written, error)) {
            if (progress) std::fputc('\n', stderr);
            std::fprintf(stderr, "vexao-inspect: cannot write %s\n", error.c_str());
            return kCannotWrite;
        }
        std::printf("%s\n", pageSummary(page, written).c_str());
    }
    if (progress && pages > 0) std::fputc('\n', stderr);
    if (decoder.failed()) return malformed(decoder.error());
    std::printf("%d page%s, %zu bytes, %zu commands\n", pages, pages == 1 ? "" : "s", bytes.size(),
                decoder.commandCount());
    return kSuccess;
}

int run(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s%s%s", kUsageText, driver::kModeOptionsHelp, kExitText);
            return kSuccess;
        }
    Settings settings;
    if (int code = parseArguments(argc, argv, settings); code != kSuccess) return code;
    driver::ResolvedMode mode;
    std::string error;
    if (!driver::resolveMode(settings.mode, mode, error)) return usageError(error);
    std::vector<std::uint8_t> bytes;
    if (!readInput(settings.input, bytes, error)) {
        std::fprintf(stderr, "vexao-inspect: cannot read %s: %s\n", settings.input.c_str(), error.c_str());
        return kUnreadableInput;
    }
    if (settings.list) {
        if (int code = listCommands(bytes, !settings.decode); code != kSuccess) return code;
    }
    return settings.decode ? decodePages(bytes, settings, mode) : kSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vexao-inspect: out of memory\n");
        return kOutOfMemory;
    }
}
