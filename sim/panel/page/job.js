"use strict";
const job = {plan: null, generation: -1, sent: 0, card: 0, feed: null, planImage: null};
function jobPart() {
  const operator = el("section", {class: "part operator", id: "job-ops"},
    el("h3", {}, "Operator: program"),
    el("div", {class: "row"}, el("span", {class: "label"}, "feed override"),
      el("input", {type: "range", id: "job-override", min: 1, max: 1000, value: 100,
                   title: "1 to 1000 % of the programmed feed (rapids keep their speed)"}),
      el("span", {id: "job-override-value"}, "100 %"),
      el("button", {id: "job-override-reset", title: "back to the programmed feed",
                    onclick: () => jobOverride(100)}, "100 %")),
    el("div", {class: "row"},
      el("button", {id: "job-start", title: "start the program",
                    onclick: () => send({do: "cycle_start"})}, "cycle start"),
      el("button", {id: "job-hold", title: "decelerate to rest on the path",
                    onclick: () => send({do: "hold"})}, "feed hold"),
      el("button", {id: "job-resume", title: "go on from where the path rests",
                    onclick: () => send({do: "resume"})}, "resume"),
      el("button", {id: "job-stop", title: "decelerate to rest on the path and end the program (not the emergency stop)",
                    onclick: () => send({do: "stop_program"})}, "stop program")),
    el("div", {class: "answer", id: "job-ops-answer"}));
  const left = el("div", {id: "job-left"},
    el("div", {id: "job-listing"}),
    el("div", {class: "row"}, el("span", {class: "label"}, "state"), el("span", {id: "job-state"}, "-")),
    el("div", {class: "row", id: "job-progress-row"}, el("span", {class: "label"}, "progress"),
      el("span", {class: "progress"}, el("div", {id: "job-bar"})), " ", el("span", {id: "job-progress"}, "-")),
    el("div", {class: "row", id: "job-programmed"}, el("span", {class: "label"}, "programmed"), el("span", {id: "job-feed"}, "-")),
    el("div", {class: "row"}, el("span", {class: "label"}, "path feed"), el("span", {id: "job-path-feed"}, "-")),
    el("div", {class: "row"}, el("span", {class: "label"}, "queue"), el("span", {id: "job-queue"}, "-"),
      el("span", {class: "label gap"}, "link"), el("span", {id: "job-link"}, "-")),
    operator);
  const right = el("div", {id: "job-views"}, el("canvas", {id: "job-xy", width: 440, height: 300,
                                                   title: "top view (XY), framed to the program"}),
    el("canvas", {id: "job-xz", width: 440, height: 110, title: "side view (XZ): the program's heights"}),
    el("div", {class: "legend"}, el("b", {style: "background:#6b7682"}), " planned  ",
      el("b", {style: "background:#4aa3ff"}), " executed  ", el("span", {id: "job-extent"})));
  const box = el("section", {id: "job", hidden: ""}, el("h2", {id: "job-title"}), left, right);
  for (const b of operator.querySelectorAll("button")) {  // a refusal shows where it was pressed
    const click = b.onclick;
    b.onclick = () => Promise.resolve(click()).then((r) => answerOf("job-ops-answer", r)).catch(() => {
      showAnswer("job-ops-answer", false, "not sent: the machine does not answer");
    });
  }
  document.querySelector("main").before(box);
  const slider = document.getElementById("job-override");
  slider.oninput = () => text("job-override-value", slider.value + " %");
  slider.onchange = () => jobOverride(Number(slider.value));
}
function jobOverride(p) {
  document.getElementById("job-override").value = p;
  text("job-override-value", p + " %");
  send({do: "override", percent: p}).then((r) => answerOf("job-ops-answer", r));
}
function clockText(ms) {
  const s = Math.max(0, Math.round(ms / 1000));
  return s < 60 ? `${s} s` : `${Math.floor(s / 60)} min ${String(s % 60).padStart(2, "0")} s`;
}
// Where the plan's millimetres land on the canvas (the planned path's box, square).
function jobView(c) {
  const p = job.plan.path, m = 14;
  let x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  for (const [x, y] of p) { x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
  const span = Math.max(x1 - x0, y1 - y0, 1e-3);
  const s = Math.min((c.width - 2 * m) / span, (c.height - 2 * m) / span);
  const ox = m + ((c.width - 2 * m) - (x1 - x0) * s) / 2, oy = m + ((c.height - 2 * m) - (y1 - y0) * s) / 2;
  text("job-extent", `X ${x0.toFixed(1)}..${x1.toFixed(1)} mm  Y ${y0.toFixed(1)}..${y1.toFixed(1)} mm`);
  return {X: (x) => ox + (x - x0) * s, Y: (y) => c.height - (oy + (y - y0) * s)};
}
function jobPlanImage(c, v) {
  const img = document.createElement("canvas"); img.width = c.width; img.height = c.height;
  const g = img.getContext("2d"), p = job.plan.path;
  g.lineWidth = 1.5;
  let at = [0, 0];
  for (const [x, y, rapid] of p) {
    g.strokeStyle = rapid ? "#59636e" : "#8a96a3"; g.setLineDash(rapid ? [4, 4] : []);
    g.beginPath(); g.moveTo(v.X(at[0]), v.Y(at[1])); g.lineTo(v.X(x), v.Y(y)); g.stroke();
    at = [x, y];
  }
  return img;
}
function jobDraw() {
  const c = document.getElementById("job-xy"), g = c.getContext("2d");
  if (!job.plan || !job.plan.path) return;
  const v = job.view || (job.view = jobView(c));
  if (!job.planImage) job.planImage = jobPlanImage(c, v);
  g.clearRect(0, 0, c.width, c.height);
  g.drawImage(job.planImage, 0, 0);
  const card = cards[job.card], o = job.plan.origin || [0, 0, 0], sc = job.plan.scale || [1, 1, 1];
  if (!card || !card.path.length) return;
  const mm = ([x, y]) => [(x - o[0]) / sc[0], (y - o[1]) / sc[1]];
  g.strokeStyle = "#4aa3ff"; g.lineWidth = 2.5; g.setLineDash([]); g.beginPath();
  const first = mm(card.path[0]); g.moveTo(v.X(first[0]), v.Y(first[1]));
  for (const p of card.path) { const [x, y] = mm(p); g.lineTo(v.X(x), v.Y(y)); }
  g.stroke();
  const [lx, ly] = mm(card.path[card.path.length - 1]);
  g.fillStyle = "#ffd54a"; g.beginPath(); g.arc(v.X(lx), v.Y(ly), 5, 0, 2 * Math.PI); g.fill();
}
// The path feed from the card's actual positions, over at least 150 ms of its clock: mm/min,
// or pulses/min for a job (no scale).
function jobActualFeed(clock, act) {
  const sc = job.plan.scale || [1, 1, 1], f = job.feed;
  if (!f || clock < f.clock) { job.feed = {clock, act, mm_min: 0}; return 0; }
  if (clock - f.clock < 150) return f.mm_min;
  const d = Math.hypot(...[0, 1, 2].map((k) => (act[k] - f.act[k]) / sc[k]));
  job.feed = {clock, act, mm_min: d / (clock - f.clock) * 60000};
  return job.feed.mm_min;
}
function jobRender(m) {
  if (m.plan !== undefined) { job.plan = m.plan; job.view = null; job.planImage = null; job.feed = null; }
  const info = m.state.job || {}, now = info.now, box = document.getElementById("job");
  box.hidden = !job.plan;
  if (!job.plan) return;
  job.card = job.plan.card || 0;
  const title = document.getElementById("job-title");
  if (title.title !== job.plan.name) title.title = job.plan.name;  // the whole path; shown: the file's name
  text("job-title", `${job.plan.kind === "gcode" ? "program" : job.plan.kind === "machine" ? "machine:" : "job"} ${String(job.plan.name).split(/[\\/]/).pop()}` +
       (job.plan.planned_ms ? `: planned ${clockText(job.plan.planned_ms)}` : ""));
  const controls = info.controls || 0, ended = !now || now.state === "ended";
  const program = !!job.plan.path, shop = job.plan.kind !== "job";
  document.getElementById("job-ops").hidden = !shop;
  document.getElementById("job-views").hidden = !program;
  document.getElementById("job-programmed").hidden = !program || !shop;
  for (const id of ["job-listing", "job-progress-row"]) document.getElementById(id).hidden = !program;
  document.getElementById("job-start").hidden = job.plan.kind !== "gcode";
  for (const [id, bit] of [["job-override", 1], ["job-override-reset", 1], ["job-hold", 2], ["job-resume", 2], ["job-stop", 4], ["job-start", 8]])
    document.getElementById(id).disabled = !(controls & bit) || ended || !jobControlFits(id, now);
  if (now) {
    const list = document.getElementById("job-listing");
    const key = JSON.stringify([now.line, now.listing]);
    if (list.dataset.key !== key) {
      list.dataset.key = key;
      list.replaceChildren(...(now.listing || []).map(([n, t]) =>
        el("div", {class: n === now.line ? "now" : ""}, el("span", {class: "n"}, String(n)), t)));
    }
    const st = document.getElementById("job-state");
    text("job-state", now.state + (now.end ? `: ${now.end}` : ""));
    st.className = now.state;
    document.getElementById("job-hold").classList.toggle("on", now.state === "held");
    const done = Math.max(0, Math.min(1, now.done || 0));
    document.getElementById("job-bar").style.width = (100 * done) + "%";
    text("job-progress", `${(100 * done).toFixed(0)} %` + (now.steps ? ` (step ${now.step} of ${now.steps})` : "") +
         (now.left_ms !== undefined ? `, ${clockText(now.left_ms)} left` +
          (now.override && now.override !== 100 ? " (planned at 100 %)" : "") : ""));
    if (now.override !== undefined && document.activeElement !== document.getElementById("job-override")) {
      document.getElementById("job-override").value = now.override;
      text("job-override-value", now.override + " %");
    }
  }
  const c = m.state.cards[job.card];
  if (c) {
    const actual = jobActualFeed(m.state.clock_ms, c.act);
    text("job-feed", !now || now.feed === undefined ? "-" : now.rapid
      ? `rapid ${now.feed} mm/min (no override)`
      : `${now.programmed} mm/min \u00d7 ${now.override} % = ${now.feed} mm/min`);
    text("job-path-feed", job.plan.scale ? `${actual.toFixed(0)} mm/min now (from the actual positions)`
                                         : `${(actual / 60).toFixed(0)} pulses/s now (from the actual positions)`);
    text("job-queue", `${c.queued} / ${c.queue_size} slices`);
    text("job-link", c.faults & 1 ? "silent" : c.link ? "answers" : "does not answer");
  }
  jobDraw();
}
jobPart();
