// run.js -- drives bench/webaudio/check.html in headless Chromium (playwright-core, Debian's chromium) and writes what it measured as JSON
//
//   node run.js URL OUT.json
const { chromium } = require('playwright-core');
const fs = require('fs');

(async () => {
    const [url, outPath] = process.argv.slice(2);
    const browser = await chromium.launch({
        executablePath: '/usr/bin/chromium',
        // playwright mutes the browser by default: the check records what is heard
        ignoreDefaultArgs: ['--mute-audio'],
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--no-first-run'],
    });
    const page = await browser.newPage();
    const console_ = [];
    page.on('console', m => console_.push(m.type() + ': ' + m.text()));
    page.on('pageerror', e => console_.push('pageerror: ' + e.message));
    const out = { console: console_ };
    await page.goto(url);
    await page.waitForFunction(() => window.loadResult && window.runtimeReady, null, { timeout: 120000 });
    out.load = await page.evaluate(() => window.loadResult);

    // the pulled sequence against the desktop engine's
    out.sequence = await page.evaluate(async () => {
        const native = (await (await fetch('sequence-native.txt')).text()).split('\n');
        const web = Module.ccall('checkSequence', 'string', [], []).split('\n');
        let differ = 0, first = -1;
        for (let i = 0; i < Math.max(native.length, web.length); i++) {
            if (native[i] !== web[i]) {
                differ++;
                if (first < 0)
                    first = i;
            }
        }
        return { lines: web.length, differ, first, webLine: first >= 0 ? web[first] : '', nativeLine: first >= 0 ? native[first] : '' };
    });

    // pulled samples against the desktop engine's render; the shifts the alignment found
    out.samples = await page.evaluate(async () => {
        const spans = [[0, 220500, 'render-start.raw'], [7000000, 100000, 'render-end.raw']];
        const result = { shift: { module: vortazovAudio.shift('data/compruss.xm'), stream: vortazovAudio.shift('data/farewell.mp3') }, spans: [] };
        for (const [from, count, file] of spans) {
            const native = new Int16Array(await (await fetch(file)).arrayBuffer());
            const ptr = Module.ccall('checkSamples', 'number', ['number', 'number'], [from, count]);
            const web = HEAP16.subarray(ptr >> 1, (ptr >> 1) + 2 * count);
            const snr = {};
            for (let lag = -3; lag <= 3; lag++) {
                let s = 0, e = 0;
                for (let i = 8; i < count - 8; i++) {
                    for (let c = 0; c < 2; c++) {
                        const a = native[2 * i + c], b = web[2 * (i + lag) + c];
                        s += a * a;
                        e += (a - b) * (a - b);
                    }
                }
                snr[lag] = 10 * Math.log10(s / e);
            }
            result.spans.push({ from, count, snrByLag: snr });
        }
        return result;
    });

    // how long the alignment of the module takes (it runs once, at BASS_Init)
    out.alignMs = await page.evaluate(() => {
        vortazovAudio.setShift('data/compruss.xm', null);
        const t0 = performance.now();
        Module.ccall('checkLoad', 'string', ['string'], ['data/compruss.xm']);
        return performance.now() - t0;
    });

    // a still picture loads the tables alone: the positions are the same
    const still = await browser.newPage();
    await still.goto(url + '?nodecode');
    await still.waitForFunction(() => window.loadResult && window.runtimeReady, null, { timeout: 120000 });
    out.still = await still.evaluate(async () => {
        const native = await (await fetch('sequence-native.txt')).text();
        return { load: window.loadResult, same: Module.ccall('checkSequence', 'string', [], []) === native };
    });
    await still.close();

    // files that are missing or wrong: the load fails and says why, naming the file
    out.failures = await page.evaluate(async () => {
        const cases = [
            ['data/missing.xm', 'missing.mp3', 'missing.pos'],
            ['data/cut.xm', 'compruss.mp3', 'compruss-cut.pos'],
            ['data/other.xm', 'farewell.mp3', 'compruss.pos'],
            ['data/stream-as-module.xm', 'farewell.mp3', 'farewell.pos'],
        ];
        const result = [];
        for (const [name, audio, table] of cases) {
            const loaded = await vortazovAudio.load(name, audio, table).then(() => 'loaded', e => 'rejected: ' + e.message);
            result.push({ name, loaded, engine: Module.ccall('checkLoad', 'string', ['string'], [name]) });
        }
        return result;
    });

    // a hidden tab: the animation frames stop while the sound plays on; back in front, the
    // first frame's position is that of the sound heard then
    await page.evaluate(() => Module.ccall('checkStart', 'number', ['number'], [-1]));
    const before = await page.evaluate(() => window.sampleFrames(1, 0));
    const other = await browser.newPage();
    await other.bringToFront();
    const hiddenState = await page.evaluate(() => document.visibilityState);
    await other.waitForTimeout(3000);
    await page.bringToFront();
    await other.close();
    const after = await page.evaluate(() => window.sampleFrames(1, 0));
    out.hidden = { state: hiddenState, before: before.slice(-1)[0], after: after[0] };

    // live from the start, then live from a moment shortly before the switch to the end part
    // (there with a lookahead of one frame, as the frame driver sets it)
    for (const [name, from, seconds, lookahead] of [['live', -1, 8, 0], ['moment', 158.5, 6, 0.016]]) {
        const started = await page.evaluate(f => Module.ccall('checkStart', 'number', ['number'], [f]), from);
        if (!started) {
            out[name] = { error: await page.evaluate(() => Module.ccall('checkError', 'string', [], [])) };
            continue;
        }
        out[name] = { from, lookahead, rows: await page.evaluate(([s, l]) => window.sampleFrames(s, l), [seconds, lookahead]) };
    }
    await page.evaluate(() => Module.ccall('checkStop', null, [], []));
    fs.writeFileSync(outPath, JSON.stringify(out));
    await browser.close();
})().catch(e => { console.error(e); process.exit(1); });
