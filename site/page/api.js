// Requests to the site service. A 401 asks for the token once, keeps it in this
// browser and repeats the request with "Authorization: Bearer".
import { t } from './i18n.js';

const TOKEN_KEY = 'kvz-site-token';
let asking = null; // the one open token prompt, shared by every request that needs it

export function storedToken() {
  try { return localStorage.getItem(TOKEN_KEY) || ''; } catch { return ''; }
}

function keepToken(token) {
  try { localStorage.setItem(TOKEN_KEY, token); } catch { /* kept for this visit only */ }
  memoryToken = token;
}

let memoryToken = storedToken();

export function token() {
  return memoryToken;
}

// Shows the token form and resolves with what was typed. refused: the kept token did not do.
export function askToken(refused) {
  if (asking) return asking;
  const dialog = document.getElementById('token-dialog');
  const form = document.getElementById('token-form');
  const input = document.getElementById('token-input');
  document.getElementById('token-error').hidden = !refused;
  input.value = '';
  asking = new Promise((resolve) => {
    const done = (event) => {
      event.preventDefault();
      const value = input.value.trim();
      if (!value) return;
      form.removeEventListener('submit', done);
      dialog.close();
      keepToken(value);
      asking = null;
      resolve(value);
    };
    form.addEventListener('submit', done);
    // Escape would leave the page without data: keep the form up.
    dialog.addEventListener('cancel', (event) => event.preventDefault(), { once: true });
    dialog.showModal();
    input.focus();
  });
  return asking;
}

export class HttpError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

async function request(path, options = {}, retried = false) {
  const headers = new Headers(options.headers || {});
  if (memoryToken) headers.set('Authorization', `Bearer ${memoryToken}`);
  const response = await fetch(path, { ...options, headers, cache: 'no-store' });
  if (response.status === 401 && !retried) {
    await askToken(Boolean(memoryToken));
    return request(path, options, true);
  }
  if (response.status === 401) {
    await askToken(true);
    return request(path, options, true);
  }
  return response;
}

async function errorOf(response) {
  let why = `${response.status} ${response.statusText}`;
  try {
    const body = await response.json();
    if (body && body.error) why = body.error;
  } catch { /* not JSON */ }
  return new HttpError(response.status, why);
}

export async function getJson(path) {
  const response = await request(path);
  if (!response.ok) throw await errorOf(response);
  return response.json();
}

export async function postJson(path, body) {
  const response = await request(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  });
  if (!response.ok) throw await errorOf(response);
  return response.json().catch(() => ({}));
}

export async function getBlob(path) {
  const response = await request(path);
  if (!response.ok) throw await errorOf(response);
  return response.blob();
}

// /healthz is outside /api and needs no token; its body says why it is 503.
export async function getHealth() {
  const response = await fetch('/healthz', { cache: 'no-store' });
  try {
    return await response.json();
  } catch {
    return { broker: t('banner_http', { why: response.status }), store: 'open', subscribed: false };
  }
}

export function query(params) {
  const search = new URLSearchParams();
  for (const [key, value] of Object.entries(params)) {
    if (value !== undefined && value !== null && value !== '') search.set(key, String(value));
  }
  return search.toString();
}
