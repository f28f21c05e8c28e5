"""Fails when any given text stands in the binary as UTF-8 or UTF-16 bytes."""
import sys

data = open(sys.argv[1], "rb").read()
found = [t for t in sys.argv[2:] if t and (t.encode("utf-8") in data or t.encode("utf-16-le") in data)]
if found:
    print("plain deployment values found in", sys.argv[1], ":", found)
    sys.exit(1)
print("no plain deployment value in", sys.argv[1])
