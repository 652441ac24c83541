"""A real FTP server for the tests: pyftpdlib on 127.0.0.1, an ephemeral port, anonymous
access and one user, serving one folder. Writes its port to a file once it listens and
records every command line it receives (the transcript the tests check). With a sixth
argument "passive-only" it refuses PORT, as servers that allow no active mode do."""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, port_file, transcript_file, user, password = sys.argv[1:6]
passive_only = sys.argv[6:7] == ["passive-only"]

authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
authorizer.add_user(user, password, root, perm="elr")


class RecordingHandler(FTPHandler):
    def pre_process_command(self, line, cmd, arg):
        with open(transcript_file, "a", encoding="utf-8") as transcript:
            transcript.write(line + "\n")
        return super().pre_process_command(line, cmd, arg)

    def ftp_PORT(self, line):
        if passive_only:
            self.respond("500 Active mode is not allowed here.")
            return
        super().ftp_PORT(line)


RecordingHandler.authorizer = authorizer
RecordingHandler.timeout = 30
logging.basicConfig(level=logging.WARNING)
server = FTPServer(("127.0.0.1", 0), RecordingHandler)
with open(port_file + ".part", "w", encoding="ascii") as out:
    out.write(str(server.address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
