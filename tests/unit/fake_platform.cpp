#include "fake_platform.h"

#include <algorithm>
#include <cstring>

namespace {

ScriptedPeer g_peer;

long fake_receive(Socket, char* buffer, int length) {
  ScriptedPeer& p = g_peer;
  if (p.next >= p.chunks.size()) return p.after_chunks;
  if (p.offset == 0) {
    const unsigned gap = p.next < p.gaps_ms.size() ? p.gaps_ms[p.next] : 0;
    if (p.receive_timeout_ms != 0 && gap > p.receive_timeout_ms) {
      p.clock_ms += p.receive_timeout_ms;
      return -1;
    }
    p.clock_ms += gap;
  }
  const std::string& chunk = p.chunks[p.next];
  const std::size_t n = std::min(chunk.size() - p.offset, static_cast<std::size_t>(length));
  std::memcpy(buffer, chunk.data() + p.offset, n);
  p.offset += n;
  if (p.offset == chunk.size()) {
    ++p.next;
    p.offset = 0;
  }
  return static_cast<long>(n);
}

long fake_send(Socket, const char* data, int length) {
  ScriptedPeer& p = g_peer;
  ++p.send_calls;
  if (p.failing_send > 0 && p.send_calls >= p.failing_send) return -1;
  const long n = std::min<long>(length, p.send_limit);
  p.received.append(data, static_cast<std::size_t>(n));
  return n;
}

long fake_send_gather(Socket socket, const SendPiece* pieces, int count) {
  std::string joined;
  for (int i = 0; i < count; ++i) joined.append(pieces[i].data, pieces[i].length);
  ++g_peer.gathered_sends;
  return fake_send(socket, joined.data(), static_cast<int>(joined.size()));
}

void fake_close(Socket) { ++g_peer.closes; }

void fake_shutdown(Socket) {
  if (g_peer.shutdowns++ == 0) g_peer.sent_before_shutdown = g_peer.received.size();
}

void fake_timeouts(Socket, unsigned milliseconds) {
  g_peer.timeout_ms = milliseconds;
  g_peer.receive_timeout_ms = milliseconds;
}

void fake_receive_timeout(Socket, unsigned milliseconds) {
  g_peer.receive_timeout_ms = milliseconds;
  g_peer.receive_timeouts.push_back(milliseconds);
}

std::uint64_t fake_clock() { return g_peer.clock_ms; }

}  // namespace

ScriptedPeer& peer() { return g_peer; }

void use_scripted_peer(PlatformOps& ops) {
  g_peer = ScriptedPeer{};
  ops.receive = fake_receive;
  ops.send = fake_send;
  ops.send_gather = fake_send_gather;
  ops.close_socket = fake_close;
  ops.shutdown_send = fake_shutdown;
  ops.set_timeouts = fake_timeouts;
  ops.set_receive_timeout = fake_receive_timeout;
  ops.monotonic_ms = fake_clock;
}
