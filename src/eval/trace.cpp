// trace.cpp: the `eval` command, a breakdown of the main terms for the current position.
// The rows leave out outposts, passed-pawn proximity, the bishop pair's end-game half, draw
// recognition, taper, tempo, mop-up and scaling, so the total is not their sum. With the
// Neural style: the network's score and, on a board diagram, what each piece but the kings
// adds to it (the score minus the score without the piece, both White's view).
#include <cstdio>
#include <memory>

#include "eval/eval.h"
#include "eval/terms.h"

namespace {

constexpr int BISHOP_PAIR_MG = 22; // the row shows the middle-game half only

void print_row(const char* label, int mg, int eg)
{
    std::printf("%-16s  MG: %+5d  EG: %+5d\n", label, mg, eg);
}

void print_row(const char* label, Score s) { print_row(label, mg_of(s), eg_of(s)); }

int white_view(const Board& board, int score) { return board.side == WHITE ? score : -score; }

void neural_trace(const Board& board, const Network& network)
{
    const auto copy = std::make_unique<Board>(board); // big for a stack
    Board& without  = *copy;
    const int whole = white_view(board, network_output(board, network));
    std::printf("=== Neural Evaluation ===\n");
    std::printf("Network score (side-to-move): %+d cp\n", network_output(board, network));
    std::printf("Piece contributions (White's view, cp):\n");
    const char* const rule
        = "  +-------+-------+-------+-------+-------+-------+-------+-------+\n";
    std::printf("%s", rule);
    for (int rank = 7; rank >= 0; --rank) {
        std::printf("%d |", rank + 1);
        for (int file = 0; file < 8; ++file) {
            const int piece = board.squares[make_square(file, rank)];
            std::printf("   %c   |", piece == EMPTY ? ' ' : "PNBRQKpnbrqk"[piece]);
        }
        std::printf("\n  |");
        for (int file = 0; file < 8; ++file) {
            const int sq    = make_square(file, rank);
            const int piece = board.squares[sq];
            if (piece == EMPTY || type_of(piece) == KING) {
                std::printf("       |");
                continue;
            }
            const Bitboard bb = square_bb(sq);
            without.pieces[piece] ^= bb;
            without.occupancy[color_of(piece)] ^= bb;
            without.occupied ^= bb;
            std::printf(" %+5d |", whole - white_view(board, network_output(without, network)));
            without.pieces[piece] ^= bb;
            without.occupancy[color_of(piece)] ^= bb;
            without.occupied ^= bb;
        }
        std::printf("\n%s", rule);
    }
    std::printf("      a       b       c       d       e       f       g       h\n");
    std::printf("Neural evaluation (side-to-move): %+d cp\n", evaluate(board, &network));
    std::fflush(stdout);
}

} // namespace

void eval_trace(const Board& board, const Network* network)
{
    if (network)
        return neural_trace(board, *network);
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
    std::printf("Total (side-to-move): %+d cp\n", evaluate(board, nullptr));
    std::fflush(stdout);
}
