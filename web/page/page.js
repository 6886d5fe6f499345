// page.js -- loads the presentation's files with a progress bar, starts it on a click, a tap or a key
//
// The address may name a moment: #t=SECONDS starts the show there, #t=SECONDS&still draws that
// one frame and holds it, without sound and without waiting for a click. The program itself
// (vortazov.js and .wasm) draws on the canvas and plays the sound; this page only fetches
// what it needs, says what went wrong where something did, and offers the tools.
'use strict';

const page = {
    body: document.body,
    canvas: document.getElementById('canvas'),
    message: document.getElementById('message'),
    progress: document.getElementById('progress'),
    progressBar: document.getElementById('progress-bar'),
    start: document.getElementById('start'),
    fullscreen: document.getElementById('fullscreen'),
    picture: document.getElementById('picture'),
    table: document.getElementById('table'),
};

// The moment asked for in the address: seconds from the start, and whether to hold it.
function askedMoment() {
    const fields = new URLSearchParams(location.hash.replace(/^#/, ''));
    const t = Number(fields.get('t') || 0);
    return { seconds: Number.isFinite(t) && t > 0 ? t : 0, still: fields.has('still') };
}
const moment = askedMoment();

function setState(state) {
    page.body.dataset.state = state;
}

function say(text) {
    page.message.textContent = text;
}

// Something the show cannot do without: the message stays, the canvas is covered.
function fail(text) {
    setState('error');
    page.progress.hidden = true;
    page.start.hidden = true;
    say(text);
    console.error('vortazov: ' + text);
}

window.addEventListener('error', (event) => fail('The presentation stopped: ' + event.message));
window.addEventListener('unhandledrejection', (event) =>
    fail('The presentation stopped: ' + (event.reason && event.reason.message || event.reason)));

function saveFile(name, blob) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// --- loading

// Fetches every file the manifest lists, counting bytes as they arrive. A file that cannot
// be had stops the loading with its name and the reason.
async function fetchAll(files, onBytes) {
    const contents = new Map();
    await Promise.all(files.map(async (file) => {
        let response;
        try {
            response = await fetch(file.path);
        } catch (error) {
            throw new Error(`Could not load ${file.path}: ${error.message}`);
        }
        if (!response.ok)
            throw new Error(`Could not load ${file.path}: ${response.status} ${response.statusText}`);
        const reader = response.body.getReader();
        const parts = [];
        let length = 0;
        for (;;) {
            const { done, value } = await reader.read();
            if (done)
                break;
            parts.push(value);
            length += value.length;
            onBytes(value.length);
        }
        const bytes = new Uint8Array(length);
        let at = 0;
        for (const part of parts) {
            bytes.set(part, at);
            at += part.length;
        }
        contents.set(file.path, bytes);
    }));
    return contents;
}

function loadScript(src) {
    return new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = src;
        script.onload = resolve;
        script.onerror = () => reject(new Error(`Could not load ${src}`));
        document.body.appendChild(script);
    });
}

// The program's runtime, with its wasm already fetched; resolves once it can be called.
function startRuntime(wasmBinary) {
    return new Promise((resolve, reject) => {
        window.Module = {
            canvas: page.canvas,
            wasmBinary: wasmBinary,
            noInitialRun: true,
            print: (text) => console.log(text),
            printErr: (text) => console.warn(text),
            onAbort: (what) => reject(new Error('the program stopped: ' + what)),
            onRuntimeInitialized: () => resolve(window.Module),
            // called by the program
            showEnded: showEnded,
            fail: fail,
            onWebGLMissing: (reason) => fail('This browser cannot draw WebGL 2 here: ' + reason),
            saveFile: saveFile,
            toggleFullscreen: toggleFullscreen,
        };
        loadScript('vortazov.js').catch(reject);
    });
}

// What the show is at now (frames drawn, scene, the status line's positions, the music heard),
// for a look from the console and for the tests; null before the program runs.
window.vortazovStatus = () =>
    window.Module && Module._webStatus ? JSON.parse(Module.UTF8ToString(Module._webStatus())) : null;

// --- the tools

function syncTable() {
    const text = Module.UTF8ToString(Module._webSyncTableText());
    return new Blob([text], { type: 'text/plain' });
}

function toggleFullscreen() {
    if (document.fullscreenElement)
        document.exitFullscreen();
    else if (document.documentElement.requestFullscreen)
        document.documentElement.requestFullscreen().catch((error) => console.warn(error.message));
}

document.addEventListener('fullscreenchange', () =>
    page.body.classList.toggle('fullscreen', document.fullscreenElement !== null));
page.fullscreen.addEventListener('click', toggleFullscreen);
page.picture.addEventListener('click', () => window.Module && Module._webRequestScreenshot && Module._webRequestScreenshot());
page.table.addEventListener('click', () => {
    if (window.Module && Module._webSyncCount && Module._webSyncCount() > 0)
        saveFile('endpart.snc', syncTable());
    else
        console.log('no sync points yet: press SPACE (or tap the picture) during the end part');
});
// a tap on the picture records, as SPACE does
page.canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'touch' && page.body.dataset.state === 'running')
        Module._webTap();
});

// The show has ended (its last word, Escape), with status 1 when a data file could not be
// loaded; the program has offered the sync table, if SPACE recorded any points.
function showEnded(status) {
    setState('ended');
    page.progress.hidden = true;
    page.start.hidden = true;
    let text = 'The end.';
    if (Module._webSyncCount() > 0)
        text += ' The sync points are in endpart.snc.';
    if (status)
        text += '\nSome of the data could not be loaded: the console names the files.';
    say(text);
}

// --- start

// Browsers let a page make sound only after a click, a tap or a key: the show starts then.
function waitForStart() {
    setState('ready');
    page.progress.hidden = true;
    page.start.hidden = false;
    say('Click, tap or press a key to start.');
    return new Promise((resolve) => {
        const go = (event) => {
            if (event.type === 'keydown' && (event.key === 'F11' || event.key === 'F12')) {
                // the show hears keys only once it runs: until then the page does what they do
                if (!event.ctrlKey && !event.altKey && !event.metaKey) {
                    event.preventDefault();
                    if (event.key === 'F11')
                        toggleFullscreen();
                    else
                        Module._webRequestScreenshot();
                }
                return;
            }
            event.preventDefault();
            window.removeEventListener('pointerdown', go, true);
            window.removeEventListener('keydown', go, true);
            resolve();
        };
        window.addEventListener('pointerdown', go, true);
        window.addEventListener('keydown', go, true);
    });
}

// A held still was drawn at the canvas's size then; no frame follows to redraw it, so the
// browser would stretch it. The moment is drawn afresh at the new size (the whole page again:
// the frames before it must all run at that size), once the resizing has settled.
function redrawStillOnResize() {
    const drawnAt = () => [page.canvas.clientWidth, page.canvas.clientHeight, window.devicePixelRatio].join();
    const size = drawnAt();
    let timer;
    window.addEventListener('resize', () => {
        clearTimeout(timer);
        timer = setTimeout(() => { if (drawnAt() !== size) location.reload(); }, 300);
    });
}

async function main() {
    if (!document.createElement('canvas').getContext('webgl2')) {
        fail('This browser offers no WebGL 2, which the presentation draws with.\n' +
             'Turn on hardware acceleration, or try a current Firefox, Chrome, Edge or Safari.');
        return;
    }
    page.progress.hidden = false;
    say('Loading…');
    let manifest;
    try {
        const response = await fetch('files.json');
        if (!response.ok)
            throw new Error(`${response.status} ${response.statusText}`);
        manifest = await response.json();
    } catch (error) {
        throw new Error('Could not load files.json: ' + error.message);
    }

    // the bar counts every byte to come: the program, the data and (unless only a still is
    // asked for) the sound
    const soundBytes = new Map();
    let total = manifest.files.reduce((sum, file) => sum + file.size, 0);
    if (!moment.still)
        total += manifest.sounds.reduce((sum, sound) => sum + sound.audioSize, 0);
    let filesLoaded = 0;
    const showProgress = () => {
        let loaded = filesLoaded;
        for (const bytes of soundBytes.values())
            loaded += bytes;
        page.progressBar.style.width = Math.min(100, 100 * loaded / Math.max(total, 1)) + '%';
    };
    const sounds = Promise.all(manifest.sounds.map((sound) =>
        vortazovAudio.load(sound.name, sound.audio, sound.table, {
            decode: !moment.still,
            onprogress: (loaded) => { soundBytes.set(sound.name, loaded); showProgress(); },
        })));
    const contents = await fetchAll(manifest.files, (bytes) => { filesLoaded += bytes; showProgress(); });

    const Module = await startRuntime(contents.get(manifest.program));
    for (const file of manifest.files) {
        if (file.path === manifest.program)
            continue;
        Module.FS.mkdirTree(file.path.replace(/\/[^/]*$/, ''));
        Module.FS.writeFile(file.path, contents.get(file.path));
    }
    if (!moment.still)
        say('Preparing the sound…');
    await sounds;

    const args = moment.seconds > 0 ? ['--at', String(moment.seconds)] : [];
    if (moment.still) {
        Module.callMain(args.concat(['--still']));
        if (page.body.dataset.state === 'loading') {
            setState('still');
            redrawStillOnResize();
        }
        return;
    }
    Module.callMain(args);
    await waitForStart();
    vortazovAudio.resume();
    setState('running');
    page.canvas.focus();
    if (moment.seconds > 0)
        say('Going to ' + moment.seconds + ' s…');
    // the program's main loop takes over from here: emscripten leaves the call by throwing
    // 'unwind', which is no error
    try {
        Module._webStart();
    } catch (error) {
        if (error !== 'unwind')
            throw error;
    }
}

main().catch((error) => fail(error.message));
