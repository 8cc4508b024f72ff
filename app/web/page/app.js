// The page: opens drawings into the core (kelvane.wasm), shows the plan and each sheet on a
// canvas, lists the sheets as the dry run lists them, downloads and prints them. Nothing is
// sent anywhere: the files are read by the browser and stay in this page's memory.
"use strict";

const texts = {
  ja: {
    tagline: "Jw_cad の図面を用紙枠ごとに分割", privacy: "図面はこのコンピューターの外に送られません",
    open: "JWW ファイルを開く…", example: "例の図面", drop: "JWW ファイルをここにドロップしても開けます。",
    options: "分割の設定", pattern: "ファイル名", separator: "区切り文字", start: "開始番号", zeros: "番号の頭に 0 を付ける",
    direction: "番号の順", rows: "行ごと（上から）", columns: "列ごと（左から）", frame: "用紙枠を描く",
    margin: "余白 (mm)", compact: "空の枠を番号から詰める", plan: "配置図", fit: "全体表示", print: "この用紙を印刷",
    zip: "すべて ZIP で保存", empty: "JWW ファイルを開くと配置図が表示されます。", number: "番号", name: "名前",
    paper: "用紙", file: "ファイル名", jww: "JWW", dxf: "DXF", view: "表示", notWritten: "（書き出さない）",
    emptySheet: "（空の枠：書き出さない）", frames: "枠", loading: "読み込み中…", cannotOpen: "開けませんでした",
    opened: "開きました", ready: "準備ができました", coreFailed: "分割の部品を読み込めませんでした", sheetTitle: "用紙",
    notJww: "JWW ファイルではありません",
  },
  en: {
    tagline: "splits Jw_cad drawings into one drawing per paper frame", privacy: "Your drawings never leave this computer",
    open: "Open JWW files…", example: "Example drawing", drop: "You can also drop JWW files here.",
    options: "Split options", pattern: "File names", separator: "Separator", start: "Start number",
    zeros: "Leading zeros", direction: "Numbering", rows: "by rows (from the top)", columns: "by columns (from the left)",
    frame: "Draw the paper frame", margin: "Margin (mm)", compact: "Close gaps of empty frames", plan: "Plan",
    fit: "Fit", print: "Print this sheet", zip: "Save all as ZIP", empty: "Open a JWW file to see its plan.",
    number: "No.", name: "Name", paper: "Paper", file: "File name", jww: "JWW", dxf: "DXF", view: "View",
    notWritten: "(not written)", emptySheet: "(empty frame: not written)", frames: "frames", loading: "Loading…",
    cannotOpen: "Cannot open", opened: "Opened", ready: "Ready", coreFailed: "The splitter could not be loaded",
    sheetTitle: "Sheet", notJww: "not a JWW drawing",
  },
};
let lang = localStorage.getItem("kelvane.lang") || "ja";
const t = (key) => texts[lang][key] || key;

function applyTexts() {
  document.documentElement.lang = lang;
  for (const el of document.querySelectorAll("[data-t]")) el.textContent = t(el.dataset.t);
  document.getElementById("lang").textContent = lang === "ja" ? "English" : "日本語";
  renderTable();
}

function message(text, error) {
  const p = document.createElement("p");
  p.textContent = text;
  if (error) p.className = "error";
  const box = document.getElementById("messages");
  box.prepend(p);
  while (box.children.length > 8) box.lastChild.remove();
}

// The core and its C API.
let core = null;
const api = {};
function bytesOfResult(ptr) {
  const size = core._kv_result_size();
  return core.HEAPU8.slice(ptr, ptr + size);
}

// Open drawings: {name, bytes}; the plans the core made of them; what the viewer shows.
const drawings = [];
let plans = [];
let shown = null;  // {kind: "plan"|"sheet", drawing, sheet}

// Options, remembered in the browser.
const optionNames = ["pattern", "separator", "start", "zeros", "direction", "frame", "margin", "compact"];
function readOptions() {
  const form = document.getElementById("options").elements, o = {};
  for (const n of optionNames) o[n] = form[n].type === "checkbox" ? (form[n].checked ? "1" : "0") : form[n].value;
  return o;
}
function writeOptions(o) {
  const form = document.getElementById("options").elements;
  for (const n of optionNames) {
    if (o[n] === undefined) continue;
    if (form[n].type === "checkbox") form[n].checked = o[n] === "1"; else form[n].value = o[n];
  }
}
function optionsText(o) { return optionNames.map((n) => `${n}=${o[n]}`).join("\n"); }

function replan() {
  const o = readOptions();
  localStorage.setItem("kelvane.options", JSON.stringify(o));
  if (!core) return;
  const json = core.UTF8ToString(core.ccall("kv_plan", "number", ["string"], [optionsText(o)]));
  try { plans = JSON.parse(json); } catch (e) { plans = []; message(json, true); }
  renderTable();
  if (shown && shown.kind === "sheet") showPlan(shown.drawing); else if (drawings.length) showPlan(shown ? shown.drawing : 0);
  document.getElementById("zipAll").disabled = !plans.some((p) => p.sheets.some((s) => s.file));
}

// Writes the file into the core's memory file system and loads it there.
function openDrawing(name, bytes) {
  const folder = `/in/${drawings.length}`;
  core.FS.mkdirTree(folder);
  const path = `${folder}/${name}`;
  core.FS.writeFile(path, bytes);
  const index = core.ccall("kv_open", "number", ["string"], [path]);
  if (index < 0) {
    const reason = core.UTF8ToString(core._kv_result());
    message(`${t("cannotOpen")}: ${name} (${reason})`, true);
    core.FS.unlink(path);
    return false;
  }
  drawings.push({ name, path });
  message(`${t("opened")}: ${name}`);
  return true;
}

async function openFiles(files) {
  if (!core) return;
  let any = false;
  for (const file of files) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const started = performance.now();
    if (openDrawing(file.name, bytes)) any = true;
    window.kelvaneTimings.push({ name: file.name, size: bytes.length, openMs: performance.now() - started });
  }
  if (any) {
    const started = performance.now();
    replan();
    window.kelvaneTimings.push({ planMs: performance.now() - started });
    showPlan(drawings.length - 1);
  }
}

const paperNames = { 0: "A0", 1: "A1", 2: "A2", 3: "A3", 4: "A4", 8: "2A", 9: "3A", 10: "4A", 11: "5A", 12: "10m", 13: "50m", 14: "100m" };
function paperText(s) { return `${paperNames[s.paper] || s.paper} (${Math.round(s.pageWidth)}×${Math.round(s.pageHeight)} mm)`; }

function renderTable() {
  const body = document.querySelector("#sheets tbody");
  body.textContent = "";
  plans.forEach((plan, d) => {
    const head = body.insertRow();
    head.className = "drawing";
    const cell = head.insertCell();
    cell.colSpan = 5;
    cell.textContent = `${plan.source}: ${plan.frames} ${t("frames")}`;
    plan.sheets.forEach((s, k) => {
      const row = body.insertRow();
      row.dataset.drawing = d;
      row.dataset.sheet = k;
      if (shown && shown.kind === "sheet" && shown.drawing === d && shown.sheet === k) row.className = "selected";
      row.insertCell().textContent = s.number;
      row.insertCell().textContent = s.name;
      row.insertCell().textContent = paperText(s);
      const file = row.insertCell();
      file.className = "file";
      if (s.file) file.textContent = s.file;
      else { file.textContent = s.decision === "empty" ? t("emptySheet") : `${t("notWritten")} ${s.note}`; file.classList.add("muted"); }
      const actions = row.insertCell();
      const button = (label, action) => {
        const b = document.createElement("button");
        b.type = "button";
        b.textContent = t(label);
        b.dataset.action = action;
        actions.append(b, " ");
      };
      button("view", "view");
      if (s.file) { button("jww", "jww"); button("dxf", "dxf"); }
    });
  });
}

document.querySelector("#sheets tbody").addEventListener("click", (e) => {
  const b = e.target.closest("button");
  if (!b) return;
  const row = b.closest("tr"), d = +row.dataset.drawing, k = +row.dataset.sheet;
  if (b.dataset.action === "view") showSheet(d, k);
  else if (b.dataset.action === "jww") download(plans[d].sheets[k].file, sheetFiles(d)[k]);
  else if (b.dataset.action === "dxf") {
    download(plans[d].sheets[k].file.replace(/\.jww$/i, ".dxf"), sheetDxf(d, k));
    for (const image of dxfImages()) download(image.name, image.bytes);
  }
});

// The sheets of drawing d, written by the core as the command line writes them: bytes by sheet.
function sheetFiles(d) {
  const lines = core.UTF8ToString(core.ccall("kv_write_sheets", "number", ["number"], [d])).split("\n");
  const files = [];
  lines.forEach((line, k) => {
    if (line.startsWith("ok ")) {
      const path = line.slice(3);
      files[k] = core.FS.readFile(path);
      core.FS.unlink(path);
    } else if (line.startsWith("fail ")) {
      message(line.slice(5), true);
    }
  });
  return files;
}
function sheetDxf(d, k) { return bytesOfResult(core.ccall("kv_sheet_dxf", "number", ["number", "number"], [d, k])); }
// The image files the last DXF refers to: [{name, bytes}].
function dxfImages() {
  const images = [];
  for (let k = 0, n = core._kv_dxf_image_count(); k < n; ++k) {
    const name = core.UTF8ToString(core._kv_dxf_image_name(k));
    images.push({ name, bytes: bytesOfResult(core._kv_dxf_image(k)) });
  }
  return images;
}

function download(name, bytes) {
  if (!bytes) return;
  const blob = bytes instanceof Blob ? bytes : new Blob([bytes], { type: "application/octet-stream" });
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

document.getElementById("zipAll").addEventListener("click", () => {
  const entries = [];
  plans.forEach((plan, d) => {
    const files = sheetFiles(d);
    plan.sheets.forEach((s, k) => {
      if (!files[k]) return;
      entries.push({ name: s.file, bytes: files[k] });
      entries.push({ name: s.file.replace(/\.jww$/i, ".dxf"), bytes: sheetDxf(d, k) });
      entries.push(...dxfImages());
    });
  });
  const base = plans.length === 1 ? plans[0].source.replace(/\.jww$/i, "") : "kelvane";
  download(`${base}-sheets.zip`, KvZip.make(entries));
});

// The viewer: one display list, panned and zoomed; drawn again from its vectors on every change.
const viewer = { list: null, scale: 1, ox: 0, oy: 0, pending: false };
const canvas = document.getElementById("canvas");

function resizeCanvas() {
  const dpr = window.devicePixelRatio || 1;
  canvas.width = Math.max(1, Math.round(canvas.clientWidth * dpr));
  canvas.height = Math.max(1, Math.round(canvas.clientHeight * dpr));
}
function redraw() {
  if (viewer.pending) return;
  viewer.pending = true;
  requestAnimationFrame(() => {
    viewer.pending = false;
    const ctx = canvas.getContext("2d");
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.fillStyle = "#888";
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    if (viewer.list) KvDisplayList.draw(ctx, viewer.list, viewer.scale, viewer.ox, viewer.oy, window.devicePixelRatio || 1);
  });
}
function fit() {
  if (!viewer.list) return;
  resizeCanvas();
  const m = 16 * (window.devicePixelRatio || 1);
  viewer.scale = Math.min((canvas.width - 2 * m) / viewer.list.width, (canvas.height - 2 * m) / viewer.list.height);
  viewer.ox = (canvas.width - viewer.list.width * viewer.scale) / 2;
  viewer.oy = (canvas.height + viewer.list.height * viewer.scale) / 2;
  redraw();
}
// The images the last picture refers to, decoded by the browser (gzip through its
// DecompressionStream); the list is drawn again as each arrives.
function loadImages(list) {
  list.bitmaps = [];
  const waits = list.images.map(async (_, k) => {
    const bytes = bytesOfResult(core._kv_image(k));
    if (!bytes.length) return;
    let blob = new Blob([bytes]);
    try {
      if (core._kv_image_gzip(k)) blob = await new Response(blob.stream().pipeThrough(new DecompressionStream("gzip"))).blob();
      list.bitmaps[k] = await createImageBitmap(blob);
    } catch (e) {
      // An image the browser cannot decode stays an outline.
    }
  });
  return Promise.all(waits);
}
function show(bytes, title) {
  viewer.list = KvDisplayList.read(bytes.buffer);
  const list = viewer.list;
  loadImages(list).then(() => { if (viewer.list === list) redraw(); });
  document.getElementById("empty").hidden = true;
  document.getElementById("viewTitle").textContent = title;
  fit();
}
function showPlan(d) {
  if (d < 0 || d >= drawings.length) return;
  shown = { kind: "plan", drawing: d };
  show(bytesOfResult(core.ccall("kv_plan_picture", "number", ["number", "number"], [d, 96])), `${t("plan")}: ${drawings[d].name}`);
  document.getElementById("printSheet").disabled = true;
  renderTable();
}
function sheetList(d, k) { return bytesOfResult(core.ccall("kv_sheet_picture", "number", ["number", "number", "number"], [d, k, -1])); }
function showSheet(d, k) {
  shown = { kind: "sheet", drawing: d, sheet: k };
  const s = plans[d].sheets[k];
  show(sheetList(d, k), `${t("sheetTitle")} ${s.number} ${s.name} — ${paperText(s)}`);
  document.getElementById("printSheet").disabled = false;
  renderTable();
}
function zoomAt(x, y, factor) {
  viewer.ox = x - (x - viewer.ox) * factor;
  viewer.oy = y - (y - viewer.oy) * factor;
  viewer.scale *= factor;
  redraw();
}
canvas.addEventListener("wheel", (e) => {
  e.preventDefault();
  const dpr = window.devicePixelRatio || 1, r = canvas.getBoundingClientRect();
  zoomAt((e.clientX - r.left) * dpr, (e.clientY - r.top) * dpr, Math.exp(-e.deltaY * 0.0015));
}, { passive: false });
const pointers = new Map();
canvas.addEventListener("pointerdown", (e) => { canvas.setPointerCapture(e.pointerId); pointers.set(e.pointerId, [e.clientX, e.clientY]); });
canvas.addEventListener("pointermove", (e) => {
  if (!pointers.has(e.pointerId)) return;
  const dpr = window.devicePixelRatio || 1, before = [...pointers.values()];
  pointers.set(e.pointerId, [e.clientX, e.clientY]);
  const after = [...pointers.values()];
  if (after.length === 1) {
    viewer.ox += (after[0][0] - before[0][0]) * dpr;
    viewer.oy += (after[0][1] - before[0][1]) * dpr;
    redraw();
  } else if (after.length === 2) {
    // Two fingers: zoom about their middle by the change of their distance, and follow it.
    const mid = (p) => [(p[0][0] + p[1][0]) / 2, (p[0][1] + p[1][1]) / 2];
    const dist = (p) => Math.hypot(p[0][0] - p[1][0], p[0][1] - p[1][1]) || 1;
    const r = canvas.getBoundingClientRect(), m0 = mid(before), m1 = mid(after);
    viewer.ox += (m1[0] - m0[0]) * dpr;
    viewer.oy += (m1[1] - m0[1]) * dpr;
    zoomAt((m1[0] - r.left) * dpr, (m1[1] - r.top) * dpr, dist(after) / dist(before));
  }
});
const release = (e) => pointers.delete(e.pointerId);
canvas.addEventListener("pointerup", release);
canvas.addEventListener("pointercancel", release);
canvas.addEventListener("dblclick", fit);
window.addEventListener("resize", () => { const w = canvas.width, h = canvas.height; resizeCanvas(); if (w !== canvas.width || h !== canvas.height) fit(); });

// Printing 1:1: the sheet drawn at print resolution into an image exactly the paper's size in
// millimetres, on a page of that size (CSS @page), with no margin.
function printSheet() {
  if (!shown || shown.kind !== "sheet") return;
  const s = plans[shown.drawing].sheets[shown.sheet];
  const list = KvDisplayList.read(sheetList(shown.drawing, shown.sheet).buffer);
  loadImages(list).then(() => printList(list, s));
}
function printList(list, s) {
  // 300 dpi, less for large paper so that the picture stays within what a canvas holds.
  const dpi = Math.min(300, Math.sqrt(40e6 / (list.width * list.height)) * 25.4);
  const print = document.createElement("canvas");
  print.width = Math.round(list.width / 25.4 * dpi);
  print.height = Math.round(list.height / 25.4 * dpi);
  const scale = print.width / list.width;
  KvDisplayList.draw(print.getContext("2d"), list, scale, 0, list.height * scale, dpi / 96);
  print.toBlob((blob) => {
    const area = document.getElementById("printArea");
    area.textContent = "";
    const img = document.createElement("img");
    img.style.width = `${list.width}mm`;
    img.style.height = `${list.height}mm`;
    img.onload = () => window.print();
    img.src = URL.createObjectURL(blob);
    area.append(img);
    let style = document.getElementById("pageSize");
    if (!style) { style = document.createElement("style"); style.id = "pageSize"; document.head.append(style); }
    style.textContent = `@page { size: ${list.width}mm ${list.height}mm; margin: 0; }`;
    window.kelvanePrint = { width: list.width, height: list.height, number: s.number };
  });
}

// Start-up.
window.kelvaneTimings = [];
const saved = localStorage.getItem("kelvane.options");
if (saved) { try { writeOptions(JSON.parse(saved)); } catch (e) { /* a broken entry is forgotten */ } }
applyTexts();
document.getElementById("lang").addEventListener("click", () => {
  lang = lang === "ja" ? "en" : "ja";
  localStorage.setItem("kelvane.lang", lang);
  applyTexts();
});
document.getElementById("options").addEventListener("change", replan);
document.getElementById("files").addEventListener("change", (e) => {
  openFiles([...e.target.files]);
  e.target.value = "";  // the same file can be chosen again
});
document.getElementById("showPlan").addEventListener("click", () => showPlan(shown ? shown.drawing : 0));
document.getElementById("fit").addEventListener("click", fit);
document.getElementById("printSheet").addEventListener("click", printSheet);
document.getElementById("example").addEventListener("click", () => {
  core.FS.mkdirTree("/example");
  core.ccall("kv_make_example", "number", ["string"], ["/example/example.jww"]);
  const bytes = core.FS.readFile("/example/example.jww");
  openFiles([new File([bytes], "example.jww")]);
});
window.addEventListener("dragover", (e) => { e.preventDefault(); document.body.classList.add("dragging"); });
window.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
window.addEventListener("drop", (e) => {
  e.preventDefault();
  document.body.classList.remove("dragging");
  openFiles([...e.dataTransfer.files]);
});
const coreStarted = performance.now();
KelvaneModule().then((m) => {
  core = m;
  window.kelvaneTimings.push({ coreMs: performance.now() - coreStarted });
  document.body.dataset.ready = "1";
  message(t("ready"));
}, (e) => message(`${t("coreFailed")}: ${e}`, true));
