// The journal of a replacement under way: what the install needs and how far the replacement got, kept in the
// tool's data folder from just before the uninstall until the run ends with an agent on the PC. If the tool's
// process ends in between (killed, a crash, a power cut), the finishing step reads it and finishes the job.
//
// The file is short UTF-8 text, one "Name=value" a line, each line ended by a line feed, in this order and
// nothing else:
//
//   QuillonMigrationTool Journal
//   Format=1
//   Step=Uninstall                      Uninstall: the uninstall may have begun; Install: it was done
//   Attempts=0                          finishing steps that tried the install so far
//   OldProductCode={6F1A...}            the agent that was installed before the run
//   OldVersion=5.1.0                    empty when its version could not be read
//   NewProductCode={0B5C...}            the package's ProductCode: the agent the run installs
//   ServerUrl=https://host/rpc/         the install's SERVER_URL
//   Codes=...                           the enrolment codes protected for this machine, in hex; empty: none
//   PackageSize=1234567                 the package copy beside the journal: its size
//   PackageSha256=...                   and its SHA-256, in hex
//   Seal=...                            the SHA-256 of every byte above this line, in hex
//
// A journal is acted on only when every line is there, as written, and the seal matches: one that is cut,
// changed, of another format, or made by anything but this writer is refused, whatever it says.
#pragma once

#include "platform/Sha256.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr unsigned kJournalFormat = 1;

enum class JournalStep { Uninstall, Install };

struct ReplacementJournal {
  JournalStep step = JournalStep::Uninstall;
  unsigned attempts = 0;
  std::u16string oldProductCode;
  std::u16string oldVersion;
  std::u16string newProductCode;
  std::u16string serverUrl;
  std::string protectedCodes;  // protectForMachine's bytes; empty when the run had no codes
  std::uint64_t packageSize = 0;
  Sha256Digest packageSha256{};
};

// Why a journal's bytes were refused.
enum class JournalDefect {
  None,
  Cut,           // ends before its seal line ends: never a whole journal
  NotAJournal,   // does not begin as a journal
  OtherFormat,   // a journal of another format
  SealMismatch,  // the bytes are not those the seal was made over
  BadField,      // a line missing, out of order, repeated or with a value this writer never writes
};

// The name the run log gives a defect: "Cut", "Not A Journal", "Other Format", "Seal Mismatch", "Bad Field".
const char16_t* journalDefectName(JournalDefect defect);

// The journal's bytes; nothing when a field holds what the format cannot carry (a product code that is no
// GUID, a text with a line break) or the seal could not be computed.
std::optional<std::string> formatJournal(const ReplacementJournal& journal);

// Reads a journal's bytes strictly (above). None, with `journal` filled, only for a whole journal of this
// format; `journal` is unspecified otherwise.
JournalDefect parseJournal(std::string_view bytes, ReplacementJournal& journal);

// The SHA-256 of `bytes`; nothing when the platform could not hash.
std::optional<Sha256Digest> sha256Of(std::string_view bytes);

// Lower-case hex of bytes, and back (nothing for an odd length or another character than 0-9 a-f).
std::string toHex(std::string_view bytes);
std::optional<std::string> fromHex(std::string_view hex);

}  // namespace quillon
