"""A real SMTP server for the client's tests: aiosmtpd on a free loopback port,
AUTH LOGIN (and PLAIN) for one user without TLS, SMTPUTF8 offered, each message written
to a folder.

Usage: smtp_sink.py FOLDER USER
The password comes from the environment variable SINK_PASSWORD. Prints the port, then
serves until its standard input closes."""
import os
import socket
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w", encoding="utf-8") as f:
            f.write(envelope.mail_from + "\n" + "\n".join(envelope.rcpt_tos) + "\n")
        return "250 OK"


def main():
    folder, user = sys.argv[1], sys.argv[2].encode()
    password = os.environ["SINK_PASSWORD"].encode("latin-1")

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == user and auth_data.password == password
        return AuthResult(success=ok)

    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Sink(folder), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            auth_require_tls=False, enable_SMTPUTF8=True)
    controller.start()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()


main()
