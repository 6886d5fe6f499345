#!/usr/bin/python3
# web_page.py -- the web page in Debian's headless chromium (SwiftShader, 640x480): its size, its first frame, each scene's frame rate
#
#   bench/web_page.py SITE MOMENTS [SECONDS]     (from the project root)
#
# SITE is web/build.sh's site folder, MOMENTS the web_moments program of a native build with
# tests (build/tests/web_moments). Prints the site's size as stored and as a server that
# compresses would send it (gzip -9, file by file), the time from the click to the first frame
# over three starts, and for each scene the frames a second the page drew over SECONDS (default
# 4) from its moment, started live there.
import gzip
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests'))
import web_e2e  # noqa: E402
import webdriver  # noqa: E402


def site_size(site):
    files = stored = sent = 0
    for folder, _, names in os.walk(site):
        for name in names:
            data = open(os.path.join(folder, name), 'rb').read()
            files += 1
            stored += len(data)
            sent += min(len(data), len(gzip.compress(data, 9)))
    print('site: %d files, %.2f MB stored, %.2f MB sent compressed' % (files, stored / 1e6, sent / 1e6))


def start(browser, url, seconds):
    browser.open('%sindex.html?run=%f#t=%.3f' % (url, time.monotonic(), seconds))
    browser.wait_for("return document.body.dataset.state == 'ready'", timeout=90)
    browser.click(320, 240)
    return browser.wait_for("const s = window.vortazovStatus(); return s && s.frames > 0 && s", timeout=30)


def main():
    site, moments_program = sys.argv[1:3]
    span = float(sys.argv[3]) if len(sys.argv) > 3 else 4.0
    moments = web_e2e.read_moments(moments_program)
    site_size(site)
    server, url = web_e2e.serve(site)
    browser = webdriver.Browser()
    try:
        firsts = [start(browser, url, 0)['firstFrameMs'] for _ in range(3)]
        print('first frame after the click: %s ms' % ', '.join('%.0f' % ms for ms in firsts))
        for name in [n for n in moments if n != 'switch']:
            start(browser, url, moments[name])
            time.sleep(1)  # past the first frames, which compile the shaders they need
            before = browser.run('return [performance.now(), window.vortazovStatus()]')
            time.sleep(span)
            after = browser.run('return [performance.now(), window.vortazovStatus()]')
            frames = after[1]['frames'] - before[1]['frames']
            wall = (after[0] - before[0]) / 1000
            music = after[1]['heard'] - before[1]['heard']
            print('%-15s %6.2f frames a second over %.1f s (music heard %.2f s)' % (name, frames / wall, wall, music))
    finally:
        browser.close()
        server.shutdown()
    print('load average: %s' % open('/proc/loadavg').read().split()[0:3])


if __name__ == '__main__':
    main()
