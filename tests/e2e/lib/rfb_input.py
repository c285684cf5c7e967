#!/usr/bin/env python3
"""Pointer and keys for a headless Wayland seat, sent over RFB (VNC) to wayvnc.

Usage: rfb_input.py SOCKET ACTION...
  click X Y [left|middle|right]   move there, press and release the button
  move X Y                        move the pointer there
  key NAME                        press and release a key (Escape, Return, Up, Down)

Only the input half of RFB 3.8 is spoken: no framebuffer is ever requested.
"""
import socket
import struct
import sys
import time

BUTTONS = {"left": 1, "middle": 2, "right": 4}
KEYS = {"Escape": 0xFF1B, "Return": 0xFF0D, "Up": 0xFF52, "Down": 0xFF54, "Tab": 0xFF09}


def read_exactly(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise ConnectionError("the server closed the connection")
        data += chunk
    return data


def handshake(conn):
    version = read_exactly(conn, 12)
    if not version.startswith(b"RFB 003."):
        raise ConnectionError(f"not an RFB server: {version!r}")
    conn.sendall(b"RFB 003.008\n")
    (count,) = struct.unpack("B", read_exactly(conn, 1))
    if count == 0:
        (length,) = struct.unpack(">I", read_exactly(conn, 4))
        raise ConnectionError(read_exactly(conn, length).decode(errors="replace"))
    types = read_exactly(conn, count)
    if 1 not in types:
        raise ConnectionError(f"the server wants authentication: {list(types)}")
    conn.sendall(b"\x01")
    (result,) = struct.unpack(">I", read_exactly(conn, 4))
    if result != 0:
        raise ConnectionError("the server refused the connection")
    conn.sendall(b"\x01")  # shared
    width, height = struct.unpack(">HH", read_exactly(conn, 4))
    read_exactly(conn, 16)  # pixel format
    (name_length,) = struct.unpack(">I", read_exactly(conn, 4))
    read_exactly(conn, name_length)
    return width, height


def pointer(conn, x, y, mask):
    conn.sendall(struct.pack(">BBHH", 5, mask, x, y))


def key(conn, keysym, down):
    conn.sendall(struct.pack(">BBxxI", 4, 1 if down else 0, keysym))


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    conn = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    conn.connect(argv[1])
    handshake(conn)
    args = argv[2:]
    # Small pauses let the compositor see a move, a press and a release as separate events.
    pause = 0.05
    while args:
        action = args.pop(0)
        if action == "move":
            x, y = int(args.pop(0)), int(args.pop(0))
            pointer(conn, x, y, 0)
        elif action == "click":
            x, y = int(args.pop(0)), int(args.pop(0))
            button = args.pop(0) if args and args[0] in BUTTONS else "left"
            pointer(conn, x, y, 0)
            time.sleep(pause)
            pointer(conn, x, y, BUTTONS[button])
            time.sleep(pause)
            pointer(conn, x, y, 0)
        elif action == "key":
            keysym = KEYS[args.pop(0)]
            key(conn, keysym, True)
            time.sleep(pause)
            key(conn, keysym, False)
        else:
            print(f"unknown action {action}", file=sys.stderr)
            return 2
        time.sleep(pause)
    conn.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
