"use strict";
const token = new URLSearchParams(location.search).get("token") || "";
const AX = ["X", "Y", "Z"], MOVING = [0x10, 0x20, 0x40];
const FAULTS = [["silent", 1, 1, 0], ["stall status", 2, 2, 12], ["corrupt check", 3, 4, 3],
                ["never ready", 4, 8, 0]];
const COMMANDS = {0x01: "home", 0x02: "home (01)", 0x03: "move", 0x04: "constant speed",
  0x10: "slice", 0x21: "control mode", 0x22: "speed parameters", 0x23: "directions",
  0x24: "servo on", 0x2A: "set zero", 0x2B: "preset", 0x2C: "NC", 0x30: "system reset",
  0x31: "stop", 0x32: "system reset", 0x33: "decelerate", 0x40: "link test"};
const cards = [];  // per card: {el, path: [[x,y]...], state}

function send(params, options) {
  params.token = token;
  return fetch("/command?" + new URLSearchParams(params), Object.assign({method: "POST"}, options));
}
// The emergency stop is pressed again until the machine's state shows it latched: a
// press lost on the way (closed unanswered, refused, no answer within a second) is sent
// again every 250 ms, one answered 204 again after a second without the latch in view.
// Meanwhile the page says "not confirmed". Releasing ends it.
const ESTOP_AGAIN_MS = 250, ESTOP_CONFIRM_MS = 1000;
function pressEstop(i) {
  const card = cards[i];
  card.stopping = true;
  card.stopDone = false;  // a press answered 204: the state after it confirms
  showEstop(i);
  if (card.pressing) return;
  card.pressing = true;
  card.presses = 0;
  (async () => {
    while (card.stopping) {
      let ok = false;
      card.presses = (card.presses || 0) + 1;
      showEstop(i);
      try {
        ok = (await send({card: i, do: "estop"}, {signal: AbortSignal.timeout(ESTOP_CONFIRM_MS)})).ok;
      } catch (e) { /* lost on the way: again */ }
      if (ok) card.stopDone = true;
      showEstop(i);
      const until = Date.now() + (ok ? ESTOP_CONFIRM_MS : ESTOP_AGAIN_MS);
      while (card.stopping && Date.now() < until) await new Promise((r) => setTimeout(r, 25));
    }
    card.pressing = false;
  })();
}
function releaseEstop(i) {
  cards[i].stopping = false;
  showEstop(i);
  send({card: i, do: "release"});
}
function showEstop(i) {
  const card = cards[i], c = card.state || {}, q = (s) => `c${i}-${s}`;
  if (c.estop && card.stopDone) card.stopping = false;
  const pressing = card.stopping && !c.estop;
  const words = c.estop ? "PRESSED: no axis moves until released"
       : pressing ? `PRESSED, not confirmed yet: pressing again (${card.presses || 0} sent)` : "released";
  const ids = i === 0 ? [q("estop-state"), "top-estop-state"] : [q("estop-state")];
  for (const id of ids) {
    text(id, words);
    document.getElementById(id).className = c.estop || pressing ? "pressed" : "";
  }
  document.getElementById(q("release")).disabled = !c.estop && !pressing;
  if (i === 0) document.getElementById("top-release").disabled = !c.estop && !pressing;
}
// The top bar's emergency stop is card 0's, always in view; before the machine's first
// state it is sent as it is (pressed again once the card is known).
function topEstop() {
  if (cards[0]) pressEstop(0);
  else send({card: 0, do: "estop"});
}
document.getElementById("top-estop").onclick = topEstop;
document.getElementById("top-release").onclick = () => cards[0] && releaseEstop(0);
function el(tag, attrs, ...kids) {
  const e = document.createElement(tag);
  for (const k in attrs || {}) k === "onclick" ? e.onclick = attrs[k] : e.setAttribute(k, attrs[k]);
  for (const k of kids) e.append(k);
  return e;
}
// ---- Jog and homing (an idle machine: korva3 panel) and units ---------------------------
const STEPS = {mm: [0.01, 0.1, 1, 10], pulses: [1, 10, 100, 1000]};
function unitsOf(i) {  // {mm, scale: [x, y, z] pulses per mm}
  const op = cards[i] && cards[i].op, scale = op ? op.scale : [0, 0, 0];
  return {mm: scale.every((v) => v > 0), scale: scale};
}
function stepPulses(i, k) {
  const u = unitsOf(i), step = STEPS[u.mm ? "mm" : "pulses"][cards[i].step];
  return u.mm ? Math.round(step * u.scale[k]) : step;
}
function jogSend(i, params) {
  send(Object.assign({card: i}, params)).then((r) => {
    if (!r.ok) r.text().then((t) => text(`c${i}-jognote`, t.trim()));
  });
}
function makeJog(i) {
  const q = (s) => `c${i}-${s}`;
  const steps = [0, 1, 2, 3].map((n) => el("button", {class: "step", id: q("step" + n),
    title: "each press of a jog button moves the axis by exactly this much",
    onclick: () => { cards[i].step = n; showJog(i); }}));
  const axes = AX.map((a, k) => el("div", {class: "row"}, el("span", {class: "axis"}, a),
    el("button", {class: "dir", id: q("jog" + a + "minus"), onclick: () => jogSend(i, {do: "jog", axis: k + 1, pulses: -stepPulses(i, k)})}, a + "-"),
    el("button", {class: "dir", id: q("jog" + a + "plus"), onclick: () => jogSend(i, {do: "jog", axis: k + 1, pulses: stepPulses(i, k)})}, a + "+"),
    el("button", {id: q("home" + a), title: `run ${a} to its home switch, which becomes position 0`,
                  onclick: () => jogSend(i, {do: "homing", axis: k + 1})}, "home " + a)));
  return el("div", {class: "jog", id: q("jog"), hidden: ""},
    el("h3", {}, "Jog and home"),
    el("div", {class: "row"}, el("span", {class: "label"}, "step"), ...steps),
    ...axes,
    el("div", {class: "row"}, el("button", {id: q("homeall"), title: "Z first, then X, then Y",
      onclick: () => jogSend(i, {do: "homing", axis: 0})}, "home all (Z, X, Y)")),
    el("div", {class: "state", id: q("jogstate")}), el("div", {class: "note", id: q("jognote")}));
}
function showJog(i) {  // the step buttons' labels and choice
  const u = unitsOf(i), list = STEPS[u.mm ? "mm" : "pulses"];
  list.forEach((v, n) => {
    const b = document.getElementById(`c${i}-step${n}`);
    text(b.id, `${v} ${u.mm ? "mm" : "pulses"}`);
    b.classList.toggle("on", cards[i].step === n);
    b.disabled = u.mm && u.scale.some((s) => Math.round(v * s) < 1); // below one pulse
  });
}
function renderJog(i, c, op, offered) {
  const q = (s) => `c${i}-${s}`, box = document.getElementById(q("jog"));
  box.hidden = !offered;
  if (!offered) return;
  showJog(i);
  const moving = c.status & 0x71;
  const why = c.estop ? "jog and homing refused: the emergency stop is pressed (release it first)"
            : op.busy || moving ? "a jog or homing runs: wait for it to end" : "";
  for (const b of box.querySelectorAll("button:not(.step)")) b.disabled = !!why;
  text(q("jogstate"), why || "ready: each press moves the axis by exactly one step");
  document.getElementById(q("jogstate")).classList.toggle("refused", !!c.estop);
  text(q("jognote"), op.note);
}
// Speeds from the actual positions over the last 150 ms or more of machine time.
function speeds(card, clock, act) {
  const h = card.history = (card.history || []).filter((e) => e[0] <= clock);
  h.push([clock, ...act]);
  while (h.length > 2 && h[1][0] <= clock - 150) h.shift();
  const [t0, ...a0] = h[0], dt = clock - t0;
  return act.map((v, k) => (dt > 0 ? (v - a0[k]) / dt : 0)); // pulses per ms
}
function renderUnits(i, c) {
  const q = (s) => `c${i}-${s}`, u = unitsOf(i), card = cards[i];
  for (const e of card.el.querySelectorAll(".unit")) if (e.textContent !== (u.mm ? "mm" : "pulses")) e.textContent = u.mm ? "mm" : "pulses";
  for (const e of card.el.querySelectorAll(".vunit")) if (e.textContent !== (u.mm ? "mm/min" : "pulses/s")) e.textContent = u.mm ? "mm/min" : "pulses/s";
  const v = speeds(card, c.clock, c.act).map((p, k) => (u.mm ? p * 60000 / u.scale[k] : p * 1000));
  for (let k = 0; k < 3; k++) {
    text(q("pos" + k), u.mm ? (c.pos[k] / u.scale[k]).toFixed(3) : String(c.pos[k]));
    text(q("fb" + k), u.mm ? (c.act[k] / u.scale[k]).toFixed(3) : String(c.act[k]));
    text(q("v" + k), String(Math.round(v[k])));
  }
  text(q("pathspeed"), `${Math.round(Math.hypot(...v))} ${u.mm ? "mm/min" : "pulses/s"}`);
}
function makeCard(i) {
  const q = (s) => `c${i}-${s}`;
  const rows = AX.map((a, k) => el("tr", {}, el("th", {}, a),
    el("td", {class: "num", id: q("pos" + k)}), el("td", {class: "num", id: q("fb" + k)}),
    el("td", {class: "num", id: q("v" + k)}),
    el("td", {}, el("span", {class: "lamp green", id: q("mov" + k)})),
    el("td", {}, el("span", {class: "lamp red", id: q("lim" + (2 * k))}),
                  el("span", {class: "lamp red", id: q("lim" + (2 * k + 1))}))));
  const table = el("table", {}, el("tr", {}, el("th", {}, "axis"),
    el("th", {title: "where the card is told to go: the axis plus the slices queued and the rest of a move"},
       "commanded (", el("span", {class: "unit"}, "pulses"), ")"),
    el("th", {title: "where the axis stands now"}, "actual (", el("span", {class: "unit"}, "pulses"), ")"),
    el("th", {title: "how fast the axis moves now"}, "speed (", el("span", {class: "vunit"}, "pulses/s"), ")"),
    el("th", {}, "moving"), el("th", {}, "limit -/+")), ...rows);
  const switches = AX.map((a, k) => el("div", {class: "row"},
    ...[["limit_low", `limit switch ${a}-`, 1], ["limit_high", `limit switch ${a}+`, 2], ["home", `home switch ${a}`, 4]]
      .map(([what, label, bit]) => el("button", {id: q(what + k), "data-bit": bit,
        title: "press to hold the switch closed, press again to let it go",
        onclick: (ev) => send({card: i, do: what, axis: k + 1,
                                on: ev.target.classList.contains("on") ? 0 : 1})}, label))));
  const inputs = [...Array(8).keys()].map((b) => el("button", {id: q("in" + b),
    onclick: (ev) => send({card: i, do: "input", bit: b,
                            on: ev.target.classList.contains("on") ? 0 : 1})}, "I" + b));
  const outputs = [...Array(8).keys()].map((b) => el("span", {title: b === 7 ? "reset line" : "O" + b},
    el("span", {class: b === 7 ? "lamp red" : "lamp", id: q("out" + b)}), b === 7 ? " R " : ` ${b} `));
  const faults = FAULTS.map(([name, kind, bit, n]) => el("button", {id: q("fault" + kind),
    "data-bit": bit, onclick: () => send({card: i, do: "fault", kind: kind, n: n})}, name));
  faults.push(el("button", {id: q("fault0"), onclick: () => send({card: i, do: "fault", kind: 0})},
                 "clear faults"));
  const left = el("div", {}, table,
    el("div", {class: "row"}, el("span", {class: "label"}, "path speed"), el("span", {id: q("pathspeed")}, "0")),
    el("div", {class: "row"}, el("span", {class: "label"}, "busy"), el("span", {class: "lamp green", id: q("busy")}),
      el("span", {class: "label gap"}, "queue"), el("span", {class: "queue"}, el("div", {id: q("qbar")})), " ", el("span", {id: q("queue")})),
    el("div", {class: "row"}, el("span", {class: "label"}, "frames"), el("span", {id: q("frames")}),
      el("span", {class: "label gap"}, "last command"), el("span", {id: q("last")})),
    el("div", {class: "row"}, el("span", {class: "label"}, "link"), el("span", {id: q("link")}),
      el("span", {class: "label gap"}, "resets"), el("span", {id: q("resets")})),
    el("div", {class: "row"}, el("span", {class: "label"}, "outputs"), ...outputs));
  const right = el("div", {}, el("canvas", {id: q("xy"), width: 360, height: 300}),
    el("div", {class: "row"}, el("span", {id: q("extent")})));
  const operator = el("section", {class: "part operator", id: q("operator")},
    el("h3", {}, "Operator"),
    el("div", {class: "row", style: "display:flex;gap:1em;align-items:center"},
      el("button", {class: "estop", id: q("estop"), onclick: () => pressEstop(i)}, "EMERGENCY STOP"),
      el("div", {}, el("div", {class: "row"}, el("span", {id: q("estop-state")}, "released")),
        el("button", {id: q("release"), title: "let the emergency stop go: the axes may move again",
                      onclick: () => releaseEstop(i)}, "release emergency stop")),
      makeJog(i)));
  const bench = el("section", {class: "part bench", id: q("bench")},
    el("h3", {}, "Simulated machine (test bench)"),
    el("p", {class: "note"}, "Not controls: what happens on the machine. Each button holds a switch closed until pressed again."),
    ...switches,
    el("div", {class: "row"}, el("span", {class: "label"}, "inputs"), ...inputs),
    el("div", {class: "row"}, el("span", {class: "label"}, "faults"), ...faults));
  const box = el("section", {class: "card", id: "card" + i},
    el("h2", {id: q("title")}), left, right, operator, bench);
  document.getElementById("cards").append(box);
  return {el: box, path: []};
}
function lamp(id, on) { const e = document.getElementById(id); if (e) e.classList.toggle("on", !!on); }
function text(id, t) { const e = document.getElementById(id); if (e && e.textContent !== t) e.textContent = t; }
function hex(v) { return "0x" + v.toString(16).padStart(2, "0"); }
function draw(i) {
  const c = document.getElementById(`c${i}-xy`), g = c.getContext("2d"), p = cards[i].path;
  g.clearRect(0, 0, c.width, c.height);
  if (!p.length) return;
  let x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
  for (const [x, y] of p) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
  const span = Math.max(x1 - x0, y1 - y0, 1), m = 16;
  const s = Math.min((c.width - 2 * m) / span, (c.height - 2 * m) / span);
  const ox = m + ((c.width - 2 * m) - (x1 - x0) * s) / 2, oy = m + ((c.height - 2 * m) - (y1 - y0) * s) / 2;
  const X = (x) => ox + (x - x0) * s, Y = (y) => c.height - (oy + (y - y0) * s);
  g.strokeStyle = "#3b434c"; g.lineWidth = 1;
  if (x0 <= 0 && x1 >= 0) { g.beginPath(); g.moveTo(X(0), 0); g.lineTo(X(0), c.height); g.stroke(); }
  if (y0 <= 0 && y1 >= 0) { g.beginPath(); g.moveTo(0, Y(0)); g.lineTo(c.width, Y(0)); g.stroke(); }
  g.strokeStyle = "#4aa3ff"; g.lineWidth = 2; g.beginPath();
  g.moveTo(X(p[0][0]), Y(p[0][1]));
  for (const [x, y] of p) g.lineTo(X(x), Y(y));
  g.stroke();
  const [lx, ly] = p[p.length - 1];
  g.fillStyle = "#ffd54a"; g.beginPath(); g.arc(X(lx), Y(ly), 4, 0, 2 * Math.PI); g.fill();
  const u = unitsOf(i), f = (v, k) => (u.mm ? (v / u.scale[k]).toFixed(3) : String(v));
  text(`c${i}-extent`, `X ${f(x0, 0)}..${f(x1, 0)}  Y ${f(y0, 1)}..${f(y1, 1)} ${u.mm ? "mm" : "pulses"}`);
}
function render(m) {
  const st = m.state;
  text("clock", String(st.clock_ms));
  st.cards.forEach((c, i) => {
    if (!cards[i]) cards[i] = makeCard(i);
    const card = cards[i], q = (s) => `c${i}-${s}`;
    card.state = c;
    card.op = (st.operator && st.operator.cards && st.operator.cards[i]) || {scale: [0, 0, 0], busy: false, note: ""};
    if (card.step === undefined) card.step = 2;
    renderUnits(i, Object.assign({clock: st.clock_ms}, c));
    renderJog(i, c, card.op, !!(st.operator && st.operator.jog));
    text(q("title"), `card ${i}: PCI ${c.bus}:${c.device}, ID switch ${c.id}, I/O 0x${c.io.toString(16)}`);
    for (let k = 0; k < 3; k++) {
      lamp(q("mov" + k), c.status & MOVING[k]);
      lamp(q("lim" + 2 * k), c.limits & (1 << 2 * k)); lamp(q("lim" + (2 * k + 1)), c.limits & (2 << 2 * k));
      for (const w of ["limit_low", "limit_high", "home"]) {
        const b = document.getElementById(q(w + k)); b.classList.toggle("on", !!(c.held[k] & b.dataset.bit));
      }
    }
    lamp(q("busy"), c.status & 1);
    showEstop(i);
    text(q("queue"), `${c.queued} / ${c.queue_size}`);
    document.getElementById(q("qbar")).style.width = (100 * c.queued / c.queue_size) + "%";
    text(q("frames"), String(c.frames) + (c.bad ? ` (${c.bad} bad)` : ""));
    text(q("last"), c.frames ? `${hex(c.last)} ${COMMANDS[c.last] || ""}` : "none");
    text(q("link"), c.faults & 1 ? "silent" : c.link ? "answers" : "does not answer");
    text(q("resets"), String(c.resets));
    for (let b = 0; b < 8; b++) { document.getElementById(q("in" + b)).classList.toggle("on", !!(c.inputs & (1 << b))); lamp(q("out" + b), c.outputs & (1 << b)); }
    for (const f of FAULTS) { const b = document.getElementById(q("fault" + f[1])); b.classList.toggle("on", !!(c.faults & f[2])); }
    if (m.restart) card.path = [];
    for (const p of m.paths[i] || []) card.path.push(p);
    if (m.restart || (m.paths[i] && m.paths[i].length)) draw(i);
  });
}
const events = new EventSource("/events?token=" + encodeURIComponent(token));
events.onopen = () => { const l = document.getElementById("link"); l.textContent = "live"; l.className = "live"; };
events.onerror = () => { const l = document.getElementById("link"); l.textContent = "machine gone"; l.className = "down"; };
events.onmessage = (e) => render(JSON.parse(e.data));
