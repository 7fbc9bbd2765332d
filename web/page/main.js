// The live page: the library steps at a fixed 60 Hz whatever the display's rate, from the keys
// (a live drive) or from the sample stage's timeline (a replay, P), and the page draws each frame
// it made. For tests, the address takes
//   #keys=up*90,gearup,none*10   run a key script as fast as it goes, then stop on its last frame
//   #replay                      replay the sample stage (add &fast to run it through at once)
//   &cam=hands  &sticks          the camera on the driver's hands; sticks instead of bodies
// and the page reports "ready", the frame count and the last frame's checksum in its status box
// (data-state, data-frames, data-checksum, data-micros) and its title, or the error.
'use strict';
(function () {
  var statusBox = document.getElementById('status');
  function report(state, text) {
    statusBox.dataset.state = state;
    statusBox.textContent = text;
    document.title = 'Zelkar live: ' + (state === 'error' ? 'error: ' + text : text);
  }
  window.addEventListener('error', function (e) { report('error', String(e.message)); });

  var params = {};
  location.hash.replace(/^#/, '').split('&').forEach(function (part) {
    if (!part) return;
    var at = part.indexOf('=');
    params[decodeURIComponent(at < 0 ? part : part.slice(0, at))] =
      at < 0 ? '' : decodeURIComponent(part.slice(at + 1));
  });

  function decodeBase64(id) {
    var text = atob(document.getElementById(id).textContent.trim());
    var bytes = new Uint8Array(text.length);
    for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    return bytes.buffer;
  }

  ZelkarLive().then(function (M) {
    var lib = {
      start: M.cwrap('zk_live_start', 'number', ['number']),
      step: M.cwrap('zk_live_step', 'number', ['number']),
      error: M.cwrap('zk_live_error', 'string', []),
      layout: M.cwrap('zk_live_layout', 'string', []),
      worlds: M.cwrap('zk_live_worlds', 'number', []),
      panel: M.cwrap('zk_live_panel', 'number', []),
      checksum: M.cwrap('zk_live_checksum', 'string', []),
      meanMicros: M.cwrap('zk_live_mean_micros', 'number', []),
      parseKeys: M.cwrap('zk_live_parse_keys', 'number', ['string']),
      scriptKey: M.cwrap('zk_live_script_key', 'number', ['number'])
    };
    var replay = 'replay' in params;
    function start() {
      if (lib.start(replay ? 1 : 0) !== 0) throw new Error(lib.error());
      return JSON.parse(lib.layout());
    }
    var layout = start();
    var count = layout.names.length;
    function matrices() { return new Float32Array(M.HEAPF32.buffer, lib.worlds(), 16 * count); }
    function step(keys) {
      var made = lib.step(keys);
      if (made < 0) throw new Error(lib.error());
      return made;
    }

    var panel = {};
    ['steering', 'gear', 'handbrake', 'speed', 'wipers', 'road', 'micros', 'frame'].forEach(function (k) {
      panel[k] = document.getElementById('p-' + k);
    });
    var steerMark = document.querySelector('#steerbar i');
    var recentMicros = [];
    function showPanel() {
      var p = new Float32Array(M.HEAPF32.buffer, lib.panel(), 8);
      panel.steering.textContent = p[0].toFixed(2);
      steerMark.style.left = (50 + 50 * p[0]) + '%';
      panel.gear.textContent = p[1].toFixed(0);
      panel.handbrake.textContent = p[2].toFixed(2);
      panel.speed.textContent = replay ? '(stage)' : (p[3] * 3.6).toFixed(0) + ' km/h';
      panel.wipers.textContent = replay ? '(stage)' : ['off', 'slow', 'fast'][p[4]] || 'off';
      panel.road.textContent = p[5] > 0.01 ? 'rough ' + p[5].toFixed(2) : 'smooth';
      recentMicros.push(p[6]);
      if (recentMicros.length > 60) recentMicros.shift();
      var mean = recentMicros.reduce(function (a, b) { return a + b; }, 0) / recentMicros.length;
      panel.micros.textContent = mean.toFixed(0) + ' \u00b5s';
      panel.frame.textContent = p[7].toFixed(0);
    }

    function finishReport(frames) {
      statusBox.dataset.frames = frames;
      statusBox.dataset.checksum = lib.checksum();
      statusBox.dataset.micros = lib.meanMicros().toFixed(1);
      report('ready', 'ready: ' + frames + ' frames, checksum ' + statusBox.dataset.checksum +
        ', library ' + statusBox.dataset.micros + ' \u00b5s per frame');
    }

    var world = ZelkarWorld(layout, decodeBase64('zk-cast'), function () {
      try {
        run();
      } catch (e) {
        report('error', e.message);
      }
    }, function (message) { report('error', message); });

    function run() {
      if ('sticks' in params) world.toggleSticks();
      if (params.cam) world.setCamera(params.cam);
      ZelkarKeys.on('KeyB', world.toggleSticks);
      ZelkarKeys.on('KeyC', world.cycleCamera);
      ZelkarKeys.on('KeyP', function () { replay = !replay; layout = start(); });

      if ('keys' in params || ('replay' in params && 'fast' in params)) {
        // A scripted run: every frame at once, then the last one drawn and reported.
        var frames = 0;
        if ('keys' in params) {
          var n = lib.parseKeys(params.keys);
          if (n < 0) throw new Error(lib.error());
          for (var i = 0; i < n; ++i) frames = step(lib.scriptKey(i));
        } else {
          for (var made; (made = step(0)) > 0;) frames = made;
        }
        showPanel();
        world.draw(matrices(), true);
        finishReport(frames);
        // The last frame stays on the screen (a headless browser's screenshot comes later).
        var redraw = function () { world.draw(matrices(), true); requestAnimationFrame(redraw); };
        requestAnimationFrame(redraw);
        return;
      }

      // Live: whole 60 Hz steps for the time that passed, drawn once per display frame.
      var dt = 1 / layout.rate, owed = 0, last = null, made = 0;
      report('ready', 'ready: ' + (replay ? 'replaying the sample stage' : 'driving') +
        ' (keys below)');
      function tick(now) {
        owed += last === null ? dt : Math.min((now - last) / 1000, 0.25);
        last = now;
        try {
          while (owed >= dt) {
            owed -= dt;
            made = step(ZelkarKeys.take());
            if (made === 0) { layout = start(); made = step(0); }  // the replay starts over
          }
          showPanel();
          world.draw(matrices(), false);
          statusBox.dataset.frames = made;
        } catch (e) {
          report('error', e.message);
          return;
        }
        requestAnimationFrame(tick);
      }
      requestAnimationFrame(tick);
    }
  }).catch(function (e) { report('error', e && e.message ? e.message : String(e)); });
})();
