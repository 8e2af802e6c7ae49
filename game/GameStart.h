// The game's start-up: fills, from the top, the hooks the lower layers
// declare (the application core's game frame, the physics', the world's and the
// sound's upward calls) and has every subsystem register its console rows. The
// executable calls it once before the main loop, and before the
// configuration is read, so that zt.cfg reaches every row.
#pragma once

void StartGameLayers();
