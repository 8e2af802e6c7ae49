// The level scripts and script variables, `GameAI` (global g_GameAI): the one
// blackboard of named flags that object actions, scripts, cut-scenes and the
// HUD set and test by name.
//
// So far it keeps the variables as plain set/unset flags with their setter,
// and the names of objects hit (for the scripts' hit tests). Counters and
// integers, the name cache, the level scripts and the save block come with
// the game layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ObjectRecord;

class GameAI {
  public:
    virtual ~GameAI() = default;

    // False for a null or empty name or a missing variable.
    bool IsSet(const char* name, ObjectRecord** setter = nullptr) const;
    bool TestVariable(const char* name) const { return IsSet(name); }
    // Nothing for a null or empty name or one starting with a blank; a
    // missing variable is created.
    void SetVariable(const char* name, ObjectRecord* setter);
    void UnsetVariable(const char* name, ObjectRecord* setter);
    // Records a hit on the named object for the scripts' hit tests.
    void RegisterHit(const char* objectName);
    // Every variable cleared (world close).
    void ResetVariables();
    // Runs every script action of that name (from level frame 12 on). The
    // level scripts come with the game layer; the names asked for are kept.
    void RunActionByName(const char* name);
    const std::vector<std::string>& ActionsRun() const { return m_ActionsRun; }

    const std::vector<std::string>& Hits() const { return m_Hits; }

  private:
    struct strzmienne {
        std::string name;
        uint8_t bSet = 0;
        ObjectRecord* setter = nullptr;
    };
    strzmienne* Find(const char* name);
    const strzmienne* Find(const char* name) const;

    std::vector<strzmienne> m_Variables;
    std::vector<std::string> m_Hits;
    std::vector<std::string> m_ActionsRun;
};

extern GameAI g_GameAI;
