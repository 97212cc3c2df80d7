#!/usr/bin/env python3
"""Writes the message-compiler source of the tool's event texts from res/Events.inc (UTF-16LE without a mark,
which windmc -u reads; with -U it stores every text as UTF-16, unchanged).

    event_messages.py Events.inc Events.mc

Each event's message id is its event ID (1000 + the exit status) with severity and facility 0, so the id that
the tool reports is the id Event Viewer looks up. Each text is written on one line, so the message holds the
text, the details and the line end the message compiler gives every line."""
import re
import sys

LINE = re.compile(r'^QUILLON_EVENT\((\d+), (INFORMATION|WARNING|ERROR), "(.*)"\)$')
DETAILS = re.compile(r'^QUILLON_EVENT_DETAILS\("(.*)"\)$')


def read_events(path):
    details, events = None, []
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("//"):
                continue
            match, footer = LINE.match(line), DETAILS.match(line)
            if footer:
                details = footer.group(1)
            elif match:
                events.append((int(match.group(1)), match.group(2), match.group(3)))
            else:
                sys.exit(f"{path}:{number}: not an event line")
    if details is None:
        sys.exit(f"{path}: no QUILLON_EVENT_DETAILS")
    statuses = [status for status, _, _ in events]
    if len(set(statuses)) != len(statuses):
        sys.exit(f"{path}: an exit status has two events")
    return details, events


def main(source, target):
    details, events = read_events(source)
    lines = ["MessageIdTypedef=DWORD", "SeverityNames=(Success=0x0)", "FacilityNames=(Tool=0x0)",
             "LanguageNames=(Japanese=0x411:MSG00411)", ""]
    for status, _, text in events:
        if "\\" in text or text.strip() == ".":
            sys.exit(f"{source}: the text of {status} holds what the message compiler would read otherwise")
        lines += [f"MessageId={1000 + status}", "Severity=Success", "Facility=Tool", f"SymbolicName=QUILLON_EVENT_{status}",
                  "Language=Japanese", text + details, ".", ""]
    with open(target, "wb") as out:
        out.write("\r\n".join(lines).encode("utf-16-le"))


if __name__ == "__main__":
    main(*sys.argv[1:])
