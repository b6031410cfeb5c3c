"""The piece placement of a FEN, read and written, for the Python tools. Squares are numbered
a1 = 0, b1 = 1, ..., h8 = 63; pieces are FEN letters."""

PIECE_LETTERS = "PNBRQKpnbrqk"  # in the order of the engine's piece codes


def read_placement(fen):
    """{square: letter} of a FEN's placement (its first field), in the FEN's order: rank 8
    first, files a to h. ValueError unless it is 8 ranks of 8 squares of pieces and digits."""
    fields = fen.split()
    ranks = fields[0].split("/") if fields else []
    if len(ranks) != 8:
        raise ValueError(f"not 8 ranks: {fen!r}")
    board = {}
    for r, row in enumerate(ranks):
        f = 0
        for ch in row:
            if ch in "12345678":
                f += int(ch)
            elif ch in PIECE_LETTERS:
                if f < 8:
                    board[(7 - r) * 8 + f] = ch
                f += 1
            else:
                raise ValueError(f"{ch!r} in the placement: {fen!r}")
        if f != 8:
            raise ValueError(f"rank {8 - r} has {f} squares: {fen!r}")
    return board


def write_placement(board):
    """The FEN placement of {square: letter}."""
    rows = []
    for r in range(7, -1, -1):
        row, empty = "", 0
        for f in range(8):
            piece = board.get(r * 8 + f)
            if piece is None:
                empty += 1
            else:
                row += (str(empty) if empty else "") + piece
                empty = 0
        rows.append(row + (str(empty) if empty else ""))
    return "/".join(rows)
