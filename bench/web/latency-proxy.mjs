// A TCP relay on loopback that holds every chunk for half the round trip in
// each direction, so that a chain of requests costs what it would on a real
// network (loopback answers in microseconds, which hides round trips).
// usage: node latency-proxy.mjs TARGET_PORT ROUND_TRIP_MS   (prints its address)
import net from 'node:net';

const [targetPort, roundTrip] = process.argv.slice(2).map(Number);
const half = roundTrip / 2;

// Chunks keep their order: each is sent half a round trip after it came, and
// timers of equal delay fire in the order they were set.
function relay(from, to) {
  from.on('data', (chunk) => setTimeout(() => to.write(chunk), half));
  from.on('end', () => setTimeout(() => to.end(), half));
  from.on('error', () => to.destroy());
}

const server = net.createServer((client) => {
  client.setNoDelay(true);
  const upstream = net.connect(targetPort, '127.0.0.1');
  upstream.setNoDelay(true);
  relay(client, upstream);
  relay(upstream, client);
});
server.listen(0, '127.0.0.1', () => console.log(`http://127.0.0.1:${server.address().port}`));
