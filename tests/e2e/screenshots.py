#!/usr/bin/env python3
"""Pictures of the tool's windows as a Japanese Windows user sees them, for the documentation.

Run inside a Wine session with the Windows build (scripts/screenshots does all of it):
    QUILLON_E2E_BUILD=windows QUILLON_E2E_TOOL=... QUILLON_E2E_DRIVER=... QUILLON_E2E_RUNNER=... \\
        screenshots.py OUTPUT_DIR
"""
import os
import sys

from harness import Build, Sandbox

TERMS = """第1条（目的）
本規約は、Quillon移行ツール（以下「本ツール」）の利用条件を定めるものです。

第2条（本ツールの動作）
本ツールは、この端末にインストールされている管理エージェントをアンインストールし、移行先サーバーの管理エージェントをインストールします。実行中は端末の電源を切らないでください。

第3条（免責）
本ツールの利用により生じた損害について、提供者は責任を負いません。
""".replace("\n", "\r\n")


def main():
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    build = Build.from_environment()
    with Sandbox(build) as sandbox:
        sandbox.write_license(TERMS)
        sandbox.run([("dialog", "disagree")], screenshots=[os.path.join(out, "terms-dialog.png")])
    with Sandbox(build) as sandbox:
        sandbox.run([("box", "ok")], screenshots=[os.path.join(out, "box-terms-missing.png")])


if __name__ == "__main__":
    main()
