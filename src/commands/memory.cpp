// The module allocator and its fault-injection seam. The seam costs one
// counter test per allocation and is never armed outside the tests.
#include "commands/memory.h"

#include <cstdlib>

namespace {
int failAtCall = 0;        // 0: disarmed
bool failPersistent = false;
int callsSinceArmed = 0;
int failuresInjected = 0;
long liveBlocks = 0;
long allocationsAttempted = 0;
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
    if (block != nullptr)
        ++liveBlocks;
    return block;
}

void moduleFree(void *block) {
    if (block == nullptr)
        return;
    --liveBlocks;
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
