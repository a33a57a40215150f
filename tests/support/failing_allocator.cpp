#include "tests/support/failing_allocator.h"

#include <cstdlib>

#include "toolbox/platform_allocator_internal.h"

namespace {

long requested = 0;
long failAt = 0;  // absolute request number that fails; 0 when disarmed
bool failAfter = false;
bool hit = false;

}  // namespace

namespace vexao {

void* platformAllocate(std::uint32_t size) noexcept {
    ++requested;
    bool fails = failAt != 0 && (requested == failAt || (failAfter && requested > failAt));
    if (fails) {
        hit = true;
        return nullptr;
    }
    return std::malloc(size);
}

}  // namespace vexao

namespace vexao_test {

void failAllocation(long nth, bool andAfter) {
    failAt = requested + nth;
    failAfter = andAfter;
    hit = false;
}

void stopFailing() {
    failAt = 0;
    failAfter = false;
}

long allocationCount() { return requested; }

bool failureWasHit() { return hit; }

}  // namespace vexao_test
