#!/usr/bin/env python3
# record.py -- records the test server's null sink through parec, stamping each read with the wall clock
#
#   record.py OUT.raw OUT.times   (runs until SIGTERM; OUT.times holds "bytes-so-far wall-ms" per read)
import os
import signal
import subprocess
import sys
import time

raw = open(sys.argv[1], 'wb')
times = open(sys.argv[2], 'w')
# small fragments: a read arrives within a few milliseconds of its last sample being played
parec = subprocess.Popen(['parec', '--device=vortazov_null.monitor', '--format=s16le', '--rate=44100',
                          '--channels=2', '--latency-msec=2', '--raw'], stdout=subprocess.PIPE)
stop = False


def ending(*_):
    global stop
    stop = True


signal.signal(signal.SIGTERM, ending)
total = 0
fd = parec.stdout.fileno()
while not stop:
    try:
        data = os.read(fd, 65536)
    except InterruptedError:
        continue
    now = time.time() * 1000
    if not data:
        break
    raw.write(data)
    total += len(data)
    times.write('%d %.3f\n' % (total, now))
parec.terminate()
parec.wait()
raw.close()
times.close()
