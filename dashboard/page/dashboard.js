// vorn-dashboard's page: the figures of today, a tile per station, the yield per day and the
// failing steps as charts, the last failed checkouts, refreshed every few seconds, and a search
// for a reader's checkouts. The filters (station, lot, model, plan, days) live in the page's address,
// so a link shows the same page to someone else.
// Every text from the records or from the address is put into the page as text, never as
// markup.
'use strict';

const RefreshMs = 5000;
const SilentMs = 60 * 60 * 1000; // a station silent this long is greyed
const ChartDays = 30;
const LongestChartDays = 366;
const FailuresShown = 20;
const FilterNames = ['station', 'lot', 'model', 'plan', 'since', 'until'];

const byId = (id) => document.getElementById(id);

// "95.2 %", or "–" for a yield that cannot be known, as vornctl writes it.
function percent(yieldValue) {
  return yieldValue === null || yieldValue === undefined ? '–'
                                                         : (yieldValue * 100).toFixed(1) + ' %';
}

function element(tag, text, className) {
  const made = document.createElement(tag);
  if (text !== undefined && text !== null)
    made.textContent = String(text);
  if (className)
    made.className = className;
  return made;
}

function link(text, href) {
  const made = element('a', text);
  made.href = href;
  return made;
}

// Every time on the page in one style: 24-hour, UTC, as the page says.
function utcTime(iso) {
  const time = new Date(iso);
  return isNaN(time) ? iso : time.toISOString().slice(0, 16).replace('T', ' ') + ' UTC';
}

function addDays(day, days) {
  const time = new Date(day + 'T00:00:00Z');
  time.setUTCDate(time.getUTCDate() + days);
  return time.toISOString().slice(0, 10);
}

// An address's query; parameters without a value are left out.
function query(parameters) {
  return Object.entries(parameters)
    .filter(([, value]) => value !== undefined && value !== null && value !== '')
    .map(([name, value]) => encodeURIComponent(name) + '=' + encodeURIComponent(value))
    .join('&');
}

// ---- filters, kept in the address ----

function filters() {
  const given = new URLSearchParams(location.search);
  return Object.fromEntries(FilterNames.map((name) => [name, given.get(name) || '']));
}

function showFilters() {
  const chosen = filters();
  for (const name of FilterNames)
    byId('filter-' + name).value = chosen[name];
}

// The address keeps the filters and the serial number searched for, so that a reload or a
// bookmark shows the same page.
function keepInAddress(chosen) {
  const search = query(chosen);
  history.replaceState(null, '', location.pathname + (search ? '?' + search : '') + location.hash);
}

function applyFilters(event) {
  event.preventDefault();
  const chosen = Object.fromEntries(FilterNames.map((name) =>
    [name, byId('filter-' + name).value.trim()]));
  chosen.serial = new URLSearchParams(location.search).get('serial') || '';
  keepInAddress(chosen);
  clearTimeout(refreshTimer);
  refresh();
}

// A request the dashboard refused (a filter it cannot read): the figures are not shown as
// empty, the filter's problem is shown instead.
class Refused extends Error {}

// The JSON of an API address; a failure carries the dashboard's own words.
async function api(address) {
  const response = await fetch(address, {cache: 'no-store'});
  let body = null;
  try {
    body = await response.json();
  } catch (ignored) {
    body = null;
  }
  if (!response.ok) {
    const words = body && body.error ? body.error : 'HTTP ' + response.status;
    throw response.status === 400 ? new Refused(words) : new Error(words);
  }
  return body;
}

function showProblem(text) {
  const problem = byId('problem');
  problem.textContent = text || '';
  problem.hidden = !text;
}

// ---- charts ----

const charts = {};

// Counts each chart's drawings on its canvas, and notes when it first drew figures (in ms
// since the page was asked for), for whoever waits for them.
const drawCounter = {
  id: 'drawCounter',
  afterRender(chart) {
    const canvas = chart.canvas;
    canvas.dataset.drawn = String(Number(canvas.dataset.drawn || 0) + 1);
    if (chart.$figures && !canvas.dataset.figuresDrawnAt)
      canvas.dataset.figuresDrawnAt = String(Math.round(performance.now()));
  },
};

const NoCharts = 'Chart.js is not installed on the dashboard (libjs-chart.js): no charts';

function makeCharts() {
  if (typeof Chart === 'undefined') {
    showProblem(NoCharts);
    return;
  }
  Chart.register(drawCounter);
  Chart.defaults.animation = false;
  Chart.defaults.maintainAspectRatio = false;
  // Room around the plot, so that the last day's point and label and a line's top point are
  // drawn whole.
  const layout = {padding: {top: 12, right: 24, left: 4}};
  const percentTicks = {callback: (value) => value + ' %'};
  charts.yield = new Chart(byId('yield-chart'), {
    type: 'line',
    data: {labels: [], datasets: [{label: 'First-pass yield %', data: [], borderColor: '#1f6feb',
      backgroundColor: '#1f6feb', spanGaps: false, tension: 0, clip: false}]},
    // offset: half a day's room at either end, for the first and the last day.
    options: {layout, scales: {x: {offset: true}, y: {min: 0, max: 100, ticks: percentTicks}},
      plugins: {legend: {display: false}}},
  });
  charts.pareto = new Chart(byId('pareto-chart'), {
    type: 'bar',
    data: {labels: [], datasets: [
      // The lower order is drawn last: the cumulative line in front of the bars.
      {type: 'bar', label: 'Failures', data: [], backgroundColor: '#c62828', yAxisID: 'y',
        order: 1},
      {type: 'line', label: 'Cumulative %', data: [], borderColor: '#55606b',
        backgroundColor: '#55606b', yAxisID: 'share', order: 0, clip: false},
    ]},
    options: {layout, scales: {y: {beginAtZero: true, ticks: {precision: 0}},
      share: {position: 'right', min: 0, max: 100, grid: {drawOnChartArea: false},
        ticks: percentTicks}}},
  });
}

function drawYieldChart(report, firstDay, lastDay) {
  if (!charts.yield)
    return;
  const byDay = new Map((report.groups || []).map((group) => [group.key, group]));
  const labels = [];
  const values = [];
  for (let day = firstDay; day <= lastDay; day = addDays(day, 1)) {
    labels.push(day.slice(5));
    const group = byDay.get(day);
    values.push(group && group.first_pass_yield !== null ? group.first_pass_yield * 100 : null);
  }
  // A single day is drawn in the middle of the plot with its label, between two empty places.
  if (labels.length === 1) {
    labels.splice(0, 0, '');
    labels.push('');
    values.splice(0, 0, null);
    values.push(null);
  }
  charts.yield.data.labels = labels;
  charts.yield.data.datasets[0].data = values;
  charts.yield.$figures = true;
  charts.yield.update();
}

function drawParetoChart(report) {
  if (!charts.pareto)
    return;
  const steps = report.pareto || [];
  charts.pareto.data.labels = steps.map((step) => step.step);
  charts.pareto.data.datasets[0].data = steps.map((step) => step.failures);
  charts.pareto.data.datasets[1].data = steps.map((step) => step.cumulative * 100);
  charts.pareto.$figures = true;
  charts.pareto.update();
}

// ---- today and the stations ----

function showToday(report, address) {
  const firstPass = byId('first-pass-yield');
  firstPass.textContent = percent(report.first_pass_yield);
  // What the figure was read from, for anyone who wants to check it.
  firstPass.dataset.source = address;
  byId('final-yield').textContent = percent(report.final_yield);
  byId('readers').textContent = String(report.readers);
}

// A station's first-pass yield against the line's target: at or above it, below it, or more
// than 10 points below.
function yieldClass(yieldValue, target) {
  if (yieldValue === null || yieldValue === undefined)
    return ' no-figure';
  if (target === undefined)
    return '';
  return yieldValue >= target ? ' good' : yieldValue >= target - 0.1 ? ' below' : ' bad';
}

function showStations(line) {
  const tiles = byId('tiles');
  const now = new Date(line.now).getTime();
  const made = line.stations.map((station) => {
    const last = new Date(station.last_checkout).getTime();
    const silent = now - last > SilentMs;
    const tile = element('div', null, (silent ? 'tile silent' : 'tile') +
                         yieldClass(station.first_pass_yield, line.target_yield));
    tile.dataset.station = station.station;
    tile.append(element('div', station.station, 'name'));
    tile.append(element('div', percent(station.first_pass_yield), 'yield'));
    // Every reader of the day was first checked at another station: no first pass here.
    tile.append(element('div', station.first_pass_yield === null ? 'first checked elsewhere'
                                                                 : 'first-pass yield today', 'label'));
    tile.append(element('div', station.checkouts +
                        (station.checkouts === 1 ? ' checkout today' : ' checkouts today')));
    // Today's checkouts by their time alone, so that the line does not wrap.
    const lastTime = utcTime(station.last_checkout);
    tile.append(element('div', 'last ' + (lastTime.startsWith(line.day) ? lastTime.slice(11)
                                                                        : lastTime), 'last'));
    if (silent)
      tile.title = 'No checkout for more than an hour';
    return tile;
  });
  if (made.length === 0)
    made.push(element('p', 'No station has kept a checkout in the last 30 days.', 'empty'));
  tiles.replaceChildren(...made);
}

// The days the charts cover: the filter's, else the last 30 days up to today.
function chartDays(chosen, today) {
  const lastDay = chosen.until || (chosen.since && chosen.since > today ? chosen.since : today);
  let firstDay = chosen.since || addDays(lastDay, 1 - ChartDays);
  if (firstDay > lastDay || addDays(firstDay, LongestChartDays) <= lastDay)
    firstDay = addDays(lastDay, 1 - ChartDays);
  return [firstDay, lastDay];
}

// The message of a checkout's first failed step, read once for each record.
const failureMessages = new Map();

async function failureMessage(id) {
  if (!failureMessages.has(id)) {
    const record = await api('/api/records/' + encodeURIComponent(id));
    const step = record.steps.find((each) => each.outcome === 'fail' || each.outcome === 'error');
    failureMessages.set(id, step ? step.said || step.message : '');
  }
  return failureMessages.get(id);
}

async function showFailures(shown) {
  const found = await api('/api/records?' + query({outcome: 'fail', limit: FailuresShown,
    ...shown}));
  const messages = await Promise.all(found.records.map((record) => failureMessage(record.id)));
  // Only the messages of the checkouts listed are kept: a page left open all week stays small.
  const listed = new Set(found.records.map((record) => record.id));
  for (const id of failureMessages.keys()) {
    if (!listed.has(id))
      failureMessages.delete(id);
  }
  const rows = found.records.map((record, index) => {
    const row = element('tr');
    row.append(element('td', utcTime(record.started)), element('td', record.station),
               element('td', record.serial), element('td', record.lot),
               element('td', record.operator), element('td', record.failed_steps.join(' ')),
               element('td', messages[index]));
    return row;
  });
  byId('failed').tBodies[0].replaceChildren(...rows);
  byId('failed').hidden = rows.length === 0;
  byId('failures-message').hidden = rows.length > 0;
}

// The figures of a filter that cannot be read are none: nothing stale is left on the page.
function clearFigures() {
  for (const id of ['first-pass-yield', 'final-yield', 'readers'])
    byId(id).textContent = '–';
  byId('tiles').replaceChildren();
  for (const chart of Object.values(charts)) {
    chart.data.labels = [];
    chart.data.datasets.forEach((dataset) => { dataset.data = []; });
    chart.update();
  }
  byId('failed').tBodies[0].replaceChildren();
  byId('failed').hidden = true;
  byId('failures-message').hidden = true;
}

// The page's filters that narrow what is counted (the days aside).
function narrowing(chosen) {
  return {station: chosen.station, lot: chosen.lot, model: chosen.model, plan: chosen.plan};
}

let refreshTimer = null;

async function refresh() {
  try {
    const chosen = filters();
    const narrowed = narrowing(chosen);
    // Every filter goes to the dashboard, which refuses one it cannot read before anything is
    // counted; the tiles are of today whatever the days chosen.
    const line = await api('/api/stations?' + query(chosen));
    const day = line.day;
    const [firstDay, lastDay] = chartDays(chosen, day);
    // The checkouts of the charts' days, as the lists and the CSV files show them.
    const shown = {...narrowed, since: firstDay, until: lastDay};
    const todayAddress = '/api/report?' + query({since: day, until: day, ...narrowed});
    const daysQuery = query({since: firstDay, until: lastDay, ...narrowed, by: 'day'});
    const [today, days] = await Promise.all([api(todayAddress),
      api('/api/report?' + daysQuery)]);
    showStations(line);
    showToday(today, todayAddress);
    drawYieldChart(days, firstDay, lastDay);
    drawParetoChart(days);
    const span = firstDay + ' to ' + lastDay;
    byId('yield-title').textContent = 'First-pass yield per day, ' + span;
    byId('pareto-title').textContent = 'Failing steps, ' + span;
    byId('report-csv').href = '/api/report.csv?' + daysQuery;
    byId('records-csv').href = '/api/records.csv?' + query(shown);
    await showFailures(shown);
    byId('updated').textContent = 'Updated ' + utcTime(new Date().toISOString()) +
      sourceNote(await api('/api/source'));
    showProblem(charts.yield ? '' : NoCharts);
  } catch (failure) {
    if (failure instanceof Refused) {
      clearFigures();
      showProblem('The filters cannot be used: ' + failure.message);
    } else {
      showProblem('Records not available: ' + failure.message);
    }
  }
  refreshTimer = setTimeout(refresh, RefreshMs);
}

// Records read from a standby are as recent as its last replayed change: a report may then
// lack what the stations kept since.
function sourceNote(source) {
  if (!source.standby)
    return '';
  if (!source.replayed)
    return ' · read from a standby that has replayed nothing yet';
  return ' · read from a standby, up to ' + utcTime(source.replayed) +
    (source.catchingUp ? ' (catching up)' : '');
}

// ---- a reader's checkouts and one record ----

async function search(event) {
  if (event)
    event.preventDefault();
  const serial = byId('serial').value.trim();
  keepInAddress({...filters(), serial});
  const message = byId('search-message');
  const table = byId('checkouts');
  message.className = '';
  table.hidden = true;
  if (!serial) {
    message.textContent = 'Type a serial number.';
    return;
  }
  try {
    // The reader's life: its checkouts and repairs, oldest first, as far as the filters let
    // them through.
    const chosen = filters();
    const narrowed = query({...narrowing(chosen), since: chosen.since, until: chosen.until});
    const found = await api('/api/readers/' + encodeURIComponent(serial) + '/history' +
                            (narrowed ? '?' + narrowed : ''));
    const rows = found.events.map((event) => {
      const row = element('tr');
      const repair = event.kind === 'repair';
      const details = repair
        ? [event.action + (event.parts.length ? ' (parts ' + event.parts.join(', ') + ')' : ''),
           'symptom: ' + event.symptom, event.cause ? 'cause: ' + event.cause : ''].filter(Boolean)
        : [event.failed_step ? event.failed_step + ': ' + (event.said || event.message || '')
                             : event.message || ''];
      row.append(element('td', utcTime(event.time)), element('td', event.kind),
                 element('td', event.station), element('td', repair ? '' : event.lot),
                 element('td', repair ? event.technician : event.operator),
                 element('td', repair ? 'repaired' : event.outcome, repair ? '' : event.outcome),
                 element('td', details.join('; ')), element('td', repair ? '' : event.plan || '–'));
      const show = element('td');
      const certificate = element('td');
      if (!repair) {
        show.append(link('record', '#record=' + encodeURIComponent(event.id)));
        certificate.append(link('PDF', certificateAddress(event.id)));
      }
      row.append(show, certificate);
      return row;
    });
    table.tBodies[0].replaceChildren(...rows);
    table.hidden = rows.length === 0;
    message.textContent = rows.length === 0 ? 'No checkouts or repairs of serial number ' + serial + '.'
      : 'SN ' + found.serial + ': ' + rows.length + (rows.length === 1 ? ' event' : ' events') +
        ', oldest first.';
  } catch (failure) {
    message.className = 'wrong';
    message.textContent = failure.message;
  }
}

function certificateAddress(id) {
  return '/api/records/' + encodeURIComponent(id) + '/certificate.pdf';
}

async function showRecord() {
  const section = byId('record');
  const match = /^#record=(.+)$/.exec(location.hash);
  if (!match) {
    section.hidden = true;
    return;
  }
  const id = decodeURIComponent(match[1]);
  try {
    const record = await api('/api/records/' + encodeURIComponent(id));
    byId('record-title').textContent = id;
    byId('record-certificate').href = certificateAddress(id);
    const facts = [
      ['Outcome', record.outcome],
      ['Reader', [record.model || '–', 'SN ' + (record.serial || '–'),
        'firmware ' + (record.firmware === null ? '–' : record.firmware)].join(', ')],
      ['Station', record.station + ' (port ' + record.port + ')'],
      ['Started', utcTime(record.started)],
      ['Operator', record.operator || '–'],
      ['Lot', record.lot || '–'],
      ['Plan', record.plan ? [record.plan.name, 'revision ' + (record.plan.revision || '–'),
        'SHA-256 ' + record.plan.sha256].join(', ') : '–'],
      ['Repair', record.repair ? [utcTime(record.repair.repaired), record.repair.technician,
        record.repair.action].concat(record.repair.parts.length
        ? ['parts ' + record.repair.parts.join(', ')] : []).join(', ') : '–'],
      ['Tool', (record.tool + ' ' + record.tool_version).trim() || '–'],
    ];
    byId('record-facts').replaceChildren(...facts.flatMap(([name, value]) =>
      [element('dt', name), element('dd', value)]));
    const rows = record.steps.map((step) => {
      const row = element('tr');
      row.append(element('td', step.name), element('td', step.outcome, step.outcome),
                 element('td', [step.measured, step.said || step.message].filter(Boolean).join(' – ')),
                 element('td', step.limits), element('td', step.duration_ms));
      return row;
    });
    byId('record-steps').tBodies[0].replaceChildren(...rows);
    section.hidden = false;
    section.scrollIntoView();
  } catch (failure) {
    byId('record-title').textContent = id;
    byId('record-facts').replaceChildren(element('dt', 'Not shown'), element('dd', failure.message));
    byId('record-steps').tBodies[0].replaceChildren();
    section.hidden = false;
  }
}

function closeRecord(event) {
  event.preventDefault();
  history.pushState(null, '', location.pathname);
  byId('record').hidden = true;
}

makeCharts();
showFilters();
byId('filters').addEventListener('submit', applyFilters);
byId('search-form').addEventListener('submit', search);
byId('serial').value = new URLSearchParams(location.search).get('serial') || '';
if (byId('serial').value)
  search();
byId('record-close').addEventListener('click', closeRecord);
window.addEventListener('hashchange', showRecord);
showRecord();
refresh();
