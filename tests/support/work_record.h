// A work record opened for one test and closed when the test ends.
#ifndef VEXAO_TESTS_WORK_RECORD_H
#define VEXAO_TESTS_WORK_RECORD_H

#include <cstdint>

#include "output/output_api.h"
#include "output/work_record_internal.h"

namespace vexao_test {

inline OutputParams makeParams(std::int16_t model, std::int16_t variant, std::int16_t rasterMode) {
    OutputParams params{};
    params.modelCode = model;
    params.variantCode = variant;
    params.rasterMode = rasterMode;
    return params;
}

class OpenRecord {
public:
    OpenRecord() { openResult = OutputOpen(&work); }
    ~OpenRecord() { OutputClose(&work); }
    OpenRecord(const OpenRecord&) = delete;
    OpenRecord& operator=(const OpenRecord&) = delete;

    MasterWork* operator->() const { return work; }
    MasterWork** handle() { return &work; }

    MasterWork* work = nullptr;
    std::int32_t openResult = 0;
};

}  // namespace vexao_test

#endif
