#pragma once
// What a table tells the listeners bound to it (a data source attaches itself as one). The
// table calls every attached listener synchronously, inside the operation that caused the
// event, in the reverse order of attachment. While the table's controls are disabled
// (DisableControls, e.g. during a load or save) nothing is delivered; re-enabling sends
// FieldLayout (if the fields changed meanwhile), StateChange (if the state changed) and
// WholeData.

namespace kdx {

class TField;
class TMemTable;

enum class BindingEvent {
  StateChange,     // the state changed (open, close, browse, edit, insert)
  FieldValue,      // one field of the current record was set; `field` is that field
  RecordContents,  // the current record was re-read or initialised (a new record begun)
  WholeData,       // records changed as a whole (open, post, cancel, delete, load, index)
  CursorMove,      // the current record moved by `distance` positions (signed)
  FieldLayout,     // the field list changed
  FlushEdits,      // a settle or post is about to store the record: write pending text now
  SettleCheck,     // a settle is about to happen
  FocusField,      // the table asks for the control of `field`
};

// Implemented by whatever binds to a table. A listener may call back into the table from
// DataEvent (FlushEdits handlers write fields); it must not attach or detach listeners there.
class TBindingListener {
 public:
  virtual ~TBindingListener() = default;

  // `field` is set for FieldValue and FocusField (else nullptr); `distance` for CursorMove
  // (else 0).
  virtual void DataEvent(BindingEvent event, TField* field, int distance) = 0;

  // The table is being destroyed; the listener must drop its reference to it. The table has
  // already forgotten the listener when this is called.
  virtual void TableDestroying(TMemTable* /*table*/) {}
};

}  // namespace kdx
