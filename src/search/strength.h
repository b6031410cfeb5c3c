// strength.h: weakened play for UCI_LimitStrength. Below MAX_ELO a search gets a node budget
// that doubles every 115 points up to 1700 and every 60 above (the scale of stockfish's own
// UCI_Elo, the reference, climbs faster there), and below 1900 the move is chosen among
// STRENGTH_LINES lines with a random bonus that shrinks as the rating grows. At MAX_ELO the
// engine plays at full strength. Calibrated against stockfish's UCI_Elo at 5+0.05.
#pragma once

#include <cstdint>

#include "search/root.h"

// The ratings a weakened engine plays at (the UCI_Elo option); MAX_ELO is full strength.
constexpr int MIN_ELO        = 1350;
constexpr int MAX_ELO        = 2100;
constexpr int STRENGTH_LINES = 4;

// Is a search at `elo` (0: no limit) a weakened one?
constexpr bool is_weakened(int elo) { return elo > 0 && elo < MAX_ELO; }

std::uint64_t strength_node_budget(int elo);

// The line a weakened engine plays: each line's score gets a random bonus from `random_state`,
// and the best sum wins. A clearly won position is played out with the best line, so that won
// endings are converted; a line that gets mated never wins.
int weakened_choice(const RootMove* lines, int count, int elo, std::uint64_t& random_state);
