#!/usr/bin/env python3
"""Runs the commands in a Markdown file's code blocks as its reader would.

    python3 tests/readme_commands.py [FILE.md]    (README.md by default)

From the top of the clone, with HOME in a scratch folder (so that ~/.local is
a scratch one) and build/ first on the PATH, as if brivel were installed:

- each ```sh block runs with bash -euo pipefail, in order, so that a block may
  use what an earlier one built or installed;
- in each ```console block, each "$ " line runs, and what it writes to
  standard output must be the lines below it, up to the next "$ " line;
- ```sh example blocks, which need root, a file of the reader's or a window,
  are left out, as is a line that runs every test (that is what runs this).
"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EVERY_TEST = "tests/run_all.sh"


def code_blocks(text):
    """Yields (line number, info string, lines) of each fenced code block."""
    info, start, lines = None, 0, []
    for number, line in enumerate(text.splitlines(), 1):
        if info is None:
            fence = re.match(r"^```(.*)$", line)
            if fence:
                info, start, lines = fence.group(1).strip(), number, []
        elif line == "```":
            yield start, info, lines
            info = None
        else:
            lines.append(line)


def console_steps(lines):
    """Yields (command, expected output) of each "$ " line of a console block."""
    command, output = None, []
    for line in lines + ["$ "]:
        if line.startswith("$ "):
            if command:
                yield command, "".join(out + "\n" for out in output)
            command, output = line[2:], []
        else:
            output.append(line)


def main():
    name = sys.argv[1] if len(sys.argv) > 1 else "README.md"
    with open(os.path.join(ROOT, name), encoding="utf-8") as f:
        text = f.read()
    failures = ran = 0
    with tempfile.TemporaryDirectory(prefix="brivel-readme-") as home:
        env = dict(os.environ, HOME=home, LC_ALL="C.UTF-8")
        env["PATH"] = os.pathsep.join([os.path.join(ROOT, "build"), env.get("PATH", "")])

        def run(command):
            return subprocess.run(["bash", "-euo", "pipefail", "-c", command], cwd=ROOT, env=env,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True)

        for start, info, lines in code_blocks(text):
            where = f"{name}:{start}"
            if info == "sh":
                commands = [line for line in lines if line.strip() != EVERY_TEST]
                if len(commands) < len(lines):
                    print(f"{where}: leaving out {EVERY_TEST}, which is what runs this")
                result = run("\n".join(commands))
                ran += 1
                if result.returncode == 0:
                    print(f"ok: {where}: {commands[0]}")
                    continue
                failures += 1
                print(f"FAILED: {where}: the block ended with status {result.returncode}")
                print("".join(f"  | {line}\n" for line in (result.stdout + result.stderr).splitlines()[-40:]))
            elif info == "console":
                for command, expected in console_steps(lines):
                    result = run(command)
                    ran += 1
                    if result.stdout == expected:
                        print(f"ok: {where}: $ {command}")
                        continue
                    failures += 1
                    print(f"FAILED: {where}: $ {command} wrote something else; expected:\n{expected}"
                          f"got:\n{result.stdout}{result.stderr}")
            elif info.startswith("sh"):
                print(f"{where}: not run (```{info}): {lines[0] if lines else ''}")
    print(f"{name}: {ran - failures} of {ran} blocks and commands ran as written")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
