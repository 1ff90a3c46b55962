// Calls of the service's RPC methods, as any other client makes them:
// POST /rpc/{ProgID}/{Method} with {"args": [...]}. The bearer token, when
// the server asks for one, lives in sessionStorage only: gone with the tab.

const kTokenKey = 'lxm.token';

export class RpcError extends Error {
  // `info` is the reply's "error" object: {number, source, description} for an
  // error the method raised, {kind, description} for a refused request.
  constructor(info, status) {
    super(info.description || 'The call failed.');
    this.status = status;
    this.number = info.number;
    this.source = info.source || (info.kind ? `server (${info.kind})` : '');
    this.kind = info.kind || '';
  }
}

export function storedToken() {
  return sessionStorage.getItem(kTokenKey) || '';
}

export function storeToken(token) {
  if (token) sessionStorage.setItem(kTokenKey, token);
  else sessionStorage.removeItem(kTokenKey);
}

// `askToken` is called (and awaited) when the server answers 401; it returns
// the token the person typed, or '' to give up.
export class Rpc {
  constructor(askToken) {
    this.askToken_ = askToken;
  }

  async get(path) {
    return this.send_(path, { method: 'GET' });
  }

  // The whole reply: {result, out}.
  async call(progId, method, args) {
    return this.send_(`/rpc/${progId}/${method}`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ args }),
    });
  }

  async result(progId, method, args) {
    return (await this.call(progId, method, args)).result;
  }

  async send_(path, init) {
    // A busy server (429, 503) says when to come back; a few such waits are
    // better than an error on the page.
    let busyWaits = 0;
    for (;;) {
      const headers = { ...(init.headers || {}) };
      const token = storedToken();
      if (token) headers.Authorization = `Bearer ${token}`;
      let response;
      try {
        response = await fetch(path, { ...init, headers });
      } catch (e) {
        throw new RpcError({ description: 'The server cannot be reached.', kind: 'network' }, 0);
      }
      if ((response.status === 429 || response.status === 503) && busyWaits < 5) {
        busyWaits += 1;
        const seconds = Number(response.headers.get('Retry-After')) || 1;
        await new Promise((resolve) => { setTimeout(resolve, Math.min(seconds, 10) * 1000); });
        continue;
      }
      if (response.status === 401) {
        const typed = await this.askToken_(token !== '');
        if (!typed) throw new RpcError({ description: 'No token was given.', kind: 'unauthorized' }, 401);
        storeToken(typed);
        continue;
      }
      let body;
      try {
        body = await response.json();
      } catch (e) {
        throw new RpcError(
          { description: `The server answered ${response.status} with no readable reply.`, kind: 'http' },
          response.status);
      }
      if (body && body.error) throw new RpcError(body.error, response.status);
      return body;
    }
  }
}

// A recordset value as an array of objects keyed by field name.
export function rowsOf(value) {
  const recordset = value && value.$recordset;
  if (!recordset) return [];
  const names = recordset.fields.map((field) => field.name);
  return recordset.rows.map((row) => {
    const object = {};
    names.forEach((name, i) => { object[name] = row[i]; });
    return object;
  });
}

export function descriptor(connectString, userId, language) {
  return `ConnectString={${connectString}};UserID=${userId};LANGUAGE=${language}`;
}
