// The page's stream of changes and the pictures it carries.  /api/stream is
// one long response of frames: a little-endian u32 JSON length and u32
// pixel length, the JSON (what a poll answers, with only the pictures that
// changed since the previous frame, as rectangles) and the RGBA rows of
// those rectangles.  Each view keeps its whole picture as an ImageData;
// the rectangles are copied into it and only they are put on the canvas.

const decoder = new TextDecoder();

// Reads whole frames out of a byte stream that arrives in pieces of any size.
class FrameReader {
  constructor(reader) {
    this.reader = reader;
    this.chunks = [];
    this.size = 0;
  }

  // Whether a whole frame is here already (so drawing can wait for it).
  frameBuffered() {
    if (this.size < 8) return false;
    const h = this.peek(8);
    const v = new DataView(h.buffer, h.byteOffset, 8);
    return this.size >= 8 + v.getUint32(0, true) + v.getUint32(4, true);
  }

  async fill(n) {
    while (this.size < n) {
      const { value, done } = await this.reader.read();
      if (done) return false;
      this.chunks.push(value);
      this.size += value.length;
    }
    return true;
  }

  peek(n) {
    const first = this.chunks[0];
    if (first.length >= n) return first.subarray(0, n);
    const out = new Uint8Array(n);
    let at = 0;
    for (const c of this.chunks) {
      const k = Math.min(c.length, n - at);
      out.set(c.subarray(0, k), at);
      at += k;
      if (at === n) break;
    }
    return out;
  }

  take(n) {
    const out = this.peek(n);
    let left = n;
    while (left > 0) {
      const c = this.chunks[0];
      if (c.length <= left) {
        this.chunks.shift();
        left -= c.length;
      } else {
        this.chunks[0] = c.subarray(left);
        left = 0;
      }
    }
    this.size -= n;
    return out;
  }

  // The next frame as {json, pixels}, or null when the stream ended.
  async next() {
    if (!(await this.fill(8))) return null;
    const h = this.take(8);
    const v = new DataView(h.buffer, h.byteOffset, 8);
    const jsonLength = v.getUint32(0, true), pixelLength = v.getUint32(4, true);
    if (!(await this.fill(jsonLength + pixelLength))) return null;
    const json = jsonLength ? JSON.parse(decoder.decode(this.take(jsonLength))) : null;
    const pixels = pixelLength ? this.take(pixelLength) : null;
    return { json, pixels };
  }
}

// Reads the stream at `url` until it ends, handing each frame that says
// something to onFrame(json, pixels, more), `more` telling whether another
// frame is waiting already.  Throws when the stream cannot be opened.
export async function readStream(url, onFrame) {
  const res = await fetch(url, { cache: 'no-store' });
  if (!res.ok || !res.body) throw new Error('the stream was refused (' + res.status + ')');
  const frames = new FrameReader(res.body.getReader());
  for (;;) {
    const f = await frames.next();
    if (!f) return;
    if (f.json) onFrame(f.json, f.pixels, frames.frameBuffered());
  }
}

// Copies a picture's rectangles (p: {version, width, height, rects}) from
// `pixels` at `at` into the box's picture; returns where the next picture's
// rows start.  Nothing is drawn until showPicture.
export function takePicture(b, p, pixels, at) {
  if (!b.image || b.image.width !== p.width || b.image.height !== p.height) {
    b.image = new ImageData(p.width, p.height);
    b.dirty = [[0, 0, p.width, p.height]];
  }
  b.dirty = b.dirty || [];
  const data = new Uint8Array(b.image.data.buffer);
  for (const [x, y, w, h] of p.rects) {
    const row = w * 4;
    for (let r = 0; r < h; r++, at += row)
      data.set(pixels.subarray(at, at + row), ((y + r) * p.width + x) * 4);
    b.dirty.push([x, y, w, h]);
  }
  b.version = p.version;
  return at;
}

// Puts what changed of the box's picture on its canvas.
export function showPicture(b) {
  if (!b.dirty || !b.dirty.length) return;
  const c = b.canvas;
  if (c.width !== b.image.width || c.height !== b.image.height) {
    c.width = b.image.width; // clears the canvas: all of it is drawn
    c.height = b.image.height;
    b.dirty = [[0, 0, c.width, c.height]];
  }
  const g = c.getContext('2d');
  for (const [x, y, w, h] of b.dirty) g.putImageData(b.image, 0, 0, x, y, w, h);
  b.dirty = [];
  c.dataset.version = String(b.version);
}
