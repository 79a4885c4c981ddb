// The scene-level oracle of one command run: what the run must have done to
// the simulator's scene, its selection and its log, worked out from the scene
// itself and never by calling module code. The fault-injection tests and the
// command fuzzer share it; checkRun returns the broken rules as text.
//
// How the selection is compared. Layout holds a selection of distinct items of
// one type; the simulator also lets a test hand the module lists that Layout
// never has, with duplicates or mixed types. The restore sends one edit-mode
// line and then "AddToSelection" for every snapshot entry from last to first;
// the evaluator puts each added item at the front, moving it there when it is
// already selected. So:
// - a run that sends no line leaves the list exactly as it was;
// - on a list of one type, the items come back in their order, each once (a
//   duplicate comes back at its first place): compared without duplicates;
// - on a list of mixed types every item is selected again, and the per-bone
//   commands select nothing else. A hierarchy command that selected no bone
//   leaves the edit-mode line to meet the user's own list, and on a mixed list
//   the evaluator then picks an item of that mode itself;
// - a hierarchy command on selected objects ends its walk with a bone
//   selected, and the switch back to objects selects that bone's own object.
//   When the walk reached the bone through another object (a bone below a
//   light or camera that hangs below a bone of the selected object, or below
//   an object other than its own: scenes Layout does not build), that object
//   stays selected too, at the end of the list; it is the one extra allowed;
// - when an allocation failed, a snapshot entry may have been dropped; it is
//   then neither handled nor restored, so on a list of one type the items
//   afterwards are a subset of those before, and every bone is either handled
//   completely or untouched.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands/bone_actions.h"
#include "commands/command_context.h"
#include "commands/hierarchy.h"
#include "commands/memory.h"
#include "commands/weight_map_options.h"
#include "sim/sim_host.h"
#include "sim/sim_panels.h"
#include "ui/weight_map_command.h"

namespace oracle {

// ---- the commands, through their entry points ----

// A host with Layout's form and panel services beside its scene services.
struct Session {
    SimHost host;
    SimPanels panels{host};

    void activate() {
        host.activate();
        panels.activate();
    }
};

struct CommandUnderTest {
    CommandKind kind;
    const char *name;
    int (*run)(Session &session);
};

inline int runWeightMap(Session &session) {
    session.activate();
    return runWeightMapCommand(session.host.genericRecord(), session.host.lookup());
}
inline int runActivate(Session &session) {
    session.activate();
    return runBoneCommand(session.host.genericRecord(), session.host.lookup(), commandActivate);
}
inline int runDeactivate(Session &session) {
    session.activate();
    return runBoneCommand(session.host.genericRecord(), session.host.lookup(), commandDeactivate);
}
inline int runRecordPivots(Session &session) {
    session.activate();
    return runHierarchyCommand(session.host.genericRecord(), session.host.lookup(), commandRecordPivots);
}
inline int runRest(Session &session) {
    session.activate();
    return runHierarchyCommand(session.host.genericRecord(), session.host.lookup(), commandRest);
}

// Every command the tests and the fuzzer drive. A command joins by its row.
inline const CommandUnderTest commandsUnderTest[] = {
    {commandWeightMap, "Marrowlink", runWeightMap},
    {commandActivate, "Activate Bones", runActivate},
    {commandDeactivate, "Deactivate Bones", runDeactivate},
    {commandRecordPivots, "Record Bone Pivots", runRecordPivots},
    {commandRest, "Rest Bones", runRest},
};

inline bool isHierarchyKind(CommandKind kind) { return kind == commandRecordPivots || kind == commandRest; }

// The services a command cannot run without: withheld, the command stops
// before its first line with a message naming the service (when it can show
// one). The weight-map command looks its form service up only after the
// selection check, and returns 2 without it.
inline bool needsService(CommandKind kind, const std::string &service) {
    if (service == interfaceInfoName || service == itemInfoName)
        return true;
    if (service == boneInfoName)
        return !isHierarchyKind(kind);
    if (service == messageServiceName)
        return isHierarchyKind(kind);  // the confirmation cannot be asked without it
    if (service == formServiceName)
        return kind == commandWeightMap;
    return false;
}

inline std::string missingServiceText(CommandKind kind, const std::string &service) {
    return std::string(commandDisplayName(kind)) + " Error: Layout service is not available: " + service;
}

// The confirmation of the hierarchy commands: title, text with bones selected,
// text with objects selected.
struct Question {
    const char *title;
    const char *bonesText;
    const char *objectsText;
};
inline Question questionOf(CommandKind kind) {
    if (kind == commandRecordPivots)
        return {"Record Bone Pivots", "This will record pivot points for all selected bones.  Are you sure?",
                "This will record pivot points for bones in the selected objects.  Are you sure?"};
    return {"Rest Bones", "This will rest all selected bones.  Are you sure?",
            "This will rest all bones in the selected objects.  Are you sure?"};
}

// ---- the scene before a run ----

struct ItemState {
    unsigned flags;
    std::string weightMapName;
    int weightMapNameSets;
    int pivotRecords;
    int restRecords;
    bool operator==(const ItemState &) const = default;
};

struct SceneState {
    std::vector<ItemState> items;
    std::vector<ItemId> selection;
    long liveBlocks;
    WeightMapFlags options;  // the weight-map options the form is preset from
};

inline SceneState capture(const SimHost &host) {
    SceneState state;
    for (const SimItem &item : host.items)
        state.items.push_back({item.flags, item.weightMapName, item.weightMapNameSets, item.pivotRecords,
                               item.restRecords});
    state.selection = host.selected();
    state.liveBlocks = moduleAllocLiveBlocks();
    state.options = WeightMapOptions;
    return state;
}

// What the run was asked to do.
struct Expectation {
    CommandKind kind = commandActivate;
    bool confirmed = true;            // kinds 4, 5: the question was answered yes
    SimFormUser form;                 // kind 0: what the user does with the options form
    bool formCannotBeMade = false;    // kind 0: the host cannot create the form
    std::set<std::string> withheld;   // services the host did not hand out
    bool allocationFailed = false;    // at least one module allocation failed
    bool hostile = false;             // the host answered out of range: safety rules only
};

// Scripts the session's user and host from the expectation.
inline void prepare(Session &session, const Expectation &run) {
    session.panels.formUsers = {run.form};
    session.panels.failFormCreate = run.formCannotBeMade;
    for (const std::string &service : run.withheld)
        session.host.withheld.insert(service);
}

// The options a confirmed form leaves: each checkbox checked when the value
// the host hands back is above 0; a value the user left alone is the preset.
inline WeightMapFlags formAnswers(const Expectation &run, const WeightMapFlags &preset) {
    auto checked = [&](std::uint32_t id, std::uint8_t presetFlag) -> std::uint8_t {
        if (run.form.noAddress.count(id) != 0)
            return 0;
        auto value = run.form.values.find(id);
        return value == run.form.values.end() ? presetFlag : (value->second > 0 ? 1 : 0);
    };
    return {checked(controlAdjustBoneSettings, preset.adjustBoneSettings),
            checked(controlUseWeightMapOnly, preset.useWeightMapOnly),
            checked(controlWeightNormalization, preset.weightNormalization)};
}

// ---- the scene model the oracle reads ----

// The type as the host reports it (entry 7), which is what the module goes by.
inline int typeOf(const SimHost &host, int index) {
    const SimItem &item = host.items[static_cast<std::size_t>(index)];
    return item.reportedType ? *item.reportedType : item.type;
}

// The C string the host hands out for an item's name.
inline std::string hostName(const SimItem &item) { return std::string(item.name.c_str()); }

// How many times the run must handle each bone (0: out of scope), from the
// selection and the scene.
inline std::vector<int> bonesInScope(const SimHost &host, const std::vector<ItemId> &selection, CommandKind kind) {
    std::vector<int> times(host.items.size(), 0);
    if (selection.empty())
        return times;
    int selectionType = typeOf(host, host.indexOf(selection.front()));
    if (!isHierarchyKind(kind)) {
        for (ItemId id : selection) {
            int index = host.indexOf(id);
            int type = typeOf(host, index);
            if (selectionType == itemBone && type == itemBone)
                ++times[static_cast<std::size_t>(index)];
            else if (selectionType == itemObject && type == itemObject)
                for (int bone : host.items[static_cast<std::size_t>(index)].bones)
                    ++times[static_cast<std::size_t>(bone)];
        }
        return times;
    }
    // The tree: top-level objects, lights and cameras and everything below them.
    // A bone's owner is the object it hangs below through a chain of bones; an
    // item below anything else takes the owner of the item above it.
    std::set<int> marked;
    for (ItemId id : selection)
        if (typeOf(host, host.indexOf(id)) == selectionType)
            marked.insert(host.indexOf(id));
    // owner[i]: the owning object of item i, -1 for the root; top[i]: the
    // top-level item above it. Worked out once per item, parents first.
    const int unknown = -2;
    std::vector<int> owner(host.items.size(), unknown), top(host.items.size(), unknown);
    for (std::size_t start = 0; start < host.items.size(); ++start) {
        std::vector<int> path;  // items whose answers wait for their parent's
        for (int at = static_cast<int>(start); at >= 0 && owner[static_cast<std::size_t>(at)] == unknown;
             at = host.items[static_cast<std::size_t>(at)].parent)
            path.push_back(at);
        for (auto at = path.rbegin(); at != path.rend(); ++at) {
            auto index = static_cast<std::size_t>(*at);
            int parent = host.items[index].parent;
            if (parent < 0) {
                owner[index] = -1;
                top[index] = *at;
            } else {
                auto above = static_cast<std::size_t>(parent);
                owner[index] = typeOf(host, parent) == itemObject && typeOf(host, *at) == itemBone ? parent : owner[above];
                top[index] = top[above];
            }
        }
    }
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        if (host.items[i].type != itemBone || host.items[static_cast<std::size_t>(top[i])].type == itemBone)
            continue;  // a bone at the top level is not in the tree
        if (marked.count(static_cast<int>(i)) != 0 || (owner[i] >= 0 && marked.count(owner[i]) != 0))
            times[i] = 1;
    }
    return times;
}

// The state a bone in scope must end in, from its state before.
inline ItemState handled(const SimItem &item, ItemState state, int times, const Expectation &run,
                         const WeightMapFlags &options) {
    switch (run.kind) {
    case commandActivate: state.flags |= boneFlagActive; break;
    case commandDeactivate: state.flags &= ~boneFlagActive; break;
    case commandWeightMap: {
        std::string name = hostName(item);
        if (!item.nameMissing && !name.empty()) {
            state.weightMapName = name;
            state.weightMapNameSets += times;
        }
        bool wantOnly = options.useWeightMapOnly != 0;
        if (options.adjustBoneSettings != 0 && wantOnly != ((state.flags & boneFlagWeightMapOnly) != 0)) {
            state.flags = (state.flags & ~(boneFlagWeightMapOnly | boneFlagNormalization)) |
                          (wantOnly ? boneFlagWeightMapOnly : 0u) |
                          (options.weightNormalization != 0 ? boneFlagNormalization : 0u);
        }
        break;
    }
    case commandRecordPivots: state.pivotRecords += 1; break;
    case commandRest: state.restRecords += 1; break;
    }
    return state;
}

// ---- the lines ----

inline bool startsWith(const std::string &line, const char *prefix) {
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// True when the line is one the kind may send, with an item ID printed the
// module's way (lowercase hexadecimal, no prefix, no padding) naming an item.
inline bool wellFormed(const SimHost &host, const std::string &line, CommandKind kind) {
    for (const char *command : {"SelectItem ", "AddToSelection "}) {
        if (!startsWith(line, command))
            continue;
        std::string digits = line.substr(std::strlen(command));
        std::uintptr_t value = 0;
        for (char digit : digits) {
            const char *at = std::strchr("0123456789abcdef", digit);
            if (digit == '\0' || at == nullptr || value > (UINTPTR_MAX >> 4))
                return false;
            value = value << 4 | static_cast<std::uintptr_t>(at - "0123456789abcdef");
        }
        auto id = reinterpret_cast<ItemId>(value);
        return host.indexOf(id) >= 0 && simHex(id) == digits;
    }
    if (line == "EditBones" || line == "EditObjects")
        return true;
    switch (kind) {
    case commandWeightMap:
        return line == "BoneWeightMapOnly" || line == "BoneNormalization" ||
               (startsWith(line, "BoneWeightMapName ") && line.size() > std::strlen("BoneWeightMapName "));
    case commandActivate:
    case commandDeactivate: return line == "BoneActive";
    case commandRecordPivots: return line == "RecordPivotRotation";
    case commandRest: return line == "RecordRestPosition";
    }
    return false;
}

inline std::string describeItem(const SimHost &host, int index) {
    std::ostringstream text;
    const SimItem &item = host.items[static_cast<std::size_t>(index)];
    text << "item " << index << " (type " << item.type << ", name of " << item.name.size() << " bytes)";
    return text.str();
}

// ---- the check ----

inline std::vector<std::string> checkRun(const Session &session, const SceneState &before, const Expectation &run,
                                         int result) {
    const SimHost &host = session.host;
    const SimPanels &panels = session.panels;
    std::vector<std::string> broken;
    auto fail = [&](const std::string &rule) { broken.push_back(rule); };

    // Whether the command gets as far as its first line, as the module's rules say.
    bool missingService = false;
    std::string missing;
    for (const char *service : {interfaceInfoName, itemInfoName, boneInfoName, messageServiceName})
        if (run.withheld.count(service) != 0 && needsService(run.kind, service) && !missingService) {
            missingService = true;
            missing = service;
        }
    bool selectionAccepted = false;
    int selectionType = -1;
    if (!before.selection.empty()) {
        selectionType = typeOf(host, host.indexOf(before.selection.front()));
        selectionAccepted = selectionType == itemObject || selectionType == itemBone;
    }
    bool weightMap = run.kind == commandWeightMap;
    bool reachesForm = weightMap && !missingService && selectionAccepted;
    bool formMissing = reachesForm && run.withheld.count(formServiceName) != 0;
    bool formMade = reachesForm && !formMissing && !run.formCannotBeMade;
    bool confirmed = weightMap ? formMade && run.form.result == 1 : run.confirmed;
    bool runs = !missingService && selectionAccepted && confirmed;
    WeightMapFlags options = weightMap && runs ? formAnswers(run, before.options) : before.options;
    int aboutPresses = formMade ? run.form.aboutPresses : 0;
    bool aboutOpens = run.withheld.count(panelServicesName) == 0;

    int expected = formMissing ? 2 : 0;
    if (result != expected)
        fail("result " + std::to_string(result) + ", expected " + std::to_string(expected));
    if (WeightMapOptions.adjustBoneSettings != options.adjustBoneSettings ||
        WeightMapOptions.useWeightMapOnly != options.useWeightMapOnly ||
        WeightMapOptions.weightNormalization != options.weightNormalization)
        fail("the weight-map options afterwards are not those the form gave");
    if (currentContext != nullptr)
        fail("currentContext left set");
    if (moduleAllocLiveBlocks() != before.liveBlocks)
        fail("leak: " + std::to_string(moduleAllocLiveBlocks() - before.liveBlocks) + " module blocks still live");
    if (host.invalidItemQueries != 0)
        fail(std::to_string(host.invalidItemQueries) + " queries about IDs that name no item");

    // Every line well formed, accepted and naming an existing item.
    for (const SimLogEntry &entry : host.log) {
        if (!run.hostile && !entry.accepted)
            fail("line rejected (" + entry.why + "): " + entry.line.substr(0, 120));
        if (!wellFormed(host, entry.line, run.kind))
            fail("line not one the command sends: " + entry.line.substr(0, 120));
    }
    if (!runs && !host.log.empty())
        fail("lines sent although the command had to stop before its first line");

    // Messages: the right one when the command stops, none when it runs.
    bool canShow = run.withheld.count(messageServiceName) == 0;
    std::vector<std::string> errors = host.errors();
    if (!run.hostile && canShow) {
        if (missingService) {
            if (errors.size() != 1 || errors[0].find(missing) == std::string::npos)
                fail("no single message naming the missing service " + missing);
        } else if (!selectionAccepted) {
            std::string text = std::string(commandDisplayName(run.kind)) +
                               " Error: At least one object or bone must be selected";
            if (errors != std::vector<std::string>{text})
                fail("not the selection message alone: " + text);
        } else if (formMissing) {
            // The host learns of it from result 2; the user is shown nothing.
            if (!errors.empty())
                fail("a message was shown for a missing form service: " + errors[0]);
        } else if (weightMap && run.formCannotBeMade) {
            if (errors != std::vector<std::string>{"Marrowlink Error: Unable to create XPanels interface"})
                fail("not the message of a form that cannot be made");
        } else if (!errors.empty()) {
            fail("an error was shown for a run that had to go on: " + errors[0]);
        }
    }
    if (!run.hostile && isHierarchyKind(run.kind) && !missingService && selectionAccepted) {
        Question question = questionOf(run.kind);
        std::size_t asked = 0;
        for (const SimMessage &message : host.messages)
            if (message.kind == "yesNo") {
                ++asked;
                if (message.title != question.title ||
                    message.text != (selectionType == itemBone ? question.bonesText : question.objectsText) ||
                    message.text2 != "")
                    fail("the confirmation is not the command's own: " + message.title + " / " + message.text);
            }
        if (asked != 1)
            fail("the confirmation was asked " + std::to_string(asked) + " times");
    }

    // The scene: the bones in scope handled as asked, everything else untouched.
    std::vector<int> times = runs ? bonesInScope(host, before.selection, run.kind)
                                  : std::vector<int>(host.items.size(), 0);
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        const SimItem &item = host.items[i];
        ItemState now{item.flags, item.weightMapName, item.weightMapNameSets, item.pivotRecords, item.restRecords};
        const ItemState &was = before.items[i];
        if (now.pivotRecords - was.pivotRecords > 1 || now.restRecords - was.restRecords > 1)
            fail(describeItem(host, static_cast<int>(i)) + " recorded twice in one run");
        if (run.hostile) {
            // A host that lies about types or lists: the module must still only
            // move each setting the way its command does.
            if (run.kind == commandActivate && (was.flags & ~now.flags) != 0)
                fail(describeItem(host, static_cast<int>(i)) + " lost a flag in an activate run");
            if (run.kind == commandDeactivate && (now.flags & ~was.flags) != 0)
                fail(describeItem(host, static_cast<int>(i)) + " gained a flag in a deactivate run");
            continue;
        }
        ItemState wanted = times[i] > 0 ? handled(item, was, times[i], run, options) : was;
        if (now == wanted)
            continue;
        if (run.allocationFailed) {
            // A lost snapshot entry or tree node leaves its bones untouched, and
            // a weight-map name that needs a line of its own may be left out:
            // each setting either as wanted or as it was, never anything else.
            auto eitherOr = [](const auto &value, const auto &wantedValue, const auto &wasValue) {
                return value == wantedValue || value == wasValue;
            };
            if (eitherOr(now.flags, wanted.flags, was.flags) &&
                eitherOr(now.weightMapName, wanted.weightMapName, was.weightMapName) &&
                now.weightMapNameSets >= was.weightMapNameSets && now.weightMapNameSets <= wanted.weightMapNameSets &&
                eitherOr(now.pivotRecords, wanted.pivotRecords, was.pivotRecords) &&
                eitherOr(now.restRecords, wanted.restRecords, was.restRecords))
                continue;
        }
        std::ostringstream text;
        text << describeItem(host, static_cast<int>(i)) << (times[i] > 0 ? " in scope" : " out of scope")
             << ": flags " << was.flags << " -> " << now.flags << " (wanted " << wanted.flags << "), map name sets "
             << was.weightMapNameSets << " -> " << now.weightMapNameSets << " (wanted " << wanted.weightMapNameSets
             << "), map name " << (now.weightMapName == wanted.weightMapName ? "as wanted" : "not as wanted")
             << ", pivot records " << now.pivotRecords - was.pivotRecords << ", rest records "
             << now.restRecords - was.restRecords;
        fail(text.str());
    }

    // The form and the About panels: each made is destroyed, none misused.
    if (!panels.misuse.empty())
        fail("a form or panel call on a bad handle: " + panels.misuse[0]);
    if (panels.forms.size() != (formMade ? 1u : 0u))
        fail(std::to_string(panels.forms.size()) + " forms made");
    for (const auto &form : panels.forms)
        if (!form->destroyed)
            fail("the form was not destroyed");
    if (panels.panels.size() != static_cast<std::size_t>(aboutOpens ? aboutPresses : 0))
        fail(std::to_string(panels.panels.size()) + " About panels for " + std::to_string(aboutPresses) + " presses");
    for (const auto &panel : panels.panels)
        if (!panel->destroyed || panel->isOpen)
            fail("an About panel was left open or not destroyed");

    // The selection, as described at the top of this file.
    std::vector<ItemId> after = host.selected();
    if (run.hostile)
        return broken;  // the module and the evaluator no longer agree on the types
    if (!runs) {
        if (after != before.selection)
            fail("the selection changed although no line was sent");
        return broken;
    }
    auto withoutDuplicates = [](const std::vector<ItemId> &list, const std::set<ItemId> &leaveOut) {
        std::vector<ItemId> kept;
        std::set<ItemId> seen = leaveOut;
        for (ItemId id : list)
            if (seen.insert(id).second)
                kept.push_back(id);
        return kept;
    };
    std::set<ItemId> beforeSet(before.selection.begin(), before.selection.end());
    std::set<ItemId> afterSet(after.begin(), after.end());
    std::map<ItemId, int> timesBefore, timesAfter;
    for (ItemId id : before.selection)
        ++timesBefore[id];
    for (ItemId id : after)
        if (++timesAfter[id] > std::max(1, timesBefore[id])) {
            fail("an item is selected more often afterwards than before");
            break;
        }
    // The one extra a hierarchy walk on objects may leave: the own object of
    // the last bone it selected, when that object was not selected.
    std::set<ItemId> extra;
    if (isHierarchyKind(run.kind) && selectionType == itemObject)
        for (auto entry = host.log.rbegin(); entry != host.log.rend(); ++entry)
            if (startsWith(entry->line, "SelectItem ")) {
                for (std::size_t i = 0; i < host.items.size(); ++i)
                    if (entry->line == "SelectItem " + simHex(host.idOf(static_cast<int>(i))) &&
                        host.items[i].object >= 0 && beforeSet.count(host.idOf(host.items[i].object)) == 0)
                        extra.insert(host.idOf(host.items[i].object));
                break;
            }
    bool oneType = std::all_of(before.selection.begin(), before.selection.end(),
                               [&](ItemId id) { return typeOf(host, host.indexOf(id)) == selectionType; });
    std::set<ItemId> allowed = beforeSet;
    allowed.insert(extra.begin(), extra.end());
    bool onlyAllowed = std::includes(allowed.begin(), allowed.end(), afterSet.begin(), afterSet.end());
    if (run.allocationFailed) {
        if (oneType && !onlyAllowed)
            fail("an item is selected afterwards that was not selected before");
    } else if (oneType) {
        if (withoutDuplicates(after, extra) != withoutDuplicates(before.selection, {}))
            fail("the selection did not come back as it was");
        if (!onlyAllowed)
            fail("an item is selected afterwards that was not selected before");
    } else {
        if (!std::includes(afterSet.begin(), afterSet.end(), beforeSet.begin(), beforeSet.end()))
            fail("an item selected before is not selected afterwards");
        if (!isHierarchyKind(run.kind) && !onlyAllowed)
            fail("an item is selected afterwards that was not selected before");
    }
    int mode = selectionType == itemBone ? itemBone : itemObject;
    if (host.editMode != mode)
        fail("edit mode afterwards " + std::to_string(host.editMode) + ", expected " + std::to_string(mode));
    return broken;
}

}  // namespace oracle
