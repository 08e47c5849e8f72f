#!/usr/bin/env python3
"""Serves a folder over HTTP on 127.0.0.1 for the tests and benchmarks.

Prints "PORT <n>" on its one line of output once it listens. With
--request-log FILE it appends the path of every request it receives to FILE,
one a line, so the caller can follow what the downloader asks for (a file,
not standard output: a caller busy elsewhere would let a pipe fill up and
stall the server). Faults can be switched on to try the program
against a misbehaving site:

  --delay S           wait S seconds before answering each request
  --error CODE:GLOB   answer CODE for request paths matching GLOB
  --drop GLOB         close the connection without an answer for paths
                      matching GLOB
  --drop-every N      likewise for every Nth request

The options --error and --drop may be given more than once. The server runs
until it is ended (SIGTERM, or its standard input reaching end of file when
--stdin-lifeline is given, so it never outlives a crashed caller).
"""

import argparse
import fnmatch
import functools
import http.server
import os
import signal
import socket
import sys
import threading
import time
import urllib.parse


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", help="folder to serve")
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--error", action="append", default=[], metavar="CODE:GLOB")
    parser.add_argument("--drop", action="append", default=[], metavar="GLOB")
    parser.add_argument("--drop-every", type=int, default=0, metavar="N")
    parser.add_argument("--stdin-lifeline", action="store_true")
    parser.add_argument("--request-log", metavar="FILE")
    return parser.parse_args()


class Faults:
    def __init__(self, arguments):
        self.delay = arguments.delay
        self.errors = []
        for item in arguments.error:
            code, _, pattern = item.partition(":")
            self.errors.append((int(code), pattern or "*"))
        self.drops = list(arguments.drop)
        self.drop_every = arguments.drop_every
        self.count = 0
        self.lock = threading.Lock()

    def next_number(self):
        with self.lock:
            self.count += 1
            return self.count

    def error_for(self, path):
        for code, pattern in self.errors:
            if fnmatch.fnmatchcase(path, pattern):
                return code
        return None

    def drops_request(self, path, number):
        if self.drop_every and number % self.drop_every == 0:
            return True
        return any(fnmatch.fnmatchcase(path, pattern) for pattern in self.drops)


class Handler(http.server.SimpleHTTPRequestHandler):
    # Keep-alive, as real sites have; every answer carries its length.
    protocol_version = "HTTP/1.1"
    faults = None
    request_log = None
    request_log_lock = threading.Lock()

    def setup(self):
        super().setup()
        # Headers and body go out in separate writes: without this, Nagle's
        # algorithm holds the body back for the client's delayed ACK
        # (about 40 ms a request on a kept-alive connection).
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, format, *args):
        pass  # standard output carries the port only

    def announce(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        if self.request_log is not None:
            with self.request_log_lock:
                self.request_log.write(path + "\n")
                self.request_log.flush()
        return path

    def handle_fault(self):
        """True when the request was answered (or dropped) by a fault."""
        path = self.announce()
        number = self.faults.next_number()
        if self.faults.delay > 0:
            time.sleep(self.faults.delay)
        if self.faults.drops_request(path, number):
            self.close_connection = True
            return True
        code = self.faults.error_for(path)
        if code is not None:
            body = ("<html><body>%d</body></html>\n" % code).encode("ascii")
            self.send_response(code)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(body)
            return True
        return False

    def do_GET(self):
        if not self.handle_fault():
            super().do_GET()

    def do_HEAD(self):
        if not self.handle_fault():
            super().do_HEAD()


def main():
    arguments = parse_arguments()
    Handler.faults = Faults(arguments)
    if arguments.request_log:
        Handler.request_log = open(arguments.request_log, "a", encoding="utf-8")
    handler = functools.partial(Handler, directory=os.path.abspath(arguments.root))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", arguments.port), handler)
    server.daemon_threads = True

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if arguments.stdin_lifeline:
        def watch_stdin():
            sys.stdin.read()
            stop()
        threading.Thread(target=watch_stdin, daemon=True).start()

    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever(poll_interval=0.1)
    server.server_close()


if __name__ == "__main__":
    main()
