#!/usr/bin/python3
"""Fits the win-draw-loss model of UCI_ShowWDL (src/eval/wdl.cpp) to self-play records.

    tools/data/wdl-fit.py --style NAME FILE... [--style NAME FILE...] [--holdout K]

For each style, from its record files (32-byte training records: the search's score and the
game's result, both from the side to move's view): the maximum-likelihood fit of
    win = 1 / (1 + exp((a - s) / b)),  loss = 1 / (1 + exp((a + s) / b)),  draw = the rest,
with a and b cubic in m = clamp(material, 17, 78) / 58 (pawns 1, minors 3, rooks 5, queens 9).
Each file is a chunk of whole games; the last K files of a style (default 1) are held out, by
game, and the fit's calibration on them is printed per score band: the mean predicted win,
draw and loss against what the games gave. Prints the C++ table rows for wdl.cpp. Decisive
scores (mates, proven table wins) are left out: the model never sees them.
"""
import argparse
import os
import sys

import numpy as np
import torch

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "nnue"))
import data  # noqa: E402

DECISIVE = 30000
VALUES = np.array([1, 3, 3, 5, 9, 0] * 2, dtype=np.int64)  # by piece code, both colours
BANDS = [-100000, -400, -200, -100, -50, -20, 20, 50, 100, 200, 400, 100000]


def samples(paths):
    """Scores, results (0 loss, 1 draw, 2 win) and materials of the records."""
    records = data.load(paths)
    bad, _ = data.validate(records)
    records = records[~bad]
    records = records[np.abs(records["score"].astype(np.int64)) < DECISIVE]
    rows, _, pieces, _ = data.squares_and_pieces(records)
    material = np.bincount(rows, weights=VALUES[pieces], minlength=len(records))
    return (records["score"].astype(np.float64), records["result"].astype(np.int64),
            material.astype(np.float64))


def probabilities(params, score, m):
    """Win, draw and loss chances of each sample under the model."""
    powers = torch.stack([torch.ones_like(m), m, m * m, m * m * m])
    a = params[0] @ powers
    b = torch.clamp(params[1] @ powers, min=1.0)
    win = torch.sigmoid((score - a) / b)
    loss = torch.sigmoid((-score - a) / b)
    draw = torch.clamp(1 - win - loss, min=1e-9)
    return win, draw, loss


def fit(score, result, material):
    """The coefficients of a and b maximising the likelihood of the results."""
    s = torch.tensor(score)
    m = torch.tensor(np.clip(material, 17, 78) / 58.0)
    r = torch.tensor(result)
    params = torch.tensor([[150.0, 0, 0, 0], [100.0, 0, 0, 0]], dtype=torch.float64,
                          requires_grad=True)
    optimiser = torch.optim.LBFGS([params], lr=1, max_iter=500, line_search_fn="strong_wolfe")

    def closure():
        optimiser.zero_grad()
        win, draw, loss = probabilities(params, s, m)
        chance = torch.stack([loss, draw, win])[r, torch.arange(len(r))]
        nll = -torch.log(torch.clamp(chance, min=1e-9)).mean()
        nll.backward()
        return nll

    for _ in range(5):
        optimiser.step(closure)
    return params.detach().numpy(), float(closure())


def calibration(params, score, result, material):
    """Per score band: count, mean predicted win/draw/loss and the observed shares, per mille."""
    win, draw, loss = (x.numpy() for x in probabilities(
        torch.tensor(params), torch.tensor(score), torch.tensor(np.clip(material, 17, 78) / 58.0)))
    lines = [f"{'score band':>16} {'positions':>9}  predicted W/D/L   observed W/D/L"]
    for low, high in zip(BANDS, BANDS[1:]):
        inside = (score >= low) & (score < high)
        if not inside.any():
            continue
        pred = [1000 * x[inside].mean() for x in (win, draw, loss)]
        seen = [1000 * (result[inside] == k).mean() for k in (2, 1, 0)]
        band = f"[{max(low, -9999)}, {min(high, 9999)})"
        lines.append(f"{band:>16} {inside.sum():>9}  {pred[0]:4.0f} {pred[1]:4.0f} {pred[2]:4.0f}"
                     f"    {seen[0]:4.0f} {seen[1]:4.0f} {seen[2]:4.0f}")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--style", nargs="+", action="append", required=True,
                        metavar=("NAME", "FILE"), help="a style's name and its record files")
    parser.add_argument("--holdout", type=int, default=1, help="files per style held out")
    args = parser.parse_args()
    rows = []
    for name, *paths in args.style:
        if len(paths) <= args.holdout:
            sys.exit(f"{name}: needs more than {args.holdout} files")
        train, held = paths[:-args.holdout], paths[-args.holdout:]
        params, nll = fit(*samples(train))
        print(f"== {name}: {len(train)} files fitted (loss {nll:.4f}), {len(held)} held out")
        print(calibration(params, *samples(held)))
        rows.append(f"    {{ {{ {', '.join(f'{c:.3f}' for c in params[0])} }}, "
                    f"{{ {', '.join(f'{c:.3f}' for c in params[1])} }} }}, // {name}")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
