#!/usr/bin/env python3
"""Runs that a software distribution starts, on the build named by QUILLON_E2E_BUILD (harness.py): the tool's
command line, a window station that no user sees, and migrations with no one to answer. Each case checks the
windows (none where none may be shown: the UI transcript, and under Wine the UI driver watching the screen for
as long as the tool runs), the whole run log, the exit status, and that a run ended by its command line changed
nothing. A suite of its own beside migration_test.py, whose checks it uses."""
import os
import unittest

from harness import IDC_PROGRESS_BAR, IDOK, IDYES, MB_OK, MB_YESNO, OLD_AGENT, flow_line, flow_text, helper_line, main, message
import migration_test  # not its test class by name: unittest would run every migration test here too
from migration_test import (CONNECTING, DOWNLOADING, ERROR, INFO, INSTALLING, MB_ICONINFORMATION, PAUSING, REPLACED,
                            SERVER, UNINSTALLING, URL_NOT_FOUND, WARNING, WINDOWS, confirmation, installed, replacement,
                            uninstalled)

# Exit statuses (docs/ADMINISTRATORS.md, "Exit statuses").
TERMS_UNREADABLE, TERMS_NOT_ACCEPTED, USAGE_SHOWN, COMMAND_LINE_REFUSED, NO_VISIBLE_DESKTOP = 3, 13, 14, 15, 16
# The window station of the services' session, where software distributions run programs as SYSTEM.
SERVICES_STATION = "Service-0x0-3e7$"


class UnattendedTest(unittest.TestCase):
    # The sandbox with its old agent, the checks of a run's windows, log and exit status, of the agent
    # installed and of the package downloaded: those of the migration tests.
    setUp = migration_test.MigrationTest.setUp
    sandbox = migration_test.MigrationTest.sandbox
    check = migration_test.MigrationTest.check
    check_record = migration_test.MigrationTest.check_record
    check_installed = migration_test.MigrationTest.check_installed
    downloaded = migration_test.MigrationTest.downloaded

    def command_line(self, arguments):
        return flow_text(20, INFO, "Command Line(" + " ".join(arguments) + ")")

    def test_a_command_line_that_ends_the_run_changes_nothing(self):
        def refused(detail):
            return [("box", message(183).replace("%s", detail), WARNING, IDOK, 1)], \
                [flow_text(22, ERROR, message(184).replace("%s", detail))]

        def silently_refused(detail):
            return [], refused(detail)[1]

        def not_accepted(switch):
            return [], [flow_text(28, ERROR, message(182).replace("%s", switch))]
        nothing_seen = [flow_line(26, ERROR, 187)]
        terms_missing = [flow_line(90, ERROR, 127)]
        # name, arguments, window station (None: the user's), License.txt, (windows, log lines after the command
        # line's), exit status
        cases = [
            ("/quiet alone", ["/quiet"], None, True, not_accepted("/quiet"), TERMS_NOT_ACCEPTED),
            ("/passive alone", ["-Passive"], None, True, not_accepted("-Passive"), TERMS_NOT_ACCEPTED),
            ("an unknown switch", ["/silent"], None, True, refused("Unknown(/silent)"), COMMAND_LINE_REFUSED),
            ("an unknown switch beside /quiet", ["/quiet", "/AcceptTerms", "/norestart"], None, True,
             silently_refused("Unknown(/norestart)"), COMMAND_LINE_REFUSED),
            ("a switch given twice", ["/passive", "/AcceptTerms", "/PASSIVE"], None, True,
             silently_refused("Repeated(/PASSIVE)"), COMMAND_LINE_REFUSED),
            ("both modes", ["/quiet", "/passive"], None, True, silently_refused("Conflict(/quiet /passive)"),
             COMMAND_LINE_REFUSED),
            ("no user sees the window station", [], SERVICES_STATION, True, ([], nothing_seen), NO_VISIBLE_DESKTOP),
            ("/passive where no user sees it", ["/passive", "/AcceptTerms"], SERVICES_STATION, True,
             ([], nothing_seen), NO_VISIBLE_DESKTOP),
            ("/AcceptTerms without the terms", ["/AcceptTerms"], None, False,
             ([("box", message(119), WARNING, IDOK, 1)], terms_missing), TERMS_UNREADABLE),
            ("/quiet /AcceptTerms without the terms", ["/quiet", "/AcceptTerms"], None, False, ([], terms_missing),
             TERMS_UNREADABLE),
            # The server names no package: the run ends as it always did, without its box.
            ("/quiet /AcceptTerms, nothing on the server", ["/quiet", "/AcceptTerms"], SERVICES_STATION, True,
             ([], [flow_line(76, INFO, 185), flow_line(99, INFO, 110),
                   helper_line("getDownloadUrl", 455, ERROR, "ResponseCode =404"), flow_line(139, ERROR, 125)]),
             URL_NOT_FOUND),
        ]
        for name, arguments, station, terms, (windows, lines), exit_code in cases:
            with self.subTest(name):
                sandbox = self.sandbox()
                if not terms:
                    os.remove(os.path.join(sandbox.tool_dir, "License.txt"))
                before = sandbox.machine.agent_values()
                result = sandbox.run([(kind, "ok") for kind, *_ in windows], arguments=arguments, station=station,
                                     watch=not windows)
                self.check(result, windows, ([self.command_line(arguments)] if arguments else []) + lines, exit_code)
                self.assertEqual(result.driver_seen, [], "no window of the tool's appeared")
                self.assertEqual(result.progress, [])
                # Nothing changed: the agent as it was, no installer run, nothing downloaded.
                self.assertEqual(sandbox.machine.agent_values(), before)
                self.assertEqual(sandbox.machine.installer_logs(), [])
                if not WINDOWS:
                    self.assertEqual(sandbox.machine.installer_calls(), [])
                self.assertIsNone(self.downloaded(sandbox))

    def test_the_usage_is_shown_and_nothing_else_done(self):
        usage = message(180)
        lines = [self.command_line(["/?"]), flow_line(24, INFO, 181)]
        # name, started as a double-click (Windows), the box, what it writes
        cases = [("from a script, its output read", False, [], usage + "\n")]
        if WINDOWS:
            # Redirected to a file, the lines go out as UTF-8 after a byte-order mark, each ended by CR LF; with no
            # console to lend and no output read (a double-click), the usage is in a box.
            cases = [("from a script, its output read", False, [], "\ufeff" + usage.replace("\n", "\r\n") + "\r\n"),
                     ("double-clicked", True, [("box", usage, MB_OK | MB_ICONINFORMATION, IDOK, 1)], "")]
        for name, detached, windows, output in cases:
            with self.subTest(name):
                sandbox = self.sandbox()
                result = sandbox.run([("box", "ok")] if windows else [], arguments=["/?"], detached=detached)
                self.check(result, windows, lines, USAGE_SHOWN)
                self.assertEqual(result.stdout, output)
                self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), OLD_AGENT[0])

    def test_unattended_runs_migrate_without_a_question(self):
        SERVER.publish_agent(self.package)
        values = ("株式会社トルバ", "C-0001", "X9-77")
        settings = message(186).replace("%s", values[0], 1).replace("%s", values[1], 1)
        steps = [CONNECTING, DOWNLOADING, UNINSTALLING, PAUSING, INSTALLING]
        accepted = [flow_line(76, INFO, 185), flow_line(99, INFO, 110)]
        quiet = accepted + [flow_text(120, INFO, settings), uninstalled(), installed(),
                            replacement(401, INFO, message(118))]
        # name, arguments, Auth.ini, window station, the windows (kind, text, flags, button, log lines before
        # it), log lines after the command line's, the progress's steps
        cases = [
            # On the user's desktop, where the UI driver would find any window the tool showed.
            ("/quiet /AcceptTerms", ["/quiet", "/AcceptTerms"], values, None, [], quiet, []),
            ("/quiet /AcceptTerms, as SYSTEM where no user sees", ["/Quiet", "/AcceptTerms"], values,
             SERVICES_STATION, [], quiet, []),
            ("/passive /AcceptTerms", ["-passive", "-acceptterms"], None, None, [],
             accepted + [uninstalled(), installed(), replacement(405, INFO, message(108))], steps),
            # The terms accepted for the organisation: every other window as without arguments.
            ("/AcceptTerms alone", ["/AcceptTerms"], values, None,
             [("box", confirmation(*values), MB_YESNO, IDYES, 3), ("box", message(108), MB_OK, IDOK, 6)],
             accepted + [uninstalled(), installed(), replacement(401, INFO, message(118))], steps),
        ]
        for name, arguments, auth, station, windows, lines, progress in cases:
            with self.subTest(name):
                sandbox = self.sandbox(auth=auth)
                answers = [("box", "yes" if flags == MB_YESNO else "ok") for _, _, flags, *_ in windows]
                result = sandbox.run(answers, arguments=arguments, station=station, watch=not windows)
                # No box, not even the closing one; the passive run shows its progress window and nothing else.
                self.check(result, windows, [self.command_line(arguments)] + lines, REPLACED)
                self.assertEqual(result.progress_steps(), progress)
                if WINDOWS and not windows:
                    seen = [[control["id"] for control in window["controls"]] for window in result.driver_seen]
                    self.assertEqual([IDC_PROGRESS_BAR in ids for ids in seen], [True] if progress else [])
                # The codes reached the installer; the certification code never reached the run log.
                self.check_installed(sandbox, company=auth and auth[1], cert=auth and auth[2])
                self.assertFalse(any("X9-77" in entry.message for entry in result.log))


if __name__ == "__main__":
    main()
