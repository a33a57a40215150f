// The built shared library is a 32-bit x86 ELF object whose defined dynamic
// symbols are exactly the host interface: nothing missing, nothing extra.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

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

std::set<std::string> definedDynamicSymbols() {
    std::string command = std::string(VEXAO_NM) + " -D --defined-only --format=posix " + VEXAO_LIBRARY_PATH;
    std::set<std::string> names;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string entry(line);
        std::string name = entry.substr(0, entry.find(' '));
        // AddressSanitizer adds a marker for every exported variable; it is the
        // sanitizer's, not the interface's.
        if (name.rfind("__odr_asan", 0) != 0) names.insert(name);
    }
    pclose(pipe);
    return names;
}

TEST(SharedLibrary, IsA32BitX86SharedObject) {
    std::ifstream file(VEXAO_LIBRARY_PATH, std::ios::binary);
    ASSERT_TRUE(file) << VEXAO_LIBRARY_PATH;
    Elf32_Ehdr header{};
    file.read(reinterpret_cast<char*>(&header), sizeof header);
    ASSERT_TRUE(file);
    EXPECT_EQ(0, std::memcmp(header.e_ident, ELFMAG, SELFMAG));
    EXPECT_EQ(header.e_ident[EI_CLASS], ELFCLASS32);
    EXPECT_EQ(header.e_ident[EI_DATA], ELFDATA2LSB);
    EXPECT_EQ(header.e_type, ET_DYN);
    EXPECT_EQ(header.e_machine, EM_386);
}

// Hosts load the library into processes of their own: it brings in nothing
// but the C runtime.
TEST(SharedLibrary, NeedsOnlyLibc) {
#ifdef VEXAO_SANITIZED
    GTEST_SKIP() << "the sanitizers bring their own runtimes";
#endif
    std::string command = std::string(VEXAO_OBJDUMP) + " -p " + VEXAO_LIBRARY_PATH;
    std::set<std::string> needed;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char name[256];
        if (std::sscanf(line, " NEEDED %255s", name) == 1) needed.insert(name);
    }
    pclose(pipe);
    EXPECT_EQ(needed, std::set<std::string>{"libc.so.6"});
}

TEST(SharedLibrary, ExportsExactlyTheHostInterface) {
    std::set<std::string> exported = definedDynamicSymbols();
    ASSERT_FALSE(exported.empty()) << "could not read the symbols of " << VEXAO_LIBRARY_PATH;
    for (const std::string& name : kExpectedExports) EXPECT_TRUE(exported.count(name)) << "missing: " << name;
    for (const std::string& name : exported) EXPECT_TRUE(kExpectedExports.count(name)) << "unexpected: " << name;
}

}  // namespace
