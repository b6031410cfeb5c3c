#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "movegen/movegen.h"
#include "search/move_picker.h"
#include "search/see.h"
#include "support.h"

namespace {

const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
// White in check from e8, with quiet and capturing promotions and a losing queen capture.
const char* const CHECKED = "r1n1r1k1/1P1p4/5n2/8/8/8/8/3QK3 w - - 0 1";

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
Move mv(const char* from, const char* to, int flags = FLAG_QUIET)
{
    return make_move_word(sq(from), sq(to), flags);
}
std::string uci(Move m) { return move_to_uci(m).str; }

struct Handed {
    Move move;
    int stage; // the picker's stage right after handing it out
};

std::vector<Handed> drain(MovePicker& picker, const Board& board, bool skip_quiets = false)
{
    std::vector<Handed> out;
    for (Move m; (m = next_move(picker, board, skip_quiets)) != NO_MOVE;) {
        out.push_back({ m, picker.stage });
        if (out.size() > 2 * MAX_MOVES)
            break;
    }
    return out;
}

std::vector<Handed> drain_node(const Board& board, Move tt_move, bool skip_quiets = false,
    int ply = 0, int prev_piece = EMPTY, int prev_to = 0)
{
    MovePicker picker;
    init_move_picker(picker, in_check(board, board.side), tt_move, ply, prev_piece, prev_to);
    return drain(picker, board, skip_quiets);
}

std::vector<Move> list_of(const MoveList& list) { return { list.moves, list.moves + list.count }; }
std::vector<Move> moves_of(const std::vector<Handed>& out)
{
    std::vector<Move> moves;
    for (const Handed& h : out)
        moves.push_back(h.move);
    return moves;
}
std::multiset<Move> as_set(const std::vector<Move>& moves)
{
    return { moves.begin(), moves.end() };
}

// Checks one drained node out of check: hash move, good captures by falling exchange value,
// quiets by falling quiet_score, losing captures by falling exchange value, every generated
// move exactly once.
void expect_staged_order(const Board& board, const std::vector<Handed>& out, Move tt_move,
    int ply = 0, int prev_piece = EMPTY, int prev_to = 0)
{
    MoveList all, captures;
    generate_moves(board, all);
    generate_captures(board, captures);
    const std::set<Move> capture_set(captures.moves, captures.moves + captures.count);

    EXPECT_EQ(as_set(moves_of(out)), as_set(list_of(all)));
    size_t i = 0;
    if (tt_move != NO_MOVE) {
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0].move, tt_move);
        EXPECT_EQ(out[0].stage, STAGE_GEN_CAPTURES);
        i = 1;
    }
    int last = INT32_MAX;
    for (; i < out.size() && capture_set.count(out[i].move) && see(board, out[i].move) >= 0; ++i) {
        EXPECT_EQ(out[i].stage, STAGE_GOOD_CAPTURES);
        EXPECT_LE(see(board, out[i].move), last);
        last = see(board, out[i].move);
    }
    last = INT32_MAX;
    for (; i < out.size() && !capture_set.count(out[i].move); ++i) {
        EXPECT_EQ(out[i].stage, STAGE_QUIETS);
        EXPECT_TRUE(is_quiet(out[i].move)) << uci(out[i].move);
        const int score = quiet_score(board, out[i].move, ply, prev_piece, prev_to);
        EXPECT_LE(score, last) << uci(out[i].move);
        last = score;
    }
    last = INT32_MAX;
    for (; i < out.size(); ++i) {
        EXPECT_EQ(out[i].stage, STAGE_BAD_CAPTURES);
        EXPECT_TRUE(capture_set.count(out[i].move)) << uci(out[i].move);
        const int value = see(board, out[i].move);
        EXPECT_LT(value, 0) << uci(out[i].move);
        EXPECT_LE(value, last) << uci(out[i].move);
        last = value;
    }
}

class MovePickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        init_core_tables();
        clear_move_ordering();
    }
    void TearDown() override { clear_move_ordering(); }
};

TEST_F(MovePickerTest, PickBestIndexTakesTheFirstOfEquals)
{
    const std::int32_t scores[] = { 5, 9, 9, -3, 12 };
    EXPECT_EQ(pick_best_index(scores, 0, 3), 1);
    EXPECT_EQ(pick_best_index(scores, 2, 4), 2);
    EXPECT_EQ(pick_best_index(scores, 0, 5), 4);
    EXPECT_EQ(pick_best_index(scores, 3, 4), 3);
    EXPECT_EQ(pick_best_index(scores, 4, 4), 4); // empty range: start itself
}

TEST_F(MovePickerTest, InitSetsTheNodeFields)
{
    MovePicker picker;
    picker.bad_count = 17;
    picker.bad_index = 3;
    init_move_picker(picker, false, 1234, 7, 6, 36);
    EXPECT_EQ(picker.stage, STAGE_TT_MOVE);
    EXPECT_EQ(picker.tt_move, 1234);
    EXPECT_EQ(picker.ply, 7);
    EXPECT_EQ(picker.prev_piece, 6);
    EXPECT_EQ(picker.prev_to, 36);
    EXPECT_EQ(picker.bad_count, 0);
    EXPECT_EQ(picker.bad_index, 0);
    init_move_picker(picker, true, NO_MOVE, 0, EMPTY, 0);
    EXPECT_EQ(picker.stage, STAGE_GEN_EVASIONS);
}

TEST_F(MovePickerTest, EqualScoresKeepTheFirstEntryOfTheSwappedList)
{
    const Board board = board_from_fen(START_FEN);
    // No history: the quiets come out exactly in generation order.
    MoveList all;
    generate_moves(board, all);
    EXPECT_EQ(moves_of(drain_node(board, NO_MOVE)), list_of(all));

    // Killers and a counter move to a previous black pawn move onto e5; selection swaps the
    // taken entry's slot with the next one, which fixes the order of the remaining equals.
    const int prev_piece                = make_piece(BLACK, PAWN);
    killer_moves[3][0]                  = mv("g1", "f3");
    killer_moves[3][1]                  = mv("b1", "c3");
    counter_moves[prev_piece][sq("e5")] = mv("d2", "d4", FLAG_DOUBLE_PUSH);
    std::vector<std::string> got;
    for (Move m : moves_of(drain_node(board, NO_MOVE, false, 3, prev_piece, sq("e5"))))
        got.push_back(uci(m));
    const std::vector<std::string> expected
        = { "g1f3", "b1c3", "d2d4", "d2d3", "e2e3", "f2f3", "g2g3", "h2h3", "a2a4", "b2b4", "c2c4",
              "c2c3", "e2e4", "f2f4", "g2g4", "h2h4", "b1a3", "b2b3", "a2a3", "g1h3" };
    EXPECT_EQ(got, expected);
}

TEST_F(MovePickerTest, QuietScoreAddsOneBonusOnTopOfTheHistories)
{
    const Board board                        = board_from_fen(KIWIPETE);
    const Move m                             = mv("a2", "a3");
    const int prev_piece                     = make_piece(BLACK, KNIGHT);
    const int prev_to                        = sq("d5");
    history_table[WHITE][sq("a2")][sq("a3")] = 120;
    continuation_history[prev_piece][prev_to][make_piece(WHITE, PAWN)][sq("a3")] = -20;

    EXPECT_EQ(quiet_score(board, m, 5, EMPTY, 0), 120);
    EXPECT_EQ(quiet_score(board, m, 5, prev_piece, prev_to), 100);
    counter_moves[prev_piece][prev_to] = m;
    EXPECT_EQ(quiet_score(board, m, 5, prev_piece, prev_to), 600100);
    EXPECT_EQ(quiet_score(board, m, 5, EMPTY, 0), 120); // no previous move, no counter
    killer_moves[5][1] = m;
    EXPECT_EQ(quiet_score(board, m, 5, prev_piece, prev_to), 700100);
    killer_moves[5][0] = m; // first killer and counter move: only the killer bonus
    EXPECT_EQ(quiet_score(board, m, 5, prev_piece, prev_to), 800100);
    EXPECT_EQ(quiet_score(board, m, 6, prev_piece, prev_to), 600100); // killers are per ply

    // Out-of-range node data reads as "no previous move" and "no killers".
    for (int bad_piece : { -1, 13, 1000 })
        EXPECT_EQ(quiet_score(board, m, -1, bad_piece, prev_to), 120);
    EXPECT_EQ(quiet_score(board, m, MAX_PLY, prev_piece, 64), 120);
}

TEST_F(MovePickerTest, StagesOutOfCheck)
{
    const Board board = board_from_fen(KIWIPETE);
    for (int from = 0; from < 64; ++from)
        for (int to = 0; to < 64; ++to)
            history_table[WHITE][from][to] = (from * 37 + to * 11) % 200 - 100;
    killer_moves[2][0] = mv("e1", "d1");
    killer_moves[2][1] = mv("a2", "a4", FLAG_DOUBLE_PUSH);

    const Move hash_moves[]
        = { NO_MOVE, mv("a2", "a3"), mv("e2", "a6", FLAG_CAPTURE), mv("f3", "f6", FLAG_CAPTURE),
              mv("e1", "g1", FLAG_KING_CASTLE), mv("d5", "e6", FLAG_CAPTURE) };
    for (Move tt_move : hash_moves) {
        SCOPED_TRACE(uci(tt_move));
        const std::vector<Handed> out = drain_node(board, tt_move, false, 2);
        expect_staged_order(board, out, tt_move, 2);
    }

    // The exchange-neutral dxe6 is a good capture; Qxf6 and Nxd7 wait for the end.
    const std::vector<Move> out = moves_of(drain_node(board, NO_MOVE, false, 2));
    EXPECT_EQ(see(board, mv("d5", "e6", FLAG_CAPTURE)), 0);
    const auto pos = [&](Move m) { return std::find(out.begin(), out.end(), m) - out.begin(); };
    EXPECT_LT(pos(mv("d5", "e6", FLAG_CAPTURE)), pos(mv("a2", "a3")));
    EXPECT_GT(pos(mv("f3", "f6", FLAG_CAPTURE)), pos(mv("a2", "a3")));
    EXPECT_GT(pos(mv("e5", "d7", FLAG_CAPTURE)), pos(mv("a2", "a3")));
    // The first killer leads the quiets, then the second.
    EXPECT_EQ(pos(killer_moves[2][1]), pos(killer_moves[2][0]) + 1);
    EXPECT_TRUE(is_capture(out[pos(killer_moves[2][0]) - 1]));
}

TEST_F(MovePickerTest, HashMovesThatDoNotFitAreDropped)
{
    const Board board = board_from_fen(KIWIPETE);
    MoveList all;
    generate_moves(board, all);
    const Move misfits[] = {
        NULL_MOVE, mv("a3", "a4"), // nothing on the from-square
        mv("a8", "a7"), // the other side's piece
        mv("e5", "e6"), // quiet move onto an occupied square
        mv("e5", "c6", FLAG_CAPTURE), // capture onto an empty square
        mv("d2", "e2", FLAG_CAPTURE), // capture onto an own piece
        mv("b7", "b8", 11), // promotion from an empty square
        mv("b2", "c3", FLAG_EP_CAPTURE), // en passant without an en-passant square
        mv("e1", "g1", FLAG_QUEEN_CASTLE), // castling flag that does not match the squares
        mv("d2", "d4", FLAG_DOUBLE_PUSH), // a bishop flagged as a double push
        mv("a2", "a4", FLAG_QUIET), // a double push without its flag
    };
    for (Move tt_move : misfits) {
        SCOPED_TRACE(uci(tt_move));
        MovePicker picker;
        init_move_picker(picker, false, tt_move, 0, EMPTY, 0);
        const std::vector<Handed> out = drain(picker, board);
        EXPECT_EQ(picker.tt_move, NO_MOVE);
        EXPECT_EQ(as_set(moves_of(out)), as_set(list_of(all)));
        expect_staged_order(board, out, NO_MOVE);
    }
    // Only moves the generator would produce pass; legality stays the search's test.
    for (Move tt_move : { mv("e1", "c1", FLAG_QUEEN_CASTLE), mv("a2", "a4", FLAG_DOUBLE_PUSH) }) {
        MovePicker picker;
        init_move_picker(picker, false, tt_move, 0, EMPTY, 0);
        EXPECT_EQ(next_move(picker, board, false), tt_move);
    }
}

TEST_F(MovePickerTest, EnPassantHashMoveIsNotRepeated)
{
    const Board board           = board_from_fen("4k3/8/8/2pP4/8/8/8/4K3 w - c6 0 2");
    const Move ep               = mv("d5", "c6", FLAG_EP_CAPTURE);
    const std::vector<Move> out = moves_of(drain_node(board, ep));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], ep);
    EXPECT_EQ(std::count(out.begin(), out.end(), ep), 1);
    expect_staged_order(board, drain_node(board, ep), ep);
}

TEST_F(MovePickerTest, SkipQuietsPassesOverTheQuietStages)
{
    const Board board = board_from_fen(KIWIPETE);
    MoveList captures;
    generate_captures(board, captures);

    // Set before the quiet stage: captures only, the good ones then the losing ones.
    const Move tt_move            = mv("a2", "a3");
    const std::vector<Handed> out = drain_node(board, tt_move, true);
    std::vector<Move> expected    = list_of(captures);
    expected.push_back(tt_move);
    EXPECT_EQ(as_set(moves_of(out)), as_set(expected));
    size_t first_bad = 0;
    while (first_bad < out.size() && out[first_bad].stage != STAGE_BAD_CAPTURES)
        ++first_bad;
    ASSERT_LT(first_bad, out.size());
    EXPECT_GE(see(board, out[first_bad - 1].move), 0);
    EXPECT_LT(see(board, out[first_bad].move), 0);

    // Set halfway through the quiets: the next move is the first losing capture.
    MovePicker picker;
    init_move_picker(picker, false, NO_MOVE, 0, EMPTY, 0);
    Move m;
    while (picker.stage != STAGE_QUIETS || picker.index < 5)
        ASSERT_NE(m = next_move(picker, board, false), NO_MOVE);
    ASSERT_GT(picker.bad_count, 0);
    EXPECT_EQ(next_move(picker, board, true), picker.bad_captures[0]);
    std::vector<Move> rest;
    while ((m = next_move(picker, board, true)) != NO_MOVE)
        rest.push_back(m);
    EXPECT_EQ(
        rest, std::vector<Move>(picker.bad_captures + 1, picker.bad_captures + picker.bad_count));
    EXPECT_EQ(picker.stage, STAGE_DONE);
    EXPECT_EQ(next_move(picker, board, false), NO_MOVE);
}

// The evasion scores, restated from the rules, for checking the in-check order.
int evasion_score(const Board& board, Move m, Move tt_move, int ply)
{
    if (m == tt_move)
        return 2000000;
    if (is_capture(m)) {
        const int value = see(board, m);
        return value >= 0 ? value + 1000000 : value - 500000;
    }
    if (is_promotion(m))
        return 900000;
    return quiet_score(board, m, ply, EMPTY, 0);
}

TEST_F(MovePickerTest, InCheckEveryMoveIsScoredInOneList)
{
    const Board board = board_from_fen(CHECKED);
    ASSERT_TRUE(in_check(board, WHITE));
    killer_moves[4][0]                       = mv("d1", "e2");
    history_table[WHITE][sq("e1")][sq("d2")] = 50;
    MoveList all;
    generate_moves(board, all);

    const Move tt_move            = mv("e1", "f2");
    const std::vector<Handed> out = drain_node(board, tt_move, true, 4); // skip_quiets ignored
    EXPECT_EQ(as_set(moves_of(out)), as_set(list_of(all)));
    ASSERT_EQ(out.size(), size_t(all.count));
    EXPECT_EQ(out[0].move, tt_move);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].stage, STAGE_EVASIONS);
        if (i > 0) {
            EXPECT_LE(evasion_score(board, out[i].move, tt_move, 4),
                evasion_score(board, out[i - 1].move, tt_move, 4))
                << uci(out[i].move);
        }
    }
    // bxa8 and bxc8 (winning or equal) lead; the four quiet promotions come before the killer;
    // the losing Qxd7 comes after every quiet evasion.
    std::vector<std::string> text;
    for (const Handed& h : out)
        text.push_back(uci(h.move));
    const std::vector<std::string> head = { "e1f2", "b7a8q", "b7a8r", "b7a8b", "b7a8n", "b7c8q",
        "b7c8r", "b7c8b", "b7c8n", "b7b8n", "b7b8r", "b7b8b", "b7b8q", "d1e2", "e1d2" };
    EXPECT_EQ(std::vector<std::string>(text.begin(), text.begin() + head.size()), head);
    EXPECT_EQ(text.back(), "d1d7");
    EXPECT_EQ(evasion_score(board, out.back().move, tt_move, 4), -800 - 500000);
}

TEST_F(MovePickerTest, NodeWithoutMoves)
{
    // White to move has no pieces at all.
    const Board board = board_from_fen("k7/8/8/8/8/8/8/8 w - - 0 1");
    for (bool checked : { false, true }) {
        MovePicker picker;
        init_move_picker(picker, checked, mv("a1", "a2"), 0, EMPTY, 0);
        EXPECT_EQ(next_move(picker, board, false), NO_MOVE);
        EXPECT_EQ(picker.stage, STAGE_DONE);
        EXPECT_EQ(next_move(picker, board, false), NO_MOVE);
    }
}

TEST_F(MovePickerTest, HandsOutExactlyTheGeneratedMovesOverRandomGames)
{
    const char* starts[]
        = { START_FEN, KIWIPETE, "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
              "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1" };
    std::uint64_t rng = 0x9E3779B97F4A7C15ULL;
    const auto next   = [&rng] {
        rng ^= rng << 13;
        rng ^= rng >> 7;
        rng ^= rng << 17;
        return rng;
    };
    int positions = 0, checked_positions = 0;
    for (int game = 0; positions < 3000; ++game) {
        Board board = board_from_fen(starts[game % 4]);
        for (int ply = 0; ply < 120 && positions < 3000; ++ply, ++positions) {
            MoveList all, captures;
            generate_moves(board, all);
            generate_captures(board, captures);
            if (all.count == 0)
                break;
            // Scatter some ordering state so that the lists are really sorted.
            killer_moves[ply % 8][next() % 2]                   = all.moves[next() % all.count];
            history_table[board.side][next() % 64][next() % 64] = int(next() % 20001) - 10000;
            Move tt_move                                        = NO_MOVE;
            switch (next() % 4) {
            case 0:
                tt_move = all.moves[next() % all.count];
                break;
            case 1:
                tt_move = Move(next());
                break;
            default:
                break;
            }
            const bool checked = in_check(board, board.side);
            checked_positions += checked;
            for (bool skip : { false, true }) {
                const std::vector<Handed> handed = drain_node(board, tt_move, skip, ply % 8);
                std::vector<Move> out            = moves_of(handed);
                // A random word that happens to fit the board is handed out first, once.
                const bool generated = std::count(all.moves, all.moves + all.count, tt_move) > 0;
                if (!checked && tt_move != NO_MOVE && !generated && !out.empty()
                    && out[0] == tt_move)
                    out.erase(out.begin());
                std::vector<Move> expected = list_of(skip && !checked ? captures : all);
                if (skip && !checked && generated
                    && !std::count(expected.begin(), expected.end(), tt_move)
                    && std::count(out.begin(), out.end(), tt_move))
                    expected.push_back(tt_move);
                ASSERT_EQ(as_set(out), as_set(expected))
                    << "game " << game << " ply " << ply << " skip " << skip;
                // And in the right order.
                if (skip)
                    continue;
                if (checked) {
                    for (size_t k = 1; k < handed.size(); ++k)
                        ASSERT_LE(evasion_score(board, handed[k].move, tt_move, ply % 8),
                            evasion_score(board, handed[k - 1].move, tt_move, ply % 8));
                } else if (tt_move == NO_MOVE || generated) {
                    expect_staged_order(board, handed, tt_move, ply % 8);
                }
            }
            MoveList legal;
            generate_legal_moves(board, legal);
            if (legal.count == 0)
                break;
            make_move(board, legal.moves[next() % legal.count]);
        }
    }
    EXPECT_GT(checked_positions, 20);
}

TEST_F(MovePickerTest, GravityUpdates)
{
    const Board board    = board_from_fen(KIWIPETE);
    const Move best      = mv("a2", "a3");
    const Move other     = mv("g2", "g3");
    const Move third     = mv("e1", "d1");
    const Move quiets[]  = { other, best, third };
    const int prev_piece = make_piece(BLACK, PAWN);
    const int prev_to    = sq("h3");
    auto& h              = history_table[WHITE];
    auto& c              = continuation_history[prev_piece][prev_to];

    h[sq("a2")][sq("a3")] = 1000; // depth 4: +16, the product 16000 / 16384 truncates to 0
    h[sq("g2")][sq("g3")] = 8192;
    update_quiet_histories(board, best, quiets, 3, 4, EMPTY, 0);
    EXPECT_EQ(h[sq("a2")][sq("a3")], 1016);
    EXPECT_EQ(h[sq("g2")][sq("g3")], 8192 - 16 - 8);
    EXPECT_EQ(h[sq("e1")][sq("d1")], -16);
    EXPECT_EQ(c[make_piece(WHITE, PAWN)][sq("a3")], 0); // no previous move: untouched

    h[sq("a2")][sq("a3")]                = 8192; // depth 10: +100 - 50
    h[sq("g2")][sq("g3")]                = -8192; // punished at depth 10: -100 + 50
    h[sq("e1")][sq("d1")]                = 0;
    c[make_piece(WHITE, PAWN)][sq("a3")] = -1000;
    c[make_piece(WHITE, KING)][sq("d1")] = 16384;
    update_quiet_histories(board, best, quiets, 3, 10, prev_piece, prev_to);
    EXPECT_EQ(h[sq("a2")][sq("a3")], 8242);
    EXPECT_EQ(h[sq("g2")][sq("g3")], -8242);
    EXPECT_EQ(h[sq("e1")][sq("d1")], -100);
    // -1000 * 100 / 16384 truncates toward zero to -6 (flooring would give -7).
    EXPECT_EQ(c[make_piece(WHITE, PAWN)][sq("a3")], -1000 + 100 + 6);
    EXPECT_EQ(c[make_piece(WHITE, PAWN)][sq("g3")], -100);
    EXPECT_EQ(c[make_piece(WHITE, KING)][sq("d1")], 16384 - 100 - 100);
    EXPECT_EQ(history_table[BLACK][sq("a2")][sq("a3")], 0);

    // Repeated rewards at the deepest depth stay within the gravity bound.
    for (int i = 0; i < 200; ++i)
        update_quiet_histories(board, best, quiets, 3, 127, prev_piece, prev_to);
    EXPECT_LE(h[sq("a2")][sq("a3")], HISTORY_GRAVITY);
    EXPECT_GE(h[sq("g2")][sq("g3")], -HISTORY_GRAVITY);
    // Out-of-range depths and previous moves must not overflow or index outside the tables.
    for (int depth : { 1000, -1000, 100000 })
        update_quiet_histories(board, best, quiets, 3, depth, 13, 99);
    EXPECT_LE(h[sq("a2")][sq("a3")], HISTORY_GRAVITY);
    EXPECT_GE(h[sq("g2")][sq("g3")], -HISTORY_GRAVITY);
}

TEST_F(MovePickerTest, AgingAndClearing)
{
    history_table[BLACK][3][4]         = 7;
    history_table[WHITE][5][6]         = -7;
    continuation_history[11][63][0][0] = -16383;
    continuation_history[0][0][11][63] = 9;
    killer_moves[127][1]               = 1234;
    counter_moves[11][63]              = 4321;
    age_move_ordering();
    EXPECT_EQ(history_table[BLACK][3][4], 3);
    EXPECT_EQ(history_table[WHITE][5][6], -3);
    EXPECT_EQ(continuation_history[11][63][0][0], -8191);
    EXPECT_EQ(continuation_history[0][0][11][63], 4);
    EXPECT_EQ(killer_moves[127][1], NO_MOVE);
    EXPECT_EQ(counter_moves[11][63], 4321); // counter moves carry over

    killer_moves[0][0] = 99;
    clear_move_ordering();
    EXPECT_EQ(history_table[BLACK][3][4], 0);
    EXPECT_EQ(continuation_history[11][63][0][0], 0);
    EXPECT_EQ(killer_moves[0][0], NO_MOVE);
    EXPECT_EQ(counter_moves[11][63], NO_MOVE);
}

TEST_F(MovePickerTest, HostileBoardsStayInBounds)
{
    // Far more pieces than a game allows, no kings: lists fill to their bound, nothing
    // is handed out twice and nothing is read outside the buffers.
    const struct {
        const char* fen;
        const char* garbage; // a square of the side to move whose mailbox entry gets garbage
    } boards[] = { { "QQQQQQQQ/8/QQQQQQQQ/8/8/qqqqqqqq/8/qqqqqqqq w - - 0 1", "a8" },
        { "8/PPPPPPPP/8/8/8/8/pppppppp/8 w KQkq a6 0 1", "a7" },
        { "rnbqkbnr/8/8/8/8/8/8/RNBQ1BNR w - - 0 1", "a1" } };
    for (const auto& b : boards) {
        Board board                  = board_from_fen(b.fen);
        board.squares[sq(b.garbage)] = 99;
        for (int prev_piece : { 77, make_piece(BLACK, QUEEN) })
            for (bool checked : { false, true }) {
                MovePicker picker;
                init_move_picker(picker, checked, mv(b.garbage, "b2", FLAG_CAPTURE), 200,
                    prev_piece, prev_piece == 77 ? -4 : 0);
                const std::vector<Move> out = moves_of(drain(picker, board));
                EXPECT_LE(out.size(), size_t(2 * MAX_MOVES));
                EXPECT_EQ(out.size(), std::set<Move>(out.begin(), out.end()).size()) << b.fen;
                if (!out.empty())
                    update_quiet_histories(
                        board, out[0], out.data(), int(out.size()), 5, prev_piece, 0);
            }
    }
}

} // namespace
