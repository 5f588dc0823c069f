#!/usr/bin/env python3
"""run_with_server.py ADSERVER SERVER_DATA_DIR -- COMMAND [ARG...]

Runs COMMAND with the reference server's URL appended to its arguments: the server
(ADSERVER, serving SERVER_DATA_DIR's sample campaigns, assets and VAST documents on
127.0.0.1 at a free port) runs for as long as the command does. The command's folders (XDG_CONFIG_HOME,
XDG_CACHE_HOME, TMPDIR) are a fresh temporary folder. Exits with the command's status."""
import os
import subprocess
import sys
import tempfile


def main(argv):
    if len(argv) < 5 or argv[3] != "--":
        print(__doc__, file=sys.stderr)
        return 2
    adserver, data, command = argv[1], argv[2], argv[4:]
    server = subprocess.Popen(
        [adserver, "--campaigns", os.path.join(data, "campaigns", "sample.json"),
         "--assets", os.path.join(data, "assets"), "--vast", os.path.join(data, "vast"),
         "--host", "127.0.0.1", "--port", "0"],
        stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline()
        prefix = "zelvora-adserver: endpoint "
        if not line.startswith(prefix):
            print("the server did not start: " + line, file=sys.stderr)
            return 1
        url = line[len(prefix):].strip()
        with tempfile.TemporaryDirectory(prefix="zelvora-host-") as folder:
            env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                       XDG_CACHE_HOME=os.path.join(folder, "cache"),
                       TMPDIR=os.path.join(folder, "tmp"))
            for name in ("config", "cache", "tmp"):
                os.mkdir(os.path.join(folder, name))
            return subprocess.run(command + [url], env=env, timeout=120).returncode
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
