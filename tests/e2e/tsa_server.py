#!/usr/bin/env python3
"""A throw-away RFC 3161 time-stamp server for the signing test.

    tsa_server.py OPENSSL_TS_CONFIG PORT_FILE

Listens on 127.0.0.1 at a free port, which it writes to PORT_FILE, and
answers every POSTed time-stamp query with `openssl ts -reply` under the
given configuration (its signer certificate and key). Runs until it is
ended; the test that starts it ends it by its PID.
"""
import http.server
import os
import subprocess
import sys
import tempfile

CONFIG = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get('Content-Length', '0')))
        with tempfile.TemporaryDirectory() as work:
            tsq = os.path.join(work, 'query.tsq')
            tsr = os.path.join(work, 'reply.tsr')
            with open(tsq, 'wb') as f:
                f.write(query)
            done = subprocess.run(['openssl', 'ts', '-reply', '-config', CONFIG,
                                   '-queryfile', tsq, '-out', tsr],
                                  capture_output=True, timeout=60, check=False)
            if done.returncode != 0:
                self.send_error(500, done.stderr.decode(errors='replace')[:200])
                return
            with open(tsr, 'rb') as f:
                reply = f.read()
        self.send_response(200)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, fmt, *args):
        sys.stderr.write('tsa: ' + fmt % args + '\n')


server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
with open(sys.argv[2] + '.new', 'w') as f:
    f.write(str(server.server_address[1]))
os.rename(sys.argv[2] + '.new', sys.argv[2])
server.serve_forever()
