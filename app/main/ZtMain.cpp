// The game executable. The single-instance lock is taken before any other
// global of the program is built: the text table's start-up clears the
// previous run's report files, which must stay untouched when another
// instance is running.
#include <unistd.h>

#include "app/WinMain.h"

namespace {
struct EarlyInstanceCheck {
    EarlyInstanceCheck() {
        if (!AcquireInstanceLock(ReadGameNameLabel())) _exit(0);
    }
};
__attribute__((init_priority(101))) EarlyInstanceCheck g_EarlyInstanceCheck;
} // namespace

int main() {
    return WinMain();
}
