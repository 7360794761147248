// The page's panels that the host speaks through: the console (with its
// tab and unread badge), toasts and downloads, and the menus and dialogs
// the host waits on.  An answer goes to /api/ui; the host's next poll no
// longer lists the request, which closes it on every open page.
import { $, el, api } from './util.js';

let current = null; // the menu or dialog on screen: {id, kind}

// The menu or dialog shown now, or null.
export const currentUi = () => current;

let unread = 0, unreadErrors = 0;

export function showTab(name) {
  for (const t of document.querySelectorAll('.tab')) {
    const on = t.dataset.tab === name;
    t.classList.toggle('on', on);
    t.setAttribute('aria-selected', on ? 'true' : 'false');
  }
  $('#console').hidden = name !== 'console';
  $('#outlets').hidden = name !== 'outlets';
  $('#console-clear').hidden = name !== 'console';
  if (name === 'console') {
    unread = unreadErrors = 0;
    $('#console-badge').hidden = true;
    $('#console').scrollTop = $('#console').scrollHeight;
  }
}

export function consoleLine(ev) {
  const box = $('#console');
  if (box.hidden) {
    unread++;
    if (ev.level === 'error') unreadErrors++;
    const badge = $('#console-badge');
    badge.textContent = String(unread);
    badge.classList.toggle('error', unreadErrors > 0);
    badge.hidden = false;
  }
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  const line = el('div', { class: 'line' + (ev.level === 'error' ? ' error' : '') });
  if (ev.class) line.append(el('span', { class: 'cls' }, ev.class + ': '));
  line.append(ev.text);
  box.append(line);
  while (box.childElementCount > 500) box.firstElementChild.remove();
  if (atEnd) box.scrollTop = box.scrollHeight;
}

export function note(text) {
  consoleLine({ level: 'note', class: null, text });
  $('#console').lastElementChild.classList.add('note');
}

export function toast(text, kind = '', link = null) {
  const t = el('div', { class: 'toast ' + kind }, text);
  if (link) t.append(link);
  $('#toasts').append(t);
  setTimeout(() => t.remove(), kind === 'error' ? 6000 : 4500);
}

export function offerDownload(ev) {
  const a = el('a', { href: ev.url, download: ev.name }, 'Download');
  toast('Wrote ' + ev.name, '', a);
  el('a', { href: ev.url, download: ev.name }).click();
}

// ---------------------------------------------------------------- menus and dialogs

export function showUi(ui) {
  closeUi();
  current = { id: ui.id, kind: ui.kind };
  if (ui.kind === 'menu') showMenu(ui);
  else if (ui.kind === 'dialog') showDialog(ui, ui.prompt, ui.default, 'OK', (text) => ({ ok: true, text }));
  else if (ui.kind === 'save') showDialog(ui, 'Save as', ui.name, 'Save', (name) => ({ ok: true, name }), 'Export');
}

export function closeUi() {
  current = null;
  for (const id of ['#menu-layer', '#modal-layer']) {
    const layer = $(id);
    layer.hidden = true;
    layer.replaceChildren();
  }
}

function answer(body) {
  if (!current) return;
  const id = current.id;
  closeUi();
  api('POST', '/api/ui', { id, ...body }).catch(() => {});
}

function showMenu(ui) {
  const layer = $('#menu-layer');
  const menu = el('div', { class: 'menu', id: 'menu', role: 'menu' });
  const items = [];
  for (const it of ui.items) {
    if (it.separator) { menu.append(el('div', { class: 'sep' })); continue; }
    const item = el('div', {
      class: 'item' + (it.enabled ? '' : ' disabled'), role: 'menuitem',
      dataset: { id: String(it.id) }, 'aria-disabled': it.enabled ? null : 'true',
    }, el('span', { class: 'check' }, it.checked ? '✓' : ''), el('span', { class: 'label' }, it.text));
    if (it.enabled) {
      items.push(item);
      item.addEventListener('pointerenter', () => activate(item));
      item.addEventListener('click', (e) => { e.stopPropagation(); answer({ item: it.id }); });
    }
    menu.append(item);
  }
  const activate = (item) => {
    for (const i of items) i.classList.toggle('active', i === item);
  };
  layer.append(menu);
  layer.hidden = false;
  layer.onpointerdown = (e) => { if (e.target === layer) answer({ item: 0 }); };
  layer.oncontextmenu = (e) => e.preventDefault();
  // The host gives the click in patch coordinates.
  const origin = $('#canvas').getBoundingClientRect();
  const r = menu.getBoundingClientRect();
  const x = Math.min(origin.left + ui.x, window.innerWidth - r.width - 6);
  const y = Math.min(origin.top + ui.y, window.innerHeight - r.height - 6);
  menu.style.left = Math.max(4, x) + 'px';
  menu.style.top = Math.max(4, y) + 'px';
  menu.tabIndex = -1;
  menu.focus();
  menu.addEventListener('keydown', (e) => {
    const at = items.findIndex((i) => i.classList.contains('active'));
    if (e.key === 'Escape') answer({ item: 0 });
    else if (e.key === 'ArrowDown') activate(items[(at + 1) % items.length]);
    else if (e.key === 'ArrowUp') activate(items[(at - 1 + items.length) % items.length]);
    else if (e.key === 'Enter' && at >= 0) answer({ item: Number(items[at].dataset.id) });
    else return;
    e.preventDefault();
  });
}

function showDialog(ui, prompt, value, okText, makeAnswer, title) {
  const layer = $('#modal-layer');
  const input = el('input', { type: 'text', value: value || '', spellcheck: false, autocomplete: 'off' });
  const ok = el('button', { class: 'primary', type: 'submit' }, okText);
  const cancel = el('button', { type: 'button' }, 'Cancel');
  const form = el('form', { class: 'modal', id: 'dialog', role: 'dialog', 'aria-modal': 'true' },
    title ? el('h3', {}, title) : null,
    el('p', { class: 'prompt' }, prompt),
    input,
    el('div', { class: 'buttons' }, cancel, ok));
  form.addEventListener('submit', (e) => { e.preventDefault(); answer(makeAnswer(input.value)); });
  cancel.addEventListener('click', () => answer({ ok: false }));
  form.addEventListener('keydown', (e) => { if (e.key === 'Escape') { e.preventDefault(); answer({ ok: false }); } });
  layer.append(form);
  layer.hidden = false;
  input.focus();
  // A file name: select the name without its extension.
  const dot = ui.kind === 'save' ? input.value.lastIndexOf('.') : -1;
  input.setSelectionRange(0, dot > 0 ? dot : input.value.length);
}
