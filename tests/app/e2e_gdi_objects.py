#!/usr/bin/python3
"""GDI objects: a window that draws again and again gives back what it takes."""

import json
import time

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

def gdi_objects(program):
    pid = program.state["pid"]
    try:
        count = json.loads(probe("gdi", pid))["count"]
    except AssertionError as error:  # says whether the program still runs, and how it ended
        raise AssertionError(f"{error}; {program.describe_end()}") from None
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
        check = json.loads(probe("self-gdi-check"))
        if not check["before"]["gui_resources"] and check["before"]["table"] == -2 \
                and program_bits("bin/sensorctl.exe") == 32:
            wine_fact("GetGuiResources counts a process's GDI objects in both bitnesses",
                      "GetGuiResources is not implemented, and only 64-bit processes get a GDI "
                      "handle table: a 32-bit process's objects cannot be counted from outside")
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
        button = program.screen(*RANGE_BUTTON)
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
        self.assertCancelCloses(program)

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
        self.assertCancelCloses(program)


if __name__ == "__main__":
    main()
