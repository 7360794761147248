// The editor's latency as a person feels it: `patchhost serve` on a
// generated 10-minute sound, the page in headless Chromium, and the time
// from an input event (its timeStamp) to the new picture drawn into the
// box's canvas.  Prints the median and 95th percentile of selection and
// Move drag steps, the time of a zoom, a colour scheme and a dB range
// change, and how the page keeps up with a 60 Hz stream of pointer moves.
//
// With --reference DIR it measures another build too (DIR holds its
// patchhost, and its libmaxhost.so and externals/ folder if they are
// there: copy them from that build's folder), the two one after the other
// in alternating rounds (--rounds N, default 2), and prints the ratio of
// each median and 95th percentile to the reference's from the same run.
//
// Environment (set by build/bench/bench-editor): PATCHHOST,
// PLAYWRIGHT_CORE, CHROMIUM.  Arguments: [--minutes N] (default 10),
// [--reference DIR], [--rounds N].
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(import.meta.url);
const { chromium } = require(process.env.PLAYWRIGHT_CORE);
const STEPS = 60;

function options(argv) {
  const o = { minutes: 10, reference: null, rounds: 2 };
  for (let i = 0; i < argv.length; i++) {
    const value = argv[i + 1];
    if (argv[i] === '--minutes' && value) o.minutes = Number(argv[++i]);
    else if (argv[i] === '--reference' && value) o.reference = argv[++i];
    else if (argv[i] === '--rounds' && value) o.rounds = Number(argv[++i]);
    else if (/^\d+(\.\d+)?$/.test(argv[i])) o.minutes = Number(argv[i]);
    else throw new Error('usage: bench-editor [--minutes N] [--reference DIR] [--rounds N]');
  }
  if (!(o.minutes > 0) || !(o.rounds >= 1)) throw new Error('minutes and rounds must be positive');
  return o;
}

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

// The build to measure: our own, or a reference folder.
function build(dir) {
  if (!dir) return { name: 'this build', exe: process.env.PATCHHOST, args: [], env: process.env };
  const exe = path.join(dir, 'patchhost');
  if (!fs.existsSync(exe)) throw new Error(`no patchhost in ${dir}`);
  const ext = path.join(dir, 'externals');
  return {
    name: 'reference', exe, args: fs.existsSync(ext) ? ['--path', ext] : [],
    env: { ...process.env, LD_LIBRARY_PATH: [dir, process.env.LD_LIBRARY_PATH].filter(Boolean).join(':') },
  };
}

function startServer(b, file) {
  const child = spawn(b.exe, ['serve', file, '--port', '0', ...b.args], { stdio: ['ignore', 'pipe', 'pipe'], env: b.env });
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

// A drag from `from` (a fraction of the width) in STEPS steps of 4 points
// along x (times `dir`) and dy points along y; the time of each step.
async function dragSteps(page, box, from, dy, dir = 1) {
  const times = [];
  const x0 = box.x + box.width * from, y = box.y + box.height * 0.5;
  await page.mouse.move(x0, y);
  await page.mouse.down();
  for (let i = 1; i <= STEPS; i++)
    times.push(await timed(page, () => page.mouse.move(x0 + dir * i * 4, y + dy * i)));
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
  return { times };
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
    page.mouse.move(x0 + (n % 120) * 3, y - 20 - (n % 40)); // a band with a height: a picture that changes
    await new Promise((r) => setTimeout(r, 1000 / 60));
  }
  await page.mouse.move(x0 + 400, y + 50);
  const last = await page.evaluate(() => window.benchLog.inputs[window.benchLog.inputs.length - 1]);
  await page.evaluate(() => window.patchhostIdle());
  await page.evaluate(() => new Promise((res) => setTimeout(res, 300)));
  const paints = await page.evaluate(() => window.benchLog.paints);
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
  return { moves: n + 1, paints: paints.length, lag: paints.length ? paints[paints.length - 1] - last : NaN };
}

// One round on one build: every measurement, as lists of milliseconds.
async function measure(b, file, profile) {
  let t = Date.now();
  const { child, url } = await startServer(b, file);
  const out = { ready: Date.now() - t };
  const context = await chromium.launchPersistentContext(profile, {
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
    out.first = Date.now() - t;
    const canvas = page.locator('.box[data-class="spectrogram~"] canvas').first();
    const box = await canvas.boundingBox();
    out.view = `${Math.round(box.width)} x ${Math.round(box.height)}`;
    await page.keyboard.press('s');
    out.selection = (await dragSteps(page, box, 0.2, 0.5)).times;
    // Zoomed in, so that a Move drag to the left pans the view every step.
    await timed(page, () => page.keyboard.press('+'));
    await page.keyboard.press('m');
    out.move = (await dragSteps(page, box, 0.8, 0, -1)).times;
    await page.keyboard.press('0');
    out.zoom = [];
    for (let i = 0; i < 6; i++) out.zoom.push(await timed(page, () => page.keyboard.press(i % 2 ? '-' : '+')));
    const ref = await canvas.evaluate((c) => c.closest('.box').dataset.ref);
    const attr = (name, value) => () => page.evaluate(([r, n, v]) => fetch('/api/attr', { method: 'POST',
      headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ box: r, name: n, value: v }) }),
    [ref, name, value]);
    out.scheme = [];
    out.range = [];
    for (let i = 0; i < 6; i++) {
      out.scheme.push(await timed(page, attr('color_scheme', [i % 2 ? 0 : 1]), false));
      out.range.push(await timed(page, attr('mag_min', [i % 2 ? -90 : -70]), false));
    }
    // No selection: the stream's press starts a rubber band.
    await page.keyboard.press('s');
    await timed(page, () => page.keyboard.press('Escape'));
    out.stream = await stream(page, box);
  } finally {
    await context.close();
    child.kill('SIGTERM');
  }
  return out;
}

const ROWS = [['selection', 'selection drag step'], ['move', 'Move drag step'], ['zoom', 'zoom (+/- key)'],
  ['scheme', 'colour scheme'], ['range', 'dB range (mag_min)']];

function report(name, runs) {
  console.log(`  ${name}: server ready after ${runs.map((r) => (r.ready / 1000).toFixed(1)).join(', ')} s, ` +
    `first picture after ${runs.map((r) => r.first).join(', ')} ms, view ${runs[0].view} points`);
  for (const [key, label] of ROWS) console.log(`    ${(label + ':').padEnd(21)}${fmt(runs.flatMap((r) => r[key]))}`);
  for (const r of runs)
    console.log(`    60 Hz stream of ${r.stream.moves} moves over 2 s: ${r.stream.paints} pictures shown, ` +
      `last picture ${r.stream.lag.toFixed(1)} ms after the last move`);
}

async function main() {
  const o = options(process.argv.slice(2));
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'bench-editor-'));
  const file = path.join(tmp, 'long.wav');
  writeSound(file, o.minutes * 60);
  const builds = [build(null), ...(o.reference ? [build(o.reference)] : [])];
  console.log(`editor bench: ${o.minutes}-minute mono sound at 44.1 kHz, page in headless Chromium 1132 x 800` +
    (o.reference ? `, ${o.rounds} alternating rounds against the reference ${o.reference}` : ''));
  const runs = builds.map(() => []);
  try {
    for (let round = 0; round < (o.reference ? o.rounds : 1); round++)
      for (let i = 0; i < builds.length; i++) {
        // Alternate which goes first, so that neither always meets the same load.
        const k = round % 2 ? builds.length - 1 - i : i;
        runs[k].push(await measure(builds[k], file, path.join(tmp, `profile-${round}-${k}`)));
      }
  } finally {
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  builds.forEach((b, i) => report(b.name, runs[i]));
  if (!o.reference) return;
  console.log('  ratio this build / reference (median, p95):');
  for (const [key, label] of ROWS) {
    const a = runs[0].flatMap((r) => r[key]), b = runs[1].flatMap((r) => r[key]);
    console.log(`    ${(label + ':').padEnd(21)}${(pct(a, 50) / pct(b, 50)).toFixed(2)}, ${(pct(a, 95) / pct(b, 95)).toFixed(2)}`);
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
