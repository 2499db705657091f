#!/usr/bin/python3
"""End-to-end tests of the settings window under Wine.

Runs the real sensorctl.exe on the bench's virtual display, drives it with real X pointer and
keyboard input (xdotool), looks at what it shows (screenshots of the display) and at what the
registry and the stand-in sensor service see (through sensorctl_probe.exe). Runs inside
`winebench.sh exec`, which sets WINEPREFIX, DISPLAY, ZQ_WINE and ZQ_STANDIN_EXE.

    sensorctl_e2e.py --build <build dir> [unittest arguments, e.g. StartupTest]

Screenshots of the window's states are saved under <build>/artifacts/app/.
"""

import argparse
import contextlib
import json
import os
import random
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image, ImageChops, ImageGrab

BUILD = ""
ARTIFACTS = ""

WINDOW_WIDTH, WINDOW_HEIGHT = 566, 460
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

CODE_APPLY = 200


def log(message):
    print(message, flush=True)


# --- The bench -------------------------------------------------------------------------------

def wine_path(name):
    return os.path.join(BUILD, name)


def probe(*arguments, check=True):
    # Files, not pipes: a program the probe starts inherits its Unix descriptors, and a pipe
    # would stay open for as long as that program runs.
    with tempfile.TemporaryFile(mode="w+") as output, tempfile.TemporaryFile(mode="w+") as errors:
        result = subprocess.run([os.environ["ZQ_WINE"], wine_path("tests/sensorctl_probe.exe"),
                                 *[str(a) for a in arguments]],
                                stdout=output, stderr=errors, stdin=subprocess.DEVNULL,
                                timeout=60)
        output.seek(0)
        text = output.read()
        if check and result.returncode != 0:
            errors.seek(0)
            said = errors.read()[-1000:].strip()
            raise AssertionError(f"probe {arguments} failed ({result.returncode}): "
                                 f"output {text.strip()!r}, errors {said!r}")
    return text.strip()


ERROR_ELEVATION_REQUIRED = 740  # Windows: the program asks for rights the caller lacks
# The OpenGL library that Wine's Direct2D loads, by the bitness of the program.
LIBGL = {32: "/usr/lib/i386-linux-gnu/libGL.so.1", 64: "/usr/lib/x86_64-linux-gnu/libGL.so.1"}


def program_bits(name):
    """32 or 64: the machine field of a Windows program's PE header."""
    with open(wine_path(name), "rb") as program:
        header = program.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    machine = int.from_bytes(header[offset + 4:offset + 6], "little")
    return {0x014C: 32, 0x8664: 64}[machine]


def xdotool(*arguments):
    subprocess.run(["xdotool", *[str(a) for a in arguments]], check=True, timeout=120)


def window_state():
    return json.loads(probe("window"))


def read_value(name):
    text = probe("value-get", name)
    return None if text == "absent" else bytes.fromhex(text)


def set_current(block):
    probe("current-set", block.hex().upper())


def standin_mark():
    return int(probe("standin-mark"))


def standin_codes(mark):
    return [int(code) for code in probe("standin-codes", mark).split()]


def grab():
    return ImageGrab.grab(xdisplay=None).convert("RGB")


def min_channel(pixel):
    return min(pixel)


def brightest(image, box):
    """The largest min(R, G, B) in a box: near 255 only where something white is drawn."""
    region = image.crop(box)
    return max(min_channel(p) for p in region.getdata())


def count_white(image, box, threshold=225):
    region = image.crop(box)
    return sum(1 for p in region.getdata() if min_channel(p) >= threshold)


def random_block(rng, sensor_enabled=True, range_code=0, off_delay_code=None):
    block = bytearray(rng.getrandbits(8) for _ in range(BLOCK_SIZE))
    block[0] = (block[0] & 0xF8) | (range_code << 1) | (1 if sensor_enabled else 0)
    if off_delay_code is not None:
        block[1] = (block[1] & 0xF0) | off_delay_code
    return bytes(block)


class Program:
    """One run of sensorctl.exe and its window."""

    runs = 0

    def __init__(self, locale=None):
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

    def wait_for_window(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            state = window_state()
            if state["count"] >= 1 and state.get("visible"):
                return state
            if self.process.poll() is not None:
                raise AssertionError(f"sensorctl ended early with {self.process.returncode}")
            time.sleep(0.2)
        raise AssertionError("the settings window did not appear")

    def refresh(self):
        self.state = window_state()
        if self.state["count"]:
            left, top, _, _ = self.state["rect"]
            self.origin = (left, top)
        return self.state

    def screen(self, x, y):
        return self.origin[0] + x, self.origin[1] + y

    def move(self, x, y):
        xdotool("mousemove", *self.screen(x, y))
        time.sleep(0.15)

    def click(self, x, y, button=1):
        self.move(x, y)
        xdotool("click", button)
        self.settle()

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
        deadline = time.time() + timeout
        while True:
            image = self.shot()
            if looks_right(image) or time.time() >= deadline:
                return image
            time.sleep(0.05)

    def shot(self):
        left, top = self.origin
        return grab().crop((left, top, left + WINDOW_WIDTH, top + WINDOW_HEIGHT))

    def save(self, name):
        os.makedirs(ARTIFACTS, exist_ok=True)
        image = self.settle()
        image.save(os.path.join(ARTIFACTS, name))
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

    @classmethod
    def setUpClass(cls):
        probe("standin-ensure")
        cls.saved_current = read_value("Current")

    @classmethod
    def tearDownClass(cls):
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
        program = Program(locale)
        self.programs.append(program)
        return program

    def assertNothingWritten(self, mark):
        self.assertIsNone(read_value("New"), "\"New\" was written")
        self.assertEqual(standin_codes(mark), [], "the service was sent a control")

    def assertClosesWithZero(self, program):
        self.assertEqual(program.wait_exit(), 0)
        self.assertEqual(window_state()["count"], 0)


def list_rect(choice_x, list_top):
    return (choice_x, list_top, choice_x + LIST_WIDTH, list_top + 90)


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


def wait_for(condition, what, timeout=15):
    """Polls `condition` until it gives something true; fails after `timeout` seconds."""
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError(f"{what}: not seen within {timeout} s")
        time.sleep(0.05)


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


# --- Start-up --------------------------------------------------------------------------------

class StartupTest(WindowTest):

    def test_window_is_centred_on_the_desktop(self):
        program = self.start(random_block(self.rng, range_code=2, off_delay_code=3))
        self.assertEqual(program.state["rect"], [677, 310, 677 + 566, 310 + 460])
        self.assertEqual(program.state["title"], "ZQ Proximity Sensor Control")
        self.assertTrue(program.state["exstyle"] & 0x80000, "not a layered window")
        image = program.save("lists-closed.png")
        self.assertEqual(image.getpixel((40, 150)), (91, 91, 91))
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_second_start_returns_zero_and_leaves_one_window(self):
        program = self.start(random_block(self.rng))
        second = subprocess.run([os.environ["ZQ_WINE"], wine_path("bin/sensorctl.exe")],
                                timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(second.returncode, 0)
        state = program.refresh()
        self.assertEqual(state["count"], 1)
        self.assertEqual(state["rect"], [677, 310, 1243, 770])
        self.assertIsNone(program.process.poll(), "the first window went away")
        program.click(*CLOSE_AREA_CENTRE)
        self.assertClosesWithZero(program)

    def test_started_by_another_program_despite_asking_for_administrator_rights(self):
        set_current(random_block(self.rng))
        launched = json.loads(probe("launch", "Z:" + wine_path("bin/sensorctl.exe").replace("/", "\\")))
        # Wine fact: Wine starts a program whose manifest asks for requireAdministrator through a
        # plain CreateProcess (there is no elevation to ask for). Windows refuses a caller that
        # is not elevated with ERROR_ELEVATION_REQUIRED, and no window appears.
        if not launched.get("wine", 1) and launched.get("started") == 0:
            self.assertEqual(launched.get("error"), ERROR_ELEVATION_REQUIRED, launched)
            self.assertEqual(window_state()["count"], 0)
            return
        self.assertEqual(launched.get("started"), 1, launched)
        deadline = time.time() + 30
        while window_state()["count"] == 0 and time.time() < deadline:
            time.sleep(0.2)
        state = window_state()
        self.assertEqual(state["count"], 1)
        self.assertEqual(state["pid"], launched["pid"])
        origin = state["rect"][:2]
        time.sleep(0.5)
        xdotool("mousemove", origin[0] + CANCEL_CENTRE[0], origin[1] + CANCEL_CENTRE[1])
        time.sleep(0.2)
        xdotool("click", 1)
        deadline = time.time() + 20
        while window_state()["count"] and time.time() < deadline:
            time.sleep(0.2)
        self.assertEqual(window_state()["count"], 0)

    def test_without_opengl_the_window_says_it_cannot_draw_and_closes(self):
        # Wine's Direct2D draws through OpenGL. With the OpenGL library of the program's bitness
        # hidden (a private mount namespace, for this process only) no render target can be
        # made: the program says so once and, never having shown a frame, closes when the
        # message is answered, instead of lingering as a window nobody can see or click.
        bits = program_bits("bin/sensorctl.exe")
        library = os.path.realpath(LIBGL[bits])
        if not os.path.exists(library):
            self.skipTest(f"no {bits}-bit OpenGL library to hide at {LIBGL[bits]}")
        if subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("cannot make a private mount namespace here (unshare -m)")
        set_current(random_block(self.rng))
        process = subprocess.Popen(
            ["unshare", "-m", "sh", "-c", 'mount --bind /dev/null "$0" && exec "$@"', library,
             os.environ["ZQ_WINE"], wine_path("bin/sensorctl.exe")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            boxes = wait_for(lambda: json.loads(probe("boxes")), "a message box", timeout=60)
            self.assertEqual(len(boxes), 1, boxes)
            self.assertIn("Fail CreateDCRenderTarget", boxes[0]["texts"])
            self.assertEqual(window_state()["count"], 1, "the window exists, unseen")
            left, top, right, bottom = boxes[0]["ok"]
            xdotool("mousemove", (left + right) // 2, (top + bottom) // 2)
            xdotool("click", 1)
            self.assertEqual(process.wait(timeout=30), 0)
            self.assertEqual(window_state()["count"], 0)
        finally:
            if process.poll() is None:
                process.kill()
                probe("terminate-all", check=False)

    def test_keys_change_nothing(self):
        program = self.start(random_block(self.rng))
        mark = standin_mark()
        # Focus the sensitivity button with a click (it opens the list), and show that keys
        # reach the program: the space bar clicks the focused button, which closes the list.
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        self.assertTrue(list_is_open(program.wait_until(
            lambda image: list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP)),
            CHOICE_X_LTR, RANGE_LIST_TOP))
        program.move(200, 60)
        xdotool("key", "space")
        before = program.settle()
        self.assertFalse(list_is_open(before, CHOICE_X_LTR, RANGE_LIST_TOP))
        for key in ("alt+question", "alt+slash", "Escape", "Return"):
            xdotool("key", key)
            after = program.settle()
            self.assertIsNone(ImageChops.difference(before, after).getbbox(), key)
            self.assertEqual(program.refresh()["count"], 1, key)
        self.assertNothingWritten(mark)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)


# --- The controls ----------------------------------------------------------------------------

class ControlsTest(WindowTest):

    def open_range_list(self, program, choice_x=CHOICE_X_LTR):
        program.click(choice_x + 60, RANGE_BUTTON_Y + 16)
        self.assertTrue(list_is_open(program.wait_until(
            lambda image: list_is_open(image, choice_x, RANGE_LIST_TOP)), choice_x, RANGE_LIST_TOP))

    def pick(self, program, list_top, row, choice_x=CHOICE_X_LTR):
        hover_row(program, list_top, row, choice_x)
        xdotool("click", 1)
        program.settle()

    def reference_button(self, current, choice_x=CHOICE_X_LTR, button_y=RANGE_BUTTON_Y):
        """The drop-down button as a window started with `current` draws it."""
        program = self.start(current)
        image = program.shot()
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)
        return image.crop((choice_x, button_y, choice_x + 153, button_y + 32))

    def test_pick_maximum_apply_and_apply_again(self):
        current = random_block(self.rng, range_code=0)
        maximum_button = self.reference_button(bytes([current[0] | 0x04]) + current[1:])
        program = self.start(current)
        self.assertEqual(program.state["children"]["210"]["text"], "  Minimum")
        self.assertFalse(apply_enabled(program.shot()))
        mark = standin_mark()

        self.open_range_list(program)
        self.assertEqual(check_mark_rows(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP), [0])
        hover_row(program, RANGE_LIST_TOP, 1)
        image = program.save("list-open-highlight.png")
        self.assertEqual(highlighted_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP, 2), [1])
        # Out of the list and back: the row last hovered stays highlighted meanwhile.
        program.move(CHOICE_X_LTR + 220, row_y(RANGE_LIST_TOP, 0))
        self.assertEqual(highlighted_rows(program.settle(), CHOICE_X_LTR, RANGE_LIST_TOP, 2), [1])
        program.move(CHOICE_X_LTR + 60, row_y(RANGE_LIST_TOP, 1))
        xdotool("click", 1)
        image = program.settle()

        # The button shows Maximum, Apply is enabled, nothing is written yet.
        self.assertEqual(program.refresh()["children"]["210"]["text"], "  Maximum")
        button = image.crop((CHOICE_X_LTR, RANGE_BUTTON_Y, CHOICE_X_LTR + 153, RANGE_BUTTON_Y + 32))
        self.assertIsNone(ImageChops.difference(button, maximum_button).getbbox(),
                          "the button does not show Maximum")
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertTrue(apply_enabled(image))
        self.assertNothingWritten(mark)

        # Apply: "New" is "Current" with range code 2, the service is told, Apply disabled.
        program.click(*APPLY_CENTRE)
        expected = bytes([(current[0] & 0xF9) | 0x04]) + current[1:]
        self.assertEqual(read_value("New"), expected)
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        self.assertEqual(read_value("Current"), expected)
        self.assertFalse(apply_enabled(program.wait_until(lambda i: not apply_enabled(i))))
        # "Current" was read back: the check mark now stands on Maximum.
        self.open_range_list(program)
        self.assertEqual(check_mark_rows(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP), [1])
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)

        # Apply again: nothing to write, nothing sent.
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*APPLY_CENTRE)
        self.assertNothingWritten(mark)
        program.click(*OK_CENTRE)
        self.assertNothingWritten(mark)
        self.assertClosesWithZero(program)

    def test_apply_with_the_service_stopped_then_the_disabled_apply_again(self):
        current = random_block(self.rng, range_code=0)
        picked = bytes([(current[0] & 0xF9) | 0x04]) + current[1:]
        program = self.start(current)
        self.open_range_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        probe("standin-stop")
        try:
            mark = standin_mark()
            program.click(*APPLY_CENTRE)
            # Written, but no service to tell, so "Current" stays as it was.
            self.assertEqual(read_value("New"), picked)
            self.assertEqual(standin_codes(mark), [])
            self.assertEqual(read_value("Current"), current)
            self.assertFalse(apply_enabled(program.wait_until(lambda i: not apply_enabled(i))))
        finally:
            probe("standin-ensure")
        # Apply looks disabled, yet a click runs it: the blocks still differ, so it writes again.
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*APPLY_CENTRE)
        self.assertEqual(read_value("New"), picked)
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        self.assertEqual(read_value("Current"), picked)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_new_lands_in_the_registry_view_of_the_programs_bitness(self):
        # sensorctl opens its key with no view flag. On 64-bit Windows the shipped 32-bit program
        # therefore writes "New" into the 32-bit view (WOW6432Node), where the service must look;
        # its 64-bit twin writes the 64-bit view. Nothing lands in the other view.
        bits = program_bits("bin/sensorctl.exe")
        own, other = ("32", "64") if bits == 32 else ("64", "32")
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        probe("value-views-delete", "New")
        self.open_range_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        program.click(*APPLY_CENTRE)
        picked = bytes([(current[0] & 0xF9) | 0x04]) + current[1:]
        new = json.loads(probe("value-views", "New"))
        self.assertEqual(new[own], picked.hex().upper(), f"'New' of the {bits}-bit program")
        self.assertIsNone(new[other], f"'New' of the {bits}-bit program in the {other}-bit view")
        # The stand-in of this build shares the view: it took up "New" there.
        self.assertEqual(json.loads(probe("value-views", "Current"))[own], picked.hex().upper())
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_delay_pick_changes_only_its_own_bits(self):
        current = random_block(self.rng, off_delay_code=0)
        program = self.start(current)
        self.assertEqual(program.state["children"]["211"]["text"], "  5 Second(s)")
        program.click(CHOICE_X_LTR + 60, OFF_DELAY_BUTTON_Y + 16)
        image = program.shot()
        self.assertTrue(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        # Code 0 has no row of its own: the check mark stands on the first row.
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP), [0])
        self.pick(program, OFF_DELAY_LIST_TOP, 2)
        self.assertEqual(program.refresh()["children"]["211"]["text"], "  3 Minute(s)")
        mark = standin_mark()
        program.click(*OK_CENTRE)
        self.assertClosesWithZero(program)
        self.assertEqual(read_value("New"), current[:1] + bytes([(current[1] & 0xF0) | 4]) + current[2:])
        self.assertEqual(standin_codes(mark), [CODE_APPLY])

    def test_disable_writes_at_once_and_cancel_undoes_nothing(self):
        current = random_block(self.rng, sensor_enabled=True)
        program = self.start(current)
        before = program.shot()
        self.assertGreaterEqual(brightest(before, RANGE_LABEL_BOX_LTR), 235)
        self.assertGreaterEqual(button_text_bright(before, CHOICE_X_LTR, RANGE_BUTTON_Y), 235)
        mark = standin_mark()

        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertEqual(read_value("New"), bytes([current[0] & 0xFE]) + current[1:])
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        state = program.refresh()
        self.assertEqual(state["children"]["220"]["checked"], 1)
        for button in ("210", "211", "212"):
            self.assertEqual(state["children"][button]["shown"], 0, button)
        image = program.save("sensor-disabled.png")
        # Field labels and drop-down captions dimmed; the check-box label stays white.
        for box in (RANGE_LABEL_BOX_LTR, OFF_LABEL_BOX_LTR):
            self.assertLess(brightest(image, box), 200)
        self.assertGreaterEqual(brightest(image, CHECK_BOX_LABEL_BOX_LTR), 235)
        self.assertLess(button_text_bright(image, CHOICE_X_LTR, RANGE_BUTTON_Y), 200)
        self.assertLess(button_text_bright(image, CHOICE_X_LTR, OFF_DELAY_BUTTON_Y), 200)
        self.assertGreater(count_white(image, (64, 339, 84, 359), 230), 5, "box not ticked")
        self.assertFalse(apply_enabled(image), "the check box left Apply alone")

        # A click on the disabled drop-down opens nothing.
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP))

        # Untick: written again with bit 0 set.
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertEqual(read_value("New"), bytes([current[0] | 0x01]) + current[1:])
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        state = program.refresh()
        self.assertEqual(state["children"]["220"]["checked"], 0)
        self.assertEqual(state["children"]["210"]["shown"], 1)
        image = program.settle()
        self.assertGreaterEqual(brightest(image, RANGE_LABEL_BOX_LTR), 235)

        # Tick again, then Cancel: the write stays, Cancel writes nothing more.
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertEqual(read_value("Current"), bytes([current[0] & 0xFE]) + current[1:])
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)
        self.assertNothingWritten(mark)
        self.assertEqual(read_value("Current"), bytes([current[0] & 0xFE]) + current[1:])

    def test_pick_then_check_box_writes_the_pick_too(self):
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        self.open_range_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        mark = standin_mark()
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertEqual(read_value("New"), bytes([(current[0] & 0xF8) | 0x04]) + current[1:])
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        self.assertTrue(apply_enabled(program.settle()), "Apply keeps its state")
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_cancel_and_close_area_after_a_pick_write_nothing(self):
        for closer in (CANCEL_CENTRE, CLOSE_AREA_CENTRE):
            with self.subTest(closer=closer):
                program = self.start(random_block(self.rng, range_code=0))
                mark = standin_mark()
                self.open_range_list(program)
                self.pick(program, RANGE_LIST_TOP, 1)
                self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
                program.click(*closer)
                self.assertClosesWithZero(program)
                self.assertNothingWritten(mark)

    def test_ok_with_nothing_changed_writes_nothing_and_closes(self):
        program = self.start(random_block(self.rng))
        mark = standin_mark()
        program.click(*OK_CENTRE)
        self.assertClosesWithZero(program)
        self.assertNothingWritten(mark)

    def test_release_on_a_row_boundary_picks_nothing_but_enables_apply(self):
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        mark = standin_mark()
        closed = program.shot()
        self.open_range_list(program)
        boundary = RANGE_LIST_TOP + ROW_TOP_MARGIN + ROW_HEIGHT  # T + 24
        # Down over row 0 first, as a hand moves; the delay button's window, which lies under the
        # list from y 225, was hidden when the list opened, so the release reaches the window.
        program.move(CHOICE_X_LTR + 60, boundary - 12)
        program.move(CHOICE_X_LTR + 60, boundary)
        self.assertEqual(highlighted_rows(program.settle(), CHOICE_X_LTR, RANGE_LIST_TOP, 2), [])
        xdotool("click", 1)
        image = program.settle()
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertEqual(program.refresh()["children"]["210"]["text"], "  Minimum")
        self.assertTrue(apply_enabled(image))
        button = (CHOICE_X_LTR, RANGE_BUTTON_Y, CHOICE_X_LTR + 153, RANGE_BUTTON_Y + 32)
        self.assertIsNone(ImageChops.difference(image.crop(button), closed.crop(button)).getbbox())
        # Nothing was picked: Apply finds nothing to write.
        program.click(*APPLY_CENTRE)
        self.assertNothingWritten(mark)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_click_on_a_disabled_drop_down_closes_the_open_list(self):
        current = random_block(self.rng, sensor_enabled=True)
        program = self.start(current)
        program.click(CHOICE_X_LTR + 60, OFF_DELAY_BUTTON_Y + 16)
        self.assertTrue(list_is_open(program.wait_until(
            lambda image: list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP)),
            CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        program.click(*CHECK_BOX_CENTRE_LTR)  # disables the drop-downs; the list stays open
        self.assertTrue(list_is_open(program.wait_until(
            lambda image: list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP)),
            CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        image = program.shot()
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP), [])
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_disabled_at_start_a_drop_down_click_opens_nothing(self):
        program = self.start(random_block(self.rng, sensor_enabled=False))
        self.assertEqual(program.state["children"]["220"]["checked"], 1)
        before = program.shot()
        self.assertLess(brightest(before, RANGE_LABEL_BOX_LTR), 200)
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        program.click(CHOICE_X_LTR + 60, OFF_DELAY_BUTTON_Y + 16)
        image = program.shot()
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        self.assertFalse(apply_enabled(image))
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_range_code_3_shows_an_empty_button_and_a_mark_below_the_rows(self):
        program = self.start(random_block(self.rng, range_code=3))
        self.assertEqual(program.state["children"]["210"]["text"], "")
        image = program.shot()
        self.assertLess(button_text_bright(image, CHOICE_X_LTR, RANGE_BUTTON_Y), 150)
        self.open_range_list(program)
        program.move(CHOICE_X_LTR + 200, RANGE_LIST_TOP + 40)  # beside the list: no highlight
        image = program.save("range-code-3.png")
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP), [3])
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_buttons_show_hover_and_press(self):
        program = self.start(random_block(self.rng))
        def hover_border(image):
            # The top edge of the Cancel button's face: blue (64, 111, 141) only when hovered.
            column = [image.getpixel((CANCEL_CENTRE[0], y)) for y in range(384, 393)]
            return any(b > r + 50 for r, g, b in column)

        self.assertFalse(hover_border(program.shot()))
        program.move(*CANCEL_CENTRE)
        self.assertTrue(hover_border(program.wait_until(hover_border)), "no hover look")
        program.move(200, 300)
        self.assertFalse(hover_border(program.wait_until(lambda i: not hover_border(i))),
                         "hover not left")

        # While the button is down on a drop-down it shows its pressed image.
        def pressed_image(image):
            # The left edge of the drop-down: blue in the pressed image, near black otherwise.
            r, g, b = image.getpixel((CHOICE_X_LTR + 1, RANGE_BUTTON_Y + 16))
            return b > r + 30

        self.assertFalse(pressed_image(program.shot()))
        program.move(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        xdotool("mousedown", 1)
        self.assertTrue(pressed_image(program.wait_until(pressed_image)))
        xdotool("mouseup", 1)
        image = program.wait_until(lambda i: list_is_open(i, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertFalse(pressed_image(image))
        self.assertTrue(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_minimise_area_minimises(self):
        program = self.start(random_block(self.rng))
        program.click(500, 36)
        deadline = time.time() + 10
        while not program.refresh()["iconic"] and time.time() < deadline:
            time.sleep(0.2)
        self.assertEqual(program.state["iconic"], 1)
        self.assertIsNone(program.process.poll())

    def test_a_native_list_selection_acts_as_a_pick(self):
        current = random_block(self.rng, off_delay_code=1)
        program = self.start(current)
        mark = standin_mark()
        probe("select-native-row", 231, 1)
        image = program.settle()
        state = program.refresh()
        self.assertEqual(state["children"]["211"]["text"], "  1 Minute(s)")
        self.assertEqual(state["children"]["231"]["shown"], 0)
        self.assertTrue(apply_enabled(image))
        self.assertNothingWritten(mark)
        program.click(*APPLY_CENTRE)
        self.assertEqual(read_value("New"), current[:1] + bytes([(current[1] & 0xF0) | 3]) + current[2:])
        self.assertEqual(standin_codes(mark), [CODE_APPLY])
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_dragging_the_title_bar_moves_the_window(self):
        program = self.start(random_block(self.rng))
        program.move(*TITLE_BAR_SPOT)
        xdotool("mousedown", 1)
        x, y = program.screen(*TITLE_BAR_SPOT)
        for step in range(1, 11):
            xdotool("mousemove", x + 10 * step, y + 5 * step)
            time.sleep(0.05)
        xdotool("mouseup", 1)
        time.sleep(0.3)
        self.assertEqual(program.refresh()["rect"], [777, 360, 777 + 566, 360 + 460])
        image = program.settle()
        self.assertEqual(image.getpixel((40, 150)), (91, 91, 91), "the frame did not follow")

        # With the right button held as well the window stays.
        program.move(*TITLE_BAR_SPOT)
        x, y = program.screen(*TITLE_BAR_SPOT)
        xdotool("mousedown", 1)
        xdotool("mousedown", 3)
        for step in range(1, 11):
            xdotool("mousemove", x + 10 * step, y + 5 * step)
            time.sleep(0.05)
        xdotool("mouseup", 3)
        xdotool("mouseup", 1)
        time.sleep(0.3)
        self.assertEqual(program.refresh()["rect"], [777, 360, 777 + 566, 360 + 460])
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)


# --- Clicks that reach an open list however the pointer came ------------------------------

FREE_SPOT = (200, 60)  # the main window itself, no child window: a move here shows them again
WATCHED_WINDOWS = ("202", "203", "204", "210", "211", "212")


class DropDown:
    """A drop-down as the tests drive it: its button and native list, where its drawn list opens,
    the child windows that list lies over (besides its own button), and how a picked row changes
    the block."""

    def __init__(self, button, native, button_y, list_top, covered, pick):
        self.button, self.native = button, native
        self.button_y, self.list_top = button_y, list_top
        self.covered = covered
        self.pick = pick

    def button_centre(self, choice_x):
        return choice_x + 60, self.button_y + 16


def picked_range(block, row):
    return bytes([(block[0] & 0xF9) | (0x04 if row == 1 else 0)]) + block[1:]


def picked_off_delay(block, row):
    return block[:1] + bytes([(block[1] & 0xF0) | (1, 3, 4)[row]]) + block[2:]


# The sensitivity list lies over the delay-until-off button; the delay-until-off list over the
# delay-until-on button's window, which a move with no list open shows.
RANGE_DROP_DOWN = DropDown("210", "230", RANGE_BUTTON_Y, RANGE_LIST_TOP, ("211",), picked_range)
OFF_DELAY_DROP_DOWN = DropDown("211", "231", OFF_DELAY_BUTTON_Y, OFF_DELAY_LIST_TOP, ("212",),
                               picked_off_delay)
OTHER_LIST_TOP = {"210": OFF_DELAY_LIST_TOP, "211": RANGE_LIST_TOP}
# Rows in an order in which every pick changes what the button shows (both start at code 0).
PICK_ORDER = {"210": (1, 0), "211": (0, 1, 2)}


class JumpToRowTest(WindowTest):
    """A list row is picked by a click on it, whether or not the window saw the pointer arrive."""

    def open_list(self, program, drop_down, choice_x=CHOICE_X_LTR):
        program.click(*drop_down.button_centre(choice_x))
        wait_for(lambda: list_is_open(program.shot(), choice_x, drop_down.list_top),
                 f"list of {drop_down.button} open")

    @contextlib.contextmanager
    def lists_closed_after(self, program):
        """Whatever a case leaves open is closed before the next one starts."""
        try:
            yield
        finally:
            image = program.settle()
            if any(list_is_open(image, CHOICE_X_LTR, top) for top in (RANGE_LIST_TOP, OFF_DELAY_LIST_TOP)):
                program.click(*FREE_SPOT)

    def wait_lists_closed(self, program, choice_x=CHOICE_X_LTR, tops=(RANGE_LIST_TOP, OFF_DELAY_LIST_TOP)):
        """The window's picture once it shows none of the lists at `tops` open. (A slow program
        may still be drawing the press when the picture first holds still, so this polls rather
        than settles.)"""
        def closed_picture():
            image = program.shot()
            return None if any(list_is_open(image, choice_x, top) for top in tops) else image
        return wait_for(closed_picture, f"lists at y {tops} closed")

    def test_a_click_straight_from_the_button_onto_a_row_picks_it(self):
        for locale, choice_x in ((None, CHOICE_X_LTR), ("ar_EG.UTF-8", CHOICE_X_RTL)):
            for drop_down in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN):
                with self.subTest(locale=locale, button=drop_down.button):
                    self.jump_to_every_row(locale, choice_x, drop_down)

    def jump_to_every_row(self, locale, choice_x, drop_down):
        current = random_block(self.rng, range_code=0, off_delay_code=0)
        program = self.start(current, locale)
        suffix = "-rtl" if choice_x == CHOICE_X_RTL else ""
        try:
            rows = program.state["children"][drop_down.native]["rows"]
            applied = current
            for row in PICK_ORDER[drop_down.button]:
                # As a hand comes in: over the window first, which shows its child windows.
                program.move(*FREE_SPOT)
                self.assertEqual(shown_children(program, drop_down.covered),
                                 {child: 1 for child in drop_down.covered},
                                 "nothing lies under the list: the jump would test nothing")
                self.open_list(program, drop_down, choice_x)
                if row == PICK_ORDER[drop_down.button][0]:
                    program.save(f"jump-list-open-{drop_down.button}{suffix}.png")
                x = choice_x + self.rng.randint(16, 140)  # over the window the list covers
                jump_and_click(program, x, row_y(drop_down.list_top, row))
                image = self.wait_lists_closed(program, choice_x, (drop_down.list_top,))
                self.assertFalse(list_is_open(image, choice_x, OTHER_LIST_TOP[drop_down.button]),
                                 "the click opened the other list")
                self.assertEqual(program.refresh()["children"][drop_down.button]["text"], rows[row],
                                 f"row {row} not picked by a click at x {x}")
                self.assertTrue(apply_enabled(image))

                mark = standin_mark()
                program.click(*APPLY_CENTRE)
                applied = drop_down.pick(applied, row)
                self.assertEqual(read_value("New"), applied)
                self.assertEqual(standin_codes(mark), [CODE_APPLY])
                probe("value-delete", "New")
            program.save(f"jump-picked-{drop_down.button}{suffix}.png")
            program.click(*CANCEL_CENTRE)
            self.assertClosesWithZero(program)
        finally:
            program.kill()

    def test_windows_under_an_open_list_come_back_when_it_closes_whatever_closes_it(self):
        def pick(program, drop_down):
            jump_and_click(program, CHOICE_X_LTR + 60, row_y(drop_down.list_top, 1))

        def click_beside(program, drop_down):
            program.click(*FREE_SPOT)

        def click_its_button(program, drop_down):
            program.click(*drop_down.button_centre(CHOICE_X_LTR))

        def native_selection(program, drop_down):
            probe("select-native-row", drop_down.native, 1)

        program = self.start(random_block(self.rng, range_code=0, off_delay_code=0))
        rows = {d.button: program.state["children"][d.native]["rows"]
                for d in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN)}
        for drop_down in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN):
            for closer in (pick, click_beside, click_its_button, native_selection):
                with self.subTest(button=drop_down.button, closed_by=closer.__name__), \
                        self.lists_closed_after(program):
                    program.move(*FREE_SPOT)
                    before = shown_children(program, WATCHED_WINDOWS)
                    self.assertEqual([before[c] for c in drop_down.covered], [1] * len(drop_down.covered))
                    self.open_list(program, drop_down)
                    self.assertEqual(shown_children(program, WATCHED_WINDOWS),
                                     {**before, **{c: 0 for c in drop_down.covered}},
                                     "while the list is open")
                    closer(program, drop_down)
                    self.wait_lists_closed(program)
                    self.assertEqual(shown_children(program, WATCHED_WINDOWS), before, "after it closed")
                    if closer in (pick, native_selection):
                        self.assertEqual(program.state["children"][drop_down.button]["text"],
                                         rows[drop_down.button][1])

        # From the open delay list straight to the sensitivity list: what the one hid comes back,
        # what the other covers goes.
        with self.subTest(switch="delay list to sensitivity list"), self.lists_closed_after(program):
            program.move(*FREE_SPOT)
            before = shown_children(program, WATCHED_WINDOWS)
            self.open_list(program, OFF_DELAY_DROP_DOWN)
            self.open_list(program, RANGE_DROP_DOWN)
            self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
            self.assertEqual(shown_children(program, WATCHED_WINDOWS), {**before, "211": 0})
            click_beside(program, RANGE_DROP_DOWN)
            self.wait_lists_closed(program)
            self.assertEqual(shown_children(program, WATCHED_WINDOWS), before)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_the_check_box_toggled_under_an_open_list_keeps_its_windows_hidden(self):
        current = random_block(self.rng, sensor_enabled=True, off_delay_code=0)
        program = self.start(current)
        rows = program.state["children"]["231"]["rows"]
        drop_down = OFF_DELAY_DROP_DOWN
        program.move(*FREE_SPOT)
        before = shown_children(program, WATCHED_WINDOWS)
        self.assertEqual(before["212"], 1)
        self.open_list(program, drop_down)

        # Disabled and enabled again while the list stays open: the drop-down windows follow the
        # sensor, except the one the list lies over, which waits for the list to close.
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertTrue(list_is_open(program.shot(), CHOICE_X_LTR, drop_down.list_top))
        self.assertEqual(shown_children(program, ("210", "211", "212")),
                         {"210": 0, "211": 0, "212": 0})
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertTrue(list_is_open(program.shot(), CHOICE_X_LTR, drop_down.list_top))
        self.assertEqual(shown_children(program, ("210", "211", "212")),
                         {"210": 1, "211": 1, "212": 0})
        jump_and_click(program, CHOICE_X_LTR + 60, row_y(drop_down.list_top, 1))
        self.wait_lists_closed(program)
        self.assertEqual(program.refresh()["children"]["211"]["text"], rows[1])
        self.assertEqual(shown_children(program, WATCHED_WINDOWS), before)

        # Disabled while the list is open, then the list closed by a click where the (disabled,
        # hidden) sensitivity button is: nothing the sensor's state hides comes back.
        program.move(*FREE_SPOT)
        self.open_list(program, drop_down)
        program.click(*CHECK_BOX_CENTRE_LTR)
        program.click(*RANGE_DROP_DOWN.button_centre(CHOICE_X_LTR))
        self.wait_lists_closed(program)
        self.assertEqual(shown_children(program, ("210", "211", "212")),
                         {"210": 0, "211": 0, "212": 0})
        self.assertEqual(program.state["children"]["220"]["checked"], 1)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)


# --- Right to left ---------------------------------------------------------------------------

class RightToLeftTest(WindowTest):

    def test_arabic_mirrors_drop_downs_check_box_and_check_mark(self):
        program = self.start(random_block(self.rng, range_code=0), locale="ar_EG.UTF-8")
        children = program.state["children"]
        self.assertEqual(children["210"]["rect"][0], CHOICE_X_RTL)
        self.assertEqual(children["211"]["rect"][0], CHOICE_X_RTL)
        self.assertEqual(children["230"]["rect"][0], CHOICE_X_RTL)
        self.assertEqual(children["231"]["rect"][0], CHOICE_X_RTL)
        self.assertEqual(children["220"]["rect"][:2], [492, 339])
        self.assertEqual(children["202"]["rect"][:2], [210, 388])  # buttons stay
        self.assertNotEqual(program.state["title"], "ZQ Proximity Sensor Control")
        image = program.save("right-to-left.png")
        # The drawn drop-down and check box stand where their windows are.
        # (Captions run from the right end of the buttons; their left ends are bare.)
        self.assertEqual(image.getpixel((CHOICE_X_RTL + 10, RANGE_BUTTON_Y + 16)),
                         image.getpixel((CHOICE_X_RTL + 10, OFF_DELAY_BUTTON_Y + 16)))
        self.assertNotEqual(image.getpixel((CHOICE_X_RTL + 10, RANGE_BUTTON_Y + 16)),
                            (91, 91, 91))
        # Nothing at the left-to-right place: probed above the field label's glyphs, which now
        # run through the middle of that place.
        self.assertEqual(image.getpixel((CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 2)), (91, 91, 91))
        self.assertEqual(image.getpixel((70, 349)), (91, 91, 91))
        self.assertNotEqual(image.getpixel((500, 349)), (91, 91, 91))

        program.click(CHOICE_X_RTL + 60, RANGE_BUTTON_Y + 16)
        hover_row(program, RANGE_LIST_TOP, 1, CHOICE_X_RTL)
        image = program.save("right-to-left-list-open.png")
        self.assertEqual(highlighted_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP, 2), [1])
        self.assertTrue(list_is_open(image, CHOICE_X_RTL, RANGE_LIST_TOP))
        self.assertEqual(check_mark_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP, right_to_left=True),
                         [0])
        self.assertEqual(check_mark_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP), [])
        xdotool("click", 1)
        program.settle()
        self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
        mark = standin_mark()
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)
        self.assertNothingWritten(mark)


# --- The language each user reads -----------------------------------------------------------

class LanguageTest(WindowTest):
    """sensorctl started under one locale a row: the window title it loads (string 103) is the
    text the string generator reads from the language file that user must see, and the window
    is mirrored for Arabic and Hebrew alone, in every region. Some titles are shared (fr-FR and
    fr-CA, hr-HR and sr-Latn): a row tells its language from English and from other scripts.

    Wine takes the UI language from the locale's language and region (fr_BE gives 0x080C).
    Wine fact: Windows takes it from the display language installed, whatever the regional
    format; it gives the carried ids to Serbian (sr-Latn-RS, sr-Cyrl-RS) and Hong Kong users."""

    ROWS = (  # LC_ALL without ".UTF-8", the id of the language file shown
        # The 37 languages.
        ("ar_SA", 1), ("zh_CN", 4), ("de_DE", 7), ("es_ES", 10), ("it_IT", 16), ("ja_JP", 17),
        ("nl_NL", 19), ("nb_NO", 20), ("sv_SE", 29), ("th_TH", 30), ("bg_BG", 1026),
        ("zh_TW", 1028), ("cs_CZ", 1029), ("da_DK", 1030), ("el_GR", 1032), ("en_US", 1033),
        ("fi_FI", 1035), ("fr_FR", 1036), ("he_IL", 1037), ("hu_HU", 1038), ("ko_KR", 1042),
        ("pl_PL", 1045), ("pt_BR", 1046), ("ro_RO", 1048), ("ru_RU", 1049), ("hr_HR", 1050),
        ("sk_SK", 1051), ("tr_TR", 1055), ("uk_UA", 1058), ("sl_SI", 1060), ("et_EE", 1061),
        ("lv_LV", 1062), ("lt_LT", 1063), ("pt_PT", 2070), ("fr_CA", 3084),
        # Wine fact: Wine knows no sr-*-CS locale; the Serbian tables 2074 and 3098 are reached
        # through the carried ids 0x241A and 0x281A.
        ("sr_RS@latin", 2074), ("sr_RS@cyrillic", 3098),
        # The other carried ids a locale reaches: 0x2C1A, 0x301A, 0x0C04, 0x1404, neutral French
        # (0x080C, 0x100C), Russian (0x0819) and Romanian (0x0818).
        ("sr_ME@latin", 2074), ("sr_ME@cyrillic", 3098), ("zh_HK", 1028), ("zh_MO", 1028),
        ("fr_BE", 1036), ("fr_CH", 1036), ("ru_MD", 1049), ("ro_MD", 1048),
        # Regions that fall back as they did: English (no neutral English table), or the
        # neutral table the language always had.
        ("en_GB", 1033), ("de_AT", 7), ("es_MX", 10), ("zh_SG", 4), ("ar_MA", 1), ("nl_BE", 19),
        ("hr_BA", 1033),  # 0x101A: no table may stand at the neutral id Serbian shares
        # Wine fact: Wine knows no locale "sr-RS" (glibc's Cyrillic sr_RS) and starts the
        # program in en-US; no table can help there.
        ("sr_RS", 1033),
        # Wine fact: a region Windows has no id for gets the custom UI language 0x0C00, and
        # Wine's loader then finds the carried neutral table of the locale's language.
        ("pt_AO", 1046), ("ru_UA", 1049), ("el_CY", 1032),
    )

    def test_each_locale_shows_the_language_its_user_reads(self):
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        sys.path.insert(0, os.path.join(root, "tools"))
        import gen_strings  # the generator's own reading of the language files
        folder = os.path.join(root, "sensorctl", "resources", "strings", "languages")
        titles = {language["id"]: language["strings"][103] for language in
                  gen_strings.load_all([os.path.join(folder, name) for name in os.listdir(folder)])}
        for locale, language in self.ROWS:
            with self.subTest(locale=locale):
                name, at, modifier = locale.partition("@")
                program = self.start(random_block(self.rng), f"{name}.UTF-8{at}{modifier}")
                state = program.state
                program.kill()
                self.assertEqual(state["title"], titles[language])
                mirrored = state["children"]["210"]["rect"][0] == CHOICE_X_RTL
                self.assertEqual(mirrored, language & 0x3FF in (0x01, 0x0D), "mirrored")


# --- Faults around the window: the registry and the sensor service ---------------------------

REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSED = 1, 2, 4, 7
# A slow sensor driver. Wine fact: its service control manager gives up on a control after
# 10 s (the services' pipe timeout) and ControlService then returns before a 10-s handler has
# updated "Current"; Windows waits 30 s. 9 s is as slow as a handler can be here and still keep
# the contract that "Current" is up to date when the control call returns.
SLOW_HANDLER_MS = 9000
WAITING_LINE_BOX = (50, 280, 519, 302)  # where the window says it waits for the service


def read_value_type(name):
    text = probe("value-type", name)
    return None if text == "absent" else int(text)


def read_user_value(name):
    text = probe("user-value-get", name)
    return None if text == "absent" else bytes.fromhex(text)


def standin_state():
    text = probe("standin-state")
    return None if text == "absent" else int(text)


def block_held_for(current):
    """The block the window holds for a "Current" of these bytes: read into a zero-filled
    128-byte buffer whatever its type; a longer value cannot be read, so the all-zero block the
    window starts with stays."""
    if current is None or len(current) > BLOCK_SIZE:
        return bytes(BLOCK_SIZE)
    return current + bytes(BLOCK_SIZE - len(current))


def waiting_line_shown(image):
    return count_white(image, WAITING_LINE_BOX) >= 20


class FaultRow:
    """One fault: what the registry holds and what state the service is in when the window
    starts. `current` is the raw data of "Current" (None: absent), `current_type` its type."""

    def __init__(self, name, current=None, current_type=REG_BINARY, key=True, stale_new=None,
                 service="running", start_arguments=()):
        self.name = name
        self.current = current
        self.current_type = current_type
        self.key = key
        self.stale_new = stale_new
        self.service = service
        self.start_arguments = start_arguments

    @property
    def service_told(self):
        return self.service == "running"


def fault_rows(rng):
    """The matrix. Blocks carry the codes that have list rows, so that the buttons show rows."""
    enabled_maximum = random_block(rng, sensor_enabled=True, range_code=2, off_delay_code=3)
    enabled_minimum = random_block(rng, sensor_enabled=True, range_code=0, off_delay_code=4)
    disabled = random_block(rng, sensor_enabled=False, range_code=2, off_delay_code=1)
    # Type is not examined: a string's UTF-16 units and a number's four bytes are read as the
    # start of a block. U+0405 gives byte 0 = 0x05 (sensor on, range code 2) and byte 1 = 0x04
    # (off-delay code 4); 0x0305 gives 0x05 and off-delay code 3.
    text_units = "\u0405 left by an old tool\0".encode("utf-16-le")
    number = (0x0305).to_bytes(4, "little")
    return [
        FaultRow("settings key missing", key=False),
        FaultRow("Current absent"),
        FaultRow("Current 0 bytes", current=b""),
        FaultRow("Current 127 bytes", current=enabled_maximum[:127]),
        FaultRow("Current 129 bytes", current=enabled_minimum + b"\x5A"),
        FaultRow("Current REG_SZ", current=text_units, current_type=REG_SZ),
        FaultRow("Current REG_DWORD", current=number, current_type=REG_DWORD),
        FaultRow("New stale", current=enabled_minimum, stale_new=disabled),
        FaultRow("service missing", current=enabled_maximum, service="missing"),
        FaultRow("service stopped", current=enabled_minimum, service="stopped"),
        FaultRow("service paused", current=enabled_maximum, service="paused"),
        FaultRow("service start-pending", current=disabled, service="start-pending"),
    ]


class FaultMatrixTest(WindowTest):
    """Each row a fault of the registry or the service: what the window shows, what a pick and
    Apply (or the check box) write, what the service is told and what stays untouched."""

    def prepare_registry(self, row):
        probe("key-delete")
        probe("user-key-delete")
        self.addCleanup(probe, "user-key-delete", check=False)
        if not row.key:
            return
        if row.current is None:
            # The key without "Current": made by writing the value and taking it away.
            probe("value-set-raw", "Current", REG_BINARY, "00")
            probe("value-delete", "Current")
        else:
            probe("value-set-raw", "Current", row.current_type, row.current.hex() or "-")
        if row.stale_new is not None:
            probe("value-set-raw", "New", REG_BINARY, row.stale_new.hex())

    def prepare_service(self, row):
        """Puts the stand-in in the row's state; whatever happens, it runs plainly again after."""
        if row.service == "running":
            return
        if row.service == "missing":
            self.addCleanup(probe, "standin-ensure")
            self.addCleanup(probe, "standin-install")
            probe("standin-uninstall")
            self.assertIsNone(standin_state())
        elif row.service == "stopped":
            self.addCleanup(probe, "standin-ensure")
            probe("standin-stop")
            self.assertEqual(standin_state(), SERVICE_STOPPED)
        elif row.service == "paused":
            self.addCleanup(probe, "standin-ensure")
            self.addCleanup(probe, "standin-continue", check=False)
            probe("standin-pause")
            self.assertEqual(standin_state(), SERVICE_PAUSED)
        elif row.service == "start-pending":
            self.addCleanup(probe, "standin-ensure")
            self.addCleanup(probe, "standin-release-start", check=False)
            probe("standin-restart", "hold-start")
            self.assertEqual(standin_state(), SERVICE_START_PENDING)

    def start_row(self, row):
        wait_for(lambda: window_state()["count"] == 0, "no settings window open")
        self.prepare_service(row)
        self.prepare_registry(row)
        self.addCleanup(probe, "terminate-all", check=False)
        program = Program()
        self.programs.append(program)
        self.addCleanup(program.kill)
        return program

    def assertShowsBlock(self, program, block):
        """Check box, the two drop-down buttons and Apply as the window shows `block`."""
        children = program.refresh()["children"]
        enabled = block[0] & 1
        self.assertEqual(children["220"]["checked"], 0 if enabled else 1, "check box")
        range_code = (block[0] >> 1) & 3
        self.assertIn(range_code, (0, 2), "a test block without a row of its own")
        self.assertEqual(children["210"]["text"], children["230"]["rows"][range_code // 2])
        off_code = block[1] & 0x0F
        if off_code in (1, 3, 4):
            self.assertEqual(children["211"]["text"],
                             children["231"]["rows"][{1: 0, 3: 1, 4: 2}[off_code]])
        else:
            self.assertEqual(children["211"]["text"], "  5 Second(s)")  # code 0, the zero block
        self.assertFalse(apply_enabled(program.shot()), "Apply enabled before any pick")

    def change_something(self, program, shown):
        """The user's change: the other sensitivity row and Apply when the sensor is on, else
        the check box, which writes at once. The block that must be written, and the row of the
        sensitivity list the user picked (None: the check box)."""
        if shown[0] & 1:
            row = 0 if (shown[0] >> 1) & 3 else 1
            self.open_range_list(program)
            hover_row(program, RANGE_LIST_TOP, row)
            xdotool("click", 1)
            self.wait_lists_closed(program)
            self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
            self.assertEqual(read_value("New"), self.row.stale_new, "written before Apply")
            program.click(*APPLY_CENTRE)
            return bytes([(shown[0] & 0xF9) | (row << 2)]) + shown[1:], row
        program.click(*CHECK_BOX_CENTRE_LTR)
        wait_for(lambda: program.refresh()["children"]["220"]["checked"] == 0, "check box cleared")
        return bytes([shown[0] | 1]) + shown[1:], None

    def open_range_list(self, program):
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        wait_for(lambda: list_is_open(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP),
                 "the sensitivity list open")

    def wait_lists_closed(self, program):
        wait_for(lambda: not list_is_open(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP),
                 "the sensitivity list closed")

    def assertCheckMarkOn(self, program, row):
        """"Current" as the window read it back: the check mark of the sensitivity list."""
        self.open_range_list(program)
        self.assertEqual(check_mark_rows(program.settle(), CHOICE_X_LTR, RANGE_LIST_TOP), [row])
        program.click(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        self.wait_lists_closed(program)

    def test_each_fault_shows_a_sound_window_and_writes_only_what_the_user_picked(self):
        for row in fault_rows(self.rng):
            with self.subTest(row=row.name):
                log(f"row: {row.name}")
                self.row = row
                try:
                    self.run_row(row)
                finally:
                    # The next row starts from a plain bench whatever this one left.
                    self.doCleanups()

    def run_row(self, row):
        program = self.start_row(row)
        shown = block_held_for(row.current if row.key else None)
        self.assertShowsBlock(program, shown)
        # Starting touches nothing: a stale "New" stays, a missing key stays missing.
        self.assertEqual(read_value("New"), row.stale_new)
        self.assertEqual(probe("key-exists"), "1" if row.key else "0")

        mark = standin_mark()
        written, picked_row = self.change_something(program, shown)
        if row.key:
            self.assertEqual(read_value("New"), written)
            self.assertEqual(read_value_type("New"), REG_BINARY)
        else:
            # No machine key: "New" goes to the user's hive, and no machine key is made.
            self.assertEqual(probe("key-exists"), "0")
            self.assertEqual(read_user_value("New"), written)
        self.assertEqual(standin_codes(mark), [CODE_APPLY] if row.service_told else [])
        if row.service_told and row.key:
            self.assertEqual(read_value("Current"), written)
            self.assertEqual(read_value_type("Current"), REG_BINARY)
        elif row.key:
            self.assertEqual(read_value("Current"), row.current, "\"Current\" changed")
            self.assertEqual(read_value_type("Current"),
                             None if row.current is None else row.current_type)
        self.assertEqual(program.refresh()["count"], 1)
        if picked_row is not None:
            took = row.service_told and row.key
            self.assertCheckMarkOn(program, picked_row if took else 1 - picked_row)

        mark = standin_mark()
        new_before_cancel = read_value("New")
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)
        self.assertEqual(read_value("New"), new_before_cancel)
        self.assertEqual(standin_codes(mark), [])

    def test_a_slow_service_leaves_the_window_alive_and_writes_once(self):
        self.addCleanup(probe, "standin-ensure")
        self.addCleanup(probe, "standin-restart")
        probe("standin-restart", f"handler-delay-ms={SLOW_HANDLER_MS}")
        current = random_block(self.rng, sensor_enabled=True, range_code=0)
        picked = bytes([(current[0] & 0xF9) | 0x04]) + current[1:]
        program = self.start(current)
        self.assertFalse(waiting_line_shown(program.shot()), "the waiting line before any wait")
        self.open_range_list(program)
        hover_row(program, RANGE_LIST_TOP, 1)
        xdotool("click", 1)
        self.wait_lists_closed(program)
        # Apply is clicked with the delay list open: the list closes, as on any click outside it.
        program.click(CHOICE_X_LTR + 60, OFF_DELAY_BUTTON_Y + 16)
        wait_for(lambda: list_is_open(program.shot(), CHOICE_X_LTR, OFF_DELAY_LIST_TOP),
                 "the delay list open")
        rect = program.refresh()["rect"]

        mark = standin_mark()
        started = time.time()
        program.click(*APPLY_CENTRE)
        # After about a second the window says, in its own language, that it waits; it still
        # paints and answers while the service's handler runs.
        wait_for(lambda: waiting_line_shown(program.shot()), "the waiting line", timeout=8)
        log(f"waiting line seen after {time.time() - started:.1f} s")
        self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, OFF_DELAY_LIST_TOP),
                         "the waiting line over the open list")
        self.assertEqual(probe("responds", 2000), "1", "the window does not answer")
        self.assertEqual(standin_codes(mark), [], "the handler returned already: nothing tested")
        self.assertEqual(read_value("New"), picked)
        # Clicks that would write again or close the window meanwhile are ignored.
        # (Quick clicks, so that all of them land well inside the handler's time.)
        for spot in (APPLY_CENTRE, CHECK_BOX_CENTRE_LTR, OK_CENTRE, CANCEL_CENTRE, CLOSE_AREA_CENTRE):
            jump_and_click(program, *spot)
        # So is a press on the title bar, and the drag after it moves nothing.
        x, y = program.screen(*TITLE_BAR_SPOT)
        xdotool("mousemove", x, y, "mousedown", 1,
                *[a for step in range(1, 6) for a in ("mousemove", x + 10 * step, y + 5 * step)],
                "mouseup", 1)
        program.save("waiting-for-service.png")
        self.assertEqual(standin_codes(mark), [], "the clicks ran after the handler returned")
        self.assertIsNone(program.process.poll(), "the window closed during the wait")

        # Once the handler has returned: one control, "Current" read back, the line gone.
        wait_for(lambda: standin_codes(mark), "the handler's return", timeout=SLOW_HANDLER_MS / 1000 + 20)
        image = program.wait_until(lambda i: not waiting_line_shown(i), timeout=10)
        self.assertFalse(waiting_line_shown(image), "the waiting line stayed")
        log(f"the wait ended after {time.time() - started:.1f} s")
        self.assertEqual(program.refresh()["rect"], rect, "the window moved by itself")
        self.assertFalse(apply_enabled(image))
        self.assertEqual(program.refresh()["count"], 1)
        self.assertEqual(program.state["children"]["220"]["checked"], 0, "the check box toggled")
        self.assertEqual(read_value("Current"), picked)
        self.assertCheckMarkOn(program, 1)
        self.assertEqual(standin_codes(mark), [CODE_APPLY], "a second write")

        # A close asked for (the taskbar's "Close window") while the check box's write waits is
        # carried out once the service has answered, and writes nothing more.
        program.click(*CHECK_BOX_CENTRE_LTR)
        wait_for(lambda: waiting_line_shown(program.shot()), "the waiting line", timeout=8)
        probe("ask-close")
        self.assertEqual(standin_codes(mark), [CODE_APPLY], "asked after the handler returned")
        self.assertEqual(program.wait_exit(timeout=SLOW_HANDLER_MS / 1000 + 20), 0)
        disabled = bytes([picked[0] & 0xFE]) + picked[1:]
        self.assertEqual((read_value("New"), read_value("Current")), (disabled, disabled))
        self.assertEqual(standin_codes(mark), [CODE_APPLY, CODE_APPLY])


# --- GDI objects -----------------------------------------------------------------------------

def gdi_objects(program):
    pid = program.state["pid"]
    # One CI run saw one reading fail right after a good one (the probe's exit code 1, nothing
    # more recorded). A reading that fails while the program still runs is taken again; a
    # program that has ended fails the test with what Wine said about it.
    for attempt in range(3):
        try:
            count = json.loads(probe("gdi", pid))["count"]
            break
        except AssertionError as error:
            if program.process.poll() is not None or attempt == 2:
                raise AssertionError(f"{error}; {program.describe_end()}") from None
            log(f"GDI reading failed, taken again: {error}")
    if count["gui_resources"]:
        return count["gui_resources"]
    # A negative count is a reading that failed; two failed readings must not pass as equal.
    if count["table"] < 0:
        raise AssertionError(f"the GDI objects of process {pid} could not be counted: {count}")
    return count["table"]


def settled_gdi_objects(program):
    """The count once the window is idle: a frame holds a bitmap and a DC while it is made."""
    program.settle()
    last = gdi_objects(program)
    for _ in range(20):
        time.sleep(0.3)
        now = gdi_objects(program)
        if now == last:
            return now
        last = now
    return last


class GdiTest(WindowTest):

    def setUp(self):
        super().setUp()
        # Wine fact: GetGuiResources is not implemented, and Wine 8 publishes the GDI handle
        # table only to 64-bit processes (a 32-bit process's environment block points to none),
        # so the objects of a 32-bit process cannot be counted from outside it. Windows counts
        # them with GetGuiResources in both bitnesses.
        check = json.loads(probe("self-gdi-check"))
        if not check["before"]["gui_resources"] and check["before"]["table"] == -2 \
                and program_bits("bin/sensorctl.exe") == 32:
            self.skipTest("Wine gives a 32-bit process no GDI object count: neither "
                          "GetGuiResources nor a GDI handle table")

    def test_the_count_follows_objects_made_and_freed(self):
        """The measure itself: GetGuiResources where it counts, else the handle table."""
        check = json.loads(probe("self-gdi-check"))
        log(f"GDI measure check: {check}")
        for name in ("before", "during", "after"):
            if not check[name]["gui_resources"]:
                self.assertEqual(check[name]["gui_resources_error"], 120)  # not implemented
        self.assertEqual(check["during"]["table"] - check["before"]["table"], 50)
        self.assertEqual(check["after"]["table"], check["before"]["table"])

    def test_opening_and_closing_lists_a_thousand_times_keeps_the_count(self):
        program = self.start(random_block(self.rng))
        button = program.screen(CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 16)
        xdotool("mousemove", *button)
        xdotool("click", "--repeat", 4, "--delay", 150, 1)
        before = settled_gdi_objects(program)
        started = time.time()
        xdotool("click", "--repeat", 2000, "--delay", 15, 1)
        log(f"1000 openings and closings in {time.time() - started:.1f} s")
        after = settled_gdi_objects(program)
        self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP))
        log(f"GDI objects before {before}, after {after}")
        self.assertEqual(after, before)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)

    def test_painting_the_native_lists_a_thousand_times_keeps_the_count(self):
        """The native lists ask the window for their brush and have their items drawn by it."""
        program = self.start(random_block(self.rng))
        for list_id in (230, 231):
            probe("paint-native-list", list_id, 5)
        for list_id in (230, 231):
            with self.subTest(list_id=list_id):
                before = settled_gdi_objects(program)
                probe("paint-native-list", list_id, 1000)
                after = settled_gdi_objects(program)
                log(f"list {list_id}: GDI objects before {before}, after {after}")
                self.assertEqual(after, before)
        program.click(*CANCEL_CENTRE)
        self.assertClosesWithZero(program)


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


if __name__ == "__main__":
    main()
