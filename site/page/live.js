// The one WebSocket to /api/live: token first, then pushed messages. On a drop it comes
// back with a growing delay and tells onReconnect, which fetches what was missed.
import { token, askToken } from './api.js';
import { setHealth } from './state.js';

const UNAUTHORIZED = 4401;
const MAX_DELAY_MS = 15000;

export function startLive({ onMessage, onReconnect }) {
  let socket = null;
  let delay = 500;
  let opened = 0;
  let timer = 0;

  const connect = () => {
    timer = 0;
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    socket = new WebSocket(`${scheme}//${location.host}/api/live`);
    let greeted = false;
    socket.addEventListener('open', () => {
      const kept = token();
      socket.send(JSON.stringify(kept ? { token: kept } : {}));
    });
    socket.addEventListener('message', (event) => {
      let message;
      try { message = JSON.parse(event.data); } catch { return; }
      if (message.type === 'hello') {
        greeted = true;
        delay = 500;
        opened += 1;
        setHealth({ live: true, liveRetryAt: 0 });
        if (message.health) setHealth({ service: message.health });
        onReconnect(opened > 1);
        return;
      }
      onMessage(message);
    });
    socket.addEventListener('close', async (event) => {
      socket = null;
      setHealth({ live: false });
      if (event.code === UNAUTHORIZED) {
        await askToken(Boolean(token()));
        connect();
        return;
      }
      const wait = greeted ? 500 : delay;
      delay = Math.min(MAX_DELAY_MS, delay * 2);
      const jittered = wait * (0.8 + Math.random() * 0.4);
      setHealth({ liveRetryAt: Date.now() + jittered });
      timer = setTimeout(connect, jittered);
    });
  };

  connect();
  return {
    // Reconnects at once (a test or a user who does not want to wait).
    now() {
      if (timer) {
        clearTimeout(timer);
        connect();
      }
    },
  };
}
