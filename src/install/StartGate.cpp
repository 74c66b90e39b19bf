#include "install/StartGate.h"

namespace install {

StartGate::Pass::Pass(StartGate* gate) : m_gate(gate) {
  if (m_gate == nullptr) return;
  std::lock_guard lock(m_gate->m_mutex);
  if (m_gate->m_closed) return;
  ++m_gate->m_held;
  m_held = true;
}

StartGate::Pass::~Pass() {
  if (!m_held) return;
  std::lock_guard lock(m_gate->m_mutex);
  if (--m_gate->m_held == 0) m_gate->m_released.notify_all();
}

bool StartGate::Close(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  m_closed = true;
  return m_released.wait_until(lock, deadline, [this] { return m_held == 0; });
}

}  // namespace install
