#include "uci/uci.h"

#include <climits>
#include <cstdio>
#include <string>

#include "board/zobrist.h"
#include "book/polyglot.h"
#include "eval/eval.h"
#include "eval/psq.h"
#include "movegen/attacks.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "search/move_picker.h"
#include "search/search.h"
#include "search/think.h"
#include "search/tt.h"

void init_engine()
{
    init_attack_tables();
    init_zobrist();
    eval_style = STYLE_PESTO;
    init_eval_tables();
    init_lmr_table();
    tt_resize(64);
    clear_move_ordering();
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

static void new_game(Board& board)
{
    tt_clear();
    tt_generation = 0;
    clear_move_ordering();
    parse_fen(board, START_FEN);
}

SearchLimits parse_go(std::string_view line)
{
    static const std::string_view KEYWORDS[] = { "wtime", "btime", "winc", "binc", "movestogo",
        "movetime", "depth", "nodes", "infinite" };
    SearchLimits limits {};
    std::int32_t* const fields[] = { &limits.wtime, &limits.btime, &limits.winc, &limits.binc,
        &limits.movestogo, &limits.movetime, &limits.depth, &limits.nodes };
    std::size_t pos              = 2;
    while (pos < line.size()) {
        pos = skip_spaces(line, pos);
        for (int k = 0; k < 9; ++k) {
            if (!starts_with(line, pos, KEYWORDS[k]))
                continue;
            pos += KEYWORDS[k].size();
            if (k < 8)
                *fields[k] = parse_int(line.substr(pos));
            else
                limits.infinite = true;
            break;
        }
        // Steps over an unknown word, or over a keyword's number on the next pass.
        while (pos < line.size() && line[pos] != ' ')
            ++pos;
    }
    return limits;
}

void go_command(std::string_view line, Board& board)
{
    const SearchLimits limits = parse_go(line);
    if (own_book && !limits.infinite) {
        const Move move = book_probe(board);
        if (move != NO_MOVE) {
            std::printf("bestmove %s\n", move_to_uci(move).str);
            std::fflush(stdout);
            return;
        }
    }
    think(board, limits);
}

void setoption_command(std::string_view line, Board& board)
{
    const std::size_t name_at  = line.find("name");
    const std::size_t value_at = line.find("value");
    if (name_at == std::string_view::npos)
        return;
    const std::string_view name      = line.substr(skip_spaces(line, name_at + 4));
    const bool has_value             = value_at != std::string_view::npos;
    const std::string_view raw_value = has_value ? line.substr(value_at + 5) : std::string_view();
    const std::string_view value     = raw_value.substr(skip_spaces(raw_value, 0));

    if (has_value && name.starts_with("Hash")) {
        const int megabytes = parse_int(raw_value);
        tt_resize(megabytes < 1 ? 1 : megabytes > 2048 ? 2048 : megabytes);
    } else if (has_value && name.starts_with("OwnBook")) {
        own_book = value.starts_with("true");
    } else if (has_value && name.starts_with("BookFile")) {
        load_book(std::string(value).c_str());
    } else if (has_value && name.starts_with("Style")) {
        eval_style = value.starts_with("Linear") ? STYLE_LINEAR : STYLE_PESTO;
        init_eval_tables();
        // The game board's running score must come from the table its moves will update.
        board.psq_score = compute_psq_score(board);
    }
}

static const char* const BENCH_FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
};

void run_bench(int depth)
{
    depth                     = depth > MAX_SEARCH_DEPTH ? MAX_SEARCH_DEPTH : depth;
    const std::uint64_t start = now_ms();
    std::uint64_t total       = 0;
    for (const char* fen : BENCH_FENS) {
        static Board board;
        parse_fen(board, fen);
        clear_move_ordering();
        tt_clear();
        tt_generation = 0;
        SearchLimits limits {};
        limits.depth = depth;
        think(board, limits);
        total += node_count;
    }
    const auto elapsed = static_cast<long long>(now_ms() - start);
    const unsigned long long nps
        = elapsed > 0 ? total * 1000 / static_cast<std::uint64_t>(elapsed) : 0;
    std::printf("\n=== Bench ===\n");
    std::printf("Depth   : %d\n", depth);
    std::printf("Nodes   : %llu\n", static_cast<unsigned long long>(total));
    std::printf("Time    : %lld ms\n", elapsed);
    std::printf("NPS     : %llu\n", nps);
    std::fflush(stdout);
}

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
    } else if (starts_with(line, 0, "go")) {
        go_command(line, board);
    } else if (line == "stop") {
        stop_flag = 1;
    } else if (starts_with(line, 0, "setoption")) {
        setoption_command(line, board);
    } else if (line == "d") {
        print_board(board);
    } else if (line == "perfttest") {
        run_perft_suite();
    } else if (starts_with(line, 0, "perft")) {
        int depth = parse_int(line.substr(5));
        depth     = depth < 1 ? 1 : depth > MAX_PERFT_DEPTH ? MAX_PERFT_DEPTH : depth;
        perft_divide(board, static_cast<unsigned>(depth));
    } else if (starts_with(line, 0, "bench")) {
        const int depth = parse_int(line.substr(5));
        run_bench(depth < 1 ? 10 : depth);
    } else if (line == "eval") {
        eval_trace(board);
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
