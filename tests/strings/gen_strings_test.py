#!/usr/bin/env python3
"""The string table generator: it refuses faulty language files with a clear message, and
what it writes reads back as exactly the texts of the files."""

import glob
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GENERATOR = os.path.join(ROOT, "tools", "gen_strings.py")
LANGUAGES = os.path.join(ROOT, "sensorctl", "resources", "strings", "languages")
CARRIED = os.path.join(ROOT, "sensorctl", "resources", "strings", "carried_ids.txt")
sys.path.insert(0, os.path.dirname(GENERATOR))
from gen_strings import STRING_IDS  # noqa: E402  the numbers the generator writes


def english():
    with open(os.path.join(LANGUAGES, "1033-en-US.json"), encoding="utf-8") as f:
        return json.load(f)


def run_generator(files, outdir, carry=None):
    rc = os.path.join(outdir, "out.rc")
    cpp = os.path.join(outdir, "out.cpp")
    result = subprocess.run([sys.executable, GENERATOR, "--rc", rc, "--cpp", cpp] +
                            (["--carry", carry] if carry else []) + files,
                            capture_output=True, text=True)
    return result, rc, cpp


def decode_rc_literal(literal):
    """An L"..." literal of a resource script: printable ASCII but for \\xHHHH units (one to
    four digits) and the \\\\ and "" escapes; anything else fails."""
    assert literal.startswith('L"') and literal.endswith('"'), literal
    parts = re.findall(r'\\x([0-9a-fA-F]{1,4})|(\\\\|"")|([ !#-\[\]-~])|(.)', literal[2:-1])
    assert not any(other for *_, other in parts), literal
    units = [int(x, 16) if x else ord(escape[0]) if escape else ord(c) for x, escape, c, _ in parts]
    return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le")


def decode_cpp_literal(literal):
    """A u"..." literal of C++: printable ASCII but for \\uXXXX, \\UXXXXXXXX and the \\", \\\\
    and \\? escapes; anything else fails."""
    assert literal.startswith('u"') and literal.endswith('"'), literal
    parts = re.findall(r'\\u([0-9a-fA-F]{4})|\\U([0-9a-fA-F]{8})|\\(["\\?])|([ !#-\[\]-~])|(.)',
                       literal[2:-1])
    assert not any(other for *_, other in parts), literal
    return "".join(chr(int(u or U, 16)) if u or U else escape or c for u, U, escape, c, _ in parts)


def rc_tables(text):
    """{(primary, sub): {number: text}} from a generated resource script."""
    tables = {}
    pattern = re.compile(r"STRINGTABLE\nLANGUAGE 0x([0-9a-f]{2}), 0x([0-9a-f]{2})\nBEGIN\n(.*?)\nEND",
                         re.S)
    for primary, sub, body in pattern.findall(text):
        rows = {}
        for line in body.splitlines():
            number, literal = re.match(r"\s+(\d+), (L\".*\")$", line).groups()
            rows[int(number)] = decode_rc_literal(literal)
        tables[(int(primary, 16), int(sub, 16))] = rows
    return tables


class GeneratorTest(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())

    def write(self, name, data):
        """A file of these bytes, or of this language as JSON."""
        path = os.path.join(self.dir, name)
        if not isinstance(data, bytes):
            try:
                data = json.dumps(data, ensure_ascii=False).encode("utf-8")
            except UnicodeEncodeError:  # a lone surrogate can only be written as a JSON escape
                data = json.dumps(data).encode("ascii")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def language(self, language_id, tag, **changes):
        data = english()
        data.update(id=language_id, tag=tag, name=f"Test {tag}")
        data["strings"] = dict(data["strings"])
        for key, value in changes.items():
            if value is None:
                data["strings"].pop(key[1:])
            else:
                data["strings"][key[1:]] = value
        return data

    def assert_refused(self, files, message, carry=None):
        result, rc, cpp = run_generator(files, self.dir, carry)
        self.assertNotEqual(result.returncode, 0, result.stderr)
        self.assertIn(message, result.stderr)
        self.assertFalse(os.path.exists(rc))
        self.assertFalse(os.path.exists(cpp))

    def test_faulty_and_malformed_files_are_refused_with_a_clear_message(self):
        en = self.write("1033-en-US.json", english())
        good = json.dumps(self.language(7, "de"), ensure_ascii=False)
        cases = [
            ("7-de.json", self.language(7, "de", s113=None), "strings missing: 113"),
            ("7-de.json", self.language(7, "de", s113=""), "string 113 is empty"),
            ("7-de.json", self.language(7, "de", s113="   "), "string 113 is empty"),
            ("7-de.json", self.language(7, "de", s113="Sekunde "), "trailing white space"),
            ("7-de.json", self.language(7, "de", s113="a\nb"), "control character U+000A"),
            ("7-de.json", self.language(7, "de", s113=7), "string 113 is not a text"),
            ("7-de.json", self.language(7, "de", s119="x"), "unknown string numbers: 119"),
            ("7-de.json", self.language(7, "de", s0113="x"), "unknown string numbers: 0113"),
            ("7-de.json", self.language(7, "de", s113="x" * 1024), "longer than 1023"),
            ("7-de.json", self.language(7, "de", s113="\U0001F600" * 512), "longer than 1023"),
            ("7-de.json", self.language(7, "de", s113="\ud800"), "lone surrogate"),
            ("8-de.json", self.language(7, "de"), "file name does not match"),
            ("7-at.json", self.language(7, "de"), "file name does not match"),
            ("german.json", self.language(7, "de"), "file name is not"),
            ("0-xx.json", self.language(0, "xx"), "id is not a language identifier"),
            ("1024-xx.json", self.language(1024, "xx"), "has no primary language"),
            ("7-de.json", b"{", "not valid JSON"),
            ("7-de.json", b"[]", "top level is not an object"),
            ("7-de.json", good.replace('"tag"', '"extra": 1, "tag"').encode(), "unknown ['extra']"),
            ("7-de.json", good.replace('"103"', '"113": "x", "103"').encode(),
             'key "113" appears twice'),
            ("7-de.json", good.encode("utf-16"), "not UTF-8"),
            ("7-de.json", "\ufeff".encode() + good.encode(), "byte-order mark"),
        ]
        for name, data, message in cases:
            with self.subTest(message=message, name=name):
                path = self.write(name, data)
                self.assert_refused([en, path], message)
                os.remove(path)

    def test_a_language_twice_or_no_english_is_refused(self):
        en = self.write("1033-en-US.json", english())
        de = self.write("7-de.json", self.language(7, "de"))
        os.mkdir(os.path.join(self.dir, "again"))
        again = self.write(os.path.join("again", "7-de.json"), self.language(7, "de"))
        for files, message in (([en, de, again], "language 7 is defined twice"),
                               ([de], "no English (United States) table")):
            with self.subTest(message=message):
                self.assert_refused(files, message)

    def test_faulty_carried_ids_are_refused(self):
        files = [self.write("1033-en-US.json", english()),
                 self.write("1050-hr-HR.json", self.language(1050, "hr-HR")),
                 self.write("2074-sr-Latn-CS.json", self.language(2074, "sr-Latn-CS")),
                 self.write("3098-sr-Cyrl-CS.json", self.language(3098, "sr-Cyrl-CS"))]
        cases = [
            ("0x241A sr-Latn-RS 3098 x", "not the language and script of 3098"),
            ("0x0809 fr 1033 x", "not the language and script of 1033"),
            ("0x001A sr 2074 x", "neutral id of hr, sr"),
            ("0x0009 en 2074 x", "different primary languages"),
            ("0x0C1A sr-Cyrl-CS 3098 x", "has a table already"),
            ("0x241A sr-Latn-RS 2074 a\n0x241A sr-Latn-RS 2074 b", ":3: 9242 (0x241A) has a table"),
            ("0x241A sr-Latn-RS 2074 a\n0x2C1A sr-Latn-ME 0x241A b", "9242 is not the id of a language"),
            ("0x241A sr-Latn-RS 2075 x", "2075 is not the id of a language file"),
            ("0x0400 sr 2074 x", "0x0400 is not a language identifier"),
            ("0x241A sr_RS 2074 x", '"sr_RS" is not a language tag'),
            ("sr 0x241A 2074 x", "is not a number"),
            ("0x241A sr-Latn-RS 2074", 'not "<id> <tag> <copy of> <name>"'),
        ]
        for text, message in cases:
            with self.subTest(message=message):
                carry = self.write("carried.txt", ("# comment\n" + text).encode())
                self.assert_refused(files, message, carry)

    def test_awkward_texts_come_back_exactly(self):
        awkward = {
            "s103": 'Quote " and backslash \\ and percent %s',
            "s104": "\u00e9abc \u00e9\u00e9 F00D \u0627\u0644 \U0001F600e",  # hex digits after escapes
            "s105": "??/ trigraph-looking ??= and */ comment end",
            "s106": "\u200f\u05d0\u05d1 mixed",
        }
        en = self.write("1033-en-US.json", english())
        xx = self.write("1025-ar-SA.json", self.language(1025, "ar-SA", **awkward))
        result, rc, cpp = run_generator([xx, en], self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(rc, encoding="ascii") as f:
            tables = rc_tables(f.read())
        with open(cpp, encoding="ascii") as f:
            cpp_text = f.read()
        expected = self.language(1025, "ar-SA", **awkward)["strings"]
        self.assertEqual(set(tables), {(0x01, 0x01), (0x09, 0x01)})
        literals = re.findall(r'(u"(?:[^"\\]|\\.)*"),  // (\d+)', cpp_text)
        cpp_texts = [decode_cpp_literal(lit) for lit, _ in literals[:len(STRING_IDS)]]
        for index, number in enumerate(STRING_IDS):
            self.assertEqual(tables[(0x01, 0x01)][number], expected[str(number)], number)
            self.assertEqual(cpp_texts[index], expected[str(number)], number)
        # Sorted by id whatever the order of the files given.
        self.assertLess(cpp_text.index("{1025,"), cpp_text.index("{1033,"))


class SourceLanguagesTest(unittest.TestCase):
    def test_every_language_file_becomes_its_own_table_and_each_carried_id_a_copy(self):
        files = sorted(glob.glob(os.path.join(LANGUAGES, "*.json")))
        with tempfile.TemporaryDirectory() as outdir:
            result, rc, cpp = run_generator(files, outdir, CARRIED)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(rc, encoding="ascii") as f:
                tables = rc_tables(f.read())
            with open(cpp, encoding="ascii") as f:
                cpp_ids = [int(n) for n in re.findall(r"^    \{(\d+), u\"", f.read(), re.M)]
        with open(CARRIED, encoding="utf-8") as f:
            carried = [line.split()[:3] for line in f if line.strip() and line[0] != "#"]
        self.assertEqual(len(tables), len(files) + len(carried))
        self.assertEqual(sorted(cpp_ids), sorted(p | s << 10 for p, s in tables))
        self.assertNotIn((0x1A, 0), tables)  # Croatian, Serbian and Bosnian share it
        for language, _, source in carried:
            language, source = int(language, 0), int(source)
            self.assertEqual(tables[(language & 0x3FF, language >> 10)],
                             tables[(source & 0x3FF, source >> 10)], language)
        # Each file's table stands at its own language (primary, sub): 7 at (0x07, 0), 3098 at
        # (0x1A, 3), 2074 at (0x1A, 2), 3084 at (0x0C, 3) and so on.
        for path in files:
            with open(path, encoding="utf-8") as f:
                data = json.load(f)
            key = (data["id"] & 0x3FF, data["id"] >> 10)
            self.assertIn(key, tables, path)
            self.assertEqual(tables[key], {int(k): v for k, v in data["strings"].items()}, path)


if __name__ == "__main__":
    unittest.main()
