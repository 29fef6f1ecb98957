/*
 * The Kestrova web player. A company's page loads it with the snippet the
 * desktop tool hands out:
 *
 *   <SCRIPT id='zvParam' language=Javascript src='SITE/index.js?isfloor=True&...'></script>
 *
 * It reads the display options from its own address, the company card and
 * the playlist from SITE/config.xml, and plays SITE/video/<name>.html with
 * SITE/zoom/<name>.jpg as the poster. Every address it asks for lies in the
 * folder it was loaded from; every text from the query or config.xml is put
 * on the page as text, never as markup. The player lives in a shadow root so
 * that the page's styles and ours leave each other alone.
 */
(function () {
  'use strict';

  var script = document.currentScript || document.getElementById('zvParam');
  if (!script) return;
  var folder = new URL('.', script.src || document.baseURI).href;

  // The playlist is on the way to the first picture: it is asked for before
  // anything else is done, while the page is still being read. config.xml
  // changes with every catalogue change, so the browser asks the server each
  // time whether its copy is still current (a 304 for an unchanged list) and
  // no cache hands out an old playlist.
  var configAddress = folder + 'config.xml';
  function askForConfig() {
    return fetch(configAddress, { cache: 'no-cache' }).then(function (response) {
      return response.status === 200 ? response.text() : null;
    });
  }
  askForConfig().then(function (text) {
    return text !== null && cameUnaskedFromCache() ? askForConfig().then(null, function () { return text; }) : text;
  }).then(null, function () { return null; }).then(fill);

  // A page may name config.xml in a <link rel="preload"> in its head, so that
  // it travels beside this script; the browser then hands the hinted
  // response to the request above. The hint follows the ordinary cache rules,
  // though: on a later visit its answer may come from the browser's cache
  // without the server being asked, and so be an old list. That is the one
  // case in which the server is asked again (an unchanged list costs a 304).
  function cameUnaskedFromCache() {
    var seen = window.performance && performance.getEntriesByName ? performance.getEntriesByName(configAddress) : [];
    var last = seen[seen.length - 1];
    return !!last && last.initiatorType === 'link' && last.transferSize === 0 && last.decodedBodySize > 0;
  }

  var QUERY_KEYS = ['isfloor', 'filename', 'isMulVideofiles', 'playerwidth', 'playerheight', 'displaycard',
    'displayRec', 'displayZhimo', 'displaylogo', 'autoplay', 'title', 'titlebg', 'titlefontcolor',
    'borderlinecolor'];

  // Texts in \u escapes: the file stays ASCII, so a page in another encoding
  // than UTF-8 that loads it without a charset still shows them right.
  var TEXT = {
    defaultTitle: '\u4f01\u4e1a\u89c6\u9891\u5c55\u793a',
    configMissing: '\u65e0\u6cd5\u8bfb\u53d6\u64ad\u653e\u5668\u914d\u7f6e\uff08config.xml\uff09\uff0c' +
      '\u8bf7\u7a0d\u540e\u518d\u8bd5\u3002',
    noVideos: '\u6682\u65e0\u53ef\u64ad\u653e\u7684\u89c6\u9891\u3002',
    videoFailed: '\u89c6\u9891\u65e0\u6cd5\u64ad\u653e\uff1a',
    unmute: '\u5f00\u542f\u58f0\u97f3',
    minimise: '\u6700\u5c0f\u5316',
    restore: '\u8fd8\u539f',
    close: '\u5173\u95ed',
    card: '\u4f01\u4e1a\u540d\u7247',
    cardClose: '\u8fd4\u56de\u89c6\u9891',
    playlist: '\u89c6\u9891\u5217\u8868',
    cardFields: [['addr', '\u5730\u5740\uff1a'], ['tel', '\u7535\u8bdd\uff1a'], ['fax', '\u4f20\u771f\uff1a'],
      ['qq', 'QQ\uff1a'], ['skype', 'Skype\uff1a'], ['msn', 'MSN\uff1a'], ['email', '\u90ae\u7bb1\uff1a']]
  };

  // ---- options ---------------------------------------------------------

  // Undoes the browser's %-escapes (a preview address typed with Chinese
  // text or blanks arrives escaped) run by run, so that a "%" the company
  // typed itself stays as it is.
  function decode(text) {
    return text.replace(/(%[0-9a-f]{2})+/gi, function (run) {
      try {
        return decodeURIComponent(run);
      } catch (e) {
        return run;
      }
    });
  }

  // The tool writes every value as typed, without escaping, so a title may
  // hold "&", blanks or "#". A new pair starts only where "&" is followed by
  // one of the player's own keys.
  function parseQuery(text) {
    var boundary = new RegExp('&(?=(?:' + QUERY_KEYS.join('|') + ')=)', 'i');
    var options = {};
    text.split(boundary).forEach(function (pair) {
      var eq = pair.indexOf('=');
      if (eq < 0) return;
      var name = pair.slice(0, eq).toLowerCase();
      QUERY_KEYS.forEach(function (key) {
        if (key.toLowerCase() === name) options[key] = decode(pair.slice(eq + 1));
      });
    });
    return options;
  }

  function flag(value, fallback) {
    if (value === undefined || value === null || value === '') return fallback;
    return /^\s*(true|1)\s*$/i.test(value);
  }

  function pixels(value, fallback, least, most) {
    var n = parseInt(value, 10);
    if (!(n > 0)) return fallback;
    return Math.max(least, Math.min(most, n));
  }

  function colour(value, fallback) {
    return /^[0-9a-f]{6}$/i.test(value || '') ? '#' + value : fallback;
  }

  // The raw attribute keeps what the snippet says, "#" and all, whatever the
  // page's encoding (GBK pages are common); the resolved address gives the
  // folder.
  var source = script.getAttribute('src') || '';
  var query = source.indexOf('?') >= 0 ? source.slice(source.indexOf('?') + 1) : '';
  var given = parseQuery(query);

  var options = {
    floating: flag(given.isfloor, true),
    multiple: flag(given.isMulVideofiles, true),
    fileName: given.filename || '',
    width: pixels(given.playerwidth, 400, 160, 3840),
    height: pixels(given.playerheight, 340, 120, 2160),
    title: given.title === undefined ? TEXT.defaultTitle : given.title,
    titleBackground: colour(given.titlebg, '#C92A27'),
    titleColour: colour(given.titlefontcolor, '#FFFFFF'),
    border: colour(given.borderlinecolor, '#A67901')
  };

  // ---- config.xml ------------------------------------------------------

  function childElement(parent, name) {
    if (!parent) return null;
    for (var node = parent.firstElementChild; node; node = node.nextElementSibling) {
      if (node.nodeName === name) return node;
    }
    return null;
  }

  function childText(parent, name) {
    var node = childElement(parent, name);
    return node ? node.textContent : '';
  }

  // A name from config.xml or the query becomes part of an address below our
  // own folder only when it is one plain file name.
  function plainName(name) {
    return typeof name === 'string' && name !== '' && name !== '.' && name !== '..' && !/[\/\\]/.test(name);
  }

  function baseName(name) {
    var dot = name.indexOf('.');
    return dot < 0 ? name : name.slice(0, dot);
  }

  function readConfig(text) {
    var doc = new DOMParser().parseFromString(text, 'application/xml');
    var root = doc.documentElement;
    if (!root || root.nodeName !== 'root' || doc.getElementsByTagName('parsererror').length) {
      throw new Error('config.xml is not a player configuration');
    }
    var setting = childElement(root, 'videosetting');
    var config = { card: { companyname: childText(setting, 'companyname') }, flags: {}, videos: [] };
    TEXT.cardFields.forEach(function (field) { config.card[field[0]] = childText(setting, field[0]); });
    ['chkDisplayEntCard', 'chkDisplayZhimo', 'chkAutoPlay', 'chkAutocre', 'chkDisplayLogo'].forEach(function (name) {
      config.flags[name] = childText(setting, name);
    });
    var list = childElement(root, 'videofilelist');
    for (var item = list && list.firstElementChild; item; item = item.nextElementSibling) {
      if (item.nodeName !== 'item') continue;
      config.videos.push({
        filename: item.getAttribute('filename') || '',
        zoomimage: item.getAttribute('zoomimage') || '',
        title: item.getAttribute('title') || '',
        zhimo: item.getAttribute('zhimo') || '',
        sort: parseFloat(item.getAttribute('sort')),
        order: config.videos.length
      });
    }
    return config;
  }

  // Videos in "sort" order; equal or missing sort numbers keep file order.
  function sortedVideos(videos) {
    return videos.filter(function (v) { return plainName(v.filename); }).sort(function (a, b) {
      var sa = isNaN(a.sort) ? Infinity : a.sort, sb = isNaN(b.sort) ? Infinity : b.sort;
      return sa !== sb ? (sa < sb ? -1 : 1) : a.order - b.order;
    });
  }

  function playlistFor(config) {
    var videos = sortedVideos(config.videos);
    if (options.multiple) return videos;
    // One video: the file the snippet names, even when it is not in the
    // published list (the company chose it); else the first published one.
    if (plainName(options.fileName)) {
      var chosen = videos.filter(function (v) { return v.filename === options.fileName; })[0];
      return [chosen || { filename: options.fileName, zoomimage: baseName(options.fileName) + '.jpg',
        title: baseName(options.fileName), zhimo: '' }];
    }
    return videos.slice(0, 1);
  }

  function address(subfolder, name) {
    return folder + subfolder + encodeURIComponent(name);
  }

  // ---- the player ------------------------------------------------------

  // The playlist's item width, the gap between items and the list's own
  // padding: the style sheet lays the list out with them, and the player
  // works out from them whether a list will need its scroll bar.
  var LIST_ITEM = 68, LIST_GAP = 4, LIST_PADDING = 3;

  // The page's rules reach the host element (a selector such as "#slot *"
  // matches it) and, through inheritance, everything inside; the frame
  // resets all of that, so the player looks the same on every page.
  var STYLE = [
    ':host{all:initial;display:inline-block;box-sizing:border-box;vertical-align:top}',
    '*{box-sizing:border-box}',
    '[hidden]{display:none!important}',
    '.kv{all:initial;display:flex;flex-direction:column;box-sizing:border-box;width:100%;height:100%;',
    'overflow:hidden;background:#000;font:12px/1.5 "Noto Sans CJK SC","Microsoft YaHei",sans-serif;color:#222}',
    '.kv.floating{border:2px solid var(--kv-border);box-shadow:0 2px 12px rgba(0,0,0,.35)}',
    '.bar{display:flex;align-items:center;flex:0 0 26px;padding:0 1px 0 8px;background:var(--kv-title-bg);',
    'color:var(--kv-title-fg);font-weight:bold}',
    '.bar .title{flex:1 1 auto;min-width:0;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}',
    '.bar button{flex:0 0 24px;width:24px;height:24px;margin-left:2px;padding:0;border:0;background:transparent;',
    'color:inherit;font:inherit;font-size:14px;cursor:pointer}',
    'button:focus-visible,.zhimo:focus-visible{outline:2px solid #4d90fe;outline-offset:-2px}',
    '.kv.minimised .body{display:none}',
    '.body{display:flex;flex-direction:column;flex:1 1 auto;min-height:0}',
    // The stage takes what the other parts leave, whatever the video's own
    // size, so nothing below it moves when playback starts.
    '.stage{position:relative;flex:1 1 0;min-height:0;background:#000}',
    'video{display:block;width:100%;height:100%;object-fit:contain;background:#000}',
    '.logo{position:absolute;top:6px;right:6px;max-width:25%;max-height:25%;pointer-events:none}',
    '.message{position:absolute;left:0;right:0;top:40%;padding:6px 10px;text-align:center;color:#fff;',
    'background:rgba(0,0,0,.7);overflow-wrap:anywhere}',
    '.unmute{position:absolute;left:6px;top:6px;padding:3px 8px;border:1px solid #fff;border-radius:3px;',
    'background:rgba(0,0,0,.6);color:#fff;font:inherit;cursor:pointer}',
    '.card{position:absolute;inset:0;z-index:2;padding:10px 12px;overflow:auto;background:rgba(255,255,255,.96);',
    'color:#222}',
    '.card h2{margin:0 0 6px;font-size:14px}',
    '.card p{margin:2px 0;overflow-wrap:anywhere}',
    '.card button{margin-top:8px}',
    '.zhimo{position:relative;flex:0 0 22px;overflow:hidden;white-space:nowrap;text-overflow:ellipsis;',
    'background:#111;color:#fff;line-height:22px}',
    '.zhimo span{display:inline-block;padding-left:100%;animation:kv-scroll linear infinite}',
    '.zhimo:hover span,.zhimo.held span{animation-play-state:paused}',
    '@keyframes kv-scroll{from{transform:translateX(0)}to{transform:translateX(-100%)}}',
    '@media (prefers-reduced-motion:reduce){.zhimo span{display:inline;padding:0 0 0 8px;animation:none}}',
    '.cardline{display:flex;align-items:center;flex:0 0 24px;padding:0 4px 0 8px;background:#f2f2f2;color:#222}',
    '.cardline .name{flex:1 1 auto;min-width:0;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}',
    '.cardline button,.card button{padding:1px 8px;border:1px solid #999;border-radius:3px;background:#fff;',
    'color:#222;font:inherit;cursor:pointer}',
    // The list's height is one item's (45 + 26 + padding and border 4 + 2) and
    // its own padding, also while its items are still to come.
    '.list{display:flex;flex:0 0 auto;gap:' + LIST_GAP + 'px;min-height:83px;margin:0;padding:' + LIST_PADDING + 'px;',
    'list-style:none;',
    'overflow-x:auto;overflow-y:hidden;scrollbar-width:thin;background:#222}',
    '.list.scrolls{overflow-x:scroll}',
    '.list li{flex:0 0 ' + LIST_ITEM + 'px;min-width:0}',
    '.list button{display:flex;flex-direction:column;align-items:center;width:100%;padding:2px;',
    'border:1px solid transparent;background:transparent;color:#ddd;font:inherit;font-size:11px;cursor:pointer}',
    '.list button[aria-current="true"]{border-color:var(--kv-border);color:#fff}',
    // Until its picture is there, or when it never comes, a thumbnail is a
    // grey box with a play mark.
    '.thumb{position:relative;width:60px;height:45px;background:#444}',
    '.thumb::before{content:"";position:absolute;left:25px;top:15px;border:8px solid transparent;',
    'border-left:12px solid #888;border-right:0}',
    '.thumb img{position:absolute;inset:0;width:100%;height:100%;object-fit:cover}',
    '.caption{display:-webkit-box;-webkit-box-orient:vertical;-webkit-line-clamp:2;width:100%;height:26px;',
    'overflow:hidden;line-height:13px;overflow-wrap:anywhere;text-align:center}'
  ].join('');

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function button(className, text, label) {
    var node = element('button', className, text);
    node.type = 'button';
    if (label) {
      node.setAttribute('aria-label', label);
      node.title = label;
    }
    return node;
  }

  // Page styles beat the shadow root's :host rules; these must hold.
  function pin(node, property, value) {
    node.style.setProperty(property, value, 'important');
  }

  // Least height of the picture when the parts around it need room: below
  // this the player grows rather than cut off titles.
  var STAGE_LEAST = 60;

  function Player() {
    // A name of our own: page rules written for divs (or spans) never match it.
    var host = element('kestrova-player');
    host.setAttribute('data-kestrova-player', '');
    pin(host, 'width', options.width + 'px');
    pin(host, 'height', options.height + 'px');
    pin(host, 'display', 'inline-block');
    // Never wider than the column (or the screen) it stands in.
    pin(host, 'max-width', options.floating ? '100vw' : '100%');
    if (options.floating) {
      pin(host, 'max-height', '100vh');
      pin(host, 'position', 'fixed');
      pin(host, 'right', '0');
      pin(host, 'bottom', '0');
      pin(host, 'z-index', '2147483000');
    }
    var shadow = host.attachShadow({ mode: 'open' });

    var frame = element('div', 'kv' + (options.floating ? ' floating' : ''));
    frame.setAttribute('role', 'region');
    frame.setAttribute('aria-label', options.title || TEXT.defaultTitle);
    frame.style.setProperty('--kv-border', options.border);
    frame.style.setProperty('--kv-title-bg', options.titleBackground);
    frame.style.setProperty('--kv-title-fg', options.titleColour);
    shadow.appendChild(frame);

    var body = element('div', 'body');
    var stage = element('div', 'stage');
    var video = element('video');
    video.setAttribute('playsinline', '');
    video.preload = 'metadata';
    var self = this;
    video.addEventListener('loadstart', function () { self.loadBegun = true; });
    var message = element('div', 'message');
    message.setAttribute('role', 'status');
    message.hidden = true;
    stage.appendChild(video);
    stage.appendChild(message);
    body.appendChild(stage);

    this.host = host;
    this.frame = frame;
    this.body = body;
    this.stage = stage;
    this.video = video;
    this.message = message;
    this.playlist = [];
    this.current = -1;
    this.failuresInARow = 0;
    this.retry = 0;
    this.leastHeight = 0;
    this.closed = false;
    this.folded = false;
    this.resume = false;

    if (options.floating) frame.appendChild(this.titleBar());
    frame.appendChild(body);
  }

  // The style sheet is read only when the player goes on the page: until then
  // nothing in it is drawn, and reading it would hold up the video's request.
  // A constructed style sheet passes a page's Content-Security-Policy without
  // 'unsafe-inline'; a <style> element is the fall-back for browsers that
  // lack them.
  Player.prototype.addStyle = function () {
    var shadow = this.host.shadowRoot;
    if (window.CSSStyleSheet && 'adoptedStyleSheets' in shadow && CSSStyleSheet.prototype.replaceSync) {
      var sheet = new CSSStyleSheet();
      sheet.replaceSync(STYLE);
      shadow.adoptedStyleSheets = [sheet];
    } else {
      shadow.insertBefore(element('style', '', STYLE), shadow.firstChild);
    }
  };

  Player.prototype.titleBar = function () {
    var self = this;
    var bar = element('div', 'bar');
    this.bar = bar;
    bar.appendChild(element('span', 'title', options.title));
    var minimise = button('minimise', '\u2212', TEXT.minimise);
    minimise.setAttribute('aria-expanded', 'true');
    var close = button('close', '\u00d7', TEXT.close);
    bar.appendChild(minimise);
    bar.appendChild(close);
    minimise.addEventListener('click', function () {
      var minimised = !self.folded;
      self.folded = minimised;
      self.frame.classList.toggle('minimised', minimised);
      minimise.textContent = minimised ? '\u25a1' : '\u2212';
      minimise.setAttribute('aria-label', minimised ? TEXT.restore : TEXT.minimise);
      minimise.title = minimised ? TEXT.restore : TEXT.minimise;
      minimise.setAttribute('aria-expanded', String(!minimised));
      pin(self.host, 'height', minimised ? 'auto' : options.height + 'px');
      pin(self.host, 'min-height', minimised ? '0' : self.leastHeight + 'px');
      // A folded-away player keeps quiet (also when the round moves on
      // meanwhile) and picks up where it was.
      if (minimised) {
        self.resume = !self.video.paused;
        self.video.pause();
      } else if (self.resume) {
        self.resume = false;
        self.start();
      }
    });
    close.addEventListener('click', function () { self.close(); });
    return bar;
  };

  Player.prototype.showMessage = function (text) {
    this.message.textContent = text;
    this.message.hidden = false;
  };

  // Nothing may sound once the visitor closed the player: no waiting step of
  // the round goes on.
  Player.prototype.close = function () {
    this.closed = true;
    clearTimeout(this.retry);
    this.stop();
    if (this.host.parentNode) this.host.parentNode.removeChild(this.host);
  };

  Player.prototype.stop = function () {
    this.video.pause();
    this.video.removeAttribute('src');
    this.video.load();  // ends the download too
  };

  Player.prototype.start = function () {
    if (this.closed) return;
    if (this.folded) {
      this.resume = true;
      return;
    }
    var playing = this.video.play();
    // A refused start (no sound allowed yet) leaves the controls to the visitor.
    if (playing && playing.catch) playing.catch(function () {});
  };

  // The video's own behaviour: the round, failures, and for a video that
  // starts by itself the silent start with a button for the sound.
  Player.prototype.prepare = function (autoplay) {
    var self = this, video = this.video;
    this.autoplay = autoplay;
    video.addEventListener('ended', function () {
      if (self.repeat) self.play((self.current + 1) % self.playlist.length, true);
    });
    video.addEventListener('playing', function () {
      self.failuresInARow = 0;
      self.message.hidden = true;
    });
    video.addEventListener('error', function () { self.failed(); });
    if (!autoplay) return;
    // Browsers let a page start a video by itself only without sound.
    video.muted = true;
    video.preload = 'auto';
    // The browser's own controls are a small page of their own to lay out,
    // and the sound button's text needs its font: a video that starts by
    // itself gets both once its first picture is shown (or it failed), so
    // that work does not hold the picture up.
    var addControls = function () {
      if (video.hasAttribute('controls')) return;
      video.setAttribute('controls', '');
      self.addUnmute();
    };
    this.afterFirstPicture(addControls);
  };

  // Runs then() once: when the video's first picture has been shown, when it
  // failed or its download stalled, or after wait milliseconds when given.
  // Work done then no longer competes with the picture: until it is shown,
  // the page's main thread also carries the video's download and the steps
  // that put it on screen.
  Player.prototype.afterFirstPicture = function (then, wait) {
    var video = this.video, shown = !!video.requestVideoFrameCallback;
    var run = this.once(shown ? ['error', 'stalled'] : ['loadeddata', 'error', 'stalled'], then, wait);
    if (shown) video.requestVideoFrameCallback(function () { run(); });
  };

  // One named video that starts by itself needs nothing from config.xml to
  // begin: its download starts at once, beside the request for config.xml,
  // which then only brings its title and the parts around the picture.
  Player.prototype.startEarly = function (fileName) {
    this.early = true;
    this.prepare(true);
    this.playlist = [{ filename: fileName, zoomimage: '', title: baseName(fileName), zhimo: '' }];
    this.play(0, true);
  };

  Player.prototype.build = function (config) {
    var self = this;
    var autoplay = flag(given.autoplay, flag(config.flags.chkAutoPlay, false));
    this.repeat = flag(given.displayRec, flag(config.flags.chkAutocre, false));
    this.playlist = playlistFor(config);
    if (this.early) {
      // Its one entry names the file already playing.
      this.describe(0);
      if (this.video.error) this.showMessage(this.failureText());
      this.buildParts(config);
      return;
    }
    this.prepare(autoplay);
    if (!this.playlist.length) {
      this.showMessage(TEXT.noVideos);
      this.video.setAttribute('controls', '');
      this.buildParts(config);
      return;
    }
    if (!autoplay) this.video.setAttribute('controls', '');
    this.play(0, autoplay);
    // Setting the address only queues the video's load; the parts around the
    // picture follow once it has begun (or after a second in any case), so
    // that building them (a long list has hundreds of items) does not hold
    // it up.
    this.once(['loadstart', 'error'], function () { self.buildParts(config); }, 1000);
  };

  // Without its configuration the player only says so.
  Player.prototype.unconfigured = function () {
    this.showMessage(TEXT.configMissing);
    if (this.early) this.stop();
  };

  // Runs then() once: at the first of the video's events named, or after
  // wait milliseconds when given. Returns what runs it (now, if called).
  Player.prototype.once = function (names, then, wait) {
    var video = this.video, timer, done = false;
    var handler = function () {
      if (done) return;
      done = true;
      clearTimeout(timer);
      names.forEach(function (name) { video.removeEventListener(name, handler); });
      then();
    };
    names.forEach(function (name) { video.addEventListener(name, handler); });
    if (wait) timer = setTimeout(handler, wait);
    return handler;
  };

  // The logo, the subtitle, the company card and the playlist.
  Player.prototype.buildParts = function (config) {
    var self = this;
    var showCard = flag(given.displaycard, flag(config.flags.chkDisplayEntCard, false));
    var showZhimo = flag(given.displayZhimo, flag(config.flags.chkDisplayZhimo, false));
    var showLogo = flag(given.displaylogo, flag(config.flags.chkDisplayLogo, false));
    if (showLogo) {
      var logo = element('img', 'logo');
      logo.alt = '';
      logo.addEventListener('error', function () { logo.hidden = true; });
      logo.src = folder + 'model/logo.gif';
      this.stage.appendChild(logo);
    }
    if (showZhimo) {
      this.zhimo = element('div', 'zhimo');
      // Focus (like a pointer over it) holds the moving text still.
      var strip = this.zhimo;
      strip.tabIndex = 0;
      strip.addEventListener('focus', function () { strip.classList.add('held'); });
      strip.addEventListener('blur', function () { strip.classList.remove('held'); });
      this.zhimo.hidden = true;
      this.body.appendChild(this.zhimo);
    }
    if (showCard) this.addCard(config.card);
    if (options.multiple && this.playlist.length > 1) this.addPlaylist();
    this.built = true;
    this.showCurrent();
  };

  // The parts around the picture keep their full height at any size the
  // options allow; the player grows (min-height) where they need more room.
  Player.prototype.keepRoomForParts = function () {
    var used = this.frame.offsetHeight - this.frame.clientHeight;
    if (this.bar) used += this.bar.offsetHeight;
    for (var part = this.body.firstElementChild; part; part = part.nextElementSibling) {
      if (part !== this.stage) used += part.offsetHeight;
    }
    this.leastHeight = used + STAGE_LEAST;
    if (!this.folded) pin(this.host, 'min-height', this.leastHeight + 'px');
  };

  Player.prototype.addUnmute = function () {
    var video = this.video;
    var unmute = button('unmute', TEXT.unmute);
    unmute.addEventListener('click', function () {
      video.muted = false;
      if (video.paused) video.play().catch(function () {});
    });
    video.addEventListener('volumechange', function () { unmute.hidden = !video.muted; });
    this.stage.appendChild(unmute);
  };

  Player.prototype.addCard = function (card) {
    var line = element('div', 'cardline');
    line.appendChild(element('span', 'name', card.companyname));
    var open = button('open-card', TEXT.card);
    open.setAttribute('aria-expanded', 'false');
    line.appendChild(open);
    this.body.appendChild(line);

    var panel = element('div', 'card');
    panel.hidden = true;
    panel.setAttribute('role', 'dialog');
    panel.setAttribute('aria-label', TEXT.card);
    panel.appendChild(element('h2', '', card.companyname));
    TEXT.cardFields.forEach(function (field) {
      var value = card[field[0]];
      // The back end hands out "error" for a field it does not have.
      if (!value || value === 'error') return;
      var row = element('p', field[0]);
      row.appendChild(element('span', 'label', field[1]));
      row.appendChild(element('span', 'value', value));
      panel.appendChild(row);
    });
    var back = button('close-card', TEXT.cardClose);
    panel.appendChild(back);
    this.stage.appendChild(panel);

    open.addEventListener('click', function () {
      panel.hidden = !panel.hidden;
      open.setAttribute('aria-expanded', String(!panel.hidden));
      if (!panel.hidden) back.focus();
    });
    function closeCard() {
      panel.hidden = true;
      open.setAttribute('aria-expanded', 'false');
      open.focus();
    }
    back.addEventListener('click', closeCard);
    panel.addEventListener('keydown', function (event) {
      if (event.key === 'Escape') closeCard();
    });
  };

  // A list of items holding buttons. The list is one stop for the Tab key;
  // the arrow keys, Home and End move within it.
  Player.prototype.addPlaylist = function () {
    var self = this;
    var list = element('ul', 'list');
    list.setAttribute('role', 'list');  // kept by every browser despite list-style:none
    list.setAttribute('aria-label', TEXT.playlist);
    // A list that will not fit shows its scroll bar from the start, so that
    // the list keeps its height when its items come.
    var room = options.width - (options.floating ? 4 : 0);
    var count = this.playlist.length;
    if (count * LIST_ITEM + (count - 1) * LIST_GAP + 2 * LIST_PADDING > room) list.classList.add('scrolls');
    list.addEventListener('keydown', function (event) {
      var from = self.items ? self.items.indexOf(event.target) : -1, to;
      if (from < 0) return;
      var last = self.items.length - 1;
      switch (event.key) {
        case 'ArrowRight': case 'ArrowDown': to = Math.min(last, from + 1); break;
        case 'ArrowLeft': case 'ArrowUp': to = Math.max(0, from - 1); break;
        case 'Home': to = 0; break;
        case 'End': to = last; break;
        default: return;
      }
      event.preventDefault();
      self.focusItem(to);
      self.items[to].focus();
    });
    this.body.appendChild(list);
    // Its items (a long list has hundreds) follow the first picture of a
    // video that starts by itself: laying them out would hold the picture up.
    // The wait is long on purpose: a slow machine may take seconds for the
    // picture, and a stalled or failed video fills the list at once anyway;
    // it only covers a video hidden before it could show anything.
    var fill = function () { self.fillPlaylist(list); };
    if (this.autoplay) this.afterFirstPicture(fill, 10000); else fill();
  };

  Player.prototype.fillPlaylist = function (list) {
    var self = this;
    this.items = this.playlist.map(function (entry, index) {
      var name = entry.title || entry.filename;
      var item = button('item', undefined, name);
      item.tabIndex = -1;
      var thumb = element('span', 'thumb');
      if (plainName(entry.zoomimage)) {
        var picture = element('img');
        picture.alt = '';
        picture.loading = 'lazy';
        picture.addEventListener('error', function () { picture.hidden = true; });
        self.whenVideoStarted(function () {
          if (!self.closed) picture.src = address('zoom/', entry.zoomimage);
        });
        thumb.appendChild(picture);
      }
      item.appendChild(thumb);
      item.appendChild(element('span', 'caption', name));
      item.addEventListener('click', function () { self.play(index, true); });
      var row = element('li');
      row.appendChild(item);
      list.appendChild(row);
      return item;
    });
    this.showCurrent();
  };

  // The first video's download goes first: the thumbnails would share the
  // few connections a browser opens to one server with it, and hold up its
  // first picture. They follow once the video has its first picture, failed,
  // or after a second in any case.
  Player.prototype.whenVideoStarted = function (then) {
    if (!this.waitingForVideo) {
      var waiting = this.waitingForVideo = [];
      var release = this.once(['loadeddata', 'error'], function () {
        waiting.done = true;
        waiting.splice(0).forEach(function (job) { job(); });
      }, 1000);
      if (this.video.readyState >= 2) release();
    }
    if (this.waitingForVideo.done) then(); else this.waitingForVideo.push(then);
  };

  Player.prototype.focusItem = function (index) {
    if (this.items[this.tabItem]) this.items[this.tabItem].tabIndex = -1;
    this.tabItem = index;
    this.items[index].tabIndex = 0;
  };

  Player.prototype.play = function (index, start) {
    this.message.hidden = true;
    this.video.src = address('video/', this.playlist[index].filename);
    this.describe(index);
    if (start) this.start();
  };

  // The current video's name, poster and place in the list.
  Player.prototype.describe = function (index) {
    var entry = this.playlist[index], video = this.video;
    this.current = index;
    video.setAttribute('aria-label', entry.title || entry.filename);
    // A video that starts by itself shows its own first picture soon enough;
    // its poster would only hold up the video's download.
    if (!this.autoplay && plainName(entry.zoomimage)) {
      video.poster = address('zoom/', entry.zoomimage);
    } else {
      video.removeAttribute('poster');
    }
    this.showCurrent();
  };

  // The playlist's mark and the scrolling text follow the current video.
  Player.prototype.showCurrent = function () {
    var index = this.current, entry = this.playlist[index];
    if (this.items) {
      this.items.forEach(function (item, i) { item.setAttribute('aria-current', String(i === index)); });
      if (this.items[index]) this.focusItem(index);
    }
    if (this.zhimo) this.scrollZhimo(entry ? entry.zhimo : '');
    if (this.built && this.placed) this.keepRoomForParts();
  };

  Player.prototype.scrollZhimo = function (text) {
    var box = this.zhimo;
    while (box.firstChild) box.removeChild(box.firstChild);
    box.hidden = !text;
    if (!text) return;
    var line = element('span', '', text);
    box.appendChild(line);
    box.title = text;  // the whole text, also where it stands still
    // An even pace whatever the length: about 60 pixels a second.
    var width = line.offsetWidth || (box.offsetWidth + text.length * 12);
    line.style.animationDuration = Math.max(4, width / 60).toFixed(1) + 's';
  };

  Player.prototype.failureText = function () {
    var entry = this.playlist[this.current];
    return TEXT.videoFailed + (entry.title || entry.filename);
  };

  Player.prototype.failed = function () {
    if (this.closed) return;
    var entry = this.playlist[this.current];
    if (!entry) return;
    this.showMessage(this.failureText());
    this.failuresInARow += 1;
    // In a round, go on with the next video, unless none of them plays.
    if (this.repeat && this.playlist.length > 1 && this.failuresInARow < this.playlist.length) {
      var self = this, failedIndex = this.current;
      clearTimeout(this.retry);
      this.retry = setTimeout(function () {
        if (self.current === failedIndex) self.play((failedIndex + 1) % self.playlist.length, true);
      }, 2500);
    }
  };

  // ---- start -----------------------------------------------------------

  function place(player) {
    player.addStyle();
    var parent = script.parentNode;
    if (!options.floating && parent && parent !== document.head && document.body && document.body.contains(parent)) {
      parent.insertBefore(player.host, script.nextSibling);
    } else {
      document.body.appendChild(player.host);
    }
  }

  // The player goes on the page once its video's download has begun:
  // laying out and drawing the new player keeps the page busy for a while
  // (tens of milliseconds on a slow machine), and the video's request would
  // wait behind that work. And only once the page has a body (a snippet in
  // the head runs before it has one).
  function show(player) {
    var put = function () {
      if (player.placed) return;
      place(player);
      player.placed = true;
      if (player.built) player.keepRoomForParts();
    };
    var putInBody = function () {
      if (document.body) {
        put();
      } else {
        document.addEventListener('DOMContentLoaded', put);
      }
    };
    if (player.video.getAttribute('src') && !player.loadBegun) {
      player.once(['loadstart', 'error'], putInBody, 1000);
    } else {
      putInBody();
    }
  }

  // Otherwise the player is made once the playlist is there (configText, or
  // null when it could not be had), and its first video is asked for before
  // anything is drawn.
  var early = null;
  if (!options.multiple && plainName(options.fileName) && flag(given.autoplay, false)) {
    early = new Player();
    early.startEarly(options.fileName);
    show(early);
  }

  function fill(configText) {
    var config = null;
    try {
      config = configText === null ? null : readConfig(configText);
    } catch (e) {
      config = null;
    }
    var player = early || new Player();
    if (config) {
      player.build(config);
    } else {
      player.unconfigured();
    }
    show(player);
  }
})();
