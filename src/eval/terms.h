// terms.h: the positional terms of the evaluation. Each per-colour term returns that colour's
// own credit; evaluate adds White's and subtracts Black's (king danger the other way round).
#pragma once

#include "board/board.h"

struct PawnEntry {
    std::uint64_t key; // pawn_hash of the position scored
    Score score; // evaluate_pawns, White minus Black
};

constexpr int PAWN_HASH_SIZE = 8192; // slot = low 13 bits of pawn_hash; never cleared
extern PawnEntry pawn_hash_table[PAWN_HASH_SIZE];

Score evaluate_pawns(const Board& board); // White minus Black; probes and fills the cache
Score compute_pawn_score(const Board& board); // the same without the cache
Score passed_pawn_proximity(const Board& board); // end-game half only; White minus Black
Score evaluate_mobility(const Board& board, int color);
Score evaluate_outposts(const Board& board, int color);
Score evaluate_rooks(const Board& board, int color);
Score evaluate_threats(const Board& board, int color);
int king_danger(const Board& board, int color); // centipawns of danger, 0 without a king
