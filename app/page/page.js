'use strict';
// Starts the program on the page's canvas. Its settings are config.ini beside the page with
// the URL parameters written over it: each parameter becomes a key=value line placed before the
// file's own text, in the section the file gives that key, so the settings reader (which takes
// the first line carrying a key) reads the URL's value and checks it as it checks the file's.
// config.ini, the shader pair and the scenes are fetched here and put into the program's file
// system before main runs (?scene=NAME is the scene setting like any other key); the program itself is unchanged. What the program says on stderr is shown on the
// page, in the words of the address where a URL parameter gave the value.
(function () {
  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');
  const refusal = document.getElementById('refusal');
  const overlay = document.getElementById('overlay');
  const keys = document.getElementById('keys');
  const stopped = document.getElementById('stopped');
  const messages = document.getElementById('messages');

  // The runtime's GLUT listens on the window, where browsers make wheel and touch listeners
  // passive: its preventDefault then fails (a console error each time) and the page scrolls
  // under the stirring finger or wheel. Registered here instead as active listeners, with the
  // wheel taken only over the canvas, so the page still scrolls everywhere else.
  const add_listener = window.addEventListener;
  window.addEventListener = function (type, listener, options) {
    // Touch is the page's own (pointer events below): the runtime's reading of it as a mouse
    // would press a second button under the same finger.
    if (['touchstart', 'touchmove', 'touchend', 'touchcancel'].includes(type)) return undefined;
    if (type === 'mousewheel' || type === 'DOMMouseScroll') {
      const inner = listener;
      listener = (event) => { if (event.target === canvas) inner(event); };
    }
    if (['mousewheel', 'DOMMouseScroll', 'touchstart', 'touchmove'].includes(type)) {
      options = { capture: options === true || Boolean(options && options.capture),
                  passive: false };
    }
    return add_listener.call(this, type, listener, options);
  };

  // URL parameters that are program options rather than settings, each with its check: the
  // program would refuse a bad value with its command line's usage, which the page has no use for.
  const options = {
    seed: {
      flag: '--seed',
      // As the program reads it: an optional sign and decimal digits, from 0 to 2^32-1.
      accepts: (value) => /^[+-]?[0-9]+$/.test(value) && BigInt(value) >= 0n &&
                          BigInt(value) <= 4294967295n,
      accepted: 'use a whole number from 0 to 4294967295',
    },
  };

  function show_refusal(lines) {
    canvas.hidden = true;
    messages.hidden = true;
    refusal.textContent = lines.join('\n');
    refusal.hidden = false;
    status.textContent = 'Not started.';
    document.body.dataset.state = 'refused';
  }

  // The section of every key in config.ini, as the settings reader sees the file.
  function key_sections(text) {
    const sections = new Map();
    let section = null;
    for (const line of text.split(/\r\n|\r|\n/)) {
      if (line.startsWith('[')) {
        const end = line.indexOf(']');
        section = line.slice(1, end < 0 ? undefined : end);
      } else if (!line.startsWith(';') && section !== null) {
        const at = line.indexOf('=');
        const key = at > 0 ? line.slice(0, at).split(' ')[0] : '';
        if (key !== '' && !sections.has(key)) sections.set(key, section);
      }
    }
    return sections;
  }

  // The settings file the program reads and its arguments; `problems` collects parameters that
  // name no setting, would not stay on one line of the file or give an option a bad value.
  // `lines` maps each line number of the written file that holds a URL parameter to it, `from_url`
  // the keys whose value the program reads from the address, and `added` counts the lines
  // written before config.ini's own.
  function page_settings(params, file_text, problems) {
    const sections = key_sections(file_text);
    const blocks = new Map();
    const args = [];
    for (const [key, value] of params) {
      if (Object.prototype.hasOwnProperty.call(options, key)) {
        if (options[key].accepts(value)) {
          args.push(options[key].flag, value);
        } else {
          problems.push(`error: URL parameter ${key} = ${value} is not accepted: ` +
                        options[key].accepted);
        }
      } else if (!sections.has(key)) {
        problems.push(`error: URL parameter ${key} = ${value} is not accepted: ${key} is not a ` +
                      `setting; use a key of config.ini (${[...sections.keys()].join(', ')}) ` +
                      `or ${Object.keys(options).join(', ')}`);
      } else if (/[\r\n]/.test(value)) {
        problems.push(`error: [${sections.get(key)}] ${key} = ${JSON.stringify(value)} is not ` +
                      'accepted: a value is one line of text');
      } else {
        const section = sections.get(key);
        if (!blocks.has(section)) blocks.set(section, []);
        blocks.get(section).push({ key, value });
      }
    }
    let text = '';
    const lines = new Map();
    const from_url = new Set();
    let added = 0;
    for (const [section, pairs] of blocks) {
      text += `[${section}]\n`;
      added += 1;
      for (const { key, value } of pairs) {
        text += `${key}=${value}\n`;
        added += 1;
        lines.set(added, { key, value });
        // The reader takes a key's first line with a value; an empty one leaves it to the file.
        if (value.trim() !== '') from_url.add(key);
      }
    }
    return { text: text + file_text, args, lines, from_url, added };
  }

  // One line the program wrote on stderr, as the page says it. Its settings file is the page's
  // own writing, so a line number of it means nothing to the reader: a line that came from the
  // address is named by its URL parameter, and config.ini's lines get back their own numbers.
  // Its advice to start again or to look at a terminal becomes the page's. Null: nothing to say.
  function page_words(line, settings) {
    const numbered = /^warning: config\.ini:(\d+): (.*)$/.exec(line);
    if (numbered !== null) {
      const number = Number(numbered[1]);
      const from = settings.lines.get(number);
      // The quoted line is the reader's copy; what it says of it never holds "': ".
      const what = numbered[2].slice(numbered[2].lastIndexOf('\': ') + 3);
      // A key the address sets stands before the file's own line for it on purpose: only a key
      // the address gives twice is worth a word.
      const repeated = /is given again; the first value, on line (\d+), is the one used$/.exec(what);
      const first = repeated !== null ? settings.lines.get(Number(repeated[1])) : undefined;
      if (first !== undefined && from === undefined) return null;
      if (first !== undefined) {
        return `warning: URL parameter ${from.key} = ${from.value}: ${from.key} is given again; ` +
               `the first, ${first.key} = ${first.value}, is the one used`;
      }
      if (from !== undefined) return `warning: URL parameter ${from.key} = ${from.value}: ${what}`;
      if (number > settings.added) {
        return `warning: config.ini:${number - settings.added}: ${numbered[2]}`;
      }
    }
    const refused = /^error: \[[^\]]*\] (\S+) = /.exec(line);
    if (refused !== null && settings.from_url.has(refused[1])) {
      line = line.replace(' (the file says ', ' (the address says ');
    }
    const again = new RegExp('^Correct the settings above in config\\.ini (or in the scene )?' +
                             '(\\(or remove them to use the defaults\\) )?and (start|press l) again');
    return line
      .replace(again, 'Correct the settings above in the address or in config.ini beside this ' +
                      'page $1$2and load the page again')
      .replace(/\(see the (terminal|console)\)/g, '(see the messages below the canvas)')
      .replace('; the window keeps showing it.', '; the canvas keeps showing it.');
  }

  // The settings as HTML controls, from the table the program sends (app/page/panel.cpp): a
  // slider for a whole number with a range, a number field otherwise, the scene list; each with
  // its description. A change goes back to the program, which bounds and checks it as the
  // window's panel does and sends the settings again, so the controls always show what it took.
  const controls = document.getElementById('controls');
  const control_list = document.getElementById('control-list');
  const restart_button = document.getElementById('restart');
  const control_message = document.getElementById('control-message');
  const copied = document.getElementById('copied');
  let table = null;
  const inputs = new Map();

  function make_control(setting, index) {
    const row = document.createElement('div');
    row.className = 'control';
    const label = document.createElement('label');
    const id = `setting-${setting.key}`;
    label.htmlFor = id;
    label.textContent = setting.key;
    if (setting.restart) {
      const mark = document.createElement('span');
      mark.className = 'restart-mark';
      mark.textContent = 'R';
      mark.title = 'takes effect with Restart';
      label.append(' ', mark);
    }
    let input;
    if (setting.type === 'text') {
      input = document.createElement('select');
      for (const name of table.scenes) input.add(new Option(name, name));
      input.addEventListener('change', () => {
        window.Module._tarnwell_panel_scene(table.scenes.indexOf(input.value));
      });
    } else {
      input = document.createElement('input');
      input.type = setting.type === 'whole' && setting.range ? 'range' : 'number';
      input.step = setting.type === 'whole' ? '1' : 'any';
      if (setting.range || setting.positive) input.min = String(setting.lo);
      if (setting.range) input.max = String(setting.hi);
      input.addEventListener('change', () => {
        const value = Number(input.value);
        // An empty or unreadable field keeps the value the program has.
        if (input.value.trim() === '' || !Number.isFinite(value)) {
          input.value = table.settings[index].value;
          return;
        }
        window.Module._tarnwell_panel_set(index, value);
      });
    }
    input.id = id;
    const shown = document.createElement('output');
    shown.htmlFor = id;
    const about = document.createElement('small');
    const accepted = setting.range ? `; ${setting.lo} to ${setting.hi}`
                   : setting.positive ? '; above 0' : '';
    about.textContent = setting.description + accepted;
    row.append(label, input, shown, about);
    inputs.set(setting.key, { input, shown });
    return row;
  }

  function show_settings(json) {
    const first = table === null;
    table = JSON.parse(json);
    window.tarnwell_settings = table; // what the controls show, for the page's tests
    if (first) {
      let section = null;
      let group = null;
      table.settings.forEach((setting, index) => {
        if (setting.section !== section) {
          section = setting.section;
          group = document.createElement('fieldset');
          const legend = document.createElement('legend');
          legend.textContent = `[${section}]`;
          group.appendChild(legend);
          control_list.appendChild(group);
        }
        group.appendChild(make_control(setting, index));
      });
      controls.hidden = false;
    }
    for (const setting of table.settings) {
      const { input, shown } = inputs.get(setting.key);
      if (document.activeElement !== input || input.type !== 'number') input.value = setting.value;
      shown.textContent = input.type === 'range' ? setting.value : '';
      input.closest('.control').classList.toggle('waiting', setting.value !== setting.running);
    }
    restart_button.disabled = !table.restart_waiting;
    control_message.textContent = table.message;
  }

  // The address of what runs now: the settings that differ from their defaults, the scene and
  // the seed, so that the link starts the same frames.
  function link() {
    const params = new URLSearchParams();
    for (const setting of table.settings) {
      if (setting.key === 'scene') continue;
      const same = setting.type === 'text' ? setting.running === setting.default
                                           : Number(setting.running) === Number(setting.default);
      if (!same) params.set(setting.key, setting.running);
    }
    params.set('scene', table.settings.find((s) => s.key === 'scene').running);
    params.set('seed', String(table.seed));
    return `${location.origin}${location.pathname}?${params}`;
  }

  restart_button.addEventListener('click', () => window.Module._tarnwell_panel_restart());
  document.getElementById('copy-link').addEventListener('click', async () => {
    const address = link();
    history.replaceState(null, '', address);
    try {
      await navigator.clipboard.writeText(address);
      copied.textContent = 'Copied; the address bar shows it too.';
    } catch (e) {
      copied.textContent = 'The address bar shows the link (the clipboard refused it).';
    }
  });

  // Touch and pen, as pointer events on the canvas (a mouse stays the runtime's): one finger
  // pulls, two push at their midpoint, a long press floats and lets go with gravity reversed,
  // a pinch turns the stirring radius. Each becomes the mouse action the program already has.
  const touches = new Map();
  let held = -1;         // GLUT button the fingers hold: 0 pull, 1 float, 2 push
  let long_press = null; // timer of a finger that has not moved yet
  let pinch = 0;         // the two fingers' distance when the radius last turned
  const long_press_ms = 600;

  function canvas_point(x, y) {
    const r = canvas.getBoundingClientRect();
    return [Math.round((x - r.left) * canvas.width / r.width),
            Math.round((y - r.top) * canvas.height / r.height)];
  }
  function touch_centre() {
    const points = [...touches.values()];
    const x = points.reduce((s, p) => s + p.x, 0) / points.length;
    const y = points.reduce((s, p) => s + p.y, 0) / points.length;
    return canvas_point(x, y);
  }
  function press(button) {
    const [x, y] = touch_centre();
    if (held >= 0) window.Module._tarnwell_touch_button(held, 0, x, y);
    held = button;
    if (button >= 0) window.Module._tarnwell_touch_button(button, 1, x, y);
  }
  function spread() {
    const [a, b] = [...touches.values()];
    return Math.hypot(a.x - b.x, a.y - b.y);
  }
  function stop_long_press() {
    if (long_press !== null) clearTimeout(long_press);
    long_press = null;
  }
  canvas.style.touchAction = 'none';
  canvas.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'mouse' || !window.Module || !window.Module._tarnwell_touch_button) return;
    event.preventDefault();
    canvas.setPointerCapture(event.pointerId);
    touches.set(event.pointerId, { x: event.clientX, y: event.clientY, x0: event.clientX,
                                   y0: event.clientY });
    stop_long_press();
    if (touches.size === 1) {
      press(0);
      long_press = setTimeout(() => { long_press = null; if (touches.size === 1) press(1); },
                              long_press_ms);
    } else if (touches.size === 2) {
      press(2);
      pinch = spread();
    }
  });
  canvas.addEventListener('pointermove', (event) => {
    const touch = touches.get(event.pointerId);
    if (touch === undefined) return;
    event.preventDefault();
    touch.x = event.clientX;
    touch.y = event.clientY;
    if (Math.hypot(touch.x - touch.x0, touch.y - touch.y0) > 10) stop_long_press();
    if (touches.size === 2 && pinch > 0) {
      // A quarter wider or narrower turns the radius one step, as a wheel notch does.
      const ratio = spread() / pinch;
      if (ratio > 1.25 || ratio < 0.8) {
        window.Module._tarnwell_touch_radius(ratio > 1 ? 1 : -1);
        pinch = spread();
      }
    }
    window.Module._tarnwell_touch_move(...touch_centre());
  });
  function touch_end(event) {
    if (!touches.has(event.pointerId)) return;
    event.preventDefault();
    stop_long_press();
    const [x, y] = canvas_point(event.clientX, event.clientY);
    touches.delete(event.pointerId);
    if (touches.size === 0) {
      if (held >= 0) window.Module._tarnwell_touch_button(held, 0, x, y);
      held = -1;
    }
  }
  canvas.addEventListener('pointerup', touch_end);
  canvas.addEventListener('pointercancel', touch_end);

  // Enough for every warning a start and a few reloads give; older ones make way.
  const most_messages = 200;

  function show_message(line) {
    const message = document.createElement('div');
    message.textContent = line;
    messages.appendChild(message);
    if (messages.childElementCount > most_messages) messages.firstElementChild.remove();
    messages.hidden = false;
  }

  async function fetch_text(name) {
    const response = await fetch(name, { cache: 'no-cache' });
    if (!response.ok) throw new Error(`${name}: ${response.status} ${response.statusText}`);
    return response.text();
  }

  // The scenes beside the page, as the program finds them beside itself: scenes/index.txt names
  // them one a line, and each is scenes/NAME.ini.
  async function fetch_scenes() {
    const names = (await fetch_text('scenes/index.txt')).split('\n').filter((n) => n !== '');
    const texts = await Promise.all(names.map((n) => fetch_text(`scenes/${n}.ini`)));
    return names.map((name, i) => ({ name, text: texts[i] }));
  }

  async function start() {
    let files;
    let scenes;
    try {
      files = await Promise.all(['config.ini', 'vs.glsl', 'fs.glsl'].map(fetch_text));
      scenes = await fetch_scenes();
    } catch (e) {
      show_refusal([`The page could not load its files (${e.message}).`,
                    'Serve its folder over HTTP, for example with ./run.sh --web.']);
      return;
    }
    const problems = [];
    const settings = page_settings(new URLSearchParams(location.search), files[0], problems);
    if (problems.length > 0) {
      show_refusal(problems.concat(['', 'Correct or remove these URL parameters and load the ' +
                                        'page again.']));
      return;
    }

    const errors = [];
    window.Module = {
      canvas,
      thisProgram: 'tarnwell',
      arguments: settings.args,
      print: (text) => console.log(text),
      printErr: (text) => {
        console.warn(text);
        // The runtime's own notes on its GL emulation are no message of the program's.
        if (text.startsWith('WARNING: using emscripten GL')) return;
        // Nor its note that the browser's main thread waits: there the program waits for the
        // step's lanes on the workers, a few microseconds at a time.
        if (text.startsWith('Blocking on the main thread is very dangerous')) return;
        const line = page_words(text, settings);
        if (line === null) return;
        errors.push(line);
        // Refused settings end the program, and the refusal shows them all.
        if (document.body.dataset.state !== 'refused') show_message(line);
      },
      onTitle: (text) => {
        status.textContent = text;
        if (document.body.dataset.state !== 'stopped') document.body.dataset.state = 'running';
      },
      onOverlay: (text, status_line) => {
        // The program's status line comes last and stands out, as on the desktop.
        const lines = text.split('\n');
        const last = status_line !== 0 ? page_words(lines.pop(), settings) : null;
        overlay.textContent = lines.join('\n');
        if (last !== null) {
          const span = document.createElement('span');
          span.className = 'status';
          span.textContent = (lines.length > 0 ? '\n' : '') + last;
          overlay.appendChild(span);
        }
        overlay.hidden = text === '';
      },
      onKeys: (text) => { keys.textContent = text; },
      onSettings: show_settings,
      onPanel: () => controls.scrollIntoView({ block: 'start' }),
      onStop: () => {
        document.body.dataset.state = 'stopped';
        stopped.hidden = false;
      },
      onExit: (code) => {
        // After q the runtime winds down once nothing is scheduled any more: that is no refusal.
        if (code !== 0 && document.body.dataset.state !== 'stopped') {
          show_refusal(errors.concat(['', 'The settings are config.ini beside this page with ' +
                                          'the URL parameters written over it.']));
        }
      },
      preRun: [() => {
        const fs = window.Module.FS;
        fs.writeFile('config.ini', settings.text);
        fs.writeFile('vs.glsl', files[1]);
        fs.writeFile('fs.glsl', files[2]);
        fs.mkdir('scenes');
        for (const { name, text } of scenes) fs.writeFile(`scenes/${name}.ini`, text);
      }],
    };
    // Threads share the module's memory as a SharedArrayBuffer, which a browser gives only a
    // cross-origin isolated page; elsewhere the same program built without threads runs, and
    // the page says why it has one thread.
    const threaded = window.crossOriginIsolated === true;
    document.getElementById('one-thread').hidden = threaded;
    status.textContent = 'Starting…';
    const script = document.createElement('script');
    script.src = threaded ? 'tarnwell.js' : 'tarnwell-one-thread.js';
    document.body.appendChild(script);
  }

  start();
})();
