#include "store/connection_state.h"

#include <QHash>

namespace taurelin {
namespace {

// Each state stays at its address while the thread lives, so that a pointer to it held
// across a call stays good.
QHash<QString, std::shared_ptr<ConnectionState>>& States() {
  thread_local QHash<QString, std::shared_ptr<ConnectionState>> states;
  return states;
}

}  // namespace

ConnectionState& ConnectionState::Of(const QString& name) {
  std::shared_ptr<ConnectionState>& state = States()[name];
  if (!state) state = std::make_shared<ConnectionState>();
  return *state;
}

ConnectionState* ConnectionState::Find(const QString& name) {
  const auto found = States().constFind(name);
  return found == States().cend() ? nullptr : found->get();
}

void ConnectionState::Reset(const QString& name) {
  ConnectionState* state = Find(name);
  if (state == nullptr) return;
  ConnectionState fresh;
  fresh.watch = state->watch;
  fresh.writing = state->writing;
  fresh.queriesOut = state->queriesOut;
  *state = std::move(fresh);
}

}  // namespace taurelin
