#include <gtest/gtest.h>

#include <cstring>

#include "command/buffer_chain_internal.h"
#include "command/command_api.h"
#include "output/work_record_internal.h"
#include "tests/support/configured_record.h"
#include "tests/support/failing_allocator.h"
#include "tests/support/host.h"

namespace {

using vexao_test::Bytes;
using vexao_test::concat;
using vexao_test::skip;

// A chain head with its own buffer, released with everything grown from it.
class Chain {
public:
    Chain() {
        MyNewPH(0x8000, &head.bufHandle);
        head.start = head.cur = static_cast<std::uint8_t*>(head.bufHandle.block);
    }
    ~Chain() {
        vexao::releaseChainNodes(&head);
        MyDisposePH(&head.bufHandle);
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    // Pretends the head already holds `content` bytes.
    BufferList* filledTo(std::int32_t content) {
        head.cur = head.start + content;
        return &head;
    }

    Bytes node(int index) const {
        const BufferList* node = &head;
        for (int i = 0; i < index; ++i) node = node->next;
        return Bytes(node->start, node->cur);
    }

    int nodes() const {
        int count = 0;
        for (const BufferList* node = &head; node != nullptr; node = node->next) ++count;
        return count;
    }

    Bytes all() const {
        Bytes bytes;
        for (int i = 0; i < nodes(); ++i) {
            Bytes part = node(i);
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        return bytes;
    }

    BufferList head{};
};

// Band storage of one plane, filled row by row.
class Band {
public:
    Band() {
        MyNewPH(0x10000, &band.bufHandle);
        band.writePtr = static_cast<std::uint8_t*>(band.bufHandle.block);
        for (int i = 0; i < 16; ++i) band.linePtr[i] = band.writePtr + 4096 * i;
    }
    ~Band() { MyDisposePH(&band.bufHandle); }
    Band(const Band&) = delete;
    Band& operator=(const Band&) = delete;

    void row(int i, const Bytes& bytes) {
        std::memcpy(band.linePtr[i], bytes.data(), bytes.size());
        band.lineLen[i] = static_cast<std::int16_t>(bytes.size());
    }

    PlaneBand band{};
};

Bytes pattern(std::size_t length, std::uint8_t seed) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

TEST(RasterSkip, WritesTheCountBigEndianAndOnlyPositive16BitCounts) {
    struct Case {
        std::int32_t count;
        Bytes bytes;
    };
    for (const Case& c : {Case{1, skip(1)}, Case{300, {0x1B, 0x28, 0x65, 0x02, 0x00, 0x01, 0x2C}},
                          Case{32767, skip(32767)}, Case{65541, skip(5)}, Case{0, {}}, Case{-5, {}},
                          Case{40000, {}}}) {
        std::uint8_t out[8] = {};
        std::int32_t length = WriteSkipCommand(c.count, out);
        EXPECT_EQ(Bytes(out, out + length), c.bytes) << c.count;
    }
}

TEST(RasterSkip, LongSkipsAreSplitAt32767) {
    struct Case {
        std::int32_t count;
        Bytes bytes;
    };
    for (const Case& c : {Case{32767, skip(32767)}, Case{32768, concat({skip(32767), skip(1)})},
                          Case{65534, concat({skip(32767), skip(32767)})},
                          Case{70000, concat({skip(32767), skip(32767), skip(4466)})}}) {
        Chain chain;
        ASSERT_NE(WriteSkipMulti(c.count, &chain.head), nullptr);
        EXPECT_EQ(chain.all(), c.bytes) << c.count;
    }
}

TEST(ColourData, HeaderCarriesTheLengthLittleEndianAndThePlaneLetter) {
    std::uint8_t out[6];
    WriteSpecColor(2, 257, out);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x1B, 0x28, 0x41, 0x01, 0x01, 0x4D}));
    WriteSpecColor(6, 10, out);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x1B, 0x28, 0x41, 0x0A, 0x00, 'y'}));
    WriteSpecColor(7, 10, out);  // the eighth letter, which line production never uses
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x1B, 0x28, 0x41, 0x0A, 0x00, 'P'}));
    std::uint8_t untouched[6] = {};
    WriteSpecColor(8, 10, untouched);  // no ninth letter: nothing is written
    EXPECT_EQ(Bytes(untouched, untouched + 6), Bytes(6, 0));
}

TEST(MultiRasterHeader, CarriesTheBandHeight) {
    for (std::int16_t bandLines : {16, 8}) {
        MasterWork work{};
        work.bandLines = bandLines;
        MasterWork* handle = &work;
        std::uint8_t out[12];
        ASSERT_EQ(WriteMultiRasterCommand(&handle, out), 12);
        EXPECT_EQ(Bytes(out, out + 12), (Bytes{0x1B, 0x28, 0x49, 0x01, 0x00, 0x01, 0x1B, 0x28, 0x4A, 0x01, 0x00,
                                               static_cast<std::uint8_t>(bandLines)}));
    }
}

TEST(PlaneList, NeedsRoomForElevenBytesWhateverItsLength) {
    const Bytes lists[] = {{0x1B, 0x28, 0x4C, 0x01, 0x00, 'K'},
                           {0x1B, 0x28, 0x4C, 0x04, 0x00, 'K', 'Y', 'M', 'C'},
                           {0x1B, 0x28, 0x4C, 0x06, 0x00, 'K', 'Y', 'M', 'C', 'm', 'c'}};
    std::int16_t counts[] = {1, 4, 6};
    for (int i = 0; i < 3; ++i) {
        Chain chain;
        ASSERT_NE(WriteEscL(counts[i], &chain.head), nullptr);
        EXPECT_EQ(chain.all(), lists[i]);
    }
    Chain full;
    BufferList* tail = WriteEscL(6, full.filledTo(32756));
    EXPECT_EQ(tail, &full.head);
    EXPECT_EQ(full.head.cur - full.head.start, 32767);

    Chain spill;
    tail = WriteEscL(1, spill.filledTo(32757));
    ASSERT_NE(tail, &spill.head);
    EXPECT_EQ(spill.node(1), lists[0]);
}

TEST(BandSkip, GoesToAFreshNodeOnlyWhenSevenBytesDoNotFit) {
    Chain fits;
    EXPECT_EQ(WriteSkipMulti(5, fits.filledTo(32760)), &fits.head);
    EXPECT_EQ(fits.head.cur - fits.head.start, 32767);
    Chain spills;
    BufferList* tail = WriteSkipMulti(5, spills.filledTo(32761));
    ASSERT_NE(tail, &spills.head);
    EXPECT_EQ(spills.node(1), skip(5));
}

TEST(BandBlock, EveryLineEndsWith0x80AndTheLengthCountsThem) {
    Band empty;
    Chain chain;
    ASSERT_NE(WriteEscF(16, &empty.band, &chain.head), nullptr);
    Bytes expected = {0x1B, 0x28, 0x46, 0x10, 0x00};
    expected.insert(expected.end(), 16, 0x80);
    EXPECT_EQ(chain.all(), expected);

    Band mixed;
    mixed.row(0, {1, 2, 3});
    mixed.row(7, {4, 5, 6, 7, 8});
    Chain eight;
    ASSERT_NE(WriteEscF(8, &mixed.band, &eight.head), nullptr);
    EXPECT_EQ(eight.all(), (Bytes{0x1B, 0x28, 0x46, 0x10, 0x00, 1, 2, 3, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                  4, 5, 6, 7, 8, 0x80}));
}

TEST(BandBlock, ALineThatDoesNotFitGoesWholeToAFreshNode) {
    Band band;
    band.row(0, pattern(100, 1));
    band.row(1, pattern(200, 2));
    Chain chain;
    BufferList* tail = WriteEscF(2, &band.band, chain.filledTo(32767 - 5 - 101));
    ASSERT_EQ(chain.nodes(), 2);
    EXPECT_EQ(tail, chain.head.next);
    Bytes first = chain.node(0);
    // The length field stays in the node where the block began and counts both nodes.
    std::size_t header = first.size() - 5 - 101;
    EXPECT_EQ(first[header + 3], (302) & 0xFF);
    EXPECT_EQ(first[header + 4], 302 >> 8);
    EXPECT_EQ(chain.node(1), concat({pattern(200, 2), {0x80}}));
}

TEST(BandBlock, BlocksThatCannotBeDescribedExactlyAreRefusedUnwritten) {
    Band band;
    for (int i = 0; i < 16; ++i) band.row(i, pattern(4095, static_cast<std::uint8_t>(i)));  // 16 x 4096 > 65535
    Chain chain;
    EXPECT_EQ(WriteEscF(16, &band.band, &chain.head), nullptr);
    EXPECT_EQ(chain.all().size(), 0u);
    EXPECT_NE(WriteEscF(15, &band.band, &chain.head), nullptr) << "fifteen of them fit";

    Band broken;
    broken.band.lineLen[3] = 4097;
    Chain other;
    EXPECT_EQ(WriteEscF(8, &broken.band, &other.head), nullptr);
    broken.band.lineLen[3] = -1;
    EXPECT_EQ(WriteEscF(8, &broken.band, &other.head), nullptr);
    EXPECT_EQ(WriteEscF(17, &band.band, &other.head), nullptr);
    EXPECT_EQ(other.all().size(), 0u);
}

TEST(Chain, FreshNodeHasItsOwnBufferAndIsLinked) {
    Chain chain;
    BufferList* fresh = GetNextList(&chain.head);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(chain.head.next, fresh);
    EXPECT_EQ(chain.head.nextHandle.block, fresh);
    EXPECT_EQ(fresh->start, fresh->bufHandle.block);
    EXPECT_EQ(fresh->cur, fresh->start);
    EXPECT_EQ(fresh->next, nullptr);
}

// Several bands of long rows across many nodes: the nodes, read in order, are
// exactly the stream built independently here, and none exceeds 32767 bytes.
TEST(Chain, GrowsAcrossManyNodesWithoutSplittingPieces) {
    Band band;
    Bytes expected;
    Chain chain;
    BufferList* tail = &chain.head;
    for (int block = 0; block < 6; ++block) {
        Bytes lines;
        for (int i = 0; i < 16; ++i) {
            Bytes row = pattern(1000 + 180 * i + block, static_cast<std::uint8_t>(block * 16 + i));
            band.row(i, row);
            lines.insert(lines.end(), row.begin(), row.end());
            lines.push_back(0x80);
        }
        expected.insert(expected.end(), {0x1B, 0x28, 0x46, static_cast<std::uint8_t>(lines.size()),
                                         static_cast<std::uint8_t>(lines.size() >> 8)});
        expected.insert(expected.end(), lines.begin(), lines.end());
        tail = WriteEscF(16, &band.band, tail);
        ASSERT_NE(tail, nullptr);
    }
    EXPECT_GE(chain.nodes(), 7);
    for (int i = 0; i < chain.nodes(); ++i) EXPECT_LE(chain.node(i).size(), 32767u);
    EXPECT_EQ(chain.all(), expected);
}

TEST(Chain, EveryAllocationFailureReturnsNullAndReleasesCleanly) {
    Band band;
    for (int i = 0; i < 16; ++i) band.row(i, pattern(4000, static_cast<std::uint8_t>(i)));
    for (bool andAfter : {false, true}) {
        for (long nth = 1;; ++nth) {
            Chain chain;
            BufferList* tail = &chain.head;
            vexao_test::AllocationFault fault(nth, andAfter);
            for (int block = 0; block < 3 && tail != nullptr; ++block) tail = WriteEscF(16, &band.band, tail);
            if (!vexao_test::failureWasHit()) {
                EXPECT_NE(tail, nullptr);
                EXPECT_GT(nth, 4);
                break;
            }
            EXPECT_EQ(tail, nullptr) << "allocation " << nth;
        }  // the chain is released here; LeakSanitizer checks it all went
    }
}

// Band emission over a configured record.
class Emission : public ::testing::Test {
protected:
    explicit Emission(char model = 'f', std::int16_t rasterMode = 20) : record(model, 0, rasterMode) {
        vexao::releaseChainNodes(&record->firstList);
        record->firstList.start = record->firstList.cur = static_cast<std::uint8_t*>(record->firstList.bufHandle.block);
        for (int p = 0; p < record->planeCount; ++p) {
            PlaneBand& plane = record->planes[p];
            plane.writePtr = static_cast<std::uint8_t*>(plane.bufHandle.block);
            for (int i = 0; i < 16; ++i) plane.linePtr[i] = plane.writePtr + 4096 * i;
        }
    }

    void ink(int plane, int row) {
        record->planes[plane].linePtr[row][0] = 0x00;
        record->planes[plane].linePtr[row][1] = 0x41;
        record->planes[plane].lineLen[row] = 2;
        record->planeHasData[plane] = 1;
        record->bandLine = static_cast<std::int16_t>(row + 1);
    }

    Bytes emit() {
        BufferList* from = &record->firstList;
        while (from->next != nullptr) from = from->next;
        const std::uint8_t* mark = from->cur;
        const std::uint8_t* firstEnd;
        BufferList* tail = WriteMultiRasterImage(record.handle(), from);
        EXPECT_NE(tail, nullptr);
        firstEnd = from->cur;
        Bytes bytes(mark, firstEnd);
        for (BufferList* node = from->next; node != nullptr; node = node->next) bytes.insert(bytes.end(), node->start, node->cur);
        expectCleared();
        return bytes;
    }

    void expectCleared() {
        for (std::uint8_t flag : record->planeHasData) EXPECT_EQ(flag, 0);
        for (int p = 0; p < record->planeCount; ++p)
            for (int i = 0; i < record->bandLines; ++i) EXPECT_EQ(record->planes[p].lineLen[i], 0);
        EXPECT_EQ(record->bandLine, 0);
    }

    static Bytes emptyBlock() {
        Bytes block = {0x1B, 0x28, 0x46, 0x10, 0x00};
        block.insert(block.end(), 16, 0x80);
        return block;
    }

    static Bytes blockWithRow(int row) {
        Bytes block = {0x1B, 0x28, 0x46, 0x12, 0x00};
        for (int i = 0; i < 16; ++i) {
            if (i == row) block.insert(block.end(), {0x00, 0x41});
            block.push_back(0x80);
        }
        return block;
    }

    vexao_test::Configured record;
};

const Bytes kListK = {0x1B, 0x28, 0x4C, 0x01, 0x00, 'K'};
const Bytes kListKYMC = {0x1B, 0x28, 0x4C, 0x04, 0x00, 'K', 'Y', 'M', 'C'};

TEST_F(Emission, FirstPlaneAloneAnnouncesOnePlaneOnce) {
    ASSERT_EQ(record->planeCount, 4);
    ink(0, 0);
    EXPECT_EQ(emit(), concat({kListK, blockWithRow(0)}));
    EXPECT_EQ(record->lastEscLCount, 1);
    ink(0, 3);
    EXPECT_EQ(emit(), blockWithRow(3)) << "the same plane set is not announced again";
}

TEST_F(Emission, AnyOtherPlaneAnnouncesAllPlanesWithABlockEach) {
    ink(0, 0);
    emit();
    ink(2, 5);
    EXPECT_EQ(emit(), concat({kListKYMC, emptyBlock(), emptyBlock(), blockWithRow(5), emptyBlock()}));
    EXPECT_EQ(record->lastEscLCount, 0);
    ink(0, 1);
    EXPECT_EQ(emit(), concat({kListK, blockWithRow(1)})) << "switching back announces again";
}

TEST_F(Emission, EmptyBandsAreCountedAndSentAsOneSkipBeforeTheNextData) {
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(emit().empty());
    EXPECT_EQ(record->pendingBands, 3);
    ink(0, 0);
    EXPECT_EQ(emit(), concat({skip(3), kListK, blockWithRow(0)}));
    EXPECT_EQ(record->pendingBands, 0);

    record->pendingBands = 40000;
    ink(0, 2);
    EXPECT_EQ(emit(), concat({skip(32767), skip(7233), blockWithRow(2)}));
}

}  // namespace
