#pragma once
// The one way a window makes its controls read-only: every data-aware control
// implements this interface, so an audited note cannot keep a control of a
// new kind editable because the window did not know its class.

#include <QtPlugin>

namespace widgets {

class ReadOnlyControl {
public:
    virtual ~ReadOnlyControl() = default;
    virtual bool ReadOnly() const = 0;
    virtual void SetReadOnly(bool on) = 0;
};

} // namespace widgets

#define PK_READONLY_CONTROL_IID "pk_note.widgets.ReadOnlyControl"
Q_DECLARE_INTERFACE(widgets::ReadOnlyControl, PK_READONLY_CONTROL_IID)
