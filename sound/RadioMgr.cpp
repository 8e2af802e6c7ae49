#include "sound/RadioMgr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Console.h"
#include "app/FileHelpers.h"
#include "platform/os/Number.h"
#include "platform/os/Os.h"
#include "sound/SoundMgr.h"
#include "sound/SoundWorld.h"

RadioMgr g_RadioMgr;

namespace {

void CopyCut(char* out, const char* text, size_t size) {
    std::strncpy(out, text, size - 1);
    out[size - 1] = 0;
}

void LogTrackFailure(const char* file) {
    g_Console.Printf("Radio sound \"%s\" NOT created!", file);
}

} // namespace

void LoadRadios() {
    g_RadioMgr.Init();
}

RadioMgr::RadioMgr() : m_pRadios(nullptr), m_Slots{} {}

RadioMgr::~RadioMgr() {
    // The sound manager may already be gone at exit: only the definitions.
    FreeDefinitions();
}

void RadioMgr::Init() {
    LoadRadios();
}

// ---- Definitions --------------------------------------------------------------------

void RadioMgr::LoadRadios() {
    // Without the folder every radio of the world would be "not found".
    if (!os::DirectoryExists("scripts\\radio")) {
        g_Console.Print("scripts\\radio: cannot be opened (no such folder): no radio is defined");
        return;
    }
    for (const os::DirEntry& e : os::ListDirectory("scripts\\radio\\*.txt")) {
        if (e.isDirectory || e.name.empty() || e.name[0] == '.') continue;
        char path[512];
        std::snprintf(path, sizeof path, "%s\\%s", "scripts\\radio", e.name.c_str());
        LoadRadioFile(path);
    }
}

bool RadioMgr::LoadRadioFile(const char* fileName) {
    std::FILE* f = fileName ? os::OpenFile(fileName, "rb") : nullptr;
    if (!f) {
        g_Console.Printf("Failed to open \"%s\"", fileName ? fileName : "");
        return false;
    }
    RadioDefinition* radio = nullptr;
    uint32_t radios = 0;
    char line[LINE_LEN + 1];
    while (MoreLines(f, fileName)) {
        ReadLine(f, line, LINE_LEN);
        if (IsKeyword(line, "radio")) {
            // A definition is a few kilobytes, its line a few bytes.
            if (radios++ == MAX_FILE_RADIOS) {
                g_Console.Printf("%s: more than %u radios, the rest of the file is ignored", fileName,
                                 MAX_FILE_RADIOS);
                break;
            }
            radio = new RadioDefinition{};
            CopyCut(radio->szName, GetArgument(line), sizeof radio->szName);
            radio->pNext = m_pRadios;
            if (m_pRadios) m_pRadios->pPrev = radio;
            m_pRadios = radio;
        } else if (IsKeyword(line, "track")) {
            if (!radio || radio->dwNumTracks >= RadioDefinition::MAX_TRACKS) continue;
            const uint32_t t = radio->dwNumTracks++;
            CopyCut(radio->szTracks[t], GetArgument(line), RadioDefinition::TRACK_LEN);
            radio->bLoop[t] = 0;
            radio->fRange[t] = RadioDefinition::DEFAULT_RANGE;
            radio->fVolume[t] = 1.0f;
        } else if (!radio || radio->dwNumTracks == 0) {
            continue; // the track settings below need a track
        } else if (IsKeyword(line, "range")) {
            radio->fRange[radio->dwNumTracks - 1] = os::ReadFloat(GetArgument(line));
        } else if (IsKeyword(line, "loop")) {
            radio->bLoop[radio->dwNumTracks - 1] = 1;
        } else if (IsKeyword(line, "volume")) {
            radio->fVolume[radio->dwNumTracks - 1] = os::ReadFloat(GetArgument(line));
        }
    }
    const bool unreadable = std::ferror(f);
    std::fclose(f);
    return !unreadable;
}

RadioDefinition* RadioMgr::FindRadio(const char* name) {
    if (!name || !*name) return nullptr;
    for (RadioDefinition* r = m_pRadios; r; r = r->pNext)
        if (StrCmpNoCase(r->szName, name) == 0) return r;
    return nullptr;
}

void RadioMgr::FreeDefinitions() {
    while (m_pRadios) {
        RadioDefinition* next = m_pRadios->pNext;
        delete m_pRadios;
        m_pRadios = next;
    }
}

// ---- Playing -------------------------------------------------------------------------

strSound* RadioMgr::StartTrack(const RadioDefinition* radio, uint32_t t, ObjectRecord* object) {
    math::Vec3 position;
    soundworld::World().ObjectPosition(object, &position);
    const float p[3] = {position.x, position.y, position.z};
    strSound* sound =
        g_SoundMgr.StartSound3D(radio->szTracks[t], p, radio->fRange[t], true, radio->bLoop[t] != 0);
    if (!sound) {
        LogTrackFailure(radio->szTracks[t]);
        return nullptr;
    }
    g_SoundMgr.SetSoundVolumeFactor(sound, radio->fVolume[t]);
    return sound;
}

void RadioMgr::PlayRadio(ObjectRecord* object, RadioDefinition* radio) {
    if (!object || !radio) return;
    if (radio->dwNumTracks == 0) {
        g_Console.Printf("Radio \"%s\" has 0 tracks defined!", radio->szName);
        return;
    }
    uint32_t i = 0;
    while (i < MAX_PLAYING && m_Slots[i].bPlaying)
        ++i;
    if (i == MAX_PLAYING) {
        g_Console.Print("Radio playing limit overflow");
        return;
    }
    strSound* sound = StartTrack(radio, 0, object);
    if (!sound) return; // the slot stays free
    RadioSlot& slot = m_Slots[i];
    slot.pSound = sound;
    slot.bPlaying = 1;
    slot.dwTrack = 0;
    slot.hObject = object;
    slot.pRadio = radio;
}

void RadioMgr::SwitchRadio(ObjectRecord* object) {
    const char* name = object ? soundworld::World().ObjectRadio(object) : nullptr;
    if (!name) return;
    for (uint32_t i = 0; i < MAX_PLAYING; ++i) {
        if (m_Slots[i].bPlaying && m_Slots[i].hObject == object) {
            NextTrack(i);
            return;
        }
    }
    if (RadioDefinition* radio = FindRadio(name))
        PlayRadio(object, radio);
    else
        g_Console.Printf("%s nie znalazl radia \"%s\"", soundworld::World().ObjectName(object), name);
}

void RadioMgr::NextTrack(uint32_t i) {
    if (i >= MAX_PLAYING || !m_Slots[i].bPlaying) return;
    RadioSlot& slot = m_Slots[i];
    if (!slot.pRadio || !slot.hObject) {
        StopSlot(i);
        return;
    }
    g_SoundMgr.StopSound(slot.pSound);
    g_SoundMgr.DeleteSound(slot.pSound);
    slot.pSound = nullptr;
    if (++slot.dwTrack >= slot.pRadio->dwNumTracks) slot.dwTrack = 0;
    slot.pSound = StartTrack(slot.pRadio, slot.dwTrack, slot.hObject);
    if (!slot.pSound) StopSlot(i);
}

void RadioMgr::StopSlot(uint32_t i) {
    if (i >= MAX_PLAYING || !m_Slots[i].bPlaying) return;
    RadioSlot& slot = m_Slots[i];
    slot.bPlaying = 0;
    if (slot.pSound) {
        g_SoundMgr.StopSound(slot.pSound);
        g_SoundMgr.DeleteSound(slot.pSound);
        slot.pSound = nullptr;
    }
    slot.hObject = nullptr;
    slot.pRadio = nullptr;
}

void RadioMgr::StopObjectRadios(ObjectRecord* object) {
    if (!object) return;
    for (uint32_t i = 0; i < MAX_PLAYING; ++i)
        if (m_Slots[i].bPlaying && m_Slots[i].hObject == object) StopSlot(i);
}

void RadioMgr::Clear() {
    for (uint32_t i = 0; i < MAX_PLAYING; ++i)
        StopSlot(i);
    FreeDefinitions();
}
