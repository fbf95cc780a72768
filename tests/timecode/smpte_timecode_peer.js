// Prints the text of each frame number listed in a file, as the npm package smpte-timecode
// writes it: node smpte_timecode_peer.js <module dir> <numerator> <denominator> <drop> <file>
const [moduleDir, num, den, drop, file] = process.argv.slice(2);
const Timecode = require(moduleDir);
const fs = require('fs');
const rate = Number(den) === 1 ? Number(num) : [Number(num), Number(den)];
const out = [];
for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    if (line === '') continue;
    out.push(Timecode(Number(line), rate, drop === 'true').toString());
}
process.stdout.write(out.join('\n') + '\n');
