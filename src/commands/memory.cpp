// The module allocator and its fault-injection seam. The seam costs one
// counter test per allocation and is never armed outside the tests; the byte
// counter of the benchmarks costs one more test, and is off everywhere else.
#include "commands/memory.h"

#include <cstdlib>

#if defined(_WIN32) || defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
int failAtCall = 0;        // 0: disarmed
bool failPersistent = false;
int callsSinceArmed = 0;
int failuresInjected = 0;
long liveBlocks = 0;
long allocationsAttempted = 0;
bool countingBytes = false;
long long liveBytes = 0;
long long peakBytes = 0;

long long heapBytes(void *block) {
#if defined(_WIN32)
    return static_cast<long long>(_msize(block));
#elif defined(__GLIBC__)
    return static_cast<long long>(malloc_usable_size(block));
#else
    (void)block;
    return 0;  // no way to ask here: the figures stay 0
#endif
}
}  // namespace

void *moduleAlloc(std::size_t bytes) {
    ++allocationsAttempted;
    if (failAtCall > 0) {
        ++callsSinceArmed;
        if (callsSinceArmed == failAtCall || (failPersistent && callsSinceArmed > failAtCall)) {
            ++failuresInjected;
            return nullptr;
        }
    }
    void *block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) {
        ++liveBlocks;
        if (countingBytes) {
            liveBytes += heapBytes(block);
            if (liveBytes > peakBytes)
                peakBytes = liveBytes;
        }
    }
    return block;
}

void moduleFree(void *block) {
    if (block == nullptr)
        return;
    --liveBlocks;
    if (countingBytes)
        liveBytes -= heapBytes(block);
    std::free(block);
}

void moduleAllocFailAt(int failAt, bool persistent) {
    failAtCall = failAt;
    failPersistent = persistent;
    callsSinceArmed = 0;
    failuresInjected = 0;
}

int moduleAllocDisarm() {
    int injected = failuresInjected;
    failAtCall = 0;
    failPersistent = false;
    callsSinceArmed = 0;
    failuresInjected = 0;
    return injected;
}

long moduleAllocLiveBlocks() { return liveBlocks; }
long moduleAllocCount() { return allocationsAttempted; }

void moduleAllocCountBytes(bool on) {
    countingBytes = on;
    if (on) {
        liveBytes = 0;
        peakBytes = 0;
    }
}

long long moduleAllocLiveBytes() { return liveBytes; }
long long moduleAllocPeakBytes() { return peakBytes; }
