#!/usr/bin/env python3
"""Loopback servers that break a TLS connection on purpose:
    tls_faults.py DIR
Each listens on its own free port, written to DIR/port-fault-NAME once it
listens, and serves any number of connections until the process is killed.
The certificate of the TLS ones is DIR/pki/local.pem with its key.
  plain   answers a plain HTTP response to the start of the ClientHello
  reset   resets the connection after the start of the ClientHello
  close   closes the connection after the start of the ClientHello
  cut     TLS 1.2: 50000 bytes of a 100000-byte body, then TCP closes
          without close_notify (a truncation attack, as far as TLS knows)
  notify  the same body cut short, but ended with close_notify
  kept    TLS 1.2: "ok", then waits for the client to end the connection and
          appends to DIR/kept.log whether it sent its close_notify first
"""
import os
import socket
import ssl
import struct
import sys
import threading

# Long enough for a slow client under Wine, short enough that a client that
# never closes does not keep a thread forever.
IDLE_SECONDS = 60
HEAD = b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"
SENT_BODY = b"x" * 50000


def read_exactly(conn, size):
    data = b""
    while len(data) < size:
        chunk = conn.recv(size - len(data))
        if not chunk:
            break
        data += chunk
    return data


def close_gently(conn):
    # Bytes left unread at close would turn the FIN into a reset, so what the
    # client still sends is read until it closes.
    conn.shutdown(socket.SHUT_WR)
    while conn.recv(65536):
        pass


def serve_plain(conn):
    read_exactly(conn, 5)
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
    close_gently(conn)


def serve_reset(conn):
    read_exactly(conn, 5)
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def serve_close(conn):
    read_exactly(conn, 5)
    close_gently(conn)


def tls_context(pki):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.maximum_version = ssl.TLSVersion.TLSv1_2  # what Wine's Schannel speaks
    context.load_cert_chain(os.path.join(pki, "local.pem"), os.path.join(pki, "local.key"))
    return context


def serve_half_body(context, close_notify):
    def serve(conn):
        with context.wrap_socket(conn, server_side=True) as tls:
            head = b""
            while b"\r\n\r\n" not in head:
                chunk = tls.recv(4096)
                if not chunk:
                    return
                head += chunk
            tls.sendall(HEAD + SENT_BODY)
            if close_notify:
                tls.unwrap()
            # SSLSocket.shutdown drops the TLS layer without a word: only the
            # TCP FIN goes out, never a close_notify.
            close_gently(tls)

    return serve


def serve_kept(context, log):
    def serve(conn):
        with context.wrap_socket(conn, server_side=True, suppress_ragged_eofs=False) as tls:
            head = b""
            while b"\r\n\r\n" not in head:
                head += tls.recv(4096)
            tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
            try:
                while tls.recv(4096):
                    pass
                ended = "close_notify"
            except ssl.SSLEOFError:
                ended = "no close_notify"
            with open(log, "a") as out:
                out.write(ended + "\n")

    return serve


def guarded(name, serve, conn):
    with conn:
        conn.settimeout(IDLE_SECONDS)
        try:
            serve(conn)
        except (OSError, ValueError) as error:  # clients fail handshakes on purpose
            print(f"{name}: {error!r}", file=sys.stderr, flush=True)


def listen(directory, name, serve):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(16)

    def accept_loop():
        while True:
            conn, _ = server.accept()
            threading.Thread(target=guarded, args=(name, serve, conn), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    # Renamed into place so a reader never sees a half-written file.
    path = os.path.join(directory, "port-fault-" + name)
    with open(path + ".tmp", "w") as out:
        out.write(f"{server.getsockname()[1]}\n")
    os.replace(path + ".tmp", path)


def main():
    directory = sys.argv[1]
    context = tls_context(os.path.join(directory, "pki"))
    listen(directory, "plain", serve_plain)
    listen(directory, "reset", serve_reset)
    listen(directory, "close", serve_close)
    listen(directory, "cut", serve_half_body(context, close_notify=False))
    listen(directory, "notify", serve_half_body(context, close_notify=True))
    listen(directory, "kept", serve_kept(context, os.path.join(directory, "kept.log")))
    threading.Event().wait()


if __name__ == "__main__":
    main()
