#!/usr/bin/env python3
"""Writes the seed corpora of the binary fuzz inputs from the real examples: the command lines
installers and users give, settings blocks as the service stores them in every language of the
string table, and the formats, capacities and texts the programs really format. Run it after
changing a seed; the files are committed. (The configuration files of appwatch_config are text:
they are kept as they are, in its corpus folder, and edited there.)

    python3 tests/fuzz/make_seeds.py
"""
import json
import pathlib
import shutil
import struct

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent


def utf16(text):
    return text.encode("utf-16-le")


def write_corpus(seeds):
    """A target's corpus made anew from the seeds its function returns ({file name: bytes}),
    and its regressions folder kept (with a .gitkeep while it is empty)."""
    target = seeds.__name__
    shutil.rmtree(HERE / target / "corpus", ignore_errors=True)
    (HERE / target / "corpus").mkdir(parents=True)
    (HERE / target / "regressions").mkdir(parents=True, exist_ok=True)
    if not any((HERE / target / "regressions").iterdir()):
        (HERE / target / "regressions" / ".gitkeep").write_text("")
    for name, data in seeds().items():  # a name without an extension is a .bin file
        (HERE / target / "corpus" / (name if "." in name else name + ".bin")).write_bytes(data)


# --- iconreg command lines (documented forms and the tests) --------------------------------------
def iconreg_command_line():
    lines = ["-R", "/r", "-R ", "-C", "/c", "-U", "/u", "-R -C", "-C -R", "-x -C", "--C", "//u",
             "-Rx", "-R\t", "-R\t-C", "-Register", "-", "-R -", "-x -", "C:\\a-b -U",
             "C:\\a-r -U", "x/c", " -U", "-\u00c4 -R", "-\U0001F600 -C", "-\u0301R", "-R\u0301",
             "", "   ", "register", "/S -R",
             "\"C:\\Program Files\\Zenquill\\ZQ Proximity Sensor\\iconreg.exe\" -R",
             "-U -R trailing words"]
    seeds = {"line_%02d.bin" % i: utf16(line) for i, line in enumerate(lines)}
    # Other delimiters after the NUL unit (FindSwitchLetter with any set).
    seeds["other_delimiters.bin"] = utf16("a:b=c -R\0=:")
    return seeds


# --- settings blocks in every language -------------------------------------------------------
def settings_block():
    languages = sorted(int(p.name.split("-")[0])
                       for p in (ROOT / "sensorctl/resources/strings/languages").glob("*.json"))
    # UI languages without a table of their own: the loader's fallbacks.
    languages += [0x0807, 0x0C01, 0x0436, 0x100C, 0x0809, 0x241A, 0x0C04, 0x0000, 0xFFFF]

    def seed(byte0, byte1, language, rows=(0, 1, 2), position=127, flags=0, rest=b"", words=None):
        block = bytes([byte0, byte1]) + rest.ljust(126, b"\0")[:126]
        tail = struct.pack("<H", language) + struct.pack("<bbb", *rows) + bytes([position, flags])
        if words is not None:
            tail += "\0".join(words).encode("utf-16-le")
        return block + tail

    service_rest = bytes((i * 37 + 11) & 0xFF for i in range(126))  # bytes no one interprets
    seeds = {}
    for n, language in enumerate(languages):
        byte0 = [0x00, 0x01, 0x02, 0x05, 0x06, 0x07, 0xF9, 0xFF][n % 8]
        byte1 = ((n % 16) << 4 | (n * 7) % 16) & 0xFF
        seeds["lang_%05d.bin" % language] = seed(
            byte0, byte1, language, rows=(n % 3 - 1, n % 4, n % 5 - 1), position=n, flags=n & 2,
            rest=service_rest if n % 2 else b"")
    # The settings block's edge cases, in English.
    seeds["all_zero.bin"] = seed(0, 0, 1033)
    seeds["range_code_1.bin"] = seed(0x02, 0x13, 1033, rows=(1, 1, 1))
    seeds["range_code_3.bin"] = seed(0x06, 0x24, 1033, rows=(3, 3, 3))
    for code in range(16):
        seeds["off_code_%02d.bin" % code] = seed(0x01, (code << 4) | code, 1033, rows=(-1, 2, 0))
    # Words from the input (bit 0), as a translation could make them.
    seeds["words_english.bin"] = seed(0x05, 0x31, 1033, flags=1,
                                      words=["Second(s)", "Minute(s)", "Minimum", "Maximum"])
    seeds["words_with_percent.bin"] = seed(0x03, 0x47, 1033, flags=3,
                                           words=["%s%d", "100%", "%%", "\U0001F600"])
    seeds["words_long.bin"] = seed(0x00, 0x00, 1033, flags=1, words=["s" * 1100, "m" * 40, "", "x"])
    return seeds


# --- FormatBounded: the formats the programs use -------------------------------------------------
def format_bounded():
    MAX_MINUS_ONE = 0xFFFE  # the harness's selector for kFormatMaxCapacity itself

    def seed(capacity, signature, fmt, numbers=(), strings=(), nulls=0):
        selector = MAX_MINUS_ONE if capacity == "max" else (0 if capacity == 0 else
                                                             0xFFFF if capacity == "over" else capacity - 1)
        head = struct.pack("<HBB", selector, signature, nulls)
        nums = b"".join(struct.pack("<Q", n & (2**64 - 1)) for n in numbers).ljust(64, b"\0")
        return head + nums + utf16("\0".join([fmt] + list(strings)))

    tail = "\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe"
    return {
        "monitor_log_line": seed(2048, 0, "%02d:%02d:%02d:%04d::%s\r\n", (9, 5, 3, 42),
                                 ["", "", "", "", "ExecutableFileList:"]),
        "tool_log_line": seed(2048, 1, "[%02d:%02d:%02d:%02d:%02d:%04d] %s\r\n",
                              (3, 14, 9, 5, 7, 42),
                              ["", "", "", "", "", "", "Set ZQ Proximity Sensor Utility Icon"]),
        "open_command": seed(130, 2, "\"%s%s\"", (), ["C:\\Program Files (x86)", tail]),
        "open_command_big": seed(4200, 2, "\"%s%s\"", (), ["D:\\100% Apps", tail]),
        "icon_text": seed(130, 3, "%s, -130", (), ["\"C:\\Program Files" + tail + "\""]),
        "open_failure": seed(512, 3, "Terminal failure: unable to open file \"%s\" for read.\n", (),
                             ["C:\\zq\\data\\ZQPRX\\appwatch.dat"]),
        "memory_failure": seed(512, 3, "Terminal failure: not enough memory to read file \"%s\".\n",
                               (), ["C:\\zq\\data\\ZQPRX\\appwatch.dat"]),
        "status_message": seed(512, 3, "%s", (), ["Display required: suspend the sensor"]),
        "null_message": seed(512, 3, "%s", (), [""], nulls=1),
        "start_command": seed(512, 4, "ID_EVENTMONITOR_STARTAPPLAUNCHMONITOR:bWMIEventTrackFinished=%x\n", (0,)),
        "stop_command": seed(512, 4, "ID_EVENTMONITOR_STOPAPPLAUNCHMONITOR:bWMILaunchEventTrackFinished = %x\n", (1,)),
        "firmware_method": seed(30, 5, "zqwBIOSInt%ld", (0,)),
        "choice_number": seed(1044, 6, "  %d %s", (10,), ["", "Second(s)"]),
        "choice_word": seed(1030, 3, "  %s", (), ["Minimum"]),
        "choice_half": seed(1030, 3, "  0.5 %s", (), ["Sekunde(n)"]),
        "cut_in_number": seed(8, 6, "%04d-%s", (7,), ["", "abcdef"]),
        "cut_digits": seed(4, 6, "%d", (123456,)),
        "one_unit": seed(1, 3, "%s", (), ["abcde"]),
        "zero_capacity": seed(0, 3, "abc"),
        "over_capacity": seed("over", 3, "abc"),
        "max_capacity": seed("max", 3, "ab"),
        "flags_and_widths": seed(4200, 7, "%-5d|%05u|%ld|%lx|%10s|%-3i|%-8s|%08lX", (-42, 7, -(2**40), 2**63, 0, -1),
                                 ["", "", "", "", "right", "", "left"]),
        "short_and_char": seed(256, 10, "%hu %ld %hx %c", (2**64 - 1, -(2**63), 0x12345, 0x263A)),
        "unknown_and_percent": seed(256, 9, "100%% %q %5% %l %-0 end %"),
        "strings": seed(4200, 11, "%s|%ls|%-20s|%20s|%s|%s|%s|%s", (),
                        ["a", "\u00e9\U0001F600", "x", "y", "", "%s", "%d", "z"], nulls=0x10),
    }


# --- the log lines and registry texts ------------------------------------------------------------
def log_lines():
    def seed(fields, message, folder="", flags=0, repeat=0):
        flags |= 8  # build the registry texts too
        return (struct.pack("<6i", *fields) + bytes([flags, repeat]) +
                utf16(message + "\0" + folder))

    return {
        "monitor_list_label": seed((9, 5, 3, 42, 0, 0), "ExecutableFileList:"),
        "monitor_start": seed((0, 0, 0, 7, 0, 0), "Start watcher\n"),
        "tool_progress": seed((3, 14, 9, 5, 7, 42), "Set ZQ Proximity Sensor Utility Icon",
                              "C:\\Program Files (x86)"),
        "tool_key_failure": seed((1, 1, 0, 0, 0, 0), "RegCreateKeyEx:Fail",
                                 "C:\\Program Files"),
        "tool_key_path": seed((12, 31, 23, 59, 59, 999),
                              "CLSID\\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}\\Shell\\Open\\Command",
                              "D:\\100% Apps"),
        "null_message": seed((10, 9, 8, 7, 6, 5), "", "", flags=1 | 4),
        "long_message": seed((23, 59, 59, 999, 0, 0), "%s \u00e9\U0001F600 100% " * 150),
        "negative_fields": seed((-1, -12, 2**31 - 1, -(2**31), 100, 12345), "x"),
        "long_folder": seed((5, 6, 7, 8, 9, 10), "return -1", "C:\\" + "p" * 1000, flags=2, repeat=33),
    }


if __name__ == "__main__":
    for target in (iconreg_command_line, settings_block, format_bounded, log_lines):
        write_corpus(target)
