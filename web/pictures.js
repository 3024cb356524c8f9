// The pictures of one channel: its waveform as the lowest and highest value of
// each column, and its spectrogram as an RGBA image with time across and
// frequency (on a log scale) up. Computed in the worker; the page only draws.
'use strict';

self.wavPictures = (() => {
  const WAVE_COLUMNS = 2048;
  const SPECTRUM_COLUMNS = 1024;
  const SPECTRUM_ROWS = 256;
  const LOWEST_HZ = 40;
  const FLOOR_DB = -96;

  // Lowest and highest value of each of `columns` columns of `frames` frames of a
  // channel of values from -1 to 1; the channel may be shorter than `frames`
  // (the rest is empty).
  function waveform(channel, frames, columns = WAVE_COLUMNS) {
    const peaks = new Float32Array(columns * 2);
    for (let col = 0; col < columns; ++col) {
      const start = Math.floor((col * frames) / columns);
      const end = Math.min(channel.length, Math.max(start + 1, Math.floor(((col + 1) * frames) / columns)));
      let low = 0;
      let high = 0;
      if (start < end) {
        low = 1;
        high = -1;
        for (let k = start; k < end; ++k) {
          const v = channel[k];
          if (v < low) low = v;
          if (v > high) high = v;
        }
      }
      peaks[2 * col] = low;
      peaks[2 * col + 1] = high;
    }
    return peaks;
  }

  function fftSizeFor(sampleRate) {
    if (sampleRate >= 32000) return 2048;
    if (sampleRate >= 12000) return 1024;
    return 512;
  }

  // In-place radix-2 FFT of re/im (length a power of two).
  function fft(re, im) {
    const n = re.length;
    for (let i = 1, j = 0; i < n; ++i) {
      let bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) {
        [re[i], re[j]] = [re[j], re[i]];
        [im[i], im[j]] = [im[j], im[i]];
      }
    }
    for (let len = 2; len <= n; len <<= 1) {
      const angle = (-2 * Math.PI) / len;
      const wr = Math.cos(angle);
      const wi = Math.sin(angle);
      for (let i = 0; i < n; i += len) {
        let cr = 1;
        let ci = 0;
        for (let k = 0; k < len / 2; ++k) {
          const a = i + k;
          const b = a + len / 2;
          const tr = re[b] * cr - im[b] * ci;
          const ti = re[b] * ci + im[b] * cr;
          re[b] = re[a] - tr;
          im[b] = im[a] - ti;
          re[a] += tr;
          im[a] += ti;
          const next = cr * wr - ci * wi;
          ci = cr * wi + ci * wr;
          cr = next;
        }
      }
    }
  }

  // A dark-to-bright palette: black, violet, red, orange, pale yellow.
  const PALETTE_STOPS = [
    [0.0, 0, 0, 4], [0.2, 40, 11, 84], [0.4, 101, 21, 110], [0.6, 188, 55, 84],
    [0.8, 249, 142, 9], [1.0, 252, 255, 164],
  ];
  const PALETTE = (() => {
    const table = new Uint8ClampedArray(256 * 3);
    for (let i = 0; i < 256; ++i) {
      const t = i / 255;
      let s = 1;
      while (s < PALETTE_STOPS.length - 1 && PALETTE_STOPS[s][0] < t) ++s;
      const [t0, r0, g0, b0] = PALETTE_STOPS[s - 1];
      const [t1, r1, g1, b1] = PALETTE_STOPS[s];
      const u = (t - t0) / (t1 - t0);
      table[3 * i] = r0 + (r1 - r0) * u;
      table[3 * i + 1] = g0 + (g1 - g0) * u;
      table[3 * i + 2] = b0 + (b1 - b0) * u;
    }
    return table;
  })();

  // The spectrogram of `frames` frames at sampleRate, as {width, height, rgba}.
  function spectrogram(channel, frames, sampleRate, columns = SPECTRUM_COLUMNS, rows = SPECTRUM_ROWS) {
    const width = Math.max(1, Math.min(columns, frames));
    const n = fftSizeFor(sampleRate);
    const window = new Float32Array(n);
    let windowSum = 0;
    for (let k = 0; k < n; ++k) {
      window[k] = 0.5 - 0.5 * Math.cos((2 * Math.PI * k) / n);
      windowSum += window[k];
    }
    // Each row's frequency, as a fractional FFT bin, from the top row down.
    const nyquist = sampleRate / 2;
    const lowest = Math.min(LOWEST_HZ, nyquist / 4);
    const rowBin = new Float32Array(rows);
    for (let r = 0; r < rows; ++r) {
      const hz = nyquist * Math.pow(lowest / nyquist, r / (rows - 1));
      rowBin[r] = Math.min(n / 2, (hz * n) / sampleRate);
    }
    // A full-scale sine gives 0 dB.
    const reference = windowSum / 2;
    const rgba = new Uint8ClampedArray(width * rows * 4);
    const re = new Float32Array(n);
    const im = new Float32Array(n);
    const levels = new Float32Array(n / 2 + 1);
    for (let col = 0; col < width; ++col) {
      const centre = Math.floor(((col + 0.5) * frames) / width);
      const start = centre - n / 2;
      for (let k = 0; k < n; ++k) {
        const at = start + k;
        re[k] = at >= 0 && at < channel.length ? channel[at] * window[k] : 0;
        im[k] = 0;
      }
      fft(re, im);
      for (let b = 0; b <= n / 2; ++b) {
        const magnitude = Math.hypot(re[b], im[b]) / reference;
        levels[b] = magnitude > 0 ? 20 * Math.log10(magnitude) : FLOOR_DB;
      }
      for (let r = 0; r < rows; ++r) {
        const bin = rowBin[r];
        const b0 = Math.floor(bin);
        const b1 = Math.min(n / 2, b0 + 1);
        const db = levels[b0] + (levels[b1] - levels[b0]) * (bin - b0);
        const shade = Math.round(Math.max(0, Math.min(1, 1 - db / FLOOR_DB)) * 255);
        const p = (r * width + col) * 4;
        rgba[p] = PALETTE[3 * shade];
        rgba[p + 1] = PALETTE[3 * shade + 1];
        rgba[p + 2] = PALETTE[3 * shade + 2];
        rgba[p + 3] = 255;
      }
    }
    return { width, height: rows, rgba, lowestHz: lowest, highestHz: nyquist };
  }

  // Both pictures of a file's first channel on a time scale of `frames` frames.
  function picturesOf(decoded, frames) {
    const first = decoded.channels[0];
    return {
      waveform: waveform(first, frames),
      spectrogram: spectrogram(first, frames, decoded.sampleRate),
    };
  }

  return Object.freeze({ waveform, spectrogram, picturesOf });
})();
