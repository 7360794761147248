// The editor's latency as a person feels it: `patchhost serve` on a
// generated 10-minute sound, the page in headless Chromium, and the time
// from an input event (its timeStamp) to the new picture drawn into the
// box's canvas.  Prints the median and 95th percentile of selection and
// Move drag steps, the time of a zoom, a colour scheme and a dB range
// change, and how the page keeps up with a 60 Hz stream of pointer moves.
//
// Environment (set by build/bench/bench-editor): PATCHHOST,
// PLAYWRIGHT_CORE, CHROMIUM.  Argument: minutes of sound (default 10).
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(import.meta.url);
const { chromium } = require(process.env.PLAYWRIGHT_CORE);
const minutes = Number(process.argv[2]) || 10;
const STEPS = 60;

// A mono 16-bit WAV at 44.1 kHz: a slow chirp over a quiet noise floor, so
// that every part of the picture has something to draw.
function writeSound(file, seconds) {
  const sr = 44100, n = Math.round(seconds * sr);
  const b = Buffer.alloc(44 + n * 2);
  b.write('RIFF', 0); b.writeUInt32LE(36 + n * 2, 4); b.write('WAVEfmt ', 8); b.writeUInt32LE(16, 16);
  b.writeUInt16LE(1, 20); b.writeUInt16LE(1, 22); b.writeUInt32LE(sr, 24); b.writeUInt32LE(sr * 2, 28);
  b.writeUInt16LE(2, 32); b.writeUInt16LE(16, 34); b.write('data', 36); b.writeUInt32LE(n * 2, 40);
  let phase = 0, seed = 1;
  for (let i = 0; i < n; i++) {
    const f = 200 + 4000 * (0.5 + 0.5 * Math.sin((2 * Math.PI * i) / (sr * 20)));
    phase += (2 * Math.PI * f) / sr;
    seed = (seed * 1103515245 + 12345) & 0x7fffffff;
    const v = 9000 * Math.sin(phase) + 600 * ((seed / 0x7fffffff) * 2 - 1);
    b.writeInt16LE(Math.round(v), 44 + i * 2);
  }
  fs.writeFileSync(file, b);
}

function startServer(file) {
  const child = spawn(process.env.PATCHHOST, ['serve', file, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  return new Promise((resolve, reject) => {
    let out = '', err = '';
    child.stderr.on('data', (d) => { err += d; });
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (m) resolve({ child, url: m[1] });
    });
    child.on('exit', () => reject(new Error('the server exited:\n' + err)));
  });
}

// In the page: input timestamps and paint times, read by the bench.
function instrument() {
  window.benchLog = { inputs: [], paints: [] };
  for (const type of ['pointerrawupdate', 'pointermove', 'pointerdown', 'keydown', 'wheel'])
    window.addEventListener(type, (e) => window.benchLog.inputs.push(e.timeStamp), true);
  new MutationObserver((records) => {
    for (const r of records)
      if (r.attributeName === 'data-version') window.benchLog.paints.push(performance.now());
  }).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-version'] });
}

const pct = (xs, p) => {
  const s = [...xs].sort((a, b) => a - b);
  return s[Math.min(s.length - 1, Math.floor((p / 100) * s.length))];
};
const fmt = (xs) => `median ${pct(xs, 50).toFixed(1)} ms, p95 ${pct(xs, 95).toFixed(1)} ms (n=${xs.length})`;

// Runs `act`, then waits for the next paint; the time from the input event
// `act` caused (or from `t0` when it is not an input) to that paint.
async function timed(page, act, fromInput = true) {
  const before = await page.evaluate(() => ({ i: window.benchLog.inputs.length, p: window.benchLog.paints.length,
    t: performance.now() }));
  await act();
  const r = await page.waitForFunction((b) => {
    const l = window.benchLog;
    return l.paints.length > b.p ? { paint: l.paints[l.paints.length - 1], input: l.inputs[b.i] } : null;
  }, before, { polling: 'raf', timeout: 15000 });
  const v = await r.jsonValue();
  // A paint may carry on after the first one (several boxes): let it settle.
  await page.evaluate(() => new Promise((res) => setTimeout(res, 30)));
  return v.paint - (fromInput && v.input !== undefined ? v.input : before.t);
}

// Median time of the page's requests to `part` since the last call.
async function requestTimes(page, part) {
  const d = await page.evaluate((p) => {
    const xs = performance.getEntriesByType('resource').filter((e) => e.name.includes(p))
      .map((e) => e.responseEnd - e.startTime);
    performance.clearResourceTimings();
    return xs;
  }, part);
  return d.length ? pct(d, 50).toFixed(1) : '-';
}

async function dragSteps(page, box, dy) {
  const times = [];
  await page.evaluate(() => { performance.setResourceTimingBufferSize(10000); performance.clearResourceTimings(); });
  const x0 = box.x + box.width * 0.2, y = box.y + box.height * 0.5;
  await page.mouse.move(x0, y);
  await page.mouse.down();
  for (let i = 1; i <= STEPS; i++)
    times.push(await timed(page, () => page.mouse.move(x0 + i * 4, y + dy * i)));
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
  const mouse = await page.evaluate(() => performance.getEntriesByType('resource').filter((e) => e.name.includes('/api/mouse'))
    .map((e) => e.responseEnd - e.startTime).sort((a, b) => a - b));
  const pic = await requestTimes(page, '/api/picture');
  return { times, detail: `mouse request ${pct(mouse, 50).toFixed(1)} ms, picture request ${pic} ms` };
}

// Moves at 60 Hz for two seconds without waiting for anything; how long
// the picture takes to catch up after the last move, and how many paints
// the page showed along the way.
async function stream(page, box) {
  const x0 = box.x + box.width * 0.2, y = box.y + box.height * 0.5;
  await page.mouse.move(x0, y);
  await page.mouse.down();
  await page.evaluate(() => { window.benchLog.paints = []; window.benchLog.inputs = []; });
  const start = Date.now();
  let n = 0;
  while (Date.now() - start < 2000) {
    n++;
    page.mouse.move(x0 + (n % 120) * 3, y);
    await new Promise((r) => setTimeout(r, 1000 / 60));
  }
  await page.mouse.move(x0 + 400, y);
  const last = await page.evaluate(() => window.benchLog.inputs[window.benchLog.inputs.length - 1]);
  await page.evaluate(() => window.patchhostIdle());
  await page.evaluate(() => new Promise((res) => setTimeout(res, 300)));
  const paints = await page.evaluate(() => window.benchLog.paints);
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
  return { moves: n + 1, paints: paints.length, lag: paints.length ? paints[paints.length - 1] - last : NaN };
}

async function main() {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'bench-editor-'));
  const file = path.join(tmp, 'long.wav');
  writeSound(file, minutes * 60);
  let t = Date.now();
  const { child, url } = await startServer(file);
  console.log(`editor bench: ${minutes}-minute mono sound at 44.1 kHz, page in headless Chromium 1132 x 800`);
  console.log(`  server ready after ${((Date.now() - t) / 1000).toFixed(1)} s`);
  const context = await chromium.launchPersistentContext(path.join(tmp, 'profile'), {
    // A window whose views the editor fits to 640 x 240, the box of earlier
    // measurements, so that figures compare across versions.
    executablePath: process.env.CHROMIUM, headless: true, viewport: { width: 1132, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--no-proxy-server'],
  });
  try {
    const page = await context.newPage();
    await page.addInitScript(instrument);
    t = Date.now();
    await page.goto(url);
    await page.waitForFunction(() => Number(document.querySelector('.box.ui canvas')?.dataset.version) > 0,
      null, { timeout: 120000 });
    console.log(`  first picture after ${Date.now() - t} ms`);
    const canvas = page.locator('.box[data-class="spectrogram~"] canvas').first();
    const box = await canvas.boundingBox();
    console.log(`  view ${Math.round(box.width)} x ${Math.round(box.height)} points`);
    await page.keyboard.press('s');
    let d = await dragSteps(page, box, 0.5);
    console.log(`  selection drag step: ${fmt(d.times)}; medians: ${d.detail}`);
    await page.keyboard.press('m');
    d = await dragSteps(page, box, 0);
    console.log(`  Move drag step:      ${fmt(d.times)}; medians: ${d.detail}`);
    const zoom = [];
    for (let i = 0; i < 6; i++) zoom.push(await timed(page, () => page.keyboard.press(i % 2 ? '-' : '+')));
    console.log(`  zoom (+/- key):      ${fmt(zoom)}`);
    const ref = await canvas.evaluate((c) => c.closest('.box').dataset.ref);
    const attr = (name, value) => () => page.evaluate(([r, n, v]) => fetch('/api/attr', { method: 'POST',
      headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ box: r, name: n, value: v }) }),
    [ref, name, value]);
    const scheme = [], range = [];
    for (let i = 0; i < 6; i++) {
      scheme.push(await timed(page, attr('color_scheme', [i % 2 ? 0 : 1]), false));
      range.push(await timed(page, attr('mag_min', [i % 2 ? -90 : -70]), false));
    }
    console.log(`  colour scheme:       ${fmt(scheme)}`);
    console.log(`  dB range (mag_min):  ${fmt(range)}`);
    await page.keyboard.press('s');
    const s = await stream(page, box);
    console.log(`  60 Hz stream of ${s.moves} moves over 2 s: ${s.paints} pictures shown, ` +
      `last picture ${s.lag.toFixed(1)} ms after the last move`);
  } finally {
    await context.close();
    child.kill('SIGTERM');
    fs.rmSync(tmp, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
