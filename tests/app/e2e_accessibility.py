#!/usr/bin/python3
"""The window as a screen reader finds and hears it, and used with the keyboard alone: the probe
reads it through Microsoft Active Accessibility (AccessibleObjectFromWindow), presses controls
through accDoDefaultAction and listens with an out-of-context SetWinEventHook, while the real
pointer and keyboard (xdotool) drive it."""

import json
import os
import sys

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import gen_strings  # noqa: E402  the generator's own reading of the language files

# oleacc.h
PUSH, COMBO, LIST, ITEM, CHECK, TEXT = 43, 46, 33, 34, 44, 41
UNAVAILABLE, SELECTED, FOCUSED, CHECKED = 0x1, 0x2, 0x4, 0x10
EXPANDED, COLLAPSED, INVISIBLE, FOCUSABLE, HASPOPUP = 0x200, 0x400, 0x8000, 0x100000, 0x40000000
EVENT_SHOW, EVENT_HIDE, EVENT_FOCUS, EVENT_SELECTION = 0x8002, 0x8003, 0x8005, 0x8006
EVENT_STATE, EVENT_VALUE = 0x800A, 0x800E

LANGUAGES = {None: 1033, "ar_EG.UTF-8": 1}  # locale: the language file its user reads
# Where the left-to-right window draws a control (frame units): a reader's location of it must
# hold that point at every display scale.
DRAWN_AT = {"2": CLOSE_AREA_CENTRE, "3": RANGE_BUTTON, "5": OFF_DELAY_BUTTON,
            "9": CHECK_BOX_CENTRE_LTR, "10": OK_CENTRE, "11": CANCEL_CENTRE, "12": APPLY_CENTRE}


def strings(language_id):
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sensorctl",
                          "resources", "strings", "languages")
    for language in gen_strings.load_all([os.path.join(folder, n) for n in os.listdir(folder)]):
        if language["id"] == language_id:
            return language["strings"]
    raise AssertionError(f"no language file {language_id}")


def tree():
    return {record["path"]: record for record in json.loads(probe("a11y"))}


def focused_name():
    """The name of the innermost object that says it has the focus: a list's row before the
    drop-down it belongs to."""
    named = [r["name"] for r in tree().values() if r["state"] & FOCUSED and r["role"] != 10]
    return named[-1] if named else None


def heard(expected):
    """Polls the events the window announced until every (event, role, name) of `expected` was
    heard: they arrive in no fixed order."""
    got = set()

    def missing():
        got.update((e["event"], e.get("role"), e.get("name")) for e in json.loads(probe("events")))
        return set(expected) - got
    wine_fact("out-of-context events reach the hook in the order they were raised",
              "they may reach it in another order: each is only asked to be heard")
    left = polled(missing, lambda m: not m)
    if left:
        raise AssertionError(f"not heard: {sorted(left)}; heard {sorted(got)}")


def until(good, what):
    """The window's tree once `good` holds of it."""
    return wait_for(lambda: (lambda w: w if good(w) else None)(tree()), what)


class AccessibilityTest(WindowTest):

    def expected_rows(self, texts, right_to_left, program):
        """(role, name, value, states set, states clear) per child of the window, in the order
        a reader of the window meets them."""
        children = program.refresh()["children"]
        choice = {button: children[button]["text"].strip() for button in ("210", "211", "212")}
        title_bar = [(PUSH, "Minimize", None, FOCUSABLE, INVISIBLE),
                     (PUSH, "Close", None, FOCUSABLE, INVISIBLE)]
        buttons = [(PUSH, texts[110], None, FOCUSABLE, UNAVAILABLE),
                   (PUSH, texts[111], None, FOCUSABLE, UNAVAILABLE),
                   (PUSH, texts[109], None, UNAVAILABLE, FOCUSABLE)]  # nothing to apply yet
        if right_to_left:
            title_bar.reverse()
            buttons.reverse()
        drop_downs = []
        for label, button, offered in ((105, "210", True), (106, "211", True), (107, "212", False)):
            drop_downs += [(COMBO, texts[label], choice[button] or None,
                            HASPOPUP | COLLAPSED | (FOCUSABLE if offered else UNAVAILABLE | INVISIBLE),
                            EXPANDED | (INVISIBLE if offered else FOCUSABLE)),
                           (LIST, texts[label], None, INVISIBLE, 0)]
        return (title_bar + drop_downs + [(CHECK, texts[108], None, FOCUSABLE, CHECKED)] +
                buttons + [(TEXT, texts[118], None, INVISIBLE, 0)])

    def test_the_window_reads_as_drawn_and_tab_follows_the_reading_order(self):
        wine_fact("the system menu's Close and Minimize are read from a window that has a "
                  "system menu", "Wine gives a window without WS_SYSMENU no system menu; the "
                  "names come from a hidden window that has one")
        for locale, language in LANGUAGES.items():
            with self.subTest(locale=locale):
                texts = strings(language)
                program = self.start(random_block(self.rng, off_delay_code=3), locale)
                try:
                    self.check_reading(program, texts, locale is not None)
                finally:
                    program.kill()

    def check_reading(self, program, texts, right_to_left):
        program.move(*TITLE_BAR_SPOT)  # which shows the never drawn delay-until-on's window
        wait_for(lambda: shown_children(program, ["212"])["212"], "the windows shown by a move")
        window = tree()
        self.assertEqual((window[""]["name"], window[""]["description"]),
                         (texts[103], texts[104]))
        rows = [window[str(k)] for k in range(1, len(window)) if str(k) in window]
        expected = self.expected_rows(texts, right_to_left, program)
        said = [(r["role"], r["name"], r["value"]) for r in rows]
        if right_to_left:  # the system's own words for its language
            expected[0:2] = [(PUSH, said[k][1], None, FOCUSABLE, INVISIBLE) for k in (0, 1)]
            self.assertNotIn(said[0][1], ("BUTTON4", "BUTTON5", None))
        self.assertEqual(said, [row[:3] for row in expected])
        for record, (_, name, _, on, off) in zip(rows, expected):
            self.assertEqual((record["state"] & on, record["state"] & off), (on, 0), name)
        for path, spot in DRAWN_AT.items() if not right_to_left else ():
            left, top, width, height = window[path]["rect"]
            x, y = program.screen(*spot)
            self.assertTrue(left <= x < left + width and top <= y < top + height and
                            width < program.scaled(200), (window[path]["name"], (left, top, width,
                                                           height), "drawn at", (x, y)))
        # A list's rows: what is drawn in them, the row "Current" holds selected.
        self.assertEqual([window[f"6.{k}"]["name"] for k in (1, 2, 3)],
                         [t.strip() for t in program.state["children"]["231"]["rows"]])
        self.assertEqual([bool(window[f"6.{k}"]["state"] & SELECTED) for k in (1, 2, 3)],
                         [False, True, False])
        # Tab and Shift+Tab: the focusable controls in that order, round and back.
        program.take_keyboard()
        stops = [name for _, name, _, on, _ in expected if on & FOCUSABLE]
        for keys, order in (("Tab", stops + stops[:1]),
                            ("shift+Tab", stops[::-1])):
            for name in order:
                xdotool("key", keys)
                self.assertEqual(polled(focused_name, lambda n, w=name: n == w), name)
        self.assertCancelCloses(program)

    def test_a_list_used_with_the_mouse_and_by_default_actions_is_heard(self):
        current = random_block(self.rng, range_code=0)
        program = self.start(current)
        texts = strings(1033)
        probe("events-start")
        self.open_list(program)
        hover_row(program, RANGE_LIST_TOP, 1)
        heard([(EVENT_STATE, COMBO, texts[105]), (EVENT_SHOW, LIST, texts[105]),
               (EVENT_FOCUS, ITEM, texts[117].strip())])
        window = tree()
        self.assertTrue(window["3"]["state"] & EXPANDED)
        self.assertEqual([window[f"4.{k}"]["state"] & (SELECTED | FOCUSED | INVISIBLE)
                          for k in (1, 2)], [SELECTED, FOCUSED])
        xdotool("click", 1)
        heard([(EVENT_VALUE, COMBO, texts[105]), (EVENT_SELECTION, ITEM, texts[117].strip()),
               (EVENT_HIDE, LIST, texts[105]), (EVENT_STATE, PUSH, texts[109])])
        self.assertEqual(tree()["3"]["value"], texts[117].strip())
        # Ticked with the mouse: heard, and the drop-downs greyed out, not gone.
        program.click(*CHECK_BOX_CENTRE_LTR)
        heard([(EVENT_STATE, CHECK, texts[108])])
        window = tree()
        self.assertEqual(window["9"]["state"] & CHECKED, CHECKED)
        self.assertEqual(window["5"]["state"] & (UNAVAILABLE | INVISIBLE), UNAVAILABLE)
        program.click(*CHECK_BOX_CENTRE_LTR)
        # Default actions: the drop-down opens its list, a row is picked, Apply applies.
        mark = standin_mark()
        probe("a11y-do", "5")
        until(lambda w: w["6"]["state"] & INVISIBLE == 0, "the list opened by its default action")
        probe("a11y-do", "6.3")
        until(lambda w: w["5"]["value"] == w["6.3"]["name"], "the row picked by its default action")
        probe("a11y-do", "12")
        self.assertApplied(mark, with_off_delay(with_range(current, 2), 4))
        self.assertNotEqual(probe("a11y-do", "6.1", check=False), "0x00000000")  # list closed
        self.assertCancelCloses(program)

    def test_keyboard_alone_changes_every_setting_and_presses_ok(self):
        current = random_block(self.rng, range_code=0, off_delay_code=1)
        program = self.start(current)
        texts = strings(1033)
        untouched = program.shot()
        mark = standin_mark()
        program.take_keyboard()

        def tab_to(name):
            for _ in range(12):
                xdotool("key", "Tab")
                if polled(focused_name, lambda n: n is not None) == name:
                    return
            self.fail(f"Tab never reached {name}")

        def choose(label, key, row_name, ring=None):
            tab_to(texts[label])
            xdotool("key", "space")  # opens the list on the row "Current" holds
            until(lambda w: any(r["state"] & FOCUSED and r["role"] == ITEM for r in w.values()),
                  f"the list of {texts[label]} open on a row")
            if ring:  # the open list shows the focus: no mark across its edge
                self.assertLess(count_white(program.wait_until(
                    lambda i: count_white(i, ring) < 5), ring), 5)
            xdotool("key", key)
            wait_for(lambda: focused_name() == row_name, f"{key} onto {row_name}")
            xdotool("key", "space")  # picks it
            until(lambda w: any(r["value"] == row_name for r in w.values()), f"{row_name} picked")

        tab_to(texts[105])
        # The focus mark, drawn only now that the keyboard is used, around the focused button.
        ring = (CHOICE_X_LTR - 4, RANGE_BUTTON_Y - 4, CHOICE_X_LTR + 157, RANGE_BUTTON_Y - 2)
        self.assertLess(count_white(untouched, ring), 5)
        self.assertGreater(count_white(program.wait_until(lambda i: count_white(i, ring) > 40),
                                       ring), 40)
        program.save("keyboard-focus.png")
        xdotool("key", "shift+Tab")  # back, so that choose() tabs onto it again
        choose(105, "Down", texts[117].strip(), ring)
        choose(106, "End", tree()["6.3"]["name"])
        xdotool("key", "Escape", "Return")  # nothing happens: no list is open
        tab_to(texts[108])
        xdotool("key", "space")  # the check box writes at once
        expected = with_off_delay(with_range(current, 2), 4)
        expected = bytes([expected[0] & 0xFE]) + expected[1:]
        self.assertApplied(mark, expected)
        tab_to(texts[110])
        xdotool("key", "space")
        self.assertClosesWithZero(program)
        self.assertEqual(standin_codes(mark), [CODE_APPLY])  # nothing left to write on OK
        self.assertEqual(read_value("Current"), expected)


AccessibilityTestAt192 = at_scale(AccessibilityTest, 192,
                                  "test_the_window_reads_as_drawn_and_tab_follows_the_reading_order")

if __name__ == "__main__":
    main()
