"""A socket:// printer for the printer application's tests, on 127.0.0.1.

  socket_printer.py PORT FLAGS stall
      takes connections and never reads from them, until FLAGS/release
      exists;
  socket_printer.py PORT FLAGS slow OUTPUT
      reads 64 KB of one connection, writes FLAGS/stalled and waits for
      FLAGS/go (a minute at most), then reads to the end into OUTPUT.

FLAGS is a folder: the printer writes FLAGS/listening once it listens and
FLAGS/connected when a connection arrives. Its small receive buffer makes
the server's writes wait soon after it stops reading.
"""
import os
import socket
import sys
import time


def flag(name):
    return os.path.join(flags, name)


def listen(port, backlog):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
    listener.bind(("127.0.0.1", port))
    listener.listen(backlog)
    open(flag("listening"), "w").close()
    return listener


def stall(listener):
    listener.settimeout(0.1)
    connections = []
    while not os.path.exists(flag("release")):
        try:
            connections.append(listener.accept()[0])
            open(flag("connected"), "w").close()
        except socket.timeout:
            pass


def read_slowly(listener, output):
    listener.settimeout(60)
    connection, _ = listener.accept()
    open(flag("connected"), "w").close()
    connection.settimeout(60)
    received = bytearray()
    while len(received) < 65536:
        received += connection.recv(65536 - len(received))
    open(flag("stalled"), "w").close()
    deadline = time.time() + 60
    while not os.path.exists(flag("go")) and time.time() < deadline:
        time.sleep(0.05)
    while True:
        block = connection.recv(65536)
        if not block:
            break
        received += block
    open(output, "wb").write(received)


port, flags, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]
if mode == "stall":
    stall(listen(port, 4))
else:
    read_slowly(listen(port, 1), sys.argv[4])
