#include "eval/wdl.h"

#include <algorithm>
#include <cmath>

// a(m) and b(m) as c0 + c1 m + c2 m^2 + c3 m^3, m = material / 58; fitted by wdl-fit.py.
struct WdlModel {
    double a[4], b[4];
};

// In the order of EvalStyle: fitted to 1,500 games of PeSTO and of Linear, and 12,000 of Neural,
// at 5,000 nodes a move (docs/wdl.md).
static const WdlModel WDL_MODELS[3] = {
    { { 359.280, -601.956, 418.871, -81.810 }, { 141.857, -67.961, 65.989, 13.694 } },
    { { 450.230, -944.556, 874.847, -248.374 }, { 44.270, 305.154, -337.789, 168.088 } },
    { { 775.305, -1769.276, 1661.424, -526.109 }, { 77.434, 230.068, -101.430, 23.153 } },
};

int wdl_material(const Board& board)
{
    int material = 0;
    for (int color = WHITE; color <= BLACK; ++color)
        material += popcount(board.pieces[make_piece(color, PAWN)])
            + 3 * popcount(board.pieces[make_piece(color, KNIGHT)])
            + 3 * popcount(board.pieces[make_piece(color, BISHOP)])
            + 5 * popcount(board.pieces[make_piece(color, ROOK)])
            + 9 * popcount(board.pieces[make_piece(color, QUEEN)]);
    return material;
}

static double cubic(const double (&c)[4], double m)
{
    return ((c[3] * m + c[2]) * m + c[1]) * m + c[0];
}

Wdl wdl_of_result(int score)
{
    return score > 0 ? Wdl { 1000, 0, 0 } : score < 0 ? Wdl { 0, 0, 1000 } : Wdl { 0, 1000, 0 };
}

Wdl wdl_of_score(int score, int material, EvalStyle style)
{
    if (is_decisive(score))
        return wdl_of_result(score);
    const WdlModel& model = WDL_MODELS[static_cast<int>(style)];
    const double m        = std::clamp(material, 17, 78) / 58.0;
    // a >= 0 keeps win + loss within certainty; rounding down keeps their sum within 1000.
    const double a = std::max(cubic(model.a, m), 0.0);
    const double b = std::max(cubic(model.b, m), 1.0);
    const int win  = static_cast<int>(1000 / (1 + std::exp((a - score) / b)));
    const int loss = static_cast<int>(1000 / (1 + std::exp((a + score) / b)));
    return { win, 1000 - win - loss, loss };
}
