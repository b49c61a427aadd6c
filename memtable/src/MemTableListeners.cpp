// TMemTable: the listeners bound to a table and what they are told (see Binding.h).

#include <algorithm>
#include <exception>

#include "kdx/memtable/MemTable.h"

namespace kdx {

// --- listeners ---------------------------------------------------------------------------------

void TMemTable::AttachListener(TBindingListener* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void TMemTable::DetachListener(TBindingListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TMemTable::DisableControls() {
  if (disableCount_++ == 0) stateAtDisable_ = state_;
}

void TMemTable::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ > 0) return;
  // Every notice goes out even when a listener fails on an earlier one (a control whose field
  // the table no longer has); the first failure is reported afterwards.
  std::exception_ptr failure;
  const auto tell = [&](BindingEvent event) {
    try {
      Notify(event);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  // Fields replaced meanwhile (a load's definition section): listeners must drop the old ones
  // before anything else.
  if (layoutChanged_) {
    layoutChanged_ = false;
    tell(BindingEvent::FieldLayout);
  }
  if (state_ != stateAtDisable_) tell(BindingEvent::StateChange);
  tell(BindingEvent::WholeData);
  if (failure) std::rethrow_exception(failure);
}

void TMemTable::Notify(BindingEvent event, TField* field, int distance) {
  if (disableCount_ > 0) {
    if (event == BindingEvent::FieldLayout) layoutChanged_ = true;
    return;
  }
  if (listeners_.empty()) return;
  // A copy: a listener may detach itself (or another) while being told. A listener that fails
  // does not keep the others from hearing; the first failure is passed on once all have.
  const std::vector<TBindingListener*> listeners = listeners_;
  std::exception_ptr failure;
  for (auto it = listeners.rbegin(); it != listeners.rend(); ++it) {
    if (std::find(listeners_.begin(), listeners_.end(), *it) == listeners_.end()) continue;
    try {
      (*it)->DataEvent(event, field, distance);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kdx
