#!/usr/bin/env python3
"""Feeds the built brivel what a user may pipe into it by mistake: a line of
gigabytes, random bytes, every byte value, NULs, Ctrl-Z, lone carriage
returns, streams that cannot be read or written, a reader that leaves, input
that trickles in one byte at a time. Each case checks the exit status,
standard error and the whole output.

Usage: hostile_input_test.py PATH_TO_BRIVEL [--sanitized]
(--sanitized: brivel was built with AddressSanitizer, so its memory figures
mean nothing and are not checked.)
"""
import errno
import fcntl
import os
import random
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

from end_to_end_test import block, line, read_within

BRIVEL = None
SANITIZED = False
PIECE = 1023

# Every run here takes a few seconds at most. One that makes no progress for
# this long has hung: brivel is killed and the case fails, naming what hung,
# and the cases after it fail at once, so that a hang fails the whole test
# within seconds rather than at its overall timeout.
HANG_SECONDS = 10
hangs = []


def hang(what):
    hangs.append("%s: %s" % (HangGuard.running, what))
    return AssertionError("brivel hung: %s within %d s" % (what, HANG_SECONDS))


class HangGuard(unittest.TestCase):
    running = None  # the case under way

    def setUp(self):
        if hangs:
            self.fail("not run: brivel hung in %s" % hangs[0])
        HangGuard.running = self.id().rpartition(".")[2]


def kill_at_end(test, proc):
    """Kills `proc` when the case ends, however it ends."""
    def stop():
        proc.kill()
        proc.wait()
    test.addCleanup(stop)
    return proc


def no_hang(call, *args, **kwargs):
    """call(*args, **kwargs) of subprocess that must end within the hang time
    (subprocess.run kills the program when it does not)."""
    try:
        return call(*args, timeout=HANG_SECONDS, **kwargs)
    except subprocess.TimeoutExpired:
        raise hang("no exit") from None

# What brivel must write, from the rules alone: the input is cut into pieces
# (up to and including a line feed, or 1023 bytes of a longer line), and each
# piece, up to its first NUL, is matched on its own.
SPACE = rb"[ \t\n\v\f\r]*"
CAMERA_LINE = re.compile(
    SPACE + rb'"([^"]+)"'
    + b"".join(SPACE + key + b"=" + SPACE + rb"([+-]?[0-9]+)"
               for key in (b"x", b"y", b"z", b"pitch", b"yaw", b"roll"))
    + rb"(?:" + SPACE + rb"fov=" + SPACE + rb"([+-]?[0-9]+))?")


def wrap(digits):
    value = int(digits) % 2**32
    return value - 2**32 if value >= 2**31 else value


def expected_output(data):
    out = []
    at = 0
    while at < len(data):
        end = data.find(b"\n", at, at + PIECE)
        end = end + 1 if end >= 0 else min(at + PIECE, len(data))
        match = CAMERA_LINE.match(data[at:end].split(b"\0", 1)[0])
        if match:
            name, *numbers = match.groups()
            numbers = [wrap(n) for n in numbers if n is not None]
            out.append(block(name, *numbers))
        at = end
    return b"".join(out)


def run_from_file(data):
    with tempfile.TemporaryFile() as source:
        source.write(data)
        source.seek(0)
        return no_hang(subprocess.run, [BRIVEL], stdin=source, capture_output=True)


def run_in_shell(script, data=b""):
    """Runs brivel as "$0" in a shell script that redirects its streams."""
    return no_hang(subprocess.run, ["sh", "-c", script, BRIVEL], input=data, capture_output=True)


class Brivel:
    """brivel reading from a pipe that the test writes to; what it writes to
    standard output (unless given elsewhere) and standard error is collected
    as it comes, so that brivel never waits on the test. When the case ends,
    however it ends, brivel is killed and the threads that read from it end."""

    def __init__(self, test, stdout=subprocess.PIPE):
        read_end, self.input = os.pipe()
        os.set_blocking(self.input, False)  # so that a write can give up on brivel
        self.proc = subprocess.Popen([BRIVEL], stdin=read_end, stdout=stdout, stderr=subprocess.PIPE)
        os.close(read_end)
        self.collected = {}
        streams = {"stdout": self.proc.stdout, "stderr": self.proc.stderr}
        self.readers = [threading.Thread(target=self._collect, args=(name, stream))
                        for name, stream in streams.items() if stream is not None]
        for reader in self.readers:
            reader.start()
        # Cleanups run last in, first out: brivel is killed, then its readers are joined.
        test.addCleanup(self._end)
        kill_at_end(test, self.proc)

    def _end(self):
        self._close_input()
        for reader in self.readers:
            reader.join()

    def _close_input(self):
        if self.input is not None:
            os.close(self.input)
            self.input = None

    def _collect(self, name, stream):
        self.collected[name] = stream.read()
        stream.close()

    def write(self, data, sizes=None):
        """Writes data in writes of the given sizes (the last one repeats)."""
        sizes = iter(sizes or [len(data)])
        size = next(sizes)
        view = memoryview(data)
        while view:
            chunk, view = view[:size], view[size:]
            while chunk:
                if not select.select([], [self.input], [], HANG_SECONDS)[1]:
                    raise hang("input not read")
                try:
                    chunk = chunk[os.write(self.input, chunk):]
                except BlockingIOError:
                    pass
            size = next(sizes, size)

    def waiting_for_input(self):
        """True once brivel has read all that was written and sleeps in its
        next read (the only place where it sleeps)."""
        pending = struct.unpack("i", fcntl.ioctl(self.input, termios.FIONREAD, b"\0" * 4))[0]
        with open("/proc/%d/stat" % self.proc.pid) as stat:
            state = stat.read().rpartition(")")[2].split()[0]
        return pending == 0 and state == "S"

    def peak_memory_kib(self):
        """brivel's peak resident memory so far, taken while it waits for input.
        (Not ru_maxrss from wait4: that also counts the memory of the test
        process that forked brivel, which dwarfs brivel's own.)"""
        deadline = time.monotonic() + HANG_SECONDS
        while not self.waiting_for_input():
            if time.monotonic() > deadline:
                raise hang("input not all read")
            time.sleep(0.01)
        with open("/proc/%d/status" % self.proc.pid) as status:
            return int(re.search(r"VmHWM:\s*(\d+) kB", status.read()).group(1))

    def finish(self):
        """Ends the input; returns the exit status, standard output and standard error."""
        self._close_input()
        status = no_hang(self.proc.wait)
        for reader in self.readers:
            reader.join(HANG_SECONDS)
            if reader.is_alive():
                raise hang("output not closed")
        return status, self.collected.get("stdout"), self.collected["stderr"]


class HugeAndRandomInput(HangGuard):
    def test_two_gigabyte_line_without_line_feed(self):
        # Nearly a camera line over and over, so every piece is matched in earnest.
        pattern = b'\t"name" x=1 y=2 z=3 pitch=4 yaw=5 roll='
        chunk = pattern * ((1 << 20) // len(pattern) + 1)
        chunk = chunk[:1 << 20]

        idle = Brivel(self)
        idle_peak = idle.peak_memory_kib()
        self.assertEqual(idle.finish(), (0, b"", b""))

        busy = Brivel(self)
        started = time.monotonic()
        for _ in range(2048):
            busy.write(chunk)
        busy_peak = busy.peak_memory_kib()
        self.assertEqual(busy.finish(), (0, b"", b""))
        print("\n  2 GiB in %.1f s; peak memory %d KiB, with empty input %d KiB"
              % (time.monotonic() - started, busy_peak, idle_peak), file=sys.stderr)
        if not SANITIZED:  # AddressSanitizer's own bookkeeping grows with the work done
            self.assertLessEqual(busy_peak - idle_peak, 1024)

    def test_random_bytes_in_random_writes(self):
        rng = random.Random(20261208)
        parts = []
        size = 0
        while size < 100 << 20:
            # Random bytes, and now and then a camera line, so that there is output to compare.
            parts.append(rng.randbytes(rng.randrange(20000)))
            name = bytes(rng.choice(b"ab \t{}\\\x1a\x7f\x80\xff") for _ in range(rng.randrange(1, 30)))
            parts.append(b"\n" + line(name, rng.randrange(-2**40, 2**40), fov=rng.choice([None, 7])))
            size += len(parts[-2]) + len(parts[-1])
        data = b"".join(parts)

        whole = run_from_file(data)
        self.assertEqual((whole.returncode, whole.stderr), (0, b""))
        self.assertEqual(whole.stdout, expected_output(data))
        self.assertGreater(whole.stdout.count(b"{\n"), 5000)

        sizes = [rng.choice([rng.randrange(1, 16), rng.randrange(1, 5000), rng.randrange(1, 1 << 20)])
                 for _ in range(5000)]
        piped = Brivel(self)
        piped.write(data, sizes)
        self.assertEqual(piped.finish(), (0, whole.stdout, b""))

    def test_one_byte_per_write(self):
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                               "cameras.txt"), "rb") as example:
            data = example.read()
        data += b"#" * 2500 + line(b"after a long line") + line(b"crlf", fov=3).replace(b"\n", b"\r\n")
        data += line(b"nul").replace(b" pitch", b"\0 pitch") + b"\x1a" + line(b"last")[:-1]
        whole = run_from_file(data)
        self.assertEqual(whole.stdout, expected_output(data))
        trickle = Brivel(self)
        trickle.write(data, [1])
        self.assertEqual(trickle.finish(), (0, whole.stdout, b""))


class HostileBytes(HangGuard):
    def assertConverts(self, data, output):
        got = run_from_file(data)
        self.assertEqual((got.returncode, got.stderr), (0, b""))
        self.assertEqual(got.stdout, output)

    def test_every_byte_value(self):
        values = [bytes([b]) for b in range(1, 256)]
        cases = [
            # A double quote ends the name early, a line feed ends the line: no record.
            ("inside a name", b"".join(line(b"<%s>" % v) for v in values),
             b"".join(block(b"<%s>" % v) for v in values if v not in b'"\n')),
            # Only whitespace may stand between the closing quote and x=, and
            # a line feed there ends the line before it.
            ("after the closing quote", b"".join(line(b"%02x" % v[0]).replace(b'" x', b'"%s x' % v)
                                                 for v in values),
             b"".join(block(b"%02x" % v[0]) for v in values if v in b" \t\v\f\r")),
        ]
        for label, data, output in cases:
            with self.subTest(label):
                self.assertConverts(data, output)

    def test_nuls_everywhere(self):
        camera = line(b"nul", 12, -34, 56, 7, 8, 91, fov=23)
        data = b"".join(camera[:i] + b"\0" + camera[i:] for i in range(len(camera)))
        data += b"\0" * 5000 + b"\n" + line(b"after nuls")
        data += b"#" * (PIECE - 1) + b"\0" + line(b"after a nul at the piece end")
        output = expected_output(data)
        # A line is kept once its text up to the NUL holds a digit of roll.
        kept = len(camera) - (camera.index(b"roll=9") + len(b"roll=9"))
        self.assertEqual(output.count(b"{\n"), kept + 2)
        self.assertConverts(data, output)

    def test_ctrl_z_is_an_ordinary_byte(self):
        data = (b"\x1a" + line(b"not a camera line")
                + line(b"b")
                + line(b"c").replace(b'" x', b'"\x1ax')
                + line(b"d")[:-1] + b"\x1a fov=5\n"
                + line(b"e")[:-1] + b"\x1a")
        self.assertConverts(data, block(b"b") + block(b"d") + block(b"e"))

    def test_lone_carriage_returns(self):
        head = b'"cr" x=1 y=-2 z=3 pitch=4 yaw=5 roll=6 fov=7'
        data = (b'\r"a"\rx=\r1\ry=-2\rz=3\rpitch=4\ryaw=5\rroll=6\rfov=\r7\r\n'
                # Lines ended by a lone carriage return are one line: only its first record counts.
                + line(b"b")[:-1] + b"\r" + line(b"lost")[:-1] + b"\r\n"
                + line(b"c\rd")
                + line(b"e").replace(b"x=", b"x\r=")
                + head.ljust(PIECE - 1) + b"\r\n"
                + b"\r" * 3000 + b"\n"
                + line(b"f") + b"\r")
        self.assertConverts(data, block(b"a", fov=7) + block(b"b") + block(b"c\rd")
                            + block(b"cr", fov=7) + block(b"f"))


class UnusableStreams(HangGuard):
    def test_streams(self):
        write_error = b"brivel: write error: Bad file descriptor\n"
        read_error = b"brivel: read error: Bad file descriptor\n"
        cases = [
            ("output closed", 'exec "$0" >&-', line(b"a"), 1, write_error),
            ("output closed, nothing to write", 'exec "$0" >&-', b"junk\n", 0, b""),
            ("input closed", 'exec "$0" <&-', line(b"a"), 1, read_error),
        ]
        for label, script, data, status, stderr in cases:
            with self.subTest(label):
                got = run_in_shell(script, data)
                self.assertEqual((got.returncode, got.stdout, got.stderr), (status, b"", stderr))

    def test_full_disk_stops_at_once(self):
        # The input stays open: brivel must not wait for more of it after a failed write.
        with open("/dev/full", "wb") as full:
            writer = Brivel(self, stdout=full)
        writer.write(line(b"a"))
        status = no_hang(writer.proc.wait)
        self.assertEqual((status, writer.finish()[2]),
                         (1, b"brivel: write error: No space left on device\n"))

    def test_read_error_after_data(self):
        with socket.create_server(("127.0.0.1", 0)) as listener:
            ours = socket.create_connection(listener.getsockname())
            theirs, _ = listener.accept()
        with ours:
            proc = kill_at_end(self, subprocess.Popen([BRIVEL], stdin=theirs, stdout=subprocess.PIPE,
                                                      stderr=subprocess.PIPE))
            theirs.close()
            # One send, so brivel reads the unfinished last line with the first.
            ours.sendall(line(b"a") + line(b"b")[:-1])
            first = read_within(proc.stdout.fileno(), len(block(b"a")), HANG_SECONDS)
            self.assertEqual(first, block(b"a"))
            ours.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # Closed with linger 0: the connection is reset, and brivel's next read fails.
        rest, stderr = no_hang(proc.communicate)
        self.assertEqual((proc.returncode, first + rest, stderr),
                         (1, block(b"a") + block(b"b"), b"brivel: read error: Connection reset by peer\n"))

    def test_reader_leaves_after_the_first_block(self):
        head = kill_at_end(self, subprocess.Popen(["head", "-c", "100"], stdin=subprocess.PIPE,
                                                  stdout=subprocess.PIPE))
        endless = Brivel(self, stdout=head.stdin)
        head.stdin.close()

        feed_errors = []

        def feed():
            try:
                while True:
                    endless.write(line(b"a") * 1000)
            except OSError as error:  # brivel has gone, as it should
                feed_errors.append(error.errno)

        feeder = threading.Thread(target=feed)
        feeder.start()
        try:
            shown = read_within(head.stdout.fileno(), 100, HANG_SECONDS)
            head.stdout.close()
            status = no_hang(endless.proc.wait)
        finally:
            endless.proc.kill()  # should it hang: the feeder's next write fails
            feeder.join()
        self.assertEqual(no_hang(head.wait), 0)
        self.assertEqual(feed_errors, [errno.EPIPE])
        self.assertEqual((status, endless.finish()[2], shown),
                         (-signal.SIGPIPE, b"", (block(b"a") * 2)[:100]))


if __name__ == "__main__":
    SANITIZED = "--sanitized" in sys.argv
    if SANITIZED:
        sys.argv.remove("--sanitized")
    BRIVEL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
