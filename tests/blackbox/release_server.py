#!/usr/bin/python3
"""A stand-in release host on loopback for the self-update round trip.

    release_server.py ROOT HTTP_PORT [HTTPS_PORT CERT KEY]

Serves the files in ROOT by the last segment of the path, and a few
misbehaving paths that play failing download proxies and redirects:

    /status/404/...   404 with a body
    /empty/...        200 with an empty body
    /redirect/REST    302 to /REST on the same server
    /to-http/REST     302 to http://127.0.0.1:HTTP_PORT/REST
    /short/NAME       the file NAME with its full Content-Length, but only
                      half of its bytes before the connection closes
    /mirror/N/URL     download proxy N, acting as the file ROOT/mirror-N says:
                      "pass" serves from ROOT like the host, "own" from
                      ROOT/mirror-N.d, "empty" answers 200 with no body,
                      "drop" closes without an answer, "trickle" announces
                      60000 bytes and sends one every half second (until
                      the client leaves); otherwise 404

Every request is appended to ROOT/requests.log as "SCHEME PATH".
"""
import http.server
import os
import ssl
import sys
import threading
import time

root = sys.argv[1]
http_port = int(sys.argv[2])
log_lock = threading.Lock()


def handler_for(scheme):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def answer(self, status, body=b"", location=None):
            self.send_response(status)
            if location:
                self.send_header("Location", location)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def serve_file(self, directory, name):
            file = os.path.join(directory, name)
            if name and os.path.isfile(file):
                with open(file, "rb") as f:
                    return self.answer(200, f.read())
            return self.answer(404, b"not found")

        def mirror(self, path):
            number, _, _ = path[len("/mirror/"):].partition("/")
            mode_file = os.path.join(root, f"mirror-{number}")
            mode = open(mode_file).read().strip() if os.path.isfile(mode_file) else "404"
            name = path.split("?")[0].rsplit("/", 1)[-1]
            if mode == "pass":
                return self.serve_file(root, name)
            if mode == "own":
                return self.serve_file(os.path.join(root, f"mirror-{number}.d"), name)
            if mode == "empty":
                return self.answer(200)
            if mode == "drop":
                self.close_connection = True
                return
            if mode == "trickle":
                self.send_response(200)
                self.send_header("Content-Length", "60000")
                self.end_headers()
                try:
                    for _ in range(60000):
                        self.wfile.write(b" ")
                        self.wfile.flush()
                        time.sleep(0.5)
                except OSError:
                    pass
                self.close_connection = True
                return
            return self.answer(404, b"no such release")

        def do_GET(self):
            path = self.path
            with log_lock, open(os.path.join(root, "requests.log"), "a") as log:
                log.write(f"{scheme} {path}\n")
            if path.startswith("/mirror/"):
                return self.mirror(path)
            if path.startswith("/short/"):
                with open(os.path.join(root, path[len("/short/"):]), "rb") as f:
                    body = f.read()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                self.close_connection = True
                return
            if path.startswith("/status/404/"):
                return self.answer(404, b"no such release")
            if path.startswith("/empty/"):
                return self.answer(200)
            if path.startswith("/redirect/"):
                return self.answer(302, b"moved", "/" + path[len("/redirect/"):])
            if path.startswith("/to-http/"):
                target = f"http://127.0.0.1:{http_port}/" + path[len("/to-http/"):]
                return self.answer(302, b"moved", target)
            return self.serve_file(root, path.split("?")[0].rsplit("/", 1)[-1])

    return Handler


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


serve(http.server.ThreadingHTTPServer(("127.0.0.1", http_port), handler_for("http")))
if len(sys.argv) > 3:
    secure = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[3])), handler_for("https"))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[4], sys.argv[5])
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    serve(secure)
print("ready", flush=True)
threading.Event().wait()
