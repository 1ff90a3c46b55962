// The tree a user sees, built from two snapshots as the service builds it:
// the template's nodes with the user's overlay rows applied (the user's own
// row, else the shared default row), plus the user's own nodes. Without an
// overlay (the administrator's view) it is the template alone.

export const kLanguages = ['chs', 'cht', 'en'];

export const kLevels = [
  { key: 'TopClass', id: 'FTopClassID', name: 'FTopClassName', parent: '', ownFrom: 1000,
    update: 'UpdateTopClass', label: 'Top class' },
  { key: 'SubSystem', id: 'FSubSysID', name: 'FName', parent: 'FTopClassID', ownFrom: 100000,
    update: 'UpdateSystemFunc', label: 'Subsystem' },
  { key: 'SubFunc', id: 'FSubFuncID', name: 'FFuncName', parent: 'FSubSysID', ownFrom: 10000000,
    update: 'UpdateSubSysFunc', label: 'Sub-function' },
  { key: 'DetailFunc', id: 'FDetailFuncID', name: 'FFuncName', parent: 'FSubFuncID', ownFrom: 1000000000,
    update: 'UpdateDetailFuncAttr', label: 'Detail function' },
];

export function nodeKey(levelIndex, id) {
  return `${kLevels[levelIndex].key}:${id}`;
}

function namesOf(level, row) {
  return {
    chs: row[`${level.name}_CHS`] || '',
    cht: row[`${level.name}_CHT`] || '',
    en: row[`${level.name}_EN`] || '',
  };
}

function flag(value, fallback) {
  if (value === null || value === undefined) return fallback;
  return value === true || Number(value) !== 0;
}

function number(value, fallback) {
  return value === null || value === undefined || value === '' ? fallback : Number(value);
}

function text(value) {
  return typeof value === 'string' ? value : '';
}

// { roots: [node], byKey: Map } where a node is { key, level, id, parentId,
// names: {chs, cht, en}, index, visible, enable, own, overlaid, helpCode,
// className, children: [node], parent }.
export function buildTree(templateSnapshot, userSnapshot) {
  const byKey = new Map();
  const levels = kLevels.map((level, levelIndex) => {
    const nodes = new Map();
    for (const row of templateSnapshot[level.key] || []) {
      const id = number(row[level.id], 0);
      nodes.set(id, {
        key: nodeKey(levelIndex, id),
        level: levelIndex,
        id,
        parentId: level.parent ? number(row[level.parent], 0) : 0,
        names: namesOf(level, row),
        index: number(row.FIndex, 0),
        visible: flag(row.FVisible, true),
        enable: flag(row.FEnable, true),
        own: false,
        overlaid: false,
        helpCode: text(row.FHelpCode),
        className: text(row.FClassName),
        children: [],
        parent: null,
      });
    }
    for (const row of (userSnapshot && userSnapshot[level.key]) || []) {
      const id = number(row[level.id], 0);
      let node = nodes.get(id);
      if (!node) {
        if (id < level.ownFrom) continue;  // the overlay of a node the template lost
        node = {
          key: nodeKey(levelIndex, id), level: levelIndex, id, parentId: 0,
          names: { chs: '', cht: '', en: '' }, index: 0, visible: true, enable: true,
          own: true, overlaid: false, helpCode: '', className: '', children: [], parent: null,
        };
        nodes.set(id, node);
      } else {
        node.overlaid = true;
      }
      const names = namesOf(level, row);
      for (const language of kLanguages) {
        if (names[language]) node.names[language] = names[language];
      }
      node.index = number(row.FIndex, node.index);
      node.visible = flag(row.FVisible, node.visible);
      if ('FEnable' in row) node.enable = flag(row.FEnable, node.enable);
      if (text(row.FHelpCode)) node.helpCode = text(row.FHelpCode);
      if (text(row.FClassName)) node.className = text(row.FClassName);
      if (level.parent) node.parentId = number(row[level.parent], node.parentId);
    }
    return nodes;
  });

  const roots = [];
  levels.forEach((nodes, levelIndex) => {
    for (const node of nodes.values()) {
      if (levelIndex === 0) {
        roots.push(node);
      } else {
        const parent = levels[levelIndex - 1].get(node.parentId);
        if (!parent) continue;  // under a node this view does not have
        node.parent = parent;
        parent.children.push(node);
      }
      byKey.set(node.key, node);
    }
  });
  const order = (a, b) => (a.index !== b.index ? a.index - b.index : a.id - b.id);
  roots.sort(order);
  for (const node of byKey.values()) node.children.sort(order);
  return { roots, byKey };
}

// The node's name in `language`; a node without one shows another language's.
export function displayName(node, language) {
  return node.names[language] || node.names.chs || node.names.en || node.names.cht || `#${node.id}`;
}

// Nodes whose name in any language holds `query` (letter case ignored), in
// tree order.
export function searchByName(tree, query, limit = 50) {
  const needle = query.trim().toLocaleLowerCase();
  const found = [];
  if (!needle) return found;
  const visit = (nodes) => {
    for (const node of nodes) {
      if (found.length >= limit) return;
      if (kLanguages.some((language) => node.names[language].toLocaleLowerCase().includes(needle))) {
        found.push(node);
      }
      visit(node.children);
    }
  };
  visit(tree.roots);
  return found;
}

// The snapshot reply (a dictionary of recordsets) with each level as rows.
export function snapshotRows(dictionary, rowsOf) {
  const snapshot = { stamp: dictionary.TimeStamp || '' };
  for (const level of kLevels) snapshot[level.key] = rowsOf(dictionary[level.key]);
  return snapshot;
}
