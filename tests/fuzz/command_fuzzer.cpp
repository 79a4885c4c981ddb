// The scene-and-command fuzzer: the input bytes build a scene in the simulator
// (objects, lights, cameras and bones in deep or wide hierarchies, bones below
// anything, names of any bytes), a selection (any types, any order,
// duplicates), the user's answers and options, and optionally a failing module
// allocation, a withheld service or a host that answers out of range; then one
// command runs through its entry point and the oracle of tests/command_oracle.h
// judges the scene, the lines, the selection and the allocator afterwards.
//
// The input is read from the front, one decision per byte, so a corpus entry
// can be written by hand: command_corpus.py beside this file writes those of
// the committed corpus and spells the layout out.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/command_oracle.h"

namespace {

struct Input {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;

    bool done() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    // One of count choices: one byte, two when there are more than 256.
    std::size_t below(std::size_t count) {
        if (count == 0)
            return 0;
        std::size_t value = byte();
        if (count > 256)
            value |= static_cast<std::size_t>(byte()) << 8;
        return value % count;
    }
    // A count, mostly small: 1 to 240, or in steps of 200 up to 3200.
    std::size_t length() {
        std::size_t value = byte();
        return value < 240 ? value + 1 : (value - 239) * 200;
    }
    std::string bytes(std::size_t count) {
        std::string text;
        while (count-- > 0 && !done())
            text.push_back(static_cast<char>(byte()));
        return text;
    }
};

constexpr std::size_t maxItems = 3000;
constexpr std::size_t maxWork = 20000;

const char *const serviceNames[] = {messageServiceName, interfaceInfoName, itemInfoName,
                                    boneInfoName,       panelServicesName, formServiceName};

struct Builder {
    Input &in;
    SimHost &host;
    std::vector<ItemId> selection;
    bool hostile = false;

    std::size_t count() const { return host.items.size(); }
    ItemId itemAt(std::size_t index) const { return host.idOf(static_cast<int>(index)); }
    ItemId anyItem() { return count() == 0 ? nullptr : itemAt(in.below(count())); }
    // 0 stands for no parent; anything else for an existing item.
    ItemId parentChoice() {
        if (count() == 0 || in.byte() % 4 == 0)
            return nullptr;
        return anyItem();
    }
    ItemId anyObject() {
        const std::vector<int> &objects = host.itemsOfType[itemObject];
        if (objects.empty())
            return host.addObject("Object");
        return host.idOf(objects[in.below(objects.size())]);
    }

    std::string name() {
        std::uint8_t length = in.byte();
        if (length < 128)
            return in.bytes(length);  // any bytes, NUL and "%" included
        std::size_t repeat = in.byte();
        switch (length % 8) {
        case 0: return "";
        case 1: return std::string(repeat + 1, '%');
        case 2: {
            std::string text;
            for (std::size_t i = 0; i <= repeat % 32; ++i)
                text += "%s%x%n%d%%";
            return text;
        }
        case 3: return std::string(82 + repeat * 4, 'x');  // too long for the usual line
        case 4: return count() == 0 ? "Twin" : host.items[in.below(count())].name;
        case 5: return " " + in.bytes(repeat % 16) + " ";
        case 6: return "Bone" + std::to_string(repeat);
        default: return std::string(79 + repeat % 6, 'b');  // around the 81 characters that fit
        }
    }

    void addBone(ItemId object, ItemId parent, unsigned flags, const std::string &boneName) {
        ItemId bone = host.addBone(object, boneName, nullptr, flags);
        host.setParent(bone, parent);  // below anything, or at the top level
    }

    // Moves item below parent unless that would close a loop.
    void reparent(ItemId item, ItemId parent) {
        for (int at = parent != nullptr ? host.indexOf(parent) : -1; at >= 0;
             at = host.items[static_cast<std::size_t>(at)].parent)
            if (at == host.indexOf(item))
                return;
        host.setParent(item, parent);
    }

    void step() {
        int op = in.byte() % 10;
        switch (op) {
        case 0:
        case 1:
        case 2: {  // an object, a light or a camera: the parent first, then the name
            int type = op;
            ItemId parent = parentChoice();
            std::string itemName = name();
            if (type == itemObject)
                host.addObject(itemName, parent);
            else if (type == itemLight)
                host.addLight(itemName, parent);
            else
                host.addCamera(itemName, parent);
            break;
        }
        case 3: {
            ItemId object = anyObject();
            ItemId parent = in.byte() % 2 == 0 ? object : parentChoice();
            unsigned flags = in.byte();
            addBone(object, parent, flags, name());
            break;
        }
        case 4: {  // a chain of bones: a deep hierarchy
            std::size_t length = in.length();
            ItemId object = anyObject();
            unsigned flags = in.byte();
            ItemId parent = object;
            for (std::size_t i = 0; i < length && count() < maxItems; ++i) {
                ItemId bone = host.addBone(object, "Chain" + std::to_string(i), parent, (flags >> (i % 5)) & 0x19u);
                parent = bone;
            }
            break;
        }
        case 5: {  // many children of one parent: a wide hierarchy
            std::size_t width = in.length();
            int type = in.byte() % 4;
            ItemId parent = parentChoice();
            ItemId object = type == itemBone ? anyObject() : nullptr;
            for (std::size_t i = 0; i < width && count() < maxItems; ++i) {
                std::string itemName = "Wide" + std::to_string(i);
                if (type == itemObject)
                    host.addObject(itemName, parent);
                else if (type == itemLight)
                    host.addLight(itemName, parent);
                else if (type == itemCamera)
                    host.addCamera(itemName, parent);
                else
                    addBone(object, parent != nullptr ? parent : object, static_cast<unsigned>(i) & 0x19u, itemName);
            }
            break;
        }
        case 6:
            if (count() > 0)
                selection.push_back(anyItem());
            break;
        case 7: {  // a run of consecutive items, of whatever types they are
            if (count() == 0)
                break;
            std::size_t start = in.below(count());
            std::size_t length = in.length();
            for (std::size_t i = 0; i < length; ++i)
                selection.push_back(itemAt((start + i) % count()));
            break;
        }
        case 8:
            if (count() > 0)
                reparent(anyItem(), parentChoice());
            break;
        default: {  // a host answer out of the ordinary
            if (count() == 0)
                break;
            SimItem &item = host.items[in.below(count())];
            // Out-of-range types and early list ends are answers the module
            // cannot check; the oracle then holds it to the safety rules only.
            std::uint8_t what = in.byte();
            if (what % 4 == 0) {
                item.nameMissing = true;  // a null name: an answer the module must expect
            } else if (what % 4 == 1) {
                item.reportedType = static_cast<std::int8_t>(in.byte());
                hostile = true;
            } else if (what % 4 == 2) {
                item.endsList = true;
                hostile = true;
            } else {
                item.rotation = {1, 2, 3};
            }
            break;
        }
        }
    }
};

// What the user does with the options form: the post result (mostly 1, the
// only one that confirms), the value left in each checkbox (any 32-bit value,
// or none: left as preset), which values the host cannot give, how often About
// is pressed and whether the About panel is drawn, and a form the host cannot make.
void readForm(Input &in, oracle::Expectation &run, SimPanels &panels) {
    const int results[] = {0, 2, -1, INT32_MIN};
    std::uint8_t result = in.byte();
    run.form.result = result % 16 < 4 ? results[result % 16] : 1;
    for (std::uint32_t id : {controlAdjustBoneSettings, controlUseWeightMapOnly, controlWeightNormalization}) {
        std::uint8_t value = in.byte();
        if (value == 0x7f)
            run.form.values[id] = INT32_MAX;
        else if (value == 0x80)
            run.form.values[id] = INT32_MIN;
        else if (value != 0xff)
            run.form.values[id] = static_cast<std::int8_t>(value);
    }
    std::uint8_t extras = in.byte();
    for (std::uint32_t bit = 0; bit < 3; ++bit)
        if ((extras & (1u << bit)) != 0)
            run.form.noAddress.insert(controlAdjustBoneSettings + bit);
    run.form.aboutPresses = (extras >> 3) & 3;
    run.formCannotBeMade = (extras & 0x20u) != 0;
    if ((extras & 0x40u) != 0)
        for (int press = 0; press < run.form.aboutPresses; ++press) {
            panels.panelEvents.push_back({SimPanelEvent::redraw, 0});
            panels.panelEvents.push_back({SimPanelEvent::key, 13});
        }
}

// With MARROWLINK_FUZZ_DESCRIBE set, prints the scene an input builds, to turn
// a finding into a test.
void describe(const SimHost &host, const oracle::CommandUnderTest &command, const oracle::Expectation &run,
              WeightMapFlags preset, int failAt, bool persistent) {
    std::fprintf(stderr, "%s, options %d %d %d, weight-map-only turns on normalization %d, fail at %d%s\n",
                 command.name, preset.adjustBoneSettings, preset.useWeightMapOnly, preset.weightNormalization,
                 host.weightMapOnlyTurnsOnNormalization, failAt, persistent ? " and after" : "");
    if (command.kind == commandWeightMap) {
        std::fprintf(stderr, "form: post %d, About %d times%s", run.form.result, run.form.aboutPresses,
                     run.formCannotBeMade ? ", cannot be made" : "");
        for (const auto &[id, value] : run.form.values)
            std::fprintf(stderr, ", %#x = %d", id, value);
        for (std::uint32_t id : run.form.noAddress)
            std::fprintf(stderr, ", %#x has no value", id);
        std::fprintf(stderr, "\n");
    }
    for (const std::string &service : run.withheld)
        std::fprintf(stderr, "withheld: %s\n", service.c_str());
    for (int answer : host.answers)
        std::fprintf(stderr, "answer: %d\n", answer);
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        const SimItem &item = host.items[i];
        std::string name;
        for (char c : item.name)
            name += c >= 32 && c < 127 ? std::string(1, c) : "\\x" + std::to_string(static_cast<unsigned char>(c));
        std::fprintf(stderr, "#%zu type %d parent %d object %d flags %u%s%s%s name \"%s\"\n", i, item.type,
                     item.parent, item.object, item.flags, item.nameMissing ? " nameMissing" : "",
                     item.reportedType ? (" reports " + std::to_string(*item.reportedType)).c_str() : "",
                     item.endsList ? " endsList" : "", name.substr(0, 200).c_str());
    }
    std::fprintf(stderr, "selected:");
    for (ItemId id : host.selected())
        std::fprintf(stderr, " #%d", host.indexOf(id));
    std::fprintf(stderr, "\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Input in{data, size};
    const oracle::CommandUnderTest &command =
        oracle::commandsUnderTest[in.below(std::size(oracle::commandsUnderTest))];
    std::uint8_t switches = in.byte();
    oracle::Expectation run;
    run.kind = command.kind;
    // The weight-map options as they stand: the form is preset from them.
    WeightMapFlags preset = {static_cast<std::uint8_t>(switches & 1u), static_cast<std::uint8_t>((switches >> 1) & 1u),
                             static_cast<std::uint8_t>((switches >> 2) & 1u)};
    int failAt = 0;
    bool persistent = (switches & 0x20u) != 0;
    if ((switches & 0x10u) != 0) {
        unsigned low = in.byte();
        unsigned high = in.byte();
        failAt = 1 + static_cast<int>((low | high << 8) % 600);
    }

    oracle::Session session;
    SimHost &host = session.host;
    host.reserve(maxItems + 1);
    host.weightMapOnlyTurnsOnNormalization = (switches & 0x08u) != 0;
    if ((switches & 0x40u) != 0) {
        const char *service = serviceNames[in.below(std::size(serviceNames))];
        run.withheld.insert(service);
    }
    std::size_t answers = in.byte() % 4;
    for (std::size_t i = 0; i < answers; ++i)
        host.answers.push_back(static_cast<std::int8_t>(in.byte()));
    host.defaultAnswer = (switches & 0x80u) != 0 ? 0 : 1;
    // Only the first question counts: each command asks at most one.
    if (oracle::isHierarchyKind(run.kind))
        run.confirmed = (host.answers.empty() ? host.defaultAnswer : host.answers.front()) != 0;
    if (run.kind == commandWeightMap)
        readForm(in, run, session.panels);

    Builder builder{in, host, {}};
    while (!in.done() && host.items.size() < maxItems)
        builder.step();
    // The per-bone commands handle an object's bones once per entry; a list
    // that names a large object thousands of times only costs time, so the
    // list is cut where its work would pass a bound.
    std::vector<ItemId> selection;
    std::size_t work = 0;
    for (ItemId id : builder.selection) {
        work += 1 + host.item(id).bones.size();
        if (work > maxWork)
            break;
        selection.push_back(id);
    }
    host.select(selection);
    run.hostile = builder.hostile;

    if (std::getenv("MARROWLINK_FUZZ_DESCRIBE") != nullptr)
        describe(host, command, run, preset, failAt, persistent);

    oracle::prepare(session, run);
    WeightMapOptions = preset;
    oracle::SceneState before = oracle::capture(host);
    host.clearRecords();
    if (failAt > 0)
        moduleAllocFailAt(failAt, persistent);
    int result = command.run(session);
    run.allocationFailed = moduleAllocDisarm() > 0;

    std::vector<std::string> broken = oracle::checkRun(session, before, run, result);
    WeightMapOptions = {0, 0, 0};
    if (!broken.empty()) {
        std::fprintf(stderr, "%s on %zu items, %zu selected%s%s:\n", command.name, host.items.size(),
                     before.selection.size(), run.allocationFailed ? ", an allocation failed" : "",
                     run.hostile ? ", hostile host" : "");
        for (const std::string &rule : broken)
            std::fprintf(stderr, "  %s\n", rule.c_str());
        auto printList = [&](const char *heading, const std::vector<ItemId> &list) {
            std::fprintf(stderr, "%s", heading);
            for (std::size_t i = 0; i < list.size() && i < 40; ++i)
                std::fprintf(stderr, " %d(type %d)", host.indexOf(list[i]), host.items[static_cast<std::size_t>(host.indexOf(list[i]))].type);
            std::fprintf(stderr, "%s\n", list.size() > 40 ? " ..." : "");
        };
        printList("selected before:", before.selection);
        printList("selected after: ", host.selected());
        std::fprintf(stderr, "lines:\n");
        std::size_t shown = 0;
        for (const SimLogEntry &entry : host.log) {
            if (++shown > 60) {
                std::fprintf(stderr, "  ...\n");
                break;
            }
            std::string line = entry.line.substr(0, 100);
            for (std::size_t i = 0; i < host.items.size(); ++i) {
                std::string hex = simHex(host.idOf(static_cast<int>(i)));
                std::size_t at = line.find(hex);
                if (at != std::string::npos && at + hex.size() == line.size())
                    line = line.substr(0, at) + "#" + std::to_string(i);
            }
            std::fprintf(stderr, "  %s%s\n", line.c_str(), entry.accepted ? "" : "   <- rejected");
        }
        std::abort();
    }
    return 0;
}
