// terms.h: the positional terms of the evaluation. Each per-colour term returns that colour's
// own credit; evaluate adds White's and subtracts Black's (king danger the other way round).
#pragma once

#include "board/board.h"

// White minus Black; cached by pawn_hash in 8,192 slots, never cleared.
Score evaluate_pawns(const Board& board);
// Both of them, from one look-up of the pawn cache (which also keeps the passed pawns).
Score evaluate_pawn_terms(const Board& board);
Score evaluate_mobility(const Board& board, int color);
Score evaluate_rooks(const Board& board, int color);
Score evaluate_threats(const Board& board, int color);
int king_danger(const Board& board, int color); // centipawns of danger, 0 without a king
// Mobility, outposts, rooks, threats and king danger of both sides, White's view, from one
// pass over each side's pieces: what evaluate adds, cheaper than the terms one by one.
Score evaluate_pieces(const Board& board);
