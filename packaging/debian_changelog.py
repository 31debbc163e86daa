#!/usr/bin/env python3
"""Writes CHANGELOG.md in the format of a Debian changelog, for the .deb.

    debian_changelog.py CHANGELOG.md VERSION "Name <address>" > changelog

CHANGELOG.md holds a "## VERSION (YYYY-MM-DD)" heading for each version and,
under it, entries that start with "- " and go on in lines indented by two
spaces; text before the first heading is left out. Any other line is an error,
so that nothing is silently dropped from the Debian changelog; so is a newest
version other than VERSION, the package's own.
"""
import datetime
import email.utils
import re
import sys

HEADING = re.compile(r"## (\d+\.\d+\.\d+) \((\d{4}-\d{2}-\d{2})\)")


def versions(lines):
    """Yields (version, date, entries), each entry a list of its lines."""
    current = None
    for number, line in enumerate(lines, 1):
        heading = HEADING.fullmatch(line)
        if heading:
            if current:
                yield current
            current = (heading[1], heading[2], [])
        elif current is None or not line.strip():
            continue
        elif line.startswith("- "):
            current[2].append([line[2:]])
        elif line.startswith("  ") and current[2]:
            current[2][-1].append(line.strip())
        else:
            sys.exit(f"{sys.argv[1]}:{number}: neither a heading nor part of an entry")
    if current:
        yield current


def debian_entry(version, when, entries, maintainer):
    # Debian's changelog is plain text: Markdown's code quotes go.
    items = ["\n".join(("  * " if i == 0 else "    ") + part.replace("`", "")
                       for i, part in enumerate(entry))
             for entry in entries]
    return (f"brivel ({version}) unstable; urgency=medium\n\n" + "\n".join(items) +
            f"\n\n -- {maintainer}  {email.utils.format_datetime(when)}\n")


def main():
    source, version, maintainer = sys.argv[1:]
    with open(source, encoding="utf-8") as f:
        found = list(versions(f.read().splitlines()))
    if not found or found[0][0] != version:
        sys.exit(f"{source}: the newest version is not {version}")
    # Each entry must be newer than the one before it (lintian), but the
    # headings give only the day: versions of the same day get an hour each,
    # the oldest midnight.
    times = []
    for _, date, _ in reversed(found):
        day = datetime.datetime.fromisoformat(date).replace(tzinfo=datetime.timezone.utc)
        times.append(max(day, times[-1] + datetime.timedelta(hours=1)) if times else day)
    entries = [debian_entry(version, when, items, maintainer)
               for (version, _, items), when in zip(found, reversed(times))]
    sys.stdout.write("\n".join(entries))


if __name__ == "__main__":
    main()
