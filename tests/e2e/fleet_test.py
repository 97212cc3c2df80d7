#!/usr/bin/env python3
"""A migration day in small, on the Linux build: PCs started all at once against a destination server of
their own that serves a few requests at once and sheds the rest with 503 and a Retry-After, sends each
package slowly and cuts a quarter of the transfers half-way. Every PC must migrate, asking the server only a
few times each (scripts/benchmark --fleet N runs a bigger crowd)."""
import os
import re
import time
import unittest

from harness import NEW_AGENT, Build, FleetServer, Result, run_fleet

BUILD = Build.from_environment()
PCS, LIMIT, PACKAGE_SECONDS, CUT_SHARE = 12, 3, 1, 0.25


class FleetTest(unittest.TestCase):
    def test_every_pc_of_a_crowd_migrates_against_a_server_that_sheds_load_and_drops_links(self):
        with open(BUILD.package("new-agent.msi"), "rb") as package:
            body = package.read()
        with FleetServer(int(os.environ["QUILLON_FLEET_SERVER_PORT"]), body, LIMIT, PACKAGE_SECONDS,
                         CUT_SHARE) as server:
            started = time.monotonic()
            outcomes = run_fleet(BUILD, PCS, server, timeout=120)
            seconds = time.monotonic() - started
            requests = server.requests()
        try:
            retries_per_pc = []
            for result, _, sandbox in outcomes:
                self.assertIsInstance(result, Result, result)
                self.assertEqual(result.exit_code, 0, result.log)
                self.assertEqual(sandbox.machine.agent_values().get("ProductVersion"), NEW_AGENT[1])
                with open(os.path.join(sandbox.temp_dir, "NewQuillonAgent.msi"), "rb") as package:
                    self.assertEqual(package.read(), body)
                retries_per_pc.append(sum(1 for entry in result.log if entry.line in (451, 495)))
                for entry in result.log:
                    if entry.line in (451, 495):
                        self.assertRegex(entry.message, r" Retry\(\d+\)$")
                    if entry.line == 497:
                        self.assertRegex(entry.message, rf"^Resume\(\d+/{len(body)}\)$")
        finally:
            for _, _, sandbox in outcomes:
                sandbox.close()
        # The crowd was shed and cut: some PCs had to try again, none too often, and the server saw few
        # requests for each PC (each run log's retries are the requests beyond its two).
        self.assertGreater(sum(retries_per_pc), 0)
        self.assertLessEqual(max(retries_per_pc), 10, retries_per_pc)
        self.assertEqual(len(requests), 2 * PCS + sum(retries_per_pc))
        self.assertLessEqual(len(requests) / PCS, 6, retries_per_pc)
        self.assertLess(seconds, 60)
        print(f"fleet: {PCS} PCs migrated in {seconds:.1f} s, {len(requests) / PCS:.1f} requests per PC "
              f"(retries per PC: {retries_per_pc})")


if __name__ == "__main__":
    unittest.main(verbosity=2)
