#!/usr/bin/env python3
"""Counts test cases from CTest's JUnit file: the GoogleTest cases inside each test program,
and a program without GoogleTest output (a script, or one that crashed) as one case.
Prints 'N passed, M failed'; exits 1 when anything failed or nothing ran."""
import re
import sys
import xml.etree.ElementTree as ET

passed = failed = 0
try:
    root = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError, IndexError) as err:
    print(f"no test results: {err}")
    print("0 passed, 1 failed")
    sys.exit(1)
for case in root.iter("testcase"):
    out = "".join(case.itertext())
    ok = len(re.findall(r"^\[       OK \] ", out, re.M))
    bad = len(re.findall(r"^\[  FAILED  \] \S+ \(\d+ ms\)", out, re.M))
    program_failed = case.get("status") == "fail"
    if ok or bad:
        passed += ok
        failed += bad
        if program_failed and bad == 0:
            failed += 1  # every case passed, yet the program failed (crash at exit, time-out)
    elif program_failed:
        failed += 1
    else:
        passed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed or not passed else 0)
