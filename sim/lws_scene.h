// LwsScene: a LightWave scene file (.lws) as the simulator reads and writes it.
// Keeps every line of the file as it was, line end included, and notes where
// each item's statements stand, so that writing a changed scene touches only
// the values that changed and copies every other byte.
//
// Reads LWSC versions 1, 2, 3, 4, 5 and 8: objects (LoadObjectLayer,
// LoadObject, AddNullObject), lights, cameras (the implicit camera of version
// 1 included), bones with their owning objects, parents (resolved once the
// whole file is read), the bone settings the commands touch, pivot rotations
// and the motion channels that give the pose at the scene's current frame.
// Blocks and plug-in bodies are read past as a whole; unknown keywords are
// skipped.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/sim_host.h"

struct LwsLine {
    std::string text;               // without its line end
    std::string end;                // "\n", "\r\n", or "" for a last line without one
};

// One value of a line: the field-th word (counted from 0, the keyword included).
struct LwsField {
    int line = -1;                  // index into LwsScene::lines; -1 for none
    int field = -1;
};

struct LwsKey {
    double value = 0;               // in the file's units
    double time = 0;                // seconds (versions >= 2) or a frame number (version 1)
    LwsField valueField;
};

// One motion channel of an item: 0-2 position, 3-5 heading, pitch, bank.
struct LwsChannel {
    bool present = false;
    int line = -1;                  // where the channel's data starts
    std::vector<LwsKey> keys;
};

enum LwsBoneKeyword : int {
    lwsAddBone,
    lwsBoneName,
    lwsShowBone,
    lwsItemLock,
    lwsSchematicPosition,
    lwsBoneActive,
    lwsBoneRestPosition,
    lwsBoneRestDirection,
    lwsBoneRestLength,
    lwsBoneWeightMapName,
    lwsBoneWeightMapOnly,
    lwsBoneNormalization,
    lwsBoneKeywordCount,
};

struct LwsItem {
    int type = itemObject;          // itemObject, itemLight, itemCamera, itemBone
    std::uint32_t number = 0;       // the scene's item number: 1xxxxxxx object ... 4xxxxxxx bone
    bool numberFromFile = false;    // written on the declaration line (versions >= 4)
    std::string name;
    int declarationLine = -1;
    int lastLine = -1;              // last line of the item's section

    // Hierarchy, as written and as resolved.
    int parentLine = -1;            // the ParentItem / ParentObject line
    std::uint32_t parentNumber = 0; // item number the ParentItem line names
    bool parentByOrdinal = false;   // ParentObject n of versions 1-2: n counts objects from 1 (assumed)
    int parent = -1;                // index into LwsScene::items; -1 for top level
    int object = -1;                // bones: index of the owning object

    // Bone settings (bones only).
    int keywordLines[lwsBoneKeywordCount];  // line of each bone keyword, -1 when absent
    bool active = true;             // a missing BoneActive reads as active
    std::string weightMapName;
    bool weightMapOnly = false;     // a missing line reads as off
    bool normalization = false;     // a missing line reads as off
    SimVector restPosition;         // metres
    SimVector restDirection;        // heading, pitch, bank in degrees

    // Any item.
    int pivotPositionLine = -1;
    int pivotRotationLine = -1;
    SimVector pivotRotation;        // degrees
    int motionLine = -1;            // the ObjectMotion / BoneMotion / ... line
    int motionEndLine = -1;         // last line of the motion's channel data
    LwsChannel channels[6];

    LwsItem() {
        for (int &line : keywordLines)
            line = -1;
    }
};

// The value of one channel at the scene's current frame, where the file gives
// it exactly: the channel has a key at that frame, or only one key.
struct LwsPoseValue {
    bool exact = false;
    double value = 0;               // file units
    LwsField field;                 // the key that holds it
    std::string why;                // when not exact: why not
};

struct LwsScene {
    std::vector<LwsLine> lines;
    int version = 0;
    double currentFrame = 0;        // CurrentFrame, else FirstFrame, else 0 (assumed)
    double framesPerSecond = 30;
    int currentObject = -1;         // CurrentObject: ordinal among the objects; -1 when absent
    std::vector<LwsItem> items;     // in file order
    std::vector<std::string> notes; // things read by assumption (a missing BoneActive, ...)
    std::string dominantEnd = "\n"; // the line end most lines use
    std::unordered_map<std::uint32_t, int> byNumber;  // item number -> index into items

    // Angles in channels are degrees in versions 1-2 (assumed) and radians from 3 on.
    bool channelAnglesInDegrees() const { return version <= 2; }
    int count(int type) const;
    int indexOfNumber(std::uint32_t number) const;   // -1 when no item has it
    // "Object/Bone" for bones, the name otherwise.
    std::string pathOf(int index) const;
    LwsPoseValue poseValue(const LwsItem &item, int channel) const;
};

// Reads a scene from the file's text. On failure returns false with a message
// that says what is wrong and where ("line 12: ...").
bool readLwsScene(const std::string &text, LwsScene &scene, std::string &error);
bool loadLwsFile(const std::string &path, LwsScene &scene, std::string &error);

// Builds the scene's items into an empty host, in file order (objects, lights
// and cameras first, then the bones, then the parents), and selects the
// scene's current object. ids[i] is the host's ID of scene.items[i].
void fillHost(const LwsScene &scene, SimHost &host, std::vector<ItemId> &ids);

// True when the item's channels give its position (and/or rotation) exactly
// at the current frame; otherwise why, when given, says which channel does
// not. fillHost copies exact values into the host (rotation in degrees) and
// leaves 0 where a channel is not exact.
bool poseIsExact(const LwsScene &scene, const LwsItem &item, bool position, bool rotation, std::string *why);

// The scene's text with the host's state of every item written into it: bone
// active, weight-map name, weight-map-only, normalization, rest position and
// direction, pivot rotation and the rotation channels a pivot record zeroed.
// Lines nothing changed are copied byte for byte; missing bone lines are added
// where LightWave writes them, with the file's line end. False, with a message
// naming the bone, when a changed value cannot be written exactly.
// changedLines and addedLines, when given, count the lines rewritten and added.
bool patchLwsScene(const LwsScene &scene, const SimHost &host, const std::vector<ItemId> &ids, std::string &out,
                   std::string &error, int *changedLines = nullptr, int *addedLines = nullptr);

// Writes text to path through a temporary file in the same directory and a
// rename, so that an interrupted run leaves the old file whole.
bool writeFileAtomically(const std::string &path, const std::string &text, std::string &error);
