#!/usr/bin/python3
"""The outside world of a demo run, all on loopback: an update web host, the
maker's FTP log host and the customer's mail server.

    demo_servers.py <www folder> <ftp folder> <mail folder>

Prints "http=PORT ftp=PORT smtp=PORT" once all three listen, then serves until
it is terminated. Setup programs (*.exe) are sent slowly, so that the download
window can be seen at work.
"""
import http.server
import os
import signal
import socket
import sys
import threading
import time

from aiosmtpd.controller import Controller
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

WWW, FTP_ROOT, MAIL = sys.argv[1:4]


class UpdateHost(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=WWW, **kwargs)

    def log_message(self, *args):
        pass

    def parse_request(self):
        # Asked as a proxy is asked ("GET http://host/path"): answered as the
        # host itself, and noted in proxy.log beside the www folder, so that a
        # test can see what reached the proxy.
        if not super().parse_request():
            return False
        if self.path.startswith("http://"):
            with open(os.path.join(os.path.dirname(os.path.abspath(WWW)), "proxy.log"), "a") as log:
                log.write(self.path + "\n")
            self.path = "/" + self.path.split("/", 3)[3] if self.path.count("/") >= 3 else "/"
        return True

    def copyfile(self, source, destination):
        if not self.path.split("?")[0].endswith(".exe"):
            return super().copyfile(source, destination)
        while True:  # about 3 seconds for a 1.5 MB setup
            chunk = source.read(32 * 1024)
            if not chunk:
                return
            destination.write(chunk)
            time.sleep(0.06)


class MailDrop:
    count = 0

    async def handle_DATA(self, server, session, envelope):
        MailDrop.count += 1
        path = os.path.join(MAIL, f"mail{MailDrop.count}.eml")
        with open(path, "wb") as f:
            f.write(envelope.original_content or envelope.content)
        return "250 OK"


def main():
    web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), UpdateHost)
    threading.Thread(target=web.serve_forever, daemon=True).start()

    users = DummyAuthorizer()
    users.add_user("ftpuser", "r7TqW2", FTP_ROOT, perm="elradfmw")
    handler = FTPHandler
    handler.authorizer = users
    ftp = FTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=ftp.serve_forever, kwargs={"handle_exit": False}, daemon=True).start()

    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    smtp_port = probe.getsockname()[1]
    probe.close()
    smtp = Controller(MailDrop(), hostname="127.0.0.1", port=smtp_port)
    smtp.start()

    print(f"http={web.server_address[1]} ftp={ftp.address[1]} smtp={smtp_port}", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    smtp.stop()
    ftp.close_all()
    web.shutdown()


if __name__ == "__main__":
    main()
