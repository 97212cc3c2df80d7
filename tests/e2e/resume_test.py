#!/usr/bin/env python3
"""A replacement cut short, and the next start that finishes it (Linux: the stand-ins, the data folder and
the finishing task's file under the sandbox; Windows: the exe under Wine with its real msiexec and Task
Scheduler, for the points the tool's own kill reaches). The tool's process is killed at each point from the
uninstall on, as a software distribution's time limit, a crash or a power cut ends it; then the PC "starts
again": the registered task's command, read back from where the task is kept, is run as the system would run
it. Each ends with the new agent installed once, no journal, no task, and the run logs telling the story; a
journal that cannot be trusted is never acted on."""
import os
import signal
import stat
import unittest

from harness import (AGENT_KEY, MB_ICONWARNING, MB_OK, NEW_AGENT, OLD_AGENT, UPGRADE_CODE, WINE_TASK_UNSUPPORTED, Build,
                     DistributionServer, Sandbox, flow_line, flow_text, helper_line, main, message, read_log, wait_until)

BUILD = Build.from_environment()
WINDOWS = BUILD.kind == "windows"
SERVER = DistributionServer()
INFO, ERROR = "INFO", "ERROR"
AGREED = [flow_line(97, INFO, 105), flow_line(99, INFO, 110)]
KILLED = 1 if WINDOWS else -signal.SIGKILL  # TerminateProcess(..., 1); SIGKILL
# Only the Linux installer stand-in can be made slow enough to end the tool while it runs.
LINUX_ONLY = "the Linux installer stand-in's failures and pauses on demand, and Unix folder rights"
# Exit statuses (docs/ADMINISTRATORS.md, "Exit statuses").
INSTALL_FAILED, FINISHED, FOUND_AGENT, FOUND_OLD_AGENT, RETRY, GIVEN_UP = 10, 20, 21, 22, 23, 24
AUTH = ("株式会社トルバ", "C-0001", "X9-77")


def replacement(line, level, text):
    return helper_line("updateQuillon", line, level, text)


def finishing(line, level, text):
    return helper_line("finishReplacement", line, level, text)


def uninstalled():
    return replacement(363, INFO, message(114) + f"(V{OLD_AGENT[1]})")


def task_run():
    """The first lines of the finishing task's run: its command line, and that the task started it."""
    return [flow_text(20, INFO, "Command Line(/resume)"), flow_line(40, INFO, 210)]


def found(step, attempts=0):
    return finishing(600, INFO, message(200) + f"(Step={step} Attempts={attempts})")


def tried(line, text_id, attempt):
    return finishing(line, INFO if line == 620 else ERROR, message(text_id) + f"({attempt}/3)")


def finished(attempt=1):
    return [tried(620, 204, attempt), finishing(632, INFO, message(107) + f"(V{NEW_AGENT[1]})"),
            finishing(636, INFO, message(205))]


# Where the tool's process ends, and what the PC shows then. A kill "during" an installer run comes from
# outside, once the installer has started (it runs on to its end by itself, as msiexec does); the others are
# the test build's own kill at that point (QUILLON_TEST_KILL_AT).
KILL_POINTS = [
    # (point, Auth.ini, the run's log up to the kill, the journal's step, the finishing start's outcome)
    ("during-uninstall", None, AGREED, "Uninstall", FINISHED),
    ("after-uninstall", None, AGREED, "Uninstall", FINISHED),
    ("pause", AUTH, AGREED, "Install", FINISHED),
    ("during-install", None, AGREED + [uninstalled()], "Install", FOUND_AGENT),
    ("after-install", AUTH, AGREED + [uninstalled()], "Install", FOUND_AGENT),
]


class ResumeTest(unittest.TestCase):
    def setUp(self):
        SERVER.clear()
        with open(BUILD.package("new-agent.msi"), "rb") as package:
            self.package = package.read()
        SERVER.publish_agent(self.package)

    def sandbox(self, auth=None):
        sandbox = Sandbox(BUILD)
        self.addCleanup(sandbox.close)
        sandbox.write_license()
        if auth:
            sandbox.write_auth(*auth)
        sandbox.machine.install_old_agent()
        return sandbox

    def answers(self, auth):
        return [("dialog", "agree")] + ([("box", "yes")] if auth else [])

    def run_killed(self, sandbox, point, auth=None):
        """A replacement whose process ends at `point`; returns its Result."""
        if not point.startswith("during-"):
            sandbox.environment["QUILLON_TEST_KILL_AT"] = point
            return sandbox.run(self.answers(auth))
        step = point[len("during-"):]
        sandbox.machine.installer_slow = f"{step}=3"
        running = sandbox.start(self.answers(auth))
        running.answer(len(self.answers(auth)))
        option = "-x" if step == "uninstall" else "-i"
        wait_until(lambda: any(call[:1] == [option] for call in sandbox.machine.installer_calls()),
                   f"the {step} starting", timeout=120)
        running.process.kill()
        return running.finish()  # it ends once the installer, which holds its output, has ended

    def check_finished(self, sandbox, auth=None):
        values = sandbox.machine.agent_values()
        self.assertEqual(values.get("ProductCode"), NEW_AGENT[0])
        self.assertEqual(values.get("SERVER_URL"), SERVER.base_url + "/rpc/")
        self.assertEqual(values.get("COMPANY_CODE") or None, auth[1] if auth else None)
        self.assertEqual(values.get("CERTIFICATION_CODE") or None, auth[2] if auth else None)
        self.assertEqual(sandbox.machine.installs(), 1, "exactly one install")
        self.assertEqual(sandbox.machine.journal_files(), [], "no journal left")
        self.assertIsNone(sandbox.machine.finish_task(), "no task left")

    def test_a_replacement_killed_at_each_point_is_finished_at_the_next_start(self):
        for point, auth, before, step, outcome in KILL_POINTS:
            if WINDOWS and point.startswith("during-"):
                continue
            with self.subTest(point=point):
                sandbox = self.sandbox(auth)
                killed = self.run_killed(sandbox, point, auth)
                self.assertEqual(killed.exit_code, KILLED, killed.stdout)
                self.assertEqual(killed.log_keys(), before)
                # Meanwhile: the journal, its package copy and the task that runs the tool with /resume.
                self.assertEqual(sandbox.machine.journal_files(), ["Journal.txt", "NewQuillonAgent.msi"])
                with open(os.path.join(sandbox.machine.data_folder(), "NewQuillonAgent.msi"), "rb") as copy:
                    self.assertEqual(copy.read(), self.package)
                task = sandbox.machine.finish_task()
                # The tool's own copy in its data folder, never the kit's exe.
                command = {"program": "C:\\ProgramData\\QuillonMigrationTool\\MigrationTool.exe" if WINDOWS
                           else os.path.join(sandbox.machine.data_folder(), "MigrationTool.exe"), "arguments": "/resume"}
                if WINDOWS and task is None:
                    # Wine's Task Scheduler cannot register it: the run says so, and the next start runs the
                    # command the task would hold.
                    self.assertIn(WINE_TASK_UNSUPPORTED,
                                  [entry.key() for entry in read_log(sandbox.log_path, wine_task_line=True)])
                else:
                    self.assertEqual(task, command)

                booted = sandbox.boot(without_task=command if WINDOWS else None)
                story = task_run() + [found(step)]
                story += finished() if outcome == FINISHED else [finishing(610, INFO, message(202))]
                self.assertEqual(booted.log_keys(), story)
                self.assertEqual(booted.exit_code, outcome)
                self.assertEqual(booted.windows, [], "the start of Windows shows nothing")
                self.check_finished(sandbox, auth)
                # A second start finds nothing left to do: the task is gone.
                self.assertIsNone(sandbox.boot())

    def test_the_next_run_of_the_tool_finishes_first(self):
        sandbox = self.sandbox()
        self.run_killed(sandbox, "after-uninstall")
        del sandbox.environment["QUILLON_TEST_KILL_AT"]
        result = sandbox.run([("box", "ok")])
        self.assertEqual([(w.kind, w.text, w.flags) for w in result.windows], [("box", message(108), MB_OK)],
                         "no terms: the run's work is done once the agent is back")
        self.assertEqual(result.log_keys(), AGREED + [found("Uninstall")] + finished())
        self.assertEqual(result.exit_code, FINISHED)
        self.check_finished(sandbox)

    @unittest.skipIf(WINDOWS, LINUX_ONLY)
    def test_an_uninstall_that_never_took_place_is_left_to_a_later_run(self):
        sandbox = self.sandbox()
        sandbox.machine.installer_failure = "uninstall=1603"
        self.run_killed(sandbox, "during-uninstall")
        self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), OLD_AGENT[0])
        booted = sandbox.boot()
        self.assertEqual(booted.log_keys(), task_run() + [found("Uninstall"), finishing(612, INFO, message(203))])
        self.assertEqual(booted.exit_code, FOUND_OLD_AGENT)
        self.assertEqual(sandbox.machine.agent_values().get("ProductCode"), OLD_AGENT[0], "the old agent stays")
        self.assertEqual(sandbox.machine.installs(), 0)
        self.assertEqual(sandbox.machine.journal_files(), [])
        self.assertIsNone(sandbox.machine.finish_task())

    @unittest.skipIf(WINDOWS, LINUX_ONLY)
    def test_a_failing_install_is_tried_at_three_starts_and_then_left_to_an_administrator(self):
        sandbox = self.sandbox()
        sandbox.machine.installer_failure = "install=1603"
        first = sandbox.run([("dialog", "agree"), ("box", "ok")])
        self.assertEqual(first.exit_code, INSTALL_FAILED)
        self.assertEqual(first.log_keys()[-1], replacement(370, INFO, message(201)))
        self.assertEqual(sandbox.machine.journal_files(), ["Journal.txt", "NewQuillonAgent.msi"])
        for attempt, outcome in ((1, RETRY), (2, RETRY), (3, GIVEN_UP)):
            booted = sandbox.boot()
            last = tried(640 if outcome == RETRY else 642, 206 if outcome == RETRY else 207, attempt)
            self.assertEqual(booted.log_keys()[:4], task_run() + [found("Install", attempt - 1), tried(620, 204, attempt)])
            self.assertEqual(booted.log_keys()[-1], last)
            self.assertEqual(booted.exit_code, outcome)
        self.assertIsNone(sandbox.machine.finish_task(), "the task is given up after the third try")
        self.assertEqual(sandbox.machine.journal_files(), ["Journal.txt", "NewQuillonAgent.msi"],
                         "the journal is kept for the administrator")
        self.assertEqual(sandbox.machine.installs(), 4)
        # The tool run by hand afterwards does not try again on its own either.
        again = sandbox.run([("box", "ok")])
        self.assertEqual([(w.text, w.flags) for w in again.windows], [(message(116), MB_OK | MB_ICONWARNING)])
        self.assertEqual(again.log_keys()[-1], tried(642, 207, 3))
        self.assertEqual(again.exit_code, GIVEN_UP)
        self.assertEqual(sandbox.machine.installs(), 4)

    @unittest.skipIf(WINDOWS, LINUX_ONLY)
    def test_a_journal_that_cannot_be_trusted_is_never_acted_on(self):
        def cut(sandbox):
            path = os.path.join(sandbox.machine.data_folder(), "Journal.txt")
            with open(path, "rb") as journal:
                data = journal.read()
            with open(path, "wb") as journal:
                journal.write(data[:len(data) // 2])

        def changed_copy(sandbox):
            with open(os.path.join(sandbox.machine.data_folder(), "NewQuillonAgent.msi"), "r+b") as copy:
                copy.seek(100)
                copy.write(b"\0planted\0")

        def writable_folder(sandbox):
            os.chmod(sandbox.machine.data_folder(), 0o777)

        def new_agent_by_hand(sandbox):
            cut(sandbox)
            with open(sandbox.machine.registry_file, "a", encoding="utf-8") as registry:  # installed by hand
                registry.write(f'\n[{AGENT_KEY}]\n"UpgradeCode"="{UPGRADE_CODE}"\n"ProductCode"="{NEW_AGENT[0]}"\n')

        folder = lambda sandbox: sandbox.machine.data_folder()
        cases = [
            # (what, the change, the start's lines after the first, files left)
            ("a journal cut in half", cut,
             lambda s: [finishing(605, ERROR, "Journal Refused(Cut)"), finishing(616, ERROR, message(208))],
             ["Journal.txt", "NewQuillonAgent.msi"]),
            ("a package copy changed", changed_copy,
             lambda s: [found("Uninstall"),
                        finishing(607, ERROR, f"Package Copy Changed({folder(s)}/NewQuillonAgent.msi)"),
                        finishing(616, ERROR, message(208))],
             ["Journal.txt", "NewQuillonAgent.msi"]),
            ("a data folder that users can write", writable_folder,
             lambda s: [finishing(601, INFO, f"Journal Folder Refused({folder(s)})"),
                        # and the run's event names no message file there
                        helper_line("placeToolCopy", 570, ERROR, f"Data Folder Refused({folder(s)})")],
             ["Journal.txt", "NewQuillonAgent.msi"]),
            ("a cut journal beside an agent installed by hand", new_agent_by_hand,
             lambda s: [finishing(605, ERROR, "Journal Refused(Cut)"), finishing(614, INFO, message(209))], []),
        ]
        for what, change, lines, left in cases:
            with self.subTest(what):
                sandbox = self.sandbox()
                self.run_killed(sandbox, "after-uninstall")
                change(sandbox)
                booted = sandbox.boot()
                self.assertEqual(booted.log_keys(), task_run() + lines(sandbox))
                self.assertEqual(booted.exit_code, GIVEN_UP)
                self.assertEqual(sandbox.machine.installs(), 0, "nothing installed")
                self.assertIsNone(sandbox.machine.finish_task(), "the task is not run again for it")
                os.chmod(folder(sandbox), 0o755)
                self.assertEqual(sandbox.machine.journal_files(), left)

    def test_a_run_that_ends_before_the_uninstall_keeps_no_journal_and_no_task(self):
        sandbox = self.sandbox()
        result = sandbox.run([("dialog", "disagree")])
        self.assertEqual(result.exit_code, 2)
        self.assertEqual(sandbox.machine.journal_files(), [])
        self.assertIsNone(sandbox.machine.finish_task())

    def test_a_run_that_ends_with_an_agent_removes_journal_and_task(self):
        for failure, code in ((False, 0), (True, 9)):
            with self.subTest(uninstall_fails=failure):
                sandbox = self.sandbox()
                if failure:
                    sandbox.machine.make_uninstall_fail()
                result = sandbox.run([("dialog", "agree"), ("box", "ok")])
                self.assertEqual(result.exit_code, code)
                self.assertEqual(sandbox.machine.journal_files(), [])
                self.assertIsNone(sandbox.machine.finish_task())


if __name__ == "__main__":
    main()
