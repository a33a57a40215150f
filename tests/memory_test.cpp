#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/failing_allocator.h"
#include "toolbox/toolbox_api.h"

namespace {

bool allZero(const void* block, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

TEST(PointerHandle, OwnsAZeroFilledBlockUntilDisposed) {
    PtrHandle handle;
    std::memset(&handle, 0xA5, sizeof handle);  // MyNewPH must not trust what was there
    ASSERT_EQ(MyNewPH(1000, &handle), 0);
    ASSERT_NE(handle.block, nullptr);
    EXPECT_EQ(handle.reserved, 0);
    EXPECT_EQ(handle.state, 0);
    EXPECT_EQ(handle.padding, 0);
    EXPECT_EQ(MyNullPHCheck(&handle), 0);
    EXPECT_TRUE(allZero(handle.block, 1000));

    MyDisposePH(&handle);
    EXPECT_TRUE(allZero(&handle, sizeof handle));
    EXPECT_EQ(MyNullPHCheck(&handle), 1);
    MyDisposePH(&handle);  // a second dispose finds a zero handle
    EXPECT_TRUE(allZero(&handle, sizeof handle));
}

TEST(PointerHandle, FailedAllocationLeavesTheZeroHandle) {
    PtrHandle handle;
    std::memset(&handle, 0x5A, sizeof handle);
    vexao_test::AllocationFault fault(1);
    EXPECT_EQ(MyNewPH(64, &handle), -1);
    EXPECT_TRUE(allZero(&handle, sizeof handle));
    EXPECT_EQ(MyNullPHCheck(&handle), 1);
}

TEST(PointerHandle, NullCheckLooksAtEveryField) {
    PtrHandle handle{};
    handle.reserved = 1;
    EXPECT_EQ(MyNullPHCheck(&handle), 0);
    handle = PtrHandle{};
    handle.state = 1;
    EXPECT_EQ(MyNullPHCheck(&handle), 0);
}

TEST(PlainBlock, IsZeroFilledAndNullDisposeIsHarmless) {
    void* block = MyNewPtr(4096);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(allZero(block, 4096));
    MyDisposePtr(block);
    MyDisposePtr(nullptr);

    vexao_test::AllocationFault fault(1);
    EXPECT_EQ(MyNewPtr(16), nullptr);
}

TEST(SelfDescribingBlock, CarriesItsOwnHandleAndZerosElsewhere) {
    auto* block = static_cast<unsigned char*>(MyNewMasterWorkPtr(200));
    ASSERT_NE(block, nullptr);
    PtrHandle embedded;
    std::memcpy(&embedded, block, sizeof embedded);
    EXPECT_EQ(embedded.block, block);
    EXPECT_EQ(embedded.reserved, 0);
    EXPECT_EQ(embedded.state, 0);
    EXPECT_TRUE(allZero(block + 12, 200 - 12));
    MyDisposeMasterWorkPtr(block);  // LeakSanitizer checks that it is gone

    vexao_test::AllocationFault fault(1);
    EXPECT_EQ(MyNewMasterWorkPtr(200), nullptr);
}

TEST(SelfDescribingBlock, SmallerThanItsHandleIsRefusedWithoutAllocating) {
    long before = vexao_test::allocationCount();
    for (std::uint32_t size = 0; size < sizeof(PtrHandle); ++size) EXPECT_EQ(MyNewMasterWorkPtr(size), nullptr) << size;
    EXPECT_EQ(vexao_test::allocationCount(), before);
    void* smallest = MyNewMasterWorkPtr(sizeof(PtrHandle));
    ASSERT_NE(smallest, nullptr);
    MyDisposeMasterWorkPtr(smallest);
}

TEST(ByteCopy, UsesTheLow16BitsOfTheCountAsSigned) {
    struct Case {
        std::int32_t count;
        int copied;
    };
    for (Case c : {Case{0, 0}, Case{-3, 0}, Case{32768, 0}, Case{65535, 0}, Case{65537, 1}, Case{5, 5}}) {
        std::vector<unsigned char> source(8, 0x77), destination(8, 0);
        Mymemcpy(destination.data(), source.data(), c.count);
        int copied = 0;
        while (copied < 8 && destination[copied] == 0x77) ++copied;
        EXPECT_EQ(copied, c.copied) << "count " << c.count;
    }
}

TEST(Resource, LockYieldsItsArgument) {
    int value = 0;
    EXPECT_EQ(MyLockResource(&value), &value);
    EXPECT_EQ(MyLockResource(nullptr), nullptr);
    MyUnlockFreeResource(&value);
}

}  // namespace
