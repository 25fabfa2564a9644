// A trend chart of one unit's key from /api/history: mean line with its min-max band,
// range buttons and drag zoom that ask again with a fitting step, and live points
// appended at the right edge while the range ends now.
import uPlot from './vendor/uplot/uPlot.esm.js';
import { getJson, query } from './api.js';
import { t } from './i18n.js';
import { formatStep, unitOf, keyInfo } from './format.js';

export const RANGES = [
  { id: '10m', seconds: 600 },
  { id: '1h', seconds: 3600 },
  { id: '6h', seconds: 6 * 3600 },
  { id: '24h', seconds: 86400 },
  { id: '7d', seconds: 7 * 86400 },
  { id: '30d', seconds: 30 * 86400 },
  { id: '180d', seconds: 180 * 86400 },
];
const MAX_LIVE_POINTS = 20000; // bounds a chart left open for a week
const NICE_STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600,
  43200, 86400, 172800, 604800];

// About one point a pixel; none for a short range (the service's finest tier).
export function stepFor(rangeSeconds, widthPx) {
  const wanted = rangeSeconds / Math.max(300, widthPx);
  if (wanted <= 1) return 0;
  for (const step of NICE_STEPS) if (step >= wanted) return step;
  return Math.ceil(wanted / 86400) * 86400;
}

function iso(ms) {
  return new Date(ms).toISOString();
}

export class TrendChart {
  constructor(box, note) {
    this.box = box;
    this.note = note;
    this.source = null; // {prefix, bus, address, key, element}
    this.rangeSeconds = 3600;
    this.live = true;
    this.from = 0;
    this.to = 0;
    this.data = [[], [], [], []];
    this.plot = null;
    this.request = 0;
    this.step = 0;
    this.resizer = new ResizeObserver(() => this.fit());
    this.resizer.observe(box);
  }

  makePlot() {
    if (this.plot) this.plot.destroy();
    const styles = getComputedStyle(document.documentElement);
    const line = styles.getPropertyValue('--chart-line').trim() || '#4aa3ff';
    const band = styles.getPropertyValue('--chart-band').trim() || 'rgba(74,163,255,0.18)';
    const axis = styles.getPropertyValue('--chart-axis').trim() || '#8a94a6';
    const grid = styles.getPropertyValue('--chart-grid').trim() || 'rgba(138,148,166,0.15)';
    const unit = unitOf(this.source.key);
    const decimals = keyInfo(this.source.key).decimals;
    const valueText = (v) => (v === null || v === undefined ? '–'
      : `${typeof decimals === 'number' ? v.toFixed(decimals) : v}${unit ? ` ${unit}` : ''}`);
    const opts = {
      width: Math.max(300, this.box.clientWidth),
      height: 260,
      cursor: { drag: { x: true, y: false, setScale: false } },
      select: { show: true },
      legend: { show: true },
      scales: {
        x: { time: true },
        // A flat line (a voltage that holds) gets a band about it, not 0 to 100.
        y: { range: (u, min, max) => {
          if (min === null || max === null) return [0, 1];
          const pad = Math.max((max - min) * 0.1, Math.abs(max) * 0.002, 10 ** -(decimals ?? 2));
          return [min - pad, max + pad];
        } },
      },
      axes: [
        { stroke: axis, grid: { stroke: grid }, ticks: { stroke: grid } },
        { stroke: axis, grid: { stroke: grid }, ticks: { stroke: grid }, size: 70,
          values: (u, splits) => splits.map((v) => (typeof decimals === 'number' ? v.toFixed(Math.min(decimals, 3)) : v)) },
      ],
      series: [
        {},
        { label: t('chart_value'), stroke: line, width: 2, value: (u, v) => valueText(v), spanGaps: false },
        { label: 'min', stroke: 'transparent', points: { show: false }, value: (u, v) => valueText(v) },
        { label: 'max', stroke: 'transparent', points: { show: false }, value: (u, v) => valueText(v) },
      ],
      bands: [{ series: [3, 2], fill: band }],
      hooks: {
        setSelect: [(u) => {
          if (u.select.width < 5) return;
          const from = u.posToVal(u.select.left, 'x') * 1000;
          const to = u.posToVal(u.select.left + u.select.width, 'x') * 1000;
          u.setSelect({ left: 0, top: 0, width: 0, height: 0 }, false);
          this.zoomTo(from, to);
        }],
      },
    };
    this.plot = new uPlot(opts, this.data, this.box);
    this.plot.over.addEventListener('dblclick', () => this.setRange(this.rangeSeconds));
  }

  fit() {
    if (!this.plot) return;
    const width = Math.max(300, this.box.clientWidth);
    const height = 260;
    if (width !== this.plot.width || height !== this.plot.height) this.plot.setSize({ width, height });
  }

  setSource(source) {
    this.source = source;
    this.data = [[], [], [], []];
    this.makePlot();
    this.reload();
  }

  setRange(seconds) {
    this.rangeSeconds = seconds;
    this.live = true;
    this.reload();
  }

  zoomTo(from, to) {
    if (!(to > from)) return;
    this.live = to >= Date.now() - 2000;
    this.from = from;
    this.to = to;
    this.fetch(from, to);
  }

  // Asks for the whole range again (also after a reconnect, which fills gaps).
  reload() {
    if (!this.source) return;
    if (this.live) {
      this.to = Date.now();
      this.from = this.to - this.rangeSeconds * 1000;
    }
    this.fetch(this.from, this.to);
  }

  async fetch(from, to) {
    const id = ++this.request;
    const { prefix, bus, address, key, element } = this.source;
    const width = this.plot ? this.plot.bbox.width / devicePixelRatio : 800;
    const step = stepFor((to - from) / 1000, width);
    this.note.textContent = t('chart_loading');
    let answer;
    try {
      answer = await getJson(`/api/history?${query({ prefix, bus, address, key, element,
        from: iso(from), to: iso(to), step: step || undefined })}`);
    } catch (error) {
      if (id === this.request) this.note.textContent = t('chart_error', { why: error.message });
      return;
    }
    if (id !== this.request) return; // a newer range was asked meanwhile
    const columns = [[], [], [], []];
    for (const [time, mean, min, max] of answer.points || []) {
      columns[0].push(time / 1000);
      columns[1].push(mean);
      columns[2].push(min ?? mean);
      columns[3].push(max ?? mean);
    }
    this.step = answer.step || 0;
    this.data = columns;
    this.show();
  }

  show() {
    if (!this.plot) return;
    const count = this.data[0].length;
    this.plot.setData(this.data);
    this.plot.setScale('x', { min: this.from / 1000, max: this.to / 1000 });
    this.box.dataset.points = String(count);
    this.note.textContent = count
      ? `${t('chart_points', { n: count, step: formatStep(this.step) })} · ${t('chart_zoom_hint')}`
      : t('chart_none');
  }

  // A pushed value of the unit: appended while the chart follows now.
  append(timeMs, value) {
    if (!this.live || typeof value !== 'number' || !this.plot) return;
    const x = timeMs / 1000;
    const xs = this.data[0];
    if (xs.length && x <= xs[xs.length - 1]) return;
    // With a coarse step the live points would not be alike: they start a fine tail.
    for (const [i, v] of [[0, x], [1, value], [2, value], [3, value]]) this.data[i].push(v);
    this.to = Math.max(Date.now(), timeMs);
    this.from = this.to - this.rangeSeconds * 1000;
    let drop = 0;
    while (drop < xs.length && xs[drop] < this.from / 1000) drop += 1;
    drop = Math.max(drop, xs.length - MAX_LIVE_POINTS);
    if (drop > 0) for (const column of this.data) column.splice(0, drop);
    this.show();
  }

  destroy() {
    this.request += 1;
    this.resizer.disconnect();
    if (this.plot) this.plot.destroy();
    this.plot = null;
  }
}
