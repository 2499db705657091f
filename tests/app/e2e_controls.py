#!/usr/bin/python3
"""The controls: drop-down picks, Apply, OK and Cancel, the check box, hover and press, minimising
and dragging."""

import json
import time

from PIL import ImageChops

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places


class ControlsTest(WindowTest):

    def reference_button(self, current, choice_x=CHOICE_X_LTR, button_y=RANGE_BUTTON_Y):
        """The drop-down button as a window started with `current` draws it."""
        program = self.start(current)
        image = program.shot()
        self.assertCancelCloses(program)
        return image.crop((choice_x, button_y, choice_x + 153, button_y + 32))

    def test_pick_maximum_apply_in_the_programs_registry_view_and_apply_again(self):
        current = random_block(self.rng, range_code=0)
        maximum_button = self.reference_button(with_range(current, 2))
        program = self.start(current)
        self.assertEqual(program.state["children"]["210"]["text"], "  Minimum")
        self.assertFalse(apply_enabled(program.shot()))
        probe("value-views-delete", "New")
        mark = standin_mark()

        self.open_list(program)
        self.assertEqual(check_mark_rows(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP), [0])
        hover_row(program, RANGE_LIST_TOP, 1)
        program.wait_until(lambda i: highlighted_rows(i, CHOICE_X_LTR, RANGE_LIST_TOP, 2) == [1])
        image = program.save("list-open-highlight.png")
        self.assertEqual(highlighted_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP, 2), [1])
        # Out of the list and back: the row last hovered stays highlighted meanwhile.
        program.move(CHOICE_X_LTR + 220, row_y(RANGE_LIST_TOP, 0))
        self.assertEqual(highlighted_rows(program.settle(), CHOICE_X_LTR, RANGE_LIST_TOP, 2), [1])
        program.move(CHOICE_X_LTR + 60, row_y(RANGE_LIST_TOP, 1))
        xdotool("click", 1)
        # The list closes in the frame that shows the pick on the button.
        image = self.wait_lists_closed(program, tops=(RANGE_LIST_TOP,))

        # The button shows Maximum, Apply is enabled, nothing is written yet.
        self.assertEqual(program.refresh()["children"]["210"]["text"], "  Maximum")
        button = image.crop((CHOICE_X_LTR, RANGE_BUTTON_Y, CHOICE_X_LTR + 153, RANGE_BUTTON_Y + 32))
        self.assertIsNone(ImageChops.difference(button, maximum_button).getbbox(),
                          "the button does not show Maximum")
        self.assertTrue(apply_enabled(image))
        self.assertNothingWritten(mark)

        # Apply: "New" is "Current" with range code 2, the service is told, Apply disabled.
        program.click(*APPLY_CENTRE)
        expected = with_range(current, 2)
        self.assertApplied(mark, expected)
        self.assertEqual(read_value("Current"), expected)
        # sensorctl opens its key with no view flag. On 64-bit Windows the shipped 32-bit program
        # therefore writes "New" into the 32-bit view (WOW6432Node), where the service must look;
        # its 64-bit twin writes the 64-bit view. Nothing lands in the other view. The stand-in
        # of this build shares the view: it took up "New" there.
        bits = program_bits("bin/sensorctl.exe")
        own, other = ("32", "64") if bits == 32 else ("64", "32")
        views = {name: json.loads(probe("value-views", name)) for name in ("New", "Current")}
        self.assertEqual(views["New"][own], expected.hex().upper(), f"the {bits}-bit program")
        self.assertIsNone(views["New"][other], f"'New' of the {bits}-bit program in view {other}")
        self.assertEqual(views["Current"][own], expected.hex().upper())
        self.assertFalse(apply_enabled(program.wait_until(lambda i: not apply_enabled(i))))
        # "Current" was read back: the check mark now stands on Maximum.
        self.open_list(program)
        self.assertEqual(check_mark_rows(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP), [1])
        program.click(*RANGE_BUTTON)

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
        picked = with_range(current, 2)
        program = self.start(current)
        self.open_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        probe("standin-stop")
        try:
            mark = standin_mark()
            program.click(*APPLY_CENTRE)
            # Written, but no service to tell, so "Current" stays as it was.
            self.assertEqual(awaited(lambda: read_value("New"), picked), picked)
            self.assertEqual(standin_codes(mark), [])
            self.assertEqual(read_value("Current"), current)
            self.assertFalse(apply_enabled(program.wait_until(lambda i: not apply_enabled(i))))
        finally:
            probe("standin-ensure")
        # Apply looks disabled, yet a click runs it: the blocks still differ, so it writes again.
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*APPLY_CENTRE)
        self.assertApplied(mark, picked)
        self.assertEqual(read_value("Current"), picked)
        self.assertCancelCloses(program)

    def test_delay_pick_changes_only_its_own_bits(self):
        current = random_block(self.rng, off_delay_code=0)
        program = self.start(current)
        self.assertEqual(program.state["children"]["211"]["text"], "  5 Second(s)")
        program.click(*OFF_DELAY_BUTTON)
        image = program.shot()
        self.assertTrue(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        # Code 0 has no row of its own: the check mark stands on the first row.
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP), [0])
        self.pick(program, OFF_DELAY_LIST_TOP, 2)
        self.assertEqual(program.refresh()["children"]["211"]["text"], "  3 Minute(s)")
        mark = standin_mark()
        program.click(*OK_CENTRE)
        self.assertClosesWithZero(program)
        self.assertApplied(mark, with_off_delay(current, 4))

    def test_disable_writes_at_once_and_cancel_undoes_nothing(self):
        current = random_block(self.rng, sensor_enabled=True)
        program = self.start(current)
        before = program.shot()
        self.assertGreaterEqual(brightest(before, RANGE_LABEL_BOX_LTR), 235)
        self.assertGreaterEqual(button_text_bright(before, CHOICE_X_LTR, RANGE_BUTTON_Y), 235)
        mark = standin_mark()

        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertApplied(mark, bytes([current[0] & 0xFE]) + current[1:])
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
        program.click(*RANGE_BUTTON)
        self.assertFalse(list_is_open(program.shot(), CHOICE_X_LTR, RANGE_LIST_TOP))

        # Untick: written again with bit 0 set.
        probe("value-delete", "New")
        mark = standin_mark()
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertApplied(mark, bytes([current[0] | 0x01]) + current[1:])
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
        self.assertCancelCloses(program)
        self.assertNothingWritten(mark)
        self.assertEqual(read_value("Current"), bytes([current[0] & 0xFE]) + current[1:])

    def test_pick_then_check_box_writes_the_pick_too(self):
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        self.open_list(program)
        self.pick(program, RANGE_LIST_TOP, 1)
        mark = standin_mark()
        program.click(*CHECK_BOX_CENTRE_LTR)
        self.assertApplied(mark, with_range(bytes([current[0] & 0xFE]) + current[1:], 2))
        self.assertTrue(apply_enabled(program.settle()), "Apply keeps its state")
        self.assertCancelCloses(program)

    def test_cancel_and_close_area_after_a_pick_and_ok_after_none_write_nothing(self):
        for closer, picks in ((CANCEL_CENTRE, True), (CLOSE_AREA_CENTRE, True), (OK_CENTRE, False)):
            with self.subTest(closer=closer):
                program = self.start(random_block(self.rng, range_code=0))
                mark = standin_mark()
                if picks:
                    self.open_list(program)
                    self.pick(program, RANGE_LIST_TOP, 1)
                    self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
                program.click(*closer)
                self.assertClosesWithZero(program)
                self.assertNothingWritten(mark)

    def test_release_on_a_row_boundary_picks_nothing_but_enables_apply(self):
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        mark = standin_mark()
        closed = program.shot()
        self.open_list(program)
        boundary = RANGE_LIST_TOP + ROW_TOP_MARGIN + ROW_HEIGHT  # T + 24
        # Down over row 0 first, as a hand moves; the delay button's window, which lies under the
        # list from y 225, was hidden when the list opened, so the release reaches the window.
        program.move(CHOICE_X_LTR + 60, boundary - 12)
        program.move(CHOICE_X_LTR + 60, boundary)
        rows = lambda image: highlighted_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP, 2)  # noqa: E731
        self.assertEqual(rows(program.wait_until(lambda image: not rows(image))), [])
        xdotool("click", 1)
        image = self.wait_lists_closed(program)
        self.assertEqual(program.refresh()["children"]["210"]["text"], "  Minimum")
        self.assertTrue(apply_enabled(image))
        button = (CHOICE_X_LTR, RANGE_BUTTON_Y, CHOICE_X_LTR + 153, RANGE_BUTTON_Y + 32)
        self.assertIsNone(ImageChops.difference(image.crop(button), closed.crop(button)).getbbox())
        # Nothing was picked: Apply finds nothing to write.
        program.click(*APPLY_CENTRE)
        self.assertNothingWritten(mark)
        self.assertCancelCloses(program)

    def test_click_on_a_disabled_drop_down_closes_the_open_list(self):
        current = random_block(self.rng, sensor_enabled=True)
        program = self.start(current)
        program.click(*OFF_DELAY_BUTTON)
        self.assertListOpens(program, CHOICE_X_LTR, OFF_DELAY_LIST_TOP)
        program.click(*CHECK_BOX_CENTRE_LTR)  # disables the drop-downs; the list stays open
        self.assertListOpens(program, CHOICE_X_LTR, OFF_DELAY_LIST_TOP)
        program.click(*RANGE_BUTTON)
        image = program.shot()
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP), [])
        self.assertCancelCloses(program)

    def test_disabled_at_start_a_drop_down_click_opens_nothing(self):
        program = self.start(random_block(self.rng, sensor_enabled=False))
        self.assertEqual(program.state["children"]["220"]["checked"], 1)
        before = program.shot()
        self.assertLess(brightest(before, RANGE_LABEL_BOX_LTR), 200)
        program.click(*RANGE_BUTTON)
        program.click(*OFF_DELAY_BUTTON)
        image = program.shot()
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertFalse(list_is_open(image, CHOICE_X_LTR, OFF_DELAY_LIST_TOP))
        self.assertFalse(apply_enabled(image))
        self.assertCancelCloses(program)

    def test_range_code_3_shows_an_empty_button_and_a_mark_below_the_rows(self):
        program = self.start(random_block(self.rng, range_code=3))
        self.assertEqual(program.state["children"]["210"]["text"], "")
        image = program.shot()
        self.assertLess(button_text_bright(image, CHOICE_X_LTR, RANGE_BUTTON_Y), 150)
        self.open_list(program)
        program.move(CHOICE_X_LTR + 200, RANGE_LIST_TOP + 40)  # beside the list: no highlight
        image = program.save("range-code-3.png")
        self.assertEqual(check_mark_rows(image, CHOICE_X_LTR, RANGE_LIST_TOP), [3])
        self.assertCancelCloses(program)

    def test_buttons_show_hover_and_press(self):
        program = self.start(random_block(self.rng))
        self.assertFalse(cancel_hovered(program.shot()))
        program.move(*CANCEL_CENTRE)
        self.assertTrue(cancel_hovered(program.wait_until(cancel_hovered)), "no hover look")
        program.move(200, 300)
        self.assertFalse(cancel_hovered(program.wait_until(lambda i: not cancel_hovered(i))),
                         "hover not left")

        # While the button is down on a drop-down it shows its pressed image.
        def pressed_image(image):
            # The left edge of the drop-down: blue in the pressed image, near black otherwise.
            r, g, b = image.getpixel((CHOICE_X_LTR + 1, RANGE_BUTTON_Y + 16))
            return b > r + 30

        self.assertFalse(pressed_image(program.shot()))
        program.move(*RANGE_BUTTON)
        xdotool("mousedown", 1)
        self.assertTrue(pressed_image(program.wait_until(pressed_image)))
        xdotool("mouseup", 1)
        image = program.wait_until(lambda i: list_is_open(i, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertFalse(pressed_image(image))
        self.assertTrue(list_is_open(image, CHOICE_X_LTR, RANGE_LIST_TOP))
        self.assertCancelCloses(program)

    def test_minimise_area_minimises(self):
        program = self.start(random_block(self.rng))
        program.click(500, 36)
        wait_for(lambda: program.refresh()["iconic"], "the window minimised", timeout=10)
        self.assertIsNone(program.process.poll())

    def test_a_native_list_selection_acts_as_a_pick(self):
        current = random_block(self.rng, off_delay_code=1)
        program = self.start(current)
        mark = standin_mark()
        probe("select-native-row", 231, 1)
        image = program.wait_until(apply_enabled)
        state = program.refresh()
        self.assertEqual(state["children"]["211"]["text"], "  1 Minute(s)")
        self.assertEqual(state["children"]["231"]["shown"], 0)
        self.assertTrue(apply_enabled(image))
        self.assertNothingWritten(mark)
        program.click(*APPLY_CENTRE)
        self.assertApplied(mark, with_off_delay(current, 3))
        self.assertCancelCloses(program)

    def test_dragging_the_title_bar_moves_the_window(self):
        def drag(*buttons):
            program.move(*TITLE_BAR_SPOT)
            x, y = program.screen(*TITLE_BAR_SPOT)
            for button in buttons:
                xdotool("mousedown", button)
            for step in range(1, 11):
                xdotool("mousemove", x + 10 * step, y + 5 * step)
                time.sleep(0.05)
            for button in reversed(buttons):
                xdotool("mouseup", button)

        program = self.start(random_block(self.rng))
        left, top, right, bottom = program.state["rect"]
        drag(1)
        moved = [left + 100, top + 50, right + 100, bottom + 50]  # as far as the pointer went
        wait_for(lambda: program.refresh()["rect"] == moved, f"the window dragged to {moved[:2]}")
        image = program.settle()
        self.assertEqual(image.getpixel((40, 150)), PANEL_GREY, "the frame did not follow")

        # With the right button held as well the window stays.
        drag(1, 3)
        # Input is handled in order: once a later move shows, the drag has been seen.
        program.move(*CANCEL_CENTRE)
        self.assertTrue(cancel_hovered(program.wait_until(cancel_hovered)), "no hover look")
        self.assertEqual(program.refresh()["rect"], moved)
        self.assertCancelCloses(program)


# Every control at its place in the window drawn 1.5 and 2 times as large.
SCALED_ROWS = ("test_pick_maximum_apply_in_the_programs_registry_view_and_apply_again",
               "test_cancel_and_close_area_after_a_pick_and_ok_after_none_write_nothing",
               "test_disable_writes_at_once_and_cancel_undoes_nothing",
               "test_minimise_area_minimises", "test_dragging_the_title_bar_moves_the_window")
ControlsTestAt144 = at_scale(ControlsTest, 144, *SCALED_ROWS)
ControlsTestAt192 = at_scale(ControlsTest, 192, *SCALED_ROWS)

if __name__ == "__main__":
    main()
