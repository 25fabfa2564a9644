// The page's start: the first fetches, the live connection, the route, the banners.
import { t, lang, setLang, onLangChange, translateStatic } from './i18n.js';
import { getJson, getHealth } from './api.js';
import { startLive } from './live.js';
import { el, clear, parseUnitHash } from './dom.js';
import {
  applyUnits, applyBanks, setProfile, setHealth, health, markAll, onFrame,
} from './state.js';
import { initSiteView } from './site-view.js';
import { initUnitView, showUnit, hideUnit, refillChart } from './unit-view.js';

const siteView = document.getElementById('site-view');
const unitView = document.getElementById('unit-view');

async function loadAll() {
  try {
    const [unitList, bankList] = await Promise.all([getJson('/api/units'), getJson('/api/banks')]);
    applyUnits(unitList, true);
    applyBanks(bankList);
    setHealth({ httpError: '' });
  } catch (error) {
    setHealth({ httpError: error.message });
  }
  route();
}

function route() {
  const unit = parseUnitHash(location.hash);
  if (unit) {
    siteView.hidden = true;
    unitView.hidden = false;
    showUnit(unit);
  } else {
    hideUnit();
    unitView.hidden = true;
    siteView.hidden = false;
  }
  document.body.dataset.view = unit ? 'unit' : 'site';
}

function renderBanners() {
  const box = document.getElementById('banners');
  const lines = [];
  const service = health.service;
  if (service) {
    if (service.broker && service.broker !== 'connected') lines.push(['critical', t('banner_broker', { why: service.broker })]);
    if (service.store && service.store !== 'open') lines.push(['critical', t('banner_store', { why: service.store })]);
    if (service.broker === 'connected' && service.subscribed === false) lines.push(['warning', t('banner_not_subscribed')]);
  }
  if (health.httpError) lines.push(['critical', t('banner_http', { why: health.httpError })]);
  if (!health.live) {
    const seconds = Math.max(0, Math.round((health.liveRetryAt - Date.now()) / 1000));
    const when = health.liveRetryAt && seconds > 0 ? t('banner_live_in', { s: seconds }) : t('banner_live_now');
    lines.push(['warning', t('banner_live_down', { in: when })]);
  }
  const signature = lines.map((l) => l.join(':')).join('|');
  if (box.dataset.signature === signature) return;
  box.dataset.signature = signature;
  clear(box);
  for (const [level, text] of lines) {
    const banner = el('div', `banner banner-${level}`, text);
    banner.setAttribute('role', 'alert');
    box.append(banner);
  }
  const dot = document.getElementById('live-dot');
  dot.classList.toggle('up', health.live);
  dot.title = t(health.live ? 'live_state_up' : 'live_state_down');
  document.body.dataset.live = String(health.live);
}

function tickClock() {
  const clock = document.getElementById('clock');
  clock.textContent = new Date().toLocaleTimeString(lang() === 'zh' ? 'zh-CN' : 'en-GB', { hour12: false });
  if (!health.live) renderBanners(); // the countdown
}

function handle(message) {
  switch (message.type) {
    case 'units': applyUnits(message.units || []); break;
    case 'banks': applyBanks(message.banks || []); break;
    case 'health': setHealth({ service: message.health }); break;
    case 'event': break; // lists come with the units message that follows each change
    default: break;
  }
}

function start() {
  translateStatic();
  const switcher = document.getElementById('lang-switch');
  switcher.textContent = t('lang_other');
  switcher.addEventListener('click', () => setLang(lang() === 'zh' ? 'en' : 'zh'));
  onLangChange(() => {
    translateStatic();
    switcher.textContent = t('lang_other');
    document.getElementById('banners').dataset.signature = '';
    markAll();
  });
  initSiteView();
  initUnitView();
  onFrame((dirty) => { if (dirty.health || dirty.all) renderBanners(); });
  window.addEventListener('hashchange', route);
  renderBanners();
  getHealth().then((body) => setHealth({ service: body })).catch(() => {});
  getJson('/api/profile').then(setProfile).catch(() => {}).finally(() => {
    loadAll();
    startLive({
      onMessage: handle,
      onReconnect: (again) => {
        if (!again) return;
        loadAll();
        refillChart();
      },
    });
  });
  setInterval(tickClock, 1000);
  tickClock();
}

start();
