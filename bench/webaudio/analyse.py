#!/usr/bin/env python3
# analyse.py -- figures from run.js's output: the pulled checks, and the live positions against the audio clock
#
#   analyse.py OUT.json [WORK]   (WORK: the recording, its read times, the desktop engine's log and the render)
import json
import sys

RATE = 44100


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(p / 100 * len(s)))]


def fit(xs, ys):
    n = len(xs)
    mx, my = sum(xs) / n, sum(ys) / n
    sxx = sum((x - mx) ** 2 for x in xs)
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    slope = sxy / sxx
    return slope, my - slope * mx


def live(name, run):
    rows = run['rows']
    # [wall ms, perf ms, "heard queried word ends streampos", contextTime, performanceTime, currentTime, outputLatency, baseLatency]
    t = [r[1] for r in rows]
    heard = [int(r[2].split()[0]) for r in rows]
    start = heard[0]
    # from the first frame the sound is heard on, leaving out the first half second
    first = next(i for i, h in enumerate(heard) if h > start)
    use = [i for i in range(first, len(rows)) if t[i] - t[first] > 500]
    slope, icpt = fit([t[i] / 1000 for i in use], [heard[i] for i in use])
    res = [(heard[i] - (slope * t[i] / 1000 + icpt)) / RATE * 1000 for i in use]
    back = sum(1 for a, b in zip(heard, heard[1:]) if b < a)
    # what the context had rendered beyond the frame heard (ms)
    ahead = [(r[5] - r[3]) * 1000 for r in rows[first:] if r[4] > 0]
    words = [int(r[2].split()[2]) for r in rows]
    keys = [(w & 0xFFFF) * 256 + (w >> 16) for w in words]
    stream = [int(r[2].split()[4]) for r in rows]
    out = {
        'frames': len(rows),
        'sound heard from (ms after the first frame)': round(t[first] - t[0], 1),
        'heard frames per second (fit)': round(slope, 1),
        'residual ms p5/p50/p95': [round(percentile(res, p), 3) for p in (5, 50, 95)],
        'residual ms max abs': round(max(abs(x) for x in res), 3),
        'heard steps backwards': back,
        'position steps backwards (before the switch)': sum(1 for a, b, s in zip(keys, keys[1:], stream[1:]) if b < a and s == 0),
        'context rendered ahead of heard, ms p50': round(percentile(ahead, 50), 2) if ahead else None,
        'outputLatency s (last)': rows[-1][6],
        'baseLatency s': rows[-1][7],
    }
    if run['from'] >= 0:
        out['first heard frame'] = heard[0]
        out['pulled frame gone live from'] = int(run['from'] * RATE)
        switch = next((i for i, s in enumerate(stream) if s > 0), None)
        if switch is not None:
            out['stream position first non-zero at heard frame'] = heard[switch]
            out['stream position at the end'] = stream[-1]
    print(name, json.dumps(out, indent=1))
    return rows


def table_changes(path):
    """The (frame, position word) changes of a module's position table."""
    import struct
    data = open(path, 'rb').read()
    count = struct.unpack_from('<I', data, 24)[0]
    return [struct.unpack_from('<II', data, 40 + 8 * i) for i in range(count)]


def module_origin(claims, changes):
    """The output frame at which the module began, from the claims (wall, heard, word): each
    word is first claimed at most one query after the heard frame reached its change in the
    table, so the smallest difference is the origin to within the queries' spacing."""
    first_frame = {}
    for frame, word in changes:
        first_frame.setdefault(word, frame)
    best = None
    for (w0, h0, word0), (w1, h1, word1) in zip(claims, claims[1:]):
        if word1 != word0 and word1 in first_frame:
            d = h1 - first_frame[word1]
            best = d if best is None else min(best, d)
    return best


def recorded(work, claims, label):
    """The claims (wall ms, heard frame, word) against the recording: which frame of the module
    the sink played at each moment, found by matching windows of the recording with the render."""
    import numpy as np
    origin = module_origin(claims, table_changes(work + '/site/compruss.pos'))
    print('%s: the module began at output frame %s' % (label, origin))
    claims = [(c[0], c[1] - origin) for c in claims]
    rec = np.fromfile(work + '/recording.raw', dtype='<i2').astype(np.float64)
    rec = (rec[0::2] + rec[1::2]) / 2
    ren = np.fromfile(work + '/render.raw', dtype='<i2').astype(np.float64)
    ren = (ren[0::2] + ren[1::2]) / 2
    reads = np.loadtxt(work + '/recording.times')
    # the wall time a recorded frame reached us: each read ends with the frame it stamps; the
    # quickest reads (lowest 5 %) of the two seconds around a moment show the delivery without
    # scheduling delays (the sink's clock and the wall clock drift apart by a few 0.01 %)
    last = reads[:, 0] / 4 - 1
    lateness = reads[:, 1] - last / RATE * 1000
    walls = np.array([c[0] for c in claims])
    heards = np.array([c[1] for c in claims], dtype=np.float64)
    errors = []
    window = 2048
    for w in np.arange(walls[0] + 1000, walls[-1] - 200, 100.0):
        near = np.abs(reads[:, 1] - w) < 2000
        offset = np.percentile(lateness[near], 5)
        j = int(round((w - offset) / 1000 * RATE))  # recorded frame played at wall time w
        if j < 0 or j + window > len(rec):
            continue
        predicted = int(np.interp(w, walls, heards))
        lo, hi = predicted - 4410, predicted + 4410  # 100 ms either side
        if lo < 0 or hi + window > len(ren):
            continue
        seg = rec[j:j + window]
        if np.sqrt(np.mean(seg ** 2)) < 100:
            continue
        corr = np.correlate(ren[lo:hi + window], seg, mode='valid')
        energy = np.convolve(ren[lo:hi + window] ** 2, np.ones(window), mode='valid')
        match = corr / np.sqrt(np.maximum(energy, 1e-9) * np.sum(seg ** 2))
        k = int(np.argmax(match))
        if match[k] < 0.8:
            continue
        played = lo + k  # render frame the sink played at wall time w
        errors.append((predicted - played) / RATE * 1000)
    errors = np.array(errors)
    if len(errors) == 0:
        print('%s: no moment of the recording matched the render (was anything heard?)' % label)
        return None
    thirds = np.array_split(errors, 3)
    print('%s: medians of the first, middle and last third: %s' % (label, ', '.join('%.2f' % np.median(t) for t in thirds)))
    print('%s: claimed - played ms over %d moments: median %.2f, p5 %.2f, p95 %.2f' % (
        label, len(errors), np.median(errors), np.percentile(errors, 5), np.percentile(errors, 95)))
    return np.median(errors) if len(errors) else None


def main():
    o = json.load(open(sys.argv[1]))
    faults = []  # what a browser got wrong: the run fails on any
    if 'userAgent' in o:
        print('browser:', o['userAgent'])
    if 'console' in o:
        errors = [c for c in o['console'] if c.startswith('error') or c.startswith('pageerror')]
        print('console errors:', errors)
    print('load:', o['load'])
    print('pulled sequence against the desktop engine:', o['sequence'])
    if o['sequence']['differ'] or o['sequence']['lines'] < 1000:
        faults.append('pulled positions differ from the desktop engine')
    s = o['samples']
    print('alignment shifts found:', s['shift'])
    for span in s['spans']:
        best = max(span['snrByLag'], key=lambda k: span['snrByLag'][k])
        print('pulled samples from frame %d: SNR at lag 0 %.2f dB, best lag %s, at lag +-1 %.2f/%.2f dB' % (
            span['from'], span['snrByLag']['0'], best, span['snrByLag']['-1'], span['snrByLag']['1']))
        if best != '0' or span['snrByLag']['0'] < 10:
            faults.append('pulled samples from frame %d are not the render' % span['from'])
    print('aligning the module once: %.1f ms' % o['alignMs'])
    if 'still' in o:
        print('tables only (a still picture): loaded in %.0f ms, pulled sequence the same: %s' % (o['still']['load']['ms'], o['still']['same']))
        if not o['still']['same']:
            faults.append('the tables alone answer differently')
    for f in o['failures']:
        print('load %s: page: %s; engine: %s' % (f['name'], f['loaded'], f['engine']))
        if not f['engine']:
            faults.append('%s loaded' % f['name'])
    if 'hidden' in o:
        h = o['hidden']
        wall = h['after'][1] - h['before'][1]
        heard = (int(h['after'][2].split()[0]) - int(h['before'][2].split()[0])) / RATE * 1000
        print('hidden tab (%s): %.1f ms between the frames before and after, heard frame moved %.1f ms' % (h['state'], wall, heard))
    for name in ('live', 'moment'):
        if 'error' in o[name]:
            print(name, 'error', o[name]['error'])
            faults.append('%s: %s' % (name, o[name]['error']))
        else:
            rows = o[name]['rows']
            live(name, o[name])
            heard = [int(r[2].split()[0]) for r in rows]
            if any(b < a for a, b in zip(heard, heard[1:])) or heard[-1] <= heard[0]:
                faults.append('%s: the heard frame stood still or went back' % name)
    if len(sys.argv) > 2:
        work = sys.argv[2]
        # the engine names its output on the same standard output ("Sound output: ...")
        native = [(float(a), int(b), int(c)) for a, b, c in
                  (line.split() for line in open(work + '/native.txt') if not line.startswith('Sound output'))]
        reference = recorded(work, native, 'desktop engine (cubeb)')
        page = [(r[0], int(r[2].split()[0]), int(r[2].split()[2])) for r in o['live']['rows']]
        browser = 'Firefox' if 'Firefox' in o.get('userAgent', '') else 'Chromium'
        web = recorded(work, page, 'web back-end (%s)' % browser)
        if reference is not None and web is not None:
            print('web back-end against the desktop engine, medians: %+.2f ms' % (web - reference))
            # a frame at 60 Hz lasts 16.7 ms: the positions must be well inside it
            if abs(web - reference) > 8:
                faults.append('the positions are %+.1f ms off the sound heard' % (web - reference))
        else:
            faults.append('nothing heard to compare with')
    print('faults:', faults if faults else 'none')
    sys.exit(1 if faults else 0)


main()
