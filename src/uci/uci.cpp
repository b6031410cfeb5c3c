#include "uci/uci.h"

#include <climits>
#include <cstdio>
#include <string>

#include "board/zobrist.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "platform/input.h"

void init_engine()
{
    init_attack_tables();
    init_zobrist();
}

int parse_int(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        if (value <= INT_MAX)
            value = value * 10 + (text[pos] - '0');
    value = negative ? -value : value;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

static std::size_t skip_spaces(std::string_view line, std::size_t pos)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    return pos;
}

static bool starts_with(std::string_view text, std::size_t pos, std::string_view word)
{
    return pos <= text.size() && text.substr(pos, word.size()) == word;
}

Move uci_to_move(Board& board, std::string_view token)
{
    token = token.substr(0, token.find(' '));
    if (token.size() < 4)
        return NO_MOVE;
    MoveList list;
    generate_legal_moves(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move move     = list.moves[i];
        const MoveText text = move_to_uci(move);
        if (token.substr(0, 4) != std::string_view(text.str, 4))
            continue;
        if (is_promotion(move) ? token.size() >= 5 && token[4] == text.str[4] : token.size() == 4)
            return move;
    }
    return NO_MOVE;
}

// Keeps room on the undo stack for a search, however long the game.
static void make_game_move(Board& board, Move move)
{
    if (board.undo_count >= GAME_HISTORY_LIMIT)
        drop_oldest_history(board, 256);
    make_move(board, move);
}

void position_command(std::string_view line, Board& board)
{
    std::size_t pos = skip_spaces(line, 8);
    if (starts_with(line, pos, "startpos")) {
        parse_fen(board, START_FEN);
        pos += 8;
    } else if (starts_with(line, pos, "fen")) {
        pos = skip_spaces(line, pos + 3);
        // A FEN never contains "moves", so it ends there even when fields are missing.
        const std::size_t moves_at = line.find("moves", pos);
        parse_fen(board,
            line.substr(pos, moves_at == std::string_view::npos ? line.npos : moves_at - pos));
    } else {
        return;
    }
    const std::size_t moves_at = line.find("moves", pos);
    if (moves_at == std::string_view::npos)
        return;
    pos = skip_spaces(line, moves_at + 5);
    while (pos < line.size()) {
        const std::string_view token = line.substr(pos, line.find(' ', pos) - pos);
        const Move move              = uci_to_move(board, token);
        if (move != NO_MOVE)
            make_game_move(board, move);
        pos = skip_spaces(line, pos + token.size());
    }
}

void dupcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int duplicates = 0;
    for (int i = 0; i < list.count; ++i)
        for (int j = i + 1; j < list.count; ++j)
            if (list.moves[i] == list.moves[j]) {
                std::printf(
                    "DUPLICATE: %s (indices %d and %d)\n", move_to_uci(list.moves[i]).str, i, j);
                ++duplicates;
            }
    std::printf("Total pseudo-legal: %d, Duplicates: %d\n", list.count, duplicates);
    std::fflush(stdout);
}

// Cross-checks move_is_legal against an attacker count made piece kind by piece kind.
void illegalcheck(Board& board)
{
    MoveList list;
    generate_moves(board, list);
    int findings = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        if (!move_is_legal(board, move))
            continue;
        make_move(board, move);
        const int us          = board.side ^ 1;
        const int them        = board.side;
        const int k           = lsb(board.pieces[make_piece(us, KING)]);
        const Bitboard occ    = board.occupied;
        const Bitboard* enemy = board.pieces + them * 6;
        const bool pawn       = pawn_attacks[us][k] & enemy[PAWN];
        const bool knight     = knight_attacks[k] & enemy[KNIGHT];
        const bool king       = king_attacks[k] & enemy[KING];
        const bool diag       = bishop_attacks(k, occ) & (enemy[BISHOP] | enemy[QUEEN]);
        const bool orth       = rook_attacks(k, occ) & (enemy[ROOK] | enemy[QUEEN]);
        unmake_move(board, move);
        if (pawn || knight || king || diag || orth) {
            std::printf("ILLEGAL (king in check): %s  pawn=%d knight=%d king=%d diag=%d orth=%d\n",
                move_to_uci(move).str, pawn, knight, king, diag, orth);
            ++findings;
        }
    }
    if (findings == 0)
        std::printf("No illegal moves found among move_is_legal=true set.\n");
    std::fflush(stdout);
}

static void print_uci_identity()
{
    std::printf("id name Vantorel\n");
    std::printf("id author You\n");
    std::printf("option name Hash type spin default 64 min 1 max 2048\n");
    std::printf("option name Threads type spin default 1 min 1 max 1\n");
    std::printf("option name OwnBook type check default false\n");
    std::printf("option name BookFile type string default champions.bin\n");
    std::printf("option name Style type combo default PeSTO var PeSTO var Linear\n");
    std::printf("uciok\n");
    std::fflush(stdout);
}

static void new_game(Board& board) { parse_fen(board, START_FEN); }

void execute_command(std::string_view line, Board& board)
{
    if (line == "uci") {
        print_uci_identity();
    } else if (line == "isready") {
        std::printf("readyok\n");
        std::fflush(stdout);
    } else if (line == "ucinewgame") {
        new_game(board);
    } else if (starts_with(line, 0, "position")) {
        position_command(line, board);
    } else if (line == "d") {
        print_board(board);
    } else if (line == "perfttest") {
        run_perft_suite();
    } else if (starts_with(line, 0, "perft")) {
        int depth = parse_int(line.substr(5));
        depth     = depth < 1 ? 1 : depth > MAX_PERFT_DEPTH ? MAX_PERFT_DEPTH : depth;
        perft_divide(board, static_cast<unsigned>(depth));
    } else if (line == "dupcheck") {
        dupcheck(board);
    } else if (line == "illegalcheck") {
        illegalcheck(board);
    }
}

void uci_loop()
{
    static Board board;
    parse_fen(board, START_FEN);
    start_input_reader();
    std::string line;
    while (read_line(line)) {
        if (line == "quit")
            break;
        execute_command(line, board);
    }
}
