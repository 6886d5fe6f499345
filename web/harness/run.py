#!/usr/bin/env python3
"""run.py -- runs the drawing harness natively and in headless Chromium, and compares their pictures.

From the repository root, after both builds (web/README.md):
    web/harness/run.py compare [NATIVE_BUILD [WEB_BUILD [OUT]]]   per-scene PSNR and share within 8 levels
    web/harness/run.py still [WEB_BUILD]                          still mode against drawing every frame; 14000 unseen frames
    web/harness/run.py fps [WEB_BUILD [CASE]]                     frames a second per scene (or one) in headless Chromium
Defaults: build, build-web/harness, build-web/harness-out. compare writes each frame side by
side (native left, browser right) as OUT/NAME.png.

Chromium is driven over its DevTools pipe (file descriptors 3 and 4), so nothing but Python's
standard library is needed.
"""
import base64
import json
import math
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 640, 480
CHROMIUM_FLAGS = [
    '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
    '--disable-gpu-sandbox', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--force-device-scale-factor=1',
    '--window-size=%d,%d' % (WIDTH, HEIGHT), '--remote-debugging-pipe',
]


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Browser:
    """Headless Chromium on one page, spoken to over the DevTools pipe."""

    def __init__(self, url):
        self.profile = tempfile.mkdtemp(prefix='harness-chromium-')
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()

        def pipes():
            # copies first: the pipes may themselves sit on 3 and 4, and dup2 makes them inheritable
            r, w = os.dup(to_chrome_r), os.dup(from_chrome_w)
            os.dup2(r, 3)
            os.dup2(w, 4)

        self.proc = subprocess.Popen(
            ['chromium'] + CHROMIUM_FLAGS + ['--user-data-dir=' + self.profile, url],
            preexec_fn=pipes, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b''
        self.next_id = 0
        self.console = []
        targets = self.call('Target.getTargets')['targetInfos']
        page = [t for t in targets if t['type'] == 'page'][0]
        self.session = self.call('Target.attachToTarget', targetId=page['targetId'], flatten=True)['sessionId']
        self.call('Runtime.enable', session=True)

    def _send(self, message):
        os.write(self.to_chrome, json.dumps(message).encode() + b'\0')

    def _receive(self):
        while b'\0' not in self.buffer:
            chunk = os.read(self.from_chrome, 1 << 20)
            if not chunk:
                raise RuntimeError('chromium closed its pipe')
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b'\0', 1)
        return json.loads(message)

    def call(self, method, session=False, **params):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params}
        if session:
            message['sessionId'] = self.session
        self._send(message)
        while True:
            reply = self._receive()
            if reply.get('method') == 'Runtime.consoleAPICalled':
                args = reply['params']['args']
                self.console.append(' '.join(str(a.get('value', a.get('description', ''))) for a in args))
            elif reply.get('method') == 'Runtime.exceptionThrown':
                self.console.append('exception: ' + json.dumps(reply['params']['exceptionDetails'])[:500])
            if reply.get('id') == self.next_id:
                if 'error' in reply:
                    raise RuntimeError('%s: %s' % (method, reply['error']))
                return reply['result']

    def evaluate(self, expression):
        result = self.call('Runtime.evaluate', session=True, expression=expression, returnByValue=True)
        return result['result'].get('value')

    def wait_done(self, timeout):
        end = time.time() + timeout
        while time.time() < end:
            if self.evaluate('!!(window.harness && window.harness.done)'):
                return True
            time.sleep(0.5)
        return False

    def close(self):
        self.proc.kill()
        self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def serve(folder):
    port = free_port()
    server = subprocess.Popen([sys.executable, '-m', 'http.server', '-b', '127.0.0.1', str(port), '-d', folder],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(50):
        try:
            socket.create_connection(('127.0.0.1', port), timeout=0.2).close()
            break
        except OSError:
            time.sleep(0.1)
    return server, port


def run_browser(web_build, mode, timeout):
    folder = os.path.join(web_build, 'harness')
    server, port = serve(folder)
    browser = Browser('http://127.0.0.1:%d/harness.html?%s' % (port, mode))
    try:
        done = browser.wait_done(timeout)
        notes = browser.evaluate('window.harness ? window.harness.notes : []') or []
        frames = {}
        if done and mode == 'compare':
            for name in browser.evaluate('Object.keys(window.harness.frames)'):
                frames[name] = base64.b64decode(browser.evaluate('window.harness.frames[%s]' % json.dumps(name)))
        return done, notes, frames, browser.console
    finally:
        browser.close()
        server.kill()
        server.wait()


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
        if 'GL layer' in line or 'exception' in line or 'error' in line.lower():
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
        if 'GL layer' in line or 'exception' in line:
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
