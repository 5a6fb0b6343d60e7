"""A grbl 1.1 sender for the tests: starts `korva3 serve --grbl tcp:0`, connects, and
sorts what comes back into status reports and the answers to lines."""
import queue
import re
import socket
import subprocess
import threading
import time

WELCOME = "Grbl 1.1h ['$' for help]"


class Server:
    """korva3 serve on a free port of 127.0.0.1; stop() ends it with SIGTERM."""

    def __init__(self, korva3, *args):
        self.proc = subprocess.Popen([korva3, "serve", "--grbl", "tcp:0", *args],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline()
        m = re.search(r"tcp:127\.0\.0\.1:(\d+)", first)
        if not m:
            self.proc.kill()
            raise RuntimeError("korva3 serve said: " + first + self.proc.stderr.read())
        self.port = int(m.group(1))

    def stop(self):
        self.proc.terminate()
        code = self.proc.wait(10)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return code


class Sender:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.answers = queue.Queue()  # lines other than status reports
        self.reports = queue.Queue()  # (arrival time, report)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        rest = b""
        while True:
            try:
                data = self.sock.recv(4096)
            except OSError:
                return
            if not data:
                return
            rest += data
            while b"\n" in rest:
                line, rest = rest.split(b"\n", 1)
                text = line.decode().strip()
                if text.startswith("<"):
                    self.reports.put((time.monotonic(), text))
                elif text:
                    self.answers.put(text)

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)  # the reading thread's recv ends too
        except OSError:
            pass
        self.sock.close()

    def answer(self, timeout=10):
        return self.answers.get(timeout=timeout)

    def until(self, pattern, timeout=10):
        """Answers up to the first that matches; all of them."""
        seen = []
        while True:
            seen.append(self.answer(timeout))
            if re.match(pattern, seen[-1]):
                return seen

    def line(self, text, timeout=30):
        """Sends one line; its answers up to its ok or error."""
        self.sock.sendall(text.encode() + b"\n")
        return self.until(r"^(ok|error:\d+|ALARM:\d+)$", timeout)

    def realtime(self, byte):
        self.sock.sendall(bytes([byte]))

    def status(self):
        """(state, {field: [numbers or text]}) of a fresh report."""
        self.sock.sendall(b"?")
        _, text = self.reports.get(timeout=5)
        parts = text.strip("<>").split("|")
        fields = {}
        for p in parts[1:]:
            name, value = p.split(":", 1)
            fields[name] = [float(v) if re.match(r"^-?[\d.]+$", v) else v for v in value.split(",")]
        return parts[0], fields

    def wait_state(self, states, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            state, fields = self.status()
            if state in states:
                return state, fields
            time.sleep(0.02)
        raise AssertionError("never in %s (last %s)" % (states, state))

    def stream(self, lines, during=None):
        """Character counting: at most 128 bytes in flight. Answers, in order."""
        sent, answers, in_flight = 0, [], []
        while len(answers) < len(lines):
            while sent < len(lines) and sum(in_flight) + len(lines[sent]) + 1 <= 128:
                self.sock.sendall(lines[sent].encode() + b"\n")
                in_flight.append(len(lines[sent]) + 1)
                sent += 1
            try:
                a = self.answers.get(timeout=0.01)
            except queue.Empty:
                if during:
                    during()
                continue
            if a == "ok" or a.startswith("error:"):
                answers.append(a)
                in_flight.pop(0)
        return answers
