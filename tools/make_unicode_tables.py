#!/usr/bin/python3
"""Writes the C++ tables that map the Unicode forms of the carriers' pictographs to their
Shift-JIS codes, one table per carrier, from four sources read at build time:

  carrier-codes.md  the ranges of each carrier's own private-use code points
  google-pua.tsv    Google's private-use code points (U+FE000-U+FEEA) to each carrier's
                    private-use code points ('>' marks a near equivalent, '+' a sequence)
  EmojiSources.txt  standard Unicode emoji and sequences to each carrier's Shift-JIS code
  emoji-data.txt    which standard code points are shown as emoji by default
                    (Emoji_Presentation); the others are text unless U+FE0F follows

Usage: make_unicode_tables.py CARRIER_CODES_MD GOOGLE_PUA_TSV EMOJI_SOURCES_TXT EMOJI_DATA_TXT OUT_CPP
"""
import re
import sys

CARRIERS = ["au", "docomo", "softbank"]  # in CarrierCode order
NAMES_IN_MD = {"au": "au", "au (kddi)": "au", "docomo": "docomo", "softbank": "softbank"}
MAX_SEQUENCE = 4
MAX_CODES = 3


def next_sjis(code):
    """The next valid Shift-JIS two-byte code: second bytes run 0x40-0x7E, 0x80-0xFC."""
    lead, trail = code >> 8, code & 0xFF
    trail += 1
    if trail == 0x7F:
        trail = 0x80
    if trail > 0xFC:
        lead, trail = lead + 1, 0x40
    return lead << 8 | trail


def read_ranges(path):
    """{carrier: {code point: Shift-JIS code}} from the private-use table of carrier-codes.md."""
    ranges = {c: {} for c in CARRIERS}
    row = re.compile(r"^\|\s*([^|]+?)\s*\|\s*U\+([0-9A-F]{4,5})-U\+([0-9A-F]{4,5})\s*\|\s*([0-9A-F]{4})-([0-9A-F]{4})\s*\|")
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = row.match(line)
            if not m or m.group(1).lower() not in NAMES_IN_MD:
                continue
            carrier = NAMES_IN_MD[m.group(1).lower()]
            first, last = int(m.group(2), 16), int(m.group(3), 16)
            code = int(m.group(4), 16)
            for cp in range(first, last + 1):
                ranges[carrier][cp] = code
                if cp < last:
                    code = next_sjis(code)
            if code != int(m.group(5), 16):
                sys.exit(f"{path}: U+{first:X}-U+{last:X} does not end at {m.group(5)}")
    for carrier, table in ranges.items():
        if not table:
            sys.exit(f"{path}: no private-use range for {carrier}")
    return ranges


def read_google(path, ranges):
    """{carrier: {(Google code point,): [Shift-JIS codes]}}; an exact equivalent wins over a near one."""
    tables = {c: {} for c in CARRIERS}
    near = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            google = int(fields[0].lstrip(">"), 16)
            for carrier, value in zip(["docomo", "au", "softbank"], fields[1:4]):
                approximate = value.startswith(">") or fields[0].startswith(">")
                points = [int(v, 16) for v in value.lstrip(">").split("+")] if value else []
                if not points or not all(p in ranges[carrier] for p in points):
                    continue
                if (google,) in tables[carrier] and (approximate or (carrier, google) not in near):
                    continue
                tables[carrier][(google,)] = [ranges[carrier][p] for p in points]
                if approximate:
                    near.add((carrier, google))
                else:
                    near.discard((carrier, google))
    return tables


def read_emoji_sources(path):
    """{carrier: {(code points...): [Shift-JIS code]}}."""
    tables = {c: {} for c in CARRIERS}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            fields = line.strip().split(";")
            sequence = tuple(int(cp, 16) for cp in fields[0].split())
            for carrier, value in zip(["docomo", "au", "softbank"], fields[1:4]):
                if value.strip():
                    tables[carrier][sequence] = [int(value, 16)]
    return tables


def read_emoji_property(path, name):
    """The code points that have the property name in emoji-data.txt."""
    points = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.split("#")[0].split(";")
            if len(fields) < 2 or fields[1].strip() != name:
                continue
            first, _, last = fields[0].strip().partition("..")
            points.update(range(int(first, 16), int(last or first, 16) + 1))
    if not points:
        sys.exit(f"{path}: no {name} property")
    return points


def ranges_of(points):
    """Sorted [first, last] runs of the code points."""
    runs = []
    for cp in sorted(points):
        if runs and runs[-1][1] == cp - 1:
            runs[-1][1] = cp
        else:
            runs.append([cp, cp])
    return runs


def is_private_use(cp):
    return 0xE000 <= cp <= 0xF8FF or cp >= 0xF0000


def read_tables(md, tsv, sources):
    """{carrier: {(code points...): [Shift-JIS codes]}}, from all three sources."""
    ranges = read_ranges(md)
    google = read_google(tsv, ranges)
    standard = read_emoji_sources(sources)
    tables = {}
    for carrier in CARRIERS:
        tables[carrier] = {(cp,): [code] for cp, code in ranges[carrier].items()}
        tables[carrier].update(google[carrier])
        tables[carrier].update(standard[carrier])
    return tables


# The walk's byte steps (UnicodePictographTable::steps): UTF-8 as RFC 3629 has it, a state
# per byte, stopping where a look is needed. Rows: the start of a character; after an ASCII
# byte that a keycap may begin with (both accept the end of the text); after a lead byte that
# a pictograph may begin with, where the second byte decides; the continuation bytes still
# due (some narrowed by the lead byte). Stops: a look at this byte, a look at the byte before,
# a broken character that starts at this byte, or one that started before it.
LOOK_HERE, LOOK_BEFORE, BROKEN_HERE, BROKEN_INSIDE = 252, 253, 254, 255
ALL_BITS = (1 << 64) - 1


def second_byte_range(lead):
    return {0xE0: (0xA0, 0xBF), 0xED: (0x80, 0x9F), 0xF0: (0x90, 0xBF), 0xF4: (0x80, 0x8F)}.get(lead, (0x80, 0xBF))


def continuation_count(lead):
    return 1 if lead <= 0xDF else 2 if lead <= 0xEF else 3


def make_steps(words):
    markup = {ord(c) for c in '\r&<>"'}
    keycap_starts = [b for b in range(0x80) if words[b] and words[b] != ALL_BITS and b not in markup]
    suspicious_leads = [b for b in range(0xC2, 0xF5) if words[b]]
    rows = {"start": 0}
    for b in keycap_starts:
        rows[("ascii", b)] = len(rows)
    accepting = len(rows)  # rows below this accept the end of the text
    for b in suspicious_leads:
        rows[("lead", b)] = len(rows)
    for name in ("one", "two", "three", "E0", "ED", "F0", "F4"):
        rows[name] = len(rows)
    assert len(rows) < LOOK_HERE
    steps = [[BROKEN_INSIDE] * 256 for _ in rows]
    start = steps[rows["start"]]
    for b in range(256):
        if b < 0x80:
            if b in markup or words[b] == ALL_BITS:
                start[b] = LOOK_HERE
            elif b in keycap_starts:
                start[b] = rows[("ascii", b)]
            else:
                start[b] = 0
        elif b in suspicious_leads:
            start[b] = rows[("lead", b)]
        elif 0xC2 <= b <= 0xDF:
            start[b] = rows["one"]
        elif b in (0xE0, 0xED, 0xF0, 0xF4):
            start[b] = rows["%X" % b]
        elif 0xE1 <= b <= 0xEF:
            start[b] = rows["two"]
        elif 0xF1 <= b <= 0xF3:
            start[b] = rows["three"]
        else:
            start[b] = BROKEN_HERE
    after = {1: 0, 2: rows["one"], 3: rows["two"]}  # once the second byte is in
    for b in keycap_starts:
        row = steps[rows[("ascii", b)]]
        for nxt in range(256):
            row[nxt] = LOOK_BEFORE if words[b] >> (nxt & 63) & 1 else start[nxt]
    for lead in suspicious_leads:
        row = steps[rows[("lead", lead)]]
        low, high = second_byte_range(lead)
        for nxt in range(low, high + 1):
            row[nxt] = LOOK_BEFORE if words[lead] >> (nxt & 63) & 1 else after[continuation_count(lead)]
    for name, target, low, high in (("one", 0, 0x80, 0xBF), ("two", rows["one"], 0x80, 0xBF),
                                    ("three", rows["two"], 0x80, 0xBF), ("E0", rows["one"], 0xA0, 0xBF),
                                    ("ED", rows["one"], 0x80, 0x9F), ("F0", rows["two"], 0x90, 0xBF),
                                    ("F4", rows["two"], 0x80, 0x8F)):
        for nxt in range(low, high + 1):
            steps[rows[name]][nxt] = target
    return steps, accepting


def hash_slot(cp, bits):
    """The first slot of code point cp in a table of 2**bits slots (as UnicodePictographTable)."""
    return ((cp * 0x9E3779B1) & 0xFFFFFFFF) >> (32 - bits)


def main():
    md, tsv, sources, emoji_data, out = sys.argv[1:6]
    tables = read_tables(md, tsv, sources)
    emoji_style = read_emoji_property(emoji_data, "Emoji_Presentation")
    modifier_bases = read_emoji_property(emoji_data, "Emoji_Modifier_Base")
    pictographic = read_emoji_property(emoji_data, "Extended_Pictographic")
    lines = [
        "// Generated by tools/make_unicode_tables.py from carrier-codes.md, google-pua.tsv,",
        "// EmojiSources.txt and emoji-data.txt; do not edit.",
        '#include "render/unicode_pictographs.h"',
        "",
        "#include <algorithm>",
        "#include <iterator>",
        "",
        "namespace {",
        "",
    ]
    counts = []
    block_bits = {}
    step_info = {}
    for carrier in CARRIERS:
        entries = tables[carrier]
        lines.append(f"constexpr UnicodePictograph {carrier.upper()}[] = {{")
        for sequence in sorted(entries):
            codes = entries[sequence]
            assert len(sequence) <= MAX_SEQUENCE and len(codes) <= MAX_CODES, (sequence, codes)
            cps = ", ".join(f"0x{cp:X}" for cp in sequence)
            sjis = ", ".join(f"0x{code:04X}" for code in codes)
            # A lone standard character shown as text by default stays text without U+FE0F.
            text_style = len(sequence) == 1 and not is_private_use(sequence[0]) and sequence[0] not in emoji_style
            # A lone character that takes a skin tone: the modifier after it goes into its image.
            modifier_base = len(sequence) == 1 and sequence[0] in modifier_bases
            lines.append(f"    {{{{{cps}}}, {len(sequence)}, {{{sjis}}}, {len(codes)}, {str(text_style).lower()}, "
                         f"{str(modifier_base).lower()}}},")
        lines.append("};")
        # Where each first code point's block of entries starts, found by hashing: an open
        # table of twice as many slots as blocks at least, probed one slot on at a time.
        ordered = sorted(entries)
        starts = {}
        for index, sequence in enumerate(ordered):
            starts.setdefault(sequence[0], index)
        bits = max(4, (2 * len(starts) - 1).bit_length())
        slots = [0xFFFF] * (1 << bits)
        for cp, index in starts.items():
            slot = hash_slot(cp, bits)
            while slots[slot] != 0xFFFF:
                slot = (slot + 1) & ((1 << bits) - 1)
            slots[slot] = index
        block_bits[carrier] = bits
        lines.append(f"constexpr uint16_t {carrier.upper()}_BLOCKS[{1 << bits}] = {{")
        lines += [f"    {', '.join(str(v) for v in slots[k:k + 16])}," for k in range(0, len(slots), 16)]
        lines.append("};")
        # Bit (b1 & 63) of word b0: some entry may begin with the bytes b0 b1 in UTF-8. For a
        # first code point of one byte (keycaps: a digit, '#' or '*'), b1 is the first byte of
        # what must follow it: the second code point, or U+FE0F before it; every bit for an
        # entry of that one byte alone. Digits in text are common; keycaps are not.
        words = [0] * 256
        for sequence in entries:
            encoded = chr(sequence[0]).encode("utf-8")
            if len(encoded) > 1:
                words[encoded[0]] |= 1 << (encoded[1] & 63)
            elif len(sequence) == 1:
                words[encoded[0]] |= (1 << 64) - 1
            else:
                for follower in (sequence[1], 0xFE0F):
                    words[encoded[0]] |= 1 << (chr(follower).encode("utf-8")[0] & 63)
        lines.append(f"constexpr uint64_t {carrier.upper()}_PREFIXES[256] = {{")
        lines += [f"    {', '.join(f'0x{w:X}' for w in words[k:k + 8])}," for k in range(0, 256, 8)]
        lines.append("};")
        steps, accepting = make_steps(words)
        lines.append(f"constexpr uint8_t {carrier.upper()}_STEPS[{len(steps)}][256] = {{")
        for row in steps:
            lines.append("    {" + ", ".join(str(v) for v in row) + "},")
        lines.append("};")
        step_info[carrier] = accepting
        lines.append("")
        counts.append(len(entries))
    runs = ranges_of(pictographic)
    lines.append(f"constexpr char32_t PICTOGRAPHIC[{len(runs)}][2] = {{")
    lines += [f"    {{0x{a:X}, 0x{b:X}}}," for a, b in runs]
    lines.append("};")
    lines += [
        "}  // namespace",
        "",
        "bool IsExtendedPictographic(char32_t cp) {",
        "    const auto* run = std::upper_bound(std::begin(PICTOGRAPHIC), std::end(PICTOGRAPHIC), cp,",
        "                                       [](char32_t c, const char32_t (&r)[2]) { return c < r[0]; });",
        "    return run != std::begin(PICTOGRAPHIC) && cp <= (*(run - 1))[1];",
        "}",
        "",
        "const UnicodePictographTable UNICODE_PICTOGRAPHS[3] = {",
        *(f"    {{{c.upper()}, sizeof {c.upper()} / sizeof {c.upper()}[0], {c.upper()}_BLOCKS, "
          f"{block_bits[c]}, {c.upper()}_PREFIXES, {c.upper()}_STEPS, {step_info[c]}}},"
          for c in CARRIERS),
        "};",
        "",
    ]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print(f"unicode tables: {', '.join(f'{c} {n}' for c, n in zip(CARRIERS, counts))} entries")


if __name__ == "__main__":
    main()
