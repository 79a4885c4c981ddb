// Record pivots and rest bones on large scenes: the module's time per bone for
// a whole run (question answered, tree built, marked, walked, selection given
// back, tree freed). The simulator's evaluator only counts lines (countOnly),
// so the time is the module's and the simulator's cheap query services; the
// selection is then left alone, so every iteration sees the same scene.
#include <benchmark/benchmark.h>

#include <string>

#include "commands/hierarchy.h"
#include "commands/memory.h"
#include "sim/sim_host.h"

namespace {

// objects objects with bonesEach bones each, in chains of ten below the object.
void objectsWithChains(SimHost &host, int objects, int bonesEach) {
    host.reserve(static_cast<std::size_t>(objects) * static_cast<std::size_t>(bonesEach + 1));
    for (int o = 0; o < objects; ++o) {
        ItemId object = host.addObject("Object" + std::to_string(o));
        ItemId above = nullptr;
        for (int b = 0; b < bonesEach; ++b)
            above = host.addBone(object, "Bone", b % 10 == 0 ? nullptr : above);
    }
}

void runCommand(benchmark::State &state, SimHost &host, long bones) {
    host.countOnly = true;
    host.keepLog = false;
    for (auto _ : state) {
        host.activate();
        int rc = runHierarchyCommand(host.genericRecord(), host.lookup(), commandRest);
        benchmark::DoNotOptimize(rc);
        host.messages.clear();
    }
    state.counters["bones"] = static_cast<double>(bones);
    state.counters["perBone"] = benchmark::Counter(static_cast<double>(bones),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// 1,000 objects with 1,000 bones each; the first range argument is how many of
// the objects are selected (the tree covers the whole scene either way).
void objectsSelected(benchmark::State &state) {
    SimHost host;
    objectsWithChains(host, 1000, 1000);
    std::vector<ItemId> selected;
    for (int o = 0; o < state.range(0); ++o)
        selected.push_back(host.idOf(o * 1001));
    host.select(selected);
    runCommand(state, host, 1000L * 1000L);
}
BENCHMARK(objectsSelected)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// 100,000 bones (100 objects with 1,000 each), every other bone selected.
void halfTheBonesSelected(SimHost &host) {
    objectsWithChains(host, 100, 1000);
    std::vector<ItemId> selected;
    bool take = true;
    for (ItemId bone : host.allBones()) {
        if (take)
            selected.push_back(bone);
        take = !take;
    }
    host.select(selected);
}

void bonesSelected(benchmark::State &state) {
    SimHost host;
    halfTheBonesSelected(host);
    runCommand(state, host, 100000L);
}
BENCHMARK(bonesSelected)->Unit(benchmark::kMillisecond);

// Marking alone on that scene, with the index and with the plain look-up the
// module falls back to when the index cannot be allocated (made to fail here).
void markOnly(benchmark::State &state) {
    bool plainLookUp = state.range(0) != 0;
    SimHost host;
    halfTheBonesSelected(host);
    CommandContext context(host.lookup(), host.genericRecord());
    SceneNode root(nullptr, nullptr, nullptr);
    buildChildren(&root, context.itemInfo);
    for (auto _ : state) {
        if (plainLookUp)
            moduleAllocFailAt(1, false);  // the index is the first allocation of markSelected
        markSelected(&root, context.itemInfo, context.interfaceInfo);
        moduleAllocDisarm();
    }
    destroyChildren(&root);
    state.counters["perBone"] = benchmark::Counter(100000.0, benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
}
BENCHMARK(markOnly)->ArgName("plainLookUp")->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(markOnly)->ArgName("plainLookUp")->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
