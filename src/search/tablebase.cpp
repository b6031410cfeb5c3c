#include "search/tablebase.h"

#include <algorithm>

TablebaseSettings tb_settings = { 1, true, 7 };

#ifndef VANTOREL_SYZYGY

void tb_load(std::string_view) { }
int tb_largest() { return 0; }
int tb_piece_limit() { return 0; }
TablebaseResult tb_probe(const Board&) { return TB_FAILED; }
bool tb_rank_root_moves(const Board&, const Move*, int, int*, int*) { return false; }

#else

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <tbprobe.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "movegen/movegen.h"
#include "search/tablebase_sums.h"

// What a file must start with to be read as a table of its kind.
static const unsigned char WDL_MAGIC[4] = { 0x71, 0xe8, 0x23, 0x5d };
static const unsigned char DTZ_MAGIC[4] = { 0xd7, 0x66, 0x0c, 0xa5 };
constexpr char PATH_SEPARATOR           = ':';
constexpr int SHOWN_NAME_LENGTH         = 200; // longer folder names are cut in messages

// "KRPvKR.rtbw": a king, up to five more pieces, 'v', the same for the other side.
static bool is_table_name(const std::string& name, const char* suffix)
{
    const std::size_t dot = name.size() >= 5 ? name.size() - 5 : 0;
    if (dot == 0 || name.compare(dot, std::string::npos, suffix) != 0)
        return false;
    const std::size_t v = name.find('v');
    if (v == std::string::npos || v > dot || name[0] != 'K' || name[v + 1] != 'K')
        return false;
    for (std::size_t i = 0; i < dot; ++i)
        if (i != v && !std::strchr("KQRBNP", name[i]))
            return false;
    return dot - 1 <= 7;
}

static std::uint32_t file_crc32(int fd)
{
    static unsigned char buffer[1 << 20];
    uLong crc = crc32(0, nullptr, 0);
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        crc = crc32(crc, buffer, static_cast<uInt>(got));
    return static_cast<std::uint32_t>(crc);
}

// A table the library may map. The library trusts every byte (a damaged one can send it
// outside the file), so a table of up to five pieces must match the published one in size
// and CRC-32; larger ones, without a reference here, must be regular files whose size is a
// whole number of 64-byte blocks and the 16-byte checksum, and whose first bytes say their kind.
static bool is_sound_table(
    const std::string& path, const std::string& name, const unsigned char* magic)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const PublishedTable* end       = PUBLISHED_TABLES + PUBLISHED_TABLE_COUNT;
    const PublishedTable* published = std::lower_bound(PUBLISHED_TABLES, end, name,
        [](const PublishedTable& t, const std::string& n) { return n.compare(t.name) > 0; });
    const bool known                = published != end && name == published->name;
    struct stat info;
    unsigned char head[4] = {};
    bool sound = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size % 64 == 16
        && read(fd, head, 4) == 4 && std::memcmp(head, magic, 4) == 0;
    if (sound && known)
        sound = static_cast<std::uint64_t>(info.st_size) == published->size
            && lseek(fd, 0, SEEK_SET) == 0 && file_crc32(fd) == published->crc32;
    close(fd);
    return sound;
}

// The sound tables found, by name: a table in two folders is read from the first.
using TableFiles = std::map<std::string, std::string>;

static void scan_folder(const std::string& folder, TableFiles& tables)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        std::printf("info string Syzygy folder %.*s%s cannot be read\n", SHOWN_NAME_LENGTH,
            folder.c_str(), folder.size() > SHOWN_NAME_LENGTH ? "..." : "");
        return;
    }
    std::vector<std::string> names; // sorted, so that the messages come in a fixed order
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const bool wdl = is_table_name(name, ".rtbw");
        if ((!wdl && !is_table_name(name, ".rtbz")) || tables.count(name))
            continue;
        const std::string path = folder + "/" + name;
        if (is_sound_table(path, name, wdl ? WDL_MAGIC : DTZ_MAGIC))
            tables[name] = path;
        else
            std::printf(
                "info string Syzygy table %s is damaged or unreadable: not used\n", name.c_str());
    }
}

// The library reads every file of its folders that has a table's name, and trusts it (a
// special file can even block it); so it is given a private folder of links to the sound
// tables only, made anew at each load and removed at exit.
static std::string link_folder;

static void remove_link_folder()
{
    if (link_folder.empty())
        return;
    if (DIR* dir = opendir(link_folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                unlink((link_folder + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(link_folder.c_str());
    link_folder.clear();
}

static bool make_link_folder(const TableFiles& tables)
{
    static bool cleanup_registered = false;
    if (!cleanup_registered)
        cleanup_registered = std::atexit(remove_link_folder) == 0;
    const char* tmp     = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantorel-syzygy-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::printf("info string Syzygy tables not loaded: no temporary folder\n");
        return false;
    }
    link_folder = pattern;
    for (const auto& [name, path] : tables) {
        char* target = realpath(path.c_str(), nullptr);
        if (target && symlink(target, (link_folder + "/" + name).c_str()) != 0)
            std::printf("info string Syzygy table %s cannot be linked: not used\n", name.c_str());
        std::free(target);
    }
    return true;
}

// The most pieces of a loaded table. The library's own count (TB_LARGEST) survives an unload.
static int largest_table = 0;

// The library reports every unmapped file on standard error (it tests munmap's result the
// wrong way round); that noise is kept out of the engine's error stream.
static void init_library(const char* path)
{
    std::fflush(stderr);
    const int saved_stderr = dup(STDERR_FILENO);
    const int null_device  = open("/dev/null", O_WRONLY);
    if (saved_stderr >= 0 && null_device >= 0)
        dup2(null_device, STDERR_FILENO);
    tb_init(path);
    if (saved_stderr >= 0 && null_device >= 0)
        dup2(saved_stderr, STDERR_FILENO);
    if (null_device >= 0)
        close(null_device);
    if (saved_stderr >= 0)
        close(saved_stderr);
    largest_table = *path ? static_cast<int>(TB_LARGEST) : 0;
}

void tb_load(std::string_view paths)
{
    init_library("");
    remove_link_folder();
    const std::string text(paths);
    if (text.empty() || text == "<empty>")
        return;
    TableFiles tables;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(PATH_SEPARATOR, start);
        end             = end == std::string::npos ? text.size() : end;
        if (end > start)
            scan_folder(text.substr(start, end - start), tables);
        start = end + 1;
    }
    int wdl = 0;
    for (const auto& table : tables)
        wdl += table.first.ends_with(".rtbw");
    if (!tables.empty() && make_link_folder(tables))
        init_library(link_folder.c_str());
    std::printf("info string Syzygy tables found: %d WDL, %d DTZ, up to %d pieces\n", wdl,
        static_cast<int>(tables.size()) - wdl, largest_table);
    std::fflush(stdout);
}

int tb_largest() { return largest_table; }
int tb_piece_limit() { return std::min(largest_table, tb_settings.probe_limit); }

struct FathomPosition {
    std::uint64_t white, black, kings, queens, rooks, bishops, knights, pawns;
    unsigned ep;
    bool white_to_move;
};

static FathomPosition fathom_position(const Board& b)
{
    auto both = [&b](int type) {
        return b.pieces[make_piece(WHITE, type)] | b.pieces[make_piece(BLACK, type)];
    };
    return { b.occupancy[WHITE], b.occupancy[BLACK], both(KING), both(QUEEN), both(ROOK),
        both(BISHOP), both(KNIGHT), both(PAWN),
        b.ep_square == NO_SQUARE ? 0u : static_cast<unsigned>(b.ep_square), b.side == WHITE };
}

// The library assumes a position that can arise in a game (it aborts on a missing king or a
// king left in check): one king a side, no pawn on the first or last rank, the side that just
// moved not in check, and an en-passant square only behind a pawn that can just have made its
// double push.
static bool is_game_position(const Board& b)
{
    const Bitboard pawns = b.pieces[make_piece(WHITE, PAWN)] | b.pieces[make_piece(BLACK, PAWN)];
    if (popcount(b.pieces[make_piece(WHITE, KING)]) != 1
        || popcount(b.pieces[make_piece(BLACK, KING)]) != 1 || (pawns & (RANK_1_BB | RANK_8_BB))
        || in_check(b, b.side ^ 1))
        return false;
    if (b.ep_square == NO_SQUARE)
        return true;
    const int forward
        = b.side == WHITE ? 8 : -8; // from the passed square to the pushed pawn's start
    const int pushed = b.ep_square - forward;
    return rank_of(b.ep_square) == (b.side == WHITE ? 5 : 2) && b.squares[b.ep_square] == EMPTY
        && b.squares[b.ep_square + forward] == EMPTY
        && b.squares[pushed] == make_piece(b.side ^ 1, PAWN);
}

static bool probeable(const Board& board)
{
    return board.castling == 0 && popcount(board.occupied) <= tb_piece_limit()
        && is_game_position(board);
}

TablebaseResult tb_probe(const Board& board)
{
    if (board.halfmove_clock != 0 || !probeable(board))
        return TB_FAILED;
    const FathomPosition p = fathom_position(board);
    const unsigned wdl     = tb_probe_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops,
            p.knights, p.pawns, 0, 0, p.ep, p.white_to_move);
    switch (wdl) {
    case TB_WIN:
        return TB_WIN_RESULT;
    case TB_CURSED_WIN:
        return tb_settings.rule50 ? TB_DRAW_RESULT : TB_WIN_RESULT;
    case TB_DRAW:
        return TB_DRAW_RESULT;
    case TB_BLESSED_LOSS:
        return tb_settings.rule50 ? TB_DRAW_RESULT : TB_LOSS_RESULT;
    case TB_LOSS:
        return TB_LOSS_RESULT;
    default:
        return TB_FAILED;
    }
}

// Has a position repeated since the last capture or pawn move? Then the ranking asks for the
// fastest progress, since the search may be going round in circles.
static bool has_repeated(const Board& board)
{
    const int lowest = std::max(board.undo_count - board.halfmove_clock, 0);
    for (int i = board.undo_count; i >= lowest + 2; --i) {
        const std::uint64_t key = i == board.undo_count ? board.hash : board.undo_stack[i].hash;
        for (int j = i - 2; j >= lowest; j -= 2)
            if (board.undo_stack[j].hash == key)
                return true;
    }
    return false;
}

static bool same_move(Move move, TbMove tb_move)
{
    const int promotes = TB_MOVE_PROMOTES(tb_move); // 1 queen .. 4 knight, 0 none
    return move_from(move) == static_cast<int>(TB_MOVE_FROM(tb_move))
        && move_to(move) == static_cast<int>(TB_MOVE_TO(tb_move))
        && (is_promotion(move) ? promotion_type(move) == QUEEN + 1 - promotes : promotes == 0);
}

bool tb_rank_root_moves(const Board& board, const Move* moves, int count, int* ranks, int* scores)
{
    if (!probeable(board))
        return false;
    static TbRootMoves root; // large; only the main thread ranks
    const FathomPosition p = fathom_position(board);
    const unsigned clock   = static_cast<unsigned>(std::min(board.halfmove_clock, 100));
    const bool ranked = tb_probe_root_dtz(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops,
                            p.knights, p.pawns, clock, 0, p.ep, p.white_to_move,
                            has_repeated(board), tb_settings.rule50, &root)
        || tb_probe_root_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
            p.pawns, clock, 0, p.ep, p.white_to_move, tb_settings.rule50, &root);
    if (!ranked)
        return false;
    // Ranks at or above `won` keep a win that the fifty-move rule (when it counts) allows.
    const int won = tb_settings.rule50 ? 900 : 1;
    for (int i = 0; i < count; ++i) {
        const TbRootMove* match = nullptr;
        for (unsigned j = 0; j < root.size && !match; ++j)
            if (same_move(moves[i], root.moves[j].move))
                match = &root.moves[j];
        if (!match)
            return false;
        ranks[i]  = match->tbRank;
        scores[i] = match->tbRank >= won ? SCORE_PROVEN_WIN - 1
            : match->tbRank <= -won      ? -(SCORE_PROVEN_WIN - 1)
                                         : 0;
    }
    return true;
}

#endif
