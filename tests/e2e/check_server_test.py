#!/usr/bin/env python3
"""scripts/check-server against the build tree's local destination server: a good server, and each fault a
PC would stop at, with the step's exit status and the plain words the administrator reads. Also the
administrators' guide's table of run-log lines against log/LogSites.inc, whose site names tell check-server
the step that failed.

Environment (tests/e2e/CMakeLists.txt): QUILLON_FETCH (the Linux build's quillon-fetch, so the script builds
nothing), QUILLON_E2E_PACKAGES, QUILLON_E2E_SERVER, QUILLON_TEST_SERVER_ROOT, QUILLON_TEST_OTHER_CA.
"""
import os
import re
import subprocess
import unittest

from harness import LOG_SITES, NEW_AGENT, ROOT, DistributionServer

SERVER = DistributionServer()
PACKAGES = os.environ["QUILLON_E2E_PACKAGES"]
PACKAGE_PATH = "/dist/Windows/agent/QuillonAgent.msi"


def package(name):
    with open(os.path.join(PACKAGES, name), "rb") as data:
        return data.read()


def script_naming(path):
    return f"// destination server\nvar AGENT_MSI_URL = '{path}';\n"


class CheckServerTest(unittest.TestCase):
    def check_server(self, url, environment=None):
        run = subprocess.run([os.path.join(ROOT, "scripts", "check-server"), url], capture_output=True,
                             text=True, timeout=60, env=dict(os.environ, **(environment or {})))
        return run.returncode, run.stdout + run.stderr

    def test_each_step_a_pc_would_stop_at(self):
        good = package("new-agent.msi")
        other_ca = {"SSL_CERT_FILE": os.environ["QUILLON_TEST_OTHER_CA"]}
        # The server answers after 3 s; the script, given 1 s instead of the tool's 90, gives up first.
        stalled = {"QUILLON_CHECK_SERVER_TIME_LIMIT": "1"}
        # name, package bytes, configuration script, fault (path, modes), environment, status, words
        cases = [
            ("the server's certificate from a CA this machine does not trust", good, None, None, other_ca, 2,
             ["does not trust the server's certificate", "Error(60)"]),
            ("a stalled server", good, None, (SERVER.CONFIG, "delay=3"), stalled, 2,
             ["no complete answer within", "Error(28)"]),
            ("no configuration script", good, None, (SERVER.CONFIG, "status=404"), None, 3,
             ["answered with status 404"]),
            ("a script without the key", good, "var AGENT_URL = '/a.msi';\n", None, None, 4,
             ["no line AGENT_MSI_URL = '/path/to/package.msi'"]),
            ("a package URL too long for the tool", good, script_naming("/" + "a" * 500 + ".msi"), None, None, 5,
             ["too long for the tool", "at most 511"]),
            ("no package at the address", good, script_naming("/dist/Windows/agent/Missing.msi"), None, None, 6,
             ["2. The package " + SERVER.base_url + "/dist/Windows/agent/Missing.msi", "status other than 200"]),
            ("the transfer cut short", good, None, (PACKAGE_PATH, "truncate=4096"), None, 6,
             ["status other than 200"]),
            ("an HTML page instead of the package", b"<html><body>Sign in to the proxy</body></html>\r\n", None,
             None, None, 7, ["not an installer package", "Package Open Error(1620)"]),
            ("a package cut short on the server", good[:-8192], None, None, None, 7,
             ["not an installer package"]),
            ("a package without the transform", package("new-agent-without-transform.msi"), None, None, None, 7,
             ["transform 1041", "Transform 1041 Missing"]),
        ]
        for name, body, script, fault, environment, status, words in cases:
            with self.subTest(name):
                SERVER.clear()
                SERVER.publish_agent(body, script, PACKAGE_PATH)
                if fault:
                    SERVER.fault(*fault)
                code, output = self.check_server(SERVER.base_url, environment)
                self.assertEqual(code, status, output)
                for text in words:
                    self.assertIn(text, output)
                self.assertIn("keeps its old agent", output)
                self.assertTrue(output.rstrip().endswith(f"FAILED (exit status {status})"), output)
        SERVER.clear()

    def test_a_good_server_names_the_package_and_the_agent_endpoint(self):
        body = package("new-agent.msi")
        SERVER.clear()
        SERVER.publish_agent(body, None, PACKAGE_PATH)
        code, output = self.check_server(SERVER.base_url)
        self.assertEqual(code, 0, output)
        for text in [f"it names the package {PACKAGE_PATH}", f"ProductCode     {NEW_AGENT[0]}",
                     f"ProductVersion  {NEW_AGENT[1]}", f"size            {len(body)} bytes",
                     f"SERVER_URL={SERVER.base_url}/rpc/", "passed"]:
            self.assertIn(text, output)
        SERVER.clear()

    def test_a_url_the_tool_cannot_be_built_for_is_refused_before_any_request(self):
        for url in ["http://localhost", "https://localhost/", "https://localhost/dist", "https://localhost:0",
                    "https://localhost:65536"]:
            with self.subTest(url):
                code, output = self.check_server(url)
                self.assertEqual(code, 64, output)
                self.assertIn("is not https://host[:port]", output)


class RunLogLinesTest(unittest.TestCase):
    def test_the_administrators_guide_lists_every_log_site_and_no_other(self):
        guide = open(os.path.join(ROOT, "docs", "ADMINISTRATORS.md"), encoding="utf-8").read()
        section = guide.split("\n## Run-log lines\n", 1)[1].split("\n## ", 1)[0]
        rows = [(file, function, int(line), level) for line, level, function, file
                in re.findall(r"^\| (\d+) \| (\w+) \| `([^`]+)` \| `([^`]+)` \|", section, re.MULTILINE)]
        self.assertEqual(sorted(rows), sorted(LOG_SITES.values()))


if __name__ == "__main__":
    unittest.main()
