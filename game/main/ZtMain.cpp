// The game executable: the game fills the lower layers' hooks, then the
// application core runs.
#include "app/WinMain.h"
#include "game/GameStart.h"

int main() {
    StartGameLayers();
    return WinMain();
}
