#!/usr/bin/python3
"""Start-up: where the window opens, a second start, elevation, a missing OpenGL."""

import json
import os
import subprocess

from PIL import Image, ImageChops

from e2e_harness import *  # noqa: F401,F403  the bench, the program, the window's places

class StartupTest(WindowTest):

    def test_window_opens_centred_and_a_second_start_leaves_it_alone(self):
        program = self.start(random_block(self.rng, range_code=2, off_delay_code=3))
        # 566 x 460 at 96 DPI, 1.5 and 2 times that at 144 and 192, on the 1920 by 1080 display.
        width, height = WINDOW_WIDTH * self.dpi // 96, WINDOW_HEIGHT * self.dpi // 96
        centred = [960 - width // 2, 540 - height // 2, 960 - width // 2 + width,
                   540 - height // 2 + height]
        self.assertEqual(program.state["rect"], centred)
        self.assertEqual(program.state["title"], "ZQ Proximity Sensor Control")
        self.assertTrue(program.state["exstyle"] & 0x80000, "not a layered window")
        image = program.save(scale_shot_name("lists-closed.png", self.dpi))
        self.assertEqual(image.getpixel((40, 150)), PANEL_GREY)
        if self.dpi == 96:
            # Pixel for pixel the window as it was drawn before it knew of display scales.
            reference = Image.open(os.path.join(HERE, "reference", "lists-closed.png"))
            self.assertIsNone(ImageChops.difference(image, reference.convert("RGB")).getbbox())
        save_scale_montage("lists-closed.png")

        second = subprocess.run([os.environ["ZQ_WINE"], wine_path("bin/sensorctl.exe")],
                                timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(second.returncode, 0)
        state = program.refresh()
        self.assertEqual(state["count"], 1)
        self.assertEqual(state["rect"], centred)
        self.assertIsNone(program.process.poll(), "the first window went away")
        program.click(*CLOSE_AREA_CENTRE)
        self.assertClosesWithZero(program)

    def test_started_by_another_program_despite_asking_for_administrator_rights(self):
        set_current(random_block(self.rng))
        launched = json.loads(probe("launch", "Z:" + wine_path("bin/sensorctl.exe").replace("/", "\\")))
        if launched.get("wine", 1):
            wine_fact("a program whose manifest asks for requireAdministrator is refused to a "
                      "caller that is not elevated (ERROR_ELEVATION_REQUIRED); no window appears",
                      "it starts through a plain CreateProcess: there is no elevation to ask for")
        if not launched.get("wine", 1) and launched.get("started") == 0:
            self.assertEqual(launched.get("error"), ERROR_ELEVATION_REQUIRED, launched)
            self.assertEqual(window_state()["count"], 0)
            return
        self.assertEqual(launched.get("started"), 1, launched)
        state = wait_for(shown_window, "the launched window", timeout=30)
        self.assertEqual(state["count"], 1)
        self.assertEqual(state["pid"], launched["pid"])
        origin = state["rect"][:2]
        cancel = (origin[0] + CANCEL_CENTRE[0], origin[1] + CANCEL_CENTRE[1])
        xdotool("mousemove", *cancel)
        # The hover look shows that the window takes input; then the click cannot be lost.
        wait_for(lambda: cancel_hovered(window_shot(origin)), "Cancel hovered", timeout=10)
        xdotool("click", 1)
        wait_for(lambda: window_state()["count"] == 0, "the launched window closed by Cancel", 20)

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
        self.open_list(program)
        program.move(200, 60)
        xdotool("key", "space")
        before = self.wait_lists_closed(program, tops=(RANGE_LIST_TOP,))
        for key in ("alt+question", "alt+slash", "Escape", "Return"):
            xdotool("key", key)
            after = program.settle()
            self.assertIsNone(ImageChops.difference(before, after).getbbox(), key)
            self.assertEqual(program.refresh()["count"], 1, key)
        self.assertNothingWritten(mark)
        self.assertCancelCloses(program)


StartupTestAt144 = at_scale(StartupTest, 144,
                            "test_window_opens_centred_and_a_second_start_leaves_it_alone")
StartupTestAt192 = at_scale(StartupTest, 192,
                            "test_window_opens_centred_and_a_second_start_leaves_it_alone")

if __name__ == "__main__":
    main()
