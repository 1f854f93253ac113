#!/usr/bin/python3
"""A local HTTPS server for the update-check tests.

    https_test_server.py DIR                 every case on its own free port
    https_test_server.py DIR --case NAME --port N [--name HOST]
                                             one case on a given port, its
                                             certificate also naming HOST

Makes a throwaway certificate authority and a server certificate for
localhost / 127.0.0.1 in DIR (with openssl), listens on 127.0.0.1 only, and
prints one line of JSON once it accepts connections:

    {"caPem": ".../ca.pem", "caDer": ".../ca.der", "log": ".../requests.log",
     "ports": {"good": 40001, ...}}

Each port answers every GET with its case's response and appends one JSON
line per request (method, path, user agent) to the log. The case "untrusted"
serves the good document with a certificate from a second authority that no
test trusts. The server runs until
its standard input closes, so it never outlives the test that started it.
"""
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading

HOST = "updates.hearthpad.app"


def document(version, url):
    return json.dumps({"windows": {"version": version, "url": url}}).encode()


def padded(body, size):
    # Still a valid document: white space before the closing brace.
    return body[:-1] + b" " * (size - len(body)) + b"}"


GOOD = json.dumps({
    "linux": {"version": "9.9.9"},
    "windows": {"version": "0.3.0", "url": f"https://{HOST}/download/hearthpad-0.3.0-win64.zip"},
}).encode()

# name -> (status, extra headers, body); "{good}" in a header is the port of "good".
CASES = {
    "good": (200, {}, GOOD),
    "up_to_date": (200, {}, document("0.2", f"https://{HOST}/download/hearthpad-0.2-win64.zip")),
    "redirect_301": (301, {"Location": "https://localhost:{good}/version.json"}, b"moved"),
    "redirect_302": (302, {"Location": "https://localhost:{good}/version.json"}, b"found"),
    "oversized": (200, {}, padded(GOOD, 20000)),
    "malformed": (200, {}, GOOD[:-1]),
    "other_host": (200, {}, document("0.3.0", "https://downloads.example.com/hearthpad-0.3.0-win64.zip")),
    "untrusted": (200, {}, GOOD),
}


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_authority(directory, name, subject):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.pem",
            "-days", "2", "-subj", subject,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=directory)


def make_server_certificate(directory, name, authority):
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
            "-subj", "/CN=localhost", cwd=directory)
    openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{authority}.pem", "-CAkey", f"{authority}.key",
            "-CAcreateserial", "-out", f"{name}.pem", "-days", "2", "-extfile", "server.ext",
            cwd=directory)


def make_certificates(directory, extra_name):
    names = "DNS:localhost,IP:127.0.0.1" + (f",DNS:{extra_name}" if extra_name else "")
    with open(os.path.join(directory, "server.ext"), "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                f"subjectAltName={names}\n")
    make_authority(directory, "ca", "/CN=Hearthpad Test CA")
    make_authority(directory, "stranger-ca", "/CN=Hearthpad Untrusted Test CA")
    make_server_certificate(directory, "server", "ca")
    make_server_certificate(directory, "stranger", "stranger-ca")
    openssl("x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der", cwd=directory)


def server_context(directory, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, f"{name}.pem"), os.path.join(directory, f"{name}.key"))
    return context


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with self.server.log_lock:
            with open(self.server.log_path, "a") as log:
                log.write(json.dumps({"case": self.server.case, "method": "GET", "path": self.path,
                                      "userAgent": self.headers.get("User-Agent", "")}) + "\n")
        status, headers, body = CASES[self.server.case]
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value.replace("{good}", str(self.server.good_port)))
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    directory = os.path.abspath(sys.argv[1])
    only, port, extra_name = None, 0, None
    if "--name" in sys.argv:
        extra_name = sys.argv[sys.argv.index("--name") + 1]
    if "--case" in sys.argv:
        only = sys.argv[sys.argv.index("--case") + 1]
    if "--port" in sys.argv:
        port = int(sys.argv[sys.argv.index("--port") + 1])
    os.makedirs(directory, exist_ok=True)
    make_certificates(directory, extra_name)
    trusted = server_context(directory, "server")
    stranger = server_context(directory, "stranger")

    log_path = os.path.join(directory, "requests.log")
    open(log_path, "w").close()
    log_lock = threading.Lock()
    servers = {}
    for case in ([only] if only else CASES):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        server.daemon_threads = True
        context = stranger if case == "untrusted" else trusted
        server.socket = context.wrap_socket(server.socket, server_side=True)
        server.case, server.log_path, server.log_lock = case, log_path, log_lock
        servers[case] = server
    good_port = servers["good"].server_address[1] if "good" in servers else 0
    for server in servers.values():
        server.good_port = good_port
        threading.Thread(target=server.serve_forever, daemon=True).start()

    print(json.dumps({
        "caPem": os.path.join(directory, "ca.pem"),
        "caDer": os.path.join(directory, "ca.der"),
        "log": log_path,
        "ports": {case: server.server_address[1] for case, server in servers.items()},
    }), flush=True)
    sys.stdin.read()  # until the test closes its end
    for server in servers.values():
        server.shutdown()


if __name__ == "__main__":
    main()
