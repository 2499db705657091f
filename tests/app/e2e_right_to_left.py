#!/usr/bin/python3
"""Right to left: the mirrored drop-downs and check box of Arabic and Hebrew. (The Arabic title
and which languages mirror at all: e2e_languages.py.)"""

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

class RightToLeftTest(WindowTest):

    def test_arabic_mirrors_drop_downs_check_box_and_check_mark(self):
        program = self.start(random_block(self.rng, range_code=0), locale="ar_EG.UTF-8")
        children = program.state["children"]
        self.assertEqual({child: children[child]["rect"][0] for child in ("210", "211", "230", "231")},
                         dict.fromkeys(("210", "211", "230", "231"), CHOICE_X_RTL))
        self.assertEqual(children["220"]["rect"][:2], [492, 339])
        self.assertEqual(children["202"]["rect"][:2], [210, 388])  # buttons stay
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
        program.wait_until(lambda i: highlighted_rows(i, CHOICE_X_RTL, RANGE_LIST_TOP, 2) == [1])
        image = program.save("right-to-left-list-open.png")
        self.assertEqual(highlighted_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP, 2), [1])
        self.assertTrue(list_is_open(image, CHOICE_X_RTL, RANGE_LIST_TOP))
        self.assertEqual(check_mark_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP, right_to_left=True),
                         [0])
        self.assertEqual(check_mark_rows(image, CHOICE_X_RTL, RANGE_LIST_TOP), [])
        xdotool("click", 1)
        self.assertTrue(apply_enabled(program.wait_until(apply_enabled)))
        mark = standin_mark()
        self.assertCancelCloses(program)
        self.assertNothingWritten(mark)


if __name__ == "__main__":
    main()
