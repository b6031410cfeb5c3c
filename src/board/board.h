// board.h: the position record, FEN reading and printing, making and unmaking moves.
//
// A Board keeps the position twice (bitboards and mailbox), the FEN game state, two Zobrist
// keys and the running psq_score (over the table it points to), all maintained incrementally.
// Invariants after parse_fen, make_move, unmake_move and the null move: bitboards agree with the
// mailbox; hash, pawn_hash and psq_score equal their from-scratch values (board_is_consistent
// checks all of them). The undo stack doubles as the game history that the repetition test reads.
// A Board is a plain value: copying it copies the position and its whole history.
#pragma once

#include <string_view>

#include "board/score.h"
#include "board/types.h"

constexpr int UNDO_CAPACITY = 1024;

// The game history leaves room for a search or a perft on top of it (each makes at most
// MAX_PLY moves): a longer game forgets its oldest GAME_HISTORY_DROP records at a time.
constexpr int GAME_HISTORY_DROP  = 2 * MAX_PLY;
constexpr int GAME_HISTORY_LIMIT = UNDO_CAPACITY - GAME_HISTORY_DROP;

// What a move took off the board and put on it, each as piece * 64 + square: the mover (or the
// king and rook of a castling) and a victim off their squares, the mover (promoted) or the king
// and rook onto theirs. The network's accumulators follow these; a null move changes nothing.
struct PieceChanges {
    std::uint16_t removed[2];
    std::uint16_t added[2];
    std::uint8_t removed_count;
    std::uint8_t added_count;
};

struct UndoRecord {
    std::int32_t ep_square;
    std::int32_t castling;
    std::int32_t halfmove_clock;
    std::int32_t captured; // piece type taken by the move, or NO_CAPTURE
    std::uint64_t hash;
    std::uint64_t pawn_hash;
    PieceChanges changes;
};

// What castling needs, fixed when the FEN is read (or the mode changes), per right in bit order
// (WK, WQ, BK, BQ). King-side means a rook on a higher file than the king, whatever the files.
struct CastlingSetup {
    Bitboard empty[4]; // squares the king and rook cross or land on, apart from themselves
    Bitboard king_path[4]; // the king's start, path and destination: none may be attacked
    std::uint64_t keys[16]; // the castling part of the key, by rights value
    Move move[4]; // the move word, from the king's square
    std::int32_t rook[4]; // the rook's square
    std::uint8_t keep[SQUARE_NB]; // rights a move from or to the square keeps
};

struct Board {
    Bitboard pieces[PIECE_NB];
    Bitboard occupancy[COLOR_NB];
    Bitboard occupied;
    std::int32_t squares[SQUARE_NB]; // piece code or EMPTY
    std::int32_t side;
    std::int32_t ep_square; // square passed over by a double push, else NO_SQUARE
    std::int32_t castling;
    std::int32_t halfmove_clock;
    std::int32_t fullmove_number;
    std::int32_t undo_count;
    std::uint64_t hash;
    std::uint64_t pawn_hash;
    Score psq_score;
    const PsqTable* psq; // the table psq_score sums; parse_fen chooses PeSTO's
    std::int32_t chess960; // castling words in Chess960 notation, castling rooks on any file
    CastlingSetup castle;
    UndoRecord undo_stack[UNDO_CAPACITY];
};

extern const char START_FEN[];

// Clears the board and reads a FEN. Lenient: only placement characters are checked (false
// on a bad one, with the pieces read so far placed and every other field at its default).
// Castling letters may be KQkq (the outermost rook on that side of the king) or rook files
// (HAha); inner rooks by their file. A right is kept only when its king and rook stand on the
// home rank, the king between its rooks, and in standard chess only for the e-file king and
// corner rooks; a side named twice keeps its outermost rook.
// Reading stops at the end of the text or at the space after the full-move field. Placement
// that runs off the board is dropped, never written outside the 64 squares; counters
// saturate instead of overflowing.
bool parse_fen(Board& board, std::string_view fen, bool chess960 = false);

// Switches the notation of castling words; leaving Chess960 drops the rights standard chess
// does not know.
void set_chess960(Board& board, bool on);

// The `d` command: an ASCII diagram followed by the side, castling, en-passant and key lines.
void print_board(const Board& board);

// Where a castling king and rook land, by colour and side: the king on the g or c file, the rook
// beside it on f or d, whatever files they start from.
constexpr int castling_king_to(int color, bool kingside)
{
    return (color == WHITE ? 0 : 56) + (kingside ? 6 : 2);
}
constexpr int castling_rook_to(int color, bool kingside)
{
    return (color == WHITE ? 0 : 56) + (kingside ? 5 : 3);
}

// Where the king and rook of `color`'s castling move start and land. In Chess960 either may
// already stand on its destination, even on the other's start square.
struct CastlingSquares {
    int king_from, king_to, rook_from, rook_to;
};
inline CastlingSquares castling_squares(const Board& board, int color, Move move)
{
    const bool kingside = move_flags(move) == FLAG_KING_CASTLE;
    return { move_from(move), castling_king_to(color, kingside),
        board.castle.rook[2 * color + (kingside ? 0 : 1)], castling_rook_to(color, kingside) };
}

// Applies a pseudo-legal move of the side to move; no legality test. The caller keeps
// undo_count below UNDO_CAPACITY. The move's piece changes go to its undo record.
void make_move(Board& board, Move move);
// Takes back the move most recently made, which must be `move`.
void unmake_move(Board& board, Move move);

// The search's null move: passes the turn, keeping the undo stack and keys exact.
void make_null_move(Board& board);
void unmake_null_move(Board& board);

// Forgets the oldest `count` history records (a long game's early positions) so that the
// stack keeps room for a search; only ever called between searches.
void drop_oldest_history(Board& board, int count);

// UCI text of a move: "e2e4", "e7e8q"; "0000" for NO_MOVE and NULL_MOVE.
struct MoveText {
    char str[6];
};
MoveText move_to_uci(Move move);

// The running score from scratch, over the board's table.
Score compute_psq_score(const Board& board);
// Makes psq_score the sum over `table` from now on.
void set_psq_table(Board& board, const PsqTable& table);
// Bitboards agree with the mailbox, keys and score with their values from scratch.
bool board_is_consistent(const Board& board);
