#!/usr/bin/python3
# web_e2e.py -- the web page in Debian's headless chromium, against the desktop program's own pictures
#
#   web_e2e.py SITE CAPTURE MOMENTS      (from the project root, with a display for the capture)
#
# SITE is web/build.sh's site folder, CAPTURE the vortazov-capture program, MOMENTS the
# web_moments program (each scene's moment, the end part's). The site is served on 127.0.0.1
# by this script. Checked:
#   1. every scene's moment as #t=SECONDS&still against the capture's picture of that moment;
#   2. a live start just before the end part, from the click into the end part: no error on
#      the console, the positions the page reports follow the music heard, SPACE presses come
#      back in the endpart.snc the page offers, and after Escape no frame runs; a start by a
#      key (Escape) that the show does not see;
#   3. a browser without WebGL, and a data file the server does not have: the page says so.
import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import webdriver

# A still is the frame the show draws at its moment, as the capture draws it; the two
# renderers (SwiftShader through our GL layer, Mesa's llvmpipe) differ only where a polygon's
# edge or a blend rounds otherwise. Measured here: 40 to 52 dB, 0.2 % of the pixels or fewer
# off by more than 8 levels.
MIN_PSNR = 30.0
MAX_OFF_SHARE = 0.02
OFF_LEVELS = 8

failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        failures.append(what)


def serve(folder, missing=()):
    """Serves `folder` on a free port of 127.0.0.1, answering 404 for the paths in `missing`."""
    class Handler(http.server.SimpleHTTPRequestHandler):
        def do_GET(self):
            if self.path.split('?')[0].lstrip('/') in missing:
                self.send_error(404, 'File not found')
                return
            super().do_GET()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, 'http://127.0.0.1:%d/' % server.server_address[1]


def compare(reference, shot, work):
    """PSNR in dB and the share of pixels off by more than OFF_LEVELS, of the page's 640x480 picture."""
    picture = os.path.join(work, 'picture.png')
    subprocess.run(['convert', shot, '-crop', '640x480+0+0', '+repage', picture], check=True)
    psnr = subprocess.run(['compare', '-metric', 'PSNR', reference, picture, 'null:'],
                          capture_output=True, text=True).stderr.split()[0]
    off = subprocess.run(['compare', '-metric', 'AE', '-fuzz', '%g%%' % (100.0 * OFF_LEVELS / 255),
                          reference, picture, 'null:'], capture_output=True, text=True).stderr.split()[0]
    return (float('inf') if psnr == 'inf' else float(psnr)), float(off) / (640 * 480)


def errors(browser):
    return [m['message'] for m in browser.console() if m['level'] == 'SEVERE']


def stills(url, moments, capture, work):
    names = [name for name in moments if name != 'switch']
    listed = ','.join('%.3f' % moments[name] for name in names)
    subprocess.run([capture, os.path.join(work, 'native.png'), '--at', listed, '--supersample', '1'],
                   check=True, stderr=subprocess.DEVNULL)
    browser = webdriver.Browser()
    try:
        for i, name in enumerate(names):
            browser.open('%sindex.html?still=%d#t=%.3f&still' % (url, i, moments[name]))
            began = time.monotonic()
            state = browser.wait_for("const s = document.body.dataset.state;"
                                     "return s == 'still' || s == 'error' ? s : null", timeout=60)
            seconds = time.monotonic() - began
            shot = os.path.join(work, 'web-%s.png' % name)
            browser.screenshot(shot)
            psnr, off = compare(os.path.join(work, 'native-%.3f.png' % moments[name]), shot, work)
            check(state == 'still' and psnr >= MIN_PSNR and off <= MAX_OFF_SHARE,
                  '%s at %.3f s: PSNR %.1f dB, %.2f %% of the pixels off by more than %d levels, shown in %.1f s'
                  % (name, moments[name], psnr, 100 * off, OFF_LEVELS, seconds))
        # a held still is drawn again at a new size, not stretched by the browser
        browser.cdp('Emulation.setDeviceMetricsOverride', {'width': 800, 'height': 644, 'deviceScaleFactor': 1, 'mobile': False})
        size = None
        end = time.monotonic() + 30
        while size != [800, 600] and time.monotonic() < end:
            time.sleep(0.2)
            try:
                size = browser.run("const c = document.getElementById('canvas');"
                                   "return document.body.dataset.state == 'still' ? [c.width, c.height] : null")
            except webdriver.WebDriverError:
                pass  # the page is being loaded again
        check(size == [800, 600], 'the still held in a window made larger is drawn again at its size: %s' % size)
        check(not errors(browser), 'no error on the console while drawing the stills')
    finally:
        browser.close()


def status(browser):
    return browser.run('return window.vortazovStatus()')


def live(url, moments):
    browser = webdriver.Browser()
    try:
        start = moments['switch'] - 3
        browser.open('%sindex.html#t=%.3f' % (url, start))
        browser.wait_for("return document.body.dataset.state == 'ready'", timeout=60)
        browser.click(320, 240)
        browser.wait_for("return document.body.dataset.state == 'running'", timeout=10)
        # the end part's positions against the music heard, sampled as the page runs
        samples = []
        pressed = []
        end = time.monotonic() + 30
        while len(samples) < 70 and time.monotonic() < end:
            s = status(browser)
            m = re.match(r'POS: (\d+) / (\d+)', s['status'])
            if s['endPart'] and m:
                samples.append((s['heard'], int(m.group(1))))
                if len(samples) in (20, 40, 60):
                    browser.keys(webdriver.SPACE)
                    pressed.append(int(re.match(r'POS: (\d+)', status(browser)['status']).group(1)))
            time.sleep(0.05)
        check(len(samples) == 70, 'the end part began and its positions were sampled (%d)' % len(samples))
        heard = [h for h, _ in samples]
        positions = [p for _, p in samples]
        check(all(b >= a for a, b in zip(positions, positions[1:])) and all(b >= a for a, b in zip(heard, heard[1:])),
              'positions and the music heard never step back')
        # The stream is 128 kbit/s: 16000 bytes a second of music heard. A sample's position
        # is that of the last frame drawn, an MPEG frame (26 ms) at a time, a refresh ahead;
        # a frame late on a busy machine adds its lateness.
        if len(samples) > 2:
            n = len(samples)
            mean_h, mean_p = sum(heard) / n, sum(positions) / n
            slope = sum((h - mean_h) * (p - mean_p) for h, p in samples) / sum((h - mean_h) ** 2 for h in heard)
            off = sorted((p - (mean_p + slope * (h - mean_h))) / 16000 for h, p in samples)
            began = heard[0] - positions[0] / slope
            check(abs(slope / 16000 - 1) < 0.015 and max(-off[n // 10], off[9 * n // 10]) < 0.040 and
                  max(-off[0], off[-1]) < 0.150,
                  'the stream position follows the music heard: %.0f bytes a second, within %.0f ms (80 %%),'
                  ' %.0f ms (all)' % (slope, 1000 * max(-off[n // 10], off[9 * n // 10]), 1000 * max(-off[0], off[-1])))
            check(abs(began - moments['switch']) < 0.1,
                  'the end part began at %.3f s of the music heard (the timeline ends at %.3f s)'
                  % (began, moments['switch']))
        # F12: the picture as shown, a download (read back after the frame's drawing is done)
        browser.keys(webdriver.F12)
        picture = None
        for _ in range(50):
            pictures = [f for f in os.listdir(browser.downloads) if f.startswith('vortazov-') and f.endswith('.png')]
            if pictures:
                picture = os.path.join(browser.downloads, pictures[0])
                break
            time.sleep(0.1)
        red = subprocess.run(['convert', picture, '-fuzz', '10%', '-fill', 'white', '-opaque', 'rgb(204,0,0)',
                              '-fill', 'black', '+opaque', 'white', '-format', '%[fx:mean]', 'info:'],
                             capture_output=True, text=True).stdout if picture else '0'
        check(picture is not None and float(red) > 0.5,
              'F12 saved the picture as shown: %s, %.0f %% of it the background red' % (picture, 100 * float(red)))
        browser.keys(webdriver.ESCAPE)
        browser.wait_for("return document.body.dataset.state == 'ended'", timeout=5)
        # the models and textures are freed by then: no frame may run any more
        frames = [status(browser)['frames']]
        time.sleep(0.5)
        frames.append(status(browser)['frames'])
        check(frames[0] == frames[1], 'no frame runs after the show ended: %d frames, then %d' % tuple(frames))
        table = os.path.join(browser.downloads, 'endpart.snc')
        for _ in range(50):
            if os.path.exists(table):
                break
            time.sleep(0.1)
        recorded = [int(p) for p in re.findall(r'\{0\.0f, 0\.0f, (\d+),', open(table).read())] \
            if os.path.exists(table) else []
        check(len(recorded) == 3 and all(abs(r - p) <= 2 * 418 for r, p in zip(recorded, pressed)),
              'the three SPACE presses are in the downloaded endpart.snc: %s (the page showed %s)' % (recorded, pressed))
        logged = errors(browser)
        check(not logged, 'no error on the console from the click to the end: %s' % logged[:3])
    finally:
        browser.close()


def key_start(url):
    """Any key starts the show, and the show does not see it: Escape would end it at once."""
    browser = webdriver.Browser()
    try:
        browser.open(url + 'index.html#t=60')
        browser.wait_for("return document.body.dataset.state == 'ready'", timeout=60)
        browser.keys(webdriver.ESCAPE)
        browser.wait_for("return document.body.dataset.state == 'running'", timeout=10)
        time.sleep(1)
        s = status(browser)
        check(not s['ended'] and s['frames'] > 10, 'Escape started the show and did not end it: %s' % s)
    finally:
        browser.close()


def failures_shown(url, site):
    browser = webdriver.Browser(webgl=False)
    try:
        browser.open(url + 'index.html')
        browser.wait_for("return document.body.dataset.state == 'error'", timeout=30)
        text = browser.run("return document.getElementById('message').textContent")
        check('WebGL' in text, 'without WebGL the page says so: "%s"' % text.splitlines()[0])
    finally:
        browser.close()
    server, url = serve(site, missing=('data/3d/samovar.lwo',))
    browser = webdriver.Browser()
    try:
        browser.open(url + 'index.html')
        browser.wait_for("return document.body.dataset.state == 'error'", timeout=60)
        text = browser.run("return document.getElementById('message').textContent")
        check('data/3d/samovar.lwo' in text, 'a file the server does not have is named: "%s"' % text)
    finally:
        browser.close()
        server.shutdown()


def read_moments(program):
    """The web_moments program's moments: each scene's, and the switch to the end part, in seconds."""
    moments = {}
    for line in subprocess.run([program], check=True, capture_output=True, text=True).stdout.splitlines():
        name, seconds = line.split()
        moments[name] = float(seconds)
    return moments


def main():
    site, capture, moments_program = sys.argv[1:4]
    moments = read_moments(moments_program)
    work = tempfile.mkdtemp(prefix='vortazov-web-')
    server, url = serve(site)
    try:
        stills(url, moments, capture, work)
        live(url, moments)
        key_start(url)
        failures_shown(url, site)
    finally:
        server.shutdown()
    if failures:
        print('%d failed; pictures in %s' % (len(failures), work))
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == '__main__':
    sys.exit(main())
