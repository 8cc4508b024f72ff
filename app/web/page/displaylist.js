// The display list of the core (app/web/display_list_bytes.h) read once into plain arrays, and
// drawn on a 2D canvas: the fourth backend beside cairo, GDI and the PDF writer. It draws what
// the list says and decides nothing; vectors are drawn again at every zoom, so they stay sharp.
"use strict";

const KvDisplayList = (() => {
  function read(buffer) {
    const view = new DataView(buffer);
    let at = 0;
    const u8 = () => view.getUint8(at++);
    const u32 = () => { const v = view.getUint32(at, true); at += 4; return v; };
    const f32 = () => { const v = view.getFloat32(at, true); at += 4; return v; };
    const f64 = () => { const v = view.getFloat64(at, true); at += 8; return v; };
    const align = () => { at = (at + 3) & ~3; };
    const decoder = new TextDecoder();
    const str = () => { const n = u32(); const s = decoder.decode(new Uint8Array(buffer, at, n)); at += n; return s; };
    const rgb = () => `rgb(${u8()},${u8()},${u8()})`;
    const points = () => { const n = u32(); align(); const p = new Float32Array(buffer, at, n * 2); at += n * 8; return p; };

    // The box of a point array: [minX, minY, maxX, maxY].
    const boxOf = (p, box = [Infinity, Infinity, -Infinity, -Infinity]) => {
      for (let i = 0; i < p.length; i += 2) {
        if (p[i] < box[0]) box[0] = p[i];
        if (p[i] > box[2]) box[2] = p[i];
        if (p[i + 1] < box[1]) box[1] = p[i + 1];
        if (p[i + 1] > box[3]) box[3] = p[i + 1];
      }
      return box;
    };
    if (buffer.byteLength < 8 || decoder.decode(new Uint8Array(buffer, 0, 4)) !== "KVDL") throw new Error("not a display list");
    at = 8;
    const list = { width: f64(), height: f64(), background: rgb() };
    at++;
    list.styles = [];
    for (let n = u32(), i = 0; i < n; ++i) {
      const s = { color: rgb(), devicePixels: u8() !== 0, width: f32(), dashOffset: f32(), dashes: [] };
      for (let k = u32(), j = 0; j < k; ++j) s.dashes.push(f32());
      list.styles.push(s);
    }
    list.fonts = [];
    for (let n = u32(), i = 0; i < n; ++i) list.fonts.push(str());
    list.images = [];
    for (let n = u32(), i = 0; i < n; ++i) list.images.push(str());
    list.lists = [];
    for (let n = u32(), l = 0; l < n; ++l) {
      const items = [];
      for (let k = u32(), i = 0; i < k; ++i) {
        const kind = u8();
        if (kind === 0) {
          const style = u32(), closed = u8() !== 0;
          const p = points();
          items.push({ kind, style, closed, points: p, box: boxOf(p) });
        } else if (kind === 1) {
          const color = rgb(), rings = [], box = [Infinity, Infinity, -Infinity, -Infinity];
          for (let r = u32(), j = 0; j < r; ++j) rings.push(points());
          for (const ring of rings) boxOf(ring, box);
          items.push({ kind, color, rings, box });
        } else if (kind === 2) {
          const color = rgb(), flags = u8(), font = u32(), n = u32();
          align();
          const cells = new Float32Array(buffer, at, n * 7), codes = new Uint32Array(buffer, at, n * 7);
          at += n * 28;
          // The cells' corners bound the run.
          const corners = [];
          for (let g = 0; g < n; ++g) {
            const o = g * 7, x = cells[o], y = cells[o + 1];
            corners.push(x, y, x + cells[o + 2] + cells[o + 4], y + cells[o + 3] + cells[o + 5],
                         x + cells[o + 2], y + cells[o + 3], x + cells[o + 4], y + cells[o + 5]);
          }
          items.push({ kind, color, bold: (flags & 1) !== 0, italic: (flags & 2) !== 0, font, count: n, cells, codes,
                       box: boxOf(corners) });
        } else if (kind === 3) {
          const image = u32(), v = [];
          for (let j = 0; j < 10; ++j) v.push(f64());
          items.push({ kind, image, origin: [v[0], v[1]], across: [v[2], v[3]], up: [v[4], v[5]], clip: [v[6], v[7], v[8], v[9]] });
        } else if (kind === 4) {
          items.push({ kind, list: u32(), dx: f64(), dy: f64() });
        } else {
          throw new Error("unknown item " + kind);
        }
      }
      list.lists.push(items);
    }
    return list;
  }

  // Half-width characters take half a cell: ASCII and half-width katakana.
  const cellsOf = (code) => (code < 0x80 || (code >= 0xFF61 && code <= 0xFF9F) ? 0.5 : 1);
  const kFontSize = 64;
  const advances = new Map();

  // Draws `list` on `ctx` with page millimetre (x, y) at canvas pixel (ox + x·scale, oy − y·scale);
  // `pixel` is how many canvas pixels one CSS pixel has (lines of device-pixel width use it).
  function draw(ctx, list, scale, ox, oy, pixel) {
    ctx.save();
    ctx.setTransform(scale, 0, 0, -scale, ox, oy);
    ctx.fillStyle = list.background;
    ctx.fillRect(0, 0, list.width, list.height);
    const onePixel = 1 / scale;  // a canvas pixel in millimetres
    // The canvas in page millimetres, widened by what a line or glyph may overhang its box: half a
    // millimetre, or 16 pixels of the widest screen-pixel line.
    const slack = Math.max(0.5, 16 * pixel / scale);
    const clip = { x0: -ox / scale - slack, x1: (ctx.canvas.width - ox) / scale + slack,
                   y0: (oy - ctx.canvas.height) / scale - slack, y1: oy / scale + slack };
    const state = { style: -1 };
    drawItems(ctx, list, list.lists[0], 0, 0, onePixel, pixel, clip, state, 0);
    flush(ctx, state);
    ctx.restore();
  }

  function flush(ctx, state) {
    if (state.style >= 0) ctx.stroke();
    state.style = -1;
  }

  function setStroke(ctx, list, index, onePixel, pixel, state) {
    if (state.style === index) return;
    flush(ctx, state);
    const s = list.styles[index];
    const unit = s.devicePixels ? onePixel * pixel : 1;
    ctx.strokeStyle = s.color;
    ctx.lineWidth = Math.max(s.width * unit, onePixel);
    ctx.setLineDash(s.dashes.map((d) => d * unit));
    ctx.lineDashOffset = s.dashOffset * unit;
    ctx.lineCap = "round";
    ctx.lineJoin = "round";
    ctx.beginPath();
    state.style = index;
  }

  function drawItems(ctx, list, items, dx, dy, onePixel, pixel, clip, state, depth) {
    if (depth > 64) return;
    for (const item of items) {
      // What lies wholly outside the canvas is not drawn.
      const b = item.box;
      if (b && (b[0] + dx > clip.x1 || b[2] + dx < clip.x0 || b[1] + dy > clip.y1 || b[3] + dy < clip.y0)) continue;
      switch (item.kind) {
        case 0: {
          const p = item.points;
          if (p.length < 2) break;
          setStroke(ctx, list, item.style, onePixel, pixel, state);
          ctx.moveTo(p[0] + dx, p[1] + dy);
          for (let i = 2; i < p.length; i += 2) ctx.lineTo(p[i] + dx, p[i + 1] + dy);
          if (item.closed) ctx.closePath();
          if (p.length === 2) ctx.lineTo(p[0] + dx + onePixel / 2, p[1] + dy);
          break;
        }
        case 1: {
          flush(ctx, state);
          ctx.beginPath();
          for (const p of item.rings) {
            if (p.length < 2) continue;
            ctx.moveTo(p[0] + dx, p[1] + dy);
            for (let i = 2; i < p.length; i += 2) ctx.lineTo(p[i] + dx, p[i + 1] + dy);
            ctx.closePath();
          }
          ctx.fillStyle = item.color;
          ctx.fill("evenodd");
          break;
        }
        case 2:
          flush(ctx, state);
          drawText(ctx, list, item, dx, dy, onePixel);
          break;
        case 3: {
          flush(ctx, state);
          const [x, y] = item.origin, [ax, ay] = item.across, [ux, uy] = item.up;
          const bitmap = list.bitmaps && list.bitmaps[item.image];
          if (bitmap) {
            // As the other backends place it: pixel (px, py) of the shown part (rows top down)
            // goes to origin + across·(px − sx)/sw + up·(sy + sh − py)/sh.
            const sx = item.clip[0] * bitmap.width, sw = item.clip[2] * bitmap.width;
            const sh = item.clip[3] * bitmap.height, sy = bitmap.height - item.clip[1] * bitmap.height - sh;
            if (sw > 0 && sh > 0) {
              ctx.save();
              ctx.transform(ax / sw, ay / sw, -ux / sh, -uy / sh,
                            x + dx - ax * sx / sw + ux * (sy + sh) / sh, y + dy - ay * sx / sw + uy * (sy + sh) / sh);
              ctx.imageSmoothingEnabled = false;  // pixels as the other backends show them
              ctx.drawImage(bitmap, sx, sy, sw, sh, sx, sy, sw, sh);
              ctx.restore();
            }
            break;
          }
          // An image not (yet) decoded is shown as its outline.
          ctx.beginPath();
          ctx.moveTo(x + dx, y + dy);
          ctx.lineTo(x + ax + dx, y + ay + dy);
          ctx.lineTo(x + ax + ux + dx, y + ay + uy + dy);
          ctx.lineTo(x + ux + dx, y + uy + dy);
          ctx.closePath();
          ctx.fillStyle = "rgba(128,128,128,0.15)";
          ctx.fill();
          ctx.strokeStyle = "rgb(128,128,128)";
          ctx.lineWidth = onePixel;
          ctx.setLineDash([]);
          ctx.stroke();
          break;
        }
        case 4:
          drawItems(ctx, list, list.lists[item.list], dx + item.dx, dy + item.dy, onePixel, pixel, clip, state, depth + 1);
          break;
      }
    }
  }

  function drawText(ctx, list, item, dx, dy, onePixel) {
    const family = list.fonts[item.font] || "";
    const font = `${item.italic ? "italic " : ""}${item.bold ? "bold " : ""}${kFontSize}px "${family}", "Noto Sans CJK JP", "MS Gothic", sans-serif`;
    ctx.font = font;
    ctx.fillStyle = item.color;
    ctx.textBaseline = "top";
    const c = item.cells;
    for (let g = 0; g < item.count; ++g) {
      const o = g * 7;
      const ax = c[o + 2], ay = c[o + 3], ux = c[o + 4], uy = c[o + 5];
      const acrossLen = Math.hypot(ax, ay), upLen = Math.hypot(ux, uy);
      if (!(acrossLen > 0 && upLen > 0)) continue;
      const code = item.codes[o + 6];
      if (code <= 0x20) continue;
      const ox = c[o] + dx, oy = c[o + 1] + dy;
      // Too small to read: a faint bar keeps the text's place.
      if (upLen < onePixel * 3) {
        ctx.fillRect(ox, oy, ax + ux * 0.1, ay + uy * 0.1);
        continue;
      }
      const ch = String.fromCodePoint(code);
      const key = font + ch;
      let advance = advances.get(key);
      if (advance === undefined) {
        advance = ctx.measureText(ch).width;
        advances.set(key, advance);
      }
      // As render/glyph_layout.h places a glyph: the em fills the cell's height; across, a
      // full-width character's em fills the cell's width and a glyph sits centred.
      const v = upLen / kFontSize, h = acrossLen / cellsOf(code) / kFontSize;
      const a = [ax / acrossLen, ay / acrossLen], u = [ux / upLen, uy / upLen];
      const x0 = (acrossLen - advance * h) / 2;
      const tx = ox + a[0] * x0 + u[0] * upLen, ty = oy + a[1] * x0 + u[1] * upLen;
      ctx.save();
      ctx.transform(a[0] * h, a[1] * h, -u[0] * v, -u[1] * v, tx, ty);
      ctx.fillText(ch, 0, 0);
      ctx.restore();
    }
  }

  return { read, draw };
})();
