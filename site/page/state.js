// What the page knows of the site: units and banks by key, the profile, the health.
// Changes mark keys dirty; the views take the dirty sets in one animation frame.

export const units = new Map(); // "PREFIX/BUS/ADDRESS" -> /api/units entry
export const banks = new Map(); // "PREFIX/BUS" or "PREFIX/" -> /api/banks entry
export const profile = { keys: {} };
export const health = { service: null, live: false, liveRetryAt: 0, httpError: '' };

export const dirty = { units: new Set(), banks: false, alarms: false, health: false, all: false };
const frameListeners = new Set();
let frameRequested = false;

export function unitKey(entry) {
  return `${entry.prefix}/${entry.bus}/${entry.address}`;
}

export function bankKey(entry) {
  return `${entry.prefix}/${entry.bus ?? ''}`;
}

// "kelvo/site-a/rack1/3" -> {prefix, bus, address}: the prefix may hold slashes.
export function splitUnitKey(key) {
  const parts = key.split('/');
  if (parts.length < 3) return null;
  const address = Number(parts.pop());
  const bus = parts.pop();
  return { prefix: parts.join('/'), bus, address };
}

function alarmsSignature(list) {
  if (!list || list.length === 0) return '';
  return list
    .map((a) => `${a.name}|${a.element ?? ''}|${a.severity}|${a.since}|${a.latched}|${a.acknowledged}`)
    .join(';');
}

function isNewer(fresh, kept) {
  if (!kept) return true;
  if (!fresh.last_seen || !kept.last_seen) return true;
  return Date.parse(fresh.last_seen) >= Date.parse(kept.last_seen);
}

// Applies unit entries, from a push or a fetch. fetched: a full list, whose older
// entries must not undo what a push already brought.
export function applyUnits(entries, fetched = false) {
  for (const entry of entries) {
    const key = unitKey(entry);
    const kept = units.get(key);
    if (fetched && kept && !isNewer(entry, kept) && kept.online === entry.online) continue;
    entry._alarms = alarmsSignature(entry.alarms);
    if (!kept || kept._alarms !== entry._alarms) dirty.alarms = true;
    units.set(key, entry);
    dirty.units.add(key);
  }
  schedule();
}

export function applyBanks(entries) {
  for (const entry of entries) {
    const key = bankKey(entry);
    const kept = banks.get(key);
    entry._alarms = alarmsSignature(entry.alarms);
    if (!kept || kept._alarms !== entry._alarms) dirty.alarms = true;
    banks.set(key, entry);
  }
  dirty.banks = true;
  schedule();
}

export function setProfile(next) {
  profile.keys = (next && next.keys) || {};
  dirty.all = true;
  schedule();
}

export function setHealth(changes) {
  Object.assign(health, changes);
  dirty.health = true;
  schedule();
}

export function markAll() {
  dirty.all = true;
  dirty.banks = true;
  dirty.alarms = true;
  dirty.health = true;
  schedule();
}

// Listeners run in one animation frame, then the dirty sets are emptied.
export function onFrame(fn) {
  frameListeners.add(fn);
}

export function schedule() {
  if (frameRequested) return;
  frameRequested = true;
  requestAnimationFrame(() => {
    frameRequested = false;
    for (const fn of frameListeners) {
      try { fn(dirty); } catch (error) { console.error(error); }
    }
    dirty.units.clear();
    dirty.banks = false;
    dirty.alarms = false;
    dirty.health = false;
    dirty.all = false;
  });
}

const RANK = { critical: 0, warning: 1, offline: 2, ok: 3 };

// critical or warning from the unit's own rule alarms; offline from its availability
// (its "offline" alarm says the same and does not make it critical).
export function unitState(entry) {
  let worst = 'ok';
  for (const alarm of entry.alarms || []) {
    if (alarm.name === 'offline') continue;
    if (alarm.severity === 'critical') return 'critical';
    worst = 'warning';
  }
  if (worst === 'warning') return worst;
  if (entry.online === false) return 'offline';
  return 'ok';
}

export function stateRank(state) {
  return RANK[state];
}

// Worst first: critical, warning, offline, then lowest charge; ties by key.
export function compareUnits(a, b) {
  if (a.rank !== b.rank) return a.rank - b.rank;
  if (a.soc !== b.soc) return a.soc - b.soc;
  return a.key < b.key ? -1 : a.key > b.key ? 1 : 0;
}

export function socOf(entry) {
  const soc = entry.values && entry.values.soc;
  return typeof soc === 'number' ? soc : Infinity;
}
