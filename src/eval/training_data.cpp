#include "eval/training_data.h"

#include <algorithm>
#include <cstdio>

static void put_u16(std::uint8_t* at, unsigned value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

static unsigned get_u16(const std::uint8_t* at) { return at[0] | unsigned(at[1]) << 8; }

bool pack_training_record(const Board& board, int score, GameResult result, TrainingRecord& out)
{
    if (popcount(board.occupied) > TRAINING_RECORD_PIECES)
        return false;
    out             = {};
    std::uint8_t* b = out.bytes;
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<std::uint8_t>(board.occupied >> (8 * i));
    int index = 0;
    for (Bitboard rest = board.occupied; rest; rest &= rest - 1, ++index)
        b[8 + index / 2]
            |= static_cast<std::uint8_t>(board.squares[lsb(rest)] << (4 * (index % 2)));
    put_u16(b + 24, static_cast<std::uint16_t>(std::clamp(score, -32767, 32767)));
    b[26] = static_cast<std::uint8_t>(result);
    b[27] = static_cast<std::uint8_t>(board.side);
    b[28] = static_cast<std::uint8_t>(std::clamp(board.halfmove_clock, 0, 255));
    put_u16(b + 30, static_cast<unsigned>(std::clamp(board.fullmove_number, 0, 65535)));
    return true;
}

void set_training_result(TrainingRecord& record, GameResult result)
{
    record.bytes[26] = static_cast<std::uint8_t>(result);
}

bool unpack_training_record(const TrainingRecord& record, TrainingPosition& out)
{
    const std::uint8_t* b = record.bytes;
    Bitboard occupied     = 0;
    for (int i = 0; i < 8; ++i)
        occupied |= Bitboard(b[i]) << (8 * i);
    if (popcount(occupied) > TRAINING_RECORD_PIECES || b[26] > RESULT_WIN || b[27] > BLACK
        || b[29] != 0)
        return false;
    // The position goes through a FEN so that every derived field of the board is exact.
    char fen[128];
    int length          = 0;
    int kings[COLOR_NB] = {};
    for (int rank = 7; rank >= 0; --rank) {
        int gap = 0;
        for (int file = 0; file < 8; ++file) {
            const int sq = make_square(file, rank);
            if (!(occupied & square_bb(sq))) {
                ++gap;
                continue;
            }
            // Nibbles are numbered from a1 up: count the occupied squares below this one.
            const int index = popcount(occupied & (square_bb(sq) - 1));
            const int code  = b[8 + index / 2] >> (4 * (index % 2)) & 15;
            if (code >= PIECE_NB)
                return false;
            if (type_of(code) == KING)
                ++kings[color_of(code)];
            if (gap)
                fen[length++] = static_cast<char>('0' + gap);
            gap           = 0;
            fen[length++] = "PNBRQKpnbrqk"[code];
        }
        if (gap)
            fen[length++] = static_cast<char>('0' + gap);
        if (rank)
            fen[length++] = '/';
    }
    if (kings[WHITE] != 1 || kings[BLACK] != 1)
        return false;
    std::snprintf(fen + length, sizeof fen - static_cast<std::size_t>(length), " %c - - %u %u",
        b[27] ? 'b' : 'w', unsigned(b[28]), get_u16(b + 30));
    parse_fen(out.board, fen);
    out.score  = static_cast<std::int16_t>(get_u16(b + 24));
    out.result = static_cast<GameResult>(b[26]);
    return true;
}
