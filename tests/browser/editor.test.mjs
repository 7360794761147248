// The editor in a real browser: `patchhost serve` on the demo patch (with a
// freshly made demo sound), driven through Debian's Chromium by
// playwright-core.  Each test acts as a person would (mouse, menus,
// dialogs, inspector, toolbar) and checks what the host did, through the
// page and through the server's JSON endpoints.
//
// Environment (set by CMake): PATCHHOST, MAKE_DEMO_SOUND, DEMO_PATCH,
// PLAYWRIGHT_CORE, CHROMIUM.
import { test as nodeTest, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

const env = (name) => {
  const v = process.env[name];
  if (!v) throw new Error(`${name} is not set (run this test through ctest)`);
  return v;
};
const require = createRequire(import.meta.url);
const { chromium } = require(env('PLAYWRIGHT_CORE'));

let tmp, server, serverExit, base, context, page;

// Every test ends within a minute, so that a hang fails here and not at
// ctest's limit.
const test = (name, fn) => nodeTest(name, { timeout: 60000 }, fn);

// ---------------------------------------------------------------- harness

function startServer(patch) {
  const child = spawn(env('PATCHHOST'), ['serve', patch, '--port', '0'], { stdio: ['ignore', 'pipe', 'pipe'] });
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  serverExit = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal, err })));
  return new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('the server did not start:\n' + err)), 20000);
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (m) {
        clearTimeout(timer);
        resolve({ child, url: m[1] });
      }
    });
    child.on('exit', () => reject(new Error('the server exited:\n' + err)));
  });
}

// The session cookie a page receives with the editor's page, as a Cookie header.
async function sessionCookie(url) {
  const res = await fetch(url, { signal: AbortSignal.timeout(15000) });
  await res.arrayBuffer();
  return (res.headers.get('set-cookie') || '').split(';')[0];
}

// What the editor's page sends: its cookie, and JSON bodies as JSON.
function pageRequest(cookie, opts = {}) {
  const headers = { cookie, ...(opts.headers || {}) };
  if (typeof opts.body === 'string' && !headers['content-type']) headers['content-type'] = 'application/json';
  return { ...opts, headers, signal: AbortSignal.timeout(15000) };
}

let cookie = '';

async function api(p, opts = {}) {
  const res = await fetch(base + p.replace(/^\//, ''), pageRequest(cookie, opts));
  const type = res.headers.get('content-type') || '';
  return { status: res.status, body: type.includes('json') ? await res.json() : Buffer.from(await res.arrayBuffer()) };
}

async function until(what, fn, ms = 10000) {
  const end = Date.now() + ms;
  let last;
  while (Date.now() < end) {
    last = await fn();
    if (last) return last;
    await new Promise((r) => setTimeout(r, 50));
  }
  assert.fail(`timed out waiting for ${what} (last: ${JSON.stringify(last)})`);
}

const hashes = async () => (await api('/api/buffers')).body[0].hash;
const pictureVersion = (ref) => page.evaluate((r) => {
  const c = document.querySelector(`.box[data-ref="${r}"] canvas`);
  return c ? Number(c.dataset.version) : 0;
}, ref);
const picture = async (ref) => (await api('/api/picture/' + ref)).body;
const attr = async (ref, name) => (await api('/api/attrs/' + ref)).body.attrs.find((a) => a.name === name).value;

// How many pixels of the box's canvas differ from the host's latest picture
// (its PNG, decoded by the page).
const canvasDiffersFromHost = (ref) => page.evaluate(async (r) => {
  const png = await (await fetch('/api/picture/' + r)).blob();
  const bitmap = await createImageBitmap(png, { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
  const c = document.querySelector(`.box[data-ref="${r}"] canvas`);
  if (bitmap.width !== c.width || bitmap.height !== c.height) return -1;
  const host = new OffscreenCanvas(c.width, c.height).getContext('2d');
  host.drawImage(bitmap, 0, 0);
  const a = host.getImageData(0, 0, c.width, c.height).data;
  const b = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let n = 0;
  for (let i = 0; i < a.length; i += 4)
    if (Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]) + Math.abs(a[i + 3] - b[i + 3]) > 8) n++;
  return n;
}, ref);

async function outlets(ref) {
  const d = (await api('/api/poll?since=0&page=test')).body;
  return d.outlets[ref] || {};
}

async function box(ref) {
  return page.locator(`.box[data-ref="${ref}"] canvas`).boundingBox();
}

// A press, a drag in steps and a release, as a person does it.
async function drag(ref, from, to, steps = 10) {
  const b = await box(ref);
  await page.mouse.move(b.x + from[0], b.y + from[1]);
  await page.mouse.down();
  for (let i = 1; i <= steps; i++)
    await page.mouse.move(b.x + from[0] + ((to[0] - from[0]) * i) / steps, b.y + from[1] + ((to[1] - from[1]) * i) / steps);
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
}

// A right-click; resolves when the menu shows, with the promise of the
// press's answer (which comes once the menu has been answered).
async function contextMenu(ref, x, y) {
  const b = await box(ref);
  const press = page.waitForResponse((r) => r.url().endsWith('/api/mouse') && r.request().postDataJSON().kind === 'down');
  await page.mouse.click(b.x + x, b.y + y, { button: 'right' });
  await page.locator('#menu').waitFor();
  return { press };
}

async function chooseMenu(text) {
  await page.locator('#menu .item:not(.disabled)', { hasText: text }).first().click();
}

// A mono 16-bit WAV of a 1 kHz tone at 44.1 kHz, `n` frames long.
function writeTone(file, n) {
  const b = Buffer.alloc(44 + n * 2);
  b.write('RIFF', 0); b.writeUInt32LE(36 + n * 2, 4); b.write('WAVEfmt ', 8); b.writeUInt32LE(16, 16);
  b.writeUInt16LE(1, 20); b.writeUInt16LE(1, 22); b.writeUInt32LE(44100, 24); b.writeUInt32LE(88200, 28);
  b.writeUInt16LE(2, 32); b.writeUInt16LE(16, 34); b.write('data', 36); b.writeUInt32LE(n * 2, 40);
  for (let i = 0; i < n; i++) b.writeInt16LE(Math.round(12000 * Math.sin((2 * Math.PI * 1000 * i) / 44100)), 44 + i * 2);
  fs.writeFileSync(file, b);
  return file;
}

// ---------------------------------------------------------------- set-up

before(async () => {
  tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'patchhost-browser-'));
  execFileSync(env('MAKE_DEMO_SOUND'), [path.join(tmp, 'demo.wav')]);
  fs.copyFileSync(env('DEMO_PATCH'), path.join(tmp, 'demo.maxpat'));
  const s = await startServer(path.join(tmp, 'demo.maxpat'));
  server = s.child;
  base = s.url;
  cookie = await sessionCookie(base);
  context = await chromium.launchPersistentContext(path.join(tmp, 'profile'), {
    executablePath: env('CHROMIUM'),
    headless: true,
    viewport: { width: 1280, height: 800 },
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-proxy-server',
      '--autoplay-policy=no-user-gesture-required'],
  });
});

after(async () => {
  if (context) await context.close();
  if (server && server.exitCode === null) {
    server.kill('SIGTERM');
    const exit = await Promise.race([serverExit, new Promise((r) => setTimeout(() => r(null), 10000))]);
    if (!exit) server.kill('SIGKILL');
    assert.ok(exit && exit.code === 0, 'the server stops cleanly on SIGTERM: ' + JSON.stringify(exit));
  }
  fs.rmSync(tmp, { recursive: true, force: true });
});

// ---------------------------------------------------------------- tests

test('a menu with no page to show it is cancelled at once', async () => {
  const t0 = Date.now();
  const r = await api('/api/mouse', { method: 'POST', body: JSON.stringify({ box: 'left', kind: 'down', x: 50, y: 50, button: 2 }) });
  await api('/api/mouse', { method: 'POST', body: JSON.stringify({ box: 'left', kind: 'up', x: 50, y: 50, button: 2 }) });
  assert.equal(r.status, 200);
  assert.ok(Date.now() - t0 < 5000);
});

test('the page shows the boxes as the host paints them', async () => {
  page = await context.newPage();
  page.setDefaultTimeout(10000);
  page.on('pageerror', (e) => console.log('page error:', e.message));
  // DEBUG_MOUSE=1 prints the page's mouse events and API answers.
  if (process.env.DEBUG_MOUSE) {
    page.on('request', (r) => { if (r.url().includes('/api/mouse')) console.log('mouse', r.postData()); });
    page.on('response', async (r) => { if (r.url().includes('/api/')) console.log('answer', r.url(), r.status()); });
  }
  await page.goto(base);
  for (const ref of ['obj-2', 'obj-3', 'obj-4'])
    await until(`a picture of ${ref}`, async () => (await pictureVersion(ref)) > 0);
  const size = await page.$eval('.box[data-ref="obj-2"] canvas', (c) => [c.width, c.height]);
  assert.deepEqual(size, [640, 240]);
  assert.match(await page.locator('.box[data-ref="obj-1"]').innerText(), /buffer~ demo demo\.wav/);
  assert.match(await page.locator('.box[data-ref="obj-1"]').innerText(), /2 ch/);
  // The inspector opens on the first view, by category.
  assert.deepEqual(await page.locator('#inspector h3.cat').allInnerTexts(), ['Box', 'Behavior', 'Display', 'Color']);
});

test('a rubber band shows the selection on the outlets, in both linked views', async () => {
  await drag('obj-2', [100, 50], [220, 130]);
  await page.locator('.tab[data-tab="outlets"]').click();
  const cell = (n) => page.locator(`#outlets td.val[data-box="obj-2"][data-outlet="${n}"]`).innerText();
  await until('the selection on the outlets', async () => Number(await cell(5)) > Number(await cell(4)));
  const start = Number(await cell(4)), end = Number(await cell(5));
  assert.ok(start > 500 && start < 2000 && end > start + 500, `selection ${start}..${end} ms`);
  assert.ok(Number(await cell(7)) > Number(await cell(6)));
  const right = await until('the linked view', async () => {
    const o = await outlets('obj-3');
    return o[5] && o[5].args[0] === end ? o : null;
  });
  assert.equal(right[4].args[0], start);
  assert.match(await page.locator('#readout').innerText(), /Selection\s+\d\.\d{3} s – \d\.\d{3} s/);
  // The stream sent only what changed, step by step: put together, the
  // page's pictures are the host's.
  for (const ref of ['obj-2', 'obj-3'])
    await until(`the page's picture of ${ref} equal to the host's`, async () => (await canvasDiffersFromHost(ref)) === 0);
});

test('"Gain Selection..." with -12 0 changes the buffer and its undo gives it back', async () => {
  const [h0, h1] = await hashes();
  const { press } = await contextMenu('obj-2', 150, 80);
  await chooseMenu('Gain Selection...');
  const dialog = page.locator('#dialog');
  await dialog.waitFor();
  assert.match(await dialog.innerText(), /gain in dB/);
  assert.equal(await dialog.locator('input').inputValue(), '0 0');
  await dialog.locator('input').fill('-12 0');
  await dialog.locator('input').press('Enter');
  const gained = await until('the gain in the buffer', async () => {
    const h = await hashes();
    return h[0] !== h0 ? h : null;
  });
  assert.equal(gained[1], h1, 'the other channel is untouched');
  const mods = (await (await press).json()).modifiers;
  assert.equal(mods & 0x80, 0x80, 'the context-menu flag');
  assert.equal(mods & 32, 32, 'the right button');

  await contextMenu('obj-2', 150, 80);
  assert.equal(await page.locator('#menu .item').first().innerText(), 'Undo Gain Selection');
  await chooseMenu('Undo Gain Selection');
  await until('the undo', async () => (await hashes())[0] === h0);
  assert.equal(await page.locator('#menu').count(), 0, 'the menu is gone');

  // The same through the keyboard: redo, then undo.
  await page.locator('#canvas-wrap').click({ position: { x: 5, y: 5 } });
  await page.keyboard.press('Control+Shift+Z');
  await until('the redo', async () => (await hashes())[0] === gained[0]);
  await page.keyboard.press('Control+Z');
  await until('the undo', async () => (await hashes())[0] === h0);
});

test('a Control-click also opens the menu; Escape dismisses it', async () => {
  const b = await box('obj-2');
  const sent = page.waitForResponse((r) => r.url().endsWith('/api/mouse') && r.request().postDataJSON().kind === 'down');
  await page.keyboard.down('Control');
  await page.mouse.click(b.x + 300, b.y + 60);
  await page.keyboard.up('Control');
  await page.locator('#menu').waitFor();
  await page.keyboard.press('Escape');
  await until('the menu to close', async () => (await page.locator('#menu').count()) === 0);
  const mods = (await (await sent).json()).modifiers;
  assert.equal(mods & (0x80 | 4 | 16), 0x80 | 4 | 16, 'context flag, Control, left button');
  const poll = (await api('/api/poll?since=0&page=test')).body;
  assert.equal(poll.ui, null);
});

test('Draw mode from the toolbar; a drawn shape appears in the picture', async () => {
  await page.locator('#mode-group button[data-mode="2"]').click();
  await until('Draw mode in both views', async () =>
    (await attr('obj-2', 'mouse_mode'))[0] === 2 && (await attr('obj-3', 'mouse_mode'))[0] === 2);
  await until('the Draw button on', async () => /Draw/.test(await page.locator('#mode-group button.on').innerText()));
  const before = await picture('obj-2');
  const v0 = await pictureVersion('obj-2');
  const b = await box('obj-2');
  await page.mouse.move(b.x + 400, b.y + 60);
  await page.mouse.down();
  for (const [x, y] of [[480, 70], [500, 140], [430, 170], [390, 120]]) await page.mouse.move(b.x + x, b.y + y, { steps: 4 });
  await page.mouse.up();
  await page.evaluate(() => window.patchhostIdle());
  await until('a new picture', async () => (await pictureVersion('obj-2')) > v0);
  assert.notDeepEqual(await picture('obj-2'), before, 'the shape is drawn');
  await page.keyboard.press('s');
  await until('Select mode', async () => (await attr('obj-2', 'mouse_mode'))[0] === 0);
});

test('a colour scheme chosen in the inspector repaints the view and the bar', async () => {
  await page.locator('#inspector-box').selectOption('obj-2');
  const select = page.locator('#inspector .attr[data-attr="color_scheme"] select');
  await select.waitFor();
  const view = await picture('obj-2'), bar = await picture('obj-4');
  const v2 = await pictureVersion('obj-2'), v4 = await pictureVersion('obj-4');
  await select.selectOption('3');
  await until('both repainted', async () => (await pictureVersion('obj-2')) > v2 && (await pictureVersion('obj-4')) > v4);
  assert.deepEqual(await attr('obj-2', 'color_scheme'), [3]);
  assert.notDeepEqual(await picture('obj-2'), view);
  assert.notDeepEqual(await picture('obj-4'), bar);
  // A value the attribute clamps comes back clamped into the field.
  const min = page.locator('#inspector .attr[data-attr="mag_min"] input');
  await min.fill('-500');
  await min.press('Enter');
  await until('the clamped value', async () => (await min.inputValue()) === '-120');
});

test('zooming one linked view moves the other', async () => {
  const length = async (ref) => (await outlets(ref))[1].args[0];
  const before = await length('obj-3');
  await page.locator('#inspector-box').selectOption('obj-2');
  await page.locator('#zoom-in').click();
  const after = await until('the other view zoomed', async () => {
    const l = await length('obj-3');
    return l < before ? l : null;
  });
  assert.equal(after, await length('obj-2'));
  await page.locator('#view-all').click();
  await until('both views whole again', async () => (await length('obj-3')) === before);
});

test('Export PNG asks for a file name and offers the written file', async () => {
  const download = page.waitForEvent('download');
  await page.locator('#export-png').click();
  const dialog = page.locator('#dialog');
  await dialog.waitFor();
  assert.equal(await dialog.locator('input').inputValue(), 'spectrogram.png');
  await dialog.locator('input').fill('left view.png');
  await dialog.locator('button.primary').click();
  const d = await download;
  assert.equal(d.suggestedFilename(), 'left view.png');
  const bytes = fs.readFileSync(await d.path());
  assert.deepEqual([...bytes.subarray(0, 8)], [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  assert.equal(bytes.readUInt32BE(16), 640); // the box's size
  assert.equal(bytes.readUInt32BE(20), 240);
});

test('play serves the selection span; Save WAV downloads the buffer', async () => {
  const o = await outlets('obj-2');
  const span = o[5].args[0] - o[4].args[0];
  const wav = page.waitForResponse((r) => r.url().includes('/api/sound.wav'));
  await page.locator('#play-sel').click();
  const res = await wav;
  assert.equal(res.status(), 200);
  assert.equal(res.headers()['content-type'], 'audio/wav');
  assert.match(res.url(), /box=obj-2&span=selection/);
  const body = (await api('/api/sound.wav?box=obj-2&span=selection')).body;
  assert.equal(body.toString('ascii', 0, 4), 'RIFF');
  assert.equal(body.readUInt16LE(22), 2);
  const frames = body.readUInt32LE(40) / 4;
  assert.ok(Math.abs(frames - (span * 48000) / 1000) <= 2, `${frames} frames for ${span} ms`);
  await page.locator('#stop').click();

  const download = page.waitForEvent('download');
  await page.locator('#save-sound').click();
  const d = await download;
  assert.equal(d.suggestedFilename(), 'demo.wav');
  const saved = fs.readFileSync(await d.path());
  assert.equal(saved.toString('ascii', 0, 4), 'RIFF');
  assert.ok(saved.length > 384000 * 2 * 2, 'the whole buffer');
});

test('the wheel zooms about the pointer and pans with Shift; hovering shows the mouse data', async () => {
  await page.keyboard.press('0');
  await until('the whole sound', async () => (await outlets('obj-2'))[1].args[0] === 8000);
  const b = await box('obj-2');
  await page.mouse.move(b.x + 160, b.y + 120); // a quarter of the way in: 2 s
  await page.mouse.wheel(0, -100);
  await page.evaluate(() => window.patchhostIdle());
  const v = await until('a narrower view', async () => { const o = await outlets('obj-2'); return o[1].args[0] < 8000 && o; });
  const [start, length] = [v[0].args[0], v[1].args[0]];
  assert.ok(Math.abs(start + length / 4 - 2000) < 20, `2 s stays under the pointer: ${start} + ${length}`);
  await page.keyboard.down('Shift');
  await page.mouse.wheel(0, 100);
  await page.keyboard.up('Shift');
  await page.evaluate(() => window.patchhostIdle());
  await until('a later view of the same length', async () => {
    const o = await outlets('obj-2');
    return o[0].args[0] > start + 1 && Math.abs(o[1].args[0] - length) < 1;
  });
  // Hover: the readout follows the pointer without a press.
  await page.mouse.move(b.x + 320, b.y + 60);
  await page.mouse.move(b.x + 330, b.y + 60);
  const first = await until('the mouse data', async () => (await outlets('obj-2'))[9]);
  await page.mouse.move(b.x + 500, b.y + 60);
  await until('the mouse data moving on', async () => (await outlets('obj-2'))[9].args[0] > first.args[0]);
  await until('the readout', async () => /Mouse/.test(await page.locator('#readout').innerText()));
  await page.keyboard.press('0');
});

test('a double-click selects the whole sound in Select mode and shows all of it in Move mode', async () => {
  await page.keyboard.press('s');
  await drag('obj-2', [200, 60], [330, 170]);
  await until('a selection', async () => (await outlets('obj-2'))[5].args[0] > 0);
  const b = await box('obj-2');
  await page.mouse.dblclick(b.x + 400, b.y + 100);
  await page.evaluate(() => window.patchhostIdle());
  const all = await until('everything selected', async () => {
    const o = await outlets('obj-2');
    return o[4].args[0] === 0 && o[5].args[0] === 8000 && o[6].args[0] === 0 && o;
  });
  assert.equal(all[7].args[0], all[3].args[0], 'up to the top of the frequency range');
  await page.keyboard.press('+');
  await until('a zoomed view', async () => (await outlets('obj-2'))[1].args[0] < 8000);
  await page.keyboard.press('m');
  await page.mouse.dblclick(b.x + 300, b.y + 100);
  await page.evaluate(() => window.patchhostIdle());
  await until('the whole sound shown', async () => {
    const o = await outlets('obj-2');
    return o[0].args[0] === 0 && o[1].args[0] === 8000 && o[5].args[0] === 8000;
  });
  await page.keyboard.press('s');
  await page.keyboard.press('Escape');
});

test('keys: Z zooms to the selection, Delete deletes its sound (undoable), Escape clears it; ? lists them', async () => {
  await page.keyboard.press('s');
  await drag('obj-2', [200, 60], [330, 170]);
  const o = await until('a selection', async () => { const x = await outlets('obj-2'); return x[5].args[0] > x[4].args[0] && x; });
  const [s0, s1] = [o[4].args[0], o[5].args[0]];
  await page.keyboard.press('z');
  await until('the view on the selection', async () => {
    const x = await outlets('obj-2');
    return Math.abs(x[0].args[0] - s0) < 1 && Math.abs(x[0].args[0] + x[1].args[0] - s1) < 1;
  });
  const h0 = await hashes();
  await page.keyboard.press('Delete');
  await until('the deletion', async () => (await hashes())[0] !== h0[0]);
  await page.keyboard.press('Control+Z');
  await until('the undo', async () => (await hashes())[0] === h0[0]);
  await page.keyboard.press('Escape');
  await until('no selection', async () => { const x = await outlets('obj-2'); return x[5].args[0] <= x[4].args[0]; });
  await page.keyboard.press('0');
  await page.keyboard.press('?');
  const help = await page.locator('#help').innerText();
  for (const k of ['Delete', 'Esc', 'Z', 'Space', 'Ctrl']) assert.ok(help.includes(k), `the help names ${k}`);
  await page.keyboard.press('Escape');
  await until('the help closed', async () => !(await page.locator('#help').isVisible()));
});

test('a box resized from its corner is resized in the host and painted at its new size', async () => {
  const grip = await page.locator('.box[data-ref="obj-3"] .grip').boundingBox();
  await page.mouse.move(grip.x + 6, grip.y + 6);
  await page.mouse.down();
  await page.mouse.move(grip.x + 106, grip.y + 46, { steps: 4 });
  await page.mouse.up();
  const rect = await until('the new size in the host', async () => {
    const b = (await api('/api/patch')).body.boxes.find((x) => x.ref === 'obj-3');
    return b.rect[2] === 740 && b.rect;
  });
  assert.equal(rect[3], 280);
  await until('the picture at its new size', async () => (await page.$eval('.box[data-ref="obj-3"] canvas',
    (c) => c.width === 740 && c.height === 280)));
  await api('/api/resize', { method: 'POST', body: JSON.stringify({ box: 'obj-3', width: 640, height: 240 }) });
});

test('opening a sound file reads it into the buffer~ and the views follow', async () => {
  const n = 44100, file = writeTone(path.join(tmp, 'tone.wav'), n);
  const v = await pictureVersion('obj-2');
  await page.locator('#open-file').setInputFiles(file);
  await until('the new sound in the buffer~', async () => {
    const buf = (await api('/api/buffers')).body[0];
    return buf.frames === n && buf.channels === 1 && buf.sr === 44100;
  });
  await until('the view repainted', async () => (await pictureVersion('obj-2')) > v);
  await until('the view showing one second', async () => (await outlets('obj-2'))[1].args[0] === 1000);
  await until('the box label', async () => /1 ch · 1\.00 s/.test(await page.locator('.box[data-ref="obj-1"]').innerText()));
  // The sound's own name, and a history of its own: what was done to the
  // previous sound cannot be undone into this one.
  assert.match(await page.locator('.box[data-ref="obj-1"]').innerText(), /buffer~ demo tone\.wav/);
  assert.equal(await page.locator('#patch-name').innerText(), 'tone.wav');
  assert.match(await page.title(), /^tone\.wav/);
  await contextMenu('obj-2', 150, 80);
  assert.deepEqual(await page.locator('#menu .item').first().evaluate((e) => [e.innerText, e.classList.contains('disabled')]),
    ['Undo', true]);
  await page.keyboard.press('Escape');
  await until('the menu to close', async () => (await page.locator('#menu').count()) === 0);
  // A file that is not a sound is refused by its own name.
  const junk = path.join(tmp, 'notes.wav');
  fs.writeFileSync(junk, 'not a sound');
  await page.locator('#open-file').setInputFiles(junk);
  const toastLine = page.locator('.toast.error', { hasText: 'notes.wav' });
  await toastLine.waitFor();
  const t = await toastLine.innerText();
  assert.ok(!t.includes(os.tmpdir()), 'no server path in: ' + t);
});

test('closing the page cancels the menu it was showing', async () => {
  await page.close();
  const p2 = await context.newPage();
  await p2.goto(base);
  await p2.locator('.box[data-ref="obj-2"] canvas[data-version]').waitFor();
  const b = await p2.locator('.box[data-ref="obj-2"] canvas').boundingBox();
  await p2.mouse.click(b.x + 100, b.y + 100, { button: 'right' });
  await p2.locator('#menu').waitFor();
  await p2.close();
  // Until the menu is cancelled the host is busy with it; then it answers.
  const t0 = Date.now();
  await until('the host to be free', async () => (await api('/api/buffers')).status === 200, 20000);
  assert.ok(Date.now() - t0 < 12000);
  assert.equal((await api('/api/poll?since=0&page=test')).body.ui, null);
});

test('a sound file on the command line opens in the demo layout; an unanswered menu times out', async () => {
  const file = writeTone(path.join(tmp, 'short tone.wav'), 22050);
  const child = spawn(env('PATCHHOST'), ['serve', file, '--port', '0', '--dialog-timeout', '1'], { stdio: ['ignore', 'pipe', 'ignore'] });
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  try {
    const url = await new Promise((resolve, reject) => {
      let out = '';
      child.stdout.on('data', (d) => {
        out += d;
        const m = out.match(/short tone\.wav at (http:\/\/127\.0\.0\.1:\d+\/)/);
        if (m) resolve(m[1]);
      });
      child.on('exit', () => reject(new Error('the second server exited')));
    });
    const own = await sessionCookie(url);
    const get = async (p, opts) => (await fetch(url + p, pageRequest(own, opts))).json();
    const patch = await get('api/patch');
    assert.deepEqual(patch.boxes.map((b) => b.class), ['buffer~', 'spectrogram~', 'gradix']);
    assert.deepEqual(patch.lines, [{ from: 'obj-9', outlet: 0, to: 'obj-2', inlet: 0 }]);
    const [buf] = await get('api/buffers');
    assert.deepEqual([buf.frames, buf.channels, buf.sr], [22050, 1, 44100]);
    // A page that keeps polling but never answers: the menu is cancelled
    // after the dialog timeout, and the host goes on.
    let polling = true;
    const poller = (async () => { while (polling) await get('api/poll?since=0&page=idle'); })();
    await new Promise((r) => setTimeout(r, 200));
    const t0 = Date.now();
    const down = await get('api/mouse', { method: 'POST', body: JSON.stringify({ box: 'view', kind: 'down', x: 20, y: 20, button: 2 }) });
    const waited = Date.now() - t0;
    polling = false;
    await poller;
    assert.equal(down.modifiers & 0x80, 0x80);
    assert.ok(waited >= 900 && waited < 5000, `the menu waited ${waited} ms`);
  } finally {
    child.kill('SIGTERM');
  }
  assert.equal(await exited, 0);
});

test('Requests that are not the page\'s own are refused; files stay in the editor\'s folder', async () => {
  const port = new URL(base).port;
  const send = (message, args) => JSON.stringify({ box: 'obj-2', message, args });
  const target = path.join(tmp, 'forged.png');
  // Another site's page: a text/plain POST (no preflight), with or without
  // the cookie (a SameSite=Strict cookie does not go with it), from its origin.
  const forged = [
    { headers: { 'content-type': 'text/plain' }, cookie },
    { headers: { origin: 'http://evil.example' }, cookie },
    { headers: {}, cookie: '' },
    { headers: { host: `evil.example:${port}` }, cookie }, // DNS rebinding
    { headers: { host: `127.0.0.1:${Number(port) + 1}` }, cookie },
  ];
  // Node's http module sends the Host header it is given (fetch does not).
  const post = (headers, body) => new Promise((resolve, reject) => {
    const req = http.request(base + 'api/send', { method: 'POST', headers }, (res) => {
      let text = '';
      res.on('data', (d) => { text += d; });
      res.on('end', () => resolve({ status: res.statusCode, body: JSON.parse(text) }));
    });
    req.on('error', reject);
    req.end(body);
  });
  for (const f of forged) {
    const headers = { 'content-type': 'application/json', ...(f.cookie ? { cookie: f.cookie } : {}), ...f.headers };
    const res = await post(headers, send('write', [target]));
    assert.ok(res.status === 403 || res.status === 415, `${JSON.stringify(f.headers)} answered ${res.status}`);
    assert.ok(res.body.error);
  }
  // Nesting that would exhaust a recursive parser is refused outright.
  const deep = '{"box":"obj-2","message":"list","args":' + '['.repeat(200000) + ']'.repeat(200000) + '}';
  assert.equal((await api('/api/send', { method: 'POST', body: deep })).status, 413);
  assert.ok(!fs.existsSync(target));
  // The page's own write names a path outside: the file is written into the
  // editor's folder and offered as a download.
  const since = (await api('/api/poll?since=0&page=test')).body.seq;
  assert.deepEqual((await api('/api/send', { method: 'POST', body: send('write', [target]) })).body, { ok: true });
  assert.ok(!fs.existsSync(target), 'the write left the editor\'s folder');
  const events = (await api(`/api/poll?since=${since - 1}&page=test`)).body.events || [];
  const offered = events.find((e) => e.type === 'download' && e.name === 'forged.png');
  assert.ok(offered, JSON.stringify(events));
  const png = await api(offered.url.replace(/^\//, ''));
  assert.equal(png.status, 200);
  assert.equal(png.body.subarray(1, 4).toString(), 'PNG');
});

test('a stream opened again sends only the console lines after the seq the page had, and every picture whole', async () => {
  // The first frame of a stream: its JSON and the sizes of its pictures.
  const firstFrame = async (since) => {
    const ctl = new AbortController();
    const res = await fetch(base + `api/stream?page=again&since=${since}`, { headers: { cookie }, signal: ctl.signal });
    const reader = res.body.getReader();
    let buf = Buffer.alloc(0);
    for (;;) {
      const { value } = await reader.read();
      buf = Buffer.concat([buf, value]);
      if (buf.length >= 8 && buf.length >= 8 + buf.readUInt32LE(0)) break;
    }
    ctl.abort();
    return JSON.parse(buf.subarray(8, 8 + buf.readUInt32LE(0)).toString());
  };
  const seq = (await api('/api/poll?since=0&page=test')).body.seq;
  const all = await firstFrame(0), later = await firstFrame(seq);
  assert.ok(all.events.some((e) => e.type === 'console'), 'from the start: the console lines so far');
  assert.deepEqual(later.events, [], 'from the page\'s seq: none of them again');
  for (const f of [all, later]) {
    const p = f.pictures['obj-2'];
    assert.deepEqual(p.rects, [[0, 0, p.width, p.height]], 'a new stream sends the picture whole');
  }
});

test('Idle connections do not hold up the page\'s requests', async () => {
  const { port } = new URL(base);
  const net = await import('node:net');
  const idle = await Promise.all(Array.from({ length: 60 }, () => new Promise((resolve) => {
    const s = net.connect(Number(port), '127.0.0.1', () => resolve(s));
  })));
  try {
    // Each idle socket holds a server thread until its read timeout (2 s):
    // with too few threads the request below would wait for them.
    const t0 = Date.now();
    assert.equal((await api('/api/buffers')).status, 200);
    assert.ok(Date.now() - t0 < 1500, `the request waited ${Date.now() - t0} ms behind idle sockets`);
  } finally {
    for (const s of idle) s.destroy();
  }
});

test('a flood of idle connections holds a bounded number of sockets in the server', async () => {
  const { port } = new URL(base);
  const net = await import('node:net');
  const openSockets = () => fs.readdirSync(`/proc/${server.pid}/fd`).length;
  const before = openSockets();
  // 128 threads each serving one connection and 64 accepted connections
  // waiting: the rest stay in the system's backlog, not in the server.
  const flood = Array.from({ length: 600 }, () => net.connect(Number(port), '127.0.0.1').on('error', () => {}));
  try {
    let held = 0;
    for (let i = 0; i < 30; i++) {
      await new Promise((resolve) => setTimeout(resolve, 100));
      held = Math.max(held, openSockets() - before);
    }
    assert.ok(held <= 128 + 64 + 8, `the server holds ${held} more descriptors`);
  } finally {
    for (const s of flood) s.destroy();
  }
  // Once the flood is gone the page is served again at once.
  const t0 = Date.now();
  assert.equal((await api('/api/buffers')).status, 200);
  assert.ok(Date.now() - t0 < 3000, `the request took ${Date.now() - t0} ms after the flood`);
});

test('on a 2x screen the boxes are painted at twice their size in pixels', async () => {
  const p2 = await context.newPage();
  const cdp = await context.newCDPSession(p2);
  await cdp.send('Emulation.setDeviceMetricsOverride', { width: 1280, height: 800, deviceScaleFactor: 2, mobile: false });
  try {
    await p2.goto(base);
    // Null until the page has made the box's canvas.
    const sizes = () => p2.evaluate(() => {
      const c = document.querySelector('.box[data-ref="obj-2"] canvas');
      return c ? [c.width, c.height, c.clientWidth, c.clientHeight] : null;
    });
    const [w, h, cw, ch] = await until('the picture at 2x', async () => { const x = await sizes(); return x && x[0] === 2 * x[2] && x; });
    assert.deepEqual([w, h], [2 * cw, 2 * ch]);
    assert.deepEqual([cw, ch], [640, 240]);
  } finally {
    await p2.close();
    await api('/api/scale', { method: 'POST', body: JSON.stringify({ scale: 1 }) });
  }
});

test('an upload that does not fit on the disk is refused with the reason and leaves no partial file', async () => {
  // A file size limit stands in for a full disk: writes past it fail with
  // EFBIG (the signal it would raise is ignored, as a full disk raises none).
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'editor-full-'));
  const script = `trap '' XFSZ; ulimit -f 4096; exec "$0" serve "$1" --port 0`;
  const child = spawn('/bin/sh', ['-c', script, env('PATCHHOST'), path.join(tmp, 'demo.maxpat')],
    { stdio: ['ignore', 'pipe', 'ignore'], env: { ...process.env, TMPDIR: home } });
  try {
    const url = await new Promise((resolve, reject) => {
      let out = '';
      child.stdout.on('data', (d) => { out += d; const m = out.match(/at (http:\/\/127\.0\.0\.1:\d+\/)/); if (m) resolve(m[1]); });
      child.on('exit', () => reject(new Error('the server exited')));
    });
    const jar = await sessionCookie(url);
    const big = Buffer.alloc(8 << 20, 1);
    const res = await fetch(url + 'api/open?name=big.wav', pageRequest(jar, { method: 'POST', body: big }));
    const body = await res.json();
    assert.match(body.error || '', /cannot store big\.wav: File too large/);
    const left = [];
    const walk = (d) => { for (const e of fs.readdirSync(d, { withFileTypes: true })) (e.isDirectory() ? walk(path.join(d, e.name)) : left.push(e.name)); };
    walk(home);
    assert.ok(!left.includes('big.wav'), `left behind: ${left}`);
    // The editor carries on.
    assert.equal((await fetch(url + 'api/buffers', pageRequest(jar))).status, 200);
  } finally {
    child.kill();
    fs.rmSync(home, { recursive: true, force: true });
  }
});

test('in a window too narrow for the patch the views are fitted to it, the colour bar beside them', async () => {
  const p2 = await context.newPage();
  await p2.setViewportSize({ width: 900, height: 600 });
  try {
    await p2.goto(base);
    const fits = () => p2.evaluate(() => {
      const wrap = document.querySelector('#canvas-wrap').getBoundingClientRect();
      return ['obj-2', 'obj-3', 'obj-4'].every((r) => {
        const c = document.querySelector(`.box[data-ref="${r}"] canvas`);
        return c && c.getBoundingClientRect().right <= wrap.right;
      });
    });
    await until('every box inside the window', fits);
    const size = await p2.$eval('.box[data-ref="obj-2"] canvas', (c) => c.clientWidth);
    assert.ok(size > 300 && size < 640, `the view narrowed to ${size}`);
  } finally {
    await p2.close();
    for (const ref of ['obj-2', 'obj-3'])
      await api('/api/resize', { method: 'POST', body: JSON.stringify({ box: ref, width: 640, height: 240 }) });
  }
});

test('a second editor on a busy port says the port is in use and how to choose another', async () => {
  const port = new URL(base).port;
  const child = spawn(env('PATCHHOST'), ['serve', path.join(tmp, 'demo.maxpat'), '--port', port], { stdio: ['ignore', 'ignore', 'pipe'] });
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  const code = await new Promise((resolve) => child.on('exit', resolve));
  assert.equal(code, 1);
  assert.match(err, new RegExp(`port ${port} is in use.*--port`));
});
