// The start-up dialogs (launcher and video options). They talk to the process
// entry through StartupCancelled, ShowLauncherNext and ShowVideoOptionsNext
// (app/WinMain.h). Until the dialogs are built each takes its default button:
// the launcher starts the game, the video options keep the settings just
// read or written.
#pragma once

namespace window {
class Window;
}

void LauncherDialog(window::Window* parent);
void VideoOptionsDialog(window::Window* parent);
