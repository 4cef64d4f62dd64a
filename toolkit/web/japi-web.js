// The page's side of the web toolkit (toolkit/web/Web.cpp): the program's window, menus,
// dialogs and canvas as the page's elements, and its event queue. The program calls in through
// JapiWeb; every user action becomes the handle of the object that fired it.
"use strict";

const JapiWeb = (() => {
  const Kind = {Frame: 1, MenuBar: 2, Menu: 3, MenuItem: 4, Canvas: 5, Dialog: 6, Label: 7,
                TextField: 8, Button: 9, KeyListener: 10, MouseListener: 11};
  const Op = {Show: 1, Hide: 2, Pack: 3, Enable: 4, Disable: 5, BorderLayout: 6, FlowLayout: 7,
              Shortcut: 8, Size: 9, Position: 10, CursorPosition: 11, SelectAll: 12, Focus: 13,
              Dispose: 14, Quit: 15};
  const Query = {Width: 1, Height: 2, X: 3, Y: 4, KeyCode: 5, KeyChar: 6};
  const maxText = 254;  // a text field's characters, what J_gettext copies

  const objects = new Map();  // handle -> {kind, el, parent, ...}
  const queue = [];
  let waiting = null;         // the program's wait for the next event
  let program = "";
  let ended = false;
  const stats = {firstPicture: null, presents: 0, polls: 0, started: performance.now()};
  // One channel for every poll: a message lets the page run its input and painting first
  // without a timer's minimum wait.
  const turns = new MessageChannel();
  const afterTurn = [];
  turns.port1.onmessage = () => afterTurn.shift()();

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function fire(handle, coalesce) {
    if (ended) return;
    if (coalesce && queue.length && queue[queue.length - 1] === handle) return;
    if (waiting) {
      const wake = waiting;
      waiting = null;
      wake(handle);
      return;
    }
    queue.push(handle);
  }

  function frameOf(handle) {
    let o = objects.get(handle);
    while (o && o.kind !== Kind.Frame) o = objects.get(o.parent);
    return o;
  }

  function openDialog() {
    for (const o of objects.values())
      if (o.kind === Kind.Dialog && o.el.open) return o;
    return null;
  }

  // Whether the frame takes input: not while it is disabled or a dialog is up.
  function frameTakes(frame) {
    return frame && !frame.disabled && !openDialog();
  }

  // Whether a press on an element is on its scroll bars: inside its box, beside its content.
  function onScrollBar(element, e) {
    if (e.target !== element || e.offsetX < 0 || e.offsetY < 0) return false;
    return (e.offsetX >= element.clientWidth || e.offsetY >= element.clientHeight) &&
           e.offsetX < element.offsetWidth && e.offsetY < element.offsetHeight;
  }

  // An object's box; a dialog's before it is shown as it will be, laid out for a moment unseen.
  function boxOf(o) {
    if (o.kind !== Kind.Dialog || o.el.open) return o.el.getBoundingClientRect();
    o.el.style.visibility = "hidden";
    o.el.style.display = "block";
    const box = o.el.getBoundingClientRect();
    o.el.style.display = o.el.style.visibility = "";
    return box;
  }

  // A dialog where the program put it, in the page's pixels, but never outside the browser's
  // window, which it stays within when that shrinks.
  function place(o) {
    const box = o.el.getBoundingClientRect();
    const left = Math.min(o.at.x - window.scrollX, window.innerWidth - box.width);
    const top = Math.min(o.at.y - window.scrollY, window.innerHeight - box.height);
    Object.assign(o.el.style, {margin: "0", inset: "auto", left: Math.max(0, left) + "px",
                               top: Math.max(0, top) + "px"});
  }

  function openMenu() {
    for (const o of objects.values())
      if (o.kind === Kind.Menu && !o.list.hidden) return o;
    return null;
  }

  function closeMenus(except) {
    for (const o of objects.values())
      if (o.kind === Kind.Menu && o !== except) o.list.hidden = true;
  }

  // Latin-1, as the toolkit's strings are: one character a byte.
  function latin1(heap, ptr) {
    let s = "";
    for (let i = ptr; heap[i] !== 0; ++i) s += String.fromCharCode(heap[i]);
    return s;
  }

  const create = {
    [Kind.Frame](o, text) {
      o.el = el("section", "japi-frame");
      o.el.hidden = true;
      const bar = el("header", "japi-titlebar");
      o.title = el("span", "japi-title", text);
      const close = el("button", "japi-close", "\u00d7");
      close.title = "Schließen";
      close.addEventListener("click", () => fire(o.handle));
      bar.append(o.title, close);
      o.body = el("div", "japi-body");
      o.el.append(bar, o.body);
      document.getElementById("japi").append(o.el);
      document.title = text || program;
    },
    [Kind.MenuBar](o) {
      o.el = el("nav", "japi-menubar");
      const frame = objects.get(o.parent);
      frame.body.prepend(o.el);
    },
    [Kind.Menu](o, text) {
      o.el = el("div", "japi-menu");
      o.button = el("button", "japi-menu-title", text);
      o.list = el("div", "japi-menu-list");
      o.list.hidden = true;
      o.button.addEventListener("click", (e) => {
        e.stopPropagation();
        if (!frameTakes(frameOf(o.handle))) return;
        closeMenus(o);
        o.list.hidden = !o.list.hidden;
      });
      o.el.append(o.button, o.list);
      objects.get(o.parent).el.append(o.el);
    },
    [Kind.MenuItem](o, text) {
      o.el = el("button", "japi-item");
      o.label = el("span", "japi-item-label", text);
      o.keys = el("span", "japi-item-keys", "");
      o.el.append(o.label, o.keys);
      o.el.addEventListener("click", (e) => {
        e.stopPropagation();
        closeMenus();
        if (!o.el.disabled && frameTakes(frameOf(o.handle))) fire(o.handle);
      });
      objects.get(o.parent).list.append(o.el);
    },
    [Kind.Canvas](o, text, number) {
      o.el = el("canvas", "japi-canvas");
      o.el.width = number >> 16;
      o.el.height = number & 0xffff;
      o.context = o.el.getContext("2d");
      o.listeners = [];
      const on = (kind, coalesce) => () => {
        if (!frameTakes(frameOf(o.handle))) return;
        for (const l of o.listeners) if (l.number === kind) fire(l.handle, coalesce);
      };
      // A press while a menu is open only closes it, and its release goes with it: as on the
      // desktop, neither reaches the program, so the press is no Start.
      let closing = false;
      o.el.addEventListener("mousedown", () => {
        closing = openMenu() !== null;
        if (closing) closeMenus();
        else on(0, false)();
      });
      o.el.addEventListener("mouseup", () => {
        if (!closing) on(1, false)();
        closing = false;
      });
      o.el.addEventListener("mousemove", (e) => on(e.buttons ? 2 : 4, true)());
      objects.get(o.parent).body.append(o.el);
    },
    [Kind.Dialog](o, text) {
      o.el = el("dialog", "japi-dialog");
      o.el.append(el("header", "japi-titlebar", text));
      o.body = el("div", "japi-dialog-body");
      o.el.append(o.body);
      // Escape, like the close box, fires the dialog and leaves it up. Taken at the key: a
      // browser closes a modal dialog on a second Escape whatever its cancel handler says.
      o.el.addEventListener("keydown", (e) => {
        if (e.key !== "Escape") return;
        e.preventDefault();
        fire(o.handle);
      });
      o.el.addEventListener("cancel", (e) => {
        e.preventDefault();
        fire(o.handle);
      });
      // A press on the prompt, the frame or the page behind leaves the focus where it was:
      // only the field and the button take it, as on the desktop. The dialog's own scroll
      // bars, in a small browser window, still take theirs.
      o.el.addEventListener("mousedown", (e) => {
        if (e.target.closest("input, button") || onScrollBar(o.el, e)) return;
        e.preventDefault();
      });
      // Only the program's hide ends a dialog: one the browser closes anyway comes back, or
      // the program would wait for it for ever.
      o.el.addEventListener("close", () => {
        if (!o.hiding && !ended && objects.has(o.handle)) o.el.showModal();
      });
      document.body.append(o.el);
    },
    [Kind.Label](o, text) {
      o.el = el("div", "japi-label", text);
      objects.get(o.parent).body.append(o.el);
    },
    [Kind.TextField](o, text, number) {
      o.el = el("input", "japi-field");
      o.el.type = "text";
      o.el.size = number;
      // What J_gettext can hand over: typing or pasting stops there, as on the desktop.
      o.el.maxLength = maxText;
      o.el.addEventListener("keydown", (e) => {
        if (e.key !== "Enter") return;
        // The field's alone: the program may have closed the dialog by the time the key
        // reaches the page, whose window would hear it too.
        e.preventDefault();
        e.stopPropagation();
        fire(o.handle);
      });
      objects.get(o.parent).body.append(o.el);
    },
    [Kind.Button](o, text) {
      o.el = el("button", "japi-button", text);
      o.el.addEventListener("click", () => fire(o.handle));
      objects.get(o.parent).body.append(o.el);
    },
    [Kind.KeyListener](o) {
      o.code = 0;
      o.char = 0;
    },
    [Kind.MouseListener](o, text, number) {
      objects.get(o.parent).listeners.push(o);
    },
  };

  // What Ctrl makes of a typed character on the desktop's keyboards: a control character.
  function withControl(c) {
    if ((c >= 64 && c < 127) || c === 32) return c & 0x1f;
    if (c === 50) return 0;
    if (c >= 51 && c <= 55) return c - 24;
    if (c === 56) return 127;
    return c === 47 ? 31 : c;
  }

  // A character key's code: its capital where that is Latin-1 too (ß, ÿ and µ have none), as
  // the desktop names a key by its capital whatever the case typed.
  function codeOfCharacter(key) {
    const c = key.charCodeAt(0);
    if (c === 32 || (c >= 48 && c <= 57)) return c;
    const capital = key.toUpperCase();
    const named = capital.length === 1 && capital.charCodeAt(0) <= 255 ? capital.charCodeAt(0) : c;
    return named >= 65 && named <= 90 ? named : 256 + named;
  }

  // A key as the toolkit codes it (toolkit/japi.h), or null for a modifier alone.
  function keyOf(e) {
    const named = {ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, PageUp: 33,
                   PageDown: 34, End: 35, Home: 36, Insert: 45};
    const chars = {Enter: 10, Escape: 27, Backspace: 8, Tab: 9};
    if (/^F([1-9]|1[0-2])$/.test(e.key)) return {code: 111 + Number(e.key.slice(1)), char: 0};
    if (e.key in named) return {code: named[e.key], char: 0};
    if (e.key === "Delete") return {code: 46, char: 127};
    if (e.key in chars) return {code: chars[e.key], char: chars[e.key]};
    if (e.key.length === 1) {
      const c = e.key.charCodeAt(0);
      if (c > 255) return {code: 512, char: 0};
      // Ctrl with Alt is AltGr on some systems, which types its character unchanged.
      return {code: codeOfCharacter(e.key), char: e.ctrlKey && !e.altKey ? withControl(c) : c};
    }
    if (["Shift", "Control", "Alt", "Meta", "AltGraph", "CapsLock"].includes(e.key)) return null;
    return {code: 513, char: 0};
  }

  // The item whose shortcut a key is, Ctrl + its letter.
  function shortcutOf(e) {
    if (!e.ctrlKey || e.altKey || e.metaKey || !/^[a-zA-Z]$/.test(e.key)) return null;
    const letter = e.key.toUpperCase().charCodeAt(0);
    for (const o of objects.values())
      if (o.kind === Kind.MenuItem && o.shortcut === letter) return o;
    return null;
  }

  // The keys an open menu keeps: how each moves in it (to the next item, to the first or last,
  // to the menu beside it), or 0 for those the browser acts on, as on a focused item.
  const menuKeys = {ArrowDown: "next", ArrowUp: "previous", Home: "first", PageUp: "first",
                    End: "last", PageDown: "last", ArrowLeft: "left", ArrowRight: "right",
                    Enter: 0, " ": 0};

  function moveInMenu(menu, move) {
    if (move === "left" || move === "right") {
      const menus = [...menu.el.parentElement.children];
      const at = menus.indexOf(menu.el) + (move === "left" ? menus.length - 1 : 1);
      const beside = [...objects.values()].find((o) => o.el === menus[at % menus.length]);
      closeMenus(beside);
      beside.list.hidden = false;
      menu = beside;
      move = "first";
    }
    const items = [...menu.list.children].filter((i) => !i.disabled);
    if (!items.length) return;
    const at = items.indexOf(document.activeElement);
    const to = {next: at < 0 ? 0 : at + 1, previous: at < 0 ? -1 : at - 1, first: 0,
                last: -1}[move];
    items[(to + items.length) % items.length].focus();
  }

  // A text field's own Ctrl keys: select all, copy, paste, cut, undo, redo.
  const editingKeys = /^[acvxzy]$/i;

  // The menus' shortcut letters, Ctrl+C and Ctrl+S: the page keeps them from the browser in
  // every program, also where no item has one (kammel's Stop), so the browser's "Save page"
  // never comes up over a program; there the key goes to the program as any other.
  function isWindowKey(e) {
    return e.ctrlKey && !e.altKey && !e.metaKey && /^[cs]$/i.test(e.key);
  }

  // A shortcut runs its item; the page keeps these keys from the browser. Other keys go to
  // the frame's key listener. While a dialog is up, none of this: its field keeps its own
  // keys (Ctrl+C copies there), and a shortcut that is none of them does nothing.
  function onKey(e) {
    if (ended) return;
    // An open menu takes Escape and its moving keys, as on the desktop: the program never
    // hears them. Enter and Space choose the item in focus, as the browser presses a button.
    const open = openMenu();
    if (open && e.key === "Escape") {
      e.preventDefault();
      closeMenus();
      return;
    }
    if (open && e.key in menuKeys) {
      if (menuKeys[e.key]) {
        e.preventDefault();
        moveInMenu(open, menuKeys[e.key]);
      }
      return;
    }
    const item = shortcutOf(e);
    const kept = item || isWindowKey(e);
    if (openDialog()) {
      if (kept && !editingKeys.test(e.key)) e.preventDefault();
      return;
    }
    if (kept) e.preventDefault();
    if (item) {
      if (!item.el.disabled && frameTakes(frameOf(item.handle))) fire(item.handle);
      return;
    }
    const key = keyOf(e);
    if (!key) return;
    for (const o of objects.values()) {
      if (o.kind !== Kind.KeyListener || !frameTakes(objects.get(o.parent))) continue;
      o.code = key.code;
      o.char = key.char;
      fire(o.handle);
    }
  }

  function dispose(handle) {
    const dialog = objects.get(handle);
    if (!dialog) return;
    if (dialog.el.open) dialog.el.close();
    dialog.el.remove();
    for (const [h, o] of objects)
      if (o.parent === handle) objects.delete(h);
    objects.delete(handle);
    // What they fired and the program has not taken names nothing now.
    for (let i = queue.length - 1; i >= 0; --i)
      if (!objects.has(queue[i])) queue.splice(i, 1);
  }

  function quit() {
    ended = true;
    queue.length = 0;
    for (const o of objects.values())
      if (o.kind === Kind.Dialog) o.el.remove();
    objects.clear();
    document.getElementById("japi").replaceChildren();
    const notice = document.getElementById("japi-ended");
    notice.querySelector(".japi-ended-name").textContent = program;
    notice.hidden = false;
    notice.querySelector("button").focus();
  }

  const calls = {
    [Op.Show](o) {
      if (o.kind === Kind.Dialog) {
        o.hiding = false;
        if (!o.el.open) o.el.showModal();
        if (o.at) place(o);
      } else if (o.el) {
        o.el.hidden = false;
      }
    },
    [Op.Hide](o) {
      if (o.kind === Kind.Dialog) {
        o.hiding = true;
        if (o.el.open) o.el.close();
      } else if (o.el) {
        o.el.hidden = true;
      }
    },
    [Op.Enable](o) {
      o.disabled = false;
      if (o.el) o.el.classList.remove("japi-disabled");
      if (o.el && "disabled" in o.el) o.el.disabled = false;
    },
    [Op.Disable](o) {
      o.disabled = true;
      if (o.kind === Kind.Frame) closeMenus();
      if (o.el) o.el.classList.add("japi-disabled");
      if (o.el && "disabled" in o.el && o.kind !== Kind.Frame) o.el.disabled = true;
    },
    [Op.FlowLayout](o, a) {
      if (o.body) o.body.classList.toggle("japi-column", a === 1);
    },
    [Op.Shortcut](o, a) {
      o.shortcut = a;
      o.keys.textContent = a >= 65 && a <= 90 ? "Ctrl+" + String.fromCharCode(a) : "";
    },
    [Op.Size](o, a, b) {
      if (!o.el || o.kind === Kind.Canvas) return;
      o.el.style.width = Math.max(a, 0) + "px";
      if (o.kind !== Kind.TextField) o.el.style.height = Math.max(b, 0) + "px";
    },
    [Op.Position](o, a, b) {
      if (o.kind !== Kind.Dialog) return;
      o.at = {x: a, y: b};
      if (o.el.open) place(o);
    },
    [Op.CursorPosition](o, a) {
      const at = Math.max(0, Math.min(a, o.el.value.length));
      o.el.setSelectionRange(at, at);
    },
    [Op.SelectAll](o) {
      o.el.select();
    },
    [Op.Focus](o) {
      if (o.el && o.el.focus) o.el.focus();
      if (o.kind === Kind.TextField) o.el.select();
    },
    [Op.Dispose](o) {
      dispose(o.handle);
    },
  };

  document.addEventListener("keydown", onKey);
  document.addEventListener("click", () => closeMenus());
  window.addEventListener("resize", () => {
    const dialog = openDialog();
    if (dialog && dialog.at) place(dialog);
  });

  return {
    latin1,

    create(handle, kind, parent, text, number) {
      const o = {handle, kind, parent, number};
      objects.set(handle, o);
      create[kind](o, text, number);
    },

    call(op, handle, a, b) {
      if (op === Op.Quit) {
        quit();
        return;
      }
      const o = objects.get(handle);
      if (o && calls[op]) calls[op](o, a, b);
    },

    query(op, handle) {
      const o = objects.get(handle);
      if (!o) return 0;
      if (op === Query.KeyCode) return o.code || 0;
      if (op === Query.KeyChar) return o.char || 0;
      if (!o.el) return 0;
      const box = boxOf(o);
      const value = {[Query.Width]: box.width, [Query.Height]: box.height,
                     [Query.X]: box.left + window.scrollX, [Query.Y]: box.top + window.scrollY}[op];
      return Math.round(value || 0);
    },

    setText(handle, text) {
      const o = objects.get(handle);
      if (!o || !o.el) return;
      if (o.kind === Kind.TextField) o.el.value = text.slice(0, maxText);
      else if (o.kind === Kind.Frame) o.title.textContent = text;
      else o.el.textContent = text;
    },

    // At most 254 characters and a NUL; a character outside Latin-1 becomes "?".
    getText(handle, heap, buffer) {
      const o = objects.get(handle);
      const text = o && o.el ? o.el.value.slice(0, maxText) : "";
      for (let i = 0; i < text.length; ++i) {
        const c = text.charCodeAt(i);
        heap[buffer + i] = c > 255 ? 63 : c;
      }
      heap[buffer + text.length] = 0;
      return text.length;
    },

    present(handle, heap, rgba, width, height) {
      const o = objects.get(handle);
      if (!o) return;
      const pixels = new Uint8ClampedArray(heap.buffer, rgba, width * height * 4);
      o.context.putImageData(new ImageData(pixels, width, height), 0, 0);
      stats.presents++;
      if (stats.firstPicture === null) stats.firstPicture = performance.now();
    },

    // The next event, waiting for the user when none is queued.
    next() {
      if (queue.length) return Promise.resolve(queue.shift());
      return new Promise((resolve) => { waiting = resolve; });
    },

    // A queued event or 0, after the page has had its turn: its input handled, and a picture
    // painted when one is due. A message, not a timer: timers wait at least a few milliseconds.
    poll() {
      stats.polls++;
      return new Promise((resolve) => {
        afterTurn.push(() => resolve(queue.length ? queue.shift() : 0));
        turns.port2.postMessage(0);
      });
    },

    // Sets up the page for a program: its name, the seed from the address, the module's hooks.
    boot(name) {
      program = name;
      const seeds = new URLSearchParams(location.search).getAll("seed");
      const notice = document.getElementById("japi-notice");
      if (seeds.length) {
        // The generator is seeded from the time of day in milliseconds; fixing the clock
        // seeds it with N, as the desktop's clock would at that moment. Of several seeds
        // none is taken: which was meant cannot be told.
        const [seed] = seeds;
        if (seeds.length === 1 && /^[0-9]+$/.test(seed) && Number(seed) < 86400000) {
          const n = Number(seed);
          Date.now = () => n;
        } else {
          notice.textContent = seeds.map((s) => "seed=" + s).join(", ") + " ignored: one " +
                               "seed is a whole number of milliseconds in a day, 0 to " +
                               "86399999; seeded from the clock.";
          notice.hidden = false;
        }
      }
      window.Module = {
        preRun: [() => window.Module.FS.symlink("/" + name, "/proc/self/exe")],
        print: (text) => console.log(text),
        printErr: (text) => console.warn(text),
        onAbort: (what) => {
          notice.textContent = name + " stopped: " + what;
          notice.hidden = false;
        },
      };
    },

    // For tests and the bench page: whether the program waits for the user, and figures.
    isWaiting: () => waiting !== null,
    hasEnded: () => ended,
    stats,
  };
})();
