#!/usr/bin/env -S /usr/bin/python3
"""Trains the neural style's network (K x 768 -> 2x256 -> SCReLU -> 8 buckets) on VTD1 records.

    tools/nnue/train.py gen1/*.bin --out runs/a --epochs 10 --export runs/a/net.vnn
    tools/nnue/train.py ... --king-buckets 4 --mirror                # king buckets, wings mirrored
    tools/nnue/train.py ... --resume runs/a/last.pt --epochs 15     # more epochs on a checkpoint
    tools/nnue/train.py ... --init gen2.vnn --lr 3e-4                # fine-tune a network file

Everything is loaded into memory (32 bytes a position); batches are turned into feature indices
as they are drawn. 2% of the data (in blocks of 1024 consecutive records, so mostly whole games)
is held out for a validation loss. Loss: mean squared error between sigmoid(y) and
lambda * sigmoid(score / 400) + (1 - lambda) * result / 2, where y * 400 is the evaluation in cp.
"""
import argparse
import math
import os
import sys
import time

# glibc hands big freed blocks back to the system and every batch then page-faults them in again
# (half the speed); spinning OpenMP workers stall when the cores are shared. Both are read at start.
MALLOC = {"MALLOC_MMAP_THRESHOLD_": "4294967296", "MALLOC_TRIM_THRESHOLD_": "4294967296",
          "MALLOC_TOP_PAD_": "536870912", "OMP_WAIT_POLICY": "PASSIVE"}
if __name__ == "__main__" and not all(k in os.environ for k in MALLOC):
    os.execve(sys.executable, [sys.executable] + sys.argv, {**MALLOC, **os.environ})

import numpy as np  # noqa: E402
import torch  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(HERE), "lib")]
import data  # noqa: E402
import netformat  # noqa: E402
from netformat import BUCKETS, HIDDEN, INPUTS, KING_MAPS, QA, QB, SCALE  # noqa: E402

# Float bounds a little inside what the file holds (992 / QA = 3.89, 64 / QB = 1).
FT_CLAMP, OUT_CLAMP = 3.88, 1.0


class Net(torch.nn.Module):
    """Both perspectives share the feature transformer, whose rows each perspective's king bucket
    picks (king_map and mirror as in the network file); the bucket picks one output row.
    Factorised, every bucket's rows are a shared row plus the bucket's own difference: each
    position then trains what the buckets have in common, which a few million positions spread
    over many buckets would otherwise learn slowly. The file holds the sums."""

    def __init__(self, king_map=KING_MAPS["1"], mirror=False, kings=None, factorised=False):
        super().__init__()
        self.king_map, self.mirror = tuple(king_map), bool(mirror)
        self.kings = kings or max(self.king_map) + 1  # a file may hold buckets its map never picks
        self.ft_weight = torch.nn.Parameter(
            torch.empty(self.kings * INPUTS, HIDDEN).uniform_(-0.04, 0.04))
        self.ft_shared = torch.nn.Parameter(torch.zeros(INPUTS, HIDDEN)) if factorised else None
        self.ft_bias = torch.nn.Parameter(torch.zeros(HIDDEN))
        bound = (2 * HIDDEN) ** -0.5
        self.out_weight = torch.nn.Parameter(torch.empty(BUCKETS, 2 * HIDDEN).uniform_(-bound, bound))
        self.out_bias = torch.nn.Parameter(torch.empty(BUCKETS).uniform_(-bound, bound))
        self.quantised = False  # forward with the weights the network file will hold

    def forward(self, batch):
        """Raw output y (eval = 400 y) of a batch from make_batch, in its (bucket) order."""
        ft_weight, ft_bias, out_weight = self.bucket_rows(), self.ft_bias, self.out_weight
        if self.quantised:
            ft_weight, ft_bias = fake_quantise(ft_weight, QA), fake_quantise(ft_bias, QA)
            out_weight = fake_quantise(out_weight, QB)
        acc = torch.sparse.mm(batch["inputs"], ft_weight) + ft_bias
        act = torch.clamp(acc, 0, 1) ** 2
        n = batch["size"]
        us, them = torch.split(act[:n], batch["groups"]), torch.split(act[n:], batch["groups"])
        # One bucket's row per group of positions: the reference BLAS is slow on thin matrices.
        ys = [(u * out_weight[b, :HIDDEN]).sum(1) + (t * out_weight[b, HIDDEN:]).sum(1)
              + self.out_bias[b] for b, (u, t) in enumerate(zip(us, them))]
        return torch.cat(ys)

    def bucket_rows(self):
        """The feature transformer's rows as the file holds them."""
        if self.ft_shared is None:
            return self.ft_weight
        return self.ft_weight + self.ft_shared.repeat(self.kings, 1)

    def clamp_weights(self):
        """Keeps the weights inside what the quantised file can hold."""
        with torch.no_grad():
            if self.ft_shared is None:
                self.ft_weight.clamp_(-FT_CLAMP, FT_CLAMP)
            else:
                shared = self.ft_shared.repeat(self.kings, 1)
                self.ft_weight.copy_((self.ft_weight + shared).clamp(-FT_CLAMP, FT_CLAMP) - shared)
            self.ft_bias.clamp_(-FT_CLAMP, FT_CLAMP)
            self.out_weight.clamp_(-OUT_CLAMP, OUT_CLAMP)


def fake_quantise(w, scale):
    """w rounded to steps of 1/scale, with the gradient passed straight through."""
    return w + (torch.round(w * scale) / scale - w).detach()


def make_batch(records, lam, model=None):
    """Model input (for the model's king buckets) and targets of some records, which are
    reordered by output bucket."""
    king_map, mirror = (model.king_map, model.mirror) if model else (KING_MAPS["1"], False)
    buckets = np.clip((data.piece_counts(records) - 2) // 4, 0, BUCKETS - 1)
    records = records[np.argsort(buckets, kind="stable")]
    us, them, offsets, _ = data.features(records, king_map, mirror)
    n = len(records)
    rows = np.repeat(np.arange(n), np.diff(np.append(offsets, len(us))))
    index = np.stack([np.concatenate([rows, rows + n]), np.concatenate([us, them])])
    inputs = torch.sparse_coo_tensor(torch.from_numpy(index), torch.ones(index.shape[1]),
                                     (2 * n, (model.kings if model else 1) * INPUTS))
    score = torch.from_numpy(records["score"].astype(np.float32))
    result = torch.from_numpy(records["result"].astype(np.float32))
    target = lam * torch.sigmoid(score / SCALE) + (1 - lam) * result / 2
    return {"inputs": inputs, "size": n, "target": target,
            "groups": np.bincount(buckets, minlength=BUCKETS).tolist()}


def quantise(model):
    """Integer arrays of the network file, rounded and clamped to the engine's bounds."""
    sd = {k: v.detach().float().numpy() for k, v in model.state_dict().items()}
    sd["ft_weight"] = model.bucket_rows().detach().float().numpy()

    def q(x, unit, limit, kind):  # float32 and half-to-even, as fake_quantise rounds
        return np.clip(np.round(x * np.float32(unit)), -limit, limit).astype(kind)
    net = {key: q(sd[key], unit, limit, kind)
           for key, kind, _, unit, limit in netformat.layout(model.kings)}
    return {**net, "king_map": model.king_map, "mirror": model.mirror}


def load_vnn(path, king_map=None, mirror=False, factorised=False):
    """Model holding a network file's weights, divided back by their units: with the file's king
    buckets, or with king_map and mirror when given, from a file of one bucket whose rows then
    start every bucket. Factorised, the buckets' mean becomes the shared rows and each bucket
    keeps its difference from it, so the network starts out computing what the file does."""
    net = netformat.read(path)
    kings = len(net["ft_weight"]) // INPUTS
    if king_map is None or (netformat.stored_map(king_map, mirror) == net["king_map"]
                            and mirror == net["mirror"]):
        model = Net(net["king_map"], net["mirror"], kings, factorised)
    elif kings == 1:
        model = Net(king_map, mirror, factorised=factorised)
    else:
        raise ValueError(f"{path}: other king buckets than asked for, and more than one")
    with torch.no_grad():
        for key, _, shape, unit, _ in netformat.layout(model.kings):
            weights = torch.from_numpy(net[key] / unit)
            if key != "ft_weight":
                getattr(model, key).copy_(weights)
                continue
            rows = weights.repeat(shape[0] // len(weights), 1)
            if model.ft_shared is not None:
                model.ft_shared.copy_(weights.view(kings, INPUTS, HIDDEN).mean(0))
                rows -= model.ft_shared.repeat(model.kings, 1)
            model.ft_weight.copy_(rows)
    return model


def load_checkpoint(path):
    """Model (and the checkpoint dict) from a file written by this trainer."""
    ckpt = torch.load(path, map_location="cpu")
    model = Net(ckpt.get("king_map", KING_MAPS["1"]), ckpt.get("mirror", False),
                len(ckpt["model"]["ft_weight"]) // INPUTS, "ft_shared" in ckpt["model"])
    model.load_state_dict(ckpt["model"])
    model.quantised = ckpt.get("quantised", False)
    return model, ckpt


def split(n, seed, block=1024, share=0.02):
    """Training and validation indices: a random 2% of the blocks of consecutive records."""
    blocks = (n + block - 1) // block
    rng = np.random.default_rng(seed)
    held = rng.choice(blocks, max(1, round(blocks * share)), replace=False) if blocks > 1 else []
    mask = np.zeros(n, bool)
    for b in held:
        mask[b * block:(b + 1) * block] = True
    return np.flatnonzero(~mask), np.flatnonzero(mask)


def mean_over(model, records, batch, per_position, lam=0.0):
    """Mean of per_position(output y, target) over records, no gradients."""
    total = 0.0
    with torch.no_grad():
        for start in range(0, len(records), batch):
            b = make_batch(records[start:start + batch], lam, model)
            total += float(per_position(model(b), b["target"]).sum())
    return total / max(1, len(records))


def evaluate(model, records, lam, batch):
    """Mean loss over records."""
    return mean_over(model, records, batch, lambda y, t: (torch.sigmoid(y) - t) ** 2, lam)


def match_spread(model, parent_path, records, batch):
    """Scales the output layer so that the model's evaluations spread as widely as the parent
    network's on records: the search's margins are set in centipawns of the parent's scale, and a
    network fitted to search scores (wider than a static evaluation's) prunes differently."""
    parent = load_vnn(parent_path)
    parent.quantised = True
    with torch.no_grad():
        if model.quantised:
            # Trained through the rounding, the output weights crowd its edges: scaled as they
            # are, a fifth of them would round the other way. Scale what the file would hold.
            model.out_weight.copy_(fake_quantise(model.out_weight, QB))
    spread = [mean_over(m, records, batch, lambda y, _: y.abs()) for m in (parent, model)]
    factor = spread[0] / spread[1]
    with torch.no_grad():
        model.out_weight.mul_(factor)
        model.out_bias.mul_(factor)
    model.clamp_weights()
    return factor


def main():
    """Command line."""
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("files", nargs="+", help="VTD1 record files")
    p.add_argument("--out", required=True, help="directory for checkpoints")
    p.add_argument("--export", help="write the quantised network here at the end")
    p.add_argument("--export-every", action="store_true", help="also DIR/epoch-N.vnn each epoch")
    p.add_argument("--epochs", type=int, default=10, help="passes over the training data")
    p.add_argument("--batch", type=int, default=16384, help="positions a step")
    p.add_argument("--lr", type=float, default=1e-3, help="Adam learning rate at the start")
    p.add_argument("--lr-end", type=float, default=0.02, help="final lr as a share of --lr (cosine)")
    p.add_argument("--quantised-epochs", type=int, default=1,
                   help="last epochs trained through the file's rounded weights (straight-through)")
    p.add_argument("--lambda", dest="lam", type=float, default=0.75, help="weight of the score")
    p.add_argument("--threads", type=int, default=2, help="torch threads")
    p.add_argument("--seed", type=int, default=1, help="initial weights, split, shuffles")
    p.add_argument("--limit", type=int, help="use only the first N records")
    p.add_argument("--resume", help="checkpoint to continue from")
    p.add_argument("--init", help="network file (VNN2) to start from instead of random weights; "
                   "its king buckets unless others are asked for (then it must have one)")
    p.add_argument("--king-buckets", choices=KING_MAPS,
                   help="named king-bucket map (tools/lib/netformat.py): 1 (none, the default), "
                   "4, 8 or 16")
    p.add_argument("--mirror", action="store_true",
                   help="mirror a perspective whose king is on files a-d to the other wing")
    p.add_argument("--factorise", action="store_true",
                   help="train the king buckets' rows as shared rows plus each bucket's difference")
    p.add_argument("--match-spread", metavar="PARENT",
                   help="at the end, scale the output so that evaluations spread as PARENT's "
                   "(a network file) do on the validation records")
    p.add_argument("--valid", help="validation records (prepare.py's valid.bin); without it a "
                   "random 2%% of blocks of the training files is held out")
    args = p.parse_args()

    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    t0 = time.time()
    records = data.load(args.files)[:args.limit]
    bad, examples = data.validate(records)
    for i, why in examples[:5]:
        print(f"skipping record {i}: {why}")
    records = records[~bad]
    if args.valid:
        val = data.load([args.valid])
        if data.validate(val)[0].any():
            sys.exit(f"malformed records in {args.valid}")
        train_idx = np.arange(len(records))
    else:
        train_idx, val_idx = split(len(records), args.seed)
        val = records[val_idx]
    print(f"{len(records)} positions ({int(bad.sum())} malformed skipped), {len(train_idx)} train, "
          f"{len(val)} validation, loaded in {time.time() - t0:.1f} s", flush=True)
    if len(train_idx) == 0:
        sys.exit("no training data")
    if len(val):
        target = make_batch(val, args.lam)["target"]
        print(f"validation loss of a constant prediction (target variance): {float(target.var()):.6f}")

    king_map = KING_MAPS[args.king_buckets or "1"] if args.king_buckets or args.mirror else None
    try:
        model = load_vnn(args.init, king_map, args.mirror, args.factorise) if args.init \
            else Net(king_map or KING_MAPS["1"], args.mirror, factorised=args.factorise)
    except ValueError as error:
        sys.exit(str(error))
    opt = torch.optim.Adam(model.parameters(), lr=args.lr)
    first_epoch = 0
    if args.resume:
        model, ckpt = load_checkpoint(args.resume)
        opt = torch.optim.Adam(model.parameters(), lr=args.lr)
        opt.load_state_dict(ckpt["optimizer"])
        first_epoch = ckpt["epoch"] + 1
        print(f"resumed from {args.resume} after epoch {first_epoch}")
    print(f"{model.kings} king bucket{'s' if model.kings > 1 else ''}, "
          f"{'mirrored' if model.mirror else 'unmirrored'}"
          f"{', factorised' if model.ft_shared is not None else ''}")
    if args.init and not args.resume and len(val):
        # The parent's loss on these positions: the bar a fine-tune has to clear.
        print(f"validation loss of {args.init}: {evaluate(model, val, args.lam, args.batch):.6f}",
              flush=True)
    os.makedirs(args.out, exist_ok=True)

    steps_per_epoch = (len(train_idx) + args.batch - 1) // args.batch
    total_steps = steps_per_epoch * args.epochs
    for epoch in range(first_epoch, args.epochs):
        order = np.random.default_rng([args.seed, epoch]).permutation(train_idx)
        start, loss_sum, seen = time.time(), 0.0, 0
        model.quantised = epoch >= args.epochs - args.quantised_epochs
        for i in range(steps_per_epoch):
            step = epoch * steps_per_epoch + i
            lr = args.lr * (args.lr_end + (1 - args.lr_end) * 0.5 *
                            (1 + math.cos(math.pi * step / max(1, total_steps))))
            for group in opt.param_groups:
                group["lr"] = lr
            b = make_batch(records[order[i * args.batch:(i + 1) * args.batch]], args.lam, model)
            loss = ((torch.sigmoid(model(b)) - b["target"]) ** 2).mean()
            opt.zero_grad(set_to_none=True)
            loss.backward()
            opt.step()
            model.clamp_weights()
            loss_sum += float(loss) * b["size"]
            seen += b["size"]
            if (i + 1) % 100 == 0:
                print(f"  epoch {epoch + 1} step {i + 1}/{steps_per_epoch} loss {loss_sum / seen:.6f} "
                      f"{seen / (time.time() - start):.0f} pos/s", flush=True)
        secs = time.time() - start
        if args.match_spread and epoch == args.epochs - 1:
            factor = match_spread(model, args.match_spread, val if len(val) else records[:65536],
                                  args.batch)
            print(f"output scaled by {factor:.4f} to spread as {args.match_spread} does")
        val_loss = evaluate(model, val, args.lam, args.batch) if len(val) else float("nan")
        print(f"epoch {epoch + 1}/{args.epochs}{' (rounded weights)' if model.quantised else ''}: train loss {loss_sum / seen:.6f}, validation loss "
              f"{val_loss:.6f}, lr {lr:.2e}, {seen / secs:.0f} pos/s ({secs:.1f} s)", flush=True)
        ckpt = {"model": model.state_dict(), "optimizer": opt.state_dict(), "epoch": epoch,
                "king_map": model.king_map, "mirror": model.mirror,
                "args": vars(args), "quantised": model.quantised, "train_loss": loss_sum / seen, "val_loss": val_loss}
        torch.save(ckpt, os.path.join(args.out, f"epoch-{epoch + 1}.pt"))
        torch.save(ckpt, os.path.join(args.out, "last.pt"))
        if args.export_every:
            netformat.write(os.path.join(args.out, f"epoch-{epoch + 1}.vnn"), quantise(model))
    if args.export:
        netformat.write(args.export, quantise(model))
        print(f"wrote {args.export}")


if __name__ == "__main__":
    main()
