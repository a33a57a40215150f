#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/printer_stream.h"
#include "tools/decode/page_decoder.h"
#include "tools/decode/stream_parser.h"

namespace {

using vexao::decode::Command;
using vexao::decode::CommandKind;
using vexao::decode::DecodeError;
using vexao::decode::DecodeOptions;
using vexao::decode::Page;
using vexao::decode::planeIndex;
using vexao::decode::StreamParser;
using vexao_test::Bytes;
using vexao_test::PrinterStream;

std::vector<Command> parseAll(const Bytes& bytes) {
    StreamParser parser(bytes.data(), bytes.size());
    std::vector<Command> commands;
    Command command;
    while (parser.next(command)) commands.push_back(command);
    EXPECT_FALSE(parser.failed()) << vexao::decode::describe(parser.error());
    return commands;
}

std::vector<Page> decodeAll(const Bytes& bytes, const DecodeOptions& options = {}) {
    std::vector<Page> pages;
    DecodeError error;
    EXPECT_TRUE(vexao::decode::decodeStream(bytes.data(), bytes.size(), options, pages, error))
        << vexao::decode::describe(error);
    return pages;
}

Bytes rowOf(const Page& page, char plane, int line) {
    const std::uint8_t* row = page.planes[planeIndex(plane)].row(line);
    return Bytes(row, row + page.width);
}

// Two lines in normal mode: line 10 with plane K, line 11 with planes K and C.
Bytes twoNormalLines() {
    Bytes bytes = {0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x28, 0x41, 0x05, 0x00, 0x4B, 0xFC, 0x00,
                   0x00, 0x41, 0x0D, 0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, 0x01, 0x1B, 0x28, 0x41, 0x05, 0x00,
                   0x4B, 0xFC, 0x00, 0x00, 0x41, 0x0D, 0x1B, 0x28, 0x41, 0x05, 0x00, 0x43, 0xFE, 0x80, 0x00,
                   0x01, 0x0D};
    return PrinterStream().raw(bytes).formFeed().bytes();
}

TEST(StreamParser, ListsNormalModeCommandsWithOffsetsAndParameters) {
    std::vector<Command> commands = parseAll(twoNormalLines());
    ASSERT_EQ(commands.size(), 9u);
    const CommandKind kinds[] = {CommandKind::RasterSkip, CommandKind::ColourData, CommandKind::CarriageReturn,
                                 CommandKind::RasterSkip, CommandKind::ColourData, CommandKind::CarriageReturn,
                                 CommandKind::ColourData, CommandKind::CarriageReturn, CommandKind::FormFeed};
    const std::size_t offsets[] = {0, 7, 17, 18, 25, 35, 36, 46, 47};
    for (std::size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i].kind, kinds[i]) << i;
        EXPECT_EQ(commands[i].offset, offsets[i]) << i;
    }
    EXPECT_EQ(commands[0].value, 10u);
    EXPECT_FALSE(commands[0].countsBands);
    EXPECT_EQ(commands[3].value, 1u);
    EXPECT_EQ(commands[6].plane, 'C');
    EXPECT_EQ(commands[6].dataOffset, 42u);
    EXPECT_EQ(commands[6].dataLength, 4u);
    EXPECT_EQ(vexao::decode::describeParameters(commands[0]), "10 lines");
    EXPECT_EQ(vexao::decode::describeParameters(commands[4]), "plane K, 4 bytes");
}

TEST(StreamParser, ListsMultiRasterCommandsWithBandCountsAndLineLengths) {
    Bytes eightLines = {0x1B, 0x28, 0x46, 0x10, 0x00, 0x01, 0xAA, 0xBB, 0x80, 0x80, 0x80, 0x80, 0x80,
                        0x80, 0x80, 0xFE, 0x11, 0x01, 0x22, 0x33, 0x80};
    PrinterStream stream;
    stream.multiRasterHeader(8).skip(3).planeList("K").raw(eightLines).formFeed();
    std::vector<Command> commands = parseAll(stream.bytes());
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0].kind, CommandKind::MultiRasterStart);
    EXPECT_EQ(commands[1].kind, CommandKind::BandHeight);
    EXPECT_EQ(commands[1].value, 8u);
    EXPECT_TRUE(commands[2].countsBands);
    EXPECT_EQ(vexao::decode::describeParameters(commands[2]), "3 bands");
    EXPECT_EQ(commands[3].planes, "K");
    const Command& block = commands[4];
    EXPECT_EQ(block.kind, CommandKind::BandBlock);
    EXPECT_EQ(block.dataLength, 16u);
    EXPECT_EQ(block.lineLengths, (std::vector<std::size_t>{3, 0, 0, 0, 0, 0, 0, 5}));
    EXPECT_TRUE(commands[5].countsBands);
    EXPECT_EQ(commands[5].kind, CommandKind::FormFeed);
}

TEST(PageDecoder, PlacesNormalModeLinesAtTheirRasterLines) {
    std::vector<Page> pages = decodeAll(twoNormalLines());
    ASSERT_EQ(pages.size(), 1u);
    const Page& page = pages[0];
    EXPECT_FALSE(page.multiRaster);
    EXPECT_EQ(page.width, 6);
    EXPECT_EQ(page.height, 12);
    EXPECT_EQ(page.commandCount, 9u);
    EXPECT_EQ(rowOf(page, 'K', 10), (Bytes{0, 0, 0, 0, 0, 0x41}));
    EXPECT_EQ(rowOf(page, 'K', 11), (Bytes{0, 0, 0, 0, 0, 0x41}));
    EXPECT_EQ(rowOf(page, 'C', 11), (Bytes{0x80, 0x80, 0x80, 0x01, 0, 0}));
    EXPECT_EQ(rowOf(page, 'K', 9), Bytes(6, 0));
    EXPECT_EQ(rowOf(page, 'C', 10), Bytes(6, 0));
    EXPECT_FALSE(page.planes[planeIndex('Y')].hasData());
}

TEST(PageDecoder, SplitSkipsAddUpAndPagesRestartAtLineZero) {
    PrinterStream stream;
    stream.skip(32767).skip(32767).skip(4466).colour('M', {0x00, 0x07}).formFeed();
    stream.colour('K', {0x00, 0x09}).formFeed();
    stream.formFeed();
    std::vector<Page> pages = decodeAll(stream.bytes());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].height, 70001);
    EXPECT_EQ(rowOf(pages[0], 'M', 70000), Bytes{0x07});
    EXPECT_EQ(pages[1].number, 2);
    EXPECT_EQ(pages[1].height, 1);
    EXPECT_EQ(rowOf(pages[1], 'K', 0), Bytes{0x09});
    EXPECT_EQ(pages[2].height, 0);
    EXPECT_EQ(pages[2].width, 0);
}

TEST(PageDecoder, PlacesBandLinesByBandIndexAndPlaneList) {
    PrinterStream stream;
    stream.multiRasterHeader(8).skip(3).planeList("KYMC");
    std::vector<Bytes> kLines(8), cLines(8), empty(8);
    kLines[0] = {0x01, 0xAA, 0xBB};
    kLines[7] = {0xFE, 0x11, 0x01, 0x22, 0x33};
    cLines[2] = {0xFC, 0x00, 0x00, 0x41};
    stream.bandBlock(kLines).bandBlock(empty).bandBlock(empty).bandBlock(cLines);
    std::vector<Bytes> nextBand(8);
    nextBand[1] = {0x00, 0x05};
    stream.planeList("K").bandBlock(nextBand).formFeed();

    std::vector<Page> pages = decodeAll(stream.bytes());
    ASSERT_EQ(pages.size(), 1u);
    const Page& page = pages[0];
    EXPECT_TRUE(page.multiRaster);
    EXPECT_EQ(page.bandLines, 8);
    EXPECT_EQ(page.height, 40);
    EXPECT_EQ(page.width, 6);
    EXPECT_EQ(rowOf(page, 'K', 24), (Bytes{0xAA, 0xBB, 0, 0, 0, 0}));
    EXPECT_EQ(rowOf(page, 'K', 31), (Bytes{0x11, 0x11, 0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(rowOf(page, 'C', 26), (Bytes{0, 0, 0, 0, 0, 0x41}));
    EXPECT_EQ(rowOf(page, 'K', 33), (Bytes{0x05, 0, 0, 0, 0, 0}));
    EXPECT_EQ(page.planes[planeIndex('K')].sentLines(), 3u);
    EXPECT_FALSE(page.planes[planeIndex('Y')].hasData());
}

TEST(PageDecoder, FortyThousandEmptyBandsBeforeABand) {
    PrinterStream stream;
    std::vector<Bytes> lines(16);
    lines[0] = {0x00, 0x01};
    stream.multiRasterHeader(16).skip(32767).skip(7233).planeList("K").bandBlock(lines).formFeed();
    std::vector<Page> pages = decodeAll(stream.bytes());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].height, 40001 * 16);
    EXPECT_EQ(rowOf(pages[0], 'K', 40000 * 16), Bytes{0x01});
    EXPECT_EQ(rowOf(pages[0], 'K', 40000 * 16 - 1), Bytes{0x00});
}

TEST(PageDecoder, UndoesLevelPackingWhenAskedTo) {
    PrinterStream stream;
    // Zero run of two packed bytes, then the packed group 33 A0 (bytes 12 34 40).
    stream.colour('K', {0xFF, 0x00, 0x01, 0x33, 0xA0}).formFeed();
    DecodeOptions options;
    options.levelPacked = true;
    std::vector<Page> pages = decodeAll(stream.bytes(), options);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(rowOf(pages[0], 'K', 0), (Bytes{0, 0, 0, 0x12, 0x34, 0x40}));
}

struct MalformedCase {
    const char* name;
    Bytes stream;
    std::size_t offset;
    const char* message;  // a part of the expected message
    bool levelPacked;
};

void PrintTo(const MalformedCase& c, std::ostream* out) { *out << c.name; }

PrinterStream bandedPage() { return std::move(PrinterStream().multiRasterHeader(8)); }

Bytes thirtyOneFullSkips() {
    PrinterStream stream;
    for (int i = 0; i < 31; ++i) stream.skip(32767);
    return stream.formFeed().bytes();
}

Bytes lineOf32768Bytes() {
    Bytes code;
    for (int i = 0; i < 256; ++i) code.insert(code.end(), {0x81, 0x11});
    return PrinterStream().colour('K', code).formFeed().bytes();
}

std::vector<MalformedCase> malformedCases() {
    return {
        {"UnknownLetter", PrinterStream().skip(1).command('Z', {}).bytes(), 9, "unknown command letter 'Z'", false},
        {"NotAnEscape", {0x41}, 0, "expected a command", false},
        {"CarriageReturnAfterASkip", PrinterStream().skip(2).raw({0x0D}).bytes(), 7, "found 0x0D", false},
        {"TruncatedHeader", {0x1B, 0x28, 0x65, 0x02}, 0, "4 of its 5 header bytes", false},
        {"TruncatedParameters", {0x1B, 0x28, 0x41, 0x05, 0x00, 0x4B, 0x00}, 0, "declares 5 parameter bytes, 2 remain",
         false},
        {"SkipWithWrongLength", PrinterStream().command('e', {0, 0, 1}).bytes(), 3, "takes 2 parameter bytes", false},
        {"SkipAbove32767", PrinterStream().skip(0x8000).bytes(), 5, "above 32767", false},
        {"PlaneLetterP", PrinterStream().colour('P', {0x00, 0x01}).bytes(), 5, "'P' (0x50) is not one of", false},
        {"PlaneListLetter", bandedPage().planeList("KX").bytes(), 18, "'X' (0x58) is not one of", false},
        {"PlaneListTwice", bandedPage().planeList("KYK").bytes(), 19, "listed twice", false},
        {"PackBitsPastTheLine", PrinterStream().colour('K', {0x05, 0x41}).formFeed().bytes(), 6,
         "runs past the end of its line", false},
        {"CountByte80InColourData", PrinterStream().colour('K', {0x00, 0x01, 0x80}).formFeed().bytes(), 8,
         "count byte 0x80", false},
        {"PackBitsPastTheBlock", bandedPage().planeList("K").command('F', {0x05, 0x41, 0x42}).bytes(), 23,
         "runs past the end of the band block", false},
        {"BlockEndsInsideALine", bandedPage().planeList("K").command('F', {0x80, 0x00, 0x41}).bytes(), 24,
         "its length does not match its lines", false},
        {"BlockWithTooFewLines", bandedPage().planeList("K").bandBlock({{0x00, 0x41}}).formFeed().bytes(), 18,
         "band block of 1 lines in bands of 8", false},
        {"BandBlockInANormalPage", PrinterStream().skip(1).bandBlock(std::vector<Bytes>(8)).bytes(), 7,
         "band block before any band height", false},
        {"BandBlockBeforePlaneList", bandedPage().bandBlock(std::vector<Bytes>(8)).bytes(), 12,
         "before any plane list", false},
        {"StartWithoutBandHeight", PrinterStream().command('I', {1}).skip(1).bytes(), 6, "not followed by a band height",
         false},
        {"StartInsideAPage", PrinterStream().skip(1).multiRasterHeader(8).bytes(), 7, "inside a page", false},
        {"ColourDataInBandedPage", bandedPage().colour('K', {0x00, 0x01}).bytes(), 12, "colour data inside", false},
        {"SkipInsideABand",
         bandedPage().planeList("KY").bandBlock(std::vector<Bytes>(8)).skip(1).formFeed().bytes(), 32,
         "raster skip inside a band: 1 of its 2", false},
        {"PageTallerThanTheLimit", thirtyOneFullSkips(), 210, "past the limit of 1000000 lines", false},
        {"LineWiderThanTheLimit", lineOf32768Bytes(), 516, "more than 32767 bytes", false},
        {"NoFormFeed", PrinterStream().skip(3).bytes(), 7, "without a form feed", false},
        {"PairCodeNeverWritten", PrinterStream().colour('K', {0x01, 0x00, 0xA8}).formFeed().bytes(), 6,
         "pair code that level packing never writes", true},
    };
}

class MalformedStream : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedStream, IsRefusedWithTheOffsetOfTheFault) {
    const MalformedCase& malformed = GetParam();
    DecodeOptions options;
    options.levelPacked = malformed.levelPacked;
    std::vector<Page> pages;
    DecodeError error;
    ASSERT_FALSE(vexao::decode::decodeStream(malformed.stream.data(), malformed.stream.size(), options, pages, error));
    EXPECT_EQ(error.offset, malformed.offset) << error.message;
    EXPECT_NE(error.message.find(malformed.message), std::string::npos) << error.message;
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedStream, ::testing::ValuesIn(malformedCases()),
                         [](const ::testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST(PageDecoder, KeepsThePagesBeforeAFault) {
    Bytes bytes = PrinterStream().colour('K', {0x00, 0x01}).formFeed().raw({0x00}).bytes();
    std::vector<Page> pages;
    DecodeError error;
    EXPECT_FALSE(vexao::decode::decodeStream(bytes.data(), bytes.size(), {}, pages, error));
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_EQ(error.offset, 16u);
}

TEST(PageDecoder, RefusesAPageThatWouldOutgrowTheMemoryLimit) {
    PrinterStream stream;
    stream.colour('K', {0x81, 0x01});
    for (int i = 0; i < 10; ++i) stream.skip(1).colour('K', {0x00, 0x01});
    Bytes bytes = stream.formFeed().bytes();
    DecodeOptions options;
    options.maxPageBytes = 1000;  // 11 lines of 128 bytes need 1408
    std::vector<Page> pages;
    DecodeError error;
    EXPECT_FALSE(vexao::decode::decodeStream(bytes.data(), bytes.size(), options, pages, error));
    EXPECT_NE(error.message.find("more than 1000 bytes"), std::string::npos) << error.message;
}

// Mutated copies of valid streams: every one must end in pages or in an
// error inside the stream, never in a crash or a hang.
TEST(PageDecoder, SurvivesMutatedStreams) {
    PrinterStream banded;
    std::vector<Bytes> lines(8);
    lines[3] = {0x02, 0x01, 0x02, 0x03, 0xFD, 0x44};
    banded.multiRasterHeader(8).skip(2).planeList("KYMC");
    for (int i = 0; i < 4; ++i) banded.bandBlock(lines);
    banded.formFeed();
    const Bytes seeds[] = {twoNormalLines(), banded.bytes()};
    std::uint32_t state = 12345;
    auto random = [&state] { return state = state * 1103515245u + 12345u, state >> 8; };
    for (const Bytes& seed : seeds)
        for (int round = 0; round < 3000; ++round) {
            Bytes bytes = seed;
            for (int change = 0, changes = 1 + random() % 4; change < changes; ++change)
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            if (random() % 3 == 0) bytes.resize(random() % bytes.size());
            DecodeOptions options;
            options.levelPacked = random() % 2 == 0;
            std::vector<Page> pages;
            DecodeError error;
            if (!vexao::decode::decodeStream(bytes.data(), bytes.size(), options, pages, error)) {
                ASSERT_LE(error.offset, bytes.size()) << error.message;
            }
        }
}

}  // namespace
