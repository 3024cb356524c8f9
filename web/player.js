// Plays the original and the chorused file together, in step, with only one of
// them heard: switching between A and B crossfades in a few milliseconds at the
// same point of the sound, so the ear compares like with like.
'use strict';

self.ABPlayer = class ABPlayer {
  // onChange(player) is called whenever playing starts or stops, the side
  // changes, or the position jumps.
  constructor(onChange) {
    this.onChange = onChange;
    this.context = null;
    this.buffers = { a: null, b: null };
    this.side = 'b';
    this.duration = 0;
    this.playing = false;
    this.offset = 0; // position in seconds when paused, or where the play started
    this.startedAt = 0; // the context's time at which the play started
    this.sources = [];
    this.gains = { a: null, b: null };
  }

  // Whether the browser can play audio at this rate and with this many channels.
  static canPlay(sampleRate, channels) {
    try {
      new AudioBuffer({ length: 1, numberOfChannels: channels, sampleRate });
      return true;
    } catch {
      return false;
    }
  }

  // Takes the two files' samples (arrays of Float32Array, one per channel).
  load(sampleRate, original, chorused) {
    this.stop();
    const buffer = (channels) => {
      const length = Math.max(1, channels.length ? channels[0].length : 1);
      const made = new AudioBuffer({ length, numberOfChannels: Math.max(1, channels.length), sampleRate });
      channels.forEach((samples, c) => made.copyToChannel(samples, c));
      return made;
    };
    this.buffers = { a: buffer(original), b: buffer(chorused) };
    this.duration = Math.max(this.buffers.a.duration, this.buffers.b.duration);
    this.offset = 0;
    this.onChange(this);
  }

  unload() {
    this.stop();
    this.buffers = { a: null, b: null };
    this.duration = 0;
    this.offset = 0;
    this.onChange(this);
  }

  get loaded() {
    return this.buffers.a !== null;
  }

  get position() {
    if (!this.playing) return this.offset;
    return Math.min(this.duration, this.offset + (this.context.currentTime - this.startedAt));
  }

  async play() {
    if (!this.loaded || this.playing) return;
    if (this.context === null) this.context = new AudioContext();
    if (this.context.state === 'suspended') await this.context.resume();
    if (this.offset >= this.duration) this.offset = 0;
    const at = this.context.currentTime + 0.03;
    this.sources = [];
    for (const side of ['a', 'b']) {
      const gain = this.context.createGain();
      gain.gain.value = side === this.side ? 1 : 0;
      gain.connect(this.context.destination);
      const source = this.context.createBufferSource();
      source.buffer = this.buffers[side];
      source.connect(gain);
      if (this.offset < source.buffer.duration) source.start(at, this.offset);
      if (source.buffer.duration === this.duration) {
        // The end of the longer file ends the play, back at the start.
        source.onended = () => {
          this.stop();
          this.offset = 0;
          this.onChange(this);
        };
      }
      this.gains[side] = gain;
      this.sources.push(source);
    }
    this.startedAt = at;
    this.playing = true;
    this.onChange(this);
  }

  pause() {
    if (!this.playing) return;
    this.offset = this.position;
    this.stop();
    this.onChange(this);
  }

  toggle() {
    return this.playing ? this.pause() : this.play();
  }

  seek(seconds) {
    const wasPlaying = this.playing;
    this.stop();
    this.offset = Math.max(0, Math.min(this.duration, seconds));
    this.onChange(this);
    if (wasPlaying) this.play();
  }

  choose(side) {
    if (side !== 'a' && side !== 'b') return;
    this.side = side;
    if (this.playing) {
      const now = this.context.currentTime;
      for (const s of ['a', 'b']) {
        const gain = this.gains[s].gain;
        gain.cancelScheduledValues(now);
        gain.setValueAtTime(gain.value, now);
        gain.linearRampToValueAtTime(s === side ? 1 : 0, now + 0.008);
      }
    }
    this.onChange(this);
  }

  stop() {
    for (const source of this.sources) {
      source.onended = null;
      try {
        source.stop();
      } catch {
        // Never started: its file is shorter than the position.
      }
      source.disconnect();
    }
    for (const side of ['a', 'b']) {
      if (this.gains[side] !== null) this.gains[side].disconnect();
      this.gains[side] = null;
    }
    this.sources = [];
    this.playing = false;
  }
};
