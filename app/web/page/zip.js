// A ZIP archive of stored (uncompressed) entries with UTF-8 names, written in the page: sheets
// are small and a stored entry needs no compressor.
"use strict";

const KvZip = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  function crc32(bytes) {
    let c = 0xFFFFFFFF;
    for (let i = 0; i < bytes.length; ++i) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >>> 8);
    return (c ^ 0xFFFFFFFF) >>> 0;
  }
  // entries: [{name, bytes: Uint8Array}] -> Blob
  function make(entries) {
    const encoder = new TextEncoder();
    const parts = [], central = [];
    let offset = 0;
    const header = (size) => { const b = new ArrayBuffer(size); return [b, new DataView(b)]; };
    for (const e of entries) {
      const name = encoder.encode(e.name), crc = crc32(e.bytes), size = e.bytes.length;
      const [lb, l] = header(30);
      l.setUint32(0, 0x04034b50, true); l.setUint16(4, 20, true); l.setUint16(6, 0x0800, true);
      l.setUint16(8, 0, true); l.setUint16(10, 0, true); l.setUint16(12, 0x21, true);
      l.setUint32(14, crc, true); l.setUint32(18, size, true); l.setUint32(22, size, true);
      l.setUint16(26, name.length, true); l.setUint16(28, 0, true);
      parts.push(lb, name, e.bytes);
      const [cb, c] = header(46);
      c.setUint32(0, 0x02014b50, true); c.setUint16(4, 20, true); c.setUint16(6, 20, true); c.setUint16(8, 0x0800, true);
      c.setUint16(10, 0, true); c.setUint16(12, 0, true); c.setUint16(14, 0x21, true);
      c.setUint32(16, crc, true); c.setUint32(20, size, true); c.setUint32(24, size, true);
      c.setUint16(28, name.length, true); c.setUint32(42, offset, true);
      central.push(cb, name);
      offset += 30 + name.length + size;
    }
    let centralSize = 0;
    for (const p of central) centralSize += p.byteLength;
    const [eb, end] = header(22);
    end.setUint32(0, 0x06054b50, true); end.setUint16(8, entries.length, true); end.setUint16(10, entries.length, true);
    end.setUint32(12, centralSize, true); end.setUint32(16, offset, true);
    return new Blob([...parts, ...central, eb], { type: "application/zip" });
  }
  return { make, crc32 };
})();
