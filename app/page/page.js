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
