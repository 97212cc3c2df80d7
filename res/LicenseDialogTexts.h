// The texts of the terms dialog (template IDD_LICENSE), shared by the resource compiler and the Linux
// build's copy of the template. Plain #defines of UTF-8 literals: MigrationTool.rc reads them in its
// UTF-8 code page, C++ prefixes them with u"".
#pragma once

#define LICENSE_DIALOG_TITLE "Quillon移行ツール"
#define LICENSE_DIALOG_AGREE "同意する"
#define LICENSE_DIALOG_DISAGREE "同意しない"
#define LICENSE_DIALOG_PROMPT "利用規約をお読みください"
