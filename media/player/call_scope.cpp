#include "media/player/call_scope.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace media::player {
namespace {

// Handlers may nest (a handler of one player opens another), so a thread
// keeps every handler it is inside of, innermost last.
thread_local std::vector<std::pair<const void*, HandlerKind>> t_handlers;

}  // namespace

CallScope::CallScope(const void* player, HandlerKind kind) { t_handlers.emplace_back(player, kind); }

CallScope::~CallScope() { t_handlers.pop_back(); }

bool CallScope::Inside(const void* player, HandlerKind kind) {
  return std::find(t_handlers.begin(), t_handlers.end(), std::make_pair(player, kind)) != t_handlers.end();
}

}  // namespace media::player
