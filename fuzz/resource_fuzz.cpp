// Random resource files through lookup, load and write-back. Whatever the
// bytes claim, the library must give 0, -138 or -108, touch no memory outside
// its blocks and leave nothing allocated.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "toolbox/resource_api.h"

namespace {

const std::string& scratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/vexao-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        return std::string(pattern);
    }();
    return folder;
}

void expectStatus(std::int16_t status) {
    if (status != 0 && status != VEXAO_FILE_ERROR && status != VEXAO_OUT_OF_MEMORY) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LibraryFile file{};
    std::strcpy(file.name, "input.rsrc");
    file.folder = scratchFolder().c_str();
    std::string path = scratchFolder() + "/input.rsrc";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    if (MyLoadLibrary2(&file, 1) != 0) return 0;
    // The wanted tables come from the input's first bytes, so the fuzzer can
    // steer lookups to the entries it builds.
    for (std::size_t probe = 0; probe + 6 <= size && probe < 18; probe += 6) {
        ResourceRec table{};
        table.resType = static_cast<std::int32_t>(data[probe] | data[probe + 1] << 8 | data[probe + 2] << 16) & 0xFFFF;
        table.resId = static_cast<std::int16_t>(data[probe + 4] | data[probe + 5] << 8);
        table.elemSize = static_cast<std::int16_t>(data[probe + 3] % 5);
        std::int16_t loaded = MyLoadLockResource2(&file, &table);
        expectStatus(loaded);
        if (loaded == 0) expectStatus(MyWriteTable(&file, &table, table.dataLen));
        MyUnlockFreeResource2(&table);
    }
    if (MySizeofFile(&file) != static_cast<std::int32_t>(size)) std::abort();  // write-back never grows the file
    MyFreeLibrary2(&file);
    return 0;
}
