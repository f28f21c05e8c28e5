#!/usr/bin/python3
"""A pyftpdlib server on 127.0.0.1 whose data connections move about 2 MB a second, so that
a transfer lasts long enough to be seen. Prints its port, serves until killed.

    throttled_ftp_server.py ROOT USER PASSWORD
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
dtp = ThrottledDTPHandler
dtp.read_limit = dtp.write_limit = 2 * 1024 * 1024
handler = FTPHandler
handler.authorizer = authorizer
handler.dtp_handler = dtp
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
