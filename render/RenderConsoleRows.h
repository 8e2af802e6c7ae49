// The renderer's console rows: ambient occlusion, tone mapping and bloom,
// fog, ambient and sky light, the sky-light and lens-flare directions.
// Registered from the game's start-up, before zt.cfg is read.
#pragma once

void RegisterRenderConsoleRows();
