#!/usr/bin/env python3
"""A TCP relay on loopback that breaks downloads on purpose.

Every connection accepted on 127.0.0.1 is forwarded to UPSTREAM in both
directions. Once the relay has forwarded CUT bytes downstream (towards the
clients), counted over all its connections since the last cut, it sends the
connection that reached the mark no further byte and closes both of its sides
(with --reset the client gets a reset instead of an orderly close). The count
then starts again from zero, so a client that asks for the rest is cut again
after each further CUT bytes, while one that starts over never gets further
than the first CUT bytes.

The relay counts every byte it forwarded downstream: what the clients cost on
the wire, response heads and bodies of every connection included. A reset
throws away what the client has not yet read, so with --reset the count also
holds bytes the client never saw and has to fetch again. On SIGTERM
or SIGINT it waits a moment for connections still draining, writes
"wire_bytes N up_bytes N connections N cuts N" to --report (or standard
error) and exits.

Usage: fault_relay.py [--listen PORT] [--cut BYTES] [--reset] [--report FILE]
                      UPSTREAM_HOST:PORT
--listen 0 (the default) takes a free port; the first line on standard output
is "listening PORT" once connections are accepted.
"""

import argparse
import signal
import socket
import struct
import sys
import threading
import time

BLOCK = 1 << 20  # a large block keeps the per-call cost of Python low


class Relay:
    def __init__(self, upstream, cut, reset):
        self.upstream = upstream
        self.cut = cut
        self.reset = reset
        self.lock = threading.Lock()
        self.since_cut = 0
        self.wire_bytes = 0
        self.up_bytes = 0
        self.connections = 0
        self.cuts = 0
        self.threads = []

    def take(self, n):
        """Reserves up to n bytes of the allowance before the next cut.
        Returns the count to forward and whether the connection ends after it."""
        with self.lock:
            if self.cut <= 0:
                return n, False
            allowed = min(n, self.cut - self.since_cut)
            self.since_cut += allowed
            if self.since_cut < self.cut:
                return allowed, False
            self.since_cut = 0
            self.cuts += 1
            return allowed, True

    def count(self, down, up):
        with self.lock:
            self.wire_bytes += down
            self.up_bytes += up

    def serve(self, client):
        try:
            server = socket.create_connection(self.upstream)
        except OSError:
            client.close()
            return
        for s in (client, server):
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with self.lock:
            self.connections += 1
        upward = threading.Thread(target=self.upward, args=(client, server), daemon=True)
        upward.start()
        self.downward(server, client)
        upward.join()
        client.close()
        server.close()

    def upward(self, client, server):
        buf = bytearray(BLOCK)
        view = memoryview(buf)
        try:
            while True:
                n = client.recv_into(buf)
                if n == 0:
                    server.shutdown(socket.SHUT_WR)
                    return
                server.sendall(view[:n])
                self.count(0, n)
        except OSError:
            # The other direction ended the connection; wake it if not.
            self.shut(server, socket.SHUT_RDWR)
            self.shut(client, socket.SHUT_RD)

    def downward(self, server, client):
        buf = bytearray(BLOCK)
        view = memoryview(buf)
        try:
            while True:
                n = server.recv_into(buf)
                if n == 0:
                    client.shutdown(socket.SHUT_WR)
                    return
                allowed, cut = self.take(n)
                client.sendall(view[:allowed])
                self.count(allowed, 0)
                if cut:
                    self.cut_off(server, client)
                    return
        except OSError:
            self.shut(client, socket.SHUT_RDWR)
            self.shut(server, socket.SHUT_RDWR)

    def cut_off(self, server, client):
        if self.reset:
            # Linger 0 turns the close into a reset; SHUT_RD only wakes the
            # upward thread, it sends nothing.
            client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.shut(client, socket.SHUT_RD)
        else:
            self.shut(client, socket.SHUT_RDWR)
        self.shut(server, socket.SHUT_RDWR)

    @staticmethod
    def shut(s, how):
        try:
            s.shutdown(how)
        except OSError:
            pass

    def report(self):
        with self.lock:
            return (f"wire_bytes {self.wire_bytes} up_bytes {self.up_bytes} "
                    f"connections {self.connections} cuts {self.cuts}\n")


def main():
    parser = argparse.ArgumentParser(description="TCP relay that cuts connections")
    parser.add_argument("upstream", help="HOST:PORT to forward to")
    parser.add_argument("--listen", type=int, default=0, help="port on 127.0.0.1 (0: any free)")
    parser.add_argument("--cut", type=int, default=100 << 20,
                        help="bytes forwarded downstream between cuts (0: never cut)")
    parser.add_argument("--reset", action="store_true", help="cut with a reset (SO_LINGER 0)")
    parser.add_argument("--report", help="file for the final counts (default standard error)")
    args = parser.parse_args()
    host, _, port = args.upstream.rpartition(":")
    relay = Relay((host, int(port)), args.cut, args.reset)

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.listen))
    listener.listen(64)
    print(f"listening {listener.getsockname()[1]}", flush=True)
    try:
        while True:
            client, _ = listener.accept()
            t = threading.Thread(target=relay.serve, args=(client,), daemon=True)
            t.start()
            relay.threads = [x for x in relay.threads if x.is_alive()] + [t]
    except KeyboardInterrupt:
        pass
    listener.close()
    # A client that has its last byte may exit before the relay has counted
    # it. Two seconds in all, not per connection: whoever stops the relay
    # waits a few seconds for the report, then kills it.
    deadline = time.monotonic() + 2
    for t in relay.threads:
        t.join(timeout=max(0.0, deadline - time.monotonic()))
    line = relay.report()
    if args.report:
        with open(args.report, "w") as f:
            f.write(line)
    else:
        sys.stderr.write(line)


if __name__ == "__main__":
    main()
