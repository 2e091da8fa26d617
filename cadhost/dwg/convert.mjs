// DWG to DXF through LibreDWG's WebAssembly build, in a process of its own
// so that a fault in the converter cannot reach DimMark.
//
//   node convert.mjs IN.dwg OUT.dxf      converts one file (tests, benchmarks)
//   node convert.mjs --serve [--warmup SMALL.dwg]
//       serves DimMark on file descriptor 3 (a socket), one request at a
//       time:
//         "READY\n"                      once, when the converter is loaded
//         "CONVERT <n>\n" + n bytes      the DWG's path (UTF-8)
//         "OK <n>\n" + n bytes           the DXF
//         "FAIL <n>\n" + n bytes         why not (UTF-8); the process then
//                                        exits, since LibreDWG's state after
//                                        a fault cannot be trusted
//       End of input ends the process.
import fs from 'node:fs';
import path from 'node:path';
import v8 from 'node:v8';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const wasmDir = path.join(here, 'node_modules', '@mlightcad', 'libredwg-web', 'wasm');

// LibreDWG talks on stdout; the protocol must not see it, and nobody reads
// it while the converter idles, so the last lines are kept for a FAIL only.
const chatter = [];
function note(line) {
  chatter.push(String(line));
  if (chatter.length > 20) chatter.shift();
}
console.log = console.info = console.warn = console.debug = note;

async function load() {
  const url = pathToFileURL(path.join(wasmDir, 'libredwg-web.js')).href;
  const { default: createModule } = await import(url);
  return createModule({
    locateFile: (name) => path.join(wasmDir, name),
    print: note,
    printErr: note,
  });
}

// LibreDWG's error bits from 128 on are critical; below they are warnings
// and the DXF is still written.
const CRITICAL = 128;

const LAYER = 51; // Dwg_Object_Type DWG_TYPE_LAYER

// This build's DXF writer negates every layer's colour (62), which says
// "off", whatever the DWG says, so every drawing would open blank. Its
// object API reads the layer's own on/off flag rightly: each layer's state
// is passed on, by handle, in comments after LibreDWG's first one, and
// DimMark sets the layers as the DWG has them (see dwg_mend.cpp). Nothing
// is said when the DWG cannot be read this way; the DXF is as written.
function layerStates(lib) {
  let read;
  try {
    read = lib.dwg_read_file('/in.dwg');
    if (!read || !read.data || read.error >= CRITICAL) return [];
    const states = [];
    const n = lib.dwg_get_num_objects(read.data);
    for (let i = 0; i < n; i++) {
      const obj = lib.dwg_get_object(read.data, i);
      if (!obj || lib.dwg_object_get_fixedtype(obj) !== LAYER) continue;
      const off = lib.dwg_dynapi_entity_value(lib.dwg_object_to_object_tio(obj), 'off');
      if (!off || !off.success) continue;
      const handle = BigInt(lib.dwg_obj_get_handle_value(obj));
      states.push(`${handle.toString(16).toUpperCase()}:${off.data ? 'off' : 'on'}`);
    }
    return states;
  } catch {
    return [];
  } finally {
    try {
      if (read && read.data) lib.dwg_free(read.data);
    } catch {
      // freed with the module
    }
  }
}

// "999 DWG layers: 10:on 8A:off ..." in lines of a modest length, put after
// the DXF's first comment (LibreDWG's name, which marks its DXF).
function withLayerStates(dxf, states) {
  if (!states.length) return dxf;
  const text = dxf.subarray(0, 200).toString('latin1');
  const first = /^999\r?\n[^\r\n]*(\r?\n)/.exec(text);
  if (!first) return dxf;
  const eol = first[1];
  let lines = '';
  for (let i = 0; i < states.length; i += 16)
    lines += `999${eol}DWG layers: ${states.slice(i, i + 16).join(' ')}${eol}`;
  const at = first[0].length;
  return Buffer.concat([dxf.subarray(0, at), Buffer.from(lines, 'latin1'), dxf.subarray(at)]);
}

function convert(lib, dwgPath) {
  let input;
  try {
    input = fs.readFileSync(dwgPath);
  } catch (e) {
    return { error: `the file cannot be read (${e.code || e.message})` };
  }
  chatter.length = 0;
  try {
    lib.FS.writeFile('/in.dwg', input);
    const code = lib.dwg_write_dxf('/in.dwg', '/out.dxf');
    const written = lib.FS.analyzePath('/out.dxf').exists;
    if (code >= CRITICAL || !written) {
      const detail = chatter.length ? `: ${chatter[chatter.length - 1]}` : '';
      return { error: `LibreDWG error ${code}${detail}`, broken: true };
    }
    const dxf = Buffer.from(lib.FS.readFile('/out.dxf'));
    return { dxf: withLayerStates(dxf, layerStates(lib)) };
  } catch (e) {
    return { error: `LibreDWG: ${e.message || e}`, broken: true };
  } finally {
    for (const f of ['/in.dwg', '/out.dxf']) {
      try {
        lib.FS.unlink(f);
      } catch {
        // not there
      }
    }
  }
}

function writeAll(fd, data) {
  let off = 0;
  while (off < data.length) off += fs.writeSync(fd, data, off, data.length - off);
}

function send(fd, word, payload) {
  const body = typeof payload === 'string' ? Buffer.from(payload, 'utf8') : payload;
  writeAll(fd, Buffer.from(`${word} ${body.length}\n`, 'latin1'));
  writeAll(fd, body);
}

// Blocking reads of fd 3: the converter has nothing else to do meanwhile.
function reader(fd) {
  let buf = Buffer.alloc(0);
  const more = () => {
    const chunk = Buffer.alloc(65536);
    const n = fs.readSync(fd, chunk, 0, chunk.length, null);
    if (n === 0) return false;
    buf = Buffer.concat([buf, chunk.subarray(0, n)]);
    return true;
  };
  return {
    line() {
      for (;;) {
        const nl = buf.indexOf(10);
        if (nl >= 0) {
          const text = buf.subarray(0, nl).toString('latin1');
          buf = buf.subarray(nl + 1);
          return text;
        }
        if (buf.length > 4096 || !more()) return null;
      }
    },
    bytes(n) {
      while (buf.length < n) if (!more()) return null;
      const out = buf.subarray(0, n);
      buf = buf.subarray(n);
      return out;
    },
  };
}

async function serve(args) {
  const lib = await load();
  const warm = args.indexOf('--warmup');
  // One small conversion compiles and pages in what every conversion
  // needs, so the user's first drawing does not pay for it.
  if (warm >= 0 && args[warm + 1]) convert(lib, args[warm + 1]);
  const fd = 3;
  writeAll(fd, Buffer.from('READY\n'));
  const input = reader(fd);
  for (;;) {
    const header = input.line();
    if (header === null) return 0;
    const m = /^CONVERT (\d+)$/.exec(header);
    if (!m) {
      send(fd, 'FAIL', `unknown request "${header.slice(0, 40)}"`);
      return 2;
    }
    const name = input.bytes(Number(m[1]));
    if (name === null) return 0;
    const result = convert(lib, name.toString('utf8'));
    if (result.dxf) {
      send(fd, 'OK', result.dxf);
    } else {
      send(fd, 'FAIL', result.error);
      if (result.broken) return 3;
    }
  }
}

async function once(input, output) {
  // One drawing: the baseline compiler alone starts in a fraction of a
  // second, and no optimising work is left to wait for at exit.
  v8.setFlagsFromString('--liftoff-only');
  const lib = await load();
  const result = convert(lib, input);
  if (!result.dxf) {
    process.stderr.write(`${input}: ${result.error}\n`);
    return 1;
  }
  fs.writeFileSync(output, result.dxf);
  return 0;
}

const args = process.argv.slice(2);
let code;
if (args[0] === '--serve') {
  code = await serve(args.slice(1));
} else if (args.length === 2) {
  code = await once(args[0], args[1]);
} else {
  process.stderr.write('usage: node convert.mjs IN.dwg OUT.dxf | --serve [--warmup FILE]\n');
  code = 2;
}
process.exit(code);
