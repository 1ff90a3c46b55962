// The page: the function tree of one user (or the template), favourites,
// search and edits, all through the service's RPC methods.
import { Rpc, RpcError, rowsOf, descriptor } from './rpc.js';
import { buildTree, displayName, kLevels, searchByName, snapshotRows } from './tree_model.js';

const kInfo = 'LXMDataFlow.DatasInfo';
const kUpdate = 'LXMDataFlow.DatasUpdate';
const kStamps = 'LXMDataFlow.clsDataInfo';
const kLanguageNames = { chs: '简体中文', cht: '繁體中文', en: 'English' };
// How often the stamps are checked; ?every=N (seconds) overrides it.
const kRevalidateSeconds = Number(new URLSearchParams(location.search).get('every')) || 15;

const $ = (id) => document.getElementById(id);

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

// ---- state ----

const state = {
  databases: [],
  connectString: '',
  user: 0,
  language: 'en',
  templateMode: false,
  // The snapshots and the stamps they were read at. The template does not
  // depend on the user, the overlay does; names come in all three languages,
  // so a language switch reads nothing.
  template: null,  // {stamp, TopClass: [rows], ...}
  overlay: null,   // the same, for state.overlayUser
  overlayUser: null,
  treeStale: true,  // another user, database or view: build the tree again
  tree: { roots: [], byKey: new Map() },
  expanded: new Set(),
  selected: '',
  groups: [],      // [{id, name, items: [rows]}]
  favouritesText: '',
  checkedAt: null,
};

const rpc = new Rpc(askToken);

function dsn() {
  return descriptor(state.connectString, state.user, state.language);
}

// ---- errors and status ----

function showError(error) {
  if (!(error instanceof RpcError)) {
    console.error(error);
    error = new RpcError({ description: String(error.message || error), kind: 'page' }, 0);
  }
  $('error-description').textContent = error.message;
  const source = [];
  if (error.source) source.push(`Source: ${error.source}`);
  if (error.number !== undefined && error.number !== null) source.push(`error ${error.number}`);
  $('error-source').textContent = source.length ? `— ${source.join(', ')}` : '';
  $('error').hidden = false;
}

function clearError() {
  $('error').hidden = true;
}

function setStatus(text) {
  $('status').textContent = text;
}

function stampStatus() {
  if (!state.template) return;
  const parts = [`Template stamp ${state.template.stamp}`];
  if (state.overlay) parts.push(`user ${state.user} stamp ${state.overlay.stamp}`);
  if (state.checkedAt) parts.push(`checked ${state.checkedAt.toLocaleTimeString()}`);
  setStatus(parts.join(' · '));
}

// Runs an action, showing its failure; the tree is revalidated after a write.
// A background check leaves the error shown in place: people read it at
// their pace.
async function run(action, { write = false, background = false } = {}) {
  try {
    if (!background) clearError();
    await action();
    if (write) await revalidate();
  } catch (error) {
    showError(error);
    if (write) await revalidate().catch(() => {});
  }
}

// ---- the token ----

let tokenWaiters = null;

function askToken(wasWrong) {
  if (tokenWaiters) return new Promise((resolve) => tokenWaiters.push(resolve));
  tokenWaiters = [];
  const dialog = $('token-dialog');
  $('token-text').textContent = wasWrong
    ? 'The token was not accepted. Type it again; it is kept for this tab only.'
    : 'This server asks for a token. It is kept for this tab only.';
  $('token').value = '';
  return new Promise((resolve) => {
    const finish = (value) => {
      dialog.close();
      const waiting = tokenWaiters;
      tokenWaiters = null;
      resolve(value);
      waiting.forEach((waiter) => waiter(value));
    };
    $('token-form').onsubmit = (event) => { event.preventDefault(); finish($('token').value.trim()); };
    $('token-cancel').onclick = () => finish('');
    dialog.showModal();
    $('token').focus();
  });
}

// ---- loading and the stamps ----

const cacheKey = (kind, user) => `lxm.snapshot:${state.connectString}:${kind}:${user}`;

function cached(kind, user, stamp) {
  try {
    const stored = JSON.parse(sessionStorage.getItem(cacheKey(kind, user)) || 'null');
    return stored && stored.stamp === stamp ? stored : null;
  } catch (e) {
    return null;
  }
}

function remember(kind, user, snapshot) {
  try {
    sessionStorage.setItem(cacheKey(kind, user), JSON.stringify(snapshot));
  } catch (e) {
    // Too large for the session store: the copy in memory does.
  }
}

// Checks run one after another (the timer, the focus and a write may ask at
// once), so that a slower one never puts an older snapshot back.
let checks = Promise.resolve();

function revalidate() {
  const next = checks.then(revalidateNow);
  checks = next.catch(() => {});
  return next;
}

// Asks for the stamps and reads again only the snapshots whose stamp moved.
async function revalidateNow() {
  if (!state.connectString) return;
  const user = state.user;
  const wantOverlay = !state.templateMode;
  const [templateStamp, userStamp] = await Promise.all([
    rpc.result(kStamps, 'GetTemplateVer', [dsn()]),
    wantOverlay ? rpc.result(kStamps, 'GetUserTemplateVer', [dsn()]) : Promise.resolve(null),
  ]);
  let moved = false;
  if (!state.template || state.template.stamp !== templateStamp) {
    state.template = cached('template', 0, templateStamp) ||
        snapshotRows(await rpc.result(kStamps, 'GetTemplate', [dsn()]), rowsOf);
    remember('template', 0, state.template);
    moved = true;
  }
  if (wantOverlay) {
    if (!state.overlay || state.overlayUser !== user || state.overlay.stamp !== userStamp) {
      state.overlay = cached('user', user, userStamp) ||
          snapshotRows(await rpc.result(kStamps, 'GetUserData', [dsn()]), rowsOf);
      state.overlayUser = user;
      remember('user', user, state.overlay);
      moved = true;
    }
  } else if (state.overlay) {
    state.overlay = null;
    state.overlayUser = null;
    moved = true;
  }
  if (moved || state.treeStale) {
    state.treeStale = false;
    state.tree = buildTree(state.template, state.overlay);
    renderTree();
    renderDetails();
  }
  await loadFavourites();
  state.checkedAt = new Date();
  stampStatus();
}

async function loadFavourites() {
  if (state.templateMode) {
    state.groups = [];
    state.favouritesText = '';
    renderFavourites();
    return;
  }
  const groups = rowsOf(await rpc.result(kInfo, 'GetNormalFuncGroup', [dsn()]));
  const loaded = await Promise.all(groups.map(async (group) => ({
    id: group.FFuncGroupID,
    // The name UpdateNormalFuncGroup changes; the display name stays as made.
    name: group.FFuncGroupName || group.FShowName || `Group ${group.FFuncGroupID}`,
    items: rowsOf(await rpc.result(kInfo, 'GetNormalFunc', [dsn(), group.FFuncGroupID])),
  })));
  const text = JSON.stringify(loaded);
  if (text === state.favouritesText) return;
  state.groups = loaded;
  state.favouritesText = text;
  renderFavourites();
}

// A fresh start: another database, user or view.
async function reload() {
  state.overlay = null;
  state.overlayUser = null;
  state.treeStale = true;
  state.selected = '';
  state.favouritesText = '';
  $('search-results').hidden = true;
  $('tree-title').textContent = state.templateMode ? 'Template' : `User ${state.user}`;
  $('admin').hidden = !state.templateMode;
  $('admin-user').textContent = `user ${state.user}`;
  $('favourites').hidden = state.templateMode;
  saveChoices();
  await run(async () => {
    try {
      await revalidate();
    } catch (error) {
      // What is shown belongs to the user or view before: it must not pass
      // for this one's (a refused user would see another's tree).
      state.tree = { roots: [], byKey: new Map() };
      state.groups = [];
      state.favouritesText = '';
      renderTree();
      renderDetails();
      renderFavourites();
      setStatus('');
      throw error;
    }
  });
}

// ---- the tree ----

function selectedNode() {
  return state.tree.byKey.get(state.selected) || null;
}

function renderTree() {
  const list = $('tree');
  const hadFocus = list.contains(document.activeElement);
  list.replaceChildren(...state.tree.roots.map(renderNode));
  // One row takes the keyboard's focus: the selected one, else the first.
  const current = list.querySelector('.node.selected') || list.querySelector('.node');
  if (current) {
    current.tabIndex = 0;
    if (hadFocus) current.focus();
  }
}

function renderNode(node) {
  const item = element('li');
  item.setAttribute('role', 'treeitem');
  item.dataset.key = node.key;
  const hasChildren = node.children.length > 0;
  const open = state.expanded.has(node.key);
  if (hasChildren) item.setAttribute('aria-expanded', String(open));

  const row = element('div', 'node');
  row.dataset.key = node.key;
  row.draggable = true;
  row.tabIndex = -1;
  if (!node.visible) row.classList.add('hidden-node');
  if (node.key === state.selected) row.classList.add('selected');
  row.append(element('span', 'twisty', hasChildren ? (open ? '▾' : '▸') : '·'));
  row.append(element('span', 'label', displayName(node, state.language)));
  if (node.helpCode) row.append(element('span', 'code', node.helpCode));
  if (node.own) row.append(element('span', 'own-tag', 'own'));
  if (!node.visible) row.append(element('span', 'tag hidden-tag', 'hidden'));
  item.append(row);

  if (hasChildren && open) {
    const children = element('ul');
    children.setAttribute('role', 'group');
    children.append(...node.children.map(renderNode));
    item.append(children);
  }
  return item;
}

function toggle(node) {
  if (state.expanded.has(node.key)) state.expanded.delete(node.key);
  else state.expanded.add(node.key);
}

function select(node) {
  state.selected = node ? node.key : '';
  renderTree();
  renderDetails();
}

// Opens the node's ancestors, selects it and brings it into view.
function reveal(node) {
  for (let up = node.parent; up; up = up.parent) state.expanded.add(up.key);
  select(node);
  const row = document.querySelector(`.node[data-key="${node.key}"]`);
  if (row) row.scrollIntoView({ block: 'center' });
}

$('tree').addEventListener('click', (event) => {
  const row = event.target.closest('.node');
  if (!row) return;
  const node = state.tree.byKey.get(row.dataset.key);
  if (!node) return;
  if (event.target.classList.contains('twisty') || node.key === state.selected) toggle(node);
  select(node);
});

// The keyboard: up and down move between the rows shown, right opens (or
// goes to the first child), left closes (or goes to the parent), Enter and
// Space open or close.
$('tree').addEventListener('keydown', (event) => {
  const row = event.target.closest('.node');
  const node = row && state.tree.byKey.get(row.dataset.key);
  if (!node) return;
  const rows = [...$('tree').querySelectorAll('.node')];
  const at = rows.indexOf(row);
  let next = null;
  switch (event.key) {
    case 'ArrowDown': next = rows[at + 1]; break;
    case 'ArrowUp': next = rows[at - 1]; break;
    case 'ArrowRight':
      if (node.children.length && !state.expanded.has(node.key)) toggle(node);
      else if (node.children.length) next = rows[at + 1];
      break;
    case 'ArrowLeft':
      if (state.expanded.has(node.key)) toggle(node);
      else if (node.parent) next = $('tree').querySelector(`.node[data-key="${node.parent.key}"]`);
      break;
    case 'Enter':
    case ' ':
      toggle(node);
      break;
    default:
      return;
  }
  event.preventDefault();
  select(next ? state.tree.byKey.get(next.dataset.key) : node);
});

$('collapse-all').addEventListener('click', () => {
  state.expanded.clear();
  renderTree();
});

// ---- details and edits ----

function renderDetails() {
  const node = selectedNode();
  $('details-empty').hidden = !!node;
  $('details-body').hidden = !node;
  if (!node) return;
  const level = kLevels[node.level];
  $('detail-name').textContent = displayName(node, state.language);
  $('detail-level').textContent = level.label + (node.own ? ' (own node)' : '');
  $('detail-id').textContent = String(node.id);
  $('detail-help').textContent = node.helpCode || '—';
  $('detail-class').textContent = node.className || '—';
  $('detail-enable').textContent = node.level === 3 ? (node.enable ? 'Yes' : 'No') : '—';
  $('detail-visible').textContent = node.visible ? 'Yes' : 'No (hidden)';
  $('detail-names').textContent =
      ['chs', 'cht', 'en'].map((language) => `${kLanguageNames[language]}: ${node.names[language] || '—'}`)
          .join(' · ');
  $('rename-language').textContent = kLanguageNames[state.language];
  $('rename').value = node.names[state.language] || '';
  $('toggle-visible').textContent = node.visible ? 'Hide' : 'Show';
  const siblings = siblingsOf(node);
  const at = siblings.indexOf(node);
  $('move-up').disabled = at <= 0;
  $('move-down').disabled = at < 0 || at >= siblings.length - 1;
  $('favourite-form').hidden = node.level !== 3 || state.templateMode;
  const groups = $('favourite-group');
  groups.replaceChildren(element('option', '', 'Default group'));
  groups.firstChild.value = '-1';
  for (const group of state.groups) {
    const option = element('option', '', group.name);
    option.value = String(group.id);
    groups.append(option);
  }
}

function siblingsOf(node) {
  return node.parent ? node.parent.children : state.tree.roots;
}

// One node's attributes through the level's update method: every value is
// written, so the current ones go with the change.
async function updateNode(node, change) {
  const level = kLevels[node.level];
  const values = {
    Visible: change.visible ?? node.visible,
    NewName: change.name ?? node.names[state.language] ?? '',
    Index: change.index ?? node.index,
  };
  if (node.level === 3) {
    values.HelpCode = node.helpCode;
    values.Enable = node.enable;
  }
  await rpc.call(kUpdate, level.update, [dsn(), node.id, values, state.templateMode]);
}

$('rename-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const node = selectedNode();
  const name = $('rename').value.trim();
  if (!node || !name) return;
  run(() => updateNode(node, { name }), { write: true });
});

$('toggle-visible').addEventListener('click', () => {
  const node = selectedNode();
  if (node) run(() => updateNode(node, { visible: !node.visible }), { write: true });
});

// Puts `node` at position `to` among its siblings and writes the new
// indexes of those whose index changed.
async function moveTo(node, to) {
  const siblings = siblingsOf(node).slice();
  const from = siblings.indexOf(node);
  if (from < 0 || to === from) return;
  siblings.splice(from, 1);
  siblings.splice(to, 0, node);
  for (let i = 0; i < siblings.length; ++i) {
    const index = (i + 1) * 10;
    if (siblings[i].index !== index) await updateNode(siblings[i], { index });
  }
}

$('move-up').addEventListener('click', () => {
  const node = selectedNode();
  if (node) run(() => moveTo(node, siblingsOf(node).indexOf(node) - 1), { write: true });
});
$('move-down').addEventListener('click', () => {
  const node = selectedNode();
  if (node) run(() => moveTo(node, siblingsOf(node).indexOf(node) + 1), { write: true });
});

// Drag and drop among siblings: dropped on the upper half of a row, the node
// goes before it, else after it.
let dragged = null;

function dropTarget(event) {
  const row = event.target.closest('.node');
  if (!row || !dragged) return null;
  const target = state.tree.byKey.get(row.dataset.key);
  if (!target || target === dragged || target.parent !== dragged.parent) return null;
  const box = row.getBoundingClientRect();
  return { row, target, after: event.clientY > box.top + box.height / 2 };
}

function clearDropMarks() {
  document.querySelectorAll('.drop-before, .drop-after')
      .forEach((row) => row.classList.remove('drop-before', 'drop-after'));
}

$('tree').addEventListener('dragstart', (event) => {
  const row = event.target.closest('.node');
  dragged = row ? state.tree.byKey.get(row.dataset.key) : null;
  if (dragged) {
    event.dataTransfer.effectAllowed = 'move';
    event.dataTransfer.setData('text/plain', dragged.key);
  }
});
$('tree').addEventListener('dragover', (event) => {
  const drop = dropTarget(event);
  clearDropMarks();
  if (!drop) return;
  event.preventDefault();
  drop.row.classList.add(drop.after ? 'drop-after' : 'drop-before');
});
$('tree').addEventListener('dragleave', clearDropMarks);
$('tree').addEventListener('drop', (event) => {
  const drop = dropTarget(event);
  clearDropMarks();
  if (!drop) return;
  event.preventDefault();
  const node = dragged;
  const siblings = siblingsOf(node).filter((sibling) => sibling !== node);
  const to = siblings.indexOf(drop.target) + (drop.after ? 1 : 0);
  dragged = null;
  run(() => moveTo(node, to), { write: true });
});
$('tree').addEventListener('dragend', () => { dragged = null; clearDropMarks(); });

// ---- search ----

function pathOf(node) {
  const names = [];
  for (let up = node.parent; up; up = up.parent) names.unshift(displayName(up, state.language));
  return names.join(' › ');
}

function showResults(nodes, emptyText) {
  const list = $('search-results');
  list.hidden = false;
  if (nodes.length === 0) {
    list.replaceChildren(element('li', 'empty', emptyText));
    return;
  }
  list.replaceChildren(...nodes.map((node) => {
    const item = element('li');
    item.dataset.key = node.key;
    item.append(element('div', '', displayName(node, state.language) +
                                     (node.helpCode ? `  ${node.helpCode}` : '')));
    item.append(element('div', 'path', pathOf(node)));
    item.addEventListener('click', () => reveal(node));
    return item;
  }));
}

$('search-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const query = $('search').value.trim();
  if (!query) {
    $('search-results').hidden = true;
    return;
  }
  if ($('search-kind').value === 'name') {
    showResults(searchByName(state.tree, query), `No name holds “${query}”.`);
    return;
  }
  run(async () => {
    // The service's order of precedence: favourites first, then the
    // functions' own codes.
    const rows = rowsOf(await rpc.result(kInfo, 'GetHelpCodeInfo', [dsn(), query]));
    const seen = new Set();
    const nodes = [];
    for (const row of rows) {
      const node = state.tree.byKey.get(`DetailFunc:${row.FDetailFuncID}`);
      if (node && !seen.has(node.key)) {
        seen.add(node.key);
        nodes.push(node);
      }
    }
    showResults(nodes, `No function has the help code “${query}”.`);
  });
});

// ---- favourites ----

function renderFavourites() {
  const box = $('groups');
  if (state.groups.length === 0) {
    box.replaceChildren(element('p', 'muted', 'No groups yet. Adding a function creates the default group.'));
  } else {
    box.replaceChildren(...state.groups.map(renderGroup));
  }
  renderDetails();
}

function renderGroup(group) {
  const section = element('div', 'group');
  section.dataset.group = String(group.id);
  const head = element('div', 'group-head');
  head.append(element('span', 'group-title', group.name));
  const rename = element('button', 'link', 'Rename');
  rename.type = 'button';
  rename.addEventListener('click', () => {
    const name = (window.prompt('New name of the group', group.name) || '').trim();
    if (name) run(() => rpc.call(kUpdate, 'UpdateNormalFuncGroup', [dsn(), group.id, name]), { write: true });
  });
  const remove = element('button', 'link', 'Delete');
  remove.type = 'button';
  remove.addEventListener('click', () => {
    if (window.confirm(`Delete the group “${group.name}”?`)) {
      run(() => rpc.call(kUpdate, 'DelNormalFuncGroup', [dsn(), group.id]), { write: true });
    }
  });
  head.append(rename, remove);
  section.append(head);
  const list = element('ul');
  if (group.items.length === 0) list.append(element('li', 'empty', 'Empty'));
  for (const entry of group.items) {
    const item = element('li');
    item.dataset.detail = String(entry.FDetailFuncID);
    const node = state.tree.byKey.get(`DetailFunc:${entry.FDetailFuncID}`);
    const name = element('span', 'fav-name',
                         node ? displayName(node, state.language) : (entry.FShowName || entry.FFuncName || ''));
    if (node) name.addEventListener('click', () => reveal(node));
    item.append(name);
    if (entry.FHelpCode) item.append(element('span', 'code', entry.FHelpCode));
    const drop = element('button', 'link', 'Remove');
    drop.type = 'button';
    drop.title = 'Removes the function from every user’s favourites';
    drop.addEventListener('click', () => {
      if (window.confirm('Remove this function from the favourites? It leaves every user’s groups.')) {
        run(() => rpc.call(kUpdate, 'DelNormalFunc', [dsn(), entry.FDetailFuncID]), { write: true });
      }
    });
    item.append(drop);
    list.append(item);
  }
  section.append(list);
  return section;
}

$('favourite-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const node = selectedNode();
  if (!node) return;
  const group = Number($('favourite-group').value);
  const name = displayName(node, state.language);
  run(() => rpc.call(kUpdate, 'AddNormalItem', [dsn(), node.id, node.helpCode, name, name, group]),
      { write: true });
});

$('group-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const name = $('group-name').value.trim();
  if (!name) return;
  run(async () => {
    await rpc.call(kUpdate, 'AddNormalFuncGroup', [dsn(), name, name]);
    $('group-name').value = '';
  }, { write: true });
});

// ---- administration ----

// The administrative methods act on the chosen user's overlay.
function userDsn() {
  return descriptor(state.connectString, state.user, state.language);
}

$('set-default').addEventListener('click', () => {
  if (window.confirm(`Reset user ${state.user}’s overlay to the shared default?`)) {
    run(async () => {
      await rpc.call(kUpdate, 'SetDefault', [userDsn()]);
      setStatus(`User ${state.user}’s overlay was reset.`);
    }, { write: true });
  }
});

$('propagate-form').addEventListener('submit', (event) => {
  event.preventDefault();
  const text = $('propagate-users').value.trim();
  const users = text ? text.split(/[\s,;]+/).filter(Boolean).map(Number) : [];
  if (users.some((user) => !Number.isInteger(user))) {
    showError(new RpcError({ description: 'Users are given by their numbers, separated by commas.',
                             kind: 'page' }, 0));
    return;
  }
  const question = users.length
    ? `Copy user ${state.user}’s layout to users ${users.join(', ')}?`
    : `Make user ${state.user}’s layout everyone’s default? Every other overlay is dropped.`;
  if (!window.confirm(question)) return;
  run(() => rpc.call(kUpdate, 'ApplyAllUser', [userDsn(), users]), { write: true });
});

$('export').addEventListener('click', () => run(async () => {
  const layout = await rpc.result(kInfo, 'ExportUserData', [userDsn()]);
  const blob = new Blob([JSON.stringify(layout, null, 1)], { type: 'application/json' });
  const link = element('a');
  link.href = URL.createObjectURL(blob);
  link.download = `layout-user-${state.user}.json`;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}));

$('import').addEventListener('change', (event) => {
  const file = event.target.files[0];
  event.target.value = '';
  if (!file) return;
  run(async () => {
    let layout;
    try {
      layout = JSON.parse(await file.text());
    } catch (e) {
      throw new RpcError({ description: `${file.name} is not a layout file (not JSON).`, kind: 'page' }, 0);
    }
    if (!window.confirm(`Replace user ${state.user}’s overlay with ${file.name}?`)) return;
    await rpc.call(kUpdate, 'ImportUserData', [userDsn(), layout]);
    setStatus(`Imported ${file.name} for user ${state.user}.`);
  }, { write: true });
});

// ---- choices ----

function saveChoices() {
  sessionStorage.setItem('lxm.choices', JSON.stringify({
    connectString: state.connectString, user: state.user, language: state.language,
    templateMode: state.templateMode,
  }));
}

$('database').addEventListener('change', () => {
  state.connectString = $('database').value;
  state.template = null;
  reload();
});
$('user').addEventListener('change', () => {
  const user = Number($('user').value);
  if (!Number.isInteger(user) || user < 0) {
    showError(new RpcError({ description: 'A user is a whole number, 0 or more.', kind: 'page' }, 0));
    return;
  }
  state.user = user;
  reload();
});
$('language').addEventListener('change', () => {
  state.language = $('language').value;
  document.documentElement.lang = { chs: 'zh-Hans', cht: 'zh-Hant', en: 'en' }[state.language];
  saveChoices();
  renderTree();
  renderFavourites();
  if (!$('search-results').hidden) $('search-form').requestSubmit();
});
$('template-mode').addEventListener('change', () => {
  state.templateMode = $('template-mode').checked;
  reload();
});
$('refresh').addEventListener('click', () => run(revalidate));
$('error-close').addEventListener('click', clearError);
window.addEventListener('focus', () => run(revalidate, { background: true }));

async function start() {
  try {
    const config = await rpc.get('/config');
    state.databases = config.databases;
    const saved = JSON.parse(sessionStorage.getItem('lxm.choices') || 'null') || {};
    const known = state.databases.some((db) => db.connectString === saved.connectString);
    state.connectString = known ? saved.connectString : (state.databases[0] || {}).connectString || '';
    state.user = Number.isInteger(saved.user) ? saved.user : config.exampleUser;
    state.language = saved.language || 'en';
    state.templateMode = !!saved.templateMode;
    $('database').replaceChildren(...state.databases.map((db) => {
      const option = element('option', '', db.name);
      option.value = db.connectString;
      option.title = db.connectString;
      return option;
    }));
    $('database').value = state.connectString;
    $('user').value = String(state.user);
    $('language').value = state.language;
    $('template-mode').checked = state.templateMode;
    document.documentElement.lang = { chs: 'zh-Hans', cht: 'zh-Hant', en: 'en' }[state.language];
    if (!state.connectString) throw new RpcError({ description: 'The server serves no database.', kind: 'page' }, 0);
  } catch (error) {
    showError(error);
    return;
  }
  await reload();
  setInterval(() => { if (!document.hidden) run(revalidate, { background: true }); }, kRevalidateSeconds * 1000);
}

start();
