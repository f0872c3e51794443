#include "report/report_assets.h"

namespace normalize {

const char kReportHead[] = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="normalize (Quilbo-FE)">
<title>normalize: loudness report</title>
<style>
body { font: 14px/1.4 system-ui, -apple-system, "Segoe UI", sans-serif; margin: 1.5em; color: #1d1d1f; background: #fff; }
h1 { font-size: 1.4em; margin: 0 0 .3em; }
#command { font-family: ui-monospace, Consolas, monospace; font-size: .9em; color: #555; word-break: break-all; }
.legend span { display: inline-block; margin-right: 1.2em; white-space: nowrap; }
.legend i { display: inline-block; width: 1.6em; height: 0; vertical-align: middle; margin-right: .4em; border-top: 2px solid; }
.legend i.dash { border-top-style: dashed; }
table { border-collapse: collapse; margin-top: 1em; }
th, td { padding: .25em .5em; text-align: left; vertical-align: middle; border-bottom: 1px solid #e4e4e8; }
thead th { position: sticky; top: 0; background: #f2f2f5; cursor: pointer; user-select: none; white-space: nowrap; }
thead th.graph { cursor: default; }
thead th[aria-sort="ascending"]::after { content: " \25B2"; }
thead th[aria-sort="descending"]::after { content: " \25BC"; }
td.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.name { min-width: 12em; max-width: 24em; overflow-wrap: anywhere; }
thead small { font-weight: normal; color: #555; }
tr.album th { background: #e8eefb; text-align: left; font-weight: 600; cursor: default; }
tr.failed td.result { color: #b00020; }
tr.left td.result { color: #6a6a6a; }
td.result { min-width: 8em; max-width: 18em; }
canvas { display: block; }
#more { height: 2em; }
</style>
</head>
<body>
<h1>Loudness report</h1>
<p id="command"></p>
<p id="summary"></p>
<p class="legend">
<span><i style="border-color:#8a8a8a"></i>short-term loudness before</span>
<span><i style="border-color:#1f6fd1"></i>after</span>
<span><i style="border-color:#c9c9c9;border-top-width:1px"></i>momentary</span>
<span><i class="dash" style="border-color:#8a8a8a"></i>integrated before</span>
<span><i class="dash" style="border-color:#1f6fd1"></i>after</span>
<span><i style="border-color:#1a9e4a"></i>target</span>
<span><i class="dash" style="border-color:#d12f2f"></i>true-peak ceiling</span>
</p>
<table id="files">
<thead><tr>
<th data-k="name">File</th><th data-k="result">Result</th><th data-k="gain">Gain<br><small>dB</small></th>
<th data-k="lb">Loudness<br><small>before, LUFS</small></th><th data-k="la">Loudness<br><small>after, LUFS</small></th>
<th data-k="tb">True peak<br><small>before, dBTP</small></th><th data-k="ta">True peak<br><small>after, dBTP</small></th>
<th data-k="pb">Sample peak<br><small>before, dBFS</small></th><th data-k="pa">Sample peak<br><small>after, dBFS</small></th>
<th data-k="range">Range<br><small>LU</small></th><th data-k="lim">Limited<br><small>at most, dB</small></th><th class="graph">Loudness over time<br><small>LUFS, minutes:seconds</small></th>
</tr></thead>
</table>
<div id="more"></div>
<script type="application/json" id="run">)html";

const char kReportData[] = R"html(</script>
<script type="text/plain" id="data">
)html";

}  // namespace normalize
