#!/usr/bin/env python3
"""An HTTP/2 server over TLS on loopback whose every answer carries a flood of
header fields (far more than any client keeps): h2_flood.py CERT KEY COUNT.
Prints its port on the first line of standard output, then serves until
killed. The frames are written by hand: the one thing it does is misbehave."""
import socket
import ssl
import struct
import sys
import threading


def frame(kind, flags, stream, payload):
    return struct.pack(">I", len(payload))[1:] + bytes([kind, flags]) + struct.pack(">I", stream) + payload


def hpack_int(value, prefix_bits, first=0):
    limit = (1 << prefix_bits) - 1
    if value < limit:
        return bytes([first | value])
    out = [first | limit]
    value -= limit
    while value >= 128:
        out.append((value & 127) | 128)
        value >>= 7
    out.append(value)
    return bytes(out)


def literal(name, value):
    # Literal header field without indexing, no Huffman coding.
    return b"\x00" + hpack_int(len(name), 7) + name + hpack_int(len(value), 7) + value


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def serve(conn, count):
    try:
        read_exact(conn, 24)  # the client's preface
        conn.sendall(frame(4, 0, 0, b""))  # our SETTINGS
        while True:
            head = read_exact(conn, 9)
            length = int.from_bytes(head[:3], "big")
            kind, flags = head[3], head[4]
            stream = int.from_bytes(head[5:9], "big") & 0x7FFFFFFF
            read_exact(conn, length)
            if kind == 4 and not flags & 1:
                conn.sendall(frame(4, 1, 0, b""))  # SETTINGS ACK
            if kind == 1:  # a request: answer it with the flood
                block = b"\x88"  # :status 200
                block += b"".join(literal(b"x-flood-%d" % i, b"v" * 100) for i in range(count))
                pieces = [block[i:i + 16384] for i in range(0, len(block), 16384)]
                out = b""
                for i, piece in enumerate(pieces):
                    last = 4 if i == len(pieces) - 1 else 0
                    out += frame(1 if i == 0 else 9, last, stream, piece)
                out += frame(0, 1, stream, b"hi")
                conn.sendall(out)
    except (EOFError, OSError):
        pass
    finally:
        conn.close()


def main():
    cert, key, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.set_alpn_protocols(["h2"])
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        raw, _ = listener.accept()
        try:
            conn = context.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError):
            raw.close()
            continue
        threading.Thread(target=serve, args=(conn, count), daemon=True).start()


if __name__ == "__main__":
    main()
