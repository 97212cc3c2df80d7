#!/usr/bin/env python3
"""scripts/package with an already built exe and the server check beside it (QUILLON_PACKAGE_EXE, so no
second Windows build): what it refuses without writing anything, the folder and the ZIP it hands out, the
server check beside them, and the signed exes.

    package_test.py EXE
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import pefile

from harness import ROOT

EXE = sys.argv.pop(1)
CHECK = os.path.join(os.path.dirname(EXE), "QuillonServerCheck.exe")
SCRIPT = os.path.join(ROOT, "scripts", "package")
URL = "https://mdm.example.com"
AUTH = "[CERT]\r\nCompanyName=株式会社サンプル\r\nCompanyCode=C-0001\r\nCertCode=X9-77\r\n"


def read(path):
    with open(path, "rb") as data:
        return data.read()


def zip_of(*names):
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as kit:
        for name in names:
            kit.writestr(name, b"earlier " + name.encode())
    return archive.getvalue()


def tree(folder):
    """Every entry under the folder: a file's bytes, a link's target, a folder as None."""
    found = {}
    for top, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(top, name)
            found[os.path.relpath(path, folder)] = (os.readlink(path) if os.path.islink(path) else
                                                     None if os.path.isdir(path) else read(path))
    return found


def extended_time(extra):
    """The modification time of an entry's extended timestamp field, or None."""
    while len(extra) >= 4:
        tag, size = struct.unpack_from("<HH", extra)
        if tag == 0x5455 and size >= 5 and extra[4] & 1:
            return struct.unpack_from("<l", extra, 5)[0]
        extra = extra[4 + size:]
    return None


def resources_and_version(path):
    pe = pefile.PE(path)
    rsrc = [section.get_data() for section in pe.sections if section.Name.rstrip(b"\0") == b".rsrc"]
    strings = {key: value for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for key, value in table.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0].__pack__()
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]].Size
    pe.close()
    return rsrc, strings, fixed, security


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quillon-package-")
        cls.terms = cls.write("terms.txt", "\ufeff第1条\r\n本ツールの利用条件\n".encode("utf-8"))
        cls.auth = cls.write("Auth.ini", AUTH.encode("utf-8"))
        # A throw-away code-signing certificate and its PKCS#12 file with a password.
        cls.password = cls.write("password", b"correct horse\n")
        cls.wrong_password = cls.write("wrong-password", b"wrong\n")
        key, cls.certificate, cls.pfx = (os.path.join(cls.folder, n) for n in ("key.pem", "cert.pem", "cert.pfx"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                        "-out", cls.certificate, "-days", "2", "-subj", "/CN=Quillon test signer",
                        "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning"],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cls.certificate, "-out", cls.pfx,
                        "-passout", "file:" + cls.password], check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    @classmethod
    def write(cls, name, data):
        path = os.path.join(cls.folder, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def package(self, url, *arguments, out, environment=None):
        run = subprocess.run([SCRIPT, url, "--out", out, *arguments], capture_output=True, text=True, timeout=600,
                             env=dict(os.environ, QUILLON_PACKAGE_EXE=EXE, **(environment or {})))
        return run.returncode, run.stdout + run.stderr

    def earlier_kit(self, name, settings="Auth.ini.sample", changes=None):
        """A folder, ZIP and server check as an earlier run left them, which a refusal must leave as they are;
        changes put other things in their place (a path under the parent: a file's bytes, a link's target, or
        None to take it away)."""
        parent = os.path.join(self.folder, name)
        names = ("MigrationTool.exe", "License.txt", settings)
        entries = {os.path.join("QuillonMigrationTool", n): b"earlier " + n.encode() for n in names}
        entries["QuillonMigrationTool.zip"] = zip_of(*names)
        entries["QuillonServerCheck.exe"] = read(CHECK) + b"an earlier build"
        entries.update(changes or {})
        os.makedirs(parent)
        for path, data in entries.items():
            path = os.path.join(parent, path)
            if isinstance(data, str):
                os.symlink(data, path)
            elif data is not None:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as out:
                    out.write(data)
        return parent

    def test_faulty_input_is_refused_and_nothing_is_written(self):
        without_cert_code = self.write("no-cert-code.ini", b"[CERT]\nCompanyName=A\nCompanyCode=B\n")
        empty_company_code = self.write("empty-code.ini", b"[CERT]\nCompanyName=A\nCompanyCode=\nCertCode=C\n")
        other_section = self.write("other-section.ini", b"[AUTH]\nCompanyName=A\nCompanyCode=B\nCertCode=C\n")
        blank_terms = self.write("blank.txt", b"\r\n  \n")
        terms = ["--license", self.terms]
        no_kit = dict.fromkeys("QuillonMigrationTool/" + n for n in ("MigrationTool.exe", "License.txt", "Auth.ini.sample"))
        photos = {**no_kit, "QuillonMigrationTool/IMG_0001.jpg": b"\xff\xd8 a photo",
                  "QuillonMigrationTool/Holidays/IMG_0002.jpg": b"\xff\xd8 another"}
        not_a_kit = "is a folder that is not a kit made by scripts/package"
        not_the_check = "QuillonServerCheck.exe is not a server check program made by scripts/package"
        cases = [
            ("http", "http://mdm.example.com", terms, 65, "must begin with https://"),
            ("a path", URL + "/mdm", terms, 65, "no path"),
            ("a trailing slash", URL + "/", terms, 65, "no trailing slash"),
            ("port 0", URL + ":0", terms, 65, "from 1 to 65535"),
            ("port 65536", URL + ":65536", terms, 65, "from 1 to 65535"),
            ("no terms file", URL, ["--license", os.path.join(self.folder, "missing.txt")], 66, "no terms file"),
            ("blank terms", URL, ["--license", blank_terms], 65, "is empty"),
            ("Auth.ini without CertCode", URL, terms + ["--auth", without_cert_code], 65, "no value for CertCode"),
            ("Auth.ini with an empty CompanyCode", URL, terms + ["--auth", empty_company_code], 65,
             "no value for CompanyCode"),
            ("Auth.ini without [CERT]", URL, terms + ["--auth", other_section], 65, "no value for CompanyName"),
            ("no Auth.ini", URL, terms + ["--auth", os.path.join(self.folder, "missing.ini")], 66,
             "no settings file"),
            ("a wrong password", URL, terms + ["--sign", self.pfx, "--password-file", self.wrong_password], 65,
             "cannot be opened with the password"),
            ("no password", URL, terms + ["--sign", self.pfx], 65, "cannot be opened with an empty password"),
            ("no certificate", URL, terms + ["--sign", os.path.join(self.folder, "missing.pfx")], 66,
             "no certificate file"),
            # Only an earlier kit is replaced: --out and the ZIP beside it hold something else.
            ("a folder of photos at --out", URL, terms, 65, not_a_kit, photos),
            ("a kit's files and one more", URL, terms, 65, not_a_kit, {"QuillonMigrationTool/Notes.txt": b"mine"}),
            ("a file at --out", URL, terms, 65, "is a file, not a kit folder",
             {**no_kit, "QuillonMigrationTool": b"my notes"}),
            ("a link at --out", URL, terms, 65, "is a symbolic link",
             {**no_kit, "Photos/IMG_0001.jpg": b"\xff\xd8 a photo", "QuillonMigrationTool": "Photos"}),
            ("a ZIP of photos beside it", URL, terms, 65, "QuillonMigrationTool.zip is not a kit's ZIP",
             {"QuillonMigrationTool.zip": zip_of("IMG_0001.jpg")}),
            ("a file that is no ZIP at the ZIP's path", URL, terms, 65, "QuillonMigrationTool.zip is not a kit's ZIP",
             {"QuillonMigrationTool.zip": b"PK not a zip"}),
            ("another program at the server check's path", URL, terms, 65, not_the_check,
             {"QuillonServerCheck.exe": read(EXE)}),
            ("a link at the server check's path", URL, terms, 65, not_the_check,
             {"Tools/QuillonServerCheck.exe": read(CHECK), "QuillonServerCheck.exe": "Tools/QuillonServerCheck.exe"}),
        ]
        for index, (name, url, arguments, status, words, *changes) in enumerate(cases):
            with self.subTest(name):
                parent = self.earlier_kit(f"refused-{index}", changes=changes[0] if changes else None)
                before = tree(parent)
                code, output = self.package(url, *arguments, out=os.path.join(parent, "QuillonMigrationTool"))
                self.assertEqual(code, status, output)
                self.assertIn(words, output)
                self.assertIn("nothing was written", output)
                self.assertEqual(len(output.splitlines()), 1, output)
                self.assertEqual(tree(parent), before)

    def test_the_folder_and_the_zip_hold_the_same_files_as_windows_shows_them(self):
        # The MS-DOS times are local times: in Japan, nine hours from UTC.
        os.environ["TZ"] = "Asia/Tokyo"
        time.tzset()
        # One after the other in the same place: the first over an earlier kit, the second over the kit the
        # first made; each time the other settings file must not stay behind.
        cases = [
            ("with Auth.ini", ["--auth", self.auth], {"Auth.ini": AUTH.encode("utf-8")}),
            ("without Auth.ini", [], {"Auth.ini.sample": read(os.path.join(ROOT, "docs/Auth.ini.sample"))
                                      .replace(b"\n", b"\r\n")}),
        ]
        parent = self.earlier_kit("kit")
        for name, arguments, settings in cases:
            with self.subTest(name):
                out = os.path.join(parent, "QuillonMigrationTool")
                code, output = self.package(URL, "--license", self.terms, *arguments, out=out,
                                            environment={"TZ": "Asia/Tokyo"})
                self.assertEqual(code, 0, output)
                expected = {"MigrationTool.exe": read(EXE),
                            # UTF-16LE with its mark, CR LF line ends, the UTF-8 mark not carried over.
                            "License.txt": b"\xff\xfe" + "第1条\r\n本ツールの利用条件\r\n".encode("utf-16-le"),
                            **settings}
                self.assertEqual({n: read(os.path.join(out, n)) for n in os.listdir(out)}, expected)
                # The server check beside the kit, for the administrator alone: in neither the folder nor the ZIP.
                self.assertEqual(sorted(os.listdir(parent)),
                                 ["QuillonMigrationTool", "QuillonMigrationTool.zip", "QuillonServerCheck.exe"])
                self.assertEqual(read(os.path.join(parent, "QuillonServerCheck.exe")), read(CHECK))
                with zipfile.ZipFile(os.path.join(parent, "QuillonMigrationTool.zip")) as kit:
                    self.assertEqual(sorted(kit.namelist()), sorted(expected))
                    for entry in kit.infolist():
                        mtime = int(os.stat(os.path.join(out, entry.filename)).st_mtime)
                        self.assertEqual(kit.read(entry), expected[entry.filename])
                        self.assertEqual(entry.create_system, 0, "made on MS-DOS: no Unix attributes")
                        self.assertEqual(entry.flag_bits & 0x800, 0, "a plain name, read in any code page")
                        self.assertEqual(entry.date_time, time.localtime(mtime)[:6], entry.filename)
                        self.assertEqual(extended_time(entry.extra), mtime, entry.filename)

    def test_the_signed_exe_verifies_and_keeps_its_resources(self):
        parent = os.path.join(self.folder, "signed")
        out = os.path.join(parent, "QuillonMigrationTool")
        code, output = self.package(URL, "--license", self.terms, "--sign", self.pfx,
                                    "--password-file", self.password, out=out)
        self.assertEqual(code, 0, output)
        for built, signed in [(EXE, os.path.join(out, "MigrationTool.exe")),
                              (CHECK, os.path.join(parent, "QuillonServerCheck.exe"))]:
            with self.subTest(os.path.basename(signed)):
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", self.certificate, "-in", signed],
                                        capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
                before, after = resources_and_version(built), resources_and_version(signed)
                self.assertEqual(before[:3], after[:3], "the resources and the version block are unchanged")
                self.assertEqual(before[3], 0, "the built exe carries no signature")
                self.assertGreater(after[3], 0)
        with zipfile.ZipFile(os.path.join(parent, "QuillonMigrationTool.zip")) as kit:
            self.assertEqual(kit.read("MigrationTool.exe"), read(os.path.join(out, "MigrationTool.exe")))


if __name__ == "__main__":
    unittest.main()
