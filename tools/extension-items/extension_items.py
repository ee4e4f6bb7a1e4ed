#!/usr/bin/env python3
"""Browser-extension items for the reference database.

Converts the malicious-extension list kept in data/extensions/ (a CSV file with a header row) into
database items "extension|<id>|<category>|" and writes them after the items of the plain-text
starter database, which the build then locks into DataBase.ref.

    extension_items.py --csv CSV --database DATABASE --out OUT

Rules:
- an id must be exactly 32 letters a-p (a Chromium extension id); any other row is refused, named
  by its line in the CSV, and left out;
- rows whose verification stage is 4 (taken over, then cleaned by the developer) are left out, and
  so is an id that any such row names;
- an id listed more than once gives one item (the first row's);
- the category is "Extension.<ThreatType>: <name>", the most serious threat type the row lists
  and its name in printable ASCII: the locked database is read in whatever ANSI code page the
  reader's Windows uses, where only ASCII means the same everywhere (and where a byte of a
  double-byte code page could swallow the "|" after it);
- the comment field stays empty: a comment marks an object the program cannot remove.

Problems with the whole file (unreadable, not UTF-8, a column missing, no usable row) end the
program with exit code 1 and OUT is not written. Standard library only.
"""

import argparse
import csv
import html
import io
import os
import re
import sys
import tempfile
import unicodedata

REQUIRED_COLUMNS = ("EXTID", "EXTID-NAME", "THREAT-TYPE", "TPCI-VERIFY")
REMEDIATED_STAGE = "4"
NAME_LIMIT = 64
CHROMIUM_ID = re.compile(r"[a-p]{32}")
THREAT_WORD = re.compile(r"[a-z]+(?:-[a-z]+)*")

# Most serious first: a row that lists several types is shown under the first of these it has.
THREAT_ORDER = (
    "ransomware", "backdoor", "credential-theft", "session-hijack", "data-theft", "spyware",
    "cryptojacking", "phishing", "trojan", "ai-chat-scraper", "browser-hijack", "malvertising",
    "adware", "click-fraud", "fake-extension", "ownership-transfer",
)

# Punctuation that has a plain ASCII form; other symbols are dropped, letters of other scripts
# become "?".
PUNCTUATION = {
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u201b": "'", "\u2032": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u201f": '"', "\u2033": '"',
    "\u00ab": '"', "\u00bb": '"', "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2013": "-",
    "\u2014": "-", "\u2015": "-", "\u2212": "-", "\u2026": "...", "\u00b7": "-", "\u2022": "-",
}
# Marks a name does not need ("Chrome(TM)" reads worse than "Chrome").
DROPPED = {"\u2122", "\u00ae", "\u00a9"}


class DatasetError(Exception):
    """A problem with the whole file: nothing is converted."""


class Conversion:
    def __init__(self):
        self.items = []        # "extension|<id>|<category>|"
        self.refused = []      # messages naming the refused rows
        self.remediated = []   # ids left out as cleaned by their developer
        self.duplicates = 0    # rows whose id was already converted
        self.rows = 0


def read_dataset(data):
    """The header and the rows of the CSV bytes `data`, each row as (line, fields by column)."""
    try:
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise DatasetError(f"not UTF-8 text (byte {error.start})") from None
    reader = csv.reader(io.StringIO(text, newline=""))
    try:
        header = next(reader, None)
        if not header:
            raise DatasetError("no header row")
        missing = [name for name in REQUIRED_COLUMNS if name not in header]
        if missing:
            raise DatasetError("the header row lacks the column(s) " + ", ".join(missing))
        twice = [name for name in REQUIRED_COLUMNS if header.count(name) > 1]
        if twice:
            raise DatasetError("the header row names the column(s) " + ", ".join(twice) + " more than once")
        rows = []
        line = reader.line_num + 1
        for fields in reader:
            rows.append((line, header, fields))
            line = reader.line_num + 1
    except csv.Error as error:
        raise DatasetError(f"line {reader.line_num}: {error}") from None
    return header, rows


def threat_name(threat_types):
    words = [w.strip().lower() for w in threat_types.split(",")]
    words = [w for w in words if THREAT_WORD.fullmatch(w) and w != "unknown"]
    if not words:
        return "Malicious"
    known = [w for w in THREAT_ORDER if w in words]
    word = known[0] if known else words[0]
    return "".join(part.capitalize() for part in word.split("-"))


def plain_name(name):
    """The extension's name in printable ASCII, at most NAME_LIMIT characters; "" when unknown."""
    name = "".join(c for c in html.unescape(name) if c not in DROPPED)
    out = []
    for c in unicodedata.normalize("NFKC", name):
        if c in PUNCTUATION:
            out.append(PUNCTUATION[c])
            continue
        if c == "|":
            out.append("/")
            continue
        if " " <= c <= "~":
            out.append(c)
            continue
        category = unicodedata.category(c)
        if category.startswith(("Z", "C")):
            out.append(" ")  # line breaks, tabs, zero-width and other invisible characters
            continue
        folded = "".join(d for d in unicodedata.normalize("NFKD", c) if " " <= d <= "~")
        if folded:
            out.append(folded)
        elif category.startswith(("L", "N")):
            out.append("?")
    text = " ".join("".join(out).split())
    text = re.sub(r"\?[? ]*\?", "?", text)  # one mark for a run of unreadable words
    if len(text) >= 2 and text[0] == '"' and text[-1] == '"':
        text = text[1:-1].strip()
    if text.upper() == "UNKNOWN" or not any(c.isalnum() for c in text):
        return ""
    if len(text) > NAME_LIMIT:
        cut = text[: NAME_LIMIT - 3]
        if " " in cut[NAME_LIMIT // 2 :]:
            cut = cut[: cut.rfind(" ")]
        text = cut.rstrip(" -,:;/") + "..."
    return text


def category(threat_types, name):
    shown = plain_name(name)
    kind = "Extension." + threat_name(threat_types)
    return f"{kind}: {shown}" if shown else kind


def convert(rows, source="CSV", known_ids=()):
    result = Conversion()
    cleaned = set()
    for _, header, fields in rows:
        if len(fields) == len(header):
            values = dict(zip(header, fields))
            if values["TPCI-VERIFY"].strip() == REMEDIATED_STAGE:
                cleaned.add(values["EXTID"])
    seen = set(known_ids)
    for line, header, fields in rows:
        result.rows += 1
        if len(fields) != len(header):
            result.refused.append(f"{source} line {line}: {len(fields)} fields where the header has "
                                  f"{len(header)}; row left out")
            continue
        values = dict(zip(header, fields))
        extension_id = values["EXTID"]
        if not CHROMIUM_ID.fullmatch(extension_id):
            shown = "".join(c if " " <= c <= "~" else c.encode("unicode_escape").decode("ascii") for c in extension_id)
            shown = shown[:80]
            result.refused.append(f'{source} line {line}: extension id "{shown}" is not 32 letters a-p; row left out')
            continue
        if extension_id in cleaned:
            if extension_id not in seen:
                result.remediated.append(extension_id)
                seen.add(extension_id)
            continue
        if extension_id in seen:
            result.duplicates += 1
            continue
        seen.add(extension_id)
        result.items.append(f"extension|{extension_id}|{category(values['THREAT-TYPE'], values['EXTID-NAME'])}|")
    if not result.items:
        raise DatasetError("no row gives an extension item")
    return result


def extension_ids_in(database_text):
    """Ids that the plain-text database already lists as extension items."""
    ids = set()
    for line in database_text.splitlines():
        fields = line.split("|")
        if len(fields) > 1 and fields[0].lower() == "extension":
            ids.add(fields[1])
    return ids


def merge(database_text, items, note):
    """The database text followed by a comment line and the items, in its own line endings."""
    if not database_text.strip():
        raise DatasetError("the database has no version line")
    newline = "\r\n" if "\r\n" in database_text else "\n"
    if not database_text.endswith(("\n", "\r")):
        database_text += newline
    return database_text + newline.join(["#", "# " + note] + items) + newline


def write_replacing(path, data):
    """Writes beside `path` and renames over it, so an interrupted run leaves no half file."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".extension-items-")
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def main(argv=None):
    parser = argparse.ArgumentParser(description="Append the browser-extension items to the plain-text database.")
    parser.add_argument("--csv", required=True, help="the extension list (CSV with a header row)")
    parser.add_argument("--database", required=True, help="the plain-text starter database")
    parser.add_argument("--out", required=True, help="the merged plain-text database to write")
    args = parser.parse_args(argv)
    name = os.path.basename(args.csv)
    try:
        with open(args.database, "rb") as f:
            database_text = f.read().decode("utf-8")
        with open(args.csv, "rb") as f:
            _, rows = read_dataset(f.read())
        result = convert(rows, name, extension_ids_in(database_text))
        note = (f"Browser extensions, converted from {name} (chrome-mal-ids by Mallory Bowes Brown, CC BY 4.0): "
                f"{len(result.items)} items")
        merged = merge(database_text, result.items, note)
        write_replacing(args.out, merged.encode("ascii" if merged.isascii() else "utf-8"))
    except (OSError, UnicodeDecodeError, DatasetError) as error:
        print(f"extension items: {name}: {error}", file=sys.stderr)
        return 1
    for message in result.refused:
        print(f"extension items: {message}")
    print(f"extension items: {len(result.items)} items from {result.rows} rows of {name} "
          f"({len(result.remediated)} left out as cleaned by their developer, {len(result.refused)} refused, "
          f"{result.duplicates} duplicates)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
