// The core in a worker of its own, so that reading, planning and writing a large drawing never
// stops the page: each message names an operation of the C API (app/web/web_api.cpp) and is
// answered with its result; bytes are handed over, not copied.
"use strict";
importScripts("kelvane.js");

let core = null;
const ready = KelvaneModule().then((m) => { core = m; });

function bytes(ptr) {
  const size = core._kv_result_size();
  return core.HEAPU8.slice(ptr, ptr + size);
}
const text = (ptr) => core.UTF8ToString(ptr);

// Each picture comes with the stored bytes of the images it refers to.
function picture(ptr) {
  const list = bytes(ptr), images = [];
  for (let k = 0, n = core._kv_image_count(); k < n; ++k)
    images.push({ bytes: bytes(core._kv_image(k)), gzip: core._kv_image_gzip(k) === 1 });
  return { list, images };
}

const operations = {
  reset() { core._kv_reset(); return true; },
  open(name, data, folder) {
    core.FS.mkdirTree(folder);
    const path = `${folder}/${name}`;
    core.FS.writeFile(path, data);
    const index = core.ccall("kv_open", "number", ["string"], [path]);
    // The drawing is in the core's memory now: its file would only hold a second copy.
    core.FS.unlink(path);
    if (index < 0) return { error: text(core._kv_result()) };
    return { index };
  },
  plan(options) { return text(core.ccall("kv_plan", "number", ["string"], [options])); },
  planPicture(d, dpi) { return picture(core._kv_plan_picture(d, dpi)); },
  sheetPicture(d, k, color) { return picture(core._kv_sheet_picture(d, k, color)); },
  // The written sheets of drawing d by sheet index; failures as their reasons.
  writeSheets(d) {
    const lines = text(core._kv_write_sheets(d)).split("\n"), files = [], failures = [];
    lines.forEach((line, k) => {
      if (line.startsWith("ok ")) {
        const path = line.slice(3);
        files[k] = core.FS.readFile(path);
        core.FS.unlink(path);
      } else if (line.startsWith("fail ")) {
        failures.push(line.slice(5));
      }
    });
    return { files, failures };
  },
  sheetDxf(d, k) {
    const dxf = bytes(core._kv_sheet_dxf(d, k)), images = [];
    for (let i = 0, n = core._kv_dxf_image_count(); i < n; ++i)
      images.push({ name: text(core._kv_dxf_image_name(i)), bytes: bytes(core._kv_dxf_image(i)) });
    return { dxf, images };
  },
  example() {
    core.FS.mkdirTree("/example");
    core.ccall("kv_make_example", "number", ["string"], ["/example/example.jww"]);
    return core.FS.readFile("/example/example.jww");
  },
  memory() { return core.HEAPU8.length; },
};

// Typed arrays in a result are handed over to the page.
function transferables(value, out = []) {
  if (value instanceof Uint8Array) out.push(value.buffer);
  else if (Array.isArray(value)) value.forEach((v) => transferables(v, out));
  else if (value && typeof value === "object") Object.values(value).forEach((v) => transferables(v, out));
  return out;
}

onmessage = async (e) => {
  const { id, op, args } = e.data;
  try {
    await ready;
    const result = operations[op](...args);
    postMessage({ id, result }, transferables(result));
  } catch (error) {
    postMessage({ id, error: String(error) });
  }
};
ready.then(() => postMessage({ ready: true }), (e) => postMessage({ failed: String(e) }));
