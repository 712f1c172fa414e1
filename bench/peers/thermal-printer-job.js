// The whole-process comparison job with node-thermal-printer: a picture, text lines and a cut, over TCP.
//   node thermal-printer-job.js PICTURE.png HOST PORT LINE...
const { ThermalPrinter, PrinterTypes } = require('node-thermal-printer');

async function main() {
  const [picture, host, port, ...lines] = process.argv.slice(2);
  const printer = new ThermalPrinter({ type: PrinterTypes.EPSON, interface: `tcp://${host}:${port}` });
  await printer.printImage(picture);
  for (const line of lines) printer.println(line);
  printer.cut();
  await printer.execute();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
