// The site view: bank figures on top, the active alarms, one tile per unit, worst first.
import { t } from './i18n.js';
import { postJson } from './api.js';
import { el, clear, unitHash } from './dom.js';
import { formatTime, formatValue, formatSummary, number, setText } from './format.js';
import {
  units, banks, unitKey, unitState, stateRank, compareUnits, socOf, onFrame,
} from './state.js';

const tilesBox = document.getElementById('tiles');
const banksBox = document.getElementById('banks');
const alarmList = document.getElementById('alarm-list');

const tiles = new Map(); // unit key -> {node, parts, sort}
let order = []; // unit keys in document order
const alarmRows = new Map(); // data-alarm -> row
const pendingAcks = new Map(); // data-alarm -> 'sent' | error text

function makeTile(key) {
  const node = el('article', 'tile');
  node.dataset.unit = key;
  node.tabIndex = 0;
  node.setAttribute('role', 'link');
  const head = el('header', 'tile-head');
  const name = el('span', 'tile-name');
  const badge = el('span', 'tile-badge');
  head.append(name, badge);
  const soc = el('div', 'tile-soc');
  const socNumber = el('span', 'tile-soc-number');
  soc.append(socNumber, el('span', 'tile-soc-unit', '%'));
  const bar = el('div', 'bar');
  const fill = el('div', 'bar-fill');
  bar.append(fill);
  const figures = el('dl', 'tile-figures');
  const figure = (label) => {
    const dt = el('dt', null, label);
    const dd = el('dd');
    figures.append(dt, dd);
    return { dt, dd };
  };
  const current = figure();
  const spread = figure();
  const hottest = figure();
  const seen = el('footer', 'tile-seen');
  node.append(head, soc, bar, figures, seen);
  return {
    node,
    parts: { name, badge, socNumber, fill, current, spread, hottest, seen },
    sort: { key, rank: 3, soc: Infinity },
  };
}

function renderTile(tile, entry, multiplePrefixes) {
  const { parts } = tile;
  const values = entry.values || {};
  const state = unitState(entry);
  if (tile.node.dataset.state !== state) tile.node.dataset.state = state;
  tile.node.classList.toggle('is-offline', entry.online === false);
  setText(parts.name, multiplePrefixes ? `${entry.prefix} · ${entry.bus}/${entry.address}`
    : `${entry.bus}/${entry.address}`);
  tile.node.title = `${entry.prefix}/${entry.bus}/${entry.address}`;
  const active = (entry.alarms || []).filter((a) => a.name !== 'offline');
  setText(parts.badge, active.length ? String(active.length) : '');
  parts.badge.dataset.severity = active.some((a) => a.severity === 'critical') ? 'critical'
    : active.length ? 'warning' : '';
  setText(parts.socNumber, number(values.soc, 0));
  const width = typeof values.soc === 'number' ? `${Math.max(0, Math.min(100, values.soc))}%` : '0%';
  if (parts.fill.style.width !== width) parts.fill.style.width = width;
  parts.fill.classList.toggle('low', typeof values.soc === 'number' && values.soc < 20);
  setText(parts.current.dt, t('tile_current'));
  setText(parts.current.dd, formatValue('current', values.current));
  setText(parts.spread.dt, t('tile_spread'));
  setText(parts.spread.dd, formatValue('cell_spread', values.cell_spread));
  setText(parts.hottest.dt, t('tile_hottest'));
  setText(parts.hottest.dd, formatValue('temperature_max', values.temperature_max));
  let seen = '';
  if (entry.online === false) {
    seen = entry.last_seen ? t('last_seen', { t: formatTime(entry.last_seen) }) : t('never_seen');
  } else if (entry.online === null || entry.online === undefined) {
    seen = t('online_unknown');
  }
  setText(parts.seen, seen);
  tile.sort.rank = stateRank(state);
  tile.sort.soc = socOf(entry);
}

function prefixesCount() {
  const seen = new Set();
  for (const entry of units.values()) seen.add(entry.prefix);
  return seen.size;
}

// Moves only the tiles that are out of place, so a stable order costs nothing.
function applyOrder(next) {
  let same = next.length === order.length;
  for (let i = 0; same && i < next.length; i += 1) same = next[i] === order[i];
  if (same) return;
  let cursor = tilesBox.firstElementChild;
  for (const key of next) {
    const node = tiles.get(key).node;
    if (node === cursor) {
      cursor = cursor.nextElementSibling;
    } else {
      tilesBox.insertBefore(node, cursor);
    }
  }
  order = next;
}

function renderTiles(dirty) {
  const multiple = prefixesCount() > 1;
  const keys = dirty.all ? units.keys() : dirty.units;
  let changedOrder = dirty.all;
  for (const key of keys) {
    const entry = units.get(key);
    if (!entry) continue;
    let tile = tiles.get(key);
    if (!tile) {
      tile = makeTile(key);
      tiles.set(key, tile);
      changedOrder = true;
    }
    const before = `${tile.sort.rank}:${tile.sort.soc}`;
    renderTile(tile, entry, multiple);
    if (`${tile.sort.rank}:${tile.sort.soc}` !== before) changedOrder = true;
  }
  if (changedOrder) {
    const sorted = [...tiles.values()].map((x) => x.sort).sort(compareUnits).map((s) => s.key);
    applyOrder(sorted);
  }
  setText(document.getElementById('unit-count'), String(tiles.size));
  document.getElementById('units-empty').hidden = tiles.size > 0;
}

// Bank cards: the site of each prefix first, then its buses.
function where(extreme, kind) {
  if (!extreme || typeof extreme !== 'object') return '';
  const n = kind === 'cell' ? extreme.cell : extreme.sensor;
  return t(kind === 'cell' ? 'where_cell' : 'where_sensor',
    { bus: extreme.bus, address: extreme.address, n });
}

function countAlarms(lists) {
  const counts = { critical: 0, warning: 0 };
  for (const list of lists) {
    for (const alarm of list || []) counts[alarm.severity === 'critical' ? 'critical' : 'warning'] += 1;
  }
  return counts;
}

function bankCard(entry, presence) {
  const bank = entry.bank || {};
  const isSite = entry.bus === null || entry.bus === undefined;
  const card = el('article', isSite ? 'bank bank-site' : 'bank');
  card.dataset.bank = `${entry.prefix}/${entry.bus ?? ''}`;
  // Figures nobody stands behind any more: no unit of it online (its gateway
  // gone, say), or the gateway itself counts none fresh.
  const seen = presence.get(bankScope(entry.prefix, isSite ? null : entry.bus));
  const stale = (seen !== undefined && seen.online === 0) || bank.fresh === 0;
  card.classList.toggle('is-stale', stale);
  const head = el('header', 'bank-head');
  head.append(el('h2', null, isSite ? `${t('site_bank')} ${entry.prefix}` : t('bus_bank', { bus: entry.bus })));
  if (stale) {
    head.append(el('span', 'bank-fresh', t('bank_stale')));
  } else if (typeof bank.units === 'number') {
    head.append(el('span', 'bank-fresh', t('fresh_of', { fresh: bank.fresh ?? 0, units: bank.units })));
  }
  card.append(head);
  const main = el('div', 'bank-main');
  const soc = el('div', 'bank-soc');
  soc.append(el('span', 'bank-soc-number', number(bank.soc, 1)), el('span', 'bank-soc-unit', '%'));
  const socBar = el('div', 'bar');
  const fill = el('div', 'bar-fill');
  fill.style.width = typeof bank.soc === 'number' ? `${Math.max(0, Math.min(100, bank.soc))}%` : '0%';
  socBar.append(fill);
  main.append(soc, socBar);
  card.append(main);

  const figures = el('dl', 'bank-figures');
  const add = (label, value, note) => {
    const dd = el('dd', null, value);
    if (note) dd.append(el('small', null, note));
    figures.append(el('dt', null, label), dd);
  };
  add(t('current'), formatValue('current', bank.current));
  add(t('power'), formatSummary('power', bank.power, 1));
  add(t('cell_min'), formatValue('cell_min', bank.cell_min?.value), where(bank.cell_min, 'cell'));
  add(t('cell_max'), formatValue('cell_max', bank.cell_max?.value), where(bank.cell_max, 'cell'));
  add(t('temperature_min'), formatValue('temperature_min', bank.temperature_min?.value),
    where(bank.temperature_min, 'sensor'));
  add(t('temperature_max'), formatValue('temperature_max', bank.temperature_max?.value),
    where(bank.temperature_max, 'sensor'));
  card.append(figures);

  let counts = bank.alarms;
  if (!counts || typeof counts !== 'object') {
    const lists = [entry.alarms];
    for (const unit of units.values()) {
      if (unit.prefix === entry.prefix && (isSite || unit.bus === entry.bus)) lists.push(unit.alarms);
    }
    counts = countAlarms(lists);
  }
  const alarmLine = el('div', 'bank-alarms');
  alarmLine.append(el('span', 'label', t('alarm_counts')));
  const crit = el('span', 'chip state-critical', `${counts.critical ?? 0} ${t('state_critical')}`);
  const warn = el('span', 'chip state-warning', `${counts.warning ?? 0} ${t('state_warning')}`);
  crit.classList.toggle('zero', !counts.critical);
  warn.classList.toggle('zero', !counts.warning);
  alarmLine.append(crit, warn);
  card.append(alarmLine);
  return card;
}

function bankScope(prefix, bus) {
  return bus === null ? `${prefix}\n` : `${prefix}\n${bus}`;
}

// Units online per bus and per site, in one pass; a scope no unit was heard of has no entry.
function unitPresence() {
  const presence = new Map();
  const count = (scope, online) => {
    const seen = presence.get(scope) || { online: 0 };
    if (online) seen.online += 1;
    presence.set(scope, seen);
  };
  for (const unit of units.values()) {
    count(bankScope(unit.prefix, null), unit.online === true);
    count(bankScope(unit.prefix, unit.bus), unit.online === true);
  }
  return presence;
}

function renderBanks() {
  const entries = [...banks.values()].sort((a, b) => {
    if (a.prefix !== b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if ((a.bus ?? '') === (b.bus ?? '')) return 0;
    if (a.bus === null || a.bus === undefined) return -1;
    if (b.bus === null || b.bus === undefined) return 1;
    return a.bus < b.bus ? -1 : 1;
  });
  const fragment = document.createDocumentFragment();
  const presence = unitPresence();
  for (const entry of entries) fragment.append(bankCard(entry, presence));
  clear(banksBox);
  banksBox.append(fragment);
}

// The alarm list: one row per unit and alarm name (an array key's elements together),
// since acknowledging goes by name.
function collectAlarms() {
  const rows = new Map();
  const addFrom = (entry, address) => {
    for (const alarm of entry.alarms || []) {
      const id = `${entry.prefix}/${entry.bus}/${address ?? ''}/${alarm.name}`;
      let row = rows.get(id);
      if (!row) {
        row = { id, entry, address, name: alarm.name, severity: alarm.severity, since: alarm.since,
          value: alarm.value, threshold: alarm.threshold, elements: [], acknowledged: true,
          latched: false };
        rows.set(id, row);
      }
      if (alarm.severity === 'critical') row.severity = 'critical';
      if (alarm.since && (!row.since || alarm.since < row.since)) row.since = alarm.since;
      if (alarm.element !== undefined && alarm.element !== null) row.elements.push(alarm.element);
      row.acknowledged = row.acknowledged && Boolean(alarm.acknowledged);
      row.latched = row.latched || Boolean(alarm.latched);
    }
  };
  for (const entry of units.values()) addFrom(entry, entry.address);
  for (const entry of banks.values()) {
    if (entry.bus !== null && entry.bus !== undefined) addFrom(entry, null);
  }
  return [...rows.values()].sort((a, b) => {
    if (a.severity !== b.severity) return a.severity === 'critical' ? -1 : 1;
    if (a.acknowledged !== b.acknowledged) return a.acknowledged ? 1 : -1;
    return (b.since || '').localeCompare(a.since || '');
  });
}

function elementsText(row) {
  if (!row.elements.length) return '';
  const list = row.elements.join(', ');
  return row.name.includes('temp') ? t('elements_sensors', { list }) : t('elements', { list });
}

function makeAlarmRow(id) {
  const li = el('li', 'alarm');
  li.dataset.alarm = id;
  const severity = el('span', 'chip severity');
  const what = el('a', 'alarm-what');
  const detail = el('span', 'alarm-detail');
  const since = el('span', 'alarm-since');
  const button = el('button', 'ack');
  button.type = 'button';
  button.dataset.action = 'ack';
  li.append(severity, what, detail, since, button);
  li._parts = { severity, what, detail, since, button };
  return li;
}

function renderAlarmRow(li, row) {
  const p = li._parts;
  setText(p.severity, t(`state_${row.severity === 'critical' ? 'critical' : 'warning'}`));
  p.severity.className = `chip severity state-${row.severity === 'critical' ? 'critical' : 'warning'}`;
  const where = row.address === null ? `${row.entry.bus} (${t('bus_alarm')})` : `${row.entry.bus}/${row.address}`;
  setText(p.what, `${where} · ${row.name}`);
  if (row.address !== null) p.what.href = unitHash(row.entry);
  else p.what.removeAttribute('href');
  p.what.title = row.entry.prefix;
  const value = row.value === null || row.value === undefined ? ''
    : row.threshold === null || row.threshold === undefined ? String(row.value)
      : t('value_threshold', { value: row.value, threshold: row.threshold });
  setText(p.detail, [elementsText(row), value].filter(Boolean).join(' · '));
  const flags = [];
  if (row.latched) flags.push(t('latched'));
  setText(p.since, [row.since ? t('since', { t: formatTime(row.since) }) : '', ...flags].filter(Boolean).join(' · '));
  li.dataset.severity = row.severity;
  li.dataset.acknowledged = String(row.acknowledged);
  const pending = pendingAcks.get(row.id);
  if (row.acknowledged) pendingAcks.delete(row.id);
  const button = p.button;
  if (row.address === null) {
    button.disabled = true;
    setText(button, t('ack'));
    button.title = t('bus_alarm_note');
  } else if (row.acknowledged) {
    button.disabled = true;
    setText(button, t('acknowledged'));
    button.title = '';
  } else if (pending === 'sent') {
    button.disabled = true;
    setText(button, t('ack_sent'));
  } else {
    button.disabled = false;
    setText(button, pending ? t('ack_failed', { why: pending }) : t('ack'));
    button.title = '';
  }
}

function renderAlarms() {
  const rows = collectAlarms();
  const seen = new Set();
  let cursor = alarmList.firstElementChild;
  for (const row of rows) {
    seen.add(row.id);
    let li = alarmRows.get(row.id);
    if (!li) {
      li = makeAlarmRow(row.id);
      alarmRows.set(row.id, li);
    }
    li._row = row;
    renderAlarmRow(li, row);
    if (li === cursor) cursor = cursor.nextElementSibling;
    else alarmList.insertBefore(li, cursor);
  }
  for (const [id, li] of alarmRows) {
    if (!seen.has(id)) {
      li.remove();
      alarmRows.delete(id);
      pendingAcks.delete(id);
    }
  }
  setText(document.getElementById('alarm-count'), String(rows.length));
  document.getElementById('alarm-count').dataset.severity = rows.some((r) => r.severity === 'critical')
    ? 'critical' : rows.length ? 'warning' : '';
  document.getElementById('alarms-empty').hidden = rows.length > 0;
}

async function acknowledge(li) {
  const row = li._row;
  if (!row || row.address === null) return;
  pendingAcks.set(row.id, 'sent');
  renderAlarmRow(li, row);
  try {
    await postJson('/api/ack', { prefix: row.entry.prefix, bus: row.entry.bus, address: row.address,
      name: row.name });
  } catch (error) {
    pendingAcks.set(row.id, error.message);
    if (li._row) renderAlarmRow(li, li._row);
  }
}

export function acknowledgeRow(li) {
  return acknowledge(li);
}

export function initSiteView() {
  tilesBox.addEventListener('click', (event) => {
    const tile = event.target.closest('[data-unit]');
    if (tile) location.hash = unitHash(units.get(tile.dataset.unit));
  });
  tilesBox.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' && event.key !== ' ') return;
    const tile = event.target.closest('[data-unit]');
    if (!tile) return;
    event.preventDefault();
    location.hash = unitHash(units.get(tile.dataset.unit));
  });
  alarmList.addEventListener('click', (event) => {
    const button = event.target.closest('[data-action="ack"]');
    if (button && !button.disabled) acknowledge(button.closest('[data-alarm]'));
  });
  onFrame((dirty) => {
    if (dirty.all || dirty.units.size) renderTiles(dirty);
    if (dirty.all || dirty.banks || dirty.alarms || dirty.units.size) renderBanks();
    if (dirty.all || dirty.alarms) renderAlarms();
  });
}

export { unitKey };
