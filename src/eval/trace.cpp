// trace.cpp: the `eval` command, a breakdown of the main terms for the current position.
// The rows leave out outposts, passed-pawn proximity, the bishop pair's end-game half, draw
// recognition, taper, tempo, mop-up and scaling, so the total is not their sum.
#include <cstdio>

#include "eval/eval.h"
#include "eval/terms.h"

namespace {

constexpr int BISHOP_PAIR_MG = 22; // the row shows the middle-game half only

void print_row(const char* label, int mg, int eg)
{
    std::printf("%-16s  MG: %+5d  EG: %+5d\n", label, mg, eg);
}

void print_row(const char* label, Score s) { print_row(label, mg_of(s), eg_of(s)); }

} // namespace

void eval_trace(const Board& board)
{
    std::printf("=== Evaluation Trace ===\n");
    std::printf("Phase: %d/%d\n", game_phase(board), MAX_PHASE);
    print_row("Material+PST", board.psq_score);
    print_row("Pawns", evaluate_pawns(board));
    print_row("Mobility", evaluate_mobility(board, WHITE) - evaluate_mobility(board, BLACK));
    print_row("RooksW", evaluate_rooks(board, WHITE));
    const Score rooks_black = evaluate_rooks(board, BLACK);
    print_row("RooksB", -mg_of(rooks_black), -eg_of(rooks_black));
    print_row("Threats", evaluate_threats(board, WHITE) - evaluate_threats(board, BLACK));
    int bishop_pair = 0;
    if (more_than_one(board.pieces[make_piece(WHITE, BISHOP)]))
        bishop_pair += BISHOP_PAIR_MG;
    if (more_than_one(board.pieces[make_piece(BLACK, BISHOP)]))
        bishop_pair -= BISHOP_PAIR_MG;
    std::printf("%-16s  %+5d\n", "BishopPair", bishop_pair);
    const int danger_white = king_danger(board, WHITE);
    const int danger_black = king_danger(board, BLACK);
    std::printf("%-16s  W: %d  B: %d  net: %+d\n", "KingSafety", danger_white, danger_black,
        danger_black - danger_white);
    std::printf("---\n");
    std::printf("Total (side-to-move): %+d cp\n", evaluate(board));
    std::fflush(stdout);
}
