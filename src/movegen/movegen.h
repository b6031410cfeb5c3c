// movegen.h: attack queries, pseudo-legal move generation and the legality test.
//
// Generators only read the board and append to a caller-owned MoveList, in a fixed order
// (every set walked from a1 upwards), never past MAX_MOVES. Legality is settled move by move
// by move_is_legal: the mover's king tested as if the move were made. There is no evasion
// logic; legality_suspects spares that test to moves that cannot expose the king.
#pragma once

#include "board/board.h"

struct MoveList {
    Move moves[MAX_MOVES];
    int count;
};

inline void add_move(MoveList& list, Move move)
{
    // Only absurd FEN positions (dozens of extra pieces) can reach the bound; drop the rest.
    if (list.count < MAX_MOVES)
        list.moves[list.count++] = move;
}

// Squares attacked by a piece type (0..5) of a colour from a square; empty for other types.
Bitboard attacks_of(unsigned type, int sq, int color, Bitboard occupancy);

// False when the colour has no king; its lowest king square is tested otherwise.
bool in_check(const Board& board, int color);

// Building blocks, each appending to `list`. The target limits only the pawns' single and
// double pushes; promotions, captures and en passant ignore it.
void generate_pawn_moves(const Board& board, MoveList& list, Bitboard target, bool captures_only);
void generate_piece_moves(const Board& board, MoveList& list, int type, Bitboard target);
void generate_castling_moves(const Board& board, MoveList& list);

// Every pseudo-legal move: pawns, knights, bishops, rooks, queens, king, castling. Resets list.
void generate_moves(const Board& board, MoveList& list);
// Captures, en passant and all promotions (push promotions last); no castling. Resets list.
void generate_captures(const Board& board, MoveList& list);
// The legal moves, in generation order. Resets list.
void generate_legal_moves(const Board& board, MoveList& list);

// Is the word one of the moves generate_moves would produce here? For moves from elsewhere
// (the transposition table) before they are made.
bool is_pseudo_legal(const Board& board, Move move);

// Would the mover still have a king, unattacked, after this pseudo-legal move? The answer of
// make_move followed by in_check, computed without changing the board.
bool move_is_legal(const Board& board, Move move);

// The from-squares whose moves need move_is_legal's full test, worked out once per position:
// every square when the mover is in check or has no single king; otherwise its king, its pieces
// pinned to the king (the only piece between it and an enemy slider of that line's kind) and
// its pawns that can take en passant. A pseudo-legal move from any other square cannot expose
// the king, so it is legal.
Bitboard legality_suspects(const Board& board);

// move_is_legal's answer, with the position's suspects at hand.
inline bool move_is_legal(const Board& board, Bitboard suspects, Move move)
{
    return !(suspects & square_bb(move_from(move))) || move_is_legal(board, move);
}
