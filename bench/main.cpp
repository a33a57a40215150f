// Runs the benchmarks, then sets the figures of the same run side by side:
// each performance target is a ratio between two benchmarks, so the machine
// and its load cancel out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Console output as usual, and the seconds per iteration of every benchmark
// kept by name (the median where there are repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            if (run.error_occurred) continue;
            double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string& name = run.run_name.function_name;
            if (median || seconds_.count(name) == 0) seconds_[name] = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // How many times as long `measured` takes as `reference`; 0 when either
    // did not run.
    double timeRatio(const std::string& measured, const std::string& reference) const {
        auto m = seconds_.find(measured), r = seconds_.find(reference);
        return m == seconds_.end() || r == seconds_.end() ? 0 : m->second / r->second;
    }

private:
    std::map<std::string, double> seconds_;
};

// A figure compared with a reference of the same run, either as speed
// (how many times as fast) or as time (how many times as long).
struct Target {
    std::string what;
    std::string measured, reference;
    bool asSpeed;
    double bound;  // speed at least this, or time below this; 0: no target
};

std::vector<Target> targets() {
    std::vector<Target> list;
    for (std::string format : {"6x4bit", "4x1bit"}) {
        for (std::string line : {"blank_line", "near_blank_line"})
            list.push_back({line + " " + format + ": speed / memchr's", "produce/" + line + "/" + format,
                            "baseline_memchr/line/" + format, true, 0.5});
        for (std::string mode : {"normal", "multi"})
            for (std::string content : {"text", "photo", "blank"})
                list.push_back({"page " + format + " " + mode + " " + content + ": time / memcpy's",
                                "page/" + format + "/" + mode + "/" + content, "baseline_memcpy/page/" + format,
                                false, format == "6x4bit" ? 10.0 : 0});
    }
    for (std::string input : {"halftone", "random", "long_runs", "alternating_pairs", "photo_planes"})
        list.push_back({"packbits " + input + ": speed / libtiff's", "packbitsThroughput/" + input,
                        "tiffPackBitsThroughput/" + input, true,
                        input == "halftone" ? 2.0 : input == "random" ? 1.0 : 0});
    return list;
}

std::string verdict(const Target& target, double value) {
    if (target.bound == 0) return "";
    char text[32];
    bool met = target.asSpeed ? value >= target.bound : value < target.bound;
    std::snprintf(text, sizeof text, "%s %.2f %s", target.asSpeed ? ">=" : "<", target.bound, met ? "met" : "MISSED");
    return text;
}

void printTargets(const RatioReporter& reporter) {
    std::printf("\n%-52s %8s  %s\n", "ratio within this run", "value", "target");
    for (const Target& target : targets()) {
        double timeRatio = reporter.timeRatio(target.measured, target.reference);
        if (timeRatio == 0) continue;
        double value = target.asSpeed ? 1 / timeRatio : timeRatio;
        std::printf("%-52s %8.2f  %s\n", target.what.c_str(), value, verdict(target, value).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTargets(reporter);
    benchmark::Shutdown();
    return 0;
}
