// zobrist.h: the Zobrist key tables behind Board::hash and Board::pawn_hash.
// init_zobrist draws all 825 keys from a fixed-seed xorshift64 (13, 7, 17), so every run has
// the same keys; the tables are read-only afterwards.
#pragma once

#include "board/types.h"

extern Bitboard zobrist_piece[PIECE_NB][SQUARE_NB];
extern Bitboard zobrist_castling[16]; // by the whole rights value; [0] is used too
extern Bitboard zobrist_ep_file[8];
extern Bitboard zobrist_side; // present when Black is to move
// By right (WK, WQ, BK, BQ) and rook file: added for a right held by a rook off its corner
// (Chess960), so that standard positions keep their keys.
extern Bitboard zobrist_castling_file[4][8];

void init_zobrist();
