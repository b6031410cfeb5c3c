#include "uci/position.h"

#include "movegen/movegen.h"
#include "uci/text.h"

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
        drop_oldest_history(board, GAME_HISTORY_DROP);
    make_move(board, move);
}

void position_command(std::string_view line, Board& board)
{
    std::size_t pos = skip_spaces(line, 8);
    if (starts_with(line, pos, "startpos")) {
        parse_fen(board, START_FEN, board.chess960);
        pos += 8;
    } else if (starts_with(line, pos, "fen")) {
        pos = skip_spaces(line, pos + 3);
        // A FEN never contains "moves", so it ends there even when fields are missing.
        const std::size_t moves_at = line.find("moves", pos);
        parse_fen(board,
            line.substr(pos, moves_at == std::string_view::npos ? line.npos : moves_at - pos),
            board.chess960);
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
