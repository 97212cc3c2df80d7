#!/usr/bin/env python3
"""The agent replacement end to end, on either build: an old agent (5.1.0) is installed, the tool's
replacement sequence runs as the tool runs it, and the test checks every log line (number, level, text),
the box the user saw and when (against the log lines), and what the installer did: the registry afterwards
and the properties that reached the new agent.

Linux:   replacement_test.py --driver EXE --packages DIR --standin DIR --source DIR --server URL
Windows: run inside a Wine session, with --uidriver EXE instead of --standin: the real msiexec installs the
         wixl-built packages, and the UI driver reads and answers the boxes.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

parser = argparse.ArgumentParser()
parser.add_argument("--driver", required=True)
parser.add_argument("--packages", required=True)
parser.add_argument("--source", required=True)
parser.add_argument("--server", required=True)
parser.add_argument("--standin")
parser.add_argument("--uidriver")
ARGS, REST = parser.parse_known_args()
WINDOWS = ARGS.uidriver is not None

CAPTION = "Quillon移行ツール"
OLD = ("{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}", "5.1.0")
NEW = ("{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}", "6.0.0")
UNVERSIONED = ("{9D3E7F21-5B84-4C6A-B1E0-2A7C4D8F6E53}", "6.0.0")
UPGRADE_CODE = "{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}"
UNKNOWN_PRODUCT = "{00000000-0000-0000-0000-00000000F00D}"
AGENT_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon"
MB_OK, MB_ICONWARNING = 0x0, 0x30


def load_catalogue():
    ids = dict(re.findall(r"#define\s+(IDS_\w+)\s+(\d+)", open(os.path.join(ARGS.source, "res/resource.h")).read()))
    texts = {}
    for name, text in re.findall(r'QUILLON_MESSAGE\((IDS_\w+), "(.*)"\)',
                                 open(os.path.join(ARGS.source, "res/Messages.inc"), encoding="utf-8").read()):
        texts[int(ids[name])] = text.replace("\\n", "\n")
    return texts


MESSAGES = load_catalogue()


def versioned(message_id, version):
    return MESSAGES[message_id] + "(V%s)" % version


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_log(path):
    """The run log's entries as (function, line, level, message); a message may span lines."""
    if not os.path.exists(path):
        return []
    data = open(path, "rb").read()
    assert data[:2] == b"\xff\xfe", "the log starts with its byte-order mark"
    entries = []
    for physical in data[2:].decode("utf-16-le").split("\r\n")[:-1]:
        match = re.match(r"^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d (INFO|ERROR) FILE:Helper\.cpp FUNCTION:(\S+) LINE:(-?\d+) (.*)$",
                         physical)
        if match:
            level, function, line, message = match.groups()
            entries.append((function, int(line), level, message))
        else:
            function, line, level, message = entries[-1]
            entries[-1] = (function, line, level, message + "\n" + physical)
    return entries


class Machine:
    """What differs between the builds: the registry, the installer and how boxes are answered."""

    def __init__(self, case_dir):
        self.case_dir = case_dir
        self.failing_uninstall = False
        self.registry_file = os.path.join(case_dir, "registry.reg")

    def wine(self, *command, check=False):
        done = subprocess.run([os.environ["WINELOADER"], *command], capture_output=True, timeout=300)
        if check and done.returncode != 0:
            raise AssertionError(f"{command} failed with {done.returncode}")
        return done

    def install_old_agent(self):
        if WINDOWS:
            for code, _ in (OLD, NEW, UNVERSIONED):
                if self.wine("reg.exe", "query",
                             f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{code}").returncode == 0:
                    self.wine("msiexec.exe", "/x", code, "/qn")
            self.wine("reg.exe", "delete", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/f")
            self.wine("msiexec.exe", "/i", winpath(os.path.join(ARGS.packages, "old-agent.msi")), "/qn", check=True)
        else:
            with open(self.registry_file, "w", encoding="utf-8") as out:
                out.write("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Kept\"=\"yes\"\n\n"
                          f"[{AGENT_KEY}]\n\"UpgradeCode\"=\"{UPGRADE_CODE}\"\n\"ProductVersion\"=\"{OLD[1]}\"\n"
                          f"\"ProductCode\"=\"{OLD[0]}\"\n")

    def make_uninstall_fail(self):
        """Windows: the key names a product the installer does not know (it exits 1605). Linux: the stand-in
        exits 1618, as when another installation is running."""
        if WINDOWS:
            self.set_value("ProductCode", UNKNOWN_PRODUCT)
        else:
            self.failing_uninstall = True

    def set_value(self, name, value):
        if WINDOWS:
            self.wine("reg.exe", "add", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/v", name, "/d", value, "/f", check=True)
        else:
            text = open(self.registry_file, encoding="utf-8").read()
            text, count = re.subn(rf'^"{name}"=".*"$', f'"{name}"="{value}"', text, flags=re.M)
            assert count == 1
            open(self.registry_file, "w", encoding="utf-8").write(text)

    def agent_values(self):
        if WINDOWS:
            done = self.wine("reg.exe", "query", "HKLM\\SOFTWARE\\TORVA\\Quillon")
            values = {}
            for line in done.stdout.decode("utf-8", "replace").splitlines():
                match = re.match(r"^\s+(\S+)\s+REG_SZ\s*(.*)$", line)
                if match:
                    values[match.group(1)] = match.group(2).strip()
            return values
        values, inside = {}, False
        for line in open(self.registry_file, encoding="utf-8").read().splitlines():
            if line.startswith("["):
                inside = line.lower() == f"[{AGENT_KEY}]".lower()
            elif inside:
                match = re.match(r'^"([^"]*)"="(.*)"$', line)
                if match:
                    values[match.group(1)] = match.group(2).replace('\\"', '"').replace("\\\\", "\\")
        return values

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
        env = dict(os.environ, QUILLON_REGISTRY_FILE=self.registry_file, QUILLON_UI_TRANSCRIPT=transcript,
                   QUILLON_MSIEXEC_LOG=os.path.join(self.case_dir, "msiexec.log"),
                   PATH=ARGS.standin + os.pathsep + os.environ.get("PATH", ""))
        if self.failing_uninstall:
            env["QUILLON_MSIEXEC_FAIL"] = "uninstall=1618"
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

        machine = Machine(case_dir)
        machine.install_old_agent()
        for name, value in (values or {}).items():
            machine.set_value(name, value)
        if uninstall_fails:
            machine.make_uninstall_fail()
        transcript = os.path.join(case_dir, "ui.jsonl")
        log_file = os.path.join(temp_dir, "QuillonMigrationTool.log")
        output, at_box, box_time = machine.run(tool_dir, temp_dir, transcript, log_file)
        boxes = [json.loads(line) for line in open(transcript, encoding="utf-8")] if os.path.exists(transcript) else []
        calls = []
        if not WINDOWS and os.path.exists(os.path.join(case_dir, "msiexec.log")):
            calls = [json.loads(line)["argv"][1:] for line in open(os.path.join(case_dir, "msiexec.log"))]
        return {"output": output, "log": read_log(log_file), "at_box": at_box, "box_time": box_time,
                "boxes": boxes, "registry": machine.agent_values(), "calls": calls, "package": target}

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
