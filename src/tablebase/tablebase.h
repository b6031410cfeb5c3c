// tablebase.h: Syzygy endgame tables, probed through the Fathom library (Debian's
// libfathom-dev; on Windows Debian's fathom source built with mingw-w64) when the engine is
// built with it; without it (TABLEBASES_BUILT false) no table ever loads and every probe fails,
// so the search runs as if none were found.
//
// A Tablebases record is what one engine loaded; the library itself keeps one set of tables
// per process, so engines that share a process load the same folders, before any of them
// searches. Probes may run on every search thread at once.
#pragma once

#include <string>
#include <string_view>

#include "board/board.h"

#ifdef VANTOREL_SYZYGY
constexpr bool TABLEBASES_BUILT = true;
#else
constexpr bool TABLEBASES_BUILT = false;
#endif

// A zero-filled record has no tables.
struct Tablebases {
    int largest; // the most pieces of a loaded table, 0 when none is
    std::string link_folder; // the private folder of links the library reads (tablebase/files.h)
};

// How a search uses the tables.
struct TablebaseSettings {
    int pieces; // probe positions of at most this many pieces (0: never)
    int probe_depth; // ... and of exactly that many only at this remaining depth or more
    bool rule50; // a win the fifty-move rule spoils is a draw
};

// Replaces the loaded tables by those in `paths` (folders separated by ';' on Windows, where ':'
// belongs to drive names, and by ':' elsewhere; empty or "<empty>" for none) and says in an info
// string how many were found and which files are unusable.
void tb_load(Tablebases& tables, std::string_view paths);
void tb_free(Tablebases& tables);

// The positions a table can answer, cheaply: no castling rights, at most `pieces` pieces, and a
// half-move clock of 0 (a table cannot know a later one). The probes test it themselves.
inline bool tb_may_probe(const Board& board, int pieces)
{
    return board.halfmove_clock == 0 && board.castling == 0 && popcount(board.occupied) <= pieces;
}

// Win-draw-loss of the side to move, or TB_FAILED.
enum TablebaseResult { TB_LOSS_RESULT = -1, TB_DRAW_RESULT = 0, TB_WIN_RESULT = 1, TB_FAILED };
TablebaseResult tb_probe(const Board& board, const TablebaseSettings& settings);

// Ranks the `count` legal root moves of `board` (ranks[i] for moves[i]; greater is better; a
// result-keeping move that makes progress towards the next capture or pawn move outranks the
// others when the fifty-move rule is near) by the distance-to-zero tables, or by win-draw-loss
// alone when those are missing. `scores` receives, per move, the score it proves: a win, a
// loss or 0. False when the tables cannot rank the position (any half-move clock will do).
bool tb_rank_root_moves(const Board& board, const TablebaseSettings& settings, const Move* moves,
    int count, int* ranks, int* scores);
