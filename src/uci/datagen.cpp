#include "uci/datagen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "eval/training_data.h"
#include "movegen/movegen.h"
#include "platform/clock.h"
#include "search/tablebase.h"
#include "search/think.h"
#include "search/threads.h"
#include "search/tt.h"
#include "uci/options.h"
#include "uci/text.h"

namespace {

constexpr int MAX_GAME_PLIES       = 400;
constexpr int OPENING_SCORE_LIMIT  = 300;
constexpr int WIN_ADJUDICATION     = 1000;
constexpr int WIN_PLIES            = 4;
constexpr int DRAW_ADJUDICATION    = 10;
constexpr int DRAW_PLIES           = 12;
constexpr int DRAW_ADJUDICATION_AT = 60;

struct DatagenSettings {
    const char* path;
    int games;
    int nodes;
    std::uint64_t seed;
    int random_plies;
};

std::uint64_t next_random(std::uint64_t& state) // splitmix64
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Only bare kings or a single minor piece left: nobody can mate.
bool is_dead_draw(const Board& board)
{
    const Bitboard kings
        = board.pieces[make_piece(WHITE, KING)] | board.pieces[make_piece(BLACK, KING)];
    const Bitboard minors = board.pieces[make_piece(WHITE, KNIGHT)]
        | board.pieces[make_piece(WHITE, BISHOP)] | board.pieces[make_piece(BLACK, KNIGHT)]
        | board.pieces[make_piece(BLACK, BISHOP)];
    return (board.occupied & ~kings & ~minors) == 0 && popcount(minors) <= 1;
}

bool is_threefold(const Board& board)
{
    const int lowest = std::max(board.undo_count - board.halfmove_clock, 0);
    int seen         = 0;
    for (int i = board.undo_count - 2; i >= lowest; i -= 2)
        seen += board.undo_stack[i].hash == board.hash;
    return seen >= 2;
}

bool random_opening(Board& board, std::uint64_t& rng, int plies)
{
    parse_fen(board, START_FEN);
    MoveList moves;
    for (int i = 0; i < plies; ++i) {
        generate_legal_moves(board, moves);
        if (moves.count == 0)
            return false;
        make_move(board, moves.moves[next_random(rng) % static_cast<std::uint64_t>(moves.count)]);
    }
    generate_legal_moves(board, moves);
    return moves.count > 0;
}

struct GameTally {
    long long games, positions, white_wins, black_wins, draws;
};

// Plays one game from `board`; fills records (up to MAX_GAME_PLIES) and returns their count, or
// -1 when the opening is too one-sided to use. `winner` gets WHITE, BLACK or -1 for a draw.
int play_game(Board& board, int nodes, TrainingRecord* records, int& winner)
{
    static int sides[MAX_GAME_PLIES];
    int count      = 0;
    int win_run[2] = {};
    int draw_run   = 0;
    winner         = -1;
    SearchLimits limits {};
    limits.nodes  = nodes;
    limits.silent = true;
    for (int ply = 0;; ++ply) {
        MoveList moves;
        generate_legal_moves(board, moves);
        const bool checked = in_check(board, board.side);
        if (moves.count == 0) {
            winner = checked ? board.side ^ 1 : -1;
            break;
        }
        if (board.halfmove_clock >= 100 || is_threefold(board) || is_dead_draw(board)
            || ply >= MAX_GAME_PLIES)
            break;
        if (tb_largest() > 0 && board.halfmove_clock == 0 && board.castling == 0
            && popcount(board.occupied) <= tb_largest()) {
            const TablebaseResult wdl = tb_probe(board);
            if (wdl != TB_FAILED) {
                winner = wdl == TB_WIN_RESULT ? board.side
                    : wdl == TB_LOSS_RESULT   ? board.side ^ 1
                                              : -1;
                break;
            }
        }
        const SearchResult result = think(board, limits);
        const int score           = result.score;
        if (ply == 0 && std::abs(score) > OPENING_SCORE_LIMIT)
            return -1;
        if (is_decisive(score)) {
            winner = score > 0 ? board.side : board.side ^ 1;
            break;
        }
        const int white_score = board.side == WHITE ? score : -score;
        win_run[WHITE]        = white_score >= WIN_ADJUDICATION ? win_run[WHITE] + 1 : 0;
        win_run[BLACK]        = white_score <= -WIN_ADJUDICATION ? win_run[BLACK] + 1 : 0;
        draw_run              = ply >= DRAW_ADJUDICATION_AT && std::abs(score) <= DRAW_ADJUDICATION
                         ? draw_run + 1
                         : 0;
        if (win_run[WHITE] >= WIN_PLIES || win_run[BLACK] >= WIN_PLIES) {
            winner = win_run[WHITE] >= WIN_PLIES ? WHITE : BLACK;
            break;
        }
        if (draw_run >= DRAW_PLIES)
            break;
        // Quiet positions only: a capture just made or about to be made is a tactic the
        // quiescence search settles, not something a static evaluation should learn.
        const bool after_capture
            = board.undo_count > 0 && board.undo_stack[board.undo_count - 1].captured != NO_CAPTURE;
        if (!checked && !after_capture && is_quiet(result.best_move)
            && pack_training_record(board, score, RESULT_DRAW, records[count]))
            sides[count++] = board.side;
        make_move(board, result.best_move);
    }
    for (int i = 0; i < count; ++i)
        set_training_result(records[i],
            winner < 0               ? RESULT_DRAW
                : winner == sides[i] ? RESULT_WIN
                                     : RESULT_LOSS);
    return count;
}

} // namespace

// "games N", "nodes N" and the like; the option words go to setoption as they are.
static bool read_settings(int argc, char** argv, DatagenSettings& settings, Board& board)
{
    settings = { argv[0], 1000, 5000, 1, 8 };
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view word = argv[i];
        const char* value           = argv[i + 1];
        if (word == "games")
            settings.games = parse_int(value);
        else if (word == "nodes")
            settings.nodes = parse_int(value);
        else if (word == "seed")
            settings.seed = std::strtoull(value, nullptr, 10);
        else if (word == "random")
            settings.random_plies = parse_int(value);
        else if (word == "hash" || word == "style" || word == "evalfile" || word == "syzygy") {
            const char* name = word == "hash" ? "Hash"
                : word == "style"             ? "Style"
                : word == "evalfile"          ? "EvalFile"
                                              : "SyzygyPath";
            setoption_command(std::string("setoption name ") + name + " value " + value, board);
        } else {
            std::fprintf(stderr, "datagen: unknown word %s\n", argv[i]);
            return false;
        }
    }
    return settings.nodes > 0 && settings.random_plies >= 0;
}

int run_datagen(int argc, char** argv)
{
    static Board board;
    DatagenSettings settings;
    if (argc < 1 || argc % 2 == 0 || !read_settings(argc, argv, settings, board)) {
        std::fprintf(stderr,
            "usage: vantorel datagen FILE [games N] [nodes N] [seed N] [random N] "
            "[hash MB] [style S] [evalfile PATH] [syzygy PATHS]\n");
        return 2;
    }
    // A run killed in the middle of a write leaves part of a record: cut it, so that what is
    // appended now stays aligned.
    std::error_code error;
    const auto size = std::filesystem::file_size(settings.path, error);
    if (error) // no file yet
        error.clear();
    else if (size % TRAINING_RECORD_BYTES)
        std::filesystem::resize_file(settings.path, size - size % TRAINING_RECORD_BYTES, error);
    std::FILE* out = std::fopen(settings.path, "ab");
    if (!out || error) {
        std::fprintf(stderr, "datagen: cannot append to %s\n", settings.path);
        return 1;
    }
    static TrainingRecord records[MAX_GAME_PLIES];
    std::uint64_t rng = settings.seed;
    GameTally tally {};
    const std::uint64_t start = now_ms();
    std::uint64_t reported    = start;
    while (tally.games < settings.games) {
        if (!random_opening(board, rng, settings.random_plies + static_cast<int>(tally.games % 2)))
            continue;
        tt_clear();
        clear_search_history();
        int winner      = -1;
        const int count = play_game(board, settings.nodes, records, winner);
        if (count < 0)
            continue;
        if (std::fwrite(records, TRAINING_RECORD_BYTES, static_cast<std::size_t>(count), out)
                != static_cast<std::size_t>(count)
            || std::fflush(out) != 0) {
            std::fprintf(stderr, "datagen: cannot write to %s\n", settings.path);
            std::fclose(out);
            return 1;
        }
        ++tally.games;
        tally.positions += count;
        (winner == WHITE ? tally.white_wins : winner == BLACK ? tally.black_wins : tally.draws)++;
        const std::uint64_t now = now_ms();
        if (now - reported >= 10000 || tally.games == settings.games) {
            reported = now;
            std::fprintf(stderr, "games %lld positions %lld (+%lld =%lld -%lld) %.0f positions/s\n",
                tally.games, tally.positions, tally.white_wins, tally.draws, tally.black_wins,
                1000.0 * static_cast<double>(tally.positions)
                    / static_cast<double>(now - start + 1));
        }
    }
    std::fclose(out);
    return 0;
}

int run_datastats(const char* path)
{
    std::FILE* in = std::fopen(path, "rb");
    if (!in) {
        std::fprintf(stderr, "datastats: cannot read %s\n", path);
        return 1;
    }
    long long records = 0, bad = 0, results[3] = {};
    TrainingRecord record;
    static TrainingPosition position;
    while (std::fread(record.bytes, 1, TRAINING_RECORD_BYTES, in) == TRAINING_RECORD_BYTES) {
        if (!unpack_training_record(record, position)) {
            if (bad++ < 10)
                std::printf("bad record %lld\n", records);
        } else {
            ++results[position.result];
        }
        ++records;
    }
    std::fclose(in);
    std::printf("records %lld, won %lld, drawn %lld, lost %lld, bad %lld\n", records,
        results[RESULT_WIN], results[RESULT_DRAW], results[RESULT_LOSS], bad);
    return bad ? 1 : 0;
}
