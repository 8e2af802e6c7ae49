#include "world/ObjectKeys.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "platform/os/Number.h"
#include "world/ImageIo.h"
#include "world/ObjectApi.h"
#include "world/ObjectRecord.h"
#include "world/WorldMgr.h"

// ---- RigidBodyPhysicsParams ------------------------------------------------

void RigidBodyPhysicsParams::Reset() {
    std::memset(this, 0, sizeof *this);
    fMass = 8.0f;
    bCollideWithPlayer = 1;
    bReactAfterBulletHit = 1;
    bReactAfterExplosion = 1;
    fFrictionCoef = 1.0f;
    fJointDamping = 1.0f;
}

ZT_DEFINE_RECORD_IMAGE(RigidBodyPhysicsParams, ZT_RIGID_BODY_PARAMS_IMAGE)

void FileWriteRigidBodyPhysicsParams(std::FILE* f, const RigidBodyPhysicsParams& params) {
    imageio::FileWrite(f, params);
}

void FileReadRigidBodyPhysicsParams(std::FILE* f, RigidBodyPhysicsParams& params) {
    imageio::FileRead(f, params);
}

// ---- Key parsers -------------------------------------------------------------

namespace {

using Kind = WorldKeyField::Kind;

constexpr uint16_t kDisableCollisionBound = 31;

// Every rigid-body key except the list, which names its own entry.
constexpr WorldKeyField kRigidBodyKeys[] = {
    {"rigid_body_physics_general", 1, Kind::I32, offsetof(RigidBodyPhysicsParams, iShape), 0, nullptr},
    {"rigid_body_physics_general", 2, Kind::Float, offsetof(RigidBodyPhysicsParams, fMass), 0, nullptr},
    {"rigid_body_physics_general", 3, Kind::U8Flag, offsetof(RigidBodyPhysicsParams, bCollideWithPlayer), 0,
     nullptr},
    {"rigid_body_physics_react_after_bullet_hit", 1, Kind::U8Flag,
     offsetof(RigidBodyPhysicsParams, bReactAfterBulletHit), 0, nullptr},
    {"rigid_body_physics_react_after_explosion", 1, Kind::U8Flag,
     offsetof(RigidBodyPhysicsParams, bReactAfterExplosion), 0, nullptr},
    {"rigid_body_physics_not_important", 1, Kind::U8Flag, offsetof(RigidBodyPhysicsParams, bNotImportant), 0,
     nullptr},
    {"rigid_body_physics_friction_coef", 1, Kind::Float, offsetof(RigidBodyPhysicsParams, fFrictionCoef), 0,
     nullptr},
    {"rigid_body_physics_joint_general", 1, Kind::U8Flag, offsetof(RigidBodyPhysicsParams, bJointOn), 0,
     nullptr},
    {"rigid_body_physics_joint_general", 2, Kind::Float, offsetof(RigidBodyPhysicsParams, fJointDamping), 0,
     nullptr},
    {"rigid_body_physics_joint_my_socket", 1, Kind::Text, offsetof(RigidBodyPhysicsParams, szJointMySocket),
     31, "szJointMySocket"},
    {"rigid_body_physics_joint_to_object", 1, Kind::Text, offsetof(RigidBodyPhysicsParams, szJointToObject),
     31, "szJointToObject"},
    {"rigid_body_physics_joint_object_socket", 1, Kind::Text,
     offsetof(RigidBodyPhysicsParams, szJointObjectSocket), 31, "szJointObjectSocket"},
    {"rigid_body_physics_give_action_to", 1, Kind::Text, offsetof(RigidBodyPhysicsParams, szGiveActionTo), 31,
     "rigid_body_physics_give_action_to"},
    {"rigid_body_physics_sound_filename", 1, Kind::Text, offsetof(RigidBodyPhysicsParams, szSoundFileName),
     254, "rigid_body_physics_sound_filename"},
    {"rigid_body_physics_sound_params", 1, Kind::U8Flag, offsetof(RigidBodyPhysicsParams, bSoundOn), 0,
     nullptr},
    {"rigid_body_physics_sound_params", 2, Kind::Float, offsetof(RigidBodyPhysicsParams, fSoundRange), 0,
     nullptr},
    {"rigid_body_physics_silence_between_sounds", 1, Kind::Float,
     offsetof(RigidBodyPhysicsParams, fSilenceBetweenSounds), 0, nullptr},
    {"rigid_body_physics_collision_sound", 1, Kind::Float,
     offsetof(RigidBodyPhysicsParams, fCollisionSoundValue), 0, nullptr},
    {"rigid_body_physics_collision_sound", 2, Kind::Text, offsetof(RigidBodyPhysicsParams, szCollisionSound),
     254, "rigid_body_physics_collision_sound"},
    {"rigid_body_physics_disable_all_collisions", 1, Kind::U8Flag,
     offsetof(RigidBodyPhysicsParams, bDisableAllCollisions), 0, nullptr},
    {"rigid_body_physics_disable_collisions_with_other_physics", 1, Kind::U8Flag,
     offsetof(RigidBodyPhysicsParams, bDisableCollisionsWithOtherPhysics), 0, nullptr},
    {"rigid_body_physics_disable_collision_with_1", 1, Kind::Text,
     offsetof(RigidBodyPhysicsParams, szDisableCollisionWith), kDisableCollisionBound,
     "szDisableCollisionWith"},
    {"rigid_body_physics_construction_prefab_filename", 1, Kind::Text,
     offsetof(RigidBodyPhysicsParams, szConstructionPrefabFileName), 127,
     "rigid_body_physics_construction_prefab_filename"},
};

// The numbers of the rigid-body keys and the values a body can work with:
// beyond them its motion turns into NaN or runs away (a negative damping
// pushes, a huge mass overflows the momentum). A value outside is logged and
// the default taken. A mass of 0, which a line without it writes, is kept:
// the body takes its default mass at creation, with its own line.
struct KeyRange {
    const char* szKey;
    uint8_t value;
    bool isInt;
    uint16_t offset;
    float lo, hi;
};
constexpr KeyRange kRigidBodyRanges[] = {
    {"rigid_body_physics_general", 1, true, offsetof(RigidBodyPhysicsParams, iShape), 0.0f, 4.0f},
    {"rigid_body_physics_general", 2, false, offsetof(RigidBodyPhysicsParams, fMass), 0.0f, 100000.0f},
    {"rigid_body_physics_friction_coef", 1, false, offsetof(RigidBodyPhysicsParams, fFrictionCoef), 0.0f,
     10.0f},
    {"rigid_body_physics_joint_general", 2, false, offsetof(RigidBodyPhysicsParams, fJointDamping), 0.0f,
     1000.0f},
    {"rigid_body_physics_sound_params", 2, false, offsetof(RigidBodyPhysicsParams, fSoundRange), 0.0f,
     100000.0f},
    {"rigid_body_physics_silence_between_sounds", 1, false,
     offsetof(RigidBodyPhysicsParams, fSilenceBetweenSounds), 0.0f, 3600.0f},
    {"rigid_body_physics_collision_sound", 1, false, offsetof(RigidBodyPhysicsParams, fCollisionSoundValue),
     -100000.0f, 100000.0f},
};

// The first 32 characters of a light name, without a terminator when it
// fills them.
void CopyLightName(char (&slot)[32], const char* name) {
    std::memset(slot, 0, sizeof slot);
    std::memcpy(slot, name, std::min(std::strlen(name), sizeof slot));
}

} // namespace

void EWorldMgr::ParseRigidBodyKeys(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    const WorldKeyField* first = FindKeyField(kRigidBodyKeys, std::size(kRigidBodyKeys));
    bool list = KeywordIs("rigid_body_physics_disable_collision_with_list");
    if (!first && !list) return;

    RigidBodyPhysicsParams params;
    params.Reset();
    GetObjectRigidBodyPhysicsParams(h, &params);
    if (first) {
        ApplyKeyFields(line, first, std::end(kRigidBodyKeys), &params);
        CheckRigidBodyRanges(&params);
    }
    if (list) {
        unsigned entry = static_cast<unsigned>(ParamInt(line, 1));
        if (entry >= RigidBodyPhysicsParams::NUM_DISABLED_COLLISIONS) {
            g_Console.Print("ERROR: blad w pliku *.w, zly numer obiektu na liscie kolizji...");
            return;
        }
        safe_string_copy("szDisableCollisionWith", kDisableCollisionBound,
                         params.szDisableCollisionWith[entry], GetLineParam(line, 2));
    }
    SetObjectRigidBodyPhysicsParams(h, params);
}

void EWorldMgr::CheckRigidBodyRanges(RigidBodyPhysicsParams* params) {
    RigidBodyPhysicsParams defaults;
    defaults.Reset();
    uint8_t* base = reinterpret_cast<uint8_t*>(params);
    const uint8_t* fallback = reinterpret_cast<const uint8_t*>(&defaults);
    for (const KeyRange& r : kRigidBodyRanges) {
        if (!KeywordIs(r.szKey)) continue;
        double value = 0.0;
        if (r.isInt) {
            int32_t v;
            std::memcpy(&v, base + r.offset, sizeof v);
            value = v;
        } else {
            float v;
            std::memcpy(&v, base + r.offset, sizeof v);
            value = v;
        }
        // NaN fails both comparisons and is refused too.
        if (value >= r.lo && value <= r.hi) continue;
        std::memcpy(base + r.offset, fallback + r.offset, 4);
        float taken;
        int32_t takenInt;
        std::memcpy(&taken, fallback + r.offset, 4);
        std::memcpy(&takenInt, fallback + r.offset, 4);
        g_Console.Printf("%s: %s value %d = %g out of range (%g..%g), %g taken",
                         m_szLoadingFile ? m_szLoadingFile : "world file", r.szKey, int(r.value), value,
                         double(r.lo), double(r.hi), r.isInt ? double(takenInt) : double(taken));
    }
}

void EWorldMgr::ParseBlinkingKey(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    if (!KeywordIs("blinking1")) return;
    BlinkingBlock block;
    block.bOn = ParamInt(line, 1) != 0;
    for (int i = 0; i < 6; ++i)
        block.fValues[i] = ParamFloat(line, i + 2);
    SetObjectExtraBlock(h, &block);
}

void EWorldMgr::ParseSetFxKey(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    if (!KeywordIs("set_fx")) return;
    char name[255];
    safe_string_copy("", sizeof name, name, GetLineRest(line));
    // The object keeps at most 63 characters of its FX name.
    name[63] = 0;
    SetObjectFxName(h, name);
}

void EWorldMgr::ParseBezierMovingKeys(const char* line, ObjectRecord* h) {
    if (!line || !h) return;
    TakeKeyword(line);
    bool startNode = KeywordIs("bezier_moving_____start_node_name");
    bool params0 = KeywordIs("bezier_moving_____params0");
    bool params1 = KeywordIs("bezier_moving_____params1");
    if (!startNode && !params0 && !params1) return;

    BezierMovingParams p;
    GetObjectBezierMovingParams(h, &p);
    if (startNode) safe_string_copy("start_bezier_node_name", 130, p.szStartNode, GetLineRest(line));
    if (params0) {
        p.dwLapLimit = static_cast<uint32_t>(ParamInt(line, 1));
        p.bActive = ParamInt(line, 2) != 0;
        p.dFirstLapPause = os::ReadDouble(GetLineParam(line, 3));
        p.dLaterLapPause = os::ReadDouble(GetLineParam(line, 4));
        // Only an exact 1 switches these on.
        p.bStartWhenLoaded = ParamInt(line, 5) == 1;
        p.bFlag2 = ParamInt(line, 6) == 1;
        p.bLoops = ParamInt(line, 7) == 1;
    }
    if (params1) {
        p.bFlag140 = ParamInt(line, 1) != 0;
        p.bPlaceAtStart = ParamInt(line, 2) != 0;
    }
    SetObjectBezierMovingParams(h, p);
}

void EWorldMgr::ParseObjectLightControlKeys(const char* line, ObjectRecord* h) {
    if (!line || !h || h->dwType == OT_LIGHT) return;
    TakeKeyword(line);
    bool params = KeywordIs("object_light_control_params");
    bool slotKey = KeywordIs("object_light_control2_light");
    if (!params && !slotKey) return;
    LightControlList list;
    GetObjectNameList(h, &list);
    if (params) {
        list.bOn = ParamInt(line, 1) != 0;
        list.bFlag2 = ParamInt(line, 2) != 0;
    } else {
        unsigned slot = static_cast<unsigned>(ParamInt(line, 1));
        if (slot >= LightControlList::NUM_NAMES) {
            g_Console.Print("ERROR: blad w pliku *.w, zly numer swiatla na obiekt...");
            return;
        }
        CopyLightName(list.szNames[slot], GetLineParam(line, 2));
    }
    SetObjectNameList(h, list);
}

void EWorldMgr::ParseMeshLightControlKeys(const char* line, ObjectRecord* h) {
    if (!line || !h || h->dwType != OT_MESH) return;
    TakeKeyword(line);
    static const char* const kFixedSlots[] = {"mesh_light_control_light0", "mesh_light_control_light1",
                                              "mesh_light_control_light2", "mesh_light_control_light3",
                                              "mesh_light_control_light4", "mesh_light_control_light5",
                                              "mesh_light_control_light6"};
    bool params = KeywordIs("mesh_light_control_params");
    bool slotKey = KeywordIs("mesh_light_control2_light");
    int fixed = -1;
    for (int i = 0; i < 7; ++i)
        if (KeywordIs(kFixedSlots[i])) fixed = i;
    if (!params && !slotKey && fixed < 0) return;
    LightControlList list;
    GetObjectNameList(h, &list);
    if (params) {
        list.bOn = ParamInt(line, 1) != 0;
        list.bFlag2 = ParamInt(line, 2) != 0;
    } else if (slotKey) {
        unsigned slot = static_cast<unsigned>(ParamInt(line, 1));
        if (slot >= LightControlList::NUM_NAMES) {
            g_Console.Print("ERROR: blad w pliku *.w, zly numer swiatla na mesha...");
            return;
        }
        CopyLightName(list.szNames[slot], GetLineParam(line, 2));
    } else {
        CopyLightName(list.szNames[fixed], GetLineRest(line));
    }
    SetObjectNameList(h, list);
}
