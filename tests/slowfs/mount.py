"""Mounts a directory through slowfs, the file system as slow as a file
share (slowfs.c), for the share suite and the benchmark."""
import contextlib
import os
import subprocess
import time


class CannotMount(Exception):
    pass


@contextlib.contextmanager
def slow_share(slowfs, source, point, latency_ms=1):
    """Yields `point` with `source` mounted on it, every operation delayed
    by `latency_ms`; afterwards unmounts it, and the number of operations
    served is in the yielded list's one element."""
    if os.geteuid() != 0:
        raise CannotMount("mounting a FUSE file system here needs root")
    if not os.path.exists("/dev/fuse"):
        raise CannotMount("this machine has no /dev/fuse")
    os.makedirs(point, exist_ok=True)
    served = []
    server = subprocess.Popen([slowfs, source, point, "--latency", str(latency_ms), "-f"],
                              stderr=subprocess.PIPE)
    try:
        for _ in range(200):
            if os.path.ismount(point):
                break
            if server.poll() is not None:
                raise CannotMount(f"slowfs ended: {server.stderr.read().decode().strip()}")
            time.sleep(0.02)
        else:
            raise CannotMount("slowfs did not mount in 4 s")
        yield served
    finally:
        subprocess.run(["fusermount3", "-u", point], check=False, stderr=subprocess.DEVNULL)
        try:
            _, err = server.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            server.kill()
            _, err = server.communicate()
        for line in err.decode().splitlines():
            if line.endswith("operations served"):
                served.append(int(line.split()[1]))
