"""A real SMTP server for the client's tests: aiosmtpd on a free loopback port,
AUTH LOGIN and PLAIN for one user, SMTPUTF8 offered, each message written to a folder.

Usage: smtp_sink.py FOLDER USER [MODE CERT KEY] [--no-login]
MODE: starttls (STARTTLS required before anything, AUTH offered only after it) or
implicit (TLS from the first byte), both requiring a sign-in before MAIL; without
it, no TLS and AUTH in clear text, a sign-in optional.
--no-login offers PLAIN alone. The password comes from the environment variable
SINK_PASSWORD. Prints the port, then serves until its standard input closes."""
import os
import socket
import ssl
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
    args = [a for a in sys.argv[1:] if a != "--no-login"]
    folder, user = args[0], args[1].encode()
    mode = args[2] if len(args) > 2 else "none"
    tls = {}
    if mode != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args[3], args[4])
        if mode == "starttls":
            tls = dict(tls_context=context, require_starttls=True, auth_require_tls=True, auth_required=True)
        else:
            # aiosmtpd counts only STARTTLS as TLS; here every byte is inside it anyway.
            tls = dict(ssl_context=context, auth_require_tls=False, auth_required=True)
    else:
        tls = dict(auth_require_tls=False)
    if "--no-login" in sys.argv:
        tls["auth_exclude_mechanism"] = ["LOGIN"]
    password = os.environ["SINK_PASSWORD"].encode("latin-1")

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == user and auth_data.password == password
        return AuthResult(success=ok)

    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Sink(folder), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            enable_SMTPUTF8=True, **tls)
    controller.start()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()


main()
