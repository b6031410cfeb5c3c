// tablebase.h: Syzygy endgame tables, probed through the Fathom library (Debian's
// libfathom-dev) when the engine is built with it; without it (TABLEBASES_BUILT false) no table
// ever loads and every probe fails, so the search runs as if none were found.
//
// Tables answer only positions without castling rights and with at most tb_piece_limit()
// pieces. The win-draw-loss probe may run on every search thread at once; loading and the
// root ranking run on the main thread between searches.
#pragma once

#include <string_view>

#include "board/board.h"

#ifdef VANTOREL_SYZYGY
constexpr bool TABLEBASES_BUILT = true;
#else
constexpr bool TABLEBASES_BUILT = false;
#endif

struct TablebaseSettings {
    int probe_depth; // the search probes at this remaining depth or more ("SyzygyProbeDepth")
    bool rule50; // a win the fifty-move rule spoils is a draw ("Syzygy50MoveRule")
    int probe_limit; // most pieces probed ("SyzygyProbeLimit")
};
extern TablebaseSettings tb_settings;

// Replaces the loaded tables by those in `paths` (folders separated by ':', or ';' on
// Windows; empty or "<empty>" for none) and says in an info string how many were found and
// which files are unusable.
void tb_load(std::string_view paths);

// The most pieces of a loaded table (0 when none is), and the most a probe may have: that, at
// most probe_limit.
int tb_largest();
int tb_piece_limit();

// Win-draw-loss of the side to move, with the fifty-move rule as the settings say: WIN, DRAW
// or LOSS, or TB_FAILED. Needs a half-move clock of 0 (the table cannot know a later one).
enum TablebaseResult { TB_LOSS_RESULT = -1, TB_DRAW_RESULT = 0, TB_WIN_RESULT = 1, TB_FAILED };
TablebaseResult tb_probe(const Board& board);

// Ranks the `count` legal root moves of `board` (ranks[i] for moves[i]; greater is better; a
// result-keeping move that makes progress towards the next capture or pawn move outranks the
// others when the fifty-move rule is near) by the distance-to-zero tables, or by win-draw-loss
// alone when those are missing. `score` receives, per move, the score it proves: a win, a
// loss or 0. False when the tables cannot rank the position.
bool tb_rank_root_moves(const Board& board, const Move* moves, int count, int* ranks, int* scores);
