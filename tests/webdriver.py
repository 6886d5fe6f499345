# webdriver.py -- Debian's chromium, headless, driven through chromedriver's WebDriver protocol
#
# Only the standard library: the tests need no package beyond Debian's chromium and
# chromium-driver. A Browser starts chromedriver on a free port and one headless session; the
# page's console, screenshots, keys and downloads are reached through it.
import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class WebDriverError(Exception):
    pass


class Browser:
    def __init__(self, width=640, height=524, scale=1, webgl=True, extra_args=()):
        self.port = free_port()
        self.profile = tempfile.mkdtemp(prefix='vortazov-chromium-')
        self.downloads = os.path.join(self.profile, 'downloads')
        os.makedirs(self.downloads)
        log = open(os.path.join(self.profile, 'chromedriver.log'), 'w')
        self.driver = subprocess.Popen(['chromedriver', '--port=%d' % self.port], stdout=log, stderr=log)
        self.base = 'http://127.0.0.1:%d' % self.port
        for _ in range(100):
            try:
                self._call('GET', '/status')
                break
            except OSError:
                time.sleep(0.1)
        args = ['--headless=new', '--no-sandbox', '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync', '--disable-quic',
                '--autoplay-policy=user-gesture-required', '--window-size=%d,%d' % (width, height),
                '--user-data-dir=' + os.path.join(self.profile, 'user')]
        if webgl:
            args += ['--use-angle=swiftshader', '--enable-unsafe-swiftshader']
        else:
            args += ['--disable-webgl', '--disable-3d-apis']
        args += list(extra_args)
        caps = {'capabilities': {'alwaysMatch': {
            'browserName': 'chrome',
            'goog:chromeOptions': {'binary': '/usr/bin/chromium', 'args': args},
            'goog:loggingPrefs': {'browser': 'ALL'},
        }}}
        self.session = self._call('POST', '/session', caps)['sessionId']
        self.cdp('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': self.downloads})
        # the window's own size includes a headless frame: the page's viewport is set exactly
        self.cdp('Emulation.setDeviceMetricsOverride',
                 {'width': width, 'height': height, 'deviceScaleFactor': scale, 'mobile': False})

    def _call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        try:
            with urllib.request.urlopen(request, timeout=120) as response:
                answer = json.loads(response.read() or b'{}')
        except urllib.error.HTTPError as error:
            answer = json.loads(error.read() or b'{}')
            raise WebDriverError(answer.get('value', {}).get('message', str(error)))
        return answer.get('value', answer)

    def _session(self, method, path, body=None):
        return self._call(method, '/session/%s%s' % (self.session, path), body)

    def cdp(self, command, params=None):
        return self._session('POST', '/goog/cdp/execute', {'cmd': command, 'params': params or {}})

    def open(self, url):
        self._session('POST', '/url', {'url': url})

    def run(self, script, *args):
        """Runs `script` as a function body in the page and returns its result."""
        return self._session('POST', '/execute/sync', {'script': script, 'args': list(args)})

    def wait_for(self, script, timeout=30, interval=0.1):
        """Waits until `script` returns something true; returns it, or raises on timeout."""
        end = time.monotonic() + timeout
        while True:
            value = self.run(script)
            if value:
                return value
            if time.monotonic() > end:
                raise TimeoutError('waited %gs for: %s' % (timeout, script))
            time.sleep(interval)

    def screenshot(self, path):
        with open(path, 'wb') as f:
            f.write(base64.b64decode(self._session('GET', '/screenshot')))

    def keys(self, *keys):
        """Presses and releases each key in turn (a character, or a WebDriver key code)."""
        actions = []
        for key in keys:
            actions += [{'type': 'keyDown', 'value': key}, {'type': 'keyUp', 'value': key}]
        self._session('POST', '/actions', {'actions': [{'type': 'key', 'id': 'keyboard', 'actions': actions}]})

    def click(self, x, y):
        pointer = [{'type': 'pointerMove', 'x': x, 'y': y, 'origin': 'viewport'},
                   {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0}]
        self._session('POST', '/actions', {'actions': [
            {'type': 'pointer', 'id': 'mouse', 'parameters': {'pointerType': 'mouse'}, 'actions': pointer}]})

    def console(self):
        """The console's messages since the last call: dicts with level and message."""
        return self._session('POST', '/se/log', {'type': 'browser'})

    def close(self):
        try:
            self._session('DELETE', '')
        except (WebDriverError, OSError):
            pass
        self.driver.terminate()
        self.driver.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


F11 = '\ue03b'
F12 = '\ue03c'
ESCAPE = '\ue00c'
SPACE = ' '
