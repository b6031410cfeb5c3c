#include "tablebase/tablebase.h"

#include <algorithm>

#ifndef VANTOREL_SYZYGY

void tb_load(Tablebases&, std::string_view) { }
void tb_free(Tablebases&) { }
TablebaseResult tb_probe(const Board&, const TablebaseSettings&) { return TB_FAILED; }
bool tb_rank_root_moves(const Board&, const TablebaseSettings&, const Move*, int, int*, int*)
{
    return false;
}

#else

#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <tbprobe.h>
#include <unistd.h>

#include "board/rules.h"
#include "movegen/movegen.h"
#include "tablebase/files.h"

#ifdef _WIN32
constexpr const char* NULL_DEVICE = "NUL";
#else
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

// The library reports every unmapped file on standard error (on Linux it tests munmap's result
// the wrong way round); that noise is kept out of the engine's error stream.
// Returns the most pieces of a loaded table (the library's own count survives an unload).
static int init_library(const char* path)
{
    std::fflush(stderr);
    const int saved_stderr = dup(STDERR_FILENO);
    const int null_device  = open(NULL_DEVICE, O_WRONLY);
    if (saved_stderr >= 0 && null_device >= 0)
        dup2(null_device, STDERR_FILENO);
    tb_init(path);
    if (saved_stderr >= 0 && null_device >= 0)
        dup2(saved_stderr, STDERR_FILENO);
    if (null_device >= 0)
        close(null_device);
    if (saved_stderr >= 0)
        close(saved_stderr);
    return *path ? static_cast<int>(TB_LARGEST) : 0;
}

void tb_free(Tablebases& tables)
{
    if (!tables.link_folder.empty())
        tables.largest = init_library("");
    remove_link_folder(tables.link_folder);
}

static void use_every_table(const std::map<std::string, std::string>& tables);

void tb_load(Tablebases& tables, std::string_view paths)
{
    tables.largest = init_library("");
    remove_link_folder(tables.link_folder);
    if (paths.empty() || paths == "<empty>")
        return;
    const TableFiles files = find_table_files(paths);
    int wdl                = 0;
    for (const auto& file : files.paths)
        wdl += file.first.ends_with(".rtbw");
    std::string library_paths;
    if (!files.paths.empty())
        tables.link_folder = make_link_folder(files, library_paths);
    if (!tables.link_folder.empty()) {
        tables.largest = init_library(library_paths.c_str());
        use_every_table(files.paths);
    }
    std::printf("info string Syzygy tables found: %d WDL, %d DTZ, up to %d pieces\n", wdl,
        static_cast<int>(files.paths.size()) - wdl, tables.largest);
    std::fflush(stdout);
}

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

// A position of a table's material ("KQRvKR"), White to move: the kings in far corners, White's
// pieces on its first two ranks and Black's on its last two, where White cannot reach the
// black king. False for a name that is no table of at most six pieces a side.
static bool table_position(const std::string& name, Board& board)
{
    static const int WHITE_SQUARES[] = { 1, 2, 3, 4, 5, 9, 10, 11, 12, 13 };
    static const int BLACK_SQUARES[] = { 62, 61, 60, 59, 58, 54, 53, 52, 51, 50 };
    std::string squares(64, '1');
    squares[0]          = 'K';
    squares[63]         = 'k';
    const std::size_t v = name.find('v');
    if (v == std::string::npos)
        return false;
    for (int side = 0; side < 2; ++side) {
        const std::string pieces
            = side == 0 ? name.substr(1, v - 1) : name.substr(v + 2, name.find('.') - v - 2);
        const int* order = side == 0 ? WHITE_SQUARES : BLACK_SQUARES;
        int pawns = 0, others = 0; // pawns on the second (seventh) rank, the rest behind them
        for (const char piece : pieces) {
            if ((piece == 'P' ? pawns : others) >= 5 || !std::strchr("QRBNP", piece))
                return false;
            squares[piece == 'P' ? order[5 + pawns++] : order[others++]]
                = side == 0 ? piece : static_cast<char>(piece + 32);
        }
    }
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        fen += squares.substr(8 * rank, 8);
        fen += rank ? "/" : " w - - 0 1";
    }
    return parse_fen(board, fen) && !in_check(board, BLACK);
}

// Debian builds the library without its lock, which guards a table's first use: every table is
// used once here, on one thread, so that no search thread ever does so at the same time as
// another.
static void use_every_table(const std::map<std::string, std::string>& tables)
{
    const auto board = std::make_unique<Board>();
    for (const auto& [name, path] : tables) {
        if (!table_position(name, *board))
            continue;
        const FathomPosition p = fathom_position(*board);
        if (name.ends_with(".rtbw"))
            tb_probe_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
                p.pawns, 0, 0, 0, true);
        else
            tb_probe_root(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
                p.pawns, 0, 0, 0, true, nullptr);
    }
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

TablebaseResult tb_probe(const Board& board, const TablebaseSettings& settings)
{
    if (!tb_may_probe(board, settings.pieces) || !is_game_position(board))
        return TB_FAILED;
    const FathomPosition p = fathom_position(board);
    const unsigned wdl     = tb_probe_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops,
            p.knights, p.pawns, 0, 0, p.ep, p.white_to_move);
    switch (wdl) {
    case TB_WIN:
        return TB_WIN_RESULT;
    case TB_CURSED_WIN:
        return settings.rule50 ? TB_DRAW_RESULT : TB_WIN_RESULT;
    case TB_DRAW:
        return TB_DRAW_RESULT;
    case TB_BLESSED_LOSS:
        return settings.rule50 ? TB_DRAW_RESULT : TB_LOSS_RESULT;
    case TB_LOSS:
        return TB_LOSS_RESULT;
    default:
        return TB_FAILED;
    }
}

static bool same_move(Move move, TbMove tb_move)
{
    const int promotes = TB_MOVE_PROMOTES(tb_move); // 1 queen .. 4 knight, 0 none
    return move_from(move) == static_cast<int>(TB_MOVE_FROM(tb_move))
        && move_to(move) == static_cast<int>(TB_MOVE_TO(tb_move))
        && (is_promotion(move) ? promotion_type(move) == QUEEN + 1 - promotes : promotes == 0);
}

bool tb_rank_root_moves(const Board& board, const TablebaseSettings& settings, const Move* moves,
    int count, int* ranks, int* scores)
{
    if (board.castling != 0 || popcount(board.occupied) > settings.pieces
        || !is_game_position(board))
        return false;
    // About 200 KB: on the stack, as nothing may be allocated in a search.
    TbRootMoves root;
    const FathomPosition p = fathom_position(board);
    const unsigned clock   = static_cast<unsigned>(std::min(board.halfmove_clock, 100));
    const bool ranked = tb_probe_root_dtz(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops,
                            p.knights, p.pawns, clock, 0, p.ep, p.white_to_move,
                            history_has_repetition(board), settings.rule50, &root)
        || tb_probe_root_wdl(p.white, p.black, p.kings, p.queens, p.rooks, p.bishops, p.knights,
            p.pawns, clock, 0, p.ep, p.white_to_move, settings.rule50, &root);
    if (!ranked)
        return false;
    // Ranks at or above `won` keep a win that the fifty-move rule (when it counts) allows.
    const int won = settings.rule50 ? 900 : 1;
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
