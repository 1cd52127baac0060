#!/usr/bin/env python3
"""The usual short script: the csv module, one INSERT per row, quotes doubled.
   csv_to_sql.py TABLE FIELDS INPUT OUTPUT"""
import csv
import sys


def main():
    table, fields, source, target = sys.argv[1:5]
    head = f"INSERT INTO {table} ( {fields} ) VALUES ( "
    with open(source, newline="", encoding="utf-8") as src, open(target, "w", encoding="utf-8") as out:
        for row in csv.reader(src):
            values = ",".join("'" + value.replace("'", "''") + "'" for value in row)
            out.write(head + values + " );\n")


if __name__ == "__main__":
    main()
