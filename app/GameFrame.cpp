#include "app/GameFrame.h"

namespace {
GameFrame g_GameFrame;
} // namespace

const GameFrame& TheGameFrame() {
    return g_GameFrame;
}

void InstallGameFrame(const GameFrame& frame) {
    g_GameFrame = frame;
}
