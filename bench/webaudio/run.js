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

    out.sequence = await page.evaluate(() => checks.sequence());
    out.samples = await page.evaluate(() => checks.samples());
    out.alignMs = await page.evaluate(() => checks.alignMs());

    // a still picture loads the tables alone: the positions are the same
    const still = await browser.newPage();
    await still.goto(url + '?nodecode');
    await still.waitForFunction(() => window.loadResult && window.runtimeReady, null, { timeout: 120000 });
    out.still = await still.evaluate(async () => {
        const native = await (await fetch('sequence-native.txt')).text();
        return { load: window.loadResult, same: Module.ccall('checkSequence', 'string', [], []) === native };
    });
    await still.close();

    out.failures = await page.evaluate(() => checks.failures());

    // a tab behind another: the animation frames may stop while the sound plays on; back in
    // front, the first frame's position is that of the sound heard then
    await page.evaluate(() => checks.start(-1));
    const before = await page.evaluate(() => checks.sample(1, 0));
    const other = await browser.newPage();
    await other.bringToFront();
    const hiddenState = await page.evaluate(() => document.visibilityState);
    await other.waitForTimeout(3000);
    await page.bringToFront();
    await other.close();
    const after = await page.evaluate(() => checks.sample(1, 0));
    out.hidden = { state: hiddenState, before: before.slice(-1)[0], after: after[0] };

    Object.assign(out, await page.evaluate(() => checks.live()));
    fs.writeFileSync(outPath, JSON.stringify(out));
    await browser.close();
})().catch(e => { console.error(e); process.exit(1); });
