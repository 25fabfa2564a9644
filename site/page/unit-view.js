// One unit's view: every value with its unit, the cells as a heat map, the sensors,
// its alarms and a trend chart of a chosen key.
import { t } from './i18n.js';
import { getBlob, query } from './api.js';
import { el, clear } from './dom.js';
import { formatValue, formatTime, titleOf, keyInfo, setText, number } from './format.js';
import { units, unitState, onFrame, profile } from './state.js';
import { TrendChart, RANGES } from './chart.js';

const valuesBox = document.getElementById('unit-values');
const cellsBox = document.getElementById('unit-cells');
const sensorsBox = document.getElementById('unit-sensors');
const alarmsBox = document.getElementById('unit-alarms');
const keySelect = document.getElementById('chart-key');
const elementSelect = document.getElementById('chart-element');
const elementLabel = document.getElementById('chart-element-label');
const rangesBox = document.getElementById('chart-ranges');

let shown = null; // {prefix, bus, address, key}
let valueCells = new Map(); // key -> dd
let valueKeys = '';
let chart = null;
let chartKey = 'total_voltage';
let chartElement = 1;
let rangeId = '1h';

function isArrayKey(key, value) {
  return Array.isArray(value) || keyInfo(key).array === true;
}

function valueText(key, value) {
  if (key === 'device_time' && typeof value === 'number') return formatTime(new Date(value * 1000).toISOString());
  if (Array.isArray(value)) return value.join(', ');
  if (typeof value === 'number') return formatValue(key, value);
  if (value === null || value === undefined) return '–';
  return String(value);
}

function renderValues(entry) {
  const values = entry.values || {};
  const keys = Object.keys(values).filter((k) => !isArrayKey(k, values[k]));
  const signature = keys.join(',');
  if (signature !== valueKeys) {
    clear(valuesBox);
    valueCells = new Map();
    for (const key of keys) {
      const row = el('div', 'value-row');
      const dt = el('dt', null, titleOf(key));
      dt.title = key;
      const dd = el('dd');
      dd.dataset.key = key;
      row.append(dt, dd);
      valuesBox.append(row);
      valueCells.set(key, { dt, dd });
    }
    valueKeys = signature;
  }
  for (const key of keys) {
    const cell = valueCells.get(key);
    setText(cell.dt, titleOf(key));
    setText(cell.dd, valueText(key, values[key]));
  }
}

// Cells coloured by where they stand between the unit's lowest and highest cell.
function cellColour(value, min, max) {
  if (!(max - min > 0.002)) return 'hsl(165 55% 38%)';
  const f = (value - min) / (max - min);
  const hue = 210 - f * 175; // blue (low) through green to amber (high)
  return `hsl(${hue.toFixed(0)} 65% ${(36 + f * 8).toFixed(0)}%)`;
}

function balancingSet(values) {
  const set = new Set();
  const mask = values.cell_balancing;
  if (typeof mask === 'number') {
    for (let bit = 0; bit < 32; bit += 1) if (Math.floor(mask / 2 ** bit) % 2 === 1) set.add(bit + 1);
  }
  for (const name of values.cell_balancing_flags || []) {
    const n = Number(String(name).replace(/\D+/g, ''));
    if (n) set.add(n);
  }
  return set;
}

function renderCells(entry) {
  const values = entry.values || {};
  const cells = Array.isArray(values.cell_voltages) ? values.cell_voltages : [];
  const numbers = cells.filter((v) => typeof v === 'number');
  const min = Math.min(...numbers);
  const max = Math.max(...numbers);
  const balancing = balancingSet(values);
  while (cellsBox.children.length > cells.length) cellsBox.lastElementChild.remove();
  while (cellsBox.children.length < cells.length) {
    const cell = el('div', 'cell');
    cell.append(el('span', 'cell-n'), el('span', 'cell-v'));
    cellsBox.append(cell);
  }
  const decimals = keyInfo('cell_voltages').decimals ?? 3;
  cells.forEach((value, i) => {
    const cell = cellsBox.children[i];
    cell.dataset.element = String(i + 1);
    setText(cell.firstChild, String(i + 1));
    setText(cell.lastChild, number(value, decimals));
    cell.style.backgroundColor = typeof value === 'number' ? cellColour(value, min, max) : '';
    cell.classList.toggle('balancing', balancing.has(i + 1));
    cell.classList.toggle('lowest', value === min && min !== max);
    cell.classList.toggle('highest', value === max && min !== max);
    cell.title = `${i + 1}: ${formatValue('cell_voltages', value)}${balancing.has(i + 1) ? ` · ${t('balancing')}` : ''}`;
  });
  const legend = document.getElementById('cells-legend');
  setText(legend, numbers.length ? t('cells_legend', {
    min: formatValue('cell_voltages', min), max: formatValue('cell_voltages', max),
    spread: formatValue('cell_spread', values.cell_spread ?? max - min),
  }) + (balancing.size ? ` · ⚖ ${t('balancing')}` : '') : '');

  const temps = Array.isArray(values.temperatures) ? values.temperatures : [];
  while (sensorsBox.children.length > temps.length) sensorsBox.lastElementChild.remove();
  while (sensorsBox.children.length < temps.length) {
    const sensor = el('div', 'sensor');
    sensor.append(el('span', 'cell-n'), el('span', 'cell-v'));
    sensorsBox.append(sensor);
  }
  const hottest = Math.max(...temps.filter((v) => typeof v === 'number'));
  temps.forEach((value, i) => {
    const sensor = sensorsBox.children[i];
    sensor.dataset.element = String(i + 1);
    setText(sensor.firstChild, String(i + 1));
    setText(sensor.lastChild, formatValue('temperatures', value));
    sensor.classList.toggle('hottest', value === hottest && temps.length > 1);
  });
}

function renderAlarms(entry) {
  clear(alarmsBox);
  for (const alarm of entry.alarms || []) {
    const li = el('li', 'alarm');
    li.dataset.severity = alarm.severity;
    li.append(el('span', `chip severity state-${alarm.severity === 'critical' ? 'critical' : 'warning'}`,
      t(`state_${alarm.severity === 'critical' ? 'critical' : 'warning'}`)));
    const element = alarm.element ? ` [${alarm.element}]` : '';
    li.append(el('span', 'alarm-what', `${alarm.name}${element}`));
    const value = alarm.value === null || alarm.value === undefined ? '' : alarm.threshold === null
      ? String(alarm.value) : t('value_threshold', { value: alarm.value, threshold: alarm.threshold });
    li.append(el('span', 'alarm-detail', value));
    const flags = [alarm.since ? t('since', { t: formatTime(alarm.since) }) : ''];
    if (alarm.acknowledged) flags.push(t('acknowledged'));
    if (alarm.latched) flags.push(t('latched'));
    li.append(el('span', 'alarm-since', flags.filter(Boolean).join(' · ')));
    alarmsBox.append(li);
  }
  document.getElementById('unit-alarms-empty').hidden = (entry.alarms || []).length > 0;
}

function renderHead(entry) {
  setText(document.getElementById('unit-title'), `${entry.prefix} · ${entry.bus}/${entry.address}`);
  const state = unitState(entry);
  const chip = document.getElementById('unit-state');
  chip.className = `chip state-${state}`;
  chip.dataset.state = state;
  setText(chip, t(`state_${state}`));
  setText(document.getElementById('unit-seen'),
    entry.last_seen ? t('last_seen', { t: formatTime(entry.last_seen) }) : t('never_seen'));
}

function chartableKeys(entry) {
  const values = entry.values || {};
  const keys = [];
  for (const [key, value] of Object.entries(values)) {
    if (typeof value === 'number' && key !== 'device_time') keys.push(key);
    else if (Array.isArray(value) && value.length && typeof value[0] === 'number') keys.push(key);
  }
  for (const key of ['energy_charged', 'energy_discharged']) {
    if (!keys.includes(key) && profile.keys[key]) keys.push(key);
  }
  return keys;
}

function fillKeySelect(entry) {
  const keys = chartableKeys(entry);
  const signature = keys.join(',');
  if (keySelect.dataset.keys === signature) {
    for (const option of keySelect.options) setText(option, titleOf(option.value));
    return;
  }
  keySelect.dataset.keys = signature;
  clear(keySelect);
  for (const key of keys) {
    const option = el('option', null, titleOf(key));
    option.value = key;
    keySelect.append(option);
  }
  if (!keys.includes(chartKey)) chartKey = keys.includes('soc') ? 'soc' : keys[0] || 'total_voltage';
  keySelect.value = chartKey;
}

function fillElementSelect(entry) {
  const value = (entry.values || {})[chartKey];
  const isArray = Array.isArray(value);
  elementLabel.hidden = !isArray;
  if (!isArray) return;
  if (elementSelect.options.length !== value.length) {
    clear(elementSelect);
    value.forEach((_, i) => {
      const option = el('option', null, String(i + 1));
      option.value = String(i + 1);
      elementSelect.append(option);
    });
  }
  if (chartElement > value.length) chartElement = 1;
  elementSelect.value = String(chartElement);
}

function chartSource(entry) {
  const value = (entry.values || {})[chartKey];
  return {
    prefix: entry.prefix, bus: entry.bus, address: entry.address, key: chartKey,
    element: Array.isArray(value) ? chartElement : undefined,
  };
}

function renderRanges() {
  clear(rangesBox);
  for (const range of RANGES) {
    const button = el('button', range.id === rangeId ? 'range active' : 'range', range.id);
    button.type = 'button';
    button.dataset.range = range.id;
    rangesBox.append(button);
  }
}

function startChart(entry) {
  if (!chart) chart = new TrendChart(document.getElementById('chart'), document.getElementById('chart-note'));
  fillKeySelect(entry);
  fillElementSelect(entry);
  chart.rangeSeconds = RANGES.find((r) => r.id === rangeId).seconds;
  chart.live = true;
  chart.setSource(chartSource(entry));
}

function currentEntry() {
  return shown && units.get(shown.key);
}

export function showUnit(route) {
  const key = `${route.prefix}/${route.bus}/${route.address}`;
  const fresh = !shown || shown.key !== key;
  shown = { ...route, key };
  const entry = units.get(key);
  document.getElementById('unit-export').href = `/api/export.csv?${query({
    prefix: route.prefix, bus: route.bus, address: route.address,
    from: new Date(Date.now() - 86400000).toISOString(), to: new Date().toISOString() })}`;
  if (!entry) {
    setText(document.getElementById('unit-title'), `${route.prefix} · ${route.bus}/${route.address}`);
    setText(document.getElementById('unit-seen'), t('unit_missing'));
    return;
  }
  renderAll(entry);
  if (fresh || !chart || !chart.source) startChart(entry);
}

export function hideUnit() {
  shown = null;
  valueKeys = '';
  if (chart) {
    chart.destroy();
    chart = null;
  }
}

function renderAll(entry) {
  renderHead(entry);
  renderValues(entry);
  renderCells(entry);
  renderAlarms(entry);
}

// After a reconnect: the chart asks its range again, which fills the gap.
export function refillChart() {
  if (chart && chart.source) chart.reload();
}

export function initUnitView() {
  renderRanges();
  rangesBox.addEventListener('click', (event) => {
    const button = event.target.closest('[data-range]');
    if (!button || !chart) return;
    rangeId = button.dataset.range;
    for (const b of rangesBox.children) b.classList.toggle('active', b === button);
    chart.setRange(RANGES.find((r) => r.id === rangeId).seconds);
  });
  keySelect.addEventListener('change', () => {
    const entry = currentEntry();
    if (!entry || !chart) return;
    chartKey = keySelect.value;
    fillElementSelect(entry);
    chart.setSource(chartSource(entry));
  });
  elementSelect.addEventListener('change', () => {
    const entry = currentEntry();
    if (!entry || !chart) return;
    chartElement = Number(elementSelect.value);
    chart.setSource(chartSource(entry));
  });
  document.getElementById('unit-export').addEventListener('click', async (event) => {
    // A link cannot carry the token: fetch it and hand the browser the file.
    event.preventDefault();
    const link = event.currentTarget;
    try {
      const blob = await getBlob(link.getAttribute('href'));
      const url = URL.createObjectURL(blob);
      const save = el('a');
      save.href = url;
      save.download = `${shown.bus}-${shown.address}.csv`;
      document.body.append(save);
      save.click();
      save.remove();
      setTimeout(() => URL.revokeObjectURL(url), 10000);
    } catch (error) {
      setText(document.getElementById('chart-note'), error.message);
    }
  });
  onFrame((dirty) => {
    const entry = currentEntry();
    if (!entry) return;
    if (!dirty.all && !dirty.units.has(shown.key)) return;
    if (dirty.all) {
      valueKeys = '';
      renderRanges();
    }
    renderAll(entry);
    if (!chart || !chart.source) {
      startChart(entry);
      return;
    }
    fillKeySelect(entry);
    const value = (entry.values || {})[chartKey];
    const point = Array.isArray(value) ? value[chartElement - 1] : value;
    if (entry.last_seen && entry.online !== false) chart.append(Date.parse(entry.last_seen), point);
  });
}
