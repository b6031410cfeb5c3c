#include "board/board.h"

#include <cstdio>
#include <cstring>

#include "board/zobrist.h"

const char START_FEN[] = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

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
    board.psq_score += board.psq->entries[piece][sq];
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

// The castling part of the key from the tables; a corner rook adds nothing, so standard
// positions keep the keys they always had.
static std::uint64_t castling_key(int rights, const std::int32_t rook[4])
{
    std::uint64_t key = zobrist_castling[rights];
    for (int i = 0; i < 4; ++i)
        if ((rights >> i & 1) && file_of(rook[i]) != (i % 2 == 0 ? 7 : 0))
            key ^= zobrist_castling_file[i][file_of(rook[i])];
    return key;
}

// Squares of one rank from a to b, both included.
static Bitboard rank_span(int a, int b)
{
    const int lo = a < b ? a : b, hi = a < b ? b : a;
    return (square_bb(hi) - square_bb(lo)) | square_bb(hi);
}

// Everything CastlingSetup holds, from the rights and their rooks; each right's king stands on
// king_sq[colour].
static void set_up_castling(Board& board, const int king_sq[COLOR_NB])
{
    CastlingSetup& c = board.castle;
    for (auto& keep : c.keep)
        keep = 15;
    for (int i = 0; i < 4; ++i) {
        c.empty[i] = c.king_path[i] = 0;
        c.move[i]                   = NO_MOVE;
        if (!(board.castling >> i & 1)) {
            c.rook[i] = NO_SQUARE;
            continue;
        }
        const int color     = i / 2;
        const bool kingside = i % 2 == 0;
        const int king      = king_sq[color];
        const int rook      = c.rook[i];
        const int king_to   = castling_king_to(color, kingside);
        const int rook_to   = castling_rook_to(color, kingside);
        c.king_path[i]      = rank_span(king, king_to);
        c.empty[i]
            = (c.king_path[i] | rank_span(rook, rook_to)) & ~square_bb(king) & ~square_bb(rook);
        c.move[i] = make_move_word(
            king, board.chess960 ? rook : king_to, kingside ? FLAG_KING_CASTLE : FLAG_QUEEN_CASTLE);
        c.keep[king] &= static_cast<std::uint8_t>(~(3 << (2 * color)));
        c.keep[rook] &= static_cast<std::uint8_t>(~(1 << i));
    }
    for (int rights = 0; rights < 16; ++rights)
        c.keys[rights] = castling_key(rights, c.rook);
}

static const int NO_KINGS[COLOR_NB] = { NO_SQUARE, NO_SQUARE };

static void finish_defaults(Board& board)
{
    board.side            = WHITE;
    board.castling        = 0;
    board.ep_square       = NO_SQUARE;
    board.halfmove_clock  = 0;
    board.fullmove_number = 1;
    set_up_castling(board, NO_KINGS);
    board.hash ^= board.castle.keys[0];
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

// The king a colour castles with: in standard chess the one on e1/e8, in Chess960 the only
// one on its home rank.
static int castling_king(const Board& board, int color)
{
    const int base       = color == WHITE ? 0 : 56;
    const Bitboard kings = board.pieces[make_piece(color, KING)] & rank_bb(rank_of(base));
    if (!board.chess960)
        return kings & square_bb(base + 4) ? base + 4 : NO_SQUARE;
    return kings && !more_than_one(kings) ? lsb(kings) : NO_SQUARE;
}

// The rook a castling letter names, or NO_SQUARE: K and Q the outermost rook on that side of
// the king, a file letter the rook on that file.
static int castling_rook(const Board& board, char letter, int color, int king)
{
    const int base       = color == WHITE ? 0 : 56;
    const Bitboard rooks = board.pieces[make_piece(color, ROOK)] & rank_bb(rank_of(base));
    const Bitboard below = square_bb(king) - 1;
    const Bitboard above = ~below & ~square_bb(king);
    letter               = static_cast<char>(letter | 0x20); // either colour's letters
    if (letter == 'k')
        return rooks & above ? msb(rooks & above) : NO_SQUARE;
    if (letter == 'q')
        return rooks & below ? lsb(rooks & below) : NO_SQUARE;
    if (letter >= 'a' && letter <= 'h' && (rooks & square_bb(base + letter - 'a')))
        return base + letter - 'a';
    return NO_SQUARE;
}

// The rights the castling field's letters name and the pieces support; other characters are
// skipped.
static void read_castling(Board& board, std::string_view fen, std::size_t& pos)
{
    const int king_sq[COLOR_NB] = { castling_king(board, WHITE), castling_king(board, BLACK) };
    for (; pos < fen.size() && fen[pos] != ' '; ++pos) {
        const char c    = fen[pos];
        const int color = c >= 'A' && c <= 'Z' ? WHITE : BLACK;
        const int king  = king_sq[color];
        const int rook  = king == NO_SQUARE ? NO_SQUARE : castling_rook(board, c, color, king);
        if (rook == NO_SQUARE)
            continue;
        const bool kingside = rook > king;
        if (!board.chess960 && file_of(rook) != (kingside ? 7 : 0))
            continue;
        const int i      = 2 * color + (kingside ? 0 : 1);
        int& held        = board.castle.rook[i];
        const bool outer = !(board.castling >> i & 1) || (kingside ? rook > held : rook < held);
        if (outer)
            held = rook;
        board.castling |= 1 << i;
    }
    set_up_castling(board, king_sq);
}

void set_chess960(Board& board, bool on)
{
    const int old_rights        = board.castling;
    const std::uint64_t old_key = board.castle.keys[old_rights];
    board.chess960              = on;
    int king_sq[COLOR_NB]       = { NO_SQUARE, NO_SQUARE };
    for (int i = 0; i < 4; ++i) {
        if (!(old_rights >> i & 1))
            continue;
        const int king = move_from(board.castle.move[i]);
        const int base = i < 2 ? 0 : 56;
        king_sq[i / 2] = king;
        if (!on && (king != base + 4 || file_of(board.castle.rook[i]) != (i % 2 == 0 ? 7 : 0)))
            board.castling &= ~(1 << i);
    }
    set_up_castling(board, king_sq);
    board.hash ^= old_key ^ board.castle.keys[board.castling];
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
    pos = std::min(pos + 2, fen.size());
}

bool parse_fen(Board& board, std::string_view fen, bool chess960)
{
    std::memset(&board, 0, sizeof board);
    for (auto& sq : board.squares)
        sq = EMPTY;
    board.psq       = &psq_tables[PSQ_PESTO];
    board.chess960  = chess960;
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
    read_castling(board, fen, pos);
    board.hash ^= board.castle.keys[board.castling];
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

// X-FEN letters: K and Q for the outermost rook on that side, the file for an inner one.
struct CastlingText {
    char str[5];
};
static CastlingText castling_text(const Board& board)
{
    CastlingText text {};
    int length = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(board.castling >> i & 1))
            continue;
        const int color      = i / 2;
        const int rook       = board.castle.rook[i];
        const Bitboard rooks = board.pieces[make_piece(color, ROOK)] & rank_bb(rank_of(rook));
        const Bitboard beyond
            = i % 2 == 0 ? rooks & ~(square_bb(rook) * 2 - 1) : rooks & (square_bb(rook) - 1);
        const char letter  = beyond ? static_cast<char>('a' + file_of(rook)) : "kq"[i % 2];
        text.str[length++] = color == WHITE ? static_cast<char>(letter - 32) : letter;
    }
    return text;
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
    std::printf("Castling: %s\n", castling_text(board).str);
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
    board.psq_score += board.psq->entries[piece][sq];
}

static void remove_piece_quiet(Board& board, int piece, int sq)
{
    const Bitboard bb = square_bb(sq);
    board.pieces[piece] ^= bb;
    board.occupancy[color_of(piece)] ^= bb;
    board.occupied ^= bb;
    board.squares[sq] = EMPTY;
    board.psq_score -= board.psq->entries[piece][sq];
}

static void move_piece_quiet(Board& board, int piece, int from, int to)
{
    const Bitboard bb = square_bb(from) | square_bb(to);
    board.pieces[piece] ^= bb;
    board.occupancy[color_of(piece)] ^= bb;
    board.occupied ^= bb;
    board.squares[from] = EMPTY;
    board.squares[to]   = piece;
    board.psq_score += board.psq->entries[piece][to] - board.psq->entries[piece][from];
}

static void push_undo(Board& board, int captured)
{
    assert(board.undo_count < UNDO_CAPACITY);
    UndoRecord& u           = board.undo_stack[board.undo_count];
    u.ep_square             = board.ep_square;
    u.castling              = board.castling;
    u.halfmove_clock        = board.halfmove_clock;
    u.captured              = captured;
    u.hash                  = board.hash;
    u.pawn_hash             = board.pawn_hash;
    u.changes.removed_count = u.changes.added_count = 0;
}

static std::uint16_t piece_code(int piece, int sq)
{
    return static_cast<std::uint16_t>(piece * 64 + sq);
}

static void note_removed(UndoRecord& undo, int piece, int sq)
{
    undo.changes.removed[undo.changes.removed_count++] = piece_code(piece, sq);
}

static void note_added(UndoRecord& undo, int piece, int sq)
{
    undo.changes.added[undo.changes.added_count++] = piece_code(piece, sq);
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
    board.hash ^= board.castle.keys[board.castling];

    if (flags & FLAG_CAPTURE) {
        const int victim_sq = flags == FLAG_EP_CAPTURE ? (us == WHITE ? to - 8 : to + 8) : to;
        const int victim    = flags == FLAG_EP_CAPTURE ? make_piece(them, PAWN) : board.squares[to];
        undo.captured       = type_of(victim);
        note_removed(undo, victim, victim_sq);
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
        note_removed(undo, piece, from);
        note_added(undo, promoted, to);
        remove_piece_quiet(board, piece, from);
        board.hash ^= zobrist_piece[piece][from];
        board.pawn_hash ^= zobrist_piece[piece][from];
        add_piece_quiet(board, promoted, to);
        board.hash ^= zobrist_piece[promoted][to];
    } else if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE) {
        // Both leave the board before both land: either may land where the other stood.
        const CastlingSquares c = castling_squares(board, us, move);
        const int rook          = make_piece(us, ROOK);
        note_removed(undo, piece, c.king_from);
        note_removed(undo, rook, c.rook_from);
        note_added(undo, piece, c.king_to);
        note_added(undo, rook, c.rook_to);
        remove_piece_quiet(board, piece, c.king_from);
        remove_piece_quiet(board, rook, c.rook_from);
        add_piece_quiet(board, piece, c.king_to);
        add_piece_quiet(board, rook, c.rook_to);
        board.hash ^= zobrist_piece[piece][c.king_from] ^ zobrist_piece[piece][c.king_to]
            ^ zobrist_piece[rook][c.rook_from] ^ zobrist_piece[rook][c.rook_to];
    } else {
        note_removed(undo, piece, from);
        note_added(undo, piece, to);
        move_piece_quiet(board, piece, from, to);
        const Bitboard key = zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
        board.hash ^= key;
        if (type_of(piece) == PAWN)
            board.pawn_hash ^= key;
    }

    if (flags == FLAG_DOUBLE_PUSH) {
        board.ep_square = us == WHITE ? from + 8 : from - 8;
        board.hash ^= zobrist_ep_file[file_of(board.ep_square)];
    }

    board.castling &= board.castle.keep[from] & board.castle.keep[to];
    board.side = them;
    board.hash ^= board.castle.keys[board.castling] ^ zobrist_side;
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

    if (flags & FLAG_PROMOTION) {
        remove_piece_quiet(board, board.squares[to], to);
        add_piece_quiet(board, make_piece(us, PAWN), from);
    } else if (flags == FLAG_KING_CASTLE || flags == FLAG_QUEEN_CASTLE) {
        const CastlingSquares c = castling_squares(board, us, move);
        const int king          = make_piece(us, KING);
        const int rook          = make_piece(us, ROOK);
        remove_piece_quiet(board, king, c.king_to);
        remove_piece_quiet(board, rook, c.rook_to);
        add_piece_quiet(board, king, c.king_from);
        add_piece_quiet(board, rook, c.rook_from);
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
    key ^= castling_key(board.castling, board.castle.rook);
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

void set_psq_table(Board& board, const PsqTable& table)
{
    board.psq       = &table;
    board.psq_score = compute_psq_score(board);
}

Score compute_psq_score(const Board& board)
{
    Score score = 0;
    for (int sq = 0; sq < SQUARE_NB; ++sq)
        if (board.squares[sq] != EMPTY)
            score += board.psq->entries[board.squares[sq]][sq];
    return score;
}

// Every right's king and rook still stand where castling will take them from.
static bool castling_pieces_at_home(const Board& board)
{
    for (int i = 0; i < 4; ++i) {
        const int king = move_from(board.castle.move[i]);
        const int rook = board.castle.rook[i];
        if ((board.castling >> i & 1)
            && (rook < 0 || rook >= SQUARE_NB || board.squares[king] != make_piece(i / 2, KING)
                || board.squares[rook] != make_piece(i / 2, ROOK)))
            return false;
    }
    return true;
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
        && board.psq_score == compute_psq_score(board) && castling_pieces_at_home(board)
        && board.undo_count >= 0 && board.undo_count <= UNDO_CAPACITY;
}
