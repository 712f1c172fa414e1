// The whole-process comparison job with escpos and escpos-network: a picture, text lines and a cut, over TCP.
//   node escpos-job.js PICTURE.png HOST PORT LINE...
const escpos = require('escpos');
escpos.Network = require('escpos-network');

const [picture, host, port, ...lines] = process.argv.slice(2);

function fail(error) {
  console.error(error);
  process.exit(1);
}

// The loader hands over either an error or the picture as its only argument.
escpos.Image.load(picture, (loaded) => {
  if (loaded instanceof Error) return fail(loaded);
  const device = new escpos.Network(host, Number(port));
  device.open(async (error) => {
    if (error) return fail(error);
    const printer = new escpos.Printer(device);
    await printer.align('ct').image(loaded, 'd24');
    for (const line of lines) printer.text(line);
    printer.cut().close();
  });
});
