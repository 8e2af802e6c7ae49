#include "app/CommandMgr.h"

CCommandMgr g_CommandMgr;

void CCommandMgr::PollKeyboard() {
    if (!m_bKeyboardReady) return;
}
