#!/usr/bin/env python3
"""Runs the built brivel-check as a user does (files, standard input, a pipe
that is still being written, unreadable files, wrong arguments, a full disk, a
reader that goes away) and compares whole outputs byte for byte: the GNU
format with its carets, the JSON, the summary and the exit status.

Usage: check_end_to_end_test.py [--runner RUNNER] PATH_TO_BRIVEL_CHECK
"""
import json
import os
import re
import resource
import signal
import socket
import struct
import subprocess
import tempfile
import unittest

from end_to_end_test import program_from_arguments, read_within

CHECK = None  # the command that runs brivel-check: the runner, if any, then the program
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
EXAMPLE = os.path.join(ROOT, "examples", "cameras.txt")
CAMERA = b'"a" x=1 y=2 z=3 pitch=4 yaw=5 roll=6'


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(brivel VERSION ([0-9.]+)", f.read()).group(1)


def run(args=(), data=b"", **kwargs):
    return subprocess.run([*CHECK, *args], input=data, capture_output=True, timeout=60, **kwargs)


def summary(lines, files, cameras, default_fov, skipped, findings, unreadable=0):
    def n(count, one, many):
        return b"%d %s" % (count, one if count == 1 else many)
    text = (b"brivel-check: " + n(lines, b"line", b"lines") + b" in " + n(files, b"file", b"files") +
            b": " + n(cameras, b"camera", b"cameras") + b" (%d with the default fov), " % default_fov +
            n(skipped, b"line", b"lines") + b" skipped, " + n(findings, b"finding", b"findings"))
    if unreadable:
        text += b"; " + n(unreadable, b"file", b"files") + b" could not be read"
    return text + b"\n"


class Formats(unittest.TestCase):
    def assertRun(self, got, status, stdout, stderr=b""):
        self.assertEqual((got.returncode, got.stderr), (status, stderr))
        self.assertEqual(got.stdout, stdout)

    def test_example_list(self):
        # The three lines the example calls "not cameras", and nothing for its
        # blank lines, comments and cameras.
        self.assertRun(run([EXAMPLE]), 1, b"".join(line.replace(b"FILE", EXAMPLE.encode()) + b"\n" for line in [
            b'FILE:15:1: warning: a camera line starts with its name in double quotes, but this one starts with "light"',
            b'   15 | light "sun" x=0 y=0 z=9000',
            b'      | ^',
            b"FILE:16:21: warning: z is missing after y=200",
            b'   16 | "market" x=100 y=200',
            b"      |                     ^",
            b"FILE:17:13: warning: X= must be written in lower case: x=",
            b'   17 | "warehouse" X=1 Y=2 Z=3 PITCH=0 YAW=0 ROLL=0',
            b"      |             ^",
        ]) + summary(17, 1, 7, 2, 10, 3))

    def test_near_miss_list(self):
        # The README's worked example, byte for byte.
        with open(os.path.join(ROOT, "README.md"), "rb") as f:
            readme = f.read()
        command = b"$ brivel-check examples/near-misses.txt\n"
        example = readme[readme.index(command) + len(command):]
        example = example[:example.index(b"```")]
        got = run(["examples/near-misses.txt"], cwd=ROOT)
        self.assertEqual((got.returncode, got.stderr), (1, b""))
        self.assertEqual(got.stdout, example)
        self.assertTrue(got.stdout.endswith(summary(12, 1, 4, 1, 8, 7)), got.stdout)

    def test_caret(self):
        # Under the column in characters; a long line as a window around it,
        # cut at either end; control bytes shown as ^X, a byte that is no UTF-8 as <XX>.
        cases = [
            ("a name of non-ASCII letters", b'"caf\xc3\xa9 \xe2\x80\x94 \xff" x=1 y=2 ptich=3\n',
             b"<stdin>:1:20: warning: \"ptich\" is not a key: z= was expected after y=2\n"
             b'    1 | "caf\xc3\xa9 \xe2\x80\x94 <FF>" x=1 y=2 ptich=3\n'
             b"      | " + b" " * 22 + b"^\n"),
            ("a tab and a NUL", b'\t"a\0b" x=1\n',
             b"<stdin>:1:4: warning: a NUL byte ends the line inside the name\n"
             b'    1 |  "a^@b" x=1\n'
             b"      |    ^\n"),
            ("DEL", b'"a\x7f" x=1\n',
             b"<stdin>:1:9: warning: y is missing after x=1\n"
             b'    1 | "a^?" x=1\n'
             b"      | " + b" " * 9 + b"^\n"),
            ("the control bytes beside the whitespace ones", b'"a\x1f\x0e\x08" x=1\n',
             b"<stdin>:1:11: warning: y is missing after x=1\n"
             b'    1 | "a^_^N^H" x=1\n'
             b"      | " + b" " * 13 + b"^\n"),
            ("a long line", b'"' + b"n" * 200 + b'" x=1 y=2 ptich=3' + b"m" * 100 + b"\n",
             b"<stdin>:1:212: warning: \"ptich\" is not a key: z= was expected after y=2\n"
             b"    1 | ..." + b"n" * 38 + b'" x=1 y=2 ptich=3' + b"m" * 41 + b"...\n"
             b"      | " + b" " * (3 + 48) + b"^\n"),
        ]
        for label, data, output in cases:
            with self.subTest(label):
                self.assertRun(run(data=data), 1, output + summary(1, 1, 0, 0, 1, 1))

    def test_json(self):
        data = (b'"caf\xc3\xa9" x=1 y=2 ptich=3\n' +
                b'"bad \xff\x01\x7f" x=1\n' + CAMERA + b" fov=7\n" + CAMERA + b" FOV=7\n")
        got = run(["--format=json"], data)
        self.assertEqual((got.returncode, got.stderr), (1, b""))
        self.assertNotIn(b"\x7f", got.stdout)  # escaped, as every control byte
        # Every line is valid JSON, in valid UTF-8, whatever the input held.
        objects = [json.loads(line) for line in got.stdout.decode("utf-8").splitlines()]
        self.assertEqual(objects, [
            {"kind": "finding", "file": "<stdin>", "line": 1, "column": 16, "byte_column": 17,
             "severity": "warning", "code": "key-typo",
             "message": '"ptich" is not a key: z= was expected after y=2',
             "excerpt": '"caf\u00e9" x=1 y=2 ptich=3', "excerpt_mark": 15,
             "excerpt_starts_line": True, "excerpt_ends_line": True},
            {"kind": "finding", "file": "<stdin>", "line": 2, "column": 14, "byte_column": 14,
             "severity": "warning", "code": "missing-key", "message": "y is missing after x=1",
             "excerpt": '"bad \ufffd\u0001\u007f" x=1', "excerpt_mark": 13,
             "excerpt_starts_line": True, "excerpt_ends_line": True},
            {"kind": "finding", "file": "<stdin>", "line": 4, "column": 38, "byte_column": 38,
             "severity": "warning", "code": "default-fov",
             "message": "FOV= must be written in lower case: fov=, so the camera gets fov 90",
             "excerpt": CAMERA.decode() + " FOV=7", "excerpt_mark": 37,
             "excerpt_starts_line": True, "excerpt_ends_line": True},
            {"kind": "summary", "files": 1, "unreadable_files": 0, "lines": 4, "cameras": 2,
             "cameras_with_default_fov": 1, "skipped_lines": 2, "findings": 3},
        ])
        # The mark is the column's place in the excerpt.
        self.assertEqual(objects[0]["excerpt"][objects[0]["excerpt_mark"]:][:5], "ptich")

    def test_windows_text(self):
        data = (CAMERA + b" fov=7\r\n" + b'"b" x=1\r\n' + CAMERA + b"\x1a junk\r\n" +
                CAMERA + b"\r\n")
        # As Linux reads it, the Ctrl-Z is an ordinary byte: the camera before it
        # gets the default fov; as Windows reads it, the input ends there.
        self.assertRun(run([], data), 1,
                       b"<stdin>:2:8: warning: y is missing after x=1\n"
                       b'    2 | "b" x=1\n'
                       b"      |        ^\n"
                       b"<stdin>:3:37: warning: fov= was expected after roll=6, not the control byte 0x1A, "
                       b"so the camera gets fov 90\n"
                       b"    3 | " + CAMERA + b"^Z junk\n"
                       b"      | " + b" " * 36 + b"^\n" + summary(4, 1, 3, 2, 1, 2))
        self.assertRun(run(["--windows-text"], data), 1,
                       b"<stdin>:2:8: warning: y is missing after x=1\n"
                       b'    2 | "b" x=1\n'
                       b"      |        ^\n"
                       b"<stdin>:3:37: warning: a Ctrl-Z (byte 0x1A) ends the input here, as the Windows "
                       b"program reads text: the rest of this line and 1 line after it are not read\n"
                       b"    3 | " + CAMERA + b"\n"
                       b"      | " + b" " * 36 + b"^\n" + summary(3, 1, 2, 1, 1, 2))
        # What a Ctrl-Z cuts off is counted to the end of the input, past the first read.
        got = run(["--windows-text"], b"\x1a\n" + b"x\n" * 200000)
        self.assertIn(b": 200000 lines after it are not read\n", got.stdout)

    def test_input_as_a_whole(self):
        cases = [
            ("UTF-16", (CAMERA.decode() + "\r\n").encode("utf-16"), b"utf16"),
            ("a UTF-8 byte-order mark", b"\xef\xbb\xbf" + CAMERA + b"\n", b"utf8-byte-order-mark"),
            ("binary data", b"\x7fELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\n" + CAMERA + b'\n"a" x\n', b"binary"),
            # Brivel gives the first camera only, whatever the length of the list.
            ("carriage returns alone as line ends", (CAMERA + b" fov=7\r") * 60, b"joined-camera"),
            ("and a UTF-8 byte-order mark", b"\xef\xbb\xbf" + (CAMERA + b"\r") * 60,
             b"utf8-byte-order-mark joined-camera"),
        ]
        for label, data, code in cases:
            with self.subTest(label):
                got = run(["--format=json"], data)
                self.assertEqual((got.returncode, got.stderr), (1, b""))
                codes = [json.loads(line).get("code") for line in got.stdout.splitlines()[:-1]]
                self.assertEqual(codes, code.decode().split())


class Files(unittest.TestCase):
    def test_several_files_and_standard_input(self):
        with tempfile.TemporaryDirectory() as folder:
            first, second = (os.path.join(folder, name) for name in ("first.txt", "second.txt"))
            with open(first, "wb") as f:
                f.write(CAMERA + b"\n\"b\" x=1\n")
            with open(second, "wb") as f:
                f.write(b"# nothing to say\n" + CAMERA + b" fov=5\n")
            got = run([first, "-", second, "--format", "json"], b'\n"s" y=1\n')
            # Each file is closed once checked: more files than may be open at once.
            many = run([first] * 40, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (16, 16)))
        self.assertEqual((got.returncode, got.stderr), (1, b""))
        objects = [json.loads(line) for line in got.stdout.splitlines()]
        self.assertEqual([(o.get("file"), o.get("line"), o.get("code")) for o in objects], [
            (first, 2, "missing-key"), ("<stdin>", 2, "missing-key"), (None, None, None)])
        self.assertEqual(objects[-1], {
            "kind": "summary", "files": 3, "unreadable_files": 0, "lines": 6, "cameras": 2,
            "cameras_with_default_fov": 1, "skipped_lines": 4, "findings": 2})
        self.assertEqual((many.returncode, many.stderr), (1, b""))
        self.assertTrue(many.stdout.endswith(summary(80, 40, 40, 40, 40, 40)), many.stdout[-200:])

    def test_unreadable_files_are_named_and_the_others_still_checked(self):
        with tempfile.TemporaryDirectory() as folder:
            # The same line without a line feed: its finding comes once the
            # file has no more to read.
            good, last = os.path.join(folder, "good.txt"), os.path.join(folder, "last.txt")
            for name, text in ((good, b'"b" x=1\n'), (last, b'"b" x=1')):
                with open(name, "wb") as f:
                    f.write(text)
            missing = os.path.join(folder, "missing.txt")
            got = run([missing, good, folder])
            # On one terminal, or in one log, each file's findings come before
            # the next file's complaint.
            merged = subprocess.run([*CHECK, last, missing, last, folder], stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, timeout=60)
        def finding(name):
            return (b"%s:1:8: warning: y is missing after x=1\n"
                    b'    1 | "b" x=1\n'
                    b"      |        ^\n" % name.encode())
        gone = b"brivel-check: %s: No such file or directory\n" % missing.encode()
        directory = b"brivel-check: %s: read error: Is a directory\n" % folder.encode()
        self.assertEqual(got.returncode, 2)
        self.assertEqual(got.stderr, gone + directory)
        self.assertEqual(got.stdout, finding(good) + summary(1, 1, 0, 0, 1, 1, unreadable=2))
        self.assertEqual(merged.stdout, finding(last) + gone + finding(last) + directory +
                         summary(2, 2, 0, 0, 2, 2, unreadable=2))

    def test_read_error_part_way_through(self):
        # What was read before the failure is still checked, and its findings
        # come before the complaint: the unfinished last line's too.
        with socket.create_server(("127.0.0.1", 0)) as listener:
            ours = socket.create_connection(listener.getsockname())
            theirs, _ = listener.accept()
        with ours:
            proc = subprocess.Popen(CHECK, stdin=theirs, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            theirs.close()
            ours.sendall(b'"b" x=1\n"c" x=2')
            first = b"<stdin>:1:8: warning: y is missing after x=1\n"
            self.assertEqual(read_within(proc.stdout.fileno(), len(first), 10), first)
            ours.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # Closed with linger 0: the connection is reset, and the next read fails.
        rest = proc.communicate(timeout=10)[0]
        self.assertEqual((proc.returncode, first + rest), (2, first +
                         b'    1 | "b" x=1\n      |        ^\n'
                         b'<stdin>:2:8: warning: y is missing after x=2\n    2 | "c" x=2\n      |        ^\n'
                         b"brivel-check: <stdin>: read error: Connection reset by peer\n" +
                         summary(2, 0, 0, 0, 2, 2, unreadable=1)))

    def test_findings_show_as_the_input_comes(self):
        proc = subprocess.Popen(CHECK, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            proc.stdin.write(b'"b" x=1\n')
            proc.stdin.flush()
            first = b"<stdin>:1:8: warning: y is missing after x=1\n"
            self.assertEqual(read_within(proc.stdout.fileno(), len(first), 10), first)
            proc.stdin.close()
            proc.stdout.read()
            self.assertEqual(proc.wait(timeout=10), 1)
        finally:
            proc.kill()
            proc.wait()
            proc.stdout.close()

    def test_reader_goes_away(self):
        # With SIGPIPE ignored, the failed write ends the run quietly, and
        # nothing more is read, though the input stays open.
        proc = subprocess.Popen(CHECK, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN))
        try:
            proc.stdin.write(b'"b" x=1\n')
            proc.stdin.flush()
            self.assertEqual(read_within(proc.stdout.fileno(), 1, 10), b"<")
            proc.stdout.close()
            proc.stdin.write(b'"b" x=1\n')
            proc.stdin.flush()
            self.assertEqual((proc.wait(timeout=10), proc.stderr.read()), (2, b""))
        finally:
            proc.kill()
            proc.wait()
            proc.stdin.close()
            proc.stderr.close()


class CommandLine(unittest.TestCase):
    def test_exit_statuses_and_arguments(self):
        usage = b"Usage: brivel-check [--windows-text] [--format=gnu|json] [FILE...]\n"
        more = b"Try 'brivel-check --help' for more.\n"
        cases = [
            ("no finding", [], CAMERA + b"\n# c\n\n", 0, summary(3, 1, 1, 1, 2, 0), b""),
            ("a finding", ["-"], b'"b" x=1', 1, None, b""),
            ("an unknown option", ["--fast"], b"", 2, b"",
             b"brivel-check: unknown option '--fast'\n" + usage + more),
            ("an unknown format", ["--format=xml"], b"", 2, b"",
             b"brivel-check: unknown format 'xml': gnu or json\n" + usage + more),
            ("a format missing", ["--format"], b"", 2, b"",
             b"brivel-check: --format needs a value: gnu or json\n" + usage + more),
            ("a file named like an option, after --", ["--", "--fast"], b"", 2,
             summary(0, 0, 0, 0, 0, 0, unreadable=1),
             b"brivel-check: --fast: No such file or directory\n"),
            ("--version", ["--version"], b"", 0, b"brivel-check %s\n" % version().encode(), b""),
        ]
        for label, args, data, status, stdout, stderr in cases:
            with self.subTest(label):
                got = run(args, data)
                self.assertEqual((got.returncode, got.stderr), (status, stderr))
                if stdout is not None:
                    self.assertEqual(got.stdout, stdout)
        got = run(["--help"])
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        self.assertTrue(got.stdout.startswith(usage), got.stdout)
        self.assertIn(b"--windows-text", got.stdout)
        # A full disk fails the run, the help's write as much as the findings'.
        with open("/dev/full", "wb") as full:
            for args in ([], ["--help"], ["--version"]):
                with self.subTest("a full disk", args=args):
                    got = subprocess.run([*CHECK, *args], input=CAMERA, stdout=full, stderr=subprocess.PIPE, timeout=60)
                    self.assertEqual((got.returncode, got.stderr),
                                     (2, b"brivel-check: write error: No space left on device\n"))


if __name__ == "__main__":
    CHECK = program_from_arguments()
    unittest.main(verbosity=2)
