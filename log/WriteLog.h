// The run log: one line per call, appended to QuillonMigrationTool.log in the user's temporary folder.
#pragma once

// Levels and the source-file names that log lines carry. A line names the file as the user knows it from
// the log, not the file the code physically sits in.
inline constexpr char16_t kLogInfo[] = u"INFO";
inline constexpr char16_t kLogError[] = u"ERROR";
inline constexpr char16_t kMigrationToolSource[] = u"MigrationTool.cpp";
inline constexpr char16_t kHelperSource[] = u"Helper.cpp";

// Appends "yyyy/mm/dd hh:mm:ss LEVEL FILE:source FUNCTION:function LINE:line message" and a line end.
// It never fails in the caller's eyes: an entry that cannot be written (folder missing, file read-only or
// held open by another program) is lost and the caller goes on. The message is finished text: nothing in
// it is interpreted, a "%" stays a "%".
void WriteLog(const char16_t* sourceFile, const char16_t* function, int line, const char16_t* level,
              const char16_t* message);
