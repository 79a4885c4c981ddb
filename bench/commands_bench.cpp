// The five commands on production-size scenes, each beside its floor: the time
// to format exactly the lines the command sends on that scene (recorded once
// from a real run) and hand them to the same evaluator. The floor formats with
// its own plainest code, so the module's formatting counts as the module's.
// Both sides run with the simulator's evaluator counting lines only, so what
// the module adds shows as module / floor: its queries of the scene, its
// snapshot, its tree, its formatting. The program
// ends with a summary table of those ratios, the time per bone and the tree's
// memory per node (scripts/bench.sh runs it with repetitions).
//
// Under callgrind (scripts/bench.sh --callgrind) only the measured runs are
// instrumented, and each benchmark dumps its own instruction count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>
#include <string>
#include <vector>

#include "commands/bone_actions.h"
#include "commands/hierarchy.h"
#include "commands/memory.h"
#include "commands/weight_map_options.h"
#include "sim/sim_host.h"
#include "sim/sim_panels.h"
#include "ui/weight_map_command.h"

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name) (void)(name)
#endif

namespace {

// [SECTION] Scenes

struct SceneShape {
    const char *name;
    int objects;
    int bonesEach;
    int chainLength;          // bones in one chain below the object
    bool bonesMode;           // every bone selected one by one, instead of every object
    benchmark::TimeUnit unit;
};

const SceneShape shapes[] = {
    {"character", 1, 200, 10, false, benchmark::kMicrosecond},       // one rig, 20 chains of 10
    {"crowd", 1000, 100, 10, false, benchmark::kMillisecond},        // 1,000 rigs of 100 bones
    {"large", 1000, 1000, 10, false, benchmark::kMillisecond},       // 1,000 rigs of 1,000 bones
    {"selected", 1000, 100, 10, true, benchmark::kMillisecond},      // the crowd, its 100,000 bones selected
    {"chain", 1, 100000, 100000, false, benchmark::kMillisecond},    // one chain 100,000 bones deep
};

// Flags a bone starts with, by its place among its object's bones: a third
// inactive; half weight-map-only; half with normalization, so that with every
// option on a quarter of the bones get both setting lines and a quarter one.
unsigned startFlags(int boneNumber) {
    unsigned flags = 0;
    if (boneNumber % 3 != 2)
        flags |= boneFlagActive;
    if (boneNumber % 2 == 1)
        flags |= boneFlagWeightMapOnly;
    if (boneNumber % 4 < 2)
        flags |= boneFlagNormalization;
    return flags;
}

struct Scene {
    const SceneShape *shape;
    SimHost host;
    SimPanels panels{host};        // the options form's services
    std::vector<ItemId> selection;
    long bones = 0;

    explicit Scene(const SceneShape &of) : shape(&of) {
        // Every form the command posts is confirmed with every option on.
        panels.defaultFormUser = {1, 0, {{controlAdjustBoneSettings, 1}, {controlUseWeightMapOnly, 1},
                                         {controlWeightNormalization, 1}}, {}};
        char name[64];
        host.reserve(static_cast<std::size_t>(of.objects) * static_cast<std::size_t>(of.bonesEach + 1));
        for (int o = 0; o < of.objects; ++o) {
            std::snprintf(name, sizeof name, "Figure%04d", o);
            std::string objectName = name;
            ItemId object = host.addObject(objectName);
            if (!of.bonesMode)
                selection.push_back(object);
            ItemId above = nullptr;
            for (int b = 0; b < of.bonesEach; ++b) {
                std::snprintf(name, sizeof name, "%s_Bone%03d", objectName.c_str(), b);
                above = host.addBone(object, name, b % of.chainLength == 0 ? nullptr : above, startFlags(b));
                if (of.bonesMode)
                    selection.push_back(above);
            }
        }
        bones = static_cast<long>(of.objects) * of.bonesEach;
        reset();
    }

    // Back to the state the scene was built in: what a real run changed in the
    // bone flags and the selection is put back, and the evaluator only counts.
    void reset() {
        for (SimItem &item : host.items)
            if (item.type == itemBone) {
                item.flags = startFlags(item.orderIndex);
                std::string().swap(item.weightMapName);  // the names a real run set, freed
            }
        host.select(selection);
        host.countOnly = true;
        host.keepLog = false;
        host.clearRecords();
    }

    long nodes() const { return static_cast<long>(host.items.size()) + 1; }  // the root too
};

// One scene is alive at a time: the benchmarks run scene by scene.
std::unique_ptr<Scene> liveScene;

Scene &sceneFor(const SceneShape &shape) {
    if (liveScene == nullptr || liveScene->shape != &shape) {
        liveScene.reset();
        liveScene = std::make_unique<Scene>(shape);
    }
    return *liveScene;
}

// [SECTION] The module's runs

struct Command {
    const char *name;
    CommandKind kind;
    bool form;    // the weight-map command with its options form, confirmed by the simulator's user
};

const Command commands[] = {
    {"activate", commandActivate, false},
    {"deactivate", commandDeactivate, false},
    {"weightmap", commandWeightMap, false},
    {"weightmapform", commandWeightMap, true},
    {"pivots", commandRecordPivots, false},
    {"rest", commandRest, false},
};
const Command &restCommand = commands[5];

bool isHierarchy(CommandKind kind) { return kind == commandRecordPivots || kind == commandRest; }

// The weight-map command's work once its form is confirmed with every option
// on (WeightMapOptions is set so in main).
void weightMapWork(SimHost &host) {
    CommandContext context(host.lookup(), host.genericRecord());
    if (context.requireServices(commandWeightMap) && context.validateSelection(commandWeightMap)) {
        context.snapshotSelection();
        context.applyToBones(commandWeightMap);
    }
}

void runModule(Scene &scene, const Command &command) {
    SimHost &host = scene.host;
    CommandKind kind = command.kind;
    host.activate();
    if (command.form) {
        scene.panels.activate();
        runWeightMapCommand(host.genericRecord(), host.lookup());
        scene.panels.forms.clear();
        scene.panels.calls.clear();
    } else if (kind == commandWeightMap)
        weightMapWork(host);
    else if (isHierarchy(kind))
        runHierarchyCommand(host.genericRecord(), host.lookup(), kind);
    else
        runBoneCommand(host.genericRecord(), host.lookup(), kind);
    host.messages.clear();  // the question, kept by the simulator
    host.lookups.clear();
}

// [SECTION] The floor

// One line of the floor: a fixed text sent as it is, or a fixed text followed
// by an item's digits or a name, composed into a line buffer first.
struct FloorLine {
    const char *fixed;        // borrowed from the script
    std::size_t fixedLength;
    const char *text;         // the name; borrowed from the script, null for none
    ItemId id;                // the item whose digits follow, or null
    bool composed;
};

struct FloorScript {
    std::vector<FloorLine> lines;
    // The names and the fixed lines, kept once, end to end in one block: a
    // block per name would leave the heap in small pieces for the runs after.
    std::vector<char> texts;
    std::map<std::string, const char *> fixedLines;
    std::size_t longest = 0;                         // characters of the longest line

    const char *keep(const std::string &text) {      // texts has room reserved for all
        const char *kept = texts.data() + texts.size();
        texts.insert(texts.end(), text.c_str(), text.c_str() + text.size() + 1);
        return kept;
    }
};

ItemId parseItem(const std::string &digits) {
    std::uintptr_t value = 0;
    for (char c : digits)
        value = (value << 4) | static_cast<std::uintptr_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    return reinterpret_cast<ItemId>(value);
}

// Runs the command once for real (the evaluator applies and logs every line)
// and keeps its lines as the floor's script; then puts the scene back.
FloorScript recordLines(Scene &scene, const Command &command) {
    SimHost &host = scene.host;
    scene.reset();
    host.countOnly = false;
    host.keepLog = true;
    runModule(scene, command);
    FloorScript script;
    script.lines.reserve(host.log.size());
    std::size_t textBytes = 0;
    for (const SimLogEntry &entry : host.log)
        textBytes += entry.line.size() + 1;
    script.texts.reserve(textBytes);
    auto fixedText = [&](const std::string &text) {
        const char *&kept = script.fixedLines[text];
        if (kept == nullptr)
            kept = script.keep(text);
        return kept;
    };
    for (const SimLogEntry &entry : host.log) {
        const std::string &line = entry.line;
        script.longest = std::max(script.longest, line.size());
        std::size_t blank = line.find(' ');
        if (blank == std::string::npos) {
            script.lines.push_back({fixedText(line), line.size(), nullptr, nullptr, false});
            continue;
        }
        std::string fixed = line.substr(0, blank + 1), rest = line.substr(blank + 1);
        if (fixed == "SelectItem " || fixed == "AddToSelection ")
            script.lines.push_back({fixedText(fixed), fixed.size(), nullptr, parseItem(rest), true});
        else
            script.lines.push_back({fixedText(fixed), fixed.size(), script.keep(rest), nullptr, true});
    }
    host.log.clear();
    host.log.shrink_to_fit();
    scene.reset();
    return script;
}

// Hands the freed pieces back to the heap as whole blocks (glibc keeps small
// freed blocks apart until told), so each benchmark's runs start from a heap
// of the same shape, whatever was recorded before them.
void tidyHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// The least any sender does for one line: copy the fixed text, then print the
// item's digits (lowercase, no padding) or copy the name, and terminate. The
// recorded lines all fit the 100-byte buffer.
void composeLine(char *line, const FloorLine &floorLine) {
    std::memcpy(line, floorLine.fixed, floorLine.fixedLength);
    char *end = line + floorLine.fixedLength;
    if (floorLine.text != nullptr) {
        std::size_t length = std::strlen(floorLine.text);
        std::memcpy(end, floorLine.text, length);
        end += length;
    } else {
        auto value = reinterpret_cast<std::uintptr_t>(floorLine.id);
        int digits = value == 0 ? 1 : static_cast<int>((std::bit_width(value) + 3) / 4);
        for (int i = digits - 1; i >= 0; --i, value >>= 4)
            end[i] = "0123456789abcdef"[value & 0xfu];
        end += digits;
    }
    *end = '\0';
}

void runFloor(const FloorScript &script, LayoutGeneric *generic) {
    char line[100];
    for (const FloorLine &floorLine : script.lines) {
        const char *sent = floorLine.fixed;
        if (floorLine.composed) {
            composeLine(line, floorLine);
            sent = line;
        }
        generic->evaluator(generic->evaluatorData, sent);
    }
}

// The measured calls, apart from the set-up's, so a profile can tell them apart.
[[gnu::noinline]] void measuredModuleRun(Scene &scene, const Command &command) {
    CALLGRIND_START_INSTRUMENTATION;
    runModule(scene, command);
    CALLGRIND_STOP_INSTRUMENTATION;
}

[[gnu::noinline]] void measuredFloorRun(const FloorScript &script, LayoutGeneric *generic) {
    CALLGRIND_START_INSTRUMENTATION;
    runFloor(script, generic);
    CALLGRIND_STOP_INSTRUMENTATION;
}

// [SECTION] What one scene and command cost besides time

struct Recorded {
    FloorScript script;
    long long treePeakBytes = 0;   // building the tree alone
    long long runPeakBytes = 0;    // the whole command
};

// The script and the memory figures of one scene and command, made once.
std::map<std::string, std::unique_ptr<Recorded>> recordings;

Recorded *recordingFor(Scene &scene, const Command &command, std::string &error) {
    std::string prefix = std::string(scene.shape->name) + "/";
    std::string key = prefix + command.name;
    auto found = recordings.find(key);
    if (found != recordings.end())
        return found->second.get();
    for (auto it = recordings.begin(); it != recordings.end();)  // only this scene's are kept
        it = it->first.compare(0, prefix.size(), prefix) != 0 ? recordings.erase(it) : std::next(it);
    std::unique_ptr<Recorded> &fresh = recordings[key];
    fresh = std::make_unique<Recorded>();
    fresh->script = recordLines(scene, command);

    // The module in count-only mode must send exactly as many lines.
    SimHost &host = scene.host;
    moduleAllocCountBytes(true);
    runModule(scene, command);
    moduleAllocCountBytes(false);
    fresh->runPeakBytes = moduleAllocPeakBytes();
    if (fresh->script.longest >= 100)
        error = "a line does not fit the floor's buffer";
    if (host.linesEvaluated != static_cast<long>(fresh->script.lines.size()))
        error = "the count-only run sent " + std::to_string(host.linesEvaluated) + " lines, the real run " +
                std::to_string(fresh->script.lines.size());
    if (isHierarchy(command.kind)) {
        host.activate();
        CommandContext context(host.lookup(), host.genericRecord());
        moduleAllocCountBytes(true);
        {
            SceneNode root(nullptr, nullptr, nullptr);
            buildChildren(&root, context.itemInfo);
            fresh->treePeakBytes = moduleAllocPeakBytes();
            destroyChildren(&root);
        }
        moduleAllocCountBytes(false);
    }
    scene.reset();
    tidyHeap();
    return fresh.get();
}

// [SECTION] Benchmarks

void setCounters(benchmark::State &state, const Scene &scene, const Recorded &recorded, bool module,
                 CommandKind kind) {
    auto perIteration = [](double total) {
        return benchmark::Counter(total, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    };
    state.counters["bones"] = static_cast<double>(scene.bones);
    state.counters["lines"] = static_cast<double>(recorded.script.lines.size());
    state.counters["perBone"] = perIteration(static_cast<double>(scene.bones));
    if (module && isHierarchy(kind)) {
        state.counters["treeBytesPerNode"] =
            static_cast<double>(recorded.treePeakBytes) / static_cast<double>(scene.nodes());
        state.counters["runPeakBytesPerNode"] =
            static_cast<double>(recorded.runPeakBytes) / static_cast<double>(scene.nodes());
    } else if (module) {
        state.counters["runPeakBytes"] = static_cast<double>(recorded.runPeakBytes);
    }
}

void commandBenchmark(benchmark::State &state, const SceneShape *shape, const Command *command, bool module,
                      const std::string &name) {
    Scene &scene = sceneFor(*shape);
    std::string error;
    Recorded *recorded = recordingFor(scene, *command, error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    SimHost &host = scene.host;
    CALLGRIND_ZERO_STATS;
    if (module)
        for (auto _ : state)
            measuredModuleRun(scene, *command);
    else
        for (auto _ : state)
            measuredFloorRun(recorded->script, host.genericRecord());
    std::string dumped = name + " iterations " + std::to_string(state.iterations()) + " bones " +
                         std::to_string(scene.bones);
    CALLGRIND_DUMP_STATS_AT(dumped.c_str());
    setCounters(state, scene, *recorded, module, command->kind);
}

// The snapshot alone in the case where it is longest: 100,000 bones appended
// one by one, 10 slots more at a time.
void snapshotBenchmark(benchmark::State &state, const SceneShape *shape) {
    Scene &scene = sceneFor(*shape);
    SimHost &host = scene.host;
    host.activate();
    for (auto _ : state) {
        CommandContext context(host.lookup(), host.genericRecord());
        context.snapshotSelection();
        benchmark::DoNotOptimize(context.selection.count);
        host.lookups.clear();
    }
    state.counters["perBone"] = benchmark::Counter(static_cast<double>(scene.bones),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// [SECTION] Parts of the tree commands

// Marking alone on the 100,000 selected bones, with the sorted index and with
// the plain look-up the module falls back to when the index cannot be
// allocated (made to fail here): a pass over the list for every bone node.
void markBenchmark(benchmark::State &state, const SceneShape *shape, bool plainLookUp) {
    Scene &scene = sceneFor(*shape);
    SimHost &host = scene.host;
    host.activate();
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
    state.counters["perBone"] = benchmark::Counter(static_cast<double>(scene.bones),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// Rest on the large scene with one object selected: the tree still covers the
// whole scene, so the time is the tree's, for the lines of 1,000 bones.
void oneObjectBenchmark(benchmark::State &state, const SceneShape *shape) {
    Scene &scene = sceneFor(*shape);
    SimHost &host = scene.host;
    host.select({scene.selection.front()});
    for (auto _ : state)
        runModule(scene, restCommand);
    host.select(scene.selection);
    state.counters["nodes"] = static_cast<double>(scene.nodes());
    state.counters["perNode"] = benchmark::Counter(static_cast<double>(scene.nodes()),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// [SECTION] Summary

struct Result {
    double seconds = 0;            // CPU time of one run
    std::map<std::string, double> counters;
};

// The console reporter, also keeping each benchmark's median (or its only run).
struct SummaryReporter : benchmark::ConsoleReporter {
    std::map<std::string, Result> results;

    SummaryReporter() : ConsoleReporter(OO_None) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            bool only = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred || (!median && !only))
                continue;
            Result &result = results[run.run_name.str()];
            result.seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            for (const auto &[name, counter] : run.counters)
                result.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    const Result *find(const std::string &name) const {
        auto found = results.find(name);
        return found != results.end() ? &found->second : nullptr;
    }

    void printSummary() const {
        std::printf("\n| scene | command | module / floor | module per bone | floor per bone | tree bytes per node |\n");
        std::printf("|---|---|---:|---:|---:|---:|\n");
        for (const SceneShape &shape : shapes)
            for (const Command &command : commands) {
                std::string base = std::string(command.name) + "/" + shape.name;
                const Result *module = find(base + "/module");
                const Result *floor = find(base + "/floor");
                if (module == nullptr || floor == nullptr)
                    continue;
                char tree[32] = "";
                if (module->counters.count("treeBytesPerNode") != 0)
                    std::snprintf(tree, sizeof tree, "%.0f", module->counters.at("treeBytesPerNode"));
                std::printf("| %s | %s | %.2f | %.0f ns | %.0f ns | %s |\n", shape.name, command.name,
                            module->seconds / floor->seconds, module->counters.at("perBone") * 1e9,
                            floor->counters.at("perBone") * 1e9, tree);
            }
        std::printf("\n| command | large / crowd, per bone | selected / crowd, per bone |\n|---|---:|---:|\n");
        for (const Command &command : commands) {
            const Result *crowd = find(std::string(command.name) + "/crowd/module");
            const Result *large = find(std::string(command.name) + "/large/module");
            const Result *selected = find(std::string(command.name) + "/selected/module");
            if (crowd == nullptr)
                continue;
            auto ratio = [&](const Result *other) {
                return other != nullptr ? other->counters.at("perBone") / crowd->counters.at("perBone") : 0.0;
            };
            std::printf("| %s | %.2f | %.2f |\n", command.name, ratio(large), ratio(selected));
        }
        const Result *snapshot = find("snapshot/selected");
        if (snapshot != nullptr) {
            std::printf("\nSnapshot of 100,000 selected bones: %.2f ms a run;", snapshot->seconds * 1e3);
            for (const Command &command : commands)
                if (const Result *module = find(std::string(command.name) + "/selected/module"))
                    std::printf(" %s %.0f%%", command.name, 100.0 * snapshot->seconds / module->seconds);
            std::printf(" of the module's time.\n");
        }
    }
};

void registerBenchmarks() {
    for (const SceneShape &shape : shapes) {
        for (const Command &command : commands)
            for (bool module : {true, false}) {
                std::string name = std::string(command.name) + "/" + shape.name + (module ? "/module" : "/floor");
                benchmark::RegisterBenchmark(name.c_str(), commandBenchmark, &shape, &command, module, name)
                    ->Unit(shape.unit);
            }
        std::string name = shape.name;
        if (shape.bonesMode) {
            benchmark::RegisterBenchmark(("snapshot/" + name).c_str(), snapshotBenchmark, &shape)->Unit(shape.unit);
            benchmark::RegisterBenchmark(("mark/" + name + "/index").c_str(), markBenchmark, &shape, false)
                ->Unit(shape.unit);
            benchmark::RegisterBenchmark(("mark/" + name + "/plain").c_str(), markBenchmark, &shape, true)
                ->Iterations(1)
                ->Unit(shape.unit);
        }
        if (name == "large")
            benchmark::RegisterBenchmark("rest/large/oneObjectSelected", oneObjectBenchmark, &shape)
                ->Unit(shape.unit);
    }
}

}  // namespace

int main(int argc, char **argv) {
    WeightMapOptions = {1, 1, 1};
    registerBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;  // plain columns: the benchmarks have different counters
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    liveScene.reset();
    return 0;
}
