#!/usr/bin/env python3
"""Writes the hand-made part of the command fuzzer's corpus.

Each entry below is a scene, a selection and a command, spelt out in the input
layout that tests/fuzz/command_fuzzer.cpp reads (one decision per byte, read
from the front). Run it from anywhere; it rewrites
tests/fuzz/corpora/command_fuzzer/hand-*. The rest of that corpus was found by
the fuzzer itself and merged down to the inputs that add coverage.
"""
import pathlib

WEIGHT_MAP, ACTIVATE, DEACTIVATE, RECORD_PIVOTS, REST = range(5)
ADJUST, ONLY, NORMALIZATION, ONLY_TURNS_ON_NORMALIZATION = 1, 2, 4, 8
PERSISTENT, DEFAULT_ANSWER_NO = 0x20, 0x80
MESSAGES, INTERFACE, ITEMS, BONES, PANELS, FORMS = range(6)
OBJECT, LIGHT, CAMERA = 0, 1, 2
ACTIVE, WEIGHT_MAP_ONLY, NORMALIZED = 1, 8, 16


class Input:
    """switches: the weight-map options the form is preset from, and the rest.
    form (weight-map command only): post result code (0 to 3 stand for 0, 2,
    -1 and INT32_MIN, anything else confirms), the three checkbox values (0xff:
    left as preset, 0x7f: INT32_MAX, 0x80: INT32_MIN, else a signed byte) and
    extras (bits 0 to 2: no value for that checkbox, bits 3 and 4: About
    presses, bit 5: the form cannot be made, bit 6: the About panel is drawn)."""

    def __init__(self, command, switches=0, fail_at=None, withhold=None, answers=(), form=(4, 0xff, 0xff, 0xff, 0)):
        self.out = bytearray([command, switches | (0x10 if fail_at else 0) | (0x40 if withhold is not None else 0)])
        if fail_at:
            self.out += bytes([(fail_at - 1) & 255, (fail_at - 1) >> 8])
        if withhold is not None:
            self.out.append(withhold)
        self.out.append(len(answers))
        self.out += bytes(a & 255 for a in answers)
        if command == WEIGHT_MAP:
            self.out += bytes(form)
        self.count = 0
        self.objects = []

    def _choice(self, index, count):
        return bytes([index & 255, index >> 8]) if count > 256 else bytes([index])

    def _parent(self, parent):
        if self.count == 0:
            return b""
        return b"\x00" if parent is None else b"\x01" + self._choice(parent, self.count)

    @staticmethod
    def _name(text):
        raw = text.encode("latin-1") if isinstance(text, str) else text
        assert len(raw) < 128
        return bytes([len(raw)]) + raw

    def _added(self, is_object=False):
        if is_object:
            self.objects.append(self.count)
        self.count += 1
        return self.count - 1

    def item(self, kind, name, parent=None):
        self.out += bytes([kind]) + self._parent(parent) + self._name(name)
        return self._added(kind == OBJECT)

    def bone(self, obj, name, parent="object", flags=ACTIVE):
        self.out.append(3)
        self.out += self._choice(self.objects.index(obj), len(self.objects))
        self.out += b"\x00" if parent == "object" else b"\x01" + self._parent(parent)
        self.out.append(flags)
        self.out += self._name(name)
        return self._added()

    def special_bone(self, obj, special, repeat, flags=ACTIVE):
        """A bone with a generated name: 0 empty, 1 '%' * (repeat + 1),
        2 '%s%x%n%d%%' patterns, 3 'x' * (82 + 4 * repeat), 6 'Bone<repeat>',
        7 'b' * (79 + repeat % 6)."""
        self.out += bytes([3]) + self._choice(self.objects.index(obj), len(self.objects))
        self.out += bytes([0, flags, 128 + special, repeat])
        return self._added()

    def chain(self, obj, length_byte, flags=0x1f):
        self.out += bytes([4, length_byte]) + self._choice(self.objects.index(obj), len(self.objects))
        self.out.append(flags)
        length = length_byte + 1 if length_byte < 240 else (length_byte - 239) * 200
        first = self.count
        self.count += length
        return first

    def fan(self, length_byte, kind, parent, obj=None):
        self.out += bytes([5, length_byte, kind]) + self._parent(parent)
        if kind == 3:
            self.out += self._choice(self.objects.index(obj), len(self.objects))
        length = length_byte + 1 if length_byte < 240 else (length_byte - 239) * 200
        first = self.count
        for _ in range(length):
            self._added(kind == OBJECT)
        return first

    def select(self, *indices):
        for index in indices:
            self.out += bytes([6]) + self._choice(index, self.count)

    def select_run(self, start, length_byte):
        self.out += bytes([7]) + self._choice(start, self.count) + bytes([length_byte])

    def reparent(self, item, parent):
        self.out += bytes([8]) + self._choice(item, self.count) + self._parent(parent)

    def name_missing(self, item):
        self.out += bytes([9]) + self._choice(item, self.count) + b"\x00"

    def reports_type(self, item, reported):
        self.out += bytes([9]) + self._choice(item, self.count) + bytes([1, reported & 255])

    def ends_list(self, item):
        self.out += bytes([9]) + self._choice(item, self.count) + b"\x02"


def entries():
    # The road of one request: O1 with B1 (inactive) and B2, O2 without bones.
    for command, label in ((ACTIVATE, "activate"), (DEACTIVATE, "deactivate"), (WEIGHT_MAP, "weight-map")):
        scene = Input(command)
        o1 = scene.item(OBJECT, "O1")
        scene.bone(o1, "B1", flags=0)
        scene.bone(o1, "B2")
        o2 = scene.item(OBJECT, "O2")
        scene.select(o1, o2)
        yield f"objects-{label}", scene

    # Selected bones with every weight-map option on, B2 already weight-map-only;
    # the form confirmed as preset, then with its answers, About pressed twice.
    for switches, form, label in ((ADJUST | ONLY | NORMALIZATION, (4, 0xff, 0xff, 0xff, 0), "all-options"),
                                  (ADJUST | ONLY | ONLY_TURNS_ON_NORMALIZATION, (4, 0xff, 0xff, 0xff, 0),
                                   "normalization-follows"),
                                  (0, (4, 1, 1, 0x7f, 0x10 | 0x40), "answers-and-about")):
        scene = Input(WEIGHT_MAP, switches, form=form)
        o1 = scene.item(OBJECT, "O1")
        b1 = scene.bone(o1, "B1", flags=ACTIVE)
        b2 = scene.bone(o1, "B2", flags=WEIGHT_MAP_ONLY)
        scene.select(b1, b2)
        yield f"bones-weight-map-{label}", scene

    # Found by the fuzzer: in bone mode an object or light further down the
    # list got the bone lines ("BoneActive" with an object selected); in object
    # mode a bone in the list was selected and Layout's switch back to objects
    # picked its object, which then stayed selected after the restore.
    for command in (ACTIVATE, WEIGHT_MAP):
        scene = Input(command, ADJUST)
        o1 = scene.item(OBJECT, "O1")
        b1 = scene.bone(o1, "B1", flags=0)
        light = scene.item(LIGHT, "L1")
        scene.select(b1, o1, light)
        yield f"mixed-bone-mode-{command}", scene
    scene = Input(DEACTIVATE)
    o1 = scene.item(OBJECT, "O1")
    scene.bone(o1, "B1")
    o2 = scene.item(OBJECT, "O2")
    b2 = scene.bone(o2, "B2")
    camera = scene.item(CAMERA, "C1")
    scene.select(o1, camera, b2)
    yield "mixed-object-mode", scene

    # Found by the fuzzer: a bone with an empty name got "BoneWeightMapName "
    # without a map name.
    scene = Input(WEIGHT_MAP)
    o1 = scene.item(OBJECT, "O1")
    nameless = scene.bone(o1, "")
    named = scene.bone(o1, "Named")
    scene.select(nameless, named)
    yield "empty-bone-name", scene

    # Names the module must pass on as they are: "%" runs, printf patterns,
    # names too long for the usual line, names at the length that still fits.
    scene = Input(WEIGHT_MAP)
    body = scene.item(OBJECT, "Body")
    for special, repeat in ((1, 199), (2, 31), (3, 0), (3, 200), (7, 2), (7, 3), (7, 4)):
        scene.special_bone(body, special, repeat)
    nameless = scene.bone(body, "NoName")
    scene.name_missing(nameless)
    scene.select(body)
    yield "names", scene

    # The options form answering out of the ordinary: not confirmed (post 0, 2,
    # -1, INT32_MIN), values below 0 and far above 1, values the host cannot
    # give, a form the host cannot make, About pressed with the panel drawn.
    for form, label in (((0, 1, 1, 1, 0), "post-0"), ((1, 1, 1, 1, 0x08), "post-2-about"), ((2, 1, 1, 1, 0), "post-minus-1"),
                        ((3, 1, 1, 1, 0), "post-int-min"), ((4, 0x80, 0x7f, 0xfe, 0), "extreme-values"),
                        ((4, 1, 1, 1, 0x05), "no-value"), ((4, 1, 1, 1, 0x20), "cannot-be-made"),
                        ((4, 1, 0, 1, 0x18 | 0x40), "three-about-presses")):
        scene = Input(WEIGHT_MAP, ADJUST, form=form)
        o1 = scene.item(OBJECT, "O1")
        scene.bone(o1, "B1", flags=0)
        scene.bone(o1, "B2", flags=WEIGHT_MAP_ONLY)
        scene.select(o1)
        yield f"form-{label}", scene

    # Duplicates in the list: Layout never hands them out, a host might.
    scene = Input(ACTIVATE)
    o1 = scene.item(OBJECT, "O1")
    b1 = scene.bone(o1, "B1", flags=0)
    b2 = scene.bone(o1, "B2", flags=0)
    scene.select(b1, b2, b1, b1)
    yield "duplicate-bones", scene
    scene = Input(WEIGHT_MAP, ADJUST | ONLY)
    o1 = scene.item(OBJECT, "O1")
    scene.bone(o1, "B1", flags=0)
    scene.select(o1, o1)
    yield "duplicate-objects", scene

    # Deep and wide: a chain of 1000 bones; 400 bones below a light and a
    # camera, their object selected; 25 selected objects grow the snapshot.
    scene = Input(DEACTIVATE)
    body = scene.item(OBJECT, "Body")
    scene.chain(body, 244)
    scene.select(body)
    yield "deep-chain", scene
    scene = Input(ACTIVATE)
    rig = scene.item(OBJECT, "Rig")
    light = scene.item(LIGHT, "Lamp")
    camera = scene.item(CAMERA, "Eye", parent=light)
    scene.fan(199, 3, light, rig)
    scene.fan(199, 3, camera, rig)
    scene.select(rig)
    yield "bones-below-light-and-camera", scene
    scene = Input(ACTIVATE)
    first = scene.fan(24, OBJECT, None)
    for index in range(25):
        scene.bone(first + index, f"B{index}", flags=0)
    scene.select_run(first, 24)
    yield "twenty-five-objects", scene

    # An object below a bone, a light below an object, an object at the top of
    # a light: the hierarchy commands reach each bone through its own object.
    for command, label in ((RECORD_PIVOTS, "record-pivots"), (REST, "rest")):
        for answer in (1, 0):
            scene = Input(command, answers=(answer,))
            o1 = scene.item(OBJECT, "O1")
            o2 = scene.item(OBJECT, "O2")
            o3 = scene.item(OBJECT, "O3")
            lamp = scene.item(LIGHT, "L")
            scene.item(CAMERA, "C")
            b1 = scene.bone(o1, "B1")
            scene.bone(o1, "B2", parent=b1)
            b3 = scene.bone(o1, "B3")
            scene.reparent(o3, lamp)
            scene.bone(o3, "B4")
            prop = scene.item(OBJECT, "Prop", parent=b3)
            scene.bone(prop, "PropBone")
            scene.select(o1, o2)
            yield f"hierarchy-objects-{label}-answer-{answer}", scene
            scene2 = Input(command, answers=(answer,))
            o1 = scene2.item(OBJECT, "O1")
            b1 = scene2.bone(o1, "B1")
            b2 = scene2.bone(o1, "B2", parent=b1)
            b3 = scene2.bone(o1, "B3")
            scene2.select(b3, b2)
            yield f"hierarchy-bones-{label}-answer-{answer}", scene2

    # Every module allocation that a 25-bone selection with a long name needs,
    # failing once and from then on.
    for fail_at in (1, 2, 3, 4):
        for persistent in (0, PERSISTENT):
            scene = Input(WEIGHT_MAP, ADJUST | ONLY | persistent, fail_at=fail_at, form=(4, 1, 1, 1, 0x10))
            body = scene.item(OBJECT, "Body")
            first = scene.count
            for index in range(25):
                if index == 3:
                    scene.special_bone(body, 3, 10, flags=0)
                else:
                    scene.bone(body, f"B{index}", flags=0)
            scene.select_run(first, 24)
            yield f"allocation-fails-at-{fail_at}{'-and-after' if persistent else ''}", scene

    # Each service withheld in turn, for a selection of objects.
    for service in range(6):
        for command in (WEIGHT_MAP, ACTIVATE, RECORD_PIVOTS):
            scene = Input(command, withhold=service)
            o1 = scene.item(OBJECT, "O1")
            scene.bone(o1, "B1", flags=0)
            scene.select(o1)
            yield f"withheld-{service}-command-{command}", scene

    # A host that answers out of range: a first selected item of type 7, a
    # bone reported as an object, a bone list that ends after its first bone.
    for reported, label in ((7, "type-7"), (-1, "type-minus-1"), (OBJECT, "bone-as-object")):
        scene = Input(ACTIVATE)
        o1 = scene.item(OBJECT, "O1")
        b1 = scene.bone(o1, "B1", flags=0)
        scene.bone(o1, "B2", flags=0)
        scene.reports_type(b1, reported)
        scene.select(b1, o1)
        yield f"hostile-{label}", scene
    scene = Input(DEACTIVATE)
    o1 = scene.item(OBJECT, "O1")
    b1 = scene.bone(o1, "B1")
    scene.bone(o1, "B2")
    scene.ends_list(b1)
    scene.select(o1)
    yield "hostile-bone-list-ends-early", scene


def main():
    folder = pathlib.Path(__file__).resolve().parent / "corpora" / "command_fuzzer"
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.glob("hand-*"):
        old.unlink()
    for label, scene in entries():
        (folder / f"hand-{label}").write_bytes(bytes(scene.out))


if __name__ == "__main__":
    main()
