#!/usr/bin/env python3
"""The agent replacement end to end, on either build: an old agent (5.1.0) is installed, the tool's
replacement sequence runs as the tool runs it, and the test checks every log line (number, level, text),
the box the user saw and when (against the log lines), and what the installer did: the registry afterwards
and the properties that reached the new agent.

Linux:   replacement_test.py --driver EXE --packages DIR --standin DIR --server URL
Windows: run inside a Wine session, with --uidriver EXE instead of --standin: the real msiexec installs the
         wixl-built packages, and the UI driver reads and answers the boxes.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from harness import (NEW_AGENT as NEW, OLD_AGENT as OLD, UNVERSIONED_AGENT as UNVERSIONED, UPGRADE_CODE, AgentMachine,
                     Build, MESSAGES, read_log, windows_path as winpath)

parser = argparse.ArgumentParser()
parser.add_argument("--driver", required=True)
parser.add_argument("--packages", required=True)
parser.add_argument("--server", required=True)
parser.add_argument("--standin")
parser.add_argument("--uidriver")
ARGS, REST = parser.parse_known_args()
WINDOWS = ARGS.uidriver is not None
BUILD = Build("windows" if WINDOWS else "linux", ARGS.driver, packages=ARGS.packages, standin=ARGS.standin)

CAPTION = "Quillon移行ツール"
MB_OK, MB_ICONWARNING = 0x0, 0x30


def versioned(message_id, version):
    return MESSAGES[message_id] + "(V%s)" % version


class Machine(AgentMachine):
    """The agent's machine, and running the replacement on it with its one box answered."""

    def run(self, tool_dir, temp_dir, transcript, log_file):
        """Runs the replacement, answers its one box with OK; returns (stdout, log entries when the box
        showed, seconds from start to the box)."""
        driver = os.path.join(tool_dir, os.path.basename(ARGS.driver))
        start = time.monotonic()
        if WINDOWS:
            env = dict(os.environ, QUILLON_UI_TRANSCRIPT=winpath(transcript))
            process = subprocess.Popen([os.environ["WINELOADER"], driver, "--temp", winpath(temp_dir)],
                                       env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            try:
                seen = subprocess.run([os.environ["WINELOADER"], ARGS.uidriver, "--caption", CAPTION, "--none",
                                       "--timeout", "240"], capture_output=True, timeout=300)
                assert seen.returncode == 0, "the box did not show"
                at_box, box_time = read_log(log_file), time.monotonic() - start
                pressed = subprocess.run([os.environ["WINELOADER"], ARGS.uidriver, "--caption", CAPTION, "--press",
                                          "ok", "--timeout", "30"], capture_output=True, timeout=90)
                assert pressed.returncode == 0, "the box could not be answered"
                out, _ = process.communicate(timeout=120)
            finally:
                if process.poll() is None:
                    process.kill()
            return out.decode("utf-8", "replace"), at_box, box_time
        env = dict(os.environ, QUILLON_UI_TRANSCRIPT=transcript, **self.environment())
        process = subprocess.Popen([driver, "--temp", temp_dir], env=env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        output = b""
        try:
            # The box is on the terminal once its buttons are listed.
            for chunk in iter(process.stdout.readline, b""):
                output += chunk
                if chunk.startswith(b"[o] OK"):
                    break
            at_box, box_time = read_log(log_file), time.monotonic() - start
            rest, _ = process.communicate(b"\n", timeout=120)
        finally:
            if process.poll() is None:
                process.kill()
        return (output + rest).decode("utf-8", "replace"), at_box, box_time


class ReplacementTest(unittest.TestCase):
    def replace(self, package=None, auth_ini=None, values=None, uninstall_fails=False):
        """Sets up an installed old agent, runs the replacement; returns what the test looks at."""
        case_dir = tempfile.mkdtemp(prefix="quillon-e2e-")
        self.addCleanup(shutil.rmtree, case_dir, True)
        tool_dir, temp_dir = os.path.join(case_dir, "tool"), os.path.join(case_dir, "temp")
        os.makedirs(tool_dir)
        os.makedirs(temp_dir)
        shutil.copy(ARGS.driver, tool_dir)
        if auth_ini is not None:
            with open(os.path.join(tool_dir, "Auth.ini"), "w", encoding="utf-8") as out:
                out.write(auth_ini)
        target = os.path.join(temp_dir, "NewQuillonAgent.msi")
        if isinstance(package, bytes):
            open(target, "wb").write(package)
        else:
            shutil.copy(os.path.join(ARGS.packages, package), target)

        machine = Machine(BUILD, case_dir)
        machine.install_old_agent()
        for name, value in (values or {}).items():
            machine.set_value(name, value)
        if uninstall_fails:
            machine.make_uninstall_fail()
        transcript = os.path.join(case_dir, "ui.jsonl")
        log_file = os.path.join(temp_dir, "QuillonMigrationTool.log")
        output, at_box, box_time = machine.run(tool_dir, temp_dir, transcript, log_file)
        boxes = [json.loads(line) for line in open(transcript, encoding="utf-8")] if os.path.exists(transcript) else []
        return {"output": output, "log": [(e.function, e.line, e.level, e.message) for e in read_log(log_file)],
                "at_box": at_box, "box_time": box_time, "boxes": boxes,
                "registry": machine.agent_values(), "calls": machine.installer_calls(), "package": target}

    def assertLog(self, result, expected):
        self.assertEqual(result["log"], [("Helper::updateQuillon", line, level, text) for line, level, text in expected])

    def assertBox(self, result, message_id, flags):
        self.assertEqual(len(result["boxes"]), 1)
        box = result["boxes"][0]
        self.assertEqual((box["caption"], box["text"], box["flags"], box["button"]),
                         (CAPTION, MESSAGES[message_id], flags, 1))

    def assertInstalled(self, result, product, company=None, cert=None):
        registry = result["registry"]
        self.assertEqual(registry.get("ProductVersion"), product[1] if product is not UNVERSIONED else "unknown")
        self.assertEqual(registry.get("ProductCode"), product[0])
        self.assertEqual(registry.get("UpgradeCode"), UPGRADE_CODE)
        self.assertEqual(registry.get("SERVER_URL"), ARGS.server + "/rpc/")
        self.assertEqual(registry.get("LANG"), "ja-JP")
        self.assertEqual(registry.get("COMPANY_CODE") or None, company)
        self.assertEqual(registry.get("CERTIFICATION_CODE") or None, cert)
        if WINDOWS:
            self.assertEqual(registry.get("Language"), "1041", "the embedded transform was applied")

    def test_replaces_the_agent_without_auth_ini(self):
        result = self.replace("new-agent.msi")
        self.assertIn("result=1 outcome=replaced", result["output"])
        self.assertLog(result, [(363, "INFO", versioned(114, "5.1.0")), (392, "INFO", versioned(107, "6.0.0")),
                                (405, "INFO", MESSAGES[108])])
        self.assertBox(result, 108, MB_OK)
        self.assertEqual(len(result["at_box"]), 3, "the closing box follows every log line")
        self.assertGreaterEqual(result["box_time"], 5.0, "five seconds pass between uninstall and install")
        self.assertInstalled(result, NEW)
        if not WINDOWS:
            package = result["package"]
            self.assertEqual(result["calls"], [["-x", OLD[0], "-qb!"],
                                               ["-i", package, "-qb!", "SERVER_URL=" + ARGS.server + "/rpc/",
                                                "TRANSFORMS=:1041", "LANG=ja-JP"]])

    def test_replaces_the_agent_with_the_codes_of_auth_ini(self):
        # A blank in a code keeps it one property; on Linux a quote too (Wine's msiexec drops quotes).
        company = "ACME 01" if WINDOWS else 'AC"ME 01'
        result = self.replace("new-agent.msi", auth_ini=f"[CERT]\r\nCompanyName=Torva\r\nCompanyCode={company}\r\n"
                                                        "CertCode=X9-77\r\n")
        self.assertIn("result=1 outcome=replaced", result["output"])
        self.assertLog(result, [(363, "INFO", versioned(114, "5.1.0")), (392, "INFO", versioned(107, "6.0.0")),
                                (401, "INFO", MESSAGES[118])])
        self.assertBox(result, 108, MB_OK)
        self.assertInstalled(result, NEW, company=company, cert="X9-77")

    def test_a_failed_uninstall_shows_box_112_after_its_line_and_installs_nothing(self):
        result = self.replace("new-agent.msi", uninstall_fails=True)
        self.assertIn("result=0 outcome=uninstall-failed", result["output"])
        self.assertLog(result, [(345, "ERROR", versioned(112, "5.1.0"))])
        self.assertBox(result, 112, MB_OK | MB_ICONWARNING)
        self.assertEqual(len(result["at_box"]), 1, "box 112 follows its log line")
        self.assertLess(result["box_time"], 5.0, "no pause after a failed uninstall")
        self.assertEqual(result["registry"].get("ProductVersion"), "5.1.0")
        if not WINDOWS:
            self.assertEqual(result["calls"], [["-x", OLD[0], "-qb!"]])

    def test_a_failed_uninstall_without_a_version_logs_the_one_line_text(self):
        result = self.replace("new-agent.msi", values={"ProductVersion": "x"}, uninstall_fails=True)
        self.assertIn("result=0 outcome=uninstall-failed", result["output"])
        self.assertLog(result, [(334, "ERROR", MESSAGES[113]), (349, "ERROR", MESSAGES[123])])
        self.assertBox(result, 112, MB_OK | MB_ICONWARNING)

    def test_a_failed_install_shows_box_116_before_its_line(self):
        result = self.replace(b"this is not an installer package")
        self.assertIn("result=0 outcome=install-failed", result["output"])
        self.assertLog(result, [(363, "INFO", versioned(114, "5.1.0")), (376, "ERROR", MESSAGES[126])])
        self.assertBox(result, 116, MB_OK | MB_ICONWARNING)
        self.assertEqual(len(result["at_box"]), 1, "line 376 is written after the box is closed")
        self.assertNotIn("ProductVersion", result["registry"], "the old agent is gone, no new one came")

    def test_an_unreadable_new_version_is_logged_and_the_replacement_still_succeeds(self):
        result = self.replace("new-agent-unversioned.msi")
        self.assertIn("result=1 outcome=replaced", result["output"])
        self.assertLog(result, [(363, "INFO", versioned(114, "5.1.0")), (385, "ERROR", MESSAGES[113]),
                                (396, "INFO", MESSAGES[107]), (405, "INFO", MESSAGES[108])])
        self.assertBox(result, 108, MB_OK)
        self.assertInstalled(result, UNVERSIONED)

    def test_an_unreadable_old_version_gives_plain_lines(self):
        result = self.replace("new-agent.msi", values={"ProductVersion": "a.b.c"})
        self.assertIn("result=1 outcome=replaced", result["output"])
        self.assertLog(result, [(334, "ERROR", MESSAGES[113]), (367, "INFO", MESSAGES[114]),
                                (392, "INFO", versioned(107, "6.0.0")), (405, "INFO", MESSAGES[108])])
        self.assertBox(result, 108, MB_OK)
        self.assertInstalled(result, NEW)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + REST)
