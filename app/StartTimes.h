// Start-up timing for the start-up benchmark: when the environment names a
// file in ZT_START_TIMES, each mark appends "<step> <monotonic ns>" to it,
// from the start of the program's static construction ("static_init") to
// the first frames presented: the logo's ("logo_frame") and the game's first
// ("first_game_frame"); then each started world's level frame from which it
// is shown whole, past its loading frames ("world_shown"), which a screen
// test waits for. Without the variable a mark only tests a pointer.
#pragma once

void MarkStartStep(const char* step);
