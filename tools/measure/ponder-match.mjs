#!/usr/bin/env node
// Games where the first engine ponders, every word checked: each bestmove and PV (the pondering
// searches' too) is validated with chess.js from the shared match tool, clocks are kept from wall
// time (a ponder hit starts the clock at `ponderhit`), and a bestmove sent while pondering, before
// `ponderhit` or `stop`, is an anomaly. fastchess and the shared match tool never ponder.
//
//   node tools/measure/ponder-match.mjs --match ../shared/tools/match/match.mjs \
//       --e1 build/vantorel --o1 Threads=2 --e2 /usr/games/stockfish --o2 "Skill Level=5" \
//       --games 1000 --tc 1+0.01 [--seed 1] [--json out.json] [--pgn out.pgn]
//
// --o1/--o2 "Name=Value" set options (Ponder=true is sent to the first engine); openings are
// random, 8 plies from --seed. Exit status 0 when no anomaly was seen, 1 otherwise.
import { spawn } from "node:child_process";
import { writeFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { createInterface } from "node:readline";
import { pathToFileURL } from "node:url";

const args = { o1: [], o2: [], games: 10, tc: "1+0.01", seed: 1, marginMs: 50, hangMs: 10000, maxPlies: 400 };
for (let i = 2; i < process.argv.length; i++) {
  const k = process.argv[i].replace(/^--/, ""), v = process.argv[++i];
  if (k === "o1" || k === "o2") args[k].push(v);
  else if (["games", "seed", "marginMs", "hangMs"].includes(k)) args[k] = parseInt(v, 10);
  else args[k] = v;
}
if (!args.match || !args.e1 || !args.e2) {
  console.error("usage: ponder-match.mjs --match PATH/match.mjs --e1 CMD --e2 CMD [options]");
  process.exit(2);
}
const chessjs = join(dirname(resolve(args.match)), "vendor/chess.js/chess.js");
const { Chess } = await import(pathToFileURL(chessjs).href);

// An engine process with a queue of its output lines; take() waits for a line that matches.
function startEngine(cmd, options) {
  const parts = cmd.split(" ").filter(Boolean);
  const e = { cmd, options, lines: [], waiter: null, exited: false };
  e.proc = spawn(parts[0], parts.slice(1), { stdio: ["pipe", "pipe", "ignore"] });
  e.proc.on("exit", () => { e.exited = true; e.waiter?.(); });
  e.proc.stdin.on("error", () => {});
  createInterface({ input: e.proc.stdout }).on("line", (l) => { e.lines.push(l); e.waiter?.(); });
  e.send = (line) => { if (!e.exited) e.proc.stdin.write(line + "\n"); };
  e.take = (pred, ms) => new Promise((ok, fail) => {
    const got = [];
    const timer = setTimeout(() => { e.waiter = null; fail(new Error(`hang: no reply in ${ms} ms`)); }, ms);
    e.waiter = () => {
      while (e.lines.length) {
        const l = e.lines.shift();
        got.push(l);
        if (pred(l)) { clearTimeout(timer); e.waiter = null; ok(got); return; }
      }
      if (e.exited) { clearTimeout(timer); e.waiter = null; fail(new Error("crash")); }
    };
    e.waiter();
  });
  return e;
}

async function ready(e) { e.send("isready"); await e.take((l) => l === "readyok", args.hangMs); }

async function open(cmd, options) {
  const e = startEngine(cmd, options);
  e.send("uci");
  const ids = await e.take((l) => l === "uciok", args.hangMs);
  e.name = (ids.find((l) => l.startsWith("id name ")) || ` ${cmd}`).slice(8);
  for (const o of options) {
    const eq = o.indexOf("=");
    e.send(`setoption name ${o.slice(0, eq)} value ${o.slice(eq + 1)}`);
  }
  await ready(e);
  return e;
}

function play(chess, uci) {
  if (!/^[a-h][1-8][a-h][1-8][nbrq]?$/.test(uci || "")) return null;
  try { return chess.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] }); } catch { return null; }
}

// Every PV in a reply must be legal from `fen`; returns the bestmove and its ponder move.
function checkReply(lines, fen, engine, anomalies) {
  for (const l of lines) {
    const pv = l.match(/^info .*? pv (.+)$/);
    if (!pv) continue;
    const probe = new Chess(fen);
    const bad = pv[1].trim().split(/\s+/).find((m) => !play(probe, m));
    if (bad) anomalies.push({ engine, kind: "illegal-pv", detail: `${bad} in "${l}"`, fen });
  }
  const words = lines[lines.length - 1].split(/\s+/);
  return { best: words[1], ponder: words[2] === "ponder" ? words[3] : null };
}

function gameOver(chess, plies) {
  if (chess.isCheckmate()) return chess.turn() === "w" ? "0-1" : "1-0";
  if (chess.isStalemate() || chess.isInsufficientMaterial() || chess.isThreefoldRepetition()
    || chess.isDrawByFiftyMoves() || plies >= args.maxPlies) return "1/2-1/2";
  return null;
}

function randomOpening(random) {
  for (;;) {
    const c = new Chess();
    for (let i = 0; i < 8 && !c.isGameOver(); i++) {
      const ms = c.moves({ verbose: true });
      const m = ms[Math.floor(random() * ms.length)];
      c.move({ from: m.from, to: m.to, promotion: m.promotion });
    }
    if (!c.isGameOver()) return c.fen();
  }
}

const stats = { games: 0, w: 0, d: 0, l: 0, hits: 0, misses: 0, anomalies: [] };

// One game; e1 ponders on the move it expects after each of its moves.
async function game(e1, e2, e1White, startFen) {
  const chess = new Chess(startFen), moves = [];
  const [base, inc] = args.tc.split("+").map((x) => Math.round(parseFloat(x) * 1000));
  const clock = { w: base, b: base };
  for (const e of [e1, e2]) { e.send("ucinewgame"); await ready(e); }
  let pondering = null; // the move e1 ponders on, while it does
  const position = (extra = []) => `position fen ${startFen} moves ${[...moves, ...extra].join(" ")}`.replace(/ moves $/, "");
  const goWords = () => `wtime ${Math.round(clock.w)} btime ${Math.round(clock.b)} winc ${inc} binc ${inc}`;
  for (;;) {
    const result = gameOver(chess, moves.length);
    if (result) {
      if (pondering) { e1.send("stop"); await e1.take((l) => l.startsWith("bestmove"), args.hangMs); }
      return { result, moves };
    }
    const side = chess.turn(), e = (side === "w") === e1White ? e1 : e2;
    const loser = side === "w" ? "0-1" : "1-0";
    let lines, start, fen = chess.fen();
    try {
      if (e === e1 && pondering) {
        const expected = pondering;
        pondering = null;
        const early = e1.lines.find((l) => l.startsWith("bestmove"));
        if (early) stats.anomalies.push({ engine: e1.name, kind: "ponder-bestmove", detail: early, fen });
        if (expected === moves[moves.length - 1]) {
          stats.hits++;
          start = process.hrtime.bigint();
          e1.send("ponderhit");
        } else {
          stats.misses++;
          e1.send("stop");
          const stale = await e1.take((l) => l.startsWith("bestmove"), args.hangMs);
          const pondered = new Chess(startFen);
          [...moves.slice(0, -1), expected].forEach((m) => play(pondered, m));
          const pfen = pondered.fen();
          const { best } = checkReply(stale, pfen, e1.name, stats.anomalies);
          if (!play(new Chess(pfen), best)) stats.anomalies.push({ engine: e1.name, kind: "illegal-move", detail: `after stop: ${best}`, fen: pfen });
          start = process.hrtime.bigint();
          e1.send(position());
          e1.send(`go ${goWords()}`);
        }
      } else {
        start = process.hrtime.bigint();
        e.send(position());
        e.send(`go ${goWords()}`);
      }
      lines = await e.take((l) => l.startsWith("bestmove"), Math.max(args.hangMs, clock[side] * 2 + 1000));
    } catch (err) {
      stats.anomalies.push({ engine: e.name, kind: err.message.split(":")[0], detail: err.message, fen });
      e.broken = true;
      return { result: loser, moves };
    }
    clock[side] -= Number(process.hrtime.bigint() - start) / 1e6;
    const { best, ponder } = checkReply(lines, fen, e.name, stats.anomalies);
    if (clock[side] < -args.marginMs) {
      stats.anomalies.push({ engine: e.name, kind: "time-loss", detail: `over by ${-clock[side] | 0} ms`, fen });
      return { result: loser, moves };
    }
    clock[side] = Math.max(clock[side], 0) + inc;
    if (!play(chess, best)) {
      stats.anomalies.push({ engine: e.name, kind: "illegal-move", detail: `bestmove ${best}`, fen });
      return { result: loser, moves };
    }
    moves.push(best);
    if (e === e1 && ponder && play(new Chess(chess.fen()), ponder) && !gameOver(chess, moves.length)) {
      pondering = ponder;
      e1.send(position([ponder]));
      e1.send(`go ponder ${goWords()}`);
    }
  }
}

let seed = BigInt(args.seed) * 0x9e3779b97f4a7c15n + 1n;
const random = () => {
  seed ^= (seed << 13n) & 0xffffffffffffffffn; seed ^= seed >> 7n; seed ^= (seed << 17n) & 0xffffffffffffffffn;
  return Number(seed % 1000000007n) / 1000000007;
};
let e1 = await open(args.e1, [...args.o1, "Ponder=true"]), e2 = await open(args.e2, args.o2);
let pgn = "", opening = null;
for (let g = 0; g < args.games; g++) {
  if (g % 2 === 0) opening = randomOpening(random);
  const e1White = g % 2 === 0;
  const { result, moves } = await game(e1, e2, e1White, opening);
  stats.games++;
  const score = result === "1/2-1/2" ? 0.5 : (result === "1-0") === e1White ? 1 : 0;
  if (score === 1) stats.w++; else if (score === 0) stats.l++; else stats.d++;
  pgn += `[Round "${g + 1}"]\n[White "${e1White ? e1.name : e2.name}"]\n[Black "${e1White ? e2.name : e1.name}"]\n`
    + `[FEN "${opening}"]\n[Result "${result}"]\n\n${moves.join(" ")} ${result}\n\n`;
  for (const [which, e] of [["e1", e1], ["e2", e2]]) {
    if (!e.broken && !e.exited) continue;
    e.proc.kill("SIGKILL");
    if (which === "e1") e1 = await open(args.e1, [...args.o1, "Ponder=true"]);
    else e2 = await open(args.e2, args.o2);
  }
  if ((g + 1) % 50 === 0 || g + 1 === args.games)
    console.log(`games ${g + 1}: ${e1.name} +${stats.w} =${stats.d} -${stats.l}; ponder hits ${stats.hits}, misses ${stats.misses}; anomalies ${stats.anomalies.length}`);
}
for (const e of [e1, e2]) e.send("quit");
setTimeout(() => { e1.proc.kill(); e2.proc.kill(); }, 2000).unref();
for (const a of stats.anomalies.slice(0, 30)) console.log(`  ${a.engine}: ${a.kind}: ${a.detail} @ ${a.fen}`);
if (args.json) writeFileSync(args.json, JSON.stringify(stats, null, 2));
if (args.pgn) writeFileSync(args.pgn, pgn);
process.exitCode = stats.anomalies.length ? 1 : 0;
