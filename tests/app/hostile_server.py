#!/usr/bin/env python3
"""A loopback HTTP/1.1 server that misbehaves on purpose, for the command-line
tests: hostile_server.py. Prints its port on the first line of standard
output, then serves until killed, one thread a connection:

  /interim/N        redirects to a 90 kB address, which answers with 300 kB
                    of "100 Continue" lines and then closes
  /continue-only    three "100 Continue" lines, then closes
  /hints/N          "103 Early Hints", then a redirect to /hints/N+1; /hints/12
                    is a page
  /to/SCHEME        redirects to a javascript:, data: or mailto: address
  /huge             claims a body of 10^15 bytes
  /latin1           a page of 100 MB in windows-1252, twice that in UTF-8
  /page             a small page with a script
"""
import socket
import sys
import threading

LONG_PATH = "/long/" + "a" * 90000
CONTINUES = b"HTTP/1.1 100 Continue\r\n\r\n" * (300000 // 25)
TARGETS = {
    "javascript": "javascript:alert(1)",
    "data": "data:text/html,<script>x()</script>",
    "mailto": "mailto:someone@example.com",
}


def redirect(location):
    return (b"HTTP/1.1 302 Found\r\nLocation: " + location.encode() +
            b"\r\nContent-Length: 0\r\n\r\n")


def page(body):
    return (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nServer: Hostile/1\r\n"
            b"Content-Length: %d\r\n\r\n" % len(body) + body)


def answer(path):
    if path.startswith("/interim/"):
        return redirect(LONG_PATH)
    if path == LONG_PATH:
        return CONTINUES
    if path == "/continue-only":
        return b"HTTP/1.1 100 Continue\r\n\r\n" * 3
    if path.startswith("/hints/"):
        n = int(path[len("/hints/"):])
        if n >= 12:
            return page(b"<p>end of chain</p>")
        return (b"HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n" +
                redirect("/hints/%d" % (n + 1)))
    if path.startswith("/to/"):
        return redirect(TARGETS[path[len("/to/"):]])
    if path == "/huge":
        return b"HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\n<html>"
    if path == "/latin1":
        body = b"\xe9" * 100000000
        return (b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1252\r\n"
                b"Content-Length: %d\r\n\r\n" % len(body) + body)
    if path == "/page":
        return page(b"<html><script>go()</script></html>")
    return b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"


def serve(conn):
    try:
        while True:  # requests on the connection, one after another
            head = b""
            while b"\r\n\r\n" not in head:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                head += chunk
            path = head.split(b" ", 2)[1].decode("latin-1")
            reply = answer(path)
            conn.sendall(reply)
            if path in (LONG_PATH, "/continue-only", "/huge"):
                return  # closes without a final answer
    except (OSError, ValueError, KeyError):
        pass
    finally:
        conn.close()


def main():
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print(listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
