#!/usr/bin/env python3
"""A relay on loopback that passes each connection on to a server, sending
the server's answer back at a fixed rate, so a job runs long enough for a
person (or xdotool) to act during it:
    slow_relay.py PORT_FILE TARGET_PORT BYTES_PER_SECOND
It writes the port it listens on to PORT_FILE and runs until ended."""
import os
import socket
import sys
import threading
import time


def pump(source, target, rate):
    try:
        while True:
            data = source.recv(min(rate // 10, 65536) if rate else 65536)
            if not data:
                break
            target.sendall(data)
            if rate:
                time.sleep(len(data) / rate)
    except OSError:
        pass
    finally:
        for s in (source, target):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(client, target_port, rate):
    try:
        server = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    threading.Thread(target=pump, args=(client, server, 0), daemon=True).start()
    pump(server, client, rate)
    client.close()
    server.close()


def main():
    port_file, target_port, rate = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(port_file + ".new", "w") as f:
        f.write(f"{listener.getsockname()[1]}\n")
    os.replace(port_file + ".new", port_file)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, target_port, rate), daemon=True).start()


if __name__ == "__main__":
    main()
