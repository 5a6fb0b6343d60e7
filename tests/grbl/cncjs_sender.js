// cncjs_sender.js - drives a running cncjs server as its web page would, through its
// socket.io API: opens the grbl board on a serial port, loads a program, starts it,
// pauses and resumes it, jogs and cancels, and prints what cncjs read back as JSON.
// Usage: NODE_PATH=CNCJS/node_modules node cncjs_sender.js CNCJS_PORT SECRET SERIAL PROGRAM
const fs = require('fs');
const io = require('socket.io-client');
const jwt = require('jsonwebtoken');

const [cncPort, secret, serial, program] = process.argv.slice(2);
const token = jwt.sign({ id: '', name: 'korva3-test' }, secret, { expiresIn: '1h' });
const socket = io.connect('http://127.0.0.1:' + cncPort, { query: 'token=' + token });
const seen = { states: [], workflow: [], errors: [] };
let state = {};
let workflow = '';

socket.on('controller:state', (type, s) => {
  state = s.status || {};
  if (seen.states[seen.states.length - 1] !== state.activeState)
    seen.states.push(state.activeState);
});
socket.on('workflow:state', (w) => { workflow = w; seen.workflow.push(w); });
socket.on('serialport:read', (line) => { if (/^error|^ALARM/.test(line)) seen.errors.push(line); });
socket.on('connect_error', (e) => { console.error('connect_error', e.message); process.exit(2); });

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function waitFor(what, ms) {
  for (let t = 0; t < ms; t += 50) {
    if (what()) return true;
    await sleep(50);
  }
  return false;
}
const mpos = () => ['x', 'y', 'z'].map((a) => Number((state.mpos || {})[a]));
const command = (...args) => socket.emit('command', serial, ...args);

socket.on('connect', async () => {
  socket.emit('open', serial, { controllerType: 'Grbl', baudrate: 115200, rtscts: false }, (err) => {
    if (err) { console.error('open', err); process.exit(3); }
  });
  seen.opened = await waitFor(() => state.activeState === 'Idle', 15000);
  command('gcode:load', 'p.ngc', fs.readFileSync(program, 'utf8'), {});
  await sleep(500);
  command('gcode:start');
  seen.ran = await waitFor(() => state.activeState === 'Run', 10000);
  await sleep(400);
  command('gcode:pause'); // cncjs's pause: '!'
  seen.held = await waitFor(() => state.activeState === 'Hold' && state.subState === 0, 10000) ||
              await waitFor(() => String(state.activeState).startsWith('Hold'), 1000);
  const at = mpos();
  await sleep(300);
  seen.still_while_held = JSON.stringify(mpos()) === JSON.stringify(at);
  command('gcode:resume'); // '~'
  seen.ended = await waitFor(() => workflow === 'idle' && state.activeState === 'Idle', 60000);
  await sleep(500);
  seen.end = mpos();
  command('gcode', '$J=G91 G21 Y-2.5 F1200');
  seen.jogged = await waitFor(() => state.activeState === 'Idle' && mpos()[1] !== seen.end[1], 10000);
  await sleep(500);
  seen.after_jog = mpos();
  command('gcode', '$J=G91 G21 X100 F1200');
  await waitFor(() => state.activeState === 'Jog', 5000);
  await sleep(300);
  command('jogCancel');
  seen.cancelled = await waitFor(() => state.activeState === 'Idle', 5000);
  await sleep(500);
  seen.after_cancel = mpos();
  socket.emit('close', serial);
  console.log(JSON.stringify(seen));
  process.exit(0);
});
