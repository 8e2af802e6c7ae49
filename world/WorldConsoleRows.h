// The engine world's console rows: the camera (field of view, far plane,
// gamma), the world to run, actions, the wipe-out, sectors and the Bezier
// camera. Registered from the game's start-up, before zt.cfg is read.
#pragma once

void RegisterWorldConsoleRows();
