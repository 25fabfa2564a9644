// Small helpers to build elements without markup strings (names come from the wire).

export function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = text;
  return node;
}

export function clear(node) {
  while (node.firstChild) node.firstChild.remove();
}

export function unitHash(entry) {
  const parts = [...String(entry.prefix).split('/'), entry.bus, String(entry.address)];
  return `#/unit/${parts.map(encodeURIComponent).join('/')}`;
}

// "#/unit/kelvo/site-a/rack1/3" -> {prefix: "kelvo/site-a", bus: "rack1", address: 3}
export function parseUnitHash(hash) {
  if (!hash.startsWith('#/unit/')) return null;
  const parts = hash.slice('#/unit/'.length).split('/').map(decodeURIComponent);
  if (parts.length < 3) return null;
  const address = Number(parts.pop());
  const bus = parts.pop();
  if (!Number.isInteger(address) || !bus) return null;
  return { prefix: parts.join('/'), bus, address };
}
