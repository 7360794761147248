// The patchhost editor page.  It builds the patch's boxes from /api/patch,
// then reads the server's stream (/api/stream, stream.js) for everything
// that changes: pictures (as the rectangles that changed), outlet values,
// cursors, console lines, downloads, and the menu or dialog the host is
// waiting on.  Mouse events go to /api/mouse one at a time, in order, with
// consecutive drags coalesced, so the host never falls behind the pointer.
import { $, el, sleep, api, fmtNumber, fmtSeconds, fmtHz, fmtDb } from './util.js';
import { consoleLine, note, toast, offerDownload, showTab, showUi, closeUi, currentUi } from './panels.js';
import { initInspector, loadInspector, refreshAttrs, refreshMode, setAttr } from './inspector.js';
import { readStream, takePicture, showPicture } from './stream.js';

const CURSORS = ['none', 'default', 'wait', 'text', 'crosshair', 'copy', 'pointer', 'grabbing', 'ew-resize',
  'ns-resize', 'move', 'n-resize', 's-resize', 'w-resize', 'e-resize', 'nw-resize', 'ne-resize', 'sw-resize',
  'se-resize'];

const SPECTRO_OUTLETS = ['display start (ms)', 'display length (ms)', 'display low (Hz)', 'display high (Hz)',
  'selection start (ms)', 'selection end (ms)', 'selection low (Hz)', 'selection high (Hz)', 'link out',
  'mouse: ms, Hz, dB'];


// ---------------------------------------------------------------- state

const state = {
  page: Math.random().toString(36).slice(2) + Date.now().toString(36),
  seq: 0,
  polled: false,          // the first poll has been applied
  boxes: new Map(),       // ref -> box record
  order: [],              // refs in patch order
  selected: null,
  outlets: {},
  attrsVersion: null,
  buffers: new Map(),     // name -> {frames, channels, sr, duration_ms}
  playing: null,          // {buffer, startMs, url}
  inspector: null,        // {ref, rows: Map(name -> row)}
};

const isSpectro = (b) => b && b.info.class === 'spectrogram~';

// The spectrogram~ the toolbar acts on: the selected one, else the first.
function target() {
  const sel = state.boxes.get(state.selected);
  if (isSpectro(sel)) return sel;
  for (const ref of state.order) if (isSpectro(state.boxes.get(ref))) return state.boxes.get(ref);
  return null;
}

// ---------------------------------------------------------------- the patch

// Max spreads a box's inlets and outlets over its width, 7 pixels each.
function portX(rect, i, n) {
  return n <= 1 ? rect[0] : rect[0] + (i * (rect[2] - 7)) / (n - 1);
}

function buildPatch(p) {
  $('#patch-name').textContent = p.name;
  document.title = p.name + ' — patchhost';
  const canvas = $('#canvas');
  for (const info of p.boxes) {
    const [x, y, w, h] = info.rect;
    const div = el('div', {
      class: 'box ' + (info.ui ? 'ui' : 'obj') + (info.placeholder ? ' placeholder' : ''),
      dataset: { ref: info.ref, class: info.class },
      style: { left: x + 'px', top: y + 'px', width: w + 'px', height: h + 'px', minWidth: w + 'px' },
    });
    const b = { info, div, canvas: null, image: null, dirty: [], version: 0, bufferName: info.buffer || '' };
    if (info.ui) {
      b.canvas = el('canvas', { width: Math.max(1, Math.round(w)), height: Math.max(1, Math.round(h)) });
      b.canvas.dataset.version = '0';
      div.append(b.canvas);
      attachMouse(b);
      attachGrip(b);
    } else {
      div.append(el('span', { class: 'text' }, info.text || info.class));
      if (info.buffer) div.append(el('span', { class: 'info' }));
      for (let i = 0; i < info.inlets; i++)
        div.append(el('span', { class: 'nub', style: { left: portX([0, 0, w], i, info.inlets) - 1 + 'px', top: '-1px' } }));
      for (let i = 0; i < info.outlets; i++)
        div.append(el('span', { class: 'nub', style: { left: portX([0, 0, w], i, info.outlets) - 1 + 'px', bottom: '-1px' } }));
      div.addEventListener('pointerdown', () => select(info.ref));
    }
    canvas.append(div);
    state.boxes.set(info.ref, b);
    state.order.push(info.ref);
  }
  state.lines = p.lines;
  fitCanvas();
  drawCords();
  const sel = $('#inspector-box');
  for (const ref of state.order) {
    const info = state.boxes.get(ref).info;
    sel.append(el('option', { value: ref }, (info.varname || ref) + ' · ' + info.class));
  }
  sel.addEventListener('change', () => select(sel.value));
}

function drawCords() {
  const svg = $('#cords');
  const ns = 'http://www.w3.org/2000/svg';
  svg.replaceChildren();
  for (const l of state.lines) {
    const a = state.boxes.get(l.from), b = state.boxes.get(l.to);
    if (!a || !b) continue;
    const ra = a.info.rect, rb = b.info.rect;
    const line = document.createElementNS(ns, 'line');
    line.setAttribute('x1', portX(ra, l.outlet, a.info.outlets) + 3.5);
    line.setAttribute('y1', ra[1] + ra[3]);
    line.setAttribute('x2', portX(rb, l.inlet, b.info.inlets) + 3.5);
    line.setAttribute('y2', rb[1]);
    svg.append(line);
  }
}

function select(ref) {
  if (!state.boxes.has(ref)) return;
  if (state.selected === ref) return;
  state.selected = ref;
  for (const [r, b] of state.boxes) b.div.classList.toggle('selected', r === ref);
  $('#inspector-box').value = ref;
  loadInspector(ref);
  renderOutlets();
  renderReadout();
  renderMode();
}

// ---------------------------------------------------------------- box size

// The patch area grows with its boxes.
function fitCanvas() {
  let right = 0, bottom = 0;
  for (const b of state.boxes.values()) {
    const [x, y, w, h] = b.info.rect;
    right = Math.max(right, x + w);
    bottom = Math.max(bottom, y + h);
  }
  $('#canvas').style.width = right + 24 + 'px';
  $('#canvas').style.height = bottom + 24 + 'px';
}

// Asks the host to resize a UI box (its paint follows through the poll).
async function resizeBox(b, w, h) {
  try {
    const d = await api('POST', '/api/resize', { box: b.info.ref, width: w, height: h });
    b.info.rect = d.rect;
  } catch (e) {
    toast(e.message, 'error');
  }
  const [, , rw, rh] = b.info.rect;
  Object.assign(b.div.style, { width: rw + 'px', height: rh + 'px', minWidth: rw + 'px' });
  fitCanvas();
  drawCords();
}

// Dragging a box's lower right corner resizes it, as in Max.
function attachGrip(b) {
  const grip = el('div', { class: 'grip', title: 'Drag to resize' });
  b.div.append(grip);
  grip.addEventListener('pointerdown', (e) => {
    e.preventDefault();
    e.stopPropagation();
    grip.setPointerCapture(e.pointerId);
    const [, , w0, h0] = b.info.rect;
    const x0 = e.clientX, y0 = e.clientY;
    const size = (ev) => [Math.max(16, Math.round(w0 + ev.clientX - x0)), Math.max(16, Math.round(h0 + ev.clientY - y0))];
    const move = (ev) => {
      const [w, h] = size(ev);
      Object.assign(b.div.style, { width: w + 'px', height: h + 'px', minWidth: w + 'px' });
    };
    const up = (ev) => {
      grip.removeEventListener('pointermove', move);
      grip.removeEventListener('pointerup', up);
      resizeBox(b, ...size(ev));
    };
    grip.addEventListener('pointermove', move);
    grip.addEventListener('pointerup', up);
  });
}

// The right edge the views may reach, and the boxes beside them (the
// colour bar).
function fitRoom(views) {
  const beside = [...state.boxes.values()].filter((o) => !isSpectro(o) &&
    views.some((v) => o.info.rect[0] >= v.info.rect[0] + v.info.rect[2] && overlapsRows(o.info.rect, v.info.rect)));
  const room = Math.max(0, ...beside.map((o) => o.info.rect[2] + 10));
  return { beside, right: $('#canvas-wrap').clientWidth - 32 - room };
}

// Every view as wide as the patch area allows, with the boxes beside the
// views moved along to stay beside them.
async function fitWidth() {
  const views = spectros();
  const { beside, right } = fitRoom(views);
  for (const v of views) {
    const [x, , , h] = v.info.rect;
    if (right - x >= 16) await resizeBox(v, right - x, h);
  }
  // The page alone places them: where a box sits in the host changes
  // nothing it draws.
  for (const o of beside) {
    o.info.rect[0] = right + 10;
    o.div.style.left = o.info.rect[0] + 'px';
  }
  fitCanvas();
  drawCords();
}

// A patch wider than the window (a small window, or one made smaller) is
// fitted to it, so that no view is cut off under the side panel; a window
// with room to spare keeps the patch's own sizes (Fit widens them).
function fitIfCut() {
  const views = spectros();
  const { right } = fitRoom(views);
  if (views.some((v) => v.info.rect[0] + v.info.rect[2] > right)) fitWidth();
}

const overlapsRows = (a, b) => a[1] < b[1] + b[3] && b[1] < a[1] + a[3];

// The boxes are painted at the screen's pixels per point, so that text and
// image are as sharp as the page around them; asked again when the window
// moves to another screen or the page is zoomed.
function watchScale() {
  const ratio = window.devicePixelRatio || 1;
  api('POST', '/api/scale', { scale: ratio }).catch(() => {});
  matchMedia(`(resolution: ${ratio}dppx)`).addEventListener('change', watchScale, { once: true });
}

// ---------------------------------------------------------------- mouse

const RAW_MOVES = 'onpointerrawupdate' in window;
const mouseQueue = [];
let mouseBusy = false;

function mouseEvent(b, kind, e) {
  const r = b.canvas.getBoundingClientRect();
  const [, , w, h] = b.info.rect;
  return {
    box: b.info.ref, kind,
    x: ((e.clientX - r.left) * w) / r.width,
    y: ((e.clientY - r.top) * h) / r.height,
    shift: e.shiftKey, ctrl: e.ctrlKey, alt: e.altKey, meta: e.metaKey,
    button: e.button, buttons: e.buttons,
  };
}

// Moves and drags waiting to be sent give way to the newest; wheel steps
// add up.  So the queue never grows behind the pointer.
function queueMouse(ev) {
  const last = mouseQueue[mouseQueue.length - 1];
  const same = last && last.kind === ev.kind && last.box === ev.box;
  if (same && (ev.kind === 'drag' || ev.kind === 'move')) mouseQueue[mouseQueue.length - 1] = ev;
  else if (same && ev.kind === 'wheel' && last.shift === ev.shift && last.ctrl === ev.ctrl && last.alt === ev.alt &&
    last.meta === ev.meta) mouseQueue[mouseQueue.length - 1] = { ...ev, dx: last.dx + ev.dx, dy: last.dy + ev.dy };
  else mouseQueue.push(ev);
  pumpMouse();
}

// A wheel event in steps (a notch of a mouse wheel is about one), up and
// right positive, as Max gives them.
function wheelSteps(e) {
  const unit = e.deltaMode === 1 ? 3 : e.deltaMode === 2 ? 0.1 : 100;
  return { dx: e.deltaX / unit, dy: -e.deltaY / unit };
}

async function pumpMouse() {
  if (mouseBusy) return;
  mouseBusy = true;
  while (mouseQueue.length) {
    const ev = mouseQueue.shift();
    try {
      await api('POST', '/api/mouse', ev);
    } catch (e) {
      if (ev.kind === 'down') toast(e.message, 'error');
    }
  }
  mouseBusy = false;
}

// Resolves once every queued mouse event has been handled (for tests and
// for actions that must follow the gesture).
window.patchhostIdle = async () => {
  while (mouseBusy || mouseQueue.length) await sleep(10);
};

function attachMouse(b) {
  const c = b.canvas;
  let press = null; // {pointerId, context}
  c.addEventListener('contextmenu', (e) => e.preventDefault());
  c.addEventListener('pointerenter', (e) => { if (!press) queueMouse(mouseEvent(b, 'enter', e)); });
  c.addEventListener('pointerleave', (e) => { if (!press) queueMouse(mouseEvent(b, 'leave', e)); });
  c.addEventListener('pointerdown', (e) => {
    if (press) return;
    e.preventDefault();
    select(b.info.ref);
    c.setPointerCapture(e.pointerId);
    press = { pointerId: e.pointerId, context: e.button === 2 || (e.button === 0 && e.ctrlKey) };
    queueMouse(mouseEvent(b, 'down', e));
  });
  // pointerrawupdate comes as soon as the pointer moves; pointermove waits
  // for the next animation frame, up to 16 ms later.
  c.addEventListener(RAW_MOVES ? 'pointerrawupdate' : 'pointermove', (e) => {
    // A context click opens the menu: no drag follows it.
    if (press && e.pointerId === press.pointerId && !press.context && e.buttons)
      queueMouse(mouseEvent(b, 'drag', e));
    else if (!press && !e.buttons)
      queueMouse(mouseEvent(b, 'move', e)); // hover: the readout follows the pointer
  });
  // The host's double-click follows the two clicks, as in Max.
  c.addEventListener('dblclick', (e) => {
    if (e.button === 0 && !e.ctrlKey) queueMouse(mouseEvent(b, 'doubleclick', e));
  });
  c.addEventListener('wheel', (e) => {
    e.preventDefault(); // the view zooms, not the page
    queueMouse({ ...mouseEvent(b, 'wheel', e), ...wheelSteps(e) });
  }, { passive: false });
  const release = (e) => {
    if (!press || e.pointerId !== press.pointerId) return;
    press = null;
    queueMouse(mouseEvent(b, 'up', e));
  };
  c.addEventListener('pointerup', release);
  c.addEventListener('pointercancel', release);
}

// ---------------------------------------------------------------- the stream

// A frame's pictures are drawn at once, unless another frame is waiting
// already: then only the newest state is drawn, once.
async function streamLoop() {
  for (;;) {
    try {
      // After a lost connection, only the console lines and downloads not seen yet.
      await readStream(`/api/stream?page=${state.page}&since=${state.seq}`, (d, pixels, more) => {
        if (d.seq < state.seq) {
          location.reload(); // the server was restarted
          return;
        }
        apply(d, pixels);
        if (!more) for (const b of state.boxes.values()) if (b.canvas) showPicture(b);
        state.seq = d.seq;
        state.polled = true;
      });
    } catch (e) {
      // Shown below; the stream is opened again.
    }
    setStatus('down', 'offline');
    await sleep(1000);
  }
}

function apply(d, pixels) {
  let at = 0;
  for (const [ref, p] of Object.entries(d.pictures)) {
    const b = state.boxes.get(ref);
    if (b && b.canvas) at = takePicture(b, p, pixels, at);
    else at += p.rects.reduce((n, [, , w, h]) => n + w * h * 4, 0);
  }
  for (const [ref, c] of Object.entries(d.cursors)) {
    const b = state.boxes.get(ref);
    if (b && b.canvas) b.canvas.style.cursor = CURSORS[c] || 'default';
  }
  state.outlets = d.outlets;
  scheduleRender();
  for (const ev of d.events) {
    if (ev.type === 'console') consoleLine(ev);
    else if (ev.type === 'download' && state.polled) offerDownload(ev);
  }
  const shown = currentUi();
  if (d.ui && (!shown || shown.id !== d.ui.id)) showUi(d.ui);
  else if (!d.ui && shown) closeUi();
  if (state.attrsVersion !== null && d.attrs_version !== state.attrsVersion) refreshAttrs();
  state.attrsVersion = d.attrs_version;
  if (d.ui) setStatus('busy', d.ui.kind === 'menu' ? 'menu open' : 'dialog open');
  else if (!workCount) setStatus('live', 'live');
}

let renderPending = false;
function scheduleRender() {
  if (renderPending) return;
  renderPending = true;
  requestAnimationFrame(() => {
    renderPending = false;
    renderOutlets();
    renderReadout();
  });
}

function setStatus(kind, text) {
  const s = $('#status');
  s.className = 'status ' + kind;
  s.textContent = text;
}

// ---------------------------------------------------------------- readout and outlets

function outletArgs(ref, n) {
  const o = state.outlets[ref] && state.outlets[ref][n];
  return o ? o.args : null;
}

function renderReadout() {
  const t = target();
  const box = $('#readout');
  $('#readout-box').textContent = t ? t.info.varname || t.info.ref : '';
  const link = t && outletArgs(t.info.ref, 8);
  if (!link || link.length < 8) {
    box.replaceChildren(el('div', { class: 'empty' }, 'No spectrogram~ view reported yet.'));
    return;
  }
  const [ds, dl, lo, hi, ss, se, sl, sh] = link;
  const rows = [
    ['Time', `${fmtSeconds(ds)} – ${fmtSeconds(ds + dl)}`],
    ['Frequency', `${fmtHz(lo)} – ${fmtHz(hi)}`],
    ['Selection', se > ss && sh > sl ? `${fmtSeconds(ss)} – ${fmtSeconds(se)} · ${fmtHz(sl)} – ${fmtHz(sh)}` : 'none'],
  ];
  const mouse = outletArgs(t.info.ref, 9);
  if (mouse && mouse.length >= 3)
    rows.push(['Mouse', `${fmtSeconds(mouse[0])} · ${fmtHz(mouse[1])} · ${fmtDb(mouse[2])}`]);
  box.replaceChildren(...rows.flatMap(([k, v]) => [el('div', { class: 'k' }, k), el('div', { class: 'v' }, v)]));
}

function renderOutlets() {
  const b = state.boxes.get(state.selected);
  const box = $('#outlets');
  $('#outlets-box').textContent = b ? b.info.varname || b.info.ref : '';
  if (!b || !b.info.outlets) {
    box.replaceChildren(el('div', { class: 'empty' }, b ? 'This box has no outlets.' : 'Select a box.'));
    return;
  }
  let table = box.querySelector('table');
  if (!table || table.dataset.box !== b.info.ref) {
    table = el('table', { dataset: { box: b.info.ref } });
    for (let n = 0; n < b.info.outlets; n++) {
      const name = isSpectro(b) ? SPECTRO_OUTLETS[n] || '' : '';
      table.append(el('tr', {},
        el('td', { class: 'n' }, String(n)),
        el('td', { class: 'name' }, name),
        el('td', { class: 'val', dataset: { box: b.info.ref, outlet: String(n) } }, '–')));
    }
    box.replaceChildren(table);
  }
  for (const td of table.querySelectorAll('td.val')) {
    const o = state.outlets[b.info.ref] && state.outlets[b.info.ref][td.dataset.outlet];
    const text = o ? (['float', 'int', 'list'].includes(o.sel) ? '' : o.sel + ' ') + o.args.map(fmtNumber).join(' ') : '–';
    if (td.textContent !== text) td.textContent = text;
  }
}

// ---------------------------------------------------------------- toolbar

function send(b, message, args = []) {
  if (!b) return Promise.resolve(null);
  return working(api('POST', '/api/send', { box: b.info.ref, message, args })).catch((e) => toast(e.message, 'error'));
}

// Work that takes longer than a moment shows that the page is busy, so that
// it never looks frozen.
let workCount = 0;
function working(promise, text = 'working…') {
  workCount++;
  const timer = setTimeout(() => {
    document.body.classList.add('working');
    setStatus('busy', text);
  }, 300);
  const done = () => {
    clearTimeout(timer);
    if (--workCount === 0) {
      document.body.classList.remove('working');
      if (state.polled) setStatus('live', 'live');
    }
  };
  promise.then(done, done);
  return promise;
}

function spectros() {
  return state.order.map((r) => state.boxes.get(r)).filter(isSpectro);
}

async function setMode(mode) {
  for (const b of spectros()) {
    b.mode = mode;
    const row = state.inspector && state.inspector.ref === b.info.ref ? state.inspector.rows.get('mouse_mode') : null;
    await setAttr(b.info.ref, 'mouse_mode', [mode], row);
  }
  renderMode();
}

function renderMode() {
  const t = target();
  const mode = t && t.mode !== undefined ? t.mode : null;
  for (const btn of document.querySelectorAll('#mode-group button')) {
    const on = Number(btn.dataset.mode) === mode;
    btn.classList.toggle('on', on);
    btn.setAttribute('aria-checked', on ? 'true' : 'false');
  }
}

function bufferOf(b) {
  if (b && b.bufferName) return b.bufferName;
  for (const ref of state.order) {
    const x = state.boxes.get(ref);
    if (x.info.buffer) return x.info.buffer;
  }
  return '';
}

async function refreshBuffers() {
  try {
    const list = await api('GET', '/api/buffers');
    for (const buf of list) if (!buf.error) state.buffers.set(buf.name, buf);
  } catch (e) {
    return;
  }
  for (const b of state.boxes.values()) {
    const info = b.div.querySelector('.info');
    const buf = info && state.buffers.get(b.info.buffer);
    if (buf) info.textContent = `${buf.channels} ch · ${(buf.duration_ms / 1000).toFixed(2)} s · ${Math.round(buf.sr)} Hz`;
  }
}

async function openSound(file) {
  const buffer = bufferOf(target());
  try {
    const r = await working(fetch('/api/open?name=' + encodeURIComponent(file.name) + '&buffer=' + encodeURIComponent(buffer),
      { method: 'POST', body: file }), 'opening ' + file.name + '…');
    const d = await r.json();
    if (!r.ok) throw new Error(d.error || 'cannot open the sound');
    showSoundName(d);
    note(`opened ${file.name} into buffer~ ${d.name}: ${d.channels} ch, ${(d.duration_ms / 1000).toFixed(2)} s`);
    toast(`Opened ${file.name}`);
    refreshBuffers();
  } catch (e) {
    toast(e.message, 'error');
  }
}

// The opened file names the page and its buffer~ box.
function showSoundName(d) {
  $('#patch-name').textContent = d.file;
  document.title = d.file + ' — patchhost';
  const b = state.boxes.get(d.ref);
  const text = b && b.div.querySelector('.text');
  if (text) text.textContent = d.text;
}

function saveSound() {
  const buffer = bufferOf(target());
  if (!buffer) { toast('The patch has no buffer~', 'error'); return; }
  el('a', { href: '/api/buffer.wav?buffer=' + encodeURIComponent(buffer), download: buffer + '.wav' }).click();
}

// ---------------------------------------------------------------- playback

const player = $('#player');

async function play(selection) {
  const t = target();
  if (!t) return;
  stop();
  const url = '/api/sound.wav?box=' + encodeURIComponent(t.info.ref) + (selection ? '&span=selection' : '');
  let res;
  try {
    res = await fetch(url);
    if (!res.ok) throw new Error((await res.json().catch(() => ({}))).error || 'cannot play');
  } catch (e) {
    toast(selection ? 'Nothing to play: ' + e.message : e.message, 'error');
    return;
  }
  const startMs = Number(res.headers.get('X-Start-Ms')) || 0;
  const src = URL.createObjectURL(await res.blob());
  state.playing = { buffer: res.headers.get('X-Buffer') || bufferOf(t), startMs, src };
  player.src = src;
  player.dataset.state = 'loading';
  try {
    await player.play();
    player.dataset.state = 'playing';
    requestAnimationFrame(tickPlayhead);
  } catch (e) {
    player.dataset.state = 'failed';
    toast('Playback failed: ' + e.message, 'error');
  }
}

function stop() {
  player.pause();
  if (state.playing) URL.revokeObjectURL(state.playing.src);
  state.playing = null;
  player.dataset.state = 'stopped';
  for (const p of document.querySelectorAll('.playhead')) p.remove();
}

player.addEventListener('ended', stop);

// A line over every view of the playing buffer, where the sound is now.
function tickPlayhead() {
  const p = state.playing;
  if (!p || player.paused) return;
  const t = p.startMs + player.currentTime * 1000;
  for (const b of spectros()) {
    const link = outletArgs(b.info.ref, 8);
    let head = b.div.querySelector('.playhead');
    const visible = link && b.bufferName === p.buffer && link[1] > 0 && t >= link[0] && t <= link[0] + link[1];
    if (!visible) { if (head) head.remove(); continue; }
    if (!head) { head = el('div', { class: 'playhead' }); b.div.append(head); }
    head.style.left = ((t - link[0]) / link[1]) * 100 + '%';
  }
  requestAnimationFrame(tickPlayhead);
}

// ---------------------------------------------------------------- wiring

function exportBox() {
  const b = state.boxes.get(state.selected);
  send(b && b.info.ui ? b : target(), 'write');
}

function wireToolbar() {
  const on = (id, fn) => $(id).addEventListener('click', fn);
  // Toolbar buttons do not take the keyboard focus from a click, so that
  // Space and the other shortcuts keep working after one.
  for (const btn of document.querySelectorAll('#toolbar button'))
    btn.addEventListener('mousedown', (e) => e.preventDefault());
  on('#open-sound', () => $('#open-file').click());
  $('#open-file').addEventListener('change', (e) => {
    if (e.target.files[0]) openSound(e.target.files[0]);
    e.target.value = '';
  });
  on('#save-sound', saveSound);
  for (const btn of document.querySelectorAll('#mode-group button'))
    btn.addEventListener('click', () => setMode(Number(btn.dataset.mode)));
  on('#zoom-in', () => send(target(), 'zoom_in'));
  on('#zoom-out', () => send(target(), 'zoom_out'));
  on('#view-all', () => send(target(), 'view_all'));
  on('#view-sel', () => send(target(), 'view_selected'));
  on('#fit-width', fitWidth);
  on('#help-open', () => $('#help').showModal());
  on('#side-toggle', toggleSide);
  on('#undo', () => send(target(), 'undo'));
  on('#redo', () => send(target(), 'redo'));
  on('#play-all', () => play(false));
  on('#play-sel', () => play(true));
  on('#stop', stop);
  on('#export-png', exportBox);
  on('#console-clear', () => $('#console').replaceChildren());
  for (const t of document.querySelectorAll('.tab')) t.addEventListener('click', () => showTab(t.dataset.tab));

  const wrap = $('#canvas-wrap');
  const hint = $('#drop-hint');
  wrap.addEventListener('dragover', (e) => { e.preventDefault(); hint.hidden = false; });
  wrap.addEventListener('dragleave', (e) => { if (e.target === wrap) hint.hidden = true; });
  wrap.addEventListener('drop', (e) => {
    e.preventDefault();
    hint.hidden = true;
    const f = e.dataTransfer.files[0];
    if (f) openSound(f);
  });
}

function toggleSide() {
  const collapsed = document.body.classList.toggle('side-collapsed');
  $('#side-toggle').setAttribute('aria-expanded', collapsed ? 'false' : 'true');
}

function onKey(e) {
  // The menu or dialog has the keyboard, also for the key that closes it.
  if (currentUi() || $('#help').open || e.defaultPrevented) return;
  const tag = (e.target.tagName || '').toLowerCase();
  if (tag === 'input' || tag === 'select' || tag === 'textarea') return;
  const mod = e.ctrlKey || e.metaKey;
  const k = e.key.toLowerCase();
  let done = true;
  if (mod && k === 'z') send(target(), e.shiftKey ? 'redo' : 'undo');
  else if (mod && k === 'y') send(target(), 'redo');
  else if (mod) done = false;
  else if (k === 's') setMode(0);
  else if (k === 'm') setMode(1);
  else if (k === 'd') setMode(2);
  else if (k === '+' || k === '=') send(target(), 'zoom_in');
  else if (k === '-' || k === '_') send(target(), 'zoom_out');
  else if (k === '0') send(target(), 'view_all');
  else if (k === ' ') { if (state.playing) stop(); else play(e.shiftKey); }
  else if (k === 'e') exportBox();
  else if (k === 'o') $('#open-file').click();
  else if (k === 'z') send(target(), 'view_selected');
  else if (k === 'escape') send(target(), 'select_none');
  else if (k === 'delete' || k === 'backspace') send(target(), 'edit_selection_delete');
  else if (k === '?') $('#help').showModal();
  else if (k === '\\') toggleSide();
  else done = false;
  if (done) e.preventDefault();
}

async function start() {
  initInspector({ state, target, renderMode, isSpectro });
  wireToolbar();
  document.addEventListener('keydown', onKey);
  window.addEventListener('pagehide', () => navigator.sendBeacon('/api/bye?page=' + state.page));
  let patch;
  for (;;) {
    try {
      patch = await api('GET', '/api/patch');
      break;
    } catch (e) {
      setStatus('down', 'offline');
      await sleep(1000);
    }
  }
  buildPatch(patch);
  watchScale();
  const first = target() || state.boxes.get(state.order.find((r) => state.boxes.get(r).info.ui));
  if (first) select(first.info.ref);
  // The layout made around a sound file fills the window; a patch of its
  // own is fitted when the window cuts it off, now or after a resize.
  if (patch.layout === 'sound') fitWidth();
  else fitIfCut();
  let resizing = null;
  window.addEventListener('resize', () => {
    clearTimeout(resizing);
    resizing = setTimeout(fitIfCut, 200);
  });
  refreshBuffers();
  for (const b of spectros()) if (b.info.ref !== state.selected) refreshMode(b);
  // The readout follows the pointer without a press.
  for (const b of spectros())
    api('POST', '/api/attr', { box: b.info.ref, name: 'mouse_hover', value: [1] }).catch(() => {});
  streamLoop();
}

start();
