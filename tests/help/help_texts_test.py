#!/usr/bin/env python3
"""Every program text the help source quotes is, word for word, a text of the program its topic
names: a string of the program's string table or a text of one of its dialogs, read from the
program's resource script.

The help source marks quotations with double quotes, and names the program whose texts a topic
quotes with a comment line "# quotes: TzDialer" (or Corvane) in the topic. A quoted message
(ending in . ! or ?) must be a whole text; a quoted name or beginning ("Error", "Error 628",
"Tessory Connection") must stand in a text at word boundaries. A number in a quote may stand
for a "%u" of the text, and "..." for a "%u" with the full stop after it.

Usage: help_texts_test.py SOURCE_DIR
"""
import os
import re
import sys
import tempfile

PROGRAMS = {"TzDialer": os.path.join("dialer", "res", "TzDialer.rc"),
            "Corvane": os.path.join("tray", "res", "Corvane.rc")}
LITERAL = re.compile(r'"((?:[^"\\]|\\.|"")*)"')
ESCAPES = {"n": "\n", "t": "\t", "\\": "\\", '"': '"'}


def words(text):
    return " ".join(text.split())


def decode(literal):
    text = re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(0)), literal.replace('""', '"'))
    return re.sub(r"&(.)", r"\1", text)  # the mnemonic marker is not shown ("&&" shows one)


def program_texts(rc_path):
    """The string-table strings and dialog texts (captions and controls) of a resource script."""
    texts, block, depth = set(), None, 0
    for line in open(rc_path, encoding="cp1252"):
        code = line.strip()
        if block is None:
            if code == "STRINGTABLE" or re.match(r"\S+\s+DIALOG(EX)?\s", code):
                block = "strings" if code == "STRINGTABLE" else "dialog"
            continue
        if code == "BEGIN":
            depth += 1
        elif code == "END":
            depth -= 1
            if depth == 0:
                block = None
        elif not code.startswith("FONT") and not code.startswith("//"):
            m = LITERAL.search(code)  # the first literal: a control's class name comes later
            if m and (depth > 0 or code.startswith("CAPTION")):
                texts.add(words(decode(m.group(1))))
    return texts


def quotes_by_topic(help_path):
    """(topic, program named or None, [(line number, quote)]) for each topic."""
    topics = []
    for number, line in enumerate(open(help_path, encoding="utf-8"), 1):
        if line.startswith("== "):
            topics.append([line[3:].split(":")[0], None, []])
        elif not topics:
            continue
        elif m := re.match(r"# quotes: (\S+)\s*$", line):
            topics[-1][1] = m.group(1)
        elif not line.startswith("#"):
            topics[-1][2] += [(number, words(q)) for q in re.findall(r'"([^"]*)"', line)]
    return topics


def forms(quote):
    with_markers = re.sub(r"\d+", "%u", quote)
    return {quote, with_markers, with_markers.replace("...", "%u.")}


def quoted_right(quote, texts):
    if quote[-1:] in ".!?":
        return any(f in texts for f in forms(quote))
    return any(re.search(r"(?<![\w%])" + re.escape(f) + r"(?!\w)", t) for f in forms(quote) for t in texts)


def faults(root, help_path):
    texts = {name: program_texts(os.path.join(root, rc)) for name, rc in PROGRAMS.items()}
    found = []
    for name, t in texts.items():
        if len(t) < 10:
            found.append(f"{PROGRAMS[name]}: only {len(t)} texts read")
    for topic, program, quotes in quotes_by_topic(help_path):
        if quotes and program not in texts:
            found.append(f"topic {topic}: quotes texts but names no program (# quotes: {'|'.join(PROGRAMS)})")
            continue
        for number, quote in quotes:
            if not quote or not quoted_right(quote, texts[program]):
                found.append(f"line {number} ({topic}): \"{quote}\" is not a text of {program}")
    return found


def main(root):
    help_path = os.path.join(root, "help", "ZnSetup.txt")
    found = faults(root, help_path)
    for fault in found:
        print("FAILED: " + fault)
    quotes = sum(len(q) for _, _, q in quotes_by_topic(help_path))
    print(f"measured: {quotes} quotations checked")

    # The check sees a one-word change on either side.
    with tempfile.TemporaryDirectory() as tmp:
        for changed, old, new in [(os.path.join("help", "ZnSetup.txt"), b"There is no answer.", b"There is no reply."),
                                  (PROGRAMS["TzDialer"], b"Enter your password.", b"Type your password.")]:
            for rel in [os.path.join("help", "ZnSetup.txt")] + list(PROGRAMS.values()):
                os.makedirs(os.path.dirname(os.path.join(tmp, rel)), exist_ok=True)
                with open(os.path.join(root, rel), "rb") as f:
                    data = f.read()
                with open(os.path.join(tmp, rel), "wb") as f:
                    f.write(data.replace(old, new) if rel == changed else data)
            if not faults(tmp, os.path.join(tmp, "help", "ZnSetup.txt")):
                found.append(f"changing \"{old.decode()}\" in {changed} went unseen")
                print("FAILED: " + found[-1])
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
