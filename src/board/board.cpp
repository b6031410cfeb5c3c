#include "board/board.h"

#include <cstdio>
#include <cstring>

#include "board/zobrist.h"

const char START_FEN[] = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Rights each square keeps when a move starts or ends on it (e1, a1, h1, e8, a8, h8 clear some).
// clang-format off
static const int castle_mask[SQUARE_NB] = {
    13, 15, 15, 15, 12, 15, 15, 14,
    15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,
    15, 15, 15, 15, 15, 15, 15, 15,
     7, 15, 15, 15,  3, 15, 15, 11,
};
// clang-format on

static const char PIECE_LETTERS[] = "PNBRQKpnbrqk";

static void put_piece(Board& board, int piece, int sq)
{
    const Bitboard bb = square_bb(sq);
    board.pieces[piece] |= bb;
    board.occupancy[color_of(piece)] |= bb;
    board.occupied |= bb;
    board.squares[sq] = piece;
    board.hash ^= zobrist_piece[piece][sq];
    if (type_of(piece) == PAWN)
        board.pawn_hash ^= zobrist_piece[piece][sq];
    board.psq_score += psq_table[piece][sq];
}

// Counters saturate so that no input text can overflow them.
static int accumulate_counter(std::string_view fen, std::size_t& pos)
{
    constexpr long long LIMIT = 1000000000;
    long long value           = 0;
    for (; pos < fen.size() && fen[pos] != ' '; ++pos) {
        value = value * 10 + (fen[pos] - '0'); // any character counts as a digit
        if (value > LIMIT)
            value = LIMIT;
        if (value < -LIMIT)
            value = -LIMIT;
    }
    return static_cast<int>(value);
}

// Castling generation trusts the rights, so keep only those whose king and rook stand at home.
static int supported_castling(const Board& board, int rights)
{
    struct Right {
        int flag, king_sq, rook_sq, king, rook;
    };
    static const Right RIGHTS[4] = {
        { CASTLE_WK, 4, 7, make_piece(WHITE, KING), make_piece(WHITE, ROOK) },
        { CASTLE_WQ, 4, 0, make_piece(WHITE, KING), make_piece(WHITE, ROOK) },
        { CASTLE_BK, 60, 63, make_piece(BLACK, KING), make_piece(BLACK, ROOK) },
        { CASTLE_BQ, 60, 56, make_piece(BLACK, KING), make_piece(BLACK, ROOK) },
    };
    int kept = 0;
    for (const Right& r : RIGHTS)
        if ((rights & r.flag) && board.squares[r.king_sq] == r.king
            && board.squares[r.rook_sq] == r.rook)
            kept |= r.flag;
    return kept;
}

// An en-passant square is kept only where a double push could have left it: on the third
// rank of the side that just moved, empty, with that side's pawn in front of it. Anything
// else would make en-passant captures remove a piece that is not there.
static bool supported_ep_square(const Board& board, int sq)
{
    const int us      = board.side;
    const int them    = us ^ 1;
    const int ep_rank = us == WHITE ? 5 : 2;
    const int pawn_sq = us == WHITE ? sq - 8 : sq + 8;
    const int from_sq = us == WHITE ? sq + 8 : sq - 8;
    return rank_of(sq) == ep_rank && board.squares[sq] == EMPTY && board.squares[from_sq] == EMPTY
        && board.squares[pawn_sq] == make_piece(them, PAWN);
}

static void finish_defaults(Board& board)
{
    board.side            = WHITE;
    board.castling        = 0;
    board.ep_square       = NO_SQUARE;
    board.halfmove_clock  = 0;
    board.fullmove_number = 1;
    board.hash ^= zobrist_castling[0];
}

// Piece placement up to the first space; false at a character that belongs to no placement.
// Placement that runs off the board is dropped.
static bool read_placement(Board& board, std::string_view fen, std::size_t& pos)
{
    int rank_start = 56;
    int file       = 0;
    for (; pos < fen.size() && fen[pos] != ' '; ++pos) {
        const char c = fen[pos];
        if (c == '/') {
            rank_start = rank_start >= 0 ? rank_start - 8 : rank_start;
            file       = 0;
        } else if (c >= '1' && c <= '8') {
            file = file + (c - '0') > 8 ? 8 : file + (c - '0');
        } else if (const char* letter = c ? std::strchr(PIECE_LETTERS, c) : nullptr) {
            if (rank_start >= 0 && file < 8)
                put_piece(board, static_cast<int>(letter - PIECE_LETTERS), rank_start + file);
            file = file < 8 ? file + 1 : 8;
        } else {
            return false;
        }
    }
    return true;
}

// The rights named by the castling field's letters; other characters are skipped.
static int read_castling(std::string_view fen, std::size_t& pos)
{
    int rights = 0;
    for (; pos < fen.size() && fen[pos] != ' '; ++pos) {
        const char* letter = std::strchr("KQkq", fen[pos]);
        if (fen[pos] != '\0' && letter != nullptr)
            rights |= 1 << (letter - "KQkq");
    }
    return rights;
}

// A square of two characters, or "-"; kept only where a double push could have left it.
static void read_en_passant(Board& board, std::string_view fen, std::size_t& pos)
{
    board.ep_square = NO_SQUARE;
    if (pos >= fen.size())
        return;
    if (fen[pos] == '-') {
        ++pos;
        return;
    }
    const int ep_file = fen[pos] - 'a';
    const int ep_rank = pos + 1 < fen.size() ? fen[pos + 1] - '1' : -1;
    if (ep_file >= 0 && ep_file < 8 && ep_rank >= 0 && ep_rank < 8
        && supported_ep_square(board, make_square(ep_file, ep_rank))) {
        board.ep_square = make_square(ep_file, ep_rank);
        board.hash ^= zobrist_ep_file[ep_file];
    }
    pos = pos + 2 < fen.size() ? pos + 2 : fen.size();
}

bool parse_fen(Board& board, std::string_view fen)
{
    std::memset(&board, 0, sizeof board);
    for (auto& sq : board.squares)
        sq = EMPTY;
    std::size_t pos = 0;
    if (!read_placement(board, fen, pos)) {
        finish_defaults(board);
        return false;
    }

    // Each field is preceded by one separator character.
    auto step = [&] {
        if (pos < fen.size())
            ++pos;
    };
    step();
    board.side = (pos < fen.size() && fen[pos] == 'b') ? BLACK : WHITE;
    if (board.side == BLACK)
        board.hash ^= zobrist_side;
    step();
    step();
    board.castling = supported_castling(board, read_castling(fen, pos));
    board.hash ^= zobrist_castling[board.castling];
    step();
    read_en_passant(board, fen, pos);
    step();
    board.halfmove_clock  = accumulate_counter(fen, pos);
    board.fullmove_number = 1;
    step();
    if (pos < fen.size())
        board.fullmove_number = accumulate_counter(fen, pos);
    return true;
}

void print_board(const Board& board)
{
    static const char SQUARE_LETTERS[] = "PNBRQKpnbrqk.";
    std::printf("\n  +---+---+---+---+---+---+---+---+\n");
    for (int rank = 7; rank >= 0; --rank) {
        std::printf("%d |", rank + 1);
        for (int f = 0; f < 8; ++f)
            std::printf(" %c |", SQUARE_LETTERS[board.squares[make_square(f, rank)]]);
        std::printf("\n  +---+---+---+---+---+---+---+---+\n");
    }
    std::printf("    a   b   c   d   e   f   g   h\n");
    std::printf("\nSide: %s\n", board.side == WHITE ? "white" : "black");
    std::printf("Castling: %s%s%s%s\n", (board.castling & CASTLE_WK) ? "K" : "",
        (board.castling & CASTLE_WQ) ? "Q" : "", (board.castling & CASTLE_BK) ? "k" : "",
        (board.castling & CASTLE_BQ) ? "q" : "");
    if (board.ep_square != NO_SQUARE)
        std::printf(
            "EP square: %c%d\n", 'a' + file_of(board.ep_square), rank_of(board.ep_square) + 1);
    std::printf("50-move: %d, Hash: %016llx\n", board.halfmove_clock,
        static_cast<unsigned long long>(board.hash));
}

// Piece placement without key updates: unmake restores the keys from the record.
static void add_piece_quiet(Board& board, int piece, int sq)
{
    const Bitboard bb = square_bb(sq);
    board.pieces[piece] |= bb;
    board.occupancy[color_of(piece)] |= bb;
    board.occupied |= bb;
    board.squares[sq] = piece;
    board.psq_score += psq_table[piece][sq];
}

static void remove_piece_quiet(Board& board, int piece, int sq)
{
    const Bitboard bb = square_bb(sq);
    board.pieces[piece] ^= bb;
    board.occupancy[color_of(piece)] ^= bb;
    board.occupied ^= bb;
    board.squares[sq] = EMPTY;
    board.psq_score -= psq_table[piece][sq];
}

static void move_piece_quiet(Board& board, int piece, int from, int to)
{
    const Bitboard bb = square_bb(from) | square_bb(to);
    board.pieces[piece] ^= bb;
    board.occupancy[color_of(piece)] ^= bb;
    board.occupied ^= bb;
    board.squares[from] = EMPTY;
    board.squares[to]   = piece;
    board.psq_score += psq_table[piece][to] - psq_table[piece][from];
}

static int castle_rook_from(int us, int flags)
{
    return (us == WHITE ? 0 : 56) + (flags == FLAG_KING_CASTLE ? 7 : 0);
}
static int castle_rook_to(int us, int flags)
{
    return (us == WHITE ? 0 : 56) + (flags == FLAG_KING_CASTLE ? 5 : 3);
}

static void push_undo(Board& board, int captured)
{
    assert(board.undo_count < UNDO_CAPACITY);
    UndoRecord& u    = board.undo_stack[board.undo_count];
    u.ep_square      = board.ep_square;
    u.castling       = board.castling;
    u.halfmove_clock = board.halfmove_clock;
    u.captured       = captured;
    u.hash           = board.hash;
    u.pawn_hash      = board.pawn_hash;
}

void make_move(Board& board, Move move)
{
    const int us    = board.side;
    const int them  = us ^ 1;
    const int from  = move_from(move);
    const int to    = move_to(move);
    const int flags = move_flags(move);
    const int piece = board.squares[from];

    push_undo(board, NO_CAPTURE);
    UndoRecord& undo = board.undo_stack[board.undo_count];

    if (board.ep_square != NO_SQUARE) {
        board.hash ^= zobrist_ep_file[file_of(board.ep_square)];
        board.ep_square = NO_SQUARE;
    }
    ++board.halfmove_clock;
    board.hash ^= zobrist_castling[board.castling];

    if (flags & FLAG_CAPTURE) {
        const int victim_sq = flags == FLAG_EP_CAPTURE ? (us == WHITE ? to - 8 : to + 8) : to;
        const int victim    = flags == FLAG_EP_CAPTURE ? make_piece(them, PAWN) : board.squares[to];
        undo.captured       = type_of(victim);
        remove_piece_quiet(board, victim, victim_sq);
        board.hash ^= zobrist_piece[victim][victim_sq];
        if (type_of(victim) == PAWN)
            board.pawn_hash ^= zobrist_piece[victim][victim_sq];
        board.halfmove_clock = 0;
    }

    if (type_of(piece) == PAWN)
        board.halfmove_clock = 0;

    if (flags & FLAG_PROMOTION) {
        const int promoted = make_piece(us, promotion_type(move));
        remove_piece_quiet(board, piece, from);
        board.hash ^= zobrist_piece[piece][from];
        board.pawn_hash ^= zobrist_piece[piece][from];
        add_piece_quiet(board, promoted, to);
        board.hash ^= zobrist_piece[promoted][to];
    } else {
        move_piece_quiet(board, piece, from, to);
        const Bitboard key = zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
        board.hash ^= key;
        if (type_of(piece) == PAWN)
            board.pawn_hash ^= key;
    }

    if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE) {
        const int rook = make_piece(us, ROOK);
        const int rf   = castle_rook_from(us, flags);
        const int rt   = castle_rook_to(us, flags);
        move_piece_quiet(board, rook, rf, rt);
        board.hash ^= zobrist_piece[rook][rf] ^ zobrist_piece[rook][rt];
    } else if (flags == FLAG_DOUBLE_PUSH) {
        board.ep_square = us == WHITE ? from + 8 : from - 8;
        board.hash ^= zobrist_ep_file[file_of(board.ep_square)];
    }

    board.castling &= castle_mask[from] & castle_mask[to];
    board.side = them;
    board.hash ^= zobrist_castling[board.castling] ^ zobrist_side;
    if (us == BLACK)
        ++board.fullmove_number;
    ++board.undo_count;
    assert(board_is_consistent(board));
}

void unmake_move(Board& board, Move move)
{
    const UndoRecord& undo = board.undo_stack[--board.undo_count];
    const int us           = board.side ^ 1;
    const int them         = board.side;
    board.side             = us;
    const int from         = move_from(move);
    const int to           = move_to(move);
    const int flags        = move_flags(move);

    if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE)
        move_piece_quiet(
            board, make_piece(us, ROOK), castle_rook_to(us, flags), castle_rook_from(us, flags));

    if (flags & FLAG_PROMOTION) {
        remove_piece_quiet(board, board.squares[to], to);
        add_piece_quiet(board, make_piece(us, PAWN), from);
    } else {
        move_piece_quiet(board, board.squares[to], to, from);
    }

    if (flags == FLAG_EP_CAPTURE)
        add_piece_quiet(board, make_piece(them, PAWN), us == WHITE ? to - 8 : to + 8);
    else if (flags & FLAG_CAPTURE)
        add_piece_quiet(board, make_piece(them, undo.captured), to);

    board.ep_square      = undo.ep_square;
    board.castling       = undo.castling;
    board.halfmove_clock = undo.halfmove_clock;
    board.hash           = undo.hash;
    board.pawn_hash      = undo.pawn_hash;
    if (us == BLACK)
        --board.fullmove_number;
    assert(board_is_consistent(board));
}

void make_null_move(Board& board)
{
    push_undo(board, NO_CAPTURE);
    if (board.ep_square != NO_SQUARE) {
        board.hash ^= zobrist_ep_file[file_of(board.ep_square)];
        board.ep_square = NO_SQUARE;
    }
    board.hash ^= zobrist_side;
    board.side ^= 1;
    ++board.halfmove_clock;
    ++board.undo_count;
    assert(board_is_consistent(board));
}

void unmake_null_move(Board& board)
{
    const UndoRecord& undo = board.undo_stack[--board.undo_count];
    board.side ^= 1;
    board.ep_square      = undo.ep_square;
    board.castling       = undo.castling;
    board.halfmove_clock = undo.halfmove_clock;
    board.hash           = undo.hash;
    board.pawn_hash      = undo.pawn_hash;
}

void drop_oldest_history(Board& board, int count)
{
    if (count <= 0)
        return;
    if (count > board.undo_count)
        count = board.undo_count;
    std::memmove(board.undo_stack, board.undo_stack + count,
        sizeof(UndoRecord) * static_cast<std::size_t>(board.undo_count - count));
    board.undo_count -= count;
}

MoveText move_to_uci(Move move)
{
    MoveText text {};
    if (move == NO_MOVE || move == NULL_MOVE) {
        std::memcpy(text.str, "0000", 5);
        return text;
    }
    const int from = move_from(move);
    const int to   = move_to(move);
    text.str[0]    = static_cast<char>('a' + file_of(from));
    text.str[1]    = static_cast<char>('1' + rank_of(from));
    text.str[2]    = static_cast<char>('a' + file_of(to));
    text.str[3]    = static_cast<char>('1' + rank_of(to));
    if (is_promotion(move))
        text.str[4] = "nbrq"[move_flags(move) & 3];
    return text;
}

static std::uint64_t compute_hash(const Board& board)
{
    std::uint64_t key = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        if (board.squares[sq] != EMPTY)
            key ^= zobrist_piece[board.squares[sq]][sq];
    key ^= zobrist_castling[board.castling];
    if (board.ep_square != NO_SQUARE)
        key ^= zobrist_ep_file[file_of(board.ep_square)];
    if (board.side == BLACK)
        key ^= zobrist_side;
    return key;
}

static std::uint64_t compute_pawn_hash(const Board& board)
{
    std::uint64_t key = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        if (board.squares[sq] != EMPTY && type_of(board.squares[sq]) == PAWN)
            key ^= zobrist_piece[board.squares[sq]][sq];
    return key;
}

Score compute_psq_score(const Board& board)
{
    Score score = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        if (board.squares[sq] != EMPTY)
            score += psq_table[board.squares[sq]][sq];
    return score;
}

bool board_is_consistent(const Board& board)
{
    Bitboard colors[COLOR_NB] = { 0, 0 };
    for (int piece = 0; piece < PIECE_NB; ++piece) {
        for (int sq = 0; sq < SQUARE_NB; ++sq)
            if (((board.pieces[piece] >> sq) & 1) != (board.squares[sq] == piece))
                return false;
        colors[color_of(piece)] |= board.pieces[piece];
    }
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        if (board.squares[sq] < 0 || board.squares[sq] > EMPTY)
            return false;
    return colors[WHITE] == board.occupancy[WHITE] && colors[BLACK] == board.occupancy[BLACK]
        && (colors[WHITE] | colors[BLACK]) == board.occupied && board.hash == compute_hash(board)
        && board.pawn_hash == compute_pawn_hash(board)
        && board.psq_score == compute_psq_score(board) && board.undo_count >= 0
        && board.undo_count <= UNDO_CAPACITY;
}
