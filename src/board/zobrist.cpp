#include "board/zobrist.h"

Bitboard zobrist_piece[PIECE_NB][SQUARE_NB];
Bitboard zobrist_castling[16];
Bitboard zobrist_ep_file[8];
Bitboard zobrist_side;
Bitboard zobrist_castling_file[4][8];

void init_zobrist()
{
    std::uint64_t state = 0x246C7B3A9E5F1D28ULL;
    // xorshift64 (13, 7, 17); the seed itself is never a key.
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (auto& piece_keys : zobrist_piece)
        for (auto& key : piece_keys)
            key = next();
    for (auto& key : zobrist_castling)
        key = next();
    for (auto& key : zobrist_ep_file)
        key = next();
    zobrist_side = next();
    for (auto& right_keys : zobrist_castling_file)
        for (auto& key : right_keys)
            key = next();
}
