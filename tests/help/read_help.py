#!/usr/bin/env python3
"""Reads a WinHelp 4 help file back and checks that it holds together.

Usage: read_help.py FILE.hlp [SOURCE.txt]

Checks the internal file system (header, directory B+ tree, every internal file inside the
file and none overlapping), |SYSTEM (with the language), |FONT, every record of |TOPIC (links
between records, topic headers, paragraph layout and formatting commands, text strings, the
empty closing link), |CONTEXT, |CTXOMAP, |TTLBTREE and the keyword index (|KWBTREE, |KWDATA,
|KWMAP with its count of leaf pages); that every jump and context name leads to a
topic, and that every topic is reachable from the contents (the contents file beside the help
file and the jumps from the contents topic). With the source, also that each of its topics is
in the file under its context name and title. Prints a summary; exits 1 on the first fault.

This reader is written from the format's public description, apart from the generator.
"""
import os
import re
import struct
import sys

REQUIRED = ["|CONTEXT", "|CTXOMAP", "|FONT", "|KWBTREE", "|KWDATA", "|KWMAP", "|SYSTEM", "|TOPIC", "|TTLBTREE"]


class Fault(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Fault(what)


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def i32(b, o):
    return struct.unpack_from("<i", b, o)[0]


def hash_name(name):
    h = 0
    for c in name.upper():
        x = {".": 12, "_": 13, "0": 10}.get(c)
        if x is None:
            x = ord(c) - 48 if "1" <= c <= "9" else ord(c) - 64 + 16
        h = (h * 43 + x) % (1 << 32)
    return h - (1 << 32) if h >= 1 << 31 else h


def read_tree(data, parse_leaf, parse_index, name, leaves=None):
    """All leaf entries of a B+ tree, in order, as parse_leaf returns them (entry, next offset).
    Follows the index pages from the root down to the first leaf, checks the leaf chain. Adds
    (number of the first entry, page number) of each leaf page to leaves if given."""
    check(u16(data, 0) == 0x293B, f"{name}: B+ tree magic")
    page_size, root, total_pages, levels, total = u16(data, 4), u16(data, 26), u16(data, 30), u16(data, 32), i32(data, 34)
    check(u16(data, 28) == 0xFFFF and levels >= 1, f"{name}: B+ tree header")
    check(len(data) >= 38 + total_pages * page_size, f"{name}: {total_pages} pages do not fit")
    page = lambda n: data[38 + n * page_size:38 + (n + 1) * page_size]
    cur = root
    for _ in range(levels - 1):
        check(cur < total_pages, f"{name}: index page number")
        p = page(cur)
        at = 6
        for _ in range(struct.unpack_from("<h", p, 2)[0]):
            _, at = parse_index(p, at)
            at += 2
        cur = u16(p, 4)
    out, prev = [], 0xFFFF
    while cur != 0xFFFF:
        check(cur < total_pages, f"{name}: leaf page number")
        p = page(cur)
        check(u16(p, 4) == prev, f"{name}: leaf chain")
        if leaves is not None:
            leaves.append((len(out), cur))
        at = 8
        for _ in range(struct.unpack_from("<h", p, 2)[0]):
            entry, at = parse_leaf(p, at)
            out.append(entry)
        check(at + u16(p, 0) == page_size, f"{name}: free bytes of a leaf page")
        prev, cur = cur, u16(p, 6)
    check(len(out) == total, f"{name}: {len(out)} entries, header says {total}")
    return out


def zstr(b, at):
    end = b.index(b"\0", at)
    return b[at:end], end + 1


def cval(b, at, kind):
    """A compressed value of LinkData1: 's' short, 'u' unsigned short, 'l' long."""
    if kind == "l":
        if b[at] & 1:
            return u32(b, at) // 2 - 0x40000000, at + 4
        return u16(b, at) // 2 - 16384, at + 2
    if b[at] & 1:
        v = u16(b, at) // 2
        return (v - 16384 if kind == "s" else v), at + 2
    return (b[at] // 2 - 64 if kind == "s" else b[at] // 2), at + 1


def read_help(path):
    data = open(path, "rb").read()
    check(len(data) >= 16 and u32(data, 0) == 0x00035F3F, "not a help file (magic)")
    check(u32(data, 12) == len(data), f"header gives size {u32(data, 12)}, file has {len(data)}")
    check(i32(data, 8) == -1, "a free list in a freshly made file")

    def internal(off, name):
        check(off + 9 <= len(data), f"{name}: file header outside the file")
        reserved, used = u32(data, off), u32(data, off + 4)
        check(reserved >= used + 9 and off + reserved <= len(data), f"{name}: size {used}/{reserved} does not fit")
        return data[off + 9:off + 9 + used], (off, off + reserved)

    directory, dir_span = internal(u32(data, 4), "directory")
    check(u16(directory, 2) & 0x0400, "directory flag")
    names = read_tree(directory, lambda p, at: (lambda s: ((s[0], u32(p, s[1])), s[1] + 4))(zstr(p, at)),
                      lambda p, at: zstr(p, at), "directory")
    check([n for n, _ in names] == sorted(n for n, _ in names), "directory not sorted")
    files, spans = {}, [dir_span]
    for raw, off in names:
        name = raw.decode("ascii")
        files[name], span = internal(off, name)
        spans.append(span)
    spans.sort()
    check(all(a[1] <= b[0] for a, b in zip(spans, spans[1:])) and spans[0][0] >= 16, "internal files overlap")
    for name in REQUIRED:
        check(name in files, f"internal file {name} missing")

    # |SYSTEM
    s = files["|SYSTEM"]
    check(u16(s, 0) == 0x036C and u16(s, 2) == 33 and u16(s, 4) == 1, "|SYSTEM header (help format 1.33)")
    check(u16(s, 10) == 0, "|SYSTEM flags: uncompressed topics")
    system, at = {}, 12
    while at < len(s):
        rtype, size = u16(s, at), u16(s, at + 2)
        check(at + 4 + size <= len(s), "|SYSTEM record runs past the end")
        system[rtype] = s[at + 4:at + 4 + size]
        at += 4 + size
    check(1 in system and system[1].endswith(b"\0") and len(system[1]) > 1, "|SYSTEM has no title")
    check(3 in system and len(system[3]) == 4, "|SYSTEM has no contents topic")
    check(6 not in system or len(system[6]) == 90, "|SYSTEM window record size")
    # The language record: the locale id at offset 8 (US English, the language of the texts).
    check(9 in system and len(system[9]) == 10 and u16(system[9], 8) == 0x0409,
          "|SYSTEM has no LCID record for US English (0x0409)")
    title = system[1][:-1].decode("cp1252")

    # |FONT
    f = files["|FONT"]
    nfaces, ndescs, faces_at, descs_at = struct.unpack_from("<HHHH", f, 0)
    check(nfaces and ndescs and faces_at == 8 and descs_at > faces_at, "|FONT header")
    facelen = (descs_at - faces_at) // nfaces
    check(descs_at + 11 * ndescs == len(f), "|FONT size")
    for d in range(ndescs):
        check(u16(f, descs_at + 11 * d + 3) < nfaces, "|FONT descriptor names no face")
    faces = [f[faces_at + i * facelen:faces_at + (i + 1) * facelen].split(b"\0")[0].decode() for i in range(nfaces)]

    # |TOPIC: blocks of 4096 bytes, 12-byte block header, records chained by TOPICPOS.
    t = files["|TOPIC"]
    check(len(t) % 4096 == 0 and t, "|TOPIC is not made of whole 4 KB blocks")
    nblocks = len(t) // 4096
    stream = b"".join(t[b * 4096 + 12:(b + 1) * 4096] for b in range(nblocks))
    to_stream = lambda pos: ((pos - 12) >> 14) * 4084 + ((pos - 12) & 0x3FFF)
    topics, records, jumps = [], [], []
    pos, prev, chars, block = 12, 0xFFFFFFFF, 0, 0
    while pos != 0xFFFFFFFF:
        check(pos >= 12 and (pos - 12) & 0x3FFF < 4084, f"|TOPIC: bad record position {pos:#x}")
        at = to_stream(pos)
        check(at + 21 <= len(stream), f"|TOPIC: record {pos:#x} outside the topic blocks")
        size, len2, back, nxt, len1, rtype = struct.unpack_from("<iiIIiB", stream, at)
        check(back == prev, f"|TOPIC: record {pos:#x} links back to {back:#x}, not {prev:#x}")
        check(21 <= len1 <= size and at + size <= len(stream) and len2 == size - len1, f"|TOPIC: record {pos:#x} sizes")
        ld1, ld2 = stream[at + 21:at + len1], stream[at + len1:at + size]
        if (pos - 12) >> 14 != block:
            block, chars = (pos - 12) >> 14, 0
        if nxt == 0xFFFFFFFF:
            # Readers stop at the last link without reading it: it must be an empty topic
            # header that the last topic leads to, and hold no text.
            check(rtype == 0x02 and len2 == 0 and len(ld1) == 28,
                  "|TOPIC does not end with an empty topic link; the last link's text would be lost")
            check(topics and topics[-1]["next"] == pos, "the last topic header does not lead to the closing link")
            check(i32(ld1, 12) == len(topics) and u32(ld1, 24) == 0xFFFFFFFF, "closing topic link's header")
            records.append(pos)
            break
        if rtype == 0x02:
            check(len(ld1) == 28, "topic header size")
            _, bbck, bfor, num, nonscroll, scroll, next_topic = struct.unpack_from("<iIIiIII", ld1)
            check(num == len(topics), "topic numbers run from 0")
            check(ld2.endswith(b"\0") and len(ld2) > 1, "topic without title")
            topics.append({"title": ld2.split(b"\0")[0].decode("cp1252"), "offset": block * 0x8000 + chars,
                           "pos": pos, "scroll": scroll, "next": next_topic, "jumps": set()})
            if len(topics) > 1:
                check(topics[-2]["next"] == pos, "topic header does not lead to the next topic")
        else:
            check(rtype == 0x20, f"|TOPIC: record type {rtype:#x}")
            check(topics, "paragraph before the first topic")
            if topics[-1]["scroll"] != 0xFFFFFFFF and not topics[-1].get("seen"):
                check(topics[-1]["scroll"] == pos, "topic's scrolling region does not start at its first paragraph")
                topics[-1]["seen"] = True
            tsize, i = cval(ld1, 0, "l")
            tlen, i = cval(ld1, i, "u")
            check(tsize == len(ld2) == tlen, "paragraph text sizes")
            chars += tlen
            i += 4
            bits = u16(ld1, i)
            i += 2
            check(not bits & ~0x0E7E, f"paragraph bits {bits:#x}")
            for bit in (0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040):
                if bits & bit:
                    _, i = cval(ld1, i, "s")
            if bits & 0x0200:
                ntabs, i = cval(ld1, i, "s")
                for _ in range(ntabs):
                    stop, i = cval(ld1, i, "u")
                    if stop & 0x4000:
                        _, i = cval(ld1, i, "u")
            strings = ld2.split(b"\0")[:-1]
            check(ld2.endswith(b"\0"), "paragraph text not terminated")
            ncmd, open_jump = 0, False
            while True:
                check(i < len(ld1), "formatting commands run past the record")
                c = ld1[i]
                ncmd += 1
                if c == 0xFF:
                    i += 1
                    break
                if c == 0x80:
                    check(u16(ld1, i + 1) < ndescs, "font change to an unknown font")
                    i += 3
                elif c in (0x81, 0x82, 0x83, 0x8B, 0x8C):
                    i += 1
                elif c in (0xE2, 0xE3, 0xE6, 0xE7):
                    check(not open_jump, "jump inside a jump")
                    topics[-1]["jumps"].add(i32(ld1, i + 1))
                    jumps.append(i32(ld1, i + 1))
                    open_jump = True
                    i += 5
                elif c == 0x89:
                    check(open_jump, "end of a jump that never started")
                    open_jump = False
                    i += 1
                else:
                    raise Fault(f"unexpected formatting command {c:#x}")
            check(i == len(ld1) and not open_jump, "paragraph formatting does not end cleanly")
            check(len(strings) == ncmd, f"{len(strings)} text strings for {ncmd} formatting commands")
            for s_ in strings:
                s_.decode("cp1252")
        records.append(pos)
        prev, pos = pos, nxt
    check(topics, "no topics")
    for b in range(nblocks):
        first = u32(t, b * 4096 + 4)
        in_block = [r for r in records if (r - 12) >> 14 == b]
        check(first == (in_block[0] if in_block else 0xFFFFFFFF), f"block {b}: first record")
    by_offset = {tp["offset"]: tp for tp in topics}
    check(len(by_offset) == len(topics), "two topics at one offset")

    # |CONTEXT, |TTLBTREE
    context = read_tree(files["|CONTEXT"], lambda p, at: ((i32(p, at), u32(p, at + 4)), at + 8),
                        lambda p, at: (i32(p, at), at + 4), "|CONTEXT")
    check([h for h, _ in context] == sorted(h for h, _ in context), "|CONTEXT not sorted by hash")
    hashes = dict(context)
    for h, off in context:
        check(off in by_offset, f"context {h} leads to {off:#x}, not to a topic")
    for h in jumps:
        check(h in hashes, f"a jump to context hash {h} that names no topic")
    ctxomap = files.get("|CTXOMAP", b"")
    n = u16(ctxomap, 0) if len(ctxomap) >= 2 else -1
    check(len(ctxomap) == 2 + 8 * n, "|CTXOMAP is not a count followed by its entries")
    for k in range(n):
        check(u32(ctxomap, 6 + 8 * k) in by_offset, f"|CTXOMAP: context number {i32(ctxomap, 2 + 8 * k)} leads to no topic")
    contents_offset = u32(system[3], 0)
    check(contents_offset in by_offset, "the contents topic is not a topic")
    titles = read_tree(files["|TTLBTREE"], lambda p, at: (lambda o, s: ((o, s[0]), s[1]))(u32(p, at), zstr(p, at + 4)),
                       lambda p, at: (u32(p, at), at + 4), "|TTLBTREE")
    check(sorted(o for o, _ in titles) == sorted(by_offset), "|TTLBTREE does not list every topic once")
    for o, ttl in titles:
        check(ttl.decode("cp1252") == by_offset[o]["title"], f"|TTLBTREE title of {o:#x}")

    # Keyword index
    leaves = []
    kw = read_tree(files["|KWBTREE"], lambda p, at: (lambda s: ((s[0], struct.unpack_from("<h", p, s[1])[0], u32(p, s[1] + 2)), s[1] + 6))(zstr(p, at)),
                   lambda p, at: zstr(p, at), "|KWBTREE", leaves)
    check([w.lower() for w, _, _ in kw] == sorted(w.lower() for w, _, _ in kw), "|KWBTREE not sorted regardless of case")
    kwdata = files["|KWDATA"]
    check(len(kwdata) == 4 * sum(c for _, c, _ in kw), "|KWDATA size")
    keywords = {}
    for word, count, off in kw:
        check(count >= 1 and off % 4 == 0 and off + 4 * count <= len(kwdata), f"keyword {word!r} data")
        for k in range(count):
            check(u32(kwdata, off + 4 * k) in by_offset, f"keyword {word!r} leads to no topic")
        keywords[word.decode("cp1252")] = [by_offset[u32(kwdata, off + 4 * k)]["title"] for k in range(count)]
    kwmap = files["|KWMAP"]
    n = u16(kwmap, 0) if len(kwmap) >= 2 else -1
    check(len(kwmap) == 2 + 6 * n and [struct.unpack_from("<iH", kwmap, 2 + 6 * k) for k in range(n)] == leaves,
          "|KWMAP is not a count followed by the first entry and page of each |KWBTREE leaf page")

    # Contents file and reachability
    cnt_name = system.get(10, b"\0")[:-1].decode() or os.path.splitext(os.path.basename(path))[0] + ".cnt"
    cnt_path = os.path.join(os.path.dirname(path), cnt_name)
    check(os.path.exists(cnt_path), f"contents file {cnt_name} missing beside the help file")
    listed = set()
    for line in open(cnt_path, encoding="cp1252").read().splitlines():
        m = re.match(r"^(\d+) ([^=]+)(?:=(.+))?$", line)
        if not m or not m.group(3):
            check(line.startswith(":") or m, f"contents line {line!r}")
            continue
        h = hash_name(m.group(3).split("@")[0].split(">")[0])
        check(h in hashes, f"contents entry {line!r} names no topic")
        listed.add(hashes[h])
    by_hash_topic = lambda h: by_offset[hashes[h]]
    reach, todo = set(), [contents_offset] + sorted(listed)
    while todo:
        o = todo.pop()
        if o not in reach:
            reach.add(o)
            todo += [hashes[h] for h in by_offset[o]["jumps"]]
    missing = [tp["title"] for tp in topics if tp["offset"] not in reach]
    check(not missing, f"topics not reachable from the contents: {missing}")
    return {"title": title, "size": len(data), "files": sorted(files), "topics": topics, "faces": faces,
            "hashes": hashes, "keywords": keywords, "by_hash": by_hash_topic}


def check_source(info, source):
    for m in re.finditer(r"^== ([A-Za-z0-9_.]+): (.+)$", open(source, encoding="utf-8").read(), re.M):
        h = hash_name(m.group(1))
        check(h in info["hashes"], f"topic {m.group(1)} of the source is not in the file")
        check(info["by_hash"](h)["title"] == m.group(2).strip(), f"topic {m.group(1)} has another title")


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        info = read_help(argv[1])
        if len(argv) == 3:
            check_source(info, argv[2])
    except (Fault, struct.error, IndexError, ValueError, UnicodeDecodeError) as e:
        print(f"read_help: {argv[1]}: {e}", file=sys.stderr)
        return 1
    jumps = sum(len(tp["jumps"]) for tp in info["topics"])
    print(f"{os.path.basename(argv[1])}: \"{info['title']}\", {info['size']} bytes, {len(info['topics'])} topics, "
          f"{len(info['keywords'])} index entries, {jumps} jump targets, fonts {info['faces']}, files {' '.join(info['files'])}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
