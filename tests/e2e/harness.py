"""Running the real tool as a user does, on either build, and reading back what it did.

A Sandbox is one folder per scenario: the tool's folder (the executable, License.txt, Auth.ini), the folder
it is started from, its own temporary folder (run log, package) and the UI transcript. `run` starts the tool, answers each window it
shows with the answers given, and returns a Result with the exit status, the windows the user saw, and
the run log's entries.

Linux: the tool reads its answers from stdin (one line each, end of input = the close button).
Windows: the tool runs under Wine (inside a wine-session) and our UI driver finds and answers each real
window, recording what it showed.

The PC's agent (AgentMachine) is the registry key and the installer: on Linux a registry file and the
installer stand-in, private to the sandbox; under Wine the prefix's own registry and its real msiexec with
the wixl-built packages. The destination server (DistributionServer) is the build tree's local server.

Configuration comes from the environment CTest gives the tests: QUILLON_E2E_BUILD (linux or windows),
QUILLON_E2E_TOOL, QUILLON_E2E_CHECK (the server check program), QUILLON_E2E_PACKAGES (the agent packages),
QUILLON_E2E_STANDIN (Linux installer stand-in folder), QUILLON_E2E_DRIVER and QUILLON_E2E_RUNNER (Windows),
QUILLON_E2E_SERVER (the https base URL the tool is built with), QUILLON_E2E_SERVER_HTTP (the same server's
http base URL), QUILLON_TEST_SERVER_ROOT (the folder that server serves) and QUILLON_TEST_SERVER_REQUESTS
(its request log).
"""
import contextlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import ssl
import struct
import unittest
import urllib.parse
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CAPTION = "Quillon移行ツール"
CHECK_CAPTION = "Quillon移行 接続チェック"  # the server check program's
CHECK_LOG = "QuillonServerCheck.log"
IDC_AGREE = 1002
IDC_DISAGREE = 1003
IDC_PROGRESS_BAR = 1012

MB_OK, MB_YESNO, MB_ICONWARNING = 0x0, 0x4, 0x30
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7

# The agent as the test packages install it (tools/agent-packages).
UPGRADE_CODE = "{8D27F0A4-61C3-4B5E-92D7-3E0F5A1C84B9}"
OLD_AGENT = ("{6F1A2B3C-4D5E-4F60-8A7B-9C0D1E2F3A4B}", "5.1.0")
NEW_AGENT = ("{0B5C9E1D-7A42-4F63-8E2B-51D0C3A9F6E4}", "6.0.0")
UNVERSIONED_AGENT = ("{9D3E7F21-5B84-4C6A-B1E0-2A7C4D8F6E53}", "6.0.0")
UNKNOWN_PRODUCT = "{00000000-0000-0000-0000-00000000F00D}"
AGENT_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\Quillon"
RECORD_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TORVA\\QuillonMigrationTool"  # the outcome record (32-bit view)
EVENT_SOURCE_KEY = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QuillonMigrationTool"


def _catalogue():
    """Message id -> text, read from the catalogue's one source."""
    ids = {}
    for name, number in re.findall(r"#define\s+(IDS_\w+)\s+(\d+)", open(os.path.join(ROOT, "res/resource.h"), encoding="utf-8").read()):
        ids[name] = int(number)
    texts = {}
    source = open(os.path.join(ROOT, "res/Messages.inc"), encoding="utf-8").read()
    for name, text in re.findall(r'QUILLON_MESSAGE\((IDS_\w+), "([^"]*)"\)', source):
        texts[ids[name]] = text.replace("\\n", "\n")
    return texts


MESSAGES = _catalogue()


def _log_sites():
    """Log site name -> (file, function, line, level), read from the table's one source."""
    source = open(os.path.join(ROOT, "log/LogSites.inc"), encoding="utf-8").read()
    return {name: (file, function, int(line), level) for name, file, function, line, level
            in re.findall(r'QUILLON_LOG_SITE\((\w+), "([^"]*)", "([^"]*)", (\d+), "([^"]*)"\)', source)}


LOG_SITES = _log_sites()


def message(number):
    return MESSAGES[number]


class LogEntry:
    HEADER = re.compile(r"^(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d) (\S+) FILE:(\S+) FUNCTION:(\S+) LINE:(-?\d+) (.*)$")

    def __init__(self, stamp, level, source, function, line, message):
        self.stamp, self.level, self.source, self.function = stamp, level, source, function
        self.line, self.message = int(line), message

    def key(self):
        return (self.source, self.function, self.line, self.level, self.message)

    def __repr__(self):
        return f"{self.source}:{self.line} {self.level} {self.message!r}"


# Wine's Task Scheduler cannot register the finishing task (it answers E_NOTIMPL for a boot trigger and a
# principal), so every replacement under Wine logs this line; the tests of everything else leave it out
# (read_log), and tests/e2e/resume_test.py reads it on purpose.
WINE_TASK_UNSUPPORTED = ("Helper.cpp", "Helper::updateQuillon", 343, "INFO", "Finish Task Error(0x80004001)")


def read_log(path, wine_task_line=False):
    """The run log's entries. Checks the byte format: a BOM, UTF-16LE, every line ended by CR LF. Leaves out
    WINE_TASK_UNSUPPORTED unless `wine_task_line`."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as log:
        return read_log_bytes(log.read(), wine_task_line)


def read_log_bytes(data, wine_task_line=False):
    """The entries of a run log's bytes (read_log)."""
    assert data[:2] == b"\xff\xfe", "the run log starts with a byte-order mark"
    text = data[2:].decode("utf-16-le")
    assert text.endswith("\r\n"), "the run log's last line is ended"
    assert "\n" not in text.replace("\r\n", ""), "every line feed in the run log is part of CR LF"
    entries = []
    for line in text.split("\r\n")[:-1]:
        match = LogEntry.HEADER.match(line)
        if match:
            entries.append(LogEntry(*match.groups()))
        else:
            assert entries, f"the run log starts with an entry: {line!r}"
            entries[-1].message += "\n" + line  # a message with a line break spans two lines
    return [entry for entry in entries if wine_task_line or entry.key() != WINE_TASK_UNSUPPORTED]


def screenshots(*names):
    """Where to save pictures of the next run's windows (Windows build): docs pictures, taken when
    QUILLON_E2E_SCREENSHOTS names a folder (scripts/screenshots); otherwise none."""
    folder = os.environ.get("QUILLON_E2E_SCREENSHOTS")
    if not folder:
        return None
    return [os.path.join(os.path.abspath(folder), name + ".png") if name else None for name in names]


def _logged_from_a_site(file, function, line, level, text):
    """The log entry's key; a line the tool has no site for cannot be expected."""
    if (file, function, line, level) not in LOG_SITES.values():
        raise AssertionError(f"no log site {file} {function} {line} {level} in log/LogSites.inc")
    return (file, function, line, level, text)


def flow_line(line, level, text_id):
    return _logged_from_a_site("MigrationTool.cpp", "CMigrationToolApp::InitInstance", line, level, message(text_id))


def flow_text(line, level, text):
    """A line of the flow with a message formatted from a catalogue text (or none of the catalogue's)."""
    return _logged_from_a_site("MigrationTool.cpp", "CMigrationToolApp::InitInstance", line, level, text)


def helper_line(function, line, level, text):
    return _logged_from_a_site("Helper.cpp", "Helper::" + function, line, level, text)


class Window:
    """A window the user saw: from the tool's UI transcript, and on Windows also as the driver read it."""

    def __init__(self, record, seen=None):
        self.kind, self.caption, self.text = record["kind"], record["caption"], record["text"]
        self.flags, self.button = record["flags"], record["button"]
        self.seen = seen

    def __repr__(self):
        return f"{self.kind}({self.text[:20]!r}, flags={self.flags}, button={self.button})"


class Result:
    """windows: the dialog and the boxes the user saw; progress: the progress's records, one per step shown
    and one for a cancel (button 2)."""

    def __init__(self, exit_code, windows, log, stdout, progress=()):
        self.exit_code, self.windows, self.log, self.stdout = exit_code, windows, log, stdout
        self.progress = list(progress)

    def progress_steps(self):
        """The progress's texts in order, a cancel as ("cancel", the step's text)."""
        return [("cancel", w.text) if w.button else w.text for w in self.progress]

    def log_keys(self):
        return [entry.key() for entry in self.log]


# What the user does with a window. Dialog answers: agree, disagree, enter, esc, close, altf4.
# Box answers: ok, yes, no, enter, close. ("installer", answer) answers the Windows Installer's own error box
# (Wine's msiexec shows one when an install fails; the Linux stand-in shows none, so there it is skipped).
INSTALLER_ERROR_CAPTION = "Install Failed"
LINUX_ANSWERS = {"agree": "a", "disagree": "d", "ok": "o", "yes": "y", "no": "n", "enter": ""}
WINDOWS_ANSWERS = {
    "agree": ["--press", f"#{IDC_AGREE}"], "disagree": ["--press", f"#{IDC_DISAGREE}"],
    "ok": ["--press", "ok"], "yes": ["--press", "yes"], "no": ["--press", "no"],
    "enter": ["--key", "enter"], "esc": ["--key", "esc"], "close": ["--close"], "altf4": ["--key", "alt+f4"],
    "cancel": ["--press", "cancel"],
}
# The driver's way to each kind of window: all three carry the tool's caption.
WINDOW_SELECTORS = {
    "dialog": ["--has-control", str(IDC_AGREE)],
    "progress": ["--has-control", str(IDC_PROGRESS_BAR)],
    "box": ["--lacks-control", str(IDC_AGREE), "--lacks-control", str(IDC_PROGRESS_BAR)],
}


class Build:
    """How to run the tool on one build. `tool` is the executable to copy into each sandbox."""

    def __init__(self, kind, tool, driver=None, runner=None, packages=None, standin=None, check=None,
                 read_task=None):
        assert kind in ("linux", "windows")
        self.kind, self.tool, self.driver, self.runner = kind, tool, driver, runner
        self.packages, self.standin, self.check, self.read_task = packages, standin, check, read_task

    @staticmethod
    def from_environment():
        env = os.environ
        return Build(env["QUILLON_E2E_BUILD"], env["QUILLON_E2E_TOOL"], env.get("QUILLON_E2E_DRIVER"),
                     env.get("QUILLON_E2E_RUNNER"), env.get("QUILLON_E2E_PACKAGES"), env.get("QUILLON_E2E_STANDIN"),
                     env.get("QUILLON_E2E_CHECK"), env.get("QUILLON_E2E_READ_TASK"))

    def package(self, name):
        return os.path.join(self.packages, name)

    def registry_view(self):
        """Windows: "32" or "64", the registry view the tool's process reads without a view flag, that of
        its own bitness (a 32-bit program on 64-bit Windows reads the 32-bit view, where the 32-bit agent
        writes its key)."""
        return str(executable_bits(self.tool))


def executable_bits(path):
    """32 or 64: the machine a Windows executable is built for, from its PE header (None: not one)."""
    with open(path, "rb") as exe:
        head = exe.read(4096)
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
        return None
    return {0x14C: 32, 0x8664: 64}.get(int.from_bytes(head[offset + 4:offset + 6], "little"))


def main():
    """Runs the suite's tests; QUILLON_E2E_ONLY (a pattern, as unittest's -k takes it) runs only those whose
    names match, so a change can be tried against its own cases first."""
    only = os.environ.get("QUILLON_E2E_ONLY")
    unittest.main(argv=sys.argv[:1] + (["-k", only] if only else []), verbosity=2)


@contextlib.contextmanager
def screen_scaling(percent):
    """Windows: the screen's scaling for the tools started meanwhile (Wine reads it as each process starts),
    100 % again afterwards."""
    key = "HKCU\\Control Panel\\Desktop"
    wine("reg.exe", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(96 * percent // 100), "/f", check=True)
    try:
        yield
    finally:
        wine("reg.exe", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "96", "/f", check=True)


def windows_path(path):
    """The Wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*command, check=False, timeout=300):
    done = subprocess.run([os.environ["WINELOADER"], *command], capture_output=True, timeout=timeout)
    if check and done.returncode != 0:
        raise AssertionError(f"{command} failed with {done.returncode}: {done.stdout[-500:]!r}")
    return done


INTERNET_SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections"


def set_internet_settings(flags, proxy="", bypass="", script=""):
    """Windows: the user's Internet settings as the control panel saves them, the binary value
    DefaultConnectionSettings (flags: 1 direct, 2 the manual proxy, 4 the script URL, 8 automatic detection).
    Returns what puts the prefix's earlier value back; the prefix is shared, so every caller hands it to
    addCleanup."""
    old = wine("reg.exe", "query", INTERNET_SETTINGS, "/v", "DefaultConnectionSettings")
    match = re.search(r"REG_BINARY\s+([0-9A-Fa-f]*)", old.stdout.decode("utf-8", "replace"))
    blob = struct.pack("<III", 0x46, 1, flags)  # the format's version, a change counter, the flags
    for text in (proxy, bypass, script):
        blob += struct.pack("<I", len(text)) + text.encode("ascii")
    blob += bytes(32)  # the automatic detection's own data, left empty

    def put(value):
        wine("reg.exe", "add", INTERNET_SETTINGS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d",
             value, "/f", check=True)
    put(blob.hex())

    def restore():
        if match:
            put(match.group(1))
        else:
            wine("reg.exe", "delete", INTERNET_SETTINGS, "/v", "DefaultConnectionSettings", "/f")
    return restore


class SilentListener:
    """A dead proxy or server on loopback: it accepts connections and then says nothing, reads nothing and
    closes nothing until it is closed itself (a context manager)."""

    def __init__(self):
        self.socket = socket.create_server(("127.0.0.1", 0))
        self.address = "127.0.0.1:%d" % self.socket.getsockname()[1]
        self.accepted = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                self.accepted.append(self.socket.accept()[0])
            except OSError:
                return

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.socket.close()
        for connection in self.accepted:
            connection.close()


def wait_until(condition, what, timeout=60):
    """Waits until condition() holds; a test failure naming `what` after `timeout` seconds."""
    deadline = time.time() + timeout
    while not condition():
        if time.time() > deadline:
            raise AssertionError(f"{what} did not happen within {timeout} s")
        time.sleep(0.05)


INSTALLER_LOG_FOLDER = ("Logs", "Software", "QuillonMigrationTool")  # under the Windows folder


class AgentMachine:
    """The PC's agent as the tool finds it: the registry key and the Windows Installer."""

    def __init__(self, build, folder):
        self.build = build
        self.registry_file = os.path.join(folder, "registry.reg")
        self.installer_log = os.path.join(folder, "msiexec.log")
        self.installer_failure = None
        # Linux: the stand-in for the Windows folder, private to the sandbox. Wine: the prefix's own, where
        # the Windows Installer's logs of earlier tests stay.
        self.windows_dir = os.path.join(folder, "windows")
        # Linux: the stand-ins for the machine's program-data folder (the tool's data folder, with its copy and the
        # journal of a replacement under way, lies in it), its Application log (one JSON line per event), and the
        # Task Scheduler's store of the finishing task.
        self.program_data = os.path.join(folder, "programdata")
        self.event_file = os.path.join(folder, "events.jsonl")
        self.task_folder = os.path.join(folder, "tasks")
        self.installer_slow = None
        if build.kind == "linux":
            for path in (self.windows_dir, self.program_data, self.task_folder):
                os.makedirs(path, exist_ok=True)
        self.earlier_installer_logs = set(self.installer_logs())

    def environment(self):
        """What the tool's process needs to meet this machine (Linux: the registry file, the stand-in and the
        Windows folder)."""
        if self.build.kind == "windows":
            return {}
        env = {"QUILLON_REGISTRY_FILE": self.registry_file, "QUILLON_MSIEXEC_LOG": self.installer_log,
               "QUILLON_WINDOWS_DIR": self.windows_dir, "QUILLON_PROGRAM_DATA": self.program_data,
               "QUILLON_EVENT_LOG_FILE": self.event_file,
               "QUILLON_TASK_FOLDER": self.task_folder,
               "PATH": self.build.standin + os.pathsep + os.environ.get("PATH", "")}
        if self.installer_failure:
            env["QUILLON_MSIEXEC_FAIL"] = self.installer_failure
        if self.installer_slow:
            env["QUILLON_MSIEXEC_SLOW"] = self.installer_slow
        return env

    def data_folder(self):
        """The tool's data folder (the journal, its package copy), as a local path."""
        if self.build.kind == "linux":
            return os.path.join(self.program_data, "QuillonMigrationTool")
        return self.local_path("C:\\ProgramData\\QuillonMigrationTool")

    def journal_files(self):
        """What of a replacement under way lies in the data folder: the journal and its package copy."""
        folder = self.data_folder()
        names = set(os.listdir(folder)) if os.path.isdir(folder) else set()
        return sorted(names & {"Journal.txt", "NewQuillonAgent.msi"})

    def finish_task(self):
        """The finishing task's command as the system keeps its definition: {"program", "arguments"}, or None
        when no task is registered."""
        command = [self.build.read_task]
        if self.build.kind == "windows":
            command = [os.environ["WINELOADER"]] + command
        done = subprocess.run(command, capture_output=True, env=dict(os.environ, **self.environment()), timeout=120)
        answer = json.loads(done.stdout.decode("utf-8"))
        if done.returncode == 2:
            return None
        assert done.returncode == 0, f"the finishing task could not be read: {answer}"
        return answer

    def forget_interrupted_replacement(self):
        """Windows: no journal and no finishing task left by an earlier test in the shared prefix (the Linux
        sandbox's folders are its own)."""
        if self.build.kind != "windows":
            return
        for name in ("Journal.txt", "NewQuillonAgent.msi"):
            path = os.path.join(self.data_folder(), name)
            if os.path.exists(path):
                os.remove(path)
        wine("schtasks.exe", "/delete", "/tn", "\\QuillonMigrationTool\\Finish", "/f")

    def installs(self):
        """How many times the installer was asked to install (Windows: its logs of install runs)."""
        if self.build.kind == "windows":
            return sum(1 for name in self.installer_logs() if re.search(r"-install\d*(\(\d+\))?\.log$", name))
        return sum(1 for call in self.installer_calls() if call[:1] == ["-i"])

    def reg(self, *command, view=None, check=False):
        """reg.exe on the agent's key in the tool's registry view (or the view given)."""
        return wine("reg.exe", *command, f"/reg:{view or self.build.registry_view()}", check=check)

    def remove_agent(self):
        """No agent at all. Under Wine: whatever a test package installed earlier is uninstalled, and the key
        is gone from both registry views."""
        if self.build.kind == "windows":
            for code in (OLD_AGENT[0], NEW_AGENT[0], UNVERSIONED_AGENT[0]):
                if self.reg("query", f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{code}").returncode == 0:
                    wine("msiexec.exe", "/x", code, "/qn")
            for view in ("32", "64"):
                self.reg("delete", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/f", view=view)
        else:
            with open(self.registry_file, "w", encoding="utf-8") as out:
                out.write("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
                          "\"Kept\"=\"yes\"\n")

    def install_old_agent(self):
        """The old agent 5.1.0, installed as its package installs it."""
        self.remove_agent()
        if self.build.kind == "windows":
            wine("msiexec.exe", "/i", windows_path(self.build.package("old-agent.msi")), "/qn", check=True)
        else:
            with open(self.registry_file, "a", encoding="utf-8") as out:
                out.write(f"\n[{AGENT_KEY}]\n\"UpgradeCode\"=\"{UPGRADE_CODE}\"\n\"ProductVersion\"=\"{OLD_AGENT[1]}\"\n"
                          f"\"ProductCode\"=\"{OLD_AGENT[0]}\"\n")

    def make_uninstall_fail(self):
        """Windows: the key names a product the installer does not know (it exits 1605). Linux: the stand-in
        exits 1618, as when another installation is running."""
        if self.build.kind == "windows":
            self.set_value("ProductCode", UNKNOWN_PRODUCT)
        else:
            self.installer_failure = "uninstall=1618"

    def require_restart(self, sandbox, run):
        """The installer run named ("install" or "uninstall") ends with 3010, done but a restart pending: the
        test packages ask for it when the environment has QUILLON_AGENT_RESTART (the Linux stand-in
        follows them)."""
        sandbox.environment["QUILLON_AGENT_RESTART"] = run

    def set_value(self, name, value):
        if self.build.kind == "windows":
            self.reg("add", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/v", name, "/d", value, "/f", check=True)
            return
        with open(self.registry_file, encoding="utf-8") as current:
            text = current.read()
        text, count = re.subn(rf'^"{name}"=".*"$', f'"{name}"="{value}"', text, flags=re.M)
        assert count == 1, f"{name} is not in the agent's key"
        with open(self.registry_file, "w", encoding="utf-8") as out:
            out.write(text)

    def other_registry_view(self):
        return {"32": "64", "64": "32"}[self.build.registry_view()]

    def move_agent_key_to_other_view(self):
        """Windows: the agent's values only in the registry view the tool does not read (the 64-bit view
        for the 32-bit tool), as a 64-bit installation would leave them."""
        values = self.agent_values()
        for name, value in values.items():
            self.reg("add", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/v", name, "/d", value, "/f",
                     view=self.other_registry_view(), check=True)
        self.reg("delete", "HKLM\\SOFTWARE\\TORVA\\Quillon", "/f", check=True)

    def agent_values(self, view=None):
        """The agent key's string values now (Windows: in the tool's registry view, or the view given)."""
        if self.build.kind == "windows":
            values = {}
            for line in self.reg("query", "HKLM\\SOFTWARE\\TORVA\\Quillon", view=view).stdout.decode("utf-8", "replace").splitlines():
                match = re.match(r"^\s+(\S+)\s+REG_SZ\s*(.*)$", line)
                if match:
                    values[match.group(1)] = match.group(2).strip()
            return values
        values, inside = {}, False
        if not os.path.exists(self.registry_file):
            return values
        with open(self.registry_file, encoding="utf-8") as registry:
            for line in registry.read().splitlines():
                if line.startswith("["):
                    inside = line.lower() == f"[{AGENT_KEY}]".lower()
                elif inside:
                    match = re.match(r'^"([^"]*)"="(.*)"$', line)
                    if match:
                        values[match.group(1)] = match.group(2).replace('\\"', '"').replace("\\\\", "\\")
        return values

    # --- the tool's outcome record and its event source -------------------------------------------------

    def clear_record(self):
        """No outcome record (Wine: the prefix keeps the earlier tests' record; Linux: a new registry file has
        none)."""
        if self.build.kind == "windows":
            wine("reg.exe", "delete", "HKLM\\SOFTWARE\\TORVA\\QuillonMigrationTool", "/f", "/reg:32")

    def write_record(self, **values):
        """Puts values into the outcome record as an earlier run would have: an int is a REG_DWORD."""
        for name, value in values.items():
            if self.build.kind == "windows":
                kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
                wine("reg.exe", "add", "HKLM\\SOFTWARE\\TORVA\\QuillonMigrationTool", "/v", name, "/t", kind, "/d",
                     str(value), "/f", "/reg:32", check=True)
            else:
                data = f"dword:{value:08x}" if isinstance(value, int) else '"' + value.replace("\\", "\\\\") + '"'
                with open(self.registry_file, "a", encoding="utf-8") as out:
                    out.write(f"\n[{RECORD_KEY}]\n\"{name}\"={data}\n")

    def record(self):
        """The outcome record's values now: texts as str, REG_DWORD as int (Windows: the 32-bit view)."""
        return self.key_values(RECORD_KEY, "32")

    def event_source(self):
        """The event source's registration: its values (a REG_EXPAND_SZ as its text)."""
        return self.key_values(EVENT_SOURCE_KEY, None)

    def key_values(self, key, view):
        values = {}
        if self.build.kind == "windows":
            command = ["reg.exe", "query", "HKLM\\" + key.split("\\", 1)[1]] + ([f"/reg:{view}"] if view else [])
            for line in wine(*command).stdout.decode("utf-8", "replace").splitlines():
                match = re.match(r"^\s+(\S+)\s+(REG_SZ|REG_EXPAND_SZ|REG_DWORD)\s*(.*)$", line)
                if match:
                    text = match.group(3).strip()
                    values[match.group(1)] = int(text, 16) if match.group(2) == "REG_DWORD" else text
            return values
        if not os.path.exists(self.registry_file):
            return values
        with open(self.registry_file, "rb") as registry:
            data = registry.read()
        text = data[2:].decode("utf-16-le") if data[:2] == b"\xff\xfe" else data.decode("utf-8-sig")
        inside = False
        for line in text.splitlines():
            if line.startswith("["):
                inside = line.lower() == f"[{key}]".lower()
            elif inside:
                match = re.match(r'^"([^"]*)"=(?:"(.*)"|dword:([0-9a-f]{8})|hex\(2\):([0-9a-f,]*))$', line)
                if match and match.group(2) is not None:
                    values[match.group(1)] = match.group(2).replace('\\"', '"').replace("\\\\", "\\")
                elif match and match.group(3):
                    values[match.group(1)] = int(match.group(3), 16)
                elif match:
                    raw = bytes(int(b, 16) for b in match.group(4).split(",") if b)
                    values[match.group(1)] = raw.decode("utf-16-le").rstrip("\0")
        return values

    def events(self):
        """Linux: each event the tool reported, as its JSON line says (Wine's event log cannot be read back)."""
        if not os.path.exists(self.event_file):
            return []
        with open(self.event_file, encoding="utf-8") as events:
            return [json.loads(line) for line in events]

    def installer_log_folder(self):
        """The folder of the Windows Installer's own logs: (the path as the tool names it, the local path)."""
        if self.build.kind == "linux":
            path = os.path.join(self.windows_dir, *INSTALLER_LOG_FOLDER)
            return path, path
        return "C:\\windows\\" + "\\".join(INSTALLER_LOG_FOLDER), self.local_path("C:\\windows\\" + "\\".join(INSTALLER_LOG_FOLDER))

    def local_path(self, path):
        """The local path of a path as the tool names it (under Wine: of drive C:, its names matched without
        regard to case, as Windows does)."""
        if self.build.kind == "linux":
            return path
        assert path[:3].lower() == "c:\\", path
        local = os.path.join(os.environ["WINEPREFIX"], "drive_c")
        for name in path[3:].split("\\"):
            found = [entry for entry in (os.listdir(local) if os.path.isdir(local) else []) if entry.lower() == name.lower()]
            local = os.path.join(local, found[0] if found else name)
        return local

    def installer_logs(self):
        """The names of the installer's logs in their folder that were not there when the sandbox was made."""
        folder = self.installer_log_folder()[1]
        names = set(os.listdir(folder)) if os.path.isdir(folder) else set()
        return sorted(names - getattr(self, "earlier_installer_logs", set()))

    def installer_calls(self):
        """Linux: the arguments of each run of the installer stand-in, in order."""
        return [call["argv"][1:] for call in self._installer_records()]

    def installer_starts(self):
        """Linux: when each run of the installer stand-in started (seconds since the epoch), in order."""
        return [call["started"] for call in self._installer_records()]

    def _installer_records(self):
        if not os.path.exists(self.installer_log):
            return []
        with open(self.installer_log, encoding="utf-8") as log:
            return [json.loads(line) for line in log]


class DistributionServer:
    """The build tree's local destination server: the files it serves and the faults it shows."""

    CONFIG = "/dist/Windows/config.js"

    def __init__(self):
        self.root = os.environ.get("QUILLON_TEST_SERVER_ROOT", "")
        if self.root.startswith("Z:"):
            self.root = self.root[2:].replace("\\", "/")
        self.base_url = os.environ.get("QUILLON_E2E_SERVER", "")
        self.http_url = os.environ.get("QUILLON_E2E_SERVER_HTTP", "")
        self.request_log = os.environ.get("QUILLON_TEST_SERVER_REQUESTS", "")
        if self.request_log.startswith("Z:"):
            self.request_log = self.request_log[2:].replace("\\", "/")

    @property
    def proxy(self):
        """The server as the user's proxy ("127.0.0.1:PORT", its http port): it serves absolute URLs and
        tunnels CONNECT to its own https port."""
        return "127.0.0.1:" + self.http_url.rsplit(":", 1)[1]

    @property
    def tunnel_target(self):
        """What a client asks the proxy to tunnel to ("localhost:PORT"); fault() takes it as the path."""
        return urllib.parse.urlsplit(self.base_url).netloc

    def requests(self):
        """Every request the server has logged so far, oldest first (tools/distribution-server)."""
        if not os.path.exists(self.request_log):
            return []
        with open(self.request_log, encoding="utf-8") as log:
            return [json.loads(line) for line in log]

    def publish(self, path, data):
        target = os.path.join(self.root, path.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("utf-8"))

    def publish_agent(self, package_bytes, script=None, path="/dist/Windows/agent/QuillonAgent.msi"):
        """A configuration script naming the package, and the package."""
        self.publish(self.CONFIG, script if script is not None else
                     f"// destination server\nvar SERVER = 'x';\nvar AGENT_MSI_URL = '{path}';\n")
        self.publish(path, package_bytes)

    def fault(self, path, modes):
        """Makes the server answer `path` wrongly (tools/distribution-server --help lists the modes)."""
        self._control(f"/_control/fault?path={urllib.parse.quote(path)}&modes={urllib.parse.quote(modes)}")

    def clear(self):
        self._control("/_control/clear")
        for entry in os.listdir(self.root):
            target = os.path.join(self.root, entry)
            shutil.rmtree(target) if os.path.isdir(target) else os.remove(target)

    def _control(self, path):
        context = ssl.create_default_context(cafile=os.environ.get("SSL_CERT_FILE"))
        with urllib.request.urlopen(self.base_url + path, context=context, timeout=10) as answer:
            answer.read()


class FleetServer:
    """A destination server of a crowd's own (tools/distribution-server, https on `port`, a throw-away CA in
    `ca`), as a migration day meets it: it serves `limit` requests at once and answers any beyond with 503
    and a Retry-After, sends the package in about `package_seconds`, and cuts `cut_share` of the transfers
    half-way."""

    PACKAGE = "/dist/Windows/agent/QuillonAgent.msi"

    def __init__(self, port, package_bytes, limit, package_seconds, cut_share, retry_after=1):
        self.work = tempfile.mkdtemp(prefix="quillon-fleet-")
        self.ca = os.path.join(self.work, "ca", "ca.pem")
        self.request_log = os.path.join(self.work, "requests.log")
        subprocess.run([os.path.join(ROOT, "tools", "make-test-ca"), os.path.dirname(self.ca)], check=True)
        root = os.path.join(self.work, "root")
        for path, data in ((DistributionServer.CONFIG, f"var AGENT_MSI_URL = '{self.PACKAGE}';\n".encode()),
                           (self.PACKAGE, package_bytes)):
            os.makedirs(os.path.dirname(root + path), exist_ok=True)
            with open(root + path, "wb") as out:
                out.write(data)
        ready = os.path.join(self.work, "ready")
        self.process = subprocess.Popen(
            [os.path.join(ROOT, "tools", "distribution-server"), "--root", root, "--https-port", str(port),
             "--cert", os.path.join(self.work, "ca", "server.pem"),
             "--key", os.path.join(self.work, "ca", "server-key.pem"), "--max-concurrent", str(limit),
             "--retry-after", str(retry_after), "--cut-share", str(cut_share),
             "--fault", f"{self.PACKAGE}=throttle={package_seconds}", "--request-log", self.request_log,
             "--ready-file", ready], stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise AssertionError(f"the fleet's server did not start on port {port}")
            time.sleep(0.1)

    def requests(self):
        """The requests it received: the path of each, in order."""
        if not os.path.exists(self.request_log):
            return []
        with open(self.request_log, encoding="utf-8") as log:
            return [json.loads(line)["path"] for line in log]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def run_fleet(build, count, server, timeout=300):
    """Starts `count` copies of the tool (Linux build) at once, each in a sandbox of its own (its temporary
    and lock folders, registry file and installer stand-in) with the old agent installed and the fleet's CA
    trusted, and agrees to the terms and closes the last box of each. Returns, per PC in the order started,
    (its Result, or the AssertionError of a run that went wrong, the seconds from the start until it ended,
    its Sandbox); the caller closes the sandboxes."""
    sandboxes = []
    for _ in range(count):
        sandbox = Sandbox(build)
        sandbox.write_license()
        sandbox.machine.install_old_agent()
        sandbox.environment["SSL_CERT_FILE"] = server.ca
        sandboxes.append(sandbox)
    outcomes = [None] * count
    start = time.monotonic()

    def run(index):
        try:
            result = sandboxes[index].run([("dialog", "agree"), ("box", "ok")], timeout=timeout)
        except AssertionError as error:
            result = error
        outcomes[index] = (result, time.monotonic() - start, sandboxes[index])
    threads = [threading.Thread(target=run, args=(index,)) for index in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return outcomes


class Sandbox:
    def __init__(self, build, root=None, temp_name="temp"):
        self.build = build
        self.root = root or tempfile.mkdtemp(prefix="quillon-e2e-")
        self.tool_dir = os.path.join(self.root, "tool")
        self.start_dir = os.path.join(self.root, "start")  # the current folder the tool is started in
        self.temp_dir = os.path.join(self.root, temp_name)
        self.lock_dir = os.path.join(self.root, "lock")
        for folder in (self.tool_dir, self.start_dir, self.temp_dir, self.lock_dir):
            os.makedirs(folder, exist_ok=True)
        self.executable = os.path.join(self.tool_dir, os.path.basename(build.tool))
        shutil.copy2(build.tool, self.executable)
        self.environment = {}
        self._transcripts = 0
        self.machine = AgentMachine(build, self.root)
        self.machine.remove_agent()
        self.machine.clear_record()
        self.machine.forget_interrupted_replacement()

    def close(self):
        # The prefix outlives the sandbox: no record of this PC's runs may meet a later test's agent.
        self.machine.clear_record()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- the tool's files -------------------------------------------------------------------------------
    def write(self, name, data, folder=None):
        path = os.path.join(folder or self.tool_dir, name)
        with open(path, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path

    def write_license(self, text="利用規約\r\nこのツールを使う前にお読みください。\r\n", bom=True):
        return self.write("License.txt", (b"\xff\xfe" if bom else b"") + text.encode("utf-16-le"))

    def write_auth(self, company_name, company_code, cert_code, encoding="utf-16"):
        """Auth.ini as an administrator saves it: UTF-16LE with its byte-order mark (the default here), or in
        any encoding Python names: "utf-8" (Notepad's default, no mark), "utf-8-sig", "cp932" (Shift-JIS)."""
        text = f"[CERT]\r\nCompanyName={company_name}\r\nCompanyCode={company_code}\r\nCertCode={cert_code}\r\n"
        data = b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf-16" else text.encode(encoding)
        return self.write("Auth.ini", data)

    @property
    def log_path(self):
        return os.path.join(self.temp_dir, "QuillonMigrationTool.log")

    @property
    def system_temp_dir(self):
        """The temporary folder of the account the finishing task runs as (SYSTEM): its run log is there."""
        path = os.path.join(self.root, "system-temp")
        os.makedirs(path, exist_ok=True)
        return path

    def boot(self, timeout=300, without_task=None):
        """Starts the PC again: runs the finishing task's command exactly as its definition holds it (Linux: the
        task file; Windows: Task Scheduler's definition, as Wine keeps it), as the system would at its start,
        with nobody to answer and in the system account's temporary folder. Wine's Task Scheduler runs no boot
        trigger, so this stands in for the boot on both builds. Returns a Result with that run's log, or None
        when no task is registered. without_task: the command to run instead where the system could not
        register the task (Wine), so that the finishing step itself can still be tried there."""
        task = self.machine.finish_task() or without_task
        if task is None:
            return None
        transcript = os.path.join(self.root, "boot-ui.jsonl")
        if os.path.exists(transcript):
            os.remove(transcript)
        system_log = os.path.join(self.system_temp_dir, "QuillonMigrationTool.log")
        earlier = len(read_log(system_log))
        # A test's kill is for the run it ends, not for the next start.
        settings = {name: value for name, value in self.environment.items() if name != "QUILLON_TEST_KILL_AT"}
        arguments = [argument for argument in task["arguments"].split(" ") if argument]
        output = os.path.join(self.root, "boot.out")
        with open(output, "wb") as out:
            if self.build.kind == "linux":
                env = dict(self.linux_environment(transcript), TMPDIR=self.system_temp_dir)
                env.pop("QUILLON_TEST_KILL_AT", None)
                code = subprocess.run([task["program"], *arguments], stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, env=env, cwd=self.start_dir, timeout=timeout).returncode
            else:
                variables = [f"TMP={windows_path(self.system_temp_dir)}", f"TEMP={windows_path(self.system_temp_dir)}",
                             f"QUILLON_UI_TRANSCRIPT={windows_path(transcript)}"]
                variables += [f"{name}={value}" for name, value in settings.items()]
                code = subprocess.run([os.environ["WINELOADER"], self.build.runner, *variables, "--", task["program"],
                                       *arguments], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                      cwd=self.start_dir, timeout=timeout).returncode
        records = []
        if os.path.exists(transcript):
            with open(transcript, encoding="utf-8") as lines:
                records = [json.loads(line) for line in lines]
        log = read_log(system_log)[earlier:]  # this start's lines
        with open(output, "rb") as out:
            return Result(code, [Window(record) for record in records], log, out.read().decode("utf-8", errors="replace"))

    # --- running ----------------------------------------------------------------------------------------
    def linux_environment(self, transcript=None):
        """The Linux tool's environment in this sandbox: its temporary folder, lock folder and machine."""
        env = dict(os.environ, TMPDIR=self.temp_dir, QUILLON_LOCK_DIR=self.lock_dir,
                   **self.machine.environment(), **self.environment)
        if transcript:
            env["QUILLON_UI_TRANSCRIPT"] = transcript
        return env

    def start(self, answers, screenshots=None, **options):
        """Starts the tool; returns a Running whose finish() answers its windows and waits for it.
        screenshots (Windows): a file name (.png) per answer, or None, for a picture of that window.
        options: arguments, station and watch, as Running takes them."""
        self._transcripts += 1
        transcript = os.path.join(self.root, f"ui-{self._transcripts}.jsonl")
        return Running(self, answers, transcript, screenshots, **options)

    def run(self, answers=(), timeout=120, screenshots=None, before_answer=None, **options):
        """before_answer(index), when given, is called when window `index` shows, before it is answered."""
        return self.start(answers, screenshots, **options).finish(timeout, before_answer)

    def run_check(self, own_console=False, timeout=120):
        """Runs the server check program from the tool's folder, as an administrator's script does: its output
        redirected to a file. own_console (Windows): in a console of its own instead, as a double-click starts
        it, where it shows its report in a box at the end, which is answered. Returns a Result with the check's
        own run log and, as `output`, the bytes it wrote."""
        executable = os.path.join(self.tool_dir, os.path.basename(self.build.check))
        shutil.copy2(self.build.check, executable)
        transcript, output = os.path.join(self.root, "check-ui.jsonl"), os.path.join(self.root, "check.out")
        if os.path.exists(transcript):
            os.remove(transcript)  # an earlier run's windows are not this one's
        with open(output, "wb") as out, open(output + ".err", "wb") as err:
            if self.build.kind == "linux":
                code = subprocess.run([executable], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                      env=self.linux_environment(transcript), cwd=self.start_dir,
                                      timeout=timeout).returncode
            else:
                settings = [f"TMP={windows_path(self.temp_dir)}", f"TEMP={windows_path(self.temp_dir)}",
                            f"QUILLON_UI_TRANSCRIPT={windows_path(transcript)}"]
                settings += [f"{name}={value}" for name, value in self.environment.items()]
                process = subprocess.Popen([os.environ["WINELOADER"], self.build.runner,
                                            *(["--new-console"] if own_console else []), *settings, "--",
                                            windows_path(executable)],
                                           stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=self.start_dir)
                try:
                    if own_console:
                        subprocess.run([os.environ["WINELOADER"], self.build.driver, "--caption", CHECK_CAPTION,
                                        "--timeout", str(timeout), "--press", "ok"], capture_output=True,
                                       timeout=timeout + 30)
                    code = process.wait(timeout=timeout)
                except subprocess.TimeoutExpired:
                    process.kill()
                    raise AssertionError("the server check did not end") from None
        records = []
        if os.path.exists(transcript):
            with open(transcript, encoding="utf-8") as lines:
                records = [json.loads(line) for line in lines]
        with open(output, "rb") as out:
            written = out.read()
        result = Result(code, [Window(record) for record in records], read_log(os.path.join(self.temp_dir, CHECK_LOG)),
                        written.decode("utf-8", errors="replace"))
        result.output = written
        return result


class Running:
    """One run of the tool: answered window by window, as a user would, noting how many run-log entries
    existed when each window was shown (so a test can tell a box shown before its log line from one shown
    after)."""

    def __init__(self, sandbox, answers, transcript, screenshots=None, arguments=(), station=None, watch=False,
                 detached=False):
        """arguments: the tool's command line. station: the name of a window station that no user sees, to
        start the tool in (Linux: the stand-in's QUILLON_WINDOW_STATION; Windows: a station the runner
        creates). watch (Windows): the UI driver looks for any window of the tool's for as long as it runs
        (Result.driver_seen). detached (Windows): started as a double-click starts it, with no console to lend
        it and no output of the runner's (otherwise it writes to the runner's output, Result.stdout)."""
        self.sandbox, self.answers, self.transcript = sandbox, list(answers), transcript
        self.arguments, self.station, self.detached = list(arguments), station, detached
        self.screenshots = list(screenshots or [])
        self.seen, self.log_counts, self.output = [], [], b""
        self.driver_seen = []
        self._answered = 0  # the answers given so far (answer() gives some before finish() gives the rest)
        self._first_shown = False  # Windows: the first window was awaited already (wait_for_window)
        # The run log as it was before this run (None: there was none), to tell what this copy wrote.
        self._log_at_start = None
        if os.path.exists(sandbox.log_path):
            with open(sandbox.log_path, "rb") as log:
                self._log_at_start = log.read()
        if sandbox.build.kind == "linux":
            env = sandbox.linux_environment(transcript)
            if station:
                env["QUILLON_WINDOW_STATION"] = station
            self.process = subprocess.Popen([sandbox.executable, *self.arguments], stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                                            cwd=sandbox.start_dir)
        else:
            self._start_under_wine()
        self._watcher = None
        if watch and sandbox.build.kind == "windows":
            self._watcher = threading.Thread(target=self._watch_windows, daemon=True)
            self._watcher.start()

    def _watch_windows(self):
        """Windows: every window with the tool's caption that the driver finds while the tool runs."""
        while self.process.poll() is None:
            done = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                                   "--timeout", "2", "--none"], capture_output=True, timeout=60)
            if done.returncode == 0 and done.stdout.strip():
                self.driver_seen.append(json.loads(done.stdout.decode("utf-8").splitlines()[0]))
                return

    def _start_under_wine(self):
        sandbox = self.sandbox
        settings = [f"TMP={windows_path(sandbox.temp_dir)}", f"TEMP={windows_path(sandbox.temp_dir)}",
                    f"QUILLON_UI_TRANSCRIPT={windows_path(self.transcript)}"]
        settings += [f"{name}={value}" for name, value in sandbox.environment.items()]
        self.pid_file = self.transcript + ".pid"
        # Output to a file, not a pipe: Wine's processes may outlive the runner and keep a pipe open.
        self.output_file = open(self.transcript + ".out", "wb")
        desktop = ["--desktop", self.station + "\\Default"] if self.station else []
        if self.detached:
            desktop.append("--new-console")
        self.process = subprocess.Popen([os.environ["WINELOADER"], sandbox.build.runner,
                                         "--pid-file", windows_path(self.pid_file), *desktop, *settings, "--",
                                         windows_path(sandbox.executable), *self.arguments],
                                        stdin=subprocess.DEVNULL, stdout=self.output_file, stderr=subprocess.STDOUT,
                                        cwd=sandbox.start_dir)

    def _end_under_wine(self):
        """Ends this copy of the tool (and no other copy that a test runs beside it)."""
        if os.path.exists(self.pid_file):
            with open(self.pid_file) as pid:
                wine("taskkill.exe", "/f", "/pid", pid.read().strip())
        self.process.kill()
        self.process.wait()
        self.output_file.close()

    def _first_window_under_wine(self, kind, timeout):
        """Waits for the first window. A copy that has done nothing at all by then (no window, no run-log
        entry, no transcript line) is started once more: now and then a process under Wine hangs while it
        starts (about one run of the suite in ten). A tool that hangs again fails its test. The first wait is
        long enough for a start on a machine whose cores are both busy (seen to take over 45 s): a copy given up
        while it is still starting would meet its successor as a second copy."""
        try:
            return self.drive(kind, "--none", timeout=min(timeout, 90))
        except AssertionError:
            if self.process.poll() is not None or os.path.exists(self.transcript) or self._logged_beyond_start():
                raise
        self._end_under_wine()
        self._forget_started_lines()
        self._start_under_wine()
        return self.drive(kind, "--none", timeout=timeout)

    def _logged_lines(self):
        """The run-log entries this copy wrote."""
        before = len(read_log_bytes(self._log_at_start)) if self._log_at_start else 0
        return read_log(self.sandbox.log_path)[before:]

    def _logged_beyond_start(self):
        """Whether this copy logged anything but the line of its command line (line 20), which it writes
        before its first window."""
        return any(entry.line != 20 for entry in self._logged_lines())

    def _forget_started_lines(self):
        """The run log back as it was before a copy that hung while it started, so its successor's lines
        are the run's only ones."""
        if self._log_at_start is None:
            if os.path.exists(self.sandbox.log_path):
                os.remove(self.sandbox.log_path)
            return
        with open(self.sandbox.log_path, "wb") as log:
            log.write(self._log_at_start)

    # --- Linux: the terminal ---------------------------------------------------------------------------
    def _next_prompt(self, timeout):
        """Reads the tool's output up to the answers line of its next window; False when it ended first."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            line = self.process.stdout.readline()
            if not line:
                return False
            self.output += line
            if b"(Enter)" in line and line.startswith(b"["):  # the answers line closes every window
                return True
        raise AssertionError("the tool showed no window in time")

    # --- Windows: the UI driver ------------------------------------------------------------------------
    def drive(self, kind, *driver_arguments, timeout=60):
        """One UI driver call on the tool's current window of this kind; returns what it saw."""
        try:
            done = self._driver(kind, *driver_arguments, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"no {kind} window: the driver did not answer in time") from None
        if done.returncode != 0 or not done.stdout.strip():
            raise AssertionError(f"no {kind} window (driver exit {done.returncode}: "
                                 f"{done.stderr.decode('utf-8', 'replace')})")
        return json.loads(done.stdout.decode("utf-8"))

    def _driver(self, kind, *driver_arguments, timeout):
        return subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                               "--timeout", str(timeout), *WINDOW_SELECTORS[kind], *driver_arguments],
                              capture_output=True, timeout=timeout + 30)

    def progress_shown(self):
        """Windows: whether the progress window is on the screen now."""
        return self._driver("progress", "--none", timeout=0).returncode == 0

    def drive_installer(self, *driver_arguments, timeout=60):
        """Answers the installer's error box (Windows)."""
        done = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", INSTALLER_ERROR_CAPTION,
                               "--timeout", str(timeout), *driver_arguments], capture_output=True, timeout=timeout + 30)
        if done.returncode != 0:
            raise AssertionError(f"no installer error box (driver exit {done.returncode})")

    # --- the progress ---------------------------------------------------------------------------------
    def wait_for_progress(self, text, timeout=60):
        """Waits until the progress shows the step with this text (its record in the UI transcript)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if any(record["kind"] == "progress" and record["text"] == text for record in self._records()):
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError(f"the progress never showed {text!r}")

    def cancel(self, how="cancel"):
        """The user stops the run at the progress: Linux, Ctrl+C; Windows, the window's Cancel button, Esc or
        its close button. Windows returns what the driver saw of the window."""
        if self.sandbox.build.kind == "linux":
            self.process.send_signal(signal.SIGINT)
            return None
        return self.drive("progress", *WINDOWS_ANSWERS[how])

    def longest_answer(self, seconds):
        """Windows: the longest the progress window took, in milliseconds, to answer a message sent to it
        every 50 ms for `seconds`."""
        return self.drive("progress", "--none", "--probe", str(seconds))["longestAnswerMs"]

    def _records(self):
        if not os.path.exists(self.transcript):
            return []
        with open(self.transcript, encoding="utf-8") as lines:
            return [json.loads(line) for line in lines if line.endswith("\n")]

    def wait_for_window(self, kind="dialog", timeout=60):
        """Waits until the tool shows its first window, without answering it."""
        if self.sandbox.build.kind == "linux":
            if not self._next_prompt(timeout):
                raise AssertionError("the tool showed no window")
            self._prompt_pending = True
        else:
            self._first_window_under_wine(kind, timeout)
            self._first_shown = True

    def answer(self, count, timeout=60):
        """Answers the next `count` windows now, so that a test can act between them; finish() answers the
        rest."""
        self._answer_all(timeout, until=self._answered + count)

    def look(self, kind, picture=None, timeout=60):
        """What the driver sees of the tool's window of this kind now (Windows), without answering it;
        picture: a file name (.png) for a picture of it."""
        arguments = ["--none"]
        if picture:
            arguments += ["--screenshot", windows_path(picture + ".bmp")]
        seen = self.drive(kind, *arguments, timeout=timeout)
        if picture:
            subprocess.run(["convert", picture + ".bmp", picture], check=True)
            os.remove(picture + ".bmp")
        return seen

    def _answer_all(self, timeout, before_answer=None, until=None):
        linux = self.sandbox.build.kind == "linux"
        for index in range(self._answered, len(self.answers) if until is None else until):
            kind, action = self.answers[index]
            self._answered = index + 1
            if kind == "installer":
                if not linux:
                    self.drive_installer(*WINDOWS_ANSWERS[action], timeout=timeout)
                continue
            if linux:
                if not getattr(self, "_prompt_pending", False) and not self._next_prompt(timeout):
                    return  # the tool ended: the test will see which windows were missing
                self._prompt_pending = False
                self.log_counts.append(len(read_log(self.sandbox.log_path)))
                if before_answer:
                    before_answer(index)
                if action in ("esc", "close", "altf4"):
                    break  # the end of input (below) is the close button
                self.process.stdin.write((LINUX_ANSWERS[action] + "\n").encode("utf-8"))
                self.process.stdin.flush()
            else:
                if index == 0 and not self._first_shown:
                    self._first_window_under_wine(kind, timeout)
                else:
                    self.drive(kind, "--none", timeout=timeout)
                self.log_counts.append(len(read_log(self.sandbox.log_path)))
                if before_answer:
                    before_answer(index)
                picture = self.screenshots[index] if index < len(self.screenshots) else None
                if picture:
                    self.look(kind, picture, timeout)
                self.seen.append(self.drive(kind, *WINDOWS_ANSWERS[action], timeout=timeout))

    def _wait(self, timeout):
        """Waits for the tool to end; any window still open then is a test failure, and the tool is ended."""
        windows = self.sandbox.build.kind == "windows"
        try:
            if not windows:
                # communicate ends the tool's input: a window still asking then gets the close button.
                self.output += self.process.communicate(timeout=timeout)[0]
                return
            self.process.wait(timeout=timeout)
            self.output_file.close()
            with open(self.output_file.name, "rb") as output:
                self.output += output.read()
        except subprocess.TimeoutExpired:
            showing = ""
            if windows:
                showing = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                                          "--timeout", "1", "--none"], capture_output=True).stdout.decode("utf-8")
                self._end_under_wine()
            else:
                self.process.kill()
                self.process.wait()
            raise AssertionError(f"the tool did not end; it shows: {showing or 'nothing known'}")

    def finish(self, timeout=120, before_answer=None):
        self._answer_all(timeout, before_answer)
        self._wait(timeout)
        records = self._records()
        shown = [record for record in records if record["kind"] != "progress"]
        windows = [Window(record, self.seen[i] if i < len(self.seen) else None) for i, record in enumerate(shown)]
        progress = [Window(record) for record in records if record["kind"] == "progress"]
        if self._watcher:
            self._watcher.join()
        result = Result(self.process.returncode, windows, read_log(self.sandbox.log_path),
                        self.output.decode("utf-8", errors="replace"), progress)
        result.log_counts = self.log_counts
        result.driver_seen = self.driver_seen
        result.machine = self.sandbox.machine  # what the run left on the PC: its record, its events
        return result
