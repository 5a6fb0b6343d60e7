"use strict";
// ---- The machine controller's own controls: DRO, jog, homing, touch-off, MDI, run from
// a line, programs; the operator's lines go to the program that drives the card
// (do=line), each with a number whose answer comes back in the program's state and is
// shown where it was pressed. -----------------------------------------------------------
const shop = {next: 1, pending: {}, now: null, mode: 2, history: [], hist: -1, from: 0,
              held: null, renew: null};
const JOG_STEPS = [0.01, 0.1, 1, 10];  // mm; mode 4: continuous while held
const JOG_RENEW_MS = 150;              // the controller stops a jog 500 ms after the last
const KEYS = {ArrowLeft: ["X", "-"], ArrowRight: ["X", "+"], ArrowUp: ["Y", "+"],
              ArrowDown: ["Y", "-"], PageUp: ["Z", "+"], PageDown: ["Z", "-"]};

function showAnswer(id, ok, words) {
  const e = document.getElementById(id);
  if (!e) return;
  text(id, words);
  e.className = "answer " + (ok ? "ok" : "refused");
}
function answerOf(id, r) {  // a plain request's answer: its refusal where it was pressed
  if (!r || r.ok === undefined) return;
  if (r.ok) showAnswer(id, true, "");
  else r.text().then((t) => showAnswer(id, false, "refused: " + t.trim()));
}
// A line for the program; `where`: the element its answer goes to ("": none wanted).
function line(words, where, options) {
  const id = where ? shop.next++ : 0;
  if (where) { shop.pending[id] = where; showAnswer(where, true, "sent: " + words); }
  return send({do: "line", text: `${id} ${words}`}, options).then((r) => {
    if (!r.ok && where) { delete shop.pending[id]; answerOf(where, r); }
    return r;
  }).catch(() => { if (where) showAnswer(where, false, "not sent: the machine does not answer"); });
}
function shopAnswers(now) {
  for (const [id, ok, words] of now.answers || []) {
    const where = shop.pending[id];
    if (!where) continue;
    delete shop.pending[id];
    showAnswer(where, ok, words || (ok ? "done" : "refused"));
  }
}
// Whether a control of the program can act now (the rest are off).
function jobControlFits(id, now) {
  if (!now) return false;
  const s = now.state, runs = ["running", "jogging", "homing", "MDI running"].includes(s);
  const held = s === "held" || s === "paused" || s === "holding";
  const estop = now.estop || (cards[0] && cards[0].state && cards[0].state.estop);
  if (estop) return false;
  switch (id) {
  case "job-start": return !!(job.plan && job.plan.path) && (now.idle || held);
  case "job-hold": return runs;
  case "job-resume": return s === "held" || s === "paused";
  case "job-stop": return runs || held || s === "stopping";
  default: return true;  // the override: kept for the next work when nothing runs
  }
}
function axisRow(a) {
  return el("tr", {}, el("th", {class: "ax"}, a), el("td", {class: "work", id: "dro-w" + a}, "-"),
    el("td", {class: "mach", id: "dro-m" + a}, "-"),
    el("td", {}, el("input", {id: "touch-" + a, class: "num", size: 7, placeholder: "0.000",
      title: `the value ${a}'s work position should read here (mm)`}),
      el("button", {id: "touch-set-" + a, class: "op", title: `touch-off: ${a} reads the value entered, here`,
        onclick: () => touchOff(a)}, "set " + a)));
}
function touchOff(a) {
  const v = document.getElementById("touch-" + a).value.trim() || "0";
  if (!/^-?\d+(\.\d+)?$/.test(v)) return showAnswer("shop-dro-answer", false, `touch-off: a number of mm, not "${v}"`);
  line(`touch ${a} ${v}`, "shop-dro-answer");
}
function shopPart() {
  const dro = el("section", {class: "shop", id: "shop-dro"},
    el("h3", {}, "Position ", el("span", {class: "note", id: "dro-units"}, "(mm)")),
    el("table", {class: "dro"}, el("tr", {}, el("th", {}), el("th", {}, "work"), el("th", {}, "machine"),
      el("th", {}, "touch-off")), ...["X", "Y", "Z"].map(axisRow)),
    el("div", {class: "modal", id: "dro-modal"}, "-"),
    el("div", {class: "answer", id: "shop-dro-answer"}));
  const steps = JOG_STEPS.map((v, n) => el("button", {class: "step", id: "jog-step" + n,
    onclick: () => { shop.mode = n; shopJogMode(); }}, `${v} mm`));
  steps.push(el("button", {class: "step", id: "jog-step4", title: "moves while held, stops when let go",
    onclick: () => { shop.mode = 4; shopJogMode(); }}, "hold"));
  const dir = (a, d) => {
    const b = el("button", {class: "dir op", id: `jog-${a}${d === "+" ? "plus" : "minus"}`}, a + d);
    b.addEventListener("pointerdown", (e) => { e.preventDefault(); jogPress(a, d, "button"); });
    for (const ev of ["pointerup", "pointerleave", "pointercancel"]) b.addEventListener(ev, () => jogRelease("button"));
    return b;
  };
  const jog = el("section", {class: "shop", id: "shop-jog"}, el("h3", {}, "Jog and home"),
    el("div", {class: "row"}, el("span", {class: "label"}, "step"), ...steps),
    el("div", {class: "jogpad"}, dir("Y", "+"), dir("X", "-"), dir("X", "+"), dir("Y", "-"),
      dir("Z", "+"), dir("Z", "-")),
    el("div", {class: "row"}, ...["X", "Y", "Z"].map((a) => el("button", {class: "op", id: "home-" + a,
      onclick: () => line("home " + a, "shop-jog-answer")}, "home " + a)),
      el("button", {class: "op", id: "home-all", onclick: () => line("home all", "shop-jog-answer")}, "home all")),
    el("div", {class: "answer", id: "shop-jog-answer"}));
  const mdi = el("section", {class: "shop", id: "shop-mdi"}, el("h3", {}, "MDI"),
    el("div", {class: "row"}, el("input", {id: "mdi-line", size: 34, placeholder: "G0 X10 Y10",
      title: "one G-code line (Enter sends it; Up and Down go through the history)"}),
      el("button", {class: "op", id: "mdi-send", onclick: mdiSend}, "send")),
    el("div", {class: "answer", id: "shop-mdi-answer"}), el("ol", {class: "history", id: "mdi-history"}));
  const from = el("section", {class: "shop", id: "shop-from"}, el("h3", {}, "Run from a line"),
    el("div", {class: "row"}, el("input", {id: "from-line", size: 6, placeholder: "line"}),
      el("button", {class: "op", id: "from-show", onclick: fromShow}, "show what it does"),
      el("button", {class: "op", id: "from-go", disabled: "", onclick: fromGo}, "run from here")),
    el("div", {class: "answer", id: "shop-from-answer"}));
  const programs = el("section", {class: "shop", id: "shop-programs"}, el("h3", {}, "Programs"),
    el("div", {class: "row"}, el("select", {id: "program-list"}),
      el("button", {class: "op", id: "program-open", onclick: () =>
        line("open " + document.getElementById("program-list").value, "shop-programs-answer")}, "open")),
    el("div", {class: "answer", id: "shop-programs-answer"}));
  const keys = el("section", {class: "shop keys", id: "shop-keys"}, el("h3", {}, "Keys"),
    el("div", {}, "Esc emergency stop \u00b7 Space feed hold \u00b7 \u2190 \u2192 X \u00b7 \u2191 \u2193 Y \u00b7 PgUp PgDn Z (jog while held; not while typing)"));
  const box = el("div", {id: "shop"}, dro, jog, mdi, from, programs, keys);
  document.getElementById("job").append(box);
  document.getElementById("mdi-line").addEventListener("keydown", mdiKey);
  shopJogMode();
}
function shopJogMode() {
  for (let n = 0; n <= 4; n++) document.getElementById("jog-step" + n).classList.toggle("on", shop.mode === n);
}
function mdiSend() {
  const input = document.getElementById("mdi-line"), words = input.value.trim();
  if (!words) return showAnswer("shop-mdi-answer", false, "MDI: type a G-code line first");
  line("mdi " + words, "shop-mdi-answer");
  if (shop.history[0] !== words) shop.history.unshift(words);
  shop.history.length = Math.min(shop.history.length, 20);
  shop.hist = -1;
  input.value = "";
  document.getElementById("mdi-history").replaceChildren(...shop.history.map((h) =>
    el("li", {title: "click: back into the line", onclick: () => { input.value = h; input.focus(); }}, h)));
}
function mdiKey(e) {
  const input = e.target;
  if (e.key === "Enter") { e.preventDefault(); mdiSend(); }
  else if (e.key === "ArrowUp" && shop.history.length) {
    shop.hist = Math.min(shop.hist + 1, shop.history.length - 1); input.value = shop.history[shop.hist]; e.preventDefault();
  } else if (e.key === "ArrowDown") {
    shop.hist = Math.max(shop.hist - 1, -1); input.value = shop.hist < 0 ? "" : shop.history[shop.hist]; e.preventDefault();
  }
}
function fromShow() {
  const n = Number(document.getElementById("from-line").value);
  if (!Number.isInteger(n) || n < 1) return showAnswer("shop-from-answer", false, "run from: a line number from 1");
  shop.from = n;
  line("show " + n, "shop-from-answer");
}
function fromGo() {
  if (!shop.from) return;
  line("from " + shop.from, "shop-from-answer");
  shop.from = 0;
}
// ---- Jogs: a step per press, or held: renewed while the button or key is held; let go,
// the tab hidden, the page left or the window unfocused: cancelled (and a lost
// connection stops renewing: the controller stops it at its deadline).
function jogPress(a, d, source) {
  if (!shop.now || !shop.now.idle || shop.held) return;
  if (shop.mode < 4) return line(`jog ${a} ${d}${JOG_STEPS[shop.mode]}`, "shop-jog-answer");
  shop.held = source;
  line(`jog ${a} ${d}`, "shop-jog-answer");
  shop.renew = setInterval(() => line("renew", ""), JOG_RENEW_MS);
}
function jogRelease(source) {
  if (!shop.held || (source && shop.held !== source && source !== "all")) return;
  shop.held = null;
  clearInterval(shop.renew);
  line("cancel", "", {keepalive: true});
}
function typing(e) {
  const t = e.target;
  return t && (t.tagName === "INPUT" || t.tagName === "TEXTAREA" || t.tagName === "SELECT" || t.isContentEditable);
}
document.addEventListener("keydown", (e) => {
  if (e.key === "Escape") { e.preventDefault(); topEstop(); return; }  // even while typing
  if (typing(e) || e.ctrlKey || e.altKey || e.metaKey) return;
  if (e.key === " ") {
    e.preventDefault();
    if (!e.repeat && !document.getElementById("job-hold").disabled) document.getElementById("job-hold").click();
    return;
  }
  const k = KEYS[e.key];
  if (!k) return;
  e.preventDefault();
  if (!e.repeat) jogPress(k[0], k[1], "key:" + e.key);
});
document.addEventListener("keyup", (e) => { if (KEYS[e.key]) jogRelease("key:" + e.key); });
window.addEventListener("blur", () => jogRelease("all"));
document.addEventListener("visibilitychange", () => { if (document.hidden) jogRelease("all"); });
window.addEventListener("pagehide", () => jogRelease("all"));

function shopRender(m) {
  const now = (m.state.job || {}).now, plan = job.plan;
  const box = document.getElementById("shop");
  box.hidden = !plan || plan.kind === "job" || !now;
  const top = document.getElementById("top-state");
  text("top-state", now ? now.state + (now.end ? ": " + now.end : "") : "-");
  top.className = now ? now.state : "";
  if (box.hidden) return;
  shop.now = now;
  shopAnswers(now);
  // Live from the card's actual position (the page's update rate) with the controller's
  // offset between machine and work (which changes only at rest).
  const f = (v) => (v === undefined ? "-" : (Math.round(v * 1000) / 1000 + 0).toFixed(3)), c0 = cards[job.card] && cards[job.card].state;
  const o = plan.origin || [0, 0, 0], sc = plan.scale || [0, 0, 0];
  const live = c0 && sc.every((v) => v > 0);
  ["X", "Y", "Z"].forEach((a, k) => {
    const machine = live ? (c0.act[k] - o[k]) / sc[k] : now.machine[k];
    text("dro-w" + a, f(machine - (now.machine[k] - now.work[k])));
    text("dro-m" + a, f(machine));
  });
  text("dro-units", `(${now.units}${now.homed ? ", homed" : ", not homed"})`);
  text("dro-modal", `${now.modal}  F${now.f}  T${now.tool}  ${now.spindle ? "M3" : "M5"} ${now.coolant || "M9"}`);
  const estop = now.estop || (cards[0] && cards[0].state && cards[0].state.estop);
  const ended = now.state === "ended", idle = now.idle && !estop && !ended;
  for (const b of box.querySelectorAll("button.op")) b.disabled = !idle;
  for (const b of box.querySelectorAll("button.dir")) b.disabled = !idle && !shop.held;
  document.getElementById("from-go").disabled = !idle || !shop.from;
  document.getElementById("from-show").disabled = !idle || !(plan && plan.path);
  document.getElementById("shop-from").hidden = !(plan && plan.path);
  const list = plan.programs || [];
  document.getElementById("shop-programs").hidden = !list.length;
  const select = document.getElementById("program-list");
  if (select.options.length !== list.length) select.replaceChildren(...list.map((p) => el("option", {value: p}, p)));
  const why = ended ? "the run has ended" : estop ? "the emergency stop is pressed (release it first)"
            : !now.idle ? `the machine is ${now.state}: wait, hold or stop it first` : "";
  text("shop-why", why ? "jog, homing, touch-off, MDI and run from: off while " + why : "");
  text("top-message", now.error || now.message || "");
}
function xzDraw() {
  const c = document.getElementById("job-xz"), g = c.getContext("2d");
  g.clearRect(0, 0, c.width, c.height);
  if (!job.plan || !job.plan.path) return;
  const p = job.plan.path, m = 10;
  let x0 = 0, x1 = 0, z0 = 0, z1 = 0;
  for (const [x, , , z = 0] of p) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); z0 = Math.min(z0, z); z1 = Math.max(z1, z); }
  const s = Math.min((c.width - 2 * m) / Math.max(x1 - x0, 1e-3), (c.height - 2 * m) / Math.max(z1 - z0, 1e-3));
  const X = (x) => m + (x - x0) * s, Z = (z) => c.height - m - (z - z0) * s;
  g.lineWidth = 1.5;
  let at = [0, 0];
  for (const [x, , rapid, z = 0] of p) {
    g.strokeStyle = rapid ? "#59636e" : "#8a96a3"; g.setLineDash(rapid ? [4, 4] : []);
    g.beginPath(); g.moveTo(X(at[0]), Z(at[1])); g.lineTo(X(x), Z(z)); g.stroke();
    at = [x, z];
  }
  g.setLineDash([]);
  const card = cards[job.card], o = job.plan.origin || [0, 0, 0], sc = job.plan.scale || [1, 1, 1];
  if (card && card.state) {
    const [ax, , az] = card.state.act;
    g.fillStyle = "#ffd54a"; g.beginPath(); g.arc(X((ax - o[0]) / sc[0]), Z((az - o[2]) / sc[2]), 4, 0, 2 * Math.PI); g.fill();
  }
  g.fillStyle = "#9aa5b1"; g.font = "11px system-ui"; g.fillText(`side view XZ: Z ${z0.toFixed(1)}..${z1.toFixed(1)} mm`, 6, 12);
}
shopPart();
document.getElementById("shop").prepend(el("div", {class: "note", id: "shop-why"}));
events.onmessage = (e) => { const m = JSON.parse(e.data); render(m); jobRender(m); shopRender(m); xzDraw(); };
