#include "movegen/perft.h"

#include <cstdio>

#include "movegen/movegen.h"

const PerftCase PERFT_SUITE[6] = {
    { "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 5, 4865609, "startpos depth 5" },
    { "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5, 193690690,
        "kiwipete depth 5" },
    { "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6, 11030083, "pos3 depth 6" },
    { "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 5, 15833292,
        "pos4 depth 5" },
    { "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 5, 89941194, "pos5 depth 5" },
    { "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/p1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 5, 180719404,
        "pos6 depth 5" },
};

std::uint64_t perft(Board& board, unsigned depth)
{
    if (depth == 0)
        return 1;
    MoveList list;
    generate_moves(board, list);
    const Bitboard suspects = legality_suspects(board);
    std::uint64_t nodes     = 0;
    if (depth == 1) {
        for (int i = 0; i < list.count; ++i)
            nodes += move_is_legal(board, suspects, list.moves[i]);
        return nodes;
    }
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        if (!move_is_legal(board, suspects, move))
            continue;
        make_move(board, move);
        nodes += perft(board, depth - 1);
        unmake_move(board, move);
    }
    return nodes;
}

void perft_divide(Board& board, unsigned depth)
{
    MoveList list;
    generate_moves(board, list);
    std::uint64_t total = 0;
    for (int i = 0; i < list.count; ++i) {
        const Move move = list.moves[i];
        if (!move_is_legal(board, move))
            continue;
        make_move(board, move);
        const std::uint64_t nodes = perft(board, depth - 1);
        unmake_move(board, move);
        std::printf("%s: %llu\n", move_to_uci(move).str, static_cast<unsigned long long>(nodes));
        total += nodes;
    }
    std::printf("Total: %llu\n", static_cast<unsigned long long>(total));
}

void run_perft_suite()
{
    std::printf("Running perft test suite (%d positions)...\n\n", 6);
    int passed = 0;
    for (const PerftCase& c : PERFT_SUITE) {
        Board board;
        parse_fen(board, c.fen);
        const std::uint64_t nodes = perft(board, static_cast<unsigned>(c.depth));
        passed += nodes == c.expected;
        std::printf("[%s] %s  got %llu  expected %llu\n", nodes == c.expected ? "PASS" : "FAIL",
            c.name, static_cast<unsigned long long>(nodes),
            static_cast<unsigned long long>(c.expected));
    }
    std::printf("\n%d/%d passed\n", passed, 6);
}
