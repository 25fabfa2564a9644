// Numbers with the profile's decimals and unit, titles in the page's language, times.
import { profile } from './state.js';
import { lang } from './i18n.js';

// Keys without a profile entry: the derived ones a profile may not list.
const FALLBACK = {
  current: { unit: 'A', decimals: 2 },
  power: { unit: 'W', decimals: 2 },
  cell_min: { unit: 'V', decimals: 3 },
  cell_max: { unit: 'V', decimals: 3 },
  cell_spread: { unit: 'V', decimals: 3 },
  temperature_min: { unit: '°C', decimals: 0 },
  temperature_max: { unit: '°C', decimals: 0 },
  soc: { unit: '%', decimals: 0 },
  energy_charged: { unit: 'Wh', decimals: 3 },
  energy_discharged: { unit: 'Wh', decimals: 3 },
};

export function keyInfo(key) {
  return profile.keys[key] || FALLBACK[key] || {};
}

export function titleOf(key) {
  const title = keyInfo(key).title;
  if (!title) return key;
  if (typeof title === 'string') return title;
  return title[lang()] || title.en || key;
}

export function unitOf(key) {
  return keyInfo(key).unit || '';
}

export function number(value, decimals) {
  if (typeof value !== 'number' || !Number.isFinite(value)) return '–';
  if (typeof decimals === 'number') return value.toFixed(decimals);
  return String(value);
}

// "53.00 V", or "–" for a value that is not there.
export function formatValue(key, value) {
  const info = keyInfo(key);
  const text = number(value, info.decimals);
  if (text === '–' || !info.unit) return text;
  return info.unit === '%' ? `${text} %` : `${text} ${info.unit}`;
}

// A summary figure (banks, tiles) with fewer decimals than the profile's, when it has more.
export function formatSummary(key, value, decimals) {
  const info = keyInfo(key);
  const text = number(value, Math.min(decimals, info.decimals ?? decimals));
  return text === '–' || !info.unit ? text : `${text} ${info.unit}`;
}

export function formatTime(iso) {
  if (!iso) return '';
  const date = new Date(iso);
  if (Number.isNaN(date.getTime())) return iso;
  const now = new Date();
  const sameDay = date.toDateString() === now.toDateString();
  const locale = lang() === 'zh' ? 'zh-CN' : 'en-GB';
  return sameDay
    ? date.toLocaleTimeString(locale, { hour12: false })
    : date.toLocaleString(locale, { hour12: false, year: 'numeric', month: '2-digit', day: '2-digit',
      hour: '2-digit', minute: '2-digit' });
}

export function formatStep(seconds) {
  if (!seconds) return 'raw';
  if (seconds < 60) return `${seconds} s`;
  if (seconds < 3600) return `${Math.round(seconds / 60)} min`;
  if (seconds < 86400) return `${Math.round(seconds / 3600)} h`;
  return `${Math.round(seconds / 86400)} d`;
}

// Only changes the text when it differs: a week of pushes should not churn the DOM.
export function setText(el, text) {
  if (el.textContent !== text) el.textContent = text;
}
