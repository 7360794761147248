// The inspector: a box's attributes by category, each with the control its
// style asks for (text field, on/off switch, menu for an enumeration,
// colour picker for rgba), set through /api/attr.  Values changed elsewhere
// are refreshed in place, leaving the control being edited alone.
import { $, el, api, fmtNumber } from './util.js';
import { toast } from './panels.js';

let ctx = null; // {state, target, renderMode, isSpectro} from app.js

// Hands the inspector the page's state and the callbacks it needs.
export function initInspector(c) {
  ctx = c;
}

export async function loadInspector(ref) {
  const box = $('#inspector');
  let data;
  try {
    data = await api('GET', '/api/attrs/' + encodeURIComponent(ref));
  } catch (e) {
    box.replaceChildren(el('div', { class: 'cat' }, e.message));
    return;
  }
  if (ref !== ctx.state.selected) return;
  const rows = new Map();
  const groups = new Map();
  for (const a of data.attrs) {
    const cat = a.category || 'Box';
    if (!groups.has(cat)) groups.set(cat, []);
    groups.get(cat).push(a);
  }
  const children = [];
  for (const [cat, attrs] of groups) {
    children.push(el('h3', { class: 'cat' }, cat));
    for (const a of attrs) {
      const row = attrRow(ref, a);
      rows.set(a.name, row);
      children.push(row.el);
    }
  }
  if (!children.length) children.push(el('div', { class: 'cat' }, 'No attributes.'));
  box.replaceChildren(...children);
  ctx.state.inspector = { ref, rows };
  const b = ctx.state.boxes.get(ref);
  if (b && rows.has('buffer_name')) b.bufferName = String((data.attrs.find((a) => a.name === 'buffer_name').value || [''])[0]);
  if (b && ctx.isSpectro(b)) b.mode = Number((data.attrs.find((a) => a.name === 'mouse_mode') || { value: [0] }).value[0]);
  ctx.renderMode();
}

// Values changed elsewhere (a menu, a message, a clamp): update the rows in
// place, leaving alone the control being edited.
export async function refreshAttrs() {
  const insp = ctx.state.inspector;
  const t = ctx.target();
  if (t && (!insp || insp.ref !== t.info.ref)) refreshMode(t);
  if (!insp) return;
  let data;
  try {
    data = await api('GET', '/api/attrs/' + encodeURIComponent(insp.ref));
  } catch (e) {
    return;
  }
  if (ctx.state.inspector !== insp) return;
  for (const a of data.attrs) {
    const row = insp.rows.get(a.name);
    if (row && !row.el.contains(document.activeElement)) row.set(a.value);
    if (a.name === 'mouse_mode') {
      const b = ctx.state.boxes.get(insp.ref);
      if (b) b.mode = Number(a.value[0]);
    }
  }
  ctx.renderMode();
}

export async function refreshMode(b) {
  try {
    const data = await api('GET', '/api/attrs/' + encodeURIComponent(b.info.ref));
    const m = data.attrs.find((a) => a.name === 'mouse_mode');
    const name = data.attrs.find((a) => a.name === 'buffer_name');
    if (m) b.mode = Number(m.value[0]);
    if (name && name.value) b.bufferName = String(name.value[0]);
    ctx.renderMode();
  } catch (e) { /* shown at the next change */ }
}

export async function setAttr(ref, name, value, row) {
  try {
    const r = await api('POST', '/api/attr', { box: ref, name, value });
    if (row) {
      row.set(r.value);
      row.el.classList.remove('flash');
      void row.el.offsetWidth;
      row.el.classList.add('flash');
    }
    return r.value;
  } catch (e) {
    toast(e.message, 'error');
    if (row) loadInspector(ref);
    return null;
  }
}

const toHex = (c) => Math.round(Math.min(1, Math.max(0, c)) * 255).toString(16).padStart(2, '0');

function attrRow(ref, a) {
  const label = el('label', { title: a.label ? `${a.label} (${a.name})` : a.name }, a.label || a.name);
  const ctl = el('div', { class: 'ctl' });
  const row = { el: el('div', { class: 'attr', dataset: { attr: a.name } }, label, ctl), set: () => {} };
  const value = a.value || [];
  const id = 'attr-' + a.name;
  label.htmlFor = id;
  if (!a.category && a.name === 'patching_rect') {
    const span = el('span', { class: 'ro' });
    row.set = (v) => { span.textContent = (v || []).map(fmtNumber).join(' '); };
    ctl.append(span);
  } else if (a.style === 'onoff') {
    const input = el('input', { type: 'checkbox', id });
    input.addEventListener('change', () => setAttr(ref, a.name, [input.checked ? 1 : 0], row));
    row.set = (v) => { input.checked = Number((v || [0])[0]) !== 0; };
    ctl.append(el('label', { class: 'switch' }, input, el('span')));
  } else if ((a.style === 'enumindex' || a.style === 'enum') && a.enumvals.length) {
    const select = el('select', { id });
    a.enumvals.forEach((name, i) => select.append(el('option', { value: a.style === 'enum' ? name : String(i) }, name)));
    select.addEventListener('change', () =>
      setAttr(ref, a.name, [a.style === 'enum' ? select.value : Number(select.value)], row));
    row.set = (v) => { select.value = String((v || [''])[0]); };
    ctl.append(select);
  } else if (a.style === 'rgba') {
    const color = el('input', { type: 'color', id });
    const alpha = el('input', { type: 'number', class: 'alpha', min: 0, max: 1, step: 0.05, title: 'alpha' });
    let current = [0, 0, 0, 1];
    const send = () => {
      const hex = color.value;
      const rgb = [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16) / 255);
      const al = Math.min(1, Math.max(0, Number(alpha.value)));
      setAttr(ref, a.name, [...rgb.map((c) => Number(c.toFixed(4))), Number.isFinite(al) ? al : current[3]], row);
    };
    color.addEventListener('input', send);
    alpha.addEventListener('change', send);
    row.set = (v) => {
      current = (v && v.length >= 4 ? v : [0, 0, 0, 1]).map(Number);
      color.value = '#' + current.slice(0, 3).map(toHex).join('');
      alpha.value = String(Number(current[3].toFixed(3)));
    };
    ctl.append(color, alpha);
  } else {
    const input = el('input', { type: 'text', id, spellcheck: false, autocomplete: 'off' });
    let shown = '';
    const commit = () => {
      if (input.value === shown) return;
      const text = input.value.trim();
      const v = a.type === 'symbol' ? [text] : text.split(/\s+/).filter(Boolean).map((w) => (isNaN(Number(w)) ? w : Number(w)));
      if (!v.length) { input.value = shown; return; }
      setAttr(ref, a.name, v, row);
    };
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') { commit(); input.blur(); }
      if (e.key === 'Escape') { input.value = shown; input.blur(); }
    });
    input.addEventListener('blur', commit);
    row.set = (v) => { shown = (v || []).map(fmtNumber).join(' '); input.value = shown; };
    ctl.append(input);
  }
  row.set(value);
  return row;
}
