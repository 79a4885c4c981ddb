// Reading, filling and writing back large scene files: a rig of objects with
// chains of bones, each bone with its settings and nine single-key channels,
// as LightWave writes them (about 70 lines a bone).
#include <benchmark/benchmark.h>

#include <string>

#include "sim/lws_scene.h"

namespace {

std::string generatedRig(int objects, int bonesPerObject) {
    std::string text = "LWSC\n5\n\nFirstFrame 0\nCurrentFrame 0\nFramesPerSecond 30\n\n";
    auto channels = [&](const char *keyword) {
        text += keyword;
        text += "\nNumChannels 9\n";
        for (int c = 0; c < 9; ++c)
            text += "Channel " + std::to_string(c) + "\n{ Envelope\n  1\n  Key " + (c >= 6 ? "1" : "0.25") +
                    " 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n}\n";
    };
    char id[16];
    for (int o = 0; o < objects; ++o) {
        std::snprintf(id, sizeof id, "%08x", 0x10000000u + static_cast<unsigned>(o));
        text += std::string("LoadObjectLayer 1 ") + id + " Objects/Part" + std::to_string(o) + ".lwo\nShowObject 6 7\n";
        channels("ObjectMotion");
        for (int b = 0; b < bonesPerObject; ++b) {
            std::snprintf(id, sizeof id, "%08x", 0x40000000u | (static_cast<unsigned>(b) << 16) | static_cast<unsigned>(o));
            text += std::string("AddBone ") + id + "\nBoneName Bone" + std::to_string(b) +
                    "\nShowBone 1 3\nBoneActive 1\nBoneRestPosition 0 0 0.5\nBoneRestDirection 0 0 0\n"
                    "BoneRestLength 0.5\nBoneStrength 1\nScaleBoneStrength 1\n";
            channels("BoneMotion");
            char parent[16];
            if (b == 0)
                std::snprintf(parent, sizeof parent, "%08x", 0x10000000u + static_cast<unsigned>(o));
            else
                std::snprintf(parent, sizeof parent, "%08x",
                              0x40000000u | (static_cast<unsigned>(b - 1) << 16) | static_cast<unsigned>(o));
            text += "PivotPosition 0 0 0\nPivotRotation 0 0 0\nParentItem " + std::string(parent) + "\n";
        }
        text += "\n";
    }
    text += "AddLight 20000000\nLightName Light\n\nAddCamera 30000000\nCameraName Camera\n\nCurrentObject 0\n";
    return text;
}

void setCounters(benchmark::State &state, const std::string &text, long bones) {
    state.counters["bones"] = static_cast<double>(bones);
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(text.size()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void readScene(benchmark::State &state) {
    std::string text = generatedRig(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        LwsScene scene;
        std::string error;
        bool ok = readLwsScene(text, scene, error);
        benchmark::DoNotOptimize(ok);
    }
    setCounters(state, text, state.range(0) * state.range(1));
}

void fillSimulator(benchmark::State &state) {
    std::string text = generatedRig(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    LwsScene scene;
    std::string error;
    readLwsScene(text, scene, error);
    for (auto _ : state) {
        SimHost host;
        std::vector<ItemId> ids;
        fillHost(scene, host, ids);
        benchmark::DoNotOptimize(ids.data());
    }
    setCounters(state, text, state.range(0) * state.range(1));
}

// Every bone gets a weight-map name: three lines added per bone.
void writeWeightMaps(benchmark::State &state) {
    std::string text = generatedRig(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    LwsScene scene;
    std::string error;
    readLwsScene(text, scene, error);
    SimHost host;
    std::vector<ItemId> ids;
    fillHost(scene, host, ids);
    for (ItemId bone : host.allBones())
        host.item(bone).weightMapName = host.item(bone).name;
    for (auto _ : state) {
        std::string out;
        bool ok = patchLwsScene(scene, host, ids, out, error);
        benchmark::DoNotOptimize(ok);
    }
    setCounters(state, text, state.range(0) * state.range(1));
}

BENCHMARK(readScene)->Args({1, 1000})->Args({1, 10000})->Args({100, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(fillSimulator)->Args({1, 10000})->Args({100, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(writeWeightMaps)->Args({1, 10000})->Args({100, 1000})->Unit(benchmark::kMillisecond);

}  // namespace
