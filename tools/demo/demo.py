#!/usr/bin/env python3
"""The tool's main job in a sandbox: a real migration of an installed old agent to the new one, run by you
in the terminal. scripts/demo builds what it needs and calls this.

    demo.py linux   BUILD_DIR DEMO_DIR
    demo.py windows BUILD_DIR DEMO_DIR      (inside a wine-session: the Windows exe under Wine)
    demo.py linux   BUILD_DIR DEMO_DIR --power-cut

--power-cut: the run ends just after the uninstall, as a power cut would end it (the demo build's kill point
QUILLON_TEST_KILL_AT=after-uninstall). The PC is left without an agent, with the journal and the finishing
task; then the PC "starts again": the task's command, read back from the task's definition, runs with nobody
at the keyboard, and the new agent arrives.

The sandbox: a local destination server over https with its own test CA (trusted by the sandbox only),
serving the configuration script and the new agent's package (6.0.0); the old agent 5.1.0 installed (Linux:
a registry file and the installer stand-in; Windows: Wine's registry and its real msiexec); the tool's
folder with sample terms and Auth.ini. At the end it prints the run log and the agent's new state.

Answers: the terms dialog a (agree) / d (disagree); boxes y / n or Enter for OK. Without a terminal, one
answer per line from stdin; the end of input closes the window.
"""
import functools
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import CAPTION, IDC_AGREE, Build, Sandbox, read_log, wine, windows_path  # noqa: E402

print = functools.partial(print, flush=True)  # a line at a time, also into a pipe

SAMPLE_AUTH = ("株式会社トルバ", "TORVA-0001", "4F2A-9C31")


def server_port(build_dir):
    """The port the build tree's test and demo builds of the tool are compiled to reach."""
    with open(os.path.join(build_dir, "test-server-port"), encoding="utf-8") as port:
        return int(port.read())


def start_server(demo_dir, port, package):
    """The destination server: its CA, its files, the server itself on the loopback."""
    ca = os.path.join(demo_dir, "ca")
    subprocess.run([os.path.join(ROOT, "tools", "make-test-ca"), ca], check=True)
    root = os.path.join(demo_dir, "server")
    os.makedirs(os.path.join(root, "dist", "Windows", "agent"))
    with open(os.path.join(root, "dist", "Windows", "config.js"), "w", encoding="utf-8") as script:
        script.write("// The destination server's configuration for Windows clients.\n"
                     "var SERVER_NAME = 'demo';\nvar AGENT_MSI_URL = '/dist/Windows/agent/QuillonAgent.msi';\n")
    shutil.copy(package, os.path.join(root, "dist", "Windows", "agent", "QuillonAgent.msi"))
    ready = os.path.join(demo_dir, "server.ready")
    server = subprocess.Popen([os.path.join(ROOT, "tools", "distribution-server"), "--root", root,
                               "--https-port", str(port), "--cert", os.path.join(ca, "server.pem"),
                               "--key", os.path.join(ca, "server-key.pem"), "--ready-file", ready,
                               "--request-log", os.path.join(demo_dir, "server-requests.log")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(ready) and os.path.getsize(ready):
            return server, os.path.join(ca, "ca.pem")
        if server.poll() is not None:
            break
        time.sleep(0.1)
    raise SystemExit(f"demo: the local server could not listen on port {port}")


def ask(prompt):
    """One answer: typed at the terminal, or the next line of stdin; None at the end of input."""
    if sys.stdin.isatty():
        try:
            return input(prompt).strip().lower()
        except EOFError:
            return None
    line = sys.stdin.readline()
    return line.strip().lower() if line else None


def driver(build, *arguments):
    """One UI driver call; what it printed, or None when it failed. Its output goes through a file, not a
    pipe: the first Windows program to draw starts Wine's desktop process, which inherits that program's
    handles and lives on, so a pipe would never reach its end and the demo would wait for ever."""
    with tempfile.TemporaryFile() as output:
        done = subprocess.run([os.environ["WINELOADER"], build.driver, *arguments], stdin=subprocess.DEVNULL,
                              stdout=output, stderr=subprocess.DEVNULL)
        output.seek(0)
        printed = output.read().decode("utf-8").strip()
    return printed if done.returncode == 0 and printed else None


def run_windows(sandbox, build):
    """The Windows exe under Wine: each window it shows is printed here, and your answer pressed there."""
    settings = [f"TMP={windows_path(sandbox.temp_dir)}", f"TEMP={windows_path(sandbox.temp_dir)}"]
    tool = subprocess.Popen([os.environ["WINELOADER"], build.runner, *settings, "--", windows_path(sandbox.executable)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while tool.poll() is None:
        seen = driver(build, "--caption", CAPTION, "--none", "--timeout", "1")
        if seen is None:
            continue
        window = json.loads(seen)
        dialog = any(c["id"] == IDC_AGREE for c in window["controls"])
        print(f"\n==== {window['caption']} ====\n{window['text']}")
        if dialog:
            print("\n" + next(c["text"] for c in window["controls"] if c["class"].lower() == "edit"))
            choices = {"a": ["--press", f"#{IDC_AGREE}"], "d": ["--press", "#1003"], "": ["--key", "enter"]}
            print("[a] 同意する (Enter)  [d] 同意しない")
        elif len(window["buttons"]) == 2:
            choices = {"y": ["--press", "yes"], "n": ["--press", "no"], "": ["--press", "yes"]}
            print("[y] はい(Y) (Enter)  [n] いいえ(N)")
        else:
            choices = {"o": ["--press", "ok"], "": ["--press", "ok"]}
            print("[o] OK (Enter)")
        answer = ask("> ")
        while answer is not None and answer not in choices:
            answer = ask("? > ")
        action = ["--close"] if answer is None else choices[answer]
        selector = ["--has-control" if dialog else "--lacks-control", str(IDC_AGREE)]
        driver(build, "--caption", CAPTION, *selector, *action)
    return tool.returncode


def print_log(path):
    print(f"\n---- run log ({path}) ----")
    for entry in read_log(path):
        print(f"{entry.stamp} {entry.level} FILE:{entry.source} FUNCTION:{entry.function} LINE:{entry.line} {entry.message}")


def print_agent(sandbox):
    print("\n---- the agent's registry key now (HKLM\\SOFTWARE\\TORVA\\Quillon) ----")
    values = sandbox.machine.agent_values()
    for name, value in sorted(values.items()):
        print(f"{name} = {value}")
    if not values:
        print("(none: the PC has no agent)")


def start_again(sandbox):
    """The PC starts again: the finishing task's command, as its definition holds it, with nobody there."""
    print("\n==== the power is back: the PC starts again ====")
    task = sandbox.machine.finish_task()
    print(f"the finishing task runs: {task['program']} {task['arguments']}" if task else "no finishing task")
    booted = sandbox.boot()
    print(f"\n==== the finishing task ended with exit status {booted.exit_code} ====")
    print_log(os.path.join(sandbox.system_temp_dir, "QuillonMigrationTool.log"))
    print_agent(sandbox)
    print(f"\njournal files left: {sandbox.machine.journal_files() or 'none'}; "
          f"task left: {sandbox.machine.finish_task() or 'none'}")
    return booted.exit_code


def main():
    kind, build_dir, demo_dir = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    power_cut = sys.argv[4:] == ["--power-cut"]
    shutil.rmtree(demo_dir, ignore_errors=True)
    os.makedirs(demo_dir)
    windows = kind == "windows"
    suffix = ".exe" if windows else ""
    build = Build(kind, os.path.join(build_dir, "tests", "e2e", "tool", "MigrationTool" + suffix),
                  driver=os.path.join(build_dir, "tests", "wine", "quillon-uidriver.exe"),
                  runner=os.path.join(build_dir, "tests", "wine", "quillon-run.exe"),
                  packages=os.path.join(build_dir, "tools", "agent-packages"),
                  standin=os.path.join(ROOT, "tools", "msiexec-standin"),
                  read_task=os.path.join(build_dir, "tests", "e2e", "quillon-read-task"))
    port = server_port(build_dir)

    sandbox = Sandbox(build, root=os.path.join(demo_dir, "pc"))
    with open(os.path.join(ROOT, "docs", "License.sample.txt"), encoding="utf-8") as terms:
        sandbox.write_license(terms.read().replace("\n", "\r\n"))
    sandbox.write_auth(*SAMPLE_AUTH)
    print("demo: installing the old agent 5.1.0 ...")
    sandbox.machine.install_old_agent()
    server, ca = start_server(demo_dir, port, build.package("new-agent.msi"))
    try:
        print(f"demo: the destination server is https://localhost:{port}; the tool's folder is {sandbox.tool_dir}")
        if windows:
            wine(os.path.join(build_dir, "tests", "quillon-trust-ca.exe"), windows_path(ca), check=True)
            exit_code = run_windows(sandbox, build)
        else:
            env = dict(os.environ, TMPDIR=sandbox.temp_dir, SSL_CERT_FILE=ca, **sandbox.machine.environment())
            env.pop("SSL_CERT_DIR", None)
            if power_cut:
                env["QUILLON_TEST_KILL_AT"] = "after-uninstall"
                print("demo: the power will be cut just after the uninstall ...")
            exit_code = subprocess.run([sandbox.executable], env=env).returncode
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait()

    if power_cut and exit_code == -signal.SIGKILL:
        print("\n==== the power was cut after the uninstall (the tool's process was killed) ====")
        print_log(sandbox.log_path)
        print_agent(sandbox)
        print(f"\nin the data folder {sandbox.machine.data_folder()}: {', '.join(sandbox.machine.journal_files())}")
        exit_code = start_again(sandbox)
    else:
        print(f"\n==== the tool ended with exit status {exit_code} (docs/ADMINISTRATORS.md, \"Exit statuses\") ====")
        print_log(sandbox.log_path)
        print_agent(sandbox)
    print("\n---- the tool's outcome record (HKLM\\SOFTWARE\\TORVA\\QuillonMigrationTool, 32-bit view) ----")
    for name, value in sorted(sandbox.machine.record().items()):
        print(f"{name} = {value}")
    for call in sandbox.machine.installer_calls():
        print("installer run: msiexec.exe " + " ".join(call))
    return exit_code


if __name__ == "__main__":
    sys.exit(main())
