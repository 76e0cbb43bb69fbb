#!/usr/bin/python3
# Local HTTP server for the fetcher tests: prints its port, then serves
# until its standard input closes. Bodies are encoded by Python's own
# euc_jp codec.
import http.server, socketserver, sys, threading, time

EUC = 'あいう\r\n漢字\nカナ\rend'.encode('euc_jp')

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.0'

    def log_message(self, *a):
        pass

    def reply(self, body, length=None):
        self.send_response(200)
        self.send_header('Content-Length', str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        p = self.path
        if p.startswith('http://'):        # asked as a proxy: tell what was asked
            self.reply(('via proxy ' + p).encode())
        elif p == '/euc':
            self.reply(EUC)
        elif p == '/abc':
            self.reply(b'a\nb\nc')
        elif p == '/empty':
            self.reply(b'')
        elif p == '/next':                 # names another page of this server
            self.reply(('http://127.0.0.1:%d/abc' % self.server.server_address[1]).encode())
        elif p == '/big':
            self.reply(b'x' * 100000)
        elif p == '/fail':
            self.send_error(500)
        elif p == '/slow':                 # headers, part of the body, then silence
            self.reply(b'partial', length=1000)
            time.sleep(30)
        else:
            self.send_error(404)

class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

srv = Server(('127.0.0.1', 0), Handler)
print(srv.server_address[1], flush=True)
threading.Thread(target=srv.serve_forever, daemon=True).start()
sys.stdin.read()
