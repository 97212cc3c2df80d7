#!/usr/bin/env python3
"""The server check program as an administrator runs it on a PC of a site, against the build tree's local
destination server: its report line by line (read from its redirected output), its exit status (that of
scripts/check-server), its own run log, and a PC left as it was. One table of cases, each of which may set the
PC up first (its environment, its registry) through the sandbox before the check runs."""
import os
import re
import shutil
import unittest

from harness import (CHECK_CAPTION, LOG_SITES, MB_ICONWARNING, MB_OK, NEW_AGENT, Build, DistributionServer, Sandbox,
                     message, set_internet_settings, windows_path)

BUILD = Build.from_environment()
WINDOWS = BUILD.kind == "windows"
SERVER = DistributionServer()
PACKAGE_PATH = "/dist/Windows/agent/QuillonAgent.msi"
MB_ICONINFORMATION = 0x40


def text(number, *values):
    """Catalogue text `number` with its %s and %d filled in, in order."""
    values = iter(values)
    return re.sub(r"%[sd]", lambda _: str(next(values)), message(number))


def package(name):
    with open(BUILD.package(name), "rb") as data:
        return data.read()


def failed(reason, logged, status, tool_status):
    """The report's last lines for a failed step: the reason, with what the step logged, and the verdict."""
    return [text(158, message(reason) + (f" ({logged})" if logged else "")), text(160, status, tool_status)]


class ServerCheckTest(unittest.TestCase):
    def test_each_outcome_as_the_administrator_reads_it(self):
        good, without_transform = package("new-agent.msi"), package("new-agent-without-transform.msi")
        config_url, package_url = SERVER.base_url + SERVER.CONFIG, SERVER.base_url + PACKAGE_PATH

        def downloaded(body):
            return [text(153, PACKAGE_PATH), text(154, package_url), text(155, len(body)), message(156)]
        passed = downloaded(good) + [text(157, *NEW_AGENT, len(good)), message(159)]
        # name, package, configuration script, fault (path, modes), set-up of the PC (sandbox -> None), its own
        # console (Windows: as a double-click starts it), exit status, the report after its first two lines,
        # the line the failed step logged (site name, message)
        cases = [
            ("a good server", good, None, None, None, False, 0, passed, None),
            ("a package without the transform", without_transform, None, None, None, False, 7,
             downloaded(without_transform) + failed(171, "Transform 1041 Missing", 7, 8),
             ("PackageTransformMissing", "Transform 1041 Missing")),
            ("no configuration script", good, None, (SERVER.CONFIG, "status=404"), None, False, 3,
             failed(164, "ResponseCode =404", 3, 7), ("ConfigScriptStatus", "ResponseCode =404")),
            ("a script without the package's path", good, "var AGENT_URL = '/a.msi';\n", None, None, False, 4,
             failed(165, message(120), 4, 7), ("ConfigScriptKeyMissing", message(120))),
            ("started by a double-click", good, None, None, None, True, 0, passed, None),
            # The user's settings name a script whose proxy tunnels to the server: the check takes that road. (Last:
            # the settings stay until the test's end.)
            ("through the proxy the user's script names", good, None, None, self.use_proxy_script, False, 0, passed,
             ("DownloadProxyRoad", f"Proxy(PAC: {SERVER.proxy})")),
        ]
        sandbox = Sandbox(BUILD)
        self.addCleanup(sandbox.close)
        log_file = (windows_path(sandbox.temp_dir) + "\\" if WINDOWS else sandbox.temp_dir + "/") + \
            "QuillonServerCheck.log"
        for name, body, script, fault, set_up, own_console, status, report, logged in cases:
            if (own_console or set_up == self.use_proxy_script) and not WINDOWS:
                continue
            with self.subTest(name):
                SERVER.clear()
                SERVER.publish_agent(body, script, PACKAGE_PATH)
                if fault:
                    SERVER.fault(*fault)
                shutil.rmtree(sandbox.temp_dir)
                os.makedirs(sandbox.temp_dir)
                sandbox.environment = {}
                if set_up:
                    set_up(sandbox)
                result = sandbox.run_check(own_console=own_console)
                print(name, result.exit_code, result.windows, result.output[:80], flush=True)
                self.assertEqual(result.exit_code, status, result.stdout)
                lines = [text(151, SERVER.base_url), text(152, config_url)] + report
                self.check_report(result, lines + [text(162, log_file)], own_console, status)
                self.check_log(result, lines, logged)
                if set_up == self.use_proxy_script:
                    self.assertGreater(self.tunnels(), self.tunnels_before, "the proxy made the tunnel")
                self.assertEqual(sorted(os.listdir(sandbox.temp_dir)), ["QuillonServerCheck.log"],
                                 "the check's package is gone, and the tool's run log was never written")
        SERVER.clear()
        # The PC has no agent and the check never ran the installer: nothing was installed.
        self.assertEqual(sandbox.machine.agent_values(), {})
        self.assertEqual(sandbox.machine.installer_calls(), [])

    def use_proxy_script(self, sandbox):
        SERVER.publish("/proxy/road.pac", 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n' % SERVER.proxy)
        self.addCleanup(set_internet_settings(4, script=SERVER.http_url + "/proxy/road.pac"))
        self.tunnels_before = self.tunnels()

    def tunnels(self):
        return len([request for request in SERVER.requests() if request["method"] == "CONNECT"])

    def check_report(self, result, lines, own_console, status):
        if own_console:
            # The console closes with the program: the report stays on the screen in a box.
            self.assertEqual(result.output, b"")
            self.assertEqual([(w.kind, w.caption, w.text, w.flags) for w in result.windows],
                             [("box", CHECK_CAPTION, "\n".join(lines),
                               MB_OK | (MB_ICONINFORMATION if status == 0 else MB_ICONWARNING))])
            return
        self.assertEqual(result.windows, [])
        if WINDOWS:
            # A file that starts with the report: UTF-8 with its byte-order mark, CR LF line ends.
            self.assertTrue(result.output.startswith(b"\xef\xbb\xbf"), result.output[:20])
            self.assertEqual(result.output.count(b"\n"), result.output.count(b"\r\n"))
        self.assertEqual(result.output.decode("utf-8-sig").splitlines(), lines)

    def check_log(self, result, lines, logged):
        """The run log: the report's lines, the failed step's own line before its reason (or the road the
        package took), and the verdict of a failed check at level ERROR."""
        expected = [LOG_SITES["CheckReport"] + (line,) for line in lines]
        if logged and logged[0] == "DownloadProxyRoad":
            # Said while the package is fetched: after the report's line with the package's URL.
            expected.insert(4, LOG_SITES[logged[0]] + (logged[1],))
        elif logged:
            expected[-1] = LOG_SITES["CheckFailed"] + (lines[-1],)
            expected.insert(-2, LOG_SITES[logged[0]] + (logged[1],))
        self.assertEqual(result.log_keys(), expected)


if __name__ == "__main__":
    unittest.main()
