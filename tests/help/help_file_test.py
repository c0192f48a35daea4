#!/usr/bin/env python3
"""The help file as the build made it, read back; the generator's answers to a large source and
to faulty sources; the reader's answer to a damaged file.

Usage: help_file_test.py BIN_DIR SOURCE_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile

import read_help

HERE = os.path.dirname(os.path.abspath(__file__))


def make(root, text, out_dir):
    src = os.path.join(out_dir, "t.txt")
    with open(src, "wb") as f:
        f.write(text if isinstance(text, bytes) else text.encode("utf-8"))
    hlp = os.path.join(out_dir, "T.hlp")
    r = subprocess.run([sys.executable, os.path.join(root, "scripts", "make-help.py"), src, hlp],
                       capture_output=True, text=True)
    return r.returncode, r.stderr.strip(), hlp


def main(bin_dir, root):
    failures = []

    def expect(cond, what):
        if not cond:
            failures.append(what)
            print("FAILED: " + what)

    # 1. The built file, against its source.
    built = os.path.join(bin_dir, "ZnSetup.hlp")
    info = read_help.read_help(built)
    read_help.check_source(info, os.path.join(root, "help", "ZnSetup.txt"))
    print(f"measured: ZnSetup.hlp {info['size']} bytes, {len(info['topics'])} topics, "
          f"{len(info['keywords'])} index entries")
    expect(info["title"] == "Tessory Help", "title")
    expect(info["topics"][0]["title"] == "Welcome to Tessory", "the contents topic comes first")
    expect(info["keywords"].get("691") == ["Error 691: Wrong user name or password"], "index entry 691")

    with tempfile.TemporaryDirectory() as tmp:
        # 2. A source large enough for several topic blocks and for B+ trees with index pages.
        topics = []
        for n in range(300):
            jump = f" Next: [[t{n + 1}]]." if n < 299 else ""
            topics.append(f"== t{n}: Topic number {n}\n@keywords " + "; ".join(f"word {n} {k}" for k in range(3))
                          + f"\nText of topic {n}, **bold** part.{jump}\n\n- an item\n")
        code, err, hlp = make(root, "@title Large\n" + "\n".join(topics), tmp)
        expect(code == 0, f"large source: {err}")
        if code == 0:
            big = read_help.read_help(hlp)
            expect(len(big["topics"]) == 300 and len(big["keywords"]) == 900, "large source: all topics and entries")
            with open(hlp, "rb") as f:
                data = f.read()
            print(f"measured: 300 topics make {len(data)} bytes")

        # 3. Faulty sources: a clear message, no file.
        for text, words in [("@title X\n== a: A\nSee [[nowhere]].\n", "unknown topic"),
                            ("@title X\n== a: A\n@keywords k\n== b: B\n@keywords K\n", "given twice"),
                            ("@title X\n== a-b: A\n", "bad context name"),
                            ("@title X\n== a: A\nSome **bold.\n", "unbalanced"),
                            ("== a: A\ntext\n", "no @title"),
                            ("@title X\n== a: A\n\u20ac and \u4e00\n", "outside Windows-1252"),
                            ("@title X\n== a: A\nnul \0 in text\n", "control character"),
                            (b"@title X\n== a: A\n\xff\xfe\n", "not UTF-8")]:
            os.path.exists(os.path.join(tmp, "T.hlp")) and os.remove(os.path.join(tmp, "T.hlp"))
            code, err, hlp = make(root, text, tmp)
            expect(code == 1 and words in err and "Traceback" not in err, f"faulty source ({words}): {code} {err}")
            expect(not os.path.exists(hlp), f"faulty source ({words}) left a file")

        # 4. The reader is not fooled: a jump to a context that no topic has, a cut file.
        with open(built, "rb") as f:
            data = bytearray(f.read())
        jump = b"\xE3" + struct.pack("<i", read_help.hash_name("tray_icon"))
        at = data.find(jump)
        expect(at > 0, "the contents topic jumps to tray_icon")
        bad = os.path.join(tmp, "ZnSetup.hlp")
        for name, damaged in [("jump", data[:at + 1] + struct.pack("<i", 12345) + data[at + 5:]),
                              ("cut", data[:-100])]:
            with open(bad, "wb") as f:
                f.write(damaged)
            try:
                read_help.read_help(bad)
                expect(False, f"the reader accepted a damaged file ({name})")
            except read_help.Fault as e:
                print(f"damaged file ({name}): {e}")

    print("help_file_test: " + ("all passed" if not failures else f"{len(failures)} failed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
