"""FTP server for the upload tests, on 127.0.0.1.

Prints "PORT <n>" once it listens. One user whose home is the folder given with --folder; uploaded files land
there under their remote paths. Every command but PASS is appended to the file given with --log, one a line.
"""

import argparse
import logging
import random
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class LoggingHandler(FTPHandler):
    log_path = None
    # Refused logins are answered at once; the default pause only slows the tests.
    auth_failed_timeout = 0.1

    def pre_process_command(self, line, cmd, arg):
        if cmd != "PASS":
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(line + "\n")
        return super().pre_process_command(line, cmd, arg)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--user", required=True, help="login:password")
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    logging.basicConfig(level=logging.ERROR)
    login, password = args.user.split(":", 1)
    authorizer = DummyAuthorizer()
    authorizer.add_user(login, password, args.folder, perm="elradfmwMT")
    handler = LoggingHandler
    handler.log_path = args.log
    handler.authorizer = authorizer
    # A random range keeps parallel test servers apart; busy ports in it are skipped by the server.
    first = random.randrange(30000, 60000, 64)
    handler.passive_ports = range(first, first + 64)

    server = FTPServer(("127.0.0.1", 0), handler)
    print(f"PORT {server.address[1]}", flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    sys.exit(main())
