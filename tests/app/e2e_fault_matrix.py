#!/usr/bin/python3
"""Faults around the window: the registry and the sensor service."""

import time
from collections import namedtuple

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSED = 1, 2, 4, 7
# A slow sensor driver: 9 s is as slow as a handler can be here (see the test's Wine fact) and
# still keep the contract that "Current" is up to date when the control call returns.
SLOW_HANDLER_MS = 9000
WAITING_LINE_BOX = (50, 280, 519, 302)  # where the window says it waits for the service


def block_held_for(current):
    """The block the window holds for a "Current" of these bytes: read into a zero-filled
    128-byte buffer whatever its type; a longer value cannot be read, so the all-zero block the
    window starts with stays."""
    if current is None or len(current) > BLOCK_SIZE:
        return bytes(BLOCK_SIZE)
    return current + bytes(BLOCK_SIZE - len(current))


def waiting_line_shown(image):
    return count_white(image, WAITING_LINE_BOX) >= 20


# One fault: what the registry holds and what state the service is in when the window starts.
# `current` is the raw data of "Current" (None: absent), `current_type` its type.
FaultRow = namedtuple("FaultRow", "name current current_type key stale_new service",
                      defaults=(None, REG_BINARY, True, None, "running"))
# The service's states but running: the probe command that makes it, what it is seen in
# afterwards (None: not installed), and the commands that take it back (last first).
SERVICE_FAULTS = {
    "missing": (("standin-uninstall",), None, ("standin-install",)),
    "stopped": (("standin-stop",), SERVICE_STOPPED, ()),
    "paused": (("standin-pause",), SERVICE_PAUSED, ("standin-continue",)),
    "start-pending": (("standin-restart", "hold-start"), SERVICE_START_PENDING,
                      ("standin-release-start",)),
}


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
        command, state, undo = SERVICE_FAULTS[row.service]
        self.addCleanup(probe, "standin-ensure")
        for step in undo:
            # Reinstalling a missing service must work; the others may find nothing to undo.
            self.addCleanup(probe, step, check=(step == "standin-install"))
        probe(*command)
        self.assertEqual(probed(int, "standin-state"), state)

    def start_row(self, row):
        wait_for(lambda: window_state()["count"] == 0, "no settings window open")
        self.prepare_service(row)
        self.prepare_registry(row)
        self.addCleanup(probe, "terminate-all", check=False)
        program = Program()
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
            self.open_list(program)
            self.pick(program, RANGE_LIST_TOP, row)
            self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
            self.assertEqual(read_value("New"), self.row.stale_new, "written before Apply")
            program.click(*APPLY_CENTRE)
            return with_range(shown, row * 2), row
        program.click(*CHECK_BOX_CENTRE_LTR)
        wait_for(lambda: program.refresh()["children"]["220"]["checked"] == 0, "check box cleared")
        return bytes([shown[0] | 1]) + shown[1:], None

    def assertCheckMarkOn(self, program, row):
        """"Current" as the window read it back: the check mark of the sensitivity list."""
        self.open_list(program)
        self.assertEqual(check_mark_rows(program.settle(), CHOICE_X_LTR, RANGE_LIST_TOP), [row])
        program.click(*RANGE_BUTTON)
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
        told = row.service == "running"
        if told:  # "New" is written before the service is told
            self.assertEqual(awaited(lambda: standin_codes(mark), [CODE_APPLY]), [CODE_APPLY])
        if row.key:
            self.assertEqual(awaited(lambda: read_value("New"), written), written)
            self.assertEqual(probed(int, "value-type", "New"), REG_BINARY)
        else:
            # No machine key: "New" goes to the user's hive, and no machine key is made.
            self.assertEqual(awaited(lambda: probed(bytes.fromhex, "user-value-get", "New"),
                                     written), written)
            self.assertEqual(probe("key-exists"), "0")
        self.assertEqual(standin_codes(mark), [CODE_APPLY] if told else [])
        if told and row.key:
            self.assertEqual(read_value("Current"), written)
            self.assertEqual(probed(int, "value-type", "Current"), REG_BINARY)
        elif row.key:
            self.assertEqual(read_value("Current"), row.current, "\"Current\" changed")
            self.assertEqual(probed(int, "value-type", "Current"),
                             None if row.current is None else row.current_type)
        self.assertEqual(program.refresh()["count"], 1)
        if picked_row is not None:
            self.assertCheckMarkOn(program, picked_row if told and row.key else 1 - picked_row)

        mark = standin_mark()
        new_before_cancel = read_value("New")
        self.assertCancelCloses(program)
        self.assertEqual(read_value("New"), new_before_cancel)
        self.assertEqual(standin_codes(mark), [])

    def test_a_slow_service_leaves_the_window_alive_and_writes_once(self):
        self.addCleanup(probe, "standin-ensure")
        self.addCleanup(probe, "standin-restart")
        wine_fact("the service control manager waits 30 s for a control handler",
                  "it gives up after 10 s (the services' pipe timeout): ControlService returns "
                  "before a 10-s handler has updated \"Current\"")
        probe("standin-restart", f"handler-delay-ms={SLOW_HANDLER_MS}")
        current = random_block(self.rng, sensor_enabled=True, range_code=0)
        picked = with_range(current, 2)
        program = self.start(current)
        self.assertFalse(waiting_line_shown(program.shot()), "the waiting line before any wait")
        self.open_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        # Apply is clicked with the delay list open: the list closes, as on any click outside it.
        self.open_list(program, OFF_DELAY_LIST_TOP)
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


if __name__ == "__main__":
    main()
