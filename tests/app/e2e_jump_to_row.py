#!/usr/bin/python3
"""Clicks that reach an open list however the pointer came: straight onto a row, with no move the
window could see first."""

import contextlib
from collections import namedtuple

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

FREE_SPOT = (200, 60)  # the main window itself, no child window: a move here shows them again
DROP_DOWN_WINDOWS = ("210", "211", "212")
WATCHED_WINDOWS = ("202", "203", "204") + DROP_DOWN_WINDOWS


# A drop-down as the tests drive it: its button and native list, where its drawn list opens, the
# child windows that list lies over (besides its own button), and how a picked row changes the
# block.
DropDown = namedtuple("DropDown", "button native list_top covered pick")
# The sensitivity list lies over the delay-until-off button; the delay-until-off list over the
# delay-until-on button's window, which a move with no list open shows.
RANGE_DROP_DOWN = DropDown("210", "230", RANGE_LIST_TOP, ("211",),
                           lambda block, row: with_range(block, 2 * row))
OFF_DELAY_DROP_DOWN = DropDown("211", "231", OFF_DELAY_LIST_TOP, ("212",),
                               lambda block, row: with_off_delay(block, (1, 3, 4)[row]))
OTHER_LIST_TOP = {"210": OFF_DELAY_LIST_TOP, "211": RANGE_LIST_TOP}


def over_the_window(program):
    """Moves onto the free spot and returns the watched windows' flags once the window has taken
    the move: with the sensor on and no list open, a move over it shows every drop-down button's
    window, the delay-until-on one (hidden until then) included. Flags read before a slow program
    takes the move would change under the next check."""
    program.move(*FREE_SPOT)

    def shown_again():
        shown = shown_children(program, WATCHED_WINDOWS)
        return shown if all(shown[c] for c in DROP_DOWN_WINDOWS) else None
    return wait_for(shown_again, "the drop-down windows shown after a move over the window")


# Rows in an order in which every pick changes what the button shows (both start at code 0).
PICK_ORDER = {"210": (1, 0), "211": (0, 1, 2)}


class JumpToRowTest(WindowTest):
    """A list row is picked by a click on it, whether or not the window saw the pointer arrive."""

    @contextlib.contextmanager
    def lists_closed_after(self, program):
        """Whatever a case leaves open is closed before the next one starts."""
        try:
            yield
        finally:
            image = program.settle()
            if any(list_is_open(image, CHOICE_X_LTR, top) for top in (RANGE_LIST_TOP, OFF_DELAY_LIST_TOP)):
                program.click(*FREE_SPOT)

    def test_a_click_straight_from_the_button_onto_a_row_picks_it(self):
        for locale, choice_x in ((None, CHOICE_X_LTR), ("ar_EG.UTF-8", CHOICE_X_RTL)):
            for drop_down in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN):
                with self.subTest(locale=locale, button=drop_down.button):
                    self.jump_to_every_row(locale, choice_x, drop_down)

    def assertMirrored(self, program):
        """Drop-downs and check box on the other side, in windows and picture; the buttons stay."""
        children = program.state["children"]
        self.assertEqual({child: children[child]["rect"][0] for child in ("210", "211", "230", "231")},
                         dict.fromkeys(("210", "211", "230", "231"), CHOICE_X_RTL))
        self.assertEqual(children["220"]["rect"][:2], [492, 339])
        self.assertEqual(children["202"]["rect"][:2], [210, 388])
        image = program.shot()
        # Nothing at the left-to-right places: probed above the field label's glyphs, which now
        # run through the middle of the drop-down's place. (Captions run from the right end of
        # the buttons; their left ends are bare.)
        self.assertEqual(image.getpixel((CHOICE_X_LTR + 60, RANGE_BUTTON_Y + 2)), PANEL_GREY)
        self.assertNotEqual(image.getpixel((CHOICE_X_RTL + 10, RANGE_BUTTON_Y + 16)), PANEL_GREY)
        self.assertEqual(image.getpixel((CHOICE_X_RTL + 10, OFF_DELAY_BUTTON_Y + 16)),
                         image.getpixel((CHOICE_X_RTL + 10, RANGE_BUTTON_Y + 16)))
        self.assertEqual(image.getpixel((70, 349)), PANEL_GREY)
        self.assertNotEqual(image.getpixel((500, 349)), PANEL_GREY)

    def jump_to_every_row(self, locale, choice_x, drop_down):
        current = random_block(self.rng, range_code=0, off_delay_code=0)
        program = self.start(current, locale)
        mirrored = choice_x == CHOICE_X_RTL
        suffix = "-rtl" if mirrored else ""
        try:
            if mirrored:
                self.assertMirrored(program)
            rows = program.state["children"][drop_down.native]["rows"]
            applied = current
            marked = 0  # code 0 of either list: the check mark stands on the first row
            for row in PICK_ORDER[drop_down.button]:
                # As a hand comes in: over the window first, which shows its child windows.
                # (Else nothing lies under the list, and the jump would test nothing.)
                over_the_window(program)
                opened = self.open_list(program, drop_down.list_top, choice_x)
                # Beside the row of "Current" as last read back, on the side where the text begins.
                self.assertEqual([check_mark_rows(opened, choice_x, drop_down.list_top, side)
                                  for side in (mirrored, not mirrored)], [[marked], []])
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
                self.assertApplied(mark, applied)
                marked = row
                probe("value-delete", "New")
            if mirrored:
                # Where a hand slowly moves, the row under it is highlighted in the mirrored list.
                self.open_list(program, drop_down.list_top, choice_x)
                hover_row(program, drop_down.list_top, 1, choice_x)
                rows_lit = lambda image: highlighted_rows(image, choice_x, drop_down.list_top, 2)  # noqa: E731
                self.assertEqual(rows_lit(program.wait_until(lambda i: rows_lit(i) == [1])), [1])
            program.save(f"jump-picked-{drop_down.button}{suffix}.png")
            self.assertCancelCloses(program)
        finally:
            program.kill()

    def test_windows_under_an_open_list_come_back_when_it_closes_whatever_closes_it(self):
        def pick(program, drop_down):
            jump_and_click(program, CHOICE_X_LTR + 60, row_y(drop_down.list_top, 1))

        def click_beside(program, drop_down):
            program.click(*FREE_SPOT)

        def click_its_button(program, drop_down):
            program.click(*button_centre(drop_down.list_top))

        def native_selection(program, drop_down):
            probe("select-native-row", drop_down.native, 1)

        program = self.start(random_block(self.rng, range_code=0, off_delay_code=0))
        rows = {d.button: program.state["children"][d.native]["rows"]
                for d in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN)}
        for drop_down in (RANGE_DROP_DOWN, OFF_DELAY_DROP_DOWN):
            for closer in (pick, click_beside, click_its_button, native_selection):
                with self.subTest(button=drop_down.button, closed_by=closer.__name__), \
                        self.lists_closed_after(program):
                    before = over_the_window(program)
                    self.open_list(program, drop_down.list_top)
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
            before = over_the_window(program)
            self.open_list(program, OFF_DELAY_LIST_TOP)
            self.open_list(program, RANGE_LIST_TOP)
            self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
            self.assertEqual(shown_children(program, WATCHED_WINDOWS), {**before, "211": 0})
            click_beside(program, RANGE_DROP_DOWN)
            self.wait_lists_closed(program)
            self.assertEqual(shown_children(program, WATCHED_WINDOWS), before)
        self.assertCancelCloses(program)

    def test_the_check_box_toggled_under_an_open_list_keeps_its_windows_hidden(self):
        current = random_block(self.rng, sensor_enabled=True, off_delay_code=0)
        program = self.start(current)
        rows = program.state["children"]["231"]["rows"]
        drop_down = OFF_DELAY_DROP_DOWN
        before = over_the_window(program)
        self.open_list(program, drop_down.list_top)

        # Disabled and enabled again while the list stays open: the drop-down windows follow the
        # sensor, except the one the list lies over, which waits for the list to close.
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertTrue(list_is_open(program.shot(), CHOICE_X_LTR, drop_down.list_top))
        self.assertEqual(shown_children(program, DROP_DOWN_WINDOWS),
                         dict.fromkeys(DROP_DOWN_WINDOWS, 0))
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertTrue(list_is_open(program.shot(), CHOICE_X_LTR, drop_down.list_top))
        self.assertEqual(shown_children(program, DROP_DOWN_WINDOWS),
                         {"210": 1, "211": 1, "212": 0})
        jump_and_click(program, CHOICE_X_LTR + 60, row_y(drop_down.list_top, 1))
        self.wait_lists_closed(program)
        self.assertEqual(program.refresh()["children"]["211"]["text"], rows[1])
        self.assertEqual(shown_children(program, WATCHED_WINDOWS), before)

        # Disabled while the list is open, then the list closed by a click where the (disabled,
        # hidden) sensitivity button is: nothing the sensor's state hides comes back.
        program.move(*FREE_SPOT)
        self.open_list(program, drop_down.list_top)
        program.click(*CHECK_BOX_CENTRE_LTR)
        program.click(*RANGE_BUTTON)
        self.wait_lists_closed(program)
        self.assertEqual(shown_children(program, DROP_DOWN_WINDOWS),
                         dict.fromkeys(DROP_DOWN_WINDOWS, 0))
        self.assertEqual(program.state["children"]["220"]["checked"], 1)
        self.assertCancelCloses(program)


if __name__ == "__main__":
    main()
