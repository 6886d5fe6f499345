#!/usr/bin/env python3
"""run.py -- runs the drawing harness natively and in headless Chromium, and compares their pictures.

From the repository root, after both builds (web/README.md):
    web/harness/run.py compare [NATIVE_BUILD [WEB_BUILD [OUT]]]   per-scene PSNR and share within 8 levels
    web/harness/run.py still [WEB_BUILD]                          still mode against drawing every frame; 14000 unseen frames
    web/harness/run.py fps [WEB_BUILD [CASE]]                     frames a second per scene (or one) in headless Chromium
Defaults: build, build-web/harness, build-web/harness-out. compare writes each frame side by
side (native left, browser right) as OUT/NAME.png.

Chromium is driven through chromedriver by the page tests' own driver (tests/webdriver.py), so
nothing but Python's standard library, chromium and chromium-driver is needed.
"""
import base64
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests'))
import web_e2e  # noqa: E402
import webdriver  # noqa: E402

WIDTH, HEIGHT = 640, 480


def wait_done(browser, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            if browser.run('return !!(window.harness && window.harness.done)'):
                return True
        except (webdriver.WebDriverError, OSError):
            pass  # the page draws in one long call: a script waits behind it, and may time out
        time.sleep(0.5)
    return False


def run_browser(web_build, mode, timeout):
    """Runs the harness page in `mode`: whether it finished, its notes, its frames (compare),
    and what the console said about the GL layer or an error."""
    server, url = web_e2e.serve(os.path.join(web_build, 'harness'))
    browser = webdriver.Browser(width=WIDTH, height=HEIGHT)
    try:
        browser.open('%sharness.html?%s' % (url, mode))
        done = wait_done(browser, timeout)
        notes = browser.run('return window.harness ? window.harness.notes : []') or []
        frames = {}
        if done and mode == 'compare':
            for name in browser.run('return Object.keys(window.harness.frames)'):
                frames[name] = base64.b64decode(browser.run('return window.harness.frames[arguments[0]]', name))
        console = [m['message'] for m in browser.console() if m['level'] == 'SEVERE' or 'GL layer' in m['message']]
        return done, notes, frames, console
    finally:
        browser.close()
        server.shutdown()


def read_ppm(path):
    with open(path, 'rb') as f:
        data = f.read()
    header = data.split(b'\n', 3)
    width, height = map(int, header[1].split())
    pixels = header[3]
    # bottom row first, as glReadPixels gives them
    rows = [pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]
    return b''.join(reversed(rows))


def write_ppm(path, bottom_up):
    rows = [bottom_up[y * WIDTH * 3:(y + 1) * WIDTH * 3] for y in range(HEIGHT)]
    with open(path, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (WIDTH, HEIGHT) + b''.join(reversed(rows)))


def similarity(a, b):
    """PSNR in dB over the RGB bytes, and the share of pixels whose channels all lie within 8 levels."""
    squared = 0
    within = 0
    for i in range(0, len(a), 3):
        d0, d1, d2 = a[i] - b[i], a[i + 1] - b[i + 1], a[i + 2] - b[i + 2]
        squared += d0 * d0 + d1 * d1 + d2 * d2
        if -8 <= d0 <= 8 and -8 <= d1 <= 8 and -8 <= d2 <= 8:
            within += 1
    mse = squared / len(a)
    psnr = float('inf') if mse == 0 else 10 * math.log10(255 * 255 / mse)
    return psnr, within / (len(a) // 3)


def compare(native_build, web_build, out):
    os.makedirs(os.path.join(out, 'native'), exist_ok=True)
    subprocess.run(['xvfb-run', '-a', '-s', '-screen 0 1024x768x24',
                    os.path.join(native_build, 'web', 'harness', 'webgl_harness'), os.path.join(out, 'native')],
                   check=True, stdout=subprocess.DEVNULL)
    done, notes, frames, console = run_browser(web_build, 'compare', 300)
    for line in console:
        print('browser console:', line)
    if not done:
        print('the browser did not finish:', notes)
        return 1
    print('%-20s %8s %8s' % ('frame', 'PSNR dB', 'within 8'))
    for name in sorted(frames):
        native = read_ppm(os.path.join(out, 'native', name + '.ppm'))
        web = frames[name]
        psnr, within = similarity(native, web)
        print('%-20s %8.2f %7.2f%%' % (name, psnr, 100 * within))
        write_ppm(os.path.join(out, name + '-web.ppm'), web)
        subprocess.run(['convert', os.path.join(out, 'native', name + '.ppm'), os.path.join(out, name + '-web.ppm'),
                        '+append', os.path.join(out, name + '.png')], check=True)
        os.remove(os.path.join(out, name + '-web.ppm'))
    return 0


def notes_only(web_build, mode, timeout):
    done, notes, _, console = run_browser(web_build, mode, timeout)
    for line in console:
        print('browser console:', line)
    for note in notes:
        print(note)
    if not done:
        print('the browser did not finish')
        return 1
    return 0


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ('compare', 'still', 'fps'):
        print(__doc__)
        return 2
    mode = sys.argv[1]
    if mode == 'compare':
        native_build = sys.argv[2] if len(sys.argv) > 2 else 'build'
        web_build = sys.argv[3] if len(sys.argv) > 3 else 'build-web/harness'
        out = sys.argv[4] if len(sys.argv) > 4 else 'build-web/harness-out'
        return compare(native_build, web_build, out)
    web_build = sys.argv[2] if len(sys.argv) > 2 else 'build-web/harness'
    if mode == 'fps' and len(sys.argv) > 3:
        mode += '&' + sys.argv[3]
    return notes_only(web_build, mode, 600)


if __name__ == '__main__':
    sys.exit(main())
