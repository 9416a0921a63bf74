"""Writing a generated source file, or checking that the committed one is
what its generator makes (the --check of the gen_*.py scripts)."""

import os
import sys


def write_or_check(text, output, check, generator):
    """Writes text to output, or with check set compares it with that file.

    Returns the exit status: 0 when written or identical, 1 when the file
    differs or cannot be read."""
    data = text.encode("utf-8")
    if check is None:
        with open(output, "wb") as f:
            f.write(data)
        return 0
    try:
        with open(check, "rb") as f:
            same = f.read() == data
    except OSError as e:
        print("cannot read %s: %s" % (check, e), file=sys.stderr)
        return 1
    if not same:
        print("%s differs from what %s makes; rerun it" % (check, os.path.basename(generator)), file=sys.stderr)
        return 1
    print("up to date")
    return 0
