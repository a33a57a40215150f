// The built shared library is an ELF object for the architecture of the build
// whose defined dynamic symbols are exactly the host interface: nothing
// missing, nothing extra. It needs only the C library, and the i386 drop-in
// loads on systems with a C library as old as glibc 2.17.
#include <gtest/gtest.h>

#include <elf.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

const std::set<std::string> kExpectedExports = {
    // output engine
    "OutputOpen", "OutputInit", "OutputInitTwo", "OutputInitPart", "OutputClose", "OutputProduce",
    "OutputFlush", "OutputFormFeed", "OutputComplete", "WriteRestData_Normal", "WriteRestData_Multi",
    // command encoders and the buffer chain
    "WriteSkipCommand", "WriteSpecColor", "WriteMultiRasterCommand", "WriteEscL", "WriteEscF", "WriteSkipMulti",
    "WriteMultiRasterImage", "GetNextList",
    // compression
    "packbits", "LeftPack", "pack83", "tblqzo73l",
    // memory and handles
    "MyNewPtr", "MyDisposePtr", "MyNewPH", "MyDisposePH", "MyNullPHCheck", "MyNewMasterWorkPtr",
    "MyDisposeMasterWorkPtr", "Mymemcpy", "MyLockResource", "MyUnlockFreeResource",
    // files and resource tables
    "MyLoadLibrary2", "MyFreeLibrary2", "MyCreateFile", "MySizeofFile", "MyFileRead", "MyFileWrite", "MyFileSeek",
    "MyMemCopy2", "MyStrCat", "MyLoadLockResource2", "MyUnlockFreeResource2", "MyWriteTable", "SwapBinaryDataCheck",
    "SwapBinaryData",
};



// What `command` prints, line by line.
std::vector<std::string> linesOf(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) lines.emplace_back(line);
    pclose(pipe);
    return lines;
}

#if defined(__i386__)
constexpr unsigned char kElfClass = ELFCLASS32;
constexpr std::uint16_t kMachine = EM_386;
#elif defined(__x86_64__)
constexpr unsigned char kElfClass = ELFCLASS64;
constexpr std::uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr unsigned char kElfClass = ELFCLASS64;
constexpr std::uint16_t kMachine = EM_AARCH64;
#endif

TEST(SharedLibrary, IsALittleEndianSharedObjectForTheBuildsArchitecture) {
    std::ifstream file(VEXAO_LIBRARY_PATH, std::ios::binary);
    ASSERT_TRUE(file) << VEXAO_LIBRARY_PATH;
    unsigned char ident[EI_NIDENT];
    file.read(reinterpret_cast<char*>(ident), sizeof ident);
    std::uint16_t typeAndMachine[2];  // e_type and e_machine follow the identification in both classes
    file.read(reinterpret_cast<char*>(typeAndMachine), sizeof typeAndMachine);
    ASSERT_TRUE(file);
    EXPECT_EQ(0, std::memcmp(ident, ELFMAG, SELFMAG));
    EXPECT_EQ(ident[EI_CLASS], kElfClass);
    EXPECT_EQ(ident[EI_DATA], ELFDATA2LSB);
    EXPECT_EQ(typeAndMachine[0], ET_DYN);
    EXPECT_EQ(typeAndMachine[1], kMachine);
}

// glibc symbol versions are "GLIBC_" and two or three numbers.
std::vector<int> glibcVersion(const std::string& line) {
    std::size_t at = line.find("GLIBC_");
    if (at == std::string::npos) return {};
    std::vector<int> numbers;
    for (std::size_t i = at + 6; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]));) {
        std::size_t end = i;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
        numbers.push_back(std::stoi(line.substr(i, end - i)));
        i = end < line.size() && line[end] == '.' ? end + 1 : line.size();
    }
    return numbers;
}

TEST(SharedLibrary, TheI386DropInNeedsNoCLibraryNewerThanGlibc2_17) {
#if !defined(__i386__)
    GTEST_SKIP() << "only the i386 library is loaded by hosts on older systems";
#endif
    std::vector<std::string> symbols = linesOf(std::string(VEXAO_OBJDUMP) + " -T " + VEXAO_LIBRARY_PATH);
    int versioned = 0;
    for (const std::string& line : symbols) {
        std::vector<int> version = glibcVersion(line);
        if (version.empty()) continue;
        ++versioned;
        EXPECT_LE(version, (std::vector<int>{2, 17})) << line;
    }
    EXPECT_GT(versioned, 5) << "objdump -T listed no versioned C library symbols";
}

// Hosts load the library into processes of their own: it brings in nothing
// but the C runtime.
TEST(SharedLibrary, NeedsOnlyLibc) {
#ifdef VEXAO_SANITIZED
    GTEST_SKIP() << "the sanitizers bring their own runtimes";
#endif
    std::set<std::string> needed;
    for (const std::string& line : linesOf(std::string(VEXAO_OBJDUMP) + " -p " + VEXAO_LIBRARY_PATH)) {
        char name[256];
        if (std::sscanf(line.c_str(), " NEEDED %255s", name) == 1) needed.insert(name);
    }
    EXPECT_EQ(needed, std::set<std::string>{"libc.so.6"});
}

std::set<std::string> definedDynamicSymbols() {
    std::set<std::string> names;
    for (const std::string& entry :
         linesOf(std::string(VEXAO_NM) + " -D --defined-only --format=posix " + VEXAO_LIBRARY_PATH)) {
        std::string name = entry.substr(0, entry.find(' '));
        // AddressSanitizer adds a marker for every exported variable; it is the
        // sanitizer's, not the interface's.
        if (name.rfind("__odr_asan", 0) != 0) names.insert(name);
    }
    return names;
}

TEST(SharedLibrary, ExportsExactlyTheHostInterface) {
    std::set<std::string> exported = definedDynamicSymbols();
    ASSERT_FALSE(exported.empty()) << "could not read the symbols of " << VEXAO_LIBRARY_PATH;
    for (const std::string& name : kExpectedExports) EXPECT_TRUE(exported.count(name)) << "missing: " << name;
    for (const std::string& name : exported) EXPECT_TRUE(kExpectedExports.count(name)) << "unexpected: " << name;
}

}  // namespace
