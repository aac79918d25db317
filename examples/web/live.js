/* Velvox default skin: live updates for the playlist page and the big screen.
   /api/events sends the whole state (as /api/status.json gives it) at once and
   again at every change; this script redraws what the state shows (the
   player's state, now playing with its progress, up next, your requests and
   recently played) in place, with no reload and no jump of the page.
   Without JavaScript the page reloads itself when the song ends (the refresh
   in <noscript>); without events this script does the same. */
(function () {
  'use strict';
  var page = document.querySelector('.page');
  if (!page) return;
  var $ = function (selector) { return document.querySelector(selector); };
  var last = null;     // the last state received
  var since = 0;       // when it was received (ms)
  var secondsLeft = 0; // the clock's seconds left, and when they were set
  var ticked = Date.now();
  // Titles of this visitor's requests as the page was sent: an event sent to
  // every page does not say whose a request is.
  var mine = {};
  document.querySelectorAll('.queue li[data-row="mine"] .queue-title').forEach(function (t) {
    mine[t.textContent] = true;
  });

  // "in 7 min", "in about 1 h 5 min": how the server words a start time.
  function startsIn(seconds, estimate) {
    if (seconds === null || seconds === undefined || seconds < 0) return '';
    var minutes = Math.max(1, Math.floor((seconds + 30) / 60));
    var text = estimate ? 'in about ' : 'in ';
    if (minutes >= 60) {
      text += Math.floor(minutes / 60) + ' h';
      if (minutes % 60 === 0) return text;
      text += ' ';
    }
    return text + (minutes % 60) + ' min';
  }

  // Makes an element with a class and text.
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // What a list shows: each item's mark and text.
  function shows(items) {
    return Array.prototype.map.call(items, function (li) {
      return (li.dataset.row || '') + '|' + li.textContent.replace(/\s+/g, ' ').trim();
    }).join('\n');
  }

  // Where the main column stood on the screen before the first change of a
  // redraw (null: nothing changed yet); scrolled back there after it.
  var anchorTop = null;
  function beforeChange() {
    var anchor = $('.col-main');
    if (anchorTop === null && anchor) anchorTop = anchor.getBoundingClientRect().top;
  }

  // Replaces the items of a list with those made by item(entry, index),
  // unless they show what is there already (so nothing is restyled).
  function fill(list, entries, item) {
    if (!list) return;
    var items = document.createDocumentFragment();
    entries.forEach(function (entry, i) { items.appendChild(item(entry, i)); });
    if (shows(items.children) === shows(list.children)) return;
    beforeChange();
    list.replaceChildren(items);
  }

  // The queue's place of entry i: for the administrator with its Delete link.
  function place(i) {
    var span = el('span', 'queue-pos');
    var pass = $('input[name="pass"]');
    if (pass) {
      var del = el('a', '', 'Delete');
      del.href = 'admin.cgi?pass=' + encodeURIComponent(pass.value) + '&action=delete&listpos=' + (i + 1);
      span.append(del, '\u00a0');
    }
    span.append(String(i + 1));
    return span;
  }

  // Seconds gone since the state came, while the player plays.
  function gone() {
    return last && last.state === 'playing' ? Math.floor((Date.now() - since) / 1000) : 0;
  }

  function isMine(entry) {
    return entry.mine !== undefined ? entry.mine : !!mine[entry.title];
  }

  // The take-back links the page came with, by title: events do not carry
  // what names a request for taking it back.
  var takeBack = {};
  document.querySelectorAll('.queue li').forEach(function (li) {
    var link = li.querySelector('.queue-takeback a');
    if (link) takeBack[li.querySelector('.queue-title').textContent] = link.getAttribute('href');
  });

  function takeBackOf(entry) {
    var span = el('span', 'queue-takeback');
    var href = isMine(entry) ? takeBack[entry.title] : null;
    if (href) {
      var link = el('a', '', 'Take back');
      link.href = href;
      span.append(link);
    }
    return span;
  }

  function showQueue(queue) {
    var shift = gone();
    var eta = function (e) { return startsIn(e.eta_s === null ? null : Math.max(0, e.eta_s - shift), e.eta_estimated); };
    fill($('.queue'), queue, function (e, i) {
      var li = el('li');
      li.dataset.row = isMine(e) ? 'mine' : '';
      li.append(place(i), ' ', el('span', 'queue-title', e.title || ''), ' ', el('span', 'queue-eta', eta(e)),
        ' ', takeBackOf(e));
      return li;
    });
    fill($('.mine-note'), queue, function (e, i) {
      var li = el('li');
      li.dataset.row = isMine(e) ? 'mine' : '';
      li.append('Your song is #', el('b', '', String(i + 1)), el('span', 'mine-eta', eta(e)),
        el('span', 'sr-only', ': ' + (e.title || '')));
      return li;
    });
  }

  // Sets the numbers the progress bar and the clock are drawn from, and
  // starts their animations again from there.
  function showTiming(s) {
    var timing = $('.timing');
    if (!timing || s.length_s === null || s.elapsed_ms === null) return;
    var done = Math.floor(s.elapsed_ms / 1000) + gone();
    var left = Math.max(0, s.length_s - done);
    var pct = s.length_s > 0 ? 100 - Math.min(100, Math.trunc(done / s.length_s * 100)) : 100;
    // The bar already where the state says (as on the page's first event):
    // left alone, with no restart of its animation.
    var clock = secondsLeft - Math.floor((Date.now() - ticked) / 1000);
    var length = Number($('.timing-length').style.getPropertyValue('--length'));
    if (length === s.length_s && Math.abs(clock - left) <= 1) return;
    timing.style.setProperty('--refresh', left + 5);
    secondsLeft = left;
    ticked = Date.now();
    $('.timing-bar').style.setProperty('--secs-left', left);
    $('.timing-length').style.setProperty('--length', s.length_s);
    $('.timing-bar').style.setProperty('--pct-left', pct);
    var said = $('.timing .sr-only');
    if (said) said.textContent = 'Song length in seconds: ' + s.length_s + '. Percent of the song left: ' + pct + '.';
    [$('.timing-bar'), $('.bar-fill')].forEach(function (moving) {
      moving.style.animation = 'none';
      void moving.offsetWidth;
      moving.style.animation = '';
    });
  }

  function showNow(s) {
    var title = $('.np-title');
    if (s.title === null) {
      if (title) title.remove();
    } else {
      if (!title) {
        title = el('p', 'np-title');
        $('.np-idle').before(title);
      }
      if (title.textContent !== s.title) {
        beforeChange();
        title.textContent = s.title;
      }
    }
  }

  // Marks the rows of the song list: playing, queued or neither.
  function markRows(s) {
    var queued = {};
    s.queue.forEach(function (e) { queued[e.position] = true; });
    document.querySelectorAll('.songs li').forEach(function (li) {
      var link = li.querySelector('a.song');
      var at = link ? /listpos=(\d+)/.exec(link.getAttribute('href')) : null;
      if (!at) return;
      var p = Number(at[1]);
      var mark = p === s.position ? 'playing' : queued[p] ? 'queued' : '';
      if ((li.dataset.row || '') !== mark) li.dataset.row = mark;
    });
  }

  function show(s) {
    anchorTop = null;
    if (page.dataset.state !== s.state) page.dataset.state = s.state;
    showNow(s);
    showTiming(s);
    showQueue(s.queue);
    fill($('.history'), s.history, function (title, i) {
      var li = el('li');
      li.append(el('span', 'history-pos', String(i + 1)), ' ', el('span', 'history-title', title));
      return li;
    });
    markRows(s);
    var skip = $('.skip');
    if (skip && s.skip_needed !== undefined) {
      skip.dataset.needed = String(s.skip_needed);
      var count = $('.skip-count');
      var said = s.skip_votes + ' of ' + s.skip_needed + ' votes';
      if (count && count.textContent !== said) count.textContent = said;
    }
    // What is read below the changed lists stays where it was on the screen.
    if (anchorTop !== null && anchorTop < 0) window.scrollBy(0, $('.col-main').getBoundingClientRect().top - anchorTop);
  }

  // Without events: back to reloading when the song ends, as the refresh in
  // <noscript> would (to the page the listener came from after a result).
  function reloadLater() {
    var hidden = $('noscript.refresh');
    if (!hidden) return;
    var holder = document.createElement('template');
    holder.innerHTML = hidden.textContent;
    var meta = holder.content.querySelector('meta');
    var parts = /^\s*(\d+)\s*;?\s*(?:URL=(.*))?$/i.exec(meta ? meta.content : '');
    if (!parts) return;
    setTimeout(function () { location.replace(parts[2] || location.href); }, Number(parts[1]) * 1000);
  }

  if (!window.EventSource) { reloadLater(); return; }
  var events = new EventSource('api/events');
  events.onmessage = function (message) {
    last = JSON.parse(message.data);
    since = Date.now();
    page.dataset.live = 'on';
    show(last);
  };
  events.onerror = function () {
    if (events.readyState === EventSource.CLOSED) reloadLater();
  };
  // The start times count down between events.
  setInterval(function () { if (last) showQueue(last.queue); }, 15000);

  // The clock counts down once a second: a style change a second rather than
  // the stylesheet's animation of every frame.
  var bar = $('.timing-bar');
  if (bar) {
    // The seconds left as the page came: its refresh delay less 5.
    secondsLeft = Math.max(0, (Number($('.timing').style.getPropertyValue('--refresh')) || 5) - 5);
    page.classList.add('ticking');
    bar.style.setProperty('--secs-left', secondsLeft);
    setInterval(function () {
      if (page.dataset.state === 'playing') {
        secondsLeft = Math.max(0, secondsLeft - Math.round((Date.now() - ticked) / 1000));
        bar.style.setProperty('--secs-left', secondsLeft);
      }
      ticked = Date.now();
    }, 1000);
  }
})();
