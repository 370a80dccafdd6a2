// Second, independent reader for the tests: prints a table of an .mdb file in
// the same text form as `tabulor-db mdb-dump` (header line, then one line per
// row, TAB-separated), using the npm package mdb-reader.
//   node dump.mjs FILE TABLE           one table
//   node dump.mjs FILE --tables        the user table names, one a line
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const typeCodes = {
  boolean: 1, byte: 2, integer: 3, long: 4, currency: 5, float: 6, double: 7, datetime: 8,
  binary: 9, text: 10, ole: 11, memo: 12, repid: 15, numeric: 16, complex: 18,
};

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let crc = 0xffffffff;
  for (const b of bytes) crc = crcTable[(crc ^ b) & 0xff] ^ (crc >>> 8);
  return ((crc ^ 0xffffffff) >>> 0).toString(16).padStart(8, "0");
}

// C's printf("%.17g").
function g17(x) {
  if (!Number.isFinite(x)) return Number.isNaN(x) ? "nan" : x > 0 ? "inf" : "-inf";
  if (x === 0) return Object.is(x, -0) ? "-0" : "0";
  const exponent = Number(x.toExponential(16).split("e")[1]);
  const strip = (s) => (s.includes(".") ? s.replace(/0+$/, "").replace(/\.$/, "") : s);
  if (exponent < -4 || exponent >= 17) {
    const [mantissa, e] = x.toExponential(16).split("e");
    const n = Number(e);
    return strip(mantissa) + "e" + (n < 0 ? "-" : "+") + String(Math.abs(n)).padStart(2, "0");
  }
  return strip(x.toFixed(16 - exponent));
}

const pad = (n, w = 2) => String(n).padStart(w, "0");
const escape = (s) => s.replace(/\\/g, "\\\\").replace(/\t/g, "\\t").replace(/\n/g, "\\n").replace(/\r/g, "\\r");

function cell(value, type) {
  if (value === null || value === undefined) return "\\N";
  switch (type) {
    case "boolean": return value ? "T" : "F";
    case "datetime": {
      const d = value;
      return `${pad(d.getUTCFullYear(), 4)}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())} ` +
             `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
    }
    case "binary": case "ole": return `blob:${value.length}:${crc32(value)}`;
    case "float": case "double": case "currency": case "numeric": return g17(Number(value));
    case "byte": case "integer": case "long": case "complex": return String(value);
    default: return escape(String(value));
  }
}

const [file, table] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file));
if (table === "--tables") {
  for (const name of reader.getTableNames()) console.log(name);
} else {
  const t = reader.getTable(table);
  const columns = t.getColumns();
  const lines = ["#fields" + columns.map((c) => `\t${c.name}:${typeCodes[c.type]}`).join("")];
  for (const row of t.getData()) lines.push(columns.map((c) => cell(row[c.name], c.type)).join("\t"));
  process.stdout.write(lines.join("\n") + "\n");
}
