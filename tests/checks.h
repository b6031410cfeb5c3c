// checks.h: what the tests and the fuzz targets share: a random game walker, the invariants
// checked on each position it visits, the checker of search output, the Polyglot record
// writer and a run of the real executable. A check returns "" when it holds, else the fault.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "board/board.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "search/move_picker.h"
#include "search/see.h"
#include "movegen/diagnostics.h"
#include "uci/position.h"
#include "uci/text.h"
#include "uci/uci.h"

// The tests' engine, every option at its default; tests that change an option restore it.
inline Engine& test_engine()
{
    static Engine* const engine = [] {
        init_tables();
        Engine* e = new Engine();
        init_engine(*e);
        return e;
    }();
    return *engine;
}

inline Board board_from_fen(std::string_view fen, bool chess960 = false)
{
    test_engine();
    Board board;
    parse_fen(board, fen, chess960);
    return board;
}

inline std::uint64_t xorshift(std::uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// Every position of `games` random legal games of up to `plies` plies, started in turn from
// the perft suite's positions and, every third game, from a Chess960 one (castling rooks on
// other files, an inner rook holding a right). visit(board) may change the board but must
// restore it.
template <typename Visit>
void walk_random_games(std::uint64_t seed, int games, int plies, Visit visit)
{
    static const char* const chess960[]
        = { "nbbnqrkr/pppppppp/8/8/8/8/PPPPPPPP/NBBNQRKR w HFhf - 0 1",
              "bbrnkqrn/pppppppp/8/8/8/8/PPPPPPPP/BBRNKQRN w KQkq - 0 1",
              "1nrnk1qr/p2p3p/1p2p3/3b1p2/Nb1P1PpP/2N1P1P1/PPP5/B1R1KBQR b KQkq f3 0 13",
              "r1qnkrbb/p1ppp1pp/2n5/5pQ1/1p5P/2PP4/PP2PPP1/RN1NKRBB w KQkq - 0 5" };
    for (int game = 0; game < games; ++game) {
        Board board = game % 3 == 2 ? board_from_fen(chess960[game / 3 % 4], true)
                                    : board_from_fen(PERFT_SUITE[game % 6].fen);
        for (int ply = 0; ply <= plies; ++ply) {
            visit(board);
            MoveList legal;
            generate_legal_moves(board, legal);
            if (legal.count == 0)
                break;
            make_move(board, legal.moves[xorshift(seed) % legal.count]);
        }
    }
}

// The whole position and its history, byte for byte up to the top of the undo stack.
inline bool same_board(const Board& a, const Board& b)
{
    return std::memcmp(&a, &b, offsetof(Board, undo_stack)) == 0
        && std::memcmp(a.undo_stack, b.undo_stack, sizeof(UndoRecord) * a.undo_count) == 0;
}

inline std::string fault(const char* what, Move move)
{
    return std::string(what) + " " + move_to_uci(move).str;
}

// Make leaves keys and score equal to their values from scratch; unmake restores everything;
// the legality test answers as "make, then is the mover's king attacked" would.
inline std::string check_make_unmake(Board& board)
{
    const Board before = board;
    const int us       = board.side;
    MoveList list;
    generate_moves(board, list);
    const Bitboard suspects = legality_suspects(board);
    for (int i = 0; i < list.count; ++i) {
        const Move move  = list.moves[i];
        const bool legal = move_is_legal(board, move);
        if (move_is_legal(board, suspects, move) != legal)
            return fault("legality test with suspects disagrees for", move);
        make_move(board, move);
        const bool consistent = board_is_consistent(board);
        const bool king_safe  = board.pieces[make_piece(us, KING)] != 0 && !in_check(board, us);
        unmake_move(board, move);
        if (!consistent)
            return fault("keys or score differ from scratch after", move);
        if (!same_board(board, before))
            return fault("unmake does not restore", move);
        if (legal != king_safe)
            return fault("legality test disagrees with making", move);
    }
    if (!in_check(board, us)) {
        make_null_move(board);
        const bool consistent = board_is_consistent(board);
        unmake_null_move(board);
        if (!consistent || !same_board(board, before))
            return "null move does not restore";
    }
    return "";
}

// A 16-bit word passes as a hash move exactly when the generator would produce it here.
inline std::string check_pseudo_legal(const Board& board, unsigned first_word, unsigned step)
{
    static bool generated[1 << 16];
    MoveList list;
    generate_moves(board, list);
    for (int i = 0; i < list.count; ++i)
        generated[list.moves[i]] = true;
    std::string result;
    for (unsigned word = first_word; word < (1u << 16) && result.empty(); word += step)
        if (is_pseudo_legal(board, static_cast<Move>(word)) != generated[word])
            result = fault("is_pseudo_legal wrong for", static_cast<Move>(word));
    for (int i = 0; i < list.count; ++i) {
        if (result.empty() && !is_pseudo_legal(board, list.moves[i]))
            result = fault("is_pseudo_legal rejects", list.moves[i]);
        generated[list.moves[i]] = false;
    }
    return result;
}

// Where the picker hands a move out: the hash move, captures and promotions that do not lose
// material, quiet moves, then losing captures; in check, quiet promotions come before quiets.
inline int picker_stage(const Board& board, Move move, Move tt_move)
{
    if (move == tt_move)
        return 0;
    const bool tactical = is_capture(move) || is_promotion(move);
    if (!tactical)
        return 3;
    if (!is_capture(move) && in_check(board, board.side))
        return 2;
    return see(board, move) >= 0 ? 1 : 4;
}

// The picker hands out every pseudo-legal move once, in stage order, good captures by
// falling exchange value; a hash move that the generator would not produce, any word at all,
// is never handed out.
inline std::string check_move_picker(const Board& board, Move tt_move)
{
    static bool pending[1 << 16];
    MoveList list;
    generate_moves(board, list);
    for (int i = 0; i < list.count; ++i)
        pending[list.moves[i]] = true;
    static const OrderingTables no_history {};
    MovePicker picker;
    init_move_picker(picker, no_history, in_check(board, board.side), tt_move, 0, EMPTY, 0);
    std::string result;
    int last_stage = 0, last_see = 1 << 30, handed = 0;
    for (Move move; (move = next_move(picker, board, false)) != NO_MOVE && result.empty();) {
        const int stage = picker_stage(board, move, tt_move);
        const int value = stage == 1 ? see(board, move) : 0;
        if (!pending[move])
            result = fault("picker hands out twice or makes up", move);
        else if (stage < last_stage || (stage == 1 && last_stage == 1 && value > last_see))
            result = fault("picker hands out out of order", move);
        pending[move] = false;
        last_stage    = stage;
        last_see      = value;
        ++handed;
    }
    for (int i = 0; i < list.count; ++i) {
        if (result.empty() && pending[list.moves[i]])
            result = fault("picker leaves out", list.moves[i]);
        pending[list.moves[i]] = false;
    }
    return result;
}

// The exchange as a plain minimax: each side takes with its least valuable attacker (lowest
// square among equals) or stops; attackers recomputed from scratch at every step.
inline int exchange_gain(const Board& board, int to, Bitboard occ, int side, int victim)
{
    for (int type = PAWN; type <= KING; ++type)
        for (Bitboard own = board.pieces[make_piece(side, type)] & occ; own;) {
            const int from = pop_lsb(own);
            if (attacks_of(type, from, side, occ) & square_bb(to)) {
                const int rest = exchange_gain(board, to, occ & ~square_bb(from), side ^ 1, type);
                return see_values[victim] - rest > 0 ? see_values[victim] - rest : 0;
            }
        }
    return 0;
}

inline std::string check_see(const Board& board)
{
    MoveList list;
    generate_captures(board, list);
    for (int i = 0; i < list.count; ++i) {
        const Move m       = list.moves[i];
        const int to       = move_to(m);
        const int victim   = move_flags(m) == FLAG_EP_CAPTURE || board.squares[to] == EMPTY
              ? PAWN
              : type_of(board.squares[to]);
        const Bitboard occ = board.occupied & ~square_bb(move_from(m));
        const int expected = see_values[victim]
            - exchange_gain(board, to, occ, board.side ^ 1, type_of(board.squares[move_from(m)]));
        if (see(board, m) != expected)
            return fault("see differs from minimax for", m);
        // The shortcuts answer as the full exchange would.
        for (const int bound : { -500, -100, 0, 1, 100, 350 }) {
            const int from_floor = see_from(board, m, bound);
            if (see_below(board, m, bound) != (expected < bound)
                || (from_floor >= bound) != (expected >= bound)
                || (from_floor >= bound && from_floor != expected))
                return fault("see_below or see_from differs from see for", m);
        }
    }
    return "";
}

// The FEN placement field of 64 squares from a1 to h8, each a piece letter or '1' for empty.
inline std::string placement_fen(const std::string& squares)
{
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (const char c : squares.substr(8 * rank, 8)) {
            if (c != '1' && empty)
                fen += static_cast<char>('0' + empty);
            empty = c == '1' ? empty + 1 : 0;
            if (c != '1')
                fen += c;
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        fen += rank ? "/" : "";
    }
    return fen;
}

// The same position with the ranks flipped and the colours swapped, as FEN text.
inline std::string mirrored_fen(const Board& b)
{
    std::string fen;
    for (int rank = 0; rank < 8; ++rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int piece = b.squares[make_square(file, rank)];
            if (piece != EMPTY && empty)
                fen += static_cast<char>('0' + empty);
            empty = piece == EMPTY ? empty + 1 : 0;
            if (piece != EMPTY)
                fen += "pnbrqkPNBRQK"[piece];
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        fen += rank < 7 ? "/" : "";
    }
    fen += b.side == WHITE ? " b" : " w";
    std::string rights;
    for (const auto& [flag, letter] : { std::pair { CASTLE_BK, 'K' }, std::pair { CASTLE_BQ, 'Q' },
             std::pair { CASTLE_WK, 'k' }, std::pair { CASTLE_WQ, 'q' } })
        if (b.castling & flag)
            rights += letter;
    fen += rights.empty() ? " -" : " " + rights;
    if (b.ep_square == NO_SQUARE)
        fen += " -";
    else
        fen += std::string(" ") + char('a' + file_of(b.ep_square))
            + char('1' + (rank_of(b.ep_square) ^ 7));
    return fen + " " + std::to_string(b.halfmove_clock) + " 1";
}

// Colour does not matter, up to the packed scores' one-point rounding. Applies with one king
// a side, at most one queen a side (only the lowest queen is looked at for checks) and no
// pawn on a back rank.
inline std::string check_mirror_eval(const Board& b, const Network* network = nullptr)
{
    const auto count     = [&](int piece) { return popcount(b.pieces[piece]); };
    const Bitboard pawns = b.pieces[make_piece(WHITE, PAWN)] | b.pieces[make_piece(BLACK, PAWN)];
    if (count(make_piece(WHITE, KING)) != 1 || count(make_piece(BLACK, KING)) != 1
        || count(make_piece(WHITE, QUEEN)) > 1 || count(make_piece(BLACK, QUEEN)) > 1
        || (pawns & (RANK_1_BB | RANK_8_BB)) || b.halfmove_clock < 0)
        return "";
    const std::string text = mirrored_fen(b);
    Board mirror;
    parse_fen(mirror, text);
    set_psq_table(mirror, *b.psq);
    return std::abs(evaluate(mirror, network) - evaluate(b, network)) > 1
        ? "colour changes the evaluation of " + text
        : "";
}

// Lines without control bytes, each ended by "\n"; none longer than an input line may be.
// Bytes from 0x80 up come only from echoed names (a UTF-8 path reads as it was sent).
inline std::string check_output_text(std::string_view text)
{
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && i - line_start > 4095)
            return "output line too long";
        if (c == '\n')
            line_start = i + 1;
        else if (c < 0x20 || c == 0x7f)
            return "control byte in output";
    }
    return line_start == text.size() ? "" : "output does not end with a line end";
}

// The lines long searches add: "info hashfull N" (0..1000), and "info depth D currmove M
// currmovenumber K" with a legal root move, K at most the legal moves, D never falling; ""
// when the line is one of those and sound, "-" when it is neither.
inline std::string check_gui_line(const Board& position, const std::string& line, int& last_depth)
{
    std::istringstream words(line);
    std::string info, word, move;
    int depth = 0, number = 0, full = -1;
    if (line.rfind("info hashfull ", 0) == 0)
        return words >> info >> word >> full && full >= 0 && full <= 1000 && !(words >> word)
            ? ""
            : "bad hashfull line: " + line;
    if (line.find(" currmove ") == std::string::npos)
        return "-";
    Board b = position;
    MoveList legal;
    generate_legal_moves(b, legal);
    if (!(words >> info >> word >> depth >> word >> move >> word >> number)
        || word != "currmovenumber" || uci_to_move(b, move) == NO_MOVE || number < 1
        || number > legal.count || depth < last_depth || (words >> word))
        return "bad currmove line: " + line;
    last_depth = depth;
    return "";
}

// One search's output: info lines whose principal variations are legal in turn, then the
// bestmove line: a legal move, or 0000 exactly when there is none. Depths grow from line to
// line (a line taken over from a helper too) and seldepths never fall; the best move and the
// ponder move are the first two moves of the last depth's first line, unless a weakened engine
// chose among hidden lines.
inline std::string check_search_reply(
    const Board& position, std::string_view text, bool weakened = false)
{
    std::istringstream lines { std::string(text) };
    std::string line, best, first_line;
    int last_line = 0, last_depth = 0, last_seldepth = 0;
    std::uint64_t last_nodes = 0;
    int last_currmove_depth  = 0;
    bool previous_hashfull   = false;
    while (std::getline(lines, line)) {
        if (line.rfind("bestmove ", 0) == 0) {
            best = line.substr(9, line.find(' ', 9) - 9);
            break;
        }
        const std::string gui = check_gui_line(position, line, last_currmove_depth);
        if (gui != "-") {
            if (!gui.empty())
                return gui;
            if (line.rfind("info hashfull ", 0) == 0 && previous_hashfull)
                return "the table's fill told twice in a row: " + line;
            previous_hashfull = line.rfind("info hashfull ", 0) == 0;
            continue;
        }
        previous_hashfull    = false;
        const std::size_t at = line.find(" pv ");
        if (line.rfind("info depth ", 0) != 0 || at == std::string::npos
            || line.find(" score ") == std::string::npos)
            return "unexpected line in a search: " + line;
        // Several lines come numbered from 1 at each depth.
        const std::size_t multipv = line.find(" multipv ");
        const int number = multipv == std::string::npos ? 1 : std::atoi(line.c_str() + multipv + 9);
        if (number != 1 && number != last_line + 1)
            return "lines out of order: " + line;
        last_line = number;
        // nps is the nodes per second of the time shown (0 before the first millisecond).
        const auto field = [&line](const char* name) {
            const std::size_t i = line.find(name);
            return i == std::string::npos
                ? 0
                : std::strtoull(line.c_str() + i + std::strlen(name), nullptr, 10);
        };
        const int depth = static_cast<int>(field(" depth "));
        if (number == 1 ? depth <= last_depth : depth != last_depth)
            return "depth does not grow: " + line;
        if (static_cast<int>(field(" seldepth ")) < last_seldepth)
            return "seldepth fell: " + line;
        last_depth    = depth;
        last_seldepth = static_cast<int>(field(" seldepth "));
        if (number == 1)
            first_line = line.substr(at + 4);
        const std::uint64_t time = field(" time ");
        if (field(" nps ") != (time > 0 ? field(" nodes ") * 1000 / time : 0))
            return "nps does not fit nodes and time: " + line;
        // Win, draw and loss per mille: a whole, certain for a mate.
        if (const std::size_t wdl = line.find(" wdl "); wdl != std::string::npos) {
            int w = -1, d = -1, l = -1;
            std::istringstream(line.substr(wdl + 5)) >> w >> d >> l;
            const std::size_t mate = line.find(" score mate ");
            const int mating = mate == std::string::npos ? 0 : std::atoi(line.c_str() + mate + 12);
            if (w < 0 || d < 0 || l < 0 || w + d + l != 1000 || (mating > 0 && w != 1000)
                || (mating < 0 && l != 1000))
                return "bad wdl: " + line;
        }
        // Counts of every thread, summed: they only grow during a search, and each table hit
        // is a node's, or a root move's when the tables rank the root.
        if (field(" nodes ") < last_nodes)
            return "nodes fell: " + line;
        if (field(" tbhits ") > field(" nodes ") + MAX_MOVES)
            return "more table hits than nodes: " + line;
        last_nodes = field(" nodes ");
        Board b    = position;
        std::istringstream words(line.substr(at + 4));
        for (std::string word; words >> word;) {
            const Move move = uci_to_move(b, word);
            if (move == NO_MOVE || b.undo_count >= UNDO_CAPACITY - 1)
                return "illegal pv move " + word + " in: " + line;
            make_move(b, move);
        }
    }
    const std::string best_line = line;
    const std::size_t ponder_at = best_line.find(" ponder ");
    if (std::getline(lines, line))
        return "output after bestmove: " + line;
    Board b = position;
    MoveList legal;
    generate_legal_moves(b, legal);
    if (best.empty() || (best == "0000" ? legal.count != 0 : uci_to_move(b, best) == NO_MOVE))
        return "bad bestmove '" + best + "'";
    std::istringstream pv(first_line);
    std::string pv_best, pv_ponder;
    pv >> pv_best >> pv_ponder;
    if (!weakened && !first_line.empty() && best != pv_best)
        return "bestmove " + best + " is not the first move of the line " + first_line;
    if (ponder_at != std::string::npos) {
        const std::string ponder = best_line.substr(ponder_at + 8);
        make_move(b, uci_to_move(b, best));
        if (uci_to_move(b, ponder) == NO_MOVE)
            return "bad ponder move after " + best;
        if (!weakened && !first_line.empty() && ponder != pv_ponder)
            return "ponder " + ponder + " is not the second move of the line " + first_line;
    }
    return "";
}

// One 16-byte Polyglot record: key, move word (to, from, promotion), weight, learn.
inline std::string book_record(std::uint64_t key, std::string_view move, int weight)
{
    const int from = (move[0] - 'a') | ((move[1] - '1') << 3);
    const int to   = (move[2] - 'a') | ((move[3] - '1') << 3);
    const int promotion
        = move.size() > 4 ? static_cast<int>(std::string_view("nbrq").find(move[4])) + 1 : 0;
    const std::uint64_t word = static_cast<std::uint64_t>(to | (from << 6) | (promotion << 12));
    std::string record;
    for (int b = 7; b >= 0; --b)
        record += static_cast<char>(key >> (8 * b));
    record += { static_cast<char>(word >> 8), static_cast<char>(word),
        static_cast<char>(weight >> 8), static_cast<char>(weight), 0, 0, 0, 0 };
    return record;
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef VANTOREL_EXE
// One piece of input: `bytes` written, or, when `ends`, the input closed, `wait_ms` after the
// previous piece was written and once `replies` output lines began with the word `reply`.
struct InputStep {
    std::string bytes;
    int wait_ms = 0;
    bool ends   = false;
    std::string reply {};
    int replies = 0;
};

// Times in ms from the start, on a monotonic clock; -1 for a step never sent (the engine was
// gone).
struct EngineRun {
    std::string output;
    std::string errors;
    int exit_status = -1;
    std::vector<double> line_ms; // when each output line was complete
    std::vector<double> step_ms; // when each step was written in whole
    double exit_ms = -1;
};

// Runs the executable with standard error kept apart (for sanitizer reports) and the output
// read as it comes. When no step waits, the input is a file, which the engine reads in whole
// blocks; otherwise a pipe fed step by step. The input closes at the last step.
inline EngineRun run_engine(std::vector<InputStep> steps)
{
    using Clock      = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto now
        = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
    constexpr double LIMIT_MS = 120000;
    std::string all;
    bool waits = false;
    if (steps.empty() || !steps.back().ends)
        steps.push_back({ "", 0, true });
    for (const InputStep& step : steps) {
        all += step.bytes;
        waits = waits || step.wait_ms > 0 || step.replies > 0;
    }
    const bool from_file = !waits;
    EngineRun run;
    run.step_ms.assign(steps.size(), from_file ? 0.0 : -1.0);
    std::FILE* file = from_file ? std::tmpfile() : nullptr;
    int in[2]       = { -1, -1 }, out[2], err[2];
    if (file != nullptr) {
        std::fwrite(all.data(), 1, all.size(), file);
        std::fflush(file);
        std::rewind(file);
        in[0] = fileno(file);
    }
    if ((file == nullptr && (from_file || pipe2(in, O_CLOEXEC) != 0)) || pipe2(out, O_CLOEXEC) != 0
        || pipe2(err, O_CLOEXEC) != 0) {
        run.errors = "cannot set up the engine's input and output";
        return run;
    }
    std::signal(SIGPIPE, SIG_IGN); // the engine may quit before it read everything
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::signal(SIGPIPE, SIG_DFL);
        execl(VANTOREL_EXE, VANTOREL_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    file != nullptr ? std::fclose(file) : close(in[0]);
    close(out[1]);
    close(err[1]);
    int to_engine = in[1];
    if (to_engine >= 0)
        fcntl(to_engine, F_SETFL, O_NONBLOCK);
    std::size_t step = from_file ? steps.size() : 0, written = 0;
    double due = step < steps.size() ? steps[0].wait_ms : 0;
    std::map<std::string, int> replies; // output lines by first word
    bool timed_out = false;
    std::string line;
    pollfd fds[3] = { { out[0], POLLIN, 0 }, { err[0], POLLIN, 0 }, { -1, POLLOUT, 0 } };
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        double t = now();
        if (t > LIMIT_MS && !timed_out) {
            timed_out = true;
            kill(pid, SIGKILL);
        }
        const bool sending = to_engine >= 0 && step < steps.size();
        const bool ready = sending && t >= due && replies[steps[step].reply] >= steps[step].replies;
        if (ready && (steps[step].ends || steps[step].bytes.empty())) {
            if (steps[step].ends) {
                close(to_engine);
                to_engine = -1;
            }
            run.step_ms[step++] = t;
            due                 = step < steps.size() ? t + steps[step].wait_ms : 0;
            continue;
        }
        fds[2].fd         = ready ? to_engine : -1;
        const int timeout = sending && t < due ? static_cast<int>(due - t) + 1 : 100;
        if (poll(fds, 3, timeout) < 0 && errno != EINTR)
            break;
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const std::string& bytes = steps[step].bytes;
            const ssize_t n = write(to_engine, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno != EAGAIN) {
                close(to_engine); // the engine is gone
                to_engine = -1;
            } else if (n > 0 && (written += static_cast<std::size_t>(n)) == bytes.size()) {
                run.step_ms[step++] = t = now();
                written                 = 0;
                due                     = step < steps.size() ? t + steps[step].wait_ms : 0;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            if (i == 1) {
                run.errors.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            run.output.append(buffer, static_cast<std::size_t>(n));
            t = now();
            for (ssize_t k = 0; k < n; ++k) {
                if (buffer[k] != '\n') {
                    line += buffer[k];
                    continue;
                }
                run.line_ms.push_back(t);
                ++replies[line.substr(0, line.find(' '))];
                line.clear();
            }
        }
    }
    if (to_engine >= 0)
        close(to_engine);
    int status = -1;
    waitpid(pid, &status, 0);
    run.exit_ms = now();
    if (!line.empty())
        run.line_ms.push_back(run.exit_ms);
    if (timed_out)
        run.errors += "killed after " + std::to_string(static_cast<int>(LIMIT_MS)) + " ms";
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The input stays open until `searches` bestmove lines came, as a GUI keeps it open, since
// every search ends at the end of input.
inline EngineRun run_engine(const std::string& input, int searches = 0)
{
    return run_engine({ { input }, { "", 0, true, "bestmove", searches } });
}
#endif
