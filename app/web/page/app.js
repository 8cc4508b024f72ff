// The page: opens drawings into the core (kelvane.wasm), shows the plan and each sheet on a
// canvas, lists the sheets as the dry run lists them, downloads and prints them. Nothing is
// sent anywhere: the files are read by the browser and stay in this page's memory.
"use strict";

const texts = {
  ja: {
    tagline: "Jw_cad の図面を用紙枠ごとに分割", privacy: "図面はこのコンピューターの外に送られません",
    open: "JWW ファイルを開く…", openFolder: "フォルダーを開く…", example: "例の図面", drop: "JWW ファイルをここにドロップしても開けます。",
    options: "分割の設定", pattern: "ファイル名", separator: "区切り文字", start: "開始番号", zeros: "番号の頭に 0 を付ける",
    direction: "番号の順", rows: "行ごと（上から）", columns: "列ごと（左から）", frame: "用紙枠を描く",
    margin: "余白 (mm)", compact: "空の枠を番号から詰める", plan: "配置図", fit: "全体表示", print: "この用紙を印刷",
    zip: "すべて ZIP で保存", empty: "JWW ファイルを開くと配置図が表示されます。", number: "番号", name: "名前",
    paper: "用紙", file: "ファイル名", jww: "JWW", dxf: "DXF", view: "表示", notWritten: "（書き出さない）",
    emptySheet: "（空の枠：書き出さない）", frames: "枠", loading: "読み込み中…", cannotOpen: "開けませんでした",
    opened: "開きました", ready: "準備ができました", coreFailed: "分割の部品を読み込めませんでした", sheetTitle: "用紙",
    notJww: "JWW ファイルではありません", reading: "読み込み中", planning: "計画中", writing: "書き出し中",
    drawing: "描画中", cancel: "中止", cancelled: "中止しました。開いていた図面は閉じました。",
  },
  en: {
    tagline: "splits Jw_cad drawings into one drawing per paper frame", privacy: "Your drawings never leave this computer",
    open: "Open JWW files…", openFolder: "Open a folder…", example: "Example drawing", drop: "You can also drop JWW files here.",
    options: "Split options", pattern: "File names", separator: "Separator", start: "Start number",
    zeros: "Leading zeros", direction: "Numbering", rows: "by rows (from the top)", columns: "by columns (from the left)",
    frame: "Draw the paper frame", margin: "Margin (mm)", compact: "Close gaps of empty frames", plan: "Plan",
    fit: "Fit", print: "Print this sheet", zip: "Save all as ZIP", empty: "Open a JWW file to see its plan.",
    number: "No.", name: "Name", paper: "Paper", file: "File name", jww: "JWW", dxf: "DXF", view: "View",
    notWritten: "(not written)", emptySheet: "(empty frame: not written)", frames: "frames", loading: "Loading…",
    cannotOpen: "Cannot open", opened: "Opened", ready: "Ready", coreFailed: "The splitter could not be loaded",
    sheetTitle: "Sheet", notJww: "not a JWW drawing", reading: "Reading", planning: "Planning",
    writing: "Writing", drawing: "Drawing", cancel: "Cancel", cancelled: "Cancelled. The open drawings were closed.",
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

// The core runs in a worker (worker.js): every call is a message answered with its result, so
// the page stays responsive and can cancel work that takes too long.
let worker = null, nextCall = 1, ready = false;
const pending = new Map();
function startWorker() {
  ready = false;
  worker = new Worker("worker.js");
  worker.onmessage = (e) => {
    const m = e.data;
    if (m.ready) {
      ready = true;
      window.kelvaneTimings.push({ coreMs: performance.now() - coreStarted });
      document.body.dataset.ready = "1";
      message(t("ready"));
      return;
    }
    if (m.failed) return message(`${t("coreFailed")}: ${m.failed}`, true);
    const call = pending.get(m.id);
    if (!call) return;
    pending.delete(m.id);
    progress();
    if (m.error !== undefined) call.reject(new Error(m.error)); else call.resolve(m.result);
  };
  worker.onerror = (e) => message(`${t("coreFailed")}: ${e.message}`, true);
}
// Calls an operation of worker.js; `what` is shown while it runs.
function call(op, what, ...args) {
  return new Promise((resolve, reject) => {
    const id = nextCall++;
    pending.set(id, { resolve, reject, what });
    const transfer = args.filter((a) => a instanceof Uint8Array).map((a) => a.buffer);
    worker.postMessage({ id, op, args }, transfer);
    progress();
  });
}
// What the worker is doing, with a button that stops it.
function progress() {
  const box = document.getElementById("progress");
  const busy = [...pending.values()];
  box.hidden = busy.length === 0;
  if (busy.length) document.getElementById("progressText").textContent = busy[0].what || "…";
}
function cancel() {
  worker.terminate();
  for (const call of pending.values()) call.reject(new Error(t("cancelled")));
  pending.clear();
  drawings.length = 0;
  plans = [];
  shown = null;
  viewer.list = null;
  renderTable();
  redraw();
  progress();
  message(t("cancelled"), true);
  startWorker();
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

async function replan() {
  const o = readOptions();
  localStorage.setItem("kelvane.options", JSON.stringify(o));
  if (!ready || !drawings.length) return;
  const json = await call("plan", t("planning"), optionsText(o));
  try { plans = JSON.parse(json); } catch (e) { plans = []; message(json, true); }
  renderTable();
  document.getElementById("zipAll").disabled = !plans.some((p) => p.sheets.some((s) => s.file));
}

// Reads each file in the worker; the plan of all of them follows, then the last one's picture.
async function openFiles(files) {
  if (!ready) return;
  let any = false;
  files = files.filter((f) => /\.jww$/i.test(f.name));
  for (const [i, file] of files.entries()) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const started = performance.now();
    try {
      const r = await call("open", `${t("reading")}: ${file.name} (${i + 1}/${files.length})`, file.name, bytes,
                           `/in/${drawings.length}`);
      if (r.error !== undefined) {
        message(`${t("cannotOpen")}: ${file.name} (${r.error})`, true);
      } else {
        drawings.push({ name: file.name });
        message(`${t("opened")}: ${file.name}`);
        any = true;
      }
    } catch (e) {
      message(`${t("cannotOpen")}: ${file.name} (${e.message})`, true);
    }
    window.kelvaneTimings.push({ name: file.name, size: file.size, openMs: performance.now() - started });
  }
  if (any) {
    const started = performance.now();
    await replan();
    window.kelvaneTimings.push({ planMs: performance.now() - started });
    await showPlan(drawings.length - 1);
  }
}

// The files of a dropped folder and the folders below it.
async function filesOfEntry(entry) {
  if (entry.isFile) return [await new Promise((resolve, reject) => entry.file(resolve, reject))];
  if (!entry.isDirectory) return [];
  const reader = entry.createReader(), files = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) break;
    for (const e of batch) files.push(...(await filesOfEntry(e)));
  }
  return files;
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
  const file = plans[d].sheets[k].file;
  if (b.dataset.action === "view") showSheet(d, k);
  else if (b.dataset.action === "jww") sheetFiles(d).then((files) => download(file, files[k]));
  else if (b.dataset.action === "dxf") {
    call("sheetDxf", `${t("writing")}: ${file}`, d, k).then((r) => {
      download(file.replace(/\.jww$/i, ".dxf"), r.dxf);
      for (const image of r.images) download(image.name, image.bytes);
    });
  }
});

// The sheets of drawing d, written by the core as the command line writes them: bytes by sheet.
async function sheetFiles(d) {
  const r = await call("writeSheets", `${t("writing")}: ${drawings[d].name}`, d);
  for (const failure of r.failures) message(failure, true);
  return r.files;
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

document.getElementById("zipAll").addEventListener("click", async () => {
  const entries = [];
  for (const [d, plan] of plans.entries()) {
    const files = await sheetFiles(d);
    for (const [k, s] of plan.sheets.entries()) {
      if (!files[k]) continue;
      const r = await call("sheetDxf", `${t("writing")}: ${s.file}`, d, k);
      entries.push({ name: s.file, bytes: files[k] });
      entries.push({ name: s.file.replace(/\.jww$/i, ".dxf"), bytes: r.dxf });
      entries.push(...r.images);
    }
  }
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
// A picture from the worker: its list, with the images it refers to decoded by the browser
// (gzip through its DecompressionStream); the viewer draws it again as each image arrives.
function readPicture(r) {
  const list = KvDisplayList.read(r.list.buffer);
  list.bitmaps = [];
  list.ready = Promise.all(r.images.map(async (image, k) => {
    if (!image.bytes.length) return;
    let blob = new Blob([image.bytes]);
    try {
      if (image.gzip) blob = await new Response(blob.stream().pipeThrough(new DecompressionStream("gzip"))).blob();
      list.bitmaps[k] = await createImageBitmap(blob);
    } catch (e) {
      // An image the browser cannot decode stays an outline.
    }
  }));
  return list;
}
function show(list, title) {
  viewer.list = list;
  list.ready.then(() => { if (viewer.list === list) redraw(); });
  document.getElementById("empty").hidden = true;
  document.getElementById("viewTitle").textContent = title;
  fit();
}
async function showPlan(d) {
  if (d < 0 || d >= drawings.length) return;
  shown = { kind: "plan", drawing: d };
  const r = await call("planPicture", `${t("drawing")}: ${drawings[d].name}`, d, 96);
  show(readPicture(r), `${t("plan")}: ${drawings[d].name}`);
  document.getElementById("printSheet").disabled = true;
  renderTable();
}
async function sheetPicture(d, k) {
  return readPicture(await call("sheetPicture", `${t("drawing")}: ${plans[d].sheets[k].number}`, d, k, -1));
}
async function showSheet(d, k) {
  shown = { kind: "sheet", drawing: d, sheet: k };
  const s = plans[d].sheets[k];
  show(await sheetPicture(d, k), `${t("sheetTitle")} ${s.number} ${s.name} — ${paperText(s)}`);
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
async function printSheet() {
  if (!shown || shown.kind !== "sheet") return;
  const s = plans[shown.drawing].sheets[shown.sheet];
  const list = await sheetPicture(shown.drawing, shown.sheet);
  await list.ready;
  printList(list, s);
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
document.getElementById("options").addEventListener("change", async () => {
  await replan();
  if (drawings.length) await showPlan(shown ? shown.drawing : 0);
});
document.getElementById("cancel").addEventListener("click", cancel);
document.getElementById("folder").addEventListener("change", (e) => {
  openFiles([...e.target.files]);
  e.target.value = "";
});
document.getElementById("files").addEventListener("change", (e) => {
  openFiles([...e.target.files]);
  e.target.value = "";  // the same file can be chosen again
});
document.getElementById("showPlan").addEventListener("click", () => showPlan(shown ? shown.drawing : 0));
document.getElementById("fit").addEventListener("click", fit);
document.getElementById("printSheet").addEventListener("click", printSheet);
document.getElementById("example").addEventListener("click", async () => {
  const bytes = await call("example", t("drawing"));
  openFiles([new File([bytes], "example.jww")]);
});
window.addEventListener("dragover", (e) => { e.preventDefault(); document.body.classList.add("dragging"); });
window.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
window.addEventListener("drop", async (e) => {
  e.preventDefault();
  document.body.classList.remove("dragging");
  const entries = [...e.dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
  if (entries.every((entry) => entry)) {
    const files = [];
    for (const entry of entries) files.push(...(await filesOfEntry(entry)));
    openFiles(files);
  } else {
    openFiles([...e.dataTransfer.files]);
  }
});
const coreStarted = performance.now();
startWorker();
