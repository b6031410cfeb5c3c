#!/usr/bin/env python3
"""tools/lib/netformat.py against the engine's header: the constants of the network file, and
its size, must be the header's constexpr values. python3 only.

    tests/tools/netformat_test.py [src/eval/nnue.h]"""
import ast
import operator
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
import netformat  # noqa: E402

EXPECTED = {"NNUE_INPUTS": netformat.INPUTS, "NNUE_HIDDEN": netformat.HIDDEN,
            "NNUE_BUCKETS": netformat.BUCKETS, "NNUE_QA": netformat.QA, "NNUE_QB": netformat.QB,
            "NNUE_SCALE": netformat.SCALE, "NNUE_FT_LIMIT": netformat.FT_LIMIT,
            "NNUE_OUT_LIMIT": netformat.OUT_LIMIT, "NNUE_BIAS_LIMIT": netformat.BIAS_LIMIT,
            "NNUE_FILE_SIZE": netformat.FILE_SIZE, "NNUE_MAX_FILE_SIZE": netformat.MAX_FILE_SIZE,
            "NNUE_HEADER_SIZE": netformat.HEADER_SIZE,
            "NNUE_MAX_KING_BUCKETS": netformat.MAX_KING_BUCKETS}
OPERATORS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul,
             ast.FloorDiv: operator.floordiv, ast.LShift: operator.lshift}


def value(node, known):
    """An integer constant expression: numbers, earlier constants, + - * / <<."""
    if isinstance(node, ast.Constant) and type(node.value) is int:
        return node.value
    if isinstance(node, ast.Name):
        return known[node.id]
    if isinstance(node, ast.BinOp) and type(node.op) in OPERATORS:
        return OPERATORS[type(node.op)](value(node.left, known), value(node.right, known))
    raise ValueError(ast.dump(node))


def header_constants(path):
    text = re.sub(r"//[^\n]*", "", open(path).read())
    known = {}
    for name, expr in re.findall(r"constexpr\s+[\w:]+\s+(NNUE_\w+)\s*=\s*([^;]+);", text):
        expr = re.sub(r"std::\w+\s*(?=\()", "", expr)  # a cast keeps the value in its brackets
        expr = re.sub(r"\b(\d+)[uUlL]+\b", r"\1", expr).replace("/", "//")
        try:
            known[name] = value(ast.parse(" ".join(expr.split()), mode="eval").body, known)
        except (SyntaxError, KeyError, ValueError):
            pass  # not one of ours unless EXPECTED names it, which then fails below
    return known


header = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "src", "eval", "nnue.h")
found = header_constants(header)
wrong = [f"{name}: {header} {found.get(name, 'no constexpr value')}, tools/lib/netformat.py {want}"
         for name, want in EXPECTED.items() if found.get(name) != want]
print("\n".join(wrong) or f"{len(EXPECTED)} constants agree with {header}")
sys.exit(1 if wrong else 0)
