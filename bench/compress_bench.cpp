// Throughput of packbits, LeftPack and pack83, in bytes of input per second,
// on raster lines of the shapes a printer driver sees.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench/raster_pages.h"
#include "compress/compress_api.h"
#include "compress/kernels_internal.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A wide raster line: 8190 bytes is a multiple of three, so pack83 works on
// whole groups only. Each benchmark cycles through this many different lines:
// a processor learns the branches of a single line repeated, and would make
// branchy code look faster than it is on a page.
constexpr int kLineLength = 8190;
constexpr int kLines = 64;

enum class Shape { Random, LongRuns, AlternatingPairs, Halftone, PhotoPlanes };

// What PackBits meets in a photograph: the level-packed planes of the dense
// photo page, line after line.
Bytes photoPlanes() {
    vexao_bench::RasterPage page(vexao_bench::Content::DensePhoto, vexao_bench::kSixPlanesFourBits);
    Bytes bytes;
    Bytes packed(static_cast<std::size_t>(page.lineBytes()));
    for (int y = 0; bytes.size() < std::size_t{kLines} * kLineLength; ++y)
        for (int k = 0; k < page.planes(); ++k) {
            std::int32_t length = pack83(packed.data(), page.plane(y, k), page.lineBytes(), nullptr);
            bytes.insert(bytes.end(), packed.begin(), packed.begin() + length);
        }
    return bytes;
}

// kLines lines of the given shape, back to back. With `levels` set, every
// byte holds two five-level pixels (nibbles 0..4), the input of pack83;
// otherwise bytes are arbitrary, like a one-bit plane.
Bytes makeLines(Shape shape, bool levels) {
    constexpr std::size_t kTotal = std::size_t{kLines} * kLineLength;
    if (shape == Shape::PhotoPlanes) {
        Bytes bytes = photoPlanes();
        bytes.resize(kTotal);
        return bytes;
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<int> anyByte(0, 255), level(0, 4), percent(0, 99);
    auto randomByte = [&] {
        return static_cast<std::uint8_t>(levels ? level(random) << 4 | level(random) : anyByte(random));
    };
    Bytes bytes;
    bytes.reserve(kTotal);
    while (bytes.size() < kTotal) {
        switch (shape) {
            case Shape::Random: bytes.push_back(randomByte()); break;
            case Shape::LongRuns:
                bytes.insert(bytes.end(), std::uniform_int_distribution<std::size_t>(100, 1000)(random), randomByte());
                break;
            case Shape::AlternatingPairs: {
                std::uint8_t pair = bytes.size() % 4 == 0 ? (levels ? 0x12 : 0x55) : (levels ? 0x34 : 0xAA);
                bytes.insert(bytes.end(), 2, pair);
                break;
            }
            case Shape::Halftone: {
                // Stretches of blank paper with a sparse dot every few bytes,
                // then a dense dithered area of varying tones.
                for (int i = 0; i < 600; ++i)
                    bytes.push_back(percent(random) < 4 ? static_cast<std::uint8_t>(levels ? 0x10 : 0x08) : 0);
                for (int i = 0; i < 200; ++i) bytes.push_back(percent(random) < 30 ? 0 : randomByte());
                break;
            }
            case Shape::PhotoPlanes: break;
        }
    }
    bytes.resize(kTotal);
    return bytes;
}

const std::uint8_t* lineOf(const Bytes& lines, int index) {
    return lines.data() + static_cast<std::size_t>(index % kLines) * kLineLength;
}

void finish(benchmark::State& state, int bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytesPerIteration);
}

void packbitsThroughput(benchmark::State& state, Shape shape) {
    const Bytes lines = makeLines(shape, false);
    Bytes output(kLineLength + kLineLength / 126 + 1);
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(packbits(output.data(), lineOf(lines, index++), kLineLength));
        benchmark::ClobberMemory();
    }
    finish(state, kLineLength);
}

void pack83Throughput(benchmark::State& state, Shape shape) {
    const Bytes lines = makeLines(shape, true);
    Bytes output(2 * kLineLength / 3 + 2);
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(pack83(output.data(), lineOf(lines, index++), kLineLength, nullptr));
        benchmark::ClobberMemory();
    }
    finish(state, kLineLength);
}

// The peer: libtiff's PackBits encoder, fed one line per strip of an
// eight-bit grey image that is written to nowhere. Its figure includes the
// little per-strip bookkeeping a libtiff caller cannot avoid.
class TiffPackBits {
public:
    explicit TiffPackBits(int lineLength) {
        tiff_ = TIFFClientOpen("peer", "w", this, noRead, discard, seek, close, size, noMap, noUnmap);
        if (tiff_ == nullptr) return;
        TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, lineLength);
        TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, kStrips);
        TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, 1);
        TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    }
    ~TiffPackBits() {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }
    TiffPackBits(const TiffPackBits&) = delete;
    TiffPackBits& operator=(const TiffPackBits&) = delete;

    bool encode(const std::uint8_t* line, int length) {
        void* data = const_cast<std::uint8_t*>(line);
        bool ok = tiff_ != nullptr && TIFFWriteEncodedStrip(tiff_, strip_, data, length) == length;
        strip_ = (strip_ + 1) % kStrips;
        return ok;
    }

private:
    static constexpr int kStrips = 64;

    static TiffPackBits& self(thandle_t handle) { return *static_cast<TiffPackBits*>(handle); }
    static tmsize_t noRead(thandle_t, void*, tmsize_t) { return 0; }
    static tmsize_t discard(thandle_t handle, void*, tmsize_t length) {
        TiffPackBits& peer = self(handle);
        peer.offset_ += length;
        if (peer.offset_ > peer.size_) peer.size_ = peer.offset_;
        return length;
    }
    static toff_t seek(thandle_t handle, toff_t offset, int whence) {
        TiffPackBits& peer = self(handle);
        peer.offset_ = whence == SEEK_SET ? offset : whence == SEEK_CUR ? peer.offset_ + offset : peer.size_ + offset;
        return peer.offset_;
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t handle) { return self(handle).size_; }
    static int noMap(thandle_t, void**, toff_t*) { return 0; }
    static void noUnmap(thandle_t, void*, toff_t) {}

    TIFF* tiff_ = nullptr;
    int strip_ = 0;
    toff_t offset_ = 0;
    toff_t size_ = 0;
};

void tiffPackBitsThroughput(benchmark::State& state, Shape shape) {
    const Bytes lines = makeLines(shape, false);
    TiffPackBits peer(kLineLength);
    int index = 0;
    for (auto _ : state)
        if (!peer.encode(lineOf(lines, index++), kLineLength)) {
            state.SkipWithError("libtiff refused the strip");
            break;
        }
    finish(state, kLineLength);
}

// The zero-run writer reads no data: its work depends only on the count.
void leftPackThroughput(benchmark::State& state) {
    Bytes output(2 * (kLineLength / 128 + 1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(LeftPack(output.data(), kLineLength));
        benchmark::ClobberMemory();
    }
    finish(state, kLineLength);
}

// Each instruction-set path of the kernels on its own, for the processors
// that lack the fastest one: the ink scan over blank lines, PackBits and
// level packing.
void scanPath(benchmark::State& state, vexao::SimdPath path) {
    const vexao::ByteKernels& kernels = vexao::kernelsFor(path);
    const Bytes blank(std::size_t{kLines} * kLineLength, 0);
    int index = 0;
    for (auto _ : state) benchmark::DoNotOptimize(kernels.firstNonZero(lineOf(blank, index++), kLineLength));
    finish(state, kLineLength);
}

void packBitsPath(benchmark::State& state, vexao::SimdPath path, Shape shape) {
    const vexao::ByteKernels& kernels = vexao::kernelsFor(path);
    const Bytes lines = makeLines(shape, false);
    Bytes output(kLineLength + kLineLength / 126 + 1);
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernels.packBits(output.data(), static_cast<std::int32_t>(output.size()),
                                                  lineOf(lines, index++), kLineLength));
        benchmark::ClobberMemory();
    }
    finish(state, kLineLength);
}

void pack83Path(benchmark::State& state, vexao::SimdPath path) {
    const vexao::ByteKernels& kernels = vexao::kernelsFor(path);
    const Bytes lines = makeLines(Shape::Halftone, true);
    Bytes output(2 * kLineLength / 3);
    int index = 0;
    for (auto _ : state) {
        kernels.packLevelGroups(output.data(), lineOf(lines, index++), kLineLength / 3, tblqzo73l);
        benchmark::ClobberMemory();
    }
    finish(state, kLineLength);
}

const bool pathsRegistered = [] {
    const char* names[] = {"word", "sse2", "avx2"};
    for (vexao::SimdPath path : vexao::kEverySimdPath) {
        if (!vexao::cpuRuns(path)) continue;
        std::string name = names[static_cast<int>(path)];
        benchmark::RegisterBenchmark(("path/" + name + "/scan_blank").c_str(), scanPath, path);
        benchmark::RegisterBenchmark(("path/" + name + "/packbits_halftone").c_str(), packBitsPath, path,
                                     Shape::Halftone);
        benchmark::RegisterBenchmark(("path/" + name + "/packbits_photo_planes").c_str(), packBitsPath, path,
                                     Shape::PhotoPlanes);
        benchmark::RegisterBenchmark(("path/" + name + "/pack83_halftone").c_str(), pack83Path, path);
    }
    return true;
}();

BENCHMARK_CAPTURE(packbitsThroughput, random, Shape::Random);
BENCHMARK_CAPTURE(packbitsThroughput, long_runs, Shape::LongRuns);
BENCHMARK_CAPTURE(packbitsThroughput, alternating_pairs, Shape::AlternatingPairs);
BENCHMARK_CAPTURE(packbitsThroughput, halftone, Shape::Halftone);
BENCHMARK_CAPTURE(packbitsThroughput, photo_planes, Shape::PhotoPlanes);
BENCHMARK_CAPTURE(tiffPackBitsThroughput, random, Shape::Random);
BENCHMARK_CAPTURE(tiffPackBitsThroughput, long_runs, Shape::LongRuns);
BENCHMARK_CAPTURE(tiffPackBitsThroughput, alternating_pairs, Shape::AlternatingPairs);
BENCHMARK_CAPTURE(tiffPackBitsThroughput, halftone, Shape::Halftone);
BENCHMARK_CAPTURE(tiffPackBitsThroughput, photo_planes, Shape::PhotoPlanes);
BENCHMARK(leftPackThroughput);
BENCHMARK_CAPTURE(pack83Throughput, random, Shape::Random);
BENCHMARK_CAPTURE(pack83Throughput, long_runs, Shape::LongRuns);
BENCHMARK_CAPTURE(pack83Throughput, alternating_pairs, Shape::AlternatingPairs);
BENCHMARK_CAPTURE(pack83Throughput, halftone, Shape::Halftone);

}  // namespace
