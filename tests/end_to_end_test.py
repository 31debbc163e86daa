#!/usr/bin/env python3
"""Runs the built brivel as a user does (files, pipes, a terminal, a full disk,
a reader that goes away) and compares whole outputs byte for byte.

Usage: end_to_end_test.py [--runner RUNNER] PATH_TO_BRIVEL

--runner runs the program through another, e.g. `--runner qemu-s390x-static`
for a program built for another machine.
"""
import os
import pty
import resource
import select
import shlex
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty
import unittest

BRIVEL = None  # the command that runs brivel: the runner, if any, then the program
USAGE = b"Usage: brivel [< marnfile] [> camfile]\n"
EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "cameras.txt")


def line(name, x=1, y=-2, z=3, pitch=4, yaw=5, roll=6, fov=None):
    text = b'"%s" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d' % (name, x, y, z, pitch, yaw, roll)
    return text + (b" fov=%d" % fov if fov is not None else b"") + b"\n"


def block(name, x=1, y=-2, z=3, pitch=4, yaw=5, roll=6, fov=90):
    return (b'{\n"classname" "info_camera"\n"name" "%s"\n"origin" "%d %d %d"\n'
            b'"angles" "%d %d %d"\n"fov" "%d"\n}\n' % (name, x, y, z, pitch, yaw, roll, fov))


def run(data=b"", args=(), **kwargs):
    return subprocess.run([*BRIVEL, *args], input=data, capture_output=True, timeout=60, **kwargs)


class Conversion(unittest.TestCase):
    def assertRun(self, data, stdout, status=0, stderr=b""):
        got = run(data)
        self.assertEqual((got.returncode, got.stderr), (status, stderr))
        self.assertEqual(got.stdout, stdout)

    def test_example_list(self):
        with open(EXAMPLE, "rb") as f:
            got = subprocess.run(BRIVEL, stdin=f, capture_output=True, timeout=60)
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        # A stack as small as a thread's or a tight shell limit's (ulimit -s 64)
        # must do: the read loop's storage is not on it.
        with open(EXAMPLE, "rb") as f:
            small_stack = subprocess.run(
                BRIVEL, stdin=f, capture_output=True, timeout=60,
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_STACK, (64 << 10, 64 << 10)))
        self.assertEqual((small_stack.returncode, small_stack.stderr, small_stack.stdout),
                         (0, b"", got.stdout))
        self.assertEqual(got.stdout, b"".join([
            block(b"gate", 10, -4, 96, 0, 180, 0, 75),
            block(b"lighthouse top", -2048, 512, 1400, -35, 90, 0, 60),
            block(b"dock 3", 768, -1536, 64, 5, 270, 0, 90),
            block(b"crane cab", 1200, -880, 640, 20, 45, -3, 100),
            block(b"flyover 01", 0, 0, 2000, -90, 0, 0, 90),
            block(b"flyover 02", 256, 128, 1980, -85, 10, 2, 90),
            block(b"flyover 03", 512, 256, 1950, -80, 20, 4, 85),
        ]))

    def test_small_inputs(self):
        cases = [
            ("empty input", b"", b""),
            ("only rejected lines", b"\n# comment\n\"\" x=1\n", b""),
            ("last line without a line feed", line(b"a") + line(b"b", fov=7)[:-1],
             block(b"a") + block(b"b", fov=7)),
            ("CRLF line ends", line(b"a").replace(b"\n", b"\r\n") + b"junk\r\n" +
             line(b"b", fov=3).replace(b"\n", b"\r\n"), block(b"a") + block(b"b", fov=3)),
            ("rejected lines leave no trace", line(b"a") + b"x=1\n\n" + line(b"b"),
             block(b"a") + block(b"b")),
            ("NUL ends the text of a line", line(b"a", fov=5).replace(b" fov", b"\0 fov") +
             b"\0" + line(b"hidden") + line(b"b"), block(b"a") + block(b"b")),
            ("Ctrl-Z is an ordinary byte", line(b"a\x1a") + b"\x1a\n" + line(b"b"),
             block(b"a\x1a") + block(b"b")),
            ("names of 63 and 64 bytes", line(b"n" * 63) + line(b"m" * 64),
             block(b"n" * 63) + block(b"m" * 64)),
        ]
        for label, data, output in cases:
            with self.subTest(label):
                self.assertRun(data, output)

    def test_long_lines_are_read_in_pieces(self):
        head = b'"cut" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov='
        cases = [
            ("1022 bytes: one piece", head + b"7".rjust(1022 - len(head)) + b"\n", block(b"cut", fov=7)),
            ("1023 bytes: a piece, then a lone line feed", head + b"7".rjust(1023 - len(head)) + b"\n",
             block(b"cut", fov=7)),
            ("1024 bytes: a number cut at the boundary keeps its digits",
             head + b"12".rjust(1024 - len(head)) + b"\n", block(b"cut", fov=1)),
            ("a boundary just before the fov digits", head + b" " * (1023 - len(head)) + b"45\n",
             block(b"cut")),
            ("3000 bytes: a later piece is itself a camera line",
             b"#" * 2046 + line(b"later", fov=1).ljust(3000 - 2046 - 1) + b"\n", block(b"later", fov=1)),
            ("the longest name a record can carry",
             b'"' + b"n" * 994 + b'"x=1y=2z=3pitch=4yaw=5roll=6\n', block(b"n" * 994, y=2)),
            ("a name filling a whole piece", b'"' + b"n" * 1021 + b'"' + b" x=1 y=2\n", b""),
        ]
        for label, data, output in cases:
            with self.subTest(label):
                self.assertRun(data, output)


class CommandLine(unittest.TestCase):
    def test_any_argument_gives_the_usage_message(self):
        for args in (["-"], [""], ["a", "b"]):
            with self.subTest(args=args):
                read_end, write_end = os.pipe()
                os.write(write_end, line(b"waiting"))
                os.close(write_end)
                got = subprocess.run([*BRIVEL, *args], stdin=read_end, capture_output=True, timeout=60)
                left = os.read(read_end, 1000)
                os.close(read_end)
                self.assertEqual((got.returncode, got.stdout, got.stderr), (1, b"", USAGE))
                self.assertEqual(left, line(b"waiting"), "input must not be read")


KERNELS = (b"portable", b"sse2", b"avx2")


class Kernels(unittest.TestCase):
    def run_kernel(self, name, data=b"", args=()):
        env = dict(os.environ, BRIVEL_KERNEL=name)
        return subprocess.run([*BRIVEL, *args], input=data, capture_output=True, timeout=60, env=env)

    def test_every_kernel_this_processor_runs_gives_the_same_output(self):
        with open(EXAMPLE, "rb") as f:
            data = f.read()
        data += b"".join(line(b"k%d" % i, x=i * 37 - 900, y=-i, fov=i if i % 3 else None)
                         for i in range(300))
        data += b'"' + b"w" * 60 + b'" x=-1 y=2 z=-3 pitch=4 yaw=5 roll=-6 fov=007\n'
        data += b'"zero" x=-0 y=00 z=12345678 pitch=4 yaw=5 roll=6\n' + b"#" * 3000 + b"\n"
        expected = run(data)
        self.assertEqual((expected.returncode, expected.stderr), (0, b""))
        ran = []
        for name in KERNELS:
            got = self.run_kernel(name, data)
            # A program for another machine (run through a runner) may have the portable kernel alone.
            if got.returncode == 1 and (b"cannot run" in got.stderr or
                                        (len(BRIVEL) > 1 and b"no such" in got.stderr)):
                continue
            with self.subTest(kernel=name):
                self.assertEqual((got.returncode, got.stderr), (0, b""))
                self.assertEqual(got.stdout, expected.stdout)
                ran.append(name.decode())
        self.assertIn("portable", ran)
        print("\nkernels run: %s" % ", ".join(ran), file=sys.stderr)

    def test_a_kernel_that_cannot_be_had_is_an_error_before_anything_is_read(self):
        cases = [
            (b"fast", b"brivel: BRIVEL_KERNEL=fast: no such kernel (this program has portable"),
            (b"AVX2", b"brivel: BRIVEL_KERNEL=AVX2: no such kernel (this program has portable"),
            # The page's kernel is built into the page only.
            (b"simd128", b"brivel: BRIVEL_KERNEL=simd128: no such kernel (this program has portable"),
        ]
        for name, message in cases:
            with self.subTest(kernel=name):
                read_end, write_end = os.pipe()
                os.write(write_end, line(b"waiting"))
                os.close(write_end)
                env = dict(os.environ, BRIVEL_KERNEL=name)
                got = subprocess.run(BRIVEL, stdin=read_end, capture_output=True, timeout=60, env=env)
                left = os.read(read_end, 1000)
                os.close(read_end)
                self.assertEqual((got.returncode, got.stdout), (1, b""))
                self.assertTrue(got.stderr.startswith(message), got.stderr)
                self.assertTrue(got.stderr.endswith(b")\n") and got.stderr.count(b"\n") == 1,
                                got.stderr)
                self.assertEqual(left, line(b"waiting"), "input must not be read")

    def test_arguments_are_checked_first_and_an_empty_name_is_no_name(self):
        self.assertEqual(self.run_kernel(b"fast", args=["-"]).stderr, USAGE)
        got = self.run_kernel(b"", line(b"a"))
        self.assertEqual((got.returncode, got.stderr, got.stdout), (0, b"", block(b"a")))


class Failures(unittest.TestCase):
    def test_full_disk(self):
        # Without a line feed at the end, the block is written only once the input has ended.
        for data in (line(b"a"), line(b"a")[:-1]):
            with self.subTest(data=data), open("/dev/full", "wb") as full:
                got = subprocess.run(BRIVEL, input=data, stdout=full, stderr=subprocess.PIPE,
                                     timeout=60)
                self.assertEqual((got.returncode, got.stderr),
                                 (1, b"brivel: write error: No space left on device\n"))

    def test_directory_as_input(self):
        with tempfile.TemporaryDirectory() as directory:
            fd = os.open(directory, os.O_RDONLY)
            got = subprocess.run(BRIVEL, stdin=fd, capture_output=True, timeout=60)
            os.close(fd)
        self.assertEqual((got.returncode, got.stdout, got.stderr), (1, b"", b"brivel: read error: Is a directory\n"))

    def test_reader_goes_away(self):
        big = line(b"a") * 200000
        for label, ignore_sigpipe, status in (("SIGPIPE", False, -signal.SIGPIPE),
                                              ("SIGPIPE ignored", True, 1)):
            with self.subTest(label), tempfile.TemporaryFile() as source:
                source.write(big)
                source.seek(0)
                proc = subprocess.Popen(
                    BRIVEL, stdin=source, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    preexec_fn=(lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN)) if ignore_sigpipe else None)
                self.assertEqual(proc.stdout.read(len(block(b"a"))), block(b"a"))
                proc.stdout.close()
                self.assertEqual(proc.wait(timeout=20), status)
                self.assertEqual(proc.stderr.read(), b"")
                proc.stderr.close()


def read_within(fd, size, seconds):
    """Reads `size` bytes from fd, or fewer if they do not come within `seconds`."""
    data = b""
    deadline = time.monotonic() + seconds
    while len(data) < size:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, size - len(data))
        if not chunk:
            break
        data += chunk
    return data


def cpu_seconds(pid):
    """The user and system time a running process has taken so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Streaming(unittest.TestCase):
    def test_record_appears_before_more_input_is_sent(self):
        proc = subprocess.Popen(BRIVEL, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            for name in (b"first", b"second"):
                proc.stdin.write(line(name))
                proc.stdin.flush()
                self.assertEqual(read_within(proc.stdout.fileno(), len(block(name)), 10), block(name))
            proc.stdin.close()
            self.assertEqual(proc.stdout.read(), b"")
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            proc.kill()
            proc.wait()
            proc.stdout.close()

    def test_non_blocking_descriptors(self, poll_fails=False):
        # Another program may leave a shared pipe non-blocking: brivel still waits for it.
        in_read, in_write = os.pipe()
        out_read, out_write = os.pipe()
        os.set_blocking(in_read, False)
        os.set_blocking(out_write, False)
        # The sanitizers' leak check cannot run without opening files.
        env = dict(os.environ, LSAN_OPTIONS="detect_leaks=0") if poll_fails else None
        proc = subprocess.Popen(BRIVEL, stdin=in_read, stdout=out_write, env=env)
        os.close(in_read)
        os.close(out_write)

        def cpu_while_waiting():
            time.sleep(0.2)  # brivel has come to wait
            before = cpu_seconds(proc.pid)
            time.sleep(1)
            return cpu_seconds(proc.pid) - before

        try:
            if poll_fails:
                # No open file allowed, as `ulimit -n 0` sets it, but only once brivel
                # runs: a build linked dynamically (the sanitizers') would not load.
                os.write(in_write, line(b"loaded"))
                self.assertEqual(read_within(out_read, len(block(b"loaded")), 10), block(b"loaded"))
                resource.prlimit(proc.pid, resource.RLIMIT_NOFILE, (0, 0))
            # Waiting must be sleeping, not trying again and again.
            self.assertLess(cpu_while_waiting(), 0.1, "CPU seconds while waiting for input")
            os.write(in_write, line(b"slow"))
            self.assertEqual(read_within(out_read, len(block(b"slow")), 10), block(b"slow"))
            if not poll_fails:
                # ...and end as soon as input comes: a wait that also slept after
                # a poll that succeeded would take milliseconds for each line.
                started = time.monotonic()
                for _ in range(200):
                    os.write(in_write, line(b"quick"))
                    self.assertEqual(read_within(out_read, len(block(b"quick")), 10), block(b"quick"))
                self.assertLess(time.monotonic() - started, 0.2,
                                "seconds for 200 lines fed one at a time, each answered")
            # More output than a pipe holds: brivel must wait for this reader, not fail.
            writer = threading.Thread(target=lambda: (os.write(in_write, line(b"m") * 20000),
                                                      os.close(in_write)))
            writer.start()
            self.assertLess(cpu_while_waiting(), 0.1, "CPU seconds while waiting for the reader")
            expected = block(b"m") * 20000
            self.assertEqual(read_within(out_read, len(expected), 20), expected)
            writer.join()
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            proc.kill()
            proc.wait()
            os.close(out_read)

    def test_non_blocking_descriptors_where_poll_fails(self):
        # poll cannot wait then, and brivel must wait some other way.
        self.test_non_blocking_descriptors(poll_fails=True)

    def test_terminal_output(self):
        # Lines from a file come in one read; a terminal still gets each block
        # in a write of its own, as soon as it is formatted. With the terminal's
        # output stopped (as by Ctrl-S), brivel waits in its first write, where
        # the kernel shows how much that write holds.
        names = (b"tty 1", b"tty 2", b"tty 3")
        expected = b"".join(block(name) for name in names)
        controller, terminal = pty.openpty()
        tty.setraw(terminal)  # no line-end translation by the terminal itself
        termios.tcflow(terminal, termios.TCOOFF)
        with tempfile.TemporaryFile() as source:
            source.write(b"".join(line(name) for name in names))
            source.seek(0)
            proc = subprocess.Popen(BRIVEL, stdin=source, stdout=terminal)
        try:
            first_write = None
            deadline = time.monotonic() + 10
            while first_write is None and time.monotonic() < deadline:
                time.sleep(0.01)
                with open("/proc/%d/syscall" % proc.pid) as call:
                    fields = call.read().split()  # number, arguments...; or "running"
                if fields[1:2] == ["0x1"]:  # writing to standard output (reads are from 0x0)
                    first_write = int(fields[3], 16)
            self.assertEqual(first_write, len(block(names[0])), "bytes in the first write")
            termios.tcflow(terminal, termios.TCOON)
            self.assertEqual(read_within(controller, len(expected), 10), expected)
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            proc.kill()
            proc.wait()
            os.close(terminal)
            os.close(controller)


def program_from_arguments():
    """The command that runs the program named by the arguments, `[--runner
    RUNNER] PROGRAM`, which it takes from sys.argv."""
    runner = []
    if sys.argv[1] == "--runner":
        del sys.argv[1]
        runner = shlex.split(sys.argv.pop(1))
    return runner + [os.path.abspath(sys.argv.pop(1))]


if __name__ == "__main__":
    BRIVEL = program_from_arguments()
    unittest.main(verbosity=2)
