// eval.cpp: the tapered static evaluation.
#include "eval/eval.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <iterator>

#include "board/rules.h"
#include "eval/terms.h"

namespace {

constexpr Score BISHOP_PAIR = make_score(22, 30);
constexpr int TEMPO         = 20;
constexpr int MOP_UP_BASE   = 13;
constexpr int MOP_UP_FACTOR = 10;

inline int count(const Board& board, int color, int type)
{
    return popcount(board.pieces[make_piece(color, type)]);
}

} // namespace

// Bonus, White's view, for driving a lone king to the edge and approaching it with a single
// rook or queen; 0 when no side qualifies or a king is missing.
static int mop_up_bonus(const Board& board)
{
    for (int color = WHITE; color <= BLACK; ++color) {
        const int other      = color ^ 1;
        const bool qualifies = count(board, color, PAWN) == 0 && count(board, color, KNIGHT) == 0
            && count(board, color, BISHOP) == 0
            && count(board, color, ROOK) + count(board, color, QUEEN) == 1
            && (board.occupancy[other] & ~board.pieces[make_piece(other, KING)]) == 0;
        if (!qualifies)
            continue;
        // Without both kings there is nothing to measure.
        const Bitboard lone   = board.pieces[make_piece(other, KING)];
        const Bitboard hunter = board.pieces[make_piece(color, KING)];
        if (!lone || !hunter)
            return 0;
        const int w     = lsb(lone);
        const int k     = lsb(hunter);
        const int file  = file_of(w);
        const int rank  = rank_of(w);
        int edge        = file < 7 - file ? file : 7 - file;
        edge            = rank < edge ? rank : edge;
        edge            = 7 - rank < edge ? 7 - rank : edge;
        const int bonus = MOP_UP_FACTOR * (MOP_UP_BASE - 2 * edge - square_distance(k, w));
        return color == WHITE ? bonus : -bonus;
    }
    return 0;
}

int game_phase(const Board& board)
{
    int phase = 0;
    for (int color = WHITE; color <= BLACK; ++color)
        phase += count(board, color, KNIGHT) + count(board, color, BISHOP)
            + 2 * count(board, color, ROOK) + 4 * count(board, color, QUEEN);
    return phase < MAX_PHASE ? phase : MAX_PHASE;
}

// The packed sum before draw recognition and taper: psq_score and every positional term,
// White's view. A colour-mirrored position has exactly its negation (with at most one queen
// per side: only the lowest queen is examined for safe checks).
static Score evaluate_terms(const Board& board, PawnEntry* pawn_cache)
{
    Score s = board.psq_score;
    s += evaluate_pawn_terms(board, pawn_cache);
    s += evaluate_pieces(board);
    if (count(board, WHITE, BISHOP) >= 2)
        s += BISHOP_PAIR;
    if (count(board, BLACK, BISHOP) >= 2)
        s -= BISHOP_PAIR;
    return s;
}

// Blends the halves of s by phase (0..MAX_PHASE), truncating toward zero.
static int taper(Score s, int phase)
{
    return (mg_of(s) * phase + eg_of(s) * (MAX_PHASE - phase)) / MAX_PHASE;
}

// 16, 32, 64, 96, 128, 160 or 256 (out of 256); `score` is the tapered value, White's view.
static int scale_factor(const Board& board, int score)
{
    const int strong = score > 0 ? WHITE : BLACK;
    const int weak   = strong ^ 1;
    if (count(board, strong, PAWN) == 0) {
        const int adv = 9 * (count(board, strong, QUEEN) - count(board, weak, QUEEN))
            + 5 * (count(board, strong, ROOK) - count(board, weak, ROOK))
            + 3 * (count(board, strong, BISHOP) - count(board, weak, BISHOP))
            + 3 * (count(board, strong, KNIGHT) - count(board, weak, KNIGHT));
        if (adv <= 3)
            return 16;
        if (adv <= 5)
            return 64;
        if (adv <= 8)
            return 128;
    }
    const Bitboard white_bishops = board.pieces[make_piece(WHITE, BISHOP)];
    const Bitboard black_bishops = board.pieces[make_piece(BLACK, BISHOP)];
    const bool bishops_only      = popcount(white_bishops) == 1 && popcount(black_bishops) == 1
        && count(board, WHITE, KNIGHT) + count(board, WHITE, ROOK) + count(board, WHITE, QUEEN)
                + count(board, BLACK, KNIGHT) + count(board, BLACK, ROOK)
                + count(board, BLACK, QUEEN)
            == 0;
    if (bishops_only) {
        const int w = lsb(white_bishops);
        const int b = lsb(black_bishops);
        if (((file_of(w) + rank_of(w)) & 1) != ((file_of(b) + rank_of(b)) & 1)) {
            const int pawns = count(board, WHITE, PAWN) + count(board, BLACK, PAWN);
            return pawns <= 2 ? 32 : pawns <= 4 ? 96 : 160;
        }
    }
    return 256;
}

// The evaluation cache: 2^16 words, each the key's upper 48 bits over the 16-bit score. The
// slot's index supplies the lower 16 bits, so a hit matches the whole 64-bit key. A cleared
// slot holds a score no evaluation returns, so it never reads as a hit.
constexpr std::uint64_t EVAL_CACHE_LOW   = (std::uint64_t(1) << EVAL_CACHE_BITS) - 1;
constexpr int EVAL_CACHE_NO_SCORE        = INT16_MIN;
constexpr std::uint64_t EVAL_CACHE_EMPTY = static_cast<std::uint16_t>(EVAL_CACHE_NO_SCORE);
static_assert(EVAL_LIMIT < -EVAL_CACHE_NO_SCORE);

void clear_eval_cache(EvalCache& cache)
{
    std::fill(std::begin(cache.scores), std::end(cache.scores), EVAL_CACHE_EMPTY);
    std::fill(std::begin(cache.pawns), std::end(cache.pawns), PawnEntry {});
}

static int evaluate_uncached(const Board& board, PawnEntry* pawn_cache)
{
    const Score s = evaluate_terms(board, pawn_cache);
    if (is_material_draw(board))
        return 0;

    const int phase = game_phase(board);
    int t           = taper(s, phase);
    t += board.side == WHITE ? TEMPO : -TEMPO;
    t += mop_up_bonus(board);
    const int f = scale_factor(board, t);
    if (f != 256)
        t = t * f / 256;
    // Only impossible material (dozens of queens) gets near the mate range; keep it out so
    // that the search never reads a static score as a mate.
    t = std::clamp(t, -EVAL_LIMIT, EVAL_LIMIT);
    return board.side == WHITE ? t : -t;
}

AccumulatorAudit accumulator_audit {};

static void audit_accumulator(
    const Accumulator& incremental, const Board& board, const Network& network)
{
    Accumulator scratch;
    compute_accumulator(scratch, board, network);
    accumulator_audit.checked.fetch_add(1, std::memory_order_relaxed);
    if (std::memcmp(&scratch, &incremental, sizeof scratch) != 0)
        accumulator_audit.differed.fetch_add(1, std::memory_order_relaxed);
}

static int evaluate_neural(const Board& board, const Network& network, Evaluator* evaluator)
{
    if (is_material_draw(board))
        return 0;
    if (!evaluator)
        return std::clamp(network_output(board, network), -EVAL_LIMIT, EVAL_LIMIT);
    const Accumulator& acc
        = current_accumulator(evaluator->accumulators, evaluator->refresh, board, network);
    if (accumulator_audit.on.load(std::memory_order_relaxed))
        audit_accumulator(acc, board, network);
    const int out = network_output(acc, board, network);
    return std::clamp(out, -EVAL_LIMIT, EVAL_LIMIT);
}

int evaluate(const Board& board, const Network* network)
{
    return network ? evaluate_neural(board, *network, nullptr) : evaluate_uncached(board, nullptr);
}

void start_evaluation(Evaluator& evaluator, Board& root, EvalStyle style, const Network* network)
{
    assert(style != EvalStyle::Neural || network != nullptr);
    set_psq_table(root, psq_table_of(style));
    evaluator.network = style == EvalStyle::Neural ? network : nullptr;
    reset_accumulators(evaluator.accumulators, evaluator.refresh, root, evaluator.network);
}

int evaluate(const Board& board, Evaluator& evaluator)
{
    EvalCache& cache         = evaluator.cache;
    const std::uint64_t high = board.hash & ~EVAL_CACHE_LOW;
    std::uint64_t& slot      = cache.scores[board.hash & EVAL_CACHE_LOW];
    if ((slot & ~EVAL_CACHE_LOW) == high) {
        const int cached = static_cast<std::int16_t>(static_cast<std::uint16_t>(slot));
        if (cached != EVAL_CACHE_NO_SCORE)
            return cached;
    }
    const int score = evaluator.network ? evaluate_neural(board, *evaluator.network, &evaluator)
                                        : evaluate_uncached(board, cache.pawns);
    slot            = high | static_cast<std::uint16_t>(score);
    return score;
}
