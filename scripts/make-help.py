#!/usr/bin/env python3
"""Builds the tray program's help file from its readable source.

Usage: make-help.py SOURCE.txt OUTPUT.hlp [OUTPUT.cnt]
       (default contents file: OUTPUT.hlp with the extension .cnt)

Writes a Windows help file of the WinHelp 4 kind (help format 1.33, as Windows 95/98/NT 4's
winhlp32.exe reads it) and its contents file. Only the standard library is used.

The source (help/ZnSetup.txt) is plain text:
  # comment                       (only at the start of a line)
  @title TEXT                     help file title (before the first topic)
  @copyright TEXT                 copyright line (before the first topic)
  == context_name: Topic title    starts a topic; the first topic is the contents topic
  @book NAME                      the contents book the topic is listed under
  @keywords one; two; three       index entries leading to this topic
  ### Heading                     a bold line inside a topic
  - item                          a bulleted list item (continuation lines are indented)
  other lines                     paragraphs, separated by blank lines
Inside text: **bold**, [[context_name]] (a jump showing the topic's title) and
[[context_name|text]] (a jump showing the text). Context names use letters, digits, '_' and '.'.

The file layout follows the public descriptions of the format: the 16-byte file header, the
internal files each behind a 9-byte file header, and the internal directory (a B+ tree of
names and offsets). The internal files written are |SYSTEM, |TOPIC (uncompressed 4 KB topic
blocks: topic header records and paragraph records, closed by an empty topic header), |CONTEXT
(context-name hashes to topic offsets), |CTXOMAP (context numbers; none), |TTLBTREE (titles),
|FONT, |KWBTREE, |KWDATA and |KWMAP (the keyword index).
"""
import os
import re
import struct
import sys

PAGE_DIR = 0x400     # page size of the internal directory
PAGE_TREE = 0x800    # page size of the other B+ trees
BLOCK = 0x1000       # topic block size (uncompressed, help format 1.33 with flags 0)
BLOCK_DATA = BLOCK - 12
NONE = 0xFFFFFFFF
LCID_US_ENGLISH = 0x0409   # the language of the texts

# Fonts of |FONT: (face, half-points, bold). Numbers used by the paragraphs below.
FACES = ["Arial"]
FONTS = [("Arial", 20, False), ("Arial", 20, True), ("Arial", 28, True)]
F_TEXT, F_BOLD, F_TITLE = 0, 1, 2


class SourceError(Exception):
    pass


# ------------------------------------------------------------------------------------ source

class Topic:
    def __init__(self, name, title, line):
        self.name, self.title, self.line = name, title, line
        self.book = None
        self.keywords = []
        self.paras = []   # (kind, text): kind is 'p', 'h' or 'li'


CONTEXT_RE = re.compile(r"^[A-Za-z0-9_.]+$")


def parse_source(text):
    meta = {"title": "", "copyright": ""}
    topics = []
    cur = None
    para = None  # [kind, [lines]]

    def flush():
        nonlocal para
        if para and cur is not None:
            cur.paras.append((para[0], " ".join(s.strip() for s in para[1])))
        para = None

    for no, raw in enumerate(text.replace("\t", "    ").splitlines(), 1):
        line = raw.rstrip()
        if line.startswith("#") and not line.startswith("###"):
            continue
        if line.startswith("== "):
            flush()
            head = line[3:]
            if ":" not in head:
                raise SourceError(f"line {no}: a topic line reads '== name: Title'")
            name, title = (s.strip() for s in head.split(":", 1))
            if not CONTEXT_RE.match(name) or not title:
                raise SourceError(f"line {no}: bad context name or empty title: {line!r}")
            cur = Topic(name, title, no)
            topics.append(cur)
            continue
        if line.startswith("@"):
            flush()
            key, _, value = line[1:].partition(" ")
            value = value.strip()
            if cur is None and key in ("title", "copyright"):
                meta[key] = value
            elif cur is not None and key == "book":
                cur.book = value
            elif cur is not None and key == "keywords":
                cur.keywords += [k.strip() for k in value.split(";") if k.strip()]
            else:
                raise SourceError(f"line {no}: unknown or misplaced @{key}")
            continue
        if not line.strip():
            flush()
            continue
        if cur is None:
            raise SourceError(f"line {no}: text before the first topic")
        if line.startswith("### "):
            flush()
            cur.paras.append(("h", line[4:].strip()))
        elif line.startswith("- "):
            flush()
            para = ["li", [line[2:]]]
        elif para is not None and (para[0] == "p" or raw.startswith("  ")):
            para[1].append(line)
        else:
            flush()
            para = ["p", [line]]
    flush()
    if not topics:
        raise SourceError("no topics")
    if not meta["title"]:
        raise SourceError("no @title")
    names = {}
    for t in topics:
        if t.name.lower() in names:
            raise SourceError(f"line {t.line}: context name {t.name} used twice")
        names[t.name.lower()] = t
    return meta, topics


INLINE_RE = re.compile(r"\*\*(.+?)\*\*|\[\[([^\]|]+)(?:\|([^\]]+))?\]\]")


def inline_items(text, by_name, font):
    """Text with **bold** and [[jumps]] as a list of ('text', s) / ('font', n) / ('jump', hash) /
    ('end',) items; the jumps are checked against the topics."""
    items = []
    pos = 0
    for m in INLINE_RE.finditer(text):
        if m.start() > pos:
            items.append(("text", text[pos:m.start()]))
        if m.group(1) is not None:
            items += [("font", F_BOLD), ("text", m.group(1)), ("font", font)]
        else:
            target = by_name.get(m.group(2).strip().lower())
            if target is None:
                raise SourceError(f"jump to an unknown topic: {m.group(2)!r}")
            items += [("jump", context_hash(target.name)), ("text", m.group(3) or target.title), ("end",)]
        pos = m.end()
    if pos < len(text):
        items.append(("text", text[pos:]))
    for kind, *rest in items:
        if kind == "text" and ("**" in rest[0] or "[[" in rest[0] or "]]" in rest[0]):
            raise SourceError(f"unbalanced ** or [[ ]] in: {text!r}")
    return items


def encode_text(s):
    if any(ord(c) < 32 for c in s):
        raise SourceError(f"control character in: {s!r}")
    try:
        return s.encode("cp1252")
    except UnicodeEncodeError as e:
        raise SourceError(f"character outside Windows-1252 in: {s!r}") from e


# ------------------------------------------------------------------------------------ numbers

def context_hash(name):
    """The hash under which |CONTEXT and the jumps name a topic (signed 32-bit)."""
    h = 0
    for c in name:
        if "A" <= c.upper() <= "Z":
            x = ord(c.upper()) - ord("A") + 17
        elif "1" <= c <= "9":
            x = ord(c) - ord("0")
        elif c == "0":
            x = 10
        elif c == ".":
            x = 12
        elif c == "_":
            x = 13
        else:
            raise SourceError(f"character {c!r} in context name {name!r}")
        h = (h * 43 + x) & 0xFFFFFFFF
    return h - (1 << 32) if h & 0x80000000 else h


def cshort(v):      # compressed signed short
    if -64 <= v < 64:
        return bytes([(v + 64) * 2])
    return struct.pack("<H", (v + 16384) * 2 + 1)


def cushort(v):     # compressed unsigned short
    if 0 <= v < 128:
        return bytes([v * 2])
    return struct.pack("<H", v * 2 + 1)


def clong(v):       # compressed signed long
    if -16384 <= v < 16384:
        return struct.pack("<H", (v + 16384) * 2)
    return struct.pack("<I", (v + 0x40000000) * 2 + 1)


# ------------------------------------------------------------------------------------ |TOPIC

def paragraph_record(items, font, above=0, below=12, left=0, first=0, tab=None):
    """A paragraph record (type 0x20): its LinkData1 and LinkData2."""
    bits = 0
    fields = b""
    # Space above and below, left indent, first-line indent: each present only when not 0.
    for bit, value in ((0x0002, above), (0x0004, below), (0x0010, left), (0x0040, first)):
        if value:
            bits |= bit
            fields += cshort(value)
    if tab is not None:
        bits |= 0x0200
        fields += cshort(1) + cushort(tab)
    strings, cmds = [], b""
    cur = b""
    for kind, *rest in [("font", font)] + items:
        if kind == "text":
            cur += encode_text(rest[0])
            continue
        strings.append(cur)
        cur = b""
        if kind == "font":
            cmds += b"\x80" + struct.pack("<H", rest[0])
        elif kind == "jump":
            cmds += b"\xE3" + struct.pack("<i", rest[0])
        elif kind == "end":
            cmds += b"\x89"
        elif kind == "tab":
            cmds += b"\x83"
    strings += [cur, b""]
    cmds += b"\x82\xFF"
    ld2 = b"".join(s + b"\0" for s in strings)
    ld1 = clong(len(ld2)) + cushort(len(ld2)) + b"\x00\x80\x00\x00" + struct.pack("<H", bits) + fields + cmds
    return ld1, ld2


class Record:
    def __init__(self, rtype, ld1, ld2, topic=None):
        self.rtype, self.ld1, self.ld2, self.topic = rtype, ld1, ld2, topic
        self.pos = 0       # place in the stream of topic-block data
        self.char = 0      # characters (TopicLength) before it in its block

    @property
    def size(self):
        return 21 + len(self.ld1) + len(self.ld2)

    @property
    def length(self):
        return len(self.ld2) if self.rtype == 0x20 else 0


def topicpos(stream_pos):
    return (stream_pos // BLOCK_DATA) * 0x4000 + 12 + stream_pos % BLOCK_DATA


def topic_records(topics, by_name):
    """All records of |TOPIC in order; topic headers get their LinkData1 filled in later."""
    records = []
    for t in topics:
        header = Record(0x02, b"\0" * 28, encode_text(t.title) + b"\0", t)
        t.header = header
        records.append(header)
        body = [paragraph_record([("text", t.title)], F_TITLE, below=16)]
        prev = None
        for kind, text in t.paras:
            if kind == "h":
                body.append(paragraph_record(inline_items(text, by_name, F_BOLD), F_BOLD, above=12, below=4))
            elif kind == "li":
                items = [("text", "\u2022"), ("tab",)] + inline_items(text, by_name, F_TEXT)
                body.append(paragraph_record(items, F_TEXT, below=4, left=24, first=-16, tab=24))
            else:  # a list closes with the space that paragraphs leave below them
                body.append(paragraph_record(inline_items(text, by_name, F_TEXT), F_TEXT, above=8 if prev == "li" else 0))
            prev = kind
        t.body = [Record(0x20, ld1, ld2, t) for ld1, ld2 in body]
        records += t.body
    # Readers may stop at the last topic link without reading it (HELPDECO does), so the file
    # ends with an empty topic header that carries no text; its header is filled in later.
    records.append(Record(0x02, b"\0" * 28, b""))
    return records


def layout(records):
    """Places the records one after the other in the topic blocks' data and works out each
    record's character count within its block (topic offsets count from a block's start)."""
    pos, block, chars = 0, 0, 0
    for r in records:
        r.pos = pos
        if pos // BLOCK_DATA != block:
            block, chars = pos // BLOCK_DATA, 0
        r.char = chars
        chars += r.length
        pos += r.size
    return pos


def topic_offset(rec):
    return (rec.pos // BLOCK_DATA) * 0x8000 + rec.char


def build_topic_file(topics, records):
    total = layout(records)
    end = records[-1]
    for i, t in enumerate(topics):
        size = sum(r.size for r in [t.header] + t.body)
        nxt = topics[i + 1].header if i + 1 < len(topics) else end
        t.header.ld1 = struct.pack("<iIIIIII", size, NONE, NONE, i, NONE, topicpos(t.body[0].pos), topicpos(nxt.pos))
        t.offset = topic_offset(t.header)
    # The closing header: no text, no scrolling region, no topic after it.
    end.ld1 = struct.pack("<iIIIIII", 0, NONE, NONE, len(topics), NONE, NONE, NONE)
    stream = bytearray()
    for i, r in enumerate(records):
        nxt = topicpos(records[i + 1].pos) if i + 1 < len(records) else NONE
        prev = topicpos(records[i - 1].pos) if i else NONE
        stream += struct.pack("<iiIIiB", r.size, len(r.ld2), prev, nxt, 21 + len(r.ld1), r.rtype) + r.ld1 + r.ld2
    assert len(stream) == total
    nblocks = max(1, -(-total // BLOCK_DATA))
    stream += b"\0" * (nblocks * BLOCK_DATA - total)
    # Each block's header: the last record and the last topic header before the block, and the
    # first record that starts in it.
    in_block = [[] for _ in range(nblocks)]
    for r in records:
        in_block[r.pos // BLOCK_DATA].append(r)
    out = bytearray()
    last, last_head = NONE, NONE
    for b in range(nblocks):
        first = topicpos(in_block[b][0].pos) if in_block[b] else NONE
        out += struct.pack("<III", last, first, last_head)
        out += stream[b * BLOCK_DATA:(b + 1) * BLOCK_DATA]
        for r in in_block[b]:
            last = topicpos(r.pos)
            if r.rtype == 0x02:
                last_head = last
    return bytes(out)


# ------------------------------------------------------------------------------------ B+ trees

def btree(entries, structure, page_size=PAGE_TREE, directory=False, key_bytes=None):
    """A B+ tree of (key, leaf bytes) entries, already sorted. key_bytes(key) gives the key as
    an index page stores it. Returns the tree and the leaf pages as (first entry, page)."""
    pages, leaves = [], []
    cur, count, first = b"", 0, 0
    for i, (key, data) in enumerate(entries):
        if count and 8 + len(cur) + len(data) > page_size:
            leaves.append((first, count, cur))
            cur, count, first = b"", 0, i
        if 8 + len(data) > page_size:
            raise SourceError(f"entry too long for a B+ tree page: {key!r}")
        cur += data
        count += 1
    leaves.append((first, count, cur))
    for n, (first, count, body) in enumerate(leaves):
        prev = n - 1 if n else 0xFFFF
        nxt = n + 1 if n + 1 < len(leaves) else 0xFFFF
        pages.append(struct.pack("<HhHH", page_size - 8 - len(body), count, prev, nxt) + body)
    level = [(entries[first][0] if entries else b"", n) for n, (first, _, _) in enumerate(leaves)]
    levels = 1
    while len(level) > 1:
        upper, group = [], []
        used = 0
        for key, page in level:
            ent = key_bytes(key) + struct.pack("<H", page)
            if group and 6 + used + len(ent) > page_size:
                upper.append(group)
                group, used = [], 0
            group.append((key, page, ent))
            used += len(ent)
        upper.append(group)
        level = []
        for group in upper:
            body = b"".join(ent for _, _, ent in group[1:])
            pages.append(struct.pack("<HhH", page_size - 6 - len(body), len(group) - 1, group[0][1]) + body)
            level.append((group[0][0], len(pages) - 1))
        levels += 1
    head = struct.pack("<HHH16shhHhHhi", 0x293B, 0x0402 if directory else 0x0002, page_size,
                       structure.encode().ljust(16, b"\0"), 0, 0, level[0][1], -1, len(pages), levels,
                       len(entries))
    return head + b"".join(p.ljust(page_size, b"\0") for p in pages), leaves


# ------------------------------------------------------------------------------------ files

def system_file(meta, contents_offset, cnt_name, made):
    recs = [(1, encode_text(meta["title"]) + b"\0")]
    if meta["copyright"]:
        recs.append((2, encode_text(meta["copyright"]) + b"\0"))
    recs += [(3, struct.pack("<I", contents_offset)), (10, cnt_name.encode() + b"\0"), (11, struct.pack("<H", 0))]
    # The language: eight bytes left 0, then the locale id at offset 8, where readers take it.
    recs.append((9, struct.pack("<4HH", 0, 0, 0, 0, LCID_US_ENGLISH)))
    # The main window, named and captioned with the title (flags: name and caption valid).
    recs.append((6, struct.pack("<H10s9s51s5h2I", 0x0006, b"", b"main", encode_text(meta["title"])[:50], 0, 0, 0, 0, 0, 0, 0)))
    out = struct.pack("<HHHIH", 0x036C, 33, 1, max(0, int(made) - 315532800), 0)
    for rtype, data in recs:
        out += struct.pack("<HH", rtype, len(data)) + data
    return out


def font_file():
    facelen = 32
    head = 8
    faces = b"".join(f.encode().ljust(facelen, b"\0") for f in FACES)
    descs = b""
    for face, half, bold in FONTS:
        descs += struct.pack("<BBBH3s3s", 1 if bold else 0, half, 3, FACES.index(face), b"\0\0\0", b"\xff\xff\xff")
    return struct.pack("<HHHH", len(FACES), len(FONTS), head, head + len(faces)) + faces + descs


def keyword_files(topics):
    seen = {}
    for t in topics:
        for k in t.keywords:
            if k.lower() in seen:
                raise SourceError(f"index entry {k!r} given twice (topics {seen[k.lower()].name} and {t.name}); "
                                  "each entry leads to one topic")
            seen[k.lower()] = t
    # In the order in which WinHelp lists and looks them up: regardless of case.
    ordered = sorted(seen.items(), key=lambda kv: encode_text(kv[0]))
    kwdata = b""
    entries = []
    for low, t in ordered:
        word = next(k for k in t.keywords if k.lower() == low)
        entries.append((encode_text(word), encode_text(word) + b"\0" + struct.pack("<hI", 1, len(kwdata))))
        kwdata += struct.pack("<I", t.offset)
    tree, leaves = btree(entries, "F24", key_bytes=lambda k: k + b"\0")
    # For each leaf page (the leaves are the first pages) the number of the first entry on it,
    # behind the count of leaf pages.
    kwmap = struct.pack("<H", len(leaves)) + b"".join(struct.pack("<IH", first, n) for n, (first, _, _) in enumerate(leaves))
    return tree, kwdata, kwmap


def assemble(files):
    """The whole help file: header, the internal files, the directory last."""
    out = bytearray(16)
    offsets = {}
    for name in sorted(files, key=lambda n: n.encode()):
        offsets[name] = len(out)
        data = files[name]
        out += struct.pack("<IIB", len(data) + 9, len(data), 4) + data
    entries = [(n.encode(), n.encode() + b"\0" + struct.pack("<I", offsets[n])) for n in sorted(offsets, key=lambda n: n.encode())]
    directory, _ = btree(entries, "z4", PAGE_DIR, directory=True, key_bytes=lambda k: k + b"\0")
    dir_at = len(out)
    out += struct.pack("<IIB", len(directory) + 9, len(directory), 4) + directory
    out[0:16] = struct.pack("<IIiI", 0x00035F3F, dir_at, -1, len(out))
    return bytes(out)


def contents_file(meta, topics, hlp_name):
    lines = [f":Base {hlp_name}", f":Title {meta['title']}", f":Index {meta['title']}={hlp_name}"]
    books = []
    for t in topics:
        if t.book not in books:
            books.append(t.book)
    for b in books:
        level = 1
        if b is not None:
            lines.append(f"1 {b}")
            level = 2
        lines += [f"{level} {t.title}={t.name}" for t in topics if t.book == b]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def build(source_text, hlp_name, cnt_name, made=0):
    meta, topics = parse_source(source_text)
    by_name = {t.name.lower(): t for t in topics}
    records = topic_records(topics, by_name)
    topic = build_topic_file(topics, records)
    ctx = sorted((context_hash(t.name), t.offset) for t in topics)
    if len({h for h, _ in ctx}) != len(ctx):
        raise SourceError("two context names share one hash")
    context, _ = btree([(h, struct.pack("<iI", h, o)) for h, o in ctx], "L4", key_bytes=lambda h: struct.pack("<i", h))
    titles, _ = btree([(t.offset, struct.pack("<I", t.offset) + encode_text(t.title) + b"\0")
                       for t in sorted(topics, key=lambda t: t.offset)], "Lz", key_bytes=lambda o: struct.pack("<I", o))
    kwbtree, kwdata, kwmap = keyword_files(topics)
    # |CTXOMAP maps context numbers (HELP_CONTEXT) to topics; the source names none, so it is
    # only its entry count.
    files = {"|SYSTEM": system_file(meta, topics[0].offset, cnt_name, made), "|TOPIC": topic, "|CONTEXT": context,
             "|CTXOMAP": struct.pack("<H", 0), "|TTLBTREE": titles, "|FONT": font_file(), "|KWBTREE": kwbtree,
             "|KWDATA": kwdata, "|KWMAP": kwmap}
    return assemble(files), contents_file(meta, topics, hlp_name)


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    src, hlp = argv[1], argv[2]
    cnt = argv[3] if len(argv) == 4 else re.sub(r"\.[^./\\]*$", "", hlp) + ".cnt"
    base = lambda p: re.split(r"[/\\]", p)[-1]
    try:
        # The file's date (seconds since 1980 in |SYSTEM) is the source's, so that the same
        # source gives the same file.
        made = int(os.environ.get("SOURCE_DATE_EPOCH") or os.stat(src).st_mtime)
        with open(src, encoding="utf-8") as f:
            hlp_bytes, cnt_bytes = build(f.read(), base(hlp), base(cnt), made)
    except UnicodeDecodeError:
        print(f"make-help: {src}: not UTF-8 text", file=sys.stderr)
        return 1
    except (OSError, SourceError) as e:
        print(f"make-help: {src}: {e}", file=sys.stderr)
        return 1
    with open(hlp, "wb") as f:
        f.write(hlp_bytes)
    with open(cnt, "wb") as f:
        f.write(cnt_bytes)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
