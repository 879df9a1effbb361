#!/usr/bin/env python3
"""Scripted HTTP peer for the HTTP client tests.

Every path below sends exact bytes, including answers a well-behaved server
never gives (cut bodies, hostile lengths, stalls). Each answer that has a
header carries "X-Conn" (the number of the TCP connection, counted from 1) and
"X-Req" (the number of the request on that connection), so a test can see
whether a connection was reused.

With --ntlm-proxy it is instead a forward proxy that wants NTLM: it answers
the negotiate message with a fixed challenge, checks the authenticate message
byte for byte against the published example values (user "user", password
"SecREt01") and then answers the request itself, echoing its request line and
host line. A URL whose path ends with "/echo" needs no authentication and gets
the request back as it came. Each leg must come on the connection of the leg before.

Usage: scripted_http.py PORT [--ntlm-proxy]
"""
import base64
import socket
import struct
import sys
import threading
import time

lock = threading.Lock()
conn_count = 0

# Published NTLM example: user "user", password "SecREt01", this challenge.
NTLM_CHALLENGE = bytes.fromhex("0123456789abcdef")
NTLM_USER = "user"
NTLM_LM = bytes.fromhex("c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56")
NTLM_NT = bytes.fromhex("25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6")
NTLM_TYPE1 = b"NTLMSSP\x00" + (1).to_bytes(4, "little") + (0x8207).to_bytes(4, "little") + bytes(16)


def utf16(s):
    return s.encode("utf-16-le")


def ntlm_type2():
    target = utf16("DOMAIN")
    info = b""
    for kind, value in ((2, utf16("DOMAIN")), (1, utf16("SERVER"))):
        info += kind.to_bytes(2, "little") + len(value).to_bytes(2, "little") + value
    info += bytes(4)
    head = 48
    msg = b"NTLMSSP\x00" + (2).to_bytes(4, "little")
    msg += len(target).to_bytes(2, "little") * 2 + head.to_bytes(4, "little")
    msg += (0x00810201).to_bytes(4, "little") + NTLM_CHALLENGE + bytes(8)
    msg += len(info).to_bytes(2, "little") * 2 + (head + len(target)).to_bytes(4, "little")
    return msg + target + info


def check_type3(msg):
    """Returns None when the message is the expected type 3, else what is wrong."""
    if len(msg) < 64 or msg[:8] != b"NTLMSSP\x00" or int.from_bytes(msg[8:12], "little") != 3:
        return "not a type 3 message"

    def buf(off):
        ln = int.from_bytes(msg[off:off + 2], "little")
        mx = int.from_bytes(msg[off + 2:off + 4], "little")
        at = int.from_bytes(msg[off + 4:off + 8], "little")
        if ln != mx or at + ln > len(msg):
            raise ValueError("bad security buffer at %d" % off)
        return at, ln

    try:
        lm_at, lm_ln = buf(12)
        nt_at, nt_ln = buf(20)
        dom_at, dom_ln = buf(28)
        user_at, user_ln = buf(36)
        host_at, host_ln = buf(44)
        key_at, key_ln = buf(52)
    except ValueError as e:
        return str(e)
    flags = int.from_bytes(msg[60:64], "little")
    if flags != 0x8205:
        return "flags %#x" % flags
    if (dom_at, dom_ln) != (64, 0):
        return "domain buffer %d/%d" % (dom_at, dom_ln)
    if user_at != 64 or msg[user_at:user_at + user_ln] != utf16(NTLM_USER):
        return "user %r" % msg[user_at:user_at + user_ln]
    if host_at != user_at + user_ln or host_ln == 0:
        return "host buffer %d/%d" % (host_at, host_ln)
    if lm_at != host_at + host_ln or lm_ln != 24 or nt_at != lm_at + 24 or nt_ln != 24:
        return "response buffers"
    if msg[lm_at:lm_at + 24] != NTLM_LM:
        return "LM response " + msg[lm_at:lm_at + 24].hex()
    if msg[nt_at:nt_at + 24] != NTLM_NT:
        return "NT response " + msg[nt_at:nt_at + 24].hex()
    if (key_at, key_ln) != (0, 0) or len(msg) != nt_at + 24:
        return "key buffer or length"
    return None


class Conn:
    def __init__(self, sock, cid):
        self.sock = sock
        self.cid = cid
        self.nreq = 0
        self.buf = b""
        self.ntlm_leg = 0

    def read_request(self):
        while b"\r\n\r\n" not in self.buf:
            data = self.sock.recv(65536)
            if not data:
                return None
            self.buf += data
        head, self.buf = self.buf.split(b"\r\n\r\n", 1)
        lines = head.split(b"\r\n")
        parts = lines[0].decode("latin-1").split(" ")
        headers = {}
        for line in lines[1:]:
            name, _, value = line.decode("latin-1").partition(":")
            headers[name.strip().lower()] = value.strip()
        body = b""
        length = int(headers.get("content-length", "0") or 0)
        while len(self.buf) < length:
            data = self.sock.recv(65536)
            if not data:
                break
            self.buf += data
        body, self.buf = self.buf[:length], self.buf[length:]
        self.nreq += 1
        return parts, headers, head + b"\r\n\r\n", body

    def ids(self):
        return ("X-Conn: %d\r\nX-Req: %d\r\n" % (self.cid, self.nreq)).encode()

    def send(self, data):
        self.sock.sendall(data)

    def answer(self, status, body, extra=b"", keep=False, version=b"HTTP/1.1"):
        head = version + b" " + status + b"\r\n" + self.ids()
        head += b"Content-Length: %d\r\n" % len(body)
        head += b"Connection: keep-alive\r\n" if keep else b"Connection: close\r\n"
        self.send(head + extra + b"\r\n" + body)
        return keep

    def endless(self, frame, block, pause=0.0, seconds=30, most=64 << 20):
        # Sends framed blocks until the client goes, or for a bounded time
        # and amount (so a client without limits still ends).
        end, sent = time.time() + seconds, 0
        try:
            while time.time() < end and sent < most:
                self.send(frame(block))
                sent += len(block)
                if pause:
                    time.sleep(pause)
        except OSError:
            pass
        return False

    def stall(self):
        # Never answer; wait until the client gives up.
        self.sock.settimeout(120)
        try:
            while self.sock.recv(4096):
                pass
        except OSError:
            pass
        return False


def route(c, parts, headers, raw, body):
    method, target = parts[0], parts[1]
    path = target.split("?", 1)[0]

    if path == "/echo":
        return c.answer(b"200 OK", raw, b"Content-Type: text/plain\r\n")
    if path == "/echo-keep":
        return c.answer(b"200 OK", raw, b"Content-Type: text/plain\r\n", keep=True)
    if path == "/post-echo":
        return c.answer(b"200 OK", method.encode() + b" " + body, keep=False)
    if path == "/hello":
        return c.answer(b"200 OK", b"hello world\n", b"Content-Type: text/plain\r\n")
    if path == "/keep/hello":
        return c.answer(b"200 OK", b"hello again\n", keep=True)
    if path == "/noclen":
        c.send(b"HTTP/1.0 200 OK\r\n" + c.ids() + b"Content-Type: text/plain\r\n\r\n")
        for i in range(100):
            c.send(("line %04d of a body without a length\n" % i).encode())
        return False
    if path == "/badlen":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: twelve\r\n\r\nbody until close")
        return False
    if path == "/neglen":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nhello")
        return False
    if path.startswith("/len/"):
        # Any announced length (the rest of the path, as it is), five bytes, close.
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: " + path[5:].encode() + b"\r\n\r\nhello")
        return False
    if path == "/short-status":
        c.send(b"HTTP/1.1 2\r\nContent-Length: 2\r\n\r\nok")
        return False
    if path == "/bare-status":
        c.send(b"HTTP/1.0\r\nContent-Length: 2\r\n\r\nok")
        return False
    if path == "/chunked5":
        c.send(b"HTTP/1.1 200 OK\r\n" + c.ids() + b"Transfer-Encoding: chunked\r\n"
               b"Connection: keep-alive\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
        return True
    if path == "/chunked-ext":
        c.send(b"HTTP/1.1 200 OK\r\n" + c.ids() + b"Transfer-Encoding: chunked\r\n"
               b"Connection: keep-alive\r\n\r\n"
               b"4;name=value\r\nWiki\r\n5;x;y=\"q\"\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n"
               b"0;last=1\r\nExpires: Wed, 21 Oct 2015 07:28:00 GMT\r\nX-Trailer: yes\r\n\r\n")
        return True
    if path == "/chunked1":
        c.send(b"HTTP/1.1 200 OK\r\n" + c.ids() + b"Transfer-Encoding: chunked\r\n"
               b"Connection: keep-alive\r\n\r\n")
        c.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for i in range(3000):
            ch = bytes([ord("a") + i % 26])
            c.send(b"1\r\n" + ch + b"\r\n")
            if i % 500 == 0:
                time.sleep(0.02)
        c.send(b"0\r\n\r\n")
        return True
    if path == "/chunked-nolast":
        c.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")
        return False
    if path == "/chunked-huge":
        c.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nhello\r\n")
        return False
    if path == "/chunked-overflow":
        c.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
               b"1000000000000005\r\nhello\r\n0\r\n\r\n")
        return False
    if path == "/a":
        c.answer(b"302 Found", b"R" * 300, b"Location: /b\r\nContent-Type: text/html\r\n", keep=True)
        return True
    if path == "/a-close":
        c.answer(b"302 Found", b"R" * 300, b"Location: /b\r\nContent-Type: text/html\r\n", keep=False)
        return False
    if path == "/b":
        return c.answer(b"200 OK", b"the final body of b\n", b"Content-Type: text/plain\r\n", keep=True)
    if path == "/to-echo":
        return c.answer(b"302 Found", b"moved", b"Location: /echo-keep\r\n", keep=True)
    if path == "/loop":
        return c.answer(b"302 Found", b"", b"Location: /loop\r\n", keep=True)
    if path.startswith("/chain/"):
        n = int(path[7:])
        if n == 0:
            return c.answer(b"200 OK", b"end of chain\n", keep=True)
        return c.answer(b"301 Moved", b"", b"Location: /chain/%d\r\n" % (n - 1), keep=True)
    if path == "/longheader":
        c.send(b"HTTP/1.0 200 OK\r\nX-Long: " + b"L" * 10000 + b"\r\nX-After: seen\r\n"
               b"Content-Length: 6\r\n\r\nshort!")
        return False
    if path == "/manyheaders":
        c.send(b"HTTP/1.0 200 OK\r\n" + b"".join(b"X-Header-%05d: %s\r\n" % (i, b"v" * 60) for i in range(5000))
               + b"Content-Length: 2\r\n\r\nok")
        return False
    if path == "/endless-continue":
        for _ in range(2000):
            c.send(b"HTTP/1.1 100 Continue\r\n\r\n")
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\ndone")
        return False
    if path == "/endless-line":
        # A header line that never ends, sent until the client goes away.
        c.send(b"HTTP/1.1 200 OK\r\nX-Endless: ")
        while True:
            c.send(b"x" * 65536)
    if path == "/interim-forever":
        # Interim answers, one after the other, until the client goes away.
        while True:
            c.send(b"HTTP/1.1 100 Continue\r\n\r\n" * 1000)
    if path == "/noclen-reset":
        # A body without a length that ends with a reset instead of a close.
        c.send(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + b"r" * 2000)
        time.sleep(0.3)
        c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        c.sock.close()
        return False
    if path == "/overlong":
        # More bytes than the announced length, in one piece with the header.
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhelloEXTRA BYTES\r\n")
        return False
    if path == "/overlong-late":
        # The same, the body coming after the header has been read.
        c.send(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n")
        time.sleep(0.3)
        c.send(b"helloEXTRA BYTES\r\n")
        return False
    if path.startswith("/typed/"):
        # Any name, with the content type given as the query.
        ctype = target.split("?", 1)[1] if "?" in target else "application/octet-stream"
        return c.answer(b"200 OK", b"<html></html>", b"Content-Type: " + ctype.encode() + b"\r\n")
    if path == "/not-http":
        c.send(b"ICY 200 OK\r\nContent-Length: 5\r\n\r\nhello")
        return False
    if path == "/elsewhere":
        # A relocation to another server, on a connection offered for keeping.
        other = target.split("?", 1)[1]
        return c.answer(b"302 Found", b"E" * 50, b"Location: http://127.0.0.1:" + other.encode()
                        + b"/small.txt\r\n", keep=True)
    if path == "/keep-short":
        # Promises to keep the connection, then drops it a moment later.
        c.answer(b"200 OK", b"short keep\n", keep=True)
        time.sleep(0.3)
        return False
    if path == "/auth-pingpong":
        # Asks for the server's and the proxy's credentials in turn, for ever.
        if c.nreq % 2:
            return c.answer(b"407 Proxy Authentication Required", b"p",
                            b"Proxy-Authenticate: Basic realm=\"p\"\r\n", keep=True)
        return c.answer(b"401 Unauthorized", b"s", b"WWW-Authenticate: Basic realm=\"s\"\r\n", keep=True)
    if path == "/nobody-close":
        # Promises to keep the connection, then closes it at once.
        c.send(b"HTTP/1.1 204 No Content\r\n" + c.ids() + b"Connection: keep-alive\r\n\r\n")
        return False
    if path == "/redirect-close":
        c.send(b"HTTP/1.1 302 Found\r\nLocation: /hello\r\nContent-Length: 0\r\n"
               b"Connection: keep-alive\r\n\r\n")
        return False
    if path == "/redirect-late-close":
        # The same, the close coming a moment later: the next request is on its way.
        c.send(b"HTTP/1.1 302 Found\r\nLocation: /hello\r\nContent-Length: 0\r\n"
               b"Connection: keep-alive\r\n\r\n")
        time.sleep(0.3)
        return False
    if path == "/halfway":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"h" * 500)
        return False
    if path == "/stall":
        return c.stall()
    # Bodies that never end: summary-page rows without a length, the same
    # in chunks, and a byte a second.
    row = (b'<tr><td>9999</td><td>127.0.0.1</td><td>p1_endless</td><td>1</td><td>1.00</td>'
           b'<td>2.00</td><td>3.00</td><td>100</td><td>GROMACS</td><td><a href="x">x</a></td></tr>\n')
    if path == "/endless":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<table><tr><th>Project</th></tr>\n")
        return c.endless(lambda b: b, row * 500)
    if path == "/endless-chunked":
        c.send(b"HTTP/1.1 200 OK\r\n" + c.ids() + b"Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n")
        return c.endless(lambda b: b"%x\r\n" % len(b) + b + b"\r\n", row * 500)
    if path == "/trickle":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n")
        return c.endless(lambda b: b, b"<", pause=1.0)
    if path == "/stall-body":
        c.send(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"s" * 100)
        return c.stall()
    if path == "/html09":
        c.send(b"<HtMl><body>no header here</body></html>\nsecond line\n")
        return False
    if path == "/continue":
        c.send(b"HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
               b"HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n"
               b"HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\ncontinued")
        return False
    if path == "/401":
        return c.answer(b"401 Unauthorized", b"no entry", b"WWW-Authenticate: Basic realm=\"x\"\r\n")
    if path == "/404":
        return c.answer(b"404 Not Found", b"not here")
    if path == "/500":
        return c.answer(b"500 Internal Oops", b"broken")
    if path == "/long-reason":
        return c.answer(b"404 " + b"R" * 6000, b"gone")
    if path == "/headers":
        return c.answer(b"200 OK", b"x", b"Content-Type: Text/HTML; Charset=UTF-8\r\n"
                        b"Accept-Ranges: bytes\r\nContent-Range: bytes 10-20/100\r\n"
                        b"Set-Cookie: a=1\r\nTransfer-Encoding: identity\r\n")
    if path == "/ntlm":
        auth = headers.get("authorization", "")
        if not auth:
            c.ntlm_leg = 1
            return c.answer(b"401 Unauthorized", b"who are you", b"WWW-Authenticate: Basic realm=\"x\"\r\n"
                            b"WWW-Authenticate: NTLM\r\n", keep=True)
        token = base64.b64decode(auth.split(" ", 1)[1]) if auth.startswith("NTLM ") else b""
        if c.ntlm_leg == 1 and token == NTLM_TYPE1:
            if method == "POST" and (headers.get("content-length") != "0" or body):
                return c.answer(b"400 Negotiate With A Body", b"the negotiate message carries no body")
            c.ntlm_leg = 2
            return c.answer(b"401 Unauthorized", b"go on", b"WWW-Authenticate: NTLM "
                            + base64.b64encode(ntlm_type2()) + b"\r\n", keep=True)
        if c.ntlm_leg == 2:
            c.ntlm_leg = 0
            problem = check_type3(token)
            if problem is None:
                # A POST's body comes with the authenticate message only.
                return c.answer(b"200 OK", b"ntlm ok" + (b" " + body if method == "POST" else b""), keep=True)
            return c.answer(b"403 Forbidden", problem.encode())
        return c.answer(b"400 Bad NTLM leg", b"unexpected message on this connection")
    return c.answer(b"404 Not Found", b"no such script")


def route_proxy(c, parts, headers, raw, body):
    if parts[0] == "CONNECT" and parts[1].startswith("endless."):
        # Grants the tunnel with a header that never ends.
        c.send(b"HTTP/1.0 200 Connection established\r\n")
        while True:
            c.send(b"X-More: yes\r\n" * 4096)
    if parts[1].split("?", 1)[0].endswith("/echo"):
        # No authentication here: the request as it came, for checking its form.
        return c.answer(b"200 OK", raw, keep=True, version=b"HTTP/1.0")
    auth = headers.get("proxy-authorization", "")
    if not auth:
        c.ntlm_leg = 1
        return c.answer(b"407 Proxy Authentication Required", b"proxy wants you",
                        b"Proxy-Authenticate: NTLM\r\nProxy-Authenticate: Basic realm=\"p\"\r\n",
                        keep=True, version=b"HTTP/1.0")
    token = base64.b64decode(auth.split(" ", 1)[1]) if auth.startswith("NTLM ") else b""
    if c.ntlm_leg == 1 and token == NTLM_TYPE1:
        c.ntlm_leg = 2
        return c.answer(b"407 Proxy Authentication Required", b"R" * 123,
                        b"Proxy-Authenticate: NTLM " + base64.b64encode(ntlm_type2()) + b"\r\n",
                        keep=True, version=b"HTTP/1.0")
    if c.ntlm_leg == 2:
        c.ntlm_leg = 0
        problem = check_type3(token)
        if problem is None:
            text = "proxied %s %s\nHost: %s\n" % (parts[0], parts[1], headers.get("host", ""))
            return c.answer(b"200 OK", text.encode(), keep=True, version=b"HTTP/1.0")
        return c.answer(b"403 Forbidden", problem.encode(), version=b"HTTP/1.0")
    return c.answer(b"400 Bad NTLM leg", b"unexpected message on this connection", version=b"HTTP/1.0")


def serve(sock):
    global conn_count
    with lock:
        conn_count += 1
        c = Conn(sock, conn_count)
    try:
        while True:
            req = c.read_request()
            if req is None:
                break
            if not handler(c, *req):
                break
    except OSError:
        pass
    finally:
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        sock.close()


handler = route


def main():
    global handler
    port = int(sys.argv[1])
    if "--ntlm-proxy" in sys.argv[2:]:
        handler = route_proxy
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", port))
    srv.listen(64)
    while True:
        sock, _ = srv.accept()
        threading.Thread(target=serve, args=(sock,), daemon=True).start()


if __name__ == "__main__":
    main()
