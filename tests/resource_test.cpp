#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/failing_allocator.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tool_run.h"
#include "toolbox/resource_api.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A folder of its own, and library file records naming files in it.
class TempFolder : public vexao_test::TempFolderTest {
protected:
    LibraryFile record(const char* name) const {
        LibraryFile file{};
        std::strncpy(file.name, name, sizeof file.name - 1);
        file.folder = folder.c_str();
        return file;
    }
};

// Builds resource files byte by byte, little-endian.
struct FileBytes {
    Bytes bytes;

    FileBytes& word(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return *this;
    }
    FileBytes& entry(std::uint32_t type, std::int16_t id, std::uint32_t dataPos) {
        word(type);
        bytes.push_back(static_cast<std::uint8_t>(id));
        bytes.push_back(static_cast<std::uint8_t>(id >> 8));
        bytes.insert(bytes.end(), {0xEE, 0xEE});
        return word(dataPos);
    }
    FileBytes& block(const Bytes& data) {
        word(static_cast<std::uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
};

// Type 8's index position at offset 8; an index at 12 with `entries`; tables
// after it, in order.
Bytes twoTableFile() {
    FileBytes file;
    file.word(0).word(0).word(12);              // 0..11: offset 8 points at the index
    file.word(3);                               // 12: three entries
    file.entry(9, 1, 0);                        // 16: same id, other type: skipped
    file.entry(8, 1, 52).entry(8, 1, 60);       // 28, 40: the first of two equal entries wins
    file.block({0xA1, 0xA2, 0xA3, 0xA4});       // 52
    file.block({0xB1, 0xB2, 0xB3, 0xB4});       // 60
    return file.bytes;
}

ResourceRec wanted(std::int32_t type, std::int16_t id) {
    ResourceRec resource{};
    resource.resType = type;
    resource.resId = id;
    resource.elemSize = 2;
    return resource;
}

class Files : public TempFolder {};
class Resources : public TempFolder {};

TEST_F(Files, PathIsTheFolderThenTheNameAndAnEmptyFolderMeansTheNameAlone) {
    write("plain", {1, 2, 3});
    LibraryFile file = record("plain");
    EXPECT_EQ(MySizeofFile(&file), 3);
    std::string slashed = folder + "/";
    file.folder = slashed.c_str();  // a doubled separator still names the file
    EXPECT_EQ(MySizeofFile(&file), 3);

    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    LibraryFile alone = record("plain");
    alone.folder = "";
    EXPECT_EQ(MyLoadLibrary2(&alone, 0), 0);
    MyFreeLibrary2(&alone);
    EXPECT_EQ(alone.stream, nullptr);
    ASSERT_EQ(chdir(previous), 0);
}

TEST_F(Files, PathsTheRecordCannotDescribeAreRefused) {
    std::string deep(300, 'd');
    LibraryFile file = record("x");
    file.folder = deep.c_str();
    EXPECT_EQ(MyLoadLibrary2(&file, 0), -138);
    EXPECT_EQ(MyCreateFile(&file), -138);
    EXPECT_EQ(MySizeofFile(&file), -138);

    std::string exact(287 - 2, 'e');  // folder + "/" + one letter = 287 characters
    file.folder = exact.c_str();
    EXPECT_EQ(MySizeofFile(&file), -138) << "fits, but does not exist";

    LibraryFile unterminated = record("");
    std::memset(unterminated.name, 'n', sizeof unterminated.name);
    EXPECT_EQ(MyLoadLibrary2(&unterminated, 0), -138);
    EXPECT_EQ(MySizeofFile(&unterminated), -138);
    LibraryFile noFolder = record("x");
    noFolder.folder = nullptr;
    EXPECT_EQ(MyCreateFile(&noFolder), -138);
}

TEST_F(Files, APathOfExactly287CharactersIsTheLongestThatOpens) {
    // No folder name may pass 255 characters, so the folder is two deep.
    std::string nested = folder + "/" + std::string(200, 'a');
    ASSERT_EQ(mkdir(nested.c_str(), 0700), 0);
    nested += "/" + std::string(287 - 2 - nested.size() - 1, 'b');  // then "/" and a one-letter name
    ASSERT_EQ(mkdir(nested.c_str(), 0700), 0);
    for (const char* name : {"x", "xy"}) std::ofstream(nested + "/" + name) << "abc";
    LibraryFile file = record("x");
    file.folder = nested.c_str();
    ASSERT_EQ((nested + "/x").size(), 287u);
    EXPECT_EQ(MySizeofFile(&file), 3);
    EXPECT_EQ(MyLoadLibrary2(&file, 0), 0);
    MyFreeLibrary2(&file);
    LibraryFile longer = record("xy");
    longer.folder = nested.c_str();
    EXPECT_EQ(MySizeofFile(&longer), -138);
    EXPECT_EQ(MyLoadLibrary2(&longer, 0), -138);
}

TEST_F(Files, OpenModesAndWhatTheyLeaveInTheRecord) {
    LibraryFile missing = record("missing");
    EXPECT_EQ(MyLoadLibrary2(&missing, 0), -138);
    EXPECT_EQ(missing.stream, nullptr);
    EXPECT_EQ(MySizeofFile(&missing), -138);

    write("data", {1, 2, 3, 4});
    LibraryFile file = record("data");
    file.stream = reinterpret_cast<FILE*>(0x1234);
    EXPECT_EQ(MyLoadLibrary2(&file, 2), -138);
    EXPECT_EQ(file.stream, reinterpret_cast<FILE*>(0x1234));

    file.stream = nullptr;
    ASSERT_EQ(MyCreateFile(&file), 0);
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_EQ(MySizeofFile(&file), 0) << "creating empties an existing file";
}

TEST_F(Files, ReadsWritesAndSeeksMoveExactlyWhatWasAsked) {
    LibraryFile file = record("rw");
    ASSERT_EQ(MyCreateFile(&file), 0);
    ASSERT_EQ(MyLoadLibrary2(&file, 1), 0);
    std::uint8_t data[] = {9, 8, 7, 6, 5};
    EXPECT_EQ(MyFileWrite(&file, data, 5), 0);
    EXPECT_EQ(MyFileSeek(&file, 1), 0);
    std::uint8_t back[4] = {};
    EXPECT_EQ(MyFileRead(&file, back, 4), 0);
    EXPECT_EQ(back[0], 8);
    EXPECT_EQ(MyFileSeek(&file, 3), 0);
    EXPECT_EQ(MyFileRead(&file, back, 3), -138) << "only two bytes remain";
    EXPECT_EQ(MyFileRead(&file, back, -1), -138);
    MyFreeLibrary2(&file);

    EXPECT_EQ(MyFileRead(&file, back, 1), -138) << "a closed record";
    EXPECT_EQ(MyFileWrite(&file, data, 1), -138);
    EXPECT_EQ(MyFileSeek(&file, 0), -138);
    MyFreeLibrary2(&file);
}

TEST_F(Resources, FindsTheFirstEntryWithTypeAndIdentifier) {
    write("tables", twoTableFile());
    LibraryFile file = record("tables");
    ASSERT_EQ(MyLoadLibrary2(&file, 0), 0);
    ResourceRec table = wanted(8, 1);
    ASSERT_EQ(MyLoadLockResource2(&file, &table), 0);
    EXPECT_EQ(table.dataLen, 4);
    EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(table.dataPtr), static_cast<std::uint8_t*>(table.dataPtr) + 4),
              (Bytes{0xA1, 0xA2, 0xA3, 0xA4})) << "no conversion on a little-endian host";
    MyUnlockFreeResource2(&table);
    EXPECT_EQ(table.dataPtr, nullptr);
    EXPECT_EQ(MyNullPHCheck(&table.dataHandle), 1);
    EXPECT_EQ(table.dataLen, 4);

    ResourceRec absent = wanted(8, 2);
    EXPECT_EQ(MyLoadLockResource2(&file, &absent), -138);
    MyFreeLibrary2(&file);
}

TEST_F(Resources, TypeKeyZeroEmptyIndexAndEmptyTable) {
    FileBytes file;
    file.word(8).word(0x55).word(1).entry(0, 3, 24).block({});
    write("zero", file.bytes);
    LibraryFile zero = record("zero");
    ASSERT_EQ(MyLoadLibrary2(&zero, 0), 0);
    ResourceRec table = wanted(0, 3);
    ASSERT_EQ(MyLoadLockResource2(&zero, &table), 0);
    EXPECT_EQ(table.dataLen, 0);
    MyUnlockFreeResource2(&table);
    ResourceRec other = wanted(4, 3);  // the word at offset 4 (0x55) points past the end
    EXPECT_EQ(MyLoadLockResource2(&zero, &other), -138);
    MyFreeLibrary2(&zero);

    FileBytes empty;
    empty.word(4).word(0);
    write("empty", empty.bytes);
    LibraryFile none = record("empty");
    ASSERT_EQ(MyLoadLibrary2(&none, 0), 0);
    ResourceRec missing = wanted(0, 0);
    EXPECT_EQ(MyLoadLockResource2(&none, &missing), -138);
    EXPECT_EQ(MyNullPHCheck(&missing.dataHandle), 1);
    MyFreeLibrary2(&none);
}

TEST_F(Resources, WriteBackLandsOnTheDataAndOnlyAtTheStoredLength) {
    Bytes original = twoTableFile();
    write("tables", original);
    LibraryFile file = record("tables");
    ASSERT_EQ(MyLoadLibrary2(&file, 1), 0);
    ResourceRec table = wanted(8, 1);
    ASSERT_EQ(MyLoadLockResource2(&file, &table), 0);
    auto* data = static_cast<std::uint8_t*>(table.dataPtr);
    data[0] = 0x11;
    data[3] = 0x44;
    EXPECT_EQ(MyWriteTable(&file, &table, 3), -138);
    EXPECT_EQ(MyWriteTable(&file, &table, 5), -138);
    MyFreeLibrary2(&file);
    EXPECT_EQ(read("tables"), original) << "a wrong length writes nothing";

    ASSERT_EQ(MyLoadLibrary2(&file, 1), 0);
    EXPECT_EQ(MyWriteTable(&file, &table, 4), 0);
    MyFreeLibrary2(&file);
    Bytes changed = original;
    changed[56] = 0x11;
    changed[59] = 0x44;
    EXPECT_EQ(read("tables"), changed) << "the length word at 52 and everything else stay";

    LibraryFile readOnly = record("tables");
    ASSERT_EQ(MyLoadLibrary2(&readOnly, 0), 0);
    EXPECT_EQ(MyWriteTable(&readOnly, &table, 4), -138);
    MyFreeLibrary2(&readOnly);
    MyUnlockFreeResource2(&table);
}

TEST_F(Resources, CorruptAndHostileFilesGiveFileErrorsWithoutAllocatingTheirClaims) {
    struct Hostile {
        const char* what;
        Bytes bytes;
    };
    auto header = [](std::uint32_t indexPos) { return FileBytes{}.word(0).word(0).word(indexPos); };
    std::vector<Hostile> cases = {
        {"index position past the end", header(4000).word(1).bytes},
        {"negative index position", header(0x80000000u).bytes},
        {"negative entry count", header(12).word(0xFFFFFFFFu).bytes},
        {"count overflowing 32 bits when multiplied", header(12).word(0x15555556u).entry(8, 1, 28).bytes},
        {"count larger than the file", header(12).word(1000).entry(8, 1, 28).bytes},
        {"data position past the end", header(12).word(1).entry(8, 1, 9999).bytes},
        {"negative data position", header(12).word(1).entry(8, 1, 0xFFFFFFF0u).bytes},
        {"length word larger than the file", header(12).word(1).entry(8, 1, 28).word(0x7FFFFFFFu).word(1).bytes},
        {"negative length word", header(12).word(1).entry(8, 1, 28).word(0xFFFFFFFEu).bytes},
        {"truncated index", header(12).word(2).entry(8, 2, 40).bytes},
        {"truncated before the index position", FileBytes{}.word(0).bytes},
    };
    for (const Hostile& hostile : cases) {
        write("hostile", hostile.bytes);
        LibraryFile file = record("hostile");
        ASSERT_EQ(MyLoadLibrary2(&file, 1), 0);
        ResourceRec table = wanted(8, 1);
        long before = vexao_test::allocationCount();
        EXPECT_EQ(MyLoadLockResource2(&file, &table), -138) << hostile.what;
        EXPECT_EQ(MyWriteTable(&file, &table, 1), -138) << hostile.what;
        EXPECT_LE(vexao_test::allocationCount() - before, 2) << hostile.what;
        EXPECT_EQ(MyNullPHCheck(&table.dataHandle), 1) << hostile.what;
        MyFreeLibrary2(&file);
    }
}

TEST_F(Resources, ExhaustedMemoryIsMinus108WhenLoadingAndAFileErrorWhenWriting) {
    write("tables", twoTableFile());
    LibraryFile file = record("tables");
    ASSERT_EQ(MyLoadLibrary2(&file, 1), 0);
    ResourceRec table = wanted(8, 1);
    {
        vexao_test::AllocationFault entryTable(1);
        EXPECT_EQ(MyLoadLockResource2(&file, &table), -108);
    }
    {
        vexao_test::AllocationFault dataBlock(2);
        EXPECT_EQ(MyLoadLockResource2(&file, &table), -108);
        EXPECT_EQ(MyNullPHCheck(&table.dataHandle), 1);
    }
    ASSERT_EQ(MyLoadLockResource2(&file, &table), 0);
    {
        vexao_test::AllocationFault entryTable(1);
        EXPECT_EQ(MyWriteTable(&file, &table, 4), -138);
    }
    MyUnlockFreeResource2(&table);
    MyFreeLibrary2(&file);
}

TEST(ByteOrder, LittleEndianHostConvertsNothingAndSwapReversesWholeUnits) {
    EXPECT_EQ(SwapBinaryDataCheck(), 0);
    std::uint8_t two[] = {1, 2, 3};
    SwapBinaryData(two, 3, 2);
    EXPECT_EQ(Bytes(two, two + 3), (Bytes{2, 1, 3}));
    std::uint8_t four[] = {1, 2, 3, 4, 5};
    SwapBinaryData(four, 5, 4);
    EXPECT_EQ(Bytes(four, four + 5), (Bytes{4, 3, 2, 1, 5}));
    std::uint8_t same[] = {1, 2, 3, 4};
    SwapBinaryData(same, 4, 1);
    SwapBinaryData(same, -4, 2);
    EXPECT_EQ(Bytes(same, same + 4), (Bytes{1, 2, 3, 4}));
}

// The tool's round trip: a file made from tables lists and extracts them, and
// the library loads them.
TEST_F(Resources, ToolCreatesFilesThatListExtractAndLoad) {
    write("a.bin", {'h', 'e', 'l', 'l', 'o'});
    write("b.bin", {1, 2, 3, 4, 5, 6});
    std::string tool = VEXAO_RSRC_TOOL;
    std::string made = path("made.rsrc");
    ASSERT_EQ(std::system((tool + " create " + made + " 4:1:" + path("a.bin") + " 12:-7:" + path("b.bin")).c_str()), 0);

    FILE* listing = popen((tool + " list " + made).c_str(), "r");
    ASSERT_NE(listing, nullptr);
    std::string text;
    char line[256];
    while (std::fgets(line, sizeof line, listing) != nullptr) text += line;
    EXPECT_EQ(pclose(listing), 0);
    EXPECT_NE(text.find("4            1        5"), std::string::npos) << text;
    EXPECT_NE(text.find("12           -7       6"), std::string::npos) << text;

    ASSERT_EQ(std::system((tool + " extract " + made + " 12 -7 " + path("out.bin")).c_str()), 0);
    EXPECT_EQ(read("out.bin"), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_NE(std::system((tool + " extract " + made + " 12 99 " + path("none.bin") + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((tool + " create " + made + " 5:1:" + path("a.bin") + " 7:1:" + path("b.bin") +
                           " 2>/dev/null").c_str()), 0) << "keys closer than 4 would share bytes";

    LibraryFile file = record("made.rsrc");
    ASSERT_EQ(MyLoadLibrary2(&file, 0), 0);
    ResourceRec table = wanted(4, 1);
    ASSERT_EQ(MyLoadLockResource2(&file, &table), 0);
    EXPECT_EQ(std::string(static_cast<char*>(table.dataPtr), 5), "hello");
    MyUnlockFreeResource2(&table);
    MyFreeLibrary2(&file);
}

// A lookup finds the first entry of a type and identifier, so a second table
// under the same pair could never be read back.
TEST_F(Resources, ToolRefusesATypeAndIdentifierGivenTwice) {
    write("a.bin", {1});
    write("b.bin", {2});
    std::string create = std::string(VEXAO_RSRC_TOOL) + " create ";
    std::string tables = " 4:1:" + path("a.bin") + " 8:2:" + path("b.bin") + " 0x4:1:" + path("b.bin");
    vexao_test::ToolRun run = vexao_test::runTool(create + path("twice.rsrc") + tables + " > /dev/null");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("table 4:1 is given twice"), std::string::npos) << run.errors;
    EXPECT_FALSE(std::ifstream(path("twice.rsrc")).good());
    EXPECT_EQ(vexao_test::runTool(create + path("one-type.rsrc") + " 4:1:" + path("a.bin") + " 4:2:" + path("b.bin"))
                  .exitCode,
              0);
}

}  // namespace
