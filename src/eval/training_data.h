// training_data.h: the network's training records, 32 bytes each, little-endian, written by
// self-play (uci/datagen.h) and read by the trainer in tools/nnue/. A file is a plain sequence
// of records: a file cut short loses only its last, partial record.
//
//   bytes 0-7    occupied squares (bit n = square n, a1 = 0)
//   bytes 8-23   piece codes (0-11, "PNBRQKpnbrqk") of the occupied squares from a1 up, one
//                nibble each, the low nibble first
//   bytes 24-25  search score, centipawns, side to move's view (signed)
//   byte 26      game result for the side to move: 2 won, 1 draw, 0 lost
//   byte 27      side to move: 0 White, 1 Black
//   byte 28      half-move clock (saturated at 255)
//   byte 29      0
//   bytes 30-31  full-move number (saturated at 65535)
#pragma once

#include <cstdint>

#include "board/board.h"

constexpr int TRAINING_RECORD_BYTES  = 32;
constexpr int TRAINING_RECORD_PIECES = 32; // positions with more pieces are not recorded

struct TrainingRecord {
    std::uint8_t bytes[TRAINING_RECORD_BYTES];
};

enum GameResult { RESULT_LOSS = 0, RESULT_DRAW = 1, RESULT_WIN = 2 };

// The record of a position (castling rights and en passant are not kept); false when it has
// more than TRAINING_RECORD_PIECES pieces. `result` is for the side to move.
bool pack_training_record(const Board& board, int score, GameResult result, TrainingRecord& out);

// The game's result, known only once the game is over.
void set_training_result(TrainingRecord& record, GameResult result);

struct TrainingPosition {
    Board board; // placement, side and clocks; no castling rights, no en passant
    int score;
    GameResult result;
};

// Reads a record back; false for one no packer writes (a piece code above 11, a result above
// 2, a side above 1, a nonzero spare byte, or kings other than one of each colour).
bool unpack_training_record(const TrainingRecord& record, TrainingPosition& out);
