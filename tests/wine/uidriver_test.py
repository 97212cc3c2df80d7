#!/usr/bin/env python3
"""The UI driver against real message boxes: a Windows test program shows a box, the driver reads it and
answers it, and the box's own return value says whether the answer arrived as the intended button.

Run inside a Wine session:  wine-session run DIR python3 uidriver_test.py UIDRIVER.exe BOXDEMO.exe
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

DRIVER, BOXDEMO = sys.argv[1], sys.argv[2]
WINE = os.environ["WINELOADER"]

MB_OK, MB_OKCANCEL, MB_YESNO = 0x0, 0x1, 0x4
MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION = 0x10, 0x20, 0x30, 0x40
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


class Box:
    """One message box shown by the test program, for the length of a with-block."""

    def __init__(self, flags, caption, text):
        self.process = subprocess.Popen([WINE, BOXDEMO, hex(flags), caption, text],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()

    def result(self):
        """The button the box returned."""
        out, _ = self.process.communicate(timeout=90)
        return int(out.decode().strip() or "-1")


# Bounds only: a busy machine may take tens of seconds to start a Windows program under Wine.
def drive(caption, *action, transcript=None, timeout=90):
    command = [WINE, DRIVER, "--caption", caption, "--timeout", str(timeout), *action]
    if transcript:
        command += ["--transcript", transcript]
    done = subprocess.run(command, capture_output=True, timeout=timeout + 30)
    line = done.stdout.decode("utf-8").strip()
    return done.returncode, (json.loads(line) if line else None)


class UiDriverTest(unittest.TestCase):
    def test_reads_and_answers_boxes(self):
        cases = [
            # flags, action, returned button, icon, number of buttons, default button index
            (MB_OK | MB_ICONWARNING, ["--press", "ok"], IDOK, "warning", 1, 0),
            (MB_YESNO, ["--press", "no"], IDNO, "none", 2, 0),
            (MB_YESNO, ["--key", "enter"], IDYES, "none", 2, 0),
            (MB_OKCANCEL | MB_ICONERROR, ["--key", "esc"], IDCANCEL, "error", 2, 0),
            (MB_OKCANCEL | MB_ICONINFORMATION, ["--key", "alt+f4"], IDCANCEL, "information", 2, 0),
            (MB_OKCANCEL | MB_ICONQUESTION, ["--close"], IDCANCEL, "question", 2, 0),
            (MB_YESNO | MB_ICONWARNING, ["--press", "#7"], IDNO, "warning", 2, 0),
        ]
        for number, (flags, action, returned, icon, buttons, default) in enumerate(cases):
            caption = f"Quillon移行ツール {number}"
            text = "移行先のQuillonエージェントのダウンロードに失敗しました。\n再度実行してください。"
            with self.subTest(flags=hex(flags), action=action), Box(flags, caption, text.replace("\n", "\\n")) as box:
                status, seen = drive(caption, *action)
                self.assertEqual(status, 0)
                self.assertEqual(seen["caption"], caption)
                self.assertEqual(seen["class"], "#32770")
                self.assertEqual(seen["text"], text)
                self.assertEqual(seen["icon"], icon)
                self.assertEqual(len(seen["buttons"]), buttons)
                self.assertEqual(seen["default"], seen["buttons"][default])
                self.assertTrue(seen["closed"])
                self.assertEqual(box.result(), returned)

    def test_presses_a_button_by_its_text_and_records_a_transcript(self):
        with tempfile.TemporaryDirectory() as folder:
            transcript = os.path.join(folder, "ui.jsonl")
            caption = "Quillon移行ツール text"
            with Box(MB_YESNO, caption, "はい か いいえ") as box:
                _, first = drive(caption, "--none", transcript=transcript)
                self.assertFalse(first["closed"])
                no_text = first["buttons"][1]
                status, second = drive(caption, "--press", no_text, transcript=transcript)
                self.assertEqual(status, 0)
                self.assertEqual(box.result(), IDNO)
            with open(transcript, encoding="utf-8") as lines:
                records = [json.loads(line) for line in lines]
            self.assertEqual([r["action"] for r in records], ["none", "press:" + no_text])
            self.assertEqual([r["closed"] for r in records], [False, True])

    def test_tab_moves_the_focus_and_enter_presses_the_focused_button(self):
        caption = "Quillon移行ツール tab"
        with Box(MB_YESNO, caption, "tab") as box:
            _, before = drive(caption, "--key", "tab")
            self.assertEqual(before["focus"], IDYES)
            self.assertFalse(before["closed"])
            _, after = drive(caption, "--key", "enter")
            self.assertEqual(after["focus"], IDNO)
            self.assertEqual(box.result(), IDNO)

    def test_reports_a_missing_window_and_a_missing_button(self):
        status, seen = drive("no such window", "--press", "ok", timeout=1)
        self.assertEqual((status, seen), (2, None))
        caption = "Quillon移行ツール missing"
        with Box(MB_OK, caption, "x") as box:
            status, seen = drive(caption, "--press", "no")
            self.assertEqual(status, 3)
            self.assertFalse(seen["closed"])
            drive(caption, "--press", "ok")
            self.assertEqual(box.result(), IDOK)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
