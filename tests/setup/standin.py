#!/usr/bin/env python3
"""Stand-in for the system commands that scripts/setup uses: apt-get, dpkg, dpkg-query, id, locale, sleep
and the 32-bit probe, chosen by the name it is called under (the test links each name to this file).

The machine they pretend to be is the JSON file $SETUP_MACHINE:
  missing           packages not installed (names as setup asks for them, "wine32:i386" included);
                    every other package is installed
  architectures     foreign architectures
  exec32            whether the probe finds that 32-bit code executes; null: it finds no folder where a
                    program may run, so it cannot tell
  update_failures   how many `apt-get update` runs fail, as a mirror mid-sync makes them (-1: all)
  refuse            packages that `apt-get install` cannot install (held broken packages)
  add_arch_fails    `dpkg --add-architecture` fails
Every call is appended to the file as "calls" (the command and its arguments), so a test sees what setup
asked of the machine.
"""
import json
import os
import sys

PATH = os.environ["SETUP_MACHINE"]


def main(name, args):
    with open(PATH, encoding="utf-8") as f:
        machine = json.load(f)
    machine["calls"].append([name] + args)
    status, out, err = run(machine, name, args)
    with open(PATH, "w", encoding="utf-8") as f:
        json.dump(machine, f)
    sys.stdout.write(out)
    sys.stderr.write(err)
    return status


def run(machine, name, args):
    if name == "id":
        return 0, "0\n", ""
    if name == "locale":
        return 0, "C\nC.utf8\nja_JP.utf8\nPOSIX\n", ""
    if name == "sleep":
        return 0, "", ""
    if name == "quillon-exec32-probe":
        return {True: 0, False: 1, None: 2}[machine["exec32"]], "", ""
    if name == "dpkg-query":
        package = args[-1]
        if package not in machine["missing"]:
            return 0, "install ok installed\n", ""
        return 1, "", f"dpkg-query: no packages found matching {package}\n"
    if name == "dpkg":
        if args == ["--print-foreign-architectures"]:
            return 0, "".join(a + "\n" for a in machine["architectures"]), ""
        if args[0] == "--add-architecture":
            if machine["add_arch_fails"]:
                return 2, "", "dpkg: error: cannot add architecture: read-only database\n"
            machine["architectures"].append(args[1])
            return 0, "", ""
        if args[0] == "--remove-architecture":
            machine["architectures"].remove(args[1])
            return 0, "", ""
    if name == "apt-get":
        if args[0] == "update":
            if machine["update_failures"] != 0:
                machine["update_failures"] -= 1
                return 100, "", ("E: Failed to fetch binary-i386/Packages.xz  File has unexpected size (374820 != 376004)."
                                 " Mirror sync in progress?\nE: Some index files failed to download. They have been"
                                 " ignored, or old ones used instead.\n")
            return 0, "", ""
        if "install" in args:
            wanted = [a for a in args if not a.startswith("-") and a != "install"]
            refused = [p for p in wanted if p in machine["refuse"]]
            if refused:
                return 100, (" " + refused[0] + " : Depends: libc6 (= 2.36-9+deb12u7) but 2.36-9+deb12u14 is to be"
                             " installed\n"), "E: Unable to correct problems, you have held broken packages.\n"
            machine["missing"] = [p for p in machine["missing"] if p not in wanted]
            return 0, "", ""
    return 99, "", f"stand-in: unexpected call {name} {args}\n"


if __name__ == "__main__":
    sys.exit(main(os.path.basename(sys.argv[0]), sys.argv[1:]))
