// marrowlink-sim: options, the scene in the simulator, one run of a module
// command through its activation function, the report and the batch write.
#include "sim_tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "module_loader.h"
#include "sim/lws_scene.h"
#include "sim/sample_rig.h"
#include "sim/sim_panels.h"

namespace {

constexpr int interfaceVersion = 2;

// The short names a person types, and the servers they stand for.
struct ShortName {
    const char *name;
    const char *server;
};
constexpr ShortName shortNames[] = {
    {"weightmap", "Ozrin_Marrowlink"},
    {"activate", "Ozrin_ActivateBones"},
    {"deactivate", "Ozrin_DeactivateBones"},
    {"pivots", "Ozrin_RecordBonePivots"},
    {"rest", "Ozrin_RestBones"},
};

const char *const helpText = R"(marrowlink-sim: run a command of the built Marrowlink module on a scene, in the
Layout simulator, and show what it did.

Usage:
  marrowlink-sim COMMAND [SCENE.lws] [options]
  marrowlink-sim --list [SCENE.lws]        the scene's items, as the simulator holds them
  marrowlink-sim --servers                 the module's server table

The module (build/<preset>/Marrowlink.p) is loaded the way Layout loads it:
the library is opened, `_mod_descrip` is looked up, its startup function is
called and its server table walked; the command runs through its activation
function with the simulator's services. None of the module's code is linked
into this tool.

COMMAND is a short name or a server name of the module:
  weightmap   Ozrin_Marrowlink        weight-map name := bone name (options form)
  activate    Ozrin_ActivateBones     switch the bones on
  deactivate  Ozrin_DeactivateBones   switch the bones off
  pivots      Ozrin_RecordBonePivots  record the bones' pivot rotations (asks first)
  rest        Ozrin_RestBones         record the bones' rest positions (asks first)

SCENE.lws is a LightWave scene file, LWSC version 1, 2, 3, 4, 5 or 8. Without
one the bundled sample rig is used: a body with bone chains, a sword held by a
hand bone, a lantern parented to a light, two lights and a camera.

Selection (what is selected when the command starts):
  -s, --select NAME    select an item; repeat for several, first selected first.
                       NAME is an item's name, "Object/Bone" for a bone whose
                       name repeats, or id:NNNNNNNN, the scene's item number
  --all-objects        select every object, in scene order
                       Without either: the scene's current object (CurrentObject),
                       or its first object; the sample rig selects Body.

Answers (the simulator plays the user):
  --yes, --no          the answer to the confirmation of pivots and rest (default --yes)
  --adjust, --only, --normalize
                       tick "Adjust Bone Settings", "Use Weight Map Only",
                       "Weight Normalization" on the options form, then confirm it
  --cancel             dismiss the options form instead of confirming it
  --about              press the form's About button before answering
  --about-png FILE     save the About panel as a PNG picture
  --form-png FILE      save the options form as a PNG picture

Output:
  --json               the same report as JSON, for scripts
  (default)            the command lines sent (numbered), the messages shown, the
                       result code, the bones in scope before -> after and the
                       selection after

Batch (offline) use:
  --write OUT.lws      save the scene with the command's changes; every line the
                       command did not change is copied byte for byte. Rest and
                       pivot values are written only where the bone's pose at the
                       scene's current frame is given exactly by its channels (a
                       key at that frame, or one key); otherwise nothing is written
  --in-place           write the changes back into SCENE.lws itself
                       Writing goes through a temporary file in the target's folder
                       and a rename; the input is never overwritten without --in-place.

Other:
  --module PATH        load another build of the module
  -h, --help           this text

Exit status: 0 the command ran (its result code is in the report; a write, if
asked, is done), 2 bad options, unknown command or a selection not in the
scene, 3 the scene cannot be read, 4 the module cannot be loaded, 5 the scene
cannot be written (nothing was written).

Examples:
  marrowlink-sim activate --select Body
  marrowlink-sim rest rig.lws --select Body/Hips --select Body/Spine --yes
  for f in scenes/*.lws; do marrowlink-sim weightmap "$f" --all-objects --in-place; done
)";

struct Failure {
    int status = exitDone;
    std::string message;
};

std::string lower(std::string text) {
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Options {
    std::string command;
    std::string scenePath;
    std::vector<std::string> selections;
    bool allObjects = false;
    int answer = -1;                // -1: not given (yes)
    bool adjust = false, only = false, normalize = false, cancel = false, about = false;
    std::string aboutPng, formPng;
    std::string writePath;
    bool inPlace = false;
    bool json = false;
    std::string modulePath;
    bool help = false, listItems = false, listServers = false;
    std::vector<std::string> formOptions;  // the form options given, as typed
};

bool parseOptions(int argc, char **argv, Options &options, Failure &failure) {
    std::vector<std::string> positional;
    auto usage = [&](const std::string &message) {
        failure = {exitUsage, message + " (see --help)"};
        return false;
    };
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        std::size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&](std::string &into) {
            if (!hasValue) {
                if (i + 1 >= argc)
                    return usage(name + " needs a value");
                value = argv[++i];
            }
            if (value.empty())
                return usage(name + " needs a value");
            into = value;
            return true;
        };
        auto flag = [&](bool &into) {
            if (hasValue)
                return usage(name + " takes no value");
            into = true;
            return true;
        };
        bool ok;
        if (name == "-s" || name == "--select") {
            std::string selection;
            ok = takeValue(selection);
            options.selections.push_back(selection);
        } else if (name == "--all-objects") {
            ok = flag(options.allObjects);
        } else if (name == "--yes" || name == "--no") {
            bool given = false;
            ok = flag(given);
            int answer = name == "--yes" ? 1 : 0;
            if (ok && options.answer >= 0 && options.answer != answer)
                return usage("--yes and --no together");
            options.answer = answer;
        } else if (name == "--adjust" || name == "--only" || name == "--normalize" || name == "--cancel" ||
                   name == "--about") {
            bool &into = name == "--adjust"      ? options.adjust
                         : name == "--only"      ? options.only
                         : name == "--normalize" ? options.normalize
                         : name == "--cancel"    ? options.cancel
                                                 : options.about;
            ok = flag(into);
            options.formOptions.push_back(name);
        } else if (name == "--about-png" || name == "--form-png") {
            ok = takeValue(name == "--about-png" ? options.aboutPng : options.formPng);
            options.formOptions.push_back(name);
        } else if (name == "--write") {
            ok = takeValue(options.writePath);
        } else if (name == "--in-place") {
            ok = flag(options.inPlace);
        } else if (name == "--json") {
            ok = flag(options.json);
        } else if (name == "--module") {
            ok = takeValue(options.modulePath);
        } else if (name == "-h" || name == "--help") {
            ok = flag(options.help);
        } else if (name == "--list") {
            ok = flag(options.listItems);
        } else if (name == "--servers") {
            ok = flag(options.listServers);
        } else {
            return usage("unknown option '" + arg + "'");
        }
        if (!ok)
            return false;
    }
    if (options.help)
        return true;
    if (options.listItems || options.listServers) {
        if (positional.size() > 1)
            return usage("--list and --servers take at most a scene file");
        if (!positional.empty())
            options.scenePath = positional[0];
        return true;
    }
    if (positional.empty())
        return usage("no command given: one of weightmap, activate, deactivate, pivots, rest");
    if (positional.size() > 2)
        return usage("too many arguments: '" + positional[2] + "'");
    options.command = positional[0];
    if (positional.size() == 2)
        options.scenePath = positional[1];
    if (options.allObjects && !options.selections.empty())
        return usage("--all-objects and --select together");
    if (options.inPlace && !options.writePath.empty())
        return usage("--write and --in-place together");
    if ((options.inPlace || !options.writePath.empty()) && options.scenePath.empty())
        return usage(std::string(options.inPlace ? "--in-place" : "--write") +
                     " needs a scene file; the bundled sample rig has none");
    if (!options.formOptions.empty() && lower(options.command) != "weightmap" &&
        lower(options.command) != "ozrin_marrowlink")
        return usage(options.formOptions.front() + " answers the options form of weightmap (Ozrin_Marrowlink) only");
    if (options.cancel && (options.adjust || options.only || options.normalize))
        return usage("--cancel dismisses the form, so --adjust, --only and --normalize would not reach the module");
    return true;
}

bool sameFile(const std::string &a, const std::string &b) {
    struct stat first, second;
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A path below the working folder is shown from there.
std::string shownPath(const std::string &path) {
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr)
        return path;
    std::string prefix = std::string(here) + "/";
    return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
}

// ---- the scene in the simulator ----

struct World {
    SimHost host;
    bool fromFile = false;
    LwsScene scene;
    std::vector<ItemId> ids;                // scene.items[i] -> host ID
    std::vector<std::uint32_t> numbers;     // host item index -> the scene's item number
    std::vector<bool> poseExact;            // host item index -> position and rotation read exactly
    std::vector<bool> rotationExact;        // host item index -> rotation read exactly
    std::unique_ptr<SimPanels> panels;      // the form and panel services, registered in host.services
};

std::string pathOf(const SimHost &host, int index) {
    const SimItem &item = host.items[static_cast<std::size_t>(index)];
    if (item.type == itemBone && item.object >= 0)
        return host.items[static_cast<std::size_t>(item.object)].name + "/" + item.name;
    return item.name;
}
std::string pathOf(const SimHost &host, ItemId id) { return pathOf(host, host.indexOf(id)); }

std::string hex8(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%08" PRIx32, number);
    return text;
}

bool buildWorld(World &world, const Options &options, Failure &failure) {
    SimHost &host = world.host;
    if (!options.scenePath.empty()) {
        std::string error;
        if (!loadLwsFile(options.scenePath, world.scene, error)) {
            failure = {exitScene, error};
            return false;
        }
        world.fromFile = true;
        fillHost(world.scene, host, world.ids);
        world.numbers.assign(host.items.size(), 0);
        world.poseExact.assign(host.items.size(), true);
        world.rotationExact.assign(host.items.size(), true);
        for (std::size_t i = 0; i < world.ids.size(); ++i) {
            auto index = static_cast<std::size_t>(host.indexOf(world.ids[i]));
            world.numbers[index] = world.scene.items[i].number;
            world.poseExact[index] = poseIsExact(world.scene, world.scene.items[i], true, true, nullptr);
            world.rotationExact[index] = poseIsExact(world.scene, world.scene.items[i], false, true, nullptr);
        }
    } else {
        buildSampleRig(host);
        // The numbers LightWave would give the rig's items in a saved scene.
        world.numbers.assign(host.items.size(), 0);
        world.poseExact.assign(host.items.size(), true);
        world.rotationExact.assign(host.items.size(), true);
        for (std::size_t i = 0; i < host.items.size(); ++i) {
            const SimItem &item = host.items[i];
            auto nibble = static_cast<std::uint32_t>(item.type + 1) << 28;
            auto order = static_cast<std::uint32_t>(item.orderIndex);
            if (item.type == itemBone)
                world.numbers[i] = nibble | (order << 16) |
                                   static_cast<std::uint32_t>(host.items[static_cast<std::size_t>(item.object)].orderIndex);
            else
                world.numbers[i] = nibble | order;
        }
    }
    return true;
}

std::size_t editDistance(const std::string &a, const std::string &b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string quotedList(const std::vector<std::string> &names) {
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k)
        text += (k > 0 ? ", " : "") + std::string("'") + names[k] + "'";
    return text;
}

bool resolveName(const World &world, const std::string &query, ItemId &found, Failure &failure) {
    const SimHost &host = world.host;
    std::vector<int> matches;
    if (query.compare(0, 3, "id:") == 0) {
        char *end = nullptr;
        std::string digits = query.substr(3);
        unsigned long value = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || end == nullptr || *end != '\0') {
            failure = {exitUsage, "'" + query + "' is not an item number: write id: and eight hex digits"};
            return false;
        }
        for (std::size_t i = 0; i < world.numbers.size(); ++i)
            if (world.numbers[i] == value)
                matches.push_back(static_cast<int>(i));
    } else {
        for (std::size_t i = 0; i < host.items.size(); ++i)
            if (host.items[i].name == query)
                matches.push_back(static_cast<int>(i));
        if (matches.empty())
            for (std::size_t i = 0; i < host.items.size(); ++i)
                if (host.items[i].type == itemBone && pathOf(host, static_cast<int>(i)) == query)
                    matches.push_back(static_cast<int>(i));
    }
    if (matches.size() == 1) {
        found = host.idOf(matches[0]);
        return true;
    }
    if (matches.size() > 1) {
        std::vector<std::string> names;
        for (int index : matches)
            names.push_back(pathOf(host, index) + "' (id:" + hex8(world.numbers[static_cast<std::size_t>(index)]) + ")");
        std::string text = "'" + query + "' names " + std::to_string(matches.size()) + " items: ";
        for (std::size_t k = 0; k < names.size(); ++k)
            text += (k > 0 ? ", '" : "'") + names[k];
        failure = {exitUsage, text + "; select one by its path Object/Bone or its id:"};
        return false;
    }
    // Not there: offer the names that are close.
    struct Candidate {
        std::size_t distance;
        std::string name;
    };
    std::vector<Candidate> close;
    std::string wanted = lower(query);
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        std::string path = pathOf(host, static_cast<int>(i));
        for (const std::string &name : {host.items[i].name, path}) {
            std::size_t distance = editDistance(query, name);
            bool contains = !wanted.empty() && lower(name).find(wanted) != std::string::npos;
            if (distance <= std::max<std::size_t>(2, query.size() / 3) || contains) {
                if (std::none_of(close.begin(), close.end(), [&](const Candidate &c) { return c.name == path; }))
                    close.push_back({contains ? 0 : distance, path});
                break;
            }
        }
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const Candidate &a, const Candidate &b) { return a.distance < b.distance; });
    std::string text = "no item named '" + query + "' in the scene";
    if (!close.empty()) {
        std::vector<std::string> names;
        for (std::size_t k = 0; k < close.size() && k < 6; ++k)
            names.push_back(close[k].name);
        text += "; close names: " + quotedList(names);
    } else {
        std::vector<std::string> objects;
        for (int index : host.itemsOfType[itemObject])
            if (objects.size() < 8)
                objects.push_back(host.items[static_cast<std::size_t>(index)].name);
        text += objects.empty() ? "; the scene has no objects" : "; its objects include " + quotedList(objects);
    }
    failure = {exitUsage, text};
    return false;
}

const char *typeWord(int type) {
    switch (type) {
    case itemObject: return "an object";
    case itemLight: return "a light";
    case itemCamera: return "a camera";
    default: return "a bone";
    }
}

bool chooseSelection(World &world, const Options &options, Failure &failure) {
    SimHost &host = world.host;
    if (options.allObjects) {
        std::vector<ItemId> objects;
        for (int index : host.itemsOfType[itemObject])
            objects.push_back(host.idOf(index));
        host.select(objects);
        return true;
    }
    if (options.selections.empty())
        return true;  // the scene's own selection
    std::vector<ItemId> chosen;
    for (const std::string &name : options.selections) {
        ItemId id = nullptr;
        if (!resolveName(world, name, id, failure))
            return false;
        if (std::find(chosen.begin(), chosen.end(), id) != chosen.end()) {
            failure = {exitUsage, "'" + name + "' is selected twice"};
            return false;
        }
        // A Layout selection holds items of one type.
        if (!chosen.empty() && host.item(chosen.front()).type != host.item(id).type) {
            failure = {exitUsage, "a Layout selection holds items of one type: '" + pathOf(host, chosen.front()) +
                                      "' is " + typeWord(host.item(chosen.front()).type) + ", '" + name + "' is " +
                                      typeWord(host.item(id).type)};
            return false;
        }
        chosen.push_back(id);
    }
    host.select(chosen);
    return true;
}

// The options form's answers reach the module only through the form the
// simulator shows it ("LWXPanel"): the module keeps its options to itself.
// The simulated user confirms (or dismisses) every form the same way.
constexpr std::uint32_t controlAdjust = 0x8001, controlOnly = 0x8002, controlNormalize = 0x8003;

void scriptOptionsForm(World &world, const Options &options) {
    world.panels = std::make_unique<SimPanels>(world.host);
    SimPanels &panels = *world.panels;
    SimFormUser user;
    user.result = options.cancel ? 0 : 1;
    bool about = options.about || !options.aboutPng.empty();
    user.aboutPresses = about ? 1 : 0;
    user.values = {{controlAdjust, options.adjust ? 1 : 0},
                   {controlOnly, options.only ? 1 : 0},
                   {controlNormalize, options.normalize ? 1 : 0}};
    panels.defaultFormUser = user;
    panels.renderForms = !options.formPng.empty();
    if (about) {
        // The About panel is drawn once, then the user closes it.
        panels.panelEvents.push_back({SimPanelEvent::redraw, 0});
        panels.panelEvents.push_back({SimPanelEvent::close, 0});
    }
}

const LoadedServer *findServer(const LoadedModule &module, const std::string &command, Failure &failure) {
    std::string server = command;
    for (const ShortName &entry : shortNames)
        if (lower(command) == entry.name)
            server = entry.server;
    if (const LoadedServer *found = module.find(server))
        return found;
    for (const LoadedServer &candidate : module.servers)
        if (lower(candidate.name) == lower(command))
            return &candidate;
    bool known = std::any_of(std::begin(shortNames), std::end(shortNames),
                             [&](const ShortName &entry) { return server == entry.server; });
    if (known) {
        failure = {exitModule, "the module '" + module.path + "' has no server " + server};
        return nullptr;
    }
    std::string names;
    for (const LoadedServer &candidate : module.servers)
        names += (names.empty() ? "" : ", ") + candidate.name;
    failure = {exitUsage, "unknown command '" + command +
                              "': use weightmap, activate, deactivate, pivots or rest, or a server name (" + names +
                              ")"};
    return nullptr;
}

// ---- what the command did ----

struct BoneState {
    bool active = false, weightMapOnly = false, normalization = false;
    std::string weightMap;
    SimVector restPosition, restRotation, pivotRotation;
    int restRecords = 0, pivotRecords = 0;
};

BoneState stateOf(const SimItem &item) {
    return {(item.flags & boneFlagActive) != 0,
            (item.flags & boneFlagWeightMapOnly) != 0,
            (item.flags & boneFlagNormalization) != 0,
            item.weightMapName,
            item.restPosition,
            item.restRotation,
            item.pivotRotation,
            item.restRecords,
            item.pivotRecords};
}

bool sameState(const BoneState &a, const BoneState &b) {
    return a.active == b.active && a.weightMapOnly == b.weightMapOnly && a.normalization == b.normalization &&
           a.weightMap == b.weightMap && a.restPosition == b.restPosition && a.restRotation == b.restRotation &&
           a.pivotRotation == b.pivotRotation && a.restRecords == b.restRecords && a.pivotRecords == b.pivotRecords;
}

struct BoneRow {
    int index = -1;
    std::string path;
    std::uint32_t number = 0;
    bool inScope = false;
    bool poseExact = true;          // rest values can be told
    bool rotationExact = true;      // pivot values can be told
    BoneState before, after;
};

struct SentLine {
    std::string line;
    std::string item;               // the item an ID in the line names
    bool accepted = true;
    std::string why;
};

struct Report {
    std::string scene;
    int version = 0;
    int objects = 0, bones = 0, lights = 0, cameras = 0;
    std::vector<std::string> notes;
    std::string modulePath;
    std::string server, label;
    std::vector<std::string> selectionBefore, selectionAfter;
    std::vector<SentLine> lines;
    std::vector<SimMessage> messages;
    int result = 0;
    std::vector<BoneRow> boneRows;
    std::string written;            // path written, when a write was asked and done
    std::string writeError;         // why a write that was asked was not done
    // The options form, when the command showed one.
    bool formShown = false;
    std::string formTitle;
    std::vector<int> formPreset, formAnswer;  // adjust, only, normalize as shown and as left
    bool formConfirmed = false;
    int aboutPresses = 0;
    int aboutPanels = 0;            // About panels the module opened
    std::vector<std::string> pictures;
    int changedLines = 0, addedLines = 0;
};

std::vector<std::string> selectionNames(const SimHost &host) {
    std::vector<std::string> names;
    for (ItemId id : host.selected())
        names.push_back(host.indexOf(id) >= 0 ? pathOf(host, id) : "(unknown item)");
    return names;
}

std::string itemOfLine(const SimHost &host, const std::string &line) {
    for (const char *command : {"SelectItem ", "AddToSelection "}) {
        std::size_t length = std::strlen(command);
        if (line.compare(0, length, command) != 0)
            continue;
        char *end = nullptr;
        unsigned long long value = std::strtoull(line.c_str() + length, &end, 16);
        if (end == nullptr || *end != '\0')
            return "";
        int index = host.indexOf(reinterpret_cast<ItemId>(static_cast<std::uintptr_t>(value)));
        return index >= 0 ? pathOf(host, index) : "";
    }
    return "";
}

// The bones a command acts on: every bone of the selected objects when an
// object is selected first, the selected bones when a bone is.
std::vector<int> bonesInScope(const SimHost &host) {
    std::vector<int> bones;
    std::vector<ItemId> selected = host.selected();
    if (selected.empty() || host.indexOf(selected.front()) < 0)
        return bones;
    int type = host.item(selected.front()).type;
    for (ItemId id : selected) {
        int index = host.indexOf(id);
        if (index < 0 || host.items[static_cast<std::size_t>(index)].type != type)
            continue;
        if (type == itemBone)
            bones.push_back(index);
        else if (type == itemObject)
            for (int bone : host.items[static_cast<std::size_t>(index)].bones)
                bones.push_back(bone);
    }
    return bones;
}

// ---- printing ----

std::string number(double value) {
    if (value == 0)
        return "0";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}
std::string vectorText(const SimVector &v) { return number(v.x) + " " + number(v.y) + " " + number(v.z); }
const char *onOff(bool value) { return value ? "on" : "off"; }
std::string change(const std::string &before, const std::string &after) {
    return before == after ? before : before + " \u2192 " + after;
}
std::string mapText(const std::string &name) { return name.empty() ? "(none)" : name; }

// Width on a terminal: UTF-8 continuation bytes take no column.
std::size_t columns(const std::string &text) {
    std::size_t width = 0;
    for (char c : text)
        width += (static_cast<unsigned char>(c) & 0xc0) != 0x80 ? 1 : 0;
    return width;
}

void printTable(std::FILE *out, const std::vector<std::vector<std::string>> &rows) {
    std::vector<std::size_t> widths;
    for (const auto &row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.push_back(0);
            widths[c] = std::max(widths[c], columns(row[c]));
        }
    for (const auto &row : rows) {
        std::string line = " ";
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += " " + row[c];
            if (c + 1 < row.size())
                line += std::string(widths[c] - columns(row[c]) + 1, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::fprintf(out, "%s\n", line.c_str());
    }
}

std::string restCell(const BoneRow &row) {
    std::string before = vectorText(row.before.restPosition) + " / " + vectorText(row.before.restRotation);
    if (row.after.restRecords == row.before.restRecords)
        return before;
    if (!row.poseExact)
        return before + " \u2192 ? (pose not exact)";
    std::string after = vectorText(row.after.restPosition) + " / " + vectorText(row.after.restRotation);
    return after == before ? before + " (recorded)" : before + " \u2192 " + after;
}
std::string pivotCell(const BoneRow &row) {
    std::string before = vectorText(row.before.pivotRotation);
    if (row.after.pivotRecords == row.before.pivotRecords)
        return before;
    if (!row.rotationExact)
        return before + " \u2192 ? (pose not exact)";
    std::string after = vectorText(row.after.pivotRotation);
    return after == before ? before + " (recorded)" : before + " \u2192 " + after;
}

// Host texts are Windows-1252 bytes (the form's title starts its notice with
// byte 169); a terminal wants UTF-8. Bytes that are not UTF-8 already are
// shown as the Latin letters they stand for.
// The length of the whole UTF-8 sequence that starts at text[i], or 0 when
// the bytes there are not one.
std::size_t utf8SequenceLength(const std::string &text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80)
            return 0;
    return length;
}

std::string displayText(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = utf8SequenceLength(text, i);
        if (length > 0) {
            out += text.substr(i, length);
            i += length - 1;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::string checkboxes(const std::vector<int> &values) {
    static const char *const labels[] = {"Adjust Bone Settings", "Use Weight Map Only", "Weight Normalization"};
    std::string text;
    for (std::size_t k = 0; k < values.size() && k < 3; ++k)
        text += std::string(k > 0 ? ", " : "") + labels[k] + " " + (values[k] > 0 ? "on" : "off");
    return text;
}

std::string nameList(const std::vector<std::string> &names) {
    if (names.empty())
        return "(nothing)";
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k)
        text += (k > 0 ? ", " : "") + names[k];
    return text;
}

std::string plural(int count, const char *word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

void printText(std::FILE *out, const Report &report) {
    std::fprintf(out, "Scene       %s", report.scene.c_str());
    if (report.version > 0)
        std::fprintf(out, " (LWSC %d)", report.version);
    std::fprintf(out, ": %s, %s, %s, %s\n", plural(report.objects, "object").c_str(),
                 plural(report.bones, "bone").c_str(), plural(report.lights, "light").c_str(),
                 plural(report.cameras, "camera").c_str());
    for (const std::string &note : report.notes)
        std::fprintf(out, "Note        %s\n", note.c_str());
    std::fprintf(out, "Module      %s\n", report.modulePath.c_str());
    std::fprintf(out, "Command     %s \"%s\"\n", report.server.c_str(), report.label.c_str());
    std::fprintf(out, "Selected    %s\n", nameList(report.selectionBefore).c_str());

    std::fprintf(out, "\nLines sent\n");
    if (report.lines.empty())
        std::fprintf(out, "  (none)\n");
    int numberOfLine = 0;
    std::vector<std::vector<std::string>> lineRows;
    for (const SentLine &line : report.lines) {
        std::string note = line.item;
        if (!line.accepted)
            note += (note.empty() ? "" : "  ") + std::string("(rejected: ") + line.why + ")";
        lineRows.push_back({std::to_string(++numberOfLine), line.line, note});
    }
    for (auto &row : lineRows)
        row[0] = std::string(3 - std::min<std::size_t>(3, row[0].size()), ' ') + row[0];
    printTable(out, lineRows);

    std::fprintf(out, "\nMessages\n");
    if (report.messages.empty())
        std::fprintf(out, "  (none)\n");
    for (const SimMessage &message : report.messages) {
        bool question = message.kind == "yesNo" || message.kind == "okCancel";
        std::fprintf(out, "  %-8s ", message.kind.c_str());
        if (question)
            std::fprintf(out, "\"%s\": ", message.title.c_str());
        std::fprintf(out, "\"%s\"", message.text.c_str());
        if (message.text2 != "(null)" && !message.text2.empty())
            std::fprintf(out, " / \"%s\"", message.text2.c_str());
        if (question)
            std::fprintf(out, "  answered %s", message.answer != 0 ? "yes" : "no");
        std::fprintf(out, "\n");
    }
    if (report.formShown) {
        std::fprintf(out, "\nOptions form  \"%s\"\n", displayText(report.formTitle).c_str());
        std::fprintf(out, "  shown with  %s\n", checkboxes(report.formPreset).c_str());
        if (report.aboutPresses > 0)
            std::fprintf(out, "  About       pressed %s, %s opened\n", plural(report.aboutPresses, "time").c_str(),
                         plural(report.aboutPanels, "panel").c_str());
        std::fprintf(out, "  answered    %s, %s\n", checkboxes(report.formAnswer).c_str(),
                     report.formConfirmed ? "confirmed" : "dismissed");
    }
    for (const std::string &picture : report.pictures)
        std::fprintf(out, "Picture     %s\n", picture.c_str());
    std::fprintf(out, "\nResult      %d\n", report.result);

    std::fprintf(out, "\nBones in scope, before \u2192 after\n");
    if (report.boneRows.empty())
        std::fprintf(out, "  (none)\n");
    else {
        std::vector<std::vector<std::string>> rows = {
            {"bone", "active", "weight map", "map only", "normalize", "rest position / direction", "pivot rotation"}};
        for (const BoneRow &row : report.boneRows)
            rows.push_back({row.path + (row.inScope ? "" : " (outside the selection!)"),
                            change(onOff(row.before.active), onOff(row.after.active)),
                            change(mapText(row.before.weightMap), mapText(row.after.weightMap)),
                            change(onOff(row.before.weightMapOnly), onOff(row.after.weightMapOnly)),
                            change(onOff(row.before.normalization), onOff(row.after.normalization)),
                            restCell(row), pivotCell(row)});
        printTable(out, rows);
    }
    std::fprintf(out, "\nSelection after  %s%s\n", nameList(report.selectionAfter).c_str(),
                 report.selectionAfter != report.selectionBefore ? "  (not as it was before)" : "");
    if (!report.written.empty())
        std::fprintf(out, "Written     %s (%s changed, %s added)\n", report.written.c_str(),
                     plural(report.changedLines, "line").c_str(), plural(report.addedLines, "line").c_str());
}

// ---- JSON ----

std::string jsonString(const std::string &text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Keep valid UTF-8; read any other byte as Windows' Latin letters.
            std::size_t length = utf8SequenceLength(text, i);
            if (length > 0) {
                out += text.substr(i, length);
                i += length - 1;
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            }
        }
    }
    return out + "\"";
}

// The shortest text that reads back as the same double.
std::string jsonNumber(double value) {
    if (value == 0 || !std::isfinite(value))
        return "0";
    char text[40];
    auto [end, code] = std::to_chars(text, text + sizeof text, value);
    return code == std::errc() ? std::string(text, end) : "0";
}
std::string jsonVector(const SimVector &v) {
    return "[" + jsonNumber(v.x) + ", " + jsonNumber(v.y) + ", " + jsonNumber(v.z) + "]";
}
std::string jsonBool(bool value) { return value ? "true" : "false"; }
std::string jsonNames(const std::vector<std::string> &names) {
    std::string text = "[";
    for (std::size_t k = 0; k < names.size(); ++k)
        text += (k > 0 ? ", " : "") + jsonString(names[k]);
    return text + "]";
}
std::string jsonState(const BoneState &state) {
    return "{\"active\": " + jsonBool(state.active) + ", \"weightMap\": " + jsonString(state.weightMap) +
           ", \"weightMapOnly\": " + jsonBool(state.weightMapOnly) +
           ", \"normalization\": " + jsonBool(state.normalization) +
           ", \"restPosition\": " + jsonVector(state.restPosition) +
           ", \"restDirection\": " + jsonVector(state.restRotation) +
           ", \"pivotRotation\": " + jsonVector(state.pivotRotation) +
           ", \"restRecorded\": " + std::to_string(state.restRecords) +
           ", \"pivotRecorded\": " + std::to_string(state.pivotRecords) + "}";
}

void printJson(std::FILE *out, const Report &report) {
    std::string text = "{\n";
    text += "  \"scene\": {\"file\": " + jsonString(report.scene) + ", \"version\": " +
            std::to_string(report.version) + ", \"objects\": " + std::to_string(report.objects) +
            ", \"bones\": " + std::to_string(report.bones) + ", \"lights\": " + std::to_string(report.lights) +
            ", \"cameras\": " + std::to_string(report.cameras) + ", \"notes\": " + jsonNames(report.notes) + "},\n";
    text += "  \"module\": " + jsonString(report.modulePath) + ",\n";
    text += "  \"command\": {\"server\": " + jsonString(report.server) + ", \"label\": " + jsonString(report.label) +
            "},\n";
    text += "  \"selectionBefore\": " + jsonNames(report.selectionBefore) + ",\n";
    text += "  \"lines\": [";
    for (std::size_t k = 0; k < report.lines.size(); ++k) {
        const SentLine &line = report.lines[k];
        text += std::string(k > 0 ? "," : "") + "\n    {\"number\": " + std::to_string(k + 1) +
                ", \"line\": " + jsonString(line.line) + ", \"item\": " + jsonString(line.item) +
                ", \"accepted\": " + jsonBool(line.accepted) +
                (line.accepted ? "" : ", \"why\": " + jsonString(line.why)) + "}";
    }
    text += report.lines.empty() ? "],\n" : "\n  ],\n";
    text += "  \"messages\": [";
    for (std::size_t k = 0; k < report.messages.size(); ++k) {
        const SimMessage &message = report.messages[k];
        bool question = message.kind == "yesNo" || message.kind == "okCancel";
        text += std::string(k > 0 ? "," : "") + "\n    {\"kind\": " + jsonString(message.kind) +
                ", \"title\": " + jsonString(message.title) + ", \"text\": " + jsonString(message.text) +
                ", \"text2\": " + (message.text2 == "(null)" ? std::string("null") : jsonString(message.text2)) +
                (question ? ", \"answer\": " + std::to_string(message.answer) : std::string()) + "}";
    }
    text += report.messages.empty() ? "],\n" : "\n  ],\n";
    if (report.formShown) {
        auto flags = [](const std::vector<int> &values) {
            return "{\"adjustBoneSettings\": " + jsonBool(values.size() > 0 && values[0] > 0) +
                   ", \"useWeightMapOnly\": " + jsonBool(values.size() > 1 && values[1] > 0) +
                   ", \"weightNormalization\": " + jsonBool(values.size() > 2 && values[2] > 0) + "}";
        };
        text += "  \"form\": {\"title\": " + jsonString(report.formTitle) + ", \"shown\": " + flags(report.formPreset) +
                ", \"answered\": " + flags(report.formAnswer) + ", \"confirmed\": " + jsonBool(report.formConfirmed) +
                ", \"aboutPresses\": " + std::to_string(report.aboutPresses) +
                ", \"aboutPanels\": " + std::to_string(report.aboutPanels) + "},\n";
    } else {
        text += "  \"form\": null,\n";
    }
    text += "  \"pictures\": " + jsonNames(report.pictures) + ",\n";
    text += "  \"result\": " + std::to_string(report.result) + ",\n";
    text += "  \"bones\": [";
    for (std::size_t k = 0; k < report.boneRows.size(); ++k) {
        const BoneRow &row = report.boneRows[k];
        text += std::string(k > 0 ? "," : "") + "\n    {\"bone\": " + jsonString(row.path) + ", \"id\": " +
                jsonString(hex8(row.number)) + ", \"inScope\": " + jsonBool(row.inScope) +
                ", \"poseExact\": " + jsonBool(row.poseExact) +
                ", \"rotationExact\": " + jsonBool(row.rotationExact) + ",\n     \"before\": " + jsonState(row.before) +
                ",\n     \"after\": " + jsonState(row.after) + "}";
    }
    text += report.boneRows.empty() ? "],\n" : "\n  ],\n";
    text += "  \"selectionAfter\": " + jsonNames(report.selectionAfter) + ",\n";
    if (!report.writeError.empty())
        text += "  \"writeError\": " + jsonString(report.writeError) + ",\n";
    if (report.written.empty())
        text += "  \"written\": null\n";
    else
        text += "  \"written\": {\"file\": " + jsonString(report.written) + ", \"changedLines\": " +
                std::to_string(report.changedLines) + ", \"addedLines\": " + std::to_string(report.addedLines) +
                "}\n";
    text += "}\n";
    std::fputs(text.c_str(), out);
}

int reportFailure(std::FILE *out, std::FILE *err, const Options &options, const Failure &failure) {
    std::fprintf(err, "marrowlink-sim: %s\n", failure.message.c_str());
    if (options.json)
        std::fprintf(out, "{\"error\": %s, \"exitStatus\": %d}\n", jsonString(failure.message).c_str(),
                     failure.status);
    return failure.status;
}

void listItems(std::FILE *out, const World &world) {
    const SimHost &host = world.host;
    std::vector<std::vector<std::string>> rows = {{"id", "type", "item", "parent", "bone flags"}};
    static const char *const types[] = {"object", "light", "camera", "bone"};
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        const SimItem &item = host.items[i];
        std::string flags;
        if (item.type == itemBone)
            flags = std::string((item.flags & boneFlagActive) != 0 ? "active" : "inactive") +
                    ((item.flags & boneFlagWeightMapOnly) != 0 ? ", map only" : "") +
                    ((item.flags & boneFlagNormalization) != 0 ? ", normalize" : "") +
                    (item.weightMapName.empty() ? "" : ", map " + item.weightMapName);
        rows.push_back({hex8(world.numbers[i]), types[item.type], pathOf(host, static_cast<int>(i)),
                        item.parent >= 0 ? pathOf(host, item.parent) : "-", flags});
    }
    printTable(out, rows);
    std::vector<std::string> selected = selectionNames(host);
    std::fprintf(out, "Selected: %s\n", nameList(selected).c_str());
}

// The report of a run whose output could not be saved, then the reason.
int failAfterRun(std::FILE *out, std::FILE *err, const Options &options, Report &report, const std::string &why) {
    report.writeError = why;
    if (options.json)
        printJson(out, report);
    else
        printText(out, report);
    std::fprintf(err, "marrowlink-sim: %s\n", why.c_str());
    return exitWrite;
}

}  // namespace

int runSimTool(int argc, char **argv, std::FILE *out, std::FILE *err) {
    Options options;
    Failure failure;
    // A script that asked for JSON gets its errors as JSON too, even when the
    // options around --json are the trouble.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--json") == 0)
            options.json = true;
        else if (std::strcmp(argv[i], "--") == 0)
            break;
    if (!parseOptions(argc, argv, options, failure))
        return reportFailure(out, err, options, failure);
    if (options.help) {
        std::fputs(helpText, out);
        return exitDone;
    }

    // Everything that can be refused is refused before the command runs.
    std::string target = options.inPlace ? options.scenePath : options.writePath;
    if (!options.writePath.empty() && sameFile(options.writePath, options.scenePath))
        return reportFailure(out, err, options,
                             {exitUsage, "--write " + options.writePath +
                                             " would overwrite the scene it reads; use --in-place for that"});

    World world;
    if (!buildWorld(world, options, failure))
        return reportFailure(out, err, options, failure);
    if (options.listItems)
        listItems(out, world);
    if (options.listItems && !options.listServers)
        return exitDone;

    LoadedModule module;
    std::string error;
    if (!module.load(options.modulePath.empty() ? defaultModulePath() : options.modulePath, error))
        return reportFailure(out, err, options, {exitModule, error});
    if (options.listServers) {
        std::fprintf(out, "%s: startup returned %" PRIuPTR ", %zu servers\n", module.path.c_str(),
                     module.startupResult, module.servers.size());
        std::vector<std::vector<std::string>> rows = {{"class", "server", "full label", "short label"}};
        for (const LoadedServer &server : module.servers)
            rows.push_back({server.serverClass, server.name, "\"" + server.fullLabel + "\"",
                            "\"" + server.shortLabel + "\""});
        printTable(out, rows);
        return exitDone;
    }
    const LoadedServer *server = findServer(module, options.command, failure);
    if (server == nullptr)
        return reportFailure(out, err, options, failure);
    if (server->serverClass != "LayoutGeneric")
        return reportFailure(out, err, options,
                             {exitModule, server->name + " is a " + server->serverClass +
                                              " server; this tool runs LayoutGeneric servers"});
    if (!chooseSelection(world, options, failure))
        return reportFailure(out, err, options, failure);
    scriptOptionsForm(world, options);

    SimHost &host = world.host;
    host.defaultAnswer = options.answer == 0 ? 0 : 1;  // every question gets the same answer

    Report report;
    if (world.fromFile) {
        report.scene = options.scenePath;
        report.version = world.scene.version;
        report.notes = world.scene.notes;
    } else {
        report.scene = "bundled sample rig";
    }
    report.objects = static_cast<int>(host.itemsOfType[itemObject].size());
    report.lights = static_cast<int>(host.itemsOfType[itemLight].size());
    report.cameras = static_cast<int>(host.itemsOfType[itemCamera].size());
    report.bones = static_cast<int>(host.allBones().size());
    report.modulePath = shownPath(module.path);
    report.server = server->name;
    report.label = server->fullLabel;
    report.selectionBefore = selectionNames(host);

    // Where each bone stands in the scope: the order the command meets them.
    std::vector<int> scope = bonesInScope(host);
    std::vector<std::ptrdiff_t> rank(host.items.size(), -1);
    for (std::size_t k = 0; k < scope.size(); ++k)
        if (rank[static_cast<std::size_t>(scope[k])] < 0)
            rank[static_cast<std::size_t>(scope[k])] = static_cast<std::ptrdiff_t>(k);
    std::vector<BoneState> before;
    for (const SimItem &item : host.items)
        before.push_back(stateOf(item));

    host.activate();
    host.clearRecords();
    report.result = server->activation(interfaceVersion, host.lookup(), host.genericRecord());

    for (const SimLogEntry &entry : host.log)
        report.lines.push_back({entry.line, itemOfLine(host, entry.line), entry.accepted, entry.why});
    report.messages = host.messages;
    for (std::size_t i = 0; i < host.items.size(); ++i) {
        const SimItem &item = host.items[i];
        if (item.type != itemBone)
            continue;
        bool inScope = rank[i] >= 0;
        BoneState after = stateOf(item);
        if (!inScope && sameState(before[i], after))
            continue;
        report.boneRows.push_back({static_cast<int>(i), pathOf(host, static_cast<int>(i)), world.numbers[i], inScope,
                                 world.poseExact[i], world.rotationExact[i], before[i], after});
    }
    // Bones in scope first, in scope order; any other bone that changed after them.
    auto order = [&](const BoneRow &row) {
        std::ptrdiff_t at = rank[static_cast<std::size_t>(row.index)];
        return at >= 0 ? at : static_cast<std::ptrdiff_t>(scope.size()) + row.index;
    };
    std::stable_sort(report.boneRows.begin(), report.boneRows.end(),
                     [&](const BoneRow &a, const BoneRow &b) { return order(a) < order(b); });
    report.selectionAfter = selectionNames(host);

    if (const SimForm *form = world.panels->lastForm()) {
        report.formShown = true;
        report.formTitle = form->title;
        for (std::uint32_t control : {controlAdjust, controlOnly, controlNormalize}) {
            auto shown = form->shownAtPost.empty() ? form->values : form->shownAtPost.back();
            report.formPreset.push_back(shown.count(control) != 0 ? shown.at(control) : 0);
            report.formAnswer.push_back(form->values.count(control) != 0 ? form->values.at(control) : 0);
        }
        report.formConfirmed = !options.cancel;
        report.aboutPresses = options.about || !options.aboutPng.empty() ? 1 : 0;
    }
    for (const auto &panel : world.panels->panels)
        report.aboutPanels += panel->madeByModule ? 1 : 0;

    // The changed scene is made before anything is saved, so that a scene
    // that cannot be written leaves no picture behind either.
    std::string sceneText;
    if (!target.empty() &&
        !patchLwsScene(world.scene, host, world.ids, sceneText, error, &report.changedLines, &report.addedLines))
        return failAfterRun(out, err, options, report, target + ": " + error);

    std::string pictureError;
    auto savePicture = [&](const SimCanvas *picture, const std::string &path, const char *what) {
        if (path.empty() || !pictureError.empty())
            return;
        std::string why;
        if (picture == nullptr)
            pictureError = path + ": the command showed no " + what;
        else if (!simSavePng(*picture, path, why))
            pictureError = path + ": " + why;
        else
            report.pictures.push_back(path);
    };
    const SimForm *lastForm = world.panels->lastForm();
    savePicture(lastForm != nullptr ? &lastForm->picture : nullptr, options.formPng, "options form");
    const SimPanel *about = world.panels->lastPanel();
    SimCanvas framed;
    if (about != nullptr)
        framed = world.panels->framedPanel(*about);
    savePicture(about != nullptr ? &framed : nullptr, options.aboutPng, "About panel");

    if (!pictureError.empty())
        return failAfterRun(out, err, options, report, pictureError);
    if (!target.empty()) {
        if (!writeFileAtomically(target, sceneText, error))
            return failAfterRun(out, err, options, report, target + ": " + error);
        report.written = target;
    }
    if (options.json)
        printJson(out, report);
    else
        printText(out, report);
    return exitDone;
}
