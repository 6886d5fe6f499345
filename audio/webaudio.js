// webaudio.js -- the web back-end's browser side: fetches and decodes the rendered sounds, plays them through WebAudio, says which moment is heard now
//
// A plain script: the page loads it before the program's own .js, calls load() for each sound
// while it loads, and resume() from the click, tap or key that starts the show (browsers let
// a page make sound only from such a gesture). audio/webaudio.cpp calls the rest.
var vortazovAudio = (function () {
    'use strict';

    // name (the path the program loads, e.g. "data/compruss.xm") -> {
    //   state: 'loading' | 'ready' | 'failed', error: why it failed, naming the URL,
    //   audioUrl, tableUrl, table: Uint8Array, buffer: AudioBuffer (null when not decoded),
    //   shift: decoded frame f + shift holds rendered frame f (null until the program aligned it) }
    const sounds = new Map();
    const playing = new Map();  // name -> the AudioBufferSourceNode playing it
    let context = null;         // the AudioContext, made on the first need
    let renderedSeen = -1;      // currentTime when last looked at, and the moment it changed
    let renderedSeenAt = 0;     //   (performance.now() milliseconds)

    // How long an answer may be carried on by performance.now() past the moment currentTime
    // last changed (seconds): a stalled context does not run away. The desktop engine's
    // interpolationLimit (audio/engine.h), kept the same so both carry on alike.
    const CARRY_LIMIT = 0.05;

    const AudioContextClass = window.AudioContext || window.webkitAudioContext;
    const OfflineContextClass = window.OfflineAudioContext || window.webkitOfflineAudioContext;

    async function fetchBytes(url, onprogress) {
        let response;
        try {
            response = await fetch(url);
        } catch (e) {
            throw new Error(url + ': cannot be fetched (' + e.message + ')');
        }
        if (!response.ok)
            throw new Error(url + ': HTTP ' + response.status + (response.statusText ? ' ' + response.statusText : ''));
        const total = Number(response.headers.get('Content-Length')) || 0;
        if (!onprogress || !response.body || !response.body.getReader)
            return new Uint8Array(await response.arrayBuffer());
        const reader = response.body.getReader();
        const parts = [];
        let loaded = 0;
        for (;;) {
            const { done, value } = await reader.read();
            if (done)
                break;
            parts.push(value);
            loaded += value.length;
            onprogress(loaded, total);
        }
        const bytes = new Uint8Array(loaded);
        let at = 0;
        for (const part of parts) {
            bytes.set(part, at);
            at += part.length;
        }
        return bytes;
    }

    // The render's rate, from the table's header (the program checks the whole table later).
    function tableRate(table) {
        const magic = String.fromCharCode(table[0], table[1], table[2], table[3]);
        if (table.length < 16 || magic !== 'VZST')
            return 44100;  // AUDIO_RATE (audio/audio.h), which websound renders every sound at
        return (table[12] | table[13] << 8 | table[14] << 16 | table[15] << 24) >>> 0;
    }

    // Decoded at the render's own rate, whatever the output runs at: an offline context of
    // that rate decodes without resampling, and the buffer plays in any context.
    function decode(bytes, rate) {
        const offline = new OfflineContextClass(2, 1, rate);
        return new Promise(function (resolve, reject) {
            const promise = offline.decodeAudioData(bytes.buffer, resolve, reject);
            if (promise && promise.catch)
                promise.catch(reject);
        });
    }

    function ensureContext() {
        if (context || !AudioContextClass)
            return context;
        try {
            // at the render's rate (AUDIO_RATE, audio/audio.h), the context plays the buffers
            // without resampling them and resamples once, to the device, with the browser's own
            // resampler
            context = new AudioContextClass({ sampleRate: 44100, latencyHint: 'interactive' });
        } catch (e) {
            context = new AudioContextClass();
        }
        renderedSeen = -1;
        return context;
    }

    // Safari may interrupt or suspend the context while the tab is hidden; coming back, it
    // plays on, and the positions, which follow the context's clock, with it.
    document.addEventListener('visibilitychange', function () {
        if (document.visibilityState === 'visible' && context && context.state !== 'running' &&
            context.state !== 'closed' && playing.size > 0)
            context.resume().catch(function () {});
    });

    const api = {
        // Fetches a sound's table and, unless options.decode is false (a still picture needs
        // no sound), its audio, and decodes it. Resolves when the sound is ready; rejects
        // with an Error that names the file and why. options.onprogress(loaded, total) is
        // called as the audio's bytes arrive.
        load: async function (name, audioUrl, tableUrl, options) {
            options = options || {};
            const sound = { state: 'loading', error: '', audioUrl: audioUrl, tableUrl: tableUrl,
                            table: null, buffer: null, shift: null };
            sounds.set(name, sound);
            try {
                if (!OfflineContextClass && options.decode !== false)
                    throw new Error(audioUrl + ': this browser has no Web Audio API to decode it');
                // both fetched at once; the first to fail names its file
                const [table, bytes] = await Promise.all([
                    fetchBytes(tableUrl),
                    options.decode === false ? null : fetchBytes(audioUrl, options.onprogress),
                ]);
                sound.table = table;
                if (bytes) {
                    try {
                        sound.buffer = await decode(bytes, tableRate(table));
                    } catch (e) {
                        throw new Error(audioUrl + ': cannot be decoded (' + (e && e.message ? e.message : e) + ')');
                    }
                }
                sound.state = 'ready';
            } catch (e) {
                sound.state = 'failed';
                sound.error = e.message;
                throw e;
            }
        },

        // From the gesture that starts the show: makes the output and lets it play. Returns
        // the context's resume() promise (it resolves once sound flows).
        resume: function () {
            const c = ensureContext();
            if (!c)
                return Promise.resolve();
            // older Safari starts its output only for a sound started within the gesture
            const silence = c.createBufferSource();
            silence.buffer = c.createBuffer(1, 1, c.sampleRate);
            silence.connect(c.destination);
            silence.start(0);
            return c.resume ? c.resume() : Promise.resolve();
        },

        // The context, for the page's own checks; null before the first need.
        context: function () {
            return context;
        },

        // --- called by audio/webaudio.cpp

        names: function () {
            return Array.from(sounds.keys());
        },
        // -2: never loaded, -1: failed, 0: still loading, 1: ready without its audio, 2: ready
        state: function (name) {
            const s = sounds.get(name);
            if (!s)
                return -2;
            return { loading: 0, failed: -1, ready: s.buffer ? 2 : 1 }[s.state];
        },
        error: function (name) {
            const s = sounds.get(name);
            return s ? s.error : '';
        },
        url: function (name, audio) {
            const s = sounds.get(name);
            return s ? (audio ? s.audioUrl : s.tableUrl) : name;
        },
        table: function (name) {
            return sounds.get(name).table;
        },
        frames: function (name) {
            const s = sounds.get(name);
            return s && s.buffer ? s.buffer.length : -1;
        },
        // Mono ((left + right) / 2) of the decoded frames from `from`, `count` of them, into `out`.
        mono: function (name, from, count, out) {
            const b = sounds.get(name).buffer;
            const left = b.getChannelData(0), right = b.getChannelData(b.numberOfChannels > 1 ? 1 : 0);
            for (let i = 0; i < count; i++)
                out[i] = (left[from + i] + right[from + i]) / 2;
        },
        shift: function (name) {
            const s = sounds.get(name);
            return s && s.shift !== null ? s.shift : NaN;
        },
        setShift: function (name, shift) {
            sounds.get(name).shift = shift;
        },
        // Adds rendered frames [frame, frame + count) of the sound, as 16-bit stereo, into
        // `out` (an Int16Array over the program's memory), clipped as the engine mixes.
        mixInto: function (name, frame, count, out) {
            const s = sounds.get(name);
            if (!s || !s.buffer)
                return;
            const b = s.buffer;
            const left = b.getChannelData(0), right = b.getChannelData(b.numberOfChannels > 1 ? 1 : 0);
            for (let i = 0; i < count; i++) {
                const f = frame + i + s.shift;
                if (f < 0 || f >= b.length)
                    continue;
                for (let c = 0; c < 2; c++) {
                    const v = out[2 * i + c] + Math.round((c ? right[f] : left[f]) * 32767);
                    out[2 * i + c] = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
                }
            }
        },
        open: function () {
            return ensureContext() !== null;
        },
        // The context's time of the frame rendered next (seconds), -1 without a context.
        renderedTime: function () {
            return context ? context.currentTime : -1;
        },
        // How far ahead of currentTime a sound is scheduled so that it starts exactly then:
        // the audio thread renders ahead in blocks of baseLatency, and a start it receives for
        // a time already rendered would play late, from its first frame.
        margin: function () {
            return 0.03 + (context && context.baseLatency > 0 ? context.baseLatency : 0.02);
        },
        // The earliest time a sound can be scheduled for, on the context's frame grid.
        startTime: function () {
            const t = context.currentTime + api.margin();
            return Math.ceil(t * context.sampleRate) / context.sampleRate;
        },
        // The context's time of the frame heard now (seconds), -1 while the context does not
        // run. webaudio.cpp keeps the answers from going back (its heard frame never does).
        // What each browser reports, as its source says:
        //  - Chromium: getOutputTimestamp() is the device's position (frames rendered less the
        //    output delay the audio service reports) with the moment it was measured; carried
        //    on to now by performance.now(), it is the frame heard now. outputLatency is that
        //    delay again, rounded, so it is not taken off a second time.
        //  - WebKit: the same pair, from Core Audio's time stamp of the buffer playing.
        //  - Gecko: contextTime is currentTime less outputLatency, stamped performance.now()
        //    less outputLatency; carried on to now that gives currentTime itself, so there the
        //    frame heard is currentTime less outputLatency, carried on by performance.now()
        //    from the moment currentTime last moved.
        // Nothing is heard before it is rendered: never past currentTime.
        heardTime: function () {
            if (!context)
                return -1;
            const now = performance.now();
            const rendered = context.currentTime;
            if (rendered !== renderedSeen) {
                renderedSeen = rendered;
                renderedSeenAt = now;
            }
            if (context.state !== 'running')
                return -1;
            const latency = typeof context.outputLatency === 'number' && isFinite(context.outputLatency) ?
                context.outputLatency : 0;
            const stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
            const fromRendered = latency > 0 && stamp && Math.abs(stamp.contextTime - (rendered - latency)) < 1e-6;
            let t;
            if (stamp && stamp.performanceTime > 0 && !fromRendered)
                t = stamp.contextTime + (now - stamp.performanceTime) / 1000;
            else
                t = rendered - latency + Math.min((now - renderedSeenAt) / 1000, CARRY_LIMIT);
            return Math.min(t, rendered);
        },
        // Plays the sound from its rendered frame `frame` on, starting at context time `when`.
        play: function (name, when, frame) {
            api.stop(name, when);
            const s = sounds.get(name);
            if (!context || !s || !s.buffer)
                return;
            let at = frame + s.shift;
            if (at < 0) {  // a decoder that dropped frames at the start: wait for the first one
                when -= at / s.buffer.sampleRate;
                at = 0;
            }
            if (at >= s.buffer.length)
                return;
            const source = context.createBufferSource();
            source.buffer = s.buffer;
            source.connect(context.destination);
            source.start(when, at / s.buffer.sampleRate);
            playing.set(name, source);
            source.onended = function () {
                if (playing.get(name) === source)
                    playing.delete(name);
            };
        },
        // Stops the sound at context time `when` (at once when it has passed).
        stop: function (name, when) {
            const source = playing.get(name);
            if (!source)
                return;
            playing.delete(name);
            try {
                source.stop(Math.max(when, 0));
            } catch (e) {
                // never started: nothing to stop
            }
        },
    };
    return api;
})();
