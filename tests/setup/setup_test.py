#!/usr/bin/env python3
"""What scripts/setup decides on the machines it meets: a mirror mid-sync, 32-bit Wine that cannot be
installed, a machine without 32-bit execution, a required package apt refuses, a machine with everything.
The system commands are stand-ins (standin) on PATH, so this needs neither root nor a network. The 32-bit
probe itself is tried where folders are noexec, in a mount namespace of its own (as root; skipped elsewhere)."""
import concurrent.futures
import os
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SETUP = os.path.join(HERE, "..", "..", "scripts", "setup")
PROBE = os.path.join(HERE, "..", "..", "scripts", "lib", "quillon-exec32-probe")
COMMANDS = ("apt-get", "dpkg", "dpkg-query", "id", "locale", "sleep", "quillon-exec32-probe")

NOTICE = "setup: 32-bit Wine: "
# (name, profile, the machine, exit status, refreshes of the lists, texts the output holds)
CASES = [
    ("everything present: no apt call at all, even with a failing mirror",
     "", dict(missing=[], update_failures=-1), 0, 0, ["32-bit Wine is installed", "ready (windows)"]),
    ("everything present, no 32-bit execution: wine32 not asked for",
     "", dict(missing=["wine32:i386"], exec32=False, update_failures=-1), 0, 0, ["cannot execute 32-bit code"]),
    ("no folder where the probe may run a program: wine32 not asked for, and not called impossible",
     "", dict(missing=["wine32:i386"], exec32=None, update_failures=-1), 0, 0,
     [NOTICE + "not tried, whether this machine executes 32-bit code is unknown (no folder here lets a program run)"]),
    ("an index that never refreshes: three tries, then the lists as they are",
     "", dict(missing=["cmake", "wine64"], exec32=False, update_failures=-1), 0, 3,
     ["try 3 of 3", "going on with the package lists as they are", "installing: cmake wine64"]),
    ("a refresh that fails once: tried again",
     "", dict(missing=["cmake"], exec32=False, update_failures=1), 0, 2, ["try 1 of 3"]),
    ("wine32 refused: one line and on",
     "", dict(missing=["wine32:i386"], refuse=["wine32:i386"]), 0, 1,
     [NOTICE + "wine32:i386 could not be installed: Unable to correct problems, you have held broken packages;"]),
    ("wine32 installable: installed with the i386 architecture",
     "", dict(missing=["wine32:i386"]), 0, 1, ["32-bit Wine installed"]),
    ("the i386 architecture cannot be added",
     "", dict(missing=["wine32:i386"], add_arch_fails=True), 0, 0,
     [NOTICE + "the i386 architecture could not be added (dpkg: error: cannot add architecture"]),
    ("a required package refused: the run fails and names it",
     "", dict(missing=["libmsi-dev", "wine64"], refuse=["libmsi-dev"], exec32=False), 1, 1,
     ["could not install what the windows profile needs: libmsi-dev wine64",
      "  E: Unable to correct problems, you have held broken packages.", "  libmsi-dev : Depends: libc6"]),
    ("the linux profile: only the Linux packages, no Wine, no probe",
     "linux", dict(missing=["cmake", "wine64", "wine32:i386", "g++-mingw-w64-i686-posix"]), 0, 1,
     ["installing: cmake", "ready (linux)"]),
    ("the benchmark profile: the Windows profile's packages and nginx",
     "benchmark", dict(missing=["cmake", "nginx"], exec32=False), 0, 1, ["installing: cmake nginx", "ready (benchmark)"]),
    ("the tests' profile leaves nginx to the benchmark",
     "", dict(missing=["nginx"], exec32=False, update_failures=-1), 0, 0, ["ready (windows)"]),
]


class SetupDecisionsTest(unittest.TestCase):
    def run_setup(self, work, profile):
        env = dict(os.environ, PATH=os.path.join(work, "bin") + ":" + os.environ["PATH"],
                   SETUP_MACHINE=os.path.join(work, "machine"),
                   QUILLON_SETUP_STATE_DIR=os.path.join(work, "state"),
                   QUILLON_BOOST_SOURCE_DIR=os.path.join(work, "boost"))
        done = subprocess.run([SETUP] + ([profile] if profile else []), env=env, capture_output=True, text=True,
                              timeout=60)
        return done, {fact: self.lines(work, fact) for fact in ("calls", "architectures")}

    @staticmethod
    def lines(work, fact):
        """One of the machine's lists; each call as its command and arguments."""
        with open(os.path.join(work, "machine", fact), encoding="utf-8") as f:
            lines = f.read().splitlines()
        return [line.split("\t") for line in lines] if fact == "calls" else lines

    def machine(self, **overrides):
        work = tempfile.mkdtemp(prefix="setup-test-")
        self.addCleanup(subprocess.run, ["rm", "-rf", work])
        os.makedirs(os.path.join(work, "bin"))
        for name in COMMANDS:
            os.symlink(os.path.join(HERE, "standin"), os.path.join(work, "bin", name))
        os.makedirs(os.path.join(work, "boost", "libs", "filesystem", "src"))
        open(os.path.join(work, "boost", "libs", "filesystem", "src", "operations.cpp"), "w").close()
        machine = dict(missing=[], architectures=[], exec32=True, update_failures=0, refuse=[],
                       add_arch_fails=False, calls=[])
        machine.update(overrides)
        # The stand-in's files (standin says what each holds).
        folder = os.path.join(work, "machine")
        os.makedirs(folder)
        facts = {name: "".join(item + "\n" for item in machine[name])
                 for name in ("missing", "architectures", "refuse", "calls")}
        facts["exec32"] = {True: "yes", False: "no", None: "unknown"}[machine["exec32"]]
        facts["update_failures"] = str(machine["update_failures"])
        if machine["add_arch_fails"]:
            facts["add_arch_fails"] = ""
        for name, text in facts.items():
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(text)
        return work

    def test_decisions(self):
        # Each case on a machine of its own, several at once: the runs wait on their processes' start-up more
        # than they compute.
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            runs = list(pool.map(lambda case: self.run_setup(self.machine(**case[2]), case[1]), CASES))
        for (name, profile, machine, status, refreshes, texts), (done, after) in zip(CASES, runs):
            with self.subTest(name):
                output = done.stdout + done.stderr
                self.assertEqual(done.returncode, status, output)
                for text in texts:
                    self.assertIn(text, output)
                calls = after["calls"]
                updates = [c for c in calls if c[:2] == ["apt-get", "update"]]
                self.assertEqual(len(updates), refreshes, calls)
                # A pause between tries, none after the last.
                failed = min(refreshes, 3 if machine.get("update_failures") == -1 else machine.get("update_failures", 0))
                self.assertEqual(len([c for c in calls if c[0] == "sleep"]), min(failed, 2), calls)
                # Nothing is asked for that is there already.
                asked = {a for c in calls if c[0] == "apt-get" and "install" in c for a in c[1:]
                         if not a.startswith("-") and a != "install"}
                self.assertLessEqual(asked, set(machine["missing"]), calls)
                if not machine.get("exec32", True) or profile == "linux":
                    self.assertFalse([c for c in calls if c[0] in ("apt-get", "dpkg")
                                      and ("--add-architecture" in c or "wine32:i386" in c)], calls)
                if profile == "linux":
                    self.assertNotIn("quillon-exec32-probe", [c[0] for c in calls])
                    self.assertEqual(asked, {"cmake"})
                self.assertLessEqual(len([line for line in output.splitlines() if line.startswith(NOTICE)]), 1, output)
                if "wine32:i386" in machine.get("refuse", []):
                    self.assertEqual(after["architectures"], [], "the architecture added for wine32 stays")

    def test_a_refused_wine32_is_not_asked_for_again_the_same_day(self):
        work = self.machine(missing=["wine32:i386"], refuse=["wine32:i386"], update_failures=-1)
        first, _ = self.run_setup(work, "")
        self.assertEqual(first.returncode, 0, first.stdout + first.stderr)
        second, after = self.run_setup(work, "")
        self.assertEqual(second.returncode, 0, second.stdout + second.stderr)
        self.assertIn(NOTICE + "not tried again today (wine32:i386 could not be installed", second.stdout)
        self.assertEqual(len([c for c in after["calls"] if c[0] == "apt-get"]), 3 + 1, after["calls"])


class Exec32ProbeTest(unittest.TestCase):
    def test_a_noexec_folder_is_passed_over_not_taken_for_no_32_bit_execution(self):
        noexec = "mount -t tmpfs -o noexec,size=64k tmpfs"
        if os.geteuid() != 0 or not shutil.which("unshare") or subprocess.run(
                ["unshare", "--mount", "sh", "-c", noexec + " /tmp"], capture_output=True).returncode != 0:
            self.skipTest("needs root and a mount namespace")
        here = subprocess.run([PROBE]).returncode
        self.assertIn(here, (0, 1))
        work = tempfile.mkdtemp(prefix="probe-test-")
        self.addCleanup(os.rmdir, work)
        # (name, shell script run in the namespace with the probe as $0 and an empty folder as $1, status)
        cases = [
            ("TMPDIR noexec: the next folder decides", f'{noexec} "$1" && TMPDIR=$1 "$0"', here),
            # The probe's own folder is a candidate too: it runs from a noexec /tmp.
            ("every folder noexec: it cannot tell",
             # (Read before the mounts: the probe itself may lie under one of these folders.)
             f'probe=$(cat "$0") && for d in /tmp /var/tmp /dev/shm /run; do {noexec} $d || exit 99; done; '
             f'printf "%s\\n" "$probe" >/tmp/probe && TMPDIR= bash /tmp/probe', 2),
        ]
        for name, script, status in cases:
            with self.subTest(name):
                done = subprocess.run(["unshare", "--mount", "sh", "-c", script, PROBE, work], timeout=60)
                self.assertEqual(done.returncode, status)


if __name__ == "__main__":
    unittest.main()
