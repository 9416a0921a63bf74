"""Reading what a command wrote to a pseudo-terminal, for the tests of the
command's colour and progress output."""

import os


def read_all(master):
    """Reads the master side of a pseudo-terminal until the command has
    closed it, and closes it; returns the bytes."""
    chunks = []
    while True:
        try:
            data = os.read(master, 65536)
        except OSError:  # EIO: the command has ended and closed the terminal
            break
        if not data:
            break
        chunks.append(data)
    os.close(master)
    return b"".join(chunks)
