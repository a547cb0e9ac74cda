#!/usr/bin/python3
"""Serves the browser build on localhost with the headers its pages need.

usage: serve.py [FOLDER] [--port PORT]   (PORT 0: any free port)

The audio thread shares the module's memory, and browsers hand out shared
memory only to cross-origin isolated pages: every response carries
Cross-Origin-Opener-Policy and Cross-Origin-Embedder-Policy. The first line
printed is the address.
"""
import argparse
import functools
import http.server
import sys


class IsolatedHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".js": "text/javascript",
        ".wasm": "application/wasm",
        ".xm": "application/octet-stream",
    }

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cross-Origin-Resource-Policy", "same-origin")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder", nargs="?", default=".")
    parser.add_argument("--port", type=int, default=8000)
    arguments = parser.parse_args()
    handler = functools.partial(IsolatedHandler, directory=arguments.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", arguments.port), handler)
    print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        sys.exit(0)


if __name__ == "__main__":
    main()
