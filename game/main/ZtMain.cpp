// The game executable: the game fills the lower layers' hooks, then the
// application core runs.
#include "app/StartTimes.h"
#include "app/WinMain.h"
#include "game/GameStart.h"
#include "platform/window/Window.h"

int main() {
    MarkStartStep("main");
    window::CatchTerminationSignals();
    StartGameLayers();
    MarkStartStep("game_layers");
    return WinMain();
}
