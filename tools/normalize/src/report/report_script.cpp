// The --report page's script: the table from the records, sortable by any
// column, rows laid out a batch at a time as the reader scrolls, and each
// file's graph drawn when its row comes into view. With "#all" in the
// address everything is laid out and drawn at once (for printing, and for
// the tests, which read the page as a browser renders it).
#include "report/report_assets.h"

namespace normalize {

const char kReportTail[] = R"html(</script>
<script>
"use strict";
(function () {
  const run = JSON.parse(document.getElementById("run").textContent);
  const lines = document.getElementById("data").textContent.split("\n").filter(l => l.length > 0);
  const all = location.hash === "#all";
  const BATCH = 200;
  const fig = v => (v === null || v === undefined) ? "" : v.toFixed(3);
  const DIGITS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

  // One entry per file; an album's own line starts a group of the files after it.
  const groups = [{ head: null, rows: [] }];
  for (const line of lines) {
    const rec = JSON.parse(line);
    if (rec.j.album) { groups.push({ head: rec.j, rows: [] }); continue; }
    groups[groups.length - 1].rows.push(entryOf(rec));
  }
  if (groups[0].rows.length === 0 && groups.length > 1) groups.shift();

  function entryOf(rec) {
    const j = rec.j, before = j.before || j, after = j.after || {};
    const analyze = !("written" in j) && !j.error;
    const e = { rec: rec, name: j.file, cls: "", gain: j.gain_db === undefined ? null : j.gain_db,
      lb: before.integrated_lufs, la: analyze ? null : after.integrated_lufs,
      tb: before.true_peak_dbtp, ta: analyze ? null : after.true_peak_dbtp,
      pb: before.sample_peak_dbfs, pa: analyze ? null : after.sample_peak_dbfs,
      range: before.loudness_range_lu === undefined ? null : before.loudness_range_lu,
      lim: j.limited ? j.limited.largest_reduction_db : null };
    const limited = j.limited && j.limited.largest_reduction_db > 0;
    const holds = (j.held_by_ceiling ? ", held by the ceiling" : "") + (limited ? ", limited by up to " +
      fig(j.limited.largest_reduction_db) + " dB on " + (100 * j.limited.limited_share).toFixed(2) + " % of its length" : "");
    if (j.error) { e.result = "failed: " + j.error; e.cls = "failed"; }
    else if (analyze) e.result = "measured";
    else if (j.written) e.result = "written" + holds;
    else if (j.reason) { e.result = "left as it was: " + j.reason; e.cls = "left"; }
    else if (j.dry_run) e.result = "dry run: would be written" + holds;
    else e.result = "not written";
    e.changes = !analyze && !j.error && !j.reason && j.gain_db !== null && j.gain_db !== undefined;
    return e;
  }

  const table = document.getElementById("files");
  const counts = {};
  for (const g of groups) for (const e of g.rows) {
    const k = e.cls === "failed" ? "failed" : e.result.split(/[:,]/)[0];
    counts[k] = (counts[k] || 0) + 1;
  }
  const total = groups.reduce((n, g) => n + g.rows.length, 0);
  document.getElementById("command").textContent = "normalize " + run.command;
  document.getElementById("summary").textContent = total + (total === 1 ? " file: " : " files: ") +
    Object.keys(counts).map(k => counts[k] + " " + k).join(", ") +
    (run.target_lufs !== null ? "; target " + run.target_lufs.toFixed(1) + " LUFS" : "") +
    (run.ceiling_dbtp !== null ? ", ceiling " + run.ceiling_dbtp.toFixed(1) + " dBTP" : "");

  // Rows are laid out in order, group by group, a batch at a time.
  let shown = 0;
  const bodies = [];
  function layOut() {
    for (const b of bodies) b.remove();
    bodies.length = 0;
    shown = 0;
    for (const g of groups) {
      const body = table.createTBody();
      bodies.push(body);
      if (g.head) {
        const tr = body.insertRow();
        tr.className = "album";
        const th = document.createElement("th");
        th.colSpan = 12;
        th.textContent = "Album of " + g.head.files + " files: gain " + fig(g.head.gain_db) + " dB" +
          (g.head.held_by_ceiling ? ", held by the ceiling" : "") + (g.head.reason ? "; " + g.head.reason : "") +
          (g.head.dry_run ? " (dry run)" : "");
        tr.appendChild(th);
      }
    }
    more();
  }
  function more() {
    let left = all ? Infinity : BATCH, seen = 0;
    for (let gi = 0; gi < groups.length && left > 0; ++gi) {
      const rows = groups[gi].rows;
      for (let i = 0; i < rows.length; ++i, ++seen) {
        if (seen < shown) continue;
        if (left-- <= 0) break;
        bodies[gi].appendChild(rowOf(rows[i]));
        ++shown;
      }
    }
  }

  function cell(tr, text, cls, key) {
    const td = tr.insertCell();
    td.textContent = text;
    if (cls) td.className = cls;
    if (key) td.dataset.k = key;
    return td;
  }
  function rowOf(e) {
    const tr = document.createElement("tr");
    tr.className = e.cls;
    tr.dataset.file = e.name;
    cell(tr, e.name, "name", "name");
    cell(tr, e.result, "result", "result");
    for (const k of ["gain", "lb", "la", "tb", "ta", "pb", "pa", "range", "lim"]) cell(tr, fig(e[k]), "n", k);
    const td = cell(tr, "", "graph");
    if (e.rec.s) {
      const canvas = document.createElement("canvas");
      td.appendChild(canvas);
      if (all) draw(canvas, e); else watch(canvas, e);
    } else if (!e.rec.j.error) {
      td.textContent = "no loudness measured in this mode";
    }
    return tr;
  }

  const waiting = new Map();
  const seer = "IntersectionObserver" in window ? new IntersectionObserver(items => {
    for (const item of items) {
      if (!item.isIntersecting) continue;
      if (item.target.id === "more") {
        more();
        // Seen again at once when the new rows still leave it in view.
        seer.unobserve(item.target);
        seer.observe(item.target);
        continue;
      }
      seer.unobserve(item.target);
      draw(item.target, waiting.get(item.target));
      waiting.delete(item.target);
    }
  }, { rootMargin: "400px" }) : null;
  function watch(canvas, e) {
    if (!seer) { draw(canvas, e); return; }
    waiting.set(canvas, e);
    seer.observe(canvas);
  }

  function decode(text) {
    const out = [];
    for (let i = 0; i + 1 < text.length; i += 2) {
      const code = DIGITS.indexOf(text[i]) * 64 + DIGITS.indexOf(text[i + 1]);
      out.push(code === 0 ? null : -90 + code / 40);
    }
    return out;
  }

  function draw(canvas, e) {
    const W = 400, H = 110, L = 30, B = 16, T = 8, R = 4;
    const ratio = window.devicePixelRatio || 1;
    canvas.width = W * ratio; canvas.height = H * ratio;
    canvas.style.width = W + "px"; canvas.style.height = H + "px";
    const c = canvas.getContext("2d");
    c.scale(ratio, ratio);
    const rec = e.rec, st = decode(rec.s), mo = decode(rec.m);
    const shift = e.changes ? e.gain : null;
    const marks = [run.target_lufs, run.ceiling_dbtp, e.lb, e.la].filter(v => v !== null && v !== undefined);
    const values = st.concat(mo).filter(v => v !== null);
    const moved = shift === null ? [] : values.map(v => v + shift);
    const span = values.concat(moved, marks);
    let top = Math.ceil(Math.max(0, ...span) / 10) * 10;
    let bottom = Math.max(-70, Math.floor((Math.min(...span) - 3) / 10) * 10);
    if (top - bottom < 20) bottom = top - 20;
    const n = Math.max(st.length, 1), seconds = n * rec.step;
    const x = i => L + (W - L - R) * (i + 0.5) / n;
    const y = v => T + (H - T - B) * (top - Math.min(top, Math.max(bottom, v))) / (top - bottom);
    c.font = "10px system-ui, sans-serif";
    c.fillStyle = "#666"; c.strokeStyle = "#ececf0"; c.lineWidth = 1;
    for (let v = bottom; v <= top; v += 10) {
      c.beginPath(); c.moveTo(L, y(v)); c.lineTo(W - R, y(v)); c.stroke();
      c.fillText(String(v), 2, y(v) + 3);
    }
    const tick = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600].find(t => seconds / t <= 6) || 7200;
    for (let t = 0; t <= seconds && L + (W - L - R) * t / seconds < W - 24; t += tick) {
      const label = Math.floor(t / 60) + ":" + String(Math.round(t % 60)).padStart(2, "0");
      c.fillText(label, L + (W - L - R) * t / seconds, H - 3);
    }
    let points = 0;
    function curve(list, add, colour, width) {
      c.strokeStyle = colour; c.lineWidth = width; c.setLineDash([]);
      c.beginPath();
      let pen = false;
      list.forEach((v, i) => {
        if (v === null) { pen = false; return; }
        ++points;
        if (pen) c.lineTo(x(i), y(v + add)); else c.moveTo(x(i), y(v + add));
        pen = true;
      });
      c.stroke();
    }
    function level(v, colour, dash) {
      if (v === null || v === undefined) return;
      c.strokeStyle = colour; c.lineWidth = 1.2; c.setLineDash(dash ? [5, 3] : []);
      c.beginPath(); c.moveTo(L, y(v)); c.lineTo(W - R, y(v)); c.stroke();
    }
    curve(mo, 0, "#c9c9c9", 1);
    curve(st, 0, "#8a8a8a", 1.6);
    if (shift !== null) {
      curve(mo, shift, "#b7d0f0", 1);
      curve(st, shift, "#1f6fd1", 1.6);
    }
    level(run.target_lufs, "#1a9e4a", false);
    level(e.lb, "#8a8a8a", true);
    if (shift !== null) level(e.la, "#1f6fd1", true);
    level(run.ceiling_dbtp, "#d12f2f", true);
    let ink = 0;
    const pixels = c.getImageData(0, 0, canvas.width, canvas.height).data;
    for (let i = 3; i < pixels.length; i += 4) if (pixels[i] > 0) ++ink;
    canvas.dataset.points = points;
    canvas.dataset.ink = ink;
  }

  // Sorting: within each group, by the column clicked; again, the other way.
  let sortKey = null, sortUp = true;
  for (const th of table.tHead.rows[0].cells) {
    if (!th.dataset.k) continue;
    th.addEventListener("click", () => {
      const k = th.dataset.k;
      sortUp = sortKey === k ? !sortUp : true;
      sortKey = k;
      for (const other of table.tHead.rows[0].cells) other.removeAttribute("aria-sort");
      th.setAttribute("aria-sort", sortUp ? "ascending" : "descending");
      const text = k === "name" || k === "result";
      for (const g of groups) g.rows.sort((a, b) => {
        const p = a[k], q = b[k];
        if (p === null || p === undefined) return (q === null || q === undefined) ? 0 : 1;
        if (q === null || q === undefined) return -1;
        const order = text ? String(p).localeCompare(String(q)) : p - q;
        return sortUp ? order : -order;
      });
      layOut();
    });
  }

  layOut();
  if (seer && !all) seer.observe(document.getElementById("more"));
  document.body.dataset.rows = String(shown);
})();
</script>
</body>
</html>
)html";

}  // namespace normalize
