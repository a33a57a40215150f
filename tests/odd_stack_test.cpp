// Hosts built for older i386 conventions keep their stack aligned to 4 bytes
// only, where the library's own code keeps it at 16. Every export must work
// when entered from such a stack, on every instruction-set path of the byte
// kernels. ctest runs this program on processor models that select each path
// and tells it which one to expect.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command/command_api.h"
#include "compress/compress_api.h"
#include "compress/kernels_internal.h"
#include "output/output_api.h"
#include "tests/support/document.h"
#include "toolbox/resource_api.h"

// Calls `function` with `count` 32-bit arguments on a stack whose pointer is
// `stackPointer` at the call instruction, and returns what it left in eax.
extern "C" std::uint32_t vexao_call_on_stack(const void* function, const std::uint32_t* arguments,
                                             std::uint32_t count, void* stackPointer);
asm(R"(
    .text
    .globl vexao_call_on_stack
    .type vexao_call_on_stack, @function
vexao_call_on_stack:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    movl 8(%ebp), %edx
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl 20(%ebp), %edi
    movl %edi, %esp
    cld
    rep movsl
    call *%edx
    leal -8(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebp
    ret
    .size vexao_call_on_stack, .-vexao_call_on_stack
)");

namespace {

using vexao_test::Bytes;

// A stack of its own whose pointer, at each call, lies `offset` bytes past a
// 16-byte boundary.
class OddStack {
public:
    explicit OddStack(std::uint32_t offset) : offset_(offset), memory_(1 << 18) {}

    template <typename Result, typename... Params, typename... Args>
    Result call(Result (*function)(Params...) noexcept, Args... args) {
        std::uint32_t words[] = {0, word(static_cast<Params>(args))...};
        auto top = reinterpret_cast<std::uintptr_t>(memory_.data() + memory_.size() - 64);
        auto pointer = (top & ~std::uintptr_t{15}) - 16 * 16 + offset_;
        std::uint32_t result = vexao_call_on_stack(reinterpret_cast<const void*>(function), words + 1,
                                                   sizeof...(Args), reinterpret_cast<void*>(pointer));
        if constexpr (std::is_pointer_v<Result>) return reinterpret_cast<Result>(static_cast<std::uintptr_t>(result));
        else if constexpr (!std::is_void_v<Result>) return static_cast<Result>(result);
    }

private:
    template <typename T>
    static std::uint32_t word(T value) {
        if constexpr (std::is_pointer_v<T>) return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
        else return static_cast<std::uint32_t>(value);
    }

    std::uint32_t offset_;
    std::vector<std::uint8_t> memory_;
};

// The host protocol for one document, every call entered from `stack`.
Bytes printDocument(OddStack& stack, const vexao_test::Family& family, const std::vector<vexao_test::Page>& pages) {
    Bytes stream;
    MasterWork* work = nullptr;
    auto send = [&](std::int32_t result, OutputDesc* const& descriptor) {  // read once the call has filled it
        EXPECT_EQ(result, 0);
        if (result != 0) return;
        Bytes bytes = vexao_test::sentBytes(descriptor);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        stack.call(OutputComplete, &work);
    };
    OutputParams params = vexao_test::familyParams(family);
    EXPECT_EQ(stack.call(OutputOpen, &work), VEXAO_INTERFACE_VERSION);
    EXPECT_EQ(stack.call(OutputInitTwo, &work, &params, family.model), 0);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) stack.call(OutputInitPart, &work, &params);
        for (std::size_t number = 0; number < pages[p].lines.size(); ++number) {
            std::vector<Bytes> planes = pages[p].lines[number];
            RasterInput line{};
            line.lineNumber = static_cast<std::int32_t>(number);
            for (std::size_t k = 0; k < planes.size(); ++k) {
                line.plane[k].data = planes[k].empty() ? nullptr : planes[k].data();
                line.plane[k].pixelWidth = static_cast<std::int16_t>(planes[k].size() * family.pixelsPerByte);
            }
            OutputDesc* descriptor = nullptr;
            send(stack.call(OutputProduce, &work, &line, &descriptor), descriptor);
        }
        OutputDesc* descriptor = nullptr;
        send(stack.call(OutputFlush, &work, &descriptor), descriptor);
        send(stack.call(OutputFormFeed, &work, &descriptor), descriptor);
    }
    stack.call(OutputClose, &work);
    return stream;
}

const std::uint32_t kOffsets[] = {4, 8, 12};

TEST(OddStack, RunsTheKernelPathTheProcessorModelSelects) {
    const char* expected = std::getenv("VEXAO_EXPECTED_KERNELS");
    if (expected == nullptr) GTEST_SKIP() << "no processor model named";
    vexao::SimdPath path = std::string(expected) == "avx2"   ? vexao::SimdPath::Avx2
                           : std::string(expected) == "sse2" ? vexao::SimdPath::Sse2
                                                             : vexao::SimdPath::Word;
    EXPECT_EQ(&vexao::fastestKernels(), &vexao::kernelsFor(path)) << expected;
}

TEST(OddStack, DocumentsInEveryModeFamilyComeOutTheSame) {
    for (const vexao_test::Family& family : vexao_test::allFamilies()) {
        std::vector<vexao_test::Page> pages = {vexao_test::randomPage(family, 5, 40, 700),
                                               vexao_test::densePage(family, 6, 20, 300)};
        Bytes aligned = vexao_test::driveDocument(family, pages).stream;
        for (std::uint32_t offset : kOffsets) {
            OddStack stack(offset);
            EXPECT_EQ(printDocument(stack, family, pages), aligned) << family.name << ", offset " << offset;
        }
    }
}

TEST(OddStack, CompressorsAndEncodersGiveTheSameBytes) {
    Bytes input(5000);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i % 7 < 3 ? 0x22 : (i * 31) % 5);
    Bytes packed(6000), levels(6000), expectedPacked(6000), expectedLevels(6000);
    std::int32_t packedLength = packbits(expectedPacked.data(), input.data(), 5000);
    std::int32_t levelLength = pack83(expectedLevels.data(), input.data(), 5000, nullptr);
    for (std::uint32_t offset : kOffsets) {
        OddStack stack(offset);
        EXPECT_EQ(stack.call(packbits, packed.data(), input.data(), 5000), packedLength);
        EXPECT_EQ(packed, expectedPacked);
        EXPECT_EQ(stack.call(pack83, levels.data(), input.data(), 5000, static_cast<MasterWork*>(nullptr)), levelLength);
        EXPECT_EQ(levels, expectedLevels);
        std::uint8_t command[8] = {};
        EXPECT_EQ(stack.call(LeftPack, command, 300), 6);
        EXPECT_EQ(stack.call(WriteSkipCommand, 1000, command), 7);
        stack.call(WriteSpecColor, 7, 12, command);
        EXPECT_EQ(command[5], 'P');
    }
}

TEST(OddStack, MemoryFilesAndResourcesWork) {
    char folder[] = "/tmp/vexao-odd-stack-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    for (std::uint32_t offset : kOffsets) {
        OddStack stack(offset);
        PtrHandle handle{};
        EXPECT_EQ(stack.call(MyNewPH, 1000u, &handle), 0);
        EXPECT_EQ(stack.call(MyNullPHCheck, &handle), 0);
        stack.call(MyDisposePH, &handle);
        void* block = stack.call(MyNewMasterWorkPtr, 64u);
        ASSERT_NE(block, nullptr);
        stack.call(MyDisposeMasterWorkPtr, block);

        LibraryFile file{};
        std::snprintf(file.name, sizeof file.name, "table%u", offset);
        file.folder = folder;
        std::uint32_t words[3] = {1, 2, 3};
        ASSERT_EQ(stack.call(MyCreateFile, &file), 0);
        ASSERT_EQ(stack.call(MyLoadLibrary2, &file, 1), 0);
        EXPECT_EQ(stack.call(MyFileWrite, &file, static_cast<const void*>(words), 12), 0);
        EXPECT_EQ(stack.call(MyFileSeek, &file, 4), 0);
        std::uint32_t back[2] = {};
        EXPECT_EQ(stack.call(MyFileRead, &file, static_cast<void*>(back), 8), 0);
        EXPECT_EQ(back[0], 2u);
        stack.call(MyFreeLibrary2, &file);
        EXPECT_EQ(stack.call(MySizeofFile, &file), 12);
        std::remove((std::string(folder) + "/" + file.name).c_str());
    }
    rmdir(folder);
}

}  // namespace
