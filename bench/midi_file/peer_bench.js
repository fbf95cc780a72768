// Reads (parseMidi) and writes (writeMidi) every file given on the command line with npm
// midi-file, several rounds, and prints MB/s of file bytes for each direction and both together.
const fs = require("fs");
const { parseMidi, writeMidi } = require("midi-file");

const files = process.argv.slice(2).map((path) => fs.readFileSync(path));
const bytes = files.reduce((sum, file) => sum + file.length, 0);

function rate(work) {
    let rounds = 0;
    const start = process.hrtime.bigint();
    let elapsed = 0;
    while (elapsed < 2 || rounds < 3) {
        work();
        rounds += 1;
        elapsed = Number(process.hrtime.bigint() - start) / 1e9;
    }
    return (rounds * bytes) / elapsed / 1e6;
}

const parsed = files.map((file) => parseMidi(file));
const decode = rate(() => files.forEach((file) => parseMidi(file)));
const encode = rate(() => parsed.forEach((midi) => writeMidi(midi)));
const both = rate(() => files.forEach((file) => writeMidi(parseMidi(file))));
console.log(`midi-file decode ${decode.toFixed(2)} MB/s encode ${encode.toFixed(2)} MB/s ` +
            `decode+encode ${both.toFixed(2)} MB/s (${files.length} files, ${bytes} bytes)`);
