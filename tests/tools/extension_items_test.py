#!/usr/bin/env python3
"""The conversion of the browser-extension list into database items, and its refresh script."""

import csv
import os
import re
import subprocess
import sys
import tempfile
import unittest

PROJECT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CONVERTER = os.path.join(PROJECT, "tools", "extension-items", "extension_items.py")
REFRESH = os.path.join(PROJECT, "scripts", "refresh-extensions")
# The list is read where the build reads it: the data folder (PELLORA_DATA_DIR, else ../shared/data).
DATA = os.environ.get("PELLORA_DATA_DIR") or os.path.join(PROJECT, "..", "shared", "data")
DATASET = os.path.join(DATA, "browser-extensions")
HAS_DATASET = os.path.isfile(os.path.join(DATASET, "current-list-meta.csv"))
HEADER = '"EXTID","EXTID-NAME","NOTES","THREAT-TYPE","TPCI-VERIFY"\n'
ITEM = re.compile(r"extension\|[a-p]{32}\|Extension\.[A-Za-z]+(: [ -{}~]{1,64})?\|")

A, B, C, D = ("a" * 32, "b" * 32, "c" * 32, "d" * 32)


def run(*args):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True)


class Conversion(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.database = self.path("database.txt")
        self.write("database.txt", "Starter Database 1\r\n# comment\r\npath|C:\\x.exe|Adware.X|\r\n")

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, text):
        with open(self.path(name), "w", encoding="utf-8", newline="") as f:
            f.write(text)

    def convert(self, csv_text):
        self.write("list.csv", csv_text)
        return run(CONVERTER, "--csv", self.path("list.csv"), "--database", self.database, "--out", self.path("out.txt"))

    def lines(self):
        with open(self.path("out.txt"), "rb") as f:
            return f.read().decode("ascii").split("\r\n")

    def test_rows_become_items_refused_cleaned_and_repeated_rows_do_not(self):
        done = self.convert(
            HEADER
            + f'"{A}","Good | Name\nwith “quotes” &amp; a break","x","adware,data-theft","2"\n'  # lines 2-3
            + f'"{A[:31]}","Short id","x","adware","2"\n'  # line 4
            + f'"{"q" * 32}","Letter q","x","adware","2"\n'  # line 5
            + f'"{B}","Cleaned","x","spyware","4"\n'
            + f'"{A}","Repeated","x","spyware","2"\n'
            + f'"{C}","UNKNOWN","x","unknown","1"\n'
            + f'"{B}","Cleaned, listed again","x","spyware","2"\n'
            + f'"{D}","{"Long name " * 10}","x","Click-Fraud","5"\n'
            + f'"\x1b[2J{A}é","Escape","x","adware","2"\n'  # line 11
        )
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(f'line 4: extension id "{A[:31]}" is not 32 letters a-p; row left out', done.stdout)
        self.assertIn('line 5: extension id "' + "q" * 32 + '" is not 32 letters a-p', done.stdout)
        self.assertIn(f'line 11: extension id "\\x1b[2J{A}\\xe9" is not 32 letters a-p', done.stdout)
        self.assertTrue(done.stdout.isascii() and "\x1b" not in done.stdout)
        self.assertNotIn("line 2", done.stdout)
        lines = self.lines()
        self.assertEqual(lines[:3], ["Starter Database 1", "# comment", "path|C:\\x.exe|Adware.X|"])
        items = [line for line in lines if line.startswith("extension|")]
        self.assertEqual(items[:2], [
            f'extension|{A}|Extension.DataTheft: Good / Name with "quotes" & a break|',
            f"extension|{C}|Extension.Malicious|",
        ])
        self.assertEqual(len(items), 3)
        self.assertRegex(items[2], f"^extension\\|{D}\\|Extension\\.ClickFraud: Long name .*\\.\\.\\.\\|$")
        for item in items:
            self.assertRegex(item, ITEM)
        self.assertEqual(lines[-1], "")  # the last item ends its line

    def test_a_missing_column_or_a_file_that_is_not_utf8_fails_and_writes_nothing(self):
        done = self.convert('"EXTID","EXTID-NAME","TPCI-VERIFY"\n' + f'"{A}","Name","2"\n')
        self.assertEqual(done.returncode, 1)
        self.assertIn("lacks the column(s) THREAT-TYPE", done.stderr)
        self.assertFalse(os.path.exists(self.path("out.txt")))
        with open(self.path("list.csv"), "wb") as f:
            f.write(HEADER.encode() + b'"' + A.encode() + b'","Caf\xe9","x","adware","2"\n')
        done = run(CONVERTER, "--csv", self.path("list.csv"), "--database", self.database, "--out", self.path("out.txt"))
        self.assertEqual(done.returncode, 1)
        self.assertIn("not UTF-8", done.stderr)
        self.assertFalse(os.path.exists(self.path("out.txt")))

    @unittest.skipUnless(HAS_DATASET, "no browser-extension list in the data folder")
    def test_the_projects_list_converts_with_its_one_bad_row_refused(self):
        self.database = os.path.join(PROJECT, "data", "database.txt")
        done = run(CONVERTER, "--csv", os.path.join(DATASET, "current-list-meta.csv"), "--database", self.database,
                   "--out", self.path("out.txt"))
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(DATASET, "current-list-meta.csv"), encoding="utf-8-sig", newline="") as f:
            rows = list(csv.DictReader(f))
        bad = [row["EXTID"] for row in rows if not re.fullmatch("[a-p]{32}", row["EXTID"])]
        cleaned = {row["EXTID"] for row in rows if row["TPCI-VERIFY"] == "4"}
        refusals = [line for line in done.stdout.splitlines() if "row left out" in line]
        self.assertEqual(len(refusals), len(bad), done.stdout)
        for refusal, extension_id in zip(refusals, bad):
            self.assertRegex(refusal, f'line [0-9]+: extension id "{extension_id}" is not 32 letters a-p')
        with open(self.path("out.txt"), "rb") as f:
            text = f.read().decode("ascii")
        with open(self.database, encoding="utf-8") as f:
            self.assertTrue(text.startswith(f.read()))
        items = [line for line in text.splitlines() if line.startswith("extension|")]
        ids = [item.split("|")[1] for item in items]
        self.assertEqual(len(ids), len(set(ids)))
        for item in items:
            self.assertRegex(item, ITEM)
        self.assertTrue(cleaned)
        self.assertFalse(cleaned & set(ids))
        self.assertEqual(set(ids), {row["EXTID"] for row in rows} - set(bad) - cleaned)
        self.assertGreater(len(items), 2000)


@unittest.skipUnless(HAS_DATASET, "no browser-extension list in the data folder")
class Refresh(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.source = os.path.join(self.dir.name, "newer")
        self.target = os.path.join(self.dir.name, "copy")
        os.makedirs(self.source)
        os.makedirs(self.target)
        for name in ("current-list-meta.csv", "LICENSE.md", "SCHEMA.md"):
            with open(os.path.join(DATASET, name), "rb") as f:
                data = f.read()
            for folder in (self.source, self.target):
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)

    def tearDown(self):
        self.dir.cleanup()

    def csv(self, folder):
        with open(os.path.join(folder, "current-list-meta.csv"), "rb") as f:
            return f.read()

    def test_a_newer_list_replaces_the_copy_and_a_damaged_one_changes_nothing(self):
        newer = self.csv(self.source) + b'"' + A.encode() + b'"' + b',""' * 28 + b"\n"
        with open(os.path.join(self.source, "current-list-meta.csv"), "wb") as f:
            f.write(newer)
        done = run(REFRESH, self.source, "--into", self.target)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("1 ids added, 0 gone", done.stdout)
        self.assertEqual(self.csv(self.target), newer)

        damaged = newer.replace(b'"THREAT-TYPE"', b'"THREAT"', 1)
        with open(os.path.join(self.source, "current-list-meta.csv"), "wb") as f:
            f.write(damaged)
        done = run(REFRESH, self.source, "--into", self.target)
        self.assertEqual(done.returncode, 1)
        self.assertIn("lacks the column(s) THREAT-TYPE", done.stderr)
        self.assertEqual(self.csv(self.target), newer)


if __name__ == "__main__":
    unittest.main()
