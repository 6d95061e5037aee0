"""What the browser tests of herald's preview share: their command line, the
checks that fail without stopping, and how they end."""

import argparse
import os
import shutil
import sys

failures = []


def expect(condition, message):
    """Records a failed check and goes on; the test fails at finish()."""
    if not condition:
        failures.append(message)
        print("FAILED: " + message)
    return condition


def arguments():
    """--herald, --chromium, --source and --out, with Chromium found and the
    output folder made: (arguments, chromium's path, the output folder)."""
    parser = argparse.ArgumentParser()
    for name in ("herald", "chromium", "source", "out"):
        parser.add_argument("--" + name, required=True)
    parsed = parser.parse_args()
    chromium = shutil.which(parsed.chromium) or ""
    if not chromium:
        sys.exit("chromium not found (%s): bash scripts/install-deps.sh installs it" % parsed.chromium)
    out = os.path.abspath(parsed.out)
    os.makedirs(out, exist_ok=True)
    return parsed, chromium, out


def finish(passed):
    """Exits failing when a check failed, else says passed."""
    if failures:
        sys.exit("%d checks failed" % len(failures))
    print(passed)
