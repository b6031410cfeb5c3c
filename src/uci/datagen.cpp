#include "uci/datagen.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "board/rules.h"
#include "eval/training_data.h"
#include "movegen/movegen.h"
#include "platform/clock.h"
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
constexpr int MAX_DATAGEN_THREADS  = 256;

struct DatagenSettings {
    const char* path;
    int games; // per thread
    int nodes;
    std::uint64_t seed; // thread k's is seed + k
    int random_plies;
    int threads;
};

// What every thread has played, for the progress lines.
struct Tally {
    std::atomic<long long> games, positions, white_wins, black_wins, draws;
};

// One thread's games: its own search threads, table and board; the engine it was given (its
// network, tables and options) is only read.
struct Player {
    const Engine* engine;
    SearchSetup setup;
    ThreadPool pool;
    TranspositionTable tt;
    Board board;
    std::uint64_t rng;
    TrainingRecord records[MAX_GAME_PLIES];
    int sides[MAX_GAME_PLIES];
};

std::uint64_t next_random(std::uint64_t& state) // splitmix64
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z               = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z               = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
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

// The game's end before the next search: WHITE, BLACK or -1 for a draw in `winner`; false while
// it goes on.
bool game_is_over(const Player& p, int ply, int& winner)
{
    const Board& board = p.board;
    MoveList moves;
    generate_legal_moves(board, moves);
    if (moves.count == 0) {
        winner = in_check(board, board.side) ? board.side ^ 1 : -1;
        return true;
    }
    if (board.halfmove_clock >= 100 || is_threefold(board) || is_material_draw(board)
        || ply >= MAX_GAME_PLIES)
        return true;
    const TablebaseResult wdl = tb_probe(board, p.setup.tables);
    if (wdl == TB_FAILED)
        return false;
    winner = wdl == TB_WIN_RESULT ? board.side : wdl == TB_LOSS_RESULT ? board.side ^ 1 : -1;
    return true;
}

// Scores decide the game: one side far ahead for WIN_PLIES plies running, or both close to
// level for DRAW_PLIES plies after DRAW_ADJUDICATION_AT.
struct Adjudication {
    int win_run[2];
    int draw_run;
};

bool adjudicated(Adjudication& a, int ply, int side, int score, int& winner)
{
    const int white_score = side == WHITE ? score : -score;
    a.win_run[WHITE]      = white_score >= WIN_ADJUDICATION ? a.win_run[WHITE] + 1 : 0;
    a.win_run[BLACK]      = white_score <= -WIN_ADJUDICATION ? a.win_run[BLACK] + 1 : 0;
    a.draw_run
        = ply >= DRAW_ADJUDICATION_AT && std::abs(score) <= DRAW_ADJUDICATION ? a.draw_run + 1 : 0;
    if (a.win_run[WHITE] >= WIN_PLIES || a.win_run[BLACK] >= WIN_PLIES) {
        winner = a.win_run[WHITE] >= WIN_PLIES ? WHITE : BLACK;
        return true;
    }
    return a.draw_run >= DRAW_PLIES;
}

// Plays one game from p.board; fills p.records (up to MAX_GAME_PLIES) and returns their count,
// or -1 when the opening is too one-sided to use. `winner` gets WHITE, BLACK or -1 for a draw.
int play_game(Player& p, int nodes, int& winner)
{
    Board& board = p.board;
    int count    = 0;
    Adjudication adjudication {};
    winner = -1;
    SearchLimits limits {};
    limits.nodes = nodes;
    for (int ply = 0; !game_is_over(p, ply, winner); ++ply) {
        const SearchResult result = think(p.pool, p.tt, board, limits, p.setup, {});
        const int score           = result.score;
        if (ply == 0 && std::abs(score) > OPENING_SCORE_LIMIT)
            return -1;
        if (is_decisive(score)) {
            winner = score > 0 ? board.side : board.side ^ 1;
            break;
        }
        if (adjudicated(adjudication, ply, board.side, score, winner))
            break;
        // Quiet positions only: a capture just made or about to be made is a tactic the
        // quiescence search settles, not something a static evaluation should learn.
        const bool after_capture
            = board.undo_count > 0 && board.undo_stack[board.undo_count - 1].captured != NO_CAPTURE;
        if (!in_check(board, board.side) && !after_capture && is_quiet(result.best_move)
            && pack_training_record(board, score, RESULT_DRAW, p.records[count]))
            p.sides[count++] = board.side;
        make_move(board, result.best_move);
    }
    for (int i = 0; i < count; ++i)
        set_training_result(p.records[i],
            winner < 0                 ? RESULT_DRAW
                : winner == p.sides[i] ? RESULT_WIN
                                       : RESULT_LOSS);
    return count;
}

// A run killed in the middle of a write leaves part of a record: cut it, so that what is
// appended now stays aligned.
std::FILE* open_for_append(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) // no file yet
        error.clear();
    else if (size % TRAINING_RECORD_BYTES)
        std::filesystem::resize_file(path, size - size % TRAINING_RECORD_BYTES, error);
    std::FILE* out = std::fopen(path.c_str(), "ab");
    if (out && error) {
        std::fclose(out);
        return nullptr;
    }
    return out;
}

// One thread's run: `games` games from its seed, appended to its file. False when the file
// cannot be written.
bool play_games(Player& p, const DatagenSettings& settings, const std::string& path, Tally& tally)
{
    std::FILE* out = open_for_append(path);
    if (!out) {
        std::fprintf(stderr, "datagen: cannot append to %s\n", path.c_str());
        return false;
    }
    for (int games = 0; games < settings.games;) {
        if (!random_opening(p.board, p.rng, settings.random_plies + games % 2))
            continue;
        tt_clear(p.tt);
        clear_search_history(p.pool);
        int winner      = -1;
        const int count = play_game(p, settings.nodes, winner);
        if (count < 0)
            continue;
        if (std::fwrite(p.records, TRAINING_RECORD_BYTES, static_cast<std::size_t>(count), out)
                != static_cast<std::size_t>(count)
            || std::fflush(out) != 0) {
            std::fprintf(stderr, "datagen: cannot write to %s\n", path.c_str());
            std::fclose(out);
            return false;
        }
        ++games;
        tally.positions += count;
        (winner == WHITE ? tally.white_wins : winner == BLACK ? tally.black_wins : tally.draws)++;
        ++tally.games;
    }
    std::fclose(out);
    return true;
}

void print_tally(const Tally& tally, std::uint64_t start)
{
    const auto elapsed = static_cast<double>(now_ms() - start + 1);
    std::fprintf(stderr, "games %lld positions %lld (+%lld =%lld -%lld) %.0f positions/s\n",
        tally.games.load(), tally.positions.load(), tally.white_wins.load(), tally.draws.load(),
        tally.black_wins.load(), 1000.0 * static_cast<double>(tally.positions.load()) / elapsed);
}

} // namespace

// "games N", "nodes N" and the like; the option words go to the engine as setoption would.
static bool read_settings(int argc, char** argv, DatagenSettings& settings, Engine& engine)
{
    settings = { argv[0], 1000, 5000, 1, 8, 1 };
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
        else if (word == "threads")
            settings.threads = parse_int(value);
        else if (word == "hash" || word == "style" || word == "evalfile" || word == "syzygy") {
            const char* name = word == "hash" ? "Hash"
                : word == "style"             ? "Style"
                : word == "evalfile"          ? "EvalFile"
                                              : "SyzygyPath";
            setoption_command(engine, std::string("setoption name ") + name + " value " + value);
        } else {
            std::fprintf(stderr, "datagen: unknown word %s\n", argv[i]);
            return false;
        }
    }
    return settings.nodes > 0 && settings.random_plies >= 0 && settings.threads >= 1
        && settings.threads <= MAX_DATAGEN_THREADS;
}

int run_datagen(Engine& engine, int argc, char** argv)
{
    DatagenSettings settings;
    if (argc < 1 || argc % 2 == 0 || !read_settings(argc, argv, settings, engine)) {
        std::fprintf(stderr,
            "usage: vantorel datagen FILE [games N] [nodes N] [seed N] [random N] [threads N] "
            "[hash MB] [style S] [evalfile PATH] [syzygy PATHS]\n");
        return 2;
    }
    std::vector<std::unique_ptr<Player>> players;
    for (int k = 0; k < settings.threads; ++k) {
        players.push_back(std::make_unique<Player>());
        Player& p = *players.back();
        p.engine  = &engine;
        p.setup   = search_setup(engine);
        p.rng     = settings.seed + static_cast<std::uint64_t>(k);
        init_pool(p.pool);
        tt_resize(p.tt, option_number(engine, OPTION_HASH));
    }
    Tally tally {};
    std::atomic<int> failed { 0 }, running { settings.threads };
    std::vector<std::thread> threads;
    for (int k = 0; k < settings.threads; ++k) {
        std::string path = settings.path;
        if (settings.threads > 1)
            path.append(1, '.').append(std::to_string(k));
        threads.emplace_back([&, k, path] {
            failed += !play_games(*players[k], settings, path, tally);
            --running;
        });
    }
    const std::uint64_t start = now_ms();
    for (std::uint64_t reported = start; running > 0;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (now_ms() - reported >= 10000) {
            reported = now_ms();
            print_tally(tally, start);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    print_tally(tally, start);
    for (const auto& p : players) {
        free_pool(p->pool);
        tt_free(p->tt);
    }
    return failed ? 1 : 0;
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
    const auto position = std::make_unique<TrainingPosition>();
    while (std::fread(record.bytes, 1, TRAINING_RECORD_BYTES, in) == TRAINING_RECORD_BYTES) {
        if (!unpack_training_record(record, *position)) {
            if (bad++ < 10)
                std::printf("bad record %lld\n", records);
        } else {
            ++results[position->result];
        }
        ++records;
    }
    std::fclose(in);
    std::printf("records %lld, won %lld, drawn %lld, lost %lld, bad %lld\n", records,
        results[RESULT_WIN], results[RESULT_DRAW], results[RESULT_LOSS], bad);
    return bad ? 1 : 0;
}
