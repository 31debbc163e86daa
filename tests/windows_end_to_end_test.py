#!/usr/bin/env python3
"""Runs a Windows brivel.exe under wine as a user does (files, pipes, the
console, a full disk, a reader that goes away) and compares whole outputs byte
for byte. The same cases hold for the 32-bit and the 64-bit program. On Windows the standard streams are text streams: CR LF reads as
LF, a Ctrl-Z from a file or a pipe ends the input, and every LF written goes out
as CR LF.

Wine runs in a throwaway prefix that lives as long as this script. Creating it
takes about ten seconds; then one wine server serves every run, and a start
takes a fraction of a second. Related cases still share one run where the
output tells which case went wrong (each case's records carry its own names).

What a Ctrl-Z typed at the console does is not tested: wine's console ends
the input at a Ctrl-Z typed in mid-line, where Windows' drops the rest of
that typed line and reads on.

Then brivel-check.exe, which reads files as bytes and applies the same text
rules itself, on a Windows-text list (its findings, with CR LF line ends, the
Ctrl-Z it reports), and brivel-drop.cmd, the drop target of the zips, run by
wine's cmd as Explorer runs it with the lists dropped onto it.

Usage: windows_end_to_end_test.py [--wine LOADER] [--winearch win32|win64]
           --check PATH_TO_BRIVEL_CHECK_EXE --drop-target PATH_TO_BRIVEL_DROP_CMD
           PATH_TO_BRIVEL_EXE

The defaults, `wine` and win32, run the 32-bit program. A 64-bit one needs a
win64 prefix and the 64-bit loader (Debian: --wine /usr/lib/wine/wine64): the
`wine` script starts the 32-bit loader whenever it is installed, and fails
where the host runs no 32-bit code.
"""
import argparse
import fcntl
import json
import os
import pty
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

from end_to_end_test import USAGE, read_within
from end_to_end_test import block as lf_block
from end_to_end_test import line as lf_line

BRIVEL = None
CHECK = None
DROP_TARGET = None
WINE = None
WINEARCH = None
ENV = None
WINE_HOME = None


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def line(name, **items):
    return crlf(lf_line(name, **items))


def block(name, **items):
    return crlf(lf_block(name, **items))


def wine_env(home):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "XDG_")) and k != "WAYLAND_DISPLAY"}
    env.update(
        # Whatever wine keeps per user, and its server's directory, stay in the
        # throwaway directory.
        HOME=home,
        TMPDIR=home,
        WINEPREFIX=os.path.join(home, "prefix"),
        WINEARCH=WINEARCH,
        WINEDEBUG="-all",  # wine's own diagnostics would mix with the program's standard error
        # This machine's file names and the arguments given here are UTF-8 to
        # wine whatever the host's locale; the ANSI code page follows (1252).
        LC_ALL="C.UTF-8",
        DISPLAY="",  # a console program needs no window: never look for an X server
        # No Mono or Gecko download prompt, no desktop menu entries.
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
    )
    return env


def setUpModule():
    global ENV, WINE_HOME
    if shutil.which(WINE) is None:
        raise RuntimeError(WINE + " is not installed (see .ci/install-deps)")
    WINE_HOME = tempfile.mkdtemp(prefix="brivel-wine-")
    ENV = wine_env(WINE_HOME)
    os.mkdir(ENV["WINEPREFIX"])
    quiet = dict(env=ENV, stdin=subprocess.DEVNULL, timeout=300)
    # One server for the whole run, so that each start is quick; should this
    # script die, it still goes away a minute after the last program ended.
    subprocess.run(["wineserver", "-p60"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, **quiet)
    # The programs that wineboot leaves running hold on to its output, so it
    # goes to a file rather than a pipe that would never close.
    with open(os.path.join(WINE_HOME, "wineboot.log"), "w+b") as log:
        boot = subprocess.run([WINE, "wineboot", "--init"], stdout=log, stderr=log, **quiet)
        log.seek(0)
        if boot.returncode != 0:
            raise RuntimeError("wineboot failed:\n" + log.read().decode(errors="replace"))


def tearDownModule():
    if ENV is not None:
        quiet = dict(env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-k"], **quiet)
        subprocess.run(["wineserver", "-w"], **quiet)
    if WINE_HOME is not None:
        shutil.rmtree(WINE_HOME, ignore_errors=True)


def run(data=None, args=(), stdin=None, program=None, **kwargs):
    """Runs brivel.exe (or `program`); `data` comes through a pipe."""
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    return subprocess.run([WINE, program or BRIVEL, *args], input=data, stdin=stdin, env=ENV,
                          timeout=60, **kwargs)


def run_from_file(data, **kwargs):
    with tempfile.TemporaryFile() as source:
        source.write(data)
        source.seek(0)
        return run(stdin=source, **kwargs)


class WineTestCase(unittest.TestCase):
    def assertSuccess(self, got, stdout):
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        self.assertEqual(got.stdout, stdout)

    def assertCases(self, got, cases):
        """`got` is one run over the inputs of all `cases` in turn."""
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        offset = 0
        for label, _, want in cases:
            self.assertEqual(got.stdout[offset:offset + len(want)], want,
                             "the output parts from what is expected at: " + label)
            offset += len(want)
        self.assertEqual(got.stdout[offset:], b"")


HEAD = b'"cut" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov='

# Every case starts at the beginning of a line, so the inputs of all can run as one.
CONVERSION_CASES = [
    ("LF line ends", lf_line(b"lf") + b"# comment\n", block(b"lf")),
    ("CR LF line ends", line(b"crlf") + b"junk\r\n\r\n" + line(b"crlf fov", fov=3),
     block(b"crlf") + block(b"crlf fov", fov=3)),
    ("a CR not before a LF is read as it is", line(b"cr\rin name") + line(b"cr at end\r"),
     block(b"cr\rin name") + block(b"cr at end\r")),
    ("CR CR LF: the first CR stays", lf_line(b"crcr", fov=8)[:-1] + b"\r\r\n", block(b"crcr", fov=8)),
    ("numbers wrap at 32 bits", line(b"wrap", x=0, y=0, z=0).replace(
        b"x=0 y=0 z=0", b"x=4294967296 y=2147483648 z=-2147483649"),
     block(b"wrap", x=0, y=-2147483648, z=2147483647)),
    ("NUL ends the text of a line", line(b"nul", fov=5).replace(b" fov", b"\0 fov") +
     b"\0" + line(b"hidden"), block(b"nul")),
    # The 1023-byte limit counts the bytes after CR LF has become LF.
    ("1022 bytes and CR LF: one piece", HEAD + b"7".rjust(1022 - len(HEAD)) + b"\r\n",
     block(b"cut", fov=7)),
    ("1023 bytes and CR LF: a piece, then a lone LF", HEAD + b"8".rjust(1023 - len(HEAD)) + b"\r\n",
     block(b"cut", fov=8)),
    ("1024 bytes: a number cut at the boundary keeps its digits",
     HEAD + b"12".rjust(1024 - len(HEAD)) + b"\r\n", block(b"cut", fov=1)),
    ("3000 bytes: a later piece is itself a camera line",
     b"#" * 2046 + line(b"later", fov=9)[:-2].ljust(3000 - 2046 - 2) + b"\r\n",
     block(b"later", fov=9)),
    ("the last line without a line end", line(b"last")[:-2], block(b"last")),
]


class Conversion(WineTestCase):
    def test_text_from_a_file_and_a_pipe(self):
        data = b"".join(case[1] for case in CONVERSION_CASES)
        for label, runner in (("file", run_from_file), ("pipe", run)):
            with self.subTest(label):
                self.assertCases(runner(data), CONVERSION_CASES)

    def test_ctrl_z_ends_input_from_a_file_or_a_pipe(self):
        cut = line(b"before") + lf_line(b"cut", fov=12)[:-1] + b"\x1a3\r\n" + line(b"after")
        cases = [
            ("mid-line, from a file", run_from_file, cut, block(b"before") + block(b"cut", fov=12)),
            ("mid-line, from a pipe", run, cut, block(b"before") + block(b"cut", fov=12)),
            ("a line of its own, from a file", run_from_file, b"\x1a\r\n" + line(b"never"), b""),
        ]
        for label, runner, data, output in cases:
            with self.subTest(label):
                self.assertSuccess(runner(data), output)

    def test_cr_as_the_last_byte_of_a_read(self):
        # The runtime must look one byte past a CR that ends a read to know
        # whether it is a line end: it puts the byte back into a file, and keeps
        # it for the next read from a pipe. brivel reads a file 256 KiB at a time.
        read_size = 256 * 1024  # kReadSize, cli/byte_streams.h

        def at_first_read_boundary(before_cr, after_cr):
            filler = (b"#" * 98 + b"\r\n") * ((read_size - 1 - len(before_cr)) // 100)
            filler += b"#" * (read_size - 1 - len(before_cr) - len(filler) - 2) + b"\r\n"
            self.assertEqual(len(filler + before_cr), read_size - 1)
            return filler + before_cr + b"\r" + after_cr + line(b"next")

        split_crlf = (lf_line(b"crlf", fov=5)[:-1], b"\n")
        lone_cr = (b'"lone', b'cr" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6\r\n')
        want_crlf = block(b"crlf", fov=5) + block(b"next")
        want_lone_cr = block(b"lone\rcr") + block(b"next")
        for label, halves, output in (("CR LF", split_crlf, want_crlf),
                                      ("a lone CR", lone_cr, want_lone_cr)):
            with self.subTest("file: " + label):
                self.assertSuccess(run_from_file(at_first_read_boundary(*halves)), output)

        with self.subTest("pipe: each written in two parts, the first ending with the CR"):
            proc = subprocess.Popen([WINE, BRIVEL], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=ENV)
            try:
                for part in (split_crlf[0] + b"\r", split_crlf[1] + lone_cr[0] + b"\r",
                             lone_cr[1] + line(b"next")):
                    proc.stdin.write(part)
                    proc.stdin.flush()
                    time.sleep(0.5)  # each part is a read of its own
                out, err = proc.communicate(timeout=60)
            finally:
                proc.kill()
                proc.wait()
            self.assertEqual((proc.returncode, err), (0, b""))
            self.assertEqual(out, block(b"crlf", fov=5) + want_lone_cr)


class Kernels(WineTestCase):
    def run_kernel(self, name, data):
        return subprocess.run([WINE, BRIVEL], input=data, capture_output=True, timeout=60,
                              env=dict(ENV, BRIVEL_KERNEL=name))

    def test_each_kernel_this_processor_runs_converts_alike(self):
        data = b"".join(case[1] for case in CONVERSION_CASES)
        ran = []
        for name in (b"portable", b"sse2", b"avx2"):
            got = self.run_kernel(name, data)
            if got.returncode == 1 and b"this processor cannot run that kernel" in got.stderr:
                continue
            with self.subTest(kernel=name):
                self.assertCases(got, CONVERSION_CASES)
                ran.append(name.decode())
        print("\nkernels run: %s" % ", ".join(ran), file=sys.stderr)
        # Every processor that runs a Windows for x86 has SSE2 but the oldest 32-bit ones.
        self.assertIn("portable", ran)
        self.assertIn("sse2", ran)

    def test_a_kernel_that_cannot_be_had_is_an_error(self):
        cases = [
            (b"fast", b"brivel: BRIVEL_KERNEL=fast: no such kernel "
                      b"(this program has portable, sse2, avx2)\r\n"),
            (b"simd128", b"brivel: BRIVEL_KERNEL=simd128: no such kernel "
                         b"(this program has portable, sse2, avx2)\r\n"),
        ]
        for name, message in cases:
            with self.subTest(kernel=name):
                got = self.run_kernel(name, line(b"waiting"))
                self.assertEqual((got.returncode, got.stdout), (1, b""))
                self.assertTrue(got.stderr.startswith(message), got.stderr)


class CommandLine(WineTestCase):
    def test_any_argument_gives_the_usage_message_and_nothing_is_read(self):
        read_end, write_end = os.pipe()
        os.write(write_end, line(b"waiting"))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as waiting:
            for args in (["-"], [""], ["a", "b"]):
                with self.subTest(args=args):
                    got = run(args=args, stdin=waiting)
                    self.assertEqual((got.returncode, got.stdout, got.stderr), (1, b"", crlf(USAGE)))
            self.assertEqual(waiting.read(), line(b"waiting"))


class Failures(WineTestCase):
    # The reasons are those of wine's C runtime. A closed descriptor and a
    # directory are things only wine can hand over as standard input; which
    # reason Microsoft's runtime would give for them is not checked here.
    def test_failed_reads_and_writes(self):
        def closing(fd):
            return lambda: os.close(fd)

        directory = os.open(WINE_HOME, os.O_RDONLY)
        self.addCleanup(os.close, directory)
        with open("/dev/full", "wb") as full:
            cases = [
                ("a full disk", dict(data=line(b"a"), stdout=full),
                 b"brivel: write error: No space left on device\r\n"),
                ("standard output closed", dict(data=line(b"a"), preexec_fn=closing(1)),
                 b"brivel: write error: Bad file descriptor\r\n"),
                ("standard input closed", dict(preexec_fn=closing(0)),
                 b"brivel: read error: Invalid argument\r\n"),
                ("a directory as input", dict(stdin=directory),
                 b"brivel: read error: Invalid argument\r\n"),
            ]
            for label, how, message in cases:
                with self.subTest(label):
                    got = run(**how)
                    self.assertEqual((got.returncode, got.stderr), (1, message))
                    self.assertIn(got.stdout, (None, b""))

    def test_reader_goes_away(self):
        # Windows has no SIGPIPE: the write fails (the C runtime says EINVAL,
        # the system that the pipe is closed) and brivel ends quietly, status 1.
        with tempfile.TemporaryFile() as source:
            source.write(line(b"a") * 200000)
            source.seek(0)
            proc = subprocess.Popen([WINE, BRIVEL], stdin=source, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=ENV)
            self.assertEqual(proc.stdout.read(len(block(b"a"))), block(b"a"))
            proc.stdout.close()
            self.assertEqual(proc.wait(timeout=60), 1)
            self.assertEqual(proc.stderr.read(), b"")
            proc.stderr.close()


def read_until_closed(fd, seconds):
    """Reads a terminal's controller until the last program using the terminal has ended."""
    data = b""
    deadline = time.monotonic() + seconds
    while select.select([fd], [], [], max(0, deadline - time.monotonic()))[0]:
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # EIO: no program has the terminal open any more
            break
        if not chunk:
            break
        data += chunk
    return data


class Streaming(WineTestCase):
    def test_records_appear_as_lines_arrive_until_a_ctrl_z(self):
        proc = subprocess.Popen([WINE, BRIVEL], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                env=ENV)
        pipe = proc.stdin
        try:
            for name in (b"first", b"second"):
                pipe.write(line(name))
                pipe.flush()
                got = read_within(proc.stdout.fileno(), len(block(name)), 20)
                self.assertEqual(got, block(name), "each block before the next line is sent")
            # The pipe stays open: the Ctrl-Z alone ends the run.
            pipe.write(b"\x1a" + line(b"never"))
            pipe.flush()
            self.assertEqual(proc.wait(timeout=20), 0)
            self.assertEqual(proc.stdout.read(), b"")
        finally:
            proc.kill()
            proc.wait()
            proc.stdout.close()
            pipe.close()

    def test_console_gets_each_block_as_a_write_of_its_own(self):
        # A wine console wraps each write in "hide the cursor" and "show the
        # cursor". Three lines from a file come in one read: to a file or a
        # pipe their blocks would go out in one write.
        names = (b"one", b"two", b"three")
        with tempfile.TemporaryFile() as source:
            source.write(b"".join(line(name) for name in names))
            source.seek(0)
            status, screen, errors = run_on_console([BRIVEL], stdin=source)
        self.assertEqual((status, errors), (0, b""))
        self.assertEqual(screen, b"".join(b"\x1b[?25l" + block(name) + b"\x1b[?25h"
                                          for name in names))


def run_on_console(args, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE):
    """Runs a program under wine with a terminal as its standard output (and
    error, where `stderr` is None), which gives it a wine console: the console
    draws the text itself, and hands it to the terminal in UTF-8. Returns the
    status, what the terminal got, and standard error if it was piped."""
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
    tty.setraw(terminal)
    try:
        proc = subprocess.Popen([WINE, *args], stdin=stdin, stdout=terminal,
                                stderr=terminal if stderr is None else stderr, env=ENV)
        os.close(terminal)
        screen = read_until_closed(controller, 20)
        errors = proc.stderr.read() if proc.stderr else b""
        status = proc.wait(timeout=20)
        if proc.stderr:
            proc.stderr.close()
    finally:
        os.close(controller)
    return status, screen, errors


def windows_path(path):
    """The path of a file of this machine as wine's programs see it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# A Windows-text list: CR LF line ends, a near miss, a name of non-ASCII
# letters, and a Ctrl-Z before the end, as the Windows program reads it.
CHECKED_LIST = (line(b"caf\xc3\xa9", fov=7) + b'"market" x=100 y=200\r\n' +
                line(b"before") + b"\x1a\r\n" + line(b"never read") + line(b"nor this"))
CHECKED_BLOCKS = block(b"caf\xc3\xa9", fov=7) + block(b"before")


def checked_list_findings(name):
    return crlf(b"%s:2:21: warning: z is missing after y=200\n"
                b'    2 | "market" x=100 y=200\n'
                b"      |                     ^\n"
                b"%s:4:1: warning: a Ctrl-Z (byte 0x1A) ends the input here, as the Windows program "
                b"reads text: 2 lines after it are not read\n"
                b"    4 | \n"
                b"      | ^\n" % (name, name))


CHECKED_SUMMARY = crlf(b"brivel-check: 3 lines in 1 file: 2 cameras (1 with the default fov), "
                       b"1 line skipped, 2 findings\n")


class CheckProgram(WineTestCase):
    def run_check(self, args, **kwargs):
        return run(args=args, program=CHECK, **kwargs)

    def test_windows_text_list(self):
        with tempfile.TemporaryDirectory(dir=WINE_HOME) as folder:
            path = os.path.join(folder, "harbour.txt")
            # Letters of no one ANSI code page, and a space: the name reaches
            # the program whole only in UTF-16, and is written out as UTF-8.
            other = os.path.join(folder, "カメラ Ωż.txt")
            for each in (path, other):
                with open(each, "wb") as f:
                    f.write(CHECKED_LIST)
            name = windows_path(path).encode()
            other_name = windows_path(other).encode()
            cases = [
                ("a file", dict(args=[windows_path(path)]), name),
                ("a file named outside the code page", dict(args=[windows_path(other)]), other_name),
                ("a pipe", dict(args=[], data=CHECKED_LIST), b"<stdin>"),
                ("a pipe named -", dict(args=["-"], data=CHECKED_LIST), b"<stdin>"),
            ]
            for label, how, shown in cases:
                with self.subTest(label):
                    got = self.run_check(**how)
                    self.assertEqual((got.returncode, got.stderr), (1, b""))
                    self.assertEqual(got.stdout, checked_list_findings(shown) + CHECKED_SUMMARY)
            # cmd.exe leaves wildcards to the program.
            wildcard = windows_path(folder) + "\\*.txt"
            got = self.run_check([wildcard, windows_path(other + ".missing"), windows_path(folder),
                                  windows_path(folder) + "\\*.none", "--format=json"])
        # (The runtime would call a folder "Permission denied", and a wildcard
        # that matches nothing an "Invalid argument".)
        self.assertEqual((got.returncode, got.stderr),
                         (2, b"brivel-check: %s.missing: No such file or directory\r\n"
                             b"brivel-check: %s: Is a directory\r\n"
                             b"brivel-check: %s\\*.none: No such file or directory\r\n"
                          % (other_name, windows_path(folder).encode(), windows_path(folder).encode())))
        lines = [json.loads(text) for text in got.stdout.split(b"\r\n")[:-1]]
        self.assertEqual(sorted(finding["file"] for finding in lines[:-1]),
                         sorted([name.decode(), other_name.decode()] * 2))
        self.assertEqual(lines[-1]["unreadable_files"], 3)

    def test_a_console_shows_every_letter(self):
        # A console shows the bytes it is given in its code page (1252 here):
        # UTF-8 came out as "cafÃ©" and "ã‚«ãƒ¡ãƒ©", the caret a column off. In
        # UTF-16, the findings and the message read as from a pipe.
        with tempfile.TemporaryDirectory(dir=WINE_HOME) as folder:
            path = os.path.join(folder, "カメラ.txt")
            with open(path, "wb") as f:
                f.write(b'"caf\xc3\xa9" x=1 y=2\r\n')
            args = [windows_path(path), windows_path(path + ".missing")]
            piped = self.run_check(args, stderr=subprocess.STDOUT)
            status, screen, _ = run_on_console([CHECK, *args], stderr=None)
        self.assertIn(b'| "caf\xc3\xa9" x=1 y=2\r\n', piped.stdout)
        self.assertEqual(status, 2)
        self.assertEqual(re.sub(rb"\x1b\[(\?25[lh]|K)", b"", screen), piped.stdout)


class DropTarget(WineTestCase):
    """brivel-drop.cmd beside brivel.exe and brivel-check.exe, as in the zip."""

    def drop(self, *names_and_contents):
        folder = tempfile.mkdtemp(dir=WINE_HOME)
        self.addCleanup(shutil.rmtree, folder)
        tools = os.path.join(folder, "brivel folder")
        lists = os.path.join(folder, "my lists")
        os.mkdir(tools)
        os.mkdir(lists)
        for program in (BRIVEL, CHECK, DROP_TARGET):
            shutil.copy(program, tools)
        paths = []
        for name, content in names_and_contents:
            paths.append(os.path.join(lists, name))
            with open(paths[-1], "wb") as f:
                f.write(content)
        # Explorer starts the batch file as cmd /c ""BATCH" "FILE" ...", with the
        # dropped files' full paths; a launcher, itself a batch file, does so here,
        # as wine would quote the arguments of a command of its own otherwise.
        quoted = " ".join('"%s"' % windows_path(path)
                          for path in [os.path.join(tools, "brivel-drop.cmd"), *paths])
        launcher = os.path.join(folder, "explorer.cmd")
        with open(launcher, "wb") as f:
            f.write(b'@cmd /c "%s"\r\n' % quoted.encode())
        got = subprocess.run([WINE, "cmd", "/c", windows_path(launcher)], stdin=subprocess.DEVNULL,
                             capture_output=True, env=ENV, timeout=60)
        return got, lists

    def test_each_list_dropped_becomes_an_ent_file_beside_it(self):
        got, lists = self.drop(("harbour list.txt", CHECKED_LIST), ("clean.txt", line(b"clean")))
        self.assertEqual((got.returncode, got.stderr), (1, b""))
        with open(os.path.join(lists, "harbour list.ent"), "rb") as f:
            self.assertEqual(f.read(), CHECKED_BLOCKS)
        with open(os.path.join(lists, "clean.ent"), "rb") as f:
            self.assertEqual(f.read(), block(b"clean"))
        name = windows_path(os.path.join(lists, "harbour list.txt")).encode()
        self.assertTrue(got.stdout.startswith(b'"harbour list.txt" becomes "harbour list.ent"\r\n' +
                                              checked_list_findings(name) + CHECKED_SUMMARY), got.stdout)
        # Findings: the window stays open until a key is pressed.
        self.assertIn(b"Press any key", got.stdout)

    def test_without_findings_the_window_closes(self):
        got, lists = self.drop(("clean.txt", line(b"clean")))
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        self.assertEqual(got.stdout, b'"clean.txt" becomes "clean.ent"\r\n' + crlf(
            b"brivel-check: 1 line in 1 file: 1 camera (1 with the default fov), 0 lines skipped, "
            b"0 findings\n"))
        with open(os.path.join(lists, "clean.ent"), "rb") as f:
            self.assertEqual(f.read(), block(b"clean"))

    def test_an_ent_file_is_left_alone(self):
        got, lists = self.drop(("cameras.ent", block(b"kept")))
        self.assertEqual(got.returncode, 1)
        self.assertIn(b'"cameras.ent" is an .ent file already', got.stdout)
        with open(os.path.join(lists, "cameras.ent"), "rb") as f:
            self.assertEqual(f.read(), block(b"kept"))


def main():
    global BRIVEL, CHECK, DROP_TARGET, WINE, WINEARCH
    parser = argparse.ArgumentParser(description="Tests a Windows brivel.exe under wine.")
    parser.add_argument("--wine", default="wine")
    parser.add_argument("--winearch", choices=("win32", "win64"), default="win32")
    parser.add_argument("--check", required=True, help="brivel-check.exe")
    parser.add_argument("--drop-target", required=True, help="brivel-drop.cmd")
    parser.add_argument("brivel")
    options, unittest_args = parser.parse_known_args()
    BRIVEL = os.path.abspath(options.brivel)
    CHECK = os.path.abspath(options.check)
    DROP_TARGET = os.path.abspath(options.drop_target)
    WINE = shutil.which(options.wine) or options.wine
    WINEARCH = options.winearch
    print("running %s, %s and %s under %s in a %s prefix"
          % (BRIVEL, CHECK, DROP_TARGET, WINE, WINEARCH), flush=True)
    sys.argv[1:] = unittest_args
    result = unittest.main(verbosity=2, exit=False).result
    failed = {getattr(test, "test_case", test).id() for test, _ in result.failures + result.errors}
    print("windows: %d passed, %d failed" % (result.testsRun - len(failed), len(failed)))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
