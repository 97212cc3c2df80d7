// Message boxes: a real MessageBoxW on Windows, the terminal on Linux. Every box shown is also recorded in
// the UI transcript (platform/UiTranscript.h), so tests can assert exactly what the user saw. A run whose
// mode allows no box (platform/UiMode.h) shows none.
#pragma once

namespace quillon {

// The MB_* flags and ID* results the tool uses, with their Windows values.
enum : unsigned {
  kBoxOk = 0x0,
  kBoxYesNo = 0x4,
  kBoxIconWarning = 0x30,
  kBoxIconInformation = 0x40,
};
enum : int {
  kIdOk = 1,
  kIdYes = 6,
  kIdNo = 7,
};

// Shows a modal box without an owner window and returns the button that closed it. The progress
// (platform/Progress.h) is closed first: it is gone before any box appears. Where the run's mode allows no
// box, none is shown and the answer is OK, or No for a Yes/No question.
int showMessageBox(const char16_t* text, const char16_t* caption, unsigned flags);

// The box itself, one body per OS (platform/<os>/MessageBox.cpp), for showMessageBox alone.
int showBoxOnScreen(const char16_t* text, const char16_t* caption, unsigned flags);

}  // namespace quillon
