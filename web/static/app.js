// The web board: everything arrives on one event stream from the server
// (the whole board first, then the rows that changed). Table text is only
// ever put into the page with textContent, never parsed as HTML.
'use strict';
(function () {
  const KEYS = ['name', 'remark', 'group', 'misc', 'time'];
  const COLOR = /^#[0-9a-f]{6}$/;
  const FLASH_MS = 4000;
  const params = new URLSearchParams(window.location.search);
  const state = {
    titles: ['Name', 'Remark', 'Group', 'Misc', 'Date/Time'],
    groups: [],
    rows: new Map(),           // board index -> row
    order: [[], [], [], [], []], // board indexes ascending by each column
    sort: 0,
    ascending: true,
    group: params.get('group') || '',
    query: (params.get('q') || '').toLowerCase(),
    flash: new Map(),          // board index -> time until which it is marked changed
    live: false,
  };
  const $ = (id) => document.getElementById(id);

  function setStatus(text, live) {
    const s = $('status');
    s.textContent = text;
    s.classList.toggle('offline', !live);
  }

  function clock() {
    return new Date().toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', second: '2-digit' });
  }

  function renderTitles() {
    const tr = $('titles');
    tr.replaceChildren();
    state.titles.forEach((title, c) => {
      const th = document.createElement('th');
      th.scope = 'col';
      th.className = 'col-' + KEYS[c];
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = title || KEYS[c];
      if (c === state.sort) {
        th.setAttribute('aria-sort', state.ascending ? 'ascending' : 'descending');
        th.classList.add('sorted');
        const mark = document.createElement('span');
        mark.className = 'mark';
        mark.textContent = state.ascending ? ' \u25b2' : ' \u25bc';
        b.appendChild(mark);
      }
      b.addEventListener('click', () => {
        state.ascending = c === state.sort ? !state.ascending : true;
        state.sort = c;
        renderTitles();
        renderRows();
      });
      th.appendChild(b);
      tr.appendChild(th);
    });
  }

  function renderGroups() {
    const sel = $('group');
    const keep = state.group;
    while (sel.options.length > 1) sel.remove(1);
    const groups = state.groups.slice();
    if (keep && !groups.includes(keep)) groups.push(keep);
    for (const g of groups) {
      const o = document.createElement('option');
      o.value = g;
      o.textContent = g;
      sel.appendChild(o);
    }
    sel.value = keep;
  }

  function matches(row) {
    if (state.group && row.group !== state.group) return false;
    if (!state.query) return true;
    return ['name', 'remark', 'group', 'misc'].some((k) => row[k].toLowerCase().includes(state.query));
  }

  function renderRows() {
    const body = $('rows');
    const now = Date.now();
    let order = state.order[state.sort] || [];
    if (!state.ascending) order = order.slice().reverse();
    const frag = document.createDocumentFragment();
    let shown = 0;
    for (const index of order) {
      const row = state.rows.get(index);
      if (!row || !matches(row)) continue;
      const tr = document.createElement('tr');
      tr.dataset.index = String(index);
      if ((state.flash.get(index) || 0) > now) tr.classList.add('changed');
      KEYS.forEach((k, c) => {
        const td = document.createElement('td');
        td.className = 'col-' + k;
        td.dataset.title = state.titles[c];
        td.textContent = row[k];
        if (k === 'remark') {
          if (COLOR.test(row.color)) td.style.backgroundColor = row.color;
          if (COLOR.test(row.textColor)) td.style.color = row.textColor;
        }
        tr.appendChild(td);
      });
      frag.appendChild(tr);
      shown++;
    }
    body.replaceChildren(frag);
    $('empty').hidden = shown !== 0 || !state.live;
  }

  function showBoard(visible) {
    $('board').hidden = !visible;
    $('trouble').hidden = visible;
  }

  function takeFrame(msg) {
    state.titles = msg.titles;
    state.groups = msg.groups;
    state.order = msg.order;
    state.live = true;
    showBoard(true);
    renderTitles();
    renderGroups();
    renderRows();
    setStatus('Live \u00b7 updated ' + clock(), true);
  }

  function onBoard(ev) {
    const msg = JSON.parse(ev.data);
    state.rows = new Map(msg.rows.map((r) => [r.index, r]));
    takeFrame(msg);
  }

  function onRows(ev) {
    const msg = JSON.parse(ev.data);
    const until = Date.now() + FLASH_MS;
    for (const r of msg.rows) {
      state.rows.set(r.index, r);
      state.flash.set(r.index, until);
    }
    for (const i of msg.removed) state.rows.delete(i);
    takeFrame(msg);
    setTimeout(renderRows, FLASH_MS + 50);
  }

  function onProblem(ev) {
    const msg = JSON.parse(ev.data);
    const list = $('problems');
    list.replaceChildren();
    for (const p of msg.problems) {
      const li = document.createElement('li');
      li.textContent = p;
      list.appendChild(li);
    }
    state.live = false;
    showBoard(false);
    setStatus('Board unavailable \u00b7 ' + clock(), false);
  }

  let source = null;
  function connect() {
    source = new EventSource('/events');
    source.addEventListener('board', onBoard);
    source.addEventListener('rows', onRows);
    source.addEventListener('problem', onProblem);
    source.addEventListener('error', () => {
      setStatus('Reconnecting\u2026', false);
      // The browser retries a dropped stream by itself, but gives up on an
      // answer that is not a stream (a busy or restarting server): start over.
      if (source.readyState === EventSource.CLOSED) {
        source.close();
        setTimeout(connect, 3000);
      }
    });
  }

  $('group').addEventListener('change', (e) => {
    state.group = e.target.value;
    renderRows();
  });
  $('search').value = params.get('q') || '';
  $('search').addEventListener('input', (e) => {
    state.query = e.target.value.trim().toLowerCase();
    renderRows();
  });
  renderTitles();
  connect();
})();
