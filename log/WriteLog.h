// The run log: one line per call, appended to QuillonMigrationTool.log in the user's temporary folder.
#pragma once

// Appends "yyyy/mm/dd hh:mm:ss LEVEL FILE:source FUNCTION:function LINE:line message" and a line end.
// It never fails in the caller's eyes: an entry that cannot be written (folder missing, file read-only or
// held open by another program) is lost and the caller goes on. The message is finished text: nothing in
// it is interpreted, a "%" stays a "%". The tool's own lines are written by name through log/LogSite.h,
// which takes the first four from the table of log sites.
void WriteLog(const char16_t* sourceFile, const char16_t* function, int line, const char16_t* level,
              const char16_t* message);
