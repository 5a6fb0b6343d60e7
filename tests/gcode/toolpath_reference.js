// toolpath_reference.js - where a program goes by another interpreter: gcode-toolpath
// (an npm package) reads the file, and this prints one line of JSON with the end point
// and the extent per axis, in mm from the start (0, 0, 0):
//   {"end": [x, y, z], "low": [x, y, z], "high": [x, y, z], "moves": n}
// Usage: node toolpath_reference.js MODULES_DIR FILE [LENGTHS]   (FILE - : stdin)
// LENGTHS: the machine's tool lengths as JSON ({"1": 20}): G43 [H] raises every point
// after it by its tool's length, G49 ends that (the package itself knows neither).
// Arcs come from the package as start, end and centre in the plane's own axes (G17: X Y,
// G18: Z X, G19: Y Z, the third axis last); their extent is worked out here from the
// quarter points the arc passes.
'use strict';
const path = require('path');
const fs = require('fs');

const [modules, file, lengthsJson] = process.argv.slice(2);
const lengths = JSON.parse(lengthsJson || '{}');
let length = 0; // mm, the tool length in force
const Toolpath = require(path.join(path.resolve(modules), 'node_modules', 'gcode-toolpath'));

const low = [0, 0, 0];
const high = [0, 0, 0];
let end = [0, 0, 0];
let moves = 0;

// A point of the program as the machine sees it: Z raised by the tool length.
const lifted = (p) => [p[0], p[1], p[2] + length];

function reach(p) {
    for (let a = 0; a < 3; a++) {
        low[a] = Math.min(low[a], p[a]);
        high[a] = Math.max(high[a], p[a]);
    }
}

// Plane coordinates (u, v, w) back to X Y Z.
function unplane(plane, u, v, w) {
    if (plane === 'G18') return [v, w, u]; // u = Z, v = X, w = Y
    if (plane === 'G19') return [w, u, v]; // u = Y, v = Z, w = X
    return [u, v, w];
}

function arc(modal, v1, v2, v0) {
    const r = Math.hypot(v1.x - v0.x, v1.y - v0.y);
    const a1 = Math.atan2(v1.y - v0.y, v1.x - v0.x);
    let sweep = Math.atan2(v2.y - v0.y, v2.x - v0.x) - a1;
    const clockwise = modal.motion === 'G2';
    if (clockwise) {
        while (sweep >= 0) sweep -= 2 * Math.PI;
    } else {
        while (sweep <= 0) sweep += 2 * Math.PI;
    }
    if (Math.abs(v2.x - v1.x) < 1e-12 && Math.abs(v2.y - v1.y) < 1e-12)
        sweep = clockwise ? -2 * Math.PI : 2 * Math.PI; // a whole circle
    for (let q = -8; q <= 8; q++) { // the quarter points inside the sweep
        const angle = (q * Math.PI) / 2;
        const along = clockwise ? a1 - angle : angle - a1;
        if (along > 0 && along < Math.abs(sweep)) {
            const w = v1.z + ((v2.z - v1.z) * along) / Math.abs(sweep);
            reach(lifted(unplane(modal.plane, v0.x + r * Math.cos(angle), v0.y + r * Math.sin(angle), w)));
        }
    }
    const to = lifted(unplane(modal.plane, v2.x, v2.y, v2.z));
    reach(to);
    end = to;
    moves++;
}

const toolpath = new Toolpath({
    addLine: (modal, v1, v2) => {
        end = lifted([v2.x, v2.y, v2.z]);
        reach(end);
        moves++;
    },
    addArcCurve: arc,
});
// G43 [H] and G49; the package hands G43 the line's axis words after it, moved here.
toolpath.handlers.G43 = (args) => {
    const tool = args.H !== undefined ? args.H : toolpath.getModal().tool;
    length = Number(lengths[String(tool)] || 0);
    const axes = {};
    for (const a of ['X', 'Y', 'Z']) if (args[a] !== undefined) axes[a] = args[a];
    if (Object.keys(axes).length > 0) toolpath.handlers[toolpath.getModal().motion](axes);
};
toolpath.handlers.G49 = () => { length = 0; };
toolpath.loadFromStringSync(fs.readFileSync(file === '-' ? 0 : file, 'utf8'));
process.stdout.write(JSON.stringify({ end, low, high, moves }) + '\n');
