// The game executable: the game fills the lower layers' hooks, then the
// application core runs.
#include "app/WinMain.h"
#include "game/GameStart.h"
#include "platform/window/Window.h"

int main() {
    window::CatchTerminationSignals();
    StartGameLayers();
    return WinMain();
}
