#!/usr/bin/env python3
"""Runs a command with the socket tests' peers listening on the loopback.

    serve.py COMMAND [ARGS...]

Starts every scripted peer (threads of this process) and two real SOCKS 5
servers (microsocks, one without and one with user name and password) on
free ports of 127.0.0.1, passes the ports to COMMAND in environment
variables, runs it, stops everything and exits with COMMAND's exit code.
The line server also listens on ::1 with the same port, because a SOCKS
server asked for "localhost" may take ::1 where /etc/hosts lists it.

The peers never outlive this script: the scripted ones are its threads;
TERM, INT and HUP stop COMMAND and the servers as a normal end does; and
microsocks is killed by the system should the script itself be killed.

Environment given to COMMAND:
  BX_LINE_PORT        scripted line server (see LineHandler), on 127.0.0.1 and ::1
  BX_REFUSED_PORT     a port that refuses connections
  BX_SOCKS4_PORT      scripted SOCKS 4 / 4A server relaying to its target
  BX_SOCKS5_<MODE>_PORT  scripted SOCKS 5 servers, MODE in HOSTILE_MODES
  BX_MS_PORT          microsocks, no authentication
  BX_MS_AUTH_PORT     microsocks, user "brenix" password "s3cret!"
"""
import ctypes
import errno
import os
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time

HOST = "127.0.0.1"
MS_USER = "brenix"
MS_PASS = "s3cret!"


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


class Server6(Server):
    address_family = socket.AF_INET6

    def server_bind(self):
        self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        super().server_bind()


def serve(srv):
    threading.Thread(target=srv.serve_forever, daemon=True).start()
    return srv


def start(handler):
    return serve(Server((HOST, 0), handler))


def start_both_loopbacks(handler):
    """The handler on a free port of 127.0.0.1 and the same port of ::1; the
    second is left out (None) on a machine without IPv6."""
    for _ in range(20):
        v4 = Server((HOST, 0), handler)
        try:
            v6 = Server6(("::1", v4.server_address[1]), handler)
        except OSError as e:
            v4.server_close()
            if e.errno == errno.EADDRINUSE:
                continue
            return serve(Server((HOST, 0), handler)), None
        return serve(v4), serve(v6)
    raise RuntimeError("no port free on both loopback addresses")


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError("peer closed")
        data += chunk
    return data


def recv_until_zero(sock):
    data = b""
    while True:
        c = recv_exact(sock, 1)
        if c == b"\0":
            return data
        data += c


class LineHandler(socketserver.BaseRequestHandler):
    """Greets with HELLO, then answers one command per line:
    ECHO text   -> text
    SPLIT       -> one line sent in two pieces 200 ms apart
    MULTI       -> three lines and a partial fourth in one packet, the rest later
    BIG n       -> n bytes "x" without a line end
    BLAST n     -> n bytes "y" followed by CR LF, in one go
    TAIL        -> "tail-without-end" and close
    QUIT        -> BYE and close
    """

    def handle(self):
        try:
            self.serve()
        except OSError:
            pass   # the client went away; nothing to report

    def serve(self):
        s = self.request
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.sendall(b"HELLO\r\n")
        buf = b""
        while True:
            try:
                chunk = s.recv(4096)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            while b"\r\n" in buf:
                line, buf = buf.split(b"\r\n", 1)
                if not self.command(s, line.decode("latin-1")):
                    return

    def command(self, s, line):
        word, _, arg = line.partition(" ")
        if word == "ECHO":
            s.sendall(arg.encode("latin-1") + b"\r\n")
        elif word == "SPLIT":
            s.sendall(b"par")
            time.sleep(0.2)
            s.sendall(b"tial line\r\n")
        elif word == "MULTI":
            s.sendall(b"one\r\ntwo\r\nthree\r\nfo")
            time.sleep(0.2)
            s.sendall(b"ur\r\n")
        elif word == "BIG":
            s.sendall(b"x" * int(arg))
        elif word == "BLAST":
            s.sendall(b"y" * int(arg) + b"\r\n")
        elif word == "TAIL":
            s.sendall(b"tail-without-end")
            s.shutdown(socket.SHUT_WR)
            time.sleep(0.2)
            return False
        elif word == "QUIT":
            s.sendall(b"BYE\r\n")
            s.shutdown(socket.SHUT_WR)
            time.sleep(0.2)
            return False
        else:
            s.sendall(b"ERR " + line.encode("latin-1") + b"\r\n")
        return True


def relay(a, b):
    def pump(src, dst):
        try:
            while True:
                d = src.recv(65536)
                if not d:
                    break
                dst.sendall(d)
        except OSError:
            pass
        for x in (dst,):
            try:
                x.shutdown(socket.SHUT_WR)
            except OSError:
                pass

    t = threading.Thread(target=pump, args=(b, a), daemon=True)
    t.start()
    pump(a, b)
    t.join(5)


class Socks4Handler(socketserver.BaseRequestHandler):
    """SOCKS 4 and 4A. User "reject" is refused (91), "ident" gets 92; user
    "eager" receives the first bytes of data in the same packet as the reply;
    "short" gets a reply cut short by a hang-up.
    Anything malformed is answered with 91."""

    def handle(self):
        s = self.request
        try:
            head = recv_exact(s, 8)
            vn, cd, port = struct.unpack(">BBH", head[:4])
            ip = socket.inet_ntoa(head[4:8])
            user = recv_until_zero(s).decode("latin-1")
            host = ip
            if head[4:7] == b"\0\0\0" and head[7] != 0:
                host = recv_until_zero(s).decode("latin-1")
        except (ConnectionError, OSError):
            return
        if vn != 4 or cd != 1 or user == "reject":
            s.sendall(b"\0\x5b" + b"\0" * 6)
            return
        if user == "ident":
            s.sendall(b"\0\x5c" + b"\0" * 6)
            return
        if user == "short":
            # Grants the request, then hangs up three bytes into the reply.
            s.sendall(b"\0\x5a\0")
            time.sleep(0.2)
            return
        try:
            target = socket.create_connection((socket.gethostbyname(host), port), timeout=5)
        except OSError:
            s.sendall(b"\0\x5b" + b"\0" * 6)
            return
        target.settimeout(None)
        reply = b"\0\x5a" + struct.pack(">H", port) + socket.inet_aton("127.0.0.1")
        if user == "eager":
            reply += b"EARLY\r\n"
        s.sendall(reply)
        relay(s, target)
        target.close()


HOSTILE_MODES = ["BADVER", "TRUNC", "ATYP", "REFUSED", "FLOOD", "EAGER", "BADAUTHVER", "AUTHFLOOD",
                 "AUTHCLOSE"]


def hostile_handler(mode):
    class Handler(socketserver.BaseRequestHandler):
        """Scripted SOCKS 5 answers, broken on purpose except EAGER."""

        def handle(self):
            s = self.request
            try:
                head = recv_exact(s, 2)
                recv_exact(s, head[1])
                if mode == "BADVER":
                    s.sendall(b"\x04\x00")
                    time.sleep(0.5)
                    return
                if mode == "FLOOD":
                    s.sendall(b"\x05\x00" + b"z" * 1000)
                    time.sleep(0.5)
                    return
                if mode in ("BADAUTHVER", "AUTHFLOOD", "AUTHCLOSE"):
                    s.sendall(b"\x05\x02")
                    ver, ulen = recv_exact(s, 2)
                    recv_exact(s, ulen)
                    plen = recv_exact(s, 1)[0]
                    recv_exact(s, plen)
                    if mode == "AUTHCLOSE":
                        return   # hangs up instead of answering the credentials
                    s.sendall(b"\x07\x00" if mode == "BADAUTHVER" else b"\x01\x00" + b"q" * 300)
                    time.sleep(0.5)
                    return
                s.sendall(b"\x05\x00")
                ver, cmd, rsv, atyp = recv_exact(s, 4)
                n = recv_exact(s, 1)[0]
                recv_exact(s, n + 2)
                if mode == "TRUNC":
                    # Announces a 200-byte bound name, sends 10 bytes of it, closes.
                    s.sendall(b"\x05\x00\x00\x03\xc8" + b"n" * 10)
                    time.sleep(0.2)
                    return
                if mode == "ATYP":
                    s.sendall(b"\x05\x00\x00\x09" + b"\0" * 6)
                    time.sleep(0.5)
                    return
                if mode == "REFUSED":
                    # The error reply, then the line stays open until the
                    # client hangs up: only the reply can end its wait.
                    s.sendall(b"\x05\x05\x00\x01" + b"\0" * 6)
                    s.settimeout(60)
                    while s.recv(4096):
                        pass
                    return
                if mode == "EAGER":
                    # The reply with a domain-name address, and data right behind it.
                    s.sendall(b"\x05\x00\x00\x03\x09localhost\x00\x50" + b"EARLY\r\nHELLO\r\n")
                    while s.recv(4096):
                        pass
            except (ConnectionError, OSError):
                return

    return Handler


def free_port():
    with socket.socket() as t:
        t.bind((HOST, 0))
        return t.getsockname()[1]


def wait_listening(port, proc, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        if proc.poll() is not None:
            return False
        try:
            socket.create_connection((HOST, port), timeout=0.5).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def die_with_parent():
    """In a child before exec: the system kills it when this script ends
    (also when the script ended between the fork and this call)."""
    parent = os.getpid()

    def arm():
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)   # PR_SET_PDEATHSIG
        if os.getppid() != parent:
            os._exit(1)
    return arm


def start_microsocks(extra):
    for _ in range(5):
        port = free_port()
        proc = subprocess.Popen(["microsocks", "-i", HOST, "-p", str(port)] + extra,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, preexec_fn=die_with_parent())
        if wait_listening(port, proc):
            return port, proc
        proc.kill()
        proc.wait()
    raise RuntimeError("microsocks did not start")


class Stopped(Exception):
    pass


def stop_on_signal(signum, frame):
    raise Stopped(signum)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, stop_on_signal)
    env = dict(os.environ)
    servers = []
    procs = []
    try:
        for srv in start_both_loopbacks(LineHandler):
            if srv:
                servers.append(srv)
        env["BX_LINE_PORT"] = str(servers[0].server_address[1])
        s4 = start(Socks4Handler)
        servers.append(s4)
        env["BX_SOCKS4_PORT"] = str(s4.server_address[1])
        for mode in HOSTILE_MODES:
            srv = start(hostile_handler(mode))
            servers.append(srv)
            env["BX_SOCKS5_%s_PORT" % mode] = str(srv.server_address[1])
        # Bound but not listening: connections to it are refused.
        refuser = socket.socket()
        refuser.bind((HOST, 0))
        env["BX_REFUSED_PORT"] = str(refuser.getsockname()[1])

        port, proc = start_microsocks([])
        procs.append(proc)
        env["BX_MS_PORT"] = str(port)
        port, proc = start_microsocks(["-u", MS_USER, "-P", MS_PASS])
        procs.append(proc)
        env["BX_MS_AUTH_PORT"] = str(port)

        command = subprocess.Popen(sys.argv[1:], env=env)
        procs.append(command)
        return command.wait()
    except Stopped as e:
        return 128 + e.args[0]
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
        for p in procs:
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        for srv in servers:
            srv.shutdown()
            srv.server_close()


if __name__ == "__main__":
    sys.exit(main())
