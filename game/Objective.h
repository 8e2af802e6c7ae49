// Objectives, `Objective` (global g_Objective): the current task and the
// texts added to the objective list. Their display comes with the HUD; this
// keeps the text keys the world's actions hand in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Objective {
  public:
    virtual ~Objective() = default;

    // Appends a text key to the objective texts.
    void AddText(const char* key) { m_Texts.emplace_back(key ? key : ""); }
    // The key becomes the new task.
    void SetNewTask(const char* key) { m_Task = key ? key : ""; }

    // The objective-list and task keys held this frame (their display comes
    // with the HUD; the frames are counted).
    void OnShowListKey() { ++m_dwListKeyFrames; }
    void OnShowTaskKey() { ++m_dwTaskKeyFrames; }
    uint32_t m_dwListKeyFrames = 0;
    uint32_t m_dwTaskKeyFrames = 0;

    std::vector<std::string> m_Texts;
    std::string m_Task;
};

extern Objective g_Objective;
