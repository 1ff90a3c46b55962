// The scenarios, in the order a person might go: each leaves the demo
// account as the next one expects (user 16394, the demo's overlay).
import fs from 'node:fs';

export function defineTests(t) {
  const { test, check, equal, until, sql, call, row, label, openPath, shot, errorText, revalidate, serveWithTokens,
          kUser, kToken } = t;

  // The labels of a node's children as the page shows them.
  const childLabels = (page, key) =>
      page.locator(`#tree li[data-key="${key}"] > ul > li > .node .label`).allInnerTexts();
  const rootLabels = (page) => page.locator('#tree > li > .node .label').allInnerTexts();
  const selectNode = async (page, key) => {
    await label(page, key).click();
    await until(async () => (await page.locator('#detail-id').innerText()) === key.split(':')[1],
                `${key} in the details`);
  };
  // Renames a node through the details form and waits for the tree to show it.
  const renameNode = async (page, key, name) => {
    await selectNode(page, key);
    await page.locator('#rename').fill(name);
    await page.locator('#rename-form button[type=submit]').click();
    await until(async () => (await label(page, key).innerText()) === name, 'the new name');
  };
  // Waits for the page's own write and revalidation to settle.
  const settled = (page) => page.waitForLoadState('networkidle');

  test('loads the demo: asks for the token once, then shows the user\'s tree', async ({ page, url }) => {
    await page.goto(`${url}/?every=2`);
    await page.locator('#token-dialog').waitFor({ state: 'visible' });
    await shot(page, '01-token');
    await page.locator('#token').fill(kToken);
    await page.locator('#token-ok').click();
    await row(page, 'TopClass:1').waitFor();
    // The user's overlay: renamed "Finance", "Management accounting" moved up,
    // "Manufacturing" hidden, the own top class "My tools".
    const expected = sql(`SELECT FTopClassName_EN AS name FROM t_UserTopClass WHERE FUserID=${kUser} AND FTopClassID=1`);
    equal(expected, [{ name: 'Finance' }], 'the database\'s overlay name');
    const labels = await rootLabels(page);
    equal(labels.slice(0, 3), ['Personal desk', 'Finance', 'Management accounting'], 'the first top classes');
    check(labels.includes('My tools'), 'the own top class is shown');
    check(await row(page, 'TopClass:1000').locator('.own-tag').isVisible(), '"My tools" is marked own');
    check(await row(page, 'TopClass:3').evaluate((e) => e.classList.contains('hidden-node')),
          '"Manufacturing" is greyed');
    equal(sql(`SELECT FVisible FROM t_UserTopClass WHERE FUserID=${kUser} AND FTopClassID=3`), [{ FVisible: 0 }],
          'Manufacturing in the database');
    // The token lives in the tab's session only.
    equal(await page.evaluate(() => [sessionStorage.getItem('lxm.token'), localStorage.length]), [kToken, 0],
          'token storage');
    await shot(page, '02-loaded');
  });

  test('expands a top class and a subsystem and shows a node\'s details', async ({ page }) => {
    await openPath(page, 'TopClass:1', 'SubSystem:1001');
    const subs = await childLabels(page, 'SubSystem:1001');
    // The overlay moved "Period-end processing" first and renamed "Vouchers".
    const inDb = sql(`SELECT FSubFuncID, FIndex FROM t_UserSubFunc WHERE FUserID=${kUser} AND FSubFuncID=100105`);
    equal(inDb, [{ FSubFuncID: 100105, FIndex: 5 }], 'the overlay row of Period-end processing');
    equal(subs.slice(0, 2), ['Period-end processing', 'Vouchers'], 'the first sub-functions');
    check(await row(page, 'SubFunc:100108').evaluate((e) => e.classList.contains('hidden-node')),
          '"Utilities" is greyed');
    await openPath(page, 'SubFunc:100101');
    await selectNode(page, 'DetailFunc:10010101');
    const [stored] = sql(`SELECT FHelpCode, FClassName, FEnable FROM t_UserDetailFunc
                          WHERE FUserID=${kUser} AND FDetailFuncID=10010101`);
    equal(await page.locator('#detail-help').innerText(), stored.FHelpCode, 'help code');
    equal(await page.locator('#detail-class').innerText(), stored.FClassName, 'class');
    equal(await page.locator('#detail-enable').innerText(), stored.FEnable ? 'Yes' : 'No', 'enable flag');
    equal(await page.locator('#detail-name').innerText(), 'Journal voucher entry', 'name');
    await shot(page, '03-expanded');
    // Closed again, its functions leave the page.
    await row(page, 'SubFunc:100101').locator('.twisty').click();
    equal(await page.locator('#tree li[data-key="SubFunc:100101"]').getAttribute('aria-expanded'), 'false', 'closed');
    equal(await row(page, 'DetailFunc:10010101').count(), 0, 'the functions under it');
    // The keyboard opens it again and walks into it.
    await row(page, 'SubFunc:100101').focus();
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowDown');
    equal(await page.locator('#detail-id').innerText(), String(
        await page.locator('#tree li[data-key="SubFunc:100101"] > ul > li:first-child').evaluate(
            (item) => item.dataset.key.split(':')[1])), 'the first function selected');
    equal(await page.evaluate(() => document.activeElement.dataset.key),
          await page.locator('#tree .node.selected').getAttribute('data-key'), 'the focus follows');
  });

  test('searches a help code and opens the result, in the service\'s order', async ({ page }) => {
    await page.locator('#collapse-all').click();
    await page.locator('#search-kind').selectOption('code');
    await page.locator('#search').fill('ksLRskd');  // letter case does not matter
    await page.locator('#search').press('Enter');
    const results = page.locator('#search-results li[data-key]');
    await results.first().waitFor();
    const shown = await results.evaluateAll((items) => items.map((i) => i.dataset.key));
    const reply = JSON.parse(call('en', 'LXMDataFlow.DatasInfo', 'GetHelpCodeInfo', 'ksLRskd'));
    const recordset = reply.result.$recordset;
    const at = recordset.fields.findIndex((f) => f.name === 'FDetailFuncID');
    const expected = [...new Set(recordset.rows.map((r) => `DetailFunc:${r[at]}`))];
    check(expected.length > 0, 'the service finds the code');
    equal(shown, expected, 'results in the service\'s order');
    await results.first().click();
    await until(async () => (await page.locator('#detail-help').innerText()) === 'KSLRSKD', 'the details');
    check(await row(page, expected[0]).evaluate((e) => e.classList.contains('selected')), 'the node is selected');
    check(await row(page, expected[0]).isVisible(), 'the node is shown in the tree');
    await shot(page, '04-search');
    // By name, in any language: a Chinese name found while the page shows English.
    await page.locator('#search-kind').selectOption('name');
    await page.locator('#search').fill('凭证审核');
    await page.locator('#search').press('Enter');
    await until(async () => (await results.evaluateAll((items) => items.map((i) => i.dataset.key)))
        .includes('DetailFunc:10010103'), 'the name result');
  });

  test('hides a node and sees it greyed after a reload', async ({ page }) => {
    await openPath(page, 'TopClass:1', 'SubSystem:1001');
    await selectNode(page, 'SubFunc:100102');
    await page.locator('#toggle-visible').click();
    await until(() => sql(`SELECT FVisible FROM t_UserSubFunc WHERE FUserID=${kUser} AND FSubFuncID=100102`)
        .map((r) => r.FVisible).join() === '0', 'the overlay row hidden');
    // Other users keep it.
    equal(sql('SELECT FVisible FROM t_DataFlowSubFunc WHERE FSubFuncID=100102'), [{ FVisible: 1 }], 'template');
    await page.reload();
    await openPath(page, 'TopClass:1', 'SubSystem:1001');
    await until(() => row(page, 'SubFunc:100102').evaluate((e) => e.classList.contains('hidden-node')),
                'the greyed row after the reload');
    check(!(await page.locator('#token-dialog').isVisible()), 'no second token question');
    await shot(page, '05-hidden');
  });

  test('renames a node in English; the other languages keep their names', async ({ page }) => {
    await openPath(page, 'TopClass:1', 'SubSystem:1001', 'SubFunc:100101');
    await renameNode(page, 'DetailFunc:10010102', 'Voucher lookup');
    equal(sql(`SELECT FFuncName, FFuncName_CHT, FFuncName_EN FROM t_UserDetailFunc
               WHERE FUserID=${kUser} AND FDetailFuncID=10010102`),
          [{ FFuncName: '凭证查询', FFuncName_CHT: '憑證查詢', FFuncName_EN: 'Voucher lookup' }], 'overlay row');
    equal(sql('SELECT FFuncName_EN FROM t_DataFlowDetailFunc WHERE FDetailFuncID=10010102'),
          [{ FFuncName_EN: 'Voucher query' }], 'template row');
    await page.locator('#language').selectOption('chs');
    await until(async () => (await label(page, 'DetailFunc:10010102').innerText()) === '凭证查询', 'the chs name');
    await page.locator('#language').selectOption('cht');
    await until(async () => (await label(page, 'DetailFunc:10010102').innerText()) === '憑證查詢', 'the cht name');
    await page.locator('#language').selectOption('en');
  });

  test('reorders sub-functions by drag and drop', async ({ page }) => {
    await openPath(page, 'TopClass:1', 'SubSystem:1001');
    const before = await childLabels(page, 'SubSystem:1001');
    const last = before[before.length - 1];
    // Drag the last sub-function onto the upper half of the first.
    const source = page.locator('#tree li[data-key="SubSystem:1001"] > ul > li:last-child > .node');
    const lastKey = await source.getAttribute('data-key');
    const first = page.locator('#tree li[data-key="SubSystem:1001"] > ul > li:first-child > .node');
    await source.dragTo(first, { targetPosition: { x: 40, y: 3 } });
    await until(async () => (await childLabels(page, 'SubSystem:1001'))[0] === last, 'the moved node first');
    await settled(page);
    const after = await childLabels(page, 'SubSystem:1001');
    equal(after, [last, ...before.slice(0, -1)], 'the new order');
    // The database's order (the overlay's indexes) is the page's.
    const keys = await page.locator('#tree li[data-key="SubSystem:1001"] > ul > li')
        .evaluateAll((items) => items.map((i) => Number(i.dataset.key.split(':')[1])));
    // Each node's row as the user sees it: the user's own, else the shared
    // default's, else the template's.
    const stored = sql(`SELECT t.FSubFuncID FROM t_DataFlowSubFunc t
                        LEFT JOIN t_UserSubFunc u ON u.FSubFuncID=t.FSubFuncID AND u.FUserID=${kUser}
                        LEFT JOIN t_UserSubFunc d ON d.FSubFuncID=t.FSubFuncID AND d.FUserID=0
                        WHERE COALESCE(u.FSubSysID, d.FSubSysID, t.FSubSysID)=1001
                        ORDER BY COALESCE(u.FIndex, d.FIndex, t.FIndex), t.FSubFuncID`).map((r) => r.FSubFuncID);
    equal(stored, keys, 'the overlay\'s order');
    equal(keys[0], Number(lastKey.split(':')[1]), 'the dragged node');
    await shot(page, '06-reordered');
  });

  test('switches language', async ({ page }) => {
    await page.locator('#language').selectOption('cht');
    const reply = JSON.parse(call('cht', 'LXMDataFlow.DatasInfo', 'GetTopClass'));
    const rs = reply.result.$recordset;
    const id = rs.fields.findIndex((f) => f.name === 'FTopClassID');
    const name = rs.fields.findIndex((f) => f.name === 'FTopClassName');
    for (const r of rs.rows) {
      equal(await label(page, `TopClass:${r[id]}`).innerText(), r[name], `top class ${r[id]} in cht`);
    }
    equal(await page.evaluate(() => document.documentElement.lang), 'zh-Hant', 'the page language');
    await shot(page, '07-cht');
    await page.locator('#language').selectOption('en');
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Finance', 'English again');
  });

  test('adds a favourite and sees it in its group; creates, renames and deletes a group', async ({ page }) => {
    await openPath(page, 'TopClass:1', 'SubSystem:1001', 'SubFunc:100101');
    await selectNode(page, 'DetailFunc:10010103');
    await page.locator('#favourite-group').selectOption('2');
    await page.locator('#favourite-form button[type=submit]').click();
    const item = page.locator('#groups .group[data-group="2"] li[data-detail="10010103"]');
    await item.waitFor();
    equal(await item.locator('.fav-name').innerText(), 'Voucher audit', 'the item\'s name');
    equal(sql(`SELECT FFuncGroupID, FHelpCode FROM t_NormalFunc WHERE FUserID=${kUser} AND FDetailFuncID=10010103`),
          [{ FFuncGroupID: 2, FHelpCode: 'PZSH' }], 'the favourite row');
    // Removed again (from every user's groups, as DelNormalFunc does).
    await item.locator('button', { hasText: 'Remove' }).click();
    await item.waitFor({ state: 'detached' });
    equal(sql('SELECT COUNT(*) AS n FROM t_NormalFunc WHERE FDetailFuncID=10010103'), [{ n: 0 }], 'removed');
    await page.locator('#favourite-group').selectOption('2');
    await page.locator('#favourite-form button[type=submit]').click();
    await item.waitFor();
    // A group: created, renamed, deleted.
    await page.locator('#group-name').fill('Month end');
    await page.locator('#group-form button[type=submit]').click();
    const created = page.locator('#groups .group', { hasText: 'Month end' });
    await created.waitFor();
    const [{ FFuncGroupID: id }] = sql(`SELECT FFuncGroupID FROM t_NormalFuncGroup
                                        WHERE FUserID=${kUser} AND FFuncGroupName='Month end'`);
    equal(await created.getAttribute('data-group'), String(id), 'the new group');
    page.dialogAnswer = 'Closing';
    await created.locator('button', { hasText: 'Rename' }).click();
    await page.locator(`#groups .group[data-group="${id}"] .group-title`, { hasText: 'Closing' }).waitFor();
    page.dialogAnswer = undefined;
    equal(sql(`SELECT FFuncGroupName FROM t_NormalFuncGroup WHERE FFuncGroupID=${id}`),
          [{ FFuncGroupName: 'Closing' }], 'renamed in the database');
    await shot(page, '08-favourites');
    await page.locator(`#groups .group[data-group="${id}"] button`, { hasText: 'Delete' }).click();
    await page.locator(`#groups .group[data-group="${id}"]`).waitFor({ state: 'detached' });
    equal(sql(`SELECT COUNT(*) AS n FROM t_NormalFuncGroup WHERE FFuncGroupID=${id}`), [{ n: 0 }], 'deleted');
  });

  test('shows an error as people read it', async ({ page }) => {
    // A group name the user has already.
    await page.locator('#group-name').fill('月末结账');
    await page.locator('#group-form button[type=submit]').click();
    await page.locator('#error').waitFor({ state: 'visible' });
    // The stamps' checks (every 2 s here) leave it for people to read.
    await page.waitForTimeout(2500);
    check(await page.locator('#error').isVisible(), 'the error is still shown after a check');
    const text = await page.locator('#error').innerText();
    check(text.includes('LxmDataFlow.AddNormalFuncGroup'), `the source is named: ${text}`);
    check(!/at \w+ \(|\.js:\d+/.test(text), `no stack: ${text}`);
    equal(sql(`SELECT COUNT(*) AS n FROM t_NormalFuncGroup WHERE FUserID=${kUser} AND FFuncGroupName='月末结账'`),
          [{ n: 1 }], 'no second group');
    await shot(page, '09-error');
    await page.locator('#error-close').click();
  });

  test('a change made through lxmdataflow call appears after revalidation', async ({ page }) => {
    const fetched = [];
    const onRequest = (request) => {
      const match = /\/rpc\/[^/]+\/(\w+)$/.exec(request.url());
      if (match) fetched.push(match[1]);
    };
    page.on('request', onRequest);
    call('en', 'LXMDataFlow.DatasUpdate', 'UpdateTopClass', '6',
         { Visible: true, NewName: 'Controlling', Index: 15 });
    equal(sql(`SELECT FTopClassName_EN FROM t_UserTopClass WHERE FUserID=${kUser} AND FTopClassID=6`),
          [{ FTopClassName_EN: 'Controlling' }], 'the call\'s write');
    // No click: the page's own timer (every 2 s here) finds the moved stamp.
    await until(async () => (await label(page, 'TopClass:6').innerText()) === 'Controlling',
                'the new name on the page', 10000);
    page.off('request', onRequest);
    check(fetched.includes('GetUserTemplateVer') && fetched.includes('GetUserData'),
          `the overlay was read again: ${fetched}`);
    check(!fetched.includes('GetTemplate'), `the template, whose stamp stayed, was not: ${fetched}`);
  });

  test('the administrator\'s template view, and export of a layout', async ({ page }) => {
    await page.locator('#template-mode').check();
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Financial accounting',
                'the template\'s name');
    check(await page.locator('#admin').isVisible(), 'the administration panel');
    check(!(await row(page, 'TopClass:1000').count()), 'no own nodes in the template');
    const download = page.waitForEvent('download');
    await page.locator('#export').click();
    const file = await download;
    const layout = JSON.parse(fs.readFileSync(await file.path(), 'utf8'));
    const rs = layout.TopClass.$recordset;
    const id = rs.fields.findIndex((f) => f.name === 'FTopClassID');
    const stored = sql(`SELECT FTopClassID FROM t_UserTopClass WHERE FUserID=${kUser}`).map((r) => r.FTopClassID);
    equal(rs.rows.map((r) => r[id]).filter((i) => stored.includes(i)).sort((a, b) => a - b),
          stored.sort((a, b) => a - b), 'the exported top classes');
    await shot(page, '10-template');
    await page.locator('#template-mode').uncheck();
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Finance', 'the user\'s view again');
  });

  test('the administrator renames a template function in English only', async ({ page }) => {
    await page.locator('#template-mode').check();
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Financial accounting', 'the template');
    await openPath(page, 'TopClass:1', 'SubSystem:1001', 'SubFunc:100101');
    await selectNode(page, 'DetailFunc:10010104');
    await page.locator('#rename').fill('Post vouchers');
    await page.locator('#rename-form button[type=submit]').click();
    await until(async () => (await label(page, 'DetailFunc:10010104').innerText()) === 'Post vouchers', 'the name');
    equal(sql('SELECT FFuncName, FFuncName_CHT, FFuncName_EN FROM t_DataFlowDetailFunc WHERE FDetailFuncID=10010104'),
          [{ FFuncName: '凭证过账', FFuncName_CHT: '憑證過賬', FFuncName_EN: 'Post vouchers' }], 'the template row');
    equal(sql('SELECT FUserID, FFuncName_EN FROM t_UserDetailFunc WHERE FDetailFuncID=10010104'),
          [{ FUserID: 0, FFuncName_EN: 'Voucher posting' }], 'the overlay rows: the shared default\'s only');
    // The user has no row of it, and the shared default's row names it: that
    // name stays in the user's view.
    await page.locator('#template-mode').uncheck();
    await openPath(page, 'TopClass:1', 'SubSystem:1001', 'SubFunc:100101');
    equal(await label(page, 'DetailFunc:10010104').innerText(), 'Voucher posting', 'the name in the user\'s view');
  });

  test('imports a layout for another user, then resets that user to the default', async ({ page }) => {
    const other = 16395;
    await page.locator('#template-mode').check();
    const download = page.waitForEvent('download');
    await page.locator('#export').click();
    const file = await (await download).path();
    await page.locator('#user').fill(String(other));
    await page.locator('#user').press('Tab');
    await page.locator('#import').setInputFiles(file);
    await until(() => sql(`SELECT FTopClassName_EN AS name FROM t_UserTopClass
                           WHERE FUserID=${other} AND FTopClassID=1000`).length === 1, 'the imported own node');
    equal(sql(`SELECT FTopClassID, FTopClassName_EN, FIndex, FVisible FROM t_UserTopClass WHERE FUserID=${other}
               ORDER BY FTopClassID`),
          // The exported layout: the user's own rows, and the shared default's
          // for the nodes the user has none of.
          sql(`SELECT FTopClassID, FTopClassName_EN, FIndex, FVisible FROM t_UserTopClass t
               WHERE FUserID=${kUser} OR (FUserID=0 AND NOT EXISTS (SELECT 1 FROM t_UserTopClass u
                 WHERE u.FUserID=${kUser} AND u.FTopClassID=t.FTopClassID))
               ORDER BY FTopClassID`), 'the other user\'s top classes');
    await page.locator('#template-mode').uncheck();
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Finance', 'the imported layout');
    check(await row(page, 'TopClass:1000').locator('.own-tag').isVisible(), 'the imported own node');
    await page.locator('#template-mode').check();
    await page.locator('#set-default').click();
    await until(() => sql(`SELECT COUNT(*) AS n FROM t_UserTopClass WHERE FUserID=${other} AND FTopClassID=1000`)[0].n === 0,
                'the own node dropped');
    await page.locator('#template-mode').uncheck();
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Financial accounting',
                'the default\'s name');
    check(!(await row(page, 'TopClass:1000').count()), 'no own node after the reset');
    await page.locator('#user').fill(String(kUser));
    await page.locator('#user').press('Tab');
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Finance', 'back to the demo user');
  });

  test('propagates the user\'s layout to another user', async ({ page }) => {
    const other = 16396;
    await page.locator('#template-mode').check();
    await page.locator('#propagate-users').fill(String(other));
    await page.locator('#propagate-form button[type=submit]').click();
    const rows = (user) => sql(`SELECT FTopClassID, FTopClassName_EN, FIndex, FVisible FROM t_UserTopClass
                                WHERE FUserID=${user} ORDER BY FTopClassID`);
    await until(() => JSON.stringify(rows(other)) === JSON.stringify(rows(kUser)), 'an exact copy of the rows');
    await page.locator('#template-mode').uncheck();
    await page.locator('#user').fill(String(other));
    await page.locator('#user').press('Tab');
    await until(async () => (await page.locator('#tree-title').innerText()) === `User ${other}`, 'the other user');
    await until(async () => (await label(page, 'TopClass:1').innerText()) === 'Finance', 'the copied name');
    await page.locator('#user').fill(String(kUser));
    await page.locator('#user').press('Tab');
  });

  test('reads well on a narrow window', async ({ page }) => {
    await page.setViewportSize({ width: 390, height: 800 });
    await openPath(page, 'TopClass:1', 'SubSystem:1001');
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 0, `no sideways scrolling (${overflow} px too wide)`);
    await shot(page, '11-narrow');
    await page.setViewportSize({ width: 1280, height: 800 });
  });

  test('with a user\'s token: the own tree and its writes work; other users and the administration are refused',
       async ({ browser }) => {
    const userToken = 'e2e-user-token-5678';
    // The server would start another page at 16395: the token's user wins.
    const url = await serveWithTokens([{ token: userToken, user: kUser, role: 'user' }],
                                      ['--example-user', '16395']);
    const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
    try {
      const page = await context.newPage();
      page.on('dialog', (dialog) => dialog.accept());
      const problems = [];
      page.on('pageerror', (error) => problems.push(error.message));
      await page.goto(url);
      await page.locator('#token').fill(userToken);
      await page.locator('#token-ok').click();
      await row(page, 'TopClass:1').waitFor();
      equal(await page.locator('#tree-title').innerText(), `User ${kUser}`, 'the user the page starts at');

      await openPath(page, 'TopClass:1', 'SubSystem:1001', 'SubFunc:100101');
      await renameNode(page, 'DetailFunc:10010102', 'Voucher search');
      equal(sql(`SELECT FFuncName_EN FROM t_UserDetailFunc WHERE FUserID=${kUser} AND FDetailFuncID=10010102`),
            [{ FFuncName_EN: 'Voucher search' }], 'the own overlay row');
      equal(await errorText(page), '', 'no error after the own write');

      const overlay = () => sql(`SELECT FTopClassID, FTopClassName_EN, FIndex, FVisible FROM t_UserTopClass
                                 WHERE FUserID=${kUser} ORDER BY FTopClassID`);
      const before = overlay();
      await page.locator('#template-mode').check();
      await page.locator('#set-default').click();
      await until(async () => /forbidden/.test(await errorText(page)), 'the refused reset');
      await shot(page, '12-user-token-refused');
      equal(overlay(), before, 'the overlay after the refused reset');

      await page.locator('#error-close').click();
      await page.locator('#template-mode').uncheck();
      await page.locator('#user').fill('16395');
      await page.locator('#user').press('Tab');
      await until(async () => /forbidden/.test(await errorText(page)), 'another user\'s tree refused');
      await shot(page, '13-user-token-other-user');
      // Nothing of the token's own user is left on show as the other's.
      equal([await page.locator('#tree .node').count(), await page.locator('#groups .group').count()], [0, 0],
            'tree rows and favourite groups shown for the refused user');
      equal(problems, [], 'page errors');
    } finally {
      await context.close();
    }
  });
}
