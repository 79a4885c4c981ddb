// The module's one pair of allocation functions. They return null instead of
// throwing, and a test-only seam can make chosen allocations fail, so every
// command can be run with each of its allocations failing in turn.
#pragma once

#include <cstddef>

void *moduleAlloc(std::size_t bytes);   // null on failure; never throws
void moduleFree(void *block);           // null is allowed

// Test seam. Arms the allocator so that allocation number failAt (counted from
// 1 after arming) fails; with persistent, every later one fails too.
void moduleAllocFailAt(int failAt, bool persistent);
int moduleAllocDisarm();                // returns how many failures were injected
long moduleAllocLiveBlocks();           // blocks allocated and not yet freed
long moduleAllocCount();                // allocations attempted since load

// Measuring seam. While counting is on, the allocator adds up the heap bytes of
// the blocks it hands out (the allocator's usable size, so rounding counts) and
// keeps the peak; a block freed while counting must have been allocated while
// counting. Off at load; off, it costs one test per call.
void moduleAllocCountBytes(bool on);    // on: the figures start at 0; off: they stay as they were
long long moduleAllocLiveBytes();
long long moduleAllocPeakBytes();
