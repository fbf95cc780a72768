// MIDI Timecode bytes as the npm package jzz writes and reads them.
//   node jzz_mtc_peer.js <module dir> encode <file>: each line "rate h m s f" gives one line of
//     hex bytes: the full frame, then 16 quarter-frame data bytes from piece 0 of that frame on.
//   node jzz_mtc_peer.js <module dir> decode <file>: each line "rate b1 b2 ..." (quarter-frame data
//     bytes in hex) gives one line: the time jzz holds after each byte, "hh:mm:ss:ff" each.
const [moduleDir, mode, file] = process.argv.slice(2);
const JZZ = require(moduleDir);
const fs = require('fs');
const hex = (bytes) => bytes.map((b) => b.toString(16).padStart(2, '0')).join(' ');
const out = [];
for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    if (line === '') continue;
    const fields = line.split(' ');
    const rate = Number(fields[0]);
    if (mode === 'encode') {
        const [h, m, s, f] = fields.slice(1).map(Number);
        const t = JZZ.SMPTE(rate, h, m, s, f, 0);
        const bytes = JZZ.MIDI.sxFullFrame(t).slice();
        for (let i = 0; i < 16; i++) {
            bytes.push(JZZ.MIDI.mtc(t)[1]);
            t.incrQF();
        }
        out.push(hex(bytes));
    } else {
        const t = JZZ.SMPTE(rate);
        const times = [];
        for (const b of fields.slice(1)) {
            t.read([0xf1, parseInt(b, 16)]);
            times.push(t.toString());
        }
        out.push(times.join(' '));
    }
}
process.stdout.write(out.join('\n') + '\n');
