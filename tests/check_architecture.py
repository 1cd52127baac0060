#!/usr/bin/env python3
"""Holds every #include of src/ to the rooms docs/ARCHITECTURE.md allows.

  check_architecture.py SRC_DIR ARCHITECTURE_MD

A file's room is the longest room of the table its path starts with; it may
include its own room's headers and those of the rooms its row names. Says
each include that breaks the rule, and each room the table names that does
not exist, and exits 1 when there is one.
"""
import os
import re
import sys


def rooms_of(table_text):
    rooms = {}
    for line in table_text.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not cells[0].startswith("`"):
            continue
        room = cells[0].strip("`")
        rooms[room] = set(re.findall(r"`([^`]+/)`", cells[2]))
    return rooms


def room_of(path, rooms):
    best = None
    for room in rooms:
        if path.startswith(room) and (best is None or len(room) > len(best)):
            best = room
    return best


def main():
    src, table = sys.argv[1], sys.argv[2]
    rooms = rooms_of(open(table, encoding="utf-8").read())
    faults = []
    for room in rooms:
        if not os.path.isdir(os.path.join(src, room)):
            faults.append(f"the table names {room}, which src/ does not have")
    for folder, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), src)
            room = room_of(path, rooms)
            if room is None:
                faults.append(f"{path} is in no room of the table")
                continue
            text = open(os.path.join(folder, name), encoding="utf-8", errors="replace").read()
            for included in re.findall(r'^#include "([^"]+)"', text, re.M):
                if not os.path.exists(os.path.join(src, included)):
                    continue  # a generated header or a library's
                used = room_of(included, rooms)
                if used is not None and used != room and used not in rooms[room]:
                    faults.append(f"{path} includes {included}: {room} may not use {used}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
