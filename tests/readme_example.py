#!/usr/bin/env python3
"""The README's C example is the file the tests compile: the fenced block
that follows the line naming example.c must hold that file's text."""
import sys

readme, example = (open(p).read() for p in sys.argv[1:3])
marker = "tests/install/example.c"
start = readme.find("```c\n", readme.find(marker))
end = readme.find("```\n", start + 5)
if readme.find(marker) < 0 or start < 0 or readme[start + 5:end] != example:
    sys.exit("README's C example differs from " + marker)
