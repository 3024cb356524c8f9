// The page: takes a file (picker, drop or the bundled sample), has the worker
// chorus it, and shows the report, the pictures, the A/B player and the download.
//
// window.wavChorus(bytes[, name]) runs one file through the library, as a
// Promise of {code, report, message, output}: code is WAVChorus's result,
// report what it printed on stdout, message what it printed on stderr, output
// the output file's bytes (a Uint8Array), or null when the file was refused.
// It rejects when the page cannot run the call (a file too large for it).
//
// window.chorusFile(bytes, name) does what a dropped file gets, as a Promise of
// {code, report, message, output, converted}: a file in the library's own
// layout goes to it as it is (converted is null); any other is decoded to
// 16-bit PCM first, as wavchorus decodes it (WAV in every layout, AIFF, FLAC,
// Ogg), or by the browser (MP3, AAC and what else it reads), and converted
// says what was done, e.g. "24-bit PCM, converted to 16-bit". A file that
// neither reads goes to the library as it is, as wavChorus() gives it.
'use strict';

(() => {
  const WAVCHORUS_OK = self.wavChorusOk;
  const $ = (id) => document.getElementById(id);

  // ---- The worker ---------------------------------------------------------

  let worker = null;
  let nextRequest = 1;
  const pending = new Map();

  function startWorker() {
    worker = new Worker('worker.js');
    worker.onmessage = (event) => {
      const answer = event.data;
      if (answer.ready !== undefined) {
        document.documentElement.dataset.chorus = answer.ready ? 'ready' : 'failed';
        if (!answer.ready) setStatus(`The chorus could not start: ${answer.error}`, 'failed');
        return;
      }
      const request = pending.get(answer.id);
      if (request === undefined) return;
      pending.delete(answer.id);
      if (answer.error !== undefined) request.reject(new Error(answer.error));
      else request.resolve(answer);
    };
    worker.onerror = (event) => {
      // A worker that failed outright is replaced; what it had in hand fails.
      event.preventDefault();
      const error = new Error(`The chorus stopped: ${event.message || 'the worker failed'}`);
      for (const request of pending.values()) request.reject(error);
      pending.clear();
      worker.terminate();
      worker = null;
    };
  }

  function askWorker(name, bytes, pictures, decode = false, converted = undefined) {
    if (worker === null) startWorker();
    const id = nextRequest++;
    return new Promise((resolve, reject) => {
      pending.set(id, { resolve, reject });
      const copy = bytes.slice().buffer; // the caller keeps its own bytes
      worker.postMessage({ id, name, bytes: copy, pictures, decode, converted }, [copy]);
    });
  }

  // ---- What only the browser decodes -------------------------------------

  // The rate a compressed file holds, where its first frame or header tells it
  // (MP3, AAC in ADTS, Ogg Vorbis and Opus), or null.
  function ownRate(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const tag = (at, text) => at + text.length <= bytes.length &&
      String.fromCharCode(...bytes.subarray(at, at + text.length)) === text;
    if (tag(0, 'OggS')) {
      for (let at = 0; at + 16 < Math.min(bytes.length, 4096); ++at) {
        if (tag(at, 'OpusHead')) return 48000; // Opus always decodes at 48 kHz
        if (tag(at, '\x01vorbis')) return view.getUint32(at + 12, true) || null;
      }
      return null;
    }
    let at = 0;
    if (tag(0, 'ID3') && bytes.length >= 10) {
      at = 10 + (((bytes[6] & 0x7f) << 21) | ((bytes[7] & 0x7f) << 14) | ((bytes[8] & 0x7f) << 7) | (bytes[9] & 0x7f));
    }
    for (const end = Math.min(bytes.length - 4, at + 65536); at < end; ++at) {
      if (bytes[at] !== 0xff || (bytes[at + 1] & 0xe0) !== 0xe0) continue;
      const version = (bytes[at + 1] >> 3) & 3;
      const layer = (bytes[at + 1] >> 1) & 3;
      if ((bytes[at + 1] & 0xf6) === 0xf0) { // ADTS: AAC
        const rate = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350][(bytes[at + 2] >> 2) & 15];
        if (rate) return rate;
      } else if (version !== 1 && layer !== 0 && (bytes[at + 2] >> 4) !== 15 && ((bytes[at + 2] >> 2) & 3) !== 3) {
        return [44100, 48000, 32000][(bytes[at + 2] >> 2) & 3] / (version === 3 ? 1 : version === 2 ? 2 : 4);
      }
    }
    return null;
  }

  // The browser's decoding as a 32-bit float WAV, which the worker converts to
  // 16 bits by the decoder's own rule: {bytes, converted}, or null when the
  // browser cannot read the file either.
  async function browserDecoded(bytes) {
    const own = ownRate(bytes);
    const rate = own !== null && own >= 3000 && own <= 768000 ? own : 48000;
    let audio;
    try {
      audio = await new OfflineAudioContext(1, 1, rate).decodeAudioData(bytes.slice().buffer);
    } catch {
      return null;
    }
    const channels = audio.numberOfChannels;
    const frames = audio.length;
    if (44 + frames * channels * 4 > wavFiles.MAX_FILE_BYTES) {
      throw new Error(`Decoded by the browser, the file is ${wavFiles.formatBytes(frames * channels * 4)} of ` +
        `samples; this page takes up to ${wavFiles.formatBytes(wavFiles.MAX_FILE_BYTES)}. Use the command line (wavchorus) for it.`);
    }
    const wav = new Uint8Array(44 + frames * channels * 4);
    const view = new DataView(wav.buffer);
    const text = (at, value) => { for (let k = 0; k < 4; ++k) wav[at + k] = value.charCodeAt(k); };
    text(0, 'RIFF');
    view.setUint32(4, wav.length - 8, true);
    text(8, 'WAVE');
    text(12, 'fmt ');
    view.setUint32(16, 16, true);
    view.setUint16(20, 3, true); // IEEE float
    view.setUint16(22, channels, true);
    view.setUint32(24, audio.sampleRate, true);
    view.setUint32(28, audio.sampleRate * channels * 4, true);
    view.setUint16(32, channels * 4, true);
    view.setUint16(34, 32, true);
    text(36, 'data');
    view.setUint32(40, frames * channels * 4, true);
    for (let c = 0; c < channels; ++c) {
      const samples = audio.getChannelData(c);
      for (let f = 0, at = 44 + c * 4; f < frames; ++f, at += channels * 4) view.setFloat32(at, samples[f], true);
    }
    const how = own === null
      ? `its own rate unknown to the page, so it may have been resampled to ${audio.sampleRate} Hz`
      : own === audio.sampleRate ? `at its own ${own} Hz` : `resampled from ${own} Hz to ${audio.sampleRate} Hz`;
    return { bytes: wav, converted: `decoded by the browser (its own decoder, not wavchorus's), ${how}, converted to 16-bit` };
  }

  // What a dropped file gets: the worker's answer, with `undecoded` the reason
  // when nothing could decode it and the library read it as it is.
  async function chorusAnything(name, bytes, pictures) {
    const answer = await askWorker(name, bytes, pictures, true);
    if (answer.undecoded === undefined) return answer;
    const decoded = await browserDecoded(bytes);
    if (decoded !== null) {
      const converted = await askWorker(name, decoded.bytes, pictures, true, decoded.converted);
      if (converted.undecoded === undefined) return converted;
    }
    return { ...(await askWorker(name, bytes, pictures)), undecoded: answer.undecoded };
  }

  async function asBytes(data) {
    if (data instanceof Uint8Array) return data;
    if (data instanceof ArrayBuffer) return new Uint8Array(data);
    if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (data instanceof Blob) return new Uint8Array(await data.arrayBuffer());
    throw new TypeError('wavChorus takes the bytes of a WAV file: a Uint8Array, ArrayBuffer or Blob');
  }

  window.wavChorus = async (data, name = 'input.wav') => {
    const answer = await askWorker(String(name), await asBytes(data), false);
    return { code: answer.code, report: answer.report, message: answer.message, output: answer.output };
  };

  window.chorusFile = async (data, name = 'input') => {
    const answer = await chorusAnything(String(name), await asBytes(data), false);
    return {
      code: answer.code, report: answer.report, message: answer.message, output: answer.output,
      converted: answer.converted ?? null,
    };
  };

  // ---- Status -------------------------------------------------------------

  function setStatus(text, kind = '') {
    const status = $('status');
    status.textContent = text;
    status.className = `status ${kind}`;
  }

  // ---- Taking a file --------------------------------------------------------

  let generation = 0; // the newest file; answers for older ones are dropped
  let downloadUrl = null;

  async function takeFile(name, bytesPromise) {
    const mine = ++generation;
    setStatus(`Working on ${name}…`, 'working');
    try {
      const bytes = await bytesPromise;
      const started = performance.now();
      const answer = await chorusAnything(name, bytes, true);
      if (mine !== generation) return;
      showResult(name, bytes, answer, performance.now() - started);
    } catch (error) {
      if (mine !== generation) return;
      setStatus(error.message, 'failed');
    }
  }

  function readFile(file) {
    takeFile(file.name, file.arrayBuffer().then((buffer) => new Uint8Array(buffer)));
  }

  $('open-button').addEventListener('click', () => $('file-input').click());
  $('file-input').addEventListener('change', (event) => {
    const file = event.target.files[0];
    if (file) readFile(file);
    event.target.value = ''; // the same file again is a new choice
  });
  $('sample-button').addEventListener('click', () => {
    takeFile('pluck.wav', fetch('pluck.wav').then((response) => {
      if (!response.ok) throw new Error(`The sample could not be loaded (HTTP ${response.status}).`);
      return response.arrayBuffer();
    }).then((buffer) => new Uint8Array(buffer)));
  });

  // Dropping anywhere on the page takes the file.
  let dragDepth = 0;
  const isFileDrag = (event) => Array.from(event.dataTransfer?.types || []).includes('Files');
  document.addEventListener('dragenter', (event) => {
    if (!isFileDrag(event)) return;
    event.preventDefault();
    if (dragDepth++ === 0) document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', (event) => {
    if (!isFileDrag(event)) return;
    if (--dragDepth <= 0) {
      dragDepth = 0;
      document.body.classList.remove('dragging');
    }
  });
  document.addEventListener('dragover', (event) => {
    if (!isFileDrag(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
  });
  document.addEventListener('drop', (event) => {
    if (!isFileDrag(event)) return;
    event.preventDefault();
    dragDepth = 0;
    document.body.classList.remove('dragging');
    const file = event.dataTransfer.files[0];
    if (file) readFile(file);
  });

  // ---- Showing a result ---------------------------------------------------

  function seconds(frames, rate) {
    return rate > 0 ? frames / rate : 0;
  }

  // m:ss.s, rounded to the tenth first so that 59.96 s reads 1:00.0.
  function clock(t) {
    const tenths = Math.round(t * 10);
    const minutes = Math.floor(tenths / 600);
    return `${minutes}:${((tenths - minutes * 600) / 10).toFixed(1).padStart(4, '0')}`;
  }

  // header: the first bytes of what the library was given.
  function factsOf(bytes, header) {
    header = wavFiles.readHeader(header);
    const size = wavFiles.formatBytes(bytes.length);
    if (header === null) return size;
    const frames = header.channels > 0 ? Math.floor(Math.floor(header.dataBytes / 2) / header.channels) : 0;
    const parts = [`${header.channels} ch`, `${header.sampleRate} Hz`];
    if (header.sampleRate > 0 && header.channels > 0) parts.push(`${seconds(frames, header.sampleRate).toFixed(1)} s`);
    parts.push(size);
    return parts.join(' · ');
  }

  function codeText(code) {
    const known = self.wavChorusCodes[String(code)];
    return known ? `${known[0]}: ${known[1]}` : 'a code this page does not know';
  }

  function showResult(name, bytes, answer, elapsed) {
    const ok = answer.code === WAVCHORUS_OK;
    $('result').hidden = false;
    $('result-title').textContent = name;
    $('result-facts').textContent = factsOf(bytes, answer.facts ?? bytes);
    // A decoded file is the library's own layout; one that nothing decoded is
    // read as it is, with today's notes on it.
    const notes = answer.converted
      ? [`Converted for the library: ${answer.converted}.`]
      : wavFiles.layoutWarnings(answer.header);
    if (answer.undecoded) notes.unshift(`Neither the page's decoder nor the browser could read this file (${answer.undecoded}): the library reads it at its fixed offsets.`);
    const warnings = notes.map((text) => {
      const line = document.createElement('p');
      line.textContent = text;
      return line;
    });
    $('warnings').replaceChildren(...warnings);
    $('warnings').hidden = warnings.length === 0;

    $('report').textContent = answer.report;
    $('report').closest('.report-box').hidden = answer.report === '';
    $('report-code').innerHTML = '';
    const returned = document.createElement('code');
    returned.textContent = String(answer.code);
    $('report-code').append('WAVChorus returned ', returned);

    $('refusal').hidden = ok;
    $('result-body').classList.toggle('refused', !ok);
    if (downloadUrl !== null) URL.revokeObjectURL(downloadUrl);
    downloadUrl = null;
    if (!ok) {
      const code = document.createElement('code');
      code.textContent = `code ${answer.code}`;
      $('refusal-code').replaceChildren(code, ` · ${codeText(answer.code)}`);
      $('refusal-message').textContent = answer.message;
      $('download').hidden = true;
      player.unload();
      media = null;
      $('play').disabled = true;
      $('seek').disabled = true;
      setStatus(`The library refused ${name}.`, 'failed');
      revealResult();
      return;
    }

    const outputName = wavFiles.outputName(name);
    downloadUrl = URL.createObjectURL(new Blob([answer.output], { type: 'audio/wav' }));
    const link = $('download');
    link.href = downloadUrl;
    link.download = outputName;
    link.textContent = `Download ${outputName}`;
    link.title = `${wavFiles.formatBytes(answer.output.length)}, 16-bit PCM WAV`;
    link.hidden = false;

    media = answer.media;
    media.duration = seconds(media.frames, media.sampleRate);
    drawPictures();
    drawTimeAxis();
    loadPlayer();
    const took = elapsed < 1000 ? `${Math.max(1, Math.round(elapsed))} ms` : `${(elapsed / 1000).toFixed(1)} s`;
    setStatus(`Chorused ${name} in ${took}.`);
    revealResult();
  }

  // On a small screen the result starts below the window: bring it up.
  function revealResult() {
    const box = $('result').getBoundingClientRect();
    if (box.top > window.innerHeight * 0.6) {
      const still = window.matchMedia('(prefers-reduced-motion: reduce)').matches;
      $('result').scrollIntoView({ behavior: still ? 'auto' : 'smooth', block: 'start' });
    }
  }

  // ---- Pictures -----------------------------------------------------------

  let media = null;
  const spectrumImages = { a: null, b: null };

  function sizeCanvas(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    return { width, height, ratio };
  }

  // Both waveforms are drawn to one scale, the louder filling the height, so that
  // a quiet file is still seen and the two still compare.
  function waveScale() {
    let peak = 0;
    for (const side of [media.input, media.output]) {
      for (const v of side.pictures.waveform) peak = Math.max(peak, Math.abs(v));
    }
    return peak > 0 ? Math.min(32, 0.95 / peak) : 1;
  }

  function drawWave(canvas, peaks, colour, scale) {
    const { width, height, ratio } = sizeCanvas(canvas);
    const g = canvas.getContext('2d');
    g.clearRect(0, 0, width, height);
    g.fillStyle = 'rgba(255, 255, 255, 0.08)';
    g.fillRect(0, Math.floor(height / 2), width, 1);
    g.fillStyle = colour;
    const columns = peaks.length / 2;
    for (let x = 0; x < width; ++x) {
      const from = Math.floor((x * columns) / width);
      const to = Math.max(from + 1, Math.floor(((x + 1) * columns) / width));
      let low = 0;
      let high = 0;
      for (let c = from; c < to; ++c) {
        low = Math.min(low, peaks[2 * c]);
        high = Math.max(high, peaks[2 * c + 1]);
      }
      const top = Math.round((1 - high * scale) * 0.5 * height);
      const bottom = Math.round((1 - low * scale) * 0.5 * height);
      g.fillRect(x, top, 1, Math.max(1, bottom - top));
    }
    if (scale > 1.05) {
      g.font = `${Math.round(10 * ratio)}px system-ui, sans-serif`;
      g.textBaseline = 'top';
      g.textAlign = 'right';
      g.fillStyle = 'rgba(255, 255, 255, 0.6)';
      g.fillText(`× ${scale.toFixed(1)}`, width - 6 * ratio, 6 * ratio);
    }
  }

  function drawSpectrum(canvas, side, spectrum) {
    const { width, height, ratio } = sizeCanvas(canvas);
    if (spectrumImages[side] === null || spectrumImages[side].source !== spectrum) {
      const image = document.createElement('canvas');
      image.width = spectrum.width;
      image.height = spectrum.height;
      image.getContext('2d').putImageData(new ImageData(spectrum.rgba, spectrum.width, spectrum.height), 0, 0);
      spectrumImages[side] = { source: spectrum, image };
    }
    const g = canvas.getContext('2d');
    g.imageSmoothingEnabled = true;
    g.drawImage(spectrumImages[side].image, 0, 0, width, height);
    // Frequency marks on the log scale.
    g.font = `${Math.round(10 * ratio)}px system-ui, sans-serif`;
    g.textBaseline = 'middle';
    const span = Math.log(spectrum.highestHz / spectrum.lowestHz);
    for (const hz of [100, 1000, 10000, 100000]) {
      if (hz <= spectrum.lowestHz * 1.3 || hz >= spectrum.highestHz * 0.8) continue;
      const y = Math.round(height * (Math.log(spectrum.highestHz / hz) / span));
      g.fillStyle = 'rgba(255, 255, 255, 0.22)';
      g.fillRect(0, y, width, 1);
      g.fillStyle = 'rgba(255, 255, 255, 0.75)';
      g.fillText(hz >= 1000 ? `${hz / 1000} kHz` : `${hz} Hz`, width - 48 * ratio, y - 7 * ratio);
    }
  }

  function drawPictures() {
    if (media === null) return;
    const style = getComputedStyle(document.documentElement);
    const scale = waveScale();
    for (const side of ['a', 'b']) {
      const track = document.querySelector(`.track[data-side="${side}"]`);
      const pictures = side === 'a' ? media.input.pictures : media.output.pictures;
      drawWave(track.querySelector('canvas.wave'), pictures.waveform,
        style.getPropertyValue(side === 'a' ? '--original' : '--chorus').trim(), scale);
      drawSpectrum(track.querySelector('canvas.spectrum'), side, pictures.spectrogram);
    }
  }

  function drawTimeAxis() {
    const axis = $('time-axis');
    axis.replaceChildren();
    if (media === null || media.duration <= 0) return;
    const steps = [0.01, 0.05, 0.1, 0.25, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600];
    const wanted = axis.clientWidth < 480 ? 4 : 8;
    const step = steps.find((s) => media.duration / s <= wanted) || 7200;
    for (let t = 0; t <= media.duration + 1e-9; t += step) {
      const mark = document.createElement('span');
      mark.style.left = `${(t / media.duration) * 100}%`;
      mark.textContent = step < 1 ? `${t.toFixed(2)} s` : clock(t).replace(/\.0$/, '');
      axis.append(mark);
    }
  }

  new ResizeObserver(() => {
    drawPictures();
    drawTimeAxis();
  }).observe($('pictures'));

  // ---- Playing ------------------------------------------------------------

  const player = new ABPlayer(showPlayer);

  function loadPlayer() {
    const note = $('play-note');
    note.hidden = true;
    const channels = Math.max(1, media.channels);
    if (media.frames === 0) {
      player.unload();
      note.textContent = 'The file holds no samples to play.';
      note.hidden = false;
    } else if (!media.playable) {
      player.unload();
      note.textContent = 'This file is too long to play in the page; download the result to hear it.';
      note.hidden = false;
    } else if (!ABPlayer.canPlay(media.sampleRate, channels)) {
      player.unload();
      note.textContent = `This browser cannot play ${channels} ${channels === 1 ? 'channel' : 'channels'} at ` +
        `${media.sampleRate} Hz; download the result to hear it.`;
      note.hidden = false;
    } else {
      player.load(media.sampleRate, media.input.samples, media.output.samples);
    }
    $('play').disabled = !player.loaded;
    $('seek').disabled = !player.loaded;
  }

  function showPlayer() {
    const playButton = $('play');
    playButton.setAttribute('aria-pressed', String(player.playing));
    playButton.setAttribute('aria-label', player.playing ? 'Pause' : 'Play');
    playButton.title = player.playing ? 'Pause (Space)' : 'Play (Space)';
    $('listen-area').dataset.state = player.playing ? 'playing' : 'paused';
    $(`side-${player.side}`).checked = true;
    for (const track of document.querySelectorAll('.track')) {
      track.classList.toggle('active', track.dataset.side === player.side);
    }
    $('listen-area').dataset.side = player.side;
    showPosition();
    if (player.playing) requestAnimationFrame(followPlay);
  }

  function showPosition() {
    const duration = media ? media.duration : 0;
    const position = Math.min(player.position, duration);
    $('time').textContent = `${clock(position)} / ${clock(duration)}`;
    const seek = $('seek');
    seek.max = String(Math.max(duration, 0.01));
    seek.value = String(position);
    seek.setAttribute('aria-valuetext', clock(position));
    $('playhead').style.left = duration > 0 ? `${(position / duration) * 100}%` : '0';
  }

  function followPlay() {
    showPosition();
    if (player.playing) requestAnimationFrame(followPlay);
  }

  $('play').addEventListener('click', () => player.toggle());
  for (const side of ['a', 'b']) {
    $(`side-${side}`).addEventListener('change', () => player.choose(side));
  }
  $('seek').addEventListener('input', (event) => player.seek(Number(event.target.value)));

  // Pointing at the pictures moves the play there.
  $('pictures').addEventListener('pointerdown', (event) => {
    if (!player.loaded) return;
    const box = event.currentTarget.getBoundingClientRect();
    const fraction = Math.max(0, Math.min(1, (event.clientX - box.left) / box.width));
    player.seek(fraction * player.duration);
  });

  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey || !player.loaded) return;
    const target = event.target;
    const onControl = target instanceof HTMLButtonElement || target instanceof HTMLAnchorElement ||
      target instanceof HTMLSelectElement || target instanceof HTMLTextAreaElement;
    const onRadio = target instanceof HTMLInputElement && target.type === 'radio';
    const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
    let handled = true;
    // Space plays or pauses everywhere but on a button or link, which it presses.
    if ((key === ' ' || key === 'k') && !onControl) {
      player.toggle();
    } else if (key === 'a' || key === 'b') {
      player.choose(key);
    } else if ((key === 'ArrowLeft' || key === 'ArrowRight') && !onRadio) {
      player.seek(player.position + (key === 'ArrowLeft' ? -5 : 5));
    } else if (key === 'Home' && !onControl) {
      player.seek(0);
    } else {
      handled = false;
    }
    if (handled) event.preventDefault();
  });

  startWorker();
})();
