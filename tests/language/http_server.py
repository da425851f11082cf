# A small HTTP server for the url! cases, on 127.0.0.1 only. Writes its port
# to the file named by the first argument; ends when its standard input closes.
import http.server, os, sys, threading

BIG = b"0123456789abcde\n" * (10 * 65536)  # 10 MiB


seen = []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, extra=()):
        self.send_response(status)
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n)

    def route(self):
        path = self.path
        # /seen answers the targets of the requests since the last /seen.
        if path == "/seen":
            text = "\n".join(seen)
            seen.clear()
            return self.reply(200, text.encode())
        seen.append(self.command + " " + path)
        if path == "/lengths":  # two lengths that differ, the body of the first
            self.close_connection = True
            self.send_response(200)
            self.send_header("Content-Length", "5")
            self.send_header("Content-Length", "3")
            self.end_headers()
            return self.wfile.write(b"abcde")
        if path == "/same-lengths":
            return self.reply(200, b"abc", [("Content-Length", "3")])
        if path == "/text":
            return self.reply(200, "héllo\r\nworld\n".encode())
        if path == "/big":
            return self.reply(200, BIG)
        if path == "/typed":
            return self.reply(200, b"typed body", [("Content-Type", "text/tst; charset=utf-8")])
        if path == "/missing":
            return self.reply(404, b"no such page")
        if path == "/moved":
            return self.reply(302, b"", [("Location", "/text")])
        if path == "/twice":
            return self.reply(200, b"", [("X-Twice", "one"), ("X-Twice", "two")])
        if path == "/headers":
            names = sorted(k.lower() for k in self.headers.keys() if k.lower() not in ("host", "accept", "content-length"))
            text = "\n".join(n + "=" + self.headers[n] for n in names)
            self.body()
            return self.reply(200, text.encode())
        data = self.body()
        return self.reply(200, (self.command + " ").encode() + data)

    do_GET = do_HEAD = do_POST = do_PUT = do_DELETE = route


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
os._exit(0)
