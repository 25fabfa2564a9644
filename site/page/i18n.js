// The page's texts in English and Chinese. Value titles come from /api/profile instead.

const TEXTS = {
  en: {
    brand: 'Site',
    lang_other: '中文',
    live_state_up: 'Live',
    live_state_down: 'Live connection down',
    banner_live_down: 'Live connection lost: reconnecting {in}…',
    banner_live_in: 'in {s} s',
    banner_live_now: 'now',
    banner_broker: 'The broker is away: {why}',
    banner_store: 'The store is away: {why}',
    banner_not_subscribed: 'Not subscribed to the gateways yet',
    banner_http: 'The site service does not answer: {why}',
    alarms_title: 'Active alarms',
    alarms_none: 'No active alarms',
    units_title: 'Units',
    units_none: 'Waiting for units…',
    state_critical: 'critical',
    state_warning: 'warning',
    state_offline: 'offline',
    state_ok: 'ok',
    site_bank: 'Site',
    bus_bank: 'Bus {bus}',
    fresh_of: '{fresh} of {units} units',
    bank_stale: 'no unit online: as last heard',
    soc: 'Charge',
    current: 'Current',
    power: 'Power',
    cell_min: 'Lowest cell',
    cell_max: 'Highest cell',
    temperature_min: 'Coolest',
    temperature_max: 'Hottest',
    alarm_counts: 'Alarms',
    where_cell: '{bus}/{address} cell {n}',
    where_sensor: '{bus}/{address} sensor {n}',
    tile_charge: 'Charge',
    tile_current: 'Current',
    tile_spread: 'Spread',
    tile_hottest: 'Hottest',
    last_seen: 'last seen {t}',
    never_seen: 'never seen',
    online_unknown: 'state unknown',
    ack: 'Acknowledge',
    ack_sent: 'Sent…',
    ack_failed: 'Failed: {why}',
    acknowledged: 'acknowledged',
    latched: 'latched',
    since: 'since {t}',
    value_threshold: '{value} (limit {threshold})',
    elements_cells: 'cells {list}',
    elements_sensors: 'sensors {list}',
    elements: 'elements {list}',
    bus_alarm: 'bus',
    bus_alarm_note: 'Clears when the link is back',
    back: '← Site',
    export_csv: 'Export CSV',
    values_title: 'Values',
    cells_title: 'Cells',
    cells_legend: '{min} – {max}, spread {spread}',
    balancing: 'balancing',
    sensors_title: 'Temperatures',
    unit_alarms_title: 'Alarms',
    chart_value: 'Value',
    chart_element: 'Element',
    chart_points: '{n} points, step {step}',
    chart_loading: 'Loading…',
    chart_none: 'No history in this range',
    chart_error: 'History failed: {why}',
    chart_zoom_hint: 'Drag to zoom, double-click to reset',
    range_live: 'live',
    unit_missing: 'This unit is not known to the site.',
    token_title: 'Access token',
    token_text: 'This site needs a token. It is kept in this browser.',
    token_refused: 'The token was refused.',
    token_save: 'Save',
  },
  zh: {
    brand: '站点',
    lang_other: 'English',
    live_state_up: '实时',
    live_state_down: '实时连接已断开',
    banner_live_down: '实时连接已断开：{in}重新连接…',
    banner_live_in: '{s} 秒后',
    banner_live_now: '正在',
    banner_broker: '消息代理不可用：{why}',
    banner_store: '数据存储不可用：{why}',
    banner_not_subscribed: '尚未订阅网关',
    banner_http: '站点服务无响应：{why}',
    alarms_title: '当前报警',
    alarms_none: '没有报警',
    units_title: '电池单元',
    units_none: '等待电池单元…',
    state_critical: '严重',
    state_warning: '警告',
    state_offline: '离线',
    state_ok: '正常',
    site_bank: '站点',
    bus_bank: '总线 {bus}',
    fresh_of: '{fresh} / {units} 个单元',
    bank_stale: '无在线单元：最后收到的数据',
    soc: '电量',
    current: '电流',
    power: '功率',
    cell_min: '最低单体',
    cell_max: '最高单体',
    temperature_min: '最低温度',
    temperature_max: '最高温度',
    alarm_counts: '报警',
    where_cell: '{bus}/{address} 第 {n} 节',
    where_sensor: '{bus}/{address} 传感器 {n}',
    tile_charge: '电量',
    tile_current: '电流',
    tile_spread: '压差',
    tile_hottest: '最高温',
    last_seen: '最后在线 {t}',
    never_seen: '从未在线',
    online_unknown: '状态未知',
    ack: '确认',
    ack_sent: '已发送…',
    ack_failed: '失败：{why}',
    acknowledged: '已确认',
    latched: '已锁存',
    since: '自 {t}',
    value_threshold: '{value}（阈值 {threshold}）',
    elements_cells: '单体 {list}',
    elements_sensors: '传感器 {list}',
    elements: '元素 {list}',
    bus_alarm: '总线',
    bus_alarm_note: '链路恢复后自动清除',
    back: '← 站点',
    export_csv: '导出 CSV',
    values_title: '数值',
    cells_title: '单体电压',
    cells_legend: '{min} – {max}，压差 {spread}',
    balancing: '均衡中',
    sensors_title: '温度',
    unit_alarms_title: '报警',
    chart_value: '数值',
    chart_element: '元素',
    chart_points: '{n} 个点，间隔 {step}',
    chart_loading: '加载中…',
    chart_none: '此时段没有历史数据',
    chart_error: '历史数据读取失败：{why}',
    chart_zoom_hint: '拖动放大，双击复原',
    range_live: '实时',
    unit_missing: '站点不认识这个单元。',
    token_title: '访问令牌',
    token_text: '此站点需要令牌，令牌保存在本浏览器中。',
    token_refused: '令牌被拒绝。',
    token_save: '保存',
  },
};

const STORAGE_KEY = 'kvz-site-lang';
let current = pickLanguage();
const listeners = new Set();

function pickLanguage() {
  try {
    const kept = localStorage.getItem(STORAGE_KEY);
    if (kept && TEXTS[kept]) return kept;
  } catch { /* storage may be off */ }
  const wanted = (navigator.languages && navigator.languages[0]) || navigator.language || 'en';
  return wanted.toLowerCase().startsWith('zh') ? 'zh' : 'en';
}

export function lang() {
  return current;
}

export function setLang(next) {
  if (!TEXTS[next] || next === current) return;
  current = next;
  try { localStorage.setItem(STORAGE_KEY, next); } catch { /* kept for this visit only */ }
  document.documentElement.lang = next === 'zh' ? 'zh-CN' : 'en';
  for (const fn of listeners) fn(next);
}

export function onLangChange(fn) {
  listeners.add(fn);
}

// t('last_seen', {t: '12:00'}): the text in the current language, placeholders filled.
export function t(key, args) {
  const text = TEXTS[current][key] ?? TEXTS.en[key] ?? key;
  if (!args) return text;
  return text.replace(/\{(\w+)\}/g, (whole, name) => (name in args ? String(args[name]) : whole));
}

// Fills every [data-i18n] element's text and [data-i18n-title] element's title under root.
export function translateStatic(root = document) {
  document.documentElement.lang = current === 'zh' ? 'zh-CN' : 'en';
  for (const el of root.querySelectorAll('[data-i18n]')) el.textContent = t(el.dataset.i18n);
  for (const el of root.querySelectorAll('[data-i18n-title]')) el.title = t(el.dataset.i18nTitle);
}
