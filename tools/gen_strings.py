#!/usr/bin/env python3
"""Generates the settings window's string table from its language files.

Each file languages/<id>-<tag>.json (UTF-8) holds one language:

    {"id": 1033, "name": "English (United States)", "tag": "en-US",
     "strings": {"103": "...", ..., "131": "..."}}

with exactly the string numbers that sensorctl/resources/strings/string_ids.h names (the
enum StringId, the one place the numbers are written). From all files this writes

    --rc FILE   a resource script with one STRINGTABLE per language, for windres or rc;
                every table names its own LANGUAGE, and every non-ASCII unit is escaped,
                so the script reads the same under any code page;
    --cpp FILE  the same texts as char16_t literals for the portable lookup.

--carry FILE names further language identifiers, one a line: "<id> <tag> <copy of> <name>",
each given the table of one language file ("0x241A sr-Latn-RS 2074 Serbian (Latin, Serbia)";
# starts a comment). A carried id shares its source's primary language and language subtag,
and a neutral one (sublanguage 0) stands only where all files of that primary language are one
language: it would otherwise give one language's texts to another's users.

Any fault in the input stops the build with a message naming the file and the fault.
Needs only the Python standard library.
"""

import argparse
import json
import os
import re
import sys

IDS_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sensorctl",
                          "resources", "strings", "string_ids.h")


def read_string_ids(path=IDS_HEADER):
    """The numbers of the enum StringId in the header, in ascending order."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    enum = re.search(r"enum StringId\b[^{]*\{(.*?)\};", text, re.S)
    if enum is None:
        raise SystemExit(f"gen_strings: no enum StringId in {path}")
    return sorted(int(n) for n in re.findall(r"\bkString\w+\s*=\s*(\d+)", enum.group(1)))


STRING_IDS = read_string_ids()
FILE_KEYS = {"id", "name", "tag", "strings"}
MAX_TEXT_UNITS = 1023  # LoadStringW fills a 1024-unit buffer, terminator included
ENGLISH_US = 1033
TAG = r"[A-Za-z]{2,3}(?:-[A-Za-z0-9]{2,8})*"
FILE_NAME = re.compile(r"^(\d+)-(" + TAG + r")\.json$")


class InputError(Exception):
    pass


def reject_duplicate_keys(pairs):
    seen = {}
    for key, value in pairs:
        if key in seen:
            raise InputError(f'key "{key}" appears twice')
        seen[key] = value
    return seen


def utf16_units(text):
    data = text.encode("utf-16-le", errors="strict")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


def check_text(number, text):
    if not isinstance(text, str):
        raise InputError(f"string {number} is not a text")
    if text.strip() == "":
        raise InputError(f"string {number} is empty")
    if text != text.strip():
        raise InputError(f"string {number} has leading or trailing white space")
    for ch in text:
        if ord(ch) < 0x20 or 0x7F <= ord(ch) < 0xA0:
            raise InputError(f"string {number} holds the control character U+{ord(ch):04X}")
        if 0xD800 <= ord(ch) <= 0xDFFF:
            raise InputError(f"string {number} holds a lone surrogate U+{ord(ch):04X}")
    if len(utf16_units(text)) > MAX_TEXT_UNITS:
        raise InputError(f"string {number} is longer than {MAX_TEXT_UNITS} UTF-16 units")


def load_language(path):
    base = os.path.basename(path)
    match = FILE_NAME.match(base)
    if not match:
        raise InputError('the file name is not "<id>-<tag>.json"')
    try:
        with open(path, "rb") as f:
            raw = f.read()
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise InputError(f"not UTF-8 ({e})")
    if text.startswith("\ufeff"):
        raise InputError("starts with a byte-order mark; write plain UTF-8")
    try:
        data = json.loads(text, object_pairs_hook=reject_duplicate_keys)
    except json.JSONDecodeError as e:
        raise InputError(f"not valid JSON ({e})")
    if not isinstance(data, dict):
        raise InputError("the top level is not an object")
    keys = set(data)
    if keys != FILE_KEYS:
        missing = sorted(FILE_KEYS - keys)
        unknown = sorted(keys - FILE_KEYS)
        raise InputError(f"top-level keys: missing {missing}, unknown {unknown}")

    language = data["id"]
    if not isinstance(language, int) or isinstance(language, bool) or not 0 < language <= 0xFFFF:
        raise InputError("id is not a language identifier from 1 to 65535")
    if language & 0x3FF == 0:
        raise InputError(f"id {language} has no primary language")
    for field in ("name", "tag"):
        if not isinstance(data[field], str) or not data[field].strip():
            raise InputError(f"{field} is empty or not a text")
    if int(match.group(1)) != language or match.group(2) != data["tag"]:
        raise InputError(f'the file name does not match id {language} and tag "{data["tag"]}"')

    strings = data["strings"]
    if not isinstance(strings, dict):
        raise InputError("strings is not an object")
    wanted = {str(n) for n in STRING_IDS}
    missing = sorted(wanted - set(strings), key=int)
    unknown = sorted(set(strings) - wanted)
    if missing:
        raise InputError(f"strings missing: {', '.join(missing)}")
    if unknown:
        raise InputError(f"unknown string numbers: {', '.join(unknown)}")
    for number in STRING_IDS:
        check_text(number, strings[str(number)])

    return {
        "id": language,
        "name": data["name"],
        "tag": data["tag"],
        "file": base,
        "strings": {n: strings[str(n)] for n in STRING_IDS},
    }


def load_all(paths):
    languages = []
    errors = []
    for path in sorted(paths):
        try:
            languages.append(load_language(path))
        except InputError as e:
            errors.append(f"{path}: {e}")
    by_id = {}
    for lang in languages:
        if lang["id"] in by_id:
            errors.append(f'language {lang["id"]} is defined twice: '
                          f'{by_id[lang["id"]]["file"]} and {lang["file"]}')
        by_id[lang["id"]] = lang
    if not errors and ENGLISH_US not in by_id:
        errors.append("no English (United States) table, id 1033: it is the last fallback")
    if errors:
        raise InputError("\n".join(errors))
    return [by_id[k] for k in sorted(by_id)]


def tag_parts(tag):
    """The language subtag and the script subtag (None when the tag names none)."""
    parts = tag.split("-")
    script = next((p for p in parts[1:] if len(p) == 4 and p.isalpha()), None)
    return parts[0].lower(), script.title() if script else None


def carry_one(fields, languages):
    by_id = {lang["id"]: lang for lang in languages}
    if len(fields) < 4:
        raise InputError('not "<id> <tag> <copy of> <name>"')
    try:
        language, source_id = int(fields[0], 0), int(fields[2], 0)
    except ValueError:
        raise InputError("the id or the id it copies is not a number")
    tag, name = fields[1], " ".join(fields[3:])
    if not 0 < language <= 0xFFFF or language & 0x3FF == 0:
        raise InputError(f"{fields[0]} is not a language identifier with a primary language")
    if not re.fullmatch(TAG, tag):
        raise InputError(f'"{tag}" is not a language tag')
    if language in by_id:
        raise InputError(f"{language} (0x{language:04X}) has a table already")
    source = by_id.get(source_id)
    if source is None or "copy_of" in source:
        raise InputError(f"{source_id} is not the id of a language file")
    if language & 0x3FF != source_id & 0x3FF:
        raise InputError(f"0x{language:04X} and {source_id} are of different primary languages")
    (subtag, script), (source_subtag, source_script) = tag_parts(tag), tag_parts(source["tag"])
    if subtag != source_subtag or (script and source_script and script != source_script):
        raise InputError(f'"{tag}" is not the language and script of {source_id} ("{source["tag"]}")')
    if language >> 10 == 0:
        sharing = sorted({tag_parts(lang["tag"])[0] for lang in languages
                          if lang["id"] & 0x3FF == language and "copy_of" not in lang})
        if len(sharing) > 1:
            raise InputError(f"0x{language:04X} is the neutral id of {', '.join(sharing)}: "
                             f"no one table may serve them all")
    return dict(source, id=language, tag=tag, name=name, copy_of=source_id)


def carry(path, languages):
    """The languages and the carried ids of the file at path, as tables, sorted by id."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError) as e:
        raise InputError(f"{path}: cannot be read ({e})")
    tables, errors = list(languages), []
    for number, line in enumerate(lines, 1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        try:
            tables.append(carry_one(fields, tables))
        except InputError as e:
            errors.append(f"{path}:{number}: {e}")
    if errors:
        raise InputError("\n".join(errors))
    return sorted(tables, key=lambda lang: lang["id"])


def rc_literal(text):
    """L"..." whose every unit outside printable ASCII is a \\xNNNN escape."""
    out = []
    previous_was_hex_escape = False
    for unit in utf16_units(text):
        ch = chr(unit) if unit < 0x80 else ""
        # A hex digit right after \xNNNN would be read as part of the escape: escape it too.
        needs_escape = (unit >= 0x7F or unit < 0x20 or
                        (previous_was_hex_escape and ch in "0123456789abcdefABCDEF"))
        if needs_escape:
            out.append(f"\\x{unit:04x}")
            previous_was_hex_escape = True
            continue
        previous_was_hex_escape = False
        if ch == '"':
            out.append('""')  # the resource compilers' own way to write a quote
        elif ch == "\\":
            out.append("\\\\")
        else:
            out.append(ch)
    return 'L"' + "".join(out) + '"'


def cpp_literal(text):
    """u"..." with universal character names for everything outside printable ASCII."""
    out = []
    for ch in text:
        code = ord(ch)
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "?":
            out.append("\\?")  # no trigraphs, whatever the compiler's mode
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        elif code > 0xFFFF:
            out.append(f"\\U{code:08X}")
        else:
            out.append(f"\\u{code:04X}")
    return 'u"' + "".join(out) + '"'


def c_comment(text):
    """Plain ASCII for a // comment: no line splicing, nothing a code page could change."""
    return text.encode("ascii", "replace").decode("ascii").replace("\\", "/")


def render_rc(languages):
    lines = [
        "// Generated by tools/gen_strings.py from sensorctl/resources/strings/languages; do not edit.",
        "// Every table names its own language, so the language of the including script is",
        "// left as it was.",
        "",
    ]
    for lang in languages:
        primary = lang["id"] & 0x3FF
        sub = lang["id"] >> 10
        copy = f', a copy of {lang["copy_of"]}' if "copy_of" in lang else ""
        lines.append(f'// {c_comment(lang["name"])}: {lang["id"]} ({lang["tag"]}){copy}')
        lines.append("STRINGTABLE")
        lines.append(f"LANGUAGE 0x{primary:02x}, 0x{sub:02x}")
        lines.append("BEGIN")
        for number in STRING_IDS:
            lines.append(f"  {number}, {rc_literal(lang['strings'][number])}")
        lines.append("END")
        lines.append("")
    return "\n".join(lines)


def render_cpp(languages):
    lines = [
        "// Generated by tools/gen_strings.py from sensorctl/resources/strings/languages; do not edit.",
        '#include "sensorctl/resources/strings/string_table_data.h"',
        "",
        "const StringTableLanguage kStringTableData[] = {",
    ]
    for lang in languages:
        copy = f', a copy of {lang["copy_of"]}' if "copy_of" in lang else ""
        lines.append(f'    {{{lang["id"]}, {cpp_literal(lang["tag"])},  // {c_comment(lang["name"])}{copy}')
        lines.append("     {")
        for number in STRING_IDS:
            lines.append(f"         {cpp_literal(lang['strings'][number])},  // {number}")
        lines.append("     }},")
    lines.append("};")
    lines.append("")
    lines.append(f"const std::size_t kStringTableDataCount = {len(languages)};")
    lines.append("")
    return "\n".join(lines)


def write_file(path, text):
    directory = os.path.dirname(path)
    if directory:
        os.makedirs(directory, exist_ok=True)
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    os.replace(temporary, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rc", help="resource script to write")
    parser.add_argument("--cpp", help="C++ source with the texts to write")
    parser.add_argument("--carry", help="further ids carried as copies of the files' tables")
    parser.add_argument("files", nargs="+", help="language files <id>-<tag>.json")
    args = parser.parse_args(argv)
    try:
        languages = load_all(args.files)
        if args.carry:
            languages = carry(args.carry, languages)
    except InputError as e:
        print(f"gen_strings: the string table cannot be built:\n{e}", file=sys.stderr)
        return 1
    if args.rc:
        write_file(args.rc, render_rc(languages))
    if args.cpp:
        write_file(args.cpp, render_cpp(languages))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
