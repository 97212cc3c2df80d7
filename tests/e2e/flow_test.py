#!/usr/bin/env python3
"""The migration flow as a user meets it, on the build named by QUILLON_E2E_BUILD (see harness.py):
the terms dialog, the early outcomes, the exact boxes and run-log lines, and the exit status."""
import os
import subprocess
import unittest

from harness import (Build, IDOK, MB_OK, MB_ICONWARNING, MB_YESNO, CAPTION, WINDOW_SELECTORS, Sandbox, flow_line, message,
                     read_log, screenshots, wine, windows_path)

BUILD = Build.from_environment()
WARNING = MB_OK | MB_ICONWARNING
INFO, ERROR = "INFO", "ERROR"

# Exit statuses (docs/ADMINISTRATORS.md, "Exit statuses").
REPLACED, ALREADY_RUNNING, TERMS_DECLINED, TERMS_UNREADABLE, NO_AGENT = 0, 1, 2, 3, 4
SETTINGS_FAULTY, CONFIRMATION_DECLINED, URL_NOT_FOUND = 5, 6, 7

AGREED = [flow_line(97, INFO, 105), flow_line(99, INFO, 110)]
TERMS_SHOWN = "\ufeff利用規約\r\nこのツールを使う前にお読みください。\r\n"  # the default License.txt, mark and all


class FlowTest(unittest.TestCase):
    def sandbox(self):
        sandbox = Sandbox(BUILD)
        self.addCleanup(sandbox.close)
        return sandbox

    def check_windows(self, result, expected):
        """expected: (kind, text, flags, button) for each window the user saw, in order."""
        self.assertEqual([(w.kind, w.text, w.flags, w.button) for w in result.windows], expected, result.stdout)
        for window in result.windows:
            self.assertEqual(window.caption, CAPTION)
            if window.seen is None:
                continue
            # What the real window showed (Windows): the same caption and text, the icon its flags ask for.
            self.assertEqual(window.seen["caption"], CAPTION)
            if window.kind == "box":
                self.assertEqual(window.seen["text"], window.text)
                self.assertEqual(window.seen["icon"], "warning" if window.flags & MB_ICONWARNING else "none")
                self.assertEqual(len(window.seen["buttons"]), 2 if window.flags & MB_YESNO else 1)

    def test_declining_the_terms_logs_one_line_and_shows_no_box(self):
        for how in ("disagree", "esc", "close", "altf4"):
            with self.subTest(how=how):
                sandbox = self.sandbox()
                sandbox.write_license()
                result = sandbox.run([("dialog", how)])
                self.check_windows(result, [("dialog", TERMS_SHOWN, 0, 2)])
                self.assertEqual(result.log_keys(), [flow_line(81, INFO, 104)])
                self.assertEqual(result.exit_code, TERMS_DECLINED)

    def test_unreadable_terms_stop_the_tool_before_any_dialog(self):
        for case in ("missing", "folder"):
            with self.subTest(case=case):
                sandbox = self.sandbox()
                if case == "folder":
                    os.mkdir(os.path.join(sandbox.tool_dir, "License.txt"))
                result = sandbox.run([("box", "ok")], screenshots=screenshots("box-terms-missing" if case == "missing" else None))
                self.check_windows(result, [("box", message(119), WARNING, IDOK)])
                self.assertEqual(result.log_keys(), [flow_line(90, ERROR, 127)])
                self.assertEqual(result.exit_code, TERMS_UNREADABLE)

    def test_agreeing_starts_the_migration(self):
        for how in ("agree", "enter"):
            with self.subTest(how=how):
                sandbox = self.sandbox()
                sandbox.write_license()
                result = sandbox.run([("dialog", how), ("box", "ok")])
                self.check_windows(result, [("dialog", TERMS_SHOWN, 0, 1),
                                            ("box", message(106), WARNING, IDOK)])
                self.assertEqual(result.log_keys(), AGREED + [flow_line(105, ERROR, 122)])
                self.assertEqual(result.exit_code, NO_AGENT)

    def test_the_terms_are_shown_as_stored(self):
        cases = [
            ("byte-order mark kept", b"\xff\xfe" + "規約".encode("utf-16-le"), "\ufeff規約"),
            ("odd last byte dropped", "ab".encode("utf-16-le") + b"c", "ab"),
            ("empty file", b"", ""),
        ]
        for name, data, shown in cases:
            with self.subTest(name):
                sandbox = self.sandbox()
                sandbox.write("License.txt", data)
                result = sandbox.run([("dialog", "disagree")])
                self.assertEqual(result.windows[0].text, shown)
                if result.windows[0].seen:
                    edit = [c for c in result.windows[0].seen["controls"] if c["id"] == 1001][0]
                    self.assertEqual(edit["text"], shown)
                self.assertEqual(result.exit_code, TERMS_DECLINED)

    def test_the_dialog_opens_with_the_focus_on_the_agree_button(self):
        if BUILD.kind != "windows":
            self.skipTest("window layout exists on Windows only")
        sandbox = self.sandbox()
        sandbox.write_license()
        result = sandbox.run([("dialog", "disagree")])
        seen = result.windows[0].seen
        self.assertEqual(seen["focus"], 1002)
        self.assertEqual(seen["buttons"], ["同意する", "同意しない"])
        self.assertEqual(seen["default"], "同意する")
        self.assertEqual(seen["text"], "利用規約をお読みください")
        self.assertEqual([c["id"] for c in seen["controls"]], [1002, 1003, 1001, -1, -1])

    def test_tab_goes_from_agree_to_disagree_to_the_terms(self):
        if BUILD.kind != "windows":
            self.skipTest("keyboard focus exists on Windows only")
        sandbox = self.sandbox()
        sandbox.write_license()
        running = sandbox.start([("dialog", "disagree")])
        focus = [running.drive("dialog", "--key", "tab")["focus"] for _ in range(2)]
        focus.append(running.drive("dialog", "--none")["focus"])
        result = running.finish()
        self.assertEqual(focus, [1002, 1003, 1001])
        self.assertEqual(result.exit_code, TERMS_DECLINED)

    def test_a_closed_terminal_output_does_not_cut_the_run_short(self):
        if BUILD.kind != "linux":
            self.skipTest("the terminal boxes exist on Linux only")
        sandbox = self.sandbox()
        sandbox.write_license()
        reader, writer = os.pipe()
        os.close(reader)  # nobody reads what the boxes print: every write meets a closed pipe
        try:
            done = subprocess.run([sandbox.executable], input=b"a\n\n", stdout=writer,
                                  env=sandbox.linux_environment(), timeout=60)
        finally:
            os.close(writer)
        self.assertEqual([entry.key() for entry in read_log(sandbox.log_path)], AGREED + [flow_line(105, ERROR, 122)])
        self.assertEqual(done.returncode, NO_AGENT)

    def test_a_second_copy_refuses_to_run_and_leaves_the_first_alone(self):
        sandbox = self.sandbox()
        sandbox.write_license()
        first = sandbox.start([("dialog", "disagree")])
        first.wait_for_window("dialog")
        second = sandbox.run([("box", "ok")])
        self.check_windows(second, [("box", message(117), WARNING, IDOK)])
        self.assertEqual(second.log_keys(), [flow_line(48, ERROR, 117)])
        self.assertEqual(second.exit_code, ALREADY_RUNNING)

        result = first.finish()
        self.assertEqual([w.button for w in result.windows], [2])
        self.assertEqual(result.log_keys(), [flow_line(48, ERROR, 117), flow_line(81, INFO, 104)])
        self.assertEqual(result.exit_code, TERMS_DECLINED)

        # With the first copy gone, the next one runs.
        again = sandbox.run([("dialog", "disagree")])
        self.assertEqual(again.exit_code, TERMS_DECLINED)

    # --- the test hooks -----------------------------------------------------------------------------------

    def run_with_hooks_in_profile(self, executable, hooks):
        """The tool from `executable`, without License.txt, with the test hooks only where a program of the
        user can put them: on Windows the user's profile (HKCU\\Environment), from which Windows builds an
        elevated process's environment; on Linux the environment itself. Answers the box and returns the
        exit status and the run log."""
        sandbox = Sandbox(Build(BUILD.kind, executable, BUILD.driver, BUILD.runner, BUILD.packages, BUILD.standin))
        self.addCleanup(sandbox.close)
        if BUILD.kind == "linux":
            done = subprocess.run([sandbox.executable], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  env=dict(sandbox.linux_environment(), **hooks), cwd=sandbox.start_dir, timeout=60)
            return done.returncode, read_log(sandbox.log_path)
        for name, value in hooks.items():
            wine("reg.exe", "add", "HKCU\\Environment", "/v", name, "/d", value, "/f", check=True)
            self.addCleanup(wine, "reg.exe", "delete", "HKCU\\Environment", "/v", name, "/f")
        # The harness's runner, with no setting but the temporary folder.
        process = subprocess.Popen([os.environ["WINELOADER"], BUILD.runner, f"TMP={windows_path(sandbox.temp_dir)}",
                                    f"TEMP={windows_path(sandbox.temp_dir)}", "--", windows_path(sandbox.executable)],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, cwd=sandbox.start_dir)
        try:
            subprocess.run([os.environ["WINELOADER"], BUILD.driver, "--caption", CAPTION, "--timeout", "60",
                            *WINDOW_SELECTORS["box"], "--press", "ok"], capture_output=True, timeout=90)
            return process.wait(timeout=60), read_log(sandbox.log_path)
        finally:
            process.kill()

    def test_the_product_obeys_no_test_hook(self):
        # The elevated tool's environment comes from the user's profile, which any program of the user can
        # write: there the transcript hook would make the tool append to any path, the others shorten its waits.
        # The product behaves as without them; the tests' build, run so, shows that they do reach the tool.
        for name, executable, obeyed in [("the tests' build", BUILD.tool, True),
                                         ("the product", os.environ["QUILLON_E2E_PRODUCT"], False)]:
            with self.subTest(name):
                transcript = os.path.join(os.path.dirname(BUILD.tool), f"hooked-{os.getpid()}.jsonl")
                self.addCleanup(lambda: os.path.exists(transcript) and os.remove(transcript))
                target = transcript if BUILD.kind == "linux" else windows_path(transcript)
                code, log = self.run_with_hooks_in_profile(executable, {
                    "QUILLON_UI_TRANSCRIPT": target, "QUILLON_TEST_RETRY_SECONDS": "0",
                    "QUILLON_TEST_INSTALLER_BUSY_SECONDS": "0"})
                self.assertEqual(code, TERMS_UNREADABLE)
                self.assertEqual([entry.key() for entry in log], [flow_line(90, ERROR, 127)])
                self.assertEqual(os.path.exists(transcript), obeyed)
                if obeyed:
                    os.remove(transcript)


if __name__ == "__main__":
    unittest.main(verbosity=2)
