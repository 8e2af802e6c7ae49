// The game executable.
#include "app/WinMain.h"

int main() {
    return WinMain();
}
