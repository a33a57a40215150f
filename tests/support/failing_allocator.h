// Test-only control over the library's allocator.
//
// The test archive links this allocator in place of the platform's, so a test
// can make the k-th allocation from now fail and check what the library
// reports and what it leaves behind.
#ifndef VEXAO_TESTS_FAILING_ALLOCATOR_H
#define VEXAO_TESTS_FAILING_ALLOCATOR_H

namespace vexao_test {

// The allocation `nth` from now (1 is the next one) fails. With `andAfter`,
// every allocation after it fails too.
void failAllocation(long nth, bool andAfter = false);

// Allocations succeed again.
void stopFailing();

// Allocations requested so far, granted or refused; tests take differences.
long allocationCount();

// Whether an armed failure has been hit since it was armed.
bool failureWasHit();

// Arms a failure for one scope and disarms it on leaving.
class AllocationFault {
public:
    explicit AllocationFault(long nth, bool andAfter = false) { failAllocation(nth, andAfter); }
    ~AllocationFault() { stopFailing(); }
    AllocationFault(const AllocationFault&) = delete;
    AllocationFault& operator=(const AllocationFault&) = delete;
};

}  // namespace vexao_test

#endif
