#pragma once
// TDataSource: connects one table to any number of data links (the listeners of bound
// controls). It attaches itself to its table as a TBindingListener, keeps its own copy of the
// table's state and passes every notification on to its links:
//   - first to the links that are not visual controls, then to the visual ones, each group in
//     the reverse order of attachment;
//   - only while its copy of the state is not inactive, except StateChange, which is always
//     delivered (so that links notice the table closing).
//
// Ownership: the data source does not own its table or its links. Destroying the data source
// unbinds every link (each one's DataSource() becomes nullptr and its control shows nothing);
// destroying the table detaches it from the data source. Links may be added or removed while a
// notification is being delivered; a link removed meanwhile gets nothing more.

#include <vector>

#include "kdx/memtable/Binding.h"
#include "kdx/memtable/MemTable.h"

namespace kdx {

class TDataLink;

class TDataSource : public TBindingListener {
 public:
  explicit TDataSource(TMemTable* dataSet = nullptr);
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;
  ~TDataSource() override;

  TMemTable* DataSet() const { return dataSet_; }
  // Detaches from the old table and attaches to the new one; the links see the change of state.
  void SetDataSet(TMemTable* dataSet);

  // A bound control may put the table into the edit state by itself (true by default).
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }

  // A disabled data source looks inactive to its links.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The data source's copy of the table's state (inactive without a table or when disabled).
  TDataSetState State() const { return state_; }

  // Asks the table to edit: EditRecord when AutoEdit is set and the table is browsing.
  void Edit();

  int LinkCount() const { return static_cast<int>(links_.size()); }
  // The attached links in the order of attachment.
  TDataLink* Links(int index) const { return links_[index]; }

  // TBindingListener
  void DataEvent(BindingEvent event, TField* field, int distance) override;
  void TableDestroying(TMemTable* table) override;

 private:
  friend class TDataLink;
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);
  bool HasLink(const TDataLink* link) const;
  void UpdateState();
  void NotifyLinks(BindingEvent event, TField* field, int distance);

  TMemTable* dataSet_ = nullptr;
  bool autoEdit_ = true;
  bool enabled_ = true;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> links_;
};

}  // namespace kdx
