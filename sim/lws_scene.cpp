// LwsScene: reading a LightWave scene file into the simulator and writing the
// simulator's bone state back into the file's own lines.
#include "sim/lws_scene.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#if defined(_WIN32)
#include <ctime>
#include <filesystem>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr double pi = 3.14159265358979323846;

// ---- words of a line ----

struct Word {
    std::size_t begin, end;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<Word> wordsOf(const std::string &text) {
    std::vector<Word> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i == text.size())
            break;
        std::size_t begin = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        words.push_back({begin, i});
    }
    return words;
}

std::string wordText(const std::string &text, const Word &word) { return text.substr(word.begin, word.end - word.begin); }

// The text after the keyword and its one blank: names and file names run to
// the end of the line and may hold blanks of their own.
std::string restAfter(const std::string &text, std::size_t end) {
    if (end < text.size() && isBlank(text[end]))
        return text.substr(end + 1);
    return "";
}

bool parseDouble(const std::string &text, double &value) {
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

bool parseInteger(const std::string &text, long &value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

// Item numbers: eight hex digits, either case, no prefix.
bool parseItemNumber(const std::string &text, std::uint32_t &value) {
    if (text.empty() || text.size() > 8)
        return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && ptr == text.data() + text.size();
}

std::string hex8(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", number);
    return text;
}

// Shortest text that reads back as the same double; LightWave reads plain and
// exponent forms alike.
std::string formatNumber(double value) {
    if (value == 0)
        return "0";  // no "-0"
    char text[64];
    auto [ptr, ec] = std::to_chars(text, text + sizeof text, value);
    return std::string(text, ptr);
}

// Angles that came from radians in single precision (LightWave's keys hold
// floats: -1.5707963705062866211 is the float nearest -pi/2) go back as the
// shortest text of that float, as LightWave writes its degrees.
std::string formatFloat(double value) {
    auto single = static_cast<float>(value);
    if (single == 0 || !std::isfinite(single))
        return formatNumber(value);
    char text[64];
    auto [ptr, ec] = std::to_chars(text, text + sizeof text, single);
    return std::string(text, ptr);
}

bool isNumericLine(const std::string &trimmed) {
    if (trimmed.empty())
        return false;
    char c = trimmed[0];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

std::string trimmedStart(const std::string &text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return text.substr(i);
}

// Object names come from the file name: no folders, no disk, no extension.
std::string objectNameFromPath(const std::string &path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] == '/' || path[i] == '\\' || path[i] == ':')
            start = i + 1;
    std::string base = path.substr(start);
    std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base = base.substr(0, dot);
    return base.empty() ? path : base;
}

const char *typeWord(int type) {
    switch (type) {
    case itemObject: return "object";
    case itemLight: return "light";
    case itemCamera: return "camera";
    default: return "bone";
    }
}

std::uint32_t typeNibble(int type) { return static_cast<std::uint32_t>(type + 1) << 28; }

struct BoneKeywordName {
    const char *keyword;
    LwsBoneKeyword index;
};
constexpr BoneKeywordName boneKeywords[] = {
    {"BoneName", lwsBoneName},
    {"ShowBone", lwsShowBone},
    {"ItemLock", lwsItemLock},
    {"SchematicPosition", lwsSchematicPosition},
    {"BoneActive", lwsBoneActive},
    {"BoneRestPosition", lwsBoneRestPosition},
    {"BoneRestDirection", lwsBoneRestDirection},
    {"BoneRestLength", lwsBoneRestLength},
    {"BoneWeightMapName", lwsBoneWeightMapName},
    {"BoneWeightMapOnly", lwsBoneWeightMapOnly},
    {"BoneNormalization", lwsBoneNormalization},
};

// ---- the reader ----

struct Reader {
    LwsScene &scene;
    std::string &error;
    int current = -1;               // item whose statements these are
    int lastObject = -1;
    int motionItem = -1;            // item whose motion channels follow
    int pendingChannel = -1;        // "Channel n" waits for its "{ Envelope"
    std::map<int, int> bonesSoFar;  // object index -> bones declared under it
    int declared[4] = {0, 0, 0, 0};  // items declared so far, by type
    bool currentFrameSeen = false;

    Reader(LwsScene &target, std::string &message) : scene(target), error(message) {}

    bool fail(int line, const std::string &text) {
        error = "line " + std::to_string(line + 1) + ": " + text;
        return false;
    }
    const std::string &textOf(int line) const { return scene.lines[static_cast<std::size_t>(line)].text; }
    LwsItem &item() { return scene.items[static_cast<std::size_t>(current)]; }

    bool declare(int line, int type, const std::string &name, bool numbered, std::uint32_t number) {
        LwsItem item;
        item.type = type;
        item.name = name;
        item.declarationLine = line;
        item.numberFromFile = numbered;
        int index = static_cast<int>(scene.items.size());
        if (type == itemBone) {
            item.keywordLines[lwsAddBone] = line;
            if (numbered) {
                // The low 16 bits of a bone's number name its object.
                std::uint32_t objectNumber = typeNibble(itemObject) | (number & 0xffffu);
                int owner = scene.indexOfNumber(objectNumber);
                if (owner < 0)
                    return fail(line, "bone " + hex8(number) + " names object " + hex8(objectNumber) +
                                          ", which is not in the scene");
                item.object = owner;
            } else {
                if (lastObject < 0)
                    return fail(line, "AddBone comes before any object; a bone needs an object to belong to");
                item.object = lastObject;
                const LwsItem &owner = scene.items[static_cast<std::size_t>(lastObject)];
                auto boneOrdinal = static_cast<std::uint32_t>(bonesSoFar[lastObject]);
                number = typeNibble(itemBone) | ((boneOrdinal & 0xfffu) << 16) | (owner.number & 0xffffu);
            }
            ++bonesSoFar[item.object];
        } else if (!numbered) {
            number = typeNibble(type) | static_cast<std::uint32_t>(declared[type]);
        }
        if ((number >> 28) != static_cast<std::uint32_t>(type + 1))
            return fail(line, "item number " + hex8(number) + " is not the number of a " + typeWord(type));
        int other = scene.indexOfNumber(number);
        if (other >= 0)
            return fail(line, "item number " + hex8(number) + " is already used by '" + scene.pathOf(other) +
                                  "' on line " +
                                  std::to_string(scene.items[static_cast<std::size_t>(other)].declarationLine + 1));
        item.number = number;
        ++declared[type];
        scene.items.push_back(std::move(item));
        scene.byNumber[number] = index;
        current = index;
        motionItem = -1;
        pendingChannel = -1;
        if (type == itemObject)
            lastObject = index;
        return true;
    }

    // "[<id>] rest": an ID first from version 4 on, when the first word is
    // one. Eight hex digits of another type's number are an error, not a name.
    bool splitNumber(int line, const std::string &rest, int type, bool &numbered, std::uint32_t &number,
                     std::string &after) {
        numbered = false;
        after = rest;
        if (scene.version < 4)
            return true;
        std::vector<Word> words = wordsOf(rest);
        if (words.empty() || words[0].begin != 0)
            return true;
        std::uint32_t value;
        std::string word = wordText(rest, words[0]);
        if (!parseItemNumber(word, value))
            return true;
        if ((value >> 28) != static_cast<std::uint32_t>(type + 1)) {
            if (word.size() == 8)
                return fail(line, "item number " + word + " is not the number of a " + typeWord(type));
            return true;
        }
        numbered = true;
        number = value;
        after = restAfter(rest, words[0].end);
        return true;
    }

    bool readVector(int line, const std::string &keyword, const std::vector<Word> &words, SimVector &value) {
        const std::string &text = textOf(line);
        double v[3];
        if (words.size() < 4)
            return fail(line, keyword + " needs three numbers");
        for (int k = 0; k < 3; ++k)
            if (!parseDouble(wordText(text, words[static_cast<std::size_t>(k) + 1]), v[k]))
                return fail(line, keyword + " needs three numbers, found '" +
                                      wordText(text, words[static_cast<std::size_t>(k) + 1]) + "'");
        value = {v[0], v[1], v[2]};
        return true;
    }

    bool readFlag(int line, const std::string &keyword, const std::vector<Word> &words, bool &value) {
        const std::string &text = textOf(line);
        std::string word = words.size() > 1 ? wordText(text, words[1]) : "";
        if (word != "0" && word != "1")
            return fail(line, keyword + " needs 0 or 1, found '" + word + "'");
        value = word == "1";
        return true;
    }

    // Versions 1-2: "ObjectMotion (unnamed)" and then lines of numbers.
    // Version 1 writes key by key (all channel values, then the frame and
    // spline line); version 2 channel by channel (key count, then one line per
    // key: value, time in seconds, span type and parameters).
    bool readOldMotion(int &line, LwsItem &target) {
        int last = static_cast<int>(scene.lines.size()) - 1;
        int start = line;
        auto nextNumbers = [&](std::vector<double> &numbers, LwsField &first) -> int {
            // 1: read; 0: a statement came first; -1: end of file
            if (line >= last)
                return -1;
            std::string trimmed = trimmedStart(textOf(line + 1));
            if (!isNumericLine(trimmed))
                return 0;
            ++line;
            numbers.clear();
            const std::string &text = textOf(line);
            for (const Word &word : wordsOf(text)) {
                double value;
                if (!parseDouble(wordText(text, word), value))
                    return 0;
                numbers.push_back(value);
            }
            first = {line, 0};
            return 1;
        };
        auto truncated = [&]() { return fail(start, "the motion data that starts here ends with the file"); };
        std::vector<double> numbers;
        LwsField field;
        int got = nextNumbers(numbers, field);
        if (got < 0)
            return truncated();
        if (got == 0 || numbers.size() != 1)
            return true;  // not the layout we know: read past it as data
        auto channelCount = static_cast<int>(numbers[0]);
        if (scene.version <= 1) {
            got = nextNumbers(numbers, field);
            if (got < 0)
                return truncated();
            if (got == 0 || numbers.size() != 1)
                return true;
            auto keyCount = static_cast<int>(numbers[0]);
            std::vector<std::vector<double>> values;
            std::vector<int> valueLines;
            for (int k = 0; k < keyCount; ++k) {
                std::vector<double> keyValues;
                got = nextNumbers(keyValues, field);
                if (got < 0)
                    return truncated();
                if (got == 0)
                    return true;
                int valueLine = line;
                got = nextNumbers(numbers, field);
                if (got < 0)
                    return truncated();
                if (got == 0 || numbers.empty())
                    return true;
                for (int c = 0; c < 6 && c < channelCount && c < static_cast<int>(keyValues.size()); ++c) {
                    LwsChannel &channel = target.channels[c];
                    channel.present = true;
                    channel.line = start;
                    channel.keys.push_back({keyValues[static_cast<std::size_t>(c)], numbers[0], {valueLine, c}});
                }
            }
        } else {
            for (int c = 0; c < channelCount; ++c) {
                got = nextNumbers(numbers, field);
                if (got < 0)
                    return truncated();
                if (got == 0 || numbers.size() != 1)
                    return true;
                auto keyCount = static_cast<int>(numbers[0]);
                int countLine = line;
                std::vector<LwsKey> keys;
                for (int k = 0; k < keyCount; ++k) {
                    got = nextNumbers(numbers, field);
                    if (got < 0)
                        return truncated();
                    if (got == 0 || numbers.size() < 2)
                        return true;
                    keys.push_back({numbers[0], numbers[1], {line, 0}});
                }
                if (c < 6) {
                    LwsChannel &channel = target.channels[c];
                    channel.present = true;
                    channel.line = countLine;
                    channel.keys = std::move(keys);
                }
            }
        }
        target.motionEndLine = line;
        return true;
    }

    bool statement(int &line) {
        const std::string &text = textOf(line);
        std::vector<Word> words = wordsOf(text);
        std::string keyword = wordText(text, words[0]);
        std::string rest = restAfter(text, words[0].end);

        if (keyword == "Channel") {
            long channel;
            pendingChannel = words.size() > 1 && parseInteger(wordText(text, words[1]), channel) && motionItem >= 0 &&
                                     motionItem == current
                                 ? static_cast<int>(channel)
                                 : -1;
            return true;
        }
        pendingChannel = -1;

        // Declarations.
        bool numbered;
        std::uint32_t number = 0;
        std::string after;
        if (keyword == "LoadObjectLayer") {
            std::string layerRest = words.size() > 1 ? restAfter(text, words[1].end) : "";
            return splitNumber(line, layerRest, itemObject, numbered, number, after) &&
                   declare(line, itemObject, objectNameFromPath(after), numbered, number);
        }
        if (keyword == "LoadObject") {
            return splitNumber(line, rest, itemObject, numbered, number, after) &&
                   declare(line, itemObject, objectNameFromPath(after), numbered, number);
        }
        if (keyword == "AddNullObject") {
            return splitNumber(line, rest, itemObject, numbered, number, after) &&
                   declare(line, itemObject, after.empty() ? "Null" : after, numbered, number);
        }
        if (keyword == "AddLight") {
            return splitNumber(line, rest, itemLight, numbered, number, after) &&
                   declare(line, itemLight, "Light", numbered, number);
        }
        if (keyword == "AddCamera") {
            return splitNumber(line, rest, itemCamera, numbered, number, after) &&
                   declare(line, itemCamera, "Camera", numbered, number);
        }
        if (keyword == "AddBone") {
            return splitNumber(line, rest, itemBone, numbered, number, after) &&
                   declare(line, itemBone, "Bone", numbered, number);
        }
        // Version 1 has one camera and no AddCamera: its section starts at
        // the first camera statement.
        if (scene.version <= 1 && (keyword == "ShowCamera" || keyword == "CameraMotion") &&
            declared[itemCamera] == 0 && !declare(line, itemCamera, "Camera", false, 0))
            return false;

        // Scene settings.
        if (keyword == "FramesPerSecond" || keyword == "CurrentFrame" || keyword == "FirstFrame") {
            double value;
            if (words.size() > 1 && parseDouble(wordText(text, words[1]), value)) {
                if (keyword == "FramesPerSecond" && value > 0)
                    scene.framesPerSecond = value;
                else if (keyword == "CurrentFrame")
                    currentFrameSeen = true, scene.currentFrame = value;
                else if (keyword == "FirstFrame" && !currentFrameSeen)
                    scene.currentFrame = value;
            }
            return true;
        }
        if (keyword == "CurrentObject") {
            long value;
            if (words.size() > 1 && parseInteger(wordText(text, words[1]), value) && value >= 0)
                scene.currentObject = static_cast<int>(value);
            return true;
        }
        if (current < 0)
            return true;

        LwsItem &target = item();
        if (target.type == itemBone)
            for (const BoneKeywordName &entry : boneKeywords) {
                if (keyword != entry.keyword)
                    continue;
                target.keywordLines[entry.index] = line;
                switch (entry.index) {
                case lwsBoneName:
                    target.name = rest;
                    return true;
                case lwsBoneActive: return readFlag(line, keyword, words, target.active);
                case lwsBoneRestPosition: return readVector(line, keyword, words, target.restPosition);
                case lwsBoneRestDirection: return readVector(line, keyword, words, target.restDirection);
                case lwsBoneWeightMapName:
                    target.weightMapName = rest;
                    return true;
                case lwsBoneWeightMapOnly: return readFlag(line, keyword, words, target.weightMapOnly);
                case lwsBoneNormalization: return readFlag(line, keyword, words, target.normalization);
                default: return true;
                }
            }
        if ((keyword == "LightName" && target.type == itemLight) ||
            (keyword == "CameraName" && target.type == itemCamera)) {
            target.name = rest;
            return true;
        }
        if (keyword == "ParentItem") {
            std::string word = words.size() > 1 ? wordText(text, words[1]) : "";
            if (!parseItemNumber(word, target.parentNumber))
                return fail(line, "ParentItem needs an item number, found '" + word + "'");
            target.parentLine = line;
            target.parentByOrdinal = false;
            return true;
        }
        if (keyword == "ParentObject" && scene.version <= 2) {
            long ordinal;
            std::string word = words.size() > 1 ? wordText(text, words[1]) : "";
            if (!parseInteger(word, ordinal) || ordinal < 0 || ordinal > 0x0fffffff)
                return fail(line, "ParentObject needs an object number, found '" + word + "'");
            if (ordinal > 0) {
                target.parentLine = line;
                target.parentByOrdinal = true;
                target.parentNumber = typeNibble(itemObject) | static_cast<std::uint32_t>(ordinal - 1);
            }
            return true;
        }
        if (keyword == "PivotPosition") {
            target.pivotPositionLine = line;
            return true;
        }
        if (keyword == "PivotRotation") {
            target.pivotRotationLine = line;
            return readVector(line, keyword, words, target.pivotRotation);
        }
        if (keyword == "ObjectMotion" || keyword == "BoneMotion" || keyword == "LightMotion" ||
            keyword == "CameraMotion") {
            target.motionLine = line;
            target.motionEndLine = line;
            for (LwsChannel &channel : target.channels)
                channel = LwsChannel{};
            motionItem = current;
            if (scene.version <= 2)
                return readOldMotion(line, target);
            return true;
        }
        return true;
    }

    bool run() {
        int count = static_cast<int>(scene.lines.size());
        int depth = 0, blockLine = -1;
        int pluginLine = -1, pluginDepth = 0, pluginNesting = 0;
        int envelopeItem = -1, envelopeChannel = -1;
        bool envelopeCounted = false;
        for (int line = 2; line < count; ++line) {
            const std::string &text = textOf(line);
            std::string trimmed = trimmedStart(text);
            bool opens = trimmed == "{" || trimmed.compare(0, 2, "{ ") == 0;
            bool closes = trimmed == "}";
            if (pluginLine >= 0) {
                // A plug-in's body is its own: nothing in it is a statement of ours.
                if (opens)
                    ++pluginDepth;
                else if (closes && pluginDepth > 0)
                    --pluginDepth;
                else if (pluginDepth == 0 && (trimmed == "EndPlugin" || trimmed.compare(0, 10, "EndPlugin ") == 0)) {
                    if (--pluginNesting == 0)
                        pluginLine = -1;
                } else if (pluginDepth == 0 && trimmed.compare(0, 7, "Plugin ") == 0)
                    ++pluginNesting;
                continue;
            }
            if (depth > 0) {
                if (opens) {
                    ++depth;
                } else if (closes) {
                    if (--depth == 0 && envelopeItem >= 0) {
                        scene.items[static_cast<std::size_t>(envelopeItem)].motionEndLine = line;
                        envelopeItem = -1;
                    }
                } else if (envelopeItem >= 0 && depth == 1) {
                    std::vector<Word> words = wordsOf(text);
                    if (!words.empty() && !envelopeCounted && isNumericLine(trimmed)) {
                        envelopeCounted = true;
                    } else if (!words.empty() && wordText(text, words[0]) == "Key" && words.size() >= 3) {
                        LwsKey key;
                        key.valueField = {line, 1};
                        if (parseDouble(wordText(text, words[1]), key.value) &&
                            parseDouble(wordText(text, words[2]), key.time)) {
                            LwsItem &target = scene.items[static_cast<std::size_t>(envelopeItem)];
                            target.channels[envelopeChannel].keys.push_back(key);
                        }
                    }
                }
                continue;
            }
            if (trimmed.empty())
                continue;
            if (opens) {
                depth = 1;
                blockLine = line;
                std::vector<Word> words = wordsOf(text);
                if (pendingChannel >= 0 && pendingChannel < 6 && words.size() >= 2 &&
                    wordText(text, words[1]) == "Envelope") {
                    envelopeItem = current;
                    envelopeChannel = pendingChannel;
                    envelopeCounted = false;
                    LwsChannel &channel = item().channels[envelopeChannel];
                    channel = LwsChannel{};
                    channel.present = true;
                    channel.line = line;
                    item().motionEndLine = line;
                }
                pendingChannel = -1;
                continue;
            }
            if (closes)
                return fail(line, "'}' closes a block that was never opened");
            if (trimmed.compare(0, 7, "Plugin ") == 0 || trimmed == "Plugin") {
                pluginLine = line;
                pluginDepth = 0;
                pluginNesting = 1;
                pendingChannel = -1;
                continue;
            }
            if (isNumericLine(trimmed))
                continue;  // data of a statement we do not read
            if (!statement(line))
                return false;
        }
        if (pluginLine >= 0)
            return fail(pluginLine, "the file ends inside this plug-in's data (no EndPlugin): truncated scene");
        if (depth > 0)
            return fail(blockLine, "the file ends inside this block (no closing '}'): truncated scene");
        return resolve();
    }

    bool resolve() {
        for (LwsItem &target : scene.items) {
            if (target.parentLine < 0) {
                target.parent = target.type == itemBone ? target.object : -1;
                continue;
            }
            int parent = scene.indexOfNumber(target.parentNumber);
            std::string what = std::string(target.parentByOrdinal ? "ParentObject" : "ParentItem");
            if (parent < 0)
                return fail(target.parentLine, what + " of " + typeWord(target.type) + " '" + target.name +
                                                   "' names " + hex8(target.parentNumber) +
                                                   ", which is not in the scene");
            target.parent = parent;
        }
        // A loop of parents would have no top: LightWave cannot write one, and
        // a walk down the hierarchy would never reach the items in it.
        int count = static_cast<int>(scene.items.size());
        std::vector<char> state(scene.items.size(), 0);  // 0 unseen, 1 on the current path, 2 reaches the top
        for (int start = 0; start < count; ++start) {
            std::vector<int> path;
            int at = start;
            while (at >= 0 && state[static_cast<std::size_t>(at)] == 0) {
                state[static_cast<std::size_t>(at)] = 1;
                path.push_back(at);
                at = scene.items[static_cast<std::size_t>(at)].parent;
            }
            if (at >= 0 && state[static_cast<std::size_t>(at)] == 1) {
                const LwsItem &looped = scene.items[static_cast<std::size_t>(at)];
                return fail(looped.parentLine >= 0 ? looped.parentLine : looped.declarationLine,
                            "the parents of " + std::string(typeWord(looped.type)) + " '" + looped.name +
                                "' form a loop");
            }
            for (int index : path)
                state[static_cast<std::size_t>(index)] = 2;
        }
        for (LwsItem &target : scene.items)
            if (target.type == itemBone && target.keywordLines[lwsBoneActive] < 0)
                scene.notes.push_back("bone '" + scene.pathOf(static_cast<int>(&target - scene.items.data())) +
                                      "' has no BoneActive line: read as active");
        if (scene.currentObject >= scene.count(itemObject))
            scene.currentObject = -1;
        return true;
    }
};

}  // namespace

int LwsScene::count(int type) const {
    int n = 0;
    for (const LwsItem &item : items)
        n += item.type == type ? 1 : 0;
    return n;
}

int LwsScene::indexOfNumber(std::uint32_t number) const {
    auto found = byNumber.find(number);
    return found != byNumber.end() ? found->second : -1;
}

std::string LwsScene::pathOf(int index) const {
    const LwsItem &item = items[static_cast<std::size_t>(index)];
    if (item.type == itemBone && item.object >= 0)
        return items[static_cast<std::size_t>(item.object)].name + "/" + item.name;
    return item.name;
}

LwsPoseValue LwsScene::poseValue(const LwsItem &item, int channel) const {
    LwsPoseValue pose;
    const LwsChannel &data = item.channels[channel];
    static const char *const channelNames[] = {"X", "Y", "Z", "heading", "pitch", "bank"};
    std::string name = std::string("its ") + channelNames[channel] + " channel";
    if (!data.present || data.keys.empty()) {
        pose.why = name + (data.present ? " has no key" : " is missing");
        return pose;
    }
    const LwsKey *chosen = nullptr;
    if (data.keys.size() == 1) {
        chosen = &data.keys.front();
    } else {
        for (const LwsKey &key : data.keys) {
            double frame = version <= 1 ? key.time : key.time * framesPerSecond;
            if (std::fabs(frame - currentFrame) < 1e-3)
                chosen = &key;
        }
    }
    if (chosen == nullptr) {
        pose.why = name + " has " + std::to_string(data.keys.size()) + " keys and none at the current frame " +
                   formatNumber(currentFrame) + "; the value between keys is not read";
        return pose;
    }
    pose.exact = true;
    pose.value = chosen->value;
    pose.field = chosen->valueField;
    return pose;
}

bool readLwsScene(const std::string &text, LwsScene &scene, std::string &error) {
    scene = LwsScene{};
    scene.lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t start = 0;
    int crlf = 0, lf = 0;
    while (start < text.size()) {
        std::size_t newline = text.find('\n', start);
        LwsLine line;
        if (newline == std::string::npos) {
            line.text = text.substr(start);
            start = text.size();
        } else {
            line.text = text.substr(start, newline - start);
            line.end = "\n";
            start = newline + 1;
        }
        if (!line.end.empty() && !line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.end = "\r\n";
            ++crlf;
        } else if (!line.end.empty()) {
            ++lf;
        }
        scene.lines.push_back(std::move(line));
    }
    scene.dominantEnd = crlf > lf ? "\r\n" : "\n";

    std::string first = scene.lines.empty() ? "" : scene.lines[0].text;
    if (first.size() >= 3 && first.compare(0, 3, "\xef\xbb\xbf") == 0)
        first = first.substr(3);
    while (!first.empty() && isBlank(first.back()))
        first.pop_back();
    if (first != "LWSC") {
        error = "not a LightWave scene: the first line is not \"LWSC\"";
        return false;
    }
    std::string second = scene.lines.size() > 1 ? scene.lines[1].text : "";
    while (!second.empty() && isBlank(second.back()))
        second.pop_back();
    long version;
    if (!parseInteger(trimmedStart(second), version)) {
        error = "not a LightWave scene: line 2 should hold the format version, found '" + second + "'";
        return false;
    }
    if (version != 1 && version != 2 && version != 3 && version != 4 && version != 5 && version != 8) {
        error = "unsupported scene version " + std::to_string(version) +
                ": this reader knows LWSC versions 1, 2, 3, 4, 5 and 8";
        return false;
    }
    scene.version = static_cast<int>(version);
    Reader reader(scene, error);
    return reader.run();
}

bool loadLwsFile(const std::string &path, LwsScene &scene, std::string &error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = "cannot read '" + path + "'";
        return false;
    }
    if (!readLwsScene(content.str(), scene, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool poseIsExact(const LwsScene &scene, const LwsItem &item, bool position, bool rotation, std::string *why) {
    for (int channel = position ? 0 : 3; channel < (rotation ? 6 : 3); ++channel) {
        LwsPoseValue value = scene.poseValue(item, channel);
        if (!value.exact) {
            if (why != nullptr)
                *why = value.why;
            return false;
        }
    }
    return true;
}

namespace {

double toDegrees(const LwsScene &scene, double value) {
    return scene.channelAnglesInDegrees() ? value : value * 180.0 / pi;
}
double fromDegrees(const LwsScene &scene, double value) {
    return scene.channelAnglesInDegrees() ? value : value * pi / 180.0;
}

}  // namespace

void fillHost(const LwsScene &scene, SimHost &host, std::vector<ItemId> &ids) {
    ids.assign(scene.items.size(), nullptr);
    host.reserve(host.items.size() + scene.items.size());
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const LwsItem &item = scene.items[i];
        if (item.type == itemObject)
            ids[i] = host.addObject(item.name);
        else if (item.type == itemLight)
            ids[i] = host.addLight(item.name);
        else if (item.type == itemCamera)
            ids[i] = host.addCamera(item.name);
    }
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const LwsItem &item = scene.items[i];
        if (item.type != itemBone)
            continue;
        unsigned flags = (item.active ? boneFlagActive : 0u) | (item.weightMapOnly ? boneFlagWeightMapOnly : 0u) |
                         (item.normalization ? boneFlagNormalization : 0u);
        ids[i] = host.addBone(ids[static_cast<std::size_t>(item.object)], item.name, nullptr, flags);
    }
    // Parents last, once every item exists, so that forward references
    // resolve; every item's children stand in the order of the file. The
    // child lists are laid in one pass: moving items one by one with
    // setParent would cost a renumbering of siblings per move.
    for (ItemId id : ids)
        host.item(id).children.clear();
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const LwsItem &item = scene.items[i];
        SimItem &simItem = host.item(ids[i]);
        simItem.parent = item.parent >= 0 ? host.indexOf(ids[static_cast<std::size_t>(item.parent)]) : -1;
        simItem.childIndex = -1;
        if (simItem.parent >= 0) {
            std::vector<int> &siblings = host.items[static_cast<std::size_t>(simItem.parent)].children;
            simItem.childIndex = static_cast<int>(siblings.size());
            siblings.push_back(host.indexOf(ids[i]));
        }
        simItem.weightMapName = item.weightMapName;
        simItem.restPosition = item.restPosition;
        simItem.restRotation = item.restDirection;
        simItem.pivotRotation = item.pivotRotation;
        double pose[6] = {0, 0, 0, 0, 0, 0};
        for (int channel = 0; channel < 6; ++channel) {
            LwsPoseValue value = scene.poseValue(item, channel);
            if (value.exact)
                pose[channel] = channel >= 3 ? toDegrees(scene, value.value) : value.value;
        }
        simItem.position = {pose[0], pose[1], pose[2]};
        simItem.rotation = {pose[3], pose[4], pose[5]};
    }
    int object = -1, ordinal = 0;
    for (std::size_t i = 0; i < scene.items.size() && object < 0; ++i)
        if (scene.items[i].type == itemObject && ordinal++ == std::max(scene.currentObject, 0))
            object = static_cast<int>(i);
    if (object >= 0)
        host.select({ids[static_cast<std::size_t>(object)]});
    else
        host.select({});
}

// ---- the writer ----

namespace {

struct Patch {
    const LwsScene &scene;
    std::map<int, std::string> replaced;                 // line -> new text
    std::map<int, std::vector<std::string>> inserted;    // line -> lines to add after it

    std::string textOf(int line) const {
        auto found = replaced.find(line);
        return found != replaced.end() ? found->second : scene.lines[static_cast<std::size_t>(line)].text;
    }
    void setField(LwsField field, const std::string &value) {
        std::string text = textOf(field.line);
        std::vector<Word> words = wordsOf(text);
        if (field.field < 0 || static_cast<std::size_t>(field.field) >= words.size())
            return;
        const Word &word = words[static_cast<std::size_t>(field.field)];
        replaced[field.line] = text.substr(0, word.begin) + value + text.substr(word.end);
    }
    // Everything after the keyword and its blank.
    void setRest(int line, const std::string &value) {
        std::string text = textOf(line);
        std::vector<Word> words = wordsOf(text);
        replaced[line] = text.substr(0, words[0].end) + " " + value;
    }
    // A bone line that is not there goes after the last of the bone lines
    // LightWave writes before it.
    void insertBoneLine(const LwsItem &bone, int keyword, const std::string &text) {
        int anchor = bone.declarationLine;
        for (int k = 0; k < keyword; ++k)
            anchor = std::max(anchor, bone.keywordLines[k]);
        inserted[anchor].push_back(text);
    }
    std::string numberText(double value, bool angle) const {
        return angle && !scene.channelAnglesInDegrees() ? formatFloat(value) : formatNumber(value);
    }
    void setVector(int line, const SimVector &was, const SimVector &now, bool angle) {
        const double before[3] = {was.x, was.y, was.z}, after[3] = {now.x, now.y, now.z};
        for (int k = 0; k < 3; ++k)
            if (before[k] != after[k])
                setField({line, k + 1}, numberText(after[k], angle));
    }
    std::string vectorText(const SimVector &value, bool angle) const {
        return numberText(value.x, angle) + " " + numberText(value.y, angle) + " " + numberText(value.z, angle);
    }

    std::string assemble() const {
        std::string out;
        const std::size_t count = scene.lines.size();
        for (std::size_t i = 0; i < count; ++i) {
            const LwsLine &line = scene.lines[i];
            out += textOf(static_cast<int>(i));
            auto more = inserted.find(static_cast<int>(i));
            if (more == inserted.end()) {
                out += line.end;
                continue;
            }
            // A last line without a line end gets one before the added lines,
            // and the last added line goes without.
            out += line.end.empty() ? scene.dominantEnd : line.end;
            for (std::size_t k = 0; k < more->second.size(); ++k) {
                out += more->second[k];
                bool last = k + 1 == more->second.size();
                out += last && line.end.empty() ? std::string() : (line.end.empty() ? scene.dominantEnd : line.end);
            }
        }
        return out;
    }
};

bool holdsLineEnd(const std::string &text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

bool patchLwsScene(const LwsScene &scene, const SimHost &host, const std::vector<ItemId> &ids, std::string &out,
                   std::string &error, int *changedLines, int *addedLines) {
    Patch patch{scene, {}, {}};
    std::vector<std::string> refused;
    for (std::size_t i = 0; i < scene.items.size(); ++i) {
        const LwsItem &item = scene.items[i];
        const SimItem &now = host.item(ids[i]);
        std::string path = scene.pathOf(static_cast<int>(i));
        std::string why;

        // Pivot rotation, for any item: the record adds the rotation to the
        // pivot and zeroes the rotation at the current frame.
        SimVector rotationRead;
        {
            double r[3] = {0, 0, 0};
            for (int c = 0; c < 3; ++c) {
                LwsPoseValue value = scene.poseValue(item, c + 3);
                r[c] = value.exact ? toDegrees(scene, value.value) : 0;
            }
            rotationRead = {r[0], r[1], r[2]};
        }
        bool pivotChanged = now.pivotRotation != item.pivotRotation || now.rotation != rotationRead;
        if (now.pivotRecords > 0 || pivotChanged) {
            if (!poseIsExact(scene, item, false, true, &why)) {
                refused.push_back("the pivot rotation of " + std::string(typeWord(item.type)) + " '" + path +
                                  "' cannot be written: " + why);
            } else {
                if (item.pivotRotationLine >= 0)
                    patch.setVector(item.pivotRotationLine, item.pivotRotation, now.pivotRotation, true);
                else if (now.pivotRotation != item.pivotRotation)
                    patch.inserted[std::max({item.pivotPositionLine, item.motionEndLine, item.declarationLine})]
                        .push_back("PivotRotation " + patch.vectorText(now.pivotRotation, true));
                const double after[3] = {now.rotation.x, now.rotation.y, now.rotation.z};
                const double before[3] = {rotationRead.x, rotationRead.y, rotationRead.z};
                for (int c = 0; c < 3; ++c)
                    if (after[c] != before[c])
                        patch.setField(scene.poseValue(item, c + 3).field, formatNumber(fromDegrees(scene, after[c])));
            }
        }
        if (item.type != itemBone)
            continue;

        bool active = (now.flags & boneFlagActive) != 0;
        if (active != item.active) {
            if (item.keywordLines[lwsBoneActive] >= 0)
                patch.setField({item.keywordLines[lwsBoneActive], 1}, active ? "1" : "0");
            else
                patch.insertBoneLine(item, lwsBoneActive, std::string("BoneActive ") + (active ? "1" : "0"));
        }

        bool only = (now.flags & boneFlagWeightMapOnly) != 0;
        bool normalization = (now.flags & boneFlagNormalization) != 0;
        bool nameAdded = false;
        if (now.weightMapName != item.weightMapName) {
            if (holdsLineEnd(now.weightMapName)) {
                refused.push_back("the weight-map name of bone '" + path + "' holds a line end");
                continue;
            }
            if (item.keywordLines[lwsBoneWeightMapName] >= 0) {
                patch.setRest(item.keywordLines[lwsBoneWeightMapName], now.weightMapName);
            } else {
                patch.insertBoneLine(item, lwsBoneWeightMapName, "BoneWeightMapName " + now.weightMapName);
                nameAdded = true;
            }
        }
        // LightWave writes the two settings with a map name; a name we add
        // brings them along.
        if (only != item.weightMapOnly || (nameAdded && item.keywordLines[lwsBoneWeightMapOnly] < 0)) {
            if (item.keywordLines[lwsBoneWeightMapOnly] >= 0)
                patch.setField({item.keywordLines[lwsBoneWeightMapOnly], 1}, only ? "1" : "0");
            else
                patch.insertBoneLine(item, lwsBoneWeightMapOnly, std::string("BoneWeightMapOnly ") + (only ? "1" : "0"));
        }
        if (normalization != item.normalization || (nameAdded && item.keywordLines[lwsBoneNormalization] < 0)) {
            if (item.keywordLines[lwsBoneNormalization] >= 0)
                patch.setField({item.keywordLines[lwsBoneNormalization], 1}, normalization ? "1" : "0");
            else
                patch.insertBoneLine(item, lwsBoneNormalization,
                                     std::string("BoneNormalization ") + (normalization ? "1" : "0"));
        }

        bool restChanged = now.restPosition != item.restPosition || now.restRotation != item.restDirection;
        if (now.restRecords > 0 || restChanged) {
            if (!poseIsExact(scene, item, true, true, &why)) {
                refused.push_back("the rest position of bone '" + path + "' cannot be written: " + why);
                continue;
            }
            if (item.keywordLines[lwsBoneRestPosition] >= 0)
                patch.setVector(item.keywordLines[lwsBoneRestPosition], item.restPosition, now.restPosition, false);
            else if (now.restPosition != item.restPosition)
                patch.insertBoneLine(item, lwsBoneRestPosition,
                                     "BoneRestPosition " + patch.vectorText(now.restPosition, false));
            if (item.keywordLines[lwsBoneRestDirection] >= 0)
                patch.setVector(item.keywordLines[lwsBoneRestDirection], item.restDirection, now.restRotation, true);
            else if (now.restRotation != item.restDirection)
                patch.insertBoneLine(item, lwsBoneRestDirection,
                                     "BoneRestDirection " + patch.vectorText(now.restRotation, true));
        }
    }
    if (!refused.empty()) {
        error = "nothing written: ";
        for (std::size_t k = 0; k < refused.size(); ++k)
            error += (k > 0 ? "; " : "") + refused[k];
        return false;
    }
    out = patch.assemble();
    if (changedLines != nullptr) {
        *changedLines = 0;
        for (const auto &[line, text] : patch.replaced)
            *changedLines += text != scene.lines[static_cast<std::size_t>(line)].text ? 1 : 0;
    }
    if (addedLines != nullptr) {
        *addedLines = 0;
        for (const auto &[line, added] : patch.inserted)
            *addedLines += static_cast<int>(added.size());
    }
    return true;
}

#if defined(_WIN32)
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &error) {
    std::error_code code;
    std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".tmp" + std::to_string(static_cast<unsigned long>(std::time(nullptr)));
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.flush();
        if (!file) {
            error = "cannot write '" + temporary.string() + "'";
            std::filesystem::remove(temporary, code);
            return false;
        }
    }
    std::filesystem::rename(temporary, target, code);
    if (code) {
        error = "cannot rename '" + temporary.string() + "' to '" + path + "': " + code.message();
        std::filesystem::remove(temporary, code);
        return false;
    }
    return true;
}
#else
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &error) {
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = directory + "/." + base + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot create a temporary file in '" + directory + "': " + std::strerror(errno);
        return false;
    }
    auto failWith = [&](const std::string &what) {
        error = what + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(name.data());
        return false;
    };
    // The new file keeps the mode of the one it replaces; a new one gets the
    // mode a plain create would give it.
    struct stat existing;
    mode_t mode;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const char *data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return failWith("cannot write '" + std::string(name.data()) + "'");
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fchmod(fd, mode) != 0)
        return failWith("cannot set the mode of '" + std::string(name.data()) + "'");
    if (::fsync(fd) != 0)
        return failWith("cannot flush '" + std::string(name.data()) + "'");
    if (::close(fd) != 0) {
        error = "cannot close '" + std::string(name.data()) + "': " + std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        error = "cannot rename '" + std::string(name.data()) + "' to '" + path + "': " + std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    return true;
}
#endif
