#include "app/StartupDialogs.h"

void LauncherDialog(window::Window*) {}

void VideoOptionsDialog(window::Window*) {}
