#!/usr/bin/env python3
"""Whole migrations, as a user runs the tool: an old agent on the PC, the local destination server with
the new agent's package, the terms, Auth.ini or none. One scenario per outcome of the flow and per line
of the replacement sequence, on the build named by QUILLON_E2E_BUILD (harness.py). Each checks the windows
the user saw (and whether each box came before its log line), the whole run log, the exit status, the
registry afterwards, what reached the installer, and the downloaded package."""
import contextlib
import json
import os
import re
import shutil
import subprocess
import threading
import time
import unittest

from harness import (IDCANCEL, IDNO, IDOK, IDYES, MB_ICONWARNING, MB_OK, MB_YESNO, NEW_AGENT, OLD_AGENT,
                     UNKNOWN_PRODUCT, UNVERSIONED_AGENT, Build, DistributionServer, Sandbox, SilentListener, flow_line, helper_line,
                     main, message, screen_scaling, screenshots, set_internet_settings, wait_until, windows_path)

BUILD = Build.from_environment()
WINDOWS = BUILD.kind == "windows"
SERVER = DistributionServer()
WARNING = MB_OK | MB_ICONWARNING
INFO, ERROR = "INFO", "ERROR"
TERMS = ("\ufeff第1条（目的）\r\n本規約は、Quillon移行ツール（以下「本ツール」）の利用条件を定めるものです。\r\n\r\n"
         "第2条（本ツールの動作）\r\n本ツールは、この端末の管理エージェントをアンインストールし、移行先サーバーの"
         "管理エージェントをインストールします。実行中は端末の電源を切らないでください。\r\n")
AGREED = [flow_line(97, INFO, 105), flow_line(99, INFO, 110)]

# Exit statuses (docs/ADMINISTRATORS.md, "Exit statuses").
REPLACED, NO_AGENT, SETTINGS_FAULTY, CONFIRMATION_DECLINED, URL_NOT_FOUND, DOWNLOAD_FAILED = 0, 4, 5, 6, 7, 8
UNINSTALL_FAILED, INSTALL_FAILED, RESTART_REQUIRED, CANCELLED = 9, 10, 11, 12
MB_ICONINFORMATION = 0x40
ICONS = {0: "none", MB_ICONWARNING: "warning", MB_ICONINFORMATION: "information"}  # as the UI driver tells them
RECORDED_AGENT_KEPT = 17
# Runs that the command line ends before the single-instance guard: /quiet or /passive without /AcceptTerms,
# the usage, a refused argument, no visible window station.
USAGE_SHOWN = 14
ENDED_BY_COMMAND_LINE = {13, USAGE_SHOWN, 15, 16}
# The event each exit status is reported as: 1000 + the status, and its type (res/Events.inc).
INFORMATION_EVENTS = {REPLACED, 2, CONFIRMATION_DECLINED, RESTART_REQUIRED, CANCELLED, 14}
ISO_TIME = r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$"

# The progress's steps (res/Messages.inc): connecting, downloading, uninstalling, the pause, installing.
CONNECTING, DOWNLOADING, RETRYING, UNINSTALLING, PAUSING, INSTALLING = (message(n) for n in range(131, 137))
PACKAGE_URL_PATH = "/dist/Windows/agent/QuillonAgent.msi"  # where publish_agent puts the package


def replacement(line, level, text):
    return helper_line("updateQuillon", line, level, text)


def versioned(text_id, version):
    return message(text_id) + f"(V{version})"


def uninstalled(version=OLD_AGENT[1]):
    return replacement(363, INFO, versioned(114, version))


def installed(version=NEW_AGENT[1]):
    return replacement(392, INFO, versioned(107, version))


def flow_text(line, level, text_id, text):
    """A flow line whose message is `text` (the catalogue text `text_id` and what the run adds to it)."""
    return flow_line(line, level, text_id)[:4] + (text,)


def already_migrated(version=NEW_AGENT[1]):
    return flow_text(56, INFO, 191, versioned(191, version))


# After a failed install: the journal and the finishing task stay, and the next start tries the install again
# (tests/e2e/resume_test.py).
KEPT_FOR_NEXT_START = replacement(370, INFO, message(201))


def package_check(line, text):
    return helper_line("checkAgentPackage", line, ERROR, text)


def installer_log_line(line, step):
    """The line that names the installer's own log of a failed run; `step` stands for the file's path until
    resolve_installer_logs puts in the one the run wrote."""
    return replacement(line, INFO, f"Installer Log({step})")


# The Windows Installer's own logs: the time of the run, the tool's process id and the step, a second run of
# a step numbered.
INSTALLER_LOG_NAME = re.compile(r"^(\d{8}-\d{6})-(\d+)-([a-z]+\d*)\.log$")


# DLLs that Windows would take from beside the exe or the current folder if the tool let it: those the tool
# used to import, and those that they, comctl32 and MSXML load in turn. (Not version.dll: Wine's own user32
# loads it from the program's folder whatever the program does; Windows never does, user32 being a KnownDLL.)
PLANTED_DLLS = ("msi", "winhttp", "uxtheme", "comctl32", "bcrypt", "cabinet", "crypt32", "cryptnet", "dbghelp",
                "dhcpcsvc", "dhcpcsvc6", "dnsapi", "iphlpapi", "jscript", "jsproxy", "kerberos", "mpr", "msimg32",
                "mspatcha", "msv1_0", "msxml3", "msxml6", "ncrypt", "netapi32", "odbccp32", "rsaenh", "schannel",
                "secur32", "sspicli", "sxs", "urlmon", "wininet", "wintrust")


def confirmation(name, code, cert):
    return message(128).replace("%s", name, 1).replace("%s", code, 1).replace("%s", cert, 1)


class MigrationTest(unittest.TestCase):
    def setUp(self):
        SERVER.clear()
        with open(BUILD.package("new-agent.msi"), "rb") as package:
            self.package = package.read()

    def sandbox(self, agent=True, auth=None, temp_name="temp", auth_encoding="utf-16"):
        sandbox = Sandbox(BUILD, temp_name=temp_name)
        self.addCleanup(sandbox.close)
        sandbox.write_license(TERMS[1:])
        if auth is not None:
            sandbox.write_auth(*auth, encoding=auth_encoding)
        if agent:
            sandbox.machine.install_old_agent()
        return sandbox

    def check(self, result, windows, log, exit_code):
        """windows: (kind, text, flags, button, log entries written before it showed) in order."""
        self.assertEqual([(w.kind, w.text, w.flags, w.button) for w in result.windows],
                         [window[:4] for window in windows], result.stdout)
        self.assertEqual(result.log_counts, [window[4] for window in windows],
                         "when each window showed, in the log:\n" + "\n".join(map(str, result.log)))
        for window in result.windows:
            if window.seen and window.kind == "box":  # the real box (Windows)
                self.assertEqual(window.seen["text"], window.text)
                self.assertEqual(window.seen["icon"], ICONS[window.flags & 0xF0])
                self.assertEqual(len(window.seen["buttons"]), 2 if window.flags & MB_YESNO else 1)
        self.assertEqual(result.log_keys(), log)
        self.assertEqual(result.exit_code, exit_code)
        self.check_record(result, exit_code)

    def check_record(self, result, exit_code):
        """The outcome record and the event the run left: every run records its exit status; a replacement also
        the agents (the old one found, the new one installed now) and "Migrated"; on Linux its one event line."""
        record = result.machine.record()
        if exit_code in ENDED_BY_COMMAND_LINE:
            # Ended before the single-instance guard: no record (another copy may be writing its own).
            self.assertNotIn("LastExitCode", record)
        else:
            self.assertEqual(record.get("LastExitCode"), exit_code, record)
            self.assertEqual(record.get("LastDestination"), SERVER.base_url)
            self.assertRegex(record.get("LastRunTime", ""), ISO_TIME)
        if exit_code == USAGE_SHOWN:
            self.assertEqual([] if WINDOWS else result.machine.events(), [], "the usage reports nothing")
        elif exit_code in (REPLACED, RESTART_REQUIRED):
            agent = result.machine.agent_values()
            self.assertEqual({name: record.get(name) for name in ("Migrated", "OldProductCode", "NewProductCode",
                                                                 "NewProductVersion", "Destination")},
                             {"Migrated": 1, "OldProductCode": OLD_AGENT[0], "NewProductCode": agent.get("ProductCode"),
                              "NewProductVersion": agent.get("ProductVersion"), "Destination": SERVER.base_url})
            self.assertIn("OldProductVersion", record)
            self.assertRegex(record.get("MigratedTime", ""), ISO_TIME)
        else:
            self.assertNotEqual(record.get("Migrated"), 1, record)
        if not WINDOWS and exit_code != USAGE_SHOWN:
            event = result.machine.events()[-1]
            self.assertEqual((event["source"], event["id"], event["type"]),
                             ("QuillonMigrationTool", 1000 + exit_code,
                              "INFORMATION" if exit_code in INFORMATION_EVENTS else "ERROR"))
            # The old and new versions, the destination, the run log, the installer logs' folder.
            self.assertEqual(len(event["strings"]), 5, event)
            self.assertEqual(event["strings"][2], SERVER.base_url)
            self.assertTrue(event["strings"][3].endswith("/QuillonMigrationTool.log"), event)

    def check_installed(self, sandbox, product=NEW_AGENT, company=None, cert=None):
        values = sandbox.machine.agent_values()
        self.assertEqual(values.get("ProductCode"), product[0])
        self.assertEqual(values.get("ProductVersion"), "unknown" if product is UNVERSIONED_AGENT else product[1])
        self.assertEqual(values.get("SERVER_URL"), SERVER.base_url + "/rpc/")
        self.assertEqual(values.get("LANG"), "ja-JP")
        self.assertEqual(values.get("COMPANY_CODE") or None, company)
        self.assertEqual(values.get("CERTIFICATION_CODE") or None, cert)
        if WINDOWS:
            self.assertEqual(values.get("Language"), "1041", "the package's transform 1041 was applied")

    def installer_logs(self, sandbox, steps, empty=()):
        """Checks that the run left one installer log per installer run, named for the run and the step, in
        the order `steps` gives them, each with something in it but the steps in `empty`; returns step -> the
        file's path as the tool names it."""
        names = sandbox.machine.installer_logs()
        matches = [INSTALLER_LOG_NAME.match(name) for name in names]
        self.assertTrue(all(matches), names)
        matches.sort(key=lambda match: (match.group(1), match.group(3)))
        self.assertEqual([match.group(3) for match in matches], steps, names)
        self.assertEqual(len({match.group(2) for match in matches}), min(1, len(steps)), "one process's runs")
        folder, local = sandbox.machine.installer_log_folder()
        for match in matches:
            if match.group(3) not in empty:
                self.assertGreater(os.path.getsize(os.path.join(local, match.group(0))), 0, match.group(0))
        separator = "\\" if WINDOWS else "/"
        return {match.group(3): folder + separator + match.group(0) for match in matches}

    def installer_log_text(self, sandbox, path):
        """The installer's log as text (the real installer may write UTF-16 or an 8-bit code page)."""
        with open(sandbox.machine.local_path(path), "rb") as log:
            data = log.read()
        if data[:2] == b"\xff\xfe":
            return data.decode("utf-16")
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError:
            return data.decode("cp932", "replace")  # Wine's installer writes the Japanese ANSI code page

    def resolve_installer_logs(self, lines, logs):
        """The expected lines with the path of each installer log that installer_log_line stood in for."""
        resolved = []
        for key in lines:
            match = re.fullmatch(r"Installer Log\((\w+)\)", key[4])
            resolved.append(key[:4] + (f"Installer Log({logs[match.group(1)]})",) if match else key)
        return resolved

    def downloaded(self, sandbox):
        path = os.path.join(sandbox.temp_dir, "NewQuillonAgent.msi")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as package:
            return package.read()

    # --- the migration runs to its end ------------------------------------------------------------------

    def seconds_between(self, result, first_line, second_line):
        stamps = {entry.line: time.mktime(time.strptime(entry.stamp, "%Y/%m/%d %H:%M:%S")) for entry in result.log}
        return stamps[second_line] - stamps[first_line]

    def test_replaces_the_agent_without_auth_ini(self):
        SERVER.publish_agent(self.package)
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 5)],
                   AGREED + [uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED)
        # The uninstaller gets five seconds to let go before the install (whole seconds in the log).
        self.assertGreaterEqual(self.seconds_between(result, 99, 363), 5)
        self.check_installed(sandbox)
        self.assertEqual(self.downloaded(sandbox), self.package)
        self.assertEqual(result.progress_steps(), [CONNECTING, DOWNLOADING, UNINSTALLING, PAUSING, INSTALLING])
        # Each installer run wrote its own log, into a file that was not there before.
        logs = self.installer_logs(sandbox, ["uninstall", "install"])
        if not WINDOWS:
            package = os.path.join(sandbox.temp_dir, "NewQuillonAgent.msi")
            self.assertEqual(sandbox.machine.installer_calls(), [
                ["-x", OLD_AGENT[0], "-qb!", "/l*v", logs["uninstall"]],
                ["-i", package, "-qb!", f"SERVER_URL={SERVER.base_url}/rpc/", "TRANSFORMS=:1041", "LANG=ja-JP",
                 "/l*v", logs["install"]]])
            # The pause lies between the two installer runs (the stand-in's uninstall takes a moment only).
            uninstall_start, install_start = sandbox.machine.installer_starts()
            self.assertGreaterEqual(install_start - uninstall_start, 5)

        # Run again, as a software distribution does: the agent is the one the record names, so the run asks
        # nothing, runs no installer, and ends with its own line and box; the record of the migration stays.
        migration = sandbox.machine.record()
        os.remove(sandbox.log_path)
        again = sandbox.run([("box", "ok")])
        self.check(again, [("box", message(190), MB_OK, IDOK, 1)], [already_migrated()], REPLACED)
        self.assertEqual(self.installer_logs(sandbox, ["uninstall", "install"]), logs, "no installer ran again")
        self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), NEW_AGENT[0])
        self.assertEqual({name: value for name, value in sandbox.machine.record().items() if not name.startswith("Last")},
                         {name: value for name, value in migration.items() if not name.startswith("Last")})
        self.assertEqual(migration["OldProductVersion"], OLD_AGENT[1])
        if not WINDOWS:
            self.assertEqual(len(sandbox.machine.installer_calls()), 2)
            self.assertEqual(sandbox.machine.events()[-1]["strings"][:2], [OLD_AGENT[1], NEW_AGENT[1]])
        # The event source is registered with the tool's copy in the data folder, where only administrators
        # write, as its message file: the same bytes as the exe that ran, never the kit's own exe.
        source = sandbox.machine.event_source()
        self.assertEqual(source.get("TypesSupported"), 7)
        message_file = source.get("EventMessageFile", "")
        self.assertRegex(message_file, r"[\\/]QuillonMigrationTool[\\/]MigrationTool\.exe$")
        self.assertNotEqual(os.path.dirname(message_file), sandbox.tool_dir)
        with open(sandbox.machine.local_path(message_file), "rb") as copy, open(sandbox.executable, "rb") as exe:
            self.assertTrue(copy.read() == exe.read(), "the copy is the exe that ran")

    def test_replaces_the_agent_with_the_confirmed_codes_of_auth_ini(self):
        SERVER.publish_agent(self.package)
        sandbox = self.sandbox(auth=("株式会社トルバ", "C-0001", "X9-77"))
        result = sandbox.run([("dialog", "agree"), ("box", "yes"), ("box", "ok")],
                             screenshots=screenshots("terms-dialog", "box-confirmation", "box-migration-complete"))
        self.check(result, [("dialog", TERMS, 0, 1, 0),
                            ("box", confirmation("株式会社トルバ", "C-0001", "X9-77"), MB_YESNO, IDYES, 2),
                            ("box", message(108), MB_OK, IDOK, 5)],
                   AGREED + [uninstalled(), installed(), replacement(401, INFO, message(118))], REPLACED)
        self.check_installed(sandbox, company="C-0001", cert="X9-77")

    def test_a_temporary_folder_with_a_blank_in_its_path(self):
        SERVER.publish_agent(self.package)
        sandbox = self.sandbox(temp_name="Temp Folder")
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.assertEqual(result.exit_code, REPLACED, result.log)
        self.check_installed(sandbox)
        self.assertEqual(self.downloaded(sandbox), self.package)

    def test_auth_ini_values_cannot_add_installer_properties(self):
        SERVER.publish_agent(self.package)
        smuggled = "C-1 CERTIFICATION_CODE=EVIL TRANSFORMS=:evil.mst"
        if not WINDOWS:
            smuggled += ' /x" "{X}'  # quotes too (Wine's own msiexec drops quotes inside values)
        sandbox = self.sandbox(auth=("Torva", smuggled, "X9"))
        result = sandbox.run([("dialog", "agree"), ("box", "yes"), ("box", "ok")])
        self.assertEqual(result.exit_code, REPLACED, result.log)
        self.check_installed(sandbox, company=smuggled, cert="X9")
        if not WINDOWS:
            install = sandbox.machine.installer_calls()[1]
            self.assertEqual([a for a in install if "=" in a and not a.startswith("SERVER_URL")],
                             [f"COMPANY_CODE={smuggled}", "CERTIFICATION_CODE=X9", "TRANSFORMS=:1041", "LANG=ja-JP"])

    # --- the outcome record ----------------------------------------------------------------------------

    def test_what_the_record_says_before_the_run(self):
        # A record that names an agent no longer installed (the PC was reinstalled, or another agent put in its
        # place) is withdrawn at once and the run goes on as any run; the agent a record names as this tool's is
        # never uninstalled, whatever its Migrated says.
        stale = flow_text(58, INFO, 192, message(192) + f" Recorded({UNKNOWN_PRODUCT}) Installed({OLD_AGENT[0]})")
        cases = [
            ("a stale record", {"Migrated": 1, "NewProductCode": UNKNOWN_PRODUCT},
             [("dialog", TERMS, 0, 1, 1), ("box", message(108), MB_OK, IDOK, 6)],
             [stale] + AGREED + [uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED,
             NEW_AGENT),
            ("the recorded agent, its record withdrawn", {"Migrated": 0, "NewProductCode": OLD_AGENT[0].lower()},
             [("dialog", TERMS, 0, 1, 0), ("box", message(193), WARNING, IDOK, 2)],
             AGREED + [flow_line(60, ERROR, 194)], RECORDED_AGENT_KEPT, OLD_AGENT),
        ]
        for name, record, windows, lines, status, agent in cases:
            with self.subTest(name):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox()
                sandbox.machine.write_record(**record)
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.check(result, windows, lines, status)
                self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), agent[0])
                if not WINDOWS and status == RECORDED_AGENT_KEPT:
                    self.assertEqual(sandbox.machine.installer_calls(), [])

    # --- the flow ends early ----------------------------------------------------------------------------

    def test_declining_the_confirmation_downloads_nothing(self):
        # The question shows the values whole, also when together they are longer than any fixed buffer.
        for values in (("Torva", "C-1", "X9"), ("社" * 259, "C" * 259, "X" * 259)):
            with self.subTest(length=len(values[0])):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox(auth=values)
                result = sandbox.run([("dialog", "agree"), ("box", "no")])
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", confirmation(*values), MB_YESNO, IDNO, 2)],
                           AGREED + [flow_line(129, ERROR, 129)], CONFIRMATION_DECLINED)
                self.assertIsNone(self.downloaded(sandbox))
                self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"), OLD_AGENT[1])

    def test_auth_ini_in_every_encoding_administrators_save_shows_the_same_values(self):
        # UTF-8 without a mark is what Notepad saves by default; Windows' own reader would take it for the
        # ANSI code page and show the user garbage.
        values = ("認証先企業 株式会社トルバ", "C-0001", "X9-77")
        for encoding in ("utf-8", "utf-8-sig", "cp932"):
            with self.subTest(encoding=encoding):
                sandbox = self.sandbox(auth=values, auth_encoding=encoding)
                result = sandbox.run([("dialog", "agree"), ("box", "no")])
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", confirmation(*values), MB_YESNO, IDNO, 2)],
                           AGREED + [flow_line(129, ERROR, 129)], CONFIRMATION_DECLINED)

    def test_a_faulty_auth_ini_stops_before_any_network_access(self):
        sandbox = self.sandbox(auth=None)
        sandbox.write("Auth.ini", "[CERT]\r\nCompanyName=Torva\r\nCompanyCode=C-1\r\n")  # no CertCode
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(109), WARNING, IDOK, 2)],
                   AGREED + [flow_line(119, ERROR, 124)], SETTINGS_FAULTY)

    def test_without_an_agent_a_faulty_auth_ini_is_never_looked_at(self):
        sandbox = self.sandbox(agent=False)
        sandbox.write("Auth.ini", "not an ini file")
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(106), WARNING, IDOK, 2)],
                   AGREED + [flow_line(105, ERROR, 122)], NO_AGENT)

    def test_an_agent_key_only_in_the_registry_view_the_tool_does_not_read_is_no_agent(self):
        # The 32-bit tool on 64-bit Windows reads the 32-bit view, where the 32-bit agent's package writes
        # its key; the same values in the 64-bit view belong to no agent it migrates.
        if not WINDOWS:
            self.skipTest("registry views exist on Windows only")
        sandbox = self.sandbox()
        machine = sandbox.machine
        self.assertEqual(machine.agent_values().get("ProductVersion"), OLD_AGENT[1])
        self.assertEqual(machine.agent_values(view=machine.other_registry_view()), {},
                         "the package wrote its key in the other view too")
        machine.move_agent_key_to_other_view()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(106), WARNING, IDOK, 2)],
                   AGREED + [flow_line(105, ERROR, 122)], NO_AGENT)
        self.assertEqual(machine.agent_values(view=machine.other_registry_view()).get("ProductCode"), OLD_AGENT[0])

    def test_a_configuration_script_without_the_package_path(self):
        SERVER.publish(DistributionServer.CONFIG, "var AGENT_MSI_URL = \"/dist/a.msi\";\n")  # not apostrophes
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(115), WARNING, IDOK, 3)],
                   AGREED + [helper_line("getDownloadUrl", 471, ERROR, message(120)), flow_line(139, ERROR, 125)],
                   URL_NOT_FOUND)

    def test_a_configuration_script_the_server_does_not_have(self):
        SERVER.fault(DistributionServer.CONFIG, "status=404")
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(115), WARNING, IDOK, 3)],
                   AGREED + [helper_line("getDownloadUrl", 455, ERROR, "ResponseCode =404"),
                             flow_line(139, ERROR, 125)], URL_NOT_FOUND)

    def test_a_package_that_cannot_be_downloaded_leaves_the_agent_alone(self):
        SERVER.publish(DistributionServer.CONFIG, "var AGENT_MSI_URL = '/dist/Windows/agent/missing.msi';\n")
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(102), WARNING, IDOK, 2)],
                   AGREED + [flow_line(148, ERROR, 103)], DOWNLOAD_FAILED)
        self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"), OLD_AGENT[1])

    def normalise_retries(self, result, longest=3):
        """Each retry line with its pause as S (at most `longest` seconds), and a cut transfer as CUT, however
        each platform words it."""
        cut = r"curl Error\(18\) .*|Body Cut\(50000/\d+\)|WinHttp\w+ Error\(\d+\)"
        for entry in result.log:
            retry = re.fullmatch(r"(.*) Retry\((\d+)\)", entry.message)
            if entry.line in (451, 495) and retry:
                self.assertLessEqual(int(retry.group(2)), longest)
                entry.message = ("CUT" if re.fullmatch(cut, retry.group(1)) else retry.group(1)) + " Retry(S)"

    def test_a_server_failure_that_passes_is_tried_again(self):
        # Nothing has changed on the PC yet, so the tool tries again: after the server's Retry-After, if any,
        # and a random share of 2 s. A cut package goes on from the bytes it holds.
        cases = [
            ("the package cut short once, then resumed", "/dist/Windows/agent/QuillonAgent.msi",
             "truncate=50000,times=1",
             [helper_line("downloadFile", 495, INFO, "CUT Retry(S)"),
              helper_line("downloadFile", 497, INFO, f"Resume(50000/{len(self.package)})")],
             [CONNECTING, DOWNLOADING, RETRYING, CONNECTING, DOWNLOADING]),
            ("the configuration script shed once with 503 and a Retry-After", DistributionServer.CONFIG,
             "status=503,retry-after=1,times=1", [helper_line("getDownloadUrl", 451, INFO, "ResponseCode =503 Retry(S)")],
             [CONNECTING, RETRYING, CONNECTING, DOWNLOADING]),
        ]
        for name, path, modes, lines, steps in cases:
            with self.subTest(name):
                SERVER.clear()
                SERVER.publish_agent(self.package)
                SERVER.fault(path, modes)
                sandbox = self.sandbox()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.normalise_retries(result)
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 5 + len(lines))],
                           AGREED + lines + [uninstalled(), installed(), replacement(405, INFO, message(108))],
                           REPLACED)
                self.check_installed(sandbox)
                self.assertEqual(self.downloaded(sandbox), self.package)
                # The window tells of each pause before a retry, and goes back to the server afterwards.
                self.assertEqual(result.progress_steps(), steps + [UNINSTALLING, PAUSING, INSTALLING])

    def test_a_range_of_a_changed_package_is_never_spliced_onto_the_first(self):
        # A cache or proxy that ignores If-Range answers the resumed request with the asked-for range of the
        # package as it is now, republished at the same size. Only its ETag tells: the tool starts the package
        # over, and the PC gets the new package whole, not the head of one version and the tail of the other.
        with open(BUILD.package("old-agent.msi"), "rb") as package:
            first = package.read()
        self.assertEqual(len(first), len(self.package), "two packages of the same size")
        republished = "/dist/Windows/agent/republished/QuillonAgent.msi"
        SERVER.publish_agent(first)
        SERVER.publish(republished, self.package)
        SERVER.fault(PACKAGE_URL_PATH, f"truncate=50000,times=1;serve={republished},ignore-if-range")
        before = len(SERVER.requests())  # the log holds the earlier cases' requests too
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.normalise_retries(result, longest=4)  # the second pause: a random share of 4 s
        other_file = f"ResponseCode =206 Content-Range(bytes 50000-{len(first) - 1}/{len(first)}) Retry(S)"
        lines = [helper_line("downloadFile", 495, INFO, "CUT Retry(S)"),
                 helper_line("downloadFile", 495, INFO, other_file)]
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 5 + len(lines))],
                   AGREED + lines + [uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED)
        self.check_installed(sandbox)
        self.assertEqual(self.downloaded(sandbox), self.package)
        ranges = [r["headers"].get("Range") for r in SERVER.requests()[before:] if r["path"] == PACKAGE_URL_PATH]
        self.assertEqual(ranges, [None, "bytes=50000-", None], "the whole, the rest under If-Range, the whole again")
        self.assertEqual(result.progress_steps(), [CONNECTING, DOWNLOADING, RETRYING, CONNECTING, RETRYING, CONNECTING,
                                                   DOWNLOADING, UNINSTALLING, PAUSING, INSTALLING])

    def road(self, line, text):
        return helper_line("downloadFile", line, INFO, text)

    def test_the_package_takes_the_road_of_the_users_internet_settings(self):
        # A company's PCs often reach the internet only through the proxy that a script names. The test server
        # is that proxy too: the tunnels it made and the package requests that came through one are counted.
        if not WINDOWS:
            self.skipTest("the Linux build takes its proxy from the environment")
        road = self.road(484, f"Proxy(PAC: {SERVER.proxy})")
        failed = ([("dialog", TERMS, 0, 1, 0), ("box", message(102), WARNING, IDOK, 4)], DOWNLOAD_FAILED)
        cases = [
            ("a script naming the proxy", None, ([("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 6)],
             [road, uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED), 1),
            # Windows answers Negotiate with the user's sign-in (line 488) and reports a refusal as line 489;
            # Wine, which has no Windows sign-in to give, reports the refused tunnel as a TLS error.
            ("the proxy asks for Windows sign-in that cannot be given", "status=407,proxy-auth=Negotiate",
             (failed[0], [road, self.road(487, f"Proxy Failed({SERVER.proxy} WinHttpSendRequest Error(12157))"),
                          flow_line(148, ERROR, 103)], failed[1]), 0),
        ]
        self.addCleanup(set_internet_settings(4, script=SERVER.http_url + "/proxy/road.pac"))
        for name, fault, (windows, lines, status), proxied in cases:
            with self.subTest(name):
                SERVER.clear()
                SERVER.publish_agent(self.package)
                SERVER.publish("/proxy/road.pac", 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n'
                               % SERVER.proxy)
                if fault:
                    SERVER.fault(SERVER.tunnel_target, fault)
                before = len(SERVER.requests())
                sandbox = self.sandbox()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.check(result, windows, AGREED + lines, status)
                requests = SERVER.requests()[before:]
                self.assertGreaterEqual(len([r for r in requests if r["method"] == "CONNECT"]), 1, requests)
                self.assertEqual(len([r for r in requests if r["proxied"] and r["path"].endswith(".msi")]), proxied)
                if status == REPLACED:
                    self.assertEqual(self.downloaded(sandbox), self.package)
                else:
                    self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"), OLD_AGENT[1])

    # --- the replacement sequence's other lines --------------------------------------------------------

    def test_a_failed_uninstall_logs_first_then_shows_box_112(self):
        for version_readable in (True, False):
            with self.subTest(version_readable=version_readable):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox()
                if not version_readable:
                    sandbox.machine.set_value("ProductVersion", "x")
                sandbox.machine.make_uninstall_fail()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                lines = ([replacement(345, ERROR, versioned(112, OLD_AGENT[1]))] if version_readable else
                         [replacement(334, ERROR, message(113)), replacement(349, ERROR, message(123))])
                # The line after it names the installer's own log of the failed run.
                # Wine's installer leaves the log of an unknown product's uninstall empty.
                logs = self.installer_logs(sandbox, ["uninstall"], empty=["uninstall"] if WINDOWS else [])
                lines = self.resolve_installer_logs(lines + [installer_log_line(351, "uninstall")], logs)
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(112), WARNING, IDOK, 2 + len(lines))],
                           AGREED + lines, UNINSTALL_FAILED)
                self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"),
                                 OLD_AGENT[1] if version_readable else "x")
                # No pause after a failed uninstall: the progress never shows it (whatever the machine's speed).
                self.assertEqual(result.progress_steps()[-1], UNINSTALLING, "no pause after a failed uninstall")

    def test_a_package_the_install_could_not_apply_is_a_failed_download(self):
        # The old agent stays: nothing is uninstalled for a package that is not one, is cut short or lacks
        # the transform the install command asks for. The file is left as it came.
        with open(BUILD.package("new-agent-without-transform.msi"), "rb") as data:
            without_transform = data.read()
        cases = [
            ("a proxy's HTML page", b"<html><body>Please sign in to the proxy</body></html>\r\n",
             package_check(512, "Package Open Error(1620)")),
            ("cut short, served with a matching length", self.package[:-8192],
             package_check(512, "Package Open Error(1620)")),
            # Where the installer's own database code, given the file, would hang or crash the tool.
            ("cut within its map", self.package[:3000], package_check(512, "Package Open Error(1620)")),
            ("without the transform 1041", without_transform, package_check(528, "Transform 1041 Missing")),
        ]
        for name, body, line in cases:
            with self.subTest(name):
                SERVER.publish_agent(body)
                sandbox = self.sandbox()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(102), WARNING, IDOK, 3)],
                           AGREED + [line, flow_line(148, ERROR, 103)], DOWNLOAD_FAILED)
                self.assertEqual(self.downloaded(sandbox), body)
                values = sandbox.machine.agent_values()
                self.assertEqual((values.get("ProductCode"), values.get("ProductVersion")), OLD_AGENT,
                                 "the old agent is still installed")
                if not WINDOWS:
                    self.assertEqual(sandbox.machine.installer_calls(), [])

    def test_a_failed_install_shows_box_116_before_its_line(self):
        # A valid package whose launch condition never holds: the one way left to a PC without an agent.
        with open(BUILD.package("new-agent-uninstallable.msi"), "rb") as data:
            SERVER.publish_agent(data.read())
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "agree"), ("installer", "ok"), ("box", "ok")])
        logs = self.installer_logs(sandbox, ["uninstall", "install"])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(116), WARNING, IDOK, 3)],
                   AGREED + [uninstalled(), replacement(376, ERROR, message(126)),
                             replacement(378, INFO, f"Installer Log({logs['install']})"), KEPT_FOR_NEXT_START],
                   INSTALL_FAILED)
        self.assertNotIn("ProductVersion", sandbox.machine.agent_values(), "the PC is left without an agent")
        # The administrators' guide sends them to the failure's "Return value 3" in the named log (the
        # Windows Installer's convention, which the stand-in keeps; Wine's installer marks no failed action
        # and writes its own words, so there the log must be the failed package's).
        text = self.installer_log_text(sandbox, logs["install"])
        self.assertIn("ProductVersion = 6.0.0" if WINDOWS else "Return value 3", text)

    def test_a_run_that_asks_for_a_restart_counts_as_done(self):
        # Exit code 3010 from the uninstall or the install: the sequence goes on as after 0, and only the
        # exit status says that the PC needs its restart.
        for run in ("uninstall", "install"):
            with self.subTest(run):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox()
                sandbox.machine.require_restart(sandbox, run)
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 5)],
                           AGREED + [uninstalled(), installed(), replacement(405, INFO, message(108))],
                           RESTART_REQUIRED)
                self.check_installed(sandbox)

    def test_unreadable_versions_give_plain_lines(self):
        cases = [
            ("new version unreadable", "new-agent-unversioned.msi", None,
             [uninstalled(), replacement(385, ERROR, message(113)), replacement(396, INFO, message(107))]),
            ("old version unreadable", "new-agent.msi", "a.b.c",
             [replacement(334, ERROR, message(113)), replacement(367, INFO, message(114)), installed()]),
        ]
        for name, package, old_version, lines in cases:
            with self.subTest(name):
                with open(BUILD.package(package), "rb") as data:
                    SERVER.publish_agent(data.read())
                sandbox = self.sandbox()
                if old_version:
                    sandbox.machine.set_value("ProductVersion", old_version)
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 3 + len(lines))],
                           AGREED + lines + [replacement(405, INFO, message(108))], REPLACED)


    # --- the progress, and its Cancel until the uninstall ------------------------------------------------

    def test_cancel_stops_the_run_until_the_uninstall_and_nothing_after(self):
        # The package comes slowly, as over a branch office's line. "cancel" is the Cancel button (on Linux,
        # Ctrl+C), "esc" its key, "close" the window's close button; from the uninstall on none of them works.
        # Windows also runs at 150 % scaling, where the window must grow with its text. A server that sheds
        # load keeps the lookup trying again: a cancel then, in a pause or a try, is no failure of the lookup.
        slow = (PACKAGE_URL_PATH, f"throttle={8 if WINDOWS else 3}")
        shedding = (DistributionServer.CONFIG, "status=503,retry-after=2")
        cases = [
            ("Cancel during the download", True, 100, slow, DOWNLOADING, "cancel", CANCELLED, "progress-window"),
            ("Cancel at 150 %", WINDOWS, 150, slow, DOWNLOADING, "cancel", CANCELLED, "progress-window-150"),
            ("Esc during the download", WINDOWS, 100, slow, DOWNLOADING, "esc", CANCELLED, None),
            ("Cancel while the lookup waits to try again", True, 100, shedding, RETRYING, "cancel", CANCELLED, None),
            ("the close button during the pause", True, 100, slow, PAUSING, "close", REPLACED, None),
        ]
        widths = {}
        for name, applies, scaling, fault, step, how, exit_code, picture in cases:
            if not applies:
                continue
            with self.subTest(name), (screen_scaling(scaling) if WINDOWS else contextlib.nullcontext()):
                SERVER.clear()
                SERVER.publish_agent(self.package)
                SERVER.fault(*fault)
                sandbox = self.sandbox()
                running = sandbox.start([("dialog", "agree")] + ([("box", "ok")] if exit_code == REPLACED else []))
                running.answer(1)
                running.wait_for_progress(step)
                if WINDOWS and step == DOWNLOADING:
                    # The window shows the step and the bytes so far, and its bar moves on as they arrive. It
                    # sits in the lower right of the work area, not on top of other windows, owned by none, with
                    # its Cancel button focused and default.
                    first = running.look("progress", (screenshots(picture) or [None])[0] if picture else None)
                    time.sleep(1)
                    second = running.look("progress")
                    self.assertTrue(second["text"].startswith(DOWNLOADING + "\n"), second["text"])
                    bar = [[c["position"] for c in seen["controls"] if "position" in c][0] for seen in (first, second)]
                    self.assertLess(bar[0], bar[1])
                    frame, area = first["frame"], first["workArea"]
                    self.assertTrue(0 <= area[2] - frame[2] <= 40 and 0 <= area[3] - frame[3] <= 40, first)
                    self.assertEqual((first["topmost"], first["owned"], first["focus"], first["default"]),
                                     (False, False, IDCANCEL, message(141)))
                    widths[scaling] = frame[2] - frame[0]
                seen = running.cancel(how)
                if WINDOWS:
                    # Cancelled: the window is gone. From the uninstall on: it stays, its Cancel disabled.
                    self.assertEqual(seen["closed"], exit_code == CANCELLED, seen)
                    cancel_button = [c for c in seen["controls"] if c["id"] == IDCANCEL][0]
                    self.assertEqual(cancel_button["enabled"], exit_code == CANCELLED)

                def closing_box_alone(index):
                    if WINDOWS:
                        self.assertFalse(running.progress_shown(), "the progress is still up beside the closing box")
                result = running.finish(before_answer=closing_box_alone)
                if exit_code == CANCELLED:
                    # The lookup's retries (line 451) come before the one line of the cancel; no failure is logged.
                    retries = [entry for entry in result.log if entry.line == 451]
                    self.assertEqual(bool(retries), step == RETRYING)
                    result.log = [entry for entry in result.log if entry not in retries]
                    self.check(result, [("dialog", TERMS, 0, 1, 0)], AGREED + [flow_line(151, INFO, 130)], CANCELLED)
                    steps = result.progress_steps()
                    if step == RETRYING:
                        # Tries and pauses take turns until the cancel, in whichever of them it lands.
                        self.assertEqual(steps[:2], [CONNECTING, RETRYING])
                        self.assertEqual(steps[-1][0], "cancel")
                        self.assertLessEqual(set(steps[:-1]) | {steps[-1][1]}, {CONNECTING, RETRYING})
                    else:
                        self.assertEqual(steps, [CONNECTING, DOWNLOADING, ("cancel", DOWNLOADING)])
                    self.assertIsNone(self.downloaded(sandbox), "a partial package is left behind")
                    values = sandbox.machine.agent_values()
                    self.assertEqual((values.get("ProductCode"), values.get("ProductVersion")), OLD_AGENT)
                    if not WINDOWS:
                        self.assertEqual(sandbox.machine.installer_calls(), [])
                else:
                    self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 5)],
                               AGREED + [uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED)
                    self.assertEqual(result.progress_steps(),
                                     [CONNECTING, DOWNLOADING, UNINSTALLING, PAUSING, INSTALLING])
                    self.check_installed(sandbox)
        if len(widths) == 2:
            self.assertGreater(widths[150], widths[100] * 1.25, "the window does not follow the screen's scaling")

    def requested(self, path, after=None):
        """Whether the server has had a request for `path` since the run began (after one for `after`, if
        given)."""
        paths = [r["path"] for r in SERVER.requests()[self.requests_before:]]
        if after is not None:
            paths = paths[paths.index(after) + 1:] if after in paths else []
        return any(p.endswith(path) for p in paths)

    def proxy_script(self, proxies):
        """The user's settings name a script that sends the package (only) through `proxies`; returns what
        puts the settings back."""
        SERVER.publish("/proxy/road.pac", 'function FindProxyForURL(url, host) {\n'
                       '  return url.indexOf(".msi") >= 0 ? "%s" : "DIRECT";\n}\n'
                       % "; ".join("PROXY " + proxy for proxy in proxies))
        return set_internet_settings(4, script=SERVER.http_url + "/proxy/road.pac")

    def silent_script(self):
        restore = self.proxy_script([])
        SERVER.fault("/proxy/road.pac", "stall")
        return restore

    def test_a_silent_network_leaves_the_window_answering_and_cancel_ends_the_run(self):
        # Wherever the network goes silent before the uninstall, the window keeps answering and a Cancel ends
        # the run within seconds: exit status 12, the one line of the cancel (after those that came before the
        # silence), nothing of the package left, the old agent installed.
        silent = SilentListener()
        self.addCleanup(silent.__exit__)
        road = self.road(484, f"Proxy(PAC: {silent.address})")
        cases = [
            # what is silent, where it applies, how it is set up, when it has begun, the lines before it
            ("the road's choice: the script's server", WINDOWS, self.silent_script,
             lambda: self.requested("/proxy/road.pac", after=DistributionServer.CONFIG), []),
            ("the connection: the proxy", WINDOWS, lambda: self.proxy_script([silent.address]),
             lambda: silent.accepted, [road]),
            ("the answer: the server", True, lambda: SERVER.fault(PACKAGE_URL_PATH, "stall"),
             lambda: self.requested(PACKAGE_URL_PATH), []),
            ("the transfer: the headers, then nothing", True, lambda: SERVER.fault(PACKAGE_URL_PATH, "stall-after=0"),
             lambda: self.requested(PACKAGE_URL_PATH), []),
            ("a retry's pause", True, lambda: SERVER.fault(PACKAGE_URL_PATH, "status=503,retry-after=30"),
             lambda: any(r["kind"] == "progress" and r["text"] == RETRYING for r in running._records()),
             [helper_line("downloadFile", 495, INFO, "ResponseCode =503 Retry(S)")]),
        ]
        for name, applies, set_up, begun, lines in cases:
            if not applies:
                continue
            with self.subTest(name), contextlib.ExitStack() as cleanups:
                SERVER.clear()
                SERVER.publish_agent(self.package)
                restore = set_up()
                if callable(restore):  # the case's own settings go back before the next case
                    cleanups.callback(restore)
                sandbox = self.sandbox()
                self.requests_before = len(SERVER.requests())
                running = sandbox.start([("dialog", "agree")])
                running.answer(1)
                wait_until(begun, name)
                if WINDOWS:
                    # Messages sent every 50 ms while the network says nothing: each answered at once (a window
                    # whose thread waited for the network answered none of them for 30 s).
                    self.assertLess(running.longest_answer(1.5), 1500)
                cancelled_at = time.time()
                running.cancel()
                result = running.finish()
                self.assertLess(time.time() - cancelled_at, 20, "the run went on after the Cancel")
                for entry in result.log:
                    entry.message = re.sub(r"Retry\(\d+\)$", "Retry(S)", entry.message)
                self.check(result, [("dialog", TERMS, 0, 1, 0)], AGREED + lines + [flow_line(151, INFO, 130)],
                           CANCELLED)
                self.assertIsNone(self.downloaded(sandbox), "a partial package is left behind")
                values = sandbox.machine.agent_values()
                self.assertEqual((values.get("ProductCode"), values.get("ProductVersion")), OLD_AGENT)

    def test_silent_proxies_end_the_download_within_its_bound(self):
        # A script naming three proxies that take the connection and say nothing. No proxy is tried past the
        # download's bound (5 s here), and the try under way ends one call's time-out (30 s) after it at the
        # latest: each proxy in turn would take 30 s. (Wine hands the tool only the script's first proxy.)
        if not WINDOWS:
            self.skipTest("the Linux build takes its proxy from the environment")
        with SilentListener() as a, SilentListener() as b, SilentListener() as c:
            SERVER.publish_agent(self.package)
            self.addCleanup(self.proxy_script([a.address, b.address, c.address]))
            sandbox = self.sandbox()
            sandbox.environment["QUILLON_TEST_RETRY_SECONDS"] = "5"
            started = time.time()
            result = sandbox.run([("dialog", "agree"), ("box", "ok")], timeout=180)
            took = time.time() - started
        # The road, and how each proxy failed as the platform words it (Wine: a time-out of the tunnel's request
        # is WSAETIMEDOUT, a failure that is not tried again), then the download's failure.
        self.assertEqual(result.exit_code, DOWNLOAD_FAILED, result.log)
        self.assertEqual([(w.kind, w.text) for w in result.windows], [("dialog", TERMS), ("box", message(102))])
        self.assertEqual([entry.key() for entry in result.log if entry.line not in (484, 486, 487, 495)],
                         AGREED + [flow_line(148, ERROR, 103)])
        self.assertTrue(result.log[2].message.startswith(f"Proxy(PAC: {a.address}"), result.log)
        self.assertLess(took, 5 + 30 + 25, "the download outlived its bound")
        self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"), OLD_AGENT[1])

    # --- nothing planted where users can write runs with the tool's rights ------------------------------

    def plant_dlls(self, sandbox):
        """The DLLs beside the tool and in the folder it starts from, Wine told to prefer them to its own."""
        for folder in (sandbox.tool_dir, sandbox.start_dir):
            for name in PLANTED_DLLS:
                shutil.copy(os.environ["QUILLON_E2E_PLANTED_DLL"], os.path.join(folder, name + ".dll"))
        sandbox.environment["WINEDLLOVERRIDES"] = "mscoree,mshtml=;" + ",".join(PLANTED_DLLS) + "=n,b"
        return {}

    def plant_dlls_with_proxy_script(self, sandbox):
        """The same, with a configuration script in the user's settings: WinHTTP then loads the script's
        engine too."""
        self.plant_dlls(sandbox)
        SERVER.publish("/proxy/road.pac", 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n' % SERVER.proxy)
        self.addCleanup(set_internet_settings(4, script=SERVER.http_url + "/proxy/road.pac"))
        return {"road": [helper_line("downloadFile", 484, INFO, f"Proxy(PAC: {SERVER.proxy})")]}

    def plant_installer(self, sandbox, folder):
        """An msiexec.exe that leaves a marker and exits 0, as a successful installer would."""
        planted = os.path.join(folder, "msiexec.exe")
        if WINDOWS:
            shutil.copy(os.environ["QUILLON_E2E_PLANTED_EXE"], planted)
        else:
            with open(planted, "w") as script:
                script.write('#!/bin/sh\ntouch "$0.ran"\n')
            os.chmod(planted, 0o755)
        return {}

    def race_for_package(self, sandbox):
        """A program of the same user that keeps trying to overwrite, replace, rename and delete the package
        from the moment it exists until the closing box shows."""
        target = os.path.join(sandbox.temp_dir, "NewQuillonAgent.msi")
        stop, report = os.path.join(sandbox.root, "stop"), os.path.join(sandbox.root, "race.json")
        racer = subprocess.Popen([os.environ["WINELOADER"], os.environ["QUILLON_E2E_RACER"], windows_path(target),
                                  windows_path(BUILD.package("new-agent-unversioned.msi")), windows_path(stop),
                                  windows_path(report)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(racer.kill)

        def stop_racing(index):
            if index == 1:
                open(stop, "w").close()
                racer.wait(timeout=60)

        def saw(result):
            with open(report) as data:
                attempts = json.load(data)
            if result.exit_code == DOWNLOAD_FAILED:
                # It opened the file for writing in the instant between the download's writing and its
                # read-only hold: the tool noticed, and the old agent stays.
                self.assertGreater(attempts["overwrite"]["succeeded"], 0, attempts)
                return
            for name, tried in attempts.items():
                self.assertGreater(tried["tries"], 0, name)
                self.assertEqual(tried["succeeded"], 0, f"{name} succeeded: {attempts}")
        # The one other safe end: a failed download, the old agent untouched.
        failed = ([("dialog", TERMS, 0, 1, 0), ("box", message(102), WARNING, IDOK, 2)],
                  AGREED + [flow_line(148, ERROR, 103)])
        return {"before_answer": stop_racing, "after": saw, "or_failed": failed}

    def link_log(self, sandbox, link):
        """The run log's name linked to another file of the user's, which must stay as it is."""
        linked = os.path.join(sandbox.root, "linked.log")
        with open(linked, "wb") as other:
            other.write(b"\xff\xfe" + "2020/01/01 00:00:00 INFO FILE:x FUNCTION:y LINE:1 kept\r\n".encode("utf-16-le"))
        with open(linked, "rb") as other:
            before = other.read()
        link(linked, sandbox.log_path)

        def untouched(result):
            with open(linked, "rb") as other:
                self.assertEqual(other.read(), before)
            self.assertFalse(os.path.islink(sandbox.log_path))
            self.assertEqual(os.stat(sandbox.log_path).st_nlink, 1)
        return {"log_before": 1, "after": untouched}

    def test_nothing_planted_where_users_can_write_runs(self):
        # The tool runs elevated from folders its users can write. Each run must end as an untouched run
        # does, with the genuine package installed, and nothing planted may have run.
        cases = [
            ("DLLs beside the tool and in the folder it starts from", WINDOWS, self.plant_dlls),
            ("msiexec.exe beside the tool", True, lambda sandbox: self.plant_installer(sandbox, sandbox.tool_dir)),
            ("msiexec.exe in the folder it starts from", True,
             lambda sandbox: self.plant_installer(sandbox, sandbox.start_dir)),
            ("a program racing the tool for its package", WINDOWS, self.race_for_package),
            ("a run log that is a hard link to another file", True, lambda sandbox: self.link_log(sandbox, os.link)),
            # Wine 8 has no symbolic links or junctions of its own.
            ("a run log that is a symbolic link", not WINDOWS, lambda sandbox: self.link_log(sandbox, os.symlink)),
            # Last: the user's settings stay until the test's end.
            ("DLLs beside the tool with a proxy script in the user's settings", WINDOWS,
             self.plant_dlls_with_proxy_script),
        ]
        for name, applies, plant in cases:
            if not applies:
                continue
            with self.subTest(name):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox()
                scenario = plant(sandbox)
                before = scenario.get("log_before", 0)
                result = sandbox.run([("dialog", "agree"), ("box", "ok")], before_answer=scenario.get("before_answer"))
                if "or_failed" in scenario and result.exit_code == DOWNLOAD_FAILED:
                    self.check(result, *scenario["or_failed"], DOWNLOAD_FAILED)
                    self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), OLD_AGENT[0])
                    scenario["after"](result)
                    continue
                road = scenario.get("road", [])
                self.check(result, [("dialog", TERMS, 0, 1, before), ("box", message(108), MB_OK, IDOK, 5 + len(road))],
                           AGREED + road + [uninstalled(), installed(), replacement(405, INFO, message(108))], REPLACED)
                self.check_installed(sandbox)
                self.assertEqual(self.downloaded(sandbox), self.package)
                ran = [entry for folder in (sandbox.tool_dir, sandbox.start_dir) for entry in os.listdir(folder)
                       if entry.endswith(".ran")]
                self.assertEqual(ran, [], "planted programs ran")
                if "after" in scenario:
                    scenario["after"](result)

    def test_a_link_in_place_of_the_installer_log_folder_is_never_followed(self):
        # The installer runs with the tool's rights and would write its log through the link. The folder is
        # refused, and the runs go on without their own logs: the migration matters more than they do.
        if WINDOWS:
            self.skipTest("Wine 8 has no symbolic links or junctions of its own")
        SERVER.publish_agent(self.package)
        sandbox = self.sandbox()
        elsewhere = os.path.join(sandbox.root, "elsewhere")
        os.makedirs(elsewhere)
        folder = sandbox.machine.installer_log_folder()[1]
        os.makedirs(os.path.dirname(folder))
        os.symlink(elsewhere, folder)
        result = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.check(result, [("dialog", TERMS, 0, 1, 0), ("box", message(108), MB_OK, IDOK, 6)],
                   AGREED + [replacement(338, INFO, f"Installer Log Folder Refused({folder})"), uninstalled(),
                             installed(), replacement(405, INFO, message(108))], REPLACED)
        self.assertEqual(os.listdir(elsewhere), [])
        self.assertEqual([call[-2:] for call in sandbox.machine.installer_calls()],
                         [[OLD_AGENT[0], "-qb!"], ["TRANSFORMS=:1041", "LANG=ja-JP"]], "no log option")

    # --- another installation in progress ---------------------------------------------------------------

    def installation_in_progress(self, sandbox, seconds):
        """Another installation holds the Windows Installer's mutex from now until `seconds` after the package
        is downloaded, so the uninstall meets it. Linux: the stand-in's marker file for that mutex."""
        package = os.path.join(sandbox.temp_dir, "NewQuillonAgent.msi")
        if WINDOWS:
            holder = subprocess.Popen([os.environ["WINELOADER"], os.environ["QUILLON_E2E_HOLD_MUTEX"],
                                       "Global\\_MSIExecute", windows_path(package), str(seconds)])
            self.addCleanup(holder.kill)
            return
        marker = os.path.join(sandbox.lock_dir, "Global-_MSIExecute.lock")
        open(marker, "w").close()

        def end():
            while not os.path.exists(package):
                time.sleep(0.05)
            time.sleep(seconds)
            os.remove(marker)
        threading.Thread(target=end, daemon=True).start()

    def test_another_installation_in_progress_is_waited_for(self):
        # The bound is shortened for the tests (8 s for each installer run; 2 s between install runs).
        wait = helper_line("ExecUninstallMsiByProductCodeSync", 181, INFO, "Installer Busy(1618) Wait(N)")
        retry = helper_line("ExecMsiSync", 147, INFO, "Installer Busy(1618) Retry(2)")
        done = [replacement(405, INFO, message(108))]
        cases = [
            ("busy for a few seconds before the uninstall", True, lambda sandbox: self.installation_in_progress(sandbox, 3),
             ("box", message(108), MB_OK, IDOK), [wait, uninstalled(), installed()] + done, REPLACED, 2),
            ("an install that meets 1618 twice", not WINDOWS, {"QUILLON_MSIEXEC_BUSY_INSTALLS": "2"},
             ("box", message(108), MB_OK, IDOK), [uninstalled(), retry, retry, installed()] + done, REPLACED, 4),
            # Runs at about 0, 2 and 4 s, and at 6 s when the runs are quick; none would end before 8 s after it.
            ("an install that meets 1618 past the bound", not WINDOWS, {"QUILLON_MSIEXEC_BUSY_INSTALLS": "99"},
             ("box", message(116), WARNING, IDOK), [uninstalled(), retry, retry], INSTALL_FAILED, None),
            ("an uninstall that meets 1618", not WINDOWS, {"QUILLON_MSIEXEC_FAIL": "uninstall=1618"},
             ("box", message(112), WARNING, IDOK),
             [replacement(345, ERROR, versioned(112, OLD_AGENT[1])), installer_log_line(351, "uninstall")],
             UNINSTALL_FAILED, 1),
        ]
        for name, applies, setting, box, lines, exit_code, installer_runs in cases:
            if not applies:
                continue
            with self.subTest(name):
                SERVER.publish_agent(self.package)
                sandbox = self.sandbox()
                sandbox.environment["QUILLON_TEST_INSTALLER_BUSY_SECONDS"] = "8"
                if callable(setting):
                    setting(sandbox)
                else:
                    sandbox.environment.update(setting)
                started = time.time()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                # The seconds waited vary; at least a second was.
                for entry in result.log:
                    match = re.fullmatch(r"Installer Busy\(1618\) Wait\((\d+)\)", entry.message)
                    if match:
                        self.assertGreaterEqual(int(match.group(1)), 1)
                        entry.message = "Installer Busy(1618) Wait(N)"
                if installer_runs is None:
                    retries = sum(1 for entry in result.log if entry.key() == retry)
                    self.assertIn(retries, (2, 3))
                    lines, installer_runs = [uninstalled()] + [retry] * retries, 2 + retries
                # One installer log per run, a step's reruns numbered; a failure names the last run's.
                steps = ["uninstall"] + [f"install{run}" if run > 1 else "install" for run in range(1, installer_runs)]
                logs = self.installer_logs(sandbox, steps)
                box_after = len(AGREED) + len(lines)
                after_box = ([replacement(376, ERROR, message(126)), installer_log_line(378, steps[-1]),
                              KEPT_FOR_NEXT_START] if exit_code == INSTALL_FAILED else [])
                self.check(result, [("dialog", TERMS, 0, 1, 0), box + (box_after,)],
                           self.resolve_installer_logs(AGREED + lines + after_box, logs), exit_code)
                # Two bounds of 8 s and the runs themselves, far below the product's 10 minutes even on a busy
                # machine.
                self.assertLess(time.time() - started, 180, "the waits keep to their bound")
                if not WINDOWS:
                    self.assertEqual(len(sandbox.machine.installer_calls()), installer_runs)


if __name__ == "__main__":
    main()
