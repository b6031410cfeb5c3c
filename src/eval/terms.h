// terms.h: the positional terms of the evaluation. Each per-colour term returns that colour's
// own credit; evaluate adds White's and subtracts Black's (king danger the other way round).
#pragma once

#include "board/board.h"

// What depends on the pawns alone, cached by pawn_hash. A zero-filled entry is the correct
// one for a board without pawns, whose pawn_hash is 0, so a zero-filled cache is empty.
struct PawnEntry {
    std::uint64_t key; // pawn_hash of the position scored
    Bitboard passed; // the passed pawns of both colours
    Score score; // the structure, White minus Black
};
constexpr int PAWN_CACHE_SIZE = 8192;

// The pawn structure, White minus Black.
Score evaluate_pawns(const Board& board);
// The structure and the passed pawns' king proximity (end-game half), White minus Black, from
// one look-up of `cache` (PAWN_CACHE_SIZE entries), or computed when it is nullptr.
Score evaluate_pawn_terms(const Board& board, PawnEntry* cache);
Score evaluate_mobility(const Board& board, int color);
Score evaluate_rooks(const Board& board, int color);
Score evaluate_threats(const Board& board, int color);
int king_danger(const Board& board, int color); // centipawns of danger, 0 without a king
// Mobility, outposts, rooks, threats and king danger of both sides, White's view, from one
// pass over each side's pieces: what evaluate adds, cheaper than the terms one by one.
Score evaluate_pieces(const Board& board);
