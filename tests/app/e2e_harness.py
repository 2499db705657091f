#!/usr/bin/python3
"""What the end-to-end tests of the settings window share (the tests are e2e_<concern>.py).

They run the real sensorctl.exe on the bench's virtual display, drive it with real X pointer
and keyboard input (xdotool), look at what it shows (screenshots of the display) and at what
the registry and the stand-in sensor service see (through sensorctl_probe.exe). Each file runs
inside `winebench.sh exec`, which sets WINEPREFIX, DISPLAY, ZQ_WINE and ZQ_STANDIN_EXE:

    e2e_<concern>.py --build <build dir> [unittest arguments, e.g. StartupTest.test_name]

Screenshots of the window's states are saved under <build>/artifacts/app/.
"""

import argparse
import atexit
import json
import os
import random
import re
import select
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image, ImageChops, ImageGrab

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine_support import log, pe_bits, polled, wait_for, wine_fact  # noqa: E402,F401

BUILD = ""
ARTIFACTS = ""
HERE = os.path.dirname(os.path.abspath(__file__))

WINDOW_WIDTH, WINDOW_HEIGHT = 566, 460
PANEL_GREY = (91, 91, 91)  # where nothing is drawn on the panel
BLOCK_SIZE = 128

# Client positions of the controls (left to right; the drop-downs move to x 124 right to left).
CHOICE_X_LTR, CHOICE_X_RTL = 308, 124
RANGE_BUTTON_Y = 165
OFF_DELAY_BUTTON_Y = 225
RANGE_LIST_TOP = 195
OFF_DELAY_LIST_TOP = 255
LIST_WIDTH = 168
ROW_TOP_MARGIN, ROW_HEIGHT = 9, 24
OK_CENTRE = (252, 402)
CANCEL_CENTRE = (353, 402)
APPLY_CENTRE = (454, 402)
APPLY_RECT = (412, 388, 497, 416)
CLOSE_AREA_CENTRE = (520, 36)
CHECK_BOX_CENTRE_LTR = (71, 346)
TITLE_BAR_SPOT = (150, 14)
RANGE_LABEL_BOX_LTR = (74, 164, 274, 194)
OFF_LABEL_BOX_LTR = (74, 224, 274, 254)
CHECK_BOX_LABEL_BOX_LTR = (94, 339, 264, 354)
RANGE_BUTTON = (CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)  # the drop-down buttons' middles
OFF_DELAY_BUTTON = (CHOICE_X_LTR + 60, OFF_DELAY_BUTTON_Y + 16)

CODE_APPLY = 200


# --- The bench -------------------------------------------------------------------------------

def wine_path(name):
    return os.path.join(BUILD, name)


# Probe commands that only look: running one twice changes nothing.
READ_ONLY_PROBES = {"window", "boxes", "value-get", "value-type", "value-views", "key-exists",
                    "standin-mark", "standin-codes", "standin-state", "user-value-get", "gdi",
                    "self-gdi-check"}


class ProbeServer:
    """One sensorctl_probe.exe that answers command after command ("serve"); started again
    when it has ended or stopped answering."""

    process = None
    errors = None

    @classmethod
    def ask(cls, arguments, timeout=60):
        if cls.process is None or cls.process.poll() is not None:
            cls.start()
        errors_from = cls.errors.seek(0, os.SEEK_END)
        answer = b""
        try:
            cls.process.stdin.write(("\t".join(map(str, arguments)) + "\n").encode("ascii"))
        except OSError:
            pass  # it has ended: no answer comes
        deadline = time.monotonic() + timeout
        while not re.search(rb"(^|\n)#end -?\d+\r?\n$", answer):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([cls.process.stdout], [], [], left)[0]:
                break
            chunk = os.read(cls.process.stdout.fileno(), 65536)
            if not chunk:
                break
            answer += chunk
        else:
            text, _, code = answer.decode("ascii", "replace").replace("\r", "").rpartition("#end ")
            cls.errors.seek(errors_from)
            return int(code), text, cls.errors.read()[-1000:].strip()
        cls.stop()
        return -1, answer.decode("ascii", "replace"), "no answer"

    @classmethod
    def start(cls):
        # Answers are read up to their end line, never to the end of the pipe, and its standard
        # error goes to a file: a program the probe starts (`launch`) inherits its Unix
        # descriptors and holds them open for as long as it runs.
        cls.errors = tempfile.TemporaryFile(mode="w+")
        cls.process = subprocess.Popen([os.environ["ZQ_WINE"], wine_path("tests/sensorctl_probe.exe"),
                                        "serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=cls.errors, bufsize=0)

    @classmethod
    def stop(cls):
        if cls.process is None:
            return
        try:
            cls.process.stdin.close()  # the end of its commands
            cls.process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            cls.process.kill()
            cls.process.wait(timeout=20)
        cls.process.stdout.close()
        cls.errors.close()
        cls.process = None


atexit.register(ProbeServer.stop)


def probe(*arguments, check=True):
    code, text, said = ProbeServer.ask(arguments)
    # Seen under Wine when each command was a probe started anew: a `window` probe started just
    # after a settings window's process ended, and a `gdi` reading right after a good one,
    # returned 1 with no output, though those commands always print and return 0. The fault
    # lies outside the program under test, so a command that only looks is asked once more (of
    # a probe started again if it had ended); a command that changes something never is.
    if code != 0 and not text and arguments[0] in READ_ONLY_PROBES:
        log(f"probe {arguments} ended with {code} and said nothing ({said!r}); asked again")
        code, text, said = ProbeServer.ask(arguments)
    if check and code != 0:
        raise AssertionError(f"probe {arguments} failed ({code}): "
                             f"output {text.strip()!r}, errors {said!r}")
    return text.strip()


ERROR_ELEVATION_REQUIRED = 740  # Windows: the program asks for rights the caller lacks
# The OpenGL library that Wine's Direct2D loads, by the bitness of the program.
LIBGL = {32: "/usr/lib/i386-linux-gnu/libGL.so.1", 64: "/usr/lib/x86_64-linux-gnu/libGL.so.1"}


def program_bits(name):
    return pe_bits(wine_path(name))


def xdotool(*arguments):
    subprocess.run(["xdotool", *[str(a) for a in arguments]], check=True, timeout=120)


def pointer():
    """Where the display has the pointer, in screen coordinates."""
    said = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True, timeout=60,
                          capture_output=True, text=True).stdout
    place = dict(line.split("=", 1) for line in said.split())
    return int(place["X"]), int(place["Y"])


def window_state():
    return json.loads(probe("window"))


def shown_window():
    """The window's state once a settings window is shown, else None."""
    state = window_state()
    return state if state["count"] >= 1 and state.get("visible") else None


def probed(parse, *arguments):
    """What the probe says, parsed; None where it says "absent"."""
    text = probe(*arguments)
    return None if text == "absent" else parse(text)


def read_value(name):
    return probed(bytes.fromhex, "value-get", name)


def awaited(read, expected):
    """The write a click makes may land a moment after the window's picture has stood still."""
    return polled(read, lambda value: value == expected)


def set_current(block):
    probe("current-set", block.hex().upper())


def standin_mark():
    return int(probe("standin-mark"))


def standin_codes(mark):
    return [int(code) for code in probe("standin-codes", mark).split()]


def window_shot(origin, size=(WINDOW_WIDTH, WINDOW_HEIGHT)):
    """The window's part of the display, its top left corner at `origin`."""
    left, top = origin
    return ImageGrab.grab().convert("RGB").crop((left, top, left + size[0], top + size[1]))


# --- Display scales ----------------------------------------------------------------------------

def set_scale(dpi):
    """The DPI of the programs started from now on; 96 removes the user's own value again."""
    if dpi != 96:
        wine_fact("a changed display scale (LogPixels) takes effect at the next sign-in",
                  "each process reads HKCU\\Control Panel\\Desktop LogPixels when it starts")
    key = r"HKCU\Control Panel\Desktop"
    change = (["add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"]
              if dpi != 96 else ["delete", key, "/v", "LogPixels", "/f"])
    subprocess.run([os.environ["ZQ_WINE64"], "reg", *change], check=dpi != 96, timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


SCALES = (96, 144, 192)


def scale_shot_name(name, dpi):
    """lists-closed.png at 96 DPI, lists-closed-144.png at 144 ..."""
    stem, extension = os.path.splitext(name)
    return name if dpi == 96 else f"{stem}-{dpi}{extension}"


def save_scale_montage(name):
    """The screenshots `name` saved so far at each scale, side by side on one picture
    (scales-<name>), to be looked at by eye."""
    shots = [Image.open(path) for path in (os.path.join(ARTIFACTS, scale_shot_name(name, dpi))
                                           for dpi in SCALES) if os.path.exists(path)]
    montage = Image.new("RGB", (sum(s.width for s in shots) + 20 * len(shots),
                                max(s.height for s in shots)), (255, 255, 255))
    x = 0
    for shot in shots:
        montage.paste(shot, (x, montage.height - shot.height))
        x += shot.width + 20
    montage.save(os.path.join(ARTIFACTS, "scales-" + name))


def at_scale(test_class, dpi, *names):
    """`test_class` with only the tests `names`, run with the window at `dpi`: its client places
    are given in frame units as at 96 DPI and scaled by Program, its pictures read at that size."""
    hidden = {name: None for name in dir(test_class)
              if name.startswith("test_") and name not in names}
    return type(f"{test_class.__name__}At{dpi}", (test_class,),
                {"dpi": dpi, "__module__": test_class.__module__, **hidden})


def cancel_hovered(image):
    """The top edge of the Cancel button's face: blue (64, 111, 141) only when hovered."""
    column = [image.getpixel((CANCEL_CENTRE[0], y)) for y in range(384, 393)]
    return any(b > r + 50 for r, g, b in column)


def brightest(image, box):
    """The largest min(R, G, B) in a box: near 255 only where something white is drawn."""
    region = image.crop(box)
    return max(min(p) for p in region.getdata())


def count_white(image, box, threshold=225):
    region = image.crop(box)
    return sum(1 for p in region.getdata() if min(p) >= threshold)


def random_block(rng, sensor_enabled=True, range_code=0, off_delay_code=None):
    block = bytearray(rng.getrandbits(8) for _ in range(BLOCK_SIZE))
    block[0] = (block[0] & 0xF8) | (range_code << 1) | (1 if sensor_enabled else 0)
    return bytes(block) if off_delay_code is None else with_off_delay(bytes(block), off_delay_code)


def with_range(block, code):
    """The block with another range code (bits 1 and 2 of byte 0)."""
    return bytes([(block[0] & 0xF9) | code << 1]) + block[1:]


def with_off_delay(block, code):
    """The block with another off-delay code (the low four bits of byte 1)."""
    return block[:1] + bytes([(block[1] & 0xF0) | code]) + block[2:]


class Program:
    """One run of sensorctl.exe and its window."""

    runs = 0

    def __init__(self, locale=None, dpi=96):
        self.dpi = dpi
        env = dict(os.environ)
        if locale:
            env["LC_ALL"] = locale
        # Wine reports a crash of the program on its standard error: kept for the failure report.
        Program.runs += 1
        os.makedirs(ARTIFACTS, exist_ok=True)
        self.stderr_path = os.path.join(ARTIFACTS, f"sensorctl-run{Program.runs}.stderr")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen([os.environ["ZQ_WINE"], wine_path("bin/sensorctl.exe")],
                                            env=env, stdout=subprocess.DEVNULL, stderr=stderr)
        try:
            self.state = self.wait_for_window()
        except BaseException:
            self.kill()
            raise
        left, top, _, _ = self.state["rect"]
        self.origin = (left, top)
        self.settle()

    def wait_for_window(self):
        def shown():
            state = shown_window()
            if state:
                return state
            if self.process.poll() is not None:
                raise AssertionError(f"sensorctl ended early with {self.process.returncode}")
        return wait_for(shown, "the settings window", timeout=30)

    def refresh(self):
        self.state = window_state()
        if self.state["count"]:
            left, top, _, _ = self.state["rect"]
            self.origin = (left, top)
        return self.state

    def scaled(self, units):
        """Frame units in the window's pixels (a click point: the nearest pixel will do)."""
        return int(units * self.dpi / 96 + 0.5)

    def screen(self, x, y):
        return self.origin[0] + self.scaled(x), self.origin[1] + self.scaled(y)

    def move(self, x, y):
        """Puts the pointer on a client point; returns once the display has it there. What the
        window makes of the move, the caller waits for in its pictures."""
        target = self.screen(x, y)
        xdotool("mousemove", *target)
        wait_for(lambda: pointer() == target, f"the pointer at {target}", timeout=10)

    def click(self, x, y, button=1):
        self.move(x, y)
        xdotool("click", button)
        self.settle()

    def take_keyboard(self):
        """Gives the window the display's keyboard focus, as a window manager gives a window
        that opens: this display runs none, and its keys go to whatever lies under the pointer."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "sensorctl.exe"],
                               timeout=60, capture_output=True, text=True).stdout.split()
        if not found:
            raise AssertionError("no X window of sensorctl.exe is shown")
        xdotool("windowfocus", "--sync", found[0])

    def settle(self, quiet=0.3, timeout=10):
        """Waits until the window's picture stops changing."""
        deadline = time.time() + timeout
        last = None
        stable_since = time.time()
        while time.time() < deadline:
            shot = self.shot()
            if last is not None and ImageChops.difference(shot, last).getbbox() is None:
                if time.time() - stable_since >= quiet:
                    return shot
            else:
                stable_since = time.time()
            last = shot
            time.sleep(0.05)
        return last

    def wait_until(self, looks_right, timeout=10):
        """Shots until one looks right, and that one; or the last after `timeout` seconds. A
        slow program (the 32-bit one on a busy machine) may not have begun to change when a
        picture has merely stood still for a moment."""
        return polled(self.shot, looks_right, timeout)

    def shot(self):
        """The window, brought to frame units (566 x 460) when it is drawn larger."""
        image = self.full_shot()
        return image if self.dpi == 96 else image.resize((WINDOW_WIDTH, WINDOW_HEIGHT), Image.BOX)

    def full_shot(self):
        return window_shot(self.origin, (self.scaled(WINDOW_WIDTH), self.scaled(WINDOW_HEIGHT)))

    def save(self, name):
        """The settled window saved at its own size; returns it in frame units."""
        os.makedirs(ARTIFACTS, exist_ok=True)
        image = self.settle()
        self.full_shot().save(os.path.join(ARTIFACTS, name))
        return image

    def describe_end(self):
        """Whether the program still runs and, if not, how it ended: for failure reports."""
        if self.process.poll() is None:
            return "sensorctl still runs"
        with open(self.stderr_path, "rb") as stderr:
            tail = stderr.read()[-2000:].decode("utf-8", "replace")
        return f"sensorctl ended with {self.process.returncode}; the end of its stderr:\n{tail}"

    def wait_exit(self, timeout=20):
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=20)
        deadline = time.time() + 20
        while time.time() < deadline and window_state()["count"] > 0:
            time.sleep(0.2)


class WindowTest(unittest.TestCase):
    """Registry, stand-in and pointer prepared for every test; the program ended after it."""

    saved_current = None
    dpi = 96  # the display scale of the programs the tests start (at_scale)

    @classmethod
    def setUpClass(cls):
        probe("standin-ensure")
        cls.saved_current = read_value("Current")
        set_scale(cls.dpi)  # at 96 also after a run of another scale that was cut short

    @classmethod
    def tearDownClass(cls):
        if cls.dpi != 96:
            set_scale(96)
        probe("value-delete", "New")
        if cls.saved_current is not None:
            set_current(cls.saved_current)

    def setUp(self):
        # ZQ_E2E_SEED replays a run whose seed a failure report printed.
        seed = int(os.environ.get("ZQ_E2E_SEED") or random.randrange(1 << 30))
        log(f"{self.id()}: random seed {seed}")
        self.rng = random.Random(seed)
        self.programs = []
        probe("standin-ensure")
        xdotool("mousemove", 5, 5)
        self.assertEqual(window_state()["count"], 0, "a settings window is open already")

    def tearDown(self):
        for program in self.programs:
            program.kill()
        probe("terminate-all", check=False)

    def start(self, current, locale=None):
        set_current(current)
        self.assertIsNone(read_value("New"))
        program = Program(locale, self.dpi)
        self.programs.append(program)
        return program

    def assertNothingWritten(self, mark):
        self.assertIsNone(read_value("New"), "\"New\" was written")
        self.assertEqual(standin_codes(mark), [], "the service was sent a control")

    def assertApplied(self, mark, block):
        """`block` written as "New" and the service told once since `mark`."""
        self.assertEqual(awaited(lambda: standin_codes(mark), [CODE_APPLY]), [CODE_APPLY])
        self.assertEqual(read_value("New"), block)  # written before the service is told

    def assertClosesWithZero(self, program):
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(window_state()["count"], 0)

    def assertListOpens(self, program, choice_x, list_top):
        """The first picture with the list open."""
        opened = program.wait_until(lambda image: list_is_open(image, choice_x, list_top))
        self.assertTrue(list_is_open(opened, choice_x, list_top), "the list did not open")
        return opened

    def open_list(self, program, list_top=RANGE_LIST_TOP, choice_x=CHOICE_X_LTR):
        program.click(*button_centre(list_top, choice_x))
        return self.assertListOpens(program, choice_x, list_top)

    def wait_lists_closed(self, program, choice_x=CHOICE_X_LTR,
                          tops=(RANGE_LIST_TOP, OFF_DELAY_LIST_TOP)):
        """The window's picture once it shows none of the lists at `tops` open. (A slow program
        may still be drawing the press when the picture first holds still, so this polls rather
        than settles.)"""
        def closed_picture():
            image = program.shot()
            return None if any(list_is_open(image, choice_x, top) for top in tops) else image
        return wait_for(closed_picture, f"lists at y {tops} closed")

    def pick(self, program, list_top, row):
        """Down the open list to `row`, as a hand moves, and a click there; the picture once the
        list has closed."""
        hover_row(program, list_top, row)
        xdotool("click", 1)
        return self.wait_lists_closed(program)

    def assertCancelCloses(self, program):
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)


def button_centre(list_top, choice_x=CHOICE_X_LTR):
    """The middle of the drop-down button whose list opens at `list_top` (30 below its top)."""
    return choice_x + 60, list_top - 30 + 16


def row_y(list_top, row):
    """A client y in the middle of a list row."""
    return list_top + ROW_TOP_MARGIN + ROW_HEIGHT * row + ROW_HEIGHT // 2


def check_mark_rows(image, choice_x, list_top, right_to_left=False, rows=4):
    """Rows of an open list beside which a check mark is drawn."""
    left = choice_x + LIST_WIDTH - 20 if right_to_left else choice_x + 8
    found = []
    for row in range(rows):
        top = list_top + ROW_TOP_MARGIN + ROW_HEIGHT * row + 8
        if count_white(image, (left, top, left + 10, top + 8)) >= 6:
            found.append(row)
    return found


def highlighted_rows(image, choice_x, list_top, rows):
    """Rows of an open list under the blue row highlight."""
    found = []
    for row in range(rows):
        y = list_top + ROW_TOP_MARGIN + ROW_HEIGHT * row + 12
        r, g, b = image.getpixel((choice_x + 8, y))
        if b > r + 50 and g > r + 25:
            found.append(row)
    return found


def hover_row(program, list_top, row, choice_x=CHOICE_X_LTR):
    """Down from the button over the rows to `row`, as a slow hand moves, highlighting each row
    on the way. (JumpToRowTest clicks on rows the pointer jumps to.)"""
    for y in range(list_top + ROW_TOP_MARGIN + 4, row_y(list_top, row) + 1, 8):
        program.move(choice_x + 60, y)
    program.move(choice_x + 60, row_y(list_top, row))


def jump_and_click(program, x, y):
    """Straight onto a client point and click there at once, as a fast hand or a tap does: one
    pointer motion and a press, with no move in between that the window could see first."""
    xdotool("mousemove", *program.screen(x, y), "click", 1)


def shown_children(program, ids):
    children = program.refresh()["children"]
    return {child: children[child]["shown"] for child in ids}


def list_is_open(image, choice_x, list_top):
    """Right of the buttons and the row highlight the list is dark where the panel is grey 91."""
    r, g, b = image.getpixel((choice_x + 164, list_top + 40))
    return r < 75 and b < 80


def apply_enabled(image):
    """White caption: enabled; white at half opacity: disabled."""
    return brightest(image, APPLY_RECT) >= 235


def button_text_bright(image, choice_x, button_y):
    return brightest(image, (choice_x + 4, button_y + 6, choice_x + 125, button_y + 26))


def main():
    global BUILD, ARTIFACTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    arguments, rest = parser.parse_known_args()
    BUILD = os.path.abspath(arguments.build)
    ARTIFACTS = os.path.join(BUILD, "artifacts", "app")
    for name in ("ZQ_WINE", "DISPLAY", "WINEPREFIX"):
        if name not in os.environ:
            sys.exit(f"{name} is not set: run inside 'winebench.sh exec'")
    result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    # A run whose every test was skipped reports itself skipped (ctest's SKIP_RETURN_CODE).
    if result.testsRun and len(result.skipped) == result.testsRun:
        sys.exit(77)
