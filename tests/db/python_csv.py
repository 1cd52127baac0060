#!/usr/bin/env python3
"""Prints the records Python's csv module reads from a file, one record a
line, each value as hex, separated by commas:
    python_csv.py FILE DELIMITER [ENCODING]
Without ENCODING the bytes pass as they are (read as latin-1, written back
as latin-1); with it the text is decoded and the values written as UTF-8.
A UTF-8 byte-order mark at the start is left out, a gzip file is read
decompressed, and empty records are left out, as rowsmith-convert --rfc4180
reads files."""
import csv
import gzip
import io
import sys

path, delimiter = sys.argv[1], sys.argv[2]
encoding = sys.argv[3] if len(sys.argv) > 3 else None
with open(path, "rb") as f:
    data = f.read()
if data[:2] == b"\x1f\x8b":
    data = gzip.decompress(data)
if encoding:
    text, out = data.decode(encoding), "utf-8"
else:
    if data[:3] == b"\xef\xbb\xbf":
        data = data[3:]
    text, out = data.decode("latin-1"), "latin-1"
for record in csv.reader(io.StringIO(text, newline=""), delimiter=delimiter, strict=False):
    if record:
        print(",".join(value.encode(out).hex() for value in record))
