// The keyboard as the library's key bits (tools/zelkar-drive/LiveControls.h): held keys make the
// mask each 60 Hz step sends; the page's own keys (camera, bodies, replay) go to their handlers.
'use strict';
var ZelkarKeys = (function () {
  var bits = { left: 1, right: 2, up: 4, down: 8, gearup: 16, geardown: 32, handbrake: 64,
    wipers: 128, rough: 256 };
  var byCode = {
    ArrowLeft: 'left', KeyA: 'left', ArrowRight: 'right', KeyD: 'right',
    ArrowUp: 'up', KeyW: 'up', ArrowDown: 'down', KeyS: 'down',
    KeyE: 'gearup', KeyQ: 'geardown', Space: 'handbrake', KeyV: 'wipers', KeyG: 'rough'
  };
  var held = 0;
  // A press that came and went between two steps still counts once.
  var tapped = 0;
  var handlers = {};

  window.addEventListener('keydown', function (e) {
    var name = byCode[e.code];
    if (name) {
      held |= bits[name];
      tapped |= bits[name];
      e.preventDefault();
    } else if (!e.repeat && handlers[e.code]) {
      handlers[e.code]();
    }
  });
  window.addEventListener('keyup', function (e) {
    var name = byCode[e.code];
    if (name) held &= ~bits[name];
  });
  window.addEventListener('blur', function () { held = 0; });

  return {
    // The mask for the next step.
    take: function () {
      var mask = held | tapped;
      tapped = 0;
      return mask;
    },
    // Calls fn when the key with this code (e.g. 'KeyC') is pressed.
    on: function (code, fn) { handlers[code] = fn; }
  };
})();
