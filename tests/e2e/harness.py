"""Running the real tool as a user does, on either build, and reading back what it did.

A Sandbox is one folder per scenario: the tool's folder (the executable, License.txt, Auth.ini), its own
temporary folder (run log, package) and the UI transcript. `run` starts the tool, answers each window it
shows with the answers given, and returns a Result with the exit status, the windows the user saw, and
the run log's entries.

Linux: the tool reads its answers from stdin (one line each, end of input = the close button).
Windows: the tool runs under Wine (inside a wine-session) and our UI driver finds and answers each real
window, recording what it showed.
"""
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CAPTION = "Quillon移行ツール"
IDC_AGREE = 1002
IDC_DISAGREE = 1003

MB_OK, MB_YESNO, MB_ICONWARNING = 0x0, 0x4, 0x30
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


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


def read_log(path):
    """The run log's entries. Checks the byte format: a BOM, UTF-16LE, every line ended by CR LF."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as log:
        data = log.read()
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
    return entries


def flow_line(line, level, text_id):
    return ("MigrationTool.cpp", "CMigrationToolApp::InitInstance", line, level, message(text_id))


def helper_line(function, line, level, text):
    return ("Helper.cpp", "Helper::" + function, line, level, text)


class Window:
    """A window the user saw: from the tool's UI transcript, and on Windows also as the driver read it."""

    def __init__(self, record, seen=None):
        self.kind, self.caption, self.text = record["kind"], record["caption"], record["text"]
        self.flags, self.button = record["flags"], record["button"]
        self.seen = seen

    def __repr__(self):
        return f"{self.kind}({self.text[:20]!r}, flags={self.flags}, button={self.button})"


class Result:
    def __init__(self, exit_code, windows, log, stdout):
        self.exit_code, self.windows, self.log, self.stdout = exit_code, windows, log, stdout

    def log_keys(self):
        return [entry.key() for entry in self.log]


# What the user does with a window. Dialog answers: agree, disagree, enter, esc, close, altf4.
# Box answers: ok, yes, no, enter, close.
LINUX_ANSWERS = {"agree": "a", "disagree": "d", "ok": "o", "yes": "y", "no": "n", "enter": ""}
WINDOWS_ANSWERS = {
    "agree": ["--press", f"#{IDC_AGREE}"], "disagree": ["--press", f"#{IDC_DISAGREE}"],
    "ok": ["--press", "ok"], "yes": ["--press", "yes"], "no": ["--press", "no"],
    "enter": ["--key", "enter"], "esc": ["--key", "esc"], "close": ["--close"], "altf4": ["--key", "alt+f4"],
}


class Build:
    """How to run the tool on one build. `tool` is the executable to copy into each sandbox."""

    def __init__(self, kind, tool, driver=None, runner=None):
        assert kind in ("linux", "windows")
        self.kind, self.tool, self.driver, self.runner = kind, tool, driver, runner

    @staticmethod
    def from_environment():
        kind = os.environ["QUILLON_E2E_BUILD"]
        return Build(kind, os.environ["QUILLON_E2E_TOOL"], os.environ.get("QUILLON_E2E_DRIVER"),
                     os.environ.get("QUILLON_E2E_RUNNER"))


def windows_path(path):
    """The Wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Sandbox:
    def __init__(self, build, root=None):
        self.build = build
        self.root = root or tempfile.mkdtemp(prefix="quillon-e2e-")
        self.tool_dir = os.path.join(self.root, "tool")
        self.temp_dir = os.path.join(self.root, "temp")
        self.lock_dir = os.path.join(self.root, "lock")
        for folder in (self.tool_dir, self.temp_dir, self.lock_dir):
            os.makedirs(folder, exist_ok=True)
        self.executable = os.path.join(self.tool_dir, os.path.basename(build.tool))
        shutil.copy2(build.tool, self.executable)
        self.environment = {}
        self._transcripts = 0

    def close(self):
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

    def write_auth(self, company_name, company_code, cert_code):
        return self.write("Auth.ini", f"[CERT]\r\nCompanyName={company_name}\r\nCompanyCode={company_code}\r\n"
                                      f"CertCode={cert_code}\r\n")

    @property
    def log_path(self):
        return os.path.join(self.temp_dir, "QuillonMigrationTool.log")

    # --- running ----------------------------------------------------------------------------------------
    def start(self, answers, screenshots=None):
        """Starts the tool; returns a Running whose finish() answers its windows and waits for it.
        screenshots (Windows): a file name (.png) per answer, or None, for a picture of that window."""
        self._transcripts += 1
        transcript = os.path.join(self.root, f"ui-{self._transcripts}.jsonl")
        return Running(self, answers, transcript, screenshots)

    def run(self, answers=(), timeout=120, screenshots=None):
        return self.start(answers, screenshots).finish(timeout)


class Running:
    def __init__(self, sandbox, answers, transcript, screenshots=None):
        self.sandbox, self.answers, self.transcript = sandbox, list(answers), transcript
        self.screenshots = list(screenshots or [])
        self.seen = []
        build = sandbox.build
        if build.kind == "linux":
            env = dict(os.environ, TMPDIR=sandbox.temp_dir, QUILLON_LOCK_DIR=sandbox.lock_dir,
                       QUILLON_UI_TRANSCRIPT=transcript, **sandbox.environment)
            self.process = subprocess.Popen([sandbox.executable], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=subprocess.STDOUT, env=env)
        else:
            settings = [f"TMP={windows_path(sandbox.temp_dir)}", f"TEMP={windows_path(sandbox.temp_dir)}",
                        f"QUILLON_UI_TRANSCRIPT={windows_path(transcript)}"]
            settings += [f"{name}={value}" for name, value in sandbox.environment.items()]
            # Output to a file, not a pipe: Wine's processes may outlive the runner and keep a pipe open.
            self.output = open(transcript + ".out", "wb")
            self.process = subprocess.Popen([os.environ["WINELOADER"], build.runner, *settings, "--",
                                             windows_path(sandbox.executable)],
                                            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT)

    def drive(self, kind, *driver_arguments, timeout=60):
        """Windows: one UI driver call on the tool's current window; returns what it saw."""
        selector = ["--has-control", str(IDC_AGREE)] if kind == "dialog" else ["--lacks-control", str(IDC_AGREE)]
        done = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                               "--timeout", str(timeout), *selector, *driver_arguments],
                              capture_output=True, timeout=timeout + 30)
        if done.returncode != 0:
            raise AssertionError(f"no {kind} window (driver exit {done.returncode})")
        return json.loads(done.stdout.decode("utf-8"))

    def answer_windows(self, timeout=60):
        """Windows: answers each expected window with the UI driver, recording what it showed."""
        for index, (kind, action) in enumerate(self.answers):
            selector = ["--has-control", str(IDC_AGREE)] if kind == "dialog" else ["--lacks-control", str(IDC_AGREE)]
            picture = self.screenshots[index] if index < len(self.screenshots) else None
            if picture:
                selector += ["--screenshot", windows_path(picture + ".bmp")]
            done = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                                   "--timeout", str(timeout), *selector, *WINDOWS_ANSWERS[action]],
                                  capture_output=True, timeout=timeout + 30)
            if picture:
                subprocess.run(["convert", picture + ".bmp", picture], check=True)
                os.remove(picture + ".bmp")
            line = done.stdout.decode("utf-8").strip()
            if done.returncode != 0 or not line:
                raise AssertionError(f"no {kind} window to answer with {action} "
                                     f"(driver exit {done.returncode}: {done.stderr.decode(errors='replace')})")
            self.seen.append(json.loads(line))

    def wait_for_window(self, kind="dialog", timeout=60):
        """Waits until the tool shows its first window (without answering it)."""
        if self.sandbox.build.kind == "linux":
            deadline = time.time() + timeout
            self.early_output = b""
            while time.time() < deadline:
                line = self.process.stdout.readline()
                if not line:
                    break
                self.early_output += line
                if line.startswith(b"["):  # the answers line comes last
                    return
            raise AssertionError("the tool showed no window")
        selector = ["--has-control", str(IDC_AGREE)] if kind == "dialog" else ["--lacks-control", str(IDC_AGREE)]
        done = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                               "--timeout", str(timeout), *selector, "--none"], capture_output=True, timeout=timeout + 30)
        if done.returncode != 0:
            raise AssertionError("the tool showed no window")

    def _wait(self, timeout, stdin=None):
        windows = self.sandbox.build.kind == "windows"
        try:
            if not windows:
                return self.process.communicate(stdin, timeout=timeout)[0]
            self.process.wait(timeout=timeout)
            self.output.close()
            with open(self.output.name, "rb") as output:
                return output.read()
        except subprocess.TimeoutExpired:
            showing = ""
            if windows:
                showing = subprocess.run([os.environ["WINELOADER"], self.sandbox.build.driver, "--caption", CAPTION,
                                          "--timeout", "1", "--none"], capture_output=True).stdout.decode("utf-8")
                subprocess.run([os.environ["WINELOADER"], "taskkill.exe", "/f", "/im",
                                os.path.basename(self.sandbox.executable)], capture_output=True)
            self.process.kill()
            self.process.wait()
            raise AssertionError(f"the tool did not end; it shows: {showing or 'nothing known'}")

    def finish(self, timeout=120):
        if self.sandbox.build.kind == "linux":
            lines = []
            for kind, action in self.answers:
                if action in ("esc", "close", "altf4"):
                    break  # the end of input is the close button
                lines.append(LINUX_ANSWERS[action])
            stdin = "".join(line + "\n" for line in lines).encode("utf-8")
            stdout = getattr(self, "early_output", b"") + self._wait(timeout, stdin)
        else:
            self.answer_windows()
            stdout = self._wait(timeout)
        records = []
        if os.path.exists(self.transcript):
            with open(self.transcript, encoding="utf-8") as lines:
                records = [json.loads(line) for line in lines]
        windows = [Window(record, self.seen[i] if i < len(self.seen) else None) for i, record in enumerate(records)]
        return Result(self.process.returncode, windows, read_log(self.sandbox.log_path),
                      stdout.decode("utf-8", errors="replace"))
