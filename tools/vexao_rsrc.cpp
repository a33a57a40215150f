// vexao-rsrc: lists, extracts and creates resource files, so that hosts and
// tests never build one by hand. Reading goes through the library's own file
// and table functions.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "toolbox/resource_api.h"
#include "driver/staged_file.h"

namespace {

enum ExitCode { kOk = 0, kFileError = 1, kUsage = 2, kOutOfMemory = 3, kCannotWrite = 4 };

const char kUsageText[] =
    "usage: vexao-rsrc list FILE [--type KEY]\n"
    "       vexao-rsrc extract FILE TYPE ID OUTPUT\n"
    "       vexao-rsrc create FILE TYPE:ID:PATH...\n"
    "\n"
    "Resource files hold tables found by a type key and an identifier. A type key\n"
    "is also the file position where the position of its index is kept, so the\n"
    "keys of one file must lie at least 4 apart; create accepts keys of 4 to 65532.\n"
    "Files made by create keep the index position at offset 0 as well, which is\n"
    "where list looks unless --type names a key. Numbers may be decimal or 0x hex.\n"
    "\n"
    "  list      print the type key, identifier and length of every table\n"
    "  extract   write the data of one table to OUTPUT\n"
    "  create    make FILE from tables, each read from PATH; every TYPE:ID pair\n"
    "            names one table only\n"
    "\n"
    "FILE (create) and OUTPUT (extract) appear only once completely written.\n"
    "exit codes: 0 done, 1 file error, table not found or tables too large for\n"
    "            a resource file, 2 bad usage, 3 out of memory, 4 cannot write\n"
    "            the output\n";

constexpr long kLowestCreatedType = 4;
constexpr long kHighestCreatedType = 65532;

int usage(const char* problem) {
    std::fprintf(stderr, "vexao-rsrc: %s\n\n%s", problem, kUsageText);
    return kUsage;
}

bool parseNumber(const char* text, long low, long high, long* value) {
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// A LibraryFile naming `path`: its folder part and its last component.
bool describeFile(const std::string& path, LibraryFile* file, std::string* folder) {
    std::size_t slash = path.rfind('/');
    *folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.size() >= sizeof file->name) return false;
    std::memset(file, 0, sizeof *file);
    std::memcpy(file->name, name.c_str(), name.size() + 1);
    file->folder = folder->c_str();
    return true;
}

std::uint32_t readLittleEndian(const std::uint8_t* bytes, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

class OpenFile {
public:
    explicit OpenFile(const std::string& path) {
        if (!describeFile(path, &file, &folder)) return;
        open = MyLoadLibrary2(&file, 0) == 0;
    }
    ~OpenFile() { MyFreeLibrary2(&file); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool readAt(std::int32_t position, void* buffer, std::int32_t length) {
        return MyFileSeek(&file, position) == 0 && MyFileRead(&file, buffer, length) == 0;
    }

    LibraryFile file{};
    std::string folder;
    bool open = false;
};

// Writes `length` bytes to `path`, which appears only once all are written.
int writeOutput(const std::string& path, const void* bytes, std::size_t length) {
    vexao::driver::StagedFile output(path);
    if (output.stream() == nullptr || std::fwrite(bytes, 1, length, output.stream()) != length || !output.commit())
        return std::fprintf(stderr, "vexao-rsrc: cannot write %s\n", output.error().c_str()), kCannotWrite;
    return kOk;
}

int listTables(const std::string& path, long typeKey) {
    OpenFile input(path);
    if (!input.open) return std::fprintf(stderr, "vexao-rsrc: cannot open %s\n", path.c_str()), kFileError;
    std::uint8_t word[4];
    if (!input.readAt(static_cast<std::int32_t>(typeKey), word, 4))
        return std::fprintf(stderr, "vexao-rsrc: %s has no index position at %ld\n", path.c_str(), typeKey), kFileError;
    auto indexPos = static_cast<std::int32_t>(readLittleEndian(word, 4));
    if (!input.readAt(indexPos, word, 4)) return std::fprintf(stderr, "vexao-rsrc: %s: no index\n", path.c_str()), kFileError;
    auto count = static_cast<std::int32_t>(readLittleEndian(word, 4));
    std::int32_t size = MySizeofFile(&input.file);
    if (count < 0 || size < 0 || count > (size - indexPos) / 12)
        return std::fprintf(stderr, "vexao-rsrc: %s: the index claims %d entries\n", path.c_str(), count), kFileError;
    std::printf("%-12s %-8s %s\n", "type", "id", "length");
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t entry[12], length[4];
        if (!input.readAt(indexPos + 4 + 12 * i, entry, 12)) return kFileError;
        auto dataPos = static_cast<std::int32_t>(readLittleEndian(entry + 8, 4));
        bool known = input.readAt(dataPos, length, 4);
        std::printf("%-12u %-8d %s\n", readLittleEndian(entry, 4), static_cast<std::int16_t>(readLittleEndian(entry + 4, 2)),
                    known ? std::to_string(static_cast<std::int32_t>(readLittleEndian(length, 4))).c_str() : "unreadable");
    }
    return kOk;
}

int extractTable(const std::string& path, long type, long id, const std::string& outputPath) {
    OpenFile input(path);
    if (!input.open) return std::fprintf(stderr, "vexao-rsrc: cannot open %s\n", path.c_str()), kFileError;
    ResourceRec table{};
    table.resType = static_cast<std::int32_t>(type);
    table.resId = static_cast<std::int16_t>(id);
    table.elemSize = 1;
    std::int16_t result = MyLoadLockResource2(&input.file, &table);
    int code = kOk;
    if (result == VEXAO_OUT_OF_MEMORY) {
        std::fprintf(stderr, "vexao-rsrc: out of memory loading table %ld:%ld\n", type, id);
        code = kOutOfMemory;
    } else if (result != 0) {
        std::fprintf(stderr, "vexao-rsrc: %s has no readable table %ld:%ld\n", path.c_str(), type, id);
        code = kFileError;
    } else {
        code = writeOutput(outputPath, table.dataPtr, static_cast<std::size_t>(table.dataLen));
    }
    MyUnlockFreeResource2(&table);
    return code;
}

struct TableSource {
    long type, id;
    std::vector<char> data;
};

void putLittleEndian(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Header words at offset 0 and at every type key, then one shared index,
// then the data blocks.
std::vector<std::uint8_t> layOut(const std::vector<TableSource>& tables) {
    long highestType = 0;
    for (const TableSource& table : tables) highestType = std::max(highestType, table.type);
    std::size_t indexPos = static_cast<std::size_t>(highestType) + 4;
    std::size_t dataPos = indexPos + 4 + 12 * tables.size();
    std::vector<std::uint8_t> file(dataPos, 0);
    putLittleEndian(file, 0, static_cast<std::uint32_t>(indexPos), 4);
    putLittleEndian(file, indexPos, static_cast<std::uint32_t>(tables.size()), 4);
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const TableSource& table = tables[i];
        putLittleEndian(file, static_cast<std::size_t>(table.type), static_cast<std::uint32_t>(indexPos), 4);
        std::size_t entry = indexPos + 4 + 12 * i;
        putLittleEndian(file, entry, static_cast<std::uint32_t>(table.type), 4);
        putLittleEndian(file, entry + 4, static_cast<std::uint32_t>(table.id), 2);
        putLittleEndian(file, entry + 8, static_cast<std::uint32_t>(file.size()), 4);
        std::size_t block = file.size();
        file.resize(block + 4 + table.data.size());
        putLittleEndian(file, block, static_cast<std::uint32_t>(table.data.size()), 4);
        std::copy(table.data.begin(), table.data.end(), file.begin() + static_cast<long>(block) + 4);
    }
    return file;
}

bool parseTableSource(const std::string& entry, TableSource* table, std::string* problem) {
    std::size_t first = entry.find(':'), second = entry.find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) return *problem = "expected TYPE:ID:PATH, got " + entry, false;
    std::string type = entry.substr(0, first), id = entry.substr(first + 1, second - first - 1), path = entry.substr(second + 1);
    if (!parseNumber(type.c_str(), kLowestCreatedType, kHighestCreatedType, &table->type))
        return *problem = "type key must be a number from 4 to 65532: " + type, false;
    if (!parseNumber(id.c_str(), -32768, 32767, &table->id)) return *problem = "identifier must fit 16 bits: " + id, false;
    std::ifstream input(path, std::ios::binary);
    if (!input) return *problem = "cannot read " + path, false;
    table->data.assign(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
    return true;
}

// A lookup finds the first entry of a type key and identifier, so a second
// table under the same pair could never be read; and the position words of
// two type keys less than 4 apart would overlap.
bool clashes(const std::vector<TableSource>& tables, const TableSource& table, std::string* problem) {
    for (const TableSource& other : tables) {
        if (other.type == table.type && other.id == table.id) {
            *problem = "table " + std::to_string(table.type) + ":" + std::to_string(table.id) + " is given twice";
            return true;
        }
        if (other.type != table.type && std::labs(other.type - table.type) < 4) {
            *problem = "type keys " + std::to_string(other.type) + " and " + std::to_string(table.type) +
                       " would share bytes: keep keys 4 apart";
            return true;
        }
    }
    return false;
}

// The library reads positions and lengths as signed 32-bit numbers. The
// header words are counted as if the highest type key were taken.
bool fitsResourceFile(const std::vector<TableSource>& tables) {
    std::uint64_t size = kHighestCreatedType + 8;
    for (const TableSource& table : tables) size += 12 + 4 + static_cast<std::uint64_t>(table.data.size());
    return size <= INT32_MAX;
}

int createFile(const std::string& path, const std::vector<std::string>& entries) {
    std::vector<TableSource> tables;
    for (const std::string& entry : entries) {
        TableSource table;
        std::string problem;
        if (!parseTableSource(entry, &table, &problem) || clashes(tables, table, &problem))
            return usage(problem.c_str());
        tables.push_back(std::move(table));
    }
    if (!fitsResourceFile(tables))
        return std::fprintf(stderr, "vexao-rsrc: the tables are too large: a resource file holds at most %d bytes\n",
                            INT32_MAX),
               kFileError;
    std::vector<std::uint8_t> bytes = layOut(tables);
    return writeOutput(path, bytes.data(), bytes.size());
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage("no command given");
    if (args[0] == "--help" || args[0] == "-h") return std::fputs(kUsageText, stdout), kOk;
    const std::string& command = args[0];
    if (command == "list" && (args.size() == 2 || (args.size() == 4 && args[2] == "--type"))) {
        long type = 0;
        if (args.size() == 4 && !parseNumber(args[3].c_str(), 0, INT32_MAX, &type)) return usage("bad type key");
        return listTables(args[1], type);
    }
    if (command == "extract" && args.size() == 5) {
        long type, id;
        if (!parseNumber(args[2].c_str(), 0, INT32_MAX, &type) || !parseNumber(args[3].c_str(), -32768, 32767, &id))
            return usage("bad type key or identifier");
        return extractTable(args[1], type, id, args[4]);
    }
    if (command == "create" && args.size() >= 3) return createFile(args[1], {args.begin() + 2, args.end()});
    return usage(("cannot understand: " + command).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vexao-rsrc: out of memory\n");
        return kOutOfMemory;
    }
}
