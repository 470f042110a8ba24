#!/usr/bin/env python3
"""Writes key_vectors.txt beside this script: long download keys and what they
unscramble to, computed here independently of the C++ code.

Regenerate (the output is the same on every run):
    python3 tests/key/make_key_vectors.py

Each vector line holds three fields in hex of the Windows-1250 bytes: the key,
the key after reordering, and the descriptor text. Keys are built so that most
pairs after reordering are table codes (otherwise nearly every character would
repeat the one before it); some characters are no digits, some pairs lie beyond
the table, and some reach 1000 or more, which shifts the three-digit grouping.
"""
import os

DIGITS = b"0123456789ABCDEFGHIJKLMNOPQRSTUVXYZ"  # no W
# Code -> character; the table the keys are issued with.
TABLE = (" ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"
         "ÁÄÉÍÓÔÚÜÝČĎĚĹĽŇŔŘŚŠŤŮŰŽáäéíóôúüýčďěĺľňŕřśšťůűž"
         "!\"#$%&'()*+,-./:;<=>?@[\\]^_{|}~§°").encode("cp1250")
NON_DIGITS = b"Wabcdefghijklmnopqrstuvwxyz !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\xe1\xe8\x8a\xa7"
LENGTHS = (10, 57, 100, 1000, 4096)


def passes(s):
    """The reordering pass by pass: [(stage 1, stage 2), ...] over a list."""
    n, out = len(s), []
    for _ in range(n // 4):
        # 1-based s(2i+1) s(2i) is s[2i] s[2i-1] here.
        middle = [x for i in range(1, (n - 1) // 2 + 1) for x in (s[2 * i], s[2 * i - 1])]
        e = [s[0]] + middle if n % 2 else [s[n - 1]] + middle + [s[0]]
        t = [x for j in range(0, n - 1, 2) for x in (e[j + 1], e[j])]
        if n % 2:
            t.append(e[n - 1])
        out.append((e, t))
        s = t
    return out


def switch_b(s):
    p = passes(list(s))
    return bytes(p[-1][1]) if p else b""


def pair_to_code(pair):
    value = digit = 0
    for position, ch in ((1, pair[0]), (2, pair[1])):
        if ch in DIGITS:
            digit = DIGITS.index(ch)
        value += digit * 35 ** (2 - position)
    return b"%03d" % value


def codes_to_text(d):
    text, last = b"", b""
    for g in range(len(d) // 3):
        code = int(d[3 * g:3 * g + 3])
        if 0 <= code <= 141:
            last = TABLE[code:code + 1]
        text += last
    return text


def unscramble(key):
    u = switch_b(key)
    return u, codes_to_text(b"".join(pair_to_code(u[k:k + 2]) for k in range(0, len(u) - 1, 2)))


def self_check():
    h = 2166136261
    for c in TABLE:
        h = ((h ^ c) * 16777619) & 0xFFFFFFFF
    assert len(TABLE) == 142 and len(set(TABLE)) == 142 and h == 0xA0B5CD43
    worked = {"ABCD": ["DCBA", "CDAB"], "ABCDE": ["ACBED", "CAEBD"], "ABCDEF": ["FCBEDA", "CFEBAD"],
              "ABCDEFGH": ["HCBEDGFA", "CHEBGDAF", "FEHGBADC", "EFGHABCD"],
              "ABCDEFGHI": ["ACBEDGFIH", "CAEBGDIFH", "CEAGBIDHF", "ECGAIBHDF"]}
    for arg, stages in worked.items():
        assert ["".join(x) for p in passes(list(arg)) for x in p] == stages, arg
    assert switch_b(b"ABC") == b""
    pairs = {"00": "000", "09": "009", "10": "035", "3Z": "139", "41": "141", "42": "142",
             "1a": "036", "a5": "005", "W7": "007", "S9": "989", "SK": "1000", "ZZ": "1224"}
    for pair, code in pairs.items():
        assert pair_to_code(pair.encode()) == code.encode(), pair


class Rng:  # 64-bit LCG, the same on every Python
    def __init__(self, seed):
        self.x = seed

    def below(self, n):
        self.x = (self.x * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        return (self.x >> 33) % n


def make_key(rng, n, seen):
    u, shift = [], 0
    for _ in range(n // 2):
        r = rng.below(1000)
        if r < (300 if shift else 15):  # back in step soon after a shift
            value = 1000 + rng.below(225)
        elif r < 100:
            value = 142 + rng.below(858)
        else:
            value = rng.below(142)
        pair = [DIGITS[value // 35], DIGITS[value % 35]]
        for k in (0, 1):
            if rng.below(100) < 6:
                pair[k] = NON_DIGITS[rng.below(len(NON_DIGITS))]
                seen.add(("non-digit first", "non-digit second")[k])
                seen.add({ord("W"): "W", ord(" "): "blank"}.get(pair[k], "other"))
        code = int(pair_to_code(bytes(pair)))
        shift = (shift + (code >= 1000)) % 3
        seen.add(">=1000" if code >= 1000 else "142..999" if code >= 142 else "table")
        u += pair
    if n % 2:
        u.append(DIGITS[rng.below(35)])
    # Put each character where the reordering will take it from.
    order = passes(list(range(n)))[-1][1]
    key = [0] * n
    for k, at in enumerate(order):
        key[at] = u[k]
    key = bytes(key)
    assert switch_b(key) == bytes(u)
    return key


def main():
    self_check()
    rng, seen, lines = Rng(20260417), set(), []
    for n in LENGTHS:
        key = make_key(rng, n, seen)
        switched, text = unscramble(key)
        assert text
        lines.append(" ".join(x.hex() for x in (key, switched, text)))
    assert seen >= {">=1000", "142..999", "non-digit first", "non-digit second", "W", "blank"}, seen
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "key_vectors.txt")
    with open(path, "w", newline="\n") as f:
        f.write("# Written by make_key_vectors.py. key reordered-key descriptor-text, "
                "hex of Windows-1250 bytes\n")
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
