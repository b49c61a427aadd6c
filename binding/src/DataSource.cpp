#include "kdx/binding/DataSource.h"

#include <algorithm>
#include <exception>

#include "kdx/binding/DataLink.h"

namespace kdx {

TDataSource::TDataSource(TMemTable* dataSet) {
  SetDataSet(dataSet);
}

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->DetachListener(this);
  dataSet_ = nullptr;
  state_ = dsInactive;
  // Every bound control unbinds itself instead of keeping a dangling reference.
  std::vector<TDataLink*> links = links_;
  links_.clear();
  for (auto it = links.rbegin(); it != links.rend(); ++it) (*it)->SourceDestroyed();
}

void TDataSource::SetDataSet(TMemTable* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) dataSet_->DetachListener(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->AttachListener(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit_ && dataSet_ && state_ == dsBrowse) dataSet_->EditRecord();
}

void TDataSource::DataEvent(BindingEvent event, TField* field, int distance) {
  if (event == BindingEvent::StateChange) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  NotifyLinks(event, field, distance);
}

void TDataSource::TableDestroying(TMemTable* table) {
  if (table != dataSet_) return;
  dataSet_ = nullptr;  // the table has already forgotten us
  UpdateState();
}

void TDataSource::AddLink(TDataLink* link) {
  if (!HasLink(link)) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

bool TDataSource::HasLink(const TDataLink* link) const {
  return std::find(links_.begin(), links_.end(), link) != links_.end();
}

void TDataSource::UpdateState() {
  state_ = (enabled_ && dataSet_) ? dataSet_->State() : dsInactive;
  // StateChange goes to every link whatever the state, so that links see the table close.
  NotifyLinks(BindingEvent::StateChange, nullptr, 0);
}

void TDataSource::NotifyLinks(BindingEvent event, TField* field, int distance) {
  // Work on a snapshot: a link's reaction may attach or detach links (a control destroyed or
  // rebound); a link detached meanwhile is skipped. A link that fails (its field is gone) does
  // not keep the others from hearing; the first failure is passed on once all have.
  const std::vector<TDataLink*> snapshot = links_;
  std::exception_ptr failure;
  for (bool visual : {false, true}) {
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
      TDataLink* link = *it;
      if (link->VisualControl() != visual || !HasLink(link)) continue;
      try {
        link->DataEvent(event, field, distance);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kdx
