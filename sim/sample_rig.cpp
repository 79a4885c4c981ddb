// The bundled sample rig.
#include "sim/sample_rig.h"

void buildSampleRig(SimHost &host) {
    const unsigned on = boneFlagActive;
    ItemId body = host.addObject("Body");
    ItemId hips = host.addBone(body, "Hips", nullptr, on);
    ItemId spine = host.addBone(body, "Spine", hips, on);
    ItemId chest = host.addBone(body, "Chest", spine, 0);
    ItemId neck = host.addBone(body, "Neck", chest, on);
    host.addBone(body, "Head", neck, 0);
    ItemId upperArm = host.addBone(body, "UpperArm_L", chest, on | boneFlagWeightMapOnly);
    ItemId foreArm = host.addBone(body, "ForeArm_L", upperArm, 0);
    ItemId hand = host.addBone(body, "Hand_L", foreArm, on);
    ItemId thigh = host.addBone(body, "Thigh_L", hips, 0);
    host.addBone(body, "Shin_L", thigh, on | boneFlagNormalization);
    host.item(hips).weightMapName = "hips_old";
    host.item(spine).rotation = {0, 15, 0};
    host.item(upperArm).position = {0.2, 0, 0.1};
    host.item(upperArm).rotation = {90, 0, -10};

    ItemId sword = host.addObject("Sword", hand);
    ItemId blade = host.addBone(sword, "Blade", nullptr, 0);
    ItemId tip = host.addBone(sword, "Tip", blade, on);

    ItemId key = host.addLight("Key Light");
    host.addLight("Fill Light");
    ItemId lantern = host.addObject("Lantern", key);
    host.addBone(lantern, "Handle", nullptr, 0);
    // Both props have a "Grip": a name that repeats, told apart as Sword/Grip and Lantern/Grip.
    ItemId swordGrip = host.addBone(sword, "Grip", blade, 0);
    host.addBone(lantern, "Grip", nullptr, on);
    // The sword's bones are posed away from their rest, so resting them shows.
    host.item(blade).rotation = {0, 90, 0};
    host.item(tip).position = {0, 0, 0.8};
    host.item(swordGrip).position = {0, 0, -0.15};
    host.addCamera("Camera");
    host.select({body});
}
